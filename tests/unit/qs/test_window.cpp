// The QS window driven in-process, as the worker drives it: the notification with its alpha, the
// black screen with the cursor, the lift, suspend refused, and the one-run mouse nudge.
#include "QS.h"

#include "language.h"
#include "log_capture.h"
#include "settings.h"

#include <gtest/gtest.h>
#include <shlwapi.h>

namespace {

class QsWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetLanguage(Program::QuietShell, false);
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, kSettingsPath);
        RegisterQsWindowClass(GetModuleHandleA(nullptr)); // once per process; later calls fail harmlessly
    }
    void TearDown() override {
        if (window_) DestroyWindow(window_);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        } // the WM_QUIT the window posted
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, kSettingsPath);
    }
    HWND Create() {
        window_ = CreateQsWindow(GetModuleHandleA(nullptr), 601);
        return window_;
    }
    static RECT Rect(HWND window) {
        RECT rect;
        GetWindowRect(window, &rect);
        return rect;
    }
    // The cursor's show count of this thread, left as it was.
    static int CursorCount() {
        int count = ShowCursor(TRUE) - 1;
        ShowCursor(FALSE);
        return count;
    }
    HWND window_ = nullptr;
    LogCapture log_;
};

TEST_F(QsWindowTest, SuspendIsRefusedAndOtherPowerEventsAccepted) {
    HWND window = Create();
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(BROADCAST_QUERY_DENY, SendMessageA(window, WM_POWERBROADCAST, PBT_APMQUERYSUSPEND, 0));
    EXPECT_EQ(TRUE, SendMessageA(window, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0));
    EXPECT_EQ(0, SendMessageA(window, WM_CLOSE, 0, 0));
    EXPECT_TRUE(IsWindow(window)) << "nobody closes the run from outside";
}

TEST_F(QsWindowTest, MouseNudgeForOneRunIsResetToOff) {
    ASSERT_TRUE(WriteSettingDword(setting::mouselr.name, 2));
    ASSERT_NE(nullptr, Create());
    EXPECT_EQ(0, ReadSettingDword(setting::mouselr.name));
    ASSERT_TRUE(WriteSettingDword(setting::mouselr.name, 1));
    DestroyWindow(window_);
    ASSERT_NE(nullptr, Create());
    EXPECT_EQ(1, ReadSettingDword(setting::mouselr.name)) << "1 stays for every run";
}

TEST_F(QsWindowTest, NotificationFollowsAlphaAndCorner) {
    HWND window = Create();
    WriteSettingDword(setting::alpha.name, 0);
    SendMessageA(window, kQsShowNotice, 0, LPARAM("hidden"));
    EXPECT_FALSE(IsWindowVisible(window)) << "alpha 0 shows nothing";

    WriteSettingDword(setting::alpha.name, 128);
    WriteSettingDword(setting::jama_window.name, 1);
    SendMessageA(window, kQsShowNotice, 0, LPARAM("Please do not touch the PC."));
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_NE(0, GetWindowLongPtrA(window, GWL_EXSTYLE) & WS_EX_LAYERED) << "translucent";
    RECT rect = Rect(window);
    EXPECT_EQ(GetSystemMetrics(SM_CXFULLSCREEN) - 400, rect.left);
    EXPECT_EQ(GetSystemMetrics(SM_CYFULLSCREEN) - 100, rect.top);
    SendMessageA(window, kQsHideNotice, 0, 0);
    EXPECT_FALSE(IsWindowVisible(window));
}

TEST_F(QsWindowTest, BlackScreenHidesTheCursorLiftsAndEnds) {
    HWND window = Create();
    int cursor = CursorCount();
    SendMessageA(window, kQsBlackScreenOn, 0, 0);
    RECT rect = Rect(window);
    EXPECT_EQ(0, rect.left);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), rect.right);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), rect.bottom);
    EXPECT_EQ(cursor - 1, CursorCount());
    EXPECT_EQ(0, GetWindowLongPtrA(window, GWL_EXSTYLE) & WS_EX_LAYERED) << "fully opaque";

    SendMessageA(window, kQsShowNotice, 0, LPARAM("ignored"));
    SendMessageA(window, kQsHideNotice, 0, 0);
    EXPECT_TRUE(IsWindowVisible(window)) << "the notification requests leave the black screen alone";

    SendMessageA(window, kQsLiftBlackScreen, 0, 0);
    rect = Rect(window);
    EXPECT_EQ(32, rect.right - rect.left);
    EXPECT_EQ(cursor, CursorCount()) << "the cursor shows while lifted";
    SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), Rect(window).right) << "a click on the square covers again";
    EXPECT_EQ(cursor - 1, CursorCount());

    SendMessageA(window, kQsBlackScreenOff, 0, 0);
    EXPECT_FALSE(IsWindowVisible(window));
    EXPECT_EQ(400, Rect(window).right - Rect(window).left);
    EXPECT_EQ(cursor, CursorCount());
    std::vector<std::string> texts = log_.Texts();
    EXPECT_EQ((std::vector<std::string>{"Turn on : auxvso.", "Turn off : auxvso."}), texts);
}

TEST(ScanDiskQuestion, EnglishAndJapaneseBeginnings) {
    EXPECT_TRUE(IsScanDiskQuestion("ScanDisk has restarted 10 times because a program wrote to the drive."));
    EXPECT_TRUE(IsScanDiskQuestion("Windows またはその他のプログラムがディスクに書き込みました。"));
    EXPECT_FALSE(IsScanDiskQuestion("ScanDisk has restarted 9 times"));
    EXPECT_FALSE(IsScanDiskQuestion(""));
    EXPECT_EQ(20u, strlen("Windows またはその他")) << "the Japanese beginning is 20 bytes of Shift-JIS";
}

} // namespace
