// rnsrun: the run planner. PlanRinsaRun reads the options of a Rinsa run, does what must happen
// before the restart, has the system changed, writes the command list for QS and hands over.
#include "korvane.h"
#include "planner/rnsplan.h"
#include "planner/rnsrun.h"
#include "planner/rnsstop.h"

#include "language.h"
#include "platform.h"
#include "resource.h"
#include "runlog.h"
#include "settings.h"
#include "winhandle.h"

#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

ExitWindowsFunction g_plannerExitWindows = ExitWindowsEx;
ShellExecuteFunction g_plannerShellExecute = ShellExecuteA;

namespace {

const char kLogModule[] = "rnsrun";

// Double beyond this would write more entries than QS visits; 99 extra passes is plenty.
constexpr LONG kMostExtraPasses = 99;
constexpr DWORD kAllLetters = (1u << 26) - 1;

void AppendAll(const std::vector<std::string> &entries) {
    for (const std::string &entry : entries)
        AppendCommand(entry);
}

void Add(std::vector<std::string> &entries, const std::vector<std::string> &more) {
    entries.insert(entries.end(), more.begin(), more.end());
}

bool HasText(const std::string &text) {
    return text.find_first_not_of(" \t\r\n") != std::string::npos;
}

// The letters of a resolved mask, A first.
std::vector<char> Letters(DWORD drives) {
    std::vector<char> letters;
    for (int i = 0; i < 26; ++i)
        if (drives & (1u << i)) letters.push_back(char('A' + i));
    return letters;
}

std::string DriveOf(char letter) {
    return std::string{letter, ':'};
}

} // namespace

// ---- The option record --------------------------------------------------------------------------

int NormaliseRunMethod(LONG how, unsigned short windowsVersion) {
    // A value no page writes would leave QS unstarted after the restart: take the default.
    if (how < 0 || how > 4) how = 2;
    if (how == 1) how = 0;
    if (windowsVersion > 600 && how == 3) how = 2;
    if (windowsVersion > 603 && how == 0) how = 2;
    return int(how);
}

bool RestorePointWanted(LONG stored, unsigned short windowsVersion) {
    if (windowsVersion < 501 || windowsVersion == 502) return false;
    if (stored & 1) stored = 2;
    return (stored & 2) != 0;
}

namespace {

void EmptyRecycleBin() {
    if (RecordProgram(Tx("ごみ箱を空にする", "Empty the Recycle Bin"))) return;
    if (SHEmptyRecycleBinA(nullptr, nullptr, SHERB_NOCONFIRMATION | SHERB_NOSOUND) == S_OK)
        RUNLOG(Tx("ごみ箱を空にしました。", "Emptied the Recycle Bin."));
}

// The text of a once flag's command, empty when the flag is off.
std::string OnceText(REGA &key, const DwordSetting &flag, const TextSetting &text) {
    return ReadOnceFlag(key, flag) ? ReadTextSetting(key, text) : std::string();
}

void ReadCleanupOptions(REGA &key, unsigned short version, PlannerOptions &o) {
    o.delTemp = ReadOnceFlag(key, setting::DelTemp);
    o.delWinTemp = ReadOnceFlag(key, setting::DelWinTemp);
    o.delTrash = ReadOnceFlag(key, setting::DelTrash);
    if (o.delTrash) EmptyRecycleBin();
    o.delInternetCache = ReadOnceFlag(key, setting::Del_ITF);
    o.delCookies = ReadOnceFlag(key, setting::Del_ICO);
    o.delHistory = ReadOnceFlag(key, setting::Del_IHI);
    o.delRecent = ReadOnceFlag(key, setting::Del_Recent);
    o.delRecentOffice = ReadOnceFlag(key, setting::Del_Recent_Office);
    o.sweepThumbs = version > 500 && ReadOnceFlag(key, setting::Del_Thumbs_db);
    o.sweepGid = ReadOnceFlag(key, setting::Del_All_Gid);
    o.sweepAlbumArt = ReadOnceFlag(key, setting::Del_All_AlbumArt);
    o.sweepBak = ReadOnceFlag(key, setting::Del_All_Bak);
    o.delInfPnf = ReadOnceFlag(key, setting::Del_Inf_Pnf);
    o.sweepEtl = ReadOnceFlag(key, setting::Del_All_Etl);
    o.cleanmgr = ReadOnceFlag(key, setting::cleanmgr) && version >= 410;
}

void ReadStartEndOptions(REGA &key, unsigned short version, PlannerOptions &o) {
    o.endAction = ReadSetting(key, setting::NotAutoPowerOff);
    o.powerOff = ReadOnceFlag(key, setting::PowerOff);
    o.noPagingFile = ReadOnceFlag(key, setting::NoPagingFile);
    o.offAutoLogon = ReadSetting(key, setting::OffAutoLogon);
    o.bootini = version < 600 && ReadOnceFlag(key, setting::Bootini);
    o.screenOff = ReadSetting(key, setting::aux_vso);
    o.restorePoint = RestorePointWanted(ReadSetting(key, setting::CreateRestorePoint), version);
    o.beforeCommands = OnceText(key, setting::ba_before, setting::ba_before_cl);
    o.rebootCommand = OnceText(key, setting::ba_reboot, setting::ba_reboot_cl);
    o.readyCommands = OnceText(key, setting::ba_ready, setting::ba_ready_cl);
    o.afterCommands = OnceText(key, setting::ba_after, setting::ba_after_cl);
    o.shutdownCommand = OnceText(key, setting::ba_shutdown, setting::ba_shutdown_cl);
    o.beforeSleep = ReadOnceFlag(key, setting::ba_beforewait) ? ReadSetting(key, setting::ba_sleep) : 0;
    o.afterCountdown = ReadOnceFlag(key, setting::ba_after_countdown);
    o.startCountdown = ReadSetting(key, setting::ba_afterwait) != 0 ? ReadSetting(key, setting::ba_aftersleep) : 0;
}

void ReadDefragOptions(REGA &key, unsigned short version, PlannerOptions &o) {
    LONG extra = ReadSetting(key, setting::Double);
    o.extraPasses = extra < 0 ? 0 : (extra > kMostExtraPasses ? kMostExtraPasses : extra);
    o.prefetch = version > 500 && ReadOnceFlag(key, setting::Prefetch);
    o.mmcDefrag = ReadOnceFlag(key, setting::xp_mmcdefrag) && (version == 501 || version == 502);
    o.finalMmc = ReadOnceFlag(key, setting::xp_finalmmc) && o.mmcDefrag && o.extraPasses != 0;
    o.resultOut = ReadOnceFlag(key, setting::xp_resultout) && version > 500;
    o.consoleDetail = ReadOnceFlag(key, setting::xp_con_detail) && version > 500;
    o.vistaW = ReadOnceFlag(key, setting::vista_w) && version > 599;
    if (ReadOnceFlag(key, setting::df_check_cust)) {
        o.defragCommand = ReadTextSetting(key, setting::df_edit_cust);
        o.defragMulti = ReadSetting(key, setting::df_check_multi) != 0;
        // Without a text the custom command would queue empty entries and defragment nothing.
        o.customDefrag = HasText(o.defragCommand);
    }
}

void ReadCheckOptions(REGA &key, PlannerOptions &o) {
    o.surfaceScan = ReadOnceFlag(key, setting::CluScan);
    if (ReadOnceFlag(key, setting::sd_check_cust)) {
        o.checkCommand = ReadTextSetting(key, setting::sd_edit_cust);
        o.checkMulti = ReadSetting(key, setting::sd_check_multi) != 0;
        o.customCheck = HasText(o.checkCommand);
    }
    o.checkBefore = ReadOnceFlag(key, setting::sd_check_before);
}

void ReadRunOptions(REGA &key, unsigned short version, PlannerOptions &o) {
    o.runMethod = NormaliseRunMethod(ReadSetting(key, setting::How), version);
    o.selected = ReadSetting(key, setting::Selected);
    o.drives = DWORD(ReadSetting(key, setting::Drives));
    o.notNetSafe = ReadSetting(key, setting::notnetsafe) != 0;
    o.stopServices = ReadTextSetting(key, setting::stopsrv);
    // A value of one byte holds only its terminator.
    if (o.selected == 3 && key.ValueExistA(setting::LastCmdLine.name) > 1) {
        o.otherCommands = ReadTextSetting(key, setting::LastCmdLine);
        o.otherCommandsRead = true;
    }
}

} // namespace

