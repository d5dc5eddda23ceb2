// What the benchmarks that watch KORVANE.EXE from outside share: a clock, the settings they set
// first, starting it and finding its main window and dialogs, and the report of a series of times.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace watch {

constexpr char kSettingsPath[] = "Software\\Halvornix\\Korvane\\CurrentVersion";
// The panel's own tips and one per drive box.
constexpr LRESULT kPanelTips = 22 + 26;
constexpr DWORD kTimeoutMs = 60000;

inline double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

inline bool SetDword(const char *name, DWORD value) {
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

inline BOOL CALLBACK FindMain(HWND window, LPARAM parameter) {
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
inline BOOL CALLBACK FindPanelTips(HWND window, LPARAM parameter) {
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

inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

inline void Report(const char *what, const std::vector<double> &times) {
    printf("  %-52s median %7.1f ms, best %7.1f ms, worst %7.1f ms\n", what, Median(times),
           *std::min_element(times.begin(), times.end()), *std::max_element(times.begin(), times.end()));
}

// Polls until the condition holds; false after kTimeoutMs from begin.
template <typename Condition> bool WaitFor(Condition condition, double begin) {
    while (!condition()) {
        if (Now() - begin > kTimeoutMs) return false;
        Sleep(1);
    }
    return true;
}

struct Titled {
    DWORD process;
    const char *title;
    HWND window;
};

inline BOOL CALLBACK FindTitledDialog(HWND window, LPARAM parameter) {
    Titled *wanted = reinterpret_cast<Titled *>(parameter);
    char name[32] = "", title[128] = "";
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == wanted->process && GetClassNameA(window, name, sizeof name) && strcmp(name, "#32770") == 0 &&
        GetWindowTextA(window, title, sizeof title) && strcmp(title, wanted->title) == 0 && IsWindowVisible(window)) {
        wanted->window = window;
        return FALSE;
    }
    return TRUE;
}

// A visible dialog of the process with this title, or null.
inline HWND FindDialog(DWORD process, const char *title) {
    Titled wanted = {process, title, nullptr};
    EnumWindows(FindTitledDialog, reinterpret_cast<LPARAM>(&wanted));
    return wanted.window;
}

inline std::string ProgramBesideUs() {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder = path;
    folder.erase(folder.find_last_of('\\') + 1);
    return folder + "KORVANE.EXE";
}

// KORVANE.EXE beside us, started in English in the normal mode without the questions of a first
// start, with its main window found.
struct Korvane {
    PROCESS_INFORMATION process = {};
    HWND window = nullptr;
};

inline bool StartInNormalMode(Korvane *started) {
    std::string program = ProgramBesideUs();
    SetEnvironmentVariableA("RNSLANG", "EN");
    SetDword("CreateRestorePoint", 0);
    SetDword("warn_summer", 1);
    SetDword("mode", 1);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::string commandLine = "\"" + program + "\"";
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &started->process)) {
        fprintf(stderr, "cannot start %s (error %lu)\n", program.c_str(), GetLastError());
        return false;
    }
    Found found = {started->process.dwProcessId, nullptr};
    WaitFor([&] { return EnumWindows(FindMain, reinterpret_cast<LPARAM>(&found)), found.window != nullptr; }, Now());
    started->window = found.window;
    return true;
}

// Closes the main window and waits for the program to end (ends it when it does not).
inline void Stop(Korvane &started) {
    if (started.window) PostMessageA(started.window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(started.process.hProcess, kTimeoutMs) != WAIT_OBJECT_0)
        TerminateProcess(started.process.hProcess, 1);
    CloseHandle(started.process.hThread);
    CloseHandle(started.process.hProcess);
}

} // namespace watch
