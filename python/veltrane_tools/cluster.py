"""A runner whose tasks run on a Dask distributed cluster (dask.distributed is optional).

The shared values (the banks' stores) are scattered to every worker once, as bytes (a
store the coordinator has mapped from its file is copied out of the mapping here, so
the workers need no access to the coordinator's files); each task
receives one chunk's payment rows and returns that chunk's lists. Only the coordinator's
own data goes to the cluster: stores, payment rows and public keys, never a secret key.
At most a few tasks per worker thread are in flight, so the client's memory stays
bounded; results are handed back as they finish, with their task numbers.
"""

from __future__ import annotations

import contextlib
import importlib
import os
from collections.abc import Callable, Iterable, Iterator, Mapping
from typing import Any

from .errors import UserError
from .runner import Shared, sendable

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


class DaskRunner:
    """Runs the tasks on the cluster of a dask.distributed Client."""

    def __init__(self, client: Any, description: str = "a Dask cluster") -> None:
        self.client = client
        self.description = description
        self.workers = len(client.nthreads())

    def run(self, function: Callable[..., Any], tasks: Iterable[tuple[Any, ...]],
            shared: Mapping[str, Any]) -> Iterator[tuple[int, Any]]:
        distributed = require_distributed()
        client = self.client
        futures = {name: client.scatter(value, broadcast=True)
                   for name, value in sendable(shared).items()}
        threads = sum(client.nthreads().values()) or 1
        window = max(2, TASKS_PER_THREAD * threads)
        numbers: dict[Any, int] = {}
        source = enumerate(tasks)

        def submit_next() -> Any:
            for number, args in source:
                future = client.submit(function, *(futures[a.name] if isinstance(a, Shared)
                                                   else a for a in args), pure=False)
                numbers[future.key] = number
                return future
            return None

        pending = distributed.as_completed([f for f in (submit_next() for _ in range(window))
                                            if f is not None])
        try:
            for future in pending:
                result = future.result()
                number = numbers.pop(future.key)
                future.release()
                following = submit_next()
                if following is not None:
                    pending.add(following)
                yield number, result
        finally:
            pending.clear()
            for future in futures.values():
                future.release()


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


@contextlib.contextmanager
def open_runner(scheduler: str | None, local_workers: int | None) -> Iterator[Any]:
    """The runner that --scheduler / --local-cluster ask for."""
    description = (f"the Dask scheduler at {scheduler}" if scheduler else
                   f"a local Dask cluster of {local_workers} worker(s)")
    with open_client(scheduler, local_workers or 0) as client:
        yield DaskRunner(client, description)
