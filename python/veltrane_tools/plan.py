"""The chunk plan: which payments are worked on together, and where their points go.

Payments are grouped by (sending bank, receiving bank) and cut into chunks of at most
`chunk_size` payments of one pair, so that one call of the module handles one chunk with
the two stores it needs. The same plan decides where every point lands in the banks'
request files and in the coordinator's state, so every party can find its points again
from the counts alone. This module imports nothing else of the package: the steps, the
runners and the cluster code all build on it.
"""

from __future__ import annotations

from collections.abc import Iterator, Sequence
from dataclasses import dataclass

Row = list[str]

# Every chunk hands both banks' whole stores to initiate_queries again, and a
# store is read byte by byte (about 8 ns a byte); chunks this large keep that
# reading small next to the chunk's own work while progress stays visible.
DEFAULT_CHUNK_SIZE = 16384


@dataclass
class Payments:
    """The coordinator's view of the payments: key rows and bank names, one per payment."""

    sender_keys: list[Row]
    receiver_keys: list[Row]
    sender_banks: list[str]
    receiver_banks: list[str]

    def __len__(self) -> int:
        return len(self.sender_keys)

    def banks(self) -> list[str]:
        """The banks named by some payment, sorted."""
        return sorted(set(self.sender_banks) | set(self.receiver_banks))


@dataclass
class Chunk:
    sender_bank: str
    receiver_bank: str
    indices: list[int]      # payment indices, in the order their points are laid out
    position: int = 0       # where the chunk starts in the run's payment order
    sender_offset: int = 0  # where its points start in the sending bank's sender list
    receiver_offset: int = 0  # ... and in the receiving bank's receiver list

    def __len__(self) -> int:
        return len(self.indices)


@dataclass
class Plan:
    chunks: list[Chunk]
    sender_counts: dict[str, int]    # points per bank in its sender list
    receiver_counts: dict[str, int]  # ... and in its receiver list

    @property
    def pairs(self) -> int:
        return len({(c.sender_bank, c.receiver_bank) for c in self.chunks})

    def order(self) -> Iterator[int]:
        """Payment indices in the order of the plan."""
        for chunk in self.chunks:
            yield from chunk.indices

    def segments(self) -> list[tuple[str, str, int]]:
        """(sending bank, receiving bank, payments) for each pair, in plan order."""
        result: list[tuple[str, str, int]] = []
        for chunk in self.chunks:
            if result and result[-1][:2] == (chunk.sender_bank, chunk.receiver_bank):
                result[-1] = (chunk.sender_bank, chunk.receiver_bank,
                              result[-1][2] + len(chunk))
            else:
                result.append((chunk.sender_bank, chunk.receiver_bank, len(chunk)))
        return result


def plan_chunks(payments: Payments, chunk_size: int) -> Plan:
    """Chunks of at most chunk_size payments, each within one pair of banks."""
    by_pair: dict[tuple[str, str], list[int]] = {}
    for index, pair in enumerate(zip(payments.sender_banks, payments.receiver_banks)):
        by_pair.setdefault(pair, []).append(index)
    return plan_segments([(s, r, indices) for (s, r), indices in sorted(by_pair.items())],
                         chunk_size)


def plan_segments(segments: Sequence[tuple[str, str, Sequence[int]]],
                  chunk_size: int) -> Plan:
    """The plan for payments already laid out pair by pair (as a state file keeps them)."""
    chunks: list[Chunk] = []
    senders: dict[str, int] = {}
    receivers: dict[str, int] = {}
    position = 0
    for sender, receiver, indices in segments:
        for start in range(0, len(indices), chunk_size):
            part = list(indices[start:start + chunk_size])
            chunks.append(Chunk(sender, receiver, part, position, senders.get(sender, 0),
                                receivers.get(receiver, 0)))
            position += len(part)
            senders[sender] = senders.get(sender, 0) + len(part)
            receivers[receiver] = receivers.get(receiver, 0) + len(part)
    return Plan(chunks, senders, receivers)


def chunk_rows(payments: Payments, chunk: Chunk) -> tuple[list[Row], list[Row]]:
    return ([payments.sender_keys[i] for i in chunk.indices],
            [payments.receiver_keys[i] for i in chunk.indices])
