"""Helpers for the driver tests: the source tree's tools package and small data sets."""

from __future__ import annotations

import csv
import os
import subprocess
import sys
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[2]
PYTHON_DIR = REPO / "python"
# The package under test is the one in this tree, whether or not the wheel is installed.
sys.path.insert(0, str(PYTHON_DIR))

from veltrane_tools import match, synthetic  # noqa: E402


def run_main(args: list[str], capsys: pytest.CaptureFixture[str]) -> tuple[int, str, str]:
    """Runs the command in this process: (exit status, stdout, stderr)."""
    status = match.main(["--quiet", *args])
    out, err = capsys.readouterr()
    return status, out, err


def run_command(args: list[str], cwd: Path, timeout: float = 120) -> subprocess.CompletedProcess:
    """Runs `python -m veltrane_tools.match` as a user would."""
    env = {**os.environ, "PYTHONPATH": str(PYTHON_DIR)}
    return subprocess.run([sys.executable, "-m", "veltrane_tools.match", *args], cwd=cwd,
                          capture_output=True, text=True, timeout=timeout, env=env)


def small_data(seed: int = 7, banks: int = 3, accounts: int = 300,
               payments: int = 400) -> synthetic.SyntheticData:
    return synthetic.generate(banks=banks, accounts=accounts, payments=payments,
                              match_share=0.5, seed=seed)


def write_inputs(data: synthetic.SyntheticData, directory: Path) -> list[str]:
    """Writes the data set as CSV; returns the command's input arguments."""
    data.write(str(directory))
    args = []
    for code in data.banks:
        args += ["--bank", f"{code}={directory / 'banks' / f'{code}.csv'}"]
    return [*args, "--payments", str(directory / "payments.csv")]


def read_flags(path: Path, column: str = "matched") -> list[bool]:
    if path.suffix == ".parquet":
        import pyarrow.parquet as pq
        return pq.read_table(path).column(column).to_pylist()
    with open(path, newline="", encoding="utf-8") as stream:
        return [row[column] == "true" for row in csv.DictReader(stream)]


def write_csv(path: Path, text: str) -> Path:
    path.write_text(text, encoding="utf-8")
    return path


def views(data: synthetic.SyntheticData):
    """The banks' key rows and the coordinator's payments, as the driver prepares them."""
    inputs = match.Inputs(data.banks, data.payments, synthetic.ACCOUNT_KEY,
                          synthetic.SENDER_COLUMNS, synthetic.RECEIVER_COLUMNS,
                          synthetic.SENDER_BANK_COLUMN, synthetic.RECEIVER_BANK_COLUMN)
    rows = {name: match.bank_keys(table, synthetic.ACCOUNT_KEY)
            for name, table in data.banks.items()}
    return rows, match.payment_view(inputs)
