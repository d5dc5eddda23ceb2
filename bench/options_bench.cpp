// How fast the Options sheet comes up in KORVANE.EXE (beside this program), watched from outside as
// a user would see it: from the Options command to the sheet on the screen with its first page,
// and to every one of its pages made (each page is made when it is first shown).
//   options_bench [runs]
#include "watch.h"

#include <prsht.h>

#include <cstdlib>

namespace {

using namespace watch;

constexpr int kOptionsCommand = 1169;
constexpr int kPages = 7;

// The page at index, once the sheet has made it.
HWND PageWindow(HWND sheet, int index) {
    DWORD_PTR page = 0;
    SendMessageTimeoutA(sheet, PSM_INDEXTOHWND, WPARAM(index), 0, SMTO_ABORTIFHUNG, 5000, &page);
    return reinterpret_cast<HWND>(page);
}

// One opening: the command, the first page, then every other page in turn; then Cancel.
bool MeasureOnce(HWND mainWindow, DWORD process, double *firstPage, double *allPages) {
    HWND sheet = nullptr;
    double begin = Now();
    PostMessageA(mainWindow, WM_COMMAND, MAKEWPARAM(kOptionsCommand, BN_CLICKED), 0);
    bool shown = WaitFor(
        [&] {
            sheet = FindDialog(process, "Options");
            return sheet && IsWindowVisible(PageWindow(sheet, 0));
        },
        begin);
    if (!shown) return false;
    *firstPage = Now() - begin;
    for (int index = 1; index < kPages; ++index) {
        SendMessageA(sheet, PSM_SETCURSEL, WPARAM(index), 0);
        if (!WaitFor([&] { return PageWindow(sheet, index) != nullptr; }, begin)) return false;
    }
    *allPages = Now() - begin;
    SendMessageA(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    return WaitFor([&] { return !IsWindow(sheet); }, Now());
}

} // namespace

int main(int argc, char **argv) {
    int runs = argc > 1 ? atoi(argv[1]) : 10;
    if (runs < 1) runs = 1;
    Korvane korvane;
    if (!StartInNormalMode(&korvane)) return 2;
    std::vector<double> first, all;
    bool ok = korvane.window != nullptr;
    double firstPage = 0, allPages = 0;
    // The first opening loads the property-sheet code once; it is measured apart from the rest.
    ok = ok && MeasureOnce(korvane.window, korvane.process.dwProcessId, &firstPage, &allPages);
    double coldFirst = firstPage, coldAll = allPages;
    for (int i = 0; ok && i < runs; ++i) {
        ok = MeasureOnce(korvane.window, korvane.process.dwProcessId, &firstPage, &allPages);
        first.push_back(firstPage);
        all.push_back(allPages);
    }
    Stop(korvane);
    if (!ok || first.empty()) {
        fprintf(stderr, "the Options sheet did not show all its pages\n");
        return 1;
    }
    printf("Options sheet, %d openings after a first one of %.1f ms / %.1f ms (aim: the first page under 300 ms):\n",
           runs, coldFirst, coldAll);
    Report("from the Options command to the first page", first);
    Report("to all seven pages made", all);
    return 0;
}
