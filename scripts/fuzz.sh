#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer; build directory build-fuzz) and runs each one
# for the given number of seconds, one after another on one core. Prints per
# target the executions, the new corpus entries and the findings.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]      default: 60 s, every target
#   scripts/fuzz.sh --merge [TARGET...]        minimise the committed corpora
#                                              with what earlier runs found
#
# Each run starts from the committed corpus fuzz/corpus/TARGET and keeps what
# it finds in build-fuzz/corpus/TARGET, which later runs go on from. A finding
# (crash, leak, timeout, out-of-memory) is saved as
# build-fuzz/findings/TARGET/<kind>-<hash>; fix the fault, then copy the input
# to fuzz/regressions/TARGET, which every test run replays.
set -euo pipefail
cd "$(dirname "$0")/.."

targets_all=(load evaluate_formula results form_reader case_template run_report measured_profile heat_treatment study fit_config
  life_options case_record results_folder treatment_file summary_map)
merge=0
seconds=60
if [ "${1:-}" = "--merge" ]; then
  merge=1
  shift
elif [[ "${1:-}" =~ ^[0-9]+$ ]]; then
  seconds=$1
  shift
fi
targets=("$@")
[ "${#targets[@]}" -gt 0 ] || targets=("${targets_all[@]}")

if ! command -v clang++ >/dev/null; then
  echo "Installing clang (libFuzzer)"
  if [ "$(id -u)" -eq 0 ]; then sudo_cmd=(); else sudo_cmd=(sudo); fi
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends clang
fi
bash scripts/install-deps.sh
cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTORVEX_FUZZ=ON \
  -DTORVEX_BUILD_TESTS=OFF -DTORVEX_BUILD_GUI=OFF -DTORVEX_WERROR=ON >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target "${targets[@]/%/_fuzzer}"

# Per target: the longest input and the dictionary.
declare -A max_len=([load]=4096 [evaluate_formula]=2048 [results]=4096 [form_reader]=4096 [case_template]=4096
  [run_report]=8192 [measured_profile]=4096 [heat_treatment]=2048 [study]=4096 [fit_config]=4096 [life_options]=512
  [case_record]=4096 [results_folder]=8192 [treatment_file]=2048 [summary_map]=4096)
declare -A dict=([load]=data_file.dict [evaluate_formula]=formula.dict [results]=data_file.dict
  [form_reader]=data_file.dict [case_template]=data_file.dict [run_report]=run_report.dict
  [measured_profile]=measured_profile.dict [heat_treatment]=heat_treatment.dict
  [study]=study.dict [fit_config]=fit_config.dict [life_options]=life_options.dict
  [case_record]=run_report.dict [results_folder]=data_file.dict [treatment_file]=treatment_file.dict
  [summary_map]=summary_map.dict)

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:malloc_context_size=8}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
work=$PWD/build-fuzz

if [ "$merge" -eq 1 ]; then
  for target in "${targets[@]}"; do
    committed=fuzz/corpus/$target
    fresh=$work/merged/$target
    rm -rf "$fresh"
    mkdir -p "$fresh" "$work/corpus/$target"
    # Inputs are kept for the code they reach, not for how often they run it
    # (-use_counters=0): every edge stays covered with a few hundred files.
    "$work/bin/${target}_fuzzer" -merge=1 -use_counters=0 -max_len="${max_len[$target]}" "$fresh" "$committed" \
      "$work/corpus/$target" >"$work/merge-$target.log" 2>&1
    rm -rf "$committed"
    mv "$fresh" "$committed"
    echo "$target: $(find "$committed" -type f | wc -l) inputs, $(du -sh --apparent-size "$committed" | cut -f1)" \
      "in $committed ($(grep -o '[0-9]* new coverage edges' "$work/merge-$target.log" | tail -1))"
  done
  exit 0
fi

printf '%-18s %12s %12s %10s  %s\n' target executions new-entries findings status
total=0
for target in "${targets[@]}"; do
  corpus=$work/corpus/$target
  findings=$work/findings/$target
  log=$work/fuzz-$target.log
  mkdir -p "$corpus" "$findings"
  before=$(find "$findings" -type f | wc -l)
  set +e
  "$work/bin/${target}_fuzzer" -max_total_time="$seconds" -max_len="${max_len[$target]}" -timeout=10 \
    -rss_limit_mb=2048 -dict="fuzz/${dict[$target]}" -artifact_prefix="$findings/" -print_final_stats=1 \
    "$corpus" "fuzz/corpus/$target" >"$log" 2>&1
  status=$?
  set -e
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  # A run that stops at a finding prints no final statistics: take the last
  # progress line instead.
  [ -n "$executions" ] || executions=$(grep -o '^#[0-9]*' "$log" | tail -1 | tr -d '#')
  added=$(sed -n 's/^stat::new_units_added: *//p' "$log" | tail -1)
  [ -n "$added" ] || added=$(grep -c '	NEW ' "$log" || true)
  found=$(($(find "$findings" -type f | wc -l) - before))
  if [ "$status" -eq 0 ]; then state=ok; else state="stopped (status $status), see $log"; fi
  printf '%-18s %12s %12s %10s  %s\n' "$target" "${executions:-0}" "${added:-0}" "$found" "$state"
  total=$((total + ${executions:-0}))
done
echo "total executions: $total"
