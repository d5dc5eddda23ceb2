// About: the version line, the notices and the address text, which link ranges are read, and the
// dialog driven from a second thread: its texts, a click on a link opening it (recorded instead of a
// browser), a link too long to read, Ctrl+A in the notice, the buttons to the environment report
// and History, a rich-edit library that cannot be loaded, and the main window's way to About.
#include "dialogs/about.h"

#include "modal_driver.h"
#include "main_window_session.h"
#include "planner_fixture.h"
#include "resource.h"

#include "korvane_version.h"
#include "platform.h"

#include <richedit.h>
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

namespace {

// ---- Plain pieces -------------------------------------------------------------------------------

TEST(AboutPieces, TheVersionLineNamesTheNumbersTheKindAndTheBuild) {
    SetLanguage(Program::Korvane, false);
    struct Case {
        const char *version, *special, *line;
    } cases[] = {
        {"1.0.0.0", "", "Tidewell version 1.00.00 [x64](stamp)"},
        {"4.1.2.3", "beta", "Tidewell version 4.12.03 beta [x64](stamp)"},
        {"2.10.5.12", "Release Candidate", "Tidewell version 2.105.12 Release Candidate [x64](stamp)"},
        {"3", "", "Tidewell version 3.00.00 [x64](stamp)"},
        {"1, 2, 3, 4", "", "Tidewell version 1.23.04 [x64](stamp)"},
        {"", "", "Tidewell version 0.00.00 [x64](stamp)"},
        {nullptr, nullptr, "Tidewell version 0.00.00 [x64](stamp)"},
        {"99999999999999999999.1", "", "Tidewell version 999999999.10.00 [x64](stamp)"}, // cut, not wrapped
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.line, AboutVersionLine("Tidewell", c.version, c.special, "x64", "stamp"))
            << (c.version ? c.version : "(null)");
    SetLanguage(Program::Korvane, true);
    EXPECT_EQ("タイドウェル バージョン 1.00.00 [x86](stamp)",
              AboutVersionLine("タイドウェル", "1.0.0.0", "", "x86", "stamp"));
    SetLanguage(Program::Korvane, false);
}

TEST(AboutPieces, TheNoticeFollowsTheBuildKindAndTheAddressesTheirLabels) {
    SetLanguage(Program::Korvane, false);
    const std::string release = AboutNotice(0);
    EXPECT_EQ(0u, release.find("This software helps the defragmenter/chkdsk on Windows XP/Vista/7/8 and other "
                               "applications.\r\nThis software dose not have an original engine of "
                               "defragmentation.\r\nThis software must be used with your OWN RISK!!"));
    EXPECT_NE(std::string::npos, release.find("Terms of use"));
    for (int developmentType : {1, 2})
        EXPECT_EQ(0u, std::string(AboutNotice(developmentType)).find("This is a development build")) << developmentType;
    EXPECT_EQ("[WebPage]\r\n  http://w.example/\r\n[Contact]\r\n  http://w.example/c",
              AboutAddressText("http://w.example/", "http://w.example/c"));
    SetLanguage(Program::Korvane, true);
    EXPECT_NE(release, AboutNotice(0));
    EXPECT_EQ("[Web ページ]\r\n  a\r\n[連絡先]\r\n  b", AboutAddressText("a", "b"));
    SetLanguage(Program::Korvane, false);
}

TEST(AboutPieces, OnlyASoundRangeShorterThanTheLimitIsRead) {
    struct Case {
        LONG first, last;
        bool readable;
    } cases[] = {
        {0, 1, true},
        {0, 127, true},
        {100, 227, true},
        {0, 128, false},
        {100, 228, false},
        {5, 5, false},
        {10, 5, false},
        {-1, 10, false},
        {-1, -1, false},
        {0, 0x7FFFFFFF, false},
        {0x7FFFFF00, 0x7FFFFF10, true},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.readable, LinkRangeReadable(c.first, c.last)) << c.first << ".." << c.last;
}

// ---- The dialog ---------------------------------------------------------------------------------

struct OpenedLink {
    std::string verb, file, directory;
};
std::mutex g_openedLock;
std::vector<OpenedLink> g_opened;
INT_PTR g_openResult = 42;

HINSTANCE WINAPI RecordOpen(HWND, LPCSTR verb, LPCSTR file, LPCSTR, LPCSTR directory, INT) {
    std::lock_guard<std::mutex> lock(g_openedLock);
    g_opened.push_back({verb ? verb : "", file ? file : "", directory ? directory : ""});
    return reinterpret_cast<HINSTANCE>(g_openResult);
}

class AboutDialogTest : public PlannerTest {
protected:
    void SetUp() override {
        PlannerTest::SetUp();
        g_openLink = RecordOpen;
        g_openResult = 42;
        g_opened.clear();
        savedBuildType_ = g_buildType;
    }
    void TearDown() override {
        g_openLink = ShellExecuteA;
        g_richEditLibrary = "RICHED20.DLL";
        g_buildType = savedBuildType_;
        SetLanguage(Program::Korvane, false);
        PlannerTest::TearDown();
    }
    void Run(const std::function<void(HWND)> &act, const std::string &title = "About") {
        EXPECT_TRUE(RunModal(title, act, [] { ShowAboutDialog(nullptr); })) << "the dialog did not show";
    }
    static std::vector<OpenedLink> Opened() {
        std::lock_guard<std::mutex> lock(g_openedLock);
        return g_opened;
    }
    // A left click on a character of the address field, as the mouse makes it.
    static void ClickCharacter(HWND field, LONG index) {
        POINTL at = {};
        SendMessageA(field, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&at), index);
        LPARAM where = MAKELPARAM(at.x + 2, at.y + 4);
        SendMessageA(field, WM_LBUTTONDOWN, MK_LBUTTON, where);
        SendMessageA(field, WM_LBUTTONUP, 0, where);
    }
    // The notification the field sends for a click on the range.
    static void NotifyLink(HWND dialog, LONG first, LONG last) {
        ENLINK link = {};
        link.nmhdr.hwndFrom = GetDlgItem(dialog, IDC_ABOUT_LINKS);
        link.nmhdr.idFrom = IDC_ABOUT_LINKS;
        link.nmhdr.code = EN_LINK;
        link.msg = WM_LBUTTONUP;
        link.chrg = {first, last};
        SendMessageA(dialog, WM_NOTIFY, IDC_ABOUT_LINKS, reinterpret_cast<LPARAM>(&link));
    }

private:
    int savedBuildType_ = 0;
};

