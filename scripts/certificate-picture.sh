#!/usr/bin/env bash
# Takes the pictures of the certificate in docs/: a FAIL of the shipped Vorn8-retail plan with
# every step run, the operator answering each question, of a vorn-emulator reader whose clock
# of slot 3 is stuck and whose echo flips a bit, checked again after a repair that did not mend
# it. Every page of the PDF becomes a picture (pdftoppm, without a display): page 1 as OUTPUT,
# page N as OUTPUT-N.png.
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
export HOME=$scratch/home XDG_CONFIG_HOME=$scratch/config XDG_DATA_HOME=$scratch/data
mkdir -p "$XDG_CONFIG_HOME/vorn-tool/plans"
cp packaging/plans/*.yaml "$XDG_CONFIG_HOME/vorn-tool/plans/"
vornctl=("$build_dir/cli/vornctl" --records "sqlite:$scratch/records.sqlite")

"$build_dir/emulator/vorn-emulator" --serial 1235 --defect clock-stuck-slot-3 --defect echo-bit-1 \
  --link "$scratch/socket" >/dev/null &
emulator=$!
for _ in $(seq 100); do [[ -e $scratch/socket ]] && break; sleep 0.05; done
checkout() {
  # The operator says yes to every question (the display lit, the cards inserted).
  yes | "${vornctl[@]}" --port "$scratch/socket" checkout --plan Vorn8-retail --station line-1 \
    --operator anna --lot WO-4711 >/dev/null 2>&1 || true
}
checkout
"${vornctl[@]}" records repair 1235 --symptom "clocks of slot 3 do not follow" \
  --cause "cracked crystal X3" --action "replaced X3" --part X3 --technician tom \
  --station rework-1 >/dev/null
checkout
id=$("${vornctl[@]}" records list --json |
  /usr/bin/python3 -c 'import json, sys; print(json.load(sys.stdin)["records"][0]["id"])')
env -u DISPLAY -u WAYLAND_DISPLAY "${vornctl[@]}" records certificate "$id" \
  -o "$scratch/certificate.pdf" >/dev/null
pdftoppm -png -r 72 "$scratch/certificate.pdf" "$scratch/page"
page=0
for picture in $(ls "$scratch"/page-*.png | sort -V); do
  page=$((page + 1))
  target=$output
  ((page == 1)) || target=${output%.png}-$page.png
  mv "$picture" "$target"
  echo "wrote $target"
done
