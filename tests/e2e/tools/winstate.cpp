// Looks at, or minimises, the top-level window of a class, for the tests of korvane's single
// instance:
//
//   winstate.exe query|minimize CLASS
//
// Prints "iconic <0|1> foreground <0|1>" after the action; exit code 4 when there is no such window.
#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char **argv) {
    if (argc != 3 || (std::strcmp(argv[1], "query") != 0 && std::strcmp(argv[1], "minimize") != 0)) {
        std::fprintf(stderr, "usage: winstate query|minimize CLASS\n");
        return 2;
    }
    HWND window = FindWindowA(argv[2], nullptr);
    if (!window) {
        std::fprintf(stderr, "winstate: no window of class %s\n", argv[2]);
        return 4;
    }
    if (std::strcmp(argv[1], "minimize") == 0) {
        ShowWindow(window, SW_MINIMIZE);
        for (int i = 0; i < 50 && !IsIconic(window); ++i)
            Sleep(100);
    }
    HWND foreground = GetForegroundWindow();
    bool ours = foreground && (foreground == window || GetAncestor(foreground, GA_ROOTOWNER) == window);
    std::printf("iconic %d foreground %d\n", IsIconic(window) ? 1 : 0, ours ? 1 : 0);
    return 0;
}
