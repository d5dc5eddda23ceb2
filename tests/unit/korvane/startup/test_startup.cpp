// The start-up of korvane: the switch of the command line, the version resource and the self-check
// of the built EXE, the registry write test and its repair, the settings upkeep, the power action
// after a run and the scheduler replacement.
#include "dialog_driver.h"
#include "key_access.h"
#include "korvane.h"
#include "startup/startup.h"
#include "window/korvwin.h"
#include "dialogs/notify.h"
#include "planner_fixture.h"
#include "resource.h"
#include "system_state.h"

#include "settings.h"

#include <gtest/gtest.h>
#include <shlwapi.h>

#include <algorithm>
#include <map>
#include <set>

namespace {

// ---- Command line -----------------------------------------------------------------------------

TEST(StartSwitches, OnlyTheFirstPairCountsAndTheRestIsTheArgument) {
    struct Case {
        const char *line;
        StartSwitch kind;
        int digit;
        const char *argument;
    } cases[] = {
        {"", StartSwitch::None, -1, ""},
        {"/a", StartSwitch::Auto, -1, ""},
        {"/A2", StartSwitch::Auto, 2, ""},
        {"/A7", StartSwitch::Auto, -1, ""},
        {"  /a3 /N", StartSwitch::Auto, 3, ""},
        {"/ECMD.EXE /C exit 1", StartSwitch::Ready, -1, "CMD.EXE /C exit 1"},
        {"/s", StartSwitch::ReadyAndRun, -1, ""},
        {"/S \"C:\\a b\\x.exe\" /q", StartSwitch::ReadyAndRun, -1, " \"C:\\a b\\x.exe\" /q"},
        {"/l\"C:\\list.txt\"", StartSwitch::TextFile, -1, "\"C:\\list.txt\""},
        {"/R C:\\set.reg", StartSwitch::RegFile, -1, " C:\\set.reg"},
        {"/H0", StartSwitch::Power, 0, ""},
        {"/h1", StartSwitch::Power, 1, ""},
        {"/H2", StartSwitch::None, -1, ""},
        {"/H", StartSwitch::None, -1, ""},
        {"/i", StartSwitch::Scheduler, -1, ""},
        {"/p", StartSwitch::Preview, -1, ""},
        {"/?", StartSwitch::Help, -1, ""},
        {"/Jx", StartSwitch::Japanese, -1, ""},
        {"/n", StartSwitch::English, -1, ""},
        {"/X", StartSwitch::None, -1, ""},
        {"-A", StartSwitch::None, -1, ""},
        {"/", StartSwitch::None, -1, ""},
        {"C:\\file.txt /A", StartSwitch::None, -1, ""},
    };
    for (const Case &c : cases) {
        ParsedSwitch parsed = ParseStartSwitch(c.line);
        EXPECT_EQ(int(c.kind), int(parsed.kind)) << c.line;
        EXPECT_EQ(c.digit, parsed.digit) << c.line;
        EXPECT_EQ(c.argument, parsed.argument) << c.line;
    }
}

TEST(StartSwitches, FileNamesOfLAndTheRegeditLineOfR) {
    EXPECT_EQ("C:\\a b\\list.txt", CommandFileName("  \"C:\\a b\\list.txt\" "));
    EXPECT_EQ("C:\\list.txt", CommandFileName("C:\\list.txt"));
    EXPECT_EQ("", CommandFileName("\"\""));
    EXPECT_EQ("REGEDIT.EXE /S \"C:\\my settings.reg\"", RegeditCommandLine("C:\\my settings.reg"));
    EXPECT_EQ("REGEDIT.EXE /S \"C:\\x.reg\"", RegeditCommandLine(" C:\\x.reg"));
    EXPECT_EQ("REGEDIT.EXE /S \"C:\\x.reg\" extra", RegeditCommandLine("\"C:\\x.reg\" extra"))
        << "a quoted argument is taken unchanged";
}

TEST(StartSwitches, UsageTextNamesEverySwitchOnItsOwnLine) {
    std::string usage = UsageText();
    EXPECT_EQ(0u, usage.find("Korvane.exe starts User Interface.\n\n/Ax : Skip mode"));
    EXPECT_EQ(std::string::npos, usage.find('\r'));
    for (const char *line : {"\n/E<Command Line> : Ready mode\n", "\n/S<Command Line> : /A + /E\n",
                             "\n/L<text file> Read text file and Run Rinsa with Other mode\n",
                             "\n/R<reg file> Read registry file and Run Rinsa.\n", "\n/J : Force Japanese mode\n",
                             "\n/N : Force English mode\n", "\n/H0 : Suspend mode\n"})
        EXPECT_NE(std::string::npos, usage.find(line)) << line;
    EXPECT_EQ(usage.size() - strlen("/H1 : Hibernation mode"), usage.rfind("/H1 : Hibernation mode"));
}

// ---- Version and build type -------------------------------------------------------------------

TEST(VersionResource, BuildTypeFromSpecialBuild) {
    struct Case {
        const char *special;
        int type;
    } cases[] = {{"beta", 2},
                 {"BETA", 2},
                 {"final beta", 2},
                 {"Release Candidate", 2},
                 {"release CANDIDATE", 2},
                 {"alpha", 1},
                 {"Alpha", 1},
                 {"Public Preview", 1},
                 {"public preview", 0},
                 {"Test Release", 1},
                 {"Preview Release", 1},
                 {"preview release", 0},
                 {"", 0},
                 {"beta2", 0},
                 {"Beta ", 0}};
    for (const Case &c : cases)
        EXPECT_EQ(c.type, BuildTypeOf(c.special)) << '"' << c.special << '"';
}

TEST(VersionResource, VersionNumberOfAFileVersion) {
    EXPECT_EQ(10000u, VersionNumberOf("1.0.0.0"));
    EXPECT_EQ(42301u, VersionNumberOf("4.2.3.1"));
    EXPECT_EQ(12304u, VersionNumberOf("1, 2, 3, 4"));
    EXPECT_EQ(10000u, VersionNumberOf("1.0"));
    EXPECT_EQ(0u, VersionNumberOf(""));
}

std::string BuiltKorvane() {
    // The test runs beside the product EXEs, as they ship.
    char module[MAX_PATH];
    GetModuleFileNameA(nullptr, module, sizeof module);
    std::string path = module;
    return path.substr(0, path.rfind('\\') + 1) + "KORVANE.EXE";
}

TEST(VersionResource, TheBuiltProgramCarriesItsVersionAndItsSeal) {
    std::string korvane = BuiltKorvane();
    ASSERT_TRUE(IsFile(korvane)) << korvane << " is not beside the test";
    VersionStrings version;
    ASSERT_TRUE(ReadVersionStrings(korvane.c_str(), &version)) << "no block 041104b0 with a FileVersion";
    int a, b, c, d;
    EXPECT_EQ(4, sscanf(version.fileVersion.c_str(), "%d.%d.%d.%d", &a, &b, &c, &d)) << version.fileVersion;
    EXPECT_FALSE(version.fileDescription.empty());
    EXPECT_FALSE(version.legalCopyright.empty());
    EXPECT_GE(VersionNumberOf(version.fileVersion.c_str()), 10000u);
    EXPECT_EQ(SealCheck::Ok, CheckExecutableSeal(korvane.c_str())) << "the build did not seal KORVANE.EXE";
}

// ---- Self-check -------------------------------------------------------------------------------

std::string Sealed(const std::string &body) {
    std::array<BYTE, kSealDigestSize> digest;
    EXPECT_TRUE(Sha256(body.data(), body.size(), &digest));
    return body + kSealMagic + std::string(digest.begin(), digest.end());
}

TEST(SelfCheck, Sha256IsTheStandardDigest) {
    std::array<BYTE, kSealDigestSize> digest;
    ASSERT_TRUE(Sha256("abc", 3, &digest));
    const BYTE expected[] = {0xba, 0x78, 0x16, 0xbf, 0x8f, 0x01, 0xcf, 0xea, 0x41, 0x41, 0x40,
                             0xde, 0x5d, 0xae, 0x22, 0x23, 0xb0, 0x03, 0x61, 0xa3, 0x96, 0x17,
                             0x7a, 0x9c, 0xb4, 0x10, 0xff, 0x61, 0xf2, 0x00, 0x15, 0xad};
    EXPECT_EQ(0, memcmp(expected, digest.data(), sizeof expected));
}

TEST(SelfCheck, AChangedTruncatedOrUnsealedFileFails) {
    TempFolder folder;
    std::string body(200000, 'x');
    for (size_t i = 0; i < body.size(); ++i)
        body[i] = char(i * 7);
    std::string sealed = Sealed(body);
    std::string file = folder / "KORVANE.EXE";
    struct Case {
        const char *what;
        std::string bytes;
        SealCheck expected;
    } cases[] = {
        {"sealed", sealed, SealCheck::Ok},
        {"one byte changed", std::string(sealed).replace(70000, 1, "!"), SealCheck::Changed},
        {"digest changed", sealed.substr(0, sealed.size() - 1) + "?", SealCheck::Changed},
        {"truncated", sealed.substr(0, sealed.size() - 1), SealCheck::NoSeal},
        {"something appended", sealed + "tail", SealCheck::NoSeal},
        {"never sealed", body, SealCheck::NoSeal},
        {"shorter than a seal", "MZ", SealCheck::NoSeal},
        {"empty body", Sealed(""), SealCheck::Ok},
    };
    for (const Case &c : cases) {
        WriteFileText(file, c.bytes);
        EXPECT_EQ(int(c.expected), int(CheckExecutableSeal(file.c_str()))) << c.what;
    }
    EXPECT_EQ(SealCheck::Unreadable, CheckExecutableSeal((folder / "missing.exe").c_str()));
}

TEST(SelfCheck, TheMessageNamesTheLastStartThatPassed) {
    SetLanguage(Program::Korvane, false);
    SYSTEMTIME time = {};
    time.wYear = 2026;
    time.wMonth = 7;
    time.wDay = 4;
    time.wHour = 9;
    time.wMinute = 5;
    time.wSecond = 3;
    EXPECT_EQ("2026-07-04 09:05:03", FormatCheckTime(time));
    std::string text = SelfCheckFailureText("2026-07-04 09:05:03");
    EXPECT_NE(std::string::npos, text.find("Last start with an intact program file: 2026-07-04 09:05:03")) << text;
    EXPECT_NE(std::string::npos, SelfCheckFailureText("").find("No start with an intact program file"));
}

// ---- Registry write test ----------------------------------------------------------------------

TEST(RegistryTestRules, OnlyOneFailureIsReported) {
    RegistryTestFailure failure;
    failure.Forward(kRegTestCannotSave, 3);
    failure.Forward(kRegTestCannotWrite, 3);
    EXPECT_EQ(kRegTestCannotWrite, failure.code()) << "a failed write after a failed save is reported as such";
    failure.Check(kRegTestCannotDelete, 2);
    failure.Check(kRegTestCannotRestore, 3);
    EXPECT_EQ(kRegTestCannotWrite, failure.code()) << "delete and restore failures only fill an empty record";
    failure.Check(kRegTestDiffers, 1);
    EXPECT_EQ(kRegTestDiffers, failure.code());
    failure.Check(kRegTestCannotRead, 0);
    EXPECT_EQ(kRegTestCannotRead, failure.code());
    EXPECT_EQ(0, failure.key());

    RegistryTestFailure first;
    first.Forward(kRegTestCannotWrite, 0);
    first.Forward(kRegTestCannotSave, 4);
    EXPECT_EQ(kRegTestCannotWrite, first.code());
    RegistryTestFailure empty;
    empty.Check(kRegTestCannotDelete, 4);
    empty.Check(kRegTestCannotRestore, 3);
    EXPECT_EQ(kRegTestCannotDelete, empty.code());
    EXPECT_EQ(4, empty.key());
}

// The registry in memory, with failures to order: "open 2", "write 0", "read 1", "delete 0",
// "copy 3" (the rename's copy), "remove 3" (the rename's delete of the old name).
class FakeRegistry : public RegistryTestTarget {
public:
    std::map<std::string, std::string> values[kRegistryTestKeys];
    std::set<std::string> failing;
    std::vector<std::string> journal;

