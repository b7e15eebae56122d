"""veltrane: one party's step of the matching protocol, on that party's own machine.

Two banks and a coordinator each keep their own secret key and hand each other files:

  every party   veltrane keygen --name NAME          NAME.key (secret), NAME.pub
  each bank     veltrane publish --key NAME.key ...  NAME.vstore     -> coordinator
  coordinator   veltrane query --key ... --store ... request-BANK.vreq -> each bank,
                                                     state.vstate (kept)
  each bank     veltrane answer --key NAME.key ...   response-NAME.vresp -> coordinator
  coordinator   veltrane finish --key ... --state ... --response ...   the flags

`veltrane inspect FILE...` verifies exchanged files and shows what they hold.
"""

from __future__ import annotations

import argparse
import contextlib
import os
import sys
from collections.abc import Callable, Iterator, Sequence
from typing import Any

from . import synthetic
from .answer import DEFAULT_POINTS_PER_CHUNK, answer
from .container import describe, file_digest
from .errors import USAGE, UserError, exit_status, printable
from .finish import finish
from .inputs import PaymentTable, default_output, read_bank_keys
from .keys import (SecretKey, check_name, generate, load_public_key, load_secret_key,
                   write_key_pair)
from .match_args import (add_cluster_options, add_payment_columns, add_window, columns_option,
                         positive)
from .plan import DEFAULT_CHUNK_SIZE, Row
from .progress import Progress
from .publish import publish
from .query import query
from .runner import LocalRunner
from .state_file import recorded_payments
from .store_file import Store, read_store
from .tables import check_output, file_kind, open_table, read_table, write_table

PROGRAM = ("veltrane" if os.path.basename(sys.argv[0]) == "veltrane"
           else "python -m veltrane_tools.cli")

OK = 0


def party_name(text: str) -> str:
    try:
        return check_name(text)
    except ValueError as error:
        raise argparse.ArgumentTypeError(str(error)) from None


def add_common(parser: argparse.ArgumentParser) -> None:
    parser.add_argument("--quiet", "-q", action="store_true", help="no progress bars")


def add_key(parser: argparse.ArgumentParser, whose: str) -> None:
    parser.add_argument("--key", required=True, metavar="PATH",
                        help=f"{whose} secret-key file (from keygen; must be mode 0600)")


