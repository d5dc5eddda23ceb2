// The normal mode: the drive information texts and their pieces, the menu's rules, the check of a
// settings file, the export and import through REGEDIT.EXE, and the panel driven as a user would.
#include "window/normal.h"

#include "drop_files.h"
#include "key_access.h"
#include "main_window_session.h"
#include "planner_fixture.h"
#include "resource.h"
#include "system_state.h"
#include "winhandle.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

SYSTEMTIME Date(WORD year, WORD month, WORD day, WORD hour = 12, WORD minute = 0) {
    return SYSTEMTIME{year, month, 0, day, hour, minute, 0, 0};
}

// ---- Free space, days and lapsed times ----------------------------------------------------------

TEST(DriveInformation, FreeSpaceTakesTheUnitTheTotalCallsFor) {
    SetLanguage(Program::Korvane, false);
    const unsigned long long KiB = 1ULL << 10, MiB = 1ULL << 20, GiB = 1ULL << 30, TiB = 1ULL << 40;
    struct Case {
        unsigned long long total, free;
        const char *expected;
    } cases[] = {
        {100 * GiB, 25 * GiB, "25/100GB(25%free)"},
        {99 * GiB, 33 * GiB, "33792/101376MB(33%free)"},
        {100 * TiB, 1 * TiB, "1/100TB(1%free)"},
        {100 * TiB - 1, 50 * TiB, "51200/102399GB(50%free)"},
        {100 * MiB, 10 * MiB + 1, "10/100MB(10%free)"},
        {100 * KiB, 99 * KiB, "99/100KB(99%free)"},
        {100 * KiB - 1, 512, "512/102399B(0%free)"},
        {3 * GiB, 2 * GiB + 500 * MiB, "2548/3072MB(82%free)"},
        {0, 0, "0/0B(0%free)"},
        {2048 * TiB * 1024, 1024 * TiB * 1024, "1048576/2097152TB(50%free)"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.expected, FreeSpaceText(c.total, c.free)) << c.total << " / " << c.free;
}

TEST(DriveInformation, ElapsedDaysCountCalendarDaysInUtc) {
    struct Case {
        SYSTEMTIME then, today;
        unsigned expected;
    } cases[] = {
        {Date(2025, 12, 31, 23, 59), Date(2026, 1, 1, 0, 1), 1}, // times of day do not count
        {Date(2026, 3, 5, 0, 0), Date(2026, 3, 5, 23, 59), 0},
        {Date(2024, 2, 28), Date(2024, 3, 1), 2},
        {Date(2023, 2, 28), Date(2023, 3, 1), 1},
        {Date(2100, 2, 28), Date(2100, 3, 1), 1},
        {Date(2000, 2, 28), Date(2000, 3, 1), 2},
        {Date(2000, 1, 1), Date(2026, 12, 7), 9837},
        {Date(2027, 1, 1), Date(2026, 12, 7), 0}, // a clock set back: not a huge number of days
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.expected, ElapsedDays(c.then, c.today))
            << c.then.wYear << "-" << c.then.wMonth << "-" << c.then.wDay << " to " << c.today.wYear << "-"
            << c.today.wMonth << "-" << c.today.wDay;
}

TEST(DriveInformation, LapsedTimesShowHoursMinutesAndSeconds) {
    SetLanguage(Program::Korvane, false);
    EXPECT_EQ("(Lapsed time 1:02:03)", LapsedTimeText(3723999, false));
    EXPECT_EQ("(Lapsed time 25:00:00)", LapsedTimeText(90000000, false)) << "hours do not wrap";
    EXPECT_EQ("(Lapsed time[by Prifetch Log only] 0:00:10)", LapsedTimeText(10000, true));
}

// ---- The whole text -----------------------------------------------------------------------------

class DriveTextTest : public ::testing::Test {
protected:
    void SetUp() override { SetLanguage(Program::Korvane, false); }
    void TearDown() override { SetLanguage(Program::Korvane, false); }
    const SYSTEMTIME today_ = Date(2026, 1, 1);
};

TEST_F(DriveTextTest, AFixedDiskNamesItsKindSpaceAndHistory) {
    DriveFacts facts;
    facts.type = DRIVE_FIXED;
    facts.fixedKind = FixedDiskKind::HardDisk;
    facts.spaceKnown = true;
    facts.total = 200ULL << 30;
    facts.free = 50ULL << 30;
    facts.defragKnown = true;
    facts.defragged = Date(2025, 12, 31);
    facts.defragMs = 3723000;
    facts.prefetchMs = 61000;
    facts.checkKnown = true;
    facts.checked = Date(2025, 12, 2);
    EXPECT_EQ("[Hard Disk]\r\n50/200GB(25%free)\r\nDefragment:1day(s) before(Lapsed time 1:02:03)\r\n"
              "(Lapsed time[by Prifetch Log only] 0:01:01)\r\nChkdsk:30day(s) before",
              DriveInfoText(facts, today_, 601));
    EXPECT_EQ("[Hard Disk]\r\n50/200GB(25%free)\r\nOptimization:1day(s) before(Lapsed time 1:02:03)\r\n"
              "(Lapsed time[by Prifetch Log only] 0:01:01)\r\nChkdsk:30day(s) before",
              DriveInfoText(facts, today_, 602))
        << "Windows 8 optimises";
}

TEST_F(DriveTextTest, DrivesWithoutHistoryOrSpaceShowQuestionMarksAndAnEmptyLine) {
    struct Case {
        UINT type;
        FixedDiskKind kind;
        const char *expected;
    } cases[] = {
        {DRIVE_REMOVABLE, FixedDiskKind::Unknown,
         "[Removable Media]\r\nDefragment:?day(s) before\r\nChkdsk:?day(s) before"},
        {DRIVE_REMOTE, FixedDiskKind::Unknown, "[Remote Drive]\r\nDefragment:?day(s) before\r\nChkdsk:?day(s) before"},
        {DRIVE_CDROM, FixedDiskKind::Unknown, "[CD/DVD Drive]\r\nDefragment:?day(s) before\r\nChkdsk:?day(s) before"},
        {DRIVE_RAMDISK, FixedDiskKind::Unknown, "[RAM Disk]\r\nDefragment:?day(s) before\r\nChkdsk:?day(s) before"},
        {DRIVE_NO_ROOT_DIR, FixedDiskKind::Unknown, "Defragment:?day(s) before\r\nChkdsk:?day(s) before"},
        {DRIVE_FIXED, FixedDiskKind::Unknown, "[Fixed Disk]\r\n\r\nDefragment:?day(s) before\r\nChkdsk:?day(s) before"},
        {DRIVE_FIXED, FixedDiskKind::Ssd, "[SSD]\r\n\r\nDefragment:?day(s) before\r\nChkdsk:?day(s) before"},
    };
    for (const Case &c : cases) {
        DriveFacts facts;
        facts.type = c.type;
        facts.fixedKind = c.kind;
        EXPECT_EQ(c.expected, DriveInfoText(facts, today_, 601)) << c.type;
    }
}

TEST_F(DriveTextTest, JapaneseSsdLinesCarryANoteUpToWindows8) {
    SetLanguage(Program::Korvane, true);
    DriveFacts facts;
    facts.type = DRIVE_FIXED;
    facts.fixedKind = FixedDiskKind::Ssd;
    auto firstLine = [&](unsigned short version) {
        std::string text = DriveInfoText(facts, today_, version);
        return text.substr(0, text.find("\r\n"));
    };
    EXPECT_NE("[SSD]", firstLine(601)) << "defragmenting an SSD is not recommended";
    EXPECT_NE("[SSD]", firstLine(602)) << "Windows 8 optimises by device type";
    EXPECT_NE(firstLine(601), firstLine(602));
    EXPECT_EQ("[SSD]", firstLine(603));
    EXPECT_EQ("[SSD]", firstLine(1000));
}

// ---- Controls and menu --------------------------------------------------------------------------

TEST(NormalRules, RunKindsCheckTheirRadioAndChooseTheirControls) {
    struct Case {
        LONG selected;
        int checked;
        bool other;
    } cases[] = {
        {0, IDC_NORMAL_DEFRAG, false},
        {1, IDC_NORMAL_CHECK, false},
        {2, IDC_NORMAL_BOTH, false},
        {3, IDC_NORMAL_OTHER, true},
        {7, 0, false},
        {-1, 0, false},
    };
    for (const Case &c : cases) {
        RunKindView view = RunKindViewOf(c.selected);
        EXPECT_EQ(c.checked, view.checkedId) << c.selected;
        EXPECT_EQ(c.other, view.otherPrograms) << c.selected;
    }
    EXPECT_EQ(IDC_NORMAL_DRIVE_A, DriveBoxId(0));
    EXPECT_EQ(IDC_NORMAL_DRIVE_A + 12, DriveBoxId(12));
    EXPECT_EQ(IDC_NORMAL_DRIVE_N, DriveBoxId(13));
    EXPECT_EQ(1030, DriveBoxId(25));
}

TEST(NormalRules, MenuItemsFollowTheWindowsVersion) {
    struct Case {
        UINT id;
        std::vector<unsigned short> usable, unusable;
    } cases[] = {
        {IDM_MSCONFIG, {501, 1000}, {500}},
        {IDM_EVENTVWR, {500, 601}, {490}},
        {IDM_BACKUP_REGISTRY, {500, 599}, {490, 600}},
        {IDM_RESTORE_REGISTRY, {502}, {601}},
        {IDM_SYSTEM_RESTORE, {501, 600, 1000}, {500, 502}},
        {IDM_RESTORE_POINT, {501, 603}, {502}},
        {IDM_BACKUP, {501, 502}, {600, 1000}},
        {IDM_REGEDIT, {400, 1000}, {}},
    };
    for (const Case &c : cases) {
        for (unsigned short version : c.usable)
            EXPECT_TRUE(MenuItemUsable(c.id, version)) << c.id << " on " << version;
        for (unsigned short version : c.unusable)
            EXPECT_FALSE(MenuItemUsable(c.id, version)) << c.id << " on " << version;
    }
}

TEST(NormalRules, MenuDescriptionsNameWhatAnItemDoes) {
    SetLanguage(Program::Korvane, false);
    EXPECT_STREQ("Exports all settings of Tidewell to a file.", MenuDescription(IDM_EXPORT, false));
    EXPECT_STREQ("Starts Rinsa runnning.", MenuDescription(IDM_START, false));
    EXPECT_STREQ("Quits Tidewell.", MenuDescription(IDC_MAIN_EXIT, false));
    EXPECT_STREQ("Quits Tidewell.", MenuDescription(SC_CLOSE, true));
    EXPECT_STREQ("Moves this window.", MenuDescription(SC_MOVE | 2, true)) << "the low bits of SC_ ids vary";
    EXPECT_STREQ("", MenuDescription(SC_CLOSE, false));
    EXPECT_STREQ("", MenuDescription(IDM_FEEDBACK, false));
    EXPECT_STREQ("", MenuDescription(4711, false));
}

// ---- Settings files -----------------------------------------------------------------------------

std::string Utf16File(const std::wstring &text) {
    std::string bytes = "\xFF\xFE";
    bytes.append(reinterpret_cast<const char *>(text.data()), text.size() * sizeof(wchar_t));
    return bytes;
}

TEST(SettingsFile, OnlyRegistryTextOfTheSettingsKeyIsAccepted) {
    const std::wstring header = L"Windows Registry Editor Version 5.00\r\n\r\n";
    const std::wstring key = L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Halvornix\\Korvane\\CurrentVersion]\r\n";
    struct Case {
        const char *what;
        std::string bytes;
        SettingsFileCheck expected;
    } cases[] = {
        {"an export of REGEDIT", Utf16File(header + key + L"\"Selected\"=dword:00000003\r\n"), SettingsFileCheck::Ok},
        {"an ANSI file",
         "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Halvornix\\Korvane\\CurrentVersion]\r\n"
         "\"LastCmdLine\"=\"\x83\x5C\x83\x74\x83\x67.exe\"\r\n",
         SettingsFileCheck::Ok},
        {"a key below the settings",
         Utf16File(header + L"[hkey_local_machine\\software\\halvornix\\korvane\\"
                            L"currentversion\\sub]\r\n"),
         SettingsFileCheck::Ok},
        {"the settings deleted",
         Utf16File(header + L"[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Halvornix\\Korvane\\"
                            L"CurrentVersion]\r\n"),
         SettingsFileCheck::Ok},
        {"hex data over two lines", Utf16File(header + key + L"\"dddC\"=hex:e9,07,\\\r\n  0c,00\r\n"),
         SettingsFileCheck::Ok},
        {"binary bytes", std::string("REGEDIT4\r\n\x01\x02\x03", 13), SettingsFileCheck::NotText},
        {"a NUL in ANSI", std::string("REGEDIT4\r\n\0", 11), SettingsFileCheck::NotText},
        {"UTF-16 of odd length", Utf16File(header) + "x", SettingsFileCheck::NotText},
        {"a lone surrogate", Utf16File(header + key + L"\"x\"=\"\xD800\"\r\n"), SettingsFileCheck::NotText},
        {"no header", Utf16File(key), SettingsFileCheck::NotRegistryFile},
        {"an empty file", "", SettingsFileCheck::NotRegistryFile},
        {"a command-line file", "CHKDSK.EXE C:\r\nDEFRAG.EXE C:\r\n", SettingsFileCheck::NotRegistryFile},
        {"another key",
         Utf16File(header + key +
                   L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\"
                   L"CurrentVersion\\Winlogon]\r\n\"Shell\"=\"x.exe\"\r\n"),
         SettingsFileCheck::OtherKeys},
        {"a key that only begins alike",
         Utf16File(header + L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Halvornix\\Korvane\\"
                            L"CurrentVersion2]\r\n"),
         SettingsFileCheck::OtherKeys},
        {"another key deleted", Utf16File(header + L"[-HKEY_CURRENT_USER\\Software]\r\n"),
         SettingsFileCheck::OtherKeys},
    };
    for (const Case &c : cases)
        EXPECT_EQ(static_cast<int>(c.expected), static_cast<int>(CheckSettingsFile(c.bytes))) << c.what;
}

