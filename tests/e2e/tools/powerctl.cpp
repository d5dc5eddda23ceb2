// A program that asks Windows for a power action, for the tests of the restart harness. It plays
// what QS does at the end of a run, without QS's command list:
//
//   powerctl.exe [--window] [--runonce NAME COMMAND] [--sleep MS] [--exit FLAGS] [--code N]
//
// The options run in their order. With --window they run on a worker thread while the main
// thread owns a hidden window and answers its messages, as QS does. FLAGS is a number or names
// joined by "+": reboot, shutdown, poweroff, logoff, force, forceifhung; a list of them joined by
// "," is used one per start, so that the same shell can restart once and then shut down: the
// n-th start of powerctl (counted in its log) uses the n-th, "-" or a missing one asks for
// nothing. --sleep -1 never ends.
//
// Every start appends "start <pid> <command line>" to C:\tests\powerctl.log, each ExitWindowsEx
// "exit <pid> <flags> <result> <error>", each end-of-session message "<message> <pid> <wParam>",
// and the end "end <pid> <code>", so a test can tell which process came back after a restart.
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char kLogPath[] = "C:\\tests\\powerctl.log";

struct Run {
    int argc;
    char **argv;
    int code;
    HWND window;
};

void LogLine(const char *format, ...) {
    FILE *file = std::fopen(kLogPath, "a");
    if (!file) return;
    va_list args;
    va_start(args, format);
    std::vfprintf(file, format, args);
    va_end(args);
    std::fputc('\n', file);
    std::fclose(file);
}

// How many times powerctl has started, this start included.
int StartCount() {
    FILE *file = std::fopen(kLogPath, "r");
    if (!file) return 0;
    int count = 0;
    char line[1024];
    while (std::fgets(line, sizeof line, file))
        count += std::strncmp(line, "start ", 6) == 0;
    std::fclose(file);
    return count;
}

// The list entry for this start; false when there is none.
bool PickForThisStart(const char *list, char *entry, size_t size) {
    int wanted = StartCount() - 1;
    const char *p = list;
    for (int i = 0; i < wanted && p; ++i) {
        p = std::strchr(p, ',');
        p = p ? p + 1 : nullptr;
    }
    if (!p) return false;
    size_t length = std::strcspn(p, ",");
    if (length >= size) length = size - 1;
    std::memcpy(entry, p, length);
    entry[length] = '\0';
    return length > 0 && std::strcmp(entry, "-") != 0;
}

bool ParseFlags(const char *text, UINT *flags) {
    char *end = nullptr;
    unsigned long number = std::strtoul(text, &end, 0);
    if (end != text && *end == '\0') {
        *flags = static_cast<UINT>(number);
        return true;
    }
    static const struct {
        const char *name;
        UINT flag;
    } kNames[] = {{"reboot", EWX_REBOOT}, {"shutdown", EWX_SHUTDOWN}, {"poweroff", EWX_POWEROFF},
                  {"logoff", EWX_LOGOFF}, {"force", EWX_FORCE},       {"forceifhung", EWX_FORCEIFHUNG}};
    *flags = 0;
    char copy[256];
    lstrcpynA(copy, text, sizeof copy);
    for (char *name = std::strtok(copy, "+"); name; name = std::strtok(nullptr, "+")) {
        bool known = false;
        for (const auto &entry : kNames) {
            if (lstrcmpiA(name, entry.name) == 0) {
                *flags |= entry.flag;
                known = true;
            }
        }
        if (!known) return false;
    }
    return true;
}

// Windows refuses ExitWindowsEx to a process whose token lacks SeShutdownPrivilege enabled.
void EnableShutdownPrivilege() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return;
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid))
        AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    CloseHandle(token);
}

bool WriteRunOnce(const char *name, const char *command) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce", 0, nullptr, 0,
                        KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    LONG result = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(command),
                                 static_cast<DWORD>(std::strlen(command) + 1));
    RegFlushKey(key);
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

int Usage(const char *problem) {
    LogLine("usage error: %s", problem);
    std::fprintf(stderr,
                 "powerctl: %s\nusage: powerctl.exe [--window] [--runonce NAME COMMAND] [--sleep MS] "
                 "[--exit FLAGS] [--code N]\n",
                 problem);
    return 2;
}

// Options that take no value here were handled before the run started.
int RunOptions(Run *run) {
    for (int i = 1; i < run->argc; ++i) {
        const char *option = run->argv[i];
        bool hasValue = i + 1 < run->argc;
        if (std::strcmp(option, "--window") == 0) {
            continue;
        } else if (std::strcmp(option, "--runonce") == 0 && i + 2 < run->argc) {
            if (!WriteRunOnce(run->argv[i + 1], run->argv[i + 2])) return Usage("cannot write the RunOnce value");
            i += 2;
        } else if (std::strcmp(option, "--sleep") == 0 && hasValue) {
            int milliseconds = std::atoi(run->argv[++i]);
            Sleep(milliseconds < 0 ? INFINITE : static_cast<DWORD>(milliseconds));
        } else if (std::strcmp(option, "--exit") == 0 && hasValue) {
            char entry[256];
            UINT flags = 0;
            if (!PickForThisStart(run->argv[++i], entry, sizeof entry)) continue;
            if (!ParseFlags(entry, &flags)) return Usage("unknown power flags");
            EnableShutdownPrivilege();
            BOOL done = ExitWindowsEx(flags, SHTDN_REASON_FLAG_PLANNED);
            LogLine("exit %lu %u %d %lu", GetCurrentProcessId(), flags, done ? 1 : 0, done ? 0 : GetLastError());
        } else if (std::strcmp(option, "--code") == 0 && hasValue) {
            run->code = std::atoi(run->argv[++i]);
        } else {
            return Usage("unknown option or missing value");
        }
    }
    return run->code;
}

DWORD WINAPI Worker(void *parameter) {
    Run *run = static_cast<Run *>(parameter);
    run->code = RunOptions(run);
    PostMessageA(run->window, WM_CLOSE, 0, 0);
    return 0;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_QUERYENDSESSION:
        LogLine("queryendsession %lu %u", GetCurrentProcessId(), static_cast<unsigned>(wParam));
        break;
    case WM_ENDSESSION:
        LogLine("endsession %lu %u", GetCurrentProcessId(), static_cast<unsigned>(wParam));
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// The window belongs to the main thread, which keeps answering while the worker runs.
int RunWithWindow(Run *run) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "PowerctlWindow";
    if (!RegisterClassA(&windowClass)) return Usage("cannot register the window class");
    run->window = CreateWindowExA(WS_EX_TOOLWINDOW, windowClass.lpszClassName, "powerctl", WS_POPUP, 0, 0, 100, 100,
                                  nullptr, nullptr, windowClass.hInstance, nullptr);
    if (!run->window) return Usage("cannot create the window");
    HANDLE worker = CreateThread(nullptr, 0, Worker, run, 0, nullptr);
    if (!worker) return Usage("cannot start the worker thread");
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0)
        DispatchMessageA(&message);
    WaitForSingleObject(worker, INFINITE);
    CloseHandle(worker);
    return run->code;
}

} // namespace

int main(int argc, char **argv) {
    LogLine("start %lu %s", GetCurrentProcessId(), GetCommandLineA());
    Run run = {argc, argv, 0, nullptr};
    bool window = false;
    for (int i = 1; i < argc; ++i)
        window = window || std::strcmp(argv[i], "--window") == 0;
    int code = window ? RunWithWindow(&run) : RunOptions(&run);
    LogLine("end %lu %d", GetCurrentProcessId(), code);
    return code;
}
