// The before/after page's decisions that need no window: how a wait is shown and stored, and which
// command line the editor edits in which form.
#pragma once

#include "settings.h"

#include <windows.h>

#include <string>

// A wait as the page shows it: whole minutes and the seconds left over.
struct WaitFields {
    DWORD minutes;
    DWORD seconds;
};
// The stored seconds as minutes and seconds. The value is taken unsigned, as it is stored, so an
// odd number from an imported file is shown (and refused on OK) rather than quietly changed.
WaitFields WaitFieldsOf(LONG storedSeconds);

enum class WaitTotal { Ok, TooLarge };
// minutes × 60 + seconds, refused when it would be above kLargestStoredNumber: the planner and QS
// read the waits as signed numbers.
WaitTotal StoredWaitSeconds(DWORD minutes, DWORD seconds, DWORD *stored);

// The hook an editor button edits. value is null for an id that is no Setting button; a one-line
// hook (the first restart, the shutdown) gets the single-line field and no Open or Save.
struct CommandLineHook {
    const TextSetting *value;
    bool oneLine;
};
CommandLineHook CommandLineHookFor(int settingButton);
// The editor's note line for a hook, in the process language ("" when it has none).
const char *CommandLineNote(int settingButton);

// The one-line field after a dropped file: the path, quoted when it holds a blank, after a blank
// when the field already holds a command. A line break would split the one command the planner
// runs as a whole.
std::string AppendDroppedToLine(const std::string &field, const char *path);

// The command-line editor (142/166) for the hook of a Setting button: 1 after OK (also when the
// value could not be stored: the user has been told), 0 after Cancel or for an unknown button.
INT_PTR ShowCommandLineEditor(HWND owner, int settingButton);
