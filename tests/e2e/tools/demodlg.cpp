// A stand-in program for the automation tests, written the way the products are (ANSI dialogs and
// message boxes), so that what wauto does to it is what it will do to them.
//
//   demodlg dialog              the demonstration dialog; exits with the id of the closing button
//   demodlg msgbox TITLE TEXT   an OK/Cancel warning box; exits with the button's id
//   demodlg japanese            a Japanese error box, as korvane shows one in Japanese mode
#include "demodlg.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char *const kColours[] = {"Red", "Green", "Blue"};

// Later changes the dialog a while after the click, as a program's other thread or its timer would,
// so that only a step that waits for the change sees it.
constexpr UINT_PTR kLaterTimer = 1;
constexpr UINT kLaterDelay = 700;
const RECT kLaterPlace = {40, 30, 360, 270}; // screen coordinates

// What the Apply button reports, so the tests can see what reached the program.
void ShowState(HWND dialog) {
    char name[128], line[256];
    GetDlgItemTextA(dialog, IDC_NAME, name, sizeof name);
    LRESULT colour = SendDlgItemMessageA(dialog, IDC_COLOUR, CB_GETCURSEL, 0, 0);
    std::snprintf(line, sizeof line, "name=%s agree=%u colour=%s", name, IsDlgButtonChecked(dialog, IDC_AGREE),
                  colour >= 0 && colour < 3 ? kColours[colour] : "none");
    SetDlgItemTextA(dialog, IDC_RESULT, line);
}

void ShowEvent(HWND dialog, const char *event, const char *detail) {
    char line[160];
    std::snprintf(line, sizeof line, "%s %s", event, detail);
    SetDlgItemTextA(dialog, IDC_EVENT, line);
}

// Unlocks Locked, checks Agree, gives Colour the focus and moves the dialog to kLaterPlace.
void ChangeLater(HWND dialog) {
    KillTimer(dialog, kLaterTimer);
    EnableWindow(GetDlgItem(dialog, IDC_LOCKED), TRUE);
    CheckDlgButton(dialog, IDC_AGREE, BST_CHECKED);
    SendMessageA(dialog, WM_NEXTDLGCTL, WPARAM(GetDlgItem(dialog, IDC_COLOUR)), TRUE);
    SetWindowPos(dialog, nullptr, kLaterPlace.left, kLaterPlace.top, kLaterPlace.right - kLaterPlace.left,
                 kLaterPlace.bottom - kLaterPlace.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void OnCommand(HWND dialog, WORD id, WORD code) {
    switch (id) {
    case IDC_LATER:
        SetTimer(dialog, kLaterTimer, kLaterDelay, nullptr);
        break;
    case IDC_APPLY:
        ShowState(dialog);
        break;
    case IDC_AGREE:
        ShowEvent(dialog, "agree", code == BN_CLICKED ? "clicked" : "other");
        break;
    case IDC_COLOUR:
        if (code == CBN_SELCHANGE) {
            LRESULT colour = SendDlgItemMessageA(dialog, IDC_COLOUR, CB_GETCURSEL, 0, 0);
            ShowEvent(dialog, "colour", colour >= 0 && colour < 3 ? kColours[colour] : "none");
        }
        break;
    case IDC_ASK: {
        // Modal on top of the dialog: whoever clicks Ask must not wait for the answer.
        int answer = MessageBoxA(dialog, "Apply the colour?", "Question", MB_YESNO | MB_ICONQUESTION);
        ShowEvent(dialog, "answer", answer == IDYES ? "yes" : "no");
        break;
    }
    case IDOK:
    case IDCANCEL:
        EndDialog(dialog, id);
        break;
    }
}

INT_PTR CALLBACK DemoProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        for (const char *colour : kColours)
            SendDlgItemMessageA(dialog, IDC_COLOUR, CB_ADDSTRING, 0, LPARAM(colour));
        return TRUE;
    case WM_COMMAND:
        OnCommand(dialog, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_TIMER:
        if (wParam == kLaterTimer) ChangeLater(dialog);
        return TRUE;
    }
    return FALSE;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    const char *mode = __argc > 1 ? __argv[1] : "";
    if (std::strcmp(mode, "dialog") == 0)
        return int(DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_DEMO), nullptr, DemoProc, 0));
    if (std::strcmp(mode, "msgbox") == 0 && __argc == 4)
        return MessageBoxA(nullptr, __argv[3], __argv[2], MB_OKCANCEL | MB_ICONWARNING);
    if (std::strcmp(mode, "japanese") == 0)
        return MessageBoxA(nullptr, "設定を読み込めません。\r\nレジストリを確認してください。", "タイドウェル",
                           MB_OK | MB_ICONERROR);
    MessageBoxA(nullptr, "usage: demodlg dialog | msgbox TITLE TEXT | japanese", "demodlg", MB_OK);
    return 2;
}
