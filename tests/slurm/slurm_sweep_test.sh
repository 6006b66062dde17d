#!/usr/bin/env bash
# A study submitted to a real Slurm as a job array gives the same results as
# the same study run here: identical results files per case, the same summary
# (but for the wall times).
#
#   bash tests/slurm/slurm_sweep_test.sh path/to/torvex-batch
#
# Needs a running cluster (SLURM_CONF exported, sbatch and squeue on PATH);
# without one it skips with status 77, unless TORVEX_REQUIRE_SLURM=1 (CI,
# which starts one) makes that a failure.
set -euo pipefail
batch=$(realpath "$1")

if [ -z "${SLURM_CONF:-}" ] || ! command -v sbatch >/dev/null || ! squeue -h >/dev/null 2>&1; then
  if [ "${TORVEX_REQUIRE_SLURM:-0}" = 1 ]; then
    echo "FAIL: no Slurm cluster is up (SLURM_CONF='${SLURM_CONF:-}')" >&2
    exit 1
  fi
  echo "skipped: no Slurm cluster is up"
  exit 77
fi

work=$(mktemp -d /tmp/torvex-slurm-test.XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$batch" --write-samples . >/dev/null
for where in local cluster; do
  cat >"$where.toml" <<TOML
case = "interdiffusion.dat"
output = "$where"
[parameters]
T = [1273, 1373]
end = [100, 300]
[set]
D8 = "{{T}}"
D1 = "0 {{end}}"
[run]
time_limit = 120
[summary]
results = ["kirkendall_shift_cm", "N1_left", "N1_right"]
[slurm]
time = "00:05:00"
TOML
done

"$batch" sweep local.toml -j 2 --quiet

job=$("$batch" sweep cluster.toml --submit)
echo "submitted job $job"
case "$job" in '' | *[!0-9]*) echo "FAIL: --submit printed no job id ('$job')" >&2; exit 1 ;; esac
for _ in $(seq 1 360); do
  [ -z "$(squeue -h -j "$job" 2>/dev/null)" ] && break
  sleep 0.5
done
if [ -n "$(squeue -h -j "$job" 2>/dev/null)" ]; then
  echo "FAIL: job $job still queued or running after 180 s" >&2
  squeue -j "$job" >&2 || true
  exit 1
fi
"$batch" sweep cluster.toml --collect

status=0
for folder in local/cases/*/; do
  name=$(basename "$folder")
  # run.json holds the times and the host of the run; everything else must match.
  if ! diff -r --exclude=run.json "local/cases/$name/results" "cluster/cases/$name/results"; then
    echo "FAIL: case $name: the results differ" >&2
    status=1
  fi
done
python3 - local/summary.csv cluster/summary.csv <<'PY' || status=1
import csv, sys
def rows(path):
    with open(path, newline="") as f:
        return [{k: v for k, v in r.items() if k != "wall_time_s"} for r in csv.DictReader(f)]
local, cluster = rows(sys.argv[1]), rows(sys.argv[2])
assert len(local) == 4, local
assert all(r["status"] == "completed" for r in local + cluster), cluster
if local != cluster:
    sys.exit("FAIL: the summaries differ:\n%s\n%s" % (local, cluster))
PY
[ "$status" = 0 ] && echo "Slurm job array and local sweep agree on all 4 cases"
exit "$status"
