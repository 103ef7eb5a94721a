#!/usr/bin/env bash
# One round trip of docs/com-guide.md as a test: the Linux tool filters the
# BMP file PICTURE into WORK/NAME-linux.bmp, then COMMAND (a Windows program
# under the emulator, with @IN@ and @OUT@ standing for the picture and its
# result) writes WORK/NAME.bmp; the two files' pixels must be the same bytes.
#   tests/windows/round_trip.sh LINUX_TOOL FILTER PICTURE WORK NAME -- COMMAND...
set -euo pipefail
tool=$1 filter=$2 picture=$3 work=$4 name=$5
shift 6
mkdir -p "$work"
windows_path() { local p=${1//\//\\}; echo "Z:$p"; }
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/scripts/windows-common.sh"  # bmp_pixels

rm -f "$work/$name-linux.bmp" "$work/$name.bmp"
"$tool" "$filter" "$picture" "$work/$name-linux.bmp"
command=()
for word in "$@"; do
  word=${word//@IN@/$(windows_path "$picture")}
  command+=("${word//@OUT@/$(windows_path "$work/$name.bmp")}")
done
"${command[@]}"
cmp <(bmp_pixels "$work/$name-linux.bmp") <(bmp_pixels "$work/$name.bmp") ||
  { echo "the round trip $name gives other pixels than the Linux tool" >&2; exit 1; }
