// rnscheck: check disk before the restart. Before a run that checks disks the planner makes sure
// Windows will log on by itself after the restart (the logon pre-test), then either runs check
// disk at once in this session or schedules the boot-time check through BootExecute.
#include "planner/rnscheck.h"
#include "planner/rnsplan.h"

#include "dialogs/alogon.h"
#include "korvane.h"
#include "dialogs/notify.h"
#include "planner/rnsrun.h"
#include "planner/rnsstop.h"

#include "language.h"
#include "platform.h"
#include "runlog.h"
#include "settings.h"
#include "winhandle.h"

#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

const char kLogModule[] = "rnscheck";
constexpr const char *kLogonTestHelpTopic = "HLP000097.html";

// ---- Logon pre-test -----------------------------------------------------------------------------

std::string CurrentUserName() {
    char user[257] = "";
    DWORD size = sizeof user;
    return GetUserNameA(user, &size) ? user : "";
}

// Only the one-character text "1" switches the Windows automatic logon on here.
bool ReadAutoAdminLogonOn(REGA &key) {
    char flag[2] = "";
    return key.ReadStringA(kAutoAdminLogon, flag, sizeof flag) && strcmp(flag, "1") == 0;
}

std::string ReadText(REGA &key, const char *name) {
    TextPtr text = key.RegReadStringA(name, "");
    return text ? text.get() : "";
}

// The same for the password, whose buffer is wiped before it is freed.
std::string ReadSecret(REGA &key, const char *name) {
    TextPtr text = key.RegReadStringA(name, "");
    if (!text) return std::string();
    std::string secret = text.get();
    SecureZeroMemory(text.get(), secret.size());
    return secret;
}

// Whether Windows is already set to log this user on by itself; false when the Winlogon key
// cannot be read.
bool ReadAlreadyAutomatic(const PlannerOptions &options, bool *automatic) {
    REGA key;
    if (!key.OpenKey(HKEY_LOCAL_MACHINE, kWinlogonPath, OPEN_READONLY)) return false;
    bool on = ReadAutoAdminLogonOn(key);
    std::string user = ReadText(key, kDefaultUserName);
    key.CloseKey();
    bool sameUser = !user.empty() && lstrcmpiA(user.c_str(), CurrentUserName().c_str()) == 0;
    *automatic = sameUser && (on || options.offAutoLogon == 3);
    return true;
}

// After the automatic logon page: a run that will stop at the logon screen needs the user's word.
bool AcceptsLogonScreen() {
    REGA key;
    bool on = false;
    if (key.OpenKey(HKEY_LOCAL_MACHINE, kWinlogonPath, OPEN_READONLY)) {
        on = ReadAutoAdminLogonOn(key);
        key.CloseKey();
    }
    if (on || ReadSettingDword(setting::OffAutoLogon.name) != 0) return true;
    return ShowMessage(g_mainWindow,
                       {"ログオン画面で止まります。よろしいですか?", "It stops on a logon screen. Is it all right?"},
                       MB_YESNO | MB_ICONQUESTION) == IDYES;
}

struct LogonData {
    std::string user, password, domain;
    bool hasDomain = false;
    ~LogonData() { SecureZeroMemory(&password[0], password.size()); }
};

// False when there is nothing to test: no automatic logon for the run, or no user to log on.
bool ReadLogonData(LogonData *data) {
    REGA key;
    if (!key.OpenKey(HKEY_LOCAL_MACHINE, kWinlogonPath, OPEN_READONLY)) return false;
    bool automatic = ReadAutoAdminLogonOn(key) || ReadSettingDword(setting::OffAutoLogon.name) != 0;
    data->user = ReadText(key, kDefaultUserName);
    bool testable = automatic && !data->user.empty();
    if (testable) {
        data->password = ReadSecret(key, kDefaultPassword);
        data->hasDomain = key.ValueExistA(kDefaultDomainName) >= 0;
        data->domain = ReadText(key, kDefaultDomainName);
    }
    key.CloseKey();
    return testable;
}

