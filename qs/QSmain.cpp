// mainThread: the phases around the walk, the end of a run, the restart command and the recovery
// procedure for a QS started without a command list.
#include "QS.h"

#include "language.h"
#include "platform.h"
#include "restaudit.h"
#include "runlog.h"
#include "settings.h"

#include <process.h>
#include <shellapi.h>

#include <memory>

HINSTANCE g_instance = nullptr;
unsigned short g_windowsVersion = 0;
BOOL(WINAPI *g_exitWindowsEx)(UINT flags, DWORD reason) = ExitWindowsEx;

namespace {

const char kWinlogonKey[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";

void LogWithError(const char *text) {
    RUNLOG2(text, SystemErrorText(IsJapanese(), GetLastError()));
}

// ---- Wallpaper and screen saver -----------------------------------------------------------------

// The picture goes for this logon only: the stored wallpaper setting is left as it is.
void ShuntWallpaper(Walk &walk) {
    walk.wallpaperShunted = SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, const_cast<char *>(""), SPIF_SENDCHANGE);
    RUNLOG(walk.wallpaperShunted ? Tx("壁紙を退避しました。", "The wall paper was shunted.")
                                 : Tx("壁紙の退避に失敗しました。", "Shunting wall paper was failed."));
}

void ShuntScreenSaver(Walk &walk) {
    BOOL active = FALSE;
    if (!SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &active, 0) || !active) return;
    walk.saverShunted = SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, SPIF_SENDCHANGE);
    if (walk.saverShunted)
        RUNLOG(Tx("スクリーンセーバーを退避しました。", "The screen saver was shunted."));
    else
        LogWithError(Tx("スクリーンセーバーの退避に失敗しました。", "Shunting screen saver was failed."));
}

void RestoreScreenSaver(const Walk &walk) {
    if (!walk.saverShunted) return;
    if (SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, SPIF_SENDCHANGE))
        RUNLOG(Tx("スクリーンセーバーを元に戻しました。", "The screen saver was restored."));
    else
        LogWithError(Tx("スクリーンセーバーを元に戻せませんでした。", "Restoring screen saver was failed."));
}

// Setting no file name reloads the wallpaper stored for the user.
void RestoreWallpaper(const Walk &walk) {
    if (!walk.wallpaperShunted) return;
    if (SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, nullptr, SPIF_SENDCHANGE))
        RUNLOG(Tx("壁紙を元に戻しました。", "The wall paper was restored."));
    else
        LogWithError(Tx("壁紙を元に戻せませんでした。", "Restoring wall paper was failed."));
}

// ---- Power actions ------------------------------------------------------------------------------

void Reboot() {
    if (g_exitWindowsEx(EWX_REBOOT, 0)) return;
    RUNLOG(Tx("通常の再起動に失敗しました -> 強制再起動", "Reboot normally - failed -> Force reboot"));
    if (g_exitWindowsEx(EWX_REBOOT | EWX_FORCE, 0)) return;
    RUNLOG(Tx("強制再起動に失敗しました", "Force reboot - failed"));
    ShowMessage(nullptr, {"強制再起動に失敗しました。", "Force reboot - failed."}, MB_ICONERROR);
}

void Shutdown() {
    if (g_exitWindowsEx(EWX_SHUTDOWN | EWX_POWEROFF, 0)) return;
    RUNLOG(Tx("シャットダウンに失敗しました -> 強制シャットダウン", "Shutdown - failed -> Force shutdown"));
    if (g_exitWindowsEx(EWX_SHUTDOWN | EWX_POWEROFF | EWX_FORCE, 0)) return;
    RUNLOG(Tx("強制シャットダウンに失敗しました", "Force shutdown - failed"));
    ShowMessage(nullptr, {"強制シャットダウンに失敗しました。", "Force shutdown - failed."}, MB_ICONERROR);
}

