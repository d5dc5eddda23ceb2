// The planner's stop points: which value arms them, and that at each one the change just made
// already has its restore entry in the command list, so that a planner killed there leaves a
// machine that QS can put back.
#include "planner/rnsstop.h"

#include "dialogs/alogon.h"
#include "planner/rnschange.h"
#include "planner/rnscheck.h"
#include "planner_fixture.h"
#include "system_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace {

using Lines = std::vector<std::string>;

TEST(StopPoint, OnlyAPlainDecimalNumberArmsIt) {
    const struct {
        const char *text;
        int expected;
    } cases[] = {
        {nullptr, -1}, {"", -1},   {"0", 0},   {"7", 7},   {"12", 12},         {" 3", -1},
        {"3 ", -1},    {"3x", -1}, {"-1", -1}, {"+2", -1}, {"1234567890", -1}, {"999999999", 999999999},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.expected, ParseStopPoint(c.text)) << (c.text ? c.text : "(null)");
}

// Each stop point with the command list as it stood there.
struct PointSeen {
    std::string change;
    Lines entries;
};

class StopPointTest : public PlannerTest {
protected:
    void SetUp() override {
        PlannerTest::SetUp();
        seen_.clear();
        savedAction_ = g_stopPointAction;
        g_stopPointAction = [](const char *change) { seen_.push_back({change, Entries()}); };
        savedMemory_ = g_physicalMemory;
        g_physicalMemory = [] { return kMemoryForNoPagingFile; };
    }
    void TearDown() override {
        g_stopPointAction = savedAction_;
        g_physicalMemory = savedMemory_;
        PlannerTest::TearDown();
    }
    static std::vector<PointSeen> seen_;

    KeyGuard service_{HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\TwTestStop"};
    ValueGuard lua_{HKEY_LOCAL_MACHINE, kPoliciesSystemPath, "EnableLUA"};
    ValueGuard lastLogon_{HKEY_LOCAL_MACHINE, kPoliciesSystemPath, "DisplayLastLogonInfo"};
    ValueGuard shell_{HKEY_CURRENT_USER, kUserWinlogonPath, "Shell"};
    ValueGuard paging_{HKEY_LOCAL_MACHINE, kMemoryManagementPath, "PagingFiles"};
    ValueGuard pagingBackup_{HKEY_LOCAL_MACHINE, kMemoryManagementPath, "_PagingFiles"};
    ValueGuard autoLogon_{HKEY_LOCAL_MACHINE, kWinlogonPath, kAutoAdminLogon};
    ValueGuard bootExecute_{HKEY_LOCAL_MACHINE, kSessionManagerPath, "BootExecute"};
    ValueGuard bootBackup_{HKEY_LOCAL_MACHINE, kSessionManagerPath, "_BootExecute"};

private:
    void (*savedAction_)(const char *) = nullptr;
    unsigned long long (*savedMemory_)() = nullptr;
};
std::vector<PointSeen> StopPointTest::seen_;

PlannerOptions EveryChange() {
    PlannerOptions options;
    options.runMethod = 2;
    options.stopServices = "TwTestStop\a";
    options.noPagingFile = true;
    options.offAutoLogon = 1;
    options.drives = 1u << 2;
    return options;
}

TEST_F(StopPointTest, EachChangeFindsItsRestoreEntryQueuedAlready) {
    WriteDword(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\TwTestStop", "Start", 2);
    WriteDword(HKEY_LOCAL_MACHINE, kPoliciesSystemPath, "EnableLUA", 1);
    WriteDword(HKEY_LOCAL_MACHINE, kPoliciesSystemPath, "DisplayLastLogonInfo", 1);
    DeleteRaw(HKEY_CURRENT_USER, kUserWinlogonPath, "Shell");
    WriteRaw(HKEY_LOCAL_MACHINE, kMemoryManagementPath, "PagingFiles", REG_MULTI_SZ,
             BytesOf("C:\\pagefile.sys 0 0\0\0", 21));
    DeleteRaw(HKEY_LOCAL_MACHINE, kMemoryManagementPath, "_PagingFiles");
    DeleteRaw(HKEY_LOCAL_MACHINE, kWinlogonPath, kAutoAdminLogon);
    WriteRaw(HKEY_LOCAL_MACHINE, kSessionManagerPath, "BootExecute", REG_MULTI_SZ,
             BytesOf("autocheck autochk *\0\0", 21));
    DeleteRaw(HKEY_LOCAL_MACHINE, kSessionManagerPath, "_BootExecute");
    g_windowsVersion = 601;

    PlannerOptions options = EveryChange();
    ScheduleBootCheck(options);
    DisableUac(options);
    StopServices(options);
    InstallQuietShell(options);
    DisablePagingFile(options);
    SetAutomaticLogon(options);

    // The change each point follows, and the entry that puts it back (none for a backup copy).
    const struct {
        const char *change, *restore;
    } expected[] = {
        {"_BootExecute saved", nullptr},
        {"BootExecute scheduled", "$RestoreBootExecute"},
        {"EnableLUA 0", "$EnableUAC"},
        {"service TwTestStop disabled", "$RService TwTestStop"},
        {"Shell QS", "$RestoreShell "},
        {"_PagingFiles saved", nullptr},
        {"PagingFiles emptied", "$RestoreSwap"},
        {"AutoAdminLogon 1", "$OffAutoLogon"},
        {"DisplayLastLogonInfo 0", "$EnableDisplayLastLogonInfo"},
    };
    ASSERT_EQ(std::size(expected), seen_.size());
    for (size_t i = 0; i < seen_.size(); ++i) {
        SCOPED_TRACE(seen_[i].change);
        EXPECT_EQ(expected[i].change, seen_[i].change);
        if (!expected[i].restore) continue;
        const Lines &entries = seen_[i].entries;
        EXPECT_NE(entries.end(), std::find(entries.begin(), entries.end(), expected[i].restore))
            << "a planner killed here would leave the change without its way back";
    }
}

} // namespace
