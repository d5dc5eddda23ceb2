// beforeafter: the before/after page of the options and its command-line editor.
#include "dialogs/options.h"

#include "korvane.h"
#include "resource.h"

namespace {

INT_PTR CALLBACK BeforeAfterPageProc(HWND page, UINT message, WPARAM, LPARAM lParam) {
    if (HandlePageHelp(page, message, lParam, "HLP000030.html")) return TRUE;
    return message == WM_INITDIALOG;
}

} // namespace

PROPSHEETPAGEA BeforeAfterPage() {
    return OptionsPageOf(IDD_BEFOREAFTER_JA, IDD_BEFOREAFTER_EN, BeforeAfterPageProc);
}
