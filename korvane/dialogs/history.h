// The run log viewer "History": what it makes of KORVANE.LOG before its list of lines shows it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// A log beyond this is shown by its last part.
constexpr unsigned long long kHistoryShownBytes = 16ULL << 20;

enum class LogViewResult { Shown, NotFound, OutOfMemory, Unreadable };

struct LogView {
    LogViewResult result = LogViewResult::NotFound;
    std::string text; // what the viewer shows (for Shown)
    bool tailOnly = false;
};

// Where the shown part of a file of size bytes begins: 0 when the whole file fits in limit.
unsigned long long ShownPartStart(unsigned long long size, unsigned long long limit);
// The bytes of the log as the viewer shows them: every line end (CR LF, a lone LF, a lone CR)
// as CR LF, NUL bytes as blanks. A part cut from a longer log, read from the byte before the cut,
// loses everything up to its first line end (the rest of a cut line) and is preceded by the note
// that only the tail is shown.
std::string LogDisplayText(const std::string &bytes, bool tailOnly);
// Reads the log by its full path and 64-bit size, the whole of it or its last limit bytes.
LogView ReadLogView(const char *path, unsigned long long limit = kHistoryShownBytes);
// Where each line of a CR LF text begins; a line end at the very end starts no empty line.
std::vector<size_t> LineStarts(const std::string &text);
// A line without its line end.
std::string LineText(const std::string &text, const std::vector<size_t> &starts, size_t line);
// The count longest lines (in bytes), longest first, the earlier of two of one length first.
std::vector<size_t> LongestLines(const std::vector<size_t> &starts, size_t textSize, size_t count);
// The lines given, each with its CR LF, for the clipboard.
std::string LinesText(const std::string &text, const std::vector<size_t> &starts, const std::vector<size_t> &lines);
// Deletes the log; a log that is not there counts as removed.
bool RemoveLogFile(const char *path);

// The modal "History" dialog on the run log (RunLogPath()).
void ShowHistoryDialog(HWND owner);
