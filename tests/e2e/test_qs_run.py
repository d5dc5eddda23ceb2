"""The Quiet Shell as Windows starts it: a list that restores what a run changed leaves the
registry as it was, also when it is interrupted at any entry; a list tells its story in the run
log and switches the machine off; $Reboot resumes in a new QS; a QS without a list asks its
recovery questions; a second QS refuses to run; /S and /X raise and end a black-screen QS; the
deletions match long names and never delete through a link; QS ends after its worker."""
import os
import re

import pytest

import harness
from session import QS, RUN_LOG, SETTINGS_KEY, WINLOGON_KEY, Session

SESSION_MANAGER = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager"
MEMORY = SESSION_MANAGER + "\\Memory Management"
SERVICES = "HKLM\\SYSTEM\\CurrentControlSet\\Services"
MACHINE_WINLOGON = "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon"
POLICIES = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System"
RUN_SERVICES = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\RunServices"
RUN_SERVICES_BACKUP = RUN_SERVICES + "Backup"
DESKTOP = "HKCU\\Control Panel\\Desktop"
TEMP = "C:\\tw-temp"

RESTORED_KEYS = [WINLOGON_KEY, MEMORY, SERVICES + "\\TwSrvA", SERVICES + "\\TwSrvB", MACHINE_WINLOGON, POLICIES,
                 RUN_SERVICES, RUN_SERVICES_BACKUP]
BOOT_EXECUTE = ["autocheck autochk *"]

RESTORE_LIST = [
    "$RestoreShell",
    "$RestoreBootExecute",
    "$RestoreSwap",
    "$RService TwSrvA",
    "$RService TwSrvB",
    "$RestoreRunService",
    "$ClearAutoLogon",
    "$EnableUAC",
    "$EnableDisplayLastLogonInfo",
    f"$DelDir {TEMP}",
]


def normal_state(prefix):
    """The machine as the user keeps it."""
    prefix.import_values({
        SESSION_MANAGER: {"BootExecute": BOOT_EXECUTE, "_BootExecute": None},
        MEMORY: {"PagingFiles": ["C:\\pagefile.sys 0 0"], "_PagingFiles": None},
        SERVICES + "\\TwSrvA": {"Start": 2, "Type": 16},
        SERVICES + "\\TwSrvB": {"Start": 2, "Type": 16},
        MACHINE_WINLOGON: {"AutoAdminLogon": None, "DefaultUserName": None, "DefaultPassword": None,
                           "DefaultDomainName": None},
        POLICIES: {"EnableLUA": 1, "DisplayLastLogonInfo": 1},
        RUN_SERVICES: {"Helper": "C:\\helper.exe /quiet"},
        RUN_SERVICES_BACKUP: None,
        WINLOGON_KEY: {"Shell": None},
    })


def changes_for_a_run(prefix):
    """What the planner changes before its restart, keeping each old value for QS."""
    prefix.import_values({
        SESSION_MANAGER: {"_BootExecute": BOOT_EXECUTE,
                          "BootExecute": BOOT_EXECUTE + ["autocheck autochk /p \\??\\C:"]},
        MEMORY: {"_PagingFiles": ["C:\\pagefile.sys 0 0"], "PagingFiles": [""]},
        SERVICES + "\\TwSrvA": {"Start": 4},
        SERVICES + "\\TwSrvB": {"Start": 4},
        MACHINE_WINLOGON: {"AutoAdminLogon": "1", "DefaultUserName": "tester", "DefaultPassword": "secret"},
        POLICIES: {"EnableLUA": 0, "DisplayLastLogonInfo": 0},
        RUN_SERVICES: {"Helper": None},
        RUN_SERVICES_BACKUP: {"Helper": "C:\\helper.exe /quiet"},
        WINLOGON_KEY: {"Shell": QS},
    })
    for name in ("a.tmp", "sub\\b.tmp", "sub\\deeper\\c.tmp"):
        prefix.write_file(f"{TEMP}\\{name}", "scratch")
    prefix.write_file("C:\\keep.txt", "the user's file")


def leftovers(prefix):
    folder = prefix.unix_path(TEMP)
    return sorted(str(p.relative_to(folder)) for p in folder.rglob("*")) if folder.exists() else None


@pytest.fixture
def session(prefix):
    return Session(prefix)


