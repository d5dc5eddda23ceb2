// The Quiet Shell's command list: keyword matching, $IFE, the walk over the real registry with
// real processes, done marks, the end of a run, $Reboot and the recovery questions. Power actions
// are recorded instead of ending the session.
#include "QS.h"

#include "language.h"
#include "log_capture.h"
#include "scoped_messages.h"
#include "settings.h"
#include "system_state.h"

#include <gtest/gtest.h>
#include <shlwapi.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<UINT> g_powerActions;
BOOL WINAPI RecordPowerAction(UINT flags, DWORD) {
    g_powerActions.push_back(flags);
    return TRUE;
}

TEST(Keywords, OneSeparatorIsSkippedWhateverItIs) {
    struct Case {
        const char *text;
        const char *keyword;
        bool matches;
        const char *argument;
    } cases[] = {
        {"$LogEnd Defragmenter completed.", "$LogEnd", true, "Defragmenter completed."},
        {"$LOGEND x", "$LogEnd", true, "x"},
        {"$logend", "$LogEnd", true, ""},
        {"$LogEnd,x", "$LogEnd", true, "x"},
        {"$LogEnd  two blanks", "$LogEnd", true, " two blanks"},
        {"$LogEnd x", "$Log", true, "nd x"}, // why longer keywords are tried first
        {"$LogX", "$Log", true, ""},
        {"$Lo", "$Log", false, ""},
        {"Log", "$Log", false, ""},
    };
    for (const Case &c : cases) {
        std::string argument = "unchanged";
        EXPECT_EQ(c.matches, MatchKeyword(c.text, c.keyword, &argument)) << c.text;
        if (c.matches) {
            EXPECT_EQ(c.argument, argument) << c.text;
        }
    }
    std::string longText = "$Log " + std::string(600, 'x');
    std::string argument;
    ASSERT_TRUE(MatchKeyword(longText.c_str(), "$Log", &argument));
    EXPECT_EQ(kMaxArgument, argument.size());
}

TEST(Keywords, IfeRunsTheRestOnlyOnItsCode) {
    struct Case {
        const char *argument;
        LONG lastExitCode;
        const char *command;
    } cases[] = {
        {"0 $LOGEND Defragmenter completed successfully.", 0, "$LOGEND Defragmenter completed successfully."},
        {"1 $LOGEND cancelled", 0, ""},
        {"1 \t CMD.EXE /C exit", 1, "CMD.EXE /C exit"},
        {"-1 x", -1, "x"},
        {"0", 0, ""},
        {"0   ", 0, ""},
        {"abc x", 0, "x"}, // no number reads as 0
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.command, IfeCommand(c.argument, c.lastExitCode)) << c.argument;
}

TEST(Keywords, AnEntryIsClassifiedFromItsDataWithinItsLength) {
    struct Case {
        std::string data;
        LONG lastExitCode;
        EntryKind kind;
        const char *keyword; // Internal
        const char *argument;
        bool wait, conditional;
    } cases[] = {
        {"$LogEnd done", 0, EntryKind::Internal, "$LogEnd", "done", true, false},
        {"$IFE 0 $Log ok", 0, EntryKind::Internal, "$Log", "ok", true, true},
        {"$IFE 1 $Log ok", 0, EntryKind::Skip, nullptr, "", true, true},
        {"$IFE 0 $ife 0 !CHKDSK C:", 0, EntryKind::External, nullptr, "CHKDSK C:", false, true},
        {"$IFE 0 # only a comment", 0, EntryKind::Skip, nullptr, "", true, true},
        {"DEFRAG.EXE C:", 0, EntryKind::External, nullptr, "DEFRAG.EXE C:", true, false},
        {"$Unknown x", 0, EntryKind::External, nullptr, "$Unknown x", true, false},
        {"# comment", 0, EntryKind::Skip, nullptr, "", true, false},
        {"!", 0, EntryKind::Skip, nullptr, "", true, false},
        {"$", 0, EntryKind::Skip, nullptr, "", true, false},
        {"", 0, EntryKind::Skip, nullptr, "", true, false},
        {std::string("$Log a\0$Log b", 13), 0, EntryKind::Internal, "$Log", "a", true, false}, // ends at its zero
        {"$Log unterminated", 0, EntryKind::Internal, "$Log", "unterminated", true, false},
    };
    for (const Case &c : cases) {
        // The data is given without a terminating zero: only its length bounds it.
        std::vector<char> data(c.data.begin(), c.data.end());
        ParsedEntry parsed = ParseEntry(data.data(), data.size(), c.lastExitCode);
        EXPECT_EQ(c.kind, parsed.kind) << c.data;
        EXPECT_EQ(c.argument, parsed.argument) << c.data;
        EXPECT_EQ(c.conditional, parsed.conditional) << c.data;
        if (c.kind == EntryKind::External) {
            EXPECT_EQ(c.wait, parsed.wait) << c.data;
        }
        if (c.keyword) {
            EXPECT_STREQ(c.keyword, CatalogueKeyword(parsed.command)) << c.data;
        }
    }
}

