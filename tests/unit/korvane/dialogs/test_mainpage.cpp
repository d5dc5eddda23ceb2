// The main options page, the Rinsa method page and More settings: their rules as plain functions,
// the creation of BOOT.RNB in a folder of its own, and the pages and the dialog driven from a second
// thread as a user would, with what they store.
#include "dialogs/mainpage.h"
#include "dialogs/options.h"

#include "dialog_driver.h"
#include "drop_files.h"
#include "planner/rnscheck.h"
#include "planner_fixture.h"
#include "resource.h"
#include "system_state.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// ---- Rules --------------------------------------------------------------------------------------

constexpr unsigned long long kMiB = 1024 * 1024;

TEST(MainPageRules, WhatEachWindowsVersionAndMachineOffers) {
    const struct {
        unsigned short version;
        bool bootIni;
        unsigned long long memory;
        bool readBootIni, bootIniUsable, pagingFile, diskCleanup, restorePoint, asks;
    } cases[] = {
        {400, true, 64 * kMiB, true, true, true, false, false, false},     // 95: no Disk Cleanup
        {410, true, 64 * kMiB, true, true, true, true, false, false},      // 98
        {500, true, 512 * kMiB, true, true, true, true, false, true},      // 2000 asks before no paging file
        {501, true, 512 * kMiB, true, true, true, true, true, false},      // XP
        {501, false, 512 * kMiB, true, false, true, true, true, false},    // no BOOT.INI on the boot drive
        {502, true, 512 * kMiB, true, true, true, true, false, false},     // Server 2003: no restore points
        {600, true, 512 * kMiB, false, false, true, true, true, false},    // Vista boots without BOOT.INI
        {1000, false, 4096 * kMiB, false, false, true, true, true, false}, // 10
        {501, true, 0x3F00000 - 1, true, true, false, true, true, false},  // just below 63 MiB
        {501, true, 0x3F00000, true, true, true, true, true, false},       // exactly 63 MiB
        {500, true, 32 * kMiB, true, true, false, true, false, true},
    };
    for (const auto &c : cases) {
        MainPageSystem system;
        system.windowsVersion = c.version;
        system.bootIniExists = c.bootIni;
        system.totalMemory = c.memory;
        MainPageRules rules = MainPageRulesFor(system);
        SCOPED_TRACE(testing::Message() << c.version << (c.bootIni ? " with" : " without") << " BOOT.INI, " << c.memory
                                        << " bytes");
        EXPECT_EQ(c.readBootIni, rules.readBootIni);
        EXPECT_EQ(c.bootIniUsable, rules.bootIniUsable);
        EXPECT_EQ(c.pagingFile, rules.pagingFileUsable);
        EXPECT_EQ(c.diskCleanup, rules.diskCleanupUsable);
        EXPECT_EQ(c.restorePoint, rules.restorePointUsable);
        EXPECT_EQ(c.asks, rules.asksBeforeNoPagingFile);
    }
}

TEST(MainPageRules, ScreenProtectionReadAndWritten) {
    const struct {
        LONG stored;
        bool save, oldMode;
        LONG written;
    } cases[] = {
        {0, false, false, 0}, {1, true, false, 1}, {2, true, true, 2},
        {7, true, true, 2},   {-1, true, true, 2}, // any other number is the old mode
    };
    for (const auto &c : cases) {
        ScreenBoxes boxes = ScreenBoxesOf(c.stored);
        EXPECT_EQ(c.save, boxes.save) << c.stored;
        EXPECT_EQ(c.oldMode, boxes.oldMode) << c.stored;
        EXPECT_EQ(c.written, AuxVsoOf(boxes)) << c.stored;
    }
    // The old mode counts only with the screen saved (1153 is disabled then, but may hold a check).
    ScreenBoxes oldAlone;
    oldAlone.oldMode = true;
    EXPECT_EQ(0, AuxVsoOf(oldAlone));
}

TEST(MainPageRules, RestorePointShownAndWritten) {
    const struct {
        LONG stored;
        bool usable, shown;
    } cases[] = {
        {0, true, false}, {1, true, true},   {2, true, true},   {3, true, true},
        {-1, true, true}, {2, false, false}, {1, false, false}, // 2000 and Server 2003 leave it off
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.shown, RestorePointBoxOn(c.stored, c.usable)) << c.stored << (c.usable ? "" : " unusable");
    EXPECT_EQ(0, RestorePointValueOf(false, false));
    EXPECT_EQ(2, RestorePointValueOf(false, true));
    EXPECT_EQ(1, RestorePointValueOf(true, false));
    EXPECT_EQ(3, RestorePointValueOf(true, true));
}

