// Shell Extensions and the Rinsa shortcut: the verb command, the shortcut's arguments, preview and
// name rules as plain functions; then both dialogs driven from a second thread, the verb keys read
// back from HKEY_CLASSES_ROOT and the shortcuts read back through IShellLinkA.
#include "dialogs/shlext.h"
#include "korvane.h"

#include "dialog_driver.h"
#include "drop_files.h"
#include "key_access.h"
#include "planner_fixture.h"
#include "resource.h"
#include "system_state.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <shobjidl.h>

#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

// ---- Plain pieces -------------------------------------------------------------------------------

TEST(ShellExtensionPieces, TheMenuCommandQuotesThePathAndThePlaceholder) {
    struct Case {
        std::string path, command;
    } cases[] = {
        {"C:\\Program Files\\Tidewell\\KORVANE.EXE", "\"C:\\Program Files\\Tidewell\\KORVANE.EXE\" /E\"%1\""},
        {"C:\\KORVANE.EXE", "\"C:\\KORVANE.EXE\" /E\"%1\""},
        // 表示 holds the trail byte 0x5C; the path goes in as it is.
        {"C:\\\x95\x5C\x8E\xA6\\KORVANE.EXE", "\"C:\\\x95\x5C\x8E\xA6\\KORVANE.EXE\" /E\"%1\""},
        // No program path, no command: never a bare "korvane.exe" that Windows would look for anywhere.
        {"", ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.command, ExplorerMenuCommand(c.path)) << c.path;
}

TEST(ShellExtensionPieces, OnlyStoredTextsNameTheMenuItem) {
    struct Case {
        const char *what;
        DWORD type;
        std::string bytes;
        bool valid;
        std::string name;
    } cases[] = {
        {"terminated", REG_SZ, std::string("Rinsa it\0", 9), true, "Rinsa it"},
        {"unterminated", REG_SZ, "Rinsa it", true, "Rinsa it"},
        {"zero inside", REG_SZ, std::string("Ab\0cd", 5), true, "Ab"},
        {"expandable", REG_EXPAND_SZ, std::string("%x%\0", 4), true, "%x%"},
        {"empty", REG_SZ, "", true, ""},
        {"trailing blanks kept", REG_SZ, std::string("Rinsa  \0", 8), true, "Rinsa  "},
        {"number", REG_DWORD, std::string("\x05\0\0\0", 4), false, ""},
        {"binary", REG_BINARY, "Rinsa", false, ""},
        {"multi-string", REG_MULTI_SZ, std::string("a\0b\0\0", 5), false, ""},
    };
    for (const Case &c : cases) {
        std::string name;
        EXPECT_EQ(c.valid, MenuItemNameOf(c.type, c.bytes, &name)) << c.what;
        EXPECT_EQ(c.name, name) << c.what;
    }
}

TEST(ShellExtensionPieces, OnlyTheJapaneseTextsSpeakOfTheLeftButtonWhenTheButtonsAreSwapped) {
    for (bool japanese : {false, true}) {
        for (bool swapped : {false, true}) {
            MenuButtonTexts texts = MenuButtonTextsFor(japanese, swapped);
            bool replaced = japanese && swapped;
            EXPECT_EQ(replaced, texts.explanation != nullptr) << japanese << swapped;
            EXPECT_EQ(replaced, texts.exeFiles != nullptr) << japanese << swapped;
            EXPECT_EQ(replaced, texts.allFiles != nullptr) << japanese << swapped;
        }
    }
    MenuButtonTexts left = MenuButtonTextsFor(true, true);
    EXPECT_NE(nullptr, strstr(left.exeFiles, "(&E)")) << "the mnemonics stay those of the resource";
    EXPECT_NE(nullptr, strstr(left.allFiles, "(&X)"));
}

const ShortcutKind kKinds[] = {ShortcutKind::KorvaneOnly, ShortcutKind::Defragment,
                               ShortcutKind::CheckDisk,   ShortcutKind::CheckAndDefragment,
                               ShortcutKind::LastSetting, ShortcutKind::OtherApplication};

TEST(ShortcutPieces, EachKindGetsItsSwitchAndOtherProgramsTheirCommandRightAfterS) {
    struct Case {
        ShortcutKind kind;
        std::string commandLine, arguments;
    } cases[] = {
        {ShortcutKind::KorvaneOnly, "ignored", ""},
        {ShortcutKind::Defragment, "ignored", "/A0"},
        {ShortcutKind::CheckDisk, "", "/A1"},
        {ShortcutKind::CheckAndDefragment, "", "/A2"},
        {ShortcutKind::LastSetting, "", "/A"},
        {ShortcutKind::OtherApplication, "CMD.EXE /C exit 0", "/SCMD.EXE /C exit 0"},
        {ShortcutKind::OtherApplication, "\"C:\\My Tools\\a.exe\" /x", "/S\"C:\\My Tools\\a.exe\" /x"},
        {ShortcutKind::OtherApplication, " leading blank", "/S leading blank"},
        {ShortcutKind::OtherApplication, "", "/S"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.arguments, ShortcutArguments(c.kind, c.commandLine)) << c.commandLine;
}

TEST(ShortcutPieces, ThePreviewShowsTheQuotedProgramAndItsSwitch) {
    const std::string path = "C:\\Program Files\\Tidewell\\KORVANE.EXE";
    const char *previews[] = {
        "( \"C:\\Program Files\\Tidewell\\KORVANE.EXE\" )",     "( \"C:\\Program Files\\Tidewell\\KORVANE.EXE\" /A0 )",
        "( \"C:\\Program Files\\Tidewell\\KORVANE.EXE\" /A1 )", "( \"C:\\Program Files\\Tidewell\\KORVANE.EXE\" /A2 )",
        "( \"C:\\Program Files\\Tidewell\\KORVANE.EXE\" /A )",  "",
    };
    for (size_t i = 0; i < 6; ++i)
        EXPECT_EQ(previews[i], ShortcutPreview(kKinds[i], path)) << i;
}

const char *CheckName(ShortcutName check) {
    switch (check) {
    case ShortcutName::Ok:
        return "Ok";
    case ShortcutName::ForbiddenCharacter:
        return "ForbiddenCharacter";
    case ShortcutName::ReservedName:
        return "ReservedName";
    case ShortcutName::TooLong:
        return "TooLong";
    }
    return "?";
}

TEST(ShortcutPieces, NamesWithForbiddenCharactersDeviceNamesOrTooLongPathsAreRefused) {
    const std::string desktop = "C:\\users\\me\\Desktop";
    // 251 characters + ".lnk" is the longest file name; the folder then decides the path, which
    // may have MAX_PATH - 1 characters.
    const std::string longest(251, 'n');
    struct Case {
        std::string folder, name;
        ShortcutName check;
    } cases[] = {
        {desktop, "Shortcut of Rinsa", ShortcutName::Ok},
        {desktop, "Rinsa (defragment) #1, 'weekly' & more; [x] {y} = 100% ~ok!", ShortcutName::Ok},
        {desktop, "trailing dot.", ShortcutName::Ok},
        {desktop, ".hidden", ShortcutName::Ok},
        {desktop, "a\\b", ShortcutName::ForbiddenCharacter},
        {desktop, "a/b", ShortcutName::ForbiddenCharacter},
        {desktop, "C:rinsa", ShortcutName::ForbiddenCharacter},
        {desktop, "rinsa*", ShortcutName::ForbiddenCharacter},
        {desktop, "rinsa?", ShortcutName::ForbiddenCharacter},
        {desktop, "\"rinsa\"", ShortcutName::ForbiddenCharacter},
        {desktop, "<rinsa", ShortcutName::ForbiddenCharacter},
        {desktop, "rinsa>", ShortcutName::ForbiddenCharacter},
        {desktop, "a|b", ShortcutName::ForbiddenCharacter},
        {desktop, "tab\there", ShortcutName::ForbiddenCharacter},
        {desktop, "line\r\nbreak", ShortcutName::ForbiddenCharacter},
        {desktop, "CON", ShortcutName::ReservedName},
        {desktop, "nul", ShortcutName::ReservedName},
        {desktop, "Com1", ShortcutName::ReservedName},
        {desktop, "LPT9.defrag", ShortcutName::ReservedName},
        {desktop, "AUX ", ShortcutName::ReservedName},
        {desktop, "CONSOLE", ShortcutName::Ok},
        {desktop, "COM0", ShortcutName::Ok},
        {desktop, "a CON", ShortcutName::Ok},
        {"C:\\", longest, ShortcutName::Ok},
        {"C:\\", longest + "n", ShortcutName::TooLong},
        // "C:\d\" + 250 + ".lnk" is 259 characters.
        {"C:\\d", std::string(250, 'n'), ShortcutName::Ok},
        {"C:\\d", longest, ShortcutName::TooLong},
        {"C:\\d\\", std::string(250, 'n'), ShortcutName::Ok},
        {std::string(200, 'f'), std::string(54, 'n'), ShortcutName::Ok},
        {std::string(200, 'f'), std::string(55, 'n'), ShortcutName::TooLong},
    };
    for (const Case &c : cases)
        EXPECT_STREQ(CheckName(c.check), CheckName(CheckShortcutName(c.folder, c.name)))
            << c.folder.size() << " / " << c.name;
}

TEST(ShortcutPieces, ADoubleByteCharacterIsOneCharacterNotABackslash) {
    if (GetACP() != 932) GTEST_SKIP() << "the code page of this machine is " << GetACP() << ", not Shift-JIS";
    // 表示 (95 5C 8E A6) and ソフト (83 5C 83 74 83 67): trail bytes 0x5C are no backslashes, and a
    // name of 240 double-byte characters is 240 characters, not 480.
    std::string longJapanese;
    for (int i = 0; i < 240; ++i)
        longJapanese += "\x95\x5C";
    for (const std::string &name :
         {std::string("\x95\x5C\x8E\xA6"), std::string("\x83\x5C\x83\x74\x83\x67"), longJapanese})
        EXPECT_STREQ("Ok", CheckName(CheckShortcutName("C:\\d", name)));
    EXPECT_STREQ("ForbiddenCharacter", CheckName(CheckShortcutName("C:\\d", "\x95\x5C\\x")));
}

TEST(ShortcutPieces, TheFileIsTheNamePlusLnkInTheFolder) {
    EXPECT_EQ("C:\\Desk\\Rinsa.lnk", ShortcutFilePath("C:\\Desk", "Rinsa"));
    EXPECT_EQ("C:\\Rinsa.lnk", ShortcutFilePath("C:\\", "Rinsa"));
    EXPECT_EQ("C:\\Desk\\a.b.lnk", ShortcutFilePath("C:\\Desk", "a.b"));
}

// ---- The module path ----------------------------------------------------------------------------

DWORD WINAPI NoModulePath(HMODULE, LPSTR buffer, DWORD size) {
    if (size) buffer[0] = '\0';
    return 0;
}

// What Windows does with a path longer than the buffer: cut to the buffer, reported as its size.
DWORD WINAPI CutModulePath(HMODULE, LPSTR buffer, DWORD size) {
    memset(buffer, 'k', size);
    return size;
}

DWORD WINAPI FixedModulePath(HMODULE, LPSTR buffer, DWORD size) {
    const char path[] = "C:\\Program Files\\Tidewell\\KORVANE.EXE";
    if (size < sizeof path) return 0;
    memcpy(buffer, path, sizeof path);
    return DWORD(sizeof path - 1);
}

class ModulePathTest : public PlannerTest {
protected:
    void SetUp() override {
        PlannerTest::SetUp();
        saved_ = g_moduleFileName;
    }
    void TearDown() override {
        g_moduleFileName = saved_;
        PlannerTest::TearDown();
    }
    DWORD(WINAPI *saved_)(HMODULE, LPSTR, DWORD) = nullptr;
};

TEST_F(ModulePathTest, APathThatCannotBeReadWholeIsNoPath) {
    std::string path = "before";
    g_moduleFileName = NoModulePath;
    EXPECT_FALSE(ReadKorvanePath(&path));
    g_moduleFileName = CutModulePath;
    EXPECT_FALSE(ReadKorvanePath(&path));
    EXPECT_EQ("before", path);
    g_moduleFileName = FixedModulePath;
    ASSERT_TRUE(ReadKorvanePath(&path));
    EXPECT_EQ("C:\\Program Files\\Tidewell\\KORVANE.EXE", path);
}

// ---- Shell Extensions dialog --------------------------------------------------------------------

const char kExtensionsTitle[] = "Shell Extensions";
const std::string kExeCommand = std::string(kExeVerbKey) + "\\command";
const std::string kAllCommand = std::string(kAllFilesVerbKey) + "\\command";

std::string TestProgramPath() {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    return path;
}

// The default value of a key under HKEY_CLASSES_ROOT as text, or "(absent)".
std::string Default(const std::string &key) {
    RawValue value = ReadRaw(HKEY_CLASSES_ROOT, key.c_str(), "");
    if (!value.exists) return "(absent)";
    if (value.type != REG_SZ) return "(type " + std::to_string(value.type) + ")";
    return std::string(reinterpret_cast<const char *>(value.data.data()));
}

// What the dialog showed when it opened.
struct ExtensionsSeen {
    bool exeChecked = false, allChecked = false, nameEnabled = false;
    std::string name, explanation;
};

ExtensionsSeen SeeExtensions(HWND dialog) {
    ExtensionsSeen seen;
    seen.exeChecked = IsDlgButtonChecked(dialog, IDC_SHLEXT_EXEFILES) == BST_CHECKED;
    seen.allChecked = IsDlgButtonChecked(dialog, IDC_SHLEXT_ALLFILES) == BST_CHECKED;
    seen.nameEnabled = DialogDriver::ItemEnabled(dialog, IDC_SHLEXT_NAME);
    seen.name = DialogDriver::ItemText(dialog, IDC_SHLEXT_NAME);
    seen.explanation = DialogDriver::ItemText(dialog, IDC_SHLEXT_EXPLANATION);
    return seen;
}

void SetCheck(HWND dialog, int id, bool checked) {
    if ((IsDlgButtonChecked(dialog, id) == BST_CHECKED) != checked) DialogDriver::Click(dialog, id);
}

// The verb keys of both kinds, removed before and after each test.
class ShellExtensionsTest : public ModulePathTest {
protected:
    void SetUp() override {
        ModulePathTest::SetUp();
        RemoveVerbs();
    }
    void TearDown() override {
        RemoveVerbs();
        ModulePathTest::TearDown();
    }
    static void RemoveVerbs() {
        SHDeleteKeyA(HKEY_CLASSES_ROOT, kExeVerbKey);
        SHDeleteKeyA(HKEY_CLASSES_ROOT, kAllFilesVerbKey);
    }
    // Opens the dialog, lets act see and change it, then presses the button given.
    ExtensionsSeen Run(int button, const std::function<void(HWND)> &act = nullptr, INT_PTR expected = -1) {
        ExtensionsSeen seen;
        DialogDriver driver(kExtensionsTitle, [&](HWND dialog) {
            seen = SeeExtensions(dialog);
            if (act) act(dialog);
            DialogDriver::Command(dialog, button);
        });
        INT_PTR result = ShowShellExtensions(nullptr);
        EXPECT_TRUE(driver.Join());
        EXPECT_EQ(expected >= 0 ? expected : (button == IDOK ? 0 : 1), result);
        return seen;
    }
};

TEST_F(ShellExtensionsTest, OkWritesBothVerbsWithTheWholeNameAndTheExactCommandAndReadsThemBack) {
    ExtensionsSeen first = Run(IDCANCEL);
    EXPECT_FALSE(first.exeChecked || first.allChecked);
    EXPECT_FALSE(first.nameEnabled) << "no box checked, no name to edit";
    EXPECT_EQ("Rinsa", first.name);

    // A name is stored whole, with its blanks and its last character.
    const std::string name = " Rinsa  with this file!  ";
    bool enabledByClick = false;
    Run(IDOK, [&](HWND dialog) {
        DialogDriver::Click(dialog, IDC_SHLEXT_EXEFILES);
        enabledByClick = DialogDriver::ItemEnabled(dialog, IDC_SHLEXT_NAME);
        DialogDriver::Click(dialog, IDC_SHLEXT_ALLFILES);
        SetDlgItemTextA(dialog, IDC_SHLEXT_NAME, name.c_str());
    });
    EXPECT_TRUE(enabledByClick);
    const std::string command = "\"" + TestProgramPath() + "\" /E\"%1\"";
    EXPECT_EQ(name, Default(kExeVerbKey));
    EXPECT_EQ(command, Default(kExeCommand));
    EXPECT_EQ(name, Default(kAllFilesVerbKey));
    EXPECT_EQ(command, Default(kAllCommand));
    EXPECT_TRUE(BoxTexts().empty());

    ExtensionsSeen again = Run(IDCANCEL);
    EXPECT_TRUE(again.exeChecked && again.allChecked && again.nameEnabled);
    EXPECT_EQ(name, again.name);
}

TEST_F(ShellExtensionsTest, TheAllFilesNameWinsAndAVerbWithoutItsCommandCountsAsAbsent) {
    WriteText(HKEY_CLASSES_ROOT, kExeVerbKey, "", "Exe name");
    WriteText(HKEY_CLASSES_ROOT, kExeCommand.c_str(), "", "x");
    WriteText(HKEY_CLASSES_ROOT, kAllFilesVerbKey, "", "All name");
    WriteText(HKEY_CLASSES_ROOT, kAllCommand.c_str(), "", "x");
    ExtensionsSeen both = Run(IDCANCEL);
    EXPECT_EQ("All name", both.name);

    // An empty name of all files leaves the other; a name that is no text is logged, never shown.
    WriteText(HKEY_CLASSES_ROOT, kAllFilesVerbKey, "", "");
    EXPECT_EQ("Exe name", Run(IDCANCEL).name);
    WriteDword(HKEY_CLASSES_ROOT, kExeVerbKey, "", 0x41414141);
    EXPECT_EQ("Rinsa", Run(IDCANCEL).name);
    bool logged = false;
    for (const std::string &text : log_.Texts())
        logged |= text == std::string(kExeVerbKey) + ": the menu item name is not a text.";
    EXPECT_TRUE(logged);

    SHDeleteKeyA(HKEY_CLASSES_ROOT, kAllCommand.c_str());
    SHDeleteKeyA(HKEY_CLASSES_ROOT, kExeCommand.c_str());
    ExtensionsSeen none = Run(IDCANCEL);
    EXPECT_FALSE(none.exeChecked || none.allChecked || none.nameEnabled);
    EXPECT_EQ("Rinsa", none.name);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kExeVerbKey)) << "Cancel leaves the keys alone";
}

