#!/usr/bin/env bash
# Installs the wheel in dist/ into a fresh virtual environment outside the
# source tree and checks it there, as a user who only has the wheel would:
#
#   - the extension resolves, and needs no shared library outside the
#     manylinux set (readelf's NEEDED entries and ldd's resolution);
#   - the package metadata an index shows (licence, classifiers, Python
#     versions, description);
#   - the README's worked example prints its stated result, natively and, on
#     x86-64 with qemu-user, on an emulated processor without AVX or AVX-512
#     (the wheel is built on whatever processor CI has, and must run on any);
#   - both commands start, and the driver's synthetic run passes.
#
# Usage: scripts/check_wheel.sh [WHEEL]   (default: the one wheel in dist/)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
python="${PYTHON:-python3}"
wheel="${1:-$(ls "$root"/dist/*.whl)}"
work="$(mktemp -d "${TMPDIR:-/tmp}/veltrane-wheel.XXXXXX")"
trap 'rm -rf "$work"' EXIT
case "$work" in "$root"/*) echo "scratch folder $work is inside the tree" >&2; exit 1 ;; esac

"$python" -m venv "$work/venv"
py="$work/venv/bin/python"
# --no-index: the wheel alone, nothing fetched and nothing built.
PIP_ROOT_USER_ACTION=ignore "$py" -m pip install -q --disable-pip-version-check --no-index "$wheel"
cd "$work"

extension="$("$py" -c 'import veltrane; print(veltrane.__file__)')"
case "$extension" in "$work"/venv/*) ;; *) echo "imported $extension, not the wheel's module" >&2; exit 1 ;; esac
echo "== extension: ${extension#"$work"/}"

# The libraries a manylinux wheel may take from the system (PEP 600's policy
# list, reduced to what a C++ module could ask for).
allowed="libc.so.6 libm.so.6 libstdc++.so.6 libgcc_s.so.1 libpthread.so.0 libdl.so.2 librt.so.1 ld-linux-x86-64.so.2 ld-linux-aarch64.so.1"
needed="$(readelf -d "$extension" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')"
echo "== needs: $(echo $needed)"
for lib in $needed; do
  case " $allowed " in *" $lib "*) ;; *) echo "the extension needs $lib, outside the manylinux set" >&2; exit 1 ;; esac
done
ldd_out="$(ldd "$extension")"
if grep -q 'not found' <<<"$ldd_out"; then echo "$ldd_out" >&2; exit 1; fi
while read -r name _; do
  case "$name" in linux-vdso.so.*|/*) continue ;; esac
  case " $allowed " in *" $name "*) ;; *) echo "ldd resolves $name, outside the manylinux set" >&2; echo "$ldd_out" >&2; exit 1 ;; esac
done <<<"$ldd_out"

"$py" - <<'PY'
from importlib.metadata import metadata
m = metadata("veltrane")
classifiers = m.get_all("Classifier") or []
for wanted in ("Topic :: Security :: Cryptography", "Operating System :: POSIX :: Linux",
               "Programming Language :: Python :: 3.11", "Programming Language :: Python :: 3.12",
               "Programming Language :: Python :: 3.13"):
    assert wanted in classifiers, f"classifier {wanted!r} missing"
assert m["Requires-Python"] == ">=3.11", m["Requires-Python"]
assert m["License"], "no licence"
assert m["Summary"] and "edwards25519" in m["Summary"], m["Summary"]
assert m["Description-Content-Type"] == "text/markdown", m["Description-Content-Type"]
print(f"== metadata: {m['Name']} {m['Version']}, licence {m['License']}, "
      f"Requires-Python {m['Requires-Python']}, {len(classifiers)} classifiers")
PY

# The README's worked example: its first Python block, whose last line states
# what it prints.
"$python" - "$root/README.md" "$work/example.py" <<'PY'
import re, sys
text = open(sys.argv[1], encoding="utf-8").read()
block = re.search(r"```python\n(.*?)```", text, re.S).group(1)
open(sys.argv[2], "w", encoding="utf-8").write(block)
PY
expected="$(sed -n 's/^print(.*#[[:space:]]*\(.*\)$/\1/p' "$work/example.py" | tail -1)"
[ -n "$expected" ] || { echo "the README's example states no result" >&2; exit 1; }
got="$("$py" "$work/example.py")"
[ "$got" = "$expected" ] || { echo "README example printed $got, expected $expected" >&2; exit 1; }
echo "== README example printed $got"
if [ "$(uname -m)" = x86_64 ] && command -v qemu-x86_64 >/dev/null 2>&1; then
  # qemu64 has SSE2 but neither AVX nor AVX-512: CPUID says so, and any
  # AVX2 or AVX-512 instruction that ran would end the process with SIGILL.
  got="$(qemu-x86_64 -cpu qemu64 "$py" "$work/example.py")"
  [ "$got" = "$expected" ] || { echo "README example under qemu64 printed $got, expected $expected" >&2; exit 1; }
  echo "== README example printed $got on an emulated qemu64 processor (no AVX, no AVX-512)"
  # Forcing lanes the processor lacks is refused with a clear message.
  for backend in avx2 avx512f ifma; do
    said="$(VELTRANE_BACKEND=$backend qemu-x86_64 -cpu qemu64 "$py" -c '
import veltrane
try:
    veltrane.decrypt(b"", bytes(32))
except BaseException as e:
    print(type(e).__name__, e)
')"
    case "$said" in
      "PanicException VELTRANE_BACKEND is \"$backend\", but this processor (or its operating system) cannot run "*) ;;
      *) echo "VELTRANE_BACKEND=$backend under qemu64 said: $said" >&2; exit 1 ;;
    esac
  done
  echo "== VELTRANE_BACKEND=avx2, avx512f and ifma refused there: $said"
else
  echo "== no qemu-x86_64: the run on a processor without AVX-512 is skipped"
fi

"$work/venv/bin/veltrane" --help >/dev/null
"$work/venv/bin/veltrane-match" --num-banks 2 --accounts-per-bank 2000 --num-payments 500 \
  --quiet --seed 7 >"$work/match.out" 2>&1 || { cat "$work/match.out" >&2; exit 1; }
tail -1 "$work/match.out"
echo "== wheel checked: $(basename "$wheel")"
