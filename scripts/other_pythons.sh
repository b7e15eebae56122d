#!/usr/bin/env bash
# The Python test suite against every CPython 3.11 or newer on this machine
# other than the one `make test` used ($PYTHON, default python3).
#
# Interpreters are looked for among pyenv's versions and as python3.N on PATH.
# Each gets its own virtual environment in build/pythons/<version>/, with the
# test dependencies and the module built from this tree for that interpreter
# (its build directory is build/<wheel tag>/, so reruns are incremental), and
# the suite runs there once, on the default backend (the backends themselves
# do not depend on the interpreter; make test runs the suite on each).
#
# With VELTRANE_WHEEL=<wheel> it tests that one (abi3) wheel instead, on every
# CPython 3.11+ found, $PYTHON's own version included: nothing is built.
#
# Usage: scripts/other_pythons.sh        (no arguments)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
primary="${PYTHON:-python3}"
jobs="${JOBS:-2}"

# version_of PYTHON: "X.Y.Z" for a CPython 3.11 or newer, nothing otherwise.
version_of() {
  "$1" - 2>/dev/null <<'PY' || true
import platform, sys
if platform.python_implementation() == "CPython" and sys.version_info >= (3, 11):
    print(platform.python_version())
PY
}

candidates=()
if command -v pyenv >/dev/null 2>&1; then
  while read -r v; do
    prefix="$(pyenv prefix "$v" 2>/dev/null)" || continue
    [ -x "$prefix/bin/python3" ] && candidates+=("$prefix/bin/python3")
  done < <(pyenv versions --bare 2>/dev/null)
fi
for n in $(seq 11 30); do
  p="$(command -v "python3.$n" 2>/dev/null)" || continue
  "$p" -c '' 2>/dev/null && candidates+=("$p")  # pyenv shims that lead nowhere fail here
done

wheel="${VELTRANE_WHEEL:-}"
skip="$(version_of "$primary")"
if [ -n "$wheel" ]; then
  wheel="$(cd "$(dirname "$wheel")" && pwd)/$(basename "$wheel")"
  candidates=("$primary" "${candidates[@]}")
  skip=""
fi
found=()
declare -A seen=()
[ -n "$skip" ] && seen[$skip]=1
for p in "${candidates[@]}"; do
  v="$(version_of "$p")"
  [ -n "$v" ] && [ -z "${seen[$v]:-}" ] || continue
  seen[$v]=1
  found+=("$v=$p")
done

if [ ${#found[@]} -eq 0 ]; then
  echo "== other CPythons: none found besides ${skip:-$primary} (pyenv and python3.N on PATH); skipped"
  exit 0
fi
echo "== other CPythons: found ${found[*]%%=*} (besides ${skip:-$primary}, which make test ran)"

# One interpreter: its virtual environment, the module (the wheel, or built
# from the tree), the suite.
test_one() {  # version interpreter
  local v="$1" interpreter="$2" start=$SECONDS
  local venv="$root/build/pythons/$v"
  echo "== CPython $v ($interpreter)"
  [ -x "$venv/bin/python" ] || "$interpreter" -m venv "$venv"
  local py="$venv/bin/python"
  PYTHON="$py" bash "$root/scripts/install-deps.sh" test
  if [ -n "$wheel" ]; then
    PIP_ROOT_USER_ACTION=ignore "$py" -m pip install -q --disable-pip-version-check \
      --no-index --force-reinstall --no-deps "$wheel"
  else
    (cd "$root" && PIP_ROOT_USER_ACTION=ignore CMAKE_BUILD_PARALLEL_LEVEL="$jobs" \
      "$py" -m pip install -q --disable-pip-version-check --no-build-isolation .)
  fi
  # The suite must import the module built for this interpreter, not the tree.
  (cd "$root/build" && "$py" -c "import sys, veltrane; assert veltrane.__file__.startswith(sys.prefix), veltrane.__file__")
  (cd "$root" && "$py" -m pytest -q -p no:cacheprovider --basetemp "build/pytest/cpython-$v" tests)
  echo "== CPython $v passed in $((SECONDS - start))s"
}

# With a wheel, nothing is compiled, so the interpreters' suites run two at a
# time; building from the tree, one after another (each build takes both
# processors).
# shellcheck source=side_by_side.sh
. "$root/scripts/side_by_side.sh"
mkdir -p "$root/build/pytest"
for entry in "${found[@]}"; do
  side_by_side_add "CPython ${entry%%=*}" test_one "${entry%%=*}" "${entry#*=}"
done
if [ -n "$wheel" ]; then JOBS=2 side_by_side_run; else JOBS=1 side_by_side_run; fi
