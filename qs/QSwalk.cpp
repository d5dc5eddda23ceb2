// The worker thread: walks the command list from the settings key and carries out each entry.
#include "QS.h"

#include "language.h"
#include "platform.h"
#include "runlog.h"
#include "settings.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

// ---- Keyword matching ---------------------------------------------------------------------------

bool MatchKeyword(const char *text, const char *keyword, std::string *argument) {
    size_t length = strlen(keyword);
    if (strlen(text) < length || _strnicmp(text, keyword, length) != 0) return false;
    // Exactly one separator is skipped, whatever it is; a longer word that begins with the keyword
    // therefore matches too, which is why longer keywords come first in the catalogue.
    const char *rest = text[length] ? text + length + 1 : text + length;
    if (argument) argument->assign(rest, strnlen(rest, kMaxArgument));
    return true;
}

std::string IfeCommand(const std::string &argument, LONG lastExitCode) {
    if (strtol(argument.c_str(), nullptr, 10) != lastExitCode) return std::string();
    size_t blank = argument.find_first_of(" \t");
    if (blank == std::string::npos) return std::string();
    size_t command = argument.find_first_not_of(" \t", blank);
    return command == std::string::npos ? std::string() : argument.substr(command);
}

// ---- Small commands -----------------------------------------------------------------------------

// The planner never writes a negative or huge wait; a hand-written or imported one must not hold
// the run for weeks (a DWORD of 4294967295 reads as -1, and as a DWORD it is INFINITE).
DWORD ClampedWait(const char *source, LONG ms) {
    if (ms >= 0 && ms <= kLongestWait) return static_cast<DWORD>(ms);
    LONG clamped = ms < 0 ? 0 : kLongestWait;
    char text[160];
    snprintf(text, sizeof text,
             Tx("%s: %ld ミリ秒は範囲外のため、%ld ミリ秒待ちます。", "%s: %ld ms is out of range; waiting %ld ms."),
             source, static_cast<long>(ms), static_cast<long>(clamped));
    RUNLOG(text);
    return static_cast<DWORD>(clamped);
}

void MarkDone(Walk &walk) {
    walk.key.WriteStringA(OrderValueName(walk.index).c_str(), "", STRTYPE_KEEP);
    RegFlushKey(HKEY_LOCAL_MACHINE);
}

