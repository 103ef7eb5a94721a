#!/usr/bin/env bash
# The main job: builds the tool and runs both filters on a generated
# picture, showing a few rows before and after.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build/native" -DORVESSA_BUILD_TESTS=OFF -DORVESSA_BUILD_BENCH=OFF >/dev/null
cmake --build "$root/build/native" -j "$(nproc)" --target orvessa >/dev/null
cli="$root/build/native/orvessa"
out="$root/out/demo"
mkdir -p "$out"

# 12 x 6 gray picture (stride 36): a bright block on a dark ground.
w=12 h=6
for ((r = h - 1; r >= 0; r--)); do
  for ((c = 0; c < w; c++)); do
    v=40; ((c >= 4 && c < 8 && r >= 1 && r < 4)) && v=200
    printf "\\$(printf '%03o' $v)%.0s" 1 2 3
  done
done >"$out/block.raw"

show() { # file: green byte of every pixel, top row first
  for ((r = 0; r < h; r++)); do
    od -An -tu1 -w36 -j $(((h - 1 - r) * w * 3)) -N $((w * 3)) "$1" |
      awk '{ for (i = 2; i <= NF; i += 3) printf "%4d", $i; print "" }'
  done
}
"$cli" blur --raw ${w}x${h} "$out/block.raw" "$out/block.blur.raw"
"$cli" smooth --raw ${w}x${h} "$out/block.raw" "$out/block.smooth.raw"
echo "picture ($w x $h, green bytes, top row first):"; show "$out/block.raw"
echo "blurred (border rows and columns keep their values):"; show "$out/block.blur.raw"
echo "smoothed (the block's edges survive):"; show "$out/block.smooth.raw"
echo "raw buffers written to $out"
