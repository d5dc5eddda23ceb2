// alogon: the "Auto Logon" page. A Rinsa run restarts Windows and must come back to a desktop
// without anybody typing a password; the page sets the Windows automatic logon and tells the
// planner how to handle it for a run (OffAutoLogon). The planner also shows it alone when a run
// needs it.
#include "dialogs/alogon.h"

#include "dialogs/options.h"

#include "korvane.h"
#include "resource.h"
#include "planner/rnsrun.h"

#include "language.h"
#include "platform.h"
#include "settings.h"

#include <commctrl.h>

#include <cstdlib>
#include <cstring>

namespace {

const char kLogModule[] = "alogon";
constexpr const char *kHelpTopic = "HLP000102.html";

bool g_cancelled = false;

const TextPair kChoiceTexts[] = {
    {"自動ログオンを使用しない。", "Do not use Auto Logon."},
    {"Rinsa のたびに自動ログオンを使用する。(推奨)", "Use Auto Logon every rinsa boot time. (recommand)"},
    {"一度だけ自動ログオンを使用する。(非推奨)", "Use Auto Logon once. (not recommand)"},
    {"一度だけ自動ログオンを使用し、パスワードの設定を削除する。", "Use Auto Logon once and delete password setting."},
    {"起動するたびに自動ログオンを使用する。", "Use Auto Logon every boot time."},
};

const ToolTipText kToolTipsJa[] = {
    {IDC_ALOGON_MODE, "Windows の自動ログオンの方法を選びます。"},
    {IDC_ALOGON_USER, "この環境のユーザー名です。"},
    {IDC_ALOGON_PASSWORD, "ユーザー名のパスワードです。"},
    {IDC_ALOGON_CONFIRM, "ユーザー名のパスワードです。コピーと貼り付けは使わないでください。"},
    {0, nullptr},
};
const ToolTipText kToolTipsEn[] = {
    {IDC_ALOGON_MODE, "Select a way of auto logon for Windows."},
    {IDC_ALOGON_USER, "User name of this environment."},
    {IDC_ALOGON_PASSWORD, "Password of User name."},
    {IDC_ALOGON_CONFIRM, "Password of User name. Don't use Copy and Paste."},
    {0, nullptr},
};

// ---- Opening the page ---------------------------------------------------------------------------

void FillChoices(HWND combo) {
    for (const TextPair &text : kChoiceTexts)
        SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.Get()));
}

// Reads the Winlogon values into the fields; returns AutoAdminLogon, or an empty pointer when the
// key could not be read.
TextPtr LoadWinlogonFields(HWND page) {
    REGA key;
    if (!key.OpenKey(HKEY_LOCAL_MACHINE, kWinlogonPath, OPEN_READONLY)) return TextPtr();
    TextPtr autoAdminLogon = key.RegReadStringA(kAutoAdminLogon, "0");
    key.ReadStringForEditboxA(kDefaultUserName, page, IDC_ALOGON_USER);
    key.ReadStringForEditboxA(kDefaultPassword, page, IDC_ALOGON_PASSWORD);
    key.ReadStringForEditboxA(kDefaultPassword, page, IDC_ALOGON_CONFIRM);
    key.ReadStringForEditboxA(kDefaultDomainName, page, IDC_ALOGON_DOMAIN);
    key.CloseKey();
    return autoAdminLogon;
}

void SuggestCurrentUser(HWND page) {
    if (GetWindowTextLengthA(GetDlgItem(page, IDC_ALOGON_USER)) > 0) return;
    char user[257] = "";
    DWORD size = sizeof user;
    if (GetUserNameA(user, &size)) SetDlgItemTextA(page, IDC_ALOGON_USER, user);
}

BOOL OnInitDialog(HWND page) {
    AddToolTips(page, ToolTipTable(kToolTipsJa, kToolTipsEn));
    HWND combo = GetDlgItem(page, IDC_ALOGON_MODE);
    FillChoices(combo);
    TextPtr autoAdminLogon = LoadWinlogonFields(page);
    SuggestCurrentUser(page);
    int choice = AutoLogonChoiceFor(autoAdminLogon.get(), ReadSettingDword(setting::OffAutoLogon.name));
    SendMessageA(combo, CB_SETCURSEL, WPARAM(choice), 0);
    return TRUE;
}

// ---- OK -----------------------------------------------------------------------------------------

bool PasswordsMatch(HWND page) {
    TextPtr password = DialogItemText(page, IDC_ALOGON_PASSWORD);
    TextPtr confirm = DialogItemText(page, IDC_ALOGON_CONFIRM);
    bool match = password && confirm && strcmp(password.get(), confirm.get()) == 0;
    // The copies of the password do not outlive the comparison.
    if (password) SecureZeroMemory(password.get(), strlen(password.get()));
    if (confirm) SecureZeroMemory(confirm.get(), strlen(confirm.get()));
    return match;
}

void StoreOffAutoLogon(int choice) {
    REGA key;
    if (!OpenSettingsForWriting(key, kLogModule)) return;
    LONG value = OffAutoLogonFor(choice);
    if (value)
        key.WriteIntegerA(setting::OffAutoLogon.name, value);
    else
        key.DeleteValue(setting::OffAutoLogon.name);
    key.CloseKey();
}

