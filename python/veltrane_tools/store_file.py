"""The store file a bank publishes: its store and what the coordinator must know of it.

Header fields: bank (the bank's name), public_key (hex) and fingerprint, key_scheme, rows
(account rows the store was built from). One section, "store", holding the store's bytes
as one item.

A store read back is mapped, not loaded: the module reads it in place through the view,
so a coordinator holding many large stores keeps them in the page cache once.
"""

from __future__ import annotations

import math
from dataclasses import dataclass

from .container import ContainerWriter, close_view, open_container
from .keys import KEY_BYTES, PublicKey, checked_name

KIND = "store"


@dataclass(frozen=True)
class Store:
    bank: PublicKey
    store: bytes | memoryview   # read back from a file: a read-only view of its mapping
    rows: int
    key_scheme: dict[str, object]
    digest: str = ""   # SHA-256 of the file it was read from
    path: str = ""

    def close(self) -> None:
        """Unmaps a store read from a file (else the mapping goes with the last view)."""
        if isinstance(self.store, memoryview):
            close_view(self.store)


def write_store(path: str, bank: PublicKey, store: bytes, rows: int,
                key_scheme: dict[str, object]) -> str:
    """Writes the store file; returns its SHA-256."""
    with ContainerWriter(path, KIND, [("store", 1, len(store))]) as out:
        out.write("store", 0, store)
        out.header = {"bank": bank.name, "public_key": bank.public.hex(),
                      "fingerprint": bank.fingerprint, "rows": rows, "key_scheme": key_scheme}
    return out.digest


def read_store(path: str) -> Store:
    with open_container(path, KIND) as file:
        file.require_sections({"store": None})
        try:
            public = bytes.fromhex(file.field("public_key"))
        except ValueError:
            public = b""
        if len(public) != KEY_BYTES:
            raise file.refuse("damaged: the header field 'public_key' is malformed")
        bank = PublicKey(checked_name(file.header.get("bank"), path), public)
        file.expect("fingerprint", bank.fingerprint, "fingerprint for its public key")
        rows = file.count_field("rows")
        size = file.sections["store"][2] if file.items("store") == 1 else 0
        # Repeated rows are stored once, so a store may hold fewer keys than rows.
        if not (store_size(1) <= size <= store_size(rows) and (size - FIXED) % CELL == 0):
            raise file.refuse(f"damaged: a store of {size:,} bytes is not one the module "
                              f"builds over {rows:,} rows")
        return Store(bank, file.map("store"), rows, file.field("key_scheme", dict),
                     file.digest, path)


CELL = 64
FIXED = 24 + 32 * CELL   # three 8-byte seeds and the 32 dense cells


def store_size(keys: int) -> int:
    """The bytes of a store over `keys` distinct keys (a bank's rows less repeats): the
    fixed part and ceil(2.4 keys) sparse cells, the ceiling taken in double precision as
    the module takes it."""
    return FIXED + CELL * math.ceil(keys * 2.4)