void EndAction(const std::string &argument) {
    const char *action = argument.c_str();
    if (_stricmp(action, "ExitWindowsExec") == 0) {
        RUNLOG(Tx("高速再起動", "Reboot quickly"));
        INT_PTR result = reinterpret_cast<INT_PTR>(
            ShellExecuteA(nullptr, "open", "RUNDLL.EXE", "USER.EXE,ExitWindowsExec", nullptr, SW_SHOWNORMAL));
        if (result > 32) return;
        RUNLOG(Tx("高速再起動に失敗しました -> 通常の再起動", "Reboot quickly - failed -> Reboot normally"));
        Reboot();
    } else if (_stricmp(action, "Reboot") == 0) {
        RUNLOG(Tx("再起動しました", "Rebooted"));
        Reboot();
    } else if (_stricmp(action, "ExitWindows") == 0) {
        RUNLOG(Tx("シャットダウン", "Shutdown"));
        Shutdown();
    } else {
        RUNLOG(Tx("完了しました。", "Completed."));
    }
}

void CloseAndFlush(Walk &walk) {
    if (walk.key.IsOpen()) walk.key.CloseKey();
    RegFlushKey(HKEY_LOCAL_MACHINE);
    EnableShutdownPrivilege();
}

} // namespace

void EndRun(Walk &walk, const std::string &argument) {
    RUNTRACE("mainThread:62n1");
    RestoreScreenSaver(walk);
    RUNTRACE("mainThread:62n2");
    RestoreWallpaper(walk);
    RUNTRACE("mainThread:62n3");
    for (int index = 0; index <= walk.index; ++index)
        walk.key.DeleteValue(OrderValueName(index).c_str());
    // Every restore entry of the list lies behind us now: what has not come back will not.
    RunRestoreAudit(walk.key);
    RUNTRACE("mainThread:62n4");
    CloseAndFlush(walk);
    RUNTRACE("mainThread:62n5");
    EndAction(argument);
    RUNTRACE("mainThread:62n6");
    walk.ended = true;
}

void RebootNow(Walk &walk, const std::string &) {
    RUNTRACE("mainThread:62o1");
    // The entry was marked done before this call, so the next QS resumes after it.
    CloseAndFlush(walk);
    RUNLOG(Tx("再起動しました", "Rebooted"));
    Reboot();
    walk.ended = true;
}

// ---- Recovery -----------------------------------------------------------------------------------

namespace {

// The recovery puts back only the shell; the audit tells what else a run left changed.
void AuditAfterRecovery() {
    REGA settings;
    if (!OpenSettings(settings, OPEN_READONLY)) return;
    settings.CloseKey();
    if (OpenSettings(settings, OPEN_CREATE)) {
        RunRestoreAudit(settings);
        settings.CloseKey();
    }
}

} // namespace

void errmes() {
    int answer = ShowMessage(
        nullptr,
        {"タイドウェルの実行部\n\nQS.EXE は KORVANE.EXE から呼び出されるプログラムです。QS.EXE を直接起動した場合は"
         "[いいえ] を選んでください。KORVANE.EXE が QS.EXE を呼び出した場合は [はい] を選んでください。",
         "Execution part of Tidewell\n\nQS.EXE must be called by KORVANE.EXE. When you call QS.EXE directly, Select "
         "[No]. When KORVANE.EXE calls QS.EXE, Select [Yes]."},
        MB_ICONERROR | MB_YESNO | MB_DEFBUTTON2);
    if (answer != IDYES) return;
    const char *recoveryTitle = Tx("回復モード", "Recovery Mode");
    answer =
        ShowMessageBox(nullptr,
                       Tx("ユーザー名を間違えた場合は [はい] を選んでください。\n\n"
                          "ログオフしますので、実行を設定したユーザーでログオンしてください。自動ログオンの設定そのもの"
                          "が間違っていた場合は、[はい] を押したあと Shift キーを押し続けてください。",
                          "When you mistake user name, Select [Yes]."),
                       recoveryTitle, MB_ICONQUESTION | MB_YESNO);
    EnableShutdownPrivilege();
    if (answer == IDYES) {
        g_exitWindowsEx(EWX_LOGOFF, 0);
        return;
    }
    ShowMessageBox(nullptr, Tx("QS.EXE は Windows のシェルを元に戻します。", "QS.EXE trys to recovery Windows shell."),
                   recoveryTitle, MB_ICONWARNING);
    REGA winlogon;
    if (winlogon.OpenKey(HKEY_CURRENT_USER, kWinlogonKey, OPEN_CREATE)) {
        winlogon.WriteStringA("Shell", "Explorer.exe", STRTYPE_KEEP);
        winlogon.CloseKey();
    } else {
        RUNLOG(
            Tx("errmes():レジストリキー 'Winlogon' を開けません。", "errmes():Cannot open registry key 'Winlogon.'"));
    }
    AuditAfterRecovery();
    RegFlushKey(HKEY_CURRENT_USER);
    if (!g_exitWindowsEx(EWX_REBOOT, 0)) g_exitWindowsEx(EWX_REBOOT | EWX_FORCE, 0);
}

