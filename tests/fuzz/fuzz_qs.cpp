// The Quiet Shell's parsers of outside input under fuzzing: command list entries and the
// arguments of their "$" commands, the registry data of a restore, the Other Applications command
// line, the paths $DelDir and $DelFiles guard, the start switch, PATH, and other programs' window
// texts.
#include "QS.h"

#include "fuzz.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using fuzz::Corpus;
using fuzz::ParserCase;

// The entries a planned run writes, and hand-written ones.
const std::vector<std::string> kEntrySeeds = {
    "$Start",
    "$Log Rinsa started",
    "$IFE 0 $LOGEND Defragmenter completed successfully.",
    "$IFE 1 $LOGEND cancelled",
    "$IFE -1 $IFE 0 $LOG nested",
    "$AUXVSO_ON 2",
    "$AUXSSC_OFF",
    "$AutoDefrag2000 C: D:",
    "$CountDown 20,reboot",
    "$Wait 5000",
    "$RecDfrgTime C:",
    "$DelFiles %windir%\\Inf\\*.pnf",
    "$DelDir %USERPROFILE%\\History",
    "$RestoreShell Explorer.exe",
    "$RService Schedule,2",
    "$End Reboot",
    "!CHKDSK.EXE C: /F",
    "DEFRAG.EXE C: -f",
    "\"C:\\Program Files\\Tool\\t.exe\" /x",
    "# a comment",
    "$",
    "!",
    "$Pause \x82\xb1\x82\xf1\x82\xc9\x82\xbf\x82\xcd",
};
const std::vector<std::string> kEntryTokens = {
    "$IFE ",    "$ife",       "$Log",     "$LogEnd",    "$Del",       "$DelDir",  "$DelFiles",  "$DelIfExist",
    "$Wait",    "$CountDown", "$End",     "$Reboot",    "$RService",  "$Restore", "$AUXVSO_ON", "$Open",
    " ",        "0 ",         "-1 ",      "2147483648", "4294967295", ",",        "!",          "#",
    "%windir%", "\\",         "\x81\x5c", "\x82\xa0",   "\r\n",       "\"",
};

// Text of the entry as QS reads it: up to the first zero within its data.
std::string EntryText(const char *data, size_t size) {
    return std::string(data, strnlen(data, size));
}

std::string CheckEntry(const char *data, size_t size) {
    std::string text = EntryText(data, size);
    for (LONG code : {0L, 1L, -1L}) {
        ParsedEntry parsed = ParseEntry(data, size, code);
        switch (parsed.kind) {
        case EntryKind::Skip:
            if (!parsed.argument.empty()) return "a skipped entry with an argument";
            break;
        case EntryKind::Internal:
            if (!CatalogueKeyword(parsed.command)) return "a command outside the catalogue";
            if (parsed.argument.size() > kMaxArgument) return "an argument longer than kMaxArgument";
            if (text.find(parsed.argument) == std::string::npos) return "an argument that is not in the entry";
            break;
        case EntryKind::External:
            if (parsed.argument.empty()) return "an empty command line";
            if (text.find(parsed.argument) == std::string::npos) return "a command line that is not in the entry";
            break;
        }
        if (parsed.conditional && _strnicmp(text.c_str(), "$ife", 4) != 0) return "a $IFE that was not there";
    }
    return std::string();
}

std::string CheckIfe(const char *data, size_t) {
    std::string argument = data;
    for (LONG code : {0L, 1L, -1L, LONG(0x7FFFFFFF)}) {
        std::string command = IfeCommand(argument, code);
        if (argument.size() < command.size() ||
            argument.compare(argument.size() - command.size(), command.size(), command) != 0)
            return "a command that is not the end of the argument";
    }
    return std::string();
}

std::string CheckCountDown(const char *data, size_t) {
    std::string argument = data;
    CountDownArgs args = ParseCountDown(argument);
    if (args.seconds < 0) return "a negative count";
    if (args.verb != "continue" && argument.find(args.verb) == std::string::npos) return "a verb not in the argument";
    return std::string();
}

std::string CheckTerminatedLength(const char *data, size_t size) {
    const BYTE *bytes = reinterpret_cast<const BYTE *>(data);
    for (DWORD type : {DWORD(REG_SZ), DWORD(REG_EXPAND_SZ), DWORD(REG_MULTI_SZ), DWORD(REG_BINARY), DWORD(REG_DWORD)}) {
        DWORD needed = TerminatedDataLength(type, bytes, DWORD(size));
        if (needed < size || needed > size + 2) return "a length outside size ... size + 2";
    }
    return std::string();
}

std::string CheckRunCommand(const char *data, size_t size) {
    RunCommand command = SplitRunCommand(data);
    if (command.file.size() + command.parameters.size() > size) return "more text than the command line held";
    if (command.folder.size() > command.file.size()) return "a folder longer than the file";
    return std::string();
}

const std::vector<std::string> kProtected = {"C:\\Windows",
                                             "C:\\Windows\\system32",
                                             "C:\\Program Files",
                                             "C:\\Documents and Settings",
                                             "C:\\Documents and Settings\\me",
                                             "\\\\server\\share\\profiles"};

