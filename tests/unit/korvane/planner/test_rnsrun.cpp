// The run planner: its option rules, start line and log trimming, the clean-up entries, the command
// list for every Windows version and option, and the hand-over.
#include "korvane.h"
#include "planner/rnsrun.h"
#include "planner/rnschange.h"
#include "planner/rnsstop.h"
#include "dialogs/alogon.h"

#include "language.h"
#include "log_capture.h"
#include "platform.h"
#include "resource.h"
#include "scoped_messages.h"
#include "settings.h"
#include "system_state.h"

#include <gtest/gtest.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <algorithm>
#include <fstream>
#include <thread>

namespace {

using Lines = std::vector<std::string>;

Lines Concat(std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines &part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

TEST(PlannerRules, RunMethodAndRestorePointByWindowsVersion) {
    struct Case {
        LONG how;
        unsigned short version;
        int method;
    } methods[] = {{1, 501, 0},  {3, 600, 3},  {3, 601, 2},  {0, 603, 0},
                   {0, 1000, 2}, {1, 1000, 2}, {4, 1000, 4}, {9, 601, 2}};
    for (const Case &c : methods)
        EXPECT_EQ(c.method, NormaliseRunMethod(c.how, c.version)) << "How " << c.how << " on " << c.version;
    EXPECT_TRUE(RestorePointWanted(1, 501) && RestorePointWanted(2, 601) && RestorePointWanted(3, 1000));
    EXPECT_FALSE(RestorePointWanted(4, 601) || RestorePointWanted(2, 500) || RestorePointWanted(2, 502));
}

class PlannerTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetLanguage(Program::Korvane, false);
        g_instance = GetModuleHandleA(nullptr);
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, kSettingsPath);
        AppendCommand(nullptr);
    }
    void TearDown() override {
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, kSettingsPath);
        SetLanguage(Program::Korvane, false);
    }
    static void Set(const char *name, LONG value) { ASSERT_TRUE(WriteSettingDword(name, value)); }
    static void SetText(const char *name, const std::string &text) {
        REGA key;
        ASSERT_TRUE(OpenSettings(key, OPEN_CREATE));
        key.WriteStringA(name, text.c_str(), STRTYPE_PLAIN);
        key.CloseKey();
    }
    static bool Exists(const char *name) { return ValueSize(name) >= 0; }
    static int ValueSize(const char *name) {
        REGA key;
        int size = OpenSettings(key, OPEN_READONLY) ? key.ValueExistA(name) : -1;
        if (key.IsOpen()) key.CloseKey();
        return size;
    }
    static PlannerOptions Read(unsigned short version) {
        REGA key;
        EXPECT_TRUE(OpenSettings(key, OPEN_CREATE));
        PlannerOptions options = ReadPlannerOptions(key, version);
        key.CloseKey();
        return options;
    }
    static Lines Entries() {
        Lines entries;
        REGA key;
        if (!OpenSettings(key, OPEN_READONLY)) return entries;
        for (int i = 0; key.ValueExistA(OrderValueName(i).c_str()) >= 0; ++i)
            entries.push_back(key.RegReadStringA(OrderValueName(i).c_str(), "").get());
        key.CloseKey();
        return entries;
    }
    bool Logged(const std::string &text) {
        Lines texts = log_.Texts();
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    }
    LogCapture log_;
    ScopedMessages boxes_;
};

TEST_F(PlannerTest, OptionsFollowOnceFlagsAndWindowsVersion) {
    for (const char *name : {"DelTemp", "Del_Thumbs_db", "Prefetch", "vista_w", "xp_mmcdefrag", "xp_finalmmc"})
        Set(name, 2);
    PlannerOptions xp = Read(501);
    EXPECT_TRUE(xp.delTemp && xp.sweepThumbs && xp.prefetch && xp.mmcDefrag);
    EXPECT_FALSE(xp.vistaW || xp.finalMmc) << "full defragmentation needs Vista, the last MMC pass a first pass";
    EXPECT_FALSE(Exists("DelTemp") || Exists("vista_w")) << "a 2 is used once";
    Set("Del_Thumbs_db", 2);
    EXPECT_FALSE(Read(500).sweepThumbs);
    EXPECT_TRUE(Exists("Del_Thumbs_db")) << "not read on Windows 2000, so not consumed";

    Set("Double", 100000);
    EXPECT_EQ(99, Read(601).extraPasses) << "bounded, so the list stays within what QS walks";
    Set("df_check_cust", 1);
    EXPECT_FALSE(Read(601).customDefrag) << "no custom command without a text";
    SetText("df_edit_cust", "defrag %s -w");
    EXPECT_TRUE(Read(601).customDefrag);

    SetText("LastCmdLine", "a.exe");
    EXPECT_FALSE(Read(601).otherCommandsRead) << "only read for other programs";
    Set("Selected", 3);
    EXPECT_TRUE(Read(601).otherCommandsRead);
    SetText("LastCmdLine", "");
    EXPECT_FALSE(Read(601).otherCommandsRead);
    EXPECT_EQ(60, Read(601).startCountdown) << "ba_afterwait 1 and ba_aftersleep 60 by default";
}

