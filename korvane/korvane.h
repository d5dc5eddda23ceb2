// What the configurator's modules share.
#pragma once

#include <windows.h>

// The instance of KORVANE.EXE, for dialogs and resources.
extern HINSTANCE g_instance;
// The Windows version code, taken once at start.
extern unsigned short g_windowsVersion;

// korvane's /J and /N: the first argument forces the language whatever the rule said.
// Returns true when the command line held one of them.
bool ApplyLanguageSwitch(const char *commandLine);
