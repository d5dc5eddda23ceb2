// korvwin: the main window of class "korvane": its off-screen picture, the mode selection screen,
// the ring of buttons that the keyboard walks, the commands of the screens and the background music.
#include "korvane.h"
#include "dialogs/about.h"
#include "window/korvwin.h"
#include "window/normal.h"
#include "window/wizardm.h"
#include "resource.h"
#include "dialogs/update.h"
#include "planner/rnsrun.h"

#include "language.h"
#include "runlog.h"
#include "settings.h"
#include "winhandle.h"

#include <commctrl.h>
#include <shellapi.h>

namespace {

const char kLogModule[] = "korvane";
const char kMainClass[] = "korvane";

// ---- State of the window ------------------------------------------------------------------------

int g_screen = kScreenModeSelection;
SIZE g_logical = {kMainWidth, kMainHeight};
// The original procedures of the ring's buttons, by slot.
WNDPROC g_ringProcs[kRingSlots] = {};
// The ring button that had the focus last, so that it gets it back when the window does.
HWND g_ringFocus = nullptr;
// The control of the panel that had the focus when the window was deactivated.
HWND g_panelFocus = nullptr;
// Another thread asked the window to close (RequestMainWindowClose).
volatile LONG g_closeRequested = 0;

struct MemoryDcTraits {
    using Type = HDC;
    static Type Invalid() { return nullptr; }
    static void Close(Type dc) { DeleteDC(dc); }
};
using UniqueMemoryDc = UniqueWin32<MemoryDcTraits>;

// The picture of the mode selection and wizard screens; WM_PAINT copies from it.
struct OffScreen {
    UniqueMemoryDc dc;
    UniqueGdiObject bitmap;
    HGDIOBJ original = nullptr;

