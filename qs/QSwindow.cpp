// The QS window (class WarnDlg): the notification window, the black screen, the ScanDisk watcher,
// the mouse nudge, the refusal of suspend, and the timed notice dialog. Everything here runs on the
// window thread; the worker reaches it only through SendMessage.
#include "QS.h"

#include "language.h"
#include "resource.h"
#include "runlog.h"
#include "settings.h"

#include <cstdio>
#include <cstring>

namespace {

const char kWindowClass[] = "WarnDlg";
constexpr int kWidth = 400, kHeight = 100;
constexpr size_t kNoticeLength = 79;

constexpr UINT_PTR kWatcherTimer = 5310;
constexpr UINT_PTR kBlackMessageTimer = 5323;
constexpr UINT_PTR kNudgeTimer = 15532;
constexpr UINT_PTR kNoticeTimer = 1956;

struct WindowState {
    char notice[kNoticeLength + 1] = "";
    bool black = false;
    bool lifted = false;
    bool messageHidden = false; // set once, ten seconds after the first black screen
    bool watcherBusy = false;
};

WindowState g_state;
NoticeParams g_noticeParams;

// ---- Settings the window reads -----------------------------------------------------------------

void StartMouseNudge(HWND window) {
    REGA key;
    if (!OpenSettings(key, OPEN_CREATE)) return;
    LONG nudge = ReadSetting(key, setting::mouselr);
    if (nudge != 0) SetTimer(window, kNudgeTimer, 50000, nullptr);
    // 2 asks for one run only.
    if (nudge == 2) key.WriteIntegerA(setting::mouselr.name, 0);
    key.CloseKey();
}

void CentreWindow(HWND window) {
    int x = (GetSystemMetrics(SM_CXFULLSCREEN) - kWidth) / 2;
    int y = (GetSystemMetrics(SM_CYFULLSCREEN) - kHeight) / 2;
    SetWindowPos(window, nullptr, x, y, kWidth, kHeight, SWP_NOZORDER | SWP_NOACTIVATE);
}

// ---- Notification window ------------------------------------------------------------------------

void ShowNotice(HWND window, const char *text) {
    if (g_state.black) return;
    REGA key;
    bool opened = OpenSettings(key, OPEN_CREATE);
    LONG alpha = opened ? ReadSetting(key, setting::alpha) : setting::alpha.defaultValue;
    LONG corner = opened ? ReadSetting(key, setting::jama_window) : setting::jama_window.defaultValue;
    if (opened) key.CloseKey();
    if (alpha <= 0) return;
    if (alpha < 255) {
        SetWindowLongPtrA(window, GWL_EXSTYLE, GetWindowLongPtrA(window, GWL_EXSTYLE) | WS_EX_LAYERED);
        SetLayeredWindowAttributes(window, 0, static_cast<BYTE>(alpha), LWA_ALPHA);
    }
    if (corner != 0)
        SetWindowPos(window, nullptr, GetSystemMetrics(SM_CXFULLSCREEN) - kWidth,
                     GetSystemMetrics(SM_CYFULLSCREEN) - kHeight, kWidth, kHeight, SWP_NOZORDER | SWP_NOACTIVATE);
    strncpy(g_state.notice, text ? text : "", kNoticeLength);
    g_state.notice[kNoticeLength] = '\0';
    ShowWindow(window, SW_SHOWNOACTIVATE);
    InvalidateRect(window, nullptr, TRUE);
    UpdateWindow(window);
}

void HideNotice(HWND window) {
    if (!g_state.black) ShowWindow(window, SW_HIDE);
}

// ---- Black screen -------------------------------------------------------------------------------

void Cover(HWND window) {
    SetWindowPos(window, HWND_TOPMOST, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                 SWP_NOACTIVATE);
}

void BlackScreenOn(HWND window) {
    g_state.black = true;
    // Fully opaque, whatever the notification's alpha was, and sized before it shows, so the
    // small window never flashes up first.
    SetWindowLongPtrA(window, GWL_EXSTYLE, GetWindowLongPtrA(window, GWL_EXSTYLE) & ~WS_EX_LAYERED);
    Cover(window);
    ShowWindow(window, SW_SHOWNOACTIVATE);
    InvalidateRect(window, nullptr, TRUE);
    ShowCursor(FALSE);
    RUNLOG(Tx("画面保護を開始しました : auxvso.", "Turn on : auxvso."));
    SetTimer(window, kBlackMessageTimer, 10000, nullptr);
}

void BlackScreenOff(HWND window) {
    KillTimer(window, kBlackMessageTimer);
    g_state.black = false;
    g_state.lifted = false;
    CentreWindow(window);
    ShowWindow(window, SW_HIDE);
    ShowCursor(TRUE);
    RUNLOG(Tx("画面保護を終了しました : auxvso.", "Turn off : auxvso."));
}

// A click lifts the black screen to a corner square (cursor shown); a click there covers again.
void ToggleLift(HWND window) {
    if (g_state.lifted) {
        g_state.lifted = false;
        ShowCursor(FALSE);
        Cover(window);
    } else {
        g_state.lifted = true;
        ShowCursor(TRUE);
        SetWindowPos(window, HWND_TOPMOST, 0, 0, 32, 32, SWP_NOACTIVATE);
    }
}

void PaintBlack(HDC dc) {
    RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    FillRect(dc, &screen, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    if (g_state.messageHidden) return;
    SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetTextColor(dc, RGB(0, 255, 0));
    SetBkColor(dc, RGB(0, 0, 0));
    if (!IsJapanese()) {
        const char text[] = "Black Screen Saver is activated.";
        TextOutA(dc, 4, 4, text, int(strlen(text)));
        return;
    }
    static const char *const kLines[] = {
        "画面保護が有効です。クリックすると、しばらくの間解除されます。",
        "Rinsa を実行中です。キーボードやマウスには触れないでください。",
        "このメッセージは 10 秒後に消えます。",
    };
    TEXTMETRICA metrics;
    GetTextMetricsA(dc, &metrics);
    int lineHeight = metrics.tmHeight + metrics.tmExternalLeading;
    for (int i = 0; i < 3; ++i)
        TextOutA(dc, 4, 4 + i * lineHeight, kLines[i], int(strlen(kLines[i])));
}

void OnPaint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    if (g_state.black) {
        PaintBlack(dc);
    } else {
        SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
        SetBkMode(dc, TRANSPARENT);
        TextOutA(dc, 20, 40, g_state.notice, int(strlen(g_state.notice)));
    }
    EndPaint(window, &paint);
}

void OnLeftButton(HWND window) {
    if (!g_state.black) {
        // The notification can be dragged anywhere by its body.
        ReleaseCapture();
        PostMessageA(window, WM_NCLBUTTONDOWN, HTCAPTION, 0);
        return;
    }
    ToggleLift(window);
}

// ---- Timers -------------------------------------------------------------------------------------

// Keeps Windows from taking the machine for idle: one pixel right and back.
void NudgeMouse() {
    POINT where;
    GetCursorPos(&where);
    mouse_event(MOUSEEVENTF_MOVE, 1, 0, 0, 0);
    mouse_event(MOUSEEVENTF_MOVE, static_cast<DWORD>(-1), 0, 0, 0);
    SetCursorPos(where.x, where.y);
}

void OnTimer(HWND window, UINT_PTR id) {
    switch (id) {
    case kNudgeTimer:
        NudgeMouse();
        break;
    case kBlackMessageTimer:
        g_state.messageHidden = true;
        InvalidateRect(window, nullptr, FALSE);
        KillTimer(window, kBlackMessageTimer);
        break;
    case kWatcherTimer:
        if (g_state.watcherBusy) break;
        g_state.watcherBusy = true;
        WatchScanDisk();
        g_state.watcherBusy = false;
        break;
    }
}

LRESULT OnAppMessage(HWND window, UINT message, LPARAM lParam) {
    switch (message - WM_APP) {
    case 0:
        ShowNotice(window, reinterpret_cast<const char *>(lParam));
        break;
    case 1:
        HideNotice(window);
        break;
    case 2:
        RUNLOG(Tx("監視を開始しました: auxssc.", "Turn on: auxssc."));
        SetTimer(window, kWatcherTimer, 1000, nullptr);
        break;
    case 3:
        RUNLOG(Tx("監視を終了しました: auxssc.", "Turn off: auxssc."));
        KillTimer(window, kWatcherTimer);
        break;
    case 4:
        BlackScreenOn(window);
        break;
    case 5:
        BlackScreenOff(window);
        break;
    case 6:
        if (g_state.black && !g_state.lifted) ToggleLift(window);
        break;
    case 7:
        OpenModelessNotice(window);
        break;
    }
    return 0;
}

LRESULT CALLBACK QsWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        SetWindowLongPtrA(window, GWL_EXSTYLE, GetWindowLongPtrA(window, GWL_EXSTYLE) | WS_EX_NOACTIVATE);
        g_state.notice[0] = '\0';
        StartMouseNudge(window);
        return 0;
    case WM_DESTROY:
        // The worker and "QS.EXE /X" end the process this way.
        PostQuitMessage(0);
        return 0;
    case WM_CLOSE:
    case WM_IME_SETCONTEXT:
        return 0; // nobody closes the run from outside
    case WM_POWERBROADCAST:
        return wParam == PBT_APMQUERYSUSPEND ? BROADCAST_QUERY_DENY : TRUE;
    case WM_PAINT:
        OnPaint(window);
        return 0;
    case WM_TIMER:
        OnTimer(window, wParam);
        return 0;
    case WM_LBUTTONDOWN:
        OnLeftButton(window);
        return 0;
    default:
        if (message >= kQsShowNotice && message <= kQsOpenNotice) return OnAppMessage(window, message, lParam);
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

// ---- ScanDisk watcher ---------------------------------------------------------------------------

// The Japanese question begins with these 20 bytes: "Windows" and the words for "or other".
const char kScanDiskJapanese[] = "Windows またはその他";
const char kScanDiskEnglish[] = "ScanDisk has restarted 10 times because";

BOOL CALLBACK FindTenTimesQuestion(HWND child, LPARAM topLevel) {
    char text[521] = "";
    GetWindowTextA(child, text, sizeof text);
    if (!IsScanDiskQuestion(text)) return TRUE;
    HWND question = reinterpret_cast<HWND>(topLevel);
    SetActiveWindow(question);
    SetForegroundWindow(question);
    keybd_event('N', 0, 0, 0);
    keybd_event('N', 0, KEYEVENTF_KEYUP, 0);
    RUNLOG(Tx("「10 回...」のダイアログを閉じました。", "Closed \"10 times...\" dialog."));
    return FALSE;
}

BOOL CALLBACK VisitTopLevel(HWND window, LPARAM) {
    EnumChildWindows(window, FindTenTimesQuestion, reinterpret_cast<LPARAM>(window));
    return TRUE;
}

// ---- Timed notice dialog ------------------------------------------------------------------------

void CloseNotice(HWND dialog) {
    KillTimer(dialog, kNoticeTimer);
    if (g_noticeParams.modeless)
        DestroyWindow(dialog);
    else
        EndDialog(dialog, 0);
}

INT_PTR CALLBACK NoticeProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(dialog, GWL_EXSTYLE, GetWindowLongPtrA(dialog, GWL_EXSTYLE) | WS_EX_NOACTIVATE);
        g_currentNotice = dialog;
        SetDlgItemTextA(dialog, IDC_NOTICE_TEXT, g_noticeParams.text.c_str());
        SetTimer(dialog, kNoticeTimer, g_noticeParams.timeout, nullptr);
        if (g_noticeParams.closeDisabled) EnableWindow(GetDlgItem(dialog, IDCANCEL), FALSE);
        return TRUE;
    case WM_TIMER:
        if (wParam == kNoticeTimer) CloseNotice(dialog);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) CloseNotice(dialog);
        return TRUE;
    case WM_DESTROY:
        g_currentNotice = nullptr;
        return FALSE;
    }
    return FALSE;
}

} // namespace

