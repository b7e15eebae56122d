"""The one file layout every exchanged file shares: sections of fixed-size items, a JSON
header and a SHA-256 digest of everything before it.

    offset  size  content
    0       8     b"VELTRANE"
    8       4     format version (little-endian), 1
    12      4     zero
    16      8     the file's length in bytes, digest included (little-endian)
    24      ...   the sections, back to back, in the order the header lists them
    ...     ...   the header: UTF-8 JSON, with "format", "kind" and "sections"
                  ([{"name", "items", "size"}], size being bytes per item)
    -40     8     the header's length in bytes (little-endian)
    -32     32    SHA-256 of every byte before it

The header comes last so that a step can write its sections as its chunks finish, in any
order, and describe them once it knows everything (the digests of the files it wrote
alongside, say). The length up front tells a truncated file from a damaged one. A file
is read only after its length, version and digest check out, so no step ever works on a
file that was cut short or changed.
"""

from __future__ import annotations

import contextlib
import hashlib
import json
import mmap
import os
import stat
import struct
from collections.abc import Sequence
from types import TracebackType
from typing import Any, BinaryIO

from .atomic import Together, atomic_file
from .errors import UserError

MAGIC = b"VELTRANE"
FORMAT_VERSION = 1
PREFIX = struct.Struct("<8sII Q")
TAIL = 8 + 32
BLOCK = 1 << 20
# The largest header read. Parsed JSON takes many times its size in memory, so a file
# from a peer may not make a step hold more than a few bytes: every exchanged header is
# a few hundred bytes. Only the coordinator's own state, which lists every pair of banks
# of its run, may be larger (about 40 bytes a pair).
HEADER_LIMIT = 1 << 20
HEADER_LIMITS = {"state": 64 << 20}


class FileRefused(UserError):
    """An exchanged file that cannot be used, and why."""

    def __init__(self, path: str, message: str) -> None:
        super().__init__(f"{path}: {message}")
        self.path = path


class ContainerWriter:
    """Writes one file atomically: `with ContainerWriter(...) as out: out.write(...)`;
    set `out.header` before the block ends. `digest` is known after it ends."""

    def __init__(self, path: str, kind: str, sections: Sequence[tuple[str, int, int]], *,
                 mode: int | None = None, replace: bool = True,
                 together: Together | None = None) -> None:
        self.path = path
        self.kind = kind
        self.header: dict[str, Any] = {}
        self.digest = ""
        self._sections = list(sections)
        self._offsets: dict[str, tuple[int, int, int]] = {}
        offset = PREFIX.size
        for name, items, size in self._sections:
            self._offsets[name] = (offset, items, size)
            offset += items * size
        self._end = offset
        self._written = {name: 0 for name, _, _ in self._sections}
        self._context = atomic_file(path, mode=mode, replace=replace, together=together)
        self._stream: BinaryIO | None = None

    def __enter__(self) -> ContainerWriter:
        self._stream = self._context.__enter__()
        self._stream.truncate(self._end)
        return self

    def write(self, section: str, index: int, data: bytes) -> None:
        """Items `index`, `index + 1`, ... of `section`: `data` holds whole items."""
        assert self._stream is not None
        offset, items, size = self._offsets[section]
        count, rest = divmod(len(data), size)
        if rest or index < 0 or index + count > items:
            raise ValueError(f"{len(data)} bytes at item {index} do not fit section "
                             f"{section!r} of {items} items of {size} bytes")
        self._stream.seek(offset + index * size)
        self._stream.write(data)
        self._written[section] += count

    def __exit__(self, kind: type[BaseException] | None, error: BaseException | None,
                 trace: TracebackType | None) -> None:
        if kind is None:
            try:
                self._seal()
            except BaseException as failure:
                self._context.__exit__(type(failure), failure, failure.__traceback__)
                raise
        self._context.__exit__(kind, error, trace)

    def _seal(self) -> None:
        stream = self._stream
        assert stream is not None
        for name, items, _ in self._sections:
            if self._written[name] != items:  # a hole would read back as zero points
                raise RuntimeError(f"{self.path}: section {name!r} got {self._written[name]}"
                                   f" of {items} items")
        header = {"format": FORMAT_VERSION, "kind": self.kind, **self.header,
                  "sections": [{"name": n, "items": i, "size": s}
                               for n, i, s in self._sections]}
        text = json.dumps(header, sort_keys=True).encode("utf-8")
        length = self._end + len(text) + TAIL
        stream.seek(0)
        stream.write(PREFIX.pack(MAGIC, FORMAT_VERSION, 0, length))
        stream.seek(self._end)
        stream.write(text)
        stream.write(struct.pack("<Q", len(text)))
        stream.flush()
        digest = _hash(stream, length - 32)
        stream.seek(length - 32)
        stream.write(digest.digest())
        self.digest = digest.hexdigest()


def _hash(stream: BinaryIO, length: int) -> Any:
    digest = hashlib.sha256()
    stream.seek(0)
    left = length
    while left > 0:
        block = stream.read(min(BLOCK, left))
        if not block:
            break
        digest.update(block)
        left -= len(block)
    return digest


