#!/usr/bin/env bash
# Runs the full fault sweep over Bramble's scripted captures: every recorded
# driver request and I2C transfer failed once with every errno it can give,
# and with a short and a corrupted answer where it returns data. Prints one
# line per run, the figures of each capture and every run that did not end
# cleanly. Takes about an hour in the Release build.
#   SWEEP_BUILD=<dir>   build folder to use (build/rel; build/sim-asan adds
#                       the sanitizers' checks and is many times slower)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SWEEP_BUILD:-$root/build/rel}
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DVEZARA_BOARD=sim -DCMAKE_BUILD_TYPE=Release -DVEZARA_BENCH=OFF >/dev/null
fi
cmake --build "$build" --target bramble_tests >/dev/null
VEZARA_FULL_SWEEP=1 ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  "$build/ISP_Control/test_apps/bramble_tests" --gtest_filter='BrambleFaultSweep.*'
