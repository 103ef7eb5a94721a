#!/usr/bin/env bash
# Installs what the builds and tests need on a Debian 12 machine (as root).
# Idempotent: does nothing when everything is already there.
#   scripts/setup.sh          native build, tests, fuzz targets, 32- and 64-bit Windows builds and Wine,
#                             the Python package and its tests, the packages' checks, the
#                             WebAssembly build (emscripten; Node 20 or later must be there) and
#                             the browser the page's test drives
#   scripts/setup.sh --bench  also OpenCV (C++ and Python), the vips tool and ImageMagick, the peers the
#                             benchmarks compare with
set -euo pipefail

packages=(
  cmake g++ make pkg-config libgtest-dev libbenchmark-dev
  libjpeg62-turbo-dev libpng-dev libtiff-dev libwebp-dev libgif-dev
  clang libclang-rt-14-dev
  dpkg-dev file man-db lintian diffoscope-minimal gdb
  g++-mingw-w64-i686 g++-mingw-w64-x86-64-posix mingw-w64-tools
  wine wine32:i386 wine64 libwine-dev
  python3-dev pybind11-dev python3-numpy python3-dask python3-distributed python3-pytest
  python3-venv python3-build patchelf
  emscripten node-acorn chromium
)
if [[ "${1:-}" == "--bench" ]]; then
  packages+=(libopencv-dev python3-opencv libvips-tools imagemagick hyperfine)
elif [[ -n "${ORVESSA_SETUP_DONE:-}" ]]; then
  exit 0  # done already by the script that runs this one (scripts/test.sh)
fi

# Node.js (20 or later, with npm) comes with the machine, not from Debian.
node_major=$(node -p 'process.versions.node.split(".")[0]' 2>/dev/null || echo none)
if [[ "$node_major" == none || "$node_major" -lt 20 ]] || ! command -v npm >/dev/null; then
  echo "setup: Node.js 20 or later with npm is needed for the WebAssembly package (node: $node_major)" >&2
  exit 1
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]} == 0)); then exit 0; fi

echo "setup: installing ${missing[*]}"
sudo=""
if [[ $(id -u) != 0 ]]; then sudo=sudo; fi
if ! dpkg --print-foreign-architectures | grep -qx i386; then $sudo dpkg --add-architecture i386; fi
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
