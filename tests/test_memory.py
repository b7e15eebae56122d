"""Exhausted memory raises MemoryError instead of ending the process."""

import textwrap

from conftest import run_python

# Each case runs in its own interpreter under an address-space limit set
# after its huge argument exists, so only native memory can run out: the
# copy of an argument read item by item, or a result. An argument read as a
# buffer is not copied, so it reaches the operation's own checks.
LIMITED = textwrap.dedent("""
    import resource, veltrane

    def mapped():
        with open("/proc/self/status") as status:
            for line in status:
                if line.startswith("VmSize:"):
                    return int(line.split()[1]) * 1024

    big_bytes = bytes(96 << 20)
    big_text = "x" * (96 << 20)
    limit = mapped() + (48 << 20)
    resource.setrlimit(resource.RLIMIT_AS, (limit, limit))

    for name, call in [
        ("bytes", lambda: veltrane.decrypt(big_bytes, b"")),
        ("items", lambda: veltrane.decrypt(memoryview(big_bytes).cast("b"), b"")),
        ("result", lambda: veltrane.randomize(memoryview(big_bytes))),
        ("rows", lambda: veltrane.build_okvs(b"", [["a"], [big_text]])),
    ]:
        try:
            call()
        except MemoryError:
            print(name, "MemoryError")
        except BaseException as error:
            print(name, type(error).__name__, error)
    # The process goes on working afterwards.
    try:
        veltrane.decrypt(b"", b"")
    except BaseException as error:
        print("after", type(error).__name__)
""")


def test_huge_arguments_raise_memory_error():
    result = run_python(LIMITED)
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines() == [
        "bytes PanicException source slice length (0) does not match destination slice "
        "length (32)",
        "items MemoryError", "result MemoryError", "rows MemoryError", "after PanicException"]

