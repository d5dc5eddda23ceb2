// Command-line files and the "Enter command lines" dialog: which files are read and how they are
// converted, which are refused and with what message, and what the dialog stores.
#include "dialogs/ferun.h"
#include "korvane.h"

#include "dialog_driver.h"
#include "drop_files.h"
#include "planner_fixture.h"
#include "resource.h"
#include "system_state.h"
#include "wide_text.h"
#include "winhandle.h"

#include <gtest/gtest.h>
#include <shlwapi.h>

#include <functional>
#include <string>

namespace {

std::string Utf16Bytes(const std::wstring &text) {
    return std::string(reinterpret_cast<const char *>(text.data()), text.size() * sizeof(wchar_t));
}

// Whether the ANSI code page of this machine has a place for every character of text.
bool AnsiCanShow(const std::wstring &text) {
    BOOL usedDefault = FALSE;
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), int(text.size()), nullptr, 0, nullptr, &usedDefault);
    return !usedDefault;
}

const char *ResultName(CommandFileResult result) {
    switch (result) {
    case CommandFileResult::Ok:
        return "Ok";
    case CommandFileResult::NotFound:
        return "NotFound";
    case CommandFileResult::TooLarge:
        return "TooLarge";
    case CommandFileResult::NoMemory:
        return "NoMemory";
    case CommandFileResult::NotText:
        return "NotText";
    case CommandFileResult::Unconvertible:
        return "Unconvertible";
    }
    return "?";
}

// ---- Reading files ------------------------------------------------------------------------------

TEST(CommandFile, ReadsAnsiAsItIsAndConvertsMarkedUnicode) {
    const std::string bom16 = "\xFF\xFE", bom8 = "\xEF\xBB\xBF";
    const std::wstring japanese = L"\"C:\\\u30C4\u30FC\u30EB\\\u8868\u793A.exe\" /x";
    struct Case {
        const char *what;
        std::string bytes;
        CommandFileResult result;
        std::string text;
    } cases[] = {
        {"ANSI lines", "notepad.exe\r\n\"C:\\Program Files\\a b.exe\" /s", CommandFileResult::Ok,
         "notepad.exe\r\n\"C:\\Program Files\\a b.exe\" /s"},
        {"Shift-JIS bytes stay bytes", "C:\\\x95\x5C.exe", CommandFileResult::Ok, "C:\\\x95\x5C.exe"},
        {"an empty file", "", CommandFileResult::Ok, ""},
        {"UTF-16 with its mark", bom16 + Utf16Bytes(L"a.exe\r\nb.exe"), CommandFileResult::Ok, "a.exe\r\nb.exe"},
        {"nothing but the UTF-16 mark", bom16, CommandFileResult::Ok, ""},
        {"UTF-8 with its mark", bom8 + "a.exe\r\nb.exe", CommandFileResult::Ok, "a.exe\r\nb.exe"},
        // Without the mark the bytes are taken as they are, even when they were meant as UTF-16.
        {"UTF-16 bytes without a mark and without zeros", Utf16Bytes(L"\u65E5\u672C"), CommandFileResult::Ok,
         Utf16Bytes(L"\u65E5\u672C")},
        {"UTF-16 of odd length", bom16 + Utf16Bytes(L"a.exe") + "b", CommandFileResult::NotText, ""},
        {"UTF-16 holding a zero character", bom16 + Utf16Bytes(std::wstring(L"a\0b", 3)), CommandFileResult::NotText,
         ""},
        {"ANSI holding a zero byte", std::string("a.exe\0b.exe", 11), CommandFileResult::NotText, ""},
        {"UTF-16 without a mark (zero bytes)", Utf16Bytes(L"a.exe"), CommandFileResult::NotText, ""},
        {"malformed UTF-8", bom8 + "a\xC3(", CommandFileResult::NotText, ""},
    };
    TempFolder folder;
    for (const Case &c : cases) {
        std::string path = folder / "lines.rnx";
        WriteFileText(path, c.bytes);
        std::string text = "before";
        CommandFileResult result = ReadCommandFile(path.c_str(), &text);
        EXPECT_STREQ(ResultName(c.result), ResultName(result)) << c.what;
        // A refused file leaves the caller's text alone.
        EXPECT_EQ(c.result == CommandFileResult::Ok ? c.text : "before", text) << c.what;
    }

    // Japanese names come through in this machine's code page, or the file is refused when the
    // code page cannot show them (never a '?' in a path).
    for (const std::string &bytes : {bom16 + Utf16Bytes(japanese), bom8 + "\"C:\\\xE3\x83\x84\xE3\x83\xBC\xE3\x83\xAB"
                                                                          "\\\xE8\xA1\xA8\xE7\xA4\xBA.exe\" /x"}) {
        std::string path = folder / "japanese.txt";
        WriteFileText(path, bytes);
        std::string text;
        CommandFileResult result = ReadCommandFile(path.c_str(), &text);
        if (AnsiCanShow(japanese)) {
            EXPECT_STREQ("Ok", ResultName(result)) << "code page " << GetACP();
            EXPECT_EQ(japanese, FromCodePage(CP_ACP, text));
        } else {
            EXPECT_STREQ("Unconvertible", ResultName(result)) << "code page " << GetACP();
        }
    }
    // Best fit would turn a macron a into a plain a, another file name; the file is refused instead.
    const std::wstring macron = L"C:\\\u0101.exe";
    WriteFileText(folder / "macron.txt", bom16 + Utf16Bytes(macron));
    std::string text;
    EXPECT_STREQ(AnsiCanShow(macron) ? "Ok" : "Unconvertible",
                 ResultName(ReadCommandFile((folder / "macron.txt").c_str(), &text)));
}

