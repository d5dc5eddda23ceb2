// rnschange: the system changes of a Rinsa run. Each step changes one thing so that the run can
// start unattended after the restart, and queues the entry with which QS puts it back. A step that
// fails is logged and queues nothing; the run goes on.
#include "planner/rnschange.h"
#include "planner/rnsplan.h"
#include "planner/rnsstop.h"

#include "dialogs/alogon.h"
#include "korvane.h"

#include "language.h"
#include "platform.h"
#include "runlog.h"
#include "settings.h"
#include "winhandle.h"

#include <algorithm>
#include <cstring>

namespace {

const char kLogModule[] = "rnschange";

unsigned long long SystemPhysicalMemory() {
    MEMORYSTATUSEX status = {};
    status.dwLength = sizeof status;
    return GlobalMemoryStatusEx(&status) ? status.ullTotalPhys : 0;
}

void Warn(const char *text) {
    ShowMessageBox(g_mainWindow, text, ProductTitle(), MB_ICONWARNING);
}

std::string Joined(const std::vector<std::string> &names, const char *separator) {
    std::string text;
    for (const std::string &name : names)
        text += (text.empty() ? "" : separator) + name;
    return text;
}

// ---- UAC ----------------------------------------------------------------------------------------

// True when UAC is off now (or was already); QS queues "$EnableUAC" only for a change made here.
// The entry is queued before the change: a planner that ends between the two still leaves the way
// back, and one that fails to write puts back the 1 that is there.
bool SwitchUacOff() {
    PlannedKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, kPoliciesSystemPath)) return false;
    if (key.ReadInteger("EnableLUA", 1) != 1) {
        key.Close();
        RUNLOG(Tx("UAC は既に無効になっています。", "UAC has already been disabled."));
        return true;
    }
    RUNLOG(Tx("UAC を無効にしています...", "Disable UAC..."));
    AppendCommand("$EnableUAC");
    bool written = key.WriteInteger("EnableLUA", 0);
    key.Close();
    if (written) StopPoint("EnableLUA 0");
    return written;
}

// ---- Services -----------------------------------------------------------------------------------

// True when the service's start type went from automatic to disabled.
bool DisableService(const std::string &name) {
    PlannedKey key;
    if (!key.OpenService(name)) {
        RUNLOG2(Tx("サービスの停止に失敗しました(K) - ", "Stop Service failed(K) - "), name.c_str());
        return false;
    }
    bool disabled = false;
    if (key.ReadInteger("Start", 0) == 2) {
        AppendCommand("$RService " + name);
        disabled = key.WriteInteger("Start", 4);
        if (disabled) StopPoint(("service " + name + " disabled").c_str());
        if (!disabled) RUNLOG2(Tx("サービスの停止に失敗しました(V) - ", "Stop Service failed(V) - "), name.c_str());
    }
    key.Close();
    return disabled;
}

// The trouble tools read StoppedSrv to put the services back by hand; the queued "$RService"
// entries restore them in any case.
void SaveStoppedServices(const std::vector<std::string> &names) {
    std::string joined = Joined(names, ",");
    PlannedKey key;
    bool saved = false;
    if (OpenSettingsForWriting(key, kLogModule)) {
        saved = key.WriteString(setting::StoppedSrv.name, JoinNameList(names).c_str(), STRTYPE_KEEP);
        key.Close();
    }
    RUNLOG2(saved
                ? Tx("停止したサービス - ", "Stopped Services - ")
                : Tx("サービスを元に戻すためのデータを保存できません - ", "Cannot save data for Restoring Services - "),
            joined.c_str());
}

// ---- Starting QS --------------------------------------------------------------------------------

