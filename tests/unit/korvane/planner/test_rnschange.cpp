// The system changes of a run against the real (Wine) registry and files: what each step changes,
// what it saves, which restore entries it queues, and that a failed or repeated change never
// loses the user's own setting.
#include "planner/rnschange.h"

#include "dialogs/alogon.h"
#include "planner_fixture.h"
#include "system_state.h"

#include <gtest/gtest.h>
#include <shlwapi.h>

#include <cctype>
#include <cstring>

namespace {

using Lines = std::vector<std::string>;

const char kServices[] = "SYSTEM\\CurrentControlSet\\Services";

// ---- Decisions ----------------------------------------------------------------------------------

TEST(OldShell, QsItselfBecomesExplorerAndNothingStaysNothing) {
    const struct {
        const char *current, *qs, *expected;
    } cases[] = {
        {"", "C:\\TIDEWELL\\QS.EXE", ""},
        {"", "", ""},
        {"C:\\tools\\myshell.exe /x", "C:\\TIDEWELL\\QS.EXE", "C:\\tools\\myshell.exe /x"},
        {"c:\\tidewell\\qs.exe", "C:\\TIDEWELL\\QS.EXE", "Explorer.exe"},
        {"C:\\TIDEWELL\\QS.EXE /S", "C:\\TIDEWELL\\QS.EXE", "C:\\TIDEWELL\\QS.EXE /S"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.expected, OldShellToSave(c.current, c.qs)) << "current shell \"" << c.current << "\"";
}

TEST(PagingFiles, EachEntryGivesItsFile) {
    using S = std::string;
    const struct {
        std::string data;
        Lines expected;
    } cases[] = {
        {S("C:\\pagefile.sys 27 77\0", 22), {"C:\\pagefile.sys"}},
        {S("C:\\pagefile.sys 1024 2048\0D:\\pagefile.sys 0 0\0\0", 48), {"C:\\pagefile.sys", "D:\\pagefile.sys"}},
        {S("\"C:\\page files\\page.sys\" 10 20\0\0", 33), {"C:\\page files\\page.sys"}},
        {S("\"C:\\unclosed quote.sys\0\0", 24), {"C:\\unclosed quote.sys"}},
        {S("C:\\pagefile.sys"), {"C:\\pagefile.sys"}}, // no terminator at all
        {S("  E:\\pagefile.sys 5 5\0", 22), {"E:\\pagefile.sys"}},
        {S("?:\\pagefile.sys\0\0", 17), {"?:\\pagefile.sys"}},
        {S("\0\0\0", 3), {}}, // what a run leaves in PagingFiles
        {S(), {}},
        {S(" \0\"\"\0", 5), {}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.expected, PagingFilePaths(c.data)) << "data of " << c.data.size() << " bytes: " << c.data.c_str();
}

TEST(BootIni, EveryEntryOfTheOperatingSystemsStartsSafeMode) {
    const std::string original = "[boot loader]\r\n"
                                 "timeout=30\r\n"
                                 "default=multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS\r\n"
                                 "[Operating Systems]\r\n"
                                 "multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS=\"Windows XP\" /fastdetect\r\n"
                                 "; multi(0)disk(0)rdisk(0)partition(2)\\WINNT=\"old\"\r\n"
                                 "\r\n"
                                 "C:\\CMDCONS\\BOOTSECT.DAT=\t Recovery Console /cmdcons\r\n"
                                 "[extra]\r\n"
                                 "key=value\r\n";
    const std::string network = "[boot loader]\r\n"
                                "timeout=30\r\n"
                                "default=multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS\r\n"
                                "[Operating Systems]\r\n"
                                "multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS=\"Windows XP\" /fastdetect "
                                "/SAFEBOOT:NETWORK\r\n"
                                "C:\\CMDCONS\\BOOTSECT.DAT=\"Recovery Console /cmdcons\" /SAFEBOOT:NETWORK\r\n"
                                "[extra]\r\n"
                                "key=value\r\n";
    EXPECT_EQ(network, RewriteBootIniForSafeMode(original, false));

    // Bare line feeds, a last line without one, and the minimal kind.
    EXPECT_EQ("[operating systems]\r\nx=\"a\" /SAFEBOOT:MINIMAL\r\ny=\"\" /SAFEBOOT:MINIMAL\r\n",
              RewriteBootIniForSafeMode("[operating systems]\nx=a\ny=", true));
    EXPECT_EQ("[boot loader]\r\nno section follows\r\n",
              RewriteBootIniForSafeMode("[boot loader]\r\nno section follows", true));
    EXPECT_EQ("", RewriteBootIniForSafeMode("", true));
}

// ---- Steps against the registry -----------------------------------------------------------------

class ChangeTest : public PlannerTest {
protected:
    PlannerOptions Options(int runMethod) {
        PlannerOptions options;
        options.runMethod = runMethod;
        return options;
    }
    static std::string Text(HKEY root, const char *path, const char *name) {
        RawValue value = ReadRaw(root, path, name);
        return value.exists ? std::string(reinterpret_cast<const char *>(value.data.data())) : "(absent)";
    }
    static std::string Setting(const char *name) { return Text(HKEY_LOCAL_MACHINE, kSettingsPath, name); }
    static LONG Dword(HKEY root, const char *path, const char *name, LONG absent = -1) {
        RawValue value = ReadRaw(root, path, name);
        LONG number = absent;
        if (value.exists && value.data.size() == sizeof number) memcpy(&number, value.data.data(), sizeof number);
        return number;
    }
};

TEST_F(ChangeTest, UacIsSwitchedOffOnlyForTheShellMethodsFromVista) {
    ValueGuard lua(HKEY_LOCAL_MACHINE, kPoliciesSystemPath, "EnableLUA");
    const struct {
        unsigned short version;
        int runMethod;
        LONG before; // -1: absent
        LONG after;
        Lines entries, log;
    } cases[] = {
        {601, 3, -1, 0, {"$EnableUAC"}, {"Disable UAC..."}},
        {601, 2, 0, 0, {}, {"UAC has already been disabled."}},
        {601, 0, 1, 1, {}, {}},
        {501, 2, 1, 1, {}, {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "version " << c.version << ", run method " << c.runMethod);
        Restart();
        if (c.before < 0)
            DeleteRaw(HKEY_LOCAL_MACHINE, kPoliciesSystemPath, "EnableLUA");
        else
            WriteDword(HKEY_LOCAL_MACHINE, kPoliciesSystemPath, "EnableLUA", DWORD(c.before));
        g_windowsVersion = c.version;
        PlannerOptions options = Options(c.runMethod);
        DisableUac(options);
        EXPECT_EQ(c.runMethod, options.runMethod);
        EXPECT_EQ(c.after, Dword(HKEY_LOCAL_MACHINE, kPoliciesSystemPath, "EnableLUA", 1));
        EXPECT_EQ(c.entries, Entries());
        EXPECT_EQ(c.log, log_.Texts());
    }
}

TEST_F(ChangeTest, OnlyAutomaticServicesAreDisabledAndRemembered) {
    KeyGuard a(HKEY_LOCAL_MACHINE, std::string(kServices) + "\\TwTestAuto");
    KeyGuard b(HKEY_LOCAL_MACHINE, std::string(kServices) + "\\TwTestManual");
    KeyGuard c(HKEY_LOCAL_MACHINE, std::string(kServices) + "\\TwTestAuto2");
    WriteDword(HKEY_LOCAL_MACHINE, (std::string(kServices) + "\\TwTestAuto").c_str(), "Start", 2);
    WriteDword(HKEY_LOCAL_MACHINE, (std::string(kServices) + "\\TwTestManual").c_str(), "Start", 3);
    WriteDword(HKEY_LOCAL_MACHINE, (std::string(kServices) + "\\TwTestAuto2").c_str(), "Start", 2);
    PlannerOptions options = Options(2);
    options.stopServices = "TwTestAuto\aTwTestManual\aTwTestMissing\aTwTestAuto2"; // the last BEL lost
    StopServices(options);

    EXPECT_EQ((Lines{"$RService TwTestAuto", "$RService TwTestAuto2"}), Entries());
    EXPECT_EQ(4, Dword(HKEY_LOCAL_MACHINE, (std::string(kServices) + "\\TwTestAuto").c_str(), "Start"));
    EXPECT_EQ(3, Dword(HKEY_LOCAL_MACHINE, (std::string(kServices) + "\\TwTestManual").c_str(), "Start"));
    EXPECT_EQ(4, Dword(HKEY_LOCAL_MACHINE, (std::string(kServices) + "\\TwTestAuto2").c_str(), "Start"));
    EXPECT_EQ("TwTestAuto\aTwTestAuto2\a", Setting(setting::StoppedSrv.name));
    EXPECT_EQ((Lines{"Stopping Services...", "Stop Service failed(K) - TwTestMissing",
                     "Stopped Services - TwTestAuto,TwTestAuto2"}),
              log_.Texts());

    // Without the shell swap the services are stopped by the list itself and nothing is changed.
    Restart();
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, kSettingsPath);
    options.runMethod = 0;
    options.stopServices = "TwTestManual\a";
    StopServices(options);
    EXPECT_EQ((Lines{"net stop \"TwTestManual\" /y"}), Entries());
    EXPECT_EQ("(absent)", Setting(setting::StoppedSrv.name));
}

TEST_F(ChangeTest, TheShellSwapQueuesTheUsersOwnShell) {
    ValueGuard shell(HKEY_CURRENT_USER, kUserWinlogonPath, "Shell");
    ASSERT_FALSE(QsShortPath().empty()) << "QS.EXE must lie beside the test";
    std::string qsLower = QsShortPath();
    for (char &ch : qsLower)
        ch = char(tolower(static_cast<unsigned char>(ch)));
    const struct {
        const char *before; // null: absent
        std::string entry, saved;
    } cases[] = {
        {nullptr, "$RestoreShell ", ""},
        {"C:\\tools\\my shell.exe", "$RestoreShell C:\\tools\\my shell.exe", "C:\\tools\\my shell.exe"},
        {qsLower.c_str(), "$RestoreShell Explorer.exe", "Explorer.exe"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.before ? c.before : "(absent)");
        Restart();
        if (c.before)
            WriteText(HKEY_CURRENT_USER, kUserWinlogonPath, "Shell", c.before);
        else
            DeleteRaw(HKEY_CURRENT_USER, kUserWinlogonPath, "Shell");
        InstallQuietShell(Options(2));
        EXPECT_EQ(QsShortPath(), Text(HKEY_CURRENT_USER, kUserWinlogonPath, "Shell"));
        EXPECT_EQ(c.saved, Setting(setting::oldShell.name));
        EXPECT_EQ(Lines{c.entry}, Entries());
        EXPECT_EQ((Lines{"Changed to the Quiet Shell.", "Saved an old shell.", "Made command to restore shell."}),
                  log_.Texts());
    }
}

class PagingTest : public ChangeTest {
protected:
    void SetUp() override {
        ChangeTest::SetUp();
        saved_ = g_physicalMemory;
        g_physicalMemory = [] { return kMemoryForNoPagingFile; };
    }
    void TearDown() override {
        g_physicalMemory = saved_;
        ChangeTest::TearDown();
    }
    // Entries without the "$DelIfExist" ones, which depend on the files of the machine.
    Lines EntriesOfTheValue() const {
        Lines entries;
        for (const std::string &entry : Entries())
            if (entry.compare(0, 12, "$DelIfExist ") != 0) entries.push_back(entry);
        return entries;
    }
    ValueGuard paging_{HKEY_LOCAL_MACHINE, kMemoryManagementPath, "PagingFiles"};
    ValueGuard backup_{HKEY_LOCAL_MACHINE, kMemoryManagementPath, "_PagingFiles"};
    unsigned long long (*saved_)() = nullptr;
};

TEST_F(PagingTest, ThePagingFileEntryIsSavedBeforeItIsEmptied) {
    const Bytes original = BytesOf("C:\\pagefile.sys 512 1024\0D:\\swap.sys 8 8\0", 42);
    WriteRaw(HKEY_LOCAL_MACHINE, kMemoryManagementPath, "PagingFiles", REG_MULTI_SZ, original);
    PlannerOptions options = Options(2);
    options.noPagingFile = true;
    DisablePagingFile(options);

    RawValue backup = ReadRaw(HKEY_LOCAL_MACHINE, kMemoryManagementPath, "_PagingFiles");
    EXPECT_EQ(DWORD(REG_BINARY), backup.type);
    EXPECT_EQ(original, backup.data) << "the old entry is kept byte for byte";
    RawValue emptied = ReadRaw(HKEY_LOCAL_MACHINE, kMemoryManagementPath, "PagingFiles");
    EXPECT_EQ(DWORD(REG_BINARY), emptied.type);
    EXPECT_EQ(Bytes(3, 0), emptied.data);
    EXPECT_EQ((Lines{"$Del C:\\pagefile.sys", "$Del D:\\swap.sys", "$RestoreSwap"}), EntriesOfTheValue());
    EXPECT_EQ(Lines{"Disable Paging File after rebooting."}, log_.Texts());

    // A second run before QS restored the first keeps the first run's backup.
    Restart();
    DisablePagingFile(options);
    EXPECT_EQ(original, ReadRaw(HKEY_LOCAL_MACHINE, kMemoryManagementPath, "_PagingFiles").data);
    EXPECT_EQ((Lines{"$Del C:\\pagefile.sys", "$Del D:\\swap.sys", "$RestoreSwap"}), EntriesOfTheValue());
}

TEST_F(PagingTest, NothingChangesWithoutTheOptionInSafeModeOrWithLittleMemory) {
    const Bytes original = BytesOf("C:\\pagefile.sys 27 77", 22);
    WriteRaw(HKEY_LOCAL_MACHINE, kMemoryManagementPath, "PagingFiles", REG_SZ, original);
    DeleteRaw(HKEY_LOCAL_MACHINE, kMemoryManagementPath, "_PagingFiles");
    PlannerOptions off = Options(2);
    PlannerOptions safeMode = Options(3);
    safeMode.noPagingFile = true;
    PlannerOptions little = Options(2);
    little.noPagingFile = true;

    DisablePagingFile(off);
    DisablePagingFile(safeMode);
    EXPECT_EQ(Lines{"Cannot delete Paging file."}, log_.Texts());
    g_physicalMemory = [] { return kMemoryForNoPagingFile - 1; };
    DisablePagingFile(little);

    EXPECT_TRUE(Entries().empty());
    EXPECT_EQ(original, ReadRaw(HKEY_LOCAL_MACHINE, kMemoryManagementPath, "PagingFiles").data);
    EXPECT_FALSE(ReadRaw(HKEY_LOCAL_MACHINE, kMemoryManagementPath, "_PagingFiles").exists);
}

class BootIniTest : public ChangeTest {
protected:
    void SetUp() override {
        ChangeTest::SetUp();
        g_windowsVersion = 501;
    }
    std::string File(const char *name) const { return folder_ / name; }
    std::string Folder() const { return folder_.path() + "\\"; }
    TempFolder folder_;
};

const char kBootIni[] = "[boot loader]\r\ndefault=multi(0)disk(0)rdisk(0)partition(1)\\WINDOWS\r\n"
                        "[operating systems]\r\nmulti(0)disk(0)rdisk(0)partition(1)\\WINDOWS=\"XP\" /fastdetect\r\n";

TEST_F(BootIniTest, TheReplacementTakesThePlaceOfBootIniAndTheOriginalIsKept) {
    WriteFileText(File("BOOT.INI"), kBootIni);
    SetFileAttributesA(File("BOOT.INI").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    WriteFileText(File("BOOT.RNB"), "replacement");
    PlannerOptions options = Options(2);
    options.bootini = true;
    PrepareBootIniIn(Folder(), options);

    EXPECT_EQ(kBootIni, ReadFileText(File("BOOT.RN_")));
    EXPECT_EQ("replacement", ReadFileText(File("BOOT.INI")));
    EXPECT_EQ(Lines{"$RestoreBi"}, Entries());
    EXPECT_EQ(Lines{"Boot.ini was replaced with Boot.rnb."}, log_.Texts());
}

TEST_F(BootIniTest, TheOriginalAnEarlierRunLeftIsNeverOverwritten) {
    // The first run edited BOOT.INI for safe mode; its restore has not run when the second is
    // planned, for safe mode again and then with the replacement.
    WriteFileText(File("BOOT.INI"), kBootIni);
    PlannerOptions first = Options(3);
    PrepareBootIniIn(Folder(), first);
    for (bool replace : {false, true}) {
        SCOPED_TRACE(replace ? "replacement" : "safe mode");
        Restart();
        WriteFileText(File("BOOT.RNB"), "replacement");
        PlannerOptions again = Options(replace ? 2 : 3);
        again.bootini = replace;
        PrepareBootIniIn(Folder(), again);
        EXPECT_EQ(kBootIni, ReadFileText(File("BOOT.RN_")));
        EXPECT_EQ(replace ? std::string("replacement") : RewriteBootIniForSafeMode(kBootIni, false),
                  ReadFileText(File("BOOT.INI")))
            << "edited once, from the original";
        EXPECT_EQ("Boot.ini was put back from the Boot.rn_ an earlier run left.", log_.Texts().at(0));
    }
}

TEST_F(BootIniTest, SafeModeEditsBootIniInPlace) {
    WriteFileText(File("BOOT.INI"), kBootIni);
    PlannerOptions options = Options(3);
    options.notNetSafe = true;
    PrepareBootIniIn(Folder(), options);

    EXPECT_EQ(kBootIni, ReadFileText(File("BOOT.RN_")));
    EXPECT_EQ(RewriteBootIniForSafeMode(kBootIni, true), ReadFileText(File("BOOT.INI")));
    EXPECT_FALSE(IsFile(File("BOOT.IN_")));
    EXPECT_EQ(3, options.runMethod);
    EXPECT_EQ(Lines{"$RestoreBi"}, Entries());
    EXPECT_EQ(Lines{"Boot.ini is edited for a safe mode."}, log_.Texts());
}

TEST_F(BootIniTest, FailuresAreReportedAndLeaveBootIniAlone) {
    // No BOOT.INI: nothing to back up, so no safe mode and no restore entry.
    PlannerOptions safeMode = Options(3);
    PrepareBootIniIn(Folder(), safeMode);
    EXPECT_EQ(2, safeMode.runMethod);
    EXPECT_TRUE(Entries().empty());
    EXPECT_EQ(Lines{"Cannot Backup Boot.ini."}, log_.Texts());

    // No BOOT.RNB: BOOT.INI stays as it was, and is still put back after the run.
    Restart();
    WriteFileText(File("BOOT.INI"), kBootIni);
    PlannerOptions replace = Options(0);
    replace.bootini = true;
    PrepareBootIniIn(Folder(), replace);
    EXPECT_EQ(kBootIni, ReadFileText(File("BOOT.INI")));
    EXPECT_EQ(Lines{"$RestoreBi"}, Entries());
    EXPECT_EQ(Lines{"Boot.rnb is not found."}, log_.Texts());
    EXPECT_EQ((Lines{"Cannot Backup Boot.ini.", "Boot.rnb is not found."}), BoxTexts());

    // Without a restart, and from Vista on without safe mode, BOOT.INI is not touched.
    Restart();
    WriteFileText(File("BOOT.RNB"), "replacement");
    PlannerOptions now = Options(4);
    now.bootini = true;
    PrepareBootIniIn(Folder(), now);
    g_windowsVersion = 600;
    PlannerOptions vista = Options(2);
    vista.bootini = true;
    PrepareBootIniIn(Folder(), vista);
    EXPECT_EQ(kBootIni, ReadFileText(File("BOOT.INI")));
    EXPECT_TRUE(Entries().empty());
    EXPECT_TRUE(log_.Texts().empty());
}

TEST_F(ChangeTest, AutomaticLogonIsSwitchedOnAndItsEndQueued) {
    ValueGuard autoLogon(HKEY_LOCAL_MACHINE, kWinlogonPath, kAutoAdminLogon);
    ValueGuard lastLogon(HKEY_LOCAL_MACHINE, kPoliciesSystemPath, "DisplayLastLogonInfo");
    const struct {
        LONG offAutoLogon, endAction;
        int runMethod;
        LONG lastLogonBefore;
        const char *autoAfter;
        Lines entries;
    } cases[] = {
        {0, 0, 2, 1, "(absent)", {}},
        {1, 0, 2, 1, "1", {"$OffAutoLogon", "$EnableDisplayLastLogonInfo"}},
        {3, 1, 0, 0, "1", {"$OffAutoLogon"}},
        {2, 0, 2, 0, "1", {"$ClearAutoLogon"}},
        {2, 2, 2, 1, "1", {"$EnableDisplayLastLogonInfo"}}, // korvane /H0 ends it after suspend
        {1, 0, 4, 1, "(absent)", {"$OffAutoLogon"}},        // no restart, no logon
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "OffAutoLogon " << c.offAutoLogon << ", NotAutoPowerOff " << c.endAction
                                        << ", run method " << c.runMethod);
        Restart();
        DeleteRaw(HKEY_LOCAL_MACHINE, kWinlogonPath, kAutoAdminLogon);
        WriteDword(HKEY_LOCAL_MACHINE, kPoliciesSystemPath, "DisplayLastLogonInfo", DWORD(c.lastLogonBefore));
        PlannerOptions options = Options(c.runMethod);
        options.offAutoLogon = c.offAutoLogon;
        options.endAction = c.endAction;
        SetAutomaticLogon(options);
        EXPECT_EQ(c.autoAfter, Text(HKEY_LOCAL_MACHINE, kWinlogonPath, kAutoAdminLogon));
        EXPECT_EQ(c.entries, Entries());
        bool changed = std::string(c.autoAfter) == "1";
        EXPECT_EQ(changed ? 0 : c.lastLogonBefore,
                  Dword(HKEY_LOCAL_MACHINE, kPoliciesSystemPath, "DisplayLastLogonInfo"));
    }
}

TEST_F(ChangeTest, SuspendOrHibernationFollowsTheRun) {
    ValueGuard h0(HKEY_CURRENT_USER, kUserRunOncePath, "Korvane0H0");
    ValueGuard h1(HKEY_CURRENT_USER, kUserRunOncePath, "Korvane0H1");
    char module[MAX_PATH];
    GetModuleFileNameA(nullptr, module, sizeof module);
    const std::string suspend = std::string("\"") + module + "\" /H0";
    const std::string hibernate = std::string("\"") + module + "\" /H1";
    const struct {
        LONG endAction;
        int runMethod;
        bool countdown;
        Lines entries;
        const char *value;     // RunOnce value written, or null
        std::string valueText; // its text
        Lines log;
    } cases[] = {
        {2,
         2,
         true,
         {"$CountDown 20,change to suspend mode"},
         "Korvane0H0",
         suspend,
         {"Set to change to suspend mode."}},
        {3, 0, false, {}, "Korvane0H1", hibernate, {"Set to change to hibernation mode."}},
        {3, 4, true, {"$CountDown 20,change to hibernation mode", hibernate}, nullptr, "", {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "NotAutoPowerOff " << c.endAction << ", run method " << c.runMethod);
        Restart();
        DeleteRaw(HKEY_CURRENT_USER, kUserRunOncePath, "Korvane0H0");
        DeleteRaw(HKEY_CURRENT_USER, kUserRunOncePath, "Korvane0H1");
        PlannerOptions options = Options(c.runMethod);
        options.endAction = c.endAction;
        options.afterCountdown = c.countdown;
        SetPowerAfterRun(options);
        EXPECT_EQ(c.entries, Entries());
        EXPECT_EQ(c.log, log_.Texts());
        for (const char *name : {"Korvane0H0", "Korvane0H1"}) {
            bool expected = c.value && std::string(c.value) == name;
            EXPECT_EQ(expected ? c.valueText : "(absent)", Text(HKEY_CURRENT_USER, kUserRunOncePath, name)) << name;
        }
    }
}

} // namespace
