"""Files made by a hostile peer, grouped by what the attacker controls: the header, the
body, the names, the keys, and the signals a step gets. Every one is refused with one
line naming the file, exit status 2 and no output (not even a temporary file); nothing
escapes to the screen or outside the output folder."""

from __future__ import annotations

import hashlib
import json
import os
import signal
import struct
import subprocess
import sys
import time
from pathlib import Path

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

from driver_support import PYTHON_DIR
from roles_support import (base, finish_args, leftovers, refused, remake, run,  # noqa: F401
                           step, veltrane)
from veltrane_tools import container, keys, points_file, state_file, store_file
from veltrane_tools.errors import UserError

ORDER_8 = bytes.fromhex("c7176a703d4dd84fba3c0b760d10670f2a2053fa2c39ccc64ec7fd7792ac037a")
NOT_A_POINT = bytes([2]) + bytes(31)


def answer_args(run: Path, request: str = "request-ABNA.vreq") -> list[str]:
    return ["answer", "--key", str(run / "ABNA.key"), "--request", str(run / request),
            "-o", str(run / "reply.vresp")]


def query_args(run: Path, *stores: str) -> list[str]:
    (run / "out").mkdir(exist_ok=True)
    return ["query", "--key", str(run / "coordinator.key"), "--payments",
            str(run / "payments.csv"), "--out-dir", str(run / "out"),
            *[a for s in stores or ("ABNA.vstore", "BUNQ.vstore") for a in ("--store", str(run / s))]]


def seal(path: Path, body: bytes, header: bytes) -> None:
    """A file with this body and raw header text, and a correct length and digest: what a
    peer that means harm can send (the digest only proves nobody changed it later)."""
    length = 24 + len(body) + len(header) + 40
    raw = (struct.pack("<8sIIQ", b"VELTRANE", 1, 0, length) + body + header
           + struct.pack("<Q", len(header)))
    path.write_bytes(raw + hashlib.sha256(raw).digest())


def parts(path: Path) -> tuple[bytes, dict]:
    with container.open_container(str(path), None) as file:
        header = dict(file.header)
        body = b"".join(file.read(name) for name in file.sections)
    return body, header


def reheader(path: Path, change) -> None:
    body, header = parts(path)
    text = change(header)
    seal(path, body, text if isinstance(text, bytes) else json.dumps(text).encode())


def with_sections(header: dict, **changes) -> dict:
    header["sections"] = [{**s, **changes.get(s["name"], {})} for s in header["sections"]]
    return header


class TestHeader:
    @pytest.mark.parametrize("items", ['"10"', "10.0", "Infinity", "-Infinity", "NaN", "true",
                                       "null", "1e400"])
    def test_counts_of_the_wrong_type(self, run, capsys, items):
        def change(header):
            text = json.dumps(with_sections(header, sender={"items": "ITEMS"}))
            return text.replace('"ITEMS"', items).encode()
        reheader(run / "request-ABNA.vreq", change)
        refused(run, answer_args(run), "reply.vresp", capsys, "request-ABNA.vreq: damaged")

    def test_a_negative_count_balanced_by_a_larger_one(self, run, capsys):
        path = run / "request-ABNA.vreq"
        _, header = parts(path)
        sender, receiver = (s["items"] for s in header["sections"])
        reheader(path, lambda h: with_sections(h, sender={"items": -5},
                                               receiver={"items": receiver + sender + 5}))
        refused(run, answer_args(run), "reply.vresp", capsys, "damaged")

    def test_counts_that_are_not_whole_numbers(self, run, capsys):
        path = run / "request-ABNA.vreq"
        _, header = parts(path)
        counts = {side: float(n) for side, n in header["counts"].items()}
        remake(path, header={"counts": counts})
        refused(run, answer_args(run), "reply.vresp", capsys, "'counts'")

    def test_deep_nesting(self, run, capsys):
        reheader(run / "request-ABNA.vreq", lambda h: b"[" * 100_000 + b"]" * 100_000)
        refused(run, answer_args(run), "reply.vresp", capsys, "damaged")

    def test_a_huge_header_is_refused_unread(self, run, capsys):
        reheader(run / "ABNA.vstore", lambda h: {**h, "padding": "x" * (10 << 20)})
        refused(run, query_args(run), "out/state.vstate", capsys,
                "ABNA.vstore: refused: a header of 10,4")

    def test_duplicate_and_empty_sections(self, run, capsys):
        path = run / "ABNA.vstore"
        body, header = parts(path)
        header["sections"] = header["sections"] + [{"name": "store", "items": 0, "size": 1}]
        seal(path, body, json.dumps(header).encode())
        refused(run, query_args(run), "out/state.vstate", capsys, "damaged")

    def test_no_kind_and_no_object(self, run, capsys):
        for text in (b"[]", b'"store"', json.dumps({"format": 1, "sections": []}).encode()):
            seal(run / "x.vstore", b"", text)
            status, err = step(["inspect", str(run / "x.vstore")], run, capsys)
            assert status == 2 and "x.vstore: damaged" in err and "Traceback" not in err


