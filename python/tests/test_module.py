"""The Python module against torvex-batch: the same numbers, the same files,
the same messages; runs in threads; the outcome of a run that goes wrong;
Ctrl-C."""

import os
import signal
import threading
import time
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import numpy as np
import pytest

import torvex

SAMPLES = ["interdiffusion.dat", "oxidation.dat"]
SHORT = {"D1": "0 2000"}


def profile_of(at_out):
    """The profile block of an at_out.dat: its time and its rows as texts."""
    lines = Path(at_out).read_text().splitlines()
    start = next(k for k, line in enumerate(lines) if line.startswith("Current time:"))
    time_s = float(lines[start].split(":")[1])
    rows = [line.split() for line in lines[start + 1:] if line.strip() and not line.startswith("#")]
    return time_s, rows


def as_written(value, text):
    """The value rounded as the file wrote it: six significant digits, or as
    many as the text shows when it shows more (positions have fifteen)."""
    mantissa = text.lstrip("-").split("e")[0].split("E")[0].replace(".", "").lstrip("0")
    digits = max(6, len(mantissa))
    return float("%.*g" % (digits, value))


def files_below(folder):
    return sorted(str(p.relative_to(folder)) for p in Path(folder).rglob("*") if p.is_file())


@pytest.mark.parametrize("sample", SAMPLES)
def test_a_run_gives_what_torvex_batch_writes(samples, batch, tmp_path, sample):
    done = batch(samples, "--quiet", "--set", "D1=0 2000", "--results", str(tmp_path / "batch"), sample)
    assert done.returncode == 0, done.stderr

    case = torvex.Case.load(samples / sample, set=SHORT)
    in_memory = case.run()
    assert in_memory.outcome == "completed"
    assert in_memory.results_dir is None

    # The last save is at_out.dat, to the digits written.
    time_s, rows = profile_of(tmp_path / "batch" / "at_out.dat")
    assert in_memory.times_s[-1] == time_s == 2000
    r, n = case.components, case.grid_points
    assert in_memory.at_pct.shape == (len(in_memory.times_s), r, n)
    assert len(rows) == n
    for k, row in enumerate(rows):
        assert float(row[0]) == as_written(in_memory.x_cm[k], row[0])
        for i in range(r):
            written = row[1 + i]
            assert float(written) == as_written(in_memory.at_pct[-1, i, k], written), (k, i, written)

    # With a results folder the module writes the files torvex-batch writes,
    # byte for byte (the report aside, which names the program and the
    # clock), and the arrays are those of the run without files.
    on_disk = case.run(results_dir=tmp_path / "module")
    batch_files = files_below(tmp_path / "batch")
    assert files_below(tmp_path / "module") == batch_files
    assert "history.csv" in batch_files and "case/" + sample in batch_files
    for name in batch_files:
        if name != "run.json":
            assert (tmp_path / "module" / name).read_bytes() == (tmp_path / "batch" / name).read_bytes(), name
    assert np.array_equal(on_disk.at_pct, in_memory.at_pct)
    assert np.array_equal(on_disk.times_s, in_memory.times_s)
    assert on_disk.report["outcome"]["end"] == "completed"
    assert on_disk.report["provenance"]["program"] == "torvex (Python)"
    assert [c["id"] for c in on_disk.checks] == [c["id"] for c in in_memory.checks]

    # The tidy frame is history.csv.
    pandas = pytest.importorskip("pandas")
    frame = in_memory.to_pandas()
    history = pandas.read_csv(tmp_path / "batch" / "history.csv")
    assert list(frame.columns) == list(history.columns)
    assert len(frame) == len(history)
    assert np.array_equal(frame["component"], history["component"])
    for column in ("time_s", "x_cm", "at_pct", "wt_pct"):
        # Positions are written without the rounding the grid gathered when
        # it was built point by point: 0 for a point 1e-17 cm off the middle.
        assert np.allclose(frame[column], history[column], rtol=1e-5, atol=1e-12), column

    # Per-pass records: the Kirkendall plane of every accepted pass, and for
    # the oxidation sample the ends and the scale.
    t, x = in_memory.kirkendall
    assert t[-1] == 2000 and len(t) == in_memory.report["outcome"]["accepted_passes"]
    assert np.all(np.diff(t) > 0)
    if sample == "oxidation.dat":
        boundary = in_memory.boundary
        assert boundary["right_flux"].shape == (len(t), r)
        assert np.all(np.diff(boundary["scale_thickness_cm"]) >= 0)
    else:
        assert in_memory.boundary == {}


def test_arrays_view_the_result_and_are_read_only(samples):
    result = torvex.Case.load(samples / "interdiffusion.dat", set={"D1": "0 50"}).run()
    at = result.at_pct
    assert not at.flags.writeable and not at.flags.owndata
    with pytest.raises(ValueError):
        at[0, 0, 0] = 1
    # The array keeps the result's memory alive.
    del result
    assert np.isfinite(at).all()
    # Percentages of every save sum to 100 at every point.
    assert np.allclose(at.sum(axis=1), 100, atol=1e-9)


def test_keys_values_and_changed_copies(samples):
    case = torvex.Case.load(samples / "interdiffusion.dat")
    assert case.components == 3 and case.grid_points == 200
    assert case.keys()[0] == "D0" and "D9a" in case.keys() and case.keys()[-1] == "D23"
    assert case["D0"] == 3
    assert case["D1"] == (0, 612000)
    assert case["d8"] == 1273
    assert case["D9"] == "1 inter_diff.dfv"
    assert len(case["D23"]) == 2
    with pytest.raises(KeyError):
        case["D99"]

    hot = case.with_set(D8=1373.5, set={"D1": (0, 100.25)})
    assert hot["D8"] == 1373.5 and hot.temperature == 1373.5 and hot.end_time == 100.25
    assert case["D8"] == 1273  # the original is unchanged
    assert hot.with_set(D8=1273)["D8"] == 1273


