"""Plays Windows around the Quiet Shell: logon with a replaced shell, RunOnce values, restarts and
shutdowns, in one test prefix.

A Session turns a Prefix into a machine that can be restarted. Its run() boots the prefix (Wine
performs its start-up, which runs the HKLM RunOnce values), then logs on as Winlogon would: the
stand-in userinit.exe starts the per-user Shell value unless it names Explorer. When a program
asks for a restart, the session powers the prefix off and boots it again, and so on until a
shutdown or log-off, a shell that just ends, the normal desktop, or the boot limit.

How a power request is seen: Wine's ExitWindowsEx runs wineboot.exe from the System folder. A
stand-in wineboot there lets Wine end the session (it closes the windows and ends the processes
that own them) but never restart it on the spot, as Wine would, running the RunOnce values while
the caller still lives; the session restarts the prefix itself. Which request it was comes from
Wine's relay trace of the programs the session starts and all their children: each ExitWindowsEx
call with its flags and result, each process's program and exit code. The trace settles what
Wine's wineboot arguments cannot: a log-off and a shutdown reach wineboot alike.

A program that owns windows may therefore be ended by Wine right after its request, before it
gets to its own end: its exit code is then None.
"""
import fnmatch
import re
import time
from datetime import datetime

import harness
from harness import PRODUCT_DIR, STANDINS_DIR, SYSTEM_DIR, HarnessError, TimedOut

SETTINGS_KEY = "HKLM\\Software\\Halvornix\\Korvane\\CurrentVersion"
WINLOGON_KEY = "HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon"
RUNONCE_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"
QS = PRODUCT_DIR + "\\QS.EXE"
RUN_LOG = PRODUCT_DIR + "\\KORVANE.LOG"

EWX_LOGOFF, EWX_SHUTDOWN, EWX_REBOOT, EWX_FORCE, EWX_POWEROFF, EWX_FORCEIFHUNG = 0, 1, 2, 4, 8, 0x10

# Every program the session starts, and every program they start, writes this trace to the
# stderr file of the program the session started.
TRACE_ENV = {"WINEDEBUG": "-all,+pid,+relay,+loaddll"}
# Seconds a boot may take beyond the run's time-out: Wine's start-up on a busy machine.
BOOT_ALLOWANCE = 60
_RELAY_SETTINGS = {
    "HKCU\\Software\\Wine\\Debug": {
        "RelayInclude": "user32.ExitWindowsEx;kernel32.ExitProcess;ntdll.RtlExitUserProcess"},
    # Wine runs its own wineboot even where a file of that name lies in the System folder.
    "HKCU\\Software\\Wine\\DllOverrides": {"wineboot.exe": "native,builtin"},
}


# ---- What happened: processes and power requests, from the relay trace -------------------------

class PowerAction:
    """One ExitWindowsEx call: the calling program and process, its flags and whether Windows
    accepted it."""

    def __init__(self, pid, program, flags, result=None):
        self.pid, self.program, self.flags, self.result = pid, program, flags, result

    @property
    def kind(self):
        """"reboot", "poweroff", "shutdown" or "logoff", the strongest the flags ask for."""
        for flag, name in ((EWX_REBOOT, "reboot"), (EWX_POWEROFF, "poweroff"), (EWX_SHUTDOWN, "shutdown")):
            if self.flags & flag:
                return name
        return "logoff"

    @property
    def forced(self):
        return bool(self.flags & EWX_FORCE)

    @property
    def ends_session(self):
        return self.kind != "reboot"

    def __str__(self):
        return f"{self.program} {self.kind}{' forced' if self.forced else ''} (flags {self.flags:#x})"

    __repr__ = __str__


class Process:
    """A process seen in the trace: its pid, program path, whether it is one of Wine's own
    (builtin) programs, and its exit code (None when it was killed or still ran)."""

    def __init__(self, pid, path, builtin):
        self.pid, self.path, self.builtin, self.exit_code = pid, path, builtin, None

    @property
    def program(self):
        return self.path.rpartition("\\")[2]

    def __repr__(self):
        return f"Process({self.pid}, {self.program!r}, exit_code={self.exit_code})"


