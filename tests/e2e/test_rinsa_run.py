"""Whole Rinsa runs: the settings a user chose, KORVANE.EXE /A plans the run, changes the system,
writes the command list and restarts; the machine comes back with QS as its shell, QS works the
list and switches off. Each scenario checks the command list entry by entry at the restart, then
the machine after the run: every key the run touched is as it was, and the run log tells the
story."""
import re

import pytest

import harness
from session import QS, SETTINGS_KEY, WINLOGON_KEY, Session

KORVANE = harness.PRODUCT_DIR + "\\KORVANE.EXE"
WINE_KEY = "HKCU\\Software\\Wine"
SERVICES = "HKLM\\SYSTEM\\CurrentControlSet\\Services"
MACHINE_WINLOGON = "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon"
POLICIES = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System"
SESSION_MANAGER = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager"
DRIVE_C = 1 << 2
DRIVE_D = 1 << 3

# What every scenario starts from: no countdown at the start of the list (it would wait a minute),
# UAC and the last-logon notice on, as on a fresh Windows.
BASE_SETTINGS = {"ba_afterwait": 0, "How": 2, "Drives": DRIVE_C, "NotAutoPowerOff": 0}

IFE_LINES = [
    "$IFE 0 $LOGEND Defragmenter completed successfully.",
    "$IFE 1 $LOGEND Defragmenter was cancelled manually.",
    "$IFE 2 $LOGEND Defrag: Command line error.",
    "$IFE 3 $LOGEND Defrag: Unknown error.",
    "$IFE 4 $LOGEND Defragmenter could not run due to insufficient memory resources.",
    "$IFE 5 $LOGEND Defrag: General error.",
    "$IFE 6 $LOGEND Defrag: System error.",
    "$IFE 7 $LOGEND Defrag: There is not enough free space on the drive.",
]


def console_defrag(drive, switches, runner, passes=(1, 1), title="Defragment"):
    """The console defragmentation command line of one pass."""
    return (f"CMD.EXE /C @TITLE {title} - {drive}: & ECHO Defragmenting {drive}:({passes[0]} of {passes[1]})... "
            f'Please wait. & "{{KORVLOG}}" {runner} DEFRAG.EXE {drive}: {switches}')


class Machine:
    """A prefix with the stand-in tools, a Windows version and the settings of one run."""

    def __init__(self, prefix, version, settings, env=None):
        self.prefix = prefix
        prefix.install_standins(["DEFRAG", "CHKDSK", "CLEANMGR", "BCDEDIT"])
        prefix.import_values({
            WINE_KEY: {"Version": version},
            POLICIES: {"EnableLUA": 1, "DisplayLastLogonInfo": 1},
            SETTINGS_KEY: {**BASE_SETTINGS, **settings},
        })
        self.session = Session(prefix, env=env)
        self.user = prefix.run("CMD.EXE", "/C", "echo %USERNAME%", timeout=60).stdout.strip()

    def plan(self, *switches):
        """Runs KORVANE.EXE /A up to its restart request; returns the outcome and the list."""
        korvane = self.session.start(KORVANE, *(switches or ("/A",)))
        outcome = self.session.run(first=korvane, boots=0, timeout=120)
        return outcome, self.entries()

    def entries(self):
        """The command list in order, with the short path of KORVLOG.EXE written {KORVLOG}."""
        lines = list(self.session.command_list().values())
        return [re.sub(r'"[^" ]*KORVLOG\.EXE"', '"{KORVLOG}"', line, flags=re.I) for line in lines]

    def finish(self, timeout=120):
        """Plays the restart(s) until the machine switches off or the list ends."""
        return self.session.run(timeout=timeout)

    def log(self):
        return [line.text for line in self.session.run_log()]


def start_line(machine):
    return next(t for t in machine.log() if t.startswith("--- Rinsa running is started. - "))


# ---- Defragmentation ------------------------------------------------------------------------------