    void Reset() {
        if (dc && original) SelectObject(dc.Get(), original);
        original = nullptr;
        dc.Reset();
        bitmap.Reset();
    }
};
OffScreen g_offScreen;

HFONT GuiFont() {
    return g_guiFont ? g_guiFont : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

HFONT TitleFont() {
    return g_titleFont ? g_titleFont : GuiFont();
}

// ---- The mode selection screen ------------------------------------------------------------------

struct ModeButton {
    int id;
    TextPair text;
    int x, y, width, height; // width 0: the client width less 24
    bool leftAligned;
};

const ModeButton kModeButtons[] = {
    {IDC_MAIN_NORMAL,
     {"ノーマルモード : すべての設定を使えます。キーボードだけでも操作できます。",
      "Normal Mode : You can use all settings. You can use with keyboard only."},
     12,
     280,
     0,
     24,
     true},
    {IDC_MAIN_WIZARD,
     {"ウィザードモード : タイドウェルを初めて使う方向けです。", "Wizard mode : for beginners of Tidewell."},
     12,
     320,
     0,
     24,
     true},
    {IDC_MAIN_EXIT, {"終了", "Exit"}, 290, 370, 95, 24, false},
    {IDC_MAIN_HELP, {"ヘルプ", "Help(Japanese)"}, 390, 370, 95, 24, false},
    {IDC_MAIN_ABOUT, {"バージョン情報", "About"}, 490, 370, 95, 24, false},
};

const ToolTipText kModeTipsJa[] = {
    {IDC_MAIN_NORMAL, "ノーマルモードに切り替えます。"},
    {IDC_MAIN_WIZARD, "ウィザードモードに切り替えます。"},
    {IDC_MAIN_EXIT, "タイドウェルを終了します。"},
    {IDC_MAIN_HELP, "ヘルプを表示します。"},
    {IDC_MAIN_ABOUT, "プログラムの情報、バージョン番号、著作権を表示します。"},
    {0, nullptr},
};
const ToolTipText kModeTipsEn[] = {
    {IDC_MAIN_NORMAL, "Changes to Normal mode."},
    {IDC_MAIN_WIZARD, "Changes to wizard mode."},
    {IDC_MAIN_EXIT, "Quits Tidewell."},
    {IDC_MAIN_HELP, "Displays Japanese help."},
    {IDC_MAIN_ABOUT, "Displays program information, version number and copyright."},
    {0, nullptr},
};

const TextPair kWelcomeTitle = {"タイドウェルへようこそ", "Welcome to Tidewell"};
const TextPair kWelcomeText = {
    " 最近の OS は複雑になり、さまざまなアプリケーションが入り乱れて動いています。そのため、デフラグや"
    "スキャンディスクが何度もやり直しになっていつまでも終わらない、という状態がよく起こります。また、ハード"
    "ディスクの大容量化によって、デフラグやスキャンディスクにはとても時間がかかるようになりました。\r\n\r\n"
    " このプログラムは、常駐しているアプリケーションを減らした状態にシステムを切り替えてから再起動し、デフラグ"
    "とスキャンディスクを実行して、やり直しの回数を減らします。さらに、デフラグ/スキャンディスクの処理を自動化"
    "し、終了時には自動で電源を切るので、寝る前や出かける前にデフラグとスキャンディスクを実行しておくことが"
    "できます。",
    " OS is complicated recently and various applications are in the state of operating confusedly. For this "
    "reason, the state of saying that they do not finish even if redo occurs frequently and defragment and a "
    "scandisk pass till when may continue. Moreover, defragment and a scandisk came to take much time by large "
    "scale-ization of a hard disk.\r\n\r\n This program reboots a system, after changing it into the state where "
    "the application which resided permanently was reduced, it performs defragment and a scandisk, and it mitigates "
    "the number of times of redo. Moreover, it makes it possible to perform defragment and scandisk before sleeping "
    "and going to office before going to school etc. by automating processing of defragment/scandisk and shutting "
    "off a power supply automatically at the end."};

COLORREF Blend(COLORREF from, COLORREF to, int step, int steps) {
    auto mix = [&](int a, int b) { return a + (b - a) * step / (steps > 1 ? steps - 1 : 1); };
    return RGB(mix(GetRValue(from), GetRValue(to)), mix(GetGValue(from), GetGValue(to)),
               mix(GetBValue(from), GetBValue(to)));
}

} // namespace

// Lines of one pixel from the colour `from` at row `top` to `to` at the last of `rows` rows.
void ShadeRows(HDC dc, int top, int rows, COLORREF from, COLORREF to) {
    int width = ScaleX(g_logical.cx);
    for (int row = 0; row < rows; ++row) {
        UniqueGdiObject brush(CreateSolidBrush(Blend(from, to, row, rows)));
        RECT line = {0, top + row, width, top + row + 1};
        FillRect(dc, &line, static_cast<HBRUSH>(brush.Get()));
    }
}

void DrawRule(HDC dc, int logicalY) {
    int y = ScaleY(logicalY);
    RECT shadow = {ScaleX(8), y, ScaleX(g_logical.cx - 8), y + 1};
    FillRect(dc, &shadow, GetSysColorBrush(COLOR_BTNSHADOW));
}

namespace {

void DrawModeSelection() {
    HDC dc = g_offScreen.dc.Get();
    if (!dc) return;
    RECT all = {0, 0, ScaleX(g_logical.cx), ScaleY(g_logical.cy)};
    FillRect(dc, &all, g_whiteBrush ? g_whiteBrush : static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    ShadeRows(dc, 0, ScaleY(64), RGB(0x8C, 0xC8, 0xA0), RGB(0xFF, 0xFF, 0xFF));
    int bottom = ScaleY(16);
    ShadeRows(dc, all.bottom - bottom, bottom, RGB(0xFF, 0xFF, 0xF0), RGB(0xFF, 0xFF, 0x00));
    DrawRule(dc, 360);

    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0x10, 0x30, 0x50));
    {
        Selected font(dc, TitleFont());
        TextOutA(dc, ScaleX(16), ScaleY(18), kWelcomeTitle.Get(), lstrlenA(kWelcomeTitle.Get()));
    }
    Selected font(dc, GuiFont());
    SetTextColor(dc, RGB(0, 0, 0));
    RECT text = {ScaleX(12), ScaleY(76), ScaleX(g_logical.cx - 12), ScaleY(272)};
    DrawTextA(dc, kWelcomeText.Get(), -1, &text, DT_WORDBREAK | DT_NOPREFIX);
}

// A picture of the logical size; when it cannot be made, the one there is stays.
bool CreateOffScreen(HWND window) {
    HDC screen = GetDC(window);
    if (!screen) return false;
    OffScreen made;
    made.dc.Reset(CreateCompatibleDC(screen));
    made.bitmap.Reset(CreateCompatibleBitmap(screen, ScaleX(g_logical.cx), ScaleY(g_logical.cy)));
    ReleaseDC(window, screen);
    if (!made.dc || !made.bitmap) {
        RUNLOG(Tx("画面の描画用ビットマップを作成できません。", "Cannot create the bitmap of the screen."));
        return false;
    }
    g_offScreen.Reset();
    g_offScreen.dc = std::move(made.dc);
    g_offScreen.bitmap = std::move(made.bitmap);
    g_offScreen.original = SelectObject(g_offScreen.dc.Get(), g_offScreen.bitmap.Get());
    RECT all = {0, 0, ScaleX(g_logical.cx), ScaleY(g_logical.cy)};
    FillRect(g_offScreen.dc.Get(), &all,
             g_whiteBrush ? g_whiteBrush : static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    return true;
}

// ---- Buttons and the ring -----------------------------------------------------------------------

HWND CreateModeButton(HWND window, const ModeButton &button) {
    DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON | (button.leftAligned ? BS_LEFT : 0);
    int width = button.width ? button.width : g_logical.cx - 24;
    HWND control = CreateWindowExA(0, "BUTTON", button.text.Get(), style, ScaleX(button.x), ScaleY(button.y),
                                   ScaleX(width), ScaleY(button.height), window,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(button.id)), ModuleInstance(), nullptr);
    if (!control) return nullptr;
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(GuiFont()), FALSE);
    JoinButtonRing(control);
    return control;
}

