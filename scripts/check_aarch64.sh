#!/usr/bin/env bash
# Runs the aarch64 wheel in dist/ on an emulated aarch64 machine: Debian's
# arm64 CPython 3.11 unpacked into build/arm64-python/ (no arm64 package is
# installed into the system), run by qemu-user-static. On it: the README's
# worked example, and the protocol tests (the seven calls end to end against
# the Python reference, the pool sizes and forks: the most protocol per
# emulated minute; the argument and memory suites test the binding, which is
# the same code on both architectures).
#
# Usage: scripts/check_aarch64.sh [WHEEL]   (default: dist/*aarch64.whl)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
python="${PYTHON:-python3}"
wheel="${1:-$(ls "$root"/dist/*-manylinux_2_28_aarch64.whl)}"
base="$root/build/arm64-python"
sysroot="$base/root"
site="$base/site"
debs=(python3.11-minimal libpython3.11-minimal libpython3.11-stdlib libc6 libexpat1 zlib1g
      libssl3 libffi8 libbz2-1.0 liblzma5 libsqlite3-0 libncursesw6 libtinfo6 libreadline8
      libuuid1 libcrypt1 libgcc-s1 libdb5.3 libnsl2 libtirpc3)

if [ ! -x "$sysroot/usr/bin/python3.11" ]; then
  if ! dpkg --print-foreign-architectures | grep -qx arm64; then
    dpkg --add-architecture arm64
    apt-get update -qq
  fi
  rm -rf "$base" && mkdir -p "$base/debs" "$sysroot"
  (cd "$base/debs" && apt-get download -qq "${debs[@]/%/:arm64}" 2>/dev/null)
  for deb in "$base"/debs/*.deb; do dpkg -x "$deb" "$sysroot"; done
fi
# pytest and its pure-Python dependencies, unpacked onto the emulated path.
if [ ! -d "$base/tools/_pytest" ]; then
  mkdir -p "$base/wheels" "$base/tools"
  "$python" -m pip download -q --disable-pip-version-check --only-binary=:all: --no-deps \
    --dest "$base/wheels" pytest iniconfig pluggy packaging pygments
  for w in "$base"/wheels/*.whl; do "$python" -m zipfile -e "$w" "$base/tools"; done
fi
rm -rf "$site" && mkdir -p "$site"
"$python" -m zipfile -e "$wheel" "$site"

# The interpreter names itself through qemu's argv[0] (-0), so tests that
# start sys.executable start it emulated too.
emulated="$base/python3"
cat >"$emulated" <<SH
#!/bin/sh
exec qemu-aarch64-static -L "$sysroot" -0 "$emulated" "$sysroot/usr/bin/python3.11" "\$@"
SH
chmod +x "$emulated"
export PYTHONPATH="$site:$base/tools"

cd "$base"
"$emulated" -c 'import platform, veltrane; print("==", platform.machine(), veltrane.__file__)' |
  tee "$base/machine.txt"
grep -q "== aarch64 $site/veltrane.abi3.so" "$base/machine.txt"
sed -n '/^```python/,/^```/p' "$root/README.md" | sed '1d;$d' >"$base/example.py"
result="$("$emulated" "$base/example.py")"
echo "worked example on aarch64: $result"
[ "$result" = "[True, False]" ] || { echo "expected [True, False]" >&2; exit 1; }
cd "$root"
"$emulated" -m pytest -q -p no:cacheprovider tests/test_protocol.py
