#!/usr/bin/env bash
# Sanitizer and fuzz stages of CI, run after ./test.sh:
#   asan  the whole test suite built with AddressSanitizer and
#         UndefinedBehaviorSanitizer; any report ends the run
#   tsan  the compile tests, and uldoc --threads 2 on every example table,
#         under ThreadSanitizer
#   fuzz  every fuzz target for ULDO_FUZZ_SECONDS seconds (default 20), two at
#         a time, with its seed corpus (clang, libFuzzer); tools/fuzz.sh runs
#         them longer
#
#   tools/sanitize.sh [asan] [tsan] [fuzz]     (no argument: all three)
#
# Build folders: ULDO_ASAN_DIR (build-asan), ULDO_TSAN_DIR (build-tsan),
# ULDO_FUZZ_DIR (build-fuzz).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
source tools/deps.sh
uldo_install_deps

stages=("$@")
[ ${#stages[@]} -eq 0 ] && stages=(asan tsan fuzz)
jobs=$(nproc)
[ "$jobs" -gt 2 ] && jobs=2   # the sanitizer builds need much memory per job

stamp() { echo "== $(date +%H:%M:%S) $*"; }

# Every report is fatal, with the stack that led to it.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1:detect_stack_use_after_return=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$root/tools/lsan.supp:print_suppressions=0"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
export QT_QPA_PLATFORM=offscreen

# -O1 builds far faster than the release -O3 and still finds what the
# sanitizers look for.
configure() {  # configure DIR FLAGS [more cmake arguments]
  local dir=$1 flags=$2
  shift 2
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O1 -DNDEBUG" \
    -DCMAKE_C_FLAGS_RELEASE="-O1 -DNDEBUG" -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_C_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="$flags" "$@" >/dev/null
}

# What ctest runs: the test programs, the fuzz replays and uldoc (no benchmark, no GUI program).
test_targets() {
  ninja -C "$1" -t targets all | grep -oE '^(test_[a-z_]+|replay_[a-z0-9_]+|uldoc): phony' | cut -d: -f1 | sort -u
}

run_asan() {
  local dir=${ULDO_ASAN_DIR:-build-asan}
  stamp "asan: build in $dir"
  configure "$dir" "-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -g"
  cmake --build "$dir" -j "$jobs" --target $(test_targets "$dir")
  stamp "asan: tests"
  # package_deb packs the GUI program, which the sanitizer build leaves out.
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" -E '^package_deb$'
}

run_tsan() {
  local dir=${ULDO_TSAN_DIR:-build-tsan}
  stamp "tsan: build in $dir"
  configure "$dir" "-fsanitize=thread -g"
  cmake --build "$dir" -j "$jobs" --target test_compile uldoc
  stamp "tsan: compile tests"
  (cd "$dir/tests" && ./test_compile --gtest_brief=1)
  stamp "tsan: uldoc --threads 2 on the examples"
  local out
  out=$(mktemp -d)
  trap 'rm -rf "$out"' RETURN
  local table
  for table in examples/*.kvt; do
    local name
    name=$(basename "$table" .kvt)
    (cd "$out" && "$root/$dir/cli/uldoc" "$root/$table" --setup "$root/examples/default.set" \
       --threads 2 --passes rf,i,q -o "$out/$name.wfm" >"$out/$name.log") || {
      cat "$out/$name.log"
      echo "uldoc failed under ThreadSanitizer on $table"
      return 1
    }
  done
}

run_fuzz() {
  stamp "fuzz: ${ULDO_FUZZ_SECONDS:-20} s per target"
  ULDO_FUZZ_JOBS=${ULDO_FUZZ_JOBS:-2} tools/fuzz.sh "${ULDO_FUZZ_SECONDS:-20}"
}

for stage in "${stages[@]}"; do
  case "$stage" in
    asan) run_asan ;;
    tsan) run_tsan ;;
    fuzz) run_fuzz ;;
    *) echo "unknown stage $stage (asan, tsan, fuzz)"; exit 2 ;;
  esac
done
stamp "sanitizer stages passed: ${stages[*]}"
