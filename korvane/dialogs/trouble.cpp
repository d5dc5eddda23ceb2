// trouble: "Trouble solutions" repairs by hand what a Rinsa run normally puts back itself (the
// services, the boot files, the automatic logon, the boot-time check disk) and clears the caches
// that go bad; the Tools menu's backup and System Restore programs and the restore point start
// from here too. Every repair asks first, and the two that need a restart restart Windows only
// when they changed something.
#include "dialogs/trouble.h"

#include "dialogs/alogon.h"
#include "dialogs/stopsrv.h"
#include "korvane.h"
#include "resource.h"
#include "window/korvwin.h"

#include "language.h"
#include "platform.h"
#include "rega.h"
#include "runlog.h"
#include "settings.h"
#include "winhandle.h"

#include <cstring>
#include <optional>

FileOperationFunction g_troubleFileOperation = SHFileOperationA;
ExitWindowsFunction g_troubleExitWindows = ExitWindowsEx;

namespace {

const char kLogModule[] = "trouble";
const char kHelpTopic[] = "HLP000008.html";
constexpr DWORD kAutomaticStart = 2;
constexpr DWORD kDisabledStart = 4;

bool IsFilePath(const std::string &path) {
    if (path.empty()) return false;
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsAsciiSpace(char c) {
    return c == ' ' || c == '\t';
}

} // namespace

// ---- Files the dialog looks for -------------------------------------------------------------------

std::vector<std::string> IconCacheCandidates(unsigned short windowsVersion) {
    if (windowsVersion <= 501)
        return {"%USERPROFILE%\\Local Settings\\Application Data\\IconCache.db",
                "%USERPROFILE%\\Application Data\\IconCache.db"};
    return {"%USERPROFILE%\\AppData\\Local\\IconCache.db"};
}

std::string ExpandedPath(const char *path) {
    char expanded[kFolderBufferSize];
    DWORD length = ExpandEnvironmentStringsA(path, expanded, sizeof expanded);
    return length > 0 && length <= sizeof expanded ? std::string(expanded) : std::string();
}

std::string FirstExistingFile(const std::vector<std::string> &paths) {
    ErrorModeScope quiet(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    for (const std::string &path : paths) {
        std::string expanded = ExpandedPath(path.c_str());
        if (IsFilePath(expanded)) return expanded;
    }
    return std::string();
}

std::string FontCachePath() {
    return ExpandedPath("%windir%\\system32\\fntcache.dat");
}

std::string PrefetchFolder() {
    return ExpandedPath("%windir%\\Prefetch");
}

bool FolderHoldsFiles(const std::string &folder) {
    if (folder.empty()) return false;
    std::string pattern = folder;
    AppendBackslash(pattern);
    pattern += "*.*";
    FINDDATA_ANSI found;
    UniqueFind search(FindFirstFileAnsi(pattern.c_str(), &found));
    if (!search) return false;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
    } while (FindNextFileAnsi(search.Get(), &found));
    return false;
}

// ---- Services ---------------------------------------------------------------------------------------

std::vector<std::string> StoppedServiceNames(const std::string &stored) {
    std::vector<std::string> names;
    size_t start = 0;
    for (size_t end; (end = stored.find(kNameListSeparator, start)) != std::string::npos; start = end + 1) {
        std::string name = stored.substr(start, end - start);
        if (!name.empty() && !FindText(name.c_str(), "\\")) names.push_back(name);
    }
    return names;
}

std::vector<std::string> RestoreServiceStarts(const std::vector<std::string> &names) {
    std::vector<std::string> restored;
    for (const std::string &name : names) {
        REGA key;
        if (!key.OpenSubKey(name.c_str())) {
            RUNLOG2(Tx("サービスのキーを開けません - ", "Cannot open the key of the service - "), name.c_str());
            continue;
        }
        RegistryValue start = ReadRegistryValue(key, "Start");
        std::optional<DWORD> number = ServiceDword(start.type, reinterpret_cast<const BYTE *>(start.bytes.data()),
                                                   static_cast<DWORD>(start.bytes.size()));
        // Any other start type was chosen after the run and stays.
        if (start.exists && number == kDisabledStart) {
            if (key.WriteIntegerA("Start", static_cast<LONG>(kAutomaticStart)))
                restored.push_back(name);
            else
                RUNLOG2(Tx("サービスを元に戻せません - ", "Cannot restore the service - "), name.c_str());
        }
        key.CloseKey();
    }
    return restored;
}

// ---- BootExecute ------------------------------------------------------------------------------------

std::vector<std::string> MultiStrings(std::string_view bytes) {
    std::vector<std::string> strings;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\0', start);
        if (end == std::string_view::npos) end = bytes.size();
        if (end == start) break;
        strings.emplace_back(bytes.substr(start, end - start));
        start = end + 1;
    }
    return strings;
}

