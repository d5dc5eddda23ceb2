// Platform helpers: the Windows version, privileges, the program folder, system libraries, file
// search with Unicode names, system texts and places, restore points and shortcuts.
#include "platform.h"

#include "language.h"
#include "winhandle.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <srrestoreptapi.h>

#include <atomic>
#include <cstring>
#include <new>

// ---- Windows version -------------------------------------------------------------------------

unsigned short WindowsVersionCodeFrom(DWORD platformId, DWORD major, DWORD minor, DWORD build) {
    if (platformId == VER_PLATFORM_WIN32_NT) {
        unsigned long long code = static_cast<unsigned long long>(major) * 100 + minor;
        return static_cast<unsigned short>(code > 0xFFFF ? 0xFFFF : code);
    }
    // The 9x family keeps its version in the top two bytes of the build number; 95 leaves them empty.
    if (build < 0x10000) return 400;
    return static_cast<unsigned short>(((build >> 24) & 0xFF) * 100 + ((build >> 16) & 0xFF));
}

namespace {

unsigned short QueryWindowsVersionCode() {
    // RtlGetVersion tells the truth; GetVersionExA stops at 6.2 for programs without a manifest entry.
    using RtlGetVersionFunction = LONG(WINAPI *)(OSVERSIONINFOW *);
    UniqueModule ntdll(LoadSystemLibrary("ntdll.dll"));
    auto rtlGetVersion = GetProcAs<RtlGetVersionFunction>(ntdll.Get(), "RtlGetVersion");
    if (rtlGetVersion) {
        OSVERSIONINFOW info = {};
        info.dwOSVersionInfoSize = sizeof(info);
        if (rtlGetVersion(&info) == 0)
            return WindowsVersionCodeFrom(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion,
                                          info.dwBuildNumber);
    }
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!GetVersionExA(&info)) return 0;
    return WindowsVersionCodeFrom(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber);
}

} // namespace

unsigned short GetWindowsVersionCode() {
    // Asked once: loading ntdll moves the current directory for a moment.
    static const unsigned short code = QueryWindowsVersionCode();
    return code;
}

// ---- Process and program folder --------------------------------------------------------------

BOOL EnableShutdownPrivilege() {
    HANDLE rawToken = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &rawToken)) return FALSE;
    UniqueHandle token(rawToken);
    TOKEN_PRIVILEGES privileges = {};
    if (!LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid)) return FALSE;
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    return AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr);
}

std::string ProgramFolderOf(const char *modulePath) {
    if (modulePath == nullptr) return std::string();
    int lastBackslash = -1;
    for (int i = 0; modulePath[i] != '\0'; ++i) {
        if (modulePath[i] == '\\') lastBackslash = i;
        // The trail byte of a double-byte character is skipped with its lead byte.
        if (IsSjisLeadByte(static_cast<unsigned char>(modulePath[i])) && modulePath[i + 1] != '\0') ++i;
    }
    if (lastBackslash < 0) return std::string();
    // A backslash at index 4 or earlier is kept: it belongs to a root such as "C:\", and "C:" alone
    // would mean the drive's current folder. A colon right before it marks a deeper root ("\\?\C:\")
    // unless that colon is the trail byte of a double-byte character.
    bool root =
        lastBackslash <= 4 || (modulePath[lastBackslash - 1] == ':' && !IsLeadByteAt(modulePath, lastBackslash - 2));
    return std::string(modulePath, static_cast<size_t>(root ? lastBackslash + 1 : lastBackslash));
}

bool SetProgramDirectory() {
    char path[kFolderBufferSize];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof(path));
    if (length == 0 || length >= sizeof(path)) return false;
    std::string folder = ProgramFolderOf(path);
    return !folder.empty() && SetCurrentDirectoryA(folder.c_str());
}

const char *SystemFolder() {
    static const std::string folder = [] {
        char path[MAX_PATH];
        UINT length = GetSystemDirectoryA(path, sizeof(path));
        return std::string(path, length > 0 && length < sizeof(path) ? length : 0);
    }();
    return folder.c_str();
}

