"""The store file a bank publishes: its store and what the coordinator must know of it.

Header fields: bank (the bank's name), public_key (hex) and fingerprint, key_scheme, rows
(account rows the store was built from). One section, "store", holding the store's bytes
as one item.
"""

from __future__ import annotations

from dataclasses import dataclass

from .container import ContainerWriter, open_container
from .keys import KEY_BYTES, PublicKey

KIND = "store"


@dataclass(frozen=True)
class Store:
    bank: PublicKey
    store: bytes
    rows: int
    key_scheme: dict[str, object]
    digest: str = ""   # SHA-256 of the file it was read from
    path: str = ""


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
        bank = PublicKey(file.field("bank"), public)
        file.expect("fingerprint", bank.fingerprint, "fingerprint for its public key")
        return Store(bank, file.read("store"), file.field("rows", int),
                     file.field("key_scheme", dict), file.digest, path)
