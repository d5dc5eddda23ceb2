// The main window: what its screens share, and its rules as plain functions.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <string>

// Logical client size; every coordinate is in these units and scaled by the DPI when used.
constexpr int kMainWidth = 593;
constexpr int kMainHeight = 401;

// Screen states.
constexpr int kScreenModeSelection = 0;
constexpr int kScreenNormal = 1;
constexpr int kScreenWizard = 21;
constexpr int kScreenWizardRun = 50;

// The screen the main window shows and remembers in `mode`.
int MainScreenState();
// The wizard moves the state from page to page, and to 50 while its run is planned.
void SetMainScreenState(int state);
// The screen a stored `mode` opens with; the wizard's pages come with the wizard.
int ScreenOfStoredMode(LONG mode);
// The command that brings up the stored screen, or 0 to stay on the mode selection.
int InitialScreenCommand(int screen);

// Face of the title font: "MS UI Gothic" or, before version 410, "ＭＳ Ｐゴシック"; "Arial" in English.
const char *TitleFontFace(bool japanese, unsigned short windowsVersion);
HFONT CreateTitleFont(bool japanese, unsigned short windowsVersion, double scaleY);

// Logical units to pixels of this screen.
int ScaleX(int logical);
int ScaleY(int logical);

// ---- Button ring --------------------------------------------------------------------------------

// Normal mode, wizard, the five answers, Exit, Help, About.
constexpr int kRingSlots = 10;
extern const int kRingIds[kRingSlots];
// The slot that gets the focus from slot `from`: the next (or previous) one that can take it,
// wrapping round; `from` itself when no other can, -1 when none can.
int NextRingSlot(const bool usable[kRingSlots], int from, bool backwards);
// The slot of a command id, or -1.
int RingSlotOf(int id);

// ---- Placement ----------------------------------------------------------------------------------

struct WindowPlacement {
    int x, y, width, height;
};
// The window centred on the screen (the full-screen client area): x and y from the client size,
// each 0 when the screen is smaller; the outer size adds twice the dialog frame and the caption.
WindowPlacement CentredPlacement(SIZE client, SIZE screen, SIZE frame, int caption);

// ---- Background music (MCI) ---------------------------------------------------------------------

// Sends one MCI command string; tests put a recorder here.
using MciSendFunction = MCIERROR(WINAPI *)(LPCSTR command, LPSTR answer, UINT answerSize, HWND notify);
extern MciSendFunction g_mciSend;
// The path quoted, so that a path with blanks stays one device name.
std::string MciCommand(const char *verb, const std::string &path, const char *tail = nullptr);
// Plays a file in a loop (nothing when the same file already plays).
void PlayBackgroundMusic(const char *path, HWND notify);
void StopBackgroundMusic();
// MM_MCINOTIFY: a piece that ended plays again from the start.
void OnMusicNotify(WPARAM flags, HWND notify);
const std::string &BackgroundMusicPath();

// The instance whose resources the windows use (the running program's when none was set).
HINSTANCE ModuleInstance();
// Makes a button a member of the ring: arrows and Tab move between the members.
void JoinButtonRing(HWND button);

// ---- The picture and the size the wizard shares --------------------------------------------------

// The off-screen picture of the mode selection and wizard screens (null when none could be made).
HDC MainOffScreenDc();
SIZE MainLogicalSize();
// Gives the client area a logical size: the picture is made anew for a new size (the old one stays,
// and false is returned, when it cannot be), and the window is sized to fit, re-centred if asked.
bool SetMainClientSize(HWND window, SIZE logical, bool centre);
// The wizard's row of the mode buttons at the bottom, lower and flatter while the automatic logon
// notice needs the last line.
void PlaceModeButtonRow(HWND window, bool autoLogon);
// Selects a GDI object into a DC for a scope.
class Selected {
public:
    Selected(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
    ~Selected() { SelectObject(dc_, old_); }
    Selected(const Selected &) = delete;
    Selected &operator=(const Selected &) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};
// Lines of one pixel shading from one colour to another; the grey rule at a logical height.
void ShadeRows(HDC dc, int top, int rows, COLORREF from, COLORREF to);
void DrawRule(HDC dc, int logicalY);

// ---- Messages between the screens ---------------------------------------------------------------

// Posted to the main window to build the normal-mode panel anew (after an import).
constexpr UINT kRebuildPanelMessage = WM_APP + 1;
// Posted to the main window to ask it to close (RequestMainWindowClose).
constexpr UINT kCloseRequestMessage = WM_APP + 57;
// Asks the main window to close, from any thread (the update check does once the maker's site is
// open). The window closes on its own thread, and not at all while a run is being planned. Asked
// before the window exists, it closes as soon as it has been made.
void RequestMainWindowClose();
// The wizard's timer on the main window; leaving the wizard stops it.
constexpr UINT_PTR kWizardTimerId = 1;