def test_defragment_on_windows_7_with_services_and_automatic_logon(prefix):
    prefix.import_values({SERVICES + "\\TwSrvA": {"Start": 2, "Type": 16},
                          SERVICES + "\\TwSrvB": {"Start": 3, "Type": 16},
                          MACHINE_WINLOGON: {"AutoAdminLogon": None}, WINLOGON_KEY: {"Shell": None}})
    machine = Machine(prefix, "win7", {"stopsrv": "TwSrvA\x07TwSrvB\x07", "OffAutoLogon": 1})
    keys = [WINLOGON_KEY, SERVICES + "\\TwSrvA", SERVICES + "\\TwSrvB", MACHINE_WINLOGON, POLICIES]
    before = machine.session.snapshot(*keys)
    outcome, entries = machine.plan()

    assert outcome.kinds == ["reboot"], outcome
    assert entries == [
        "$EnableUAC",
        "$RService TwSrvA",
        "$RestoreShell ",
        "$START",
        "$LOG Defragment(Console) - C: [DEFRAG.EXE C: -f -u -h]",
        console_defrag("C", "-f -u -h", "-c"),
        "$RECDFRGTIME C:",
        "$OffAutoLogon",
        "$EnableDisplayLastLogonInfo",
        "$End ExitWindows",
    ]
    # The system as the planner left it for the run.
    assert prefix.reg_values(SERVICES + "\\TwSrvA")["Start"] == 4
    assert prefix.reg_values(SERVICES + "\\TwSrvB")["Start"] == 3, "only automatic services are stopped"
    assert prefix.reg_values(WINLOGON_KEY)["Shell"].upper().endswith("QS.EXE")
    assert prefix.reg_values(MACHINE_WINLOGON)["AutoAdminLogon"] == "1"
    assert prefix.reg_values(POLICIES) == {"EnableLUA": 0, "DisplayLastLogonInfo": 0}
    settings = prefix.reg_values(SETTINGS_KEY)
    assert settings["StoppedSrv"] == "TwSrvA\x07" and settings["oldShell"] == ""
    assert "win:NT-601" in start_line(machine)

    ended = machine.finish()
    assert ended.kinds == ["poweroff"], ended
    assert before.compare(machine.session.snapshot(*keys)) == []
    assert [r.command_line.split(" ", 1)[1] for r in prefix.journal("DEFRAG")] == ["C: -f -u -h"]
    settings = prefix.reg_values(SETTINGS_KEY)
    assert isinstance(settings.get("DTIMEC"), int) and len(settings["dddC"]) == 16
    assert not [name for name in settings if name.startswith("order")]
    log = machine.log()
    for text in ["Disable UAC...", "Stopping Services...", "Stopped Services - TwSrvA", "Changed to the Quiet Shell.",
                 "Set Automatic logon.", "Reboot normally", "Restored Service - TwSrvA", "Stopped - Auto Logon.",
                 "Shutdown"]:
        assert text in log, f"{text!r} is not in the run log"


def test_a_second_run_planned_before_the_first_ran_puts_everything_back(prefix):
    """The user plans a run, the restart does not happen (Windows is started again by hand, or
    the run is planned anew at once), and a second run is planned over the first one's list."""
    prefix.import_values({SERVICES + "\\TwSrvA": {"Start": 2, "Type": 16},
                          MACHINE_WINLOGON: {"AutoAdminLogon": None}, WINLOGON_KEY: {"Shell": None}})
    machine = Machine(prefix, "win7", {"stopsrv": "TwSrvA\x07", "OffAutoLogon": 1, "Selected": 3,
                                       "LastCmdLine": "CMD.EXE /C exit 0"})
    keys = [WINLOGON_KEY, SERVICES + "\\TwSrvA", MACHINE_WINLOGON, POLICIES]
    before = machine.session.snapshot(*keys)
    for run in (1, 2):
        outcome, entries = machine.plan()
        assert outcome.kinds == ["reboot"], f"run {run}: {outcome}"
    assert entries[:4] == ["$EnableUAC", "$RService TwSrvA", "$RestoreShell ", "$OffAutoLogon"], \
        "the second list starts with what puts back the first run's changes"
    assert not any(e.upper() == "$RESTORESHELL EXPLORER.EXE" for e in entries), "QS is not taken for the old shell"
    assert machine.finish().kinds == ["poweroff"]
    assert before.compare(machine.session.snapshot(*keys)) == []


