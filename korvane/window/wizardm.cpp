// wizardm: the wizard screen in the main window: its five answer buttons, the page drawn into the
// off-screen picture (with the theme's texts, picture and size), the answers written to the settings
// key, the history behind Back, "Check setup-items", Start!, and the mouse, timer and drops of the
// wizard's pages.
#include "korvane.h"
#include "window/korvwin.h"
#include "window/wizwin.h"
#include "dialogs/alogon.h"
#include "resource.h"
#include "planner/rnsrun.h"

#include "language.h"
#include "platform.h"
#include "runlog.h"
#include "settings.h"
#include "winhandle.h"

namespace {

const char kLogModule[] = "wizardm";

// The mode buttons and Exit: with the answers, what a run under way must not be pressed again.
const int kRunLockIds[] = {IDC_MAIN_NORMAL, IDC_MAIN_WIZARD, IDC_MAIN_EXIT};

struct WizardScreen {
    AnswerHistory history;
    PageView view;
    std::string themePath;
    ThemeMain theme;
    bool autoLogon = false;
};
WizardScreen g_wizard;

HWND AnswerButton(HWND window, int button) {
    return GetDlgItem(window, IDC_MAIN_ANSWER1 + button - 1);
}

// ---- Theme and size -------------------------------------------------------------------------------

void ReadCurrentTheme() {
    REGA key;
    std::string stored;
    if (OpenSettings(key, OPEN_READONLY)) {
        stored = ReadTextSetting(key, setting::inifile);
        key.CloseKey();
    }
    g_wizard.themePath = LocateThemeFile(stored.c_str());
    g_wizard.theme = g_wizard.themePath.empty() ? ThemeMain() : ReadThemeMain(g_wizard.themePath.c_str(), IsJapanese());
    if (g_wizard.themePath.empty()) g_wizard.theme.screen = "593,401";
}

// The largest logical client size that fits on the screen.
SIZE LargestClientSize() {
    double scaleX = g_dpiScaleX > 0 ? g_dpiScaleX : 1.0, scaleY = g_dpiScaleY > 0 ? g_dpiScaleY : 1.0;
    return {static_cast<LONG>(GetSystemMetrics(SM_CXFULLSCREEN) / scaleX),
            static_cast<LONG>(GetSystemMetrics(SM_CYFULLSCREEN) / scaleY)};
}

void ApplyThemeSize(HWND window) {
    SIZE wanted = ParseThemeScreen(g_wizard.theme.screen.c_str(), LargestClientSize());
    SIZE now = MainLogicalSize();
    if (wanted.cx != now.cx || wanted.cy != now.cy) SetMainClientSize(window, wanted, true);
    PlaceModeButtonRow(window, g_wizard.autoLogon);
}

// ---- Drawing ----------------------------------------------------------------------------------------

void DrawPageTexts(HDC dc, const PageView &view) {
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0x10, 0x30, 0x50));
    {
        Selected font(dc, WizardTitleFont());
        TextOutA(dc, ScaleX(16), ScaleY(24), view.title.c_str(), static_cast<int>(view.title.size()));
    }
    Selected font(dc, WizardGuiFont());
    SetTextColor(dc, RGB(0, 0, 0));
    RECT text = {ScaleX(8), ScaleY(80), ScaleX(MainLogicalSize().cx - 13), ScaleY(199)};
    DrawTextA(dc, view.text.c_str(), static_cast<int>(view.text.size()), &text, DT_NOPREFIX | DT_WORDBREAK);
}

void DrawBitmapAt(HDC dc, HBITMAP bitmap, int x, int y) {
    BITMAP info;
    if (!GetObjectA(bitmap, sizeof info, &info)) return;
    RECT target = {ScaleX(x), ScaleY(y), ScaleX(x + info.bmWidth), ScaleY(y + info.bmHeight)};
    DrawBitmap(dc, bitmap, target, SRCCOPY);
}

// Page 21 without a picture of the theme points at the Customizing button.
void DrawCustomizingHint(HDC dc) {
    UniqueGdiObject hint(LoadImageA(ModuleInstance(), MAKEINTRESOURCEA(IDB_WIZARD_HINT), IMAGE_BITMAP, 0, 0, 0));
    if (hint) DrawBitmapAt(dc, static_cast<HBITMAP>(hint.Get()), 400, 309);
    Selected font(dc, WizardGuiFont());
    SetTextColor(dc, RGB(0x20, 0x40, 0x80));
    RECT text = {ScaleX(452), ScaleY(309), ScaleX(MainLogicalSize().cx - 8), ScaleY(357)};
    const char *hintText = Tx("このボタンを押すと、\r\nウィザードモードのメッセージを別のものに変えられます。",
                              "Press this button to change other wizard mode message.");
    DrawTextA(dc, hintText, -1, &text, DT_NOPREFIX | DT_WORDBREAK);
}

