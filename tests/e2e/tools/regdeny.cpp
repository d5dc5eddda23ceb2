// Makes a registry key unwritable for everyone, or writable again, for the end-to-end tests of
// korvane's registry write test:
//
//   regdeny.exe deny|allow HKCU|HKLM PATH
//
// Exit code 0 on success.
#include "key_access.h"

#include <cstdio>
#include <cstring>

int main(int argc, char **argv) {
    if (argc != 4 || (std::strcmp(argv[1], "deny") != 0 && std::strcmp(argv[1], "allow") != 0)) {
        std::fprintf(stderr, "usage: regdeny deny|allow HKCU|HKLM PATH\n");
        return 2;
    }
    HKEY root = _stricmp(argv[2], "HKLM") == 0 ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    if (SetKeyWritable(root, argv[3], std::strcmp(argv[1], "allow") == 0)) return 0;
    std::fprintf(stderr, "regdeny: cannot set the security of %s\n", argv[3]);
    return 1;
}