std::string MultiStringBytes(const std::vector<std::string> &strings) {
    std::string bytes;
    for (const std::string &text : strings)
        bytes.append(text).push_back('\0');
    bytes.push_back('\0');
    return bytes;
}

bool IsAutochkEntry(const std::string &entry) {
    static const char kCommand[] = "autocheck autochk";
    constexpr size_t length = sizeof kCommand - 1;
    size_t first = 0;
    while (first < entry.size() && IsAsciiSpace(entry[first]))
        ++first;
    return entry.size() - first >= length && _strnicmp(entry.c_str() + first, kCommand, length) == 0 &&
           (entry.size() == first + length || IsAsciiSpace(entry[first + length]));
}

bool AutochkScheduled(std::string_view bytes) {
    for (const std::string &entry : MultiStrings(bytes))
        if (IsAutochkEntry(entry)) return true;
    return false;
}

std::vector<std::string> WithStandardAutochk(const std::vector<std::string> &entries) {
    std::vector<std::string> result = {kStandardAutochk};
    for (const std::string &entry : WithoutAutochk(entries))
        result.push_back(entry);
    return result;
}

std::vector<std::string> WithoutAutochk(const std::vector<std::string> &entries) {
    std::vector<std::string> result;
    for (const std::string &entry : entries)
        if (!IsAutochkEntry(entry)) result.push_back(entry);
    return result;
}

// ---- Boot files ---------------------------------------------------------------------------------

