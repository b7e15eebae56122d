"""Times the six data-carrying functions on each backend and pool size.

Every configuration runs in a fresh interpreter, since the backend
(VELTRANE_BACKEND) is chosen once per process and the pool is sized once per
process (RAYON_NUM_THREADS): scalar and every lane backend this processor
runs natively (ifma, avx512f, avx2), each at 1 and 2 threads by default. Each
function is timed on `size` items (rows for build_okvs, queries
for initiate_queries and randomize, pairs for combine, points for decrypt,
positions for finish), best of `repeats` calls.

Figures per item are wall-clock microseconds and the cost in L, where L is one
libsodium variable-base multiplication (PyNaCl's
crypto_scalarmult_ed25519_noclamp) timed in the same run: in every child at
its start and its end, and L is the median over all of them. The targets are
per item on one thread with the lanes backend; they are printed beside the
1-thread figures of every backend, and met/missed is judged on the backend
that auto takes here.

    python bench/bench_functions.py [--size 16000] [--repeats 2]
                                    [--threads 1,2] [--backends scalar,avx2,...]
"""
import argparse
import json
import os
import statistics
import subprocess
import sys
import textwrap

FUNCTIONS = ["build_okvs", "initiate_queries", "randomize", "combine", "decrypt", "finish"]
# Cost per item in L, one thread, lanes backend.
TARGETS = {"build_okvs": 0.20, "initiate_queries": 0.29, "randomize": 0.29, "combine": 0.075,
           "decrypt": 0.07, "finish": 0.095}
# The native lane backends by setting, fastest first, with the flags each needs
# (the operating system's register support, which the module also checks, is
# assumed); auto takes the first this processor has.
NATIVE = [("ifma", {"avx512f", "avx512ifma"}), ("avx512f", {"avx512f"}), ("avx2", {"avx2"})]

CHILD = textwrap.dedent("""
    import json, os, statistics, sys, time
    import nacl.bindings as nb
    import veltrane as v

    n, repeats = int(sys.argv[1]), int(sys.argv[2])

    def sodium_rounds(rounds=7, calls=800):
        s = nb.crypto_core_ed25519_scalar_reduce(os.urandom(64))
        q = nb.crypto_scalarmult_ed25519_base_noclamp(s)
        mul = nb.crypto_scalarmult_ed25519_noclamp
        out = []
        for _ in range(rounds):
            t = time.perf_counter()
            for _ in range(calls):
                mul(s, q)
            out.append((time.perf_counter() - t) / calls)
        return out

    def best(f, *a):
        times, result = [], None
        for _ in range(repeats):
            t = time.perf_counter(); result = f(*a); times.append(time.perf_counter() - t)
        return min(times), result

    def system_sodium_rounds(rounds=7, calls=800):
        # The system libsodium (the C++ benchmarks' reference) beside PyNaCl's own copy.
        import ctypes, ctypes.util
        name = ctypes.util.find_library("sodium")
        if not name:
            return []
        lib = ctypes.CDLL(name)
        if lib.sodium_init() < 0:
            return []
        s = nb.crypto_core_ed25519_scalar_reduce(os.urandom(64))
        q = nb.crypto_scalarmult_ed25519_base_noclamp(s)
        out_buf = ctypes.create_string_buffer(32)
        mul = lib.crypto_scalarmult_ed25519_noclamp
        out = []
        for _ in range(rounds):
            t = time.perf_counter()
            for _ in range(calls):
                mul(out_buf, s, q)
            out.append((time.perf_counter() - t) / calls)
        return out

    L = sodium_rounds()
    L_system = system_sodium_rounds()
    pk_a, sk_a = v.key_gen(); pk_b, sk_b = v.key_gen(); pk_c, sk_c = v.key_gen()
    rows_a = [[f"acct-a-{i:08d}", "bank a"] for i in range(n)]
    rows_b = [[f"acct-b-{i:08d}", "bank b"] for i in range(n)]
    r = {}
    r["build_okvs"], store_a = best(v.build_okvs, pk_a, rows_a)
    store_b = v.build_okvs(pk_b, rows_b)
    r["initiate_queries"], q1 = best(v.initiate_queries, rows_a, rows_b, store_a, store_b, pk_c)
    q2 = v.initiate_queries(rows_a, rows_b, store_a, store_b, pk_c)
    r["randomize"], q1 = best(v.randomize, q1)
    r["combine"], (s, rcv, g, d) = best(v.combine, q1, q2)
    r["decrypt"], sp = best(v.decrypt, s, sk_a)
    rp = v.decrypt(rcv, sk_b)
    r["finish"], flags = best(v.finish, sp, rp, g, d, sk_c)
    assert all(flags), "every payment should match"
    L += sodium_rounds()
    L_system += system_sodium_rounds()
    print(json.dumps({"seconds": r, "L": L, "L_system": L_system}))
""")


