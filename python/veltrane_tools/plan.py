"""The chunk plan: which payments are worked on together, and where their points go.

Payments are grouped by (sending bank, receiving bank), the pairs in sorted order and
the payments of a pair in their file order, and each pair's run is cut into chunks of at
most `chunk_size` payments, so that one call of the module handles payments of one pair
with the two stores it needs. The same plan decides where every point lands in the
banks' request files and in the coordinator's state, so every party can find its points
again from the counts alone. This module imports nothing else of the package but its
errors: the steps, the runners and the cluster code all build on it.

A run may hold more payments than fit in memory as rows, so the plan is made from the
payments' bank pairs alone (one small number per payment), and the key rows are then
read again window by window: within a window, the payments of one pair are the next
stretch of that pair's run, so each of those stretches goes to its place in one piece.
"""

from __future__ import annotations

from array import array
from collections.abc import Iterable, Iterator, Sequence
from dataclasses import dataclass
from typing import Protocol

from .errors import UserError

Row = list[str]

# Payments whose rows are held at a time while a table is read: about 1 KB each as
# Python strings, with their key rows and the module's results, so a window costs some
# 20 MB whatever the table's length. Every pair of banks met in a window makes at least
# one module call; calls of a thousand payments cost little more per payment than
# larger ones.
DEFAULT_WINDOW = 16384

# The largest number of payments per module call. A call reads both banks' stores in
# place (they are handed over as buffers, not copied), so calls of a few thousand
# payments cost little more per payment than larger ones; this keeps progress visible.
DEFAULT_CHUNK_SIZE = 16384


class PaymentSource(Protocol):
    """Payments that can be read in two passes: their banks, then their key rows."""

    @property
    def widths(self) -> tuple[int, int]:
        """Values per sender and per receiver key row."""
        ...

    def bank_pairs(self) -> Iterable[tuple[str, str]]:
        """(sending bank, receiving bank) of every payment, in order."""
        ...

    def key_windows(self, size: int) -> Iterable[tuple[Sequence[Row], Sequence[Row]]]:
        """The sender and receiver key rows, `size` payments at a time, in order."""
        ...


@dataclass
class Payments:
    """Payments held in memory: key rows and bank names, one per payment."""

    sender_keys: list[Row]
    receiver_keys: list[Row]
    sender_banks: list[str]
    receiver_banks: list[str]

    def __len__(self) -> int:
        return len(self.sender_keys)

    def banks(self) -> list[str]:
        """The banks named by some payment, sorted."""
        return sorted(set(self.sender_banks) | set(self.receiver_banks))

    @property
    def widths(self) -> tuple[int, int]:
        if not self.sender_keys:
            return (0, 0)
        return len(self.sender_keys[0]), len(self.receiver_keys[0])

    def bank_pairs(self) -> Iterable[tuple[str, str]]:
        return zip(self.sender_banks, self.receiver_banks)

    def key_windows(self, size: int) -> Iterator[tuple[Sequence[Row], Sequence[Row]]]:
        for start in range(0, len(self), size):
            yield self.sender_keys[start:start + size], self.receiver_keys[start:start + size]


@dataclass
class Pairs:
    """The bank pair of every payment, as a number per payment (4 bytes each)."""

    codes: array                      # per payment: its pair's number
    names: list[tuple[str, str]]      # pair number -> (sending bank, receiving bank)

    def __len__(self) -> int:
        return len(self.codes)

    def banks(self) -> list[str]:
        """The banks named by some payment, sorted."""
        return sorted({bank for pair in self.names for bank in pair})


def scan_pairs(pairs: Iterable[tuple[str, str]]) -> Pairs:
    """Numbers the pairs in the order they first appear."""
    numbers: dict[tuple[str, str], int] = {}
    codes = array("I")
    append = codes.append
    for pair in pairs:
        number = numbers.get(pair)
        if number is None:
            number = numbers[pair] = len(numbers)
        append(number)
    return Pairs(codes, list(numbers))


