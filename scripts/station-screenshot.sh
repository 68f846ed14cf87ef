#!/usr/bin/env bash
# Takes docs/station.png: the real vorn-station on a virtual X server with two vorn-emulator
# readers, one healthy and one whose echo flips a bit, after "Check all" and a Yes to each
# display question: a PASS tile and a FAIL tile, and the two records below them.
#
# Needs (Debian): xvfb and xauth (xvfb-run), xdotool (the clicks), imagemagick (import).
#
# With --asking it takes docs/station-asking.png instead: four readers, the second with the echo
# defect (FAIL while its display question is still open), the first answered, and the digit key 3
# pressed: three tiles asking, the third marked as the one that Y and N answer.
#
# Usage: scripts/station-screenshot.sh [--asking] [OUTPUT.png]    (default docs/station.png)
# The programs are taken from $BUILD_DIR (default build/).
set -euo pipefail
cd "$(dirname "$0")/.."
asking=0
if [[ ${1:-} == --asking ]]; then
  asking=1
  shift
fi
default_output=docs/station.png
((asking)) && default_output=docs/station-asking.png
output=${1:-$default_output}
build_dir=${BUILD_DIR:-build}

if [[ -z "${SCREENSHOT_INNER:-}" ]]; then
  export SCREENSHOT_INNER=1
  ((asking)) && set -- --asking "$output"
  exec xvfb-run -a -s "-screen 0 1366x768x24" "$0" "$@"
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
mkdir -p "$HOME" "$line"

"$build_dir/emulator/vorn-emulator" --serial 1234 --link "$line/socket-1" >/dev/null &
pids+=($!)
"$build_dir/emulator/vorn-emulator" --serial 1235 --defect echo-bit-1 --link "$line/socket-2" >/dev/null &
pids+=($!)
links=("$line/socket-1" "$line/socket-2")
if ((asking)); then
  for serial in 1236 1237; do
    "$build_dir/emulator/vorn-emulator" --serial "$serial" --link "$line/socket-$((serial - 1233))" >/dev/null &
    pids+=($!)
    links+=("$line/socket-$((serial - 1233))")
  done
fi
ports=()
for link in "${links[@]}"; do
  for _ in $(seq 100); do [[ -e "$link" ]] && break; sleep 0.05; done
  ports+=(--port "$link")
done

"$build_dir/station/vorn-station" "${ports[@]}" \
  --station line-1 --operator anna --lot WO-4711 --records "sqlite:$work/records.sqlite" &
pids+=($!)
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Vorn Station' | head -n 1)
((asking)) || xdotool windowsize --sync "$window" 1100 640 || true
sleep 0.5
xdotool windowfocus --sync "$window" || true
xdotool mousemove --window "$window" 40 24 click 1
if ((asking)); then
  sleep 4 # every tile asks whether every dot of the display lit
  xdotool key 1 y 3
  sleep 1
  import -window "$window" -strip "$output"
  echo "wrote $output ($(identify -format '%wx%h' "$output"))"
  exit 0
fi
for _ in 1 2 3 4 5 6 7 8 9 10 11 12; do
  sleep 0.5
  xdotool key y
done
sleep 1
mkdir -p "$(dirname "$output")"
import -window "$window" -strip "$output"
echo "wrote $output ($(identify -format '%wx%h' "$output"))"
