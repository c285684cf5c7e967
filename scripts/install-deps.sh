#!/usr/bin/env bash
# Installs what building, testing and running Pulsewell need on Debian 12.
# Idempotent and quiet when everything is already there.
set -euo pipefail

packages=(
  # toolchain
  build-essential cmake ninja-build pkg-config g++ clang clang-format clang-tidy
  libclang-rt-14-dev llvm
  # test and benchmark libraries
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  # net-snmp's library: the benchmarks' reference, never linked into the product
  libsnmp-dev
  # desktop shell
  qt6-base-dev qt6-base-dev-tools libqt6svg6 libsecret-1-dev libglib2.0-dev nlohmann-json3-dev
  qt6-translations-l10n
  # real peers and services for the tests
  snmpd snmp gnome-keyring libsecret-tools dbus dbus-bin
  # recordings of real devices' agents served by snmpsim, on a clock held by libfaketime
  snmpsim faketime
  xvfb xauth xdotool trayer x11-utils imagemagick fonts-dejavu-core
  # locale sources, so tests can compile a German locale of their own
  locales
  # packaging, and the tools that check what it ships: manual page, AppStream metadata,
  # lintian, and the shells whose completions it installs
  dpkg-dev file man-db mandoc appstream lintian bash-completion zsh fish
)


# shellcheck source=scripts/lib/apt-install.sh
source "$(dirname "$0")/lib/apt-install.sh"
install_packages "${packages[@]}"
