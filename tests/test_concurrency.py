"""Several Python threads calling the module at once.

Each call holds the interpreter lock, so calls from different threads take
turns, but they all share the one worker pool and each caller thread has its
own random generator. Every thread works on its own inputs and checks
results it can predict; a thread whose calls fail must not disturb the
others, and the module works normally after a PanicException.
"""

import threading

import veltrane as v

from conftest import IDENTITY, NON_POINT, ONE, panic_of

THREADS = 6
ROUNDS = 8
POINTS = 24


def fresh_points(n):
    """n random (canonically encoded) points: public keys of fresh pairs."""
    return b"".join(bytes(v.key_gen()[0]) for _ in range(n))


def pieces(data, size):
    return [bytes(data[i:i + size]) for i in range(0, len(data), size)]


def checked_round(points, key, other_key):
    """One round of calls on a thread's own inputs; returns what went wrong."""
    wrong = []
    n = len(points) // 32
    if v.decrypt(points, ONE) != list(points):
        wrong.append("decrypt by one changed the points")
    # Multiplying by two keys in either order gives the same points.
    if v.decrypt(v.decrypt(points, key), other_key) != v.decrypt(v.decrypt(points, other_key), key):
        wrong.append("decrypt does not commute")
    # A ciphertext of four copies of one point, and the identity ciphertext.
    ciphertexts = b"".join(p * 4 for p in pieces(points, 32))
    identities = IDENTITY * 4 * n
    if v.combine(ciphertexts, identities) != (list(points),) * 4:
        wrong.append("combine with the identity changed the points")
    for c in pieces(bytes(v.randomize(ciphertexts)), 128):
        if len(set(pieces(c, 32))) != 1:
            wrong.append("randomize used different scalars within a ciphertext")
            break
    # delta = sender + identity + key * identity holds; any other delta fails.
    if v.finish(points, IDENTITY * n, IDENTITY * n, points, key) != [True] * n:
        wrong.append("finish refused a matching delta")
    shifted = points[32:] + points[:32]
    if True in v.finish(points, IDENTITY * n, IDENTITY * n, shifted, key):
        wrong.append("finish accepted a different delta")
    return wrong


def run_threads(target, count):
    barrier = threading.Barrier(count)
    results = [None] * count
    errors = []

    def body(i):
        try:
            barrier.wait()
            results[i] = target(i)
        except BaseException as error:  # a PanicException here is a failure too
            errors.append(f"thread {i}: {type(error).__name__}: {error}")

    threads = [threading.Thread(target=body, args=(i,)) for i in range(count)]
    for t in threads:
        t.start()
    for t in threads:
        t.join(120)
        assert not t.is_alive(), "a caller thread hung"
    assert errors == []
    return results


def test_concurrent_callers_get_correct_results():
    inputs = [(fresh_points(POINTS), bytes(v.key_gen()[1]), bytes(v.key_gen()[1]))
              for _ in range(THREADS)]

    def work(i):
        wrong = []
        for _ in range(ROUNDS):
            wrong += checked_round(*inputs[i])
        return wrong

    assert run_threads(work, THREADS) == [[]] * THREADS


def test_key_gen_from_many_threads_gives_distinct_keys():
    """Each thread's generator is seeded on its own: no two threads repeat."""
    results = run_threads(lambda i: [tuple(v.key_gen()[1]) for _ in range(50)], THREADS)
    keys = [key for keys in results for key in keys]
    assert len(set(keys)) == len(keys)


def test_failing_calls_do_not_disturb_other_threads():
    good = [(fresh_points(POINTS), bytes(v.key_gen()[1]), bytes(v.key_gen()[1]))
            for _ in range(THREADS - 2)]
    # The bad piece sits late in the list, so many workers finish their
    # pieces before the failure is reported.
    bad_points = fresh_points(40) + NON_POINT + fresh_points(3)

    def failing(_):
        messages = set()
        for _ in range(ROUNDS * 3):
            for call in (lambda: v.decrypt(bad_points, ONE),
                         lambda: v.randomize(bad_points * 4),
                         lambda: v.combine(bytes(100), bytes(100)),
                         lambda: v.finish(bad_points, bad_points, bad_points, bad_points, b"")):
                try:
                    call()
                except Exception as error:
                    messages.add(f"ordinary exception {type(error).__name__}")
                except BaseException as error:
                    messages.add(type(error).__name__)
                else:
                    messages.add("returned")
        return messages

    def work(i):
        if i < 2:
            return failing(i)
        wrong = []
        for _ in range(ROUNDS):
            wrong += checked_round(*good[i - 2])
        return wrong

    results = run_threads(work, THREADS)
    assert results[:2] == [{"PanicException"}] * 2
    assert results[2:] == [[]] * (THREADS - 2)


def test_calls_after_a_panic_work_normally():
    points = fresh_points(POINTS)
    key = bytes(v.key_gen()[1])
    before = v.decrypt(v.decrypt(points, key), ONE)
    for bad in (points + NON_POINT, NON_POINT + points):
        assert str(panic_of(v.decrypt, bad, key)) == "called `Option::unwrap()` on a `None` value"
        assert v.decrypt(v.decrypt(points, key), ONE) == before
        assert checked_round(points, key, ONE) == []
    # A panic on one thread, then normal calls on another.
    run_threads(lambda i: panic_of(v.randomize, bytes(127)), 1)
    assert run_threads(lambda i: checked_round(points, key, ONE), 2) == [[], []]
