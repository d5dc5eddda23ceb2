"""The configurator as a user meets it: the mode selection at the first start, the keyboard's ring of
buttons, the normal mode storing every choice as it is made, Start handing over to the planner and
the restart, and the export and import of all settings through REGEDIT. Screenshots of both screens
in both languages are kept as artefacts."""
import re

import harness
from configurator import ENGLISH, JAPANESE, MAIN, exit_program, settings, start, wait_for_setting
from session import Session

IDLE_STATUS = "Press [Start] button to start rinsa running."
DRIVE_C, DRIVE_E = 1006, 1008
# The keys that walk the ring of mode buttons and the button each leaves the focus on.
RING_WALK = [("{Tab}", 103), ("{Tab}", 104), ("{Tab}", 105), ("{Tab}", 106), ("{Tab}", 102), ("{Up}", 106),
             ("{Down}", 102)]
STAMP_C = bytes([0xEA, 0x07, 1, 0, 4, 0, 1, 0, 10, 0, 0, 0, 0, 0, 0, 0])
STAMP_D = bytes([0xE9, 0x07, 12, 0, 3, 0, 31, 0, 23, 0, 59, 0, 0, 0, 0, 0])


def focused_ids(result):
    return [int(record[1]) for record in result.of_kind("focus")]


def controls(prefix):
    return {control[1]: control for control in prefix.wauto(MAIN, "list").controls}


# ---- Mode selection -----------------------------------------------------------------------------

def test_first_start_shows_the_mode_selection_and_tab_walks_the_ring(prefix):
    program = start(prefix)
    shown = prefix.wauto(MAIN, "focus", "list")
    assert focused_ids(shown) == [102], "the normal-mode button has the focus"
    buttons = {c[1]: c for c in shown.controls}
    assert buttons[102][3] == "Normal Mode : You can use all settings. You can use with keyboard only."
    assert buttons[103][3] == "Wizard mode : for beginners of Tidewell."
    assert [buttons[i][3] for i in (104, 105, 106)] == ["Exit", "Help(Japanese)", "About"]
    assert buttons[103][5] and buttons[106][5], "the wizard and About are there"
    harness.screenshot("mode-selection-en")

    # Tab wraps from the last button to the first. The keys are posted, so each key's button is
    # waited for; a ring that does not wrap fails with the button the focus stayed on.
    prefix.wauto(MAIN, *[step for key, button in RING_WALK
                         for step in (f"keys {key}", f"focus --id {button} --timeout 10")])
    exit_program(prefix, program)
    assert "mode" not in settings(prefix), "the mode selection is not remembered as a mode"


def test_japanese_screens(prefix):
    program = start(prefix, env=JAPANESE)
    assert prefix.wauto(MAIN, "text").texts == ["タイドウェル"]
    harness.screenshot("mode-selection-ja")
    prefix.wauto(MAIN, "click --id 102", "expect --id 1167 --value '[開始] ボタンを押すと、Rinsa 実行を開始します。'")
    assert controls(prefix)[1034][3] == "デフラグ(&D)"
    harness.screenshot("normal-mode-ja")
    exit_program(prefix, program)


# ---- Normal mode --------------------------------------------------------------------------------

def test_normal_mode_stores_every_choice_as_it_is_made(prefix):
    program = start(prefix)
    prefix.wauto(MAIN, "click --id 102", f"expect --id 1167 --value '{IDLE_STATUS}'")
    assert settings(prefix)["mode"] == 1
    assert settings(prefix)["Selected"] == 0, "the run kind is written back when the panel opens"

    prefix.wauto(MAIN, "click --id 1035")
    wait_for_setting(prefix, "Selected", 1)
    prefix.wauto(MAIN, f"click --id {DRIVE_C}", f"checked --id {DRIVE_C} --state 1 --timeout 10",
                 f"click --id {DRIVE_E}")
    wait_for_setting(prefix, "Drives", 0x14)
    prefix.wauto(MAIN, "click --id 1003")
    wait_for_setting(prefix, "Selected", 3)
    shown = controls(prefix)
    assert shown[1033][5] and not shown[DRIVE_C][5], "other programs take the command lines, not the drives"
    prefix.wauto(MAIN, ["keys", "--id", "1033", "CMD.EXE /C exit 0"])
    wait_for_setting(prefix, "LastCmdLine", "CMD.EXE /C exit 0")
    harness.screenshot("normal-mode-en")
    exit_program(prefix, program)

    # The next start comes back to the normal mode with the choices.
    program = start(prefix)
    again = prefix.wauto(MAIN, "checked --id 1003", f"checked --id {DRIVE_C}", f"checked --id {DRIVE_E}",
                         "text --id 1033")
    assert [r[0] for r in again.of_kind("check")] == ["1", "1", "1"]
    assert again.texts == ["CMD.EXE /C exit 0"]
    exit_program(prefix, program)