void DrawNormalPage(const PageView &view) {
    HDC dc = MainOffScreenDc();
    if (!dc) return;
    DrawWizardFrame(dc, view.page);
    DrawPageTexts(dc, view);
    if (!view.bitmap.empty()) {
        UniqueGdiObject picture(LoadBitmapFile(view.bitmap));
        // A picture that cannot be loaded is not drawn.
        if (picture) DrawBitmapAt(dc, static_cast<HBITMAP>(picture.Get()), 400, 200);
    } else if (view.page == kWizardFirstPage) {
        DrawCustomizingHint(dc);
    }
}

// ---- Buttons --------------------------------------------------------------------------------------

void SetAnswerButtons(HWND window, const PageView &view, bool shown) {
    for (int button = 1; button <= kWizardButtons; ++button) {
        HWND control = AnswerButton(window, button);
        SetWindowTextA(control, view.buttons[button - 1].c_str());
        EnableWindow(control, view.state.enabled[button - 1]);
        ShowWindow(control, shown ? SW_SHOW : SW_HIDE);
    }
    HWND focus = AnswerButton(window, view.state.focus);
    if (shown && focus && IsWindowEnabled(focus)) SetFocus(focus);
}

void LockForRun(HWND window, bool locked) {
    for (int button = 1; button <= kWizardButtons; ++button)
        EnableWindow(AnswerButton(window, button), !locked && g_wizard.view.state.enabled[button - 1]);
    for (int id : kRunLockIds)
        EnableWindow(GetDlgItem(window, id), !locked && id != IDC_MAIN_WIZARD);
}

// ---- Answers ----------------------------------------------------------------------------------------

bool StoreDword(const char *name, LONG value) {
    if (WriteSettingDword(name, value)) return true;
    ReportRegistryError(kSettingsLocation, kLogModule);
    return false;
}

// "Later": the programs are chosen during the run.
bool ClearCommandLines() {
    REGA key;
    if (!OpenSettingsForWriting(key, kLogModule)) return false;
    bool written = key.WriteStringA(setting::LastCmdLine.name, "", STRTYPE_PLAIN);
    key.CloseKey();
    if (!written) ReportRegistryError(kSettingsLocation, kLogModule);
    return written;
}

void GoOn(HWND window, int page, int button, int next) {
    if (!g_wizard.history.Append(page, button))
        RUNLOG(Tx("回答の履歴がいっぱいです。", "The history of the answers is full."));
    ShowWizardPage(window, next);
}

// The title and the button texts of a page as its theme shows them, for the list of the answers.
PageView ViewOfPage(int page) {
    ThemePage theme;
    if (!g_wizard.themePath.empty()) theme = ReadThemePage(g_wizard.themePath.c_str(), page);
    return BuildPageView(page, g_wizard.themePath.empty() ? nullptr : &theme, g_windowsVersion);
}

void ShowSetupItems(HWND window) {
    std::string text = SetupItemsText(
        g_wizard.history.Entries(), [](int page) { return ViewOfPage(page).title; },
        [](int page, int button) { return ViewOfPage(page).buttons[button - 1]; });
    ShowMessageBox(window, text.c_str(), Tx("選択した項目", "your choices"), MB_OK);
}

void BackToFirstQuestion(HWND window) {
    if (ShowMessage(window, {"最初の質問に戻りますか？", "Are you sure you want to back to the first question?"},
                    MB_YESNO | MB_ICONQUESTION) == IDYES)
        ShowWizardPage(window, kWizardFirstPage);
}

// A planner that gave up leaves the window usable again, whatever it had done to it.
void StartRun(HWND window) {
    SetMainScreenState(kScreenWizardRun);
    StopThemeMedia(window);
    LockForRun(window, true);
    bool underWay = PlanRinsaRun();
    // Under way, the planner has closed the main window.
    if (underWay || !IsWindow(window)) return;
    EnableWindow(window, TRUE);
    if (!IsWindowVisible(window)) ShowWindow(window, SW_SHOW);
    LockForRun(window, false);
    ShowWizardPage(window, kWizardLastPage);
}

void AnswerWithValue(HWND window, int page, int button, const AnswerRule &rule) {
    LONG value = rule.number;
    if (rule.action == AnswerAction::ChooseDrives) {
        value = ShowWizardDriveDialog(window, static_cast<DWORD>(ReadSettingDword(setting::Drives.name)));
        if (value < 0) return;
    } else if (rule.action == AnswerAction::AskOldWindows) {
        int answer = ShowMessage(window,
                                 {"ハードディスクに Windows 95、98 または Me がありますか？",
                                  "Do you have Windows 95,98 or Me in your hard disk?"},
                                 MB_YESNO | MB_ICONQUESTION);
        value = OldWindowsHow(answer == IDYES);
    }
    const char *name = rule.action == AnswerAction::ChooseDrives    ? setting::Drives.name
                       : rule.action == AnswerAction::AskOldWindows ? setting::How.name
                                                                    : rule.value;
    // An answer that could not be stored does not count: the page stays for another try.
    if (StoreDword(name, value)) GoOn(window, page, button, rule.next);
}

