#!/usr/bin/env bash
# The main job: installs the dependencies, builds Torvex, writes the sample
# cases into a scratch folder and checks the diffusion-couple case there.
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
"$root/build/bin/torvex-batch" --check interdiffusion.dat
echo "The sample files are in $scratch"
