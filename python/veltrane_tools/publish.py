"""The bank's publish step: its account rows and its key become a store file.

A bank of up to SHARD_KEYS rows gets one store, built in one piece. A larger one gets a
sharded store (shards.py), built one shard at a time from keys spilled to disk, so the
memory of the build does not grow with the bank.
"""

from __future__ import annotations

import itertools
import os
import time
from collections.abc import Iterable

from .keys import SecretKey
from .plan import Row
from .progress import Progress
from .protocol import Timings, build_store, key_scheme
from .shard_build import KeySpill, ShardOverflow, sharded_rows
from .shards import SHARD_KEYS
from .store_file import write_sharded_store, write_store


def publish(key: SecretKey, rows: Iterable[Row], path: str, *, columns: int,
            timings: Timings | None = None, progress: Progress | None = None,
            shard_keys: int = SHARD_KEYS) -> str:
    """Builds the bank's store over its key rows (made with `key_of`, `columns` values
    each; any iterable, read once) and writes it to `path`; returns the file's SHA-256.
    More than `shard_keys` rows make a sharded store."""
    progress = progress or Progress(enabled=False)
    iterator = iter(rows)
    head = list(itertools.islice(iterator, shard_keys + 1))
    if not head:
        raise ValueError("a store needs at least one account row")
    start = time.perf_counter()
    if len(head) <= shard_keys:
        progress.note(f"store: building over {len(head):,} rows for bank {key.name}")
        store = build_store(key.pair(), head, timings)
        digest = write_store(path, key.public_key(), store, len(head), key_scheme(columns))
        size = len(store)
    else:
        # Only the chain holds the first rows now, and lets go of them once spilled.
        every = itertools.chain(head, iterator)
        del head
        digest, size = _publish_sharded(key, every, path, columns, timings, progress,
                                        shard_keys)
    progress.note(f"store: {size:,} bytes written to {path} "
                  f"({time.perf_counter() - start:.1f} s)")
    return digest


def _publish_sharded(key: SecretKey, rows: Iterable[Row], path: str, columns: int,
                     timings: Timings | None, progress: Progress,
                     shard_keys: int) -> tuple[str, int]:
    spill = KeySpill(path)
    try:
        progress.note(f"store: reading rows for bank {key.name}")
        spill.add(rows)
        progress.note(f"store: {spill.rows:,} rows, built in shards")
        pair = key.pair()
        while True:
            count, shards = sharded_rows(spill, shard_keys, progress)
            try:
                digest = write_sharded_store(
                    path, key.public_key(), (build_store(pair, shard, timings)
                                             for shard in shards),
                    count, spill.salt, spill.rows, key_scheme(columns))
            except ShardOverflow:
                spill.new_salt()
                continue
            finally:
                shards.close()
            return digest, os.path.getsize(path)
    finally:
        spill.close()
