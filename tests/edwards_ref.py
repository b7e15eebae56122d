"""A slow, plain reference of the edwards25519 group for checking results from Python.

Written from the curve's definition (affine coordinates, Python integers), so it
shares no code with the module: lenient decoding (y taken modulo p, sign bit with
x = 0 accepted), canonical encoding, the complete addition law, double-and-add.
"""

P = 2**255 - 19
D = (-121665 * pow(121666, P - 2, P)) % P
SQRT_M1 = pow(2, (P - 1) // 4, P)
L = 2**252 + 27742317777372353535851937790883648493
IDENTITY = (0, 1)


def _sqrt(a):
    """A square root of a modulo P, or None."""
    r = pow(a, (P + 3) // 8, P)
    if r * r % P != a % P:
        r = r * SQRT_M1 % P
    return r if r * r % P == a % P else None


def decompress(b):
    b = bytes(b)
    assert len(b) == 32
    n = int.from_bytes(b, "little")
    sign = n >> 255
    y = (n & ((1 << 255) - 1)) % P
    x = _sqrt((y * y - 1) * pow(D * y * y + 1, P - 2, P) % P)
    if x is None:
        return None
    if x & 1:
        x = P - x
    if sign:
        x = (P - x) % P
    return (x, y)


def compress(pt):
    x, y = pt
    return (y | ((x & 1) << 255)).to_bytes(32, "little")


def add(a, b):
    x1, y1 = a
    x2, y2 = b
    t = D * x1 * x2 * y1 * y2 % P
    x3 = (x1 * y2 + x2 * y1) * pow(1 + t, P - 2, P) % P
    y3 = (y1 * y2 + x1 * x2) * pow(1 - t, P - 2, P) % P
    return (x3, y3)


def neg(a):
    return ((P - a[0]) % P, a[1])


def mul(k, pt):
    result = IDENTITY
    while k:
        if k & 1:
            result = add(result, pt)
        pt = add(pt, pt)
        k >>= 1
    return result


BASE = decompress(bytes([0x58]) + bytes([0x66] * 31))


def scalar(b):
    """A secret key as the module reads it: bit 255 cleared, not reduced."""
    return int.from_bytes(bytes(b), "little") & ((1 << 255) - 1)
