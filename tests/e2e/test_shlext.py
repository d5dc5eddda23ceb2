"""Explorer's context menu and the Rinsa shortcut as a user meets them: Shell Extensions writes and
removes the verb keys, Explorer's command hands a file to korvane, the shortcut dialog makes real
shortcut files (read back through IShellLinkA by lnkread), and the test prefix keeps what a test
puts on its desktop to itself. Screenshots of both dialogs in both languages are kept as artefacts."""
import os
from functools import partial
from pathlib import Path

import configurator
import harness
from configurator import JAPANESE, KORVANE, MAIN, NORMAL_MODE, exit_program
from session import SETTINGS_KEY

EXTENSIONS = "wait --title 'Shell Extensions' --timeout 30"
SHORTCUT = "wait --title 'Create a shortcut file for rinsa' --timeout 30"
EXTENSIONS_JA = "wait --title 'シェル拡張' --timeout 30"
SHORTCUT_JA = "wait --title 'Rinsa のショートカット ファイルの作成' --timeout 30"
BOX = "wait --class #32770 --title Tidewell --timeout 30"
BOX_JA = "wait --class #32770 --title タイドウェル --timeout 30"
EXE_VERB, ALL_VERB = "HKCR\\exefile\\shell\\korvane", "HKCR\\*\\shell\\korvane"
COMMAND = '"C:\\Program Files\\Tidewell\\KORVANE.EXE" /E"%1"'
SHELL_EXTENSIONS = 1081
EXE_BOX, ALL_BOX, ITEM_NAME, SHORTCUT_BUTTON = 1057, 1061, 1180, 1065
NAME, COMMAND_LINE = 1003, 1005
KINDS = {"only": (1127, ""), "defrag": (1124, "/A0"), "check": (1125, "/A1"), "both": (1126, "/A2"),
         "last": (1122, "/A")}
OTHER = 1123
CREATED = "The shortcut of Rinsa on Desktop was created."


start = partial(configurator.start, mode=NORMAL_MODE)


def checks(result):
    return [record[0] for record in result.of_kind("check")]


def desktop(prefix):
    """The prefix's desktop folder as Linux sees it: the one user folder that is not Public."""
    users = [p for p in prefix.unix_path("C:\\users").iterdir() if p.name != "Public"]
    assert len(users) == 1, users
    return users[0] / "Desktop"


def read_link(prefix, name):
    """{field: value} of a shortcut on the desktop, as IShellLinkA reads it."""
    user = desktop(prefix).parent.name
    result = prefix.run(harness.TEST_DIR + "\\lnkread.exe", f"C:\\users\\{user}\\Desktop\\{name}.lnk")
    assert result.returncode == 0, f"{name}.lnk is no shortcut: {result.stderr}"
    return dict(line.split("\t", 1) for line in result.stdout.splitlines() if "\t" in line)


def stored_show_command(prefix, name):
    """ShowCommand of a shortcut's header (after its size, class id, flags, attributes, three times,
    file size and icon index)."""
    data = (desktop(prefix) / f"{name}.lnk").read_bytes()
    return int.from_bytes(data[0x3C:0x40], "little")


def answer_box(prefix, button="OK", box=BOX):
    """The text of the message box that comes up, answered with the button given."""
    return prefix.wauto(box, "text --id 65535", f"click --text {button}", "closed --timeout 30").texts[0]


def host_places():
    """Where a leak out of a prefix would land: the host user's home, desktop and menu entries."""
    home = Path(os.path.expanduser("~"))
    return [home, home / "Desktop", home / ".local" / "share" / "applications"]


def host_files_named(stem):
    """Files of the host whose names hold stem: in the home folder itself, and anywhere below its
    desktop and menu entries."""
    home, *below = host_places()
    found = [p for p in home.iterdir() if stem in p.name]
    for place in below:
        if place.is_dir():
            found += list(place.rglob(f"*{stem}*"))
    return found


# ---- Test prefix ----------------------------------------------------------------------------------

