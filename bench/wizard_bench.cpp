// How fast the wizard answers: from an answer button pressed to the next page drawn on the screen,
// in the configurator's own main window (made in this process, as KORVANE.EXE makes it). Measured
// forward (the first page's "Defragment" to the drive page) and back (Back on the drive page), with
// the built-in pages and with a theme that shows a picture on both pages.
//   wizard_bench [runs]
#include "korvane.h"
#include "window/korvwin.h"
#include "window/theme.h"
#include "window/wizardm.h"
#include "resource.h"

#include "language.h"
#include "settings.h"

#include "watch.h"

#include <cstdlib>
#include <fstream>

namespace {

using namespace watch;

void Pump() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// One press: the button's click, the page drawn into the picture, and the picture on the screen.
double Press(HWND window, int id) {
    double begin = Now();
    SendMessageA(GetDlgItem(window, id), BM_CLICK, 0, 0);
    UpdateWindow(window);
    GdiFlush();
    double took = Now() - begin;
    Pump();
    return took;
}

// A 24-bit picture of the size a theme would show beside the answers.
void WritePicture(const char *file, int width, int height) {
    int row = (width * 3 + 3) & ~3;
    BITMAPFILEHEADER header = {0x4D42, DWORD(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) + row * height), 0, 0,
                               DWORD(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER))};
    BITMAPINFOHEADER info = {sizeof info, width, height, 1, 24, BI_RGB, DWORD(row * height), 2835, 2835, 0, 0};
    std::string pixels(size_t(row) * height, '\0');
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = char(i * 7 % 251);
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char *>(&header), sizeof header);
    out.write(reinterpret_cast<const char *>(&info), sizeof info);
    out << pixels;
}

bool Measure(HWND window, int runs, const char *what) {
    std::vector<double> forward, back;
    for (int i = 0; i < runs; ++i) {
        forward.push_back(Press(window, IDC_MAIN_ANSWER1));
        if (MainScreenState() != 22) return false;
        back.push_back(Press(window, IDC_MAIN_ANSWER5));
        if (MainScreenState() != 21) return false;
    }
    printf("%s\n", what);
    Report("answer to the next page drawn", forward);
    Report("Back to the page before drawn", back);
    return true;
}

} // namespace

int main(int argc, char **argv) {
    int runs = argc > 1 ? atoi(argv[1]) : 20;
    if (runs < 1) runs = 1;
    SetLanguage(Program::Korvane, false);
    std::string folder = MakeScratchFolder();
    if (folder.empty() || !SetCurrentDirectoryA(folder.c_str())) return 1;
    WritePicture("picture.bmp", 180, 150);
    std::ofstream("picture.ini") << "[main]\r\nname=Picture\r\n[21-NT]\r\nBITMAP=picture.bmp\r\n"
                                    "[22]\r\nBITMAP=picture.bmp\r\n";
    SetDword(setting::mode.name, 21);

    if (!RegisterMainWindowClass()) return 1;
    HWND window = CreateMainWindow();
    if (!window) return 1;
    ShowInitialScreen(window);
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    Pump();

    bool measured = Measure(window, runs, "wizard pages, built-in:");
    REGA key;
    if (OpenSettings(key, OPEN_CREATE)) {
        key.WriteStringA(setting::inifile.name, "picture.ini", STRTYPE_PLAIN);
        key.CloseKey();
    }
    ShowWizardPage(window, 21);
    Pump();
    measured = measured && Measure(window, runs, "wizard pages, a theme with a 180 x 150 picture:");
    DestroyWindow(window);
    Pump();
    SetCurrentDirectoryA("C:\\");
    RemoveFolderTree(folder);
    if (!measured) fprintf(stderr, "wizard_bench: the pages did not follow the answers\n");
    return measured ? 0 : 1;
}
