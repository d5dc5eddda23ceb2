// Texts compared as Unicode, whatever the code page their bytes are in.
#pragma once

#include <windows.h>

#include <string>

inline std::wstring FromCodePage(UINT codePage, const std::string &text) {
    int n = MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(size_t(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), &wide[0], n);
    return wide;
}
