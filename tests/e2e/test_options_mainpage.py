"""The main options page, the Rinsa method page and More settings as a user meets them in the
Options sheet of the normal mode: what they show, what OK writes back, the writes the pages make
as they open, the scheduler status line beside a resident scheduler, and a refused check-disk
countdown. Screenshots of the three in English and Japanese are kept as artefacts."""
from functools import partial

import configurator
import harness
from configurator import ENGLISH, JAPANESE, MAIN, NORMAL_MODE, exit_program, settings

SESSION_MANAGER = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager"
WINE_KEY = "HKCU\\Software\\Wine"
MAIN_PAGE, METHOD_PAGE = 1083, 1078
SHEET_EN = "wait --class #32770 --title Options --timeout 30"
SHEET_JA = "wait --class #32770 --title オプション --timeout 30"
MORE_EN = "wait --class #32770 --title 'More Settings' --timeout 30"
MORE_JA = "wait --class #32770 --title 詳細設定 --timeout 30"
BOX = "wait --class #32770 --title Tidewell --timeout 30"
STATUS = 1202
SCHEDULER_SETTINGS = "wait --class #32770 --title 'Tidewell scheduler settings' --timeout 60"
SCHEDULER_SAVE_AND_START = 6


# The normal mode at once, on a Windows 10 as Wine plays it.
start = partial(configurator.start, mode=NORMAL_MODE, first={WINE_KEY: {"Version": "win10"}})


def open_sheet(prefix, command, sheet=SHEET_EN):
    prefix.wauto(MAIN, f"menu {command}", sheet)


def close_sheet(prefix, button, sheet=SHEET_EN):
    prefix.wauto(sheet, f"click --id {button}", "closed --timeout 30")


def checks(prefix, *ids, sheet=SHEET_EN):
    shown = prefix.wauto(sheet, *[f"checked --id {i}" for i in ids])
    return [int(record[0]) for record in shown.of_kind("check")]


def enabled(prefix, *ids, sheet=SHEET_EN):
    shown = prefix.wauto(sheet, *[f"enabled --id {i}" for i in ids])
    return [int(record[0]) for record in shown.of_kind("enabled")]


def test_pages_write_back_and_show_the_scheduler(prefix):
    program = start(prefix, {"aux_vso.exe": 7, "CreateRestorePoint": 1, "How": 1, "SystemReboot": 1,
                             "notnetsafe": 0}, ENGLISH)

    # The obsolete method 1 on Windows 10 is rewritten as 2 as the page opens, Cancel or not.
    open_sheet(prefix, METHOD_PAGE)
    assert checks(prefix, 1036, 1034, 1073) == [1, 0, 0]
    assert enabled(prefix, 1034, 1003, 1152, 1036) == [0, 0, 0, 1], "no safe mode and no pre-shell run on 10"
    harness.screenshot("options-method-en")
    close_sheet(prefix, 2)
    assert settings(prefix)["How"] == 2

    # The main page: both screen boxes and the restore point on; no scheduler until 1203 starts it.
    open_sheet(prefix, MAIN_PAGE)
    assert checks(prefix, 1093, 1153, 1177, 1205) == [1, 1, 1, 1]
    assert enabled(prefix, 1072, 1153, 1177) == [0, 1, 1], "Windows 10 boots without BOOT.INI"
    prefix.wauto(SHEET_EN, f"expect --id {STATUS} --value 'Scheduler Status : OFF' --timeout 20")
    assert settings(prefix)["SystemReboot"] == 0, "the fast boot is switched off as the page opens"
    harness.screenshot("options-main-en")
    # 1203 opens the scheduler's settings; "Save Settings and Start" there starts the resident
    # (KORVTASK.EXE /S), and the page's status line reads ON beside it.
    prefix.wauto(SHEET_EN, "click --id 1203")
    prefix.wauto(SCHEDULER_SETTINGS, f"enabled --id {SCHEDULER_SAVE_AND_START} --state 1 --timeout 10",
                 f"click --id {SCHEDULER_SAVE_AND_START}")
    prefix.wauto(SHEET_EN, f"expect --id {STATUS} --value 'Scheduler Status : ON' --timeout 30")
    prefix.wauto("wait --class korvane_task_sr --hidden --timeout 10")
    prefix.wauto(SCHEDULER_SETTINGS, "click --id 2", "closed --timeout 30")

    # More settings: a countdown above 259200 is refused and the dialog stays open.
    prefix.wauto(SHEET_EN, "click --id 1111", MORE_EN, "expect --id 1120 --value 10")
    harness.screenshot("more-settings-en")
    prefix.wauto(MORE_EN, "settext --id 1110 2500", "settext --id 1120 300000", "click --id 1", BOX)
    harness.screenshot("more-settings-refused-en")
    refused = prefix.wauto(BOX, "text --id 65535", "click --text OK", "closed --timeout 10")
    assert refused.texts == ["Please enter a number from 0 to 259200."]
    prefix.wauto(MORE_EN, "settext --id 1120 600", "click --id 1", "closed --timeout 30")
    close_sheet(prefix, 1)

    stored = settings(prefix)
    assert (stored["aux_vso.exe"], stored["CreateRestorePoint"]) == (2, 2)
    assert (stored["How"], stored["SystemReboot"], stored["mouselr"]) == (2, 0, 1)
    assert stored["DKLiteWait"] == 2500
    assert prefix.reg_values(SESSION_MANAGER)["AutoChkTimeOut"] == 600
    log = prefix.read_file(harness.PRODUCT_DIR + "\\KORVANE.LOG")
    assert "Command Line - !KORVTASK.EXE" in log, "the scheduler goes through the logged runner"

    # Read back when More settings opens again.
    open_sheet(prefix, MAIN_PAGE)
    again = prefix.wauto(SHEET_EN, "click --id 1111", MORE_EN, "text --id 1110", "text --id 1120",
                         "click --id 2", "closed --timeout 30")
    assert again.texts == ["2500", "600"]
    close_sheet(prefix, 2)
    exit_program(prefix, program)


def test_japanese_pages(prefix):
    program = start(prefix, {"How": 3}, JAPANESE)
    open_sheet(prefix, MAIN_PAGE, SHEET_JA)
    prefix.wauto(SHEET_JA, f"expect --id {STATUS} --value 'スケジューラの状態 : OFF' --timeout 20")
    assert prefix.wauto(SHEET_JA, "text --id 1177").texts == ["Rinsa 実行の前に復元ポイントを作成する(&P)"]
    harness.screenshot("options-main-ja")
    prefix.wauto(SHEET_JA, "click --id 1111", MORE_JA)
    harness.screenshot("more-settings-ja")
    prefix.wauto(MORE_JA, "click --id 2", "closed --timeout 30")
    close_sheet(prefix, 2, SHEET_JA)

    open_sheet(prefix, METHOD_PAGE, SHEET_JA)
    assert checks(prefix, 1036, 1003, sheet=SHEET_JA) == [1, 0], "no safe mode after Vista"
    harness.screenshot("options-method-ja")
    close_sheet(prefix, 2, SHEET_JA)
    assert settings(prefix)["How"] == 2
    exit_program(prefix, program)
