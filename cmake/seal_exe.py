#!/usr/bin/env python3
"""Seals a program file for its start-up self-check: appends a trailer of a 16-byte marker and the
SHA-256 of every byte before the trailer. Windows' loader ignores bytes after the last section, so
the program runs, and loads as a data file, as before.

    seal_exe.py SOURCE [TARGET]

The sealed file replaces TARGET (SOURCE itself when none is given) in one rename, so that no one
ever finds half a program or one without its seal there. A SOURCE that already ends with a valid
seal is copied as it is; one whose seal no longer matches (it was changed after sealing) is
refused, since sealing it again would bless the change.
"""
import hashlib
import os
import sys
import tempfile

MAGIC = b"TWSEAL:SHA256:v1"
DIGEST_SIZE = 32
TRAILER_SIZE = len(MAGIC) + DIGEST_SIZE


def seal_state(data):
    """"sealed", "changed" or "unsealed"."""
    if len(data) < TRAILER_SIZE or data[-TRAILER_SIZE:-DIGEST_SIZE] != MAGIC:
        return "unsealed"
    body = data[:-TRAILER_SIZE]
    return "sealed" if hashlib.sha256(body).digest() == data[-DIGEST_SIZE:] else "changed"


def replace(path, data, mode):
    """Writes data beside path and renames it over path."""
    folder = os.path.dirname(os.path.abspath(path))
    os.makedirs(folder, exist_ok=True)
    handle, temporary = tempfile.mkstemp(dir=folder, prefix=".seal-")
    try:
        with os.fdopen(handle, "wb") as file:
            file.write(data)
        os.chmod(temporary, mode)
        os.replace(temporary, path)
    except BaseException:
        if os.path.exists(temporary):
            os.unlink(temporary)
        raise


def seal(source, target):
    with open(source, "rb") as file:
        data = file.read()
    state = seal_state(data)
    if state == "changed":
        print(f"seal_exe.py: {source} carries a seal that does not match it; rebuild it", file=sys.stderr)
        return 1
    if state == "unsealed":
        data += MAGIC + hashlib.sha256(data).digest()
    elif source == target:
        return 0
    replace(target, data, os.stat(source).st_mode)
    return 0


if __name__ == "__main__":
    if len(sys.argv) not in (2, 3):
        print("usage: seal_exe.py SOURCE [TARGET]", file=sys.stderr)
        sys.exit(2)
    sys.exit(seal(sys.argv[1], sys.argv[-1]))
