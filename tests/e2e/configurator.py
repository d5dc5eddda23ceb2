"""KORVANE.EXE as the end-to-end tests start and end it: where it is, the wauto step that finds its
main window, the languages it is started in, the questions of a first start answered once and for
all, and the settings it stores, read back and waited for."""
import harness
from session import SETTINGS_KEY

KORVANE = harness.PRODUCT_DIR + "\\KORVANE.EXE"
MAIN = "wait --class korvane --timeout 60"
ENGLISH = {"RNSLANG": "EN"}
JAPANESE = {**harness.JAPANESE, "RNSLANG": "JA"}
# Questions of the start-up that a first start would ask, answered once and for all.
QUIET_START = {"CreateRestorePoint": 0, "warn_summer": 1}
# The stored screen the window opens with; without one it opens on the mode selection.
NORMAL_MODE, WIZARD_MODE = 1, 21
EXIT_BUTTON = 104


def start(prefix, settings=None, env=ENGLISH, session=None, *, mode=None, ready=(), first=None):
    """Starts KORVANE.EXE with QUIET_START, the screen mode and settings stored over one another in
    that order; the values of first (another key: {name: value}) are imported with them. Through a
    Session when one is given, so that its restarts are played. Returns once the main window is
    there and the wauto steps of ready, run on it, have passed."""
    stored = {**QUIET_START, **({"mode": mode} if mode is not None else {}), **(settings or {})}
    prefix.import_values({**(first or {}), SETTINGS_KEY: stored})
    program = session.start(KORVANE, env=env) if session else prefix.start(KORVANE, env=env)
    prefix.wauto(MAIN, *ready)
    return program


def exit_program(prefix, program, ready=()):
    """Exit on the main window (after the steps of ready) and a clean end of the program."""
    prefix.wauto(MAIN, *ready, f"click --id {EXIT_BUTTON}")
    assert program.wait(30) == 0


def settings(prefix):
    """The settings key as {name: value}; {} while it does not exist."""
    return prefix.reg_values(SETTINGS_KEY) or {}


def wait_for_setting(prefix, name, value, timeout=20):
    harness.wait_until(lambda: settings(prefix).get(name) == value, timeout, f"{name} to become {value!r}")
