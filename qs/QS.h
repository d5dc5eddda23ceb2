// What the Quiet Shell's modules share.
#pragma once

#include <windows.h>

extern HINSTANCE g_instance;
extern unsigned short g_windowsVersion;