def test_defragment_on_windows_10_twice(prefix):
    machine = Machine(prefix, "win10", {"Double": 1})
    outcome, entries = machine.plan()
    assert entries == [
        "$EnableUAC",
        "$RestoreShell ",
        "$START",
        "$LOG Defragment(Console) - C: [DEFRAG.EXE C: -f -o -u -h]",
        console_defrag("C", "-f -o -u -h", "-c", (1, 2)),
        "$RECDFRGTIME C:",
        "$START",
        "$LOG Defragment(Console) - C: [DEFRAG.EXE C: -f -o -u -h]",
        console_defrag("C", "-f -o -u -h", "-c", (2, 2)),
        "$End ExitWindows",
    ]
    assert "win:NT-1000" in start_line(machine) and "Defrag:2 time(s)" in start_line(machine)
    assert machine.finish().kinds == ["poweroff"]
    assert len(prefix.journal("DEFRAG")) == 2


def test_defragment_on_windows_xp_reads_every_result(prefix):
    machine = Machine(prefix, "winxp64", {})
    outcome, entries = machine.plan()
    version = re.search(r"win:NT-(\d+)", start_line(machine)).group(1)
    assert version in ("501", "502"), start_line(machine)
    assert entries == [
        "$RestoreShell ",
        "$START",
        "$LOG Defragment(Console) - C: [DEFRAG.EXE C: -f]",
        console_defrag("C", "-f", "-p"),
        "$RECDFRGTIME C:",
        *IFE_LINES,
        "$End ExitWindows",
    ], "no UAC before Vista; the console's result is read after each pass"
    prefix.set_standin("DEFRAG", exit_code=1)
    assert machine.finish().kinds == ["poweroff"]
    assert any(t.startswith("Defragmenter was cancelled manually.") for t in machine.log())


def test_custom_defragmentation_for_all_drives_at_once(prefix, tmp_path):
    (prefix.path / "dosdevices" / "d:").symlink_to(tmp_path)
    machine = Machine(prefix, "win7", {"Drives": DRIVE_C | DRIVE_D, "Double": 1, "df_check_cust": 1,
                                       "df_edit_cust": "DEFRAG.EXE %s /custom", "df_check_multi": 1})
    outcome, entries = machine.plan()
    assert entries == ["$EnableUAC", "$RestoreShell ", "$START", "$LOG Defragment started.",
                       "DEFRAG.EXE C: D: /custom", "DEFRAG.EXE C: D: /custom", "$LOGEND Defragment finished.",
                       "$End ExitWindows"]
    assert machine.finish().kinds == ["poweroff"]
    assert [r.command_line.split(" ", 1)[1] for r in prefix.journal("DEFRAG")] == ["C: D: /custom"] * 2


# ---- Check disk -----------------------------------------------------------------------------------

def automatic_logon_for(machine):
    """Windows already logs on by itself as this user, so the logon test asks nothing."""
    machine.prefix.import_values({MACHINE_WINLOGON: {"AutoAdminLogon": "1", "DefaultUserName": machine.user,
                                                     "DefaultPassword": ""}})


