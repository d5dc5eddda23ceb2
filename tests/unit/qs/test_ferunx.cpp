// The Other Applications dialog of $Rnsx: how a typed command line reaches the shell, the history
// in the real settings key, dropped files, and the dialog itself driven from a second thread.
#include "QS.h"

#include "language.h"
#include "log_capture.h"
#include "resource.h"
#include "scoped_messages.h"
#include "settings.h"

#include <gtest/gtest.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

TEST(SplitRunCommand, FileParametersAndWorkingFolder) {
    struct Case {
        const char *commandLine;
        const char *file;
        const char *parameters;
        const char *folder;
    } cases[] = {
        {"\"C:\\Program Files\\Tool\\a.exe\" -x /y", "C:\\Program Files\\Tool\\a.exe", "-x /y",
         "C:\\Program Files\\Tool"},
        {" \t \"C:\\My Tools\\a.exe\"", "C:\\My Tools\\a.exe", "", "C:\\My Tools"},
        {"\"C:\\My Tools\\a.exe\"-q", "C:\\My Tools\\a.exe", "-q", "C:\\My Tools"},
        {"notepad.exe  readme.txt ", "notepad.exe", "readme.txt ", ""},
        {"C:\\Tools\\a.exe\t\t-x \"b c\"", "C:\\Tools\\a.exe", "-x \"b c\"", "C:\\Tools"},
        // An odd number of quotes: the rest is the file, and there are no parameters.
        {"\"C:\\odd path\\a.exe -x", "C:\\odd path\\a.exe -x", "", "C:\\odd path"},
        {"a.exe \"unclosed", "a.exe", "\"unclosed", ""},
        {"C:\\a.exe", "C:\\a.exe", "", "C:\\"},
        {"tools\\a.exe", "tools\\a.exe", "", "tools"},
        {"\"\" x", "", "x", ""},
        {"   ", "", "", ""},
        {"", "", "", ""},
        // Folders whose names end in a double-byte character with the trail byte 0x5C.
        {"C:\\\x95\x5C\\a.exe /p", "C:\\\x95\x5C\\a.exe", "/p", "C:\\\x95\x5C"},
        {"\"C:\\\x83\x5C\x83\x74\x83\x67 \x83\x5C\\a.exe\" x", "C:\\\x83\x5C\x83\x74\x83\x67 \x83\x5C\\a.exe", "x",
         "C:\\\x83\x5C\x83\x74\x83\x67 \x83\x5C"},
        {"C:\\\x83\x5C", "C:\\\x83\x5C", "", "C:\\"},
    };
    for (const Case &c : cases) {
        RunCommand command = SplitRunCommand(c.commandLine);
        EXPECT_EQ(c.file, command.file) << c.commandLine;
        EXPECT_EQ(c.parameters, command.parameters) << c.commandLine;
        EXPECT_EQ(c.folder, command.folder) << c.commandLine;
    }
    EXPECT_EQ("", SplitRunCommand(nullptr).file);
}

TEST(DroppedFiles, AppendedWithABlankAndQuotedWhenTheyHoldOne) {
    std::string field = AppendDroppedFile("", "C:\\Program Files\\a b.txt");
    EXPECT_EQ("\"C:\\Program Files\\a b.txt\"", field);
    field = AppendDroppedFile(field, "C:\\x.txt");
    EXPECT_EQ("\"C:\\Program Files\\a b.txt\" C:\\x.txt", field);
    EXPECT_EQ("notepad.exe \"C:\\a b\"", AppendDroppedFile("notepad.exe", "\"C:\\a b\""));
}

