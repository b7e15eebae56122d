"""The store file a bank publishes: its store and what the coordinator must know of it.

Header fields: bank (the bank's name), public_key (hex) and fingerprint, key_scheme, rows
(account rows the store was built from). Two layouts:

- version 1 (no "version" field): one section, "store", holding the store's bytes as one
  item;
- version 2, for banks too large to build in one piece: "version": 2 and "shards":
  {"count": k, "salt": 32 hex digits}, and one section "shards" of k stores of one size,
  `store_size(shard_capacity(rows, k))` bytes each (shards.py).

A store read back is mapped, not loaded: the module reads it in place through the view,
so a coordinator holding many large stores keeps them in the page cache once.
"""

from __future__ import annotations

import math
from collections.abc import Iterable
from dataclasses import dataclass
from typing import Any

from .container import Container, ContainerWriter, close_view, open_container
from .keys import KEY_BYTES, PublicKey, checked_name
from .shards import SALT_BYTES, ShardedStore, shard_capacity

KIND = "store"
SHARDED = 2


@dataclass(frozen=True)
class Store:
    bank: PublicKey
    store: Any          # the store's bytes (read back: a view of the mapped file), or a
    rows: int           # ShardedStore of such views
    key_scheme: dict[str, object]
    digest: str = ""   # SHA-256 of the file it was read from
    path: str = ""

    def close(self) -> None:
        """Unmaps a store read from a file (else the mapping goes with the last view)."""
        views = self.store.shards if isinstance(self.store, ShardedStore) else (self.store,)
        for view in views:
            if isinstance(view, memoryview):
                close_view(view)


def _identity(bank: PublicKey, rows: int, key_scheme: dict[str, object]) -> dict[str, Any]:
    return {"bank": bank.name, "public_key": bank.public.hex(),
            "fingerprint": bank.fingerprint, "rows": rows, "key_scheme": key_scheme}


def write_store(path: str, bank: PublicKey, store: bytes, rows: int,
                key_scheme: dict[str, object]) -> str:
    """Writes the store file; returns its SHA-256."""
    with ContainerWriter(path, KIND, [("store", 1, len(store))]) as out:
        out.write("store", 0, store)
        out.header = _identity(bank, rows, key_scheme)
    return out.digest


def write_sharded_store(path: str, bank: PublicKey, shards: Iterable[bytes], count: int,
                        salt: bytes, rows: int, key_scheme: dict[str, object]) -> str:
    """Writes a sharded store file from its `count` shards, each made when the previous
    one is written; returns the file's SHA-256."""
    size = store_size(shard_capacity(rows, count))
    with ContainerWriter(path, KIND, [("shards", count, size)]) as out:
        for index, shard in enumerate(shards):
            if len(shard) != size:
                raise RuntimeError(f"shard {index} has {len(shard):,} bytes, not {size:,}")
            out.write("shards", index, shard)
        out.header = {**_identity(bank, rows, key_scheme), "version": SHARDED,
                      "shards": {"count": count, "salt": salt.hex()}}
    return out.digest


def read_store(path: str) -> Store:
    with open_container(path, KIND) as file:
        version = file.header.get("version", 1)
        if version not in (1, SHARDED) or isinstance(version, bool):
            raise file.refuse(f"store version {version!r}; this program reads versions 1 "
                              f"and {SHARDED}")
        file.require_sections({"store": None} if version == 1 else {"shards": None})
        try:
            public = bytes.fromhex(file.field("public_key"))
        except ValueError:
            public = b""
        if len(public) != KEY_BYTES:
            raise file.refuse("damaged: the header field 'public_key' is malformed")
        bank = PublicKey(checked_name(file.header.get("bank"), path), public)
        file.expect("fingerprint", bank.fingerprint, "fingerprint for its public key")
        rows = file.count_field("rows")
        store = _single(file, rows) if version == 1 else _sharded(file, rows)
        return Store(bank, store, rows, file.field("key_scheme", dict), file.digest, path)


def _single(file: Container, rows: int) -> memoryview:
    size = file.sections["store"][2] if file.items("store") == 1 else 0
    # Repeated rows are stored once, so a store may hold fewer keys than rows.
    if not (store_size(1) <= size <= store_size(rows) and (size - FIXED) % CELL == 0):
        raise file.refuse(f"damaged: a store of {size:,} bytes is not one the module "
                          f"builds over {rows:,} rows")
    return file.map("store")


def _sharded(file: Container, rows: int) -> ShardedStore:
    described = file.field("shards", dict)
    count, salt = described.get("count"), described.get("salt")
    if (sorted(described) != ["count", "salt"] or type(count) is not int
            or not 2 <= count <= rows or count != file.items("shards")
            or not isinstance(salt, str) or len(salt) != 2 * SALT_BYTES):
        raise file.malformed("shards")
    try:
        key = bytes.fromhex(salt)
    except ValueError:
        raise file.malformed("shards") from None
    size = file.sections["shards"][2]
    if size != store_size(shard_capacity(rows, count)):
        raise file.refuse(f"damaged: shards of {size:,} bytes are not what {count} shards "
                          f"over {rows:,} rows hold")
    whole = file.map("shards")
    return ShardedStore(key, tuple(whole[index * size:(index + 1) * size]
                                   for index in range(count)))


CELL = 64
FIXED = 24 + 32 * CELL   # three 8-byte seeds and the 32 dense cells


def store_size(keys: int) -> int:
    """The bytes of a store over `keys` distinct keys (a bank's rows less repeats): the
    fixed part and ceil(2.4 keys) sparse cells, the ceiling taken in double precision as
    the module takes it."""
    return FIXED + CELL * math.ceil(keys * 2.4)
