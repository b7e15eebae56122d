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
# Usage: scripts/py_test.sh [pytest arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."
python="${PYTHON:-python3}"

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

echo "== VELTRANE_BACKEND=auto (${native[0]:-scalar}): every test"
VELTRANE_BACKEND=auto "$python" -m pytest -q "$@" tests
for backend in "${others[@]}"; do
  echo "== VELTRANE_BACKEND=$backend"
  VELTRANE_BACKEND="$backend" "$python" -m pytest -q "${once[@]}" "$@" tests
done
