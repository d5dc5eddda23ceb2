// Custom commands per drive: one per drive or one for all drives, and run at once.
#include "planner/rnsrun.h"

#include "language.h"
#include "log_capture.h"

#include <gtest/gtest.h>

namespace {

constexpr DWORD kC = 1u << 2, kD = 1u << 3, kE = 1u << 4;

TEST(PerDrive, TemplatesExpandPerDriveOrForAllDrives) {
    struct Case {
        const char *templ;
        bool allInOne;
        DWORD mask;
        std::vector<std::string> expected;
    } cases[] = {
        {"defrag %s -f", false, kC | kD, {"defrag C: -f", "defrag D: -f"}},
        {"defrag %s -f", true, kC | kD, {"defrag C: D: -f"}},
        {"defrag %s -f", true, kC | kD | kE, {"defrag C: D: E: -f"}},
        {"chk %s & echo %s done", false, kE, {"chk E: & echo E: done"}},
        // Only "%s" is a place for the drive; other percent signs are the user's.
        {"%windir%\\x.exe %s 100%d", false, kC, {"%windir%\\x.exe C: 100%d"}},
        {"tool.exe /all", false, kC | kD, {"tool.exe /all", "tool.exe /all"}},
        {"tool.exe /all", true, kC | kD, {"tool.exe /all"}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.expected, ExpandPerDrive(c.templ, c.allInOne, c.mask)) << c.templ << " all-in-one " << c.allInOne;
}

TEST(PerDrive, NoDrivesMeansEveryFixedDrive) {
    std::vector<std::string> expected;
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        char root[] = {letter, ':', '\\', '\0'};
        if (GetDriveTypeA(root) == DRIVE_FIXED) expected.push_back(std::string{'<', letter, ':', '>'});
    }
    ASSERT_FALSE(expected.empty()) << "the test prefix has its C: drive";
    EXPECT_EQ(expected, ExpandPerDrive("<%s>", false, 0));
}

TEST(PerDrive, RunNowLogsAndWaitsForEachCommand) {
    SetLanguage(Program::Korvane, false);
    LogCapture log_;
    RunPerDrive("CMD.EXE /C exit 7 %s", true, kC | kD);
    EXPECT_EQ(7u, g_lastExitCode) << "waited for";
    EXPECT_EQ((std::vector<std::string>{
                  "CMD.EXE /C exit 7 C: D:", "Command Line - CMD.EXE /C exit 7 C: D:", "  Return Code = 7"}),
              log_.Texts());
}

} // namespace