def test_restore_list_puts_every_change_back_and_logs_each_outcome(prefix, session):
    normal_state(prefix)
    before = session.snapshot(*RESTORED_KEYS)
    changes_for_a_run(prefix)
    session.write_command_list(RESTORE_LIST + ["$End ExitWindows"])
    session.logon_shell(QS)
    outcome = session.run(timeout=90)

    assert outcome.kinds == ["poweroff"], outcome
    assert before.compare(session.snapshot(*RESTORED_KEYS)) == []
    assert session.snapshot(SESSION_MANAGER).keys[SESSION_MANAGER][""]["BootExecute"] == BOOT_EXECUTE
    assert leftovers(prefix) == [], "the temporary folder is emptied"
    assert prefix.read_file("C:\\keep.txt") == "the user's file"
    assert session.command_list() == {}
    texts = [line.text for line in session.run_log()]
    for text in ["Restored Shell(Delete Value).", "Restored BootExecute.", "Restore Paging File.",
                 "Restored Service - TwSrvA", "Restored Service - TwSrvB", "Restored RunService.",
                 "Canceled - Auto Logon.", "Enable UAC...", "Enable DisplayLastLogonInfo...",
                 f"Deleted files - {TEMP}\\*.*", "Shutdown"]:
        assert text in texts, f"{text!r} missing from the run log: {texts}"


def test_an_interruption_at_any_entry_ends_in_the_same_state(prefix, session):
    """An unplanned restart stops QS before some entry; the next QS walks the list again from the
    first entry not marked done. Each position is played in turn: the list up to the entry, then
    the whole list."""
    normal_state(prefix)
    expected = session.snapshot(*RESTORED_KEYS)
    for stop in range(1, len(RESTORE_LIST) + 1):
        changes_for_a_run(prefix)
        session.write_command_list(RESTORE_LIST[:stop])
        first = session.run(first=session.start(QS), boots=0, timeout=60)
        assert first.ended == "exit" and not first.actions, (stop, first)
        # What the planner wrote after the stopping point was there all along.
        session.write_command_list(RESTORE_LIST[stop:] + ["$End Boot"], first=stop)
        second = session.run(first=session.start(QS), boots=0, timeout=60)
        assert second.ended == "exit" and not second.actions, (stop, second)
        assert expected.compare(session.snapshot(*RESTORED_KEYS)) == [], f"interrupted before entry {stop}"
        assert leftovers(prefix) == [], f"interrupted before entry {stop}"
        assert session.command_list() == {}, f"interrupted before entry {stop}"


def test_a_list_tells_its_story_and_switches_the_machine_off(prefix, session):
    prefix.install_standins()
    prefix.set_standin("DEFRAG", exit_code=0, sleep_ms=300)
    prefix.set_standin("CHKDSK", exit_code=1)
    prefix.import_values({DESKTOP: {"ScreenSaveActive": "1", "Wallpaper": "C:\\windows\\tidewell.bmp"}})
    session.write_command_list([
        "$LOG Rinsa run started",
        "$START",
        "DEFRAG.EXE C: -f",
        "$IFE 0 $LOGEND Defragmenter completed successfully.",
        "$IFE 1 $LOGEND Defragmenter was cancelled manually.",
        "$RECDFRGTIME C:",
        "CHKDSK.EXE C:",
        "$IFE 0 $LOG check disk found nothing",
        "$IFE 1 $LOG check disk fixed errors",
        "!DEFRAG.EXE D:",
        "@CMD.EXE /C exit 0",
        "$LOGEND All done",
        "$End ExitWindows",
    ])
    session.logon_shell(QS)
    outcome = session.run(timeout=90)

    assert outcome.kinds == ["poweroff"] and outcome.ended == "poweroff", outcome
    story = [line.text for line in session.run_log() if not line.text.startswith("PATH")]
    assert story[:4] == ["The wall paper was shunted.", "The screen saver was shunted.", "Rinsa run started",
                         "Command Line - DEFRAG.EXE C: -f"]
    assert story[4] == "  Return Code = 0"
    assert story[5].startswith("Defragmenter completed successfully.( 0:00:0"), story
    assert story[6:10] == ["Command Line - CHKDSK.EXE C:", "  Return Code = 1", "check disk fixed errors",
                           "Command Line - DEFRAG.EXE D:"]
    assert story[10] == "  Return Code = 0", "an @ line still reports its exit code"
    assert story[11].startswith("All done( 0:00:"), story
    assert story[12:] == ["The screen saver was restored.", "The wall paper was restored.", "Shutdown"]
    assert "Defragmenter was cancelled manually." not in " ".join(story)
    assert "CMD.EXE /C exit 0" not in " ".join(story), "an @ line is run without its command line logged"

    calls = [(r.tool, r.command_line) for r in prefix.journal("DEFRAG", "CHKDSK")]
    assert [tool for tool, _ in calls] == ["DEFRAG", "CHKDSK", "DEFRAG"], calls
    assert [line.endswith(tail) for (_, line), tail in zip(calls, [" C: -f", " C:", " D:"])] == [True] * 3, calls
    assert all(r.folder.lower() == "c:\\windows\\system32" for r in prefix.journal("DEFRAG", "CHKDSK")), \
        "commands start in the System folder"
    settings = prefix.reg_values(SETTINGS_KEY)
    assert isinstance(settings.get("DTIMEC"), int) and settings["DTIMEC"] >= 300
    assert not [name for name in settings if name.startswith("order")], "the list is deleted at its end"
    desktop = prefix.reg_values(DESKTOP)
    assert desktop["ScreenSaveActive"] == "1" and desktop["Wallpaper"] == "C:\\windows\\tidewell.bmp"


