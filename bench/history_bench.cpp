// How fast the run log viewer "History" of KORVANE.EXE (beside this program) shows a large log,
// watched from outside as a user would see it: from the History command until the dialog is on the
// screen with the whole log in it, scrolled to its newest line. The log is written first: 60 000
// lines of 90 bytes, a little over 5 MB.
//   history_bench [runs]
#include "watch.h"

#include <cstdlib>

namespace {

using namespace watch;

constexpr int kHistoryCommand = 1082;
constexpr int kLogList = 1003;
constexpr int kLines = 60000;

// The log KORVANE.EXE shows, in its own line format; returns its size in bytes.
size_t WriteLog(const std::string &program) {
    std::string path = program.substr(0, program.find_last_of('\\') + 1) + "KORVANE.LOG";
    std::string text;
    char line[160];
    for (int i = 0; i < kLines; ++i) {
        snprintf(line, sizeof line,
                 "Dec %2d, 2026 %2d:%02d:%02d [QS]$Log step %05d of the run, done without a fault in good time.\r\n",
                 1 + i / 2000 % 28, i / 3600 % 24, i / 60 % 60, i % 60, i);
        text += line;
    }
    FILE *file = fopen(path.c_str(), "wb");
    if (!file) return 0;
    size_t written = fwrite(text.data(), 1, text.size(), file);
    fclose(file);
    return written == text.size() ? written : 0;
}

LRESULT Ask(HWND window, UINT message) {
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutA(window, message, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer)) return -1;
    return static_cast<LRESULT>(answer);
}

// One opening: the command, then the viewer with every line of the log and the last ones in view;
// then Close.
bool MeasureOnce(HWND mainWindow, DWORD process, double *shown) {
    HWND viewer = nullptr;
    double begin = Now();
    PostMessageA(mainWindow, WM_COMMAND, MAKEWPARAM(kHistoryCommand, BN_CLICKED), 0);
    bool ready = WaitFor(
        [&] {
            if (!viewer) viewer = FindDialog(process, "History");
            HWND list = viewer ? GetDlgItem(viewer, kLogList) : nullptr;
            return list && Ask(list, LVM_GETITEMCOUNT) == kLines && Ask(list, LVM_GETTOPINDEX) > kLines - 100;
        },
        begin);
    if (!ready) return false;
    *shown = Now() - begin;
    PostMessageA(viewer, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    return WaitFor([&] { return !IsWindow(viewer); }, Now());
}

} // namespace

int main(int argc, char **argv) {
    int runs = argc > 1 ? atoi(argv[1]) : 10;
    if (runs < 1) runs = 1;
    size_t logSize = WriteLog(ProgramBesideUs());
    if (!logSize) {
        fprintf(stderr, "cannot write KORVANE.LOG beside %s\n", ProgramBesideUs().c_str());
        return 2;
    }
    Korvane korvane;
    if (!StartInNormalMode(&korvane)) return 2;
    std::vector<double> times;
    bool ok = korvane.window != nullptr;
    double shown = 0;
    // The first opening loads the list view's code once; it is measured apart from the rest.
    ok = ok && MeasureOnce(korvane.window, korvane.process.dwProcessId, &shown);
    double cold = shown;
    for (int i = 0; ok && i < runs; ++i) {
        ok = MeasureOnce(korvane.window, korvane.process.dwProcessId, &shown);
        times.push_back(shown);
    }
    Stop(korvane);
    if (!ok || times.empty()) {
        fprintf(stderr, "the History dialog did not show the whole log scrolled to its end\n");
        return 1;
    }
    printf("History with a log of %d lines (%.1f MB), %d openings after a first one of %.1f ms (aim: under 1 s):\n",
           kLines, logSize / 1048576.0, runs, cold);
    Report("from the History command to the log shown at its end", times);
    return 0;
}