void RegisterQsInRunOnce() {
    RUNLOG(Tx("QS を RunOnce に登録しています...", "Registring QS to RunOnce..."));
    PlannedKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, kMachineRunOncePath)) {
        ReportRegistryError("HKLM\\RunOnce", kLogModule);
        RUNLOG(Tx("QS の RunOnce への登録に失敗しました。", "Registring QS to RunOnce - failed."));
        return;
    }
    // Without QS.EXE the entry would start nothing; the start-up has already told the user.
    bool written = !QsShortPath().empty() && key.WriteString("Korvane0", QsShortPath().c_str(), STRTYPE_KEEP);
    key.Close();
    if (written) {
        StopPoint("QS in RunOnce");
        RUNLOG(Tx("Qs.exe を登録しました。", "registered Qs.exe."));
        return;
    }
    const char *failed =
        Tx("Qs.exe の登録に失敗しました。システムの復元が必要になる場合があります。", "registering Qs.exe - failed.");
    ShowMessageBox(g_mainWindow, failed, ProductTitle(), MB_ICONERROR);
    RUNLOG(failed);
}

// The per-user shell as text; a value of another type is no shell Windows would start.
std::string ReadShell(PlannedKey &key) {
    RegistryValue value = key.Read("Shell");
    if (!value.exists || (value.type != REG_SZ && value.type != REG_EXPAND_SZ)) return std::string();
    return std::string(value.bytes.c_str()); // up to the first zero, terminated or not
}

const char *ShellChangeFailedText() {
    return Tx("Quiet Shell への切り替えに失敗しました。致命的なエラーです。システムの復元が必要になる場合があります。",
              "Changing to the Quiet Shell - failed.");
}

// The shell of a "$RestoreShell" entry the list holds already (carried from an earlier list).
bool QueuedShellRestore(std::string *shell) {
    static const char kKeyword[] = "$RestoreShell";
    constexpr size_t kLength = sizeof kKeyword - 1;
    std::vector<std::string> entries = Previewing() ? g_planRecord->entries : ReadCommandList();
    entries.resize(std::min(entries.size(), size_t(CommandCount())));
    for (const std::string &entry : entries) {
        if (_strnicmp(entry.c_str(), kKeyword, kLength) != 0 || (entry.size() > kLength && entry[kLength] != ' '))
            continue;
        *shell = entry.size() > kLength ? entry.substr(kLength + 1) : std::string();
        return true;
    }
    return false;
}

// Puts QS in the per-user Shell value, once the entry that gives the old one back is queued: a
// planner that ends between the two must not leave QS as the shell with no way back. False when
// the shell is unchanged; oldShell is then what is there (the queued entry writes it again).
bool ReplaceUserShell(std::string *oldShell) {
    PlannedKey key;
    if (!key.Open(HKEY_CURRENT_USER, kUserWinlogonPath)) {
        ReportRegistryError("Winlogon", kLogModule);
        RUNLOG(ShellChangeFailedText());
        return false;
    }
    if (QsShortPath().empty()) {
        key.Close();
        RUNLOG(ShellChangeFailedText());
        return false;
    }
    std::string current = ReadShell(key);
    // QS is the shell already when an earlier run did not end; the entry carried from its list
    // knows the user's shell, which "Explorer.exe" would replace.
    bool carried = lstrcmpiA(current.c_str(), QsShortPath().c_str()) == 0 && QueuedShellRestore(oldShell);
    if (!carried) {
        *oldShell = OldShellToSave(current, QsShortPath());
        AppendCommand("$RestoreShell " + *oldShell);
    }
    bool written = key.WriteString("Shell", QsShortPath().c_str(), STRTYPE_KEEP);
    key.Close();
    if (written) StopPoint("Shell QS");
    RUNLOG(written ? Tx("Quiet Shell に切り替えました。", "Changed to the Quiet Shell.") : ShellChangeFailedText());
    return written;
}

void SaveOldShell(const std::string &oldShell) {
    const char *failed = Tx("以前のシェルの保存に失敗しました。致命的なエラーです。", "Saving an old shell - failed.");
    PlannedKey key;
    if (!OpenSettingsForWriting(key, kLogModule)) {
        RUNLOG(failed);
        return;
    }
    bool written = key.WriteString(setting::oldShell.name, oldShell.c_str(), STRTYPE_KEEP);
    key.Close();
    RUNLOG(written ? Tx("以前のシェルを保存しました。", "Saved an old shell.") : failed);
}