def test_the_prefix_keeps_its_desktop_and_menus_to_itself(prefix):
    # No link of the prefix's drive leads out of it: the shell folders are folders of its own.
    drive, own = prefix.path / "drive_c", Path(os.path.realpath(prefix.path))
    leaving = [str(p) for p in drive.rglob("*") if p.is_symlink() and not Path(os.path.realpath(p)).is_relative_to(own)]
    assert leaving == [], "links out of the prefix"
    assert desktop(prefix).is_dir() and not desktop(prefix).is_symlink()
    assert prefix.reg_query("HKCU\\Software\\Wine\\DllOverrides", "winemenubuilder.exe") == ""
    # Wine's own start of winemenubuilder is refused; an enabled one would print its usage and end with 0.
    started = prefix.run("winemenubuilder.exe", "-h", timeout=60)
    assert started.returncode != 0, started


# ---- Shell Extensions -----------------------------------------------------------------------------

def test_verbs_are_written_removed_and_hand_the_clicked_file_to_korvane(prefix):
    program = start(prefix, settings={"PutTopButtons": 1})
    prefix.wauto(MAIN, f"click --id {SHELL_EXTENSIONS}")
    shown = prefix.wauto(EXTENSIONS, f"checked --id {EXE_BOX}", f"checked --id {ALL_BOX}",
                         f"text --id {ITEM_NAME}", f"enabled --id {ITEM_NAME}")
    assert checks(shown) == ["0", "0"] and shown.texts == ["Rinsa"]
    assert [r[0] for r in shown.of_kind("enabled")] == ["0"], "no box checked, no name"
    prefix.wauto(EXTENSIONS, f"check --id {EXE_BOX}", f"enabled --id {ITEM_NAME} --state 1 --timeout 10",
                 f"check --id {ALL_BOX}", ["settext", "--id", ITEM_NAME, "Rinsa this file "])
    harness.screenshot("shell-extensions-en")
    prefix.wauto(EXTENSIONS, "click --id 1", "closed --timeout 30")
    for verb in (EXE_VERB, ALL_VERB):
        assert prefix.reg_query(verb) == "Rinsa this file ", verb
        assert prefix.reg_query(verb + "\\command") == COMMAND, verb

    # Opened again from the Tools menu: what is there, shown; both unchecked, all four keys gone.
    prefix.wauto(MAIN, f"menu {SHELL_EXTENSIONS}")
    again = prefix.wauto(EXTENSIONS, f"checked --id {EXE_BOX}", f"checked --id {ALL_BOX}", f"text --id {ITEM_NAME}")
    assert checks(again) == ["1", "1"] and again.texts == ["Rinsa this file "]
    prefix.wauto(EXTENSIONS, f"uncheck --id {EXE_BOX}", f"uncheck --id {ALL_BOX}", "click --id 1", "closed --timeout 30")
    for key in (EXE_VERB, EXE_VERB + "\\command", ALL_VERB, ALL_VERB + "\\command"):
        assert prefix.reg_values(key) is None, key
    exit_program(prefix, program)

    # What Explorer does with the verb: %1 becomes the clicked file, korvane opens ready to run it.
    clicked = harness.TEST_DIR + "\\my tool.exe"
    prefix.write_file(harness.TEST_DIR + "\\explorer.bat", COMMAND.replace("%1", clicked) + "\r\n")
    explorer = prefix.start("CMD.EXE", "/C", harness.TEST_DIR + "\\explorer.bat", cwd=harness.TEST_DIR)
    prefix.wauto(MAIN, f"expect --id 1033 --value '\"{clicked}\"'", "checked --id 1003 --state 1")
    stored = prefix.reg_values(SETTINGS_KEY)
    assert (stored["LastCmdLine"], stored["Selected"], stored["mode"]) == (f'"{clicked}"', 3, 1)
    prefix.wauto(MAIN, "click --id 104")
    assert explorer.wait(30) == 0


# ---- The shortcut ---------------------------------------------------------------------------------

def open_shortcut_dialog(prefix, extensions=EXTENSIONS, shortcut=SHORTCUT):
    prefix.wauto(MAIN, f"menu {SHELL_EXTENSIONS}")
    prefix.wauto(extensions, f"click --id {SHORTCUT_BUTTON}")
    prefix.wauto(shortcut)


def create(prefix, name, kind_id, command_line=None, shortcut=SHORTCUT):
    steps = [["settext", "--id", NAME, name], f"click --id {kind_id}", f"checked --id {kind_id} --state 1 --timeout 10"]
    if command_line is not None:
        steps.append(["settext", "--id", COMMAND_LINE, command_line])
    prefix.wauto(shortcut, *steps, "click --id 1")