_TRACE_LINE = re.compile(r"^([0-9a-f]+):([0-9a-f]+):(.*)$")
_LOADED = re.compile(r'^trace:loaddll:\w+ Loaded L"(.*\.exe)" at [0-9a-f]+: (\w+)', re.IGNORECASE)
_EXIT_WINDOWS = re.compile(r"^Call user32\.ExitWindowsEx\(([0-9a-f]+),[0-9a-f]+\)", re.IGNORECASE)
_EXIT_WINDOWS_RETURN = re.compile(r"^Ret  user32\.ExitWindowsEx\(\) retval=([0-9a-f]+)", re.IGNORECASE)
_EXIT_PROCESS = re.compile(r"^Call (?:kernel32\.ExitProcess|ntdll\.RtlExitUserProcess)\(([0-9a-f]+)\)",
                           re.IGNORECASE)


# Wine's wineboot ending the session, stand-in or real, as the prefix's process list shows it.
_ENDS_SESSION = re.compile(r"wineboot\.exe\b.*--(?:end-session|kill)", re.IGNORECASE)


class Trace:
    """The processes and power requests of one relay trace, read as it grows."""

    def __init__(self, path):
        self.path, self.offset, self.rest = path, 0, b""
        self.processes, self.actions = [], []
        self._running, self._calls = {}, {}

    def read(self):
        """Takes in what was written since the last call; returns self."""
        with open(self.path, "rb") as trace:
            trace.seek(self.offset)
            data = self.rest + trace.read()
        self.offset += len(data) - len(self.rest)
        lines = data.split(b"\n")
        self.rest = lines.pop()
        for line in lines:
            self._line(line.decode("utf-8", errors="replace").rstrip("\r"))
        return self

    def _line(self, line):
        match = _TRACE_LINE.match(line)
        if not match:
            return
        pid, thread, text = int(match.group(1), 16), match.group(2), match.group(3)
        loaded = _LOADED.match(text)
        if loaded and pid not in self._running:  # the first EXE of a process is its program
            self._running[pid] = Process(pid, loaded.group(1).replace("\\\\", "\\"), loaded.group(2) == "builtin")
            self.processes.append(self._running[pid])
        elif _EXIT_WINDOWS.match(text):
            process = self._running.get(pid)
            action = PowerAction(pid, process.program if process else "?", int(_EXIT_WINDOWS.match(text).group(1), 16))
            self.actions.append(action)
            self._calls[(pid, thread)] = action
        elif _EXIT_WINDOWS_RETURN.match(text) and (pid, thread) in self._calls:
            self._calls.pop((pid, thread)).result = int(_EXIT_WINDOWS_RETURN.match(text).group(1), 16) != 0
        elif _EXIT_PROCESS.match(text) and pid in self._running:
            self._running.pop(pid).exit_code = int(_EXIT_PROCESS.match(text).group(1), 16)


class Step:
    """One stage of the session: a boot (Wine's start-up with the RunOnce values), a logon (the
    shell), or a program the test started. ended says how: "exit" (its program ended by itself),
    "power off" (still running when the session powered off after a request), "desktop" (a logon
    that found Explorer as the shell)."""

    def __init__(self, kind, number, program, trace):
        self.kind, self.number, self.program, self.trace = kind, number, program, trace
        self.ended = None

    @property
    def processes(self):
        return self.trace.processes

    @property
    def shell(self):
        """The Shell value a logon found; None for other steps."""
        return _logon_report(self.program)[1] if self.kind == "logon" else None

    @property
    def actions(self):
        return self.trace.actions

    def __repr__(self):
        return f"<{self.kind} {self.number}: {self.ended}; actions {self.actions}; processes {self.processes}>"


