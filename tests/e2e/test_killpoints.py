"""KORVANE.EXE /A killed right after each change it makes to the system, for each run method on
Windows XP, 7 and 10. The planner's stop points (a hook only a test prefix arms, through
TIDEWELL_STOP_AT) end it at once, as a kill would. After each kill the test plays what the user
has next, a restart with the machine as it is (the RunOnce QS, then the logon's shell, one QS
start each), and shows:

- at the kill, every change already made has its restore entry in the command list, or the
  machine is as before the run;
- after the restart Windows comes to its desktop (QS does not stay the shell);
- the next planned run still ends with every setting as before the first one.

A restart that already left the machine as before, with no list behind, makes the next run a
fresh one, which the uninterrupted run of each method shows; it is not played again. The kill
points are printed as a table and kept in the artifacts folder."""
import os
import re
import signal

import pytest

import harness
from session import QS, RUNONCE_KEY, SETTINGS_KEY, WINLOGON_KEY
from test_rinsa_run import (BASE_SETTINGS, KORVANE, MACHINE_WINLOGON, POLICIES, SERVICES, SESSION_MANAGER,
                            Machine)

MEMORY = SESSION_MANAGER + "\\Memory Management"
SERVICE = SERVICES + "\\TwSrvA"
DESKTOP = "HKCU\\Control Panel\\Desktop"
SESSION_ONLY = "HKCU\\Software\\Wine\\Temporary System Parameters"
STOP_RECORD = "C:\\tests\\stops.txt"
BOOT_FILES = ("C:\\BOOT.INI", "C:\\BOOT.RNB", "C:\\BOOT.RN_", "C:\\BOOT.IN_", "C:\\BOOT.S__")
BOOT_INI = ("[boot loader]\r\ntimeout=30\r\ndefault=multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS\r\n"
            "[operating systems]\r\nmulti(0)disk(0)rdisk(0)partition(1)\\WINDOWS=\"Windows XP\" /fastdetect\r\n")
BOOT_RNB = BOOT_INI.replace("timeout=30", "timeout=0")
KILLED_EXIT_CODE = 0xDEAD & 0xFF  # what reaches Linux of TerminateProcess(0xDEAD)

# What a run changes and the entry that puts it back. A changed value must find its entry among
# the pending entries of the list when the planner is killed.
WATCHED = {
    "BootExecute": (SESSION_MANAGER, "$RestoreBootExecute"),
    "EnableLUA": (POLICIES, "$EnableUAC"),
    "DisplayLastLogonInfo": (POLICIES, "$EnableDisplayLastLogonInfo"),
    "Start": (SERVICE, "$RService TwSrvA"),
    "Shell": (WINLOGON_KEY, "$RestoreShell"),
    "PagingFiles": (MEMORY, "$RestoreSwap"),
    "AutoAdminLogon": (MACHINE_WINLOGON, "$OffAutoLogon"),
    "ScreenSaveActive": (DESKTOP, "@REG.EXE ADD"),  # off while check disk runs before the restart
}
SNAPSHOT_KEYS = [SESSION_MANAGER, POLICIES, SERVICE, WINLOGON_KEY, MACHINE_WINLOGON, RUNONCE_KEY]

# The run methods as the user stores them in How. 3 on Windows 7 and 10 and 0 on Windows 10 are
# run as 2 (the planner's rule), so their kill points are those of method 2.
VERSIONS = {"winxp": "winxp64", "win7": "win7", "win10": "win10"}
NORMALISED = {("win7", 3): 2, ("win10", 0): 2, ("win10", 3): 2}


# Points that follow only a backup copy, changing nothing a user would meet; the unit tests of the
# stop points look at the list there, and this suite keeps its time for the real changes.
BACKUP_ONLY = {"_BootExecute saved", "_PagingFiles saved", "BOOT.RN_ saved"}


def settings_for(method):
    """Every change a run can make on these systems: check disk at boot (or now, for method 4),
    a service, the paging file, automatic logon, BOOT.INI on XP; then a defragmentation. Without
    a restart the services are only stopped by the list, and the run just ends."""
    settings = {**BASE_SETTINGS, "How": method, "Selected": 2, "stopsrv": "TwSrvA\x07", "NoPagingFile": 1,
                "OffAutoLogon": 3, "Bootini": 1}
    if method == 4:
        settings.update(stopsrv=None, NotAutoPowerOff=1)
    return settings


