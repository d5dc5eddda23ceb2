// themeinst: theme files on disk: the themes of the program folder for the Customizing menu, and
// the installation of a theme from an archive, which is unpacked into a scratch folder first so that
// only plain theme files reach the program folder and none of its files is replaced.
#include "window/theme.h"

#include "platform.h"

#include <cstdio>
#include <cstring>

namespace {

// What a theme is made of: its ini file, script texts, pictures and sounds.
const char *const kPlainThemeExtensions[] = {"ini", "txt", "bmp", "dib",  "jpg", "jpeg", "gif",
                                             "png", "wav", "mid", "midi", "rmi", "mp3",  "wma"};

bool EndsWithNoCase(const char *text, size_t length, const char *suffix) {
    size_t suffixLength = strlen(suffix);
    return length >= suffixLength && _stricmp(text + length - suffixLength, suffix) == 0;
}

// The components of a relative path (at backslashes and slashes outside double-byte characters).
std::vector<std::string> PathComponents(const char *path) {
    std::vector<std::string> parts(1);
    for (const char *p = path; *p; ++p) {
        if (*p == '\\' || *p == '/') {
            parts.emplace_back();
            continue;
        }
        parts.back() += *p;
        if (IsSjisLeadByte(static_cast<unsigned char>(*p)) && p[1]) parts.back() += *++p;
    }
    return parts;
}

// The extension of a file name (after its last dot), or empty.
std::string ExtensionOf(const std::string &name) {
    size_t dot = std::string::npos;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '.') dot = i;
        if (IsSjisLeadByte(static_cast<unsigned char>(name[i]))) ++i;
    }
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

bool IsPlainExtension(const std::string &extension) {
    for (const char *plain : kPlainThemeExtensions)
        if (_stricmp(extension.c_str(), plain) == 0) return true;
    return false;
}

// Makes the folders of a relative file path below target.
void MakeFoldersFor(const std::string &target, const std::string &relative) {
    for (size_t i = 0; i < relative.size(); ++i) {
        if (relative[i] == '\\') CreateDirectoryA((target + relative.substr(0, i)).c_str(), nullptr);
        if (IsSjisLeadByte(static_cast<unsigned char>(relative[i]))) ++i;
    }
}

bool IsDotEntry(const char *name) {
    return strcmp(name, ".") == 0 || strcmp(name, "..") == 0;
}

void MoveFilesBelow(const std::string &scratch, const std::string &relativeFolder, const std::string &target,
                    ThemeFilesMoved *result) {
    FINDDATA_ANSI found;
    HANDLE search = FindFirstFileAnsi((scratch + relativeFolder + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (IsDotEntry(found.cFileName)) continue;
        std::string relative = relativeFolder + found.cFileName;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            result->refused.push_back(relative);
        } else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            MoveFilesBelow(scratch, relative + "\\", target, result);
        } else if (!IsPlainThemeFile(relative.c_str()) ||
                   GetFileAttributesA((target + relative).c_str()) != INVALID_FILE_ATTRIBUTES) {
            result->refused.push_back(relative);
        } else {
            MakeFoldersFor(target, relative);
            // Without MOVEFILE_REPLACE_EXISTING: a file that appeared meanwhile is not replaced.
            bool moved = MoveFileExA((scratch + relative).c_str(), (target + relative).c_str(), MOVEFILE_COPY_ALLOWED);
            (moved ? result->moved : result->refused).push_back(relative);
        }
    } while (FindNextFileAnsi(search, &found));
    FindClose(search);
}

} // namespace

ThemeArchive ThemeArchiveOf(const char *path) {
    size_t length = path ? strlen(path) : 0;
    if (length < 5) return ThemeArchive::None;
    if (EndsWithNoCase(path, length, ".lzh")) return ThemeArchive::Lha;
    if (EndsWithNoCase(path, length, ".zip")) return ThemeArchive::Zip;
    if (EndsWithNoCase(path, length, ".7z")) return ThemeArchive::SevenZip;
    return ThemeArchive::None;
}

