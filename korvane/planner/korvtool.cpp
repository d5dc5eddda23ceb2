// korvtool: the planner's tools: running programs, writing command-list entries, reporting
// registry failures, the programs beside KORVANE.EXE, and timed log steps.
#include "korvane.h"
#include "planner/rnsplan.h"
#include "planner/rnsrun.h"

#include "language.h"
#include "platform.h"
#include "runlog.h"
#include "settings.h"
#include "winhandle.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

const char kLogModule[] = "korvtool";

int g_commandCount = 0;

// Removes the "!" and "@" prefixes; tells which there were.
const char *StripPrefixes(const char *commandLine, bool *wait, bool *quiet) {
    *wait = *commandLine != '!';
    if (!*wait) ++commandLine;
    *quiet = *commandLine == '@';
    if (*quiet) ++commandLine;
    return commandLine;
}

} // namespace

HINSTANCE g_instance = nullptr;

HINSTANCE ResourceInstance() {
    return g_instance ? g_instance : GetModuleHandleA(nullptr);
}
unsigned short g_windowsVersion = 0;
HWND g_mainWindow = nullptr;
bool g_autoMode = false;
HANDLE g_instanceMutex = nullptr;
std::string g_versionText;
DWORD g_lastExitCode = 0;

// ---- Running programs ---------------------------------------------------------------------------

