// rega: the registry key class and the ini-file reader.
#include "rega.h"

#include "language.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace {

bool g_regaEnglish = false;

const char kWarningTitle[] = "Registory Class";

enum class Misuse { DoubleOpen, DoubleClose, AutoClose, Unopened };

// Misuse is a programming fault, so the box asks the user to tell the maker which dialog was open.
void Warn(Misuse kind, const char *englishName, const char *japaneseName) {
    char text[512];
    if (g_regaEnglish) {
        snprintf(text, sizeof text, "An error has occurred in %s.", englishName);
    } else {
        const char *pattern = "";
        switch (kind) {
        case Misuse::DoubleOpen:
            pattern = "%s でレジストリキーの二重オープンを防止しました。";
            break;
        case Misuse::DoubleClose:
            pattern = "%s でレジストリキーの二重クローズを防止しました。";
            break;
        case Misuse::AutoClose:
            pattern = "%s で閉じ忘れたレジストリキーを自動的に閉じました。";
            break;
        case Misuse::Unopened:
            pattern = "%s で、開かれていないレジストリキーへの操作を防止しました。";
            break;
        }
        char head[256];
        snprintf(head, sizeof head, pattern, japaneseName);
        snprintf(text, sizeof text,
                 "%s\n\n編集していたダイアログの名前を、このメッセージとともに作者までお知らせください。", head);
    }
    ShowMessageBox(nullptr, text, kWarningTitle, MB_ICONWARNING);
}

struct RootName {
    const char *name;
    HKEY handle;
};

