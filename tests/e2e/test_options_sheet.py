"""The Options sheet as a whole, opened from the normal mode: the page each command shows first,
Cancel writing nothing, pages never shown keeping their values after OK, and the three-state box of
a once flag with its right-click menu."""
import harness
from session import SETTINGS_KEY
from test_normal_mode import MAIN, settings, start

SHEET = "wait --class #32770 --title Options --timeout 30"
# The page each command opens first, by the page's own caption.
COMMAND_PAGES = [(1169, "Defragment"), (1084, "Defragment"), (1085, "Check disk Setting"), (1083, "Others"),
                 (1078, "How to Rinsa"), (1090, "Auto Logon"), (1101, "Before/After")]
# Values of every page, each different from what the page would write if it rewrote it.
EVERY_PAGE = {"Double": 2, "xp_resultout": 2, "CluScan": 2, "sd_edit_cust": "CHKDSK.EXE %s /f",
              "aux_vso.exe": 7, "CreateRestorePoint": 1, "mouselr": 5, "Del_All_Bak": 3, "How": 0,
              "notnetsafe": 1, "ba_sleep": 75, "ba_afterwait": 1, "ba_aftersleep": 61, "ba_before": 2}


def open_sheet(prefix, command):
    prefix.wauto(MAIN, f"click --id {command}", SHEET)


def shown_page(prefix):
    """The caption of the page the sheet shows: its visible child dialog."""
    pages = [c for c in prefix.wauto(SHEET, "list").controls if c[2] == "#32770" and c[4]]
    assert len(pages) == 1, pages
    return pages[0][3]


def close_sheet(prefix, button):
    prefix.wauto(SHEET, f"click --id {button}", "closed")


def test_each_command_opens_its_page(prefix):
    start(prefix, {"mode": 1, "PutTopButtons": 1})
    for command, page in COMMAND_PAGES:
        open_sheet(prefix, command)
        assert shown_page(prefix) == page, f"command {command}"
        close_sheet(prefix, 2)


def test_cancel_writes_nothing_and_ok_leaves_pages_never_shown_alone(prefix):
    start(prefix, {"mode": 1, **EVERY_PAGE})
    before = settings(prefix)
    for button in (2, 1):  # Cancel, then OK on the defragmenter page alone
        open_sheet(prefix, 1169)
        close_sheet(prefix, button)
        after = settings(prefix)
        changed = {name: (before.get(name), after.get(name)) for name in EVERY_PAGE
                   if before.get(name) != after.get(name)}
        assert not changed, f"after button {button}"


# PSM_SETCURSEL: the sheet turns to the page at wParam, as a click on its tab does.
TURN_TO_CLEAR_PAGE = "post --message 1125 --wparam 3"


def test_a_use_once_box_goes_off_on_a_click_and_the_menu_makes_it_use_once(prefix):
    start(prefix, {"mode": 1, "Del_All_Bak": 2, "Del_All_Gid": 0})
    open_sheet(prefix, 1169)
    # The clean-up page: *.bak (1197) is used once, *.gid (1196) off.
    prefix.wauto(SHEET, TURN_TO_CLEAR_PAGE, "checked --id 1197 --state 2")
    prefix.wauto(SHEET, "click --id 1197", "checked --id 1197 --state 0",
                 "context --id 1196", "popup --item '&Use Once'", "checked --id 1196 --state 2")
    harness.screenshot("options-clear-use-once-en")
    close_sheet(prefix, 1)
    stored = settings(prefix)
    assert (stored["Del_All_Bak"], stored["Del_All_Gid"]) == (0, 2)
