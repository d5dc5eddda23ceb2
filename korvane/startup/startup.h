// What the start-up of KORVANE.EXE decides and does before the main window exists, one file per
// concern: the switches of the command line (cmdline), the version resource, the seal and the drive
// of the program file (selfcheck), the registry write test (regtest), the settings upkeep
// (upkeep), the questions of the start (questions), the power action after a run (power) and the
// scheduler replacement (schedswap); korvane.cpp walks them in their order. Everything that can be
// decided without a window is a plain function here, so each rule is tested on its own.
#pragma once

#include "dialogs/update.h"
#include "korvane_version.h"

#include "language.h"
#include "rega.h"

#include <windows.h>

#include <array>
#include <string>

// The start-up's pieces log as the module they make up, the configurator's start.
constexpr char kLogModule[] = "korvane";

// ASCII-only comparisons: switch letters and version words are ASCII, and a locale-aware compare
// could take a double-byte character's trail byte for a letter.
inline char UpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}
inline bool EqualNoCase(const char *a, const char *b) {
    while (*a && UpperAscii(*a) == UpperAscii(*b)) {
        ++a;
        ++b;
    }
    return UpperAscii(*a) == UpperAscii(*b);
}
inline bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// ---- Command line -------------------------------------------------------------------------------

enum class StartSwitch {
    None,        // no switch, or one we do not know: start normally
    Help,        // /?
    Japanese,    // /J
    English,     // /N
    Auto,        // /A, digit 0-3 or none
    Ready,       // /E<command line>
    ReadyAndRun, // /S<command line>
    TextFile,    // /L<text file>
    RegFile,     // /R<reg file>
    Power,       // /H0 (digit 0) or /H1 (digit 1)
    Scheduler,   // /I
    Preview,     // /P: the run preview alone
};

struct ParsedSwitch {
    StartSwitch kind = StartSwitch::None;
    int digit = -1;       // /A's run kind or /H's power order; -1 when there is none
    std::string argument; // the rest of the line after the letter (/E, /S, /L, /R)
};

// Only the first two characters count (after leading blanks); the letter in either case.
ParsedSwitch ParseStartSwitch(const char *commandLine);
// The English usage text of /?.
const char *UsageText();
// The file name of /L: blanks around it and the double quotes around those removed.
std::string CommandFileName(const std::string &argument);
// "REGEDIT.EXE /S %s" with the file in double quotes, unless it already begins with one.
std::string RegeditCommandLine(const std::string &regFile);

// ---- Version resource ---------------------------------------------------------------------------

struct VersionStrings {
    std::string fileVersion, fileDescription, specialBuild, privateBuild, legalCopyright;
};
// The strings of block "041104b0" of a file's version resource; false when it has none.
bool ReadVersionStrings(const char *modulePath, VersionStrings *strings);
// 2 beta, 1 preview, 0 release, by the SpecialBuild string.
int BuildTypeOf(const char *specialBuild);
// a*10000 + b*1000 + c*100 + d of "a.b.c.d"; missing fields count 0, 0 for no number at all.
DWORD VersionNumberOf(const char *fileVersion);

// ---- Self-check of the EXE ----------------------------------------------------------------------
// The build seals KORVANE.EXE with a trailer: kSealMagic and the SHA-256 of every byte before the
// trailer. Windows' loader ignores bytes after the last section, so the sealed file runs and loads
// as a data file as before.

constexpr char kSealMagic[] = "TWSEAL:SHA256:v1"; // 16 bytes, without the terminator
constexpr size_t kSealMagicSize = sizeof kSealMagic - 1;
constexpr size_t kSealDigestSize = 32;
constexpr size_t kSealSize = kSealMagicSize + kSealDigestSize;