std::string ThemeIniNameOf(const char *path) {
    std::string name = FileNameOfPath(path ? path : "");
    std::string extension = ExtensionOf(name);
    if (!extension.empty() || (!name.empty() && name.back() == '.')) name.resize(name.size() - extension.size() - 1);
    return name + ".ini";
}

bool IsPlainThemeFile(const char *relativePath) {
    if (!relativePath || !*relativePath) return false;
    std::vector<std::string> parts = PathComponents(relativePath);
    for (const std::string &part : parts) {
        // Empty parts are a leading or doubled separator: a root or a network path.
        if (part.empty() || part == "." || part == ".." || part.find(':') != std::string::npos) return false;
    }
    return IsPlainExtension(ExtensionOf(parts.back()));
}

std::string ArchiveOutputText(const char *buffer, size_t size) {
    if (!buffer || size == 0) return std::string();
    const void *end = memchr(buffer, '\0', size);
    return std::string(buffer, end ? static_cast<const char *>(end) - buffer : size - 1);
}

ThemeFilesMoved MoveThemeFiles(const std::string &scratch, const std::string &target) {
    ThemeFilesMoved result;
    MoveFilesBelow(scratch, std::string(), target, &result);
    return result;
}

std::string MakeScratchFolder() {
    char temp[MAX_PATH];
    DWORD length = GetTempPathA(sizeof temp, temp);
    if (length == 0 || length >= sizeof temp) return std::string();
    std::string base = temp;
    AppendBackslash(base);
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        char name[64];
        snprintf(name, sizeof name, "korvane-theme-%lu-%lu-%u", static_cast<unsigned long>(GetCurrentProcessId()),
                 static_cast<unsigned long>(GetTickCount()), attempt);
        std::string folder = base + name;
        if (CreateDirectoryA(folder.c_str(), nullptr)) return folder + "\\";
        if (GetLastError() != ERROR_ALREADY_EXISTS) return std::string();
    }
    return std::string();
}

void RemoveFolderTree(const std::string &folder) {
    if (folder.empty()) return;
    std::string path = folder;
    AppendBackslash(path);
    FINDDATA_ANSI found;
    HANDLE search = FindFirstFileAnsi((path + "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (IsDotEntry(found.cFileName)) continue;
            std::string entry = path + found.cFileName;
            bool directory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            if (directory && !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                RemoveFolderTree(entry);
                continue;
            }
            SetFileAttributesA(entry.c_str(), FILE_ATTRIBUTE_NORMAL);
            // A link is removed itself; what it points at stays untouched.
            if (directory)
                RemoveDirectoryA(entry.c_str());
            else
                DeleteFileA(entry.c_str());
        } while (FindNextFileAnsi(search, &found));
        FindClose(search);
    }
    path.pop_back();
    RemoveDirectoryA(path.c_str());
}

// ---- The Customizing menu ---------------------------------------------------------------------------

std::string ThemeMenuLabel(const std::string &name, const std::string &file) {
    return name == "None" || name.empty() ? file : name;
}

std::vector<ThemeMenuItem> ListThemeFiles() {
    std::vector<ThemeMenuItem> items;
    FINDDATA_ANSI found;
    HANDLE search = FindFirstFileAnsi("*.INI", &found);
    if (search == INVALID_HANDLE_VALUE) return items;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        // ".\" keeps the profile functions from looking in the Windows folder.
        std::string path = std::string(".\\") + found.cFileName;
        ThemeMain theme = ReadThemeMain(path.c_str(), false);
        items.push_back({found.cFileName, ThemeMenuLabel(theme.name, found.cFileName)});
    } while (items.size() < kThemeMenuLimit && FindNextFileAnsi(search, &found));
    FindClose(search);
    return items;
}

int CheckedThemeItem(const std::vector<ThemeMenuItem> &items, const char *iniFile) {
    if (!iniFile || !*iniFile) return -1;
    for (size_t i = 0; i < items.size(); ++i)
        if (_stricmp(items[i].file.c_str(), iniFile) == 0) return static_cast<int>(i);
    return -1;
}
