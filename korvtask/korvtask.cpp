// korvtask: the scheduler's start-up, in its order, and the dispatch on the switch: the settings
// dialog (no switch), the resident scheduler (/s), or the stop request (/j, /js).
#include "korvtask.h"

#include "language.h"
#include "platform.h"
#include "runlog.h"

namespace {

int RunSettingsDialog(bool administrator) {
    if (!administrator) {
        ShowMessage(nullptr,
                    {"このプログラムは管理者として実行してください。", "This program must be used by Administrator."},
                    MB_ICONERROR);
        return 1;
    }
    NamedMutex single(kSettingsMutex);
    // A dialog that is open keeps its mutex: it stays the only one.
    if (single.Existed() && !single.WaitOwned(kEndingInstanceWaitMs)) return 0;
    ShowSettingsDialog();
    return 0;
}

int RunMessageLoop() {
    MSG message;
    BOOL got;
    while ((got = GetMessageA(&message, nullptr, 0, 0)) != 0 && got != -1) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return got == -1 ? 1 : int(message.wParam);
}

int RunResident(HINSTANCE instance) {
    NamedMutex single(kResidentClass);
    // A resident that is still ending (after Stop, or korvane /I) lets go within moments; one that
    // keeps its mutex is alive, and stays the only one.
    if (single.Existed() && !single.WaitOwned(kEndingInstanceWaitMs)) return 0;
    RegisterResidentClass(instance);
    if (!CreateResidentWindow(instance)) {
        ShowMessage(nullptr, {"メイン ウィンドウを作成できません。", "Cannot create the main window."}, MB_ICONERROR);
        return 1;
    }
    return RunMessageLoop();
}

int RunStopRequest(bool wait) {
    NamedMutex single(kResidentClass);
    if (!single.Existed()) return 0;
    StopResident();
    // Lets a caller start a new resident right after this ends.
    if (wait) Sleep(500);
    return 0;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    g_instance = instance;
    DecideLanguage(Program::Scheduler);
    InitRunLog("KT");
    bool administrator = SchedulerKeyWritable();
    SetProgramDirectory();
    AllowDropFromLowerProcesses();
    switch (ParseStartSwitch(commandLine)) {
    case StartSwitch::Settings:
        return RunSettingsDialog(administrator);
    case StartSwitch::Resident:
        return administrator ? RunResident(instance) : 1;
    case StartSwitch::Stop:
        return administrator ? RunStopRequest(false) : 1;
    case StartSwitch::StopAndWait:
        return administrator ? RunStopRequest(true) : 1;
    }
    return 0;
}
