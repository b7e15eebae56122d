"""Runs the whole protocol for a set of banks and a list of payments.

Each bank involved in some payment makes its key pair and its store once. The payments
are grouped by (sending bank, receiving bank); the coordinator's steps run on chunks of
at most `chunk_size` payments of one pair, locally or as tasks on a Dask cluster, and the
flags are put back in payment order.
"""

from __future__ import annotations

import time
from collections.abc import Iterator, Mapping, Sequence
from dataclasses import dataclass, field
from typing import Any

from .progress import Progress
from .protocol import BankShare, KeyPair, Row, Timings, build_store, match_chunk

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


@dataclass
class Chunk:
    sender_bank: str
    receiver_bank: str
    indices: list[int]


@dataclass
class MatchReport:
    flags: list[bool]
    timings: Timings
    phases: dict[str, float] = field(default_factory=dict)  # wall seconds per phase
    pairs: int = 0
    chunks: int = 0
    banks: dict[str, int] = field(default_factory=dict)     # rows stored, per bank used
    unused_banks: list[str] = field(default_factory=list)
    workers: int = 0                                        # cluster workers, 0 for local


def plan_chunks(payments: Payments, chunk_size: int) -> list[Chunk]:
    """Chunks of at most chunk_size payments, each within one pair of banks."""
    by_pair: dict[tuple[str, str], list[int]] = {}
    for index, pair in enumerate(zip(payments.sender_banks, payments.receiver_banks)):
        by_pair.setdefault(pair, []).append(index)
    chunks = []
    for (sender, receiver), indices in sorted(by_pair.items()):
        for start in range(0, len(indices), chunk_size):
            chunks.append(Chunk(sender, receiver, indices[start:start + chunk_size]))
    return chunks


def chunk_rows(payments: Payments, chunk: Chunk) -> tuple[list[Row], list[Row]]:
    return ([payments.sender_keys[i] for i in chunk.indices],
            [payments.receiver_keys[i] for i in chunk.indices])


def run_matching(bank_rows: Mapping[str, Sequence[Row]], payments: Payments, *,
                 chunk_size: int = DEFAULT_CHUNK_SIZE, progress: Progress | None = None,
                 client: Any = None) -> MatchReport:
    """Flags for every payment; with `client` (a dask.distributed Client) the chunk steps
    run on its cluster. Every bank named by a payment must be a key of `bank_rows`."""
    progress = progress or Progress(enabled=False)
    timings = Timings()
    report = MatchReport(flags=[False] * len(payments), timings=timings)
    used = sorted(set(payments.sender_banks) | set(payments.receiver_banks))
    report.unused_banks = sorted(set(bank_rows) - set(used))

    start = time.perf_counter()
    coordinator = KeyPair.generate(timings)
    bank_keys = {bank: KeyPair.generate(timings) for bank in used}
    report.phases["key_gen"] = time.perf_counter() - start
    progress.note(f"key pairs: the coordinator and {len(used)} bank(s) "
                  f"({report.phases['key_gen']:.2f} s)")

    start = time.perf_counter()
    shares = {}
    bar = progress.bar("stores", sum(len(bank_rows[bank]) for bank in used), "rows")
    try:
        for bank in used:
            bar.set_postfix_str(f"bank {bank}")
            store = build_store(bank_keys[bank], bank_rows[bank], timings)
            shares[bank] = BankShare(store, bank_keys[bank].secret)
            report.banks[bank] = len(bank_rows[bank])
            bar.update(len(bank_rows[bank]))
    finally:
        bar.close()
    report.phases["build_okvs"] = time.perf_counter() - start
    progress.note(f"stores: {len(used)} bank(s), {sum(report.banks.values()):,} rows "
                  f"({report.phases['build_okvs']:.1f} s)")

    chunks = plan_chunks(payments, chunk_size)
    report.chunks = len(chunks)
    report.pairs = len({(c.sender_bank, c.receiver_bank) for c in chunks})
    start = time.perf_counter()
    bar = progress.bar("payments", len(payments), "payments")
    try:
        if client is None:
            results = _run_local(payments, chunks, shares, coordinator, timings)
        else:
            from .cluster import run_on_cluster
            report.workers = len(client.nthreads())
            results = run_on_cluster(client, payments, chunks, shares, coordinator, timings)
        for chunk, flags in results:
            for index, flag in zip(chunk.indices, flags):
                report.flags[index] = flag
            bar.set_postfix_str(f"{chunk.sender_bank} -> {chunk.receiver_bank}")
            bar.update(len(chunk.indices))
    finally:
        bar.close()
    report.phases["payments"] = time.perf_counter() - start
    progress.note(f"payments: {len(payments):,} in {report.chunks} chunk(s) over "
                  f"{report.pairs} bank pair(s) ({report.phases['payments']:.1f} s)")
    return report


def _run_local(payments: Payments, chunks: list[Chunk], shares: dict[str, BankShare],
               coordinator: KeyPair, timings: Timings) -> Iterator[tuple[Chunk, list[bool]]]:
    for chunk in chunks:
        senders, receivers = chunk_rows(payments, chunk)
        yield chunk, match_chunk(senders, receivers, shares[chunk.sender_bank],
                                 shares[chunk.receiver_bank], coordinator, timings)
