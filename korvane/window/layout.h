// The layout of a resizable dialog: each control keeps its distance to the edges it is anchored
// to, and the dialog cannot be made smaller than it opened.
#pragma once

#include <windows.h>

#include <vector>

enum AnchorKind {
    kAnchorRight = 1,       // follows the right edge
    kAnchorBottom = 2,      // follows the bottom edge
    kAnchorCorner = 3,      // follows the bottom-right corner
    kAnchorWidth = 4,       // stretches with the width
    kAnchorSize = 5,        // stretches with the width and the height
    kAnchorBottomWidth = 6, // follows the bottom edge and stretches with the width
};

// One entry of a dialog's anchor table; the table ends with an entry whose id is 0.
struct Anchor {
    int id;
    int kind;
};

// What a control keeps from the opening layout, in client coordinates of the dialog.
struct AnchorRecord {
    HWND control = nullptr; // null when this language's template lacks the control
    int kind = 0;
    int left = 0, top = 0;
    int fromRight = 0, fromBottom = 0; // client width minus left, client height minus top
    int widthGap = 0, heightGap = 0;   // client size minus control size
    int height = 0;
};

// Where Apply puts a control for a client size, and which of SWP_NOMOVE / SWP_NOSIZE it uses.
struct AnchoredPlace {
    int x = 0, y = 0, width = 0, height = 0;
    UINT flags = SWP_NOZORDER;
};
AnchorRecord MeasureAnchor(int kind, const RECT &control, SIZE client);
AnchoredPlace PlaceAnchored(const AnchorRecord &record, SIZE client);

class DialogLayout {
public:
    // From WM_INITDIALOG: measures the dialog and the controls of the table. False without a
    // window or a table.
    bool Create(HWND dialog, const Anchor *table);
    // From WM_SIZE.
    void Apply() const;
    // From WM_GETMINMAXINFO: the opening size is the smallest; the largest is left to Windows.
    void Limits(MINMAXINFO *info) const;
    // From WM_DESTROY.
    void Destroy();
    // Apply for WM_SIZE, Limits for WM_GETMINMAXINFO; true when the message was one of them.
    bool OnMessage(UINT message, LPARAM lParam) const;

private:
    HWND dialog_ = nullptr;
    SIZE minimum_ = {-1, -1};
    std::vector<AnchorRecord> records_;
};
