"""The run preview and the restore audit on the real programs: KORVANE.EXE /P shows the run that the
current settings would make and leaves the registry and drive C: exactly as they were; the real
run then writes the very command list the report showed. At the end of a run QS audits every
setting the planner changed: a run played to its end audits clean, and one whose restore is undone
by a program of the list names exactly that setting. The Tools menu opens the report in English
and Japanese (screenshots as artefacts)."""
import re

import harness
from session import SETTINGS_KEY, WINLOGON_KEY
from test_rinsa_run import KORVANE, MACHINE_WINLOGON, POLICIES, SERVICES, Machine

PREVIEW_TEXT, CLOSE = 1240, 2
MENU_PREVIEW = 32801
TITLES = {"en": "Preview Rinsa run", "ja": "Rinsa の実行のプレビュー"}
LANGUAGES = {"en": {"RNSLANG": "EN"}, "ja": {**harness.JAPANESE, "RNSLANG": "JA"}}
SERVICE = SERVICES + "\\TwSrvA"
# Every key a run of these scenarios touches, with all their subkeys: the settings, the shells and
# logon, UAC, services, BootExecute and the RunOnce values.
WHOLE_REGISTRY = ("HKLM\\Software", "HKCU\\Software", "HKLM\\SYSTEM\\CurrentControlSet")
# Wine's own records of each program that opens a window: a display entry per desktop process and the
# system parameters it keeps for the session. Tidewell writes nothing there.
WINE_PER_PROCESS = ("HKCU\\Software\\Wine\\Temporary System Parameters\\",
                    "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Video\\")
# The harness's own files (reg.exe's import and export files, wauto), written by the test itself.
HARNESS_FOLDER = "tests"
# An earlier run's audit in the log: the preview shows it as the last audit.
EARLIER_AUDIT = "Jan  5, 2026 10:00:00 [QS]All 4 changed settings are back as before the run.\r\n"
CLEAN_AUDIT = re.compile(r"^All (\d+) changed settings are back as before the run\.$")


def files_of_drive_c(prefix):
    """{path below C:\\: (size, modification time)} of every file and folder but the harness's."""
    root = prefix.unix_path("C:\\")
    tree = {}
    for path in root.rglob("*"):
        relative = path.relative_to(root)
        if relative.parts[0].lower() == HARNESS_FOLDER or path.is_symlink():
            continue
        stat = path.stat()
        tree[str(relative)] = (stat.st_size, stat.st_mtime_ns) if path.is_file() else "folder"
    return tree


def machine_state(machine):
    """The whole registry a run touches and drive C:. The first window of a fresh prefix has Wine
    set up its display (adapters, monitors, its system parameters) in the registry; a window
    before the first snapshot keeps that out of the comparison."""
    machine.prefix.wauto("windows")
    return machine.session.snapshot(*WHOLE_REGISTRY), files_of_drive_c(machine.prefix)


def compare_files(before, after):
    return [f"{path}: {'added' if path not in before else 'removed' if path not in after else 'changed'}"
            for path in sorted(set(before) | set(after)) if before.get(path) != after.get(path)]


def read_report(prefix, language="en", opened_by="switch"):
    """The text of the preview dialog now open, which is then closed; it is kept as an artefact with
    a screenshot, named by how it was opened."""
    shown = prefix.wauto(["wait", "--class", "#32770", "--title", TITLES[language], "--timeout", "60"],
                         f"text --id {PREVIEW_TEXT}")
    harness.screenshot(f"preview-{opened_by}-{language}")
    prefix.wauto(["wait", "--class", "#32770", "--title", TITLES[language], "--timeout", "10"],
                 f"click --id {CLOSE}", "closed --timeout 30")
    report = shown.texts[0].replace("\r\n", "\n")
    (harness.artifacts_dir() / f"preview-{opened_by}-{language}.txt").write_text(report, encoding="utf-8")
    return report


def listed_entries(report):
    return [entry for _, entry in re.findall(r"^  order(\d+)\t(.*)$", report, re.M)]


def audited_changes(report):
    """The Windows settings among the report's system changes: korvane's own records are not audited."""
    changes = re.findall(r"^  (HK\w\w\\.*)$", report, re.M)
    return [c for c in changes if not c.lower().startswith(SETTINGS_KEY.lower() + "\\")]


def audit_lines(machine):
    return [t for t in machine.log() if t.startswith("NOT restored: ") or "changed settings are" in t]


def preview_changing_nothing(machine):
    """The report of korvane /P, which must leave the registry and drive C: as they were."""
    registry, files = machine_state(machine)
    korvane = machine.prefix.start(KORVANE, "/P")
    report = read_report(machine.prefix)
    assert korvane.wait(30) == 0
    registry_after, files_after = machine_state(machine)
    changed = [line for line in registry.compare(registry_after) if not line.startswith(WINE_PER_PROCESS)]
    changed += compare_files(files, files_after)
    assert not changed, "the preview changed:\n" + "\n".join(changed)
    return report


