#!/usr/bin/env bash
# Takes docs/certificate-fail.png: the certificate of a FAIL, a vorn-emulator reader whose echo
# flips a bit, checked by vornctl without an operator (so the display and card steps are named
# as not performed), drawn by pdftoppm without a display.
#
# Usage: scripts/certificate-picture.sh [OUTPUT.png]    (default docs/certificate-fail.png)
# The programs are taken from $BUILD_DIR (default build/).
set -euo pipefail
cd "$(dirname "$0")/.."
output=${1:-docs/certificate-fail.png}
build_dir=${BUILD_DIR:-build}
scratch=$(mktemp -d)
emulator=""
cleanup() {
  [[ -n $emulator ]] && kill "$emulator" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT
export XDG_DATA_HOME=$scratch/data
"$build_dir/emulator/vorn-emulator" --serial 1235 --defect echo-bit-1 --link "$scratch/socket" >/dev/null &
emulator=$!
for _ in $(seq 100); do [[ -e $scratch/socket ]] && break; sleep 0.05; done
records=(--records "sqlite:$scratch/records.sqlite")
"$build_dir/cli/vornctl" "${records[@]}" --port "$scratch/socket" checkout --no-prompt \
  --station line-1 --operator anna --lot WO-4711 >/dev/null || true
id=$("$build_dir/cli/vornctl" "${records[@]}" records list --json |
  /usr/bin/python3 -c 'import json, sys; print(json.load(sys.stdin)["records"][0]["id"])')
env -u DISPLAY -u WAYLAND_DISPLAY "$build_dir/cli/vornctl" "${records[@]}" records certificate \
  "$id" -o "$scratch/certificate.pdf" >/dev/null
pdftoppm -png -r 72 -f 1 -l 1 -singlefile "$scratch/certificate.pdf" "${output%.png}"
echo "wrote $output"
