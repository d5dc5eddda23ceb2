"""The update check as a user meets it: the "Checking Update" dialog checking a small HTTP server on
127.0.0.1 through the proxy setting (every outcome, a server that never answers, nothing
listening), OK storing the settings, the automatic check at start (silent unless a newer version
exists, Cancel turning it off, Yes opening the maker's site and closing Tidewell), and "Show Web
site". The maker's site opens in a stand-in browser registered for http in the test prefix, which
records how it was called. Screenshots of the dialog in English and Japanese are kept."""
import re
import select
import socket
import threading
import time
from functools import partial

import pytest

import configurator
import harness
from configurator import JAPANESE, MAIN, NORMAL_MODE, exit_program, settings, wait_for_setting

DIALOG = "wait --class #32770 --title 'Checking Update' --timeout 30"
BOX = "wait --class #32770 --title Tidewell --timeout 30"
BROWSER = "C:\\standins\\BROWSER.EXE"
OWN_VERSION = 10000  # the build's file version 1.0.0.0

NEWER = "The new version was found. Do you browse Halvorn's web site?"
NEWER_AUTOMATIC = NEWER + "\n([Cencel] : It does not notify any longer.)"
SAME = "The new version was not found."
OLDER = "This version is not released."
NOT_FOUND = "Update Information was not found."
CONNECT_FAILED = "Connect failed."
IDYES, IDNO, IDCANCEL = 6, 7, 2


def build_setting(name):
    """A maker address the build put into KORVANE.EXE (generated/korvane_version.h)."""
    header = (harness.bin_dir().parent / "generated" / "korvane_version.h").read_text()
    return re.search(rf'#define {name} "([^"]*)"', header).group(1)


