#!/usr/bin/env bash
# Configures (once) and builds the project in build/, in parallel on every core. Arguments
# name the targets to build (for example vorn-tool); without any, everything is built.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build}
if [[ ! -f "$build_dir/build.ninja" ]]; then
  cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
targets=()
(($#)) && targets=(--target "$@")
cmake --build "$build_dir" -j"$(nproc)" "${targets[@]}"
