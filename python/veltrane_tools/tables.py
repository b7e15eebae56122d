"""Reading and writing the parties' tables as CSV or Parquet.

A `Table` keeps every value of a CSV file as text and, for Parquet, the Arrow table
itself, so that the payments can be written back with all their columns and types plus
one added boolean column. Parquet needs pyarrow, which is only imported when a Parquet
file is read or written.
"""

from __future__ import annotations

import csv
import io
import os
from array import array
from collections.abc import Iterable, Sequence
from dataclasses import dataclass, field
from pathlib import Path
from typing import Any

from .atomic import atomic_file
from .container import open_regular
from .errors import InputError, UserError

CSV_SUFFIXES = (".csv", ".txt")
PARQUET_SUFFIXES = (".parquet", ".pq")


def file_kind(path: str) -> str:
    """'csv' or 'parquet', from the file name's suffix."""
    suffix = Path(path).suffix.lower()
    if suffix in CSV_SUFFIXES:
        return "csv"
    if suffix in PARQUET_SUFFIXES:
        return "parquet"
    raise UserError(f"{path}: unknown file type {suffix or '(no suffix)'!r}; "
                    f"use .csv or .parquet")


def require_pyarrow(path: str) -> Any:
    try:
        import pyarrow  # type: ignore[import-untyped, unused-ignore]
        import pyarrow.parquet  # type: ignore[import-untyped, unused-ignore]
    except ImportError:
        raise UserError(f"{path}: reading and writing Parquet needs pyarrow, which is not "
                        f"installed (pip install pyarrow, or pip install 'veltrane[parquet]')"
                        ) from None
    return pyarrow


@dataclass
class Table:
    """A table read from a file (or made in memory), with row locations for messages."""

    path: str
    columns: list[str]
    rows: list[list[str]] | None = None      # CSV and in-memory tables: every value as text
    arrow: Any = None                        # Parquet: the pyarrow.Table
    lines: array | None = None               # CSV: first physical line of each data row
    _cache: dict[str, list[Any]] = field(default_factory=dict, repr=False)

    def __len__(self) -> int:
        if self.rows is not None:
            return len(self.rows)
        return int(self.arrow.num_rows)

    def line_of(self, index: int) -> int | None:
        """The physical line of data row `index` (0-based), for CSV files."""
        return None if self.lines is None else int(self.lines[index])

    def error(self, index: int, message: str, column: str | None = None) -> InputError:
        """An error at data row `index` (0-based)."""
        return InputError(self.path, message, row=index + 1, line=self.line_of(index),
                          column=column)

    def require(self, names: Iterable[str], option: str) -> None:
        """Checks that every named column exists; `option` tells the user where it came from."""
        for name in names:
            if name not in self.columns:
                raise InputError(
                    self.path,
                    f"no such column (named by {option}); "
                    f"the columns are: {', '.join(map(repr, self.columns)) or 'none'}",
                    row=0, line=1 if self.lines is not None else None, column=name)
            if self.columns.count(name) > 1:
                raise InputError(self.path, f"the column {name!r} appears more than once",
                                 row=0, line=1 if self.lines is not None else None,
                                 column=name)

    def raw(self, name: str) -> list[Any]:
        """The column's values as stored (text for CSV, Python values for Parquet)."""
        if name not in self._cache:
            if self.rows is not None:
                position = self.columns.index(name)
                self._cache[name] = [row[position] for row in self.rows]
            else:
                self._cache[name] = self.arrow.column(name).to_pylist()
        return self._cache[name]

    def text(self, name: str) -> list[str]:
        """The column as stripped, non-empty text; an empty or missing value is an error."""
        values = self.raw(name)
        result: list[str] = []
        append = result.append
        for index, value in enumerate(values):
            if value is None:
                raise self.error(index, "the value is missing (null)", name)
            text = value.strip() if isinstance(value, str) else _as_text(value)
            if not text:
                raise self.error(index, "the value is empty", name)
            append(text)
        return result


def _as_text(value: Any) -> str:
    if isinstance(value, bytes):
        try:
            return value.decode("utf-8").strip()
        except UnicodeDecodeError:
            return value.hex()
    if isinstance(value, float) and value.is_integer():
        return str(int(value))
    return str(value).strip()


def read_table(path: str) -> Table:
    """Reads a CSV (with a header line) or Parquet file; every problem is an InputError."""
    kind = file_kind(path)
    open_regular(path).close()   # a FIFO or a device would hang the reader or never end
    table = _read_csv(path) if kind == "csv" else _read_parquet(path)
    if len(table) == 0:
        raise InputError(path, "the file has a header but no data rows",
                         row=0, line=1 if kind == "csv" else None)
    return table


