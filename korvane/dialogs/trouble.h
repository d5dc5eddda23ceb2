// trouble: the repairs of "Trouble solutions" and the Windows tools of the Tools menu. What can be
// decided without a window (the files to look for, the names in StoppedSrv, the BootExecute edit,
// the boot-file moves) is a plain function here, so each can be checked on its own.
#pragma once

#include "planner/rnscheck.h" // kSessionManagerPath
#include "planner/rnsrun.h"

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <string_view>
#include <vector>

// ---- Files the dialog looks for -------------------------------------------------------------------

// The icon cache's possible places, environment references not yet expanded, in the order they
// are tried: two on Windows XP and earlier, one from Windows Vista on.
std::vector<std::string> IconCacheCandidates(unsigned short windowsVersion);
// The path with its environment references expanded; empty when it cannot be expanded.
std::string ExpandedPath(const char *path);
// The first of the paths (expanded) that is a file; empty when none is.
std::string FirstExistingFile(const std::vector<std::string> &paths);
// "%windir%\system32\fntcache.dat", expanded.
std::string FontCachePath();
// "%windir%\Prefetch", expanded.
std::string PrefetchFolder();
// Whether a folder holds at least one file (folders inside it do not count).
bool FolderHoldsFiles(const std::string &folder);

// ---- Services ---------------------------------------------------------------------------------------

// The services of StoppedSrv: each name ended by BEL; text after the last BEL is ignored, and so
// are empty names and names with a backslash, which would open another key than a service's.
std::vector<std::string> StoppedServiceNames(const std::string &stored);
// Puts the services back to automatic start: Start = 2 only where it is still the 4 a run wrote,
// so that a start type the user chose since then stays. The names of the services changed.
std::vector<std::string> RestoreServiceStarts(const std::vector<std::string> &names);

// ---- BootExecute ------------------------------------------------------------------------------------

constexpr const char *kBootExecute = "BootExecute";
// The standard entry: check disk at boot where Windows asks for it.
constexpr const char *kStandardAutochk = "autocheck autochk *";

// The strings of a multi-string value as stored: each ended by a zero byte, an empty string ends
// the list, and a last string without its zero counts too. Two zero bytes hold no string at all.
std::vector<std::string> MultiStrings(std::string_view bytes);
// The bytes of a multi-string: each string with its zero, then one more zero.
std::string MultiStringBytes(const std::vector<std::string> &strings);
// Whether an entry runs the boot-time check disk ("autocheck autochk" and its arguments, any case).
bool IsAutochkEntry(const std::string &entry);
// Whether BootExecute as stored runs the boot-time check disk.
bool AutochkScheduled(std::string_view bytes);
// Enable: the standard entry first, the other programs' entries kept after it.
std::vector<std::string> WithStandardAutochk(const std::vector<std::string> &entries);
// Disable: every check-disk entry removed, the other programs' entries kept.
std::vector<std::string> WithoutAutochk(const std::vector<std::string> &entries);

// ---- Boot files ---------------------------------------------------------------------------------

enum class BootIniReturn { NoSavedFile, Restored, Failed };
// Puts BOOT.RN_ (the file of normal operation) back as BOOT.INI in folder (with its backslash).
// Without BOOT.RN_ nothing is touched. BOOT.INI first moves aside to BOOT.S__ (replacing a left-over
// one); when it cannot, BOOT.RN_ replaces it in one step, so there is never a moment without a
// BOOT.INI. The restored file gets its system and hidden attributes back.
BootIniReturn ReturnBootIniFromSafeMode(const std::string &folder);

// ---- What the repairs call, replaceable by tests --------------------------------------------------

using FileOperationFunction = int(WINAPI *)(LPSHFILEOPSTRUCTA);
extern FileOperationFunction g_troubleFileOperation;
extern ExitWindowsFunction g_troubleExitWindows;

// Deletes the files (only files) matching a pattern with the shell's file operation, no question,
// the product title on the progress; false when it failed or was aborted.
bool DeleteFilesOnly(HWND owner, const std::string &pattern);
// "Press [OK] to reboot Windows.", the shutdown privilege and the restart; false (and said) when
// Windows refused the restart.
bool RebootAfterRepair(HWND owner);

// ---- The dialog and the Tools menu ------------------------------------------------------------

// "Trouble solutions" (138 / 154). When a repair restarted Windows, the main window is destroyed
// afterwards and true is returned.
bool ShowTroubleDialog(HWND owner);
// The System Restore program: the System folder's RSTRUI.EXE from Windows Vista on, before that
// the one in its RESTORE folder.
std::string SystemRestoreProgram(unsigned short windowsVersion, const char *systemFolder);
// The commands of the Tools menu that belong here (the trouble dialog, the backup tools, System
// Restore, a restore point); false for any other id.
bool RunSystemTool(HWND panel, int id);
