// Shift-JIS-aware path and text helpers. "\x95\x5C" is one double-byte character whose trail byte
// is a backslash; "\x83\x41" one whose trail byte is 'A'. The helpers must work on these bytes
// whatever the process code page is.
#include "platform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(IsLeadByteAt, ScansFromTheStartSoTrailBytesAreNotLeads) {
    struct Case {
        const char *text;
        int index;
        bool lead;
    } cases[] = {
        {"\x95\x5C", 0, true},
        {"\x95\x5C", 1, false},
        {"a\x95\x5C", 1, true},
        // 0x95 as a trail byte is not a lead, even though its value is in the lead range.
        {"\x95\x95\x5C", 1, false},
        {"\x95\x95\x95\x5C", 2, true},
        {"ab", -1, false},
        {"ab", 2, false},
        {"ab", 50, false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.lead, IsLeadByteAt(c.text, c.index)) << c.text << " @" << c.index;
    EXPECT_FALSE(IsLeadByteAt(nullptr, 0));
}

TEST(FolderOfPath, KeepsTheLastRealSeparator) {
    struct Case {
        const char *path;
        const char *folder;
    } cases[] = {
        {"C:\\Tools\\KORVANE.EXE", "C:\\Tools\\"},
        {"C:\\KORVANE.EXE", "C:\\"},
        {"C:KORVANE.EXE", "C:"},
        {"KORVANE.EXE", ""},
        {"", ""},
        {"C:\\\x95\x5C", "C:\\"},
        {"C:\\\x95\x5C\\x.txt", "C:\\\x95\x5C\\"},
        {"C:\\\x95\x5C"
         "a.txt",
         "C:\\"},
    };
    for (const Case &c : cases) {
        char out[kFolderBufferSize];
        ASSERT_EQ(out, FolderOfPath(c.path, out)) << c.path;
        EXPECT_STREQ(c.folder, out) << c.path;
    }
}

TEST(FolderOfPath, RefusesAFolderThatDoesNotFit) {
    std::string fits(kFolderBufferSize - 2, 'a');
    fits += "\\name";
    std::string tooLong(kFolderBufferSize - 1, 'a');
    tooLong += "\\name";
    char out[kFolderBufferSize];
    EXPECT_EQ(out, FolderOfPath(fits.c_str(), out));
    EXPECT_EQ(kFolderBufferSize - 1, strlen(out));
    EXPECT_EQ(nullptr, FolderOfPath(tooLong.c_str(), out));
    EXPECT_EQ(nullptr, FolderOfPath(nullptr, out));
}

TEST(FileNameOfPath, PointsAfterTheLastRealSeparator) {
    struct Case {
        const char *path;
        size_t offset;
    } cases[] = {
        {"C:\\Tools\\KORVANE.EXE", 9}, {"C:KORVANE.EXE", 2}, {"KORVANE.EXE", 0},
        {"C:\\\x95\x5C", 3},           {"C:\\Tools\\", 9},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.path + c.offset, FileNameOfPath(c.path)) << c.path;
}

// Runs the buffer form and the string form of a helper on one input; both must give expected.
template <typename BufferForm, typename StringForm>
void ExpectBothForms(const char *input, const char *expected, BufferForm bufferForm, StringForm stringForm) {
    char buffer[64];
    strcpy(buffer, input);
    EXPECT_TRUE(bufferForm(buffer, sizeof(buffer))) << input;
    EXPECT_STREQ(expected, buffer) << input;
    std::string text = input;
    stringForm(text);
    EXPECT_EQ(expected, text) << input;
}

struct Expectation {
    const char *input;
    const char *expected;
};

TEST(AppendBackslash, AppendsUnlessTheLastCharacterIsABackslash) {
    const Expectation cases[] = {
        {"C:\\Tools", "C:\\Tools\\"},
        {"C:\\Tools\\", "C:\\Tools\\"},
        {"", "\\"},
        // The trail byte 0x5C ends the name but is no backslash of its own.
        {"C:\\\x95\x5C", "C:\\\x95\x5C\\"},
        {"C:\\\x95\x5C\\", "C:\\\x95\x5C\\"},
    };
    for (const Expectation &c : cases)
        ExpectBothForms(
            c.input, c.expected, [](char *text, size_t size) { return AppendBackslash(text, size); },
            [](std::string &text) { AppendBackslash(text); });
}

TEST(AppendBackslash, LeavesAFullBufferAlone) {
    char exact[] = "C:\\Tools"; // no room for one more byte
    EXPECT_FALSE(AppendBackslash(exact, sizeof(exact)));
    EXPECT_STREQ("C:\\Tools", exact);
    char roomy[10] = "C:\\Tools";
    EXPECT_TRUE(AppendBackslash(roomy, sizeof(roomy)));
    EXPECT_STREQ("C:\\Tools\\", roomy);
    EXPECT_FALSE(AppendBackslash(nullptr, 10));
}

