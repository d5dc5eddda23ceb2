#!/usr/bin/env python3
"""Builds the help file KORVANE.CHM from resources/help with chmcmd.

    build_help.py HELP_SOURCE_FOLDER WORK_FOLDER OUTPUT_CHM

The pages are kept in UTF-8 in the repository, like the program sources; the help viewer reads
them as the Shift-JIS their charset meta names, so they are converted into WORK_FOLDER first.
chmcmd stamps the file with the time of the build in two places; both are set to zero, so that
the same sources give the same bytes (the release package depends on it).
"""
import os
import re
import shutil
import struct
import subprocess
import sys


SYSTEM_TIMESTAMP_CODE = 10


def system_file_offset(chm):
    """Where #SYSTEM starts in the file: its place in section 0, as chmls lists it, after the
    section's start, which the ITSF header gives at 0x58."""
    listing = subprocess.run(["chmls", "list", chm], capture_output=True, text=True, check=True).stdout
    match = re.search(r"^\s*0\s+(\d+)\s+(\d+)\s+/#SYSTEM$", listing, re.MULTILINE)
    if not match:
        raise RuntimeError(f"{chm}: no #SYSTEM listed")
    with open(chm, "rb") as file:
        header = file.read(0x60)
    return struct.unpack_from("<Q", header, 0x58)[0] + int(match.group(1)), int(match.group(2))


def clear_timestamps(chm):
    with open(chm, "r+b") as file:
        data = bytearray(file.read())
        data[0x10:0x14] = bytes(4)  # ITSF header: the build time
        start, size = system_file_offset(chm)
        at, end = start + 4, start + size  # after the #SYSTEM version
        while at + 4 <= end:
            code, length = struct.unpack_from("<HH", data, at)
            if code == SYSTEM_TIMESTAMP_CODE:
                data[at + 4:at + 4 + length] = bytes(length)
            at += 4 + length
        file.seek(0)
        file.write(data)


def main(source, work, output):
    if os.path.isdir(work):
        shutil.rmtree(work)
    for folder, _, files in os.walk(source):
        relative = os.path.relpath(folder, source)
        os.makedirs(os.path.join(work, relative), exist_ok=True)
        for name in sorted(files):
            data = open(os.path.join(folder, name), "rb").read()
            if name.lower().endswith((".html", ".htm")):
                data = data.decode("utf-8").encode("cp932")
            with open(os.path.join(work, relative, name), "wb") as file:
                file.write(data)
    result = subprocess.run(["chmcmd", "--no-html-scan", "korvane.hhp"], cwd=work, capture_output=True, text=True)
    built = os.path.join(work, "KORVANE.CHM")
    if result.returncode != 0 or not os.path.isfile(built):
        sys.stderr.write(result.stdout + result.stderr)
        return 1
    clear_timestamps(built)
    os.replace(built, output)
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:]))
