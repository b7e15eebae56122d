"""The parties of the matching protocol and the per-chunk steps, over the veltrane module.

Who holds what:

- each bank: its key pair and its account rows; it publishes only its public key and its
  store (`build_okvs`), and later multiplies one point list by its secret (`decrypt`);
- the coordinator: its key pair and the payments; it makes the queries
  (`initiate_queries`), blinds and combines them (`randomize`, `combine`), hands the
  sender list to the sending bank and the receiver list to the receiving bank, and gets
  one boolean per payment from `finish`.

The functions name the party whose step they run; none of them moves data between
parties (the role steps do that, through files).
"""

from __future__ import annotations

import time
from collections.abc import Sequence
from dataclasses import dataclass, field
from typing import Any

import veltrane

from .errors import ModuleFailure, is_panic
from .plan import Row
from .shards import ShardedStore

# The steps, in protocol order, as they appear in timings and summaries.
STEPS = ("key_gen", "build_okvs", "initiate_queries", "randomize", "combine", "decrypt",
         "finish")


def key_of(values: Sequence[str]) -> Row:
    """The key row of an account: every value written as '<length>:<value>'.

    The module identifies a row by the concatenation of its strings, so ["ab", "c"] and
    ["a", "bc"] would be the same key; the length prefix keeps multi-column keys apart.
    Banks and the coordinator must write keys the same way.
    """
    return [f"{len(value)}:{value}" for value in values]


KEY_FORM = "length-prefixed"


def key_scheme(columns: int) -> dict[str, object]:
    """How a file's rows became keys: recorded in every exchanged file, because a bank and
    the coordinator that wrote keys differently would find nothing and not know why."""
    return {"values": KEY_FORM, "columns": columns}


@dataclass
class Timings:
    """Seconds and items per step (items: rows, queries or points handled)."""

    seconds: dict[str, float] = field(default_factory=dict)
    items: dict[str, int] = field(default_factory=dict)
    calls: dict[str, int] = field(default_factory=dict)

    def add(self, step: str, seconds: float, items: int) -> None:
        self.seconds[step] = self.seconds.get(step, 0.0) + seconds
        self.items[step] = self.items.get(step, 0) + items
        self.calls[step] = self.calls.get(step, 0) + 1

    def merge(self, other: Timings) -> None:
        for step, seconds in other.seconds.items():
            self.seconds[step] = self.seconds.get(step, 0.0) + seconds
            self.items[step] = self.items.get(step, 0) + other.items.get(step, 0)
            self.calls[step] = self.calls.get(step, 0) + other.calls.get(step, 0)


def call(step: str, timings: Timings | None, items: int, function, *args):
    """Runs one module operation, timing it and turning its failures into ModuleFailure."""
    start = time.perf_counter()
    try:
        result = function(*args)
    except BaseException as error:
        if is_panic(error):
            raise ModuleFailure(f"veltrane.{step} failed: {error}") from None
        raise
    if timings is not None:
        timings.add(step, time.perf_counter() - start, items)
    return result


@dataclass(frozen=True)
class KeyPair:
    public: bytes
    secret: bytes

    @classmethod
    def generate(cls, timings: Timings | None = None) -> KeyPair:
        public, secret = call("key_gen", timings, 1, veltrane.key_gen)
        return cls(bytes(public), bytes(secret))


BASE_POINT = bytes([0x58]) + bytes([0x66]) * 31


def public_of(secret: bytes) -> bytes:
    """The public key that belongs to a secret key: secret * B."""
    try:
        return bytes(veltrane.decrypt(BASE_POINT, secret))
    except BaseException as error:
        if is_panic(error):   # not 32 bytes: it has no public key
            return b""
        raise


def all_points(points: bytes) -> bool:
    """Whether every 32-byte piece of a list decodes to a curve point (for reporting which
    file a failing step was given; it costs a multiplication per point)."""
    try:
        veltrane.decrypt(points, bytes(32))
    except BaseException as error:
        if is_panic(error):
            return False
        raise
    return True


def build_store(keys: KeyPair, rows: Sequence[Row], timings: Timings | None = None) -> bytes:
    """The bank's step: its store over its key rows, as the bytes it publishes."""
    return bytes(call("build_okvs", timings, len(rows), veltrane.build_okvs, keys.public,
                      rows))


