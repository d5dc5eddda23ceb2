"""The test bed itself: wauto drives real windows of a stand-in program, fails with the right exit
code and message, and the harness keeps every wait bounded."""
import os
import re
import time

import pytest

import harness

DEMO = 'wait --title "Demo dialog"'


@pytest.fixture
def demo(prefix):
    """The demonstration dialog, shown and ready."""
    prefix.install_test_program("demodlg.exe")
    program = prefix.start("demodlg.exe", "dialog")
    prefix.wauto(DEMO)
    return program


def test_lists_the_controls_of_a_dialog(prefix, demo):
    found = prefix.wauto(DEMO, "list")
    assert [w[1:4] for w in found.windows] == [("#32770", "Demo dialog", True)]
    assert found.windows[0][5].lower() == "demodlg.exe"
    controls = {(id_, cls): (text, visible, enabled) for _, id_, cls, text, visible, enabled in found.controls}
    assert controls[(101, "Edit")] == ("", True, True)
    assert controls[(102, "Button")] == ("A&gree", True, True)
    assert controls[(106, "Button")] == ("Locked", True, False), "a disabled button is listed as disabled"
    assert (103, "ComboBox") in controls and (1, "Button") in controls and (2, "Button") in controls


def test_changes_reach_the_program_as_a_user_would_make_them(prefix, demo):
    found = prefix.wauto(DEMO, "settext --id 101 Ada", "check --text Agree", "expect --id 108 --value 'agree clicked'",
                         "select --id 103 --item Blue", "expect --id 108 --value 'colour Blue'",
                         "click --text Apply", "expect --id 107 --has name=", "items --id 103")
    assert found.texts == ["agree clicked", "colour Blue", "name=Ada agree=1 colour=Blue"]
    assert found.of_kind("item") == [["0", "Red", "-"], ["1", "Green", "-"], ["2", "Blue", "selected"]]
    # A three-state box goes through each state; uncheck clears it.
    states = prefix.wauto(DEMO, "check --id 102 --state 2", "checked --id 102", "select --id 103 --item-index 0",
                          "uncheck --id 102", "checked --id 102", "click --id 104 --command", "expect --id 107 --has =")
    assert states.of_kind("check") == [["2"], ["0"]]
    assert states.texts[-1] == "name=Ada agree=0 colour=Red"
    # Tabs and backslashes travel escaped in wauto's records.
    odd = prefix.wauto(DEMO, ["settext", "--id", "101", "C:\\tab\there"], "text --id 101")
    assert odd.texts == ["C:\\tab\there"]
    prefix.wauto(DEMO, "click --text OK", "closed")
    assert demo.wait(10) == 1, "OK ends the dialog with IDOK"


def test_keys_type_text_and_reach_mnemonics_and_default_buttons(prefix, demo):
    # Posted keys arrive in their own time: expect waits for the text they make.
    typed = prefix.wauto(DEMO, "keys --id 101 'a{{b}'", "expect --id 101 --value 'a{b}'", "keys {Alt+A}",
                         "expect --id 107 --has name=")
    assert typed.texts == ["a{b}", "name=a{b} agree=0 colour=none"]
    real = prefix.wauto(DEMO, "keys --input {Alt+n}{End}-x", "expect --id 101 --value a{b}-x", "keys --input {Alt+g}",
                        "checked --id 102")
    assert real.of_kind("check") == [["1"]], "Alt+G through real input clicks the check box"
    prefix.wauto(DEMO, "keys {Esc}", "closed")
    assert demo.wait(10) == 2, "Esc ends the dialog with IDCANCEL"


def test_a_click_that_opens_a_modal_box_returns_at_once(prefix, demo):
    started = time.monotonic()
    prefix.wauto(DEMO, "click --text Ask", "wait --title Question", "click --text Yes", "closed", DEMO,
                 "expect --id 108 --value 'answer yes'")
    assert time.monotonic() - started < 15


