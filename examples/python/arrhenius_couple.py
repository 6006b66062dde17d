"""The sample diffusion couple with Arrhenius self-diffusivities,
D_i = D0_i exp(-Q_i / (R T)), so that its temperature acts as in a real
anneal (the sample's own diffusivities are constants)."""

import os
import tempfile

import torvex

# D0 (cm^2/s) and Q (J/mol) of the three components.
ARRHENIUS = [(0.2, 200000.0), (0.13, 220000.0), (0.07, 250000.0)]


def arrhenius_couple(end_time_s, folder=None):
    """The couple, run from 0 to end_time_s, its files in folder (a new
    temporary folder when none is given)."""
    folder = folder or tempfile.mkdtemp(prefix="torvex-couple-")
    torvex.write_samples(folder)
    rows = []
    for i, (d0, q) in enumerate(ARRHENIUS):
        entries = ["0"] * len(ARRHENIUS)
        entries[i] = f"{d0}*exp(-{q}/(8.314*T))"
        rows.append(" ".join(entries))
    with open(os.path.join(folder, "arrhenius.dfv"), "w") as f:
        f.write("###Torvex_v2.3###\n# Diffusivities matrix, D0 exp(-Q/(R T)):\n" + "\n".join(rows) +
                "\n#End of initial diffusivity file\n")
    return torvex.Case.load(os.path.join(folder, "interdiffusion.dat"),
                            set={"D1": (0, end_time_s), "D9": "1 arrhenius.dfv"})
