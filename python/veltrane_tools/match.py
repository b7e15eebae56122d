"""python -m veltrane_tools.match: match a coordinator's payments against banks' accounts.

With input files: every bank's account table (--bank NAME=PATH, repeated) and the
payments (--payments PATH), CSV or Parquet. The result is the payments table with one
added boolean column: true when the sending account is among the sending bank's
accounts and the receiving account among the receiving bank's.

Without input files: a synthetic data set with known answers is generated, matched and
checked, ending with a PASS or FAIL line (exit status 0 or 1).
"""

from __future__ import annotations

import argparse
import contextlib
import os
import random
import sys
import time
from collections.abc import Sequence
from dataclasses import dataclass, field
from typing import Any

from . import synthetic
from .errors import ModuleFailure, UserError
from .matching import DEFAULT_CHUNK_SIZE, MatchReport, Payments, run_matching
from .progress import Progress
from .protocol import STEPS, Row, key_of
from .tables import Table, check_output, file_kind, read_table, write_table

PROGRAM = ("veltrane-match" if os.path.basename(sys.argv[0]) == "veltrane-match"
           else "python -m veltrane_tools.match")

# Exit statuses.
OK, MISMATCH, USAGE, FAILURE = 0, 1, 2, 3

DEFAULT_BANKS = 3
DEFAULT_ACCOUNTS = 100_000
DEFAULT_PAYMENTS = 20_000


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


def build_parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog=PROGRAM, description=__doc__.split("\n\n", 1)[1],
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
    files.add_argument("--sender-columns", type=columns_option,
                       default=",".join(synthetic.SENDER_COLUMNS), metavar="COL[,COL...]",
                       help="payment columns of the sending account, in the order of "
                            "--account-columns (default: %(default)s)")
    files.add_argument("--receiver-columns", type=columns_option,
                       default=",".join(synthetic.RECEIVER_COLUMNS), metavar="COL[,COL...]",
                       help="payment columns of the receiving account "
                            "(default: %(default)s)")
    files.add_argument("--sender-bank-column", default=synthetic.SENDER_BANK_COLUMN,
                       metavar="COL", help="payment column naming the sending bank "
                                           "(default: %(default)s)")
    files.add_argument("--receiver-bank-column", default=synthetic.RECEIVER_BANK_COLUMN,
                       metavar="COL", help="payment column naming the receiving bank "
                                           "(default: %(default)s)")
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
    where = run.add_mutually_exclusive_group()
    where.add_argument("--scheduler", metavar="ADDRESS",
                       help="run the payment chunks as tasks on this Dask scheduler, e.g. "
                            "tcp://10.0.0.5:8786 (needs dask.distributed)")
    where.add_argument("--local-cluster", type=positive, metavar="N",
                       help="run the payment chunks on a new local Dask cluster of N worker "
                            "processes")

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


@dataclass
class Inputs:
    banks: dict[str, Table]
    payments: Table
    account_columns: list[str]
    sender_columns: list[str]
    receiver_columns: list[str]
    sender_bank_column: str
    receiver_bank_column: str
    option_names: dict[str, str] = field(default_factory=dict)


def bank_keys(table: Table, columns: list[str]) -> list[Row]:
    table.require(columns, "--account-columns")
    values = [table.text(name) for name in columns]
    return [key_of(row) for row in zip(*values)]


def payment_view(inputs: Inputs) -> Payments:
    table = inputs.payments
    for option, names in (("--sender-columns", inputs.sender_columns),
                          ("--receiver-columns", inputs.receiver_columns),
                          ("--sender-bank-column", [inputs.sender_bank_column]),
                          ("--receiver-bank-column", [inputs.receiver_bank_column])):
        table.require(names, option)
    known = set(inputs.banks)
    listed = ", ".join(sorted(known))
    banks: list[list[str]] = []
    for name in (inputs.sender_bank_column, inputs.receiver_bank_column):
        values = table.text(name)
        for index, value in enumerate(values):
            if value not in known:
                raise table.error(index, f"unknown bank {value!r}; the banks given are: "
                                         f"{listed}", name)
        banks.append(values)
    sides: list[list[Row]] = []
    for names in (inputs.sender_columns, inputs.receiver_columns):
        fields = [table.text(name) for name in names]
        sides.append([key_of(row) for row in zip(*fields)])
    return Payments(sides[0], sides[1], banks[0], banks[1])


