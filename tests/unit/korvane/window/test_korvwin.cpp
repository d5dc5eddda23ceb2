// The main window: the ring of buttons, its place on the screen, the screen that `mode` brings
// back, the switch to normal mode, and the background music's MCI commands.
#include "window/korvwin.h"
#include "window/normal.h"

#include "main_window_session.h"
#include "planner_fixture.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// ---- The ring -----------------------------------------------------------------------------------

TEST(ButtonRing, MovesToTheNextUsableSlotAndWraps) {
    const int normal = 0, wizard = 1, answer1 = 2, exitSlot = 7, help = 8, about = 9;
    bool modeSelection[kRingSlots] = {true, true, false, false, false, false, false, true, true, true};
    struct Case {
        int from;
        bool backwards;
        int expected;
    } cases[] = {
        {normal, false, wizard}, {wizard, false, exitSlot}, // the five empty answer slots are skipped
        {about, false, normal},  {normal, true, about},     {exitSlot, true, wizard},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.expected, NextRingSlot(modeSelection, c.from, c.backwards))
            << "from " << c.from << (c.backwards ? " backwards" : "");

    bool wizardPage[kRingSlots] = {true, false, true, true, true, false, true, true, true, true};
    EXPECT_EQ(answer1, NextRingSlot(wizardPage, normal, false)) << "a disabled wizard button is skipped";
    EXPECT_EQ(answer1 + 4, NextRingSlot(wizardPage, answer1 + 2, false)) << "a disabled answer is skipped";

    bool alone[kRingSlots] = {false, false, false, false, false, false, false, false, true, false};
    EXPECT_EQ(help, NextRingSlot(alone, help, false)) << "the only usable button keeps the focus";
    bool none[kRingSlots] = {};
    EXPECT_EQ(-1, NextRingSlot(none, normal, false));
    EXPECT_EQ(-1, RingSlotOf(IDOK));
    EXPECT_EQ(about, RingSlotOf(IDC_MAIN_ABOUT));
}

TEST(MainWindowPlacement, CentresTheClientAreaAndAddsFramesAndCaption) {
    WindowPlacement place = CentredPlacement({593, 401}, {1280, 1000}, {3, 3}, 19);
    EXPECT_EQ(343, place.x);
    EXPECT_EQ(299, place.y);
    EXPECT_EQ(599, place.width);
    EXPECT_EQ(426, place.height);
    WindowPlacement small = CentredPlacement({593, 401}, {500, 300}, {3, 3}, 19);
    EXPECT_EQ(0, small.x) << "a screen too small puts the window at its left edge";
    EXPECT_EQ(0, small.y);
}

TEST(StoredMode, NormalModeAndTheWizardComeBackAndEverythingElseStartsAtTheModeSelection) {
    EXPECT_EQ(kScreenNormal, ScreenOfStoredMode(1));
    EXPECT_EQ(IDC_MAIN_NORMAL, InitialScreenCommand(ScreenOfStoredMode(1)));
    for (LONG mode : {21L, 22L, 41L, 50L}) {
        EXPECT_EQ(kScreenWizard, ScreenOfStoredMode(mode)) << "any wizard state opens the first page: " << mode;
        EXPECT_EQ(IDC_MAIN_WIZARD, InitialScreenCommand(ScreenOfStoredMode(mode))) << mode;
    }
    for (LONG mode : {0L, 2L, 20L, 51L, -1L}) {
        EXPECT_EQ(kScreenModeSelection, ScreenOfStoredMode(mode)) << mode;
        EXPECT_EQ(0, InitialScreenCommand(ScreenOfStoredMode(mode))) << mode;
    }
}

// ---- Background music ---------------------------------------------------------------------------

std::vector<std::string> g_mciCommands;
HWND g_mciNotified = nullptr;

MCIERROR WINAPI RecordMci(LPCSTR command, LPSTR, UINT, HWND notify) {
    g_mciCommands.push_back(command);
    if (notify) g_mciNotified = notify;
    return std::string(command).find("missing") != std::string::npos ? MCIERR_FILE_NOT_FOUND : 0;
}

class MusicTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = g_mciSend;
        g_mciSend = RecordMci;
        g_mciCommands.clear();
    }
    void TearDown() override {
        StopBackgroundMusic();
        g_mciSend = saved_;
    }
    MciSendFunction saved_ = nullptr;
};

