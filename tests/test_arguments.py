"""Argument binding, argument conversion and result conversion."""

import array
import collections
import contextlib
import ctypes
import decimal
import mmap
import pickle
import re
import sys

import pytest
import veltrane

from conftest import BASE, IDENTITY, ONE, panic_of
from protocol_support import Party, match_flags, run_protocol

try:
    import numpy
except ImportError:
    numpy = None
needs_numpy = pytest.mark.skipif(numpy is None, reason="numpy is not installed")

v = veltrane
KEY = ONE


class Index:
    """An integer-like object that is not an int."""

    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class Items:
    """A sequence that is neither list nor tuple: read through the iterator."""

    def __init__(self, items, length=None, fail_at=None, error=None):
        self.items, self.length, self.fail_at, self.error = items, length, fail_at, error

    def __len__(self):
        if isinstance(self.length, BaseException):
            raise self.length
        return len(self.items) if self.length is None else self.length

    def __getitem__(self, i):
        if i == self.fail_at:
            raise self.error
        return self.items[i]


def message_of(call):
    with pytest.raises(BaseException) as caught:
        call()
    return caught.type, str(caught.value)


# --- binding -----------------------------------------------------------------

@pytest.mark.parametrize("call, message", [
    (lambda: v.key_gen(1), "key_gen() takes 0 positional arguments but 1 was given"),
    (lambda: v.key_gen(1, 2), "key_gen() takes 0 positional arguments but 2 were given"),
    (lambda: v.randomize(1, 2), "randomize() takes 1 positional arguments but 2 were given"),
    (lambda: v.decrypt(1, 2, 3, foo=4),
     "decrypt() takes 2 positional arguments but 3 were given"),
    (lambda: v.build_okvs(b"", public_key=b""),
     "build_okvs() got multiple values for argument 'public_key'"),
    # Keywords are checked in the order given.
    (lambda: v.decrypt(b"", points=b"", foo=1),
     "decrypt() got multiple values for argument 'points'"),
    (lambda: v.decrypt(b"", foo=1, points=b""),
     "decrypt() got an unexpected keyword argument 'foo'"),
    (lambda: v.key_gen(points=1), "key_gen() got an unexpected keyword argument 'points'"),
    (lambda: v.randomize(**{"\udc80": 1}),
     "randomize() got an unexpected keyword argument '\udc80'"),
    (lambda: v.randomize(ciphertexts_=1),
     "randomize() got an unexpected keyword argument 'ciphertexts_'"),
    (lambda: v.decrypt(b""), "decrypt() missing 1 required positional argument: 'bank_secret_key'"),
    (lambda: v.combine(), "combine() missing 2 required positional arguments: "
                          "'sender_ciphertexts' and 'receiver_ciphertexts'"),
    (lambda: v.finish(b"", b""), "finish() missing 3 required positional arguments: "
                                 "'gamma_points', 'delta_points', and 'zadiv_secret_key'"),
    (lambda: v.finish(b"", gamma_points=b"", zadiv_secret_key=b""),
     "finish() missing 2 required positional arguments: 'receiver_points' and 'delta_points'"),
    # Binding comes before any conversion.
    (lambda: v.decrypt("not bytes"),
     "decrypt() missing 1 required positional argument: 'bank_secret_key'"),
    (lambda: v.decrypt("not bytes", {}, extra=1),
     "decrypt() got an unexpected keyword argument 'extra'"),
])
def test_binding_errors(call, message):
    assert message_of(call) == (TypeError, message)


def vectorcall(function, args, kwnames):
    api = ctypes.pythonapi
    api.PyObject_Vectorcall.restype = ctypes.py_object
    api.PyObject_Vectorcall.argtypes = [ctypes.py_object, ctypes.POINTER(ctypes.py_object),
                                        ctypes.c_size_t, ctypes.py_object]
    vector = (ctypes.py_object * len(args))(*args)
    return api.PyObject_Vectorcall(function, vector, len(args) - len(kwnames), kwnames)


def test_keyword_name_that_is_not_a_str():
    # Only reachable through the C API: Python call syntax requires str names.
    with pytest.raises(TypeError) as caught:
        vectorcall(v.randomize, [b"", 5], (1,))
    assert str(caught.value) == "'int' object cannot be converted to 'PyString'"