TEST(AppendShortcutPattern, AddsThePatternOrNothing) {
    char folder[32] = "C:\\Links";
    EXPECT_TRUE(AppendShortcutPattern(folder, sizeof(folder)));
    EXPECT_STREQ("C:\\Links\\*.lnk", folder);
    char root[32] = "C:\\";
    EXPECT_TRUE(AppendShortcutPattern(root, sizeof(root)));
    EXPECT_STREQ("C:\\*.lnk", root);
    // Room for the backslash but not the pattern: the path is left as it was.
    char tight[12] = "C:\\Links";
    EXPECT_FALSE(AppendShortcutPattern(tight, sizeof(tight)));
    EXPECT_STREQ("C:\\Links", tight);
}

TEST(QuoteIfBlank, QuotesOnlyTextsWithABlankNotAlreadyQuoted) {
    const Expectation cases[] = {
        {"C:\\My Tools\\a.exe", "\"C:\\My Tools\\a.exe\""},
        {"C:\\Tools\\a.exe", "C:\\Tools\\a.exe"},
        {"\"C:\\My Tools\\a.exe\" /x", "\"C:\\My Tools\\a.exe\" /x"},
        {" ", "\" \""},
        {"", ""},
    };
    for (const Expectation &c : cases)
        ExpectBothForms(
            c.input, c.expected, [](char *text, size_t size) { return QuoteIfBlank(text, size); },
            [](std::string &text) { QuoteIfBlank(text); });
}

TEST(QuoteIfBlank, NeedsRoomForBothQuotes) {
    char exact[6] = "a b"; // 3 characters, 2 quotes and the terminator
    EXPECT_TRUE(QuoteIfBlank(exact, sizeof(exact)));
    EXPECT_STREQ("\"a b\"", exact);
    char shortOne[5] = "a b";
    EXPECT_FALSE(QuoteIfBlank(shortOne, sizeof(shortOne)));
    EXPECT_STREQ("a b", shortOne);
}

TEST(LowerAscii, LeavesTrailBytesAlone) {
    char text[] = "ABC\x83\x41Z\x95\x5C"
                  "D";
    LowerAscii(text);
    EXPECT_STREQ("abc\x83\x41z\x95\x5C"
                 "d",
                 text);
}

TEST(FindText, MatchesOnlyAtCharacterStarts) {
    struct Case {
        const char *text;
        const char *pattern;
        int offset; // -1: no match
    } cases[] = {
        {"Hello World", "World", 6},
        {"Hello World", "world", -1},
        {"Hello", "", 0},
        {"", "a", -1},
        // The 'A' inside "\x83\x41" is a trail byte; the real one follows it.
        {"\x83\x41"
         "A",
         "A", 2},
        {"\x83\x41", "A", -1},
        {"C:\\\x95\x5C", "\\", 2},
    };
    for (const Case &c : cases) {
        const char *found = FindText(c.text, c.pattern);
        EXPECT_EQ(c.offset < 0 ? nullptr : c.text + c.offset, found) << c.text << " / " << c.pattern;
    }
    EXPECT_EQ(nullptr, FindText(nullptr, "a"));
    EXPECT_EQ(nullptr, FindText("a", nullptr));
}

TEST(FindTextNoCase, ReturnsAPositionInTheCallersText) {
    const char text[] = "Run DEFRAG.EXE /U";
    EXPECT_EQ(text + 4, FindTextNoCase(text, "defrag.exe"));
    EXPECT_EQ(text + 15, FindTextNoCase(text, "/u"));
    EXPECT_EQ(nullptr, FindTextNoCase(text, "chkdsk"));
    const char dbcs[] = "\x83\x41"
                        "a";
    EXPECT_EQ(dbcs + 2, FindTextNoCase(dbcs, "A"));
}

TEST(ReplaceAll, ReplacesEveryOccurrence) {
    struct Case {
        const char *text;
        const char *oldText;
        const char *newText;
        const char *expected;
    } cases[] = {
        {"a-b-c", "-", "--", "a--b--c"},
        {"%1 and %1", "%1", "C:", "C: and C:"},
        {"aaa", "aa", "b", "ba"},
        {"none here", "x", "y", "none here"},
        {"cut this", " this", "", "cut"},
        {"abc", "abc", "", ""},
        {"", "a", "b", ""},
    };
    for (const Case &c : cases) {
        TextPtr result = ReplaceAll(c.text, c.oldText, c.newText);
        ASSERT_TRUE(result) << c.text;
        EXPECT_STREQ(c.expected, result.get()) << c.text;
    }
}

TEST(ReplaceAll, RefusesAnEmptyPattern) {
    EXPECT_FALSE(ReplaceAll("abc", "", "x"));
    EXPECT_FALSE(ReplaceAll("abc", nullptr, "x"));
    EXPECT_FALSE(ReplaceAll(nullptr, "a", "x"));
}

} // namespace

// Drive lists, paths and report lines may pass any fixed buffer; nothing may be cut or overrun.
TEST(FormatString, ReturnsTheWholeTextWhateverItsLength) {
    EXPECT_EQ("C: 12%", FormatString("%c: %u%%", 'C', 12u));
    std::string longPath(700, 'x');
    std::string formatted = FormatString("[%s]", longPath.c_str());
    ASSERT_EQ(702u, formatted.size());
    EXPECT_EQ('[', formatted.front());
    EXPECT_EQ(']', formatted.back());
    EXPECT_EQ(std::string(511, 'y'), FormatString("%s", std::string(511, 'y').c_str()));
}
