// How fast the configurator comes up: from the start of KORVANE.EXE (beside this program) to its
// main window on the screen, and to the normal-mode panel with the information texts of all 26
// drive boxes (the tooltips of the panel). Watched from outside, as a user would see it.
//   startup_bench [runs]
#include "watch.h"

#include <cstdlib>

namespace {

using namespace watch;

struct Run {
    double window = -1, panel = -1;
};

// Starts KORVANE.EXE, waits for what the screen shows, and closes it again.
bool MeasureOnce(const std::string &program, bool normalMode, Run *run) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    std::string commandLine = "\"" + program + "\"";
    double begin = Now();
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
        fprintf(stderr, "cannot start %s (error %lu)\n", program.c_str(), GetLastError());
        return false;
    }
    Found found = {started.dwProcessId, nullptr};
    while (!found.window && Now() - begin < kTimeoutMs) {
        EnumWindows(FindMain, reinterpret_cast<LPARAM>(&found));
        if (!found.window) Sleep(1);
    }
    run->window = Now() - begin;
    bool ok = found.window != nullptr;
    if (ok && normalMode) {
        Found tips = {1, nullptr};
        while (tips.process && Now() - begin < kTimeoutMs) {
            tips.window = found.window;
            EnumWindows(FindPanelTips, reinterpret_cast<LPARAM>(&tips));
            if (tips.process) Sleep(1);
        }
        run->panel = Now() - begin;
        ok = tips.process == 0;
    }
    if (found.window) PostMessageA(found.window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(started.hProcess, kTimeoutMs) != WAIT_OBJECT_0) TerminateProcess(started.hProcess, 1);
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    if (!ok) fprintf(stderr, "KORVANE.EXE did not show its %s\n", found.window ? "panel" : "window");
    return ok;
}

} // namespace

int main(int argc, char **argv) {
    int runs = argc > 1 ? atoi(argv[1]) : 10;
    if (runs < 1) runs = 1;
    std::string program = ProgramBesideUs();
    if (GetFileAttributesA(program.c_str()) == INVALID_FILE_ATTRIBUTES) {
        fprintf(stderr, "no %s\n", program.c_str());
        return 2;
    }
    // English, and no first-start questions (restore point, hot-weather warning) to wait for.
    SetEnvironmentVariableA("RNSLANG", "EN");
    SetDword("CreateRestorePoint", 0);
    SetDword("warn_summer", 1);

    std::vector<double> selection, window, panel;
    Run run;
    // The first start of a fresh machine makes the run log and loads every library once.
    if (!SetDword("mode", 0) || !MeasureOnce(program, false, &run)) return 1;
    for (int i = 0; i < runs; ++i) {
        SetDword("mode", 0);
        if (!MeasureOnce(program, false, &run)) return 1;
        selection.push_back(run.window);
        SetDword("mode", 1);
        if (!MeasureOnce(program, true, &run)) return 1;
        window.push_back(run.window);
        panel.push_back(run.panel);
    }
    printf("KORVANE.EXE start-up, %d runs each (aim: the window under 300 ms):\n", runs);
    Report("to the window, mode selection", selection);
    Report("to the window, normal mode", window);
    Report("to the normal-mode panel with its 26 drive texts", panel);
    return 0;
}
