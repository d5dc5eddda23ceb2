// Trouble solutions and the Tools menu's tools: the files and names the repairs work on, the
// BootExecute edit, the boot-file moves, and the dialog driven from a second thread with its
// questions answered: what each button finds, changes, says and whether Windows restarts.
#include "dialogs/trouble.h"
#include "dialogs/alogon.h"

#include "dialog_driver.h"
#include "planner_fixture.h"
#include "resource.h"
#include "system_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

const char kTitle[] = "Trouble solutions";
const char kServices[] = "SYSTEM\\CurrentControlSet\\Services";

std::string Bytes0(const char *text, size_t length) {
    return std::string(text, length);
}

// ---- Plain pieces -------------------------------------------------------------------------------

TEST(TroublePieces, StoppedServicesAreTheNamesEndedByBel) {
    struct Case {
        const char *stored;
        Strings names;
    } cases[] = {
        {"Alpha\aBeta", {"Alpha"}}, // text after the last BEL is ignored
        {"Alpha\aBeta\a", {"Alpha", "Beta"}},
        {"", {}},
        {"NoBel", {}},
        {"\a\aAlpha\a", {"Alpha"}},     // an empty name would open the Services key itself
        {"A\\B\aGood\a", {"Good"}},     // a backslash would open a key below a service
        {"\x83\x54\x81\x5b\x83\x72\x83\x58\a", {"\x83\x54\x81\x5b\x83\x72\x83\x58"}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.names, StoppedServiceNames(c.stored)) << c.stored;
}

TEST(TroublePieces, MultiStringsAreReadAsWindowsReadsThem) {
    struct Case {
        const char *what;
        std::string bytes;
        Strings strings;
    } cases[] = {
        {"two", Bytes0("a\0b\0\0", 5), {"a", "b"}},
        {"two zero bytes", Bytes0("\0\0", 2), {}},
        {"one zero byte", Bytes0("\0", 1), {}},
        {"nothing", "", {}},
        {"unterminated", "autocheck autochk *", {"autocheck autochk *"}},
        {"single terminator", Bytes0("a\0", 2), {"a"}},
        {"an empty string ends the list", Bytes0("a\0\0b\0\0", 7), {"a"}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.strings, MultiStrings(c.bytes)) << c.what;
}

TEST(TroublePieces, TheStandardValueIsTwentyOneBytes) {
    std::string bytes = MultiStringBytes({kStandardAutochk});
    EXPECT_EQ(21u, bytes.size());
    EXPECT_EQ(Bytes0("autocheck autochk *\0\0", 21), bytes);
    EXPECT_EQ(Bytes0("a\0bc\0\0", 6), MultiStringBytes({"a", "bc"}));
}

TEST(TroublePieces, CheckDiskEntriesAreTold) {
    struct Case {
        const char *entry;
        bool autochk;
    } cases[] = {
        {"autocheck autochk *", true},
        {"autocheck autochk /p \\??\\C:", true},
        {"AUTOCHECK AUTOCHK *", true},
        {"autocheck autochk", true},
        {"  autocheck autochk *", true},
        {"autocheck autochkx *", false},
        {"autocheck sfc", false},
        {"autochk *", false},
        {"", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.autochk, IsAutochkEntry(c.entry)) << c.entry;
}

TEST(TroublePieces, EnableAndDisableKeepOtherProgramsEntries) {
    const std::string standard = kStandardAutochk;
    struct Case {
        const char *what;
        Strings stored, enabled, disabled;
    } cases[] = {
        {"standard only", {standard}, {standard}, {}},
        {"nothing", {}, {standard}, {}},
        {"others only", {"autocheck av_boot", "sfc"}, {standard, "autocheck av_boot", "sfc"},
         {"autocheck av_boot", "sfc"}},
        {"others after", {standard, "autocheck av_boot"}, {standard, "autocheck av_boot"}, {"autocheck av_boot"}},
        {"others before", {"autocheck av_boot", standard}, {standard, "autocheck av_boot"}, {"autocheck av_boot"}},
        {"a run's schedule", {"autocheck autochk /p \\??\\C:", "autocheck autochk /p \\??\\D:"}, {standard}, {}},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(c.enabled, WithStandardAutochk(c.stored)) << c.what;
        EXPECT_EQ(c.disabled, WithoutAutochk(c.stored)) << c.what;
    }
    EXPECT_FALSE(AutochkScheduled(Bytes0("\0\0", 2))) << "two zero bytes count as no value";
    EXPECT_FALSE(AutochkScheduled(MultiStringBytes({"autocheck av_boot"})));
    EXPECT_TRUE(AutochkScheduled(MultiStringBytes({"autocheck av_boot", standard})));
}

TEST(TroublePieces, SystemRestoreIsInTheSystemFolderFromVistaOn) {
    EXPECT_EQ("C:\\W\\system32\\RSTRUI.EXE", SystemRestoreProgram(600, "C:\\W\\system32"));
    EXPECT_EQ("C:\\W\\system32\\RSTRUI.EXE", SystemRestoreProgram(1000, "C:\\W\\system32"));
    EXPECT_EQ("C:\\W\\system32\\RESTORE\\RSTRUI.EXE", SystemRestoreProgram(501, "C:\\W\\system32"));
}

// ---- Boot files ---------------------------------------------------------------------------------

struct BootFolder {
    TempFolder temp;
    std::string root = temp.path() + "\\";
    std::string Ini() const { return root + "BOOT.INI"; }
    std::string Saved() const { return root + "BOOT.RN_"; }
    std::string Scratch() const { return root + "BOOT.S__"; }
};

TEST(TroubleBootFiles, TheSavedFileReplacesBootIniAndNothingIsLeftWithoutOne) {
    struct Case {
        const char *what;
        const char *ini, *saved, *scratch; // null: no such file
        DWORD iniAttributes;
        BootIniReturn result;
        const char *iniAfter;
    } cases[] = {
        {"normal", "safe", "normal", nullptr, FILE_ATTRIBUTE_NORMAL, BootIniReturn::Restored, "normal"},
        {"a left-over scratch file", "safe", "normal", "old", FILE_ATTRIBUTE_NORMAL, BootIniReturn::Restored, "normal"},
        {"boot.ini protected", "safe", "normal", nullptr,
         FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN, BootIniReturn::Restored, "normal"},
        {"no boot.ini", nullptr, "normal", nullptr, 0, BootIniReturn::Restored, "normal"},
        {"no saved file", "safe", nullptr, nullptr, FILE_ATTRIBUTE_NORMAL, BootIniReturn::NoSavedFile, "safe"},
        {"no saved file, a scratch file", "safe", nullptr, "old", FILE_ATTRIBUTE_NORMAL, BootIniReturn::NoSavedFile,
         "safe"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        BootFolder folder;
        if (c.ini) WriteFileText(folder.Ini(), c.ini);
        if (c.saved) WriteFileText(folder.Saved(), c.saved);
        if (c.scratch) WriteFileText(folder.Scratch(), c.scratch);
        if (c.ini) SetFileAttributesA(folder.Ini().c_str(), c.iniAttributes);
        EXPECT_EQ(c.result, ReturnBootIniFromSafeMode(folder.root));
        EXPECT_EQ(c.iniAfter, ReadFileText(folder.Ini()));
        if (c.result != BootIniReturn::Restored) {
            EXPECT_EQ(c.scratch != nullptr, IsFile(folder.Scratch())) << "nothing was touched";
            continue;
        }
        EXPECT_FALSE(IsFile(folder.Saved()) || IsFile(folder.Scratch()));
        DWORD attributes = GetFileAttributesA(folder.Ini().c_str());
        EXPECT_EQ(DWORD(FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN),
                  attributes & (FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY));
    }
}

TEST(TroubleBootFiles, ABootIniThatCannotMoveStaysAsItWas) {
    BootFolder folder;
    WriteFileText(folder.Ini(), "safe");
    WriteFileText(folder.Saved(), "normal");
    // Held open without delete sharing, as a program that reads it would: it can be neither moved
    // nor replaced.
    HANDLE held = CreateFileA(folder.Ini().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_EQ(BootIniReturn::Failed, ReturnBootIniFromSafeMode(folder.root));
    CloseHandle(held);
    EXPECT_EQ("safe", ReadFileText(folder.Ini()));
    EXPECT_EQ("normal", ReadFileText(folder.Saved())) << "the saved file stays for the next try";
}

// ---- The dialog ---------------------------------------------------------------------------------

std::vector<UINT> g_exitWindowsFlags;
BOOL WINAPI FakeExitWindows(UINT flags, DWORD) {
    g_exitWindowsFlags.push_back(flags);
    return TRUE;
}

struct FileOperationSeen {
    int calls = 0;
    UINT function = 0;
    FILEOP_FLAGS flags = 0;
    std::string from, title;
    bool abort = false;
} g_fileOperation;
int WINAPI FakeFileOperation(LPSHFILEOPSTRUCTA operation) {
    ++g_fileOperation.calls;
    g_fileOperation.function = operation->wFunc;
    g_fileOperation.flags = operation->fFlags;
    g_fileOperation.from = operation->pFrom;
    g_fileOperation.title = operation->lpszProgressTitle ? operation->lpszProgressTitle : "";
    operation->fAnyOperationsAborted = g_fileOperation.abort;
    return 0;
}

// What the dialog showed when it opened.
struct Opened {
    bool found = false;
    std::string autochkLabel;
    bool iconCache = false, fontCache = false, safeMode = false, autoLogon = false, autoLogonNote = false,
         services = false, prefetch = false, prefetchNote = false, unused = true, autochk = false;
};

Opened ReadOpened(HWND dialog) {
    Opened seen;
    seen.found = true;
    seen.autochkLabel = DialogDriver::ItemText(dialog, IDC_TROUBLE_AUTOCHK);
    seen.iconCache = DialogDriver::ItemEnabled(dialog, IDC_TROUBLE_ICONCACHE);
    seen.fontCache = DialogDriver::ItemEnabled(dialog, IDC_TROUBLE_FONTCACHE);
    seen.safeMode = DialogDriver::ItemEnabled(dialog, IDC_TROUBLE_SAFEMODE);
    seen.autoLogon = DialogDriver::ItemEnabled(dialog, IDC_TROUBLE_AUTOLOGON);
    seen.autoLogonNote = DialogDriver::ItemEnabled(dialog, IDC_TROUBLE_AUTOLOGON_NOTE);
    seen.services = DialogDriver::ItemEnabled(dialog, IDC_TROUBLE_SERVICES);
    seen.prefetch = DialogDriver::ItemEnabled(dialog, IDC_TROUBLE_PREFETCH);
    seen.prefetchNote = DialogDriver::ItemEnabled(dialog, IDC_TROUBLE_PREFETCH_NOTE);
    seen.unused = DialogDriver::ItemEnabled(dialog, IDC_TROUBLE_UNUSED);
    seen.autochk = DialogDriver::ItemEnabled(dialog, IDC_TROUBLE_AUTOCHK);
    return seen;
}

// The user's folders, Windows' folder, BootExecute, the automatic logon and the restart are the
// test's own for its duration.
class TroubleTest : public PlannerTest {
protected:
    void SetUp() override {
        PlannerTest::SetUp();
        g_windowsVersion = 601;
        g_exitWindowsFlags.clear();
        g_fileOperation = FileOperationSeen();
        g_troubleExitWindows = FakeExitWindows;
    }
    void TearDown() override {
        g_troubleExitWindows = ExitWindowsEx;
        g_troubleFileOperation = SHFileOperationA;
        PlannerTest::TearDown();
    }

    void SetBootExecute(const std::string &bytes, DWORD type = REG_MULTI_SZ) {
        WriteRaw(HKEY_LOCAL_MACHINE, kSessionManagerPath, kBootExecute, type, BytesOf(bytes.data(), bytes.size()));
    }
    static RawValue BootExecuteNow() { return ReadRaw(HKEY_LOCAL_MACHINE, kSessionManagerPath, kBootExecute); }

    // Opens the dialog; act gets it once it shows and must leave it closed or closing.
    bool Run(const std::function<void(HWND)> &act, bool *restarted = nullptr) {
        DialogDriver driver(kTitle, [&](HWND dialog) {
            act(dialog);
            if (IsWindow(dialog)) DialogDriver::Command(dialog, IDCANCEL);
        });
        bool result = ShowTroubleDialog(nullptr);
        if (restarted) *restarted = result;
        return driver.Join();
    }
    // A button pressed as the user would; one a repair disabled is enabled again for the next case.
    static void Press(HWND dialog, int id) {
        EnableWindow(GetDlgItem(dialog, id), TRUE);
        DialogDriver::Click(dialog, id);
    }
    Strings BoxesSince(size_t before) const {
        Strings texts = BoxTexts();
        return Strings(texts.begin() + long(before), texts.end());
    }
    Opened Open() {
        Opened seen;
        EXPECT_TRUE(Run([&](HWND dialog) { seen = ReadOpened(dialog); }));
        return seen;
    }

    TempFolder profile_, windows_;
    EnvironmentScope profileVariable_{"USERPROFILE", profile_.path()};
    EnvironmentScope windowsVariable_{"windir", windows_.path()};
    ValueGuard bootExecute_{HKEY_LOCAL_MACHINE, kSessionManagerPath, kBootExecute};
    ValueGuard autoAdminLogon_{HKEY_LOCAL_MACHINE, kWinlogonPath, kAutoAdminLogon};
};

TEST_F(TroubleTest, OpeningEnablesWhatThereIsToRepair) {
    DeleteRaw(HKEY_LOCAL_MACHINE, kWinlogonPath, kAutoAdminLogon);
    SetBootExecute(Bytes0("\0\0", 2));
    windows_.Folder("Prefetch\\ReadyBoot"); // a folder is no file to delete
    Opened nothing = Open();
    ASSERT_TRUE(nothing.found);
    EXPECT_FALSE(nothing.iconCache || nothing.fontCache || nothing.prefetch || nothing.prefetchNote);
    EXPECT_FALSE(nothing.autoLogon || nothing.autoLogonNote) << "automatic logon is off";
    EXPECT_TRUE(nothing.safeMode && nothing.services && nothing.autochk);
    EXPECT_FALSE(nothing.unused);
    EXPECT_EQ("Enable &AUTOCHK on boot time", nothing.autochkLabel) << "two zero bytes count as no value";

    WriteFileText(profile_.Folder("AppData\\Local") + "\\IconCache.db", "icons");
    WriteFileText(windows_.Folder("system32") + "\\fntcache.dat", "fonts");
    WriteFileText(windows_.Folder("Prefetch") + "\\A.pf", "pf");
    WriteText(HKEY_LOCAL_MACHINE, kWinlogonPath, kAutoAdminLogon, "1");
    SetBootExecute(MultiStringBytes({kStandardAutochk}));
    Opened all = Open();
    EXPECT_TRUE(all.iconCache && all.fontCache && all.prefetch && all.prefetchNote);
    EXPECT_TRUE(all.autoLogon && all.autoLogonNote);
    EXPECT_EQ("Disable &AUTOCHK on boot time", all.autochkLabel);

    // Windows 2000 keeps the icon cache elsewhere and has no prefetch folder.
    g_windowsVersion = 500;
    WriteFileText(profile_.Folder("Application Data") + "\\IconCache.db", "icons");
    Opened old = Open();
    EXPECT_TRUE(old.iconCache && !old.prefetch);
}

TEST_F(TroubleTest, TheCachesAreDeletedAfterYesAndTheIconCacheMayComeBackReadOnly) {
    std::string icons = profile_.Folder("AppData\\Local") + "\\IconCache.db";
    std::string fonts = windows_.Folder("system32") + "\\fntcache.dat";
    WriteFileText(fonts, "fonts");
    const char *deleteIcons = "Are you sure you want to delete the Icon Cache?";
    const char *readOnly = "Deleted the Icon Cache. Do you want to create a readonly file?";
    struct Case {
        const char *what;
        int button;
        bool readOnlyBefore;
        std::vector<int> answers;
        Strings boxes;
        bool iconsAfter, fontsAfter;
    } cases[] = {
        {"icons, read-only file made", IDC_TROUBLE_ICONCACHE, true, {IDYES, IDYES},
         {deleteIcons, readOnly, "Created a readonly Icon Cache."}, true, true},
        {"icons only", IDC_TROUBLE_ICONCACHE, false, {IDYES, IDNO}, {deleteIcons, readOnly}, false, true},
        {"fonts, no", IDC_TROUBLE_FONTCACHE, false, {IDNO}, {"Are you sure you want to delete the Font Cache?"}, false,
         true},
        {"fonts", IDC_TROUBLE_FONTCACHE, false, {IDYES},
         {"Are you sure you want to delete the Font Cache?", "Deleted the Font Cache."}, false, false},
    };
    WriteFileText(icons, "icons");
    Run([&](HWND dialog) {
        for (const Case &c : cases) {
            SCOPED_TRACE(c.what);
            if (c.button == IDC_TROUBLE_ICONCACHE) {
                SetFileAttributesA(icons.c_str(), FILE_ATTRIBUTE_NORMAL);
                WriteFileText(icons, "icons");
                SetFileAttributesA(icons.c_str(), c.readOnlyBefore ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL);
            }
            for (int answer : c.answers)
                boxes_.Answer(answer);
            size_t before = boxes_.calls().size();
            Press(dialog, c.button);
            EXPECT_EQ(c.boxes, BoxesSince(before));
            EXPECT_EQ(c.button == IDC_TROUBLE_FONTCACHE && c.fontsAfter, DialogDriver::ItemEnabled(dialog, c.button));
            EXPECT_EQ(c.iconsAfter, IsFile(icons) && ReadFileText(icons).empty() &&
                                        (GetFileAttributesA(icons.c_str()) & FILE_ATTRIBUTE_READONLY));
            EXPECT_EQ(c.fontsAfter, IsFile(fonts));
        }
    });
}

TEST_F(TroubleTest, PrefetchFilesGoButItsFoldersStayAndAnAbortIsAFailure) {
    std::string prefetch = windows_.Folder("Prefetch");
    WriteFileText(prefetch + "\\A.pf", "a");
    WriteFileText(prefetch + "\\Layout.ini", "b");
    WriteFileText(windows_.Folder("Prefetch\\ReadyBoot") + "\\Trace.fx", "c");
    Opened after;
    Run([&](HWND dialog) {
        boxes_.Answer(IDYES);
        Press(dialog, IDC_TROUBLE_PREFETCH);
        after = ReadOpened(dialog);
        EXPECT_EQ("Deleted files in Applog/Prefetch folder.", BoxTexts().back());
        g_troubleFileOperation = FakeFileOperation;
        g_fileOperation.abort = true;
        boxes_.Answer(IDYES);
        Press(dialog, IDC_TROUBLE_PREFETCH);
        EXPECT_EQ("Deleting files in Applog/Prefetch folder was failed.", BoxTexts().back());
    });
    EXPECT_FALSE(IsFile(prefetch + "\\A.pf") || IsFile(prefetch + "\\Layout.ini"));
    EXPECT_TRUE(IsFile(prefetch + "\\ReadyBoot\\Trace.fx")) << "only files are deleted, not what folders hold";
    EXPECT_FALSE(after.prefetch || after.prefetchNote);
    EXPECT_EQ(UINT(FO_DELETE), g_fileOperation.function);
    EXPECT_EQ(FILEOP_FLAGS(FOF_NOCONFIRMATION | FOF_FILESONLY | FOF_SIMPLEPROGRESS), g_fileOperation.flags);
    EXPECT_EQ(prefetch + "\\*.*", g_fileOperation.from);
    EXPECT_EQ("Tidewell", g_fileOperation.title);
}

// A service key with a Start value as given, removed afterwards.
class TroubleServicesTest : public TroubleTest {
protected:
    void AddService(const std::string &name, DWORD type, const Bytes &start) {
        std::string path = std::string(kServices) + "\\" + name;
        guards_.push_back(std::make_unique<KeyGuard>(HKEY_LOCAL_MACHINE, path));
        WriteRaw(HKEY_LOCAL_MACHINE, path.c_str(), "Start", type, start);
    }
    void AddService(const std::string &name, DWORD start) {
        AddService(name, REG_DWORD, BytesOf(reinterpret_cast<const char *>(&start), sizeof start));
    }
    static RawValue Start(const std::string &name) {
        return ReadRaw(HKEY_LOCAL_MACHINE, (std::string(kServices) + "\\" + name).c_str(), "Start");
    }
    static DWORD StartNumber(const std::string &name) {
        RawValue value = Start(name);
        DWORD number = 0;
        if (value.data.size() == sizeof number) memcpy(&number, value.data.data(), sizeof number);
        return number;
    }
    static void StoreStopped(DWORD type, const std::string &bytes) {
        WriteRaw(HKEY_LOCAL_MACHINE, kSettingsPath, setting::StoppedSrv.name, type, BytesOf(bytes.data(), bytes.size()));
    }
    std::vector<std::unique_ptr<KeyGuard>> guards_;
};

TEST_F(TroubleServicesTest, OnlyServicesStillDisabledByTheRunComeBackAndWindowsRestarts) {
    AddService("TwTroubleStopped", 4);
    AddService("TwTroubleManual", 3); // the user's choice after the run
    AddService("TwTroubleAuto", 2);
    AddService("TwTroubleText", REG_SZ, BytesOf("4", 2));
    AddService("TwTroubleLast", 4);
    std::string stored = "TwTroubleStopped\aTwTroubleManual\aTwTroubleAuto\aTwTroubleText\aTwTroubleGone\a\aTwTroubleLast";
    StoreStopped(REG_SZ, stored + '\0');
    boxes_.Answer(IDYES);
    bool restarted = false;
    ASSERT_TRUE(Run([](HWND dialog) { Press(dialog, IDC_TROUBLE_SERVICES); }, &restarted));
    EXPECT_EQ(2u, StartNumber("TwTroubleStopped"));
    EXPECT_EQ(3u, StartNumber("TwTroubleManual")) << "a start type chosen since the run stays";
    EXPECT_EQ(2u, StartNumber("TwTroubleAuto"));
    EXPECT_EQ(DWORD(REG_SZ), Start("TwTroubleText").type) << "a malformed Start is left alone";
    EXPECT_EQ(4u, StartNumber("TwTroubleLast")) << "the name after the last BEL is not read";
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, (std::string(kServices) + "\\TwTroubleGone").c_str()));
    EXPECT_EQ((Strings{"Are you sure you want to recovery services?", "Press [OK] to reboot Windows."}), BoxTexts());
    EXPECT_EQ(std::vector<UINT>{EWX_REBOOT}, g_exitWindowsFlags);
    EXPECT_TRUE(restarted);
}

TEST_F(TroubleServicesTest, NothingToRestoreOrNothingStoredRestartsNothing) {
    AddService("TwTroubleManual", 3);
    struct Case {
        const char *what;
        DWORD type; // REG_NONE: no StoppedSrv
        std::string stored;
        const char *box;
    } cases[] = {
        {"changed since", REG_SZ, Bytes0("TwTroubleManual\a", 17), "There was no service to restore."},
        {"empty", REG_SZ, Bytes0("", 1), "There was no service to restore."},
        {"unterminated", REG_SZ, "TwTroubleManual", "There was no service to restore."},
        {"missing", REG_NONE, "", "StoppedSrv is not found."},
        {"a number", REG_DWORD, Bytes0("\x07\0\0\0", 4), "StoppedSrv is not found."},
    };
    bool restarted = true;
    Run(
        [&](HWND dialog) {
            for (const Case &c : cases) {
                DeleteRaw(HKEY_LOCAL_MACHINE, kSettingsPath, setting::StoppedSrv.name);
                if (c.type != REG_NONE) StoreStopped(c.type, c.stored);
                boxes_.Answer(IDYES);
                Press(dialog, IDC_TROUBLE_SERVICES);
                EXPECT_EQ(c.box, BoxTexts().back()) << c.what;
            }
        },
        &restarted);
    EXPECT_EQ(3u, StartNumber("TwTroubleManual"));
    EXPECT_TRUE(g_exitWindowsFlags.empty());
    EXPECT_FALSE(restarted);
}

TEST_F(TroubleTest, AutochkIsSwitchedKeepingOtherProgramsEntries) {
    const std::string standard = MultiStringBytes({kStandardAutochk});
    const std::string other = MultiStringBytes({"autocheck av_boot /scan"});
    const char *deleteQuestion =
        "Registry entry 'BootExecute' in Session Manager is exist. Are you sure you want to delete 'BootExecute?' ";
    const char *recoverQuestion = "Registry entry 'BootExecute' in Session Manager is not exist. Are you sure you want "
                                  "to recover 'BootExecute?' ";
    const char *created = "Created Registry value 'BootExecute'='autocheck autochk *' in session manager.";
    struct Case {
        const char *what;
        bool exists;
        std::string before;
        int answer;
        Strings boxes;
        bool existsAfter;
        std::string after;
    } cases[] = {
        {"standard only", true, standard, IDYES,
         {deleteQuestion, "Deleted registry value: BootExecute in session manager."}, false, ""},
        {"with another program", true, MultiStringBytes({kStandardAutochk, "autocheck av_boot /scan"}), IDYES,
         {"Are you sure you want to remove AUTOCHK from 'BootExecute' in Session Manager? The other boot time "
          "programs are kept.",
          "Removed AUTOCHK from 'BootExecute' in session manager."},
         true, other},
        {"absent", false, "", IDYES, {recoverQuestion, created}, true, standard},
        {"two zero bytes", true, Bytes0("\0\0", 2), IDYES, {recoverQuestion, created}, true, standard},
        {"another program only", true, other, IDYES,
         {"'BootExecute' in Session Manager does not run AUTOCHK. Are you sure you want to add 'autocheck autochk *'? "
          "The other boot time programs are kept.",
          "Added 'autocheck autochk *' to the top of 'BootExecute' in session manager."},
         true, MultiStringBytes({kStandardAutochk, "autocheck av_boot /scan"})},
        {"answered no", true, standard, IDNO, {deleteQuestion}, true, standard},
    };
    Run([&](HWND dialog) {
        for (const Case &c : cases) {
            SCOPED_TRACE(c.what);
            if (c.exists)
                SetBootExecute(c.before);
            else
                DeleteRaw(HKEY_LOCAL_MACHINE, kSessionManagerPath, kBootExecute);
            size_t before = boxes_.calls().size();
            boxes_.Answer(c.answer);
            Press(dialog, IDC_TROUBLE_AUTOCHK);
            EXPECT_EQ(c.boxes, BoxesSince(before));
            RawValue after = BootExecuteNow();
            ASSERT_EQ(c.existsAfter, after.exists);
            if (after.exists) {
                EXPECT_EQ(c.after, std::string(after.data.begin(), after.data.end()));
                EXPECT_EQ(DWORD(REG_MULTI_SZ), after.type);
            }
            EXPECT_EQ(AutochkScheduled(c.after) ? "Disable &AUTOCHK on boot time" : "Enable &AUTOCHK on boot time",
                      DialogDriver::ItemText(dialog, IDC_TROUBLE_AUTOCHK));
        }
    });
}

TEST_F(TroubleTest, AutomaticLogonIsCancelledWithItsOwnTitle) {
    WriteText(HKEY_LOCAL_MACHINE, kWinlogonPath, kAutoAdminLogon, "1");
    boxes_.Answer(IDYES);
    Opened after;
    Run([&](HWND dialog) {
        Press(dialog, IDC_TROUBLE_AUTOLOGON);
        after = ReadOpened(dialog);
    });
    EXPECT_FALSE(ReadRaw(HKEY_LOCAL_MACHINE, kWinlogonPath, kAutoAdminLogon).exists);
    ASSERT_EQ(1u, boxes_.calls().size()) << "no confirmation in English";
    EXPECT_EQ("Cancel Auto logon", boxes_.calls()[0].caption);
    EXPECT_FALSE(after.autoLogon || after.autoLogonNote);
}

// BOOT.INI lives in the root of the boot drive; the test's files there are removed afterwards.
class TroubleSafeModeTest : public TroubleTest {
protected:
    void SetUp() override {
        TroubleTest::SetUp();
        g_windowsVersion = 501;
        for (const std::string &file : {Ini(), Saved(), Scratch()})
            ASSERT_FALSE(IsFile(file)) << file << " is no test file; the test leaves it alone";
    }
    void TearDown() override {
        for (const std::string &file : {Ini(), Saved(), Scratch()}) {
            SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(file.c_str());
        }
        TroubleTest::TearDown();
    }
    static std::string Root() {
        std::string root = BootDrive();
        return root + (root.empty() || root.back() != '\\' ? "\\" : "");
    }
    static std::string Ini() { return Root() + "BOOT.INI"; }
    static std::string Saved() { return Root() + "BOOT.RN_"; }
    static std::string Scratch() { return Root() + "BOOT.S__"; }
};

TEST_F(TroubleSafeModeTest, TheSavedBootIniComesBackAndWindowsRestarts) {
    WriteFileText(Ini(), "safe");
    WriteFileText(Saved(), "normal");
    WriteFileText(Scratch(), "left over");
    boxes_.Answer(IDYES);
    bool restarted = false;
    Run([](HWND dialog) { Press(dialog, IDC_TROUBLE_SAFEMODE); }, &restarted);
    EXPECT_EQ("normal", ReadFileText(Ini()));
    EXPECT_FALSE(IsFile(Saved()) || IsFile(Scratch()));
    EXPECT_EQ((Strings{"Are you sure you want to recovery from Safe mode or VGA mode?", "Press [OK] to reboot Windows."}),
              BoxTexts());
    EXPECT_EQ(std::vector<UINT>{EWX_REBOOT}, g_exitWindowsFlags);
    EXPECT_TRUE(restarted);
}

TEST_F(TroubleSafeModeTest, NothingRestoredMeansNoRestart) {
    WriteFileText(Ini(), "safe");
    bool restarted = true;
    Run(
        [&](HWND dialog) {
            boxes_.Answer(IDYES);
            Press(dialog, IDC_TROUBLE_SAFEMODE);
            EXPECT_EQ("Boot.rn_ is not found, so Boot.ini was left as it is. Nothing was changed.", BoxTexts().back());
            EXPECT_TRUE(DialogDriver::ItemEnabled(dialog, IDC_TROUBLE_SAFEMODE));
            // From Windows Vista on the boot store is changed instead; this prefix has no bcdedit.exe.
            g_windowsVersion = 601;
            WriteFileText(Saved(), "normal");
            boxes_.Answer(IDYES);
            Press(dialog, IDC_TROUBLE_SAFEMODE);
            EXPECT_EQ("bcdedit.exe could not delete the safe boot setting. Windows is not restarted.",
                      BoxTexts().back());
        },
        &restarted);
    EXPECT_EQ("safe", ReadFileText(Ini()));
    EXPECT_TRUE(IsFile(Saved()) && !IsFile(Scratch())) << "no boot file is touched from Vista on";
    EXPECT_FALSE(restarted);
    EXPECT_TRUE(g_exitWindowsFlags.empty());
    Strings texts = log_.Texts();
    EXPECT_NE(texts.end(), std::find(texts.begin(), texts.end(), "Command Line - bcdedit.exe /deletevalue safeboot"));
}

// ---- The Tools menu -----------------------------------------------------------------------------

int g_restoreStatus = 0;
int g_restoreCalls = 0;
int FakeRestorePoint() {
    ++g_restoreCalls;
    return g_restoreStatus;
}

class SystemToolTest : public PlannerTest {
protected:
    void SetUp() override {
        PlannerTest::SetUp();
        g_restoreCalls = 0;
        g_createRestorePoint = FakeRestorePoint;
    }
    void TearDown() override {
        g_createRestorePoint = CreateRestorePoint;
        PlannerTest::TearDown();
    }
};

TEST_F(SystemToolTest, ARestorePointFromTheMenuSaysHowItWent) {
    struct Case {
        bool japanese;
        int confirm, status, calls;
        Strings boxes;
    } cases[] = {
        {false, 0, 0, 1, {"Creating restore point is successful."}},
        {false, 0, 1058, 1, {"System Restore is disabled."}},
        {false, 0, -1, 1, {"Cannot create restore point."}},
        {true, IDNO, 0, 0, {"システムの復元の復元ポイントを作成します。よろしいですか？"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.status);
        SetLanguage(Program::Korvane, c.japanese);
        g_restoreStatus = c.status;
        g_restoreCalls = 0;
        if (c.confirm) boxes_.Answer(c.confirm);
        size_t before = boxes_.calls().size();
        EXPECT_TRUE(RunSystemTool(nullptr, IDM_RESTORE_POINT));
        Strings texts = BoxTexts();
        EXPECT_EQ(c.boxes, Strings(texts.begin() + long(before), texts.end()));
        EXPECT_EQ(c.calls, g_restoreCalls);
    }
}

TEST_F(SystemToolTest, ABackupThatCannotStartIsLoggedAndSaid) {
    // This prefix has no NTBACKUP.EXE.
    EXPECT_TRUE(RunSystemTool(nullptr, IDM_BACKUP_REGISTRY));
    Strings texts = log_.Texts();
    EXPECT_NE(texts.end(), std::find(texts.begin(), texts.end(), "Run - NTBACKUP.EXE - Failed"));
    ASSERT_EQ(1u, boxes_.calls().size()) << "the starter's own box, and no Japanese one";
    EXPECT_EQ(0u, boxes_.calls()[0].text.find("Error:\nNTBACKUP.EXE"));

    SetLanguage(Program::Korvane, true);
    boxes_.Answer(IDNO);
    log_.Clear();
    EXPECT_TRUE(RunSystemTool(nullptr, IDM_BACKUP_REGISTRY));
    EXPECT_EQ(2u, boxes_.calls().size()) << "the Japanese explanation, answered No";
    EXPECT_TRUE(log_.Texts().empty());
    EXPECT_FALSE(RunSystemTool(nullptr, IDM_REGEDIT)) << "not one of these tools";
}

} // namespace
