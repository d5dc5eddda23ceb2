// A control's own window procedure replaced by one of the dialog's, for the few keys a standard
// control does not handle as the dialog wants (Ctrl+A in a read-only field, Ctrl+C in a list).
#pragma once

#include <windows.h>

// Puts procedure in front of the control's own, which is kept in a window property; false when the
// control was not changed.
bool SubclassControl(HWND control, WNDPROC procedure);
// Hands a message on to the control's own procedure; after WM_NCDESTROY the control has its own
// procedure back.
LRESULT CallControlProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam);
