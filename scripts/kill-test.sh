#!/usr/bin/env bash
# Kills torvex-batch with SIGKILL at a random moment of a run that saves its
# results every second pass (uniformly within the time an uninterrupted run
# takes), TRIALS times (default 200), in one working directory, and checks after every kill that each results file is a
# complete version: the one an earlier save left or the new one, never a
# part of either.
#
#   scripts/kill-test.sh [TRIALS]
#
# Builds torvex-batch in build-kill. The case is the oxidation sample (all
# seven files, three of them records that grow every pass) with key D17 set
# to "1 2" and at most 400 passes. An uninterrupted run of the same case gives
# the reference:
#   - at_out.dat, wt_out.dat, continue.dat and diffusivities.dat always have
#     the same layout, so a complete version has the reference's lines with
#     only the numbers differing, and its "Current time" is the time of a pass
#     of the reference run (or of its start);
#   - the runs are deterministic, and a save appends the lines the records
#     gained, so Kirk_plane.dat, boundary_flux.dat and fluxes_comparition.dat
#     are each the reference record cut somewhere: after one of its lines, or
#     at worst inside its last line (which readers drop);
#   - continue.dat loads as an input file (torvex-batch --check);
#   - history.csv and series.csv only grow by appends of whole blocks and
#     rows, so each is the reference file cut somewhere: at worst inside its
#     last block or row, never with a part missing before it;
#   - run.json is whole JSON: the report of a run in hand or of one that
#     ended, never a part of either.
# A kill in the middle of a save may leave that save's temporary file
# (NAME.tmpPID, never a name the program reads); the next run's first save
# removes the temporary files of processes that no longer run, which is
# checked as well.
set -euo pipefail
cd "$(dirname "$0")/.."
trials=${1:-200}

bash scripts/install-deps.sh >/dev/null
cmake -S . -B build-kill -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTORVEX_BUILD_GUI=OFF -DTORVEX_BUILD_TESTS=OFF >/dev/null
cmake --build build-kill -j "$(nproc)" --target torvex-batch >/dev/null

work=$(mktemp -d "$PWD/build-kill/work.XXXXXX")
trap 'rm -rf "$work"' EXIT
exec python3 - "$PWD/build-kill/bin/torvex-batch" "$work" "$trials" <<'EOF'
import json, os, random, re, signal, subprocess, sys, time

batch, work, trials = sys.argv[1], sys.argv[2], int(sys.argv[3])
FIXED = ["at_out.dat", "wt_out.dat", "continue.dat", "diffusivities.dat"]
RECORDS = ["Kirk_plane.dat", "boundary_flux.dat", "fluxes_comparition.dat"]
JOURNAL = ["history.csv", "series.csv"]
NUMBER = re.compile(rb"[-+]?(?:\d+\.?\d*|\.\d+)(?:[eE][-+]?\d+)?")
TEMPORARY = re.compile(r"^(.+)\.tmp(\d+)$")
RUN = [batch, "--quiet", "--max-passes", "400", "case.dat"]


def prepare(directory):
    os.makedirs(directory)
    subprocess.run([batch, "--write-samples", directory], check=True, stdout=subprocess.DEVNULL)
    with open(os.path.join(directory, "oxidation.dat"), "rb") as f:
        text = f.read()
    assert b"\n   250   250\r\n" in text
    with open(os.path.join(directory, "case.dat"), "wb") as f:
        f.write(text.replace(b"\n   250   250\r\n", b"\n   1   2\r\n"))


def read(path):
    with open(path, "rb") as f:
        return f.read()


def skeleton(content):
    return NUMBER.sub(b"N", content)


def current_time(content):
    found = re.search(rb"Current time: +(\S+)\r\n", content)
    return found.group(1) if found else None


# The reference: the same case, never interrupted.
reference_dir = os.path.join(work, "reference")
prepare(reference_dir)
began = time.monotonic()
subprocess.run(RUN, cwd=reference_dir, check=True, stdout=subprocess.DEVNULL)
run_seconds = time.monotonic() - began
reference = {name: read(os.path.join(reference_dir, "results", name)) for name in FIXED + RECORDS + JOURNAL}
reference["run.json"] = read(os.path.join(reference_dir, "results", "run.json"))
assert json.loads(reference["run.json"])["outcome"]["end"] == "stopped"
torn = {name: 0 for name in JOURNAL + RECORDS}
kirkendall = reference["Kirk_plane.dat"].split(b"\r\n")
pass_times = {b"0"} | {line.split(b" ")[0] for line in kirkendall[5:] if line}

trial_dir = os.path.join(work, "trials")
prepare(trial_dir)
results = os.path.join(trial_dir, "results")
random.seed(int(os.environ.get("KILL_TEST_SEED", "0")) or None)
counts = {"killed": 0, "finished before the kill": 0, "killed before a save of its own": 0,
          "killed in a save (temporary left)": 0}
