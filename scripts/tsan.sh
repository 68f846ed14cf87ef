#!/usr/bin/env bash
# Builds the checkout's tests, vornctl and vorn-emulator with ThreadSanitizer in build-tsan and
# runs them: the engine checking several emulated readers on their threads, the emulated
# readers reached from those threads, vornctl checking readers on pseudo-terminals at once, and
# the readers' threads spooling messages for the publisher's AMQP thread (on a private broker).
# Only what runs threads is built, so the run stays short. Any race report fails the run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TSAN_BUILD_DIR:-$root/build-tsan}

if [[ ! -f "$build/build.ninja" ]]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORN_TSAN=ON
fi
cmake --build "$build" -j"$(nproc)" --target tst_checkout tst_emulatedreader tst_vornctl vornctl \
  vorn-emulator tst_publish

# halt_on_error makes vornctl, started by its tests, end with exitcode 66 on a report, which the
# tests see as a wrong exit code.
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:exitcode=66:second_deadlock_stack=1:suppressions=$root/scripts/tsan.supp}
export QT_QPA_PLATFORM=offscreen
# Each program in a home of its own, as under CTest: the checkouts' records, journals and
# settings never reach the user's own.
own_home=$root/tests/support/own-home.sh
"$own_home" "$build/tests/tst_checkout"
"$own_home" "$build/tests/tst_emulatedreader"
"$own_home" "$build/tests/tst_vornctl" checkout checkoutOfEightPtyReaders checkoutInterrupted \
  checkoutOfAVanishingReader checkoutAsksTheOperator
# The broker is stopped and started by a child process, started after the threads are.
TSAN_OPTIONS="$TSAN_OPTIONS:die_after_fork=0" "$own_home" "$root/tests/publish/rabbitmq_node.sh" run \
  "$build/tests/tst_publish" passingReader defectiveReader eightReadersAtOnce brokerStoppedDuringRun
echo "tsan: no data race reported"
