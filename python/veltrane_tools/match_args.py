"""The command line of veltrane-match, and the option types the `veltrane` command shares."""

from __future__ import annotations

import argparse
import os
import sys
from typing import Any

from . import synthetic
from .plan import DEFAULT_CHUNK_SIZE, DEFAULT_WINDOW

PROGRAM = ("veltrane-match" if os.path.basename(sys.argv[0]) == "veltrane-match"
           else "python -m veltrane_tools.match")

DEFAULT_BANKS = 3
DEFAULT_ACCOUNTS = 100_000
DEFAULT_PAYMENTS = 20_000

DESCRIPTION = """\
With input files: every bank's account table (--bank NAME=PATH, repeated) and the
payments (--payments PATH), CSV or Parquet. The result is the payments table with one
added boolean column: true when the sending account is among the sending bank's
accounts and the receiving account among the receiving bank's.

Without input files: a synthetic data set with known answers is generated, matched and
checked, ending with a PASS or FAIL line (exit status 0 or 1).

Every party's step runs in this process, exchanging the same files the `veltrane`
command's role steps exchange between separate parties.
"""


def columns_option(text: str) -> list[str]:
    names = [name.strip() for name in text.split(",")]
    if not all(names):
        raise argparse.ArgumentTypeError(f"{text!r} is not a comma-separated list of column "
                                         f"names")
    return names


def bank_option(text: str) -> tuple[str, str]:
    name, sep, path = text.partition("=")
    if not sep or not name.strip() or not path:
        raise argparse.ArgumentTypeError(f"{text!r} is not of the form NAME=PATH")
    return name.strip(), path


def positive(text: str) -> int:
    try:
        value = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"{text!r} is not a whole number") from None
    if value < 1:
        raise argparse.ArgumentTypeError(f"{text} is not a positive number")
    return value


def share(text: str) -> float:
    try:
        value = float(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"{text!r} is not a number") from None
    if not 0.0 <= value <= 1.0:
        raise argparse.ArgumentTypeError(f"{text} is not between 0 and 1")
    return value


def add_payment_columns(group: Any) -> None:
    """The options naming the payment columns of the two accounts and their banks."""
    group.add_argument("--sender-columns", type=columns_option,
                       default=",".join(synthetic.SENDER_COLUMNS), metavar="COL[,COL...]",
                       help="payment columns of the sending account, in the order of "
                            "--account-columns (default: %(default)s)")
    group.add_argument("--receiver-columns", type=columns_option,
                       default=",".join(synthetic.RECEIVER_COLUMNS), metavar="COL[,COL...]",
                       help="payment columns of the receiving account "
                            "(default: %(default)s)")
    group.add_argument("--sender-bank-column", default=synthetic.SENDER_BANK_COLUMN,
                       metavar="COL", help="payment column naming the sending bank "
                                           "(default: %(default)s)")
    group.add_argument("--receiver-bank-column", default=synthetic.RECEIVER_BANK_COLUMN,
                       metavar="COL", help="payment column naming the receiving bank "
                                           "(default: %(default)s)")


def add_window(group: Any) -> None:
    group.add_argument("--window", type=positive, default=DEFAULT_WINDOW, metavar="N",
                       help="payments read from the payment table at a time: memory grows "
                            "with it, not with the table (default: %(default)s)")


def add_cluster_options(group: Any, what: str) -> None:
    where = group.add_mutually_exclusive_group()
    where.add_argument("--scheduler", metavar="ADDRESS",
                       help=f"run {what} as tasks on this Dask scheduler, e.g. "
                            "tcp://10.0.0.5:8786 (needs dask.distributed)")
    where.add_argument("--local-cluster", type=positive, metavar="N",
                       help=f"run {what} on a new local Dask cluster of N worker processes")


def build_parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog=PROGRAM, description=DESCRIPTION,
        formatter_class=argparse.RawDescriptionHelpFormatter,
        epilog="Worker threads per process: RAYON_NUM_THREADS (0 = one per logical "
               "processor), else RAYON_RS_NUM_CPUS.")
    files = parser.add_argument_group("input files (CSV or Parquet, by suffix)")
    files.add_argument("--bank", action="append", type=bank_option, default=[],
                       metavar="NAME=PATH",
                       help="a bank's account table; NAME is how the payments name the bank "
                            "(repeat for every bank)")
    files.add_argument("--payments", metavar="PATH", help="the coordinator's payment table")
    files.add_argument("--account-columns", type=columns_option, default=",".join(synthetic.ACCOUNT_KEY),
                       metavar="COL[,COL...]",
                       help="bank table columns that form an account's key "
                            "(default: %(default)s)")
    add_payment_columns(files)
    out = parser.add_argument_group("output")
    out.add_argument("--output", "-o", metavar="PATH",
                     help="where to write the payments with the result column (CSV or "
                          "Parquet; default with input files: <payments>_matched.<suffix> "
                          "beside the payments; default without: not written)")
    out.add_argument("--match-column", default="matched", metavar="NAME",
                     help="name of the added boolean column (default: %(default)s)")
    out.add_argument("--quiet", "-q", action="store_true", help="no progress bars")

    run = parser.add_argument_group("execution")
    run.add_argument("--chunk-size", type=positive, default=DEFAULT_CHUNK_SIZE, metavar="N",
                     help="payments per coordinator step (default: %(default)s)")
    add_window(run)
    add_cluster_options(run, "the payment chunks")

    synth = parser.add_argument_group("synthetic data (used when no input file is given)")
    synth.add_argument("--num-banks", type=positive, default=DEFAULT_BANKS, metavar="N",
                       help="banks (default: %(default)s)")
    synth.add_argument("--accounts-per-bank", type=positive, default=DEFAULT_ACCOUNTS,
                       metavar="N", help="accounts per bank (default: %(default)s)")
    synth.add_argument("--num-payments", type=positive, default=DEFAULT_PAYMENTS, metavar="N",
                       help="payments (default: %(default)s)")
    synth.add_argument("--match-share", type=share, default=0.5, metavar="X",
                       help="share of payments that match, 0..1 (default: %(default)s)")
    synth.add_argument("--seed", type=int, metavar="N",
                       help="random seed (default: a new one, printed)")
    synth.add_argument("--write-data", metavar="DIR",
                       help="also write the synthetic tables (banks/*.csv, payments.csv, "
                            "expected.csv) to DIR")
    return parser


