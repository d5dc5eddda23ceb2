"""$Rnsx end to end: QS, started as the user's shell after the logon, opens the Other Applications
dialog; the user types two command lines and runs them. Each starts through the shell in its own
folder (or, without one, in QS's, the System folder), without waiting; the history and the last
command are written to the settings key, and the next $Rnsx shows them. The walk goes on only
after Exit.

The programs run are stand-in tools, which record their command line and folder in the journal."""
import concurrent.futures

import harness
from harness import SYSTEM_DIR
from session import QS, RUN_LOG, SETTINGS_KEY, Session, parse_run_log

TITLE = "Tidewell - Other Applicatons"
COMBO, RUN, EXIT = 1049, 1, 2
TOOL_FOLDER = "C:\\My Tools"
FIRST = f'"{TOOL_FOLDER}\\TOOLONE.EXE" /a "b c"'
SECOND = "TOOLTWO.EXE x"


def logged(prefix, text):
    path = prefix.unix_path(RUN_LOG)
    return path.exists() and text in [line.text for line in parse_run_log(path.read_bytes().decode("cp932", "replace"))]


def wait_for_log_line(prefix, text, timeout=240):
    """Waits, from outside the prefix, until QS has logged the line: starting Wine programs before
    the session has booted would disturb its boot."""
    harness.wait_until(lambda: logged(prefix, text), timeout, f'the run log line "{text}"')


def wait_for_calls(prefix, tool, count, timeout=30):
    harness.wait_until(lambda: len(prefix.journal(tool)) >= count, timeout, f"{tool} to be started {count} times")
    return prefix.journal(tool)


def dialog(prefix, *steps, check=True):
    return prefix.wauto(["wait", "--title", TITLE, "--timeout", 60], *steps, check=check)


def run_enabled(result):
    return next(enabled for _, id, _, _, _, enabled in result.controls if id == RUN)


def type_and_run(prefix, command):
    """Types as a user would (so that the dialog hears of the change), then presses Run."""
    dialog(prefix, ["settext", "--id", COMBO, ""], ["keys", "--id", COMBO, "--", command],
           ["expect", "--id", COMBO, "--value", command], ["click", "--id", RUN])


def first_dialog(prefix):
    """The history is empty: Run waits for a command. Two commands are run, then Exit."""
    wait_for_log_line(prefix, "start")
    opened = dialog(prefix, ["items", "--id", COMBO], ["text", "--id", COMBO], "list")
    type_and_run(prefix, FIRST)
    wait_for_calls(prefix, "TOOLONE", 1)
    type_and_run(prefix, SECOND)
    wait_for_calls(prefix, "TOOLTWO", 1)
    dialog(prefix, ["click", "--id", EXIT], "closed --timeout 30")
    return opened


def second_dialog(prefix):
    """The history read back; the last command, run again, adds no entry."""
    opened = dialog(prefix, ["items", "--id", COMBO], ["text", "--id", COMBO], "list")
    dialog(prefix, ["click", "--id", RUN])
    wait_for_calls(prefix, "TOOLTWO", 2)
    dialog(prefix, ["click", "--id", EXIT], check=False)
    return opened


def drive(prefix):
    try:
        return first_dialog(prefix), second_dialog(prefix)
    except BaseException:
        # The walk must not wait for dialogs nobody will close: the failure is told, not a time-out.
        for _ in range(2):
            prefix.wauto(["wait", "--title", TITLE, "--timeout", 10], "click --id 2 --command", "closed --timeout 10",
                         check=False)
        raise


def test_commands_run_from_the_dialog_start_in_their_folders_and_build_the_history(prefix):
    prefix.install(harness.test_bin_dir() / "standin.exe", TOOL_FOLDER, "TOOLONE.EXE")
    prefix.install(harness.test_bin_dir() / "standin.exe", SYSTEM_DIR, "TOOLTWO.EXE")
    for tool in ("TOOLONE", "TOOLTWO"):
        prefix.set_standin(tool)
    session = Session(prefix)
    session.logon_shell(QS)
    session.write_command_list(["$Log start", "$Rnsx", "$Rnsx", "$Log after", "$End ExitWindows"])

    with concurrent.futures.ThreadPoolExecutor(1) as pool:
        user = pool.submit(drive, prefix)
        outcome = session.run(boots=1, timeout=300)
        first, second = user.result(timeout=60)

    assert outcome.ended in ("shutdown", "poweroff"), outcome
    assert (first.of_kind("item"), first.texts) == ([], [""])
    assert not run_enabled(first), "an empty field cannot be run"
    assert [item[1] for item in second.of_kind("item")] == [SECOND, FIRST]
    assert second.texts == [SECOND] and run_enabled(second)

    [one] = prefix.journal("TOOLONE")
    assert one.command_line.endswith(' /a "b c"'), one
    assert one.folder.lower() == TOOL_FOLDER.lower(), "a program with a folder runs in it"
    assert one.parent_program.upper() in ("QS.EXE", ""), one
    twos = prefix.journal("TOOLTWO")
    assert [t.command_line.rpartition(" ")[2] for t in twos] == ["x", "x"]
    assert all(t.folder.lower() == SYSTEM_DIR.lower() for t in twos), "no folder: QS's own, the System folder"

    values = prefix.reg_values(SETTINGS_KEY)
    assert values.get("tyFerun1") == SECOND
    assert (values.get("F0"), values.get("F1"), values.get("F2")) == (SECOND, FIRST, None)
    texts = [line.text for line in session.run_log() if line.text.startswith("Command Line - ")]
    assert texts == [f"Command Line - {TOOL_FOLDER}\\TOOLONE.EXE", "Command Line - TOOLTWO.EXE",
                     "Command Line - TOOLTWO.EXE"]
    story = [line.text for line in session.run_log()]
    assert story.index("after") > story.index(texts[-1]), "the walk waited for Exit"