class Outcome:
    """A whole session: its steps, and how it ended: "shutdown", "poweroff" or "logoff" (after
    that request), "exit" (the shell ended without one), "desktop" (the logon found Explorer)
    or "boot limit"."""

    def __init__(self):
        self.steps, self.ended = [], None

    @property
    def actions(self):
        return [action for step in self.steps for action in step.actions]

    @property
    def kinds(self):
        """The kinds of the power requests in their order, e.g. ["reboot", "poweroff"]."""
        return [action.kind for action in self.actions]

    @property
    def boots(self):
        return sum(1 for step in self.steps if step.kind == "boot")

    def processes(self, program):
        """Every process of that program file name (any letter case), in their order."""
        return [p for step in self.steps for p in step.processes if p.program.lower() == program.lower()]

    def exit_codes(self, program):
        """The exit codes of that program's processes; None for one killed or still running."""
        return [p.exit_code for p in self.processes(program)]

    def __repr__(self):
        return f"<session ended by {self.ended}: " + ", ".join(repr(step) for step in self.steps) + ">"


# ---- The session ------------------------------------------------------------------------------

class Session:
    """A Windows machine made of a prefix: set it up, run() it, then read what it left."""

    def __init__(self, prefix, env=None):
        """env: extra environment of every program the machine starts (its "system" settings,
        e.g. the language)."""
        self.prefix = prefix
        self.env = dict(env or {})
        self._boot_count = 0
        self._install()

    def _install(self):
        system_wineboot = self.prefix.unix_path(f"{SYSTEM_DIR}\\wineboot.exe")
        self.prefix.install(system_wineboot, f"{STANDINS_DIR}\\wine")
        for tool in ("wineboot.exe", "userinit.exe"):
            source = harness.test_bin_dir() / tool
            if not source.exists():
                raise HarnessError(f"the stand-in {tool} was not built into {harness.test_bin_dir()}")
            self.prefix.install(source, SYSTEM_DIR)
        self.prefix.import_values(_RELAY_SETTINGS)

    # -- state before a run

    def write_command_list(self, lines, first=0):
        """Writes the lines as the command list order<first>, order<first+1>, ... (REG_SZ)."""
        self.prefix.import_values({SETTINGS_KEY: {f"order{first + i}": line for i, line in enumerate(lines)}})

    def command_list(self):
        """{index: line} of the order values that are left."""
        values = self.prefix.reg_values(SETTINGS_KEY) or {}
        return dict(sorted((int(n[5:]), v) for n, v in values.items() if re.fullmatch(r"order\d+", n)))

    def logon_shell(self, command=QS):
        """Makes the command the user's shell, as the planner does for its shell run methods."""
        self.prefix.reg_add(WINLOGON_KEY, "Shell", command)

    def runonce(self, command=QS, name="Korvane0"):
        """Queues the command for the next boot in the machine's RunOnce key."""
        self.prefix.reg_add(RUNONCE_KEY, name, command)

    # -- the run

    def run(self, first=None, boots=3, timeout=60, grace=10):
        """Plays the machine until it is switched off, its shell ends, the desktop appears, or
        the number of boots reaches boots. Starts with a boot, or with first, a program the test
        started in the running prefix (with TRACE_ENV in its environment, or its power requests
        go unseen). timeout bounds each step, a boot with BOOT_ALLOWANCE more for Wine's own
        start-up; a program still running grace seconds after it asked for a power action is
        ended with the rest, as Windows would end it."""
        outcome = Outcome()
        step = self._watch(Step("program", 1, first, Trace(first.err_path)), timeout, grace) if first else None
        while True:
            if step:
                outcome.steps.append(step)
                request = next((a for a in step.actions if a.result is not False), None)
                if request and request.ends_session:
                    if step.ended == "power off":
                        self._end_processes(step)
                    self._finish_end_of_session(timeout)
                    outcome.ended = request.kind
                    return outcome
                if not request and step.kind == "boot":
                    step = self._logon(timeout, grace)
                    continue
                if not request:
                    outcome.ended = "desktop" if step.ended == "desktop" else "exit"
                    return outcome
            if outcome.boots >= boots:
                outcome.ended = "boot limit"
                return outcome
            step = self._boot(timeout, grace)

    def start(self, program, *args, **options):
        """Starts a program in the running prefix, traced, to hand to run() as first."""
        return self.prefix.start(program, *args, env={**self.env, **options.pop("env", {}), **TRACE_ENV}, **options)

    def _boot(self, timeout, grace):
        """Powers the prefix off and on; the first program of a fresh prefix waits while Wine's
        start-up runs the RunOnce values. A first program that could not even start (its trace
        shows no process) is tried once more."""
        self._boot_count += 1
        for _ in range(2):
            self._power_cycle()
            program = self.prefix.start(f"{SYSTEM_DIR}\\wineboot.exe", env={**self.env, **TRACE_ENV})
            step = Step("boot", self._boot_count, program, Trace(program.err_path))
            step = self._watch(step, timeout + BOOT_ALLOWANCE, grace)
            if step.processes:
                return step
        raise HarnessError(f"boot {self._boot_count}: the prefix did not start; wineboot ended with "
                           f"{program.popen.returncode}: {program.stderr[-2000:]}")

    def _logon(self, timeout, grace):
        program = self.prefix.start(f"{SYSTEM_DIR}\\userinit.exe", env={**self.env, **TRACE_ENV}, cwd=SYSTEM_DIR)
        step = self._watch(Step("logon", self._boot_count, program, Trace(program.err_path)), timeout, grace)
        report = _logon_report(program)
        if report[0] == "failed":
            raise HarnessError(f'logon {step.number}: the shell "{report[1]}" could not be started '
                               f"(error {report[2]})")
        if report[0] == "desktop":
            step.ended = "desktop"
        return step

    def _watch(self, step, timeout, grace):
        """Waits for the step's program to end; after a power request, at most grace seconds."""
        deadline, asked = time.monotonic() + timeout, None
        while step.program.running:
            if asked is None and step.trace.read().actions:
                asked = time.monotonic()
            if asked is not None and time.monotonic() - asked > grace:
                step.ended = "power off"
                break
            if time.monotonic() > deadline:
                self._time_out(step, timeout)
            time.sleep(0.2)
        step.ended = step.ended or "exit"
        step.trace.read()
        return step

    @staticmethod
    def _time_out(step, timeout):
        shot = harness.screenshot(f"{step.program.label}-{step.kind}{step.number}-still-running")
        step.program.kill()
        what = f"{step.kind} {step.number}"
        if step.kind == "logon":
            what += f': the shell "{_logon_report(step.program)[1]}"'
        elif step.kind == "boot":
            what += ": the RunOnce programs"
        else:
            what += f": {step.program.name}"
        running = [p.program for p in step.trace.read().processes if p.exit_code is None and not p.builtin]
        raise TimedOut(f"{what} did not end within {timeout} s; processes without an exit: "
                       f"{', '.join(running) or 'none'} (screenshot: {shot})")

    def _end_processes(self, step):
        """Ends what still runs of a step after a shutdown, leaving Wine's own services."""
        for process in step.processes:
            if process.exit_code is None and not process.builtin:
                self.prefix.run("taskkill.exe", "/f", "/pid", str(process.pid), timeout=30)

    def _finish_end_of_session(self, timeout):
        """Waits for Wine's end of the session (the wineboot that ExitWindowsEx started) to finish
        closing windows. On a busy machine it may still be taking its list of windows when the
        program that asked has ended, and would then close a window of the next program the
        test starts in this prefix. One still busy after timeout seconds is killed."""
        deadline = time.monotonic() + timeout
        while True:
            ending = [pid for pid, command in harness.prefix_processes(self.prefix.path)
                      if _ENDS_SESSION.search(command)]
            if not ending:
                return
            if time.monotonic() > deadline:
                for pid in ending:
                    harness.kill_process(pid)
                return
            time.sleep(0.2)

    def _power_cycle(self):
        """Ends every process with the wineserver and starts a fresh one, as a restart of the
        machine would. A session that ends with a shutdown keeps its wineserver and Wine's
        services, so that reading the registry afterwards does not boot the prefix again (which
        would run the RunOnce values)."""
        self.prefix.shutdown()
        self.prefix.boot()

    # -- state after a run

    def run_log(self):
        """KORVANE.LOG's lines as LogLine (time, field, text); [] when there is none."""
        path = self.prefix.unix_path(RUN_LOG)
        return parse_run_log(path.read_bytes().decode("cp932")) if path.exists() else []

    def snapshot(self, *keys):
        """The keys with all their subkeys, for compare()."""
        return Snapshot({key: self.prefix.export_key(key) for key in keys})


