// What the benchmarks that watch KORVANE.EXE from outside share: a clock, the settings they set
// first, finding its main window, and the report of a series of times.
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

inline std::string ProgramBesideUs() {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder = path;
    folder.erase(folder.find_last_of('\\') + 1);
    return folder + "KORVANE.EXE";
}

} // namespace watch
