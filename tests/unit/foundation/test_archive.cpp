// Archive library loaders. The libraries are outside components that a test machine normally lacks,
// so the tests cover the command lines and the results without them.
#include "platform.h"
#include "winhandle.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ArchiveCommandLine, BuildsEachLibrarysForm) {
    struct Case {
        ArchiveKind kind;
        const char *path;
        const char *commandLine;
    } cases[] = {
        {ArchiveKind::Lha, "C:\\Themes\\blue.lzh", "x -a1 -jf0 -gb C:\\Themes\\blue.lzh"},
        {ArchiveKind::Lha, "C:\\My Themes\\blue.lzh", "x -a1 -jf0 -gb \"C:\\My Themes\\blue.lzh\""},
        {ArchiveKind::Zip, "C:\\Themes\\blue.zip", "C:\\Themes\\blue.zip"},
        {ArchiveKind::Zip, "C:\\My Themes\\blue.zip", "\"C:\\My Themes\\blue.zip\""},
        {ArchiveKind::SevenZip, "C:\\Themes\\blue.7z", "x -r -- C:\\Themes\\blue.7z"},
        {ArchiveKind::SevenZip, "C:\\My Themes\\blue.7z", "x -r -- \"C:\\My Themes\\blue.7z\""},
        // A path the caller already quoted is not quoted twice.
        {ArchiveKind::SevenZip, "\"C:\\My Themes\\blue.7z\"", "x -r -- \"C:\\My Themes\\blue.7z\""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.commandLine, ArchiveCommandLine(c.kind, c.path)) << c.path;
}

struct Extractor {
    const char *library;
    int (*extract)(HWND, const char *, char *);
};
const Extractor kExtractors[] = {
    {"unlha", ExtractWithUnlha},
    {"unzip", ExtractWithUnzip},
    {"7-zip", ExtractWith7zip},
};

bool LibraryInstalled(const char *library) {
    for (const char *bits : {"32.dll", "64.dll"}) {
        UniqueModule module(LoadSystemLibrary((std::string(library) + bits).c_str()));
        if (module) return true;
    }
    return false;
}

TEST(ExtractWithArchiveLibrary, ReportsAnEmptyPathBeforeLookingForTheLibrary) {
    for (const Extractor &e : kExtractors) {
        char output[kArchiveOutputSize] = "untouched";
        EXPECT_EQ(kArchiveNoPath, e.extract(nullptr, "", output)) << e.library;
        EXPECT_EQ(kArchiveNoPath, e.extract(nullptr, nullptr, output)) << e.library;
        EXPECT_STREQ("untouched", output) << e.library;
    }
}

TEST(ExtractWithArchiveLibrary, ReportsAMissingLibrary) {
    for (const Extractor &e : kExtractors) {
        // A machine that has the library cannot show this case.
        if (LibraryInstalled(e.library)) continue;
        char output[kArchiveOutputSize] = "";
        EXPECT_EQ(kArchiveNoLibrary, e.extract(nullptr, "C:\\Themes\\blue.arc", output)) << e.library;
        EXPECT_EQ(kArchiveNoLibrary, e.extract(nullptr, "C:\\Themes\\blue.arc", nullptr)) << e.library;
    }
    // Without the library, choosing its language is quietly skipped.
    SetArchiveLibraryLanguage(true);
    SetArchiveLibraryLanguage(false);
}

} // namespace