def test_list_views_are_read_and_ticked_in_another_program(prefix, demo):
    rows = prefix.wauto(DEMO, "lvitems --id 110").of_kind("lvitem")
    assert rows == [["0", "0", "-", "Alpha", "1"], ["1", "1", "-", "Beta", "2"], ["2", "0", "-", "Gamma", "3"]]
    # The list tells its owner, as a click on a box would; the state is waited for.
    ticked = prefix.wauto(DEMO, "lvcheck --id 110 --item Gamma", "expect --id 108 --value 'checked Gamma 1'",
                          "lvcheck --id 110 --item-index 1 --state 0", "expect --id 108 --value 'checked Beta 0'",
                          "lvitems --id 110")
    assert [row[1] for row in ticked.of_kind("lvitem")] == ["0", "0", "1"]
    # Keys select like the keyboard, in their own time.
    prefix.wauto(DEMO, "keys --id 110 {End}")
    harness.wait_until(lambda: prefix.wauto(DEMO, "lvitems --id 110").of_kind("lvitem")[2][2] == "selected", 10,
                       "Gamma to be selected")


def test_right_click_menus_are_asked_for_and_chosen_from(prefix, demo):
    # The list's menu reports its choice with WM_COMMAND; Agree's returns it (TPM_RETURNCMD), as the
    # once boxes of the option pages do. A label's mnemonic chooses its item.
    listed = prefix.wauto(DEMO, "context --id 110", "popup --item 'Select &all'",
                          "expect --id 108 --value 'list menu all'", "text --id 111")
    assert re.fullmatch(r"context 110 at -?\d+,-?\d+", listed.texts[-1]), listed.texts
    assert len(listed.of_kind("popup")) == 1
    keyboard = prefix.wauto(DEMO, "context --id 102 --keyboard", "popup --item-index 1",
                            "expect --id 108 --value 'agree menu paste'", "text --id 111")
    assert keyboard.texts[-1] == "context 102 keyboard"
    # Separators are not counted; --close and a mnemonic no item has both leave nothing chosen.
    prefix.wauto(DEMO, "context --id 102", "popup --item-index 2", "expect --id 108 --value 'agree menu all'",
                 "context --id 102", "popup --close", "expect --id 108 --value 'agree menu none'",
                 "context --id 110", "popup --item &Copy", "expect --id 108 --value 'list menu copy'")
    missing = prefix.wauto(DEMO, "context --id 102", "popup --item &Zebra --timeout 1", check=False)
    assert missing.returncode == harness.WAUTO_TIMEOUT, missing.stderr
    assert "no item with the mnemonic of \"&Zebra\" (closed it with Esc)" in missing.stderr
    prefix.wauto(DEMO, "expect --id 108 --value 'agree menu none'", "click --text OK", "closed")
    assert demo.wait(10) == 1, "no menu is left open"


def test_posted_messages_reach_the_window_or_a_control(prefix, demo):
    posted = prefix.wauto(DEMO, "post --message 0x8001 --wparam 5 --lparam -1",
                          "expect --id 108 --value 'posted 5 -1'", "settext --id 101 Ada",
                          "post --id 104 --message 0x00F5", "expect --id 107 --has name=")
    assert posted.texts == ["posted 5 -1", "name=Ada agree=0 colour=none"], "BM_CLICK posted to Apply"


def test_steps_wait_for_a_state_that_comes_later(prefix, demo):
    """Later changes the dialog 0.7 s after its click: Locked enabled, Agree checked, the focus on
    Colour, the dialog moved. A step reads at once; with --state, --id or --expect it waits."""
    before = prefix.wauto(DEMO, "enabled --id 106", "checked --id 102", "focus", "rect")
    after = prefix.wauto(DEMO, "click --text Later", "enabled --id 106 --state 1", "checked --id 102 --state 1",
                         "focus --id 103", 'rect --expect "40 30 360 270 visible"', 'rect --expect "40 *"')
    assert (before.of_kind("enabled"), before.of_kind("check")) == ([["0"]], [["0"]])
    assert before.of_kind("focus")[0][1] != "103" and before.of_kind("rect")[0][:2] != ["40", "30"], before.records
    assert (after.of_kind("enabled"), after.of_kind("check")) == ([["1"]], [["1"]])
    assert after.of_kind("focus")[0][1:3] == ["103", "ComboBox"]
    assert after.of_kind("rect") == [["40", "30", "360", "270", "visible"]] * 2, "fields left out match anything"


