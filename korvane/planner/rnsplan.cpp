// rnsplan: the planner's registry changes, made for a run or noted for a preview, and the record of
// the values before the run for the restore audit.
#include "planner/rnsplan.h"

#include "language.h"
#include "platform.h"
#include "runlog.h"
#include "settings.h"

#include <cstring>

PlanRecord *g_planRecord = nullptr;

namespace {

const char kLogModule[] = "rnsplan";

RegistryValue MakeValue(DWORD type, const void *data, size_t length) {
    RegistryValue value;
    value.exists = true;
    value.type = type;
    value.bytes.assign(static_cast<const char *>(data), length);
    return value;
}

// The type WriteStringA will give the text, by its rule and the value there now.
DWORD StringType(BYTE typeRule, const char *text, DWORD currentType) {
    switch (typeRule) {
    case STRTYPE_EXPAND:
        return REG_EXPAND_SZ;
    case STRTYPE_AUTO: {
        int percents = 0;
        for (const char *p = text; *p; ++p)
            percents += *p == '%';
        return percents >= 2 ? REG_EXPAND_SZ : REG_SZ;
    }
    case STRTYPE_KEEP:
        return currentType == REG_EXPAND_SZ ? REG_EXPAND_SZ : REG_SZ;
    }
    return REG_SZ;
}

bool EndsWithNoCase(const std::string &text, const char *tail) {
    size_t length = strlen(tail);
    return text.size() >= length && _stricmp(text.c_str() + text.size() - length, tail) == 0;
}

// Written before the change, so that even a run that stops half-way leaves the way back on record.
void RecordBeforeRun(const std::string &key, const char *name, const RegistryValue &before) {
    REGA settings;
    bool recorded = OpenSettings(settings, OPEN_CREATE) && AddToAuditRecord(settings, {key, name, ToAudited(before)});
    if (settings.IsOpen()) settings.CloseKey();
    if (!recorded)
        LogLine2(kLogModule, __LINE__,
                 Tx("復元の確認用に記録できません - ", "Cannot record the setting for the restore audit - "),
                 (key + "\\" + name).c_str());
}

} // namespace

bool RecordProgram(const std::string &text) {
    if (!Previewing()) return false;
    g_planRecord->programs.push_back(text);
    return true;
}

void RecordFileChange(const std::string &path, const std::string &now, const std::string &during) {
    if (!Previewing()) return;
    size_t slash = path.find_last_of('\\');
    std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    g_planRecord->changes.push_back({folder, path.substr(folder.size()), now, during});
}

std::string KeyName(HKEY root, const char *path) {
    return std::string(root == HKEY_CURRENT_USER ? "HKCU\\" : "HKLM\\") + path;
}

AuditedValue ToAudited(const RegistryValue &value) {
    AuditedValue audited;
    audited.exists = value.exists;
    audited.type = value.type;
    audited.bytes = value.bytes;
    return audited;
}

bool IsAuditedSetting(const std::string &key, const std::string &) {
    if (lstrcmpiA(key.c_str(), KeyName(HKEY_LOCAL_MACHINE, kSettingsPath).c_str()) == 0) return false;
    return !EndsWithNoCase(key, "\\Runonce");
}

// ---- PlannedKey ---------------------------------------------------------------------------------

bool PlannedKey::Open(HKEY root, const char *path) {
    root_ = root;
    path_ = path;
    if (!Previewing()) return key_.OpenKey(root, path, OPEN_CREATE);
    key_.OpenKey(root, path, OPEN_READONLY);
    return true;
}

bool PlannedKey::OpenService(const std::string &name) {
    root_ = HKEY_LOCAL_MACHINE;
    path_ = "SYSTEM\\CurrentControlSet\\Services\\" + name;
    if (!Previewing()) return key_.OpenSubKey(name.c_str());
    return key_.OpenKey(root_, path_.c_str(), OPEN_READONLY);
}

void PlannedKey::Close() {
    if (key_.IsOpen()) key_.CloseKey();
}

LONG PlannedKey::ReadInteger(const char *name, LONG defaultValue) {
    return key_.IsOpen() ? key_.ReadIntegerA(name, defaultValue) : defaultValue;
}

RegistryValue PlannedKey::Read(const char *name) {
    return ReadRegistryValue(key_, name);
}

bool PlannedKey::Changing(const char *name, const RegistryValue &during, bool *written) {
    RegistryValue now = Read(name);
    std::string key = KeyName(root_, path_.c_str());
    if (Previewing()) {
        g_planRecord->changes.push_back(
            {key, name, DescribeValue(ToAudited(now)), DescribeValue(ToAudited(during))});
        *written = true;
        return false;
    }
    if (!SameValue(ToAudited(now), ToAudited(during)) && IsAuditedSetting(key, name))
        RecordBeforeRun(key, name, now);
    return true;
}

bool PlannedKey::WriteInteger(const char *name, LONG value) {
    bool written = false;
    if (!Changing(name, MakeValue(REG_DWORD, &value, sizeof value), &written)) return written;
    return key_.WriteIntegerA(name, value);
}

bool PlannedKey::WriteString(const char *name, const char *text, BYTE typeRule) {
    bool written = false;
    RegistryValue during = MakeValue(StringType(typeRule, text, Read(name).type), text, strlen(text) + 1);
    if (!Changing(name, during, &written)) return written;
    return key_.WriteStringA(name, text, typeRule);
}

bool PlannedKey::WriteBinary(const char *name, const void *data, DWORD length) {
    bool written = false;
    if (!Changing(name, MakeValue(REG_BINARY, data, length), &written)) return written;
    return key_.WriteBinaryA(name, data, length);
}

