"""Bad input at the boundaries that another program, a file or a user reaches, given to the real
programs: command-list entries of every registry type and size, a list with gaps and one of 32,767
entries, internal commands with missing, huge or odd arguments, settings of the wrong type or out
of range, command-line and registry files that are no such thing, and a run log larger than
4 GiB. Each case group starts its program once; each checks the exit code, that no crash dialog
appeared (the prefix shows Wine's crash dialog instead of ending the program silently, and a
winedbg process is what shows it), and the log line or message that says what was refused.

Huge files are sparse: made by truncate, they cost neither disk nor time."""
import os
import time

import pytest

import harness
from harness import PRODUCT_DIR, TEST_DIR
from session import QS, RUN_LOG, SETTINGS_KEY, Session, parse_run_log
from test_korvtask import (CANCEL, COUNTDOWN, KORVTASK, PROGRAM_RUNS, SCHEDULER_KEY, catch_up_in_reach,
                           countdown_texts, install_korvane_standin, korvane_starts)
from test_update import NOT_FOUND, OWN_VERSION, SAME, UpdateServer, check, exit_program, start

KORVANE = PRODUCT_DIR + "\\KORVANE.EXE"
MESSAGE_BOX = ["wait", "--class", "#32770", "--title", "Tidewell", "--timeout", "60"]
ENGLISH = {"RNSLANG": "EN"}
REG_NONE, REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ, REG_QWORD = 0, 1, 2, 3, 4, 7, 11
MB, GB = 1 << 20, 1 << 30


# ---- Crashes: shown, watched for, and never passed over ----------------------------------------

def show_crashes(prefix):
    """The template prefix keeps Wine's crash dialog off; here a crash must be seen."""
    prefix.import_values({"HKCU\\Software\\Wine\\WineDbg": {"ShowCrashDialog": 1}})


def crash_dialogs(prefix):
    return [command for _, command in harness.prefix_processes(prefix.path) if "winedbg" in command.lower()]


def ended_without_crash(prefix, program, timeout):
    """The program's exit code once it has ended; fails as soon as a crash dialog appears, or when
    the program is still running after timeout seconds."""
    deadline = time.monotonic() + timeout
    while program.running:
        if crash_dialogs(prefix):
            shot = harness.screenshot(f"{program.label}-crashed")
            program.kill()
            raise AssertionError(f"{program.name} crashed: {crash_dialogs(prefix)} (screenshot: {shot})")
        if time.monotonic() > deadline:
            program.wait(0)  # photographs, kills and fails
        time.sleep(0.2)
    assert not crash_dialogs(prefix), f"{program.name} ended with a crash dialog on the screen"
    return program.popen.returncode


def test_the_watch_sees_a_crash(prefix):
    """A program that dies of an unhandled breakpoint is caught by the watch the other tests use."""
    show_crashes(prefix)
    crashing = prefix.start("rundll32.exe", "kernel32.dll,DebugBreak")
    try:
        harness.wait_until(lambda: crash_dialogs(prefix) or not crashing.running, 60, "the crash or the end")
        assert crash_dialogs(prefix), "the crash dialog shows"
    finally:
        crashing.kill()


# ---- Command-list entries as another program may have written them -----------------------------

def raw_values_file(key, values):
    """A .reg text of {name: (type, data bytes)}: any type, any bytes, as regedit imports them."""
    lines = ["Windows Registry Editor Version 5.00", "", f"[{harness.full_key_name(key)}]"]
    for name, (kind, data) in values.items():
        lines.append(f'"{name}"={harness._reg_hex(kind, data)}')
    return "\r\n".join(lines) + "\r\n"


def import_raw(prefix, key, values):
    prefix.write_file(f"{TEST_DIR}\\raw.reg", raw_values_file(key, values), encoding="utf-16")
    result = prefix.reg("import", f"{TEST_DIR}\\raw.reg")
    assert result.returncode == 0, result


def sz(text, terminated=True):
    return (text + ("\0" if terminated else "")).encode("utf-16-le")


def run_qs(prefix, timeout=120):
    """QS started as the planner starts it without a restart; its exit code and its log texts."""
    show_crashes(prefix)
    code = ended_without_crash(prefix, prefix.start(QS, env=ENGLISH), timeout)
    return code, log_texts(prefix)


def log_texts(prefix):
    path = prefix.unix_path(RUN_LOG)
    return [line.text for line in parse_run_log(path.read_bytes().decode("cp932"))] if path.exists() else []


