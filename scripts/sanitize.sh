#!/usr/bin/env bash
# Sanitizer builds of the C++ tests and of the extension module.
#
#   1. AddressSanitizer + UndefinedBehaviorSanitizer: every C++ test (ctest in
#      build/asan), except the valgrind constant-time check, which cannot run
#      an ASan binary, and the pool test that starves thread creation with
#      an address-space limit (ASan needs that address space itself). The
#      differential lane tests draw a twentieth of their random items here
#      (VELTRANE_TEST_SHRINK): they look for memory errors, which every code
#      path meets within the first items; the plain build proves the values.
#   2. The extension built the same way (in build/asan too) and the Python test
#      suite of the module run against it: libasan is preloaded into the
#      interpreter, leak detection is off (the interpreter keeps its objects
#      until exit), and PYTHONPATH puts the instrumented module ahead of the
#      installed one, which stays untouched. The tools' tests (tests/driver)
#      are left out: they are pure Python over the same calls.
#   3. ThreadSanitizer (build/tsan): the worker-pool tests and the parallel
#      operations test. TSan cannot start threads in a forked child, so the
#      tests that fork are filtered out there.
#
# Usage: scripts/sanitize.sh [asan|python|tsan ...]   (default: all three)
# Extra pytest arguments: PYTEST_ARGS="-k decrypt" scripts/sanitize.sh python
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
python="${PYTHON:-python3}"
jobs="${JOBS:-2}"
stages=("$@")
[ ${#stages[@]} -gt 0 ] || stages=(asan python tsan)

export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
configure() {  # build-dir sanitizers extra-cmake-args...
  local dir="$1" sanitize="$2"
  shift 2
  cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVELTRANE_SANITIZE="$sanitize" "$@" >/dev/null
}
# The C++ tests and the extension share one ASan tree, so its libraries are
# compiled once for both stages.
configure_asan() {
  configure "$root/build/asan" address,undefined -DVELTRANE_BUILD_TESTS=ON \
    -DVELTRANE_BUILD_EXTENSION=ON -DPython_EXECUTABLE="$(command -v "$python")"
}
stage_start=0
begin() { stage_start=$SECONDS; echo "== $1"; }
end() { echo "== $1 passed in $((SECONDS - stage_start))s"; }

asan() {
  begin "ASan+UBSan C++ tests"
  configure_asan
  cmake --build "$root/build/asan" -j "$jobs"
  # The pool test that caps the address space to make thread creation fail
  # leaves ASan itself without memory, so it runs only in the plain build.
  # The kernels' comparison with the one-item loop runs on the native lanes
  # and the one-item field: the emulated lanes run the same kernel code, and
  # their own (the vector policy's loops) is checked here by the lane tests.
  GTEST_FILTER='-*WorkerThatCannotStart*:All/BackendsTest.*/portable*' VELTRANE_TEST_SHRINK=20 \
    ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1" \
    ctest --test-dir "$root/build/asan" --output-on-failure -E group_constant_time
  end "ASan+UBSan C++ tests"
}

python_suite() {
  begin "Python tests against the ASan+UBSan extension"
  local dir="$root/build/asan"
  configure_asan
  cmake --build "$dir" -j "$jobs" --target veltrane
  local module_dir="$dir/src/python"
  # libstdc++ is preloaded with libasan so that ASan's exception interceptor
  # finds the real __cxa_throw even for libraries (pyarrow) that throw
  # before the instrumented module is loaded.
  local preload
  preload="$(g++ -print-file-name=libasan.so) $(g++ -print-file-name=libstdc++.so)"
  # Some tests run only in the plain build: the address-space limit of
  # test_memory.py leaves no room for ASan's shadow memory, and a __len__
  # claiming exabytes makes the conversion's reservation fail, which ASan
  # reports and ends instead of throwing std::bad_alloc. The curious bank's
  # scan of 10^4 request points repeats initiate_queries' paths thousands of
  # times over; the protocol tests take them at the sizes that matter.
  env LD_PRELOAD="$preload" ASAN_OPTIONS="detect_leaks=0:abort_on_error=1" \
    PYTHONPATH="$module_dir${PYTHONPATH:+:$PYTHONPATH}" \
    "$python" - "$module_dir" <<'PY'
import sys, veltrane
assert veltrane.__file__.startswith(sys.argv[1]), f"imported {veltrane.__file__}, not the ASan build"
PY
  # Reports go to files: pytest captures standard error and would lose the
  # report of a process that ASan ends.
  rm -f "$dir"/sanitizer.*
  # shellcheck disable=SC2086
  env LD_PRELOAD="$preload" VELTRANE_SANITIZED=1 \
    ASAN_OPTIONS="detect_leaks=0:abort_on_error=1:log_path=$dir/sanitizer" \
    UBSAN_OPTIONS="$UBSAN_OPTIONS:log_path=$dir/sanitizer" \
    PYTHONPATH="$module_dir${PYTHONPATH:+:$PYTHONPATH}" \
    "$python" -m pytest -q -p no:cacheprovider --rootdir "$root" "$root/tests" \
    --ignore "$root/tests/driver" \
    --deselect tests/test_memory.py::test_huge_arguments_raise_memory_error \
    --deselect tests/test_arguments.py::test_reported_length_is_only_a_hint \
    --deselect tests/test_peer_privacy.py::test_a_bank_cannot_tell_missed_lookups_by_any_test_of_its_request \
    ${PYTEST_ARGS:-} || { cat "$dir"/sanitizer.* 2>/dev/null >&2; return 1; }
  if ls "$dir"/sanitizer.* >/dev/null 2>&1; then cat "$dir"/sanitizer.* >&2; return 1; fi
  end "Python tests against the ASan+UBSan extension"
}

tsan() {
  begin "TSan pool and parallel-operations tests"
  local dir="$root/build/tsan"
  configure "$dir" thread -DVELTRANE_BUILD_TESTS=ON -DVELTRANE_BUILD_EXTENSION=OFF
  cmake --build "$dir" -j "$jobs" --target pool_tests parallel_operations_test
  export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
  "$dir/src/pool/pool_tests" --gtest_filter='-*Fork*:*CannotStart*'
  "$dir/fuzz/parallel_operations_test"
  RAYON_NUM_THREADS=1 "$dir/fuzz/parallel_operations_test"
  end "TSan pool and parallel-operations tests"
}

total_start=$SECONDS
for stage in "${stages[@]}"; do
  case "$stage" in
    asan) asan ;;
    python) python_suite ;;
    tsan) tsan ;;
    *) echo "unknown stage: $stage (asan, python, tsan)" >&2; exit 2 ;;
  esac
done
echo "== sanitizer checks passed in $((SECONDS - total_start))s"
