// What the modules of the run planner share: the options of a run, the tools that run programs,
// write command-list entries and report registry failures, and the steps each module provides.
#pragma once

#include "rega.h"
#include "settings.h"

#include <windows.h>

#include <string>
#include <vector>

// ---- Process state the start-up sets before a run -----------------------------------------------

extern HWND g_mainWindow;         // owner of the planner's dialogs; hidden and destroyed by the planner
extern bool g_autoMode;           // /A, /S, /R or /L: no optional questions
extern HANDLE g_instanceMutex;    // the "korvane" mutex, released before QS is started directly
extern std::string g_versionText; // the first field of the run's start line

// ---- The options of one run (rnsrun.cpp reads them) ---------------------------------------------

struct PlannerOptions {
    // Clean-up
    bool delTemp = false, delWinTemp = false, delTrash = false;
    bool delInternetCache = false, delCookies = false, delHistory = false, delRecent = false, delRecentOffice = false,
         delInfPnf = false;
    bool sweepThumbs = false, sweepGid = false, sweepAlbumArt = false, sweepBak = false, sweepEtl = false;
    bool cleanmgr = false;
    // Start and end
    LONG endAction = 0; // NotAutoPowerOff: 0 shut down, 1 restart, 2 suspend, 3 hibernate afterwards
    bool powerOff = false;
    bool noPagingFile = false;
    LONG offAutoLogon = 0;
    bool bootini = false;
    LONG screenOff = 0; // aux_vso.exe: 0, 1, 2
    bool restorePoint = false;
    // Before/after commands; texts are empty when their option is off
    std::string beforeCommands, rebootCommand, readyCommands, afterCommands, shutdownCommand;
    LONG beforeSleep = 0;        // countdown seconds before the changes (0: none)
    bool afterCountdown = false; // 20-second countdown before the end action
    LONG startCountdown = 0;     // countdown seconds at the start of the list (0: none)
    // Defragmentation
    LONG extraPasses = 0; // Double
    bool prefetch = false, mmcDefrag = false, finalMmc = false, resultOut = false, consoleDetail = false,
         vistaW = false;
    bool customDefrag = false, defragMulti = false;
    std::string defragCommand;
    // Check disk
    bool surfaceScan = false, customCheck = false, checkMulti = false, checkBefore = false;
    std::string checkCommand;
    // What and how
    int runMethod = 2; // 0 RunOnce, 1 RunOnce after a failed UAC change, 2 shell, 3 shell in safe mode, 4 now
    LONG selected = 0; // 0 defragment, 1 check disk, 2 both, 3 other programs
    DWORD drives = 0;  // as stored; 0 means every fixed drive
    bool notNetSafe = false;
    std::string stopServices;  // names, each followed by BEL
    std::string otherCommands; // LastCmdLine, when it was read
    bool otherCommandsRead = false;
};

// ---- Tools (korvtool.cpp) -----------------------------------------------------------------------

// The exit code of the last program RunCommandLine waited for.
extern DWORD g_lastExitCode;
// Runs a command line: "!" first means do not wait, then "@" means quiet (logged in trace mode only).
bool RunCommandLine(const char *commandLine);

// Writes the next command-list entry (environment references expanded); null resets the counter.
void AppendCommand(const char *text);
inline void AppendCommand(const std::string &text) {
    AppendCommand(text.c_str());
}
// How many entries were written since the reset.
int CommandCount();
// Deletes the entries of an older, longer list beyond the one just written.
void DeleteStaleCommands();
// The stored list in the order QS walks it, done entries (empty) included.
std::vector<std::string> ReadCommandList();

// "Cannot open registry key.\r\n" + blank + location in an error box, and a log line that names
// the module which failed (its trace field).
void ReportRegistryError(const char *location, const char *module = "korvtool");
constexpr const char *kSettingsLocation = "KV4";
// The settings key for writing; the registry error report (with module's name) when it cannot be
// opened.
bool OpenSettingsForWriting(REGA &key, const char *module = "korvtool");

// A registry value exactly as stored, for the values the planner saves and puts back byte for byte.
struct RegistryValue {
    bool exists = false;
    DWORD type = REG_NONE;
    std::string bytes;
};
RegistryValue ReadRegistryValue(REGA &key, const char *name);
bool WriteRegistryValue(REGA &key, const char *name, const RegistryValue &value);

// Short (8.3) paths of the programs beside KORVANE.EXE; empty when the file is not there.
const std::string &QsShortPath();
const std::string &KorvlogShortPath();
// The folder of KORVANE.EXE, with its backslash.
const std::string &ProgramFolder();

// A timed step: LogStepStart remembers the time; LogStepEnd logs text + "(h:mm:ss.mmm)".
void LogStepStart(const char *module, unsigned line, const char *text);
void LogStepEnd(const char *module, unsigned line, const char *text);

