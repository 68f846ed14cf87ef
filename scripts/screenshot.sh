#!/usr/bin/env bash
# Takes docs/screenshot.png: the real vorn-tool window on a virtual X server with the emulated
# eight-slot reader open and identified. Run it again after the window changes.
#
# Needs (Debian): xvfb and xauth (xvfb-run), xdotool (the clicks), imagemagick (import, the
# screenshot). Missing ones are installed, as root or with sudo.
#
# Usage: scripts/screenshot.sh [OUTPUT.png]    (default docs/screenshot.png)
# The program is taken from $BUILD_DIR (default build/) and built there when it is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
output=${1:-docs/screenshot.png}
build_dir=${BUILD_DIR:-build}
tool=$build_dir/app/vorn-tool

if [[ -z "${SCREENSHOT_INNER:-}" ]]; then
  needed=(xvfb xauth xdotool imagemagick)
  missing=()
  for package in "${needed[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$package")
  done
  if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    as_root=()
    [[ $(id -u) -eq 0 ]] || as_root=(sudo)
    export DEBIAN_FRONTEND=noninteractive
    "${as_root[@]}" apt-get update -qq
    "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
  [[ -x "$tool" ]] || BUILD_DIR=$build_dir scripts/build.sh vorn-tool
  export SCREENSHOT_INNER=1
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

# Inside the virtual X server. A fresh settings folder, so a saved geometry plays no part.
unset QT_QPA_PLATFORM
settings=$(mktemp -d)
trap 'rm -rf "$settings"' EXIT
XDG_CONFIG_HOME=$settings "$tool" &
pid=$!

window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Vorn Tool V1\.0' | head -n 1)
[[ -n "$window" ]] || { echo "vorn-tool showed no window" >&2; kill "$pid"; exit 1; }

# click X Y: a left click at X,Y of the window, then time for the window to answer.
click() {
  xdotool mousemove --window "$window" "$1" "$2" click 1
  sleep 0.5
}

# The centres of the controls: Scan Ports (10,10 101x23), the port list (120,10 81x20),
# Open (210,10 81x23), Get Info (10,40 101x23), Exit (390,10 51x23).
click 60 21
# The list ends with emu-vorn8 and emu-vorn4: open it by its arrow (the box itself takes a
# typed name), take the second to last, close it.
click 192 20
xdotool key End Up Return
sleep 0.5
click 250 21
click 60 51
sleep 1

mkdir -p "$(dirname "$output")"
import -window "$window" -strip "$output"
echo "wrote $output ($(identify -format '%wx%h' "$output"))"

click 415 21
timeout 10 tail --pid="$pid" -f /dev/null || kill "$pid"
