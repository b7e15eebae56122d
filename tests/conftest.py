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