PlannerOptions ReadPlannerOptions(REGA &key, unsigned short windowsVersion) {
    PlannerOptions options;
    ReadCleanupOptions(key, windowsVersion, options);
    ReadStartEndOptions(key, windowsVersion, options);
    ReadDefragOptions(key, windowsVersion, options);
    ReadCheckOptions(key, options);
    ReadRunOptions(key, windowsVersion, options);
    return options;
}

// ---- Log lines ----------------------------------------------------------------------------------

std::string FormatPowerStatus(const SYSTEM_POWER_STATUS &status) {
    const char *line = status.ACLineStatus == 0   ? Tx("オフライン", "Offline")
                       : status.ACLineStatus == 1 ? Tx("オンライン", "Online")
                                                  : Tx("不明", "Unknown");
    return FormatString("[%s] ACLineStatus:%s BatteryFlag:%x BatteryLifePercent:%d BatteryLifeTime:%u "
                        "BatteryFullLifeTime:%u",
                        Tx("電源の状態", "Power Status"), line, unsigned(status.BatteryFlag),
                        int(status.BatteryLifePercent), unsigned(status.BatteryLifeTime),
                        unsigned(status.BatteryFullLifeTime));
}

std::string FormatStartLine(const PlannerOptions &o, const char *versionText, unsigned short windowsVersion) {
    int customize =
        (o.checkMulti ? 1 : 0) | (o.customCheck ? 2 : 0) | (o.defragMulti ? 4 : 0) | (o.customDefrag ? 8 : 0);
    auto set = [](const std::string &text) { return text.empty() ? 0 : 1; };
    const char *net = o.runMethod == 3 && !o.notNetSafe ? "(Net)" : "";
    return FormatString(
        "%s - %s(win:%s-%d, Log:%d, [OK]PowOff:%d, FastReboot:%d, SurfaceScan:%d, Customize:%d, PagingOff:%d, "
        "Defrag:%u time(s), Prefetch:%d, vista_w:%d, DelTemp:%d, DelIECache:%d, DelDocMenu:%d, DelOfficeHistory:%d, "
        "DelThums.db:%d, DelGID:%d, DelAlbumArt:%d, DelBak:%d, DelPnf:%d, DelEtl:%d, Boot.ini:%d, XpMMC:%d, "
        "ScreenOff:%d, ScanOnDOSMode:%d, ScanReg:%d, CleanUp:%d, Before:%d, rebooting:%d, Ready:%d, After:%d, "
        "Shutdown:%d, Autoexec:%d, CountDown:%d, Select:%d, How:%d%s, StopSrv:%d, Drive:%xh, Shutdown/Reboot:%d, "
        "AutoLogon:%d, DefragBA:%d, ResultOv:%d)",
        Tx("--- Rinsa 実行を開始しました。", "--- Rinsa running is started."), versionText ? versionText : "", "NT",
        int(windowsVersion), 0, int(o.powerOff), 0, int(o.surfaceScan), customize, int(o.noPagingFile),
        unsigned(o.extraPasses + 1), int(o.prefetch), int(o.vistaW), int(o.delTemp), int(o.delInternetCache),
        int(o.delRecent), int(o.delRecentOffice), int(o.sweepThumbs), int(o.sweepGid), int(o.sweepAlbumArt),
        int(o.sweepBak), int(o.delInfPnf), int(o.sweepEtl), int(o.bootini), int(o.mmcDefrag), int(o.screenOff), 0, 0,
        int(o.cleanmgr), set(o.beforeCommands), set(o.rebootCommand), set(o.readyCommands), set(o.afterCommands),
        set(o.shutdownCommand), 0, int(o.afterCountdown), int(o.selected), o.runMethod, net, set(o.stopServices),
        unsigned(o.drives), int(o.endAction), int(o.offAutoLogon), int(o.resultOut), int(o.consoleDetail));
}

// ---- Log trimming -------------------------------------------------------------------------------

bool TrimLogText(const std::string &text, std::string *kept, size_t keep) {
    if (keep == 0) return false;
    // Line i lands in slot i mod keep, so the ring ends up holding the last keep lines.
    std::vector<std::pair<size_t, size_t>> ring(keep);
    size_t count = 0;
    for (size_t i = 0; i < text.size();) {
        size_t end = text.find_first_of("\r\n", i);
        if (end == std::string::npos) end = text.size();
        if (end > i) ring[count++ % keep] = {i, end - i};
        i = end + 1;
    }
    if (count < keep) return false;
    kept->clear();
    for (size_t n = 0; n < keep; ++n) {
        const auto &line = ring[(count + n) % keep];
        kept->append(text, line.first, line.second).append("\r\n");
    }
    return true;
}

namespace {

enum class ReadResult { Ok, CannotOpen, OutOfMemory };

// Reads the file from offset on; a log of 2 GiB or more is not read.
ReadResult ReadFileFrom(const std::string &path, unsigned long long offset, std::string *text) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size;
    if (!file || !GetFileSizeEx(file.Get(), &size)) return ReadResult::CannotOpen;
    if (size.QuadPart >= 0x7FFFFFF0) return ReadResult::OutOfMemory;
    // Shorter than before: someone else replaced or emptied the log meanwhile.
    if (static_cast<unsigned long long>(size.QuadPart) < offset) return ReadResult::CannotOpen;
    DWORD wanted = DWORD(size.QuadPart - offset);
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[size_t(wanted) + 1]);
    if (!buffer) return ReadResult::OutOfMemory;
    LARGE_INTEGER start;
    start.QuadPart = LONGLONG(offset);
    DWORD read = 0;
    if (!SetFilePointerEx(file.Get(), start, nullptr, FILE_BEGIN) ||
        !ReadFile(file.Get(), buffer.get(), wanted, &read, nullptr))
        return ReadResult::CannotOpen;
    text->assign(buffer.get(), read);
    return ReadResult::Ok;
}

