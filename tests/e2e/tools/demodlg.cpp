// A stand-in program for the automation tests, written the way the products are (ANSI dialogs and
// message boxes, a report list with check boxes, right-click menus), so that what wauto does to it
// is what it will do to them.
//
//   demodlg dialog              the demonstration dialog; exits with the id of the closing button
//   demodlg msgbox TITLE TEXT   an OK/Cancel warning box; exits with the button's id
//   demodlg japanese            a Japanese error box, as korvane shows one in Japanese mode
#include "demodlg.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char *const kColours[] = {"Red", "Green", "Blue"};
// The list's rows: a name and a size; Beta starts ticked.
const char *const kListRows[][2] = {{"Alpha", "1"}, {"Beta", "2"}, {"Gamma", "3"}};
// Set once the list is filled, so that filling it reports no changes.
bool gListReady = false;

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

void FillList(HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_LIST);
    ListView_SetExtendedListViewStyleEx(list, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT,
                                        LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    const char *const titles[] = {"Name", "Size"};
    for (int i = 0; i < 2; ++i) {
        LVCOLUMNA column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = const_cast<char *>(titles[i]);
        column.cx = 100;
        ListView_InsertColumn(list, i, &column);
    }
    for (int i = 0; i < 3; ++i) {
        LVITEMA item = {};
        item.mask = LVIF_TEXT;
        item.iItem = i;
        item.pszText = const_cast<char *>(kListRows[i][0]);
        ListView_InsertItem(list, &item);
        ListView_SetItemText(list, i, 1, const_cast<char *>(kListRows[i][1]));
    }
    ListView_SetCheckState(list, 1, TRUE);
    gListReady = true;
}

const char *MenuItemName(int id) {
    switch (id) {
    case IDM_DEMO_COPY:
        return "copy";
    case IDM_DEMO_PASTE:
        return "paste";
    case IDM_DEMO_ALL:
        return "all";
    }
    return "none";
}

// The list's menu reports its choice as WM_COMMAND; Agree's returns it, as the option pages' once
// boxes do. Where it was asked for goes to IDC_CONTEXT.
void OnContextMenu(HWND dialog, HWND control, LPARAM where) {
    int id = GetDlgCtrlID(control);
    if (id != IDC_LIST && id != IDC_AGREE) return;
    char line[96];
    if (where == -1)
        std::snprintf(line, sizeof line, "context %d keyboard", id);
    else
        std::snprintf(line, sizeof line, "context %d at %d,%d", id, int(short(LOWORD(where))),
                      int(short(HIWORD(where))));
    SetDlgItemTextA(dialog, IDC_CONTEXT, line);
    HMENU menu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDM_DEMO));
    RECT place;
    GetWindowRect(control, &place);
    UINT flags = id == IDC_AGREE ? TPM_RETURNCMD | TPM_NONOTIFY : 0;
    int chosen =
        TrackPopupMenu(GetSubMenu(menu, 0), flags | TPM_RIGHTBUTTON, place.left, place.bottom, 0, dialog, nullptr);
    if (id == IDC_AGREE) ShowEvent(dialog, "agree menu", MenuItemName(chosen));
    DestroyMenu(menu);
}

void OnListChanged(HWND dialog, const NMLISTVIEW *change) {
    if (!gListReady || !(change->uChanged & LVIF_STATE) ||
        !((change->uNewState ^ change->uOldState) & LVIS_STATEIMAGEMASK))
        return;
    char text[64] = "", detail[96];
    ListView_GetItemText(change->hdr.hwndFrom, change->iItem, 0, text, sizeof text);
    std::snprintf(detail, sizeof detail, "%s %u", text, ((change->uNewState & LVIS_STATEIMAGEMASK) >> 12) - 1);
    ShowEvent(dialog, "checked", detail);
}

void OnCommand(HWND dialog, WORD id, WORD code) {
    switch (id) {
    case IDM_DEMO_COPY:
    case IDM_DEMO_PASTE:
    case IDM_DEMO_ALL:
        ShowEvent(dialog, "list menu", MenuItemName(id));
        break;
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

INT_PTR CALLBACK DemoProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        for (const char *colour : kColours)
            SendDlgItemMessageA(dialog, IDC_COLOUR, CB_ADDSTRING, 0, LPARAM(colour));
        FillList(dialog);
        return TRUE;
    case WM_CONTEXTMENU:
        OnContextMenu(dialog, reinterpret_cast<HWND>(wParam), lParam);
        return TRUE;
    case WM_NOTIFY:
        if (reinterpret_cast<NMHDR *>(lParam)->code == LVN_ITEMCHANGED)
            OnListChanged(dialog, reinterpret_cast<NMLISTVIEW *>(lParam));
        return TRUE;
    case WM_DEMO_POSTED: {
        char detail[64];
        std::snprintf(detail, sizeof detail, "%llu %lld", static_cast<unsigned long long>(wParam),
                      static_cast<long long>(lParam));
        ShowEvent(dialog, "posted", detail);
        return TRUE;
    }
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
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&classes);
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
