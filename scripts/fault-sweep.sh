#!/usr/bin/env bash
# Runs the full fault sweep over Bramble's scripted captures: every recorded
# driver request and I2C transfer failed once with every errno it can give,
# and with a short and a corrupted answer where it returns data. Prints one
# line per run, the figures of each capture and every run that did not end
# cleanly. Takes about an hour of processor time in the Release build.
#   SWEEP_BUILD=<dir>   build folder to use (build/rel; build/sim-asan adds
#                       the sanitizers' checks and is many times slower)
#   SWEEP_JOBS=<n>      processes sharing the runs of each capture (1)
#   VEZARA_SWEEP_PLAIN=1  the captures on the ISP's plain image model (no
#                       statistics for the loops, but a pace the sanitizer
#                       build can keep)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SWEEP_BUILD:-$root/build/rel}
jobs=${SWEEP_JOBS:-1}
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DVEZARA_BOARD=sim -DCMAKE_BUILD_TYPE=Release -DVEZARA_BENCH=OFF >/dev/null
fi
cmake --build "$build" --target bramble_tests >/dev/null
logs=$(mktemp -d)
status=0
for ((shard = 0; shard < jobs; shard++)); do
  mkdir -p "$logs/$shard"
  TEST_TMPDIR=$logs/$shard/ TMPDIR=$logs/$shard VEZARA_FULL_SWEEP=1 VEZARA_SWEEP_SHARD=$shard/$jobs \
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$build/ISP_Control/test_apps/bramble_tests" --gtest_filter='Captures/BrambleFaultSweep.*' \
    >"$logs/$shard.log" 2>&1 &
done
for ((shard = 0; shard < jobs; shard++)); do
  wait -n || status=1
done
cat "$logs"/*.log
rm -rf "$logs"
exit $status