def build_parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(prog=PROGRAM, description=__doc__.split("\n\n", 1)[1],
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    steps = parser.add_subparsers(dest="step", required=True, metavar="STEP")

    keygen = steps.add_parser("keygen", help="make a key pair: a secret-key and a public-key "
                                             "file", description=run_keygen.__doc__)
    keygen.add_argument("--name", required=True, type=party_name,
                        help="the party's name: for a bank, how the payments name it")
    keygen.add_argument("--secret-key", metavar="PATH", help="default: NAME.key")
    keygen.add_argument("--public-key", metavar="PATH", help="default: NAME.pub")
    keygen.add_argument("--force", action="store_true",
                        help="replace existing key files (the old secret key is lost)")
    keygen.set_defaults(run=run_keygen)

    pub = steps.add_parser("publish", help="bank: account table -> store file",
                           description=run_publish.__doc__)
    add_key(pub, "the bank's")
    pub.add_argument("--accounts", required=True, metavar="PATH",
                     help="the bank's account table (CSV or Parquet)")
    pub.add_argument("--account-columns", type=columns_option,
                     default=",".join(synthetic.ACCOUNT_KEY), metavar="COL[,COL...]",
                     help="columns that form an account's key (default: %(default)s)")
    pub.add_argument("--output", "-o", metavar="PATH", help="default: NAME.vstore")
    add_common(pub)
    pub.set_defaults(run=run_publish)

    ask = steps.add_parser("query", help="coordinator: payments and stores -> one request "
                                         "per bank and a state file",
                           description=run_query.__doc__)
    add_key(ask, "the coordinator's")
    ask.add_argument("--payments", required=True, metavar="PATH",
                     help="the payment table (CSV or Parquet)")
    ask.add_argument("--store", action="append", required=True, metavar="PATH",
                     help="a bank's store file (repeat for every bank)")
    ask.add_argument("--public-key", action="append", default=[], metavar="PATH",
                     help="a bank's public-key file: its store must carry this key")
    add_payment_columns(ask)
    ask.add_argument("--out-dir", default=".", metavar="DIR",
                     help="where the request files go (default: the current folder)")
    ask.add_argument("--state", metavar="PATH", help="default: DIR/state.vstate")
    ask.add_argument("--chunk-size", type=positive, default=DEFAULT_CHUNK_SIZE, metavar="N",
                     help="payments per chunk (default: %(default)s)")
    add_window(ask)
    add_cluster_options(ask, "the query chunks")
    add_common(ask)
    ask.set_defaults(run=run_query)

    reply = steps.add_parser("answer", help="bank: request file -> response file",
                             description=run_answer.__doc__)
    add_key(reply, "the bank's")
    reply.add_argument("--request", required=True, metavar="PATH",
                       help="the request file the coordinator sent")
    reply.add_argument("--output", "-o", metavar="PATH",
                       help="default: response-NAME.vresp beside the request")
    reply.add_argument("--chunk-size", type=positive, default=DEFAULT_POINTS_PER_CHUNK,
                       metavar="N", help="points per decrypt call (default: %(default)s)")
    add_common(reply)
    reply.set_defaults(run=run_answer)

    end = steps.add_parser("finish", help="coordinator: state and responses -> the "
                                          "payments with the result column",
                           description=run_finish.__doc__)
    add_key(end, "the coordinator's")
    end.add_argument("--state", required=True, metavar="PATH", help="the run's state file")
    end.add_argument("--response", action="append", required=True, metavar="PATH",
                     help="a bank's response file (repeat for every bank of the run)")
    end.add_argument("--payments", metavar="PATH",
                     help="the payment table the run was made from (default: the path the "
                          "state file records; it must be the same file)")
    end.add_argument("--output", "-o", metavar="PATH",
                     help="default: <payments>_matched.<suffix> beside the payments")
    end.add_argument("--match-column", default="matched", metavar="NAME",
                     help="name of the added boolean column (default: %(default)s)")
    end.add_argument("--chunk-size", type=positive, default=DEFAULT_CHUNK_SIZE, metavar="N",
                     help="payments per finish call (default: %(default)s)")
    add_window(end)
    add_common(end)
    end.set_defaults(run=run_finish)

    show = steps.add_parser("inspect", help="verify files and show their headers",
                            description=run_inspect.__doc__)
    show.add_argument("files", nargs="+", metavar="FILE")
    show.set_defaults(run=run_inspect)
    return parser


def run_keygen(args: argparse.Namespace) -> int:
    """Makes a key pair: the secret-key file (mode 0600; it never leaves this machine)
    and the public-key file. Prints the fingerprint to compare out of band."""
    secret_path = args.secret_key or f"{args.name}.key"
    public_path = args.public_key or f"{args.name}.pub"
    for path in (secret_path, public_path):
        if os.path.isdir(path):
            raise UserError(f"{path}: is a directory; give the path of a file")
    if not args.force:
        for path in (secret_path, public_path):
            if os.path.lexists(path):
                raise UserError(f"{path}: already exists; it is not overwritten (use --force "
                                f"to replace it)")
    key = generate(args.name)
    write_key_pair(key, secret_path, public_path, force=args.force)
    print(f"secret key   {secret_path} (mode 0600: keep it on this machine)")
    print(f"public key   {public_path}")
    print(f"fingerprint  {key.name} {key.fingerprint}")
    return OK


def run_publish(args: argparse.Namespace) -> int:
    """The bank's step: builds its store from its account table, for the coordinator."""
    key = load_secret_key(args.key)
    output = args.output or f"{key.name}.vstore"
    file_kind(args.accounts)
    ensure_folder(output)
    read = 0

    def rows() -> Iterator[Row]:
        nonlocal read
        for row in read_bank_keys(args.accounts, args.account_columns):
            read += 1
            yield row

    digest = publish(key, rows(), output, columns=len(args.account_columns),
                     progress=Progress(enabled=not args.quiet))
    print(f"store        {output}: bank {key.name}, {read:,} rows, key "
          f"{key.fingerprint}")
    print(f"sha256       {digest}")
    print(f"next         send {output} to the coordinator")
    return OK


def run_query(args: argparse.Namespace) -> int:
    """The coordinator's step: one request file per bank named by the payments (send it
    to that bank) and the run's state file (keep it: it never leaves the coordinator)."""
    key = load_secret_key(args.key)
    progress = Progress(enabled=not args.quiet)
    if not os.path.isdir(args.out_dir):
        raise UserError(f"{args.out_dir}: no such folder (--out-dir)")
    if args.state:
        ensure_folder(args.state)
    with contextlib.ExitStack() as stack:
        stores = read_stores(args.store, args.public_key, stack)
        table = open_table(args.payments)
        payments = PaymentTable(table, args.sender_columns, args.receiver_columns,
                                args.sender_bank_column, args.receiver_bank_column,
                                set(stores), "the stores given are for", args.window)
        if len(args.sender_columns) != len(args.receiver_columns):
            raise UserError(f"--sender-columns names {len(args.sender_columns)} column(s) "
                            f"but --receiver-columns {len(args.receiver_columns)}")
        source = {"path": os.path.abspath(args.payments),
                  "sha256": file_digest(args.payments)}
        runner: Any = LocalRunner()
        if args.scheduler or args.local_cluster:
            from .cluster import open_runner
            runner = stack.enter_context(open_runner(args.scheduler, args.local_cluster))
        result = query(payments, stores, key, args.out_dir, state_path=args.state,
                       runner=runner, chunk_size=args.chunk_size, progress=progress,
                       source=source, window=args.window)
    print(f"run          {result.run}: {result.plan.payments:,} payments, "
          f"{len(result.plan.chunks)} chunk(s) over {result.plan.pairs} bank pair(s), {runner.description}")
    # Bank names come from the stores, that is from the banks: printed escaped.
    for bank, path in result.requests.items():
        print(printable(f"request      {path}: send to bank {bank} "
                        f"({stores[bank].bank.fingerprint}), "
                        f"{result.plan.sender_counts.get(bank, 0):,} sender and "
                        f"{result.plan.receiver_counts.get(bank, 0):,} receiver points"))
    unused = sorted(set(stores) - set(result.requests))
    if unused:
        print(printable(f"unused       not named by any payment: {', '.join(unused)}"))
    print(f"state        {result.state}: keep it here for finish")
    return OK


def read_stores(paths: Sequence[str], public_keys: Sequence[str],
                stack: contextlib.ExitStack) -> dict[str, Store]:
    """The stores, each unmapped when `stack` closes."""
    stores: dict[str, Store] = {}
    for path in paths:
        store = read_store(path)
        stack.callback(store.close)
        if store.bank.name in stores:
            raise UserError(f"{path}: a second store for bank {store.bank.name!r} (the first "
                            f"is {stores[store.bank.name].path})")
        stores[store.bank.name] = store
    for path in public_keys:
        known = load_public_key(path)
        given = stores.get(known.name)
        if given is None:
            raise UserError(f"{path}: no store given for bank {known.name!r}")
        if given.bank.fingerprint != known.fingerprint:
            raise UserError(f"{given.path}: wrong key: the store carries key "
                            f"{given.bank.fingerprint}, but {path} is {known.fingerprint}")
    return stores


def run_answer(args: argparse.Namespace) -> int:
    """The bank's step: decrypts the lists of a request file with its secret key, for the
    coordinator. The bank learns nothing about the payments behind them."""
    key = load_secret_key(args.key)
    output = args.output or os.path.join(os.path.dirname(args.request),
                                         f"response-{key.name}.vresp")
    ensure_folder(output)
    digest = answer(args.request, key, output, chunk_size=args.chunk_size,
                    progress=Progress(enabled=not args.quiet))
    print(f"response     {output}: bank {key.name}")
    print(f"sha256       {digest}")
    print(f"next         send {output} to the coordinator")
    return OK


def run_finish(args: argparse.Namespace) -> int:
    """The coordinator's last step: the run's state and every bank's response give one
    flag per payment, written as a column added to the payments table."""
    key = load_secret_key(args.key)
    progress = Progress(enabled=not args.quiet)
    # Everything that can be refused is checked before the long step.
    recorded = recorded_payments(args.state)
    payments = args.payments or recorded.get("path")
    if not payments:
        raise UserError(f"{args.state}: records no payments file; give it with --payments")
    output = args.output or default_output(payments)
    check_output(output)
    if recorded.get("sha256") and file_digest(payments) != recorded["sha256"]:
        raise UserError(f"{payments}: not the payments file this run was made from (its "
                        f"SHA-256 differs from the one {args.state} records)")
    table = open_table(payments)
    if args.match_column in table.columns:
        raise UserError(f"{payments}: already has a column {args.match_column!r}; choose "
                        f"another name for the result with --match-column")
    result = finish(args.state, args.response, key, chunk_size=args.chunk_size,
                    progress=progress)
    # The payments are read again as the output is written; one of another length (when
    # the state records no digest) is refused there, and the output is not left.
    write_table(table, args.match_column, result.flags, output, window=args.window)
    matches = result.flags.count(True)
    print(f"payments     {len(result.flags):,}, of which {matches:,} match and "
          f"{len(result.flags) - matches:,} do not (run {result.run})")
    print(f"output       {output}")
    return OK


def run_inspect(args: argparse.Namespace) -> int:
    """Verifies each file (layout, version, length, SHA-256) and prints its header."""
    status = OK
    for path in args.files:
        try:
            header = describe(path)
        except UserError as error:
            print(f"{PROGRAM} inspect: error: {printable(str(error))}", file=sys.stderr)
            status = USAGE
            continue
        # Every value comes from the file, perhaps from a peer: escaped before printing.
        header.pop("format", None)
        sections = header.pop("sections", [])
        print(printable(f"{path}: {header.pop('kind')} file, verified"))
        for name, value in sorted(header.items()):
            if name not in ("segments", "banks"):
                print(printable(f"  {name}: {value}"))
        for name in ("banks", "segments"):
            if name in header:
                print(printable(f"  {name}: {header[name]}"))
        print(printable("  sections: " + ", ".join(
            f"{s['name']} {s['items']:,} x {s['size']:,} bytes" for s in sections)))
    return status


def ensure_folder(path: str) -> None:
    folder = os.path.dirname(os.path.abspath(path))
    if not os.path.isdir(folder):
        raise UserError(f"{path}: the directory {folder} does not exist")


def main(argv: Sequence[str] | None = None) -> int:
    parser = build_parser()
    args = parser.parse_args(argv)
    step: Callable[[argparse.Namespace], int] = args.run
    return exit_status(f"{PROGRAM} {args.step}", lambda: step(args),
                       interrupted="interrupted; no output was written")


if __name__ == "__main__":
    sys.exit(main())
