// The wizard mode: its page table and answers, the buttons of each page by Windows version, the
// answer history and the list of the answers, what a page shows with a theme, help, the AVG choices,
// and the wizard on the main window answered through its buttons as a user would.
#include "window/wizardm.h"
#include "window/korvwin.h"
#include "dialogs/alogon.h"

#include "dialog_driver.h"
#include "drop_files.h"
#include "key_access.h"
#include "main_window_session.h"
#include "planner_fixture.h"
#include "resource.h"
#include "system_state.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

// ---- Pages and answers --------------------------------------------------------------------------

TEST(WizardPages, EveryPageHasItsTextsAndHelpInBothLanguages) {
    for (int page : {21, 22, 23, 24, 25, 26, 29, 31, 32, 33, 41}) {
        const WizardPage *found = FindWizardPage(page);
        ASSERT_NE(nullptr, found) << page;
        for (bool japanese : {false, true}) {
            SetLanguage(Program::Korvane, japanese);
            EXPECT_STRNE("", found->title.Get()) << page;
            EXPECT_STRNE("", found->question.Get()) << page;
            EXPECT_STRNE("", BuiltInButtonText(page, 1, 501)) << page;
        }
        SetLanguage(Program::Korvane, false);
        EXPECT_EQ(0u, BuiltInHelp(page).find("korvane.hlp,")) << page;
    }
    for (int state : {0, 1, 20, 27, 30, 50})
        EXPECT_EQ(nullptr, FindWizardPage(state)) << state;
    EXPECT_EQ("korvane.hlp,157", BuiltInHelp(41));
    EXPECT_STREQ("", BuiltInButtonText(22, 3, 501)) << "an empty button";
    EXPECT_STREQ("Defragment", BuiltInButtonText(21, 1, 601));
    EXPECT_STREQ("Optimization", BuiltInButtonText(21, 1, 602));
    EXPECT_STREQ("Optimization after Checking Disks", BuiltInButtonText(21, 3, 1000));
    EXPECT_STREQ("Checking Disks", BuiltInButtonText(21, 2, 1000));
}

TEST(WizardPages, ButtonsOnEnteringAPageFollowThePageAndTheWindowsVersion) {
    struct Case {
        int page;
        unsigned short version;
        const char *enabled; // one character per button
        int focus;
    } cases[] = {
        {21, 501, "11111", 1}, {22, 501, "11001", 2},  {23, 1000, "11001", 2}, {29, 501, "11001", 2},
        {31, 501, "10111", 3}, {31, 600, "10111", 3},  {31, 601, "10101", 3},  {31, 603, "10101", 3},
        {31, 604, "00101", 3}, {31, 1000, "00101", 3}, {32, 501, "11001", 1},  {33, 1000, "11001", 1},
        {41, 501, "11011", 1},
    };
    for (const Case &c : cases) {
        PageButtons buttons = ButtonsOnEntry(c.page, c.version);
        std::string enabled;
        for (bool on : buttons.enabled)
            enabled += on ? '1' : '0';
        EXPECT_EQ(c.enabled, enabled) << c.page << " on " << c.version;
        EXPECT_EQ(c.focus, buttons.focus) << c.page << " on " << c.version;
    }
}

TEST(WizardPages, EachAnswerWritesItsValueAndLeadsToItsPage) {
    struct Case {
        int page, button;
        LONG selected;
        AnswerAction action;
        const char *value;
        LONG number;
        int next;
    } cases[] = {
        {21, 1, 0, AnswerAction::Store, "Selected", 0, 22},
        {21, 3, 0, AnswerAction::Store, "Selected", 2, 22},
        {21, 4, 0, AnswerAction::Store, "Selected", 3, 23},
        {21, 5, 0, AnswerAction::Customize, nullptr, 0, 0},
        {22, 1, 0, AnswerAction::Store, "Drives", 0, 24},
        {22, 2, 0, AnswerAction::ChooseDrives, nullptr, 0, 24},
        {22, 5, 0, AnswerAction::Back, nullptr, 0, 0},
        {23, 1, 3, AnswerAction::ClearCommands, nullptr, 0, 31},
        {23, 2, 3, AnswerAction::ChoosePrograms, nullptr, 0, 31},
        {24, 1, 0, AnswerAction::Store, "DelTrash", 1, 25},
        {24, 2, 0, AnswerAction::Store, "DelTrash", 0, 25},
        {25, 1, 0, AnswerAction::Store, "DelTemp", 1, 26},
        {26, 2, 0, AnswerAction::Store, "Del_ITF", 0, 31},
        {26, 1, 1, AnswerAction::Store, "Del_ITF", 1, 29},
        {26, 2, 2, AnswerAction::Store, "Del_ITF", 0, 29},
        {26, 2, 3, AnswerAction::Store, "Del_ITF", 0, 31},
        {29, 1, 1, AnswerAction::Store, "CluScan", 1, 31},
        {31, 1, 0, AnswerAction::Store, "How", 0, 32},
        {31, 3, 0, AnswerAction::Store, "How", 2, 32},
        {31, 4, 0, AnswerAction::AskOldWindows, nullptr, 0, 32},
        {32, 1, 0, AnswerAction::Store, "PowerOff", 0, 33},
        {32, 2, 0, AnswerAction::Store, "PowerOff", 1, 33},
        {33, 1, 0, AnswerAction::Store, "NotAutoPowerOff", 0, 41},
        {33, 2, 0, AnswerAction::Store, "NotAutoPowerOff", 1, 41},
        {41, 1, 0, AnswerAction::Start, nullptr, 0, 0},
        {41, 2, 0, AnswerAction::CheckItems, nullptr, 0, 0},
        {41, 3, 0, AnswerAction::None, nullptr, 0, 0},
        {41, 4, 0, AnswerAction::FirstQuestion, nullptr, 0, 21},
        {41, 5, 0, AnswerAction::Back, nullptr, 0, 0},
        {24, 3, 0, AnswerAction::None, nullptr, 0, 0},
        {50, 1, 0, AnswerAction::None, nullptr, 0, 0},
        {21, 6, 0, AnswerAction::None, nullptr, 0, 0},
    };
    for (const Case &c : cases) {
        AnswerRule rule = AnswerRuleOf(c.page, c.button, c.selected);
        std::string where = std::to_string(c.page) + "/" + std::to_string(c.button);
        EXPECT_EQ(static_cast<int>(c.action), static_cast<int>(rule.action)) << where;
        if (c.action == AnswerAction::Store) {
            EXPECT_STREQ(c.value, rule.value) << where;
            EXPECT_EQ(c.number, rule.number) << where;
        }
        if (c.next) {
            EXPECT_EQ(c.next, rule.next) << where;
        }
    }
    EXPECT_EQ(2, OldWindowsHow(true));
    EXPECT_EQ(3, OldWindowsHow(false));
}

