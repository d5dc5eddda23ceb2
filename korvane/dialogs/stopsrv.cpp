// stopsrv: "Stop Services", the automatic services a run stops.
#include "dialogs/options.h"

#include "korvane.h"
#include "resource.h"

#include "language.h"

namespace {

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, LOWORD(wParam) == IDOK ? 0 : 1);
        return TRUE;
    }
    return FALSE;
}

} // namespace

INT_PTR ShowStopServices(HWND owner) {
    return DialogBoxParamA(g_instance, MAKEINTRESOURCEA(ResId(IDD_STOPSRV_JA, IDD_STOPSRV_EN)), owner, DialogProc, 0);
}