TEST(StartUp, SwitchesAndPathRepair) {
    EXPECT_EQ(StartMode::Normal, ParseStartSwitch("").mode);
    EXPECT_EQ(StartMode::Normal, ParseStartSwitch("S").mode);
    EXPECT_EQ(StartMode::BlackScreen, ParseStartSwitch("/s").mode);
    EXPECT_EQ(StartMode::EndBlackScreen, ParseStartSwitch("/X").mode);
    StartSwitch notice = ParseStartSwitch("/W Do not touch");
    EXPECT_EQ(StartMode::Notice, notice.mode);
    EXPECT_EQ(" Do not touch", notice.text);

    const std::string win = "C:\\windows", sys = "C:\\windows\\system32";
    struct Case {
        const char *path;
        PathState state;
        const char *repaired;
    } cases[] = {
        {"C:\\windows\\system32;C:\\WINDOWS", PathState::Complete, "C:\\windows\\system32;C:\\WINDOWS"},
        {"C:\\windows", PathState::SystemMissing, "C:\\windows;C:\\windows\\system32"},
        {"C:\\windows\\system32\\;C:\\windows", PathState::SystemMissing,
         "C:\\windows\\system32\\;C:\\windows;C:\\windows\\system32"},
        {"C:\\windows\\system32", PathState::WindowsMissing, "C:\\windows\\system32;C:\\windows"},
        {"D:\\tools", PathState::BothMissing, "D:\\tools;C:\\windows;C:\\windows\\system32"},
    };
    for (const Case &c : cases) {
        std::string repaired;
        EXPECT_EQ(c.state, CheckPath(c.path, win, sys, &repaired)) << c.path;
        EXPECT_EQ(c.repaired, repaired) << c.path;
    }
}

TEST(StartUp, CountDownArguments) {
    struct Case {
        const char *argument;
        LONG seconds;
        const char *verb;
    } cases[] = {
        {"20,reboot", 20, "reboot"},
        {"5", 5, "continue"},
        {"", 20, "continue"},
        {"shutdown", 20, "shutdown"},
        {"7,", 7, "continue"},
        {"12345678901,x", 1234567890, "x"}, // ten digits at most
        {"9999999999,x", LONG(0x7FFFFFFF), "x"},
    };
    for (const Case &c : cases) {
        CountDownArgs args = ParseCountDown(c.argument);
        EXPECT_EQ(c.seconds, args.seconds) << c.argument;
        EXPECT_EQ(c.verb, args.verb) << c.argument;
    }
}

