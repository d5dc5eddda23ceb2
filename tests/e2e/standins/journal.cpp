#include "journal.h"

#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace standin {

std::string Utf8(const wchar_t *text) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return std::string();
    std::string result(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &result[0], size, nullptr, nullptr);
    result.resize(static_cast<size_t>(size - 1));
    return result;
}

std::string Escape(const std::string &field) {
    std::string result;
    for (char c : field) {
        switch (c) {
        case '\t':
            result += "\\t";
            break;
        case '\r':
            result += "\\r";
            break;
        case '\n':
            result += "\\n";
            break;
        case '\\':
            result += "\\\\";
            break;
        default:
            result += c;
        }
    }
    return result;
}

namespace {

std::string CurrentFolder() {
    wchar_t folder[MAX_PATH * 2] = L"";
    GetCurrentDirectoryW(MAX_PATH * 2, folder);
    return Utf8(folder);
}

// Who started us, as "<pid> <program>": the test wants to know that QS, not the harness, ran
// the tool. Wine's snapshot does not always list the parent (seen for a program started from
// Linux); the name is then left out.
std::string ParentProgram() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return std::string();
    DWORD self = GetCurrentProcessId(), parent = 0;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && !parent; more = Process32NextW(snapshot, &entry))
        if (entry.th32ProcessID == self) parent = entry.th32ParentProcessID;
    std::string name;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && parent && name.empty();
         more = Process32NextW(snapshot, &entry))
        if (entry.th32ProcessID == parent) name = Utf8(entry.szExeFile);
    CloseHandle(snapshot);
    return name.empty() ? std::to_string(parent) : std::to_string(parent) + " " + name;
}

std::string SettingsPath(const std::string &tool) {
    return std::string(kFolder) + "\\" + tool + ".cfg";
}

} // namespace

std::string ToolName() {
    wchar_t path[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::string name = Utf8(path);
    name = name.substr(name.find_last_of("\\/") + 1);
    return name.substr(0, name.rfind('.'));
}

Settings ReadSettings(const std::string &tool) {
    Settings settings;
    FILE *file = std::fopen(SettingsPath(tool).c_str(), "r");
    if (!file) return settings;
    char line[1024];
    while (std::fgets(line, sizeof line, file)) {
        line[std::strcspn(line, "\r\n")] = '\0';
        if (std::strncmp(line, "exit ", 5) == 0)
            settings.exitCode = std::atoi(line + 5);
        else if (std::strncmp(line, "sleep ", 6) == 0)
            settings.sleepMs = static_cast<DWORD>(std::strtoul(line + 6, nullptr, 10));
        else if (std::strncmp(line, "print ", 6) == 0)
            settings.text = line + 6;
    }
    std::fclose(file);
    return settings;
}

void AppendJournal(const std::string &tool, const std::string &exitCode) {
    CreateDirectoryA(kFolder, nullptr);
    std::string line = Escape(tool) + "\t" + exitCode + "\t" + Escape(CurrentFolder()) + "\t" +
                       Escape(Utf8(GetCommandLineW())) + "\t" + Escape(ParentProgram()) + "\r\n";
    // One write in append mode, so that tools running side by side never mix their lines.
    HANDLE file = CreateFileA((std::string(kFolder) + "\\journal.txt").c_str(), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

} // namespace standin
