"""Times the six data-carrying functions at several sizes and pool sizes.

For each pool size a fresh interpreter runs with RAYON_NUM_THREADS set (the
pool is sized once per process). Every figure is printed as items per second
and as the cost of one item in units of one variable-base multiplication,
measured in the same run: the 1-thread time of decrypt per point (decompress,
mul_point, compress), a unit that machine noise barely moves.

    python bench/bench_functions.py [--sizes 10000,100000] [--threads 1,2]
"""
import argparse
import json
import os
import subprocess
import sys
import textwrap

CHILD = textwrap.dedent("""
    import json, sys, time
    import veltrane as v

    sizes = json.loads(sys.argv[1])

    def timed(f, *a):
        t = time.perf_counter(); r = f(*a); return time.perf_counter() - t, r

    pk_a, sk_a = v.key_gen(); pk_b, sk_b = v.key_gen(); pk_c, sk_c = v.key_gen()
    out = {}
    for n in sizes:
        rows_a = [[f"acct-a-{i:08d}", "bank a"] for i in range(n)]
        rows_b = [[f"acct-b-{i:08d}", "bank b"] for i in range(n)]
        r = {}
        r["build_okvs"], store_a = timed(v.build_okvs, pk_a, rows_a)
        store_b = v.build_okvs(pk_b, rows_b)
        r["initiate_queries"], q1 = timed(v.initiate_queries, rows_a, rows_b, store_a, store_b, pk_c)
        q2 = v.initiate_queries(rows_a, rows_b, store_a, store_b, pk_c)
        r["randomize"], q1 = timed(v.randomize, q1)
        r["combine"], (s, rcv, g, d) = timed(v.combine, q1, q2)
        r["decrypt"], sp = timed(v.decrypt, s, sk_a)
        rp = v.decrypt(rcv, sk_b)
        r["finish"], flags = timed(v.finish, sp, rp, g, d, sk_c)
        assert all(flags), "every payment should match"
        out[n] = r
    print(json.dumps(out))
""")


def run(threads, sizes):
    env = dict(os.environ, RAYON_NUM_THREADS=str(threads))
    done = subprocess.run([sys.executable, "-c", CHILD, json.dumps(sizes)], env=env,
                          capture_output=True, text=True, check=True)
    return {int(k): v for k, v in json.loads(done.stdout).items()}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--sizes", default="10000,100000")
    parser.add_argument("--threads", default="1,2")
    args = parser.parse_args()
    sizes = [int(s) for s in args.sizes.split(",")]
    threads = [int(t) for t in args.threads.split(",")]
    if 1 not in threads:
        threads.insert(0, 1)

    results = {t: run(t, sizes) for t in threads}
    # The unit: one decrypt item on one thread at the largest size.
    unit = results[1][max(sizes)]["decrypt"] / max(sizes)
    print(f"unit: one mul_point item (1-thread decrypt per point) = {unit * 1e6:.1f} us")
    print(f"{'function':18} {'items':>8} {'threads':>7} {'items/s':>10} {'us/item':>9} {'units':>7}")
    for t in threads:
        for n in sizes:
            for name, seconds in results[t][n].items():
                per = seconds / n
                print(f"{name:18} {n:>8} {t:>7} {n / seconds:>10.0f} {per * 1e6:>9.1f} "
                      f"{per / unit:>7.2f}")


if __name__ == "__main__":
    main()