// The lines of a multi-line command text: split at CR or LF, leading blanks, tabs, CRs and LFs
// skipped, no empty lines.
std::vector<std::string> CommandLines(const std::string &text);
// The pieces of a text between its separators; a separator at the very end ends the last piece.
std::vector<std::string> SplitText(const std::string &text, char separator);

// ---- Drives (repdrive.cpp) ----------------------------------------------------------------------

// Every "%s" of the template replaced by "X:" per drive, or by all drives at once ("C: D: E:").
std::vector<std::string> ExpandPerDrive(const std::string &templ, bool allInOne, DWORD mask);
// The same, each result appended as an entry, or logged and run at once (run-now mode).
void AppendPerDrive(const std::string &templ, bool allInOne, DWORD mask);
void RunPerDrive(const std::string &templ, bool allInOne, DWORD mask);

// ---- System changes (rnschange.cpp), in the order the list needs them ---------------------------

// Each performs its change and appends its restore entries with AppendCommand.
void DisableUac(PlannerOptions &options); // a failure moves the run method to 1
void StopServices(const PlannerOptions &options);
void InstallQuietShell(const PlannerOptions &options);
void DisablePagingFile(const PlannerOptions &options);
void PrepareBootIni(PlannerOptions &options); // may move run method 3 to 2
void SetAutomaticLogon(const PlannerOptions &options);
void SetPowerAfterRun(const PlannerOptions &options); // suspend or hibernate afterwards

// ---- Check disk before the restart (rnscheck.cpp) -----------------------------------------------

// False when the user backs out: the run is given up before anything changed. When the automatic
// logon page was shown, options.offAutoLogon is what the page stored.
bool LogonPreTest(PlannerOptions &options);
void CheckDiskNow(const PlannerOptions &options);
// True when BootExecute was saved, so "$RestoreBootExecute" leads the list.
bool ScheduleBootCheck(const PlannerOptions &options);

// ---- The planner (rnsrun.cpp) -------------------------------------------------------------------

bool PlanRinsaRun();
// True while PlanRinsaRun works (its dialogs and boxes let other messages through meanwhile); read
// by the main window, which must not close under the planner. Safe to call from any thread.
bool RunBeingPlanned();

// ---- The planner's decisions as plain functions (rnsrun.cpp) ------------------------------------
// Everything here is computed from its arguments alone (the registry only where named), so each
// rule can be checked without a window, a restart or a changed system.

// Reads the option record from the open settings key. Once flags stored as 2 are consumed; a set
// DelTrash empties the Recycle Bin at once. customDefrag and customCheck are on only with a text.
PlannerOptions ReadPlannerOptions(REGA &key, unsigned short windowsVersion);
// How as the planner uses it: 1 becomes 0; above 600, 3 becomes 2; above 603, 0 becomes 2.
int NormaliseRunMethod(LONG how, unsigned short windowsVersion);
// Whether CreateRestorePoint as stored asks for a restore point on this Windows.
bool RestorePointWanted(LONG stored, unsigned short windowsVersion);

// The power line of the run log, "[Power Status] ACLineStatus:...".
std::string FormatPowerStatus(const SYSTEM_POWER_STATUS &status);
// The start line of a run, "--- Rinsa running is started. - ...(...)".
std::string FormatStartLine(const PlannerOptions &options, const char *versionText, unsigned short windowsVersion);

// The log's last lines to keep. False when the text holds fewer than keep lines (the log stays as
// it is); otherwise kept is the last keep lines, oldest first, each ended by CR LF.
constexpr size_t kLogLinesKept = 300;
bool TrimLogText(const std::string &text, std::string *kept, size_t keep = kLogLinesKept);
// Trims KORVANE.LOG; the kept lines replace the log in one step, so a crash keeps the history.
void TrimRunLog();

// One second of the countdown: true when the dialog ends (the count was already 0).
bool CountdownTick(LONG *remaining);
// The countdown before the changes; false when the user cancelled it.
bool ShowCountdown(HWND owner, LONG seconds);

// "CLEANMGR.EXE /D X:" for each drive of a resolved mask, in letter order.
std::vector<std::string> DiskCleanupCommands(DWORD drives);

// The check-disk path of a run: check disk now or at boot before the list is written.
bool TakesCheckDiskPath(const PlannerOptions &options);
bool ChecksDiskNow(const PlannerOptions &options);

// What the clean-up entries are made of, looked up once before the list is written.
struct CleanupEnvironment {
    bool tmpSet = false, tempSet = false, windirSet = false, userProfileSet = false;
    std::string tmp, temp;                       // expanded
    std::string cache, cookies, history, recent; // shell folders of the user
};
struct CleanupPlan {
    std::vector<std::string> entries;
    std::vector<std::string> errors; // shown and logged by the caller
};
CleanupEnvironment ReadCleanupEnvironment();
CleanupPlan CleanupEntries(const PlannerOptions &options, const CleanupEnvironment &environment);

