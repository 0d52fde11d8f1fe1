#!/usr/bin/env bash
# Builds every benchmark in Release (-O2, tests off, in build/bench) and runs
# them one after the other, printing Google Benchmark's table. For the pixel
# kernels it then prints, per case, the wide table's throughput over the
# narrow-only table's. Arguments are passed to every benchmark program, e.g.
#   bash scripts/bench.sh --benchmark_filter=blit
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
scripts/require-packages.sh "${build_packages[@]}" "${test_packages[@]}"

folder=build/bench
cmake -S . -B "$folder" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DZELVOR_TESTS=OFF -DZELVOR_BENCH=ON >/dev/null
cmake --build "$folder" -j "$(nproc)" --target zelvor_benchmarks

status=0
for program in "$folder"/bench/*; do
  [[ -f "$program" && -x "$program" ]] || continue
  name=$(basename "$program")
  echo "== $name"
  csv="$folder/$name.csv"
  "$program" --benchmark_out="$csv" --benchmark_out_format=csv "$@" || status=1
  # Pair "<case>/<table>" rows: each wide table against "<case>/narrow".
  awk -F, '
    /^"/ {
      name = $1; gsub(/"/, "", name)
      table = name; sub(/.*\//, "", table)
      kase = name; sub(/\/[^\/]*$/, "", kase)
      if ($7 != "") { rate[kase, table] = $7; tables[table] = 1; cases[kase] = 1; order[++n] = kase }
    }
    END {
      printed = 0
      for (i = 1; i <= n; ++i) {
        kase = order[i]
        if (seen[kase]++ || !((kase, "narrow") in rate)) continue
        for (t in tables) {
          if (t == "narrow" || !((kase, t) in rate)) continue
          if (!printed++) printf "\n%-60s %14s %14s %7s\n", "case", "wide Mpx/s", "narrow Mpx/s", "ratio"
          printf "%-60s %14.0f %14.0f %7.2f\n", kase " (" t ")", rate[kase, t] / 1e6, rate[kase, "narrow"] / 1e6,
                 rate[kase, t] / rate[kase, "narrow"]
        }
      }
    }' "$csv"
done
exit "$status"
