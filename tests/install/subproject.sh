#!/usr/bin/env bash
# Checks Orvessa as a part of another CMake project (tests/install/subproject/):
# added from this tree by add_subdirectory, and fetched by FetchContent from a
# tarball of it, it gives Orvessa::platform and Orvessa::core, whose consumers
# paint and blur as the tool does; it builds none of the tool, tests or
# Python, installs nothing, and keeps its compile options and build type to
# itself.
#   tests/install/subproject.sh TOOL   (the orvessa tool to compare with)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
tool=$(realpath "$1")
picture="$root/sample-pictures/chelsea-small.bmp"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

"$tool" gray "$picture" "$work/expected.png"
version=$("$tool" --version)
head -c 1840 "$picture" >"$work/raw.in"
"$tool" blur --raw 30x20 "$work/raw.in" "$work/raw.out"

# The tarball of a release: the files git knows, committed or not.
(cd "$root" && git ls-files -z --cached --others --exclude-standard |
  while IFS= read -r -d '' file; do [[ ! -e "$file" ]] || printf '%s\0' "$file"; done |
  tar --null -T - --transform 's|^|orvessa/|' -czf "$work/orvessa.tar.gz")

# Builds the consumers with Orvessa taken HOW, the rest of the arguments
# configuring them, and checks what they do and what the build made.
check_subproject() {
  local how=$1 build="$work/$1" output
  shift
  echo "-- consumers with Orvessa by $how"
  { cmake -S "$root/tests/install/subproject" -B "$build" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON "$@" &&
    cmake --build "$build" -j "$(nproc)"; } >"$work/$how.log" 2>&1 ||
    { cat "$work/$how.log"; fail "the $how consumers do not build"; }
  output=$("$build/app" "$picture" "$work/$how.png") || fail "the $how consumer failed"
  [[ "$output" == "$version" ]] || fail "the $how consumer says '$output', the tool '$version'"
  cmp -s "$work/expected.png" "$work/$how.png" || fail "the $how consumer paints otherwise than the tool"
  "$build/core-consumer" 30 20 "$work/raw.in" "$work/$how.out" || fail "the $how core consumer failed"
  cmp -s "$work/raw.out" "$work/$how.out" || fail "the $how core consumer blurs otherwise than the tool"
  made=$(find "$build" -type f \( -name orvessa -o -name 'orvessa_*tests' -o -name '_orvessa*.so' \
    -o -name orvessa.1 \))
  [[ -z "$made" ]] || fail "the $how build made $made"
  cmake --install "$build" --prefix "$work/$how-prefix" >/dev/null
  [[ ! -e "$work/$how-prefix" ]] || fail "installing the $how consumers installs $(find "$work/$how-prefix" -type f)"
  # Our compile options reach our sources alone; the consumers' build type ours.
  python3 - "$build" "$how" <<'PYTHON' || fail "the $how build mixes its options with Orvessa's"
import json, sys
build, how = sys.argv[1:]
for entry in json.load(open(f"{build}/compile_commands.json")):
    ours = entry["directory"] != build
    command = entry["command"]
    assert ours == ("-ffile-prefix-map=" in command), (ours, entry["file"])
    assert ours == (" -Wextra" in command), (ours, entry["file"])
    if how == "add_subdirectory":  # configured with no build type
        assert " -O" not in command, entry["file"]
PYTHON
}
check_subproject add_subdirectory -DORVESSA_SOURCE_DIR="$root"
check_subproject FetchContent -DORVESSA_URL="file://$work/orvessa.tar.gz" -DCMAKE_BUILD_TYPE=Release
echo "-- Orvessa as a subproject checked"