TEST_F(ShellExtensionsTest, UncheckingBothRemovesAllFourKeysAndAnEmptyNameStoresTheDefault) {
    Run(IDOK, [](HWND dialog) {
        SetCheck(dialog, IDC_SHLEXT_EXEFILES, true);
        SetCheck(dialog, IDC_SHLEXT_ALLFILES, true);
        SetDlgItemTextA(dialog, IDC_SHLEXT_NAME, "");
    });
    EXPECT_EQ("Rinsa", Default(kExeVerbKey));
    EXPECT_EQ("Rinsa", Default(kAllFilesVerbKey));

    // Only the all-files verb goes; then both.
    Run(IDOK, [](HWND dialog) { SetCheck(dialog, IDC_SHLEXT_ALLFILES, false); });
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kExeCommand.c_str()));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kAllFilesVerbKey));
    bool nameEnabledAfterUncheck = true;
    Run(IDOK, [&](HWND dialog) {
        SetCheck(dialog, IDC_SHLEXT_EXEFILES, false);
        nameEnabledAfterUncheck = DialogDriver::ItemEnabled(dialog, IDC_SHLEXT_NAME);
    });
    EXPECT_FALSE(nameEnabledAfterUncheck);
    for (const std::string &key : {std::string(kExeVerbKey), kExeCommand, std::string(kAllFilesVerbKey), kAllCommand})
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, key.c_str())) << key;
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "exefile\\shell")) << "only the Rinsa keys go";
    EXPECT_TRUE(BoxTexts().empty()) << "removing what is not there is no failure";
}

