"""Cost of moving data across the Python boundary of `veltrane`.

Argument conversion: `decrypt(points, b"x" * 31)` converts `points`, then the
31-byte key and stops on the key's length before reading any point, so its
time is the conversion of `points` (plus a constant call overhead). Every
form a caller is likely to hold is timed: objects that export a buffer of
unsigned bytes (bytes, bytearray, memoryview, mmap, array('B'), a NumPy uint8
array when NumPy is installed) and plain lists and tuples of ints.

Store size: `initiate_queries` on a fixed number of payments against stores
of 10^3 and 10^5 rows, each store passed as `bytes` and as the list of ints
that `build_okvs` returns. Apart from the lookups themselves, which touch a
few cells per payment, the time should not depend on the store's size when
the store arrives as a buffer.

Result building: no operation produces a large result without crypto work,
so the figure reported is `decrypt(points, one)` on 31,250 base points (a
1,000,000-int result) per output element, an upper bound dominated by the
scalar multiplications; CPython's own `list(bytes)` (the same small-int list
building) is printed beside it as the floor.

Run: python bench/bench_conversion.py [repeats]
"""

import array
import contextlib
import mmap
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


def report(label, seconds, elements, unit="ns/element", scale=1e9):
    print(f"{label:<48} {seconds * 1e3:9.3f} ms  {seconds / elements * scale:9.3f} {unit}")


def byte_forms(data):
    """(label, value) for every form of the same bytes; the mmap is anonymous."""
    mapped = mmap.mmap(-1, len(data))
    mapped.write(data)
    forms = [("bytes", data), ("bytearray", bytearray(data)), ("memoryview", memoryview(data)),
             ("mmap", mapped), ("array('B')", array.array("B", data))]
    try:
        import numpy
    except ImportError:
        print("(numpy not installed: no uint8 array figure)")
    else:
        forms.append(("numpy uint8 array", numpy.frombuffer(data, dtype=numpy.uint8)))
    forms += [("list of ints", list(data)), ("tuple of ints", tuple(data))]
    return forms


def store_size_figures(repeats, payments=1_000, sizes=(1_000, 100_000)):
    public_key, _ = veltrane.key_gen()
    coordinator_key, _ = veltrane.key_gen()
    queries = [[f"account-{i}"] for i in range(payments)]
    for rows in sizes:
        store = veltrane.build_okvs(public_key, [[f"account-{i}"] for i in range(rows)])
        for label, value in [("bytes", bytes(store)), ("list of ints", store)]:
            seconds = best_time(lambda: veltrane.initiate_queries(
                queries, queries, value, value, coordinator_key), repeats)
            report(f"initiate_queries: {payments:,} x {rows:,}-row {label}", seconds, payments,
                   "µs/payment", 1e6)


def main():
    repeats = int(sys.argv[1]) if len(sys.argv) > 1 else 5
    data = bytes(range(256)) * (N // 256) + bytes(N % 256)
    short_key = b"x" * 31
    for label, value in byte_forms(data):
        try:
            with quiet_stderr():
                seconds = best_time(stopped_call(veltrane.decrypt, value, short_key), repeats)
        except Exception as error:  # a form this build does not read
            print(f"argument: {N:,}-element {label:<24} refused: {error}")
            continue
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

    store_size_figures(max(1, repeats // 2))


if __name__ == "__main__":
    main()
