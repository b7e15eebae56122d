"""A battery of hostile byte strings: every input gives a well-formed result or
the documented PanicException text, and the interpreter survives all of them."""
import pytest
import veltrane

from conftest import panic_of
from protocol_support import Party

UNWRAP = "called `Option::unwrap()` on a `None` value"


@pytest.fixture(scope="module")
def setup():
    bank, coordinator = Party(), Party()
    store = bytes(veltrane.build_okvs(bank.public, [["a"], ["b"], ["c"]]))
    ciphertext = bytes(veltrane.initiate_queries([["a"]], [["b"]], store, store,
                                                 coordinator.public))
    return coordinator, store, ciphertext


def expected_store_failure(length):
    for end in (8, 16, 24):
        if length < end:
            return f"range end index {end} out of range for slice of length {length}"
    if length >= 2048:
        return f"slice index starts at 24 but ends at {length - 2048}"
    return None  # a range error naming the length


def test_stores_of_every_length(setup):
    coordinator, store, _ = setup
    for length in range(0, 2201):
        candidate = (store * 2)[:length]
        if length >= 2136:
            out = veltrane.initiate_queries([["a"]], [["a"]], candidate, candidate,
                                            coordinator.public)
            assert len(out) == 128
            continue
        message = str(panic_of(veltrane.initiate_queries, [["a"]], [["a"]], candidate, candidate,
                               coordinator.public))
        if length >= 2072:
            assert message == "attempt to calculate the remainder with a divisor of zero"
        elif expected_store_failure(length) is not None:
            assert message == expected_store_failure(length), length
        else:
            assert message.startswith("range end index ") and f"length {length}" in message


@pytest.mark.parametrize("offset", [0, 17, 31, 32, 63, 64, 100, 127])
def test_every_byte_value_at_chosen_offsets(setup, offset):
    _, _, ciphertext = setup
    for value in range(256):
        changed = bytearray(ciphertext)
        changed[offset] = value
        for call in (lambda c: veltrane.randomize(c), lambda c: veltrane.combine(c, ciphertext),
                     lambda c: veltrane.combine(ciphertext, c)):
            try:
                out = call(bytes(changed))
            except BaseException as error:
                assert type(error).__name__ == "PanicException" and str(error) == UNWRAP
            else:
                size = sum(len(x) for x in out) if isinstance(out, tuple) else len(out)
                assert size == 128


@pytest.mark.parametrize("length", [0, 1, 31, 33, 63, 65, 95, 129])
def test_odd_point_lists(setup, length):
    coordinator, _, ciphertext = setup
    points = (ciphertext * 2)[:length]
    for call in (lambda: veltrane.decrypt(points, coordinator.secret),
                 lambda: veltrane.finish(points, points, points, points, coordinator.secret)):
        try:
            out = call()
        except BaseException as error:
            assert type(error).__name__ == "PanicException"
            assert str(error) in (UNWRAP, f"source slice length ({length % 32}) does not match "
                                          "destination slice length (32)")
        else:
            assert length % 32 == 0 or len(out) == 0
