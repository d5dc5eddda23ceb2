// Platform helpers, run against the real Windows (or Wine) underneath.
#include "platform.h"
#include "winhandle.h"

#include <gtest/gtest.h>

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstring>
#include <set>
#include <string>
#include <thread>

namespace {

std::string CurrentDirectory() {
    char path[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof(path), path);
    return path;
}

// Puts the current directory back when the test ends, however it ends.
class CurrentDirectoryScope {
public:
    CurrentDirectoryScope() : saved_(CurrentDirectory()) {}
    ~CurrentDirectoryScope() { SetCurrentDirectoryA(saved_.c_str()); }
    CurrentDirectoryScope(const CurrentDirectoryScope &) = delete;
    CurrentDirectoryScope &operator=(const CurrentDirectoryScope &) = delete;

private:
    std::string saved_;
};

// A name in the ANSI code page, converted without the helpers under test.
std::string AnsiName(const wchar_t *name) {
    char out[MAX_PATH * 2] = "";
    WideCharToMultiByte(CP_ACP, 0, name, -1, out, sizeof(out), nullptr, nullptr);
    return out;
}

// A fresh folder under the temporary folder, removed with its files at the end of the test.
class TempFolder {
public:
    TempFolder() {
        wchar_t base[MAX_PATH];
        GetTempPathW(MAX_PATH, base);
        static int count = 0;
        path_ = std::wstring(base) + L"tw_platform_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                std::to_wstring(++count);
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~TempFolder() {
        WIN32_FIND_DATAW data;
        HANDLE search = FindFirstFileW((path_ + L"\\*").c_str(), &data);
        if (search != INVALID_HANDLE_VALUE) {
            do
                DeleteFileW((path_ + L"\\" + data.cFileName).c_str());
            while (FindNextFileW(search, &data));
            FindClose(search);
        }
        RemoveDirectoryW(path_.c_str());
    }
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;

    // Made through the Unicode API, so names outside the ANSI code page are possible.
    void AddFile(const std::wstring &name, const char *content) const {
        UniqueFile file(CreateFileW((path_ + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file.Valid());
        DWORD written = 0;
        WriteFile(file.Get(), content, static_cast<DWORD>(strlen(content)), &written, nullptr);
    }
    std::wstring Wide(const char *asciiName) const {
        return path_ + L"\\" + std::wstring(asciiName, asciiName + strlen(asciiName));
    }
    std::string Ansi() const { return AnsiName(path_.c_str()); }
    std::string Ansi(const char *name) const { return Ansi() + "\\" + name; }

private:
    std::wstring path_;
};

TEST(WindowsVersionCode, FollowsThePlatformRule) {
    struct Case {
        DWORD platform, major, minor, build;
        unsigned short code;
    } cases[] = {
        {VER_PLATFORM_WIN32_NT, 5, 0, 2195, 500},
        {VER_PLATFORM_WIN32_NT, 5, 1, 2600, 501},
        {VER_PLATFORM_WIN32_NT, 5, 2, 3790, 502},
        {VER_PLATFORM_WIN32_NT, 6, 0, 6002, 600},
        {VER_PLATFORM_WIN32_NT, 6, 1, 7601, 601},
        {VER_PLATFORM_WIN32_NT, 6, 3, 9600, 603},
        {VER_PLATFORM_WIN32_NT, 10, 0, 19045, 1000},
        {VER_PLATFORM_WIN32_WINDOWS, 4, 0, 950, 400},
        {VER_PLATFORM_WIN32_WINDOWS, 4, 10, 0x040A07CE, 410},
        {VER_PLATFORM_WIN32_WINDOWS, 4, 90, 0x045A0BB8, 490},
        // Nonsense numbers saturate rather than wrap into a small, plausible code.
        {VER_PLATFORM_WIN32_NT, 1000, 0, 0, 0xFFFF},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.code, WindowsVersionCodeFrom(c.platform, c.major, c.minor, c.build))
            << c.platform << " " << c.major << "." << c.minor << " build " << c.build;
}

TEST(WindowsVersionCode, RunningSystemIsAtLeastXp) {
    EXPECT_GE(GetWindowsVersionCode(), 501);
}

TEST(ProgramFolderOf, KeepsTheBackslashOfARoot) {
    struct Case {
        const char *module;
        const char *folder;
    } cases[] = {
        {"C:\\KORVANE.EXE", "C:\\"},
        {"C:\\Tools\\KORVANE.EXE", "C:\\Tools"},
        {"C:\\A\\KORVANE.EXE", "C:\\A\\"}, // index 4: kept, as a root's would be
        {"C:\\AB\\KORVANE.EXE", "C:\\AB"},
        {"KORVANE.EXE", ""},
        {"C:\\\x95\x5C\\KORVANE.EXE", "C:\\\x95\x5C"},
        {"C:\\\x95\x5C"
         "KORVANE.EXE",
         "C:\\"},
        {"\\\\server\\share\\KORVANE.EXE", "\\\\server\\share"},
        {"\\\\?\\C:\\KORVANE.EXE", "\\\\?\\C:\\"},
        {"\\KORVANE.EXE", "\\"},
        {"C:\\\x81:\\KORVANE.EXE", "C:\\\x81:"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.folder, ProgramFolderOf(c.module)) << c.module;
    EXPECT_EQ("", ProgramFolderOf(nullptr));
}

TEST(SetProgramDirectory, MovesToTheFolderOfTheExe) {
    CurrentDirectoryScope restore;
    char module[MAX_PATH];
    GetModuleFileNameA(nullptr, module, sizeof(module));
    SetCurrentDirectoryA(SystemFolder());
    EXPECT_TRUE(SetProgramDirectory());
    EXPECT_EQ(ProgramFolderOf(module), CurrentDirectory());
}

TEST(LoadSystemLibrary, PutsTheCurrentDirectoryBack) {
    TempFolder folder;
    CurrentDirectoryScope restore;
    ASSERT_TRUE(SetCurrentDirectoryA(folder.Ansi().c_str()));
    UniqueModule found(LoadSystemLibrary("version.dll"));
    EXPECT_TRUE(found.Valid());
    EXPECT_EQ(folder.Ansi(), CurrentDirectory());
    UniqueModule missing(LoadSystemLibrary("tw_no_such_library.dll"));
    EXPECT_FALSE(missing.Valid());
    EXPECT_EQ(folder.Ansi(), CurrentDirectory());
    EXPECT_EQ(nullptr, LoadSystemLibrary(""));
}

TEST(AllowDropFromLowerProcesses, SucceedsOnThisSystem) {
    EXPECT_TRUE(AllowDropFromLowerProcesses());
}

TEST(EnableShutdownPrivilege, SucceedsForTheProcessToken) {
    EXPECT_TRUE(EnableShutdownPrivilege());
}

TEST(FindFileAnsi, ListsUnicodeNamesInTheAnsiCodePage) {
    TempFolder folder;
    folder.AddFile(L"plain.txt", "12345");
    folder.AddFile(L"caf\u00E9.txt", "");
    folder.AddFile(L"other.dat", "");
    FINDDATA_ANSI data;
    UniqueFind search(FindFirstFileAnsi((folder.Ansi() + "\\*.txt").c_str(), &data));
    ASSERT_TRUE(search.Valid());
    std::set<std::string> names;
    do {
        names.insert(data.cFileName);
        if (strcmp(data.cFileName, "plain.txt") == 0) {
            EXPECT_EQ(5u, data.nFileSizeLow);
        }
    } while (FindNextFileAnsi(search.Get(), &data));
    EXPECT_EQ((std::set<std::string>{"plain.txt", AnsiName(L"caf\u00E9.txt")}), names);
    EXPECT_FALSE(FindNextFileAnsi(INVALID_HANDLE_VALUE, &data));
}

TEST(MatchesPattern, TakesLongNamesAsTheFileSystemSearchWouldWithoutItsAliases) {
    struct Case {
        const wchar_t *name;
        const wchar_t *pattern;
        bool matches;
    } cases[] = {
        {L"a.pnf", L"*.PNF", true},
        {L"setup.pnfx", L"*.pnf", false}, // its alias SETU~1.PNF does not count
        {L"README", L"*.*", true},        // "*.*" takes names without a dot too
        {L"setup", L"setup.*", true},
        {L"setup.inf", L"setup.*", true},
        {L"setupx", L"setup.*", false},
        {L"x.*", L"x.*", true},
        {L"\u00E9t\u00E9.log", L"\u00C9T\u00C9.*", true}, // case is ignored beyond ASCII
        {L"\u8868", L"?", true},
        {L"ab", L"?", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.matches, MatchesPattern(c.name, c.pattern)) << AnsiName(c.name) << " / " << AnsiName(c.pattern);
}

TEST(FileExists, FindsFilesAndPatterns) {
    TempFolder folder;
    folder.AddFile(L"here.txt", "x");
    EXPECT_TRUE(FileExists(folder.Ansi("here.txt").c_str()));
    EXPECT_TRUE(FileExists(folder.Ansi("*.txt").c_str()));
    EXPECT_FALSE(FileExists(folder.Ansi("gone.txt").c_str()));
    EXPECT_FALSE(FileExists(folder.Ansi("*.dat").c_str()));
    // A drive that is not there fails quietly instead of asking for a disk.
    EXPECT_FALSE(FileExists("Q:\\nothing\\here.txt"));
    EXPECT_FALSE(FileExists(""));
    EXPECT_FALSE(FileExists(nullptr));
}

TEST(FileSize64, GivesTheSizeOrAllBits) {
    TempFolder folder;
    folder.AddFile(L"seven.txt", "1234567");
    folder.AddFile(L"empty.txt", "");
    EXPECT_EQ(7u, FileSize64(folder.Ansi("seven.txt").c_str()));
    EXPECT_EQ(0u, FileSize64(folder.Ansi("empty.txt").c_str()));
    EXPECT_EQ(~0ULL, FileSize64(folder.Ansi("missing.txt").c_str()));
    EXPECT_EQ(~0ULL, FileSize64(folder.Ansi().c_str())) << "a folder has no file size";
    EXPECT_EQ(~0ULL, FileSize64(nullptr));
}

bool HasControlCharacters(const char *text) {
    for (const char *p = text; *p != '\0'; ++p)
        if (static_cast<unsigned char>(*p) < 32) return true;
    return false;
}

TEST(HasLoneSurrogate, FindsASurrogateWithoutItsPartner) {
    const struct {
        std::wstring text;
        bool lone;
    } cases[] = {
        {L"", false},
        {L"plain \x3042 text", false},
        {L"\xD83D\xDE00", false},              // a pair: one character beyond the BMP
        {L"a\xD83D\xDE00\xD83D\xDE01", false}, // pairs side by side
        {L"\xD83D", true},                     // a high surrogate at the end
        {L"\xD83Dx", true},                    // ... before an ordinary character
        {L"\xD83D\xD83D\xDE00", true},         // ... before a whole pair
        {L"\xDE00", true},                     // a low surrogate alone
        {L"\xDE00\xD83D", true},               // a pair in the wrong order
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.lone, HasLoneSurrogate(c.text.data(), c.text.size())) << testing::PrintToString(c.text);
    const wchar_t cut[] = L"\xD83D\xDE00";
    EXPECT_TRUE(HasLoneSurrogate(cut, 1)) << "the length given ends the text, not the terminator";
}

TEST(SystemErrorText, GivesTheEnglishTextOnOneLine) {
    std::string text = SystemErrorText(false, ERROR_ACCESS_DENIED);
    EXPECT_NE(std::string::npos, text.find("denied")) << text;
    EXPECT_FALSE(HasControlCharacters(text.c_str())) << text;
    EXPECT_STREQ("FormatMessage() error", SystemErrorText(false, 0x2FFFFFFF));
    EXPECT_FALSE(HasControlCharacters(SystemErrorText(true, ERROR_FILE_NOT_FOUND)));
}

TEST(SystemErrorText, KeepsOneBufferPerThread) {
    const char *mine = SystemErrorText(false, ERROR_ACCESS_DENIED);
    std::string expected = mine;
    std::string theirs;
    std::thread other([&theirs] { theirs = SystemErrorText(false, ERROR_FILE_NOT_FOUND); });
    other.join();
    EXPECT_NE(expected, theirs);
    EXPECT_EQ(expected, mine) << "another thread's call replaced this thread's text";
}

TEST(DesktopFolder, IsAnAbsolutePath) {
    std::string desktop = DesktopFolder();
    ASSERT_GE(desktop.size(), 3u);
    EXPECT_EQ(":\\", desktop.substr(1, 2)) << desktop;
}

TEST(BootDrive, IsADriveRoot) {
    std::string root = BootDrive();
    ASSERT_GE(root.size(), 3u);
    EXPECT_EQ(":\\", root.substr(1, 2)) << root;
}

TEST(Strings, DupAndJoinMakeNewTexts) {
    const char original[] = "abc";
    TextPtr copy = DupString(original);
    ASSERT_TRUE(copy);
    EXPECT_NE(original, copy.get());
    EXPECT_STREQ("abc", copy.get());
    EXPECT_FALSE(DupString(nullptr));
    EXPECT_STREQ("abcdef", JoinStrings(std::move(copy), "def").get());
    EXPECT_STREQ("def", JoinStrings(nullptr, "def").get());
    EXPECT_STREQ("abc", JoinStrings(DupString("abc"), nullptr).get());
}

// A top-level window destroyed, with its children, at the end of the test.
struct WindowOwner {
    HWND window;
    ~WindowOwner() {
        if (window) DestroyWindow(window);
    }
    HWND Get() const { return window; }
};

TEST(DialogItemText, ReadsTheWholeText) {
    WindowOwner parent{CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr)};
    ASSERT_NE(nullptr, parent.Get());
    HWND edit = CreateWindowExA(0, "EDIT", "", WS_CHILD | ES_MULTILINE, 0, 0, 50, 20, parent.Get(),
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(1049)), nullptr, nullptr);
    ASSERT_NE(nullptr, edit);
    // Longer than any fixed buffer a caller might have guessed.
    std::string longText(5000, 'x');
    longText += "end";
    SetWindowTextA(edit, longText.c_str());
    TextPtr text = DialogItemText(parent.Get(), 1049);
    ASSERT_TRUE(text);
    EXPECT_EQ(longText, text.get());
    EXPECT_FALSE(DialogItemText(parent.Get(), 1050)) << "no such control";
}

// Reads a shortcut back through the shell link object.
struct ShortcutContent {
    std::string target;
    std::string arguments;
};

bool ReadShortcut(const std::wstring &path, ShortcutContent *content) {
    IShellLinkA *link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void **>(&link))))
        return false;
    IPersistFile *file = nullptr;
    bool ok = SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void **>(&file))) &&
              SUCCEEDED(file->Load(path.c_str(), STGM_READ));
    char buffer[MAX_PATH * 2] = "";
    if (ok && SUCCEEDED(link->GetPath(buffer, sizeof(buffer), nullptr, SLGP_RAWPATH))) content->target = buffer;
    if (ok && SUCCEEDED(link->GetArguments(buffer, sizeof(buffer)))) content->arguments = buffer;
    if (file) file->Release();
    link->Release();
    return ok;
}

