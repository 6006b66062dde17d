#!/usr/bin/env bash
# Installs what Torvex needs to build and test on Debian 12, once: packages
# already present are not installed again. Runs apt-get through sudo when
# not run as root. Also makes the comma-decimal locale the tests use.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-charts-dev qt6-svg-dev libmuparser-dev
  libqt6opengl6-dev  # CMake finds Qt Charts only with the Qt OpenGL development files
  nlohmann-json3-dev libtomlplusplus-dev libceres-dev libssl-dev
  libsundials-dev  # CVODE, the implicit integrator
  libgtest-dev libbenchmark-dev
  locales xvfb xauth fonts-dejavu-core
  eatmydata  # the tests' runs need not wait for the disk at every save
  desktop-file-utils appstream
  python3-pandas  # the README's commands are run by the tests, among them reading a run's history with pandas
  # The Python module: built with pybind11 against Debian's interpreter, its
  # results handed over as NumPy arrays, its tests run by pytest.
  python3-dev python3-pybind11 python3-numpy python3-pytest
  python3-matplotlib python3-scipy  # the Python examples
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# A locale with a decimal comma: the suite runs once more under it to prove
# that no number in any file depends on the user's locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  echo "Generating the de_DE.UTF-8 locale"
  as_root sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
  as_root locale-gen >/dev/null
fi
