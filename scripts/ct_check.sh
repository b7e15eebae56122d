#!/usr/bin/env bash
# Constant-time check of the group arithmetic: builds group_ct_check and runs
# it under valgrind memcheck with the secret scalars and field inputs marked
# undefined. Fails when any branch or memory address depends on a secret
# ("Conditional jump or move depends on uninitialised value",
# "Use of uninitialised value").
#
# Usage: scripts/ct_check.sh [build-dir]   (default: build/ct)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build/ct}"

command -v valgrind >/dev/null || { echo "valgrind not found" >&2; exit 2; }

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release \
  -DVELTRANE_BUILD_TESTS=ON -DVELTRANE_BUILD_EXTENSION=OFF >/dev/null
cmake --build "$build" --target group_ct_check -j2 >/dev/null

log="$(mktemp)"
trap 'rm -f "$log"' EXIT
status=0
valgrind --tool=memcheck --error-exitcode=1 --track-origins=yes \
  "$build/src/group/group_ct_check" >"$log" 2>&1 || status=$?
if [ "$status" -ne 0 ] ||
   grep -qE "Conditional jump or move depends on uninitialised value|Use of uninitialised value" "$log"; then
  cat "$log" >&2
  echo "constant-time check FAILED" >&2
  exit 1
fi
grep -E "constant-time paths ran|ERROR SUMMARY" "$log"
echo "constant-time check passed"
