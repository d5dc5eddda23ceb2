#!/usr/bin/env python3
"""Writes vista_functions.txt: the functions that mingw-w64's Windows headers declare only for
_WIN32_WINNT 0x0600 (Vista) and later, which a program for XP x64 / Server 2003 must not import.

The headers are read by the compiler itself, twice: for 0x0502 and for the newest version they
know. GCC's -aux-info lists every function a translation unit declares, with its header; what the
newer pass declares and the older one does not is the list. Conditions of every form
(`_WIN32_WINNT >= 0x0600`, `WINVER >= _WIN32_WINNT_WIN7`, `NTDDI_VERSION >= NTDDI_VISTA`, #else
branches) are weighed as the compiler weighs them.

    list_vista_functions.py [COMPILER]
"""
import collections
import os
import re
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
OUTPUT = os.path.join(HERE, "vista_functions.txt")
# kernel32, user32, gdi32, advapi32 (windows.h), shell32, ole32 and comctl32, with all that they include.
SOURCE = "".join(f"#include <{header}>\n" for header in ("windows.h", "shellapi.h", "shlobj.h", "objbase.h", "commctrl.h"))
XP = ["-D_WIN32_WINNT=0x0502", "-DWINVER=0x0502"]
NEWEST = ["-D_WIN32_WINNT=0x0A00", "-DWINVER=0x0A00", "-DNTDDI_VERSION=0x0A00000B"]
# The same Internet Explorer level for both passes: only the Windows version may differ.
COMMON = ["-D_WIN32_IE=0x0A00", "-fsyntax-only", "-x", "c"]
# /* /usr/share/mingw-w64/include/sysinfoapi.h:42:NC */ extern ULONGLONG GetTickCount64 (void);
DECLARATION = re.compile(r"^/\* (\S+):\d+:[NO]C \*/ .*?(\w+) \(")

HEADER = """\
# Functions that mingw-w64's headers declare only for _WIN32_WINNT 0x0600 (Vista) and later,
# grouped by the header that declares them. A program for XP x64 / Server 2003 must not import them.
# Made by list_vista_functions.py ({compiler}, mingw-w64 headers {version});
# run it again after an update of the headers. A few of these exist on Server 2003 already (FlsAlloc,
# for one); listing them only makes the import test stricter.
"""


def declared(compiler, source, flags):
    """{function name: header file name} of every function the source declares."""
    with tempfile.TemporaryDirectory() as folder:
        aux = os.path.join(folder, "aux.txt")
        subprocess.run([compiler, *COMMON, *flags, "-aux-info", aux, source], check=True)
        with open(aux, encoding="utf-8", errors="replace") as file:
            matches = (DECLARATION.match(line) for line in file)
            return {m.group(2): os.path.basename(m.group(1)) for m in matches if m}


def headers_version():
    query = ["dpkg-query", "-W", "-f=${Version}", "mingw-w64-x86-64-dev"]
    result = subprocess.run(query, capture_output=True, text=True)
    return result.stdout.strip() or "of unknown version"


def main(compiler):
    with tempfile.NamedTemporaryFile("w", suffix=".c", delete=False) as file:
        file.write(SOURCE)
    try:
        older = declared(compiler, file.name, XP)
        newer = declared(compiler, file.name, NEWEST)
    finally:
        os.unlink(file.name)
    by_header = collections.defaultdict(list)
    for name, header in newer.items():
        if name not in older:
            by_header[header].append(name)
    with open(OUTPUT, "w") as out:
        out.write(HEADER.format(compiler=compiler, version=headers_version()))
        for header in sorted(by_header):
            out.write(f"\n# {header}\n")
            out.writelines(f"{name}\n" for name in sorted(by_header[header]))
    print(f"{sum(map(len, by_header.values()))} functions written to {OUTPUT}")
    return 0


if __name__ == "__main__":
    if len(sys.argv) > 2:
        print("usage: list_vista_functions.py [COMPILER]", file=sys.stderr)
        sys.exit(2)
    sys.exit(main(sys.argv[1] if len(sys.argv) == 2 else "x86_64-w64-mingw32-gcc-win32"))