    bool Open(int key) override { return Step("open", key); }
    void Close(int) override {}
    bool Exists(int key, const char *name) override { return values[key].count(name) > 0; }
    bool WriteTestData(int key, const char *name) override {
        if (!Step("write", key)) return false;
        values[key][name] = kRegistryTestData;
        return true;
    }
    bool ReadBack(int key, const char *name, std::string *text) override {
        if (!Step("read", key) || !values[key].count(name)) return false;
        *text = values[key][name];
        return true;
    }
    bool Delete(int key, const char *name) override { return Step("delete", key) && values[key].erase(name) > 0; }
    bool Rename(int key, const char *from, const char *to) override {
        if (!values[key].count(from) || !Step("copy", key)) return false;
        values[key][to] = values[key][from];
        if (!Step("remove", key)) return false;
        values[key].erase(from);
        return true;
    }
    void Pause(DWORD ms) override { journal.push_back("pause " + std::to_string(ms)); }

private:
    bool Step(const char *operation, int key) {
        std::string step = std::string(operation) + " " + std::to_string(key);
        journal.push_back(step);
        return !failing.count(step);
    }
};

class RegistryTestLogic : public ::testing::Test {
protected:
    void SetUp() override {
        SetLanguage(Program::Korvane, false);
        Reset();
    }
    // Shell and BootExecute as on Windows, and a setting; no failures ordered.
    void Reset() {
        registry_ = FakeRegistry();
        registry_.values[3]["Shell"] = "explorer.exe";
        registry_.values[4]["BootExecute"] = "autocheck autochk *";
        registry_.values[0]["Selected"] = "3";
        before_ = Values();
    }
    std::vector<std::map<std::string, std::string>> Values() const {
        return std::vector<std::map<std::string, std::string>>(registry_.values, registry_.values + kRegistryTestKeys);
    }
    std::vector<std::string> Steps(const char *operation) const {
        std::vector<std::string> steps;
        for (const std::string &step : registry_.journal)
            if (step.rfind(operation, 0) == 0) steps.push_back(step);
        return steps;
    }
    FakeRegistry registry_;
    std::vector<std::map<std::string, std::string>> before_;
    LogCapture log_;
};

TEST_F(RegistryTestLogic, APassingTestGoesForwardThenChecksBackwardAndLeavesEverythingAsItWas) {
    RegistryTestFailure failure = RunRegistryWriteTest(registry_);
    EXPECT_FALSE(failure.failed());
    EXPECT_EQ(before_, Values());
    EXPECT_EQ((std::vector<std::string>{"open 0", "open 1", "open 2", "open 3", "open 4"}), Steps("open"));
    EXPECT_EQ((std::vector<std::string>{"read 4", "read 3", "read 2", "read 1", "read 0"}), Steps("read"));
    auto pause = std::find(registry_.journal.begin(), registry_.journal.end(), "pause 512");
    ASSERT_NE(registry_.journal.end(), pause);
    EXPECT_EQ("write 4", *(pause - 1)) << "the pause follows the BootExecute write";
}

TEST_F(RegistryTestLogic, AKeyThatCannotBeOpenedStopsTheForwardStepsAndTheOthersAreUndone) {
    registry_.failing = {"open 2"};
    RegistryTestFailure failure = RunRegistryWriteTest(registry_);
    EXPECT_EQ(kRegTestCannotOpen, failure.code());
    EXPECT_EQ(2, failure.key());
    EXPECT_EQ(before_, Values());
    EXPECT_EQ((std::vector<std::string>{"open 0", "open 1", "open 2"}), Steps("open"));
    SetLanguage(Program::Korvane, false);
    EXPECT_EQ("Cannot open the following registry key on write mode:\r\n "
              "HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Runonce",
              RegistryTestReportText(failure));
}

TEST_F(RegistryTestLogic, TheReportedFailureFollowsTheRules) {
    struct Case {
        std::set<std::string> failing;
        RegistryTestCode code;
        int key;
    } cases[] = {
        {{"write 0"}, kRegTestCannotWrite, 0},             // not hidden by the read of a value never written
        {{"write 4", "read 1"}, kRegTestCannotRead, 1},    // a failed read-back replaces the write failure
        {{"delete 0", "remove 3"}, kRegTestCannotSave, 3}, // the forward failure stays
        {{"delete 1"}, kRegTestCannotDelete, 1},
        {{"copy 4"}, kRegTestCannotSave, 4},
    };
    for (const Case &c : cases) {
        Reset();
        registry_.failing = c.failing;
        RegistryTestFailure failure = RunRegistryWriteTest(registry_);
        EXPECT_EQ(c.code, failure.code()) << *c.failing.begin();
        EXPECT_EQ(c.key, failure.key()) << *c.failing.begin();
    }
}

TEST_F(RegistryTestLogic, TheShellIsNeverOverwrittenWithoutACopy) {
    registry_.failing = {"copy 3"};
    RegistryTestFailure failure = RunRegistryWriteTest(registry_);
    EXPECT_EQ(kRegTestCannotSave, failure.code());
    EXPECT_TRUE(Steps("write 3").empty()) << "Shell kept its value: there was no copy of it";
    EXPECT_EQ(before_, Values());

    // The copy was made and only the old name stayed: the test goes on and puts the copy back.
    Reset();
    registry_.failing = {"remove 3", "write 3"};
    failure = RunRegistryWriteTest(registry_);
    EXPECT_EQ(kRegTestCannotWrite, failure.code()) << "a failed write after a failed save";
    EXPECT_EQ("explorer.exe", registry_.values[3]["Shell"]);
}

TEST_F(RegistryTestLogic, AMissingValueIsLeftMissingAndAPendingCopyIsLeftAlone) {
    registry_.values[4].clear();
    registry_.values[3]["_Shell"] = "explorer.exe"; // a run waits for its restore
    registry_.values[3]["Shell"] = "C:\\TIDEWE~1\\QS.EXE";
    before_ = Values();
    EXPECT_FALSE(RunRegistryWriteTest(registry_).failed());
    EXPECT_EQ(before_, Values());
    EXPECT_TRUE(Steps("write 3").empty());
    EXPECT_EQ((std::vector<std::string>{"write 4"}), Steps("write 4"));
    EXPECT_NE(std::string::npos, log_.Raw().find("_Shell")) << "the skipped key is logged";
}

TEST_F(RegistryTestLogic, WhatADeadTestLeftIsRepaired) {
    registry_.values[3] = {{"Shell", kRegistryTestData}, {"_Shell", "explorer.exe"}};
    registry_.values[4] = {{"BootExecute", kRegistryTestData}};
    registry_.values[1] = {{kRegistryTestValue, kRegistryTestData}};
    EXPECT_EQ(2, RepairRegistryWriteTest(registry_));
    EXPECT_EQ((std::map<std::string, std::string>{{"Shell", "explorer.exe"}}), registry_.values[3]);
    EXPECT_TRUE(registry_.values[4].empty()) << "test data without a copy is deleted";
    EXPECT_EQ(2u, log_.Lines().size());

    // Died between the rename and the write: the copy comes back.
    registry_.values[3] = {{"_Shell", "explorer.exe"}};
    // A check disk that a run scheduled is none of the test's business.
    registry_.values[4] = {{"BootExecute", "autocheck autochk /p \\??\\C:"}, {"_BootExecute", "autocheck autochk *"}};
    std::map<std::string, std::string> scheduled = registry_.values[4];
    EXPECT_EQ(1, RepairRegistryWriteTest(registry_));
    EXPECT_EQ("explorer.exe", registry_.values[3]["Shell"]);
    EXPECT_EQ(scheduled, registry_.values[4]);
}

// The real registry, as the start-up finds it in a Wine prefix.
class RegistryTestOnTheRegistry : public PlannerTest {
protected:
    void SetUp() override {
        PlannerTest::SetUp();
        g_instance = GetModuleHandleA(nullptr);
        WriteText(HKEY_LOCAL_MACHINE, kWinlogon, "Shell", "explorer.exe");
        WriteRaw(HKEY_LOCAL_MACHINE, kSessionManager, "BootExecute", REG_MULTI_SZ,
                 BytesOf("autocheck autochk *\0", 21));
    }
    static bool AnyTestValueLeft() {
        for (int key = 0; key < kRegistryTestKeys; ++key) {
            const RegistryTestKey &k = RegistryTestKeyAt(key);
            if (ReadRaw(k.root, k.path, kRegistryTestValue).exists) return true;
            if (k.saved && ReadRaw(k.root, k.path, k.saved).exists) return true;
        }
        return false;
    }
    static constexpr const char *kWinlogon = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
    static constexpr const char *kSessionManager = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
    static constexpr const char *kUserRunOnce = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Runonce";
    ValueGuard shell_{HKEY_LOCAL_MACHINE, kWinlogon, "Shell"};
    ValueGuard boot_{HKEY_LOCAL_MACHINE, kSessionManager, "BootExecute"};
    KeyGuard userRunOnce_{HKEY_CURRENT_USER, kUserRunOnce};
};

TEST_F(RegistryTestOnTheRegistry, APassingTestLeavesShellAndBootExecuteByteForByte) {
    RawValue shell = ReadRaw(HKEY_LOCAL_MACHINE, kWinlogon, "Shell");
    RawValue boot = ReadRaw(HKEY_LOCAL_MACHINE, kSessionManager, "BootExecute");
    EXPECT_TRUE(RegistryWriteTestPasses());
    EXPECT_TRUE(boxes_.calls().empty());
    EXPECT_EQ(shell.data, ReadRaw(HKEY_LOCAL_MACHINE, kWinlogon, "Shell").data);
    RawValue bootAfter = ReadRaw(HKEY_LOCAL_MACHINE, kSessionManager, "BootExecute");
    EXPECT_EQ(DWORD(REG_MULTI_SZ), bootAfter.type);
    EXPECT_EQ(boot.data, bootAfter.data);
    EXPECT_FALSE(AnyTestValueLeft());
}

TEST_F(RegistryTestOnTheRegistry, ARepairPutsTheShellBackBeforeTheTest) {
    WriteText(HKEY_LOCAL_MACHINE, kWinlogon, "Shell", kRegistryTestData);
    WriteText(HKEY_LOCAL_MACHINE, kWinlogon, "_Shell", "explorer.exe");
    EXPECT_TRUE(RegistryWriteTestPasses());
    RawValue shell = ReadRaw(HKEY_LOCAL_MACHINE, kWinlogon, "Shell");
    EXPECT_EQ(std::string("explorer.exe"), std::string(shell.data.begin(), shell.data.end()).c_str());
    EXPECT_FALSE(AnyTestValueLeft());
    EXPECT_EQ(1u, log_.Lines().size());
}

TEST_F(RegistryTestOnTheRegistry, AKeyThatCannotBeWrittenIsReportedAndQuitEndsTheStart) {
    ASSERT_TRUE(SetKeyWritable(HKEY_CURRENT_USER, kUserRunOnce, false));
    std::string heading, text, yes;
    DialogDriver driver("Tidewell", [&](HWND dialog) {
        heading = DialogDriver::ItemText(dialog, IDC_NOTIFY_HEADING);
        text = DialogDriver::ItemText(dialog, IDC_NOTIFY_TEXT);
        yes = DialogDriver::ItemText(dialog, IDOK);
        DialogDriver::Command(dialog, IDCANCEL);
    });
    EXPECT_FALSE(RegistryWriteTestPasses());
    EXPECT_TRUE(driver.Join()) << "no report was shown";
    SetKeyWritable(HKEY_CURRENT_USER, kUserRunOnce, true);
    EXPECT_EQ("System Registry Test Error", heading);
    EXPECT_EQ("Cannot open the following registry key on write mode:\r\n "
              "HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Runonce",
              text);
    EXPECT_EQ("&Continue despite the risk", yes);
    EXPECT_FALSE(AnyTestValueLeft()) << "the keys before the failure were undone";
}

// ---- Switches and settings upkeep -------------------------------------------------------------

using StartSettingsTest = PlannerTest;

TEST_F(StartSettingsTest, ReadyModeStoresTheCommandsAndKeepsAnExpandableValue) {
    WriteRaw(HKEY_LOCAL_MACHINE, kSettingsPath, "LastCmdLine", REG_EXPAND_SZ, BytesOf("old\0", 4));
    ASSERT_TRUE(StoreOtherCommands("%SystemRoot%\\x.exe", true));
    RawValue commands = ReadRaw(HKEY_LOCAL_MACHINE, kSettingsPath, "LastCmdLine");
    EXPECT_EQ(DWORD(REG_EXPAND_SZ), commands.type);
    EXPECT_STREQ("%SystemRoot%\\x.exe", reinterpret_cast<const char *>(commands.data.data()));
    EXPECT_EQ(3, ReadSettingDword("Selected"));
    EXPECT_EQ(1, ReadSettingDword("mode"));

    SHDeleteKeyA(HKEY_LOCAL_MACHINE, kSettingsPath);
    ASSERT_TRUE(StoreOtherCommands("", false));
    EXPECT_EQ(0, ReadSettingDword("mode")) << "/L does not choose the normal mode";
    EXPECT_TRUE(ReadRaw(HKEY_LOCAL_MACHINE, kSettingsPath, "LastCmdLine").exists);
}

TEST_F(StartSettingsTest, TheUsersSettingsMoveToTheMachineWithoutLoss) {
    KeyGuard user(HKEY_CURRENT_USER, kSettingsPath);
    std::string longText(3000, 'c');
    WriteText(HKEY_CURRENT_USER, kSettingsPath, "LastCmdLine", longText.c_str());
    WriteDword(HKEY_CURRENT_USER, kSettingsPath, "Selected", 2);
    WriteRaw(HKEY_CURRENT_USER, kSettingsPath, "dddC", REG_BINARY, Bytes(16, 7));
    WriteRaw(HKEY_CURRENT_USER, kSettingsPath, "cbq_defrag_cust", REG_MULTI_SZ, BytesOf("a\0\0", 3));
    EXPECT_TRUE(MoveSettingsFromUser());
    EXPECT_EQ(longText.size() + 1, ReadRaw(HKEY_LOCAL_MACHINE, kSettingsPath, "LastCmdLine").data.size());
    EXPECT_EQ(2, ReadSettingDword("Selected"));
    EXPECT_EQ(Bytes(16, 7), ReadRaw(HKEY_LOCAL_MACHINE, kSettingsPath, "dddC").data);
    EXPECT_FALSE(ReadRaw(HKEY_LOCAL_MACHINE, kSettingsPath, "cbq_defrag_cust").exists);
    EXPECT_TRUE(ReadRaw(HKEY_CURRENT_USER, kSettingsPath, "cbq_defrag_cust").exists) << "the history stays";
    EXPECT_FALSE(ReadRaw(HKEY_CURRENT_USER, kSettingsPath, "Selected").exists);

    // Once the machine has its key, the user's is left alone; without a history it goes entirely.
    WriteDword(HKEY_CURRENT_USER, kSettingsPath, "Selected", 1);
    EXPECT_TRUE(MoveSettingsFromUser());
    EXPECT_EQ(2, ReadSettingDword("Selected"));
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, kSettingsPath);
    SHDeleteKeyA(HKEY_CURRENT_USER, kSettingsPath);
    WriteDword(HKEY_CURRENT_USER, kSettingsPath, "Selected", 1);
    EXPECT_TRUE(MoveSettingsFromUser());
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kSettingsPath));
}