TEST_F(ShellExtensionsTest, AProgramPathThatCannotBeReadRegistersNoVerb) {
    for (auto unreadable : {NoModulePath, CutModulePath}) {
        g_moduleFileName = unreadable;
        Run(IDOK, [](HWND dialog) {
            SetCheck(dialog, IDC_SHLEXT_EXEFILES, true);
            SetCheck(dialog, IDC_SHLEXT_ALLFILES, true);
        });
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kExeVerbKey)) << "no bare korvane.exe in Explorer's menu";
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kAllFilesVerbKey));
    }
    ASSERT_EQ(2u, boxes_.calls().size());
    EXPECT_EQ("The path of KORVANE.EXE cannot be read, so the Rinsa item was not added to Explorer's menu.",
              boxes_.calls()[0].text);
    EXPECT_EQ(UINT(MB_ICONERROR), boxes_.calls()[0].type & MB_ICONMASK);

    // A verb registered earlier stays as it was; removing still works without the path.
    g_moduleFileName = FixedModulePath;
    Run(IDOK, [](HWND dialog) { SetCheck(dialog, IDC_SHLEXT_EXEFILES, true); });
    g_moduleFileName = NoModulePath;
    Run(IDOK, [](HWND dialog) { SetDlgItemTextA(dialog, IDC_SHLEXT_NAME, "Renamed"); });
    EXPECT_EQ("Rinsa", Default(kExeVerbKey));
    EXPECT_EQ("\"C:\\Program Files\\Tidewell\\KORVANE.EXE\" /E\"%1\"", Default(kExeCommand));
    Run(IDOK, [](HWND dialog) { SetCheck(dialog, IDC_SHLEXT_EXEFILES, false); });
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kExeVerbKey));
}