TEST(MainPageRules, AfterRunEntryIsClamped) {
    const struct {
        LONG stored;
        int entry;
    } cases[] = {{-2147483647 - 1, 0}, {-1, 0}, {0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 3}, {2147483647, 3}};
    for (const auto &c : cases)
        EXPECT_EQ(c.entry, AfterRunEntryOf(c.stored)) << c.stored;
    const bool clashes[kAfterRunEntries] = {false, false, true, true};
    for (int entry = 0; entry < kAfterRunEntries; ++entry)
        EXPECT_EQ(clashes[entry], AfterRunClashesWithBootIni(entry)) << entry;
}

TEST(MethodPageRules, StoredHowByWindowsVersion) {
    const struct {
        LONG stored;
        unsigned short version;
        LONG shown;
        bool rewritten;
    } cases[] = {
        {1, 501, 0, true},   {1, 603, 0, true},   {1, 604, 2, true},   {1, 1000, 2, true}, // the obsolete 1
        {3, 501, 3, false},  {3, 600, 3, false},  {3, 601, 2, true},   {3, 1000, 2, true}, // no safe mode after Vista
        {0, 1000, 0, false}, {2, 1000, 2, false}, {4, 501, 4, false},                      // kept as they are
        {-1, 501, 0, false}, {5, 1000, 0, false}, {99, 600, 0, false},                     // out of range
    };
    for (const auto &c : cases) {
        MethodHow how = MethodHowOf(c.stored, c.version);
        EXPECT_EQ(c.shown, how.shown) << c.stored << " on " << c.version;
        EXPECT_EQ(c.rewritten, how.rewritten) << c.stored << " on " << c.version;
    }
}

TEST(MethodPageRules, RadioButtonsAndVersions) {
    const struct {
        LONG how;
        int radio;
        LONG written;
    } cases[] = {
        {0, IDC_METHOD_BEFORESHELL, 0}, {1, IDC_METHOD_OBSOLETE, 0}, {2, IDC_METHOD_SHELL, 2},
        {3, IDC_METHOD_SAFEMODE, 3},    {4, IDC_METHOD_NONE, 4},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(c.radio, MethodRadioOf(c.how)) << c.how;
        EXPECT_EQ(c.written, HowOfRadio(c.radio)) << c.how;
    }
    EXPECT_EQ(4, HowOfRadio(0)) << "no radio button checked";
    EXPECT_TRUE(SafeModeUsable(600));
    EXPECT_FALSE(SafeModeUsable(601));
    EXPECT_TRUE(BeforeShellUsable(603));
    EXPECT_FALSE(BeforeShellUsable(604));
}

TEST(MoreSettingsRules, PathsAddedToTheMscField) {
    const struct {
        const char *field, *path;
        bool setApart;
        const char *result;
    } cases[] = {
        {"", "C:\\a.msc", true, "C:\\a.msc"},
        {"C:\\a.msc", "C:\\b.msc", true, "C:\\a.msc C:\\b.msc"},
        {"C:\\a.msc", "C:\\My Files\\b.msc", true, "C:\\a.msc \"C:\\My Files\\b.msc\""},
        {"C:\\", "a.msc", false, "C:\\a.msc"}, // Browse appends directly
        {"", "C:\\My Files\\b.msc", false, "\"C:\\My Files\\b.msc\""},
        {"", "\"C:\\x y.msc\"", true, "\"C:\\x y.msc\""}, // already quoted
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.result, WithAddedPath(c.field, c.path, c.setApart)) << c.field << " + " << c.path;
    const struct {
        LONG alpha;
        int position;
    } alphas[] = {{0, 0}, {128, 128}, {255, 255}, {256, 255}, {-1, 0}, {2147483647, 255}};
    for (const auto &c : alphas)
        EXPECT_EQ(c.position, AlphaPositionOf(c.alpha)) << c.alpha;
}

// ---- BOOT.RNB -----------------------------------------------------------------------------------

class BootRnbTest : public PlannerTest {
protected:
    void SetUp() override {
        PlannerTest::SetUp();
        saved_ = g_openInNotepad;
        g_openInNotepad = FakeNotepad;
        opened_.clear();
        notepadWorks_ = true;
        root_ = folder_.path() + "\\";
    }
    void TearDown() override {
        g_openInNotepad = saved_;
        PlannerTest::TearDown();
    }
    static bool FakeNotepad(HWND, const char *file, const char *folder) {
        opened_.push_back(std::string(file) + " in " + folder);
        return notepadWorks_;
    }
    void WriteBootIni() {
        WriteFileText(folder_ / "BOOT.INI", kBootIni);
        SetFileAttributesA((folder_ / "BOOT.INI").c_str(),
                           FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY);
    }
    DWORD Attributes(const char *name) const { return GetFileAttributesA((folder_ / name).c_str()); }

