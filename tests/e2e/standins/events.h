// What a window stand-in saw and did, for the tests to read after the run: one line per event in
// C:\standins\events.txt, "tool<TAB>event<TAB>detail" in UTF-8, with tabs, line breaks and
// backslashes inside the fields escaped as \t, \r, \n and \\ (as in the journal). The journal
// (journal.h) still gets the one line per start that every stand-in writes.
#pragma once

#include <windows.h>

#include <string>

namespace standin {

void AppendEvent(const std::string &tool, const std::string &event, const std::string &detail);

// A key as the tests name it: "A", "F4", "Alt+A", "Alt+F4"; empty for the modifier keys themselves
// and for repeats, and for key messages a program posted rather than typed. From a WM_KEYDOWN or
// WM_SYSKEYDOWN message.
std::string KeyName(UINT message, WPARAM key, LPARAM flags);

// Records every key the calling thread takes from its queue, in any message loop of the thread
// (its own, a message box's, a menu's), as "key" events of the tool.
void RecordKeys(const std::string &tool);

} // namespace standin
