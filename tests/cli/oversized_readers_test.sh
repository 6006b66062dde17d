#!/usr/bin/env bash
# Readers given files far larger than any the program writes, or files that
# are not files at all, under a 1 GB address-space limit: each must refuse
# with a message naming the file, within seconds, and never abort or be
# killed.
#
#   bash tests/cli/oversized_readers_test.sh path/to/torvex-batch [path/to/torvex-plot]
#
# Not for sanitizer builds: their runtime reserves more address space than
# the limit allows.
set -euo pipefail
batch=$(realpath "$1")
plot=${2:+$(realpath "$2")}
work=$(mktemp -d /tmp/torvex-oversized.XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0

# expect_refusal NAME TEXT COMMAND...: the command exits with a status from 1
# to 125 (not a signal, not a time-out) and its standard error holds TEXT.
expect_refusal() {
  local name=$1 text=$2
  shift 2
  local status=0
  (ulimit -v 1048576 && exec timeout 60 "$@") >out.txt 2>err.txt || status=$?
  if [ "$status" -eq 0 ] || [ "$status" -gt 125 ]; then
    echo "FAIL $name: exit status $status"; sed 's/^/  /' err.txt | head -5; failures=$((failures + 1))
  elif ! grep -qF -- "$text" err.txt; then
    echo "FAIL $name: the message does not name $text:"; sed 's/^/  /' err.txt | head -5; failures=$((failures + 1))
  else
    echo "ok   $name: $(head -c 200 err.txt | head -1)"
  fi
}

"$batch" --write-samples . >/dev/null

# run.json: 250 MB (as a 250 MB report took 4.7 GB to read), and a small one
# whose tree would be far larger than its text.
mkdir -p large tree
truncate -s 250M large/run.json
python3 -c "
import sys
with open('tree/run.json', 'w') as f:
    f.write('{\"format\": \"torvex-run-report\", \"x\": [' + '[],' * 5000000 + '[]]}')
"
expect_refusal "--report, 250 MB run.json" "large/run.json" "$batch" --report large
expect_refusal "--report, 5 million empty lists" "tree/run.json" "$batch" --report tree

# Schedules that are not regular files, or too large.
mkfifo pipe.csv
truncate -s 100M big.csv
expect_refusal "--schedule /dev/zero" "/dev/zero" "$batch" --check --schedule /dev/zero oxidation.dat
expect_refusal "--schedule from a pipe" "pipe.csv" "$batch" --check --schedule pipe.csv oxidation.dat
expect_refusal "--schedule of 100 MB" "big.csv" "$batch" --check --schedule big.csv oxidation.dat
expect_refusal "--output-times /dev/zero" "/dev/zero" "$batch" --check --output-times /dev/zero oxidation.dat

if [ -n "$plot" ]; then
  # history.csv: 3 GB of NUL bytes (it took torvex-plot to 6.3 GB), and 200 MB
  # of them (one line with no end).
  mkdir -p huge nul
  truncate -s 3G huge/history.csv
  truncate -s 200M nul/history.csv
  expect_refusal "torvex-plot, 3 GB history" "huge/history.csv" "$plot" huge
  expect_refusal "torvex-plot, 200 MB NUL history" "nul/history.csv" "$plot" nul
  # The report beside a run's results: the plot is drawn without it, or refused; never an abort.
  "$batch" --quiet --max-passes 20 --results run oxidation.dat >/dev/null
  expect_refusal "torvex-plot --measured /dev/zero" "/dev/zero" "$plot" run --measured /dev/zero --measured-time 1
fi

[ "$failures" -eq 0 ] && echo "all refused" || { echo "$failures failures"; exit 1; }
