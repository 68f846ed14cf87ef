#!/usr/bin/env bash
# Starts the real vorn-station on a virtual X server with two vorn-emulator terminals, one
# healthy and one whose echo flips a bit, clicks "Check all", answers the display questions
# with the Y key, and expects a PASS and a FAIL: as the two tiles' colours on the screen and as
# the two records vornctl lists. Then starts vorn-station --auto, in German, on a port whose reader
# is started only afterwards, and expects that reader checked once, without a click. SIGTERM
# ends the first station with 143 and SIGHUP the second with 129: a line's supervisor reads them.
set -euo pipefail
station=${1:?path to vorn-station}
emulator=${2:?path to vorn-emulator}
vornctl=${3:?path to vornctl}

if [[ -z "${SMOKE_INNER:-}" ]]; then
  export SMOKE_INNER=1
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi

unset QT_QPA_PLATFORM
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
export XDG_CONFIG_HOME=$work/config HOME=$work/home XDG_DATA_HOME=$work/data
mkdir -p "$HOME"
records=sqlite:$work/records.sqlite

# start_reader LINK ARGS...: a vorn-emulator reader behind the link.
start_reader() {
  local link=$1
  shift
  "$emulator" --link "$link" "$@" >/dev/null &
  pids+=($!)
  for _ in $(seq 100); do [[ -e "$link" ]] && break; sleep 0.05; done
  [[ -e "$link" ]] || { echo "vorn-emulator did not start ($link)"; exit 1; }
}

# find_window NAME: the station's window, once it is shown. The dash of the title is matched by
# ".*": in the C locale xdotool's pattern compares bytes, and the dash is three of them.
find_window() {
  timeout 20 xdotool search --sync --onlyvisible --name "^Vorn Station.* [Ss]tation $1\$" | head -n 1
}

# listed STATION: the checkouts of that station as vornctl lists them, one per line.
listed() {
  "$vornctl" --records "$records" records list --station "$1" --csv | tail -n +2
}

# answer_until STATION COUNT: presses Y for the questions until COUNT checkouts are kept.
answer_until() {
  for _ in $(seq 60); do
    (($(listed "$1" | wc -l) >= $2)) && return 0
    xdotool key y
    sleep 0.25
  done
  echo "after 15 s, $(listed "$1" | wc -l) of $2 checkouts of station $1 were kept"
  return 1
}

# pixels COLOUR: how many pixels of the window show that colour.
pixels() {
  import -window "$window" "$work/window.png"
  convert "$work/window.png" -fill black +opaque "$1" -fill white -opaque "$1" -format '%[fx:int(mean*w*h)]' info:
}

# ends_with SIGNAL STATUS: sends the station the signal and expects it to end with that status.
ends_with() {
  kill -"$1" "$station_pid"
  local status=0
  wait "$station_pid" || status=$?
  echo "SIG$1: exit status $status"
  [[ $status == "$2" ]] || { echo "SIG$1 ended the station with $status, not $2"; exit 1; }
}

echo "== Check all: a healthy reader and one with a defect"
start_reader "$work/good" --serial 1111
start_reader "$work/bad" --serial 2222 --defect echo-bit-1
"$station" --port "$work/good" --port "$work/bad" --station smoke --records "$records" &
station_pid=$!
pids+=("$station_pid")
window=$(find_window smoke)
[[ -n "$window" ]] || { echo "no window titled 'Vorn Station – station smoke'"; exit 1; }
xdotool windowfocus --sync "$window" || true
# The icon the task bar shows is set once the window is up.
icon_set=0
for _ in $(seq 50); do
  xprop -id "$window" _NET_WM_ICON | grep -q 'Icon (16 x 16)' && { icon_set=1; break; }
  sleep 0.1
done
((icon_set)) || { echo "the window has no icon for the task bar"; exit 1; }
# "Check all" is the first button at the window's top left.
xdotool mousemove --window "$window" 40 24 click 1
answer_until smoke 2
sleep 0.5 # the tiles' last paint
list=$(listed smoke)
echo "$list"
grep -q '001111.*pass' <<<"$list" || { echo "the healthy reader did not pass"; exit 1; }
grep -q '002222.*fail.*echo' <<<"$list" || { echo "the defective reader did not fail its echo"; exit 1; }
green=$(pixels '#1e7d32')
red=$(pixels '#c62828')
echo "PASS green: $green pixels, FAIL red: $red pixels"
((green > 1000 && red > 1000)) || { echo "the window does not show a PASS and a FAIL tile"; exit 1; }
ends_with TERM 143

echo "== --auto, in German: a reader started after the window is checked once"
"$station" --auto --language de --port "$work/late" --station auto --records "$records" &
station_pid=$!
pids+=("$station_pid")
window=$(find_window auto)
[[ -n "$window" ]] || { echo "no window titled 'Vorn Station – Station auto'"; exit 1; }
xdotool windowfocus --sync "$window" || true
sleep 2.5 # at least one watch with no reader there
[[ -z "$(listed auto)" ]] || { echo "a checkout ran with no reader"; exit 1; }
start_reader "$work/late" --serial 3333
answer_until auto 1
sleep 4.5 # two more watches: the reader is still there and must not be checked again
list=$(listed auto)
echo "$list"
[[ $(wc -l <<<"$list") == 1 ]] || { echo "the reader was not checked exactly once"; exit 1; }
grep -q '003333.*pass' <<<"$list" || { echo "the late reader did not pass"; exit 1; }
ends_with HUP 129
echo "station smoke test passed"