TEST(PlannerLog, StartLineNamesEveryOption) {
    SetLanguage(Program::Korvane, false);
    PlannerOptions o;
    o.powerOff = o.surfaceScan = o.checkMulti = o.customCheck = o.delTemp = o.sweepBak = true;
    o.consoleDetail = o.afterCountdown = true;
    o.extraPasses = 2;
    o.screenOff = 2;
    o.beforeCommands = "before.exe";
    o.selected = 2;
    o.runMethod = 3;
    o.stopServices = "Spooler\a";
    o.drives = 0x14;
    o.endAction = 1;
    o.offAutoLogon = 2;
    EXPECT_EQ("--- Rinsa running is started. - 2.1.0(win:NT-601, Log:0, [OK]PowOff:1, FastReboot:0, SurfaceScan:1, "
              "Customize:3, PagingOff:0, Defrag:3 time(s), Prefetch:0, vista_w:0, DelTemp:1, DelIECache:0, "
              "DelDocMenu:0, DelOfficeHistory:0, DelThums.db:0, DelGID:0, DelAlbumArt:0, DelBak:1, DelPnf:0, "
              "DelEtl:0, Boot.ini:0, XpMMC:0, ScreenOff:2, ScanOnDOSMode:0, ScanReg:0, CleanUp:0, Before:1, "
              "rebooting:0, Ready:0, After:0, Shutdown:0, Autoexec:0, CountDown:1, Select:2, How:3(Net), "
              "StopSrv:1, Drive:14h, Shutdown/Reboot:1, AutoLogon:2, DefragBA:0, ResultOv:1)",
              FormatStartLine(o, "2.1.0", 601));
    o.notNetSafe = o.defragMulti = o.customDefrag = true;
    std::string line = FormatStartLine(o, "2.1.0", 601);
    EXPECT_NE(std::string::npos, line.find(", Customize:15, "));
    EXPECT_NE(std::string::npos, line.find(", How:3, ")) << "minimal safe mode has no (Net) mark";
}

std::string NumberedLines(int count, const char *end = "\r\n") {
    std::string text;
    for (int i = 1; i <= count; ++i)
        text += "line " + std::to_string(i) + end;
    return text;
}

TEST_F(PlannerTest, LogTrimmingKeepsTheLast300Lines) {
    std::string kept;
    ASSERT_TRUE(TrimLogText("a\rb\n\n\r\nc\r\n\r\nd", &kept, 3)) << "CR or LF end a line; empty lines are none";
    EXPECT_EQ("b\r\nc\r\nd\r\n", kept);

    auto write = [](const std::string &text) { std::ofstream(RunLogPath(), std::ios::binary) << text; };
    write(NumberedLines(299, "\n"));
    TrimRunLog();
    EXPECT_EQ(NumberedLines(299, "\n"), log_.Raw()) << "299 lines are left as they are";
    write(NumberedLines(1000));
    TrimRunLog();
    EXPECT_EQ(NumberedLines(1000).substr(NumberedLines(700).size()), log_.Raw()) << "lines 701 to 1000";
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((RunLogPath() + ".tmp").c_str())) << "nothing left behind";
    EXPECT_TRUE(boxes_.calls().empty());
    log_.Clear();
    TrimRunLog();
    ASSERT_EQ(1u, boxes_.calls().size());
    EXPECT_EQ("KORVANE.LOG:Cannot open file on write mode.", boxes_.calls()[0].text);
}

// Clicks a button of the countdown as soon as it shows, from another thread.
std::thread Press(int id) {
    return std::thread([id] {
        for (int i = 0; i < 500; ++i, Sleep(10))
            if (HWND dialog = FindWindowA(nullptr, "Wait")) {
                PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
                return;
            }
    });
}

