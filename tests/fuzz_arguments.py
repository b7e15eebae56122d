"""Random calls of every `veltrane` function with hostile arguments.

Every byte string and row table that reaches the module comes from another
party, so the argument conversions must survive anything Python can pass:
wrong types, nested sequences, huge and negative ints, strings with lone
surrogates, iterators that raise halfway, sequences whose __len__ lies or
raises, items that mutate their container while being converted. Each call
must return a well-formed result or raise one of the exceptions a caller is
told to expect; anything else (another exception, a malformed result, a crash
of the interpreter) is a fault.

Run as a script with a time budget:

    python tests/fuzz_arguments.py --seconds 120 [--seed N]

The native panic reports go to /dev/null (they are expected by the thousand);
a crash still prints its Python traceback to the real standard error.
tests/test_argument_fuzz.py drives the same generator from hypothesis.
"""

import argparse
import array
import faulthandler
import mmap
import os
import random
import sys
import time

import veltrane

FUNCTIONS = {
    "key_gen": (),
    "build_okvs": ("public_key", "strings_in_each_row"),
    "initiate_queries": ("sender_data", "receiver_data", "sender_okvs", "receiver_okvs",
                         "zadiv_pk"),
    "randomize": ("ciphertexts",),
    "combine": ("sender_ciphertexts", "receiver_ciphertexts"),
    "decrypt": ("points", "bank_secret_key"),
    "finish": ("sender_points", "receiver_points", "gamma_points", "delta_points",
               "zadiv_secret_key"),
}
ROW_PARAMETERS = {"strings_in_each_row", "sender_data", "receiver_data"}

BASE = bytes([0x58]) + bytes([0x66]) * 31
IDENTITY = bytes([1]) + bytes(31)
ONE = bytes([1]) + bytes(31)


# Under AddressSanitizer (scripts/sanitize.sh sets VELTRANE_SANITIZED) an
# allocation beyond its limit ends the process instead of raising
# std::bad_alloc, so a __len__ may lie by a few million there but not by
# exabytes; the plain runs cover the exabytes.
SANITIZED = bool(os.environ.get("VELTRANE_SANITIZED"))
LARGEST_LIE = 2 ** 24 if SANITIZED else 2 ** 62


class Injected(Exception):
    """Raised by the hostile objects; must reach the caller unchanged."""


EXPECTED = (TypeError, ValueError, OverflowError, UnicodeEncodeError, MemoryError, Injected)


def is_expected(error):
    return isinstance(error, EXPECTED) or type(error).__name__ == "PanicException"


# --- hostile objects -------------------------------------------------------

class Index:
    """Int-like, possibly out of range or raising."""

    def __init__(self, value):
        self.value = value

    def __index__(self):
        if isinstance(self.value, BaseException):
            raise self.value
        return self.value


class LyingSequence:
    """A sequence whose __len__ is wrong (or raises) and whose items may raise."""

    def __init__(self, items, length, fail_at=None):
        self.items, self.length, self.fail_at = items, length, fail_at

    def __len__(self):
        if isinstance(self.length, BaseException):
            raise self.length
        return self.length

    def __getitem__(self, i):
        if i == self.fail_at:
            raise Injected("item %d" % i)
        return self.items[i]


class RaisingIterator(list):
    """A list subclass (not an exact list: read through its iterator) whose
    iterator raises after some items."""

    def __init__(self, items, fail_after):
        super().__init__(items)
        self.fail_after = fail_after

    def __iter__(self):
        for i, item in enumerate(list.__iter__(self)):
            if i == self.fail_after:
                raise Injected("iteration stopped at %d" % i)
            yield item


class Mutator:
    """An item that empties (or grows) the list being converted when read."""

    def __init__(self, target, grow):
        self.target, self.grow = target, grow

    def __index__(self):
        if self.grow:
            self.target.extend([7] * 3)
        else:
            self.target.clear()
        return 1


class BadStr(str):
    """A str subclass: accepted as a string, converted by its contents."""


# --- generators ------------------------------------------------------------

def surrogate_text(rng):
    pieces = ["", "a", "ü", "€", "\U0001f600", "\ud800", "\udfff", "\x00", "x" * 100]
    return "".join(rng.choice(pieces) for _ in range(rng.randrange(4)))


def random_int(rng):
    return rng.choice([0, 1, 255, 256, -1, -(2 ** 63), 2 ** 63, 2 ** 64, 2 ** 1000,
                       -(2 ** 1000), rng.randrange(256), True, False])


def byte_list(rng, valid_only=False):
    n = rng.choice([0, 1, 31, 32, 33, 64, 127, 128, 129, rng.randrange(300)])
    if valid_only or rng.random() < 0.7:
        return [rng.randrange(256) for _ in range(n)]
    return [rng.randrange(256) if rng.random() < 0.9 else random_scalar_item(rng)
            for _ in range(n)]


