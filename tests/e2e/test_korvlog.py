"""KORVLOG runs a console tool's command line as given, lets its output through and ends with its
exit code, as the command list's $IFE entries expect."""
import pytest

import harness

KORVLOG = harness.PRODUCT_DIR + "\\KORVLOG.EXE"


@pytest.mark.parametrize("switch", ["-p", "-c"])
def test_exit_code_and_output_pass_through(prefix, switch):
    result = prefix.run("KORVLOG.EXE", switch, "CMD.EXE", "/C", "echo passed through& exit 3", timeout=30)
    assert (result.returncode, result.stdout.strip()) == (3, "passed through"), result


def test_quoted_program_path_with_a_blank_gets_the_rest_unchanged(prefix):
    tool = prefix.install_test_program("echoargs.exe", harness.PRODUCT_DIR + "\\echo tool")
    # Wine quotes each argument holding a blank, so KORVLOG's own name arrives quoted too.
    result = prefix.run("KORVLOG.EXE", "-c", tool, "7", "a  b", "-f", timeout=30)
    assert result.returncode == 7, result
    assert f'command line: "{tool}" 7 "a  b" -f' in result.stdout.splitlines(), result.stdout
    assert "argument 2: a  b" in result.stdout.splitlines()
    assert result.stderr.strip() == "echoargs: on stderr", "the tool's stderr passes through"


def test_full_exit_codes_and_missing_programs_inside_cmd(prefix):
    # As the planner starts it: from a CMD command line, whose ERRORLEVEL shows the whole code
    # (Linux sees only its low 8 bits).
    prefix.write_file("C:\\tests\\korvlog.bat", "\r\n".join([
        "@echo off",
        f'"{KORVLOG}" -c CMD.EXE /C exit 300',
        "echo exit code %ERRORLEVEL%",
        f'"{KORVLOG}" -p NOSUCH.EXE /x',
        "echo exit code %ERRORLEVEL%",
        f'"{KORVLOG}" -c "C:\\No Such Folder\\tool.exe" C:',
        "echo exit code %ERRORLEVEL%",
        f'"{KORVLOG}" -c "C:\\unterminated quote',
        "echo exit code %ERRORLEVEL%",
    ]) + "\r\n")
    result = prefix.run("CMD.EXE", "/C", "C:\\tests\\korvlog.bat", timeout=60)
    assert result.stdout.split() == ["exit", "code", "300"] + ["exit", "code", "9009"] * 3, result
    errors = result.stderr.strip().splitlines()
    assert len(errors) == 3, result.stderr
    for line, program in zip(errors, ["NOSUCH.EXE", "C:\\No Such Folder\\tool.exe", "C:\\unterminated quote"]):
        head = f'KORVLOG: cannot run "{program}": '
        assert line.startswith(head) and len(line) > len(head), f"names the program and the system's reason: {line}"


@pytest.mark.parametrize("args, problem", [
    ([], "no switch given"),
    (["-x", "CMD.EXE"], 'unknown switch "-x"'),
    (["/c", "CMD.EXE"], 'unknown switch "/c"'),
    (["-cCMD.EXE"], 'unknown switch "-cCMD.EXE"'),
    (["-c"], "no command line after -c"),
])
def test_bad_command_lines_get_usage_and_exit_code_2(prefix, args, problem):
    result = prefix.run("KORVLOG.EXE", *args, timeout=30)
    assert result.returncode == 2, result
    assert result.stderr.splitlines()[0] == f"KORVLOG: {problem}"
    assert "usage: KORVLOG.EXE -p COMMAND LINE" in result.stderr
