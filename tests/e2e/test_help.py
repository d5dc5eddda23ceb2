"""The help file as the user opens it: the Help button of the normal mode opens its topic from
KORVANE.CHM beside the programs in Wine's HTML Help viewer.

Wine draws help pages with its Gecko engine, which the test prefixes do not have (there is no network
to fetch it, and its installer would ask), so the page itself is never drawn and the viewer's caption
is the file's title, not the page's. The topic is seen instead where Wine shows it: the viewer's
trace names the address it navigated to, and the help storage that address is read from gives the
page with its title. A screenshot of the viewer is kept as an artefact."""
import re

import harness
from test_normal_mode import ENGLISH, IDLE_STATUS, MAIN, exit_program, start

HELP_FILE = harness.PRODUCT_DIR + "\\KORVANE.CHM"
NORMAL_HELP = 1168
TOPIC, TOPIC_TITLE = "/_RESOURCE/HLP000015.html", "通常モード (Normal mode)"
# The viewer's caption: the title in the help project's options.
FILE_TITLE = "Tidewell"
VIEWER = "wait --class 'HH Parent' --exe KORVANE.EXE --timeout 60"
WM_CLOSE = 0x10
# Wine's trace of the HTML Help viewer, which runs inside the program that asked for help.
HELP_TRACE = {**ENGLISH, "WINEDEBUG": "-all,+htmlhelp"}


def navigated_to(trace):
    """The addresses the viewer navigated to, as its trace writes them (backslashes doubled)."""
    return [address.replace("\\\\", "\\") for address in re.findall(r'navigate_url L"([^"]*)"', trace)]


def page_title(prefix, page):
    """The <title> of a page of the help file, read through Wine's help storage."""
    prefix.install_test_program("chmpage.exe")
    result = prefix.run("chmpage.exe", HELP_FILE, page, encoding="cp932", timeout=60)
    assert result.returncode == 0, f"the help storage could not read {page}: {result.stderr.strip()}"
    match = re.search(r"<title>(.*?)</title>", result.stdout, re.IGNORECASE | re.DOTALL)
    return match.group(1).strip() if match else None


def test_help_button_opens_its_topic_in_the_viewer(prefix):
    assert prefix.unix_path(HELP_FILE).is_file(), "the help file lies beside the programs"
    program = start(prefix, {"mode": 1}, env=HELP_TRACE)
    viewer = prefix.wauto(MAIN, f"expect --id 1167 --value '{IDLE_STATUS}'", f"click --id {NORMAL_HELP}",
                          VIEWER, "text")
    harness.screenshot("help-normal-mode")
    assert viewer.texts[-1] == FILE_TITLE, "the viewer's caption is the help file's title"

    address = f"mk:@MSITStore:{HELP_FILE}::{TOPIC}"
    harness.wait_until(lambda: address in navigated_to(program.stderr), 30, f"the viewer to navigate to {TOPIC}")
    assert page_title(prefix, TOPIC) == TOPIC_TITLE

    prefix.wauto(VIEWER, f"post --message {WM_CLOSE}", "closed --timeout 30")
    exit_program(prefix, program)