TEST_F(StartSettingsTest, TheStartWritesAndTheLegacyHistoryMovesIntoANewLog) {
    WriteText(HKEY_LOCAL_MACHINE, kSettingsPath, "", "stray default");
    WriteText(HKEY_LOCAL_MACHINE, kSettingsPath, "log00", "newest");
    WriteText(HKEY_LOCAL_MACHINE, kSettingsPath, "log05", "older");
    WriteText(HKEY_LOCAL_MACHINE, kSettingsPath, "log299", "oldest");
    log_.Clear();
    StartWrites writes;
    writes.versionNumber = 10203;
    writes.programFile = "C:\\Tidewell\\KORVANE.EXE";
    writes.selfCheckTime = "2026-12-07 22:50:22";
    UpdateSettingsAtStart(writes);
    EXPECT_FALSE(ReadRaw(HKEY_LOCAL_MACHINE, kSettingsPath, "").exists);
    EXPECT_EQ(10203, ReadSettingDword("VersionNumber"));
    EXPECT_EQ("2026-12-07 22:50:22", LastPassedSelfCheck());
    EXPECT_EQ("oldest\r\nolder\r\nnewest\r\n", log_.Raw());
    EXPECT_FALSE(ReadRaw(HKEY_LOCAL_MACHINE, kSettingsPath, "log05").exists);

    // A log that exists is not touched, and the values stay.
    WriteText(HKEY_LOCAL_MACHINE, kSettingsPath, "log01", "kept");
    UpdateSettingsAtStart(writes);
    EXPECT_EQ("oldest\r\nolder\r\nnewest\r\n", log_.Raw());
    EXPECT_TRUE(ReadRaw(HKEY_LOCAL_MACHINE, kSettingsPath, "log01").exists);
}

