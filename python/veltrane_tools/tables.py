"""Reading and writing the parties' tables as CSV or Parquet.

A `Table` keeps every value of a CSV file as text and, for Parquet, the Arrow table
itself, so that the payments can be written back with all their columns and types plus
one added boolean column. Parquet needs pyarrow, which is only imported when a Parquet
file is read or written.

A payments table may hold more rows than fit in memory, so it is read as a `TableFile`:
its header first, then windows of a few columns at a time (each window a `Table` that
knows where it starts, so its errors name the file's own row and line numbers), as many
times over as a step needs.
"""

from __future__ import annotations

import contextlib
import csv
import io
import itertools
import os
from array import array
from collections.abc import Iterable, Iterator, Sequence
from dataclasses import dataclass, field
from pathlib import Path
from typing import Any

from .atomic import atomic_file
from .container import open_regular
from .errors import InputError, UserError
from .plan import DEFAULT_WINDOW

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
    first: int = 0                           # a window's first row in its file (0-based)
    _cache: dict[str, list[Any]] = field(default_factory=dict, repr=False)

    def __len__(self) -> int:
        if self.rows is not None:
            return len(self.rows)
        return int(self.arrow.num_rows)

    def line_of(self, index: int) -> int | None:
        """The physical line of data row `index` (0-based), for CSV files."""
        return None if self.lines is None else int(self.lines[index])

    def error(self, index: int, message: str, column: str | None = None) -> InputError:
        """An error at data row `index` (0-based) of this table or window."""
        return InputError(self.path, message, row=self.first + index + 1,
                          line=self.line_of(index), column=column)

    def require(self, names: Iterable[str], option: str) -> None:
        """Checks that every named column exists; `option` tells the user where it came from."""
        _require(self.path, self.columns, self.lines is not None, names, option)

    def windows(self, names: Sequence[str] | None, size: int) -> Iterator[Table]:
        """The named columns (None: every column), `size` rows at a time: the same
        interface as a TableFile's."""
        chosen = _chosen(self.columns, names)
        for start in range(0, len(self), size):
            if self.rows is not None:
                rows = self.rows[start:start + size]
                if names is not None:
                    positions = [self.columns.index(name) for name in chosen]
                    rows = [[row[p] for p in positions] for row in rows]
                lines = None if self.lines is None else self.lines[start:start + size]
                yield Table(self.path, chosen, rows=rows, lines=lines, first=start)
            else:
                arrow = self.arrow if names is None else self.arrow.select(chosen)
                yield Table(self.path, chosen, arrow=arrow.slice(start, size), first=start)

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


def _chosen(columns: list[str], names: Sequence[str] | None) -> list[str]:
    """The columns a window holds: the named ones, each once, or all of them."""
    return list(columns) if names is None else list(dict.fromkeys(names))


def _require(path: str, columns: list[str], lined: bool, names: Iterable[str],
             option: str) -> None:
    for name in names:
        if name not in columns:
            raise InputError(
                path,
                f"no such column (named by {option}); "
                f"the columns are: {', '.join(map(repr, columns)) or 'none'}",
                row=0, line=1 if lined else None, column=name)
        if columns.count(name) > 1:
            raise InputError(path, f"the column {name!r} appears more than once",
                             row=0, line=1 if lined else None, column=name)


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
    source = open_table(path)
    if source.kind == "parquet":
        pyarrow = require_pyarrow(path)
        try:
            arrow = pyarrow.parquet.read_table(path)
        except (pyarrow.ArrowException, OSError) as error:
            raise InputError(path, f"not a readable Parquet file: {error}") from None
        if arrow.num_rows == 0:
            raise InputError(path, "the file has a header but no data rows")
        return Table(path=path, columns=list(arrow.column_names), arrow=arrow)
    rows: list[list[str]] = []
    lines = array("I")
    for window in source.windows(None, DEFAULT_WINDOW):
        assert window.rows is not None and window.lines is not None
        rows += window.rows
        lines += window.lines
    return Table(path=path, columns=source.columns, rows=rows, lines=lines)