@pytest.mark.parametrize("call", [
    lambda: v.build_okvs(BASE, [["a"], ["b"]]),
    lambda: v.build_okvs(public_key=BASE, strings_in_each_row=[["a"], ["b"]]),
    lambda: v.build_okvs(strings_in_each_row=[["a"], ["b"]], public_key=BASE),
    lambda: v.build_okvs(BASE, strings_in_each_row=[["a"], ["b"]]),
])
def test_positional_and_keyword_bind_alike(call):
    assert len(call()) == 2072 + 64 * 5  # two rows: 5 sparse cells


# --- conversion ---------------------------------------------------------------

SEQUENCE = "object cannot be converted to 'Sequence'"


@pytest.mark.parametrize("value, kind, message", [
    ("ab", ValueError, "Can't extract `str` to `Vec`"),
    (type("Text", (str,), {})("ab"), ValueError, "Can't extract `str` to `Vec`"),
    ({}, TypeError, f"argument 'points': 'dict' {SEQUENCE}"),
    ({1, 2}, TypeError, f"argument 'points': 'set' {SEQUENCE}"),
    (5, TypeError, f"argument 'points': 'int' {SEQUENCE}"),
    (None, TypeError, f"argument 'points': 'NoneType' {SEQUENCE}"),
    ((i for i in b""), TypeError, f"argument 'points': 'generator' {SEQUENCE}"),
    ([1, 256], OverflowError, "out of range integral type conversion attempted"),
    ([-1], OverflowError, "out of range integral type conversion attempted"),
    ((Index(300),), OverflowError, "out of range integral type conversion attempted"),
    ([2 ** 63], OverflowError, "Python int too large to convert to C long"),
    ([-2 ** 64], OverflowError, "Python int too large to convert to C long"),
    ([1.0], TypeError, "argument 'points': 'float' object cannot be interpreted as an integer"),
    (["a"], TypeError, "argument 'points': 'str' object cannot be interpreted as an integer"),
    (Items([1, b"x"]), TypeError,
     "argument 'points': 'bytes' object cannot be interpreted as an integer"),
    # Errors raised by the sequence's own iteration: a TypeError is named after
    # the parameter, anything else passes unchanged.
    (Items([1, 2], fail_at=1, error=TypeError("broken")), TypeError, "argument 'points': broken"),
    (Items([1, 2], fail_at=1, error=KeyError("k")), KeyError, "'k'"),
])
def test_byte_sequence_errors(value, kind, message):
    assert message_of(lambda: v.decrypt(value, KEY)) == (kind, message)


class Opaque:
    """A class written in Python: its instances are no sequence."""


# The type named in a conversion failure is the interpreter's own name of it
# (tp_name): bare for builtins and Python classes, dotted with the module for
# types of other modules, whether static or built with PyType_FromSpec.
@pytest.mark.parametrize("value, name", [
    (1.5, "float"),
    (Opaque(), "Opaque"),
    (type("Renamed", (), {"__module__": "elsewhere"})(), "Renamed"),
    (collections.OrderedDict(), "collections.OrderedDict"),
    (re.compile("x"), "re.Pattern"),
    (decimal.Decimal(1), "decimal.Decimal"),
])
def test_conversion_failure_names_the_type(value, name):
    assert message_of(lambda: v.decrypt(value, KEY)) == (
        TypeError, f"argument 'points': '{name}' {SEQUENCE}")
    assert message_of(lambda: v.build_okvs(BASE, [[value]])) == (
        TypeError, f"argument 'strings_in_each_row': '{name}' object cannot be converted "
                   "to 'PyString'")


@pytest.mark.parametrize("value, kind, message", [
    ("ab", ValueError, "Can't extract `str` to `Vec`"),
    ({"a": 1}, TypeError, f"argument 'strings_in_each_row': 'dict' {SEQUENCE}"),
    (["ab"], ValueError, "Can't extract `str` to `Vec`"),
    ([5], TypeError, f"argument 'strings_in_each_row': 'int' {SEQUENCE}"),
    ([["a", 1]], TypeError,
     "argument 'strings_in_each_row': 'int' object cannot be converted to 'PyString'"),
    ([[b"a"]], TypeError,
     "argument 'strings_in_each_row': 'bytes' object cannot be converted to 'PyString'"),
    # Rows in order: the first bad row decides.
    ([["a", 1], 5], TypeError,
     "argument 'strings_in_each_row': 'int' object cannot be converted to 'PyString'"),
    ([["a"], 5, "b"], TypeError, f"argument 'strings_in_each_row': 'int' {SEQUENCE}"),
    ([("a",), Items(["b", "\ud800"])], UnicodeEncodeError,
     "'utf-8' codec can't encode character '\\ud800' in position 0: surrogates not allowed"),
])
def test_text_rows_errors(value, kind, message):
    assert message_of(lambda: v.build_okvs(b"", value)) == (kind, message)


