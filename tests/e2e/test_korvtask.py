"""The scheduler as a user and Windows meet it: the settings dialog checks and saves the schedule and
the start-at-logon value; /s keeps one resident, /j and /js end it, and so does its tray menu; a set
time shows the 20-second countdown and starts KORVANE.EXE /A (a stand-in that records its call),
after which the resident goes on; Cancel starts nothing; a catch-up start comes at once; a running
korvane or an excluded program turns the countdown into a time-out; and one whole run starts the
real planner. The countdown's 20 seconds are real, so only three tests wait them out."""
import time
from datetime import datetime, timedelta

import harness
from harness import PRODUCT_DIR, WAUTO_TIMEOUT
from session import SETTINGS_KEY
from test_rinsa_run import Machine

KORVTASK = PRODUCT_DIR + "\\KORVTASK.EXE"
KORVANE = PRODUCT_DIR + "\\KORVANE.EXE"
SCHEDULER_KEY = "HKLM\\SOFTWARE\\Halvornix\\Korvane\\korvtask"
USER_RUN = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"
RUN_COMMAND = f'"{KORVTASK}" /S'
ENGLISH = {"RNSLANG": "EN"}
JAPANESE = {**harness.JAPANESE, "RNSLANG": "JA"}

SETTINGS = ["wait", "--class", "#32770", "--title", "Tidewell scheduler settings", "--timeout", "60"]
# The countdown and the message boxes carry the display name as their title.
COUNTDOWN = ["wait", "--class", "#32770", "--title", "Tidewell scheduler", "--timeout", "30"]
BOX = COUNTDOWN
RESIDENT = "wait --class korvane_task_sr --hidden --timeout 30"
WM_USER, WM_LBUTTONDBLCLK, WM_RBUTTONUP, TRAY_ICON_ID = 1024, 0x203, 0x205, 18972

STATUS, HOUR, MINUTE, DELAY_HOURS, DELAY_MINUTES = 1002, 1003, 1004, 1047, 1049
RUN_USER, SNOOZE, SAVE_AND_START, STOP = 1001, 1048, 6, 7
COUNT, REASON, CANCEL = 1046, 1053, 1000
WAIT_TEXT = ("Please push [Cancel] below when you want to discontinue automatic execution. Execution is begun "
             "again at the next set time. ")
KORVANE_RUNS = "It became set time. However, automatic execution is discontinued because Tidewell is running."
PROGRAM_RUNS = "It became set time. However, automatic execution is discontinued because specified program is running."


# ---- Helpers ----------------------------------------------------------------------------------------

def scheduler_values(prefix):
    return prefix.reg_values(SCHEDULER_KEY)