// LogonUserA is no logon at the console, which Windows refuses for a blank password while
// LimitBlankPasswordUse is set. The value is lifted for the one call and put back exactly as it
// was (or deleted again).
class BlankPasswordAllowed {
public:
    explicit BlankPasswordAllowed(bool needed) {
        if (!needed || !key_.OpenKey(HKEY_LOCAL_MACHINE, kLsaPath, OPEN_CREATE)) return;
        saved_ = ReadRegistryValue(key_, kValue);
        key_.WriteIntegerA(kValue, 0);
    }
    ~BlankPasswordAllowed() {
        if (!key_.IsOpen()) return;
        if (saved_.exists)
            WriteRegistryValue(key_, kValue, saved_);
        else
            key_.DeleteValue(kValue);
        key_.CloseKey();
    }
    BlankPasswordAllowed(const BlankPasswordAllowed &) = delete;
    BlankPasswordAllowed &operator=(const BlankPasswordAllowed &) = delete;

private:
    static constexpr const char *kValue = "LimitBlankPasswordUse";
    REGA key_;
    RegistryValue saved_;
};

// 0 when the logon works, else the error of LogonUserA.
DWORD TryLogon(const LogonData &data) {
    BlankPasswordAllowed blank(data.password.empty());
    HANDLE token = nullptr;
    const char *domain = data.hasDomain && !data.domain.empty() ? data.domain.c_str() : nullptr;
    if (g_logonUser(data.user.c_str(), domain, data.password.c_str(), LOGON32_LOGON_INTERACTIVE,
                    LOGON32_PROVIDER_DEFAULT, &token)) {
        UniqueHandle owned(token);
        return 0;
    }
    DWORD error = GetLastError();
    return error ? error : ERROR_LOGON_FAILURE;
}

// The log is one line per entry, so each run of line breaks in the message becomes one blank.
std::string OneLine(const std::string &text) {
    std::string line;
    for (size_t i = 0; i < text.size(); ++i) {
        bool lineBreak = text[i] == '\r' || text[i] == '\n';
        if (!lineBreak)
            line += text[i];
        else if (i == 0 || (text[i - 1] != '\r' && text[i - 1] != '\n'))
            line += ' ';
    }
    return line;
}

bool AcceptFailedLogon(DWORD error, bool emptyPassword) {
    std::string message = LogonFailureMessage(error, emptyPassword);
    RUNLOG(OneLine(message).c_str());
    NotifyRequest request;
    request.owner = g_mainWindow;
    request.title = ProductTitle();
    request.heading = Tx("ログオンテストに失敗しました。", "Logon Test failed.");
    request.body = message.c_str();
    request.yesLabel = Tx("続行(&Y) - ログオン情報が正しいことは確認済み", "&Yes");
    request.noLabel = Tx("中止(&N) - ログオン情報を確認する", "&No");
    request.helpTopic = kLogonTestHelpTopic;
    request.valueName = setting::warn_logontest.name;
    return AskNotify(request) == kNotifyYes;
}

// True when the run may go on: the logon works, there is nothing to test, or the user says so.
bool LogonTestPasses() {
    LogonData data;
    if (!ReadLogonData(&data)) return true;
    DWORD error = TryLogon(data);
    return error == 0 || AcceptFailedLogon(error, data.password.empty());
}

// ---- Check disk now -----------------------------------------------------------------------------

// The black screen is waited for until its window is up, and its end until that QS has done: a
// check that ends at once would otherwise send "/X" before the black screen exists and leave it
// up, and a slow "/X" could end the window of the QS that a run without restart starts next.
bool StartQuietShellFromProgramFolder(const char *mode) {
    constexpr DWORD kWaitMs = 10000;
    std::string qs = ProgramFolder() + "QS.EXE", folder = ProgramFolder();
    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = "open";
    info.lpFile = qs.c_str();
    info.lpParameters = mode;
    info.lpDirectory = folder.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExA(&info)) {
        RUNLOG2("QS.EXE - ", ShellExecuteReason(reinterpret_cast<INT_PTR>(info.hInstApp)));
        return false;
    }
    UniqueHandle process(info.hProcess);
    if (process) {
        if (strcmp(mode, "/S") == 0)
            WaitForInputIdle(process.Get(), kWaitMs);
        else
            WaitForSingleObject(process.Get(), kWaitMs);
    }
    return true;
}

