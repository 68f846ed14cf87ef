#!/usr/bin/env bash
# Installs what is missing, builds the programs (not the tests: ./test.sh builds those), and
# starts vorn-tool. Arguments go to vorn-tool (for example --port /dev/ttyUSB0).
set -euo pipefail
cd "$(dirname "$0")"
scripts/ensure-packages.sh
scripts/build.sh vorn-tool vornctl vorn-emulator vorn-station
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  cat >&2 <<'MSG'
vorn-tool is built (build/app/vorn-tool) but there is no display to show its window.
Run ./run.sh from a desktop session, over ssh -X, or on a virtual X server:
    xvfb-run -a build/app/vorn-tool
MSG
  exit 1
fi
exec build/app/vorn-tool "$@"
