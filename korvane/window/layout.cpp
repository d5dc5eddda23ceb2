// layout: the resizable dialogs (run history, services, environment report) remember where their
// controls stand against the edges when they open, and keep them there as the user drags.
#include "window/layout.h"

AnchorRecord MeasureAnchor(int kind, const RECT &control, SIZE client) {
    AnchorRecord record;
    record.kind = kind;
    record.left = control.left;
    record.top = control.top;
    record.fromRight = client.cx - control.left;
    record.fromBottom = client.cy - control.top;
    record.widthGap = client.cx - (control.right - control.left);
    record.heightGap = client.cy - (control.bottom - control.top);
    record.height = control.bottom - control.top;
    return record;
}

AnchoredPlace PlaceAnchored(const AnchorRecord &record, SIZE client) {
    AnchoredPlace place;
    int width = client.cx - record.widthGap;
    switch (record.kind) {
    case kAnchorRight:
        place = {client.cx - record.fromRight, record.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER};
        break;
    case kAnchorBottom:
        place = {record.left, client.cy - record.fromBottom, 0, 0, SWP_NOSIZE | SWP_NOZORDER};
        break;
    case kAnchorCorner:
        place = {client.cx - record.fromRight, client.cy - record.fromBottom, 0, 0, SWP_NOSIZE | SWP_NOZORDER};
        break;
    case kAnchorWidth:
        place = {0, 0, width, record.height, SWP_NOMOVE | SWP_NOZORDER};
        break;
    case kAnchorSize:
        place = {0, 0, width, client.cy - record.heightGap, SWP_NOMOVE | SWP_NOZORDER};
        break;
    case kAnchorBottomWidth:
        place = {record.left, client.cy - record.fromBottom, width, record.height, SWP_NOZORDER};
        break;
    default:
        // An unknown kind stays where the template put it.
        place.flags = SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER;
        break;
    }
    // A window dragged below its minimum (Windows allows it while minimised) never gets a
    // negative size.
    if (place.width < 0) place.width = 0;
    if (place.height < 0) place.height = 0;
    return place;
}

namespace {

SIZE ClientSize(HWND window) {
    RECT client = {};
    GetClientRect(window, &client);
    return {client.right, client.bottom};
}

// The control's rectangle in the dialog's client coordinates.
RECT ControlRect(HWND dialog, HWND control) {
    RECT rect = {};
    GetWindowRect(control, &rect);
    MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT *>(&rect), 2);
    return rect;
}

} // namespace

bool DialogLayout::Create(HWND dialog, const Anchor *table) {
    if (!dialog || !table) return false;
    dialog_ = dialog;
    RECT outer = {};
    GetWindowRect(dialog, &outer);
    minimum_ = {outer.right - outer.left, outer.bottom - outer.top};
    SIZE client = ClientSize(dialog);
    records_.clear();
    for (const Anchor *entry = table; entry->id != 0; ++entry) {
        HWND control = GetDlgItem(dialog, entry->id);
        AnchorRecord record =
            control ? MeasureAnchor(entry->kind, ControlRect(dialog, control), client) : AnchorRecord();
        record.control = control;
        record.kind = entry->kind;
        records_.push_back(record);
    }
    return true;
}

void DialogLayout::Apply() const {
    if (!dialog_ || IsIconic(dialog_)) return;
    SIZE client = ClientSize(dialog_);
    for (const AnchorRecord &record : records_) {
        if (!record.control) continue;
        AnchoredPlace place = PlaceAnchored(record, client);
        SetWindowPos(record.control, nullptr, place.x, place.y, place.width, place.height, place.flags);
    }
    // Controls that moved over one another leave traces of the old places otherwise.
    InvalidateRect(dialog_, nullptr, TRUE);
}

void DialogLayout::Limits(MINMAXINFO *info) const {
    if (!info) return;
    if (minimum_.cx != -1) info->ptMinTrackSize.x = minimum_.cx;
    if (minimum_.cy != -1) info->ptMinTrackSize.y = minimum_.cy;
}

void DialogLayout::Destroy() {
    records_.clear();
    dialog_ = nullptr;
    minimum_ = {-1, -1};
}

bool DialogLayout::OnMessage(UINT message, LPARAM lParam) const {
    if (message == WM_SIZE)
        Apply();
    else if (message == WM_GETMINMAXINFO)
        Limits(reinterpret_cast<MINMAXINFO *>(lParam));
    else
        return false;
    return true;
}