TEST(CreateShortcutFile, WritesALinkAndLeavesComAsItWas) {
    struct Case {
        const char *name;
        DWORD apartment; // how the thread is set up before the call; ~0u: not at all
    } cases[] = {
        {"none.lnk", ~0u},
        {"single.lnk", COINIT_APARTMENTTHREADED},
        {"multi.lnk", COINIT_MULTITHREADED},
    };
    TempFolder folder;
    char target[MAX_PATH];
    GetModuleFileNameA(nullptr, target, sizeof(target));
    for (const Case &c : cases) {
        bool initialised = c.apartment != ~0u && SUCCEEDED(CoInitializeEx(nullptr, c.apartment));
        std::string path = folder.Ansi(c.name);
        EXPECT_TRUE(CreateShortcutFile(target, "/A1", path.c_str())) << c.name;
        EXPECT_TRUE(FileExists(path.c_str())) << c.name;
        if (!initialised) {
            // Nothing left behind: the thread can still choose the other apartment.
            HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            EXPECT_EQ(S_OK, hr) << c.name << ": COM initialisation was not undone";
            if (SUCCEEDED(hr)) CoUninitialize();
            continue;
        }
        ShortcutContent content;
        EXPECT_TRUE(ReadShortcut(folder.Wide(c.name), &content)) << c.name;
        EXPECT_EQ("/A1", content.arguments) << c.name;
        EXPECT_EQ(0, lstrcmpiA(target, content.target.c_str())) << content.target;
        CoUninitialize();
    }
    EXPECT_FALSE(CreateShortcutFile("", "", folder.Ansi("empty.lnk").c_str()));
    EXPECT_FALSE(CreateShortcutFile(target, "", nullptr));
}

} // namespace
