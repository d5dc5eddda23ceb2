// The Notify question and the Auto Logon page, driven from a second thread as a user would: what
// they show, which answers end them, and what they store.
#include "dialogs/alogon.h"
#include "dialogs/notify.h"

#include "dialog_driver.h"
#include "planner_fixture.h"
#include "resource.h"
#include "system_state.h"

#include <commctrl.h>
#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;

// ---- Notify -------------------------------------------------------------------------------------

const char kNotifyValue[] = "tw_notify_test";

SHORT WINAPI NoKeys(int) {
    return 0;
}
SHORT WINAPI ShiftDown(int key) {
    return key == VK_SHIFT ? SHORT(0x8000) : SHORT(0);
}
SHORT WINAPI ShiftAndCtrlDown(int key) {
    return key == VK_SHIFT || key == VK_CONTROL ? SHORT(0x8000) : SHORT(0);
}

class NotifyTest : public PlannerTest {
protected:
    void SetUp() override {
        PlannerTest::SetUp();
        saved_ = g_notifyKeyState;
        g_notifyKeyState = NoKeys;
        request_.title = "Notify test";
        request_.heading = "Heading line";
        request_.body = "First line\r\nSecond line";
        request_.yesLabel = "&Go on";
        request_.noLabel = "&Stop";
        request_.helpTopic = "HLP000097.html";
        request_.valueName = kNotifyValue;
    }
    void TearDown() override {
        g_notifyKeyState = saved_;
        PlannerTest::TearDown();
    }
    NotifyRequest request_;
    SHORT(WINAPI *saved_)(int) = nullptr;
};

TEST_F(NotifyTest, ARememberedYesAnswersAtOnceUntilShiftIsHeld) {
    WriteSettingDword(kNotifyValue, 1);
    for (auto keys : {NoKeys, ShiftAndCtrlDown}) {
        g_notifyKeyState = keys;
        DialogDriver unexpected(
            request_.title, [](HWND dialog) { DialogDriver::Command(dialog, IDOK); }, 500);
        EXPECT_EQ(kNotifyYes, AskNotify(request_));
        EXPECT_FALSE(unexpected.Join()) << "no dialog while the answer is remembered";
        EXPECT_EQ(1, ReadSettingDword(kNotifyValue));
    }

    // Shift alone shows the question again; checking the box leaves Yes as the only way out.
    g_notifyKeyState = ShiftDown;
    struct {
        std::string title, heading, body, yes, no;
        bool helpShown = false, noEnabledWhileChecked = true, closeGreyed = false, survivedNoAndClose = false;
    } seen;
    DialogDriver driver(request_.title, [&](HWND dialog) {
        seen.title = DialogDriver::Text(dialog);
        seen.heading = DialogDriver::ItemText(dialog, IDC_NOTIFY_HEADING);
        seen.body = DialogDriver::ItemText(dialog, IDC_NOTIFY_TEXT);
        seen.yes = DialogDriver::ItemText(dialog, IDOK);
        seen.no = DialogDriver::ItemText(dialog, IDCANCEL);
        seen.helpShown = DialogDriver::ItemShown(dialog, IDHELP);
        DialogDriver::Click(dialog, IDC_NOTIFY_DONTSHOW);
        seen.noEnabledWhileChecked = DialogDriver::ItemEnabled(dialog, IDCANCEL);
        UINT state = GetMenuState(GetSystemMenu(dialog, FALSE), SC_CLOSE, MF_BYCOMMAND);
        seen.closeGreyed = state != UINT(-1) && (state & MF_GRAYED);
        DialogDriver::Command(dialog, IDCANCEL); // Escape
        PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        Sleep(300);
        seen.survivedNoAndClose = IsWindow(dialog) && IsWindowVisible(dialog);
        DialogDriver::Command(dialog, IDOK);
    });
    EXPECT_EQ(kNotifyYes, AskNotify(request_));
    ASSERT_TRUE(driver.Join()) << "Shift did not bring the question back";
    EXPECT_EQ("Notify test", seen.title);
    EXPECT_EQ("Heading line", seen.heading);
    EXPECT_EQ("First line\r\nSecond line", seen.body);
    EXPECT_EQ("&Go on", seen.yes);
    EXPECT_EQ("&Stop", seen.no);
    EXPECT_TRUE(seen.helpShown);
    EXPECT_FALSE(seen.noEnabledWhileChecked);
    EXPECT_TRUE(seen.closeGreyed);
    EXPECT_TRUE(seen.survivedNoAndClose) << "neither Escape nor the Close box ends a checked question";
    EXPECT_EQ(1, ReadSettingDword(kNotifyValue));
}

