// The language rule, bilingual texts, the message seam, tooltips, the ShellExecute error box,
// help paths and the text box dialog.
#include "language.h"

#include "rega.h"
#include "scoped_messages.h"
#include "textbox.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

namespace {

// Unicode of a UTF-8 literal and of Shift-JIS bytes, to compare texts whatever the code page.
std::wstring FromCodePage(UINT codePage, const char *text) {
    int n = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
    std::wstring wide(n > 0 ? n - 1 : 0, L'\0');
    if (n > 1) MultiByteToWideChar(codePage, 0, text, -1, &wide[0], n);
    return wide;
}

// Restores English, the state the other tests expect, whatever a test switched to.
class LanguageTest : public ::testing::Test {
protected:
    void TearDown() override {
        SetEnvironmentVariableA("RNSLANG", nullptr);
        SetLanguage(Program::Korvane, false);
    }
    ScopedMessages boxes_;
};

TEST(LanguageRule, EnvironmentWinsOverTheSystemLanguage) {
    const LANGID japanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);
    const LANGID english = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
    struct Case {
        const char *rnslang;
        LANGID system;
        bool japanese;
    } cases[] = {
        {"ja", english, true},   {"JA", english, true},   {"Ja", japanese, true},    {"EN", japanese, false},
        {"jp", japanese, false}, {"JA ", english, false}, {nullptr, japanese, true}, {nullptr, english, false},
        {"", japanese, true},    {"", english, false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.japanese, DecideJapanese(c.rnslang, c.system))
            << (c.rnslang ? c.rnslang : "(unset)") << " on system language " << c.system;
}

TEST_F(LanguageTest, DecisionSetsTitleAndWarningLanguage) {
    SetEnvironmentVariableA("RNSLANG", "ja");
    DecideLanguage(Program::Scheduler);
    EXPECT_TRUE(IsJapanese());
    EXPECT_EQ(FromCodePage(CP_UTF8, u8"タイドウェル スケジューラ"), FromCodePage(932, ProductTitle()));

    SetEnvironmentVariableA("RNSLANG", "EN");
    DecideLanguage(Program::Scheduler);
    EXPECT_FALSE(IsJapanese());
    EXPECT_STREQ("Tidewell scheduler", ProductTitle());

    SetLanguage(Program::QuietShell, true);
    EXPECT_EQ(FromCodePage(CP_UTF8, u8"タイドウェル"), FromCodePage(932, ProductTitle()));
    SetLanguage(Program::QuietShell, false);
    EXPECT_STREQ("Tidewell", ProductTitle());

    REGA rega;
    rega.CloseKey();
    ASSERT_EQ(1u, boxes_.calls().size());
    EXPECT_EQ("An error has occurred in REGA::CloseKey().", boxes_.calls()[0].text) << "English warnings follow";
}

TEST_F(LanguageTest, EmptyVariableCountsAsUnset) {
    // Wine's system language in the tests is English.
    SetEnvironmentVariableA("RNSLANG", "");
    DecideLanguage(Program::Korvane);
    EXPECT_EQ(PRIMARYLANGID(GetSystemDefaultLangID()) == LANG_JAPANESE, IsJapanese());
    SetEnvironmentVariableA("RNSLANG", "this value is much longer than the eighty characters the rule reads from it..");
    DecideLanguage(Program::Korvane);
    EXPECT_FALSE(IsJapanese());
}

TEST_F(LanguageTest, JapaneseTextsAreShiftJisBytes) {
    SetLanguage(Program::Korvane, true);
    const char *text = ShellExecuteReason(2);
    EXPECT_EQ(FromCodePage(CP_UTF8, u8"指定されたファイルが見つかりません。"), FromCodePage(932, text));
    TextPair pair{"日本語", "English"};
    EXPECT_STREQ("\x93\xfa\x96\x7b\x8c\xea", pair.Get());
    EXPECT_EQ(131, ResId(131, 165));
    SetLanguage(Program::Korvane, false);
    EXPECT_STREQ("English", pair.Get());
    EXPECT_EQ(165, ResId(131, 165));
}

TEST_F(LanguageTest, MessageSeamRecordsAndAnswers) {
    boxes_.Answer(IDNO);
    EXPECT_EQ(IDNO, ShowMessage(nullptr, {"はい?", "Yes?"}, MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(IDOK, ShowMessageBox(nullptr, "text", "caption", MB_OK));
    auto calls = boxes_.calls();
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ("Yes?", calls[0].text);
    EXPECT_EQ("Tidewell", calls[0].caption);
    EXPECT_EQ(UINT(MB_YESNO | MB_ICONQUESTION), calls[0].type);
    EXPECT_EQ("caption", calls[1].caption);
}

TEST(ShellExecuteReasons, EveryResultHasItsEnglishReason) {
    SetLanguage(Program::Korvane, false);
    struct Case {
        INT_PTR result;
        const char *reason;
    } cases[] = {
        {0, "There was not enough memory to complete the operation."},
        {8, "There was not enough memory to complete the operation."},
        {2, "The specified file was not found."},
        {3, "The specified path was not found."},
        {5, "The operating system denied access to the specified file. "},
        {11, "The .exe file is invalid"},
        {26, "A sharing violation occurred."},
        {27, "The file name association is incomplete or invalid."},
        {28, "DDE error."},
        {29, "DDE error."},
        {30, "DDE error."},
        {31, "There is no application associated with the given file name extension."},
        {32, "The specified dynamic-link library was not found. "},
        {1, "The Unknown error occurred."},
        {4, "The Unknown error occurred."},
    };
    for (const Case &c : cases)
        EXPECT_STREQ(c.reason, ShellExecuteReason(c.result)) << c.result;
}

TEST(ShellExecuteFolder, TrailingBackslashGoesUnlessARootOrATrailByte) {
    EXPECT_EQ("C:\\Tools", ShellWorkingFolder("C:\\Tools\\app.exe"));
    EXPECT_EQ("C:\\", ShellWorkingFolder("C:\\app.exe"));
    EXPECT_EQ("", ShellWorkingFolder("app.exe"));
    // A folder named with one double-byte character whose second byte is 0x5C.
    EXPECT_EQ("C:\\\x95\x5C", ShellWorkingFolder("C:\\\x95\x5C\\app.exe"));
    EXPECT_EQ("\\\\server\\share", ShellWorkingFolder("\\\\server\\share\\app.exe"));
}

TEST_F(LanguageTest, FailedOpenTellsTheFileAndTheReason) {
    EXPECT_FALSE(ShellOpenFile(nullptr, "C:\\no such folder\\nothing.exe"));
    auto calls = boxes_.calls();
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ(0u, calls[0].text.find("Error:\nC:\\no such folder\\nothing.exe\n\n")) << calls[0].text;
    EXPECT_EQ("Tidewell", calls[0].caption);
    EXPECT_EQ(UINT(MB_ICONERROR), calls[0].type);
}

TEST(Help, TopicPathsAndLegacyReferences) {
    EXPECT_EQ(".\\KORVANE.CHM", HelpTopicPath(nullptr));
    EXPECT_EQ(".\\KORVANE.CHM::/_RESOURCE/HLP000001.html", HelpTopicPath(kGeneralHelpTopic));
    EXPECT_EQ("HLP000028.html", HelpTopicName(28));
    // QS works in the System folder, so it names the folder the help file lies in.
    EXPECT_EQ("C:\\Tidewell\\KORVANE.CHM::/_RESOURCE/HLP000113.html", HelpTopicPath("HLP000113.html", "C:\\Tidewell"));
    EXPECT_EQ("C:\\KORVANE.CHM", HelpTopicPath(nullptr, "C:\\"));
    EXPECT_EQ(".\\KORVANE.CHM", HelpTopicPath(nullptr, ""));
    struct Case {
        const char *reference;
        const char *topic;
    } cases[] = {
        {"korvane.hlp,28", "HLP000028.html"},
        {"KORVANE.HLP,123456", "HLP123456.html"},
        {"korvane.hlp,", ""},
        {"korvane.hlp,12x", ""},
        {"korvane.hlp 12", ""},
        {"other.hlp,12", ""},
        {"korvane.hlp,-3", ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.topic, LegacyHelpTopic(c.reference)) << c.reference;
    EXPECT_EQ("", LegacyHelpTopic(nullptr));
}

TEST(ToolTips, OneToolPerExistingControlAndWrappedWidth) {
    HWND dialog = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 400, 200, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, dialog);
    CreateWindowExA(0, "BUTTON", "a", WS_CHILD, 0, 0, 50, 20, dialog, HMENU(11), nullptr, nullptr);
    CreateWindowExA(0, "BUTTON", "b", WS_CHILD, 0, 30, 50, 20, dialog, HMENU(12), nullptr, nullptr);
    const ToolTipText table[] = {
        {11, "first"}, {12, "second"}, {13, "no such control"}, {0, nullptr}, {14, "after end"}};
    HWND tip = AddToolTips(dialog, table);
    ASSERT_NE(nullptr, tip);
    EXPECT_EQ(2, SendMessageA(tip, TTM_GETTOOLCOUNT, 0, 0));
    char cls[64] = "";
    GetClassNameA(tip, cls, sizeof cls);
    EXPECT_STREQ("tooltips_class32", cls);

    HWND wrapped = AddToolTipsWrapped(dialog, table);
    ASSERT_NE(nullptr, wrapped);
    RECT client;
    GetClientRect(dialog, &client);
    EXPECT_EQ((client.right - client.left) * 5 / 4, SendMessageA(wrapped, TTM_GETMAXTIPWIDTH, 0, 0));
    EXPECT_EQ(nullptr, AddToolTips(dialog, nullptr));
    DestroyWindow(dialog);
}

// The text box is modal: a second thread reads it as a user would see it, then presses OK.
TEST_F(LanguageTest, TextBoxShowsTheMessageScrolledToItsEnd) {
    struct Seen {
        std::string title, caption, text;
        DWORD selStart = 0, selEnd = 0;
        LRESULT length = -1;
    } seen;
    std::atomic<bool> found{false};
    std::thread reader([&] {
        for (int i = 0; i < 200 && !found; ++i) {
            HWND box = FindWindowA("#32770", "Tidewell");
            if (box && IsWindowVisible(box)) {
                char buffer[512];
                GetWindowTextA(box, buffer, sizeof buffer);
                seen.title = buffer;
                GetDlgItemTextA(box, IDC_TEXTBOX_CAPTION, buffer, sizeof buffer);
                seen.caption = buffer;
                GetDlgItemTextA(box, IDC_TEXTBOX_TEXT, buffer, sizeof buffer);
                seen.text = buffer;
                HWND edit = GetDlgItem(box, IDC_TEXTBOX_TEXT);
                SendMessageA(edit, EM_GETSEL, WPARAM(&seen.selStart), LPARAM(&seen.selEnd));
                seen.length = SendMessageA(edit, WM_GETTEXTLENGTH, 0, 0);
                found = true;
                PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
            }
            Sleep(50);
        }
    });
    ShowTextBox(nullptr, "Extraction failed.", "line one\nline two\r\nlast line");
    reader.join();
    ASSERT_TRUE(found) << "the text box never appeared";
    EXPECT_EQ("Tidewell", seen.title);
    EXPECT_EQ("Extraction failed.", seen.caption);
    EXPECT_EQ("line one\r\nline two\r\nlast line", seen.text) << "bare line feeds become line breaks";
    EXPECT_EQ(DWORD(seen.length), seen.selStart);
    EXPECT_EQ(DWORD(seen.length), seen.selEnd);
    EXPECT_TRUE(boxes_.calls().empty());
}

} // namespace
