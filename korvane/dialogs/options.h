// The Options sheet and what its pages share: the sheet itself, the three-state boxes of once
// flags, reading a page's values with their defaults, writing them on OK with one error report
// for the whole sheet, and numbers typed into edit fields.
#pragma once

#include "rega.h"
#include "settings.h"

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <string>

// ---- The sheet (options.cpp) --------------------------------------------------------------------

// The pages in the order of the sheet.
enum OptionsPage {
    kPageDefrag,
    kPageCheckDisk,
    kPageMain,
    kPageClear,
    kPageMethod,
    kPageAutoLogon,
    kPageBeforeAfter,
    kOptionsPageCount
};

// The page an opening command asks for: 1101 before/after, 1090 automatic logon, 1078 the Rinsa
// method, 1083 the main options, 1085 check disk; anything else the defragmenter.
OptionsPage PageForCommand(int command);
// The position, among the pages that could be made, of the page to show first: the one the
// command asks for, else the defragmenter page, else the first.
int FirstShownPage(int command, const bool made[kOptionsPageCount]);
// Opens the sheet modally, owned by owner, on the page of command; returns when it is closed.
// False when no page could be made (the user has been told).
bool ShowOptionsSheet(HWND owner, int command);

// Both sheets (this one and the automatic logon page alone) drop the caption's context-help
// button: every page has its own Help.
int CALLBACK OptionsSheetCallback(HWND sheet, UINT message, LPARAM);
// "Cannot create a property sheet."
void ReportNoPropertySheet(HWND owner);

// The pages, each from its own module. A page is made (and reads its values) when first shown,
// and writes them on OK only if it was made.
PROPSHEETPAGEA DefragPage();      // diskpages.cpp
PROPSHEETPAGEA CheckDiskPage();   // diskpages.cpp
PROPSHEETPAGEA MainOptionsPage(); // mainpage.cpp
PROPSHEETPAGEA ClearPage();       // diskpages.cpp
PROPSHEETPAGEA MethodPage();      // mainpage.cpp
PROPSHEETPAGEA BeforeAfterPage(); // beforeafter.cpp
// (The automatic logon page is AutoLogonPage() of alogon.h.)

// The dialogs the main options page opens.
INT_PTR ShowMoreSettings(HWND owner); // more.cpp: 0 after OK, 1 after Cancel
INT_PTR ShowStopServices(HWND owner); // stopsrv.cpp: 0 after OK, 1 after Cancel or a failed list

// A page of the sheet: its resource pair, tab title from the template, Help button.
PROPSHEETPAGEA OptionsPageOf(int japaneseId, int englishId, DLGPROC procedure);
// Help for a page: the Help button (PSN_HELP) and F1 (WM_HELP). True when the message was one of
// them and the topic was opened.
bool HandlePageHelp(HWND page, UINT message, LPARAM lParam, const char *topic);

// ---- Once flags in three-state boxes (oncebox.cpp) ----------------------------------------------

// The box states, as BST_UNCHECKED, BST_CHECKED and BST_INDETERMINATE show them.
enum OnceState { kOnceOff = 0, kOnceOn = 1, kOnceUseOnce = 2 };
// What a stored value shows: 0 off, 2 use once, any other number on. A permanent-on value such as
// 3 or 5 from an imported file stays on after OK, as the planner reads it.
OnceState OnceStateOf(LONG stored);
// A click (or the space key): off becomes on; on and use once become off.
OnceState NextOnceState(OnceState state);
// The right-click menu's default item: "&Uncheck" for a box that is on or used once, else "&Check".
int OnceMenuDefault(OnceState state);
// The menu item of a state, and the state of a menu item (-1 for any other item).
int OnceMenuItem(OnceState state);
int OnceStateOfMenuItem(int item);

// The three-state boxes of one page, a zero-terminated list of control ids. The boxes are plain
// BS_3STATE buttons: the page, not the button, decides the next state.
class OnceBoxes {
public:
    explicit OnceBoxes(const int *ids) : ids_(ids) {}
    bool Has(int id) const;
    void Show(HWND page, int id, LONG stored) const;
    OnceState State(HWND page, int id) const;
    // A click on one of the boxes (BN_CLICKED); true when it was one and its state changed.
    bool OnClicked(HWND page, int id) const;
    // WM_CONTEXTMENU on one of the boxes: the menu "CheckMenuJ" at the point (or under the box
    // for the keyboard); true when a state was chosen. *id is the box.
    bool OnContextMenu(HWND page, HWND control, LPARAM point, int *id) const;

private:
    const int *ids_;
};

// ---- Reading and writing a page's values (options.cpp) ------------------------------------------

// The settings key read-only for a page's opening. When it cannot be read every value comes out
// as its catalogue default, never as "all off".
class PageValues {
public:
    PageValues();
    ~PageValues();
    PageValues(const PageValues &) = delete;
    PageValues &operator=(const PageValues &) = delete;
    bool Opened() const { return key_.IsOpen(); }
    LONG Dword(const DwordSetting &setting);
    std::string Text(const TextSetting &setting);
    REGA &Key() { return key_; }

private:
    REGA key_;
};

// The settings key for a page's OK. A key that cannot be opened or a value that cannot be written
// shows the registry error report ("KV4") once for the whole OK, whichever page met it first.
class PageWriter {
public:
    explicit PageWriter(const char *module);
    ~PageWriter();
    PageWriter(const PageWriter &) = delete;
    PageWriter &operator=(const PageWriter &) = delete;
    void Dword(const DwordSetting &setting, LONG value);
    void Dword(const char *name, LONG value);
    // A text as the user typed it; a value stored as REG_EXPAND_SZ keeps its type.
    void Text(const TextSetting &setting, const char *text);
    void FromEditBox(const TextSetting &setting, HWND dialog, int id);
    void Delete(const char *name);
    REGA &Key() { return key_; }
    bool Ok() const { return !failed_; }

private:
    void Check(bool written);
    REGA key_;
    const char *module_;
    bool failed_ = false;
};
// A new OK starts: the next failure is reported again.
void ResetPageWriteReport();
// What a page answers PSN_APPLY: a failed write keeps the sheet open on that page, so nothing
// closes as if it had been saved.
LONG_PTR ApplyResult(const PageWriter &writer);

// ---- Numbers typed into edit fields (options.cpp) -----------------------------------------------

// The planner and QS read these values as signed numbers: nothing above this is ever stored.
constexpr DWORD kLargestStoredNumber = 2147483647;
enum class NumberText { Ok, NotNumber, TooLarge };
// Digits with blanks around them; an empty text is 0. Never wraps: above max is TooLarge.
NumberText ParseBoundedNumber(const char *text, DWORD max, DWORD *value);
// Reads the field; a text that is no number from min to max is refused with a message naming the
// range, and the field gets the focus. False then.
bool ReadNumberField(HWND dialog, int id, DWORD min, DWORD max, DWORD *value);
