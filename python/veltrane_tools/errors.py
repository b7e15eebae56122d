"""Errors the driver reports to its user as one readable line, without a traceback."""

from __future__ import annotations

import sys
from collections.abc import Callable

# Exit statuses shared by the commands.
USAGE, FAILURE, INTERRUPTED = 2, 3, 130


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
    bad input or a refused file 2, a failure inside the module 3, an interrupt 130."""
    try:
        return run()
    except UserError as error:
        print(f"{name}: error: {error}", file=sys.stderr)
        return USAGE
    except ModuleFailure as error:
        print(f"{name}: {error}", file=sys.stderr)
        return FAILURE
    except KeyboardInterrupt:
        print(f"{name}: {interrupted}", file=sys.stderr)
        return INTERRUPTED