TEST_F(StartSettingsTest, RestrictRunZeroIsDeletedAndBrokenVerbsGo) {
    const char kPolicies[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer";
    KeyGuard policies(HKEY_CURRENT_USER, kPolicies);
    ValueGuard restrict(HKEY_CURRENT_USER, kPolicies, "RestrictRun");
    for (DWORD value : {0u, 1u}) {
        WriteDword(HKEY_CURRENT_USER, kPolicies, "RestrictRun", value);
        ClearRestrictRun();
        EXPECT_EQ(value != 0, ReadRaw(HKEY_CURRENT_USER, kPolicies, "RestrictRun").exists) << value;
    }

    KeyGuard star(HKEY_CLASSES_ROOT, "*\\shell\\Korvane");
    KeyGuard exe(HKEY_CLASSES_ROOT, "exefile\\shell\\Korvane");
    WriteText(HKEY_CLASSES_ROOT, "*\\shell\\Korvane", "", "Rinsa");
    WriteText(HKEY_CLASSES_ROOT, "exefile\\shell\\Korvane\\command", "", "korvane.exe /E\"%1\"");
    RepairExplorerVerbs();
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "*\\shell\\Korvane"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "exefile\\shell\\Korvane\\command"));
}

TEST_F(StartSettingsTest, TheRestorePointQuestionIsAskedOnce) {
    boxes_.Answer(IDYES);
    AskRestorePointChoice();
    EXPECT_EQ(1, ReadSettingDword("CreateRestorePoint"));
    AskRestorePointChoice();
    ASSERT_EQ(1u, boxes_.calls().size());
    EXPECT_EQ("When rinsa!! running starts, are you sure you want to create a restore point?", boxes_.calls()[0].text);

    SHDeleteKeyA(HKEY_LOCAL_MACHINE, kSettingsPath);
    boxes_.Answer(IDNO);
    boxes_.Answer(IDNO);
    AskRestorePointChoice();
    EXPECT_TRUE(ReadRaw(HKEY_LOCAL_MACHINE, kSettingsPath, "CreateRestorePoint").exists);
    EXPECT_EQ(0, ReadSettingDword("CreateRestorePoint"));
    ASSERT_EQ(3u, boxes_.calls().size());
    EXPECT_EQ("Are you sure you want to create a restore point now?", boxes_.calls()[2].text);
}

