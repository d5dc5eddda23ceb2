// more: "More Settings", the expert values a run reads while it is under way: the MMC console file,
// the waits, the look of the warning window, the boot-time check-disk countdown of Windows and the
// switch that turns off the single-instance checks.
#include "dialogs/mainpage.h"

#include "dialogs/options.h"

#include "korvane.h"
#include "resource.h"
#include "planner/rnscheck.h"
#include "planner/rnsrun.h"

#include "language.h"
#include "platform.h"
#include "settings.h"

#include <commctrl.h>
#include <commdlg.h>

#include <cstdio>
#include <string>

namespace {

const char kLogModule[] = "more";
constexpr const char *kHelpTopic = "HLP000083.html";
// The countdown before the boot-time disk check, a value of Windows in the Session Manager key.
constexpr const char *kAutoChkTimeOut = "AutoChkTimeOut";
constexpr LONG kDefaultAutoChkTimeOut = 10;
constexpr int kLargestAlpha = 255;
// Dropped paths this long or longer are left out.
constexpr UINT kLongestDroppedPath = 520;

// What the dialog shows and, after OK, what it stores.
struct MoreValues {
    std::string mscPath;
    DWORD dkLiteWait = 0;
    DWORD wait = 0;
    DWORD autoChkTimeOut = 0;
    int alpha = kLargestAlpha;
    bool noDkWarn = false;
    bool jamaWindow = false;
    bool enableDouble = false;
};

const ToolTipText kTipsJa[] = {
    {IDC_MORE_MSCPATH, "MSC ファイルのフルパスです。"},
    {IDC_MORE_BROWSE, "MSC ファイルを参照して、その名前を入力欄に挿入します。"},
    {IDC_MORE_DKLITEWAIT, "Diskeeper Lite の広告ウィンドウを閉じるまでの待ち時間です。"},
    {IDC_MORE_NODKWARN, "Diskeeper についての警告ダイアログを表示しません。"},
    {IDC_MORE_AUTOCHK, "起動時のチェックディスクの待ち時間です。"},
    {IDC_MORE_WAIT, "コマンドごとの待ち時間です。"},
    {IDC_MORE_ALPHA, "警告ウィンドウを透明にします。"},
    {IDC_MORE_JAMA, "警告ウィンドウを画面の右下に置きます。"},
    {IDC_MORE_DOUBLE, "「Korvane.exe または Qs.exe は既に実行中です」と表示される場合に、このオプションを使います。"},
    {IDHELP, "ヘルプを表示します。"},
    {IDOK, "設定を保存して、このダイアログ ボックスを閉じます。"},
    {IDCANCEL, "このダイアログ ボックスを閉じます。"},
    {0, nullptr},
};
const ToolTipText kTipsEn[] = {
    {IDC_MORE_MSCPATH, "Full path of MSC file."},
    {IDC_MORE_BROWSE, "Browses MSC file name and Insert it into editbox."},
    {IDC_MORE_DKLITEWAIT, "Wait time for Closing Diskeeper Lite CM Window."},
    {IDC_MORE_NODKWARN, "Don't display Warning dialog for Diskeeper."},
    {IDC_MORE_AUTOCHK, "Wait time for boot time chkdsk."},
    {IDC_MORE_WAIT, "Wait time for every commands."},
    {IDC_MORE_ALPHA, "Be transparent warning dialog."},
    {IDC_MORE_JAMA, "A warning window is arranged at the screen lower right."},
    {IDC_MORE_DOUBLE, "If you see message 'Korvane.exe or Qs.exe is already exist,' use this option."},
    {IDHELP, "Displayes Japanese help."},
    {IDOK, "Saves settings and Closes this dialog box."},
    {IDCANCEL, "Closes this dialog box."},
    {0, nullptr},
};

// ---- Reading and writing ------------------------------------------------------------------------

LONG ReadAutoChkTimeOut() {
    REGA key;
    if (!key.OpenKey(HKEY_LOCAL_MACHINE, kSessionManagerPath, OPEN_READONLY)) return kDefaultAutoChkTimeOut;
    LONG value = key.ReadIntegerA(kAutoChkTimeOut, kDefaultAutoChkTimeOut);
    key.CloseKey();
    return value;
}

MoreValues ReadMoreValues() {
    MoreValues values;
    PageValues stored;
    values.mscPath = stored.Text(setting::MSCPath);
    values.dkLiteWait = DWORD(stored.Dword(setting::DKLiteWait));
    values.noDkWarn = stored.Dword(setting::NoDKWarn) != 0;
    values.wait = DWORD(stored.Dword(setting::wait));
    values.alpha = AlphaPositionOf(stored.Dword(setting::alpha));
    values.jamaWindow = stored.Dword(setting::jama_window) != 0;
    values.enableDouble = stored.Dword(setting::enable_double) != 0;
    values.autoChkTimeOut = DWORD(ReadAutoChkTimeOut());
    return values;
}

void WriteAutoChkTimeOut(DWORD seconds) {
    REGA key;
    bool written = key.OpenKey(HKEY_LOCAL_MACHINE, kSessionManagerPath, 0);
    if (written) {
        written = key.WriteIntegerA(kAutoChkTimeOut, LONG(seconds));
        key.CloseKey();
    }
    if (!written) ReportRegistryError("Session Manager", kLogModule);
}

// This dialog's OK is an OK of its own: its failure is reported, and the sheet's OK reports anew.
void WriteMoreValues(const MoreValues &values) {
    ResetPageWriteReport();
    {
        PageWriter writer(kLogModule);
        writer.Text(setting::MSCPath, values.mscPath.c_str());
        writer.Dword(setting::DKLiteWait, LONG(values.dkLiteWait));
        writer.Dword(setting::wait, LONG(values.wait));
        writer.Dword(setting::alpha, values.alpha);
        writer.Dword(setting::NoDKWarn, values.noDkWarn ? 1 : 0);
        writer.Dword(setting::jama_window, values.jamaWindow ? 1 : 0);
        writer.Dword(setting::enable_double, values.enableDouble ? 1 : 0);
    }
    ResetPageWriteReport();
    WriteAutoChkTimeOut(values.autoChkTimeOut);
}

// ---- The dialog ---------------------------------------------------------------------------------

void SetNumber(HWND dialog, int id, DWORD number) {
    char text[16];
    snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(number));
    SetDlgItemTextA(dialog, id, text);
}

