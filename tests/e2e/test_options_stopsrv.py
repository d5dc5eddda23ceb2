"""Stop Services, opened from the main options page with "Select St&opping Services..." (1154): the
list of automatic services that are no drivers, the stored choice ticked by whole names, the
right-click menu, and OK writing stopsrv with the names the list does not show kept. Screenshots
of the dialog in English and Japanese are kept as artefacts.

The main options page comes with its own change; where it has no button 1154 yet, the test skips."""
import pytest

import harness
from configurator import ENGLISH, JAPANESE, NORMAL_MODE, exit_program, start
from session import SETTINGS_KEY

MAIN_PAGE_COMMAND, STOP_BUTTON, LIST = 1083, 1154, 1155
SERVICES = "HKLM\\SYSTEM\\CurrentControlSet\\Services"
MISSING_MODULE = "@%SystemRoot%\\system32\\tw-no-such-module.dll,-5"
# One of each kind; TwStopAuto is the beginning of TwStopAutoPlus's name.
TEST_SERVICES = {
    "TwStopAuto": {"Start": 2, "Type": 0x10, "DisplayName": "Tidewell automatic service",
                   "Description": "Starts with Windows."},
    "TwStopAutoPlus": {"Start": 2, "Type": 0x20, "DisplayName": MISSING_MODULE},
    "TwStopDisabled": {"Start": 4, "Type": 0x10, "DisplayName": "Tidewell disabled service"},
    "TwStopDriver": {"Start": 2, "Type": 0x1, "DisplayName": "Tidewell driver"},
}
TITLES = {"en": ("Options", "Stop Services"), "ja": ("オプション", "サービスの停止")}


def sheet_step(language):
    return ["wait", "--class", "#32770", "--title", TITLES[language][0], "--timeout", "30"]


def dialog_step(language):
    return ["wait", "--class", "#32770", "--title", TITLES[language][1], "--timeout", "30"]


def open_stop_services(prefix, env, language, stored):
    """korvane in normal mode with stopsrv as given, the main options page, then Stop Services."""
    program = start(prefix, {"stopsrv": stored}, env, mode=NORMAL_MODE, ready=[f"click --id {MAIN_PAGE_COMMAND}"])
    page = prefix.wauto(sheet_step(language), "list")
    if STOP_BUTTON not in [control[1] for control in page.controls]:
        pytest.skip("the main options page has no Select Stopping Services button (1154) yet")
    # The test services, where the dialog looks for them when it opens.
    prefix.import_values({f"{SERVICES}\\{name}": values for name, values in TEST_SERVICES.items()})
    prefix.wauto(sheet_step(language), f"click --id {STOP_BUTTON}", dialog_step(language))
    return program


def service_rows(prefix, language):
    """(index, check, selected, item, information, service name) of the test's services."""
    rows = prefix.wauto(dialog_step(language), f"lvitems --id {LIST}").of_kind("lvitem")
    return [tuple(row) for row in rows if row[5].startswith("TwStop")]


def select_row(prefix, index):
    """Home and Down select like the keyboard; the selection follows the posted keys in its time."""
    prefix.wauto(dialog_step("en"), f"keys --id {LIST} {{Home}}" + "{Down}" * index)
    harness.wait_until(lambda: any(row[0] == str(index) and row[2] == "selected"
                                   for row in prefix.wauto(dialog_step("en"), f"lvitems --id {LIST}").of_kind("lvitem")),
                       20, f"list item {index} to be selected")


def wait_for_checks(prefix, checks, what):
    harness.wait_until(lambda: [row[1] for row in service_rows(prefix, "en")] == checks, 20, what)


def test_the_list_the_menu_and_ok_write_stopsrv(prefix):
    program = open_stop_services(prefix, ENGLISH, "en", "twstopautoplus\x07TwStopDisabled\x07")
    rows = service_rows(prefix, "en")
    auto, plus = rows
    assert auto[1:] == ("0", "-", "Tidewell automatic service", "Starts with Windows.", "TwStopAuto"), \
        "a shorter name is not ticked by a longer one"
    assert plus[1:] == ("1", "-", MISSING_MODULE, "", "TwStopAutoPlus"), \
        "ticked in other letter case; an indirect name that cannot be read is shown as stored"
    harness.screenshot("stop-services-en")

    # Tern off All clears every box; ON/OFF ticks the selected service again.
    # The chosen command reaches the dialog after the menu has closed: the boxes are waited for.
    prefix.wauto(dialog_step("en"), f"context --id {LIST}", "popup --item 'Tern off &All'")
    wait_for_checks(prefix, ["0", "0"], "Tern off All to clear the boxes")
    select_row(prefix, int(auto[0]))
    prefix.wauto(dialog_step("en"), f"context --id {LIST}", "popup --item '&ON/OFF'")
    wait_for_checks(prefix, ["1", "0"], "ON/OFF to tick the selected service")

    prefix.wauto(dialog_step("en"), "click --id 1", "closed")
    # The disabled service, still chosen, stays after the ticked one; the sheet's Cancel keeps it all.
    assert prefix.reg_query(SETTINGS_KEY, "stopsrv") == "TwStopAuto\x07TwStopDisabled\x07"
    prefix.wauto(sheet_step("en"), "click --id 2", "closed")
    assert prefix.reg_query(SETTINGS_KEY, "stopsrv") == "TwStopAuto\x07TwStopDisabled\x07"
    exit_program(prefix, program)


def test_japanese_dialog_and_cancel(prefix):
    program = open_stop_services(prefix, JAPANESE, "ja", "TwStopAuto\x07")
    assert [row[1] for row in service_rows(prefix, "ja")] == ["1", "0"]
    harness.screenshot("stop-services-ja")
    prefix.wauto(dialog_step("ja"), f"lvcheck --id {LIST} --item 'Tidewell automatic service' --state 0",
                 "click --id 2", "closed")
    assert prefix.reg_query(SETTINGS_KEY, "stopsrv") == "TwStopAuto\x07", "Cancel writes nothing"
    prefix.wauto(sheet_step("ja"), "click --id 2", "closed")
    exit_program(prefix, program)
