// What the scheduler's modules share: the names other programs rely on, the scheduler key and its
// values, the due-time rule, the exclusion check, and the three faces (settings dialog, resident
// window, countdown dialog).
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

// The instance of KORVTASK.EXE, for dialogs and resources.
extern HINSTANCE g_instance;

// ---- Names other programs rely on ---------------------------------------------------------------

// Window class of the resident scheduler; the same string names its single-instance mutex.
// korvane and the settings dialog find the resident by it and stop it with WM_DESTROY.
constexpr char kResidentClass[] = "korvane_task_sr";
constexpr char kSettingsMutex[] = "korvane_task_cf";
// korvane's (and QS's) single-instance mutex: they test whether it exists.
constexpr char kKorvaneMutex[] = "korvane";

// ---- The scheduler key (HKEY_LOCAL_MACHINE) and the start-at-logon value --------------------------

constexpr char kSchedulerKey[] = "SOFTWARE\\Halvornix\\Korvane\\korvtask";
constexpr char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kRunValue[] = "korvtask_sr1";

namespace schedval {
constexpr char kTimeHour[] = "Time_Hour";
constexpr char kTimeMin[] = "Time_Min";
constexpr char kKind[] = "Kind";
constexpr char kDayDiff[] = "DayDiff";
constexpr char kLastTime[] = "LastTime";
constexpr char kTrayIcon[] = "TrayIcon";
constexpr char kSnooze[] = "Snooze";
constexpr char kSnoozeTime[] = "SnoozeTime";
constexpr char kNotStart[] = "NotStart";
constexpr char kNotStartList[] = "NotStartList";
// "w00" (Sunday) ... "w06", and "d01" ... "d31".
std::string WeekdayName(int weekday);
std::string MonthDayName(int day);
} // namespace schedval

enum ScheduleKind : LONG { kKindEveryDay = 1, kKindWeekdays = 2, kKindMonthDays = 3, kKindInterval = 4 };
// The longest catch-up window, 7:59.
constexpr LONG kMaxSnoozeMinutes = 479;
// Used when NotStartList is absent or empty.
extern const char kDefaultExclusionList[];

// ---- Switches and instances (instance.cpp) ------------------------------------------------------

enum class StartSwitch { Settings, Resident, Stop, StopAndWait };
// The whole argument text, compared without regard to case with /s, /j and /js.
StartSwitch ParseStartSwitch(const char *arguments);

// A named mutex created initially owned, or opened when another process has it already. The
// destructor releases it when owned and closes the handle, so the name goes with the last handle.
class NamedMutex {
public:
    explicit NamedMutex(const char *name);
    ~NamedMutex() { Close(); }
    NamedMutex(const NamedMutex &) = delete;
    NamedMutex &operator=(const NamedMutex &) = delete;

    bool Valid() const { return handle_ != nullptr; }
    // Another process (or thread) had created it before.
    bool Existed() const { return existed_; }
    bool Owned() const { return owned_; }
    // Waits up to milliseconds for the owner to let go; an abandoned mutex counts as free.
    // True when this object owns the mutex now.
    bool WaitOwned(DWORD milliseconds);
    void Close();

private:
    HANDLE handle_ = nullptr;
    bool existed_ = false;
    bool owned_ = false;
};

// How long a new instance waits for one that is still ending to let go of its mutex before it
// takes the other for a live one and ends: a resident after Stop or korvane /I, a settings dialog
// closed just before the tray icon opens it again.
constexpr DWORD kEndingInstanceWaitMs = 5000;

// The administrator test: the scheduler key opens in write mode (created when missing).
bool SchedulerKeyWritable();
// Sends the stop request (WM_DESTROY) to the resident window; false when none runs.
bool StopResident();

// ShellExecuteA, replaceable by tests. Every start of the scheduler goes through StartProgram.
extern HINSTANCE(WINAPI *g_shellExecute)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);
// Starts file with parameters from the program folder ("open", working folder "."); on failure
// shows the ShellExecute error box with the whole command line. True when started.
bool StartProgram(HWND owner, const char *file, const char *parameters);

// ---- The due-time rule (duetime.cpp) -----------------------------------------------------------

// FILETIMEs of the scheduler are local wall-clock times (converted from the local SYSTEMTIME, not
// from UTC), as 100-ns units in one number.
using WallTime = ULONGLONG;
constexpr WallTime kTicksPerMinute = 600000000ULL;
constexpr WallTime kTicksPerDay = 864000000000ULL;
WallTime WallTimeOf(const SYSTEMTIME &time);
WallTime LocalNow();