// ---- The thread ---------------------------------------------------------------------------------

namespace {

// Ends the process: the window's procedure posts the quit message.
void EndWindow(HWND window) {
    RUNTRACE("mainThread:80");
    SendMessageA(window, WM_DESTROY, 0, 0);
    RUNTRACE("mainThread:90");
}

DWORD LongestValueLength(REGA &key) {
    DWORD longest = 0;
    if (RegQueryInfoKeyA(key.Handle(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &longest,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return 0;
    return longest;
}

// Opens the list; false (after telling the user) when there is none to walk.
bool OpenList(Walk &walk, int *start, DWORD *bufferSize) {
    if (!OpenSettings(walk.key, OPEN_CREATE)) {
        RUNTRACE("mainThread:70");
        ShowMessage(nullptr, {"QS.EXE はレジストリキーを開けません。", "QS.EXE cannot open the Registory Key."},
                    MB_ICONWARNING);
        errmes();
        return false;
    }
    RUNTRACE("mainThread:10");
    *bufferSize = LongestValueLength(walk.key) + 1;
    RUNTRACE("mainThread:20");
    *start = FindFirstEntry(walk.key);
    RUNTRACE("mainThread:30");
    if (*start < 0) {
        walk.key.CloseKey();
        ShowMessage(nullptr,
                    {"レジストリキーは開けましたが、コマンドリストが見つかりません。",
                     "The registory key was opened. But, command list is not found."},
                    MB_ICONWARNING);
        errmes();
        RUNTRACE("mainThread:31");
        RUNTRACE("mainThread:32");
        return false;
    }
    return true;
}

} // namespace

unsigned __stdcall mainThread(void *window) {
    Walk walk;
    walk.window = static_cast<HWND>(window);
    walk.runClock = GetTickCount();
    RUNTRACE("mainThread:00");
    int start = -1;
    DWORD bufferSize = 0;
    if (!OpenList(walk, &start, &bufferSize)) {
        EndWindow(walk.window);
        return 0;
    }
    RUNTRACE("mainThread:40");
    walk.pause = ClampedWait(setting::wait.name, ReadSetting(walk.key, setting::wait));
    ShuntWallpaper(walk);
    RUNTRACE("mainThread:50");
    ShuntScreenSaver(walk);
    RUNTRACE("mainThread:60");
    if (!WalkCommandList(walk, start, bufferSize)) {
        walk.key.CloseKey();
        ShowMessage(nullptr, {"メモリが足りません。", "Out of memory."}, MB_ICONWARNING);
        RUNTRACE("mainThread:11");
        EndWindow(walk.window);
        return 0;
    }
    if (!walk.ended) {
        RUNTRACE("mainThread:64");
        walk.key.CloseKey();
    }
    RUNTRACE("mainThread:65");
    RUNTRACE("mainThread:66");
    EndWindow(walk.window);
    return 0;
}

UniqueHandle StartWorker(WorkerEntry entry, HWND window) {
    // _beginthreadex, unlike _beginthread, leaves the handle open, so the window thread can wait
    // for the worker's end.
    uintptr_t thread = _beginthreadex(nullptr, 0, entry, window, 0, nullptr);
    return UniqueHandle(reinterpret_cast<HANDLE>(thread));
}