std::string CheckProtectedPath(const char *data, size_t) {
    std::string path = data;
    IsProtectedFolder(path, kProtected);
    IsProtectedPattern(path, kProtected);
    WildcardMatch(path, "setup.pnf");
    WildcardMatch("*.p?f", path);
    // Every protected folder is refused however the fuzzed tail would name it.
    if (!IsProtectedFolder(kProtected[0], {path, kProtected[0]})) return "a protected folder allowed";
    return std::string();
}

std::string CheckStartSwitch(const char *data, size_t size) {
    StartSwitch parsed = ParseStartSwitch(data);
    if (parsed.text.size() > size) return "a notice longer than the command line";
    return std::string();
}

std::string CheckPathVariable(const char *data, size_t) {
    size_t size = strlen(data);
    std::string repaired;
    PathState state = CheckPath(data, "C:\\WINDOWS", "C:\\WINDOWS\\system32", &repaired);
    if (state == PathState::Complete && repaired.size() != size) return "a complete PATH that was changed";
    if (repaired.size() < size) return "a repaired PATH shorter than the original";
    return std::string();
}

std::string CheckTimeScale(const char *data, size_t) {
    double scale = ParseTimeScale(data);
    if (!(scale > 0.0) || scale > 1.0) return "a factor outside 0 ... 1";
    return std::string();
}

std::string CheckWindowTexts(const char *data, size_t) {
    IsScanDiskQuestion(data);
    IsConsoleTitle(data);
    IsCompletionCaption(data);
    BeginsWithCompletionCaption(data);
    IsDiskeeperMarker(data);
    IsDiskeeperAdvertTitle(data);
    ClassifyConsoleDialog(data, {data, "OK"});
    return std::string();
}

Corpus Entries() {
    return {kEntrySeeds, kEntryTokens, 700};
}

Corpus Arguments(std::vector<std::string> seeds) {
    return {std::move(seeds), kEntryTokens, 600};
}

Corpus Paths() {
    return {{"C:\\Windows", "C:\\Temp\\*.tmp", "C:\\Windows\\..\\Windows\\.\\*.*", "\\\\?\\C:\\Program Files. ",
             "\\\\?\\UNC\\server\\share\\profiles\\*", "c:/documents and settings/ME/", "D:\\x\\\x81\x5c\\*.?",
             "%windir%\\Inf\\*.pnf", "relative\\..\\..\\x", "C:", "\\"},
            {"\\", "/", "..", ".", "*", "?", "*.*", ":", "C:", "\\\\", "\\\\?\\", "UNC\\", " ", "\x81\x5c", "Windows",
             "Program Files"},
            400};
}

const ParserCase kParsers[] = {
    {"command list entry", false, Entries, CheckEntry},
    {"$IFE argument", true,
     [] {
         return Arguments({"0 $LOG x", "-1 \t CMD.EXE /C exit", "abc x", "0", "99999999999 y"});
     },
     CheckIfe},
    {"$CountDown argument", true,
     [] {
         return Arguments({"20,reboot", "5", "12345678901,x", "7,", "shutdown", "-3,x", "+4,y"});
     },
     CheckCountDown},
    {"restore value data", false,
     [] {
         return Corpus{{std::string("Explorer.exe\0", 13), std::string("a\0b\0\0", 5), "x", std::string(4, '\0')},
                       {std::string(1, '\0')},
                       300};
     },
     CheckTerminatedLength},
    {"Other Applications line", true,
     [] {
         return Arguments({"  \"C:\\My Tools\\a.exe\" -x", "notepad.exe C:\\a.txt", "\"unclosed C:\\x y", "\t\"\" \"\"",
                           "C:\\a\x81\x5c\\b.exe /p"});
     },
     CheckRunCommand},
    {"$DelDir/$DelFiles path", true, Paths, CheckProtectedPath},
    {"QS start switch", true,
     [] {
         return Arguments({"/W Do not touch", "/S", "/x", "/", "S", ""});
     },
     CheckStartSwitch},
    {"PATH", true,
     [] {
         return Corpus{
             {"C:\\WINDOWS\\system32;C:\\WINDOWS", "C:\\windows\\system32\\;;D:\\tools;", "\"C:\\a;b\";C:\\", ""},
             {";", "\\", "\"", "C:\\WINDOWS", "system32", " "},
             600};
     },
     CheckPathVariable},
    {"QS_TIME_SCALE", true,
     [] {
         return Corpus{{"0.01", "1", "1e-3", "-1", "nan", "inf", "0x1p-4", "0.5 "}, {"e", "-", ".", "0"}, 40};
     },
     CheckTimeScale},
    {"window texts", true,
     [] {
         return Corpus{{"Disk Defragmenter", "Diskeeper Lite", "Defragmentation Complete\nC: is done",
                        "ScanDisk has restarted 10 times", "\x83\x66\x83\x74\x83\x89\x83\x4f"},
                       {"Diskeeper", "Complete", "10", "\n", "\x81\x5c"},
                       200};
     },
     CheckWindowTexts},
};

class QsParsers : public testing::TestWithParam<ParserCase> {};

TEST_P(QsParsers, NeverReadPastTheirInputAndKeepTheirInvariants) {
    fuzz::RunParserCase(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Fuzz, QsParsers, testing::ValuesIn(kParsers), fuzz::RowName);

} // namespace