// The restore entry carries the shell read from Winlogon a moment ago. Reading it back from
// oldShell would fall back to "Explorer.exe" when that copy failed, and so lose the user's shell.
void SwapShell() {
    std::string oldShell;
    if (!ReplaceUserShell(&oldShell)) return;
    SaveOldShell(oldShell);
    RUNLOG(Tx("シェルを元に戻すコマンドを作成しました。", "Made command to restore shell."));
}

// ---- Paging file --------------------------------------------------------------------------------

bool AllZero(const std::string &bytes) {
    return bytes.find_first_not_of('\0') == std::string::npos;
}

// Saves PagingFiles in _PagingFiles; the copy comes first, the entry is never emptied without a
// backup. A PagingFiles that a run already emptied keeps the backup of that run (its restore did
// not happen yet). Returns the saved value, or one that does not exist.
RegistryValue SavePagingFiles(PlannedKey &key, bool *emptied) {
    RegistryValue current = key.Read("PagingFiles");
    if (!current.exists || current.bytes.empty()) return RegistryValue();
    RegistryValue saved = key.Read("_PagingFiles");
    *emptied = AllZero(current.bytes) && saved.exists && !saved.bytes.empty();
    if (*emptied) return saved;
    if (key.WriteBinary("_PagingFiles", current.bytes.data(), DWORD(current.bytes.size()))) {
        StopPoint("_PagingFiles saved");
        return current;
    }
    RUNLOG(Tx("ページングファイルのエントリを削除できません。", "Cannot delete the entry for Paging Files."));
    return RegistryValue();
}

// The entries are queued before PagingFiles is emptied, so that a planner that ends between the
// two leaves its way back; when the emptying fails, "$RestoreSwap" writes the same value again.
void DisablePagingFileEntry() {
    PlannedKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, kMemoryManagementPath)) {
        RUNLOG(
            Tx("ページングファイルのレジストリキーを開けません。", "Cannot open the Registry Key for Paging Files."));
        return;
    }
    bool emptied = false;
    RegistryValue saved = SavePagingFiles(key, &emptied);
    if (saved.exists) {
        for (const std::string &path : PagingFilePaths(saved.bytes))
            AppendCommand("$Del " + path);
        RUNLOG(Tx("再起動後にページングファイルを無効にします。", "Disable Paging File after rebooting."));
        AppendCommand("$RestoreSwap");
    }
    static const char kEmptied[3] = {0, 0, 0};
    if (saved.exists && !emptied) {
        if (key.WriteBinary("PagingFiles", kEmptied, sizeof kEmptied))
            StopPoint("PagingFiles emptied");
        else
            RUNLOG(Tx("ページングファイルのエントリを削除できません。", "Cannot delete the entry for Paging Files."));
    }
    key.Close();
}

// Paging files of earlier settings may lie on any fixed drive; after the restart none is in use.
void QueueOldPagingFiles() {
    char root[] = "A:\\";
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        root[0] = letter;
        if (GetDriveTypeA(root) != DRIVE_FIXED) continue;
        for (const char *file : {"pagefile.sys", "win386.swp"}) {
            std::string path = std::string(root) + file;
            if (FileExists(path.c_str())) AppendCommand("$DelIfExist " + path);
        }
    }
}

// ---- BOOT.INI -----------------------------------------------------------------------------------

struct BootFiles {
    std::string ini, saved, edited, replacement; // BOOT.INI, BOOT.RN_, BOOT.IN_, BOOT.RNB
    explicit BootFiles(const std::string &folder)
        : ini(folder + "BOOT.INI"), saved(folder + "BOOT.RN_"), edited(folder + "BOOT.IN_"),
          replacement(folder + "BOOT.RNB") {}
};

void DeleteAnyway(const std::string &path) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
}

