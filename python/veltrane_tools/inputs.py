"""Input preparation: the tables read from files become the banks' key rows and the
coordinator's view of the payments, with every problem located by file, row and column."""

from __future__ import annotations

import argparse
import os
from collections.abc import Collection, Iterator
from dataclasses import dataclass, field

from .errors import UserError
from .plan import DEFAULT_WINDOW, Payments, Row
from .protocol import key_of
from .tables import Table, TableFile, file_kind, open_table, read_table


@dataclass
class Inputs:
    banks: dict[str, Table]
    payments: Table | TableFile
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


def read_bank_keys(path: str, columns: list[str],
                   window: int = DEFAULT_WINDOW) -> Iterator[Row]:
    """A bank's key rows from its account file, read a window at a time, so that a bank
    of any size is never held whole; a bad row is an error when its window is read."""
    source = open_table(path)
    source.require(columns, "--account-columns")
    for table in source.windows(columns, window):
        yield from bank_keys(table, columns)


def payment_view(inputs: Inputs) -> Payments:
    """The payments' banks and key rows, all held in memory."""
    source = payment_source(inputs)
    banks = list(source.bank_pairs())
    senders: list[Row] = []
    receivers: list[Row] = []
    for sender_rows, receiver_rows in source.key_windows(DEFAULT_WINDOW):
        senders += sender_rows
        receivers += receiver_rows
    return Payments(senders, receivers, [s for s, _ in banks], [r for _, r in banks])


def payment_source(inputs: Inputs, window: int = DEFAULT_WINDOW) -> PaymentTable:
    """The payments, read from their table in windows whenever a step needs them."""
    return PaymentTable(inputs.payments, inputs.sender_columns, inputs.receiver_columns,
                        inputs.sender_bank_column, inputs.receiver_bank_column,
                        set(inputs.banks), window=window)


@dataclass
class PaymentTable:
    """The coordinator's view of a payments table (in memory, or a file read window by
    window each time): the bank pair and the key rows of every payment. A bank outside
    `known` is an error at its row, listing the known ones after `given`."""

    table: Table | TableFile
    sender_columns: list[str]
    receiver_columns: list[str]
    sender_bank_column: str
    receiver_bank_column: str
    known: Collection[str]
    given: str = "the banks given are"
    window: int = DEFAULT_WINDOW   # rows read at a time for the banks

    def __post_init__(self) -> None:
        for option, names in (("--sender-columns", self.sender_columns),
                              ("--receiver-columns", self.receiver_columns),
                              ("--sender-bank-column", [self.sender_bank_column]),
                              ("--receiver-bank-column", [self.receiver_bank_column])):
            self.table.require(names, option)

    @property
    def widths(self) -> tuple[int, int]:
        return len(self.sender_columns), len(self.receiver_columns)

    def bank_pairs(self) -> Iterator[tuple[str, str]]:
        listed = ", ".join(sorted(self.known))
        names = (self.sender_bank_column, self.receiver_bank_column)
        for window in self.table.windows(names, self.window):
            banks: list[list[str]] = []
            for name in names:
                values = window.text(name)
                for index, value in enumerate(values):
                    if value not in self.known:
                        raise window.error(index, f"unknown bank {value!r}; {self.given}: "
                                                  f"{listed}", name)
                banks.append(values)
            yield from zip(banks[0], banks[1])

    def key_windows(self, size: int) -> Iterator[tuple[list[Row], list[Row]]]:
        for window in self.table.windows([*self.sender_columns, *self.receiver_columns],
                                         size):
            sides: list[list[Row]] = []
            for names in (self.sender_columns, self.receiver_columns):
                fields = [window.text(name) for name in names]
                sides.append([key_of(row) for row in zip(*fields)])
            yield sides[0], sides[1]


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
    return Inputs(banks, open_table(args.payments), args.account_columns,
                  args.sender_columns, args.receiver_columns, args.sender_bank_column,
                  args.receiver_bank_column)


def default_output(payments_path: str) -> str:
    root, suffix = os.path.splitext(payments_path)
    return f"{root}_matched{suffix}"


