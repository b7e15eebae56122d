"""Building a sharded store with memory that does not grow with the bank's size.

The rows are read once and spilled to an unnamed temporary file beside the output, each
key with its hash; only when the last row is in is the number of shards known, and one
pass over the spill sorts the keys into one temporary file per shard. Each shard is then
read back, built and written into the store file before the next is read, so a build
holds one shard's keys and one shard's store at a time.
"""

from __future__ import annotations

import os
import secrets
import struct
import tempfile
from collections.abc import Generator, Iterable, Iterator
from typing import BinaryIO

from .plan import Row
from .progress import Progress
from .shards import SALT_BYTES, filler_row, key_hash, key_text, shard_capacity, shard_count

RECORD = struct.Struct("<QI")   # the key's hash, the length of its UTF-8 text
BLOCK = 1 << 24


class ShardOverflow(Exception):
    """A shard drew more distinct keys than its capacity: split again, new salt."""


def spill_file(directory: str) -> BinaryIO:
    """A temporary file that has no name, so nothing is left behind on any exit."""
    return tempfile.TemporaryFile(dir=directory)


def write_record(stream: BinaryIO, hashed: int, text: bytes) -> None:
    stream.write(RECORD.pack(hashed, len(text)))
    stream.write(text)


def records(stream: BinaryIO) -> Iterator[tuple[int, bytes]]:
    """The (hash, text) records of a spill file, from its start, read in large blocks."""
    stream.seek(0)
    rest = b""
    while True:
        block = stream.read(BLOCK)
        data = rest + block if rest else block
        position, end = 0, len(data)
        while position + RECORD.size <= end:
            hashed, length = RECORD.unpack_from(data, position)
            start = position + RECORD.size
            if start + length > end:
                break
            yield hashed, data[start:start + length]
            position = start + length
        rest = data[position:]
        if not block:
            if rest:
                raise RuntimeError("a spill file ends inside a record")
            return


class KeySpill:
    """Every key of a bank's rows, in row order, on disk, in the folder of `output` (the
    store file being made), which has room for a file of that size."""

    def __init__(self, output: str) -> None:
        self.directory = os.path.dirname(os.path.abspath(output))
        self.stream = spill_file(self.directory)
        self.salt = secrets.token_bytes(SALT_BYTES)
        self.rows = 0

    def add(self, rows: Iterable[Row]) -> None:
        stream, salt = self.stream, self.salt
        for row in rows:
            text = key_text(row)
            write_record(stream, key_hash(text, salt), text.encode("utf-8"))
            self.rows += 1

    def split(self, count: int) -> list[BinaryIO]:
        """One spill file per shard, under the current salt."""
        buckets = [spill_file(self.directory) for _ in range(count)]
        try:
            for hashed, text in records(self.stream):
                write_record(buckets[hashed % count], hashed, text)
            for bucket in buckets:
                bucket.flush()
        except BaseException:
            for bucket in buckets:
                bucket.close()
            raise
        return buckets

    def new_salt(self) -> None:
        """Rehashes every key under a fresh salt."""
        self.salt = secrets.token_bytes(SALT_BYTES)
        again = spill_file(self.directory)
        for _, text in records(self.stream):
            write_record(again, key_hash(text.decode("utf-8"), self.salt), text)
        self.stream.close()
        self.stream = again

    def close(self) -> None:
        self.stream.close()


def shard_rows(bucket: BinaryIO, capacity: int) -> list[Row]:
    """A shard's distinct keys, in row order, filled up to `capacity` keys."""
    texts = dict.fromkeys(text for _, text in records(bucket))
    if len(texts) > capacity:
        raise ShardOverflow
    rows = [[text.decode("utf-8")] for text in texts]
    rows.extend(filler_row() for _ in range(capacity - len(rows)))
    return rows


def sharded_rows(spill: KeySpill, shard_keys: int,
                 progress: Progress) -> tuple[int, Generator[list[Row], None, None]]:
    """The number of shards and, one after the other, each shard's rows."""
    count = shard_count(spill.rows, shard_keys)
    capacity = shard_capacity(spill.rows, count)

    def each() -> Generator[list[Row], None, None]:
        buckets = spill.split(count)
        try:
            for index, bucket in enumerate(buckets):
                progress.note(f"store: shard {index + 1} of {count}, {capacity:,} keys")
                yield shard_rows(bucket, capacity)
                bucket.close()
        finally:
            for bucket in buckets:
                bucket.close()

    return count, each()