TEST_F(AboutDialogTest, ShowsTheBuildTheNoticeAndTheAddresses) {
    g_buildType = 0;
    Run([](HWND dialog) {
        std::string version = DialogDriver::ItemText(dialog, IDC_ABOUT_VERSION);
        EXPECT_EQ(0u, version.find(std::string("Tidewell version ") + KORVANE_FILEVERSION_TEXT[0] + ".")) << version;
        EXPECT_NE(std::string::npos, version.find(std::string("](") + BuildStamp() + ")")) << version;
        EXPECT_EQ("Copyright (C) 2026 Halvornix", DialogDriver::ItemText(dialog, IDC_ABOUT_LEGAL));
        EXPECT_EQ(AboutNotice(0), DialogDriver::ItemText(dialog, IDC_ABOUT_NOTICE));
        EXPECT_EQ(AboutAddressText(KORVANE_WEB_SITE, KORVANE_CONTACT_PAGE),
                  DialogDriver::ItemText(dialog, IDC_ABOUT_LINKS));
        for (int id : {IDC_ABOUT_SUPPORT, IDC_ABOUT_FEEDBACK})
            EXPECT_FALSE(DialogDriver::ItemShown(dialog, id)) << "Japanese only: " << id;
        EXPECT_EQ(GetDlgItem(dialog, IDCANCEL), FocusOfThread(dialog));
        DialogDriver::Click(dialog, IDCANCEL);
    });
    g_buildType = 2;
    Run([](HWND dialog) {
        EXPECT_EQ(AboutNotice(2), DialogDriver::ItemText(dialog, IDC_ABOUT_NOTICE));
        PostMessageA(dialog, WM_CLOSE, 0, 0);
    });
    EXPECT_TRUE(boxes_.calls().empty());
}

