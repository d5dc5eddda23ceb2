// The automatic logon page and the small operations on the Windows automatic logon that the
// planner, the normal mode and the trouble tools share.
#pragma once

#include <windows.h>
#include <prsht.h>

// The Windows automatic logon lives in these values of HKEY_LOCAL_MACHINE (all REG_SZ); Windows
// reads the password from here in plain text, so it is stored as the user typed it.
constexpr const char *kWinlogonPath = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
constexpr const char *kAutoAdminLogon = "AutoAdminLogon";
constexpr const char *kDefaultUserName = "DefaultUserName";
constexpr const char *kDefaultPassword = "DefaultPassword";
constexpr const char *kDefaultDomainName = "DefaultDomainName";

// The entries of the page's combo box.
enum AutoLogonChoice {
    kAutoLogonNotUsed = 0,
    kAutoLogonEveryRun = 1,  // OffAutoLogon 3
    kAutoLogonOnce = 2,      // OffAutoLogon 1
    kAutoLogonOnceClear = 3, // OffAutoLogon 2
    kAutoLogonAlways = 4,    // AutoAdminLogon "1", OffAutoLogon deleted
};

// The entry the page shows: the stored AutoAdminLogon text (null when it could not be read) and
// OffAutoLogon. The planner's own handling wins over a plain Windows automatic logon.
int AutoLogonChoiceFor(const char *autoAdminLogon, LONG offAutoLogon);
// The OffAutoLogon an entry stores; 0 means the value is deleted.
LONG OffAutoLogonFor(int choice);

// The page as the Options sheet takes it (resources 147 / 163).
PROPSHEETPAGEA AutoLogonPage();
// The page alone in a sheet titled "Options". False when the user cancelled it, or when no sheet
// could be made (then the user was told).
bool ShowAutoLogonAlone(HWND owner);
// Set when a sheet that holds the page is cancelled; ShowAutoLogonAlone clears it first.
bool AutoLogonCancelled();

// Whether a stored AutoAdminLogon text switches the Windows automatic logon on: it begins with "1".
bool AutoLogonFlagOn(const char *value);
// The same for the value in the registry; false when the key cannot be read.
bool IsAutomaticLogonOn();
// Deletes AutoAdminLogon, keeping the stored user name and password; false when the key fails.
bool RemoveAutomaticLogon();