    static constexpr const char *kBootIni = "[boot loader]\r\ntimeout=30\r\n";
    static std::vector<std::string> opened_;
    static bool notepadWorks_;
    TempFolder folder_;
    std::string root_;
    bool (*saved_)(HWND, const char *, const char *) = nullptr;
};
std::vector<std::string> BootRnbTest::opened_;
bool BootRnbTest::notepadWorks_ = true;

TEST_F(BootRnbTest, TheQuestionNamesTheBootDriveFile) {
    EXPECT_EQ("D:\\Boot.rnb is not found.\nAre you sure you want to create Boot.rnb?", BootRnbQuestion("D:\\"));
    EXPECT_EQ("D:\\BOOT.INI", BootFilePath("D:", "BOOT.INI"));
}

// BOOT.INI keeps its hidden, system and read-only attributes; the planner's BOOT.RN_ is the only
// copy of the real BOOT.INI after an interrupted run and stays as it is.
TEST_F(BootRnbTest, CreatingTheCopyLeavesBootIniAndThePlannersCopyAlone) {
    WriteBootIni();
    WriteFileText(folder_ / "BOOT.RN_", "the real one");
    DWORD iniAttributes = Attributes("BOOT.INI");
    ASSERT_TRUE(iniAttributes & FILE_ATTRIBUTE_READONLY);
    ASSERT_EQ(DWORD(ERROR_SUCCESS), CreateBootRnb(root_.c_str()));
    EXPECT_EQ(kBootIni, ReadFileText(folder_ / "BOOT.RNB"));
    const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_READONLY;
    EXPECT_EQ(0u, Attributes("BOOT.RNB") & kept) << "the copy is an ordinary file the user can edit";
    EXPECT_EQ(iniAttributes, Attributes("BOOT.INI"));
    EXPECT_EQ("the real one", ReadFileText(folder_ / "BOOT.RN_"));

    // An existing BOOT.RNB is never overwritten.
    WriteFileText(folder_ / "BOOT.RNB", "the user's own");
    EXPECT_NE(DWORD(ERROR_SUCCESS), CreateBootRnb(root_.c_str()));
    EXPECT_EQ("the user's own", ReadFileText(folder_ / "BOOT.RNB"));
}

TEST_F(BootRnbTest, YesCreatesTheCopyAndOpensItInNotepad) {
    WriteBootIni();
    boxes_.Answer(IDYES);
    EXPECT_TRUE(ConfirmBootIniSubstitution(nullptr, root_.c_str(), 1));
    EXPECT_EQ(std::vector<std::string>{root_ + "Boot.rnb is not found.\nAre you sure you want to create Boot.rnb?"},
              BoxTexts());
    EXPECT_TRUE(IsFile(folder_ / "BOOT.RNB"));
    EXPECT_EQ(std::vector<std::string>{root_ + "BOOT.RNB in " + root_}, opened_);

    // With BOOT.RNB there, nothing is asked and the box stays on.
    log_.Clear();
    EXPECT_TRUE(ConfirmBootIniSubstitution(nullptr, root_.c_str(), 0));
    EXPECT_EQ(1u, boxes_.calls().size());
}

TEST_F(BootRnbTest, AFailedCopyIsToldAndClearsTheBoxWithoutNotepad) {
    boxes_.Answer(IDYES); // no BOOT.INI to copy
    EXPECT_FALSE(ConfirmBootIniSubstitution(nullptr, root_.c_str(), 0));
    std::vector<MessageBoxCall> calls = boxes_.calls();
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ(0u, calls[1].text.find("Cannot create " + root_ + "BOOT.RNB.\n")) << calls[1].text;
    EXPECT_EQ(UINT(MB_ICONERROR), calls[1].type & MB_ICONMASK);
    EXPECT_TRUE(opened_.empty());
    EXPECT_FALSE(IsFile(folder_ / "BOOT.RNB"));
}

