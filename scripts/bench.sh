#!/usr/bin/env bash
# Two comparisons; run on an otherwise idle machine.
#   scripts/bench.sh [BENCHMARK_OPTION...]
#       the filter benchmarks beside their OpenCV peers, single-threaded, and
#       on 4096 x 4096 also on 2 threads and every core (OpenCV on its default
#       threads); prints the table that the README shows. Extra arguments go
#       to the benchmark (e.g. --benchmark_filter=Blur). Then the Python
#       package beside OpenCV's Python functions (bench/python_bench.py).
#   scripts/bench.sh --end-to-end [RUNS]
#       the whole tool on a 6400 x 4270 JPEG photo beside `vips conv` and
#       ImageMagick's `convert` with the same 1-2-1 mask: JPEG to JPEG at
#       quality 85 and JPEG to PNG, default threads; time and peak resident
#       memory of each process, medians of RUNS (default 7) alternating runs.
#   scripts/bench.sh --start-up [RUNS]
#       the weight of the tool: a 64 x 64 PNG blurred into PNG as a whole
#       process beside ImageMagick's `convert` with the same 3 x 3 mask
#       (medians of RUNS, default 41, alternating runs), the shared libraries
#       the tool and the Python extension load, and the Debian packages the
#       tool's dependencies bring with theirs.
#   scripts/bench.sh --web [ROUNDS]
#       the WebAssembly package (build/web/package, built first when missing)
#       in Node beside opencv-js, wasm-vips, photon, jimp and sharp on a
#       1920 x 1080 photo: medians of ROUNDS (default 21) alternating rounds,
#       the ratios to the fastest peers and the package's gzipped size
#       (bench/web/bench.mjs; its packages come from bench/web's lock file).
#   scripts/bench.sh --batch [ROUNDS]
#       60 photos of 1920 x 1080, JPEG to JPEG at quality 75, blurred: one
#       batch call of orvessa, a shell loop of single calls, and
#       `xargs -P<cores>` over `vips conv` with the same mask at integer
#       precision; wall time of the whole, medians of ROUNDS (default 5)
#       rounds that run the three in turn.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

if [[ "${1:-}" == --web ]]; then
  [[ -d "$root/bench/web/node_modules" ]] || (cd "$root/bench/web" && npm ci --no-audit --no-fund)
  # ORVESSA_PACKAGE, when set, names another package folder to measure.
  [[ -n "${ORVESSA_PACKAGE:-}" || -f "$root/build/web/package/orvessa.js" ]] || "$root/scripts/build-web.sh"
  exec node --expose-gc "$root/bench/web/bench.mjs" "${2:-21}"
fi

if [[ "${1:-}" == --start-up ]]; then
  runs=${2:-41}
  "$root/scripts/setup.sh" --bench
  cmake -S "$root" -B "$root/build/bench" -DCMAKE_BUILD_TYPE=Release -DORVESSA_BUILD_TESTS=OFF \
    -DORVESSA_BUILD_BENCH=OFF >/dev/null
  cmake --build "$root/build/bench" -j 2 --target orvessa orvessa_python >/dev/null
  tool=$root/build/bench/orvessa
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  /usr/bin/convert "$root/sample-pictures/astronaut.png" -resize '64x64!' "$work/small.png"
  kernel='3x3: 1,2,1 2,4,2 1,2,1'
  for ((run = 0; run < runs; run++)); do
    for who in orvessa convert; do
      start=$(date +%s%N)
      if [[ $who == orvessa ]]; then
        "$tool" blur -f "$work/small.png" "$work/o.png"
      else
        /usr/bin/convert "$work/small.png" -define convolve:scale=! -morphology Convolve "$kernel" "$work/c.png"
      fi
      echo $(( ($(date +%s%N) - start) / 1000 )) >>"$work/$who"
    done
  done
  median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
  mine=$(median <"$work/orvessa") theirs=$(median <"$work/convert")
  echo "64 x 64 PNG blurred into PNG, whole process, medians of $runs alternating runs"
  echo
  echo "| tool | ms | x convert |"
  echo "|---|---:|---:|"
  awk -v m="$mine" -v t="$theirs" 'BEGIN { printf "| orvessa blur | %.1f | %.2f |\n| convert -morphology Convolve | %.1f | 1.00 |\n", m / 1000, m / t, t / 1000 }'
  echo
  extension=$(ls "$root"/build/bench/python/orvessa/_orvessa*.so)
  echo "shared libraries loaded: the tool $(ldd "$tool" | grep -c '=>'), the Python extension $(ldd "$extension" | grep -c '=>')"
  # The packages of the libraries the tool loads, and everything they depend on.
  mapfile -t direct < <(ldd "$tool" | awk '/=>/ { print $1 }' | while read -r soname; do
    dpkg -S "*/$(gcc -print-multiarch)/$soname" 2>/dev/null | head -1 | cut -d: -f1
  done | sort -u)
  closure=$(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
    --no-replaces --no-enhances "${direct[@]}" | grep -v '^ ' | grep -v '^<' | sed 's/:amd64$//' | sort -u | wc -l)
  echo "Debian packages the tool needs, with theirs: $closure (from ${direct[*]})"
  exit 0
