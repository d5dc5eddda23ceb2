// What the Quiet Shell's modules share.
#pragma once

#include "rega.h"
#include "winhandle.h"

#include <windows.h>

#include <string>
#include <vector>

// The trace-log module name of every QS source file.
static const char kLogModule[] = "QS";

extern HINSTANCE g_instance;
extern unsigned short g_windowsVersion;

// ---- Start-up (QSstart.cpp) ---------------------------------------------------------------------

enum class StartMode { Normal, BlackScreen, Notice, EndBlackScreen };
struct StartSwitch {
    StartMode mode;
    std::string text; // /W: the notice, everything after the two characters
};
// Only the first two characters count, and only when the first is "/".
StartSwitch ParseStartSwitch(const char *commandLine);

enum class PathState { Complete, SystemMissing, WindowsMissing, BothMissing };
// Which of the two folders PATH lacks (whole elements, case ignored) and the PATH with them appended.
PathState CheckPath(const std::string &path, const std::string &windowsFolder, const std::string &systemFolder,
                    std::string *repaired);
// Makes sure the commands of the list find the Windows and System folders; logs what it saw.
void RepairPathEnvironment(const std::string &windowsFolder, const std::string &systemFolder);

// ---- The QS window (QSwindow.cpp) ---------------------------------------------------------------

struct Walk;

// What the worker (and the start modes) ask of the QS window, always through SendMessage.
constexpr UINT kQsShowNotice = WM_APP + 0; // lParam: the text
constexpr UINT kQsHideNotice = WM_APP + 1;
constexpr UINT kQsWatcherOn = WM_APP + 2; // the ScanDisk "10 times" watcher
constexpr UINT kQsWatcherOff = WM_APP + 3;
constexpr UINT kQsBlackScreenOn = WM_APP + 4;
constexpr UINT kQsBlackScreenOff = WM_APP + 5;
constexpr UINT kQsLiftBlackScreen = WM_APP + 6;
constexpr UINT kQsOpenNotice = WM_APP + 7; // the modeless timed notice with the prepared text

bool RegisterQsWindowClass(HINSTANCE instance);
// Hidden, topmost, 400 x 100 in the middle of the screen.
HWND CreateQsWindow(HINSTANCE instance, unsigned short windowsVersion);

// The timed notice dialog: closes itself after the time-out.
struct NoticeParams {
    std::string text;
    bool closeDisabled;
    UINT timeout; // milliseconds
    bool modeless;
};
// The open timed notice, whose keys the message loop routes; null when none is open.
extern HWND g_currentNotice;
// Modal, on the calling (worker) thread.
void ShowTimedNotice(const std::string &text, bool closeDisabled, UINT timeout);
// Modeless, owned by the QS window, closable, 50 seconds.
void ShowModelessNotice(HWND window, const std::string &text);
void OpenModelessNotice(HWND window);

// Whether a window text is the ScanDisk question "restarted 10 times" (English or Japanese).
bool IsScanDiskQuestion(const char *text);
// Answers No to every such question on the screen.
void WatchScanDisk();

// $AUXVSO_ON: the monitor powers down after 8 s, or (argument "2", safe mode, or failure) the black
// screen covers it. $AUXVSO_OFF undoes whichever it was.
void ScreenProtectionOn(Walk &walk, const std::string &argument);
void ScreenProtectionOff(Walk &walk);

// ---- Command list walk (QSwalk.cpp) -------------------------------------------------------------

// What the walk of one QS process carries from entry to entry; owned by mainThread.
struct Walk {
    REGA key;              // the settings key, open with full access while the list is walked
    HWND window = nullptr; // the QS window
    int index = -1;        // the entry being carried out
    DWORD runClock = 0;    // GetTickCount at the start, or at the last $Start
    DWORD pause = 0;       // the settings value `wait`: milliseconds before each external command
    LONG lastExitCode = 0; // what $IFE entries compare with
    bool wallpaperShunted = false;
    bool saverShunted = false;
    bool ended = false; // $End or $Reboot ended the walk
    // Screen protection by powering the monitor down, and the settings it replaced.
    bool monitorPowerOff = false;
    BOOL savedPowerOffActive = 0;
    int savedPowerOffTimeout = 600;
};