TEST_F(ShellExtensionsTest, AKeyThatCannotBeWrittenGivesTheRegistryErrorReportWithItsTag) {
    struct Case {
        const char *lockedKey;
        int box;
        const char *tag;
    } cases[] = {
        // The classes root writes to the machine's classes while the user has no key of that name.
        {"Software\\Classes\\exefile\\shell\\korvane", IDC_SHLEXT_EXEFILES, "Class/exe"},
        {"Software\\Classes\\*\\shell\\korvane", IDC_SHLEXT_ALLFILES, "Class/*"},
        {"Software\\Classes\\*\\shell\\korvane\\command", IDC_SHLEXT_ALLFILES, "Class/*"},
    };
    for (const Case &c : cases) {
        Restart();
        ASSERT_TRUE(SetKeyWritable(HKEY_LOCAL_MACHINE, c.lockedKey, false)) << c.lockedKey;
        size_t before = boxes_.calls().size();
        Run(IDOK, [&](HWND dialog) { SetCheck(dialog, c.box, true); });
        ASSERT_TRUE(SetKeyWritable(HKEY_LOCAL_MACHINE, c.lockedKey, true));
        RemoveVerbs();
        ASSERT_EQ(before + 1, boxes_.calls().size()) << c.lockedKey;
        EXPECT_EQ(std::string("Cannot open registry key.\r\n ") + c.tag, boxes_.calls().back().text);
        bool logged = false;
        for (const std::string &text : log_.Texts())
            logged |= text == std::string(c.tag) + ":Cannot open registry key.";
        EXPECT_TRUE(logged) << c.lockedKey;
    }
}

