// QS, the Quiet Shell: program entry.
#include "QS.h"

#include "language.h"
#include "platform.h"

HINSTANCE g_instance = nullptr;
unsigned short g_windowsVersion = 0;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    g_instance = instance;
    g_windowsVersion = GetWindowsVersionCode();
    DecideLanguage(Program::QuietShell);
    AllowDropFromLowerProcesses();
    SetProgramDirectory();
    return 0;
}
