// The before/after page and its command-line editor: how waits are shown and stored (and refused),
// which hook a Setting button edits, what the page shows and writes, and what the editor stores.
#include "dialogs/beforeafter.h"
#include "dialogs/options.h"

#include "dialog_driver.h"
#include "drop_files.h"
#include "planner_fixture.h"
#include "resource.h"
#include "system_state.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

// ---- Plain rules --------------------------------------------------------------------------------

TEST(BeforeAfterWaits, StoredSecondsShowAsMinutesAndSeconds) {
    const struct {
        LONG stored;
        DWORD minutes, seconds;
    } cases[] = {
        {0, 0, 0},
        {59, 0, 59},
        {60, 1, 0},
        {195, 3, 15},
        {2147483647, 35791394, 7},
        // An odd value from an imported file is shown as stored (and refused on OK), not changed.
        {-1, 71582788, 15},
    };
    for (const auto &c : cases) {
        WaitFields shown = WaitFieldsOf(c.stored);
        EXPECT_EQ(c.minutes, shown.minutes) << c.stored;
        EXPECT_EQ(c.seconds, shown.seconds) << c.stored;
    }
}

TEST(BeforeAfterWaits, MinutesAndSecondsAreStoredWithoutWrapping) {
    const struct {
        DWORD minutes, seconds;
        bool ok;
        DWORD stored;
    } cases[] = {
        {0, 0, true, 0},
        {2, 75, true, 195},
        {1, 0, true, 60},
        {0, 2147483647, true, 2147483647},
        {35791394, 7, true, 2147483647},
        {35791394, 8, false, 0},
        {0, 2147483648u, false, 0},
        {99999999, 0, false, 0},
        // 71582789 × 60 wraps to 44 in 32 bits.
        {71582789, 0, false, 0},
        {0xFFFFFFFFu, 0xFFFFFFFFu, false, 0},
    };
    for (const auto &c : cases) {
        DWORD stored = 12345;
        WaitTotal result = StoredWaitSeconds(c.minutes, c.seconds, &stored);
        EXPECT_EQ(c.ok, result == WaitTotal::Ok) << c.minutes << " min " << c.seconds << " s";
        EXPECT_EQ(c.ok ? c.stored : 12345u, stored) << c.minutes << " min " << c.seconds << " s";
    }
}

TEST(BeforeAfterEditor, EachSettingButtonEditsItsHookInItsForm) {
    const struct {
        int button;
        const char *value; // null: no hook, the editor closes at once
        bool oneLine;
    } cases[] = {
        {IDC_BA_BEFORE_SET, "ba_before_cl", false},
        {IDC_BA_REBOOT_SET, "ba_reboot_cl", true},
        {IDC_BA_READY_SET, "ba_ready_cl", false},
        {IDC_BA_AFTER_SET, "ba_after_cl", false},
        {IDC_BA_SHUTDOWN_SET, "ba_shutdown_cl", true},
        {IDC_BA_UNUSED_SET, nullptr, false},
        {IDC_BA_BEFORE, nullptr, false},
        {IDOK, nullptr, false},
        {0, nullptr, false},
    };
    for (const auto &c : cases) {
        CommandLineHook hook = CommandLineHookFor(c.button);
        if (!c.value) {
            EXPECT_EQ(nullptr, hook.value) << c.button;
            continue;
        }
        ASSERT_NE(nullptr, hook.value) << c.button;
        EXPECT_STREQ(c.value, hook.value->name) << c.button;
        EXPECT_EQ(c.oneLine, hook.oneLine) << c.button;
    }
}

TEST(BeforeAfterEditor, NoteLinesPerHookAndLanguage) {
    const char *shutdownJa = "Rinsa 実行の後、ここで指定したコマンドラインが Windows をシャットダウンします。";
    const struct {
        bool japanese;
        int button;
        std::string note; // "*" any non-empty text
    } cases[] = {
        {false, IDC_BA_SHUTDOWN_SET, "The specified command line shutting down Windows after Rinsa Running."},
        {false, IDC_BA_REBOOT_SET, ""},
        {false, IDC_BA_BEFORE_SET, ""},
        {true, IDC_BA_SHUTDOWN_SET, shutdownJa},
        {true, IDC_BA_REBOOT_SET, "*"},
        {true, IDC_BA_AFTER_SET, ""},
    };
    for (const auto &c : cases) {
        SetLanguage(Program::Korvane, c.japanese);
        std::string note = CommandLineNote(c.button);
        if (c.note == "*")
            EXPECT_FALSE(note.empty()) << c.button;
        else
            EXPECT_EQ(c.note, note) << c.button << (c.japanese ? " ja" : " en");
    }
    SetLanguage(Program::Korvane, false);
}

