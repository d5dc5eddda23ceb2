// The plain pieces of "Shell Extensions" and the Rinsa shortcut: the Explorer verb keys and their
// command, the menu item's name, the shortcut's arguments, preview and file name.
#pragma once

#include <windows.h>

#include <string>

// ---- Where KORVANE.EXE is -----------------------------------------------------------------------

// GetModuleFileNameA as the module reads the program's path; tests give one that fails.
extern DWORD(WINAPI *g_moduleFileName)(HMODULE, LPSTR, DWORD);
// The full path of the running program; false when it cannot be read whole (a path longer than
// the buffer is cut by Windows and would name another file).
bool ReadKorvanePath(std::string *path);

// ---- Explorer's context menu --------------------------------------------------------------------

// The verb keys under HKEY_CLASSES_ROOT: program files and all files.
constexpr const char *kExeVerbKey = "exefile\\shell\\korvane";
constexpr const char *kAllFilesVerbKey = "*\\shell\\korvane";
// What Explorer runs: "<path>" /E"%1". Empty for an empty path: no command without a program.
std::string ExplorerMenuCommand(const std::string &korvanePath);
// "Rinsa", or its Japanese twin.
const char *DefaultMenuItemName();
// The menu item's name from the stored default value of a verb key: a text up to its first zero
// within its size. False for any other type.
bool MenuItemNameOf(DWORD type, const std::string &bytes, std::string *name);

// What the dialog shows and what OK stores.
struct ExplorerMenuState {
    bool exeFiles = false; // exefile\shell\korvane\command exists
    bool allFiles = false; // *\shell\korvane\command exists
    std::string name;      // the stored name (all files' wins), empty when none
};
ExplorerMenuState ReadExplorerMenu();
// Writes the checked verbs with the name and the command of korvanePath and removes the unchecked
// ones. With an empty korvanePath no verb is written (and the user is told why); removing still
// works. Registry failures give the registry error report with "Class/exe" or "Class/*".
void WriteExplorerMenu(HWND owner, const ExplorerMenuState &state, const std::string &korvanePath);

// The texts of the explanation and both boxes that speak of the button which opens the context
// menu; null where the resource's own text stays (English, or buttons not swapped).
struct MenuButtonTexts {
    const char *explanation;
    const char *exeFiles;
    const char *allFiles;
};
MenuButtonTexts MenuButtonTextsFor(bool japanese, bool buttonsSwapped);

// ---- The shortcut -------------------------------------------------------------------------------

// The radio buttons of the shortcut dialog, in the order of their switches.
enum class ShortcutKind { KorvaneOnly, Defragment, CheckDisk, CheckAndDefragment, LastSetting, OtherApplication };
// The switch of a kind: "", "/A0", "/A1", "/A2", "/A", "/S".
const char *ShortcutSwitch(ShortcutKind kind);
// The shortcut's arguments: the switch, and for other applications the command line right after
// "/S" with no blank between.
std::string ShortcutArguments(ShortcutKind kind, const std::string &commandLine);
// What the command-line field shows for a kind of korvane's own: ( "<path>" /A0 ).
std::string ShortcutPreview(ShortcutKind kind, const std::string &korvanePath);
// "Shortcut of Rinsa", or its Japanese twin.
const char *DefaultShortcutName();

enum class ShortcutName { Ok, ForbiddenCharacter, ReservedName, TooLong };
// Whether name + ".lnk" can be a file in folder: none of \ / : * ? " < > | or control characters
// (double-byte characters stepped over whole, so a trail byte 0x5C is no backslash), no device
// name (CON, NUL, COM1...), and a file name and a whole path that Windows takes (255 and
// MAX_PATH - 1 characters).
ShortcutName CheckShortcutName(const std::string &folder, const std::string &name);
// folder + "\" + name + ".lnk".
std::string ShortcutFilePath(const std::string &folder, const std::string &name);

// ---- The dialogs --------------------------------------------------------------------------------

// "Shell Extensions" (143/157): 0 after OK, 1 after Cancel (also when it cannot be made).
INT_PTR ShowShellExtensions(HWND owner);
// "Create a shortcut file for rinsa" (146/159); stays open until Close.
void ShowShortcutDialog(HWND owner);