struct ScreenState {
    bool powerOffUsed = false;
    BOOL powerOffActive = FALSE;
    UINT powerOffTimeout = 0;
    bool wallpaperShunted = false;
    BOOL screenSaverActive = FALSE;
    RegistryValue storedSaver; // ScreenSaveActive as it was stored before the check
};

// The monitor's own power-off is the quieter protection; QS's black screen when it is not there.
void ProtectScreen(LONG screenOff, ScreenState &state) {
    if (screenOff != 0 && screenOff != 2) {
        SystemParametersInfoA(SPI_GETPOWEROFFACTIVE, 0, &state.powerOffActive, 0);
        SystemParametersInfoA(SPI_GETPOWEROFFTIMEOUT, 0, &state.powerOffTimeout, 0);
        if (SystemParametersInfoA(SPI_SETPOWEROFFACTIVE, 1, nullptr, SPIF_SENDCHANGE))
            SystemParametersInfoA(SPI_SETPOWEROFFTIMEOUT, 8, nullptr, SPIF_SENDCHANGE);
        BOOL active = FALSE;
        UINT timeout = 0;
        SystemParametersInfoA(SPI_GETPOWEROFFACTIVE, 0, &active, 0);
        SystemParametersInfoA(SPI_GETPOWEROFFTIMEOUT, 0, &timeout, 0);
        state.powerOffUsed = active == 1 && timeout == 8;
    }
    if (!state.powerOffUsed) g_startQuietShell("/S");
}

void UnprotectScreen(LONG screenOff, const ScreenState &state) {
    if (state.powerOffUsed) {
        SystemParametersInfoA(SPI_SETPOWEROFFACTIVE, UINT(state.powerOffActive), nullptr, SPIF_SENDCHANGE);
        SystemParametersInfoA(SPI_SETPOWEROFFTIMEOUT, state.powerOffTimeout, nullptr, SPIF_SENDCHANGE);
        return;
    }
    g_startQuietShell("/X");
    if (screenOff != 0) RUNLOG("Turn off : auxvso.");
}

void ShuntWallpaper(ScreenState &state) {
    // Only the desktop changes; the user's setting in the registry stays for the way back.
    state.wallpaperShunted = SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, const_cast<char *>(""), SPIF_SENDCHANGE);
    RUNLOG(state.wallpaperShunted ? Tx("壁紙を退避しました。", "The wall paper was shunted.")
                                  : Tx("壁紙の退避に失敗しました。", "Shunting wall paper was failed."));
}

void RestoreWallpaper(const ScreenState &state) {
    if (!state.wallpaperShunted) return;
    bool restored = SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, nullptr, SPIF_SENDCHANGE);
    RUNLOG(restored ? Tx("壁紙を元に戻しました。", "The wall paper was restored.")
                    : Tx("壁紙を元に戻せませんでした。", "Restoring wall paper was failed."));
}

constexpr const char *kDesktopPath = "Control Panel\\desktop";

RegistryValue ReadScreenSaveActive() {
    REGA key;
    if (!key.OpenKey(HKEY_CURRENT_USER, kDesktopPath, OPEN_READONLY)) return {};
    RegistryValue value = ReadRegistryValue(key, "ScreenSaveActive");
    key.CloseKey();
    return value;
}

// "0", "1", or the stored value as it was (value.exists false: delete it).
void WriteScreenSaveActive(const RegistryValue &value) {
    REGA key;
    if (!key.OpenKey(HKEY_CURRENT_USER, kDesktopPath, OPEN_CREATE)) {
        ReportRegistryError("HKCU\\Desktop", kLogModule);
        return;
    }
    if (value.exists)
        WriteRegistryValue(key, "ScreenSaveActive", value);
    else
        key.DeleteValue("ScreenSaveActive");
    key.CloseKey();
}

RegistryValue SaverText(const char *text) {
    return {true, REG_SZ, std::string(text, strlen(text) + 1)};
}