TEST_F(StartSettingsTest, TheUpdateToolRegistrationReplacesTheObsoleteOnes) {
    KeyGuard upcheck(HKEY_CURRENT_USER, kUpcheckKey);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUpcheckKey));
    RegisterWithUpcheck(10000, "C:\\T\\KORVANE.EXE");
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUpcheckKey)) << "nothing without the tool";

    std::string base = std::string(kUpcheckKey) + "\\";
    WriteText(HKEY_CURRENT_USER, (base + kUpcheckObsolete[0] + "\\KORVANE").c_str(), "Build", "1");
    WriteText(HKEY_CURRENT_USER, (base + kUpcheckObsolete[1] + "\\KORVANE").c_str(), "Build", "1");
    WriteText(HKEY_CURRENT_USER, (base + kUpcheckObsolete[1] + "\\OTHER").c_str(), "Build", "1");
    RegisterWithUpcheck(10000, "C:\\T\\KORVANE.EXE");
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, (base + kUpcheckObsolete[0]).c_str()));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, (base + kUpcheckObsolete[1] + "\\KORVANE").c_str()));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, (base + kUpcheckObsolete[1] + "\\OTHER").c_str()));
    std::string product = base + kUpcheckRegistration + "\\KORVANE";
    RawValue build = ReadRaw(HKEY_CURRENT_USER, product.c_str(), "Build");
    ASSERT_EQ(DWORD(REG_DWORD), build.type);
    EXPECT_EQ(10000u, *reinterpret_cast<const DWORD *>(build.data.data()));
    EXPECT_TRUE(ReadRaw(HKEY_CURRENT_USER, (base + kUpcheckRegistration).c_str(), "InfoURL").exists);
    EXPECT_EQ(BytesOf("Tidewell", 9), ReadRaw(HKEY_CURRENT_USER, product.c_str(), "DisplayName").data);
}

