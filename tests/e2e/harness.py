"""Runs Tidewell's programs in throw-away Wine prefixes and drives their windows.

A Prefix is a copy of the template prefix with the product EXEs installed in
C:\\Program Files\\Tidewell. It starts Windows programs, runs the automation program wauto,
reads and writes the registry through reg.exe and reads the files of drive C:. Every wait has a
time-out; a program that outlives its time-out is photographed and killed, and the test fails
with a message that says which program and how long.

Exit codes reach Linux as 8 bits only (9009 arrives as 49); a test that needs the full code runs
the program from a batch file and echoes %ERRORLEVEL%.
"""
import atexit
import os
import re
import select
import shlex
import shutil
import signal
import subprocess
import tempfile
import time
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
PREFIX_SH = REPO / "tests" / "wine" / "prefix.sh"
WINE = shutil.which("wine64") or "/usr/lib/wine/wine64"
WINESERVER = shutil.which("wineserver") or "/usr/lib/wine/wineserver"

PRODUCT_DIR = "C:\\Program Files\\Tidewell"
TEST_DIR = "C:\\tests"
SYSTEM_DIR = "C:\\windows\\system32"
STANDINS_DIR = "C:\\standins"
# The console tools of the System folder that the stand-in plays; a new one only needs its name here.
STANDIN_TOOLS = ("DEFRAG", "CHKDSK", "CLEANMGR", "BCDEDIT")
# Start environment for a process in code page 932, as on a Japanese Windows.
JAPANESE = {"LANG": "ja_JP.UTF-8"}

# wauto's exit codes.
WAUTO_FAILED, WAUTO_USAGE, WAUTO_TIMEOUT, WAUTO_NO_WINDOW, WAUTO_NO_CONTROL = 1, 2, 3, 4, 5
_WAUTO_FAILURES = {1: "step failed", 2: "usage error", 3: "time-out", 4: "no window", 5: "no control"}


class HarnessError(AssertionError):
    """A test step the harness could not complete; pytest reports it as a failure."""


class TimedOut(HarnessError):
    """A program or a window did not do its part within its time."""


def _env_path(name, fallback):
    value = os.environ.get(name)
    return Path(value) if value else fallback


def bin_dir():
    return _env_path("TIDEWELL_BIN_DIR", REPO / "build" / "bin")


def test_bin_dir():
    return _env_path("TIDEWELL_TEST_BIN_DIR", REPO / "build" / "test-bin")


def template_dir():
    return _env_path("TIDEWELL_WINE_TEMPLATE", REPO / "build" / "wine" / "template")


def _safe_name(text, length=60):
    return re.sub(r"[^\w.-]+", "_", text)[:length]


# ---- Processes ----------------------------------------------------------------------------------

def prefix_processes(prefix_path):
    """The Linux processes of a prefix as (pid, command line); Wine shows a Windows program's
    own command line there ("C:\\windows\\system32\\wineboot.exe --end-session ...")."""
    wanted = f"WINEPREFIX={prefix_path}".encode()
    found = []
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit() or int(entry.name) == os.getpid():
            continue
        try:
            if wanted in (entry / "environ").read_bytes().split(b"\0"):
                command = (entry / "cmdline").read_bytes().replace(b"\0", b" ").decode("utf-8", "replace")
                found.append((int(entry.name), command.strip()))
        except (OSError, ValueError):
            continue  # gone already, or not ours to read
    return found


def signal_process(pid, number):
    """Sends a signal to a Linux process that may have ended already."""
    try:
        os.kill(pid, number)
    except OSError:
        pass


def kill_process(pid):
    signal_process(pid, signal.SIGKILL)


def kill_strays(prefix_path):
    """Kills what is left of a prefix's processes after its wineserver ended. Wine starts some
    programs itself (the wineboot of ExitWindowsEx), so they are not ours to wait for; one caught
    starting up while its wineserver was being killed waits for that server forever."""
    for pid, _ in prefix_processes(prefix_path):
        kill_process(pid)


# ---- Display and screenshots ------------------------------------------------------------------