def test_the_shortcut_dialog_makes_real_shortcuts_for_every_kind(prefix):
    prefix.install_test_program("lnkread.exe")
    program = start(prefix)
    open_shortcut_dialog(prefix)
    stem = f"Tidewell e2e {os.getpid()}"
    for kind, (button, arguments) in KINDS.items():
        create(prefix, f"{stem} {kind}", button)
        assert answer_box(prefix) == CREATED, kind
        preview = prefix.wauto(SHORTCUT, f"text --id {COMMAND_LINE}").texts[0]
        assert preview == f'( "{KORVANE}"{" " + arguments if arguments else ""} )', kind
    # Other programs: the field opens for typing, and Browse with it; "/S" and the line, no blank.
    prefix.wauto(SHORTCUT, f"click --id {OTHER}", f"expect --id {COMMAND_LINE} --value ''",
                 "enabled --id 1037 --state 1 --timeout 10")
    prefix.wauto(SHORTCUT, ["settext", "--id", NAME, f"{stem} other"],
                 ["settext", "--id", COMMAND_LINE, "CMD.EXE /C exit 0"])
    harness.screenshot("shortcut-en")
    prefix.wauto(SHORTCUT, "click --id 1")
    assert answer_box(prefix) == CREATED

    for kind, (_, arguments) in [*KINDS.items(), ("other", (OTHER, "/SCMD.EXE /C exit 0"))]:
        link = read_link(prefix, f"{stem} {kind}")
        # SW_SHOW is written; the shell reads any value but the file format's three as normal.
        assert (link["path"], link["arguments"], link["show"]) == (KORVANE, arguments, "1"), kind
        assert stored_show_command(prefix, f"{stem} {kind}") == 5, kind
        assert (link["folder"], link["description"], link["hotkey"]) == ("", "", "0"), kind

    # A forbidden character is refused; the same name again asks first: No keeps, Yes replaces.
    create(prefix, "a/b", KINDS["defrag"][0])
    assert answer_box(prefix).startswith("A shortcut name cannot contain any of the following characters:")
    create(prefix, f"{stem} defrag", KINDS["last"][0])
    assert "already on the desktop" in answer_box(prefix, "No")
    assert read_link(prefix, f"{stem} defrag")["arguments"] == "/A0"
    create(prefix, f"{stem} defrag", KINDS["last"][0])
    assert "already on the desktop" in answer_box(prefix, "Yes")
    assert answer_box(prefix) == CREATED
    assert read_link(prefix, f"{stem} defrag")["arguments"] == "/A"

    prefix.wauto(SHORTCUT, "click --id 2", "closed --timeout 30")
    prefix.wauto(EXTENSIONS, "click --id 2", "closed --timeout 30")
    exit_program(prefix, program)
    # Every shortcut is in the prefix's own desktop folder, and nothing of them reached the host.
    made = sorted(p.name for p in desktop(prefix).iterdir() if p.name.startswith(stem))
    assert made == sorted(f"{stem} {kind}.lnk" for kind in [*KINDS, "other"])
    assert host_files_named(stem) == []


def test_japanese_dialogs_and_a_japanese_shortcut_name(prefix):
    prefix.install_test_program("lnkread.exe")
    program = start(prefix, env=JAPANESE)
    prefix.wauto(MAIN, f"menu {SHELL_EXTENSIONS}")
    shown = prefix.wauto(EXTENSIONS_JA, f"text --id {ITEM_NAME}")
    assert shown.texts == ["Rinsa 実行"]
    harness.screenshot("shell-extensions-ja")
    prefix.wauto(EXTENSIONS_JA, f"click --id {SHORTCUT_BUTTON}")
    prefix.wauto(SHORTCUT_JA)
    harness.screenshot("shortcut-ja")
    # 表示 ends in the byte 0x5C in Shift-JIS, which is no backslash.
    create(prefix, "表示テスト", KINDS["defrag"][0], shortcut=SHORTCUT_JA)
    assert answer_box(prefix, box=BOX_JA) == "デスクトップに Rinsa のショートカットを作成しました。"
    assert read_link(prefix, "表示テスト")["arguments"] == "/A0"
    prefix.wauto(SHORTCUT_JA, "click --id 2", "closed --timeout 30")
    prefix.wauto(EXTENSIONS_JA, "click --id 2", "closed --timeout 30")
    exit_program(prefix, program)
