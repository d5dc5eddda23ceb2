// The wizard mode: its pages with their questions and answer buttons, the answers written to the
// settings key, the answer history, the drive dialog, themes on the screen (the normal and the AVG
// presentation), and theme installation by drop. The rules are plain functions; the window part
// draws into the main window's off-screen picture.
#pragma once

#include "window/theme.h"

#include "language.h"

#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <string>
#include <vector>

// ---- Pages ----------------------------------------------------------------------------------------

constexpr int kWizardFirstPage = 21;
constexpr int kWizardLastPage = 41;
constexpr int kWizardButtons = 5;

// One page of the built-in wizard.
struct WizardPage {
    int page;
    TextPair title, question;
    TextPair buttons[kWizardButtons]; // null texts: an empty button
    int helpTopic;                    // "korvane.hlp,<n>"
};
// The page of a state, or null for states that are not pages.
const WizardPage *FindWizardPage(int page);
// A button's built-in text in the process language ("Optimization" on page 21 from Windows 8).
const char *BuiltInButtonText(int page, int button, unsigned short windowsVersion);
// The built-in help reference of a page, "korvane.hlp,<n>".
std::string BuiltInHelp(int page);

// What the buttons are like when a page is entered (button numbers from 1).
struct PageButtons {
    bool enabled[kWizardButtons];
    int focus;
};
PageButtons ButtonsOnEntry(int page, unsigned short windowsVersion);

// What an answer does.
enum class AnswerAction {
    Store,          // write number to the DWORD value, then go to next
    ClearCommands,  // empty LastCmdLine, then next
    ChooseDrives,   // the drive dialog; its mask to Drives, then next
    ChoosePrograms, // the program dialog, then next
    AskOldWindows,  // the question about Windows 95, 98 or Me: How 2 or 3, then next
    Customize,      // the Customizing menu
    Back,           // the last history entry's page
    Start,          // the planner
    CheckItems,     // the list of the answers
    FirstQuestion,  // back to page 21 after a question
    None,           // a button without an answer
};
struct AnswerRule {
    AnswerAction action;
    const char *value; // the settings value written (Store)
    LONG number;
    int next;
};
// The rule of a button on a page; selected is the stored run kind (page 26 goes on to the check
// disk page for kinds 1 and 2).
AnswerRule AnswerRuleOf(int page, int button, LONG selected);
// How after the answer about Windows 95, 98 or Me.
LONG OldWindowsHow(bool oldWindowsPresent);

// ---- The answer history ---------------------------------------------------------------------------

constexpr size_t kAnswerHistoryLimit = 48;
struct WizardAnswer {
    int page;
    int button;
};
class AnswerHistory {
public:
    // False, and nothing kept, when the history is full.
    bool Append(int page, int button);
    // Takes the last entry off and gives its page; page 21 when there is none.
    int Back();
    void Clear() { entries_.clear(); }
    const std::vector<WizardAnswer> &Entries() const { return entries_; }

private:
    std::vector<WizardAnswer> entries_;
};

// "Check setup-items": one line per answer, the page's title, " : " after a title longer than 21
// characters or "\t: " after a shorter one, and the text of the button chosen.
std::string SetupItemsText(const std::vector<WizardAnswer> &answers, const std::function<std::string(int)> &titleOf,
                           const std::function<std::string(int, int)> &buttonOf);

// ---- What a page shows ----------------------------------------------------------------------------

struct PageView {
    int page = 0;
    std::string title, text, bitmap, help;
    std::string buttons[kWizardButtons];
    PageButtons state = {};
};
// The page as shown: the built-in texts, replaced by the theme's elements when it gives them
// (script references expanded); theme is null without a theme.
PageView BuildPageView(int page, const ThemePage *theme, unsigned short windowsVersion,
                       const ScriptReader &reader = ReadScriptFile);

// Help: a topic of the help file, or a command line of the theme.
struct HelpAction {
    bool topic;
    std::string target; // "HLP%06d.html", or the command line
};
HelpAction WizardHelpAction(const std::string &help);

// ---- The AVG presentation's layout (logical units) ------------------------------------------------

constexpr int kAvgFontHeight = 18;
struct AvgChoice {
    int button; // 1-5
    RECT frame;
};
// The choices in the text window: one line per enabled button from y H - 159 down, each framed.
std::vector<AvgChoice> AvgChoiceFrames(SIZE client, int lineHeight, const PageButtons &buttons);
// The button whose frame holds the point, or 0.
int AvgChoiceAt(const std::vector<AvgChoice> &choices, POINT point);

// ---- The window (wizardm.cpp, wizavg.cpp, wizdrive.cpp) ---------------------------------------------

// Makes the five answer buttons of the main window (once).
void CreateWizardButtons(HWND window);
// Destroys them and stops the music and the wizard's timer.
void LeaveWizard(HWND window);
// Shows a page: reads the theme, draws, sets the buttons; page 21 clears the history.
void ShowWizardPage(HWND window, int page);
// An answer button (107-111) or its AVG choice.
void OnWizardAnswer(HWND window, int button);
// Help (105) and F1 on a wizard page.
void ShowWizardHelp(HWND window);
// WM_LBUTTONUP, WM_RBUTTONUP, WM_MOUSEMOVE, WM_TIMER, WM_SETCURSOR on a wizard page.
void OnWizardMouse(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void OnWizardTimer(HWND window);
bool OnWizardSetCursor(HWND window);
// A dropped file: theme installation (frees the drop).
void OnWizardDrop(HWND window, HDROP drop);
// What WM_PAINT adds over the picture: the automatic-logon notice or the feedback hint.
void PaintWizardOverlay(HDC dc);
// Whether the automatic logon was found switched on when the wizard was entered.
bool WizardAutoLogonNotice();

// Unpacks a theme archive into the current folder with the archive library of its kind; tests put
// a stand-in here. Results as the library loaders give them (kArchiveOk ...).
using ThemeExtractor = int (*)(ThemeArchive kind, HWND owner, const char *archivePath, char *output);
extern ThemeExtractor g_themeExtractor;
int DefaultThemeExtractor(ThemeArchive kind, HWND owner, const char *archivePath, char *output);

// The drive dialog (135 / 158): the mask chosen, or -1 after Cancel.
LONG ShowWizardDriveDialog(HWND owner, DWORD drives);