def test_deletions_take_long_names_only_and_never_delete_through_a_link(prefix, session):
    """Wine matches 8.3 aliases as Windows does ("*.pnf" finds setup.pnfx as SETU~BIA.PNF), shows a
    Unix symbolic link to a folder as a reparse point, and its shell deletes what such a link
    points to: the folder behind it and everything in it."""
    for name in ("a.pnf", "setup.pnfx"):
        prefix.write_file(f"C:\\tw-inf\\{name}", name)
    for name in ("a.tmp", "sub\\b.tmp", "sub\\deeper\\c.tmp"):
        prefix.write_file(f"{TEMP}\\{name}", "scratch")
    prefix.write_file("C:\\tw-keep\\letter.txt", "the user's letter")
    prefix.write_file("C:\\tw-keep2\\photo.txt", "the user's photo")
    os.symlink("../tw-keep", prefix.unix_path(f"{TEMP}\\link"))
    os.symlink("../../tw-keep2", prefix.unix_path(f"{TEMP}\\sub\\link inside"))
    session.write_command_list(["$DelFiles C:\\tw-inf\\*.pnf", f"$DelDir {TEMP}", "$End Boot"])
    outcome = session.run(first=session.start(QS), boots=0, timeout=60)

    assert outcome.ended == "exit" and outcome.exit_codes("QS.EXE") == [0], outcome
    assert prefix.read_file("C:\\tw-inf\\setup.pnfx") == "setup.pnfx", "an 8.3 alias is no match"
    assert not prefix.unix_path("C:\\tw-inf\\a.pnf").exists()
    assert prefix.read_file("C:\\tw-keep\\letter.txt") == "the user's letter"
    assert prefix.read_file("C:\\tw-keep2\\photo.txt") == "the user's photo"
    # Everything but the links (and the folder holding one) is gone. Wine cannot remove a Unix link
    # as a link (RemoveDirectory reaches the folder behind it, which is not empty), so there the
    # links stay and QS says it could not delete everything; Windows removes a junction itself.
    assert set(leftovers(prefix)) <= {"link", "sub", "sub/link inside"}, leftovers(prefix)
    texts = [line.text for line in session.run_log()]
    assert "Deleted files - C:\\tw-inf\\*.pnf" in texts, texts
    assert f"Cannot delete -{TEMP}\\*.*" in texts or f"Deleted files - {TEMP}\\*.*" in texts, texts


def test_with_the_trace_on_and_a_huge_wait_qs_runs_and_ends_after_its_worker(prefix, session):
    """Settings imported from a hand-made .reg file: the trace on and a pause before commands of
    4294967295 ms. The pause is kept within a day (as $Wait is), and WinMain returns only after the
    worker has written its last trace line."""
    prefix.import_values({SETTINGS_KEY: {"fjlog": 1, "wait": 0xFFFFFFFF}})
    session.write_command_list(["@CMD.EXE /C exit 0", "$LOG ran", "$End Boot"])
    outcome = session.run(first=session.start(QS), boots=0, timeout=60)

    assert outcome.ended == "exit" and outcome.exit_codes("QS.EXE") == [0], outcome
    texts = [line.text for line in session.run_log()]
    assert "wait: -1 ms is out of range; waiting 0 ms." in texts, texts
    assert "ran" in texts, texts
    assert re.fullmatch(r"QS\.EXE\(.*\) - end", texts[-1]), texts
    assert "mainThread:90" in texts[:-1], "the worker's last line is written before QS ends"