void Answer(HWND window, int page, int button) {
    AnswerRule rule = AnswerRuleOf(page, button, ReadSettingDword(setting::Selected.name));
    switch (rule.action) {
    case AnswerAction::Store:
    case AnswerAction::ChooseDrives:
    case AnswerAction::AskOldWindows:
        AnswerWithValue(window, page, button, rule);
        return;
    case AnswerAction::ClearCommands:
        if (ClearCommandLines()) GoOn(window, page, button, rule.next);
        return;
    case AnswerAction::ChoosePrograms:
        if (ShowCommandLinesDialog(window) == 0) GoOn(window, page, button, rule.next);
        return;
    case AnswerAction::Customize: {
        POINT at;
        GetCursorPos(&at);
        ShowCustomizingMenu(window, at);
        return;
    }
    case AnswerAction::Back:
        ShowWizardPage(window, g_wizard.history.Back());
        return;
    case AnswerAction::Start:
        StartRun(window);
        return;
    case AnswerAction::CheckItems:
        ShowSetupItems(window);
        return;
    case AnswerAction::FirstQuestion:
        BackToFirstQuestion(window);
        return;
    case AnswerAction::None:
        return;
    }
}

// ---- The automatic logon notice ---------------------------------------------------------------------

const char *AutoLogonNoticeText() {
    return Tx("ここをクリックすると、起動時のパスワードを有効にします。",
              "Click here to turn on the password at boot time.");
}