@pytest.fixture
def session(prefix):
    return Session(prefix)


HUGE_LINE = "$Log " + "x" * (64 * 1024)
ENTRIES = [
    # (type, data, what the log then says: a line, or None for an entry that does nothing)
    (REG_SZ, sz("$Log begin"), "begin"),
    (REG_DWORD, (0x41).to_bytes(4, "little"), "order1: not a text value (registry type 4); not run."),
    (REG_BINARY, b"$Log binary text without a terminator", "order2: not a text value (registry type 3); not run."),
    (REG_BINARY, b"", "order3: not a text value (registry type 3); not run."),
    (REG_SZ, b"", None),
    (REG_QWORD, (0x41).to_bytes(8, "little"), "order5: not a text value (registry type 11); not run."),
    (REG_NONE, b"$Log none", "order6: not a text value (registry type 0); not run."),
    (REG_SZ, sz("$Log unterminated", terminated=False), "unterminated"),
    (REG_SZ, sz("$Log odd length", terminated=False) + b"\x41", "odd length"),
    (REG_SZ, sz(HUGE_LINE), "x" * 519),
    (REG_EXPAND_SZ, sz("$Log %windir% is never expanded"), "%windir% is never expanded"),
    (REG_MULTI_SZ, sz("$Log first string") + sz("$Log second string") + b"\0\0", "first string"),
    (REG_SZ, sz("CMD.EXE /C rem " + "y" * 40000), "An error occurred"),
    (REG_SZ, sz("$Log end"), "end"),
    (REG_SZ, sz("$End Boot"), None),
]


def test_entries_of_every_type_and_size_run_as_text_or_are_refused_with_a_log_line(prefix, session):
    import_raw(prefix, SETTINGS_KEY, {f"order{i}": (kind, data) for i, (kind, data, _) in enumerate(ENTRIES)})
    code, texts = run_qs(prefix)

    assert code == 0
    expected = [told for _, _, told in ENTRIES if told]
    assert [t for t in texts if t in expected] == expected, "\n".join(texts)
    assert session.command_list() == {}, "$End deletes the refused entries with the others"


def test_gaps_and_a_list_of_32767_entries(prefix, session):
    """The walk goes over gaps and stops at order32766 without $End, leaving the list; a full list
    of 32,767 entries runs to its $End, which deletes all of it. order32767 lies outside the list
    and is never run or deleted."""
    last = 32766
    values = {f"order{i}": f"$Log at {i}" for i in (5, 300, 20000, last)}
    values["order32767"] = "$Log outside the list"
    prefix.import_values({SETTINGS_KEY: values})
    code, texts = run_qs(prefix)
    assert code == 0
    assert [t for t in texts if t.startswith("$Log") or t.startswith("at ") or "outside" in t] == [
        "at 5", "at 300", "at 20000", f"at {last}"]
    assert sorted(session.command_list()) == [5, 300, 20000, last, 32767], "without $End nothing is deleted"

    full = {f"order{i}": "# a comment" for i in range(last)}
    full.update({"order0": "$Log first of 32767", "order16383": "$Log half way", f"order{last}": "$End Boot"})
    prefix.import_values({SETTINGS_KEY: full})
    code, texts = run_qs(prefix, timeout=240)
    assert code == 0
    assert [t for t in texts if t in ("first of 32767", "half way")][-2:] == ["first of 32767", "half way"]
    assert session.command_list() == {32767: "$Log outside the list"}


# ---- Internal commands with missing, huge or odd arguments -------------------------------------

