// Wizard themes without a window: the theme file's sections, the "screen" size, script references
// and their expansion, the escape codes of the AVG text, and the files an installation takes.
#include "window/theme.h"

#include "language.h"
#include "platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

// A folder of its own below the temporary folder, removed afterwards.
class TempFolder {
public:
    TempFolder() {
        path_ = MakeScratchFolder();
        EXPECT_FALSE(path_.empty());
    }
    ~TempFolder() { RemoveFolderTree(path_); }
    const std::string &path() const { return path_; }
    std::string Write(const std::string &name, const std::string &bytes) const {
        std::string file = path_ + name;
        size_t slash = name.rfind('\\');
        if (slash != std::string::npos) CreateDirectoryA((path_ + name.substr(0, slash)).c_str(), nullptr);
        std::ofstream(file, std::ios::binary) << bytes;
        return file;
    }
    std::string Read(const std::string &name) const {
        std::ifstream file(path_ + name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    bool Exists(const std::string &name) const {
        return GetFileAttributesA((path_ + name).c_str()) != INVALID_FILE_ATTRIBUTES;
    }

private:
    std::string path_;
};

// ---- The theme file -----------------------------------------------------------------------------

TEST(ThemeScreen, MalformedValuesGiveTheDefaultAndEverySizeLiesBetweenTheDefaultAndTheScreen) {
    const SIZE screen = {1280, 984};
    struct Case {
        const char *value;
        SIZE largest;
        LONG width, height;
    } cases[] = {
        {"800,600", screen, 800, 600},
        {" 800 ,\t600 ", screen, 800, 600},
        {"593,401", screen, 593, 401},
        {"", screen, 593, 401},
        {"abc", screen, 593, 401},
        {"800", screen, 593, 401},
        {"800,", screen, 593, 401},
        {",600", screen, 593, 401},
        {"800,600,1", screen, 593, 401},
        {"800;600", screen, 593, 401},
        {"-800,600", screen, 593, 401},
        {"0x300,600", screen, 593, 401},
        {"100,100", screen, 593, 401},      // smaller than the default: the default
        {"700,200", screen, 700, 401},      // each side on its own
        {"99999,99999", screen, 1280, 984}, // larger than the screen: the screen
        {"99999999999999999999,1", screen, 1280, 401},
        {"800,600", {500, 380}, 593, 401}, // a screen smaller than the default keeps the default
        {"800,600", {640, 480}, 640, 480},
    };
    for (const Case &c : cases) {
        SIZE size = ParseThemeScreen(c.value, c.largest);
        EXPECT_EQ(c.width, size.cx) << "\"" << c.value << "\"";
        EXPECT_EQ(c.height, size.cy) << "\"" << c.value << "\"";
    }
    SIZE none = ParseThemeScreen(nullptr, screen);
    EXPECT_EQ(593, none.cx);
}

TEST(ThemeFile, SectionsDefaultsAndNoneKeepTheBuiltInElements) {
    TempFolder folder;
    std::string ini = folder.Write("theme.ini", "[main]\r\nmode=avg\r\nbgm=music.mid\r\nscreen=700,500\r\n"
                                                "name=Blue Sky\r\n"
                                                "[21-NT]\r\nTEXT=Hello\r\nBUTTON1=One\r\nBUTTON2=none\r\n"
                                                "TITLE=NONE\r\nBITMAP=sky.bmp\r\nHELP=korvane.hlp,999\r\n"
                                                "[22]\r\nBUTTON5=Go back\r\n");
    ThemeMain main = ReadThemeMain(ini.c_str(), false);
    EXPECT_TRUE(main.avg) << "the mode is compared without case";
    EXPECT_EQ("Arial", main.font);
    EXPECT_EQ("music.mid", main.bgm);
    EXPECT_EQ("700,500", main.screen);
    EXPECT_EQ("Blue Sky", main.name);
    EXPECT_EQ("ＭＳ Ｐゴシック", ReadThemeMain(ini.c_str(), true).font);

    ThemePage first = ReadThemePage(ini.c_str(), 21);
    EXPECT_EQ("Hello", first.text);
    EXPECT_EQ("One", first.buttons[0]);
    EXPECT_EQ("", first.buttons[1]) << "none keeps the built-in text";
    EXPECT_EQ("", first.title);
    EXPECT_EQ("sky.bmp", first.bitmap);
    EXPECT_EQ("korvane.hlp,999", first.help);
    EXPECT_EQ("Go back", ReadThemePage(ini.c_str(), 22).buttons[4]);
    EXPECT_EQ("", ReadThemePage(ini.c_str(), 31).text) << "a page without a section";

    std::string bare = folder.Write("bare.ini", "[22]\r\nTEXT=x\r\n");
    ThemeMain defaults = ReadThemeMain(bare.c_str(), false);
    EXPECT_FALSE(defaults.avg);
    EXPECT_EQ("none", defaults.bgm);
    EXPECT_EQ("593,401", defaults.screen);
    EXPECT_EQ("None", defaults.name);
    EXPECT_EQ("", ReadThemePage(bare.c_str(), 21).text) << "page 21 reads only its 21-NT section";
    EXPECT_EQ("21-NT", ThemeSectionOf(21));
    EXPECT_EQ("41", ThemeSectionOf(41));
}

TEST(ThemeFile, TheStoredFileIsFoundInTheUsualSearchOrder) {
    TempFolder folder;
    folder.Write("found.ini", "[main]\r\n");
    char previous[MAX_PATH];
    GetCurrentDirectoryA(sizeof previous, previous);
    SetCurrentDirectoryA(folder.path().c_str());
    EXPECT_EQ(folder.path() + "found.ini", LocateThemeFile("found.ini"));
    EXPECT_EQ("", LocateThemeFile("missing.ini"));
    EXPECT_EQ("", LocateThemeFile(""));
    EXPECT_EQ("", LocateThemeFile(nullptr));
    SetCurrentDirectoryA(previous);
}

// ---- Theme scripts ------------------------------------------------------------------------------

TEST(ThemeScript, ReferencesAreColonLabelAtSignFile) {
    struct Case {
        const char *value;
        bool reference;
        const char *label, *file;
    } cases[] = {
        {":intro@story.txt", true, "intro", "story.txt"},
        {":a@b@c", true, "a", "b@c"},
        {":\x81\x40x@f.txt", true, "\x81\x40x", "f.txt"}, // a full-width blank ends in 0x40
        {":\x81\x40@f.txt", true, "\x81\x40", "f.txt"},
        {"intro@story.txt", false, "", ""},
        {":@story.txt", false, "", ""},
        {":intro@", false, "", ""},
        {":intro", false, "", ""},
        {":\x81@", false, "", ""}, // the at sign is the second byte of a character
        {"", false, "", ""},
    };
    for (const Case &c : cases) {
        std::string label, file;
        EXPECT_EQ(c.reference, ParseScriptReference(c.value, &label, &file)) << c.value;
        if (!c.reference) continue;
        EXPECT_EQ(c.label, label) << c.value;
        EXPECT_EQ(c.file, file) << c.value;
    }
    std::string label, file;
    EXPECT_FALSE(ParseScriptReference(nullptr, &label, &file));
}

const char kScript[] = ":intro\r\n"
                       "$wallpaper bg.bmp\r\n"
                       "$mask  mask.bmp\r\n"
                       "$char\tface.bmp\r\n"
                       "$wave sound.wav\r\n"
                       "$switch\r\n"
                       "$echo Hello there\r\n"
                       "$PAUSE\r\n"
                       "$Echo  Upper case\r\n"
                       "a line that is not a command\r\n"
                       "$unknown command\r\n"
                       ":page22\r\n"
                       "$echo twenty-two\r\n"
                       ":page2\r\n"
                       "$echo two\r\n"
                       ":\x83\x61\r\n"
                       "$echo wrong letter\r\n"
                       ":\x83\x41\r\n"
                       "$echo right letter\r\n"
                       ":last   \n"
                       "$echo no line end";

TEST(ThemeScript, TheLinesUnderALabelBuildTheEscapeCodes) {
    struct Case {
        const char *label;
        const char *expected;
    } cases[] = {
        {"intro", "\\bbg.bmp/\\mmask.bmp/\\cface.bmp/\\wsound.wav/\\sHello there\\r\\nUpper case\\r"},
        {"INTRO", "\\bbg.bmp/\\mmask.bmp/\\cface.bmp/\\wsound.wav/\\sHello there\\r\\nUpper case\\r"},
        {"page2", "two\\r"}, // the exact label, though ":page22" comes first
        {"page22", "twenty-two\\r"},
        {"page", "twenty-two\\r"},       // no exact label: the first that begins with it
        {"\x83\x41", "right letter\\r"}, // the second byte of a character is not a letter to fold
        {"last", "no line end\\r"},      // blanks after the label; the text ends without a line end
    };
    for (const Case &c : cases) {
        std::string out;
        ASSERT_TRUE(ExpandScript(kScript, strlen(kScript), c.label, &out)) << c.label;
        EXPECT_EQ(c.expected, out) << c.label;
    }
    std::string out = "kept";
    EXPECT_FALSE(ExpandScript(kScript, strlen(kScript), "missing", &out));
    EXPECT_EQ("kept", out);
    EXPECT_FALSE(ExpandScript(nullptr, 0, "intro", &out));
}

TEST(ThemeScript, TheTextIsReadToItsGivenLengthOnly) {
    const std::string script = std::string(":a\n$echo one\n$echo tw", 21) + std::string("\0o\n$echo three\n", 15);
    std::string out;
    ASSERT_TRUE(ExpandScript(script.data(), 21, "a", &out));
    EXPECT_EQ("one\\rtw\\r", out) << "nothing after the length is read";
    ASSERT_TRUE(ExpandScript(script.data(), script.size(), "a", &out));
    EXPECT_EQ(std::string("one\\rtw\0o\\rthree\\r", 18), out) << "a zero byte is only a byte";
    EXPECT_FALSE(ExpandScript(":a\n", 0, "a", &out)) << "an empty text holds no label";
}

TEST(ThemeScript, ValuesAreExpandedOnlyWhenLabelAndFileAreFound) {
    auto reader = [](const char *file, std::string *bytes) {
        if (strcmp(file, "story.txt") != 0) return false;
        *bytes = ":intro\n$echo Once upon a time\n";
        return true;
    };
    struct Case {
        const char *value;
        const char *expected;
    } cases[] = {
        {":intro@story.txt", "Once upon a time\\r"},
        {":other@story.txt", ":other@story.txt"},
        {":intro@missing.txt", ":intro@missing.txt"},
        {"plain text", "plain text"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.expected, ExpandThemeValue(c.value, reader)) << c.value;

    EXPECT_EQ("Built-in", ResolvePageElement("Built-in", "", reader));
    EXPECT_EQ("Built-in", ResolvePageElement("Built-in", "NONE", reader));
    EXPECT_EQ("Theme", ResolvePageElement("Built-in", "Theme", reader));
    EXPECT_EQ("Once upon a time\\r", ResolvePageElement("Built-in", ":intro@story.txt", reader));
}

TEST(ThemeScript, FilesOfTwoMebibytesOrMoreAreNotRead) {
    TempFolder folder;
    std::string below = folder.Write("below.txt", ":a\n$echo fits\n" + std::string(kScriptFileLimit - 15, '\n'));
    std::string at = folder.Write("at.txt", ":a\n$echo too big\n" + std::string(kScriptFileLimit - 17, '\n'));
    std::string bytes;
    EXPECT_TRUE(ReadScriptFile(below.c_str(), &bytes));
    EXPECT_EQ(kScriptFileLimit - 1, bytes.size());
    EXPECT_FALSE(ReadScriptFile(at.c_str(), &bytes));
    EXPECT_FALSE(ReadScriptFile((folder.path() + "missing.txt").c_str(), &bytes));
    EXPECT_EQ("fits\\r", ExpandThemeValue(":a@" + below));
    EXPECT_EQ(":a@" + at, ExpandThemeValue(":a@" + at)) << "the value stays as it was";
}

// ---- The escape codes of the AVG text -----------------------------------------------------------

std::string Describe(const std::vector<AvgOp> &ops) {
    static const char *const kNames[] = {"text", "wallpaper", "mask", "char", "wave", "switch", "pause", "br"};
    std::string text;
    for (const AvgOp &op : ops) {
        text += text.empty() ? "" : " ";
        text += kNames[static_cast<int>(op.kind)];
        if (!op.argument.empty() || op.kind == AvgOpKind::Wallpaper || op.kind == AvgOpKind::Wave)
            text += "(" + op.argument + ")";
    }
    return text;
}

TEST(AvgText, EscapesAreReadShiftJisAwareAndBoundedByTheText) {
    struct Case {
        const char *text;
        const char *expected;
    } cases[] = {
        {"Hello\\nWorld", "text(Hello) pause text(World)"},
        {"a\\rb", "text(a) br text(b)"},
        {"\\bpic.bmp/after", "wallpaper(pic.bmp) text(after)"},
        {"\\s\\mm.bmp/\\cc.bmp/\\wding.wav/", "switch mask(m.bmp) char(c.bmp) wave(ding.wav)"},
        {"\\bunterminated", "wallpaper(unterminated)"},
        {"\\w", "wave()"},
        {"end\\", "text(end\\)"},
        {"\\x and \\\\", "text(\\x and \\\\)"},
        {"\x95\x5Cn", "text(\x95\x5Cn)"}, // a character ending in 0x5C, then "n"
        {"\x95\x5C\\n\x95\x5C", "text(\x95\x5C) pause text(\x95\x5C)"},
        {"\\b\x95\x5C/x.bmp/", "wallpaper(\x95\x5C) text(x.bmp/)"},
        {"ab\x95", "text(ab\x95)"}, // a lead byte at the very end
        {"", ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.expected, Describe(ParseAvgText(c.text, strlen(c.text)))) << c.text;
    EXPECT_EQ("wallpaper(fi)", Describe(ParseAvgText("\\bfile/", 4))) << "the file ends with the given length";
    EXPECT_EQ("text(\\)", Describe(ParseAvgText("\\n", 1)));
}

// ---- Theme installation -------------------------------------------------------------------------

TEST(ThemeInstallation, ArchivesAreKnownByTheEndOfTheirPath) {
    struct Case {
        const char *path;
        ThemeArchive kind;
    } cases[] = {
        {"C:\\in\\theme.lzh", ThemeArchive::Lha},
        {"C:\\in\\THEME.ZIP", ThemeArchive::Zip},
        {"C:\\in\\theme.7Z", ThemeArchive::SevenZip},
        {"a.zip", ThemeArchive::Zip},
        {".zip", ThemeArchive::None},
        {"b.7z", ThemeArchive::None}, // under five characters
        {"C:\\in\\theme.ini", ThemeArchive::None},
        {"C:\\in\\theme.zip.txt", ThemeArchive::None},
        {"", ThemeArchive::None},
    };
    for (const Case &c : cases)
        EXPECT_EQ(static_cast<int>(c.kind), static_cast<int>(ThemeArchiveOf(c.path))) << c.path;
    EXPECT_EQ(static_cast<int>(ThemeArchive::None), static_cast<int>(ThemeArchiveOf(nullptr)));

    struct Name {
        const char *path, *ini;
    } names[] = {
        {"C:\\in\\theme.7z", "theme.ini"}, {"C:\\in\\my.theme.zip", "my.theme.ini"}, {"C:\\in.d\\noext", "noext.ini"},
        {"C:\\in\\dot.", "dot.ini"},       {"C:\\\x95\x5C\\a.lzh", "a.ini"},         {"\x95\x5C.lzh", "\x95\x5C.ini"},
    };
    for (const Name &n : names)
        EXPECT_EQ(n.ini, ThemeIniNameOf(n.path)) << n.path;
}

TEST(ThemeInstallation, OnlyPlainThemeFilesBelowTheFolderAreTaken) {
    struct Case {
        const char *path;
        bool plain;
    } cases[] = {
        {"theme.ini", true},
        {"pics\\sky.BMP", true},
        {"bgm.mid", true},
        {"voice.wav", true},
        {"story.txt", true},
        {"a\\b\\c.jpg", true},
        {"KORVANE.EXE", false},
        {"evil.dll", false},
        {"run.bat", false},
        {"saver.scr", false},
        {"noextension", false},
        {"..\\up.ini", false},
        {"a\\..\\..\\up.ini", false},
        {".\\here.ini", false},
        {"\\root.ini", false},
        {"C:\\abs.ini", false},
        {"stream.ini:evil.exe", false},
        {"a\\\\b.ini", false},
        {"/slash.ini", false},
        {"theme.ini.exe", false},
        {"", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.plain, IsPlainThemeFile(c.path)) << c.path;
    EXPECT_FALSE(IsPlainThemeFile(nullptr));
}

TEST(ThemeInstallation, ALibraryMessageWithoutItsEndIsCutAtTheBuffer) {
    char full[8];
    memset(full, 'x', sizeof full);
    EXPECT_EQ("xxxxxxx", ArchiveOutputText(full, sizeof full));
    EXPECT_EQ("ok", ArchiveOutputText("ok\0junk", 8));
    EXPECT_EQ("", ArchiveOutputText(full, 0));
    EXPECT_EQ("", ArchiveOutputText(nullptr, 8));
}

TEST(ThemeInstallation, MovingTakesPlainFilesAndReplacesNothing) {
    TempFolder scratch, program;
    scratch.Write("theme.ini", "[main]\r\nname=New\r\n");
    scratch.Write("pics\\sky.bmp", "BM");
    scratch.Write("setup.exe", "MZ");
    scratch.Write("KORVANE.EXE", "MZ");
    scratch.Write("old.ini", "new text");
    program.Write("old.ini", "old text");
    program.Write("KORVANE.EXE", "the program");

    ThemeFilesMoved files = MoveThemeFiles(scratch.path(), program.path());
    std::sort(files.moved.begin(), files.moved.end());
    EXPECT_EQ((std::vector<std::string>{"pics\\sky.bmp", "theme.ini"}), files.moved);
    EXPECT_TRUE(program.Exists("theme.ini"));
    EXPECT_TRUE(program.Exists("pics\\sky.bmp"));
    EXPECT_FALSE(program.Exists("setup.exe"));
    EXPECT_EQ("old text", program.Read("old.ini")) << "an existing file is not replaced";
    EXPECT_EQ("the program", program.Read("KORVANE.EXE"));
    EXPECT_EQ(3u, files.refused.size());

    RemoveFolderTree(scratch.path());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(scratch.path().c_str())) << "the scratch folder is gone";
}

TEST(ThemeInstallation, TheMenuListsTheIniFilesByTheirNames) {
    TempFolder folder;
    folder.Write("alpha.ini", "[main]\r\nname=Alpha Theme\r\n");
    folder.Write("beta.INI", "[22]\r\nTEXT=x\r\n");
    folder.Write("notes.txt", "");
    char previous[MAX_PATH];
    GetCurrentDirectoryA(sizeof previous, previous);
    SetCurrentDirectoryA(folder.path().c_str());
    std::vector<ThemeMenuItem> items = ListThemeFiles();
    SetCurrentDirectoryA(previous);
    ASSERT_EQ(2u, items.size());
    if (items[0].file != "alpha.ini") std::swap(items[0], items[1]);
    EXPECT_EQ("Alpha Theme", items[0].label);
    EXPECT_EQ("beta.INI", items[1].label) << "without a name the file name";
    EXPECT_EQ(1, CheckedThemeItem(items, "BETA.ini"));
    EXPECT_EQ(-1, CheckedThemeItem(items, "gamma.ini"));
    EXPECT_EQ(-1, CheckedThemeItem(items, ""));
    EXPECT_EQ("x.ini", ThemeMenuLabel("None", "x.ini"));
    EXPECT_EQ("Named", ThemeMenuLabel("Named", "x.ini"));
}

} // namespace