TEST(StartRules, SummerFontAndDrive) {
    for (WORD month = 1; month <= 12; ++month)
        EXPECT_EQ(month >= 6 && month <= 9, IsSummerMonth(month)) << month;
    EXPECT_STREQ("Arial", TitleFontFace(false, 1000));
    EXPECT_STREQ("MS UI Gothic", TitleFontFace(true, 410));
    EXPECT_STREQ("ＭＳ Ｐゴシック", TitleFontFace(true, 400));
    auto types = [](const char *root) -> UINT { return root[0] == 'C' ? DRIVE_FIXED : DRIVE_REMOTE; };
    EXPECT_TRUE(OnLocalFixedDisk("C:\\Tidewell\\KORVANE.EXE", types));
    EXPECT_FALSE(OnLocalFixedDisk("D:\\Tidewell\\KORVANE.EXE", types));
    EXPECT_FALSE(OnLocalFixedDisk("\\\\server\\share\\KORVANE.EXE", types));
    EXPECT_FALSE(OnLocalFixedDisk("KORVANE.EXE", types));
}

// ---- Power action and scheduler ---------------------------------------------------------------

std::vector<std::pair<BOOL, BOOL>> g_powerCalls;
int g_powerSucceedsAt = 0; // 1-based try that succeeds; 0 none

