// Modal dialogs block the test's thread; a driver on a second thread waits for the dialog to show,
// then reads and presses it as a user would.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <utility>

class DialogDriver {
public:
    // Waits up to ten seconds (or the given milliseconds) for a visible dialog with this title and
    // hands it to act.
    DialogDriver(std::string title, std::function<void(HWND)> act, int waitMs = 10000)
        : title_(std::move(title)), act_(std::move(act)), tries_(waitMs / 50), thread_([this] { Run(); }) {}
    ~DialogDriver() { Join(); }
    DialogDriver(const DialogDriver &) = delete;
    DialogDriver &operator=(const DialogDriver &) = delete;

    // Waits for the driver to finish; true when it found its dialog.
    bool Join() {
        if (thread_.joinable()) thread_.join();
        return found_;
    }

    static std::string Text(HWND window) {
        char text[2048] = "";
        GetWindowTextA(window, text, sizeof text);
        return text;
    }
    static std::string ItemText(HWND dialog, int id) { return Text(GetDlgItem(dialog, id)); }
    static bool ItemShown(HWND dialog, int id) { return IsWindowVisible(GetDlgItem(dialog, id)) != FALSE; }
    static bool ItemEnabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }
    // A click as the dialog's own thread sees it (BM_CLICK sends the notification to the dialog).
    static void Click(HWND dialog, int id) { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }
    static void Command(HWND dialog, int id) { PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

private:
    void Run() {
        for (int i = 0; i < tries_ && !found_; ++i) {
            HWND dialog = FindWindowA("#32770", title_.c_str());
            if (dialog && IsWindowVisible(dialog)) {
                found_ = true;
                act_(dialog);
                return;
            }
            Sleep(50);
        }
    }

    std::string title_;
    std::function<void(HWND)> act_;
    int tries_;
    std::atomic<bool> found_{false};
    std::thread thread_;
};
