// KORVLOG's reading of its own command line: its name (quoted or not) skipped, the switch, and the
// tool's command line kept exactly as given.
#include "korvlog.h"

#include <gtest/gtest.h>

namespace {

TEST(KorvlogCommandLine, KeepsTheToolsCommandLineAsGiven) {
    struct Case {
        const char *raw;
        char switchLetter;
        const char *commandLine;
    } cases[] = {
        {"KORVLOG.EXE -c CHKDSK.EXE C: /F", 'c', "CHKDSK.EXE C: /F"},
        {"KORVLOG.EXE -p DEFRAG.EXE C: -f -v", 'p', "DEFRAG.EXE C: -f -v"},
        {"\"C:\\Program Files\\Tidewell\\KORVLOG.EXE\" -c DEFRAG.EXE C: -f", 'c', "DEFRAG.EXE C: -f"},
        // The planner quotes the short path; a switch-like text inside the quotes is still the name.
        {"\"C:\\odd -c name\\KORVLOG.EXE\" -p X.EXE", 'p', "X.EXE"},
        {"KORVLOG.EXE -c \"C:\\Program Files\\t.exe\" \"a  b\" \"\"", 'c',
         "\"C:\\Program Files\\t.exe\" \"a  b\" \"\""},
        {"KORVLOG.EXE -C CMD.EXE /C exit 3", 'c', "CMD.EXE /C exit 3"},
        {"KORVLOG.EXE\t-c\tCMD.EXE\t/C", 'c', "CMD.EXE\t/C"},
        {"KORVLOG.EXE   -c    CMD.EXE  ", 'c', "CMD.EXE  "},
        {"\"KORVLOG.EXE\"-c CMD.EXE", 'c', "CMD.EXE"},
        // 0x95 0x5C is a Shift-JIS character whose second byte looks like a backslash.
        {"C:\\\x95\x5C\\KORVLOG.EXE -c \x95\x5C.EXE", 'c', "\x95\x5C.EXE"},
    };
    for (const Case &c : cases) {
        KorvlogCommand command = ParseKorvlogCommandLine(c.raw);
        EXPECT_EQ(c.switchLetter, command.switchLetter) << c.raw << ": " << command.error;
        EXPECT_EQ(c.commandLine, command.commandLine) << c.raw;
    }
}

TEST(KorvlogCommandLine, SaysWhatIsWrongWithABadOne) {
    struct Case {
        const char *raw;
        const char *error;
    } cases[] = {
        {"", "no switch given"},
        {"KORVLOG.EXE", "no switch given"},
        {"KORVLOG.EXE   ", "no switch given"},
        {"\"C:\\Program Files\\KORVLOG.EXE -c CMD.EXE", "no switch given"},
        {"KORVLOG.EXE CMD.EXE /C exit", "unknown switch \"CMD.EXE\""},
        {"KORVLOG.EXE -x CMD.EXE", "unknown switch \"-x\""},
        {"KORVLOG.EXE /c CMD.EXE", "unknown switch \"/c\""},
        {"KORVLOG.EXE -cCMD.EXE", "unknown switch \"-cCMD.EXE\""},
        {"KORVLOG.EXE - CMD.EXE", "unknown switch \"-\""},
        {"KORVLOG.EXE -c", "no command line after -c"},
        {"KORVLOG.EXE -p \t ", "no command line after -p"},
    };
    for (const Case &c : cases) {
        KorvlogCommand command = ParseKorvlogCommandLine(c.raw);
        EXPECT_EQ(0, command.switchLetter) << c.raw;
        EXPECT_EQ(c.error, command.error) << c.raw;
        EXPECT_TRUE(command.commandLine.empty()) << c.raw;
    }
}

TEST(KorvlogCommandLine, NamesTheProgramOfACommandLine) {
    struct Case {
        const char *commandLine;
        const char *program;
    } cases[] = {
        {"NOSUCH.EXE /x", "NOSUCH.EXE"},
        {"\"C:\\Program Files\\t.exe\" a", "C:\\Program Files\\t.exe"},
        {"\"C:\\Program Files\\t.exe\"", "C:\\Program Files\\t.exe"},
        {"\"C:\\unterminated quote", "C:\\unterminated quote"},
        {"\"\" x", ""},
        {"\"", ""},
        {"DEFRAG.EXE", "DEFRAG.EXE"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.program, ProgramOfCommandLine(c.commandLine)) << c.commandLine;
}

} // namespace
