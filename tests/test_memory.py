"""Exhausted memory raises MemoryError instead of ending the process."""

import textwrap

from conftest import run_python

# Each case runs in its own interpreter under an address-space limit set
# after its huge argument exists, so only the native copy can run out.
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
        ("memoryview", lambda: veltrane.randomize(memoryview(big_bytes))),
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
    assert result.stdout.splitlines() == ["bytes MemoryError", "memoryview MemoryError",
                                          "rows MemoryError", "after PanicException"]

