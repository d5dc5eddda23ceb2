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

// The path may change (tests); the writers read it under this lock.
CriticalSection &PathLock() {
    static CriticalSection lock;
    return lock;
}

std::string CurrentPath() {
    CriticalLock lock(PathLock());
    return g_path;
}

// A line as it reaches the file: every LF becomes CR LF, as text mode used to make it.
std::string LineWithCrLf(const std::string &text) {
    std::string out;
    out.reserve(text.size() + 2);
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

// Append-only access makes each WriteFile land whole at the end of the file, wherever other
// handles stand; the mutex keeps the planner's trim from replacing the file in between. A line
// that cannot be written is dropped.
void WriteLine(const char *module, unsigned line, const std::string &text) {
    if (g_muted) return;
    SYSTEMTIME now;
    GetLocalTime(&now);
    std::string formatted = LineWithCrLf(
        FormatLogLine(IsJapanese(), now, LogField(g_normalField.c_str(), g_trace, module, line), text.c_str()));
    std::string path = CurrentPath();
    RunLogLock lock(path);
    UniqueFile file(CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    DWORD written = 0;
    WriteFile(file.Get(), formatted.data(), DWORD(formatted.size()), &written, nullptr);
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
    CriticalLock lock(PathLock());
    g_path = path;
}

const std::string &RunLogPath() {
    return g_path;
}

std::string RunLogMutexName(const std::string &path) {
    // FNV-1a over the upper-cased path with one kind of slash: a mutex name may hold no
    // backslash, and C:\X\KORVANE.LOG and c:/x/korvane.log are one file.
    unsigned long long hash = 14695981039346656037ULL;
    for (char c : path) {
        char folded = c == '/' ? '\\' : c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
        hash = (hash ^ static_cast<unsigned char>(folded)) * 1099511628211ULL;
    }
    char name[48];
    snprintf(name, sizeof name, "TidewellRunLog-%016llx", hash);
    return name;
}

RunLogLock::RunLogLock(const std::string &path, DWORD timeoutMs)
    : mutex_(CreateMutexA(nullptr, FALSE, RunLogMutexName(path).c_str())) {
    // An abandoned mutex (a writer killed mid-line) is ours all the same.
    DWORD waited = mutex_ ? WaitForSingleObject(mutex_.Get(), timeoutMs) : WAIT_FAILED;
    held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
}

RunLogLock::~RunLogLock() {
    if (held_) ReleaseMutex(mutex_.Get());
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