def check_widths(args: argparse.Namespace) -> None:
    width = len(args.account_columns)
    for option, names in (("--sender-columns", args.sender_columns),
                          ("--receiver-columns", args.receiver_columns)):
        if len(names) != width:
            raise UserError(f"{option} names {len(names)} column(s) but --account-columns "
                            f"names {width}; an account is written the same way in both "
                            f"tables")


def load_files(args: argparse.Namespace) -> Inputs:
    if not args.bank:
        raise UserError("--payments needs the banks' account tables: add --bank NAME=PATH "
                        "for every bank")
    if not args.payments:
        raise UserError("--bank needs the payments: add --payments PATH")
    banks: dict[str, Table] = {}
    seen: set[str] = set()
    for name, path in args.bank:
        if name in seen:
            raise UserError(f"the bank {name!r} is given twice (--bank {name}=...)")
        seen.add(name)
        file_kind(path)
    file_kind(args.payments)
    for name, path in args.bank:
        banks[name] = read_table(path)
    return Inputs(banks, read_table(args.payments), args.account_columns,
                  args.sender_columns, args.receiver_columns, args.sender_bank_column,
                  args.receiver_bank_column)


def default_output(payments_path: str) -> str:
    root, suffix = os.path.splitext(payments_path)
    return f"{root}_matched{suffix}"


def print_summary(report: MatchReport, phases: dict[str, float], total: float,
                  cluster: str | None, out: Any = None) -> None:
    out = out or sys.stdout
    count = len(report.flags)
    matches = sum(report.flags)
    share = matches / count if count else 0.0
    print(f"\npayments   {count:,}, of which {matches:,} match ({share:.1%}) and "
          f"{count - matches:,} do not", file=out)
    banks = ", ".join(f"{bank} {rows:,} rows" for bank, rows in report.banks.items())
    print(f"banks      {banks}", file=out)
    if report.unused_banks:
        print(f"           not named by any payment (skipped): "
              f"{', '.join(report.unused_banks)}", file=out)
    print(f"work       {report.pairs} bank pair(s), {report.chunks} chunk(s)"
          + (f", on {cluster}" if cluster else ", in this process"), file=out)
    timings = report.timings
    where = "  (payment steps: seconds summed over the workers)" if cluster else ""
    print(f"\n{'step':<18}{'calls':>7}{'items':>12}{'seconds':>10}{'items/s':>12}{where}",
          file=out)
    for step in STEPS:
        if step not in timings.seconds:
            continue
        seconds, items = timings.seconds[step], timings.items[step]
        rate = f"{items / seconds:,.0f}" if seconds > 0 else "-"
        print(f"{step:<18}{timings.calls[step]:>7,}{items:>12,}{seconds:>10.2f}{rate:>12}",
              file=out)
    print("\nwall time  " + ", ".join(f"{name} {seconds:.1f} s"
                                      for name, seconds in phases.items())
          + f"; total {total:.1f} s", file=out)
    stores = report.phases.get("build_okvs", 0.0)
    rows = sum(report.banks.values())
    pay = report.phases.get("payments", 0.0)
    rates = []
    if stores > 0:
        rates.append(f"stores {rows / stores:,.0f} rows/s")
    if pay > 0:
        rates.append(f"payments {count / pay:,.0f} payments/s")
    if rates:
        print("throughput " + ", ".join(rates), file=out)


def check_truth(flags: Sequence[bool], data: synthetic.SyntheticData,
                out: Any = None) -> bool:
    out = out or sys.stdout
    wrong = [i for i, (flag, truth) in enumerate(zip(flags, data.truth)) if flag != truth]
    if len(flags) != len(data.truth):
        print(f"FAIL: {len(flags):,} flags for {len(data.truth):,} payments "
              f"(seed {data.seed})", file=out)
        return False
    if wrong:
        ids = data.payments.raw("payment_id")
        shown = ", ".join(f"{ids[i]} (expected {data.truth[i]}, got {flags[i]}"
                          + (f"; {data.faults[i]}" if data.faults[i] else "") + ")"
                          for i in wrong[:5])
        print(f"FAIL: {len(wrong):,} of {len(flags):,} flags disagree with the known answer "
              f"(seed {data.seed}); first: {shown}", file=out)
        return False
    print(f"PASS: all {len(flags):,} flags agree with the known answer "
          f"({sum(data.truth):,} matches, {len(flags) - sum(data.truth):,} non-matches; "
          f"seed {data.seed})", file=out)
    return True


