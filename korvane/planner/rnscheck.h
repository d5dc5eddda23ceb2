// The rules behind check disk before the restart and the logon pre-test (rnscheck.cpp), as plain
// functions, and the calls tests replace.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

constexpr const char *kSessionManagerPath = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr const char *kLsaPath = "SYSTEM\\CurrentControlSet\\Control\\Lsa";

// ---- Boot-time check ----------------------------------------------------------------------------

// The letters of the fixed drives in a mask (0: every fixed drive), in letter order.
std::string FixedDriveLetters(DWORD mask, UINT (*driveType)(const char *root));
// BootExecute for the boot-time check: one 28-byte slot per drive holding
// "autocheck autochk /p \??\X:" (/r with the surface scan) and its zero, then two zero bytes.
constexpr size_t kBootExecuteSlot = 28;
std::string BootExecuteBytes(const std::string &driveLetters, bool surfaceScan);
// Whether a BootExecute holds only entries that BootExecuteBytes makes (a run that did not get to
// restore it).
bool IsScheduledBootExecute(std::string_view data);

// ---- Check disk now -----------------------------------------------------------------------------

struct CheckDiskLine {
    unsigned short windowsVersion = 0;
    int runMethod = 2;
    bool surfaceScan = false;
    bool japanese = false;
    std::string korvlog; // short path of KORVLOG.EXE; empty when it is missing
};
// The CMD.EXE command line that checks one drive, answering check disk's two questions.
std::string CheckDiskCommandLine(char drive, const CheckDiskLine &how);
// The log text for check disk's exit code.
const char *CheckDiskResultText(DWORD exitCode);

// ---- Logon pre-test -----------------------------------------------------------------------------

// Why LogonUserA refused, by its error; empty when there is no more to say than the system's text.
const char *LogonFailureText(DWORD error, bool emptyPassword);
// "%s\r\n\r\nError Information:[%d]%s\r\n\r\nAre you sure you want to continue?"
std::string LogonFailureMessage(DWORD error, bool emptyPassword);

// The calls the pre-test and check disk make outside the program; tests script them.
extern BOOL(WINAPI *g_logonUser)(LPCSTR user, LPCSTR domain, LPCSTR password, DWORD type, DWORD provider,
                                 PHANDLE token);
extern bool (*g_confirmAutoLogon)(HWND owner);      // the automatic logon page alone; false: cancelled
extern bool (*g_startQuietShell)(const char *mode); // QS.EXE /S or /X from the program folder