def _logon_report(program):
    """The first line of userinit's report as its fields: ("desktop", shell), ("shell", shell,
    pid) or ("failed", shell, error); ("?", "?") before it wrote one."""
    lines = program.stdout.splitlines()
    return tuple(lines[0].split("\t")) if lines else ("?", "?")


# ---- The run log ------------------------------------------------------------------------------

class LogLine:
    def __init__(self, time, field, text):
        self.time, self.field, self.text = time, field, text

    def __iter__(self):
        return iter((self.time, self.field, self.text))

    def __repr__(self):
        return f"LogLine({self.time}, {self.field!r}, {self.text!r})"


_MONTHS = ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"]
_ENGLISH_LINE = re.compile(r"^(\w{3}) ([ \d]\d), (\d{4}) ([ \d]\d):(\d\d):(\d\d) \[([^\]]*)\](.*)$")
_JAPANESE_LINE = re.compile(r"^(\d{4})/([ \d]\d)/([ \d]\d) ([ \d]\d):(\d\d):(\d\d) \[([^\]]*)\](.*)$")


def parse_run_log(text):
    """Lines of either language's frame become LogLine(datetime, field, text); any other line
    becomes LogLine(None, None, line), so that a test sees it rather than losing it."""
    lines = []
    for line in text.splitlines():
        english, japanese = _ENGLISH_LINE.match(line), _JAPANESE_LINE.match(line)
        if english and english.group(1) in _MONTHS:
            month, day, year, hour, minute, second, field, rest = english.groups()
            stamp = (int(year), _MONTHS.index(month) + 1, int(day), int(hour), int(minute), int(second))
        elif japanese:
            year, month, day, hour, minute, second, field, rest = japanese.groups()
            stamp = (int(year), int(month), int(day), int(hour), int(minute), int(second))
        else:
            lines.append(LogLine(None, None, line))
            continue
        lines.append(LogLine(datetime(*stamp), field, rest))
    return lines


