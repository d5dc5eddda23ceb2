// settings: the settings key and its reading rules.
#include "settings.h"

#include <cstdio>

std::string OrderValueName(int index) {
    char name[32];
    snprintf(name, sizeof name, "order%d", index);
    return name;
}

std::string DriveValueName(const char *stem, const char *drive) {
    std::string name = stem;
    // "$RECDFRGTIME" with no drive stores the bare stem.
    if (drive && *drive) name += drive[0];
    return name;
}

std::vector<std::string> SplitNameList(const std::string &list) {
    std::vector<std::string> names;
    size_t start = 0;
    while (start < list.size()) {
        size_t end = list.find(kNameListSeparator, start);
        if (end == std::string::npos) end = list.size();
        if (end > start) names.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

std::string JoinNameList(const std::vector<std::string> &names) {
    std::string list;
    for (const std::string &name : names)
        list += name + kNameListSeparator;
    return list;
}

bool OpenSettings(REGA &key, int flags) {
    return key.OpenKey(kSettingsRoot, kSettingsPath, flags);
}

LONG ReadSetting(REGA &key, const DwordSetting &setting) {
    return key.ReadIntegerA(setting.name, setting.defaultValue);
}

bool ReadOnceFlag(REGA &key, const DwordSetting &setting) {
    LONG value = key.ReadIntegerA(setting.name, 0);
    // Consumed while the settings are read, so even a cancelled run has used a next-run-only option.
    if (value == 2) key.DeleteValue(setting.name);
    return value != 0;
}

std::string ReadTextSetting(REGA &key, const TextSetting &setting) {
    std::unique_ptr<char[]> text = key.RegReadStringA(setting.name, setting.defaultText);
    return text ? std::string(text.get()) : std::string();
}

bool WriteSettingDword(const char *name, LONG value) {
    REGA key;
    if (!OpenSettings(key, OPEN_CREATE)) return false;
    bool written = key.WriteIntegerA(name, value);
    key.CloseKey();
    return written;
}

LONG ReadSettingDword(const char *name) {
    REGA key;
    if (!OpenSettings(key, OPEN_READONLY)) return 0;
    LONG value = key.ReadIntegerA(name, 0);
    key.CloseKey();
    return value;
}

DWORD ResolveDriveMask(DWORD mask, UINT (*driveType)(const char *root)) {
    if (mask != 0) return mask;
    char root[] = "A:\\";
    for (int i = 0; i < 26; ++i) {
        root[0] = char('A' + i);
        if (driveType(root) == DRIVE_FIXED) mask |= 1u << i;
    }
    return mask;
}

namespace {

UINT SystemDriveType(const char *root) {
    return GetDriveTypeA(root);
}

} // namespace

DWORD ResolveDriveMask(DWORD mask) {
    return ResolveDriveMask(mask, SystemDriveType);
}
