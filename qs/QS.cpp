// QS, the Quiet Shell: program entry. Started by Windows in place of the shell (or from RunOnce)
// after the planner's restart, it walks the command list on its worker thread and ends the run.
#include "QS.h"

#include "language.h"
#include "platform.h"
#include "runlog.h"
#include "settings.h"
#include "winhandle.h"

#include <string>

namespace {

void CriticalError(HWND owner, const char *text) {
    ShowMessageBox(owner, text, Tx("重大なエラー", "Critical Error"), MB_ICONERROR);
}

// Reads the two values the start needs; true when this QS may run (no other one holds the list).
bool TakeSingleInstance(UniqueHandle *mutex) {
    REGA key;
    bool opened = OpenSettings(key, OPEN_READONLY);
    LONG enableDouble = opened ? ReadSetting(key, setting::enable_double) : 0;
    if (opened) {
        SetTraceMode(ReadSetting(key, setting::fjlog) != 0);
        key.CloseKey();
    }
    if (enableDouble != 0) return true;
    mutex->Reset(CreateMutexA(nullptr, TRUE, "korvane"));
    if (GetLastError() != ERROR_ALREADY_EXISTS) return true;
    RUNLOG("QS.EXE error - Mutex Object is already exist.");
    return false;
}

std::string WindowsFolder() {
    char folder[MAX_PATH] = "";
    UINT length = GetWindowsDirectoryA(folder, sizeof folder);
    return length < sizeof folder ? folder : "";
}

void TraceStamp(const char *pattern) {
    if (!TraceMode()) return;
    char text[128];
    snprintf(text, sizeof text, pattern, BuildStamp());
    RUNLOG(text);
}

HWND CreateWindowOrFail() {
    RUNTRACE("WinMain:50");
    if (!RegisterQsWindowClass(g_instance)) {
        CriticalError(nullptr, "Error in RegisterClassEx()");
        return nullptr;
    }
    HWND window = CreateQsWindow(g_instance, g_windowsVersion);
    if (!window) {
        CriticalError(nullptr, "Error in CreateWindowEx()");
        return nullptr;
    }
    RUNTRACE("WinMain:60");
    ShowWindow(window, SW_HIDE);
    UpdateWindow(window);
    RUNTRACE("WinMain:61");
    return window;
}

// The normal start hands the worker's handle to worker.
bool BeginStartMode(HWND window, const StartSwitch &start, UniqueHandle *worker) {
    if (start.mode == StartMode::Normal) {
        RUNTRACE("WinMain:62");
        *worker = StartWorker(mainThread, window);
        if (!*worker) {
            CriticalError(window, "Error in _beginthread()");
            return false;
        }
        return true;
    }
    RUNTRACE("WinMain:71");
    if (start.mode == StartMode::BlackScreen) {
        RUNTRACE("WinMain:72");
        SendMessageA(window, kQsBlackScreenOn, 0, 0);
        RUNTRACE("WinMain:73");
    } else {
        RUNTRACE("WinMain:74");
        SendMessageA(window, kQsShowNotice, 0, reinterpret_cast<LPARAM>(start.text.c_str()));
        RUNTRACE("WinMain:75");
    }
    RUNTRACE("WinMain:76");
    return true;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    InitRunLog("QS");
    StartSwitch start = ParseStartSwitch(commandLine);
    if (start.mode == StartMode::EndBlackScreen) {
        if (HWND other = FindWindowA("WarnDlg", nullptr)) SendMessageA(other, WM_DESTROY, 0, 0);
        return 0;
    }
    g_instance = instance;
    g_windowsVersion = GetWindowsVersionCode();
    DecideLanguage(Program::QuietShell);
    AllowDropFromLowerProcesses();
    SetProgramDirectory();

    UniqueHandle mutex;
    if (start.mode == StartMode::Normal && !TakeSingleInstance(&mutex)) return 0;
    TraceStamp("QS.EXE(%s) - start");
    RUNTRACE("WinMain:40");

    // Every command of the list starts from the System folder.
    SetCurrentDirectoryA(SystemFolder());
    RepairPathEnvironment(WindowsFolder(), SystemFolder());

    HWND window = CreateWindowOrFail();
    UniqueHandle worker;
    if (!window || !BeginStartMode(window, start, &worker)) return 1;
    SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
    int code = RunMessageLoop(worker.Get(), kWorkerEndTimeout);
    SetThreadExecutionState(ES_CONTINUOUS);
    mutex.Reset();
    TraceStamp("QS.EXE(%s) - end");
    return code;
}
