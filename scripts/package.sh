#!/usr/bin/env bash
# Builds the Debian package with CPack and checks what it holds.
# Usage: scripts/package.sh [--install-check]
#   --install-check  also installs it with apt-get, runs the installed program and removes
#                    the package again (needs root; CI does this).
set -euo pipefail
cd "$(dirname "$0")/.."

install_check=false
[ "${1:-}" = "--install-check" ] && install_check=true

# Only what the package holds is built, not the tests and benchmarks of the preset.
cmake --preset release -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
cmake --build --preset release -j "$(nproc)" --target pulsewell >/dev/null
(cd build/release && cpack -G DEB >/dev/null)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/release/CMakeCache.txt)
deb=build/release/pulsewell_${version}_$(dpkg --print-architecture).deb

expected=(
  ./usr/bin/pulsewell
  ./usr/share/applications/org.pulsewell.Pulsewell.desktop
  ./usr/share/icons/hicolor/scalable/apps/org.pulsewell.Pulsewell.svg
  ./usr/share/pulsewell/autostart/org.pulsewell.Pulsewell.desktop
)
contents=$(dpkg-deb -c "$deb" | awk '{ print $6 }')
for file in "${expected[@]}"; do
  grep -qxF "$file" <<<"$contents" || { echo "package: $deb lacks $file" >&2; exit 1; }
done
dpkg-deb -f "$deb" Depends | grep -q libqt6widgets6 ||
  { echo "package: $deb does not depend on Qt's widgets" >&2; exit 1; }
dpkg-deb -f "$deb" Recommends | grep -q qt6-translations-l10n ||
  { echo "package: $deb does not recommend Qt's translations" >&2; exit 1; }

if $install_check; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y -qq "./$deb" >/dev/null
  installed=$(/usr/bin/pulsewell --version)
  apt-get remove -y -qq pulsewell >/dev/null
  [ "$installed" = "pulsewell $version" ] ||
    { echo "package: installed program says '$installed'" >&2; exit 1; }
fi
summary="package: $deb holds the program, its desktop entry and icon"
$install_check && summary+=", installs, and runs as $installed"
echo "$summary"
