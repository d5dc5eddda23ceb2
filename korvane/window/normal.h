// The normal mode: the panel, its menu, and the rules behind them as plain functions, so that each
// can be checked without a window.
#pragma once

#include <windows.h>

#include "window/diskkind.h"

#include <string>
#include <vector>

// ---- The panel (normal.cpp) ---------------------------------------------------------------------

// Creates the panel as a child of the main window, attaches the menu and fills every control from
// the settings key. Null when the template could not be made.
HWND CreateNormalPanel(HWND mainWindow);
// Destroys the panel and takes the menu off the main window.
void DestroyNormalPanel();
// The status text while no menu is open.
const char *IdleStatusText();
void SetStatusText(HWND panel, const char *text);
// The run kind radio buttons, in the order of the values of Selected.
constexpr int kRunKindCount = 4;
extern const int kRunKindIds[kRunKindCount];
// The check box of a drive letter (0 = A:).
int DriveBoxId(int letter);
// Start: asks, then hands over to the planner.
void StartRinsaRun(HWND panel);
// "Put some buttons on main dialog": the extra buttons instead of the status text, or back.
void TogglePutTopButtons(HWND panel);

// ---- Drive information ---------------------------------------------------------------------------

// What the information text of one drive is made of.
struct DriveFacts {
    UINT type = DRIVE_NO_ROOT_DIR;
    FixedDiskKind fixedKind = FixedDiskKind::Unknown; // fixed drives only
    bool spaceKnown = false;
    unsigned long long total = 0, free = 0;
    bool defragKnown = false, checkKnown = false;
    SYSTEMTIME defragged = {}, checked = {}; // UTC, from ddd<letter> and sdd<letter>
    DWORD defragMs = 0, prefetchMs = 0;      // DTIME<letter>, PTIME<letter>
};

// "free/total" in the unit the total calls for, e.g. "12/100GB(12%free)"; empty for no total.
std::string FreeSpaceText(unsigned long long total, unsigned long long free);
// Whole calendar days from one UTC date to another; a date after today counts as today.
unsigned ElapsedDays(const SYSTEMTIME &then, const SYSTEMTIME &today);
// "(Lapsed time h:mm:ss)", or the boot-file-only form.
std::string LapsedTimeText(DWORD milliseconds, bool prefetchOnly);
// The whole information text of a drive, lines joined with CR LF.
std::string DriveInfoText(const DriveFacts &facts, const SYSTEMTIME &today, unsigned short windowsVersion);
// Gathers the facts of a drive (0 = A:) from Windows and the settings key.
DriveFacts ReadDriveFacts(int letter);
// ReadDriveFacts and DriveInfoText with today's date.
std::string CurrentDriveInfoText(int letter);

// ---- Controls -----------------------------------------------------------------------------------

// The radio button a stored Selected checks (0 for none) and whether the other-programs controls
// are the enabled ones.
struct RunKindView {
    int checkedId;
    bool otherPrograms;
};
RunKindView RunKindViewOf(LONG selected);
// The question before a run: How 4 runs at once, anything else restarts Windows.
const char *StartQuestion(LONG how);

// ---- Menu (MainMenu.cpp) ------------------------------------------------------------------------

// Loads the menu of the language once and attaches it to the main window.
void AttachNormalMenu(HWND mainWindow);
void DetachNormalMenu(HWND mainWindow);
// The check mark of "Put some buttons on main dialog".
void CheckPutTopButtons(HWND mainWindow, bool on);
// What the status text says while a menu item is highlighted; empty for anything unknown.
const char *MenuDescription(UINT id, bool systemMenu);
// Whether a version-dependent item is usable on this Windows; true for every other item.
bool MenuItemUsable(UINT id, unsigned short windowsVersion);
// Carries out a menu command or a button the panel does not handle itself; false when unknown.
bool RunMenuCommand(HWND panel, int id);
// The status text for WM_MENUSELECT on the main window.
void ShowMenuDescription(HWND mainWindow, WPARAM wParam, LPARAM lParam);

// ---- Export and import of the settings (MainMenu.cpp) ------------------------------------------

// The per-drive history values (ddd and sdd of A: to Z:), which stay with the machine.
std::vector<std::string> DriveHistoryNames();
std::string ExportCommandLine(const char *file);
std::string ImportCommandLine(const char *file);
enum class SettingsFileCheck { Ok, NotFound, NotText, NotRegistryFile, OtherKeys, TooLarge };
// Whether the bytes of a file are a registry file that holds nothing but the settings key.
SettingsFileCheck CheckSettingsFile(const std::string &bytes);
// The same for a file; NotFound when it cannot be read, TooLarge when it is far too large for a
// settings file.
SettingsFileCheck CheckSettingsFileAt(const char *file);
// The refusal of a file that failed the check: a run-log line and an error box saying why.
void RefuseSettingsFile(HWND owner, const char *file, SettingsFileCheck check);
bool ExportSettings(HWND owner, const char *file);
bool ImportSettings(HWND owner, const char *file);