// A command list in the real settings key, walked as QS walks it.
class WalkTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetLanguage(Program::QuietShell, false);
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, kSettingsPath);
        g_powerActions.clear();
        g_exitWindowsEx = RecordPowerAction;
    }
    void TearDown() override {
        g_exitWindowsEx = ExitWindowsEx;
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, kSettingsPath);
    }
    void Write(int index, const char *text) {
        REGA key;
        ASSERT_TRUE(OpenSettings(key, OPEN_CREATE));
        key.WriteStringA(OrderValueName(index).c_str(), text, STRTYPE_KEEP);
        key.CloseKey();
    }
    void WriteList(const std::vector<const char *> &lines) {
        for (size_t i = 0; i < lines.size(); ++i)
            Write(int(i), lines[i]);
    }
    // The entry's text, or "(absent)".
    std::string Entry(int index) {
        REGA key;
        OpenSettings(key, OPEN_READONLY);
        std::unique_ptr<char[]> text = key.RegReadStringA(OrderValueName(index).c_str(), nullptr);
        bool exists = key.ValueExistA(OrderValueName(index).c_str()) >= 0;
        key.CloseKey();
        return exists ? (text ? text.get() : "") : "(absent)";
    }
    void RunWalk() {
        Walk walk;
        ASSERT_TRUE(OpenSettings(walk.key, OPEN_CREATE));
        walk.runClock = GetTickCount();
        int start = FindFirstEntry(walk.key);
        ASSERT_GE(start, 0);
        ASSERT_TRUE(WalkCommandList(walk, start, 1024));
        if (walk.key.IsOpen()) walk.key.CloseKey();
        lastExitCode_ = walk.lastExitCode;
    }
    LogCapture log_;
    ScopedMessages boxes_;
    LONG lastExitCode_ = 0;
};

TEST_F(WalkTest, TheLogTellsTheStoryAndTheListIsDeletedUpToEnd) {
    WriteList({
        "$LOG Rinsa started",
        "CMD.EXE /C exit 3",
        "$IFE 3 $LOG three",
        "$IFE 0 $LOG zero",
        "@CMD.EXE /C exit 1",
        "$ife 1 $LOG one",
        "!CMD.EXE /C exit 5",
        "$IFE 0 $LOG no wait leaves zero",
        "# a comment",
        "",
        "$",
        "$RECDFRGTIME C:",
        "$LOGEND Done",
        "$End Boot",
        "$LOG after the end",
    });
    RunWalk();
    std::vector<std::string> expected = {
        "Rinsa started", "Command Line - CMD.EXE /C exit 3", "  Return Code = 3",   "three", "  Return Code = 1",
        "one",           "Command Line - CMD.EXE /C exit 5", "no wait leaves zero",
    };
    std::vector<std::string> texts = log_.Texts();
    ASSERT_GE(texts.size(), expected.size() + 2);
    EXPECT_EQ(expected, std::vector<std::string>(texts.begin(), texts.begin() + expected.size()));
    EXPECT_EQ(0u, texts[expected.size()].find("Done( 0:00:")) << texts[expected.size()];
    EXPECT_EQ("Completed.", texts.back());
    for (int i = 0; i <= 13; ++i)
        EXPECT_EQ("(absent)", Entry(i)) << "order" << i;
    EXPECT_EQ("$LOG after the end", Entry(14)) << "entries after $End stay";
    REGA key;
    OpenSettings(key, OPEN_READONLY);
    EXPECT_GE(key.ValueExistA("DTIMEC"), 0);
    key.CloseKey();
    EXPECT_TRUE(g_powerActions.empty());
}

TEST_F(WalkTest, GapsAreSkippedAndOnlyStartedCommandsAreMarkedDone) {
    Write(5, "$LOG five");
    Write(7, "CMD.EXE /C exit 0");
    Write(9, "$Wait 1");
    Write(10, "$NoSuchCommand");
    RunWalk();
    std::vector<std::string> texts = log_.Texts();
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ("five", texts[0]);
    EXPECT_EQ("$LOG five", Entry(5)) << "internal commands stay pending and run again after a restart";
    EXPECT_EQ("", Entry(7)) << "external commands are marked done before they run";
    EXPECT_EQ("$Wait 1", Entry(9));
    EXPECT_EQ("", Entry(10)) << "an unknown $ word is started as a command line";
    EXPECT_EQ("(absent)", Entry(6));
}