TEST_F(NotifyTest, NoIsRememberedNever) {
    bool noEnabledAgain = false;
    DialogDriver driver(request_.title, [&](HWND dialog) {
        DialogDriver::Click(dialog, IDC_NOTIFY_DONTSHOW);
        DialogDriver::Click(dialog, IDC_NOTIFY_DONTSHOW);
        noEnabledAgain = DialogDriver::ItemEnabled(dialog, IDCANCEL);
        DialogDriver::Command(dialog, IDCANCEL);
    });
    EXPECT_EQ(kNotifyNo, AskNotify(request_));
    ASSERT_TRUE(driver.Join());
    EXPECT_TRUE(noEnabledAgain);
    EXPECT_EQ(0, ReadSettingDword(kNotifyValue));

    // A Yes with the box unchecked is not remembered either.
    DialogDriver yes(request_.title, [](HWND dialog) { DialogDriver::Command(dialog, IDOK); });
    EXPECT_EQ(kNotifyYes, AskNotify(request_));
    ASSERT_TRUE(yes.Join());
    EXPECT_EQ(0, ReadSettingDword(kNotifyValue));
}

// ---- Auto Logon ---------------------------------------------------------------------------------

TEST(AutoLogonRules, EntryShownForTheStoredValues) {
    const struct {
        const char *autoAdminLogon;
        LONG offAutoLogon;
        int choice;
    } cases[] = {
        {"1", 3, kAutoLogonEveryRun}, // the planner's handling wins over the plain automatic logon
        {"1", 0, kAutoLogonAlways},      {"1", 7, kAutoLogonAlways},    {"0", 0, kAutoLogonNotUsed},
        {nullptr, 0, kAutoLogonNotUsed}, {"0", 1, kAutoLogonOnce},      {"0", 2, kAutoLogonOnceClear},
        {"2", 0, kAutoLogonAlways},      {"abc", 0, kAutoLogonNotUsed},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.choice, AutoLogonChoiceFor(c.autoAdminLogon, c.offAutoLogon))
            << (c.autoAdminLogon ? c.autoAdminLogon : "(unreadable)") << ", " << c.offAutoLogon;
}

class AutoLogonTest : public PlannerTest {
protected:
    void SetUp() override {
        PlannerTest::SetUp();
        for (const char *name : {kAutoAdminLogon, kDefaultUserName, kDefaultPassword, kDefaultDomainName})
            DeleteRaw(HKEY_LOCAL_MACHINE, kWinlogonPath, name);
    }
    static std::string Winlogon(const char *name) {
        RawValue value = ReadRaw(HKEY_LOCAL_MACHINE, kWinlogonPath, name);
        return value.exists ? std::string(reinterpret_cast<const char *>(value.data.data())) : "(absent)";
    }
    static void Store(const char *name, const char *text) { WriteText(HKEY_LOCAL_MACHINE, kWinlogonPath, name, text); }

    struct PageView {
        LRESULT choice = -1;
        std::string user, password, confirm, domain;
    };
    static HWND Page(HWND sheet) { return HWND(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)); }
    static PageView Read(HWND page) {
        PageView view;
        view.choice = SendDlgItemMessageA(page, IDC_ALOGON_MODE, CB_GETCURSEL, 0, 0);
        view.user = DialogDriver::ItemText(page, IDC_ALOGON_USER);
        view.password = DialogDriver::ItemText(page, IDC_ALOGON_PASSWORD);
        view.confirm = DialogDriver::ItemText(page, IDC_ALOGON_CONFIRM);
        view.domain = DialogDriver::ItemText(page, IDC_ALOGON_DOMAIN);
        return view;
    }
    static void Choose(HWND page, int choice) {
        SendDlgItemMessageA(page, IDC_ALOGON_MODE, CB_SETCURSEL, WPARAM(choice), 0);
    }
    static void Passwords(HWND page, const char *password, const char *confirm) {
        SetDlgItemTextA(page, IDC_ALOGON_PASSWORD, password);
        SetDlgItemTextA(page, IDC_ALOGON_CONFIRM, confirm);
    }
    static void Press(HWND sheet, int button) { PostMessageA(sheet, PSM_PRESSBUTTON, WPARAM(button), 0); }

    ValueGuard guards_[4] = {{HKEY_LOCAL_MACHINE, kWinlogonPath, kAutoAdminLogon},
                             {HKEY_LOCAL_MACHINE, kWinlogonPath, kDefaultUserName},
                             {HKEY_LOCAL_MACHINE, kWinlogonPath, kDefaultPassword},
                             {HKEY_LOCAL_MACHINE, kWinlogonPath, kDefaultDomainName}};
};

TEST_F(AutoLogonTest, ThePageShowsTheStoredLogonAndEntryZeroKeepsTheData) {
    Store(kAutoAdminLogon, "1");
    Store(kDefaultUserName, "alice");
    Store(kDefaultPassword, "pw-1");
    Store(kDefaultDomainName, "HOME");
    WriteSettingDword(setting::OffAutoLogon.name, 3);
    PageView view;
    std::string title;
    DialogDriver driver("Options", [&](HWND sheet) {
        title = DialogDriver::Text(sheet);
        HWND page = Page(sheet);
        view = Read(page);
        Choose(page, kAutoLogonNotUsed);
        Press(sheet, PSBTN_OK);
    });
    EXPECT_TRUE(ShowAutoLogonAlone(nullptr));
    ASSERT_TRUE(driver.Join()) << "no sheet titled Options";
    EXPECT_FALSE(AutoLogonCancelled());
    EXPECT_EQ(kAutoLogonEveryRun, view.choice);
    EXPECT_EQ("alice", view.user);
    EXPECT_EQ("pw-1", view.password);
    EXPECT_EQ("pw-1", view.confirm);
    EXPECT_EQ("HOME", view.domain);

    EXPECT_EQ("(absent)", Winlogon(kAutoAdminLogon));
    EXPECT_EQ(0, ReadSettingDword(setting::OffAutoLogon.name));
    EXPECT_EQ("alice", Winlogon(kDefaultUserName));
    EXPECT_EQ("pw-1", Winlogon(kDefaultPassword));
    EXPECT_EQ("HOME", Winlogon(kDefaultDomainName));
    EXPECT_TRUE(boxes_.calls().empty());
}

