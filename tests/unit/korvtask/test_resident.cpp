// The resident window driven in-process: the tray icon through the Shell_NotifyIconA seam, the
// taskbar's re-creation, the tray messages, the due-time check with its countdown, the catch-up at
// start and the stop request.
#include "scheduler_fixture.h"

#include "korvane/dialog_driver.h"
#include "resource.h"

namespace {

constexpr UINT_PTR kSchedulerTimer = 64147;
constexpr UINT_PTR kCountdownTimer = 6447;

struct TrayCall {
    DWORD action;
    NOTIFYICONDATAA data;
};
std::vector<TrayCall> g_tray;

BOOL WINAPI FakeNotifyIcon(DWORD action, PNOTIFYICONDATAA data) {
    g_tray.push_back({action, *data});
    return TRUE;
}

std::vector<DWORD> Actions() {
    std::vector<DWORD> actions;
    for (const TrayCall &call : g_tray)
        actions.push_back(call.action);
    return actions;
}

class ResidentTest : public SchedulerTest {
protected:
    void SetUp() override {
        SchedulerTest::SetUp();
        RegisterResidentClass(g_instance); // once per process; later calls fail harmlessly
        previousTray_ = g_shellNotifyIcon;
        g_shellNotifyIcon = FakeNotifyIcon;
        g_tray.clear();
    }
    void TearDown() override {
        if (window_) DestroyWindow(window_);
        Pump(); // and the quit message the window posted
        g_shellNotifyIcon = previousTray_;
        SchedulerTest::TearDown();
    }
    HWND Create() {
        window_ = CreateResidentWindow(g_instance);
        return window_;
    }
    // Runs what is posted to this thread (the catch-up search after creation).
    static bool Pump() {
        bool quit = false;
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) quit = true;
            DispatchMessageA(&message);
        }
        return quit;
    }
    void Tick() { SendMessageA(window_, WM_TIMER, kSchedulerTimer, 0); }
    // Whether the scheduler timer runs (KillTimer tells, and the test sets it again).
    bool SchedulerTimerRuns() {
        bool runs = KillTimer(window_, kSchedulerTimer) != FALSE;
        if (runs) SetTimer(window_, kSchedulerTimer, 2000, nullptr);
        return runs;
    }
    HWND window_ = nullptr;
    decltype(g_shellNotifyIcon) previousTray_ = nullptr;
    ScopedStarts starts_;
};

TEST(TrayRule, AddsAndRemovesAsTrayIconSays) {
    struct Case {
        bool removing, opened;
        LONG trayIcon;
        bool shown;
        TrayAction action;
    };
    const Case cases[] = {
        {false, true, 1, false, TrayAction::Add},   {false, true, 1, true, TrayAction::None},
        {false, true, 0, true, TrayAction::Delete}, {false, true, 2, true, TrayAction::Delete},
        {false, true, 0, false, TrayAction::None},  {false, false, 0, true, TrayAction::Delete},
        {false, false, 0, false, TrayAction::None}, {true, false, 0, true, TrayAction::Delete},
        {true, false, 0, false, TrayAction::None},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.action, DecideTrayAction(c.removing, c.opened, c.trayIcon, c.shown))
            << c.removing << c.opened << c.trayIcon << c.shown;
}

TEST_F(ResidentTest, TheIconFollowsTrayIconAndGoesAtTheEnd) {
    WriteSchedulerDword(schedval::kTrayIcon, 1);
    ASSERT_NE(nullptr, Create());
    EXPECT_FALSE(IsWindowVisible(window_));
    char className[64] = "";
    GetClassNameA(window_, className, sizeof className);
    EXPECT_STREQ("korvane_task_sr", className);
    ASSERT_EQ(std::vector<DWORD>{NIM_ADD}, Actions());
    const NOTIFYICONDATAA &added = g_tray[0].data;
    EXPECT_EQ(sizeof(NOTIFYICONDATAA), added.cbSize);
    EXPECT_EQ(window_, added.hWnd);
    EXPECT_EQ(18972u, added.uID);
    EXPECT_EQ(UINT(NIF_MESSAGE | NIF_ICON | NIF_TIP), added.uFlags);
    EXPECT_EQ(UINT(WM_USER), added.uCallbackMessage);
    // Loaded as a shared image, the same resource at the same size is the same handle.
    EXPECT_EQ(LoadImageA(g_instance, MAKEINTRESOURCEA(107), IMAGE_ICON, 64, 64, LR_SHARED), added.hIcon)
        << "the program icon, resource 107";
    EXPECT_NE(nullptr, added.hIcon);
    EXPECT_STREQ("Tidewell scheduler", added.szTip);

    WriteSchedulerDword(schedval::kTrayIcon, 0);
    Tick();
    WriteSchedulerDword(schedval::kTrayIcon, 1);
    Tick();
    Tick();
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, kSchedulerKey);
    Tick(); // a key that cannot be opened removes the icon
    WriteSchedulerDword(schedval::kTrayIcon, 1);
    Tick();
    SendMessageA(window_, WM_DESTROY, 0, 0); // the stop request
    EXPECT_EQ((std::vector<DWORD>{NIM_ADD, NIM_DELETE, NIM_ADD, NIM_DELETE, NIM_ADD, NIM_DELETE}), Actions());
    EXPECT_EQ(18972u, g_tray.back().data.uID);
    EXPECT_TRUE(Pump()) << "the stop request ends the message loop";
}

