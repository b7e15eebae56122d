"""Helpers for the driver tests: the source tree's tools package, small data sets, and a
check that the module can run the protocol (tests that need it skip until it can)."""

from __future__ import annotations

import csv
import functools
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


@functools.lru_cache(maxsize=None)
def module_problem() -> str | None:
    """Why the module cannot run the protocol yet, or None when it can."""
    import veltrane as v
    try:
        (pk, sk), (cpk, csk) = v.key_gen(), v.key_gen()
        store = v.build_okvs(pk, [["a"]])
        queries = v.initiate_queries([["a"]], [["a"]], store, store, cpk)
        s, r, g, d = v.combine(v.randomize(queries), v.randomize(queries))
        v.finish(v.decrypt(s, sk), v.decrypt(r, sk), g, d, csk)
    except NotImplementedError as error:
        return f"the veltrane module is not complete yet: {error}"
    return None


@pytest.fixture
def working_module() -> None:
    problem = module_problem()
    if problem:
        pytest.skip(problem)


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
