// A program that misuses REGA on purpose, so the end-to-end tests can see a real warning box:
// it decides its language as korvane does, then closes a key it never opened.
#include "language.h"
#include "rega.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    DecideLanguage(Program::Korvane);
    REGA rega;
    return rega.CloseKey() ? 1 : 0;
}
