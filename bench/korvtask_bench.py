#!/usr/bin/env python3
"""The resident scheduler at rest: the CPU time and the working set of KORVTASK.EXE /s over five idle
minutes under Wine, read from /proc of its Wine process; beside it the CPU time of the prefix's
wineserver, which answers every registry call the resident makes, measured for the same time before
the resident starts and while it runs. Aim: the resident's CPU time under 0.1 % of the wall time.
  korvtask_bench.py [seconds]      (default 300)
Needs TIDEWELL_BIN_DIR, TIDEWELL_TEST_BIN_DIR and TIDEWELL_WINE_TEMPLATE, as bench/run.sh sets them."""
import os
import sys
import time
from datetime import datetime, timedelta
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "e2e"))
import harness  # noqa: E402

KORVTASK = harness.PRODUCT_DIR + "\\KORVTASK.EXE"
SCHEDULER_KEY = "HKLM\\SOFTWARE\\Halvornix\\Korvane\\korvtask"
CLOCK_TICKS = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    """User and system time of a Linux process."""
    fields = Path(f"/proc/{pid}/stat").read_text().rpartition(")")[2].split()
    return (int(fields[11]) + int(fields[12])) / CLOCK_TICKS


def memory_kb(pid):
    """(resident set, its peak) in kB."""
    values = {}
    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
        name, _, rest = line.partition(":")
        if name in ("VmRSS", "VmHWM"):
            values[name] = int(rest.split()[0])
    return values.get("VmRSS", 0), values.get("VmHWM", 0)


def find_pid(prefix, word):
    found = [pid for pid, command in harness.prefix_processes(prefix.path) if word.lower() in command.lower()]
    if not found:
        raise harness.HarnessError(f"no process of {word} in the prefix")
    return found[0]


def idle_settings():
    """Every path of a tick but the start: a set time twelve hours away, the tray icon and the
    exclusion list on."""
    away = datetime.now() + timedelta(hours=12)
    return {SCHEDULER_KEY: {"Time_Hour": away.hour, "Time_Min": away.minute, "Kind": 1, "TrayIcon": 1,
                            "NotStart": 1, "Snooze": 1, "SnoozeTime": 479}}


def main():
    seconds = int(sys.argv[1]) if len(sys.argv) > 1 else 300
    harness.ensure_display()
    prefix = harness.Prefix("korvtask-bench")
    try:
        prefix.import_values(idle_settings())
        server = find_pid(prefix, "wineserver")
        before = cpu_seconds(server)
        time.sleep(seconds)
        server_alone = cpu_seconds(server) - before

        prefix.start(KORVTASK, "/s", env={"RNSLANG": "EN"})
        prefix.wauto("wait --class korvane_task_sr --hidden --timeout 60")
        resident = find_pid(prefix, "KORVTASK.EXE")
        time.sleep(5)  # past the start-up and the catch-up search
        start_cpu, start_server, start_memory = cpu_seconds(resident), cpu_seconds(server), memory_kb(resident)
        began = time.monotonic()
        time.sleep(seconds)
        wall = time.monotonic() - began
        used, server_used, end_memory = cpu_seconds(resident) - start_cpu, cpu_seconds(server) - start_server, \
            memory_kb(resident)
    finally:
        prefix.close()

    print(f"KORVTASK.EXE /s at rest, {wall:.0f} s (aim: CPU time under 0.1 % of the wall time):")
    print(f"  resident CPU time      {used * 1000:8.0f} ms  {100 * used / wall:6.3f} % of the wall time")
    print(f"  wineserver, resident   {server_used * 1000:8.0f} ms  {100 * server_used / wall:6.3f} %")
    print(f"  wineserver, alone      {server_alone * 1000:8.0f} ms  {100 * server_alone / seconds:6.3f} %")
    print(f"  working set            {start_memory[0] / 1024:8.1f} MB at the start, {end_memory[0] / 1024:.1f} MB "
          f"at the end, peak {end_memory[1] / 1024:.1f} MB")


if __name__ == "__main__":
    main()
