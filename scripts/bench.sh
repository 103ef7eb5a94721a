#!/usr/bin/env bash
# The filter benchmarks beside their OpenCV peers, single-threaded, and on
# 4096 x 4096 also on 2 threads and every core (OpenCV on its default
# threads); prints the table that the README shows. Extra arguments go to the benchmark
# (e.g. --benchmark_filter=Blur). Run on an otherwise idle machine.
#   scripts/bench.sh --batch [ROUNDS]
# instead times many pictures end to end (see batch_bench below).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

# 60 photos of 1920 x 1080, blurred, whole processes, wall time: one batch
# call of orvessa, a shell loop of single calls, and `xargs -P<cores>` over
# `vips conv` with the same mask at integer precision. The contenders run
# in turn, ROUNDS times (default 5), and the medians are printed.
batch_bench() {
  local rounds=${1:-5} cores
  cores=$(nproc)
  "$root/scripts/setup.sh" --bench
  cmake -S "$root" -B "$root/build/bench" -DCMAKE_BUILD_TYPE=Release -DORVESSA_BUILD_TESTS=OFF >/dev/null
  cmake --build "$root/build/bench" -j 2 --target orvessa >/dev/null
  local tool=$root/build/bench/orvessa
  work=$(mktemp -d)   # global: the exit trap removes it
  trap 'rm -rf "$work"' EXIT
  mkdir "$work/photos"
  local k=0 source
  for source in coffee.jpg astronaut.png chelsea.gif camera.png; do
    vipsthumbnail "$root/sample-pictures/$source" --size '1920x1080!' -o "$work/base.png"
    for ((i = 0; i < 15; i++, k++)); do   # 15 versions of each, in other tones
      vips linear "$work/base.png" "$work/photos/photo$k.png" 1 $((i * 3)) --uchar
    done
  done
  printf '3 3 16 0\n1 2 1\n2 4 2\n1 2 1\n' >"$work/blur.mat"
  for f in "$work/photos/"*; do
    echo "$f $work/vips/${f##*/} $work/blur.mat --precision integer"
  done >"$work/vips.args"
  seconds() { local s e; s=$(date +%s.%N); "$@"; e=$(date +%s.%N); echo "$e - $s" | bc; }
  batch() { "$tool" blur -q -f -o "$work/batch" "$work/photos/"*; }
  loop() { for f in "$work/photos/"*; do "$tool" blur -f "$f" "$work/loop/${f##*/}"; done; }
  peer() { xargs -P "$cores" -L 1 vips conv <"$work/vips.args"; }
  mkdir "$work/batch" "$work/loop" "$work/vips"
  local -A times=()
  for ((r = 0; r < rounds; r++)); do
    for c in batch loop peer; do
      rm -f "$work/$c/"* "$work/vips/"*
      times[$c]+="$(seconds $c) "
    done
  done
  median() { tr ' ' '\n' <<<"$1" | grep . | sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
  local b l p
  b=$(median "${times[batch]}") l=$(median "${times[loop]}") p=$(median "${times[peer]}")
  echo "60 photos 1920 x 1080, PNG to PNG, blur, $cores cores, median of $rounds (seconds):"
  printf '  %-40s %6.2f\n' "orvessa blur -o DIR (one batch call)" "$b" \
    "shell loop of orvessa blur IN OUT" "$l" "xargs -P$cores vips conv --precision integer" "$p"
  printf '  batch / loop %.2f, batch / vips %.2f\n' "$(bc -l <<<"$b / $l")" "$(bc -l <<<"$b / $p")"
}
if [[ ${1:-} == --batch ]]; then
  shift
  batch_bench "$@"
  exit 0
fi

"$root/scripts/setup.sh" --bench
cmake -S "$root" -B "$root/build/bench" -DCMAKE_BUILD_TYPE=Release -DORVESSA_BUILD_TESTS=OFF \
  -DORVESSA_BUILD_BENCH=ON >/dev/null
cmake --build "$root/build/bench" -j 2 --target orvessa_bench
# Repetitions run interleaved in random order, so that a slow spell of a
# shared machine hits every contender alike; the table takes medians.
"$root/build/bench/orvessa_bench" --benchmark_repetitions=9 --benchmark_min_time=0.2 \
  --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true "$@"