// What the registry says after the check: the stored value as it was. Windows reads the saver's
// state from it, so it agrees with SystemParametersInfo there; where the two disagree, the
// stored value is kept rather than replaced by "1", and a missing one comes back as "1" only
// when the saver was on.
RegistryValue StoredSaverAfter(const ScreenState &state) {
    if (state.storedSaver.exists) return state.storedSaver;
    return state.screenSaverActive ? SaverText("1") : RegistryValue{};
}

// "0", with or without its terminator.
bool IsStoredOff(const RegistryValue &value) {
    return value.exists && value.bytes.c_str() == std::string("0");
}

bool StoredSaverWasOn(const ScreenState &state) {
    RegistryValue after = StoredSaverAfter(state);
    return after.exists && !IsStoredOff(after);
}

// The way back is queued before the saver goes off, as for every change the planner makes. Only
// the stored value needs it: SystemParametersInfo's switch lasts for the session only.
void StopScreenSaver(ScreenState &state) {
    SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &state.screenSaverActive, 0);
    state.storedSaver = ReadScreenSaveActive();
    bool storedOn = StoredSaverWasOn(state);
    if (storedOn) AppendCommand(kScreenSaverRestore);
    WriteScreenSaveActive(SaverText("0"));
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, SPIF_SENDCHANGE);
    if (storedOn) StopPoint("ScreenSaveActive 0");
}

void RestartScreenSaver(const ScreenState &state) {
    RegistryValue after = StoredSaverAfter(state);
    if (!IsStoredOff(after)) WriteScreenSaveActive(after);
    if (state.screenSaverActive) SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, SPIF_SENDCHANGE);
}

void RunCustomCheck(const PlannerOptions &options, DWORD mask) {
    LogStepStart(kLogModule, __LINE__, Tx("チェックディスクを開始しました。", "Checking disk started."));
    RunPerDrive(options.checkCommand, options.checkMulti, mask);
    LogStepEnd(kLogModule, __LINE__, Tx("チェックディスクが終了しました。", "Checking disk finished."));
}

void CheckOneDrive(char drive, const CheckDiskLine &how) {
    std::string command = CheckDiskCommandLine(drive, how);
    size_t tool = command.find("CHKDSK.EXE");
    char start[1024];
    snprintf(start, sizeof start, "%s - %c: [%s]",
             how.surfaceScan ? Tx("チェックディスク(/R)", "Checking(/R)") : Tx("チェックディスク", "Checking"), drive,
             command.c_str() + (tool == std::string::npos ? 0 : tool));
    LogStepStart(kLogModule, __LINE__, start);
    bool ran = RunCommandLine(command.c_str());
    LogStepEnd(kLogModule, __LINE__,
               ran ? CheckDiskResultText(g_lastExitCode)
                   : Tx("チェックディスクを起動できませんでした。", "Chkdsk could not be started."));
}

void RunStandardCheck(const PlannerOptions &options, DWORD mask) {
    CheckDiskLine how;
    how.windowsVersion = g_windowsVersion;
    how.runMethod = options.runMethod;
    how.surfaceScan = options.surfaceScan;
    how.japanese = IsJapanese();
    how.korvlog = KorvlogShortPath();
    for (int i = 0; i < 26; ++i)
        if (mask & (1u << i)) CheckOneDrive(char('A' + i), how);
}

// ---- Boot-time check ----------------------------------------------------------------------------

UINT SystemDriveType(const char *root) {
    return GetDriveTypeA(root);
}

void ReportScheduleFailure() {
    RUNLOG(Tx("次回起動時の AUTOCHK の実行を予約できません。", "Cannot scheduled to start AUTOCHK next reboot."));
    ShowMessage(g_mainWindow,
                {"次回起動時のチェックディスクを予約できませんでした。",
                 "CHKDSK was not able to scheduled to start next reboot."},
                MB_ICONWARNING);
}