class Container:
    """A verified file: its header, its digest and its sections, read on demand."""

    def __init__(self, path: str, stream: BinaryIO, header: dict[str, Any],
                 digest: str) -> None:
        self.path = path
        self.header = header
        self.digest = digest
        self._stream = stream
        self.sections: dict[str, tuple[int, int, int]] = {}
        offset = PREFIX.size
        for name, items, size in _sections(header):
            self.sections[name] = (offset, items, size)
            offset += items * size

    def __enter__(self) -> Container:
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def close(self) -> None:
        self._stream.close()

    def refuse(self, message: str) -> FileRefused:
        return FileRefused(self.path, message)

    def require_sections(self, sizes: dict[str, int | None]) -> None:
        """Checks the sections' names and item sizes (None: any size) are these."""
        found = {name: size for name, (_, _, size) in self.sections.items()}
        if set(found) != set(sizes) or any(size is not None and found[name] != size
                                           for name, size in sizes.items()):
            raise self.refuse(f"damaged: sections {found} where {sizes} belong")

    def field(self, name: str, kind: type | tuple[type, ...] = str) -> Any:
        """A header field that must be present with this type."""
        value = self.header.get(name)
        if not isinstance(value, kind) or isinstance(value, bool) != (kind is bool):
            raise self.malformed(name)
        return value

    def count_field(self, name: str, keys: Sequence[str] | None = None) -> Any:
        """A header field holding a count (an int, not 1.0 or "1", at least 0), or with
        `keys`, an object of exactly those keys, each holding a count."""
        value = self.header.get(name)
        if keys is None:
            if not is_count(value):
                raise self.malformed(name)
            return value
        if (not isinstance(value, dict) or sorted(value) != sorted(keys)
                or not all(is_count(v) for v in value.values())):
            raise self.malformed(name)
        return value

    def malformed(self, name: str) -> FileRefused:
        return self.refuse(f"damaged: the header field {name!r} is missing or malformed")

    def expect(self, name: str, expected: Any, what: str) -> None:
        """Refuses the file unless header field `name` equals `expected`; `what` names
        the mismatch for the user, such as "run" or "bank"."""
        found = self.header.get(name)
        if found != expected:
            raise self.refuse(f"wrong {what}: {_show(found)} where {_show(expected)} belongs")

    def items(self, section: str) -> int:
        return self.sections[section][1]

    def read(self, section: str, index: int = 0, count: int | None = None) -> bytes:
        offset, items, size = self.sections[section]
        count = items - index if count is None else count
        if index < 0 or count < 0 or index + count > items:
            raise self.refuse(f"items {index}..{index + count} are outside section "
                              f"{section!r} of {items}")
        self._stream.seek(offset + index * size)
        data = self._stream.read(count * size)
        if len(data) != count * size:
            raise self.refuse("the file became shorter while it was read")
        return data


    def map(self, section: str) -> memoryview:
        """The section as a read-only view of the file mapped into memory: its pages are
        read as they are used and shared with the page cache, not copied. The mapping
        lives as long as the view (and views of it); it outlives this file's closing.
        The content was verified when the file was opened, so whoever may change the
        file afterwards can change what the view shows: only map files that no peer can
        still write (the coordinator's own copies)."""
        offset, items, size = self.sections[section]
        if items * size == 0:
            return memoryview(b"")
        mapped = mmap.mmap(self._stream.fileno(), 0, access=mmap.ACCESS_READ)
        try:
            with memoryview(mapped) as whole:
                # The section's view alone now holds the mapping: it is unmapped when
                # the last view of it goes (or at close_view).
                return whole[offset:offset + items * size]
        except BaseException:
            mapped.close()
            raise


def close_view(view: memoryview) -> None:
    """Unmaps the file behind a view from `Container.map` now rather than when the view
    is collected; left to the collector while other views of it are in use."""
    mapped = view.obj
    view.release()
    if isinstance(mapped, mmap.mmap):
        with contextlib.suppress(BufferError):
            mapped.close()


def is_count(value: Any) -> bool:
    """A whole number of items: an int (JSON 10, not 10.0, "10" or true), at least 0."""
    return type(value) is int and value >= 0


def open_regular(path: str) -> BinaryIO:
    """Opens a regular file for reading. A pipe, device or socket is refused before a byte
    is read: a FIFO would make the step wait for a writer forever, a device never end."""
    try:
        descriptor = os.open(path, os.O_RDONLY | os.O_NONBLOCK | os.O_CLOEXEC)
    except FileNotFoundError:
        raise FileRefused(path, "no such file") from None
    except OSError as error:
        raise FileRefused(path, f"cannot read the file: {error.strerror or error}") from None
    try:
        mode = os.fstat(descriptor).st_mode
        if stat.S_ISDIR(mode):
            raise FileRefused(path, "is a directory, not a file")
        if not stat.S_ISREG(mode):
            raise FileRefused(path, "not a regular file (a pipe, device or socket is not "
                                    "read)")
        os.set_blocking(descriptor, True)
        return os.fdopen(descriptor, "rb")
    except BaseException:
        os.close(descriptor)
        raise


