"""The before/after page of the Options sheet as a user meets it: the hooks' boxes and Setting
buttons, the two waits shown as minutes and seconds and stored as seconds, a wait too long to store
refused with the sheet kept open, and the command-line editor in its one-line and several-line
forms. Screenshots of the page and both editor forms in English and Japanese are kept."""
from functools import partial

import configurator
import harness
from configurator import ENGLISH, JAPANESE, MAIN, NORMAL_MODE, exit_program, settings
from session import SETTINGS_KEY

SHEET = "wait --class #32770 --title Options --timeout 30"
SHEET_JA = "wait --class #32770 --title オプション --timeout 30"
EDITOR_EN = "wait --class #32770 --title 'Before and After' --timeout 30"
EDITOR_JA = "wait --class #32770 --title 前後の処理 --timeout 30"
MESSAGE = "wait --class #32770 --title Tidewell --timeout 30"
BEFORE_AFTER_PAGE = 1101
# Page: the shutdown hook's Setting button, the wait before the run and its fields.
SHUTDOWN_SET, BEFORE_SET, REBOOT_SET, AFTER_SET = 1175, 1170, 1171, 1173
BEFORE_WAIT, SLEEP_MINUTES, SLEEP_SECONDS = 1193, 1184, 1182
AFTER_MINUTES, AFTER_SECONDS = 1186, 1188
# Editor: the several-line field, the one-line field, Open and Save, the note line.
LINES, LINE, OPEN, SAVE, NOTE = 1171, 1172, 1049, 1051, 1002


# The normal mode at once, ready when its status line is filled.
start = partial(configurator.start, mode=NORMAL_MODE, ready=["expect --id 1167 --has [ --timeout 60"])


def open_sheet(prefix, sheet=SHEET):
    prefix.wauto(MAIN, f"menu {BEFORE_AFTER_PAGE}", sheet)


def value_type(prefix, name):
    shown = prefix.reg("query", SETTINGS_KEY, "/v", name).stdout
    return next((kind for kind in ("REG_EXPAND_SZ", "REG_SZ", "REG_DWORD") if kind in shown), None)


def controls(prefix, window):
    return {c[1]: c for c in prefix.wauto(window, "list").controls}


