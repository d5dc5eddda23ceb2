// options: the Options sheet. Seven pages, each made when it is first shown; OK writes what the
// made pages hold, Cancel writes nothing. Beside the sheet, what every page shares: reading its
// values with their defaults, writing them with one error report, and numbers from edit fields.
#include "dialogs/options.h"

#include "dialogs/alogon.h"
#include "korvane.h"
#include "planner/rnsrun.h"

#include "language.h"
#include "platform.h"

#include <cstdio>

namespace {

const char kLogModule[] = "options";

// The first failed write of an OK reports; the others of the same OK stay quiet.
bool g_writeFailureReported = false;

} // namespace

// ---- The sheet ----------------------------------------------------------------------------------

OptionsPage PageForCommand(int command) {
    switch (command) {
    case 1101:
        return kPageBeforeAfter;
    case 1090:
        return kPageAutoLogon;
    case 1078:
        return kPageMethod;
    case 1083:
        return kPageMain;
    case 1085:
        return kPageCheckDisk;
    }
    return kPageDefrag;
}

int FirstShownPage(int command, const bool made[kOptionsPageCount]) {
    OptionsPage wanted = PageForCommand(command);
    if (!made[wanted]) wanted = kPageDefrag;
    if (!made[wanted]) return 0;
    int position = 0;
    for (int page = 0; page < wanted; ++page)
        position += made[page] ? 1 : 0;
    return position;
}

namespace {

const char kSheetProcedureProperty[] = "korvane.options.proc";

// Each OK starts with no failure reported, so a retry after a failed write is told again.
LRESULT CALLBACK OptionsSheetProc(HWND sheet, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC previous = reinterpret_cast<WNDPROC>(GetPropA(sheet, kSheetProcedureProperty));
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK) ResetPageWriteReport();
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrA(sheet, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        RemovePropA(sheet, kSheetProcedureProperty);
    }
    return previous ? CallWindowProcA(previous, sheet, message, wParam, lParam)
                    : DefWindowProcA(sheet, message, wParam, lParam);
}

} // namespace

int CALLBACK OptionsSheetCallback(HWND sheet, UINT message, LPARAM) {
    if (message != PSCB_INITIALIZED) return 0;
    SetWindowLongPtrA(sheet, GWL_EXSTYLE, GetWindowLongPtrA(sheet, GWL_EXSTYLE) & ~WS_EX_CONTEXTHELP);
    LONG_PTR previous = GetWindowLongPtrA(sheet, GWLP_WNDPROC);
    if (SetPropA(sheet, kSheetProcedureProperty, reinterpret_cast<HANDLE>(previous)))
        SetWindowLongPtrA(sheet, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(OptionsSheetProc));
    return 0;
}

void ReportNoPropertySheet(HWND owner) {
    ShowMessage(owner, {"プロパティシートを作成できません。", "Cannot create a property sheet."}, MB_ICONERROR);
}

bool ShowOptionsSheet(HWND owner, int command) {
    PROPSHEETPAGEA pages[kOptionsPageCount] = {DefragPage(), CheckDiskPage(), MainOptionsPage(), ClearPage(),
                                               MethodPage(), AutoLogonPage(), BeforeAfterPage()};
    HPROPSHEETPAGE handles[kOptionsPageCount];
    bool made[kOptionsPageCount];
    UINT count = 0;
    // A page that cannot be made is left out; the others move up.
    for (int i = 0; i < kOptionsPageCount; ++i) {
        HPROPSHEETPAGE handle = CreatePropertySheetPageA(&pages[i]);
        made[i] = handle != nullptr;
        if (handle) handles[count++] = handle;
    }
    if (count == 0) {
        ReportNoPropertySheet(owner);
        return false;
    }
    PROPSHEETHEADERA sheet = {};
    sheet.dwSize = sizeof sheet;
    sheet.dwFlags = PSH_NOAPPLYNOW | PSH_USECALLBACK;
    sheet.hwndParent = owner;
    sheet.hInstance = ResourceInstance();
    sheet.pszCaption = Tx("オプション", "Options");
    sheet.nPages = count;
    sheet.nStartPage = UINT(FirstShownPage(command, made));
    sheet.phpage = handles;
    sheet.pfnCallback = OptionsSheetCallback;
    ResetPageWriteReport();
    if (PropertySheetA(&sheet) < 0) {
        ReportNoPropertySheet(owner);
        return false;
    }
    return true;
}