// A resource text as an ANSI dialog shows it: Windows passes it through the process code page,
// which need not be Japanese in the tests.
std::wstring ThroughAnsi(const wchar_t *text) {
    return AnsiToWide(WideToAnsi(text).c_str());
}

std::wstring WideItemText(HWND dialog, int id) {
    wchar_t text[512] = L"";
    GetWindowTextW(GetDlgItem(dialog, id), text, 512);
    return text;
}

// Waits for a dialog of a Japanese title, hands it to act and closes it with Cancel; whatever
// opened instead is closed too, so that the test fails instead of hanging.
void DriveJapanese(const wchar_t *title, const std::function<void()> &open, const std::function<void(HWND)> &act) {
    const DWORD thread = GetCurrentThreadId();
    std::thread user([&] {
        HWND dialog = nullptr;
        for (int i = 0; i < 400 && !(dialog && IsWindowVisible(dialog)); ++i, Sleep(25))
            dialog = FindWindowW(L"#32770", ThroughAnsi(title).c_str());
        if (dialog) act(dialog);
        EnumThreadWindows(
            thread, [](HWND window, LPARAM) { return PostMessageA(window, WM_COMMAND, IDCANCEL, 0); }, 0);
    });
    open();
    user.join();
}

TEST_F(ShellExtensionsTest, JapaneseModeShowsTheJapaneseTemplatesAndDefaultNames) {
    SetLanguage(Program::Korvane, true);
    EXPECT_STREQ("Rinsa \x8E\xC0\x8D\x73", DefaultMenuItemName()) << "Rinsa 実行";
    EXPECT_STREQ("Rinsa \x82\xCC\x83\x56\x83\x87\x81\x5B\x83\x67\x83\x4A\x83\x62\x83\x67", DefaultShortcutName())
        << "Rinsa のショートカット";
    std::wstring name, cancel, close;
    DriveJapanese(
        L"\u30B7\u30A7\u30EB\u62E1\u5F35", [] { ShowShellExtensions(nullptr); }, [&](HWND dialog) { // シェル拡張
            name = WideItemText(dialog, IDC_SHLEXT_NAME);
            cancel = WideItemText(dialog, IDCANCEL);
        });
    // Rinsa のショートカット ファイルの作成
    DriveJapanese(
        L"Rinsa \u306E\u30B7\u30E7\u30FC\u30C8\u30AB\u30C3\u30C8 \u30D5\u30A1\u30A4\u30EB\u306E\u4F5C\u6210",
        [] { ShowShortcutDialog(nullptr); }, [&](HWND dialog) { close = WideItemText(dialog, IDCANCEL); });
    SetLanguage(Program::Korvane, false);
    // The name is set from Shift-JIS bytes, which the process code page reads as it can.
    EXPECT_EQ(AnsiToWide("Rinsa \x8E\xC0\x8D\x73"), name);
    EXPECT_EQ(ThroughAnsi(L"\u30AD\u30E3\u30F3\u30BB\u30EB"), cancel);
    EXPECT_EQ(ThroughAnsi(L"\u9589\u3058\u308B(&C)"), close);
}

