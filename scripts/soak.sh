#!/usr/bin/env bash
# Soak of Bramble on the simulated board: a long run with every control loop
# on, a save key every K frames and a capture restart every M frames, while
# the program's resident memory (VmRSS) and open descriptors are sampled
# into a CSV. Ends with a short curve and a verdict: flat when the growth
# from the end of the first tenth of the run to the last sample stays within
# the bounds. Not part of the tests: run it by hand, it takes a while.
#
#   scripts/soak.sh [-n frames] [-k save_every] [-m restart_every] [-i seconds] [-s sensor_mode] [-o dir]
#
# Defaults: 100000 frames, a save every 1000 frames (alternately all outputs
# and the display alone), a stop/start glitch every 5000, a sample every 5 s,
# OV5695 mode 3 (1296x972), files in build/soak. Saved files are deleted as
# the run goes, the newest few kept.
#   BRAMBLE=<program>          run that program instead of building one
#   SOAK_RSS_BOUND_KB=<kB>     allowed growth of VmRSS (default 2048)
#   SOAK_FD_BOUND=<n>          allowed growth of open descriptors (default 0)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

frames=100000
save_every=1000
restart_every=5000
interval=5
mode=3
out=$root/build/soak
while getopts "n:k:m:i:s:o:" opt; do
  case $opt in
    n) frames=$OPTARG ;;
    k) save_every=$OPTARG ;;
    m) restart_every=$OPTARG ;;
    i) interval=$OPTARG ;;
    s) mode=$OPTARG ;;
    o) out=$OPTARG ;;
    *) sed -n 9p "$0" >&2; exit 2 ;;
  esac
done
rss_bound=${SOAK_RSS_BOUND_KB:-2048}
fd_bound=${SOAK_FD_BOUND:-0}

bramble=${BRAMBLE:-}
if [ -z "$bramble" ]; then
  cmake -S "$root" -B "$root/build/sim" -G Ninja -DVEZARA_BOARD=sim -DCMAKE_BUILD_TYPE=Release \
    -DVEZARA_TESTS=OFF -DVEZARA_BENCH=OFF >/dev/null
  cmake --build "$root/build/sim" -j "${VEZARA_JOBS:-3}" --target bramble >/dev/null
  bramble=$root/build/sim/ISP_Control/test_apps/bramble
fi

sample=$root/testdata/bramble
rm -rf "$out"
mkdir -p "$out/run"
out=$(cd "$out" && pwd)

# The sample setup with two lens-shading grids, so that the shading loop has
# matrices to choose from.
setup=$out/setup.txt
{
  cat "$sample/sensor_setup.txt"
  echo "LSH_CTRL_CORRECTIONS 2"
  echo "LSH_CTRL_BITS_DIFF 9"
  echo "LSH_CTRL_TEMPERATURE_0 3000"
  echo "LSH_CTRL_FILE_0 $root/testdata/vova/lsh_bowl.lsh"
  echo "LSH_CTRL_TEMPERATURE_1 6500"
  echo "LSH_CTRL_FILE_1 $root/testdata/vova/lsh_bowl.lsh"
} >"$setup"

# One key per frame. First every loop on: auto, adaptive and local tone
# mapping, denoiser, light-base control, defective pixels, lens shading,
# white-balance smoothing, automatic flicker detection, an autofocus trigger;
# then a save every K frames, a stop/start glitch every M frames, now and then
# an exposure or focus step, and "x" on the last frame.
keys=$out/keys.txt
awk -v n="$frames" -v k="$save_every" -v m="$restart_every" 'BEGIN {
  start = "utyioerqpm"; saves = 0
  for (i = 0; i < n - 1; i++) {
    if (i < length(start)) c = substr(start, i + 1, 1)
    else if (m > 0 && i % m == int(m / 2)) c = "@"
    else if (k > 0 && i % k == 0) c = (saves++ % 2 == 0) ? "a" : "s"
    else if (i % 397 == 0) c = substr("+-,.m", (i / 397) % 5 + 1, 1)
    else c = "z"
    printf "%s", c
  }
  printf "x"
}' >"$keys"

csv=$out/samples.csv
log=$out/run/bramble.log
echo "seconds,frame,rss_kb,fds" >"$csv"

last_frame() {
  tail -c 65536 "$log" 2>/dev/null | grep -a '^Frame [0-9]' | tail -n 1 | awk '{print $2}'
}

# Keeps the newest few saved files, so that the disk does not fill.
prune_saves() {
  find "$out/run" -maxdepth 1 -type f ! -name bramble.log ! -name display.png -printf '%T@ %p\n' |
    sort -rn | tail -n +41 | cut -d' ' -f2- | xargs -r rm -f
}

cd "$out/run"
start=$(date +%s.%N)
VEZARA_SIMBOARD_CONFIG="$sample/simboard.cfg" nice -n 10 "$bramble" -sensor OV5695_0 -sensorMode "$mode" \
  -setupFile "$setup" <"$keys" >"$log" 2>&1 &
pid=$!
echo "Soak: Bramble pid $pid, $frames frames, save every $save_every, restart every $restart_every; samples in $csv"
while kill -0 "$pid" 2>/dev/null; do
  rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$pid/status" 2>/dev/null || true)
  fds=$(ls "/proc/$pid/fd" 2>/dev/null | wc -l || true)
  if [ -n "$rss" ]; then
    now=$(echo "$(date +%s.%N) - $start" | bc)
    printf '%.1f,%s,%s,%s\n' "$now" "$(last_frame)" "$rss" "$fds" >>"$csv"
  fi
  prune_saves
  sleep "$interval"
done
status=0
wait "$pid" || status=$?
elapsed=$(echo "$(date +%s.%N) - $start" | bc)
prune_saves
done_frames=$(grep -a -c '^Frame [0-9]' "$log" || true)

echo "Bramble exit status $status; $done_frames frames in ${elapsed%.*} s ($(echo "scale=1; $done_frames / $elapsed" | bc) frames/s); saves: $(grep -a -c 'key pressed' "$log" || true) keys; restarts: $(grep -a -c 'X\*X\*X' "$log" || true) glitches, $(grep -a -c 're-starting capture' "$log" || true) output changes"
awk -F, -v rb="$rss_bound" -v fb="$fd_bound" '
  NR > 1 { t[++n] = $1; f[n] = $2; r[n] = $3; d[n] = $4 }
  END {
    if (n < 2) { print "too few samples for a verdict"; exit 1 }
    printf "%10s %8s %10s %5s\n", "seconds", "frame", "RSS kB", "fds"
    step = (n - 1) / 15.0; if (step < 1) step = 1
    for (x = 1; x <= n; x += step) { i = int(x); printf "%10s %8s %10s %5s\n", t[i], f[i], r[i], d[i] }
    if (i != n) printf "%10s %8s %10s %5s\n", t[n], f[n], r[n], d[n]
    b = int(n / 10); if (b < 1) b = 1
    growth = r[n] - r[b]; fdgrowth = d[n] - d[b]
    maxr = 0; for (i = b; i <= n; i++) if (r[i] > maxr) maxr = r[i]
    printf "from sample %d (%s s) to the last: RSS %+d kB (peak %d kB), descriptors %+d\n", b, t[b], growth, maxr, fdgrowth
    flat = growth <= rb && fdgrowth <= fb
    print flat ? "verdict: FLAT" : "verdict: GROWING"
    exit flat ? 0 : 1
  }' "$csv" || status=1
exit "$status"