def test_check_disk_at_boot_is_scheduled_and_put_back(prefix):
    prefix.import_values({SESSION_MANAGER: {"BootExecute": ["autocheck autochk *"], "_BootExecute": None}})
    machine = Machine(prefix, "win10", {"Selected": 1})
    automatic_logon_for(machine)
    before = machine.session.snapshot(SESSION_MANAGER)
    outcome, entries = machine.plan()
    assert entries == ["$RestoreBootExecute", "$EnableUAC", "$RestoreShell ", "$End ExitWindows"]
    scheduled = prefix.reg_values(SESSION_MANAGER)
    assert scheduled["_BootExecute"] == ["autocheck autochk *"]
    # One 28-byte slot per drive and two zero bytes: the list ends at the first empty string.
    assert scheduled["BootExecute"] in (["autocheck autochk /p \\??\\C:"], ["autocheck autochk /p \\??\\C:", ""])
    assert "AUTOCHK Scheduled - C: [autocheck autochk /p \\??\\C:]" in machine.log()
    assert machine.finish().kinds == ["poweroff"]
    assert before.compare(machine.session.snapshot(SESSION_MANAGER)) == []
    assert len(prefix.reg_values(SETTINGS_KEY)["sddC"]) == 16


def test_check_disk_now_runs_before_the_restart(prefix):
    machine = Machine(prefix, "win7", {"Selected": 1, "sd_check_before": 1, "CluScan": 1})
    automatic_logon_for(machine)
    prefix.set_standin("CHKDSK", exit_code=1)
    outcome, entries = machine.plan()
    assert entries == ["$EnableUAC", "$RestoreShell ", "$End ExitWindows"]
    assert [r.command_line.split(" ", 1)[1] for r in prefix.journal("CHKDSK")] == ["C: /F /R /X"]
    log = machine.log()
    assert "Checking(/R) - C: [CHKDSK.EXE C: /F /R /X]" in log
    assert any(t.startswith("Errors were found and fixed.(") for t in log), log
    assert not prefix.reg_values(SESSION_MANAGER).get("_BootExecute"), "nothing is scheduled at boot"


# The automatic logon page, as the planner shows it alone when a run needs it.
LOGON_MODE, LOGON_PASSWORD, LOGON_CONFIRM = 1142, 1005, 1007
LOGON_VALUES = ("AutoAdminLogon", "DefaultUserName", "DefaultPassword")


def answer_logon_page(machine, choice, password):
    """Plays the user who is told to confirm the automatic logon and picks choice on the page."""
    prefix = machine.prefix
    prefix.wauto("wait --class #32770 --title Tidewell --timeout 60",
                 "expect --id 65535 --value 'Please confirm auto logon setting for Windows.'", "click --text OK",
                 "closed", "wait --class #32770 --title Options --timeout 30",
                 f"select --id {LOGON_MODE} --item-index {choice}",
                 ["settext", "--id", str(LOGON_PASSWORD), password], ["settext", "--id", str(LOGON_CONFIRM), password],
                 "click --id 1", "closed")


def winlogon_values(prefix):
    values = prefix.reg_values(MACHINE_WINLOGON)
    return {name: values.get(name) for name in LOGON_VALUES}


def test_the_logon_pages_choice_is_what_the_run_does(prefix):
    """A first check-disk run on a machine that does not log on by itself: the page is answered
    "once, and delete the password", and the run sets and then removes exactly that."""
    prefix.import_values({MACHINE_WINLOGON: {name: None for name in LOGON_VALUES}})
    machine = Machine(prefix, "win10", {"Selected": 1})
    korvane = machine.session.start(KORVANE, "/A")
    answer_logon_page(machine, 3, "s3cret pass")
    outcome = machine.session.run(first=korvane, boots=0, timeout=120)
    assert outcome.kinds == ["reboot"], outcome
    assert machine.entries()[-3:] == ["$ClearAutoLogon", "$EnableDisplayLastLogonInfo", "$End ExitWindows"]
    assert winlogon_values(prefix) == {"AutoAdminLogon": "1", "DefaultUserName": machine.user,
                                       "DefaultPassword": "s3cret pass"}
    assert machine.finish().kinds == ["poweroff"]
    assert winlogon_values(prefix) == {name: None for name in LOGON_VALUES}, "the run took its logon back"


