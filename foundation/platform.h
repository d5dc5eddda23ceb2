// Small platform helpers every program links: Windows version, privileges, the program folder,
// system libraries, Unicode-safe file search, Shift-JIS-aware path and text handling, system error
// texts, restore points, shortcuts and the archive libraries.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

// Texts handed to the caller: allocated with array new, freed by the owner going out of scope.
using TextPtr = std::unique_ptr<char[]>;

// ---- Windows version -------------------------------------------------------------------------

// Major x 100 + minor on the NT family (XP 501, 7 601, 10 1000); 400/410/490 on the 9x family.
unsigned short GetWindowsVersionCode();
// The same rule on given numbers, for callers that already hold them (and for tests).
unsigned short WindowsVersionCodeFrom(DWORD platformId, DWORD major, DWORD minor, DWORD build);

// ---- Process and program folder --------------------------------------------------------------

BOOL EnableShutdownPrivilege();
// Makes the folder of the running EXE the current directory.
bool SetProgramDirectory();
// The folder SetProgramDirectory chooses for a module path: up to the last real backslash, which
// is kept when it stands at index 4 or earlier (a root such as "C:\"). Empty without a backslash.
std::string ProgramFolderOf(const char *modulePath);
// Loads a library with the System folder as current directory, so that no DLL of the same name
// beside the caller (or in the current folder) is taken instead.
HMODULE LoadSystemLibrary(const char *fileName);
// An export of a loaded library as the function type the caller knows it by, or null.
template <typename Function> Function GetProcAs(HMODULE module, const char *name) {
    FARPROC proc = module ? GetProcAddress(module, name) : nullptr;
    // Through a generic function pointer, so the compiler accepts the change of signature.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(proc));
}
// The System folder (cached).
const char *SystemFolder();
// Lets files and WM_COPYDATA be dropped on an elevated program from ordinary ones (Vista on).
bool AllowDropFromLowerProcesses();

// ---- File search with Unicode names -----------------------------------------------------------

struct FINDDATA_ANSI {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    char cFileName[520];
    char cAlternateFileName[14];
};

HANDLE FindFirstFileAnsi(const char *pattern, FINDDATA_ANSI *data);
bool FindNextFileAnsi(HANDLE search, FINDDATA_ANSI *data);
bool FileExists(const char *pathOrPattern);
// 64-bit size of a file, or all bits set when it cannot be opened.
unsigned long long FileSize64(const char *path);

// File-name wildcards matched against long names, as the file system matches them but without its
// 8.3 aliases ("*.bak" never takes "report.bakup" through REPORT~1.BAK): "*" any run, "?" one
// character, case ignored by CharUpper's table; a pattern ending in ".*" also takes the names
// without that part, so "*.*" takes every name.
bool MatchesPattern(const std::wstring &name, const std::wstring &pattern);
// The same on a name and a pattern both already passed through UpperFileName, for callers that
// match many names against a few patterns.
bool MatchUpper(const wchar_t *name, const wchar_t *pattern);
std::wstring UpperFileName(const std::wstring &text);

// ---- Shift-JIS-aware paths and texts ----------------------------------------------------------
// Lead bytes are the fixed ranges 0x81-0x9F and 0xE0-0xFC, whatever the code page, so that a
// trail byte 0x5C or 0x3A is never taken for a backslash or a colon.

inline bool IsSjisLeadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}
bool IsLeadByteAt(const char *text, int index);
constexpr size_t kFolderBufferSize = 520;
// Copies the path up to and including its last backslash or colon into out (kFolderBufferSize
// bytes); empty when there is none; null when the folder would not fit.
char *FolderOfPath(const char *path, char *out);
// The part after the last backslash or colon.
const char *FileNameOfPath(const char *path);
// Appends a backslash unless the path ends with a real one; false when the buffer has no room.
bool AppendBackslash(char *path, size_t size);
void AppendBackslash(std::string &path);
// AppendBackslash, then "*.lnk".
bool AppendShortcutPattern(char *path, size_t size);
// Wraps a text holding a blank in double quotes unless it begins with one; false when no room.
bool QuoteIfBlank(char *text, size_t size);
void QuoteIfBlank(std::string &text);
// Lowers A-Z in place, leaving double-byte characters alone.
void LowerAscii(char *text);
// First occurrence of pattern, stepping over double-byte characters; null when none.
const char *FindText(const char *text, const char *pattern);
const char *FindTextNoCase(const char *text, const char *pattern);
// A new text with every occurrence of oldText replaced (worked in UTF-16); null for an empty oldText.
TextPtr ReplaceAll(const char *text, const char *oldText, const char *newText);
TextPtr DupString(const char *text);
// Joins two texts; the first is given up.
TextPtr JoinStrings(TextPtr first, const char *second);
TextPtr DialogItemText(HWND dialog, int controlId);
// printf into a std::string of whatever length the result needs; empty on a bad format.
std::string FormatString(const char *format, ...) __attribute__((format(gnu_printf, 1, 2)));

// Conversions through the ANSI code page (the edges where Unicode is used).
std::wstring AnsiToWide(const char *text);
std::string WideToAnsi(const wchar_t *text);
// True when a UTF-16 text holds a surrogate without its partner, which no UTF-8 text can carry
// (WideCharToMultiByte's WC_ERR_INVALID_CHARS check, which Windows before Vista refuses as a flag).
bool HasLoneSurrogate(const wchar_t *text, size_t length);

// ---- System texts and places ------------------------------------------------------------------

// The system's text for an error code, control characters turned into blanks. Japanese UI: the
// user's language; English UI: US English. The text stays valid until this thread calls again.
const char *SystemErrorText(bool japanese, DWORD code);
const char *DesktopFolder();
// Root of the boot drive, e.g. "C:\".
const char *BootDrive();

// ---- Restore points and shortcuts -------------------------------------------------------------

// The restore status (0 success), or -1 when System Restore is not there.
int CreateRestorePoint();
bool CreateShortcutFile(const char *target, const char *arguments, const char *shortcutPath);

// ---- Archive libraries (wizard themes) --------------------------------------------------------

enum ArchiveResult {
    kArchiveOk = 0,
    kArchiveNoLibrary = 1,
    kArchiveNoEntry = 2,
    kArchiveFailed = 3,
    kArchiveNoPath = 4
};
constexpr size_t kArchiveOutputSize = 0x7FFF;
enum class ArchiveKind { Lha, Zip, SevenZip };
// The command line the library's entry point is given for an archive.
std::string ArchiveCommandLine(ArchiveKind kind, const char *archivePath);
int ExtractWithUnlha(HWND owner, const char *archivePath, char *output);
int ExtractWithUnzip(HWND owner, const char *archivePath, char *output);
int ExtractWith7zip(HWND owner, const char *archivePath, char *output);
void SetArchiveLibraryLanguage(bool english);
