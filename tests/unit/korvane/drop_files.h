// Files dropped on a window as Explorer hands them over, for the tests of drop targets.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <cstring>
#include <string>
#include <vector>

// DROPFILES of shlobj.h, whose other declarations clash with the planner's.
struct DropHeader {
    DWORD pFiles;
    POINT pt;
    BOOL fNC;
    BOOL fWide;
};

// A drop of files as Explorer hands it over; the receiver frees it with DragFinish.
inline HDROP MakeDrop(const std::vector<std::string> &paths) {
    size_t size = sizeof(DropHeader) + 1;
    for (const std::string &path : paths)
        size += path.size() + 1;
    HGLOBAL memory = GlobalAlloc(GHND, size);
    auto *header = static_cast<DropHeader *>(GlobalLock(memory));
    header->pFiles = sizeof(DropHeader);
    char *names = reinterpret_cast<char *>(header + 1);
    for (const std::string &path : paths) {
        memcpy(names, path.c_str(), path.size() + 1);
        names += path.size() + 1;
    }
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}
