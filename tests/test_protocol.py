"""The whole protocol between two banks and a coordinator, and its failure texts."""
import os
import subprocess
import sys
import textwrap

import pytest
import veltrane

import edwards_ref as ref
from protocol_support import (IDENTITY_BYTES, INVALID_POINT, Party, panic, residue,
                              run_protocol)

ROWS = 2000


def bank_rows(prefix, n=ROWS):
    return [[f"{prefix}-{i:05d}", "branch", str(i % 7)] for i in range(n)]


@pytest.fixture(scope="module")
def world():
    a, b, c = Party(), Party(), Party()
    rows_a, rows_b = bank_rows("A"), bank_rows("B")
    store_a = veltrane.build_okvs(a.public, rows_a)
    store_b = veltrane.build_okvs(b.public, rows_b)
    return a, b, c, rows_a, rows_b, store_a, store_b


def payments(rows_a, rows_b):
    """Every combination of stored and unstored sender and receiver rows."""
    senders, receivers, truth = [], [], []
    for i in range(40):
        s_known, r_known = i % 2 == 0, (i // 2) % 2 == 0
        senders.append(rows_a[i * 37] if s_known else [f"A-{90000 + i}", "branch", "1"])
        receivers.append(rows_b[i * 41] if r_known else [f"B-{90000 + i}", "branch", "2"])
        truth.append(s_known and r_known)
    return senders, receivers, truth


def test_truth_table(world):
    a, b, c, rows_a, rows_b, store_a, store_b = world
    senders, receivers, truth = payments(rows_a, rows_b)
    assert run_protocol(a, b, c, store_a, store_b, senders, receivers) == truth


def test_swapped_stores_never_match(world):
    a, b, c, rows_a, rows_b, store_a, store_b = world
    senders, receivers, _ = payments(rows_a, rows_b)
    assert not any(run_protocol(b, a, c, store_b, store_a, senders, receivers))


def test_fresh_ciphertexts_satisfy_the_decryption_relation(world):
    a, b, c, rows_a, rows_b, store_a, store_b = world
    senders, receivers, truth = payments(rows_a, rows_b)
    out = bytes(veltrane.initiate_queries(senders[:8], receivers[:8], store_a, store_b, c.public))
    assert len(out) == 8 * 128
    for k in range(8):
        v = residue(out[128 * k:128 * k + 128], a.x, b.x, c.x)
        assert (v == ref.IDENTITY) == truth[k]


def test_row_boundaries_do_not_matter(world):
    a, b, c, rows_a, rows_b, store_a, store_b = world
    split = [["".join(rows_a[5])[:3], "".join(rows_a[5])[3:]]]
    assert run_protocol(a, b, c, store_a, store_b, split, [rows_b[9]]) == [True]


@pytest.mark.parametrize("threads", ["1", "2", "3"])
def test_pool_sizes_give_the_same_booleans(threads):
    script = textwrap.dedent(f"""
        import sys
        sys.path.insert(0, {os.path.dirname(__file__)!r})
        import veltrane
        from protocol_support import Party, run_protocol
        a, b, c = Party(), Party(), Party()
        rows_a = [[f"a{{i}}"] for i in range(500)]
        rows_b = [[f"b{{i}}"] for i in range(500)]
        sa, sb = veltrane.build_okvs(a.public, rows_a), veltrane.build_okvs(b.public, rows_b)
        senders = [rows_a[i] if i % 3 else ["zz"] for i in range(60)]
        receivers = [rows_b[i] if i % 5 else ["yy"] for i in range(60)]
        want = [bool(i % 3) and bool(i % 5) for i in range(60)]
        assert run_protocol(a, b, c, sa, sb, senders, receivers) == want
        print("ok")
    """)
    env = dict(os.environ, RAYON_NUM_THREADS=threads)
    done = subprocess.run([sys.executable, "-c", script], env=env, capture_output=True,
                          text=True, timeout=300)
    assert done.returncode == 0, done.stderr
    assert done.stdout.strip() == "ok"


class TestInitiateQueries:
    def test_counts_and_empty_inputs(self, world):
        a, b, c, rows_a, rows_b, store_a, store_b = world
        out = veltrane.initiate_queries(rows_a[:3], rows_b[:5], store_a, store_b, c.public)
        assert len(out) == 384 and all(0 <= v <= 255 for v in out)
        assert veltrane.initiate_queries([], rows_b, store_a, store_b, c.public) == []

    def test_fresh_randomness(self, world):
        a, b, c, rows_a, rows_b, store_a, store_b = world
        one = veltrane.initiate_queries(rows_a[:2], rows_b[:2], store_a, store_b, c.public)
        two = veltrane.initiate_queries(rows_a[:2], rows_b[:2], store_a, store_b, c.public)
        assert one != two

    @pytest.mark.parametrize("length, message", [
        (5, "range end index 8 out of range for slice of length 5"),
        (2071, "slice index starts at 24 but ends at 23"),
    ])
    def test_short_stores_are_checked_first_even_without_queries(self, world, length, message):
        a, b, c, rows_a, rows_b, store_a, store_b = world
        bad = bytes(length)
        assert panic(veltrane.initiate_queries, [], [], bad, store_b, c.public) == message
        assert panic(veltrane.initiate_queries, [], [], store_a, bad, c.public) == message
        # The sending store is parsed before the receiving one, both before the key.
        assert panic(veltrane.initiate_queries, [], [], bad, bytes(3), b"") == message

    @pytest.mark.parametrize("key, message", [
        (bytes(31), "source slice length (31) does not match destination slice length (32)"),
        (bytes(33), "source slice length (33) does not match destination slice length (32)"),
        (INVALID_POINT, "The public key was not a valid curve point."),
    ])
    def test_bad_coordinator_key(self, world, key, message):
        a, b, c, rows_a, rows_b, store_a, store_b = world
        assert panic(veltrane.initiate_queries, [], [], store_a, store_b, key) == message

    def test_store_without_sparse_cells(self, world):
        a, b, c, rows_a, rows_b, store_a, store_b = world
        empty = veltrane.build_okvs(a.public, [])
        assert len(empty) == 2072
        assert veltrane.initiate_queries([], [], empty, empty, c.public) == []
        assert (panic(veltrane.initiate_queries, [["x"]], [["y"]], empty, store_b, c.public)
                == "attempt to calculate the remainder with a divisor of zero")


def valid_ciphertexts(world, n):
    a, b, c, rows_a, rows_b, store_a, store_b = world
    return bytes(veltrane.initiate_queries(rows_a[:n], rows_b[:n], store_a, store_b, c.public))


class TestRandomizeAndCombine:
    def test_randomize_keeps_matching_and_changes_bytes(self, world):
        a, b, c, *_ = world
        two = valid_ciphertexts(world, 2)
        once, twice = bytes(veltrane.randomize(two)), bytes(veltrane.randomize(two))
        assert len(once) == 256 and once != twice
        for out in (once, twice):
            assert residue(out[:128], a.x, b.x, c.x) == ref.IDENTITY

    def test_identity_ciphertext_is_fixed(self):
        assert bytes(veltrane.randomize(IDENTITY_BYTES * 4)) == IDENTITY_BYTES * 4

    def test_empty_inputs(self):
        assert veltrane.randomize(b"") == []
        assert veltrane.combine(b"", b"") == ([], [], [], [])
        assert veltrane.combine(b"", bytes(128)) == ([], [], [], [])

    @pytest.mark.parametrize("extra, message", [
        (2, "range end index 32 out of range for slice of length 2"),
        (72, "range end index 96 out of range for slice of length 72"),
    ])
    def test_randomize_short_last_chunk(self, world, extra, message):
        assert panic(veltrane.randomize, valid_ciphertexts(world, 1) + bytes(extra)) == message

    def test_combine_pairs_only_the_shorter_count(self, world):
        two = valid_ciphertexts(world, 2)
        lists = veltrane.combine(two, two + bytes(44))
        assert [len(x) for x in lists] == [64] * 4
        three = valid_ciphertexts(world, 3)
        assert (panic(veltrane.combine, two + bytes(44), three)
                == "range end index 64 out of range for slice of length 44")

    def test_combine_is_commutative_and_canonical(self, world):
        two = valid_ciphertexts(world, 2)
        first, second = two[:128], two[128:]
        assert veltrane.combine(first, second) == veltrane.combine(second, first)
        # An alias encoding (y = p + 1 for the identity) comes out canonical.
        alias = bytes([0xEE]) + bytes([0xFF] * 30) + bytes([0x7F])
        sums = veltrane.combine(first, alias * 4)
        assert b"".join(bytes(s) for s in sums) == first
        assert b"".join(bytes(s) for s in veltrane.combine(alias * 4, alias * 4)) == IDENTITY_BYTES * 4

    def test_non_point_component_anywhere(self, world):
        good = valid_ciphertexts(world, 2)
        for component in range(4):
            bad = bytearray(good)
            bad[128 + 32 * component:128 + 32 * component + 32] = INVALID_POINT
            unwrap = "called `Option::unwrap()` on a `None` value"
            assert panic(veltrane.randomize, bytes(bad)) == unwrap
            assert panic(veltrane.combine, good, bytes(bad)) == unwrap
            assert panic(veltrane.combine, bytes(bad), good) == unwrap

    def test_matching_and_non_matching_combine(self, world):
        a, b, c, rows_a, rows_b, store_a, store_b = world
        match = valid_ciphertexts(world, 1)
        miss = bytes(veltrane.initiate_queries([["nobody"]], rows_b[:1], store_a, store_b, c.public))
        flags = []
        for x, y in ((match, match), (match, miss)):
            s, r, g, d = veltrane.combine(x, y)
            flags += veltrane.finish(veltrane.decrypt(s, a.secret), veltrane.decrypt(r, b.secret),
                                     g, d, c.secret)
        assert flags == [True, False]


class TestDecryptAndFinish:
    SLICE = "source slice length ({}) does not match destination slice length (32)"
    UNWRAP = "called `Option::unwrap()` on a `None` value"

    def test_decrypt_key_checks(self):
        assert veltrane.decrypt(b"", bytes(32)) == []
        for n in (31, 33):
            assert panic(veltrane.decrypt, b"", bytes(n)) == self.SLICE.format(n)

    def test_decrypt_pieces_in_order(self):
        base = ref.compress(ref.BASE)
        assert panic(veltrane.decrypt, base + bytes(8), bytes(32)) == self.SLICE.format(8)
        assert panic(veltrane.decrypt, INVALID_POINT + bytes(8), bytes(32)) == self.UNWRAP
        points = [base] * 10
        points[3] = INVALID_POINT
        points[7] = INVALID_POINT
        assert panic(veltrane.decrypt, b"".join(points) + bytes(4), bytes(32)) == self.UNWRAP

    def test_decrypt_reads_keys_unreduced_without_bit_255(self):
        base = ref.compress(ref.BASE)
        for key in (bytes(32), bytes(31) + b"\x80"):
            assert bytes(veltrane.decrypt(base * 2, key)) == IDENTITY_BYTES * 2
        small = bytes([5]) + bytes(30)
        assert (veltrane.decrypt(base, small + bytes([0x83]))
                == veltrane.decrypt(base, small + bytes([3])))
        # A point of mixed order: only its prime-order component is multiplied.
        mixed = ref.add(ref.BASE, ref.decompress(bytes(32)))
        out = bytes(veltrane.decrypt(ref.compress(mixed), bytes([0xFF] * 32)))
        assert out == ref.compress(ref.mul(2**255 - 1, ref.BASE))

    def test_finish_counts_and_truncation(self):
        c = Party()
        ident = IDENTITY_BYTES
        assert veltrane.finish(b"", b"", b"", b"", c.secret) == []
        assert veltrane.finish(ident * 2, ident * 3, ident * 3, ident * 3, c.secret) == [True, True]
        assert veltrane.finish(ident + b"\x00", ident, ident, ident, c.secret) == [True]
        assert (panic(veltrane.finish, ident + b"\x00", ident + b"\x00", ident + b"\x00",
                      ident + b"\x00", c.secret) == self.SLICE.format(1))
        assert panic(veltrane.finish, b"", b"", b"", b"", bytes(33)) == self.SLICE.format(33)

    def test_finish_order_of_failures(self):
        ident = IDENTITY_BYTES
        c = Party()
        # Position 0: the receiver piece is short and the gamma piece is no point.
        assert (panic(veltrane.finish, ident * 2, ident + bytes(3), INVALID_POINT * 2, ident * 2,
                      c.secret) == self.UNWRAP)
        assert (panic(veltrane.finish, ident, bytes(3), INVALID_POINT, ident, c.secret)
                == self.SLICE.format(3))

    def test_finish_compares_points_not_encodings(self, world):
        a, b, c, rows_a, rows_b, store_a, store_b = world
        s, r, g, d = veltrane.combine(valid_ciphertexts(world, 1), valid_ciphertexts(world, 1))
        sp, rp = veltrane.decrypt(s, a.secret), veltrane.decrypt(r, b.secret)
        assert veltrane.finish(sp, rp, g, d, c.secret) == [True]
        assert veltrane.finish(sp, rp, g, ref.compress(ref.BASE), c.secret) == [False]
        # The identity as y = p + 1, and with the sign bit set on x = 0.
        ident = IDENTITY_BYTES
        aliases = bytes([0xEE]) + bytes([0xFF] * 30) + bytes([0x7F]) + bytes([1]) + bytes(30) + b"\x80"
        assert veltrane.finish(ident * 2, ident * 2, ident * 2, aliases, c.secret) == [True, True]
