"""torvex.sweep and torvex.fit: the commands' results as Python values, and
their refusals as CaseError."""

import math
import os
import shutil
from pathlib import Path

import pytest

import torvex

STUDY = """
case = "interdiffusion.dat"
output = "study"

[parameters]
T = [1173, 1273]

[set]
D8 = "{{T}}"
D1 = "0 100"

[summary]
results = ["kirkendall_shift_cm"]
"""


def test_sweep_returns_the_summary(samples):
    study = samples / "study.toml"
    study.write_text(STUDY)
    rows = torvex.sweep(study, jobs=2)
    assert [row["T"] for row in rows] == [1173, 1273]
    assert all(row["status"] == "completed" for row in rows)
    assert (samples / "study" / "summary.csv").is_file()
    # Done cases are not run again.
    assert torvex.sweep(study, jobs=2) == rows


def test_sweep_refuses_a_bad_study_with_the_commands_message(samples, batch):
    study = samples / "study.toml"
    study.write_text(STUDY.replace('D8 = "{{T}}"', 'D99 = "{{T}}"'))
    with pytest.raises(torvex.CaseError) as refused:
        torvex.sweep(study)
    done = batch(samples, "sweep", str(study))
    assert done.returncode == 1
    assert str(refused.value) in done.stderr


def test_fit_returns_values_errors_and_correlation(tmp_path):
    examples = Path(os.environ.get("TORVEX_SOURCE_DIR", Path(__file__).resolve().parents[2])) / "examples" / "fit"
    folder = tmp_path / "fit"
    shutil.copytree(examples, folder)
    report = torvex.fit(folder / "couple.toml", jobs=2, output=tmp_path / "report")
    assert set(report["values"]) >= {"D1", "D2"}
    # The example's scan was made with D1 = 2e-10 and D2 = 6e-11 cm^2/s.
    assert report["values"]["D1"] == pytest.approx(2e-10, rel=0.2)
    assert report["values"]["D2"] == pytest.approx(6e-11, rel=0.2)
    assert all(report["standard_errors"][name] > 0 for name in ("D1", "D2"))
    size = len(report["correlation"])
    assert size == len(report["values"])
    assert all(math.isclose(report["correlation"][k][k], 1) for k in range(size))
    assert (tmp_path / "report" / "fit.json").is_file()
