// Stands in for the management console with the defragmenter loaded (MMC.EXE in the System folder
// of a test prefix), as far as QS relies on it: a main window of class "MMCMainFrame" with the
// title the test chose, an Action menu whose Defragment item "defragments" for a moment and then
// shows the dialogs the test asked for, one after another; optionally Diskeeper's marker child and
// its Lite edition's advertisement window.
//
// QS starts it, not the test, so the test leaves its wishes in C:\standins\MMC.cfg (UTF-8), one
// per line, each optional:
//   title TEXT                    the main window's title (default "Disk Defragmenter")
//   nowindow                      no main window at all; the program only waits out its life
//   marker                        a child window with the text "Set It and Forget It"
//   advert                        a top-level window titled "Diskeeper Lite" beside the console
//   work MS                       how long the defragmentation runs (default 500)
//   dialog BUTTONS|TITLE|TEXT     a message box (BUTTONS "ok" or "yesno"; "\n" in TEXT is a line
//                                 break), shown after the defragmentation in the order given
//   close                         after the last dialog the console closes itself, as a user would
//   steal MS                      a window titled "Thief" of this program takes the foreground
//                                 once, MS after the console first received Alt+A
//   life MS                       the program ends by itself after this long (default 120000)
//
// It writes the journal's start line and these events (events.h): "window" (title), "marker",
// "advert", "key" (each key taken from its queue: "Alt+A", "D", "Y", "Alt+F4"), "defragment" (the
// menu item was chosen), "dialog" (TITLE|TEXT as shown), "sysclose" (WM_SYSCOMMAND/SC_CLOSE arrived
// for "console", "advert" or "dialog TITLE"), "answer" (TITLE|Yes, No, OK or Cancel: how a dialog
// ended), "advert-closed", "steal" ("in front" or "refused": the thief took the foreground),
// "thief-key" (a key reached the
// thief: it was typed into the wrong window), and "end" ("closed" from outside, "self" or "life").
#include "events.h"
#include "journal.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kTool[] = "MMC";
constexpr UINT_PTR kWorkTimer = 1, kLifeTimer = 2, kStealTimer = 3;
constexpr UINT kDefragmentCommand = 100;
constexpr UINT kStealMessage = WM_APP + 1;

struct Dialog {
    bool yesNo;
    std::string title, text; // UTF-8
};

struct Config {
    std::string title = "Disk Defragmenter";
    bool window = true, marker = false, advert = false, closeSelf = false;
    DWORD workMs = 500, lifeMs = 120000, stealMs = 0;
    bool steal = false;
    std::vector<Dialog> dialogs;
};

Config g_config;
HWND g_console = nullptr;
const char *g_endReason = "closed";

std::wstring Wide(const std::string &utf8) {
    int size = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(size > 0 ? size : 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &wide[0], size);
    wide.resize(wide.size() - 1);
    return wide;
}

std::string Unescape(const std::string &text) {
    std::string result;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
            result += "\r\n";
            ++i;
        } else {
            result += text[i];
        }
    }
    return result;
}

void ReadDialog(const std::string &line) {
    size_t first = line.find('|'), second = first == std::string::npos ? first : line.find('|', first + 1);
    if (second == std::string::npos) return;
    g_config.dialogs.push_back({line.compare(0, first, "yesno") == 0, line.substr(first + 1, second - first - 1),
                                Unescape(line.substr(second + 1))});
}

void ReadConfig() {
    FILE *file = std::fopen("C:\\standins\\MMC.cfg", "rb");
    if (!file) return;
    char buffer[2048];
    while (std::fgets(buffer, sizeof buffer, file)) {
        std::string line(buffer, std::strcspn(buffer, "\r\n"));
        size_t blank = line.find(' ');
        std::string word = line.substr(0, blank), value = blank == std::string::npos ? "" : line.substr(blank + 1);
        if (word == "title")
            g_config.title = value;
        else if (word == "nowindow")
            g_config.window = false;
        else if (word == "marker")
            g_config.marker = true;
        else if (word == "advert")
            g_config.advert = true;
        else if (word == "work")
            g_config.workMs = static_cast<DWORD>(std::strtoul(value.c_str(), nullptr, 10));
        else if (word == "dialog")
            ReadDialog(value);
        else if (word == "close")
            g_config.closeSelf = true;
        else if (word == "steal") {
            g_config.steal = true;
            g_config.stealMs = static_cast<DWORD>(std::strtoul(value.c_str(), nullptr, 10));
        } else if (word == "life")
            g_config.lifeMs = static_cast<DWORD>(std::strtoul(value.c_str(), nullptr, 10));
    }
    std::fclose(file);
}

