"""Torvex from Python: run interdiffusion cases and get NumPy arrays back.

A case is loaded from its data file (and the side files it names), changed
with the same key overrides and template parameters as ``torvex-batch
--set``/``--param``, and run in the calling thread with the GIL released,
so that several cases run at once in several threads::

    import torvex
    torvex.write_samples("samples")
    case = torvex.Case.load("samples/interdiffusion.dat", set={"D1": "0 2000"})
    result = case.run()
    result.at_pct[-1, 0]        # at.% of component 1 at the last save, per grid point

Bad input raises :class:`CaseError` with the message torvex-batch prints.
"""

from __future__ import annotations

import json
import os
import sys
from typing import Any, Callable, Iterable, Mapping, Optional, Sequence, Union

from . import _torvex
from ._torvex import CaseError

__version__: str = _torvex.__version__

__all__ = ["Case", "CaseError", "Result", "fit", "sweep", "write_samples", "__version__"]

PathLike = Union[str, "os.PathLike[str]"]

# The integrators a run can be given, as torvex-batch --integrator names them.
INTEGRATORS = ("rk", "bdf")


def write_samples(folder: PathLike) -> None:
    """Writes the sample cases (interdiffusion.dat, oxidation.dat and their
    side files) into ``folder``, made if need be."""
    os.makedirs(folder, exist_ok=True)
    _torvex.write_samples(os.fspath(folder))


def _value_text(value: Any) -> str:
    """A Python value as it stands on a value line: numbers in the shortest
    text that reads back as the same double (never a decimal comma),
    sequences separated by blanks, rows of a profile (a sequence of
    sequences) by ';'."""
    if isinstance(value, bool):
        raise TypeError(f"a value line holds numbers or text, not {value!r}")
    if isinstance(value, str):
        return value
    if isinstance(value, int):
        return str(value)
    if isinstance(value, float):
        return repr(value)
    if hasattr(value, "item") and getattr(value, "ndim", 1) == 0:  # NumPy scalars
        return _value_text(value.item())
    if isinstance(value, (os.PathLike,)):
        return os.fspath(value)
    if isinstance(value, Iterable):
        items = list(value)
        if items and all(not isinstance(v, str) and isinstance(v, Iterable) for v in items):
            return ";".join(_value_text(row) for row in items)
        return " ".join(_value_text(v) for v in items)
    raise TypeError(f"cannot write {value!r} on a value line")


def _texts(values: Optional[Mapping[str, Any]]) -> list[str]:
    return [f"{name}={_value_text(value)}" for name, value in (values or {}).items()]


def _key_name(name: str) -> str:
    """The key as the data file names it ("d8" is "D8"); unknown names are
    left to the loader's message."""
    return _torvex._Case.canonical_key(name) or name


def _value_of(text: str) -> Any:
    """A value line as Python values: a number, a tuple of numbers, or the
    text when it is not all numbers."""
    tokens = text.split()
    numbers = []
    for token in tokens:
        try:
            numbers.append(int(token))
        except ValueError:
            try:
                numbers.append(float(token))
            except ValueError:
                return text
    if len(numbers) == 1:
        return numbers[0]
    return tuple(numbers)