TEST(CommandFile, MissingFoldersAndHugeFilesAreRefused) {
    TempFolder folder;
    std::string text = "before";
    EXPECT_STREQ("NotFound", ResultName(ReadCommandFile((folder / "absent.rnx").c_str(), &text)));
    EXPECT_STREQ("NotFound", ResultName(ReadCommandFile(folder.path().c_str(), &text)));
    EXPECT_STREQ("NotFound", ResultName(ReadCommandFile(nullptr, &text)));

    // Made by extending an empty file, so it costs no disk space.
    std::string huge = folder / "huge.rnx";
    {
        UniqueFile file(CreateFileA(huge.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(file.Valid());
        LARGE_INTEGER size;
        size.QuadPart = LONGLONG(kCommandFileLimit);
        ASSERT_TRUE(SetFilePointerEx(file.Get(), size, nullptr, FILE_BEGIN));
        ASSERT_TRUE(SetEndOfFile(file.Get()));
    }
    EXPECT_STREQ("TooLarge", ResultName(ReadCommandFile(huge.c_str(), &text)));
    EXPECT_EQ("before", text);
}

TEST(CommandFile, SavedTextOpensAgainUnchanged) {
    TempFolder folder;
    std::string path = folder / "saved.rnx";
    WriteFileText(path, std::string(100, 'x')); // an older, longer file is replaced, not overwritten in part
    const std::string field = "notepad.exe\r\n\"C:\\Program Files\\a b.exe\" /s\r\nC:\\\x95\x5C\\\x83\x5C.exe";
    ASSERT_EQ(TextFileWrite::Ok, WriteTextFile(path.c_str(), field.data(), field.size()));
    EXPECT_EQ(field, ReadFileText(path)) << "no byte order mark, no terminating zero";
    std::string text;
    EXPECT_STREQ("Ok", ResultName(ReadCommandFile(path.c_str(), &text)));
    EXPECT_EQ(field, text);

    EXPECT_EQ(TextFileWrite::CannotCreate, WriteTextFile((folder / "no\\such\\folder.rnx").c_str(), "a", 1));
}

TEST(CommandFile, EachRefusalHasItsMessage) {
    SetLanguage(Program::Korvane, false);
    ScopedMessages boxes;
    const CommandFileResult results[] = {CommandFileResult::Ok,       CommandFileResult::NotFound,
                                         CommandFileResult::TooLarge, CommandFileResult::NoMemory,
                                         CommandFileResult::NotText,  CommandFileResult::Unconvertible};
    for (CommandFileResult result : results)
        ShowCommandFileError(nullptr, result);
    std::vector<MessageBoxCall> calls = boxes.calls();
    ASSERT_EQ(5u, calls.size()) << "no box for Ok";
    EXPECT_EQ("The specified file is not found.", calls[0].text);
    EXPECT_EQ("Out of memory.", calls[1].text);
    EXPECT_EQ("Out of memory.", calls[2].text);
    EXPECT_NE(std::string::npos, calls[3].text.find("not a text file")) << calls[3].text;
    EXPECT_NE(std::string::npos, calls[4].text.find("code page")) << calls[4].text;
    for (const MessageBoxCall &call : calls) {
        EXPECT_EQ(UINT(MB_ICONERROR), call.type & MB_ICONMASK) << call.text;
        EXPECT_EQ(ProductTitle(), call.caption);
    }
}

TEST(CommandFile, DroppedFilesGoOnLinesOfTheirOwn) {
    EXPECT_EQ("\"C:\\Program Files\\a b.exe\"", AppendDroppedCommand("", "C:\\Program Files\\a b.exe"));
    EXPECT_EQ("x.exe /a\r\nC:\\y.exe", AppendDroppedCommand("x.exe /a", "C:\\y.exe"));
    EXPECT_EQ("x\r\n\"C:\\a b\"", AppendDroppedCommand("x", "\"C:\\a b\"")) << "already quoted";
}

// ---- The dialog ---------------------------------------------------------------------------------

const char kTitle[] = "Enter command lines";
const char kHalvornixKorvane[] = "Software\\Halvornix\\Korvane";

class CommandLinesDialogTest : public PlannerTest {
protected:
    void TearDown() override {
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, kHalvornixKorvane);
        PlannerTest::TearDown();
    }
    static RawValue Stored() { return ReadRaw(HKEY_LOCAL_MACHINE, kSettingsPath, setting::LastCmdLine.name); }
    static std::string StoredText() {
        RawValue value = Stored();
        return value.exists ? std::string(reinterpret_cast<const char *>(value.data.data())) : "(absent)";
    }
};

TEST_F(CommandLinesDialogTest, OkStoresTheFieldAndCancelStoresNothing) {
    WriteText(HKEY_LOCAL_MACHINE, kSettingsPath, setting::LastCmdLine.name, "old.exe");
    std::string shown;
    DialogDriver cancel(kTitle, [&](HWND dialog) {
        shown = DialogDriver::ItemText(dialog, IDC_FERUN_COMMANDS);
        SetDlgItemTextA(dialog, IDC_FERUN_COMMANDS, "changed.exe");
        DialogDriver::Command(dialog, IDCANCEL);
    });
    EXPECT_EQ(-1, ShowCommandLinesDialog(nullptr));
    ASSERT_TRUE(cancel.Join());
    EXPECT_EQ("old.exe", shown);
    EXPECT_EQ("old.exe", StoredText());

    DialogDriver ok(kTitle, [](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_FERUN_COMMANDS, "a.exe\r\n\"C:\\b c\\d.exe\" /x");
        DialogDriver::Command(dialog, IDOK);
    });
    EXPECT_EQ(0, ShowCommandLinesDialog(nullptr));
    ASSERT_TRUE(ok.Join());
    EXPECT_EQ(DWORD(REG_SZ), Stored().type);
    EXPECT_EQ("a.exe\r\n\"C:\\b c\\d.exe\" /x", StoredText());
    EXPECT_TRUE(boxes_.calls().empty());
}

