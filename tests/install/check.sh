#!/usr/bin/env bash
# Checks what users get: the install tree (moved after installing, as a
# package moves it), a consumer built against it and against the unpacked
# liborvessa-dev through find_package and through pkg-config, and with the
# source tree added to its project (subproject.sh), the Python
# package imported from it, the manual page,
# the Debian packages (lintian, debug symbols) and the Windows zip that
# scripts/package.sh made, whose README.txt it follows under Wine; last, a
# second build elsewhere must give the same bytes (rebuild.sh).
#   tests/install/check.sh   (after scripts/package.sh)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
native="$root/build/package-native"
packages="$root/out/packages"
picture="$root/sample-pictures/chelsea-small.bmp"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)

echo "-- install into a prefix, then move it"
cmake --install "$native" --prefix "$work/installed" >/dev/null
mv "$work/installed" "$work/prefix"
prefix="$work/prefix"
tool="$prefix/bin/orvessa"
"$tool" gray "$picture" "$work/expected.png"
version=$("$tool" --version)

echo "-- every installed header compiles on its own"
for header in "$prefix"/include/orvessa/*.hpp; do
  echo "#include <orvessa/${header##*/}>" |
    g++ -std=c++20 -Wall -Wextra -Werror -fsyntax-only -I "$prefix/include" -x c++ - ||
    fail "${header##*/} does not compile on its own"
done

# The consumer paints the picture gray as the tool does and prints the
# version it was built against: both must agree with the installed tool.
check_consumer() {
  local program=$1 how=$2 output
  output=$("$program" "$picture" "$work/$how.png") || fail "the $how consumer failed"
  [[ "$output" == "$version" ]] || fail "the $how consumer says '$output', the tool '$version'"
  cmp -s "$work/expected.png" "$work/$how.png" || fail "the $how consumer paints otherwise than the tool"
}