BOOL WINAPI RecordPowerState(BOOL suspend, BOOL force) {
    g_powerCalls.emplace_back(suspend, force);
    return int(g_powerCalls.size()) == g_powerSucceedsAt;
}

class PowerActionTest : public PlannerTest {
protected:
    void SetUp() override {
        PlannerTest::SetUp();
        saved_ = g_setSystemPowerState;
        g_setSystemPowerState = RecordPowerState;
        g_powerCalls.clear();
    }
    void TearDown() override {
        g_setSystemPowerState = saved_;
        PlannerTest::TearDown();
    }
    SetPowerStateFunction saved_ = nullptr;
};

TEST_F(PowerActionTest, EachTryIsLoggedInItsOrderAndAllFailedIsSaid) {
    g_powerSucceedsAt = 0;
    PowerActionAfterRun(false);
    EXPECT_EQ((std::vector<std::pair<BOOL, BOOL>>{{FALSE, FALSE}, {FALSE, TRUE}, {TRUE, FALSE}, {TRUE, TRUE}}),
              g_powerCalls);
    EXPECT_EQ((std::vector<std::string>{"Entering Hibernation mode...", "failed. Force Entering Hibernation mode...",
                                        "failed. Entering Suspend mode...", "failed. Force Entering Suspend mode...",
                                        "failed."}),
              log_.Texts());
    ASSERT_EQ(1u, BoxTexts().size());
    EXPECT_EQ("Entering Hibernation mode was failed.", BoxTexts()[0]);

    Restart();
    g_powerCalls.clear();
    g_powerSucceedsAt = 3;
    PowerActionAfterRun(true);
    EXPECT_EQ((std::vector<std::pair<BOOL, BOOL>>{{TRUE, FALSE}, {TRUE, TRUE}, {FALSE, FALSE}}), g_powerCalls);
    EXPECT_EQ((std::vector<std::string>{"Entering Suspend mode...", "failed. Force Entering Suspend mode...",
                                        "failed. Entering Hibernation mode..."}),
              log_.Texts());
    EXPECT_EQ(1u, BoxTexts().size()) << "no message after a try that worked";
}