class Xvfb:
    """A private X server on a display number it picks itself (-displayfd), so that test runs
    side by side never fight over one."""

    def __init__(self):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        try:
            number = self._read_number(read_end)
        finally:
            os.close(read_end)
        if number is None:
            self.stop()
            raise HarnessError("Xvfb did not report a display within 15 s")
        self.display = f":{number}"

    def _read_number(self, fd):
        text, deadline = b"", time.monotonic() + 15
        while not text.endswith(b"\n"):
            ready, _, _ = select.select([fd], [], [], max(0.0, deadline - time.monotonic()))
            chunk = os.read(fd, 16) if ready else b""
            if not chunk:
                return None
            text += chunk
        return int(text)

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


def ensure_display(private=False):
    """Starts an Xvfb when DISPLAY is unset (or always, when private) and points DISPLAY at it;
    returns it (or None when the caller's display is kept)."""
    if os.environ.get("DISPLAY") and not private:
        return None
    server = Xvfb()
    atexit.register(server.stop)
    os.environ["DISPLAY"] = server.display
    return server


def artifacts_dir():
    path = _env_path("TIDEWELL_ARTIFACTS_DIR", Path(tempfile.gettempdir()) / "tidewell-artifacts")
    path.mkdir(parents=True, exist_ok=True)
    return path


def screenshot(name):
    """Saves the whole screen as <artifacts>/<name>.png; returns the path, or None when that failed
    (a failed screenshot must not hide the failure it was taken for)."""
    display = os.environ.get("DISPLAY")
    if not display:
        return None
    path = artifacts_dir() / f"{_safe_name(name, 200)}.png"
    try:
        subprocess.run(["import", "-window", "root", "-display", display, str(path)],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=20, check=True)
    except (OSError, subprocess.SubprocessError):
        return None
    return path


# ---- Programs ---------------------------------------------------------------------------------

def wait_until(condition, timeout, what):
    """Polls condition until it holds; a time-out fails with a screenshot and says what was awaited."""
    deadline = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > deadline:
            shot = screenshot(f"waiting-for-{_safe_name(what)}")
            raise TimedOut(f"waited {timeout} s for {what} (screenshot: {shot})")
        time.sleep(0.3)


class Result:
    """A program that ran to its end."""

    def __init__(self, returncode, stdout, stderr):
        self.returncode, self.stdout, self.stderr = returncode, stdout, stderr

    def __repr__(self):
        return f"Result(returncode={self.returncode}, stdout={self.stdout!r}, stderr={self.stderr!r})"


class Program:
    """A Windows program started in a prefix; its output goes to files, so it can never block on a
    full pipe however long it runs."""

    def __init__(self, popen, name, out_path, err_path, encoding, label):
        self.popen, self.name, self.encoding, self.label = popen, name, encoding, label
        self._out_path, self._err_path = out_path, err_path

    def wait(self, timeout=30):
        """The exit code (8 bits); a program still running after timeout seconds is photographed,
        killed, and fails the test."""
        try:
            return self.popen.wait(timeout)
        except subprocess.TimeoutExpired:
            shot = screenshot(f"{self.label}-still-running")
            self.kill()
            raise TimedOut(f"{self.name} did not end within {timeout} s; killed it (screenshot: {shot})") from None

    def kill(self):
        if self.popen.poll() is None:
            self.popen.kill()
            self.popen.wait()

    @property
    def running(self):
        return self.popen.poll() is None

    @property
    def err_path(self):
        """The Linux file that receives its stderr, and Wine's trace of it and its children."""
        return self._err_path

    @property
    def stdout(self):
        return self._out_path.read_bytes().decode(self.encoding, errors="replace")

    @property
    def stderr(self):
        return self._err_path.read_bytes().decode(self.encoding, errors="replace")


def _unescape(field):
    return re.sub(r"\\(.)", lambda m: {"t": "\t", "r": "\r", "n": "\n"}.get(m.group(1), m.group(1)), field)


