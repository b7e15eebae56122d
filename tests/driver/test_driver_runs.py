"""The driver end to end: CSV and Parquet inputs, hand-made edge cases, synthetic mode."""

from __future__ import annotations

import csv
from pathlib import Path

import pytest

from driver_support import (read_flags, run_command, run_main, small_data, write_csv,
                            write_inputs)
from veltrane_tools import match, synthetic


def test_csv_inputs_give_the_known_answers(tmp_path, capsys):
    data = small_data()
    out = tmp_path / "result.csv"
    # A small chunk size splits every bank pair into several chunks.
    status, stdout, _ = run_main([*write_inputs(data, tmp_path), "--chunk-size", "16",
                                  "-o", str(out)], capsys)
    assert status == 0
    assert read_flags(out) == data.truth
    with open(out, newline="", encoding="utf-8") as stream:
        rows = list(csv.reader(stream))
    assert rows[0] == [*synthetic.PAYMENT_COLUMNS, "matched"]
    assert [row[:-1] for row in rows[1:]] == data.payments.rows
    assert f"{sum(data.truth):,} match" in stdout
    assert "initiate_queries" in stdout and "payments/s" in stdout


def test_parquet_inputs_keep_types_and_add_a_bool_column(tmp_path, capsys):
    pa = pytest.importorskip("pyarrow")
    import pyarrow.csv as pcsv
    import pyarrow.parquet as pq

    data = small_data(seed=11, banks=2)
    data.write(str(tmp_path))
    args = []
    for code in data.banks:
        source = tmp_path / "banks" / f"{code}.csv"
        target = source.with_suffix(".parquet")
        pq.write_table(pcsv.read_csv(source), target)
        args += ["--bank", f"{code}={target}"]
    payments = tmp_path / "payments.parquet"
    pq.write_table(pcsv.read_csv(tmp_path / "payments.csv"), payments)
    out = tmp_path / "out.parquet"
    status, _, err = run_main([*args, "--payments", str(payments), "-o", str(out),
                               "--match-column", "ok"], capsys)
    assert status == 0, err
    table = pq.read_table(out)
    assert table.schema.field("ok").type == pa.bool_()
    assert table.schema.field("amount").type == pa.float64()  # input types are kept
    assert table.column("ok").to_pylist() == data.truth


def test_keys_rows_and_bank_pairs(tmp_path, capsys):
    # ["ab", "c"] and ["a", "bc"] must stay different accounts; surrounding blanks do not
    # count; a duplicated account is fine; a payment may stay within one bank; accounts
    # of one bank are not found at another.
    a = write_csv(tmp_path / "a.csv", "iban,holder\nab,c\nX1, Ann \nX1,Ann\n")
    b = write_csv(tmp_path / "b.csv", "iban,holder\nY1,Bob\n\nY2,Cy\n")
    pays = write_csv(tmp_path / "p.csv",
                     "id,from_bank,from,from_name,to_bank,to,to_name\n"
                     "1,A,X1,Ann,B,Y1,Bob\n"       # both held
                     "2,A,a,bc,B,Y1,Bob\n"         # same concatenation, other columns
                     "3,A,ab,c,B,Y2,Cy\n"          # both held
                     "4,B,Y1,Bob,A,X1,Ann\n"       # the other direction
                     "5,A,X1,Ann,A,ab,c\n"         # within one bank
                     "6,A,X1,Ann,B,X1,Ann\n"       # account of A claimed at B
                     "7,B,Y1,Bob,B,Y2,Bob\n")      # wrong holder
    out = tmp_path / "out.csv"
    status, _, err = run_main(["--bank", f"A={a}", "--bank", f"B={b}", "--payments", str(pays),
                               "--account-columns", "iban,holder",
                               "--sender-columns", "from,from_name",
                               "--receiver-columns", "to,to_name",
                               "--sender-bank-column", "from_bank",
                               "--receiver-bank-column", "to_bank", "-o", str(out)], capsys)
    assert status == 0, err
    assert read_flags(out) == [True, False, True, True, True, False, False]


