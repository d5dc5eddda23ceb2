// What the window parts of the wizard share among themselves: the page on the screen with its theme,
// the AVG presentation (wizavg.cpp) and the theme commands (wiztheme.cpp).
#pragma once

#include "window/wizardm.h"

#include <windows.h>

#include <string>

// ---- The page on the screen (wizardm.cpp) -----------------------------------------------------------

const PageView &CurrentPageView();
// The theme of the page: its file (empty without one) and its "main" section.
const std::string &CurrentThemePath();
const ThemeMain &CurrentTheme();
// The page's frame: white, a shaded band at the top (blue from page 41), the shaded bottom edge and
// the rule above the row of mode buttons.
void DrawWizardFrame(HDC dc, int page);
// Stops what a theme plays: the background music and the wizard's timer.
void StopThemeMedia(HWND window);
// The fonts of the main window's screens.
HFONT WizardGuiFont();
HFONT WizardTitleFont();

// A bitmap file as a GDI bitmap, or null when it cannot be loaded.
HBITMAP LoadBitmapFile(const std::string &file);
// Draws a bitmap stretched over a rectangle of the DC with a raster operation.
void DrawBitmap(HDC dc, HBITMAP bitmap, const RECT &target, DWORD rop);

// ---- The AVG presentation (wizavg.cpp) ----------------------------------------------------------------

// Starts the presentation of the current page: music, timer, the first step.
void BeginAvgPage(HWND window);
// Forgets the presentation (its pictures and its step).
void EndAvgPage();
bool AvgShowing();
// Whether the page's text has been shown to its end (the choices are up).
bool AvgTextComplete();
void OnAvgClick(HWND window, POINT pixel);
void OnAvgMove(HWND window, POINT pixel);
void OnAvgTick(HWND window);
// Whether the mouse is over a choice (the hand cursor).
bool AvgOverChoice();

// ---- Theme commands (wiztheme.cpp) ------------------------------------------------------------------

// The Customizing menu at a point of the screen; the page is drawn again after a new choice.
void ShowCustomizingMenu(HWND window, POINT screen);
// Installation of a theme from a dropped file.
void InstallDroppedTheme(HWND window, const char *path);
// Help of the current page.
void RunWizardHelp(HWND window, const std::string &help);
