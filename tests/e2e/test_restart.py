"""The restart harness itself: a session sees every power request with its flags, plays restarts
as Windows does (RunOnce values at the next boot, then the user's shell), ends on a shutdown,
bounds every wait, and its readers (stand-in journals, registry snapshots, the run log) tell
what happened."""
import re
import signal
import threading
import time
from datetime import datetime

import pytest

import harness
from session import (RUNONCE_KEY, RUN_LOG, SETTINGS_KEY, WINLOGON_KEY, PowerAction, Session, Snapshot, Trace,
                     parse_run_log)

POWERCTL = harness.PRODUCT_DIR + "\\powerctl.exe"
POWERCTL_LOG = "C:\\tests\\powerctl.log"


@pytest.fixture
def session(prefix):
    """A session with powerctl installed beside the products (a folder with a blank, as QS's)."""
    prefix.install_test_program("powerctl.exe", harness.PRODUCT_DIR)
    return Session(prefix)


def powerctl_log(prefix):
    return [line.split(" ", 3) for line in prefix.read_file(POWERCTL_LOG).splitlines()]


# ---- Without Wine: the readers ----------------------------------------------------------------

TRACE = [
    '0020:0024:trace:loaddll:build_module Loaded L"C:\\\\windows\\\\system32\\\\wineboot.exe" at 0000000140000000: '
    'native',
    '0030:0034:trace:loaddll:build_module Loaded L"C:\\\\Program Files\\\\Tidewell\\\\QS.EXE" at 0000000140000000: '
    'native',
    '0030:0034:trace:loaddll:build_module Loaded L"C:\\\\windows\\\\system32\\\\ntoskrnl.exe" at 0000000150000000: '
    'builtin',
    "0030:0038:Call user32.ExitWindowsEx(00000002,80000000) ret=140008120",
    "0030:0038:Ret  user32.ExitWindowsEx() retval=00000000 ret=140008120",
    "0030:0038:Call user32.ExitWindowsEx(00000006,80000000) ret=140008120",
    "0030:0038:Ret  user32.ExitWindowsEx() retval=00000001 ret=140008120",
    "0030:0034:Call KERNEL32.ExitProcess(0000012c) ret=228297eb8",
    # The same pid again: a new process once the first has ended.
    '0030:0040:trace:loaddll:build_module Loaded L"C:\\\\windows\\\\system32\\\\CHKDSK.EXE" at 0000000140000000: '
    'native',
    "0030:0040:Call user32.ExitWindowsEx(00000009,80000000) ret=140008120",
]


def test_trace_gives_processes_power_requests_and_exit_codes(tmp_path):
    path = tmp_path / "trace.err"
    # Written in two parts that split a line, as a trace read while it grows.
    text = "\n".join(TRACE) + "\n"
    path.write_text(text[:300])
    trace = Trace(path).read()
    path.write_text(text)
    trace.read()
    assert [(p.pid, p.path, p.builtin, p.exit_code) for p in trace.processes] == [
        (0x20, "C:\\windows\\system32\\wineboot.exe", False, None),
        (0x30, "C:\\Program Files\\Tidewell\\QS.EXE", False, 300),
        (0x30, "C:\\windows\\system32\\CHKDSK.EXE", False, None)]
    assert [(a.program, a.flags, a.result) for a in trace.actions] == [
        ("QS.EXE", 2, False), ("QS.EXE", 6, True), ("CHKDSK.EXE", 9, None)]


@pytest.mark.parametrize("flags, kind, forced", [
    (0x0, "logoff", False), (0x4, "logoff", True), (0x1, "shutdown", False), (0x9, "poweroff", False),
    (0xD, "poweroff", True), (0x2, "reboot", False), (0x6, "reboot", True), (0x12, "reboot", False),
])
def test_power_request_kinds(flags, kind, forced):
    action = PowerAction(1, "QS.EXE", flags)
    assert (action.kind, action.forced, action.ends_session) == (kind, forced, kind != "reboot")


