"""Stores of banks too large to build in one piece: split into shards of one size, read
back by the coordinator, and matched exactly as a single store would be."""

from __future__ import annotations

import json
from pathlib import Path

import pytest

from driver_support import small_data, views
from roles_support import remake
from veltrane_tools import answer, finish, generate, publish, query, read_store
from veltrane_tools.container import FileRefused, open_container
from veltrane_tools.runner import sendable
from veltrane_tools.shard_build import KeySpill, ShardOverflow, shard_rows
from veltrane_tools.shards import ShardedStore, shard_capacity
from veltrane_tools.store_file import store_size

SHARD_KEYS = 40   # 120 accounts: three or four shards


@pytest.fixture(scope="module")
def run(tmp_path_factory):
    """Two banks, the first sharded, the second in one piece; a finished run."""
    folder = tmp_path_factory.mktemp("sharded")
    data = small_data(seed=21, banks=2, accounts=120, payments=300)
    rows, payments = views(data)
    first, second = sorted(rows)
    keys = {name: generate(name) for name in (first, second, "coordinator")}
    stores = {}
    for bank, shard_keys in ((first, SHARD_KEYS), (second, 10**6)):
        # Every row twice over: repeats must be stored once, whichever shard they meet.
        publish(keys[bank], rows[bank] + rows[bank][::-1], str(folder / f"{bank}.vstore"),
                columns=len(rows[bank][0]), shard_keys=shard_keys)
        stores[bank] = read_store(str(folder / f"{bank}.vstore"))
    asked = query(payments, stores, keys["coordinator"], str(folder), chunk_size=64)
    responses = []
    for bank in (first, second):
        responses.append(str(folder / f"response-{bank}.vresp"))
        answer(asked.requests[bank], keys[bank], responses[-1])
    flags = finish(asked.state, responses, keys["coordinator"], chunk_size=64).flags
    return folder, data, stores, first, second, flags


def test_sharded_and_whole_stores_match_exactly(run):
    _, data, _, _, _, flags = run
    assert flags == data.truth
    assert 0 < sum(flags) < len(flags)


def test_shards_are_equal_and_reveal_only_the_row_count(run):
    folder, _, stores, first, second, _ = run
    sharded, whole = stores[first], stores[second]
    assert isinstance(sharded.store, ShardedStore) and not isinstance(whole.store, ShardedStore)
    count = len(sharded.store.shards)
    assert count == 240 // SHARD_KEYS and sharded.rows == 240
    size = store_size(shard_capacity(240, count))
    assert {len(shard) for shard in sharded.store.shards} == {size}
    with open_container(str(folder / f"{first}.vstore"), "store") as file:
        assert file.header["version"] == 2
        assert set(file.header) - {"format", "kind", "sections"} == {
            "bank", "public_key", "fingerprint", "rows", "key_scheme", "version", "shards"}
        assert set(file.header["shards"]) == {"count", "salt"}
    with open_container(str(folder / f"{second}.vstore"), "store") as file:
        assert "version" not in file.header   # a bank that fits in one store: unchanged


@pytest.mark.parametrize("change, message", [
    ({"version": 3}, "store version 3"),
    ({"version": True}, "store version True"),
    ({"shards": {"count": 2, "salt": "00" * 16}}, "'shards' is missing or malformed"),
    ({"shards": {"count": "6", "salt": "00" * 16}}, "'shards' is missing or malformed"),
    ({"shards": {"salt": "00" * 16}}, "'shards' is missing or malformed"),
    ({"shards": {"count": 6, "salt": "zz" * 16}}, "'shards' is missing or malformed"),
    ({"shards": {"count": 6, "salt": "00" * 8}}, "'shards' is missing or malformed"),
    ({"rows": 2000}, "not what 6 shards over 2,000 rows hold"),
])
def test_a_wrong_sharded_header_is_refused(run, tmp_path, change, message):
    folder, _, _, first, _, _ = run
    path = tmp_path / "store.vstore"
    path.write_bytes((folder / f"{first}.vstore").read_bytes())
    remake(path, header=change)
    with pytest.raises(FileRefused, match=message):
        read_store(str(path))


def test_shards_are_mapped_here_and_sent_as_bytes(run):
    _, _, stores, first, _, _ = run
    mapped = stores[first].store
    assert all(isinstance(shard, memoryview) and shard.readonly for shard in mapped.shards)
    sent = sendable({"store": mapped})["store"]
    assert sent.salt == mapped.salt
    assert [type(shard) for shard in sent.shards] == [bytes] * len(mapped.shards)
    assert list(sent.shards) == [bytes(shard) for shard in mapped.shards]


def test_a_shard_over_its_capacity_is_split_again(tmp_path):
    spill = KeySpill(str(tmp_path / "store.vstore"))
    try:
        spill.add([[f"1:{n}"] for n in range(50)])
        spill.add([["1:7"]] * 20)   # repeats count once
        (bucket,) = spill.split(1)
        assert len(shard_rows(bucket, 60)) == 60
        with pytest.raises(ShardOverflow):
            shard_rows(bucket, 49)
        salt = spill.salt
        spill.new_salt()
        assert spill.salt != salt and spill.rows == 70
        (bucket,) = spill.split(1)
        assert [row for row in shard_rows(bucket, 50)] == [[f"1:{n}"] for n in range(50)]
    finally:
        spill.close()
    assert list(Path(tmp_path).iterdir()) == []   # the spill files have no names


def test_fillers_never_match_an_account_and_differ():
    from veltrane_tools.shards import filler_row
    from veltrane_tools.protocol import key_of
    fillers = {filler_row()[0] for _ in range(1000)}
    assert len(fillers) == 1000
    assert not any(text[:1].isdigit() for text in fillers)
    assert key_of(["~" + "0" * 32])[0][:1].isdigit()