// QS's restore moves BOOT.RN_ back, so one that is still there is the BOOT.INI of normal operation
// that an earlier run never got to put back. It comes back first: saving the BOOT.INI that run
// left in its place would make that the original.
void PutBackEarlierBootIni(const BootFiles &files) {
    if (!FileExists(files.saved.c_str())) return;
    SetFileAttributesA(files.saved.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (CopyFileA(files.saved.c_str(), files.ini.c_str(), FALSE))
        RUNLOG(Tx("前回の Rinsa が残した Boot.rn_ を Boot.ini に戻しました。",
                  "Boot.ini was put back from the Boot.rn_ an earlier run left."));
}

bool BackUpBootIni(const BootFiles &files) {
    SetFileAttributesA(files.ini.c_str(), FILE_ATTRIBUTE_NORMAL);
    PutBackEarlierBootIni(files);
    DeleteAnyway(files.saved);
    DeleteAnyway(files.edited);
    if (!CopyFileA(files.ini.c_str(), files.saved.c_str(), TRUE)) return false;
    StopPoint("BOOT.RN_ saved");
    return true;
}

void ReplaceBootIni(const BootFiles &files) {
    if (CopyFileA(files.replacement.c_str(), files.ini.c_str(), FALSE)) {
        StopPoint("BOOT.INI replaced");
        RUNLOG(Tx("Boot.ini を Boot.rnb で置き換えました。", "Boot.ini was replaced with Boot.rnb."));
        return;
    }
    const char *missing = Tx("Boot.rnb が見つかりません。", "Boot.rnb is not found.");
    Warn(missing);
    RUNLOG(missing);
}

// Logged always; shown only when somebody may be watching.
void SafeModeFailed(const char *text) {
    RUNLOG(text);
    if (!g_autoMode) Warn(text);
}

bool ReadWholeFile(const std::string &path, std::string *content) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return false;
    LARGE_INTEGER size;
    // BOOT.INI is a few hundred bytes; anything near this size is not one.
    if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart > 0x100000) return false;
    content->resize(size_t(size.QuadPart));
    DWORD read = 0;
    return content->empty() ||
           (ReadFile(file.Get(), &(*content)[0], DWORD(content->size()), &read, nullptr) && read == content->size());
}

