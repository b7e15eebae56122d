"""A Python module for the cryptographic operations necessary to do feature extraction
(element matching in two datasets).

Byte arguments accept ``bytes``, ``bytearray``, ``memoryview``, ``mmap.mmap``,
``array.array('B')``, a NumPy ``uint8`` array or any sequence of ints 0..255 (never a
``str``); the buffers are read in place. Every byte result is a ``list`` of ints.
Failures inside an operation raise ``PanicException``, which derives from
``BaseException`` and is not exported by name.
"""

from collections.abc import Sequence
from typing import TypeAlias

from typing_extensions import Buffer

__all__ = ["key_gen", "build_okvs", "initiate_queries", "randomize", "combine", "decrypt",
           "finish"]

ByteArg: TypeAlias = bytes | bytearray | memoryview | Buffer | Sequence[int]
"""A byte string as the module reads it: a buffer of unsigned bytes or ints 0..255."""

Rows: TypeAlias = Sequence[Sequence[str]]
"""A table of text rows: each row is a sequence of ``str``; its key is their concatenation."""

def key_gen() -> tuple[list[int], list[int]]:
    """Generates a key pair for this party, returning a tuple with (public_key: bytes, secret_key: bytes)."""

def build_okvs(public_key: ByteArg, strings_in_each_row: Rows) -> list[int]:
    """Builds an OKVS for one party. Takes the public key of this party and the data from the database, which is a list of rows. Each row is a list of the relevant columns as a String."""

def initiate_queries(sender_data: Rows, receiver_data: Rows, sender_okvs: ByteArg,
                     receiver_okvs: ByteArg, zadiv_pk: ByteArg) -> list[int]:
    """One 128-byte wide ciphertext per query (row k of each table), concatenated."""

def randomize(ciphertexts: ByteArg) -> list[int]:
    """The ciphertexts, each multiplied by a fresh random scalar."""

def combine(sender_ciphertexts: ByteArg,
            receiver_ciphertexts: ByteArg) -> tuple[list[int], list[int], list[int], list[int]]:
    """Pairwise sums, split into the sender, receiver, gamma and delta point lists."""

def decrypt(points: ByteArg, bank_secret_key: ByteArg) -> list[int]:
    """Every 32-byte point of the list multiplied by the bank's secret key."""

def finish(sender_points: ByteArg, receiver_points: ByteArg, gamma_points: ByteArg,
           delta_points: ByteArg, zadiv_secret_key: ByteArg) -> list[bool]:
    """One flag per position: True when both looked-up rows were stored by their banks."""
