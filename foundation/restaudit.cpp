// restaudit: the record of the settings a run changed and the audit QS makes of it at the end.
#include "restaudit.h"

#include "language.h"
#include "platform.h"
#include "runlog.h"

#include <cstdio>
#include <cstring>

namespace {

const char kLogModule[] = "restaudit";
const char kHexDigits[] = "0123456789ABCDEF";
// More than this of a binary value says nothing more to a reader of the log.
constexpr size_t kDescribedBytes = 32;

std::string Hex(const std::string &bytes, const char *separator, size_t most) {
    std::string text;
    for (size_t i = 0; i < bytes.size() && i < most; ++i) {
        if (i) text += separator;
        text += kHexDigits[BYTE(bytes[i]) >> 4];
        text += kHexDigits[BYTE(bytes[i]) & 15];
    }
    return text;
}

int HexDigit(char c) {
    const char *at = strchr(kHexDigits, c >= 'a' && c <= 'f' ? c - 32 : c);
    return c && at ? int(at - kHexDigits) : -1;
}

bool FromHex(const std::string &hex, std::string *bytes) {
    if (hex.size() % 2) return false;
    bytes->clear();
    for (size_t i = 0; i < hex.size(); i += 2) {
        int high = HexDigit(hex[i]), low = HexDigit(hex[i + 1]);
        if (high < 0 || low < 0) return false;
        bytes->push_back(char(high * 16 + low));
    }
    return true;
}

bool ParseType(const std::string &text, AuditedValue *value) {
    if (text == "-") return true;
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    value->exists = true;
    value->type = DWORD(strtoul(text.c_str(), nullptr, 10));
    return true;
}

std::string Quoted(const std::string &text) {
    return "\"" + text + "\"";
}

// The texts of a multi-string, without the empty one that ends it.
std::string DescribeTexts(const std::string &bytes) {
    std::string text;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\0', start);
        if (end == std::string::npos) end = bytes.size();
        if (end == start) break;
        text += (text.empty() ? "" : " | ") + Quoted(bytes.substr(start, end - start));
        start = end + 1;
    }
    return text.empty() ? Quoted("") : text;
}

std::string SummaryLine(size_t total, size_t notBack) {
    if (notBack == 0)
        return FormatString(Tx("変更した %u 個の設定はすべて実行前の状態に戻りました。",
                               "All %u changed settings are back as before the run."),
                            unsigned(total));
    return FormatString(Tx("実行前の状態に戻っていない設定が %u 個あります (変更した設定 %u 個)。",
                           "%u of %u changed settings are NOT back as before the run."),
                        unsigned(notBack), unsigned(total));
}