TEST(BeforeAfterEditor, ADroppedFileJoinsTheOneLineWithABlank) {
    const struct {
        const char *field, *path, *result;
    } cases[] = {
        {"", "C:\\Tools\\off.exe", "C:\\Tools\\off.exe"},
        {"", "C:\\Program Files\\off.exe", "\"C:\\Program Files\\off.exe\""},
        {"cmd.exe /c", "C:\\x.bat", "cmd.exe /c C:\\x.bat"},
        {"cmd.exe /c ", "C:\\a b\\x.bat", "cmd.exe /c \"C:\\a b\\x.bat\""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.result, AppendDroppedToLine(c.field, c.path)) << c.field << " + " << c.path;
}

// ---- The page in the Options sheet --------------------------------------------------------------

constexpr int kHookBoxes[] = {IDC_BA_BEFORE, IDC_BA_REBOOT, IDC_BA_READY, IDC_BA_AFTER, IDC_BA_SHUTDOWN};
constexpr int kHookButtons[] = {IDC_BA_BEFORE_SET, IDC_BA_REBOOT_SET, IDC_BA_READY_SET, IDC_BA_AFTER_SET,
                                IDC_BA_SHUTDOWN_SET};

// What the page shows, read on the sheet's thread's behalf from the driver.
struct PageView {
    UINT hooks[5] = {};
    bool buttons[5] = {};
    UINT beforeWait = 0, afterWait = 0, countdown = 0;
    std::string sleepMinutes, sleepSeconds, afterMinutes, afterSeconds;
    bool sleepFields = false, afterFields = false;
    bool unusedShown = true, unusedEnabled = true;
};

class BeforeAfterPageTest : public PlannerTest {
protected:
    static HWND Page(HWND sheet) { return HWND(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)); }
    static void Press(HWND sheet, int button) { PostMessageA(sheet, PSM_PRESSBUTTON, WPARAM(button), 0); }
    static LONG Stored(const DwordSetting &setting) {
        RawValue value = ReadRaw(HKEY_LOCAL_MACHINE, kSettingsPath, setting.name);
        if (!value.exists) return -12345;
        return *reinterpret_cast<const LONG *>(value.data.data());
    }
    static void Store(const DwordSetting &setting, DWORD value) {
        WriteDword(HKEY_LOCAL_MACHINE, kSettingsPath, setting.name, value);
    }
    static PageView Read(HWND page) {
        PageView view;
        for (int i = 0; i < 5; ++i) {
            view.hooks[i] = IsDlgButtonChecked(page, kHookBoxes[i]);
            view.buttons[i] = DialogDriver::ItemEnabled(page, kHookButtons[i]);
        }
        view.beforeWait = IsDlgButtonChecked(page, IDC_BA_BEFOREWAIT);
        view.afterWait = IsDlgButtonChecked(page, IDC_BA_AFTERWAIT);
        view.countdown = IsDlgButtonChecked(page, IDC_BA_COUNTDOWN);
        view.sleepMinutes = DialogDriver::ItemText(page, IDC_BA_SLEEP_MINUTES);
        view.sleepSeconds = DialogDriver::ItemText(page, IDC_BA_SLEEP_SECONDS);
        view.afterMinutes = DialogDriver::ItemText(page, IDC_BA_AFTERSLEEP_MINUTES);
        view.afterSeconds = DialogDriver::ItemText(page, IDC_BA_AFTERSLEEP_SECONDS);
        view.sleepFields = DialogDriver::ItemEnabled(page, IDC_BA_SLEEP_MINUTES) &&
                           DialogDriver::ItemEnabled(page, IDC_BA_SLEEP_SECONDS);
        view.afterFields = DialogDriver::ItemEnabled(page, IDC_BA_AFTERSLEEP_MINUTES) &&
                           DialogDriver::ItemEnabled(page, IDC_BA_AFTERSLEEP_SECONDS);
        view.unusedShown = DialogDriver::ItemShown(page, IDC_BA_UNUSED);
        view.unusedEnabled = DialogDriver::ItemEnabled(page, IDC_BA_UNUSED);
        return view;
    }
    // Opens the sheet on this page, lets act drive it and returns what the page showed first.
    PageView Drive(const std::function<void(HWND sheet, HWND page)> &act) {
        PageView view;
        DialogDriver driver("Options", [&](HWND sheet) {
            HWND page = Page(sheet);
            view = Read(page);
            act(sheet, page);
        });
        EXPECT_TRUE(ShowOptionsSheet(nullptr, IDC_NORMAL_BEFOREAFTER_PAGE));
        EXPECT_TRUE(driver.Join()) << "no sheet titled Options";
        return view;
    }
    // Waits for the sheet to answer a posted OK with a message box; true when it is still open.
    bool RefusedWithABox(HWND sheet) {
        for (int i = 0; i < 100 && boxes_.calls().empty(); ++i)
            Sleep(50);
        Sleep(200);
        return IsWindow(sheet) && IsWindowVisible(sheet);
    }
};

