// schedswap: /I ends the resident scheduler, puts a new KORVTASK.EXE in place and starts it again.
#include "korvane.h"
#include "startup/startup.h"

#include "language.h"
#include "platform.h"
#include "winhandle.h"

#include <shellapi.h>

// ---- Scheduler replacement ------------------------------------------------------------------------

namespace {

// Asks the resident scheduler to end and waits until its process is gone, so its EXE can be replaced.
bool EndResidentScheduler() {
    HWND resident = FindWindowA("korvane_task_sr", nullptr);
    if (!resident) return false;
    DWORD processId = 0;
    GetWindowThreadProcessId(resident, &processId);
    UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(resident, WM_DESTROY, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    Sleep(500);
    if (process) WaitForSingleObject(process.Get(), 5000);
    return true;
}

} // namespace

void ReplaceScheduler() {
    bool wasRunning = EndResidentScheduler();
    if (FileExists("KORVTASK.TMP")) {
        if (CopyFileA("KORVTASK.TMP", "KORVTASK.EXE", FALSE))
            DeleteFileA("KORVTASK.TMP");
        else
            ShowMessage(
                nullptr,
                {"korvtask.tmp を korvtask.exe にコピーできません。", "Cannot copy korvtask.tmp to korvtask.exe."},
                MB_ICONWARNING);
    }
    if (!wasRunning) return;
    INT_PTR started = INT_PTR(ShellExecuteA(nullptr, "open", "KORVTASK.EXE", "/S", ".", SW_SHOWNORMAL));
    if (started <= 32)
        ShowMessage(nullptr, {"korvtask.exe を実行できません。", "korvtask.exe cannot run."}, MB_ICONWARNING);
}
