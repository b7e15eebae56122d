"""Atomic outputs: a file appears complete under its name, or not at all.

Every output is written to a hidden temporary file in the folder it will live in,
flushed to disk and then renamed over its name, so an interrupted step never leaves a
half-written file that a later step would read as if it were whole. The rename stays
within one file system because the temporary file sits beside the target.
"""

from __future__ import annotations

import contextlib
import os
import secrets
from collections.abc import Iterator
from typing import BinaryIO

from .errors import UserError


class Together:
    """Files that appear together or not at all, such as the two halves of a key pair:
    each atomic_file given this group is complete and synced when its block ends, but
    stays under its temporary name until `commit()`. Leaving the `with` block without a
    commit removes them all, so a failure while writing the second never costs the
    first file's old content."""

    def __init__(self) -> None:
        self._pending: list[tuple[str, str, bool]] = []   # (temporary, path, replace)

    def __enter__(self) -> Together:
        return self

    def __exit__(self, *exc: object) -> None:
        for temporary, _, _ in self._pending:
            with contextlib.suppress(OSError):
                os.unlink(temporary)
        self._pending.clear()

    def add(self, temporary: str, path: str, replace: bool) -> None:
        self._pending.append((temporary, path, replace))

    def commit(self) -> None:
        placed: list[str] = []
        try:
            while self._pending:
                temporary, path, replace = self._pending[0]
                _place(temporary, path, replace)
                self._pending.pop(0)
                if not replace:
                    placed.append(path)
        except BaseException:
            # New files placed before the failure go again; a replaced file cannot come
            # back, which is why the paths are all checked before anything is written.
            for path in placed:
                with contextlib.suppress(OSError):
                    os.unlink(path)
            raise


@contextlib.contextmanager
def atomic_file(path: str, *, mode: int | None = None, replace: bool = True,
                together: Together | None = None) -> Iterator[BinaryIO]:
    """A binary file open for writing (and reading back); on a clean exit it is flushed,
    synced and renamed to `path` (with `together`, when that group commits), on an
    exception removed. `mode` defaults to what open() would give a new file under the
    current umask. With replace=False an existing `path` is never overwritten, not even
    by a file that appears while this one is being written."""
    directory = os.path.dirname(os.path.abspath(path))
    if not os.path.isdir(directory):
        raise UserError(f"{path}: the directory {directory} does not exist")
    if os.path.isdir(path):
        raise UserError(f"{path}: is a directory; give the path of a file")
    if not replace and os.path.lexists(path):
        raise UserError(f"{path}: already exists; it is not overwritten (use --force to "
                        f"replace it)")
    if mode is None:
        mode = 0o666 & ~_umask()
    # The name is chosen before the file exists, so that a signal arriving just after
    # the file is created (before its descriptor is even assigned) still finds the name
    # to remove. It is 128 random bits: a clash is refused by O_EXCL, never unlinked.
    temporary = os.path.join(directory, f".{os.path.basename(path)}."
                                        f"{secrets.token_hex(16)}.part")
    try:
        try:
            descriptor = os.open(temporary, os.O_RDWR | os.O_CREAT | os.O_EXCL | os.O_CLOEXEC,
                                 0o600)
        except FileExistsError:
            temporary = ""
            raise
        os.fchmod(descriptor, mode)  # before any byte is written: secrets are never exposed
        with os.fdopen(descriptor, "w+b") as stream:
            yield stream
            stream.flush()
            os.fsync(stream.fileno())
        if together is not None:
            together.add(temporary, path, replace)
            return
        _place(temporary, path, replace)
    except BaseException:
        if temporary:
            with contextlib.suppress(OSError):
                os.unlink(temporary)
        raise


def _place(temporary: str, path: str, replace: bool) -> None:
    if replace:
        os.replace(temporary, path)
    else:
        _place_without_replacing(temporary, path)
    _sync_directory(os.path.dirname(os.path.abspath(path)))


def _umask() -> int:
    mask = os.umask(0o077)
    os.umask(mask)
    return mask


def _place_without_replacing(temporary: str, path: str) -> None:
    try:
        os.link(temporary, path)  # atomic, and fails if the name was taken meanwhile
    except FileExistsError:
        raise UserError(f"{path}: already exists; it is not overwritten (use --force to "
                        f"replace it)") from None
    except OSError:
        # A file system without hard links: the check and the rename are two steps.
        if os.path.lexists(path):
            raise UserError(f"{path}: already exists; it is not overwritten (use --force "
                            f"to replace it)") from None
        os.rename(temporary, path)
        return
    os.unlink(temporary)


def _sync_directory(directory: str) -> None:
    """Makes the rename itself durable (a no-op where directories cannot be opened)."""
    try:
        descriptor = os.open(directory, os.O_RDONLY)
    except OSError:
        return
    try:
        os.fsync(descriptor)
    except OSError:
        pass
    finally:
        os.close(descriptor)
