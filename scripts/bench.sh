#!/usr/bin/env bash
# The filter benchmarks beside their OpenCV peers, single-threaded, and on
# 4096 x 4096 also on 2 threads and every core (OpenCV on its default
# threads); prints the table that the README shows. Extra arguments go to the benchmark
# (e.g. --benchmark_filter=Blur). Then the Python package beside OpenCV's
# Python functions (bench/python_bench.py). Run on an otherwise idle machine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

"$root/scripts/setup.sh" --bench
cmake -S "$root" -B "$root/build/bench" -DCMAKE_BUILD_TYPE=Release -DORVESSA_BUILD_TESTS=OFF \
  -DORVESSA_BUILD_BENCH=ON >/dev/null
cmake --build "$root/build/bench" -j 2 --target orvessa_bench orvessa_python
# Repetitions run interleaved in random order, so that a slow spell of a
# shared machine hits every contender alike; the table takes medians.
"$root/build/bench/orvessa_bench" --benchmark_repetitions=9 --benchmark_min_time=0.2 \
  --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true "$@"
echo
PYTHONPATH="$root/build/bench/python" /usr/bin/python3 "$root/bench/python_bench.py"
