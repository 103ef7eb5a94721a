#!/usr/bin/env bash
# The command-line contract of `orvessa blur|smooth --raw`: results, exit
# statuses, messages, and the array written out after an error.
set -u
cli=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
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
  expect_status 0 "smooth tie $shift" "$cli" smooth --raw 3x4 "$tmp/tie" "$tmp/tie.out"
  got=$(od -An -tu1 -j 27 -N 3 "$tmp/tie.out" | tr -s ' ' | sed 's/^ //')
  want=$((shift ? 102 : 100))
  [[ $got == "$want $want $want" ]] || fail "smooth tie $shift: centre $got, wanted $want"
done

# Errors: exit 3, message, and the array as the method left it.
expect_status 3 "stride overflow" "$cli" blur --raw=715827882x5 "$tmp/in" "$tmp/out"
grep -qx 'orvessa: Overflow (error 6)' "$tmp/err" || fail "overflow message: $(cat "$tmp/err")"
cmp -s "$tmp/out" "$tmp/in" || fail "overflow leaves the array unchanged"
expect_status 3 "negative width" "$cli" smooth --raw=-5x10 "$tmp/in" "$tmp/out"
grep -qx 'orvessa: Subscript out of range (error 9)' "$tmp/err" || fail "subscript message"
# Lowest index 1: the centre rows are filtered, then the bottom row fails,
# on any number of threads (bands of one row here).
tail -c 59 "$tmp/in" >"$tmp/in1"
tail -c 59 "$tmp/want" >"$tmp/want1"
for threads in 1 2 3; do
  expect_status 3 "lowest index 1, $threads threads" "$cli" blur --raw 4x5 --lower-bound 1 \
    --threads "$threads" "$tmp/in1" "$tmp/out"
  cmp -s "$tmp/out" "$tmp/want1" || fail "lowest index 1 keeps the filtered rows ($threads threads)"
done

# Usage and file errors.
expect_status 1 "no command" "$cli"
expect_status 1 "bad size" "$cli" blur --raw 4by5 "$tmp/in" "$tmp/out"
expect_status 1 "no thread" "$cli" blur --raw 4x5 --threads 0 "$tmp/in" "$tmp/out"
expect_status 1 "missing OUT" "$cli" blur --raw 4x5 "$tmp/in"
expect_status 2 "missing IN" "$cli" blur --raw 4x5 "$tmp/nope" "$tmp/out"
expect_status 2 "unwritable OUT" "$cli" blur --raw 4x5 "$tmp/in" "$tmp/no/such/dir/out"
expect_status 0 "help" "$cli" --help
expect_status 0 "version" "$cli" --version

if ((failures)); then echo "$failures failed"; exit 1; fi
echo "cli contract: all checks passed"