// The worker thread: shunts wallpaper and screen saver, walks the list, ends the run.
unsigned __stdcall mainThread(void *window);
// Starts a worker (mainThread, or a test's) with the QS window as its argument; an empty handle
// when the thread cannot be started.
using WorkerEntry = unsigned(__stdcall *)(void *window);
UniqueHandle StartWorker(WorkerEntry entry, HWND window);

// A wait in milliseconds kept between 0 and a day (kLongestWait). A value outside is logged once,
// naming where it came from ("$Wait", "wait"), and the nearest end of the range is used instead.
constexpr LONG kLongestWait = 24 * 60 * 60 * 1000;
DWORD ClampedWait(const char *source, LONG ms);

// Marks the current entry done (an empty text) and flushes HKLM so the mark survives a power cut.
void MarkDone(Walk &walk);
// The first existing entry (done or not) from order0 on, or -1 when there is no list.
int FindFirstEntry(REGA &key);
// Visits the entries from start up to the last index; ends early after $End or $Reboot. False
// when there is no memory for the line buffer.
bool WalkCommandList(Walk &walk, int start, DWORD bufferSize);
// Carries out one entry: its data of length bytes (registry data need not end in a zero).
void DispatchEntry(Walk &walk, const char *entry, size_t length);

// ---- Defragmenter console and Other Applications (QSdefrag.cpp, ferunx.cpp) --------------------

// $AutoDefrag2000: drives the defragmenter's console for the drives in the argument.
void AutoDefrag2000(Walk &walk, const std::string &argument);
// The same with its result: true when the console ran and was watched to its end, false when the
// automation gave up. qsWindow opens the modeless Diskeeper warning (null: no warning).
bool DriveDefragConsole(HWND qsWindow, const std::string &argument);

// The waits of the console automation (sleeps and notice time-outs; the round counts stay) are
// multiplied by the factor in the environment variable QS_TIME_SCALE, read once per process. Only
// the tests set it, so that "about a minute" takes a moment. Missing, unreadable, zero, negative
// or above 1: the factor is 1.
double ParseTimeScale(const char *text);
// A wait of ms scaled; a wait that was not zero stays at least 1 ms.
DWORD ScaledWait(DWORD ms, double scale);

// What the automation decides from the console's windows.
constexpr int kConsoleTitleLimit = 28; // characters of the console title that are read
enum class ConsoleDialog { None = 0, Completed = 1, LowSpace = 2, Other = 3 };
// The console title as read: "Disk Defragmenter", its Japanese twin (both exact), or any title
// whose first 9 characters are "Diskeeper". Only the first kConsoleTitleLimit characters count.
bool IsConsoleTitle(const char *title);
// A dialog title that is a completion caption: the English ones in any case, the Japanese exact.
bool IsCompletionCaption(const char *title);
// A child text that begins with a completion caption, case and bytes exact ("... Complete\n...").
bool BeginsWithCompletionCaption(const char *text);
// One dialog of the console from its title and its child windows' texts.
ConsoleDialog ClassifyConsoleDialog(const std::string &title, const std::vector<std::string> &childTexts);
// "MMC.EXE <console file> <argument>"; an empty console file is the setting's default.
std::string ConsoleCommandLine(const std::string &mscPath, const std::string &argument);
// Diskeeper's marker child and the title of its Lite edition's advertisement (any case).
bool IsDiskeeperMarker(const char *text);
bool IsDiskeeperAdvertTitle(const char *title);

// The window side of those decisions.
std::string ReadConsoleTitle(HWND console);
// The first dialog (class #32770) among the top-level windows of the console's thread.
struct ConsoleDialogSeen {
    ConsoleDialog kind;
    HWND dialog;
};
ConsoleDialogSeen FindConsoleDialog(DWORD consoleThread);
bool HasDiskeeperMarker(HWND console);
// $Rnsx: lifts the black screen and lets the user run programs by hand.
void RunOtherApplications(Walk &walk);