bool PlannedKey::Write(const char *name, const RegistryValue &value) {
    bool written = false;
    if (!Changing(name, value, &written)) return written;
    return WriteRegistryValue(key_, name, value);
}

bool PlannedKey::Delete(const char *name) {
    if (!Read(name).exists) return !Previewing() && key_.DeleteValue(name);
    bool written = false;
    if (!Changing(name, RegistryValue(), &written)) return written;
    return key_.DeleteValue(name);
}

bool OpenSettingsForWriting(PlannedKey &key, const char *module) {
    if (key.Open(HKEY_LOCAL_MACHINE, kSettingsPath)) return true;
    ReportRegistryError(kSettingsLocation, module);
    return false;
}

// ---- The preview report -------------------------------------------------------------------------

namespace {

bool IsEntryOf(const std::string &entry, const std::string &keyword) {
    return _strnicmp(entry.c_str(), keyword.c_str(), keyword.size()) == 0 &&
           (entry.size() == keyword.size() || entry[keyword.size()] == ' ' || keyword.back() == ' ');
}

// The keywords of the entries that may put a value back, by value name.
std::vector<std::string> RestoreKeywords(const PlannedChange &change) {
    static const struct {
        const char *name;
        const char *keywords[2];
    } kByName[] = {{"EnableLUA", {"$EnableUAC"}},
                   {"Shell", {"$RestoreShell"}},
                   {"PagingFiles", {"$RestoreSwap"}},
                   {"_PagingFiles", {"$RestoreSwap"}},
                   {"BootExecute", {"$RestoreBootExecute"}},
                   {"_BootExecute", {"$RestoreBootExecute"}},
                   {"AutoAdminLogon", {"$OffAutoLogon", "$ClearAutoLogon"}},
                   {"DisplayLastLogonInfo", {"$EnableDisplayLastLogonInfo"}},
                   {"BOOT.INI", {"$RestoreBi"}},
                   {"BOOT.RN_", {"$RestoreBi"}}};
    if (lstrcmpiA(change.name.c_str(), "Start") == 0) {
        size_t slash = change.key.find_last_of('\\');
        return {"$RService " + change.key.substr(slash == std::string::npos ? 0 : slash + 1)};
    }
    std::vector<std::string> keywords;
    for (const auto &known : kByName)
        if (lstrcmpiA(change.name.c_str(), known.name) == 0)
            for (const char *keyword : known.keywords)
                if (keyword) keywords.push_back(keyword);
    return keywords;
}

void AddSection(std::string &report, const char *title, size_t count) {
    report += FormatString("\r\n%s (%u)\r\n", title, unsigned(count));
}

} // namespace

std::string RestoreEntryFor(const PlannedChange &change, const std::vector<std::string> &entries) {
    if (EndsWithNoCase(change.key, "\\Runonce"))
        return Tx("(次のログオンで Windows が消費します)", "(consumed by Windows at the next logon)");
    if (lstrcmpiA(change.key.c_str(), KeyName(HKEY_LOCAL_MACHINE, kSettingsPath).c_str()) == 0)
        return Tx("(korvane の設定: 元に戻すための記録)", "(korvane's own record for the way back)");
    if (lstrcmpiA(change.name.c_str(), "AutoChkTimeOut") == 0)
        return Tx("(元に戻しません)", "(left as set)");
    for (const std::string &keyword : RestoreKeywords(change))
        for (const std::string &entry : entries)
            if (IsEntryOf(entry, keyword)) return entry;
    if (lstrcmpiA(change.name.c_str(), "AutoAdminLogon") == 0)
        return Tx("(実行後に korvane /H0 または /H1 が戻します)", "(put back by korvane /H0 or /H1 after the run)");
    return Tx("(元に戻すエントリがありません)", "(NO entry puts it back)");
}

std::string FormatPreviewReport(const RunPreview &preview) {
    std::string report = Tx("Rinsa の実行のプレビュー", "Preview of the Rinsa run");
    if (!preview.planned)
        return report + "\r\n\r\n" + Tx("設定を読み込めません。", "The settings cannot be read.") + "\r\n";
    report += " - " + preview.summary + "\r\n";
    report += Tx("何も変更していません。", "Nothing has been changed.");
    report += "\r\n";
    AddSection(report, Tx("再起動の前に実行するもの", "Run before the restart"), preview.programs.size());
    for (const std::string &program : preview.programs)
        report += "  " + program + "\r\n";
    AddSection(report, Tx("システムの変更", "System changes"), preview.changes.size());
    for (size_t i = 0; i < preview.changes.size(); ++i) {
        const PlannedChange &change = preview.changes[i];
        report += "  " + change.key + "\\" + change.name + "\r\n";
        report += FormatString(Tx("      現在: %s  実行中: %s\r\n      元に戻す: %s\r\n",
                                  "      now: %s  during the run: %s\r\n      put back by: %s\r\n"),
                               change.now.c_str(), change.during.c_str(),
                               i < preview.restores.size() ? preview.restores[i].c_str() : "");
    }
    AddSection(report, Tx("コマンドリスト", "Command list"), preview.entries.size());
    for (size_t i = 0; i < preview.entries.size(); ++i)
        report += FormatString("  order%u\t%s\r\n", unsigned(i), preview.entries[i].c_str());
    report += "\r\n" + std::string(Tx("最後に: ", "Then: ")) + preview.handOver + "\r\n";
    AddSection(report, Tx("前回の復元の確認", "Last restore audit"), preview.lastAudit.size());
    if (preview.lastAudit.empty()) report += std::string("  ") + Tx("(なし)", "(none)") + "\r\n";
    for (const std::string &line : preview.lastAudit)
        report += "  " + line + "\r\n";
    return report;
}
