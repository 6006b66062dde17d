"""Results as pandas frames (pandas is imported only here)."""

import numpy as np


def history_frame(result):
    """The tidy frame of history.csv: a row per save, grid point and
    component, in that order."""
    import pandas as pd

    at = np.asarray(result.at_pct)
    wt = np.asarray(result.wt_pct)
    saves, r, n = at.shape
    return pd.DataFrame(
        {
            "time_s": np.repeat(np.asarray(result.times_s), n * r),
            "x_cm": np.tile(np.repeat(np.asarray(result.x_cm), r), saves),
            "component": np.tile(np.arange(1, r + 1), saves * n),
            "at_pct": at.transpose(0, 2, 1).reshape(-1),
            "wt_pct": wt.transpose(0, 2, 1).reshape(-1),
        }
    )
