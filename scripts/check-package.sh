#!/usr/bin/env bash
# Checks the installable program: the desktop entry and the AppStream
# metainfo validate, the Debian package built by CPack holds both programs,
# and (with --install, as root or through sudo) it installs with apt and
# torvex-batch then runs from PATH. Uses the build in BUILD_DIR (default
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
echo "$package holds the programs, the desktop entry, the icon and the metainfo"

if [ "${1:-}" = "--install" ]; then
  echo "== Installing $package with apt =="
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$package" >/dev/null
  scratch=$(mktemp -d)
  (cd "$scratch" && torvex-batch --write-samples . && torvex-batch --check oxidation.dat >/dev/null)
  rm -rf "$scratch"
  as_root env DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq torvex >/dev/null
  echo "installed, torvex-batch ran from PATH, removed"
fi