void CreateModeButtons(HWND window) {
    for (const ModeButton &button : kModeButtons)
        CreateModeButton(window, button);
    AddToolTips(window, ToolTipTable(kModeTipsJa, kModeTipsEn));
}

void ShowModeButtons(HWND window, int show) {
    for (const ModeButton &button : kModeButtons)
        ShowWindow(GetDlgItem(window, button.id), show);
}

void MoveRingFocus(HWND window, int from, bool backwards) {
    bool usable[kRingSlots];
    for (int slot = 0; slot < kRingSlots; ++slot) {
        HWND button = GetDlgItem(window, kRingIds[slot]);
        usable[slot] = button && IsWindowEnabled(button) && IsWindowVisible(button);
    }
    int next = NextRingSlot(usable, from, backwards);
    if (next >= 0) SetFocus(GetDlgItem(window, kRingIds[next]));
}

HCURSOR HandCursor() {
    return g_handCursor ? g_handCursor : LoadCursor(nullptr, IDC_HAND);
}

LRESULT CALLBACK RingButtonProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam) {
    int slot = RingSlotOf(GetDlgCtrlID(button));
    WNDPROC original = slot >= 0 ? g_ringProcs[slot] : nullptr;
    if (!original) return DefWindowProcA(button, message, wParam, lParam);
    switch (message) {
    case WM_KEYDOWN:
        if (wParam == VK_DOWN || wParam == VK_UP || wParam == VK_TAB) {
            bool backwards = wParam == VK_UP || (wParam == VK_TAB && GetKeyState(VK_SHIFT) < 0);
            MoveRingFocus(GetParent(button), slot, backwards);
            return 0;
        }
        break;
    case WM_SETFOCUS:
        g_ringFocus = button;
        break;
    case WM_SETCURSOR:
        // Set here rather than on WM_MOUSEMOVE, which the class cursor would undo at once.
        if (g_windowsVersion > 400 && LOWORD(lParam) == HTCLIENT) {
            SetCursor(HandCursor());
            return TRUE;
        }
        break;
    default:
        break;
    }
    return CallWindowProcA(original, button, message, wParam, lParam);
}

