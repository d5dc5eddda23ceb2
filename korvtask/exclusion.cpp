// exclusion: whether a program of the user's list runs, so that the countdown gives way to it.
#include "korvtask.h"

#include "platform.h"
#include "winhandle.h"

#include <tlhelp32.h>

const char kDefaultExclusionList[] = "NOTEPAD.EXE\r\nWORDPAD.EXE\r\nPAINT.EXE\r\nENDCEDIT.EXE\r\nDEVENV.EXE\r\n"
                                     "SYSEDIT.EXE\r\nEXCEL.EXE\r\nPOWERPNT.EXE\r\nWINWORD.EXE\r\nVISIO.EXE\r\n";

std::string UpperMultibyte(const char *text) {
    std::string upper = text ? text : "";
    // CharUpperBuffA works through the code page, so a trail byte is never taken for a letter.
    if (!upper.empty()) CharUpperBuffA(&upper[0], DWORD(upper.size()));
    return upper;
}

std::vector<std::string> ExclusionEntries(const char *list) {
    std::vector<std::string> entries;
    std::string upper = UpperMultibyte(list);
    size_t start = 0;
    while (start < upper.size()) {
        size_t end = upper.find_first_of("\r\n", start);
        if (end == std::string::npos) end = upper.size();
        if (end > start) entries.push_back(upper.substr(start, end - start));
        start = end + 1;
    }
    return entries;
}

bool IsExcludedProcess(const std::vector<std::string> &entries, const char *exeFile) {
    if (!exeFile) return false;
    // Older Windows give a full path here, newer ones the name alone.
    std::string name = UpperMultibyte(FileNameOfPath(exeFile));
    for (const std::string &entry : entries)
        if (entry == name) return true;
    return false;
}

bool ExcludedProgramRunning(const char *list) {
    std::vector<std::string> entries = ExclusionEntries(list);
    if (entries.empty()) return false;
    UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return false;
    PROCESSENTRY32 process = {};
    process.dwSize = sizeof process;
    for (BOOL more = Process32First(snapshot.Get(), &process); more; more = Process32Next(snapshot.Get(), &process))
        if (IsExcludedProcess(entries, process.szExeFile)) return true;
    return false;
}
