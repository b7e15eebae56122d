"""Input preparation: the tables read from files become the banks' key rows and the
coordinator's view of the payments, with every problem located by file, row and column."""

from __future__ import annotations

import argparse
import os
from collections.abc import Collection
from dataclasses import dataclass, field

from .errors import UserError
from .plan import Payments, Row
from .protocol import key_of
from .tables import Table, file_kind, read_table


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
    return payment_keys(inputs.payments, inputs.sender_columns, inputs.receiver_columns,
                        inputs.sender_bank_column, inputs.receiver_bank_column,
                        set(inputs.banks))


def payment_keys(table: Table, sender_columns: list[str], receiver_columns: list[str],
                 sender_bank_column: str, receiver_bank_column: str, known: Collection[str],
                 given: str = "the banks given are") -> Payments:
    """The payments' key rows and bank names; a bank outside `known` is an error at its
    row, listing the known ones after `given`."""
    for option, names in (("--sender-columns", sender_columns),
                          ("--receiver-columns", receiver_columns),
                          ("--sender-bank-column", [sender_bank_column]),
                          ("--receiver-bank-column", [receiver_bank_column])):
        table.require(names, option)
    listed = ", ".join(sorted(known))
    banks: list[list[str]] = []
    for name in (sender_bank_column, receiver_bank_column):
        values = table.text(name)
        for index, value in enumerate(values):
            if value not in known:
                raise table.error(index, f"unknown bank {value!r}; {given}: {listed}", name)
        banks.append(values)
    sides: list[list[Row]] = []
    for names in (sender_columns, receiver_columns):
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