TEST_F(AboutDialogTest, AClickOnALinkOpensItFromTheSystemFolder) {
    Run([](HWND dialog) {
        HWND field = GetDlgItem(dialog, IDC_ABOUT_LINKS);
        std::string text = DialogDriver::ItemText(dialog, IDC_ABOUT_LINKS);
        // The field counts a line end as one character; three come before the contact page.
        LONG contact = LONG(text.find(KORVANE_CONTACT_PAGE)) - 3;
        ClickCharacter(field, contact + 3);
        EXPECT_TRUE(MainWindowSession::WaitFor([] { return Opened().size() == 1; }));
        CHARRANGE selected = {};
        SendMessageA(field, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&selected));
        EXPECT_EQ(contact, selected.cpMin) << "the link is selected";
        EXPECT_EQ(contact + LONG(strlen(KORVANE_CONTACT_PAGE)), selected.cpMax);
        DialogDriver::Click(dialog, IDCANCEL);
    });
    std::vector<OpenedLink> opened = Opened();
    ASSERT_EQ(1u, opened.size());
    EXPECT_EQ("open", opened[0].verb);
    EXPECT_EQ(KORVANE_CONTACT_PAGE, opened[0].file);
    EXPECT_EQ(SystemFolder(), opened[0].directory);
    EXPECT_TRUE(boxes_.calls().empty());
}

TEST_F(AboutDialogTest, ABrowserThatCannotRunIsReportedAndOverlongLinksAreNotRead) {
    g_openResult = SE_ERR_NOASSOC;
    Run([](HWND dialog) {
        NotifyLink(dialog, 0, 130);
        NotifyLink(dialog, -1, 20);
        NotifyLink(dialog, 20, 10);
        EXPECT_TRUE(Opened().empty()) << "no range that could overrun the buffer is read";
        std::string text = DialogDriver::ItemText(dialog, IDC_ABOUT_LINKS);
        LONG web = LONG(text.find(KORVANE_WEB_SITE)) - 1;
        NotifyLink(dialog, web, web + LONG(strlen(KORVANE_WEB_SITE)));
        DialogDriver::Click(dialog, IDCANCEL);
    });
    std::vector<OpenedLink> opened = Opened();
    ASSERT_EQ(1u, opened.size());
    EXPECT_EQ(KORVANE_WEB_SITE, opened[0].file);
    ASSERT_EQ(1u, boxes_.calls().size());
    EXPECT_EQ("Web browser cannot run.", boxes_.calls()[0].text);
    EXPECT_EQ(UINT(MB_ICONERROR), boxes_.calls()[0].type);
}

TEST_F(AboutDialogTest, CtrlASelectsTheWholeNotice) {
    Run([](HWND dialog) {
        HWND notice = GetDlgItem(dialog, IDC_ABOUT_NOTICE);
        SendMessageA(notice, EM_SETSEL, 3, 3);
        SendMessageA(notice, WM_CHAR, 1, 0x1E0001);
        DWORD start = 1, end = 0;
        SendMessageA(notice, EM_GETSEL, WPARAM(&start), LPARAM(&end));
        EXPECT_EQ(0u, start);
        EXPECT_EQ(DWORD(GetWindowTextLengthA(notice)), end);
        EXPECT_EQ(std::string(AboutNotice(g_buildType)), DialogDriver::ItemText(dialog, IDC_ABOUT_NOTICE))
            << "the notice is read-only";
        DialogDriver::Click(dialog, IDCANCEL);
    });
}

TEST_F(AboutDialogTest, TheButtonsLeadToTheEnvironmentReportAndTheHistory) {
    Run([](HWND dialog) {
        {
            DialogDriver report(
                "SYSQ32 (Information of your Environment)", [](HWND sysq) { DialogDriver::Click(sysq, IDCANCEL); },
                60000);
            DialogDriver::Command(dialog, IDC_ABOUT_ENVIRONMENT);
            EXPECT_TRUE(report.Join());
        }
        {
            DialogDriver history("History", [](HWND viewer) { DialogDriver::Click(viewer, IDCANCEL); });
            DialogDriver::Command(dialog, IDC_ABOUT_HISTORY);
            EXPECT_TRUE(history.Join());
        }
        // Both were modal on About and are gone; About is still there.
        EXPECT_TRUE(MainWindowSession::WaitFor([dialog] { return IsWindowEnabled(dialog) != FALSE; }));
        DialogDriver::Click(dialog, IDCANCEL);
    });
}