void FocusRingButton(HWND window, int id) {
    HWND button = GetDlgItem(window, id);
    if (button && IsWindowEnabled(button) && IsWindowVisible(button)) {
        SetFocus(button);
        g_ringFocus = button;
    }
}

// ---- Placement ----------------------------------------------------------------------------------

void CentreMainWindow(HWND window) {
    SIZE client = {ScaleX(g_logical.cx), ScaleY(g_logical.cy)};
    SIZE screen = {GetSystemMetrics(SM_CXFULLSCREEN), GetSystemMetrics(SM_CYFULLSCREEN)};
    SIZE frame = {GetSystemMetrics(SM_CXDLGFRAME), GetSystemMetrics(SM_CYDLGFRAME)};
    WindowPlacement place = CentredPlacement(client, screen, frame, GetSystemMetrics(SM_CYCAPTION));
    SetWindowPos(window, nullptr, place.x, place.y, place.width, place.height, SWP_NOZORDER | SWP_NOACTIVATE);
}

// Sizes the window so that its client area holds the panel below the menu bar.
void FitToPanel(HWND window, HWND panel) {
    RECT panelRect;
    GetWindowRect(panel, &panelRect);
    int width = panelRect.right - panelRect.left, height = panelRect.bottom - panelRect.top;
    RECT outer = {0, 0, width, height};
    AdjustWindowRectEx(&outer, static_cast<DWORD>(GetWindowLongPtrA(window, GWL_STYLE)), GetMenu(window) != nullptr,
                       static_cast<DWORD>(GetWindowLongPtrA(window, GWL_EXSTYLE)));
    SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // A menu bar that wraps onto a second line takes more than one line's height.
    RECT client;
    GetClientRect(window, &client);
    int lacking = height - client.bottom;
    if (lacking > 0)
        SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top + lacking,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void FocusPanel(HWND panel) {
    for (int id : kRunKindIds) {
        if (IsDlgButtonChecked(panel, id) == BST_CHECKED) {
            SetFocus(GetDlgItem(panel, id));
            return;
        }
    }
    HWND first = GetNextDlgTabItem(panel, nullptr, FALSE);
    if (first) SetFocus(first);
}

// ---- Screens ------------------------------------------------------------------------------------

bool ShowNormalPanel(HWND window) {
    HWND panel = CreateNormalPanel(window);
    if (!panel) return false;
    FitToPanel(window, panel);
    FocusPanel(panel);
    return true;
}

void EnterNormalMode(HWND window) {
    EnableWindow(GetDlgItem(window, IDC_MAIN_NORMAL), FALSE);
    EnableWindow(GetDlgItem(window, IDC_MAIN_WIZARD), TRUE);
    int previous = g_screen;
    g_screen = kScreenNormal;
    if (!WriteSettingDword(setting::mode.name, kScreenNormal)) ReportRegistryError(kSettingsLocation, kLogModule);
    LeaveWizard(window);
    if (g_normalPanel) return; // already there: the panel stays as it is
    if (!ShowNormalPanel(window)) {
        RUNLOG(Tx("ノーマルモードの画面を作成できません。", "Cannot create the panel of the normal mode."));
        g_screen = previous;
        EnableWindow(GetDlgItem(window, IDC_MAIN_NORMAL), TRUE);
        return;
    }
    ShowModeButtons(window, SW_HIDE);
    DragAcceptFiles(window, FALSE);
}

// The two mode buttons get their short texts, centred, for the row at the bottom of the wizard.
void ShortenModeButtons(HWND window) {
    const TextPair texts[] = {{"ノーマルモード", "Normal mode"}, {"ウィザードモード", "Wizard mode"}};
    const int ids[] = {IDC_MAIN_NORMAL, IDC_MAIN_WIZARD};
    for (int i = 0; i < 2; ++i) {
        HWND button = GetDlgItem(window, ids[i]);
        SetWindowTextA(button, texts[i].Get());
        SetWindowLongPtrA(button, GWL_STYLE, GetWindowLongPtrA(button, GWL_STYLE) & ~static_cast<LONG_PTR>(BS_LEFT));
    }
}

void EnterWizardMode(HWND window) {
    DestroyNormalPanel();
    g_panelFocus = nullptr;
    if (!WriteSettingDword(setting::mode.name, kScreenWizard)) ReportRegistryError(kSettingsLocation, kLogModule);
    ShortenModeButtons(window);
    ShowModeButtons(window, SW_SHOW);
    for (const ModeButton &button : kModeButtons)
        EnableWindow(GetDlgItem(window, button.id), button.id != IDC_MAIN_WIZARD);
    g_screen = kScreenWizard;
    CreateWizardButtons(window);
    SetMainClientSize(window, g_logical, false);
    ShowWizardPage(window, kScreenWizard);
    DragAcceptFiles(window, TRUE);
}

void RebuildNormalPanel(HWND window) {
    if (g_screen != kScreenNormal) return;
    DestroyNormalPanel();
    g_panelFocus = nullptr;
    ShowNormalPanel(window);
}

void ShowScreenHelp(HWND window) {
    if (g_screen >= kScreenWizard)
        ShowWizardHelp(window);
    else
        ShowHelp(window, kGeneralHelpTopic);
}

void OnCommand(HWND window, WPARAM wParam, LPARAM lParam) {
    switch (LOWORD(wParam)) {
    case IDC_MAIN_NORMAL:
        EnterNormalMode(window);
        return;
    case IDC_MAIN_WIZARD:
        EnterWizardMode(window);
        return;
    case IDC_MAIN_EXIT:
        DestroyWindow(window);
        return;
    case IDC_MAIN_HELP:
        ShowScreenHelp(window);
        return;
    case IDC_MAIN_ABOUT:
        // The button, the Help menu's item and F10.
        ShowAboutDialog(window);
        return;
    default:
        if (LOWORD(wParam) >= IDC_MAIN_ANSWER1 && LOWORD(wParam) <= IDC_MAIN_ANSWER5 && g_screen >= kScreenWizard)
            OnWizardAnswer(window, LOWORD(wParam) - IDC_MAIN_ANSWER1 + 1);
        else if (g_normalPanel)
            SendMessageA(g_normalPanel, WM_COMMAND, wParam, lParam);
        return;
    }
}

void OnPaint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    if (dc && g_screen != kScreenNormal && g_offScreen.dc) {
        const RECT &r = paint.rcPaint;
        BitBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, g_offScreen.dc.Get(), r.left, r.top, SRCCOPY);
        if (g_screen >= kScreenWizard) PaintWizardOverlay(dc);
    }
    EndPaint(window, &paint);
}