class UpdateServer:
    """A small HTTP server on 127.0.0.1: records the bytes of every request and answers with the
    body of the moment, then closes; when silent, it holds the connection without a word."""

    def __init__(self):
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.bind(("127.0.0.1", 0))
        self.listener.listen(8)
        self.port = self.listener.getsockname()[1]
        self.body, self.silent = f"ver_korv:{OWN_VERSION}.", False
        self.requests = []
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._run, daemon=True)
        self._thread.start()

    def _run(self):
        while not self._stop.is_set():
            if select.select([self.listener], [], [], 0.1)[0]:
                connection, _ = self.listener.accept()
                threading.Thread(target=self._serve, args=(connection,), daemon=True).start()

    def _serve(self, connection):
        with connection:
            connection.settimeout(10)
            request = b""
            try:
                while b"\r\n\r\n" not in request:
                    chunk = connection.recv(4096)
                    if not chunk:
                        break
                    request += chunk
            except OSError:
                pass
            self.requests.append(request)
            if self.silent:
                # Until the client hangs up or the test ends.
                while not self._stop.is_set() and not select.select([connection], [], [], 0.1)[0]:
                    pass
                return
            connection.sendall(b"HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + self.body.encode())

    def wait_for_requests(self, count, timeout=60):
        harness.wait_until(lambda: len(self.requests) >= count, timeout, f"{count} request(s) at the server")

    def close(self):
        self._stop.set()
        self._thread.join(10)
        self.listener.close()


@pytest.fixture
def server():
    started = UpdateServer()
    yield started
    started.close()


def unused_port():
    probe = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    probe.bind(("127.0.0.1", 0))
    port = probe.getsockname()[1]
    probe.close()
    return port


def install_browser(prefix):
    """The stand-in tool as the browser of http and https addresses."""
    prefix.install(harness.test_bin_dir() / "standin.exe", harness.STANDINS_DIR, "BROWSER.EXE")
    command = f'"{BROWSER}" "%1"'
    prefix.import_values({f"HKCR\\{scheme}\\shell\\open\\command": {"": command} for scheme in ("http", "https")})


start = partial(configurator.start, mode=NORMAL_MODE)


def no_tidewell_box(prefix):
    return not prefix.wauto("windows --class #32770 --title Tidewell").windows


def check(prefix, answer=None):
    """Check now! on the open dialog once it is idle; the box's text, answered with a button id or
    OK."""
    answered = ["click", "--id", str(answer)] if answer else "click --text OK"
    shown = prefix.wauto(DIALOG, "enabled --id 1045 --state 1 --timeout 20", "click --id 1045", BOX,
                         "text --id 65535", answered)
    return shown.texts[0]


def browser_calls(prefix):
    return prefix.journal("BROWSER")


def assert_opened_the_site(call):
    assert build_setting("KORVANE_WEB_SITE") in call.command_line
    assert call.folder.lower() == harness.SYSTEM_DIR.lower(), "the browser works in the System folder"


# ---- The dialog ---------------------------------------------------------------------------------

def test_checks_from_the_dialog_tell_every_outcome_and_ok_stores_the_settings(prefix, server):
    program = start(prefix, {"PutTopButtons": 1})
    # The extra button of the panel opens the dialog, as the Help menu's item does.
    prefix.wauto(MAIN, "click --id 1080")
    shown = prefix.wauto(DIALOG, "list")
    controls = {c[1]: c for c in shown.controls}
    assert controls[1045][3] == "&Check now!" and controls[1045][5]
    assert controls[1100][3] == "Close this application when new version ex&ists."
    harness.screenshot("update-dialog-en")
    prefix.wauto(DIALOG, ["settext", "--id", "1003", "127.0.0.1"], ["settext", "--id", "1005", str(server.port)],
                 ["settext", "--id", "1006", "5"])

    server.body = f"HTTP junk before\r\nver_korv:{OWN_VERSION + 1}.\r\n"
    assert check(prefix, IDNO) == NEWER
    host = build_setting("KORVANE_UPDATE_HOST")
    assert server.requests[0] == (f"GET http://{host}/update.txt HTTP/1.1\r\nUser-Agent: lumenlib [ja] (korv4)\r\n"
                                  f"Host: {host}\r\n\r\n").encode()
    for body, told in [(f"ver_korv:{OWN_VERSION}.", SAME), (f"ver_korv:0{OWN_VERSION - 1}", NOT_FOUND),
                       (f"ver_korv:0{OWN_VERSION - 1}.", OLDER), ("no version at all", NOT_FOUND),
                       ("ver_korv:1001.", NOT_FOUND), (f"betakorv:{OWN_VERSION + 1}.", NOT_FOUND)]:
        server.body = body
        assert check(prefix) == told, body
    prefix.wauto(DIALOG, "check --id 1060")
    server.body = f"ver_korv:{OWN_VERSION}.\r\nbetakorv:{OWN_VERSION + 1}."
    assert check(prefix, IDNO) == NEWER, "the beta tag counts with the beta box"
    assert not browser_calls(prefix), "No opens nothing"

    # A server that never answers: the time-out of 1 second, waited out.
    server.silent = True
    prefix.wauto(DIALOG, ["settext", "--id", "1006", "1"])
    began = time.monotonic()
    assert check(prefix) == NOT_FOUND
    assert time.monotonic() - began >= 2 - 0.2
    prefix.wauto(DIALOG, ["settext", "--id", "1005", str(unused_port())])
    assert check(prefix) == CONNECT_FAILED
    assert len(server.requests) == 9

    prefix.wauto(DIALOG, ["settext", "--id", "1005", str(server.port)], ["settext", "--id", "1006", "5"],
                 "check --id 1046", "click --id 1", "closed --timeout 10")
    stored = settings(prefix)
    assert {name: stored.get(name) for name in ("AutoUpdateCheck", "BetaUpdateCheck", "CloseWindow_wnve",
                                                "HTTPProxy", "HTTPProxyPort", "HTTPTimeout")} == {
        "AutoUpdateCheck": 1, "BetaUpdateCheck": 1, "CloseWindow_wnve": 1, "HTTPProxy": "127.0.0.1",
        "HTTPProxyPort": str(server.port), "HTTPTimeout": 5}
    exit_program(prefix, program)


# ---- The automatic check at start ---------------------------------------------------------------

def automatic(server, **more):
    return {"AutoUpdateCheck": 1, "HTTPProxy": "127.0.0.1", "HTTPProxyPort": str(server.port), "HTTPTimeout": 20,
            **more}


def test_the_automatic_check_is_silent_for_the_same_version_and_the_site_opens_from_the_menu(prefix, server):
    install_browser(prefix)
    program = start(prefix, automatic(server))
    server.wait_for_requests(1)
    # The dialog shows the check busy until its worker is done.
    prefix.wauto(MAIN, "menu 1080")
    prefix.wauto(DIALOG, "enabled --id 1045 --state 1 --timeout 30")
    assert no_tidewell_box(prefix), "the same version is not worth a word"
    prefix.wauto(DIALOG, "click --id 2", "closed --timeout 10")

    prefix.wauto(MAIN, "menu 32773")
    harness.wait_until(lambda: browser_calls(prefix), 30, "the browser to be called")
    [call] = browser_calls(prefix)
    assert_opened_the_site(call)
    assert no_tidewell_box(prefix)
    exit_program(prefix, program)


def test_cancel_on_the_automatic_question_turns_the_check_off(prefix, server):
    server.body = f"ver_korv:{OWN_VERSION + 1}."
    program = start(prefix, automatic(server), env=JAPANESE)
    asked = prefix.wauto(BOX.replace("Tidewell", "タイドウェル"), "text --id 65535", ["click", "--id", str(IDCANCEL)])
    assert "([キャンセル] : 今後は通知しません。)" in asked.texts[0]
    wait_for_setting(prefix, "AutoUpdateCheck", 0, timeout=30)
    prefix.wauto(MAIN, "menu 1080")
    dialog = DIALOG.replace("Checking Update", "アップデートチェック")
    shown = prefix.wauto(dialog, "enabled --id 1045 --state 1 --timeout 30", "checked --id 1046")
    assert [r[0] for r in shown.of_kind("check")] == ["0"]
    harness.screenshot("update-dialog-ja")
    prefix.wauto(dialog, "click --id 2", "closed --timeout 10")
    exit_program(prefix, program)
    assert len(server.requests) == 1


def test_yes_on_the_automatic_question_opens_the_site_and_closes_tidewell(prefix, server):
    install_browser(prefix)
    server.body = f"ver_korv:{OWN_VERSION + 1}."
    program = start(prefix, automatic(server))
    asked = prefix.wauto(BOX, "text --id 65535")
    assert asked.texts == [NEWER_AUTOMATIC]
    harness.screenshot("update-question-en")
    prefix.wauto(BOX, ["click", "--id", str(IDYES)])
    assert program.wait(60) == 0, "Tidewell closed itself"
    [call] = browser_calls(prefix)
    assert_opened_the_site(call)
    assert settings(prefix)["AutoUpdateCheck"] == 1
