"""Two banks and a coordinator, each in its own folder with its own key, each step its
own process, handing each other only the exchanged files; and a run interrupted between
or inside steps, resumed from its files."""

from __future__ import annotations

import shutil
import types
from pathlib import Path

import pytest

from driver_support import read_flags, run_command, small_data, write_inputs
from roles_support import BANKS, finish_args, leftovers, make_run, step, veltrane


def ok(result) -> str:
    assert result.returncode == 0, result.stderr
    assert "Traceback" not in result.stderr
    return result.stdout


def hand(source: Path, name: str, target: Path) -> None:
    """What SFTP or a bucket would do: one file from one party's machine to another's."""
    shutil.copy(source / name, target / name)


def test_three_parties_on_their_own_machines(tmp_path):
    data = small_data(seed=13, banks=2, accounts=150, payments=200)
    match_args = write_inputs(data, tmp_path / "data")
    home = {name: tmp_path / name for name in (*BANKS, "coordinator")}
    fingerprints = {}
    for name, folder in home.items():
        folder.mkdir()
        out = ok(veltrane(["keygen", "--name", name], folder))
        fingerprints[name] = out.split("fingerprint")[1].split()[1]
    hand(tmp_path / "data" / "banks", "ABNA.csv", home["ABNA"])
    pa = pytest.importorskip("pyarrow.csv")
    import pyarrow.parquet as pq
    pq.write_table(pa.read_csv(tmp_path / "data" / "banks" / "BUNQ.csv"),
                   home["BUNQ"] / "accounts.parquet")

    accounts = {"ABNA": "ABNA.csv", "BUNQ": "accounts.parquet"}
    for bank in BANKS:
        out = ok(veltrane(["publish", "--key", f"{bank}.key", "--accounts", accounts[bank]],
                          home[bank]))
        assert fingerprints[bank] in out
        hand(home[bank], f"{bank}.vstore", home["coordinator"])
        hand(home[bank], f"{bank}.pub", home["coordinator"])
    hand(tmp_path / "data", "payments.csv", home["coordinator"])

    out = ok(veltrane(["query", "--key", "coordinator.key", "--payments", "payments.csv",
                       "--chunk-size", "32",
                       *[a for b in BANKS for a in ("--store", f"{b}.vstore",
                                                    "--public-key", f"{b}.pub")]],
                      home["coordinator"]))
    assert "request-ABNA.vreq: send to bank ABNA" in out and "state.vstate" in out
    for bank in BANKS:
        hand(home["coordinator"], f"request-{bank}.vreq", home[bank])
        ok(veltrane(["answer", "--key", f"{bank}.key", "--request", f"request-{bank}.vreq"],
                    home[bank]))
        hand(home[bank], f"response-{bank}.vresp", home["coordinator"])

    out = ok(veltrane(["finish", "--key", "coordinator.key", "--state", "state.vstate",
                       *[a for b in BANKS for a in ("--response", f"response-{b}.vresp")]],
                      home["coordinator"]))
    assert f"{sum(data.truth)} match" in out
    flags = read_flags(home["coordinator"] / "payments_matched.csv")
    assert flags == data.truth

    simulated = tmp_path / "data" / "simulated.csv"
    ok(run_command([*match_args, "-o", str(simulated)], cwd=tmp_path))
    assert read_flags(simulated) == flags
    assert (home["coordinator"] / "payments_matched.csv").read_text() == simulated.read_text()

    # Each machine holds its own secret key and nobody else's.
    for name, folder in home.items():
        assert sorted(p.name for p in folder.glob("*.key")) == [f"{name}.key"]
    out = ok(veltrane(["inspect", "state.vstate", "ABNA.vstore"], home["coordinator"]))
    assert "state.vstate: state file, verified" in out and "bank: ABNA" in out


def interrupt_on_call(monkeypatch, name: str, call: int) -> None:
    """The module's operation `name` is interrupted (Ctrl-C) on its `call`-th call."""
    import veltrane
    from veltrane_tools import protocol

    calls = []

    def operation(*args):
        calls.append(1)
        if len(calls) == call:
            raise KeyboardInterrupt
        return getattr(veltrane, name)(*args)

    fake = types.SimpleNamespace(**{n: getattr(veltrane, n) for n in veltrane.__all__})
    setattr(fake, name, operation)
    monkeypatch.setattr(protocol, "veltrane", fake)


def test_an_interrupted_run_resumes_from_its_files(tmp_path, capsys, monkeypatch):
    data = make_run(tmp_path)
    responses = [str(tmp_path / f"response-{b}.vresp") for b in BANKS]
    with monkeypatch.context() as patch:
        interrupt_on_call(patch, "finish", 2)
        status, _ = step(finish_args(tmp_path, *responses), tmp_path, capsys)
        assert status == 130 and not (tmp_path / "out.csv").exists()
    (tmp_path / "response-ABNA.vresp").unlink()
    answer = ["answer", "--key", str(tmp_path / "ABNA.key"), "--request",
              str(tmp_path / "request-ABNA.vreq"), "--chunk-size", "8"]

    with monkeypatch.context() as patch:
        interrupt_on_call(patch, "decrypt", 3)   # mid-way through the bank's answer
        status, err = step(answer, tmp_path, capsys)
        assert status == 130 and "no output was written" in err
        assert not (tmp_path / "response-ABNA.vresp").exists()
        assert leftovers(tmp_path) == []

        interrupt_on_call(patch, "combine", 2)   # a second query, cut short
        (tmp_path / "again").mkdir()
        status, _ = step(["query", "--key", str(tmp_path / "coordinator.key"), "--payments",
                          str(tmp_path / "payments.csv"), "--out-dir", str(tmp_path / "again"),
                          "--chunk-size", "20",
                          *[a for b in BANKS for a in ("--store", str(tmp_path / f"{b}.vstore"))]],
                         tmp_path, capsys)
        assert status == 130 and list((tmp_path / "again").iterdir()) == []

    # The next morning: the bank answers again, the coordinator finishes.
    status, err = step(answer, tmp_path, capsys)
    assert status == 0, err
    status, err = step(finish_args(tmp_path, *responses), tmp_path, capsys)
    assert status == 0, err
    assert read_flags(tmp_path / "out.csv") == data.truth