def test_reboot_resumes_the_list_in_a_new_qs_without_running_entries_twice(prefix, session):
    prefix.install_standins(["DEFRAG"])
    session.write_command_list(["$LOG before", "DEFRAG.EXE C:", "$Reboot", "$LOG after", "$End ExitWindows"])
    session.logon_shell(QS)
    outcome = session.run(timeout=90)

    assert outcome.kinds == ["reboot", "poweroff"], outcome
    assert len(outcome.processes("QS.EXE")) == 2, outcome
    assert len(prefix.journal("DEFRAG")) == 1, "the program before $Reboot was marked done before it ran"
    texts = [line.text for line in session.run_log() if not line.text.startswith(("PATH", "The "))]
    assert texts == ["before", "Command Line - DEFRAG.EXE C:", "  Return Code = 0", "Rebooted",
                     "before", "after", "Shutdown"], "internal entries before $Reboot run again, programs do not"


def test_qs_without_a_list_asks_and_no_changes_nothing(prefix, session):
    before = session.snapshot(WINLOGON_KEY)
    program = session.start(QS)
    box = 'wait --class "#32770" --title Tidewell --timeout 30'
    found = prefix.wauto(box, "list")
    statics = [text for _, _, cls, text, _, _ in found.controls if cls == "Static"]
    assert "The registory key was opened. But, command list is not found." in statics
    # The recovery question comes in a box of the same title: the first must be gone before it is read.
    recovery = prefix.wauto(box, "click --text OK", "closed --timeout 10", box, "list")
    statics = [text for _, _, cls, text, _, _ in recovery.controls if cls == "Static"]
    assert any(text.startswith("Execution part of Tidewell") for text in statics), statics
    prefix.wauto(box, "click --text No")
    outcome = session.run(first=program, boots=0, timeout=30)
    assert outcome.ended == "exit" and not outcome.actions, outcome
    assert outcome.exit_codes("QS.EXE") == [0]
    assert before.compare(session.snapshot(WINLOGON_KEY)) == []
    assert not prefix.reg_values(SETTINGS_KEY), "QS made the settings key it looked in, and wrote nothing into it"


def test_a_second_qs_only_writes_its_refusal(prefix, session):
    session.write_command_list(["$Wait 6000", "$LOG first done", "$End Boot"])
    first = session.start(QS)
    prefix.wauto("wait --class WarnDlg --hidden --timeout 30")
    second = prefix.run(QS, timeout=30)
    assert second.returncode == 0
    outcome = session.run(first=first, boots=0, timeout=60)
    assert outcome.ended == "exit", outcome
    texts = [line.text for line in session.run_log()]
    assert texts.count("QS.EXE error - Mutex Object is already exist.") == 1
    assert "first done" in texts and texts[-1] == "Completed."


def test_black_screen_qs_is_ended_by_another_with_x(prefix):
    black = prefix.start(QS, "/S")
    prefix.wauto("wait --class WarnDlg --timeout 30")
    ended = prefix.run(QS, "/X", timeout=30)
    assert ended.returncode == 0
    assert black.wait(30) == 0
    assert prefix.run(QS, "/x", timeout=30).returncode == 0, "/X with no QS window exits quietly"


# ---- A list the planner generated, interrupted at each of its entries ------------------------------

GENERATED_KEYS = [WINLOGON_KEY, MEMORY, SERVICES + "\\TwSrvA", SERVICES + "\\TwSrvB", MACHINE_WINLOGON,
                  POLICIES]
BOOT_FILES = ("C:\\BOOT.INI", "C:\\BOOT.RN_", "C:\\BOOT.S__")


def plan_every_kind_of_entry(prefix):
    """KORVANE.EXE /A on Windows XP with an entry of every kind it writes: the restores of the
    services, the shell, the paging file, BOOT.INI and automatic logon; clean-up; defragmentation
    with its result lines; check disk; another program. Returns the machine, as the planner left it."""
    from test_rinsa_run import Machine
    machine = Machine(prefix, "winxp64", {
        "Selected": 2, "sd_check_cust": 1, "sd_edit_cust": "CHKDSK.EXE %s /F", "stopsrv": "TwSrvA\x07TwSrvB\x07",
        "NoPagingFile": 1, "Del_Inf_Pnf": 1, "Bootini": 1, "OffAutoLogon": 2, "ba_after": 1,
        "ba_after_cl": "CMD.EXE /C exit 3"})
    outcome, _ = machine.plan()
    assert outcome.kinds == ["reboot"], outcome
    return machine