void SetCheck(HWND dialog, int id, bool on) {
    CheckDlgButton(dialog, id, on ? BST_CHECKED : BST_UNCHECKED);
}

bool Checked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

BOOL OnInitDialog(HWND dialog, const MoreValues &values) {
    AddToolTips(dialog, ToolTipTable(kTipsJa, kTipsEn));
    SetDlgItemTextA(dialog, IDC_MORE_MSCPATH, values.mscPath.c_str());
    SetNumber(dialog, IDC_MORE_DKLITEWAIT, values.dkLiteWait);
    SetCheck(dialog, IDC_MORE_NODKWARN, values.noDkWarn);
    SetNumber(dialog, IDC_MORE_WAIT, values.wait);
    SetCheck(dialog, IDC_MORE_JAMA, values.jamaWindow);
    SetCheck(dialog, IDC_MORE_DOUBLE, values.enableDouble);
    HWND slider = GetDlgItem(dialog, IDC_MORE_ALPHA);
    SendMessageA(slider, TBM_SETRANGE, FALSE, MAKELPARAM(0, kLargestAlpha));
    SendMessageA(slider, TBM_SETTIPSIDE, TBTS_RIGHT, 0);
    SendMessageA(slider, TBM_SETPOS, TRUE, values.alpha);
    SetNumber(dialog, IDC_MORE_AUTOCHK, values.autoChkTimeOut);
    return TRUE;
}

void AppendToMscPath(HWND dialog, const char *path, bool setApart) {
    TextPtr field = DialogItemText(dialog, IDC_MORE_MSCPATH);
    std::string text = WithAddedPath(field ? field.get() : "", path, setApart);
    SetDlgItemTextA(dialog, IDC_MORE_MSCPATH, text.c_str());
}

