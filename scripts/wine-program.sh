#!/usr/bin/env bash
# Runs one Windows program under Wine: the emulator through which CTest runs
# the Windows trees' tests (CMAKE_CROSSCOMPILING_EMULATOR).
#   scripts/wine-program.sh BITS PREFIX PROGRAM [ARGUMENT...]
# BITS (32 or 64) picks the loader, PREFIX is the tree's own Wine prefix
# (created on first use). Carriage returns are dropped from the output, which
# goes through a file: Wine's helper processes, which outlive the program,
# inherit its descriptors and would hold a pipe open.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/windows-common.sh"
use_windows_tree "$1"
export WINEPREFIX=$2
shift 2
ensure_wine_prefix >&2
output=$(mktemp)
trap 'rm -f "$output"' EXIT
status=0
timeout 600 "$wine_loader" "$@" >"$output" 2>&1 </dev/null || status=$?
tr -d '\r' <"$output"
exit "$status"