std::string ReadMultiString(REGA &settings) {
    DWORD type = REG_NONE, size = 0;
    if (!settings.IsOpen() ||
        RegQueryValueExA(settings.Handle(), kRestoreAuditValue, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_MULTI_SZ || size == 0)
        return std::string();
    std::string data(size, '\0');
    if (RegQueryValueExA(settings.Handle(), kRestoreAuditValue, nullptr, &type, reinterpret_cast<BYTE *>(&data[0]),
                         &size) != ERROR_SUCCESS)
        return std::string();
    data.resize(size);
    return data;
}

bool SameKeyAndName(const AuditEntry &a, const AuditEntry &b) {
    return lstrcmpiA(a.key.c_str(), b.key.c_str()) == 0 && lstrcmpiA(a.name.c_str(), b.name.c_str()) == 0;
}

const char *const kDetailMarks[] = {"NOT restored: ", "元に戻っていません: "};
const char *const kSummaryMarks[] = {" changed settings are ", "個の設定"};

bool Holds(const std::string &line, const char *const (&marks)[2]) {
    return line.find(marks[0]) != std::string::npos || line.find(marks[1]) != std::string::npos;
}

std::vector<std::string> SplitLines(const std::string &text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

} // namespace

std::string FormatAuditEntry(const AuditEntry &entry) {
    std::string type = entry.before.exists ? std::to_string(entry.before.type) : "-";
    return entry.key + "\t" + type + "\t" + Hex(entry.before.bytes, "", std::string::npos) + "\t" + entry.name;
}

bool ParseAuditEntry(const std::string &text, AuditEntry *entry) {
    size_t first = text.find('\t');
    size_t second = first == std::string::npos ? first : text.find('\t', first + 1);
    size_t third = second == std::string::npos ? second : text.find('\t', second + 1);
    if (third == std::string::npos || first == 0) return false;
    AuditEntry parsed;
    parsed.key = text.substr(0, first);
    if (!ParseType(text.substr(first + 1, second - first - 1), &parsed.before)) return false;
    if (!FromHex(text.substr(second + 1, third - second - 1), &parsed.before.bytes)) return false;
    if (!parsed.before.exists && !parsed.before.bytes.empty()) return false;
    parsed.name = text.substr(third + 1);
    std::string path;
    if (!AuditRoot(parsed.key, &path)) return false;
    *entry = parsed;
    return true;
}

std::vector<AuditEntry> ParseAuditRecord(const std::string &multiString) {
    std::vector<AuditEntry> entries;
    size_t start = 0;
    while (start < multiString.size()) {
        size_t end = multiString.find('\0', start);
        if (end == std::string::npos) end = multiString.size(); // unterminated: the rest is the last entry
        AuditEntry entry;
        if (end > start && ParseAuditEntry(multiString.substr(start, end - start), &entry)) entries.push_back(entry);
        start = end + 1;
    }
    return entries;
}

std::string DescribeValue(const AuditedValue &value) {
    if (!value.exists) return Tx("(なし)", "(none)");
    switch (value.type) {
    case REG_DWORD:
        if (value.bytes.size() == sizeof(DWORD)) {
            DWORD number;
            memcpy(&number, value.bytes.data(), sizeof number);
            return std::to_string(number);
        }
        break;
    case REG_SZ:
    case REG_EXPAND_SZ:
        return Quoted(std::string(value.bytes.c_str(), strnlen(value.bytes.c_str(), value.bytes.size())));
    case REG_MULTI_SZ:
        return DescribeTexts(value.bytes);
    }
    std::string hex = "hex:" + Hex(value.bytes, " ", kDescribedBytes);
    return value.bytes.size() > kDescribedBytes ? hex + " ..." : hex;
}

bool SameValue(const AuditedValue &a, const AuditedValue &b) {
    if (a.exists != b.exists) return false;
    return !a.exists || (a.type == b.type && a.bytes == b.bytes);
}

HKEY AuditRoot(const std::string &key, std::string *path) {
    static const struct {
        const char *prefix;
        HKEY root;
    } kRoots[] = {{"HKLM\\", HKEY_LOCAL_MACHINE}, {"HKCU\\", HKEY_CURRENT_USER}};
    for (const auto &root : kRoots)
        if (_strnicmp(key.c_str(), root.prefix, 5) == 0 && key.size() > 5) {
            *path = key.substr(5);
            return root.root;
        }
    return nullptr;
}

AuditedValue ReadAuditedValue(const std::string &key, const char *name) {
    AuditedValue value;
    std::string path;
    HKEY root = AuditRoot(key, &path);
    REGA open;
    if (!root || !open.OpenKey(root, path.c_str(), OPEN_READONLY)) return value;
    DWORD size = 0;
    if (RegQueryValueExA(open.Handle(), name, nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
        value.bytes.assign(size, '\0');
        value.exists = RegQueryValueExA(open.Handle(), name, nullptr, &value.type,
                                        size ? reinterpret_cast<BYTE *>(&value.bytes[0]) : nullptr,
                                        &size) == ERROR_SUCCESS;
        value.bytes.resize(value.exists ? size : 0);
    }
    open.CloseKey();
    return value;
}

std::vector<std::string> AuditLines(const std::vector<AuditEntry> &entries, AuditReader read) {
    std::vector<std::string> lines;
    for (const AuditEntry &entry : entries) {
        AuditedValue now = read(entry.key, entry.name.c_str());
        if (SameValue(entry.before, now)) continue;
        lines.push_back(FormatString(Tx("元に戻っていません: %s\\%s 実行前 %s、現在 %s",
                                        "NOT restored: %s\\%s was %s, now %s"),
                                     entry.key.c_str(), entry.name.c_str(), DescribeValue(entry.before).c_str(),
                                     DescribeValue(now).c_str()));
    }
    lines.push_back(SummaryLine(entries.size(), lines.size()));
    return lines;
}

std::vector<AuditEntry> ReadAuditRecord(REGA &settings) {
    return ParseAuditRecord(ReadMultiString(settings));
}

bool AddToAuditRecord(REGA &settings, const AuditEntry &entry) {
    std::vector<AuditEntry> entries = ReadAuditRecord(settings);
    for (const AuditEntry &recorded : entries)
        if (SameKeyAndName(recorded, entry)) return true;
    entries.push_back(entry);
    std::string data;
    for (const AuditEntry &recorded : entries)
        data += FormatAuditEntry(recorded) + '\0';
    data += '\0';
    return RegSetValueExA(settings.Handle(), kRestoreAuditValue, 0, REG_MULTI_SZ,
                          reinterpret_cast<const BYTE *>(data.data()), DWORD(data.size())) == ERROR_SUCCESS;
}

void RunRestoreAudit(REGA &settings) {
    if (!settings.IsOpen() || settings.ValueExistA(kRestoreAuditValue) < 0) return;
    for (const std::string &line : AuditLines(ReadAuditRecord(settings)))
        LogLine(kLogModule, __LINE__, line.c_str());
    settings.DeleteValue(kRestoreAuditValue);
}

std::vector<std::string> LastAuditLines(const std::string &logText) {
    std::vector<std::string> lines = SplitLines(logText);
    for (size_t i = lines.size(); i-- > 0;) {
        if (!Holds(lines[i], kSummaryMarks)) continue;
        size_t first = i;
        while (first > 0 && Holds(lines[first - 1], kDetailMarks))
            --first;
        return std::vector<std::string>(lines.begin() + first, lines.begin() + i + 1);
    }
    return {};
}