TEST_F(PlannerTest, CountdownEndsAfterOneTickMoreThanItsSecondsOrByItsButtons) {
    LONG remaining = 2;
    int ticks = 1;
    while (!CountdownTick(&remaining))
        ++ticks;
    EXPECT_EQ(3, ticks);
    std::thread cancel = Press(IDCANCEL);
    EXPECT_FALSE(ShowCountdown(nullptr, 600)) << "Cancel gives the run up";
    cancel.join();
    std::thread now = Press(IDOK);
    EXPECT_TRUE(ShowCountdown(nullptr, 600)) << "Continue now goes ahead";
    now.join();
}

UINT FakeDriveType(const char *root) {
    return root[0] == 'C' || root[0] == 'E' ? DRIVE_FIXED : DRIVE_REMOVABLE;
}

TEST(PlannerRules, DiskCleanupOncePerFixedDriveAndTheCheckDiskPath) {
    EXPECT_EQ((Lines{"CLEANMGR.EXE /D C:", "CLEANMGR.EXE /D E:"}),
              DiskCleanupCommands(ResolveDriveMask(0, FakeDriveType)));
    PlannerOptions o;
    o.selected = 2;
    EXPECT_TRUE(TakesCheckDiskPath(o) && !ChecksDiskNow(o)) << "scheduled at boot";
    o.runMethod = 4;
    EXPECT_TRUE(ChecksDiskNow(o)) << "no restart: checked now";
    o.customCheck = true;
    EXPECT_FALSE(TakesCheckDiskPath(o)) << "the custom command goes in the list";
    o.checkBefore = true;
    EXPECT_TRUE(TakesCheckDiskPath(o) && ChecksDiskNow(o));
}

TEST(Cleanup, TempFoldersOnceEach) {
    SetLanguage(Program::Korvane, false);
    PlannerOptions o;
    o.delTemp = true;
    struct Case {
        bool tmpSet;
        const char *tmp;
        bool tempSet;
        const char *temp;
        Lines entries;
    } cases[] = {
        {true, "C:\\Users\\me\\Temp", true, "c:\\users\\ME\\temp\\", {"$DelDir C:\\Users\\me\\Temp"}},
        {true, "C:\\Temp", true, "C:\\Tmp", {"$DelDir C:\\Temp", "$DelDir C:\\Tmp"}},
        {true, "C:\\", true, "C:\\Temp", {"$DelDir C:\\Temp"}},
        {false, "", true, "C:\\Temp", {"$DelDir C:\\Temp"}},
        {false, "", false, "", {}},
    };
    for (const Case &c : cases) {
        CleanupEnvironment env;
        env.tmpSet = c.tmpSet;
        env.tmp = c.tmp;
        env.tempSet = c.tempSet;
        env.temp = c.temp;
        CleanupPlan plan = CleanupEntries(o, env);
        EXPECT_EQ(c.entries, plan.entries) << c.tmp << " / " << c.temp;
        EXPECT_EQ(c.tmpSet || c.tempSet ? Lines{} : Lines{"getenv_s(temp) error."}, plan.errors);
    }
}

TEST(Cleanup, EntriesInTheirOrder) {
    SetLanguage(Program::Korvane, false);
    PlannerOptions o;
    o.delWinTemp = o.delInfPnf = o.delInternetCache = o.delCookies = o.delHistory = o.delRecent = true;
    o.delRecentOffice = true;
    CleanupEnvironment env;
    env.windirSet = env.userProfileSet = true;
    env.cache = "C:\\Cache";
    env.cookies = "C:\\"; // a drive root is never emptied
    env.history = "%USERPROFILE%\\History";
    env.recent = "C:\\Recent\\";
    EXPECT_EQ((Lines{"$DelDir %windir%\\TEMP", "$DelFiles %windir%\\Inf\\*.pnf", "$DelDir C:\\Cache",
                     "$DelDir %USERPROFILE%\\History", "$DelFiles C:\\Recent\\*.lnk",
                     "$DelFiles %USERPROFILE%\\Application Data\\Microsoft\\Office\\Recent\\*.lnk"}),
              CleanupEntries(o, env).entries);
    CleanupPlan bare = CleanupEntries(o, CleanupEnvironment());
    EXPECT_TRUE(bare.entries.empty()) << "no Recent folder: no \"$DelFiles \\*.lnk\" in QS's folder";
    EXPECT_EQ((Lines{"getenv_s(windir) error.", "getenv_s(windir) error.", "getenv_s(USERPROFILE) error."}),
              bare.errors);
}

// ---- The command list ---------------------------------------------------------------------------

constexpr DWORD kC = 1u << 2, kD = 1u << 3;

