// The configurator's parsers of outside input under fuzzing: the command line and its /L file,
// command-line files, theme values, scripts and AVG texts, archive paths and messages, the
// command histories and BootExecute as stored, service texts, the update reply, and numbers typed
// into fields.
#include "dialogs/diskpages.h"
#include "dialogs/ferun.h"
#include "dialogs/options.h"
#include "dialogs/stopsrv.h"
#include "dialogs/trouble.h"
#include "dialogs/update.h"
#include "startup/startup.h"
#include "window/theme.h"

#include "fuzz.h"
#include "settings.h"

#include <gtest/gtest.h>

#include <cstring>

// From planner/rnscheck.h, whose constants trouble.h repeats.
bool IsScheduledBootExecute(std::string_view data);

namespace {

using fuzz::Corpus;
using fuzz::ParserCase;

const std::vector<std::string> kSwitchTokens = {"/", "-", "A",  "L", "S", "E", "R",    "H",        "I",       "J",
                                                "N", "?", "\"", " ", "0", "3", ".rnx", "\x81\x40", "\x82\xa0"};

std::string CheckStartSwitch(const char *data, size_t size) {
    ParsedSwitch parsed = ParseStartSwitch(data);
    if (parsed.argument.size() > size) return "an argument longer than the command line";
    if (parsed.digit < -1 || parsed.digit > 9) return "a digit that is no digit";
    std::string file = CommandFileName(parsed.argument);
    if (file.size() > parsed.argument.size()) return "a file name longer than its argument";
    RegeditCommandLine(file);
    return std::string();
}

std::string CheckCommandFile(const char *data, size_t size) {
    std::string text;
    CommandFileResult result = DecodeCommandFile(data, size, &text);
    if (result != CommandFileResult::Ok) return std::string();
    if (text.find('\0') != std::string::npos) return "a zero in the decoded text";
    bool marked =
        (size >= 2 && memcmp(data, "\xFF\xFE", 2) == 0) || (size >= 3 && memcmp(data, "\xEF\xBB\xBF", 3) == 0);
    if (!marked && text != std::string(data, size)) return "bytes without a mark that were changed";
    return std::string();
}

std::string CheckThemeScreen(const char *data, size_t) {
    for (SIZE largest : {SIZE{1024, 768}, SIZE{100, 100}, SIZE{0x7FFFFFFF, 0x7FFFFFFF}}) {
        SIZE size = ParseThemeScreen(data, largest);
        if (size.cx < kDefaultWizardSize.cx || size.cy < kDefaultWizardSize.cy) return "a size below the default";
        if ((largest.cx > kDefaultWizardSize.cx && size.cx > largest.cx) ||
            (largest.cy > kDefaultWizardSize.cy && size.cy > largest.cy))
            return "a size beyond the screen";
    }
    ThemeValueGiven(data);
    return std::string();
}

std::string CheckScriptReference(const char *data, size_t size) {
    std::string label, file;
    if (!ParseScriptReference(data, &label, &file)) return std::string();
    if (label.empty() || file.empty()) return "a reference with an empty label or file";
    if (label.size() + file.size() + 2 > size) return "a reference longer than its value";
    return std::string();
}

std::string CheckScript(const char *data, size_t size) {
    for (const char *label : {"a", "start", "\x82\xa0", ""}) {
        std::string out;
        ExpandScript(data, size, label, &out);
    }
    // The value form: the fuzzed script stands for every file.
    ExpandThemeValue(":a@x.txt", [data, size](const char *, std::string *bytes) {
        bytes->assign(data, size);
        return true;
    });
    return std::string();
}

std::string CheckAvgText(const char *data, size_t size) {
    size_t total = 0;
    for (const AvgOp &op : ParseAvgText(data, size))
        total += op.argument.size();
    if (total > size) return "more text in the operations than in the input";
    return std::string();
}

std::string CheckArchivePath(const char *data, size_t size) {
    ThemeArchiveOf(data);
    if (ThemeIniNameOf(data).size() > size + 4) return "an ini name longer than the path allows";
    if (!IsPlainThemeFile(data)) return std::string();
    // A plain theme file joined to the program folder stays below it, however Windows reads the
    // path.
    static const char kFolder[] = "C:\\Program Files\\Tidewell\\";
    std::string joined = kFolder + std::string(data);
    char full[4096];
    DWORD length = GetFullPathNameA(joined.c_str(), sizeof full, full, nullptr);
    if (length == 0 || length >= sizeof full) return std::string();
    if (_strnicmp(full, kFolder, sizeof kFolder - 1) != 0 || !full[sizeof kFolder - 1])
        return std::string("a plain theme file that leads out of the folder: ") + full;
    return std::string();
}

std::string CheckArchiveOutput(const char *data, size_t size) {
    if (ArchiveOutputText(data, size).size() > size) return "a message longer than its buffer";
    return std::string();
}

std::string CheckHistory(const char *data, size_t size) {
    std::vector<std::string> entries;
    for (DWORD type : {DWORD(REG_MULTI_SZ), DWORD(REG_SZ)}) {
        ParseHistory(type, data, size, &entries);
        if (entries.size() > kHistoryCapacity) return "more entries than the history holds";
        size_t used = 0;
        for (const std::string &entry : entries) {
            if (entry.empty() || entry.find('\0') != std::string::npos) return "an empty entry or one with a zero";
            used += entry.size() + 1;
        }
        if (used > size) return "entries beyond the data";
    }
    return std::string();
}

std::string CheckBootExecute(const char *data, size_t size) {
    std::string_view bytes(data, size);
    size_t used = 0;
    for (const std::string &entry : MultiStrings(bytes)) {
        if (entry.empty() || entry.find('\0') != std::string::npos) return "an empty string or one with a zero";
        used += entry.size() + 1;
    }
    if (used > size + 1) return "strings beyond the data";
    AutochkScheduled(bytes);
    IsScheduledBootExecute(bytes);
    if (MultiStringLength(data, DWORD(size)) - size > 2) return "a multi-string length beyond two more bytes";
    return std::string();
}

std::string CheckServiceText(const char *data, size_t size) {
    bool valid = false;
    const BYTE *bytes = reinterpret_cast<const BYTE *>(data);
    std::string text = ServiceText(REG_SZ, bytes, DWORD(size), &valid);
    if (!valid || text.size() > size || text.size() > kMaxServiceText) return "a service text beyond its data";
    ServiceText(REG_BINARY, bytes, DWORD(size), &valid);
    if (valid) return "binary data taken for a service text";
    std::string module;
    UINT id = 0;
    if (ParseIndirectString(text.c_str(), &module, &id) && id > 65535) return "a string number above 65535";
    return std::string();
}

std::string CheckUpdateReply(const char *data, size_t size) {
    for (bool beta : {false, true}) {
        long version = FindUpdateVersion(data, size, beta);
        if (version < -1 || version > 99999) return "a version outside five digits";
    }
    return std::string();
}

std::string CheckNumbers(const char *data, size_t) {
    unsigned short port = ParsePortNumber(data);
    if (port && std::to_string(port) != std::string(data).substr(std::string(data).find_first_not_of('0')))
        return "a port that is not the digits given";
    DWORD value = 0;
    if (ParseBoundedNumber(data, 1000, &value) == NumberText::Ok && value > 1000) return "a number above its bound";
    VersionNumberOf(data);
    BuildTypeOf(data);
    for (const std::string &item : SplitNameList(data))
        if (item.empty() || item.find(kNameListSeparator) != std::string::npos) return "an empty or joined name";
    return std::string();
}

Corpus Scripts() {
    return {
        {":a\r\n$\\btitle.bmp/Hello\\n\\r\r\n:b\r\n$x", ":start \r\n$\\w\x82\xa0.wav/\\s\\c\r\n:end",
         ":A\n$text\n$\\m\n:a\n", "\x82\xa0:a\r\n$\\b\r\n"},
        {":", ":a", ":start", "\r\n", "\n", "$", "\\b", "\\m", "\\c", "\\w", "/", "\\s", "\\n", "\\r", "\x81\x5c", " "},
        2048};
}

Corpus Avg() {
    return {{"Hello\\nWorld\\r", "\\bback.bmp/\\mmask.bmp/\\cchar.bmp/text", "\\wsound.wav/\\s",
             "\x95\x5c\x8e\xa6\\n\x83\x5c\\"},
            {"\\", "\\b", "\\m", "\\c", "\\w", "\\s", "\\n", "\\r", "/", "\x81\x5c", "\x95\x5c"},
            1024};
}

const ParserCase kParsers[] = {
    {"KORVANE command line", true,
     [] {
         return Corpus{{"/A2", "/L \"C:\\My Files\\list.rnx\" ", "/s DEFRAG.EXE C:", "/H1", "/?", "-R x.reg", "/I",
                        "  /E CHKDSK"},
                       kSwitchTokens,
                       600};
     },
     CheckStartSwitch},
    {"command-line file", false,
     [] {
         return Corpus{{"DEFRAG.EXE C:\r\nCHKDSK.EXE /F\r\n",
                        std::string("\xFF\xFE"
                                    "C\0:\0\r\0\n\0",
                                    10),
                        "\xEF\xBB\xBF"
                        "CHKDSK \xE3\x81\x82",
                        "\x83\x66\x83\x74\x83\x89\x83\x4f.exe", "x"},
                       {"\xFF\xFE", "\xEF\xBB\xBF", std::string(1, '\0'), "\xD8\x3D", "\xDC\x00", "\xE3\x81", "\r\n"},
                       4096};
     },
     CheckCommandFile},
    {"theme screen", true,
     [] {
         return Corpus{{"800,600", " 640 , 480 ", "99999999999,1", "-1,5", "800,", ",600", "none"},
                       {",", " ", "0", "9", "-", "+", "\t"},
                       64};
     },
     CheckThemeScreen},
    {"theme script reference", true,
     [] {
         return Corpus{
             {":start@theme.txt", ":\x82\x40@x", ":@x", ":a@", ":\x81@b@c"}, {":", "@", "\x81", "\x82\x40"}, 300};
     },
     CheckScriptReference},
    {"theme script", false, Scripts, CheckScript},
    {"AVG text", false, Avg, CheckAvgText},
    {"archive path", true,
     [] {
         return Corpus{
             {"theme\\a.bmp", "..\\x.ini", "C:\\x.ini", "a.txt:stream", "dir/b.wav", "x.lzh", "t.7z", "y.ZIP"},
             {"\\", "/", "..", ":", ".ini", ".bmp", ".exe", ".lzh", ".zip", ".7z", "\x81\x5c"},
             300};
     },
     CheckArchivePath},
    {"archive library message", false,
     [] {
         return Corpus{{"ERROR: cannot open", std::string("ok\0junk", 7)}, {std::string(1, '\0'), "\r\n"}, 600};
     },
     CheckArchiveOutput},
    {"command history", false,
     [] {
         return Corpus{{std::string("DEFRAG C:\0CHKDSK /F\0\0", 21), std::string("one\0two", 7), std::string(2, '\0'),
                        std::string("a\0b\0c\0d\0e\0f\0g\0h\0i\0j\0k\0l\0m\0n\0o\0p\0q\0r\0\0", 37)},
                       {std::string(1, '\0'), "x", "DEFRAG.EXE"},
                       2048};
     },
     CheckHistory},
    {"BootExecute", false,
     [] {
         return Corpus{{std::string("autocheck autochk *\0\0", 21),
                        std::string("autocheck autochk /p \\??\\C:\0autocheck autochk /r \\??\\D:\0\0", 56),
                        std::string(" AUTOCHECK AUTOCHK\0other.exe\0", 29)},
                       {std::string(1, '\0'), "autocheck autochk", " /p \\??\\", "C:", " "},
                       600};
     },
     CheckBootExecute},
    {"service text", false,
     [] {
         return Corpus{{"@%SystemRoot%\\system32\\svc.dll,-100", std::string("Plain name\0", 11),
                        "@x.dll,-70000;comment", "@,-1", "@a,-"},
                       {"@", ",", "-", ";", "%", "65535", "65536", std::string(1, '\0')},
                       1500};
     },
     CheckServiceText},
    {"update reply", false,
     [] {
         return Corpus{{"HTTP/1.0 200 OK\r\n\r\nver_korv:10203.\r\nbetakorv:10300.", "ver_korv:1", "betakorv:99999.",
                        "ver_korv:1234x."},
                       {"ver_korv:", "betakorv:", ".", "0", "9", "\r\n"},
                       2048};
     },
     CheckUpdateReply},
    {"numbers in fields", true,
     [] {
         return Corpus{{"80", "65535", "65536", " 12 ", "4294967296", "1.2.3.4", "beta",
                        "a\x07"
                        "b\x07\x07"},
                       {"0", "9", " ", ".", "\x07", "-"},
                       64};
     },
     CheckNumbers},
};

class KorvaneParsers : public testing::TestWithParam<ParserCase> {};

TEST_P(KorvaneParsers, NeverReadPastTheirInputAndKeepTheirInvariants) {
    fuzz::RunParserCase(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Fuzz, KorvaneParsers, testing::ValuesIn(kParsers), fuzz::RowName);

} // namespace