// ---- History and the list of answers -----------------------------------------------------------

TEST(WizardHistory, BoundedAndBackOnAnEmptyHistoryGoesToTheFirstPage) {
    AnswerHistory history;
    EXPECT_EQ(21, history.Back());
    for (size_t i = 0; i < kAnswerHistoryLimit; ++i)
        EXPECT_TRUE(history.Append(22, static_cast<int>(i % 5) + 1));
    EXPECT_FALSE(history.Append(41, 2)) << "a full history refuses the 49th";
    EXPECT_EQ(kAnswerHistoryLimit, history.Entries().size());
    EXPECT_EQ(22, history.Back());
    EXPECT_TRUE(history.Append(24, 1));
    EXPECT_EQ(24, history.Back());
    history.Clear();
    EXPECT_EQ(21, history.Back());
}

TEST(WizardHistory, TheListOfAnswersSeparatesLongTitlesWithABlank) {
    auto title = [](int page) {
        return page == 26 ? std::string("Cache files of Internet Explorer") : std::string(page == 22 ? 21 : 22, 'T');
    };
    auto button = [](int page, int number) { return "B" + std::to_string(page) + "." + std::to_string(number); };
    EXPECT_EQ("", SetupItemsText({}, title, button));
    EXPECT_EQ(std::string(21, 'T') + "\t: B22.2", SetupItemsText({{22, 2}}, title, button)) << "21 characters: a tab";
    EXPECT_EQ(std::string(22, 'T') + " : B24.1\nCache files of Internet Explorer : B26.2",
              SetupItemsText({{24, 1}, {26, 2}}, title, button));

    // A long history of long texts is one string of the length it needs.
    std::vector<WizardAnswer> many(kAnswerHistoryLimit, {22, 1});
    std::string long_text = SetupItemsText(
        many, [](int) { return std::string(300, 'x'); }, [](int, int) { return std::string(300, 'y'); });
    EXPECT_EQ(kAnswerHistoryLimit * 603 + kAnswerHistoryLimit - 1, long_text.size());
}

// ---- What a page shows --------------------------------------------------------------------------

TEST(WizardPageView, BuiltInTextsThemeValuesAndScripts) {
    SetLanguage(Program::Korvane, false);
    auto reader = [](const char *file, std::string *bytes) {
        *bytes = ":t\n$echo From the script\n";
        return strcmp(file, "s.txt") == 0;
    };
    PageView builtIn = BuildPageView(21, nullptr, 1000, reader);
    EXPECT_EQ("Wizard mode", builtIn.title);
    EXPECT_EQ(0u, builtIn.text.find("In wizard mode"));
    EXPECT_EQ("Optimization", builtIn.buttons[0]);
    EXPECT_EQ("Customizing", builtIn.buttons[4]);
    EXPECT_EQ("korvane.hlp,144", builtIn.help);
    EXPECT_EQ("", builtIn.bitmap);

    ThemePage theme;
    theme.title = "My title";
    theme.text = ":t@s.txt";
    theme.buttons[1] = "Two";
    theme.buttons[2] = ":missing@s.txt";
    theme.bitmap = "pic.bmp";
    theme.help = "notepad.exe help.txt";
    PageView themed = BuildPageView(22, &theme, 501, reader);
    EXPECT_EQ("My title", themed.title);
    EXPECT_EQ("From the script\\r", themed.text);
    EXPECT_EQ("All Hard Disk Drives (Recommend)", themed.buttons[0]);
    EXPECT_EQ("Two", themed.buttons[1]);
    EXPECT_EQ(":missing@s.txt", themed.buttons[2]) << "a label that is not found leaves the value";
    EXPECT_EQ("Back", themed.buttons[4]);
    EXPECT_EQ("pic.bmp", themed.bitmap);
    EXPECT_EQ("notepad.exe help.txt", themed.help);
    EXPECT_FALSE(themed.state.enabled[2]) << "a theme's text does not enable a button";
}