TEST_F(BeforeAfterPageTest, AnUnreadableKeyShowsTheDefaultsAndOkStoresThem) {
    // No settings key at all: the waits after the restart show their catalogue defaults.
    PageView view = Drive([](HWND sheet, HWND) { Press(sheet, PSBTN_OK); });
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(UINT(BST_UNCHECKED), view.hooks[i]) << kHookBoxes[i];
        EXPECT_FALSE(view.buttons[i]) << kHookButtons[i];
    }
    EXPECT_EQ(UINT(BST_UNCHECKED), view.beforeWait);
    EXPECT_EQ("0", view.sleepMinutes);
    EXPECT_EQ("0", view.sleepSeconds);
    EXPECT_FALSE(view.sleepFields);
    EXPECT_EQ(UINT(BST_CHECKED), view.afterWait);
    EXPECT_EQ("1", view.afterMinutes);
    EXPECT_EQ("0", view.afterSeconds);
    EXPECT_TRUE(view.afterFields);
    EXPECT_FALSE(view.unusedShown);
    EXPECT_FALSE(view.unusedEnabled);

    EXPECT_EQ(1, Stored(setting::ba_afterwait));
    EXPECT_EQ(60, Stored(setting::ba_aftersleep));
    EXPECT_EQ(0, Stored(setting::ba_sleep));
    for (const DwordSetting *flag : {&setting::ba_before, &setting::ba_reboot, &setting::ba_ready, &setting::ba_after,
                                     &setting::ba_shutdown, &setting::ba_beforewait, &setting::ba_after_countdown})
        EXPECT_EQ(0, Stored(*flag)) << flag->name;
    EXPECT_TRUE(boxes_.calls().empty());
}

TEST_F(BeforeAfterPageTest, StoredFlagsAndWaitsAreShownAndWrittenBack) {
    Store(setting::ba_before, 2);
    Store(setting::ba_reboot, 5); // permanent on from an imported file: stays on, not use-once
    Store(setting::ba_ready, 1);
    Store(setting::ba_shutdown, 3);
    Store(setting::ba_beforewait, 2);
    Store(setting::ba_sleep, 195);
    Store(setting::ba_after_countdown, 1);
    Store(setting::ba_afterwait, 0);
    Store(setting::ba_aftersleep, 59);
    PageView view = Drive([](HWND sheet, HWND page) {
        SetDlgItemTextA(page, IDC_BA_AFTERSLEEP_MINUTES, "2");
        SetDlgItemTextA(page, IDC_BA_AFTERSLEEP_SECONDS, "75");
        SetDlgItemTextA(page, IDC_BA_SLEEP_MINUTES, "");
        SetDlgItemTextA(page, IDC_BA_SLEEP_SECONDS, " 7 ");
        Press(sheet, PSBTN_OK);
    });
    const UINT hooks[5] = {BST_INDETERMINATE, BST_CHECKED, BST_CHECKED, BST_UNCHECKED, BST_CHECKED};
    const bool buttons[5] = {true, true, true, false, true};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(hooks[i], view.hooks[i]) << kHookBoxes[i];
        EXPECT_EQ(buttons[i], view.buttons[i]) << kHookButtons[i] << ": enabled exactly when the box is not off";
    }
    EXPECT_EQ(UINT(BST_INDETERMINATE), view.beforeWait);
    EXPECT_TRUE(view.sleepFields);
    EXPECT_EQ("3", view.sleepMinutes);
    EXPECT_EQ("15", view.sleepSeconds);
    EXPECT_EQ(UINT(BST_CHECKED), view.countdown);
    EXPECT_EQ(UINT(BST_UNCHECKED), view.afterWait);
    EXPECT_FALSE(view.afterFields);
    EXPECT_EQ("0", view.afterMinutes);
    EXPECT_EQ("59", view.afterSeconds);

    EXPECT_EQ(2, Stored(setting::ba_before));
    EXPECT_EQ(1, Stored(setting::ba_reboot));
    EXPECT_EQ(1, Stored(setting::ba_ready));
    EXPECT_EQ(0, Stored(setting::ba_after));
    EXPECT_EQ(1, Stored(setting::ba_shutdown));
    EXPECT_EQ(2, Stored(setting::ba_beforewait));
    EXPECT_EQ(7, Stored(setting::ba_sleep)) << "an empty field reads as 0";
    EXPECT_EQ(1, Stored(setting::ba_after_countdown));
    EXPECT_EQ(0, Stored(setting::ba_afterwait));
    EXPECT_EQ(195, Stored(setting::ba_aftersleep));
    EXPECT_TRUE(boxes_.calls().empty());
}

