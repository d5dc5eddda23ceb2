// wizdrive: the wizard's "Select drives" dialog (135 / 158): a box for each drive letter, preset from
// the stored mask, with the drive's information as tooltip and on a right-click.
#include "korvane.h"
#include "window/korvwin.h"
#include "window/normal.h"
#include "window/wizardm.h"
#include "resource.h"

#include "language.h"

#include <vector>

namespace {

struct DriveDialog {
    DWORD drives;
    std::vector<std::string> infoTexts; // kept alive for the tooltips
};

int LetterOfBox(int id) {
    for (int letter = 0; letter < 26; ++letter)
        if (DriveBoxId(letter) == id) return letter;
    return -1;
}

DWORD CheckedMask(HWND dialog) {
    DWORD mask = 0;
    for (int letter = 0; letter < 26; ++letter)
        if (IsDlgButtonChecked(dialog, DriveBoxId(letter)) == BST_CHECKED) mask |= 1UL << letter;
    return mask;
}

void AddDriveToolTips(HWND dialog, DriveDialog *data) {
    std::vector<ToolTipText> table = {{IDOK, Tx("次へ", "next")}, {IDCANCEL, Tx("戻る", "back")}};
    data->infoTexts.clear();
    for (int letter = 0; letter < 26; ++letter)
        data->infoTexts.push_back(CurrentDriveInfoText(letter));
    for (int letter = 0; letter < 26; ++letter)
        table.push_back({DriveBoxId(letter), data->infoTexts[letter].c_str()});
    table.push_back({0, nullptr});
    AddToolTipsWrapped(dialog, table.data());
}

BOOL OnInitDialog(HWND dialog, DriveDialog *data) {
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(data));
    for (int letter = 0; letter < 26; ++letter)
        CheckDlgButton(dialog, DriveBoxId(letter), (data->drives >> letter) & 1 ? BST_CHECKED : BST_UNCHECKED);
    AddDriveToolTips(dialog, data);
    if (IsJapanese() && g_windowsVersion >= 602) {
        SetDlgItemTextA(dialog, IDC_WIZDRIVE_SSD_NOTE,
                        "Windows 8 以降では、SSD はデバイスの種類に応じて最適化されます。");
        ShowWindow(GetDlgItem(dialog, IDC_WIZDRIVE_SSD_NOTE), SW_SHOW);
    }
    return TRUE;
}

// A right-click on a box, also through the dialog when the click missed the box's own window.
void OnContextMenu(HWND dialog, HWND target, LPARAM lParam) {
    int letter = target != dialog ? LetterOfBox(GetDlgCtrlID(target)) : -1;
    POINT at = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    for (int i = 0; i < 26 && letter < 0 && lParam != -1; ++i) {
        RECT box;
        GetWindowRect(GetDlgItem(dialog, DriveBoxId(i)), &box);
        if (PtInRect(&box, at)) letter = i;
    }
    if (letter < 0) return;
    char title[] = "A:";
    title[0] = static_cast<char>('A' + letter);
    ShowMessageBox(dialog, CurrentDriveInfoText(letter).c_str(), title, MB_OK);
}

INT_PTR CALLBACK DriveDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(dialog, reinterpret_cast<DriveDialog *>(lParam));
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) EndDialog(dialog, static_cast<INT_PTR>(CheckedMask(dialog)));
        if (LOWORD(wParam) == IDCANCEL) EndDialog(dialog, -1);
        return TRUE;
    case WM_CONTEXTMENU:
        OnContextMenu(dialog, reinterpret_cast<HWND>(wParam), lParam);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

LONG ShowWizardDriveDialog(HWND owner, DWORD drives) {
    DriveDialog data = {drives & 0x3FFFFFF, {}};
    INT_PTR result = DialogBoxParamA(ModuleInstance(), MAKEINTRESOURCEA(ResId(IDD_WIZDRIVE_JA, IDD_WIZDRIVE_EN)), owner,
                                     DriveDialogProc, reinterpret_cast<LPARAM>(&data));
    // A dialog that could not be made chose nothing, as after Cancel.
    return result < 0 ? -1 : static_cast<LONG>(result);
}