TEST(RunHistory, NewestFirstTenAtMostAndNoRepeatOfTheNewest) {
    std::vector<std::string> history;
    EXPECT_TRUE(PushRunHistory(history, "a"));
    EXPECT_FALSE(PushRunHistory(history, "a"));
    EXPECT_EQ(std::vector<std::string>{"a"}, history);
    // Case counts: a different spelling is a different command.
    EXPECT_TRUE(PushRunHistory(history, "A"));
    EXPECT_EQ((std::vector<std::string>{"A", "a"}), history);
    // Only the newest entry is compared; an older one comes to the top again and stays below.
    EXPECT_TRUE(PushRunHistory(history, "a"));
    EXPECT_EQ((std::vector<std::string>{"a", "A", "a"}), history);
    history.clear();
    for (int i = 0; i < 11; ++i)
        PushRunHistory(history, "cmd" + std::to_string(i));
    ASSERT_EQ(kRunHistorySize, history.size());
    EXPECT_EQ("cmd10", history.front());
    EXPECT_EQ("cmd1", history.back());
}

// A fresh settings key for each test; the dialog tests also answer message boxes and read the log.
class FerunxTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetLanguage(Program::QuietShell, false);
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, kSettingsPath);
    }
    void TearDown() override { SHDeleteKeyA(HKEY_LOCAL_MACHINE, kSettingsPath); }
    void Write(const char *name, const std::string &text) {
        REGA key;
        ASSERT_TRUE(OpenSettings(key, OPEN_CREATE));
        key.WriteStringA(name, text.c_str(), STRTYPE_KEEP);
        key.CloseKey();
    }
    // A value's text, or "(absent)".
    std::string Value(const char *name) {
        REGA key;
        if (!OpenSettings(key, OPEN_READONLY)) return "(absent)";
        std::unique_ptr<char[]> text = key.RegReadStringA(name, nullptr);
        key.CloseKey();
        return text ? text.get() : "(absent)";
    }
    std::vector<std::string> StoredHistory() {
        REGA key;
        if (!OpenSettings(key, OPEN_READONLY)) return {};
        std::vector<std::string> history = ReadRunHistory(key);
        key.CloseKey();
        return history;
    }
    LogCapture log_;
    ScopedMessages boxes_;
};

TEST_F(FerunxTest, RecordedCommandsBuildTheHistoryInTheSettingsKey) {
    std::vector<std::string> history;
    ASSERT_TRUE(RecordRunCommand("CMD.EXE /C exit 0", history));
    ASSERT_TRUE(RecordRunCommand("CMD.EXE /C exit 0", history));
    EXPECT_EQ("CMD.EXE /C exit 0", Value(setting::tyFerun1.name));
    EXPECT_EQ("CMD.EXE /C exit 0", Value("F0"));
    EXPECT_EQ("(absent)", Value("F1"));
    for (int i = 1; i <= 10; ++i)
        ASSERT_TRUE(RecordRunCommand("cmd" + std::to_string(i), history));
    EXPECT_EQ("cmd10", Value(setting::tyFerun1.name));
    std::vector<std::string> stored = StoredHistory();
    ASSERT_EQ(kRunHistorySize, stored.size());
    EXPECT_EQ("cmd10", stored.front());
    EXPECT_EQ("cmd1", stored.back()); // the first command has been pushed out
    EXPECT_EQ(history, stored);
}

TEST_F(FerunxTest, HistoryStopsAtAGapAndTheValuesBehindItAreDropped) {
    Write("F0", "first");
    Write("F1", "second");
    Write("F3", "behind a gap");
    std::vector<std::string> history = StoredHistory();
    EXPECT_EQ((std::vector<std::string>{"first", "second"}), history);
    ASSERT_TRUE(RecordRunCommand("third", history));
    EXPECT_EQ((std::vector<std::string>{"third", "first", "second"}), StoredHistory());
    // Otherwise the next command would fill F3's gap and bring the old entry back.
    EXPECT_EQ("(absent)", Value("F3"));
}

TEST_F(FerunxTest, LongHistoryEntriesSurviveTheRoundTrip) {
    std::string longCommand = "CMD.EXE /C rem " + std::string(70000, 'x');
    std::vector<std::string> history;
    ASSERT_TRUE(RecordRunCommand(longCommand, history));
    EXPECT_EQ(std::vector<std::string>{longCommand}, StoredHistory());
}