// Long names before short ones, in the order prefixes are tried. HKEY_USERS has no short form.
const RootName kRootNames[] = {
    {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
    {"HKCR", HKEY_CLASSES_ROOT},
    {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    {"HKCU", HKEY_CURRENT_USER},
    {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
    {"HKLM", HKEY_LOCAL_MACHINE},
    {"HKEY_USERS", HKEY_USERS},
    {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
    {"HKCC", HKEY_CURRENT_CONFIG},
    {"HKEY_DYN_DATA", HKEY_DYN_DATA},
    {"HKDD", HKEY_DYN_DATA},
    {"HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA},
    {"HKPD", HKEY_PERFORMANCE_DATA},
    {"HKEY_PERFORMANCE_TEXT", HKEY_PERFORMANCE_TEXT},
    {"HKPT", HKEY_PERFORMANCE_TEXT},
    {"HKEY_PERFORMANCE_NLSTEXT", HKEY_PERFORMANCE_NLSTEXT},
    {"HKPN", HKEY_PERFORMANCE_NLSTEXT},
};

bool EqualsNoCase(const char *a, const char *b) {
    for (; *a && *b; ++a, ++b) {
        char ca = (*a >= 'a' && *a <= 'z') ? char(*a - 32) : *a;
        char cb = (*b >= 'a' && *b <= 'z') ? char(*b - 32) : *b;
        if (ca != cb) return false;
    }
    return *a == *b;
}

// A whole root name (any case) stands for the root itself.
HKEY RootByWholeName(const char *path) {
    for (const RootName &root : kRootNames)
        if (EqualsNoCase(path, root.name)) return root.handle;
    return nullptr;
}

// "HKLM\Software" gives HKEY_LOCAL_MACHINE and "Software"; prefixes are matched with case.
HKEY RootByPrefix(const char *path, const char **rest) {
    for (const RootName &root : kRootNames) {
        size_t n = strlen(root.name);
        if (strncmp(path, root.name, n) == 0 && path[n] == '\\') {
            *rest = path + n + 1;
            return root.handle;
        }
    }
    return nullptr;
}

bool Succeeded(LONG status) {
    return status == ERROR_SUCCESS;
}

// Zeroed bytes, or null when memory runs out (nothing is thrown).
std::unique_ptr<BYTE[]> AllocZeroed(size_t count) {
    return std::unique_ptr<BYTE[]>(new (std::nothrow) BYTE[count]());
}

// Reads a value's data into a buffer one byte longer than the data and terminates it there, so
// text stored without its terminating zero is never read past its end.
std::unique_ptr<char[]> ReadTerminated(HKEY key, const char *name) {
    DWORD size = 0;
    if (!Succeeded(RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size))) return nullptr;
    std::unique_ptr<char[]> text(new (std::nothrow) char[size + 1]);
    if (!text) return nullptr;
    DWORD read = size;
    if (!Succeeded(RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(text.get()), &read)))
        return nullptr;
    text[read < size ? read : size] = '\0';
    return text;
}

} // namespace

size_t MultiStringLength(const char *data, DWORD length) {
    if (length >= 2 && data[length - 1] == '\0' && data[length - 2] == '\0') return length;
    if (length >= 1 && data[length - 1] == '\0') return length + 1;
    return length + 2;
}

void SetRegaEnglish(bool english) {
    g_regaEnglish = english;
}

REGA::~REGA() {
    if (!key_) return;
    RegCloseKey(key_);
    key_ = nullptr;
    Warn(Misuse::AutoClose, "REGA::~REGA()", "REGA::~REGA()");
}

bool REGA::Opened(const char *englishOperation, const char *japaneseOperation) {
    if (key_) return true;
    Warn(Misuse::Unopened, englishOperation, japaneseOperation);
    return false;
}

bool REGA::OpenKey(HKEY root, const char *path, int flags) {
    if (key_) {
        CloseKey();
        Warn(Misuse::DoubleOpen, "REGA::OpenKey()", "REGA::OpenKey()");
    }
    if (!path) return false;
    const char *subKey = path;
    if (!root) {
        if (HKEY whole = RootByWholeName(path)) {
            key_ = whole;
            return true;
        }
        root = RootByPrefix(path, &subKey);
        if (!root) return false;
    }
    REGSAM access = (flags & OPEN_READONLY) ? KEY_READ : KEY_ALL_ACCESS;
    HKEY key = nullptr;
    if (!Succeeded(RegOpenKeyExA(root, subKey, 0, access, &key))) {
        key = nullptr;
        // A key made here is always made with full access, whatever OPEN_READONLY asked.
        if ((flags & OPEN_CREATE) && !Succeeded(RegCreateKeyExA(root, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                                                KEY_ALL_ACCESS, nullptr, &key, nullptr)))
            key = nullptr;
    }
    key_ = key;
    return key_ != nullptr;
}

bool REGA::OpenSubKey(const char *serviceName) {
    if (key_) {
        CloseKey();
        Warn(Misuse::DoubleOpen, "REGA::OpenSubKey()", "REGA::OpenSubKey");
    }
    std::string path = "SYSTEM\\CurrentControlSet\\Services";
    if (serviceName) path.append("\\").append(serviceName);
    HKEY key = nullptr;
    if (!Succeeded(RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, &key))) key = nullptr;
    key_ = key;
    return key_ != nullptr;
}

bool REGA::CloseKey() {
    if (!key_) {
        Warn(Misuse::DoubleClose, "REGA::CloseKey()", "REGA::CloseKey");
        return false;
    }
    LONG status = RegCloseKey(key_);
    key_ = nullptr;
    return Succeeded(status);
}

int REGA::ValueExistA(const char *name) {
    if (!Opened("ValueExistA", "ValueExistA")) return -1;
    DWORD size = 0;
    if (!Succeeded(RegQueryValueExA(key_, name, nullptr, nullptr, nullptr, &size))) return -1;
    return static_cast<int>(size);
}

bool REGA::ReadStringA(const char *name, char *buffer, DWORD size) {
    if (!name || !buffer || size == 0) return false;
    buffer[0] = '\0';
    if (!Opened("ReadStringA", "ReadStringA")) return false;
    DWORD read = size;
    if (!Succeeded(RegQueryValueExA(key_, name, nullptr, nullptr, reinterpret_cast<BYTE *>(buffer), &read))) {
        buffer[0] = '\0';
        return false;
    }
    if (read < size) {
        buffer[read] = '\0';
        return true;
    }
    // The data fills the buffer: it fits only if it brought its own terminator.
    if (buffer[size - 1] == '\0') return true;
    buffer[0] = '\0';
    return false;
}

LONG REGA::ReadIntegerA(const char *name, LONG defaultValue) {
    if (!Opened("ReadIntegerA", "ReadIntegerA")) return defaultValue;
    DWORD type = 0, size = 0;
    if (!Succeeded(RegQueryValueExA(key_, name, nullptr, &type, nullptr, &size))) return defaultValue;
    std::unique_ptr<BYTE[]> data = AllocZeroed(size_t(size) + 1);
    if (!data) return defaultValue;
    DWORD read = size;
    if (!Succeeded(RegQueryValueExA(key_, name, nullptr, &type, data.get(), &read))) return defaultValue;
    return RegistryDataToInteger(type, data.get(), read < size ? read : size, defaultValue);
}

bool HasIntegerSyntax(const char *text) {
    if (!text || !*text) return false;
    const char *p = text;
    if (*p == '+' || *p == '-')
        ++p;
    else if (*p < '0' || *p > '9')
        return false;
    for (; *p; ++p)
        if (*p < '0' || *p > '9') return false;
    return true;
}

LONG RegistryDataToInteger(DWORD type, const BYTE *data, DWORD size, LONG defaultValue) {
    BYTE bytes[4] = {0, 0, 0, 0};
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
    case REG_MULTI_SZ: {
        // The text must be terminated within its data; a multi-string is read by its first string.
        std::string text(reinterpret_cast<const char *>(data), size);
        text = text.c_str();
        if (!HasIntegerSyntax(text.c_str())) return defaultValue;
        return strtol(text.c_str(), nullptr, 10);
    }
    case REG_DWORD:
    case REG_BINARY:
    case REG_QWORD:
        memcpy(bytes, data, size < 4 ? size : 4);
        return static_cast<LONG>(bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<DWORD>(bytes[3]) << 24);
    case REG_DWORD_BIG_ENDIAN:
        memcpy(bytes, data, size < 4 ? size : 4);
        return static_cast<LONG>(bytes[3] | bytes[2] << 8 | bytes[1] << 16 | static_cast<DWORD>(bytes[0]) << 24);
    default:
        return defaultValue;
    }
}

