// The run preview plans with nothing reaching the system and shows the list a real run then
// writes; the restore audit records the values before the run and names what did not come back.
#include "planner_fixture.h"
#include "planner/rnsplan.h"
#include "system_state.h"

#include "restaudit.h"

#include <shlwapi.h>

#include <fstream>
#include <iterator>

namespace {

using Lines = std::vector<std::string>;

const char kService[] = "TwPreviewSrv";
const char kServicePath[] = "SYSTEM\\CurrentControlSet\\Services\\TwPreviewSrv";
const char kPolicies[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
const char kMachineWinlogon[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const char kUserWinlogon[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const char kMachineRunOnce[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Runonce";
const char kUserRunOnce[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Runonce";
const char kMemory[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Memory Management";

// Every value and subkey below a key, as text, so two snapshots compare in one assertion.
void DumpKey(HKEY root, const std::string &path, std::string &out) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        out += path + " (absent)\n";
        return;
    }
    out += "[" + path + "]\n";
    char name[16384];
    std::vector<BYTE> data(1 << 16);
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = sizeof name, type = 0, size = DWORD(data.size());
        if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) break;
        out += std::string(name) + "=" + std::to_string(type) + ":" + std::string(data.begin(), data.begin() + size) +
               "\n";
    }
    std::vector<std::string> subkeys;
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = sizeof name;
        if (RegEnumKeyExA(key, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        subkeys.push_back(name);
    }
    RegCloseKey(key);
    for (const std::string &subkey : subkeys)
        DumpKey(root, path + "\\" + subkey, out);
}

std::string FileText(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// The keys a run touches, whole, and the run log.
std::string Snapshot(const std::string &logPath) {
    std::string out;
    DumpKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Halvornix", out);
    DumpKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", out);
    DumpKey(HKEY_LOCAL_MACHINE, kMachineWinlogon, out);
    DumpKey(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", out);
    DumpKey(HKEY_LOCAL_MACHINE, kServicePath, out);
    DumpKey(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows NT\\CurrentVersion", out);
    DumpKey(HKEY_CURRENT_USER, kUserRunOnce, out);
    DumpKey(HKEY_CURRENT_USER, "Control Panel\\Desktop", out);
    return out + "--- log ---\n" + FileText(logPath);
}

BOOL WINAPI NoExitWindows(UINT, DWORD) {
    return TRUE;
}
HINSTANCE WINAPI NoShellExecute(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT) {
    return reinterpret_cast<HINSTANCE>(INT_PTR(33));
}

class PreviewTest : public PlannerTest {
protected:
    void SetUp() override {
        PlannerTest::SetUp();
        g_plannerExitWindows = NoExitWindows;
        g_plannerShellExecute = NoShellExecute;
        g_windowsVersion = 601;
        g_autoMode = true;
        WriteDword(HKEY_LOCAL_MACHINE, kServicePath, "Start", 2);
    }
    void TearDown() override {
        g_plannerExitWindows = ExitWindowsEx;
        g_plannerShellExecute = ShellExecuteA;
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, kServicePath);
        PlannerTest::TearDown();
    }
    void Set(const char *name, DWORD value) { WriteDword(HKEY_LOCAL_MACHINE, kSettingsPath, name, value); }
    void SetText(const char *name, const char *text) { WriteText(HKEY_LOCAL_MACHINE, kSettingsPath, name, text); }

    // What a run changes, put back after each case.
    ValueGuard lua_{HKEY_LOCAL_MACHINE, kPolicies, "EnableLUA"};
    ValueGuard lastLogon_{HKEY_LOCAL_MACHINE, kPolicies, "DisplayLastLogonInfo"};
    ValueGuard shell_{HKEY_CURRENT_USER, kUserWinlogon, "Shell"};
    ValueGuard autoLogon_{HKEY_LOCAL_MACHINE, kMachineWinlogon, "AutoAdminLogon"};
    ValueGuard runOnce_{HKEY_LOCAL_MACHINE, kMachineRunOnce, "Korvane0"};
    ValueGuard suspend_{HKEY_CURRENT_USER, kUserRunOnce, "Korvane0H0"};
    ValueGuard paging_{HKEY_LOCAL_MACHINE, kMemory, "PagingFiles"};
    ValueGuard pagingSaved_{HKEY_LOCAL_MACHINE, kMemory, "_PagingFiles"};
};

} // namespace

TEST_F(PreviewTest, APreviewChangesNothingAndShowsTheListARealRunWrites) {
    struct Case {
        DWORD how, selected, endAction;
        bool customCheck;
    } cases[] = {
        {0, 0, 0, false}, {2, 0, 1, false}, {4, 0, 1, false}, {2, 1, 0, true},  {0, 2, 1, true},
        {4, 2, 0, true},  {0, 3, 1, false}, {2, 3, 2, false}, {4, 3, 3, false}, {3, 0, 0, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE("How " + std::to_string(c.how) + ", Selected " + std::to_string(c.selected));
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, kSettingsPath);
        WriteDword(HKEY_LOCAL_MACHINE, kPolicies, "EnableLUA", 1);
        WriteDword(HKEY_LOCAL_MACHINE, kPolicies, "DisplayLastLogonInfo", 1);
        WriteDword(HKEY_LOCAL_MACHINE, kServicePath, "Start", 2);
        Set("How", c.how);
        Set("Selected", c.selected);
        Set("Drives", 1u << 2);
        Set("NotAutoPowerOff", c.endAction);
        Set("OffAutoLogon", 1);
        Set("DelTemp", 2); // a next-run-only option: the preview must not use it up
        SetText("stopsrv", (std::string(kService) + "\a").c_str());
        SetText("LastCmdLine", "other.exe /x\r\n%windir%\\notepad.exe");
        Set("sd_check_cust", c.customCheck ? 1 : 0);
        SetText("sd_edit_cust", "CHKDSK.EXE %s /F");
        log_.Clear();

        std::string before = Snapshot(RunLogPath());
        RunPreview preview = PreviewRinsaRun();
        EXPECT_EQ(before, Snapshot(RunLogPath())) << "a preview changes no registry value and no file";
        ASSERT_TRUE(preview.planned);
        EXPECT_EQ(preview.changes.size(), preview.restores.size());

        AppendCommand(nullptr);
        EXPECT_TRUE(PlanRinsaRun());
        EXPECT_EQ(ReadCommandList(), preview.entries) << "the previewed list is the list the run wrote";
    }
}

TEST_F(PreviewTest, EachChangeIsShownWithItsValueNowDuringTheRunAndItsRestoreEntry) {
    WriteDword(HKEY_LOCAL_MACHINE, kPolicies, "EnableLUA", 1);
    WriteText(HKEY_CURRENT_USER, kUserWinlogon, "Shell", "explorer.exe");
    Set("How", 2);
    Set("Selected", 3);
    Set("OffAutoLogon", 2);
    SetText("stopsrv", (std::string(kService) + "\a").c_str());

    RunPreview preview = PreviewRinsaRun();

    struct Expected {
        const char *key, *name, *now, *during, *restore;
    } expected[] = {
        {"HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System", "EnableLUA", "1", "0", "$EnableUAC"},
        {"HKLM\\SYSTEM\\CurrentControlSet\\Services\\TwPreviewSrv", "Start", "2", "4", "$RService TwPreviewSrv"},
        {"HKCU\\Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", "Shell", "\"explorer.exe\"", nullptr,
         "$RestoreShell explorer.exe"},
        {"HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", "AutoAdminLogon", nullptr, "\"1\"",
         "$ClearAutoLogon"},
    };
    for (const Expected &e : expected) {
        SCOPED_TRACE(e.name);
        // Without QS.EXE beside the program there is no shell to put in.
        if (std::string(e.name) == "Shell" && QsShortPath().empty()) continue;
        size_t i = 0;
        while (i < preview.changes.size() && preview.changes[i].name != e.name)
            ++i;
        ASSERT_LT(i, preview.changes.size()) << FormatPreviewReport(preview);
        EXPECT_EQ(e.key, preview.changes[i].key);
        if (e.now) {
            EXPECT_EQ(e.now, preview.changes[i].now);
        }
        if (e.during) {
            EXPECT_EQ(e.during, preview.changes[i].during);
        }
        EXPECT_EQ(e.restore, preview.restores[i]);
    }
    std::string report = FormatPreviewReport(preview);
    EXPECT_NE(std::string::npos, report.find("Nothing has been changed.")) << report;
    EXPECT_NE(std::string::npos, report.find("put back by: $EnableUAC")) << report;
    EXPECT_NE(std::string::npos, report.find("  order0\t$EnableUAC")) << report;
}

TEST_F(PreviewTest, TheRunRecordsWhatItChangesAndTheAuditNamesWhatDidNotComeBack) {
    WriteDword(HKEY_LOCAL_MACHINE, kPolicies, "EnableLUA", 1);
    WriteDword(HKEY_LOCAL_MACHINE, kPolicies, "DisplayLastLogonInfo", 0);
    Set("How", 2);
    Set("Selected", 3);
    SetText("stopsrv", (std::string(kService) + "\a").c_str());
    EXPECT_TRUE(PlanRinsaRun());

    REGA settings;
    ASSERT_TRUE(OpenSettings(settings, OPEN_READONLY));
    std::vector<AuditEntry> record = ReadAuditRecord(settings);
    settings.CloseKey();
    Lines names;
    for (const AuditEntry &entry : record)
        names.push_back(entry.key + "\\" + entry.name + "=" + DescribeValue(entry.before));
    // UAC, the service and, with QS.EXE beside the program, the shell; DisplayLastLogonInfo was
    // already off and is not changed.
    ASSERT_EQ(QsShortPath().empty() ? 2u : 3u, record.size()) << ::testing::PrintToString(names);
    EXPECT_EQ("HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System\\EnableLUA=1", names[0]);
    EXPECT_EQ("HKLM\\SYSTEM\\CurrentControlSet\\Services\\TwPreviewSrv\\Start=2", names[1]);

    // QS put UAC back, but the service's restore failed.
    WriteDword(HKEY_LOCAL_MACHINE, kPolicies, "EnableLUA", 1);
    Lines lines = AuditLines({record[0], record[1]});
    EXPECT_EQ((Lines{"NOT restored: HKLM\\SYSTEM\\CurrentControlSet\\Services\\TwPreviewSrv\\Start was 2, now 4",
                     "1 of 2 changed settings are NOT back as before the run."}),
              lines);
    WriteDword(HKEY_LOCAL_MACHINE, kServicePath, "Start", 2);
    EXPECT_EQ(Lines{"All 2 changed settings are back as before the run."}, AuditLines({record[0], record[1]}));
}

TEST(RestoreAudit, RecordEntriesReadBackAndBadOnesAreLeftOut) {
    AuditEntry entry{"HKLM\\SYSTEM\\x", "Start", {true, REG_DWORD, std::string("\x02\0\0\0", 4)}};
    AuditEntry parsed;
    ASSERT_TRUE(ParseAuditEntry(FormatAuditEntry(entry), &parsed));
    EXPECT_EQ(entry.key, parsed.key);
    EXPECT_EQ(entry.name, parsed.name);
    EXPECT_TRUE(SameValue(entry.before, parsed.before));

    struct Case {
        const char *text;
        bool valid;
    } cases[] = {
        {"HKLM\\A\t4\t02000000\tStart", true},
        {"HKCU\\A\t-\t\tShell", true},
        {"HKCU\\A\t-\t\tname\twith\ttabs", true},
        {"HKCR\\A\t4\t02000000\tStart", false}, // a root the planner never changes
        {"HKLM\\A\t4\t0200000\tStart", false},  // odd hex
        {"HKLM\\A\t4\tzz\tStart", false},
        {"HKLM\\A\t-\t00\tStart", false}, // data for a missing value
        {"HKLM\\A\tx\t00\tStart", false},
        {"HKLM\\A\t4\t00", false},
        {"", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.valid, ParseAuditEntry(c.text, &parsed));
    }
    std::string record = std::string("HKLM\\A\t4\t02000000\tStart") + '\0' + "garbage" + '\0' + "HKCU\\B\t-\t\tShell";
    EXPECT_EQ(2u, ParseAuditRecord(record).size()) << "an unterminated last entry still counts";
}

TEST(RestoreAudit, ValuesAreDescribedForPeople) {
    struct Case {
        AuditedValue value;
        const char *text;
    } cases[] = {
        {{}, "(none)"},
        {{true, REG_DWORD, std::string("\x04\0\0\0", 4)}, "4"},
        {{true, REG_DWORD, std::string("\x04\0", 2)}, "hex:04 00"},
        {{true, REG_SZ, std::string("explorer.exe\0", 13)}, "\"explorer.exe\""},
        {{true, REG_SZ, std::string("unterminated")}, "\"unterminated\""},
        {{true, REG_MULTI_SZ, std::string("a\0b\0\0", 5)}, "\"a\" | \"b\""},
        {{true, REG_BINARY, std::string(40, '\x01')}, nullptr},
    };
    for (const Case &c : cases) {
        if (c.text) {
            EXPECT_EQ(c.text, DescribeValue(c.value));
        }
    }
    std::string longBinary = DescribeValue(cases[6].value);
    EXPECT_EQ(" ...", longBinary.substr(longBinary.size() - 4)) << longBinary;
}

TEST(RestoreAudit, TheLastAuditIsFoundInTheLog) {
    std::string log = "a [QS] All 3 changed settings are back as before the run.\r\n"
                      "b [KV] something else\r\n"
                      "c [QS] NOT restored: HKLM\\X\\Start was 2, now 4\r\n"
                      "d [QS] 1 of 2 changed settings are NOT back as before the run.\r\n"
                      "e [KV] later line\r\n";
    EXPECT_EQ((Lines{"c [QS] NOT restored: HKLM\\X\\Start was 2, now 4",
                     "d [QS] 1 of 2 changed settings are NOT back as before the run."}),
              LastAuditLines(log));
    EXPECT_TRUE(LastAuditLines("x\r\ny\r\n").empty());
}
