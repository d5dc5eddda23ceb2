// Stands in for the part of Windows' logon that starts the user's shell, which Wine never does:
// it reads the Winlogon value Shell (the user's, else the machine's) and, unless that names
// Explorer, starts it as a command line from the System folder and waits for it to end.
//
// Its output tells the test harness what happened, one line with tab-separated fields:
//   desktop <shell>                      the shell is Explorer: the normal desktop
//   shell <shell> <pid>                  started (written before the wait)
//   ended <pid> <exit code>              the shell ended
//   failed <shell> <error>               the shell could not be started
// The exit code is the shell's, 0 for the desktop, 1 when the shell could not be started.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

const char kWinlogon[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";

std::string ReadShell(HKEY root) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, kWinlogon, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return std::string();
    char value[2048] = "";
    DWORD size = sizeof value - 1, type = 0;
    LONG result = RegQueryValueExA(key, "Shell", nullptr, &type, reinterpret_cast<BYTE *>(value), &size);
    RegCloseKey(key);
    bool text = type == REG_SZ || type == REG_EXPAND_SZ;
    return result == ERROR_SUCCESS && text ? std::string(value) : std::string();
}

// The program part of a command line, quoted or up to the first blank, without folder and ".exe".
bool NamesExplorer(const std::string &shell) {
    std::string program = shell;
    if (!program.empty() && program[0] == '"')
        program = program.substr(1, program.find('"', 1) - 1);
    else
        program = program.substr(0, program.find_first_of(" \t"));
    program = program.substr(program.find_last_of("\\/") + 1);
    if (program.size() > 4 && lstrcmpiA(program.c_str() + program.size() - 4, ".exe") == 0)
        program.resize(program.size() - 4);
    return lstrcmpiA(program.c_str(), "explorer") == 0;
}

int StartShell(std::string shell) {
    char folder[MAX_PATH] = "";
    GetSystemDirectoryA(folder, MAX_PATH);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::string commandLine = shell;
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, folder, &startup, &process)) {
        std::printf("failed\t%s\t%lu\n", shell.c_str(), GetLastError());
        return 1;
    }
    std::printf("shell\t%s\t%lu\n", shell.c_str(), process.dwProcessId);
    std::fflush(stdout);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    std::printf("ended\t%lu\t%lu\n", process.dwProcessId, code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

} // namespace

int main() {
    std::string shell = ReadShell(HKEY_CURRENT_USER);
    if (shell.empty()) shell = ReadShell(HKEY_LOCAL_MACHINE);
    if (shell.empty()) shell = "explorer.exe";
    if (NamesExplorer(shell)) {
        std::printf("desktop\t%s\n", shell.c_str());
        return 0;
    }
    return StartShell(shell);
}