bool WriteWholeFile(const std::string &path, const std::string &content) {
    UniqueFile file(
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    return content.empty() || (WriteFile(file.Get(), content.data(), DWORD(content.size()), &written, nullptr) &&
                               written == content.size());
}

// BOOT.INI moves to BOOT.IN_ and is written anew from it; on any failure the original comes back.
void EditBootIniForSafeMode(const BootFiles &files, bool minimal) {
    if (!MoveFileA(files.ini.c_str(), files.edited.c_str())) {
        SafeModeFailed(Tx("Boot.ini に書き込めません。\nセーフモードに切り替えられません。",
                          "Cannot write to Boot.ini.\nCannot switch safe mode."));
        MoveFileA(files.saved.c_str(), files.ini.c_str());
        return;
    }
    StopPoint("BOOT.INI moved to BOOT.IN_");
    std::string content;
    if (!ReadWholeFile(files.edited, &content)) {
        SafeModeFailed(Tx("Boot.in_ を読み込めません。\nセーフモードに切り替えられません。",
                          "Cannot read Boot.in_.\nCannot switch safe mode."));
        MoveFileA(files.edited.c_str(), files.ini.c_str());
        return;
    }
    RUNLOG(Tx("Boot.ini をセーフモード用に編集しました。", "Boot.ini is edited for a safe mode."));
    if (!WriteWholeFile(files.ini, RewriteBootIniForSafeMode(content, minimal))) {
        SafeModeFailed(Tx("Boot.ini を書き込みモードで開けません。\nセーフモードに切り替えられません。",
                          "Cannot open Boot.ini on write mode.\nCannot switch safe mode."));
        MoveFileExA(files.edited.c_str(), files.ini.c_str(), MOVEFILE_REPLACE_EXISTING);
        return;
    }
    DeleteFileA(files.edited.c_str());
    StopPoint("BOOT.INI edited for safe mode");
}

// What the BOOT.INI work would do, noted without touching a file: the backup succeeds when BOOT.INI
// is there.
void PreviewBootIni(const BootFiles &files, PlannerOptions &options, bool replace) {
    if (!FileExists(files.ini.c_str())) {
        if (options.runMethod == 3) options.runMethod = 2;
        return;
    }
    RecordFileChange(files.saved, Tx("(なし)", "(none)"), Tx("BOOT.INI のコピー", "copy of BOOT.INI"));
    AppendCommand("$RestoreBi");
    if (replace) RecordFileChange(files.ini, "BOOT.INI", Tx("BOOT.RNB のコピー", "copy of BOOT.RNB"));
    if (options.runMethod == 3)
        RecordFileChange(files.ini, "BOOT.INI",
                         options.notNetSafe ? "/SAFEBOOT:MINIMAL" : "/SAFEBOOT:NETWORK");
}

// The way back is queued before bcdedit runs: a planner that ends after it must not leave Windows
// starting in safe mode for good. When bcdedit does not run, deleting the value changes nothing.
void SetSafeBootWithBcdedit(bool minimal) {
    RUNLOG(minimal ? Tx("セーフモード(最小)に変更します。", "Change to Safe mode(minimal).")
                   : Tx("セーフモード(ネットワーク)に変更します。", "Change to Safe mode(network)."));
    AppendCommand(Tx("$LOG 通常の起動モードに戻します。", "$LOG Change to Normal boot mode."));
    AppendCommand("bcdedit.exe /deletevalue safeboot");
    if (RunCommandLine(minimal ? "bcdedit.exe /set safeboot Minimal" : "bcdedit.exe /set safeboot Network"))
        StopPoint("safe boot set");
}

// ---- Automatic logon ----------------------------------------------------------------------------

void SwitchAutoAdminLogonOn() {
    PlannedKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, kWinlogonPath)) {
        ReportRegistryError("Winlogon/AutoAdminLogon", kLogModule);
        RUNLOG(Tx("自動ログオンを使用できません。", "Cannot use automatic logon."));
        return;
    }
    bool written = key.WriteString(kAutoAdminLogon, "1", STRTYPE_PLAIN);
    key.Close();
    if (written) {
        StopPoint("AutoAdminLogon 1");
        RUNLOG(Tx("自動ログオンを設定しました。", "Set Automatic logon."));
        return;
    }
    const char *failed = Tx("自動ログオンを設定できません。", "Cannot set Automatic logon.");
    RUNLOG(failed);
    Warn(failed);
}

void SwitchLastLogonInfoOff() {
    const char *failed =
        Tx("DisplayLastLogonInfo の無効化に失敗しました。起動時に表示される通知で OK を押す必要があります。",
           "Disable DisplayLastLogonInfo... - failed. The notice at the start will need an OK.");
    PlannedKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, kPoliciesSystemPath)) {
        RUNLOG(failed);
        return;
    }
    if (key.ReadInteger("DisplayLastLogonInfo", 0) != 1) {
        key.Close();
        RUNLOG(
            Tx("DisplayLastLogonInfo は既に無効になっています。", "DisplayLastLogonInfo has already been disabled."));
        return;
    }
    RUNLOG(Tx("DisplayLastLogonInfo を無効にしています...", "Disable DisplayLastLogonInfo..."));
    // Queued first, as for UAC: the way back is in the list before the change is made.
    AppendCommand("$EnableDisplayLastLogonInfo");
    bool written = key.WriteInteger("DisplayLastLogonInfo", 0);
    key.Close();
    if (written)
        StopPoint("DisplayLastLogonInfo 0");
    else
        RUNLOG(failed);
}

// ---- Suspend or hibernate after the run ---------------------------------------------------------

std::string PowerCommand(bool suspend) {
    char module[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, module, sizeof module - 1);
    return std::string("\"") + module + "\" " + (suspend ? "/H0" : "/H1");
}