class KillMachine(Machine):
    """A prefix set up as a user's machine before a run, with the means to put it back there."""

    def __init__(self, prefix, version, method):
        self.method = method
        super().__init__(prefix, VERSIONS[version], settings_for(method))
        self.normal()

    def normal(self):
        """The machine as the user keeps it, without a list or anything of an earlier run."""
        prefix = self.prefix
        prefix.import_values({
            SETTINGS_KEY: None,
            SESSION_MANAGER: {"BootExecute": ["autocheck autochk *"], "_BootExecute": None},
            MEMORY: {"PagingFiles": ["C:\\pagefile.sys 0 0"], "_PagingFiles": None},
            SERVICE: {"Start": 2, "Type": 16},
            POLICIES: {"EnableLUA": 1, "DisplayLastLogonInfo": 1},
            # Windows logs this user on by itself once the run switches it on (OffAutoLogon 3).
            MACHINE_WINLOGON: {"AutoAdminLogon": None, "DefaultUserName": self.user, "DefaultPassword": ""},
            WINLOGON_KEY: {"Shell": None},
            RUNONCE_KEY: {"Korvane0": None},
            # The saver is on, so that check disk before the run switches it off and queues its
            # way back (a kill point of run method 4).
            DESKTOP: {"ScreenSaveActive": "1"},
        })
        # The session's own state agrees with the registry, as after a restart.
        prefix.import_values({SESSION_ONLY: None})
        prefix.import_values({SETTINGS_KEY: settings_for(self.method)})
        for path in BOOT_FILES:
            prefix.unix_path(path).unlink(missing_ok=True)
        prefix.write_file("C:\\BOOT.INI", BOOT_INI)
        prefix.write_file("C:\\BOOT.RNB", BOOT_RNB)

    def state(self):
        """The keys a run changes and the boot files, to compare with another moment."""
        files = {p: (self.prefix.read_file(p) if self.prefix.unix_path(p).exists() else None) for p in BOOT_FILES}
        files["ScreenSaveActive"] = (self.prefix.reg_values(DESKTOP) or {}).get("ScreenSaveActive")
        return self.session.snapshot(*SNAPSHOT_KEYS), files

    def watched(self):
        keys = {key: self.prefix.reg_values(key) or {} for key, _ in WATCHED.values()}
        values = {name: keys[key].get(name) for name, (key, _) in WATCHED.items()}
        values["BOOT.INI"] = self.prefix.read_file("C:\\BOOT.INI") if self.prefix.unix_path("C:\\BOOT.INI").exists() \
            else None
        return values

    def plan_killed_at(self, point):
        """KORVANE.EXE /A with its stop point armed; 0 only notes the points and lets it run on.
        Returns the points reached as [(number, change)] and the planner's end."""
        self.prefix.unix_path(STOP_RECORD).unlink(missing_ok=True)
        korvane = self.session.start(KORVANE, "/A",
                                     env={"TIDEWELL_STOP_AT": str(point), "TIDEWELL_STOP_RECORD": STOP_RECORD})
        outcome = self.session.run(first=korvane, boots=0, timeout=120)
        path = self.prefix.unix_path(STOP_RECORD)
        record = path.read_text() if path.exists() else ""
        points = [(int(n), change) for n, change in re.findall(r"^(\d+)\t(.*?)\r?$", record, re.M)]
        return points, outcome, korvane.popen.returncode

    def restart(self, limit=3):
        """Plays the restarts that follow until Windows shows its desktop: at each, the RunOnce
        QS (Windows deletes the value before it runs it), then the logon's shell when it is QS.
        Returns what ran, e.g. ["shell QS: poweroff", "desktop"]."""
        played = []
        # A restart ends the programs a kill left behind (the black screen of check disk).
        self.end_programs_left()
        # A restart forgets what was set for the session only (Wine keeps it in a volatile key),
        # the screen saver that check disk switched off among them.
        self.prefix.import_values({SESSION_ONLY: None})
        for _ in range(limit):
            if self.prefix.reg_query(RUNONCE_KEY, "Korvane0"):
                self.prefix.reg_delete(RUNONCE_KEY, "Korvane0")
                played.append(f"RunOnce QS: {self._qs()}")
            shell = self.prefix.reg_query(WINLOGON_KEY, "Shell") or "Explorer.exe"
            if not shell.upper().endswith("QS.EXE"):
                played.append("desktop")
                return played
            played.append(f"shell QS: {self._qs()}")
        raise AssertionError(f"QS is still the shell after {limit} restarts: {played}")

    def _qs(self):
        outcome = self.session.run(first=self.session.start(QS), boots=0, timeout=180)
        return outcome.ended if outcome.actions else "ended"

    def run_to_the_end(self):
        """The next planned run, uninterrupted, and the restarts after it."""
        completed = self.log().count("Completed.")
        points, outcome, _ = self.plan_killed_at(0)
        if self.method == 4:
            # QS works the list at once on the same desktop and ends without a restart. Its own
            # end, not any QS's: the black screen of check disk is another QS process, and the
            # log holds the ends of the runs before.
            assert outcome.ended == "exit" and not outcome.actions, outcome
            harness.wait_until(lambda: self.log().count("Completed.") > completed and not self.session.command_list(),
                               180, "QS to work the list to its end")
            # Its single-instance mutex goes with it, and the black screen of the check went
            # before it; the next planner must find the mutex free.
            harness.wait_until(lambda: not self.qs_running(), 60, "every QS to end after the list")
        else:
            assert outcome.kinds == ["reboot"], outcome
        return points, self.restart()

    def end_programs_left(self):
        left = [pid for pid, command in harness.prefix_processes(self.prefix.path)
                if any(name in command.upper() for name in ("QS.EXE", "KORVANE.EXE"))]
        for pid in left:
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        harness.wait_until(lambda: not self.qs_running(), 30, "the programs left by the kill to end")

    def qs_running(self):
        return any("QS.EXE" in command.upper() for _, command in harness.prefix_processes(self.prefix.path))

    def start_line(self):
        return next(t for t in reversed(self.log()) if t.startswith("--- Rinsa running is started. - "))