TEST_F(MusicTest, PlaysOnceLoopsAtTheEndAndStops) {
    HWND owner = reinterpret_cast<HWND>(0x1234);
    PlayBackgroundMusic("C:\\Themes\\My Theme\\bgm.mid", owner);
    PlayBackgroundMusic("c:\\themes\\my theme\\BGM.MID", owner);
    OnMusicNotify(MCI_NOTIFY_ABORTED, owner);
    OnMusicNotify(MCI_NOTIFY_SUCCESSFUL, owner);
    PlayBackgroundMusic("C:\\other.mid", owner);
    StopBackgroundMusic();
    StopBackgroundMusic();
    std::vector<std::string> expected = {
        "open \"C:\\Themes\\My Theme\\bgm.mid\"",
        "play \"C:\\Themes\\My Theme\\bgm.mid\" notify", // the same piece again changes nothing
        "stop \"C:\\Themes\\My Theme\\bgm.mid\"",        // only a piece that ended plays again
        "play \"C:\\Themes\\My Theme\\bgm.mid\" from 0 notify",
        "stop \"C:\\Themes\\My Theme\\bgm.mid\"",
        "close \"C:\\Themes\\My Theme\\bgm.mid\"",
        "open \"C:\\other.mid\"",
        "play \"C:\\other.mid\" notify",
        "stop \"C:\\other.mid\"",
        "close \"C:\\other.mid\"",
    };
    EXPECT_EQ(expected, g_mciCommands);
    EXPECT_EQ(owner, g_mciNotified);
    EXPECT_TRUE(BackgroundMusicPath().empty());
}

TEST_F(MusicTest, AFileThatCannotBeOpenedIsNotRemembered) {
    PlayBackgroundMusic("C:\\missing.mid", nullptr);
    EXPECT_TRUE(BackgroundMusicPath().empty());
    StopBackgroundMusic();
    EXPECT_EQ(std::vector<std::string>{"open \"C:\\missing.mid\""}, g_mciCommands) << "nothing to stop or close";
}

// ---- The window ---------------------------------------------------------------------------------

class MainWindowTest : public PlannerTest {};

TEST_F(MainWindowTest, FirstStartShowsTheModeSelectionWithTheRingOnTheNormalModeButton) {
    MainWindowSession session;
    session.Run([](MainWindowSession &s) {
        HWND window = s.window();
        EXPECT_EQ(kScreenModeSelection, MainScreenState());
        EXPECT_EQ(nullptr, s.panel());
        EXPECT_EQ(nullptr, GetMenu(window));
        EXPECT_TRUE(MainWindowSession::WaitFor([&] { return s.Focus() == s.Button(IDC_MAIN_NORMAL); }))
            << "the normal-mode button has the focus";
        RECT client;
        GetClientRect(window, &client);
        EXPECT_EQ(ScaleX(kMainWidth), client.right);
        EXPECT_EQ(ScaleY(kMainHeight), client.bottom);
        LONG_PTR style = GetWindowLongPtrA(window, GWL_STYLE);
        EXPECT_FALSE(style & (WS_THICKFRAME | WS_MAXIMIZEBOX)) << "neither resized nor maximised";
        EXPECT_TRUE(style & WS_MINIMIZEBOX);
        EXPECT_EQ("Tidewell", MainWindowSession::Text(window));

        // Tab walks the buttons that can take the focus and wraps; the arrows do the same.
        std::vector<HWND> walk;
        for (int i = 0; i < 5; ++i) {
            HWND before = s.Focus();
            s.Key(VK_TAB);
            MainWindowSession::WaitFor([&] { return s.Focus() != before; });
            walk.push_back(s.Focus());
        }
        std::vector<HWND> expected = {s.Button(IDC_MAIN_WIZARD), s.Button(IDC_MAIN_EXIT), s.Button(IDC_MAIN_HELP),
                                      s.Button(IDC_MAIN_ABOUT), s.Button(IDC_MAIN_NORMAL)};
        EXPECT_EQ(expected, walk);
        s.Key(VK_UP);
        EXPECT_TRUE(MainWindowSession::WaitFor([&] { return s.Focus() == s.Button(IDC_MAIN_ABOUT); }));
        s.Key(VK_DOWN);
        EXPECT_TRUE(MainWindowSession::WaitFor([&] { return s.Focus() == s.Button(IDC_MAIN_NORMAL); }));
        s.Key(VK_UP);
        EXPECT_TRUE(MainWindowSession::WaitFor([&] { return s.Focus() == s.Button(IDC_MAIN_ABOUT); }))
            << "up from the first button wraps to the last usable one";
        EXPECT_EQ(0, ReadSettingDword(setting::mode.name)) << "the mode selection stores nothing";
    });
}

