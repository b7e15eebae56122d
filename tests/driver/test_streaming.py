"""Payments read in windows smaller than the table: the run is laid out exactly as if the
table were read whole, the flags are right, a bad row late in the table stops the step
with nothing left behind, and stores are mapped, not copied, and unmapped again."""

from __future__ import annotations

import csv
import gc
import io
import warnings
from pathlib import Path

import pytest

from driver_support import read_flags, small_data
from roles_support import leftovers, make_parties, remake, step
from veltrane_tools import cli, container, state_file, synthetic
from veltrane_tools.store_file import read_store

WINDOW = "7"
BANKS3 = ("ABNA", "BUNQ", "INGB")


def prepare(folder: Path, payments: int = 120, seed: int = 4) -> synthetic.SyntheticData:
    """Three banks (nine pairs, payments of every pair spread over the table), their
    keys and stores."""
    data = small_data(seed=seed, banks=3, accounts=80, payments=payments)
    make_parties(folder, data, BANKS3)
    return data


def query_args(folder: Path, payments: str, *extra: str) -> list[str]:
    return ["query", "--key", str(folder / "coordinator.key"), "--payments",
            str(folder / payments), "--out-dir", str(folder),
            *[arg for bank in BANKS3 for arg in ("--store", str(folder / f"{bank}.vstore"))],
            "--chunk-size", "5", *extra]


def answer_all(folder: Path) -> list[str]:
    for bank in BANKS3:
        assert cli.main(["answer", "-q", "--key", str(folder / f"{bank}.key"), "--request",
                         str(folder / f"request-{bank}.vreq")]) == 0
    return [a for bank in BANKS3 for a in ("--response", str(folder / f"response-{bank}.vresp"))]


def finish_args(folder: Path, output: str, *extra: str) -> list[str]:
    return ["finish", "-q", "--key", str(folder / "coordinator.key"), "--state",
            str(folder / "state.vstate"), *answer_all(folder), "-o", str(folder / output),
            *extra]


def expected_layout(folder: Path, payments: str) -> tuple[list[int], list[list]]:
    """The order and segments of the whole table grouped at once: pairs sorted, file order
    within a pair."""
    with open(folder / payments, newline="", encoding="utf-8") as stream:
        rows = list(csv.DictReader(stream))
    pairs: dict[tuple[str, str], list[int]] = {}
    for index, row in enumerate(rows):
        pair = (row[synthetic.SENDER_BANK_COLUMN], row[synthetic.RECEIVER_BANK_COLUMN])
        pairs.setdefault(pair, []).append(index)
    order = [i for pair in sorted(pairs) for i in pairs[pair]]
    return order, [[s, r, len(pairs[(s, r)])] for s, r in sorted(pairs)]


def decoded_state(path: Path) -> tuple[list[int], list[list], dict]:
    with container.open_container(str(path), "state") as file:
        order = list(state_file.read_order(file, 0, file.items("order")))
        return order, file.header["segments"], file.header["banks"]


def to_parquet(folder: Path, name: str) -> str:
    pa_csv = pytest.importorskip("pyarrow.csv")
    import pyarrow.parquet as pq
    target = name.replace(".csv", ".parquet")
    # Row groups of 10 rows: windows of 7 cut across them.
    pq.write_table(pa_csv.read_csv(folder / name), folder / target, row_group_size=10)
    return target


@pytest.fixture(scope="module")
def prepared(tmp_path_factory: pytest.TempPathFactory):
    folder = tmp_path_factory.mktemp("streamed")
    return folder, prepare(folder)


