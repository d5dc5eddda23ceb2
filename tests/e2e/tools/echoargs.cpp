// A console tool for the KORVLOG tests: shows the command line it was given, writes a line on
// each standard stream, and exits with the number given as its first argument (0 without one).
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv) {
    std::printf("command line: %s\n", GetCommandLineA());
    for (int i = 1; i < argc; ++i)
        std::printf("argument %d: %s\n", i, argv[i]);
    std::fprintf(stderr, "echoargs: on stderr\n");
    return argc > 1 ? std::atoi(argv[1]) : 0;
}
