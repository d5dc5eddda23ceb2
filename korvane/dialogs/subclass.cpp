// subclass: a control's window procedure replaced, and the replaced one called for the rest.
#include "dialogs/subclass.h"

namespace {

const char kOwnProcProperty[] = "Tidewell.ControlProc";

} // namespace

bool SubclassControl(HWND control, WNDPROC procedure) {
    LONG_PTR own = control ? GetWindowLongPtrA(control, GWLP_WNDPROC) : 0;
    if (!own || !SetPropA(control, kOwnProcProperty, reinterpret_cast<HANDLE>(own))) return false;
    SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure));
    return true;
}

LRESULT CallControlProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
    auto own = reinterpret_cast<WNDPROC>(GetPropA(control, kOwnProcProperty));
    if (message == WM_NCDESTROY && own) {
        RemovePropA(control, kOwnProcProperty);
        SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(own));
    }
    return own ? CallWindowProcA(own, control, message, wParam, lParam)
               : DefWindowProcA(control, message, wParam, lParam);
}
