#!/usr/bin/env bash
# A continuation (torvex-batch results/continue.dat) goes on in the folder of
# the run it continues and keeps that run's history: killed outright
# (SIGKILL) at random moments, TRIALS times (default 6), it must leave each of
# history.csv, series.csv, Kirk_plane.dat, boundary_flux.dat and
# fluxes_comparition.dat beginning with the first run's file, byte for byte,
# followed by whole lines of the continuation and at worst a torn last one;
# the first run's report is kept. A continuation started again after a kill,
# and one never interrupted, end with one history whose saves increase
# strictly and whose series and records never go back in time, from the
# first pass to the end.
#
#   bash tests/cli/continue_kill_test.sh path/to/torvex-batch [TRIALS]
set -euo pipefail
batch=$(realpath "$1")
trials=${2:-6}
work=$(mktemp -d /tmp/torvex-continue-kill.XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$batch" --write-samples . >/dev/null
# The first run: the oxidation sample for 4000 s, saving every fifth pass.
timeout 120 "$batch" --quiet --set "D1=0 4000" --set "D17=5 5" oxidation.dat >/dev/null
cp -a results first

exec timeout 600 python3 - "$batch" "$trials" <<'EOF'
import json, os, random, shutil, signal, subprocess, sys, time

batch, trials = sys.argv[1], int(sys.argv[2])
KEPT = ["history.csv", "series.csv", "Kirk_plane.dat", "boundary_flux.dat", "fluxes_comparition.dat"]
CONTINUE = [batch, "--quiet", "results/continue.dat"]
failures = []


def read(path):
    with open(path, "rb") as f:
        return f.read()


first = {name: read(os.path.join("first", name)) for name in KEPT + ["run.json"]}


def restore():
    shutil.rmtree("results", ignore_errors=True)
    shutil.copytree("first", "results", symlinks=True)


def check_kept(label):
    names = set(os.listdir("results"))
    aside = sorted(n for n in names if ".earlier" in n and not n.startswith("run.json"))
    if aside:
        failures.append(label + ": files set aside: " + ", ".join(aside))
    for name in KEPT:
        content = read(os.path.join("results", name)) if name in names else b""
        if not content.startswith(first[name]):
            failures.append("%s: %s no longer begins with the first run's (%d bytes)" % (label, name, len(content)))
    reports = [read(os.path.join("results", n)) for n in names if n.startswith("run.json")]
    if first["run.json"] not in reports:
        failures.append(label + ": the first run's report is gone")


def times(name, separator):
    """The first field of every whole data line."""
    content = read(os.path.join("results", name)).decode()
    values = []
    for line in content.splitlines()[:-1] + ([content.splitlines()[-1]] if content.endswith("\n") else []):
        field = line.split(separator)[0].strip()
        try:
            values.append(float(field))
        except ValueError:
            pass
    return values


def check_one_history(label):
    series = times("series.csv", ",")
    if any(b < a for a, b in zip(series, series[1:])):
        failures.append(label + ": the series goes back in time")
    saves = []
    for t in times("history.csv", ","):
        if not saves or saves[-1] != t:
            saves.append(t)
    if any(b <= a for a, b in zip(saves, saves[1:])):
        failures.append(label + ": the history's saves do not increase strictly")
    kirkendall = times("Kirk_plane.dat", " ")
    if any(b < a for a, b in zip(kirkendall, kirkendall[1:])):
        failures.append(label + ": the Kirkendall record goes back in time")
    if read(os.path.join("results", "Kirk_plane.dat")).count(b"The calculation of the Kirkendall plane") != 1:
        failures.append(label + ": the Kirkendall record was started again")
    report = json.loads(read(os.path.join("results", "run.json")))
    if report["outcome"]["end"] != "completed":
        failures.append(label + ": the continuation ended " + report["outcome"]["end"])
    if not series or series[-1] != report["outcome"]["end_time_s"]:
        failures.append(label + ": the series does not reach the end time")


# The reference: a continuation never interrupted.
restore()
began = time.monotonic()
subprocess.run(CONTINUE, check=True, stdout=subprocess.DEVNULL, timeout=120)
seconds = time.monotonic() - began
check_kept("uninterrupted")
check_one_history("uninterrupted")

random.seed(int(os.environ.get("KILL_TEST_SEED", "0")) or None)
for trial in range(1, trials + 1):
    restore()
    process = subprocess.Popen(CONTINUE, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(random.uniform(0.0, seconds))
    process.send_signal(signal.SIGKILL)
    process.wait()
    check_kept("trial %d" % trial)
    # Continued again from where the killed one saved: one history still.
    subprocess.run(CONTINUE, check=True, stdout=subprocess.DEVNULL, timeout=120)
    check_kept("trial %d, continued again" % trial)
    check_one_history("trial %d, continued again" % trial)

print("continuation kill test: %d trials (a continuation takes %.2f s), %d failures" % (trials, seconds, len(failures)))
for failure in failures[:20]:
    print("  " + failure)
sys.exit(1 if failures else 0)
EOF
