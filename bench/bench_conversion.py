"""Cost of moving data across the Python boundary of `veltrane`.

Argument conversion: `decrypt(points, b"x" * 31)` converts `points`, then the
31-byte key and stops on the key's length before reading any point, so its
time is the conversion of `points` (plus a constant call overhead).

Result building: no operation produces a large result without crypto work,
so the figure reported is `decrypt(points, one)` on 31,250 base points (a
1,000,000-int result) per output element, an upper bound dominated by the
scalar multiplications; CPython's own `list(bytes)` (the same small-int list
building) is printed beside it as the floor.

Run: python bench/bench_conversion.py [repeats]
"""

import contextlib
import os
import sys
import time

import veltrane

N = 1_000_000
BASE = bytes([0x58]) + bytes([0x66]) * 31
ONE = bytes([1]) + bytes(31)


def best_time(call, repeats):
    best = float("inf")
    for _ in range(repeats):
        start = time.perf_counter()
        call()
        best = min(best, time.perf_counter() - start)
    return best


def stopped_call(function, *args):
    """Calls function, accepting the error that ends it after conversion."""
    def call():
        try:
            function(*args)
        except BaseException as error:  # PanicException from the key check
            if isinstance(error, Exception):
                raise
    return call


@contextlib.contextmanager
def quiet_stderr():
    """Drops the native fatal-error reports that every stopped call writes."""
    sys.stderr.flush()
    saved = os.dup(2)
    with open(os.devnull, "w") as null:
        os.dup2(null.fileno(), 2)
    try:
        yield
    finally:
        os.dup2(saved, 2)
        os.close(saved)


def report(label, seconds, elements):
    print(f"{label:<44} {seconds * 1e3:9.2f} ms  {seconds / elements * 1e9:7.2f} ns/element")


def main():
    repeats = int(sys.argv[1]) if len(sys.argv) > 1 else 5
    data = bytes(range(256)) * (N // 256) + bytes(N % 256)
    short_key = b"x" * 31
    for label, value in [("bytes", data), ("bytearray", bytearray(data)),
                         ("list of ints", list(data)), ("tuple of ints", tuple(data))]:
        with quiet_stderr():
            seconds = best_time(stopped_call(veltrane.decrypt, value, short_key), repeats)
        report(f"argument: {N:,}-element {label}", seconds, N)

    rows = [[f"account-{i}", "column"] for i in range(N // 10)]
    with quiet_stderr():
        seconds = best_time(stopped_call(veltrane.build_okvs, b"x" * 31, rows), repeats)
    report(f"argument: {len(rows):,} rows of 2 str", seconds, 2 * len(rows))

    seconds = best_time(lambda: list(data), repeats)
    report(f"floor: CPython list(bytes) of {N:,}", seconds, N)
    points = BASE * (N // 32)
    seconds = best_time(lambda: veltrane.decrypt(points, ONE), max(1, repeats // 2))
    report(f"result: decrypt to a {len(points):,}-int list (upper bound)", seconds, len(points))


if __name__ == "__main__":
    main()