def test_run_log_lines_of_both_languages():
    text = ("Dec  6, 2026 15:59:03 [QS]The wall paper was shunted.\r\n"
            "2026/12/ 6  5:09:03 [QS:0031]PATH=C:\\windows\r\n"
            "Jan 17, 2027  0:00:00 [KV][x] text]\r\n"
            "not a log line\r\n")
    assert [tuple(line) for line in parse_run_log(text)] == [
        (datetime(2026, 12, 6, 15, 59, 3), "QS", "The wall paper was shunted."),
        (datetime(2026, 12, 6, 5, 9, 3), "QS:0031", "PATH=C:\\windows"),
        (datetime(2027, 1, 17, 0, 0, 0), "KV", "[x] text]"),
        (None, None, "not a log line")]


def test_snapshot_compare_reports_each_difference_and_leaves_out_ignored_values():
    before = Snapshot({"HKLM\\A": {"": {"Shell": "QS.EXE", "order0": "$Log x", "kept": 1},
                                   "Sub": {"gone": b"\x01"}}, "HKCU\\B": None})
    after = Snapshot({"HKLM\\A": {"": {"Shell": "Explorer.exe", "kept": 1, "new": ["a"]},
                                  "Added": {}}, "HKCU\\B": {"": {"x": 2}}})
    assert before.compare(after) == [
        "HKLM\\A: Shell changed from 'QS.EXE' to 'Explorer.exe'",
        "HKLM\\A: new added: ['a']",
        "HKLM\\A: order0 removed (was '$Log x')",
        "HKLM\\A\\Added: key added",
        "HKLM\\A\\Sub: key removed",
        "HKLM\\A\\Sub: gone removed (was b'\\x01')",
        "HKCU\\B: key added",
        "HKCU\\B: x added: 2"]
    assert before.compare(after, ignore=["order*", "SHELL", "Sub\\gone", "new", "x"]) == [
        "HKLM\\A\\Added: key added", "HKLM\\A\\Sub: key removed", "HKCU\\B: key added"]


# ---- Sessions ---------------------------------------------------------------------------------

def test_restart_runs_runonce_at_the_next_boot_then_the_shell_again_until_poweroff(prefix, session):
    prefix.install_standins(["CHKDSK"])
    prefix.set_standin_exit("CHKDSK", 3)
    # The same shell restarts first and switches off the second time; before its restart it
    # leaves a RunOnce value, as the planner does. The path has a blank and no quotes, as the
    # planner may write it.
    session.logon_shell(f'{POWERCTL} --window --runonce Check "CHKDSK.EXE /f C:" '
                        "--exit reboot,shutdown+poweroff --code 5")
    outcome = session.run(timeout=60)

    assert [(s.kind, s.number, s.ended) for s in outcome.steps] == [
        ("boot", 1, "exit"), ("logon", 1, "exit"), ("boot", 2, "exit"), ("logon", 2, "exit")], outcome
    assert outcome.kinds == ["reboot", "poweroff"] and outcome.ended == "poweroff", outcome
    assert [str(a) for a in outcome.actions] == ["powerctl.exe reboot (flags 0x2)", "powerctl.exe poweroff (flags 0x9)"]
    assert outcome.steps[1].shell.startswith(POWERCTL + " --window")
    assert len(outcome.processes("powerctl.exe")) == 2, "the shell came back as a new process after the restart"
    assert [fields[0] for fields in powerctl_log(prefix)].count("start") == 2
    # The RunOnce value ran at the second boot, before the shell, and only then.
    assert [p.program for p in outcome.steps[2].processes if not p.builtin][-2:] == ["CHKDSK.EXE", "wineboot.exe"]
    assert outcome.exit_codes("CHKDSK.EXE") == [3]
    # The value the second shell left is still there: reading the registry after the shutdown
    # did not boot the prefix again.
    assert prefix.reg_values(RUNONCE_KEY) == {"Check": "CHKDSK.EXE /f C:"}
    # Wine's wineboot in the template, which the prefix's System folder shares through hard
    # links, is untouched by the stand-in that replaced it in the prefix.
    template_wineboot = harness.template_dir() / "drive_c" / "windows" / "system32" / "wineboot.exe"
    assert b"Wine builtin DLL" in template_wineboot.read_bytes()[:256]


