#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a set time.
#
# Usage: scripts/fuzz.sh [TARGET|all] [SECONDS]     (default: all 60)
#   TARGET: paxos, wide_ciphertext, public_key, point_list
#
# Each target starts from its seed inputs in fuzz/corpus/<target> and keeps
# what it learns in build/fuzz/corpus/<target>, so later runs go on from
# there. Findings (crashes, sanitizer reports, hangs, violated relations) are
# written to build/fuzz/artifacts/<target>/ and make the script fail; replay
# one with: build/fuzz/fuzz/<target>_fuzz <file>; each finding is also printed
# in base64 on standard error. Logs: build/fuzz/logs/.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/fuzz"
target="${1:-all}"
seconds="${2:-60}"
all_targets=(paxos wide_ciphertext public_key point_list)

if [ "$target" = all ]; then targets=("${all_targets[@]}"); else targets=("$target"); fi
for t in "${targets[@]}"; do
  [ -f "$root/fuzz/${t}_fuzz.cpp" ] || { echo "unknown target: $t" >&2; exit 2; }
done

cxx="${CXX_FUZZ:-$(command -v clang++-14 || command -v clang++)}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER="$cxx" -DVELTRANE_BUILD_FUZZ=ON \
  -DVELTRANE_BUILD_EXTENSION=OFF -DVELTRANE_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target "${targets[@]/%/_fuzz}"

# A store is at least 2072 bytes; the other inputs are a few hundred.
max_len() { case "$1" in paxos) echo 12000 ;; *) echo 1200 ;; esac; }

export RAYON_NUM_THREADS=1
export ASAN_OPTIONS="${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
mkdir -p "$build/logs"

# fuzz_one TARGET: one target's run; its findings are reported on standard
# error, reproducers included, and make it fail.
fuzz_one() {
  local t="$1"
  local corpus="$build/corpus/$t" artifacts="$build/artifacts/$t" log="$build/logs/$t.log"
  local stamp="$build/logs/$t.start"   # this run's findings are the artifacts newer than it
  mkdir -p "$corpus" "$artifacts"
  touch "$stamp"
  if "$build/fuzz/${t}_fuzz" "$corpus" "$root/fuzz/corpus/$t" \
      -max_total_time="$seconds" -max_len="$(max_len "$t")" -timeout=20 \
      -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts/" \
      >"$log" 2>&1; then
    echo "== $t: $(grep -E "^#[0-9]+.*(DONE|cov:)" "$log" | tail -1)"
    return 0
  fi
  {
    tail -40 "$log"
    echo "== $t: FINDING, see $artifacts"
    # The reproducer goes into the output as well, so a CI machine that is
    # gone by the time anyone looks still leaves it: save the base64 text
    # and decode it with base64 -d.
    find "$artifacts" -type f -newer "$stamp" | sort | while read -r f; do
      echo "== reproducer $(basename "$f") ($(stat -c %s "$f") bytes), base64:"
      base64 -w 76 "$f"
      echo "== end of reproducer; replay: build/fuzz/fuzz/${t}_fuzz <file>"
    done
  } >&2
  return 1
}

# Each target is one process on one thread, so FUZZ_JOBS targets (default:
# one per logical processor) run side by side, each for the full time.
parallel="${FUZZ_JOBS:-$(nproc)}"
echo "== fuzzing ${targets[*]}: ${seconds}s each, $parallel at a time (logs: $build/logs/)"
status=0
running=0
for t in "${targets[@]}"; do
  if [ "$running" -ge "$parallel" ]; then
    wait -n || status=1
    running=$((running - 1))
  fi
  fuzz_one "$t" &
  running=$((running + 1))
done
while [ "$running" -gt 0 ]; do
  wait -n || status=1
  running=$((running - 1))
done
exit "$status"