def test_do_not_use_on_the_logon_page_switches_no_automatic_logon_on(prefix):
    """Automatic logon was set for every run, but for another user; the page now says "do not
    use" and the user accepts stopping at the logon screen."""
    prefix.import_values({MACHINE_WINLOGON: {"AutoAdminLogon": None, "DefaultUserName": "someone-else"}})
    machine = Machine(prefix, "win10", {"Selected": 1, "OffAutoLogon": 3})
    korvane = machine.session.start(KORVANE, "/A")
    answer_logon_page(machine, 0, "")
    prefix.wauto("wait --class #32770 --title Tidewell --timeout 30",
                 "expect --id 65535 --value 'It stops on a logon screen. Is it all right?'", "click --text Yes")
    outcome = machine.session.run(first=korvane, boots=0, timeout=120)
    assert outcome.kinds == ["reboot"], outcome
    assert not [e for e in machine.entries() if "AutoLogon" in e], machine.entries()
    assert winlogon_values(prefix)["AutoAdminLogon"] is None
    assert "OffAutoLogon" not in prefix.reg_values(SETTINGS_KEY)


# ---- Other programs and the run without a restart -------------------------------------------------

def test_other_programs_run_after_the_restart(prefix):
    machine = Machine(prefix, "win7", {"Selected": 3, "LastCmdLine": "DEFRAG.EXE D: /x\r\n\r\n  CMD.EXE /C exit 7"})
    outcome, entries = machine.plan()
    assert entries == ["$EnableUAC", "$RestoreShell ", "DEFRAG.EXE D: /x", "CMD.EXE /C exit 7", "$End ExitWindows"]
    assert machine.finish().kinds == ["poweroff"]
    assert "  Return Code = 7" in machine.log()


def test_other_programs_without_command_lines_open_the_dialog(prefix):
    machine = Machine(prefix, "win7", {"Selected": 3})
    outcome, entries = machine.plan()
    assert entries == ["$EnableUAC", "$RestoreShell ", "$Rnsx", "$End ExitWindows"]


def test_run_without_restart_starts_qs_at_once(prefix):
    machine = Machine(prefix, "win7", {"How": 4, "Selected": 3, "NotAutoPowerOff": 1,
                                       "LastCmdLine": "CMD.EXE /C exit 0"})
    korvane = machine.session.start(KORVANE, "/A")
    outcome = machine.session.run(first=korvane, boots=0, timeout=120)
    assert outcome.ended == "exit" and not outcome.actions, outcome
    # QS works the list on the same desktop and ends without restarting.
    harness.wait_until(lambda: not machine.session.command_list(), 60, "QS to work the list")
    log = machine.log()
    assert "No Rinsa - Automatic running only." in log and log[-1] == "Completed."
    assert prefix.reg_values(WINLOGON_KEY).get("Shell") is None, "no shell swap without a restart"


def test_run_without_restart_checks_the_disk_under_a_black_screen_that_goes_with_it(prefix):
    # "aux_vso.exe" 2 is the black screen; the stand-in's check ends at once, before a slow black
    # screen would be up, and QS's own window comes next on the same desktop.
    machine = Machine(prefix, "win7", {"How": 4, "Selected": 1, "NotAutoPowerOff": 1, "aux_vso.exe": 2})
    korvane = machine.session.start(KORVANE, "/A")
    outcome = machine.session.run(first=korvane, boots=0, timeout=120)
    assert outcome.ended == "exit" and not outcome.actions, outcome
    harness.wait_until(lambda: not machine.session.command_list() and machine.log()[-1:] == ["Completed."], 60,
                       "QS to work the list")
    assert [r.command_line.split(" ", 1)[1] for r in prefix.journal("CHKDSK")] == ["C: /F /X"]
    harness.wait_until(lambda: not any("QS.EXE" in command.upper() for _, command in
                                       harness.prefix_processes(prefix.path)), 30, "every QS to end")


# ---- Clean-up -------------------------------------------------------------------------------------

SHELL_FOLDERS = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"