# Each case: powerctl's arguments, how the session ends, the requests as (kind, forced), how the
# program's own step ended, and the exit code of the last powerctl process. Wine ends a process
# that owns windows soon after it asked for a power action, so how such a one ended is left
# open (ANY): by itself, by Wine, or by the session after the grace time when Wine is slow.
ANY = object()
ENDINGS = [
    (["--window", "--exit", "logoff"], "logoff", [("logoff", False)], ANY, ANY),
    (["--window", "--exit", "shutdown+poweroff+force"], "poweroff", [("poweroff", True)], ANY, ANY),
    (["--window", "--code", "7"], "exit", [], "exit", 7),
    # Asks to switch off, then hangs without a window, which Wine leaves alone: the session ends
    # it after the grace time, as Windows would.
    (["--exit", "shutdown", "--sleep", "-1"], "shutdown", [("shutdown", False)], "power off", None),
    # Restarts: the RunOnce value runs at the boot, then the desktop (no shell value) appears.
    (["--window", "--runonce", "Next", f"{POWERCTL} --code 300", "--exit", "reboot+force"], "desktop",
     [("reboot", True)], ANY, 300),
]


def test_each_power_request_ends_the_session_its_way(prefix, session):
    for args, ended, requests, program_ended, last_code in ENDINGS:
        prefix.write_file(POWERCTL_LOG, "")  # powerctl picks its request by its count of starts
        outcome = session.run(first=session.start(POWERCTL, *args), boots=1, grace=2, timeout=30)
        assert outcome.ended == ended, (args, outcome)
        assert program_ended is ANY or outcome.steps[0].ended == program_ended, (args, outcome)
        assert [(a.kind, a.forced) for a in outcome.actions] == requests, (args, outcome)
        codes = outcome.exit_codes("powerctl.exe")
        assert last_code is ANY or codes[-1] == last_code, (args, outcome)
        assert not outcome.steps[0].program.running, f"{args}: the program was left running"


# Wine's own wineboot ending the session for a forced request (the stand-in has "--kill" then).
REAL_WINEBOOT_ENDING = re.compile(r"wineboot\.exe\b.*--end-session", re.IGNORECASE)


def test_a_session_ends_only_once_wines_end_of_session_is_over(prefix, session):
    """Wine's end of the session runs on after the program that asked has ended. Held up here
    (its processes stopped as they appear), it must not be left to close the windows of the next
    program the test starts."""
    frozen, done = set(), threading.Event()

    def freeze():
        while not done.is_set():
            for pid, command in harness.prefix_processes(prefix.path):
                if pid not in frozen and REAL_WINEBOOT_ENDING.search(command):
                    harness.signal_process(pid, signal.SIGSTOP)
                    frozen.add(pid)
            time.sleep(0.005)

    watcher = threading.Thread(target=freeze)
    watcher.start()
    try:
        outcome = session.run(first=session.start(POWERCTL, "--window", "--exit", "shutdown+force"), boots=1,
                              grace=1, timeout=5)
    finally:
        done.set()
        watcher.join()
    assert outcome.ended == "shutdown" and frozen, (outcome, frozen)
    # Woken now, a wineboot the session had left behind would close the next program's window; the
    # window is there before they are woken, and the program then ends by itself 5 s after its start.
    next_program = session.start(POWERCTL, "--window", "--sleep", "5000", "--code", "7")
    prefix.wauto("wait --class PowerctlWindow --hidden --timeout 30")
    for pid in frozen:
        harness.signal_process(pid, signal.SIGCONT)
    assert next_program.wait(30) == 7