namespace {

struct BootIniFiles {
    std::string live, saved, scratch; // BOOT.INI, BOOT.RN_, BOOT.S__
};

// BOOT.INI could not move aside: BOOT.RN_ takes its place in one step.
bool ReplaceLiveBootIni(const BootIniFiles &files) {
    RUNLOG2(Tx("Boot.ini を Boot.s__ に移動できません。 ", "Cannot move Boot.ini to Boot.s__. "),
            SystemErrorText(IsJapanese(), GetLastError()));
    if (MoveFileExA(files.saved.c_str(), files.live.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    RUNLOG2(Tx("Boot.rn_ を Boot.ini にできません。 ", "Cannot replace Boot.ini with Boot.rn_. "),
            SystemErrorText(IsJapanese(), GetLastError()));
    return false;
}

// BOOT.INI is aside as BOOT.S__: BOOT.RN_ comes in, or BOOT.INI goes back.
bool BringSavedBootIni(const BootIniFiles &files) {
    if (MoveFileA(files.saved.c_str(), files.live.c_str())) {
        SetFileAttributesA(files.scratch.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(files.scratch.c_str());
        return true;
    }
    RUNLOG2(Tx("Boot.rn_ を Boot.ini にできません。 ", "Cannot rename Boot.rn_ to Boot.ini. "),
            SystemErrorText(IsJapanese(), GetLastError()));
    if (!MoveFileA(files.scratch.c_str(), files.live.c_str()))
        RUNLOG2(Tx("Boot.s__ を Boot.ini に戻せません。 ", "Cannot put Boot.s__ back as Boot.ini. "),
                SystemErrorText(IsJapanese(), GetLastError()));
    return false;
}

} // namespace

BootIniReturn ReturnBootIniFromSafeMode(const std::string &folder) {
    BootIniFiles files = {folder + "BOOT.INI", folder + "BOOT.RN_", folder + "BOOT.S__"};
    if (!IsFilePath(files.saved)) return BootIniReturn::NoSavedFile;
    SetFileAttributesA(files.live.c_str(), FILE_ATTRIBUTE_NORMAL);
    SetFileAttributesA(files.saved.c_str(), FILE_ATTRIBUTE_NORMAL);
    SetFileAttributesA(files.scratch.c_str(), FILE_ATTRIBUTE_NORMAL);
    bool restored;
    if (!IsFilePath(files.live))
        restored = MoveFileA(files.saved.c_str(), files.live.c_str()) != FALSE;
    else if (MoveFileExA(files.live.c_str(), files.scratch.c_str(), MOVEFILE_REPLACE_EXISTING))
        restored = BringSavedBootIni(files);
    else
        restored = ReplaceLiveBootIni(files);
    // Whatever happened, the BOOT.INI there is gets the attributes Windows gives it.
    SetFileAttributesA(files.live.c_str(), FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN);
    return restored ? BootIniReturn::Restored : BootIniReturn::Failed;
}

// ---- Shell file operation and restart ---------------------------------------------------------------

bool DeleteFilesOnly(HWND owner, const std::string &pattern) {
    // The list of names ends with two zeros: one here, one std::string keeps after it.
    std::string from = pattern + '\0';
    SHFILEOPSTRUCTA operation = {};
    operation.hwnd = owner;
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_NOCONFIRMATION | FOF_FILESONLY | FOF_SIMPLEPROGRESS;
    operation.lpszProgressTitle = ProductTitle();
    int result = g_troubleFileOperation(&operation);
    return result == 0 && !operation.fAnyOperationsAborted;
}

bool RebootAfterRepair(HWND owner) {
    ShowMessage(owner, {"[OK] を押すと Windows を再起動します。", "Press [OK] to reboot Windows."}, MB_ICONWARNING);
    EnableShutdownPrivilege();
    RUNLOG(Tx("トラブル解決のため再起動します。", "Rebooting to finish a trouble solution."));
    if (g_troubleExitWindows(EWX_REBOOT, 0)) return true;
    RUNLOG(Tx("再起動 - 失敗", "Reboot - failed"));
    ShowMessage(owner,
                {"再起動に失敗しました。\r\nほかの方法で Windows を再起動してください。", "Rebooting was failed."},
                MB_ICONERROR);
    return false;
}

// ---- The dialog ---------------------------------------------------------------------------------

namespace {

struct TroubleState {
    std::string iconCache, fontCache, prefetchFolder; // empty when not found
    bool restarting = false;
};

const ToolTipText kTipsJa[] = {
    {IDC_TROUBLE_ICONCACHE, "shellIconCache または IconCache.db を削除します。"},
    {IDC_TROUBLE_FONTCACHE, "ttfCache または fntcache.dat を削除します。"},
    {IDC_TROUBLE_SAFEMODE, "Boot.ini を元に戻します。"},
    {IDC_TROUBLE_SERVICES, "サービスと常駐タスクを元に戻します。"},
    {IDC_TROUBLE_PREFETCH, "%windir%\\Prefetch のファイルを削除します。"},
    {IDC_TROUBLE_AUTOLOGON, "Windows ログオンの起動時パスワードを元に戻します。"},
    {IDC_TROUBLE_AUTOCHK, "Session Manager の BootExecute を有効/無効にします。"},
    {IDCANCEL, "このダイアログ ボックスを閉じます。"},
    {IDHELP, "ヘルプを表示します。"},
    {0, nullptr},
};
const ToolTipText kTipsEn[] = {
    {IDC_TROUBLE_ICONCACHE, "Deletes shellIconCache or IconCache.db."},
    {IDC_TROUBLE_FONTCACHE, "Deletes ttfCache or fntcache.dat"},
    {IDC_TROUBLE_SAFEMODE, "Recovers Boot.ini."},
    {IDC_TROUBLE_SERVICES, "Recovers Services and Stay Resident Tasks."},
    {IDC_TROUBLE_PREFETCH, "Deletes files in %windir%\\Prefetch."},
    {IDC_TROUBLE_AUTOLOGON, "Restores Boot Time Password of Windows Logon."},
    {IDC_TROUBLE_AUTOCHK, "Enables/Disables BootExecute in Session Manager."},
    {IDCANCEL, "Closes this dialog box."},
    {IDHELP, "Displays Japanese help."},
    {0, nullptr},
};

TroubleState *StateOf(HWND dialog) {
    return reinterpret_cast<TroubleState *>(GetWindowLongPtrA(dialog, DWLP_USER));
}

bool Ask(HWND dialog, const TextPair &question) {
    return ShowMessage(dialog, question, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void EnableItem(HWND dialog, int id, bool enable) {
    EnableWindow(GetDlgItem(dialog, id), enable);
}

// A button with its note beside it.
void EnableWithNote(HWND dialog, int id, int note, bool enable) {
    EnableItem(dialog, id, enable);
    EnableItem(dialog, note, enable);
}

void ShowAutochkLabel(HWND dialog, bool scheduled) {
    SetDlgItemTextA(dialog, IDC_TROUBLE_AUTOCHK,
                    scheduled ? Tx("起動時の AUTOCHK を無効にする(&A)", "Disable &AUTOCHK on boot time")
                              : Tx("起動時の AUTOCHK を有効にする(&A)", "Enable &AUTOCHK on boot time"));
}

// ---- Caches

// Deletes a cache file, read-only or not; the button goes, as there is no file left to delete.
bool DeleteCacheFile(HWND dialog, int button, const std::string &path) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    bool deleted = DeleteFileA(path.c_str()) != FALSE;
    EnableItem(dialog, button, false);
    RUNLOG2(deleted ? Tx("削除しました - ", "Deleted - ") : Tx("削除できません - ", "Cannot delete - "), path.c_str());
    return deleted;
}

// An empty read-only file in the cache's place keeps Windows from writing a broken one again.
void OfferReadOnlyIconCache(HWND dialog, const std::string &path) {
    if (!Ask(dialog, {"アイコン キャッシュを削除しました。読み取り専用のファイルを作成しますか？",
                      "Deleted the Icon Cache. Do you want to create a readonly file?"}))
        return;
    UniqueFile file(
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_READONLY, nullptr));
    if (file)
        ShowMessage(dialog, {"読み取り専用のアイコン キャッシュを作成しました。", "Created a readonly Icon Cache."},
                    MB_ICONINFORMATION);
    else
        ShowMessage(dialog,
                    {"読み取り専用のアイコン キャッシュを作成できません。", "Cannot create a readonly Icon Cache."},
                    MB_ICONWARNING);
}

void RemakeIconCache(HWND dialog) {
    const std::string &path = StateOf(dialog)->iconCache;
    if (path.empty() ||
        !Ask(dialog, {"アイコン キャッシュを削除してもよろしいですか？", "Are you sure you want to delete the Icon Cache?"}))
        return;
    if (DeleteCacheFile(dialog, IDC_TROUBLE_ICONCACHE, path))
        OfferReadOnlyIconCache(dialog, path);
    else
        ShowMessage(dialog, {"アイコン キャッシュを削除できませんでした。", "Deleting the Icon Cache was failed."},
                    MB_ICONERROR);
}

void RemakeFontCache(HWND dialog) {
    const std::string &path = StateOf(dialog)->fontCache;
    if (path.empty() ||
        !Ask(dialog, {"フォント キャッシュを削除してもよろしいですか？", "Are you sure you want to delete the Font Cache?"}))
        return;
    if (DeleteCacheFile(dialog, IDC_TROUBLE_FONTCACHE, path))
        ShowMessage(dialog, {"フォント キャッシュを削除しました。", "Deleted the Font Cache."}, MB_ICONINFORMATION);
    else
        ShowMessage(dialog, {"フォント キャッシュを削除できませんでした。", "Deleting the Font Cache was failed."},
                    MB_ICONERROR);
}

void DeletePrefetchFiles(HWND dialog) {
    std::string folder = StateOf(dialog)->prefetchFolder;
    if (folder.empty() || !Ask(dialog, {"Applog/Prefetch フォルダーのファイルを削除してもよろしいですか？",
                                        "Are you sure you want to delete files in applog/prefetch folder?"}))
        return;
    AppendBackslash(folder);
    bool deleted = DeleteFilesOnly(dialog, folder + "*.*");
    EnableWithNote(dialog, IDC_TROUBLE_PREFETCH, IDC_TROUBLE_PREFETCH_NOTE, false);
    if (deleted)
        ShowMessage(dialog, {"Applog/Prefetch フォルダーのファイルを削除しました。", "Deleted files in Applog/Prefetch folder."},
                    MB_ICONINFORMATION);
    else
        ShowMessage(dialog,
                    {"Applog/Prefetch フォルダーのファイルを削除できませんでした。",
                     "Deleting files in Applog/Prefetch folder was failed."},
                    MB_ICONERROR);
}

// ---- Restarting repairs

void Restart(HWND dialog) {
    if (!RebootAfterRepair(dialog)) return;
    StateOf(dialog)->restarting = true;
    EndDialog(dialog, IDOK);
}

// From Windows Vista on the safe boot is a setting of the boot store, as the run's own restore
// entry removes it.
bool ReturnFromSafeBootSetting() {
    if (RunCommandLine("bcdedit.exe /deletevalue safeboot") && g_lastExitCode == 0) return true;
    RUNLOG(Tx("セーフブートの設定を削除できません。", "Cannot delete the safe boot setting."));
    return false;
}

bool ReturnFromSafeModeBootIni(HWND dialog) {
    std::string folder = BootDrive();
    AppendBackslash(folder);
    switch (ReturnBootIniFromSafeMode(folder)) {
    case BootIniReturn::Restored:
        RUNLOG(Tx("Boot.ini を元に戻しました。", "Boot.ini Restored."));
        return true;
    case BootIniReturn::NoSavedFile:
        RUNLOG(Tx("Boot.rn_ が見つかりません。", "Boot.rn_ is not found."));
        ShowMessage(dialog,
                    {"Boot.rn_ が見つからないため、Boot.ini はそのままです。何も変更していません。",
                     "Boot.rn_ is not found, so Boot.ini was left as it is. Nothing was changed."},
                    MB_ICONWARNING);
        return false;
    default:
        ShowMessage(dialog,
                    {"Boot.rn_ から Boot.ini を元に戻せませんでした。Windows は再起動しません。",
                     "Cannot restore Boot.ini from Boot.rn_. Windows is not restarted."},
                    MB_ICONERROR);
        return false;
    }
}

void ReturnFromSafeMode(HWND dialog) {
    if (!Ask(dialog, {"セーフモードまたは VGA モードから通常の起動に戻してもよろしいですか？",
                      "Are you sure you want to recovery from Safe mode or VGA mode?"}))
        return;
    bool restored;
    if (g_windowsVersion >= 600) {
        restored = ReturnFromSafeBootSetting();
        if (!restored)
            ShowMessage(dialog,
                        {"bcdedit.exe でセーフブートの設定を削除できませんでした。Windows は再起動しません。",
                         "bcdedit.exe could not delete the safe boot setting. Windows is not restarted."},
                        MB_ICONERROR);
    } else {
        restored = ReturnFromSafeModeBootIni(dialog);
    }
    if (!restored) return;
    EnableItem(dialog, IDC_TROUBLE_SAFEMODE, false);
    Restart(dialog);
}

// StoppedSrv as stored; false when it is missing, cannot be read or is no text.
bool ReadStoppedServices(std::string *text) {
    REGA key;
    if (!OpenSettings(key, OPEN_READONLY)) return false;
    RegistryValue value = ReadRegistryValue(key, setting::StoppedSrv.name);
    key.CloseKey();
    if (!value.exists) return false;
    if (value.type != REG_SZ && value.type != REG_EXPAND_SZ) {
        RUNLOG(Tx("StoppedSrv の値の種類が正しくありません。", "StoppedSrv has data of a wrong type."));
        return false;
    }
    *text = value.bytes.substr(0, strnlen(value.bytes.data(), value.bytes.size()));
    return true;
}

void RestoreServices(HWND dialog) {
    if (!Ask(dialog, {"サービスを元に戻してもよろしいですか？", "Are you sure you want to recovery services?"})) return;
    std::string stored;
    if (!ReadStoppedServices(&stored)) {
        ShowMessage(dialog, {"StoppedSrv が見つかりません。", "StoppedSrv is not found."}, MB_ICONERROR);
        return;
    }
    std::vector<std::string> restored = RestoreServiceStarts(StoppedServiceNames(stored));
    EnableItem(dialog, IDC_TROUBLE_SERVICES, false);
    if (restored.empty()) {
        ShowMessage(dialog,
                    {"元に戻す必要のあるサービスはありませんでした。", "There was no service to restore."},
                    MB_ICONINFORMATION);
        return;
    }
    for (const std::string &name : restored)
        RUNLOG2(Tx("サービスを元に戻しました - ", "Restored the service - "), name.c_str());
    Restart(dialog);
}

// ---- Automatic logon

void CancelAutomaticLogon(HWND dialog) {
    if (ShowMessageBox(dialog,
                       Tx("起動時のパスワード入力を有効にしてもよろしいですか？",
                          "Are you sure you want to turn on the boot time password?"),
                       Tx("自動ログオンの解除", "Cancel Auto logon"), MB_YESNO | MB_ICONQUESTION) != IDYES ||
        !RemoveAutomaticLogon())
        return;
    if (IsJapanese())
        ShowMessageBox(dialog, "自動ログオンを解除しました。次回から Windows の起動時にパスワードを入力してください。",
                       ProductTitle(), MB_ICONINFORMATION);
    EnableWithNote(dialog, IDC_TROUBLE_AUTOLOGON, IDC_TROUBLE_AUTOLOGON_NOTE, false);
}

// ---- AUTOCHK at boot

// The question before the change; the texts that speak of the whole value are kept for a value
// that holds nothing else.
bool AskAutochkChange(HWND dialog, bool scheduled, bool othersKept) {
    if (scheduled)
        return Ask(dialog, othersKept ? TextPair{"Session Manager の 'BootExecute' から AUTOCHK を取り除いてもよろしい"
                                                 "ですか？ ほかの起動時のプログラムは残します。",
                                                 "Are you sure you want to remove AUTOCHK from 'BootExecute' in Session "
                                                 "Manager? The other boot time programs are kept."}
                                      : TextPair{"Session Manager のレジストリ値 'BootExecute' があります。"
                                                 "'BootExecute' を削除してもよろしいですか？",
                                                 "Registry entry 'BootExecute' in Session Manager is exist. Are you "
                                                 "sure you want to delete 'BootExecute?' "});
    return Ask(dialog, othersKept ? TextPair{"Session Manager の 'BootExecute' は AUTOCHK を実行しません。"
                                             "'autocheck autochk *' を加えてもよろしいですか？ ほかの起動時のプログラムは残します。",
                                             "'BootExecute' in Session Manager does not run AUTOCHK. Are you sure you "
                                             "want to add 'autocheck autochk *'? The other boot time programs are kept."}
                                  : TextPair{"Session Manager のレジストリ値 'BootExecute' がありません。"
                                             "'BootExecute' を元に戻してもよろしいですか？",
                                             "Registry entry 'BootExecute' in Session Manager is not exist. Are you "
                                             "sure you want to recover 'BootExecute?' "});
}

// Writes the entries, or deletes the value when none is left.
bool StoreBootExecute(REGA &key, const std::vector<std::string> &entries) {
    if (entries.empty()) return key.DeleteValue(kBootExecute);
    return WriteRegistryValue(key, kBootExecute, {true, REG_MULTI_SZ, MultiStringBytes(entries)});
}

void ReportAutochkChange(HWND dialog, bool enabled, bool othersKept, bool stored) {
    if (!stored) {
        ShowMessage(dialog,
                    enabled ? TextPair{"Session Manager に BootExecute を作成できません。",
                                       "Cannot create BootExecute in Session Manager."}
                            : TextPair{"Session Manager の BootExecute を削除できません。",
                                       "Cannot delete BootExecute in Session Manager."},
                    MB_ICONERROR);
        return;
    }
    TextPair text =
        enabled ? (othersKept ? TextPair{"Session Manager の 'BootExecute' の先頭に 'autocheck autochk *' を加えました。",
                                         "Added 'autocheck autochk *' to the top of 'BootExecute' in session manager."}
                              : TextPair{"Session Manager にレジストリ値 'BootExecute'='autocheck autochk *' を作成しました。",
                                         "Created Registry value 'BootExecute'='autocheck autochk *' in session manager."})
                : (othersKept ? TextPair{"Session Manager の 'BootExecute' から AUTOCHK を取り除きました。",
                                         "Removed AUTOCHK from 'BootExecute' in session manager."}
                              : TextPair{"Session Manager のレジストリ値 BootExecute を削除しました。",
                                         "Deleted registry value: BootExecute in session manager."});
    RUNLOG(text.Get());
    ShowMessage(dialog, text, MB_ICONINFORMATION);
}

void ToggleAutochk(HWND dialog) {
    REGA key;
    if (!key.OpenKey(HKEY_LOCAL_MACHINE, kSessionManagerPath, 0)) {
        ShowMessage(dialog, {"Session Manager のレジストリ キーを開けません。", "Cannot open Registry Key of Session Manager."},
                    MB_ICONERROR);
        return;
    }
    RegistryValue value = ReadRegistryValue(key, kBootExecute);
    if (value.exists && value.type != REG_MULTI_SZ)
        RUNLOG(Tx("BootExecute の値の種類が REG_MULTI_SZ ではありません。", "BootExecute is not of type REG_MULTI_SZ."));
    std::vector<std::string> entries = MultiStrings(value.bytes);
    bool scheduled = AutochkScheduled(value.bytes);
    bool othersKept = !WithoutAutochk(entries).empty();
    bool stored = false;
    bool asked = AskAutochkChange(dialog, scheduled, othersKept);
    if (asked) stored = StoreBootExecute(key, scheduled ? WithoutAutochk(entries) : WithStandardAutochk(entries));
    key.CloseKey();
    if (!asked) return;
    ReportAutochkChange(dialog, !scheduled, othersKept, stored);
    bool scheduledNow = stored ? !scheduled : scheduled;
    ShowAutochkLabel(dialog, scheduledNow);
}

// ---- Opening

// The label follows what BootExecute does now; a key that cannot be opened for writing is reported
// at once, as no change to it could be made.
void ShowCurrentAutochk(HWND dialog) {
    REGA key;
    if (!key.OpenKey(HKEY_LOCAL_MACHINE, kSessionManagerPath, 0)) {
        ReportRegistryError("Session Manager", kLogModule);
        return;
    }
    ShowAutochkLabel(dialog, AutochkScheduled(ReadRegistryValue(key, kBootExecute).bytes));
    key.CloseKey();
}

BOOL OnInitDialog(HWND dialog, TroubleState *state) {
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(state));
    if (!IsAutomaticLogonOn()) EnableWithNote(dialog, IDC_TROUBLE_AUTOLOGON, IDC_TROUBLE_AUTOLOGON_NOTE, false);
    ShowCurrentAutochk(dialog);
    AddToolTips(dialog, ToolTipTable(kTipsJa, kTipsEn));
    state->iconCache = FirstExistingFile(IconCacheCandidates(g_windowsVersion));
    std::string fontCache = FontCachePath();
    if (IsFilePath(fontCache)) state->fontCache = fontCache;
    std::string prefetch = PrefetchFolder();
    if (g_windowsVersion > 500 && FolderHoldsFiles(prefetch)) state->prefetchFolder = prefetch;
    EnableItem(dialog, IDC_TROUBLE_ICONCACHE, !state->iconCache.empty());
    EnableItem(dialog, IDC_TROUBLE_FONTCACHE, !state->fontCache.empty());
    EnableWithNote(dialog, IDC_TROUBLE_PREFETCH, IDC_TROUBLE_PREFETCH_NOTE, !state->prefetchFolder.empty());
    EnableItem(dialog, IDC_TROUBLE_UNUSED, false);
    return TRUE;
}

void OnCommand(HWND dialog, int id) {
    switch (id) {
    case IDC_TROUBLE_ICONCACHE:
        RemakeIconCache(dialog);
        return;
    case IDC_TROUBLE_FONTCACHE:
        RemakeFontCache(dialog);
        return;
    case IDC_TROUBLE_SAFEMODE:
        ReturnFromSafeMode(dialog);
        return;
    case IDC_TROUBLE_AUTOLOGON:
        CancelAutomaticLogon(dialog);
        return;
    case IDC_TROUBLE_SERVICES:
        RestoreServices(dialog);
        return;
    case IDC_TROUBLE_PREFETCH:
        DeletePrefetchFiles(dialog);
        return;
    case IDC_TROUBLE_AUTOCHK:
        ToggleAutochk(dialog);
        return;
    case IDHELP:
        ShowHelp(dialog, kHelpTopic);
        return;
    case IDCANCEL:
        EndDialog(dialog, IDCANCEL);
        return;
    }
}

INT_PTR CALLBACK TroubleProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(dialog, reinterpret_cast<TroubleState *>(lParam));
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED) OnCommand(dialog, LOWORD(wParam));
        return TRUE;
    case WM_HELP:
        ShowHelp(dialog, kHelpTopic);
        return TRUE;
    }
    return FALSE;
}

} // namespace

