#!/usr/bin/env bash
# Builds the benchmarks (plain optimised build) and runs each of them with repetitions,
# printing the median (and spread) of every benchmark. Each program measures its own
# reference (memcpy, the bare library, ls) in the same run, so ratios are quoted from
# one output.
#
#   scripts/bench.sh [REPETITIONS] [PROGRAM...]   (default 5; bench_raster bench_view
#                                                  bench_files bench_print bench_metafile
#                                                  bench_compare)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --test
repetitions=${1:-5}
shift || true
programs=("$@")
[ ${#programs[@]} -gt 0 ] ||
  programs=(bench_raster bench_view bench_files bench_print bench_metafile bench_compare)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target "${programs[@]}"
for program in "${programs[@]}"; do
  echo "== $program =="
  "build/bench/$program" --benchmark_repetitions="$repetitions" \
    --benchmark_report_aggregates_only=true
done