def pending(entries):
    return [e for e in entries if e]


def missing_restores(before, after, entries):
    """The changes made that have no restore entry in the list."""
    missing = []
    for name, old in before.items():
        if after[name] == old:
            continue
        restore = WATCHED[name][1] if name in WATCHED else "$RestoreBi"
        if not any(e.startswith(restore) for e in pending(entries)):
            missing.append(f"{name} {old!r} -> {after[name]!r} without {restore!r}")
    return missing


def differences(before, after):
    (keys_before, files_before), (keys_after, files_after) = before, after
    lines = keys_before.compare(keys_after)
    lines += [f"{p}: {files_before[p]!r} -> {files_after[p]!r}" for p in files_before if files_before[p] != files_after[p]]
    return lines


def table(version, method, effective, rows):
    head = f"Kill points of KORVANE.EXE /A, Windows {version}, run method {method}"
    if effective != method:
        head += f" (run as method {effective})"
    lines = [head, f"{'point':>5}  {'killed right after':<30}  outcome"]
    lines += [f"{n:>5}  {change:<30}  {outcome}" for n, change, outcome in rows]
    return "\n".join(lines) + "\n"


def keep_table(name, text):
    print("\n" + text)
    folder = harness.artifacts_dir()
    (folder / f"killpoints-{name}.txt").write_text(text)


def play_every_kill_point(prefix, version, method):
    machine = KillMachine(prefix, version, method)
    first = machine.state()
    first_watched = machine.watched()

    # The uninterrupted run: its stop points are the kill points, and it ends as it began.
    points, played = machine.run_to_the_end()
    assert points, "the run made no change at all"
    assert differences(first, machine.state()) == [], f"the uninterrupted run: {played}"
    rows = []
    for number, change in points:
        if change in BACKUP_ONLY:
            rows.append((number, change, "not killed: a backup copy only, the unit test looks at the list there"))
            continue
        machine.normal()
        reached, outcome, code = machine.plan_killed_at(number)
        assert reached[-1:] == [(number, change)], f"point {number} ({change}): the run went {reached}"
        assert code == KILLED_EXIT_CODE and not outcome.actions, (number, code, outcome)
        entries = list(machine.session.command_list().values())
        missing = missing_restores(first_watched, machine.watched(), entries)
        assert missing == [], f"killed after point {number} ({change}): {missing}; list {entries}"
        played = machine.restart()
        left = differences(first, machine.state())
        if left or machine.session.command_list():
            _, after = machine.run_to_the_end()
            assert differences(first, machine.state()) == [], \
                f"killed after point {number} ({change}); the next run left: {differences(first, machine.state())}"
            played.append("next run: " + ", ".join(after) + ", all as before")
        else:
            played.append("all as before")
        rows.append((number, change, "; ".join(played)))
    return rows