def test_cases_in_threads_give_what_they_give_one_after_another(samples):
    base = torvex.Case.load(samples / "interdiffusion.dat", set={"D1": "0 300"})
    cases = [base.with_set(D8=t) for t in (1173, 1223, 1273, 1323)]
    one_after_another = [c.run() for c in cases]
    with ThreadPoolExecutor(4) as pool:
        at_once = list(pool.map(lambda c: c.run(), cases))
    for alone, together in zip(one_after_another, at_once):
        assert np.array_equal(alone.at_pct, together.at_pct)
        assert np.array_equal(alone.kirkendall, together.kirkendall)
    # The temperature acts: the four runs differ.
    assert not np.array_equal(one_after_another[0].at_pct[-1], one_after_another[3].at_pct[-1])


def messages_of(completed):
    prefix = "Invalid input: "
    lines = [line for line in completed.stderr.splitlines() if line.strip()]
    assert completed.returncode == 1, completed.stderr
    return "\n".join(line[len(prefix):] if line.startswith(prefix) else line for line in lines)


@pytest.mark.parametrize(
    "set_values, params, arguments",
    [
        ({"D99": 1}, {}, ["--set", "D99=1"]),
        ({"D8": "hot"}, {}, ["--set", "D8=hot"]),
        ({"D8": -5}, {}, ["--set", "D8=-5"]),
        ({"D4": 0}, {}, ["--set", "D4=0"]),
        ({}, {"unused": 3}, ["--param", "unused=3"]),
        ({}, {"bad name": 3}, ["--param", "bad name=3"]),
    ],
)
def test_bad_input_raises_the_message_of_torvex_batch(samples, batch, set_values, params, arguments):
    with pytest.raises(torvex.CaseError) as refused:
        torvex.Case.load(samples / "interdiffusion.dat", set=set_values, params=params)
    expected = messages_of(batch(samples.parent, "--check", *arguments, str(samples / "interdiffusion.dat")))
    assert str(refused.value) == expected
    assert isinstance(refused.value, ValueError)


def test_missing_files_and_bad_run_options(samples, batch, tmp_path):
    with pytest.raises(torvex.CaseError) as missing:
        torvex.Case.load(tmp_path / "nowhere.dat")
    assert str(missing.value) == messages_of(batch(tmp_path, "--check", str(tmp_path / "nowhere.dat")))
    case = torvex.Case.load(samples / "interdiffusion.dat", set={"D1": "0 10"})
    with pytest.raises(torvex.CaseError, match="increase"):
        case.run(output_times=[5, 2])
    with pytest.raises(ValueError, match="'rk' or 'bdf'"):
        case.run(integrator="euler")


def test_the_implicit_integrator_gives_the_profile_of_the_explicit_one(samples):
    case = torvex.Case.load(samples / "interdiffusion.dat", set={"D1": "0 2000"})
    explicit, implicit = case.run(integrator="rk"), case.run(integrator="bdf")
    assert implicit.outcome == "completed" and implicit.times_s[-1] == 2000
    # Both are held to the case's error bound: the profiles agree to well
    # under a percent of the composition range.
    assert np.max(np.abs(implicit.at_pct[-1] - explicit.at_pct[-1])) < 0.5


def test_a_run_that_meets_a_nan_ends_with_its_outcome(samples):
    dfv = samples / "inter_diff.dfv"
    dfv.write_text(dfv.read_text().replace("1.021e-9", "log(N1-2)"))
    result = torvex.Case.load(samples / "interdiffusion.dat", set={"D1": "0 10"}).run()
    assert result.outcome == "non_finite"
    assert "NaN" in result.report["outcome"]["message"]
    assert result.times_s[-1] == 0


def test_ctrl_c_stops_a_run_after_the_pass_in_hand(samples):
    case = torvex.Case.load(samples / "oxidation.dat")  # minutes to its end
    main = threading.main_thread().ident
    sent = []

    def interrupt():
        time.sleep(0.5)
        sent.append(time.monotonic())
        signal.pthread_kill(main, signal.SIGINT)

    seen = []
    threading.Thread(target=interrupt).start()
    with pytest.raises(KeyboardInterrupt) as stopped:
        case.run(progress=lambda t, end: seen.append((t, end)))
    latency = time.monotonic() - sent[0]
    assert latency < 0.25, latency
    result = stopped.value.result
    assert result.outcome == "stopped"
    assert 0 < result.times_s[-1] < case.end_time
    assert seen and seen[-1][1] == case.end_time


def test_progress_callback_that_raises_stops_the_run(samples):
    case = torvex.Case.load(samples / "oxidation.dat")

    def progress(t, end):
        raise RuntimeError("enough")

    with pytest.raises(RuntimeError, match="enough") as stopped:
        case.run(progress=progress)
    assert stopped.value.result.outcome == "stopped"


def test_version_and_samples(tmp_path):
    assert torvex.__version__ and torvex.__version__[0].isdigit()
    torvex.write_samples(tmp_path / "here")
    assert {"interdiffusion.dat", "oxidation.dat"} <= set(os.listdir(tmp_path / "here"))
