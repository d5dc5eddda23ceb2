// A modal dialog opened on the test's thread and played by a DialogDriver on another: when the
// dialog does not show in time, every window of the test's thread is told to close, so that the
// test fails instead of waiting forever in the dialog's loop.
#pragma once

#include "dialog_driver.h"

#include <functional>
#include <string>
#include <thread>

// Runs open (which shows the dialog and returns when it closes) while act plays the dialog of the
// title; true when act got the dialog.
inline bool RunModal(const std::string &title, const std::function<void(HWND)> &act, const std::function<void()> &open,
                     int waitMs = 10000) {
    const DWORD thread = GetCurrentThreadId();
    DialogDriver driver(title, act, waitMs);
    std::thread watcher([&] {
        if (driver.Join()) return;
        EnumThreadWindows(
            thread, [](HWND window, LPARAM) { return PostMessageA(window, WM_COMMAND, IDCANCEL, 0); }, 0);
    });
    open();
    watcher.join();
    return driver.Join();
}

// The control with the keyboard focus in a window's thread (GetFocus sees only the caller's).
inline HWND FocusOfThread(HWND window) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) ? info.hwndFocus : nullptr;
}

// A Japanese title as an ANSI dialog of this process shows it: the resource's text passes through
// the process code page, which need not be Japanese in the tests.
inline std::string AnsiTitle(const wchar_t *title) {
    int size = WideCharToMultiByte(CP_ACP, 0, title, -1, nullptr, 0, nullptr, nullptr);
    std::string text(size > 0 ? size_t(size) : 1, '\0');
    WideCharToMultiByte(CP_ACP, 0, title, -1, &text[0], size, nullptr, nullptr);
    text.resize(strlen(text.c_str()));
    return text;
}