def test_a_shell_that_never_ends_fails_with_a_time_out_and_a_screenshot(prefix, session):
    session.logon_shell(f"{POWERCTL} --window --sleep -1")
    with pytest.raises(harness.TimedOut) as failure:
        session.run(timeout=4)
    message = str(failure.value)
    assert f'logon 1: the shell "{POWERCTL} --window --sleep -1" did not end within 4 s' in message
    assert "processes without an exit: userinit.exe, powerctl.exe (screenshot: " in message
    shot = message.rpartition("screenshot: ")[2].rstrip(")")
    assert shot.endswith(".png") and harness.Path(shot).exists(), message


def test_standin_tools_journal_their_calls_and_exit_as_told(prefix):
    prefix.install_standins()
    prefix.set_standin("DEFRAG", exit_code=4, text="Defragmenting C:")
    prefix.set_standin_exit("CHKDSK", 0)
    prefix.write_file("C:\\tests\\tools.bat", "\r\n".join([
        "@echo off", "cd /d C:\\tests",
        "DEFRAG.EXE C: /U /V", "echo defrag %ERRORLEVEL%",
        'chkdsk "C:\\Some Folder" /f', "echo chkdsk %ERRORLEVEL%"]) + "\r\n")
    result = prefix.run("CMD.EXE", "/C", "C:\\tests\\tools.bat", timeout=60)
    lines = result.stdout.splitlines()
    assert lines[:2] == ["Defragmenting C:", "defrag 4"] and lines[3] == "chkdsk 0", result
    assert lines[2].startswith("CHKDSK stand-in: ") and lines[2].endswith(' "C:\\Some Folder" /f'), result
    records = prefix.journal()
    assert [(r.tool, r.exit_code, r.folder, r.parent_program) for r in records] == [
        ("DEFRAG", 4, "C:\\tests", "cmd.exe"), ("CHKDSK", 0, "C:\\tests", "cmd.exe")]
    assert records[0].command_line.endswith(" C: /U /V")
    assert result.stdout.splitlines()[2] == f"CHKDSK stand-in: {records[1].command_line}"
    assert [r.tool for r in prefix.journal("chkdsk")] == ["CHKDSK"]


def test_registry_values_round_trip_and_snapshots_catch_a_change(prefix):
    session = Session(prefix)
    values = {"text": 'a "quoted" C:\\path', "japanese": "最適化", "lines": "one\r\ntwo", "number": 0xFFFFFFFF,
              "list": ["x", "y z"], "bytes": b"\x00\xff"}
    prefix.import_values({SETTINGS_KEY: values, SETTINGS_KEY + "\\Sub": {"": "default"}})
    command = '"C:\\Program Files\\x.exe" /a'
    session.write_command_list(["$Log one", command], first=2)
    before = session.snapshot(SETTINGS_KEY, WINLOGON_KEY)
    assert before.keys[SETTINGS_KEY] == {"": {**values, "order2": "$Log one", "order3": command},
                                         "Sub": {"": "default"}}
    assert session.command_list() == {2: "$Log one", 3: command}

    prefix.reg_add(SETTINGS_KEY, "number", 1)
    prefix.reg_delete(SETTINGS_KEY, "order2")
    session.logon_shell("Explorer.exe")
    after = session.snapshot(SETTINGS_KEY, WINLOGON_KEY)
    assert before.compare(after, ignore=["order*"]) == [
        f"{SETTINGS_KEY}: number changed from 4294967295 to 1",
        f"{WINLOGON_KEY}: Shell added: 'Explorer.exe'"]

    prefix.write_file(RUN_LOG, "2026/12/ 6 15:59:03 [QS]最適化の開始\r\n", encoding="cp932")
    assert [tuple(line) for line in session.run_log()] == [
        (datetime(2026, 12, 6, 15, 59, 3), "QS", "最適化の開始")]