TEST_F(BootRnbTest, AnswersThatClearTheBoxAndAFailedNotepad) {
    WriteBootIni();
    // Suspend after the run: the clash question first; No clears the box at once.
    boxes_.Answer(IDNO);
    EXPECT_FALSE(ConfirmBootIniSubstitution(nullptr, root_.c_str(), 2));
    ASSERT_EQ(1u, boxes_.calls().size());
    EXPECT_NE(std::string::npos, boxes_.calls()[0].text.find("Boot.ini"));
    // No to the creation clears it too.
    boxes_.Answer(IDYES);
    boxes_.Answer(IDNO);
    EXPECT_FALSE(ConfirmBootIniSubstitution(nullptr, root_.c_str(), 3));
    EXPECT_FALSE(IsFile(folder_ / "BOOT.RNB"));
    // Notepad that does not start is told; the copy is there, so the box stays on.
    notepadWorks_ = false;
    boxes_.Answer(IDYES);
    EXPECT_TRUE(ConfirmBootIniSubstitution(nullptr, root_.c_str(), 1));
    EXPECT_EQ("Opening Notepad.exe was failed.", BoxTexts().back());
    EXPECT_TRUE(IsFile(folder_ / "BOOT.RNB"));
}

// ---- The pages in the sheet ---------------------------------------------------------------------

constexpr int kMainPosition = 2, kMethodPosition = 4; // every page of the sheet is made

class OptionsPagesTest : public PlannerTest {
protected:
    static HWND Page(HWND sheet) { return HWND(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)); }
    static void Press(HWND sheet, int button) { PostMessageA(sheet, PSM_PRESSBUTTON, WPARAM(button), 0); }
    static UINT State(HWND page, int id) { return IsDlgButtonChecked(page, id); }
    static LRESULT Entry(HWND page) { return SendDlgItemMessageA(page, IDC_MAIN_AFTERRUN, CB_GETCURSEL, 0, 0); }
    static void Choose(HWND page, int entry) {
        HWND combo = GetDlgItem(page, IDC_MAIN_AFTERRUN);
        SendMessageA(combo, CB_SETCURSEL, WPARAM(entry), 0);
        SendMessageA(page, WM_COMMAND, MAKEWPARAM(IDC_MAIN_AFTERRUN, CBN_SELCHANGE), LPARAM(combo));
    }
    static LONG Stored(const DwordSetting &setting) { return ReadSettingDword(setting.name); }
    static bool Exists(const DwordSetting &setting) {
        return ReadRaw(HKEY_LOCAL_MACHINE, kSettingsPath, setting.name).exists;
    }
    // Opens the sheet with command, hands the first page to act and returns when the sheet is closed.
    static bool RunSheet(int command, const std::function<void(HWND sheet)> &act) {
        DialogDriver driver("Options", act);
        ShowOptionsSheet(nullptr, command);
        return driver.Join();
    }
};