def run(args: argparse.Namespace) -> int:
    began = time.perf_counter()
    check_widths(args)
    progress = Progress(enabled=not args.quiet)
    cluster_wanted = args.scheduler or args.local_cluster
    if cluster_wanted:
        from .cluster import require_distributed
        require_distributed()
    if args.output:
        check_output(args.output)
    phases: dict[str, float] = {}

    data = None
    start = time.perf_counter()
    if args.bank or args.payments:
        inputs = load_files(args)
        phases["read"] = time.perf_counter() - start
        output = args.output or default_output(args.payments)
        check_output(output)
    else:
        seed = args.seed if args.seed is not None else random.SystemRandom().randrange(10**9)
        print(f"synthetic data: {args.num_banks} banks x {args.accounts_per_bank:,} accounts, "
              f"{args.num_payments:,} payments, {args.match_share:.0%} matching, seed {seed}",
              flush=True)
        data = synthetic.generate(banks=args.num_banks, accounts=args.accounts_per_bank,
                                  payments=args.num_payments, match_share=args.match_share,
                                  seed=seed)
        inputs = Inputs(data.banks, data.payments, synthetic.ACCOUNT_KEY,
                        synthetic.SENDER_COLUMNS, synthetic.RECEIVER_COLUMNS,
                        synthetic.SENDER_BANK_COLUMN, synthetic.RECEIVER_BANK_COLUMN)
        phases["generate"] = time.perf_counter() - start
        if args.write_data:
            for path in data.write(args.write_data):
                progress.note(f"wrote {path}")
        output = args.output

    start = time.perf_counter()
    if output and args.match_column in inputs.payments.columns:
        raise UserError(f"{inputs.payments.path}: already has a column "
                        f"{args.match_column!r}; choose another name with --match-column")
    payments = payment_view(inputs)
    used = set(payments.sender_banks) | set(payments.receiver_banks)
    rows = {name: bank_keys(table, inputs.account_columns)
            for name, table in inputs.banks.items() if name in used}
    phases["prepare"] = time.perf_counter() - start

    cluster = None
    with contextlib.ExitStack() as stack:
        client = None
        if cluster_wanted:
            from .cluster import open_client
            start = time.perf_counter()
            client = stack.enter_context(open_client(args.scheduler, args.local_cluster or 0))
            cluster = (f"the Dask scheduler at {args.scheduler}" if args.scheduler else
                       f"a local Dask cluster of {args.local_cluster} worker(s)")
            phases["cluster start"] = time.perf_counter() - start
        report = run_matching(rows, payments, chunk_size=args.chunk_size, progress=progress,
                              client=client)
    for name in ("key_gen", "build_okvs", "payments"):
        phases[name if name != "build_okvs" else "stores"] = report.phases[name]

    if output:
        start = time.perf_counter()
        write_table(inputs.payments, args.match_column, report.flags, output)
        phases["write"] = time.perf_counter() - start
        progress.note(f"wrote {output}")
    print_summary(report, phases, time.perf_counter() - began, cluster)
    if data is not None:
        return OK if check_truth(report.flags, data) else MISMATCH
    return OK


def main(argv: Sequence[str] | None = None) -> int:
    parser = build_parser()
    args = parser.parse_args(argv)
    try:
        return run(args)
    except UserError as error:
        print(f"{PROGRAM}: error: {error}", file=sys.stderr)
        return USAGE
    except ModuleFailure as error:
        print(f"{PROGRAM}: {error}", file=sys.stderr)
        return FAILURE
    except KeyboardInterrupt:
        print(f"{PROGRAM}: interrupted", file=sys.stderr)
        return 130


if __name__ == "__main__":
    sys.exit(main())