// The new text goes to a file beside the old one, which it then replaces in one step: a crash
// in between leaves either the whole old log or the whole new one.
bool ReplaceFileText(const std::string &path, const std::string &text) {
    std::string temporary = path + ".tmp";
    bool written;
    {
        UniqueFile file(
            CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD done = 0;
        written = file && WriteFile(file.Get(), text.data(), DWORD(text.size()), &done, nullptr) &&
                  done == text.size() && FlushFileBuffers(file.Get());
    }
    if (written && MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    DeleteFileA(temporary.c_str());
    return false;
}

void WarnLogNotWritable() {
    ShowMessage(g_mainWindow,
                {"KORVANE.LOG:ファイルを書き込みモードで開けません。", "KORVANE.LOG:Cannot open file on write mode."},
                MB_ICONWARNING);
}

} // namespace

// The log is read without its mutex, as it may be long; only the lines appended since are read
// again under the mutex, which the writers then wait for until the trimmed log is in place. Lines
// written after the trim began are all kept.
void TrimRunLog() {
    const std::string &path = RunLogPath();
    std::string text;
    ReadResult result = ReadFileFrom(path, 0, &text);
    // A line being written as the log was read is read again below, whole.
    size_t whole = text.rfind('\n') + 1;
    text.resize(whole);
    std::string kept, appended;
    if (result == ReadResult::Ok && TrimLogText(text, &kept)) {
        RunLogLock lock(path);
        result = ReadFileFrom(path, whole, &appended);
        if (result == ReadResult::Ok && !ReplaceFileText(path, kept + appended)) WarnLogNotWritable();
    }
    switch (result) {
    case ReadResult::CannotOpen:
        WarnLogNotWritable();
        return;
    case ReadResult::OutOfMemory:
        RUNLOG(
            Tx("メモリが足りません。古い履歴を削除できません。", "Out of memory. Cannot delete any old history logs."));
        return;
    case ReadResult::Ok:
        return;
    }
}

// ---- The countdown before the changes -----------------------------------------------------------

bool CountdownTick(LONG *remaining) {
    if (*remaining <= 0) return true;
    --*remaining;
    return false;
}

namespace {

constexpr UINT_PTR kCountdownTimer = 1;

void ShowTimeLeft(HWND dialog, LONG remaining) {
    std::string text = FormatString(Tx("開始まで %u:%02u 待機しています。", "Waiting for %u:%02u to start."),
                                    unsigned(remaining / 60), unsigned(remaining % 60));
    SetDlgItemTextA(dialog, IDC_COUNTDOWN_TEXT, text.c_str());
}

void OnCountdownCommand(HWND dialog, WORD id) {
    switch (id) {
    case IDOK:
    case IDCANCEL:
        KillTimer(dialog, kCountdownTimer);
        EndDialog(dialog, id);
        break;
    case IDC_COUNTDOWN_PAUSE:
        // Pressed in, the count stands still; released, it goes on from where it stood.
        if (IsDlgButtonChecked(dialog, IDC_COUNTDOWN_PAUSE) == BST_CHECKED)
            KillTimer(dialog, kCountdownTimer);
        else
            SetTimer(dialog, kCountdownTimer, 1000, nullptr);
        break;
    }
}

INT_PTR CALLBACK CountdownDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto *remaining = reinterpret_cast<LONG *>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        ShowTimeLeft(dialog, *reinterpret_cast<LONG *>(lParam));
        SetTimer(dialog, kCountdownTimer, 1000, nullptr);
        return TRUE;
    case WM_TIMER:
        if (wParam != kCountdownTimer || !remaining) return TRUE;
        if (CountdownTick(remaining)) {
            KillTimer(dialog, kCountdownTimer);
            EndDialog(dialog, IDOK);
        } else {
            ShowTimeLeft(dialog, *remaining);
        }
        return TRUE;
    case WM_COMMAND:
        OnCountdownCommand(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

} // namespace

bool ShowCountdown(HWND owner, LONG seconds) {
    LONG remaining = seconds;
    INT_PTR result = DialogBoxParamA(g_instance, MAKEINTRESOURCEA(ResId(IDD_COUNTDOWN_JA, IDD_COUNTDOWN_EN)), owner,
                                     CountdownDialogProc, reinterpret_cast<LPARAM>(&remaining));
    return result != IDCANCEL;
}

// ---- Before the changes -------------------------------------------------------------------------

std::vector<std::string> DiskCleanupCommands(DWORD drives) {
    std::vector<std::string> commands;
    for (char letter : Letters(drives))
        commands.push_back("CLEANMGR.EXE /D " + DriveOf(letter));
    return commands;
}

bool TakesCheckDiskPath(const PlannerOptions &o) {
    return (o.selected == 1 || o.selected == 2) && (!o.customCheck || o.checkBefore);
}

bool ChecksDiskNow(const PlannerOptions &o) {
    return o.customCheck || o.checkBefore || o.runMethod == 4;
}

// ---- Clean-up entries ---------------------------------------------------------------------------

namespace {

// The value of an environment variable with its own references expanded; false when it is not set.
bool EnvironmentValue(const char *name, std::string *value) {
    DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
    if (size == 0) return false;
    if (!value) return true;
    std::string raw(size, '\0');
    DWORD length = GetEnvironmentVariableA(name, &raw[0], size);
    raw.resize(length < size ? length : 0);
    DWORD needed = ExpandEnvironmentStringsA(raw.c_str(), nullptr, 0);
    std::string expanded(needed ? needed : 1, '\0');
    DWORD done = needed ? ExpandEnvironmentStringsA(raw.c_str(), &expanded[0], needed) : 0;
    *value = done > 0 && done <= needed ? std::string(expanded.c_str()) : raw;
    return true;
}

// A shell folder of the user, from "Shell Folders" or, when empty there, "User Shell Folders".
std::string ShellFolder(const char *name) {
    static const char *const kKeys[] = {"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                                        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders"};
    for (const char *path : kKeys) {
        REGA key;
        if (!key.OpenKey(HKEY_CURRENT_USER, path, OPEN_READONLY)) continue;
        std::unique_ptr<char[]> text = key.RegReadStringA(name, "");
        key.CloseKey();
        if (text && text[0]) return text.get();
    }
    return std::string();
}

// One folder under two names ("C:\Temp" and "c:\temp\") is deleted once.
bool SameFolder(std::string a, std::string b) {
    for (std::string *path : {&a, &b})
        if (path->size() > 3 && path->back() == '\\' && !IsLeadByteAt(path->c_str(), int(path->size()) - 2))
            path->pop_back();
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

void AddTempFolders(const CleanupEnvironment &env, CleanupPlan &plan) {
    if (!env.tmpSet && !env.tempSet) {
        plan.errors.push_back(Tx("getenv_s(temp) でエラーが発生しました。", "getenv_s(temp) error."));
        return;
    }
    std::string tmp = env.tmpSet ? env.tmp : std::string();
    if (tmp.size() > 3) plan.entries.push_back("$DelDir " + tmp);
    if (env.tempSet && env.temp.size() > 3 && !SameFolder(env.temp, tmp)) plan.entries.push_back("$DelDir " + env.temp);
}

// A folder shorter than "C:\x" would be a drive root or nothing: never emptied.
void AddFolder(const std::string &prefix, const std::string &folder, const char *tail, CleanupPlan &plan) {
    if (folder.size() <= 3) return;
    std::string path = folder;
    if (*tail) AppendBackslash(path);
    plan.entries.push_back(prefix + path + tail);
}

void AddWindowsEntry(bool windirSet, const char *entry, CleanupPlan &plan) {
    if (windirSet)
        plan.entries.push_back(entry);
    else
        plan.errors.push_back(Tx("getenv_s(windir) でエラーが発生しました。", "getenv_s(windir) error."));
}

} // namespace

CleanupEnvironment ReadCleanupEnvironment() {
    CleanupEnvironment env;
    env.tmpSet = EnvironmentValue("TMP", &env.tmp);
    env.tempSet = EnvironmentValue("TEMP", &env.temp);
    env.windirSet = EnvironmentValue("windir", nullptr);
    env.userProfileSet = EnvironmentValue("USERPROFILE", nullptr);
    env.cache = ShellFolder("Cache");
    env.cookies = ShellFolder("Cookies");
    env.history = ShellFolder("History");
    env.recent = ShellFolder("Recent");
    return env;
}

CleanupPlan CleanupEntries(const PlannerOptions &o, const CleanupEnvironment &env) {
    CleanupPlan plan;
    if (o.delTemp) AddTempFolders(env, plan);
    // %windir% and %USERPROFILE% stay in the text: the entry writer expands them.
    if (o.delWinTemp) AddWindowsEntry(env.windirSet, "$DelDir %windir%\\TEMP", plan);
    if (o.delInfPnf) AddWindowsEntry(env.windirSet, "$DelFiles %windir%\\Inf\\*.pnf", plan);
    if (o.delInternetCache) AddFolder("$DelDir ", env.cache, "", plan);
    if (o.delCookies) AddFolder("$DelDir ", env.cookies, "", plan);
    if (o.delHistory) AddFolder("$DelDir ", env.history, "", plan);
    // Without a Recent folder "$DelFiles \*.lnk" would delete the shortcuts of QS's folder.
    if (o.delRecent) AddFolder("$DelFiles ", env.recent, "*.lnk", plan);
    if (o.delRecentOffice) {
        if (env.userProfileSet)
            plan.entries.push_back("$DelFiles %USERPROFILE%\\Application Data\\Microsoft\\Office\\Recent\\*.lnk");
        else
            plan.errors.push_back(Tx("getenv_s(USERPROFILE) でエラーが発生しました。", "getenv_s(USERPROFILE) error."));
    }
    return plan;
}

// ---- The defragmentation entries ----------------------------------------------------------------

std::vector<std::string> IfeLines(unsigned short windowsVersion) {
    static const TextPair kResults[] = {
        {"デフラグは正常に終了しました。", "Defragmenter completed successfully."},
        {"デフラグは手動で中止されました。", "Defragmenter was cancelled manually."},
        {"デフラグ: コマンドラインのエラーです。ドライブ名が正しくない可能性があります。",
         "Defrag: Command line error."},
        {"デフラグ: 不明なエラーです。", "Defrag: Unknown error."},
        {"メモリが足りないため、デフラグを実行できませんでした。",
         "Defragmenter could not run due to insufficient memory resources."},
        {"デフラグ: 一般的なエラーです。", "Defrag: General error."},
        {"デフラグ: システムエラーです。別の実行方法を試してください。", "Defrag: System error."},
        {"デフラグ: ドライブの空き領域が足りません。", "Defrag: There is not enough free space on the drive."},
    };
    std::vector<std::string> lines;
    if (windowsVersion >= 600) return lines;
    for (int code = 0; code < 8; ++code)
        lines.push_back(FormatString("$IFE %d $LOGEND %s", code, kResults[code].Get()));
    return lines;
}

std::vector<std::string> StartCountdownEntries(const PlannerOptions &o) {
    if (o.startCountdown <= 0) return {};
    return {FormatString("$CountDown %ld,%s", long(o.startCountdown), Tx("開始", "starting"))};
}

namespace {

std::string Quoted(const std::string &path) {
    return "\"" + path + "\"";
}

// The analysis of one drive appended to the result file, before or after the defragmentation.
std::vector<std::string> ResultFileDrive(const PlannerOptions &o, const ListContext &c, char letter, bool before) {
    const char *when = before ? Tx("デフラグ前", "Before Defragment") : Tx("デフラグ後", "After Defragment");
    return {FormatString("$LOG %s %c", Tx("ドライブの状態 -", "Status of Drive"), letter),
            FormatString("@CMD.EXE /C (ECHO %s (Drive %c)&(((ECHO.)&(ECHO Drive %c - %s)&(defrag %c: %s))>>\"%s\")",
                         Tx("お待ちください...", "Please Wait..."), letter, letter, when, letter,
                         o.consoleDetail ? "-a -v" : "-a", c.resultFile.c_str())};
}

// %DATE% and %TIME% are left for CMD to fill in when the entry runs.
std::vector<std::string> ResultFileBefore(const PlannerOptions &o, const ListContext &c) {
    std::vector<std::string> entries{"@CMD.EXE /C ((ECHO " + std::string(78, '=') + ")&(ECHO [%DATE% %TIME%]))>>" +
                                     Quoted(c.resultFile)};
    for (char letter : Letters(c.drives))
        Add(entries, ResultFileDrive(o, c, letter, true));
    entries.push_back("@CMD.EXE /C ECHO " + std::string(78, '-') + ">>" + Quoted(c.resultFile));
    return entries;
}

std::vector<std::string> ResultFileAfter(const PlannerOptions &o, const ListContext &c) {
    std::vector<std::string> entries;
    for (char letter : Letters(c.drives))
        Add(entries, ResultFileDrive(o, c, letter, false));
    entries.push_back("@CMD.EXE /C ECHO [%DATE% %TIME%]>>" + Quoted(c.resultFile));
    return entries;
}

std::vector<std::string> CustomDefrag(const PlannerOptions &o, const ListContext &c) {
    std::vector<std::string> entries{"$START",
                                     std::string("$LOG ") + Tx("デフラグを開始しました。", "Defragment started.")};
    for (LONG pass = 0; pass <= o.extraPasses; ++pass)
        Add(entries, ExpandPerDrive(o.defragCommand, o.defragMulti, c.drives));
    entries.push_back(std::string("$LOGEND ") + Tx("デフラグが終了しました。", "Defragment finished."));
    return entries;
}

std::vector<std::string> MmcPass(char letter) {
    return {std::string("$LOG ") + Tx("デフラグ(MMC) - ", "Defragment(MMC) - ") + DriveOf(letter),
            "$AutoDefrag2000 " + DriveOf(letter)};
}

std::string MmcFinished() {
    return std::string("$LOGEND ") + Tx("デフラグが終了しました。", "Defragmentation was finished.");
}

std::vector<std::string> MmcDefrag(const PlannerOptions &o, const ListContext &c) {
    std::vector<std::string> entries{
        std::string("$Open ") + Tx("マウスとキーボードに触らないでください。", "Don't touch your mouse and keyborad.")};
    for (char letter : Letters(c.drives)) {
        entries.push_back("$START");
        Add(entries, MmcPass(letter));
        entries.push_back("$RECDFRGTIME " + DriveOf(letter));
        for (LONG pass = 0; pass < o.extraPasses; ++pass)
            Add(entries, MmcPass(letter));
        entries.push_back(MmcFinished());
    }
    entries.push_back("$Close");
    return entries;
}

// DEFRAG.EXE's own command line, as the console pass runs it and its log entry shows it.
std::string DefragToolLine(const PlannerOptions &o, unsigned short version, char letter) {
    std::string line = "DEFRAG.EXE " + DriveOf(letter) + " -f";
    if (o.prefetch) return line + " -b";
    if (o.consoleDetail) line += " -v";
    if (o.vistaW)
        line += version == 600 ? " -w" : " -x";
    else if (version >= 602)
        line += " -o";
    if (version > 600) line += " -u -h";
    return line;
}

std::string ConsolePassKind(const PlannerOptions &o, unsigned short version) {
    if (!o.prefetch) return Tx("デフラグ(コンソール)", "Defragment(Console)");
    return version >= 601 ? Tx("ブート最適化", "Boot optimization")
                          : Tx("プリフェッチ ログのみのデフラグ", "Defragment by prefetch log only");
}

std::string ConsolePassCommand(const PlannerOptions &o, const ListContext &c, char letter, LONG pass) {
    const char *title = !o.prefetch ? Tx("デフラグ - ", "Defragment - ")
                        : c.windowsVersion < 601
                            ? Tx("プリフェッチ ログのみのデフラグ - ", "Defragment by prefetch log only - ")
                            : Tx("ブート最適化 - ", "Boot optimization - ");
    std::string drive = DriveOf(letter);
    std::string command = "CMD.EXE /C @TITLE " + std::string(title) + drive + " & ECHO " + Tx("", "Defragmenting ") +
                          drive +
                          FormatString(Tx("(%d/%d) を処理しています... お待ちください。", "(%d of %d)... Please wait."),
                                       int(pass), int(o.extraPasses + 1));
    if (IsJapanese())
        command += " & ECHO 中止するには Ctrl+C キーを押してください。 & ECHO 中止しても、それまでに移動したファイルは"
                   "そのまま使えます。";
    std::string tool = DefragToolLine(o, c.windowsVersion, letter);
    // Without KORVLOG.EXE the defragmenter runs on its own; CMD still ends with its exit code.
    if (c.korvlog.empty()) return command + " & " + tool;
    return command + " & " + Quoted(c.korvlog) + (c.windowsVersion < 601 ? " -p " : " -c ") + tool;
}

std::string ConsolePassLog(const PlannerOptions &o, const ListContext &c, char letter) {
    return FormatString("$LOG %s - %c: [%s]", ConsolePassKind(o, c.windowsVersion).c_str(), letter,
                        DefragToolLine(o, c.windowsVersion, letter).c_str());
}

std::vector<std::string> ConsoleDrive(const PlannerOptions &o, const ListContext &c, char letter) {
    bool finalMmc = o.finalMmc && o.extraPasses != 0;
    LONG passes = o.extraPasses + 1;
    std::string log = ConsolePassLog(o, c, letter);
    std::vector<std::string> entries{"$START", log, ConsolePassCommand(o, c, letter, 1),
                                     (o.prefetch ? "$RECDFRPTIME " : "$RECDFRGTIME ") + DriveOf(letter)};
    for (LONG pass = 2; pass <= passes; ++pass) {
        if (finalMmc && pass == passes) {
            Add(entries, IfeLines(c.windowsVersion));
            Add(entries, MmcPass(letter));
            entries.push_back(MmcFinished());
            continue;
        }
        if (!o.prefetch) {
            Add(entries, IfeLines(c.windowsVersion));
            entries.push_back("$START");
        }
        entries.push_back(log);
        entries.push_back(ConsolePassCommand(o, c, letter, pass));
    }
    if (finalMmc) return entries;
    if (!o.prefetch) {
        Add(entries, IfeLines(c.windowsVersion));
    } else {
        entries.push_back(std::string("$LOGEND ") +
                          (c.windowsVersion >= 601
                               ? Tx("ブート最適化が終了しました。", "Boot optimization was finished.")
                               : Tx("プリフェッチ ログのみのデフラグが終了しました。",
                                    "Defragment by prefetch log only was finished.")));
    }
    return entries;
}

} // namespace

std::vector<std::string> DefragEntries(const PlannerOptions &o, const ListContext &c) {
    std::vector<std::string> entries;
    if (o.resultOut) Add(entries, ResultFileBefore(o, c));
    bool finalMmc = o.finalMmc && o.extraPasses != 0;
    if (o.customDefrag) {
        Add(entries, CustomDefrag(o, c));
    } else if (c.windowsVersion < 501 || (o.mmcDefrag && !finalMmc)) {
        Add(entries, MmcDefrag(o, c));
    } else {
        for (char letter : Letters(c.drives))
            Add(entries, ConsoleDrive(o, c, letter));
    }
    if (o.resultOut) Add(entries, ResultFileAfter(o, c));
    return entries;
}

// ---- The rest of the list -----------------------------------------------------------------------

namespace {

std::vector<std::string> CustomCheckEntries(const PlannerOptions &o, const ListContext &c) {
    std::vector<std::string> entries{"$START", std::string("$LOG ") +
                                                   Tx("チェックディスクを開始しました。", "Checking disk started.")};
    Add(entries, ExpandPerDrive(o.checkCommand, o.checkMulti, c.drives));
    entries.push_back(std::string("$LOGEND ") + Tx("チェックディスクが終了しました。", "Checking disk finished."));
    return entries;
}

std::vector<std::string> OtherPrograms(const PlannerOptions &o) {
    std::vector<std::string> lines = CommandLines(o.otherCommands);
    // Nothing to run: QS asks for the programs in its Other Applications dialog instead.
    if (lines.empty()) lines.push_back("$Rnsx");
    return lines;
}

} // namespace

std::vector<std::string> WorkEntries(const PlannerOptions &o, const ListContext &c) {
    std::vector<std::string> entries;
    if (o.screenOff == 2)
        entries.push_back("$AUXVSO_ON 2");
    else if (o.screenOff != 0)
        entries.push_back("$AUXVSO_ON");
    Add(entries, CommandLines(o.readyCommands));
    if ((o.selected == 1 || o.selected == 2) && o.customCheck && !o.checkBefore) Add(entries, CustomCheckEntries(o, c));
    if (o.selected == 0 || o.selected == 2) Add(entries, DefragEntries(o, c));
    if (o.selected == 3) Add(entries, OtherPrograms(o));
    Add(entries, CommandLines(o.afterCommands));
    if (o.screenOff != 0) entries.push_back("$AUXVSO_OFF");
    return entries;
}

std::vector<std::string> EndEntries(const PlannerOptions &o) {
    std::vector<std::string> entries;
    if (o.endAction == 0) {
        if (o.afterCountdown) entries.push_back(std::string("$CountDown 20,") + Tx("シャットダウン", "shutdown"));
        if (HasText(o.shutdownCommand)) {
            entries.push_back(std::string("$LOG ") +
                              Tx("シャットダウン用のコマンドラインです。", "Command Line for shutting down."));
            entries.push_back(o.shutdownCommand);
        } else {
            entries.push_back("$End ExitWindows");
        }
        return entries;
    }
    // What the run changed is only put back for good by a restart: services, the shell, the
    // RunOnce start and the paging file.
    bool restart = !o.stopServices.empty() || (o.runMethod != 4 && (o.runMethod != 0 || o.noPagingFile));
    if (!restart) return {"$End Boot"};
    if (o.endAction == 1 && o.afterCountdown) entries.push_back(std::string("$CountDown 20,") + Tx("再起動", "reboot"));
    entries.push_back("$End Reboot");
    return entries;
}

namespace {

// The planned times are korvane's own record of the run; a preview keeps the last run's.
void WriteTimeStamps(const PlannerOptions &o, DWORD drives) {
    if (o.selected < 0 || o.selected > 2 || Previewing()) return;
    REGA key;
    if (!OpenSettingsForWriting(key, kLogModule)) return;
    SYSTEMTIME now;
    GetSystemTime(&now);
    for (char letter : Letters(drives)) {
        std::string drive = DriveOf(letter);
        if (o.selected != 0)
            key.WriteBinaryA(DriveValueName(kCheckPlannedStem, drive.c_str()).c_str(), &now, sizeof now);
        if (o.selected != 1)
            key.WriteBinaryA(DriveValueName(kDefragPlannedStem, drive.c_str()).c_str(), &now, sizeof now);
    }
    key.CloseKey();
}

ListContext MakeListContext(const PlannerOptions &o) {
    ListContext context;
    context.windowsVersion = g_windowsVersion;
    context.drives = ResolveDriveMask(o.drives) & kAllLetters;
    context.korvlog = KorvlogShortPath();
    context.resultFile = std::string(DesktopFolder()) + "\\KORV4RES.TXT";
    return context;
}

void QueueCleanup(const PlannerOptions &o) {
    CleanupPlan plan = CleanupEntries(o, ReadCleanupEnvironment());
    for (const std::string &error : plan.errors) {
        RUNLOG(error.c_str());
        ShowMessageBox(g_mainWindow, error.c_str(), ProductTitle(), MB_ICONERROR);
    }
    AppendAll(plan.entries);
}

} // namespace

CarriedRestores RestoresToCarry(const std::vector<std::string> &earlierList) {
    static const char *const kFirst[] = {"$RestoreBootExecute",
                                         "$EnableUAC",
                                         "$RService",
                                         "$RestoreShell",
                                         "$RestoreSwap",
                                         "$RestoreBi",
                                         "bcdedit.exe /deletevalue safeboot",
                                         "@REG.EXE ADD \"HKCU\\Control Panel\\desktop\" /v ScreenSaveActive"};
    static const char *const kLast[] = {"$OffAutoLogon", "$ClearAutoLogon", "$EnableDisplayLastLogonInfo"};
    auto isEntryOf = [](const std::string &entry, const char *keyword) {
        size_t length = strlen(keyword);
        return _strnicmp(entry.c_str(), keyword, length) == 0 && (entry.size() == length || entry[length] == ' ');
    };
    CarriedRestores carried;
    for (const std::string &entry : earlierList) {
        for (const char *keyword : kFirst)
            if (isEntryOf(entry, keyword)) carried.first.push_back(entry);
        for (const char *keyword : kLast)
            if (isEntryOf(entry, keyword)) carried.last.push_back(entry);
    }
    return carried;
}

int TailEntryCount(const PlannerOptions &o, const ListContext &context) {
    constexpr int kBootFileEntries = 3; // "$RestoreBi", or the safe-boot log line and bcdedit
    constexpr int kLogonEntries = 2;    // "$OffAutoLogon" and "$EnableDisplayLastLogonInfo"
    constexpr int kPowerEntries = 2;    // the countdown and the command of suspend or hibernation
    return kBootFileEntries + int(WorkEntries(o, context).size()) + kLogonEntries + kPowerEntries +
           int(EndEntries(o).size());
}

void WriteCarriedHead(const CarriedRestores &carried, bool logged) {
    AppendCommand(nullptr);
    for (const auto *part : {&carried.first, &carried.last}) {
        for (const std::string &entry : *part) {
            if (logged)
                RUNLOG2(Tx("前回の Rinsa の復元エントリを引き継ぎました - ", "Kept the restore entry of an earlier run - "),
                    entry.c_str());
            AppendCommand(entry);
        }
    }
}

void WriteCommandList(PlannerOptions &o, bool bootExecuteSaved, const CarriedRestores &carried) {
    RUNTRACE("rns:L01");
    // The carried entries lead the list as they were written before the first change; writing
    // them again puts the same text in the same places.
    WriteCarriedHead(carried, true);
    // Written once already when BootExecute was saved; the list starts with it all the same.
    if (bootExecuteSaved) AppendCommand("$RestoreBootExecute");
    if ((o.runMethod == 2 || o.runMethod == 3) && g_windowsVersion >= 600) DisableUac(o);
    if (!o.stopServices.empty()) StopServices(o);
    if (o.runMethod != 4) InstallQuietShell(o);
    if (o.noPagingFile) DisablePagingFile(o);
    RUNTRACE("rns:L07");
    AppendAll(StartCountdownEntries(o));
    QueueCleanup(o);
    ListContext context = MakeListContext(o);
    RunFileSweep(o, SweepRoom(CommandCount(), TailEntryCount(o, context)));
    RUNTRACE("rns:L09");
    if ((o.runMethod != 4 && o.bootini) || o.runMethod == 3) PrepareBootIni(o);
    AppendAll(WorkEntries(o, context));
    RUNTRACE("rns:L16");
    WriteTimeStamps(o, context.drives);
    if (o.offAutoLogon != 0) SetAutomaticLogon(o);
    if (o.endAction == 2 || o.endAction == 3) SetPowerAfterRun(o);
    AppendAll(EndEntries(o));
    // An older, longer list must not run on behind the new end.
    DeleteStaleCommands();
    StopPoint("command list written");
    RUNTRACE("rns:L18");
}

// ---- The hand-over ------------------------------------------------------------------------------

namespace {

void ShowError(const TextPair &text) {
    ShowMessage(g_mainWindow, text, MB_ICONERROR);
}

void StartQuietShellNow() {
    // QS takes the single-instance mutex itself.
    if (g_instanceMutex) {
        CloseHandle(g_instanceMutex);
        g_instanceMutex = nullptr;
    }
    RUNLOG(Tx("Rinsa なし - 自動実行のみ行います。", "No Rinsa - Automatic running only."));
    std::string qs = ProgramFolder() + "QS.EXE";
    HINSTANCE started =
        g_plannerShellExecute(nullptr, "open", qs.c_str(), nullptr, ProgramFolder().c_str(), SW_SHOWNORMAL);
    if (reinterpret_cast<INT_PTR>(started) > 32) return;
    RUNLOG(Tx("Qs.exe を実行できません。", "Qs.exe cannot execute."));
    ShowError(
        {"QS.EXE が見つかりません。\r\nシステムの設定が変更されたままになっている可能性があります。Windows を再起動して"
         "ください。",
         "QS.EXE is not found."});
}

void LogStartKind(int runMethod) {
    static const TextPair kKinds[] = {
        {"開始 - シェルの起動前", "Starting - Before booting shell."},
        {"開始 - シェルの起動前/常駐タスクの削除", "Starting - Before booting shell/Delete Stay &Resident Tasks."},
        {"開始 - シェルの変更", "Starting - Change Shell."},
        {"開始 - シェルの変更とセーフモード", "Starting - Change Shell and Use Safe Mode."},
    };
    if (runMethod >= 0 && runMethod < 4) RUNLOG(kKinds[runMethod].Get());
}

void PowerOffNow(const PlannerOptions &o) {
    if (HasText(o.rebootCommand) && !g_autoMode) {
        TextPair text{"「最初の再起動にコマンドラインを使う」は電源を切るオプションと一緒には使えません。",
                      "Cannot use 'Use command line for first rebooting' with Power off option."};
        RUNLOG(text.Get());
        ShowError(text);
    }
    RUNLOG(Tx("シャットダウン", "Shutdown"));
    if (g_plannerExitWindows(EWX_SHUTDOWN | EWX_POWEROFF, 0)) return;
    RUNLOG(Tx("シャットダウン - 失敗", "Shutdown - failed"));
    ShowError({"シャットダウンに失敗しました。\r\nほかの方法で Windows をシャットダウンしてください。それまでは、ほかの"
               "プログラムを起動しないでください。",
               "Shutting down was failed."});
}

// True when the user's command was started to do the restart.
bool RunRebootCommand(const PlannerOptions &o) {
    std::vector<std::string> lines = CommandLines(o.rebootCommand);
    if (lines.empty()) return false;
    RUNLOG2(Tx("再起動用のコマンドライン - ", "Command Line for rebooting - "), lines[0].c_str());
    // Whatever the command does, the registry must already be on disk.
    RegFlushKey(HKEY_LOCAL_MACHINE);
    if (RunCommandLine(("!" + lines[0]).c_str())) return true;
    RUNLOG(Tx("コマンドライン - 失敗 - 通常の再起動", "CommandLine - failed - Reboot normally"));
    ShowError({"「最初の再起動にコマンドラインを使う」のコマンドラインを実行できません。",
               "CommandLine of 'Use command line for first rebooting' is not runnable."});
    return false;
}

void RebootNow() {
    RUNLOG(Tx("通常の再起動", "Reboot normally"));
    if (g_plannerExitWindows(EWX_REBOOT, 0)) return;
    RUNLOG(Tx("通常の再起動 - 失敗", "Reboot normally - failed"));
    ShowError({"再起動に失敗しました。\r\nほかの方法で Windows を再起動してください。", "Rebooting was failed."});
}

} // namespace

void HandOver(const PlannerOptions &o) {
    if (o.runMethod == 4) {
        StartQuietShellNow();
        return;
    }
    LogStartKind(o.runMethod);
    EnableShutdownPrivilege();
    if (o.powerOff) {
        PowerOffNow(o);
        return;
    }
    if (RunRebootCommand(o)) return;
    RebootNow();
}

// ---- PlanRinsaRun -------------------------------------------------------------------------------

namespace {

void ShowMainWindow(int how) {
    if (g_mainWindow) ShowWindow(g_mainWindow, how);
}

void TraceStart() {
    if (!TraceMode()) return;
    RUNLOG(Tx("rns:00 デバッグモード", "rns:00 Debug mode"));
    RUNLOG(FormatString(Tx("KORVANE.EXE(%s) - デバッグモード", "KORVANE.EXE(%s) - Debug Mode"), BuildStamp()).c_str());
}

// False when the user would rather not run on battery.
bool PowerCheck() {
    RUNTRACE("rns:02");
    SYSTEM_POWER_STATUS status;
    if (!GetSystemPowerStatus(&status)) {
        RUNLOG(Tx("バッテリーの状態を取得できません。", "Cannot acquire the battery state."));
        return true;
    }
    RUNLOG(FormatPowerStatus(status).c_str());
    if (status.ACLineStatus != 0) return true;
    return ShowMessage(g_mainWindow,
                       {"AC 電源に接続されていません。続行してもよろしいですか？",
                        "AC power status is offline. Are you sure you want to continue?"},
                       MB_YESNO | MB_ICONQUESTION) == IDYES;
}

bool ReadOptions(PlannerOptions *options) {
    RUNTRACE("rns:03");
    REGA key;
    if (!OpenSettingsForWriting(key, kLogModule)) return false;
    *options = ReadPlannerOptions(key, g_windowsVersion);
    key.CloseKey();
    return true;
}

void MakeRestorePoint() {
    RUNTRACE("rns:07");
    MakeRestorePointReported(g_mainWindow);
}

void RunDiskCleanup(const PlannerOptions &o) {
    RUNTRACE("rns:08");
    ShowMainWindow(SW_HIDE);
    for (const std::string &command : DiskCleanupCommands(ResolveDriveMask(o.drives) & kAllLetters))
        RunCommandLine(command.c_str());
    ShowMainWindow(SW_SHOW);
}

bool Countdown(const PlannerOptions &o) {
    if (o.beforeSleep <= 0) return true;
    RUNTRACE("rns:10");
    return ShowCountdown(g_mainWindow, o.beforeSleep);
}

void HideAndDisableMainWindow() {
    ShowMainWindow(SW_HIDE);
    if (g_mainWindow) EnableWindow(g_mainWindow, FALSE);
}

// Steps up to the first change; false when the run is given up. bootExecuteSaved tells whether
// check disk was scheduled at boot through BootExecute.
// The earlier list's restore entries are written at the head of the list before the first change:
// a planner killed later, however far it got, leaves them where QS and the next run find them.
bool PrepareForChanges(PlannerOptions &o, const CarriedRestores &carried, bool *bootExecuteSaved) {
    *bootExecuteSaved = false;
    if (!TakesCheckDiskPath(o)) {
        RUNTRACE("rns:09");
        if (!Countdown(o)) return false;
        HideAndDisableMainWindow();
        WriteCarriedHead(carried, false);
        return true;
    }
    RUNTRACE("rns:2d5A");
    if (o.runMethod != 4 && !LogonPreTest(o)) return false;
    if (!Countdown(o)) return false;
    HideAndDisableMainWindow();
    WriteCarriedHead(carried, false);
    if (ChecksDiskNow(o))
        CheckDiskNow(o);
    else
        *bootExecuteSaved = ScheduleBootCheck(o);
    return true;
}

void RunBeforeCommands(const PlannerOptions &o) {
    RUNTRACE("rns:11");
    for (const std::string &line : CommandLines(o.beforeCommands))
        RunCommandLine(line.c_str());
}

volatile LONG g_planning = 0;

// Marks the planner at work for as long as it runs, whichever way it returns.
class PlanningScope {
public:
    PlanningScope() { InterlockedIncrement(&g_planning); }
    ~PlanningScope() { InterlockedDecrement(&g_planning); }
    PlanningScope(const PlanningScope &) = delete;
    PlanningScope &operator=(const PlanningScope &) = delete;
};

void CloseMainWindow() {
    if (!g_mainWindow) return;
    EnableWindow(g_mainWindow, TRUE);
    DestroyWindow(g_mainWindow);
    g_mainWindow = nullptr;
}

} // namespace

bool RunBeingPlanned() {
    return InterlockedCompareExchange(&g_planning, 0, 0) != 0;
}

bool PlanRinsaRun() {
    PlanningScope planning;
    TraceStart();
    if (!g_autoMode && !PowerCheck()) return false;
    PlannerOptions options;
    if (!ReadOptions(&options)) return false;
    // Read before anything is written: the boot-time check writes its entry at the old list's top.
    CarriedRestores carried = RestoresToCarry(ReadCommandList());
    RUNLOG(FormatStartLine(options, g_versionText.c_str(), g_windowsVersion).c_str());
    RUNTRACE("rns:06");
    TrimRunLog();
    if (options.restorePoint) MakeRestorePoint();
    if (options.cleanmgr) RunDiskCleanup(options);
    bool bootExecuteSaved = false;
    if (!PrepareForChanges(options, carried, &bootExecuteSaved)) return false;
    RunBeforeCommands(options);
    WriteCommandList(options, bootExecuteSaved, carried);
    RUNTRACE("rns:N284");
    HandOver(options);
    CloseMainWindow();
    return true;
}

// ---- The preview --------------------------------------------------------------------------------

namespace {

// Everything the planner would change is noted instead, and it logs nothing.
class PreviewScope {
public:
    explicit PreviewScope(PlanRecord *record) {
        g_planRecord = record;
        SetRunLogMuted(true);
    }
    ~PreviewScope() {
        SetRunLogMuted(false);
        g_planRecord = nullptr;
    }
    PreviewScope(const PreviewScope &) = delete;
    PreviewScope &operator=(const PreviewScope &) = delete;
};

std::string PreviewSummary(const PlannerOptions &o) {
    static const TextPair kKinds[] = {{"デフラグ", "Defragment"},
                                      {"チェックディスク", "Check disk"},
                                      {"デフラグとチェックディスク", "Defragment and check disk"},
                                      {"ほかのプログラム", "Other programs"}};
    const char *kind = o.selected >= 0 && o.selected <= 3 ? kKinds[o.selected].Get() : "?";
    return FormatString(Tx("%s、実行方法 %d", "%s, run method %d"), kind, o.runMethod);
}

std::string HandOverText(const PlannerOptions &o) {
    if (o.runMethod == 4) return Tx("QS.EXE をすぐに起動します (再起動なし)。", "QS.EXE starts at once, without a restart.");
    if (o.powerOff) return Tx("Windows をシャットダウンします (電源を切る)。", "Windows shuts down and powers off.");
    std::vector<std::string> reboot = CommandLines(o.rebootCommand);
    if (!reboot.empty())
        return Tx("再起動用のコマンドライン - ", "Command Line for rebooting - ") + reboot[0];
    return Tx("Windows を再起動します。", "Windows restarts.");
}

std::vector<std::string> LastAuditOfLog() {
    std::string text;
    if (ReadFileFrom(RunLogPath(), 0, &text) != ReadResult::Ok) return {};
    return LastAuditLines(text);
}

// The steps of PlanRinsaRun up to the hand-over, without its questions, countdowns and log.
void PlanInRecord(PlannerOptions &options) {
    CarriedRestores carried = RestoresToCarry(ReadCommandList());
    if (options.restorePoint) RecordProgram(Tx("復元ポイントの作成", "Create a restore point"));
    if (options.cleanmgr)
        for (const std::string &command : DiskCleanupCommands(ResolveDriveMask(options.drives) & kAllLetters))
            RunCommandLine(command.c_str());
    bool bootExecuteSaved = false;
    WriteCarriedHead(carried, false);
    if (TakesCheckDiskPath(options)) {
        if (options.runMethod != 4) RecordProgram(Tx("ログオンの事前テスト", "Logon pre-test"));
        if (ChecksDiskNow(options))
            CheckDiskNow(options);
        else
            bootExecuteSaved = ScheduleBootCheck(options);
    }
    RunBeforeCommands(options);
    WriteCommandList(options, bootExecuteSaved, carried);
}

} // namespace

RunPreview PreviewRinsaRun() {
    RunPreview preview;
    preview.lastAudit = LastAuditOfLog();
    PlanRecord record;
    PreviewScope previewing(&record);
    PlanningScope planning;
    REGA key;
    if (!OpenSettings(key, OPEN_READONLY)) return preview;
    // Opened for reading only: once flags stored as 2 stay for the real run.
    PlannerOptions options = ReadPlannerOptions(key, g_windowsVersion);
    key.CloseKey();
    PlanInRecord(options);
    preview.planned = true;
    preview.summary = PreviewSummary(options);
    preview.handOver = HandOverText(options);
    preview.entries = record.entries;
    preview.changes = record.changes;
    preview.programs = record.programs;
    for (const PlannedChange &change : record.changes)
        preview.restores.push_back(RestoreEntryFor(change, record.entries));
    return preview;
}
