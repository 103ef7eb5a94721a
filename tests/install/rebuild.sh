#!/usr/bin/env bash
# Builds the packages again, from a copy of this tree at another path, and
# checks that every file is byte for byte the one scripts/package.sh made in
# out/packages (same commit, so same SOURCE_DATE_EPOCH); diffoscope shows
# where two differ.
#   tests/install/rebuild.sh   (after scripts/package.sh; as long again)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
packages="$root/out/packages"
copy=$(mktemp -d "${TMPDIR:-/tmp}/orvessa-rebuild.XXXXXX")
trap 'rm -rf "$copy"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

[[ -f "$packages/SHA256SUMS" ]] || fail "no $packages/SHA256SUMS: run scripts/package.sh first"
# The sources as they are, with .git for the commit's time, without builds.
tar -C "$root" --exclude=./build --exclude=./out --exclude=node_modules -cf - . | tar -C "$copy" -xf -
"$copy/scripts/package.sh" >"$copy/package.log" 2>&1 || { cat "$copy/package.log"; fail "the second build failed"; }
again="$copy/out/packages"
if ! diff "$packages/SHA256SUMS" "$again/SHA256SUMS"; then
  while read -r _ name; do
    if command -v diffoscope >/dev/null; then
      diffoscope --text - "$packages/$name" "$again/$name" | head -n 200 || true
    fi
  done < <(diff "$packages/SHA256SUMS" "$again/SHA256SUMS" | sed -n 's/^< //p')
  fail "a second build differs"
fi
echo "the second build, in $copy, gave the same $(wc -l <"$again/SHA256SUMS") files"
