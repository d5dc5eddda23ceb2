// diskpages: the defragmenter, check-disk and clean-up pages of the options.
#include "dialogs/options.h"

#include "korvane.h"
#include "resource.h"

namespace {

INT_PTR CALLBACK DefragPageProc(HWND page, UINT message, WPARAM, LPARAM lParam) {
    if (HandlePageHelp(page, message, lParam, "HLP000140.html")) return TRUE;
    return message == WM_INITDIALOG;
}

INT_PTR CALLBACK CheckDiskPageProc(HWND page, UINT message, WPARAM, LPARAM lParam) {
    if (HandlePageHelp(page, message, lParam, "HLP000141.html")) return TRUE;
    return message == WM_INITDIALOG;
}

INT_PTR CALLBACK ClearPageProc(HWND page, UINT message, WPARAM, LPARAM lParam) {
    if (HandlePageHelp(page, message, lParam, "HLP000158.html")) return TRUE;
    return message == WM_INITDIALOG;
}

} // namespace

PROPSHEETPAGEA DefragPage() {
    return OptionsPageOf(IDD_DEFRAG_PAGE_JA, IDD_DEFRAG_PAGE_EN, DefragPageProc);
}

PROPSHEETPAGEA CheckDiskPage() {
    return OptionsPageOf(IDD_CHECK_PAGE_JA, IDD_CHECK_PAGE_EN, CheckDiskPageProc);
}

PROPSHEETPAGEA ClearPage() {
    return OptionsPageOf(IDD_CLEAR_PAGE_JA, IDD_CLEAR_PAGE_EN, ClearPageProc);
}