TEST_F(MainWindowTest, NormalModeReplacesTheButtonsByThePanelAndIsRemembered) {
    MainWindowSession session;
    session.Run([](MainWindowSession &s) {
        s.Command(IDC_MAIN_NORMAL);
        ASSERT_NE(nullptr, s.panel());
        EXPECT_EQ(kScreenNormal, MainScreenState());
        EXPECT_EQ(1, ReadSettingDword(setting::mode.name));
        EXPECT_EQ(g_normalMenu, GetMenu(s.window()));
        for (int id : {IDC_MAIN_NORMAL, IDC_MAIN_WIZARD, IDC_MAIN_EXIT, IDC_MAIN_HELP, IDC_MAIN_ABOUT})
            EXPECT_FALSE(IsWindowVisible(s.Button(id))) << id;
        RECT client, panel;
        GetClientRect(s.window(), &client);
        GetClientRect(s.panel(), &panel);
        EXPECT_EQ(panel.right, client.right) << "the client area fits the panel";
        EXPECT_EQ(panel.bottom, client.bottom);
        EXPECT_TRUE(IsChild(s.panel(), s.Focus())) << "the panel has the keyboard";

        // Normal mode again (a second 102) keeps the one panel.
        HWND first = s.panel();
        s.Command(IDC_MAIN_NORMAL);
        EXPECT_EQ(first, s.panel());
        // The wizard replaces the panel by its buttons; normal mode brings one panel back.
        s.Command(IDC_MAIN_WIZARD);
        EXPECT_EQ(nullptr, s.panel());
        EXPECT_EQ(nullptr, GetMenu(s.window()));
        EXPECT_EQ(21, ReadSettingDword(setting::mode.name));
        EXPECT_TRUE(IsWindowVisible(s.Button(IDC_MAIN_ANSWER1)));
        s.Command(IDC_MAIN_NORMAL);
        EXPECT_NE(nullptr, s.panel());
        EXPECT_EQ(nullptr, s.Button(IDC_MAIN_ANSWER1)) << "the answer buttons go with the wizard";
    });
    EXPECT_EQ(nullptr, g_normalPanel) << "the panel goes with the window";
    EXPECT_EQ(nullptr, g_mainWindow);
}

TEST_F(MainWindowTest, AStoredNormalModeOpensThePanelAndExitEndsTheWindow) {
    WriteSettingDword(setting::mode.name, 1);
    MainWindowSession session;
    session.Run([](MainWindowSession &s) {
        EXPECT_NE(nullptr, s.panel());
        EXPECT_EQ(kScreenNormal, MainScreenState());
        s.Click(s.Item(IDC_MAIN_EXIT));
        // Hiding a top-level window without a window manager takes Wine up to two seconds.
        EXPECT_TRUE(MainWindowSession::WaitFor([&] { return !IsWindow(s.window()); }, 10000))
            << "Exit closes the window";
    });
}

TEST_F(MainWindowTest, AStoredWizardStateOpensTheWizardAtItsFirstPage) {
    WriteSettingDword(setting::mode.name, 33);
    MainWindowSession session;
    session.Run([](MainWindowSession &s) {
        EXPECT_EQ(kScreenWizard, MainScreenState());
        EXPECT_EQ(nullptr, s.panel());
        EXPECT_TRUE(IsWindowVisible(s.Button(IDC_MAIN_NORMAL)));
        EXPECT_FALSE(IsWindowEnabled(s.Button(IDC_MAIN_WIZARD)));
        EXPECT_TRUE(IsWindowVisible(s.Button(IDC_MAIN_ANSWER1)));
        EXPECT_EQ(21, ReadSettingDword(setting::mode.name));
    });
}

} // namespace
