// more: "More Settings", the expert values of a run.
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

INT_PTR ShowMoreSettings(HWND owner) {
    return DialogBoxParamA(g_instance, MAKEINTRESOURCEA(ResId(IDD_MORE_JA, IDD_MORE_EN)), owner, DialogProc, 0);
}
