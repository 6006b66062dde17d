"""Parameter studies and fits: thin wrappers over ``torvex-batch sweep`` and
``torvex-batch fit``. Each runs the command (so its checks, messages, output
folders and Ctrl-C handling are the command's own) and reads the report it
wrote."""

from __future__ import annotations

import csv
import json
import os
import shutil
import subprocess
from pathlib import Path
from typing import Optional, Union

from . import _torvex
from ._torvex import CaseError

PathLike = Union[str, "os.PathLike[str]"]

_INVALID_INPUT = "Invalid input: "


def batch_program() -> str:
    """The torvex-batch the wrappers start: $TORVEX_BATCH, the one of the build
    tree this module was built in, or the one on the PATH."""
    given = os.environ.get("TORVEX_BATCH")
    if given:
        return given
    beside = Path(__file__).resolve().parents[2] / "bin" / "torvex-batch"
    if beside.is_file() and os.access(beside, os.X_OK):
        return str(beside)
    found = shutil.which("torvex-batch") or ("/usr/bin/torvex-batch" if os.access("/usr/bin/torvex-batch", os.X_OK) else None)
    if not found:
        raise FileNotFoundError("torvex-batch was not found (set TORVEX_BATCH to its path)")
    return found


def _run(arguments: list[str], what: str) -> subprocess.CompletedProcess:
    process = subprocess.run([batch_program(), *arguments], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                             text=True, encoding="utf-8", errors="replace")
    if process.returncode == 130:
        raise KeyboardInterrupt(f"{what} interrupted")
    if process.returncode == 1:
        lines = [line for line in process.stderr.splitlines() if line.strip()]
        message = "\n".join(lines) or f"{what} refused its input"
        if message.startswith(_INVALID_INPUT):
            message = message[len(_INVALID_INPUT):]
        raise CaseError(message)
    return process


def _number(text: str):
    for kind in (int, float):
        try:
            return kind(text)
        except ValueError:
            pass
    return text


def sweep(path: PathLike, jobs: Optional[int] = None, time_limit: Optional[float] = None) -> list[dict]:
    """Runs the parameter study of STUDY.toml as ``torvex-batch sweep`` does
    (each case a process of its own, ``jobs`` at a time; cases already done
    with the same inputs are not run again) and returns its summary.csv as a
    list of dicts, one per case, numbers as numbers. Cases that did not
    complete are in the summary with their status. Raises CaseError for a
    study the command refuses, OSError when it cannot write its output."""
    path = os.fspath(path)
    arguments = ["sweep", path, "--quiet"]
    if jobs is not None:
        arguments += ["-j", str(int(jobs))]
    if time_limit is not None:
        arguments += ["--time-limit", repr(float(time_limit))]
    process = _run(arguments, "the sweep")
    if process.returncode not in (0, 3):
        raise OSError(process.stderr.strip() or f"torvex-batch sweep ended with status {process.returncode}")
    summary = Path(_torvex.study_output(path)) / "summary.csv"
    with open(summary, newline="", encoding="utf-8") as handle:
        return [{key: _number(value) for key, value in row.items()} for row in csv.DictReader(handle)]


def fit(path: PathLike, jobs: Optional[int] = None, output: Optional[PathLike] = None) -> dict:
    """Runs the fit of FIT.toml as ``torvex-batch fit`` does (``jobs`` runs at a
    time) and returns its report, fit.json, as a dict; besides everything it
    holds, ``values`` and ``standard_errors`` map each fitted name to its
    value and standard error (None where the data do not determine it) and
    ``correlation`` is the correlation matrix (a list of rows, NaN where a
    value is undetermined). Raises CaseError for a fit the command refuses."""
    path = os.fspath(path)
    arguments = ["fit", path, "--quiet"]
    if jobs is not None:
        arguments += ["-j", str(int(jobs))]
    if output is not None:
        arguments += ["--output", os.fspath(output)]
    process = _run(arguments, "the fit")
    if process.returncode not in (0, 3):
        raise OSError(process.stderr.strip() or f"torvex-batch fit ended with status {process.returncode}")
    folder = os.fspath(output) if output is not None else _torvex.fit_output(path)
    with open(Path(folder) / "fit.json", encoding="utf-8") as handle:
        report = json.load(handle)
    return _fit_summary(report)


def _fit_summary(report: dict) -> dict:
    values = report.get("values") or report.get("parameters") or []
    result = dict(report)
    if isinstance(values, list):
        result["values"] = {v["name"]: v.get("value") for v in values}
        result["standard_errors"] = {v["name"]: v.get("standard_error") for v in values}
    correlation = report.get("correlation")
    if correlation is not None:
        result["correlation"] = [[float("nan") if c is None else c for c in row] for row in correlation]
    return result