TEST(WizardPageView, HelpIsATopicOrTheThemesCommandLine) {
    struct Case {
        const char *help;
        bool topic;
        const char *target;
    } cases[] = {
        {"korvane.hlp,144", true, "HLP000144.html"},
        {"KORVANE.HLP,7", true, "HLP000007.html"},
        {"", true, "HLP000001.html"},
        {"notepad.exe theme.txt", false, "notepad.exe theme.txt"},
        {"korvane.hlp,", false, "korvane.hlp,"},
    };
    for (const Case &c : cases) {
        HelpAction action = WizardHelpAction(c.help);
        EXPECT_EQ(c.topic, action.topic) << c.help;
        EXPECT_EQ(c.target, action.target) << c.help;
    }
}

TEST(WizardAvg, ChoicesAreTheEnabledButtonsOneLineEach) {
    PageButtons buttons = ButtonsOnEntry(22, 501); // 1, 2 and 5
    std::vector<AvgChoice> choices = AvgChoiceFrames({593, 401}, 18, buttons);
    ASSERT_EQ(3u, choices.size());
    EXPECT_EQ(1, choices[0].button);
    EXPECT_EQ(5, choices[2].button);
    EXPECT_EQ(22, choices[0].frame.left);
    EXPECT_EQ(571, choices[0].frame.right);
    EXPECT_EQ(401 - 159 - 2, choices[0].frame.top);
    EXPECT_EQ(choices[0].frame.top + 21, choices[1].frame.top) << "the font height plus 3";
    EXPECT_EQ(1, AvgChoiceAt(choices, {300, 401 - 159 + 5}));
    EXPECT_EQ(5, AvgChoiceAt(choices, {30, choices[2].frame.top + 3}));
    EXPECT_EQ(0, AvgChoiceAt(choices, {10, 401 - 159 + 5})) << "left of the frames";
    EXPECT_EQ(0, AvgChoiceAt(choices, {300, 100}));
}

// ---- The wizard on the main window -------------------------------------------------------------

class WizardTest : public PlannerTest {
protected:
    void SetUp() override {
        PlannerTest::SetUp();
        savedExtractor_ = g_themeExtractor;
        char folder[MAX_PATH];
        GetCurrentDirectoryA(sizeof folder, folder);
        previousFolder_ = folder;
        // The program folder of these tests: themes and installations land here.
        folder_ = MakeScratchFolder();
        ASSERT_FALSE(folder_.empty());
        SetCurrentDirectoryA(folder_.c_str());
        WriteSettingDword(setting::mode.name, 21);
        WriteSettingDword(setting::CreateRestorePoint.name, 0);
        g_windowsVersion = 501;
    }
    void TearDown() override {
        g_themeExtractor = savedExtractor_;
        SetCurrentDirectoryA(previousFolder_.c_str());
        RemoveFolderTree(folder_);
        PlannerTest::TearDown();
    }

