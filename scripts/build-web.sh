#!/usr/bin/env bash
# The WebAssembly modules and the npm package's files, in build/web/package/,
# with Debian's emscripten.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/web"
# emscripten locks its cache of system libraries while it links: one of
# our own, copied from Debian's, where that one is not ours to write.
system_cache=/usr/share/emscripten/cache
if [[ -z "${EM_CACHE:-}" && ! -w "$system_cache" ]]; then
  export EM_CACHE="$root/build/emscripten-cache"
  [[ -d "$EM_CACHE" ]] || { mkdir -p "$EM_CACHE" && cp -r "$system_cache/." "$EM_CACHE/"; }
fi
# (emcmake says the command it runs on standard error.)
emcmake cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DORVESSA_WERROR=ON 2>&1 >/dev/null |
  { grep -v "^configure: " || true; } >&2
cmake --build "$build" -j "$(nproc)"
