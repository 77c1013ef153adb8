#!/usr/bin/env bash
# Installs the Debian 12 packages the build needs, only those that are missing; quiet when all
# are there.
set -euo pipefail
# gtkwave and sigrok-cli (PulseView's reader) read the trace's VCD exports back in tests/e2e;
# pybind11 builds the Python module; clang-format-14 checks the house format.
packages=(build-essential cmake make qt6-base-dev libgtest-dev libgmock-dev libbenchmark-dev
          libcli11-dev clang-14 libclang-rt-14-dev xvfb xauth dpkg-dev file ccache
          gtkwave sigrok-cli pybind11-dev python3-dev python3-pytest clang-format-14
          # Looking at the window on a virtual display: a window manager, screenshots, input.
          openbox imagemagick xdotool)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q >/dev/null
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