// Entries another program wrote: a number or binary data is never run as a command line, and an
// entry that no longer fits the line buffer is not run as an empty one; the log names each, and
// the entry stays as it was.
TEST_F(WalkTest, EntriesThatAreNoTextOrDoNotFitAreLoggedAndLeftAlone) {
    const DWORD letterA = 0x41;
    struct Case {
        DWORD type;
        Bytes data;
        const char *logged;
    } cases[] = {
        {REG_DWORD, BytesOf(reinterpret_cast<const char *>(&letterA), 4),
         "order0: not a text value (registry type 4); not run."},
        {REG_BINARY, BytesOf("$LOG binary", 11), "order1: not a text value (registry type 3); not run."},
        {REG_NONE, Bytes(), "order2: not a text value (registry type 0); not run."},
        {REG_SZ, BytesOf(std::string(2000, 'x').c_str(), 2001), "order3: cannot read the value; not run."},
        {REG_EXPAND_SZ, BytesOf("$LOG %windir% stays", 20), "%windir% stays"},
        {REG_MULTI_SZ, BytesOf("$LOG first\0$LOG second\0", 24), "first"},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i)
        WriteRaw(HKEY_LOCAL_MACHINE, kSettingsPath, OrderValueName(int(i)).c_str(), cases[i].type, cases[i].data);
    RunWalk(); // with a line buffer of 1024 bytes
    std::vector<std::string> texts = log_.Texts();
    for (const Case &c : cases)
        EXPECT_NE(texts.end(), std::find(texts.begin(), texts.end(), c.logged)) << c.logged;
    EXPECT_EQ(std::string(2000, 'x'), Entry(3)) << "not marked done";
    EXPECT_EQ(BytesOf("$LOG binary", 11), ReadRaw(HKEY_LOCAL_MACHINE, kSettingsPath, "order1").data);
    EXPECT_EQ(6u, texts.size()) << "nothing else ran";
}

TEST_F(WalkTest, AProgramThatCannotStartGoesThroughTheInterpreter) {
    WriteList({"CMD.EXE /C exit 4", "C:\\no such folder\\nothing.exe", "$IFE 4 $LOG code kept"});
    RunWalk();
    std::vector<std::string> texts = log_.Texts();
    ASSERT_EQ(4u, texts.size());
    EXPECT_EQ("Command Line - C:\\no such folder\\nothing.exe", texts[2]);
    EXPECT_NE("  Return Code = 0", texts[3]) << "the interpreter reports the failure in its exit code";
    EXPECT_EQ(0u, texts[3].find("  Return Code = "));
}

TEST_F(WalkTest, NegativeExitCodesAndInterpreterBuiltIns) {
    WriteList({"CMD.EXE /C exit -1", "$IFE -1 $LOG minus one", "echo built-in > NUL", "@CMD.EXE /C exit 2"});
    SetTraceMode(true);
    RunWalk();
    SetTraceMode(false);
    std::string all;
    for (const std::string &text : log_.Texts())
        all += text + "\n";
    EXPECT_NE(std::string::npos, all.find("  Return Code = -1\n"));
    EXPECT_NE(std::string::npos, all.find("minus one\n"));
    EXPECT_NE(std::string::npos, all.find("CMD.EXE /C echo built-in > NUL\n")) << "built-ins go through CMD";
    EXPECT_NE(std::string::npos, all.find("Command Line(@) - CMD.EXE /C exit 2\n")) << "trace mode names quiet lines";
    EXPECT_NE(std::string::npos, all.find("mainThread:61\n"));
    EXPECT_NE(std::string::npos, all.find("mainThread:62h1\n"));
    EXPECT_EQ(2, lastExitCode_);
}

TEST_F(WalkTest, EndActionsFollowTheArgumentInAnyCase) {
    struct Case {
        const char *end;
        std::vector<UINT> actions;
        const char *line;
    } cases[] = {
        {"$End reboot", {EWX_REBOOT}, "Rebooted"},
        {"$END ExitWindows", {EWX_SHUTDOWN | EWX_POWEROFF}, "Shutdown"},
        {"$End Boot", {}, "Completed."},
        {"$End", {}, "Completed."},
    };
    for (const Case &c : cases) {
        g_powerActions.clear();
        log_.Clear();
        WriteList({"$LOG x", c.end});
        RunWalk();
        EXPECT_EQ(c.actions, g_powerActions) << c.end;
        EXPECT_EQ(c.line, log_.Texts().back()) << c.end;
        EXPECT_EQ("(absent)", Entry(1)) << c.end;
    }
}

