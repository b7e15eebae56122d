"""The type stubs: mypy accepts correct calls, flags a str where bytes belong, reads the
installed stubs, and finds the tools package consistent."""

from __future__ import annotations

import os
import subprocess
import sys
from pathlib import Path

import pytest

from driver_support import PYTHON_DIR

pytest.importorskip("mypy")

GOOD = """\
import array
import mmap

import veltrane

public, secret = veltrane.key_gen()
store = veltrane.build_okvs(bytes(public), [["NL02ABNA0123456789", "Ann"]])
queries = veltrane.initiate_queries([["a"]], [("b",)], store, bytearray(store), public)
s, r, g, d = veltrane.combine(veltrane.randomize(queries), veltrane.randomize(queries))
flags: list[bool] = veltrane.finish(veltrane.decrypt(s, secret), veltrane.decrypt(r, secret),
                                    g, d, secret)
with mmap.mmap(-1, len(store)) as region:
    veltrane.initiate_queries([["a"]], [["b"]], region, memoryview(bytes(store)),
                              array.array("B", public))
"""

BAD = """\
import veltrane

public, secret = veltrane.key_gen()
veltrane.build_okvs("not a key", [["a"]])
veltrane.decrypt(b"", bytes(secret).hex())
count: int = veltrane.finish(b"", b"", b"", b"", secret)
"""


@pytest.fixture(scope="module")
def cache(tmp_path_factory: pytest.TempPathFactory) -> Path:
    """One mypy cache for the module's runs: the standard library is analysed once."""
    return tmp_path_factory.mktemp("mypy_cache")


def mypy(tmp_path: Path, cache: Path, *targets: str,
         mypy_path: str | None = None) -> tuple[int, str]:
    env = {key: value for key, value in os.environ.items() if key != "MYPYPATH"}
    if mypy_path:
        env["MYPYPATH"] = mypy_path
    result = subprocess.run([sys.executable, "-m", "mypy", "--no-error-summary",
                             "--cache-dir", str(cache), *targets],
                            cwd=tmp_path, capture_output=True, text=True, timeout=180, env=env)
    return result.returncode, result.stdout + result.stderr


def scripts(tmp_path: Path) -> None:
    (tmp_path / "good.py").write_text(GOOD)
    (tmp_path / "bad.py").write_text(BAD)


def check_results(status: int, output: str) -> None:
    assert status == 1, output
    lines = output.strip().splitlines()
    assert not [line for line in lines if line.startswith("good.py")], output
    assert any(line.startswith("bad.py:4:") and '"str"' in line and "bytes | bytearray" in line
               for line in lines), output
    assert any(line.startswith("bad.py:5:") and '"str"' in line for line in lines), output
    assert any(line.startswith("bad.py:6:") and "list[bool]" in line for line in lines), output


def test_stub_accepts_correct_calls_and_flags_a_str_key(tmp_path, cache):
    scripts(tmp_path)
    check_results(*mypy(tmp_path, cache, "--strict", "good.py", "bad.py",
                        mypy_path=str(PYTHON_DIR)))


def test_installed_stub_is_found_beside_the_module(tmp_path, cache):
    import veltrane

    installed = Path(veltrane.__file__).parent
    for stub in (installed / "veltrane.pyi", installed / "veltrane-stubs" / "__init__.pyi"):
        assert stub.is_file(), f"{stub} is missing: reinstall the package (pip install .)"
        assert stub.read_text() == (PYTHON_DIR / "veltrane.pyi").read_text(), (
            f"{stub} is out of date: reinstall the package (pip install .)")
    scripts(tmp_path)
    check_results(*mypy(tmp_path, cache, "good.py", "bad.py"))


def test_tools_package_type_checks(tmp_path, cache):
    assert (PYTHON_DIR / "veltrane_tools" / "py.typed").is_file()
    status, output = mypy(tmp_path, cache, str(PYTHON_DIR / "veltrane_tools"),
                          mypy_path=str(PYTHON_DIR))
    assert status == 0, output
