"""Trouble solutions and the Tools menu's Windows tools, driven as a user would: the repairs with
their questions (BootExecute keeping other programs' entries, prefetch files without their folders,
the automatic logon, the services put back and Windows restarted through ExitWindowsEx), the
backup, System Restore and configuration programs started as stand-ins, and restore points made
through a stand-in srclient.dll that answers with a status the test chose, from the menu and from
the planner before a run. Screenshots of the dialog in English and Japanese are kept as artefacts."""
from functools import partial

import configurator
import harness
from configurator import ENGLISH, JAPANESE, MAIN, NORMAL_MODE
from session import RUN_LOG, Session

TROUBLE_COMMAND = 1079
TITLES = {"en": "Trouble solutions", "ja": "トラブル解決"}
ICON_CACHE, SERVICES_BUTTON, UNUSED, AUTO_LOGON, PREFETCH, AUTOCHK = 1000, 1001, 1002, 1003, 1004, 1005
FONT_CACHE, SAFE_MODE = 1024, 1026
SESSION_MANAGER = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager"
SERVICES = "HKLM\\SYSTEM\\CurrentControlSet\\Services"
WINLOGON = "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon"
WINE_VERSION = "HKCU\\Software\\Wine"
OVERRIDES = "HKCU\\Software\\Wine\\DllOverrides"
PRODUCT = {"en": "Tidewell", "ja": "タイドウェル"}
YES, OK = 6, 1
TOOL_MENU = {"backup": 32778, "backup registry": 32779, "restore registry": 32780, "system restore": 32781,
             "msconfig": 32776, "event viewer": 32777, "restore point": 32793}
SRCLIENT_LOG = harness.STANDINS_DIR + "\\srclient.log"
# Each row of System Restore's status table, and 5 for any other status.
STATUS_TEXTS = [
    (0, "Creating restore point is successful."),
    (10, "The function was called in safe mode."),
    (13, "The sequence number is invalid."),
    (80, "Pending file-rename operations exist in the file %windir%\\Wininit.ini."),
    (112, "System Restore is in standby mode because disk space is low."),
    (1058, "System Restore is disabled."),
    (1359, "An internal error occurred."),
    (1460, "The call timed out due to a wait on a mutex for setting restore points."),
    (5, "Cannot create restore point."),
]


def dialog(language="en"):
    return ["wait", "--class", "#32770", "--title", TITLES[language], "--timeout", "30"]


start = partial(configurator.start, mode=NORMAL_MODE)
# After a run that was given up, the buttons come back once the planner has returned.
exit_program = partial(configurator.exit_program, ready=["enabled --id 104 --state 1 --timeout 30"])


def answer(prefix, button, language="en"):
    """The text of the message box now shown, which the button then closes."""
    shown = prefix.wauto(["wait", "--class", "#32770", "--title", PRODUCT[language], "--timeout", "30"],
                         "text --id 65535", f"click --id {button}", "closed --timeout 30")
    return shown.texts[0]


def press(prefix, control, language="en"):
    prefix.wauto(dialog(language), f"enabled --id {control} --state 1 --timeout 10", f"click --id {control}")


def controls(prefix, language="en"):
    return {c[1]: c for c in prefix.wauto(dialog(language), "list").controls}


def user_profile(prefix):
    users = prefix.unix_path("C:\\users")
    name = next(p.name for p in users.iterdir() if p.is_dir() and p.name.lower() != "public")
    return f"C:\\users\\{name}"


def install_srclient(prefix):
    """The stand-in System Restore library in the System folder, loaded in place of Wine's own."""
    prefix.install(harness.test_bin_dir() / "srclient.dll", harness.SYSTEM_DIR)
    prefix.import_values({OVERRIDES: {"srclient": "native"}})


def set_status(prefix, status):
    prefix.set_standin("SRCLIENT", exit_code=status)


def srclient_calls(prefix):
    path = prefix.unix_path(SRCLIENT_LOG)
    return path.read_bytes().decode("utf-8").splitlines() if path.exists() else []


def run_log(prefix):
    path = prefix.unix_path(RUN_LOG)
    return path.read_bytes().decode("cp932") if path.exists() else ""


# ---- Trouble solutions --------------------------------------------------------------------------