HMODULE LoadSystemLibrary(const char *fileName) {
    if (fileName == nullptr || fileName[0] == '\0') return nullptr;
    std::string previous(GetCurrentDirectoryA(0, nullptr), '\0');
    DWORD length = GetCurrentDirectoryA(static_cast<DWORD>(previous.size()), &previous[0]);
    previous.resize(length < previous.size() ? length : 0);
    // The current folder is searched by LoadLibrary; being the System folder, it holds no stranger.
    SetCurrentDirectoryA(SystemFolder());
    HMODULE module = LoadLibraryA(fileName);
    if (!previous.empty()) SetCurrentDirectoryA(previous.c_str());
    return module;
}

bool AllowDropFromLowerProcesses() {
    if (GetWindowsVersionCode() < 600) return true;
    // Vista's, so loaded here and declared locally: the XP headers have neither.
    using FilterFunction = BOOL(WINAPI *)(UINT, DWORD);
    constexpr DWORD kMsgFltAdd = 1; // MSGFLT_ADD
    UniqueModule user32(LoadSystemLibrary("user32.dll"));
    auto changeFilter = GetProcAs<FilterFunction>(user32.Get(), "ChangeWindowMessageFilter");
    if (!changeFilter) return false;
    // 0x49 is the message Explorer sends ahead of a drop to learn whether the window accepts it.
    const UINT messages[] = {WM_DROPFILES, WM_COPYDATA, 0x49};
    bool allowed = true;
    for (UINT message : messages)
        allowed = changeFilter(message, kMsgFltAdd) && allowed;
    return allowed;
}

// ---- File search with Unicode names -----------------------------------------------------------

std::wstring AnsiToWide(const char *text) {
    if (text == nullptr || text[0] == '\0') return std::wstring();
    int length = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, -1, nullptr, 0);
    if (length <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text, -1, &wide[0], length);
    wide.resize(static_cast<size_t>(length - 1));
    return wide;
}

std::string WideToAnsi(const wchar_t *text) {
    if (text == nullptr || text[0] == L'\0') return std::string();
    int length = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return std::string();
    std::string ansi(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, &ansi[0], length, nullptr, nullptr);
    ansi.resize(static_cast<size_t>(length - 1));
    return ansi;
}

bool HasLoneSurrogate(const wchar_t *text, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        bool high = text[i] >= 0xD800 && text[i] <= 0xDBFF;
        bool low = text[i] >= 0xDC00 && text[i] <= 0xDFFF;
        if (high && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
            ++i;
        else if (high || low)
            return true;
    }
    return false;
}

namespace {

// A name that does not fit the ANSI field is given as empty rather than cut in the middle.
void WideNameToAnsi(const wchar_t *name, char *out, int outSize) {
    if (WideCharToMultiByte(CP_ACP, 0, name, -1, out, outSize, nullptr, nullptr) == 0) out[0] = '\0';
}

void CopyFindData(const WIN32_FIND_DATAW &wide, FINDDATA_ANSI *data) {
    data->dwFileAttributes = wide.dwFileAttributes;
    data->ftCreationTime = wide.ftCreationTime;
    data->ftLastAccessTime = wide.ftLastAccessTime;
    data->ftLastWriteTime = wide.ftLastWriteTime;
    data->nFileSizeHigh = wide.nFileSizeHigh;
    data->nFileSizeLow = wide.nFileSizeLow;
    data->dwReserved0 = wide.dwReserved0;
    data->dwReserved1 = wide.dwReserved1;
    WideNameToAnsi(wide.cFileName, data->cFileName, sizeof(data->cFileName));
    WideNameToAnsi(wide.cAlternateFileName, data->cAlternateFileName, sizeof(data->cAlternateFileName));
}

} // namespace