    static void Press(MainWindowSession &s, int button) { s.Click(s.Button(IDC_MAIN_ANSWER1 + button - 1)); }
    static std::string ButtonText(MainWindowSession &s, int button) {
        return MainWindowSession::Text(s.Button(IDC_MAIN_ANSWER1 + button - 1));
    }
    static bool Enabled(MainWindowSession &s, int id) { return IsWindowEnabled(s.Button(id)) != FALSE; }
    static void Drop(MainWindowSession &s, const std::string &path) {
        SendMessageA(s.window(), WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({path})), 0);
    }
    void WriteFile(const std::string &name, const std::string &bytes) const {
        std::ofstream(folder_ + name, std::ios::binary) << bytes;
    }
    bool FileThere(const std::string &name) const {
        return GetFileAttributesA((folder_ + name).c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    static std::string Inifile() {
        REGA key;
        if (!OpenSettings(key, OPEN_READONLY)) return "(no key)";
        int exists = key.ValueExistA(setting::inifile.name);
        std::string text = exists < 0 ? "(none)" : ReadTextSetting(key, setting::inifile);
        key.CloseKey();
        return text;
    }

    std::string folder_;

private:
    std::string previousFolder_;
    ThemeExtractor savedExtractor_ = nullptr;
};

TEST_F(WizardTest, EnteringTheWizardShowsTheFirstPageWithItsRowOfModeButtons) {
    WriteSettingDword(setting::mode.name, 0);
    MainWindowSession session;
    session.Run([this](MainWindowSession &s) {
        s.Command(IDC_MAIN_WIZARD);
        EXPECT_EQ(21, MainScreenState());
        EXPECT_EQ(21, ReadSettingDword(setting::mode.name));
        EXPECT_EQ("Defragment", ButtonText(s, 1));
        EXPECT_EQ("Customizing", ButtonText(s, 5));
        EXPECT_EQ("Normal mode", MainWindowSession::Text(s.Button(IDC_MAIN_NORMAL)));
        EXPECT_EQ("Wizard mode", MainWindowSession::Text(s.Button(IDC_MAIN_WIZARD)));
        EXPECT_FALSE(Enabled(s, IDC_MAIN_WIZARD));
        EXPECT_TRUE(Enabled(s, IDC_MAIN_NORMAL) && Enabled(s, IDC_MAIN_EXIT) && Enabled(s, IDC_MAIN_HELP));
        RECT row, client;
        GetWindowRect(s.Button(IDC_MAIN_EXIT), &row);
        MapWindowPoints(nullptr, s.window(), reinterpret_cast<POINT *>(&row), 2);
        GetClientRect(s.window(), &client);
        EXPECT_EQ(ScaleY(kMainHeight - 31), row.top);
        EXPECT_EQ(ScaleX(290), row.left);
        EXPECT_EQ(ScaleX(kMainWidth), client.right);
        EXPECT_EQ(ScaleY(kMainHeight), client.bottom);
        EXPECT_TRUE(MainWindowSession::WaitFor([&] { return s.Focus() == s.Button(IDC_MAIN_ANSWER1); }));

        // The ring: from the first answer down through the answers to Exit, skipping the disabled.
        Press(s, 1);
        EXPECT_EQ(22, MainScreenState());
        EXPECT_TRUE(MainWindowSession::WaitFor([&] { return s.Focus() == s.Button(IDC_MAIN_ANSWER1 + 1); }));
        EXPECT_EQ("", ButtonText(s, 3)) << "an empty button";
        EXPECT_TRUE(IsWindowVisible(s.Button(IDC_MAIN_ANSWER1 + 2))) << "stays visible";
        s.Key(VK_DOWN);
        EXPECT_TRUE(MainWindowSession::WaitFor([&] { return s.Focus() == s.Button(IDC_MAIN_ANSWER5); }));
        s.Key(VK_TAB);
        EXPECT_TRUE(MainWindowSession::WaitFor([&] { return s.Focus() == s.Button(IDC_MAIN_EXIT); }));
    });
}

TEST_F(WizardTest, DefragmentWalksThroughTheCleanUpPagesWithoutCheckDisk) {
    MainWindowSession session;
    std::vector<int> pages;
    session.Run([&](MainWindowSession &s) {
        for (int button : {1, 1, 2, 1, 2, 3, 1, 1}) {
            pages.push_back(MainScreenState());
            Press(s, button);
        }
        pages.push_back(MainScreenState());
        EXPECT_EQ("Start!", ButtonText(s, 1));
    });
    EXPECT_EQ((std::vector<int>{21, 22, 24, 25, 26, 31, 32, 33, 41}), pages);
    struct Value {
        const char *name;
        LONG value;
    } values[] = {{"Selected", 0}, {"Drives", 0}, {"DelTrash", 0}, {"DelTemp", 1},
                  {"Del_ITF", 0},  {"How", 2},    {"PowerOff", 0}, {"NotAutoPowerOff", 0}};
    for (const Value &v : values)
        EXPECT_EQ(v.value, ReadSettingDword(v.name)) << v.name;
    REGA key;
    ASSERT_TRUE(OpenSettings(key, OPEN_READONLY));
    EXPECT_EQ(-1, key.ValueExistA("CluScan")) << "no check disk page";
    key.CloseKey();
    EXPECT_TRUE(boxes_.calls().empty());
}

TEST_F(WizardTest, CheckDiskAddsTheSurfaceScanPageAndOtherProgramsSkipTheDiskPages) {
    MainWindowSession session;
    std::vector<int> checkDisk, others;
    session.Run([&](MainWindowSession &s) {
        for (int button : {2, 1, 1, 1, 1, 1, 3, 2, 2}) {
            checkDisk.push_back(MainScreenState());
            Press(s, button);
        }
        checkDisk.push_back(MainScreenState());
        boxes_.Answer(IDYES);
        Press(s, 4); // back to the first question
        for (int button : {4, 1, 3, 1, 1}) {
            others.push_back(MainScreenState());
            Press(s, button);
        }
        others.push_back(MainScreenState());
    });
    EXPECT_EQ((std::vector<int>{21, 22, 24, 25, 26, 29, 31, 32, 33, 41}), checkDisk);
    EXPECT_EQ((std::vector<int>{21, 23, 31, 32, 33, 41}), others);
    EXPECT_EQ(3, ReadSettingDword("Selected"));
    EXPECT_EQ(1, ReadSettingDword("CluScan"));
    EXPECT_EQ(0, ReadSettingDword("PowerOff")) << "the second walk's answers";
    EXPECT_EQ(0, ReadSettingDword("NotAutoPowerOff"));
    REGA key;
    ASSERT_TRUE(OpenSettings(key, OPEN_READONLY));
    EXPECT_EQ(1, key.ValueExistA("LastCmdLine")) << "\"Later\" stores an empty list";
    key.CloseKey();
    ASSERT_EQ(1u, boxes_.calls().size());
    EXPECT_EQ("Are you sure you want to back to the first question?", boxes_.calls()[0].text);
}

TEST_F(WizardTest, BackReplacesTheLastAnswerAndTheListShowsEachAnswerOnce) {
    WriteSettingDword("Drives", 0x4);
    MainWindowSession session;
    session.Run([&](MainWindowSession &s) {
        Press(s, 1);
        Press(s, 1);
        EXPECT_EQ(24, MainScreenState());
        Press(s, 5);
        EXPECT_EQ(22, MainScreenState());
        DialogDriver driver("Select drives", [](HWND dialog) {
            EXPECT_EQ(BST_UNCHECKED, IsDlgButtonChecked(dialog, IDC_WIZDRIVE_A + 2)) << "preset from Drives, now 0";
            DialogDriver::Click(dialog, IDC_WIZDRIVE_A + 2);
            DialogDriver::Click(dialog, IDC_WIZDRIVE_A + 3);
            DialogDriver::Click(dialog, IDOK);
        });
        Press(s, 2);
        EXPECT_TRUE(driver.Join());
        EXPECT_EQ(24, MainScreenState());
        for (int button : {1, 1, 1, 3, 1, 1})
            Press(s, button);
        EXPECT_EQ(41, MainScreenState());
        Press(s, 2);
        Press(s, 2);
        Press(s, 5);
        EXPECT_EQ(33, MainScreenState()) << "the list appended nothing";
    });
    EXPECT_EQ(0xC, ReadSettingDword("Drives"));
    ASSERT_EQ(2u, boxes_.calls().size());
    const MessageBoxCall list = boxes_.calls()[0];
    EXPECT_EQ("your choices", list.caption);
    EXPECT_EQ(UINT(MB_OK), list.type) << "no icon";
    EXPECT_EQ("Wizard mode\t: Defragment\n"
              "Select Drives\t: Select Drives by user\n"
              "Recycle Bin\t: Yes\n"
              "Temporary Folder\t: Yes\n"
              "Cache files of Internet Explorer : Yes\n"
              "How to Rinsa\t: Change Shell (Recommend)\n"
              "before\t: No (Recommend)\n"
              "after\t: Yes (Recommend)",
              list.text);
}

TEST_F(WizardTest, BackToTheFirstQuestionAnsweredNoKeepsThePageAndAppendsNothing) {
    MainWindowSession session;
    std::vector<int> back;
    session.Run([&](MainWindowSession &s) {
        for (int button : {4, 1, 1, 1, 1})
            Press(s, button);
        EXPECT_EQ(41, MainScreenState());
        boxes_.Answer(IDNO);
        Press(s, 4);
        EXPECT_EQ(41, MainScreenState()) << "No keeps the page";
        for (int i = 0; i < 5; ++i) {
            Press(s, 5);
            back.push_back(MainScreenState());
        }
    });
    EXPECT_EQ((std::vector<int>{33, 32, 31, 23, 21}), back) << "the question appended nothing";
    EXPECT_EQ(0, ReadSettingDword("How"));
}

TEST_F(WizardTest, AnAnswerThatCannotBeStoredIsReportedAndTheWizardStaysOnThePage) {
    WriteSettingDword("DelTrash", 0);
    MainWindowSession session;
    session.Run([&](MainWindowSession &s) {
        Press(s, 1);
        Press(s, 1);
        EXPECT_EQ(24, MainScreenState());
        ASSERT_TRUE(SetKeyWritable(HKEY_LOCAL_MACHINE, kSettingsPath, false));
        Press(s, 1);
        EXPECT_EQ(24, MainScreenState()) << "the Recycle Bin is not emptied on an answer never stored";
        EXPECT_TRUE(SetKeyWritable(HKEY_LOCAL_MACHINE, kSettingsPath, true));
        Press(s, 2);
        EXPECT_EQ(25, MainScreenState());
        for (int i = 0; i < 3; ++i)
            Press(s, 5);
        EXPECT_EQ(21, MainScreenState());
        Press(s, 4);
        ASSERT_TRUE(SetKeyWritable(HKEY_LOCAL_MACHINE, kSettingsPath, false));
        Press(s, 1); // Later
        EXPECT_EQ(23, MainScreenState());
        EXPECT_TRUE(SetKeyWritable(HKEY_LOCAL_MACHINE, kSettingsPath, true));
    });
    EXPECT_EQ(0, ReadSettingDword("DelTrash"));
    EXPECT_EQ((std::vector<std::string>{"Cannot open registry key.\r\n KV4", "Cannot open registry key.\r\n KV4"}),
              BoxTexts());
}

TEST_F(WizardTest, TheRunMethodPageFollowsTheWindowsVersion) {
    MainWindowSession session;
    session.Run([&](MainWindowSession &s) {
        Press(s, 4);
        Press(s, 1);
        ASSERT_EQ(31, MainScreenState());
        EXPECT_TRUE(Enabled(s, IDC_MAIN_ANSWER1) && Enabled(s, IDC_MAIN_ANSWER1 + 3));
        EXPECT_FALSE(Enabled(s, IDC_MAIN_ANSWER1 + 1));
        boxes_.Answer(IDYES);
        Press(s, 4);
        EXPECT_EQ(2, ReadSettingDword("How"));
        Press(s, 5);
        boxes_.Answer(IDNO);
        Press(s, 4);
        EXPECT_EQ(3, ReadSettingDword("How"));
        Press(s, 5);
        Press(s, 5);
        g_windowsVersion = 1000;
        Press(s, 1);
        ASSERT_EQ(31, MainScreenState());
        EXPECT_FALSE(Enabled(s, IDC_MAIN_ANSWER1) || Enabled(s, IDC_MAIN_ANSWER1 + 1) ||
                     Enabled(s, IDC_MAIN_ANSWER1 + 3));
        EXPECT_TRUE(MainWindowSession::WaitFor([&] { return s.Focus() == s.Button(IDC_MAIN_ANSWER1 + 2); }));
        Press(s, 4);
        EXPECT_EQ(31, MainScreenState()) << "a disabled answer does nothing";
    });
    ASSERT_EQ(2u, boxes_.calls().size());
    EXPECT_EQ("Do you have Windows 95,98 or Me in your hard disk?", boxes_.calls()[0].text);
    EXPECT_EQ(UINT(MB_YESNO | MB_ICONQUESTION), boxes_.calls()[0].type);
}

TEST_F(WizardTest, CancelledDialogsKeepThePage) {
    WriteSettingDword("Drives", 0x4);
    MainWindowSession session;
    session.Run([&](MainWindowSession &s) {
        Press(s, 1);
        {
            DialogDriver driver("Select drives", [](HWND dialog) { DialogDriver::Click(dialog, IDCANCEL); });
            Press(s, 2);
            EXPECT_TRUE(driver.Join());
        }
        EXPECT_EQ(22, MainScreenState());
        Press(s, 5);
        Press(s, 4);
        {
            DialogDriver driver("Enter command lines", [](HWND dialog) { DialogDriver::Click(dialog, IDCANCEL); });
            Press(s, 2);
            EXPECT_TRUE(driver.Join());
        }
        EXPECT_EQ(23, MainScreenState());
        {
            DialogDriver driver("Enter command lines", [](HWND dialog) {
                SetDlgItemTextA(dialog, IDC_FERUN_COMMANDS, "CMD.EXE /C exit 0");
                DialogDriver::Click(dialog, IDOK);
            });
            Press(s, 2);
            EXPECT_TRUE(driver.Join());
        }
        EXPECT_EQ(31, MainScreenState());
    });
    EXPECT_EQ(0x4, ReadSettingDword("Drives"));
    REGA key;
    ASSERT_TRUE(OpenSettings(key, OPEN_READONLY));
    EXPECT_EQ("CMD.EXE /C exit 0", ReadTextSetting(key, setting::LastCmdLine));
    key.CloseKey();
}

TEST_F(WizardTest, StartLocksTheWizardWhileThePlannerRunsAndUnlocksItWhenNothingStarted) {
    WriteSettingDword("ba_beforewait", 1);
    WriteSettingDword("ba_sleep", 30);
    WriteSettingDword("How", 4);
    MainWindowSession session;
    session.Run([&](MainWindowSession &s) {
        for (int button : {1, 1, 2, 2, 2, 3, 1, 1})
            Press(s, button);
        ASSERT_EQ(41, MainScreenState());
        WriteFile("t.ini", "[main]\r\n");
        DialogDriver countdown("Wait", [&](HWND dialog) {
            EXPECT_EQ(kScreenWizardRun, MainScreenState());
            for (int id : {IDC_MAIN_ANSWER1, IDC_MAIN_ANSWER1 + 1, IDC_MAIN_ANSWER5, IDC_MAIN_NORMAL, IDC_MAIN_EXIT})
                EXPECT_FALSE(Enabled(s, id)) << id;
            // Neither a second Start! nor a drop does anything now.
            s.Command(IDC_MAIN_ANSWER1);
            Drop(s, folder_ + "t.zip");
            DialogDriver::Click(dialog, IDCANCEL);
        });
        Press(s, 1);
        EXPECT_TRUE(countdown.Join());
        EXPECT_EQ(41, MainScreenState());
        EXPECT_TRUE(Enabled(s, IDC_MAIN_ANSWER1) && Enabled(s, IDC_MAIN_NORMAL) && Enabled(s, IDC_MAIN_EXIT));
        EXPECT_FALSE(Enabled(s, IDC_MAIN_ANSWER1 + 2));
        EXPECT_FALSE(Enabled(s, IDC_MAIN_WIZARD));
        EXPECT_TRUE(IsWindowVisible(s.window()));
        Press(s, 5);
        EXPECT_EQ(33, MainScreenState()) << "a Start! that returned appended nothing";
    });
    int starts = 0;
    for (const std::string &line : log_.Texts())
        starts += line.find("Rinsa running is started") != std::string::npos;
    EXPECT_EQ(1, starts) << "the planner ran once";
    for (const MessageBoxCall &box : boxes_.calls())
        EXPECT_EQ(std::string::npos, box.text.find("expand")) << "the drop was ignored";
}

// ---- Themes on the wizard ------------------------------------------------------------------------

TEST_F(WizardTest, AThemeChangesTextsAndSizeAndMalformedSizesFallBack) {
    WriteFile("blue.ini", "[main]\r\nscreen=700,450\r\nname=Blue\r\n"
                          "[21-NT]\r\nBUTTON1=Tidy up the disk\r\nBUTTON2=none\r\nTEXT=:intro@story.txt\r\n"
                          "[22]\r\nBUTTON5=Go back\r\n");
    WriteFile("story.txt", ":intro\r\n$echo Welcome\r\n");
    WriteFile("bad.ini", "[main]\r\nscreen=wide,tall\r\n");
    WriteText(HKEY_LOCAL_MACHINE, kSettingsPath, "inifile", "blue.ini");
    MainWindowSession session;
    session.Run([&](MainWindowSession &s) {
        EXPECT_EQ("Tidy up the disk", ButtonText(s, 1));
        EXPECT_EQ("Checking Disks", ButtonText(s, 2));
        RECT client;
        GetClientRect(s.window(), &client);
        EXPECT_EQ(ScaleX(700), client.right);
        EXPECT_EQ(ScaleY(450), client.bottom);
        Press(s, 1);
        EXPECT_EQ("Go back", ButtonText(s, 5));
        WriteText(HKEY_LOCAL_MACHINE, kSettingsPath, "inifile", "bad.ini");
        Press(s, 5);
        GetClientRect(s.window(), &client);
        EXPECT_EQ(ScaleX(kMainWidth), client.right) << "a malformed size gives the default";
        EXPECT_EQ(ScaleY(kMainHeight), client.bottom);
        EXPECT_EQ("Defragment", ButtonText(s, 1));
    });
}

TEST_F(WizardTest, AnAvgThemeAdvancesOnClicksAndAnswersThroughItsChoices) {
    WriteFile("story.ini", "[main]\r\nmode=AVG\r\n[21-NT]\r\nTEXT=One\\nTwo\\n\r\n");
    WriteText(HKEY_LOCAL_MACHINE, kSettingsPath, "inifile", "story.ini");
    MainWindowSession session;
    session.Run([&](MainWindowSession &s) {
        EXPECT_FALSE(IsWindowVisible(s.Button(IDC_MAIN_ANSWER1))) << "the buttons give way to the choices";
        SIZE logical = MainLogicalSize();
        std::vector<AvgChoice> choices = AvgChoiceFrames(logical, kAvgFontHeight, ButtonsOnEntry(21, 501));
        POINT first = {ScaleX(200), ScaleY((choices[0].frame.top + choices[0].frame.bottom) / 2)};
        LPARAM at = MAKELPARAM(first.x, first.y);
        SendMessageA(s.window(), WM_LBUTTONUP, 0, at);
        EXPECT_EQ(21, MainScreenState()) << "the first click shows the second step";
        SendMessageA(s.window(), WM_LBUTTONUP, 0, at);
        EXPECT_EQ(21, MainScreenState()) << "the second shows the choices";
        SendMessageA(s.window(), WM_MOUSEMOVE, 0, at);
        EXPECT_EQ(TRUE, SendMessageA(s.window(), WM_SETCURSOR, reinterpret_cast<WPARAM>(s.window()),
                                     MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)))
            << "the hand over a choice";
        SendMessageA(s.window(), WM_LBUTTONUP, 0, at);
        EXPECT_EQ(22, MainScreenState()) << "the choice answers as its button";
    });
    EXPECT_EQ(0, ReadSettingDword("Selected"));
}