HWND g_currentNotice = nullptr;

bool IsScanDiskQuestion(const char *text) {
    return strncmp(text, kScanDiskEnglish, strlen(kScanDiskEnglish)) == 0 ||
           strncmp(text, kScanDiskJapanese, strlen(kScanDiskJapanese)) == 0;
}

void WatchScanDisk() {
    EnumWindows(VisitTopLevel, 0);
}

int RunMessageLoop(HANDLE worker, DWORD timeout) {
    MSG message;
    BOOL got;
    while ((got = GetMessageA(&message, nullptr, 0, 0)) != 0 && got != -1) {
        // The timed notice gets its keys (Escape closes it) like any dialog.
        if (g_currentNotice && IsDialogMessageA(g_currentNotice, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    // The worker ends the loop with its WM_DESTROY and still writes "mainThread:90" after it; the
    // run log it writes to lives until WinMain has returned, so WinMain must not return before it.
    if (worker && WaitForSingleObject(worker, timeout) == WAIT_TIMEOUT) {
        char text[160];
        snprintf(text, sizeof text,
                 Tx("作業スレッドが %lu 秒以内に終了しませんでした。待たずに終了します。",
                    "The worker thread did not end within %lu seconds; QS ends without it."),
                 static_cast<unsigned long>(timeout / 1000));
        RUNLOG(text);
    }
    return got == 0 ? static_cast<int>(message.wParam) : 0;
}

bool RegisterQsWindowClass(HINSTANCE instance) {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    windowClass.lpfnWndProc = QsWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_SIZEALL);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kWindowClass;
    return RegisterClassExA(&windowClass) != 0;
}

HWND CreateQsWindow(HINSTANCE instance, unsigned short windowsVersion) {
    DWORD exStyle = WS_EX_TOOLWINDOW | WS_EX_TOPMOST;
    if (windowsVersion > 500) exStyle |= WS_EX_NOACTIVATE;
    int x = (GetSystemMetrics(SM_CXFULLSCREEN) - kWidth) / 2;
    int y = (GetSystemMetrics(SM_CYFULLSCREEN) - kHeight) / 2;
    return CreateWindowExA(exStyle, kWindowClass, kWindowClass, WS_POPUP | WS_BORDER, x, y, kWidth, kHeight, nullptr,
                           nullptr, instance, nullptr);
}

void ShowTimedNotice(const std::string &text, bool closeDisabled, UINT timeout) {
    g_noticeParams = {text, closeDisabled, timeout, false};
    DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(ResId(IDD_NOTICE_JA, IDD_NOTICE_EN)), nullptr,
                    NoticeProc, 0);
}

void ShowModelessNotice(HWND window, const std::string &text) {
    g_noticeParams = {text, false, 50000, true};
    SendMessageA(window, kQsOpenNotice, 0, 0);
}

void OpenModelessNotice(HWND window) {
    CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(ResId(IDD_NOTICE_JA, IDD_NOTICE_EN)), window,
                       NoticeProc, 0);
}

