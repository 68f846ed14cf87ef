#!/usr/bin/env bash
# Starts the real vorn-tool on a virtual X server, finds its window by title, checks its size,
# clicks Exit, and expects the process to end with exit code 0.
set -euo pipefail
tool=${1:?path to vorn-tool}

if [[ -z "${SMOKE_INNER:-}" ]]; then
  export SMOKE_INNER=1
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

unset QT_QPA_PLATFORM
settings=$(mktemp -d)
trap 'rm -rf "$settings"' EXIT
XDG_CONFIG_HOME=$settings "$tool" &
pid=$!

window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Vorn Tool V1\.0      ' | head -n 1)
[[ -n "$window" ]] || { echo "no window titled 'Vorn Tool V1.0      ...'"; exit 1; }
title=$(xdotool getwindowname "$window")
echo "window $window: $title"

eval "$(xdotool getwindowgeometry --shell "$window")"
echo "size ${WIDTH}x${HEIGHT}"
[[ "$WIDTH" == 450 && "$HEIGHT" == 343 ]] || { echo "expected 450x343"; kill "$pid"; exit 1; }

# The Exit button spans x 390..440, y 10..32 of the window.
xdotool mousemove --window "$window" 415 21 click 1
status=0
timeout 10 tail --pid="$pid" -f /dev/null || { echo "vorn-tool did not exit"; kill "$pid"; exit 1; }
wait "$pid" || status=$?
echo "exit code $status"
[[ "$status" == 0 ]]
[[ -s "$settings/Ombrin/Vorn Test App.conf" ]] || { echo "geometry was not saved"; exit 1; }
echo "smoke test passed"