TEST_F(OptionsPagesTest, MainPageShowsStoredValuesAndWritesThemBackOnOk) {
    g_windowsVersion = 601;
    WriteSettingDword(setting::aux_vso.name, 7);
    WriteSettingDword(setting::CreateRestorePoint.name, 1);
    WriteSettingDword(setting::PowerOff.name, 5); // a permanent on from an imported file
    WriteSettingDword(setting::NoPagingFile.name, 2);
    WriteSettingDword(setting::NotAutoPowerOff.name, 9);
    WriteSettingDword(setting::Bootini.name, 1);
    WriteSettingDword(setting::SystemReboot.name, 1);
    WriteSettingDword(setting::scanreg.name, 1);
    WriteSettingDword(setting::mouselr.name, 0);
    struct {
        UINT save = 9, oldMode = 9, restore = 9, powerOff = 9, noPaging = 9, bootIni = 9, fastBoot = 9, mouse = 9;
        bool oldEnabled = false, bootIniEnabled = true, restoreEnabled = false;
        LRESULT entry = -1;
        std::string status;
    } seen;
    ASSERT_TRUE(RunSheet(IDC_NORMAL_MAIN_PAGE, [&](HWND sheet) {
        HWND page = Page(sheet);
        seen.status = DialogDriver::ItemText(page, IDC_MAIN_SCHEDULER_STATUS);
        seen.save = State(page, IDC_MAIN_SAVESCREEN);
        seen.oldMode = State(page, IDC_MAIN_OLDSCREEN);
        seen.oldEnabled = DialogDriver::ItemEnabled(page, IDC_MAIN_OLDSCREEN);
        seen.restore = State(page, IDC_MAIN_RESTOREPOINT);
        seen.restoreEnabled = DialogDriver::ItemEnabled(page, IDC_MAIN_RESTOREPOINT);
        seen.powerOff = State(page, IDC_MAIN_POWEROFF);
        seen.noPaging = State(page, IDC_MAIN_NOPAGINGFILE);
        seen.bootIni = State(page, IDC_MAIN_BOOTINI);
        seen.bootIniEnabled = DialogDriver::ItemEnabled(page, IDC_MAIN_BOOTINI);
        seen.fastBoot = State(page, IDC_MAIN_FASTBOOT);
        seen.mouse = State(page, IDC_MAIN_MOUSE);
        seen.entry = Entry(page);
        DialogDriver::Click(page, IDC_MAIN_MOUSE);
        Press(sheet, PSBTN_OK);
    }));
    EXPECT_EQ("Scheduler Status : Please Wait...", seen.status);
    EXPECT_EQ(UINT(BST_CHECKED), seen.save);
    EXPECT_EQ(UINT(BST_CHECKED), seen.oldMode);
    EXPECT_TRUE(seen.oldEnabled);
    EXPECT_EQ(UINT(BST_CHECKED), seen.restore);
    EXPECT_TRUE(seen.restoreEnabled);
    EXPECT_EQ(UINT(BST_CHECKED), seen.powerOff) << "5 is on for good, not for one run";
    EXPECT_EQ(UINT(BST_INDETERMINATE), seen.noPaging);
    EXPECT_EQ(UINT(BST_UNCHECKED), seen.bootIni) << "Windows 7 has no BOOT.INI to substitute";
    EXPECT_FALSE(seen.bootIniEnabled);
    EXPECT_EQ(UINT(BST_UNCHECKED), seen.fastBoot);
    EXPECT_EQ(UINT(BST_UNCHECKED), seen.mouse);
    EXPECT_EQ(3, seen.entry);

    EXPECT_EQ(2, Stored(setting::aux_vso));
    EXPECT_EQ(2, Stored(setting::CreateRestorePoint));
    EXPECT_EQ(1, Stored(setting::PowerOff));
    EXPECT_EQ(2, Stored(setting::NoPagingFile));
    EXPECT_EQ(3, Stored(setting::NotAutoPowerOff));
    EXPECT_EQ(0, Stored(setting::Bootini));
    EXPECT_EQ(0, Stored(setting::SystemReboot));
    EXPECT_EQ(0, Stored(setting::scanreg));
    EXPECT_EQ(1, Stored(setting::mouselr));
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(OptionsPagesTest, CancelKeepsEverythingButTheWritesOfTheOpening) {
    g_windowsVersion = 1000;
    WriteSettingDword(setting::SystemReboot.name, 2);
    WriteSettingDword(setting::How.name, 1);
    WriteSettingDword(setting::PowerOff.name, 1);
    WriteSettingDword(setting::aux_vso.name, 7);
    struct {
        bool beforeShellEnabled = true, safeModeEnabled = true;
        UINT shell = 9;
    } seen;
    ASSERT_TRUE(RunSheet(IDC_NORMAL_MAIN_PAGE, [&](HWND sheet) {
        DialogDriver::Click(Page(sheet), IDC_MAIN_POWEROFF);
        SendMessageA(sheet, PSM_SETCURSEL, kMethodPosition, 0);
        HWND method = Page(sheet);
        seen.beforeShellEnabled = DialogDriver::ItemEnabled(method, IDC_METHOD_BEFORESHELL);
        seen.safeModeEnabled = DialogDriver::ItemEnabled(method, IDC_METHOD_SAFEMODE);
        seen.shell = State(method, IDC_METHOD_SHELL);
        DialogDriver::Click(method, IDC_METHOD_NONE);
        Press(sheet, PSBTN_CANCEL);
    }));
    EXPECT_FALSE(seen.beforeShellEnabled);
    EXPECT_FALSE(seen.safeModeEnabled);
    EXPECT_EQ(UINT(BST_CHECKED), seen.shell);
    EXPECT_EQ(0, Stored(setting::SystemReboot)) << "the fast boot is switched off as the page opens";
    EXPECT_EQ(2, Stored(setting::How)) << "the obsolete method is rewritten as the page opens";
    EXPECT_EQ(1, Stored(setting::PowerOff));
    EXPECT_EQ(7, Stored(setting::aux_vso));
    EXPECT_FALSE(Exists(setting::mouselr));
}

// Without a settings key the pages show the catalogue's defaults, so an OK stores them and not
// "everything off" with How 4.
TEST_F(OptionsPagesTest, PagesWithoutSettingsShowTheDefaults) {
    g_windowsVersion = 501;
    struct {
        UINT mouse = 9, shell = 9, none = 9;
        LRESULT entry = -1;
    } seen;
    ASSERT_TRUE(RunSheet(IDC_NORMAL_METHOD_PAGE, [&](HWND sheet) {
        HWND method = Page(sheet);
        seen.shell = State(method, IDC_METHOD_SHELL);
        seen.none = State(method, IDC_METHOD_NONE);
        SendMessageA(sheet, PSM_SETCURSEL, kMainPosition, 0);
        HWND page = Page(sheet);
        seen.mouse = State(page, IDC_MAIN_MOUSE);
        seen.entry = Entry(page);
        Press(sheet, PSBTN_OK);
    }));
    EXPECT_EQ(UINT(BST_CHECKED), seen.shell);
    EXPECT_EQ(UINT(BST_UNCHECKED), seen.none);
    EXPECT_EQ(UINT(BST_CHECKED), seen.mouse);
    EXPECT_EQ(0, seen.entry);
    EXPECT_EQ(2, Stored(setting::How));
    EXPECT_EQ(1, Stored(setting::mouselr));
    EXPECT_EQ(0, Stored(setting::notnetsafe));
    EXPECT_EQ(0, Stored(setting::aux_vso));
}

// Declining the question puts back the entry the user had, not "Shutdown".
TEST_F(OptionsPagesTest, DeclinedAfterRunQuestionRestoresThePreviousEntry) {
    g_windowsVersion = 501;
    WriteSettingDword(setting::Bootini.name, 1);
    WriteSettingDword(setting::NotAutoPowerOff.name, 1);
    LRESULT afterNo = -1, afterYes = -1, withoutBootIni = -1;
    boxes_.Answer(IDNO);
    boxes_.Answer(IDYES);
    ASSERT_TRUE(RunSheet(IDC_NORMAL_MAIN_PAGE, [&](HWND sheet) {
        HWND page = Page(sheet);
        Choose(page, 3);
        afterNo = Entry(page);
        Choose(page, 2);
        afterYes = Entry(page);
        DialogDriver::Click(page, IDC_MAIN_BOOTINI); // off: no more questions
        Choose(page, 3);
        withoutBootIni = Entry(page);
        Press(sheet, PSBTN_OK);
    }));
    EXPECT_EQ(1, afterNo);
    EXPECT_EQ(2, afterYes);
    EXPECT_EQ(3, withoutBootIni);
    EXPECT_EQ(2u, boxes_.calls().size());
    EXPECT_EQ(3, Stored(setting::NotAutoPowerOff));
    EXPECT_EQ(0, Stored(setting::Bootini));
}

TEST_F(OptionsPagesTest, Windows2000AsksBeforeTheNoPagingFileBox) {
    g_windowsVersion = 500;
    WriteSettingDword(setting::CreateRestorePoint.name, 2);
    UINT afterNo = 9, afterYes = 9, restore = 9;
    bool restoreEnabled = true;
    boxes_.Answer(IDNO);
    boxes_.Answer(IDYES);
    ASSERT_TRUE(RunSheet(IDC_NORMAL_MAIN_PAGE, [&](HWND sheet) {
        HWND page = Page(sheet);
        DialogDriver::Click(page, IDC_MAIN_NOPAGINGFILE);
        afterNo = State(page, IDC_MAIN_NOPAGINGFILE);
        DialogDriver::Click(page, IDC_MAIN_NOPAGINGFILE);
        afterYes = State(page, IDC_MAIN_NOPAGINGFILE);
        restore = State(page, IDC_MAIN_RESTOREPOINT);
        restoreEnabled = DialogDriver::ItemEnabled(page, IDC_MAIN_RESTOREPOINT);
        Press(sheet, PSBTN_OK);
    }));
    EXPECT_EQ(UINT(BST_UNCHECKED), afterNo);
    EXPECT_EQ(UINT(BST_CHECKED), afterYes);
    ASSERT_EQ(2u, boxes_.calls().size());
    EXPECT_EQ(0u, boxes_.calls()[0].text.find("When you turn on this checkbox, Windows 2000"));
    EXPECT_EQ(UINT(BST_UNCHECKED), restore) << "Windows 2000 makes no restore points";
    EXPECT_FALSE(restoreEnabled);
    EXPECT_EQ(1, Stored(setting::NoPagingFile));
    EXPECT_EQ(0, Stored(setting::CreateRestorePoint));
}

TEST_F(OptionsPagesTest, MethodPageOnVistaAndXp) {
    const struct {
        unsigned short version;
        LONG how, notNetSafe;
        int shown;
        bool safeMode, notNetSafeChecked;
        LONG storedAtOnce;
    } cases[] = {
        {600, 3, 1, IDC_METHOD_SAFEMODE, true, true, 3},
        {601, 3, 1, IDC_METHOD_SHELL, false, true, 2},
        {501, 1, 0, IDC_METHOD_BEFORESHELL, true, false, 0},
        {501, 9, 0, IDC_METHOD_BEFORESHELL, true, false, 9},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "How " << c.how << " on " << c.version);
        g_windowsVersion = c.version;
        WriteSettingDword(setting::How.name, c.how);
        WriteSettingDword(setting::notnetsafe.name, c.notNetSafe);
        int shown = 0;
        bool safeMode = false, notNetSafeEnabled = false;
        UINT notNetSafe = 9;
        LONG storedAtOnce = -1;
        ASSERT_TRUE(RunSheet(IDC_NORMAL_METHOD_PAGE, [&](HWND sheet) {
            HWND page = Page(sheet);
            for (int id : {IDC_METHOD_NONE, IDC_METHOD_BEFORESHELL, IDC_METHOD_SHELL, IDC_METHOD_SAFEMODE})
                if (State(page, id) == BST_CHECKED) shown = id;
            safeMode = DialogDriver::ItemEnabled(page, IDC_METHOD_SAFEMODE);
            notNetSafeEnabled = DialogDriver::ItemEnabled(page, IDC_METHOD_NOTNETSAFE);
            notNetSafe = State(page, IDC_METHOD_NOTNETSAFE);
            storedAtOnce = Stored(setting::How);
            Press(sheet, PSBTN_OK);
        }));
        EXPECT_EQ(c.shown, shown);
        EXPECT_EQ(c.safeMode, safeMode);
        EXPECT_EQ(c.safeMode, notNetSafeEnabled);
        EXPECT_EQ(c.notNetSafeChecked ? UINT(BST_CHECKED) : UINT(BST_UNCHECKED), notNetSafe);
        EXPECT_EQ(c.storedAtOnce, storedAtOnce);
        EXPECT_EQ(HowOfRadio(c.shown), Stored(setting::How));
        EXPECT_EQ(c.notNetSafe, Stored(setting::notnetsafe));
    }
}

