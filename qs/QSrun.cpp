// Command execution: one external command line of the list, started as a process.
#include "QS.h"

#include "language.h"
#include "platform.h"
#include "runlog.h"
#include "winhandle.h"

#include <cstdio>
#include <string>

namespace {

// Every attempt is started the same way: no handles inherited, QS's environment (with its
// repaired PATH) and current folder (the System folder), shown normally.
bool StartProcess(const std::string &commandLine, PROCESS_INFORMATION *started) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    std::string writable = commandLine; // CreateProcessA may write into its command line
    return CreateProcessA(nullptr, &writable[0], nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                          &startup, started) != FALSE;
}

void TraceLastError() {
    if (TraceMode()) RUNLOG(SystemErrorText(IsJapanese(), GetLastError()));
}

// A command the process cannot start directly (an interpreter built-in, a document) goes through
// the command interpreter, and failing that through its START command.
bool StartWithFallbacks(const char *commandLine, PROCESS_INFORMATION *started) {
    if (StartProcess(commandLine, started)) return true;
    static const struct {
        const char *prefix;
        const char *japaneseOk;
    } kFallbacks[] = {
        {"CMD.EXE /C ", "  OK (コマンド インタープリターの起動だけを確認しました。コマンドの結果ではありません)"},
        {"CMD.EXE /C START ", "  OK (START の起動だけを確認しました)"},
    };
    for (const auto &fallback : kFallbacks) {
        TraceLastError();
        std::string line = std::string(fallback.prefix) + commandLine;
        if (TraceMode()) RUNLOG(line.c_str());
        if (StartProcess(line, started)) {
            if (TraceMode()) RUNLOG(Tx(fallback.japaneseOk, "  OK"));
            return true;
        }
    }
    TraceLastError();
    return false;
}

} // namespace

bool RunProgram(const char *commandLine, bool wait, LONG *lastExitCode) {
    if (*commandLine == '@') {
        ++commandLine;
        if (TraceMode()) RUNLOG2("Command Line(@) - ", commandLine);
    } else {
        RUNLOG2("Command Line - ", commandLine);
    }
    PROCESS_INFORMATION started = {};
    if (!StartWithFallbacks(commandLine, &started)) return false;
    UniqueHandle process(started.hProcess);
    UniqueHandle thread(started.hThread);
    WaitForInputIdle(process.Get(), INFINITE);
    *lastExitCode = 0;
    if (!wait) {
        if (TraceMode()) RUNLOG("No Wait");
        return true;
    }
    if (TraceMode()) RUNLOG("Wait");
    WaitForSingleObject(process.Get(), INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.Get(), &exitCode);
    *lastExitCode = static_cast<LONG>(exitCode);
    char code[16];
    snprintf(code, sizeof code, "%ld", static_cast<long>(*lastExitCode));
    RUNLOG2("  Return Code = ", code);
    return true;
}