class TestBody:
    def test_off_curve_points_in_a_request(self, run, capsys):
        path = run / "request-ABNA.vreq"
        body, header = parts(path)
        seal(path, NOT_A_POINT + body[32:], json.dumps(header).encode())
        refused(run, answer_args(run), "reply.vresp", capsys,
                "request-ABNA.vreq: damaged: a piece of its sender list", "not a curve point")

    def test_off_curve_points_in_a_response(self, run, capsys):
        path = run / "response-BUNQ.vresp"
        body, header = parts(path)
        senders = header["counts"]["sender"] * 32
        seal(path, body[:senders] + NOT_A_POINT + body[senders + 32:],
             json.dumps(header).encode())
        refused(run, finish_args(run), "out.csv", capsys,
                "response-BUNQ.vresp: damaged: a piece of its receiver list")

    @pytest.mark.parametrize("size", [0, 2071, 2072, 2072 + 64, 2264 + 1, 10**6])
    def test_stores_the_module_would_not_build(self, run, capsys, size):
        path = run / "ABNA.vstore"
        _, header = parts(path)
        header = with_sections(header, store={"size": size})
        seal(path, bytes(size), json.dumps(header).encode())
        refused(run, query_args(run), "out/state.vstate", capsys, "ABNA.vstore: damaged")

    def test_a_request_of_small_order_points_learns_nothing_of_the_key(self, run, capsys):
        """The coordinator sends points of order 8: every answer is the identity, so the
        response tells nothing of the bank's secret modulo 8."""
        path = run / "request-ABNA.vreq"
        body, header = parts(path)
        seal(path, ORDER_8 * (len(body) // 32), json.dumps(header).encode())
        status, err = step(answer_args(run), run, capsys)
        assert status == 0, err
        reply, _ = parts(run / "reply.vresp")
        assert reply == (bytes([1]) + bytes(31)) * (len(body) // 32)


class TestNames:
    @pytest.mark.parametrize("bank", ["../ABNA", "a/b", "x" * 300, "..", "ABNA\x1b[31m", ""])
    def test_a_store_bank_name_that_is_no_party_name(self, run, capsys, bank):
        remake(run / "ABNA.vstore", header={"bank": bank})
        line = refused(run, query_args(run), "out/state.vstate", capsys,
                       "ABNA.vstore: damaged", "is not a party name")
        assert "\x1b" not in line
        assert sorted(p.name for p in run.parent.iterdir()) == ["run"]
        assert list((run / "out").iterdir()) == []

    def test_a_request_bank_name_that_is_no_party_name(self, run, capsys):
        remake(run / "request-ABNA.vreq", header={"bank": "../../etc"})
        refused(run, answer_args(run), "reply.vresp", capsys, "is not a party name")

    def test_header_values_are_printed_escaped(self, run, capsys):
        remake(run / "ABNA.vstore", header={"note": "\x1b]0;owned\x07\u202e\x9b2J"})
        status, _ = step(["inspect", str(run / "ABNA.vstore")], run, capsys)
        assert status == 0
        remake(run / "BUNQ.vstore", header={"key_scheme": "\x1b[2J"})
        capsys.readouterr()
        out = veltrane(["inspect", str(run / "ABNA.vstore"), str(run / "BUNQ.vstore")], run)
        assert out.returncode == 0, out.stderr
        for control in ("\x1b", "\x07", "\u202e", "\x9b"):
            assert control not in out.stdout
        assert "\\x1b]0;owned\\x07\\u202e\\x9b2J" in out.stdout


class TestKeys:
    def test_a_fifo_is_refused_not_waited_on(self, run, capsys):
        fifo = run / "pipe.key"
        os.mkfifo(fifo)
        os.chmod(fifo, 0o600)
        started = time.monotonic()
        refused(run, ["answer", "--key", str(fifo), "--request",
                      str(run / "request-ABNA.vreq"), "-o", str(run / "reply.vresp")],
                "reply.vresp", capsys, "pipe.key: not a regular file")
        os.mkfifo(run / "pipe.csv")
        refused(run, ["publish", "--key", str(run / "ABNA.key"), "--accounts",
                      str(run / "pipe.csv"), "-o", str(run / "x.vstore")], "x.vstore", capsys,
                "pipe.csv: not a regular file")
        assert time.monotonic() - started < 30

    def test_a_secret_key_whose_public_half_is_another(self, run, capsys):
        other = keys.load_secret_key(str(run / "BUNQ.key"))
        path = run / "ABNA.key"
        body, header = parts(path)
        header["fingerprint"] = other.fingerprint
        seal(path, other.public + body[32:], json.dumps(header).encode())
        refused(run, answer_args(run), "reply.vresp", capsys,
                "ABNA.key: damaged: its public key is not the one its secret key gives")

    def test_keygen_force_keeps_the_old_pair_when_the_new_cannot_be_written(self, run,
                                                                           capsys):
        before = {n: (run / n).read_bytes() for n in ("ABNA.key", "ABNA.pub")}
        refused(run, ["keygen", "--name", "ABNA", "--force", "--secret-key",
                      str(run / "ABNA.key"), "--public-key", str(run / "none" / "ABNA.pub")],
                "none", capsys, "does not exist")
        assert {n: (run / n).read_bytes() for n in before} == before
        (run / "folder").mkdir()
        refused(run, ["keygen", "--name", "ABNA", "--force", "--secret-key",
                      str(run / "ABNA.key"), "--public-key", str(run / "folder")],
                "none", capsys, "folder: is a directory")
        refused(run, ["keygen", "--name", "ABNA", "--force", "--secret-key",
                      str(run / "ABNA.key"), "--public-key", str(run / "." / "ABNA.key")],
                "none", capsys, "cannot share one file")
        assert {n: (run / n).read_bytes() for n in before} == before
        status, err = step(["keygen", "--name", "ABNA", "--force", "--secret-key",
                            str(run / "ABNA.key"), "--public-key", str(run / "ABNA.pub")],
                           run, capsys)
        assert status == 0, err
        new = keys.load_secret_key(str(run / "ABNA.key"))
        assert keys.load_public_key(str(run / "ABNA.pub")).public == new.public
        assert (run / "ABNA.key").read_bytes() != before["ABNA.key"]


class TestSignals:
    @pytest.mark.parametrize("signal_number, status", [(signal.SIGTERM, 143),
                                                       (signal.SIGINT, 130)])
    def test_a_stopped_step_leaves_no_output_and_no_temporary_file(self, run, signal_number,
                                                                   status):
        # The step is held where its output is complete but not yet in place (syncing
        # it to disk), so the signal always finds a temporary file to clean up.
        env = {**os.environ, "PYTHONPATH": str(PYTHON_DIR)}
        held = ("import os, sys, time\n"
                "os.fsync = lambda descriptor: time.sleep(60)\n"
                "from veltrane_tools import cli\n"
                "sys.exit(cli.main(sys.argv[1:]))\n")
        process = subprocess.Popen(
            [sys.executable, "-c", held, *answer_args(run), "--quiet"], cwd=run, env=env,
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        deadline = time.monotonic() + 60
        while not leftovers(run) and process.poll() is None and time.monotonic() < deadline:
            time.sleep(0.005)
        assert leftovers(run), "the step ended before it was stopped"
        process.send_signal(signal_number)
        _, err = process.communicate(timeout=60)
        assert process.returncode == status, err
        assert len(err.strip().splitlines()) == 1 and "no output was written" in err, err
        assert not (run / "reply.vresp").exists() and leftovers(run) == []


# Every reader of an exchanged file, and what it must do with any file: return, or
# refuse it with a UserError. Nothing else (no traceback, no hang, no other exception).
READERS = {
    "store": lambda p: store_file.read_store(p),
    "request": lambda p: points_file.open_points(p, points_file.REQUEST)[0].close(),
    "response": lambda p: points_file.open_points(p, points_file.RESPONSE)[0].close(),
    "public-key": lambda p: keys.load_public_key(p),
    "secret-key": lambda p: keys.load_secret_key(p),
    "state": lambda p: state_file.read_state(p, 7).close(),
    "any": lambda p: container.describe(p),
}
SOURCES = {"store": "ABNA.vstore", "request": "request-ABNA.vreq",
           "response": "response-BUNQ.vresp", "public-key": "BUNQ.pub",
           "secret-key": "ABNA.key", "state": "state.vstate", "any": "state.vstate"}

json_values = st.recursive(
    st.none() | st.booleans() | st.integers(-2**70, 2**70) | st.floats() | st.text(max_size=8),
    lambda inner: st.lists(inner, max_size=4) | st.dictionaries(st.text(max_size=6), inner,
                                                                max_size=4),
    max_leaves=12)


@settings(max_examples=150, deadline=None,
          suppress_health_check=[HealthCheck.function_scoped_fixture])
@given(reader=st.sampled_from(sorted(READERS)), data=st.data())
def test_mutated_files_are_read_or_refused(base, tmp_path_factory, reader, data):
    folder = tmp_path_factory.mktemp("mutated")
    path = folder / "file"
    body, header = parts(base / SOURCES[reader])
    mutation = data.draw(st.sampled_from(["field", "section", "body", "text"]))
    if mutation == "field":
        name = data.draw(st.sampled_from(sorted(header) + ["extra"]))
        header[name] = data.draw(json_values)
    elif mutation == "section":
        index = data.draw(st.integers(0, len(header["sections"]) - 1))
        name = data.draw(st.sampled_from(["name", "items", "size"]))
        header["sections"][index][name] = data.draw(json_values)
    elif mutation == "body":
        at = data.draw(st.integers(0, max(0, len(body) - 1)))
        body = body[:at] + data.draw(st.binary(max_size=64)) + body[at + 1:]
    text = json.dumps(header).encode()
    if mutation == "text":
        at = data.draw(st.integers(0, len(text)))
        text = text[:at] + data.draw(st.binary(max_size=8)) + text[at:]
    seal(path, body, text)
    os.chmod(path, 0o600)
    try:
        READERS[reader](str(path))
    except UserError:
        pass
