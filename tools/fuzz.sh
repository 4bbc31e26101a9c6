#!/usr/bin/env bash
# Runs the fuzz targets for a given time each, with their seed corpus (and the
# JSON dictionary for the JSON readers), and prints per target the executions,
# executions per second, coverage and what was found.
#
#   tools/fuzz.sh SECONDS [TARGET...]      (no target: all of them)
#
# ULDO_FUZZ_DIR   build folder (default build-fuzz), configured with clang
# ULDO_FUZZ_JOBS  targets run at the same time (default 1)
# ULDO_FUZZ_RUNS  stop a target after this many executions (SECONDS stays the cap)
#
# Inputs the runs add are kept in <build>/corpus/<target>, so a later run goes
# on from there. An input that crashes, leaks, hangs or trips a sanitizer is
# kept in <build>/findings/<target>/; once the fault is fixed, copy it into
# fuzz/findings/<target>/ so that ctest replays it in every build.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
if [ $# -lt 1 ] || ! [[ "$1" =~ ^[0-9]+$ ]]; then
  echo "usage: tools/fuzz.sh SECONDS [TARGET...]" >&2
  exit 2
fi
seconds=$1
shift
dir=${ULDO_FUZZ_DIR:-build-fuzz}
jobs=${ULDO_FUZZ_JOBS:-1}

CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DULDO_FUZZ=ON >/dev/null
cmake --build "$dir" -j 2 --target fuzz
mapfile -t targets < <(if [ $# -gt 0 ]; then printf '%s\n' "$@"; else cat "$dir/fuzz/targets.txt"; fi)
dir=$(cd "$dir" && pwd)

export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# The inputs go to files: on a memory file system where there is one.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then work=$(mktemp -d -p /dev/shm); else work=$(mktemp -d); fi
trap 'rm -rf "$work"' EXIT

run_one() {
  local t=$1
  local program="$dir/fuzz/fuzz_$t"
  [ -x "$program" ] || { echo "no fuzz target $t" >"$work/$t.result"; return 0; }
  mkdir -p "$dir/corpus/$t" "$dir/findings/$t" "$work/$t"
  local dict=() runs=()
  [ -n "${ULDO_FUZZ_RUNS:-}" ] && runs=(-runs="$ULDO_FUZZ_RUNS")
  case "$t" in table_json|setup_json|map_json|compile) dict=(-dict="$root/fuzz/json.dict") ;; esac
  # Each target runs in a folder of its own: the compile writes FILTER.DAT.
  (cd "$work/$t" && TMPDIR="$work/$t" "$program" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2560 \
     -print_final_stats=1 -close_fd_mask=1 -artifact_prefix="$dir/findings/$t/" "${dict[@]}" "${runs[@]}" \
     "$dir/corpus/$t" "$root/fuzz/corpus/$t" >"$work/$t.log" 2>&1) || true
  local log="$work/$t.log"
  local execs rate cov ft found
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  found=$(find "$dir/findings/$t" -type f -newer "$work/start" | wc -l)
  printf '%-16s %12s execs %8s/s  cov %6s  ft %7s  findings %s\n' "$t" "${execs:-?}" "${rate:-?}" \
    "${cov:-?}" "${ft:-?}" "$found" >"$work/$t.result"
  if [ "$found" -gt 0 ] || [ -z "$execs" ]; then
    cp "$log" "$dir/findings/$t/last-run.log"
    grep -m1 -A12 -E 'ERROR|SUMMARY|runtime error|deadly signal|timeout' "$log" >>"$work/$t.result" || true
    echo "  log: $dir/findings/$t/last-run.log" >>"$work/$t.result"
  fi
}

touch "$work/start"
echo "fuzzing ${#targets[@]} targets, $seconds s each, $jobs at a time"
running=0
for t in "${targets[@]}"; do
  run_one "$t" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n
    running=$((running - 1))
  fi
done
wait
status=0
for t in "${targets[@]}"; do
  cat "$work/$t.result"
  grep -q 'findings 0$' "$work/$t.result" || status=1
done
exit $status