void OnSetFocus(HWND window) {
    if (g_normalPanel) {
        if (g_panelFocus && IsWindow(g_panelFocus) && IsChild(g_normalPanel, g_panelFocus))
            SetFocus(g_panelFocus);
        else
            FocusPanel(g_normalPanel);
        return;
    }
    if (g_ringFocus && IsWindow(g_ringFocus) && IsWindowEnabled(g_ringFocus) && IsWindowVisible(g_ringFocus))
        SetFocus(g_ringFocus);
    else
        FocusRingButton(window, IDC_MAIN_NORMAL);
}

void OnActivate(WPARAM wParam) {
    if (LOWORD(wParam) != WA_INACTIVE || !g_normalPanel) return;
    HWND focus = GetFocus();
    if (focus && IsChild(g_normalPanel, focus)) g_panelFocus = focus;
}

// A request to close: granted unless the planner is at work (it closes the window itself when the
// run is under way, and otherwise the user goes on with it).
void OnCloseRequest(HWND window) {
    InterlockedExchange(&g_closeRequested, 0);
    if (RunBeingPlanned()) {
        RUNLOG(Tx("Rinsa 実行の準備中のため、ウィンドウを閉じませんでした。",
                  "The window was not closed: a Rinsa run is being planned."));
        return;
    }
    DestroyWindow(window);
}

