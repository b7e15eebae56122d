"""Request and response files: the point lists one bank decrypts for one run.

A request goes from the coordinator to one bank; the bank's response carries the same
lists, each point multiplied by the bank's secret, in the same order. Both have two
sections of 32-byte points: "sender" (for the payments the bank sends) and "receiver"
(for those it receives), and these header fields:

- run: the run id, shared by the run's requests, responses and state;
- bank, fingerprint: the bank the lists are for and its key's fingerprint;
- key_scheme: how the payments' rows became keys (as in the bank's store);
- counts: {"sender": n, "receiver": m}, the sections' item counts;
- a request: store_sha256 (the store it was made against), coordinator (the
  coordinator key's fingerprint); a response: request_sha256 (the request it answers).
"""

from __future__ import annotations

from dataclasses import dataclass
from typing import Any

from .container import Container, ContainerWriter, open_container
from .keys import checked_name

REQUEST = "request"
RESPONSE = "response"
POINT = 32
SIDES = ("sender", "receiver")


@dataclass(frozen=True)
class PointsHeader:
    kind: str
    run: str
    bank: str
    fingerprint: str
    key_scheme: dict[str, Any]
    counts: dict[str, int]
    extra: dict[str, str]   # store_sha256 and coordinator, or request_sha256


def points_writer(path: str, header: PointsHeader) -> ContainerWriter:
    out = ContainerWriter(path, header.kind,
                          [(side, header.counts[side], POINT) for side in SIDES])
    out.header = {"run": header.run, "bank": header.bank, "fingerprint": header.fingerprint,
                  "key_scheme": header.key_scheme, "counts": dict(header.counts),
                  **header.extra}
    return out


def open_points(path: str, kind: str) -> tuple[Container, PointsHeader]:
    """Opens a request or response file and checks its counts match its sections."""
    file = open_container(path, kind)
    try:
        file.require_sections({side: POINT for side in SIDES})
        counts = file.count_field("counts", SIDES)
        if counts != {side: file.items(side) for side in SIDES}:
            raise file.refuse(f"damaged: counts {counts} do not match its point lists")
        names = ("store_sha256", "coordinator") if kind == REQUEST else ("request_sha256",)
        header = PointsHeader(kind, file.field("run"), checked_name(file.header.get("bank"), path),
                              file.field("fingerprint"), file.field("key_scheme", dict),
                              counts, {name: file.field(name) for name in names})
    except BaseException:
        file.close()
        raise
    return file, header