def test_start_answered_yes_plans_the_run_and_restarts(prefix):
    prefix.install_standins(["DEFRAG", "CHKDSK"])
    prefix.import_values({"HKCU\\Software\\Wine": {"Version": "win7"}})
    session = Session(prefix, env=ENGLISH)
    program = start(prefix, {"mode": 1, "Selected": 1, "How": 2, "ba_afterwait": 0, "NotAutoPowerOff": 0},
                    session=session)
    prefix.wauto(MAIN, "click --id 1034", f"click --id {DRIVE_C}")
    wait_for_setting(prefix, "Drives", 0x4)
    assert settings(prefix)["Selected"] == 0
    asked = prefix.wauto(MAIN, "click --id 1", "wait --class #32770 --title Tidewell --timeout 30",
                         "text --id 65535", "click --id 6")
    assert asked.texts == ["Are you sure you want to restart or quit Windows and start rinsa runnning?"]

    planned = session.run(first=program, boots=0, timeout=120)
    assert planned.kinds == ["reboot"], planned
    entries = list(session.command_list().values())
    assert any(re.search(r"DEFRAG\.EXE C: ", entry) for entry in entries), entries
    assert entries[-1] == "$End ExitWindows"
    ended = session.run(timeout=180)
    assert ended.kinds == ["poweroff"], ended
    assert [r.command_line.split(" ", 1)[1] for r in prefix.journal("DEFRAG")] == ["C: -f -u -h"]


# ---- Export and import --------------------------------------------------------------------------

def choose_file(prefix, title, path):
    prefix.wauto(f"wait --title '{title}' --timeout 30", ["settext", "--id", "1148", "--class", "Edit", path],
                 "click --id 1 --class Button")


def test_export_then_import_restores_the_settings_and_keeps_every_drive_history(prefix):
    history = {"dddC": STAMP_C, "sddC": STAMP_C, "dddD": STAMP_D, "DTIMEC": 61000}
    program = start(prefix, {"mode": 1, "Selected": 3, "Drives": 0x14, "PutTopButtons": 1, "How": 4,
                             "LastCmdLine": "\"C:\\My Tools\\a.exe\" /x", **history})
    exported = harness.TEST_DIR + "\\all settings.reg"
    prefix.wauto(MAIN, "menu 1165")
    choose_file(prefix, "Export Settings", exported)
    harness.wait_until(lambda: prefix.unix_path(exported).exists(), 30, "the exported file")
    harness.wait_until(lambda: all(settings(prefix).get(n) == v for n, v in history.items()), 30,
                       "the drive history back in place")
    keys = harness.parse_reg_file(prefix.read_file(exported, encoding="utf-16"))
    stored = next(values for key, values in keys.items() if key.lower().endswith("korvane\\currentversion"))
    assert stored["Selected"] == 3 and stored["Drives"] == 0x14 and stored["PutTopButtons"] == 1
    assert stored["LastCmdLine"] == "\"C:\\My Tools\\a.exe\" /x"
    assert not {"dddC", "sddC", "dddD"} & set(stored), "the drive history stays with the machine"

    # Changed in the panel after the export.
    # The drive boxes are disabled while other programs are chosen, until Defragment's click is handled.
    prefix.wauto(MAIN, "click --id 1034", f"enabled --id {DRIVE_C} --state 1 --timeout 10", f"click --id {DRIVE_C}",
                 f"checked --id {DRIVE_C} --state 0 --timeout 10", "menu 32791")
    wait_for_setting(prefix, "PutTopButtons", 0)
    assert settings(prefix)["Selected"] == 0 and settings(prefix)["Drives"] == 0x10

    prefix.wauto(MAIN, "menu 1166")
    choose_file(prefix, "Import Settings", exported)
    wait_for_setting(prefix, "Selected", 3)
    now = settings(prefix)
    assert now["Drives"] == 0x14 and now["PutTopButtons"] == 1
    assert {name: now.get(name) for name in history} == history
    # The panel was built anew and shows what came in.
    shown = prefix.wauto(MAIN, "expect --id 1033 --has a.exe", "checked --id 1003", f"checked --id {DRIVE_C}")
    assert [r[0] for r in shown.of_kind("check")] == ["1", "1"]
    assert controls(prefix)[1082][4], "the extra buttons are back"
    exit_program(prefix, program)


def test_import_refuses_a_file_that_is_not_registry_text(prefix):
    program = start(prefix, {"mode": 1, "Selected": 2})
    broken = harness.TEST_DIR + "\\broken.reg"
    prefix.write_file(broken, b"REGEDIT4\r\n\x00\x01\x02\xff")
    prefix.wauto(MAIN, "menu 1166")
    choose_file(prefix, "Import Settings", broken)
    refused = prefix.wauto("wait --class #32770 --title Tidewell --timeout 30", "text --id 65535", "click --text OK")
    assert refused.texts == ["This file is not a valid text file. Nothing was imported."]
    assert settings(prefix)["Selected"] == 2
    exit_program(prefix, program)
