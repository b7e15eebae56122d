"""Errors the driver reports to its user as one readable line, without a traceback."""

from __future__ import annotations

import contextlib
import signal
import sys
import threading
from collections.abc import Callable, Iterator

# Exit statuses shared by the commands: 128 + the signal's number for SIGINT and SIGTERM,
# as a shell reports a command those signals ended.
USAGE, FAILURE, INTERRUPTED, TERMINATED = 2, 3, 130, 143


class Terminated(BaseException):
    """SIGTERM, raised in the main thread so that a step unwinds as on Ctrl-C: its
    temporary files are removed and nothing half-written is left under an output's name."""


def printable(text: str) -> str:
    """`text` with every character a terminal could act on (controls, escape sequences,
    bidirectional overrides) written as a Python escape: for text from a peer's file."""
    if text.isprintable():
        return text
    return "".join(c if c.isprintable() else c.encode("unicode_escape").decode("ascii")
                   for c in text)


class UserError(Exception):
    """A problem with the command line or the input data, not with the program."""


class InputError(UserError):
    """A problem in one input file, located by row (and line, for CSV) and column.

    Rows count data rows from 1 (the header is row 0); lines count physical lines of a
    CSV file from 1, so they match what an editor shows.
    """

    def __init__(self, path: str, message: str, *, row: int | None = None,
                 line: int | None = None, column: str | None = None) -> None:
        self.path = path
        self.message = message
        self.row = row
        self.line = line
        self.column = column
        super().__init__(self.describe())

    def describe(self) -> str:
        where = [self.path]
        if self.row is not None:
            place = "header" if self.row == 0 else f"row {self.row}"
            if self.line is not None:
                place += f" (line {self.line})"
            where.append(place)
        elif self.line is not None:
            where.append(f"line {self.line}")
        if self.column is not None:
            where.append(f"column {self.column!r}")
        return f"{', '.join(where)}: {self.message}"


class ModuleFailure(Exception):
    """An operation of the veltrane module stopped (PanicException or not yet built)."""


def is_panic(error: BaseException) -> bool:
    """True for the module's PanicException, whose type is not exported by name."""
    return type(error).__name__ == "PanicException"


def exit_status(name: str, run: Callable[[], int], interrupted: str = "interrupted") -> int:
    """Runs a command's body and turns the errors it reports into one line and a status:
    bad input or a refused file 2, a failure inside the module 3, SIGINT 130, SIGTERM 143."""
    try:
        with _sigterm_raises():
            return run()
    except UserError as error:
        print(f"{name}: error: {printable(str(error))}", file=sys.stderr)
        return USAGE
    except ModuleFailure as error:
        print(f"{name}: {printable(str(error))}", file=sys.stderr)
        return FAILURE
    except KeyboardInterrupt:
        print(f"{name}: {interrupted}", file=sys.stderr)
        return INTERRUPTED
    except Terminated:
        detail = interrupted.partition("; ")[2]
        print(f"{name}: terminated" + (f"; {detail}" if detail else ""), file=sys.stderr)
        return TERMINATED


@contextlib.contextmanager
def _sigterm_raises() -> Iterator[None]:
    """SIGTERM raises Terminated while the block runs (in the main thread only, where
    Python delivers signals), and the earlier handler is back afterwards."""
    if threading.current_thread() is not threading.main_thread():
        yield
        return

    def terminate(number: int, frame: object) -> None:
        raise Terminated()

    previous = signal.signal(signal.SIGTERM, terminate)
    try:
        yield
    finally:
        signal.signal(signal.SIGTERM, previous)
