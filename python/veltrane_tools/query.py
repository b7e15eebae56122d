"""The coordinator's query step: its payments and the banks' stores become one request
file per bank and a state file that stays with the coordinator.

The chunks (plan.py) can run on any runner: a chunk needs the two banks' stores, the
chunk's payment rows and the coordinator's public key, never a secret, so the Dask
runner may carry them to a cluster. Each chunk's lists are written at their place in
the files as soon as they come back, whatever order the chunks finish in.
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
from .plan import DEFAULT_CHUNK_SIZE, Payments, Plan, chunk_rows, plan_chunks
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


def check_stores(payments: Payments, stores: Mapping[str, Store]) -> dict[str, object]:
    """The key scheme the payments' rows were written in, once every store agrees."""
    widths = {len(row) for row in payments.sender_keys[:1] + payments.receiver_keys[:1]}
    if len(widths) != 1:
        raise UserError("the sender and receiver keys have different numbers of columns")
    scheme = key_scheme(widths.pop())
    missing = [bank for bank in payments.banks() if bank not in stores]
    if missing:
        raise UserError(f"no store for bank(s) {', '.join(missing)}, named by the payments")
    for bank in payments.banks():
        store = stores[bank]
        if store.key_scheme != scheme:
            raise FileRefused(store.path or bank,
                              f"wrong key scheme: the store's keys are {store.key_scheme} "
                              f"but the payments give {scheme} (check --sender-columns and "
                              f"--receiver-columns against the bank's key columns)")
    return scheme


def query(payments: Payments, stores: Mapping[str, Store], key: SecretKey, directory: str, *,
          state_path: str | None = None, runner: Runner | None = None,
          chunk_size: int = DEFAULT_CHUNK_SIZE, progress: Progress | None = None,
          source: Mapping[str, Any] | None = None) -> QueryResult:
    """Writes request-<bank>.vreq for every bank the payments name into `directory`, and
    the state file (default: state.vstate there). `source` describes the payments file
    (path and sha256) so that `finish` can check it is given the same one."""
    runner = runner or LocalRunner()
    progress = progress or Progress(enabled=False)
    if not len(payments):
        raise UserError("there are no payments")
    scheme = check_stores(payments, stores)
    plan = plan_chunks(payments, chunk_size)
    run = secrets.token_hex(16)
    banks = payments.banks()
    result = QueryResult(run, state_path or os.path.join(directory, "state.vstate"),
                         {bank: request_path(directory, bank) for bank in banks}, plan)

    state = state_writer(result.state, len(payments))
    with state:
        state.write("order", 0, order_bytes(plan.order()))
        with contextlib.ExitStack() as stack:
            requests = {bank: stack.enter_context(points_writer(path, PointsHeader(
                REQUEST, run, bank, stores[bank].bank.fingerprint, scheme,
                {"sender": plan.sender_counts.get(bank, 0),
                 "receiver": plan.receiver_counts.get(bank, 0)},
                {"store_sha256": stores[bank].digest, "coordinator": key.fingerprint})))
                for bank, path in result.requests.items()}

            def tasks() -> Iterator[tuple[Any, ...]]:
                for chunk in plan.chunks:
                    senders, receivers = chunk_rows(payments, chunk)
                    yield (senders, receivers, Shared(chunk.sender_bank),
                           Shared(chunk.receiver_bank), key.public)

            shared = {bank: stores[bank].store for bank in banks}
            bar = progress.bar("queries", len(payments), "payments")
            try:
                for number, (s, r, g, d, timings) in runner.run(query_chunk, tasks(), shared):
                    chunk = plan.chunks[number]
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
            "payments": {"count": len(payments), **(source or {"sha256": None, "path": None})},
            "segments": [list(segment) for segment in plan.segments()],
            "banks": {bank: {"fingerprint": stores[bank].bank.fingerprint,
                             "store_sha256": stores[bank].digest,
                             "request_sha256": requests[bank].digest,
                             "counts": {"sender": plan.sender_counts.get(bank, 0),
                                        "receiver": plan.receiver_counts.get(bank, 0)}}
                      for bank in banks}}
    return result
