"""The programs are linked statically and start on 64-bit Windows XP / Server 2003: each EXE imports
only DLLs that come with Windows, and no function that first appeared in Vista or later (newer
calls are loaded at run time)."""
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
# Made from the mingw-w64 headers by list_vista_functions.py.
VISTA_LIST = os.path.join(os.path.dirname(os.path.abspath(__file__)), "vista_functions.txt")
# "\t47a7c\t  141  CloseHandle" under "\tDLL Name: KERNEL32.dll"; imports by ordinal have no name.
IMPORT_LINE = re.compile(r"^\t[0-9a-f]+\t\s*\d+\s+(\S+)")


def imports(program):
    """{DLL name in lower case: [imported function names]} from the EXE's import table."""
    path = os.path.join(BIN, program)
    assert os.path.exists(path), f"{program} was not built into {BIN}"
    dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", path], capture_output=True, text=True, check=True)
    table, dll = {}, None
    for line in dump.stdout.splitlines():
        named = re.match(r"^\tDLL Name: (\S+)", line)
        if named:
            dll = named.group(1).lower()
            table[dll] = []
        elif not line.strip():
            dll = None
        elif dll and IMPORT_LINE.match(line):
            table[dll].append(IMPORT_LINE.match(line).group(1))
    assert table, f"{program}: no imports found"
    return table


def vista_functions():
    with open(VISTA_LIST) as file:
        return {line.split()[0] for line in file if line.strip() and not line.startswith("#")}


@pytest.mark.parametrize("program", PROGRAMS)
def test_imports_only_system_dlls(program):
    dlls = set(imports(program))
    assert dlls <= SYSTEM_DLLS, f"{program} needs DLLs Windows does not ship: {sorted(dlls - SYSTEM_DLLS)}"


@pytest.mark.parametrize("program", PROGRAMS)
def test_imports_nothing_newer_than_xp_x64(program):
    newer = vista_functions()
    found = sorted(f"{dll}!{name}" for dll, names in imports(program).items() for name in names if name in newer)
    assert not found, f"{program} would not start on XP x64 / Server 2003; it imports {', '.join(found)}"


@pytest.mark.parametrize("name, newer", [
    # Vista's: the thread runtime of the posix-thread compilers, and calls the programs load at run time.
    ("GetTickCount64", True),
    ("AcquireSRWLockExclusive", True),
    ("SleepConditionVariableCS", True),
    ("WakeAllConditionVariable", True),
    ("InitOnceExecuteOnce", True),
    ("QueryFullProcessImageNameA", True),
    ("GetFinalPathNameByHandleA", True),
    ("CreateSymbolicLinkA", True),
    ("CancelIoEx", True),
    ("GetLocaleInfoEx", True),
    ("ChangeWindowMessageFilter", True),
    ("RegDeleteTreeA", True),
    ("TaskDialogIndirect", True),
    # XP's and Server 2003's.
    ("GetTickCount", False),
    ("InitializeCriticalSection", False),
    ("TlsAlloc", False),
    ("RegDeleteKeyExA", False),
    ("GetNativeSystemInfo", False),
    ("SHGetFolderPathA", False),
])
def test_the_list_holds_vistas_functions_only(name, newer):
    assert (name in vista_functions()) == newer, \
        f"{name} should {'' if newer else 'not '}be in {VISTA_LIST}; run list_vista_functions.py again"
