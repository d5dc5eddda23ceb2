// Holds a file open as a program that writes to it would, so that nobody can delete it, for the
// end-to-end tests of the run log viewer and of a locked run log:
//
//   holdfile.exe PATH SECONDS [exclusive]
//
// Reading and writing by others stay allowed; deleting does not. With "exclusive" nobody else can
// open the file at all. Prints "held" once the file is open, then keeps it for the given seconds.
// Exit code 0, or 1 when the file cannot be opened.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char **argv) {
    if (argc != 3 && !(argc == 4 && std::strcmp(argv[3], "exclusive") == 0)) {
        std::fprintf(stderr, "usage: holdfile PATH SECONDS [exclusive]\n");
        return 2;
    }
    DWORD share = argc == 4 ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE;
    HANDLE file = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_EXISTING, 0, nullptr);
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
