"""Tools around the veltrane module: `python -m veltrane_tools.match` runs the matching
protocol for a coordinator's payments and any number of banks, locally or on a Dask
cluster, and checks itself on synthetic data."""

from .errors import InputError, ModuleFailure, UserError
from .matching import Payments, run_matching
from .protocol import BankShare, KeyPair, Timings, build_store, key_of, match_chunk

__all__ = ["BankShare", "InputError", "KeyPair", "ModuleFailure", "Payments", "Timings",
           "UserError", "build_store", "key_of", "match_chunk", "run_matching"]
