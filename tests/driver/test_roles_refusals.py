"""Files that must not be used are refused: one line naming the file and what is wrong,
exit status 2, and no output written (not even a temporary file)."""

from __future__ import annotations

from pathlib import Path

import pytest

from roles_support import (base, finish_args, leftovers, refused, remake, run,  # noqa: F401
                           step)


def answer_args(run: Path, bank: str, request: str) -> list[str]:
    return ["answer", "--key", str(run / f"{bank}.key"), "--request", str(run / request),
            "-o", str(run / "reply.vresp")]


def query_args(run: Path, *stores: str, out: str = "out") -> list[str]:
    return ["query", "--key", str(run / "coordinator.key"), "--payments",
            str(run / "payments.csv"), "--out-dir", str(run / out),
            *[a for s in stores for a in ("--store", str(run / s))]]


def test_a_file_of_the_wrong_kind(run, capsys):
    refused(run, finish_args(run, "ABNA.vstore", "response-BUNQ.vresp"), "out.csv", capsys,
            "ABNA.vstore: is a store file, expected a response file")


def test_a_file_of_another_format_version(run, capsys):
    remake(run / "response-ABNA.vresp", version=2)
    refused(run, finish_args(run), "out.csv", capsys, "response-ABNA.vresp: format version 2",
            "reads version 1")


def test_a_response_from_another_run(run, capsys):
    # The coordinator queries again: the new run's response does not fit the old state.
    (run / "again").mkdir()
    status, err = step(query_args(run, "ABNA.vstore", "BUNQ.vstore", out="again"), run,
                       capsys)
    assert status == 0, err
    status, err = step(answer_args(run, "ABNA", "again/request-ABNA.vreq"), run, capsys)
    assert status == 0, err
    refused(run, finish_args(run, "reply.vresp", "response-BUNQ.vresp"), "out.csv", capsys,
            "reply.vresp: wrong run")


def test_a_request_for_another_bank(run, capsys):
    refused(run, answer_args(run, "ABNA", "request-BUNQ.vreq"), "reply.vresp", capsys,
            "request-BUNQ.vreq: wrong bank", "'BUNQ'", "'ABNA'")


def test_a_response_with_the_wrong_count(run, capsys):
    path = run / "response-ABNA.vresp"
    from veltrane_tools.container import open_container
    with open_container(str(path), "response") as file:
        counts = dict(file.header["counts"])
    counts["sender"] -= 1
    remake(path, header={"counts": counts}, drop_last="sender")
    refused(run, finish_args(run), "out.csv", capsys, "response-ABNA.vresp: wrong counts")


def test_a_store_with_another_key_scheme(run, capsys):
    # The bank keyed its accounts by one column; the payments give two.
    status, err = step(["publish", "--key", str(run / "ABNA.key"), "--accounts",
                        str(run / "banks" / "ABNA.csv"), "--account-columns", "iban",
                        "-o", str(run / "ABNA-iban.vstore")], run, capsys)
    assert status == 0, err
    (run / "out").mkdir()
    refused(run, query_args(run, "ABNA-iban.vstore", "BUNQ.vstore"), "out/state.vstate",
            capsys, "ABNA-iban.vstore: wrong key scheme", "'columns': 1", "'columns': 2")
    assert list((run / "out").iterdir()) == []


def test_a_truncated_file(run, capsys):
    path = run / "request-ABNA.vreq"
    path.write_bytes(path.read_bytes()[:-100])
    refused(run, answer_args(run, "ABNA", "request-ABNA.vreq"), "reply.vresp", capsys,
            "request-ABNA.vreq: truncated")


# Every file a step reads, with one byte changed: in a point list, in the header, in
# the recorded length; each is refused by the step that reads it.
CHANGED = {
    "store": ("ABNA.vstore", lambda r: query_args(r, "ABNA.vstore", "BUNQ.vstore"),
              "out/state.vstate"),
    "request": ("request-ABNA.vreq", lambda r: answer_args(r, "ABNA", "request-ABNA.vreq"),
                "reply.vresp"),
    "response": ("response-BUNQ.vresp", finish_args, "out.csv"),
    "state": ("state.vstate", finish_args, "out.csv"),
    "secret key": ("ABNA.key", lambda r: answer_args(r, "ABNA", "request-ABNA.vreq"),
                   "reply.vresp"),
}


@pytest.mark.parametrize("where", ["body", "header", "length"])
@pytest.mark.parametrize("kind", CHANGED)
def test_a_changed_byte(run, capsys, kind, where):
    name, args, output = CHANGED[kind]
    path = run / name
    raw = bytearray(path.read_bytes())
    position = {"body": 24 + 5, "header": len(raw) - 40 - 8, "length": 17}[where]
    raw[position] ^= 0x10
    path.write_bytes(bytes(raw))
    (run / "out").mkdir()
    status, err = step(args(run), run, capsys)
    assert status == 2 and len(err.strip().splitlines()) == 1, err
    assert f"{name}: " in err
    if where == "length":
        assert "truncated" in err or "longer than its recorded length" in err, err
    else:
        assert "integrity check failed" in err, err
    assert not (run / output).exists() and leftovers(run) == []
