#!/usr/bin/env bash
# Checks the installable program: the desktop entry and the AppStream
# metainfo validate, the Debian package built by CPack holds the programs and
# the Python module, and (with --install, as root or through sudo) it installs
# with apt, torvex-batch then runs from PATH and the system's python3 imports
# the module and runs a case with it. Uses the build in BUILD_DIR (default
# build); run scripts/run-tests.sh or a build first.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build}

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

echo "== Desktop entry and AppStream metainfo =="
desktop-file-validate packaging/org.example.Torvex.desktop
appstreamcli validate --no-net packaging/org.example.Torvex.metainfo.xml

echo "== Debian package =="
rm -f "$build_dir"/torvex_*.deb
(cd "$build_dir" && cpack -G DEB >/dev/null)
package=$(ls "$build_dir"/torvex_*.deb)
contents=$(dpkg-deb -c "$package")
for file in ./usr/bin/torvex ./usr/bin/torvex-batch ./usr/bin/torvex-plot ./usr/share/applications/org.example.Torvex.desktop \
  ./usr/share/metainfo/org.example.Torvex.metainfo.xml ./usr/share/icons/hicolor/scalable/apps/org.example.Torvex.svg; do
  if ! grep -q " $file\$" <<<"$contents"; then
    echo "the package $package does not hold $file" >&2
    exit 1
  fi
done
python_dir=./usr/lib/python3/dist-packages/torvex
for pattern in " $python_dir/__init__\.py\$" " $python_dir/__init__\.pyi\$" " $python_dir/_torvex\.cpython-[^ ]*\.so\$"; do
  if ! grep -q "$pattern" <<<"$contents"; then
    echo "the package $package holds no file matching $pattern (the Python module)" >&2
    exit 1
  fi
done
echo "$package holds the programs, the desktop entry, the icon, the metainfo and the Python module"

if [ "${1:-}" = "--install" ]; then
  echo "== Installing $package with apt =="
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$package" >/dev/null
  scratch=$(mktemp -d)
  (cd "$scratch" && torvex-batch --write-samples . && torvex-batch --check oxidation.dat >/dev/null)
  # The module as installed, not one of a build tree.
  (cd "$scratch" && env -u PYTHONPATH /usr/bin/python3 -c '
import torvex
assert torvex.__file__.startswith("/usr/lib/python3/dist-packages/"), torvex.__file__
torvex.write_samples("py")
result = torvex.Case.load("py/interdiffusion.dat", set={"D1": "0 10"}).run()
assert result.outcome == "completed" and result.times_s[-1] == 10, result.outcome
print("torvex", torvex.__version__, "imported from", torvex.__file__)
')
  rm -rf "$scratch"
  as_root env DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq torvex >/dev/null
  echo "installed, torvex-batch ran from PATH, python3 ran a case with the module, removed"
fi
