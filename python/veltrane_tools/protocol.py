"""The parties of the matching protocol and the per-chunk steps, over the veltrane module.

Who holds what:

- each bank: its key pair and its account rows; it publishes only its public key and its
  store (`build_okvs`), and later multiplies one point list by its secret (`decrypt`);
- the coordinator: its key pair and the payments; it makes the queries
  (`initiate_queries`), blinds and combines them (`randomize`, `combine`), hands the
  sender list to the sending bank and the receiver list to the receiving bank, and gets
  one boolean per payment from `finish`.

Everything here plays all parties in one process (or on one cluster); the functions name
the party whose step they run.
"""

from __future__ import annotations

import time
from collections.abc import Sequence
from dataclasses import dataclass, field

import veltrane

from .errors import ModuleFailure, is_panic

Row = list[str]

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


@dataclass(frozen=True)
class BankShare:
    """What the simulation ships to a worker for one bank: its store and, because the
    worker also plays the bank's `decrypt`, its secret key. In a real deployment the
    secret stays at the bank and only the store travels to the coordinator."""

    store: bytes
    secret: bytes


def build_store(keys: KeyPair, rows: Sequence[Row], timings: Timings | None = None) -> bytes:
    """The bank's step: its store over its key rows, as the bytes it publishes."""
    return bytes(call("build_okvs", timings, len(rows), veltrane.build_okvs, keys.public,
                      rows))


def match_chunk(sender_rows: Sequence[Row], receiver_rows: Sequence[Row], sender: BankShare,
                receiver: BankShare, coordinator: KeyPair,
                timings: Timings | None = None) -> list[bool]:
    """Every step after the stores exist, for one chunk of payments between two banks.

    The coordinator makes two independent query lists, blinds and combines them; the
    sending bank decrypts the sender list, the receiving bank the receiver list; the
    coordinator finishes. One flag per payment, in the order of the rows.
    """
    n = min(len(sender_rows), len(receiver_rows))
    if n == 0:
        return []
    first = call("initiate_queries", timings, n, veltrane.initiate_queries, sender_rows,
                 receiver_rows, sender.store, receiver.store, coordinator.public)
    second = call("initiate_queries", timings, n, veltrane.initiate_queries, sender_rows,
                  receiver_rows, sender.store, receiver.store, coordinator.public)
    first = call("randomize", timings, n, veltrane.randomize, first)
    second = call("randomize", timings, n, veltrane.randomize, second)
    senders, receivers, gammas, deltas = call("combine", timings, n, veltrane.combine, first,
                                              second)
    del first, second
    sender_points = call("decrypt", timings, n, veltrane.decrypt, senders, sender.secret)
    receiver_points = call("decrypt", timings, n, veltrane.decrypt, receivers,
                           receiver.secret)
    return call("finish", timings, n, veltrane.finish, sender_points, receiver_points, gammas,
                deltas, coordinator.secret)


def match_chunk_task(sender_rows: Sequence[Row], receiver_rows: Sequence[Row],
                     sender: BankShare, receiver: BankShare,
                     coordinator: KeyPair) -> tuple[list[bool], Timings]:
    """`match_chunk` as a cluster task: the flags and the task's own step timings."""
    timings = Timings()
    return match_chunk(sender_rows, receiver_rows, sender, receiver, coordinator,
                       timings), timings
