// Stands in for Wine's wineboot.exe in the System folder of a test prefix, so that a restart
// requested by a program plays as on Windows.
//
// Wine's ExitWindowsEx runs "wineboot --end-session" or "wineboot --kill" (plus "--force" and
// "--shutdown" by its flags). For a restart Wine would then at once perform its start-up
// actions inside that call, running the RunOnce programs while the caller still lives; with
// "--kill" it would end Wine's own services too, so that the next program the test runs, even a
// reg.exe reading the registry, boots the prefix again. This stand-in records the request in the
// journal and lets Wine only close the session's windows ("--end-session --shutdown", with
// "--force" for a forced request). The test harness sees the request and plays the restart or
// the power-off itself. Every other call (the start-up "--init" Wine makes when a prefix starts,
// "-r", "-u" ...) passes through unchanged. The real program is kept as
// C:\standins\wine\wineboot.exe.
#include "journal.h"

#include <cwchar>
#include <string>

namespace {

const wchar_t kRealWineboot[] = L"C:\\standins\\wine\\wineboot.exe";

// The arguments: the command line after the program name, quoted or not.
const wchar_t *Arguments(const wchar_t *commandLine) {
    const wchar_t *p = commandLine;
    if (*p == L'"') {
        p = std::wcschr(p + 1, L'"');
        p = p ? p + 1 : commandLine + std::wcslen(commandLine);
    } else {
        while (*p && *p != L' ' && *p != L'\t')
            ++p;
    }
    while (*p == L' ' || *p == L'\t')
        ++p;
    return p;
}

bool HasWord(const std::wstring &arguments, const wchar_t *word) {
    std::wstring padded = L" " + arguments + L" ";
    return padded.find(std::wstring(L" ") + word + L" ") != std::wstring::npos;
}

DWORD Run(std::wstring commandLine) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(kRealWineboot, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return 1;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    std::wstring arguments = Arguments(GetCommandLineW());
    bool forced = HasWord(arguments, L"--kill") || HasWord(arguments, L"--force");
    if (HasWord(arguments, L"--end-session") || HasWord(arguments, L"--kill"))
        arguments = forced ? L"--end-session --force --shutdown" : L"--end-session --shutdown";
    // Recorded first: the end of the session may end this process too.
    standin::AppendJournal("wineboot", "");
    return static_cast<int>(Run(std::wstring(L"\"") + kRealWineboot + L"\" " + arguments));
}