def query_chunk(sender_rows: Sequence[Row], receiver_rows: Sequence[Row],
                sender_store: Any, receiver_store: Any,
                coordinator_public: bytes) -> tuple[bytes, bytes, bytes, bytes, Timings]:
    """The coordinator's steps for one chunk of payments between two banks: two
    independent query lists, blinded and combined. Returns the sender list (for the
    sending bank), the receiver list (for the receiving bank), the gamma and delta lists
    (the coordinator keeps them) and the chunk's own step timings, so that it can run as
    a cluster task. Needs only public data."""
    timings = Timings()
    n = min(len(sender_rows), len(receiver_rows))
    groups = shard_groups(sender_rows[:n], receiver_rows[:n], sender_store, receiver_store)
    first = initiate(groups, n, coordinator_public, timings)
    second = initiate(groups, n, coordinator_public, timings)
    first = call("randomize", timings, n, veltrane.randomize, first)
    second = call("randomize", timings, n, veltrane.randomize, second)
    lists = call("combine", timings, n, veltrane.combine, first, second)
    s, r, g, d = (bytes(points) for points in lists)
    return s, r, g, d, timings


QueryGroup = tuple[list[int], Sequence[Row], Sequence[Row], Any, Any]


def shard_groups(sender_rows: Sequence[Row], receiver_rows: Sequence[Row], sender_store: Any,
                 receiver_store: Any) -> list[QueryGroup]:
    """The queries split by the pair of shards their rows are looked up in: (positions,
    sender rows, receiver rows, sender store, receiver store). Unsharded stores give one
    group of every query."""
    if not isinstance(sender_store, ShardedStore) and not isinstance(receiver_store,
                                                                     ShardedStore):
        return [([], sender_rows, receiver_rows, sender_store, receiver_store)]
    positions: dict[tuple[int, int], list[int]] = {}
    for index, pair in enumerate(zip(_shard_numbers(sender_store, sender_rows),
                                     _shard_numbers(receiver_store, receiver_rows))):
        positions.setdefault(pair, []).append(index)
    return [(indices, [sender_rows[i] for i in indices], [receiver_rows[i] for i in indices],
             _shard(sender_store, s), _shard(receiver_store, r))
            for (s, r), indices in sorted(positions.items())]


def _shard_numbers(store: Any, rows: Sequence[Row]) -> list[int]:
    return store.shards_of(rows) if isinstance(store, ShardedStore) else [0] * len(rows)


def _shard(store: Any, index: int) -> Any:
    return store.shards[index] if isinstance(store, ShardedStore) else store


CIPHERTEXT = 128


def initiate(groups: Sequence[QueryGroup], n: int, coordinator_public: bytes,
             timings: Timings) -> Any:
    """initiate_queries over every group, the ciphertexts laid out in query order."""
    if len(groups) == 1 and not groups[0][0]:
        _, senders, receivers, sender_store, receiver_store = groups[0]
        return call("initiate_queries", timings, n, veltrane.initiate_queries, senders,
                    receivers, sender_store, receiver_store, coordinator_public)
    result = bytearray(CIPHERTEXT * n)
    for indices, senders, receivers, sender_store, receiver_store in groups:
        part = bytes(call("initiate_queries", timings, len(indices), veltrane.initiate_queries,
                          senders, receivers, sender_store, receiver_store,
                          coordinator_public))
        for number, index in enumerate(indices):
            result[CIPHERTEXT * index:CIPHERTEXT * (index + 1)] = \
                part[CIPHERTEXT * number:CIPHERTEXT * (number + 1)]
    return result


def decrypt(points: bytes, secret: bytes, timings: Timings | None = None) -> bytes:
    """The bank's step: every 32-byte point times its secret."""
    return bytes(call("decrypt", timings, len(points) // 32, veltrane.decrypt, points, secret))


def finish(sender_points: bytes, receiver_points: bytes, gammas: bytes, deltas: bytes,
           secret: bytes, timings: Timings | None = None) -> list[bool]:
    """The coordinator's last step: one flag per payment of the lists."""
    return list(call("finish", timings, len(gammas) // 32, veltrane.finish, sender_points,
                     receiver_points, gammas, deltas, secret))
