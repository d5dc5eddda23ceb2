// The planner's tools: command texts split into lines, entries written with their environment
// expanded, stale entries of an older list removed, and programs run with their prefixes.
#include "planner/rnsrun.h"

#include "language.h"
#include "log_capture.h"
#include "scoped_messages.h"
#include "settings.h"

#include <gtest/gtest.h>
#include <shlwapi.h>

namespace {

TEST(CommandTexts, LinesSkipBlanksAndEmptyLines) {
    EXPECT_EQ((std::vector<std::string>{"a b", "c", "d  "}), CommandLines("  a b\r\n\r\n\tc\nd  \r"));
    EXPECT_TRUE(CommandLines("").empty());
    EXPECT_TRUE(CommandLines(" \r\n\t").empty());
    EXPECT_EQ((std::vector<std::string>{"one"}), CommandLines("one"));
}

class ListTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetLanguage(Program::Korvane, false);
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, kSettingsPath);
        AppendCommand(nullptr);
    }
    void TearDown() override { SHDeleteKeyA(HKEY_LOCAL_MACHINE, kSettingsPath); }
    std::string Entry(int index) {
        REGA key;
        OpenSettings(key, OPEN_READONLY);
        auto text = key.RegReadStringA(OrderValueName(index).c_str(), "(absent)");
        key.CloseKey();
        return text.get();
    }
    LogCapture log_;
    ScopedMessages boxes_;
};

TEST_F(ListTest, EntriesAreNumberedAndExpanded) {
    AppendCommand("$LOG first");
    AppendCommand("$DelDir %windir%\\TEMP");
    EXPECT_EQ(2, CommandCount());
    EXPECT_EQ("$LOG first", Entry(0));
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, sizeof windows);
    EXPECT_EQ(std::string("$DelDir ") + windows + "\\TEMP", Entry(1));
    AppendCommand(nullptr);
    EXPECT_EQ(0, CommandCount());
}

TEST_F(ListTest, AShorterListLeavesNothingOfTheOlderOne) {
    for (const char *text : {"a", "b", "c", "d"})
        AppendCommand(text);
    WriteSettingDword("orderly", 1); // not an entry, whatever its name begins with
    AppendCommand(nullptr);
    AppendCommand("$End Boot");
    DeleteStaleCommands();
    EXPECT_EQ("$End Boot", Entry(0));
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ("(absent)", Entry(i)) << i;
    EXPECT_EQ(1, ReadSettingDword("orderly"));
}

TEST_F(ListTest, ProgramsRunWithTheirPrefixes) {
    EXPECT_TRUE(RunCommandLine("CMD.EXE /C exit 3"));
    EXPECT_EQ(3u, g_lastExitCode);
    EXPECT_TRUE(RunCommandLine("@CMD.EXE /C exit 4"));
    EXPECT_EQ(4u, g_lastExitCode);
    EXPECT_TRUE(RunCommandLine("!CMD.EXE /C exit 5"));
    EXPECT_EQ(0u, g_lastExitCode) << "not waited for";
    EXPECT_FALSE(RunCommandLine("C:\\no such folder\\nothing.exe"));
    EXPECT_EQ((std::vector<std::string>{"Command Line - CMD.EXE /C exit 3", "  Return Code = 3",
                                        "Command Line - !CMD.EXE /C exit 5", "No Wait",
                                        "Command Line - C:\\no such folder\\nothing.exe"}),
              log_.Texts());
}

TEST_F(ListTest, RegistryErrorReportNamesTheLocation) {
    ReportRegistryError("Winlogon");
    ASSERT_EQ(1u, boxes_.calls().size());
    EXPECT_EQ("Cannot open registry key.\r\n Winlogon", boxes_.calls()[0].text);
    EXPECT_EQ(UINT(MB_ICONERROR), boxes_.calls()[0].type);
    EXPECT_EQ((std::vector<std::string>{"Winlogon:Cannot open registry key."}), log_.Texts());
}

} // namespace