def test_repairs_ask_change_what_they_should_and_the_services_restart_windows(prefix):
    profile = user_profile(prefix)
    prefix.write_file(profile + "\\AppData\\Local\\IconCache.db", "icons")
    prefix.write_file("C:\\windows\\Prefetch\\KORVANE.EXE-1234.pf", "pf")
    prefix.write_file("C:\\windows\\Prefetch\\ReadyBoot\\Trace1.fx", "kept")
    prefix.import_values({
        SESSION_MANAGER: {"BootExecute": ["autocheck autochk *", "autocheck av_boot /scan"]},
        WINLOGON: {"AutoAdminLogon": "1"},
        f"{SERVICES}\\TwTroubleStopped": {"Start": 4, "Type": 0x10},
        f"{SERVICES}\\TwTroubleChosen": {"Start": 3, "Type": 0x10},
    })
    session = Session(prefix, env=ENGLISH)
    program = start(prefix, {"StoppedSrv": "TwTroubleStopped\aTwTroubleChosen\aTwTroubleTail"}, session=session)
    prefix.wauto(MAIN, f"menu {TROUBLE_COMMAND}", dialog())
    shown = controls(prefix)
    enabled = {id_: shown[id_][5] for id_ in (ICON_CACHE, FONT_CACHE, SAFE_MODE, AUTO_LOGON, SERVICES_BUTTON,
                                              PREFETCH, UNUSED, AUTOCHK)}
    assert enabled == {ICON_CACHE: True, FONT_CACHE: False, SAFE_MODE: True, AUTO_LOGON: True,
                       SERVICES_BUTTON: True, PREFETCH: True, UNUSED: False, AUTOCHK: True}
    assert shown[AUTOCHK][3] == "Disable &AUTOCHK on boot time"
    harness.screenshot("trouble-solutions-en")

    # AUTOCHK goes; the other program's boot-time entry stays.
    press(prefix, AUTOCHK)
    assert answer(prefix, YES).startswith("Are you sure you want to remove AUTOCHK from 'BootExecute'")
    assert answer(prefix, OK) == "Removed AUTOCHK from 'BootExecute' in session manager."
    assert prefix.reg_query(SESSION_MANAGER, "BootExecute") == ["autocheck av_boot /scan"]
    prefix.wauto(dialog(), f"expect --id {AUTOCHK} --value 'Enable &AUTOCHK on boot time'")

    # The prefetch files go, its folders stay.
    press(prefix, PREFETCH)
    assert answer(prefix, YES) == "Are you sure you want to delete files in applog/prefetch folder?"
    assert answer(prefix, OK) == "Deleted files in Applog/Prefetch folder."
    assert not prefix.unix_path("C:\\windows\\Prefetch\\KORVANE.EXE-1234.pf").exists()
    assert prefix.read_file("C:\\windows\\Prefetch\\ReadyBoot\\Trace1.fx") == "kept"

    # The icon cache goes and comes back as an empty read-only file.
    press(prefix, ICON_CACHE)
    assert answer(prefix, YES) == "Are you sure you want to delete the Icon Cache?"
    assert answer(prefix, YES) == "Deleted the Icon Cache. Do you want to create a readonly file?"
    assert answer(prefix, OK) == "Created a readonly Icon Cache."
    assert prefix.read_file(profile + "\\AppData\\Local\\IconCache.db") == ""

    press(prefix, AUTO_LOGON)
    asked = prefix.wauto("wait --class #32770 --title 'Cancel Auto logon' --timeout 30", "text --id 65535",
                         f"click --id {YES}", "closed --timeout 30")
    assert asked.texts == ["Are you sure you want to turn on the boot time password?"]
    prefix.wauto(dialog(), f"enabled --id {AUTO_LOGON} --state 0 --timeout 10")
    assert "AutoAdminLogon" not in prefix.reg_values(WINLOGON)

    # Only the service the run disabled comes back; Windows restarts.
    press(prefix, SERVICES_BUTTON)
    assert answer(prefix, YES) == "Are you sure you want to recovery services?"
    assert answer(prefix, OK) == "Press [OK] to reboot Windows."
    outcome = session.run(first=program, boots=0, timeout=60)
    assert outcome.kinds == ["reboot"], outcome
    assert prefix.reg_query(f"{SERVICES}\\TwTroubleStopped", "Start") == 2
    assert prefix.reg_query(f"{SERVICES}\\TwTroubleChosen", "Start") == 3