// The values the due-time rule reads, with the rule's meaning of absence.
struct ScheduleValues {
    LONG hour = 25;   // absent: never matches
    LONG minute = 61; // absent: never matches
    LONG kind = 0;    // absent: never fires
    bool weekday[7] = {};
    bool monthDay[32] = {}; // [1] ... [31]
    DWORD dayDiff = 0;
    WallTime lastTime = 0; // 0: never
};

struct DueDecision {
    bool fire = false;
    WallTime lastTime = 0;        // what to record as LastTime when it fires
    bool lastTimeIgnored = false; // LastTime lay more than a day ahead and was taken as never
};
// Whether a scheduled start is due at local time t.
DueDecision DecideDue(WallTime t, const ScheduleValues &values);
// The catch-up search: the newest of t, t - 1 min, ... t - (windowMinutes - 1) min at which the rule
// fires, or 0 when none does.
WallTime FindCatchUpTime(WallTime t, const ScheduleValues &values, LONG windowMinutes);
// SnoozeTime as the catch-up search uses it: 0 to 479.
LONG ClampSnoozeTime(LONG minutes);

class REGA;
// Reads the rule's values from the open scheduler key. The weekday and day values are read only
// for the kind that uses them.
ScheduleValues ReadScheduleValues(REGA &key);
// LastTime as an 8-byte time; anything else (missing, another size, not a valid time) is 0.
WallTime ReadLastTime(REGA &key);
// The same for LastTime's data of size bytes.
enum class LastTimeData { Ok, WrongSize, NotATime };
LastTimeData ParseLastTime(const char *data, size_t size, WallTime *t);
bool WriteLastTime(REGA &key, WallTime t);
// The rule on the registry: when a start is due at t, records t as LastTime and returns true.
bool ApplyDueTimeRule(WallTime t);
// At the resident's start: when Snooze is on and a set time passed within SnoozeTime minutes,
// records it as LastTime and returns true.
bool ApplyCatchUpRule(WallTime now);

// ---- The exclusion check (exclusion.cpp) ---------------------------------------------------------

// Upper case through the code page (double-byte characters stay whole).
std::string UpperMultibyte(const char *text);
// The list's entries, upper-cased, split at CR and LF, empty lines dropped.
std::vector<std::string> ExclusionEntries(const char *list);
// Whether a process's executable (cut to name and extension) is one of the entries.
bool IsExcludedProcess(const std::vector<std::string> &entries, const char *exeFile);
// Whether a program of the list runs now (a Toolhelp snapshot of all processes).
bool ExcludedProgramRunning(const char *list);

// ---- The countdown dialog (countdown.cpp) ------------------------------------------------------

constexpr int kCountdownSeconds = 20;
enum class TickAction { None, ShowSeconds, ShowStarting, Launch, CloseAborted };
// One tick of the countdown: counts remaining down and says what the dialog does.
TickAction CountdownTick(int *remaining, bool aborted);
// The 20-second countdown before korvane /A starts; true when korvane was started.
bool RunCountdown(HWND owner);

// ---- The resident scheduler (resident.cpp) -------------------------------------------------------

constexpr UINT kTrayIconId = 18972;
constexpr UINT kTrayMessage = WM_USER;
// Shell_NotifyIconA, replaceable by tests.
extern BOOL(WINAPI *g_shellNotifyIcon)(DWORD, PNOTIFYICONDATAA);
enum class TrayAction { None, Add, Delete };
// The tray-icon rule: removing is set only on destruction; keyOpened and trayIcon are the read.
TrayAction DecideTrayAction(bool removing, bool keyOpened, LONG trayIcon, bool shown);

bool RegisterResidentClass(HINSTANCE instance);
HWND CreateResidentWindow(HINSTANCE instance);

// ---- The settings dialog (setdialog.cpp) --------------------------------------------------------

// The Run value's data for a program file: the path in double quotes, a blank and /S.
std::string StartAtLogonCommand(const char *modulePath);
// An unsigned number of a time field: empty reads as 0; anything but digits (or a number past
// 4294967295) is false.
bool ReadTimeField(const char *text, unsigned *value);
enum class TimeCheck { Ok, BadStartTime, BadDelay };
TimeCheck CheckTimes(const char *hour, const char *minute, const char *delayHours, const char *delayMinutes);
// The list with a dropped file's name and extension added as a line of its own.
std::string AppendProgramLine(const std::string &list, const char *droppedPath);
// The text beside the interval: LastTime's date, or dashes when there is none.
std::string LastTimeLabel(WallTime lastTime);
// The modal settings dialog.
INT_PTR ShowSettingsDialog();
