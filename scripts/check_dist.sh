#!/usr/bin/env bash
# Proves each wheel in dist/ (scripts/build_dist.sh) is what its name says:
# auditwheel reports its manylinux_2_28 tag; no GLIBC_ symbol version above
# 2.28 and no C++ runtime (libstdc++, libgcc_s) among the needed libraries;
# abi3audit finds only the limited API of 3.11; and pip, asked as a 3.11, 3.12
# and 3.13 machine of that architecture, accepts it.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
python="${PYTHON:-python3}"
work="$root/build/dist/check"
rm -rf "$work"
mkdir -p "$work"

for arch in x86_64 aarch64; do
  tag="manylinux_2_28_$arch"
  wheel="$(ls "$root"/dist/veltrane-*-cp311-abi3-"$tag".whl)"
  echo "== $(basename "$wheel")"
  "$python" -m auditwheel show "$wheel" | tee "$work/show-$arch.txt"
  # auditwheel names the oldest policy the symbols meet (2_26 with today's
  # zig); the wheel's 2_28 must be at or after it.
  floor="$(grep -o "\"manylinux_2_[0-9]*_$arch\"" "$work/show-$arch.txt" | head -1 | sed 's/"manylinux_2_\([0-9]*\)_.*/\1/')"
  [ -n "$floor" ] && [ "$floor" -le 28 ] ||
    { echo "auditwheel does not find the wheel consistent with $tag" >&2; exit 1; }
  echo "auditwheel: consistent with manylinux_2_$floor, so with $tag"

  "$python" -m zipfile -e "$wheel" "$work/$arch"
  so="$work/$arch/veltrane.abi3.so"
  newest="$(readelf -V -W "$so" | grep -o 'GLIBC_[0-9.]*' | sed 's/GLIBC_//' | sort -uV | tail -1)"
  echo "newest GLIBC_ version: $newest"
  [ "$(printf '%s\n2.28\n' "$newest" | sort -V | tail -1)" = 2.28 ] ||
    { echo "needs GLIBC_$newest, newer than 2.28" >&2; exit 1; }
  needed="$(readelf -d -W "$so" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | tr '\n' ' ')"
  echo "needed: $needed"
  case " $needed " in *libstdc++*|*libgcc_s*|*libc++*)
    echo "the C++ runtime must be linked in, not needed" >&2; exit 1 ;; esac

  "$python" -m abi3audit --strict --assume-minimum-abi3 3.11 "$wheel"

  for version in 3.11 3.12 3.13; do
    "$python" -m pip install -q --disable-pip-version-check --dry-run --no-index \
      --find-links "$root/dist" --only-binary=:all: --platform "$tag" \
      --python-version "$version" --target "$work/pip-$arch-$version" --report "$work/report.json" \
      veltrane
    grep -q "$(basename "$wheel")" "$work/report.json" ||
      { echo "pip for $version on $arch would not take $(basename "$wheel")" >&2; exit 1; }
    echo "pip accepts it for CPython $version on $arch"
  done
done
