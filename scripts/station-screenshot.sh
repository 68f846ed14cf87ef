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
# With --german it takes docs/station-de.png: the station in German at 1366x768 with four readers,
# one of which failed here before and is refused (REPAIR FIRST under --retest-limit 1), one FAIL
# and one PASS, and then "Check all" refused in the header for want of a lot. With --record it
# takes docs/station-record.png: the record dialog of the failed reader, opened on its verdict.
#
# Usage: scripts/station-screenshot.sh [--asking|--german|--record] [OUTPUT.png]
#        (default docs/station.png)
# The programs are taken from $BUILD_DIR (default build/).
set -euo pipefail
cd "$(dirname "$0")/.."
mode=plain
case ${1:-} in
--asking | --german | --record)
  mode=${1#--}
  shift
  ;;
esac
case $mode in
plain) default_output=docs/station.png ;;
asking) default_output=docs/station-asking.png ;;
german) default_output=docs/station-de.png ;;
record) default_output=docs/station-record.png ;;
esac
asking=0
[[ $mode == asking ]] && asking=1
output=${1:-$default_output}
build_dir=${BUILD_DIR:-build}

if [[ -z "${SCREENSHOT_INNER:-}" ]]; then
  export SCREENSHOT_INNER=1
  [[ $mode == plain ]] || set -- "--$mode" "$output"
  exec xvfb-run -a -s "-screen 0 1366x768x24" "$0" "$@"
fi

unset QT_QPA_PLATFORM
work=$(mktemp -d)
line=/tmp/line-1
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  # The station keeps its settings as it ends: its folder goes once it has.
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work" "$line"
}
trap cleanup EXIT
export XDG_CONFIG_HOME=$work/config HOME=$work/home XDG_DATA_HOME=$work/data
mkdir -p "$HOME" "$line" "$XDG_CONFIG_HOME/vorn-tool/plans"
# The example plans, installed as a line installs its own: the header's chooser lists them.
cp packaging/plans/*.yaml "$XDG_CONFIG_HOME/vorn-tool/plans/"

# answer_yes: Y to each display question while the checkouts run, then a moment to paint.
answer_yes() {
  for _ in 1 2 3 4 5 6 7 8 9 10 11 12; do
    sleep 0.5
    xdotool key y
  done
  sleep 1
}

# german_pictures LINE OUTPUT: the station in German; see --german and --record above.
german_pictures() {
  local line=$1 output=$2 records=sqlite:$work/records.sqlite
  "$build_dir/emulator/vorn-emulator" --serial 1236 --defect echo-bit-1 --link "$line/socket-3" >/dev/null &
  pids+=($!)
  "$build_dir/emulator/vorn-emulator" --serial 1237 --link "$line/socket-4" >/dev/null &
  pids+=($!)
  for link in "$line/socket-3" "$line/socket-4"; do
    for _ in $(seq 100); do [[ -e "$link" ]] && break; sleep 0.05; done
  done
  # SN 001236 failed once at another station: with --retest-limit 1 it is refused here.
  "$build_dir/cli/vornctl" --port "$line/socket-3" --records "$records" checkout --no-prompt \
    --station line-2 >/dev/null || true
  "$build_dir/station/vorn-station" --language de --require-lot --retest-limit 1 \
    --port "$line/socket-1" --port "$line/socket-2" --port "$line/socket-3" --port "$line/socket-4" \
    --station line-1 --operator anna --lot WO-4711 --records "$records" &
  pids+=($!)
  local window
  window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Vorn Station' | head -n 1)
  xdotool windowsize --sync "$window" 1366 740 || true
  xdotool windowmove --sync "$window" 0 0 || true
  sleep 0.5
  xdotool windowfocus --sync "$window" || true
  xdotool key space
  answer_yes
  mkdir -p "$(dirname "$output")"
  if [[ $mode == german ]]; then
    # The lot emptied (Alt+L, the field's key) and Enter: Check all is refused, and says why.
    xdotool key alt+l ctrl+a BackSpace Return space
    sleep 1
    import -window "$window" -strip "$output"
  else
    # The newest record first in the list: the last of the four to finish. Its row is found by
    # the serial number typed into the list's filter (Alt+S), then opened by a double-click.
    xdotool key alt+s
    xdotool type 1235
    xdotool key Return
    sleep 1
    xdotool mousemove --window "$window" "${RECORD_ROW_X:-200}" "${RECORD_ROW_Y:-408}" click --repeat 2 1
    local dialog
    dialog=$(timeout 10 xdotool search --sync --onlyvisible --name '^Prüfung' | head -n 1)
    sleep 0.5
    import -window "$dialog" -strip "$output"
  fi
  echo "wrote $output ($(identify -format '%wx%h' "$output"))"
}

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

if [[ $mode == german || $mode == record ]]; then
  german_pictures "$line" "$output"

  exit 0
fi

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
answer_yes
mkdir -p "$(dirname "$output")"
import -window "$window" -strip "$output"
echo "wrote $output ($(identify -format '%wx%h' "$output"))"
