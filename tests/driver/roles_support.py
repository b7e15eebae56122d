"""Helpers for the role-step tests: the `veltrane` command, a finished small run to
tamper with, and a way to remake an exchanged file with chosen changes."""

from __future__ import annotations

import hashlib
import os
import shutil
import struct
import subprocess
import sys
from pathlib import Path

import pytest

from driver_support import PYTHON_DIR, small_data
from veltrane_tools import cli, container, synthetic

BANKS = ("ABNA", "BUNQ")


def veltrane(args: list[str], cwd: Path, timeout: float = 120) -> subprocess.CompletedProcess:
    """Runs one step as its own process, as a party would on its machine."""
    env = {**os.environ, "PYTHONPATH": str(PYTHON_DIR)}
    return subprocess.run([sys.executable, "-m", "veltrane_tools.cli", *args], cwd=cwd,
                          capture_output=True, text=True, timeout=timeout, env=env)


def step(args: list[str], cwd: Path, capsys: pytest.CaptureFixture[str]) -> tuple[int, str]:
    """Runs one step in this process (fast, for the refusals): (status, stderr)."""
    here = os.getcwd()
    os.chdir(cwd)
    try:
        status = cli.main([*args[:1], "--quiet", *args[1:]] if args[0] not in
                          ("keygen", "inspect") else args)
    finally:
        os.chdir(here)
    return status, capsys.readouterr().err


def make_parties(folder: Path, data: synthetic.SyntheticData, banks: tuple[str, ...]) -> None:
    """The data's tables in one folder, a key pair for every party and a store per bank."""
    data.write(str(folder))
    for name in (*banks, "coordinator"):
        assert cli.main(["keygen", "--name", name, "--secret-key", str(folder / f"{name}.key"),
                         "--public-key", str(folder / f"{name}.pub")]) == 0
    for bank in banks:
        assert cli.main(["publish", "-q", "--key", str(folder / f"{bank}.key"), "--accounts",
                         str(folder / "banks" / f"{bank}.csv"),
                         "-o", str(folder / f"{bank}.vstore")]) == 0


def make_run(folder: Path, seed: int = 3, payments: int = 90) -> synthetic.SyntheticData:
    """A complete small run in one folder: keys, stores, requests, state, responses."""
    data = small_data(seed=seed, banks=2, accounts=60, payments=payments)
    make_parties(folder, data, BANKS)
    assert cli.main(["query", "-q", "--key", str(folder / "coordinator.key"), "--payments",
                     str(folder / "payments.csv"), "--out-dir", str(folder),
                     *[arg for bank in BANKS for arg in ("--store", str(folder / f"{bank}.vstore"))],
                     "--chunk-size", "20"]) == 0
    for bank in BANKS:
        assert cli.main(["answer", "-q", "--key", str(folder / f"{bank}.key"), "--request",
                         str(folder / f"request-{bank}.vreq")]) == 0
    return data


def copy_run(source: Path, target: Path) -> Path:
    shutil.copytree(source, target, dirs_exist_ok=True)
    for name in (*BANKS, "coordinator"):
        os.chmod(target / f"{name}.key", 0o600)
    return target


def finish_args(folder: Path, *responses: str) -> list[str]:
    chosen = responses or tuple(f"response-{bank}.vresp" for bank in BANKS)
    return ["finish", "--key", str(folder / "coordinator.key"), "--state",
            str(folder / "state.vstate"), *[a for r in chosen for a in ("--response", r)],
            "-o", str(folder / "out.csv")]


def remake(path: Path, *, version: int | None = None, header: dict | None = None,
           drop_last: str | None = None) -> None:
    """Rewrites a valid file with a changed version, header fields, or one item fewer in
    a section, and a correct digest: what a wrong (not a damaged) file looks like."""
    with container.open_container(str(path), None) as file:
        fields = {k: v for k, v in file.header.items() if k not in ("format", "kind",
                                                                   "sections")}
        kind = file.header["kind"]
        parts = {name: (file.items(name), size, file.read(name))
                 for name, (_, _, size) in file.sections.items()}
    if drop_last:
        items, size, data = parts[drop_last]
        parts[drop_last] = (items - 1, size, data[:-size])
    fields.update(header or {})
    os.unlink(path)
    with container.ContainerWriter(str(path), kind,
                                   [(n, i, s) for n, (i, s, _) in parts.items()]) as out:
        for name, (_, _, data) in parts.items():
            out.write(name, 0, data)
        out.header = fields
    if version is not None:
        raw = bytearray(path.read_bytes())
        raw[8:12] = struct.pack("<I", version)
        raw[-32:] = hashlib.sha256(bytes(raw[:-32])).digest()
        path.write_bytes(bytes(raw))


def leftovers(folder: Path) -> list[str]:
    """Temporary files an interrupted or refused step would have left behind."""
    return sorted(p.name for p in folder.iterdir() if p.name.endswith(".part"))


def refused(run: Path, args: list[str], output: str, capsys: pytest.CaptureFixture[str],
            *expected: str) -> str:
    """Runs a step that must refuse: status 2, one line holding every `expected` part,
    no output and no temporary file left. Returns the line."""
    status, err = step(args, run, capsys)
    assert status == 2, err
    lines = err.strip().splitlines()
    assert len(lines) == 1, err
    for part in expected:
        assert part in lines[0], lines[0]
    assert not (run / output).exists()
    assert leftovers(run) == []
    return lines[0]


# Fixtures of the tests that tamper with a run: one finished small run per module, copied
# afresh for every test. A test module takes them by importing both names.
@pytest.fixture(scope="module")
def base(tmp_path_factory: pytest.TempPathFactory) -> Path:
    folder = tmp_path_factory.mktemp("run")
    make_run(folder)
    return folder


@pytest.fixture
def run(base: Path, tmp_path: Path) -> Path:
    return copy_run(base, tmp_path / "run")