PROPSHEETPAGEA OptionsPageOf(int japaneseId, int englishId, DLGPROC procedure) {
    PROPSHEETPAGEA page = {};
    page.dwSize = sizeof page;
    page.dwFlags = PSP_HASHELP;
    page.hInstance = ResourceInstance();
    page.pszTemplate = MAKEINTRESOURCEA(ResId(japaneseId, englishId));
    page.pfnDlgProc = procedure;
    return page;
}

bool HandlePageHelp(HWND page, UINT message, LPARAM lParam, const char *topic) {
    bool help =
        message == WM_HELP || (message == WM_NOTIFY && reinterpret_cast<const NMHDR *>(lParam)->code == UINT(PSN_HELP));
    if (help) ShowHelp(page, topic);
    return help;
}

// ---- Reading and writing a page's values --------------------------------------------------------

PageValues::PageValues() {
    OpenSettings(key_, OPEN_READONLY);
}

PageValues::~PageValues() {
    if (key_.IsOpen()) key_.CloseKey();
}

LONG PageValues::Dword(const DwordSetting &setting) {
    return key_.IsOpen() ? ReadSetting(key_, setting) : setting.defaultValue;
}

std::string PageValues::Text(const TextSetting &setting) {
    if (key_.IsOpen()) return ReadTextSetting(key_, setting);
    return setting.defaultText ? setting.defaultText : "";
}

LONG_PTR ApplyResult(const PageWriter &writer) {
    return writer.Ok() ? PSNRET_NOERROR : PSNRET_INVALID;
}

void ResetPageWriteReport() {
    g_writeFailureReported = false;
}

PageWriter::PageWriter(const char *module) : module_(module) {
    Check(OpenSettings(key_, OPEN_CREATE));
}

PageWriter::~PageWriter() {
    if (key_.IsOpen()) key_.CloseKey();
}

void PageWriter::Check(bool written) {
    if (written) return;
    failed_ = true;
    if (g_writeFailureReported) return;
    g_writeFailureReported = true;
    ReportRegistryError(kSettingsLocation, module_);
}

void PageWriter::Dword(const DwordSetting &setting, LONG value) {
    Dword(setting.name, value);
}

void PageWriter::Dword(const char *name, LONG value) {
    if (key_.IsOpen()) Check(key_.WriteIntegerA(name, value));
}

void PageWriter::Text(const TextSetting &setting, const char *text) {
    if (key_.IsOpen()) Check(key_.WriteStringA(setting.name, text, STRTYPE_KEEP));
}

void PageWriter::FromEditBox(const TextSetting &setting, HWND dialog, int id) {
    if (key_.IsOpen()) Check(key_.WriteStringFromEditBoxA(setting.name, dialog, id));
}

void PageWriter::Delete(const char *name) {
    if (key_.IsOpen() && key_.ValueExistA(name) >= 0) Check(key_.DeleteValue(name));
}

// ---- Numbers ------------------------------------------------------------------------------------

NumberText ParseBoundedNumber(const char *text, DWORD max, DWORD *value) {
    const char *p = text ? text : "";
    while (*p == ' ' || *p == '\t')
        ++p;
    unsigned long long number = 0;
    bool tooLarge = false;
    for (; *p >= '0' && *p <= '9'; ++p) {
        number = number * 10 + unsigned(*p - '0');
        if (number > max) tooLarge = true, number = max; // keeps going to see the whole text
    }
    while (*p == ' ' || *p == '\t')
        ++p;
    if (*p) return NumberText::NotNumber;
    if (tooLarge) return NumberText::TooLarge;
    *value = DWORD(number);
    return NumberText::Ok;
}

bool ReadNumberField(HWND dialog, int id, DWORD min, DWORD max, DWORD *value) {
    TextPtr text = DialogItemText(dialog, id);
    DWORD number = 0;
    if (ParseBoundedNumber(text ? text.get() : "", max, &number) == NumberText::Ok && number >= min) {
        *value = number;
        return true;
    }
    char message[160];
    snprintf(message, sizeof message,
             Tx("%lu から %lu までの数を入力してください。", "Please enter a number from %lu to %lu."),
             static_cast<unsigned long>(min), static_cast<unsigned long>(max));
    ShowMessageBox(dialog, message, ProductTitle(), MB_ICONERROR);
    HWND field = GetDlgItem(dialog, id);
    SetFocus(field);
    SendMessageA(field, EM_SETSEL, 0, -1);
    return false;
}
