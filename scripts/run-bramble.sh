#!/usr/bin/env bash
# Builds Bramble for the simulated board and runs it on the shipped sample:
# an OV5695 looking at the colour chart (testdata/bramble/simboard.cfg), the
# sample setup file, and a key script of a few dozen frames with one save
# key. Ends with a line saying where the saved files and the PNG image of
# the last displayed frame are.
#   BRAMBLE=<program>   run that program instead of building one
#   BRAMBLE_EMULATOR=<command>  run the program through that command (an
#                       emulator of the processor it was built for)
#   BRAMBLE_OUT=<dir>   where the run leaves its files (build/bramble-run)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${BRAMBLE_OUT:-$root/build/bramble-run}
bramble=${BRAMBLE:-}
read -ra emulator <<<"${BRAMBLE_EMULATOR:-}"
if [ -z "$bramble" ]; then
  "$root/scripts/install-deps.sh"
  cmake -S "$root" -B "$root/build/sim" -G Ninja -DVEZARA_BOARD=sim -DCMAKE_BUILD_TYPE=Release \
    -DVEZARA_TESTS=OFF -DVEZARA_BENCH=OFF >/dev/null
  cmake --build "$root/build/sim" --target bramble >/dev/null
  bramble=$root/build/sim/ISP_Control/test_apps/bramble
fi
sample=$root/testdata/bramble
rm -rf "$out"
mkdir -p "$out"
cd "$out"
if ! VEZARA_SIMBOARD_CONFIG="$sample/simboard.cfg" "${emulator[@]}" "$bramble" -sensor OV5695_0 -sensorMode 1 \
  -setupFile "$sample/sensor_setup.txt" <"$sample/keys.txt" >bramble.log 2>&1; then
  tail -n 20 bramble.log
  echo "Bramble failed; its whole printout is in $out/bramble.log"
  exit 1
fi
if [ ! -s display.png ]; then
  echo "Bramble failed to leave the PNG image of its last displayed frame in $out"
  exit 1
fi
frames=$(grep -c '^Frame ' bramble.log)
echo "First and last frames of the control loops:"
grep -E '^(AE|AWB_[A-Za-z]+) ' bramble.log | head -n 2
grep -E '^(AE|AWB_[A-Za-z]+) ' bramble.log | tail -n 2
saved=$(ls -- *[0-9].* 2>/dev/null | tr '\n' ' ')
echo "Bramble ran $frames frames: saved files in $out: ${saved}; printout in $out/bramble.log; the last displayed frame is $out/display.png"
