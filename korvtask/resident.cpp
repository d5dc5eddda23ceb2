// resident: the hidden window of class korvane_task_sr. Every two seconds it applies the due-time
// rule and shows the countdown when a start is due; it keeps the tray icon as TrayIcon asks and
// answers the tray menu. Everything runs on the one thread's message loop.
#include "korvtask.h"

#include "language.h"
#include "platform.h"
#include "rega.h"
#include "resource.h"
#include "winhandle.h"

#include <cstring>

namespace {

constexpr UINT_PTR kSchedulerTimer = 64147;
constexpr UINT kSchedulerPeriodMs = 2000;
// Posted at creation: the catch-up search runs once the window is made, from the message loop.
constexpr UINT kCatchUpMessage = WM_APP + 1;

struct ResidentState {
    bool iconShown = false;
    UniqueMenu menu;
    HMENU trayMenu = nullptr; // the first submenu of menu
    UINT taskbarCreated = 0;
    bool ending = false; // the stop request came, perhaps while the countdown was open
};

ResidentState g_resident;

bool NotifyIcon(HWND window, DWORD action) {
    NOTIFYICONDATAA data = {};
    data.cbSize = sizeof data;
    data.hWnd = window;
    data.uID = kTrayIconId;
    if (action == NIM_ADD) {
        data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
        data.uCallbackMessage = kTrayMessage;
        data.hIcon =
            static_cast<HICON>(LoadImageA(g_instance, MAKEINTRESOURCEA(IDI_KORVTASK), IMAGE_ICON, 64, 64, LR_SHARED));
        lstrcpynA(data.szTip, ProductTitle(), sizeof data.szTip);
    }
    return g_shellNotifyIcon(action, &data) != FALSE;
}

void ApplyTrayRule(HWND window, bool removing) {
    bool opened = false;
    LONG trayIcon = 0;
    if (!removing) {
        REGA key;
        opened = key.OpenKey(HKEY_LOCAL_MACHINE, kSchedulerKey, OPEN_READONLY);
        if (opened) {
            trayIcon = key.ReadIntegerA(schedval::kTrayIcon, 0);
            key.CloseKey();
        }
    }
    switch (DecideTrayAction(removing, opened, trayIcon, g_resident.iconShown)) {
    case TrayAction::Add:
        NotifyIcon(window, NIM_ADD);
        g_resident.iconShown = true;
        break;
    case TrayAction::Delete:
        NotifyIcon(window, NIM_DELETE);
        g_resident.iconShown = false;
        break;
    case TrayAction::None:
        break;
    }
}

void LoadTrayMenu() {
    g_resident.menu.Reset(LoadMenuA(g_instance, MAKEINTRESOURCEA(ResId(IDM_TRAY_JA, IDM_TRAY_EN))));
    g_resident.trayMenu = g_resident.menu ? GetSubMenu(g_resident.menu.Get(), 0) : nullptr;
    // "&Settings..." is what a double-click does.
    if (g_resident.trayMenu) SetMenuDefaultItem(g_resident.trayMenu, 0, TRUE);
}

void StartSchedulerTimer(HWND window) {
    if (!g_resident.ending) SetTimer(window, kSchedulerTimer, kSchedulerPeriodMs, nullptr);
}

// The countdown with the scheduler timer stopped. Whether korvane started or not, the resident
// goes on: a run of method 4, a plan declined, or a korvane that ends at once brings no restart,
// and LastTime already keeps a second start out of the same minute.
void ShowCountdown(HWND window) {
    KillTimer(window, kSchedulerTimer);
    RunCountdown(window);
    StartSchedulerTimer(window);
}

// From Vista on, Explorer runs below our (administrator) level, and the system drops its broadcast
// of "TaskbarCreated" on the way up unless the message is let through.
void AllowTaskbarCreated(UINT message) {
    if (GetWindowsVersionCode() < 600) return;
    using FilterFunction = BOOL(WINAPI *)(UINT, DWORD);
    constexpr DWORD kMsgFltAdd = 1; // MSGFLT_ADD
    UniqueModule user32(LoadSystemLibrary("user32.dll"));
    if (auto changeFilter = GetProcAs<FilterFunction>(user32.Get(), "ChangeWindowMessageFilter"))
        changeFilter(message, kMsgFltAdd);
}

void OnCreate(HWND window) {
    g_resident.iconShown = false;
    g_resident.ending = false;
    g_resident.taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    AllowTaskbarCreated(g_resident.taskbarCreated);
    ApplyTrayRule(window, false);
    LoadTrayMenu();
    PostMessageA(window, kCatchUpMessage, 0, 0);
}

void OnCatchUp(HWND window) {
    if (g_resident.ending) return;
    if (ApplyCatchUpRule(LocalNow()))
        ShowCountdown(window);
    else
        StartSchedulerTimer(window);
}

void OnSchedulerTimer(HWND window) {
    if (ApplyDueTimeRule(LocalNow()))
        ShowCountdown(window);
    else
        ApplyTrayRule(window, false); // a change of TrayIcon shows within two seconds
}

void OnTrayCommand(HWND window, UINT command) {
    switch (command) {
    case IDM_TRAY_SETTINGS:
        StartProgram(window, "KORVTASK.EXE", "");
        break;
    case IDM_TRAY_STOP:
        if (ShowMessage(window, {"スケジューラを終了しますか?", "Are you sure you want to stop?"},
                        MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND | MB_TOPMOST) == IDYES)
            DestroyWindow(window);
        break;
    }
}

void ShowTrayMenu(HWND window) {
    if (!g_resident.trayMenu) return;
    POINT at = {};
    GetCursorPos(&at);
    // Without the foreground the menu would not close when the user clicks elsewhere, and without
    // the WM_NULL after it the next right-click would find it closing.
    SetForegroundWindow(window);
    UINT command =
        UINT(TrackPopupMenu(g_resident.trayMenu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, window, nullptr));
    PostMessageA(window, WM_NULL, 0, 0);
    OnTrayCommand(window, command);
}

void OnTrayMessage(HWND window, UINT mouseMessage) {
    if (mouseMessage == WM_LBUTTONDBLCLK)
        OnTrayCommand(window, IDM_TRAY_SETTINGS);
    else if (mouseMessage == WM_RBUTTONUP)
        ShowTrayMenu(window);
}

// The new taskbar has none of the old icons: the icon counts as not shown, then the rule adds it.
void OnTaskbarCreated(HWND window) {
    g_resident.iconShown = false;
    ApplyTrayRule(window, false);
}

// Also what the stop request sends; the window itself then goes with the process.
void OnDestroy(HWND window) {
    g_resident.ending = true;
    KillTimer(window, kSchedulerTimer);
    ApplyTrayRule(window, true);
    g_resident.trayMenu = nullptr;
    g_resident.menu.Reset();
    PostQuitMessage(0);
}

LRESULT CALLBACK ResidentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        OnCreate(window);
        return 0;
    case kCatchUpMessage:
        OnCatchUp(window);
        return 0;
    case WM_TIMER:
        if (wParam == kSchedulerTimer) OnSchedulerTimer(window);
        return 0;
    case kTrayMessage:
        OnTrayMessage(window, UINT(lParam));
        return 0;
    case WM_DESTROY:
        OnDestroy(window);
        return 0;
    }
    if (message != 0 && message == g_resident.taskbarCreated) {
        OnTaskbarCreated(window);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

BOOL(WINAPI *g_shellNotifyIcon)(DWORD, PNOTIFYICONDATAA) = Shell_NotifyIconA;

TrayAction DecideTrayAction(bool removing, bool keyOpened, LONG trayIcon, bool shown) {
    if (!removing && keyOpened && trayIcon == 1 && !shown) return TrayAction::Add;
    if (shown && (removing || !keyOpened || trayIcon != 1)) return TrayAction::Delete;
    return TrayAction::None;
}

bool RegisterResidentClass(HINSTANCE instance) {
    WNDCLASSA windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = ResidentProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_KORVTASK));
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kResidentClass;
    return RegisterClassA(&windowClass) != 0;
}

HWND CreateResidentWindow(HINSTANCE instance) {
    HWND window =
        CreateWindowExA(0, kResidentClass, ProductTitle(), WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
    if (window) ShowWindow(window, SW_HIDE);
    return window;
}
