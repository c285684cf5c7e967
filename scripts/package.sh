#!/usr/bin/env bash
# Builds the Debian package with CPack, checks what it holds and runs lintian on it.
# Usage: scripts/package.sh [--install-check]
#   --install-check  also installs it with apt-get, runs the installed program, reads its
#                    manual page and removes the package again (needs root; CI does this).
set -euo pipefail
cd "$(dirname "$0")/.."

install_check=false
[ "${1:-}" = "--install-check" ] && install_check=true

# Only what the package holds is built, not the tests and benchmarks of the preset.
cmake --preset release -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
cmake --build --preset release -j "$(nproc)" --target pulsewell pulsewell_package_files >/dev/null
(cd build/release && cpack -G DEB >/dev/null)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/release/CMakeCache.txt)
deb_version=$(dpkg-parsechangelog -l packaging/debian/changelog -S Version)
deb=build/release/pulsewell_${deb_version}_$(dpkg --print-architecture).deb

expected=(
  ./usr/bin/pulsewell
  ./usr/libexec/pulsewell/pulsewell
  ./usr/libexec/pulsewell/pulsewell-keyring.so
  ./usr/share/applications/org.pulsewell.Pulsewell.desktop
  ./usr/share/icons/hicolor/scalable/apps/org.pulsewell.Pulsewell.svg
  ./usr/share/pulsewell/autostart/org.pulsewell.Pulsewell.desktop
  ./usr/share/man/man1/pulsewell.1.gz
  ./usr/share/metainfo/org.pulsewell.Pulsewell.metainfo.xml
  ./usr/share/bash-completion/completions/pulsewell
  ./usr/share/zsh/vendor-completions/_pulsewell
  ./usr/share/fish/vendor_completions.d/pulsewell.fish
  ./usr/share/doc/pulsewell/copyright
  ./usr/share/doc/pulsewell/changelog.Debian.gz
)
contents=$(dpkg-deb -c "$deb" | awk '{ print $6 }')
for file in "${expected[@]}"; do
  grep -qxF "$file" <<<"$contents" || { echo "package: $deb lacks $file" >&2; exit 1; }
done
dpkg-deb -f "$deb" Depends | grep -q libqt6widgets6 ||
  { echo "package: $deb does not depend on Qt's widgets" >&2; exit 1; }
dpkg-deb -f "$deb" Recommends | grep -q qt6-translations-l10n ||
  { echo "package: $deb does not recommend Qt's translations" >&2; exit 1; }

# Debian's own checks, warnings included: manual page, copyright, changelog, computed
# dependencies, hardening.
lintian --fail-on error,warning --tag-display-limit 0 "$deb" >&2 ||
  { echo "package: lintian finds fault with $deb" >&2; exit 1; }

if $install_check; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y -qq "./$deb" >/dev/null
  installed=$(/usr/bin/pulsewell --version)
  manual=$(MANWIDTH=80 man -P cat pulsewell 2>/dev/null | head -n 5 || true)
  # Without a display the command starts the desktop program, which says it needs one.
  desktop=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM LANGUAGE= LC_ALL=C.UTF-8 \
    /usr/bin/pulsewell 2>&1 || true)
  apt-get remove -y -qq pulsewell >/dev/null
  [ "$installed" = "pulsewell $version" ] ||
    { echo "package: installed program says '$installed'" >&2; exit 1; }
  grep -qE "pulsewell +- +live +traffic" <<<"$manual" ||
    { echo "package: 'man pulsewell' shows no manual page: $manual" >&2; exit 1; }
  grep -q "no desktop to show the panel entry on" <<<"$desktop" ||
    { echo "package: the installed desktop program did not start: '$desktop'" >&2; exit 1; }
fi
summary="package: $deb holds the program, its desktop program and keyring module, its desktop"
summary+=" entry, icon, manual page, completions and AppStream metadata, and passes lintian"
$install_check && summary+="; installs, shows its manual page, and runs as $installed"
echo "$summary"
