// Start-up of QS: its switch and the repair of PATH.
#include "QS.h"

#include "language.h"
#include "runlog.h"

#include <cstring>

StartSwitch ParseStartSwitch(const char *commandLine) {
    if (!commandLine || commandLine[0] != '/') return {StartMode::Normal, ""};
    switch (commandLine[1]) {
    case 'S':
    case 's':
        return {StartMode::BlackScreen, ""};
    case 'W':
    case 'w':
        return {StartMode::Notice, commandLine + 2};
    case 'X':
    case 'x':
        return {StartMode::EndBlackScreen, ""};
    default:
        return {StartMode::Normal, ""};
    }
}

PathState CheckPath(const std::string &path, const std::string &windowsFolder, const std::string &systemFolder,
                    std::string *repaired) {
    bool hasWindows = false, hasSystem = false;
    size_t begin = 0;
    while (begin <= path.size()) {
        size_t end = path.find(';', begin);
        if (end == std::string::npos) end = path.size();
        std::string element = path.substr(begin, end - begin);
        // Whole elements only: "C:\windows\system32\" is not the System folder.
        hasWindows = hasWindows || _stricmp(element.c_str(), windowsFolder.c_str()) == 0;
        hasSystem = hasSystem || _stricmp(element.c_str(), systemFolder.c_str()) == 0;
        begin = end + 1;
    }
    *repaired = path;
    if (!hasWindows) *repaired += ";" + windowsFolder;
    if (!hasSystem) *repaired += ";" + systemFolder;
    if (hasWindows && hasSystem) return PathState::Complete;
    if (hasWindows) return PathState::SystemMissing;
    return hasSystem ? PathState::WindowsMissing : PathState::BothMissing;
}

namespace {

void SetPath(const std::string &value) {
    if (SetEnvironmentVariableA("PATH", value.c_str()))
        RUNLOG2(Tx("PATH を作成しました。PATH=", "Created Path. PATH="), value.c_str());
    else
        RUNLOG(Tx("SetEnvironmentVariable のエラーです。", "SetEnvironmentVariable error."));
}

const char *MissingText(PathState state) {
    switch (state) {
    case PathState::SystemMissing:
        return Tx("PATH - System フォルダーがありません。 - 追加します。", "PATH - System Folder not found. - Append.");
    case PathState::WindowsMissing:
        return Tx("PATH - Windows フォルダーがありません。 - 追加します。",
                  "PATH - Windows Folder not found. - Append.");
    default:
        return Tx("PATH - Windows と System フォルダーがありません。 - 追加します。",
                  "PATH - Windows and System Folder not found. - Append.");
    }
}

} // namespace

void RepairPathEnvironment(const std::string &windowsFolder, const std::string &systemFolder) {
    DWORD size = GetEnvironmentVariableA("PATH", nullptr, 0);
    if (size <= 1) {
        RUNLOG(Tx("PATH がありません。", "PATH not found."));
        SetPath(windowsFolder + ";" + systemFolder);
        return;
    }
    std::string path(size, '\0');
    DWORD length = GetEnvironmentVariableA("PATH", &path[0], size);
    if (length == 0 || length >= size) {
        RUNLOG(Tx("PATH - 不明 (エラー)", "PATH - Unknown(error)"));
        return;
    }
    path.resize(length);
    RUNLOG2("PATH=", path.c_str());
    std::string repaired;
    PathState state = CheckPath(path, windowsFolder, systemFolder, &repaired);
    if (state == PathState::Complete) return;
    RUNLOG(MissingText(state));
    SetPath(repaired);
}
