import locale
import os
import shutil
import subprocess

import pytest

# The suite runs once more under a decimal-comma locale: adopting the
# environment's number format here puts the C library of the module's core
# under it too, as a notebook that calls setlocale would. (The messages stay
# those of torvex-batch, which leaves the system's messages in English.)
try:
    locale.setlocale(locale.LC_NUMERIC, "")
except locale.Error:
    pass


@pytest.fixture(scope="session")
def batch():
    """Runs torvex-batch (the one of this build) in a folder; returns the
    finished process."""
    program = os.environ.get("TORVEX_BATCH") or shutil.which("torvex-batch")
    program = program and os.path.abspath(program)
    if not program:
        pytest.skip("torvex-batch not found (set TORVEX_BATCH)")

    def run(folder, *arguments):
        return subprocess.run([program, *arguments], cwd=folder, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              text=True)

    return run


@pytest.fixture()
def samples(tmp_path):
    """A folder with the sample cases written into it."""
    import torvex

    folder = tmp_path / "samples"
    torvex.write_samples(str(folder))
    return folder
