// Stands in for the resident scheduler in the tests of korvane /I: a hidden window of the
// scheduler's class "korvane_task_sr" that ends when it receives WM_DESTROY, as the scheduler does.
// Every start appends "start <pid> <size of its own file> <command line>" to C:\tests\tasksr.log
// and every end "end <pid>", so a test can tell which file ran and how it was started.
#include <windows.h>

#include <cstdio>

namespace {

const char kLogPath[] = "C:\\tests\\tasksr.log";

void LogLine(const char *kind, const char *rest) {
    CreateDirectoryA("C:\\tests", nullptr);
    FILE *file = std::fopen(kLogPath, "a");
    if (!file) return;
    std::fprintf(file, "%s %lu %s\n", kind, GetCurrentProcessId(), rest);
    std::fclose(file);
}

unsigned long long OwnFileSize() {
    char path[MAX_PATH];
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetModuleFileNameA(nullptr, path, sizeof path) || !GetFileAttributesExA(path, GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    char line[1024];
    std::snprintf(line, sizeof line, "%llu %s", OwnFileSize(), commandLine);
    LogLine("start", line);
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "korvane_task_sr";
    RegisterClassA(&windowClass);
    CreateWindowExA(0, "korvane_task_sr", "Tidewell scheduler stand-in", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                    nullptr, instance, nullptr);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    LogLine("end", "");
    return 0;
}