def test_waits_hooks_and_the_one_line_editor(prefix):
    prefix.reg_add(SETTINGS_KEY, "ba_shutdown_cl", "%windir%\\off.exe", kind="REG_EXPAND_SZ")
    program = start(prefix, {"ba_ready": 2, "ba_shutdown": 1, "ba_aftersleep": None, "ba_afterwait": None},
                    ENGLISH)
    open_sheet(prefix)

    # A hook in the use-once state keeps its Setting button enabled; the absent wait after the
    # restart shows its default of one minute.
    shown = prefix.wauto(SHEET, "checked --id 1157", "enabled --id 1172", "checked --id 1151",
                         "enabled --id 1171", f"text --id {AFTER_MINUTES}", f"text --id {AFTER_SECONDS}")
    assert [r[0] for r in shown.of_kind("check")] == ["2", "0"]
    assert [r[0] for r in shown.of_kind("enabled")] == ["1", "0"]
    assert shown.texts == ["1", "0"]
    harness.screenshot("options-beforeafter-en")

    # The shutdown hook's editor: one line, no Open or Save; OK stores the typed text and the
    # stored REG_EXPAND_SZ keeps its type.
    prefix.wauto(SHEET, f"click --id {SHUTDOWN_SET}")
    editor = controls(prefix, EDITOR_EN)
    assert editor[LINE][4] and not editor[LINES][4], "the one-line field in place of the several-line one"
    assert not editor[OPEN][4] and not editor[SAVE][4]
    assert editor[LINE][3] == "%windir%\\off.exe"
    assert editor[NOTE][3] == "The specified command line shutting down Windows after Rinsa Running."
    prefix.wauto(EDITOR_EN, ["settext", "--id", str(LINE), "%SystemRoot%\\system32\\shutdown.exe -s"])
    harness.screenshot("options-beforeafter-editor-one-line-en")
    prefix.wauto(EDITOR_EN, "click --id 1", "closed --timeout 20")
    assert settings(prefix)["ba_shutdown_cl"] == "%SystemRoot%\\system32\\shutdown.exe -s"
    assert value_type(prefix, "ba_shutdown_cl") == "REG_EXPAND_SZ"

    # The several-line form, for the screenshot; Cancel stores nothing.
    prefix.wauto(SHEET, "click --id 1102", f"enabled --id {BEFORE_SET} --state 1", f"click --id {BEFORE_SET}")
    editor = controls(prefix, EDITOR_EN)
    assert editor[LINES][4] and editor[OPEN][4] and editor[SAVE][4] and not editor[LINE][4]
    prefix.wauto(EDITOR_EN, ["settext", "--id", LINES, "C:\\Tools\\first.exe\r\n\"C:\\My Tools\\second.exe\" /q"])
    harness.screenshot("options-beforeafter-editor-lines-en")
    prefix.wauto(EDITOR_EN, "click --id 2", "closed --timeout 20")
    assert "ba_before_cl" not in settings(prefix)

    # A wait too long to store is refused with a message and the sheet stays open on the page.
    prefix.wauto(SHEET, f"click --id {BEFORE_WAIT}", f"enabled --id {SLEEP_MINUTES} --state 1",
                 ["settext", "--id", str(SLEEP_MINUTES), "99999999"], "click --id 1")
    refused = prefix.wauto(MESSAGE, "text --id 65535", "click --text OK", "closed --timeout 20")
    assert refused.texts == ["Please enter a number from 0 to 35791394."]
    assert "ba_sleep" not in settings(prefix), "nothing is written while the sheet stays open"

    # 2 minutes and 75 seconds are stored as 195 seconds; the absent wait is stored as 60.
    prefix.wauto(SHEET, ["settext", "--id", str(SLEEP_MINUTES), "2"], ["settext", "--id", str(SLEEP_SECONDS), "75"],
                 "click --id 1", "closed --timeout 20")
    stored = settings(prefix)
    assert (stored["ba_sleep"], stored["ba_beforewait"]) == (195, 1)
    assert (stored["ba_aftersleep"], stored["ba_afterwait"]) == (60, 1)
    assert (stored["ba_ready"], stored["ba_shutdown"], stored["ba_before"]) == (2, 1, 1)

    # Shown next time as 3 minutes 15 seconds.
    open_sheet(prefix)
    again = prefix.wauto(SHEET, f"text --id {SLEEP_MINUTES}", f"text --id {SLEEP_SECONDS}", "click --id 2",
                         "closed --timeout 20")
    assert again.texts == ["3", "15"]
    exit_program(prefix, program)


def test_japanese_page_and_editor(prefix):
    program = start(prefix, {"ba_reboot": 1, "ba_after": 2, "ba_beforewait": 1, "ba_sleep": 95,
                             "ba_after_countdown": 1}, JAPANESE)
    open_sheet(prefix, SHEET_JA)
    assert prefix.wauto(SHEET_JA, f"text --id {SLEEP_MINUTES}", f"text --id {SLEEP_SECONDS}").texts == ["1", "35"]
    harness.screenshot("options-beforeafter-ja")

    prefix.wauto(SHEET_JA, f"click --id {REBOOT_SET}")
    editor = controls(prefix, EDITOR_JA)
    assert editor[LINE][4] and not editor[OPEN][4]
    assert editor[NOTE][3], "the Japanese note on the first restart"
    prefix.wauto(EDITOR_JA, ["settext", "--id", str(LINE), "C:\\Tools\\reboot.exe /r"])
    harness.screenshot("options-beforeafter-editor-one-line-ja")
    prefix.wauto(EDITOR_JA, "click --id 2", "closed --timeout 20")

    prefix.wauto(SHEET_JA, f"click --id {AFTER_SET}")
    editor = controls(prefix, EDITOR_JA)
    assert editor[LINES][4] and editor[OPEN][4] and editor[SAVE][4]
    prefix.wauto(EDITOR_JA, ["settext", "--id", LINES, "C:\\Tools\\after.exe\r\nC:\\Tools\\report.bat"])
    harness.screenshot("options-beforeafter-editor-lines-ja")
    prefix.wauto(EDITOR_JA, "click --id 2", "closed --timeout 20")

    prefix.wauto(SHEET_JA, "click --id 2", "closed --timeout 20")
    exit_program(prefix, program)
