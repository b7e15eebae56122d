"""The five steps at scale, through the `veltrane` command, each as its own process:
seconds and peak RSS per step, and the cost per payment.

Generates two banks of N accounts each and M payments between them (about half of
every side's lookups present, each payment's expected flag known), writes them as CSV,
and runs keygen, publish (both banks), query, answer (both banks) and finish in a
scratch folder, checking the flags against the expected ones at the end. Peak RSS is
the process's own maximum resident set (os.wait4), which counts the pages of a mapped
store it touched.

    python bench/bench_scale.py --accounts 10000 --payments 100000 [--folder DIR]
                                [--chunk-size N] [--keep] [--tools DIR]

Several sizes in one go: --accounts and --payments take comma-separated lists and every
combination runs, smallest first. --tools puts another tree's `veltrane_tools` first on
the path (the extension module is the one installed), to compare two versions on the
same data. The data is made by a process of its own: a child's peak counts the memory
of the parent it was forked from, so this script stays small.
"""

from __future__ import annotations

import argparse
import csv
import itertools
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

BANKS = ("ABNA", "INGB")
ABSENT_SHARE = 0.3   # of each side's lookups: with both sides, about half the payments fail
BATCH = 100_000
TOOLS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "python")


def account(bank: str, number: int) -> tuple[str, str]:
    return f"NL00{bank}{number:010d}", f"Holder {number * 7919 % 1_000_003}"


def write_banks(folder: str, accounts: int) -> None:
    for bank in BANKS:
        with open(os.path.join(folder, f"{bank}.csv"), "w", encoding="utf-8") as out:
            out.write("iban,holder\n")
            for start in range(0, accounts, BATCH):
                out.write("".join("%s,%s\n" % account(bank, n)
                                  for n in range(start, min(accounts, start + BATCH))))


def write_payments(folder: str, accounts: int, payments: int, seed: int = 1) -> int:
    """Writes payments.csv; returns how many payments should match."""
    rng = random.Random(seed)
    span = int(accounts / (1 - ABSENT_SHARE))
    matches = 0
    with open(os.path.join(folder, "payments.csv"), "w", encoding="utf-8") as out:
        out.write("payment_id,debtor_bank,debtor_iban,debtor_name,creditor_bank,"
                  "creditor_iban,creditor_name\n")
        for start in range(0, payments, BATCH):
            lines = []
            for p in range(start, min(payments, start + BATCH)):
                sender, receiver = BANKS if p % 2 else BANKS[::-1]
                s, r = rng.randrange(span), rng.randrange(span)
                matches += s < accounts and r < accounts
                lines.append("P%d,%s,%s,%s,%s,%s,%s\n" % (p, sender, *account(sender, s),
                                                          receiver, *account(receiver, r)))
            out.write("".join(lines))
    return matches


def run(step: str, args: list[str], folder: str, tools: str) -> tuple[float, int]:
    """Seconds and peak RSS (bytes) of one `veltrane` step in its own process."""
    start = time.perf_counter()
    process = subprocess.Popen([sys.executable, "-m", "veltrane_tools.cli", step, *args],
                               cwd=folder, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                               env={**os.environ, "PYTHONPATH": tools})
    _, status, usage = os.wait4(process.pid, 0)
    seconds = time.perf_counter() - start
    error = process.stderr.read().decode() if process.stderr else ""
    process.returncode = os.waitstatus_to_exitcode(status)
    if process.returncode:
        raise SystemExit(f"{step} failed with status {process.returncode}: {error}")
    return seconds, usage.ru_maxrss * 1024


def count_matches(path: str) -> int:
    with open(path, newline="", encoding="utf-8") as stream:
        return sum(row["matched"] == "true" for row in csv.DictReader(stream))


def generate(folder: str, accounts: int, payments: int) -> int:
    """Writes the data in a child process; returns the expected number of matches."""
    made = subprocess.run([sys.executable, __file__, "--generate", folder, str(accounts),
                           str(payments)], check=True, capture_output=True, text=True)
    return int(made.stdout)


def one_size(folder: str, accounts: int, payments: int, chunk: int,
             tools: str) -> list[tuple]:
    expected = generate(folder, accounts, payments)
    for name in (*BANKS, "coordinator"):
        run("keygen", ["--name", name], folder, tools)
    rows = []

    def timed(step: str, label: str, items: int, args: list[str]) -> None:
        seconds, peak = run(step, ["-q", *args], folder, tools)
        rows.append((label, accounts, payments, seconds, peak, 1e6 * seconds / items))

    for bank in BANKS:
        timed("publish", f"publish {bank}", accounts,
              ["--key", f"{bank}.key", "--accounts", f"{bank}.csv"])
    stores = [a for bank in BANKS for a in ("--store", f"{bank}.vstore")]
    timed("query", "query", payments, ["--key", "coordinator.key", "--payments",
                                       "payments.csv", "--chunk-size", str(chunk), *stores])
    for bank in BANKS:
        timed("answer", f"answer {bank}", payments,
              ["--key", f"{bank}.key", "--request", f"request-{bank}.vreq"])
    timed("finish", "finish", payments,
          ["--key", "coordinator.key", "--state", "state.vstate",
           *[a for bank in BANKS for a in ("--response", f"response-{bank}.vresp")],
           "-o", "out.csv"])
    found = count_matches(os.path.join(folder, "out.csv"))
    if found != expected:
        raise SystemExit(f"{found} payments matched where {expected} should")
    return rows


def main() -> None:
    if sys.argv[1:2] == ["--generate"]:
        folder, accounts, payments = sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
        write_banks(folder, accounts)
        print(write_payments(folder, accounts, payments))
        return
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--accounts", default="10000", help="N per bank (comma-separated)")
    parser.add_argument("--payments", default="100000", help="M (comma-separated)")
    parser.add_argument("--chunk-size", type=int, default=16384)
    parser.add_argument("--folder", help="scratch folder (default: a temporary one)")
    parser.add_argument("--keep", action="store_true", help="keep the scratch files")
    parser.add_argument("--tools", default=TOOLS,
                        help="the folder holding the veltrane_tools package to measure")
    args = parser.parse_args()
    sizes = sorted(itertools.product(map(int, args.accounts.split(",")),
                                     map(int, args.payments.split(","))))
    print(f"{'step':<14}{'N':>12}{'M':>12}{'seconds':>10}{'peak RSS':>12}"
          f"{'µs/item':>10}   (items: rows for publish, payments otherwise)")
    for accounts, payments in sizes:
        folder = args.folder or tempfile.mkdtemp(prefix="veltrane-scale-")
        os.makedirs(folder, exist_ok=True)
        try:
            for label, n, m, seconds, peak, per in one_size(folder, accounts, payments,
                                                            args.chunk_size, args.tools):
                print(f"{label:<14}{n:>12,}{m:>12,}{seconds:>10.1f}"
                      f"{peak / 2**20:>9,.0f} MB{per:>10.2f}", flush=True)
        finally:
            if not args.keep:
                shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
