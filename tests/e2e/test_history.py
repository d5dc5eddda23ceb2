"""The run log viewer "History" as a user meets it from the normal mode's Tools menu: a log shown to
its newest line, the debug box stored in fjlog on Close, Remove with its question, and a log another
program holds open, which stays. Screenshots in both languages are artefacts."""
from functools import partial

import configurator
import harness
from configurator import JAPANESE, MAIN, NORMAL_MODE, exit_program, wait_for_setting

LOG = harness.PRODUCT_DIR + "\\KORVANE.LOG"
HISTORY_COMMAND = 1082
# The normal mode, ready once its Start button can be pressed.
start = partial(configurator.start, mode=NORMAL_MODE, ready=["enabled --id 1 --state 1 --timeout 30"])


def shown_lines(prefix, history):
    return [row[3] for row in prefix.wauto(history, "lvitems --id 1003").of_kind("lvitem")]


def log_lines(count, text):
    return "".join(f"Dec  6, 2026 15:{i // 60 % 60:02d}:{i % 60:02d} [QS]{text} {i}\r\n" for i in range(count))


def test_history_shows_a_large_log_stores_the_debug_box_and_removes_the_log(prefix):
    # Lines are read back one by one from another process, so this log is kept to 2 000 lines; the
    # unit tests and the benchmark show megabytes.
    prefix.write_file(LOG, log_lines(2000, "$Log a step of the run that took its time, line"), encoding="ascii")
    program = start(prefix)
    history = "wait --class #32770 --title History --timeout 30"
    shown = prefix.wauto(MAIN, f"menu {HISTORY_COMMAND}", history, "checked --id 1148", "text --id 1002")
    assert [r[0] for r in shown.of_kind("check")] == ["0"]
    assert shown.texts[-1] == "---"
    lines = shown_lines(prefix, history)
    assert len(lines) == 2000
    assert lines[-1] == "Dec  6, 2026 15:33:19 [QS]$Log a step of the run that took its time, line 1999"
    harness.screenshot("history-en")
    prefix.wauto(history, "check --id 1148", "click --id 2", "closed --timeout 30")
    wait_for_setting(prefix, "fjlog", 1)

    asked = prefix.wauto(MAIN, f"menu {HISTORY_COMMAND}", history, "checked --id 1148", "click --id 1052",
                         "wait --class #32770 --title Tidewell --timeout 30", "text --id 65535", "click --id 6")
    assert [r[0] for r in asked.of_kind("check")] == ["1"], "the box shows the trace mode"
    assert asked.texts == ["Are you sure you want to remove the history?"]
    harness.wait_until(lambda: not shown_lines(prefix, history), 20, "an empty history")
    assert not prefix.unix_path(LOG).exists()
    prefix.wauto(history, "uncheck --id 1148", "click --id 2", "closed --timeout 30")
    wait_for_setting(prefix, "fjlog", 0)
    exit_program(prefix, program)


def test_a_log_another_program_holds_is_not_removed(prefix):
    prefix.write_file(LOG, "2026/12/ 6 15:59:03 [QS]デフラグを開始しました。\r\n")
    holder = prefix.start(prefix.install_test_program("holdfile.exe"), LOG, 600)
    harness.wait_until(lambda: "held" in holder.stdout, 30, "the program that holds the log")

    program = start(prefix, env=JAPANESE)
    history = "wait --class #32770 --title 履歴 --timeout 30"
    prefix.wauto(MAIN, f"menu {HISTORY_COMMAND}", history)
    assert shown_lines(prefix, history)[0] == "2026/12/ 6 15:59:03 [QS]デフラグを開始しました。"
    harness.screenshot("history-ja")
    refused = prefix.wauto(history, "click --id 1052", "wait --class #32770 --title タイドウェル --timeout 30",
                           "click --id 6", "closed --timeout 30", "wait --class #32770 --title タイドウェル --timeout 30",
                           "text --id 65535",
                           "click --id 7")
    assert refused.texts == ["KORVANE.LOG:ファイルを削除できません。"]
    assert shown_lines(prefix, history)[0] == "2026/12/ 6 15:59:03 [QS]デフラグを開始しました。", "still shown"
    prefix.wauto(history, "click --id 2", "closed --timeout 30")
    assert prefix.unix_path(LOG).exists()
    exit_program(prefix, program)
