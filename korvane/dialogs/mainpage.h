// The rules of the main options page ("Others"), the Rinsa method page and More settings, as plain
// functions: what a stored value shows, what a box writes, which controls a Windows version or a
// machine allows, and the creation of the user's alternative boot file.
#pragma once

#include <windows.h>

#include <string>

// ---- Main options page --------------------------------------------------------------------------

// What the page may offer on this machine.
struct MainPageSystem {
    unsigned short windowsVersion = 0;
    bool bootIniExists = false;         // BOOT.INI in the root of the boot drive
    unsigned long long totalMemory = 0; // physical memory in bytes
};
struct MainPageRules {
    bool readBootIni = false;            // Bootini is shown (before Vista)
    bool bootIniUsable = false;          // 1072 enabled
    bool pagingFileUsable = false;       // 1064 enabled; else cleared and NoPagingFile written 0 at once
    bool diskCleanupUsable = false;      // 1128 enabled; else cleared
    bool restorePointUsable = false;     // 1177 enabled; else cleared
    bool asksBeforeNoPagingFile = false; // Windows 2000 stops booting without a paging file
};
// Below this much memory Windows cannot run without its paging file (63 MiB).
constexpr unsigned long long kSmallestMemoryForNoPagingFile = 0x3F00000;
MainPageRules MainPageRulesFor(const MainPageSystem &system);

// aux_vso.exe: 0 no screen protection, 1 the black window, 2 (or any other number) the old mode.
struct ScreenBoxes {
    bool save = false;    // 1093
    bool oldMode = false; // 1153, enabled only while 1093 is on
};
ScreenBoxes ScreenBoxesOf(LONG auxVso);
LONG AuxVsoOf(const ScreenBoxes &boxes);

// CreateRestorePoint: bit 0 belongs to the hidden 1176, which is never set; bit 1 is 1177. Any
// non-zero value (1 and 3 too) shows 1177 on, where restore points can be made.
bool RestorePointBoxOn(LONG stored, bool usable);
LONG RestorePointValueOf(bool hiddenBit, bool box);

// The entries of "Afte&r Rinsa:": 0 Shutdown, 1 Continue or Reboot, 2 Suspend, 3 Hibernation.
constexpr int kAfterRunEntries = 4;
// NotAutoPowerOff as an entry: negative values show entry 0, values above 3 entry 3.
int AfterRunEntryOf(LONG notAutoPowerOff);
// Suspend and hibernation may not work together with the Boot.ini substitution.
bool AfterRunClashesWithBootIni(int entry);

// ---- The user's alternative boot file BOOT.RNB --------------------------------------------------

// "C:\Boot.rnb is not found.\nAre you sure you want to create Boot.rnb?" for a boot-drive root.
std::string BootRnbQuestion(const char *root);
// The path of a file in the root of the boot drive ("C:\" + "BOOT.RNB").
std::string BootFilePath(const char *root, const char *name);
// Copies BOOT.INI of root to BOOT.RNB (never over an existing file) and makes the copy a normal
// file. BOOT.INI keeps its attributes, and the planner's BOOT.RN_ is left alone: after an
// interrupted run it is the only copy of the real BOOT.INI. ERROR_SUCCESS or the copy's error.
DWORD CreateBootRnb(const char *root);
// What the page does when 1072 is turned on (the combo's entry given): asks, creates BOOT.RNB and
// opens it in Notepad. True when the box stays on.
bool ConfirmBootIniSubstitution(HWND page, const char *root, int afterRunEntry);
// Notepad as the page starts it (ShellExecute); tests give a fake one. True when it started.
extern bool (*g_openInNotepad)(HWND owner, const char *file, const char *folder);

// ---- Rinsa method page --------------------------------------------------------------------------

// How the page shows a stored How on a Windows version, and whether it writes that at once.
struct MethodHow {
    LONG shown = 2;
    bool rewritten = false;
};
MethodHow MethodHowOf(LONG stored, unsigned short windowsVersion);
// Safe mode (1003, its note and 1152) is offered up to Vista; "before the shell" (1034) before 604.
bool SafeModeUsable(unsigned short windowsVersion);
bool BeforeShellUsable(unsigned short windowsVersion);
// The radio button of a How, and the How written for the checked radio button (0 for none).
int MethodRadioOf(LONG how);
LONG HowOfRadio(int radioId);

// ---- More settings ------------------------------------------------------------------------------

// The largest boot-time check-disk countdown Windows takes (seconds).
constexpr DWORD kLargestAutoChkTimeOut = 259200;
// The MSC path field after a path is added: quoted when it holds a blank; a dropped file is set
// apart from what the field holds by a blank, a browsed one is appended directly.
std::string WithAddedPath(const std::string &field, const char *path, bool setApart);
// The slider's position for a stored alpha (0 to 255).
int AlphaPositionOf(LONG alpha);
