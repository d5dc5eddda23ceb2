"""The release package: the packer that scripts/release.sh runs gives the same zip bytes twice,
holds exactly the programs, the help file, the texts and a matching SHA-256 list, and the programs
in it are the stripped build outputs (KORVANE.EXE sealed after stripping)."""
import hashlib
import io
import os
import subprocess
import sys
import zipfile

import pytest

BIN = os.environ["TIDEWELL_BIN_DIR"]
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
PACKER = os.path.join(ROOT, "scripts", "release_zip.py")
TEXTS = os.path.join(ROOT, "resources", "release")
EXPECTED = ["KORVANE.CHM", "KORVANE.EXE", "KORVLOG.EXE", "KORVTASK.EXE", "LICENSE.txt", "QS.EXE", "README.txt",
            "SHA256SUMS.txt"]
SEAL_MAGIC = b"TWSEAL:SHA256:v1"


@pytest.fixture(scope="module")
def packages(tmp_path_factory):
    folder = tmp_path_factory.mktemp("dist")
    made = []
    for run in ("first", "second"):
        output = str(folder / run / "Tidewell.zip")
        subprocess.run([sys.executable, PACKER, BIN, TEXTS, output], check=True, capture_output=True)
        with open(output, "rb") as file:
            made.append(file.read())
    return made


def test_two_runs_give_the_same_bytes(packages):
    assert packages[0] == packages[1], "the zip depends on when it was made"


def test_the_package_holds_what_ships_and_their_sums(packages):
    archive = zipfile.ZipFile(io.BytesIO(packages[0]))
    names = archive.namelist()
    assert sorted(names) == EXPECTED
    sums = archive.read("SHA256SUMS.txt").decode("ascii").splitlines()
    listed = {line.split(" *")[1]: line.split(" *")[0] for line in sums}
    assert sorted(listed) == [name for name in EXPECTED if name != "SHA256SUMS.txt"]
    for name, digest in listed.items():
        assert hashlib.sha256(archive.read(name)).hexdigest() == digest, f"{name}: its sum does not match"
    for name in ("README.txt", "LICENSE.txt"):
        text = archive.read(name)
        assert b"\r\n" in text and b"\n" not in text.replace(b"\r\n", b""), f"{name}: Windows line ends"
    for name in ("KORVANE.EXE", "QS.EXE", "KORVTASK.EXE", "KORVLOG.EXE", "KORVANE.CHM"):
        with open(os.path.join(BIN, name), "rb") as file:
            assert archive.read(name) == file.read(), f"{name}: not the tested build output"


@pytest.mark.parametrize("program", ["KORVANE.EXE", "QS.EXE", "KORVTASK.EXE", "KORVLOG.EXE"])
def test_programs_carry_no_debug_information(program):
    path = os.path.join(BIN, program)
    headers = subprocess.run(["x86_64-w64-mingw32-objdump", "-h", path], capture_output=True, text=True,
                             check=True).stdout
    assert ".debug_" not in headers, f"{program} still holds debug sections"
    assert ".gnu_debuglink" in headers, f"{program} does not name its symbol file"
    symbols = subprocess.run(["x86_64-w64-mingw32-objdump", "-t", path], capture_output=True, text=True).stdout
    assert "[  0](sec" not in symbols, f"{program} still holds a symbol table"


def test_korvane_is_sealed_after_stripping():
    with open(os.path.join(BIN, "KORVANE.EXE"), "rb") as file:
        data = file.read()
    assert data[-48:-32] == SEAL_MAGIC, "KORVANE.EXE has no seal at its end"
    assert hashlib.sha256(data[:-48]).digest() == data[-32:], "the seal does not match the stripped program"
