"""Runners: who carries out a step's chunks. The caller picks one and passes it in.

A step hands a runner one function, the tasks (argument tuples, made lazily so that only
a few chunks' rows exist at a time) and the values every task shares, such as the
banks' stores. An argument `Shared(name)` stands for the shared value of that name: the
local runner passes the value itself, the Dask runner (cluster.py) sends it to every
worker once. Results come back as (task number, result) in any order.

Shared values may be views of files mapped into this process (the stores): the local
runner hands them to the tasks as they are, without a copy, while a runner that sends
them elsewhere sends `sendable(shared)`, their bytes, since a mapping cannot leave the
process (and a worker need not see the coordinator's files).
"""

from __future__ import annotations

from collections.abc import Callable, Iterable, Iterator, Mapping
from dataclasses import dataclass
from typing import Any, Protocol

from .shards import ShardedStore


@dataclass(frozen=True)
class Shared:
    """Stands, in a task's arguments, for the shared value `name`."""

    name: str


class Runner(Protocol):
    workers: int       # cluster workers; 0 when the steps run in this process
    description: str   # for summaries: "in this process", "on the Dask scheduler at ..."

    def run(self, function: Callable[..., Any], tasks: Iterable[tuple[Any, ...]],
            shared: Mapping[str, Any]) -> Iterator[tuple[int, Any]]: ...


def sendable(shared: Mapping[str, Any]) -> dict[str, Any]:
    """The shared values with every buffer view (a mapped store) copied into bytes, as a
    runner sends them to another process."""
    return {name: _sendable(value) for name, value in shared.items()}


def _sendable(value: Any) -> Any:
    if isinstance(value, memoryview):
        return bytes(value)
    if isinstance(value, ShardedStore):
        return ShardedStore(value.salt, tuple(bytes(shard) for shard in value.shards))
    return value


def resolve(args: tuple[Any, ...], values: Mapping[str, Any]) -> list[Any]:
    return [values[arg.name] if isinstance(arg, Shared) else arg for arg in args]


class LocalRunner:
    """Runs every task in this process, one after the other (the module's own worker
    threads share out each call's items)."""

    workers = 0
    description = "in this process"

    def run(self, function: Callable[..., Any], tasks: Iterable[tuple[Any, ...]],
            shared: Mapping[str, Any]) -> Iterator[tuple[int, Any]]:
        for number, args in enumerate(tasks):
            yield number, function(*resolve(args, shared))
