"""The chunk steps as tasks on a Dask distributed cluster (dask.distributed is optional).

What goes where: every bank's `BankShare` (its store and, because the task also plays
that bank's `decrypt`, its secret key) and the coordinator's key pair are scattered to
every worker once; each task receives one chunk of payment rows, runs every step from
`initiate_queries` to `finish`, and returns the chunk's flags and step timings. At most a
few tasks per worker thread are in flight, so the client's memory stays bounded; the
flags are put back in payment order whatever order the tasks finish in.
"""

from __future__ import annotations

import contextlib
import importlib
import os
from collections.abc import Iterator
from typing import Any

from .errors import UserError
from .protocol import BankShare, KeyPair, Timings, match_chunk_task

TASKS_PER_THREAD = 2


def require_distributed() -> Any:
    try:
        # Imported by name: the checker need not analyse all of dask for this module.
        distributed = importlib.import_module("distributed")
    except ImportError:
        raise UserError("running on a cluster needs dask.distributed, which is not installed "
                        "(pip install 'dask[distributed]', or pip install "
                        "'veltrane[distributed]')") from None
    return distributed


@contextlib.contextmanager
def open_client(scheduler: str | None = None, local_workers: int = 0,
                processes: bool = True) -> Iterator[Any]:
    """A Client for the scheduler at `scheduler`, or for a new LocalCluster of
    `local_workers` single-threaded workers (processes or threads)."""
    distributed = require_distributed()
    if scheduler:
        try:
            client = distributed.Client(scheduler, timeout="10s")
        except (OSError, TimeoutError) as error:
            raise UserError(f"cannot reach the Dask scheduler at {scheduler}: {error}") from None
        with client:
            yield client
        return
    # Each worker process gets its own pool of veltrane threads; share the cores out
    # unless the user has chosen a size already.
    env = {}
    if processes and "RAYON_NUM_THREADS" not in os.environ:
        env["RAYON_NUM_THREADS"] = str(max(1, (os.cpu_count() or 1) // local_workers))
    extra = {"env": env} if processes else {}
    with distributed.LocalCluster(n_workers=local_workers, threads_per_worker=1,
                                  processes=processes, dashboard_address=None,
                                  **extra) as cluster, distributed.Client(cluster) as client:
        yield client


def run_on_cluster(client: Any, payments: Any, chunks: list[Any],
                   shares: dict[str, BankShare], coordinator: KeyPair,
                   timings: Timings) -> Iterator[tuple[Any, list[bool]]]:
    """Yields (chunk, flags) as tasks finish; adds the tasks' step timings to `timings`."""
    distributed = require_distributed()
    from .matching import chunk_rows

    if not chunks:
        return
    shared = {bank: client.scatter(share, broadcast=True) for bank, share in shares.items()}
    coordinator_future = client.scatter(coordinator, broadcast=True)
    threads = sum(client.nthreads().values()) or 1
    window = max(2, TASKS_PER_THREAD * threads)

    def submit(position: int) -> Any:
        chunk = chunks[position]
        senders, receivers = chunk_rows(payments, chunk)
        future = client.submit(match_chunk_task, senders, receivers,
                               shared[chunk.sender_bank], shared[chunk.receiver_bank],
                               coordinator_future, pure=False)
        positions[future.key] = position
        return future

    positions: dict[Any, int] = {}
    following = min(window, len(chunks))
    pending = distributed.as_completed([submit(i) for i in range(following)])
    try:
        for future in pending:
            flags, task_timings = future.result()
            position = positions.pop(future.key)
            future.release()
            timings.merge(task_timings)
            if following < len(chunks):
                pending.add(submit(following))
                following += 1
            yield chunks[position], flags
    finally:
        pending.clear()
        for future in list(shared.values()) + [coordinator_future]:
            future.release()