LRESULT OnCreate(HWND window) {
    // Published in one step: a close request from another thread either finds the window or
    // leaves its flag for the check at the end of this function.
    InterlockedExchangePointer(reinterpret_cast<PVOID volatile *>(&g_mainWindow), window);
    g_screen = ScreenOfStoredMode(ReadSettingDword(setting::mode.name));
    g_ringFocus = g_panelFocus = nullptr;
    CreateOffScreen(window);
    CentreMainWindow(window);
    CreateModeButtons(window);
    if (g_screen == kScreenModeSelection) DrawModeSelection();
    if (InterlockedCompareExchange(&g_closeRequested, 0, 0)) PostMessageA(window, kCloseRequestMessage, 0, 0);
    // The update check started at start may ask its questions now, owned by this window.
    ReleaseUpdateBoxes();
    return 0;
}

void OnDestroy(HWND window) {
    StopBackgroundMusic();
    KillTimer(window, kWizardTimerId);
    // The menu belongs to the program, not to the window: taken off before the window goes.
    DestroyNormalPanel();
    g_offScreen.Reset();
    g_ringFocus = g_panelFocus = nullptr;
    if (g_mainWindow == window) g_mainWindow = nullptr;
    PostQuitMessage(0);
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        return OnCreate(window);
    case WM_COMMAND:
        OnCommand(window, wParam, lParam);
        return 0;
    case WM_PAINT:
        OnPaint(window);
        return 0;
    case WM_ERASEBKGND:
        // The off-screen picture covers every pixel; erasing first would only flicker.
        if (g_screen != kScreenNormal && g_offScreen.dc) return 1;
        break;
    case WM_CTLCOLORBTN:
        return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
    case WM_SETFOCUS:
        OnSetFocus(window);
        return 0;
    case WM_ACTIVATE:
        OnActivate(wParam);
        break;
    case WM_HELP:
        ShowScreenHelp(window);
        return TRUE;
    case WM_MENUSELECT:
        ShowMenuDescription(window, wParam, lParam);
        return 0;
    case MM_MCINOTIFY:
        OnMusicNotify(wParam, window);
        return 0;
    case WM_DROPFILES:
        // Theme archives are the wizard's; nothing else is taken from a drop on the window.
        if (g_screen >= kScreenWizard)
            OnWizardDrop(window, reinterpret_cast<HDROP>(wParam));
        else
            DragFinish(reinterpret_cast<HDROP>(wParam));
        return 0;
    case WM_TIMER:
        if (wParam == kWizardTimerId && g_screen >= kScreenWizard) OnWizardTimer(window);
        return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MOUSEMOVE:
        if (g_screen >= kScreenWizard) OnWizardMouse(window, message, wParam, lParam);
        return 0;
    case WM_SETCURSOR:
        if (g_screen >= kScreenWizard && LOWORD(lParam) == HTCLIENT && OnWizardSetCursor(window)) return TRUE;
        break;
    case kRebuildPanelMessage:
        RebuildNormalPanel(window);
        return 0;
    case kCloseRequestMessage:
        OnCloseRequest(window);
        return 0;
    case WM_DESTROY:
        OnDestroy(window);
        return 0;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

// ---- The rules ----------------------------------------------------------------------------------

const int kRingIds[kRingSlots] = {IDC_MAIN_NORMAL,      IDC_MAIN_WIZARD,      IDC_MAIN_ANSWER1, IDC_MAIN_ANSWER1 + 1,
                                  IDC_MAIN_ANSWER1 + 2, IDC_MAIN_ANSWER1 + 3, IDC_MAIN_ANSWER5, IDC_MAIN_EXIT,
                                  IDC_MAIN_HELP,        IDC_MAIN_ABOUT};

int NextRingSlot(const bool usable[kRingSlots], int from, bool backwards) {
    for (int step = 1; step <= kRingSlots; ++step) {
        int slot = ((from + (backwards ? -step : step)) % kRingSlots + kRingSlots) % kRingSlots;
        if (usable[slot]) return slot;
    }
    return -1;
}

int RingSlotOf(int id) {
    for (int slot = 0; slot < kRingSlots; ++slot)
        if (kRingIds[slot] == id) return slot;
    return -1;
}

WindowPlacement CentredPlacement(SIZE client, SIZE screen, SIZE frame, int caption) {
    WindowPlacement place;
    place.x = screen.cx > client.cx ? (screen.cx - client.cx) / 2 : 0;
    place.y = screen.cy > client.cy ? (screen.cy - client.cy) / 2 : 0;
    place.width = client.cx + 2 * frame.cx;
    place.height = client.cy + 2 * frame.cy + caption;
    return place;
}

int ScreenOfStoredMode(LONG mode) {
    if (mode == kScreenNormal) return kScreenNormal;
    // Any page of the wizard, or a run it started, opens the wizard at its first page.
    if (mode >= kScreenWizard && mode <= kScreenWizardRun) return kScreenWizard;
    return kScreenModeSelection;
}

int InitialScreenCommand(int screen) {
    if (screen == kScreenNormal) return IDC_MAIN_NORMAL;
    if (screen == kScreenWizard) return IDC_MAIN_WIZARD;
    return 0;
}

int MainScreenState() {
    return g_screen;
}

void SetMainScreenState(int state) {
    g_screen = state;
}

HDC MainOffScreenDc() {
    return g_offScreen.dc.Get();
}

SIZE MainLogicalSize() {
    return g_logical;
}

bool SetMainClientSize(HWND window, SIZE logical, bool centre) {
    if (logical.cx != g_logical.cx || logical.cy != g_logical.cy) {
        SIZE previous = g_logical;
        g_logical = logical;
        if (!CreateOffScreen(window)) {
            g_logical = previous;
            return false;
        }
    }
    if (centre) {
        CentreMainWindow(window);
        return true;
    }
    RECT outer = {0, 0, ScaleX(g_logical.cx), ScaleY(g_logical.cy)};
    AdjustWindowRectEx(&outer, static_cast<DWORD>(GetWindowLongPtrA(window, GWL_STYLE)), GetMenu(window) != nullptr,
                       static_cast<DWORD>(GetWindowLongPtrA(window, GWL_EXSTYLE)));
    SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    return true;
}

void PlaceModeButtonRow(HWND window, bool autoLogon) {
    struct Place {
        int id, x, width;
    };
    const Place places[] = {{IDC_MAIN_NORMAL, 8, 128},
                            {IDC_MAIN_WIZARD, 140, 128},
                            {IDC_MAIN_EXIT, 290, 95},
                            {IDC_MAIN_HELP, 390, 95},
                            {IDC_MAIN_ABOUT, 490, 95}};
    int y = g_logical.cy - (autoLogon ? 37 : 31), height = autoLogon ? 22 : 24;
    for (const Place &place : places)
        SetWindowPos(GetDlgItem(window, place.id), nullptr, ScaleX(place.x), ScaleY(y), ScaleX(place.width),
                     ScaleY(height), SWP_NOZORDER | SWP_NOACTIVATE);
}

namespace {

int Scale(int logical, double scale) {
    // Before the start-up has measured the screen, one logical unit is one pixel.
    if (!(scale > 0)) scale = 1.0;
    return static_cast<int>(logical * scale + 0.5);
}

} // namespace

int ScaleX(int logical) {
    return Scale(logical, g_dpiScaleX);
}

int ScaleY(int logical) {
    return Scale(logical, g_dpiScaleY);
}

void RequestMainWindowClose() {
    InterlockedExchange(&g_closeRequested, 1);
    HWND window = static_cast<HWND>(
        InterlockedCompareExchangePointer(reinterpret_cast<PVOID volatile *>(&g_mainWindow), nullptr, nullptr));
    if (window) PostMessageA(window, kCloseRequestMessage, 0, 0);
}

HINSTANCE ModuleInstance() {
    return ResourceInstance();
}

void JoinButtonRing(HWND button) {
    int slot = RingSlotOf(GetDlgCtrlID(button));
    if (slot < 0) return;
    WNDPROC previous =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrA(button, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RingButtonProc)));
    // A button made again for the same slot keeps the class procedure of the first.
    if (previous != RingButtonProc) g_ringProcs[slot] = previous;
}

