// What the scheduler's modules share.
#pragma once

#include <windows.h>

extern HINSTANCE g_instance;