bool ShowTroubleDialog(HWND owner) {
    TroubleState state;
    DialogBoxParamA(ModuleInstance(), MAKEINTRESOURCEA(ResId(IDD_TROUBLE_JA, IDD_TROUBLE_EN)), owner, TroubleProc,
                    reinterpret_cast<LPARAM>(&state));
    if (!state.restarting) return false;
    // Windows is going down; nothing more is to be done here.
    if (g_mainWindow && IsWindow(g_mainWindow)) DestroyWindow(g_mainWindow);
    return true;
}

// ---- The Tools menu -------------------------------------------------------------------------------

std::string SystemRestoreProgram(unsigned short windowsVersion, const char *systemFolder) {
    return std::string(systemFolder ? systemFolder : "") +
           (windowsVersion >= 600 ? "\\RSTRUI.EXE" : "\\RESTORE\\RSTRUI.EXE");
}

namespace {

// System Restore and the backup copy the hives as they are on disk.
void FlushHives() {
    RegFlushKey(HKEY_LOCAL_MACHINE);
    RegFlushKey(HKEY_CURRENT_USER);
}

// A question asked in the Japanese interface only; the English one acts at once.
bool JapaneseConfirms(HWND owner, const char *question) {
    return !IsJapanese() || ShowMessageBox(owner, question, ProductTitle(), MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void JapaneseError(HWND owner, const char *text) {
    if (IsJapanese()) ShowMessageBox(owner, text, ProductTitle(), MB_ICONERROR);
}

const char kBackupFailedJa[] =
    "バックアップ ユーティリティ (NTBACKUP.EXE) を起動できませんでした。Windows XP Home Edition では、Windows の "
    "CD-ROM の VALUEADD\\MSFT\\NTBACKUP からインストールしてください。";

bool RunBackup(HWND panel, const char *explanation) {
    FlushHives();
    if (!JapaneseConfirms(panel, explanation)) return false;
    bool started = ShellOpenFile(panel, "NTBACKUP.EXE");
    if (!started) JapaneseError(panel, kBackupFailedJa);
    return started;
}

void BackUpRegistry(HWND panel) {
    FlushHives();
    if (!JapaneseConfirms(panel, "レジストリをバックアップするには、バックアップ ユーティリティで「System State」"
                                 "(システム状態) を選んでバックアップしてください。\n\nバックアップ ユーティリティを"
                                 "起動しますか？"))
        return;
    bool started = ShellOpenFile(panel, "NTBACKUP.EXE");
    RUNLOG(started ? Tx("実行 - NTBACKUP.EXE", "Run - NTBACKUP.EXE")
                   : Tx("実行 - NTBACKUP.EXE - 失敗", "Run - NTBACKUP.EXE - Failed"));
    if (!started) JapaneseError(panel, kBackupFailedJa);
}

void StartSystemRestore(HWND panel) {
    if (!JapaneseConfirms(panel, "システムの復元を起動します。よろしいですか？")) return;
    FlushHives();
    if (!ShellOpenFile(panel, SystemRestoreProgram(g_windowsVersion, SystemFolder()).c_str()))
        JapaneseError(panel, "システムの復元を起動できませんでした。システムの復元が無効になっていないか確認してください。");
}

void CreateRestorePointNow(HWND panel) {
    if (!JapaneseConfirms(panel, "システムの復元の復元ポイントを作成します。よろしいですか？")) return;
    if (MakeRestorePointReported(panel)) ShowMessageBox(panel, RestorePointStatusText(0), ProductTitle(), MB_ICONINFORMATION);
}

} // namespace

bool RunSystemTool(HWND panel, int id) {
    switch (id) {
    case IDC_NORMAL_TROUBLE:
        ShowTroubleDialog(panel);
        return true;
    case IDM_BACKUP:
        RunBackup(panel, "バックアップ ユーティリティを起動します。ファイルやフォルダー、システムの状態をバックアップ"
                         "したり、バックアップから復元したりできます。\n\nよろしいですか？");
        return true;
    case IDM_BACKUP_REGISTRY:
        BackUpRegistry(panel);
        return true;
    case IDM_RESTORE_REGISTRY:
        RunBackup(panel, "レジストリを復元するには、バックアップ ユーティリティの「復元と管理」で、バックアップした"
                         "「System State」(システム状態) を選んで復元してください。復元の後、Windows を再起動します。"
                         "\n\nバックアップ ユーティリティを起動しますか？");
        return true;
    case IDM_SYSTEM_RESTORE:
        StartSystemRestore(panel);
        return true;
    case IDM_RESTORE_POINT:
        CreateRestorePointNow(panel);
        return true;
    default:
        return false;
    }
}