ListContext Context(unsigned short version, DWORD drives = kC) {
    return {version, drives, "C:\\TW\\KORVLOG.EXE", "C:\\Desktop\\KORV4RES.TXT"};
}

PlannerOptions Defrag(LONG extraPasses) {
    PlannerOptions o;
    o.extraPasses = extraPasses;
    return o;
}

std::string Pass(int pass, int passes, const char *tool, const char *runner = "-c") {
    return "CMD.EXE /C @TITLE Defragment - C: & ECHO Defragmenting C:(" + std::to_string(pass) + " of " +
           std::to_string(passes) + ")... Please wait. & \"C:\\TW\\KORVLOG.EXE\" " + runner + " " + tool;
}

const Lines kIfe = {
    "$IFE 0 $LOGEND Defragmenter completed successfully.",
    "$IFE 1 $LOGEND Defragmenter was cancelled manually.",
    "$IFE 2 $LOGEND Defrag: Command line error.",
    "$IFE 3 $LOGEND Defrag: Unknown error.",
    "$IFE 4 $LOGEND Defragmenter could not run due to insufficient memory resources.",
    "$IFE 5 $LOGEND Defrag: General error.",
    "$IFE 6 $LOGEND Defrag: System error.",
    "$IFE 7 $LOGEND Defrag: There is not enough free space on the drive.",
};

TEST_F(PlannerTest, Windows7ThreePassesOnC) {
    const char *tool = "DEFRAG.EXE C: -f -u -h";
    std::string log = "$LOG Defragment(Console) - C: [DEFRAG.EXE C: -f -u -h]";
    EXPECT_EQ((Lines{"$START", log, Pass(1, 3, tool), "$RECDFRGTIME C:", "$START", log, Pass(2, 3, tool), "$START", log,
                     Pass(3, 3, tool)}),
              DefragEntries(Defrag(2), Context(601)));
}

TEST_F(PlannerTest, WindowsXpResultLinesAfterEachConsolePass) {
    const char *tool = "DEFRAG.EXE C: -f";
    std::string log = "$LOG Defragment(Console) - C: [DEFRAG.EXE C: -f]";
    EXPECT_EQ(Concat({{"$START", log, Pass(1, 2, tool, "-p"), "$RECDFRGTIME C:"},
                      kIfe,
                      {"$START", log, Pass(2, 2, tool, "-p")},
                      kIfe}),
              DefragEntries(Defrag(1), Context(501)));
    EXPECT_TRUE(IfeLines(600).empty());
    SetLanguage(Program::Korvane, true);
    EXPECT_NE(kIfe[2], IfeLines(501)[2]);
}

TEST_F(PlannerTest, DefragmenterSwitchesByWindowsVersion) {
    struct Case {
        unsigned short version;
        bool vistaW, detail, prefetch;
        const char *tool;
        const char *logKind;
    } cases[] = {
        {602, false, false, false, "DEFRAG.EXE C: -f -o -u -h", "Defragment(Console)"},
        {1000, true, false, false, "DEFRAG.EXE C: -f -x -u -h", "Defragment(Console)"},
        {601, true, true, false, "DEFRAG.EXE C: -f -v -x -u -h", "Defragment(Console)"},
        {600, true, false, false, "DEFRAG.EXE C: -f -w", "Defragment(Console)"},
        {501, false, true, false, "DEFRAG.EXE C: -f -v", "Defragment(Console)"},
        {1000, true, true, true, "DEFRAG.EXE C: -f -b", "Boot optimization"},
        {501, false, false, true, "DEFRAG.EXE C: -f -b", "Defragment by prefetch log only"},
    };
    for (const Case &c : cases) {
        PlannerOptions o = Defrag(0);
        o.vistaW = c.vistaW;
        o.consoleDetail = c.detail;
        o.prefetch = c.prefetch;
        Lines entries = DefragEntries(o, Context(c.version));
        ASSERT_GE(entries.size(), 4u);
        EXPECT_EQ(std::string("$LOG ") + c.logKind + " - C: [" + c.tool + "]", entries[1]);
        std::string tail = (c.version < 601 ? "\" -p " : "\" -c ") + std::string(c.tool);
        EXPECT_EQ(tail, entries[2].substr(entries[2].size() - tail.size()));
        EXPECT_EQ(c.prefetch ? "$RECDFRPTIME C:" : "$RECDFRGTIME C:", entries[3]);
    }
    PlannerOptions o = Defrag(1);
    o.prefetch = true;
    Lines optimization = DefragEntries(o, Context(601));
    EXPECT_EQ(optimization[1], optimization[4]) << "no $START between passes of the boot optimization";
    EXPECT_EQ("$LOGEND Boot optimization was finished.", optimization.back());
    ListContext noKorvlog = Context(601);
    noKorvlog.korvlog.clear();
    std::string alone = DefragEntries(Defrag(0), noKorvlog)[2];
    EXPECT_EQ(" & DEFRAG.EXE C: -f -u -h", alone.substr(alone.rfind(" & "))) << "without KORVLOG.EXE it runs alone";
}

