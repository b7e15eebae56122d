"""Bad input: one readable line naming the file, row and column; exit status 2; no
traceback. None of these needs the module's operations: input is checked first."""

from __future__ import annotations

import sys

import pytest

from driver_support import run_command, run_main

BANK_A = "iban,holder\nA1,Ann\nA2,Bob\n"
BANK_B = "iban,holder\nB1,Cy\n"
HEADER = "id,debtor_bank,debtor_iban,debtor_name,creditor_bank,creditor_iban,creditor_name\n"
PAYMENTS = HEADER + "1,A,A1,Ann,B,B1,Cy\n2,A,A2,Bob,B,B1,Cy\n"


def setup(tmp_path, a=BANK_A, b=BANK_B, payments=PAYMENTS, raw=None):
    files = {"a.csv": a, "b.csv": b, "p.csv": payments}
    for name, text in files.items():
        (tmp_path / name).write_text(text, encoding="utf-8")
    for name, data in (raw or {}).items():
        (tmp_path / name).write_bytes(data)
    return ["--bank", f"A={tmp_path / 'a.csv'}", "--bank", f"B={tmp_path / 'b.csv'}",
            "--payments", str(tmp_path / "p.csv"), "-o", str(tmp_path / "out.csv")]


CASES = {
    "missing payment column": (
        dict(payments=HEADER.replace(",creditor_name", "") + "1,A,A1,Ann,B,B1\n"),
        [], ["p.csv, header (line 1), column 'creditor_name'", "--receiver-columns",
             "'creditor_iban'"]),
    "missing account column": (
        dict(b="iban,name\nB1,Cy\n"), [],
        ["b.csv, header (line 1), column 'holder'", "--account-columns"]),
    "unknown bank": (
        dict(payments=PAYMENTS + "3,A,A1,Ann,C,B1,Cy\n"), [],
        ["p.csv, row 3 (line 4), column 'creditor_bank'", "unknown bank 'C'", "A, B"]),
    "empty file": (dict(payments=""), [], ["p.csv", "empty"]),
    "header only": (dict(a="iban,holder\n"), [], ["a.csv, header (line 1)", "no data rows"]),
    "short row": (
        dict(payments=PAYMENTS + "3,A,A1,Ann,B\n"), [],
        ["p.csv, row 3 (line 4), column 'creditor_iban'", "5 fields", "header has 7"]),
    "long row": (
        dict(a=BANK_A + "A3,Dee,extra\n"), [],
        ["a.csv, row 3 (line 4), column 'holder'", "3 fields", "extra"]),
    "unterminated quote": (
        dict(b=BANK_B + '"B2,Dan\n'), [], ["b.csv, row 2 (line 3)", "malformed CSV"]),
    "empty key value": (
        dict(a="iban,holder\nA1,Ann\n  ,Bob\n"), [],
        ["a.csv, row 2 (line 3), column 'iban'", "empty"]),
    "line numbers count embedded newlines": (
        dict(payments=HEADER + '1,A,A1,"Ann\nSmith",B,B1,Cy\n2,A,A2,Bob,,B1,Cy\n'), [],
        ["p.csv, row 2 (line 4), column 'creditor_bank'", "empty"]),
    "not UTF-8": (
        dict(), [], ["b.csv, line 3", "not valid UTF-8"]),
    "no such file": (dict(), ["--bank", "C=/nonexistent/c.csv"], ["/nonexistent/c.csv",
                                                                  "no such file"]),
    "unknown suffix": (dict(), ["--bank", "C=c.xlsx"], ["c.xlsx", ".csv or .parquet"]),
    "bank given twice": (dict(), ["--bank", "A=x.csv"], ["'A' is given twice"]),
    "result column exists": (
        dict(), ["--match-column", "debtor_name"], ["p.csv", "'debtor_name'",
                                                    "--match-column"]),
    "column counts differ": (
        dict(), ["--sender-columns", "debtor_iban"], ["--sender-columns names 1",
                                                      "--account-columns names 2"]),
}


@pytest.mark.parametrize("case", CASES, ids=list(CASES))
def test_bad_input(case, tmp_path, capsys):
    files, extra, expected = CASES[case]
    raw = {"b.csv": b"iban,holder\nB1,Cy\nB2,D\xffe\n"} if case == "not UTF-8" else None
    status, out, err = run_main([*setup(tmp_path, raw=raw, **files), *extra], capsys)
    assert status == 2
    lines = err.strip().splitlines()
    assert len(lines) == 1, err
    for part in expected:
        assert part in lines[0]
    assert not (tmp_path / "out.csv").exists()


def test_parquet_without_pyarrow(tmp_path, capsys, monkeypatch):
    (tmp_path / "p.parquet").write_bytes(b"PAR1")
    monkeypatch.setitem(sys.modules, "pyarrow", None)  # import pyarrow now fails
    args = setup(tmp_path)
    args[args.index("--payments") + 1] = str(tmp_path / "p.parquet")
    status, _, err = run_main(args, capsys)
    assert status == 2
    assert "p.parquet" in err and "needs pyarrow" in err and "pip install pyarrow" in err


def test_parquet_null_and_corrupt_files(tmp_path, capsys):
    pa = pytest.importorskip("pyarrow")
    import pyarrow.parquet as pq

    args = setup(tmp_path)
    pq.write_table(pa.table({"iban": ["A1", None], "holder": ["Ann", "Bob"]}),
                   tmp_path / "a.parquet")
    args[args.index(f"A={tmp_path / 'a.csv'}")] = f"A={tmp_path / 'a.parquet'}"
    status, _, err = run_main(args, capsys)
    assert status == 2 and "a.parquet, row 2, column 'iban': the value is missing" in err

    (tmp_path / "a.parquet").write_bytes(b"not parquet at all")
    status, _, err = run_main(args, capsys)
    assert status == 2 and "a.parquet: not a readable Parquet file" in err


def test_the_command_prints_no_traceback(tmp_path):
    result = run_command(setup(tmp_path, payments=PAYMENTS + "3,A,A1,Ann,Z,B1,Cy\n"),
                         cwd=tmp_path)
    assert result.returncode == 2
    assert "Traceback" not in result.stderr
    assert result.stderr.strip().splitlines() == [
        "python -m veltrane_tools.match: error: "
        f"{tmp_path / 'p.csv'}, row 3 (line 4), column 'creditor_bank': unknown bank 'Z'; "
        "the banks given are: A, B"]
    usage = run_command(["--chunk-size", "0"], cwd=tmp_path)
    assert usage.returncode == 2 and "not a positive number" in usage.stderr


def test_module_failures_end_with_status_3(tmp_path, capsys, monkeypatch):
    import types

    import veltrane
    from veltrane_tools import protocol

    class PanicException(BaseException):  # the module's type is matched by name
        pass

    def refuse(*args):
        raise PanicException("The public key was not a valid curve point.")

    args = setup(tmp_path)
    fake = types.SimpleNamespace(**{name: getattr(veltrane, name) for name in veltrane.__all__})
    fake.build_okvs = refuse
    monkeypatch.setattr(protocol, "veltrane", fake)
    status, _, err = run_main(args, capsys)
    assert status == 3 and "Traceback" not in err
    assert "veltrane.build_okvs failed: The public key was not a valid curve point." in err