TEST_F(AutoLogonTest, EachEntryStoresItsHandling) {
    const struct {
        int choice;
        const char *autoAdminLogon;
        LONG offAutoLogon;
    } cases[] = {
        {kAutoLogonAlways, "1", 0},
        {kAutoLogonOnceClear, "(absent)", 2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.choice);
        Store(kAutoAdminLogon, "1");
        PageView view;
        DialogDriver driver("Options", [&](HWND sheet) {
            HWND page = Page(sheet);
            view = Read(page);
            Choose(page, c.choice);
            Passwords(page, "new secret", "new secret");
            Press(sheet, PSBTN_OK);
        });
        EXPECT_TRUE(ShowAutoLogonAlone(nullptr));
        ASSERT_TRUE(driver.Join());
        EXPECT_EQ(c.autoAdminLogon, Winlogon(kAutoAdminLogon));
        EXPECT_EQ(c.offAutoLogon, ReadSettingDword(setting::OffAutoLogon.name));
        EXPECT_EQ("new secret", Winlogon(kDefaultPassword));
    }
}

TEST_F(AutoLogonTest, DifferentPasswordsKeepTheSheetOpenAndCancelStoresNothing) {
    Store(kDefaultUserName, "bob");
    Store(kDefaultPassword, "old");
    bool stayedOpen = false;
    PageView view;
    DialogDriver driver("Options", [&](HWND sheet) {
        HWND page = Page(sheet);
        view = Read(page);
        Passwords(page, "one", "One");
        Choose(page, kAutoLogonAlways);
        Press(sheet, PSBTN_OK);
        for (int i = 0; i < 100 && boxes_.calls().empty(); ++i)
            Sleep(50);
        Sleep(200);
        stayedOpen = IsWindow(sheet) && IsWindowVisible(sheet);
        Press(sheet, PSBTN_CANCEL);
    });
    EXPECT_FALSE(ShowAutoLogonAlone(nullptr));
    ASSERT_TRUE(driver.Join());
    EXPECT_TRUE(AutoLogonCancelled());
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(kAutoLogonNotUsed, view.choice);
    EXPECT_EQ(Lines{"[AutoLogon]Wrong passwords."}, BoxTexts());
    EXPECT_EQ(UINT(MB_ICONERROR), boxes_.calls()[0].type);
    EXPECT_EQ("old", Winlogon(kDefaultPassword));
    EXPECT_EQ("(absent)", Winlogon(kAutoAdminLogon));
}

TEST_F(AutoLogonTest, AnEmptyUserNameBecomesTheCurrentUserAndEmptyPasswordsAreAccepted) {
    char user[257] = "";
    DWORD size = sizeof user;
    GetUserNameA(user, &size);
    PageView view;
    DialogDriver driver("Options", [&](HWND sheet) {
        view = Read(Page(sheet));
        Press(sheet, PSBTN_OK);
    });
    EXPECT_TRUE(ShowAutoLogonAlone(nullptr));
    ASSERT_TRUE(driver.Join());
    EXPECT_EQ(user, view.user);
    EXPECT_EQ(kAutoLogonNotUsed, view.choice);
    EXPECT_EQ(user, Winlogon(kDefaultUserName));
    EXPECT_EQ("", Winlogon(kDefaultPassword));
    EXPECT_TRUE(boxes_.calls().empty());
}

TEST_F(AutoLogonTest, TheAutomaticLogonTestAndItsRemoval) {
    const struct {
        const char *value; // null: absent
        bool on;
    } cases[] = {{"1", true}, {"0", false}, {" 1", false}, {nullptr, false}};
    for (const auto &c : cases) {
        if (c.value)
            Store(kAutoAdminLogon, c.value);
        else
            DeleteRaw(HKEY_LOCAL_MACHINE, kWinlogonPath, kAutoAdminLogon);
        EXPECT_EQ(c.on, IsAutomaticLogonOn()) << (c.value ? c.value : "(absent)");
    }
    Store(kAutoAdminLogon, "1");
    Store(kDefaultUserName, "carol");
    EXPECT_TRUE(RemoveAutomaticLogon());
    EXPECT_FALSE(IsAutomaticLogonOn());
    EXPECT_EQ("carol", Winlogon(kDefaultUserName));
}

} // namespace