// ---- Message boxes: how each one ends -----------------------------------------------------------

WNDPROC g_boxProc = nullptr;
std::string g_boxTitle;
HHOOK g_cbtHook = nullptr;

LRESULT CALLBACK BoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE)
        standin::AppendEvent(kTool, "sysclose", "dialog " + g_boxTitle);
    return CallWindowProcW(g_boxProc, box, message, wParam, lParam);
}

// Every message box of this thread is subclassed as it is created, to see SC_CLOSE arrive.
LRESULT CALLBACK OnCreate(int code, WPARAM window, LPARAM data) {
    if (code == HCBT_CREATEWND) {
        char name[16] = "";
        HWND created = reinterpret_cast<HWND>(window);
        if (GetClassNameA(created, name, sizeof name) && std::strcmp(name, "#32770") == 0)
            g_boxProc = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrW(created, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(BoxProc)));
    }
    return CallNextHookEx(g_cbtHook, code, window, data);
}

const char *AnswerName(int answer) {
    switch (answer) {
    case IDYES:
        return "Yes";
    case IDNO:
        return "No";
    case IDOK:
        return "OK";
    case IDCANCEL:
        return "Cancel";
    }
    return "none";
}

void ShowDialogs(HWND console) {
    for (const Dialog &dialog : g_config.dialogs) {
        if (!IsWindow(console)) return;
        standin::AppendEvent(kTool, "dialog", dialog.title + "|" + dialog.text);
        g_boxTitle = dialog.title;
        int answer = MessageBoxW(console, Wide(dialog.text).c_str(), Wide(dialog.title).c_str(),
                                 dialog.yesNo ? MB_YESNO | MB_ICONQUESTION : MB_OK | MB_ICONINFORMATION);
        standin::AppendEvent(kTool, "answer", dialog.title + "|" + AnswerName(answer));
    }
}

// ---- Windows ------------------------------------------------------------------------------------

void OnWorkDone(HWND console) {
    KillTimer(console, kWorkTimer);
    ShowDialogs(console);
    if (g_config.closeSelf && IsWindow(console)) {
        g_endReason = "self";
        DestroyWindow(console);
    }
}

HWND g_thief = nullptr;
bool g_thiefArmed = true;

// The thief takes the foreground once, a moment after the console received Alt+A: between the two
// keys QS types, when the console's Action menu is open.
void OnMenuKey(HWND console) {
    if (!g_thief || !g_thiefArmed) return;
    g_thiefArmed = false;
    SetTimer(console, kStealTimer, g_config.stealMs ? g_config.stealMs : 1, nullptr);
}

void Steal(HWND console) {
    KillTimer(console, kStealTimer);
    PostMessageW(g_thief, kStealMessage, 0, 0);
}

LRESULT CALLBACK ConsoleProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SYSKEYDOWN:
        if (wParam == 'A') OnMenuKey(window);
        break;
    case WM_COMMAND:
        if (LOWORD(wParam) == kDefragmentCommand) {
            standin::AppendEvent(kTool, "defragment", "");
            SetTimer(window, kWorkTimer, g_config.workMs ? g_config.workMs : 1, nullptr);
        }
        return 0;
    case WM_TIMER:
        if (wParam == kWorkTimer) OnWorkDone(window);
        if (wParam == kStealTimer) Steal(window);
        if (wParam == kLifeTimer) {
            g_endReason = "life";
            DestroyWindow(window);
        }
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE) standin::AppendEvent(kTool, "sysclose", "console");
        break;
    case WM_DESTROY:
        standin::AppendEvent(kTool, "end", g_endReason);
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK AdvertProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE) standin::AppendEvent(kTool, "sysclose", "advert");
    if (message == WM_DESTROY) standin::AppendEvent(kTool, "advert-closed", "");
    return DefWindowProcW(window, message, wParam, lParam);
}

