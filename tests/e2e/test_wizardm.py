"""The wizard mode as a beginner meets it: the three page sequences answered through the buttons, Back,
"Check setup-items" and "Back to first question"; a theme in the program folder, the Customizing
menu, an AVG theme answered by clicks on its choices; a theme installed by dropping an archive (a
stand-in archive library in the System folder) and the message of a missing library; and Start!
handing over to the planner. Screenshots of pages 21, 31 and 41 in both languages and of an AVG page
are kept as artefacts."""
import struct
from functools import partial

import configurator
import harness
from configurator import ENGLISH, JAPANESE, MAIN, WIZARD_MODE, exit_program, settings, wait_for_setting
from session import Session

BOX = "wait --class #32770 --title Tidewell --timeout 30"
ANSWER = {n: 106 + n for n in range(1, 6)}
IDYES, IDNO = 6, 7
# The wizard at once, ready when its first answer button can be pressed.
start = partial(configurator.start, mode=WIZARD_MODE, ready=[f"enabled --id {ANSWER[1]} --state 1 --timeout 30"])


def answer(prefix, button, first_text=None, setting=None):
    """Presses an answer button, then waits for what it did: the value it stored, and the first
    button's text of the page it led to."""
    prefix.wauto(MAIN, f"click --id {ANSWER[button]}")
    if setting:
        wait_for_setting(prefix, *setting)
    if first_text:
        prefix.wauto(MAIN, ["expect", "--id", str(ANSWER[1]), "--value", first_text, "--timeout", "20"])


def walk(prefix, steps):
    """Answers page after page: (button, the next page's first button text, (value, stored))."""
    for button, first_text, setting in steps:
        answer(prefix, button, first_text, setting)


# From the run method page to the last page: the recommended answers.
RECOMMENDED_END = [(3, "No (Recommend)", ("How", 2)), (1, "Yes (Recommend)", ("PowerOff", 0)),
                   (1, "Start!", ("NotAutoPowerOff", 0))]


def choose_drive_c(prefix):
    """"Select Drives by user" on the drive page: C: alone, then the Recycle Bin page."""
    prefix.wauto(MAIN, f"click --id {ANSWER[2]}", "wait --class #32770 --title 'Select drives' --timeout 30",
                 "click --id 1006", "checked --id 1006 --state 1 --timeout 10", "click --id 1")
    wait_for_setting(prefix, "Drives", 0x4)
    prefix.wauto(MAIN, ["expect", "--id", str(ANSWER[1]), "--value", "Yes", "--timeout", "20"])


def button_texts(prefix):
    controls = {c[1]: c for c in prefix.wauto(MAIN, "list").controls}
    return [controls[ANSWER[n]][3] for n in range(1, 6)]


def bitmap(width, height, rgb):
    """A 24-bit bitmap file of one colour."""
    row = bytes(rgb[::-1]) * width + b"\0" * ((4 - width * 3 % 4) % 4)
    pixels = row * height
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return header + info + pixels


def install_archive_library(prefix, name):
    prefix.install(harness.test_bin_dir() / "twarchive.dll", harness.SYSTEM_DIR, name)


# ---- The page sequences -------------------------------------------------------------------------

def test_defragment_sequence_back_and_the_list_of_answers(prefix):
    program = start(prefix)
    assert button_texts(prefix) == ["Defragment", "Checking Disks", "Defragment after Checking Disks",
                                    "Other Applications", "Customizing"]
    harness.screenshot("wizard-21-en")
    answer(prefix, 1, "All Hard Disk Drives (Recommend)", ("Selected", 0))
    answer(prefix, 1, "Yes", ("Drives", 0))
    # Back on the Recycle Bin page returns to the drives; the answer there replaces the first one.
    answer(prefix, 5, "All Hard Disk Drives (Recommend)")
    choose_drive_c(prefix)
    walk(prefix, [(2, None, ("DelTrash", 0)), (1, None, ("DelTemp", 1)), (2, "Before booting shell", ("Del_ITF", 0))])
    harness.screenshot("wizard-31-en")
    walk(prefix, RECOMMENDED_END)
    harness.screenshot("wizard-41-en")
    assert "CluScan" not in settings(prefix), "no check disk page"

    listed = prefix.wauto(MAIN, f"click --id {ANSWER[2]}", "wait --class #32770 --title 'your choices' --timeout 30",
                          "text --id 65535", "click --text OK")
    assert listed.texts == ["Wizard mode\t: Defragment\nSelect Drives\t: Select Drives by user\nRecycle Bin\t: No "
                            "(Recommend)\nTemporary Folder\t: Yes\nCache files of Internet Explorer : No (Recommend)"
                            "\nHow to Rinsa\t: Change Shell (Recommend)\nbefore\t: No (Recommend)\nafter\t: Yes "
                            "(Recommend)"]
    # The list appended nothing: Back goes to the last page answered.
    answer(prefix, 5, "Yes (Recommend)")
    exit_program(prefix, program)
    assert settings(prefix)["mode"] == 21