class TestWindowsSmallerThanTheTable:
    @pytest.mark.parametrize("kind", ["csv", "parquet"])
    def test_layout_and_flags_match_the_whole_table(self, prepared, tmp_path, capsys, kind):
        source, data = prepared
        payments = "payments.csv" if kind == "csv" else to_parquet(source, "payments.csv")
        flags = {}
        for window in (WINDOW, "100000"):
            run = tmp_path / window
            run.mkdir()
            assert step(query_args(source, payments, "--out-dir", str(run), "--window",
                                   window), run, capsys)[0] == 0
            order, segments, banks = decoded_state(run / "state.vstate")
            assert (order, segments) == expected_layout(source, "payments.csv")
            for bank, entry in banks.items():
                sends = sum(n for s, _, n in segments if s == bank)
                receives = sum(n for _, r, n in segments if r == bank)
                assert entry["counts"] == {"sender": sends, "receiver": receives}
                with container.open_container(str(run / f"request-{bank}.vreq"),
                                              "request") as request:
                    assert (request.items("sender"), request.items("receiver")) == (
                        sends, receives)
            for bank in BANKS3:
                (run / f"{bank}.key").symlink_to(source / f"{bank}.key")
                (run / f"{bank}.vstore").symlink_to(source / f"{bank}.vstore")
            (run / "coordinator.key").symlink_to(source / "coordinator.key")
            out = f"out.{kind}"
            assert step(finish_args(run, out, "--window", window), run, capsys)[0] == 0
            flags[window] = read_flags(run / out)
        # Every point reached its place: a misplaced one would flip its payment's flag.
        assert flags[WINDOW] == flags["100000"] == data.truth

    def test_csv_output_is_the_input_plus_the_column_byte_for_byte(self, tmp_path, capsys):
        data = prepare(tmp_path, payments=40, seed=9)
        # Quoting, an embedded newline, blanks kept in values, a blank line, a BOM: the
        # output repeats every value as read.
        text = (tmp_path / "payments.csv").read_text(encoding="utf-8").splitlines(True)
        text[3] = text[3].rstrip("\n").replace(",EUR,", ',"EUR\nline two",') + "\n"
        text.insert(5, "\n")
        text[8] = text[8].replace(",EUR,", ",  EUR ,")
        (tmp_path / "odd.csv").write_text("\ufeff" + "".join(text), encoding="utf-8")
        assert step(query_args(tmp_path, "odd.csv", "--window", WINDOW), tmp_path,
                    capsys)[0] == 0
        assert step(finish_args(tmp_path, "out.csv", "--window", WINDOW), tmp_path,
                    capsys)[0] == 0
        with open(tmp_path / "odd.csv", newline="", encoding="utf-8-sig") as stream:
            rows = [row for row in csv.reader(stream) if row]
        expected = io.StringIO(newline="")
        writer = csv.writer(expected)
        writer.writerow([*rows[0], "matched"])
        for row, flag in zip(rows[1:], data.truth):
            writer.writerow([*row, "true" if flag else "false"])
        assert (tmp_path / "out.csv").read_bytes() == expected.getvalue().encode("utf-8")

    def test_parquet_output_keeps_every_column_and_type(self, prepared, tmp_path, capsys):
        pa = pytest.importorskip("pyarrow")
        import pyarrow.parquet as pq
        source, data = prepared
        table = pq.read_table(source / to_parquet(source, "payments.csv"))
        table = table.append_column("amount_cents", pa.array(range(len(table)), pa.int64()))
        pq.write_table(table, tmp_path / "typed.parquet", row_group_size=9)
        for name in (*BANKS3, "coordinator"):
            (tmp_path / f"{name}.key").symlink_to(source / f"{name}.key")
        for bank in BANKS3:
            (tmp_path / f"{bank}.vstore").symlink_to(source / f"{bank}.vstore")
        assert step(query_args(tmp_path, "typed.parquet", "--window", WINDOW), tmp_path,
                    capsys)[0] == 0
        assert step(finish_args(tmp_path, "out.parquet", "--window", WINDOW), tmp_path,
                    capsys)[0] == 0
        written = pq.read_table(tmp_path / "out.parquet")
        assert written.drop_columns(["matched"]).equals(table)
        assert written.column("matched").to_pylist() == data.truth