@pytest.mark.parametrize("env, title, body, button, code", [
    ({}, "Warning", "Disk C: is busy", "Cancel", 2),
    # Shown through MessageBoxA in code page 932; wauto must give back the same characters in UTF-8.
    (harness.JAPANESE, "タイドウェル", "設定を読み込めません。\r\nレジストリを確認してください。", "OK", 1),
], ids=["english", "japanese"])
def test_reads_and_answers_message_boxes(prefix, env, title, body, button, code):
    prefix.install_test_program("demodlg.exe")
    args = ["japanese"] if env else ["msgbox", title, body]
    box = prefix.start("demodlg.exe", *args, env=env)
    found = prefix.wauto(["wait", "--class", "#32770", "--title", title], "list", "text")
    assert found.texts == [title]
    assert body in [text for _, _, cls, text, _, _ in found.controls if cls == "Static"]
    prefix.wauto(["wait", "--class", "#32770", "--title", title], ["click", "--text", button], "closed")
    assert box.wait(10) == code


def test_waits_end_with_a_time_out_within_their_limit(prefix, demo):
    cases = [
        ('wait --title "Never shown" --timeout 1', "no window with title \"Never shown\" within 1 s"),
        (DEMO + " ; closed --timeout 1", "is still open after 1 s"),
        (DEMO + " ; expect --id 107 --value done --timeout 1", "expected \"done\""),
        ('closed --title "Demo dialog" --timeout 0.5', "still open after 0.5 s"),
        (DEMO + " ; enabled --id 106 --state 1 --timeout 1", "has enabled state 0 after 1 s, wanted 1"),
        (DEMO + " ; checked --id 102 --state 2 --timeout 1", "has check state 0 after 1 s, wanted 2"),
        (DEMO + " ; focus --id 104 --timeout 1", "after 1 s, wanted id 104"),
        (DEMO + ' ; rect --expect "* * * * hidden" --timeout 1', 'visible" after 1 s, expected "* * * * hidden"'),
        (DEMO + " ; popup --timeout 1", "no popup menu opened within 1 s"),
    ]
    for steps, message in cases:
        started = time.monotonic()
        result = prefix.wauto(steps, check=False)
        took = time.monotonic() - started
        assert result.returncode == harness.WAUTO_TIMEOUT, f"{steps}: {result.stderr}"
        assert message in result.stderr and "\n" not in result.stderr, steps
        assert took < 6, f"{steps} took {took:.1f} s"
    with pytest.raises(harness.TimedOut, match="Never shown"):
        prefix.wauto('wait --title "Never shown" --timeout 0.2')