@pytest.mark.parametrize("call, kind, message", [
    # Parameter order decides, whatever the order of the keywords.
    (lambda: v.decrypt({}, "x"), TypeError, f"argument 'points': 'dict' {SEQUENCE}"),
    (lambda: v.decrypt("x", {}), ValueError, "Can't extract `str` to `Vec`"),
    (lambda: v.decrypt(bank_secret_key={}, points=[300]), OverflowError,
     "out of range integral type conversion attempted"),
    (lambda: v.decrypt(b"", {}), TypeError, f"argument 'bank_secret_key': 'dict' {SEQUENCE}"),
    (lambda: v.initiate_queries([], [], b"", b"", {}), TypeError,
     f"argument 'zadiv_pk': 'dict' {SEQUENCE}"),
    (lambda: v.initiate_queries([[1]], [[2]], {}, {}, {}), TypeError,
     "argument 'sender_data': 'int' object cannot be converted to 'PyString'"),
    (lambda: v.initiate_queries([], [[2]], {}, {}, {}), TypeError,
     "argument 'receiver_data': 'int' object cannot be converted to 'PyString'"),
    (lambda: v.finish(b"", b"", b"", [1.5], {}), TypeError,
     "argument 'delta_points': 'float' object cannot be interpreted as an integer"),
    (lambda: v.combine(b"", 7), TypeError, f"argument 'receiver_ciphertexts': 'int' {SEQUENCE}"),
])
def test_conversion_order(call, kind, message):
    assert message_of(call) == (kind, message)


def test_parameter_prefix_keeps_the_cause():
    class Bad:
        def __index__(self):
            raise TypeError("no index") from LookupError("root")

    with pytest.raises(TypeError) as caught:
        v.decrypt([Bad()], KEY)
    assert str(caught.value) == "argument 'points': no index"
    assert type(caught.value.__cause__) is LookupError
    assert caught.value.__cause__.args == ("root",)


def test_interpreter_errors_of_index_pass_unchanged():
    class Raises:
        def __index__(self):
            raise ZeroDivisionError("inside __index__")

    assert message_of(lambda: v.decrypt([Raises()], KEY)) == (ZeroDivisionError,
                                                              "inside __index__")


BYTE_FORMS = [bytes, bytearray, list, tuple, memoryview,
              lambda b: [Index(x) for x in b], lambda b: Items(list(b)),
              lambda b: [bool(x) if x < 2 else x for x in b]]


@pytest.mark.parametrize("form", BYTE_FORMS)
def test_byte_sequence_forms_convert_alike(form):
    # decrypt with the scalar 1 gives the points back: the result shows exactly
    # which bytes arrived.
    points = BASE + IDENTITY
    assert v.decrypt(form(points), form(KEY)) == list(points)


@pytest.mark.parametrize("form", [
    lambda rows: rows,
    lambda rows: tuple(tuple(row) for row in rows),
    lambda rows: Items([Items(row) for row in rows]),
])
def test_text_rows_forms_convert_alike(form):
    # A query finds exactly the rows its bank stored, whatever the form of the
    # tables on either side.
    bank = [["acct", "ü-Straße"], ["other"]]
    queries = [["acct", "ü-Straße"], ["acc", "tü-Straße"], ["missing"]]
    flags = match_flags(form(bank), form([["r"]]), form(queries), form([["r"]] * 3))
    assert flags == [True, True, False]


@pytest.mark.parametrize("value", [
    Items([1, 2, 3], length=sys.maxsize),
    Items([1, 2, 3], length=2 ** 40),
    Items([1, 2, 3], length=RuntimeError("no length")),
    Items([1, 2, 3], length=0),
])
def test_reported_length_is_only_a_hint(value):
    # A sequence may claim any length; conversion reads the items it yields.
    with pytest.raises(BaseException) as caught:
        v.decrypt(b"", value)
    assert caught.type.__name__ == "PanicException"
    assert "source slice length (3)" in str(caught.value)
    rows = Items([["a"]], length=sys.maxsize)
    with pytest.raises(BaseException) as caught:
        v.build_okvs(b"", rows)
    assert caught.type.__name__ == "PanicException"