def open_container(path: str, kind: str | None) -> Container:
    """Opens a file of `kind` (None: any kind) after checking its layout, version, length and digest."""
    stream = open_regular(path)
    try:
        return Container(path, stream, *_verify(path, stream, kind))
    except BaseException:
        stream.close()
        raise


def _verify(path: str, stream: BinaryIO, kind: str | None) -> tuple[dict[str, Any], str]:
    size = os.fstat(stream.fileno()).st_size
    prefix = stream.read(PREFIX.size)
    wanted = f"{_article(kind)} {kind} file" if kind else "a veltrane file"
    if len(prefix) < PREFIX.size or not prefix.startswith(MAGIC):
        if len(prefix) < len(MAGIC) and MAGIC.startswith(prefix):
            raise FileRefused(path, f"truncated: {size} bytes, too short to be {wanted}")
        raise FileRefused(path, f"not a veltrane file (expected {wanted})")
    _, version, _, length = PREFIX.unpack(prefix)
    if version != FORMAT_VERSION:
        raise FileRefused(path, f"format version {version}; this program reads version "
                                f"{FORMAT_VERSION}")
    if size < length:
        raise FileRefused(path, f"truncated: {size:,} of {length:,} bytes")
    if size > length:
        raise FileRefused(path, f"damaged: {size - length:,} bytes longer than its recorded "
                                f"length of {length:,} bytes")
    if length < PREFIX.size + TAIL:
        raise FileRefused(path, "damaged: its recorded length is impossible")
    digest = _hash(stream, length - 32)
    if stream.read(32) != digest.digest():
        raise FileRefused(path, "integrity check failed: the content does not match its "
                                "SHA-256 digest (the file was changed or damaged)")
    stream.seek(length - TAIL)
    (header_length,) = struct.unpack("<Q", stream.read(8))
    limit = HEADER_LIMITS.get(kind, HEADER_LIMIT) if kind else HEADER_LIMIT
    if header_length > limit:
        raise FileRefused(path, f"refused: a header of {header_length:,} bytes, more than "
                                f"the {limit:,} this program reads")
    try:
        if header_length > length - PREFIX.size - TAIL:
            raise ValueError("header length")
        stream.seek(length - TAIL - header_length)
        header = json.loads(stream.read(header_length).decode("utf-8"),
                            parse_constant=_refuse_constant)
        if not isinstance(header, dict):
            raise ValueError("not an object")
        body = sum(items * size for _, items, size in _sections(header))
        if body != length - TAIL - header_length - PREFIX.size:
            raise ValueError("layout")
    except (ValueError, RecursionError):
        # The digest matched, so the writer itself made this file wrongly (or meant to).
        raise FileRefused(path, "damaged: its header does not describe its content") from None
    if type(header.get("format")) is not int or header["format"] != FORMAT_VERSION:
        raise FileRefused(path, f"format version {_show(header.get('format'))} in the "
                                f"header; this program reads version {FORMAT_VERSION}")
    found = header.get("kind")
    if not isinstance(found, str):
        raise FileRefused(path, "damaged: its header names no kind of file")
    if kind is not None and found != kind:
        raise FileRefused(path, f"is {_article(found)} {found} file, expected {wanted}")
    return header, digest.hexdigest()


def _refuse_constant(name: str) -> Any:
    raise ValueError(f"{name} is not a number")


def _sections(header: dict[str, Any]) -> list[tuple[str, int, int]]:
    """The header's sections as (name, items, size); ValueError unless each has a name of
    its own, a count of items and a size of at least one byte."""
    sections = header.get("sections")
    if not isinstance(sections, list):
        raise ValueError("sections")
    result: list[tuple[str, int, int]] = []
    for section in sections:
        if not isinstance(section, dict):
            raise ValueError("section")
        name, items, size = section.get("name"), section.get("items"), section.get("size")
        if (not isinstance(name, str) or any(name == known for known, _, _ in result)
                or not isinstance(items, int) or not isinstance(size, int)
                or not is_count(items) or not is_count(size) or size == 0):
            raise ValueError("section")
        result.append((name, items, size))
    return result


def _show(value: Any) -> str:
    return repr(value) if not isinstance(value, dict) else json.dumps(value, sort_keys=True)


def _article(word: str) -> str:
    return "an" if word[:1] in "aeiou" else "a"


def describe(path: str) -> dict[str, Any]:
    """The header and digest of a verified file of any kind (for `veltrane inspect`)."""
    with open_container(path, None) as container:
        return {**container.header, "sha256": container.digest}


def file_digest(path: str) -> str:
    """SHA-256 of any file, read in blocks (a payments table, say)."""
    digest = hashlib.sha256()
    try:
        with open_regular(path) as stream:
            while block := stream.read(BLOCK):
                digest.update(block)
    except OSError as error:
        raise FileRefused(path, f"cannot read the file: {error.strerror or error}") from None
    return digest.hexdigest()
