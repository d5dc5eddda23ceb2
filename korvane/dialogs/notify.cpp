// notify: the Notify question dialog. Each caller brings its own texts and the name of the value
// that remembers "do not ask again"; the start-up and the run planner use it for warnings that an
// experienced user may switch off.
#include "dialogs/notify.h"

#include "korvane.h"
#include "resource.h"

#include "language.h"
#include "settings.h"

namespace {

struct NotifyDialog {
    const NotifyRequest *request;
};

bool DontShowChecked(HWND dialog) {
    return IsDlgButtonChecked(dialog, IDC_NOTIFY_DONTSHOW) == BST_CHECKED;
}

void SetTextIfGiven(HWND dialog, int id, const char *text) {
    if (text) SetDlgItemTextA(dialog, id, text);
}

void HideControl(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    ShowWindow(control, SW_HIDE);
    EnableWindow(control, FALSE);
}

BOOL OnInitDialog(HWND dialog, const NotifyRequest &request) {
    if (request.title) SetWindowTextA(dialog, request.title);
    SetTextIfGiven(dialog, IDC_NOTIFY_HEADING, request.heading);
    SetTextIfGiven(dialog, IDC_NOTIFY_TEXT, request.body);
    SetTextIfGiven(dialog, IDOK, request.yesLabel);
    SetTextIfGiven(dialog, IDCANCEL, request.noLabel);
    if (!request.helpTopic) HideControl(dialog, IDHELP);
    if (!request.valueName) HideControl(dialog, IDC_NOTIFY_DONTSHOW);
    SetForegroundWindow(dialog);
    return TRUE;
}

// With the box checked the only way out is Yes: No and the Close box would leave a remembered
// answer that the user never gave.
void OnDontShowClicked(HWND dialog) {
    bool checked = DontShowChecked(dialog);
    EnableWindow(GetDlgItem(dialog, IDCANCEL), !checked);
    EnableMenuItem(GetSystemMenu(dialog, FALSE), SC_CLOSE, MF_BYCOMMAND | (checked ? MF_GRAYED : MF_ENABLED));
}

void OnYes(HWND dialog, const NotifyRequest &request) {
    if (request.valueName && DontShowChecked(dialog)) WriteSettingDword(request.valueName, 1);
    EndDialog(dialog, kNotifyYes);
}

void OnCommand(HWND dialog, const NotifyRequest &request, WORD id) {
    switch (id) {
    case IDOK:
        OnYes(dialog, request);
        break;
    case IDCANCEL: // No, Escape and the Close box
        if (!DontShowChecked(dialog)) EndDialog(dialog, kNotifyNo);
        break;
    case IDHELP:
        if (request.helpTopic) ShowHelp(dialog, request.helpTopic);
        break;
    case IDC_NOTIFY_DONTSHOW:
        OnDontShowClicked(dialog);
        break;
    }
}

INT_PTR CALLBACK NotifyDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto *data = reinterpret_cast<NotifyDialog *>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        return OnInitDialog(dialog, *reinterpret_cast<NotifyDialog *>(lParam)->request);
    case WM_COMMAND:
        if (data) OnCommand(dialog, *data->request, LOWORD(wParam));
        return TRUE;
    case WM_HELP:
        if (data && data->request->helpTopic) ShowHelp(dialog, data->request->helpTopic);
        return TRUE;
    }
    return FALSE;
}

bool KeyDown(int key) {
    return (g_notifyKeyState(key) & 0x8000) != 0;
}

} // namespace

SHORT(WINAPI *g_notifyKeyState)(int key) = GetAsyncKeyState;

int AskNotify(const NotifyRequest &request) {
    if (request.valueName) {
        if (KeyDown(VK_SHIFT) && !KeyDown(VK_CONTROL) && !KeyDown(VK_MENU)) WriteSettingDword(request.valueName, 0);
        if (ReadSettingDword(request.valueName) != 0) return kNotifyYes;
    }
    NotifyDialog data{&request};
    INT_PTR result = DialogBoxParamA(g_instance, MAKEINTRESOURCEA(ResId(IDD_NOTIFY_JA, IDD_NOTIFY_EN)), request.owner,
                                     NotifyDialogProc, reinterpret_cast<LPARAM>(&data));
    return result == kNotifyYes || result == kNotifyNo ? int(result) : -1;
}