// What the entries of the list depend on besides the options.
struct ListContext {
    unsigned short windowsVersion = 0;
    DWORD drives = 0;       // resolved: a stored 0 already replaced by the fixed drives
    std::string korvlog;    // short path of KORVLOG.EXE
    std::string resultFile; // KORV4RES.TXT on the desktop
};

// The eight result lines of the XP defragmenter; none from Windows Vista on.
std::vector<std::string> IfeLines(unsigned short windowsVersion);
// "$CountDown %d,starting", when the list starts with a countdown.
std::vector<std::string> StartCountdownEntries(const PlannerOptions &options);
// The defragmentation of the drives, with the result file before and after when chosen.
std::vector<std::string> DefragEntries(const PlannerOptions &options, const ListContext &context);
// From the screen-off helper to its end: ready commands, custom check disk, the work, after commands.
std::vector<std::string> WorkEntries(const PlannerOptions &options, const ListContext &context);
// The last entries: restart, shut down, the shutdown command, or only the end of the list.
std::vector<std::string> EndEntries(const PlannerOptions &options);
// At most how many entries follow the clean-up: boot files, the work, automatic logon, the power
// action and the end.
int TailEntryCount(const PlannerOptions &options, const ListContext &context);

// The restore entries of an earlier list that QS has not finished. A run planned before then finds
// the earlier run's changes in place and takes them for the way things were, so it queues their
// restore entries again, at the head of its list: first those of the system changes, then the
// automatic logon ones.
// The entry that switches the screen saver on again, queued while check disk runs before the
// restart with the saver off: QS (after a planner killed there) or the next run's carried list
// puts the saver back. A finished check switches it on itself, and the list replaces the entry.
constexpr const char *kScreenSaverRestore =
    "@REG.EXE ADD \"HKCU\\Control Panel\\desktop\" /v ScreenSaveActive /t REG_SZ /d 1 /f";
struct CarriedRestores {
    std::vector<std::string> first, last;
};
CarriedRestores RestoresToCarry(const std::vector<std::string> &earlierList);
// Starts the list anew with the carried entries, before the run changes anything: a planner
// killed at any later point leaves them in the list (logged says whether to log each one).
void WriteCarriedHead(const CarriedRestores &carried, bool logged);

// The hand-over goes through these, so tests can watch it without a restart.
using ExitWindowsFunction = BOOL(WINAPI *)(UINT flags, DWORD reason);
using ShellExecuteFunction = HINSTANCE(WINAPI *)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);
extern ExitWindowsFunction g_plannerExitWindows;
extern ShellExecuteFunction g_plannerShellExecute;
// Writes the whole command list (from the reset to the last entry, stale entries removed), with
// the restore entries carried from an earlier list that this list does not hold already.
void WriteCommandList(PlannerOptions &options, bool bootExecuteSaved, const CarriedRestores &carried = {});
// Restarts, shuts down or starts QS directly, by the run method.
void HandOver(const PlannerOptions &options);

// ---- The file sweep (rnssweep.cpp) --------------------------------------------------------------

struct FolderItem {
    std::wstring name; // the long name
    DWORD attributes;
};
// Lists a folder (given with its backslash) without "." and ".."; false when it cannot be read.
using FolderLister = bool (*)(const std::wstring &folder, std::vector<FolderItem> &items, void *context);
struct SweepCallbacks {
    FolderLister list;
    void (*enterFolder)(const std::wstring &folder, void *context); // may be null
    void (*found)(const std::wstring &path, void *context);
    bool (*stopped)(void *context); // may be null
    void *context;
};
// The patterns of the chosen kinds, in the order they are looked for.
std::vector<std::wstring> SweepPatterns(const PlannerOptions &options);
// Walks the tree below root ("X:\"), listing each folder once: the files matching the patterns in
// pattern order, then the subfolders depth first; reparse points are not entered.
void SweepTree(const std::wstring &root, const std::vector<std::wstring> &patterns, const SweepCallbacks &callbacks);
// The real folder lister, and the one the sweep dialog uses (tests give their own).
bool ListFolder(const std::wstring &folder, std::vector<FolderItem> &items, void *context);
extern FolderLister g_sweepLister;
// The path as the command list can hold it; false when the ANSI code page cannot spell it or an
// environment reference in it would turn it into another path.
bool CommandListPath(const std::wstring &path, std::string *ansi);
// QS walks the list up to this index and no further; tests lower it to fill a list with a small tree.
extern int g_lastOrderIndex;
// Entries kept free behind the sweep on top of those the rest of the list is known to need.
constexpr int kListMargin = 64;
// How many "$Del " entries the sweep may add when written entries exist and tail more must follow.
int SweepRoom(int written, int tail);
// The sweep dialog over every fixed drive; appends a "$Del " entry per file found, up to room
// entries. When the room is used up the search stops, says so in the dialog and the run log, and
// the rest of the files stay where they are.
void RunFileSweep(const PlannerOptions &options, int room = kLastOrderIndex + 1);