namespace {

void LogEnd(Walk &walk, const std::string &text) {
    std::string line = text + FormatElapsed(IsJapanese(), GetTickCount() - walk.runClock);
    RUNLOG(line.c_str());
}

void RecordTime(Walk &walk, const std::string &drive, const char *stem, const char *failure) {
    DWORD elapsed = GetTickCount() - walk.runClock;
    REGA key;
    if (!OpenSettings(key, OPEN_CREATE)) {
        RUNLOG(failure);
        return;
    }
    key.WriteIntegerA(DriveValueName(stem, drive.c_str()).c_str(), static_cast<LONG>(elapsed));
    key.CloseKey();
}

void WaitCommand(const std::string &argument) {
    Sleep(ClampedWait("$Wait", strtol(argument.c_str(), nullptr, 10)));
}

void PauseBeforeCommand(const Walk &walk) {
    if (walk.pause) Sleep(walk.pause);
}

// ---- Catalogue ----------------------------------------------------------------------------------

enum class Mark { None, Before, After };

struct InternalCommand {
    const char *keyword;
    Mark mark;
    char traceId; // trace labels "mainThread:62<id>1" on entry and "mainThread:62<id>b" on leaving
    void (*run)(Walk &walk, const std::string &argument);
};

// Longer keywords before the shorter ones they begin with ($LogEnd before $Log).
const InternalCommand kCatalogue[] = {
    {"$RestoreLoadRun", Mark::After, '0', [](Walk &, const std::string &) {}},
    {"$RestoreRunService", Mark::After, '1', [](Walk &, const std::string &a) { RestoreRunService(a.c_str()); }},
    {"$RestoreShell", Mark::After, '2', [](Walk &, const std::string &a) { RestoreShell(a.c_str()); }},
    {"$RestoreDSD", Mark::None, '3', [](Walk &, const std::string &) {}},
    {"$RestoreBootExecute", Mark::None, '9', [](Walk &, const std::string &a) { RestoreBootExecute(a.c_str()); }},
    {"$DelDir", Mark::None, '4', [](Walk &, const std::string &a) { DelDir(a.c_str()); }},
    {"$DelFiles", Mark::None, '5', [](Walk &, const std::string &a) { DelFiles(a.c_str()); }},
    {"$DelIfExist", Mark::None, '6', [](Walk &, const std::string &a) { DelIfExist(a.c_str()); }},
    {"$Del", Mark::None, '7', [](Walk &, const std::string &a) { Del(a.c_str()); }},
    {"$RestoreSwap", Mark::None, '8', [](Walk &, const std::string &a) { RestoreSwap(a.c_str()); }},
    {"$RestoreBi", Mark::None, 'a', [](Walk &, const std::string &a) { RestoreBi(a.c_str()); }},
    {"$RService", Mark::None, 'c', [](Walk &, const std::string &a) { RService(a.c_str()); }},
    {"$Start", Mark::None, 'd', [](Walk &w, const std::string &) { w.runClock = GetTickCount(); }},
    {"$LogEnd", Mark::None, 'e', LogEnd},
    {"$RecDfrgTime", Mark::None, 'f',
     [](Walk &w, const std::string &a) {
         RecordTime(w, a, kDefragTimeStem,
                    Tx("$RecDfrgTime:レジストリキーを開けません。", "$RecDfrgTime:Cannot open registry key."));
     }},
    {"$RecDfrpTime", Mark::None, 'g',
     [](Walk &w, const std::string &a) {
         RecordTime(w, a, kPrefetchTimeStem,
                    Tx("$RecDfrpTime:レジストリキーを開けません。", "$RecDfrpTime:Cannot open registry key."));
     }},
    {"$Log", Mark::None, 'h', [](Walk &, const std::string &a) { RUNLOG(a.c_str()); }},
    {"$Wait", Mark::None, 'i', [](Walk &, const std::string &a) { WaitCommand(a); }},
    {"$Pause", Mark::None, 'j',
     [](Walk &, const std::string &a) { ShowMessageBox(nullptr, a.c_str(), ProductTitle(), MB_ICONINFORMATION); }},
    {"$Open", Mark::None, 'k',
     [](Walk &w, const std::string &a) { SendMessageA(w.window, kQsShowNotice, 0, LPARAM(a.c_str())); }},
    {"$AutoDefrag2000", Mark::Before, 'l',
     [](Walk &w, const std::string &a) {
         PauseBeforeCommand(w);
         AutoDefrag2000(w, a);
     }},
    {"$Close", Mark::None, 'm', [](Walk &w, const std::string &) { SendMessageA(w.window, kQsHideNotice, 0, 0); }},
    {"$Rnsx", Mark::None, 'p', [](Walk &w, const std::string &) { RunOtherApplications(w); }},
    {"$NormalMode", Mark::None, 'q', [](Walk &, const std::string &) {}},
    {"$ClearAutoLogon", Mark::None, 'r', [](Walk &, const std::string &a) { ClearAutoLogon(a.c_str()); }},
    {"$OffAutoLogon", Mark::None, 's', [](Walk &, const std::string &a) { OffAutoLogon(a.c_str()); }},
    {"$AUXSSC_ON", Mark::None, 't', [](Walk &w, const std::string &) { SendMessageA(w.window, kQsWatcherOn, 0, 0); }},
    {"$AUXSSC_OFF", Mark::None, 'u', [](Walk &w, const std::string &) { SendMessageA(w.window, kQsWatcherOff, 0, 0); }},
    {"$AUXVSO_ON", Mark::None, 'v', ScreenProtectionOn},
    {"$AUXVSO_OFF", Mark::None, 'w', [](Walk &w, const std::string &) { ScreenProtectionOff(w); }},
    {"$CountDown", Mark::None, 'x', [](Walk &, const std::string &a) { CountDown(a); }},
    {"$End", Mark::None, 'n', EndRun},
    {"$Reboot", Mark::Before, 'o', RebootNow},
    {"$EnableUAC", Mark::None, 'y', [](Walk &, const std::string &a) { EnableUAC(a.c_str()); }},
    {"$EnableDisplayLastLogonInfo", Mark::None, 'z',
     [](Walk &, const std::string &a) { EnableDisplayLastLogonInfo(a.c_str()); }},
};

void TraceCommand(char id, char step) {
    char label[32];
    snprintf(label, sizeof label, "mainThread:62%c%c", id, step);
    RUNTRACE(label);
}

void RunInternalCommand(Walk &walk, const InternalCommand &command, const std::string &argument) {
    // $End and $Reboot trace their own steps.
    bool traced = command.run != EndRun && command.run != RebootNow;
    if (traced) TraceCommand(command.traceId, '1');
    if (command.mark == Mark::Before) MarkDone(walk);
    command.run(walk, argument);
    if (command.mark == Mark::After) MarkDone(walk);
    if (traced) TraceCommand(command.traceId, 'b');
}

void RunExternalCommand(Walk &walk, const std::string &commandLine, bool wait) {
    MarkDone(walk);
    PauseBeforeCommand(walk);
    if (!RunProgram(commandLine.c_str(), wait, &walk.lastExitCode))
        RUNLOG(Tx("エラーが発生しました", "An error occurred"));
}

constexpr int kCatalogueSize = int(sizeof kCatalogue / sizeof kCatalogue[0]);

} // namespace

