#!/usr/bin/env bash
# A sweep killed outright (SIGKILL) at random moments, TRIALS times (default
# 3), each time started again on the same output folder, and two sweeps
# started at once on one output folder, must leave every case exactly as an
# undisturbed sweep does: each history.csv byte for byte the reference's,
# its times strictly increasing from block to block, and the same number of
# rows. After every kill no run of the killed sweep may still hold its case.
#
#   bash tests/cli/sweep_kill_test.sh path/to/torvex-batch [TRIALS]
#
# The study: the oxidation sample at four temperatures, one case at a time,
# each case about half a second long. Every command runs under a time limit, so a
# sweep that hangs fails the test instead of holding it up.
set -euo pipefail
batch=$(realpath "$1")
trials=${2:-3}
work=$(mktemp -d /tmp/torvex-sweep-kill.XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$batch" --write-samples . >/dev/null
for name in reference killed twice; do
  cat >"$name.toml" <<TOML
case = "oxidation.dat"
output = "$name"
[parameters]
T = [1073, 1123, 1173, 1223]
[set]
D8 = "{{T}}"
D1 = "0 8000"
[run]
jobs = 1
TOML
done

exec python3 - "$batch" "$trials" <<'EOF'
import fcntl, os, random, signal, subprocess, sys, time

batch, trials = sys.argv[1], int(sys.argv[2])
LIMIT = 120  # s for any one sweep
failures = []


def sweep(study, **kwargs):
    return subprocess.Popen([batch, "sweep", study, "--quiet"], stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, **kwargs)


def finish(process):
    try:
        _, err = process.communicate(timeout=LIMIT)
    except subprocess.TimeoutExpired:
        process.kill()
        sys.exit("FAIL: a sweep ran longer than %d s" % LIMIT)
    return process.returncode, err.decode()


def held(path):
    try:
        fd = os.open(path, os.O_RDWR)
    except FileNotFoundError:
        return False
    try:
        fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
        return False
    except BlockingIOError:
        return True
    finally:
        os.close(fd)


def history(folder, case):
    with open(os.path.join(folder, "cases", case, "results", "history.csv"), "rb") as f:
        return f.read()


def check_history(name, content, reference):
    rows = content.splitlines()[1:]
    times = []
    for row in rows:
        time_s = float(row.split(b",")[0])
        if not times or time_s != times[-1]:
            times.append(time_s)
    if any(b <= a for a, b in zip(times, times[1:])):
        failures.append("%s: the times of history.csv go back" % name)
    if len(rows) != len(reference.splitlines()) - 1:
        failures.append("%s: history.csv has %d rows, an undisturbed run %d" %
                        (name, len(rows), len(reference.splitlines()) - 1))
    if content != reference:
        failures.append("%s: history.csv differs from the undisturbed run's" % name)


began = time.monotonic()
status, err = finish(sweep("reference.toml"))
if status != 0:
    sys.exit("FAIL: the reference sweep ended with %d: %s" % (status, err))
sweep_seconds = time.monotonic() - began
cases = sorted(os.listdir("reference/cases"))
reference = {case: history("reference", case) for case in cases}

# Killed at random moments, started again each time.
random.seed(int(os.environ.get("SWEEP_KILL_SEED", "0")) or None)
for trial in range(trials):
    process = sweep("killed.toml")
    time.sleep(random.uniform(0.2, sweep_seconds))
    process.send_signal(signal.SIGKILL)
    process.wait()
    deadline = time.monotonic() + 5
    running = [case for case in cases if held("killed/cases/%s/sweep-case.lock" % case)]
    while running and time.monotonic() < deadline:
        time.sleep(0.05)
        running = [case for case in cases if held("killed/cases/%s/sweep-case.lock" % case)]
    for case in running:
        failures.append("trial %d: case %s is still being run after its sweep was killed" % (trial + 1, case))
status, err = finish(sweep("killed.toml"))
if status != 0:
    failures.append("the sweep after the kills ended with %d: %s" % (status, err.strip()))
for case in cases:
    check_history("killed case " + case, history("killed", case), reference[case])

# Two sweeps on one folder at once: one owns it, the other is refused.
first, second = sweep("twice.toml"), sweep("twice.toml")
statuses = sorted([finish(first)[0], finish(second)[0]])
if statuses != [0, 5]:
    failures.append("two sweeps at once ended with %s, not one completed and one refused (0, 5)" % statuses)
status, err = finish(sweep("twice.toml"))
if status != 0:
    failures.append("the sweep after the two ended with %d: %s" % (status, err.strip()))
for case in cases:
    check_history("twice case " + case, history("twice", case), reference[case])

print("sweep kill test: %d kills and two sweeps at once on %d cases in %.0f s, %d failures" %
      (trials, len(cases), time.monotonic() - began, len(failures)))
for failure in failures:
    print("  FAIL: " + failure)
sys.exit(1 if failures else 0)
EOF