TEST_F(WizardTest, ADroppedArchiveInstallsOnlyItsPlainThemeFiles) {
    WriteFile("keep.ini", "[main]\r\nname=Old\r\n");
    g_themeExtractor = [](ThemeArchive kind, HWND, const char *, char *) {
        EXPECT_EQ(static_cast<int>(ThemeArchive::SevenZip), static_cast<int>(kind));
        std::ofstream("theme.ini", std::ios::binary) << "[main]\r\nname=Fresh\r\n[21-NT]\r\nBUTTON1=Fresh one\r\n";
        std::ofstream("setup.exe", std::ios::binary) << "MZ";
        std::ofstream("keep.ini", std::ios::binary) << "replaced";
        return int(kArchiveOk);
    };
    boxes_.Answer(IDYES);
    MainWindowSession session;
    session.Run([&](MainWindowSession &s) {
        Drop(s, "C:\\themes\\theme.7z");
        EXPECT_EQ("Fresh one", ButtonText(s, 1));
    });
    EXPECT_EQ("theme.ini", Inifile());
    EXPECT_TRUE(FileThere("theme.ini"));
    EXPECT_FALSE(FileThere("setup.exe"));
    std::ifstream keep(folder_ + "keep.ini", std::ios::binary);
    EXPECT_EQ("[main]",
              std::string((std::istreambuf_iterator<char>(keep)), std::istreambuf_iterator<char>()).substr(0, 6));
    ASSERT_EQ(1u, boxes_.calls().size());
    EXPECT_EQ("Are you sure you want to expand this file in the current folder?", boxes_.calls()[0].text);
    EXPECT_EQ("C:\\themes\\theme.7z", boxes_.calls()[0].caption);
}

