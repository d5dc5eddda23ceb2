// QSrestore: the commands that put back what the planner changed for the run (shell, boot-time
// check, paging file, BOOT.INI, services, automatic logon, UAC), and the deletions of its clean-up
// options. Every command logs one outcome and returns; a backup is only removed once the value it
// saved is back in place, so a command that runs again after an unplanned restart finds either
// its backup or nothing to do.
#include "QS.h"

#include "language.h"
#include "platform.h"
#include "runlog.h"
#include "winhandle.h"

#include <shellapi.h>
#include <shlobj.h>

#include <cstring>
#include <new>

namespace {

const char kUserWinlogon[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const char kMachineWinlogon[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kMemoryManagement[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Memory Management";
const char kPoliciesSystem[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
const char kRunServices[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices";
const char kRunServicesBackup[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServicesBackup";
const char kProfileList[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";

const char *OrEmpty(const char *text) {
    return text ? text : "";
}

const char *ErrorText(DWORD code) {
    return SystemErrorText(IsJapanese(), code);
}

// Opens a key with full access (made when missing), lets work use it and closes it again. When the
// key cannot be opened, logs openFailed and returns false.
template <typename Work> bool WithKey(HKEY root, const char *path, const char *openFailed, Work work) {
    REGA key;
    if (!key.OpenKey(root, path, OPEN_CREATE)) {
        RUNLOG(openFailed);
        return false;
    }
    work(key);
    key.CloseKey();
    return true;
}

// ---- Registry values read within their size ------------------------------------------------------

// A value's type and data. The buffer holds two zero bytes more than the data, so a text stored
// without its terminator still ends inside the buffer.
struct ValueData {
    DWORD type = REG_NONE;
    DWORD size = 0;
    std::unique_ptr<BYTE[]> bytes;
};

// False when the value is missing, memory is short, or the value changed size between the calls.
bool ReadValue(HKEY key, const char *name, ValueData *value) {
    DWORD type = REG_NONE, size = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
    std::unique_ptr<BYTE[]> bytes(new (std::nothrow) BYTE[size_t(size) + 2]());
    if (!bytes) return false;
    DWORD read = size;
    if (RegQueryValueExA(key, name, nullptr, &type, bytes.get(), &read) != ERROR_SUCCESS) return false;
    value->type = type;
    value->size = read < size ? read : size;
    value->bytes = std::move(bytes);
    return true;
}

// ---- $RestoreShell -------------------------------------------------------------------------------

void SetUserShell(REGA &key, const char *shell) {
    if (*shell) {
        if (key.WriteStringA("Shell", shell, STRTYPE_KEEP))
            RUNLOG(Tx("シェルを元に戻しました。", "Restored Shell."));
        else
            RUNLOG(Tx("シェルを元に戻せませんでした。", "Restored Shell - failed."));
        return;
    }
    // A value that is already gone is what the restore wants (a second run after a restart).
    if (key.DeleteValue("Shell") || key.ValueExistA("Shell") < 0)
        RUNLOG(Tx("シェルを元に戻しました(値の削除)。", "Restored Shell(Delete Value)."));
    else
        RUNLOG(Tx("シェルを元に戻せませんでした(値の削除)。", "Restored Shell(Delete Value) - failed."));
}

// ---- $RestoreBootExecute and $RestoreSwap -----------------------------------------------------------

// Puts _BootExecute back as BootExecute with its own type; the backup goes only after the write.
bool MoveBootExecuteBack(HKEY key) {
    ValueData saved;
    if (!ReadValue(key, "_BootExecute", &saved)) return false;
    DWORD length = TerminatedDataLength(saved.type, saved.bytes.get(), saved.size);
    if (RegSetValueExA(key, "BootExecute", 0, saved.type, saved.bytes.get(), length) != ERROR_SUCCESS) return false;
    return RegDeleteValueA(key, "_BootExecute") == ERROR_SUCCESS;
}

// The planner keeps the old paging-file list as raw bytes; anything but text or raw bytes is not
// a list of paging files and would leave Windows without one.
bool IsPagingFileBackupType(DWORD type) {
    return type == REG_BINARY || type == REG_MULTI_SZ || type == REG_SZ || type == REG_EXPAND_SZ;
}

void RestorePagingFiles(REGA &key) {
    int size = key.ValueExistA("_PagingFiles");
    if (size <= 0) return; // the run did not switch the paging file off
    ValueData saved;
    if (!ReadValue(key.Handle(), "_PagingFiles", &saved)) {
        RUNLOG(Tx("$RestoreSwap:メモリが足りません。", "$RestoreSwap:Out of Memory."));
        return;
    }
    const char *failed = Tx("ページング ファイルの設定を元に戻せませんでした。", "Restore Paging File - failed.");
    // A failed restore keeps _PagingFiles, so that the next run (or the user) can still put it back.
    if (!IsPagingFileBackupType(saved.type)) {
        RUNLOG2(failed, ErrorText(ERROR_INVALID_DATA));
        return;
    }
    DWORD length = TerminatedDataLength(REG_MULTI_SZ, saved.bytes.get(), saved.size);
    LONG status = RegSetValueExA(key.Handle(), "PagingFiles", 0, REG_MULTI_SZ, saved.bytes.get(), length);
    if (status != ERROR_SUCCESS) {
        RUNLOG2(failed, ErrorText(static_cast<DWORD>(status)));
        return;
    }
    RUNLOG(Tx("ページング ファイルの設定を元に戻しました。", "Restore Paging File."));
    key.DeleteValue("_PagingFiles");
}

// ---- $RestoreBi ------------------------------------------------------------------------------------

struct BootFiles {
    std::string live;    // BOOT.INI
    std::string saved;   // BOOT.RN_, the file of normal operation
    std::string scratch; // BOOT.S__
};

bool IsPlainFile(const std::string &path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// BOOT.INI could not be moved aside: it goes, and the saved file takes its place. Without a saved
// file the replacement is the only BOOT.INI there is, and it stays.
void ForceRestoreBootIni(const BootFiles &files, DWORD moveError) {
    RUNLOG2(Tx("一時的な Boot.ini を強制的に削除します。 ", "Temporary Boot.ini deleted force. "),
            ErrorText(moveError));
    const char *restoreFailed = Tx("Boot.ini を強制的に元に戻せませんでした。 ", "Boot.ini Force Restored is failed. ");
    if (!IsPlainFile(files.saved)) {
        RUNLOG2(restoreFailed, ErrorText(ERROR_FILE_NOT_FOUND));
        return;
    }
    if (DeleteFileA(files.live.c_str()))
        RUNLOG(Tx("一時的な Boot.ini を強制的に削除しました。 ", "Temporary Boot.ini deleted force. "));
    else
        RUNLOG2(Tx("一時的な Boot.ini を強制的に削除できませんでした。 ",
                   "Deleteting Temporary Boot.ini Force is failed. "),
                ErrorText(GetLastError()));
    if (MoveFileA(files.saved.c_str(), files.live.c_str()))
        RUNLOG(Tx("Boot.ini を強制的に元に戻しました。 ", "Boot.ini Force Restored. "));
    else
        RUNLOG2(restoreFailed, ErrorText(GetLastError()));
}

// The saved file could not come back (normally because a first run already brought it back): the
// replacement returns from the scratch name, so there always is a BOOT.INI.
void PutReplacementBack(const BootFiles &files, DWORD moveError) {
    RUNLOG2(Tx("Boot.ini を強制的に元に戻します。 ", "Boot.ini will restored force. "), ErrorText(moveError));
    if (MoveFileA(files.scratch.c_str(), files.live.c_str()))
        RUNLOG(Tx("Boot.ini を強制的に元に戻しました。 ", "Boot.ini Force Restored. "));
    else
        RUNLOG2(Tx("Boot.ini を強制的に元に戻せませんでした。 ", "Boot.ini Force Restored is failed. "),
                ErrorText(GetLastError()));
}

void FinishBootIniRestore(const BootFiles &files) {
    if (DeleteFileA(files.scratch.c_str()))
        RUNLOG(Tx("Boot.ini を元に戻しました。", "Boot.ini Restored."));
    else
        RUNLOG2(Tx("Boot.ini を元に戻しましたが、Boot.s__ を削除できませんでした。 ",
                   "Boot.ini Restored. But Cannot delete Boot.s__. "),
                ErrorText(GetLastError()));
    if (SetFileAttributesA(files.live.c_str(), FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_HIDDEN))
        RUNLOG(Tx("Boot.ini にシステム属性と隠し属性を付けました。", "Attrib +S+ H Boot.ini."));
    else
        RUNLOG2(Tx("Boot.ini にシステム属性と隠し属性を付けられませんでした。 ", "Attrib +S +H Boot.ini is failed. "),
                ErrorText(GetLastError()));
}

// ---- $RestoreRunService ---------------------------------------------------------------------------

// Copies every value of the backup into RunServices and removes each copied one from the backup.
// False when a value could not be copied; it then stays in the backup.
bool CopyRunServicesBack(HKEY backup, HKEY target) {
    DWORD longestName = 0, longestData = 0;
    if (RegQueryInfoKeyA(backup, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &longestName,
                         &longestData, nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    // The longest name is counted in characters; in Shift-JIS each may take two bytes.
    DWORD nameSize = longestName * 2 + 5, dataSize = longestData + 5;
    std::unique_ptr<char[]> name(new (std::nothrow) char[nameSize]);
    std::unique_ptr<BYTE[]> data(new (std::nothrow) BYTE[dataSize]);
    if (!name || !data) return false;
    bool all = true;
    // A copied value leaves the backup at once, so the next one moves up to the same index.
    for (DWORD index = 0;;) {
        DWORD nameLength = nameSize, dataLength = dataSize, type = REG_NONE;
        LONG status = RegEnumValueA(backup, index, name.get(), &nameLength, nullptr, &type, data.get(), &dataLength);
        if (status == ERROR_NO_MORE_ITEMS) break;
        bool moved = status == ERROR_SUCCESS &&
                     RegSetValueExA(target, name.get(), 0, type, data.get(), dataLength) == ERROR_SUCCESS &&
                     RegDeleteValueA(backup, name.get()) == ERROR_SUCCESS;
        if (!moved) {
            all = false;
            ++index;
        }
    }
    return all;
}

DWORD ValueCount(HKEY key) {
    DWORD values = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                         nullptr) != ERROR_SUCCESS)
        return DWORD(-1);
    return values;
}

// ---- Automatic logon and policies ---------------------------------------------------------------

// The stored credentials go too; only the result for AutoAdminLogon is told.
void CancelAutoLogon(REGA &key) {
    key.DeleteValue("DefaultUserName");
    key.DeleteValue("DefaultPassword");
    key.DeleteValue("DefaultDomainName");
    if (key.DeleteValue("AutoAdminLogon"))
        RUNLOG(Tx("自動ログオンを解除しました。", "Canceled - Auto Logon."));
    else if (key.ValueExistA("AutoAdminLogon") < 0)
        RUNLOG(Tx("自動ログオンは解除済みです。", "Already Canceled - Auto Logon."));
    else
        RUNLOG(Tx("自動ログオンを解除できませんでした。", "Cancel - Auto Logon - failed."));
}

void StopAutoAdminLogon(REGA &key) {
    if (key.ValueExistA("AutoAdminLogon") < 0)
        RUNLOG(Tx("自動ログオンは停止済みです。", "Already Stopped - Auto Logon."));
    else if (key.DeleteValue("AutoAdminLogon"))
        RUNLOG(Tx("自動ログオンを停止しました。", "Stopped - Auto Logon."));
    else
        RUNLOG(Tx("自動ログオンを停止できませんでした。", "Stop - Auto Logon - failed."));
}

// Sets one policy DWORD to 1; the run planner had set it to 0. The write itself is not reported.
void EnablePolicy(const char *valueName, const char *startText, const char *failedText) {
    WithKey(HKEY_LOCAL_MACHINE, kPoliciesSystem, failedText, [=](REGA &key) {
        RUNLOG(startText);
        key.WriteIntegerA(valueName, 1);
    });
}

// ---- Protected folders ----------------------------------------------------------------------------

size_t CharBytes(const char *p) {
    return IsSjisLeadByte(static_cast<unsigned char>(p[0])) && p[1] != '\0' ? 2 : 1;
}

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// A path taken apart: the root ("c:", "\\server\share", "\" or empty for a relative path) and its
// folder names, in lower case, with "." and ".." resolved and the trailing dots and blanks that
// Windows ignores taken off.
struct PathParts {
    std::string root;
    std::vector<std::string> names;
};

std::vector<std::string> RawNames(const char *p) {
    std::vector<std::string> names;
    std::string current;
    for (; *p != '\0'; p += CharBytes(p)) {
        if (IsSeparator(*p)) {
            names.push_back(current);
            current.clear();
        } else {
            current.append(p, CharBytes(p));
        }
    }
    names.push_back(current);
    return names;
}

void AddName(std::vector<std::string> &names, std::string name) {
    if (name == ".") return;
    if (name == "..") {
        if (!names.empty()) names.pop_back(); // ".." above the root stays at the root
        return;
    }
    while (!name.empty() && (name.back() == '.' || name.back() == ' '))
        name.pop_back();
    if (name.empty()) return;
    LowerAscii(&name[0]);
    names.push_back(name);
}

PathParts SplitPath(const std::string &path) {
    std::string text = path;
    // "\\?\C:\..." and "\\?\UNC\server\share\..." name the same places as their plain forms.
    if (text.compare(0, 8, "\\\\?\\UNC\\") == 0)
        text = "\\\\" + text.substr(8);
    else if (text.compare(0, 4, "\\\\?\\") == 0)
        text = text.substr(4);
    const char *p = text.c_str();
    PathParts parts;
    std::vector<std::string> raw;
    if (((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z')) && p[1] == ':') {
        parts.root = {static_cast<char>(p[0] | 0x20), ':'};
        raw = RawNames(p + 2);
    } else if (IsSeparator(p[0]) && IsSeparator(p[1])) {
        raw = RawNames(p + 2);
        // Server and share form the root; ".." never climbs above a share.
        parts.root = "\\\\";
        for (int i = 0; i < 2 && !raw.empty(); ++i) {
            std::string name = raw.front();
            raw.erase(raw.begin());
            LowerAscii(&name[0]);
            parts.root += (i ? "\\" : "") + name;
        }
    } else {
        if (IsSeparator(p[0])) parts.root = "\\";
        raw = RawNames(p);
    }
    for (std::string &name : raw)
        AddName(parts.names, std::move(name));
    return parts;
}

bool IsEmptyPath(const PathParts &path) {
    return path.root.empty() && path.names.empty();
}

// True when inner is outer itself or lies somewhere below it.
bool ContainsPath(const PathParts &outer, const PathParts &inner) {
    if (outer.root != inner.root || outer.names.size() > inner.names.size()) return false;
    for (size_t i = 0; i < outer.names.size(); ++i)
        if (outer.names[i] != inner.names[i]) return false;
    return true;
}

// A name without a single literal character ("*", "*.*", "*.?") takes everything in its folder.
bool IsSweep(const std::string &name) {
    bool star = false;
    for (char c : name) {
        if (c == '*')
            star = true;
        else if (c != '?' && c != '.')
            return false;
    }
    return star;
}

bool MatchesFrom(const char *pattern, const char *name) {
    const char *starPattern = nullptr, *starName = nullptr;
    while (*name != '\0') {
        if (*pattern == '*') {
            starPattern = ++pattern;
            starName = name;
            continue;
        }
        size_t length = CharBytes(pattern);
        if (*pattern == '?') {
            ++pattern;
            name += CharBytes(name);
            continue;
        }
        if (*pattern != '\0' && length == CharBytes(name) && strncmp(pattern, name, length) == 0) {
            pattern += length;
            name += length;
            continue;
        }
        if (!starPattern) return false;
        // Let the last star take one more character and try again from there.
        starName += CharBytes(starName);
        name = starName;
        pattern = starPattern;
    }
    while (*pattern == '*')
        ++pattern;
    return *pattern == '\0';
}

// ---- Gathering the protected folders from the system ------------------------------------------------

std::string Expanded(const std::string &text) {
    if (text.find('%') == std::string::npos) return text;
    char expanded[1024];
    DWORD length = ExpandEnvironmentStringsA(text.c_str(), expanded, sizeof expanded);
    return length > 0 && length <= sizeof expanded ? std::string(expanded) : text;
}

using PathFunction = DWORD(WINAPI *)(LPCSTR, LPSTR, DWORD);

// The result of a GetLongPathName-like call, or empty.
std::string Converted(PathFunction convert, const std::string &path) {
    char out[1024];
    DWORD length = convert(path.c_str(), out, sizeof out);
    return length > 0 && length < sizeof out ? std::string(out) : std::string();
}

DWORD WINAPI FullPathOf(LPCSTR path, LPSTR out, DWORD size) {
    return GetFullPathNameA(path, size, out, nullptr);
}

// Where a folder really is once its junctions and links are followed (Vista on), or empty.
std::string FinalPath(const std::string &path) {
    using FinalPathFunction = DWORD(WINAPI *)(HANDLE, LPWSTR, DWORD, DWORD);
    static const FinalPathFunction finalPath =
        GetProcAs<FinalPathFunction>(GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleW");
    if (!finalPath) return std::string();
    ErrorModeScope quiet(SEM_FAILCRITICALERRORS);
    UniqueFile folder(CreateFileW(AnsiToWide(path.c_str()).c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder) return std::string();
    wchar_t out[1024];
    DWORD length = finalPath(folder.Get(), out, 1024, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    return length > 0 && length < 1024 ? WideToAnsi(out) : std::string();
}

// The ways one place can be written: as given, absolute, with long names, with short names (which
// wildcards also match) and, when asked, where its junctions lead.
void AddForms(std::vector<std::string> &forms, const std::string &path, bool shortForm, bool finalForm) {
    if (path.empty()) return;
    forms.push_back(path);
    std::string full = Converted(FullPathOf, path);
    if (full.empty()) return;
    forms.push_back(full);
    std::string longForm = Converted(GetLongPathNameA, full);
    if (!longForm.empty()) forms.push_back(longForm);
    if (shortForm) {
        std::string shortName = Converted(GetShortPathNameA, full);
        if (!shortName.empty()) forms.push_back(shortName);
    }
    if (finalForm) {
        std::string target = FinalPath(full);
        if (!target.empty()) forms.push_back(target);
    }
}

std::string EnvironmentValue(const char *name) {
    char value[1024];
    DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length > 0 && length < sizeof value ? std::string(value) : std::string();
}

// The path put together again; a drive root keeps its backslash ("c:\", not "c:", which would mean
// the current folder of that drive).
std::string JoinPath(const PathParts &parts) {
    std::string path = parts.root;
    for (const std::string &name : parts.names) {
        if (!path.empty() && path.back() != '\\') path += '\\';
        path += name;
    }
    if (parts.names.empty() && path.size() == 2 && path[1] == ':') path += '\\';
    return path;
}

std::string ParentOf(const std::string &path) {
    PathParts parts = SplitPath(path);
    if (parts.names.empty()) return std::string();
    parts.names.pop_back();
    return JoinPath(parts);
}

void AddWindowsFolders(std::vector<std::string> &folders) {
    char path[MAX_PATH];
    UINT length = GetWindowsDirectoryA(path, sizeof path);
    if (length > 0 && length < sizeof path) folders.push_back(path);
    length = GetSystemWindowsDirectoryA(path, sizeof path);
    if (length > 0 && length < sizeof path) folders.push_back(path);
    folders.push_back(SystemFolder());
    length = GetSystemWow64DirectoryA(path, sizeof path);
    if (length > 0 && length < sizeof path) folders.push_back(path);
    static const int kShellFolders[] = {CSIDL_WINDOWS,          CSIDL_SYSTEM,  CSIDL_SYSTEMX86,     CSIDL_PROGRAM_FILES,
                                        CSIDL_PROGRAM_FILESX86, CSIDL_PROFILE, CSIDL_COMMON_APPDATA};
    for (int folder : kShellFolders)
        if (SUCCEEDED(SHGetFolderPathA(nullptr, folder, nullptr, SHGFP_TYPE_CURRENT, path))) folders.push_back(path);
    static const char *const kVariables[] = {"SystemRoot",        "windir",       "ProgramFiles",
                                             "ProgramFiles(x86)", "ProgramW6432", "USERPROFILE",
                                             "ALLUSERSPROFILE",   "PUBLIC",       "ProgramData"};
    for (const char *variable : kVariables)
        folders.push_back(EnvironmentValue(variable));
    // The folder holding the current user's profile holds the other users' profiles too.
    folders.push_back(ParentOf(EnvironmentValue("USERPROFILE")));
    if (SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_PROFILE, nullptr, SHGFP_TYPE_CURRENT, path)))
        folders.push_back(ParentOf(path));
}

// A text value of an open key, expanded; empty when missing. Data of any type is read within its
// size, so a value of the wrong kind only adds a name that matches nothing.
std::string ProfileValue(REGA &key, const char *name) {
    std::unique_ptr<char[]> text = key.RegReadStringA(name, nullptr);
    return text ? Expanded(text.get()) : std::string();
}

// Every profile in the ProfileList: each one's ProfileImagePath.
void AddProfileImagePaths(REGA &list, std::vector<std::string> &folders) {
    char sid[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = sizeof sid;
        LONG status = RegEnumKeyExA(list.Handle(), index, sid, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) continue;
        REGA profile;
        if (!profile.OpenKey(HKEY_LOCAL_MACHINE, (std::string(kProfileList) + "\\" + sid).c_str(), OPEN_READONLY))
            continue;
        folders.push_back(ProfileValue(profile, "ProfileImagePath"));
        profile.CloseKey();
    }
}

void AddProfileFolders(std::vector<std::string> &folders) {
    REGA list;
    if (!list.OpenKey(HKEY_LOCAL_MACHINE, kProfileList, OPEN_READONLY)) return;
    std::string root = ProfileValue(list, "ProfilesDirectory");
    folders.push_back(root);
    // Before Vista these name folders inside ProfilesDirectory ("All Users"); later, full paths.
    static const char *const kNames[] = {"AllUsersProfile", "DefaultUserProfile", "Default", "Public", "ProgramData"};
    for (const char *name : kNames) {
        std::string folder = ProfileValue(list, name);
        if (folder.empty()) continue;
        folders.push_back(SplitPath(folder).root.empty() && !root.empty() ? root + "\\" + folder : folder);
    }
    AddProfileImagePaths(list, folders);
    list.CloseKey();
}

// True when any form of the place the command would delete reaches a protected folder.
template <typename Decision> bool AnyFormRefused(const std::string &target, Decision refused) {
    std::vector<std::string> forms;
    AddForms(forms, target, false, true);
    std::vector<std::string> protectedFolders = GatherProtectedFolders();
    for (const std::string &form : forms)
        if (refused(form, protectedFolders)) return true;
    return false;
}

// ---- Deletion -----------------------------------------------------------------------------------

bool IsLink(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool IsFolderEntry(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The long name when it survives the ANSI code page, else the 8.3 alias, else empty. A name that
// does not come back as it was ("?" or a best-fit letter in place of a character) could name
// another file, or be read as a wildcard by the shell.
std::string AnsiEntryName(const FolderEntry &entry) {
    for (const std::wstring *name : {&entry.name, &entry.alias}) {
        std::string ansi = WideToAnsi(name->c_str());
        if (!ansi.empty() && AnsiToWide(ansi.c_str()) == *name) return ansi;
    }
    return std::string();
}

// True when the tree below folder holds no link and can be read throughout.
bool IsLinkFreeTree(const std::wstring &folder, FolderLister list) {
    std::vector<std::wstring> pending{folder};
    std::vector<FolderEntry> entries;
    while (!pending.empty()) {
        std::wstring current = std::move(pending.back());
        pending.pop_back();
        entries.clear();
        if (!list(current, entries)) return false;
        for (const FolderEntry &entry : entries) {
            if (IsLink(entry.attributes)) return false;
            if (IsFolderEntry(entry.attributes)) pending.push_back(current + entry.name + L'\\');
        }
    }
    return true;
}

// One entry of a folder given in both forms, each ending in its separator (or empty).
void PlanEntry(DeletionPlan &plan, FolderLister list, const std::wstring &wideFolder, const std::string &folder,
               const FolderEntry &entry) {
    std::string name = AnsiEntryName(entry);
    if (name.empty()) {
        plan.complete = false;
        return;
    }
    std::string path = folder + name;
    if (IsLink(entry.attributes)) {
        plan.links.push_back({path, IsFolderEntry(entry.attributes)});
        return;
    }
    std::wstring inside = wideFolder + entry.name + L'\\';
    if (!IsFolderEntry(entry.attributes) || IsLinkFreeTree(inside, list)) {
        plan.shellPaths.push_back(path);
        return;
    }
    std::vector<FolderEntry> children;
    if (!list(inside, children)) {
        plan.complete = false;
        return;
    }
    for (const FolderEntry &child : children)
        PlanEntry(plan, list, inside, path + "\\", child);
    plan.folders.push_back(path);
}

// The shell's source list: each path with its terminator, then an empty name. Null without memory.
std::unique_ptr<char[]> DoubleZeroList(const std::vector<std::string> &paths) {
    size_t size = 1;
    for (const std::string &path : paths)
        size += path.size() + 1;
    std::unique_ptr<char[]> list(new (std::nothrow) char[size]);
    if (!list) return nullptr;
    char *out = list.get();
    for (const std::string &path : paths) {
        memcpy(out, path.c_str(), path.size() + 1);
        out += path.size() + 1;
    }
    *out = '\0';
    return list;
}

// Deletes with the shell, which also takes folders with their contents. No undo: the files do not
// go to the recycle bin. Without FOF_NO_CONNECTED_ELEMENTS, "page.htm" would take its "page_files"
// folder along, which the pattern did not name and nobody looked into for links.
bool ShellDelete(const char *from) {
    SHFILEOPSTRUCTA operation = {};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from;
    operation.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_NO_CONNECTED_ELEMENTS;
    operation.lpszProgressTitle = ProductTitle();
    return SHFileOperationA(&operation) == 0;
}

// Links first (RemoveDirectory takes a junction away and leaves its target alone), then the shell's
// list, then the folders that held links, now empty. True when everything matched is gone.
bool CarryOut(const DeletionPlan &plan, const char *shellList) {
    bool done = plan.complete;
    for (const DeletionLink &link : plan.links)
        done = (link.folder ? RemoveDirectoryA(link.path.c_str()) : DeleteFileA(link.path.c_str())) && done;
    if (shellList) done = ShellDelete(shellList) && done;
    for (const std::string &folder : plan.folders) {
        SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
        done = RemoveDirectoryA(folder.c_str()) && done;
    }
    return done;
}

void DeleteMatches(const char *pattern, const char *outOfMemoryText) {
    DeletionPlan plan = PlanDeletion(pattern, ListFolderEntries);
    if (!plan.found) {
        RUNLOG2(Tx("ファイルが見つかりません - ", "Files not found - "), pattern);
        return;
    }
    std::unique_ptr<char[]> shellList;
    if (!plan.shellPaths.empty() && !(shellList = DoubleZeroList(plan.shellPaths))) {
        RUNLOG(outOfMemoryText);
        return;
    }
    if (CarryOut(plan, shellList.get()))
        RUNLOG2(Tx("ファイルを削除しました - ", "Deleted files - "), pattern);
    else
        RUNLOG2(Tx("削除できません -", "Cannot delete -"), pattern);
}

void LogBadFolder(const char *folder) {
    RUNLOG2(Tx("フォルダー名が正しくありません - ", "Bad folder name - "), folder);
}

} // namespace

// ---- Plain decisions -----------------------------------------------------------------------------

DWORD TerminatedDataLength(DWORD type, const BYTE *data, DWORD size) {
    if (size == 0 || !data) return size;
    bool lastZero = data[size - 1] == 0;
    if (type == REG_SZ || type == REG_EXPAND_SZ) return lastZero ? size : size + 1;
    if (type != REG_MULTI_SZ) return size;
    if (lastZero && size >= 2 && data[size - 2] == 0) return size;
    return lastZero ? size + 1 : size + 2;
}

bool WildcardMatch(const std::string &pattern, const std::string &name) {
    if (MatchesFrom(pattern.c_str(), name.c_str())) return true;
    // "*.*" and "name.*" also take names without an extension, as the file system's search does.
    size_t length = pattern.size();
    return length >= 2 && pattern.compare(length - 2, 2, ".*") == 0 &&
           MatchesFrom(pattern.substr(0, length - 2).c_str(), name.c_str());
}

bool IsProtectedFolder(const std::string &folder, const std::vector<std::string> &protectedFolders) {
    PathParts target = SplitPath(folder);
    if (target.names.empty()) return true; // a root, or no folder at all
    for (const std::string &item : protectedFolders) {
        PathParts guarded = SplitPath(item);
        if (!IsEmptyPath(guarded) && ContainsPath(target, guarded)) return true;
    }
    return false;
}

bool IsProtectedPattern(const std::string &pattern, const std::vector<std::string> &protectedFolders) {
    PathParts folder = SplitPath(pattern);
    if (folder.names.empty()) return true; // the pattern names a root itself
    std::string name = folder.names.back();
    folder.names.pop_back();
    bool sweep = IsSweep(name);
    if (sweep && folder.names.empty()) return true;
    for (const std::string &item : protectedFolders) {
        PathParts guarded = SplitPath(item);
        if (IsEmptyPath(guarded) || !ContainsPath(folder, guarded)) continue;
        if (folder.names.size() == guarded.names.size()) {
            if (sweep) return true;
        } else if (WildcardMatch(name, guarded.names[folder.names.size()])) {
            return true; // the name takes the protected folder, or the folder that holds it
        }
    }
    return false;
}

std::vector<std::string> GatherProtectedFolders() {
    std::vector<std::string> sources;
    AddWindowsFolders(sources);
    AddProfileFolders(sources);
    std::vector<std::string> folders;
    for (const std::string &source : sources)
        AddForms(folders, Expanded(source), true, false);
    return folders;
}

bool DelDirRefuses(const char *folder) {
    return AnyFormRefused(OrEmpty(folder), IsProtectedFolder);
}

bool DelFilesRefuses(const char *pattern) {
    // The wildcards belong to the last name only, so the forms are made of the folder part.
    std::string full = Converted(FullPathOf, OrEmpty(pattern));
    if (full.empty()) full = OrEmpty(pattern);
    PathParts parts = SplitPath(full);
    if (parts.names.empty()) return true;
    std::string name = parts.names.back();
    std::string folder = ParentOf(full);
    return AnyFormRefused(folder, [&name](const std::string &form, const std::vector<std::string> &guarded) {
        return IsProtectedPattern(form + "\\" + name, guarded);
    });
}

bool ListFolderEntries(const std::wstring &folder, std::vector<FolderEntry> &entries) {
    ErrorModeScope quiet(SEM_FAILCRITICALERRORS);
    WIN32_FIND_DATAW data;
    UniqueFind search(FindFirstFileW((folder + L'*').c_str(), &data));
    if (!search) return false;
    do {
        const wchar_t *name = data.cFileName;
        if (name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'))) continue;
        entries.push_back({name, data.cAlternateFileName, data.dwFileAttributes});
    } while (FindNextFileW(search.Get(), &data));
    return true;
}

DeletionPlan PlanDeletion(const char *pattern, FolderLister list) {
    DeletionPlan plan;
    const char *name = FileNameOfPath(pattern);
    std::string folder(pattern, static_cast<size_t>(name - pattern));
    std::wstring wideFolder = AnsiToWide(folder.c_str());
    std::wstring wideName = AnsiToWide(name);
    std::vector<FolderEntry> entries;
    if (wideName.empty() || !list(wideFolder, entries)) return plan;
    std::wstring upperName = UpperFileName(wideName);
    for (const FolderEntry &entry : entries) {
        if (!MatchUpper(UpperFileName(entry.name).c_str(), upperName.c_str())) continue;
        plan.found = true;
        PlanEntry(plan, list, wideFolder, folder, entry);
    }
    return plan;
}

// ---- The commands -------------------------------------------------------------------------------

void RestoreShell(const char *argument) {
    WithKey(HKEY_CURRENT_USER, kUserWinlogon,
            Tx("$RestoreShell:レジストリ キーを開けません。", "$RestoreShell:Cannot open registry key."),
            [argument](REGA &key) { SetUserShell(key, OrEmpty(argument)); });
}

void RestoreBootExecute(const char *) {
    bool restored = false;
    WithKey(HKEY_LOCAL_MACHINE, kSessionManager,
            Tx("$RestoreBootExecute:レジストリ キーを開けません。", "$RestoreBootExecute:Cannot open registry key."),
            [&restored](REGA &key) { restored = MoveBootExecuteBack(key.Handle()); });
    RUNLOG(restored ? Tx("BootExecute を元に戻しました。", "Restored BootExecute.")
                    : Tx("BootExecute を元に戻せませんでした。", "Cannot restore BootExecute."));
}

void RestoreSwap(const char *) {
    WithKey(HKEY_LOCAL_MACHINE, kMemoryManagement,
            Tx("$RestoreSwap:レジストリ キーを開けません。", "$RestoreSwap:Cannot open registry key."),
            RestorePagingFiles);
}

void RestoreBi(const char *) {
    std::string folder = BootDrive();
    if (folder.empty()) {
        RUNLOG2(Tx("Boot.ini を強制的に元に戻せませんでした。 ", "Boot.ini Force Restored is failed. "),
                ErrorText(ERROR_PATH_NOT_FOUND));
        return;
    }
    AppendBackslash(folder);
    BootFiles files = {folder + "BOOT.INI", folder + "BOOT.RN_", folder + "BOOT.S__"};
    SetFileAttributesA(files.live.c_str(), FILE_ATTRIBUTE_NORMAL);
    SetFileAttributesA(files.saved.c_str(), FILE_ATTRIBUTE_NORMAL);
    SetFileAttributesA(files.scratch.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(files.scratch.c_str());
    if (!MoveFileA(files.live.c_str(), files.scratch.c_str())) {
        ForceRestoreBootIni(files, GetLastError());
        return;
    }
    if (!MoveFileA(files.saved.c_str(), files.live.c_str())) {
        PutReplacementBack(files, GetLastError());
        return;
    }
    FinishBootIniRestore(files);
}

void RService(const char *argument) {
    const char *name = OrEmpty(argument);
    REGA key;
    // An empty name would open the Services key itself and a backslash a key below a service.
    if (*name == '\0' || FindText(name, "\\") || !key.OpenSubKey(name)) {
        RUNLOG2(Tx("$RService:レジストリ キーを開けません -  - HKLM\\SYSTEM\\CurrentControlSet\\Services\\",
                   "$RService:Cannot open registry key -  - HKLM\\SYSTEM\\CurrentControlSet\\Services\\"),
                name);
        return;
    }
    bool written = key.WriteIntegerA("Start", 2);
    key.CloseKey();
    RUNLOG2(written ? Tx("サービスを元に戻しました - ", "Restored Service - ")
                    : Tx("サービスを元に戻せませんでした - ", "Restore Service failed - "),
            name);
}

void RestoreRunService(const char *) {
    const char *restoredText = Tx("RunServices を元に戻しました。", "Restored RunService.");
    REGA backup;
    // No backup (none was made, or a first run already finished it): nothing to copy.
    if (!backup.OpenKey(HKEY_LOCAL_MACHINE, kRunServicesBackup, 0)) {
        RUNLOG(restoredText);
        return;
    }
    REGA target;
    bool copied = target.OpenKey(HKEY_LOCAL_MACHINE, kRunServices, OPEN_CREATE) &&
                  CopyRunServicesBack(backup.Handle(), target.Handle());
    if (target.IsOpen()) target.CloseKey();
    bool emptied = ValueCount(backup.Handle()) == 0;
    backup.CloseKey();
    RUNLOG(copied ? restoredText : Tx("RunServices を元に戻せませんでした。", "Restored RunService - failed."));
    // Values that could not go back stay in the backup key rather than being lost with it.
    if (emptied) RegDeleteKeyA(HKEY_LOCAL_MACHINE, kRunServicesBackup);
}

void ClearAutoLogon(const char *) {
    if (WithKey(HKEY_LOCAL_MACHINE, kMachineWinlogon,
                Tx("$ClearAutoLogon:レジストリ キーを開けません。", "$ClearAutoLogon:Cannot open registry key."),
                CancelAutoLogon))
        RegFlushKey(HKEY_LOCAL_MACHINE);
}

void OffAutoLogon(const char *) {
    if (WithKey(HKEY_LOCAL_MACHINE, kMachineWinlogon,
                Tx("$OffAutoLogon:レジストリ キーを開けません。", "$OffAutoLogon:Cannot open registry key."),
                StopAutoAdminLogon))
        RegFlushKey(HKEY_LOCAL_MACHINE);
}

void EnableUAC(const char *) {
    EnablePolicy("EnableLUA", Tx("UAC を有効にします...", "Enable UAC..."),
                 Tx("UAC を有効にします... - 失敗しました", "Enable UAC... - failed"));
}

void EnableDisplayLastLogonInfo(const char *) {
    EnablePolicy(
        "DisplayLastLogonInfo", Tx("前回のログオン情報の表示を有効にします...", "Enable DisplayLastLogonInfo..."),
        Tx("前回のログオン情報の表示を有効にします... - 失敗しました", "Enable DisplayLastLogonInfo... - failed"));
}

void DelDir(const char *argument) {
    const char *folder = OrEmpty(argument);
    size_t length = strlen(folder);
    if (length < 4 || DelDirRefuses(folder)) {
        LogBadFolder(folder);
        return;
    }
    size_t size = length + 5; // a backslash, "*.*" and the terminator
    std::unique_ptr<char[]> pattern(new (std::nothrow) char[size]);
    if (!pattern) {
        RUNLOG(Tx("$DelDir:メモリが足りません。", "$DelDir:Out of memory."));
        return;
    }
    memcpy(pattern.get(), folder, length + 1);
    AppendBackslash(pattern.get(), size);
    strcat(pattern.get(), "*.*");
    DeleteMatches(pattern.get(), Tx("$DelDir:メモリが足りません。", "$DelDir:Out of memory."));
}

void DelFiles(const char *argument) {
    const char *pattern = OrEmpty(argument);
    if (*pattern == '\0' || DelFilesRefuses(pattern)) {
        LogBadFolder(pattern);
        return;
    }
    DeleteMatches(pattern, Tx("$DelFiles:メモリが足りません。", "$DelFiles:Out of memory."));
}

void DelIfExist(const char *argument) {
    const char *file = OrEmpty(argument);
    SetFileAttributesA(file, FILE_ATTRIBUTE_NORMAL);
    if (!FileExists(file)) {
        RUNLOG2(Tx("ファイルがありません - ", "File not exist - "), file);
        return;
    }
    if (DeleteFileA(file)) {
        RUNLOG2(Tx("ファイルを削除しました - ", "Deleted file - "), file);
        return;
    }
    DWORD error = GetLastError();
    RUNLOG2(Tx("ファイルを削除できませんでした - ", "Do not deleted file - "), file);
    RUNLOG(ErrorText(error));
}

void Del(const char *argument) {
    const char *file = OrEmpty(argument);
    if (!FileExists(file)) {
        RUNLOG2(Tx("ファイルがありません - ", "File not exist - "), file);
        return;
    }
    SetFileAttributesA(file, FILE_ATTRIBUTE_NORMAL);
    if (DeleteFileA(file))
        RUNLOG2(Tx("ファイルを削除しました - ", "Deleted a file - "), file);
    else
        RUNLOG2(Tx("削除できません - ", "Cannot delete - "), file);
}
