"""Tools around the veltrane module.

The role steps, one per party and step, exchange integrity-checked files: `keys`
(key files), `publish` (a bank's store), `query` (the coordinator's requests and
state), `answer` (a bank's response) and `finish` (the flags); the command `veltrane`
(`python -m veltrane_tools.cli`) runs them. `python -m veltrane_tools.match` plays every
party in one process on the same steps, and checks itself on synthetic data.
"""

from .answer import answer
from .errors import InputError, ModuleFailure, UserError
from .finish import finish
from .keys import PublicKey, SecretKey, generate, load_public_key, load_secret_key
from .matching import Payments, run_matching
from .plan import plan_chunks
from .protocol import KeyPair, Timings, build_store, key_of
from .publish import publish
from .query import query
from .runner import LocalRunner, Runner
from .store_file import read_store

__all__ = ["InputError", "KeyPair", "LocalRunner", "ModuleFailure", "Payments", "PublicKey",
           "Runner", "SecretKey", "Timings", "UserError", "answer", "build_store", "finish",
           "generate", "key_of", "load_public_key", "load_secret_key", "plan_chunks",
           "publish", "query", "read_store", "run_matching"]
