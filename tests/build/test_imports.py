"""The programs are linked statically: each EXE imports only DLLs that come with Windows."""
import os
import re
import subprocess

import pytest

BIN = os.environ["TIDEWELL_BIN_DIR"]
PROGRAMS = ["KORVANE.EXE", "QS.EXE", "KORVTASK.EXE", "KORVLOG.EXE"]
SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "ole32.dll", "oleaut32.dll",
    "comctl32.dll", "comdlg32.dll", "msvcrt.dll", "winmm.dll", "version.dll", "wsock32.dll", "ws2_32.dll",
    "iphlpapi.dll", "shlwapi.dll", "ntdll.dll", "uuid.dll", "imm32.dll",
}


@pytest.mark.parametrize("program", PROGRAMS)
def test_imports_only_system_dlls(program):
    path = os.path.join(BIN, program)
    assert os.path.exists(path), f"{program} was not built into {BIN}"
    dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", path], capture_output=True, text=True, check=True)
    dlls = {name.lower() for name in re.findall(r"DLL Name: (\S+)", dump.stdout)}
    assert dlls, f"{program}: no imports found"
    assert dlls <= SYSTEM_DLLS, f"{program} needs DLLs Windows does not ship: {sorted(dlls - SYSTEM_DLLS)}"
