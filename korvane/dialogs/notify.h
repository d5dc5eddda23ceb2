// The Notify question: a yes/no question with a long explanation, which an experienced user can
// switch off for good with "Do not show this dialog next time.".
#pragma once

#include <windows.h>

// What the caller asks; every text may be null. A null title keeps "Notify", a null help topic
// hides the Help button, a null value name hides the do-not-show-again box.
struct NotifyRequest {
    HWND owner = nullptr;
    const char *title = nullptr;
    const char *heading = nullptr;
    const char *body = nullptr;
    const char *yesLabel = nullptr;
    const char *noLabel = nullptr;
    const char *helpTopic = nullptr;
    const char *valueName = nullptr; // a REG_DWORD under the settings key: non-zero answers Yes at once
};

constexpr int kNotifyYes = 1;
constexpr int kNotifyNo = 2;

// 1 for Yes (also without showing anything when the value says so), 2 for No, -1 when the dialog
// cannot be created. Shift held (without Ctrl and Alt) clears the remembered answer first.
int AskNotify(const NotifyRequest &request);

// Where AskNotify looks at the keyboard; tests replace it.
extern SHORT(WINAPI *g_notifyKeyState)(int key);
