#!/usr/bin/env bash
# The demonstration's Windows half: builds both trees, makes the Linux CLI's
# pictures, registers Orvessa.dll in the project's Wine prefix, and runs a
# small client under Wine that creates Orvessa.Pictava by its ProgID, filters
# sample pictures through a byte array, paints others with ColorToBN onto its
# own device context, saves them, and says where they agree with the Linux
# pictures byte for byte and where they differ and why.
# Results: out/demo-windows/windows/ and out/demo-windows/linux/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/windows-common.sh"
pictures="$root/sample-pictures"
out="$root/out/demo-windows"

"$root/scripts/setup.sh"
if [[ ! -d "$pictures" ]]; then
  echo "demo-windows: no sample pictures in $pictures" >&2
  exit 1
fi
pictures=$(cd "$pictures" && pwd)
mkdir -p "$out/windows" "$out/linux"

echo "-- the Linux command-line tool"
cmake -S "$root" -B "$root/build/demo" -DORVESSA_BUILD_TESTS=OFF -DORVESSA_BUILD_BENCH=OFF >/dev/null
cmake --build "$root/build/demo" -j 2 --target orvessa >/dev/null
cli="$root/build/demo/orvessa"
for stem in coffee camera-8bit chelsea-small; do
  "$cli" blur "$pictures/$stem.bmp" "$out/linux/$stem-blur.bmp"
  "$cli" smooth "$pictures/$stem.bmp" "$out/linux/$stem-smooth.bmp"
done
"$cli" gray "$pictures/coffee.bmp" "$out/linux/coffee-gray.bmp"
"$cli" gray "$pictures/camera-8bit.bmp" "$out/linux/camera-gray.bmp"
"$cli" gray "$pictures/coffee.bmp" "$out/linux/coffee-bw.bmp" --two-color
"$cli" gray "$pictures/chelsea.gif" "$out/linux/chelsea-bw.bmp" --two-color --threshold 100
"$cli" gray "$pictures/coffee.jpg" "$out/linux/coffee-jpg-gray.bmp"
"$cli" gray "$pictures/coffee.bmp" "$out/linux/coffee-fit-400x400.bmp" --fit 400x400
echo "   written to $out/linux"

echo "-- Orvessa.dll and the client, under Wine"
build_windows_tree Orvessa orvessa_demo_client >/dev/null
ensure_wine_prefix
cd "$windows_build"
wine_run regsvr32 /s Orvessa.dll
echo "   Orvessa.dll registered in $WINEPREFIX"
wine_run orvessa_demo_client.exe "$(winepath -w "$pictures")" "$(winepath -w "$out/windows")" \
  "$(winepath -w "$out/linux")"
echo "   written to $out/windows"
