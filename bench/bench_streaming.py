"""Seconds and peak resident memory of the coordinator's and a bank's steps as the
payments grow: query, answer and finish, each run by the `veltrane` command in its own
process, on synthetic banks of --accounts accounts and --payments payments (repeat it).

    python bench/bench_streaming.py --payments 10000 --payments 100000
    python bench/bench_streaming.py --tools /path/to/other/python   # another version

--tools puts another tree's `veltrane_tools` first on the path (the extension module is
the one installed), so two versions can be compared on the same data. The peak is the
step's own (wait4's ru_maxrss), without this script's."""

from __future__ import annotations

import argparse
import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "python"))

from veltrane_tools import synthetic  # noqa: E402

BANKS = 3


def run_step(tools: str, args: list[str], cwd: Path) -> tuple[float, float]:
    """(seconds, peak RSS in MB) of one step as its own process."""
    env = {**os.environ, "PYTHONPATH": tools}
    start = time.perf_counter()
    process = subprocess.Popen([sys.executable, "-m", "veltrane_tools.cli", *args], cwd=cwd,
                               env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(process.pid, 0)
    seconds = time.perf_counter() - start
    process.returncode = os.waitstatus_to_exitcode(status)
    error = process.stderr.read().decode() if process.stderr else ""
    if process.returncode != 0:
        raise SystemExit(f"{args[0]} failed ({process.returncode}): {error}")
    return seconds, usage.ru_maxrss / 1024


def prepare(folder: Path, accounts: int, payments: int, tools: str) -> list[str]:
    """Writes the data, the keys and the stores; returns the bank names."""
    # Made in a process of its own: a child's peak counts the memory of the parent it was
    # forked from, so this one must stay small.
    subprocess.run([sys.executable, "-c", f"from veltrane_tools import synthetic; "
                    f"synthetic.generate(banks={BANKS}, accounts={accounts}, "
                    f"payments={payments}, match_share=0.5, seed=1).write({str(folder)!r})"],
                   env={**os.environ, "PYTHONPATH": str(HERE.parent / "python")}, check=True)
    banks = synthetic.bank_codes(BANKS)
    for name in (*banks, "coordinator"):
        run_step(tools, ["keygen", "--name", name], folder)
    for bank in banks:
        run_step(tools, ["publish", "-q", "--key", f"{bank}.key", "--accounts",
                         str(folder / "banks" / f"{bank}.csv")], folder)
    return banks


def measure(accounts: int, payments: int, tools: str) -> dict[str, tuple[float, float]]:
    with tempfile.TemporaryDirectory(prefix="bench-streaming-") as name:
        folder = Path(name)
        banks = prepare(folder, accounts, payments, tools)
        result = {"query": run_step(tools, [
            "query", "-q", "--key", "coordinator.key", "--payments", "payments.csv",
            *[a for bank in banks for a in ("--store", f"{bank}.vstore")]], folder)}
        answers = [run_step(tools, ["answer", "-q", "--key", f"{bank}.key", "--request",
                                    f"request-{bank}.vreq"], folder) for bank in banks]
        result["answer"] = (sum(s for s, _ in answers), max(m for _, m in answers))
        result["finish"] = run_step(tools, [
            "finish", "-q", "--key", "coordinator.key", "--state", "state.vstate",
            *[a for bank in banks for a in ("--response", f"response-{bank}.vresp")],
            "-o", "matched.csv"], folder)
        return result


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--payments", type=int, action="append",
                        help="payments (repeat; default 10^4 and 10^5)")
    parser.add_argument("--accounts", type=int, default=10_000, help="accounts per bank")
    parser.add_argument("--tools", default=str(HERE.parent / "python"),
                        help="the folder holding the veltrane_tools package to measure")
    args = parser.parse_args()
    print(f"{BANKS} banks of {args.accounts:,} accounts; tools from {args.tools}")
    print(f"{'payments':>10}  {'step':<7} {'seconds':>8} {'peak MB':>8}")
    for payments in args.payments or [10_000, 100_000]:
        for step, (seconds, peak) in measure(args.accounts, payments, args.tools).items():
            print(f"{payments:>10,}  {step:<7} {seconds:8.2f} {peak:8.1f}", flush=True)


if __name__ == "__main__":
    main()
