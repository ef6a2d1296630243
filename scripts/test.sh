#!/usr/bin/env bash
# Installs what the project needs, builds the simulated board with
# AddressSanitizer and UndefinedBehaviorSanitizer and runs every test, builds
# the simulated board for the board's AArch64 processor and runs every test
# again under qemu's user-mode emulator, compiles the real-board build for
# that processor so that it never rots, and runs every fuzz harness briefly
# (clang build in build/fuzz). The last line printed is the test summary of
# the three test runs together.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh --board
jobs=$(nproc)

# Line tables only (-g1): sanitizer reports keep files and lines, the build
# stays quick on a small machine.
cmake -S . -B build/sim-asan -G Ninja -DVEZARA_BOARD=sim -DVEZARA_SANITIZE=ON \
  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_FLAGS_DEBUG=-g1 -DCMAKE_CXX_FLAGS_DEBUG=-g1 \
  -DVEZARA_BENCH=OFF >/dev/null
cmake --build build/sim-asan -j "$jobs"

tests=0
ctest --test-dir build/sim-asan -j "$jobs" --output-on-failure --no-tests=error 2>&1 |
  tee build/ctest.log || tests=$?

# The simulated board on the board's processor: plain char is unsigned, the
# portable converters and pixel paths run in place of the x86 vector code, and
# floating-point contraction differs. Optimised like the board's build; CTest
# runs every test program through qemu-aarch64, which takes the arm64
# libraries from their multiarch packages.
{ command -v aarch64-linux-gnu-g++ && command -v qemu-aarch64; } >/dev/null || {
  echo "the tests on AArch64 need its cross compiler and qemu-aarch64: scripts/install-deps.sh --board installs them"
  exit 1
}
cmake -S . -B build/aarch64 -G Ninja -DVEZARA_BOARD=sim -DCMAKE_BUILD_TYPE=Release -DVEZARA_BENCH=OFF \
  -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake -DCMAKE_CROSSCOMPILING_EMULATOR=qemu-aarch64 >/dev/null
cmake --build build/aarch64 -j "$jobs"
echo "The tests on AArch64 (build/aarch64, every program run by qemu-aarch64):"
ctest --test-dir build/aarch64 -j "$jobs" --output-on-failure --no-tests=error 2>&1 |
  tee build/ctest-aarch64.log || tests=1
# Both processors show the sample run's last frame alike, byte for byte.
sample=ISP_Control/test_apps/sample-run/display.png
if ! cmp "build/sim-asan/$sample" "build/aarch64/$sample"; then
  echo "the sample run's display image on AArch64 differs from this machine's: build/aarch64/$sample"
  tests=1
fi

# A compile check of the board build, for the board's processor where the
# cross compiler is installed: unoptimised, so that it is quick.
if command -v aarch64-linux-gnu-g++ >/dev/null && [ -e /usr/lib/aarch64-linux-gnu/pkgconfig/libdrm.pc ] &&
  [ -e /usr/lib/aarch64-linux-gnu/pkgconfig/libgpiod.pc ]; then
  board=build/board
  cmake -S . -B "$board" -G Ninja -DVEZARA_BOARD=device -DCMAKE_BUILD_TYPE=None -DVEZARA_BENCH=OFF \
    -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake >/dev/null
else
  echo "warning: no AArch64 cross compiler: the board build is compiled for this machine"
  board=build/device
  cmake -S . -B "$board" -G Ninja -DVEZARA_BOARD=device -DCMAKE_BUILD_TYPE=None >/dev/null
fi
cmake --build "$board" -j "$jobs"

# The fuzz harnesses, a few seconds each from their seeds: unoptimised, since
# the build takes longer than these short runs.
CC=clang-14 CXX=clang++-14 cmake -S . -B build/fuzz -G Ninja -DVEZARA_BOARD=sim -DVEZARA_FUZZ=ON \
  -DVEZARA_FUZZ_OPT=-O0 -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_FLAGS_DEBUG=-g1 -DCMAKE_CXX_FLAGS_DEBUG=-g1 >/dev/null
cmake --build build/fuzz -j "$jobs" --target fuzz_harnesses
ctest --test-dir build/fuzz -j "$jobs" --output-on-failure --no-tests=error 2>&1 |
  tee build/ctest-fuzz.log || tests=1

# One summary of the three runs, in ctest's words.
summary() { grep -E "tests passed|tests failed" "$1" | tail -n 1; }
read -r failed total < <(
  { summary build/ctest.log; summary build/ctest-aarch64.log; summary build/ctest-fuzz.log; } |
    sed -n 's/.*, \([0-9]*\) tests\? failed out of \([0-9]*\)/\1 \2/p' |
    awk '{ f += $1; t += $2; n++ } END { if (n == 3) print f, t; else print 1, 0 }')
[ "$failed" -eq 0 ] || tests=1
[ "$total" -gt 0 ] || { echo "a test summary is missing"; exit 1; }
echo "$(( (total - failed) * 100 / total ))% tests passed, $failed tests failed out of $total"
exit "$tests"