TEST_F(PlannerTest, CustomDefragmentationForAllDrivesAtOnce) {
    PlannerOptions o = Defrag(1);
    o.customDefrag = o.defragMulti = true;
    o.defragCommand = "mydefrag.exe %s /full";
    EXPECT_EQ((Lines{"$START", "$LOG Defragment started.", "mydefrag.exe C: D: /full", "mydefrag.exe C: D: /full",
                     "$LOGEND Defragment finished."}),
              DefragEntries(o, Context(1000, kC | kD)));
}

TEST_F(PlannerTest, MmcDefragmenterAloneOrForTheLastPass) {
    PlannerOptions o = Defrag(1);
    o.mmcDefrag = true;
    Lines mmcPass = {"$LOG Defragment(MMC) - C:", "$AutoDefrag2000 C:"};
    std::string finished = "$LOGEND Defragmentation was finished.";
    EXPECT_EQ(Concat({{"$Open Don't touch your mouse and keyborad.", "$START"},
                      mmcPass,
                      {"$RECDFRGTIME C:"},
                      mmcPass,
                      {finished, "$Close"}}),
              DefragEntries(o, Context(501)));
    o.finalMmc = true;
    EXPECT_EQ(Concat({{"$START", "$LOG Defragment(Console) - C: [DEFRAG.EXE C: -f]",
                       Pass(1, 2, "DEFRAG.EXE C: -f", "-p"), "$RECDFRGTIME C:"},
                      kIfe,
                      mmcPass,
                      {finished}}),
              DefragEntries(o, Context(501)));
}

TEST_F(PlannerTest, ResultFileBeforeAndAfter) {
    PlannerOptions o = Defrag(0);
    o.resultOut = true;
    Lines entries = DefragEntries(o, Context(601));
    std::string file = "\"C:\\Desktop\\KORV4RES.TXT\"";
    ASSERT_EQ(11u, entries.size());
    EXPECT_EQ("@CMD.EXE /C ((ECHO " + std::string(78, '=') + ")&(ECHO [%DATE% %TIME%]))>>" + file, entries[0]);
    EXPECT_EQ("$LOG Status of Drive C", entries[1]);
    EXPECT_EQ("@CMD.EXE /C (ECHO Please Wait... (Drive C)&(((ECHO.)&(ECHO Drive C - Before Defragment)&(defrag C: "
              "-a))>>" +
                  file + ")",
              entries[2]);
    EXPECT_EQ("@CMD.EXE /C ECHO " + std::string(78, '-') + ">>" + file, entries[3]);
    EXPECT_NE(std::string::npos, entries[9].find("(ECHO Drive C - After Defragment)"));
    EXPECT_EQ("@CMD.EXE /C ECHO [%DATE% %TIME%]>>" + file, entries[10]);
}

TEST_F(PlannerTest, WorkPartBySelection) {
    PlannerOptions other;
    other.selected = 3;
    EXPECT_EQ(Lines{"$Rnsx"}, WorkEntries(other, Context(601))) << "no programs given: QS asks for them";
    other.otherCommands = "  a.exe /x\r\n\r\nb.exe";
    other.screenOff = 2;
    other.readyCommands = "ready.exe";
    other.afterCommands = "after.exe";
    EXPECT_EQ((Lines{"$AUXVSO_ON 2", "ready.exe", "a.exe /x", "b.exe", "after.exe", "$AUXVSO_OFF"}),
              WorkEntries(other, Context(601)));

    PlannerOptions check;
    check.selected = 2;
    check.customCheck = true;
    check.checkCommand = "chk.exe %s";
    Lines entries = WorkEntries(check, Context(601, kC | kD));
    EXPECT_EQ((Lines{"$START", "$LOG Checking disk started.",
                     "chk.exe C:", "chk.exe D:", "$LOGEND Checking disk finished.", "$START"}),
              Lines(entries.begin(), entries.begin() + 6))
        << "check disk before the defragmentation";
    check.checkBefore = true;
    check.selected = 1;
    EXPECT_TRUE(WorkEntries(check, Context(601)).empty()) << "checked before the restart";
}

