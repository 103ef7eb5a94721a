#!/usr/bin/env bash
# The command-line contract of `orvessa`: the raw filters' results, exit
# statuses and messages, the array written out after an error, and the
# promise over hostile arguments and files.
#   cli_contract.sh ORVESSA SAMPLE_PICTURES_DIR
set -u
cli=$1
pictures=$2
tmp=$(mktemp -d)
# Reading a picture makes no temporary file: the tool's own stay empty.
export TMPDIR=$tmp/temporary
mkdir "$TMPDIR"
trap 'umount "$tmp/full" 2>/dev/null; rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# bytes N [index=value ...]: N zero bytes with some set, as raw binary.
bytes() {
  local n=$1; shift
  local -a v; for ((i = 0; i < n; i++)); do v[i]=0; done
  for kv in "$@"; do v[${kv%%=*}]=${kv#*=}; done
  for ((i = 0; i < n; i++)); do printf "\\$(printf '%03o' "${v[i]}")"; done
}
expect_status() { # expected-status description command...
  local want=$1 what=$2; shift 2
  "$@" >"$tmp/stdout" 2>"$tmp/err"; local got=$?
  [[ $got == "$want" ]] || fail "$what: exit $got, wanted $want ($(cat "$tmp/err"))"
}

# The blur's worked example: 4 x 5, one bright pixel.
bytes 60 30=8 31=24 32=40 >"$tmp/in"
bytes 60 40=2 41=2 42=1 43=3 44=5 27=1 28=3 29=5 30=2 31=6 32=10 >"$tmp/want"
expect_status 0 "blur worked example" "$cli" blur --raw 4x5 "$tmp/in" "$tmp/out"
cmp -s "$tmp/out" "$tmp/want" || fail "blur worked example bytes"

# Standard input and output.
"$cli" blur --raw 4x5 - - <"$tmp/in" >"$tmp/out2" || fail "blur through pipes"
cmp -s "$tmp/out2" "$tmp/want" || fail "blur through pipes bytes"
"$cli" blur --raw 4x5 - /dev/stdout <"$tmp/in" >"$tmp/out3" || fail "blur to /dev/stdout"
cmp -s "$tmp/out3" "$tmp/want" || fail "blur to /dev/stdout bytes"

# Smoothing: the 5 x 5 dot; row 2 becomes 100 101 103 101 100.
{
  for r in 4 3 2 1 0; do
    for c in 0 1 2 3 4; do
      v=100; [[ $r == 2 && $c == 2 ]] && v=110
      printf "\\$(printf '%03o' $v)%.0s" 1 2 3
    done
    printf '\0'   # one pad byte: stride 16
  done
} >"$tmp/dot"
expect_status 0 "smooth dot" "$cli" smooth --raw 5x5 "$tmp/dot" "$tmp/dot.out"
row2=$(od -An -tu1 -j 32 -N 15 "$tmp/dot.out" | tr -s ' ' | sed 's/^ //')
[[ $row2 == "100 100 100 101 101 101 103 103 103 101 101 101 100 100 100" ]] || fail "smooth dot row 2: $row2"

# Smoothing ties go to the even byte: blur 100.5 with no spread gives 100,
# the same neighbourhood one higher (101.5) gives 102. 3 x 4: stride 12,
# three pad bytes a row.
gray_rows() { # rows top first, each "v v v"; writes the bottom-up buffer
  local -a rows=("$@")
  for ((r = ${#rows[@]} - 1; r >= 0; r--)); do
    for v in ${rows[r]}; do printf "\\$(printf '%03o' "$v")%.0s" 1 2 3; done
    printf '\377\377\377'
  done
}
for shift in 0 1; do
  gray_rows "$((101 + shift)) $((101 + shift)) $((101 + shift))" "$((100 + shift)) $((101 + shift)) $((100 + shift))" \
    "$((100 + shift)) $((100 + shift)) $((100 + shift))" "0 0 0" >"$tmp/tie"
  expect_status 0 "smooth tie $shift" "$cli" smooth --raw 3x4 -f "$tmp/tie" "$tmp/tie.out"
  got=$(od -An -tu1 -j 27 -N 3 "$tmp/tie.out" | tr -s ' ' | sed 's/^ //')
  want=$((shift ? 102 : 100))
  [[ $got == "$want $want $want" ]] || fail "smooth tie $shift: centre $got, wanted $want"
done

# Errors: exit 3, message, and the array as the method left it.
expect_status 3 "stride overflow" "$cli" blur --raw=715827882x5 -f "$tmp/in" "$tmp/out"
grep -qx 'orvessa: Overflow (error 6)' "$tmp/err" || fail "overflow message: $(cat "$tmp/err")"
cmp -s "$tmp/out" "$tmp/in" || fail "overflow leaves the array unchanged"
expect_status 3 "negative width" "$cli" smooth --raw=-5x10 --force "$tmp/in" "$tmp/out"
grep -qx 'orvessa: Subscript out of range (error 9)' "$tmp/err" || fail "subscript message"
# Lowest index 1: the centre rows are filtered, then the bottom row fails,
# on any number of threads (bands of one row here; 0: every core).
tail -c 59 "$tmp/in" >"$tmp/in1"
tail -c 59 "$tmp/want" >"$tmp/want1"
for threads in 0 1 2 3; do
  expect_status 3 "lowest index 1, $threads threads" "$cli" blur --raw 4x5 --lower-bound 1 \
    --threads "$threads" -f "$tmp/in1" "$tmp/out"
  cmp -s "$tmp/out" "$tmp/want1" || fail "lowest index 1 keeps the filtered rows ($threads threads)"
done

# Usage and file errors.
expect_status 1 "no command" "$cli"
expect_status 1 "bad size" "$cli" blur --raw 4by5 "$tmp/in" "$tmp/out"
expect_status 1 "negative threads" "$cli" blur --raw 4x5 --threads -1 "$tmp/in" "$tmp/out"
expect_status 1 "missing OUT" "$cli" blur --raw 4x5 "$tmp/in"
expect_status 2 "missing IN" "$cli" blur --raw 4x5 "$tmp/nope" "$tmp/out"
expect_status 2 "unwritable OUT" "$cli" blur --raw 4x5 "$tmp/in" "$tmp/no/such/dir/out"
expect_status 0 "help" "$cli" --help
expect_status 0 "version" "$cli" --version

# The promise, whatever the arguments and files: the row's exit status
# (0 to 3, never a signal; a hang is stopped and counted; memory is
# bounded), a message on stderr after a failure ("orvessa: ..." and at most
# the hint to --help), and no input file changed. Input files live in $in, outputs in $out.
in=$tmp/promise-in out=$tmp/promise-out
mkdir -p "$in/dir" "$out" "$tmp/readonly"
hex() { printf "$(sed 's/../\\x&/g' <<<"$1")"; }
bytes 60 30=8 >"$in/raw"
cp "$pictures/chelsea-small.bmp" "$in/pic.bmp"
head -c 3000 "$pictures/coffee.jpg" >"$in/truncated.jpg"
head -c 700 "$pictures/chelsea-small.bmp" >"$in/truncated.bmp"
: >"$in/empty"
echo "no picture here" >"$in/text.png"
mkfifo "$in/fifo"
echo 'secret' >"$in/locked" && chmod 000 "$in/locked"
chmod 555 "$tmp/readonly"
ln -s raw "$in/raw-link"
ln -s pic.bmp "$in/pic-link.bmp"
# Declared sizes far beyond the limit, in a few bytes each.
echo '<svg xmlns="http://www.w3.org/2000/svg" width="20000" height="20000"><rect width="1" height="1"/></svg>' >"$in/huge.svg"
hex 89504e470d0a1a0a0000000d4948445200007530000075300802000000e9456fed0000001149444154789c63601805a360140c77000003e80001b3a6d3460000000049454e44ae426082 >"$in/huge.png"
hex 424d36000000000000003600000028000000307500003075000001001800000000000000000000000000000000000000000000000000 >"$in/huge.bmp"
# Other formats' bytes, which no decoder here may see.
hex 0a0501080000000030753075 >"$in/big.pcx"
printf '/* XPM */\nstatic char *x[] = {"1 1 1 1", "a c #ff0000", "a"};\n' >"$in/x.xpm"
printf '8BPS\0\1\0\0\0\0\0\0\0\3\0\0\0\1\0\0\0\1\0\10\0\3' >"$in/x.psd"
printf '<?xml version="1.0"?><image><read filename="%s"/></image>' "$in/raw" >"$in/x.xml"
printf '<?xml version="1.0"?><!DOCTYPE svg [<!ENTITY e SYSTEM "%s">]><svg xmlns="http://www.w3.org/2000/svg" width="9" height="9"><text>&e;</text></svg>' "$in/raw" >"$in/entity.svg"
hex 000002000000000000000000010001001800ffffff >"$in/x.tga"
hex 0000001866747970686569630000000068656963 >"$in/x.heic"
# Large but under the limit: it loads.
echo '<svg xmlns="http://www.w3.org/2000/svg" width="4000" height="3000"><rect width="9" height="9"/></svg>' >"$in/large.svg"
(cd "$in" && find . -type f -exec md5sum {} + | sort) >"$tmp/inputs.md5"

root_skips=0
# A modest memory bound (1 GiB of address space), unless the tool is built
# with AddressSanitizer, which reserves terabytes up front.
memory_kb=1048576
if ldd "$cli" 2>/dev/null | grep -q libasan; then memory_kb=unlimited; fi
# row STATUS PATTERN ARGS...: PATTERN, when not empty, must appear in stderr.
row() {
  local want=$1 pattern=$2; shift 2
  if [[ $(id -u) == 0 && "$*" == *@root-can* ]]; then root_skips=$((root_skips + 1)); return; fi
  local -a args=("${@//@root-can/}")
  rm -rf "$out" && mkdir "$out"
  (ulimit -v "$memory_kb" && exec timeout -s KILL 20 "$cli" "${args[@]}") <"${row_stdin:-/dev/null}" >"$tmp/stdout" 2>"$tmp/err"
  local got=$?
  local what="orvessa ${args[*]}"
  if ((got == 137)); then fail "$what: hung (killed after 20 s)"; return; fi
  [[ $got == "$want" ]] || fail "$what: exit $got, wanted $want ($(head -c 300 "$tmp/err"))"
  if ((got != 0)); then
    head -n 1 "$tmp/err" | grep -q '^orvessa: .' || fail "$what: no message"
    (($(grep -vc "^Try 'orvessa --help'.$" "$tmp/err") == 1)) || fail "$what: not one message line: $(cat "$tmp/err")"
  fi
  [[ -z $pattern ]] || grep -q -- "$pattern" "$tmp/err" || fail "$what: stderr lacks '$pattern': $(cat "$tmp/err")"
}
limit='pixels, more than the limit of 67108864 pixels'             # gray's: the whole picture
stream_limit='pixels, more than the limit of 268435456 pixels'     # blur's and smooth's
# Every filter of the tool, from the batch line of its help: blur|smooth|gray ...
filters=$("$cli" --help | sed -n 's/^  \(.*\)|gray \[OPTIONS\] -o DIR IN\.\.\.$/\1/p' | tr '|' ' ')
[[ $filters == *blur* ]] || fail "no filters in the help: '$filters'"
for f in $filters; do
  # Raw arrays.
  row 2 'Is a directory' $f --raw 2x2 "$in/dir" "$out/o"
  row 2 'not a regular file' $f --raw 2x2 "$in/fifo" "$out/o"
  row 2 'No such file' $f --raw 2x2 "$in/missing" "$out/o"
  row 2 'Permission denied' $f --raw 2x2 "$in/locked@root-can" "$out/o"
  row 2 'Input/output error' $f --raw 2x2 /proc/self/mem "$out/o"
  row 3 'Subscript out of range' $f --raw 4x5 "$in/empty" "$out/o"
  row 3 'Subscript out of range' $f --raw 4x5 - "$out/o"
  row 0 '' $f --raw 4x5 "$in/raw" "$out/o"
  row 2 'input file itself' $f --raw 4x5 "$in/raw" "$in/raw"
  row 2 'input file itself' $f --raw 4x5 "$in/raw" "$in/raw-link"
  row 2 'No such file' $f --raw 4x5 "$in/raw" "$tmp/no/such/dir/o"
  row 2 'Permission denied' $f --raw 4x5 "$in/raw" "$tmp/readonly/o@root-can"
  row 2 'Input/output error' $f --raw 4x5 "$in/raw" /proc/version
  row 2 'Is a directory' $f --raw 4x5 "$in/raw" "$in/dir"
  row 2 'no process reads' $f --raw 4x5 "$in/raw" "$in/fifo"
  row 1 '' $f --raw 4x5 --lower-bound x "$in/raw" "$out/o"
  row 1 '' $f --raw 4x5 --path nowhere "$in/raw" "$out/o"
  row 1 '' $f --raw 4x5 "$in/raw" "$out/o" extra
  row 1 '' $f --raw
  # Picture files.
  row 0 '' $f "$in/pic.bmp" "$out/o.png"
  row 2 'Is a directory' $f "$in/dir" "$out/o.png"
  row 2 'not a regular file' $f "$in/fifo" "$out/o.png"
  row 2 'Permission denied' $f "$in/locked@root-can" "$out/o.png"
  row 2 'Input/output error' $f /proc/self/mem "$out/o.png"
  row 2 '' $f "$in/empty" "$out/o.png"
  row 2 '' $f "$in/text.png" "$out/o.png"
  row 2 'an SVG drawing is not read here: draw it into a PNG first' $f "$in/huge.svg" "$out/o.png"
  row 2 "30000 x 30000 $stream_limit" $f "$in/huge.png" "$out/o.png"
  row_stdin=$in/huge.bmp row 2 "30000 x 30000 $stream_limit" $f - "$out/o.png"
  row 2 "48 x 32 pixels, more than the limit of 1000 pixels" $f --max-pixels 1000 "$in/pic.bmp" "$out/o.png"
  row 1 '' $f --max-pixels 0 "$in/pic.bmp" "$out/o.png"
  row 1 'png, jpeg' $f "$in/pic.bmp" "$out/o.gif"
  row 2 'input file itself' $f "$in/pic.bmp" "$in/pic-link.bmp"
  row 2 'no process reads' $f "$in/pic.bmp" "$in/fifo"
  row 2 'Permission denied' $f "$in/pic.bmp" "$tmp/readonly/o.png@root-can"
done
for f in big.pcx x.xpm x.psd x.xml x.tga x.heic; do
  for c in blur gray; do row 2 'not a picture of a format read here (PNG, JPEG' $c "$in/$f" "$out/o.png"; done
done
# A decoder's failure is the job's at every thread count: each is refused every time.
broken=$(cd "$(dirname "$0")/broken-pictures" && pwd)
for f in "$broken"/*.*; do
  [[ $f == *.md ]] && continue
  for threads in 1 2 8; do
    for ((k = 0; k < 8; k++)); do row 2 "cannot read $f: \(.*cut short or corrupt\|a broken [A-Za-z]*: .*ends early\)" blur --threads $threads "$f" "$out/o.png"; done
  done
done
row 0 '' gray "$in/pic.bmp" "$out/g.png"
row 2 'an SVG drawing is not read here' gray "$in/large.svg" "$out/g.png"
row 2 'an SVG drawing is not read here' gray "$in/entity.svg" "$out/g.png"
row 2 'Is a directory' gray "$in/dir" "$out/g.png"
row 2 'not a regular file' gray "$in/fifo" "$out/g.png"
row 2 'not a regular file' gray /dev/zero "$out/g.png"
row 2 'No such file' gray "$in/missing" "$out/g.png"
row 2 'Permission denied' gray "$in/locked@root-can" "$out/g.png"
row 2 'the file is empty' gray "$in/empty" "$out/g.png"
row 2 'not a picture of a format read here' gray "$in/text.png" "$out/g.png"
row 2 "30000 x 30000 $limit" gray "$in/huge.png" "$out/g.png"
row 2 "30000 x 30000 $limit" gray --two-color "$in/huge.bmp" "$out/g.png"
row_stdin=$in/pic.bmp row 0 '' gray - "$out/g.png"
row_stdin=$in/huge.bmp row 2 "standard input: .*30000 x 30000 $limit" gray - "$out/g.png"
row_stdin=$in/text.png row 2 'cannot read standard input: not a picture' gray - "$out/g.png"
row 2 'input file itself' gray "$in/pic.bmp" "$in/pic.bmp"
row 2 'No such file' gray "$in/pic.bmp" "$tmp/no/such/dir/g.png"
row 2 'Is a directory' gray "$in/pic.bmp" "$in/dir"
row 2 'too large' gray --fit 10000x10000 "$in/pic.bmp" "$out/g.png"
row 1 '' gray --threshold 999 "$in/pic.bmp" "$out/g.png"
row 1 '' gray --fit 0x5 "$in/pic.bmp" "$out/g.png"
row 1 '' gray --dpi 1,2,3 "$in/pic.bmp" "$out/g.png"
row 1 '' gray --unknown "$in/pic.bmp" "$out/g.png"
row 1 '' gray --threshold
row 1 '' nonsense
row 0 '' blur --help
row 0 '' --threads 1 -f blur --raw 4x5 "$in/raw" "$out/o"
row 2 "cannot read $in/missing: No such file" blur "$in/missing" "$out/o.png"
row 2 "cannot read $in/missing: No such file" gray "$in/missing" "$out/o.png"
row 3 'Overflow' scale-x 1e30
row 3 'Floating-point' fit 10 5 0 5
row 1 '' fit 1 2 3 four
# The command line as getopt reads it. An option the tool does not know, or
# this command does not take, is refused wherever it stands and writes
# nothing, not even a file named after it; short options group and take
# attached values; '-' and a digit is a number.
mkdir "$tmp/cwd" && cd "$tmp/cwd" || exit 1
row 1 'unknown option -x' blur "$in/pic.bmp" -x
row 1 'unknown option -x' blur --raw 4x5 "$in/raw" -x
row 1 'unknown option -x' -x blur "$in/pic.bmp" o.png
row 1 'unknown option -y' smooth -fy "$in/pic.bmp" o.png
row 1 'unknown option --nope' gray "$in/pic.bmp" o.png --nope=1
row 1 'unknown option -j' fit -j2 10 5 3 4
row 1 '-j needs a value' blur -o d "$in/pic.bmp" -fj
[[ -z $(ls -A) ]] || fail "refused command lines wrote: $(ls -A)"
cd - >/dev/null || exit 1
for line in "blur -j1 -q -o$out/d" "-fqj2 blur -o $out/d" "smooth -fqj 2 -o$out/d" "gray -qfo $out/d --"; do
  row 0 '' $line "$in/pic.bmp"
  [[ -f $out/d/pic.bmp && ! -s $tmp/err ]] || fail "$line: no quiet output in $out/d"
done
row 0 '' blur --raw 4x5 -f -- "$in/raw" "$out/-x"
[[ -f $out/-x ]] || fail "-- : no OUT named -x"
for line in "fit -5 10 3 4" "fit -05 10 3 4" "scale-x -0.5" "scale-y --dpi=120 -2540"; do row 0 '' $line; done
[[ $("$cli" scale-x -100) == "-$("$cli" scale-x 100)" ]] || fail "scale-x -100"
# A truncated picture is refused, and nothing is written.
for c in gray blur; do
  for f in "$in/truncated.jpg" "$in/truncated.bmp"; do
    row 2 '' $c "$f" "$out/t.png"
    [[ ! -e $out/t.png ]] || fail "$c $f: a truncated picture left $out/t.png"
  done
done
(cd "$in" && find . -type f -exec md5sum {} + | sort) | cmp -s - "$tmp/inputs.md5" || fail "an input file changed"

# Replacing files. The wildcard accident (`blur *.jpg` over two pictures)
# is refused and the second picture kept; --force replaces OUT, keeping its
# mode. A write that fails (a file-size limit, a full disk) leaves the
# previous OUT whole and no temporary file.
w=$tmp/replace
mkdir "$w" && cp "$pictures/coffee.jpg" "$pictures/chelsea-small.bmp" "$w/" && cp "$pictures/coffee.bmp" "$w/rocket.jpg"
(cd "$w" && expect_status 2 "blur *.jpg" "$cli" blur *.jpg && grep -q -- '--force' "$tmp/err") || fail "wildcard: no refusal naming --force"
cmp -s "$w/rocket.jpg" "$pictures/coffee.bmp" || fail "wildcard: rocket.jpg changed"
(cd "$w" && expect_status 1 "blur of three pictures" "$cli" blur *.jpg *.bmp)
chmod 640 "$w/rocket.jpg"
expect_status 0 "--force" "$cli" blur "$w/chelsea-small.bmp" --force "$w/rocket.jpg"
[[ $(stat -c %a "$w/rocket.jpg") == 640 ]] || fail "--force: mode not kept"
cmp -s "$w/rocket.jpg" "$pictures/coffee.bmp" && fail "--force: rocket.jpg not replaced"
failed_write() { # FOLDER FILE-SIZE-LIMIT REASON
  printf 'prior' >"$1/prior.png"
  (ulimit -f "$2" && exec "$cli" blur -f "$pictures/coffee.bmp" "$1/prior.png") 2>"$tmp/err"
  [[ $? == 2 ]] && grep -qx "orvessa: cannot write $1/prior.png: $3" "$tmp/err" || fail "failed write in $1: $(cat "$tmp/err")"
  [[ $(cat "$1/prior.png") == prior && $(ls -A "$1") == prior.png ]] || fail "failed write in $1: OUT broken or a stray file: $(ls -A "$1")"
}
mkdir "$tmp/limited" && failed_write "$tmp/limited" 8 'File too large'
# A full disk, where root may mount a small one.
if [[ $(id -u) == 0 ]] && mkdir "$tmp/full" && mount -t tmpfs -o size=64k tmpfs "$tmp/full" 2>/dev/null; then
  failed_write "$tmp/full" unlimited 'No space left on device'
  umount "$tmp/full"
fi

# Batches: a bad input among many is reported and the batch goes on; the
# same bytes for any --jobs; outputs that exist are skipped; two inputs
# for one output are refused before any work.
b=$tmp/batch
mkdir -p "$b/in" "$b/more"
for k in 1 2 3; do cp "$pictures/chelsea-small.bmp" "$b/in/small$k.bmp"; done
cp "$pictures/coffee.jpg" "$pictures/chelsea.gif" "$b/in/" && echo "no picture" >"$b/in/text.png"
cp "$pictures/camera.png" "$b/more/chelsea.png"
for jobs in 1 4; do
  expect_status 2 "batch --jobs $jobs" "$cli" smooth --jobs "$jobs" "$b/in/"* "$b/in/missing.png" -o "$b/out$jobs"
  [[ $(grep -c 'text.png' "$tmp/err") == 1 && $(grep -c 'missing.png' "$tmp/err") == 1 ]] || fail "batch: one line per failure: $(cat "$tmp/err")"
  grep -qx 'orvessa: 5 done, 2 failed, 0 skipped as existing' "$tmp/err" || fail "batch summary: $(cat "$tmp/err")"
done
[[ $(ls "$b/out1" | tr '\n' ' ') == "chelsea.png coffee.jpg small1.bmp small2.bmp small3.bmp " ]] || fail "batch outputs: $(ls -A "$b/out1")"
for f in "$b/out1/"*; do cmp -s "$f" "$b/out4/${f##*/}" || fail "batch: ${f##*/} differs between --jobs 1 and 4"; done
"$cli" smooth "$b/in/coffee.jpg" "$tmp/single.jpg" && cmp -s "$tmp/single.jpg" "$b/out1/coffee.jpg" || fail "batch: not the single run's bytes"
expect_status 2 "batch again" "$cli" smooth -o "$b/out1" "$b/in/small1.bmp" "$b/in/coffee.jpg"
grep -qx 'orvessa: 0 done, 0 failed, 2 skipped as existing' "$tmp/err" || fail "batch skipping: $(cat "$tmp/err")"
expect_status 0 "batch --format" "$cli" blur --format jpeg --quality 75 -o "$b/asjpeg" "$b/in/small1.bmp" "$b/in/chelsea.gif"
[[ $(ls "$b/asjpeg" | tr '\n' ' ') == "chelsea.jpg small1.jpg " ]] || fail "batch --format: $(ls "$b/asjpeg")"
expect_status 0 "batch --quality, other formats too" "$cli" blur --quality 75 -o "$b/mixed" "$b/in/small1.bmp" "$b/in/coffee.jpg"
expect_status 1 "two inputs, one output" "$cli" blur -o "$b/clash" "$b/in/chelsea.gif" "$b/more/chelsea.png"
grep -q 'would both be written to' "$tmp/err" && [[ ! -e $b/clash ]] || fail "clash: $(cat "$tmp/err")"

# --from: names with spaces and newlines (-0), or one a line.
mkdir "$b/names" && cp "$pictures/chelsea-small.bmp" "$b/names/with space.bmp" && cp "$pictures/chelsea-small.bmp" "$b/names/new"$'\n'"line.bmp"
printf '%s\0' "$b/names/"* | "$cli" gray -0 --from - -o "$b/gray0" --two-color 2>"$tmp/err" || fail "--from -0: $(cat "$tmp/err")"
[[ -f "$b/gray0/with space.bmp" && -f "$b/gray0/new"$'\n'"line.bmp" ]] || fail "--from -0 outputs: $(ls "$b/gray0")"
printf '%s\n' "$b/names/with space.bmp" >"$b/list"
expect_status 0 "--from a list" "$cli" gray --from "$b/list" -o "$b/gray1" --two-color
cmp -s "$b/gray0/with space.bmp" "$b/gray1/with space.bmp" || fail "--from a list: output differs"

# Folder trees: a camera's names repeat in every folder. --relative, --base
# and -r keep them apart; -r takes only pictures, never hidden names or
# linked folders; an input outside the base is refused alone, and nothing
# lands outside DIR.
t=$b/tree
mkdir -p "$t/photos/2019" "$t/photos/2020" "$t/photos/.thumbs" "$t/photos/my trip"
for f in 2019/IMG_0001.bmp 2020/IMG_0001.bmp .thumbs/IMG_0001.bmp .hidden.bmp; do cp "$pictures/chelsea-small.bmp" "$t/photos/$f"; done
cp "$pictures/chelsea.gif" "$t/photos/my trip/a b.gif" && echo "no picture" >"$t/photos/notes.txt" && ln -s ../2019 "$t/photos/2020/linked"
printf '%s\0' "photos/my trip/a b.gif" photos/2019/IMG_0001.bmp >"$tmp/list0"
tree_row() { # STATUS 'FILES MADE' STDERR-PATTERN ARGS...
  local want=$1 files=$2 pattern=$3; shift 3
  rm -rf "$t/out"
  (cd "$t" && exec "$cli" blur -o out "$@") 2>"$tmp/err"; local got=$?
  local made; made=$(cd "$t" && find out -type f 2>/dev/null | sort | tr '\n' '|')
  [[ $got == "$want" && $made == "$files" ]] && grep -q -- "$pattern" "$tmp/err" ||
    fail "blur -o out $*: exit $got, made '$made' ($(cat "$tmp/err"))"
}
one=photos/2019/IMG_0001.bmp two=photos/2020/IMG_0001.bmp
tree_row 1 '' 'would both be written to out/IMG_0001.bmp; --relative keeps their folders' $one $two
tree_row 0 "out/$one|out/$two|" '2 done' --relative $one "$t/$two"
tree_row 0 'out/2019/IMG_0001.bmp|out/2020/IMG_0001.bmp|' '2 done' --base photos $one ../tree/$two
tree_row 2 "out/$one|" 'small1.bmp is outside the current folder' --relative $one "$b/in/small1.bmp"
tree_row 2 'out/2019/IMG_0001.bmp|' 'photos/../x.bmp is outside --base photos' --base photos $one photos/../x.bmp
tree_row 0 "out/$one|out/$two|out/photos/my trip/a b.png|" '3 done, 0 failed, 0 skipped as existing, 1 file not a picture' -r photos
tree_row 0 'out/2020/IMG_0001.bmp|' '1 done' -r photos/2020
tree_row 0 "out/$one|out/photos/my trip/a b.png|" '2 done' -0 --from "$tmp/list0" --relative

# Resuming: run again with -n, a stopped batch does only the rest; the
# outputs it finds are not touched and the exit status stays 0.
r=$b/resumed
"$cli" blur -q -r "$t/photos" -o "$r" || fail "-r with an absolute folder"
rm "$r/photos/2020/IMG_0001.bmp"
kept=$(stat -c '%i %y %n' "$r/photos/2019/IMG_0001.bmp" "$r/photos/my trip/a b.png")
expect_status 0 "-n resumes" "$cli" blur -n -r "$t/photos" -o "$r"
grep -qx 'orvessa: 1 done, 0 failed, 2 skipped as existing, 1 file not a picture' "$tmp/err" || fail "-n summary: $(cat "$tmp/err")"
[[ -f $r/photos/2020/IMG_0001.bmp && $(stat -c '%i %y %n' "$r/photos/2019/IMG_0001.bmp" "$r/photos/my trip/a b.png") == "$kept" ]] ||
  fail "-n: did not do exactly the rest"
expect_status 0 "-n IN OUT" "$cli" blur -n "$t/$two" "$r/photos/2019/IMG_0001.bmp"
grep -q 'left alone' "$tmp/err" && [[ $(stat -c '%i %y %n' "$r/photos/2019/IMG_0001.bmp" "$r/photos/my trip/a b.png") == "$kept" ]] ||
  fail "-n IN OUT: $(cat "$tmp/err")"
expect_status 1 "-n with -f" "$cli" blur -nf -o "$r" "$t/$two"

# SIGTERM and SIGINT mid-batch: status 143 or 130, and only whole outputs
# under their names. (Job control, so that the batch does not ignore SIGINT.)
mkdir "$b/slow"
for k in $(seq 40); do ln -s "$pictures/coffee.bmp" "$b/slow/p$k.bmp"; done
"$cli" blur "$pictures/coffee.bmp" "$tmp/whole.bmp"
for signal in TERM:143 INT:130; do
  stopped=$b/stopped-${signal%:*}
  set -m
  "$cli" blur --jobs 2 -o "$stopped" "$b/slow/"* 2>/dev/null & pid=$!
  set +m
  for ((k = 0; k < 400; k++)); do (($(ls "$stopped" 2>/dev/null | wc -l) >= 2)) && break; sleep 0.02; done
  kill -"${signal%:*}" $pid; wait $pid; got=$?
  [[ $got == "${signal#*:}" ]] || fail "SIG${signal%:*}: exit $got"
  n=$(ls -A "$stopped" | wc -l)
  ((n >= 2 && n < 40)) || fail "SIG${signal%:*}: $n outputs"
  for f in "$stopped/"* "$stopped/".*; do
    [[ -f $f ]] || continue
    [[ ${f##*/} == p*.bmp ]] && cmp -s "$f" "$tmp/whole.bmp" || fail "SIG${signal%:*} left ${f##*/}, not a whole output"
  done
done

# Progress: on a terminal a line redrawn in place and cleared; through a
# pipe or with --quiet nothing of it.
on_terminal() {
  /usr/bin/python3 -c 'import os, pty, sys
pid, fd = pty.fork()
if pid == 0: os.execv(sys.argv[1], sys.argv[1:])
out = b""
while True:
    try: chunk = os.read(fd, 4096)
    except OSError: break
    if not chunk: break
    out += chunk
os.waitpid(pid, 0)
sys.stdout.buffer.write(out)' "$@"
}
on_terminal "$cli" blur -f -o "$b/tty" "$b/in/small"* >"$tmp/tty"
grep -q $'\r\e\[Korvessa: 3/3 pictures' "$tmp/tty" && grep -q $'\r\e\[Korvessa: 3 done' "$tmp/tty" || fail "no progress on a terminal: $(od -c "$tmp/tty" | head)"
on_terminal "$cli" blur -f -q -o "$b/tty" "$b/in/small"* >"$tmp/tty"
[[ ! -s $tmp/tty ]] || fail "--quiet on a terminal: $(cat "$tmp/tty")"
"$cli" blur -f -o "$b/tty" "$b/in/small"* 2>&1 | cat >"$tmp/pipe"
[[ $(cat "$tmp/pipe") == "orvessa: 3 done, 0 failed, 0 skipped as existing" ]] || fail "progress through a pipe: $(od -c "$tmp/pipe" | head)"
[[ -z $(ls -A "$TMPDIR") ]] || fail "temporary files left: $(ls -A "$TMPDIR")"
((root_skips == 0)) || echo "cli contract: $root_skips rows skipped: root reads and writes past file modes"

if ((failures)); then echo "$failures failed"; exit 1; fi
echo "cli contract: all checks passed"
