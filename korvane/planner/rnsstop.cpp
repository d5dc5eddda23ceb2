// rnsstop: stop points of the planner, a test hook. The end-to-end tests kill KORVANE.EXE /A
// right after each system change it makes, to show that the machine can always be put back.
//
// Only a test prefix arms the hook, through the environment variable TIDEWELL_STOP_AT, which no
// part of Tidewell or of Windows sets. Unarmed, a stop point does nothing at all, so the shipped
// behaviour is the same with or without them. Armed, every point reached is noted, as its number,
// a tab and the change it follows, in the file TIDEWELL_STOP_RECORD names (when set); the point
// whose number TIDEWELL_STOP_AT gives ends the process at once with TerminateProcess, as a kill
// would: no destructors, no flush, no further line of the run log.
#include "planner/rnsstop.h"

#include "planner/rnsplan.h"

#include "winhandle.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr UINT kKilledExitCode = 0xDEAD;

int ArmedStopPoint() {
    static const int armed = [] {
        char text[16] = "";
        DWORD length = GetEnvironmentVariableA("TIDEWELL_STOP_AT", text, sizeof text);
        return ParseStopPoint(length > 0 && length < sizeof text ? text : nullptr);
    }();
    return armed;
}

// One line per point, appended and closed at once so that it outlives the kill that follows.
void NoteStopPoint(int number, const char *change) {
    char path[MAX_PATH] = "";
    DWORD length = GetEnvironmentVariableA("TIDEWELL_STOP_RECORD", path, sizeof path);
    if (length == 0 || length >= sizeof path) return;
    UniqueFile file(CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr));
    if (!file) return;
    char line[256];
    int size = snprintf(line, sizeof line, "%d\t%s\r\n", number, change);
    if (size <= 0) return;
    DWORD written = 0;
    WriteFile(file.Get(), line, DWORD(size < int(sizeof line) ? size : int(sizeof line) - 1), &written, nullptr);
}

// Only the planner's thread reaches a stop point, so a plain counter does.
int g_stopPointsReached = 0;

} // namespace

int ParseStopPoint(const char *text) {
    if (!text || !*text || strlen(text) > 9) return -1;
    int number = 0;
    for (const char *c = text; *c; ++c) {
        if (*c < '0' || *c > '9') return -1;
        number = number * 10 + (*c - '0');
    }
    return number;
}

namespace {

void StopIfArmed(const char *change) {
    int armed = ArmedStopPoint();
    if (armed < 0) return;
    int number = ++g_stopPointsReached;
    NoteStopPoint(number, change);
    if (number == armed) TerminateProcess(GetCurrentProcess(), kKilledExitCode);
}

} // namespace

void (*g_stopPointAction)(const char *change) = StopIfArmed;

void StopPoint(const char *change) {
    if (Previewing()) return; // a preview changes nothing, so it passes no stop point
    g_stopPointAction(change);
}
