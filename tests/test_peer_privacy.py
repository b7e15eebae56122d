"""What a curious or hostile peer can read from the points it is handed.

A bank sees only its request lists; the coordinator sees only the banks' responses.
Neither may learn more from them than the protocol gives: a bank nothing about which of
its lookups missed, the coordinator nothing about a bank's secret key.
"""
import random

import pytest
import veltrane
from nacl.bindings import crypto_core_ed25519_is_valid_point

import edwards_ref as ref
from conftest import IDENTITY
from protocol_support import Party

# Every point of order dividing 8: the multiples of one point of order 8.
ORDER_8 = ref.decompress(bytes.fromhex(
    "c7176a703d4dd84fba3c0b760d10670f2a2053fa2c39ccc64ec7fd7792ac037a"))
SMALL_ORDER = [ref.mul(j, ORDER_8) for j in range(8)]


def test_a_bank_cannot_tell_missed_lookups_by_any_test_of_its_request():
    """10^4 lookups per bank, half of them for rows the bank never stored: every request
    point a bank receives lies in the prime-order subgroup (a decoded value of an absent
    row is a point of the whole curve; its small-order part must not reach the bank)."""
    n, stored = 10_000, 5_000
    sender, receiver, coordinator = Party(), Party(), Party()
    rows_s = [[f"S-{i}", "x"] for i in range(stored)]
    rows_r = [[f"R-{i}", "y"] for i in range(stored)]
    store_s = veltrane.build_okvs(sender.public, rows_s)
    store_r = veltrane.build_okvs(receiver.public, rows_r)
    rng = random.Random(18)
    present_s = [rng.random() < 0.5 for _ in range(n)]
    present_r = [rng.random() < 0.5 for _ in range(n)]
    queries_s = [rows_s[i % stored] if p else [f"S-absent-{i}", "x"]
                 for i, p in enumerate(present_s)]
    queries_r = [rows_r[i % stored] if p else [f"R-absent-{i}", "y"]
                 for i, p in enumerate(present_r)]
    first = veltrane.initiate_queries(queries_s, queries_r, store_s, store_r, coordinator.public)
    second = veltrane.initiate_queries(queries_s, queries_r, store_s, store_r, coordinator.public)
    s, r, g, d = (bytes(x) for x in veltrane.combine(veltrane.randomize(first),
                                                     veltrane.randomize(second)))
    for name, points in (("sender", s), ("receiver", r)):
        outside = [i for i in range(n)
                   if not crypto_core_ed25519_is_valid_point(points[32 * i:32 * i + 32])]
        assert outside == [], f"{len(outside)} {name} request points outside the subgroup"
    # The ciphertexts themselves, before blinding, hold no small-order part either.
    for i in range(0, 128 * n, 128 * 97):
        for c in range(4):
            assert crypto_core_ed25519_is_valid_point(bytes(first[i + 32 * c:i + 32 * c + 32]))
    # And the outcome is the one the rows give.
    flags = veltrane.finish(veltrane.decrypt(s, sender.secret),
                            veltrane.decrypt(r, receiver.secret), g, d, coordinator.secret)
    assert flags == [a and b for a, b in zip(present_s, present_r)]


@pytest.mark.parametrize("residue", range(8))
def test_a_response_reveals_nothing_of_the_key_modulo_8(residue):
    """Points of small order come back as the identity, and a point with a small-order
    part as its prime-order part times the key, whatever the key is modulo 8."""
    rng = random.Random(residue)
    key_value = rng.randrange(2**250) * 8 + residue
    key = key_value.to_bytes(32, "little")
    out = bytes(veltrane.decrypt(b"".join(ref.compress(t) for t in SMALL_ORDER), key))
    assert out == IDENTITY * 8
    prime = ref.mul(rng.randrange(1, ref.L), ref.BASE)
    mixed = b"".join(ref.compress(ref.add(prime, t)) for t in SMALL_ORDER)
    assert bytes(veltrane.decrypt(mixed, key)) == ref.compress(ref.mul(key_value, prime)) * 8


def test_subgroup_points_keep_their_products():
    """On the prime-order subgroup nothing changes: k*P exactly, for unreduced keys too."""
    rng = random.Random(7)
    for _ in range(8):
        p = ref.mul(rng.randrange(1, ref.L), ref.BASE)
        k = rng.randrange(2**255)
        assert (bytes(veltrane.decrypt(ref.compress(p), k.to_bytes(32, "little")))
                == ref.compress(ref.mul(k, p)))
