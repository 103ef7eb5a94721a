#!/usr/bin/env bash
# The main job: builds the tool, then turns the sample pictures gray and
# black-and-white, fits one into a box, blurs and smooths others, and writes
# every result to out/demo/ to be looked at.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
pictures="$root/sample-pictures"
out="$root/out/demo"

"$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build/demo" -DORVESSA_BUILD_TESTS=OFF -DORVESSA_BUILD_BENCH=OFF >/dev/null
cmake --build "$root/build/demo" -j "$(nproc)" --target orvessa >/dev/null
cli="$root/build/demo/orvessa"
if [[ ! -d "$pictures" ]]; then
  echo "demo: no sample pictures in $pictures" >&2
  exit 1
fi
mkdir -p "$out"

run() { # description, then the command's arguments
  local what=$1; shift
  printf '  %-58s' "$what"
  if "$cli" "$@"; then echo ok; else echo "failed (exit $?)"; fi
}

echo "gray and two-colour conversion (ColorToBN):"
run "coffee.jpg, gray" gray "$pictures/coffee.jpg" "$out/coffee-gray.png"
run "coffee.jpg, two-colour, threshold 128" gray "$pictures/coffee.jpg" "$out/coffee-bw.png" --two-color
run "chelsea.gif, two-colour, threshold 100" gray "$pictures/chelsea.gif" "$out/chelsea-bw.png" --two-color --threshold 100
run "camera-8bit.bmp (odd width), gray, as BMP" gray "$pictures/camera-8bit.bmp" "$out/camera-gray.bmp"
run "rocket.jpg, gray, fitted and centred into 400 x 400" gray "$pictures/rocket.jpg" "$out/rocket-fit-400x400.png" --fit 400x400
run "astronaut.png, gray, shrunk into 256 x 256" gray "$pictures/astronaut.png" "$out/astronaut-256.png" --fit 256x256

echo "filters on picture files:"
run "coffee.bmp, blur" blur "$pictures/coffee.bmp" "$out/coffee-blur.png"
run "coffee.bmp, smooth" smooth "$pictures/coffee.bmp" "$out/coffee-smooth.png"
run "camera.png, smooth" smooth "$pictures/camera.png" "$out/camera-smooth.png"

echo "sizes:"
echo "  a 640 x 480 picture fitted into a 400 x 300 box: $("$cli" fit 400 300 640 480)  (left top width height)"
echo "  2540 HIMETRIC (one inch) at 96 per inch: $("$cli" scale-x 2540) pixels"
echo "results written to $out"

echo
echo "the effects in a browser: the npm package (WebAssembly) and a page to try them on"
"$root/scripts/demo-web.sh"

echo
echo "the same on Windows: Orvessa.dll under Wine, beside the pictures above:"
"$root/scripts/demo-windows.sh"