class Case:
    """A case: a data file and its side files as loaded, with any key
    overrides and parameters applied. A case is a value: it is never changed
    (``with_set`` makes a changed copy) and can be run many times, in many
    threads at once."""

    __slots__ = ("_core", "_set", "_params")

    def __init__(self, core: Any, set: Mapping[str, Any], params: Mapping[str, Any]):
        self._core = core
        self._set = dict(set)
        self._params = dict(params)

    @classmethod
    def load(
        cls,
        path: PathLike,
        set: Optional[Mapping[str, Any]] = None,
        params: Optional[Mapping[str, Any]] = None,
    ) -> "Case":
        """Loads the data file at ``path`` and the side files it names.

        ``set`` replaces whole value lines, as ``torvex-batch --set KEY=VALUE``:
        ``{"D8": 1173, "D1": (0, 3600)}``; for D23 give the profile rows as a
        sequence of sequences (or a text with rows separated by ';').
        ``params`` fills the ``{{NAME}}`` placeholders of the files, as
        ``--param NAME=VALUE``. Numbers are written in the shortest text that
        reads back as the same value.

        Raises :class:`CaseError` with torvex-batch's message (naming the file,
        the line or key and the offending text) for any input it refuses.
        """
        set = {_key_name(k): v for k, v in (set or {}).items()}
        params = dict(params or {})
        core = _torvex._Case.load(os.fspath(path), _texts(set), _texts(params))
        return cls(core, set, params)

    def with_set(self, set: Optional[Mapping[str, Any]] = None, params: Optional[Mapping[str, Any]] = None,
                 **keys: Any) -> "Case":
        """A copy of the case with further key overrides and parameters (they
        replace those of the same key or name given before). Keys may also be
        given as keyword arguments: ``case.with_set(D8=1273)``. The files are
        not read again."""
        merged = dict(self._set)
        merged.update({_key_name(k): v for k, v in {**(set or {}), **keys}.items()})
        merged_params = {**self._params, **(params or {})}
        core = self._core.rerender(_texts(merged), _texts(merged_params))
        return Case(core, merged, merged_params)

    @property
    def path(self) -> str:
        """The data file, as given to :meth:`load`."""
        return self._core.path

    @property
    def overrides(self) -> dict[str, Any]:
        """The key overrides applied, by key."""
        return dict(self._set)

    @property
    def params(self) -> dict[str, Any]:
        """The template parameters applied, by name."""
        return dict(self._params)

    @property
    def components(self) -> int:
        """The number of components r (D2)."""
        return self._core.components

    @property
    def grid_points(self) -> int:
        """The number of grid points n."""
        return self._core.grid_points

    @property
    def start_time(self) -> float:
        """s, the start of the run (D1)."""
        return self._core.start_time

    @property
    def end_time(self) -> float:
        """s, the end of the run (D1)."""
        return self._core.end_time

    @property
    def temperature(self) -> float:
        """K, the temperature of the run (D8)."""
        return self._core.temperature

    @property
    def molar_masses(self) -> list[float]:
        """g/mol, one per component (D10)."""
        return self._core.molar_masses

    @property
    def input_files(self) -> list[dict[str, str]]:
        """The files read (role, path, SHA-256 of their bytes), as run.json
        records them."""
        return self._core.input_files

    def keys(self) -> list[str]:
        """The keys of the data file, D0 … D23."""
        return list(_torvex._Case.key_names())

    def __contains__(self, key: object) -> bool:
        return isinstance(key, str) and _torvex._Case.canonical_key(key) is not None

    def __getitem__(self, key: str) -> Any:
        """The value line of a key, as numbers where it holds only numbers
        (a number, or a tuple of them) and as text otherwise; for D23 the list
        of the initial profile's rows."""
        lines = self._core.value_lines(key)
        if lines is None:
            if _torvex._Case.canonical_key(key) is None:
                raise KeyError(f"there is no key {key!r} (the keys are D0 … D9, D9a, D10 … D23)")
            raise KeyError(f"{self.path} ends before key {key!r}")
        if _torvex._Case.canonical_key(key) == "D23":
            return [_value_of(row) for row in lines]
        return _value_of(lines[0])

    def describe(self, key: str) -> str:
        """What the value line of a key holds, in words."""
        meaning = _torvex._Case.key_meaning(key)
        if meaning is None:
            raise KeyError(key)
        return meaning

    def __repr__(self) -> str:
        changes = ", ".join(f"{k}={v!r}" for k, v in {**self._set, **self._params}.items())
        return (f"<torvex.Case {self.path!r}: {self.components} components, {self.grid_points} points, "
                f"{self.start_time:g}..{self.end_time:g} s, {self.temperature:g} K"
                + (f"; {changes}" if changes else "") + ">")

    def run(
        self,
        schedule: Optional[PathLike] = None,
        output_times: Union[None, str, Sequence[float]] = None,
        integrator: str = "rk",
        results_dir: Optional[PathLike] = None,
        progress: Optional[Callable[[float, float], Any]] = None,
    ) -> "Result":
        """Runs the case in the calling thread, with the GIL released (other
        Python threads, and other runs, go on meanwhile).

        schedule: a CSV file of temperature against time, as
            ``torvex-batch --schedule``, followed instead of D8.
        output_times: times (s) the run lands on exactly and saves at, beside
            the saves every D17 passes: a sequence of numbers, or a text as
            ``--output-times`` takes ("0:3600:7").
        integrator: "rk", the adaptive Cash-Karp Runge-Kutta scheme, or "bdf",
            the implicit variable-order BDF integrator, as
            ``torvex-batch --integrator``.
        results_dir: a folder the results files, history.csv, series.csv and
            run.json are written to, as torvex-batch writes them; None writes no
            file at all.
        progress: called as ``progress(t_s, end_time_s)`` about ten times a
            second and once at the end; an exception it raises stops the run
            and is raised.

        Ctrl-C (SIGINT) stops a run in the main thread after the pass in hand
        and raises KeyboardInterrupt, whose ``result`` attribute holds the run
        up to there. A run that stops at a non-finite value, or whose step
        vanished, returns normally: see :attr:`Result.outcome`.
        """
        times_text = None
        if output_times is not None:
            if isinstance(output_times, str):
                times_text = output_times
            else:
                times = [float(t) for t in output_times]
                if not times:
                    raise ValueError("output_times: no time given")
                times_text = ",".join(repr(t) for t in times)
        command = ["torvex.Case.load", self.path]
        command += [f"--set={t}" for t in _texts(self._set)] + [f"--param={t}" for t in _texts(self._params)]
        command += ["run", "--integrator", integrator]
        if schedule is not None:
            command += ["--schedule", os.fspath(schedule)]
        if times_text is not None:
            command += ["--output-times", times_text]
        if results_dir is not None:
            command += ["--results", os.fspath(results_dir)]
        try:
            core = self._core.run(
                None if schedule is None else os.fspath(schedule),
                times_text,
                integrator,
                None if results_dir is None else os.fspath(results_dir),
                progress,
                command,
            )
        except BaseException as stopped:
            # A run stopped by Ctrl-C or by the progress callback: its
            # exception carries the run up to there.
            partial = getattr(stopped, "result", None)
            if isinstance(partial, _torvex._Result):
                stopped.result = Result(partial, self)
            raise
        return Result(core, self)