ODD_COMMANDS = [
    # (entry, a line the log must show for it, or None when the command is silent by design)
    ("$Wait", None),
    ("$Wait -5", "$Wait: -5 ms is out of range; waiting 0 ms."),
    ("$Wait not a number", None),
    ("$RService", "$RService:Cannot open registry key -  - HKLM\\SYSTEM\\CurrentControlSet\\Services\\"),
    ("$RService ..\\..\\Control", "$RService:Cannot open registry key -  - "
                                  "HKLM\\SYSTEM\\CurrentControlSet\\Services\\..\\..\\Control"),
    ("$RService " + "s" * 5000, "$RService:Cannot open registry key -  - HKLM\\SYSTEM\\CurrentControlSet\\Services\\"
     + "s" * 519),
    ("$DelDir", "Bad folder name - "),
    ("$DelDir C:\\", "Bad folder name - C:\\"),
    ("$DelFiles", "Bad folder name - "),
    ("$DelFiles C:\\*.*", "Bad folder name - C:\\*.*"),
    ("$Del", "File not exist - "),
    ("$DelIfExist", "File not exist - "),
    ("$Del " + "d" * 5000, "File not exist - " + "d" * 519),
    ("$IFE", None),
    ("$IFE 0", None),
    ("$IFE 99999999999999999999 $Log never", None),
    ("$IFE 0 $IFE 0 $Log nested conditions", "nested conditions"),
    ("$Open " + "n" * 5000, None),
    ("$Close", None),
    ("$Close", None),
    ("$AUXSSC_OFF", "Turn off: auxssc."),
    ("$AUXVSO_OFF", "Turn off : auxvso."),
    ("$RecDfrgTime", None),
    ("$CountDown 0," + "v" * 5000, "Show Countdown Dialog."),  # a verb longer than its dialog's text
    ("$", None),
    ("!", None),
    ("#", None),
    # No such program either: the command interpreter it falls back to says so in its exit code.
    ("$NoSuchCommand with an argument", "  Return Code = 9009"),
    ("$Log \t tabs\tand a bell \x07 stay", "\t tabs\tand a bell \x07 stay"),
    ("$Log last", "last"),
    ("$End Nonsense", None),
]


def test_internal_commands_with_missing_huge_or_odd_arguments_say_what_they_refused(prefix, session):
    prefix.import_values({SETTINGS_KEY: {f"order{i}": entry for i, (entry, _) in enumerate(ODD_COMMANDS)}})
    code, texts = run_qs(prefix)

    assert code == 0
    expected = [told for _, told in ODD_COMMANDS if told]
    assert [t for t in texts if t in expected] == expected, "\n".join(texts)
    assert "never" not in texts
    assert prefix.unix_path("C:\\windows\\system32").is_dir(), "no deletion reached the System folder"
    assert isinstance(prefix.reg_values(SETTINGS_KEY).get("DTIME"), int), "$RecDfrgTime without a drive: bare name"
    assert session.command_list() == {}


# ---- Settings of the wrong type or out of range ------------------------------------------------

def test_qs_reads_settings_of_the_wrong_type_or_out_of_range(prefix):
    """The pause before commands as a negative number in text, the trace switch as text that is no
    number: QS runs its list without a pause and without its trace, and says what it clamped."""
    import_raw(prefix, SETTINGS_KEY, {
        "wait": (REG_SZ, sz("-7")),
        "fjlog": (REG_SZ, sz("yes please")),
        "order0": (REG_SZ, sz("CMD.EXE /C exit 0")),
        "order1": (REG_SZ, sz("$End Boot")),
    })
    code, texts = run_qs(prefix)
    assert code == 0
    assert "wait: -7 ms is out of range; waiting 0 ms." in texts, texts
    assert "Command Line - CMD.EXE /C exit 0" in texts and "  Return Code = 0" in texts
    assert not [t for t in texts if t.startswith("mainThread:")], "no trace"


def dword(number):
    return (REG_DWORD, (number & 0xFFFFFFFF).to_bytes(4, "little"))


def test_korvane_shows_the_normal_mode_with_settings_of_the_wrong_type_or_out_of_range(prefix):
    """What the normal mode reads at once, each of a type or size no Tidewell wrote: the window
    comes up with the defaults and ends as usual."""
    import_raw(prefix, SETTINGS_KEY, {
        "mode": dword(1), "CreateRestorePoint": dword(0), "warn_summer": dword(1),
        "Selected": (REG_SZ, sz("all of them")),
        "Drives": (REG_BINARY, b"\xff" * 64),
        "How": dword(99),
        "LastCmdLine": dword(7),
        "PutTopButtons": (REG_MULTI_SZ, b""),
        "dddC": (REG_BINARY, bytes(range(16))),  # no valid time: month 770
        "sddC": (REG_BINARY, b"\x01"),
        "DTIMEC": dword(-1),
        "PTIMEC": (REG_SZ, sz("soon", terminated=False)),
    })
    show_crashes(prefix)
    korvane = prefix.start(KORVANE, env=ENGLISH)
    prefix.wauto("wait --class korvane --timeout 60", "enabled --id 1 --state 1 --timeout 30")
    prefix.wauto("wait --class korvane", "click --id 104")
    assert ended_without_crash(prefix, korvane, 30) == 0


