"""Smoke run until the protocol driver exists: import the module and make a key pair."""
import veltrane

public_key, secret_key = veltrane.key_gen()
print("veltrane imported; key_gen gave a", len(public_key), "byte public key")