TEST_F(WalkTest, RebootMarksItselfAndTheNextProcessResumesAfterIt) {
    WriteList({"CMD.EXE /C exit 0", "$Reboot", "$LOG after the restart", "$End Boot"});
    RunWalk();
    EXPECT_EQ(std::vector<UINT>{EWX_REBOOT}, g_powerActions);
    EXPECT_EQ("", Entry(0));
    EXPECT_EQ("", Entry(1));
    EXPECT_EQ("$LOG after the restart", Entry(2));
    EXPECT_EQ("Rebooted", log_.Texts().back());

    // The next QS finds order0 (done), skips the done entries and goes on after $Reboot.
    g_powerActions.clear();
    log_.Clear();
    RunWalk();
    std::vector<std::string> texts = log_.Texts();
    ASSERT_EQ(2u, texts.size());
    EXPECT_EQ("after the restart", texts[0]);
    EXPECT_EQ("Completed.", texts[1]);
    EXPECT_TRUE(g_powerActions.empty());
}

TEST_F(WalkTest, WaitOutOfRangeIsClampedAndLogged) {
    WriteList({"$Wait -5", "$End Boot"});
    RunWalk();
    EXPECT_EQ("$Wait: -5 ms is out of range; waiting 0 ms.", log_.Texts().front());
}

TEST_F(WalkTest, PauseShowsTheTextAndWaitsForOk) {
    WriteList({"$Pause Insert the disk, then press OK.", "$End Boot"});
    RunWalk();
    auto calls = boxes_.calls();
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ("Insert the disk, then press OK.", calls[0].text);
    EXPECT_EQ("Tidewell", calls[0].caption);
    EXPECT_EQ(UINT(MB_ICONINFORMATION), calls[0].type);
}

class RecoveryTest : public WalkTest {
protected:
    std::string Shell() {
        char value[MAX_PATH] = "";
        DWORD size = sizeof value;
        if (RegGetValueA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", "Shell",
                         RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
            return "(absent)";
        return value;
    }
    void SetUp() override {
        WalkTest::SetUp();
        SHDeleteValueA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", "Shell");
    }
};

TEST_F(RecoveryTest, NoToTheFirstQuestionChangesNothing) {
    boxes_.Answer(IDNO);
    errmes();
    ASSERT_EQ(1u, boxes_.calls().size());
    EXPECT_EQ(UINT(MB_ICONERROR | MB_YESNO | MB_DEFBUTTON2), boxes_.calls()[0].type);
    EXPECT_EQ("(absent)", Shell());
    EXPECT_TRUE(g_powerActions.empty());
}

TEST_F(RecoveryTest, WrongUserLogsOff) {
    boxes_.Answer(IDYES);
    boxes_.Answer(IDYES);
    errmes();
    EXPECT_EQ("Recovery Mode", boxes_.calls()[1].caption);
    EXPECT_EQ(std::vector<UINT>{EWX_LOGOFF}, g_powerActions);
    EXPECT_EQ("(absent)", Shell());
}

TEST_F(RecoveryTest, OtherwiseExplorerComesBackAndWindowsRestarts) {
    boxes_.Answer(IDYES);
    boxes_.Answer(IDNO);
    errmes();
    ASSERT_EQ(3u, boxes_.calls().size());
    EXPECT_EQ("QS.EXE trys to recovery Windows shell.", boxes_.calls()[2].text);
    EXPECT_EQ("Explorer.exe", Shell());
    EXPECT_EQ(std::vector<UINT>{EWX_REBOOT}, g_powerActions);
}

// The Wait dialog counts down on its own and closes one tick after showing 0.
TEST_F(WalkTest, CountDownShowsTheSecondsAndClosesByItself) {
    std::string seen;
    bool stop = false;
    std::thread reader([&] {
        for (int i = 0; i < 100 && !stop && seen.empty(); ++i) {
            HWND dialog = FindWindowA("#32770", "Wait - Tidewell");
            char text[128] = "";
            if (dialog) GetDlgItemTextA(dialog, 1183, text, sizeof text);
            if (*text) seen = text;
            Sleep(50);
        }
    });
    DWORD started = GetTickCount();
    CountDown("1,reboot");
    DWORD took = GetTickCount() - started;
    stop = true;
    reader.join();
    EXPECT_EQ("Waiting for 1 seconds to reboot.", seen);
    EXPECT_GE(took, 1500u);
    EXPECT_EQ("Show Countdown Dialog.", log_.Texts().front());
}

// ---- The end of a run: the window thread and the worker -----------------------------------------

std::atomic<bool> g_lastLineWritten{false};
HANDLE g_releaseWorker = nullptr;

// Ends the loop as mainThread does, then takes a while over its last line, as it may on a busy
// machine.
unsigned __stdcall SlowToEndWorker(void *window) {
    SendMessageA(static_cast<HWND>(window), WM_DESTROY, 0, 0);
    Sleep(500);
    TraceLine("QS", 1, "mainThread:90");
    g_lastLineWritten = true;
    return 0;
}

// Ends the loop, then hangs until the test lets it go.
unsigned __stdcall HungWorker(void *window) {
    SendMessageA(static_cast<HWND>(window), WM_DESTROY, 0, 0);
    WaitForSingleObject(g_releaseWorker, 60000);
    return 0;
}

constexpr int kWatchdogCode = 99;
void CALLBACK EndHungLoop(HWND, UINT, UINT_PTR, DWORD) {
    PostQuitMessage(kWatchdogCode);
}

// The QS window on this thread and the worker on its own, as WinMain runs them.
class EndOfRunTest : public WalkTest {
protected:
    void SetUp() override {
        WalkTest::SetUp();
        RegisterQsWindowClass(GetModuleHandleA(nullptr)); // once per process; later calls fail harmlessly
        window_ = CreateQsWindow(GetModuleHandleA(nullptr), 601);
        ASSERT_NE(nullptr, window_);
        SetTraceMode(true);
    }
    void TearDown() override {
        SetTraceMode(false);
        DestroyWindow(window_);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        } // the WM_QUIT the window posted
        WalkTest::TearDown();
    }
    // The message loop with the worker; a watchdog ends a loop whose worker never sends WM_DESTROY.
    int Run(WorkerEntry entry, DWORD timeout) {
        worker_ = StartWorker(entry, window_);
        EXPECT_TRUE(worker_.Valid()) << "the worker did not start";
        if (!worker_) return -1;
        UINT_PTR watchdog = SetTimer(nullptr, 0, 120000, EndHungLoop);
        int code = RunMessageLoop(worker_.Get(), timeout);
        KillTimer(nullptr, watchdog);
        return code;
    }
    HWND window_ = nullptr;
    UniqueHandle worker_;
};