TEST_F(PlannerTest, EndOfTheRun) {
    struct Case {
        LONG endAction;
        int runMethod;
        const char *services;
        bool noPagingFile, countdown;
        const char *shutdownCommand;
        Lines expected;
    } cases[] = {
        {0, 2, "", false, false, "", {"$End ExitWindows"}},
        {0, 4, "", false, true, "", {"$CountDown 20,shutdown", "$End ExitWindows"}},
        {0, 2, "", false, false, "off.exe /p", {"$LOG Command Line for shutting down.", "off.exe /p"}},
        {1, 0, "", false, false, "", {"$End Boot"}},
        {1, 0, "", true, false, "", {"$End Reboot"}},
        {1, 1, "", false, true, "", {"$CountDown 20,reboot", "$End Reboot"}},
        {1, 4, "", false, true, "", {"$End Boot"}},
        {1, 4, "Spooler\a", false, false, "", {"$End Reboot"}},
        {2, 2, "", false, true, "", {"$End Reboot"}},
        {3, 4, "", false, true, "", {"$End Boot"}},
    };
    for (const Case &c : cases) {
        PlannerOptions o;
        o.endAction = c.endAction;
        o.runMethod = c.runMethod;
        o.stopServices = c.services;
        o.noPagingFile = c.noPagingFile;
        o.afterCountdown = c.countdown;
        o.shutdownCommand = c.shutdownCommand;
        EXPECT_EQ(c.expected, EndEntries(o)) << "NotAutoPowerOff " << c.endAction << ", run method " << c.runMethod;
    }
}

// ---- The whole run and the hand-over ------------------------------------------------------------

struct HandOverCalls {
    std::vector<UINT> exitWindows;
    Lines started;
    BOOL exitResult = TRUE;
    INT_PTR shellResult = 42;
} g_calls;

BOOL WINAPI FakeExitWindows(UINT flags, DWORD) {
    g_calls.exitWindows.push_back(flags);
    return g_calls.exitResult;
}

HINSTANCE WINAPI FakeShellExecute(HWND, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR folder, INT) {
    g_calls.started.push_back(std::string(verb) + "|" + file + "|" + (parameters ? parameters : "") + "|" + folder);
    return reinterpret_cast<HINSTANCE>(g_calls.shellResult);
}

TEST_F(PlannerTest, AnUnfinishedEarlierListKeepsItsRestoreEntries) {
    CarriedRestores carried =
        RestoresToCarry({"$EnableUAC", "", "$RService TwSrvA", "$RestoreShell cmd.exe", "$START", "$Rservice2 x",
                         "DEFRAG.EXE C:", "$OffAutoLogon", "$EnableDisplayLastLogonInfo", "$End ExitWindows",
                         "$restoreswap", "bcdedit.exe /deletevalue safeboot"});
    EXPECT_EQ((Lines{"$EnableUAC", "$RService TwSrvA", "$RestoreShell cmd.exe", "$restoreswap",
                     "bcdedit.exe /deletevalue safeboot"}),
              carried.first)
        << "restores only, done entries and look-alike words left out";
    EXPECT_EQ((Lines{"$OffAutoLogon", "$EnableDisplayLastLogonInfo"}), carried.last);

    // The carried entries lead the list; this run's own automatic logon entry stays at its end.
    PlannerOptions o;
    o.runMethod = 4;
    o.selected = 3;
    o.otherCommands = "x.exe";
    o.otherCommandsRead = true;
    o.offAutoLogon = 1;
    WriteCommandList(o, false, carried);
    Lines expected = carried.first;
    expected.insert(expected.end(), {"$OffAutoLogon", "$EnableDisplayLastLogonInfo", "x.exe", "$OffAutoLogon"});
    for (const std::string &end : EndEntries(o))
        expected.push_back(end);
    EXPECT_EQ(expected, Entries());
    EXPECT_TRUE(Logged("Kept the restore entry of an earlier run - $EnableUAC"));
}

class RunTest : public PlannerTest {
protected:
    void SetUp() override {
        PlannerTest::SetUp();
        g_calls = HandOverCalls();
        g_plannerExitWindows = FakeExitWindows;
        g_plannerShellExecute = FakeShellExecute;
        g_windowsVersion = 601;
        g_autoMode = true;
    }
    void TearDown() override {
        g_plannerExitWindows = ExitWindowsEx;
        g_plannerShellExecute = ShellExecuteA;
        g_autoMode = false;
        PlannerTest::TearDown();
    }
};