void Browse(HWND dialog) {
    char path[MAX_PATH * 2] = "";
    OPENFILENAMEA open = {};
    open.lStructSize = sizeof open;
    open.hwndOwner = dialog;
    open.lpstrFilter = "MS Management Console File(*.msc)\0*.msc\0";
    open.lpstrFile = path;
    open.nMaxFile = sizeof path;
    open.lpstrTitle = Tx("参照", "Browse");
    open.Flags = OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    if (!GetOpenFileNameA(&open)) return;
    AppendToMscPath(dialog, path, false);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_MORE_MSCPATH, EN_CHANGE),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_MORE_MSCPATH)));
}

void OnDropFiles(HWND dialog, HDROP drop) {
    if (IsWindowEnabled(GetDlgItem(dialog, IDC_MORE_MSCPATH))) {
        UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < count; ++i) {
            char path[kLongestDroppedPath + 1];
            if (DragQueryFileA(drop, i, nullptr, 0) >= kLongestDroppedPath) continue;
            if (DragQueryFileA(drop, i, path, sizeof path)) AppendToMscPath(dialog, path, true);
        }
        SetForegroundWindow(dialog);
    }
    DragFinish(drop);
}

// The fields as numbers; a field that holds none in its range is refused and keeps the dialog.
bool GatherValues(HWND dialog, MoreValues *values) {
    if (!ReadNumberField(dialog, IDC_MORE_DKLITEWAIT, 0, kLargestStoredNumber, &values->dkLiteWait) ||
        !ReadNumberField(dialog, IDC_MORE_AUTOCHK, 0, kLargestAutoChkTimeOut, &values->autoChkTimeOut) ||
        !ReadNumberField(dialog, IDC_MORE_WAIT, 0, kLargestStoredNumber, &values->wait))
        return false;
    TextPtr path = DialogItemText(dialog, IDC_MORE_MSCPATH);
    values->mscPath = path ? path.get() : "";
    values->alpha = AlphaPositionOf(LONG(SendDlgItemMessageA(dialog, IDC_MORE_ALPHA, TBM_GETPOS, 0, 0)));
    values->noDkWarn = Checked(dialog, IDC_MORE_NODKWARN);
    values->jamaWindow = Checked(dialog, IDC_MORE_JAMA);
    values->enableDouble = Checked(dialog, IDC_MORE_DOUBLE);
    return true;
}

void OnOk(HWND dialog) {
    auto *values = reinterpret_cast<MoreValues *>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (!GatherValues(dialog, values)) return;
    WriteMoreValues(*values);
    EndDialog(dialog, 0);
}

BOOL OnCommand(HWND dialog, int id) {
    switch (id) {
    case IDOK:
        OnOk(dialog);
        return TRUE;
    case IDCANCEL:
        EndDialog(dialog, 1);
        return TRUE;
    case IDHELP:
        ShowHelp(dialog, kHelpTopic);
        return TRUE;
    case IDC_MORE_BROWSE:
        Browse(dialog);
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        return OnInitDialog(dialog, *reinterpret_cast<const MoreValues *>(lParam));
    case WM_COMMAND:
        return HIWORD(wParam) == BN_CLICKED ? OnCommand(dialog, LOWORD(wParam)) : FALSE;
    case WM_DROPFILES:
        OnDropFiles(dialog, reinterpret_cast<HDROP>(wParam));
        return TRUE;
    case WM_HELP:
        ShowHelp(dialog, kHelpTopic);
        return TRUE;
    }
    return FALSE;
}

} // namespace

std::string WithAddedPath(const std::string &field, const char *path, bool setApart) {
    std::string added = path ? path : "";
    QuoteIfBlank(added);
    std::string result = field;
    if (setApart && !result.empty()) result += ' ';
    return result + added;
}

int AlphaPositionOf(LONG alpha) {
    if (alpha < 0) return 0;
    return alpha > kLargestAlpha ? kLargestAlpha : int(alpha);
}

INT_PTR ShowMoreSettings(HWND owner) {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    MoreValues values = ReadMoreValues();
    HINSTANCE instance = ResourceInstance();
    return DialogBoxParamA(instance, MAKEINTRESOURCEA(ResId(IDD_MORE_JA, IDD_MORE_EN)), owner, DialogProc,
                           reinterpret_cast<LPARAM>(&values));
}