HANDLE FindFirstFileAnsi(const char *pattern, FINDDATA_ANSI *data) {
    if (pattern == nullptr || pattern[0] == '\0' || data == nullptr) return INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAW wide;
    HANDLE search = FindFirstFileW(AnsiToWide(pattern).c_str(), &wide);
    if (search != INVALID_HANDLE_VALUE) CopyFindData(wide, data);
    return search;
}

bool FindNextFileAnsi(HANDLE search, FINDDATA_ANSI *data) {
    if (search == INVALID_HANDLE_VALUE || search == nullptr || data == nullptr) return false;
    WIN32_FIND_DATAW wide;
    if (!FindNextFileW(search, &wide)) return false;
    CopyFindData(wide, data);
    return true;
}

bool FileExists(const char *pathOrPattern) {
    // A floppy or card drive without a medium would otherwise ask the user to insert one.
    ErrorModeScope quiet(SEM_FAILCRITICALERRORS);
    FINDDATA_ANSI data;
    UniqueFind search(FindFirstFileAnsi(pathOrPattern, &data));
    return search.Valid();
}

unsigned long long FileSize64(const char *path) {
    const unsigned long long kUnknown = ~0ULL;
    if (path == nullptr || path[0] == '\0') return kUnknown;
    // Attribute access and full sharing: the size of a file another program holds open is still known.
    UniqueFile file(CreateFileA(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size;
    if (!file.Valid() || !GetFileSizeEx(file.Get(), &size)) return kUnknown;
    return static_cast<unsigned long long>(size.QuadPart);
}

// ---- File-name wildcards ----------------------------------------------------------------------

namespace {

// "*" backtracks to the last star only, which is enough for a glob without character classes.
bool MatchUpperUpTo(const wchar_t *name, const wchar_t *pattern, const wchar_t *patternEnd) {
    const wchar_t *star = nullptr, *resume = nullptr;
    while (*name) {
        if (pattern != patternEnd && *pattern == L'*') {
            star = ++pattern;
            resume = name;
        } else if (pattern != patternEnd && (*pattern == L'?' || *pattern == *name)) {
            ++pattern;
            ++name;
        } else if (star) {
            pattern = star;
            name = ++resume;
        } else {
            return false;
        }
    }
    while (pattern != patternEnd && *pattern == L'*')
        ++pattern;
    return pattern == patternEnd;
}

} // namespace

bool MatchUpper(const wchar_t *name, const wchar_t *pattern) {
    const wchar_t *end = pattern + wcslen(pattern);
    if (MatchUpperUpTo(name, pattern, end)) return true;
    return end - pattern >= 2 && end[-2] == L'.' && end[-1] == L'*' && MatchUpperUpTo(name, pattern, end - 2);
}

// Windows compares file names without regard to case; its upper-case table is what CharUpper uses.
std::wstring UpperFileName(const std::wstring &text) {
    std::wstring upper = text;
    if (!upper.empty()) CharUpperBuffW(&upper[0], DWORD(upper.size()));
    return upper;
}

bool MatchesPattern(const std::wstring &name, const std::wstring &pattern) {
    return MatchUpper(UpperFileName(name).c_str(), UpperFileName(pattern).c_str());
}

// ---- Texts in new arrays ----------------------------------------------------------------------

TextPtr DupString(const char *text) {
    if (text == nullptr) return nullptr;
    size_t size = strlen(text) + 1;
    TextPtr copy(new (std::nothrow) char[size]);
    if (copy) memcpy(copy.get(), text, size);
    return copy;
}

TextPtr JoinStrings(TextPtr first, const char *second) {
    const char *head = first ? first.get() : "";
    const char *tail = second ? second : "";
    size_t headLength = strlen(head);
    size_t tailSize = strlen(tail) + 1;
    TextPtr joined(new (std::nothrow) char[headLength + tailSize]);
    if (!joined) return nullptr;
    memcpy(joined.get(), head, headLength);
    memcpy(joined.get() + headLength, tail, tailSize);
    return joined;
}

TextPtr DialogItemText(HWND dialog, int controlId) {
    HWND control = GetDlgItem(dialog, controlId);
    if (control == nullptr) return nullptr;
    int length = GetWindowTextLengthA(control);
    size_t size = static_cast<size_t>(length > 0 ? length : 0) + 1;
    TextPtr text(new (std::nothrow) char[size]);
    if (!text) return nullptr;
    text[0] = '\0';
    GetWindowTextA(control, text.get(), static_cast<int>(size));
    return text;
}

// ---- System texts and places ------------------------------------------------------------------

namespace {

// One buffer per thread, kept in a TLS slot: a text handed to one thread is never replaced by a call
// on another. The slot is TLS_OUT_OF_INDEXES until the first call; being constant-initialised, it
// can be read by the thread-end callback below at any time.
std::atomic<DWORD> gErrorTextSlot{TLS_OUT_OF_INDEXES};

DWORD ErrorTextSlot() {
    static const DWORD slot = gErrorTextSlot = TlsAlloc();
    return slot;
}

void FreeThreadErrorText(DWORD slot) {
    delete[] static_cast<char *>(TlsGetValue(slot));
    TlsSetValue(slot, nullptr);
}

// FormatMessage's own buffer is copied, so that the thread's buffer comes from array new.
const char *KeepErrorText(const char *message, size_t length) {
    DWORD slot = ErrorTextSlot();
    if (slot == TLS_OUT_OF_INDEXES) return "TlsAlloc() error";
    FreeThreadErrorText(slot);
    TextPtr text(new (std::nothrow) char[length + 1]);
    if (!text) return "calloc() error";
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(message[i]);
        // Line breaks and tabs would break a log line; control bytes are never Shift-JIS trail bytes.
        text[i] = c >= 1 && c <= 31 ? ' ' : message[i];
    }
    text[length] = '\0';
    TlsSetValue(slot, text.get());
    return text.release();
}

// The loader calls the program's TLS callbacks as each thread ends: the thread's text goes with it.
void NTAPI OnThreadEnd(PVOID, DWORD reason, PVOID) {
    DWORD slot = gErrorTextSlot;
    if (reason == DLL_THREAD_DETACH && slot != TLS_OUT_OF_INDEXES) FreeThreadErrorText(slot);
}

} // namespace

// Between the runtime's markers .CRT$XLA and .CRT$XLZ, the linker puts it in the TLS callback table.
extern "C" __attribute__((section(".CRT$XLT"), used)) const PIMAGE_TLS_CALLBACK gTidewellOnThreadEnd = OnThreadEnd;

const char *SystemErrorText(bool japanese, DWORD code) {
    DWORD language =
        japanese ? MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT) : MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
    char *message = nullptr;
    DWORD length =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, language, reinterpret_cast<char *>(&message), 0, nullptr);
    if (length == 0 || message == nullptr) return "FormatMessage() error";
    const char *text = KeepErrorText(message, length);
    LocalFree(message);
    return text;
}

