"""Hostile arguments, driven by hypothesis: every call returns a well-formed
result or raises an exception a caller is told to expect, never crashes.

The random calls come from fuzz_arguments.py (a longer run: python
tests/fuzz_arguments.py --seconds 300); the tests here add predictions for
the byte-sequence conversion of arbitrary ints and for row tables of
arbitrary text.
"""

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import veltrane
from fuzz_arguments import (BASE, LARGEST_LIE, ONE, FUNCTIONS, Injected, LyingSequence,
                            RaisingIterator, call_and_check, random_arguments)

QUICK = settings(max_examples=100, deadline=None,
                 suppress_health_check=[HealthCheck.too_slow])
PER_FUNCTION = settings(QUICK, max_examples=60)


# Hostile objects include an __index__ that returns a bool, which the
# interpreter itself flags as deprecated.
@pytest.mark.filterwarnings("ignore:__index__ returned non-int:DeprecationWarning")
@pytest.mark.parametrize("name", sorted(FUNCTIONS))
@PER_FUNCTION
@given(rng=st.randoms(use_true_random=False))
def test_random_hostile_calls(name, rng):
    args, kwargs = random_arguments(rng, name)
    call_and_check(name, args, kwargs)


@QUICK
@given(items=st.lists(st.one_of(st.integers(0, 255), st.integers()), max_size=70))
def test_byte_conversion_of_arbitrary_ints(items):
    """Ints outside 0..255 of any size are an OverflowError; in range, the
    call reaches the operation (a key of the wrong length panics there)."""
    outcome = call_and_check("decrypt", [BASE], {"bank_secret_key": items})
    if any(not 0 <= i <= 255 for i in items):
        assert isinstance(outcome, OverflowError)
    elif len(items) == 32:
        assert isinstance(outcome, list) and len(outcome) == 32
    else:
        assert type(outcome).__name__ == "PanicException"


@QUICK
@given(rows=st.lists(st.lists(st.text(max_size=6), max_size=3), max_size=5))
def test_rows_of_arbitrary_text(rows):
    """Text with lone surrogates has no UTF-8 form: UnicodeEncodeError; any
    other text converts, and the row table reaches the operation."""
    public_key, _ = veltrane.key_gen()
    outcome = call_and_check("build_okvs", [public_key, rows], {})
    encodable = True
    for row in rows:
        for text in row:
            try:
                text.encode("utf-8")
            except UnicodeEncodeError:
                encodable = False
    if encodable:
        assert not isinstance(outcome, (TypeError, ValueError, OverflowError))
    else:
        assert isinstance(outcome, UnicodeEncodeError)


@QUICK
@given(length=st.one_of(st.integers(-5, LARGEST_LIE), st.integers(2 ** 63, 2 ** 70),
                        st.just(Injected("len"))),
       fail_at=st.one_of(st.none(), st.integers(0, 40)),
       items=st.binary(max_size=40))
def test_sequences_whose_length_lies(length, fail_at, items):
    """__len__ is only a hint: the items read decide the bytes, and an item
    that raises ends the call with that very exception."""
    sequence = LyingSequence(list(items), length, fail_at)
    outcome = call_and_check("decrypt", [sequence, ONE], {})
    if fail_at is not None and fail_at <= len(items):  # reached before IndexError
        assert isinstance(outcome, Injected)
        return
    # Otherwise exactly as if the items had come as bytes.
    reference = call_and_check("decrypt", [items, ONE], {})
    assert type(outcome) is type(reference)
    if isinstance(reference, list):
        assert outcome == reference


@QUICK
@given(fail_after=st.integers(0, 70))
def test_iterator_raising_midway(fail_after):
    items = list(BASE * 2)
    outcome = call_and_check("decrypt", [RaisingIterator(items, fail_after), ONE], {})
    if fail_after < len(items):
        assert isinstance(outcome, Injected)
    else:
        assert outcome == items
