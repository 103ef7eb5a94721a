#!/usr/bin/env bash
# The fuzz targets of tests/fuzz (clang's libFuzzer with AddressSanitizer
# and UndefinedBehaviorSanitizer), built in build/fuzz.
#   scripts/fuzz.sh TARGET SECONDS [LIBFUZZER_OPTION...]
#       fuzzes one target (filters, picture, args or codecs) for SECONDS; new inputs
#       go to build/fuzz/corpus/TARGET, findings to build/fuzz/findings/.
#   scripts/fuzz.sh --replay RUNS
#       every target over its seed corpus and regression inputs, then RUNS
#       further executions each; what the test command runs.
# Without clang it says so and does nothing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/fuzz"
targets=(filters picture args codecs)

# Size caps, so that a run cannot exhaust memory: the longest input tried,
# and the memory in use after which a run counts as a finding. A single
# allocation may be larger: the filters reserve a row window of 9 x (DimX + 1)
# bytes (up to 6.4 GB) before they read a row, and touch only what they fill.
max_len() {
  case $1 in
    filters) echo 4200 ;;   # a few thousand pixel bytes
    picture) echo 65536 ;;  # small picture files
    args) echo 256 ;;       # a command line
    codecs) echo 65536 ;;   # small picture files of every format
  esac
}
common_options=(-timeout=60 -rss_limit_mb=2048 -malloc_limit_mb=8192 -print_final_stats=1)
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=1:quarantine_size_mb=64"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"

usage() { echo "usage: scripts/fuzz.sh TARGET SECONDS | --replay RUNS (TARGET: ${targets[*]})" >&2; exit 1; }
(($# >= 2)) || usage
if ! command -v clang++ >/dev/null; then
  echo "fuzz: clang++ not found; the fuzz targets are skipped (scripts/setup.sh installs it)"
  exit 0
fi

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DORVESSA_FUZZ=ON -DORVESSA_SANITIZE=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVESSA_BUILD_TESTS=OFF -DORVESSA_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j 2 --target "${targets[@]/%/_fuzz}" >/dev/null

seeds() { # the project's inputs of a target
  local d
  for d in "$root/tests/fuzz/corpus/$1" "$root/tests/fuzz/regressions/$1"; do
    [[ -d $d ]] && echo "$d"
  done
  # The pictures of every kind and the broken ones seed the readers too.
  if [[ $1 == codecs ]]; then echo "$root/tests/picture-kinds"; echo "$root/tests/broken-pictures"; fi
}

if [[ $1 == --replay ]]; then
  runs=$2
  for t in "${targets[@]}"; do
    scratch=$(mktemp -d)
    mapfile -t dirs < <(seeds "$t")
    echo "-- fuzz replay: $t (${#dirs[@]} input folders, then $runs runs)"
    status=0
    "$build/${t}_fuzz" "${common_options[@]}" -max_len="$(max_len "$t")" -runs="$runs" -seed=1 \
      -artifact_prefix="$scratch/" "$scratch" "${dirs[@]}" >"$scratch/log" 2>&1 || status=$?
    grep -E '^(stat::number_of_executed_units|Done )' "$scratch/log" || true
    if ((status != 0)); then
      tail -n 60 "$scratch/log"
      echo "fuzz replay of $t failed (status $status)" >&2
      exit 1
    fi
    rm -rf "$scratch"
  done
  exit 0
fi

target=$1 seconds=$2
shift 2
[[ " ${targets[*]} " == *" $target "* ]] || usage
mkdir -p "$build/corpus/$target" "$build/findings"
mapfile -t dirs < <(seeds "$target")
exec "$build/${target}_fuzz" "${common_options[@]}" -max_len="$(max_len "$target")" \
  -max_total_time="$seconds" -artifact_prefix="$build/findings/$target-" \
  "$build/corpus/$target" "${dirs[@]}" "$@"
