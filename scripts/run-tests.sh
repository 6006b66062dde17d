#!/usr/bin/env bash
# Installs the dependencies, builds everything with warnings as errors and
# runs the whole test suite, then runs it once more under a comma-decimal
# locale (the sanitizer build runs it once: memory handling does not depend
# on the locale). With --sanitize the build uses AddressSanitizer and
# UndefinedBehaviorSanitizer (in its own build directory). With
# --thread-sanitize only the desktop run-thread tests (the Plots window
# following a run among them) and the random session are built, with
# ThreadSanitizer, and run; any data race fails them.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=build
# Line tables are all a backtrace or a sanitizer report needs; full debug
# information would make the optimised builds take half as long again.
cmake_options=(-DTORVEX_WERROR=ON "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" "-DCMAKE_CXX_FLAGS_DEBUG=-g1")
# Long closed-form runs (test suites named Slow...) check numbers, not memory
# handling, and take minutes under the sanitizers: that stage leaves them out.
ctest_exclude=()
if [ "${1:-}" = "--thread-sanitize" ]; then
  bash scripts/install-deps.sh
  cmake -S . -B build-tsan "${cmake_options[@]}" -DTORVEX_THREAD_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build build-tsan -j "$(nproc)" --target torvex_ui_tests torvex_plots_window_tests torvex_soak_tests \
    torvex_parallel_tests torvex_fit_tests
  echo "== Parallel runs, a fit's parallel runs, desktop run-thread tests and the random session under ThreadSanitizer =="
  export QT_QPA_PLATFORM=offscreen TSAN_OPTIONS="halt_on_error=1 suppressions=$PWD/tests/ui/tsan.supp"
  build-tsan/bin/torvex_parallel_tests
  build-tsan/bin/torvex_fit_tests --gtest_filter='SlowFitRecovery.BinaryDiffusivities:SlowFitRecovery.InterruptedFitReportsTheBestPointSoFar'
  build-tsan/bin/torvex_ui_tests
  build-tsan/bin/torvex_plots_window_tests
  build-tsan/bin/torvex_soak_tests
  exit 0
elif [ "${1:-}" = "--sanitize" ]; then
  build_dir=build-sanitize
  cmake_options+=(-DTORVEX_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug -DTORVEX_BUILD_BENCH=OFF)
  # The documentation's commands check the pages, not memory handling: left
  # out too.
  ctest_exclude=(-E '(^|[./])Slow|^DocCommands[.]')
else
  # The benchmarks are built, and run once briefly, so that they keep working.
  cmake_options+=(-DTORVEX_BUILD_BENCH=ON)
fi

bash scripts/install-deps.sh
cmake -S . -B "$build_dir" "${cmake_options[@]}"
cmake --build "$build_dir" -j "$(nproc)"
echo "== Built after ${SECONDS} s =="

export QT_QPA_PLATFORM=offscreen
# A run makes each save durable (fsync) before it goes on. The tests check what
# the files hold, not that it reached the disk, so they run without the waits
# (eatmydata makes fsync return at once); under AddressSanitizer its preloaded
# library comes before the sanitizer's runtime, which is harmless for it.
runner=()
if command -v eatmydata >/dev/null; then runner=(eatmydata); fi
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:verify_asan_link_order=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

echo "== Tests =="
"${runner[@]}" ctest --test-dir "$build_dir" --output-on-failure -j "$(nproc)" "${ctest_exclude[@]}"
echo "== Tests done after ${SECONDS} s =="
# Memory handling does not depend on the locale: the sanitizer stage runs the
# suite once; the plain build proves the numbers under the decimal comma.
[ "$build_dir" = build-sanitize ] && exit 0
echo "== Tests again under the de_DE.UTF-8 locale (decimal comma) =="
# The documentation's commands run the same programs the suite runs under this
# locale already, for minutes: they run once, above.
LC_ALL=de_DE.UTF-8 LANG=de_DE.UTF-8 "${runner[@]}" ctest --test-dir "$build_dir" --output-on-failure -j "$(nproc)" -E '^DocCommands[.]'
echo "== Tests done after ${SECONDS} s =="
