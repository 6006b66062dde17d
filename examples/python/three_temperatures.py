#!/usr/bin/env python3
"""A diffusion couple (Arrhenius diffusivities) annealed at three temperatures, the three runs at once
in three threads, and their profiles in one figure.

    python3 examples/python/three_temperatures.py [FIGURE.png]

Each run releases the GIL, so the threads run on as many cores as there
are. Writes three-temperatures.png (or the file named).
"""

import sys
import time
from concurrent.futures import ThreadPoolExecutor

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt

from arrhenius_couple import arrhenius_couple

TEMPERATURES_K = (1173, 1273, 1373)
ANNEAL_S = 100000


def main():
    figure_path = sys.argv[1] if len(sys.argv) > 1 else "three-temperatures.png"
    couple = arrhenius_couple(ANNEAL_S)
    cases = [couple.with_set(D8=t) for t in TEMPERATURES_K]

    start = time.perf_counter()
    with ThreadPoolExecutor(max_workers=len(cases)) as pool:
        results = list(pool.map(lambda case: case.run(), cases))
    print(f"{len(cases)} runs in {time.perf_counter() - start:.2f} s")

    fig, axes = plt.subplots(1, couple.components, figsize=(12, 3.8), sharex=True)
    for t_k, result in zip(TEMPERATURES_K, results):
        assert result.outcome == "completed", result.outcome
        x_um = result.x_cm * 1e4
        for i, ax in enumerate(axes):
            ax.plot(x_um, result.at_pct[-1, i], label=f"{t_k} K")
    for i, ax in enumerate(axes):
        ax.plot(x_um, results[0].at_pct[0, i], color="0.6", linestyle=":", label="initial")
        ax.set_title(f"component {i + 1}")
        ax.set_xlabel("x (µm)")
        ax.set_xlim(-400, 400)
    axes[0].set_ylabel("at.%")
    axes[-1].legend()
    fig.suptitle(f"Diffusion couple after {ANNEAL_S:g} s")
    fig.tight_layout()
    fig.savefig(figure_path, dpi=110)
    print("wrote", figure_path)


if __name__ == "__main__":
    main()
