"""The whole protocol in one process, for testing and benchmarking: every party's role
step in turn, exchanging the same files the parties of a real deployment exchange.

Each bank named by a payment makes its key pair and publishes its store; the coordinator
makes its key pair and queries; every bank answers its request; the coordinator
finishes. The files live in a private temporary folder, one subfolder per party, and
are gone when the run ends. Only the coordinator's query step runs on the runner, so a
cluster sees the stores and payment rows but no secret key.
"""

from __future__ import annotations

import os
import tempfile
import time
from collections.abc import Mapping, Sequence
from dataclasses import dataclass, field
from typing import Any

from . import keys
from .answer import answer
from .errors import UserError
from .finish import finish
from .plan import (DEFAULT_CHUNK_SIZE, DEFAULT_WINDOW, Pairs, Payments, PaymentSource, Row,
                   scan_pairs)
from .progress import Progress
from .protocol import Timings
from .publish import publish
from .query import query
from .runner import LocalRunner, Runner
from .store_file import Store, read_store

__all__ = ["DEFAULT_CHUNK_SIZE", "MatchReport", "Payments", "run_matching"]


@dataclass
class MatchReport:
    flags: Sequence[bool]    # one per payment (a Flags: a byte each)
    timings: Timings
    phases: dict[str, float] = field(default_factory=dict)  # wall seconds per phase
    pairs: int = 0
    chunks: int = 0
    banks: dict[str, int] = field(default_factory=dict)     # rows stored, per bank used
    unused_banks: list[str] = field(default_factory=list)
    workers: int = 0                                        # cluster workers, 0 for local


def run_matching(bank_rows: Mapping[str, Sequence[Row]], payments: PaymentSource, *,
                 chunk_size: int = DEFAULT_CHUNK_SIZE, progress: Progress | None = None,
                 runner: Runner | None = None, client: Any = None,
                 pairs: Pairs | None = None, window: int = DEFAULT_WINDOW) -> MatchReport:
    """Flags for every payment. The coordinator's chunks run on `runner` (default: this
    process); `client`, a dask.distributed Client, is short for a DaskRunner on it.
    Every bank named by a payment must be a key of `bank_rows`. `pairs`, the payments'
    bank pairs if the caller has read them already, saves reading them again; `window`
    payments' key rows are held at a time."""
    progress = progress or Progress(enabled=False)
    if runner is None and client is not None:
        from .cluster import DaskRunner
        runner = DaskRunner(client)
    runner = runner or LocalRunner()
    timings = Timings()
    report = MatchReport(flags=[], timings=timings, workers=runner.workers)
    pairs = scan_pairs(payments.bank_pairs()) if pairs is None else pairs
    used = pairs.banks()
    report.unused_banks = sorted(set(bank_rows) - set(used))
    for bank in used:
        if not keys.NAME.fullmatch(bank):
            raise UserError(f"{bank!r} cannot name a bank: use up to 64 letters, digits, "
                            f"'.', '_' or '-', starting with a letter or digit")
    if not len(pairs):
        report.phases = {"key_gen": 0.0, "build_okvs": 0.0, "payments": 0.0}
        return report

    with tempfile.TemporaryDirectory(prefix="veltrane-match-") as folder:
        def party(name: str) -> str:
            path = os.path.join(folder, name)
            os.makedirs(path, mode=0o700, exist_ok=True)
            return path

        start = time.perf_counter()
        coordinator = keys.generate("coordinator", timings)
        bank_keys = {bank: keys.generate(bank, timings) for bank in used}
        report.phases["key_gen"] = time.perf_counter() - start
        progress.note(f"key pairs: the coordinator and {len(used)} bank(s) "
                      f"({report.phases['key_gen']:.2f} s)")

        start = time.perf_counter()
        stores: dict[str, Store] = {}
        bar = progress.bar("stores", sum(len(bank_rows[bank]) for bank in used), "rows")
        try:
            for bank in used:
                bar.set_postfix_str(f"bank {bank}")
                path = os.path.join(party(f"bank-{bank}"), f"{bank}.vstore")
                publish(bank_keys[bank], bank_rows[bank], path,
                        columns=payments.widths[0], timings=timings)
                stores[bank] = read_store(path)   # what the coordinator receives
                report.banks[bank] = len(bank_rows[bank])
                bar.update(len(bank_rows[bank]))
        finally:
            bar.close()
        report.phases["build_okvs"] = time.perf_counter() - start
        progress.note(f"stores: {len(used)} bank(s), {sum(report.banks.values()):,} rows "
                      f"({report.phases['build_okvs']:.1f} s)")

        start = time.perf_counter()
        coordinator_folder = party("coordinator")
        try:
            asked = query(payments, stores, coordinator, coordinator_folder, runner=runner,
                          chunk_size=chunk_size, progress=progress, pairs=pairs,
                          window=window)
        finally:
            for store in stores.values():
                store.close()
        timings.merge(asked.timings)
        report.chunks, report.pairs = len(asked.plan.chunks), asked.plan.pairs
        report.phases["query"] = time.perf_counter() - start

        start = time.perf_counter()
        responses = []
        for bank, request in asked.requests.items():
            response = os.path.join(party(f"bank-{bank}"), f"response-{bank}.vresp")
            answer(request, bank_keys[bank], response, progress=progress, timings=timings)
            responses.append(response)
        report.phases["answer"] = time.perf_counter() - start

        start = time.perf_counter()
        done = finish(asked.state, responses, coordinator, chunk_size=chunk_size,
                      progress=progress)
        timings.merge(done.timings)
        report.flags = done.flags
        report.phases["finish"] = time.perf_counter() - start
    report.phases["payments"] = sum(report.phases[p] for p in ("query", "answer", "finish"))
    progress.note(f"payments: {len(pairs):,} in {report.chunks} chunk(s) over "
                  f"{report.pairs} bank pair(s) ({report.phases['payments']:.1f} s)")
    return report