// ---- Shortcut dialog ----------------------------------------------------------------------------

const char kShortcutTitle[] = "Create a shortcut file for rinsa";
const char kTestName[] = "Tidewell unit test shortcut";

// shlguid.h, whose shell declarations clash with the planner's.
const CLSID kShellLinkClass = {0x00021401, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// A shortcut as IShellLinkA reads it back.
struct Link {
    bool loaded = false;
    std::string path, arguments, folder, description, icon;
    int showCommand = -1;       // as the shell will use it
    int storedShowCommand = -1; // as the file's header holds it
    WORD hotKey = 0xFFFF;
};

// ShowCommand of the shell link header: after its size, class id, flags, attributes, three times,
// file size and icon index.
constexpr size_t kShowCommandOffset = 0x3C;

Link ReadLink(const std::string &file) {
    Link link;
    CoInitialize(nullptr);
    IShellLinkA *shell = nullptr;
    IPersistFile *persist = nullptr;
    if (SUCCEEDED(CoCreateInstance(kShellLinkClass, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void **>(&shell))) &&
        SUCCEEDED(shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void **>(&persist))) &&
        SUCCEEDED(persist->Load(std::wstring(file.begin(), file.end()).c_str(), STGM_READ))) {
        char text[1024] = "";
        link.loaded = true;
        shell->GetPath(text, sizeof text, nullptr, SLGP_RAWPATH);
        link.path = text;
        shell->GetArguments(text, sizeof text);
        link.arguments = text;
        text[0] = '\0';
        shell->GetWorkingDirectory(text, sizeof text);
        link.folder = text;
        text[0] = '\0';
        shell->GetDescription(text, sizeof text);
        link.description = text;
        int index = 0;
        text[0] = '\0';
        shell->GetIconLocation(text, sizeof text, &index);
        link.icon = text;
        shell->GetShowCmd(&link.showCommand);
        shell->GetHotkey(&link.hotKey);
    }
    if (persist) persist->Release();
    if (shell) shell->Release();
    CoUninitialize();
    std::ifstream bytes(file, std::ios::binary);
    DWORD stored = 0;
    if (bytes.seekg(kShowCommandOffset) && bytes.read(reinterpret_cast<char *>(&stored), sizeof stored))
        link.storedShowCommand = int(stored);
    return link;
}

std::string DesktopFile(const std::string &name) {
    return ShortcutFilePath(DesktopFolder(), name);
}

class ShortcutTest : public ModulePathTest {
protected:
    void SetUp() override {
        ModulePathTest::SetUp();
        g_moduleFileName = FixedModulePath;
        ASSERT_TRUE(*DesktopFolder()) << "the desktop folder is known";
        DeleteFileA(DesktopFile(kTestName).c_str());
    }
    void TearDown() override {
        for (const std::string &name : made_)
            DeleteFileA(DesktopFile(name).c_str());
        DeleteFileA(DesktopFile(kTestName).c_str());
        ModulePathTest::TearDown();
    }
    // Opens the dialog and lets act work it; then Close.
    void Run(const std::function<void(HWND)> &act) {
        DialogDriver driver(kShortcutTitle, [&](HWND dialog) {
            act(dialog);
            DialogDriver::Command(dialog, IDCANCEL);
        });
        ShowShortcutDialog(nullptr);
        EXPECT_TRUE(driver.Join());
    }
    static void Create(HWND dialog, const std::string &name, int kind, const char *commandLine = nullptr) {
        SetDlgItemTextA(dialog, IDC_SHORTCUT_NAME, name.c_str());
        DialogDriver::Click(dialog, kind);
        if (commandLine) SetDlgItemTextA(dialog, IDC_SHORTCUT_COMMAND, commandLine);
        DialogDriver::Click(dialog, IDOK);
    }
    std::vector<std::string> made_;
};

const char kProgram[] = "C:\\Program Files\\Tidewell\\KORVANE.EXE";
const char kCreated[] = "The shortcut of Rinsa on Desktop was created.";