TEST_F(WizardTest, InstallationFailuresAreTold) {
    static std::string s_scratch;
    g_themeExtractor = [](ThemeArchive kind, HWND, const char *path, char *output) {
        char folder[MAX_PATH];
        GetCurrentDirectoryA(sizeof folder, folder);
        s_scratch = folder;
        if (kind == ThemeArchive::Lha) return int(kArchiveNoLibrary);
        if (kind == ThemeArchive::Zip) return int(kArchiveNoEntry);
        if (strstr(path, "broken")) {
            // Lines up to the last byte of the buffer, and no end.
            for (size_t i = 0; i < kArchiveOutputSize; ++i)
                output[i] = "error\r\n"[i % 7];
            return int(kArchiveFailed);
        }
        std::ofstream("other.ini", std::ios::binary) << "[main]\r\n";
        return int(kArchiveOk);
    };
    size_t shown = 0;
    MainWindowSession session;
    session.Run([&](MainWindowSession &s) {
        for (int i = 0; i < 3; ++i) {
            boxes_.Answer(IDYES); // expand
            boxes_.Answer(IDOK);  // the failure
        }
        boxes_.Answer(IDYES);
        Drop(s, "C:\\in\\theme.lzh");
        Drop(s, "C:\\in\\theme.zip");
        Drop(s, "C:\\in\\theme.7z");
        DialogDriver text("Tidewell", [&](HWND dialog) {
            shown = static_cast<size_t>(GetWindowTextLengthA(GetDlgItem(dialog, IDC_TEXTBOX_TEXT)));
            EXPECT_EQ("Calling 7-zip32.dll was failed.", DialogDriver::ItemText(dialog, IDC_TEXTBOX_CAPTION));
            DialogDriver::Command(dialog, IDCANCEL);
        });
        Drop(s, "C:\\in\\broken.7z");
        EXPECT_TRUE(text.Join());
        boxes_.Answer(IDNO);
        Drop(s, "C:\\in\\-dash.zip");
        Drop(s, "C:\\in\\notes.txt");
    });
    EXPECT_EQ(size_t(kArchiveOutputSize) - 1, shown) << "the text ends within the buffer";
    std::vector<std::string> expected = {
        "Are you sure you want to expand this file in the current folder?",
        "Unlha32.dll was not found.",
        "Are you sure you want to expand this file in the current folder?",
        "Bad Unzip32.dll",
        "Are you sure you want to expand this file in the current folder?",
        ".ini file was not found.",
        "Are you sure you want to expand this file in the current folder?",
        "Unzip32.dll cannot use -*.zip. Are you sure you want to continue?",
    };
    ASSERT_EQ(expected, BoxTexts());
    EXPECT_EQ(UINT(MB_ICONERROR), boxes_.calls()[1].type);
    EXPECT_EQ("C:\\in\\theme.7z", boxes_.calls()[5].caption);
    EXPECT_EQ("(none)", Inifile());
    EXPECT_TRUE(FileThere("other.ini")) << "the plain file of the archive arrived all the same";
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(s_scratch.c_str())) << "no scratch folder is left";
}

