#!/usr/bin/env bash
# Every test: the native build, the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, the npm package under Node, in CommonJS,
# TypeScript and three bundlers' pages, and its page in headless Chromium,
# the fuzz targets over their corpora (with clang),
# (where present) the Windows server under Wine, then the install tree and
# the packages, the Python wheel installed by pip among them. Exits non-zero
# on any failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)

"$root/scripts/setup.sh"
# The scripts below would run it again; once is enough.
export ORVESSA_SETUP_DONE=1

echo "== native build and tests"
cmake -S "$root" -B "$root/build/native" -DORVESSA_WERROR=ON -DORVESSA_BUILD_TESTS=ON -DORVESSA_BUILD_BENCH=ON >/dev/null
cmake --build "$root/build/native" -j "$jobs"
ctest --test-dir "$root/build/native" --output-on-failure -j "$jobs"

echo "== the npm package (WebAssembly) and its page"
"$root/scripts/build-web.sh" >/dev/null
"$root/scripts/demo-web.sh" >/dev/null
(cd "$root/tests/web" && npm ci --no-audit --no-fund --silent)
ORVESSA_TOOL="$root/build/native/orvessa" node --test "$root/tests/web/"

echo "== sanitizer build and tests"
cmake -S "$root" -B "$root/build/sanitize" -DORVESSA_WERROR=ON -DORVESSA_SANITIZE=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVESSA_BUILD_TESTS=ON -DORVESSA_BUILD_BENCH=OFF >/dev/null
cmake --build "$root/build/sanitize" -j "$jobs"
ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir "$root/build/sanitize" --output-on-failure -j "$jobs"

echo "== fuzz targets: seed corpus, regression inputs and a short run each"
"$root/scripts/fuzz.sh" --replay 1000

if [[ -x "$root/scripts/test-windows.sh" ]]; then
  echo "== Windows server under Wine"
  "$root/scripts/test-windows.sh"
fi
echo "== install and packages"
"$root/scripts/package.sh"
"$root/tests/install/wheel.sh"
"$root/tests/install/check.sh"
echo "== all tests passed"
