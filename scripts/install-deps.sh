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
  # desktop shell
  qt6-base-dev qt6-base-dev-tools libqt6svg6 libsecret-1-dev libglib2.0-dev nlohmann-json3-dev
  # real peers and services for the tests
  snmpd snmp gnome-keyring libsecret-tools dbus dbus-bin
  xvfb xauth xdotool trayer x11-utils imagemagick fonts-dejavu-core
  # locale sources, so tests can compile a German locale of their own
  locales
  # packaging
  dpkg-dev file
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

# Keep package scripts from starting snmpd's system service: the tests start their own.
policy=/usr/sbin/policy-rc.d
added_policy=false
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\nexit 101\n' | "${sudo_cmd[@]}" tee "$policy" >/dev/null
  "${sudo_cmd[@]}" chmod +x "$policy"
  added_policy=true
fi
trap '$added_policy && "${sudo_cmd[@]}" rm -f "$policy"' EXIT

export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