TEST_F(ShortcutTest, EveryKindMakesARealShortcutWithItsArgumentsAndShowCommand) {
    struct Case {
        int id;
        const char *name, *commandLine, *preview, *arguments;
    } cases[] = {
        {IDC_SHORTCUT_KORVANE, "Tw only", nullptr, "( \"C:\\Program Files\\Tidewell\\KORVANE.EXE\" )", ""},
        {IDC_SHORTCUT_DEFRAG, "Tw defrag", nullptr, "( \"C:\\Program Files\\Tidewell\\KORVANE.EXE\" /A0 )", "/A0"},
        {IDC_SHORTCUT_CHECK, "Tw check", nullptr, "( \"C:\\Program Files\\Tidewell\\KORVANE.EXE\" /A1 )", "/A1"},
        {IDC_SHORTCUT_BOTH, "Tw both", nullptr, "( \"C:\\Program Files\\Tidewell\\KORVANE.EXE\" /A2 )", "/A2"},
        {IDC_SHORTCUT_LAST, "Tw last", nullptr, "( \"C:\\Program Files\\Tidewell\\KORVANE.EXE\" /A )", "/A"},
        {IDC_SHORTCUT_OTHER, "Tw other", "\"C:\\My Tools\\a.exe\" /x", "", "/S\"C:\\My Tools\\a.exe\" /x"},
    };
    struct Seen {
        std::string preview;
        bool readOnly = false, browse = false;
    };
    std::vector<Seen> seen;
    bool startReadOnly = false, startBrowse = true, otherSelected = false;
    Run([&](HWND dialog) {
        otherSelected = IsDlgButtonChecked(dialog, IDC_SHORTCUT_OTHER) == BST_CHECKED;
        startReadOnly = (GetWindowLongA(GetDlgItem(dialog, IDC_SHORTCUT_COMMAND), GWL_STYLE) & ES_READONLY) != 0;
        startBrowse = DialogDriver::ItemEnabled(dialog, IDC_SHORTCUT_BROWSE);
        for (const Case &c : cases) {
            made_.push_back(c.name);
            Create(dialog, c.name, c.id, c.commandLine);
            HWND field = GetDlgItem(dialog, IDC_SHORTCUT_COMMAND);
            seen.push_back({c.commandLine ? "" : DialogDriver::Text(field),
                            (GetWindowLongA(field, GWL_STYLE) & ES_READONLY) != 0,
                            DialogDriver::ItemEnabled(dialog, IDC_SHORTCUT_BROWSE)});
        }
    });
    EXPECT_TRUE(otherSelected && startReadOnly && !startBrowse) << "other programs, field locked until a click";
    ASSERT_EQ(6u, seen.size());
    for (size_t i = 0; i < 6; ++i) {
        const Case &c = cases[i];
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.preview, seen[i].preview);
        bool other = c.id == IDC_SHORTCUT_OTHER;
        EXPECT_EQ(!other, seen[i].readOnly);
        EXPECT_EQ(other, seen[i].browse);
        Link link = ReadLink(DesktopFile(c.name));
        ASSERT_TRUE(link.loaded);
        EXPECT_EQ(kProgram, link.path);
        EXPECT_EQ(c.arguments, link.arguments);
        // SW_SHOW is written; readers take any value but the three of the file format for normal.
        EXPECT_EQ(SW_SHOW, link.storedShowCommand);
        EXPECT_EQ(SW_SHOWNORMAL, link.showCommand);
        EXPECT_EQ("", link.folder);
        EXPECT_EQ("", link.description);
        EXPECT_EQ(0, link.hotKey);
    }
    ASSERT_EQ(6u, boxes_.calls().size());
    for (const MessageBoxCall &box : boxes_.calls()) {
        EXPECT_EQ(kCreated, box.text);
        EXPECT_EQ(UINT(MB_ICONINFORMATION), box.type & MB_ICONMASK);
    }
}

TEST_F(ShortcutTest, OtherProgramsNeedACommandLineAndAPreviewIsNoCommandLine) {
    std::string afterOther;
    Run([&](HWND dialog) {
        // The preview of another kind is cleared when other programs are chosen again.
        DialogDriver::Click(dialog, IDC_SHORTCUT_DEFRAG);
        DialogDriver::Click(dialog, IDC_SHORTCUT_OTHER);
        afterOther = DialogDriver::ItemText(dialog, IDC_SHORTCUT_COMMAND);
        Create(dialog, kTestName, IDC_SHORTCUT_OTHER);
        Create(dialog, kTestName, IDC_SHORTCUT_OTHER, "   ");
        // A typed command line stays when the kind is clicked again.
        Create(dialog, kTestName, IDC_SHORTCUT_OTHER, "(CMD.EXE) /C exit");
    });
    EXPECT_EQ("", afterOther);
    std::vector<std::string> texts = BoxTexts();
    ASSERT_EQ(3u, texts.size());
    EXPECT_EQ("Enter the command line into the second editbox.", texts[0]);
    EXPECT_EQ("Enter the command line into the second editbox.", texts[1]);
    EXPECT_EQ(kCreated, texts[2]);
    EXPECT_EQ("/S(CMD.EXE) /C exit", ReadLink(DesktopFile(kTestName)).arguments);
}