def test_list_mutated_while_converted():
    # Items are read the way a list iterator reads them: the length is
    # checked again at every step, so only two items arrive here.
    values = [1, None, 3, 4]

    class Shrinks:
        def __index__(self):
            del values[2:]
            return 9

    values[1] = Shrinks()
    error = panic_of(v.decrypt, values, ONE)
    assert str(error).startswith("source slice length (2)")


def test_no_reference_leaks():
    item, text = Index(7), "".join(["ro", "w"])
    calls = [
        lambda: v.decrypt([item] * 50, b"x" * 31),
        lambda: v.decrypt([item] * 50, {}),
        lambda: v.decrypt(Items([item] * 50), "bad"),
        lambda: v.decrypt([item, item, 1.5], b""),
        lambda: v.build_okvs(b"", [[text, text]] * 20),
        lambda: v.build_okvs(b"", [[text, text]] * 20 + [[text, 1]]),
    ]
    before = sys.getrefcount(item), sys.getrefcount(text)
    for _ in range(3):
        for call in calls:
            with pytest.raises(BaseException):
                call()
    assert (sys.getrefcount(item), sys.getrefcount(text)) == before


@pytest.mark.parametrize("rows, store_size", [([], 2072), ([[]], 2072 + 64 * 3)])
def test_empty_values_convert(rows, store_size):
    assert v.decrypt(b"", KEY) == []
    assert len(v.build_okvs(BASE, rows)) == store_size


# --- buffers -----------------------------------------------------------------

def anonymous_mmap(data):
    region = mmap.mmap(-1, len(data))
    region.write(data)
    return region


def numpy_bytes(data):
    return numpy.frombuffer(data, dtype=numpy.uint8)


def interleaved(data, filler=0):
    """Every byte followed by a filler byte: a source for strided views."""
    return bytes(x for b in data for x in (b, filler))


# Objects exporting a one-dimensional C-contiguous buffer of unsigned bytes;
# they are read as that buffer.
BUFFER_FORMS = [
    pytest.param(bytearray, id="bytearray"),
    pytest.param(lambda b: memoryview(bytearray(b)), id="memoryview"),
    pytest.param(lambda b: memoryview(b"pad" + b + b"pad")[3:-3], id="memoryview-inside"),
    pytest.param(anonymous_mmap, id="mmap"),
    pytest.param(lambda b: array.array("B", b), id="array-B"),
    pytest.param(lambda b: pickle.PickleBuffer(bytearray(b)), id="PickleBuffer"),
    pytest.param(type("Blob", (bytes,), {}), id="bytes-subclass"),
    pytest.param(lambda b: numpy_bytes(b), id="numpy-uint8", marks=needs_numpy),
    pytest.param(lambda b: numpy_bytes(b"p" + b)[1:], id="numpy-uint8-offset",
                 marks=needs_numpy),
]


@pytest.mark.parametrize("form", BUFFER_FORMS)
def test_byte_buffers_are_read_as_their_bytes(form):
    points = BASE + IDENTITY
    assert v.decrypt(form(points), form(KEY)) == list(points)
    assert v.finish(form(IDENTITY), form(IDENTITY), form(BASE), form(BASE), form(KEY)) == [True]


def test_stores_read_in_place_answer_like_copied_ones():
    """Both stores and every point list in each buffer form, and a store with
    a loose remainder before its dense cells, which ends the byte form."""
    sender, receiver, coordinator = Party(), Party(), Party()
    bank_rows = [[f"account-{i}", "holder"] for i in range(40)]
    queries = [bank_rows[3], ["account-3holder"], ["absent"], bank_rows[39]]
    sender_store = v.build_okvs(sender.public, bank_rows)
    receiver_store = v.build_okvs(receiver.public, bank_rows)
    expected = [True, True, False, True]
    forms = [bytes, bytearray, memoryview, anonymous_mmap, lambda b: array.array("B", b)]
    if numpy is not None:
        forms.append(numpy_bytes)
    for form in forms:
        flags = run_protocol(sender, receiver, coordinator, form(bytes(sender_store)),
                             form(bytes(receiver_store)), queries, queries)
        assert flags == expected, form
    loose = bytes(sender_store[:-2048]) + bytes(range(1, 40)) + bytes(sender_store[-2048:])
    for form in [list, bytes, memoryview]:
        flags = run_protocol(sender, receiver, coordinator, form(loose), receiver_store,
                             queries, queries)
        assert flags == expected, form


