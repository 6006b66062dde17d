#!/usr/bin/env bash
# Builds the benchmarks and torvex-batch in an optimised build of their own
# (build-bench) and prints one table: a derivative evaluation per solver mode
# beside a copy loop, the Cu-Fe-Ni activities as written and as computed,
# and whole torvex-batch runs of the sample cases and of an activities-from-
# file case with compiled and with textual formulas (median wall time, peak
# memory), and the desktop run thread against direct hand-overs on the
# sample cases, with the ratios the performance targets are stated in.
#
#   bash bench/run-benchmarks.sh           # about four minutes
#   bash bench/run-benchmarks.sh --quick   # about one minute: fewer runs and passes
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DTORVEX_BUILD_BENCH=ON -DTORVEX_BUILD_GUI=ON \
  -DTORVEX_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench -j "$(nproc)" --target torvex_solver_bench torvex-batch torvex_gui_overhead >/dev/null
exec python3 bench/benchmarks.py --build build-bench "$@"