failures = []
temporaries_seen = set()


def check(killed_pid, before):
    problems = []
    present = set(os.listdir(results)) if os.path.isdir(results) else set()
    temporaries = {name for name in present if TEMPORARY.match(name)}
    for name in sorted(present - temporaries):
        # case/ is the case as it ran, written at the end of a run.
        if name not in reference and name != "case":
            problems.append("unexpected file " + name)
    for name in FIXED:
        if name not in present:
            if before:
                problems.append(name + " vanished")
            continue
        content = read(os.path.join(results, name))
        if skeleton(content) != skeleton(reference[name]):
            problems.append(name + " is not a complete version (" + str(len(content)) + " bytes)")
        elif name in ("at_out.dat", "wt_out.dat") and current_time(content) not in pass_times:
            problems.append(name + " holds a time no pass reached: " + repr(current_time(content)))
    for name in RECORDS:
        if name not in present:
            if before:
                problems.append(name + " vanished")
            continue
        content = read(os.path.join(results, name))
        if not reference[name].startswith(content):
            problems.append(name + " is not the reference record cut somewhere (" + str(len(content)) + " bytes)")
        elif not content.endswith(b"\r\n"):
            torn[name] += 1
    for name in JOURNAL:
        if name not in present:
            continue
        content = read(os.path.join(results, name))
        if not reference[name].startswith(content):
            problems.append(name + " is not the reference cut after whole blocks (" + str(len(content)) + " bytes)")
        elif not content.startswith(reference[name].split(b"\n")[0] + b"\n"):
            problems.append(name + " lacks its header")
        elif not content.endswith(b"\n"):
            torn[name] += 1
    if "run.json" in present:
        try:
            report = json.loads(read(os.path.join(results, "run.json")))
            if report.get("format") != "torvex-run-report" or report["outcome"]["end"] not in ("running", "stopped"):
                problems.append("run.json is not a report of this case: " + repr(report.get("outcome")))
        except (ValueError, KeyError) as error:
            problems.append("run.json is not whole JSON: " + str(error))
    if "continue.dat" in present:
        check_run = subprocess.run([batch, "--check", "results/continue.dat"], cwd=trial_dir,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        if check_run.returncode != 0:
            problems.append("continue.dat does not load: " + check_run.stderr.decode().strip())
    for name in temporaries:
        if TEMPORARY.match(name).group(1) not in reference:
            problems.append("temporary file of an unknown file: " + name)
    now = {name: read(os.path.join(results, name)) for name in FIXED + RECORDS if name in present}
    saved = now != before
    if saved:
        stale = [name for name in temporaries if int(TEMPORARY.match(name).group(2)) != killed_pid]
        if stale:
            problems.append("temporary files of earlier runs were not removed: " + ", ".join(sorted(stale)))
    return problems, temporaries, saved, now


before = {}
started = time.monotonic()
for trial in range(1, trials + 1):
    delay = random.uniform(0.0, run_seconds)
    process = subprocess.Popen(RUN, cwd=trial_dir, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(delay)
    finished = process.poll() is not None
    if not finished:
        process.send_signal(signal.SIGKILL)
        counts["killed"] += 1
    process.wait()
    if finished:
        counts["finished before the kill"] += 1
    problems, temporaries, saved, before = check(process.pid, before)
    temporaries_seen |= temporaries
    if not saved and not finished:
        counts["killed before a save of its own"] += 1
    if any(int(TEMPORARY.match(n).group(2)) == process.pid for n in temporaries):
        counts["killed in a save (temporary left)"] += 1
    for problem in problems:
        failures.append("trial %d (killed after %.3f s): %s" % (trial, delay, problem))
    if trial % 50 == 0:
        print("%d trials, %d failures" % (trial, len(failures)), flush=True)

# One more run, not interrupted: it must leave no temporary file at all.
subprocess.run(RUN, cwd=trial_dir, check=True, stdout=subprocess.DEVNULL)
remaining = sorted(n for n in os.listdir(results) if TEMPORARY.match(n))
if remaining:
    failures.append("an uninterrupted run left temporary files: " + ", ".join(remaining))
counts["temporary files, all removed later"] = len(temporaries_seen)

print("kill test: %d trials in %.0f s (an uninterrupted run takes %.2f s)" %
      (trials, time.monotonic() - started, run_seconds))
for what, count in counts.items():
    print("  %-32s %d" % (what, count))
print("  %-32s %d" % ("failures", len(failures)))
for name, count in torn.items():
    print("  %-32s %d" % (name + " torn at its end", count))
for failure in failures[:20]:
    print("    " + failure)
sys.exit(1 if failures else 0)
EOF