@dataclass
class Chunk:
    """A stretch of payments of one pair: `size` positions of the run from `position`,
    and their points' places in the two banks' lists."""

    sender_bank: str
    receiver_bank: str
    size: int
    position: int = 0         # where it starts in the run's payment order
    sender_offset: int = 0    # where its points start in the sending bank's sender list
    receiver_offset: int = 0  # ... and in the receiving bank's receiver list

    def __len__(self) -> int:
        return self.size

    def part(self, start: int, size: int) -> Chunk:
        """Its `size` payments from its `start`-th on."""
        return Chunk(self.sender_bank, self.receiver_bank, size, self.position + start,
                     self.sender_offset + start, self.receiver_offset + start)


@dataclass
class Plan:
    segments: list[Chunk]            # one per pair, whole, in run order
    chunks: list[Chunk]              # the segments cut at chunk_size
    sender_counts: dict[str, int]    # points per bank in its sender list
    receiver_counts: dict[str, int]  # ... and in its receiver list

    @property
    def pairs(self) -> int:
        return len(self.segments)

    @property
    def payments(self) -> int:
        return sum(segment.size for segment in self.segments)

    def layout(self) -> list[list[str | int]]:
        """[sending bank, receiving bank, payments] for each pair, in run order (as the
        state file records them)."""
        return [[s.sender_bank, s.receiver_bank, s.size] for s in self.segments]


def plan_pairs(pairs: Pairs, chunk_size: int) -> Plan:
    """The plan for payments of these pairs."""
    sizes = [0] * len(pairs.names)
    for code in pairs.codes:
        sizes[code] += 1
    return plan_segments(sorted((s, r, size) for (s, r), size in zip(pairs.names, sizes)),
                         chunk_size)


def plan_chunks(payments: Payments, chunk_size: int) -> Plan:
    """Chunks of at most chunk_size payments, each within one pair of banks."""
    return plan_pairs(scan_pairs(payments.bank_pairs()), chunk_size)


def plan_segments(segments: Sequence[tuple[str, str, int]], chunk_size: int) -> Plan:
    """The plan for payments already laid out pair by pair (as a state file keeps them)."""
    plan = Plan([], [], {}, {})
    senders, receivers = plan.sender_counts, plan.receiver_counts
    position = 0
    for sender, receiver, size in segments:
        segment = Chunk(sender, receiver, size, position, senders.get(sender, 0),
                        receivers.get(receiver, 0))
        plan.segments.append(segment)
        plan.chunks += cut(segment, chunk_size)
        position += size
        senders[sender] = senders.get(sender, 0) + size
        receivers[receiver] = receivers.get(receiver, 0) + size
    return plan


def cut(chunk: Chunk, size: int) -> list[Chunk]:
    """The chunk in pieces of at most `size` payments."""
    return [chunk.part(start, min(size, len(chunk) - start))
            for start in range(0, len(chunk), size)]


@dataclass
class Placed:
    """Payments of one pair from one window, with where they go."""

    chunk: Chunk
    indices: array        # their payment indices, in order (the state's "order" there)
    sender_rows: list[Row]
    receiver_rows: list[Row]


def place(pairs: Pairs, plan: Plan, windows: Iterable[tuple[Sequence[Row], Sequence[Row]]],
          chunk_size: int) -> Iterator[Placed]:
    """The key rows, window by window, grouped by pair and cut at chunk_size: each group
    is the next stretch of its pair's segment."""
    segment_of = {(s.sender_bank, s.receiver_bank): s for s in plan.segments}
    segments = [segment_of[name] for name in pairs.names]
    done = [0] * len(segments)   # payments of each pair placed so far
    start = 0
    for senders, receivers in windows:
        groups: dict[int, array] = {}
        for offset, code in enumerate(pairs.codes[start:start + len(senders)]):
            group = groups.get(code)
            if group is None:
                group = groups[code] = array("I")
            group.append(start + offset)
        for code, indices in groups.items():
            stretch = segments[code].part(done[code], len(indices))
            done[code] += len(indices)
            for piece in cut(stretch, chunk_size):
                first = piece.position - stretch.position
                chosen = indices[first:first + len(piece)]
                yield Placed(piece, chosen, [senders[i - start] for i in chosen],
                             [receivers[i - start] for i in chosen])
        start += len(senders)
    if start != len(pairs) or done != [s.size for s in segments]:
        raise UserError(f"the payments changed between two readings: {start:,} key rows "
                         f"for {len(pairs):,} payments")