// ---- More settings ------------------------------------------------------------------------------

class MoreSettingsTest : public PlannerTest {
protected:
    void SetUp() override {
        PlannerTest::SetUp();
        DeleteRaw(HKEY_LOCAL_MACHINE, kSessionManagerPath, "AutoChkTimeOut");
    }
    static LONG AutoChkTimeOut() {
        RawValue value = ReadRaw(HKEY_LOCAL_MACHINE, kSessionManagerPath, "AutoChkTimeOut");
        return value.exists && value.data.size() == 4 ? *reinterpret_cast<const LONG *>(value.data.data()) : -1;
    }
    static std::string Text(HWND dialog, int id) { return DialogDriver::ItemText(dialog, id); }
    static void Set(HWND dialog, int id, const char *text) { SetDlgItemTextA(dialog, id, text); }
    static LRESULT Slider(HWND dialog) { return SendDlgItemMessageA(dialog, IDC_MORE_ALPHA, TBM_GETPOS, 0, 0); }
    // Sends OK on the dialog's own thread and tells whether the dialog is still open afterwards.
    static bool StaysOpenAfterOk(HWND dialog) {
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return IsWindow(dialog) && IsWindowVisible(dialog);
    }

    ValueGuard autoChk_{HKEY_LOCAL_MACHINE, kSessionManagerPath, "AutoChkTimeOut"};
};

