"""The bank's answer step: a request file and the bank's key become a response file.

The bank decrypts exactly the lists it was sent, chunk by chunk, and learns nothing of
the payments behind them. Before touching its secret it checks that the request is
meant for this bank and this key, so that a misrouted or stale request fails loudly
instead of producing a response that would make every payment look unmatched.
"""

from __future__ import annotations

from .errors import ModuleFailure
from .keys import SecretKey
from .points_file import POINT, REQUEST, RESPONSE, SIDES, PointsHeader, open_points, points_writer
from .progress import Progress
from .protocol import Timings, decrypt

DEFAULT_POINTS_PER_CHUNK = 65536


def answer(request_path: str, key: SecretKey, response_path: str, *,
           chunk_size: int = DEFAULT_POINTS_PER_CHUNK, progress: Progress | None = None,
           timings: Timings | None = None) -> str:
    """Writes the response to `request_path` with the bank's `key`; returns its SHA-256."""
    progress = progress or Progress(enabled=False)
    request, header = open_points(request_path, REQUEST)
    with request:
        if header.bank != key.name:
            raise request.refuse(f"wrong bank: the request is for bank {header.bank!r}, but "
                                 f"this key belongs to bank {key.name!r}")
        if header.fingerprint != key.fingerprint:
            raise request.refuse(f"wrong key: the request was made against the store of key "
                                 f"{header.fingerprint}, but this key is {key.fingerprint} "
                                 f"(was the store published with another key?)")
        reply = PointsHeader(RESPONSE, header.run, key.name, key.fingerprint, header.key_scheme,
                             header.counts, {"request_sha256": request.digest})
        bar = progress.bar("decrypt", sum(header.counts.values()), "points")
        try:
            with points_writer(response_path, reply) as out:
                for side in SIDES:
                    for start in range(0, header.counts[side], chunk_size):
                        count = min(chunk_size, header.counts[side] - start)
                        points = request.read(side, start, count)
                        try:
                            decrypted = decrypt(points, key.secret, timings)
                        except ModuleFailure:
                            # The key is whole and checked, so the points are at fault.
                            raise request.refuse(
                                f"damaged: a piece of its {side} list, among points "
                                f"{start + 1:,} to {start + count:,}, is not a curve "
                                f"point") from None
                        out.write(side, start, decrypted)
                        bar.update(len(points) // POINT)
        finally:
            bar.close()
    return out.digest