def cpu_flags():
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("flags"):
                    return set(line.split(":", 1)[1].split())
    except OSError:
        pass
    return set()


def native_here():
    flags = cpu_flags()
    return [name for name, needs in NATIVE if needs <= flags]


def backend_name(setting):
    """The backend a setting picks. The module does not report its choice, so
    for auto this follows its rule from the processor's flags."""
    if setting == "auto":
        here = native_here()
        return f"{here[0]}-lanes" if here else "scalar"
    return setting if setting == "scalar" else f"{setting}-lanes"


def run(backend, threads, size, repeats):
    env = dict(os.environ, RAYON_NUM_THREADS=str(threads), VELTRANE_BACKEND=backend)
    done = subprocess.run([sys.executable, "-c", CHILD, str(size), str(repeats)], env=env,
                          capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit(f"child for VELTRANE_BACKEND={backend} RAYON_NUM_THREADS={threads} failed:\n"
                 f"{done.stderr}")
    return json.loads(done.stdout)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--size", type=int, default=16000)
    parser.add_argument("--repeats", type=int, default=2)
    parser.add_argument("--threads", default="1,2")
    parser.add_argument("--backends", default=",".join(["scalar"] + native_here()))
    args = parser.parse_args()
    threads = [int(t) for t in args.threads.split(",")]
    backends = args.backends.split(",")
    if 1 not in threads:
        threads.insert(0, 1)

    results = {}
    for b in backends:
        for t in threads:
            results[b, t] = run(b, t, args.size, args.repeats)
    L = statistics.median(x for r in results.values() for x in r["L"])
    print(f"L = PyNaCl crypto_scalarmult_ed25519_noclamp = {L * 1e6:.1f} us "
          f"(median of {sum(len(r['L']) for r in results.values())} rounds over "
          f"{len(results)} interpreters; per interpreter: "
          + ", ".join(f"{b}/{t}t {statistics.median(r['L']) * 1e6:.1f}"
                      for (b, t), r in results.items()) + ")")
    system = [x for r in results.values() for x in r["L_system"]]
    if system:
        print(f"for comparison, the system libsodium (the C++ benchmarks' L) through ctypes: "
              f"{statistics.median(system) * 1e6:.1f} us, so 1 L here = "
              f"{L / statistics.median(system):.2f} system L")
    print(f"size {args.size} items per function, best of {args.repeats}; "
          f"auto here: {backend_name('auto')} (inferred from the processor's flags)")
    print()
    head = (f"{'function':17} {'setting':10} {'backend':16} {'thr':>3} {'us/item':>9} "
            f"{'L/item':>7} {'target':>7} {'met':>4} {'lanes/sc':>8} {'2t/1t':>6}")
    print(head)
    print("-" * len(head))
    for name in FUNCTIONS:
        for b in backends:
            for t in threads:
                per = results[b, t]["seconds"][name] / args.size
                cost = per / L
                target = met = ""
                if t == 1:
                    target = f"{TARGETS[name]:.3f}"
                    if backend_name(b) == backend_name("auto") and b != "scalar":
                        met = "yes" if cost <= TARGETS[name] else "NO"
                speed_up = ""
                if b != "scalar" and ("scalar", t) in results:
                    speed_up = f"{results['scalar', t]['seconds'][name] / (per * args.size):.2f}x"
                scaling = ""
                if t != 1:
                    scaling = f"{results[b, 1]['seconds'][name] / (per * args.size):.2f}"
                print(f"{name:17} {b:10} {backend_name(b):16} {t:>3} {per * 1e6:>9.2f} "
                      f"{cost:>7.3f} {target:>7} {met:>4} {speed_up:>8} {scaling:>6}")
        print()
    print("lanes/sc: scalar time over this setting's time at the same thread count; "
          "2t/1t: 1-thread time over this row's time (2.00 is perfect scaling)")


if __name__ == "__main__":
    main()
