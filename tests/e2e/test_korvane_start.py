"""korvane's start-up and command line as a user and Windows see them: one instance, the switches
that run a Rinsa run unattended (/S, /L, /R), the power action after a run (/H0, /H1), the
scheduler replacement (/I), the registry write test with an unwritable key and with what a dead
test left, and the self-check of a changed KORVANE.EXE."""
import re

import pytest

import harness
from harness import PRODUCT_DIR, TEST_DIR
from session import SETTINGS_KEY
from test_rinsa_run import KORVANE, MACHINE_WINLOGON, SESSION_MANAGER, Machine

USER_RUNONCE = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Runonce"
MACHINE_RUNONCE = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Runonce"
TEST_VALUE = "tmp_korvane4_admin_write_test"
MESSAGE_BOX = ["wait", "--class", "#32770", "--title", "Tidewell", "--timeout", "60"]
RESTORE_POINT_QUESTION = "When rinsa!! running starts, are you sure you want to create a restore point?"


def run_log(prefix):
    path = prefix.unix_path(PRODUCT_DIR + "\\KORVANE.LOG")
    text = path.read_bytes().decode("cp932") if path.exists() else ""
    return [line.partition("]")[2] for line in text.splitlines()]


def boxes(prefix):
    """{hwnd: static text} of every message box of Tidewell on the screen."""
    listed = prefix.wauto(["windows", "--class", "#32770", "--title", "Tidewell"])
    texts = {}
    for hwnd, *_ in listed.windows:
        found = prefix.wauto(["wait", "--hwnd", hwnd, "--timeout", "5"], "text --id 65535", check=False)
        texts[hwnd] = found.texts[0] if found.returncode == 0 and found.texts else ""
    return texts


def box_with(prefix, text, timeout=60):
    """The hwnd of the message box showing that text, once it is there."""
    matching = []

    def shown():
        matching[:] = [hwnd for hwnd, shown in boxes(prefix).items() if shown == text]
        return bool(matching)

    harness.wait_until(shown, timeout, f"a message box saying {text!r}")
    return matching[0]


def answer(prefix, hwnd, button):
    prefix.wauto(["wait", "--hwnd", hwnd], ["click", "--text", button], "closed")


def keys_as_they_are(prefix):
    """The keys the registry write test touches; a missing key counts as an empty one, since the
    test opens each with create."""
    keys = (MACHINE_WINLOGON, SESSION_MANAGER, MACHINE_RUNONCE, USER_RUNONCE)
    return {key: prefix.export_key(key) or {"": {}} for key in keys}


# ---- One instance ---------------------------------------------------------------------------------

def test_a_second_start_brings_the_first_window_forward(prefix):
    prefix.import_values({SETTINGS_KEY: {"CreateRestorePoint": 0}})
    prefix.install_test_program("winstate.exe")
    first = prefix.start(KORVANE)
    prefix.wauto("wait --class korvane --timeout 60")
    assert prefix.run("winstate.exe", "minimize", "korvane").stdout.startswith("iconic 1")

    second = prefix.run(KORVANE, timeout=60)
    assert second.returncode == 0
    assert prefix.run("winstate.exe", "query", "korvane").stdout.strip() == "iconic 0 foreground 1"
    assert not boxes(prefix), "a second start without switches says nothing"
    assert first.running

    # With a command the second start cannot hand it over: it says so and ends.
    refused = prefix.start(KORVANE, "/SCMD.EXE", "/C", "exit", "0")
    answer(prefix, box_with(prefix, "Korvane.exe is already running. You must close Window of Tidewell."), "OK")
    assert refused.wait(30) == 0
    assert first.running


def test_a_second_start_while_the_first_has_no_window_yet(prefix):
    first = prefix.start(KORVANE)
    question = box_with(prefix, RESTORE_POINT_QUESTION)
    second = prefix.start(KORVANE)
    answer(prefix, box_with(prefix, "Korvane.exe is already running."), "OK")
    assert second.wait(30) == 0
    answer(prefix, question, "Yes")
    prefix.wauto("wait --class korvane --timeout 60")
    assert prefix.reg_values(SETTINGS_KEY)["CreateRestorePoint"] == 1
    assert first.running


# ---- Switches that run a Rinsa run ----------------------------------------------------------------