// A wait of 0 seconds gives nobody the chance to skip the boot-time check; the question has no
// English form.
void AskAutoChkTimeOut(PlannedKey &key) {
    if (!IsJapanese() || g_autoMode || key.ReadInteger("AutoChkTimeOut", 10) != 0) return;
    int answer = ShowMessageBox(g_mainWindow,
                                "起動時のチェックディスクの待ち時間 (AutoChkTimeOut) が 0 秒に設定されています。\n"
                                "このまま続けますか?\n\n[いいえ] を選ぶと待ち時間を 10 秒に設定します。",
                                ProductTitle(), MB_YESNO | MB_ICONQUESTION);
    if (answer == IDYES) return;
    RUNLOG("AutoChkTimeOut=10");
    key.WriteInteger("AutoChkTimeOut", 10);
}

// Windows' own BootExecute, kept in the backup when the value is missing, so that the way back
// does not leave our check for every boot.
const char kDefaultBootExecute[] = "autocheck autochk *\0";

enum class Backup { Failed, Made, Kept };

// Copies BootExecute to _BootExecute. A BootExecute that holds only our entries comes from a run
// that has not restored it yet: its backup is the user's value and is kept.
Backup BackUpBootExecute(PlannedKey &key) {
    RegistryValue current = key.Read("BootExecute");
    if (current.exists && IsScheduledBootExecute(current.bytes) && !key.Read("_BootExecute").bytes.empty())
        return Backup::Kept;
    key.Delete("_BootExecute");
    if (!current.exists) {
        current.type = REG_MULTI_SZ;
        current.bytes.assign(kDefaultBootExecute, sizeof kDefaultBootExecute);
    }
    return key.Write("_BootExecute", current) ? Backup::Made : Backup::Failed;
}

void LogScheduledEntries(const std::string &letters, const std::string &data) {
    for (size_t i = 0; i < letters.size(); ++i) {
        char line[128];
        snprintf(line, sizeof line, Tx("AUTOCHK を予約しました - %c: [%s]", "AUTOCHK Scheduled - %c: [%s]"), letters[i],
                 data.c_str() + i * kBootExecuteSlot);
        RUNLOG(line);
    }
}

void LogScheduledInJapanese(bool surfaceScan) {
    if (!IsJapanese()) return;
    RUNLOG(surfaceScan ? "次回起動時にチェックディスク (不良セクタの検査あり) を実行します。"
                       : "次回起動時にチェックディスク (不良セクタの検査なし) を実行します。");
    RUNLOG("結果はイベントビューアのアプリケーションログ (Winlogon または Wininit) で確認できます。");
}

} // namespace

BOOL(WINAPI *g_logonUser)(LPCSTR, LPCSTR, LPCSTR, DWORD, DWORD, PHANDLE) = LogonUserA;
bool (*g_confirmAutoLogon)(HWND owner) = ShowAutoLogonAlone;
bool (*g_startQuietShell)(const char *mode) = StartQuietShellFromProgramFolder;

// ---- Decisions ----------------------------------------------------------------------------------

std::string FixedDriveLetters(DWORD mask, UINT (*driveType)(const char *root)) {
    mask = ResolveDriveMask(mask, driveType);
    std::string letters;
    char root[] = "A:\\";
    for (int i = 0; i < 26; ++i) {
        root[0] = char('A' + i);
        if ((mask & (1u << i)) && driveType(root) == DRIVE_FIXED) letters += root[0];
    }
    return letters;
}

std::string BootExecuteBytes(const std::string &driveLetters, bool surfaceScan) {
    std::string data(driveLetters.size() * kBootExecuteSlot + 2, '\0');
    for (size_t i = 0; i < driveLetters.size(); ++i) {
        char entry[kBootExecuteSlot];
        snprintf(entry, sizeof entry, "autocheck autochk /%c \\??\\%c:", surfaceScan ? 'r' : 'p', driveLetters[i]);
        memcpy(&data[i * kBootExecuteSlot], entry, strlen(entry));
    }
    return data;
}