bool REGA::WriteStringA(const char *name, const char *text, BYTE typeRule) {
    if (!Opened("WriteStringA", "WriteStringA")) return false;
    if (!text) return false;
    DWORD type = REG_SZ;
    switch (typeRule) {
    case STRTYPE_EXPAND:
        type = REG_EXPAND_SZ;
        break;
    case STRTYPE_AUTO: {
        int percents = 0;
        for (const char *p = text; *p; ++p)
            percents += *p == '%';
        type = percents >= 2 ? REG_EXPAND_SZ : REG_SZ;
        break;
    }
    case STRTYPE_PLAIN:
        break;
    default: {
        DWORD existing = REG_NONE;
        if (Succeeded(RegQueryValueExA(key_, name, nullptr, &existing, nullptr, nullptr)) && existing == REG_EXPAND_SZ)
            type = REG_EXPAND_SZ;
        break;
    }
    }
    DWORD length = static_cast<DWORD>(strlen(text) + 1);
    return Succeeded(RegSetValueExA(key_, name, 0, type, reinterpret_cast<const BYTE *>(text), length));
}

bool REGA::WriteIntegerA(const char *name, LONG value) {
    if (!Opened("WriteIntegerA", "WriteIntegerA")) return false;
    DWORD data = static_cast<DWORD>(value);
    return Succeeded(RegSetValueExA(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&data), sizeof data));
}

bool REGA::WriteBinaryA(const char *name, const void *data, DWORD length) {
    if (!Opened("WriteBinaryA", "WriteBinaryA")) return false;
    return Succeeded(RegSetValueExA(key_, name, 0, REG_BINARY, static_cast<const BYTE *>(data), length));
}

bool REGA::DeleteKey(const char *subKey) {
    if (!Opened("REGA::DeleteKey()", "REGA::DeleteKey()")) return false;
    return subKey && Succeeded(RegDeleteKeyA(key_, subKey));
}

bool REGA::DeleteValue(const char *name) {
    if (!Opened("REGA::DeleteValue()", "REGA::DeleteValue()")) return false;
    return Succeeded(RegDeleteValueA(key_, name));
}

int REGA::ReadStringForEditboxA(const char *name, HWND dialog, int controlId) {
    if (!Opened("ReadStringForEditboxA", "ReadStringForEditboxA")) return 0;
    std::unique_ptr<char[]> text = ReadTerminated(key_, name);
    if (!text || text[0] == '\0') {
        SetDlgItemTextA(dialog, controlId, "");
        return 0;
    }
    return SetDlgItemTextA(dialog, controlId, text.get()) ? 1 : 0;
}

BOOL REGA::ReadIntegerForEditboxA(const char *name, HWND dialog, int controlId, LONG defaultValue) {
    if (!Opened("ReadIntegerForEditboxA", "ReadIntegerForEditboxA")) return FALSE;
    return SetDlgItemInt(dialog, controlId, static_cast<UINT>(ReadIntegerA(name, defaultValue)), FALSE);
}

bool REGA::WriteStringFromEditBoxA(const char *name, HWND dialog, int controlId) {
    if (!Opened("WriteStringFromEditBoxA", "WriteStringFromEditBoxA")) return false;
    int length = GetWindowTextLengthA(GetDlgItem(dialog, controlId));
    size_t size = static_cast<size_t>(length > 0 ? length : 0) + 1;
    std::unique_ptr<char[]> text(new (std::nothrow) char[size]);
    if (!text) return false;
    text[0] = '\0';
    GetDlgItemTextA(dialog, controlId, text.get(), static_cast<int>(size));
    return WriteStringA(name, text.get(), STRTYPE_KEEP);
}