def test_failures_have_their_own_exit_codes(prefix, demo):
    cases = [
        ([], harness.WAUTO_USAGE, "no steps"),
        (["bogus"], harness.WAUTO_USAGE, 'unknown step "bogus"'),
        (["wait"], harness.WAUTO_USAGE, "window filter"),
        (["wait", "--title"], harness.WAUTO_USAGE, "--title needs a value"),
        (["wait", "--title", "x", "--timeout", "soon"], harness.WAUTO_USAGE, "--timeout wants seconds"),
        (["list", ";"], harness.WAUTO_USAGE, 'no step after the last ";"'),
        ([";", "list"], harness.WAUTO_USAGE, 'empty step before ";"'),
        (["click"], harness.WAUTO_USAGE, "needs --id"),
        (["click", "--id", "1", "--colour", "red"], harness.WAUTO_USAGE, "--colour is not an option of click"),
        (["settext", "--id", "101"], harness.WAUTO_USAGE, "plain arguments"),
        (["keys", "{Nope}"], harness.WAUTO_USAGE, "unknown key {Nope}"),
        (["keys", "{Enter"], harness.WAUTO_USAGE, "no }"),
        (["keys", "{Ctrl+A}"], harness.WAUTO_USAGE, "need --input"),
        (["enabled", "--state", "1"], harness.WAUTO_USAGE, "needs --id"),
        (["focus", "--id", "Name"], harness.WAUTO_USAGE, "--id wants a number"),
        (["rect", "--expect", "1 2 3 4 visible 6"], harness.WAUTO_USAGE, "rect --expect wants up to five fields"),
        (["rect", "--expect", "left"], harness.WAUTO_USAGE, "rect --expect wants"),
        (["rect", "--expect", "1 2 3 4 shown"], harness.WAUTO_USAGE, "rect --expect wants"),
        (["list"], harness.WAUTO_NO_WINDOW, "no current window"),
        (["wait", "--title", "Demo dialog", ";", "click", "--id", "999", "--timeout", "0"], harness.WAUTO_NO_CONTROL,
         "no control with id 999"),
        (["wait", "--title", "Demo dialog", ";", "click", "--text", "Locked"], harness.WAUTO_FAILED, "disabled"),
        (["wait", "--title", "Demo dialog", ";", "select", "--id", "103", "--item", "Pink"], harness.WAUTO_FAILED,
         'no entry "Pink"'),
        (["wait", "--title", "Demo dialog", ";", "select", "--id", "101", "--item-index", "0"], harness.WAUTO_FAILED,
         "not a list"),
        (["lvcheck", "--id", "110"], harness.WAUTO_USAGE, "lvcheck needs --item or --item-index"),
        (["lvcheck", "--id", "110", "--item-index", "0", "--state", "2"], harness.WAUTO_USAGE, "--state wants 0 or 1"),
        (["popup", "--item", "Copy"], harness.WAUTO_USAGE, "& mnemonic"),
        (["popup", "--item", "&Copy", "--close"], harness.WAUTO_USAGE, "one of --item, --item-index and --close"),
        (["post", "--wparam", "1"], harness.WAUTO_USAGE, "post needs --message"),
        (["post", "--message", "0x10000"], harness.WAUTO_USAGE, "from 0 to 0xFFFF"),
        (["context", "--keyboard", "--item", "x"], harness.WAUTO_USAGE, "--item is not an option of context"),
        (["wait", "--title", "Demo dialog", ";", "lvitems", "--id", "101"], harness.WAUTO_FAILED, "not a list view"),
        (["wait", "--title", "Demo dialog", ";", "lvcheck", "--id", "110", "--item", "Delta"], harness.WAUTO_FAILED,
         'no item "Delta"'),
    ]
    for steps, code, message in cases:
        result = prefix.wauto(steps, check=False)
        assert (result.returncode, result.stderr.startswith("wauto: ")) == (code, True), f"{steps}: {result.stderr}"
        assert message in result.stderr, f"{steps}: {result.stderr}"
    # The journal tells how far a call came: a usage error before any step, a failure in its step.
    for steps, journal in [(["list", "--bogus"], ["started", "exit 2"]),
                           ([DEMO, "click --text Locked"], ["started", "step 1", "step 2", "exit 1"])]:
        assert prefix._run_wauto(harness._wauto_arguments(steps), None)[1] == journal, steps


def test_a_program_that_never_ends_is_killed_at_its_time_out(prefix):
    prefix.install_test_program("demodlg.exe")
    started = time.monotonic()
    with pytest.raises(harness.TimedOut, match="demodlg.exe did not end within 2 s") as failure:
        prefix.run("demodlg.exe", "dialog", timeout=2)
    assert time.monotonic() - started < 10
    assert prefix.wauto('closed --title "Demo dialog" --timeout 5').returncode == 0, "the killed dialog is gone"
    shot = re.search(r"screenshot: (.*)\)", str(failure.value)).group(1)
    assert shot.endswith("still-running.png") and os.path.getsize(shot) > 0, "a screenshot shows the screen"


def test_registry_values_round_trip_through_reg(prefix):
    key = r"HKLM\Software\Halvornix\Korvane\CurrentVersion"
    values = {"How": 4, "Drives": 0xFFFFFFFF, "LastCmdLine": 'CMD.EXE /C "a  b"', "Title": "タイドウェル",
              "Empty": "", "Order": ["one", "two words"], "Blob": b"\x00\xff\x10", "": "default"}
    for name, value in values.items():
        prefix.reg_add(key, name, value)
    assert prefix.reg_values(key) == values
    assert prefix.reg_query(key, "Title") == "タイドウェル"
    assert prefix.reg_delete(key, "How") and prefix.reg_query(key, "How") is None
    assert prefix.reg_delete(key) and prefix.reg_values(key) is None
    assert not prefix.reg_delete(key, "How"), "deleting what is not there reports it"