// What the Other Applications dialog hands to ShellExecute for one command line.
struct RunCommand {
    std::string file;
    std::string parameters; // empty: none
    std::string folder;     // the working folder; empty when the file names none
};
// "  \"C:\My Tools\a.exe\" -x" -> file C:\My Tools\a.exe, parameters -x, folder C:\My Tools. An
// unclosed quote makes the rest the file; an unquoted file ends at the first blank or tab.
RunCommand SplitRunCommand(const char *commandLine);
constexpr size_t kRunHistorySize = 10;
// Puts a command run at the top of the history (newest first, at most kRunHistorySize). A command
// equal to the newest entry (case counts) changes nothing; false then.
bool PushRunHistory(std::vector<std::string> &history, const std::string &command);
// F0, F1, ... up to the first missing one.
std::vector<std::string> ReadRunHistory(REGA &key);
// Stores a command run: tyFerun1 always, the history when PushRunHistory changed it. False when
// the settings key cannot be opened for writing (history then unchanged).
bool RecordRunCommand(const std::string &command, std::vector<std::string> &history);
// The command field after a file was dropped on the dialog: a blank, then the path, quoted when
// it holds a blank.
std::string AppendDroppedFile(const std::string &field, const char *path);

// ---- End of run and waiting (QSmain.cpp, QSwindow.cpp) ------------------------------------------

// How long the window thread waits for the worker once its message loop has ended. The worker has
// only its last trace line to write then; one that takes longer is hung and must not keep QS alive.
constexpr DWORD kWorkerEndTimeout = 30000;
// The window thread's message loop up to the quit message, then the wait for the worker (null:
// none), so that the worker has ended before WinMain returns and the process tears down what the
// worker uses (the run log's globals). A worker still running after timeout ms is logged and left
// behind. Returns the quit code.
int RunMessageLoop(HANDLE worker, DWORD timeout);

// Power actions go through this pointer so that tests can watch them instead of ending Wine.
extern BOOL(WINAPI *g_exitWindowsEx)(UINT flags, DWORD reason);
// $End: screen saver and wallpaper back, entries up to this one deleted, then the end action.
void EndRun(Walk &walk, const std::string &argument);
// $Reboot: restart now; the next QS resumes after this entry.
void RebootNow(Walk &walk, const std::string &argument);
// The recovery questions for a QS started without a command list.
void errmes();

struct CountDownArgs {
    LONG seconds;
    std::string verb;
};
// "20,reboot" -> 20 and "reboot"; no digits -> 20 and the whole text; no verb -> "continue".
CountDownArgs ParseCountDown(const std::string &argument);
// $CountDown: the Wait dialog, modal, counting down.
void CountDown(const std::string &argument);

// ---- Keyword matching and dispatch (QSwalk.cpp) -------------------------------------------------

constexpr size_t kMaxArgument = 519;
// True when text begins with keyword (any case); argument gets the text after the keyword and one
// separator character, at most kMaxArgument characters.
bool MatchKeyword(const char *text, const char *keyword, std::string *argument);
// The command line of a "$IFE code command" entry when code equals lastExitCode, else empty.
std::string IfeCommand(const std::string &argument, LONG lastExitCode);

// What one entry of the command list asks for, decided from its data alone.
enum class EntryKind { Skip, Internal, External };
struct ParsedEntry {
    EntryKind kind = EntryKind::Skip;
    bool conditional = false; // a "$IFE" was taken: the entry is done whatever follows
    int command = -1;         // Internal: the keyword's place in the catalogue
    std::string argument;     // Internal: the argument; External: the command line without its "!"
    bool wait = true;         // External: false when the line began with "!"
};
// The entry's text is its data up to the first zero within length. Empty entries, comments ("#"),
// a lone "$" or "!", and "$IFE" entries whose code does not match are skipped.
ParsedEntry ParseEntry(const char *data, size_t length, LONG lastExitCode);
// The keyword of a catalogue place (null outside the catalogue).
const char *CatalogueKeyword(int command);

