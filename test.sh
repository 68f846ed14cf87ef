#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through CTest: the exchange fuzzer for
# a bounded minute, the whole suite under AddressSanitizer and UndefinedBehaviorSanitizer
# (build-asan), the checkout's threads under ThreadSanitizer (build-tsan), and last the whole
# suite in the normal build.
set -euo pipefail
cd "$(dirname "$0")"
scripts/ensure-packages.sh --tests
scripts/build.sh
fuzz/run.sh
scripts/sanitize.sh
scripts/tsan.sh
ctest --test-dir build --output-on-failure -j"$(nproc)"
