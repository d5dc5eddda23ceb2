"""About as a user meets it: from the mode selection's button, the normal mode's Help menu and F10;
its version line and notice; a click on a link opening the stand-in browser registered for http in
the prefix (which records how it was called); the buttons to the environment report and History.
Screenshots in both languages are kept as artefacts."""
import harness
from configurator import JAPANESE, MAIN, exit_program, start

ABOUT = "wait --class #32770 --title About --timeout 30"
WM_LBUTTONDOWN, WM_LBUTTONUP = 0x201, 0x202


def install_browser(prefix):
    """The stand-in tool as the prefix's web browser: http and https links start it."""
    browser = prefix.install(harness.test_bin_dir() / "standin.exe", harness.STANDINS_DIR, "BROWSER.EXE")
    prefix.import_values({f"HKCR\\{scheme}\\shell\\open\\command": {"": f'"{browser}" "%1"'}
                          for scheme in ("http", "https")})


def click_address_line(prefix, line):
    """A left click on the line of the address field (0 is the first), a little right of its indent."""
    where = (line * 13 + 6) * 0x10000 + 40
    prefix.wauto(ABOUT, f"post --message {WM_LBUTTONDOWN} --wparam 1 --lparam {where} --id 1210",
                 f"post --message {WM_LBUTTONUP} --wparam 0 --lparam {where} --id 1210")


def test_about_shows_the_build_opens_its_links_and_leads_on(prefix):
    install_browser(prefix)
    program = start(prefix)
    shown = prefix.wauto(MAIN, "click --id 106", ABOUT, "text --id 1017", "text --id 1075", "text --id 1008",
                         "text --id 1210")
    version, legal, notice, addresses = shown.texts
    assert version.startswith("Tidewell version 1.00.00 [x64]("), version
    assert legal == "Copyright (C) 2026 Halvornix"
    assert notice.startswith("This software helps the defragmenter/chkdsk on Windows XP/Vista/7/8 and other "
                             "applications.\r\nThis software dose not have an original engine of defragmentation.")
    lines = addresses.split("\r\n")
    assert lines[0] == "[WebPage]" and lines[2] == "[Contact]", addresses
    web_site = lines[1].strip()
    harness.screenshot("about-en")

    # The web site's line: the browser gets the address, and the System folder as its own.
    click_address_line(prefix, 1)
    harness.wait_until(lambda: prefix.journal("BROWSER"), 30, "the stand-in browser")
    called = prefix.journal("BROWSER")[0]
    assert called.command_line.endswith(f'"{web_site}"'), called
    assert called.folder.lower().rstrip("\\") == harness.SYSTEM_DIR.lower(), called

    prefix.wauto(ABOUT, "click --id 1074", "wait --class #32770 --title-has SYSQ32 --timeout 60", "click --id 2",
                 "closed --timeout 30")
    prefix.wauto(ABOUT, "click --id 1082", "wait --class #32770 --title History --timeout 30", "click --id 2",
                 "closed --timeout 30")
    prefix.wauto(ABOUT, "click --id 2", "closed --timeout 30")

    # The normal mode: F10 and the Help menu's item.
    prefix.wauto(MAIN, "click --id 102", "expect --id 1167 --has Start", "keys {F10}", ABOUT, "click --id 2",
                 "closed --timeout 30")
    prefix.wauto(MAIN, "menu 106", ABOUT, "click --id 2", "closed --timeout 30")
    exit_program(prefix, program)


def test_japanese_about(prefix):
    program = start(prefix, env=JAPANESE)
    shown = prefix.wauto(MAIN, "click --id 106", "wait --class #32770 --title バージョン情報 --timeout 30",
                         "text --id 1017", "list")
    assert shown.texts[0].startswith("タイドウェル バージョン 1.00.00"), shown.texts
    buttons = {control[1]: control for control in shown.controls}
    assert buttons[1215][4] and buttons[1216][4], "the support and feedback pages have their buttons"
    harness.screenshot("about-ja")
    prefix.wauto("wait --class #32770 --title バージョン情報", "click --id 2", "closed --timeout 30")
    exit_program(prefix, program)
