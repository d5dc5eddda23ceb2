// The main window as the program runs it: created and pumped on the test's thread (with the panel's
// keyboard handling), while a second thread plays the user through messages and reads what the
// window shows. The window is closed when the user part is done.
#pragma once

#include "korvane.h"
#include "window/korvwin.h"
#include "window/normal.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>

class MainWindowSession {
public:
    using User = std::function<void(MainWindowSession &)>;

    // Creates the window, shows the stored screen, and runs user on a second thread.
    void Run(const User &user) {
        ASSERT_TRUE(RegisterMainWindowClass());
        window_ = CreateMainWindow();
        ASSERT_NE(nullptr, window_);
        ShowInitialScreen(window_);
        ShowWindow(window_, SW_SHOWNORMAL);
        uiThread_ = GetCurrentThreadId();
        std::thread driver([&] {
            user(*this);
            if (IsWindow(window_)) PostMessageA(window_, WM_CLOSE, 0, 0);
        });
        MSG message;
        while (GetMessageA(&message, nullptr, 0, 0) > 0) {
            if (g_normalPanel && IsDialogMessageA(g_normalPanel, &message)) continue;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        driver.join();
    }

    HWND window() const { return window_; }
    HWND panel() const { return g_normalPanel; }
    HWND Item(int id) const { return GetDlgItem(panel(), id); }
    HWND Button(int id) const { return GetDlgItem(window_, id); }

    // The control with the keyboard focus in the window's thread.
    HWND Focus() const {
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        return GetGUIThreadInfo(uiThread_, &info) ? info.hwndFocus : nullptr;
    }
    // Sends a command to the main window as a button or menu would.
    void Command(int id) const { SendMessageA(window_, WM_COMMAND, MAKEWPARAM(id, 0), 0); }
    // A key as the keyboard delivers it to the focused control.
    void Key(WPARAM key) const {
        HWND target = Focus();
        PostMessageA(target, WM_KEYDOWN, key, 1);
        PostMessageA(target, WM_KEYUP, key, 0xC0000001);
    }
    void Click(HWND button) const { SendMessageA(button, BM_CLICK, 0, 0); }
    // Typing into an edit control: the selection is replaced, and the owner hears EN_CHANGE.
    void Type(HWND edit, const char *text) const {
        SendMessageA(edit, EM_SETSEL, 0, -1);
        SendMessageA(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text));
    }
    static std::string Text(HWND control) {
        char text[4096] = "";
        SendMessageA(control, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
        return text;
    }
    // Polls until the condition holds (posted messages take their time); false after two seconds.
    static bool WaitFor(const std::function<bool()> &condition, int milliseconds = 2000) {
        for (int waited = 0; !condition(); waited += 20) {
            if (waited >= milliseconds) return false;
            Sleep(20);
        }
        return true;
    }

private:
    HWND window_ = nullptr;
    DWORD uiThread_ = 0;
};
