"""A real Rinsa run in a sandboxed Wine prefix: defragment drive C: on Windows 7, with a stand-in
defragmenter. The planner changes the system and restarts; the machine comes back with QS as its
shell, QS runs the defragmenter and switches off. Prints the command list the planner wrote and the
run log.

With a display of your own (DISPLAY set), the configurator opens on it: choose the normal mode,
"Defragment" and drive C:, press Start and answer Yes, then watch the restart and the run to its
end. Without one (or with TIDEWELL_HEADLESS=1), KORVANE.EXE /A plays the same run on a private X
server.

Run by scripts/run.sh; needs the environment it sets (TIDEWELL_BIN_DIR, TIDEWELL_TEST_BIN_DIR,
TIDEWELL_WINE_TEMPLATE)."""
import os
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "e2e"))

import harness  # noqa: E402
from session import SETTINGS_KEY, Session  # noqa: E402

KORVANE = harness.PRODUCT_DIR + "\\KORVANE.EXE"
# How the run goes: QS as the shell, switch off at the end, a short pause before it.
RUN_SETTINGS = {"How": 2, "NotAutoPowerOff": 0, "ba_afterwait": 1, "ba_aftersleep": 5}
# What a person chooses on the screen; the run without a screen takes it as chosen.
CHOICE = {"Selected": 0, "Drives": 1 << 2}
# The first start's questions (restore point, hot weather) are not part of the demonstration.
QUIET_START = {"CreateRestorePoint": 0, "warn_summer": 1}
# A person may take their time on the screen.
CHOOSING_TIME = 3600

INSTRUCTIONS = """The configurator is on your screen, in a sandboxed Wine prefix (Windows 7, with a
stand-in defragmenter). Choose "Normal Mode", then "Defragment" and drive C, press Start and
answer Yes. The machine restarts, QS defragments drive C: and switches off; this window follows
the run to its end. Closing the configurator ends the demonstration without a run."""


def prepare(prefix, interactive):
    prefix.install_standins(["DEFRAG", "CHKDSK"])
    prefix.set_standin("DEFRAG", sleep_ms=3000, text="Defragmenting C: (stand-in) ...")
    chosen = {} if interactive else CHOICE
    prefix.import_values({"HKCU\\Software\\Wine": {"Version": "win7"},
                          SETTINGS_KEY: {**RUN_SETTINGS, **QUIET_START, **chosen}})


def print_plan(session, planned):
    print("The planner asked for:", ", ".join(planned.kinds) or "nothing")
    print("Command list:")
    for index, line in session.command_list().items():
        print(f"  order{index}: {line}")


def finish(session):
    ended = session.run(timeout=180)
    print("The run ended with:", ended.ended)
    print("Run log (KORVANE.LOG):")
    for line in session.run_log():
        print(f"  [{line.field}] {line.text}")
    return 0 if ended.ended == "poweroff" else 1


def main():
    display = harness.ensure_display()
    interactive = display is None and os.environ.get("TIDEWELL_HEADLESS") != "1"
    prefix = harness.Prefix("rinsa-demo")
    try:
        prepare(prefix, interactive)
        session = Session(prefix)
        if interactive:
            print(INSTRUCTIONS, flush=True)
            korvane = session.start(KORVANE)
            planned = session.run(first=korvane, boots=0, timeout=CHOOSING_TIME)
            if not planned.kinds:
                print("The configurator was closed without starting a run.")
                return 0
        else:
            korvane = session.start(KORVANE, "/A")
            planned = session.run(first=korvane, boots=0, timeout=120)
        print_plan(session, planned)
        return finish(session)
    finally:
        prefix.close()
        if display:
            display.stop()


if __name__ == "__main__":
    sys.exit(main())