def test_safe_mode_return_runs_bcdedit_and_restarts_only_after_it_worked(prefix):
    prefix.install_standins(["BCDEDIT"])
    prefix.set_standin("BCDEDIT", exit_code=1)
    session = Session(prefix, env=JAPANESE)
    program = start(prefix, env=JAPANESE, session=session)
    prefix.wauto(MAIN, f"menu {TROUBLE_COMMAND}", dialog("ja"))
    assert controls(prefix, "ja")[AUTOCHK][3] == "起動時の AUTOCHK を有効にする(&A)"
    harness.screenshot("trouble-solutions-ja")
    press(prefix, SAFE_MODE, "ja")
    assert answer(prefix, YES, "ja") == "セーフモードまたは VGA モードから通常の起動に戻してもよろしいですか？"
    assert answer(prefix, OK, "ja") == "bcdedit.exe でセーフブートの設定を削除できませんでした。Windows は再起動しません。"

    prefix.set_standin("BCDEDIT", exit_code=0)
    press(prefix, SAFE_MODE, "ja")
    answer(prefix, YES, "ja")
    assert answer(prefix, OK, "ja") == "[OK] を押すと Windows を再起動します。"
    outcome = session.run(first=program, boots=0, timeout=60)
    assert outcome.kinds == ["reboot"], outcome
    assert [r.command_line.split(" ", 1)[1] for r in prefix.journal("BCDEDIT")] == ["/deletevalue safeboot"] * 2


# ---- The Tools menu -----------------------------------------------------------------------------

def test_tools_menu_starts_the_windows_programs(prefix):
    # Windows XP: the backup tool, its registry entries and System Restore in its own folder.
    prefix.import_values({WINE_VERSION: {"Version": "winxp"}})
    prefix.install_standins(["NTBACKUP", "MSCONFIG", "EVENTVWR"])
    prefix.install(harness.test_bin_dir() / "standin.exe", harness.SYSTEM_DIR + "\\restore", "RSTRUI.EXE")
    program = start(prefix)
    for tool in ("backup", "backup registry", "restore registry", "system restore", "msconfig", "event viewer"):
        prefix.wauto(MAIN, f"menu {TOOL_MENU[tool]}")
        harness.wait_until(lambda: len(prefix.journal()) >= list(TOOL_MENU).index(tool) + 1, 30, f"{tool} to start")
    started = [(r.tool.upper(), r.folder.lower()) for r in prefix.journal()]
    assert started == [("NTBACKUP", "c:\\program files\\tidewell")] * 3 + [
        ("RSTRUI", "c:\\windows\\system32\\restore"), ("MSCONFIG", "c:\\program files\\tidewell"),
        ("EVENTVWR", "c:\\program files\\tidewell")]
    assert "Run - NTBACKUP.EXE" in run_log(prefix).splitlines()[-1]
    exit_program(prefix, program)


def test_restore_points_show_every_status_from_the_menu_and_before_a_run(prefix):
    install_srclient(prefix)
    program = start(prefix)
    for status, text in STATUS_TEXTS:
        set_status(prefix, status)
        prefix.wauto(MAIN, f"menu {TOOL_MENU['restore point']}")
        assert answer(prefix, OK) == text, status
    assert srclient_calls(prefix)[:2] == ["100 12 0 Tidewell", "101 12 4242 Tidewell"]
    log = run_log(prefix)
    assert log.count("Starting create a restore point.") == len(STATUS_TEXTS)
    assert all(text in log for _, text in STATUS_TEXTS)
    exit_program(prefix, program)

    # The planner makes its restore point the same way, warns, and goes on to its countdown.
    set_status(prefix, 1058)
    program = start(prefix, {"CreateRestorePoint": 2, "Selected": 0, "How": 2, "ba_beforewait": 1, "ba_sleep": 60})
    prefix.wauto(MAIN, "click --id 1")
    assert answer(prefix, YES).startswith("Are you sure you want to restart or quit Windows")
    assert answer(prefix, OK) == "System Restore is disabled."
    prefix.wauto("wait --class #32770 --title Wait --timeout 30", "click --id 2", "closed --timeout 30")
    lines = run_log(prefix).splitlines()
    start_line = max(i for i, line in enumerate(lines) if line.endswith("Starting create a restore point."))
    assert lines[start_line + 1].endswith("System Restore is disabled.")
    exit_program(prefix, program)


def test_japanese_restore_point_is_confirmed_first(prefix):
    install_srclient(prefix)
    program = start(prefix, env=JAPANESE)
    prefix.wauto(MAIN, f"menu {TOOL_MENU['restore point']}")
    assert answer(prefix, 7, "ja") == "システムの復元の復元ポイントを作成します。よろしいですか？"
    assert srclient_calls(prefix) == [], "No makes none"
    prefix.wauto(MAIN, f"menu {TOOL_MENU['restore point']}")
    answer(prefix, YES, "ja")
    assert answer(prefix, OK, "ja") == "復元ポイントを作成しました。"
    assert len(srclient_calls(prefix)) == 2
    exit_program(prefix, program)
