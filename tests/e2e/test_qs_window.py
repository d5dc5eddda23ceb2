"""The QS window as a user sees it during a run: the notification window shown and hidden, not
shown at all with alpha 0, and the black screen that covers the monitor, hides the cursor, lifts
to a corner square on a click and goes away at the end. (Whether the cursor is hidden can only be
seen from QS's own thread: the unit tests check it.)"""
import pytest

from session import QS, SETTINGS_KEY, Session

QS_WINDOW = "wait --class WarnDlg --timeout 30"


@pytest.fixture
def session(prefix):
    return Session(prefix)


def rect(found):
    left, top, right, bottom, visible = found.of_kind("rect")[-1]
    return int(left), int(top), int(right) - int(left), int(bottom) - int(top), visible


def covering(prefix, timeout=15):
    """The black screen's window once it covers the screen (it is shown by another thread)."""
    return prefix.wauto(QS_WINDOW, f'rect --expect "0 0 * * visible" --timeout {timeout}')


def test_notification_window_shows_and_hides(prefix, session):
    session.write_command_list(["$Open Please do not touch the PC.", "$Wait 4000", "$Close", "$Wait 3000",
                                "$End Boot"])
    program = session.start(QS)
    shown = prefix.wauto(QS_WINDOW, "rect")
    x, y, width, height, visible = rect(shown)
    assert (width, height, visible) == (400, 100, "visible")
    prefix.wauto(QS_WINDOW, "closed --timeout 15")
    outcome = session.run(first=program, boots=0, timeout=60)
    assert outcome.ended == "exit", outcome


def test_alpha_zero_keeps_the_notification_hidden(prefix, session):
    prefix.reg_add(SETTINGS_KEY, "alpha", 0)
    # $Open shows the window before the walk goes on (the walk waits for the window thread), so
    # once $Pause's box is up the window has come as far as it ever will.
    session.write_command_list(["$Open not to be seen", "$Pause opened", "$End Boot"])
    program = session.start(QS)
    box = 'wait --class "#32770" --title Tidewell --timeout 30'
    found = prefix.wauto(box, "wait --class WarnDlg --hidden --timeout 10", "rect")
    assert rect(found)[4] == "hidden"
    prefix.wauto(box, "click --text OK")
    assert session.run(first=program, boots=0, timeout=60).ended == "exit"


def test_black_screen_covers_lifts_on_a_click_and_goes(prefix, session):
    session.write_command_list(["$AUXVSO_ON 2", "$Wait 8000", "$AUXVSO_OFF", "$Wait 2000", "$End Boot"])
    program = session.start(QS)
    covered = covering(prefix)
    x, y, width, height, visible = rect(covered)
    assert (x, y, visible) == (0, 0, "visible") and width >= 640 and height >= 480, covered.records
    prefix.wauto(QS_WINDOW, "mouse 5 5", 'rect --expect "0 0 32 32 visible" --timeout 10')
    # A click on the square covers the screen again.
    prefix.wauto(QS_WINDOW, "mouse 5 5", f'rect --expect "0 0 {width} {height} visible" --timeout 10')
    prefix.wauto(QS_WINDOW, "closed --timeout 20")
    assert session.run(first=program, boots=0, timeout=60).ended == "exit"
    texts = [line.text for line in session.run_log()]
    assert ["Black Screen - start.", "Turn on : auxvso.", "Black Screen - end.", "Turn off : auxvso."] == [
        t for t in texts if "auxvso" in t or t.startswith("Black Screen")]


def test_notice_only_qs_shows_its_text_until_ended(prefix):
    # Separate words, so that the command line reaches QS unquoted, as a planner writes it.
    notice = prefix.start(QS, "/WPlease", "wait", "for", "the", "run.")
    shown = prefix.wauto(QS_WINDOW, "rect")
    assert rect(shown)[2:] == (400, 100, "visible")
    assert prefix.run(QS, "/X", timeout=30).returncode == 0
    assert notice.wait(30) == 0
