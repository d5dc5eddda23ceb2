// What the modules of the run planner share: the options of a run, the tools that run programs,
// write command-list entries and report registry failures, and the steps each module provides.
#pragma once

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

// "Cannot open registry key.\r\n" + blank + location in an error box, and a log line.
void ReportRegistryError(const char *location);
constexpr const char *kSettingsLocation = "KV4";

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

// False when the user backs out: the run is given up before anything changed.
bool LogonPreTest(const PlannerOptions &options);
void CheckDiskNow(const PlannerOptions &options);
// True when BootExecute was saved, so "$RestoreBootExecute" leads the list.
bool ScheduleBootCheck(const PlannerOptions &options);

// ---- The planner (rnsrun.cpp) -------------------------------------------------------------------

bool PlanRinsaRun();