class TestABadRowInTheLastWindow:
    @pytest.mark.parametrize("column, value, expected", [
        (synthetic.RECEIVER_BANK_COLUMN, "ZZZZ", "column 'creditor_bank': unknown bank 'ZZZZ'"),
        ("creditor_name", " ", "column 'creditor_name': the value is empty"),
    ])
    def test_query_stops_and_leaves_no_file(self, prepared, tmp_path, capsys, column, value,
                                            expected):
        source, _ = prepared
        with open(source / "payments.csv", newline="", encoding="utf-8") as stream:
            rows = list(csv.reader(stream))
        rows[-1][rows[0].index(column)] = value
        late = tmp_path / "late.csv"
        with open(late, "w", newline="", encoding="utf-8") as stream:
            csv.writer(stream).writerows(rows)
        out = tmp_path / "out"
        out.mkdir()
        args = query_args(source, "payments.csv", "--out-dir", str(out), "--window", WINDOW)
        args[args.index("--payments") + 1] = str(late)
        status, err = step(args, tmp_path, capsys)
        count = len(rows) - 1
        assert status == 2 and err.count("\n") == 1
        assert f"late.csv, row {count} (line {count + 1}), {expected}" in err
        assert list(out.iterdir()) == [] and leftovers(tmp_path) == []

    def test_finish_refuses_a_table_that_is_not_the_run_s(self, prepared, tmp_path, capsys):
        """Without the digest to compare (a run made through the API), a payments table
        of another length or with a bad last row is found while the output is written,
        and no output is left."""
        source, _ = prepared
        run = tmp_path / "run"
        run.mkdir()
        assert step(query_args(source, "payments.csv", "--out-dir", str(run)), run,
                    capsys)[0] == 0
        header = container.describe(str(run / "state.vstate"))
        lines = (source / "payments.csv").read_text(encoding="utf-8").splitlines(True)
        count = len(lines) - 1
        cases = {"longer.csv": ("".join(lines + [lines[-1]]),
                                f"{count + 1:,} payments, but the run has {count}"),
                 "bad.csv": ("".join(lines[:-1] + ["a,b\n"]),
                             f"row {count} (line {count + 1}), column 'debtor_iban': the "
                             f"row has 2 fields")}
        for name in ("coordinator", *BANKS3):
            (run / f"{name}.key").symlink_to(source / f"{name}.key")
        remake(run / "state.vstate", header={"payments": {**header["payments"], "sha256": None}})
        for name, (text, expected) in cases.items():
            (run / name).write_text(text, encoding="utf-8")
            status, err = step(finish_args(run, "out.csv", "--window", WINDOW, "--payments",
                                           str(run / name)), run, capsys)
            assert status == 2 and err.count("\n") == 1 and expected in err, err
            assert not (run / "out.csv").exists() and leftovers(run) == []


class TestTheStateOrder:
    def test_a_repeated_index_is_refused(self, prepared, tmp_path):
        source, _ = prepared
        assert cli.main(query_args(source, "payments.csv", "-q", "--out-dir",
                                   str(tmp_path))) == 0
        path = tmp_path / "state.vstate"
        with container.open_container(str(path), "state") as file:
            header = {k: v for k, v in file.header.items()
                      if k not in ("format", "kind", "sections")}
            parts = {name: file.read(name) for name in file.sections}
        raw = bytearray(parts["order"])
        raw[4:8] = raw[0:4]       # the second position names the first one's payment too
        path.unlink()
        count = header["payments"]["count"]
        with container.ContainerWriter(str(path), "state", [("order", count, 4),
                                                            ("gamma", count, 32),
                                                            ("delta", count, 32)]) as out:
            out.write("order", 0, bytes(raw))
            out.write("gamma", 0, parts["gamma"])
            out.write("delta", 0, parts["delta"])
            out.header = header
        with pytest.raises(container.FileRefused, match="not a permutation"):
            state_file.read_state(str(path), 7)


class TestMappedStores:
    def test_the_store_is_a_read_only_view_of_the_file_until_closed(self, prepared):
        source, _ = prepared
        path = source / "ABNA.vstore"
        store = read_store(str(path))
        with container.open_container(str(path), "store") as file:
            assert store.store == file.read("store")
        assert isinstance(store.store, memoryview) and store.store.readonly
        mapping = store.store.obj
        store.close()
        assert mapping.closed
        with pytest.raises(ValueError):
            bytes(store.store)

    def test_steps_leave_no_file_or_mapping_open(self, prepared, tmp_path, capsys):
        source, _ = prepared
        with warnings.catch_warnings(record=True) as caught:
            warnings.simplefilter("always", ResourceWarning)
            assert step(query_args(source, "payments.csv", "--out-dir", str(tmp_path)),
                        tmp_path, capsys)[0] == 0
            for name in (*BANKS3, "coordinator"):
                (tmp_path / f"{name}.key").symlink_to(source / f"{name}.key")
            assert step(finish_args(tmp_path, "out.csv", "--window", WINDOW), tmp_path,
                        capsys)[0] == 0
            gc.collect()
        assert [str(w.message) for w in caught if w.category is ResourceWarning] == []
