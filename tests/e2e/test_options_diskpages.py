"""The defragmenter, check-disk and clean-up pages of the Options sheet, opened from the normal mode
and driven as a user would: the page each opening command shows first, a use-once box clicked, the
command-line history kept newest first under HKEY_CURRENT_USER, and the pass count that enables
the last-round option on Windows XP. Screenshots of the three pages in English and Japanese are
kept as artefacts."""
from functools import partial

import configurator
import harness
from configurator import JAPANESE, MAIN, NORMAL_MODE, exit_program, settings

SHEET = "wait --class #32770 --title Options --timeout 30"
SHEET_JA = "wait --class #32770 --title オプション --timeout 30"
HISTORY_KEY = "HKCU\\Software\\Halvornix\\Korvane\\CurrentVersion"
WINE_KEY = "HKCU\\Software\\Wine"
OPEN_DEFRAG, OPEN_CHECK = 1084, 1085
PASSES, GUI, LAST_ROUND, SURFACE, BEFORE, COMMAND = 1042, 1071, 1177, 1063, 1102, 1163
# The next tab, as the arrow key on the sheet's tabs chooses it.
NEXT_PAGE = "keys --class SysTabControl32 {Right}"


start = partial(configurator.start, mode=NORMAL_MODE)


def open_sheet(prefix, command, sheet=SHEET):
    """Opens the sheet with an opening command; the ids of the controls of the pages made so far."""
    shown = prefix.wauto(MAIN, f"menu {command}", sheet, "list")
    return {control[1] for control in shown.controls}


def close_sheet(prefix, button, sheet=SHEET):
    prefix.wauto(sheet, f"click --id {button}", "closed --timeout 30")


def test_opening_commands_use_once_and_the_history(prefix):
    older = [f"defrag{i} %s" for i in range(1, 17)]
    prefix.import_values({HISTORY_KEY: {"cbq_defrag_cust": older}})
    program = start(prefix, {"CluScan": 2, "sd_check_before": 1, "df_check_cust": 1})

    # The check-disk command shows the check-disk page, and makes no other page.
    made = open_sheet(prefix, OPEN_CHECK)
    assert BEFORE in made and PASSES not in made, made
    assert prefix.wauto(SHEET, f"checked --id {SURFACE}").of_kind("check")[0][0] == "2"
    prefix.wauto(SHEET, f"click --id {SURFACE}", f"checked --id {SURFACE} --state 0 --timeout 10")
    harness.screenshot("options-checkdisk-en")
    close_sheet(prefix, 1)
    stored = settings(prefix)
    assert stored["CluScan"] == 0, "a use-once box clicked goes to off"
    assert stored["sd_check_before"] == 1
    assert stored["Scanlog"] == 0

    # The defragmenter command shows the defragmenter page; a new command line goes first.
    made = open_sheet(prefix, OPEN_DEFRAG)
    assert PASSES in made and BEFORE not in made, made
    items = prefix.wauto(SHEET, f"items --id {COMMAND}").of_kind("item")
    assert [item[1] for item in items] == older
    prefix.wauto(SHEET, ["settext", "--id", COMMAND, "mydefrag %s -v"])
    harness.screenshot("options-defrag-en")
    prefix.wauto(SHEET, NEXT_PAGE, NEXT_PAGE, NEXT_PAGE, "expect --id 1199 --has AlbumArt --timeout 10")
    harness.screenshot("options-clear-en")
    close_sheet(prefix, 1)
    history = prefix.reg_values(HISTORY_KEY)["cbq_defrag_cust"]
    assert history == ["mydefrag %s -v"] + older[:15], "the seventeenth, the oldest, is dropped"
    assert settings(prefix)["df_edit_cust"] == "mydefrag %s -v"

    # An entry further down moves to the front.
    open_sheet(prefix, OPEN_DEFRAG)
    prefix.wauto(SHEET, ["settext", "--id", COMMAND, "defrag3 %s"])
    close_sheet(prefix, 1)
    history = prefix.reg_values(HISTORY_KEY)["cbq_defrag_cust"]
    assert history == ["defrag3 %s", "mydefrag %s -v", "defrag1 %s", "defrag2 %s"] + older[3:15]
    exit_program(prefix, program)


def test_on_windows_xp_the_pass_count_enables_the_last_round_option(prefix):
    prefix.import_values({WINE_KEY: {"Version": "winxp64"}})
    program = start(prefix, {"Double": 0, "xp_mmcdefrag": 1})
    open_sheet(prefix, OPEN_DEFRAG)
    prefix.wauto(SHEET, f"expect --id {PASSES} --value 1", f"checked --id {GUI} --state 1",
                 f"enabled --id {GUI} --state 1", f"enabled --id {LAST_ROUND} --state 0")
    prefix.wauto(SHEET, ["settext", "--id", PASSES, "2"], f"enabled --id {LAST_ROUND} --state 1 --timeout 10")
    prefix.wauto(SHEET, f"click --id {LAST_ROUND}", f"checked --id {LAST_ROUND} --state 1 --timeout 10")
    close_sheet(prefix, 1)
    stored = settings(prefix)
    assert (stored["Double"], stored["xp_mmcdefrag"], stored["xp_finalmmc"]) == (1, 1, 1)
    exit_program(prefix, program)


def test_japanese_pages(prefix):
    program = start(prefix, {"Double": 2}, env=JAPANESE)
    open_sheet(prefix, OPEN_DEFRAG, SHEET_JA)
    prefix.wauto(SHEET_JA, f"expect --id {PASSES} --value 3")
    harness.screenshot("options-defrag-ja")
    prefix.wauto(SHEET_JA, NEXT_PAGE, f"expect --id {BEFORE} --has ディスクチェッカー --timeout 10")
    harness.screenshot("options-checkdisk-ja")
    prefix.wauto(SHEET_JA, NEXT_PAGE, NEXT_PAGE, "expect --id 1199 --has AlbumArt --timeout 10")
    harness.screenshot("options-clear-ja")
    close_sheet(prefix, 2, SHEET_JA)
    assert settings(prefix)["Double"] == 2, "Cancel writes nothing"
    exit_program(prefix, program)
