"""The worker pool as a process sees it: its size from the environment, and
fresh pools and random streams in forked children."""
import multiprocessing
import os
import select
import signal
import subprocess
import sys
import textwrap

import pytest
import veltrane

from conftest import BASE, ONE

COUNT_THREADS = textwrap.dedent("""
    import os, veltrane
    before = len(os.listdir("/proc/self/task"))
    veltrane.decrypt(b"", bytes(32))  # an empty loop still starts the pool
    print(len(os.listdir("/proc/self/task")) - before)
""")


def pool_threads(**env):
    clean = {k: v for k, v in os.environ.items() if not k.startswith("RAYON_")}
    done = subprocess.run([sys.executable, "-c", COUNT_THREADS], env={**clean, **env},
                          capture_output=True, text=True, timeout=60, check=True)
    return int(done.stdout)


CPUS = len(os.sched_getaffinity(0))


@pytest.mark.parametrize("env, threads", [
    ({}, CPUS),
    ({"RAYON_NUM_THREADS": "3"}, 3),
    ({"RAYON_NUM_THREADS": "+4"}, 4),
    ({"RAYON_NUM_THREADS": "0", "RAYON_RS_NUM_CPUS": "5"}, CPUS),
    ({"RAYON_NUM_THREADS": "4 ", "RAYON_RS_NUM_CPUS": "2"}, 2),
    ({"RAYON_NUM_THREADS": "-4", "RAYON_RS_NUM_CPUS": "3"}, 3),
    ({"RAYON_NUM_THREADS": "four"}, CPUS),
    ({"RAYON_RS_NUM_CPUS": "0"}, CPUS),
    ({"RAYON_NUM_THREADS": "99999999999999999999", "RAYON_RS_NUM_CPUS": "2"}, 2),
])
def test_pool_size_from_environment(env, threads):
    assert pool_threads(**env) == threads


def _child_work(_):
    public, _secret = veltrane.key_gen()
    return bytes(public), bytes(veltrane.decrypt(BASE * 64, ONE))


# Forking a process that runs worker threads is what these tests are about;
# Python 3.12 and later warn about it.
FORKS_THREADS = pytest.mark.filterwarnings(
    "ignore:This process .* is multi-threaded, use of fork:DeprecationWarning")


@FORKS_THREADS
def test_forked_child_has_its_own_pool_and_random_stream():
    # Use the pool and this thread's generator before forking.
    assert bytes(veltrane.decrypt(BASE * 8, ONE)) == BASE * 8
    veltrane.key_gen()
    read_end, write_end = os.pipe()
    pid = os.fork()
    if pid == 0:
        try:
            public, points = _child_work(None)
            os.write(write_end, public + (b"ok" if points == BASE * 64 else b"no"))
        finally:
            os._exit(0)
    os.close(write_end)
    parent_public = bytes(veltrane.key_gen()[0])
    ready, _, _ = select.select([read_end], [], [], 60)
    if not ready:
        os.kill(pid, signal.SIGKILL)
        pytest.fail("the forked child hung in its first parallel loop")
    with os.fdopen(read_end, "rb") as pipe:
        got = pipe.read()
    _, status = os.waitpid(pid, 0)
    assert status == 0
    assert got[32:] == b"ok", "the child's parallel loop did not run"
    assert got[:32] != parent_public
    # The parent's pool still works after the fork.
    assert bytes(veltrane.decrypt(BASE * 8, ONE)) == BASE * 8


@FORKS_THREADS
def test_multiprocessing_fork_pool():
    veltrane.decrypt(BASE * 4, ONE)
    veltrane.key_gen()
    with multiprocessing.get_context("fork").Pool(2) as pool:
        results = pool.map(_child_work, range(6), chunksize=1)
    publics = [public for public, _ in results]
    assert all(points == BASE * 64 for _, points in results)
    assert len(set(publics)) == len(publics)
