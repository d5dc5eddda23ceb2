// The archive libraries that unpack wizard themes. They are outside components found at run time:
// each has one entry point that takes a command line and reports into an output buffer.
#include "platform.h"

#include "winhandle.h"

#include <memory>
#include <new>

namespace {

using ArchiveEntry = int(WINAPI *)(HWND owner, LPCSTR commandLine, LPSTR output, DWORD outputSize);

struct ArchiveLibrary {
    const char *name32;
    const char *name64;
    const char *entry;
};

constexpr ArchiveLibrary kUnlha = {"unlha32.dll", "unlha64.dll", "Unlha"};
constexpr ArchiveLibrary kUnzip = {"unzip32.dll", "unzip64.dll", "UnZip"};
constexpr ArchiveLibrary kSevenZip = {"7-zip32.dll", "7-zip64.dll", "SevenZip"};

// The 32-bit name first: the libraries ship under that name, and some 64-bit builds keep it.
UniqueModule LoadArchiveLibrary(const ArchiveLibrary &library) {
    UniqueModule module(LoadSystemLibrary(library.name32));
    if (!module) module.Reset(LoadSystemLibrary(library.name64));
    return module;
}

int Extract(const ArchiveLibrary &library, ArchiveKind kind, HWND owner, const char *archivePath, char *output) {
    // The caller's mistake is reported before anything is loaded.
    if (archivePath == nullptr || archivePath[0] == '\0') return kArchiveNoPath;
    UniqueModule module = LoadArchiveLibrary(library);
    if (!module) return kArchiveNoLibrary;
    auto entry = GetProcAs<ArchiveEntry>(module.Get(), library.entry);
    if (!entry) return kArchiveNoEntry;
    // A caller that does not want the library's message still has to give it room to write.
    std::unique_ptr<char[]> scratch;
    if (output == nullptr) {
        scratch.reset(new (std::nothrow) char[kArchiveOutputSize]);
        if (!scratch) return kArchiveFailed;
        output = scratch.get();
    }
    output[0] = '\0';
    std::string commandLine = ArchiveCommandLine(kind, archivePath);
    int result = entry(owner, commandLine.c_str(), output, static_cast<DWORD>(kArchiveOutputSize));
    return result == 0 ? kArchiveOk : kArchiveFailed;
}

} // namespace

std::string ArchiveCommandLine(ArchiveKind kind, const char *archivePath) {
    std::string path = archivePath ? archivePath : "";
    QuoteIfBlank(path);
    switch (kind) {
    case ArchiveKind::Lha:
        return "x -a1 -jf0 -gb " + path;
    case ArchiveKind::SevenZip:
        // "--" ends the switches, so an archive whose name begins with "-" is not taken for one.
        return "x -r -- " + path;
    case ArchiveKind::Zip:
        break;
    }
    return path;
}

int ExtractWithUnlha(HWND owner, const char *archivePath, char *output) {
    return Extract(kUnlha, ArchiveKind::Lha, owner, archivePath, output);
}

int ExtractWithUnzip(HWND owner, const char *archivePath, char *output) {
    return Extract(kUnzip, ArchiveKind::Zip, owner, archivePath, output);
}

int ExtractWith7zip(HWND owner, const char *archivePath, char *output) {
    return Extract(kSevenZip, ArchiveKind::SevenZip, owner, archivePath, output);
}

void SetArchiveLibraryLanguage(bool english) {
    using SetLanguageFunction = BOOL(WINAPI *)();
    UniqueModule module = LoadArchiveLibrary(kUnlha);
    // The exports are spelled so by the library.
    auto setLanguage = GetProcAs<SetLanguageFunction>(module.Get(), english ? "SetLangueEnglish" : "SetLangueJapanese");
    if (setLanguage) setLanguage();
}