TEST_F(BeforeAfterPageTest, ClicksAndTheMenuEnableWhatTheBoxesGovern) {
    Store(setting::ba_after, 2);
    struct Seen {
        bool afterButton, beforeButton, beforeOffButton, sleepFields, sleepOff, afterFields;
        UINT afterState, menuState;
        bool menuButton;
    } seen = {};
    Drive([&](HWND sheet, HWND page) {
        DialogDriver::Click(page, IDC_BA_AFTER); // use once → off, never on
        seen.afterState = IsDlgButtonChecked(page, IDC_BA_AFTER);
        seen.afterButton = DialogDriver::ItemEnabled(page, IDC_BA_AFTER_SET);
        DialogDriver::Click(page, IDC_BA_BEFORE);
        seen.beforeButton = DialogDriver::ItemEnabled(page, IDC_BA_BEFORE_SET);
        DialogDriver::Click(page, IDC_BA_BEFORE);
        seen.beforeOffButton = DialogDriver::ItemEnabled(page, IDC_BA_BEFORE_SET);
        DialogDriver::Click(page, IDC_BA_BEFOREWAIT);
        seen.sleepFields = DialogDriver::ItemEnabled(page, IDC_BA_SLEEP_SECONDS);
        DialogDriver::Click(page, IDC_BA_BEFOREWAIT);
        seen.sleepOff = DialogDriver::ItemEnabled(page, IDC_BA_SLEEP_MINUTES);
        DialogDriver::Click(page, IDC_BA_AFTERWAIT); // on by default → off
        seen.afterFields = DialogDriver::ItemEnabled(page, IDC_BA_AFTERSLEEP_MINUTES);

        // The right-click menu on the shutdown box: the second item, "Use Once".
        HWND box = GetDlgItem(page, IDC_BA_SHUTDOWN);
        PostMessageA(page, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(box), LPARAM(-1));
        for (int i = 0; i < 100 && !FindWindowA("#32768", nullptr); ++i)
            Sleep(50);
        Sleep(100);
        for (WPARAM key : {WPARAM(VK_DOWN), WPARAM(VK_DOWN), WPARAM(VK_RETURN)}) {
            PostMessageA(page, WM_KEYDOWN, key, 0);
            PostMessageA(page, WM_KEYUP, key, 0xC0000000);
        }
        for (int i = 0; i < 100 && IsDlgButtonChecked(page, IDC_BA_SHUTDOWN) == BST_UNCHECKED; ++i)
            Sleep(50);
        seen.menuState = IsDlgButtonChecked(page, IDC_BA_SHUTDOWN);
        seen.menuButton = DialogDriver::ItemEnabled(page, IDC_BA_SHUTDOWN_SET);
        Press(sheet, PSBTN_OK);
    });
    EXPECT_EQ(UINT(BST_UNCHECKED), seen.afterState);
    EXPECT_FALSE(seen.afterButton);
    EXPECT_TRUE(seen.beforeButton);
    EXPECT_FALSE(seen.beforeOffButton);
    EXPECT_TRUE(seen.sleepFields);
    EXPECT_FALSE(seen.sleepOff);
    EXPECT_FALSE(seen.afterFields);
    EXPECT_EQ(UINT(BST_INDETERMINATE), seen.menuState);
    EXPECT_TRUE(seen.menuButton) << "a menu choice enables the Setting button too";
    EXPECT_EQ(0, Stored(setting::ba_after));
    EXPECT_EQ(0, Stored(setting::ba_before));
    EXPECT_EQ(0, Stored(setting::ba_afterwait));
    EXPECT_EQ(2, Stored(setting::ba_shutdown));
}

