// What every stand-in tool shares: the folder C:\standins, the journal each call appends one line
// to, and the per-tool settings a test leaves there. The tools are started by the programs under
// test, not by the tests, so everything a test wants to tell them goes through files.
#pragma once

#include <windows.h>

#include <string>

namespace standin {

// The folder of the journal and of the settings files.
constexpr char kFolder[] = "C:\\standins";

// The tool's own name: its file name without the extension ("DEFRAG" for DEFRAG.EXE).
std::string ToolName();

// Settings of one tool, from C:\standins\<tool>.cfg: lines "exit N", "sleep MS" and "print TEXT",
// each optional; a missing file means exit 0, no sleep, the default text.
struct Settings {
    int exitCode = 0;
    DWORD sleepMs = 0;
    std::string text; // UTF-8; empty for the default
};
Settings ReadSettings(const std::string &tool);

// Appends "tool<TAB>exit code<TAB>current folder<TAB>command line<TAB>parent" as one
// UTF-8 line; tabs, line breaks and backslashes inside fields are escaped as \t, \r, \n and \\.
// The exit code is text, so that a tool that writes before it knows its code can leave it empty.
void AppendJournal(const std::string &tool, const std::string &exitCode);

// A field of a journal line: tabs, line breaks and backslashes written as \t, \r, \n and \\.
std::string Escape(const std::string &field);

// The text as UTF-8.
std::string Utf8(const wchar_t *text);

} // namespace standin
