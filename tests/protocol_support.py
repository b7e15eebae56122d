"""Shared helpers for the protocol tests: the panic type, a party's keys, and a full run."""
import veltrane

import edwards_ref as ref
from conftest import IDENTITY as IDENTITY_BYTES
from conftest import NON_POINT as INVALID_POINT
from conftest import panic_of


def panic(call, *args):
    """Run a call that must raise the module's PanicException; return its message."""
    return str(panic_of(call, *args))


class Party:
    def __init__(self):
        public, secret = veltrane.key_gen()
        self.public = bytes(public)
        self.secret = bytes(secret)
        self.x = ref.scalar(self.secret)


def run_protocol(sender_bank, receiver_bank, coordinator, sender_store, receiver_store,
                 sender_rows, receiver_rows):
    """Every coordinator and bank step after the stores exist; one flag per payment."""
    first = veltrane.initiate_queries(sender_rows, receiver_rows, sender_store, receiver_store,
                                      coordinator.public)
    second = veltrane.initiate_queries(sender_rows, receiver_rows, sender_store, receiver_store,
                                       coordinator.public)
    senders, receivers, gammas, deltas = veltrane.combine(veltrane.randomize(first),
                                                          veltrane.randomize(second))
    sender_points = veltrane.decrypt(senders, sender_bank.secret)
    receiver_points = veltrane.decrypt(receivers, receiver_bank.secret)
    return veltrane.finish(sender_points, receiver_points, gammas, deltas, coordinator.secret)


def match_flags(sender_bank_rows, receiver_bank_rows, sender_queries, receiver_queries):
    """The whole protocol with fresh parties and stores; one flag per query."""
    sender, receiver, coordinator = Party(), Party(), Party()
    return run_protocol(sender, receiver, coordinator,
                        veltrane.build_okvs(sender.public, sender_bank_rows),
                        veltrane.build_okvs(receiver.public, receiver_bank_rows),
                        sender_queries, receiver_queries)


def residue(ciphertext, xs, xr, xc):
    """delta - xs*sender - xr*receiver - xc*gamma, in the reference group."""
    sender, receiver, gamma, delta = (ref.decompress(ciphertext[i:i + 32]) for i in range(0, 128, 32))
    v = delta
    for k, pt in ((xs, sender), (xr, receiver), (xc, gamma)):
        v = ref.add(v, ref.neg(ref.mul(k, pt)))
    return v