TEST_F(MoreSettingsTest, DefaultsShownAndEveryValueWrittenOnOk) {
    struct {
        std::string msc, dkLite, wait, autoChk;
        LRESULT alpha = -1;
    } seen;
    DialogDriver driver("More Settings", [&](HWND dialog) {
        seen.msc = Text(dialog, IDC_MORE_MSCPATH);
        seen.dkLite = Text(dialog, IDC_MORE_DKLITEWAIT);
        seen.wait = Text(dialog, IDC_MORE_WAIT);
        seen.autoChk = Text(dialog, IDC_MORE_AUTOCHK);
        seen.alpha = Slider(dialog);
        Set(dialog, IDC_MORE_MSCPATH, "C:\\My Tools\\defrag.msc");
        Set(dialog, IDC_MORE_DKLITEWAIT, "2147483647");
        Set(dialog, IDC_MORE_WAIT, "");
        Set(dialog, IDC_MORE_AUTOCHK, " 259200 ");
        SendDlgItemMessageA(dialog, IDC_MORE_ALPHA, TBM_SETPOS, TRUE, 0);
        DialogDriver::Click(dialog, IDC_MORE_NODKWARN);
        DialogDriver::Click(dialog, IDC_MORE_DOUBLE);
        DialogDriver::Command(dialog, IDOK);
    });
    EXPECT_EQ(0, ShowMoreSettings(nullptr));
    ASSERT_TRUE(driver.Join());
    EXPECT_EQ("DFRG.MSC", seen.msc);
    EXPECT_EQ("10000", seen.dkLite);
    EXPECT_EQ("0", seen.wait);
    EXPECT_EQ("10", seen.autoChk);
    EXPECT_EQ(255, seen.alpha);

    RawValue msc = ReadRaw(HKEY_LOCAL_MACHINE, kSettingsPath, setting::MSCPath.name);
    EXPECT_EQ(DWORD(REG_SZ), msc.type);
    EXPECT_STREQ("C:\\My Tools\\defrag.msc", reinterpret_cast<const char *>(msc.data.data()));
    EXPECT_EQ(2147483647, ReadSettingDword(setting::DKLiteWait.name));
    EXPECT_EQ(0, ReadSettingDword(setting::wait.name));
    EXPECT_EQ(0, ReadSettingDword(setting::alpha.name));
    EXPECT_EQ(1, ReadSettingDword(setting::NoDKWarn.name));
    EXPECT_EQ(0, ReadSettingDword(setting::jama_window.name));
    EXPECT_EQ(1, ReadSettingDword(setting::enable_double.name));
    EXPECT_EQ(259200, AutoChkTimeOut());
    EXPECT_TRUE(BoxTexts().empty());
}