def test_synthetic_mode_passes_and_prints_its_seed(capsys):
    status, out, _ = run_main(["--num-banks", "2", "--accounts-per-bank", "200",
                               "--num-payments", "150", "--match-share", "0.3",
                               "--seed", "42"], capsys)
    assert status == 0
    assert "seed 42" in out.splitlines()[0]
    assert out.rstrip().splitlines()[-1].startswith("PASS: all 150 flags")
    assert "45 matches, 105 non-matches" in out


def test_default_output_is_written_beside_the_payments(tmp_path):
    data = small_data(seed=3, banks=1, accounts=50, payments=40)
    result = run_command(write_inputs(data, tmp_path), cwd=tmp_path)
    assert result.returncode == 0, result.stderr
    assert read_flags(tmp_path / "payments_matched.csv") == data.truth
    assert "stores" in result.stderr and "payments" in result.stderr  # progress


def test_a_wrong_answer_is_a_fail(capsys):
    data = small_data(seed=1, banks=2, accounts=20, payments=10)
    flags = list(data.truth)
    flags[3] = not flags[3]
    assert not match.check_truth(flags, data)
    line = capsys.readouterr().out.strip()
    assert line.startswith("FAIL: 1 of 10 flags") and "P000000004" in line
    assert match.check_truth(data.truth, data)


def test_synthetic_data_is_what_it_claims():
    data = synthetic.generate(banks=3, accounts=500, payments=2000, match_share=0.25, seed=9)
    assert sum(data.truth) == 500
    held = {code: {(row[0], row[1]) for row in table.rows or []}
            for code, table in data.banks.items()}
    for row, truth in zip(data.payments.rows or [], data.truth):
        _, d_bank, d_iban, d_name, c_bank, c_iban, c_name = row[:7]
        assert truth == ((d_iban, d_name) in held[d_bank] and (c_iban, c_name) in held[c_bank])
    assert set(data.faults) == {"", *synthetic.FAULTS}
    # Valid IBAN check digits: the number rearranged is 1 modulo 97.
    sample = data.payments.rows[0][2]
    assert int("".join(str(int(c, 36)) for c in sample[4:] + sample[:4])) % 97 == 1
    again = synthetic.generate(banks=3, accounts=500, payments=2000, match_share=0.25, seed=9)
    assert again.payments.rows == data.payments.rows


def test_an_unknown_output_type_is_refused_before_any_work(tmp_path, capsys):
    a = write_csv(tmp_path / "a.csv", "iban,holder\nX1,Ann\n")
    pays = write_csv(tmp_path / "p.csv", "debtor_bank,debtor_iban,debtor_name,creditor_bank,"
                                         "creditor_iban,creditor_name\nA,X1,Ann,A,X1,Ann\n")
    status, _, err = run_main(["--bank", f"A={a}", "--payments", str(pays),
                               "--output", str(tmp_path / "out.xlsx")], capsys)
    assert status == 2 and "out.xlsx" in err and ".csv or .parquet" in err
    assert not Path(tmp_path / "out.xlsx").exists()


def test_progress_without_tqdm():
    import io

    from veltrane_tools.progress import Progress, TextBar

    stream = io.StringIO()
    bar = TextBar("payments", 300, "payments", stream, interval=0.0)
    bar.set_postfix_str("ABNA -> BUNQ")
    bar.update(100)
    bar.update(200)
    bar.close()
    lines = stream.getvalue().splitlines()
    assert lines[0].startswith("payments     100/300 payments (33%)") and "left" in lines[0]
    assert "[ABNA -> BUNQ]" in lines[0]
    assert lines[-1].startswith("payments     300/300 payments (100%)") and len(lines) == 2
    silent = Progress(enabled=False, stream=stream).bar("x", 1, "rows")
    silent.update(1)
    assert len(stream.getvalue().splitlines()) == 2
