// korvane: start-up of the configurator.
#include "korvane.h"
#include "rnsrun.h"

#include "language.h"
#include "platform.h"
#include "runlog.h"
#include "settings.h"

#include <cstdio>

namespace {

const char kLogModule[] = "korvane";

// The first switch of the command line: only its first two characters count.
const char *SwitchOf(const char *commandLine) {
    while (*commandLine == ' ' || *commandLine == '\t')
        ++commandLine;
    return commandLine;
}

// /A, with the digit of the run kind right after the letter when there is one (-1 otherwise).
bool ParseAutoSwitch(const char *commandLine, int *selected) {
    const char *at = SwitchOf(commandLine);
    *selected = -1;
    if (at[0] != '/' || (at[1] != 'A' && at[1] != 'a')) return false;
    if (at[2] >= '0' && at[2] <= '3') *selected = at[2] - '0';
    return true;
}

void StoreSelected(int selected) {
    REGA key;
    if (!OpenSettings(key, OPEN_CREATE)) {
        ReportRegistryError(kSettingsLocation, kLogModule);
        return;
    }
    key.WriteIntegerA(setting::Selected.name, selected);
    key.CloseKey();
}

// Reads enable_double and fjlog; sets the trace mode. Returns enable_double.
bool ReadStartSettings() {
    REGA key;
    if (!OpenSettings(key, OPEN_READONLY)) return false;
    SetTraceMode(ReadSetting(key, setting::fjlog) != 0);
    bool enableDouble = ReadSetting(key, setting::enable_double) != 0;
    key.CloseKey();
    return enableDouble;
}

// False when another korvane holds the mutex; that one is brought to the front when it can be.
bool TakeSingleInstance(bool commandGiven) {
    g_instanceMutex = CreateMutexA(nullptr, TRUE, "korvane");
    if (GetLastError() != ERROR_ALREADY_EXISTS) return true;
    HWND other = FindWindowA("korvane", nullptr);
    if (g_autoMode || commandGiven) {
        ShowMessage(nullptr,
                    {"Korvane.exe は既に起動しています。タイドウェルのウィンドウを閉じてください。",
                     "Korvane.exe is already running. You must close Window of Tidewell."},
                    MB_ICONERROR);
    } else if (other) {
        if (IsIconic(other)) ShowWindow(other, SW_RESTORE);
        SetForegroundWindow(GetLastActivePopup(other));
    } else {
        ShowMessage(nullptr, {"Korvane.exe は既に起動しています。", "Korvane.exe is already running."}, 0);
    }
    return false;
}

void TraceStamp(const char *pattern) {
    if (!TraceMode()) return;
    char text[128];
    snprintf(text, sizeof text, pattern, BuildStamp());
    RUNLOG(text);
}

// The mutex is held to the end of the process unless the planner handed it to QS.
struct InstanceMutexOwner {
    ~InstanceMutexOwner() {
        if (g_instanceMutex) CloseHandle(g_instanceMutex);
        g_instanceMutex = nullptr;
    }
};

} // namespace

bool ApplyLanguageSwitch(const char *commandLine) {
    const char *at = SwitchOf(commandLine);
    if (at[0] != '/') return false;
    switch (at[1]) {
    case 'J':
    case 'j':
        SetLanguage(Program::Korvane, true);
        return true;
    case 'N':
    case 'n':
        SetLanguage(Program::Korvane, false);
        return true;
    default:
        return false;
    }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    g_instance = instance;
    g_windowsVersion = GetWindowsVersionCode();

    DecideLanguage(Program::Korvane);
    ApplyLanguageSwitch(commandLine);

    // Lets a non-elevated Explorer drop files on us.
    AllowDropFromLowerProcesses();

    if (!SetProgramDirectory()) {
        ShowMessage(
            nullptr,
            {"プログラム自身の EXE ファイルがあるフォルダーを特定できませんでした。EXE ファイルは、ローカル"
             "コンピューター上の、英数字とアンダースコアだけからなる 230 バイト以内の名前のフォルダーに置くことを"
             "お勧めします。",
             "We were not able to locate the folder containing the exe file of its own. folder to be placed "
             "the exe file, we recommend that you be in the name of 230 bytes or less, which is configured on "
             "the local computer, only the alphabet, digits, and underscores."},
            MB_ICONERROR);
        return 1;
    }
    char module[520];
    DWORD length = GetModuleFileNameA(nullptr, module, sizeof module);
    if (length == 0 || length >= sizeof module) {
        ShowMessage(nullptr, {"GetModuleFileName に失敗しました。", "GetModuleFileName failed."}, MB_ICONERROR);
        return 1;
    }
    InitRunLog("KV");

    int selected;
    g_autoMode = ParseAutoSwitch(commandLine, &selected);
    if (selected >= 0) StoreSelected(selected);

    InstanceMutexOwner mutexOwner;
    bool enableDouble = ReadStartSettings();
    if (!enableDouble && !TakeSingleInstance(false)) return 0;
    TraceStamp("KORVANE.EXE(%s) - start");

    if (g_autoMode) {
        PlanRinsaRun();
        return 0;
    }
    // The main window and its message loop come with the configurator's screens; until then a
    // start without /A ends here.
    TraceStamp("KORVANE.EXE(%s) - end");
    return 0;
}
