"""build_okvs: the store's byte form, read back by an independent decoder.

The decoder here is written from the byte layout (three little-endian seeds,
m sparse cells, 32 dense cells of 64 bytes) and XXH3 from the xxhash package,
and turns representatives into points with a plain Elligator 2 map over the
reference curve code.
"""
import math
import textwrap

import pytest
import veltrane
import xxhash

import edwards_ref as ref
from conftest import run_python
from protocol_support import panic

P = ref.P
A = 486662


def sparse_size(n):
    return math.ceil(n * 2.4)


def store_length(n):
    return 2072 + 64 * sparse_size(n)


class Store:
    def __init__(self, data):
        data = bytes(data)
        self.seeds = [int.from_bytes(data[8 * i:8 * i + 8], "little") for i in range(3)]
        self.m = (len(data) - 2072) // 64
        self.sparse = [data[24 + 64 * j:88 + 64 * j] for j in range(self.m)]
        self.dense = [data[len(data) - 2048 + 64 * i:len(data) - 1984 + 64 * i] for i in range(32)]

    def decode(self, row):
        key = "".join(row).encode("utf-8")
        first = xxhash.xxh3_64_intdigest(key, seed=self.seeds[0]) % self.m
        second = xxhash.xxh3_64_intdigest(key, seed=self.seeds[1]) % self.m
        h = xxhash.xxh3_64_intdigest(key, seed=self.seeds[2])
        x = int.from_bytes(self.sparse[first], "little") ^ int.from_bytes(self.sparse[second], "little")
        for i in range(32):
            if (h >> i) & 1:
                x ^= int.from_bytes(self.dense[i], "little")
        return x.to_bytes(64, "little")


def is_square(a):
    return a % P == 0 or pow(a, (P - 1) // 2, P) == 1


def representative_to_point(rep):
    n = int.from_bytes(rep, "little")
    r, sign = (n & ((1 << 255) - 1)) % P, n >> 255
    d = -A * pow(1 + 2 * r * r, P - 2, P) % P
    u = d if is_square(d * (d * d + A * d + 1)) else (-d - A) % P
    y = (u - 1) * pow(u + 1, P - 2, P) % P
    return ref.decompress((y | (sign << 255)).to_bytes(32, "little"))


def is_canonical_representative(rep):
    return rep[0] & 1 == 0 and int.from_bytes(rep, "little") & ((1 << 255) - 1) < P


def bank_rows(n, prefix="acct"):
    return [[f"{prefix}-{i:06d}", "DE", str(i % 5)] for i in range(n)]


def test_lengths_follow_the_number_of_keys():
    public, _ = veltrane.key_gen()
    assert len(veltrane.build_okvs(public, [])) == 2072
    one = veltrane.build_okvs(public, [["a"]])
    assert type(one) is list and len(one) == 2264
    assert all(type(b) is int and 0 <= b <= 255 for b in one)
    for n in (2, 3, 10, 1000):
        assert len(veltrane.build_okvs(public, bank_rows(n))) == store_length(n)


def test_stored_rows_decode_to_encryptions_of_the_neutral_element():
    public, secret = veltrane.key_gen()
    x = ref.scalar(secret)
    rows = bank_rows(3000)
    store = Store(veltrane.build_okvs(public, rows))
    for row in rows:
        value = store.decode(row)
        assert is_canonical_representative(value[:32]) and is_canonical_representative(value[32:])
    for row in rows[:: 600]:
        value = store.decode(row)
        a1, a2 = representative_to_point(value[:32]), representative_to_point(value[32:])
        assert a1 != ref.IDENTITY
        assert a2 == ref.mul(x, a1)
    # Rows never stored give bytes without that relation.
    stored_values = {store.decode(row) for row in rows}
    for i in range(3):
        value = store.decode([f"absent-{i}"])
        assert value not in stored_values
        assert representative_to_point(value[32:]) != ref.mul(x, representative_to_point(value[:32]))


def test_two_calls_give_different_stores_of_one_length():
    public, _ = veltrane.key_gen()
    rows = bank_rows(50)
    first, second = veltrane.build_okvs(public, rows), veltrane.build_okvs(public, rows)
    assert len(first) == len(second) and first != second


# Repeated keys would make every encoding attempt fail; these run in a child
# interpreter so that a regression hangs only the child.
def run_guarded(code, timeout=60):
    done = run_python(textwrap.dedent(code), timeout=timeout)
    assert done.returncode == 0, done.stderr
    return done.stdout


def test_rows_with_one_concatenation_are_stored_once():
    public, _ = veltrane.key_gen()
    out = run_guarded(f"""
        import veltrane
        store = veltrane.build_okvs({list(public)!r}, [["ab", "c"], ["a", "bc"], ["abc"], [], [""], ["", ""]])
        print(len(store))
    """)
    assert int(out) == store_length(2)
    store = Store(veltrane.build_okvs(public, [["ab", "c"], ["x"], ["a", "bc"]]))
    assert store.m == sparse_size(2)
    assert store.decode(["abc"]) == store.decode(["ab", "c"])
    assert is_canonical_representative(store.decode(["abc"])[:32])


def test_repeated_rows_are_stored_once():
    out = run_guarded("""
        import veltrane
        public, _ = veltrane.key_gen()
        rows = [[f"r{i % 1000}", "x"] for i in range(5000)]
        print(len(veltrane.build_okvs(public, rows)))
    """)
    assert int(out) == store_length(1000)


ORDER_ONE_OR_TWO = {
    "identity": bytes([1]) + bytes(31),
    "identity, sign bit set": bytes([1]) + bytes(30) + bytes([0x80]),
    "identity, y = p + 1": bytes([0xee]) + bytes([0xff] * 30) + bytes([0x7f]),
    "(0, -1)": bytes([0xec]) + bytes([0xff] * 30) + bytes([0x7f]),
    "(0, -1), sign bit set": bytes([0xec]) + bytes([0xff] * 31),
}


@pytest.mark.parametrize("name", ORDER_ONE_OR_TWO)
def test_public_keys_of_order_one_or_two_are_rejected(name):
    out = run_guarded(f"""
        import veltrane
        try:
            veltrane.build_okvs({ORDER_ONE_OR_TWO[name]!r}, [["a"], ["b"]])
        except BaseException as e:
            print(type(e).__name__, e, sep=":")
    """)
    assert out.strip() == "PanicException:The public key is a point of order 1 or 2."


def small_order_points():
    """A point of order 4 and one of order 8, from the reference curve."""
    order4 = ref.decompress(bytes(32))  # y = 0
    for y in range(3, 100):
        point = ref.decompress(bytes([y]) + bytes(31))
        if point is None:
            continue
        torsion = ref.mul(ref.L, point)
        if ref.mul(4, torsion) != ref.IDENTITY:
            return order4, torsion
    raise AssertionError("no point with a torsion part of order 8")


def test_public_keys_of_order_four_eight_or_mixed_order_still_build():
    order4, order8 = small_order_points()
    keys = [ref.compress(order4), ref.compress(order8), ref.compress(ref.add(ref.BASE, order4))]
    out = run_guarded(f"""
        import veltrane
        for key in {keys!r}:
            print(len(veltrane.build_okvs(key, [["a"], ["b"], ["c"]])))
    """)
    assert out.split() == [str(store_length(3))] * 3


def test_public_key_errors():
    assert panic(veltrane.build_okvs, bytes(31), [["a"]]) == (
        "source slice length (31) does not match destination slice length (32)")
    assert panic(veltrane.build_okvs, bytes([2]) + bytes(31), [["a"]]) == (
        "The public key was not a valid curve point.")
