#!/usr/bin/env bash
# Line coverage of the parsers reached by the fuzz corpora: builds the
# harnesses with clang's source-based coverage in build/fuzz-cov, runs each
# harness once over its corpus and its seeds, and prints per harness the
# lines of its parser's files that ran.
#
#   scripts/fuzz-coverage.sh [-c corpus_root] [harness...]
#
# corpus_root holds one folder per harness (as scripts/fuzz.sh leaves them
# in build/fuzz/corpus, the default), named with or without "fuzz_".
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

corpora=$root/build/fuzz/corpus
while getopts "c:" opt; do
  case $opt in
    c) corpora=$OPTARG ;;
    *) echo "usage: $0 [-c corpus_root] [harness...]" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))

build=build/fuzz-cov
CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -G Ninja -DVEZARA_BOARD=sim -DVEZARA_FUZZ=ON \
  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_FLAGS="-fprofile-instr-generate -fcoverage-mapping" \
  -DCMAKE_CXX_FLAGS="-fprofile-instr-generate -fcoverage-mapping" \
  -DCMAKE_EXE_LINKER_FLAGS="-fprofile-instr-generate" >/dev/null
cmake --build "$build" -j "${VEZARA_JOBS:-3}" --target fuzz_harnesses

# The files of each harness's parser.
declare -A files=(
  [setup_file]="ISP_Control/VOVA_lib/src/Auxiliar/ParameterFileParser.cpp ISP_Control/VOVA_lib/src/ParameterList.cpp"
  [options]="common/dyncmd/src/ci_dyncmd.cpp"
  [board_file]="sensorapi/source/sensor_board.cpp"
  [lsh_grid]="common/vezaracommon/src/lsh_grid.cpp"
  [dpf_map]="common/vezaracommon/src/dpf_map.cpp"
  [image_jux]="common/sim_image/src/image_jux.cpp common/sim_image/src/image_base.cpp"
  [image_pxm]="common/sim_image/src/image_pxm.cpp"
  [image_bmp]="common/sim_image/src/image_bmp.cpp"
  [image_nraw]="common/sim_image/src/image_nraw.cpp"
  [image_aptina]="common/sim_image/src/image_nraw.cpp"
  [image_headerless]="common/sim_image/src/image_plraw.cpp common/sim_image/src/image_yuv.cpp"
  [shot_stats]="ISP_Control/VOVA_lib/src/Shot.cpp CI/vezara/vezara_lib/user/source/mc_stats_extract.cpp"
)

if [ $# -gt 0 ]; then
  harnesses=("${@#fuzz_}")
else
  mapfile -t harnesses < <(sed 's/^fuzz_//' "$build/fuzz/harnesses.txt")
fi
mkdir -p "$build/profiles"
printf '%-18s %8s  %s\n' harness inputs "lines covered (file: covered/total %)"
for h in "${harnesses[@]}"; do
  corpus=$corpora/$h
  [ -d "$corpus" ] || corpus=$corpora/fuzz_$h
  inputs=$(mktemp -d)
  [ -d "$corpus" ] && find "$corpus" -type f -exec cp -t "$inputs" {} +
  tr ',' '\n' <"$build/fuzz/fuzz_$h.seeds" | while read -r seed; do [ -n "$seed" ] && cp "$seed" "$inputs/seed-$(basename "$seed")"; done
  count=$(find "$inputs" -type f | wc -l)
  profile=$build/profiles/$h
  rm -f "$profile".*
  LLVM_PROFILE_FILE="$profile.%p.profraw" ASAN_OPTIONS=detect_leaks=0 \
    "$build/fuzz/fuzz_$h" -runs=0 -close_fd_mask=3 "$inputs" >"$profile.log" 2>&1 || true
  rm -rf "$inputs"
  llvm-profdata-14 merge -sparse "$profile".*.profraw -o "$profile.profdata"
  paths=()
  for f in ${files[$h]}; do paths+=("$root/$f"); done
  summary=$(llvm-cov-14 report "$build/fuzz/fuzz_$h" -instr-profile="$profile.profdata" "${paths[@]}" |
    awk '$1 ~ /\.cpp$/ { n = split($1, p, "/"); printf "%s: %d/%d %s  ", p[n], $8 - $9, $8, $10 }')
  printf '%-18s %8s  %s\n' "$h" "$count" "$summary"
done
