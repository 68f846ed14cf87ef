#!/usr/bin/env bash
# Takes docs/yield-report.png again: the first page of `vornctl records report --pdf` over the
# last week of the generated month of a line that bench/run measures (1,000,000 checkouts in
# build-bench/records-line.sqlite, made when missing), drawn by pdftoppm without a display.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VORN_BENCH_BUILD:-$root/build-bench}
"$root/scripts/ensure-packages.sh"
[[ -f $build/CMakeCache.txt ]] || cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$(nproc)" --target vornctl vorn-bench-records
"$build/bench/vorn-bench-records" populate-line "sqlite:$build/records-line.sqlite"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
XDG_DATA_HOME=$scratch/data env -u DISPLAY -u WAYLAND_DISPLAY "$build/cli/vornctl" \
  --records "sqlite:$build/records-line.sqlite" records report \
  --since 2026-11-24 --until 2026-11-30 --pdf "$scratch/report.pdf"
pdftoppm -png -r 72 -f 1 -l 1 -singlefile "$scratch/report.pdf" "$root/docs/yield-report"
echo "docs/yield-report.png"