def test_the_scheduler_reads_its_values_of_the_wrong_type_or_size(prefix):
    """A set time that has passed, with the list of programs that hold the run back as 64 KiB of
    binary data without a terminator (the running one last), the time of the last start three bytes
    long and the tray switch as text: the countdown comes at once and names the running program."""
    install_korvane_standin(prefix)
    notepad = prefix.start("notepad.exe")
    prefix.wauto("wait --exe notepad.exe --timeout 60")
    catch_up_in_reach(prefix, extra={"NotStart": 1})
    names = b"".join(b"program%05d.exe\r\n" % i for i in range(64 * 1024 // 18))
    import_raw(prefix, SCHEDULER_KEY, {
        "NotStartList": (REG_BINARY, names + b"notepad.exe"),
        "LastTime": (REG_BINARY, b"\x01\x02\x03"),
        "TrayIcon": (REG_SZ, sz("yes")),
    })
    show_crashes(prefix)
    resident = prefix.start(KORVTASK, "/s", env=ENGLISH)
    assert countdown_texts(prefix) == ["Timeout.", PROGRAM_RUNS, "&Close"]
    prefix.wauto(COUNTDOWN, f"click --id {CANCEL}", "closed")
    assert not korvane_starts(prefix)
    assert prefix.run(KORVTASK, "/j", timeout=30).returncode == 0
    assert ended_without_crash(prefix, resident, 30) == 0
    notepad.kill()


# ---- Files given on the command line -----------------------------------------------------------

def sparse(prefix, windows_path, size, head=b"", tail=b""):
    """A file of size bytes that costs no disk: head, zeros, tail."""
    path = prefix.unix_path(windows_path)
    path.parent.mkdir(parents=True, exist_ok=True)
    with open(path, "wb") as file:
        file.write(head)
        file.truncate(size - len(tail))
        file.seek(0, os.SEEK_END)
        file.write(tail)
    return path


NOT_COMMAND_LINES = ("This file is not a text file of command lines (it holds zero bytes, or its UTF-16 text has an "
                     "odd length). Nothing was read.")
NOT_VALID_TEXT = "This file is not a valid text file. Nothing was imported."
PICTURE = b"\x89PNG\r\n\x1a\n\0\0\0\rIHDR"
FILE_CASES = [
    # (switch, file name, content: bytes or the size of a sparse file of zeros, the box's text)
    ("/L", "absent.txt", None, "The specified file is not found."),
    ("/L", "huge.txt", 100 * MB, NOT_COMMAND_LINES),
    ("/L", "one.txt", b"\0", NOT_COMMAND_LINES),
    ("/L", "picture.png", PICTURE, NOT_COMMAND_LINES),
    ("/L", "broken.txt", b"\xef\xbb\xbfa\xc3(", NOT_COMMAND_LINES),
    ("/R", "empty.reg", b"", "This file is not a registry file. Nothing was imported."),
    ("/R", "huge.reg", 100 * MB, "This file is too large to be a settings file. Nothing was imported."),
    ("/R", "picture.reg", PICTURE, NOT_VALID_TEXT),
    ("/R", "odd.reg", b"\xff\xfeW\0i\0n\0x", NOT_VALID_TEXT),
]


def test_files_that_are_not_command_lines_or_registry_text_are_refused_with_a_message(prefix):
    prefix.import_values({SETTINGS_KEY: {"LastCmdLine": "old", "Selected": 0}})
    show_crashes(prefix)
    for switch, name, content, refusal in FILE_CASES:
        path = f"{TEST_DIR}\\{name}"
        if isinstance(content, int):
            sparse(prefix, path, content)
        elif content is not None:
            prefix.write_file(path, content)
        korvane = prefix.start(KORVANE, f"{switch}{path}", env=ENGLISH)
        shown = prefix.wauto(MESSAGE_BOX, "text --id 65535", "click --text OK", "closed")
        assert shown.texts == [refusal], (switch, name)
        assert ended_without_crash(prefix, korvane, 30) == 1, (switch, name)
        if switch == "/R":
            assert f"Settings file refused - {path}" in log_texts(prefix), name
    settings = prefix.reg_values(SETTINGS_KEY)
    assert (settings["LastCmdLine"], settings["Selected"]) == ("old", 0), "nothing is stored"
    assert not [t for t in log_texts(prefix) if t.startswith("--- Rinsa running is started.")], "no run was planned"


# ---- Wizard themes and their scripts: huge, binary, unterminated ---------------------------------

WIZARD = "wait --class korvane --timeout 60"
FIRST_ANSWER = 107


def wizard_buttons(prefix):
    controls = {c[1]: c for c in prefix.wauto(WIZARD, "list").controls}
    return [controls[FIRST_ANSWER + n][3] for n in range(5)]


THEME_FILES = [
    # (theme file, its bytes or the size of a sparse file of zeros)
    ("huge.ini", 100 * MB),
    ("binary.ini", os.urandom(64 * 1024).replace(b"[", b"(")),
    ("unterminated.ini", b"[main]\r\nname=Cut\r\n[21-NT]\r\nBUTTON1=Cut off"),
    ("scripts.ini", b"[main]\r\nname=Scripts\r\nscreen=99999999999999999999,-1\r\n[21-NT]\r\n"
                    b"BUTTON1=:a@huge.txt\r\nBUTTON2=:b@binary.txt\r\nBUTTON3=:c@unterminated.txt\r\n"
                    b"TEXT=:d@absent.txt\r\n"),
]
SCRIPTS = [
    ("huge.txt", 100 * MB),
    ("binary.txt", b"\0\xff\x81:b\r\n$echo \x81\0binary\r\n" + os.urandom(4096)),
    ("unterminated.txt", b":c\r\n$echo cut off \x81"),
]


def test_theme_files_and_scripts_that_are_huge_binary_or_unterminated_still_show_the_wizard(prefix):
    for name, content in THEME_FILES + SCRIPTS:
        path = f"{PRODUCT_DIR}\\{name}"
        if isinstance(content, int):
            sparse(prefix, path, content)
        else:
            prefix.write_file(path, content)
    show_crashes(prefix)
    shown = {}
    for theme, _ in THEME_FILES:
        prefix.import_values({SETTINGS_KEY: {"CreateRestorePoint": 0, "warn_summer": 1, "mode": 21,
                                             "inifile": theme}})
        korvane = prefix.start(KORVANE, env=ENGLISH)
        prefix.wauto(WIZARD, f"enabled --id {FIRST_ANSWER} --state 1 --timeout 60")
        shown[theme] = wizard_buttons(prefix)
        prefix.wauto(WIZARD, "click --id 104")
        assert ended_without_crash(prefix, korvane, 30) == 0, theme
    assert shown["huge.ini"][0] == shown["binary.ini"][0] == "Defragment", shown
    assert shown["unterminated.ini"][0] == "Cut off", shown
    assert shown["scripts.ini"][0] == ":a@huge.txt", "a script too large to read leaves its reference"


# ---- Update replies: huge, binary, slow ---------------------------------------------------------

class OddServer(UpdateServer):
    """Answers with raw bytes, all at once or a few at a time with a pause between."""

    reply, chunk, pause = b"", 0, 0.0

    def _serve(self, connection):
        with connection:
            connection.settimeout(10)
            request = b""
            while b"\r\n\r\n" not in request:
                got = connection.recv(4096)
                if not got:
                    return
                request += got
            self.requests.append(request)
            try:
                step = self.chunk or len(self.reply)
                for at in range(0, len(self.reply), step):
                    connection.sendall(self.reply[at:at + step])
                    if self.pause and self._stop.wait(self.pause):
                        return
            except OSError:
                pass  # the client stopped reading and hung up, as it may


@pytest.fixture
def odd_server():
    started = OddServer()
    yield started
    started.close()


HEADER = b"HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\n\r\n"
SAME_VERSION = f"ver_korv:{OWN_VERSION}.".encode()
REPLIES = [
    # (reply, bytes per send and the pause after each, what the dialog then says)
    (HEADER + os.urandom(16 * MB).replace(b"ver_korv", b"ver_korw"), (0, 0), NOT_FOUND),
    (HEADER + SAME_VERSION + b"\0\xff" * (8 * MB), (0, 0), SAME),
    (HEADER + bytes(range(256)) * 9 + SAME_VERSION, (0, 0), NOT_FOUND),  # past the 2,090 bytes read
    (HEADER + SAME_VERSION, (4, 0.5), NOT_FOUND),  # later than the time-out of 1 second
]


def test_update_replies_that_are_huge_binary_or_slow_are_not_taken_for_a_version(prefix, odd_server):
    show_crashes(prefix)
    korvane = start(prefix, {"PutTopButtons": 1})
    prefix.wauto("wait --class korvane", "click --id 1080")
    prefix.wauto("wait --class #32770 --title 'Checking Update' --timeout 30",
                 ["settext", "--id", "1003", "127.0.0.1"], ["settext", "--id", "1005", str(odd_server.port)],
                 ["settext", "--id", "1006", "1"])
    for reply, (chunk, pause), told in REPLIES:
        odd_server.reply, odd_server.chunk, odd_server.pause = reply, chunk, pause
        assert check(prefix) == told, reply[len(HEADER):len(HEADER) + 40]
    assert not crash_dialogs(prefix)
    prefix.wauto("wait --class #32770 --title 'Checking Update'", "click --id 2", "closed --timeout 10")
    exit_program(prefix, korvane)


# ---- A run log larger than 4 GiB, and one another program holds ---------------------------------

def log_lines(count, text):
    return "".join(f"Dec  6, 2026 15:{i // 60 % 60:02d}:{i % 60:02d} [QS]{text} {i}\r\n" for i in range(count))


def test_a_run_log_over_4_gib_gets_its_lines_at_its_end_and_history_shows_its_last_part(prefix):
    first = "Dec  6, 2026 15:00:00 [QS]the first line of a long life\r\n".encode()
    tail = log_lines(500, "a step of a run").encode()
    log = sparse(prefix, RUN_LOG, 5 * GB, head=first, tail=tail)
    prefix.import_values({SETTINGS_KEY: {"order0": "$Log written past 4 GiB", "order1": "$End Boot"}})
    show_crashes(prefix)
    assert ended_without_crash(prefix, prefix.start(QS, env=ENGLISH), 120) == 0
    size = log.stat().st_size
    with open(log, "rb") as file:
        assert file.read(len(first)) == first, "the start of the log is untouched"
        file.seek(5 * GB - len(tail))
        added = [line.text for line in parse_run_log(file.read().decode("cp932"))]
    assert size > 5 * GB and added[:500] == [f"a step of a run {i}" for i in range(500)], \
        "the lines went to the end of the log, after every line before them"
    assert "written past 4 GiB" in added[500:], added[500:]

    prefix.import_values({SETTINGS_KEY: {"CreateRestorePoint": 0, "warn_summer": 1, "mode": 1}})
    korvane = prefix.start(KORVANE, env=ENGLISH)
    main, history = "wait --class korvane --timeout 60", "wait --class #32770 --title History --timeout 60"
    prefix.wauto(main, "enabled --id 1 --state 1 --timeout 30", "menu 1082", history)
    rows = [row[3] for row in prefix.wauto(history, "lvitems --id 1003").of_kind("lvitem")]
    # The shown part begins inside the run of zeros, which goes with the first line after it.
    assert rows[0] == "(The log is larger than 16 MB: only its last 16 MB are shown.)"
    assert rows[1].endswith("a step of a run 1"), rows[:3]
    assert [row.partition("]")[2] for row in rows[500:]] == added[500:], "down to the last line QS wrote"
    prefix.wauto(history, "click --id 2", "closed --timeout 30")
    prefix.wauto(main, "click --id 104")
    assert ended_without_crash(prefix, korvane, 30) == 0


def test_a_run_log_another_program_locks_neither_stops_the_list_nor_changes_the_log(prefix, session):
    """The lines QS cannot write are lost, and only they: the list runs to its end and the log is as
    the other program left it."""
    before = log_lines(3, "before the lock").encode()
    prefix.write_file(RUN_LOG, before)
    session.write_command_list(["$Log while locked", "$RecDfrgTime C:", "CMD.EXE /C exit 0", "$End Boot"])
    holder = prefix.start(prefix.install_test_program("holdfile.exe"), RUN_LOG, 600, "exclusive")
    harness.wait_until(lambda: "held" in holder.stdout, 30, "the program that locks the log")
    show_crashes(prefix)
    assert ended_without_crash(prefix, prefix.start(QS, env=ENGLISH), 120) == 0
    holder.kill()
    assert isinstance(prefix.reg_values(SETTINGS_KEY).get("DTIMEC"), int), "the list ran"
    assert session.command_list() == {}, "to its end"
    assert prefix.unix_path(RUN_LOG).read_bytes() == before
