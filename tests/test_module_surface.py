"""The module object, its function table, PanicException and the boundary."""

import inspect
import re
import textwrap
import types

import pytest
import veltrane

from conftest import BASE, NON_POINT, ONE, panic_of, run_python

MODULE_DOC = ("A Python module for the cryptographic operations necessary to do feature "
              "extraction (element matching in two datasets).")
NAMES = ["key_gen", "build_okvs", "initiate_queries", "randomize", "combine", "decrypt",
         "finish"]
DOCS = {
    "key_gen": "Generates a key pair for this party, returning a tuple with "
               "(public_key: bytes, secret_key: bytes).",
    "build_okvs": "Builds an OKVS for one party. Takes the public key of this party and the "
                  "data from the database, which is a list of rows. Each row is a list of the "
                  "relevant columns as a String.",
}


def test_module_doc_and_all():
    assert veltrane.__doc__ == MODULE_DOC
    assert type(veltrane.__all__) is list
    assert veltrane.__all__ == NAMES


def test_namespace_holds_only_the_functions():
    public = {name for name in vars(veltrane) if not name.startswith("__")}
    assert public == set(NAMES)
    assert not hasattr(veltrane, "PanicException")


@pytest.mark.parametrize("name", NAMES)
def test_function_objects(name):
    function = getattr(veltrane, name)
    assert isinstance(function, types.BuiltinFunctionType)
    assert function.__name__ == name
    assert function.__doc__ == DOCS.get(name)
    assert function.__self__ is veltrane
    assert function.__module__ == "veltrane"
    assert function.__text_signature__ is None
    with pytest.raises(ValueError):
        inspect.signature(function)


def test_second_initialisation_fails():
    result = run_python(textwrap.dedent("""
        import sys, veltrane
        del sys.modules["veltrane"]
        try:
            import veltrane
        except ImportError as error:
            print("ImportError:", error)
    """))
    assert result.returncode == 0, result.stderr
    assert result.stdout.strip() == (
        "ImportError: Tovarin modules may only be initialized once per interpreter process")


def test_panic_exception_type():
    error = panic_of(veltrane.build_okvs, NON_POINT, [["a"]])
    kind = type(error)
    assert kind.__module__ == "tovarin_runtime"
    assert kind.__qualname__ == "PanicException"
    assert kind.__bases__ == (BaseException,)
    assert not issubclass(kind, Exception)
    assert "BaseException" in kind.__doc__ and "panic" in kind.__doc__
    assert error.args == ("The public key was not a valid curve point.",)
    assert str(error) == "The public key was not a valid curve point."
    # One type for the whole process, whichever function panics.
    assert type(panic_of(veltrane.decrypt, b"", b"x" * 31)) is kind


def test_panic_passes_except_exception():
    caught = None
    try:
        veltrane.build_okvs(NON_POINT, [["a"]])
    except Exception:
        pytest.fail("PanicException was caught by `except Exception`")
    except BaseException as error:
        caught = error
    assert type(caught).__name__ == "PanicException"


REPORT = re.compile(r"thread '[^']+' panicked at [^\n:]+\.[ch]pp:\d+:\n(.*)\n")


@pytest.mark.parametrize("call, message", [
    # Raised on the calling thread, before any parallel work.
    (lambda: veltrane.decrypt(b"", b"x" * 31),
     "source slice length (31) does not match destination slice length (32)"),
    # Raised on a worker thread and carried back to the caller.
    (lambda: veltrane.decrypt(BASE + NON_POINT, ONE),
     "called `Option::unwrap()` on a `None` value"),
])
def test_fatal_error_is_reported_then_raised(capfd, call, message):
    error = panic_of(call)
    assert str(error) == message
    report = REPORT.search(capfd.readouterr().err)
    assert report, "no report on standard error"
    assert report.group(1) == message


def test_pool_workers_survive_a_panic():
    panic_of(veltrane.decrypt, BASE + NON_POINT, ONE)
    assert veltrane.decrypt(BASE, ONE) == list(BASE)


