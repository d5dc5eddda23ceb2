"""A real Rinsa run in a sandboxed Wine prefix: defragment drive C: on Windows 7, as a user who
chose it in the configurator would get it. KORVANE.EXE /A plans the run and restarts; the machine
comes back with QS as its shell, QS runs the (stand-in) defragmenter and switches off. Prints the
command list the planner wrote and the run log.

Run by scripts/run.sh; needs the environment it sets (TIDEWELL_BIN_DIR, TIDEWELL_TEST_BIN_DIR,
TIDEWELL_WINE_TEMPLATE)."""
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "e2e"))

import harness  # noqa: E402
from session import SETTINGS_KEY, Session  # noqa: E402

SETTINGS = {"Selected": 0, "Drives": 1 << 2, "How": 2, "NotAutoPowerOff": 0, "ba_afterwait": 1, "ba_aftersleep": 5}


def main():
    display = harness.ensure_display()
    prefix = harness.Prefix("rinsa-demo")
    try:
        prefix.install_standins(["DEFRAG", "CHKDSK"])
        prefix.set_standin("DEFRAG", sleep_ms=3000, text="Defragmenting C: (stand-in) ...")
        prefix.import_values({"HKCU\\Software\\Wine": {"Version": "win7"}, SETTINGS_KEY: SETTINGS})
        session = Session(prefix)
        korvane = session.start(harness.PRODUCT_DIR + "\\KORVANE.EXE", "/A")
        planned = session.run(first=korvane, boots=0, timeout=120)
        print("The planner asked for:", ", ".join(planned.kinds) or "nothing")
        print("Command list:")
        for index, line in session.command_list().items():
            print(f"  order{index}: {line}")
        ended = session.run(timeout=180)
        print("The run ended with:", ended.ended)
        print("Run log (KORVANE.LOG):")
        for line in session.run_log():
            print(f"  [{line.field}] {line.text}")
        return 0 if ended.ended == "poweroff" else 1
    finally:
        prefix.close()
        if display:
            display.stop()


if __name__ == "__main__":
    sys.exit(main())