class WautoResult:
    """wauto's records: each a list of fields, the first naming the kind (window, control, text,
    check, item)."""

    def __init__(self, result):
        self.returncode, self.stderr = result.returncode, result.stderr.strip()
        self.records = [[_unescape(f) for f in line.split("\t")] for line in result.stdout.splitlines() if line]

    def of_kind(self, kind):
        return [record[1:] for record in self.records if record[0] == kind]

    @property
    def texts(self):
        return [record[0] for record in self.of_kind("text")]

    @property
    def controls(self):
        """(hwnd, id, class, text, visible, enabled) of each control listed."""
        return [(r[0], int(r[1]), r[2], r[3], r[4] == "visible", r[5] == "enabled") for r in self.of_kind("control")]

    @property
    def windows(self):
        """(hwnd, class, title, visible, pid, exe) of each window found or listed."""
        return [(r[0], r[1], r[2], r[3] == "visible", int(r[4]), r[5]) for r in self.of_kind("window")]


def _wauto_arguments(steps):
    """Steps as strings ('wait --title "Demo dialog"') or lists, joined by ";"."""
    args = []
    for step in steps:
        words = shlex.split(step) if isinstance(step, str) else [str(word) for word in step]
        args += ([";"] if args else []) + words
    return args


_LOOKING_STEPS = {"wait", "closed", "windows", "list", "text", "expect", "enabled", "checked", "items", "lvitems",
                  "rect", "sleep"}


def _only_looks(args):
    """True when every step of a wauto call only reads the screen, so that running it twice is harmless."""
    verbs = [args[0]] + [args[i + 1] for i, word in enumerate(args[:-1]) if word == ";"]
    return all(verb in _LOOKING_STEPS for verb in verbs)


def _wauto_time_limit(args):
    """Enough for every step's own time-out; wauto ends each step itself, this only guards
    against wauto itself hanging."""
    limit = 30.0
    for i, word in enumerate(args):
        if word == "--timeout" and i + 1 < len(args):
            try:
                limit += min(float(args[i + 1]), 3600)
            except ValueError:
                pass  # wauto refuses it
        elif word in ("wait", "closed", "expect") and (i == 0 or args[i - 1] == ";"):
            limit += 10
    return limit


# ---- Registry values as reg.exe shows them ----------------------------------------------------

# reg names the default value in the language of its process.
_DEFAULT_NAMES = ("(Default)", "(既定)")
_REG_LINE = re.compile(r"^    (.*?)    (REG_[A-Z_]+)    ?(.*)$")


def _reg_value(kind, data):
    if kind in ("REG_DWORD", "REG_QWORD"):
        return int(data, 16)
    if kind == "REG_MULTI_SZ":
        return data.split("\\0") if data else []
    if kind == "REG_BINARY":
        return bytes.fromhex(data)
    return data


def parse_reg_query(text):
    """{name: value} from reg query's output ("" is the default value); DWORDs as int,
    REG_MULTI_SZ as a list, REG_BINARY as bytes, strings as str."""
    values = {}
    for line in text.splitlines():
        match = _REG_LINE.match(line.rstrip("\r"))
        if match:
            name, kind, data = match.groups()
            values["" if name in _DEFAULT_NAMES else name] = _reg_value(kind, data)
    return values


def _reg_data(value, kind):
    if kind is None:
        kind = {int: "REG_DWORD", list: "REG_MULTI_SZ", bytes: "REG_BINARY"}.get(type(value), "REG_SZ")
    if isinstance(value, list):
        data = "\\0".join(value)
    elif isinstance(value, bytes):
        data = value.hex()
    else:
        data = str(value)
    return kind, data


# ---- Prefix -----------------------------------------------------------------------------------

