"""The arithmetic backend: its environment variable, and stores and ciphertexts that
pass between processes running different backends (parties run separate builds on
separate machines, so each byte form must mean the same to all of them)."""
import json
import os
import subprocess
import sys

import pytest

from conftest import run_python

FLAGS = set(open("/proc/cpuinfo").read().split())
# The native lanes by their VELTRANE_BACKEND value, with the processor flags
# each needs; the operating system is assumed to save the registers.
NATIVE = {"ifma": {"avx512f", "avx512ifma"}, "avx512f": {"avx512f"}, "avx2": {"avx2"}}
NATIVE_HERE = [name for name, needs in NATIVE.items() if needs <= FLAGS]
EXPECTED_VALUES = ("VELTRANE_BACKEND must be auto, scalar, ifma, avx512f or avx2 "
                   "(or portable or portable25, for testing)")


def run_with(backend, code, timeout=120):
    env = dict(os.environ, VELTRANE_BACKEND=backend)
    return subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                          timeout=timeout, env=env)


@pytest.mark.parametrize("value", ["fast", "AUTO", "avx512", " scalar", "portable26"])
def test_unknown_value_is_refused_at_every_call(value):
    code = """
import veltrane
for call in (lambda: veltrane.decrypt(b"", bytes(32)), lambda: veltrane.randomize(b""),
             lambda: veltrane.build_okvs(veltrane.key_gen()[0], [["a"]])):
    try:
        call()
    except BaseException as e:
        print(type(e).__name__, e)
"""
    result = run_with(value, code)
    lines = result.stdout.splitlines()
    assert len(lines) == 3, result.stderr
    for line in lines:
        assert line == f'PanicException {EXPECTED_VALUES}, not "{value}"'


@pytest.mark.parametrize("value", ["", "auto", "scalar", "portable", "portable25"] + list(NATIVE))
def test_known_values_work_where_the_processor_can(value):
    code = """
import veltrane
try:
    print(veltrane.decrypt(bytes([1]) + bytes(31), bytes(32)) == [1] + [0] * 31)
except BaseException as e:
    print(type(e).__name__, e)
"""
    result = run_with(value, code)
    if value in NATIVE and value not in NATIVE_HERE:
        assert result.stdout.strip().startswith(
            f'PanicException VELTRANE_BACKEND is "{value}", but this processor'), result.stdout
    else:
        assert result.stdout.strip() == "True", result.stderr


STEP = """
import json, sys, veltrane
state = json.loads(sys.stdin.read())
b = lambda k: bytes(state[k])
step = sys.argv[1]
out = {}
if step == "keys":
    for name in ("s", "r", "c"):
        out["pk_" + name], out["sk_" + name] = veltrane.key_gen()
elif step == "stores":
    rows = [[f"acct-{i}", "x"] for i in range(300)]
    out["store_s"] = veltrane.build_okvs(b("pk_s"), rows)
    out["store_r"] = veltrane.build_okvs(b("pk_r"), rows)
elif step == "queries":
    senders = [[f"acct-{i}", "x"] for i in range(0, 600, 3)]
    receivers = [[f"acct-{i}", "x"] for i in range(0, 400, 2)]
    out["q1"] = veltrane.initiate_queries(senders, receivers, b("store_s"), b("store_r"), b("pk_c"))
    out["q2"] = veltrane.initiate_queries(senders, receivers, b("store_s"), b("store_r"), b("pk_c"))
elif step == "blind":
    lists = veltrane.combine(veltrane.randomize(b("q1")), veltrane.randomize(b("q2")))
    out.update(zip(("ls", "lr", "lg", "ld"), lists))
elif step == "decrypt":
    out["ps"] = veltrane.decrypt(b("ls"), b("sk_s"))
    out["pr"] = veltrane.decrypt(b("lr"), b("sk_r"))
elif step == "finish":
    out["flags"] = veltrane.finish(b("ps"), b("pr"), b("lg"), b("ld"), b("sk_c"))
state.update(out)
print(json.dumps(state))
"""


def backends_here():
    return ["scalar", "portable", "portable25"] + NATIVE_HERE


@pytest.mark.parametrize("rotation", [0, 1, 2])
def test_every_step_can_run_on_a_different_backend(rotation):
    backends = backends_here()
    state = "{}"
    steps = ["keys", "stores", "queries", "blind", "decrypt", "finish"]
    for i, step in enumerate(steps):
        backend = backends[(i + rotation) % len(backends)]
        env = dict(os.environ, VELTRANE_BACKEND=backend)
        result = subprocess.run([sys.executable, "-c", STEP, step], input=state,
                                capture_output=True, text=True, timeout=300, env=env)
        assert result.returncode == 0, (step, backend, result.stderr)
        state = result.stdout
    flags = json.loads(state)["flags"]
    senders = range(0, 600, 3)
    receivers = range(0, 400, 2)
    assert flags == [s < 300 and r < 300 for s, r in zip(senders, receivers)]


def test_deterministic_steps_give_the_same_bytes_on_every_backend():
    code = """
import veltrane
pk, sk = veltrane.key_gen()
rows = [[str(i)] for i in range(40)]
store = veltrane.build_okvs(pk, rows)
q = veltrane.initiate_queries(rows, rows, store, store, pk)
print(bytes(q).hex())
"""
    q = bytes.fromhex(run_python(code).stdout.strip())
    script = f"""
import veltrane
q = bytes.fromhex("{q.hex()}")
lists = veltrane.combine(q, q[128:] + q[:128])
print(bytes(sum(lists, [])).hex(), bytes(veltrane.decrypt(lists[0], bytes(range(32)))).hex())
"""
    outputs = {b: run_with(b, script).stdout for b in backends_here()}
    assert len(set(outputs.values())) == 1, outputs