def test_s_runs_the_command_line_unattended_through_the_restart(prefix):
    machine = Machine(prefix, "win7", {"Selected": 0})
    outcome, entries = machine.plan("/SCMD.EXE", "/C", "exit", "5")
    assert outcome.kinds == ["reboot"], outcome
    assert entries == ["$EnableUAC", "$RestoreShell ", "CMD.EXE /C exit 5", "$End ExitWindows"]
    settings = prefix.reg_values(SETTINGS_KEY)
    assert (settings["LastCmdLine"], settings["Selected"], settings["mode"]) == ("CMD.EXE /C exit 5", 3, 1)
    assert settings["VersionNumber"] >= 10000 and settings["ProgramFile"].upper().endswith("\\KORVANE.EXE")
    assert re.fullmatch(r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d", settings["SelfCheckPassed"])

    ended = machine.finish()
    assert ended.kinds == ["poweroff"], ended
    assert "  Return Code = 5" in machine.log()


def test_l_reads_a_utf16_file_and_runs(prefix):
    machine = Machine(prefix, "win7", {"LastCmdLine": "old"})
    lines = "CMD.EXE /C exit 3\r\nCMD.EXE /C exit 4"
    prefix.write_file(TEST_DIR + "\\list.txt", b"\xff\xfe" + lines.encode("utf-16-le"))
    outcome, entries = machine.plan(f"/L{TEST_DIR}\\list.txt")
    assert outcome.kinds == ["reboot"], outcome
    assert entries == ["$EnableUAC", "$RestoreShell ", "CMD.EXE /C exit 3", "CMD.EXE /C exit 4", "$End ExitWindows"]
    assert prefix.export_key(SETTINGS_KEY)[""]["LastCmdLine"] == lines


def test_l_refuses_a_file_that_is_not_text(prefix):
    prefix.import_values({SETTINGS_KEY: {"LastCmdLine": "old", "Selected": 0}})
    prefix.write_file(TEST_DIR + "\\odd.txt", b"\xff\xfeC\x00M\x00D")
    korvane = prefix.start(KORVANE, f"/L{TEST_DIR}\\odd.txt")
    found = prefix.wauto(MESSAGE_BOX, "text --id 65535", "click --text OK", "closed")
    assert found.texts and found.texts[0], "the refusal says why"
    assert korvane.wait(30) == 1, "a script that started it can tell"
    settings = prefix.reg_values(SETTINGS_KEY)
    assert (settings["LastCmdLine"], settings["Selected"]) == ("old", 0), "nothing is stored"
    assert not [t for t in run_log(prefix) if t.startswith("--- Rinsa running is started.")]


def test_r_imports_a_registry_file_and_runs(prefix):
    machine = Machine(prefix, "win7", {"Selected": 0})
    prefix.write_file(TEST_DIR + "\\settings.reg", harness.reg_file_text(
        {SETTINGS_KEY: {"Selected": 3, "LastCmdLine": "CMD.EXE /C exit 0"}}), encoding="utf-16")
    outcome, entries = machine.plan(f"/R{TEST_DIR}\\settings.reg")
    assert outcome.kinds == ["reboot"], outcome
    assert entries == ["$EnableUAC", "$RestoreShell ", "CMD.EXE /C exit 0", "$End ExitWindows"]
    assert f'Command Line - REGEDIT.EXE /S "{TEST_DIR}\\settings.reg"' in machine.log()


@pytest.mark.parametrize("name, content, refusal", [
    ("missing.reg", None, "The specified file is not found."),
    ("notes.reg", "Selected=3\r\n", "This file is not a registry file. Nothing was imported."),
])
def test_r_refuses_a_file_regedit_would_not_import(prefix, name, content, refusal):
    prefix.import_values({SETTINGS_KEY: {"Selected": 0}})
    if content is not None:
        prefix.write_file(TEST_DIR + "\\" + name, content)
    korvane = prefix.start(KORVANE, f"/R{TEST_DIR}\\{name}")
    prefix.wauto(MESSAGE_BOX, f"expect --id 65535 --value '{refusal}'", "click --text OK", "closed")
    assert korvane.wait(30) == 1
    assert not [t for t in run_log(prefix) if t.startswith("--- Rinsa running is started.")], "no run was planned"
    assert not [t for t in run_log(prefix) if "REGEDIT" in t], "REGEDIT never saw the file"


# ---- After a run: power action and scheduler ------------------------------------------------------

@pytest.mark.parametrize("switch, first_try, call", [
    ("/H0", "Entering Suspend mode...", (1, 0)),
    ("/h1", "Entering Hibernation mode...", (0, 0)),
])
def test_h_tries_the_power_state_and_ends_the_automatic_logon(prefix, switch, first_try, call):
    prefix.import_values({
        SETTINGS_KEY: {"OffAutoLogon": 2},
        MACHINE_WINLOGON: {"AutoAdminLogon": "1", "DefaultUserName": "tw", "DefaultPassword": "pw",
                           "DefaultDomainName": "TW"},
        "HKCU\\Software\\Wine\\Debug": {"RelayInclude": "SetSystemPowerState"},
    })
    korvane = prefix.start(KORVANE, switch, env={"WINEDEBUG": "-all,+relay"})
    # Wine accepts the first try; the tries that follow a failure are checked by the unit tests.
    assert korvane.wait(60) == 0
    assert run_log(prefix) == [first_try]
    calls = re.findall(r"Call \w+\.SetSystemPowerState\(([0-9a-f]+),([0-9a-f]+)\)", korvane.stderr)
    assert [(int(suspend, 16), int(force, 16)) for suspend, force in calls] == [call]
    left = prefix.reg_values(MACHINE_WINLOGON)
    assert not {"AutoAdminLogon", "DefaultUserName", "DefaultPassword", "DefaultDomainName"} & set(left)


def test_i_replaces_and_restarts_the_scheduler(prefix):
    scheduler = PRODUCT_DIR + "\\KORVTASK.EXE"
    # A newer build: the same program with bytes after its end, which Windows' loader ignores.
    newer = prefix.unix_path(scheduler).read_bytes() + b"-newer build"
    prefix.write_file(PRODUCT_DIR + "\\KORVTASK.TMP", newer)
    running = prefix.start(scheduler, "/s")
    old = prefix.wauto("wait --class korvane_task_sr --hidden --timeout 30").windows[0]

    assert prefix.run(KORVANE, "/I", timeout=60).returncode == 0
    assert running.wait(30) == 0, "the running scheduler was ended"
    residents = lambda: prefix.wauto("windows --class korvane_task_sr --hidden").windows
    harness.wait_until(lambda: [w for w in residents() if w[4] != old[4]], 30, "the new scheduler to start")
    commands = [command for _, command in harness.prefix_processes(prefix.path) if "KORVTASK.EXE" in command.upper()]
    assert [c for c in commands if c.rstrip().upper().endswith("/S")], f"the new file started with /S: {commands}"
    assert prefix.unix_path(scheduler).read_bytes() == newer
    assert not prefix.unix_path(PRODUCT_DIR + "\\KORVTASK.TMP").exists()


# ---- Registry write test and self-check -----------------------------------------------------------

def test_the_registry_test_repairs_and_leaves_every_key_as_it_was(prefix):
    prefix.import_values({
        SESSION_MANAGER: {"BootExecute": ["autocheck autochk *"]},
        # What a test that died after its rename leaves: the machine would start xcopy as its shell.
        MACHINE_WINLOGON: {"Shell": "xcopy.exe", "_Shell": "explorer.exe"},
    })
    before = keys_as_they_are(prefix)
    korvane = prefix.start(KORVANE)
    question = box_with(prefix, RESTORE_POINT_QUESTION)  # the start is past its registry test
    after = keys_as_they_are(prefix)
    repaired = before[MACHINE_WINLOGON][""]
    repaired["Shell"] = repaired.pop("_Shell")
    assert after == before
    assert [t for t in run_log(prefix) if t.startswith("Repaired what a registry write test left - Shell <- _Shell")]
    answer(prefix, question, "No")
    answer(prefix, box_with(prefix, "Are you sure you want to create a restore point now?"), "No")
    prefix.wauto("wait --class korvane --timeout 60")
    korvane.kill()


def test_an_unwritable_key_is_reported_and_quit_ends_the_start(prefix):
    prefix.import_values({SESSION_MANAGER: {"BootExecute": ["autocheck autochk *"]}})
    prefix.install_test_program("regdeny.exe")
    denied = prefix.run("regdeny.exe", "deny", "HKCU", "Software\\Microsoft\\Windows\\CurrentVersion\\Runonce")
    assert denied.returncode == 0, denied.stderr
    before = keys_as_they_are(prefix)
    korvane = prefix.start(KORVANE, "/A")
    report = prefix.wauto(MESSAGE_BOX, "text --id 1187", "text --id 1186", "text --id 1", "text --id 2")
    assert report.texts == [
        "System Registry Test Error",
        "Cannot open the following registry key on write mode:\r\n "
        "HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Runonce",
        "&Continue despite the risk", "&Quit"]
    prefix.wauto(MESSAGE_BOX, "click --id 2", "closed")
    assert korvane.wait(30) == 0
    assert keys_as_they_are(prefix) == before
    settings = prefix.reg_values(SETTINGS_KEY) or {}
    assert TEST_VALUE not in settings
    assert not [t for t in run_log(prefix) if t.startswith("--- Rinsa running is started.")], "no run was planned"


def test_a_changed_program_file_does_not_start(prefix):
    prefix.import_values({SETTINGS_KEY: {"SelfCheckPassed": "2026-01-02 03:04:05"}})
    # One letter of the DOS stub's message: the program still loads and runs up to its check.
    path = prefix.unix_path(KORVANE)
    data = path.read_bytes()
    assert b"cannot be run in DOS mode" in data
    path.write_bytes(data.replace(b"cannot be run in DOS mode", b"cannot be run in DOS made", 1))
    korvane = prefix.start(KORVANE)
    found = prefix.wauto(MESSAGE_BOX, "text --id 65535", "click --text OK", "closed")
    assert "Last start with an intact program file: 2026-01-02 03:04:05" in found.texts[0]
    assert korvane.wait(30) == 1