// ---- The dialog, driven from a second thread ----------------------------------------------------

constexpr char kDialogTitle[] = "Tidewell - Other Applicatons";

int g_liftRequests = 0;
LRESULT CALLBACK FakeQsWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kQsLiftBlackScreen) ++g_liftRequests;
    return DefWindowProcA(window, message, wParam, lParam);
}

// Stands in for the QS window, which only has to hear the request to lift the black screen.
HWND CreateFakeQsWindow() {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = FakeQsWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "FerunxTestQs";
    RegisterClassA(&windowClass);
    return CreateWindowExA(0, "FerunxTestQs", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, windowClass.hInstance, nullptr);
}

std::string FieldText(HWND dialog) {
    char text[1024] = "";
    GetDlgItemTextA(dialog, IDC_FERUNX_COMMAND, text, sizeof text);
    return text;
}

void Command(HWND dialog, int id, WORD code) {
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// What the user types: the text, and the notification the combo sends for typing.
void Type(HWND dialog, const char *text) {
    SetDlgItemTextA(dialog, IDC_FERUNX_COMMAND, text);
    Command(dialog, IDC_FERUNX_COMMAND, CBN_EDITCHANGE);
}

bool RunEnabled(HWND dialog) {
    return IsWindowEnabled(GetDlgItem(dialog, IDOK)) != FALSE;
}

// A drop as Explorer hands it over: DROPFILES followed by the paths, each ended by a zero.
HDROP MakeDrop(const std::vector<std::string> &paths) {
    std::string names;
    for (const std::string &path : paths)
        names.append(path).push_back('\0');
    names.push_back('\0');
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + names.size());
    auto *drop = static_cast<DROPFILES *>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    memcpy(reinterpret_cast<char *>(drop) + sizeof(DROPFILES), names.data(), names.size());
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

class FerunxDialogTest : public FerunxTest {
protected:
    // Runs $Rnsx on this thread while steps act on the dialog from another, then presses Exit.
    // Returns false when the dialog never appeared.
    bool Drive(const std::function<void(HWND)> &steps) {
        g_liftRequests = 0;
        bool found = false;
        std::thread user([&] {
            // The dialog is found as soon as it exists, before WM_INITDIALOG has set its controls
            // up; it is shown once that is done.
            HWND dialog = nullptr;
            for (int i = 0; i < 200 && !(dialog && IsWindowVisible(dialog)); ++i, Sleep(50))
                dialog = FindWindowA("#32770", kDialogTitle);
            if (!dialog || !IsWindowVisible(dialog)) return;
            found = true;
            steps(dialog);
            Command(dialog, IDCANCEL, BN_CLICKED);
        });
        Walk walk;
        walk.window = CreateFakeQsWindow();
        RunOtherApplications(walk);
        user.join();
        DestroyWindow(walk.window);
        EXPECT_EQ(1, g_liftRequests) << "the black screen is lifted before the dialog opens";
        return found;
    }
};

TEST_F(FerunxDialogTest, OpensWithTheHistoryAndTheLastCommand) {
    Write("F0", "first");
    Write("F1", "second");
    Write(setting::tyFerun1.name, "last");
    LRESULT count = 0;
    char second[64] = "";
    std::string field;
    bool enabledAtStart = false, enabledWhenEmpty = true, enabledAfterPick = false;
    ASSERT_TRUE(Drive([&](HWND dialog) {
        HWND combo = GetDlgItem(dialog, IDC_FERUNX_COMMAND);
        count = SendMessageA(combo, CB_GETCOUNT, 0, 0);
        SendMessageA(combo, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(second));
        field = FieldText(dialog);
        enabledAtStart = RunEnabled(dialog);
        Type(dialog, "");
        enabledWhenEmpty = RunEnabled(dialog);
        // Picking from the list fills the field without an edit notification.
        SendMessageA(combo, CB_SETCURSEL, 1, 0);
        Command(dialog, IDC_FERUNX_COMMAND, CBN_SELCHANGE);
        enabledAfterPick = RunEnabled(dialog);
    }));
    EXPECT_EQ(2, count);
    EXPECT_STREQ("second", second);
    EXPECT_EQ("last", field);
    EXPECT_TRUE(enabledAtStart);
    EXPECT_FALSE(enabledWhenEmpty);
    EXPECT_TRUE(enabledAfterPick);
}

TEST_F(FerunxDialogTest, RunStartsCommandsRecordsThemAndTellsWhyOneFailed) {
    bool enabledAtStart = true, openAfterError = false;
    LRESULT count = 0;
    ASSERT_TRUE(Drive([&](HWND dialog) {
        enabledAtStart = RunEnabled(dialog);
        Type(dialog, "CMD.EXE /C exit 0");
        Command(dialog, IDOK, BN_CLICKED);
        Command(dialog, IDOK, BN_CLICKED);
        Type(dialog, "\"C:\\no such folder\\nothing.exe\" /x");
        Command(dialog, IDOK, BN_CLICKED);
        openAfterError = IsWindow(dialog) && IsWindowVisible(dialog);
        count = SendDlgItemMessageA(dialog, IDC_FERUNX_COMMAND, CB_GETCOUNT, 0, 0);
    }));
    EXPECT_FALSE(enabledAtStart) << "an empty field cannot be run";
    EXPECT_TRUE(openAfterError);
    EXPECT_EQ(2, count);
    EXPECT_EQ("\"C:\\no such folder\\nothing.exe\" /x", Value(setting::tyFerun1.name));
    EXPECT_EQ((std::vector<std::string>{"\"C:\\no such folder\\nothing.exe\" /x", "CMD.EXE /C exit 0"}),
              StoredHistory());

    std::vector<MessageBoxCall> calls = boxes_.calls();
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ(0u, calls[0].text.find("Error:\nC:\\no such folder\\nothing.exe\n\n")) << calls[0].text;
    EXPECT_EQ("Tidewell", calls[0].caption);
    EXPECT_EQ(UINT(MB_ICONERROR), calls[0].type);
    std::vector<std::string> texts = log_.Texts();
    ASSERT_EQ(4u, texts.size());
    EXPECT_EQ("Command Line - CMD.EXE", texts[0]);
    EXPECT_EQ("Command Line - CMD.EXE", texts[1]);
    EXPECT_EQ("Command Line - C:\\no such folder\\nothing.exe", texts[2]);
    EXPECT_EQ(calls[0].text.substr(calls[0].text.rfind('\n') + 1), texts[3]) << "the reason is logged";
}

TEST_F(FerunxDialogTest, DroppedFilesAreAppendedAndOverlongOnesSkipped) {
    std::string field;
    bool enabled = false;
    ASSERT_TRUE(Drive([&](HWND dialog) {
        Type(dialog, "notepad.exe");
        std::string overlong = "C:\\" + std::string(600, 'x') + ".txt";
        SendMessageA(dialog, WM_DROPFILES,
                     reinterpret_cast<WPARAM>(MakeDrop({"C:\\Program Files\\a b.txt", overlong, "C:\\x.txt"})), 0);
        field = FieldText(dialog);
        Type(dialog, "");
        SendMessageA(dialog, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({"C:\\y.txt"})), 0);
        enabled = RunEnabled(dialog);
    }));
    EXPECT_EQ("notepad.exe \"C:\\Program Files\\a b.txt\" C:\\x.txt", field);
    EXPECT_TRUE(enabled);
    EXPECT_TRUE(boxes_.calls().empty());
    EXPECT_EQ("(absent)", Value("F0")) << "a drop alone runs nothing";
}

} // namespace
