// What the configurator's modules share.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

// The instance of KORVANE.EXE, for dialogs and resources.
extern HINSTANCE g_instance;
// The module the dialogs and menus come from: g_instance, or this EXE before start-up has set it
// (the unit tests open dialogs without it).
HINSTANCE ResourceInstance();
// The Windows version code, taken once at start.
extern unsigned short g_windowsVersion;

// korvane's /J and /N: the first argument forces the language whatever the rule said.
// Returns true when the command line held one of them.
bool ApplyLanguageSwitch(const char *commandLine);

// ---- Start-up state (startup/, window/drawing.cpp), set before the main window exists -------------

extern double g_dpiScaleX, g_dpiScaleY; // screen pixels per inch / 96; every window size is scaled
extern bool g_commandGiven;             // /E, /S or /L stored command lines of run kind 3
extern bool g_feedbackHint;             // one start in seven invites feedback
extern int g_buildType;                 // 0 release, 1 preview, 2 beta (from the version resource)
extern DWORD g_versionNumber;           // a*10000 + b*1000 + c*100 + d of the file version
extern HFONT g_guiFont;                 // the default GUI font
extern HFONT g_titleFont;               // the big title font of the main window
extern HBRUSH g_whiteBrush;
extern HCURSOR g_arrowCursor, g_handCursor;

// ---- Main window (korvwin.cpp, normal.cpp, MainMenu.cpp) ---------------------------------------

bool RegisterMainWindowClass();
// Creates the window of class "korvane" (g_mainWindow); reads `mode` on creation.
HWND CreateMainWindow();
// The screen the stored `mode` asks for: normal mode, wizard, or the mode selection.
void ShowInitialScreen(HWND mainWindow);
// The normal-mode panel while it exists (its keys go through IsDialogMessage), else null.
extern HWND g_normalPanel;
// The normal mode's menu, destroyed at the end of the program.
extern HMENU g_normalMenu;

// ---- Command lines of other programs (ferun.cpp) ----------------------------------------------

// NotText: zero bytes or odd-length UTF-16; Unconvertible: characters the ANSI code page lacks.
enum class CommandFileResult { Ok, NotFound, TooLarge, NoMemory, NotText, Unconvertible };
// Reads a command-line file (.rnx or text; UTF-16LE with byte order mark converted to ANSI).
// On failure text is left as it was.
CommandFileResult ReadCommandFile(const char *path, std::string *text);
// The error box for a failed ReadCommandFile (nothing for Ok).
void ShowCommandFileError(HWND owner, CommandFileResult result);
// Appends each dropped file on a line of its own (paths of 520 characters or more are skipped),
// notifies owner of the change (EN_CHANGE) and brings it to the foreground. Frees the drop. A
// one-line field gives its own separator (a blank).
void AddDroppedCommands(HWND owner, HWND edit, HDROP drop, const char *separator = "\r\n");
// The operations of a multi-line command-line field.
bool BrowseForCommand(HWND owner, HWND edit);
bool OpenCommandFile(HWND owner, HWND edit);
bool SaveCommandFile(HWND owner, HWND edit);
// "Enter command lines" (141/161): 0 after OK (the lines are stored in LastCmdLine), -1 after Cancel.
INT_PTR ShowCommandLinesDialog(HWND owner);

// ---- Environment report (sysq.cpp) -------------------------------------------------------------

std::string BuildEnvironmentReport();
void ShowEnvironmentReport(HWND owner);
// Puts a text on the clipboard as ANSI and as Unicode text; false when the clipboard refused.
bool CopyTextToClipboard(HWND owner, const std::string &text);
// The same for a report dialog's Copy button, telling the user how it went.
void CopyReportToClipboard(HWND dialog, const std::string &report);

// ---- Run preview (preview.cpp) -------------------------------------------------------------------

// What a Rinsa run would do, planned with nothing changed, in a resizable report with Copy and Save.
void ShowRunPreview(HWND owner);

// ---- Restore point (MainMenu.cpp) ---------------------------------------------------------------

// The run log's text for the status of a restore point: 0 success, -1 when System Restore is
// missing, else the status System Restore reported.
const char *RestorePointStatusText(int status);
// System Restore as the operation below calls it; tests give a fake one.
extern int (*g_createRestorePoint)();
// Makes a restore point: the start and the status text go to the run log, any status but success
// is also shown as a warning. True on success.
bool MakeRestorePointReported(HWND owner);