def test_check_disk_and_other_programs_sequences(prefix):
    program = start(prefix, {"LastCmdLine": "CMD.EXE /C exit 3"})
    walk(prefix, [(2, "All Hard Disk Drives (Recommend)", ("Selected", 1)), (1, "Yes", ("Drives", 0)),
                  (1, None, ("DelTrash", 1)), (1, None, ("DelTemp", 1)), (1, None, ("Del_ITF", 1)),
                  (1, "Before booting shell", ("CluScan", 1)), (1, "No (Recommend)", ("How", 0)),
                  (2, "Yes (Recommend)", ("PowerOff", 1)), (2, "Start!", ("NotAutoPowerOff", 1))])

    # Back to the first question, answered No and then Yes.
    asked = prefix.wauto(MAIN, f"click --id {ANSWER[4]}", BOX, "text --id 65535", f"click --id {IDNO}")
    assert asked.texts == ["Are you sure you want to back to the first question?"]
    prefix.wauto(MAIN, f"click --id {ANSWER[4]}", BOX, f"click --id {IDYES}")
    prefix.wauto(MAIN, ["expect", "--id", str(ANSWER[1]), "--value", "Defragment", "--timeout", "20"])

    walk(prefix, [(4, "Later", ("Selected", 3)), (1, "Before booting shell", ("LastCmdLine", ""))] + RECOMMENDED_END)
    exit_program(prefix, program)


def test_japanese_pages(prefix):
    program = start(prefix, env=JAPANESE)
    assert button_texts(prefix)[4] == "カスタマイズ"
    harness.screenshot("wizard-21-ja")
    answer(prefix, 4, "後で", ("Selected", 3))
    answer(prefix, 1, "シェルの起動前", ("LastCmdLine", ""))
    harness.screenshot("wizard-31-ja")
    answer(prefix, 3, "いいえ (推奨)", ("How", 2))
    answer(prefix, 1, "はい (推奨)", ("PowerOff", 0))
    answer(prefix, 1, "開始!", ("NotAutoPowerOff", 0))
    harness.screenshot("wizard-41-ja")
    exit_program(prefix, program)


# ---- Themes -------------------------------------------------------------------------------------

def client_width(prefix):
    left, _, right, _ = [int(v) for v in prefix.wauto(MAIN, "rect").of_kind("rect")[0][:4]]
    return right - left


def test_a_theme_changes_the_buttons_and_the_size_and_the_menu_goes_back_to_the_default(prefix):
    prefix.write_file(harness.PRODUCT_DIR + "\\blue.ini",
                      "[main]\r\nname=Blue\r\nscreen=793,451\r\n[21-NT]\r\nBUTTON1=Tidy the disk\r\n"
                      "BUTTON2=none\r\nTEXT=:intro@blue.txt\r\n", encoding="cp932")
    prefix.write_file(harness.PRODUCT_DIR + "\\blue.txt", ":intro\r\n$echo A theme of blue.\r\n")
    program = start(prefix, {"inifile": "blue.ini"})
    assert button_texts(prefix)[:2] == ["Tidy the disk", "Checking Disks"]
    themed = client_width(prefix)

    # The Customizing menu: Cancel, Default, then the themes of the program folder.
    prefix.wauto(MAIN, f"click --id {ANSWER[5]}", "popup --item-index 1 --timeout 20")
    prefix.wauto(MAIN, ["expect", "--id", str(ANSWER[1]), "--value", "Defragment", "--timeout", "20"])
    assert "inifile" not in settings(prefix)
    assert themed - client_width(prefix) == 200, "the theme's size came and went"

    # A right-click brings the same menu; the theme comes back.
    prefix.wauto(MAIN, "post --message 517 --lparam 0x00640064", "popup --item-index 2 --timeout 20")
    wait_for_setting(prefix, "inifile", "blue.ini")
    prefix.wauto(MAIN, ["expect", "--id", str(ANSWER[1]), "--value", "Tidy the disk", "--timeout", "20"])
    exit_program(prefix, program)