// A file that is there but far too large is refused as such, not as a file that is not found.
TEST(SettingsFile, AFileIsReadOnlyWhenItIsThereAndOfASettingsFilesSize) {
    TempFolder folder;
    std::string large = folder / "large.reg";
    {
        // Extended from empty, so it costs no disk space.
        UniqueFile file(CreateFileA(large.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(file.Valid());
        LARGE_INTEGER size;
        size.QuadPart = 100LL << 20;
        ASSERT_TRUE(SetFilePointerEx(file.Get(), size, nullptr, FILE_BEGIN));
        ASSERT_TRUE(SetEndOfFile(file.Get()));
    }
    WriteFileText(folder / "notes.reg", "Selected=3\r\n");
    struct Case {
        std::string file;
        SettingsFileCheck expected;
    } cases[] = {
        {folder / "absent.reg", SettingsFileCheck::NotFound},
        {folder.path(), SettingsFileCheck::NotFound},
        {large, SettingsFileCheck::TooLarge},
        {folder / "notes.reg", SettingsFileCheck::NotRegistryFile},
    };
    for (const Case &c : cases)
        EXPECT_EQ(static_cast<int>(c.expected), static_cast<int>(CheckSettingsFileAt(c.file.c_str()))) << c.file;
}

// ---- Export and import with the system's REGEDIT ------------------------------------------------

class SettingsTransferTest : public PlannerTest {
protected:
    void SetUp() override {
        PlannerTest::SetUp();
        file_ = folder_ / "settings.reg";
    }
    static void WriteBinary(const char *name, const std::string &bytes) {
        WriteRaw(HKEY_LOCAL_MACHINE, kSettingsPath, name, REG_BINARY, BytesOf(bytes.data(), bytes.size()));
    }
    static RawValue Read(const char *name) { return ReadRaw(HKEY_LOCAL_MACHINE, kSettingsPath, name); }

    TempFolder folder_;
    std::string file_;
};

TEST_F(SettingsTransferTest, ExportLeavesTheDriveHistoryOutAndInPlaceAndImportBringsTheSettingsBack) {
    const std::string stamp("\xEA\x07\x01\x00\x04\x00\x01\x00\x0A\x00\x00\x00\x00\x00\x00\x00", 16);
    WriteBinary("dddC", stamp);
    WriteBinary("sddD", stamp);
    WriteBinary("dddE", std::string("\x01\x02\x03", 3)); // not 16 bytes: kept all the same
    WriteDword(HKEY_LOCAL_MACHINE, kSettingsPath, "Selected", 2);
    WriteDword(HKEY_LOCAL_MACHINE, kSettingsPath, "Drives", 0x14);
    WriteText(HKEY_LOCAL_MACHINE, kSettingsPath, "LastCmdLine", "\"C:\\My Tools\\a.exe\" /x");
    WriteText(HKEY_LOCAL_MACHINE, kSettingsPath, "", "unnamed");

    ASSERT_TRUE(ExportSettings(nullptr, file_.c_str())) << BoxTexts().size();
    std::string exported = ReadFileText(file_);
    EXPECT_EQ(static_cast<int>(SettingsFileCheck::Ok), static_cast<int>(CheckSettingsFile(exported)));
    auto has = [&](const wchar_t *text) {
        std::wstring wide(reinterpret_cast<const wchar_t *>(exported.data() + 2), (exported.size() - 2) / 2);
        return wide.find(text) != std::wstring::npos;
    };
    EXPECT_TRUE(has(L"\"Selected\"=dword:00000002"));
    EXPECT_TRUE(has(L"\"LastCmdLine\"=\"\\\"C:\\\\My Tools\\\\a.exe\\\" /x\""));
    EXPECT_FALSE(has(L"dddC") || has(L"sddD") || has(L"dddE")) << "no per-drive history in the file";
    EXPECT_FALSE(Read("").exists) << "the unnamed default value is no setting";
    EXPECT_EQ(BytesOf(stamp.data(), 16), Read("dddC").data);
    EXPECT_EQ(BytesOf(stamp.data(), 16), Read("sddD").data);
    EXPECT_EQ(BytesOf("\x01\x02\x03", 3), Read("dddE").data);
    EXPECT_FALSE(Read("dddD").exists) << "no history appears that was not there";

    // Settings changed after the export, and a drive history that differs from the file's time.
    WriteDword(HKEY_LOCAL_MACHINE, kSettingsPath, "Selected", 0);
    DeleteRaw(HKEY_LOCAL_MACHINE, kSettingsPath, "LastCmdLine");
    const std::string later("\xEA\x07\x02\x00\x01\x00\x02\x00\x0A\x00\x00\x00\x00\x00\x00\x00", 16);
    WriteBinary("dddC", later);
    ASSERT_TRUE(ImportSettings(nullptr, file_.c_str()));
    EXPECT_EQ(2, ReadSettingDword("Selected"));
    EXPECT_EQ(0x14, ReadSettingDword("Drives"));
    std::string commandLine(reinterpret_cast<const char *>(Read("LastCmdLine").data.data()));
    EXPECT_EQ("\"C:\\My Tools\\a.exe\" /x", commandLine);
    EXPECT_EQ(BytesOf(later.data(), 16), Read("dddC").data) << "the machine's history stays";
    EXPECT_TRUE(boxes_.calls().empty());
}

TEST_F(SettingsTransferTest, ImportKeepsTheHistoryAgainstAFileThatCarriesOne) {
    const std::string stamp("\xEA\x07\x01\x00\x04\x00\x01\x00\x0A\x00\x00\x00\x00\x00\x00\x00", 16);
    WriteBinary("sddC", stamp);
    WriteFileText(file_, "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Halvornix\\Korvane\\CurrentVersion]\r\n"
                         "\"Selected\"=dword:00000001\r\n\"sddC\"=hex:00,00\r\n\"dddF\"=hex:01,02\r\n");
    ASSERT_TRUE(ImportSettings(nullptr, file_.c_str()));
    EXPECT_EQ(1, ReadSettingDword("Selected"));
    EXPECT_EQ(BytesOf(stamp.data(), 16), Read("sddC").data);
    EXPECT_FALSE(Read("dddF").exists);
}

TEST_F(SettingsTransferTest, AFileThatIsNoSettingsTextIsRefusedAndNothingIsStored) {
    WriteDword(HKEY_LOCAL_MACHINE, kSettingsPath, "Selected", 2);
    struct Case {
        std::string bytes;
        const char *message;
    } cases[] = {
        {std::string("REGEDIT4\r\n\x00\x01\xFF\xFE", 14), "This file is not a valid text file. Nothing was imported."},
        {"DEFRAG.EXE C:\r\n", "This file is not a registry file. Nothing was imported."},
        {"REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Halvornix\\Korvane\\CurrentVersion]\r\n"
         "\"Selected\"=dword:00000000\r\n[HKEY_CURRENT_USER\\Software\\Tidewell test]\r\n\"x\"=\"y\"\r\n",
         "This file holds registry keys other than the settings of Tidewell. Nothing was imported."},
    };
    for (const Case &c : cases) {
        WriteFileText(file_, c.bytes);
        size_t before = boxes_.calls().size();
        EXPECT_FALSE(ImportSettings(nullptr, file_.c_str()));
        ASSERT_EQ(before + 1, boxes_.calls().size()) << c.message;
        EXPECT_EQ(c.message, boxes_.calls().back().text);
        EXPECT_EQ(UINT(MB_ICONERROR), boxes_.calls().back().type & MB_ICONMASK);
        EXPECT_EQ(2, ReadSettingDword("Selected")) << c.message;
    }
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\Tidewell test"));
    EXPECT_FALSE(ImportSettings(nullptr, (folder_ / "missing.reg").c_str()));
    EXPECT_EQ("The specified file is not found.", boxes_.calls().back().text);
}

// ---- The panel ----------------------------------------------------------------------------------

class PanelTest : public PlannerTest {
protected:
    void SetUp() override {
        PlannerTest::SetUp();
        WriteSettingDword(setting::mode.name, 1);
    }
    // Runs the window in normal mode with the user part.
    void RunPanel(const MainWindowSession::User &user) {
        MainWindowSession session;
        session.Run([&](MainWindowSession &s) {
            ASSERT_NE(nullptr, s.panel());
            user(s);
        });
    }
    static bool Checked(MainWindowSession &s, int id) { return IsDlgButtonChecked(s.panel(), id) == BST_CHECKED; }
    static bool Enabled(MainWindowSession &s, int id) { return IsWindowEnabled(s.Item(id)) != FALSE; }
};

TEST_F(PanelTest, EveryChoiceIsStoredTheMomentItIsMade) {
    WriteSettingDword("Drives", 0x5); // A: and C:
    RunPanel([](MainWindowSession &s) {
        EXPECT_TRUE(Checked(s, IDC_NORMAL_DEFRAG));
        EXPECT_EQ(0, ReadSettingDword("Selected")) << "written back at once";
        EXPECT_TRUE(Checked(s, DriveBoxId(0)) && Checked(s, DriveBoxId(2)));
        EXPECT_FALSE(Checked(s, DriveBoxId(1)));
        EXPECT_FALSE(Enabled(s, IDC_NORMAL_CMD_EDIT));
        EXPECT_EQ(IdleStatusText(), MainWindowSession::Text(s.Item(IDC_NORMAL_STATUS)));

        s.Click(s.Item(DriveBoxId(25)));
        EXPECT_EQ(0x2000005, ReadSettingDword("Drives"));
        s.Click(s.Item(DriveBoxId(0)));
        s.Click(s.Item(DriveBoxId(2)));
        s.Click(s.Item(DriveBoxId(25)));
        EXPECT_EQ(0, ReadSettingDword("Drives")) << "no box: every fixed drive";

        s.Click(s.Item(IDC_NORMAL_CHECK));
        EXPECT_EQ(1, ReadSettingDword("Selected"));
        s.Click(s.Item(IDC_NORMAL_OTHER));
        EXPECT_EQ(3, ReadSettingDword("Selected"));
        EXPECT_TRUE(Enabled(s, IDC_NORMAL_CMD_EDIT) && Enabled(s, IDC_NORMAL_BROWSE));
        EXPECT_FALSE(Enabled(s, DriveBoxId(3)) || Enabled(s, IDC_NORMAL_DRIVE_GROUP));

        s.Type(s.Item(IDC_NORMAL_CMD_EDIT), "CMD.EXE /C exit 3\r\nNOTEPAD.EXE");
        REGA key;
        ASSERT_TRUE(OpenSettings(key, OPEN_READONLY));
        EXPECT_EQ("CMD.EXE /C exit 3\r\nNOTEPAD.EXE", ReadTextSetting(key, setting::LastCmdLine));
        key.CloseKey();

        s.Click(s.Item(IDC_NORMAL_BOTH));
        EXPECT_EQ(2, ReadSettingDword("Selected"));
        EXPECT_TRUE(Enabled(s, DriveBoxId(3)));
        EXPECT_FALSE(Enabled(s, IDC_NORMAL_CMD_EDIT));
    });
}

TEST_F(PanelTest, AnUnknownRunKindChecksNoRadioButtonAndIsWrittenBack) {
    WriteSettingDword("Selected", 7);
    RunPanel([](MainWindowSession &s) {
        for (int id : kRunKindIds)
            EXPECT_FALSE(Checked(s, id)) << id;
        EXPECT_TRUE(Enabled(s, DriveBoxId(2)));
        EXPECT_EQ(7, ReadSettingDword("Selected"));
    });
}

TEST_F(PanelTest, DroppedFilesJoinTheCommandLinesOnlyForOtherPrograms) {
    RunPanel([](MainWindowSession &s) {
        SendMessageA(s.panel(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({"C:\\tools\\a.exe"})), 0);
        EXPECT_EQ("", MainWindowSession::Text(s.Item(IDC_NORMAL_CMD_EDIT))) << "a drive kind is chosen";

        s.Click(s.Item(IDC_NORMAL_OTHER));
        s.Type(s.Item(IDC_NORMAL_CMD_EDIT), "CMD.EXE /C exit 0");
        SendMessageA(s.panel(), WM_DROPFILES,
                     reinterpret_cast<WPARAM>(MakeDrop({"C:\\tools\\a.exe", "C:\\My Tools\\b.exe"})), 0);
        const char *expected = "CMD.EXE /C exit 0\r\nC:\\tools\\a.exe\r\n\"C:\\My Tools\\b.exe\"";
        EXPECT_EQ(expected, MainWindowSession::Text(s.Item(IDC_NORMAL_CMD_EDIT)));
        REGA key;
        ASSERT_TRUE(OpenSettings(key, OPEN_READONLY));
        EXPECT_EQ(expected, ReadTextSetting(key, setting::LastCmdLine));
        key.CloseKey();
    });
}

TEST_F(PanelTest, TheExtraButtonsComeAndGoAndTwoTogglesLeaveTheStoredState) {
    RunPanel([](MainWindowSession &s) {
        HMENU menu = GetMenu(s.window());
        EXPECT_FALSE(IsWindowVisible(s.Item(IDC_NORMAL_HISTORY)));
        EXPECT_TRUE(IsWindowVisible(s.Item(IDC_NORMAL_STATUS)));
        s.Command(IDM_PUT_BUTTONS);
        EXPECT_EQ(1, ReadSettingDword("PutTopButtons"));
        EXPECT_TRUE(IsWindowVisible(s.Item(IDC_NORMAL_HISTORY)) &&
                    IsWindowVisible(s.Item(IDC_NORMAL_BEFOREAFTER_PAGE)));
        EXPECT_FALSE(IsWindowVisible(s.Item(IDC_NORMAL_STATUS)) || IsWindowVisible(s.Item(IDC_NORMAL_OPTIONS)));
        EXPECT_TRUE(GetMenuState(menu, IDM_PUT_BUTTONS, MF_BYCOMMAND) & MF_CHECKED);
        s.Command(IDM_PUT_BUTTONS);
        EXPECT_EQ(0, ReadSettingDword("PutTopButtons"));
        EXPECT_FALSE(IsWindowVisible(s.Item(IDC_NORMAL_HISTORY)));
        EXPECT_TRUE(IsWindowVisible(s.Item(IDC_NORMAL_STATUS)) && IsWindowVisible(s.Item(IDC_NORMAL_OPTIONS)));
        EXPECT_FALSE(GetMenuState(menu, IDM_PUT_BUTTONS, MF_BYCOMMAND) & MF_CHECKED);
    });
}

TEST_F(PanelTest, VersionGatedItemsAreGreyAndTheStatusTextDescribesTheHighlightedItem) {
    g_windowsVersion = 601;
    RunPanel([](MainWindowSession &s) {
        HMENU menu = GetMenu(s.window());
        auto grey = [&](UINT id) { return (GetMenuState(menu, id, MF_BYCOMMAND) & MF_GRAYED) != 0; };
        EXPECT_TRUE(grey(IDM_BACKUP)) << "Backup is for Windows before Vista";
        for (UINT id : {IDM_START, IDM_EXPORT, IDM_IMPORT, IDM_REGEDIT, IDM_MSCONFIG, IDM_EVENTVWR, IDM_SYSQ, IDM_HELP,
                        IDM_WEB_SITE, IDC_MAIN_EXIT, IDC_NORMAL_OPTIONS, IDC_NORMAL_SHELLEXT, IDC_NORMAL_TROUBLE,
                        IDM_SYSTEM_RESTORE, IDM_RESTORE_POINT, IDC_NORMAL_UPDATE, IDC_NORMAL_HISTORY, IDC_MAIN_ABOUT,
                        IDC_MAIN_WIZARD})
            EXPECT_FALSE(grey(id)) << id;
        EXPECT_EQ(UINT(IDM_START), GetMenuDefaultItem(GetSubMenu(menu, 0), FALSE, 0));
        EXPECT_TRUE(Enabled(s, IDC_NORMAL_OPTIONS));
        EXPECT_TRUE(Enabled(s, IDC_MAIN_WIZARD));

        HWND status = s.Item(IDC_NORMAL_STATUS);
        SendMessageA(s.window(), WM_MENUSELECT, MAKEWPARAM(IDM_IMPORT, MF_STRING), reinterpret_cast<LPARAM>(menu));
        EXPECT_EQ("Imports all settings of Tidewell from a file.", MainWindowSession::Text(status));
        SendMessageA(s.window(), WM_MENUSELECT, MAKEWPARAM(SC_MINIMIZE, MF_STRING | MF_SYSMENU),
                     reinterpret_cast<LPARAM>(GetSystemMenu(s.window(), FALSE)));
        EXPECT_EQ("Collapses this window to an icon.", MainWindowSession::Text(status));
        SendMessageA(s.window(), WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0);
        EXPECT_EQ(IdleStatusText(), MainWindowSession::Text(status)) << "a closed menu brings the idle text back";
    });
}

TEST_F(PanelTest, StartAnsweredNoPlansNothingAndLeavesThePanelAsItWas) {
    WriteSettingDword("How", 4);
    boxes_.Answer(IDNO);
    RunPanel([](MainWindowSession &s) {
        s.Click(s.Item(IDOK));
        EXPECT_EQ(IdleStatusText(), MainWindowSession::Text(s.Item(IDC_NORMAL_STATUS)));
        EXPECT_TRUE(Enabled(s, IDOK) && Enabled(s, IDC_NORMAL_HELP) && Enabled(s, IDC_MAIN_EXIT) &&
                    Enabled(s, IDC_NORMAL_OPTIONS) && Enabled(s, IDC_MAIN_WIZARD));
        EXPECT_TRUE(IsWindow(s.window()));
    });
    ASSERT_EQ(1u, boxes_.calls().size());
    EXPECT_EQ("Are you sure you want to start?", boxes_.calls()[0].text);
    EXPECT_EQ(UINT(MB_YESNO | MB_ICONQUESTION), boxes_.calls()[0].type);
    EXPECT_TRUE(Entries().empty()) << "no command list";
    EXPECT_TRUE(log_.Lines().empty()) << "the planner did not start";
}

TEST_F(PanelTest, AnUnwritableSettingsKeyIsReportedAndTheChoiceIsNotStored) {
    WriteSettingDword("Selected", 3);
    WriteText(HKEY_LOCAL_MACHINE, kSettingsPath, "LastCmdLine", "CMD.EXE /C exit 1");
    RunPanel([](MainWindowSession &s) {
        ASSERT_TRUE(SetKeyWritable(HKEY_LOCAL_MACHINE, kSettingsPath, false));
        s.Type(s.Item(IDC_NORMAL_CMD_EDIT), "CMD.EXE /C exit 2");
        s.Command(IDM_PUT_BUTTONS);
        EXPECT_FALSE(IsWindowVisible(s.Item(IDC_NORMAL_HISTORY))) << "an unstored toggle counts as off";
        EXPECT_TRUE(IsWindowVisible(s.Item(IDC_NORMAL_STATUS)));
        EXPECT_TRUE(SetKeyWritable(HKEY_LOCAL_MACHINE, kSettingsPath, true));
    });
    EXPECT_EQ((std::vector<std::string>{"Cannot open registry key.\r\n KV4", "Cannot open registry key.\r\n KV4"}),
              BoxTexts());
    REGA key;
    ASSERT_TRUE(OpenSettings(key, OPEN_READONLY));
    EXPECT_EQ("CMD.EXE /C exit 1", ReadTextSetting(key, setting::LastCmdLine));
    EXPECT_EQ(-1, key.ValueExistA(setting::PutTopButtons.name));
    key.CloseKey();
    EXPECT_EQ(2u, log_.Texts().size());
    for (const std::string &line : log_.Texts())
        EXPECT_EQ("KV4:Cannot open registry key.", line);
}

TEST_F(PanelTest, RightClickOnADriveBoxShowsItsInformation) {
    RunPanel([](MainWindowSession &s) {
        HWND box = s.Item(DriveBoxId(2));
        RECT rect;
        GetWindowRect(box, &rect);
        SendMessageA(s.panel(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(box), MAKELPARAM(rect.left + 2, rect.top + 2));
        s.Click(s.Item(IDC_NORMAL_OTHER)); // the boxes are disabled now: the click reaches the panel
        SendMessageA(s.panel(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(s.panel()),
                     MAKELPARAM(rect.left + 2, rect.top + 2));
    });
    ASSERT_EQ(2u, boxes_.calls().size());
    for (const MessageBoxCall &box : boxes_.calls()) {
        EXPECT_EQ("C:", box.caption);
        EXPECT_EQ(0u, box.type & MB_ICONMASK);
        EXPECT_NE(std::string::npos, box.text.find("Chkdsk:?day(s) before")) << box.text;
    }
}

TEST_F(PanelTest, TheJapanesePanelShowsItsSsdNoteOnWindows8) {
    SetLanguage(Program::Korvane, true);
    g_windowsVersion = 602;
    RunPanel([](MainWindowSession &s) {
        EXPECT_TRUE(IsWindowVisible(s.Item(IDC_NORMAL_SSD_NOTE)));
        EXPECT_FALSE(MainWindowSession::Text(s.Item(IDC_NORMAL_SSD_NOTE)).empty());
    });
    SetLanguage(Program::Korvane, false);
}

} // namespace