bool RunCommandLine(const char *commandLine) {
    if (RecordProgram(commandLine)) {
        g_lastExitCode = 0;
        return true;
    }
    bool wait, quiet;
    const char *start = StripPrefixes(commandLine, &wait, &quiet);
    bool log = !quiet || TraceMode();
    if (log) RUNLOG2(quiet ? "Command Line(@) - " : "Command Line - ", commandLine);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION started = {};
    std::string writable = start; // CreateProcessA may write into its command line
    if (!CreateProcessA(nullptr, &writable[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
        if (TraceMode()) RUNLOG(SystemErrorText(IsJapanese(), GetLastError()));
        return false;
    }
    UniqueHandle process(started.hProcess);
    UniqueHandle thread(started.hThread);
    if (TraceMode()) RUNLOG("  OK");
    WaitForInputIdle(process.Get(), INFINITE);
    g_lastExitCode = 0;
    if (!wait) {
        if (log) RUNLOG("No Wait");
        return true;
    }
    if (TraceMode()) RUNLOG("Wait");
    WaitForSingleObject(process.Get(), INFINITE);
    GetExitCodeProcess(process.Get(), &g_lastExitCode);
    if (log) {
        char code[16];
        snprintf(code, sizeof code, "%lu", static_cast<unsigned long>(g_lastExitCode));
        RUNLOG2("  Return Code = ", code);
    }
    return true;
}

// ---- Command-list entries -----------------------------------------------------------------------

namespace {

// The text with its environment references expanded; the text itself when that fails (logged).
std::string Expanded(const char *text) {
    char probe[2];
    DWORD needed = ExpandEnvironmentStringsA(text, probe, sizeof probe);
    if (needed == 0) {
        RUNLOG2(Tx("ExpandEnvironmentStrings() でエラーが発生しました - ",
                   "An error occurs in ExpandEnvironmentStrings() - "),
                text);
        RUNLOG(SystemErrorText(IsJapanese(), GetLastError()));
        return text;
    }
    DWORD size = needed * 2 + 2;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[size]);
    if (!buffer) {
        RUNLOG2(
            Tx("ExpandEnvironmentStrings() でメモリが足りません - ", "Out of memory in ExpandEnvironmentStrings() - "),
            text);
        return text;
    }
    DWORD length = ExpandEnvironmentStringsA(text, buffer.get(), size);
    return length > 0 && length <= size ? std::string(buffer.get()) : std::string(text);
}

bool IsOrderName(const char *name, int *index) {
    if (strncmp(name, "order", 5) != 0 || !name[5]) return false;
    for (const char *p = name + 5; *p; ++p)
        if (*p < '0' || *p > '9' || p - name > 5 + 9) return false; // nine digits cannot overflow
    *index = atoi(name + 5);
    return true;
}

} // namespace

void AppendCommand(const char *text) {
    if (!text) {
        g_commandCount = 0;
        if (Previewing()) g_planRecord->entries.clear();
        return;
    }
    if (Previewing()) {
        g_planRecord->entries.push_back(Expanded(text));
        ++g_commandCount;
        return;
    }
    REGA key;
    if (!OpenSettingsForWriting(key)) return;
    std::string expanded = Expanded(text);
    if (key.WriteStringA(OrderValueName(g_commandCount).c_str(), expanded.c_str(), STRTYPE_KEEP)) ++g_commandCount;
    key.CloseKey();
}

int CommandCount() {
    return g_commandCount;
}

namespace {

// The names and indices of the key's command-list values, in the order the key keeps them.
std::vector<std::pair<int, std::string>> OrderValues(REGA &key) {
    std::vector<std::pair<int, std::string>> values;
    char name[64];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        LONG status = RegEnumValueA(key.Handle(), i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        int index;
        if (status == ERROR_SUCCESS && IsOrderName(name, &index)) values.emplace_back(index, name);
    }
    return values;
}

} // namespace

std::vector<std::string> ReadCommandList() {
    REGA key;
    if (!OpenSettings(key, OPEN_READONLY)) return {};
    std::vector<std::pair<int, std::string>> values = OrderValues(key);
    std::sort(values.begin(), values.end());
    std::vector<std::string> list;
    for (const auto &value : values) {
        if (value.first > kLastOrderIndex) break; // QS never gets there
        TextPtr text = key.RegReadStringA(value.second.c_str(), "");
        list.push_back(text ? text.get() : "");
    }
    key.CloseKey();
    return list;
}

void DeleteStaleCommands() {
    if (Previewing()) return;
    REGA key;
    if (!OpenSettings(key, OPEN_CREATE)) return;
    // Collected first: deleting while enumerating would skip values.
    for (const auto &value : OrderValues(key))
        if (value.first >= g_commandCount) key.DeleteValue(value.second.c_str());
    key.CloseKey();
}

// ---- Registry failures --------------------------------------------------------------------------

void ReportRegistryError(const char *location, const char *module) {
    std::string text =
        std::string(Tx("レジストリキーを開けません。\r\n", "Cannot open registry key.\r\n")) + " " + location;
    ShowMessageBox(g_mainWindow, text.c_str(), ProductTitle(), MB_ICONERROR);
    LogLine2(module, __LINE__, (std::string(location) + ":").c_str(),
             Tx("レジストリキーを開けません。", "Cannot open registry key."));
}

bool OpenSettingsForWriting(REGA &key, const char *module) {
    if (OpenSettings(key, OPEN_CREATE)) return true;
    ReportRegistryError(kSettingsLocation, module);
    return false;
}

// ---- Raw registry values ------------------------------------------------------------------------

RegistryValue ReadRegistryValue(REGA &key, const char *name) {
    RegistryValue value;
    DWORD size = 0;
    if (!key.IsOpen() || RegQueryValueExA(key.Handle(), name, nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS)
        return value;
    value.bytes.resize(size);
    // The value may grow between the two calls; then it is treated as unreadable.
    if (RegQueryValueExA(key.Handle(), name, nullptr, &value.type, reinterpret_cast<BYTE *>(&value.bytes[0]), &size) !=
        ERROR_SUCCESS)
        return RegistryValue();
    value.bytes.resize(size);
    value.exists = true;
    return value;
}

bool WriteRegistryValue(REGA &key, const char *name, const RegistryValue &value) {
    return key.IsOpen() &&
           RegSetValueExA(key.Handle(), name, 0, value.type, reinterpret_cast<const BYTE *>(value.bytes.data()),
                          static_cast<DWORD>(value.bytes.size())) == ERROR_SUCCESS;
}

// ---- The programs beside KORVANE.EXE ------------------------------------------------------------

const std::string &ProgramFolder() {
    static const std::string folder = [] {
        char module[kFolderBufferSize] = "";
        char result[kFolderBufferSize] = "";
        DWORD length = GetModuleFileNameA(nullptr, module, sizeof module);
        if (length == 0 || length >= sizeof module || !FolderOfPath(module, result)) return std::string();
        return std::string(result);
    }();
    return folder;
}

namespace {

// The 8.3 path keeps blanks out of the command lines that name these programs.
std::string ShortPathOf(const char *file) {
    std::string path = ProgramFolder() + file;
    if (!FileExists(path.c_str())) return std::string();
    char shortPath[MAX_PATH];
    DWORD length = GetShortPathNameA(path.c_str(), shortPath, sizeof shortPath);
    return length > 0 && length < sizeof shortPath ? std::string(shortPath) : path;
}

} // namespace

const std::string &QsShortPath() {
    static const std::string path = ShortPathOf("QS.EXE");
    return path;
}

const std::string &KorvlogShortPath() {
    static const std::string path = ShortPathOf("KORVLOG.EXE");
    return path;
}

// ---- Timed steps and command texts --------------------------------------------------------------

namespace {
DWORD g_stepStart = 0;
}

void LogStepStart(const char *module, unsigned line, const char *text) {
    g_stepStart = GetTickCount();
    LogLine(module, line, text);
}

void LogStepEnd(const char *module, unsigned line, const char *text) {
    std::string lineText = std::string(text) + FormatElapsed(IsJapanese(), GetTickCount() - g_stepStart);
    LogLine(module, line, lineText.c_str());
}

std::vector<std::string> CommandLines(const std::string &text) {
    std::vector<std::string> lines;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n'))
            ++i;
        size_t end = text.find_first_of("\r\n", i);
        if (end == std::string::npos) end = text.size();
        if (end > i) lines.push_back(text.substr(i, end - i));
        i = end;
    }
    return lines;
}

std::vector<std::string> SplitText(const std::string &text, char separator) {
    std::vector<std::string> pieces;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::string::npos) end = text.size();
        pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}
