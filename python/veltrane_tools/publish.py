"""The bank's publish step: its account rows and its key become a store file."""

from __future__ import annotations

import time
from collections.abc import Sequence

from .keys import SecretKey
from .plan import Row
from .progress import Progress
from .protocol import Timings, build_store, key_scheme
from .store_file import write_store


def publish(key: SecretKey, rows: Sequence[Row], path: str, *, columns: int,
            timings: Timings | None = None, progress: Progress | None = None) -> str:
    """Builds the bank's store over its key rows (made with `key_of`, `columns` values
    each) and writes it to `path`; returns the file's SHA-256."""
    progress = progress or Progress(enabled=False)
    if not rows:
        raise ValueError("a store needs at least one account row")
    progress.note(f"store: building over {len(rows):,} rows for bank {key.name}")
    start = time.perf_counter()
    store = build_store(key.pair(), rows, timings)
    digest = write_store(path, key.public_key(), store, len(rows), key_scheme(columns))
    progress.note(f"store: {len(store):,} bytes written to {path} "
                  f"({time.perf_counter() - start:.1f} s)")
    return digest