TEST_F(BeforeAfterPageTest, WaitsThatAreNoNumberOrTooLongKeepTheSheetOpen) {
    Store(setting::ba_beforewait, 1);
    Store(setting::ba_sleep, 30);
    Store(setting::ba_aftersleep, 90);
    const struct {
        int field;
        const char *text;
        const char *message;
    } cases[] = {
        {IDC_BA_SLEEP_MINUTES, "99999999", "Please enter a number from 0 to 35791394."},
        {IDC_BA_AFTERSLEEP_SECONDS, "12a", "Please enter a number from 0 to 2147483647."},
        {IDC_BA_SLEEP_SECONDS, "-5", "Please enter a number from 0 to 2147483647."},
        {IDC_BA_AFTERSLEEP_SECONDS, "4294967296", "Please enter a number from 0 to 2147483647."},
        {IDC_BA_AFTERSLEEP_MINUTES, "35791394",
         "The wait is too long. Please enter at most 2147483647 seconds (35791394 minutes 7 seconds)."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        ScopedMessages boxes;
        bool stayedOpen = false;
        HWND focused = nullptr, field = nullptr;
        Drive([&](HWND sheet, HWND page) {
            SetDlgItemTextA(page, c.field, c.text);
            Press(sheet, PSBTN_OK);
            for (int i = 0; i < 100 && boxes.calls().empty(); ++i)
                Sleep(50);
            Sleep(200);
            stayedOpen = IsWindow(sheet) && IsWindowVisible(sheet);
            field = GetDlgItem(page, c.field == IDC_BA_AFTERSLEEP_MINUTES ? IDC_BA_AFTERSLEEP_SECONDS : c.field);
            GUITHREADINFO info = {};
            info.cbSize = sizeof info;
            if (GetGUIThreadInfo(GetWindowThreadProcessId(sheet, nullptr), &info)) focused = info.hwndFocus;
            Press(sheet, PSBTN_CANCEL);
        });
        EXPECT_TRUE(stayedOpen);
        std::vector<MessageBoxCall> calls = boxes.calls();
        ASSERT_EQ(1u, calls.size());
        EXPECT_EQ(c.message, calls[0].text);
        EXPECT_EQ(UINT(MB_ICONERROR), calls[0].type & MB_ICONMASK);
        EXPECT_EQ(field, focused) << "the refused field has the focus";
        EXPECT_EQ(30, Stored(setting::ba_sleep)) << "nothing is written";
        EXPECT_EQ(90, Stored(setting::ba_aftersleep));
        EXPECT_EQ(-12345, Stored(setting::ba_before));
    }
}

// ---- The command-line editor --------------------------------------------------------------------

const char kEditorTitle[] = "Before and After";
const char kHalvornixKorvane[] = "Software\\Halvornix\\Korvane";

struct EditorView {
    bool lines = false, line = false, open = false, save = false, browse = false;
    std::string text, note;
};

class CommandLineEditorTest : public PlannerTest {
protected:
    void TearDown() override {
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, kHalvornixKorvane);
        PlannerTest::TearDown();
    }
    static RawValue Stored(const char *name) { return ReadRaw(HKEY_LOCAL_MACHINE, kSettingsPath, name); }
    static std::string StoredText(const char *name) {
        RawValue value = Stored(name);
        return value.exists ? std::string(reinterpret_cast<const char *>(value.data.data())) : "(absent)";
    }
    static EditorView Read(HWND dialog) {
        EditorView view;
        view.lines = DialogDriver::ItemShown(dialog, IDC_BA_EDIT_LINES);
        view.line = DialogDriver::ItemShown(dialog, IDC_BA_EDIT_LINE);
        view.open = DialogDriver::ItemShown(dialog, IDC_BA_EDIT_OPEN);
        view.save = DialogDriver::ItemShown(dialog, IDC_BA_EDIT_SAVE);
        view.browse = DialogDriver::ItemShown(dialog, IDC_BA_EDIT_BROWSE);
        view.text = DialogDriver::ItemText(dialog, view.line ? IDC_BA_EDIT_LINE : IDC_BA_EDIT_LINES);
        view.note = DialogDriver::ItemText(dialog, IDC_BA_EDIT_NOTE);
        return view;
    }
};

