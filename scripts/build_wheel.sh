#!/usr/bin/env bash
# Builds the sdist, then the wheel from that sdist, for $PYTHON (default
# python3), and repairs the wheel with auditwheel to the oldest manylinux tag
# its symbols allow. Results: dist/veltrane-<version>.tar.gz and
# dist/veltrane-<version>-<tags>.whl (earlier files in dist/ are removed).
#
# The extension must need no library outside the manylinux set: if auditwheel
# had to copy one into the wheel (a veltrane.libs folder), this script fails
# instead of shipping it.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
python="${PYTHON:-python3}"
export CMAKE_BUILD_PARALLEL_LEVEL="${JOBS:-2}"
raw="$root/build/wheel-raw"
dist="$root/dist"
rm -rf "$raw" "$dist"
mkdir -p "$raw" "$dist"

cd "$root"
# Without isolation the build uses this environment's scikit-build-core and
# ninja (scripts/install-deps.sh wheel), so it needs no network.
"$python" -m build --no-isolation --outdir "$raw" .
sdist="$(ls "$raw"/*.tar.gz)"
wheel="$(ls "$raw"/*.whl)"
cp "$sdist" "$dist/"

"$python" -m auditwheel show "$wheel"
"$python" -m auditwheel repair --wheel-dir "$dist" "$wheel"
repaired="$(ls "$dist"/*.whl)"
if "$python" -m zipfile -l "$repaired" | grep -q '\.libs/'; then
  echo "auditwheel copied libraries into $repaired; the extension must need none:" >&2
  "$python" -m zipfile -l "$repaired" | grep '\.libs/' >&2
  exit 1
fi
"$python" -m twine check --strict "$dist"/*
echo "== built: $(basename "$sdist") and $(basename "$repaired") in dist/"
