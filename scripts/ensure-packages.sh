#!/usr/bin/env bash
# Installs the Debian packages the programs need to build and run, and nothing when all are
# there. With --tests, also what the tests, benchmarks and fuzzer need: the virtual X server, the
# sanitizers' runtime, the database server, the message broker, the serial server and the browser.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config file
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev libgl-dev
  # The windows' and documents' faces: DejaVu is what Debian's desktops draw with, and a minimal
  # system without it falls back to a wider face that no longer fits the station's smallest size.
  libqt6svg6 fonts-liberation fonts-dejavu-core
  libqt6sql6-sqlite libqt6sql6-psql
  libqpid-proton-cpp12-dev
  # Debian 12's qt6-httpserver-dev lacks its dependency on qt6-websockets-dev, which its CMake
  # files need.
  qt6-httpserver-dev qt6-websockets-dev libjs-chart.js
  # Plan files, and network serial ports: the pkg-config files of libgensio-dev name -lwrap
  # without depending on libwrap0-dev.
  libyaml-cpp-dev libgensio-dev libwrap0-dev
  # The station's translations: lupdate and lrelease, and CMake's Qt6::LinguistTools.
  qt6-l10n-tools qt6-tools-dev
  # The records' chain hashes (OpenSSL's SHA-256).
  libssl-dev
  # The records server, asked through libpq itself.
  libpq-dev
  # An SQLite file's rows read on Qt SQL's own connection by the records' nightly walk.
  libsqlite3-dev
)
if [[ "${1:-}" == "--tests" ]]; then
  packages+=(
    xvfb xauth xdotool x11-utils imagemagick
    clang libclang-rt-14-dev
    libbenchmark-dev libx11-dev
    desktop-file-utils appstream dpkg-dev groff-base
    postgresql pgbouncer poppler-utils
    rabbitmq-server
    chromium chromium-driver python3-selenium
    ser2net python3-serial
    # Called by the tests' scripts and not part of a minimal Debian: pgrep (the broker's epmd).
    procps python3
    # The private certificate authority of the TLS tests, and the browser's trust of it.
    openssl libnss3-tools
  )
fi

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
