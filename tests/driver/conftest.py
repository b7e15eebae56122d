"""Fixtures of the role-step tests: one finished small run per module, copied afresh
for every test that tampers with it."""

from __future__ import annotations

from pathlib import Path

import pytest

from roles_support import copy_run, make_run


@pytest.fixture(scope="module")
def base(tmp_path_factory: pytest.TempPathFactory) -> Path:
    folder = tmp_path_factory.mktemp("run")
    make_run(folder)
    return folder


@pytest.fixture
def run(base: Path, tmp_path: Path) -> Path:
    return copy_run(base, tmp_path / "run")