const char *PowerCountdown(bool suspend) {
    return suspend ? Tx("$CountDown 20,サスペンドモードへ移行", "$CountDown 20,change to suspend mode")
                   : Tx("$CountDown 20,休止状態へ移行", "$CountDown 20,change to hibernation mode");
}

} // namespace

unsigned long long (*g_physicalMemory)() = SystemPhysicalMemory;

// ---- Decisions ----------------------------------------------------------------------------------

std::string OldShellToSave(const std::string &currentShell, const std::string &qsPath) {
    if (!currentShell.empty() && lstrcmpiA(currentShell.c_str(), qsPath.c_str()) == 0) return "Explorer.exe";
    return currentShell;
}

std::vector<std::string> PagingFilePaths(const std::string &data) {
    std::vector<std::string> paths;
    for (const std::string &entry : SplitText(data, '\0')) {
        size_t first = entry.find_first_not_of(" \t");
        if (first == std::string::npos) continue;
        bool quoted = entry[first] == '"';
        if (quoted) ++first;
        size_t stop = entry.find_first_of(quoted ? "\"" : " \t", first);
        std::string path = entry.substr(first, stop == std::string::npos ? std::string::npos : stop - first);
        if (!path.empty()) paths.push_back(path);
    }
    return paths;
}

namespace {

// An entry line of [operating systems]: its "=" comes before any ";".
std::string SafeModeEntry(const std::string &line, bool minimal) {
    size_t mark = line.find_first_of("=;");
    if (mark == std::string::npos || line[mark] != '=') return std::string();
    size_t rest = line.find_first_not_of(" \t", mark + 1);
    std::string description = rest == std::string::npos ? std::string() : line.substr(rest);
    if (description.empty() || description[0] != '"') description = '"' + description + '"';
    return line.substr(0, mark + 1) + description + (minimal ? " /SAFEBOOT:MINIMAL" : " /SAFEBOOT:NETWORK");
}

bool IsOperatingSystemsHeader(const std::string &line) {
    static const char kHeader[] = "[operating systems]";
    return line.size() >= sizeof kHeader - 1 && _strnicmp(line.c_str(), kHeader, sizeof kHeader - 1) == 0;
}

} // namespace

std::string RewriteBootIniForSafeMode(const std::string &content, bool minimal) {
    std::string result;
    bool inSection = false;
    for (std::string line : SplitText(content, '\n')) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        // A section after [operating systems] is kept as it is.
        if (inSection && !line.empty() && line[0] == '[') inSection = false;
        if (inSection) {
            line = SafeModeEntry(line, minimal);
            if (line.empty()) continue;
        } else if (IsOperatingSystemsHeader(line)) {
            inSection = true;
        }
        result += line + "\r\n";
    }
    return result;
}

// ---- The steps ----------------------------------------------------------------------------------

void DisableUac(PlannerOptions &options) {
    if ((options.runMethod != 2 && options.runMethod != 3) || g_windowsVersion < 600) return;
    if (SwitchUacOff()) return;
    // With UAC on, QS as the shell would start without its rights; RunOnce starts it elevated.
    RUNLOG(Tx("UAC の無効化... - 失敗しました。シェルの起動前に実行する方法に変更します。", "Disable UAC... - failed"));
    options.runMethod = 1;
}

void StopServices(const PlannerOptions &options) {
    std::vector<std::string> names = SplitNameList(options.stopServices);
    if (names.empty()) return;
    RUNLOG(Tx("サービスを停止しています...", "Stopping Services..."));
    bool shellSwap = options.runMethod == 2 || options.runMethod == 3;
    std::vector<std::string> stopped;
    for (const std::string &name : names) {
        if (!shellSwap)
            AppendCommand("net stop \"" + name + "\" /y");
        else if (DisableService(name))
            stopped.push_back(name);
    }
    if (!stopped.empty()) SaveStoppedServices(stopped);
}

void InstallQuietShell(const PlannerOptions &options) {
    if (options.runMethod == 0 || options.runMethod == 1)
        RegisterQsInRunOnce();
    else if (options.runMethod == 2 || options.runMethod == 3)
        SwapShell();
}

