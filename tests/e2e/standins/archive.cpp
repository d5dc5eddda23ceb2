// A stand-in for the archive libraries that unpack wizard themes (unlha32, unzip32, 7-zip32): the
// same DLL is installed under each name into the System folder of a test prefix. Each entry point
// takes a command line whose last argument is the archive and unpacks it into the current folder.
//
// The "archives" are text files of the tests' own making, whatever their extension:
//   @name          begins the file name (relative; folders are made), its lines follow
//   !fail TEXT     the library fails and reports TEXT (and fills its whole buffer with lines and
//                  no end when TEXT is "overflow")
// Lines before the first @ are ignored.
#include <windows.h>

#include <fstream>
#include <string>

namespace {

// The last argument of the command line, without its quotes.
std::string ArchivePath(const char *commandLine) {
    std::string line = commandLine ? commandLine : "";
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    if (!line.empty() && line.back() == '"') {
        size_t open = line.rfind('"', line.size() - 2);
        return open == std::string::npos ? line : line.substr(open + 1, line.size() - open - 2);
    }
    size_t blank = line.rfind(' ');
    return blank == std::string::npos ? line : line.substr(blank + 1);
}

void MakeFolders(const std::string &file) {
    for (size_t i = 0; i < file.size(); ++i)
        if (file[i] == '\\' || file[i] == '/') CreateDirectoryA(file.substr(0, i).c_str(), nullptr);
}

int Report(const std::string &text, LPSTR output, DWORD size) {
    if (!output || size == 0) return 1;
    if (text == "overflow") {
        for (DWORD i = 0; i < size; ++i)
            output[i] = "error\r\n"[i % 7];
        return 1;
    }
    lstrcpynA(output, text.c_str(), static_cast<int>(size));
    return 1;
}

int Unpack(const char *commandLine, LPSTR output, DWORD size) {
    std::ifstream archive(ArchivePath(commandLine), std::ios::binary);
    if (!archive) return Report("Cannot open the archive.\nIt may have been moved.", output, size);
    std::ofstream file;
    std::string line;
    while (std::getline(archive, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.compare(0, 6, "!fail ") == 0) return Report(line.substr(6), output, size);
        if (!line.empty() && line[0] == '@') {
            file.close();
            MakeFolders(line.substr(1));
            file.open(line.substr(1), std::ios::binary);
            continue;
        }
        if (file.is_open()) file << line << "\r\n";
    }
    if (output && size) output[0] = '\0';
    return 0;
}

} // namespace

extern "C" {

__declspec(dllexport) int WINAPI Unlha(HWND, LPCSTR commandLine, LPSTR output, DWORD size) {
    return Unpack(commandLine, output, size);
}

__declspec(dllexport) int WINAPI UnZip(HWND, LPCSTR commandLine, LPSTR output, DWORD size) {
    return Unpack(commandLine, output, size);
}

__declspec(dllexport) int WINAPI SevenZip(HWND, LPCSTR commandLine, LPSTR output, DWORD size) {
    return Unpack(commandLine, output, size);
}

__declspec(dllexport) BOOL WINAPI SetLangueEnglish() {
    return TRUE;
}

__declspec(dllexport) BOOL WINAPI SetLangueJapanese() {
    return TRUE;
}

} // extern "C"
