// How fast the configurator comes up: from the start of KORVANE.EXE (beside this program) to its
// main window on the screen, and to the normal-mode panel with the information texts of all 26
// drive boxes (the tooltips of the panel). Watched from outside, as a user would see it.
//   startup_bench [runs]
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const char kSettingsPath[] = "Software\\Halvornix\\Korvane\\CurrentVersion";
// The panel's own tips and one per drive box.
constexpr LRESULT kPanelTips = 22 + 26;
constexpr DWORD kTimeoutMs = 60000;

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool SetDword(const char *name, DWORD value) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    bool set =
        RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value), sizeof value) == ERROR_SUCCESS;
    RegCloseKey(key);
    return set;
}

struct Found {
    DWORD process;
    HWND window;
};

BOOL CALLBACK FindMain(HWND window, LPARAM parameter) {
    Found *found = reinterpret_cast<Found *>(parameter);
    char name[32] = "";
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == found->process && GetClassNameA(window, name, sizeof name) && strcmp(name, "korvane") == 0 &&
        IsWindowVisible(window)) {
        found->window = window;
        return FALSE;
    }
    return TRUE;
}

// The panel's tooltip window holds every tip once they are all added. A pop-up is owned by the
// top-level window of the child it was made for, so the main window owns it.
BOOL CALLBACK FindPanelTips(HWND window, LPARAM parameter) {
    Found *found = reinterpret_cast<Found *>(parameter);
    char name[32] = "";
    if (GetClassNameA(window, name, sizeof name) && strcmp(name, TOOLTIPS_CLASSA) == 0 &&
        GetWindow(window, GW_OWNER) == found->window) {
        DWORD_PTR count = 0;
        if (SendMessageTimeoutA(window, TTM_GETTOOLCOUNT, 0, 0, SMTO_ABORTIFHUNG, 1000, &count) &&
            static_cast<LRESULT>(count) >= kPanelTips) {
            found->process = 0;
            return FALSE;
        }
    }
    return TRUE;
}

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

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void Report(const char *what, const std::vector<double> &times) {
    printf("  %-52s median %7.1f ms, best %7.1f ms, worst %7.1f ms\n", what, Median(times),
           *std::min_element(times.begin(), times.end()), *std::max_element(times.begin(), times.end()));
}

std::string ProgramBesideUs() {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder = path;
    folder.erase(folder.find_last_of('\\') + 1);
    return folder + "KORVANE.EXE";
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