// ---- Background music ---------------------------------------------------------------------------

MciSendFunction g_mciSend = mciSendStringA;

namespace {

std::string g_musicPath;

} // namespace

std::string MciCommand(const char *verb, const std::string &path, const char *tail) {
    std::string command = verb;
    command.append(" \"").append(path).append("\"");
    if (tail) command.append(" ").append(tail);
    return command;
}

void PlayBackgroundMusic(const char *path, HWND notify) {
    if (!path || !*path || _stricmp(g_musicPath.c_str(), path) == 0) return;
    StopBackgroundMusic();
    if (g_mciSend(MciCommand("open", path).c_str(), nullptr, 0, nullptr) != 0) {
        RUNLOG2(Tx("BGM を開けません - ", "Cannot open the background music - "), path);
        return;
    }
    g_musicPath = path;
    g_mciSend(MciCommand("play", g_musicPath, "notify").c_str(), nullptr, 0, notify);
}

void StopBackgroundMusic() {
    if (g_musicPath.empty()) return;
    g_mciSend(MciCommand("stop", g_musicPath).c_str(), nullptr, 0, nullptr);
    g_mciSend(MciCommand("close", g_musicPath).c_str(), nullptr, 0, nullptr);
    g_musicPath.clear();
}

void OnMusicNotify(WPARAM flags, HWND notify) {
    if (flags != MCI_NOTIFY_SUCCESSFUL || g_musicPath.empty()) return;
    g_mciSend(MciCommand("stop", g_musicPath).c_str(), nullptr, 0, nullptr);
    g_mciSend(MciCommand("play", g_musicPath, "from 0 notify").c_str(), nullptr, 0, notify);
}

const std::string &BackgroundMusicPath() {
    return g_musicPath;
}

// ---- The window ---------------------------------------------------------------------------------

bool RegisterMainWindowClass() {
    WNDCLASSA windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = ModuleInstance();
    windowClass.hIcon = LoadIconA(ModuleInstance(), MAKEINTRESOURCEA(IDI_KORVANE));
    windowClass.hCursor = g_arrowCursor ? g_arrowCursor : LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kMainClass;
    if (RegisterClassA(&windowClass)) return true;
    return GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND CreateMainWindow() {
    // Placed and sized by WM_CREATE once the DPI scale is applied.
    return CreateWindowExA(0, kMainClass, ProductTitle(), WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, ModuleInstance(), nullptr);
}

void ShowInitialScreen(HWND mainWindow) {
    int command = InitialScreenCommand(g_screen);
    if (command)
        SendMessageA(mainWindow, WM_COMMAND, command, 0);
    else
        FocusRingButton(mainWindow, IDC_MAIN_NORMAL);
}
