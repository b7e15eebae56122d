#!/usr/bin/env bash
# The Python suite once per backend this machine can run.
#
# The default backend (what VELTRANE_BACKEND=auto takes here) runs every
# test. Each other backend (the one-item field, both emulations, and each
# native lane backend that auto does not take) runs the suite less what does
# not depend on the arithmetic behind it and costs the most there: the tools'
# tests (pure Python over the same calls), the leak tests (repetitions of the
# same boundary code, which is one for all backends), the curious bank's
# statistical scan of 10^4 request points, and the cross-backend tests (they
# choose their backends themselves and compare their bytes). Every backend
# still meets every function's results, failures and messages.
#
# The runs go two at a time (JOBS), each with its own temporary folder; each
# run's output is printed whole when it ends.
#
# Usage: scripts/py_test.sh [pytest arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."
python="${PYTHON:-python3}"
# shellcheck source=side_by_side.sh
. scripts/side_by_side.sh

flags=" $(grep -m1 '^flags' /proc/cpuinfo 2>/dev/null | cut -d: -f2) "
has() { for f in "$@"; do [[ "$flags" == *" $f "* ]] || return 1; done; }
# Native lane backends here, fastest first: auto takes the first.
native=()
if has avx512f avx512ifma; then native+=(ifma); fi
if has avx512f; then native+=(avx512f); fi
if has avx2; then native+=(avx2); fi
others=(scalar portable portable25)
if [ ${#native[@]} -gt 1 ]; then others+=("${native[@]:1}"); fi

once=(--ignore=tests/driver --ignore=tests/test_leaks.py --ignore=tests/test_backends.py
      --deselect "tests/test_peer_privacy.py::test_a_bank_cannot_tell_missed_lookups_by_any_test_of_its_request")

run() {  # backend pytest-arguments...
  local backend="$1"
  shift
  echo "== VELTRANE_BACKEND=$backend"
  VELTRANE_BACKEND="$backend" "$python" -m pytest -q -p no:cacheprovider \
    --basetemp "build/pytest/$backend" "$@" tests
}
mkdir -p build/pytest
side_by_side_add auto run auto "$@"
for backend in "${others[@]}"; do
  side_by_side_add "$backend" run "$backend" "${once[@]}" "$@"
done
side_by_side_run
