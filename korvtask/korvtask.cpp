// korvtask: the resident scheduler, program entry.
#include "korvtask.h"

#include "language.h"
#include "platform.h"

HINSTANCE g_instance = nullptr;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    g_instance = instance;
    DecideLanguage(Program::Scheduler);
    SetProgramDirectory();
    AllowDropFromLowerProcesses();
    return 0;
}
