#!/usr/bin/env bash
# Builds the libFuzzer harnesses (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) in build/fuzz and runs each for a given time,
# starting from its seeds and from the corpus of earlier runs
# (build/fuzz/corpus/<harness>). Crashing inputs land in build/fuzz/artifacts.
#
#   scripts/fuzz.sh [-s seconds] [-j parallel] [harness...]
#
# Default: 60 seconds each, one at a time, every harness (names as in
# build/fuzz/fuzz/harnesses.txt, with or without the "fuzz_" prefix). Prints
# per harness its executions, coverage (cov: edges, ft: features), corpus
# size and findings; exits non-zero when any harness found something.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=60
parallel=1
while getopts "s:j:" opt; do
  case $opt in
    s) seconds=$OPTARG ;;
    j) parallel=$OPTARG ;;
    *) echo "usage: $0 [-s seconds] [-j parallel] [harness...]" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))

build=build/fuzz
CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -G Ninja -DVEZARA_BOARD=sim -DVEZARA_FUZZ=ON \
  -DVEZARA_FUZZ_OPT=-O1 -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build" -j "${VEZARA_JOBS:-$(nproc)}"

if [ $# -gt 0 ]; then
  harnesses=()
  for h in "$@"; do harnesses+=("fuzz_${h#fuzz_}"); done
else
  mapfile -t harnesses < "$build/fuzz/harnesses.txt"
fi
mkdir -p "$build/corpus" "$build/artifacts" "$build/logs"

run_one() {
  local h=$1 build=$2 seconds=$3
  mkdir -p "$build/corpus/$h"
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$build/fuzz/$h" "$build/corpus/$h" -seed_inputs="$(cat "$build/fuzz/$h.seeds")" \
    -max_total_time="$seconds" -timeout=60 -close_fd_mask=3 -print_final_stats=1 \
    -artifact_prefix="$build/artifacts/$h-" >"$build/logs/$h.log" 2>&1
  echo $? >"$build/logs/$h.rc"
}
export -f run_one
printf '%s\n' "${harnesses[@]}" | xargs -P "$parallel" -I{} bash -c 'run_one "$@"' _ {} "$build" "$seconds"

failed=0
printf '%-24s %12s %8s %8s %8s  %s\n' harness executions cov ft corpus result
for h in "${harnesses[@]}"; do
  log=$build/logs/$h.log
  rc=$(cat "$build/logs/$h.rc")
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
  last=$(grep -E '^#[0-9]+' "$log" | grep -E 'cov: ' | tail -n 1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  corpus=$(sed -n 's/.* corp: \([0-9]*\).*/\1/p' <<<"$last")
  result="ok"
  if [ "$rc" -ne 0 ]; then
    result="FINDING: $(grep -m1 -E 'ERROR: |runtime error|deadly signal|Test unit written' "$log" || echo "exit $rc") (log: $log)"
    failed=1
  fi
  printf '%-24s %12s %8s %8s %8s  %s\n' "${h#fuzz_}" "${execs:-?}" "${cov:-?}" "${ft:-?}" "${corpus:-?}" "$result"
done
exit "$failed"
