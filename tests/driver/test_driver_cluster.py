"""The payment chunks as Dask tasks give the same flags as the local run."""

from __future__ import annotations

import pytest

from driver_support import read_flags, run_main, small_data, views, write_inputs
from veltrane_tools.matching import run_matching

distributed = pytest.importorskip("distributed")


def test_threaded_cluster_equals_local_run():
    data = small_data(seed=21, banks=3, accounts=200, payments=300)
    rows, payments = views(data)
    local = run_matching(rows, payments, chunk_size=25)
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=False,
                                  dashboard_address=None) as cluster, \
            distributed.Client(cluster) as client:
        # 9 bank pairs in chunks of 25: more tasks than the window of tasks in flight.
        remote = run_matching(rows, payments, chunk_size=25, client=client)
    assert remote.flags == local.flags == data.truth
    assert remote.workers == 2 and remote.chunks == local.chunks > 9
    assert remote.timings.items["finish"] == len(payments)
    assert remote.timings.calls["initiate_queries"] == 2 * remote.chunks


def test_cluster_options(tmp_path, capsys):
    data = small_data(seed=5, banks=2, accounts=150, payments=120)
    args = [*write_inputs(data, tmp_path), "--chunk-size", "30"]
    # --local-cluster: worker processes of their own.
    status, out, err = run_main([*args, "--local-cluster", "2",
                                 "-o", str(tmp_path / "local.csv")], capsys)
    assert status == 0, err
    assert "local Dask cluster of 2 worker(s)" in out
    assert read_flags(tmp_path / "local.csv") == data.truth
    # --scheduler: an existing cluster, reached by its address.
    with distributed.LocalCluster(n_workers=1, threads_per_worker=2, processes=False,
                                  dashboard_address=None) as cluster:
        status, out, err = run_main([*args, "--scheduler", cluster.scheduler_address,
                                     "-o", str(tmp_path / "remote.csv")], capsys)
    assert status == 0, err
    assert f"the Dask scheduler at {cluster.scheduler_address}" in out
    assert read_flags(tmp_path / "remote.csv") == data.truth


def test_query_chunks_on_a_cluster(tmp_path, capsys):
    from roles_support import BANKS, finish_args, make_run, step

    data = make_run(tmp_path)
    (tmp_path / "c").mkdir()
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=False,
                                  dashboard_address=None) as cluster:
        status, err = step(["query", "--key", str(tmp_path / "coordinator.key"), "--payments",
                            str(tmp_path / "payments.csv"), "--out-dir", str(tmp_path / "c"),
                            "--chunk-size", "10", "--scheduler", cluster.scheduler_address,
                            *[a for b in BANKS for a in ("--store", str(tmp_path / f"{b}.vstore"))]],
                           tmp_path, capsys)
    assert status == 0, err
    for bank in BANKS:
        status, err = step(["answer", "--key", str(tmp_path / f"{bank}.key"), "--request",
                            str(tmp_path / "c" / f"request-{bank}.vreq")], tmp_path, capsys)
        assert status == 0, err
    args = finish_args(tmp_path, *[str(tmp_path / "c" / f"response-{b}.vresp") for b in BANKS])
    args[args.index("--state") + 1] = str(tmp_path / "c" / "state.vstate")
    status, err = step(args, tmp_path, capsys)
    assert status == 0, err
    assert read_flags(tmp_path / "out.csv") == data.truth
