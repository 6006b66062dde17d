#!/usr/bin/env bash
# The main job: installs the dependencies, builds Torvex, writes the sample
# cases into a scratch folder and runs the diffusion-couple case there to its
# end, printing the summary and where the results are; then draws the run's
# charts with torvex-plot and prints where they are.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/install-deps.sh
cmake -S . -B build
cmake --build build -j "$(nproc)"

scratch="$root/scratch"
mkdir -p "$scratch"
cd "$scratch"
"$root/build/bin/torvex-batch" --write-samples .
"$root/build/bin/torvex-batch" interdiffusion.dat
echo
echo "Charts of the run (PNG, SVG and the CSV behind each):"
"$root/build/bin/torvex-plot" results --out "$scratch/plots"
echo "Open them with any image viewer, e.g. xdg-open $scratch/plots/profiles.png"