TEST_F(AboutDialogTest, ARichEditLibraryThatCannotBeLoadedIsReported) {
    g_richEditLibrary = "NORICHED.DLL";
    ShowAboutDialog(nullptr);
    ASSERT_EQ(1u, boxes_.calls().size());
    EXPECT_EQ("The rich edit library NORICHED.DLL cannot be loaded, so the About dialog cannot be shown.",
              boxes_.calls()[0].text);
    EXPECT_EQ(UINT(MB_ICONERROR), boxes_.calls()[0].type);
    EXPECT_EQ(nullptr, FindWindowA("#32770", "About"));
}

TEST_F(AboutDialogTest, JapaneseHasItsOwnTextsAndTheTwoHelpPageButtons) {
    SetLanguage(Program::Korvane, true);
    Run(
        [](HWND dialog) {
            EXPECT_EQ(0u, DialogDriver::ItemText(dialog, IDC_ABOUT_VERSION).find("タイドウェル バージョン "));
            EXPECT_EQ(AboutNotice(g_buildType), DialogDriver::ItemText(dialog, IDC_ABOUT_NOTICE));
            EXPECT_EQ(0u, DialogDriver::ItemText(dialog, IDC_ABOUT_LINKS).find("[Web ページ]"));
            for (int id : {IDC_ABOUT_SUPPORT, IDC_ABOUT_FEEDBACK})
                EXPECT_TRUE(DialogDriver::ItemShown(dialog, id) && DialogDriver::ItemEnabled(dialog, id)) << id;
            DialogDriver::Click(dialog, IDCANCEL);
        },
        AnsiTitle(L"\u30D0\u30FC\u30B8\u30E7\u30F3\u60C5\u5831"));
}

// ---- The main window's ways to About and History ------------------------------------------------

TEST_F(AboutDialogTest, TheModeSelectionAndTheNormalModeOpenAboutAndHistory) {
    MainWindowSession session;
    session.Run([](MainWindowSession &s) {
        EXPECT_TRUE(IsWindowEnabled(s.Button(IDC_MAIN_ABOUT)));
        {
            DialogDriver about("About", [](HWND dialog) { DialogDriver::Click(dialog, IDCANCEL); });
            s.Click(s.Button(IDC_MAIN_ABOUT));
            EXPECT_TRUE(about.Join()) << "the About button";
        }
        s.Command(IDC_MAIN_NORMAL);
        HMENU menu = GetMenu(s.window());
        for (UINT id : {UINT(IDC_NORMAL_HISTORY), UINT(IDC_MAIN_ABOUT)})
            EXPECT_FALSE(GetMenuState(menu, id, MF_BYCOMMAND) & MF_GRAYED) << id;
        {
            DialogDriver about("About", [](HWND dialog) { DialogDriver::Click(dialog, IDCANCEL); });
            s.Command(IDC_MAIN_ABOUT);
            EXPECT_TRUE(about.Join()) << "the Help menu's About";
        }
        {
            DialogDriver history("History", [](HWND dialog) { DialogDriver::Click(dialog, IDCANCEL); });
            s.Command(IDC_NORMAL_HISTORY);
            EXPECT_TRUE(history.Join()) << "the Tools menu's History";
        }
        s.Command(IDM_PUT_BUTTONS);
        EXPECT_TRUE(IsWindowEnabled(s.Item(IDC_NORMAL_HISTORY)));
        {
            DialogDriver history("History", [](HWND dialog) { DialogDriver::Click(dialog, IDCANCEL); });
            s.Click(s.Item(IDC_NORMAL_HISTORY));
            EXPECT_TRUE(history.Join()) << "the panel's History button";
        }
    });
}

} // namespace
