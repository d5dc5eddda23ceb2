// REGA wraps one open registry key. Every registry access of the programs goes through it, so
// that opening twice, forgetting to close, or using a key that was never opened is repaired or
// refused and shown in a warning box instead of leaking or corrupting a handle.
#pragma once

#include <windows.h>

#include <memory>

// Open flags of OpenKey.
constexpr int OPEN_CREATE = 1;   // create the key when it does not exist (always with full access)
constexpr int OPEN_READONLY = 2; // open with KEY_READ instead of KEY_ALL_ACCESS

// How WriteStringA chooses between REG_SZ and REG_EXPAND_SZ.
constexpr BYTE STRTYPE_KEEP = 0;   // REG_EXPAND_SZ only if the value already has that type
constexpr BYTE STRTYPE_EXPAND = 1; // always REG_EXPAND_SZ
constexpr BYTE STRTYPE_AUTO = 2;   // REG_EXPAND_SZ when the text holds two or more '%'
constexpr BYTE STRTYPE_PLAIN = 3;  // always REG_SZ

class REGA {
public:
    REGA() = default;
    ~REGA();
    REGA(const REGA &) = delete;
    REGA &operator=(const REGA &) = delete;

    // root may be null: then the path begins with a root name ("HKLM\Software\...") or is one.
    bool OpenKey(HKEY root, const char *path, int flags);
    // HKLM\SYSTEM\CurrentControlSet\Services, or one service's key below it.
    bool OpenSubKey(const char *serviceName);
    bool CloseKey();
    bool IsOpen() const { return key_ != nullptr; }
    HKEY Handle() const { return key_; }

    // Size of the value's data in bytes (strings with their terminator), or -1.
    int ValueExistA(const char *name);
    // Reads a value's data as text; the buffer always ends up terminated. False when the value is
    // missing or does not fit (the buffer is then empty).
    bool ReadStringA(const char *name, char *buffer, DWORD size);
    LONG ReadIntegerA(const char *name, LONG defaultValue);
    bool WriteStringA(const char *name, const char *text, BYTE typeRule);
    bool WriteIntegerA(const char *name, LONG value);
    bool WriteBinaryA(const char *name, const void *data, DWORD length);
    bool DeleteKey(const char *subKey);
    bool DeleteValue(const char *name);

    int ReadStringForEditboxA(const char *name, HWND dialog, int controlId);
    BOOL ReadIntegerForEditboxA(const char *name, HWND dialog, int controlId, LONG defaultValue);
    bool WriteStringFromEditBoxA(const char *name, HWND dialog, int controlId);
    bool WriteIntegerFromEditboxA(const char *name, HWND dialog, int controlId);

    // A new text (always terminated), the default's copy when the value is missing or empty, or
    // null when the read fails or there is no default.
    std::unique_ptr<char[]> RegReadStringA(const char *name, const char *defaultText);
    // BootExecute of the open key as a multi-string; size: in the buffer's, out the bytes read.
    bool RegReadMultiStringDirectA(char *buffer, DWORD *size);
    bool RegWriteMultiStringDirectA(const char *data, DWORD length);
    bool CopyValueA(const char *source, const char *target);
    bool RenValueA(const char *oldName, const char *newName);

private:
    // True when a key is open; else shows the warning for the operation and returns false.
    bool Opened(const char *englishOperation, const char *japaneseOperation);

    HKEY key_ = nullptr;
};

// Language of the misuse warnings: true English, false Japanese (the default).
void SetRegaEnglish(bool english);

// A key's text from an ini file, or a copy of the default; null when section, key or default is null.
std::unique_ptr<char[]> ReadProfileStringA(const char *iniPath, const char *section, const char *key,
                                           const char *defaultText);

// Integer reading of registry data of any type, as ReadIntegerA does it (exposed for tests).
LONG RegistryDataToInteger(DWORD type, const BYTE *data, DWORD size, LONG defaultValue);
// Bytes multi-string data of length bytes needs to end in its double zero: length, or one or two
// more.
size_t MultiStringLength(const char *data, DWORD length);
// Whether text has integer syntax: optional sign or first digit, then digits only.
bool HasIntegerSyntax(const char *text);