TEST_F(ResidentTest, ANewTaskbarGetsTheIconBack) {
    WriteSchedulerDword(schedval::kTrayIcon, 1);
    ASSERT_NE(nullptr, Create());
    SendMessageA(window_, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_EQ((std::vector<DWORD>{NIM_ADD, NIM_ADD}), Actions());

    WriteSchedulerDword(schedval::kTrayIcon, 0);
    Tick();
    SendMessageA(window_, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_EQ((std::vector<DWORD>{NIM_ADD, NIM_ADD, NIM_DELETE}), Actions()) << "no icon wanted, none added";
}

TEST_F(ResidentTest, KeepsSchedulingAfterALaunch) {
    WriteSchedulerDword(schedval::kTrayIcon, 1);
    DueNow();
    ASSERT_NE(nullptr, Create());
    Pump();
    EXPECT_TRUE(SchedulerTimerRuns());
    DialogDriver countdown("Tidewell scheduler", [](HWND dialog) {
        for (int i = 0; i < 25 && IsWindow(dialog); ++i)
            SendMessageA(dialog, WM_TIMER, kCountdownTimer, 0);
    });
    Tick();
    ASSERT_TRUE(countdown.Join()) << "the set minute shows the countdown";
    EXPECT_EQ(std::vector<std::string>{"KORVANE.EXE|/A"}, starts_.Lines());
    EXPECT_NE(0u, StoredLastTime());
    EXPECT_TRUE(SchedulerTimerRuns()) << "after a launch the resident goes on";
    EXPECT_EQ(std::vector<DWORD>{NIM_ADD}, Actions()) << "and keeps its icon";

    DialogDriver none(
        "Tidewell scheduler", [](HWND dialog) { SendMessageA(dialog, WM_COMMAND, IDCANCEL, 0); }, 1000);
    Tick();
    EXPECT_FALSE(none.Join()) << "no second countdown in the same minute";
}

TEST_F(ResidentTest, ACatchUpStartShowsTheCountdownAtOnce) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    WallTime passed = WallTimeOf(now) - 75 * kTicksPerMinute;
    FILETIME file = {DWORD(passed), DWORD(passed >> 32)};
    SYSTEMTIME set;
    FileTimeToSystemTime(&file, &set);
    WriteSchedulerDword(schedval::kTimeHour, set.wHour);
    WriteSchedulerDword(schedval::kTimeMin, set.wMinute);
    WriteSchedulerDword(schedval::kKind, kKindEveryDay);
    WriteSchedulerDword(schedval::kSnooze, 1);
    WriteSchedulerDword(schedval::kSnoozeTime, 90);
    DialogDriver countdown("Tidewell scheduler", [](HWND dialog) { DialogDriver::Click(dialog, IDC_CD_CANCEL); });
    ASSERT_NE(nullptr, Create());
    Pump();
    ASSERT_TRUE(countdown.Join());
    EXPECT_TRUE(starts_.starts().empty()) << "cancelled";
    EXPECT_EQ(passed / kTicksPerMinute, StoredLastTime() / kTicksPerMinute) << "the passed set time is recorded";
    EXPECT_TRUE(SchedulerTimerRuns());
}

TEST_F(ResidentTest, AStopRequestDuringTheCountdownEndsTheResident) {
    WriteSchedulerDword(schedval::kTrayIcon, 1);
    DueNow();
    ASSERT_NE(nullptr, Create());
    Pump();
    HWND resident = window_;
    DialogDriver countdown("Tidewell scheduler", [resident](HWND) { SendMessageA(resident, WM_DESTROY, 0, 0); });
    Tick();
    ASSERT_TRUE(countdown.Join());
    EXPECT_TRUE(starts_.starts().empty());
    EXPECT_FALSE(SchedulerTimerRuns()) << "an ending resident schedules nothing more";
    EXPECT_EQ((std::vector<DWORD>{NIM_ADD, NIM_DELETE}), Actions());
    EXPECT_TRUE(Pump());
}

} // namespace