def run_with_service_and_logon(prefix, settings):
    prefix.import_values({SERVICE: {"Start": 2, "Type": 16}, MACHINE_WINLOGON: {"AutoAdminLogon": None},
                          WINLOGON_KEY: {"Shell": None}})
    return Machine(prefix, "win7", {"stopsrv": "TwSrvA\x07", "OffAutoLogon": 1, **settings})


def test_preview_changes_nothing_and_the_run_writes_what_it_showed_then_audits_clean(prefix):
    machine = run_with_service_and_logon(prefix, {})
    prefix.write_file(harness.PRODUCT_DIR + "\\KORVANE.LOG", EARLIER_AUDIT)
    report = preview_changing_nothing(machine)

    assert report.startswith("Preview of the Rinsa run - Defragment, run method 2\nNothing has been changed.\n")
    assert f"{SERVICE}\\Start\n      now: 2  during the run: 4\n      put back by: $RService TwSrvA\n" in report
    assert report.rstrip().endswith("\nLast restore audit (1)\n  " + EARLIER_AUDIT.rstrip()), report
    shown = listed_entries(report)
    assert shown[0] == "$EnableUAC" and shown[-1] == "$End ExitWindows", report

    outcome, _ = machine.plan()
    assert outcome.kinds == ["reboot"], outcome
    assert list(machine.session.command_list().values()) == shown, "the run writes the list the preview showed"
    assert prefix.reg_values(SERVICE)["Start"] == 4
    assert machine.finish().kinds == ["poweroff"]
    audit = audit_lines(machine)[1:]  # after the earlier run's
    assert len(audit) == 1 and CLEAN_AUDIT.match(audit[0]), audit
    assert int(CLEAN_AUDIT.match(audit[0]).group(1)) == len(audited_changes(report)) == 5, audit
    assert "RestoreAudit" not in prefix.reg_values(SETTINGS_KEY)


# Run kinds and methods whose planning would start programs, schedule a check at boot or start QS
# at once: the preview only names them.
OTHER_RUNS = [
    ("Check disk, run method 2", {"Selected": 1}, ["Logon pre-test"]),
    ("Defragment, run method 2", {"cleanmgr": 1, "DelTrash": 1}, ["Empty the Recycle Bin", "CLEANMGR.EXE /D C:"]),
    ("Other programs, run method 4", {"How": 4, "Selected": 3, "LastCmdLine": "CMD.EXE /C exit 0"}, []),
]


def test_a_preview_of_other_run_kinds_and_methods_changes_nothing(prefix):
    machine = Machine(prefix, "win10", {})
    for summary, settings, programs in OTHER_RUNS:
        prefix.import_values({SETTINGS_KEY: {"Selected": 0, "How": 2, "cleanmgr": 0, "DelTrash": 0, **settings}})
        report = preview_changing_nothing(machine)
        assert report.startswith(f"Preview of the Rinsa run - {summary}\n"), report
        ran = re.search(r"^Run before the restart \(\d+\)\n((?:  .*\n)*)", report, re.M).group(1)
        assert [line.strip() for line in ran.splitlines()] == programs, report
        assert prefix.journal() == [], "no tool was started"


def test_a_restore_undone_by_a_program_of_the_list_is_the_one_setting_reported(prefix):
    """The user's own program runs after QS put the service back and sets it to disabled again."""
    undo = f"reg.exe add {SERVICE} /v Start /t REG_DWORD /d 4 /f"
    machine = run_with_service_and_logon(prefix, {"Selected": 3, "LastCmdLine": undo})
    outcome, entries = machine.plan()
    assert outcome.kinds == ["reboot"], outcome
    assert entries.index("$RService TwSrvA") < entries.index(undo), entries
    assert machine.finish().kinds == ["poweroff"]
    audit = audit_lines(machine)
    assert audit[0] == f"NOT restored: {SERVICE}\\Start was 2, now 4", audit
    assert len(audit) == 2 and re.fullmatch(r"1 of \d+ changed settings are NOT back as before the run\.",
                                            audit[1]), audit
    assert prefix.reg_values(POLICIES)["EnableLUA"] == 1, "the other settings came back"


def test_the_tools_menu_opens_the_report_in_both_languages(prefix):
    prefix.import_values({SETTINGS_KEY: {"CreateRestorePoint": 0, "warn_summer": 1, "mode": 1, "Selected": 3,
                                         "LastCmdLine": "CMD.EXE /C exit 0", "How": 2}})
    headings = {"en": "Preview of the Rinsa run - Other programs", "ja": "Rinsa の実行のプレビュー - ほかのプログラム"}
    for language, env in LANGUAGES.items():
        korvane = prefix.start(KORVANE, env=env)
        prefix.wauto("wait --class korvane --timeout 60", f"menu {MENU_PREVIEW}")
        report = read_report(prefix, language, "tools-menu")
        assert report.startswith(headings[language]), report
        assert "CMD.EXE /C exit 0" in listed_entries(report), report
        prefix.wauto("wait --class korvane --timeout 30", "click --id 104")
        assert korvane.wait(30) == 0