class Prefix:
    """A fresh copy of the template prefix, with a persistent wineserver while it is in use."""

    def __init__(self, name="e2e", template=None):
        self.name = _safe_name(name)
        template = Path(template) if template else template_dir()
        if not (template / "system.reg").exists():
            raise HarnessError(f"no template prefix at {template} (run: tests/wine/prefix.sh template {template})")
        self.root = Path(tempfile.mkdtemp(prefix=f"e2e-{self.name}-", dir=template.parent))
        self.path = self.root / "prefix"
        self.logs = self.root / "logs"
        self.logs.mkdir()
        self._programs = []
        try:
            subprocess.run([str(PREFIX_SH), "clone", str(template), str(self.path)], check=True, timeout=120,
                           stdout=subprocess.DEVNULL)
            self.install_products()
            self.boot()
        except BaseException:
            self.close()
            raise

    # -- session

    def boot(self):
        """Starts the prefix's wineserver and keeps it running until shutdown, so that Wine's
        services start once and not again for every program."""
        subprocess.run([WINESERVER, "-p"], env=self.env(), check=True, timeout=30)

    def shutdown(self):
        """Ends every program of the prefix and its wineserver."""
        subprocess.run([WINESERVER, "-k"], env=self.env(), timeout=30, stderr=subprocess.DEVNULL)
        for program in self._programs:
            try:
                program.popen.wait(10)
            except subprocess.TimeoutExpired:
                program.kill()
        try:
            subprocess.run([WINESERVER, "-w"], env=self.env(), timeout=30)
        except subprocess.TimeoutExpired:
            pass
        kill_strays(self.path)

    def close(self, keep=False):
        """Shuts down and removes the prefix; with keep, leaves it for a look and says where."""
        self.shutdown()
        if keep:
            print(f"prefix kept: {self.path}")
        else:
            shutil.rmtree(self.root, ignore_errors=True)

    def env(self, extra=None):
        env = {k: v for k, v in os.environ.items() if not k.startswith("LC_") and k != "LANGUAGE"}
        env.update(WINEPREFIX=str(self.path), WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=", LANG="C.UTF-8")
        env.update(extra or {})
        return env

    # -- files

    def unix_path(self, windows_path):
        """Where a C:\\ path lives; existing parts are matched without regard to case, as Windows does."""
        match = re.match(r"^[cC]:[\\/]*(.*)$", windows_path)
        if not match:
            raise HarnessError(f"not a path on drive C: {windows_path!r}")
        path = self.path / "drive_c"
        for part in [p for p in re.split(r"[\\/]+", match.group(1)) if p]:
            exact = path / part
            if not exact.exists() and path.is_dir():
                exact = next((c for c in path.iterdir() if c.name.lower() == part.lower()), exact)
            path = exact
        return path

    def install(self, source, windows_folder, name=None):
        """Copies a Linux file into a Windows folder, under its own name or the one given. Any file
        of that name in another letter case is unlinked first: Windows would see one file, and
        system32 is hard-linked with the template, which must stay untouched."""
        folder = self.unix_path(windows_folder)
        folder.mkdir(parents=True, exist_ok=True)
        name = name or Path(source).name
        for old in [c for c in folder.iterdir() if c.name.lower() == name.lower()]:
            old.unlink()
        shutil.copy2(source, folder / name)
        return f"{windows_folder}\\{name}"

    def install_products(self):
        """The EXEs and the help file beside them, as the release package lays them out."""
        for product in sorted([*bin_dir().glob("*.EXE"), *bin_dir().glob("*.CHM")]):
            self.install(product, PRODUCT_DIR)

    def install_test_program(self, file_name, windows_folder=TEST_DIR):
        source = test_bin_dir() / file_name
        if not source.exists():
            raise HarnessError(f"test program {file_name} was not built into {test_bin_dir()}")
        return self.install(source, windows_folder)

    def read_file(self, windows_path, encoding="cp932"):
        return self.unix_path(windows_path).read_bytes().decode(encoding)

    def write_file(self, windows_path, text, encoding="cp932"):
        path = self.unix_path(windows_path)
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(text.encode(encoding) if isinstance(text, str) else text)

    # -- programs

    def _locate(self, program):
        """A bare name is looked for in the product folder, then the test folder; otherwise Windows
        finds it (CMD.EXE, reg.exe)."""
        if "\\" in program:
            return program
        for folder in (PRODUCT_DIR, TEST_DIR):
            if self.unix_path(f"{folder}\\{program}").exists():
                return f"{folder}\\{program}"
        return program

    def start(self, program, *args, env=None, cwd=None, encoding="utf-8"):
        """Starts a program without waiting. The working folder defaults to the program's own
        (C:\\ for system programs); it must lie inside the prefix, or Windows would see a Unix path."""
        windows_program = self._locate(program)
        folder, _, name = windows_program.rpartition("\\")
        cwd = cwd or folder or "C:\\"
        stem = f"{len(self._programs):02d}-{_safe_name(name)}"
        out_path, err_path = self.logs / f"{stem}.out", self.logs / f"{stem}.err"
        with open(out_path, "wb") as out, open(err_path, "wb") as err:
            popen = subprocess.Popen([WINE, windows_program, *[str(a) for a in args]], cwd=self.unix_path(cwd),
                                     env=self.env(env), stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                     start_new_session=True)
        started = Program(popen, name, out_path, err_path, encoding, label=f"{self.name}-{name}")
        self._programs.append(started)
        return started

    def run(self, program, *args, timeout=60, env=None, cwd=None, encoding="utf-8"):
        """Runs a program to its end; fails the test when it takes longer than timeout seconds."""
        started = self.start(program, *args, env=env, cwd=cwd, encoding=encoding)
        returncode = started.wait(timeout)
        return Result(returncode, started.stdout, started.stderr)

    def wauto(self, *steps, check=True, timeout=None):
        """Runs wauto steps in one call: prefix.wauto('wait --title "Demo dialog"', "list").
        With check, a failing step fails the test with wauto's own message."""
        if not self.unix_path(f"{TEST_DIR}\\wauto.exe").exists():
            self.install_test_program("wauto.exe")
        args = _wauto_arguments(steps)
        result, journal = self._run_wauto(args, timeout)
        # wauto writes a line for every failure it reports. An end without one is Wine ending it
        # (seen, rarely, on a heavily loaded machine): when its journal shows that no step ran, or
        # when its steps only look, running it once more is harmless.
        silent = result.returncode != 0 and not result.stderr
        if silent and (not any(line.startswith("step ") for line in journal) or _only_looks(args)):
            first = journal
            result, journal = self._run_wauto(args, timeout)
            journal = [f"first run: {' | '.join(first)}", *journal]
        if check and result.returncode != 0:
            kind = _WAUTO_FAILURES.get(result.returncode, f"exit code {result.returncode}")
            error = TimedOut if result.returncode == WAUTO_TIMEOUT else HarnessError
            said = result.stderr or f"ended without a word; its journal: {' | '.join(journal) or 'empty'}"
            raise error(f"wauto {' '.join(args)}: {kind}: {said}")
        return result

    def _run_wauto(self, args, timeout):
        """One wauto call and its journal: "started", "step N" before each step, "exit N"."""
        journal = f"{TEST_DIR}\\journal\\wauto-{len(self._programs):04d}.txt"
        path = self.unix_path(journal)
        path.parent.mkdir(parents=True, exist_ok=True)
        result = self.run(f"{TEST_DIR}\\wauto.exe", *args, timeout=timeout or _wauto_time_limit(args),
                          env={"WAUTO_JOURNAL": journal})
        lines = path.read_text(encoding="utf-8", errors="replace").splitlines() if path.exists() else []
        return WautoResult(result), lines

    # -- registry, through reg.exe in code page 932 so that Japanese texts survive both ways

    def reg(self, *args):
        """reg.exe says why whenever it fails ("reg: Unable to find the specified registry key");
        an end without a word is Wine ending it (seen, rarely, on a heavily loaded machine), and
        every use here can simply be run again."""
        for _ in range(3):
            result = self.run("reg.exe", *args, env=JAPANESE, encoding="cp932", timeout=60)
            # A query that found its key always names it.
            answered = result.stdout.strip() or result.stderr.strip() or (result.returncode == 0 and args[0] != "query")
            if answered:
                break
        return result

    def reg_values(self, key):
        """Every value of a key as {name: value}; None when the key does not exist."""
        result = self.reg("query", key)
        return parse_reg_query(result.stdout) if result.returncode == 0 else None

    def reg_query(self, key, name=""):
        """One value (name "" is the default value), or None when it does not exist."""
        result = self.reg("query", key, *(["/ve"] if name == "" else ["/v", name]))
        return parse_reg_query(result.stdout).get(name) if result.returncode == 0 else None

    def reg_add(self, key, name, value, kind=None):
        """Writes a value; its type follows the Python type (int DWORD, list MULTI_SZ, bytes
        BINARY, str SZ) unless kind says otherwise."""
        kind, data = _reg_data(value, kind)
        result = self.reg("add", key, *(["/ve"] if name == "" else ["/v", name]), "/t", kind, "/d", data, "/f")
        if result.returncode != 0:
            raise HarnessError(f"reg add {key} {name}: {result.stderr.strip()}")

    def reg_delete(self, key, name=None):
        """Deletes a value, or the whole key when name is None; False when there was nothing."""
        which = ["/v", name] if name else (["/ve"] if name == "" else [])
        return self.reg("delete", key, *which, "/f").returncode == 0

    def import_values(self, values):
        """Writes many values in one reg.exe call: {key: {name: value}}, typed as reg_add types
        them; a value None deletes the value, a key mapped to None deletes the whole key."""
        self.write_file(f"{TEST_DIR}\\import.reg", reg_file_text(values), encoding="utf-16")
        # On a loaded machine reg.exe has been seen to fail now and then without a word; the
        # import writes the same values again, so it is tried three times before it fails.
        for _ in range(3):
            result = self.reg("import", f"{TEST_DIR}\\import.reg")
            if result.returncode == 0:
                return
            time.sleep(0.5)
        raise HarnessError(f"reg import of {', '.join(values)} ended with {result.returncode}: "
                           f"{(result.stdout + result.stderr).strip() or 'no message'}")

    def export_key(self, key):
        """A key and all its subkeys as {subkey: {name: value}}, the key itself under "" and each
        subkey by its path below it; None when the key does not exist."""
        # reg.exe says "not found" in the prefix's language, so a failure is asked twice more before
        # it counts as a missing key: a failure of a loaded machine must not pass for one.
        for attempt in range(3):
            result = self.reg("export", key, f"{TEST_DIR}\\export.reg", "/y")
            if result.returncode == 0:
                break
            if self.reg("query", key).returncode != 0 and attempt == 2:
                return None
            time.sleep(0.5)
        else:
            raise HarnessError(f"reg export {key} failed though the key exists: {result.stderr.strip()}")
        exported = parse_reg_file(self.read_file(f"{TEST_DIR}\\export.reg", encoding="utf-16"))
        top = next(iter(exported))  # reg writes the key itself first, in its stored letter case
        return {name[len(top) + 1:] if name != top else "": values for name, values in exported.items()}

    # -- stand-ins for Windows tools, started by the programs under test

    def install_standins(self, tools=STANDIN_TOOLS):
        """Installs the stand-in console tool into the System folder under each name given."""
        source = test_bin_dir() / "standin.exe"
        if not source.exists():
            raise HarnessError(f"the stand-in tool was not built into {test_bin_dir()}")
        for tool in tools:
            self.install(source, SYSTEM_DIR, f"{tool.upper()}.EXE")

    def set_standin(self, tool, exit_code=0, sleep_ms=0, text=None):
        """What a stand-in does when it is next called: its exit code, a pause before it ends, and
        the line it prints instead of its default one."""
        lines = [f"exit {exit_code}", f"sleep {sleep_ms}"] + ([f"print {text}"] if text is not None else [])
        self.write_file(f"{STANDINS_DIR}\\{tool.upper()}.cfg", "\r\n".join(lines) + "\r\n", encoding="utf-8")

    def set_standin_exit(self, tool, code):
        self.set_standin(tool, exit_code=code)

    def journal(self, *tools):
        """The stand-ins' calls in their order, of the tools named (all when none is)."""
        path = self.unix_path(f"{STANDINS_DIR}\\journal.txt")
        records = parse_journal(path.read_bytes().decode("utf-8")) if path.exists() else []
        wanted = {tool.upper() for tool in tools}
        return [r for r in records if not wanted or r.tool.upper() in wanted]


# ---- Stand-in tools ---------------------------------------------------------------------------



class JournalRecord:
    """One call of a stand-in: the tool, its exit code (None when it wrote before knowing it),
    its current folder, its command line as Windows gave it, and its parent ("<pid> <program>",
    the program left out when Wine could not name it)."""

    def __init__(self, tool, exit_code, folder, command_line, parent):
        self.tool, self.exit_code, self.folder = tool, exit_code, folder
        self.command_line, self.parent = command_line, parent

    @property
    def parent_program(self):
        return self.parent.partition(" ")[2]

    def __repr__(self):
        return (f"JournalRecord({self.tool!r}, exit_code={self.exit_code}, folder={self.folder!r}, "
                f"command_line={self.command_line!r}, parent={self.parent!r})")


def parse_journal(text):
    records = []
    for line in text.splitlines():
        if line:
            tool, code, folder, command_line, parent = [_unescape(f) for f in line.split("\t")]
            records.append(JournalRecord(tool, int(code) if code else None, folder, command_line, parent))
    return records


# ---- Registry files (.reg) as reg import reads and reg export writes them -----------------------

_ROOTS = {"HKLM": "HKEY_LOCAL_MACHINE", "HKCU": "HKEY_CURRENT_USER", "HKCR": "HKEY_CLASSES_ROOT",
          "HKU": "HKEY_USERS", "HKCC": "HKEY_CURRENT_CONFIG"}
_REG_TYPES = {1: "REG_SZ", 2: "REG_EXPAND_SZ", 3: "REG_BINARY", 4: "REG_DWORD", 7: "REG_MULTI_SZ", 11: "REG_QWORD"}


def full_key_name(key):
    root, _, rest = key.partition("\\")
    return _ROOTS.get(root.upper(), root) + ("\\" + rest if rest else "")


def _reg_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def _reg_hex(kind, data):
    return (f"hex({kind:x}):" if kind != 3 else "hex:") + ",".join(f"{b:02x}" for b in data)


def _reg_file_value(value):
    if value is None:
        return "-"
    if isinstance(value, bool) or not isinstance(value, (int, str, bytes, list)):
        raise HarnessError(f"cannot write {value!r} as a registry value")
    if isinstance(value, int):
        return f"dword:{value & 0xFFFFFFFF:08x}"
    if isinstance(value, bytes):
        return _reg_hex(3, value)
    if isinstance(value, list):
        return _reg_hex(7, ("\0".join(value) + "\0\0").encode("utf-16-le"))
    if "\r" in value or "\n" in value:  # a .reg string cannot hold a line break
        return _reg_hex(1, (value + "\0").encode("utf-16-le"))
    return _reg_string(value)


def reg_file_text(values):
    lines = ["Windows Registry Editor Version 5.00", ""]
    for key, named in values.items():
        if named is None:
            lines += [f"[-{full_key_name(key)}]", ""]
            continue
        lines.append(f"[{full_key_name(key)}]")
        lines += [f"{'@' if name == '' else _reg_string(name)}={_reg_file_value(v)}" for name, v in named.items()]
        lines.append("")
    return "\r\n".join(lines) + "\r\n"


def _reg_unquote(text, start):
    """The string that starts with the quote at text[start], and the index after its closing quote."""
    out, i = [], start + 1
    while i < len(text) and text[i] != '"':
        if text[i] == "\\" and i + 1 < len(text):
            i += 1
            out.append({"n": "\n", "r": "\r", "0": "\0"}.get(text[i], text[i]))
        else:
            out.append(text[i])
        i += 1
    return "".join(out), i + 1


def _reg_file_data(data):
    if data.startswith('"'):
        return _reg_unquote(data, 0)[0]
    if data.startswith("dword:"):
        return int(data[6:], 16)
    match = re.match(r"hex(?:\(([0-9a-fA-F]+)\))?:(.*)$", data)
    if not match:
        raise HarnessError(f"unreadable .reg value data: {data!r}")
    kind = int(match.group(1), 16) if match.group(1) else 3
    raw = bytes(int(b, 16) for b in match.group(2).split(",") if b.strip())
    if kind in (1, 2):
        return raw.decode("utf-16-le").rstrip("\0")
    if kind == 7:
        text = raw.decode("utf-16-le").rstrip("\0")
        return text.split("\0") if text else []
    if kind in (4, 11):
        return int.from_bytes(raw, "little")
    return raw


def parse_reg_file(text):
    """{key: {name: value}} of a .reg file, keys in full names as written, values as
    parse_reg_query gives them (REG_EXPAND_SZ as str)."""
    keys, current = {}, None
    text = re.sub(r"\\\r?\n\s*", "", text.lstrip("\ufeff"))  # continued hex lines
    for line in text.splitlines():
        if line.startswith("[") and line.rstrip().endswith("]"):
            current = None if line.startswith("[-") else keys.setdefault(line.strip()[1:-1], {})
        elif current is not None and (line.startswith('"') or line.startswith("@=")):
            name, end = ("", 1) if line.startswith("@") else _reg_unquote(line, 0)
            if line[end + 1:] != "-":
                current[name] = _reg_file_data(line[end + 1:])
    return keys