@dataclass
class TableFile:
    """A CSV or Parquet file whose header has been read; its rows are read in windows."""

    path: str
    kind: str
    columns: list[str]

    def require(self, names: Iterable[str], option: str) -> None:
        _require(self.path, self.columns, self.kind == "csv", names, option)

    def windows(self, names: Sequence[str] | None, size: int) -> Iterator[Table]:
        """The named columns (None: every column), `size` rows at a time, from the first
        row; a file without rows is an error, as is a bad row, found when its window is
        reached."""
        rows = 0
        reader = _csv_windows if self.kind == "csv" else _parquet_windows
        for window in reader(self.path, _chosen(self.columns, names), names is None, size):
            rows += len(window)
            yield window
        if rows == 0:
            raise InputError(self.path, "the file has a header but no data rows",
                             row=0, line=1 if self.kind == "csv" else None)


def open_table(path: str) -> TableFile:
    """Opens a CSV or Parquet file for reading in windows: checks its type and reads its
    header (its rows are checked as they are read)."""
    kind = file_kind(path)
    open_regular(path).close()   # a FIFO or a device would hang the reader or never end
    if kind == "csv":
        with _csv_reader(path) as (_, header, _):
            return TableFile(path, kind, header)
    with _parquet_file(path) as parquet:
        return TableFile(path, kind, list(parquet.schema_arrow.names))


@contextlib.contextmanager
def _csv_reader(path: str) -> Iterator[tuple[Any, list[str], int]]:
    """The CSV reader positioned after the header, the header and the next row's line;
    reading errors inside the block become InputErrors (with the line that failed)."""
    try:
        with open(path, newline="", encoding="utf-8-sig") as stream:
            reader = csv.reader(stream, strict=True)
            try:
                try:
                    header = next(reader, None)
                except csv.Error as error:
                    raise InputError(path, f"malformed CSV: {error}", row=1, line=1) from None
                if header is None or not any(cell.strip() for cell in header):
                    raise InputError(path, "the file is empty (no header line)",
                                     line=1 if header is not None else None)
                yield reader, [cell.strip() for cell in header], reader.line_num + 1
            except UnicodeDecodeError as error:
                # Text is decoded in blocks, so find the offending line in the raw bytes.
                raise InputError(path, f"the file is not valid UTF-8 text ({error.reason})",
                                 line=_first_undecodable_line(path)) from None
    except OSError as error:
        raise UserError(f"{path}: cannot read the file: {error.strerror or error}") from None


def _csv_windows(path: str, names: list[str], whole: bool, size: int) -> Iterator[Table]:
    with _csv_reader(path) as (reader, header, line):
        positions = None if whole else [header.index(name) for name in names]
        width = len(header)
        rows: list[list[str]] = []
        lines = array("I")
        first = count = 0
        try:
            for row in reader:
                if len(row) != width:
                    if not row or (len(row) == 1 and not row[0].strip()):
                        line = reader.line_num + 1
                        continue  # a blank line
                    raise _width_error(path, header, row, count + 1, line)
                rows.append(row if positions is None else [row[p] for p in positions])
                lines.append(line)
                count += 1
                line = reader.line_num + 1
                if len(rows) == size:
                    yield Table(path, names, rows=rows, lines=lines, first=first)
                    rows, lines, first = [], array("I"), count
        except csv.Error as error:
            raise InputError(path, f"malformed CSV: {error}", row=count + 1,
                             line=line) from None
        if rows:
            yield Table(path, names, rows=rows, lines=lines, first=first)


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