TEST_F(EndOfRunTest, TheWindowThreadReturnsOnlyAfterTheWorkerHasEnded) {
    g_lastLineWritten = false;
    EXPECT_EQ(0, Run(SlowToEndWorker, kWorkerEndTimeout));
    EXPECT_TRUE(g_lastLineWritten) << "the loop returned while the worker was still writing to the log";
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(worker_.Get(), 0));
}

TEST_F(EndOfRunTest, AHungWorkerHoldsTheEndOnlyUntilTheTimeOut) {
    UniqueHandle release(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    g_releaseWorker = release.Get();
    EXPECT_EQ(0, Run(HungWorker, 2000));
    std::vector<std::string> texts = log_.Texts();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ("The worker thread did not end within 2 seconds; QS ends without it.", texts.back());
    SetEvent(release.Get());
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(worker_.Get(), 30000));
}

// A settings key imported from a hand-made .reg file: the pause before commands of 4294967295 ms
// (all bits of the DWORD) is no reason to sleep forever before the first program.
TEST_F(EndOfRunTest, AWholeRunWithTheTraceOnEndsWithTheWorkersLastLineAndNoEndlessPause) {
    REGA key;
    ASSERT_TRUE(OpenSettings(key, OPEN_CREATE));
    key.WriteIntegerA(setting::wait.name, LONG(0xFFFFFFFF));
    key.CloseKey();
    WriteList({"@CMD.EXE /C exit 0", "$LOG ran", "$End Boot"});
    EXPECT_EQ(0, Run(mainThread, kWorkerEndTimeout)) << "the watchdog ended a run that hung";
    std::vector<std::string> texts = log_.Texts();
    EXPECT_NE(texts.end(), std::find(texts.begin(), texts.end(), "wait: -1 ms is out of range; waiting 0 ms."));
    EXPECT_NE(texts.end(), std::find(texts.begin(), texts.end(), "ran"));
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ("mainThread:90", texts.back());
}

} // namespace