def test_every_clean_up_kind(prefix):
    files = {
        "C:\\data\\Thumbs.db": True, "C:\\data\\help.gid": True, "C:\\data\\old.bak": True,
        "C:\\data\\AlbumArt_{1234}_Large.jpg": True, "C:\\data\\deep\\snapshot.etl": True,
        "C:\\data\\report.bakup": False, "C:\\data\\keep.txt": False, "C:\\data\\AlbumArt.jpg": False,
        "C:\\tw\\cache\\page.htm": True, "C:\\tw\\cookies\\site.txt": True, "C:\\tw\\history\\day.dat": True,
        "C:\\tw\\recent\\doc.lnk": True, "C:\\tw\\recent\\notes.txt": False,
    }
    profile = prefix.run("CMD.EXE", "/C", "echo %USERPROFILE%", timeout=60).stdout.strip()
    office = profile + "\\Application Data\\Microsoft\\Office\\Recent"
    files[office + "\\book.lnk"] = True
    temp = prefix.run("CMD.EXE", "/C", "echo %TEMP%", timeout=60).stdout.strip()
    files[temp + "\\scratch.tmp"] = True
    files["C:\\windows\\Inf\\tw.pnf"] = True
    for path in files:
        prefix.write_file(path, "x")
    prefix.import_values({SHELL_FOLDERS: {"Cache": "C:\\tw\\cache", "Cookies": "C:\\tw\\cookies",
                                          "History": "C:\\tw\\history", "Recent": "C:\\tw\\recent"}})
    machine = Machine(prefix, "win7", {
        "DelTemp": 2, "DelWinTemp": 1, "Del_Inf_Pnf": 1, "Del_ITF": 1, "Del_ICO": 1, "Del_IHI": 1, "Del_Recent": 1,
        "Del_Recent_Office": 1, "Del_Thumbs_db": 1, "Del_All_Gid": 1, "Del_All_AlbumArt": 1, "Del_All_Bak": 1,
        "Del_All_Etl": 1, "cleanmgr": 1, "DelTrash": 1})
    outcome, entries = machine.plan()
    assert entries[:2] == ["$EnableUAC", "$RestoreShell "]
    cleanup = [e.lower() for e in entries[2:10]]
    assert cleanup == [f"$deldir {temp}".lower(), "$deldir c:\\windows\\temp", "$delfiles c:\\windows\\inf\\*.pnf",
                       "$deldir c:\\tw\\cache", "$deldir c:\\tw\\cookies", "$deldir c:\\tw\\history",
                       "$delfiles c:\\tw\\recent\\*.lnk", f"$delfiles {office}\\*.lnk".lower()], entries
    swept = [e[len("$Del "):].lower() for e in entries if e.startswith("$Del ")]
    assert sorted(swept) == sorted(p.lower() for p in files if p.lower().startswith("c:\\data") and files[p])
    assert [r.command_line.split(" ", 1)[1] for r in prefix.journal("CLEANMGR")] == ["/D C:"]
    assert "DelTemp" not in prefix.reg_values(SETTINGS_KEY), "a next-run-only option is used up"

    assert machine.finish().kinds == ["poweroff"]
    for path, gone in files.items():
        assert prefix.unix_path(path).exists() != gone, path
    for folder in ("C:\\tw\\cache", "C:\\tw\\cookies", "C:\\tw\\history", temp):
        assert prefix.unix_path(folder).is_dir(), f"{folder} is emptied, not removed"


# ---- Japanese -------------------------------------------------------------------------------------

def test_japanese_run(prefix):
    machine = Machine(prefix, "win7", {"Selected": 3, "LastCmdLine": "CMD.EXE /C exit 0"},
                      env={**harness.JAPANESE, "RNSLANG": "JA"})
    outcome, entries = machine.plan()
    assert entries == ["$EnableUAC", "$RestoreShell ", "CMD.EXE /C exit 0", "$End ExitWindows"]
    assert machine.finish().kinds == ["poweroff"]
    lines = machine.session.run_log()
    assert lines and all(line.time for line in lines)
    raw = prefix.read_file(harness.PRODUCT_DIR + "\\KORVANE.LOG")
    assert re.search(r"^\d{4}/[ \d]\d/[ \d]\d ", raw, re.M), "Japanese line format"
    assert "シャットダウン" in raw