bool IsScheduledBootExecute(std::string_view data) {
    static const char kStem[] = "autocheck autochk /";
    bool any = false;
    for (size_t start = 0; start < data.size();) {
        size_t end = data.find('\0', start);
        if (end == std::string_view::npos) end = data.size();
        std::string_view entry = data.substr(start, end - start);
        start = end + 1;
        if (entry.empty()) continue;
        bool ours = entry.size() == kBootExecuteSlot - 1 && entry.compare(0, sizeof kStem - 1, kStem) == 0 &&
                    (entry[19] == 'p' || entry[19] == 'r') && entry.compare(20, 5, " \\??\\") == 0 &&
                    entry[25] >= 'A' && entry[25] <= 'Z' && entry[26] == ':';
        if (!ours) return false;
        any = true;
    }
    return any;
}

std::string CheckDiskCommandLine(char drive, const CheckDiskLine &how) {
    const std::string letter = std::string(1, drive) + ":";
    const char *answer = how.runMethod == 4 ? "N" : "Y";
    std::string line = "CMD.EXE /C TITLE ";
    line += (how.japanese ? "チェックディスク - " : "Checking - ") + letter;
    line += " & ECHO ";
    line += (how.japanese ? "" : "Checking ") + letter;
    line += how.japanese ? "... マウスとキーボードに触れないでください。しばらくお待ちください..."
                         : "... Don't tauch your mouse and keyboard. Please wait...";
    line += std::string(" & (ECHO ") + answer + " & ECHO " + answer + ") | ";
    // Without KORVLOG check disk runs straight from the pipe; its exit code is the line's all the same.
    if (!how.korvlog.empty()) line += "\"" + how.korvlog + "\"" + (how.windowsVersion < 601 ? " -p " : " -c ");
    line += "CHKDSK.EXE " + letter + " /F";
    if (how.surfaceScan) line += " /R";
    if (how.windowsVersion > 400) line += " /X";
    return line;
}

const char *CheckDiskResultText(DWORD exitCode) {
    switch (exitCode) {
    case 0:
        return Tx("エラーは見つかりませんでした。", "No errors were found.");
    case 1:
        return Tx("エラーが見つかり、修復されました。", "Errors were found and fixed.");
    case 2:
        return Tx("ディスクのクリーンアップ (ガベージコレクションなど) "
                  "が実行されたか、クリーンアップが実行されませんでした。",
                  "Disk cleanup, such as garbage collection, was performed, or cleanup was not performed.");
    case 3:
        return Tx("ディスクを検査できなかったか、エラーを修復できなかったか、エラーが修復されませんでした。",
                  "Could not check the disk, errors could not be fixed, or errors were not fixed.");
    }
    return Tx("チェックディスクが終了しました。", "Chkdsk was finished.");
}

const char *LogonFailureText(DWORD error, bool emptyPassword) {
    switch (error) {
    case ERROR_LOGON_FAILURE:
        return emptyPassword ? Tx("空のパスワードのユーザーでは、事前チェック機能が正しく判定できない場合があります。",
                                  "Pre-check function may not be recognizable by the user of blank password.")
                             : Tx("ユーザー名またはパスワードが正しくありません。", "Bad Username/Password.");
    case ERROR_ACCOUNT_RESTRICTION:
        return Tx("アカウントの制限です。", "Account restriction.");
    case ERROR_ACCOUNT_DISABLED:
        return Tx("アカウントが無効になっています。", "Account disabled.");
    case ERROR_LOGON_TYPE_NOT_GRANTED:
        return Tx("このログオンの種類は許可されていません。", "Logon type not granted.");
    }
    return "";
}

std::string LogonFailureMessage(DWORD error, bool emptyPassword) {
    const char *format = Tx("%s\r\n\r\nエラー情報:[%d]%s\r\n\r\n続行してもよろしいですか?",
                            "%s\r\n\r\nError Information:[%d]%s\r\n\r\nAre you sure you want to continue?");
    const char *reason = LogonFailureText(error, emptyPassword);
    const char *system = SystemErrorText(IsJapanese(), error);
    std::string message(strlen(format) + strlen(reason) + strlen(system) + 16, '\0');
    int length = snprintf(&message[0], message.size(), format, reason, int(error), system);
    message.resize(length > 0 ? std::min(size_t(length), message.size() - 1) : 0);
    return message;
}

// ---- The steps ----------------------------------------------------------------------------------