fi

if [[ "${1:-}" == --batch ]]; then
  rounds=${2:-5}
  cores=$(nproc)
  "$root/scripts/setup.sh" --bench
  cmake -S "$root" -B "$root/build/bench" -DCMAKE_BUILD_TYPE=Release -DORVESSA_BUILD_TESTS=OFF >/dev/null
  cmake --build "$root/build/bench" -j 2 --target orvessa >/dev/null
  tool=$root/build/bench/orvessa
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  mkdir "$work/photos" "$work/batch" "$work/loop" "$work/vips"
  k=0
  for source in coffee.jpg astronaut.png chelsea.gif camera.png; do
    vips thumbnail "$root/sample-pictures/$source" "$work/base.v" 1920 --height 1080 --size force
    for ((i = 0; i < 15; i++, k++)); do   # 15 versions of each, in other tones
      vips linear "$work/base.v" "$work/photos/photo$k.jpg[Q=90]" 1 $((i * 3)) --uchar
    done
  done
  printf '3 3 16 0\n1 2 1\n2 4 2\n1 2 1\n' >"$work/blur.mat"
  for f in "$work/photos/"*; do
    echo "$f $work/vips/${f##*/}[Q=75] $work/blur.mat --precision integer"
  done >"$work/vips.args"
  batch() { "$tool" blur -q -f --quality 75 -o "$work/batch" "$work/photos/"*; }
  loop() { for f in "$work/photos/"*; do "$tool" blur -f --quality 75 "$f" "$work/loop/${f##*/}"; done; }
  peer() { xargs -P "$cores" -L 1 vips conv <"$work/vips.args"; }
  declare -A times=()
  for ((r = 0; r < rounds; r++)); do
    for c in batch loop peer; do
      rm -f "$work/batch/"* "$work/loop/"* "$work/vips/"*
      start=$(date +%s.%N)
      $c
      times[$c]+="$(bc <<<"$(date +%s.%N) - $start") "
    done
  done
  median() { tr ' ' '\n' <<<"$1" | grep . | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
  b=$(median "${times[batch]}") l=$(median "${times[loop]}") p=$(median "${times[peer]}")
  echo "60 photos of 1920 x 1080, JPEG to JPEG at quality 75, blur, $cores cores, medians of $rounds rounds"
  echo
  echo "| contender | seconds | batch / it |"
  echo "|---|---:|---:|"
  awk -v s="$b" 'BEGIN { printf "| orvessa blur -o DIR (one batch call) | %.2f | 1.00 |\n", s }'
  awk -v s="$l" -v b="$b" 'BEGIN { printf "| shell loop of orvessa blur IN OUT | %.2f | %.2f |\n", s, b / s }'
  awk -v s="$p" -v b="$b" -v c="$cores" 'BEGIN { printf "| xargs -P%d vips conv --precision integer | %.2f | %.2f |\n", c, s, b / s }'
  exit 0
fi

if [[ "${1:-}" == --end-to-end ]]; then
  runs=${2:-7}
  cmake -S "$root" -B "$root/build/bench" -DCMAKE_BUILD_TYPE=Release -DORVESSA_BUILD_TESTS=OFF \
    -DORVESSA_BUILD_BENCH=OFF >/dev/null
  cmake --build "$root/build/bench" -j 2 --target orvessa >/dev/null
  tool="$root/build/bench/orvessa"
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  # The photo: a sample picture enlarged to 27 megapixels, saved as a camera would.
  vips resize "$root/sample-pictures/astronaut.png" "$work/big.v" 12.5 --vscale 8.33984375
  vips copy "$work/big.v" "$work/photo.jpg[Q=90]"
  rm "$work/big.v"
  printf '3 3 16 0\n1 2 1\n2 4 2\n1 2 1\n' >"$work/blur.mat"
  kernel='3x3: 1,2,1 2,4,2 1,2,1'
  # name | command, with OUT for the output file
  contenders=(
    "jpeg|orvessa blur|$tool blur -f --quality 85 $work/photo.jpg OUT.jpg"
    "jpeg|orvessa smooth|$tool smooth -f --quality 85 $work/photo.jpg OUT.jpg"
    "jpeg|vips conv|vips conv $work/photo.jpg OUT.jpg[Q=85] $work/blur.mat --precision integer"
    "jpeg|convert|/usr/bin/convert $work/photo.jpg -define convolve:scale=! -morphology Convolve '$kernel' -quality 85 OUT.jpg"
    "png|orvessa blur|$tool blur -f $work/photo.jpg OUT.png"
    "png|orvessa smooth|$tool smooth -f $work/photo.jpg OUT.png"
    "png|vips conv|vips conv $work/photo.jpg OUT.png $work/blur.mat --precision integer"
    "png|convert|/usr/bin/convert $work/photo.jpg -define convolve:scale=! -morphology Convolve '$kernel' OUT.png"
  )
  for ((run = 0; run < runs; run++)); do
    for i in "${!contenders[@]}"; do
      IFS='|' read -r _ _ command <<<"${contenders[i]}"
      command=${command//OUT/$work/out$i}
      /usr/bin/time -f '%e %M' -o "$work/time" bash -c "$command" >/dev/null 2>&1
      cat "$work/time" >>"$work/times$i"
    done
  done
  median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
  echo "JPEG $(vipsheader "$work/photo.jpg"), $runs alternating runs, medians"
  echo
  echo "| output | tool | seconds | x vips | peak MiB | x vips | file KiB | x vips |"
  echo "|---|---|---:|---:|---:|---:|---:|---:|"
  declare -A vips_time vips_rss vips_size
  for pass in vips all; do
    for i in "${!contenders[@]}"; do
      IFS='|' read -r output name _ <<<"${contenders[i]}"
      seconds=$(cut -d' ' -f1 "$work/times$i" | median)
      rss=$(cut -d' ' -f2 "$work/times$i" | median)
      size=$(stat -c %s "$work/out$i".*)
      if [[ $pass == vips ]]; then
        [[ $name == "vips conv" ]] && vips_time[$output]=$seconds vips_rss[$output]=$rss vips_size[$output]=$size
        continue
      fi
      awk -v o="$output" -v n="$name" -v s="$seconds" -v r="$rss" -v z="$size" \
        -v vs="${vips_time[$output]}" -v vr="${vips_rss[$output]}" -v vz="${vips_size[$output]}" \
        'BEGIN { printf "| %s | %s | %.2f | %.2f | %.0f | %.2f | %.0f | %.2f |\n", o, n, s, s / vs, r / 1024, r / vr, z / 1024, z / vz }'
    done
  done
  exit 0
fi

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
