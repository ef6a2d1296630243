#!/usr/bin/env bash
# Builds Bramble for the simulated board and runs it on a shipped sample:
# by default an OV5695 looking at the grey-world texture under warm light
# (testdata/bramble/simboard.cfg); with "datagen", the ISP's data generator
# playing three 256 x 144 10-bit frames of the same scene
# (testdata/bramble/datagen_3frames_256x144_10bit_rggb.jux, made with the
# simulated board's scene_jux: scene_jux simboard.cfg 256 144 3 40000 <file>).
# Both use the sample setup file and a key script of a few dozen frames with
# one save key, and end with a line saying where the saved files and the PNG
# image of the last displayed frame are.
#   run-bramble.sh [datagen]
#   BRAMBLE=<program>   run that program instead of building one
#   BRAMBLE_EMULATOR=<command>  run the program through that command (an
#                       emulator of the processor it was built for)
#   BRAMBLE_OUT=<dir>   where the run leaves its files (build/bramble-run)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${BRAMBLE_OUT:-$root/build/bramble-run}
sample=$root/testdata/bramble
case "${1:-}" in
  "") source=(-sensor OV5695_0 -sensorMode 1) ;;
  datagen) source=(-sensor IIF -DG_inputJUX "$sample/datagen_3frames_256x144_10bit_rggb.jux") ;;
  *) echo "usage: $0 [datagen]" >&2; exit 2 ;;
esac
bramble=${BRAMBLE:-}
read -ra emulator <<<"${BRAMBLE_EMULATOR:-}"
if [ -z "$bramble" ]; then
  "$root/scripts/install-deps.sh"
  cmake -S "$root" -B "$root/build/sim" -G Ninja -DVEZARA_BOARD=sim -DCMAKE_BUILD_TYPE=Release \
    -DVEZARA_TESTS=OFF -DVEZARA_BENCH=OFF >/dev/null
  cmake --build "$root/build/sim" --target bramble >/dev/null
  bramble=$root/build/sim/ISP_Control/test_apps/bramble
fi
rm -rf "$out"
mkdir -p "$out"
cd "$out"
if ! VEZARA_SIMBOARD_CONFIG="$sample/simboard.cfg" ${emulator[@]+"${emulator[@]}"} "$bramble" "${source[@]}" \
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
