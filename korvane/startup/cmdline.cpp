// cmdline: korvane's switches, read from the raw command line, and the settings they store.
#include "korvane.h"
#include "startup/startup.h"
#include "planner/rnsrun.h"

#include "language.h"
#include "settings.h"

bool g_commandGiven = false;
bool g_feedbackHint = false;

// ---- Command line ---------------------------------------------------------------------------------

namespace {

struct SwitchLetter {
    char letter;
    StartSwitch kind;
    bool takesArgument;
};

const SwitchLetter kSwitchLetters[] = {
    {'?', StartSwitch::Help, false},      {'J', StartSwitch::Japanese, false}, {'N', StartSwitch::English, false},
    {'A', StartSwitch::Auto, false},      {'E', StartSwitch::Ready, true},     {'S', StartSwitch::ReadyAndRun, true},
    {'L', StartSwitch::TextFile, true},   {'R', StartSwitch::RegFile, true},   {'H', StartSwitch::Power, false},
    {'I', StartSwitch::Scheduler, false}, {'P', StartSwitch::Preview, false},
};

} // namespace

ParsedSwitch ParseStartSwitch(const char *commandLine) {
    ParsedSwitch parsed;
    if (!commandLine) return parsed;
    while (IsBlank(*commandLine))
        ++commandLine;
    if (commandLine[0] != '/' || !commandLine[1]) return parsed;
    const char *rest = commandLine + 2;
    for (const SwitchLetter &known : kSwitchLetters) {
        if (UpperAscii(commandLine[1]) != known.letter) continue;
        parsed.kind = known.kind;
        if (known.takesArgument) parsed.argument = rest;
    }
    if (parsed.kind == StartSwitch::Auto && *rest >= '0' && *rest <= '3') parsed.digit = *rest - '0';
    if (parsed.kind == StartSwitch::Power) {
        // /H with any other digit, or none, starts the program normally.
        if (*rest == '0' || *rest == '1')
            parsed.digit = *rest - '0';
        else
            parsed.kind = StartSwitch::None;
    }
    return parsed;
}

bool ApplyLanguageSwitch(const char *commandLine) {
    StartSwitch kind = ParseStartSwitch(commandLine).kind;
    if (kind != StartSwitch::Japanese && kind != StartSwitch::English) return false;
    SetLanguage(Program::Korvane, kind == StartSwitch::Japanese);
    return true;
}

const char *UsageText() {
    return "Korvane.exe starts User Interface.\n\n"
           "/Ax : Skip mode (x=0:Defrag, 1:Check Disk, 2:Check and Defrag, 3:Other, None:Last Setting)\n"
           "/E<Command Line> : Ready mode\n"
           "/S<Command Line> : /A + /E\n"
           "/L<text file> Read text file and Run Rinsa with Other mode\n"
           "/R<reg file> Read registry file and Run Rinsa.\n"
           "/J : Force Japanese mode\n"
           "/N : Force English mode\n"
           "/H0 : Suspend mode\n"
           "/H1 : Hibernation mode";
}

namespace {

std::string TrimBlanks(const std::string &text) {
    size_t first = 0, last = text.size();
    while (first < last && IsBlank(text[first]))
        ++first;
    while (last > first && IsBlank(text[last - 1]))
        --last;
    return text.substr(first, last - first);
}

} // namespace

std::string CommandFileName(const std::string &argument) {
    std::string name = TrimBlanks(argument);
    if (!name.empty() && name.front() == '"') name.erase(0, 1);
    if (!name.empty() && name.back() == '"') name.pop_back();
    return name;
}

std::string RegeditCommandLine(const std::string &regFile) {
    std::string file = TrimBlanks(regFile);
    if (!file.empty() && file.front() == '"') return "REGEDIT.EXE /S " + file;
    return "REGEDIT.EXE /S \"" + file + "\"";
}
// ---- Switches that store settings -----------------------------------------------------------------

bool StoreRunKind(int selected) {
    REGA key;
    if (!OpenSettingsForWriting(key, kLogModule)) return false;
    key.WriteIntegerA(setting::Selected.name, selected);
    key.CloseKey();
    return true;
}

bool StoreOtherCommands(const std::string &commandLines, bool readyMode) {
    REGA key;
    if (!OpenSettingsForWriting(key, kLogModule)) return false;
    key.WriteStringA(setting::LastCmdLine.name, commandLines.c_str(), STRTYPE_KEEP);
    key.WriteIntegerA(setting::Selected.name, 3);
    if (readyMode) key.WriteIntegerA(setting::mode.name, 1);
    key.CloseKey();
    return true;
}
