#!/usr/bin/env bash
# Takes docs/dashboard.png: the vorn-dashboard page in headless Chromium over the records of a
# few real checkouts of emulated readers, as the browser test (tests/dashboard/browser_test.py)
# sees it after a reader was searched for. Run it again after the page changes.
#
# Usage: scripts/dashboard-screenshot.sh [OUTPUT.png]    (default docs/dashboard.png)
# The programs are taken from $BUILD_DIR (default build/) and built there when missing; the
# packages come from scripts/ensure-packages.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
output=${1:-docs/dashboard.png}
build_dir=${BUILD_DIR:-build}
scripts/ensure-packages.sh
BUILD_DIR=$build_dir scripts/build.sh vornctl vorn-emulator vorn-dashboard
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
HOME=$work XDG_CONFIG_HOME=$work/config /usr/bin/python3 tests/dashboard/browser_test.py \
  --vornctl "$build_dir/cli/vornctl" --emulator "$build_dir/emulator/vorn-emulator" \
  --dashboard "$build_dir/dashboard/vorn-dashboard" --screenshot "$output"
echo "wrote $output"