void DisablePagingFile(const PlannerOptions &options) {
    if (!options.noPagingFile) return;
    if (options.runMethod == 3) {
        if (IsJapanese() && !g_autoMode)
            ShowMessageBox(
                g_mainWindow,
                "セーフモードはページングファイルがないと起動できないため、ページングファイルは削除しません。",
                ProductTitle(), MB_ICONINFORMATION);
        RUNLOG(Tx("ページングファイルを削除できません。", "Cannot delete Paging file."));
        return;
    }
    if (g_physicalMemory() < kMemoryForNoPagingFile) return;
    DisablePagingFileEntry();
    QueueOldPagingFiles();
}

void PrepareBootIniIn(const std::string &bootFolder, PlannerOptions &options) {
    bool replace = options.runMethod != 4 && options.bootini;
    if (!replace && options.runMethod != 3) return;
    if (g_windowsVersion >= 600) {
        if (options.runMethod == 3) SetSafeBootWithBcdedit(options.notNetSafe);
        return;
    }
    BootFiles files(bootFolder);
    if (Previewing()) {
        PreviewBootIni(files, options, replace);
        return;
    }
    if (!BackUpBootIni(files)) {
        const char *failed = Tx("Boot.ini をバックアップできません。", "Cannot Backup Boot.ini.");
        Warn(failed);
        RUNLOG(failed);
        if (options.runMethod == 3) options.runMethod = 2;
        return;
    }
    AppendCommand("$RestoreBi");
    if (replace) ReplaceBootIni(files);
    if (options.runMethod == 3) EditBootIniForSafeMode(files, options.notNetSafe);
}

void PrepareBootIni(PlannerOptions &options) {
    PrepareBootIniIn(BootDrive(), options);
}

void SetAutomaticLogon(const PlannerOptions &options) {
    if (options.offAutoLogon == 0) return;
    // After suspend or hibernation korvane /H0 or /H1 takes the automatic logon back itself.
    if (options.endAction != 2 && options.endAction != 3)
        AppendCommand(options.offAutoLogon == 2 ? "$ClearAutoLogon" : "$OffAutoLogon");
    // Without a restart there is no logon to make automatic.
    if (options.runMethod == 4) return;
    SwitchAutoAdminLogonOn();
    SwitchLastLogonInfoOff();
}

void SetPowerAfterRun(const PlannerOptions &options) {
    if (options.endAction != 2 && options.endAction != 3) return;
    bool suspend = options.endAction == 2;
    std::string command = PowerCommand(suspend);
    if (options.runMethod == 4) {
        if (options.afterCountdown) AppendCommand(PowerCountdown(suspend));
        AppendCommand(command);
        return;
    }
    PlannedKey key;
    if (!key.Open(HKEY_CURRENT_USER, kUserRunOncePath)) {
        ReportRegistryError("HKCU\\RunOnce", kLogModule);
        RUNLOG(suspend ? Tx("サスペンドモードを使用できません。", "Cannot use suspend mode.")
                       : Tx("休止状態を使用できません。", "Cannot use hibernation mode."));
        return;
    }
    if (options.afterCountdown) AppendCommand(PowerCountdown(suspend));
    bool written = key.WriteString(suspend ? "Korvane0H0" : "Korvane0H1", command.c_str(), STRTYPE_KEEP);
    key.Close();
    if (written) StopPoint(suspend ? "korvane /H0 in RunOnce" : "korvane /H1 in RunOnce");
    if (suspend)
        RUNLOG(written ? Tx("サスペンドモードへの移行を設定しました。", "Set to change to suspend mode.")
                       : Tx("サスペンドモードへの移行の設定に失敗しました。",
                            "Setting to change to suspend mode - failed."));
    else
        RUNLOG(written
                   ? Tx("休止状態への移行を設定しました。", "Set to change to hibernation mode.")
                   : Tx("休止状態への移行の設定に失敗しました。", "Setting to change to hibernation mode - failed."));
}