def test_secret_key_buffers_are_not_wiped():
    # The module wipes its own copy of a secret key, never the caller's.
    key = bytearray(ONE)
    view = memoryview(bytearray(ONE))
    assert v.decrypt(BASE, key) == list(BASE)
    assert v.finish(IDENTITY, IDENTITY, BASE, BASE, view) == [True]
    assert key == ONE and view == ONE


# Buffers that are not flat unsigned bytes are read item by item, as every
# argument was before buffers were read directly: the same results and the
# same errors, message for message.
@pytest.mark.parametrize("make, kind, message", [
    (lambda: memoryview(BASE).cast("c"), TypeError,
     "argument 'points': 'bytes' object cannot be interpreted as an integer"),
    (lambda: memoryview(bytes([1, 0x80])).cast("b"), OverflowError,
     "out of range integral type conversion attempted"),
    (lambda: array.array("b", [1, -1]), OverflowError,
     "out of range integral type conversion attempted"),
    (lambda: array.array("i", [1, 300]), OverflowError,
     "out of range integral type conversion attempted"),
    (lambda: array.array("d", [1.0]), TypeError,
     "argument 'points': 'float' object cannot be interpreted as an integer"),
    (lambda: memoryview(BASE).cast("B", (4, 8)), NotImplementedError,
     "multi-dimensional sub-views are not implemented"),
    (lambda: memoryview((ctypes.c_uint8 * 2)(1, 2)), NotImplementedError,
     "memoryview: unsupported format <B"),
    (lambda: ctypes.c_uint8(7), TypeError, f"argument 'points': 'c_ubyte' {SEQUENCE}"),
    pytest.param(lambda: numpy.uint8(5), TypeError,
                 f"argument 'points': 'numpy.uint8' {SEQUENCE}", marks=needs_numpy),
    pytest.param(lambda: numpy.array(5, dtype=numpy.uint8), TypeError,
                 "argument 'points': iteration over a 0-d array", marks=needs_numpy),
    pytest.param(lambda: numpy_bytes(BASE).reshape(4, 8), TypeError,
                 "argument 'points': only integer scalar arrays can be converted to a "
                 "scalar index", marks=needs_numpy),
    pytest.param(lambda: numpy_bytes(BASE).astype(numpy.float32), TypeError,
                 "argument 'points': 'numpy.float32' object cannot be interpreted as an "
                 "integer", marks=needs_numpy),
    pytest.param(lambda: numpy.array([-1], dtype=numpy.int8), OverflowError,
                 "out of range integral type conversion attempted", marks=needs_numpy),
])
def test_other_buffers_keep_their_item_errors(make, kind, message):
    assert message_of(lambda: v.decrypt(make(), KEY)) == (kind, message)
    assert message_of(lambda: v.decrypt(BASE, make())) == (kind, message.replace(
        "'points'", "'bank_secret_key'"))


def released_memoryview():
    view = memoryview(BASE)
    view.release()
    return view


def closed_mmap():
    region = anonymous_mmap(BASE)
    region.close()
    return region


@pytest.mark.parametrize("make, kind, message", [
    (released_memoryview, ValueError, "operation forbidden on released memoryview object"),
    (closed_mmap, ValueError, "mmap closed or invalid"),
])
def test_buffers_that_cannot_be_exported_keep_their_errors(make, kind, message):
    assert message_of(lambda: v.decrypt(make(), KEY)) == (kind, message)
    assert message_of(lambda: v.decrypt(BASE, make())) == (kind, message)


@pytest.mark.skipif(sys.version_info < (3, 12), reason="__buffer__ is honoured from 3.12")
def test_python_classes_exporting_buffers():
    class Exports:
        released = 0

        def __buffer__(self, flags):
            return memoryview(BASE)

        def __release_buffer__(self, view):
            Exports.released += 1

    class Refuses:
        def __buffer__(self, flags):
            raise ValueError("no buffer")

    class Interrupts:
        def __buffer__(self, flags):
            raise KeyboardInterrupt("stop")

    assert v.decrypt(Exports(), KEY) == list(BASE) and Exports.released == 1
    # A refusal leaves the object to the item path, which finds no sequence.
    assert message_of(lambda: v.decrypt(Refuses(), KEY)) == (
        TypeError, f"argument 'points': 'Refuses' {SEQUENCE}")
    assert message_of(lambda: v.decrypt(Interrupts(), KEY)) == (KeyboardInterrupt, "stop")


