#include "events.h"

#include "journal.h"

#include <cstdio>

namespace standin {

namespace {

std::string g_keyTool;
HHOOK g_keyHook = nullptr;

// Called for every message a loop of this thread looks at; only those taken from the queue count,
// so a menu loop that peeks first and removes later records each key once.
LRESULT CALLBACK OnQueuedMessage(int code, WPARAM removal, LPARAM data) {
    const MSG *message = reinterpret_cast<const MSG *>(data);
    if (code == HC_ACTION && removal == PM_REMOVE &&
        (message->message == WM_KEYDOWN || message->message == WM_SYSKEYDOWN)) {
        std::string name = KeyName(message->message, message->wParam, message->lParam);
        if (!name.empty()) AppendEvent(g_keyTool, "key", name);
    }
    return CallNextHookEx(g_keyHook, code, removal, data);
}

} // namespace

void AppendEvent(const std::string &tool, const std::string &event, const std::string &detail) {
    CreateDirectoryA("C:\\standins", nullptr);
    std::string line = Escape(tool) + "\t" + Escape(event) + "\t" + Escape(detail) + "\r\n";
    // One write in append mode, so that stand-ins running side by side never mix their lines.
    HANDLE file = CreateFileA("C:\\standins\\events.txt", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

std::string KeyName(UINT message, WPARAM key, LPARAM flags) {
    // A repeat count of 0: posted by a program (Wine's menu code posts Enter to open a popup),
    // not typed.
    bool typed = (flags & 0xFFFF) != 0;
    bool repeat = (flags & (1L << 30)) != 0;
    if (!typed || repeat || key == VK_MENU || key == VK_LMENU || key == VK_RMENU || key == VK_SHIFT ||
        key == VK_CONTROL)
        return std::string();
    char name[16];
    if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9'))
        snprintf(name, sizeof name, "%c", static_cast<char>(key));
    else if (key >= VK_F1 && key <= VK_F24)
        snprintf(name, sizeof name, "F%d", static_cast<int>(key - VK_F1 + 1));
    else
        snprintf(name, sizeof name, "VK%02X", static_cast<unsigned>(key));
    // Bit 29 of a system key: Alt was held.
    bool alt = message == WM_SYSKEYDOWN && (flags & (1L << 29)) != 0;
    return alt ? std::string("Alt+") + name : std::string(name);
}

void RecordKeys(const std::string &tool) {
    g_keyTool = tool;
    g_keyHook = SetWindowsHookExA(WH_GETMESSAGE, OnQueuedMessage, nullptr, GetCurrentThreadId());
}

} // namespace standin