# The consumer built through find_package and through pkg-config against
# the libraries under PREFIX (with the multiarch libdir of a /usr build).
check_consumers() {
  local prefix=$1 where=$2
  echo "-- a consumer through find_package ($where)"
  cmake -S "$root/tests/install/consumer" -B "$work/cmake-build-$where" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
  cmake --build "$work/cmake-build-$where" >/dev/null
  check_consumer "$work/cmake-build-$where/app" "find_package-$where"
  echo "-- a consumer of the core alone, the format libraries out of sight ($where)"
  cmake -S "$root/tests/install/consumer-core" -B "$work/core-build-$where" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_DISABLE_FIND_PACKAGE_PkgConfig=ON -DCMAKE_DISABLE_FIND_PACKAGE_GIF=ON >/dev/null
  cmake --build "$work/core-build-$where" >/dev/null
  "$work/core-build-$where/core-consumer" 30 20 "$work/raw.in" "$work/core-$where.out" ||
    fail "the core consumer failed ($where)"
  cmp -s "$work/raw.out" "$work/core-$where.out" || fail "the core consumer blurs otherwise than the tool ($where)"
  echo "-- a consumer through pkg-config ($where)"
  # shellcheck disable=SC2046 # word splitting of the flags is wanted
  g++ -std=c++20 "$root/tests/install/consumer/main.cpp" -o "$work/consumer-pc-$where" \
    $(PKG_CONFIG_PATH="$prefix/lib/$multiarch/pkgconfig" pkg-config --cflags orvessa-platform) \
    $(PKG_CONFIG_PATH="$prefix/lib/$multiarch/pkgconfig" pkg-config --static --libs orvessa-platform)
  check_consumer "$work/consumer-pc-$where" "pkg-config-$where"
}
# The README's CMake lines are the consumer's, as written.
readme_cmake=$(awk '/^Using the installed library from CMake/ { on = 1 }
  on && /^    / { print substr($0, 5); seen = 1 } on && seen && /^[^ ]/ { exit }' "$root/README.md")
[[ -n "$readme_cmake" ]] || fail "no find_package example in README.md"
[[ "$(tail -n "$(wc -l <<<"$readme_cmake")" "$root/tests/install/consumer/CMakeLists.txt")" == "$readme_cmake" ]] ||
  fail "the README's find_package example is not the consumer's last CMake lines"
# A 30 x 20 pixel buffer (rows padded to 92 bytes) and the tool's blur of it.
head -c 1840 "$picture" >"$work/raw.in"
"$tool" blur --raw 30x20 "$work/raw.in" "$work/raw.out"
check_consumers "$prefix" install
# The same programs with Orvessa built inside their project, never installed.
"$root/tests/install/subproject.sh" "$tool"

# The Python package under PYTHONPATH smooths the picture as the tool does.
python=/usr/bin/python3
"$tool" smooth "$picture" "$work/smoothed.png"
check_python() {
  local where=$1 how=$2
  (cd "$work" && PYTHONPATH="$where" "$python" -c '
import importlib.metadata, sys, orvessa
assert orvessa.__file__.startswith(sys.argv[1]), orvessa.__file__
assert orvessa.__version__ == sys.argv[2], orvessa.__version__
assert importlib.metadata.version("orvessa") == sys.argv[2], importlib.metadata.version("orvessa")
import orvessa.dask
orvessa.smooth_file(sys.argv[3], sys.argv[4])
' "$where" "$project_version" "$picture" "$work/$how.png") || fail "the $how Python package does not import or run"
  cmp -s "$work/smoothed.png" "$work/$how.png" || fail "the $how Python package smooths otherwise than the tool"
}
python_dir=lib/python3/dist-packages
project_version=$(sed -n 's/^project(Orvessa VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
echo "-- the Python package imports from the prefix"
check_python "$prefix/$python_dir" installed

echo "-- the manual page renders and lists every command of --help"
page="$native/orvessa.1"
rendered=$(MANWIDTH=100 MAN_KEEP_FORMATTING= man --warnings "$page" 2>"$work/man.err")
[[ ! -s "$work/man.err" ]] || fail "man warns: $(cat "$work/man.err")"
commands=$("$tool" --help | sed -n '/^Commands:/,/^$/p' | grep -E '^  [a-z]' | grep -oE '(^  |, )[a-z][a-z-]*' |
  sed 's/^[ ,]*//' | sort -u)
[[ -n "$commands" ]] || fail "no commands found in --help"
for command in $commands; do
  grep -qE "(^ +|, )$command( |,|$)" <<<"$rendered" || fail "the manual page lacks the command $command"
done

echo "-- the Debian packages"
tool_deb=$(ls "$packages"/orvessa_*.deb)
dev_deb=$(ls "$packages"/liborvessa-dev_*.deb)
python_deb=$(ls "$packages"/python3-orvessa_*.deb)
lint=$(lintian --fail-on error,warning "$packages"/*.deb 2>&1) || fail "lintian: $lint"
(cd "$packages" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the packages"
# Every shared library that a program loads comes from a package it depends on.
check_shlib_depends() {
  local deb=$1 binary=$2 depends depended owner
  depends=$(dpkg-deb -f "$deb" Depends)
  depended=$(sed 's/ ([^)]*)//g; s/ *[,|] */\n/g' <<<"$depends")
  for soname in $(objdump -p "$binary" | awk '/NEEDED/ { print $2 }'); do
    owner=$(dpkg -S "*/$multiarch/$soname" | head -1 | cut -d: -f1)
    grep -qxF "$owner" <<<"$depended" ||
      fail "${binary##*/} needs $soname from $owner, which Depends ($depends) lacks"
  done
}
check_shlib_depends "$tool_deb" "$native/orvessa"
check_shlib_depends "$python_deb" "$(ls "$prefix/$python_dir"/orvessa/_orvessa*.so)"
grep -q 'python3-numpy' <<<"$(dpkg-deb -f "$python_deb" Depends)" ||
  fail "python3-orvessa does not depend on python3-numpy"
grep -q 'libpng-dev' <<<"$(dpkg-deb -f "$dev_deb" Depends)" ||
  fail "liborvessa-dev does not depend on the format libraries' development files"
# The packages together hold exactly what the install gives, in /usr, with
# the manual page compressed, and beside it each its copyright and changelog.
(cd "$prefix" && find . -type f | sed 's|^\./|./usr/|; s|/man/man1/.*|&.gz|' | sort) >"$work/installed.txt"
for package in orvessa liborvessa-dev python3-orvessa; do
  printf './usr/share/doc/%s/%s\n' "$package" changelog.gz "$package" copyright
done >>"$work/installed.txt"
{ dpkg-deb -c "$tool_deb"; dpkg-deb -c "$dev_deb"; dpkg-deb -c "$python_deb"; } | awk '$1 !~ /^d/ { print $NF }' | sort >"$work/packaged.txt"
diff <(sort "$work/installed.txt") "$work/packaged.txt" || fail "the packages hold other files than the install"
dpkg-deb -x "$tool_deb" "$work/deb"
[[ "$("$work/deb/usr/bin/orvessa" --version)" == "$version" ]] || fail "the packaged tool's version"
"$work/deb/usr/bin/orvessa" gray "$picture" "$work/deb.png"
cmp -s "$work/expected.png" "$work/deb.png" || fail "the packaged tool paints otherwise"
dpkg-deb -x "$python_deb" "$work/python-deb"
check_python "$work/python-deb/usr/$python_dir" packaged
dpkg-deb -x "$dev_deb" "$work/dev-deb"
check_consumers "$work/dev-deb/usr" package

# The packaged binaries are stripped; gdb names their functions and source
# lines from the debug files of the -dbgsym packages, found by build-id.
echo "-- the debug symbols"
dpkg-deb -x "$(ls "$packages"/orvessa-dbgsym_*.deb)" "$work/deb"
dpkg-deb -x "$(ls "$packages"/python3-orvessa-dbgsym_*.deb)" "$work/python-deb"
# Stops at FUNCTION in the program that the arguments run and prints the
# frame, with the debug files under DEBUG.
stop_in() {
  local debug=$1 function=$2
  shift 2
  (cd "$work" && PYTHONPATH="$work/python-deb/usr/$python_dir" gdb -nx -batch \
    -iex 'set debuginfod enabled off' -iex "set debug-file-directory $debug" \
    -ex 'set breakpoint pending on' -ex "break $function" -ex run -ex 'bt 1' --args "$@" 2>&1)
}
check_symbols() {
  local deb_root=$1 function=$2 source=$3 frame
  shift 3
  frame=$(stop_in "$deb_root/usr/lib/debug" "$function" "$@" | grep '^#0') || true
  [[ "$frame" =~ $function.*" at ./$source:"[0-9]+ ]] || fail "no $function in $source from the debug files: '$frame'"
  frame=$(stop_in "$work/no-debug" "$function" "$@") || true  # gdb fails: no function, no stack
  [[ "$frame" != *"$source"* ]] || fail "the packaged binary with $function is not stripped"
}
check_symbols "$work/deb" main tools/main.cpp "$work/deb/usr/bin/orvessa" --version
check_symbols "$work/python-deb" PyInit__orvessa python/src/module.cpp "$python" -c 'import orvessa'

echo "-- the Windows zip"
zip=$(ls "$packages"/Orvessa-*-windows.zip)
mkdir "$work/zip"
(cd "$work/zip" && cmake -E tar xf "$zip")
top="$work/zip/$(basename "$zip" .zip)"
[[ -f "$top/README.txt" ]] || fail "the zip has no README.txt"
# Both DLLs are in the zip, each in its bitness's folder with its manifest.
for tree in package-windows-32:x86:PE32 package-windows-64:x64:PE32+; do
  IFS=: read -r dir folder format <<<"$tree"
  built="$root/build/$dir/Orvessa.dll"
  cmp -s "$built" "$top/$folder/Orvessa.dll" || fail "$folder/Orvessa.dll is not the built DLL"
  file -b "$top/$folder/Orvessa.dll" | grep -q "^$format " || fail "$folder/Orvessa.dll is not $format"
  cmp -s "$root/build/$dir/Orvessa.manifest" "$top/$folder/Orvessa.manifest" ||
    fail "$folder/Orvessa.manifest is missing or differs"
done
tr -d '\r' <"$top/LICENSE.txt" | cmp -s - "$root/LICENSE" || fail "the zip lacks the licence"
for example in "$root"/docs/examples/*.vbs "$root"/docs/examples/*.cpp "$root/sample-pictures/chelsea-small.bmp"; do
  cmp -s "$example" "$top/examples/${example##*/}" || fail "the zip lacks examples/${example##*/}"
done

# The commands ("  > " lines) that README.txt gives for one kind of Windows,
# 64 or 32, in the order it gives them.
readme_commands() {
  tr -d '\r' <"$top/README.txt" | awk -v kind="$1" '
    /^(Installing on|On) [0-9]+-bit Windows:?$/ { match($0, /[0-9]+-bit/); current = substr($0, RSTART, RLENGTH - 4) }
    /^  > / && current == kind { print substr($0, 5) }'
}

# README.txt followed as a person on Windows does, in a fresh unzip, under
# Wine: a Wine prefix of the given bitness stands for that kind of Windows.
# Every command succeeds, check.vbs prints the type name, the pictures that
# filter_bmp.vbs writes have the Linux tool's pixels; before registering and
# after uninstalling, check.vbs fails with status 1.
follow_readme() {
  local bits=$1 dir="$work/readme-$1" line words output check
  echo "-- README.txt followed on $bits-bit Windows (Wine)"
  use_windows_tree "$bits" "$root/build/package-windows-$bits"  # its Wine prefix
  ensure_wine_prefix
  mkdir "$dir"
  (cd "$dir" && cmake -E tar xf "$zip")
  dir="$dir/$(basename "$zip" .zip)"
  check=$(readme_commands "$bits" | grep -m1 'check\.vbs') || fail "README.txt runs no check.vbs on $bits-bit Windows"
  check_fails "$dir" "$check" "before registering"
  while IFS= read -r line; do
    read -ra words <<<"$line"
    output=$(cd "$dir" && wine_run "${words[@]}" 2>&1 </dev/null) || fail "README.txt step '$line' failed: $output"
    output=${output//$'\r'/}
    case "$line" in
      *check.vbs*) [[ "$output" == _Pictava ]] || fail "'$line' printed '$output'" ;;
      *filter_bmp.vbs*)
        "$tool" "${words[-1]}" --force "$dir/${words[-3]//\\//}" "$work/expected.bmp"
        cmp -s <(bmp_pixels "$work/expected.bmp") <(bmp_pixels "$dir/${words[-2]}") ||
          fail "'$line' wrote other pixels than the Linux tool" ;;
    esac
  done < <(readme_commands "$bits")
  check_fails "$dir" "$check" "after uninstalling"
}

# In the unzipped folder DIR, the check command CHECK must fail loudly: status
# 1 and error 429 (nothing registered).
check_fails() {
  local dir=$1 check=$2 when=$3 words output status=0
  read -ra words <<<"$check"
  output=$(cd "$dir" && wine_run "${words[@]}" 2>&1) || status=$?
  [[ $status -eq 1 && "$output" == *"FAILED: error 429"* ]] ||
    fail "check.vbs $when ended with status $status: $output"
}

source "$root/scripts/windows-common.sh"
follow_readme 64
follow_readme 32

echo "-- the npm package"
# Installed from its file into a project of its own, as a user does; its
# declarations name exactly what the module exports.
mkdir "$work/npm"
(cd "$work/npm" && npm init -y >/dev/null &&
  npm install --offline --no-audit --no-fund "$packages"/orvessa-*.tgz >/dev/null) ||
  fail "npm install of the package failed"
(cd "$work/npm" && node --input-type=module - "$(ls "$packages"/orvessa-*.tgz)") <<'EOF' ||
import { readFileSync } from 'node:fs';
import * as orvessa from 'orvessa';
const picture = { data: new Uint8ClampedArray(4 * 5 * 4).map((_, i) => i * 13), width: 5, height: 4 };
orvessa.gray(orvessa.smooth(orvessa.blur(picture)));
if (!process.argv[2].endsWith(`orvessa-${orvessa.version}.tgz`)) throw new Error(`version ${orvessa.version}`);
const declared = [...readFileSync('node_modules/orvessa/orvessa.d.ts', 'utf8')
  .matchAll(/^export (?:function|const|class) (\w+)/gm)].map((m) => m[1]).sort();
const exported = Object.keys(orvessa).sort();
if (declared.join() !== exported.join()) throw new Error(`declared ${declared}, exported ${exported}`);
EOF
  fail "the installed npm package does not work"

echo "-- a second build elsewhere"
"$root/tests/install/rebuild.sh"
echo "-- install and packages checked"
