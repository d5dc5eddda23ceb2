// The run log KORVANE.LOG beside the programs: korvane and QS append to it line by line, so one
// file tells the story of a run across the restart. Every line is its own open-append-close, one
// whole write at the file's end under the log's named mutex, so that threads and processes writing
// at once neither tear nor lose lines, and the planner's trim can keep what is appended meanwhile.
#pragma once

#include <windows.h>

#include "winhandle.h"

#include <string>

// Builds the log path from the running EXE's folder and sets the field of lines without a module
// name ("QS" in QS, "KV" in korvane).
void InitRunLog(const char *normalField);
// For tests: write to another file.
void SetRunLogPath(const std::string &path);
const std::string &RunLogPath();

// While muted no line reaches the log: korvane's run preview plans a run that must leave no trace.
void SetRunLogMuted(bool muted);
// The name of the mutex that guards one log file: the same for every spelling of its path.
std::string RunLogMutexName(const std::string &path);
// Holds a log's mutex for a scope. One that waited too long goes on without it (Held() is false):
// a writer that hangs elsewhere must not silence the log.
class RunLogLock {
public:
    explicit RunLogLock(const std::string &path, DWORD timeoutMs = 10000);
    ~RunLogLock();
    RunLogLock(const RunLogLock &) = delete;
    RunLogLock &operator=(const RunLogLock &) = delete;
    bool Held() const { return held_; }

private:
    UniqueHandle mutex_;
    bool held_ = false;
};

// Trace mode (the settings value fjlog): module names and line numbers in the field, trace labels.
void SetTraceMode(bool on);
bool TraceMode();

// Writes one line; returns the text. A null text writes nothing. module may be null.
const char *LogLine(const char *module, unsigned line, const char *text);
// Writes a directly followed by b as one line.
void LogLine2(const char *module, unsigned line, const char *a, const char *b);
// A trace label such as "mainThread:61", written in trace mode only.
void TraceLine(const char *module, unsigned line, const char *label);

// When this program was built, as "Sat Sep 19 03:28:11 2015"; trace lines name it at start and end.
const char *BuildStamp();
// The same from the compiler's __DATE__ ("Sep 19 2015") and __TIME__ ("03:28:11").
std::string BuildStampFrom(const char *date, const char *time);

// The pieces of a line, for tests and for the readers of the log.
std::string LogField(const char *normalField, bool trace, const char *module, unsigned line);
std::string FormatLogLine(bool japanese, const SYSTEMTIME &time, const std::string &field, const char *text);
// The elapsed-time suffix of $LogEnd: "(%2u:%02u:%02u.%03u)" in English; hours are not wrapped.
std::string FormatElapsed(bool japanese, DWORD milliseconds);

// Each source file names its module once: static const char kLogModule[] = "QS";
#define RUNLOG(text) LogLine(kLogModule, __LINE__, (text))
#define RUNLOG2(a, b) LogLine2(kLogModule, __LINE__, (a), (b))
#define RUNTRACE(label) TraceLine(kLogModule, __LINE__, (label))