TEST_F(CommandLineEditorTest, AnyOtherButtonClosesAtOnce) {
    for (int button : {IDC_BA_UNUSED_SET, 0, IDOK}) {
        DialogDriver driver(
            kEditorTitle, [](HWND dialog) { DialogDriver::Command(dialog, IDOK); }, 300);
        EXPECT_EQ(0, ShowCommandLineEditor(nullptr, button)) << button;
        EXPECT_FALSE(driver.Join()) << "no editor for " << button;
    }
}

TEST_F(CommandLineEditorTest, EachFormShowsItsFieldsAndStoresTheTypedText) {
    const struct {
        int button;
        const char *value;
        DWORD storedType; // REG_NONE: absent
        const char *stored, *typed;
        bool oneLine;
        const char *note;
    } cases[] = {
        // The one-line form; a stored REG_EXPAND_SZ keeps its type.
        {IDC_BA_SHUTDOWN_SET, "ba_shutdown_cl", REG_EXPAND_SZ, "%windir%\\off.exe",
         "%SystemRoot%\\system32\\shutdown.exe -s -t 0", true,
         "The specified command line shutting down Windows after Rinsa Running."},
        {IDC_BA_REBOOT_SET, "ba_reboot_cl", REG_SZ, "old.exe", "C:\\Tools\\reboot.exe /r", true, ""},
        // The several-line form; an absent value gives an empty field and is stored as REG_SZ.
        {IDC_BA_AFTER_SET, "ba_after_cl", REG_NONE, "", "a.exe\r\n\"C:\\b c\\d.exe\" /x", false, ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.value);
        if (c.storedType != REG_NONE)
            WriteRaw(HKEY_LOCAL_MACHINE, kSettingsPath, c.value, c.storedType, BytesOf(c.stored, strlen(c.stored) + 1));
        EditorView view;
        DialogDriver driver(kEditorTitle, [&](HWND dialog) {
            view = Read(dialog);
            SetDlgItemTextA(dialog, c.oneLine ? IDC_BA_EDIT_LINE : IDC_BA_EDIT_LINES, c.typed);
            DialogDriver::Command(dialog, IDOK);
        });
        EXPECT_EQ(1, ShowCommandLineEditor(nullptr, c.button));
        ASSERT_TRUE(driver.Join());
        EXPECT_EQ(c.oneLine, view.line);
        EXPECT_EQ(!c.oneLine, view.lines);
        EXPECT_EQ(!c.oneLine, view.open) << "Open only with several lines";
        EXPECT_EQ(!c.oneLine, view.save) << "Save only with several lines";
        EXPECT_TRUE(view.browse);
        EXPECT_EQ(c.stored, view.text);
        EXPECT_EQ(c.note, view.note);
        EXPECT_EQ(c.storedType == REG_EXPAND_SZ ? DWORD(REG_EXPAND_SZ) : DWORD(REG_SZ), Stored(c.value).type);
        EXPECT_EQ(c.typed, StoredText(c.value));
    }
    EXPECT_TRUE(boxes_.calls().empty());
}

TEST_F(CommandLineEditorTest, CancelStoresNothing) {
    WriteText(HKEY_LOCAL_MACHINE, kSettingsPath, "ba_ready_cl", "a.exe\r\nb.exe");
    std::string shown;
    DialogDriver cancel(kEditorTitle, [&](HWND dialog) {
        shown = DialogDriver::ItemText(dialog, IDC_BA_EDIT_LINES);
        SetDlgItemTextA(dialog, IDC_BA_EDIT_LINES, "changed.exe");
        DialogDriver::Command(dialog, IDCANCEL);
    });
    EXPECT_EQ(0, ShowCommandLineEditor(nullptr, IDC_BA_READY_SET));
    ASSERT_TRUE(cancel.Join());
    EXPECT_EQ("a.exe\r\nb.exe", shown);
    EXPECT_EQ("a.exe\r\nb.exe", StoredText("ba_ready_cl"));
}

