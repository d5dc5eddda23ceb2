"""$AutoDefrag2000 end to end: QS starts the stand-in console (MMC.EXE in the System folder),
checks its title, types Alt+A and D into it, answers the "15%" question with Y and closes the
console at its completion message or at an unexpected dialog; Diskeeper's console, marker and
advertisement get their waiting, closing and warning. Keys never land in a window that pushed
itself in front. The ScanDisk "10 times" question is answered with N by the QS window's watcher.

QS_TIME_SCALE shortens QS's waits to a twentieth, so that "about a minute" takes three seconds;
the stand-ins record what reached them in C:\\standins\\events.txt."""
import re

import pytest

import harness
from harness import JAPANESE, STANDINS_DIR, SYSTEM_DIR
from session import QS, RUN_LOG, SETTINGS_KEY, parse_run_log

FAST = {"QS_TIME_SCALE": "0.05"}
IN_JAPANESE = {"RNSLANG": "JA", **JAPANESE}
COMPLETE = "dialog ok|Defragmentation Complete|Defragmentation is complete for: (C:)"
LOW_SPACE = ("dialog yesno|Disk Defragmenter|Volume (C:) has only 9% free space. Disk Defragmenter needs at least "
             "15% free space to defragment completely. Do you want to defragment anyway?")
# The automation's own lines, in either language; the walk's other lines are left out.
AUTOMATION = re.compile(r"MMC|Defragmenter|Diskeeper|15%|Keys held|NoDKWarn|デフラグ|プロセス|キー")


@pytest.fixture
def console(prefix):
    """A prefix whose System folder holds the stand-in console."""
    prefix.install(harness.test_bin_dir() / "mmc.exe", SYSTEM_DIR, "MMC.EXE")
    return prefix


def configure(prefix, *lines):
    prefix.write_file(f"{STANDINS_DIR}\\MMC.cfg", "\r\n".join(lines) + "\r\n", encoding="utf-8")


def run_qs(prefix, entries, settings=None, env=FAST, timeout=120):
    """Walks the entries as a command list and returns the automation's run-log texts."""
    prefix.import_values({SETTINGS_KEY: {**{f"order{i}": e for i, e in enumerate(entries)}, **(settings or {})}})
    prefix.run(QS, env=env, timeout=timeout)
    return run_log(prefix)


def run_log(prefix):
    path = prefix.unix_path(RUN_LOG)
    texts = [line.text for line in parse_run_log(path.read_bytes().decode("cp932"))] if path.exists() else []
    return [text for text in texts if AUTOMATION.search(text)]


def _unescape(field):
    return re.sub(r"\\(.)", lambda m: {"t": "\t", "r": "\r", "n": "\n"}.get(m.group(1), m.group(1)), field)


def events(prefix, tool="MMC"):
    """(event, detail) of one stand-in, in their order."""
    path = prefix.unix_path(f"{STANDINS_DIR}\\events.txt")
    lines = path.read_bytes().decode("utf-8").splitlines() if path.exists() else []
    fields = [[_unescape(f) for f in line.split("\t")] for line in lines if line]
    return [(event, detail) for who, event, detail in fields if who == tool]


def keys(seen):
    return [detail for event, detail in seen if event == "key"]


# ---- The console runs to its end ----------------------------------------------------------------

def test_completion_by_title_closes_the_dialog_and_the_console(console):
    configure(console, COMPLETE)
    log = run_qs(console, ["$AutoDefrag2000 C:"], {"MSCPath": ""})
    assert log == ["Defragmenter completed successfully."]
    seen = events(console)
    assert keys(seen) == ["Alt+A", "D"], "the Action menu, then its Defragment item"
    # The close box of a box with OK only ends it with OK on Windows and with Cancel on Wine.
    assert [e[0] for e in seen if e[0] in ("defragment", "sysclose", "answer", "end")] == [
        "defragment", "sysclose", "answer", "sysclose", "end"]
    assert ("sysclose", "dialog Defragmentation Complete") in seen and ("end", "closed") in seen
    assert ("sysclose", "console") in seen
    [start] = console.journal("MMC")
    assert start.command_line.endswith("MMC.EXE DFRG.MSC C:"), "an empty MSCPath means DFRG.MSC"
    assert start.folder.lower() == "c:\\windows\\system32"
    assert start.parent_program.upper() in ("QS.EXE", "")


def test_low_space_question_is_answered_yes_then_completion_by_message_text(console):
    configure(console, LOW_SPACE,
              "dialog ok|Disk Defragmenter|Defragmentation Complete\\nVolume (C:)\\nFragmented files: 0")
    log = run_qs(console, ["$AutoDefrag2000 C:"], {"MSCPath": "dfrg.msc"})
    assert log == ['Closed "15%..." Dialog.', "Defragmenter completed successfully."]
    seen = events(console)
    assert keys(seen) == ["Alt+A", "D", "Y"], "Y is pressed once"
    answers = [detail for event, detail in seen if event == "answer"]
    assert answers[0] == "Disk Defragmenter|Yes" and len(answers) == 2
    assert [e for e in seen if e[0] == "sysclose"] == [("sysclose", "dialog Disk Defragmenter"), ("sysclose", "console")]
    assert console.journal("MMC")[0].command_line.endswith("MMC.EXE dfrg.msc C:")


