#!/usr/bin/env python3
"""Fails when AVX2 or AVX-512 instructions appear outside the lane code.

Each lane backend is compiled for its instruction set in one region of its
own unit; code shared with the rest of the build must never be emitted from
there, or a processor without that instruction set would meet an illegal
instruction in ordinary paths. This disassembles a binary and checks that
every function using zmm or opmask registers or IFMA instructions belongs to
the AVX-512 lanes (IFMA or AVX-512F), and every function using ymm registers
to those or to the AVX2 lanes. The AVX2 lanes themselves must use nothing
of AVX-512: no zmm or opmask registers, no ymm16-31, no instruction that
only AVX-512 encodes for ymm.

    python3 scripts/vector_scan.py BINARY...
"""
import re
import subprocess
import sys

# AVX-512: zmm and opmask registers, IFMA, and what AVX-512VL adds to ymm
# code (the upper sixteen registers, instructions with no VEX form).
AVX512 = re.compile(r"%zmm|%k[0-7]\b|vpmadd52|\{%k"
                    r"|%ymm(1[6-9]|2[0-9]|3[01])\b|vpternlog|vpsraq|vpmullq|vprol|vpror")
YMM = re.compile(r"%ymm")
AVX512_OWNERS = ("IfmaU64x8", "Avx512U64x8", "make_ifma_", "make_avx512f_", "ifma_bench",
                 "avx512f_bench")
AVX2_OWNERS = ("Avx2U64x4", "make_avx2_", "avx2_bench")
YMM_OWNERS = AVX512_OWNERS + AVX2_OWNERS


def functions_using(binary: str) -> dict[str, dict[str, int]]:
    """{kind: {function: number of lines}}"""
    dump = subprocess.run(["objdump", "-d", "--no-show-raw-insn", "-C", binary],
                          check=True, capture_output=True, text=True).stdout
    found: dict[str, dict[str, int]] = {"avx512": {}, "ymm": {}}
    current = None
    for line in dump.splitlines():
        header = re.match(r"^[0-9a-f]+ <(.*)>:$", line)
        if header:
            current = header.group(1)
            continue
        if not current:
            continue
        for kind, pattern in (("avx512", AVX512), ("ymm", YMM)):
            if pattern.search(line):
                found[kind][current] = found[kind].get(current, 0) + 1
    return found


def main() -> int:
    bad = 0
    for binary in sys.argv[1:]:
        found = functions_using(binary)
        for kind, owners in (("avx512", AVX512_OWNERS), ("ymm", YMM_OWNERS)):
            uses = found[kind]
            # The AVX2 lanes are not AVX-512 owners: any AVX-512 in them is stray.
            stray = {f: n for f, n in uses.items() if not any(o in f for o in owners)}
            print(f"{binary}: {len(uses)} functions use {kind}, {len(stray)} outside the lanes")
            for f, n in sorted(stray.items()):
                print(f"  {n:5d}  {f}")
            bad += len(stray)
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
