#!/usr/bin/env python3
"""Fails when AVX-512 instructions appear outside the IFMA lane code.

The IFMA backend is compiled for AVX-512 in one region of its own unit; code
shared with the rest of the build must never be emitted from there, or a
processor without AVX-512 would meet an illegal instruction in ordinary
paths. This disassembles a binary and checks that every function using zmm
registers, opmask registers or IFMA instructions belongs to the IFMA lanes.

    python3 scripts/avx512_scan.py BINARY...
"""
import re
import subprocess
import sys

AVX512 = re.compile(r"%zmm|%k[0-7]\b|vpmadd52|\{%k")
ALLOWED = ("IfmaU64x8", "make_ifma_backend", "make_ifma_lane_ops", "ifma_bench")


def functions_using_avx512(binary: str) -> dict[str, int]:
    dump = subprocess.run(["objdump", "-d", "--no-show-raw-insn", "-C", binary],
                          check=True, capture_output=True, text=True).stdout
    found: dict[str, int] = {}
    current = None
    for line in dump.splitlines():
        header = re.match(r"^[0-9a-f]+ <(.*)>:$", line)
        if header:
            current = header.group(1)
        elif current and AVX512.search(line):
            found[current] = found.get(current, 0) + 1
    return found


def main() -> int:
    bad = 0
    for binary in sys.argv[1:]:
        found = functions_using_avx512(binary)
        stray = {f: n for f, n in found.items() if not any(a in f for a in ALLOWED)}
        print(f"{binary}: {len(found)} functions use AVX-512, {len(stray)} outside the IFMA lanes")
        for f, n in sorted(stray.items()):
            print(f"  {n:5d}  {f}")
        bad += len(stray)
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
