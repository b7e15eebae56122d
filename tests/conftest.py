"""Shared helpers for the Python tests of the `veltrane` module."""

import subprocess
import sys

import pytest

# 0x02 followed by 31 zero bytes does not decode to a curve point.
NON_POINT = bytes([2]) + bytes(31)
# The base point's encoding, and the scalar 1: decrypt(BASE, ONE) == BASE.
BASE = bytes([0x58]) + bytes([0x66]) * 31
IDENTITY = bytes([1]) + bytes(31)
ONE = bytes([1]) + bytes(31)


def panic_of(function, *args, **kwargs):
    """The PanicException the call raises; any other outcome fails the test."""
    try:
        function(*args, **kwargs)
    except Exception:  # PanicException must not be an Exception
        raise
    except BaseException as error:
        assert type(error).__name__ == "PanicException", repr(error)
        return error
    pytest.fail("the call returned instead of raising PanicException")


def run_python(code, timeout=120):
    """Runs code in a fresh interpreter; returns the completed process."""
    return subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                          timeout=timeout)


def match_flags(sender_bank_rows, receiver_bank_rows, sender_queries, receiver_queries):
    """Runs the whole protocol; one flag per query."""
    import veltrane as v

    (sender_pk, sender_sk), (receiver_pk, receiver_sk), (zadiv_pk, zadiv_sk) = (
        v.key_gen() for _ in range(3))
    sender_okvs = v.build_okvs(sender_pk, sender_bank_rows)
    receiver_okvs = v.build_okvs(receiver_pk, receiver_bank_rows)
    queries = v.initiate_queries(sender_queries, receiver_queries, sender_okvs, receiver_okvs,
                                 zadiv_pk)
    sender, receiver, gamma, delta = v.combine(v.randomize(queries), v.randomize(queries))
    return v.finish(v.decrypt(sender, sender_sk), v.decrypt(receiver, receiver_sk), gamma, delta,
                    zadiv_sk)