// Unavailable: the system's crypto provider has no SHA-256 (Windows XP before SP3), so the check
// cannot be made; the start goes on and the run log says so.
enum class SealCheck { Ok, Unreadable, NoSeal, Changed, Unavailable };
SealCheck CheckExecutableSeal(const char *path);
// SHA-256 with the system's crypto provider; false when it is not there.
bool Sha256(const void *data, size_t size, std::array<BYTE, kSealDigestSize> *digest);
// The time stamp stored for a start that passed the check, "2026-12-07 22:50:22" (local time).
std::string FormatCheckTime(const SYSTEMTIME &time);
// The message of a failed check; lastPassed empty when no start ever passed.
std::string SelfCheckFailureText(const std::string &lastPassed);
// The stored time of the last start that passed, or empty.
std::string LastPassedSelfCheck();

// ---- Registry write test ------------------------------------------------------------------------

constexpr const char *kRegistryTestValue = "tmp_korvane4_admin_write_test";
constexpr const char *kRegistryTestData = "xcopy.exe";
constexpr int kRegistryTestKeys = 5;

// Failure codes, in the order of their reason lines.
enum RegistryTestCode {
    kRegTestPassed = 0,
    kRegTestCannotWrite = 1,
    kRegTestCannotOpen = 2,
    kRegTestDiffers = 3,
    kRegTestCannotDelete = 4,
    kRegTestCannotSave = 5,
    kRegTestCannotRead = 6,
    kRegTestCannotRestore = 7,
};

// The one failure that is reported, and the key (0-4) it belongs to.
class RegistryTestFailure {
public:
    // A forward step failed; a failed write after a failed save turns code 5 into code 1.
    void Forward(RegistryTestCode code, int key);
    // A check failed: a read-back (6) or comparison (3) failure replaces what was recorded, a failed
    // delete (4), rename back (7) or open (2) only fills an empty record.
    void Check(RegistryTestCode code, int key);
    RegistryTestCode code() const { return code_; }
    int key() const { return key_; }
    bool failed() const { return code_ != kRegTestPassed; }

private:
    RegistryTestCode code_ = kRegTestPassed;
    int key_ = -1;
};

// The registry as the test sees it, one open key per step; tests give a fake one.
class RegistryTestTarget {
public:
    virtual ~RegistryTestTarget() = default;
    virtual bool Open(int key) = 0; // by full path, created when missing
    virtual void Close(int key) = 0;
    virtual bool Exists(int key, const char *name) = 0;
    virtual bool WriteTestData(int key, const char *name) = 0;               // key 4: a multi-string
    virtual bool ReadBack(int key, const char *name, std::string *text) = 0; // key 4: its first string
    virtual bool Delete(int key, const char *name) = 0;
    virtual bool Rename(int key, const char *from, const char *to) = 0;
    virtual void Pause(DWORD milliseconds) = 0;
};

struct RegistryTestKey {
    HKEY root;
    const char *path;
    const char *fullPath; // as the report shows it
    const char *live;     // the value written: the test value, Shell or BootExecute
    const char *saved;    // where the live value waits meanwhile; null for the test value
};
const RegistryTestKey &RegistryTestKeyAt(int key);

// Puts Shell and BootExecute back when an earlier test died between its rename and its undo (the
// live value holds the test data or is gone, the saved one is there); a live value with the test
// data and nothing saved is deleted. Each repair is logged. Returns how many were made.
int RepairRegistryWriteTest(RegistryTestTarget &target);
// The forward steps in order up to the first failure, then the checks in reverse order. A value
// that does not exist is not renamed and is left absent; a key whose saved name already holds the
// copy of a pending Rinsa run is left alone (logged), so that copy is never overwritten.
RegistryTestFailure RunRegistryWriteTest(RegistryTestTarget &target);
// The reason line of a failure code, with its CR LF.
const char *RegistryTestReason(RegistryTestCode code);
// The report's text: the reason line, a blank and the key's full path.
std::string RegistryTestReportText(const RegistryTestFailure &failure);
// The whole step on the real registry: repair, test, and the report; false when the user quits.
bool RegistryWriteTestPasses();