TEST_F(CommandLinesDialogTest, KeepsTheStoredTypeAndCreatesAMissingKey) {
    WriteRaw(HKEY_LOCAL_MACHINE, kSettingsPath, setting::LastCmdLine.name, REG_EXPAND_SZ, BytesOf("%windir%", 9));
    DialogDriver expand(kTitle, [](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_FERUN_COMMANDS, "%windir%\\notepad.exe");
        DialogDriver::Command(dialog, IDOK);
    });
    EXPECT_EQ(0, ShowCommandLinesDialog(nullptr));
    EXPECT_EQ(DWORD(REG_EXPAND_SZ), Stored().type);
    EXPECT_EQ("%windir%\\notepad.exe", StoredText());

    // The wizard may be the first to store anything at all.
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, kHalvornixKorvane);
    std::string shown = "(not shown)";
    DialogDriver fresh(kTitle, [&](HWND dialog) {
        shown = DialogDriver::ItemText(dialog, IDC_FERUN_COMMANDS);
        SetDlgItemTextA(dialog, IDC_FERUN_COMMANDS, "first.exe");
        DialogDriver::Command(dialog, IDOK);
    });
    EXPECT_EQ(0, ShowCommandLinesDialog(nullptr));
    EXPECT_EQ("", shown);
    EXPECT_EQ("first.exe", StoredText());
    EXPECT_TRUE(boxes_.calls().empty());
}