TEST_F(PowerActionTest, TheAutomaticLogonEndsAsChosen) {
    const char kWinlogon[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
    const char *names[] = {"AutoAdminLogon", "DefaultUserName", "DefaultPassword", "DefaultDomainName"};
    ValueGuard guards[] = {{HKEY_LOCAL_MACHINE, kWinlogon, names[0]},
                           {HKEY_LOCAL_MACHINE, kWinlogon, names[1]},
                           {HKEY_LOCAL_MACHINE, kWinlogon, names[2]},
                           {HKEY_LOCAL_MACHINE, kWinlogon, names[3]}};
    g_powerSucceedsAt = 1;
    for (LONG off : {0, 1, 2}) {
        g_powerCalls.clear();
        for (const char *name : names)
            WriteText(HKEY_LOCAL_MACHINE, kWinlogon, name, "x");
        WriteSettingDword("OffAutoLogon", off);
        PowerActionAfterRun(true);
        EXPECT_EQ(off == 0, ReadRaw(HKEY_LOCAL_MACHINE, kWinlogon, names[0]).exists) << off;
        for (int i = 1; i < 4; ++i)
            EXPECT_EQ(off != 2, ReadRaw(HKEY_LOCAL_MACHINE, kWinlogon, names[i]).exists) << off << names[i];
    }
}

TEST_F(StartSettingsTest, TheSchedulerIsReplacedByItsNewFile) {
    TempFolder folder;
    char current[MAX_PATH];
    GetCurrentDirectoryA(sizeof current, current);
    SetCurrentDirectoryA(folder.path().c_str());
    WriteFileText(folder / "KORVTASK.EXE", "old");
    WriteFileText(folder / "KORVTASK.TMP", "new");
    ReplaceScheduler();
    std::string replaced = ReadFileText(folder / "KORVTASK.EXE");
    bool tmpLeft = IsFile(folder / "KORVTASK.TMP");
    SetCurrentDirectoryA(current);
    EXPECT_EQ("new", replaced);
    EXPECT_FALSE(tmpLeft);
    EXPECT_TRUE(BoxTexts().empty()) << "no scheduler ran, so none is started";
}

} // namespace