// ---- Switches that store settings ---------------------------------------------------------------

// Each opens the settings key for writing; false (after the registry error report) when it cannot.
bool StoreRunKind(int selected);
// LastCmdLine, Selected 3, and with readyMode also mode 1 (normal mode).
bool StoreOtherCommands(const std::string &commandLines, bool readyMode);

// ---- Settings upkeep ----------------------------------------------------------------------------

// Deletes `*\shell\Korvane` and `exefile\shell\Korvane` when they exist without a subkey.
void RepairExplorerVerbs();
// Moves the settings key from HKEY_CURRENT_USER to HKEY_LOCAL_MACHINE when only the user's exists.
// Every value is copied whatever its size; the two command-line histories stay with the user; the
// user's key goes only when nothing is left in it. False after the registry error report.
bool MoveSettingsFromUser();
// Appends the legacy history values log299 ... log00 to a new run log and deletes them. Nothing
// happens when the log exists; false (after its error box) when it cannot be created.
bool MoveLegacyLog(REGA &settings, const char *logPath);
// Under the user's Explorer policies: RestrictRun 0 is deleted (a missing value reads as 1).
void ClearRestrictRun();
// Creates the user's default sound scheme key when it is missing.
void EnsureDefaultSoundScheme();

struct StartWrites {
    DWORD versionNumber = 0;
    const char *programFile = nullptr; // null or empty when the path could not be read
    std::string selfCheckTime;         // when this start passed the self-check
    bool updateCheckAllowed = true;    // not in auto mode, not with Shift, Alt and Ctrl held
};
// Step 18: the values written at every start, the update check, the legacy log move.
void UpdateSettingsAtStart(const StartWrites &writes);

// Asks once whether Rinsa runs make a restore point (and whether to make one now).
void AskRestorePointChoice();

// The maker's web server, where the update information lies (the build's setting).
constexpr const char *kMakerHost = KORVANE_UPDATE_HOST;
constexpr const char *kUpdateInfoUrl = "http://" KORVANE_UPDATE_HOST "/update.txt";
// Registration with the update-notification tool under HKEY_CURRENT_USER\Software\Upcheck.
constexpr const char *kUpcheckKey = "Software\\Upcheck";
constexpr const char *kUpcheckRegistration = "Halvornix";
constexpr const char *kUpcheckObsolete[] = {"HalvornixKorv2", "HalvornixKorv3"};
void RegisterWithUpcheck(DWORD versionNumber, const char *programFile);

// June to September.
bool IsSummerMonth(WORD month);
// The Japanese warning about defragmenting in hot weather; false when the user quits.
bool SummerNoticeAccepted();
// The version warning above Windows 10; false when the user says No.
bool UntestedWindowsAccepted();

// ---- Drive ----------------------------------------------------------------------------------------

// A program on a fixed local disk: not a UNC path, and its root's drive type is DRIVE_FIXED.
bool OnLocalFixedDisk(const char *modulePath, UINT (*driveType)(const char *root));

// ---- Power action after a run (/H0, /H1) --------------------------------------------------------

struct PowerTry {
    BOOL suspend; // else hibernate
    BOOL force;
    TextPair logLine;
};
// The four tries in order: /H0 suspend first, /H1 hibernate first.
const std::array<PowerTry, 4> &PowerTries(bool suspendFirst);
using SetPowerStateFunction = BOOL(WINAPI *)(BOOL suspend, BOOL force);
extern SetPowerStateFunction g_setSystemPowerState;
// Automatic logon off when asked for, then the tries, each logged; the message when all fail.
void PowerActionAfterRun(bool suspendFirst);

// ---- Scheduler replacement (/I) -----------------------------------------------------------------

// Ends the resident scheduler, puts KORVTASK.TMP in place of KORVTASK.EXE, restarts it.
void ReplaceScheduler();