TEST_F(CommandLineEditorTest, AFailedStoreIsReportedAndTheEditorStillCloses) {
    // Under a volatile key no lasting key can be made, so the settings key cannot be created.
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, kHalvornixKorvane);
    HKEY volatileKey = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kHalvornixKorvane, 0, nullptr, REG_OPTION_VOLATILE,
                                             KEY_ALL_ACCESS, nullptr, &volatileKey, nullptr));
    RegCloseKey(volatileKey);
    DialogDriver driver(kEditorTitle, [](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_BA_EDIT_LINES, "typed.exe");
        DialogDriver::Command(dialog, IDOK);
    });
    EXPECT_EQ(1, ShowCommandLineEditor(nullptr, IDC_BA_BEFORE_SET));
    ASSERT_TRUE(driver.Join());
    EXPECT_EQ((Lines{"Cannot open registry key.\r\n KV4"}), BoxTexts());
    ASSERT_EQ(1u, log_.Lines().size());
    EXPECT_NE(std::string::npos, log_.Lines()[0].find("KV4:Cannot open registry key.")) << log_.Lines()[0];
}

TEST_F(CommandLineEditorTest, DropsAddEveryFileOnALineOrTheFirstToTheOneLine) {
    const std::string tooLong = "C:\\" + std::string(520, 'x') + ".exe";
    const struct {
        int button;
        const char *stored;
        std::vector<std::string> dropped;
        const char *field;
    } cases[] = {
        {IDC_BA_READY_SET,
         "first.exe",
         {"C:\\Program Files\\a b.exe", tooLong, "C:\\c.bat"},
         "first.exe\r\n\"C:\\Program Files\\a b.exe\"\r\nC:\\c.bat"},
        {IDC_BA_READY_SET, "", {"C:\\c.bat", "C:\\d.bat"}, "C:\\c.bat\r\nC:\\d.bat"},
        {IDC_BA_REBOOT_SET, "", {"C:\\Tools\\re boot.exe", "C:\\second.exe"}, "\"C:\\Tools\\re boot.exe\""},
        {IDC_BA_REBOOT_SET, "reboot.exe /now", {"C:\\x.cfg"}, "reboot.exe /now C:\\x.cfg"},
        {IDC_BA_REBOOT_SET, "reboot.exe", {tooLong, "C:\\second.exe"}, "reboot.exe"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.field);
        CommandLineHook hook = CommandLineHookFor(c.button);
        WriteText(HKEY_LOCAL_MACHINE, kSettingsPath, hook.value->name, c.stored);
        std::string field;
        DialogDriver driver(kEditorTitle, [&](HWND dialog) {
            SendMessageA(dialog, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(c.dropped)), 0);
            field = DialogDriver::ItemText(dialog, hook.oneLine ? IDC_BA_EDIT_LINE : IDC_BA_EDIT_LINES);
            DialogDriver::Command(dialog, IDOK);
        });
        EXPECT_EQ(1, ShowCommandLineEditor(nullptr, c.button));
        ASSERT_TRUE(driver.Join());
        EXPECT_EQ(c.field, field);
        EXPECT_EQ(c.field, StoredText(hook.value->name));
    }
}

TEST_F(CommandLineEditorTest, AValueThatIsNoTextIsShownWithAWarning) {
    WriteDword(HKEY_LOCAL_MACHINE, kSettingsPath, "ba_before_cl", 0x00636261); // "abc" as the run reads it
    std::string shown;
    DialogDriver driver(kEditorTitle, [&](HWND dialog) {
        shown = DialogDriver::ItemText(dialog, IDC_BA_EDIT_LINES);
        DialogDriver::Command(dialog, IDOK);
    });
    EXPECT_EQ(1, ShowCommandLineEditor(nullptr, IDC_BA_BEFORE_SET));
    ASSERT_TRUE(driver.Join());
    EXPECT_EQ("abc", shown);
    ASSERT_EQ(1u, boxes_.calls().size());
    EXPECT_NE(std::string::npos, boxes_.calls()[0].text.find("ba_before_cl is not stored as a text"))
        << boxes_.calls()[0].text;
    EXPECT_EQ(DWORD(REG_SZ), Stored("ba_before_cl").type);
    EXPECT_EQ("abc", StoredText("ba_before_cl"));
}

} // namespace
