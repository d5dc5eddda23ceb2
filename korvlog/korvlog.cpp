// KORVLOG: runs a console tool for the run planner and ends with the tool's exit code.
//
//   KORVLOG.EXE -p COMMAND LINE     (what the planner passes before Windows 7)
//   KORVLOG.EXE -c COMMAND LINE     (from Windows 7 on)
//
// Both switches do the same. The tool's command line is the rest of KORVLOG's own command line as
// it was given, so that quotes and switches reach the tool untouched; the tool shares KORVLOG's
// console and standard handles (CMD's redirections included), and the $IFE entries of the command
// list read its exit code from KORVLOG's.
#include "korvlog.h"
#include "platform.h"
#include "winhandle.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

// The system's English text for an error code, without the blanks its line break became.
std::string ErrorText(DWORD code) {
    std::string text = SystemErrorText(false, code);
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

void PrintUsage(const std::string &problem) {
    std::fprintf(stderr,
                 "KORVLOG: %s\n"
                 "usage: KORVLOG.EXE -p COMMAND LINE\n"
                 "       KORVLOG.EXE -c COMMAND LINE\n"
                 "runs the command line in this console and ends with its exit code\n",
                 problem.c_str());
}

// Ctrl+C in the console reaches the tool as well, which decides how to end; KORVLOG stays to
// pass on the tool's exit code. A handler, not SetConsoleCtrlHandler(nullptr, TRUE), because the
// tool would inherit that and could no longer be stopped.
BOOL WINAPI KeepRunningOnBreak(DWORD event) {
    return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT;
}

HANDLE InheritableStdHandle(DWORD which) {
    HANDLE handle = GetStdHandle(which);
    // Fails for the console pseudo-handles of older Windows, which the child gets anyway.
    if (handle && handle != INVALID_HANDLE_VALUE)
        SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    return handle;
}

int RunCommandLine(const std::string &commandLine) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = InheritableStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = InheritableStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = InheritableStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION started = {};
    std::string writable = commandLine; // CreateProcessA may write into the command line it is given
    if (!CreateProcessA(nullptr, &writable[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started)) {
        DWORD error = GetLastError();
        std::fprintf(stderr, "KORVLOG: cannot run \"%s\": %s\n", ProgramOfCommandLine(commandLine).c_str(),
                     ErrorText(error).c_str());
        return kExitCannotStart;
    }
    UniqueHandle process(started.hProcess);
    UniqueHandle thread(started.hThread);
    WaitForSingleObject(process.Get(), INFINITE);
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process.Get(), &exitCode)) {
        std::fprintf(stderr, "KORVLOG: no exit code from \"%s\": %s\n", ProgramOfCommandLine(commandLine).c_str(),
                     ErrorText(GetLastError()).c_str());
        return kExitCannotStart;
    }
    return int(exitCode);
}

} // namespace

// The whole program on its raw command line; the exit code it ends with.
int RunKorvlog(const char *raw) {
    KorvlogCommand command = ParseKorvlogCommandLine(raw ? raw : "");
    if (!command.switchLetter) {
        PrintUsage(command.error);
        return kExitUsage;
    }
    SetConsoleCtrlHandler(KeepRunningOnBreak, TRUE);
    return RunCommandLine(command.commandLine);
}

int main() {
    return RunKorvlog(GetCommandLineA());
}
