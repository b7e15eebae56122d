"""python -m veltrane_tools.match: match a coordinator's payments against banks' accounts,
playing every party in this process (see match_args.DESCRIPTION)."""

from __future__ import annotations

import argparse
import contextlib
import random
import sys
import time
from collections.abc import Sequence

from . import synthetic
from .errors import UserError, exit_status
from .inputs import (Inputs, bank_keys, check_widths, default_output, load_files,
                     payment_source, payment_view)
from .match_args import PROGRAM, build_parser
from .matching import run_matching
from .plan import scan_pairs
from .progress import Progress
from .report import check_truth, print_summary
from .tables import check_output, write_table

__all__ = ["Inputs", "bank_keys", "build_parser", "check_truth", "main", "payment_view",
           "print_summary", "run"]

# Exit statuses.
OK, MISMATCH = 0, 1


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
    payments = payment_source(inputs, args.window)
    # The payments' banks, read once here for the banks whose rows are keyed and again
    # by no one: the run is given them.
    pairs = scan_pairs(payments.bank_pairs())
    used = set(pairs.banks())
    rows = {name: bank_keys(table, inputs.account_columns)
            for name, table in inputs.banks.items() if name in used}
    phases["prepare"] = time.perf_counter() - start

    cluster = None
    with contextlib.ExitStack() as stack:
        runner = None
        if cluster_wanted:
            from .cluster import open_runner
            start = time.perf_counter()
            runner = stack.enter_context(open_runner(args.scheduler, args.local_cluster))
            cluster = runner.description
            phases["cluster start"] = time.perf_counter() - start
        report = run_matching(rows, payments, chunk_size=args.chunk_size, progress=progress,
                              runner=runner, pairs=pairs, window=args.window)
    for name in ("key_gen", "build_okvs", "payments"):
        phases[name if name != "build_okvs" else "stores"] = report.phases[name]

    if output:
        start = time.perf_counter()
        write_table(inputs.payments, args.match_column, report.flags, output,
                    window=args.window)
        phases["write"] = time.perf_counter() - start
        progress.note(f"wrote {output}")
    print_summary(report, phases, time.perf_counter() - began, cluster)
    if data is not None:
        return OK if check_truth(report.flags, data) else MISMATCH
    return OK


def main(argv: Sequence[str] | None = None) -> int:
    parser = build_parser()
    args = parser.parse_args(argv)
    return exit_status(PROGRAM, lambda: run(args))


if __name__ == "__main__":
    sys.exit(main())