def _read_csv(path: str) -> Table:
    rows: list[list[str]] = []
    lines = array("I")
    try:
        with open(path, newline="", encoding="utf-8-sig") as stream:
            reader = csv.reader(stream, strict=True)
            line = 1
            try:
                header = next(reader, None)
                if header is None or not any(cell.strip() for cell in header):
                    raise InputError(path, "the file is empty (no header line)",
                                     line=1 if header is not None else None)
                header = [cell.strip() for cell in header]
                width = len(header)
                line = reader.line_num + 1
                for row in reader:
                    if len(row) != width:
                        if not row or (len(row) == 1 and not row[0].strip()):
                            line = reader.line_num + 1
                            continue  # a blank line
                        raise _width_error(path, header, row, len(rows) + 1, line)
                    rows.append(row)
                    lines.append(line)
                    line = reader.line_num + 1
            except csv.Error as error:
                raise InputError(path, f"malformed CSV: {error}", row=len(rows) + 1,
                                 line=line) from None
            except UnicodeDecodeError as error:
                # Text is decoded in blocks, so find the offending line in the raw bytes.
                raise InputError(path, f"the file is not valid UTF-8 text ({error.reason})",
                                 line=_first_undecodable_line(path)) from None
    except OSError as error:
        raise UserError(f"{path}: cannot read the file: {error.strerror or error}") from None
    return Table(path=path, columns=header, rows=rows, lines=lines)


def _first_undecodable_line(path: str) -> int | None:
    with open(path, "rb") as stream:
        for number, raw in enumerate(stream, start=1):
            try:
                raw.decode("utf-8")
            except UnicodeDecodeError:
                return number
    return None


def _width_error(path: str, header: list[str], row: list[str], number: int,
                 line: int) -> InputError:
    if len(row) < len(header):
        missing = header[len(row)]
        return InputError(path, f"the row has {len(row)} fields but the header has "
                                f"{len(header)}; the value for this column is missing",
                          row=number, line=line, column=missing)
    return InputError(path, f"the row has {len(row)} fields but the header has {len(header)};"
                            f" {len(row) - len(header)} extra field(s) after the last column",
                      row=number, line=line, column=header[-1])


def _read_parquet(path: str) -> Table:
    pyarrow = require_pyarrow(path)
    if os.path.getsize(path) == 0:
        raise InputError(path, "the file is empty")
    try:
        arrow = pyarrow.parquet.read_table(path)
    except (pyarrow.ArrowException, OSError) as error:
        raise InputError(path, f"not a readable Parquet file: {error}") from None
    return Table(path=path, columns=list(arrow.column_names), arrow=arrow)


def memory_table(name: str, columns: Sequence[str], rows: list[list[str]]) -> Table:
    """A table made by the program itself (synthetic data)."""
    return Table(path=name, columns=list(columns), rows=rows)


def check_output(path: str) -> str:
    """The output's kind, once its type is known and its directory exists (and for
    Parquet, pyarrow is installed): checked before any work is done."""
    kind = file_kind(path)
    directory = os.path.dirname(os.path.abspath(path))
    if not os.path.isdir(directory):
        raise UserError(f"{path}: the directory {directory} does not exist")
    if kind == "parquet":
        require_pyarrow(path)
    return kind


def write_table(table: Table, column: str, flags: Sequence[bool], path: str) -> None:
    """Writes `table` plus the boolean column `column` to `path` (CSV or Parquet)."""
    kind = check_output(path)
    if column in table.columns:
        raise UserError(f"{table.path}: already has a column {column!r}; choose another name "
                        f"for the result with --match-column")
    # Written beside its name and renamed when complete, so a half-written result is
    # never mistaken for a whole one.
    with atomic_file(path) as binary:
        if kind == "parquet":
            pyarrow = require_pyarrow(path)
            arrow = table.arrow if table.arrow is not None else pyarrow.table(
                {name: table.raw(name) for name in table.columns})
            arrow = arrow.append_column(column, pyarrow.array(list(flags), pyarrow.bool_()))
            pyarrow.parquet.write_table(arrow, binary)
            return
        stream = io.TextIOWrapper(binary, encoding="utf-8", newline="")
        _write_flags_csv(stream, table, column, flags)
        stream.flush()
        stream.detach()  # the binary file stays open for atomic_file to finish


def _write_flags_csv(stream: Any, table: Table, column: str, flags: Sequence[bool]) -> None:
    writer = csv.writer(stream)
    writer.writerow([*table.columns, column])
    texts = ("true", "false")
    if table.rows is not None:
        for row, flag in zip(table.rows, flags):
            writer.writerow([*row, texts[0] if flag else texts[1]])
    else:
        values = [table.raw(name) for name in table.columns]
        for index, flag in enumerate(flags):
            writer.writerow([*("" if v[index] is None else v[index] for v in values),
                             texts[0] if flag else texts[1]])


def write_csv(path: str, columns: Sequence[str], rows: Iterable[Sequence[str]]) -> None:
    with open(path, "w", newline="", encoding="utf-8") as stream:
        writer = csv.writer(stream)
        writer.writerow(columns)
        writer.writerows(rows)
