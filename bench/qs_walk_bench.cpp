// How much the Quiet Shell's walk costs per entry beside a bare loop that does the same registry
// reads, done marks, process starts and log appends directly.
//
//   qs_walk_bench.exe [entries] [program]
//
// Runs two lists: entries "$LOG" lines, and entries one-line programs (program, default a tiny
// stand-in that exits at once). Prints milliseconds per entry for the walk and the bare loop, and
// their ratio.
#include "QS.h"

#include "language.h"
#include "runlog.h"
#include "settings.h"
#include "winhandle.h"

#include <shlwapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void WriteList(int entries, const std::string &line) {
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, kSettingsPath);
    REGA key;
    OpenSettings(key, OPEN_CREATE);
    for (int i = 0; i < entries; ++i)
        key.WriteStringA(OrderValueName(i).c_str(), line.c_str(), STRTYPE_KEEP);
    key.WriteStringA(OrderValueName(entries).c_str(), "$End Boot", STRTYPE_KEEP);
    key.CloseKey();
}

double WalkMs() {
    LARGE_INTEGER start, end, frequency;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    Walk walk;
    OpenSettings(walk.key, OPEN_CREATE);
    WalkCommandList(walk, FindFirstEntry(walk.key), 1024);
    if (walk.key.IsOpen()) walk.key.CloseKey();
    QueryPerformanceCounter(&end);
    return 1000.0 * double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
}

// The same work by hand: read each entry, mark it, start and wait for the program or log the text,
// then delete the list as the end of a run does.
double BareMs(int entries, bool programs) {
    LARGE_INTEGER start, end, frequency;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    REGA key;
    OpenSettings(key, OPEN_CREATE);
    char line[1024];
    for (int i = 0; i < entries; ++i) {
        std::string name = OrderValueName(i);
        key.ValueExistA(name.c_str());
        key.ReadStringA(name.c_str(), line, sizeof line);
        if (!programs) {
            LogLine("QS", 0, line + 5);
            continue;
        }
        key.WriteStringA(name.c_str(), "", STRTYPE_KEEP);
        RegFlushKey(HKEY_LOCAL_MACHINE);
        LogLine2("QS", 0, "Command Line - ", line);
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        if (CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
            UniqueHandle p(process.hProcess), t(process.hThread);
            WaitForSingleObject(p.Get(), INFINITE);
            LogLine2("QS", 0, "  Return Code = ", "0");
        }
    }
    // The end of a run deletes the list.
    for (int i = 0; i <= entries; ++i)
        key.DeleteValue(OrderValueName(i).c_str());
    key.CloseKey();
    RegFlushKey(HKEY_LOCAL_MACHINE);
    QueryPerformanceCounter(&end);
    return 1000.0 * double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
}

void Measure(const char *name, int entries, const std::string &line, bool programs) {
    WriteList(entries, line);
    double bare = BareMs(entries, programs);
    WriteList(entries, line);
    double walk = WalkMs();
    printf("%-10s %6d entries: walk %.3f ms/entry, bare loop %.3f ms/entry, ratio %.3f\n", name, entries,
           walk / entries, bare / entries, walk / bare);
}

} // namespace

int main(int argc, char **argv) {
    int entries = argc > 1 ? atoi(argv[1]) : 10000;
    std::string program = argc > 2 ? argv[2] : "C:\\tidewell\\NOP.EXE";
    SetLanguage(Program::QuietShell, false);
    SetRunLogPath("C:\\tidewell\\bench.log");
    Measure("$Log", entries, "$LOG a line of the run log", false);
    Measure("programs", entries, program, true);
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, kSettingsPath);
    return 0;
}