def last_time(prefix):
    """LastTime as the local wall-clock datetime it encodes, or None."""
    data = (scheduler_values(prefix) or {}).get("LastTime")
    if not isinstance(data, bytes) or len(data) != 8:
        return None
    return datetime(1601, 1, 1) + timedelta(microseconds=int.from_bytes(data, "little") // 10)


def same_minute(a, b):
    return a is not None and b is not None and a.replace(second=0, microsecond=0) == b.replace(second=0, microsecond=0)


def install_korvane_standin(prefix):
    """KORVANE.EXE becomes the journal stand-in: each start is recorded, and nothing is planned."""
    prefix.install(harness.test_bin_dir() / "standin.exe", PRODUCT_DIR, "KORVANE.EXE")


def korvane_starts(prefix):
    return prefix.journal("KORVANE")


def catch_up_in_reach(prefix, minutes_ago=10, extra=None):
    """A set time that passed minutes_ago minutes before, with a catch-up window that covers it:
    the resident's start shows the countdown at once, whatever the second of the clock."""
    passed = datetime.now() - timedelta(minutes=minutes_ago)
    prefix.import_values({SCHEDULER_KEY: {"Time_Hour": passed.hour, "Time_Min": passed.minute, "Kind": 1,
                                          "Snooze": 1, "SnoozeTime": 90, **(extra or {})}})
    return passed


def start_resident(prefix):
    resident = prefix.start(KORVTASK, "/s", env=ENGLISH)
    found = prefix.wauto(RESIDENT).windows
    return resident, found[0]


def residents(prefix):
    return prefix.wauto(["windows", "--class", "korvane_task_sr", "--hidden"]).windows


def tray_message(mouse_message):
    """What the notification area sends the resident's window for its icon."""
    return ["post", "--message", str(WM_USER), "--wparam", str(TRAY_ICON_ID), "--lparam", str(mouse_message)]


def countdown_texts(prefix):
    return prefix.wauto(COUNTDOWN, f"text --id {COUNT}", f"text --id {REASON}", f"text --id {CANCEL}").texts


def refuse(prefix, hour, minute, delay_hours, delay_minutes, message):
    prefix.wauto(SETTINGS, ["settext", "--id", HOUR, hour], ["settext", "--id", MINUTE, minute],
                 ["settext", "--id", DELAY_HOURS, delay_hours], ["settext", "--id", DELAY_MINUTES, delay_minutes],
                 "click --id 1", BOX, ["expect", "--id", "65535", "--value", message], "click --text OK", "closed")


# ---- The settings dialog ------------------------------------------------------------------------------

def test_the_settings_dialog_refuses_bad_times_saves_and_starts_the_resident(prefix):
    dialog = prefix.start(KORVTASK, env=ENGLISH)
    prefix.wauto(SETTINGS, f"expect --id {STATUS} --value 'Scheduler Status : OFF' --timeout 10")
    assert prefix.run(KORVTASK, env=ENGLISH, timeout=30).returncode == 0, "one settings dialog at a time"
    harness.screenshot("korvtask-settings-en")

    refuse(prefix, "24", "00", "0", "0", "Please specify the start time with 0:00-23:59.")
    refuse(prefix, "7", "60", "0", "0", "Please specify the start time with 0:00-23:59.")
    refuse(prefix, "8", "00", "8", "00", "Please specify delay time with 0:00-7:59.")
    # The administrator test at start made the key; nothing is saved in it.
    assert scheduler_values(prefix) == {}, "nothing is saved"

    # 7:59 is the longest delay; Save Settings and Start stores everything and starts the resident.
    prefix.wauto(SETTINGS, f"settext --id {DELAY_HOURS} 7", f"settext --id {DELAY_MINUTES} 59",
                 f"check --id {SNOOZE}", f"check --id {RUN_USER}", f"click --id {SAVE_AND_START}",
                 f"expect --id {STATUS} --value 'Scheduler Status : ON' --timeout 15", "expect --id 2 --value &Close")
    values = scheduler_values(prefix)
    assert (values["Time_Hour"], values["Time_Min"], values["Snooze"], values["SnoozeTime"]) == (8, 0, 1, 479)
    assert prefix.reg_query(USER_RUN, "korvtask_sr1") == RUN_COMMAND
    first = residents(prefix)
    assert len(first) == 1

    # Stop, then start again at once: the new resident waits for the old one to let go.
    prefix.wauto(SETTINGS, f"click --id {STOP}", f"enabled --id {SAVE_AND_START} --state 1",
                 f"click --id {SAVE_AND_START}")
    harness.wait_until(lambda: [w for w in residents(prefix) if w[4] != first[0][4]] and len(residents(prefix)) == 1,
                       30, "a new resident in place of the stopped one")
    prefix.wauto(SETTINGS, f"expect --id {STATUS} --value 'Scheduler Status : ON' --timeout 15")

    prefix.wauto(SETTINGS, f"uncheck --id {RUN_USER}", "click --id 1", "closed")
    assert dialog.wait(30) == 0
    assert prefix.reg_query(USER_RUN, "korvtask_sr1") is None, "the start-at-logon value goes with the box"


def test_the_settings_dialog_in_japanese(prefix):
    dialog = prefix.start(KORVTASK, env=JAPANESE)
    shown = prefix.wauto(["wait", "--class", "#32770", "--title", "タイドウェル スケジューラの設定", "--timeout", "60"],
                         f"expect --id {STATUS} --value 'スケジューラの状態 : OFF' --timeout 10", "text --id 1")
    assert shown.texts[-1] == "保存して閉じる(&O)"
    harness.screenshot("korvtask-settings-ja")
    prefix.wauto(["wait", "--class", "#32770", "--title", "タイドウェル スケジューラの設定"], "click --id 2", "closed")
    assert dialog.wait(30) == 0


# ---- The resident and its stop requests -------------------------------------------------------------

def test_one_resident_its_tray_menu_and_the_stop_switches(prefix):
    resident, window = start_resident(prefix)
    assert (window[2], window[3]) == ("Tidewell scheduler", False), "hidden, titled with the display name"
    assert prefix.run(KORVTASK, "/S", env=ENGLISH, timeout=30).returncode == 0
    assert len(residents(prefix)) == 1 and resident.running, "a second /s leaves the first alone"

    # A double-click on the icon opens the settings, which see the resident.
    prefix.wauto(RESIDENT, tray_message(WM_LBUTTONDBLCLK))
    prefix.wauto(SETTINGS, f"expect --id {STATUS} --value 'Scheduler Status : ON' --timeout 10", "click --id 2",
                 "closed")
    # The right button opens the menu: "Cancel" does nothing, "&Settings..." opens the settings,
    # "S&top Running" asks, and No keeps the resident, Yes ends it.
    prefix.wauto(RESIDENT, tray_message(WM_RBUTTONUP), "popup --item-index 2 --timeout 10")
    prefix.wauto(RESIDENT, tray_message(WM_RBUTTONUP), "popup --item &Settings... --timeout 10")
    prefix.wauto(SETTINGS, "click --id 2", "closed")
    stop = [tray_message(WM_RBUTTONUP), "popup --item 'S&top Running' --timeout 10", BOX,
            "expect --id 65535 --value 'Are you sure you want to stop?'"]
    prefix.wauto(RESIDENT, *stop, "click --id 7", "closed")
    assert resident.running and len(residents(prefix)) == 1, "No keeps the resident"
    prefix.wauto(RESIDENT, *stop, "click --id 6")
    assert resident.wait(30) == 0

    for switch in ("/j", "/JS"):
        resident, _ = start_resident(prefix)
        assert prefix.run(KORVTASK, switch, timeout=30).returncode == 0
        assert resident.wait(30) == 0, f"{switch} ends the resident"
    assert prefix.run(KORVTASK, "/j", timeout=30).returncode == 0, "/j without a resident"
    assert not residents(prefix)


def start_behind_an_ending_instance(prefix, mutex, ending, *command):
    """Starts command while holdmutex holds mutex, as an instance that is still ending would, for
    three seconds more; then holdmutex lets it go (release) or ends owning it (abandon)."""
    holder = prefix.install_test_program("holdmutex.exe")
    old = prefix.start(holder, mutex, "3000", ending, *command, env=ENGLISH)
    harness.wait_until(lambda: "held" in old.stdout, 30, f"{mutex} to be held")
    assert old.wait(30) == 0, old.stderr


def test_a_new_instance_takes_the_place_of_one_that_is_still_ending(prefix):
    """A resident that was stopped, or a settings dialog that was closed, may keep its mutex for a
    moment; the new one waits for it, whether it is let go or left abandoned by an ended process."""
    for ending in ("release", "abandon"):
        start_behind_an_ending_instance(prefix, "korvane_task_sr", ending, KORVTASK, "/s")
        found = prefix.wauto(RESIDENT).windows
        assert len(found) == 1 and len(residents(prefix)) == 1, f"one resident after an old one that ended ({ending})"
        assert prefix.run(KORVTASK, "/js", timeout=30).returncode == 0
        harness.wait_until(lambda: not residents(prefix), 30, "the resident to end")
    start_behind_an_ending_instance(prefix, "korvane_task_cf", "release", KORVTASK)
    prefix.wauto(SETTINGS, "click --id 2", "closed")


# ---- The countdown ---------------------------------------------------------------------------------

def a_minute_with_time_to_spare():
    """Now, once the second of the clock is below 35: a set time of this minute then shows its
    countdown well within the minute."""
    harness.wait_until(lambda: datetime.now().second < 35, 40, "the first 35 seconds of a minute")
    return datetime.now()


def test_a_set_time_counts_down_starts_korvane_and_the_resident_goes_on(prefix):
    install_korvane_standin(prefix)
    now = a_minute_with_time_to_spare()
    prefix.import_values({SCHEDULER_KEY: {"Time_Hour": now.hour, "Time_Min": now.minute, "Kind": 1, "TrayIcon": 1}})
    started = time.monotonic()
    resident = prefix.start(KORVTASK, "/s", env=ENGLISH)
    assert countdown_texts(prefix) == ["20 seconds", WAIT_TEXT, "Cancel"]
    shown = time.monotonic()
    assert shown - started < 15, f"the countdown showed {shown - started:.1f} s after the resident's start"
    harness.screenshot("korvtask-countdown-en")
    # The next minute, set while this countdown runs: a resident that goes on after the start finds it.
    following = now + timedelta(minutes=1)
    prefix.import_values({SCHEDULER_KEY: {"Time_Hour": following.hour, "Time_Min": following.minute}})

    harness.wait_until(lambda: korvane_starts(prefix), 45, "the stand-in KORVANE.EXE to be started")
    waited = time.monotonic() - shown
    assert 15 < waited < 35, f"korvane started {waited:.1f} s after the countdown showed"
    start = korvane_starts(prefix)[0]
    assert start.command_line.upper().endswith("KORVANE.EXE\" /A") or start.command_line.upper().endswith(
        "KORVANE.EXE /A"), start
    assert start.folder.lower() == PRODUCT_DIR.lower(), "started from the program folder"
    assert "KORVTASK.EXE" in start.parent_program.upper(), start
    assert same_minute(last_time(prefix), now), "LastTime holds the set minute"

    # The next set time comes; Cancel starts nothing, records the minute, and no second countdown
    # comes in that minute.
    prefix.wauto(COUNTDOWN[:-1] + ["70"], f"click --id {CANCEL}", "closed")
    assert len(korvane_starts(prefix)) == 1
    assert same_minute(last_time(prefix), following)
    again = prefix.wauto(COUNTDOWN[:-1] + ["6"], check=False)
    assert again.returncode == WAUTO_TIMEOUT, "a cancelled set time waits for the next one"
    assert resident.running


def test_a_running_excluded_program_turns_the_countdown_into_a_timeout(prefix):
    install_korvane_standin(prefix)
    notepad = prefix.start("notepad.exe")
    prefix.wauto("wait --exe notepad.exe --timeout 60")
    passed = catch_up_in_reach(prefix, extra={"NotStart": 1, "NotStartList": "wordpad.exe\r\nnotepad.exe"})
    resident = prefix.start(KORVTASK, "/s", env=ENGLISH)
    assert countdown_texts(prefix) == ["Timeout.", PROGRAM_RUNS, "&Close"], "at once: a catch-up start"
    prefix.wauto(COUNTDOWN, f"click --id {CANCEL}", "closed")
    assert not korvane_starts(prefix)
    assert same_minute(last_time(prefix), passed), "the set time counts as done"
    assert resident.running and notepad.running


def test_a_running_korvane_turns_the_countdown_into_a_timeout(prefix):
    prefix.import_values({SETTINGS_KEY: {"CreateRestorePoint": 0, "warn_summer": 1}})
    korvane = prefix.start(KORVANE, env=ENGLISH)
    prefix.wauto("wait --class korvane --timeout 60")
    catch_up_in_reach(prefix)
    prefix.start(KORVTASK, "/s", env=ENGLISH)
    assert countdown_texts(prefix) == ["Timeout.", KORVANE_RUNS, "&Close"]
    shown = time.monotonic()
    prefix.wauto(COUNTDOWN, "closed --timeout 40")
    assert time.monotonic() - shown > 15, "it closes itself after the countdown's time"
    commands = [command for _, command in harness.prefix_processes(prefix.path)]
    assert not [c for c in commands if "KORVANE.EXE" in c.upper() and "/A" in c.upper()], "nothing was started"
    assert korvane.running


# ---- One whole run ---------------------------------------------------------------------------------

def test_a_catch_up_start_runs_the_real_planner(prefix):
    """The real KORVANE.EXE /A plans a run of method 4 (the list at once, no restart) and QS works it."""
    machine = Machine(prefix, "win7", {"How": 4, "Selected": 3, "NotAutoPowerOff": 1,
                                       "LastCmdLine": "CMD.EXE /C exit 0"})
    catch_up_in_reach(prefix)
    resident = prefix.start(KORVTASK, "/s", env=ENGLISH)
    prefix.wauto(COUNTDOWN[:-1] + ["15"], f"expect --id {COUNT} --value '20 seconds'")
    harness.wait_until(lambda: "Completed." in machine.log(), 150, "the run log to tell of the finished run")
    log = machine.log()
    assert [t for t in log if t.startswith("--- Rinsa running is started.")], log
    assert "No Rinsa - Automatic running only." in log
    assert not [t for t in log if "already running" in t.lower()]
    assert resident.running, "the resident goes on after the start"
