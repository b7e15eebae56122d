"""Secret keys stay with their owners: created 0600, never overwritten unless asked,
refused when others may read them, and absent from every file, message and task that
leaves a party."""

from __future__ import annotations

import os
import pickle
import stat
from pathlib import Path

from driver_support import small_data, views
from roles_support import BANKS, leftovers, make_run, step
from veltrane_tools import keys, matching
from veltrane_tools.runner import LocalRunner, sendable


def test_key_files_are_private_and_kept(tmp_path, capsys):
    old = os.umask(0)  # even a permissive umask must not widen the secret file
    try:
        status, err = step(["keygen", "--name", "ABNA"], tmp_path, capsys)
    finally:
        os.umask(old)
    assert status == 0, err
    assert stat.S_IMODE((tmp_path / "ABNA.key").stat().st_mode) == 0o600
    first = keys.load_secret_key(str(tmp_path / "ABNA.key"))
    assert keys.load_public_key(str(tmp_path / "ABNA.pub")).fingerprint == first.fingerprint

    status, err = step(["keygen", "--name", "ABNA"], tmp_path, capsys)
    assert status == 2 and "ABNA.key: already exists" in err and "--force" in err
    assert keys.load_secret_key(str(tmp_path / "ABNA.key")) == first

    status, err = step(["keygen", "--name", "ABNA", "--force"], tmp_path, capsys)
    assert status == 0, err
    assert keys.load_secret_key(str(tmp_path / "ABNA.key")).secret != first.secret
    assert leftovers(tmp_path) == []


def test_a_key_others_may_read_is_refused(tmp_path, capsys):
    make_run(tmp_path)
    os.chmod(tmp_path / "ABNA.key", 0o640)
    status, err = step(["answer", "--key", str(tmp_path / "ABNA.key"), "--request",
                        str(tmp_path / "request-ABNA.vreq"), "-o", str(tmp_path / "r.vresp")],
                       tmp_path, capsys)
    assert status == 2 and len(err.strip().splitlines()) == 1
    assert "ABNA.key: permissions 0640 are too open" in err and "chmod 600" in err
    assert not (tmp_path / "r.vresp").exists()


def test_no_secret_leaves_its_owner(tmp_path, capsys):
    make_run(tmp_path)
    printed = capsys.readouterr()
    secrets = [keys.load_secret_key(str(tmp_path / f"{name}.key")).secret
               for name in (*BANKS, "coordinator")]
    handed_out = [p for p in tmp_path.iterdir() if p.suffix in
                  (".pub", ".vstore", ".vreq", ".vresp", ".vstate")]
    assert len(handed_out) == 3 + 2 + 2 + 2 + 1
    for secret in secrets:
        for path in handed_out:
            content = path.read_bytes()
            assert secret not in content and secret.hex().encode() not in content, path
        assert secret.hex() not in printed.out + printed.err
        assert repr(secret) not in repr(keys.load_secret_key(str(tmp_path / "ABNA.key")))


class RecordingRunner(LocalRunner):
    """Runs locally, and keeps everything a cluster would have been sent."""

    def __init__(self) -> None:
        self.sent: list[bytes] = []

    def run(self, function, tasks, shared):
        self.sent.append(pickle.dumps(sendable(shared)))  # as a cluster runner sends them
        for number, args in enumerate(tasks):
            self.sent.append(pickle.dumps(args))
            yield from ((number, result) for _, result in
                        super().run(function, [args], shared))


def test_the_simulation_sends_no_secret_to_its_runner(monkeypatch):
    data = small_data(seed=8, banks=2, accounts=40, payments=50)
    made: list[keys.SecretKey] = []
    generate = keys.generate

    def remember(name, timings=None):
        made.append(generate(name, timings))
        return made[-1]

    monkeypatch.setattr(keys, "generate", remember)
    rows, payments = views(data)
    runner = RecordingRunner()
    report = matching.run_matching(rows, payments, chunk_size=16, runner=runner)
    assert report.flags == data.truth
    assert len(made) == 3 and len(runner.sent) > 4
    coordinator = next(key for key in made if key.name == "coordinator")
    assert any(coordinator.public in message for message in runner.sent)  # it does look
    for key in made:
        assert not any(key.secret in message for message in runner.sent)