TEST_F(RunTest, RunNowWritesTheListAndStartsQs) {
    for (int i = 0; i < 12; ++i)
        SetText(OrderValueName(i).c_str(), "$LOG left from an older list");
    Set("How", 4);
    Set("Drives", LONG(kC));
    Set("NotAutoPowerOff", 1);
    Set("ba_afterwait", 0);
    Set("ba_after", 1);
    SetText("ba_after_cl", "after.exe");
    SetText("stopsrv", "TwSrv\a");
    g_instanceMutex = CreateMutexA(nullptr, TRUE, nullptr);

    EXPECT_TRUE(PlanRinsaRun());

    std::string tool = "DEFRAG.EXE C: -f -u -h";
    std::string korvlog = KorvlogShortPath().empty() ? "" : "\"" + KorvlogShortPath() + "\" -c ";
    EXPECT_EQ(
        (Lines{"net stop \"TwSrv\" /y", "$START", "$LOG Defragment(Console) - C: [" + tool + "]",
               "CMD.EXE /C @TITLE Defragment - C: & ECHO Defragmenting C:(1 of 1)... Please wait. & " + korvlog + tool,
               "$RECDFRGTIME C:", "after.exe", "$End Reboot"}),
        Entries())
        << "a service list ends the run with a restart; nothing of the older list is left";
    EXPECT_EQ(nullptr, g_instanceMutex) << "QS takes the mutex";
    EXPECT_EQ(Lines{"open|" + ProgramFolder() + "QS.EXE||" + ProgramFolder()}, g_calls.started);
    EXPECT_TRUE(g_calls.exitWindows.empty());
    EXPECT_EQ(16, ValueSize("dddC")) << "the time of the planned defragmentation";
    EXPECT_EQ(-1, ValueSize("sddC"));
    ASSERT_FALSE(log_.Texts().empty());
    EXPECT_EQ(0u, log_.Texts()[0].rfind("--- Rinsa running is started. - ", 0)) << log_.Texts()[0];
    EXPECT_TRUE(Logged("No Rinsa - Automatic running only."));
}

// A first run killed after it turned UAC and the last-logon notice off left their entries; a second
// run, killed at any of its own points, must leave them in the list, or both stay off for good.
TEST_F(RunTest, ARunPlannedOverAKilledOneKeepsItsRestoresAtEveryPoint) {
    ValueGuard lua(HKEY_LOCAL_MACHINE, kPoliciesSystemPath, "EnableLUA");
    ValueGuard lastLogon(HKEY_LOCAL_MACHINE, kPoliciesSystemPath, "DisplayLastLogonInfo");
    ValueGuard shell(HKEY_CURRENT_USER, kUserWinlogonPath, "Shell");
    ValueGuard autoLogon(HKEY_LOCAL_MACHINE, kWinlogonPath, kAutoAdminLogon);
    KeyGuard service(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\TwTestCarry");
    WriteDword(HKEY_LOCAL_MACHINE, kPoliciesSystemPath, "EnableLUA", 0);
    WriteDword(HKEY_LOCAL_MACHINE, kPoliciesSystemPath, "DisplayLastLogonInfo", 0);
    WriteDword(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\TwTestCarry", "Start", 2);
    DeleteRaw(HKEY_CURRENT_USER, kUserWinlogonPath, "Shell");
    const Lines earlier = {"$EnableUAC", "$CountDown 60,starting", "$EnableDisplayLastLogonInfo"};
    for (size_t i = 0; i < earlier.size(); ++i)
        SetText(OrderValueName(int(i)).c_str(), earlier[i].c_str());
    Set("How", 2);
    Set("Drives", LONG(kC));
    Set("OffAutoLogon", 1);
    SetText("stopsrv", "TwTestCarry\a");

    static std::vector<std::pair<std::string, Lines>> seen;
    seen.clear();
    void (*savedAction)(const char *) = g_stopPointAction;
    g_stopPointAction = [](const char *change) { seen.push_back({change, Entries()}); };
    EXPECT_TRUE(PlanRinsaRun());
    g_stopPointAction = savedAction;

    ASSERT_GE(seen.size(), 4u) << "the service, the shell, automatic logon and the list";
    for (const auto &[change, entries] : seen) {
        SCOPED_TRACE(change);
        for (const char *restore : {"$EnableUAC", "$EnableDisplayLastLogonInfo"})
            EXPECT_NE(entries.end(), std::find(entries.begin(), entries.end(), restore))
                << restore << " lost by a kill here";
    }
    Lines entries = Entries();
    EXPECT_EQ(1, std::count(entries.begin(), entries.end(), "$RestoreShell ")) << "QS was not the shell before";
}

TEST_F(RunTest, CancelledCountdownChangesNothing) {
    Set("ba_beforewait", 2);
    Set("ba_sleep", 600);
    std::thread cancel = Press(IDCANCEL);
    EXPECT_FALSE(PlanRinsaRun());
    cancel.join();
    EXPECT_TRUE(Entries().empty());
    EXPECT_FALSE(Exists("ba_beforewait")) << "a next-run-only option is used up all the same";
    EXPECT_TRUE(g_calls.started.empty() && g_calls.exitWindows.empty());
}

int g_restoreStatus = 0;
int FakeCreateRestorePoint() {
    return g_restoreStatus;
}

TEST_F(RunTest, TheRestorePointIsReportedAsSystemRestoreAnswered) {
    struct Case {
        int status;
        const char *text;
    } cases[] = {
        {0, "Creating restore point is successful."},
        {1058, "System Restore is disabled."},
        {80, "Pending file-rename operations exist in the file %windir%\\Wininit.ini."},
        {-1, "Cannot create restore point."}, // no System Restore on this Windows
    };
    g_createRestorePoint = FakeCreateRestorePoint;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, kSettingsPath);
        Set("How", 4);
        Set("Selected", 3);
        Set("CreateRestorePoint", 1);
        log_.Clear();
        size_t boxesBefore = boxes_.calls().size();
        g_restoreStatus = c.status;
        EXPECT_TRUE(PlanRinsaRun()) << "a missing restore point does not stop the run";
        Lines texts = log_.Texts();
        auto start = std::find(texts.begin(), texts.end(), "Starting create a restore point.");
        ASSERT_NE(texts.end(), start);
        ASSERT_NE(texts.end(), start + 1);
        EXPECT_EQ(c.text, start[1]);
        Lines boxes;
        for (size_t i = boxesBefore; i < boxes_.calls().size(); ++i)
            boxes.push_back(boxes_.calls()[i].text);
        EXPECT_EQ(c.status == 0 ? Lines{} : Lines{c.text}, boxes);
    }
    g_createRestorePoint = CreateRestorePoint;
}

