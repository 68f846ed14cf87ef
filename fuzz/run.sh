#!/usr/bin/env bash
# Builds the exchange fuzzer with clang in build-fuzz and runs it for a bounded time
# (FUZZ_SECONDS, 60 by default). The committed corpus seeds the run and is left as it is;
# what the run finds goes to a temporary folder. A crash leaves its input in build-fuzz/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-fuzz"
seconds=${FUZZ_SECONDS:-60}

if [[ ! -f "$build/build.ninja" ]]; then
  cmake -S "$root/fuzz" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++
fi
cmake --build "$build" -j"$(nproc)"

found=$(mktemp -d)
trap 'rm -rf "$found"' EXIT
"$build/exchange_fuzzer" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
  -artifact_prefix="$build/" "$found" "$root/fuzz/corpus"