// ---- Command execution (QSrun.cpp) --------------------------------------------------------------

// Starts a command line (directly, then behind "CMD.EXE /C ", then "CMD.EXE /C START "), waits for
// it when asked, and records its exit code in lastExitCode. False when nothing could be started.
bool RunProgram(const char *commandLine, bool wait, LONG *lastExitCode);

// ---- Restore and delete commands (QSrestore.cpp) ------------------------------------------------
// Each logs its outcome and never stops the walk; each is harmless when run a second time.

void RestoreShell(const char *argument);
void RestoreBootExecute(const char *argument);
void RestoreSwap(const char *argument);
void RestoreBi(const char *argument);
void RService(const char *argument);
void RestoreRunService(const char *argument);
void ClearAutoLogon(const char *argument);
void OffAutoLogon(const char *argument);
void EnableUAC(const char *argument);
void EnableDisplayLastLogonInfo(const char *argument);
void DelDir(const char *argument);
void DelFiles(const char *argument);
void DelIfExist(const char *argument);
void Del(const char *argument);

// Bytes a value of this type needs so that its text ends in its terminator (two zeros for a
// multi-string); other types keep their size. The data itself is never read past size.
DWORD TerminatedDataLength(DWORD type, const BYTE *data, DWORD size);
// File-name wildcards ("*", "?"; "x.*" also takes "x"), both sides already in one letter case.
bool WildcardMatch(const std::string &pattern, const std::string &name);

// The guard of $DelDir and $DelFiles: folders whose contents must never be swept away (the Windows
// and System folders, the Program Files folders, the profile root and every profile). Paths are
// compared without case, with "/" read as "\", "." and ".." resolved and trailing backslashes,
// dots and blanks ignored. A folder is refused when it is a root, or is or holds a protected one.
bool IsProtectedFolder(const std::string &folder, const std::vector<std::string> &protectedFolders);
// A pattern is refused when it names a root, sweeps a protected folder ("*.*", "*"), or its name
// matches a protected folder (or the folder holding one) in its folder. "C:\Windows\*.log" passes.
bool IsProtectedPattern(const std::string &pattern, const std::vector<std::string> &protectedFolders);
// The protected folders of this system, each in its written, absolute, long and short forms.
std::vector<std::string> GatherProtectedFolders();
// The two decisions for the real system: relative paths, short names and junctions resolved.
bool DelDirRefuses(const char *folder);
bool DelFilesRefuses(const char *pattern);

// What $DelDir and $DelFiles delete. The pattern's last name is matched against the long names of
// its folder (FindFirstFile, and the shell with it, would also match 8.3 aliases: "*.pnf" takes
// "setup.pnfx" as SETU~1.PNF). Junctions and symbolic links are removed as links: the shell would
// delete what they point to. A folder with a link somewhere inside is taken apart here, so that
// the shell only ever gets files and link-free folders.
struct FolderEntry {
    std::wstring name;  // the long name
    std::wstring alias; // the 8.3 alias, empty when there is none
    DWORD attributes;
};
// Lists a folder (given with its backslash, or empty for the current one) without "." and "..";
// false when it cannot be read.
using FolderLister = bool (*)(const std::wstring &folder, std::vector<FolderEntry> &entries);
bool ListFolderEntries(const std::wstring &folder, std::vector<FolderEntry> &entries);
struct DeletionLink {
    std::string path;
    bool folder; // a junction or folder link (RemoveDirectory), else a file link (DeleteFile)
};
struct DeletionPlan {
    bool found = false;                  // the pattern matched anything at all
    bool complete = true;                // false: a match is left out, as it cannot be read or named
    std::vector<std::string> shellPaths; // files and link-free folders: one shell operation
    std::vector<DeletionLink> links;     // removed as links, before the shell operation
    std::vector<std::string> folders;    // taken apart for a link inside; removed last, deepest first
};
// Paths are the pattern's folder as written plus names as the ANSI code page spells them: the long
// name, or the 8.3 alias when the long name does not survive the code page.
DeletionPlan PlanDeletion(const char *pattern, FolderLister list);