// Numbers the planner and QS would read as negative, a countdown Windows does not take and a
// field without a number are refused, and the dialog stays open until they are put right.
TEST_F(MoreSettingsTest, NumbersOutOfRangeAreRefusedAndKeepTheDialog) {
    const struct {
        int id;
        const char *text;
    } refused[] = {
        {IDC_MORE_AUTOCHK, "300000"},  {IDC_MORE_AUTOCHK, "259201"}, {IDC_MORE_DKLITEWAIT, "2147483648"},
        {IDC_MORE_WAIT, "4294967296"}, {IDC_MORE_WAIT, "12x"},       {IDC_MORE_DKLITEWAIT, "-1"},
    };
    std::vector<bool> stayed;
    bool closedAfterFix = false;
    DialogDriver driver("More Settings", [&](HWND dialog) {
        for (const auto &c : refused) {
            Set(dialog, c.id, c.text);
            stayed.push_back(StaysOpenAfterOk(dialog));
            Set(dialog, c.id, "7");
        }
        closedAfterFix = !StaysOpenAfterOk(dialog);
    });
    EXPECT_EQ(0, ShowMoreSettings(nullptr));
    ASSERT_TRUE(driver.Join());
    EXPECT_EQ(std::vector<bool>(sizeof refused / sizeof *refused, true), stayed);
    EXPECT_TRUE(closedAfterFix);
    std::vector<std::string> texts = BoxTexts();
    ASSERT_EQ(sizeof refused / sizeof *refused, texts.size());
    EXPECT_EQ("Please enter a number from 0 to 259200.", texts[0]);
    EXPECT_EQ("Please enter a number from 0 to 2147483647.", texts[2]);
    EXPECT_EQ(7, AutoChkTimeOut());
    EXPECT_EQ(7, ReadSettingDword(setting::DKLiteWait.name));
}

TEST_F(MoreSettingsTest, CancelWritesNothingAndDropsAddToThePath) {
    WriteSettingDword(setting::alpha.name, 300);
    WriteDword(HKEY_LOCAL_MACHINE, kSessionManagerPath, "AutoChkTimeOut", 5);
    std::string path;
    LRESULT alpha = -1;
    std::string tooLong(530, 'x');
    DialogDriver driver("More Settings", [&](HWND dialog) {
        alpha = Slider(dialog);
        Set(dialog, IDC_MORE_MSCPATH, "C:\\a.msc");
        SendMessageA(dialog, WM_DROPFILES,
                     WPARAM(MakeDrop({"C:\\My Files\\b.msc", "C:\\" + tooLong + ".msc", "C:\\c.msc"})), 0);
        path = Text(dialog, IDC_MORE_MSCPATH);
        Set(dialog, IDC_MORE_AUTOCHK, "60");
        DialogDriver::Command(dialog, IDCANCEL);
    });
    EXPECT_EQ(1, ShowMoreSettings(nullptr));
    ASSERT_TRUE(driver.Join());
    EXPECT_EQ(255, alpha);
    EXPECT_EQ("C:\\a.msc \"C:\\My Files\\b.msc\" C:\\c.msc", path);
    EXPECT_EQ(5, AutoChkTimeOut());
    EXPECT_EQ(300, ReadSettingDword(setting::alpha.name));
    EXPECT_FALSE(ReadRaw(HKEY_LOCAL_MACHINE, kSettingsPath, setting::MSCPath.name).exists);
}

} // namespace