TEST_F(CommandLinesDialogTest, AFailedStoreKeepsTheDialogOpen) {
    // Under a volatile key no lasting key can be made, so the settings key cannot be created.
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, kHalvornixKorvane);
    HKEY volatileKey = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kHalvornixKorvane, 0, nullptr, REG_OPTION_VOLATILE,
                                             KEY_ALL_ACCESS, nullptr, &volatileKey, nullptr));
    RegCloseKey(volatileKey);
    bool openAfterOk = false;
    std::string textAfterOk;
    DialogDriver driver(kTitle, [&](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_FERUN_COMMANDS, "typed.exe");
        DialogDriver::Click(dialog, IDOK);
        openAfterOk = IsWindow(dialog) && IsWindowVisible(dialog);
        textAfterOk = DialogDriver::ItemText(dialog, IDC_FERUN_COMMANDS);
        DialogDriver::Command(dialog, IDCANCEL);
    });
    EXPECT_EQ(-1, ShowCommandLinesDialog(nullptr));
    ASSERT_TRUE(driver.Join());
    EXPECT_TRUE(openAfterOk);
    EXPECT_EQ("typed.exe", textAfterOk);
    EXPECT_EQ((std::vector<std::string>{"Cannot open registry key.\r\n KV4"}), BoxTexts());
    ASSERT_EQ(1u, log_.Lines().size());
    EXPECT_NE(std::string::npos, log_.Lines()[0].find("KV4:Cannot open registry key.")) << log_.Lines()[0];
}

TEST_F(CommandLinesDialogTest, DroppedFilesAreAddedAsLines) {
    WriteText(HKEY_LOCAL_MACHINE, kSettingsPath, setting::LastCmdLine.name, "first.exe");
    const std::string tooLong = "C:\\" + std::string(520, 'x') + ".exe";
    std::string field;
    DialogDriver driver(kTitle, [&](HWND dialog) {
        SendMessageA(dialog, WM_DROPFILES,
                     reinterpret_cast<WPARAM>(MakeDrop({"C:\\Program Files\\a b.exe", tooLong, "C:\\c.bat"})), 0);
        field = DialogDriver::ItemText(dialog, IDC_FERUN_COMMANDS);
        DialogDriver::Command(dialog, IDOK);
    });
    EXPECT_EQ(0, ShowCommandLinesDialog(nullptr));
    ASSERT_TRUE(driver.Join());
    EXPECT_EQ("first.exe\r\n\"C:\\Program Files\\a b.exe\"\r\nC:\\c.bat", field);
    EXPECT_EQ(field, StoredText());
}

// Waits up to five seconds for something the dialog's thread does after a posted command.
bool WaitFor(const std::function<bool()> &done) {
    for (int i = 0; i < 100; ++i) {
        if (done()) return true;
        Sleep(50);
    }
    return false;
}

// Open and Save through the real file dialogs, as a user picks a file in them.
void AnswerFileDialog(const char *title, const std::string &path) {
    DialogDriver picker(title, [&](HWND fileDialog) {
        // The file name box: cmb13 in the Explorer-style dialog, edt1 in the old one.
        HWND name = GetDlgItem(fileDialog, 0x47C);
        if (!name) name = GetDlgItem(fileDialog, 0x480);
        SetWindowTextA(name, path.c_str());
        DialogDriver::Command(fileDialog, IDOK);
    });
    picker.Join();
}

TEST_F(CommandLinesDialogTest, BrowseAppendsOpenReplacesSaveWrites) {
    TempFolder folder;
    std::string program = folder / "a b.exe", source = folder / "in.rnx", target = folder / "out.rnx";
    WriteFileText(program, "MZ");
    WriteFileText(source, "\xFF\xFE" + Utf16Bytes(L"x.exe\r\ny.exe"));
    std::string browsed, opened;
    DialogDriver driver(kTitle, [&](HWND dialog) {
        auto field = [dialog] { return DialogDriver::ItemText(dialog, IDC_FERUN_COMMANDS); };
        SetDlgItemTextA(dialog, IDC_FERUN_COMMANDS, "start.exe ");
        DialogDriver::Command(dialog, IDC_FERUN_BROWSE);
        AnswerFileDialog("Browse", program);
        WaitFor([&] { return field() != "start.exe "; });
        browsed = field();
        DialogDriver::Command(dialog, IDC_FERUN_OPEN);
        AnswerFileDialog("Open", source);
        WaitFor([&] { return field() != browsed; });
        opened = field();
        DialogDriver::Command(dialog, IDC_FERUN_SAVE);
        AnswerFileDialog("Save", target);
        WaitFor([&] { return IsFile(target); });
        DialogDriver::Command(dialog, IDCANCEL);
    });
    EXPECT_EQ(-1, ShowCommandLinesDialog(nullptr));
    ASSERT_TRUE(driver.Join());
    EXPECT_EQ("start.exe \"" + program + "\"", browsed) << "on the same line, quoted";
    EXPECT_EQ("x.exe\r\ny.exe", opened);
    EXPECT_EQ("x.exe\r\ny.exe", ReadFileText(target));
    EXPECT_TRUE(boxes_.calls().empty()) << "the confirmation after saving is Japanese only";
}

} // namespace