TEST_F(WizardTest, APictureOfASizeThatCannotBeMadeLeavesTheOldOne) {
    MainWindowSession session;
    session.Run([&](MainWindowSession &s) {
        HDC before = MainOffScreenDc();
        ASSERT_NE(nullptr, before);
        EXPECT_FALSE(SetMainClientSize(s.window(), {200000, 200000}, false));
        EXPECT_EQ(before, MainOffScreenDc());
        EXPECT_EQ(kMainWidth, MainLogicalSize().cx);
        RECT client;
        GetClientRect(s.window(), &client);
        EXPECT_EQ(ScaleX(kMainWidth), client.right);
    });
}

TEST_F(WizardTest, TheAutomaticLogonNoticeLowersTheRowAndAClickOnItTurnsThePasswordBackOn) {
    WriteText(HKEY_LOCAL_MACHINE, kWinlogonPath, kAutoAdminLogon, "1");
    boxes_.Answer(IDYES);
    auto rowTop = [](MainWindowSession &s) {
        RECT row;
        GetWindowRect(s.Button(IDC_MAIN_EXIT), &row);
        MapWindowPoints(nullptr, s.window(), reinterpret_cast<POINT *>(&row), 2);
        return row.top;
    };
    MainWindowSession session;
    session.Run([&](MainWindowSession &s) {
        EXPECT_TRUE(WizardAutoLogonNotice());
        EXPECT_EQ(ScaleY(kMainHeight - 37), rowTop(s));
        SendMessageA(s.window(), WM_LBUTTONUP, 0, MAKELPARAM(ScaleX(20), ScaleY(kMainHeight - 5)));
        EXPECT_FALSE(WizardAutoLogonNotice());
        EXPECT_EQ(ScaleY(kMainHeight - 31), rowTop(s));
    });
    EXPECT_FALSE(IsAutomaticLogonOn());
    ASSERT_EQ(1u, boxes_.calls().size());
    EXPECT_EQ("Are you sure you want to turn on the boot time password?", boxes_.calls()[0].text);
    EXPECT_EQ("Cancel Auto logon", boxes_.calls()[0].caption);
}

} // namespace
