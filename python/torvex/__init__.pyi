"""Torvex from Python: run interdiffusion cases and get NumPy arrays back."""

import os
from typing import Any, Callable, Mapping, Optional, Sequence, Union

import numpy as np
import numpy.typing as npt

PathLike = Union[str, os.PathLike[str]]
Value = Union[int, float, str, Sequence[Any]]

__version__: str
INTEGRATORS: tuple[str, ...]

class CaseError(ValueError):
    """Input the program refuses, with the message torvex-batch prints
    (naming the file, the line or key, and the offending text)."""

def write_samples(folder: PathLike) -> None:
    """Writes the sample cases and their side files into ``folder``."""

class Case:
    """A loaded case, with any key overrides and parameters applied; a value
    that can be run many times, in many threads at once."""

    @classmethod
    def load(
        cls,
        path: PathLike,
        set: Optional[Mapping[str, Value]] = ...,
        params: Optional[Mapping[str, Value]] = ...,
    ) -> Case:
        """Loads a data file, as torvex-batch with --set KEY=VALUE and
        --param NAME=VALUE; raises CaseError."""
    def with_set(
        self,
        set: Optional[Mapping[str, Value]] = ...,
        params: Optional[Mapping[str, Value]] = ...,
        **keys: Value,
    ) -> Case:
        """A changed copy: further overrides and parameters."""
    @property
    def path(self) -> str: ...
    @property
    def overrides(self) -> dict[str, Value]: ...
    @property
    def params(self) -> dict[str, Value]: ...
    @property
    def components(self) -> int:
        """The number of components r."""
    @property
    def grid_points(self) -> int:
        """The number of grid points n."""
    @property
    def start_time(self) -> float: ...
    @property
    def end_time(self) -> float: ...
    @property
    def temperature(self) -> float: ...
    @property
    def molar_masses(self) -> list[float]: ...
    @property
    def input_files(self) -> list[dict[str, str]]: ...
    def keys(self) -> list[str]:
        """D0 … D23."""
    def __contains__(self, key: object) -> bool: ...
    def __getitem__(self, key: str) -> Any:
        """The value line of a key: a number, a tuple of numbers, or text;
        for D23 the list of profile rows."""
    def describe(self, key: str) -> str: ...
    def run(
        self,
        schedule: Optional[PathLike] = ...,
        output_times: Union[None, str, Sequence[float]] = ...,
        integrator: str = ...,
        results_dir: Optional[PathLike] = ...,
        progress: Optional[Callable[[float, float], Any]] = ...,
    ) -> Result:
        """Runs the case in this thread with the GIL released; integrator is
        "rk" (explicit Cash-Karp) or "bdf" (implicit), as --integrator."""

class Result:
    """The arrays, report and checks of a run."""

    case: Case
    @property
    def x_cm(self) -> npt.NDArray[np.float64]:
        """(n,) positions of the grid points, cm."""
    @property
    def times_s(self) -> npt.NDArray[np.float64]:
        """(saves,) times of the saves, s."""
    @property
    def at_pct(self) -> npt.NDArray[np.float64]:
        """(saves, components, points) atomic percentages."""
    @property
    def wt_pct(self) -> npt.NDArray[np.float64]:
        """(saves, components, points) weight percentages."""
    @property
    def kirkendall(self) -> npt.NDArray[np.float64]:
        """(2, passes): time (s) and position (cm) of the Kirkendall plane."""
    @property
    def boundary(self) -> dict[str, npt.NDArray[np.float64]]:
        """Per accepted pass: time_s, left/right_fraction and left/right_flux
        (passes, components), scale_thickness_cm and kp_cm2_s (oxidation)."""
    @property
    def results_dir(self) -> Optional[str]: ...
    @property
    def report(self) -> dict[str, Any]:
        """The run report (run.json) as a dict."""
    @property
    def outcome(self) -> str:
        """"completed", "stopped", "non_finite", "step_vanished", "no_pass" or "failed"."""
    @property
    def checks(self) -> list[dict[str, Any]]:
        """The verification checks, as run.json lists them."""
    def to_pandas(self) -> Any:
        """The history as a tidy pandas DataFrame (time_s, x_cm, component,
        at_pct, wt_pct)."""

def sweep(path: PathLike, jobs: Optional[int] = ..., time_limit: Optional[float] = ...) -> list[dict[str, Any]]:
    """Runs a parameter study (torvex-batch sweep); its summary, one dict per case."""

def fit(path: PathLike, jobs: Optional[int] = ..., output: Optional[PathLike] = ...) -> dict[str, Any]:
    """Runs a fit (torvex-batch fit); its report with values, standard_errors
    and correlation."""
