#!/usr/bin/env bash
# Takes docs/station.png: the real vorn-station on a virtual X server with two vorn-emulator
# readers, one healthy and one whose echo flips a bit, after "Check all" and a Yes to each
# display question: a PASS tile and a FAIL tile, and the two records below them.
#
# Needs (Debian): xvfb and xauth (xvfb-run), xdotool (the clicks), imagemagick (import).
#
# Usage: scripts/station-screenshot.sh [OUTPUT.png]    (default docs/station.png)
# The programs are taken from $BUILD_DIR (default build/).
set -euo pipefail
cd "$(dirname "$0")/.."
output=${1:-docs/station.png}
build_dir=${BUILD_DIR:-build}

if [[ -z "${SCREENSHOT_INNER:-}" ]]; then
  export SCREENSHOT_INNER=1
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi

unset QT_QPA_PLATFORM
work=$(mktemp -d)
line=/tmp/line-1
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work" "$line"
}
trap cleanup EXIT
export XDG_CONFIG_HOME=$work/config HOME=$work/home XDG_DATA_HOME=$work/data
mkdir -p "$HOME" "$line" "$XDG_CONFIG_HOME/vorn-tool/plans"
# The example plans, installed as a line installs its own: the header's chooser lists them.
cp packaging/plans/*.yaml "$XDG_CONFIG_HOME/vorn-tool/plans/"

"$build_dir/emulator/vorn-emulator" --serial 1234 --link "$line/socket-1" >/dev/null &
pids+=($!)
"$build_dir/emulator/vorn-emulator" --serial 1235 --defect echo-bit-1 --link "$line/socket-2" >/dev/null &
pids+=($!)
for link in "$line/socket-1" "$line/socket-2"; do
  for _ in $(seq 100); do [[ -e "$link" ]] && break; sleep 0.05; done
done

"$build_dir/station/vorn-station" --port "$line/socket-1" --port "$line/socket-2" \
  --station line-1 --operator anna --lot WO-4711 --records "sqlite:$work/records.sqlite" &
pids+=($!)
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Vorn Station' | head -n 1)
xdotool windowsize --sync "$window" 900 640 || true
sleep 0.5
xdotool windowfocus --sync "$window" || true
xdotool mousemove --window "$window" 40 24 click 1
for _ in 1 2 3 4 5 6 7 8 9 10 11 12; do
  sleep 0.5
  xdotool key y
done
sleep 1
mkdir -p "$(dirname "$output")"
import -window "$window" -strip "$output"
echo "wrote $output ($(identify -format '%wx%h' "$output"))"
