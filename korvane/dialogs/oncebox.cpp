// oncebox: the three-state boxes of once flags on the option pages. A click turns a box on or, from
// on or use once, off; the right-click menu "CheckMenuJ" chooses any of the three states.
#include "dialogs/options.h"

#include "korvane.h"
#include "resource.h"

#include "language.h"
#include "winhandle.h"

OnceState OnceStateOf(LONG stored) {
    if (stored == 0) return kOnceOff;
    return stored == 2 ? kOnceUseOnce : kOnceOn;
}

OnceState NextOnceState(OnceState state) {
    return state == kOnceOff ? kOnceOn : kOnceOff;
}

int OnceMenuDefault(OnceState state) {
    return state == kOnceOff ? IDM_ONCE_CHECK : IDM_ONCE_UNCHECK;
}

int OnceMenuItem(OnceState state) {
    switch (state) {
    case kOnceOn:
        return IDM_ONCE_CHECK;
    case kOnceUseOnce:
        return IDM_ONCE_USEONCE;
    default:
        return IDM_ONCE_UNCHECK;
    }
}

int OnceStateOfMenuItem(int item) {
    switch (item) {
    case IDM_ONCE_CHECK:
        return kOnceOn;
    case IDM_ONCE_USEONCE:
        return kOnceUseOnce;
    case IDM_ONCE_UNCHECK:
        return kOnceOff;
    }
    return -1;
}

bool OnceBoxes::Has(int id) const {
    for (const int *p = ids_; p && *p; ++p)
        if (*p == id) return true;
    return false;
}

void OnceBoxes::Show(HWND page, int id, LONG stored) const {
    CheckDlgButton(page, id, UINT(OnceStateOf(stored)));
}

OnceState OnceBoxes::State(HWND page, int id) const {
    UINT state = IsDlgButtonChecked(page, id);
    return state == BST_INDETERMINATE ? kOnceUseOnce : state == BST_CHECKED ? kOnceOn : kOnceOff;
}

bool OnceBoxes::OnClicked(HWND page, int id) const {
    if (!Has(id)) return false;
    CheckDlgButton(page, id, UINT(NextOnceState(State(page, id))));
    return true;
}

namespace {

// The menu's place: where the mouse was, or under the box when the keyboard asked (-1, -1).
POINT MenuPoint(HWND control, LPARAM point) {
    POINT at = {static_cast<short>(LOWORD(point)), static_cast<short>(HIWORD(point))};
    if (point != -1) return at;
    RECT box;
    GetWindowRect(control, &box);
    return POINT{box.left, box.bottom};
}

} // namespace

bool OnceBoxes::OnContextMenu(HWND page, HWND control, LPARAM point, int *id) const {
    *id = control ? GetDlgCtrlID(control) : 0;
    if (!Has(*id) || !IsWindowEnabled(control)) return false;
    UniqueMenu menu(LoadMenuA(ResourceInstance(),
                              MAKEINTRESOURCEA(ResId(IDM_CHECKMENU_JA, IDM_CHECKMENU_EN))));
    HMENU popup = menu ? GetSubMenu(menu.Get(), 0) : nullptr;
    if (!popup) return false;
    OnceState state = State(page, *id);
    CheckMenuRadioItem(popup, IDM_ONCE_CHECK, IDM_ONCE_UNCHECK, UINT(OnceMenuItem(state)), MF_BYCOMMAND);
    SetMenuDefaultItem(popup, UINT(OnceMenuDefault(state)), FALSE);
    POINT at = MenuPoint(control, point);
    int chosen = TrackPopupMenu(popup, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, 0, page, nullptr);
    int next = OnceStateOfMenuItem(chosen);
    if (next < 0) return false;
    CheckDlgButton(page, *id, UINT(next));
    return true;
}