class SavedState:
    """Values of keys (without their subkeys) and files at one moment, to be put back."""

    def __init__(self, prefix):
        self.prefix = prefix
        self.values = {key: prefix.reg_values(key) or {} for key in GENERATED_KEYS}
        self.files = {p: prefix.read_file(p) if prefix.unix_path(p).exists() else None for p in BOOT_FILES}

    def put_back(self):
        now = {key: self.prefix.reg_values(key) or {} for key in GENERATED_KEYS}
        self.prefix.import_values({key: {**{n: None for n in now[key] if n not in values}, **values}
                                   for key, values in self.values.items()})
        for path, text in self.files.items():
            if text is None:
                self.prefix.unix_path(path).unlink(missing_ok=True)
            else:
                self.prefix.write_file(path, text)
        self.prefix.write_file("C:\\windows\\Inf\\tw.pnf", "x")


def test_a_generated_list_interrupted_at_any_entry_ends_as_an_uninterrupted_run(prefix):
    """The list of a real plan, with every kind of entry, stopped before each entry in turn by an
    unplanned restart and walked again: each time the machine ends as the uninterrupted run
    leaves it, and no program of the list runs twice."""
    normal_state(prefix)
    prefix.import_values({MACHINE_WINLOGON: {"AutoAdminLogon": None}})
    prefix.write_file("C:\\BOOT.INI", "[boot loader]\r\ntimeout=30\r\n")
    prefix.write_file("C:\\BOOT.RNB", "[boot loader]\r\ntimeout=0\r\n")
    prefix.write_file("C:\\windows\\Inf\\tw.pnf", "x")
    before = Session(prefix).snapshot(*GENERATED_KEYS)
    machine = plan_every_kind_of_entry(prefix)
    session = machine.session
    planned, entries = SavedState(prefix), list(session.command_list().values())
    kinds = {e.split(" ")[0].upper() for e in entries}
    for kind in ["$RSERVICE", "$RESTORESHELL", "$DEL", "$RESTORESWAP", "$DELFILES", "$RESTOREBI", "$IFE",
                 "$RECDFRGTIME", "$CLEARAUTOLOGON", "$ENABLEDISPLAYLASTLOGONINFO", "CMD.EXE", "CHKDSK.EXE"]:
        assert kind in kinds, f"the planner wrote no {kind} entry: {entries}"
    assert entries[-1] == "$End ExitWindows"
    entries[-1] = "$End Boot"  # the same end, without switching the test machine off

    def walk(first, lines):
        session.write_command_list(lines, first=first)
        outcome = session.run(first=session.start(QS), boots=0, timeout=120)
        assert outcome.ended == "exit" and not outcome.actions, outcome

    def tools_since(count):
        """The tools of the list that ran since the journal held count records, in their order."""
        return [r.tool.upper() for r in prefix.journal()[count:] if r.tool.upper() != "WINEBOOT"]

    journal = len(prefix.journal())
    walk(0, entries)
    runs = tools_since(journal)
    assert {"DEFRAG", "CHKDSK"} <= set(runs), runs
    expected = session.snapshot(*GENERATED_KEYS)
    assert before.compare(expected) == [], "the uninterrupted run puts everything back"
    assert prefix.read_file("C:\\BOOT.INI") == "[boot loader]\r\ntimeout=30\r\n"
    for stop in range(1, len(entries)):
        planned.put_back()
        journal = len(prefix.journal())
        walk(0, entries[:stop])
        walk(stop, entries[stop:])
        where = f"interrupted before entry {stop} ({entries[stop]!r})"
        assert expected.compare(session.snapshot(*GENERATED_KEYS)) == [], where
        assert session.command_list() == {}, where
        assert prefix.read_file("C:\\BOOT.INI") == "[boot loader]\r\ntimeout=30\r\n", where
        assert not prefix.unix_path("C:\\BOOT.RN_").exists(), where
        assert tools_since(journal) == runs, f"{where}: a tool ran twice or not at all"
