// upkeep: the settings work of every start: repairs, the move of an old settings key, the values
// written at start, and the registration with the update-notification tool.
#include "korvane.h"
#include "startup/startup.h"
#include "planner/rnsrun.h"

#include "language.h"
#include "platform.h"
#include "runlog.h"
#include "settings.h"

#include <cstring>

// ---- Settings upkeep ------------------------------------------------------------------------------

namespace {

DWORD SubKeyCount(REGA &key) {
    DWORD count = 0;
    if (RegQueryInfoKeyA(key.Handle(), nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return DWORD(-1);
    return count;
}

bool IsUserHistory(const char *name) {
    return EqualNoCase(name, setting::cbq_defrag_cust) || EqualNoCase(name, setting::cbq_chkdsk_cust);
}

struct ValueCopy {
    std::vector<std::string> copied;
    bool complete = true;
};

// Every value of source into target, the user's two histories excepted.
ValueCopy CopyValues(REGA &source, REGA &target) {
    ValueCopy result;
    DWORD nameLength = 0, dataLength = 0;
    if (RegQueryInfoKeyA(source.Handle(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &nameLength,
                         &dataLength, nullptr, nullptr) != ERROR_SUCCESS) {
        result.complete = false;
        return result;
    }
    std::vector<char> name(nameLength + 2);
    std::vector<BYTE> data(dataLength + 2);
    for (DWORD index = 0;; ++index) {
        DWORD nameSize = DWORD(name.size()), dataSize = DWORD(data.size()), type = REG_NONE;
        LONG status =
            RegEnumValueA(source.Handle(), index, name.data(), &nameSize, nullptr, &type, data.data(), &dataSize);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) {
            result.complete = false;
            break;
        }
        if (IsUserHistory(name.data())) continue;
        if (RegSetValueExA(target.Handle(), name.data(), 0, type, data.data(), dataSize) != ERROR_SUCCESS) {
            result.complete = false;
            continue;
        }
        result.copied.push_back(name.data());
    }
    return result;
}

bool IsEmptyKey(REGA &key) {
    DWORD subKeys = 1, values = 1;
    RegQueryInfoKeyA(key.Handle(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr,
                     nullptr, nullptr);
    return subKeys == 0 && values == 0;
}

} // namespace

void RepairExplorerVerbs() {
    for (const char *parent : {"*\\shell", "exefile\\shell"}) {
        std::string path = std::string(parent) + "\\Korvane";
        REGA verb;
        if (!verb.OpenKey(HKEY_CLASSES_ROOT, path.c_str(), OPEN_READONLY)) continue;
        bool empty = SubKeyCount(verb) == 0;
        verb.CloseKey();
        if (!empty) continue;
        // A verb without its command subkey is what an interrupted removal leaves; Explorer would
        // show it and fail.
        REGA parentKey;
        if (!parentKey.OpenKey(HKEY_CLASSES_ROOT, parent, 0)) continue;
        parentKey.DeleteKey("Korvane");
        parentKey.CloseKey();
    }
}

bool MoveSettingsFromUser() {
    REGA machine, user;
    if (machine.OpenKey(kSettingsRoot, kSettingsPath, OPEN_READONLY)) return machine.CloseKey();
    if (!user.OpenKey(HKEY_CURRENT_USER, kSettingsPath, 0)) return true;
    if (!machine.OpenKey(kSettingsRoot, kSettingsPath, OPEN_CREATE)) {
        user.CloseKey();
        ReportRegistryError(kSettingsLocation, kLogModule);
        return false;
    }
    ValueCopy copy = CopyValues(user, machine);
    machine.CloseKey();
    // A value that could not be copied keeps the whole user key, so nothing is lost.
    if (copy.complete)
        for (const std::string &name : copy.copied)
            user.DeleteValue(name.c_str());
    bool empty = copy.complete && IsEmptyKey(user);
    user.CloseKey();
    if (empty) RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsPath);
    return true;
}

bool MoveLegacyLog(REGA &settings, const char *logPath) {
    if (FileExists(logPath)) return true;
    FILE *log = fopen(logPath, "w");
    if (!log) {
        ShowMessage(
            nullptr,
            {"KORVANE.LOG:書き込みモードでファイルを開けません。", "KORVANE.LOG:Cannot open file on write mode."},
            MB_ICONERROR);
        return false;
    }
    for (int n = 299; n >= 0; --n) {
        char name[16];
        snprintf(name, sizeof name, "log%02d", n);
        if (settings.ValueExistA(name) < 0) continue;
        TextPtr text = settings.RegReadStringA(name, "");
        if (text) fprintf(log, "%s\n", text.get());
        settings.DeleteValue(name);
    }
    fclose(log);
    return true;
}

void ClearRestrictRun() {
    REGA key;
    if (!key.OpenKey(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer", 0)) return;
    // Left at 0 by older versions, it would stop Explorer from starting any program.
    if (key.ReadIntegerA("RestrictRun", 1) == 0) key.DeleteValue("RestrictRun");
    key.CloseKey();
}

void EnsureDefaultSoundScheme() {
    const char kScheme[] = "AppEvents\\Schemes\\Apps\\.Default\\.Default";
    REGA key;
    if (key.OpenKey(HKEY_CURRENT_USER, kScheme, OPEN_READONLY) || key.OpenKey(HKEY_CURRENT_USER, kScheme, OPEN_CREATE))
        key.CloseKey();
}

void UpdateSettingsAtStart(const StartWrites &writes) {
    REGA key;
    if (!OpenSettingsForWriting(key, kLogModule)) return;
    key.DeleteValue("");
    key.WriteIntegerA(setting::VersionNumber.name, LONG(writes.versionNumber));
    key.WriteStringA(setting::ProgramFile.name, writes.programFile ? writes.programFile : "", STRTYPE_PLAIN);
    if (!writes.selfCheckTime.empty())
        key.WriteStringA(setting::SelfCheckPassed.name, writes.selfCheckTime.c_str(), STRTYPE_PLAIN);
    if (writes.updateCheckAllowed && ReadSetting(key, setting::AutoUpdateCheck) != 0) {
        // Its boxes wait for the main window, which is made later in the start.
        HoldUpdateBoxes();
        StartUpdateCheck(UpdateMode::Automatic, ReadUpdateCheckRequest(key));
    }
    MoveLegacyLog(key, RunLogPath().c_str());
    key.CloseKey();
}
namespace {

// Deletes the product's subkey of an old registration, and the registration when nothing is left.
void RemoveObsoleteRegistration(REGA &upcheck, const char *registration) {
    std::string path = std::string(kUpcheckKey) + "\\" + registration;
    REGA old;
    if (!old.OpenKey(HKEY_CURRENT_USER, path.c_str(), 0)) return;
    if (SubKeyCount(old) > 0) old.DeleteKey("KORVANE");
    bool empty = SubKeyCount(old) == 0;
    old.CloseKey();
    if (empty) upcheck.DeleteKey(registration);
}

bool OpenRegistration(REGA &key, const char *subKey) {
    std::string path = std::string(kUpcheckKey) + "\\" + kUpcheckRegistration + subKey;
    if (key.OpenKey(HKEY_CURRENT_USER, path.c_str(), OPEN_CREATE)) return true;
    ReportRegistryError("Update", kLogModule);
    return false;
}

} // namespace

void RegisterWithUpcheck(DWORD versionNumber, const char *programFile) {
    REGA upcheck;
    if (!upcheck.OpenKey(HKEY_CURRENT_USER, kUpcheckKey, 0)) return;
    for (const char *registration : kUpcheckObsolete)
        RemoveObsoleteRegistration(upcheck, registration);
    upcheck.CloseKey();
    REGA maker, product;
    if (!OpenRegistration(maker, "")) return;
    maker.WriteStringA("Author", "Halvornix", STRTYPE_PLAIN);
    maker.WriteStringA("InfoURL", kUpdateInfoUrl, STRTYPE_PLAIN);
    maker.WriteStringA("DisplayHost", kMakerHost, STRTYPE_PLAIN);
    maker.CloseKey();
    if (!OpenRegistration(product, "\\KORVANE")) return;
    product.WriteIntegerA("Build", LONG(versionNumber));
    product.WriteStringA("DistinctName", "KORVANE", STRTYPE_PLAIN);
    product.WriteStringA("DisplayName", ProductTitle(), STRTYPE_PLAIN);
    product.WriteStringA("FilePath", programFile ? programFile : "", STRTYPE_PLAIN);
    product.CloseKey();
}