// The thief has a thread of its own, so that keys typed while it is in front reach its queue
// and not the console's.
LRESULT CALLBACK ThiefProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kStealMessage) {
        ShowWindow(window, SW_SHOWNORMAL);
        SetForegroundWindow(window);
        standin::AppendEvent(kTool, "steal", GetForegroundWindow() == window ? "in front" : "refused");
        return 0;
    }
    if (message == WM_KEYDOWN || message == WM_SYSKEYDOWN) {
        std::string name = standin::KeyName(message, wParam, lParam);
        if (!name.empty()) standin::AppendEvent(kTool, "thief-key", name);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HMENU ConsoleMenu() {
    HMENU action = CreatePopupMenu();
    AppendMenuW(action, MF_STRING, kDefragmentCommand, L"&Defragment");
    AppendMenuW(action, MF_STRING, kDefragmentCommand + 1, L"&Analyze");
    HMENU bar = CreateMenu();
    AppendMenuW(bar, MF_STRING, 0, L"&File");
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(action), L"&Action");
    return bar;
}

bool RegisterWindowClass(const wchar_t *name, WNDPROC procedure) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = name;
    return RegisterClassW(&windowClass) != 0;
}

DWORD WINAPI ThiefThread(void *ready) {
    g_thief = CreateWindowExW(0, L"StandinThief", L"Thief", WS_OVERLAPPEDWINDOW, 300, 300, 320, 200, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    SetEvent(static_cast<HANDLE>(ready));
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}

void StartThief() {
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, ThiefThread, ready, 0, nullptr);
    if (thread) {
        WaitForSingleObject(ready, 10000);
        CloseHandle(thread);
    }
    CloseHandle(ready);
}

bool CreateWindows() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    if (!RegisterWindowClass(L"MMCMainFrame", ConsoleProc) || !RegisterWindowClass(L"StandinAdvert", AdvertProc) ||
        !RegisterWindowClass(L"StandinThief", ThiefProc))
        return false;
    g_console = CreateWindowExW(0, L"MMCMainFrame", Wide(g_config.title).c_str(), WS_OVERLAPPEDWINDOW, 40, 40, 640, 420,
                                nullptr, ConsoleMenu(), instance, nullptr);
    if (!g_console) return false;
    standin::AppendEvent(kTool, "window", g_config.title);
    if (g_config.marker) {
        CreateWindowExW(0, L"STATIC", L"Set It and Forget It", WS_CHILD | WS_VISIBLE, 10, 10, 300, 20, g_console,
                        nullptr, instance, nullptr);
        standin::AppendEvent(kTool, "marker", "");
    }
    ShowWindow(g_console, SW_SHOWNORMAL);
    SetTimer(g_console, kLifeTimer, g_config.lifeMs, nullptr);
    if (g_config.advert) {
        HWND advert = CreateWindowExW(0, L"StandinAdvert", L"Diskeeper Lite", WS_OVERLAPPEDWINDOW, 200, 200, 320, 200,
                                      nullptr, nullptr, instance, nullptr);
        ShowWindow(advert, SW_SHOWNORMAL);
        standin::AppendEvent(kTool, "advert", "");
    }
    if (g_config.steal) StartThief();
    UpdateWindow(g_console);
    return true;
}

// Without a window the program only lives its time, answering "idle" to whoever waits for it.
void WaitOutLife() {
    standin::AppendEvent(kTool, "nowindow", "");
    SetTimer(nullptr, 0, g_config.lifeMs, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        if (message.message == WM_TIMER) break;
    standin::AppendEvent(kTool, "end", "life");
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    standin::AppendJournal(kTool, "0");
    ReadConfig();
    standin::RecordKeys(kTool);
    g_cbtHook = SetWindowsHookExW(WH_CBT, OnCreate, nullptr, GetCurrentThreadId());
    if (!g_config.window) {
        WaitOutLife();
        return 0;
    }
    if (!CreateWindows()) return 1;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
