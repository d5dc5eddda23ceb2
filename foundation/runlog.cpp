// runlog: the line writer of KORVANE.LOG.
#include "runlog.h"

#include "language.h"
#include "platform.h"
#include "winhandle.h"

#include <atomic>
#include <cstdio>
#include <cstring>

namespace {

std::string g_path = "KORVANE.LOG";
std::string g_normalField = "QS";
std::atomic<bool> g_trace{false};
std::atomic<bool> g_muted{false};

// One line at a time from the threads of this process; other processes simply append in between.
CriticalSection &WriterLock() {
    static CriticalSection lock;
    return lock;
}

void WriteLine(const char *module, unsigned line, const std::string &text) {
    if (g_muted) return;
    SYSTEMTIME now;
    GetLocalTime(&now);
    std::string formatted =
        FormatLogLine(IsJapanese(), now, LogField(g_normalField.c_str(), g_trace, module, line), text.c_str());
    CriticalLock lock(WriterLock());
    // Text mode: the line feed reaches the file as CR LF. A line that cannot be written is dropped.
    FILE *file = fopen(g_path.c_str(), "at");
    if (!file) return;
    fputs(formatted.c_str(), file);
    fclose(file);
}

} // namespace

void SetRunLogMuted(bool muted) {
    g_muted = muted;
}

void InitRunLog(const char *normalField) {
    g_normalField = normalField;
    char module[kFolderBufferSize];
    DWORD length = GetModuleFileNameA(nullptr, module, sizeof module);
    char folder[kFolderBufferSize];
    if (length > 0 && length < sizeof module && FolderOfPath(module, folder))
        g_path = std::string(folder) + "KORVANE.LOG";
}

void SetRunLogPath(const std::string &path) {
    g_path = path;
}

const std::string &RunLogPath() {
    return g_path;
}

void SetTraceMode(bool on) {
    g_trace = on;
}

bool TraceMode() {
    return g_trace;
}

std::string LogField(const char *normalField, bool trace, const char *module, unsigned line) {
    if (!trace || !module) return normalField;
    char field[64];
    snprintf(field, sizeof field, "%s:%04u", module, line);
    return field;
}

std::string FormatLogLine(bool japanese, const SYSTEMTIME &time, const std::string &field, const char *text) {
    static const char *const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char head[96];
    if (japanese) {
        snprintf(head, sizeof head, "%4d/%2d/%2d %2d:%02d:%02d [", time.wYear, time.wMonth, time.wDay, time.wHour,
                 time.wMinute, time.wSecond);
    } else {
        const char *month = time.wMonth >= 1 && time.wMonth <= 12 ? kMonths[time.wMonth - 1] : "???";
        snprintf(head, sizeof head, "%s %2d, %4d %2d:%02d:%02d [", month, time.wDay, time.wYear, time.wHour,
                 time.wMinute, time.wSecond);
    }
    return std::string(head) + field + "]" + (text ? text : "") + "\n";
}

std::string FormatElapsed(bool japanese, DWORD ms) {
    char text[64];
    unsigned hours = ms / 3600000, minutes = ms / 60000 % 60, seconds = ms / 1000 % 60, rest = ms % 1000;
    if (japanese)
        snprintf(text, sizeof text, "(経過時間：%u:%02u:%02u.%03u)", hours, minutes, seconds, rest);
    else
        snprintf(text, sizeof text, "(%2u:%02u:%02u.%03u)", hours, minutes, seconds, rest);
    return text;
}

const char *LogLine(const char *module, unsigned line, const char *text) {
    if (text) WriteLine(module, line, text);
    return text;
}

void LogLine2(const char *module, unsigned line, const char *a, const char *b) {
    WriteLine(module, line, std::string(a ? a : "") + (b ? b : ""));
}

void TraceLine(const char *module, unsigned line, const char *label) {
    if (g_trace) LogLine(module, line, label);
}

std::string BuildStampFrom(const char *date, const char *time) {
    static const char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    static const char *const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    char month[4] = "";
    int day = 0, year = 0;
    if (sscanf(date, "%3s %d %d", month, &day, &year) != 3) return std::string(date) + " " + time;
    const char *found = strstr(kMonths, month);
    int m = found ? int(found - kMonths) / 3 + 1 : 1;
    // Day of the week by Sakamoto's rule.
    static const int kOffsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    int y = m < 3 ? year - 1 : year;
    int weekday = (y + y / 4 - y / 100 + y / 400 + kOffsets[m - 1] + day) % 7;
    char text[64];
    snprintf(text, sizeof text, "%s %s %2d %s %d", kDays[weekday], month, day, time, year);
    return text;
}

const char *BuildStamp() {
    static const std::string stamp = BuildStampFrom(__DATE__, __TIME__);
    return stamp.c_str();
}