// The typed logon data is stored whatever the entry, so it is there when automatic logon is
// switched on later (by a run or by hand).
void StoreWinlogon(HWND page, int choice) {
    REGA key;
    if (!key.OpenKey(HKEY_LOCAL_MACHINE, kWinlogonPath, 0)) {
        ReportRegistryError("Winlogon", kLogModule);
        return;
    }
    if (choice == kAutoLogonAlways)
        key.WriteStringA(kAutoAdminLogon, "1", STRTYPE_KEEP);
    else
        key.DeleteValue(kAutoAdminLogon);
    key.WriteStringFromEditBoxA(kDefaultUserName, page, IDC_ALOGON_USER);
    key.WriteStringFromEditBoxA(kDefaultPassword, page, IDC_ALOGON_PASSWORD);
    key.WriteStringFromEditBoxA(kDefaultDomainName, page, IDC_ALOGON_DOMAIN);
    key.CloseKey();
}

// False refuses the OK and keeps the sheet open on this page.
bool OnApply(HWND page) {
    if (!PasswordsMatch(page)) {
        ShowMessage(page, {"[自動ログオン]パスワードが一致しません。", "[AutoLogon]Wrong passwords."}, MB_ICONERROR);
        return false;
    }
    LRESULT choice = SendDlgItemMessageA(page, IDC_ALOGON_MODE, CB_GETCURSEL, 0, 0);
    if (choice == CB_ERR) choice = kAutoLogonNotUsed;
    StoreOffAutoLogon(int(choice));
    StoreWinlogon(page, int(choice));
    return true;
}

INT_PTR OnNotify(HWND page, const NMHDR &header) {
    switch (header.code) {
    case PSN_APPLY:
        SetWindowLongPtrA(page, DWLP_MSGRESULT, OnApply(page) ? PSNRET_NOERROR : PSNRET_INVALID);
        return TRUE;
    case PSN_RESET:
        g_cancelled = true;
        return TRUE;
    case PSN_HELP:
        ShowHelp(page, kHelpTopic);
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK AutoLogonPageProc(HWND page, UINT message, WPARAM, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(page);
    case WM_NOTIFY:
        return OnNotify(page, *reinterpret_cast<const NMHDR *>(lParam));
    case WM_HELP:
        ShowHelp(page, kHelpTopic);
        return TRUE;
    }
    return FALSE;
}

} // namespace

// ---- Decisions ----------------------------------------------------------------------------------

int AutoLogonChoiceFor(const char *autoAdminLogon, LONG offAutoLogon) {
    switch (offAutoLogon) {
    case 1:
        return kAutoLogonOnce;
    case 2:
        return kAutoLogonOnceClear;
    case 3:
        return kAutoLogonEveryRun;
    }
    return autoAdminLogon && atol(autoAdminLogon) != 0 ? kAutoLogonAlways : kAutoLogonNotUsed;
}

LONG OffAutoLogonFor(int choice) {
    switch (choice) {
    case kAutoLogonEveryRun:
        return 3;
    case kAutoLogonOnce:
        return 1;
    case kAutoLogonOnceClear:
        return 2;
    }
    return 0;
}

bool AutoLogonFlagOn(const char *value) {
    return value && value[0] == '1';
}

// ---- The page and its sheet ---------------------------------------------------------------------

PROPSHEETPAGEA AutoLogonPage() {
    return OptionsPageOf(IDD_ALOGON_JA, IDD_ALOGON_EN, AutoLogonPageProc);
}

bool ShowAutoLogonAlone(HWND owner) {
    g_cancelled = false;
    PROPSHEETPAGEA page = AutoLogonPage();
    PROPSHEETHEADERA sheet = {};
    sheet.dwSize = sizeof sheet;
    sheet.dwFlags = PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW | PSH_USECALLBACK;
    sheet.hwndParent = owner;
    sheet.hInstance = ResourceInstance();
    sheet.pszCaption = Tx("オプション", "Options");
    sheet.nPages = 1;
    sheet.ppsp = &page;
    sheet.pfnCallback = OptionsSheetCallback;
    if (PropertySheetA(&sheet) < 0) {
        ReportNoPropertySheet(owner);
        return false;
    }
    return !g_cancelled;
}

bool AutoLogonCancelled() {
    return g_cancelled;
}

// ---- The Windows automatic logon ----------------------------------------------------------------

bool IsAutomaticLogonOn() {
    REGA key;
    if (!key.OpenKey(HKEY_LOCAL_MACHINE, kWinlogonPath, OPEN_READONLY)) return false;
    TextPtr value = key.RegReadStringA(kAutoAdminLogon, "");
    key.CloseKey();
    return AutoLogonFlagOn(value.get());
}

bool RemoveAutomaticLogon() {
    REGA key;
    if (!key.OpenKey(HKEY_LOCAL_MACHINE, kWinlogonPath, 0)) {
        ReportRegistryError("Winlogon", kLogModule);
        return false;
    }
    key.DeleteValue(kAutoAdminLogon);
    key.CloseKey();
    return true;
}
