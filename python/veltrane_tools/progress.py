"""Progress bars: tqdm when it is installed, otherwise plain lines on standard error."""

from __future__ import annotations

import sys
import time
from typing import Any, Protocol


class Bar(Protocol):
    def update(self, n: int = 1) -> Any: ...
    def set_postfix_str(self, text: str) -> Any: ...
    def close(self) -> Any: ...


class Progress:
    """Makes bars; `enabled=False` makes silent ones."""

    def __init__(self, enabled: bool = True, stream: Any = None) -> None:
        self.enabled = enabled
        self.stream = stream if stream is not None else sys.stderr
        try:
            from tqdm import tqdm  # type: ignore[import-untyped, unused-ignore]
        except ImportError:
            tqdm = None
        self._tqdm = tqdm

    def bar(self, description: str, total: int, unit: str) -> Bar:
        if not self.enabled:
            return _Silent()
        if self._tqdm is not None:
            return self._tqdm(total=total, desc=description, unit=f" {unit}",
                              unit_scale=True, file=self.stream, dynamic_ncols=True,
                              leave=True)
        return TextBar(description, total, unit, self.stream)

    def note(self, text: str) -> None:
        if not self.enabled:
            return
        if self._tqdm is not None:
            self._tqdm.write(text, file=self.stream)
        else:
            print(text, file=self.stream, flush=True)


class _Silent:
    def update(self, n: int = 1) -> None:
        pass

    def set_postfix_str(self, text: str) -> None:
        pass

    def close(self) -> None:
        pass


class TextBar:
    """A line per second at most: 'payments  12,288/30,000 (41%)  3.1 s, about 4.5 s left'."""

    def __init__(self, description: str, total: int, unit: str, stream: Any,
                 interval: float = 1.0) -> None:
        self.description, self.total, self.unit, self.stream = description, total, unit, stream
        self.interval = interval
        self.done = 0
        self.postfix = ""
        self.start = time.perf_counter()
        self.last = 0.0

    def update(self, n: int = 1) -> None:
        self.done += n
        now = time.perf_counter()
        if now - self.last >= self.interval or self.done >= self.total:
            self.last = now
            self._print(now)

    def set_postfix_str(self, text: str) -> None:
        self.postfix = text

    def close(self) -> None:
        if self.done < self.total:
            self._print(time.perf_counter())

    def _print(self, now: float) -> None:
        elapsed = now - self.start
        share = self.done / self.total if self.total else 1.0
        text = (f"{self.description:<12} {self.done:,}/{self.total:,} {self.unit} "
                f"({share:.0%}) {elapsed:.1f} s")
        if 0 < self.done < self.total:
            text += f", about {elapsed * (self.total - self.done) / self.done:.1f} s left"
        if self.postfix:
            text += f"  [{self.postfix}]"
        print(text, file=self.stream, flush=True)
