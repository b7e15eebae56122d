"""A synthetic data set whose answers are known: banks, their accounts and payments.

Accounts are (IBAN, holder name) pairs with valid check digits; a payment names a debtor
and a creditor account with the holders' names and banks. A chosen share of the payments
match (both accounts held, under those names, by the banks named); every other payment
has one fault, drawn from: an account number the bank does not hold, a holder name that
is not the account's, or an account claimed at another bank.
"""

from __future__ import annotations

import os
import random
from dataclasses import dataclass

from .tables import Table, memory_table, write_csv

ACCOUNT_COLUMNS = ["iban", "holder", "branch", "opened"]
ACCOUNT_KEY = ["iban", "holder"]
PAYMENT_COLUMNS = ["payment_id", "debtor_bank", "debtor_iban", "debtor_name", "creditor_bank",
                   "creditor_iban", "creditor_name", "amount", "currency", "value_date"]
SENDER_COLUMNS = ["debtor_iban", "debtor_name"]
RECEIVER_COLUMNS = ["creditor_iban", "creditor_name"]
SENDER_BANK_COLUMN = "debtor_bank"
RECEIVER_BANK_COLUMN = "creditor_bank"

BANK_CODES = ["ABNA", "BUNQ", "INGB", "KNAB", "RABO", "SNSB", "TRIO", "ASNB", "RBRB", "FVLB",
              "HAND", "NWAB"]
FIRST = ["Anna", "Bram", "Chloe", "Daan", "Emma", "Finn", "Gijs", "Hanna", "Iris", "Jan",
         "Julia", "Lars", "Lotte", "Milan", "Noor", "Olivier", "Pien", "Ruben", "Sara", "Sem",
         "Tess", "Thijs", "Vera", "Wouter", "Yara", "Zoë", "Amir", "Fatima", "Mehmet",
         "Priya", "Chen", "Sofia", "Lucas", "Mila", "Noah", "Eva"]
LAST = ["de Jong", "Jansen", "de Vries", "van den Berg", "van Dijk", "Bakker", "Janssen",
        "Visser", "Smit", "Meijer", "de Boer", "Mulder", "de Groot", "Bos", "Vos", "Peters",
        "Hendriks", "van Leeuwen", "Dekker", "Brouwer", "de Wit", "Dijkstra", "Smits",
        "de Graaf", "van der Meer", "Kok", "Jacobs", "Vermeulen", "Yılmaz", "El Amrani",
        "Nguyen", "Kowalski", "Novak", "Ferreira", "Rossi", "Müller"]
BRANCHES = ["Amsterdam", "Rotterdam", "Utrecht", "Den Haag", "Eindhoven", "Groningen",
            "Tilburg", "Almere", "Breda", "Nijmegen"]
FAULTS = ("unknown debtor account", "unknown creditor account", "debtor name differs",
          "creditor name differs", "creditor account at another bank")


def bank_codes(count: int) -> list[str]:
    if count <= len(BANK_CODES):
        return BANK_CODES[:count]
    return [f"B{i:03d}" for i in range(count)]


def iban(bank: str, number: int) -> str:
    """An IBAN in the Dutch layout (NLkk BBBB nnnnnnnnnn) with valid check digits."""
    bban = f"{bank}{number:010d}"
    digits = "".join(str(int(c, 36)) for c in bban + "NL") + "00"
    return f"NL{98 - int(digits) % 97:02d}{bban}"


@dataclass
class SyntheticData:
    seed: int
    banks: dict[str, Table]
    payments: Table
    truth: list[bool]
    faults: list[str]  # the fault of each non-matching payment, "" for a match

    def write(self, directory: str) -> list[str]:
        """Writes banks/<code>.csv, payments.csv and expected.csv; returns the paths."""
        os.makedirs(os.path.join(directory, "banks"), exist_ok=True)
        paths = []
        for code, table in self.banks.items():
            path = os.path.join(directory, "banks", f"{code}.csv")
            write_csv(path, table.columns, table.rows or [])
            paths.append(path)
        path = os.path.join(directory, "payments.csv")
        write_csv(path, self.payments.columns, self.payments.rows or [])
        paths.append(path)
        path = os.path.join(directory, "expected.csv")
        ids = self.payments.raw("payment_id")
        write_csv(path, ["payment_id", "expected", "fault"],
                  ([i, "true" if t else "false", f] for i, t, f in
                   zip(ids, self.truth, self.faults)))
        paths.append(path)
        return paths


def generate(*, banks: int, accounts: int, payments: int, match_share: float,
             seed: int) -> SyntheticData:
    """`banks` banks of `accounts` accounts each and `payments` payments, of which
    round(payments * match_share) match."""
    rng = random.Random(seed)
    codes = bank_codes(banks)
    numbers = rng.sample(range(10**10), banks * accounts + 2 * payments)
    spare = iter(numbers[banks * accounts:])

    tables: dict[str, Table] = {}
    held: dict[str, list[tuple[str, str]]] = {}
    for position, code in enumerate(codes):
        rows = []
        for number in numbers[position * accounts:(position + 1) * accounts]:
            account = iban(code, number)
            holder = f"{rng.choice(FIRST)} {rng.choice(LAST)}"
            rows.append([account, holder, rng.choice(BRANCHES),
                         f"{rng.randint(1985, 2024)}-{rng.randint(1, 12):02d}-"
                         f"{rng.randint(1, 28):02d}"])
        tables[code] = memory_table(f"bank {code} (synthetic)", ACCOUNT_COLUMNS, rows)
        held[code] = [(row[0], row[1]) for row in rows]

    matches = round(payments * match_share)
    kinds = [True] * matches + [False] * (payments - matches)
    rng.shuffle(kinds)
    faults = [f for f in FAULTS if banks > 1 or f != "creditor account at another bank"]

    rows, truth, why = [], [], []
    for index, matching in enumerate(kinds):
        debtor_bank, creditor_bank = rng.choice(codes), rng.choice(codes)
        debtor = list(rng.choice(held[debtor_bank]))
        creditor = list(rng.choice(held[creditor_bank]))
        fault = "" if matching else rng.choice(faults)
        if fault == "unknown debtor account":
            debtor[0] = iban(debtor_bank, next(spare))
        elif fault == "unknown creditor account":
            creditor[0] = iban(creditor_bank, next(spare))
        elif fault == "debtor name differs":
            debtor[1] = _other_name(rng, debtor[1])
        elif fault == "creditor name differs":
            creditor[1] = _other_name(rng, creditor[1])
        elif fault == "creditor account at another bank":
            creditor_bank = rng.choice([c for c in codes if c != creditor_bank])
        rows.append([f"P{index + 1:09d}", debtor_bank, debtor[0], debtor[1], creditor_bank,
                     creditor[0], creditor[1], f"{rng.randint(100, 500000) / 100:.2f}", "EUR",
                     f"2025-{rng.randint(1, 12):02d}-{rng.randint(1, 28):02d}"])
        truth.append(matching)
        why.append(fault)
    return SyntheticData(seed=seed, banks=tables,
                         payments=memory_table("payments (synthetic)", PAYMENT_COLUMNS, rows),
                         truth=truth, faults=why)


def _other_name(rng: random.Random, name: str) -> str:
    while True:
        other = f"{rng.choice(FIRST)} {rng.choice(LAST)}"
        if other != name:
            return other