const char *DesktopFolder() {
    static const std::string folder = [] {
        char path[MAX_PATH] = "";
        if (!SHGetSpecialFolderPathA(nullptr, path, CSIDL_DESKTOPDIRECTORY, FALSE)) path[0] = '\0';
        return std::string(path);
    }();
    return folder.c_str();
}

namespace {

// BootDir of the Setup key, expanded when stored as REG_EXPAND_SZ; empty when absent.
std::string SetupBootDir() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Setup", 0, KEY_QUERY_VALUE,
                      &key) != ERROR_SUCCESS)
        return std::string();
    char value[MAX_PATH] = "";
    // One byte is held back, so the text ends even when the stored data carries no terminator.
    DWORD size = sizeof(value) - 1;
    DWORD type = REG_NONE;
    LONG result = RegQueryValueExA(key, "BootDir", nullptr, &type, reinterpret_cast<BYTE *>(value), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::string();
    value[size] = '\0';
    if (type == REG_SZ) return value;
    char expanded[MAX_PATH];
    DWORD length = ExpandEnvironmentStringsA(value, expanded, sizeof(expanded));
    return length > 0 && length <= sizeof(expanded) ? expanded : value;
}

} // namespace

const char *BootDrive() {
    static const std::string root = [] {
        std::string bootDir = SetupBootDir();
        if (!bootDir.empty()) return bootDir;
        char windows[MAX_PATH] = "";
        UINT length = GetWindowsDirectoryA(windows, sizeof(windows));
        return std::string(windows, length >= 3 && length < sizeof(windows) ? 3 : 0);
    }();
    return root.c_str();
}

