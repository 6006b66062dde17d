#!/usr/bin/env bash
# How well the local pool of torvex-batch sweep uses the cores: an 8-case
# study of interdiffusion.dat cut to 20 000 s, run with -j 1 and -j 2, three
# times each (every run from scratch); prints the median wall times, their
# ratio (target on a 2-core machine: at most 0.56) and the load average.
#
#   bash bench/sweep_speedup.sh [path/to/torvex-batch]
set -euo pipefail
cd "$(dirname "$0")/.."
batch=${1:-}
if [ -z "$batch" ]; then
  cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DTORVEX_BUILD_BENCH=ON -DTORVEX_BUILD_TESTS=OFF \
    -DTORVEX_BUILD_GUI=OFF >/dev/null
  cmake --build build-bench -j "$(nproc)" --target torvex-batch >/dev/null
  batch=build-bench/bin/torvex-batch
fi
batch=$(realpath "$batch")
work=$(mktemp -d /tmp/torvex-sweep-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$batch" --write-samples . >/dev/null
cat >study.toml <<'TOML'
case = "interdiffusion.dat"
output = "runs"
[parameters]
T = { from = 1223, to = 1293, count = 8 }
[set]
D8 = "{{T}}"
D1 = "0 20000"
TOML
exec python3 - "$batch" <<'PY'
import os, shutil, statistics, subprocess, sys, time
batch = sys.argv[1]
times = {1: [], 2: []}
for _ in range(3):
    for jobs in (1, 2):
        shutil.rmtree("runs", ignore_errors=True)
        start = time.monotonic()
        subprocess.run([batch, "sweep", "study.toml", "-j", str(jobs), "--quiet"], check=True)
        times[jobs].append(time.monotonic() - start)
m1, m2 = statistics.median(times[1]), statistics.median(times[2])
print("-j 1: " + ", ".join("%.2f s" % t for t in times[1]) + "  median %.2f s" % m1)
print("-j 2: " + ", ".join("%.2f s" % t for t in times[2]) + "  median %.2f s" % m2)
print("ratio -j 2 / -j 1: %.3f (target <= 0.56)" % (m2 / m1))
print("load average: %.2f %.2f %.2f, cores: %d" % (os.getloadavg() + (os.cpu_count(),)))
PY