def test_an_avg_theme_advances_on_clicks_and_answers_through_its_choices(prefix):
    folder = harness.PRODUCT_DIR
    prefix.write_file(folder + "\\sky.bmp", bitmap(64, 48, (0x40, 0x80, 0xD0)))
    prefix.write_file(folder + "\\story.ini", "[main]\r\nmode=AVG\r\nname=Story\r\n"
                                              "[21-NT]\r\nTEXT=:start@story.txt\r\nTITLE=A quiet night\r\n")
    prefix.write_file(folder + "\\story.txt", ":start\r\n$wallpaper sky.bmp\r\n$echo The disk is tired.\r\n"
                                              "$pause\r\n$echo What shall we do?\r\n")
    program = start(prefix, {"inifile": "story.ini"})
    listed = {c[1]: c for c in prefix.wauto(MAIN, "list").controls}
    assert not listed[ANSWER[1]][4], "the answer buttons give way to the choices"
    harness.screenshot("wizard-avg-en")

    # The first choice's line, at 96 dots per inch: x 24 on, y from the client height less 159.
    choice = "mouse 200 251"
    prefix.wauto(MAIN, choice, choice)
    assert "Selected" not in settings(prefix), "two clicks show the second step and then the choices"
    prefix.wauto(MAIN, choice)
    wait_for_setting(prefix, "Selected", 0)
    exit_program(prefix, program)


def test_a_dropped_archive_installs_its_theme_and_a_missing_library_is_told(prefix):
    install_archive_library(prefix, "7-zip32.dll")
    archive = harness.TEST_DIR + "\\dropped.7z"
    prefix.write_file(archive, "@dropped.ini\r\n[main]\r\nname=Dropped\r\n[21-NT]\r\nBUTTON1=From the archive\r\n"
                               "@pics\\note.txt\r\nA note.\r\n@setup.exe\r\nMZ\r\n")
    program = start(prefix)
    asked = prefix.wauto(MAIN, ["drop", archive], f"wait --class #32770 --title '{archive}' --timeout 30",
                         "text --id 65535", f"click --id {IDYES}")
    assert asked.texts == ["Are you sure you want to expand this file in the current folder?"]
    wait_for_setting(prefix, "inifile", "dropped.ini")
    prefix.wauto(MAIN, ["expect", "--id", str(ANSWER[1]), "--value", "From the archive", "--timeout", "20"])
    assert prefix.unix_path(harness.PRODUCT_DIR + "\\pics\\note.txt").exists()
    assert not prefix.unix_path(harness.PRODUCT_DIR + "\\setup.exe").exists(), "no program from an archive"

    lzh = harness.TEST_DIR + "\\other.lzh"
    prefix.write_file(lzh, "@other.ini\r\n")
    prefix.wauto(MAIN, ["drop", lzh], f"wait --class #32770 --title '{lzh}' --timeout 30", f"click --id {IDYES}")
    missing = prefix.wauto(BOX, "text --id 65535", "click --text OK")
    assert missing.texts == ["Unlha32.dll was not found."]
    assert settings(prefix)["inifile"] == "dropped.ini"
    exit_program(prefix, program)


# ---- Start! -------------------------------------------------------------------------------------

def test_start_plans_the_run(prefix):
    prefix.install_standins(["DEFRAG", "CHKDSK"])
    prefix.import_values({"HKCU\\Software\\Wine": {"Version": "win7"}})
    session = Session(prefix, env=ENGLISH)
    program = start(prefix, {"ba_afterwait": 0}, session=session)
    answer(prefix, 1, "All Hard Disk Drives (Recommend)", ("Selected", 0))
    choose_drive_c(prefix)
    walk(prefix, [(2, None, ("DelTrash", 0)), (2, None, ("DelTemp", 0)), (2, "Before booting shell", ("Del_ITF", 0))]
         + RECOMMENDED_END)
    prefix.wauto(MAIN, f"click --id {ANSWER[1]}")

    planned = session.run(first=program, boots=0, timeout=120)
    assert planned.kinds == ["reboot"], planned
    entries = list(session.command_list().values())
    assert any("DEFRAG.EXE C: " in entry for entry in entries), entries
    assert entries[-1] == "$End ExitWindows"