void CancelAutoLogon(HWND window) {
    if (ShowMessageBox(
            window,
            Tx("起動時のパスワードを有効にしますか？", "Are you sure you want to turn on the boot time password?"),
            Tx("自動ログオンの解除", "Cancel Auto logon"), MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    if (!RemoveAutomaticLogon()) return;
    g_wizard.autoLogon = false;
    PlaceModeButtonRow(window, false);
    InvalidateRect(window, nullptr, FALSE);
}

bool PageTextComplete() {
    return !AvgShowing() || AvgTextComplete();
}

} // namespace

// ---- Shared with the other window parts ---------------------------------------------------------------

const PageView &CurrentPageView() {
    return g_wizard.view;
}

const std::string &CurrentThemePath() {
    return g_wizard.themePath;
}

const ThemeMain &CurrentTheme() {
    return g_wizard.theme;
}

void DrawWizardFrame(HDC dc, int page) {
    SIZE size = MainLogicalSize();
    RECT all = {0, 0, ScaleX(size.cx), ScaleY(size.cy)};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    COLORREF band = page >= kWizardLastPage ? RGB(0x80, 0xA8, 0xF0) : RGB(0x8C, 0xC8, 0xA0);
    ShadeRows(dc, 0, ScaleY(64), band, RGB(0xFF, 0xFF, 0xFF));
    int bottom = ScaleY(16);
    ShadeRows(dc, all.bottom - bottom, bottom, RGB(0xFF, 0xFF, 0xF0), RGB(0xFF, 0xFF, 0x00));
    DrawRule(dc, size.cy - 41);
}

void StopThemeMedia(HWND window) {
    StopBackgroundMusic();
    KillTimer(window, kWizardTimerId);
}

HFONT WizardGuiFont() {
    return g_guiFont ? g_guiFont : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

HFONT WizardTitleFont() {
    return g_titleFont ? g_titleFont : WizardGuiFont();
}

HBITMAP LoadBitmapFile(const std::string &file) {
    if (file.empty()) return nullptr;
    return static_cast<HBITMAP>(LoadImageA(nullptr, file.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
}

void DrawBitmap(HDC dc, HBITMAP bitmap, const RECT &target, DWORD rop) {
    BITMAP info;
    if (!bitmap || !GetObjectA(bitmap, sizeof info, &info)) return;
    HDC source = CreateCompatibleDC(dc);
    if (!source) return;
    HGDIOBJ old = SelectObject(source, bitmap);
    SetStretchBltMode(dc, COLORONCOLOR);
    StretchBlt(dc, target.left, target.top, target.right - target.left, target.bottom - target.top, source, 0, 0,
               info.bmWidth, info.bmHeight, rop);
    SelectObject(source, old);
    DeleteDC(source);
}

// ---- The wizard's interface -------------------------------------------------------------------------

void CreateWizardButtons(HWND window) {
    g_wizard.autoLogon = IsAutomaticLogonOn();
    for (int button = 1; button <= kWizardButtons; ++button) {
        if (AnswerButton(window, button)) continue;
        HWND control = CreateWindowExA(0, "BUTTON", "", WS_CHILD | WS_TABSTOP | BS_PUSHBUTTON | BS_LEFT, ScaleX(12),
                                       ScaleY(200 + 30 * (button - 1)), ScaleX(384), ScaleY(24), window,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_MAIN_ANSWER1 + button - 1)),
                                       ModuleInstance(), nullptr);
        if (!control) continue;
        SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(WizardGuiFont()), FALSE);
        JoinButtonRing(control);
    }
}

void LeaveWizard(HWND window) {
    for (int button = 1; button <= kWizardButtons; ++button)
        if (HWND answer = AnswerButton(window, button)) DestroyWindow(answer);
    StopThemeMedia(window);
    EndAvgPage();
}

void ShowWizardPage(HWND window, int page) {
    // The theme's music plays on from page to page; the presentation of the last page ends.
    KillTimer(window, kWizardTimerId);
    EndAvgPage();
    SetMainScreenState(page);
    if (page == kWizardFirstPage) g_wizard.history.Clear();
    ReadCurrentTheme();
    g_wizard.view = ViewOfPage(page);
    ApplyThemeSize(window);
    SetAnswerButtons(window, g_wizard.view, !g_wizard.theme.avg);
    if (g_wizard.theme.avg)
        BeginAvgPage(window);
    else
        DrawNormalPage(g_wizard.view);
    InvalidateRect(window, nullptr, FALSE);
}

void OnWizardAnswer(HWND window, int button) {
    int page = MainScreenState();
    if (!FindWizardPage(page) || button < 1 || button > kWizardButtons) return;
    if (!g_wizard.view.state.enabled[button - 1]) return;
    Answer(window, page, button);
}

void ShowWizardHelp(HWND window) {
    RunWizardHelp(window, FindWizardPage(MainScreenState()) ? g_wizard.view.help : std::string());
}

void OnWizardMouse(HWND window, UINT message, WPARAM, LPARAM lParam) {
    if (MainScreenState() == kScreenWizardRun) return;
    POINT at = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    switch (message) {
    case WM_RBUTTONUP: {
        POINT screen = at;
        ClientToScreen(window, &screen);
        ShowCustomizingMenu(window, screen);
        return;
    }
    case WM_LBUTTONUP:
        if (g_wizard.autoLogon && PageTextComplete() && at.y >= ScaleY(MainLogicalSize().cy - 11)) {
            CancelAutoLogon(window);
            return;
        }
        if (AvgShowing()) OnAvgClick(window, at);
        return;
    case WM_MOUSEMOVE:
        if (AvgShowing()) OnAvgMove(window, at);
        return;
    default:
        return;
    }
}

void OnWizardTimer(HWND window) {
    if (MainScreenState() != kScreenWizardRun && AvgShowing()) OnAvgTick(window);
}

bool OnWizardSetCursor(HWND) {
    if (!AvgShowing() || !AvgOverChoice() || g_windowsVersion < 401) return false;
    SetCursor(g_handCursor ? g_handCursor : LoadCursor(nullptr, IDC_HAND));
    return true;
}

void OnWizardDrop(HWND window, HDROP drop) {
    char path[MAX_PATH * 2] = "";
    UINT length = DragQueryFileA(drop, 0, path, sizeof path);
    DragFinish(drop);
    // While a run is planned nothing may change under it.
    if (MainScreenState() == kScreenWizardRun || length == 0 || length >= sizeof path) return;
    InstallDroppedTheme(window, path);
}

void PaintWizardOverlay(HDC dc) {
    Selected font(dc, WizardGuiFont());
    int height = MainLogicalSize().cy;
    if (g_wizard.autoLogon) {
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(0xFF, 0, 0));
        TextOutA(dc, ScaleX(6), ScaleY(height - 14), AutoLogonNoticeText(), lstrlenA(AutoLogonNoticeText()));
    } else if (IsJapanese() && g_feedbackHint) {
        const char *hint = "ご意見・ご感想は、ノーマルモードのヘルプ メニューからお寄せください。";
        SetBkMode(dc, OPAQUE);
        SetBkColor(dc, RGB(0xFF, 0xD0, 0xE0));
        SetTextColor(dc, RGB(0x80, 0x00, 0x40));
        TextOutA(dc, ScaleX(6), ScaleY(height - 42), hint, lstrlenA(hint));
    }
}

bool WizardAutoLogonNotice() {
    return g_wizard.autoLogon;
}
