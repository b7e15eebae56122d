"""The coordinator's finish step: the state file and every bank's response become one
flag per payment, in the payments' own order.

Every response is checked against what the state recorded when the requests were made
(run, bank, key, the request's digest and the counts) before any flag is computed, so
a response from another run or bank is refused instead of silently giving wrong flags.
The flags are kept a byte per payment and the run's order is read chunk by chunk, so
the step's memory hardly grows with the payments.
"""

from __future__ import annotations

import contextlib
from collections.abc import Iterable, Iterator, Sequence
from dataclasses import dataclass, field
from typing import Any, overload

from .container import Container
from .errors import ModuleFailure, UserError
from .keys import SecretKey
from .plan import DEFAULT_CHUNK_SIZE
from .points_file import RESPONSE, open_points
from .progress import Progress
from .protocol import Timings, all_points, finish as finish_points
from .state_file import State, read_order, read_state


class Flags(Sequence[bool]):
    """One flag per payment, held as a byte each (a list would take 8 bytes a flag and
    an object per distinct value); compares equal to any sequence of the same bools."""

    def __init__(self, count: int) -> None:
        self.bytes = bytearray(count)

    def __len__(self) -> int:
        return len(self.bytes)

    @overload
    def __getitem__(self, index: int) -> bool: ...
    @overload
    def __getitem__(self, index: slice) -> list[bool]: ...

    def __getitem__(self, index: int | slice) -> bool | list[bool]:
        if isinstance(index, slice):
            return [bool(flag) for flag in self.bytes[index]]
        return bool(self.bytes[index])

    def __iter__(self) -> Iterator[bool]:
        return map(bool, self.bytes)

    def __eq__(self, other: object) -> bool:
        if isinstance(other, Flags):
            return self.bytes == other.bytes
        if isinstance(other, Sequence):
            return len(other) == len(self) and all(a == b for a, b in zip(self, other))
        return NotImplemented

    __hash__ = None  # type: ignore[assignment]

    def __repr__(self) -> str:
        return f"Flags({list(self)!r})"

    def count(self, value: Any) -> int:
        return self.bytes.count(1 if value else 0) if value in (True, False) else 0

    def place(self, indices: Iterable[int], flags: Iterable[bool]) -> None:
        """Sets the flag of every payment index in `indices` to the next of `flags`."""
        for index, flag in zip(indices, flags):
            self.bytes[index] = flag


@dataclass
class FinishResult:
    flags: Flags
    run: str
    payments: dict[str, Any]        # what the state recorded of the payments file
    timings: Timings = field(default_factory=Timings)


def open_responses(state: State, paths: Sequence[str],
                   stack: contextlib.ExitStack) -> dict[str, Container]:
    responses: dict[str, Container] = {}
    for path in paths:
        file, header = open_points(path, RESPONSE)
        stack.enter_context(file)
        expected = state.banks.get(header.bank)
        if expected is None:
            raise file.refuse(f"wrong bank: {header.bank!r} has no part in this run (its "
                              f"banks are {', '.join(sorted(state.banks))})")
        if header.bank in responses:
            raise file.refuse(f"a second response from bank {header.bank!r} (the first is "
                              f"{responses[header.bank].path})")
        file.expect("run", state.run, "run")
        file.expect("fingerprint", expected["fingerprint"], "bank key")
        file.expect("request_sha256", expected["request_sha256"], "request (its digest)")
        file.expect("key_scheme", state.key_scheme, "key scheme")
        file.expect("counts", expected["counts"], "counts")
        responses[header.bank] = file
    missing = sorted(set(state.banks) - set(responses))
    if missing:
        raise UserError(f"no response from bank(s) {', '.join(missing)}: give each bank's "
                        f"response file")
    return responses


def _not_points(lists: Sequence[tuple[Container, str, int]], points: Sequence[bytes],
                n: int) -> BaseException:
    """The refusal of the file whose list holds a piece that is not a curve point (the
    key is whole and checked, so a failing finish has no other cause)."""
    for (file, side, start), data in zip(lists, points):
        if not all_points(data):
            return file.refuse(f"damaged: a piece of its {side} list, among points "
                               f"{start + 1:,} to {start + n:,}, is not a curve point")
    return ModuleFailure("veltrane.finish failed on lists of curve points")


def finish(state_path: str, response_paths: Sequence[str], key: SecretKey, *,
           chunk_size: int = DEFAULT_CHUNK_SIZE,
           progress: Progress | None = None) -> FinishResult:
    progress = progress or Progress(enabled=False)
    state = read_state(state_path, chunk_size)
    with contextlib.ExitStack() as stack:
        stack.callback(state.close)
        if state.coordinator != key.fingerprint:
            raise state.file.refuse(f"wrong coordinator key: the run was made with key "
                                    f"{state.coordinator}, this key is {key.fingerprint}")
        responses = open_responses(state, response_paths, stack)
        result = FinishResult(Flags(state.payments["count"]), state.run, state.payments)
        bar = progress.bar("finish", len(result.flags), "payments")
        try:
            for chunk in state.plan.chunks:
                n = len(chunk)
                lists = ((responses[chunk.sender_bank], "sender", chunk.sender_offset),
                         (responses[chunk.receiver_bank], "receiver", chunk.receiver_offset),
                         (state.file, "gamma", chunk.position),
                         (state.file, "delta", chunk.position))
                points = [file.read(side, start, n) for file, side, start in lists]
                try:
                    flags = finish_points(points[0], points[1], points[2], points[3], key.secret,
                                          result.timings)
                except ModuleFailure:
                    raise _not_points(lists, points, n) from None
                result.flags.place(read_order(state.file, chunk.position, n), flags)
                bar.set_postfix_str(f"{chunk.sender_bank} -> {chunk.receiver_bank}")
                bar.update(n)
        finally:
            bar.close()
    return result