def run_as_another_method(prefix, version, method, effective):
    """A method the planner runs as another: its uninterrupted run shows which it became and
    that it ends as it began; its kill points are those of the other method."""
    machine = KillMachine(prefix, version, method)
    first = machine.state()
    points, played = machine.run_to_the_end()
    assert f"How:{effective}" in machine.start_line(), machine.start_line()
    assert differences(first, machine.state()) == [], f"the uninterrupted run: {played}"
    return [(n, change, f"as for method {effective}") for n, change in points]


@pytest.mark.parametrize("method", [0, 2, 3, 4])
@pytest.mark.parametrize("version", list(VERSIONS))
def test_kill_points(prefix, version, method):
    effective = NORMALISED.get((version, method), method)
    if effective != method:
        rows = run_as_another_method(prefix, version, method, effective)
    else:
        rows = play_every_kill_point(prefix, version, method)
    keep_table(f"{version}-method{method}", table(version, method, effective, rows))


def test_two_kills_in_a_row_win7(prefix):
    """A first run killed once UAC is off, a second one planned over its list and killed at its
    first change: the second list still holds the first run's way back, and the restart and the
    next run end with every setting as before the first."""
    machine = KillMachine(prefix, "win7", 2)
    first, first_watched = machine.state(), machine.watched()
    reached, _, code = machine.plan_killed_at(3)
    assert reached[-1:] == [(3, "EnableLUA 0")] and code == KILLED_EXIT_CODE, reached
    reached, _, code = machine.plan_killed_at(1)
    assert len(reached) == 1 and code == KILLED_EXIT_CODE, reached
    entries = list(machine.session.command_list().values())
    assert missing_restores(first_watched, machine.watched(), entries) == [], entries
    played = machine.restart()
    points, after = machine.run_to_the_end()
    assert differences(first, machine.state()) == [], f"{played}, next run: {after}"


def test_a_kill_after_the_shell_change_with_the_list_lost_is_recovered_by_qs(prefix):
    """Killed right after QS became the shell, and the list lost after it: at the next logon QS
    has nothing to walk, and its recovery, answered as the user who set up the run would, puts
    Explorer back and restarts into the desktop."""
    machine = KillMachine(prefix, "win7", 2)
    points, _, _ = machine.plan_killed_at(0)
    shell_point = next(n for n, change in points if change.startswith("Shell"))
    machine.normal()
    reached, _, code = machine.plan_killed_at(shell_point)
    assert code == KILLED_EXIT_CODE and reached[-1][0] == shell_point, reached
    assert prefix.reg_query(WINLOGON_KEY, "Shell").upper().endswith("QS.EXE")
    prefix.import_values({SETTINGS_KEY: None})
    machine.end_programs_left()

    qs = machine.session.start(QS)
    box, recovery = "wait --class #32770 --title Tidewell --timeout 60", "wait --class #32770 --title 'Recovery Mode' --timeout 30"
    prefix.wauto(box, "expect --id 65535 --has 'command list is not found'", "click --text OK", "closed --timeout 10")
    prefix.wauto(box, "expect --id 65535 --has 'Execution part of Tidewell'", "click --text Yes", "closed --timeout 10")
    prefix.wauto(recovery, "expect --id 65535 --has 'mistake user name'", "click --text No", "closed --timeout 10")
    prefix.wauto(recovery, "expect --id 65535 --has 'trys to recovery'", "click --text OK")
    outcome = machine.session.run(first=qs, boots=0, timeout=60)
    assert outcome.kinds == ["reboot"], outcome
    assert prefix.reg_query(WINLOGON_KEY, "Shell") == "Explorer.exe"
    assert machine.restart() == ["desktop"]