@contextlib.contextmanager
def _parquet_file(path: str) -> Iterator[Any]:
    """The open pyarrow ParquetFile; reading errors inside the block become InputErrors."""
    pyarrow = require_pyarrow(path)
    if os.path.getsize(path) == 0:
        raise InputError(path, "the file is empty")
    try:
        with pyarrow.parquet.ParquetFile(path) as parquet:
            yield parquet
    except (pyarrow.ArrowException, OSError) as error:
        raise InputError(path, f"not a readable Parquet file: {error}") from None


def _parquet_windows(path: str, names: list[str], whole: bool,
                     size: int) -> Iterator[Table]:
    with _parquet_file(path) as parquet:
        pyarrow = require_pyarrow(path)
        first = 0
        for batch in parquet.iter_batches(batch_size=size, columns=None if whole else names):
            yield Table(path, names, arrow=pyarrow.Table.from_batches([batch]), first=first)
            first += batch.num_rows


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


def write_table(table: Table | TableFile, column: str, flags: Sequence[bool], path: str, *,
                window: int = DEFAULT_WINDOW) -> None:
    """Writes `table` plus the boolean column `column` to `path` (CSV or Parquet), reading
    the table again `window` rows at a time; `flags` holds one flag per row."""
    kind = check_output(path)
    if column in table.columns:
        raise UserError(f"{table.path}: already has a column {column!r}; choose another name "
                        f"for the result with --match-column")
    # Written beside its name and renamed when complete, so a half-written result is
    # never mistaken for a whole one (nor is one cut short by a bad row).
    with atomic_file(path) as binary:
        windows = table.windows(None, window)
        if kind == "parquet":
            rows = _write_flags_parquet(binary, windows, column, flags, path)
        else:
            stream = io.TextIOWrapper(binary, encoding="utf-8", newline="")
            rows = _write_flags_csv(stream, table.columns, windows, column, flags)
            stream.flush()
            stream.detach()  # the binary file stays open for atomic_file to finish
        if rows != len(flags):
            raise UserError(f"{table.path}: {rows:,} payments, but the run has {len(flags)}")

TEXTS = ("false", "true")


def _write_flags_csv(stream: Any, columns: list[str], windows: Iterable[Table], column: str,
                     flags: Sequence[bool]) -> int:
    """Writes every row with its flag; returns the rows read (rows beyond the flags are
    counted, not written)."""
    writer = csv.writer(stream)
    writer.writerow([*columns, column])
    marks = iter(flags)
    rows = 0
    for window in windows:
        if window.rows is not None:
            lines: Iterable[Sequence[Any]] = window.rows
        else:
            values = [window.raw(name) for name in columns]
            lines = ([*("" if v[index] is None else v[index] for v in values)]
                     for index in range(len(window)))
        for row, flag in zip(lines, marks):
            writer.writerow([*row, TEXTS[bool(flag)]])
        rows += len(window)
    return rows


def _write_flags_parquet(binary: Any, windows: Iterable[Table], column: str,
                         flags: Sequence[bool], path: str) -> int:
    pyarrow = require_pyarrow(path)
    marks = iter(flags)
    rows = 0
    with contextlib.ExitStack() as stack:
        writer = None
        for window in windows:
            rows += len(window)
            part = list(itertools.islice(marks, len(window)))
            if len(part) < len(window):
                continue   # more rows than flags: counted, and the whole is refused
            arrow = window.arrow if window.arrow is not None else pyarrow.table(
                {name: window.raw(name) for name in window.columns})
            arrow = arrow.append_column(column, pyarrow.array(part, pyarrow.bool_()))
            if writer is None:
                writer = stack.enter_context(pyarrow.parquet.ParquetWriter(binary,
                                                                           arrow.schema))
            writer.write_table(arrow)
    return rows


def write_csv(path: str, columns: Sequence[str], rows: Iterable[Sequence[str]]) -> None:
    with open(path, "w", newline="", encoding="utf-8") as stream:
        writer = csv.writer(stream)
        writer.writerow(columns)
        writer.writerows(rows)