# ---- Registry snapshots -----------------------------------------------------------------------

class Snapshot:
    """Keys with their subkeys and values at one moment: {key: {subkey: {name: value}} or None}."""

    def __init__(self, keys):
        self.keys = keys

    def compare(self, later, ignore=()):
        """The differences from this snapshot to a later one, one readable line each. ignore
        holds value names or "subkey\\name" patterns (fnmatch, any letter case) to leave out."""
        def ignored(subkey, name):
            full = f"{subkey}\\{name}" if subkey else name
            return any(fnmatch.fnmatch(t.lower(), p.lower()) for p in ignore for t in (name, full))

        lines = []
        for key in self.keys:
            before, after = self.keys[key] or {}, later.keys.get(key) or {}
            for subkey in sorted(set(before) | set(after)):
                where = f"{key}\\{subkey}" if subkey else key
                if (subkey in before) != (subkey in after):
                    lines.append(f"{where}: key {'removed' if subkey in before else 'added'}")
                old, new = before.get(subkey, {}), after.get(subkey, {})
                for name in sorted(set(old) | set(new)):
                    if ignored(subkey, name) or old.get(name) == new.get(name):
                        continue
                    shown = name or "(default)"
                    if name not in new:
                        lines.append(f"{where}: {shown} removed (was {old[name]!r})")
                    elif name not in old:
                        lines.append(f"{where}: {shown} added: {new[name]!r}")
                    else:
                        lines.append(f"{where}: {shown} changed from {old[name]!r} to {new[name]!r}")
        return lines
