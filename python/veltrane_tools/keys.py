"""Key files: a party's secret-key file and the public-key file it hands out.

A secret-key file holds the party's name and its key pair; it is created with mode 0600,
never overwrites an existing file unless asked, and is refused when group or others may
read it, as ssh refuses a private key. A public-key file holds the name and the public
key only. Both use the common layout (container.py), so a damaged key is refused like any
other file. The fingerprint, a short digest of the public key, is what two parties read
to each other over the phone to be sure a file came from whom it claims.
"""

from __future__ import annotations

import hashlib
import os
import re
import stat
from dataclasses import dataclass, field

from .atomic import Together
from .container import ContainerWriter, FileRefused, open_container
from .errors import UserError
from .protocol import KeyPair, Timings, public_of

SECRET_KIND = "secret-key"
PUBLIC_KIND = "public-key"
KEY_BYTES = 32
NAME = re.compile(r"[A-Za-z0-9][A-Za-z0-9_.-]{0,63}")


def fingerprint(public: bytes) -> str:
    """Five groups of four hex digits of the public key's SHA-256 (80 bits)."""
    digits = hashlib.sha256(b"veltrane public key\0" + public).hexdigest()[:20]
    return "-".join(digits[i:i + 4] for i in range(0, 20, 4))


def check_name(name: str) -> str:
    if not NAME.fullmatch(name):
        raise ValueError(f"{name!r} is not a party name: use up to 64 letters, digits, '.', "
                         f"'_' or '-', starting with a letter or digit")
    return name


@dataclass(frozen=True)
class PublicKey:
    name: str
    public: bytes

    @property
    def fingerprint(self) -> str:
        return fingerprint(self.public)


@dataclass(frozen=True)
class SecretKey:
    name: str
    public: bytes
    secret: bytes = field(repr=False)  # kept out of reprs, tracebacks and logs

    @property
    def fingerprint(self) -> str:
        return fingerprint(self.public)

    def public_key(self) -> PublicKey:
        return PublicKey(self.name, self.public)

    def pair(self) -> KeyPair:
        return KeyPair(self.public, self.secret)


def generate(name: str, timings: Timings | None = None) -> SecretKey:
    pair = KeyPair.generate(timings)
    return SecretKey(check_name(name), pair.public, pair.secret)


def write_secret_key(key: SecretKey, path: str, *, force: bool = False,
                     together: Together | None = None) -> None:
    with ContainerWriter(path, SECRET_KIND, [("public", 1, KEY_BYTES), ("secret", 1, KEY_BYTES)],
                         mode=0o600, replace=force, together=together) as out:
        out.write("public", 0, key.public)
        out.write("secret", 0, key.secret)
        out.header = {"name": key.name, "fingerprint": key.fingerprint}


def write_key_pair(key: SecretKey, secret_path: str, public_path: str, *,
                   force: bool = False) -> None:
    """Both key files, or neither: the secret-key file never replaces an old one unless
    its public-key file is complete beside it."""
    if os.path.abspath(secret_path) == os.path.abspath(public_path) or (
            os.path.exists(secret_path) and os.path.exists(public_path)
            and os.path.samefile(secret_path, public_path)):
        raise UserError(f"{secret_path}: the secret and the public key cannot share one "
                        f"file; give two paths")
    for path in (secret_path, public_path):
        if os.path.isdir(path):
            raise UserError(f"{path}: is a directory; give the path of a file")
    with Together() as together:
        write_secret_key(key, secret_path, force=force, together=together)
        write_public_key(key.public_key(), public_path, force=force, together=together)
        together.commit()


def write_public_key(key: PublicKey, path: str, *, force: bool = False,
                     together: Together | None = None) -> None:
    with ContainerWriter(path, PUBLIC_KIND, [("public", 1, KEY_BYTES)], replace=force,
                         together=together) as out:
        out.write("public", 0, key.public)
        out.header = {"name": key.name, "fingerprint": key.fingerprint}


def check_private(path: str) -> None:
    """Refuses a secret-key file that anyone but its owner may read or change."""
    try:
        info = os.stat(path)
    except FileNotFoundError:
        raise FileRefused(path, "no such file") from None
    except OSError as error:
        raise FileRefused(path, f"cannot read the file: {error.strerror or error}") from None
    if stat.S_ISREG(info.st_mode) and info.st_mode & 0o077:
        raise FileRefused(path, f"permissions {stat.S_IMODE(info.st_mode):04o} are too open: "
                                f"a secret-key file must be readable by its owner only "
                                f"(chmod 600 {path})")


def load_secret_key(path: str) -> SecretKey:
    check_private(path)
    with open_container(path, SECRET_KIND) as file:
        file.require_sections({"public": KEY_BYTES, "secret": KEY_BYTES})
        name = _name(file.header, path)
        public, secret = file.read("public"), file.read("secret")
    key = SecretKey(name, public, secret)
    if file.header.get("fingerprint") != key.fingerprint:
        raise FileRefused(path, "damaged: the recorded fingerprint is not the key's")
    # A pair that does not belong together would make every flag false, silently.
    if public_of(secret) != public:
        raise FileRefused(path, "damaged: its public key is not the one its secret key gives")
    return key


def load_public_key(path: str) -> PublicKey:
    with open_container(path, PUBLIC_KIND) as file:
        file.require_sections({"public": KEY_BYTES})
        key = PublicKey(_name(file.header, path), file.read("public"))
    if file.header.get("fingerprint") != key.fingerprint:
        raise FileRefused(path, "damaged: the recorded fingerprint is not the key's")
    return key


def _name(header: dict[str, object], path: str, field: str = "name") -> str:
    return checked_name(header.get(field), path)


def checked_name(name: object, path: str) -> str:
    """A party name read from a file: it names files (request-<bank>.vreq) and is
    printed, so it is held to what keygen --name accepts."""
    if not isinstance(name, str) or not NAME.fullmatch(name):
        shown = repr(name) if not isinstance(name, str) or len(name) <= 80 else \
            f"{name[:80]!r}... ({len(name):,} characters)"
        raise FileRefused(path, f"damaged: {shown} is not a party name")
    return name
