#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and nothing when all are there.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config file
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev libgl-dev
  xvfb xauth xdotool imagemagick
  clang libclang-rt-14-dev
  libbenchmark-dev libx11-dev
  libqt6svg6 desktop-file-utils appstream dpkg-dev groff-base
  fonts-liberation
  libqt6sql6-sqlite libqt6sql6-psql postgresql poppler-utils
  libqpid-proton-cpp12-dev rabbitmq-server
  # Debian 12's qt6-httpserver-dev lacks its dependency on qt6-websockets-dev, which its CMake
  # files need.
  qt6-httpserver-dev qt6-websockets-dev libjs-chart.js
  chromium chromium-driver python3-selenium
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
as_root=()
if [[ $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null || { echo "Please install as root: ${missing[*]}" >&2; exit 1; }
  as_root=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
