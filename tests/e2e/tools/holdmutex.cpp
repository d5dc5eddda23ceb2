// Holds a named mutex the way a program that is still ending would, for the tests of programs that
// wait for one:
//
//   holdmutex.exe NAME MS release|abandon [PROGRAM [ARGUMENTS...]]
//
// Creates NAME owned, starts PROGRAM (when given) with its arguments, waits MS milliseconds and
// ends: with "release" it lets go of the mutex first, with "abandon" it ends still owning it, as a
// program that was ended leaves it. Exit code 0, 1 when the mutex existed already or PROGRAM could
// not be started, 2 for a wrong command line.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool Start(int count, char **words) {
    std::string commandLine;
    for (int i = 0; i < count; ++i) {
        if (i > 0) commandLine += ' ';
        bool quote = std::strchr(words[i], ' ') != nullptr;
        commandLine.append(quote ? "\"" : "").append(words[i]).append(quote ? "\"" : "");
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

} // namespace

int main(int argc, char **argv) {
    bool release = argc >= 4 && std::strcmp(argv[3], "release") == 0;
    if (argc < 4 || (!release && std::strcmp(argv[3], "abandon") != 0)) {
        std::fprintf(stderr, "usage: holdmutex NAME MS release|abandon [PROGRAM [ARGUMENTS...]]\n");
        return 2;
    }
    HANDLE mutex = CreateMutexA(nullptr, TRUE, argv[1]);
    if (!mutex || GetLastError() == ERROR_ALREADY_EXISTS) {
        std::fprintf(stderr, "holdmutex: %s exists already\n", argv[1]);
        return 1;
    }
    std::printf("held %s\n", argv[1]);
    std::fflush(stdout);
    if (argc > 4 && !Start(argc - 4, argv + 4)) {
        std::fprintf(stderr, "holdmutex: cannot start %s (error %lu)\n", argv[4], GetLastError());
        return 1;
    }
    Sleep(DWORD(std::strtoul(argv[2], nullptr, 10)));
    if (release) ReleaseMutex(mutex);
    return 0;
}