@pytest.mark.parametrize("form", [
    pytest.param(lambda b: memoryview(interleaved(b))[::2], id="strided-memoryview"),
    pytest.param(lambda b: memoryview(b).cast("b"), id="signed-memoryview"),
    pytest.param(lambda b: array.array("i", list(b)), id="array-i"),
    pytest.param(lambda b: array.array("b", list(b)), id="array-b"),
    pytest.param(lambda b: (ctypes.c_uint8 * len(b))(*b), id="ctypes-array"),
    pytest.param(lambda b: numpy_bytes(interleaved(b))[::2], id="numpy-strided",
                 marks=needs_numpy),
    pytest.param(lambda b: numpy_bytes(b).astype(numpy.int64), id="numpy-int64",
                 marks=needs_numpy),
])
def test_other_buffers_with_byte_items_convert_alike(form):
    # Items 0..127 fit even the signed formats.
    assert v.decrypt(form(BASE + IDENTITY), form(KEY)) == list(BASE + IDENTITY)


class ResizesAtIndex:
    """An item whose __index__ tries to resize a buffer held for the call."""

    def __init__(self, target):
        self.target = target

    def __index__(self):
        self.target.extend(b"x")
        return 1


def test_held_buffer_cannot_be_resized_during_the_call():
    # The point list's buffer is held while the key is converted; resizing
    # it fails there instead of leaving the operation a dangling view.
    points = bytearray(BASE)
    with pytest.raises(BufferError):
        v.decrypt(points, [ResizesAtIndex(points)] + [0] * 31)
    points.extend(b"x")  # released once the call has ended
    assert points == BASE + b"x"


class OverwritesAtIndex:
    def __init__(self, target, data):
        self.target, self.data = target, data

    def __index__(self):
        self.target[:] = self.data  # same length: no resize
        return 1


def test_held_buffer_is_read_when_the_operation_runs():
    # A buffer is read in place, so bytes changed while later arguments are
    # converted are the bytes the operation sees.
    points = bytearray(BASE)
    assert v.decrypt(points, [OverwritesAtIndex(points, IDENTITY)] + [0] * 31) == list(IDENTITY)


@pytest.mark.parametrize("outcome, call", [
    ("result", lambda p, q: v.finish(p, q, BASE, BASE, KEY)),
    ("panic", lambda p, q: v.finish(p, q, BASE, BASE, b"short")),
    ("conversion error", lambda p, q: v.finish(p, q, BASE, BASE, {})),
    ("later str", lambda p, q: v.finish(p, q, BASE, BASE, "key")),
])
def test_buffers_are_released_however_the_call_ends(outcome, call):
    growing, view = bytearray(IDENTITY), memoryview(bytearray(IDENTITY))
    counts = sys.getrefcount(growing), sys.getrefcount(view)
    for _ in range(3):
        with contextlib.nullcontext() if outcome == "result" else pytest.raises(BaseException):
            call(growing, view)
    assert (sys.getrefcount(growing), sys.getrefcount(view)) == counts
    view.release()  # raises BufferError while any export is held
    growing.extend(b"more")


# --- results -----------------------------------------------------------------

def test_key_gen_returns_lists_of_ints():
    keys = v.key_gen()
    assert type(keys) is tuple and len(keys) == 2
    for part in keys:
        assert type(part) is list and len(part) == 32
        assert all(type(x) is int and 0 <= x <= 255 for x in part)


def test_results_feed_back_as_arguments():
    public_key, secret_key = v.key_gen()
    once = v.decrypt(BASE, secret_key)
    assert once == public_key
    assert v.decrypt(once, ONE) == once


def test_finish_returns_bools():
    # With secret 1, gamma = B and sender = receiver = identity, the sum is B.
    flags = v.finish(IDENTITY * 2, IDENTITY * 2, BASE * 2, BASE + IDENTITY, ONE)
    assert flags == [True, False]
    assert flags[0] is True and flags[1] is False
    assert v.finish(b"", b"", b"", b"", ONE) == []


def test_combine_returns_four_lists():
    parts = v.combine(b"", b"")
    assert type(parts) is tuple and len(parts) == 4
    assert all(type(part) is list for part in parts)
