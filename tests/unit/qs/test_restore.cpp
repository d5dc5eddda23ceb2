// The restore and delete commands against the real (Wine) registry and files: what each one puts
// back, what it logs, that a second run is harmless, that damaged backups are survived, and that
// the deletions never sweep the system or the users' folders.
#include "QS.h"

#include "language.h"
#include "log_capture.h"
#include "platform.h"
#include "scoped_messages.h"
#include "system_state.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kMemoryManagement[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Memory Management";
const char kUserWinlogon[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const char kMachineWinlogon[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const char kPoliciesSystem[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
const char kRunServices[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices";
const char kRunServicesBackup[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServicesBackup";
const char kServices[] = "SYSTEM\\CurrentControlSet\\Services";

// Every command test: English texts, its own log, and no REGA misuse box (a key left open).
class RestoreTest : public ::testing::Test {
protected:
    void SetUp() override { SetLanguage(Program::QuietShell, false); }
    void TearDown() override {
        for (const MessageBoxCall &box : boxes_.calls())
            ADD_FAILURE() << "unexpected message box: " << box.text;
    }
    std::vector<std::string> Texts() const { return log_.Texts(); }
    void ExpectLines(const std::vector<std::string> &expected, const char *what) {
        EXPECT_EQ(expected, Texts()) << what;
        log_.Clear();
    }

    LogCapture log_;
    ScopedMessages boxes_;
};

// ---- Plain decisions -----------------------------------------------------------------------------

TEST(TerminatedDataLength, CompletesOnlyTheTerminatorsTextsLack) {
    struct Case {
        DWORD type;
        std::string data;
        DWORD expected;
    } cases[] = {
        {REG_MULTI_SZ, std::string("a\0b\0\0", 5), 5},
        {REG_MULTI_SZ, std::string("a\0b\0", 4), 5},
        {REG_MULTI_SZ, std::string("a\0b", 3), 5},
        {REG_MULTI_SZ, std::string("\0", 1), 2},
        {REG_MULTI_SZ, std::string(), 0},
        {REG_SZ, std::string("abc\0", 4), 4},
        {REG_SZ, std::string("abc", 3), 4},
        {REG_EXPAND_SZ, std::string("%x%", 3), 4},
        {REG_BINARY, std::string("abc", 3), 3},
        {REG_DWORD, std::string("\1\0\0\0", 4), 4},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(c.expected, TerminatedDataLength(c.type, reinterpret_cast<const BYTE *>(c.data.data()),
                                                   static_cast<DWORD>(c.data.size())))
            << "type " << c.type << ", " << c.data.size() << " bytes";
    }
}

TEST(WildcardMatch, FileNameRules) {
    struct Case {
        const char *pattern;
        const char *name;
        bool matches;
    } cases[] = {
        {"*", "system32", true},
        {"*.*", "system32", true}, // "*.*" takes names without a dot too
        {"sys*", "system32", true},
        {"*32", "system32", true},
        {"s?stem32", "system32", true},
        {"*.dll", "system32", false},
        {"system", "system32", false},
        {"system32?", "system32", false},
        {"*a*a*a*a*a*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false}, // no exponential backtracking
        {"progra~1", "progra~1", true},
        {"?", "\x95\x5C", true}, // one double-byte character whose second byte is a backslash
        {"??", "\x95\x5C", false},
        {"\x83\x41", "\x83\x61", false}, // different katakana, not a case difference
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.matches, WildcardMatch(c.pattern, c.name)) << c.pattern << " vs " << c.name;
}

const std::vector<std::string> kGuarded = {
    "C:\\Windows",
    "C:\\Windows\\System32",
    "C:\\Program Files",
    "C:\\Program Files (x86)\\",
    "C:\\Users",
    "C:\\Users\\bob",
    "C:\\Users\\\x83\x61",
    "\\\\srv\\share\\profiles\\amy",
    "",
};

TEST(ProtectedFolders, DelDirRefusesRootsAndWhatHoldsAProtectedFolder) {
    struct Case {
        const char *folder;
        bool refused;
    } cases[] = {
        {"C:\\Windows", true},
        {"c:/windows/", true},
        {"C:\\WINDOWS\\\\", true},
        {"C:\\Windows.", true}, // Windows ignores trailing dots and blanks
        {"C:\\Windows ", true},
        {"\\\\?\\C:\\Windows", true},
        {"C:\\Windows\\Temp\\..\\..\\Windows", true},
        {"C:\\Windows\\System32\\..", true},
        {"C:\\Windows\\Temp", false},
        {"C:\\Windows\\System32\\drivers\\..\\..\\Temp", false},
        {"C:\\Program Files", true},
        {"C:\\Program Files (x86)", true},
        {"C:\\Program Files\\Vendor\\Cache", false},
        {"C:\\Users", true},
        {"C:\\Users\\Bob\\", true},
        {"C:\\Users\\bob\\AppData\\Local\\Temp", false},
        {"C:\\Users\\bobby", false},
        {"C:\\Users\\\x83\x41", false}, // another user: the trail byte is not a capital letter
        {"C:\\", true},
        {"C:", true},
        {"D:\\\\", true},
        {"D:\\.", true},
        {"C:\\..\\..", true},
        {"D:\\Data", false},
        {"\\\\srv\\share", true},
        {"\\\\srv\\share\\profiles", true},
        {"\\\\?\\UNC\\srv\\share\\profiles\\amy", true},
        {"\\\\srv\\share\\other", false},
        {"", true},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.refused, IsProtectedFolder(c.folder, kGuarded)) << c.folder;
}

TEST(ProtectedFolders, DelFilesRefusesSweepsAndNamesThatTakeAProtectedFolder) {
    struct Case {
        const char *pattern;
        bool refused;
    } cases[] = {
        {"C:\\Windows\\*.*", true},
        {"C:/Windows/*", true},
        {"C:\\Windows\\*.", true},
        {"C:\\Windows\\*.log", false},
        {"C:\\Windows\\Inf\\*.pnf", false},
        {"C:\\Windows\\Sys*", true}, // takes System32
        {"C:\\Windows\\System32", true},
        {"C:\\Windows\\System32\\", true},
        {"C:\\Windows\\System32\\*.dll", false}, // a sweep of files of one kind only
        {"C:\\Win*", true},
        {"C:\\*.*", true},
        {"C:\\*.tmp", false},
        {"C:\\", true},
        {"D:\\*.*", true},
        {"D:\\*.bak", false},
        {"C:\\Users\\*", true},
        {"C:\\Users\\b?b", true},
        {"C:\\Users\\bob\\*.*", true},
        {"C:\\Users\\bob\\..\\*", true},
        {"C:\\Users\\bob\\Recent\\*.lnk", false},
        {"C:\\Users\\bob\\AppData\\Local\\Temp\\*.*", false},
        {"\\\\srv\\share\\*.*", true},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.refused, IsProtectedPattern(c.pattern, kGuarded)) << c.pattern;
}

std::string WindowsFolder() {
    char path[MAX_PATH] = "";
    GetWindowsDirectoryA(path, sizeof path);
    return path;
}

std::string TempPath() {
    char path[MAX_PATH] = "";
    GetTempPathA(sizeof path, path);
    return path;
}

std::string Environment(const char *name) {
    char value[1024] = "";
    DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length < sizeof value ? value : "";
}

std::string ShortForm(const std::string &path) {
    char out[MAX_PATH] = "";
    DWORD length = GetShortPathNameA(path.c_str(), out, sizeof out);
    return length > 0 && length < sizeof out ? out : path;
}

std::string ParentFolder(std::string path) {
    while (!path.empty() && path.back() == '\\')
        path.pop_back();
    return path.substr(0, path.rfind('\\'));
}

TEST(ProtectedFolders, TheSystemsFoldersAreFoundInEveryForm) {
    std::string windows = WindowsFolder();
    std::string profile = Environment("USERPROFILE");
    ASSERT_FALSE(profile.empty());
    std::vector<std::string> refused = {
        windows,
        SystemFolder(),
        Environment("ProgramFiles"),
        Environment("ProgramFiles(x86)"),
        profile,
        ParentFolder(profile),
        ShortForm(Environment("ProgramFiles")),
        windows + "\\System32\\..\\",
    };
    for (const std::string &folder : refused) {
        if (folder.empty()) continue;
        EXPECT_TRUE(DelDirRefuses(folder.c_str())) << folder;
    }
    for (const std::string &folder : {windows + "\\TEMP", TempPath(), profile + "\\Recent"})
        EXPECT_FALSE(DelDirRefuses(folder.c_str())) << folder;

    EXPECT_TRUE(DelFilesRefuses((windows + "\\*.*").c_str()));
    EXPECT_TRUE(DelFilesRefuses((ParentFolder(profile) + "\\*").c_str()));
    EXPECT_TRUE(DelFilesRefuses(ShortForm(Environment("ProgramFiles")).c_str())) << "a short name is the folder";
    EXPECT_FALSE(DelFilesRefuses((windows + "\\Inf\\*.pnf").c_str()));
    EXPECT_FALSE(DelFilesRefuses((TempPath() + "*.*").c_str()));
}

TEST(ProtectedFolders, RelativePathsAreResolvedAgainstTheCurrentFolder) {
    char saved[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof saved, saved);
    // QS works in the System folder, so ".." there is the Windows folder.
    ASSERT_TRUE(SetCurrentDirectoryA(SystemFolder()));
    EXPECT_TRUE(DelDirRefuses(".."));
    EXPECT_TRUE(DelDirRefuses("..\\..\\."));
    EXPECT_TRUE(DelFilesRefuses("..\\*.*"));
    EXPECT_TRUE(DelFilesRefuses("*.*"));
    EXPECT_FALSE(DelFilesRefuses("..\\Inf\\*.pnf"));
    SetCurrentDirectoryA(saved);
}

// ---- Registry restores -----------------------------------------------------------------------------

TEST_F(RestoreTest, RestoreShellWritesOrDeletesTheUserShellAndMayRunTwice) {
    ValueGuard guard(HKEY_CURRENT_USER, kUserWinlogon, "Shell");
    WriteText(HKEY_CURRENT_USER, kUserWinlogon, "Shell", "C:\\tidewell\\QS.EXE");
    RestoreShell("Explorer.exe");
    RestoreShell("Explorer.exe");
    ExpectLines({"Restored Shell.", "Restored Shell."}, "write");
    RawValue shell = ReadRaw(HKEY_CURRENT_USER, kUserWinlogon, "Shell");
    EXPECT_EQ(DWORD(REG_SZ), shell.type);
    EXPECT_EQ(BytesOf("Explorer.exe", 13), shell.data);

    RestoreShell("");
    RestoreShell(nullptr);
    ExpectLines({"Restored Shell(Delete Value).", "Restored Shell(Delete Value)."},
                "delete: a value already gone is no failure");
    EXPECT_FALSE(ReadRaw(HKEY_CURRENT_USER, kUserWinlogon, "Shell").exists);
}

TEST_F(RestoreTest, RestoreBootExecuteMovesTheBackupBackWithItsTypeAndBytes) {
    ValueGuard live(HKEY_LOCAL_MACHINE, kSessionManager, "BootExecute");
    ValueGuard backup(HKEY_LOCAL_MACHINE, kSessionManager, "_BootExecute");
    struct Case {
        const char *what;
        DWORD type;
        std::string saved;
        std::string restored;
    } cases[] = {
        {"multi-string", REG_MULTI_SZ, std::string("autocheck autochk *\0\0", 21),
         std::string("autocheck autochk *\0\0", 21)},
        {"multi-string without terminators", REG_MULTI_SZ, std::string("autocheck autochk *", 19),
         std::string("autocheck autochk *\0\0", 21)},
        {"single string", REG_SZ, std::string("autocheck autochk *\0", 20), std::string("autocheck autochk *\0", 20)},
        {"empty list", REG_MULTI_SZ, std::string(), std::string()},
    };
    for (const Case &c : cases) {
        WriteRaw(HKEY_LOCAL_MACHINE, kSessionManager, "BootExecute", REG_MULTI_SZ,
                 BytesOf("autocheck autochk /p \\??\\C:\0\0", 29));
        WriteRaw(HKEY_LOCAL_MACHINE, kSessionManager, "_BootExecute", c.type, BytesOf(c.saved.data(), c.saved.size()));
        RestoreBootExecute("");
        RestoreBootExecute(""); // after an unplanned restart: no backup any more
        ExpectLines({"Restored BootExecute.", "Cannot restore BootExecute."}, c.what);
        RawValue value = ReadRaw(HKEY_LOCAL_MACHINE, kSessionManager, "BootExecute");
        EXPECT_EQ(c.type, value.type) << c.what;
        EXPECT_EQ(BytesOf(c.restored.data(), c.restored.size()), value.data) << c.what;
        EXPECT_FALSE(ReadRaw(HKEY_LOCAL_MACHINE, kSessionManager, "_BootExecute").exists) << c.what;
    }
}

TEST_F(RestoreTest, RestoreSwapPutsThePagingFileListBack) {
    ValueGuard live(HKEY_LOCAL_MACHINE, kMemoryManagement, "PagingFiles");
    ValueGuard backup(HKEY_LOCAL_MACHINE, kMemoryManagement, "_PagingFiles");
    const std::string list("C:\\pagefile.sys 0 0\0\0", 21);
    struct Case {
        const char *what;
        DWORD type;
        std::string saved;
    } cases[] = {
        {"raw bytes as the planner keeps them", REG_BINARY, list},
        {"text without its terminator", REG_SZ, std::string("C:\\pagefile.sys 0 0", 19)},
        {"binary without terminators", REG_BINARY, std::string("C:\\pagefile.sys 0 0", 19)},
    };
    for (const Case &c : cases) {
        WriteRaw(HKEY_LOCAL_MACHINE, kMemoryManagement, "PagingFiles", REG_BINARY, Bytes(3, 0));
        WriteRaw(HKEY_LOCAL_MACHINE, kMemoryManagement, "_PagingFiles", c.type,
                 BytesOf(c.saved.data(), c.saved.size()));
        RestoreSwap("");
        RestoreSwap(""); // a second run finds no backup and says nothing
        ExpectLines({"Restore Paging File."}, c.what);
        RawValue value = ReadRaw(HKEY_LOCAL_MACHINE, kMemoryManagement, "PagingFiles");
        EXPECT_EQ(DWORD(REG_MULTI_SZ), value.type) << c.what;
        EXPECT_EQ(BytesOf(list.data(), list.size()), value.data) << c.what;
        EXPECT_FALSE(ReadRaw(HKEY_LOCAL_MACHINE, kMemoryManagement, "_PagingFiles").exists) << c.what;
    }
}

TEST_F(RestoreTest, RestoreSwapIsSilentWithoutBackupAndKeepsABackupItCannotUse) {
    ValueGuard live(HKEY_LOCAL_MACHINE, kMemoryManagement, "PagingFiles");
    ValueGuard backup(HKEY_LOCAL_MACHINE, kMemoryManagement, "_PagingFiles");
    Bytes off(3, 0);
    WriteRaw(HKEY_LOCAL_MACHINE, kMemoryManagement, "PagingFiles", REG_BINARY, off);

    DeleteRaw(HKEY_LOCAL_MACHINE, kMemoryManagement, "_PagingFiles");
    RestoreSwap("");
    WriteRaw(HKEY_LOCAL_MACHINE, kMemoryManagement, "_PagingFiles", REG_BINARY, Bytes());
    RestoreSwap("");
    ExpectLines({}, "no backup, or an empty one: no line");

    WriteDword(HKEY_LOCAL_MACHINE, kMemoryManagement, "_PagingFiles", 5);
    RestoreSwap("");
    std::vector<std::string> texts = Texts();
    ASSERT_EQ(1u, texts.size());
    EXPECT_EQ(0u, texts[0].find("Restore Paging File - failed.")) << texts[0];
    EXPECT_GT(texts[0].size(), strlen("Restore Paging File - failed.")) << "the reason follows";
    EXPECT_EQ(off, ReadRaw(HKEY_LOCAL_MACHINE, kMemoryManagement, "PagingFiles").data) << "not overwritten";
    EXPECT_TRUE(ReadRaw(HKEY_LOCAL_MACHINE, kMemoryManagement, "_PagingFiles").exists) << "kept for a later try";
}

TEST_F(RestoreTest, RServiceSetsAutomaticStartOnlyOnAServiceKey) {
    const std::string service = std::string(kServices) + "\\TidewellTestSvc";
    KeyGuard guard(HKEY_LOCAL_MACHINE, service);
    WriteDword(HKEY_LOCAL_MACHINE, service.c_str(), "Start", 4);
    WriteDword(HKEY_LOCAL_MACHINE, (service + "\\Parameters").c_str(), "Start", 4);
    ValueGuard servicesStart(HKEY_LOCAL_MACHINE, kServices, "Start");
    DeleteRaw(HKEY_LOCAL_MACHINE, kServices, "Start");
    KeyGuard missing(HKEY_LOCAL_MACHINE, std::string(kServices) + "\\TidewellNoSuchSvc");

    RService("TidewellTestSvc");
    RService("TidewellNoSuchSvc");
    RService("");
    RService("TidewellTestSvc\\Parameters");
    const std::string cannot = "$RService:Cannot open registry key -  - HKLM\\SYSTEM\\CurrentControlSet\\Services\\";
    ExpectLines({"Restored Service - TidewellTestSvc", cannot + "TidewellNoSuchSvc", cannot,
                 cannot + "TidewellTestSvc\\Parameters"},
                "service names");
    EXPECT_EQ(BytesOf("\2\0\0\0", 4), ReadRaw(HKEY_LOCAL_MACHINE, service.c_str(), "Start").data);
    EXPECT_EQ(BytesOf("\4\0\0\0", 4), ReadRaw(HKEY_LOCAL_MACHINE, (service + "\\Parameters").c_str(), "Start").data);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, (std::string(kServices) + "\\TidewellNoSuchSvc").c_str()));
    EXPECT_FALSE(ReadRaw(HKEY_LOCAL_MACHINE, kServices, "Start").exists) << "the Services key itself untouched";
}

TEST_F(RestoreTest, RestoreRunServiceCopiesEveryValueBackAndRemovesTheBackup) {
    KeyGuard target(HKEY_LOCAL_MACHINE, kRunServices);
    KeyGuard backupGuard(HKEY_LOCAL_MACHINE, kRunServicesBackup);
    struct Saved {
        const char *name;
        DWORD type;
        std::string data;
        std::string copied;
    } saved[] = {
        {"Alpha", REG_SZ, std::string("a.exe\0", 6), std::string("a.exe\0", 6)},
        {"Beta", REG_EXPAND_SZ, std::string("%windir%\\b.exe\0", 15), std::string("%windir%\\b.exe\0", 15)},
        // The ANSI registry functions hand a text over with its terminator, whether stored or not.
        {"Gamma", REG_SZ, std::string("unterminated", 12), std::string("unterminated\0", 13)},
        {"Delta", REG_BINARY, std::string("\1\2\3", 3), std::string("\1\2\3", 3)},
    };
    for (const Saved &value : saved)
        WriteRaw(HKEY_LOCAL_MACHINE, kRunServicesBackup, value.name, value.type,
                 BytesOf(value.data.data(), value.data.size()));
    RestoreRunService("");
    RestoreRunService(""); // nothing left to copy, and no key made for it
    ExpectLines({"Restored RunService.", "Restored RunService."}, "copy");
    for (const Saved &value : saved) {
        RawValue copy = ReadRaw(HKEY_LOCAL_MACHINE, kRunServices, value.name);
        EXPECT_EQ(value.type, copy.type) << value.name;
        EXPECT_EQ(BytesOf(value.copied.data(), value.copied.size()), copy.data) << value.name;
    }
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kRunServicesBackup));
}

TEST_F(RestoreTest, ClearAutoLogonDeletesCredentialsAndSaysSoOnTheSecondRun) {
    const char *names[] = {"AutoAdminLogon", "DefaultUserName", "DefaultPassword", "DefaultDomainName"};
    ValueGuard g0(HKEY_LOCAL_MACHINE, kMachineWinlogon, names[0]), g1(HKEY_LOCAL_MACHINE, kMachineWinlogon, names[1]),
        g2(HKEY_LOCAL_MACHINE, kMachineWinlogon, names[2]), g3(HKEY_LOCAL_MACHINE, kMachineWinlogon, names[3]);
    for (const char *name : names)
        WriteText(HKEY_LOCAL_MACHINE, kMachineWinlogon, name, "1");
    ClearAutoLogon("");
    ClearAutoLogon("");
    ExpectLines({"Canceled - Auto Logon.", "Already Canceled - Auto Logon."}, "twice");
    for (const char *name : names)
        EXPECT_FALSE(ReadRaw(HKEY_LOCAL_MACHINE, kMachineWinlogon, name).exists) << name;
}

TEST_F(RestoreTest, OffAutoLogonKeepsTheStoredCredentials) {
    ValueGuard g0(HKEY_LOCAL_MACHINE, kMachineWinlogon, "AutoAdminLogon");
    ValueGuard g1(HKEY_LOCAL_MACHINE, kMachineWinlogon, "DefaultUserName");
    WriteText(HKEY_LOCAL_MACHINE, kMachineWinlogon, "AutoAdminLogon", "1");
    WriteText(HKEY_LOCAL_MACHINE, kMachineWinlogon, "DefaultUserName", "bob");
    OffAutoLogon("");
    OffAutoLogon("");
    ExpectLines({"Stopped - Auto Logon.", "Already Stopped - Auto Logon."}, "twice");
    EXPECT_FALSE(ReadRaw(HKEY_LOCAL_MACHINE, kMachineWinlogon, "AutoAdminLogon").exists);
    EXPECT_EQ(BytesOf("bob", 4), ReadRaw(HKEY_LOCAL_MACHINE, kMachineWinlogon, "DefaultUserName").data);
}

TEST_F(RestoreTest, PolicyCommandsSwitchTheirValueBackOn) {
    struct Case {
        void (*command)(const char *);
        const char *value;
        const char *line;
    } cases[] = {
        {EnableUAC, "EnableLUA", "Enable UAC..."},
        {EnableDisplayLastLogonInfo, "DisplayLastLogonInfo", "Enable DisplayLastLogonInfo..."},
    };
    for (const Case &c : cases) {
        ValueGuard guard(HKEY_LOCAL_MACHINE, kPoliciesSystem, c.value);
        WriteDword(HKEY_LOCAL_MACHINE, kPoliciesSystem, c.value, 0);
        c.command("");
        ExpectLines({c.line}, c.value);
        RawValue value = ReadRaw(HKEY_LOCAL_MACHINE, kPoliciesSystem, c.value);
        EXPECT_EQ(DWORD(REG_DWORD), value.type) << c.value;
        EXPECT_EQ(BytesOf("\1\0\0\0", 4), value.data) << c.value;
    }
}

// ---- BOOT.INI ------------------------------------------------------------------------------------

class RestoreBiTest : public RestoreTest {
protected:
    void SetUp() override {
        RestoreTest::SetUp();
        std::string root = BootDrive();
        ASSERT_FALSE(root.empty());
        if (root.back() != '\\') root += '\\';
        live_ = root + "BOOT.INI";
        saved_ = root + "BOOT.RN_";
        scratch_ = root + "BOOT.S__";
        // A machine that boots from BOOT.INI is not a place to test its restore.
        if (GetFileAttributesA(live_.c_str()) != INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << live_ << " exists";
    }
    void TearDown() override {
        for (const std::string &path : {live_, saved_}) {
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(path.c_str());
        }
        SetFileAttributesA(scratch_.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (IsFolder(scratch_))
            RemoveTree(scratch_);
        else
            DeleteFileA(scratch_.c_str());
        RestoreTest::TearDown();
    }
    // The first line of a two-part text with a system error text after it.
    void ExpectReasonLine(const std::string &text, const std::string &head) {
        EXPECT_EQ(0u, text.find(head)) << text;
        EXPECT_GT(text.size(), head.size()) << "no reason after: " << text;
    }

    std::string live_, saved_, scratch_;
};

TEST_F(RestoreBiTest, TheSavedBootIniComesBackHidden) {
    WriteFileText(live_, "replacement");
    WriteFileText(saved_, "original");
    SetFileAttributesA(saved_.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    RestoreBi("");
    ExpectLines({"Boot.ini Restored.", "Attrib +S+ H Boot.ini."}, "first run");
    EXPECT_EQ("original", ReadFileText(live_));
    EXPECT_FALSE(IsFile(saved_));
    EXPECT_FALSE(IsFile(scratch_));
    DWORD attributes = GetFileAttributesA(live_.c_str());
    EXPECT_TRUE((attributes & FILE_ATTRIBUTE_SYSTEM) && (attributes & FILE_ATTRIBUTE_HIDDEN)) << attributes;
}

// Also a second run: BOOT.INI is then the restored file and BOOT.RN_ is gone.
TEST_F(RestoreBiTest, WithoutTheSavedFileBootIniStays) {
    WriteFileText(live_, "replacement");
    RestoreBi("");
    std::vector<std::string> texts = Texts();
    ASSERT_EQ(2u, texts.size());
    ExpectReasonLine(texts[0], "Boot.ini will restored force. ");
    EXPECT_EQ("Boot.ini Force Restored. ", texts[1]);
    EXPECT_EQ("replacement", ReadFileText(live_));
    EXPECT_FALSE(IsFile(scratch_));
}

TEST_F(RestoreBiTest, WhenTheReplacementCannotMoveAsideItIsDeletedOnlyIfTheSavedFileIsThere) {
    // A folder in the way of BOOT.S__ makes the move of BOOT.INI fail.
    CreateDirectoryA(scratch_.c_str(), nullptr);
    WriteFileText(scratch_ + "\\blocker", "x");
    WriteFileText(live_, "replacement");

    RestoreBi("");
    std::vector<std::string> texts = Texts();
    ASSERT_EQ(2u, texts.size());
    ExpectReasonLine(texts[0], "Temporary Boot.ini deleted force. ");
    ExpectReasonLine(texts[1], "Boot.ini Force Restored is failed. ");
    EXPECT_EQ("replacement", ReadFileText(live_)) << "the only BOOT.INI there is must stay";
    log_.Clear();

    WriteFileText(saved_, "original");
    RestoreBi("");
    texts = Texts();
    ASSERT_EQ(3u, texts.size());
    ExpectReasonLine(texts[0], "Temporary Boot.ini deleted force. ");
    EXPECT_EQ("Temporary Boot.ini deleted force. ", texts[1]);
    EXPECT_EQ("Boot.ini Force Restored. ", texts[2]);
    EXPECT_EQ("original", ReadFileText(live_));
    EXPECT_FALSE(IsFile(saved_));
}

// ---- Deletions -----------------------------------------------------------------------------------

TEST_F(RestoreTest, DelDirEmptiesTheFolderButKeepsIt) {
    TempFolder temp;
    struct Case {
        const char *what;
        std::string argument;
    } cases[] = {
        {"without trailing backslash", temp.path()},
        {"with trailing backslash", temp.path() + "\\"},
    };
    for (const Case &c : cases) {
        WriteFileText(temp / "a.tmp", "a");
        WriteFileText(temp / "b.log", "b");
        std::string sub = temp.Folder("sub\\deeper");
        WriteFileText(sub + "\\c.tmp", "c");
        DelDir(c.argument.c_str());
        ExpectLines({"Deleted files - " + temp.path() + "\\*.*"}, c.what);
        EXPECT_TRUE(IsFolder(temp.path())) << c.what;
        EXPECT_FALSE(IsFile(temp / "a.tmp")) << c.what;
        EXPECT_FALSE(IsFile(temp / "b.log")) << c.what;
        EXPECT_FALSE(IsFolder(temp / "sub")) << c.what;
    }
    DelDir(temp.path().c_str());
    DelDir((temp / "missing").c_str());
    ExpectLines({"Files not found - " + temp.path() + "\\*.*", "Files not found - " + temp / "missing" + "\\*.*"},
                "empty and missing folders");
}

TEST_F(RestoreTest, DelDirRefusesShortPathsAndProtectedFolders) {
    TempFolder temp;
    // The profile folders come from the system; USERPROFILE is one of the places they are read.
    std::string profiles = temp.Folder("profiles");
    std::string bob = temp.Folder("profiles\\bob");
    std::string bobTemp = temp.Folder("profiles\\bob\\AppData\\Local\\Temp");
    EnvironmentScope profile("USERPROFILE", bob);
    WriteFileText(bob + "\\ntuser.dat", "keep");
    WriteFileText(bobTemp + "\\junk.tmp", "junk");

    std::string slashed = bob;
    for (char &c : slashed)
        if (c == '\\') c = '/';
    std::vector<std::string> refused = {"Q:\\", "", "Q:", profiles, bob, slashed + "/", bobTemp + "\\..\\..\\.."};
    for (const std::string &folder : refused)
        DelDir(folder.c_str());
    std::vector<std::string> expected;
    for (const std::string &folder : refused)
        expected.push_back("Bad folder name - " + folder);
    ExpectLines(expected, "refusals");
    EXPECT_EQ("keep", ReadFileText(bob + "\\ntuser.dat"));

    DelDir(bobTemp.c_str());
    ExpectLines({"Deleted files - " + bobTemp + "\\*.*"}, "a temporary folder inside a profile");
    EXPECT_FALSE(IsFile(bobTemp + "\\junk.tmp"));
}

TEST_F(RestoreTest, DelFilesDeletesWhatThePatternMatches) {
    TempFolder temp;
    WriteFileText(temp / "a.lnk", "a");
    WriteFileText(temp / "b.lnk", "b");
    WriteFileText(temp / "c.txt", "c");
    // Wine gives it an 8.3 alias ending in ".LNK", as Windows does, and its search matches that.
    WriteFileText(temp / "d.lnkx", "d");
    std::string pattern = temp / "*.lnk";
    DelFiles(pattern.c_str());
    DelFiles(pattern.c_str());
    ExpectLines({"Deleted files - " + pattern, "Files not found - " + pattern}, "twice");
    EXPECT_FALSE(IsFile(temp / "a.lnk"));
    EXPECT_TRUE(IsFile(temp / "c.txt"));
    EXPECT_TRUE(IsFile(temp / "d.lnkx")) << "only long names match";

    EnvironmentScope profile("USERPROFILE", temp.path());
    DelFiles((temp / "*.*").c_str());
    DelFiles("");
    ExpectLines({"Bad folder name - " + temp / "*.*", "Bad folder name - "}, "a sweep of a profile");
    EXPECT_TRUE(IsFile(temp / "c.txt"));
}

// A tree in memory, for what the plan makes of links, which Wine cannot create: folder (with its
// backslash) -> entries; a folder missing here cannot be listed.
std::map<std::wstring, std::vector<FolderEntry>> g_tree;

bool ListTree(const std::wstring &folder, std::vector<FolderEntry> &entries) {
    auto found = g_tree.find(folder);
    if (found == g_tree.end()) return false;
    entries = found->second;
    return true;
}

std::vector<std::string> LinkTexts(const std::vector<DeletionLink> &links) {
    std::vector<std::string> texts;
    for (const DeletionLink &link : links)
        texts.push_back(link.path + (link.folder ? " (folder link)" : " (file link)"));
    return texts;
}

TEST(PlanDeletion, MatchesLongNamesAndNeverHandsTheShellALink) {
    const DWORD file = FILE_ATTRIBUTE_ARCHIVE, folder = FILE_ATTRIBUTE_DIRECTORY, link = FILE_ATTRIBUTE_REPARSE_POINT;
    g_tree = {
        {L"C:\\t\\",
         {{L"a.pnf", L"", file},
          {L"setup.pnfx", L"SETU~1.PNF", file},
          {L"plain", L"", folder},
          {L"junction", L"", folder | link},
          {L"shortcut.pnf", L"SHORTC~1.PNF", file | link},
          {L"holder", L"", folder},
          {L"\u0E01.pnf", L"0E01~1.PNF", file}, // the long name has no ANSI form; the alias has
          {L"\u0E02.pnf", L"", file},           // neither has
          {L"locked", L"", folder}}},
        {L"C:\\t\\plain\\", {{L"x.tmp", L"", file}, {L"deeper", L"", folder}}},
        {L"C:\\t\\plain\\deeper\\", {}},
        {L"C:\\t\\junction\\", {{L"precious.doc", L"", file}}},
        {L"C:\\t\\holder\\", {{L"y.tmp", L"", file}, {L"inner", L"", folder}}},
        {L"C:\\t\\holder\\inner\\", {{L"to the profile", L"", folder | link}, {L"z.tmp", L"", file}}},
    };
    struct Case {
        const char *pattern;
        bool found, complete;
        std::vector<std::string> shell, links, folders;
    } cases[] = {
        {"C:\\t\\*.pnf", true, false, {"C:\\t\\a.pnf", "C:\\t\\0E01~1.PNF"}, {"C:\\t\\shortcut.pnf (file link)"}, {}},
        {"C:\\t\\*.*",
         true,
         false,
         {"C:\\t\\a.pnf", "C:\\t\\setup.pnfx", "C:\\t\\plain", "C:\\t\\holder\\y.tmp", "C:\\t\\holder\\inner\\z.tmp",
          "C:\\t\\0E01~1.PNF"},
         {"C:\\t\\junction (folder link)", "C:\\t\\shortcut.pnf (file link)",
          "C:\\t\\holder\\inner\\to the profile (folder link)"},
         {"C:\\t\\holder\\inner", "C:\\t\\holder"}},
        {"C:\\t\\PLAIN", true, true, {"C:\\t\\plain"}, {}, {}},
        {"C:\\t\\junction", true, true, {}, {"C:\\t\\junction (folder link)"}, {}},
        {"C:\\t\\*.doc", false, true, {}, {}, {}},
        {"C:\\t\\", false, true, {}, {}, {}},
        {"C:\\missing\\*.*", false, true, {}, {}, {}},
    };
    for (const Case &c : cases) {
        DeletionPlan plan = PlanDeletion(c.pattern, ListTree);
        EXPECT_EQ(c.found, plan.found) << c.pattern;
        EXPECT_EQ(c.complete, plan.complete) << c.pattern;
        EXPECT_EQ(c.shell, plan.shellPaths) << c.pattern;
        EXPECT_EQ(c.links, LinkTexts(plan.links)) << c.pattern;
        EXPECT_EQ(c.folders, plan.folders) << c.pattern;
    }
}

TEST_F(RestoreTest, DelIfExistAndDelClearReadOnlyAndSayWhatHappened) {
    TempFolder temp;
    std::string file = temp / "pagefile.sys";
    struct Case {
        void (*command)(const char *);
        const char *deleted;
    } cases[] = {{DelIfExist, "Deleted file - "}, {Del, "Deleted a file - "}};
    for (const Case &c : cases) {
        WriteFileText(file, "x");
        SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        c.command(file.c_str());
        c.command(file.c_str());
        ExpectLines({c.deleted + file, "File not exist - " + file}, c.deleted);
        EXPECT_FALSE(IsFile(file));
    }
}

TEST_F(RestoreTest, DelIfExistLogsWhyAFileCouldNotBeDeleted) {
    TempFolder temp;
    std::string folder = temp.Folder("not-a-file");
    DelIfExist(folder.c_str());
    std::vector<std::string> texts = Texts();
    ASSERT_EQ(2u, texts.size());
    EXPECT_EQ("Do not deleted file - " + folder, texts[0]);
    EXPECT_FALSE(texts[1].empty()) << "the system error text";
    EXPECT_TRUE(IsFolder(folder));
    log_.Clear();
    Del(folder.c_str());
    ExpectLines({"Cannot delete - " + folder}, "$Del on a folder");
}

// Every text has its Japanese twin: a Japanese run writes no English line.
TEST_F(RestoreTest, JapaneseRunsWriteTheJapaneseTwins) {
    ValueGuard g0(HKEY_LOCAL_MACHINE, kMachineWinlogon, "AutoAdminLogon");
    ValueGuard g1(HKEY_LOCAL_MACHINE, kSessionManager, "_BootExecute");
    ValueGuard g2(HKEY_LOCAL_MACHINE, kSessionManager, "BootExecute");
    DeleteRaw(HKEY_LOCAL_MACHINE, kSessionManager, "_BootExecute");
    TempFolder temp;
    SetLanguage(Program::QuietShell, true);
    OffAutoLogon("");
    RestoreBootExecute("");
    RService("TidewellNoSuchSvc");
    DelIfExist((temp / "x").c_str());
    DelDir(temp.path().c_str());
    DelDir("Q:\\");
    SetLanguage(Program::QuietShell, false);
    std::vector<std::string> texts = Texts();
    ASSERT_EQ(6u, texts.size());
    for (const std::string &text : texts) {
        bool doubleByte = false;
        for (char c : text)
            doubleByte = doubleByte || IsSjisLeadByte(static_cast<unsigned char>(c));
        EXPECT_TRUE(doubleByte) << text;
    }
}

} // namespace