TEST_F(ShortcutTest, AnEmptyNameMakesTheDefaultShortcutAndDroppedFilesAreCommandsOfOtherProgramsOnly) {
    made_.push_back("Shortcut of Rinsa");
    DeleteFileA(DesktopFile("Shortcut of Rinsa").c_str());
    std::string afterDefragDrop, afterOtherDrop;
    Run([&](HWND dialog) {
        DialogDriver::Click(dialog, IDC_SHORTCUT_DEFRAG);
        SendMessageA(dialog, WM_DROPFILES, WPARAM(MakeDrop({"C:\\tools\\x.exe"})), 0);
        afterDefragDrop = DialogDriver::ItemText(dialog, IDC_SHORTCUT_COMMAND);
        DialogDriver::Click(dialog, IDC_SHORTCUT_OTHER);
        SetDlgItemTextA(dialog, IDC_SHORTCUT_COMMAND, "first.exe");
        SendMessageA(dialog, WM_DROPFILES, WPARAM(MakeDrop({"C:\\My Tools\\b.exe", "C:\\c.exe"})), 0);
        afterOtherDrop = DialogDriver::ItemText(dialog, IDC_SHORTCUT_COMMAND);
        SetDlgItemTextA(dialog, IDC_SHORTCUT_NAME, "");
        DialogDriver::Click(dialog, IDOK);
    });
    EXPECT_EQ("( \"C:\\Program Files\\Tidewell\\KORVANE.EXE\" /A0 )", afterDefragDrop);
    EXPECT_EQ("first.exe \"C:\\My Tools\\b.exe\" C:\\c.exe", afterOtherDrop);
    EXPECT_EQ("/Sfirst.exe \"C:\\My Tools\\b.exe\" C:\\c.exe", ReadLink(DesktopFile("Shortcut of Rinsa")).arguments);
}

TEST_F(ShortcutTest, BadNamesAreRefusedAndNothingIsCreated) {
    std::string tooLong(MAX_PATH, 'n');
    const char *names[] = {"a\\b", "a/b", "a:b", "a*b", "a?b", "a\"b", "a<b", "a>b", "a|b", "CON", tooLong.c_str()};
    Run([&](HWND dialog) {
        for (const char *name : names)
            Create(dialog, name, IDC_SHORTCUT_DEFRAG);
    });
    std::vector<MessageBoxCall> boxes = boxes_.calls();
    ASSERT_EQ(11u, boxes.size());
    for (size_t i = 0; i < 9; ++i) {
        EXPECT_EQ("A shortcut name cannot contain any of the following characters:\r\n\\ / : * ? \" < > |",
                  boxes[i].text)
            << names[i];
        EXPECT_EQ(UINT(MB_ICONERROR), boxes[i].type & MB_ICONMASK);
    }
    EXPECT_EQ("Windows uses this name for a device; it cannot name a shortcut.", boxes[9].text);
    EXPECT_EQ("The name of the shortcut is too long.", boxes[10].text);
    // Nothing landed anywhere: not in the desktop, not in a folder the name pointed to.
    for (const char *pattern : {"a*.lnk", "b.lnk", "n*.lnk"})
        EXPECT_FALSE(FileExists((std::string(DesktopFolder()) + "\\" + pattern).c_str())) << pattern;
}

TEST_F(ShortcutTest, ReplacingAnExistingShortcutAsksFirst) {
    boxes_.Answer(IDOK);
    boxes_.Answer(IDNO);
    boxes_.Answer(IDYES);
    Run([&](HWND dialog) {
        Create(dialog, kTestName, IDC_SHORTCUT_DEFRAG);
        Create(dialog, kTestName, IDC_SHORTCUT_CHECK);
    });
    EXPECT_EQ("/A0", ReadLink(DesktopFile(kTestName)).arguments) << "No keeps the shortcut there was";
    Run([&](HWND dialog) { Create(dialog, kTestName, IDC_SHORTCUT_LAST); });
    EXPECT_EQ("/A", ReadLink(DesktopFile(kTestName)).arguments) << "Yes replaces it";

    std::vector<MessageBoxCall> boxes = boxes_.calls();
    ASSERT_EQ(4u, boxes.size());
    const std::string question =
        std::string("A shortcut named \"") + kTestName + "\" is already on the desktop.\r\nDo you want to replace it?";
    EXPECT_EQ(question, boxes[1].text);
    EXPECT_EQ(UINT(MB_ICONQUESTION | MB_YESNO), boxes[1].type & (MB_ICONMASK | MB_TYPEMASK));
    EXPECT_EQ(question, boxes[2].text);
    EXPECT_EQ(kCreated, boxes[3].text);
}

TEST_F(ShortcutTest, WithoutTheProgramPathNoShortcutIsMade) {
    g_moduleFileName = NoModulePath;
    Run([&](HWND dialog) { Create(dialog, kTestName, IDC_SHORTCUT_DEFRAG); });
    EXPECT_EQ(std::vector<std::string>{"Creating shortcut was failed."}, BoxTexts());
    EXPECT_FALSE(IsFile(DesktopFile(kTestName)));
}

TEST_F(ShortcutTest, TheShellExtensionsButtonOpensTheShortcutDialog) {
    bool opened = false;
    DialogDriver shortcut(
        kShortcutTitle,
        [&](HWND dialog) {
            opened = true;
            DialogDriver::Command(dialog, IDCANCEL);
        },
        20000);
    DialogDriver extensions(kExtensionsTitle, [&](HWND dialog) {
        DialogDriver::Command(dialog, IDC_SHLEXT_SHORTCUT);
        // Cancel waits until the shortcut dialog has gone again.
        shortcut.Join();
        DialogDriver::Command(dialog, IDCANCEL);
    });
    EXPECT_EQ(1, ShowShellExtensions(nullptr));
    EXPECT_TRUE(extensions.Join());
    EXPECT_TRUE(opened);
}

} // namespace