bool LogonPreTest(PlannerOptions &options) {
    if (options.runMethod == 4) return true;
    bool automatic = false;
    if (!ReadAlreadyAutomatic(options, &automatic)) {
        const char *failed = Tx("Winlogon キーを開けません。", "Cannot open Winlogon Key.");
        ShowMessageBox(g_mainWindow, failed, ProductTitle(), MB_ICONERROR);
        RUNLOG(failed);
        return false;
    }
    for (bool first = true;; first = false) {
        if (!automatic || !first) {
            if (first)
                ShowMessage(g_mainWindow,
                            {"Windows の自動ログオンの設定を確認してください。",
                             "Please confirm auto logon setting for Windows."},
                            MB_ICONINFORMATION);
            if (!g_confirmAutoLogon(g_mainWindow) || !AcceptsLogonScreen()) {
                RUNLOG(Tx("キャンセルしました。", "Canceled."));
                return false;
            }
            // The page stored how the run handles automatic logon; the changes and the list that
            // follow act on that, not on what was stored when the planning began.
            options.offAutoLogon = ReadSettingDword(setting::OffAutoLogon.name);
        }
        if (LogonTestPasses()) return true;
    }
}

void CheckDiskNow(const PlannerOptions &options) {
    if (Previewing()) {
        // Only what check disk would run: the screen stays as it is.
        if (options.customCheck)
            RunCustomCheck(options, ResolveDriveMask(options.drives));
        else
            RunStandardCheck(options, ResolveDriveMask(options.drives));
        return;
    }
    if (IsJapanese() && !g_autoMode && (options.checkBefore || options.runMethod == 4))
        ShowMessageBox(
            g_mainWindow,
            options.runMethod == 4
                ? "これからチェックディスクを実行します。マウントを解除できないボリュームは検査しません。"
                : "これからチェックディスクを実行します。マウントを解除できないボリュームは再起動後に検査します。",
            ProductTitle(), MB_ICONINFORMATION);
    ScreenState screen;
    ProtectScreen(options.screenOff, screen);
    DWORD mask = ResolveDriveMask(options.drives);
    ShuntWallpaper(screen);
    StopScreenSaver(screen);
    if (options.customCheck)
        RunCustomCheck(options, mask);
    else
        RunStandardCheck(options, mask);
    RestartScreenSaver(screen);
    RestoreWallpaper(screen);
    UnprotectScreen(options.screenOff, screen);
}

bool ScheduleBootCheck(const PlannerOptions &options) {
    PlannedKey key;
    if (!key.Open(HKEY_LOCAL_MACHINE, kSessionManagerPath)) {
        ReportRegistryError("HKLM\\Session Manager", kLogModule);
        ReportScheduleFailure();
        return false;
    }
    AskAutoChkTimeOut(key);
    std::string letters = FixedDriveLetters(options.drives, SystemDriveType);
    Backup backup = letters.empty() ? Backup::Failed : BackUpBootExecute(key);
    if (backup == Backup::Failed) {
        key.Close();
        ReportScheduleFailure();
        return false;
    }
    if (backup == Backup::Made) StopPoint("_BootExecute saved");
    RUNLOG(Tx("BootExecute を保存しました。", "Saved BootExecute."));
    std::string data = BootExecuteBytes(letters, options.surfaceScan);
    LogScheduledEntries(letters, data);
    // Queued before BootExecute changes, so that even a list the planner never finishes puts it
    // back; the planner writes it again as the first entry of the list, or over it when the
    // check could not be scheduled.
    AppendCommand("$RestoreBootExecute");
    RegistryValue scheduled;
    scheduled.exists = true;
    scheduled.type = REG_MULTI_SZ;
    scheduled.bytes = data;
    bool written = key.Write("BootExecute", scheduled);
    if (written) StopPoint("BootExecute scheduled");
    if (!written && backup == Backup::Made) key.Delete("_BootExecute");
    key.Close();
    if (!written) ReportScheduleFailure();
    if (written) LogScheduledInJapanese(options.surfaceScan);
    return written || backup == Backup::Kept;
}