// ---- Restore points and shortcuts -------------------------------------------------------------

namespace {

// The product title, cut to the 63 bytes the restore point takes without splitting a character.
void RestorePointDescription(char (&description)[MAX_DESC]) {
    const char *title = ProductTitle();
    if (title == nullptr || title[0] == '\0') title = "Restore Point";
    size_t length = strnlen(title, MAX_DESC - 1);
    if (length == MAX_DESC - 1 && IsLeadByteAt(title, static_cast<int>(length - 1))) --length;
    memcpy(description, title, length);
    description[length] = '\0';
}

} // namespace

int CreateRestorePoint() {
    using SetRestorePointFunction = BOOL(WINAPI *)(RESTOREPOINTINFOA *, STATEMGRSTATUS *);
    UniqueModule srclient(LoadSystemLibrary("srclient.dll"));
    auto setRestorePoint = GetProcAs<SetRestorePointFunction>(srclient.Get(), "SRSetRestorePointA");
    if (!setRestorePoint) return -1;
    RESTOREPOINTINFOA info = {};
    info.dwEventType = BEGIN_SYSTEM_CHANGE;
    info.dwRestorePtType = MODIFY_SETTINGS;
    RestorePointDescription(info.szDescription);
    STATEMGRSTATUS status = {};
    if (!setRestorePoint(&info, &status)) return status.nStatus != 0 ? static_cast<int>(status.nStatus) : -1;
    // The end of the change closes the restore point the begin opened.
    info.dwEventType = END_SYSTEM_CHANGE;
    info.llSequenceNumber = status.llSequenceNumber;
    if (!setRestorePoint(&info, &status) && status.nStatus == 0) return -1;
    return static_cast<int>(status.nStatus);
}

namespace {

// Releases one interface pointer.
template <typename Interface> class ComRef {
public:
    ComRef() = default;
    ~ComRef() {
        if (pointer_) pointer_->Release();
    }
    ComRef(const ComRef &) = delete;
    ComRef &operator=(const ComRef &) = delete;
    Interface *Get() const { return pointer_; }
    Interface *operator->() const { return pointer_; }
    void **Out() { return reinterpret_cast<void **>(&pointer_); }

private:
    Interface *pointer_ = nullptr;
};

bool FillShellLink(IShellLinkA *link, const char *target, const char *arguments) {
    return SUCCEEDED(link->SetPath(target)) && SUCCEEDED(link->SetShowCmd(SW_SHOW)) &&
           SUCCEEDED(link->SetWorkingDirectory("")) && SUCCEEDED(link->SetIconLocation("", 0)) &&
           SUCCEEDED(link->SetHotkey(0)) && SUCCEEDED(link->SetDescription("")) &&
           SUCCEEDED(link->SetArguments(arguments ? arguments : ""));
}

} // namespace

bool CreateShortcutFile(const char *target, const char *arguments, const char *shortcutPath) {
    if (target == nullptr || target[0] == '\0' || shortcutPath == nullptr || shortcutPath[0] == '\0') return false;
    ComScope com;
    ComRef<IShellLinkA> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.Out())))
        return false;
    if (!FillShellLink(link.Get(), target, arguments)) return false;
    ComRef<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.Out()))) return false;
    return SUCCEEDED(file->Save(AnsiToWide(shortcutPath).c_str(), TRUE));
}