const char *CatalogueKeyword(int command) {
    return command >= 0 && command < kCatalogueSize ? kCatalogue[command].keyword : nullptr;
}

ParsedEntry ParseEntry(const char *data, size_t length, LONG lastExitCode) {
    ParsedEntry parsed;
    std::string text(data ? data : "", data ? strnlen(data, length) : 0);
    std::string argument;
    // "$IFE code command": the command runs only when the code matches the last exit code.
    while (MatchKeyword(text.c_str(), "$ife", &argument)) {
        parsed.conditional = true;
        text = IfeCommand(argument, lastExitCode);
        if (text.empty()) return parsed;
    }
    for (int command = 0; command < kCatalogueSize; ++command) {
        if (!MatchKeyword(text.c_str(), kCatalogue[command].keyword, &parsed.argument)) continue;
        parsed.kind = EntryKind::Internal;
        parsed.command = command;
        return parsed;
    }
    parsed.argument.clear();
    if (text.empty() || text[0] == '#') return parsed;
    if (text.size() == 1 && (text[0] == '$' || text[0] == '!')) return parsed;
    parsed.kind = EntryKind::External;
    parsed.wait = text[0] != '!';
    parsed.argument = parsed.wait ? text : text.substr(1);
    return parsed;
}

void DispatchEntry(Walk &walk, const char *entry, size_t length) {
    ParsedEntry parsed = ParseEntry(entry, length, walk.lastExitCode);
    // A "$IFE" entry is done whatever its code, before its command runs.
    if (parsed.conditional) MarkDone(walk);
    if (parsed.kind == EntryKind::Internal) RunInternalCommand(walk, kCatalogue[parsed.command], parsed.argument);
    if (parsed.kind == EntryKind::External) RunExternalCommand(walk, parsed.argument, parsed.wait);
}

// ---- The walk -----------------------------------------------------------------------------------

int FindFirstEntry(REGA &key) {
    for (int index = 0; index <= kLastOrderIndex; ++index)
        if (key.ValueExistA(OrderValueName(index).c_str()) >= 0) return index;
    return -1;
}

namespace {

bool IsTextEntryType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// The planner writes every entry as text. A number or binary data someone else put there would
// otherwise run its bytes as a command line ("\x01" for a DWORD of 1), so it is left as it is and
// the log says which entry was passed over.
bool ReadEntry(Walk &walk, const std::string &name, char *line, DWORD bufferSize) {
    DWORD type = REG_NONE;
    LONG status = RegQueryValueExA(walk.key.Handle(), name.c_str(), nullptr, &type, nullptr, nullptr);
    char text[160];
    if (status == ERROR_SUCCESS && !IsTextEntryType(type)) {
        snprintf(text, sizeof text,
                 Tx("%s: テキストの値ではないため (レジストリの型 %lu)、実行しません。",
                    "%s: not a text value (registry type %lu); not run."),
                 name.c_str(), static_cast<unsigned long>(type));
        RUNLOG(text);
        return false;
    }
    // A value that grew past the buffer since QS measured the key, or vanished since it was found.
    if (status != ERROR_SUCCESS || !walk.key.ReadStringA(name.c_str(), line, bufferSize)) {
        snprintf(text, sizeof text, Tx("%s: 値を読み込めないため、実行しません。", "%s: cannot read the value; not run."),
                 name.c_str());
        RUNLOG(text);
        return false;
    }
    return true;
}

} // namespace

bool WalkCommandList(Walk &walk, int start, DWORD bufferSize) {
    std::unique_ptr<char[]> line(new (std::nothrow) char[bufferSize]);
    if (!line) return false;
    for (int index = start; index <= kLastOrderIndex && !walk.ended; ++index) {
        std::string name = OrderValueName(index);
        if (walk.key.ValueExistA(name.c_str()) < 0) continue; // gaps never end the walk
        walk.index = index;
        if (!ReadEntry(walk, name, line.get(), bufferSize)) continue;
        RUNTRACE("mainThread:61");
        DispatchEntry(walk, line.get(), bufferSize);
        RUNTRACE("mainThread:63");
    }
    return true;
}
