"""What veltrane-match prints when it is done: the summary and the check of synthetic runs."""

from __future__ import annotations

import sys
from collections.abc import Sequence
from typing import Any

from . import synthetic
from .matching import MatchReport
from .protocol import STEPS


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
    where = "  (query steps: seconds summed over the workers)" if cluster else ""
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