def random_scalar_item(rng):
    return rng.choice([
        lambda: random_int(rng),
        lambda: Index(random_int(rng)),
        lambda: Index(Injected("index")),
        lambda: Index(OverflowError("index")),
        lambda: 1.0,
        lambda: None,
        lambda: "a",
        lambda: b"a",
        lambda: [1],
        lambda: object(),
        lambda: complex(1, 0),
    ])()


def meaningful_bytes(rng):
    """Byte strings that get past the conversions into the operations."""
    pick = rng.randrange(7)
    if pick == 0:
        return BASE * rng.randrange(4)
    if pick == 1:
        return (IDENTITY + BASE) * rng.randrange(3) + bytes(rng.randrange(40))
    if pick == 2:
        return ONE
    if pick == 3:
        return bytes(rng.randrange(256) for _ in range(rng.choice([32, 128, 256, 2072, 2136])))
    if pick == 4:
        return (BASE * 4) * rng.randrange(3) + bytes([2]) + bytes(31)
    if pick == 5:
        return bytes(rng.randrange(2200))
    return bytes(byte_list(rng, valid_only=True))


def anonymous_mmap(data):
    if not data:
        return bytearray()  # an anonymous map cannot be empty
    region = mmap.mmap(-1, len(data))
    region.write(data)
    return region


# Buffers read in place (unsigned bytes in one contiguous dimension) and
# buffers read item by item (strided, signed, wider items).
BUFFER_KINDS = [
    lambda data: array.array("B", data),
    lambda data: memoryview(b"pad" + data + b"pad")[3:3 + len(data)],
    anonymous_mmap,
    lambda data: memoryview(bytes(x for b in data for x in (b, 7)))[::2],
    lambda data: memoryview(data).cast("b"),
    lambda data: array.array("H", list(data)),
]


def wrap(rng, items):
    """The same items in one of the container kinds the conversions meet."""
    kind = rng.randrange(11)
    if kind == 9 and all(isinstance(i, int) and 0 <= i < 256 for i in items):
        return rng.choice(BUFFER_KINDS)(bytes(items))
    if kind == 0:
        return list(items)
    if kind == 1:
        return tuple(items)
    if kind == 2 and all(isinstance(i, int) and 0 <= i < 256 for i in items):
        return bytearray(items)
    if kind == 3 and all(isinstance(i, int) and 0 <= i < 256 for i in items):
        return memoryview(bytes(items))
    if kind == 4:
        length = rng.choice([len(items) + 5, max(len(items) - 1, 0), -1, LARGEST_LIE, 2 ** 70,
                             Injected("len"), TypeError("len")])
        fail_at = rng.choice([None, None, rng.randrange(len(items) + 1)])
        return LyingSequence(list(items), length, fail_at)
    if kind == 5:
        return RaisingIterator(items, rng.randrange(len(items) + 1))
    if kind == 6:
        return (item for item in items)  # not a sequence at all
    if kind == 7:
        target = list(items)
        target.insert(rng.randrange(len(target) + 1), Mutator(target, rng.random() < 0.5))
        return target
    if kind == 8 and all(isinstance(i, int) and 0 <= i < 256 for i in items):
        return bytes(items)
    return list(items)


def random_bytes_argument(rng, depth=0):
    pick = rng.randrange(12)
    if pick < 4:
        return wrap(rng, list(meaningful_bytes(rng)))
    if pick < 7:
        return wrap(rng, byte_list(rng))
    if pick == 7:
        return surrogate_text(rng)
    if pick == 8 and depth < 3:
        return [random_bytes_argument(rng, depth + 1) for _ in range(rng.randrange(3))]
    if pick == 9:
        return rng.choice([None, 0, 2 ** 100, 1.5, {1: 2}, {1, 2}, object(), range(40),
                           range(250, 260), Ellipsis, b"", bytearray(b"x")])
    if pick == 10:
        return dict.fromkeys(range(rng.randrange(5)))
    return random_scalar_item(rng)


def random_row(rng):
    pick = rng.randrange(8)
    strings = [rng.choice(["", "alice", "NL01", "ab", "c"]) if rng.random() < 0.7
               else surrogate_text(rng) for _ in range(rng.randrange(4))]
    if pick == 0:
        strings = [BadStr(s) for s in strings]
    elif pick == 1 and strings:
        strings[rng.randrange(len(strings))] = rng.choice([b"bytes", 1, None, ["nested"]])
    elif pick == 2:
        return surrogate_text(rng)  # a str where a row belongs
    elif pick == 3:
        return rng.choice([None, 5, object(), b"row"])
    return wrap(rng, strings)


def random_rows_argument(rng):
    pick = rng.randrange(6)
    if pick == 0:
        return random_bytes_argument(rng)
    if pick == 1:
        return surrogate_text(rng)
    return wrap(rng, [random_row(rng) for _ in range(rng.randrange(6))])