// ---- Screen protection, run on the worker -------------------------------------------------------

namespace {

// The display powers down after eight seconds without input; the profile stays as it was.
bool SwitchToMonitorPowerOff(Walk &walk) {
    SystemParametersInfoA(SPI_GETPOWEROFFACTIVE, 0, &walk.savedPowerOffActive, 0);
    SystemParametersInfoA(SPI_GETPOWEROFFTIMEOUT, 0, &walk.savedPowerOffTimeout, 0);
    if (!SystemParametersInfoA(SPI_SETPOWEROFFACTIVE, 1, nullptr, SPIF_SENDCHANGE) ||
        !SystemParametersInfoA(SPI_SETPOWEROFFTIMEOUT, 8, nullptr, SPIF_SENDCHANGE))
        return false;
    BOOL active = FALSE;
    int timeout = 0;
    SystemParametersInfoA(SPI_GETPOWEROFFACTIVE, 0, &active, 0);
    SystemParametersInfoA(SPI_GETPOWEROFFTIMEOUT, 0, &timeout, 0);
    return active == 1 && timeout == 8;
}

} // namespace

void ScreenProtectionOn(Walk &walk, const std::string &argument) {
    RUNLOG(Tx("黒画面 - 開始", "Black Screen - start."));
    bool forceBlack = !argument.empty() && argument[0] == '2';
    if (!forceBlack && GetSystemMetrics(SM_CLEANBOOT) == 0 && SwitchToMonitorPowerOff(walk)) {
        walk.monitorPowerOff = true;
        return;
    }
    if (!walk.monitorPowerOff) SendMessageA(walk.window, kQsBlackScreenOn, 0, 0);
}

void ScreenProtectionOff(Walk &walk) {
    RUNLOG(Tx("黒画面 - 終了", "Black Screen - end."));
    if (walk.monitorPowerOff) {
        SystemParametersInfoA(SPI_SETPOWEROFFACTIVE, UINT(walk.savedPowerOffActive), nullptr, SPIF_SENDCHANGE);
        SystemParametersInfoA(SPI_SETPOWEROFFTIMEOUT, UINT(walk.savedPowerOffTimeout), nullptr, SPIF_SENDCHANGE);
        return;
    }
    SendMessageA(walk.window, kQsBlackScreenOff, 0, 0);
}
