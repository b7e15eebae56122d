"""The coordinator's state file: what `finish` needs besides the banks' responses. It
never leaves the coordinator.

Sections: "order" (the payment index of every position of the run, 4-byte unsigned
little-endian), "gamma" and "delta" (32-byte points, one per position). Header fields:

- run, coordinator (its key's fingerprint), key_scheme, chunk_size;
- payments: {"count", "sha256" (of the payments file, or null), "path"};
- segments: [[sending bank, receiving bank, payments], ...], the order's runs of one pair;
- banks: {name: {"fingerprint", "store_sha256", "request_sha256",
  "counts": {"sender", "receiver"}}}.
"""

from __future__ import annotations

import sys
from array import array
from collections.abc import Iterable
from dataclasses import dataclass
from typing import Any

from .container import Container, ContainerWriter, is_count, open_container
from .plan import Plan, plan_segments

KIND = "state"
POINT = 32
INDEX = 4


def state_writer(path: str, payments: int) -> ContainerWriter:
    return ContainerWriter(path, KIND, [("order", payments, INDEX), ("gamma", payments, POINT),
                                        ("delta", payments, POINT)])


def order_bytes(indices: Iterable[int]) -> bytes:
    values = array("I", indices)
    if sys.byteorder == "big":
        values.byteswap()
    return values.tobytes()


def read_order(file: Container, position: int, count: int) -> array:
    """The payment indices of `count` positions of the run from `position`."""
    values = array("I")
    values.frombytes(file.read("order", position, count))
    if sys.byteorder == "big":
        values.byteswap()
    return values


# Positions of the order read at a time while it is checked: 1 MB.
ORDER_BLOCK = 1 << 18


def _is_permutation(file: Container, count: int) -> bool:
    """Whether the order names every payment once; one byte per payment, not a list."""
    seen = bytearray(count)
    for start in range(0, count, ORDER_BLOCK):
        block = read_order(file, start, min(ORDER_BLOCK, count - start))
        if max(block) >= count:
            return False
        for index in block:
            seen[index] = 1
    # As many positions as payments, all in range: a repeat leaves a payment unseen.
    return seen.count(0) == 0


@dataclass
class State:
    file: Container
    run: str
    coordinator: str
    key_scheme: dict[str, Any]
    payments: dict[str, Any]
    banks: dict[str, dict[str, Any]]
    plan: Plan

    def close(self) -> None:
        self.file.close()


def read_state(path: str, chunk_size: int) -> State:
    """Opens a state file and rebuilds the run's plan from it, in chunks of chunk_size."""
    file = open_container(path, KIND)
    try:
        file.require_sections({"order": INDEX, "gamma": POINT, "delta": POINT})
        payments = file.field("payments", dict)
        count = payments.get("count")
        if not is_count(count) or count != file.items("order"):
            raise file.refuse(f"damaged: {count} payments but {file.items('order')} positions")
        if not _is_permutation(file, count):
            raise file.refuse("damaged: the payment order is not a permutation")
        segments: list[tuple[str, str, int]] = []
        position = 0
        for segment in file.field("segments", list):
            if (not isinstance(segment, list) or len(segment) != 3
                    or not all(isinstance(name, str) for name in segment[:2])
                    or not is_count(segment[2])):
                raise file.malformed("segments")
            sender, receiver, size = segment
            segments.append((sender, receiver, size))
            position += size
        banks = file.field("banks", dict)
        for entry in banks.values():
            if not isinstance(entry, dict) or not all(
                    isinstance(entry.get(name), str)
                    for name in ("fingerprint", "store_sha256", "request_sha256")):
                raise file.malformed("banks")
        plan = plan_segments(segments, chunk_size)
        for bank, entry in banks.items():
            planned = {"sender": plan.sender_counts.get(bank, 0),
                       "receiver": plan.receiver_counts.get(bank, 0)}
            if position != count or entry.get("counts") != planned:
                raise file.refuse(f"damaged: the counts of bank {bank} do not match its "
                                  f"payments")
        return State(file, file.field("run"), file.field("coordinator"),
                     file.field("key_scheme", dict), payments, banks, plan)
    except BaseException:
        file.close()
        raise


def recorded_payments(path: str) -> dict[str, Any]:
    """What a state file records of the payments file: count, sha256 and path."""
    with open_container(path, KIND) as file:
        payments: dict[str, Any] = file.field("payments", dict)
    return payments
