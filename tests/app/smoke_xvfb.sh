#!/usr/bin/env bash
# Starts the real vorn-tool on a virtual X server with a vorn-emulator terminal given by --port
# and a trace file, finds its window by title, checks its size, opens that terminal from the
# port list and identifies the reader with real clicks, clicks Exit, and expects exit code 0,
# the saved geometry and the identification's exchange in the trace.
set -euo pipefail
tool=${1:?path to vorn-tool}
emulator=${2:?path to vorn-emulator}

if [[ -z "${SMOKE_INNER:-}" ]]; then
  export SMOKE_INNER=1
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

unset QT_QPA_PLATFORM
work=$(mktemp -d)
emulator_pid=
cleanup() {
  [[ -n "$emulator_pid" ]] && kill "$emulator_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

"$emulator" --serial 2468 --link "$work/reader" >"$work/emulator.out" &
emulator_pid=$!
for _ in $(seq 100); do [[ -e "$work/reader" ]] && break; sleep 0.05; done
[[ -e "$work/reader" ]] || { echo "vorn-emulator did not start"; exit 1; }

# -style is one of Qt's own options, which the program must take alongside its own.
XDG_CONFIG_HOME=$work "$tool" -style fusion --port "$work/reader" --trace "$work/trace.log" &
pid=$!

window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Vorn Tool V1\.0      ' | head -n 1)
[[ -n "$window" ]] || { echo "no window titled 'Vorn Tool V1.0      ...'"; exit 1; }
echo "window $window: $(xdotool getwindowname "$window")"

eval "$(xdotool getwindowgeometry --shell "$window")"
echo "size ${WIDTH}x${HEIGHT}"
[[ "$WIDTH" == 450 && "$HEIGHT" == 343 ]] || { echo "expected 450x343"; kill "$pid"; exit 1; }

click() { xdotool mousemove --window "$window" "$1" "$2" click 1; sleep 0.3; }
click 60 21   # ScanPorts
click 192 20  # the port list, by its arrow (the box itself takes a typed name): the --port
              # name stands just before emu-vorn8 and emu-vorn4
xdotool key End Up Up Return
sleep 0.3
click 250 21  # OpenPort
click 60 51   # Get Info
click 415 21  # Exit

status=0
timeout 10 tail --pid="$pid" -f /dev/null || { echo "vorn-tool did not exit"; kill "$pid"; exit 1; }
wait "$pid" || status=$?
echo "exit code $status"
[[ "$status" == 0 ]]
[[ -s "$work/Ombrin/Vorn Test App.conf" ]] || { echo "geometry was not saved"; exit 1; }
# The serial number the emulator was started with came back through the real serial line.
grep -q '< 09 a4 .*\[info\]' "$work/trace.log" || {
  echo "the identification did not reach the reader:"; cat "$work/trace.log"; exit 1; }
echo "smoke test passed"
