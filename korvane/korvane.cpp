// korvane: start-up of the configurator.
#include "korvane.h"

#include "language.h"
#include "platform.h"

bool ApplyLanguageSwitch(const char *commandLine) {
    while (*commandLine == ' ' || *commandLine == '\t')
        ++commandLine;
    if (commandLine[0] != '/') return false;
    switch (commandLine[1]) {
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
    return 0;
}
