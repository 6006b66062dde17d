#!/usr/bin/env bash
# Builds the benchmarks in an optimised build of their own and runs them,
# printing one line per solver mode. Extra arguments go to the benchmark
# program (for example --benchmark_filter=Fick).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DTORVEX_BUILD_BENCH=ON -DTORVEX_BUILD_GUI=OFF \
  -DTORVEX_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench -j "$(nproc)" --target torvex_solver_bench >/dev/null
build-bench/bin/torvex_solver_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true "$@" |
  grep -E "^(Benchmark|-----|Run on|CPU|Load)|_median"
