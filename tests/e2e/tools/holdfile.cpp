// Holds a file open as a program that writes to it would, so that nobody can delete it, for the
// end-to-end test of the run log viewer:
//
//   holdfile.exe PATH SECONDS
//
// Reading and writing by others stay allowed; deleting does not. Prints "held" once the file is
// open, then keeps it for the given seconds. Exit code 0, or 1 when the file cannot be opened.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: holdfile PATH SECONDS\n");
        return 2;
    }
    HANDLE file = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "holdfile: cannot open %s (error %lu)\n", argv[1], GetLastError());
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    Sleep(static_cast<DWORD>(std::atoi(argv[2])) * 1000);
    CloseHandle(file);
    return 0;
}