TEST_F(RunTest, HandOverByRunMethod) {
    struct Case {
        int runMethod;
        bool powerOff;
        const char *rebootCommand;
        BOOL succeeds;
        std::vector<UINT> exitWindows;
        Lines logged;
        Lines boxes;
    } cases[] = {
        {0, false, "", TRUE, {EWX_REBOOT}, {"Starting - Before booting shell.", "Reboot normally"}, {}},
        {2, false, "", FALSE, {EWX_REBOOT}, {"Reboot normally - failed"}, {"Rebooting was failed."}},
        {3,
         true,
         "",
         TRUE,
         {EWX_SHUTDOWN | EWX_POWEROFF},
         {"Starting - Change Shell and Use Safe Mode.", "Shutdown"},
         {}},
        {1, true, "", FALSE, {EWX_SHUTDOWN | EWX_POWEROFF}, {"Shutdown - failed"}, {"Shutting down was failed."}},
        {2, false, "CMD.EXE /C exit 0", TRUE, {}, {"Command Line for rebooting - CMD.EXE /C exit 0"}, {}},
        {2,
         false,
         "C:\\none\\reboot.exe",
         TRUE,
         {EWX_REBOOT},
         {"CommandLine - failed - Reboot normally"},
         {"CommandLine of 'Use command line for first rebooting' is not runnable."}},
        {4, false, "", FALSE, {}, {"Qs.exe cannot execute."}, {"QS.EXE is not found."}},
    };
    for (const Case &c : cases) {
        g_calls = HandOverCalls();
        g_calls.exitResult = c.succeeds;
        g_calls.shellResult = c.succeeds ? 42 : 2;
        log_.Clear();
        size_t boxesBefore = boxes_.calls().size();
        PlannerOptions o;
        o.runMethod = c.runMethod;
        o.powerOff = c.powerOff;
        o.rebootCommand = c.rebootCommand;
        HandOver(o);
        EXPECT_EQ(c.exitWindows, g_calls.exitWindows) << "run method " << c.runMethod;
        for (const std::string &text : c.logged)
            EXPECT_TRUE(Logged(text)) << text;
        Lines boxes;
        for (size_t i = boxesBefore; i < boxes_.calls().size(); ++i)
            boxes.push_back(boxes_.calls()[i].text);
        EXPECT_EQ(c.boxes, boxes) << "run method " << c.runMethod;
    }
}

} // namespace