def test_unexpected_dialog_ends_the_defragmenter(console):
    configure(console, "dialog ok|Disk Defragmenter|The volume could not be opened.")
    assert run_qs(console, ["$AutoDefrag2000 C:"]) == ["Defragmenter was finished."]
    assert ("sysclose", "console") in events(console)


def test_console_closed_by_the_user_lets_the_walk_go_on(console):
    configure(console, "close")
    log = run_qs(console, ["$AutoDefrag2000 C:", "$Log next entry"])
    assert log == ["MMC Process has already closed."]
    assert "next entry" in [line.text for line in parse_run_log(console.read_file(RUN_LOG))]
    assert ("end", "self") in events(console)


def test_japanese_console_and_completion_caption(console):
    configure(console, "title ディスク デフラグ ツール", "dialog ok|デフラグ完了|ボリューム (C:) のデフラグが完了しました。")
    log = run_qs(console, ["$AutoDefrag2000 C:"], env={**FAST, **IN_JAPANESE})
    assert log == ["デフラグは正常に完了しました。"]
    assert keys(events(console)) == ["Alt+A", "D"]


# ---- Diskeeper ----------------------------------------------------------------------------------

@pytest.mark.parametrize("no_warning", [0, 1])
def test_diskeeper_advert_is_closed_and_the_warning_shown(console, no_warning):
    configure(console, "title Diskeeper 2011 Professional Edition", "marker", "advert", COMPLETE)
    log = run_qs(console, ["$AutoDefrag2000 C:"], {"DKLiteWait": 2000, "NoDKWarn": no_warning})
    warning = [] if no_warning else ["Showed a warning dialog for Diskeeper(Lite)."]
    assert log == ["Closed Diskeeper Lite's PR Window.", *warning, "Defragmenter completed successfully."]
    seen = events(console)
    assert keys(seen) == ["Alt+F4", "Alt+A", "D"]
    assert seen.index(("advert-closed", "")) < seen.index(("defragment", ""))


def test_diskeeper_wait_zero_leaves_the_advert_alone(console):
    configure(console, "title Diskeeper", "marker", "advert", COMPLETE)
    log = run_qs(console, ["$AutoDefrag2000 C:"], {"DKLiteWait": 0, "NoDKWarn": 1})
    assert log == ["Defragmenter completed successfully."]
    seen = events(console)
    assert keys(seen) == ["Alt+A", "D"]
    assert ("sysclose", "advert") not in seen


# ---- Giving up ----------------------------------------------------------------------------------

def test_console_already_open_starts_nothing(console):
    configure(console, "life 60000")
    console.start(f"{SYSTEM_DIR}\\MMC.EXE")
    console.wauto('wait --class MMCMainFrame --timeout 30')
    assert run_qs(console, ["$AutoDefrag2000 C:"]) == ["MMC Process is already running."]
    assert len(console.journal("MMC")) == 1, "only the test's own console was started"
    assert keys(events(console)) == []


@pytest.mark.parametrize("setting, text", [
    ("title Notepad", 'MMC Process was found. But, the title bar was not "Disk Defragmenter."'),
    ("nowindow", "MMC Process was disappeared suddenly."),
])
def test_no_usable_console_window_is_given_up_without_typing(console, setting, text):
    configure(console, setting, "life 30000")
    assert run_qs(console, ["$AutoDefrag2000 C:"]) == [text]
    assert keys(events(console)) == []


def test_missing_console_program(prefix):
    assert run_qs(prefix, ["$AutoDefrag2000 C:"]) == ["MMC Process cannot be started."]


# ---- Keys only into the window they are meant for -----------------------------------------------

def test_keys_wait_while_another_window_is_in_front(console):
    # The thief takes the front 100 ms after Alt+A, QS would type D a second after it (at full
    # speed). The console's menu closed with the lost front, so both keys come again.
    configure(console, "steal 100", COMPLETE)
    log = run_qs(console, ["$AutoDefrag2000 C:"], env={}, timeout=60)
    assert log == ["Keys held back, their window is not in front; bringing it forward: D",
                   "Defragmenter completed successfully."]
    seen = events(console)
    assert ("steal", "in front") in seen
    assert [e for e in seen if e[0] == "thief-key"] == [], "no key may land in the window in front"
    assert keys(seen) == ["Alt+A", "Alt+A", "D"]
    assert seen.count(("defragment", "")) == 1


# ---- ScanDisk's question ------------------------------------------------------------------------

@pytest.mark.parametrize("japanese", [False, True])
def test_scandisk_question_is_answered_no(prefix, japanese):
    prefix.install_test_program("scandisk.exe")
    question = prefix.start("scandisk.exe", *(["/ja"] if japanese else []))
    prefix.wauto('wait --title ScanDisk --timeout 30')
    prefix.import_values({SETTINGS_KEY: {"order0": "$AUXSSC_ON", "order1": "$Wait 5000", "order2": "$AUXSSC_OFF"}})
    prefix.run(QS, env=IN_JAPANESE if japanese else None, timeout=60)
    assert question.wait(10) == 7, "IDNO"
    assert keys(events(prefix, "SCANDISK")) == ["N"]
    texts = [line.text for line in parse_run_log(prefix.read_file(RUN_LOG))]
    assert ("「10 回...」のダイアログを閉じました。" if japanese else 'Closed "10 times..." dialog.') in texts