def valid_store(rng):
    """A store's bytes when the build succeeds, else random bytes."""
    public_key, _ = veltrane.key_gen()
    try:
        return veltrane.build_okvs(public_key, [["alice", "NL01"], ["bob"]][:rng.randrange(3)])
    except BaseException as error:
        if not is_expected(error):
            raise
        return list(bytes(2072 + 64 * rng.randrange(3)))


def random_arguments(rng, name):
    """(args, kwargs) for one call of `name`, usually with the right count."""
    parameters = FUNCTIONS[name]
    # Mostly one hostile argument among well-formed ones, so that calls get
    # past the first conversion; now and then every argument is hostile.
    hostile = rng.randrange(len(parameters) + 2)
    values = []
    for i, parameter in enumerate(parameters):
        if hostile in (i, len(parameters) + 1):
            values.append(random_rows_argument(rng) if parameter in ROW_PARAMETERS
                          else random_bytes_argument(rng))
        elif parameter in ROW_PARAMETERS:
            values.append([[rng.choice(["alice", "NL01", "bob", ""])] for _ in range(3)])
        elif parameter.endswith("okvs"):
            values.append(valid_store(rng))
        else:
            values.append(rng.choice([bytes, list, bytearray])(meaningful_bytes(rng)))
    shape = rng.randrange(10)
    if shape == 0 and values:
        values.pop(rng.randrange(len(values)))  # one missing
    elif shape == 1:
        values.append(random_bytes_argument(rng))  # one too many
    args, kwargs = list(values), {}
    if shape in (2, 3) and parameters:
        # Some or all by keyword; now and then a wrong or repeated one.
        split = rng.randrange(len(args) + 1)
        kwargs = {parameters[i]: args[i] for i in range(split, min(len(args), len(parameters)))}
        args = args[:split]
        if shape == 3:
            kwargs[rng.choice(["bogus", parameters[0], "\ud800", "points"])] = b""
    return args, kwargs


# --- checking --------------------------------------------------------------

def is_int_list(value):
    return type(value) is list and all(type(i) is int and 0 <= i < 256 for i in value)


def check_result(name, result):
    if name == "key_gen":
        ok = (type(result) is tuple and len(result) == 2
              and all(is_int_list(part) and len(part) == 32 for part in result))
    elif name == "combine":
        ok = (type(result) is tuple and len(result) == 4 and all(is_int_list(p) for p in result)
              and len({len(p) for p in result}) == 1 and len(result[0]) % 32 == 0)
    elif name == "finish":
        ok = type(result) is list and all(type(flag) is bool for flag in result)
    elif name in ("randomize", "initiate_queries"):
        ok = is_int_list(result) and len(result) % 128 == 0
    elif name == "decrypt":
        ok = is_int_list(result) and len(result) % 32 == 0
    else:
        ok = is_int_list(result)
    if not ok:
        raise AssertionError(f"{name} returned a malformed result: {result!r:.200}")


def call_and_check(name, args, kwargs):
    """Makes one call; raises AssertionError unless it ends as it may."""
    function = getattr(veltrane, name)
    try:
        result = function(*args, **kwargs)
    except BaseException as error:  # noqa: B036 - PanicException is a BaseException
        if isinstance(error, (KeyboardInterrupt, AssertionError)):
            raise
        if not is_expected(error):
            raise AssertionError(
                f"{name} raised {type(error).__name__}: {error!s:.200}") from error
        return error
    check_result(name, result)
    return result


def random_call(rng):
    name = rng.choice(list(FUNCTIONS))
    args, kwargs = random_arguments(rng, name)
    call_and_check(name, args, kwargs)
    return name


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=float, default=60)
    parser.add_argument("--seed", type=int, default=None)
    options = parser.parse_args()
    seed = options.seed if options.seed is not None else random.randrange(2 ** 32)
    print(f"seed {seed}, {options.seconds:g} s", flush=True)

    # Panic reports to /dev/null; crash tracebacks to the real stderr.
    real_stderr = os.fdopen(os.dup(2), "w")
    faulthandler.enable(file=real_stderr)
    devnull = os.open(os.devnull, os.O_WRONLY)
    os.dup2(devnull, 2)

    rng = random.Random(seed)
    counts = dict.fromkeys(FUNCTIONS, 0)
    deadline = time.monotonic() + options.seconds
    calls = 0
    while time.monotonic() < deadline:
        state = rng.getstate()
        try:
            counts[random_call(rng)] += 1
        except AssertionError as error:
            rng.setstate(state)
            print(f"FAULT after {calls} calls (seed {seed}): {error}", file=real_stderr)
            return 1
        calls += 1
    print(f"{calls} calls, no fault: " + ", ".join(f"{k} {v}" for k, v in counts.items()))
    return 0


if __name__ == "__main__":
    sys.exit(main())