class Result:
    """What a run leaves: NumPy arrays that view the result's own memory
    (read-only, no copies), the run report and its checks.

    Arrays (r components, n grid points, one row per save):
      x_cm      (n,)             positions of the grid points, cm
      times_s   (saves,)         times of the saves, s
      at_pct    (saves, r, n)    atomic percentages at each save
      wt_pct    (saves, r, n)    weight percentages at each save
      kirkendall (2, passes)     t (s) and the Kirkendall plane's position x (cm)
                                 after every accepted pass: ``t, x = result.kirkendall``
      boundary  dict of arrays   for a case with boundary fluxes: time_s, the molar
                                 fractions at both ends and the fluxes through them
                                 (passes, r), and with selective oxidation the scale
                                 thickness and kp
    """

    __slots__ = ("_core", "case", "_report")

    def __init__(self, core: Any, case: Case):
        self._core = core
        self.case = case
        self._report: Optional[dict] = None

    x_cm = property(lambda self: self._core.x_cm, doc="Positions of the grid points, cm (n,).")
    times_s = property(lambda self: self._core.times_s, doc="Times of the saves, s (saves,).")
    at_pct = property(lambda self: self._core.at_pct, doc="Atomic percentages, (saves, components, points).")
    wt_pct = property(lambda self: self._core.wt_pct, doc="Weight percentages, (saves, components, points).")
    kirkendall = property(lambda self: self._core.kirkendall,
                          doc="Time (s) and position (cm) of the Kirkendall plane after every accepted pass, (2, passes).")
    boundary = property(lambda self: self._core.boundary,
                        doc="Per accepted pass: end fractions, fluxes, and the oxide scale (empty for a closed sample).")

    @property
    def results_dir(self) -> Optional[str]:
        """The folder the run wrote its files into, or None."""
        return self._core.results_dir

    @property
    def report(self) -> dict:
        """The run report, as run.json holds it: provenance, input files and
        their digests, outcome and checks."""
        if self._report is None:
            self._report = json.loads(self._core.report_text) if self._core.report_text else {}
        return self._report

    @property
    def outcome(self) -> str:
        """How the run ended: "completed", "stopped", "non_finite",
        "step_vanished", "no_pass" or "failed"."""
        return self.report.get("outcome", {}).get("end", "failed")

    @property
    def checks(self) -> list[dict]:
        """The verification checks of the run (id, title, value, threshold,
        status, meaning), as run.json lists them."""
        return self.report.get("checks", [])

    def to_pandas(self):
        """The history as a tidy pandas DataFrame, as history.csv holds it:
        one row per save, grid point and component, with columns time_s,
        x_cm, component (1-based), at_pct, wt_pct. Needs pandas."""
        from ._frames import history_frame

        return history_frame(self)

    def __repr__(self) -> str:
        return (f"<torvex.Result {self.outcome}: {len(self.times_s)} saves of {self._core.components} components "
                f"on {self._core.grid_points} points>")


from ._studies import fit, sweep  # noqa: E402  (they use the names above)
