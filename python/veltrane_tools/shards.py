"""Stores of large banks, in shards: the rows split by a keyed public hash of their key
into stores of one size, built one after the other.

One store over 10^8 rows would need tens of GiB to build. Split into shards of a few
million keys, a build holds one shard at a time, and the coordinator looks each payment
up in the shard its key hashes to: requests and responses are unchanged, so a bank
learns nothing new from them.

What a sharded store reveals is what a single store reveals: every shard holds the same
number of keys, `shard_capacity(rows, count)`, a function of the row count the header
already states. A shard with fewer keys of its own is filled up with keys no account
can have (`filler_row`), so no shard's size tells how many accounts hashed to it. The
salt is drawn afresh per store; should a shard ever get more keys than its capacity
(about eight standard deviations above the mean), the rows are split again under a new
salt.
"""

from __future__ import annotations

import hashlib
import math
import secrets
from collections.abc import Sequence
from dataclasses import dataclass
from typing import Any

from .plan import Row

# The most keys a store is built over in one piece. A bank with more rows publishes a
# sharded store. The module returns a store as a list of ints, 8 bytes a byte while it
# lives, so a shard of 2^20 keys (154 MB) peaks at about 1.5 GB whatever the bank's size.
SHARD_KEYS = 1 << 20
SALT_BYTES = 16


def shard_count(rows: int, shard_keys: int = SHARD_KEYS) -> int:
    return max(1, math.ceil(rows / shard_keys))


def shard_capacity(rows: int, count: int) -> int:
    """The keys in every shard of a store over `rows` rows in `count` shards: the mean
    plus eight of its standard deviations, so that a shard is over it with probability
    below 10^-15."""
    mean = rows / count
    return math.ceil(mean + 8 * math.sqrt(mean)) + 1


def key_text(row: Row) -> str:
    """The key a row stands for: the module reads a row as its strings joined."""
    return "".join(row)


def key_hash(text: str, salt: bytes) -> int:
    return int.from_bytes(hashlib.blake2b(text.encode("utf-8"), digest_size=8,
                                          key=salt).digest(), "little")


def filler_row() -> Row:
    """A key no account can have: every account key starts with the length of its
    first value, a digit, and this one does not."""
    return ["~" + secrets.token_hex(16)]


@dataclass(frozen=True)
class ShardedStore:
    """A bank's shards, as the coordinator looks rows up in them."""

    salt: bytes
    shards: tuple[Any, ...]   # each shard's store bytes, all of one length

    def shards_of(self, rows: Sequence[Row]) -> list[int]:
        count, salt = len(self.shards), self.salt
        return [key_hash(key_text(row), salt) % count for row in rows]
