// mainpage: the main options page ("Others") and the Rinsa method page ("How to Rinsa").
#include "dialogs/options.h"

#include "korvane.h"
#include "resource.h"

namespace {

INT_PTR CALLBACK MainOptionsPageProc(HWND page, UINT message, WPARAM, LPARAM lParam) {
    if (HandlePageHelp(page, message, lParam, "HLP000021.html")) return TRUE;
    return message == WM_INITDIALOG;
}

INT_PTR CALLBACK MethodPageProc(HWND page, UINT message, WPARAM, LPARAM lParam) {
    if (HandlePageHelp(page, message, lParam, "HLP000017.html")) return TRUE;
    return message == WM_INITDIALOG;
}

} // namespace

PROPSHEETPAGEA MainOptionsPage() {
    return OptionsPageOf(IDD_MAIN_PAGE_JA, IDD_MAIN_PAGE_EN, MainOptionsPageProc);
}

PROPSHEETPAGEA MethodPage() {
    return OptionsPageOf(IDD_METHOD_PAGE_JA, IDD_METHOD_PAGE_EN, MethodPageProc);
}