bool REGA::WriteIntegerFromEditboxA(const char *name, HWND dialog, int controlId) {
    if (!Opened("WriteIntegerFromEditboxA", "WriteIntegerFromEditboxA")) return false;
    return WriteIntegerA(name, static_cast<LONG>(GetDlgItemInt(dialog, controlId, nullptr, FALSE)));
}

std::unique_ptr<char[]> REGA::RegReadStringA(const char *name, const char *defaultText) {
    auto copyOfDefault = [defaultText]() -> std::unique_ptr<char[]> {
        if (!defaultText) return nullptr;
        size_t n = strlen(defaultText) + 1;
        std::unique_ptr<char[]> copy(new (std::nothrow) char[n]);
        if (copy) memcpy(copy.get(), defaultText, n);
        return copy;
    };
    if (!Opened("(new)ReadString", "(new)RegReadStringA")) return copyOfDefault();
    DWORD size = 0;
    if (!Succeeded(RegQueryValueExA(key_, name, nullptr, nullptr, nullptr, &size)) || size == 0) return copyOfDefault();
    return ReadTerminated(key_, name);
}

bool REGA::RegReadMultiStringDirectA(char *buffer, DWORD *size) {
    if (!Opened("RegReadMultiStringDirect", "RegReadMultiStringDirectA")) return false;
    if (!buffer || !size) return false;
    DWORD type = REG_NONE, dataSize = 0;
    if (!Succeeded(RegQueryValueExA(key_, "BootExecute", nullptr, &type, nullptr, &dataSize)) || type == REG_NONE)
        return false;
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        if (*size <= dataSize) return false; // room for the second terminating zero
    } else if (type == REG_MULTI_SZ) {
        if (*size < dataSize) return false;
    } else {
        return false;
    }
    // Zero-filled first, so that a single string comes back as a valid multi-string.
    memset(buffer, 0, *size);
    DWORD read = *size;
    if (!Succeeded(RegQueryValueExA(key_, "BootExecute", nullptr, nullptr, reinterpret_cast<BYTE *>(buffer), &read)))
        return false;
    // Data without its double terminator must still end within the buffer.
    if (MultiStringLength(buffer, read) > *size) {
        memset(buffer, 0, *size);
        return false;
    }
    *size = read;
    return true;
}

bool REGA::RegWriteMultiStringDirectA(const char *data, DWORD length) {
    if (!Opened("RegWriteMultiStringDirectA", "RegWriteMultiStringDirectA")) return false;
    return Succeeded(
        RegSetValueExA(key_, "BootExecute", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE *>(data), length));
}

namespace {

bool CopyValueData(HKEY key, const char *source, const char *target) {
    DWORD type = 0, size = 0;
    if (!Succeeded(RegQueryValueExA(key, source, nullptr, &type, nullptr, &size))) return false;
    std::unique_ptr<BYTE[]> data = AllocZeroed(size ? size : 1);
    if (!data) return false;
    DWORD read = size;
    if (!Succeeded(RegQueryValueExA(key, source, nullptr, &type, data.get(), &read))) return false;
    return Succeeded(RegSetValueExA(key, target, 0, type, data.get(), read));
}

} // namespace

bool REGA::CopyValueA(const char *source, const char *target) {
    if (!Opened("CopyValueA", "CopyValueA")) return false;
    return CopyValueData(key_, source, target);
}

bool REGA::RenValueA(const char *oldName, const char *newName) {
    if (!Opened("RenValueA", "RenValueA")) return false;
    if (!CopyValueData(key_, oldName, newName)) return false;
    return Succeeded(RegDeleteValueA(key_, oldName));
}

std::unique_ptr<char[]> ReadProfileStringA(const char *iniPath, const char *section, const char *key,
                                           const char *defaultText) {
    if (!section || !key || !defaultText) return nullptr;
    auto copyOf = [](const char *text, size_t length) -> std::unique_ptr<char[]> {
        std::unique_ptr<char[]> copy(new (std::nothrow) char[length + 1]);
        if (copy) {
            memcpy(copy.get(), text, length);
            copy[length] = '\0';
        }
        return copy;
    };
    DWORD size = 1024;
    for (;;) {
        std::unique_ptr<char[]> buffer(new (std::nothrow) char[size]);
        if (!buffer) return copyOf(defaultText, strlen(defaultText));
        DWORD length = GetPrivateProfileStringA(section, key, defaultText, buffer.get(), size, iniPath);
        if (length + 1 != size) return copyOf(buffer.get(), length);
        // The text was cut: try again with twice the room, unless that no longer grows.
        DWORD doubled = size * 2;
        if (doubled <= length + 1) return copyOf(defaultText, strlen(defaultText));
        size = doubled;
    }
}
