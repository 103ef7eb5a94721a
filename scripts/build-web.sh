#!/usr/bin/env bash
# The WebAssembly modules and the npm package's files, in build/web/package/,
# with Debian's emscripten.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/web"
# Its own cache, writable, for any system library emscripten builds.
export EM_CACHE="${EM_CACHE:-$root/build/emscripten-cache}"
if [[ ! -d "$EM_CACHE" ]]; then
  mkdir -p "$EM_CACHE"
  cp -r /usr/share/emscripten/cache/. "$EM_CACHE/"
fi
# (emcmake says the command it runs on standard error.)
emcmake cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DORVESSA_WERROR=ON 2>&1 >/dev/null |
  { grep -v "^configure: " || true; } >&2
cmake --build "$build" -j "$(nproc)"
