#!/usr/bin/env bash
# Installs what the project needs, builds the simulated board with
# AddressSanitizer and UndefinedBehaviorSanitizer and runs every test, then
# compiles the real-board build so that it never rots. The last line printed
# is the test summary.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
jobs=$(nproc)

cmake -S . -B build/sim-asan -G Ninja -DVEZARA_BOARD=sim -DVEZARA_SANITIZE=ON \
  -DCMAKE_BUILD_TYPE=Debug -DVEZARA_BENCH=OFF >/dev/null
cmake --build build/sim-asan -j "$jobs"

tests=0
ctest --test-dir build/sim-asan -j "$jobs" --output-on-failure --no-tests=error 2>&1 |
  tee build/ctest.log || tests=$?

cmake -S . -B build/device -G Ninja -DVEZARA_BOARD=device -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/device -j "$jobs"

grep -E "tests passed|tests failed" build/ctest.log | tail -n 1
exit "$tests"
