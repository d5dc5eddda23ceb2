// The exclusion check: the list split and upper-cased as the user wrote it, matched against the
// name and extension of each running program.
#include "korvtask.h"

#include <gtest/gtest.h>

namespace {

TEST(Exclusion, TheListIsSplitAtLineBreaksAndUpperCased) {
    struct Case {
        const char *list;
        std::vector<std::string> entries;
    };
    const Case cases[] = {
        {"", {}},
        {"\r\n\r\n", {}},
        {"notepad.exe", {"NOTEPAD.EXE"}},
        {"notepad.exe\r\nExcel.Exe\r\n", {"NOTEPAD.EXE", "EXCEL.EXE"}},
        {"a.exe\nb.exe\rc.exe\n\n\rd.exe", {"A.EXE", "B.EXE", "C.EXE", "D.EXE"}},
        {" spaced.exe ", {" SPACED.EXE "}},
        // ソ (0x83 0x5C) has a backslash for its trail byte; upper-casing leaves both bytes alone.
        {"\x83\x5C"
         "ft.exe",
         {"\x83\x5C"
          "FT.EXE"}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.entries, ExclusionEntries(c.list)) << c.list;
    EXPECT_EQ(ExclusionEntries(kDefaultExclusionList).size(), 10u);
}

TEST(Exclusion, ARunningProgramMatchesByNameAndExtension) {
    struct Case {
        const char *list;
        const char *exeFile;
        bool match;
    };
    const Case cases[] = {
        {"notepad.exe", "NOTEPAD.EXE", true},
        {"NOTEPAD.EXE", "notepad.exe", true},
        {"NOTEPAD.EXE", "C:\\windows\\system32\\notepad.exe", true},
        {"C:\\windows\\notepad.exe", "notepad.exe", false},
        {"NOTEPAD", "notepad.exe", false},
        {"NOTEPAD.EXE ", "notepad.exe", false},
        {"WORDPAD.EXE\r\nNOTEPAD.EXE\r\n", "notepad.exe", true},
        {"", "notepad.exe", false},
        {kDefaultExclusionList, "winword.exe", true},
        {kDefaultExclusionList, "explorer.exe", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.match, IsExcludedProcess(ExclusionEntries(c.list), c.exeFile)) << c.list << " / " << c.exeFile;
    EXPECT_FALSE(IsExcludedProcess(ExclusionEntries("a.exe"), nullptr));
}

TEST(Exclusion, TheSnapshotFindsThisProgram) {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string self = strrchr(path, '\\') + 1;
    EXPECT_TRUE(ExcludedProgramRunning(("other.exe\r\n" + self).c_str()));
    EXPECT_FALSE(ExcludedProgramRunning("no-such-program-runs.exe"));
    EXPECT_FALSE(ExcludedProgramRunning(""));
}

} // namespace
