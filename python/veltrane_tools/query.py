"""The coordinator's query step: its payments and the banks' stores become one request
file per bank and a state file that stays with the coordinator.

The payments are read twice (plan.py): their banks make the plan, then their key rows
come window by window, so a step holds one window of rows however many payments there
are. The chunks can run on any runner: a chunk needs the two banks' stores, the chunk's
payment rows and the coordinator's public key, never a secret, so the Dask runner may
carry them to a cluster. Each chunk's lists are written at their place in the files as
soon as they come back, whatever order the chunks finish in.
"""

from __future__ import annotations

import contextlib
import os
import secrets
from collections.abc import Iterator, Mapping
from dataclasses import dataclass, field
from typing import Any

from .container import FileRefused
from .errors import ModuleFailure, UserError
from .keys import SecretKey
from .plan import (DEFAULT_CHUNK_SIZE, DEFAULT_WINDOW, Chunk, Pairs, PaymentSource, Plan,
                   place, plan_pairs, scan_pairs)
from .points_file import REQUEST, PointsHeader, points_writer
from .progress import Progress
from .protocol import Timings, key_scheme, query_chunk
from .runner import LocalRunner, Runner, Shared
from .state_file import order_bytes, state_writer
from .store_file import Store


@dataclass
class QueryResult:
    run: str
    state: str
    requests: dict[str, str]   # bank -> request file
    plan: Plan
    timings: Timings = field(default_factory=Timings)


def request_path(directory: str, bank: str) -> str:
    return os.path.join(directory, f"request-{bank}.vreq")


def check_stores(widths: tuple[int, int], banks: list[str],
                 stores: Mapping[str, Store]) -> dict[str, object]:
    """The key scheme the payments' rows were written in (`widths` values per sender and
    receiver row), once the stores of all the payments' `banks` agree."""
    if widths[0] != widths[1]:
        raise UserError("the sender and receiver keys have different numbers of columns")
    scheme = key_scheme(widths[0])
    missing = [bank for bank in banks if bank not in stores]
    if missing:
        raise UserError(f"no store for bank(s) {', '.join(missing)}, named by the payments")
    for bank in banks:
        store = stores[bank]
        if store.key_scheme != scheme:
            raise FileRefused(store.path or bank,
                              f"wrong key scheme: the store's keys are {store.key_scheme} "
                              f"but the payments give {scheme} (check --sender-columns and "
                              f"--receiver-columns against the bank's key columns)")
    return scheme


def query(payments: PaymentSource, stores: Mapping[str, Store], key: SecretKey,
          directory: str, *, state_path: str | None = None, runner: Runner | None = None,
          chunk_size: int = DEFAULT_CHUNK_SIZE, progress: Progress | None = None,
          source: Mapping[str, Any] | None = None, window: int = DEFAULT_WINDOW,
          pairs: Pairs | None = None) -> QueryResult:
    """Writes request-<bank>.vreq for every bank the payments name into `directory`, and
    the state file (default: state.vstate there). `source` describes the payments file
    (path and sha256) so that `finish` can check it is given the same one. `window`
    payments' key rows are held at a time; `pairs`, the payments' bank pairs if the caller
    has read them already, saves reading them again."""
    runner = runner or LocalRunner()
    progress = progress or Progress(enabled=False)
    pairs = scan_pairs(payments.bank_pairs()) if pairs is None else pairs
    if not len(pairs):
        raise UserError("there are no payments")
    banks = pairs.banks()
    scheme = check_stores(payments.widths, banks, stores)
    plan = plan_pairs(pairs, chunk_size)
    count = len(pairs)
    run = secrets.token_hex(16)
    result = QueryResult(run, state_path or os.path.join(directory, "state.vstate"),
                         {bank: request_path(directory, bank) for bank in banks}, plan)

    state = state_writer(result.state, count)
    with state:
        with contextlib.ExitStack() as stack:
            requests = {bank: stack.enter_context(points_writer(path, PointsHeader(
                REQUEST, run, bank, stores[bank].bank.fingerprint, scheme,
                {"sender": plan.sender_counts.get(bank, 0),
                 "receiver": plan.receiver_counts.get(bank, 0)},
                {"store_sha256": stores[bank].digest, "coordinator": key.fingerprint})))
                for bank, path in result.requests.items()}

            placed: dict[int, Chunk] = {}   # the tasks under way

            def tasks() -> Iterator[tuple[Any, ...]]:
                parts = place(pairs, plan, payments.key_windows(window), chunk_size)
                for number, part in enumerate(parts):
                    chunk = placed[number] = part.chunk
                    state.write("order", chunk.position, order_bytes(part.indices))
                    yield (part.sender_rows, part.receiver_rows, Shared(chunk.sender_bank),
                           Shared(chunk.receiver_bank), key.public)

            shared = {bank: stores[bank].store for bank in banks}
            bar = progress.bar("queries", count, "payments")
            try:
                for number, (s, r, g, d, timings) in runner.run(query_chunk, tasks(), shared):
                    chunk = placed.pop(number)
                    if not len(s) == len(r) == len(g) == len(d) == 32 * len(chunk):
                        raise ModuleFailure(f"veltrane.combine returned lists of {len(s)} "
                                            f"bytes for {len(chunk)} payments")
                    requests[chunk.sender_bank].write("sender", chunk.sender_offset, s)
                    requests[chunk.receiver_bank].write("receiver", chunk.receiver_offset, r)
                    state.write("gamma", chunk.position, g)
                    state.write("delta", chunk.position, d)
                    result.timings.merge(timings)
                    bar.set_postfix_str(f"{chunk.sender_bank} -> {chunk.receiver_bank}")
                    bar.update(len(chunk))
            finally:
                bar.close()
        # The requests are in place; the state, written last, names their digests.
        state.header = {
            "run": run, "coordinator": key.fingerprint, "key_scheme": scheme,
            "chunk_size": chunk_size,
            "payments": {"count": count, **(source or {"sha256": None, "path": None})},
            "segments": plan.layout(),
            "banks": {bank: {"fingerprint": stores[bank].bank.fingerprint,
                             "store_sha256": stores[bank].digest,
                             "request_sha256": requests[bank].digest,
                             "counts": {"sender": plan.sender_counts.get(bank, 0),
                                        "receiver": plan.receiver_counts.get(bank, 0)}}
                      for bank in banks}}
    return result
