// $AutoDefrag2000: the defragmenter's console, driven as a user would. QS starts MMC.EXE with the
// console file, waits for its window, checks its title, presses the menu keys that start the
// defragmentation, answers the low-free-space question with Yes and closes the console when the
// completion message comes up. Diskeeper, which can take the console's place, gets extra waiting.
// The console is another vendor's program: its window class, titles, texts and keys are all we rely
// on.
#include "QS.h"

#include "language.h"
#include "platform.h"
#include "runlog.h"
#include "settings.h"
#include "winhandle.h"

#include <cstdlib>
#include <cstring>

namespace {

const char kConsoleClass[] = "MMCMainFrame";
const char kDialogClass[] = "#32770";
const char kConsoleTitle[] = "Disk Defragmenter";
const char kConsoleTitleJapanese[] = "ディスク デフラグ ツール";
const char kDiskeeperPrefix[] = "Diskeeper";
const char kDiskeeperMarker[] = "Set It and Forget It";
const char kDiskeeperAdvert[] = "Diskeeper Lite";
const char kLowSpaceMarker[] = "15%";

// The console's message when it is done. English titles come in any case; the Japanese ones are
// compared byte for byte ("optimization has completed", "defragmentation has completed",
// "defragmentation complete").
const char *const kEnglishCaptions[] = {"Defragmentation Complete", "Defragmentation Completed"};
const char *const kJapaneseCaptions[] = {"最適化が完了しました", "デフラグが完了しました", "デフラグ完了"};

constexpr UINT kErrorNoticeMs = 7000;
constexpr int kFindRounds = 60;      // about a minute for the window, and again for its title
constexpr int kActivateRounds = 120; // about two minutes to bring a window to the front
constexpr int kKeyAttempts = 3;      // Alt+A and D again after the console lost the front
constexpr int kMarkerTextLimit = 255;
constexpr int kDialogTextLimit = 1023; // a completion message may carry a long report

// ---- Waits ----------------------------------------------------------------------------------------

double TimeScale() {
    static const double scale = [] {
        char text[64] = "";
        DWORD length = GetEnvironmentVariableA("QS_TIME_SCALE", text, sizeof text);
        return ParseTimeScale(length > 0 && length < sizeof text ? text : nullptr);
    }();
    return scale;
}

void Pause(DWORD ms) {
    Sleep(ScaledWait(ms, TimeScale()));
}

// ---- Texts of other programs' windows -----------------------------------------------------------

std::string WindowText(HWND window, int limit) {
    std::string text(static_cast<size_t>(limit) + 1, '\0');
    int length = GetWindowTextA(window, &text[0], limit + 1);
    text.resize(length > 0 ? static_cast<size_t>(length) : 0);
    return text;
}

bool HasClass(HWND window, const char *className) {
    char name[64] = "";
    return GetClassNameA(window, name, sizeof name) > 0 && strcmp(name, className) == 0;
}

BOOL CALLBACK CollectChildText(HWND child, LPARAM texts) {
    reinterpret_cast<std::vector<std::string> *>(texts)->push_back(WindowText(child, kDialogTextLimit));
    return TRUE;
}

BOOL CALLBACK ClassifyFirstDialog(HWND window, LPARAM seen) {
    // A hidden dialog tells the user nothing; a console may keep some around.
    if (!IsWindowVisible(window) || !HasClass(window, kDialogClass)) return TRUE;
    std::vector<std::string> texts;
    EnumChildWindows(window, CollectChildText, reinterpret_cast<LPARAM>(&texts));
    auto *result = reinterpret_cast<ConsoleDialogSeen *>(seen);
    result->kind = ClassifyConsoleDialog(WindowText(window, kDialogTextLimit), texts);
    result->dialog = window;
    return FALSE; // the first dialog decides
}

BOOL CALLBACK FindMarker(HWND child, LPARAM found) {
    if (!IsDiskeeperMarker(WindowText(child, kMarkerTextLimit).c_str())) return TRUE;
    *reinterpret_cast<bool *>(found) = true;
    return FALSE;
}

struct AdvertSearch {
    HWND console;
    HWND advert;
};

BOOL CALLBACK FindAdvert(HWND window, LPARAM search) {
    auto *s = reinterpret_cast<AdvertSearch *>(search);
    if (window == s->console || !IsDiskeeperAdvertTitle(WindowText(window, kMarkerTextLimit).c_str())) return TRUE;
    s->advert = window;
    return FALSE;
}

// ---- Notices ------------------------------------------------------------------------------------

// The automation gives up: a notice the user may close, the same text in the log.
bool GiveUp(const char *text) {
    ShowTimedNotice(text, false, ScaledWait(kErrorNoticeMs, TimeScale()));
    RUNLOG(text);
    return false;
}

const char *CannotActivate() {
    return Tx("MMC のプロセスを最前面に出せません。", "MMC Process cannot activate.");
}

// ---- Foreground and keys ------------------------------------------------------------------------

bool InFront(HWND window) {
    return GetForegroundWindow() == window;
}

// SetForegroundWindow may be refused for a while after the user's last input; XP and later are
// given two more minutes of tries.
bool BringToFront(HWND window) {
    SetForegroundWindow(window);
    if (InFront(window)) return true;
    Pause(1000);
    SetForegroundWindow(window);
    if (InFront(window)) return true;
    if (g_windowsVersion < 501) return false;
    for (int round = 0; round < kActivateRounds && IsWindow(window); ++round) {
        Pause(1000);
        SetForegroundWindow(window);
        if (InFront(window)) return true;
    }
    return false;
}

// keybd_event types into whatever window is in front, so a key sequence starts only while the
// window it is meant for is there; otherwise nothing is typed and the window is brought forward.
bool ReadyForKeys(HWND window, const char *keys) {
    if (InFront(window)) return true;
    RUNLOG2(Tx("送り先のウィンドウが最前面にないため、キーを押さずに前面に出し直します: ",
               "Keys held back, their window is not in front; bringing it forward: "),
            keys);
    return IsWindow(window) && BringToFront(window);
}

void PressKey(BYTE key) {
    keybd_event(key, 0, 0, 0);
    keybd_event(key, 0, KEYEVENTF_KEYUP, 0);
}

void PressWithAlt(BYTE key) {
    keybd_event(VK_MENU, 0, 0, 0);
    PressKey(key);
    keybd_event(VK_MENU, 0, KEYEVENTF_KEYUP, 0);
}

// WM_SYSCOMMAND as the close box would send it; a console that hangs does not stop the walk here.
void SendClose(HWND window) {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(window, WM_SYSCOMMAND, SC_CLOSE, 0, SMTO_ABORTIFHUNG, 10000, &ignored);
}

// ---- The steps ----------------------------------------------------------------------------------

UniqueHandle StartConsole(const std::string &argument) {
    std::string mscPath;
    REGA key;
    if (OpenSettings(key, OPEN_READONLY)) {
        mscPath = ReadTextSetting(key, setting::MSCPath);
        key.CloseKey();
    }
    std::string commandLine = ConsoleCommandLine(mscPath, argument);
    std::string application = std::string(SystemFolder()) + "\\MMC.EXE";
    SetCurrentDirectoryA(SystemFolder());
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(application.c_str(), &commandLine[0], nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr,
                        SystemFolder(), &startup, &process))
        return UniqueHandle();
    CloseHandle(process.hThread);
    return UniqueHandle(process.hProcess);
}

HWND WaitForConsoleWindow() {
    for (int round = 0; round < kFindRounds; ++round) {
        Pause(500);
        if (HWND console = FindWindowA(kConsoleClass, nullptr)) return console;
        Pause(500);
    }
    return nullptr;
}

bool WaitForConsoleTitle(HWND console) {
    for (int round = 0; round < kFindRounds; ++round) {
        Pause(500);
        if (IsConsoleTitle(ReadConsoleTitle(console).c_str())) return true;
        Pause(500);
    }
    return false;
}

// Diskeeper Lite opens an advertisement beside the console; it must be gone before the console's
// menu keys are pressed.
void CloseDiskeeperAdvert(HWND console) {
    AdvertSearch search = {console, nullptr};
    EnumWindows(FindAdvert, reinterpret_cast<LPARAM>(&search));
    if (!search.advert) return;
    BringToFront(search.advert);
    if (!ReadyForKeys(search.advert, "Alt+F4")) return;
    PressWithAlt(VK_F4);
    RUNLOG(Tx("Diskeeper Lite の宣伝ウィンドウを閉じました。", "Closed Diskeeper Lite's PR Window."));
}

// DKLiteWait 0 is the user's way of turning the waiting and the closing of the advertisement off.
void WaitForDiskeeper(HWND console) {
    LONG wait = setting::DKLiteWait.defaultValue;
    REGA key;
    if (OpenSettings(key, OPEN_READONLY)) {
        wait = ReadSetting(key, setting::DKLiteWait);
        key.CloseKey();
    }
    if (wait <= 0) return;
    ShowTimedNotice(Tx("Diskeeper または Diskeeper Lite が動作しています。しばらくお待ちください...\n\n"
                       "注意: [閉じる] ボタンは押さないでください。",
                       "Diskeeper or Diskeeper Lite is running. Please wait...\n\nWarning: Don't push [Close] button."),
                    true, ScaledWait(static_cast<DWORD>(wait), TimeScale()));
    Pause(3000);
    CloseDiskeeperAdvert(console);
    Pause(3000);
}

// Alt+A opens the console's Action menu, D its Defragment item. A console that lost the front
// between the two has lost its open menu too, so the pair starts again once it is back.
bool StartDefragmentation(HWND console) {
    for (int attempt = 0; attempt < kKeyAttempts; ++attempt) {
        Pause(1000);
        if (!ReadyForKeys(console, "Alt+A")) return false;
        PressWithAlt('A');
        Pause(1000);
        if (!InFront(console)) {
            if (!ReadyForKeys(console, "D")) return false;
            continue;
        }
        PressKey('D');
        Pause(1000);
        return true;
    }
    return false;
}

// Returns the modeless warning, or null when none was opened.
HWND WarnOfDiskeeper(HWND qsWindow) {
    LONG silenced = 0;
    REGA key;
    if (OpenSettings(key, OPEN_CREATE)) {
        silenced = ReadSetting(key, setting::NoDKWarn);
        key.CloseKey();
    } else {
        RUNLOG(Tx("AutoDefrag2000() - NoDKWarn:レジストリキーを開けません。",
                  "AutoDefrag2000() - NoDKWarn:Cannot open registry key."));
    }
    if (silenced != 0 || !qsWindow) return nullptr;
    ShowModelessNotice(qsWindow,
                       Tx("この環境には Diskeeper または Diskeeper Lite があります。Diskeeper は正式にはサポートして"
                          "いません。デフラグが進まないときは、この通知を閉じてから、デフラグ ツールを閉じるボタンで"
                          "終了してください。そうでなければ、実行方法を変えるか、どちらかのプログラムをあきらめてくだ"
                          "さい。",
                          "Diskeeper or Diskeeper Lite is in this environment so Tidewell may not run in this "
                          "environment."));
    RUNLOG(Tx("Diskeeper(Lite) についての警告を表示しました。", "Showed a warning dialog for Diskeeper(Lite)."));
    return g_currentNotice;
}

void CloseDialogAndConsole(HWND console, HWND dialog) {
    Pause(500);
    SendClose(dialog);
    Pause(1000);
    if (IsWindow(console)) SendClose(console);
}

void AnswerLowSpace(HWND dialog) {
    Pause(500);
    if (!ReadyForKeys(dialog, "Y")) return; // asked again next round while it is still up
    PressKey('Y');
    RUNLOG(Tx("「15%...」のダイアログを閉じました。", "Closed \"15%...\" Dialog."));
}

// Until the console is done, closed, or shows something unexpected.
void WatchConsole(HWND console) {
    DWORD thread = GetWindowThreadProcessId(console, nullptr);
    for (;;) {
        ConsoleDialogSeen seen = FindConsoleDialog(thread);
        if (!IsWindow(console)) {
            RUNLOG(Tx("MMC のプロセスは既に終了しています。", "MMC Process has already closed."));
            return;
        }
        switch (seen.kind) {
        case ConsoleDialog::Completed:
            CloseDialogAndConsole(console, seen.dialog);
            RUNLOG(Tx("デフラグは正常に完了しました。", "Defragmenter completed successfully."));
            return;
        case ConsoleDialog::Other:
            CloseDialogAndConsole(console, seen.dialog);
            RUNLOG(Tx("予期しないメッセージが表示されたため、デフラグ ツールを終了しました。",
                      "Defragmenter was finished."));
            return;
        case ConsoleDialog::LowSpace:
            AnswerLowSpace(seen.dialog);
            break;
        case ConsoleDialog::None:
            break;
        }
        Pause(2000);
    }
}

} // namespace

// ---- Decisions ----------------------------------------------------------------------------------

double ParseTimeScale(const char *text) {
    if (!text || !*text) return 1.0;
    char *end = nullptr;
    double scale = strtod(text, &end);
    if (end == text || *end != '\0' || !(scale > 0.0) || scale > 1.0) return 1.0;
    return scale;
}

DWORD ScaledWait(DWORD ms, double scale) {
    if (ms == 0) return 0;
    double scaled = static_cast<double>(ms) * scale + 0.5;
    return scaled < 1.0 ? 1 : static_cast<DWORD>(scaled);
}

bool IsConsoleTitle(const char *title) {
    std::string seen(title, strnlen(title, kConsoleTitleLimit));
    return seen == kConsoleTitle || seen == kConsoleTitleJapanese ||
           seen.compare(0, strlen(kDiskeeperPrefix), kDiskeeperPrefix) == 0;
}

bool IsCompletionCaption(const char *title) {
    for (const char *caption : kEnglishCaptions)
        if (_stricmp(title, caption) == 0) return true;
    for (const char *caption : kJapaneseCaptions)
        if (strcmp(title, caption) == 0) return true;
    return false;
}

bool BeginsWithCompletionCaption(const char *text) {
    for (const char *caption : kEnglishCaptions)
        if (strncmp(text, caption, strlen(caption)) == 0) return true;
    for (const char *caption : kJapaneseCaptions)
        if (strncmp(text, caption, strlen(caption)) == 0) return true;
    return false;
}

ConsoleDialog ClassifyConsoleDialog(const std::string &title, const std::vector<std::string> &childTexts) {
    if (IsCompletionCaption(title.c_str())) return ConsoleDialog::Completed;
    for (const std::string &text : childTexts)
        if (BeginsWithCompletionCaption(text.c_str())) return ConsoleDialog::Completed;
    for (const std::string &text : childTexts)
        if (FindText(text.c_str(), kLowSpaceMarker)) return ConsoleDialog::LowSpace;
    return ConsoleDialog::Other;
}

std::string ConsoleCommandLine(const std::string &mscPath, const std::string &argument) {
    // A console file in a folder with blanks would reach MMC as two arguments.
    std::string file = mscPath.empty() ? setting::MSCPath.defaultText : mscPath;
    QuoteIfBlank(file);
    return "MMC.EXE " + file + " " + argument;
}

bool IsDiskeeperMarker(const char *text) {
    return _stricmp(text, kDiskeeperMarker) == 0;
}

bool IsDiskeeperAdvertTitle(const char *title) {
    return _stricmp(title, kDiskeeperAdvert) == 0;
}

// ---- Window side --------------------------------------------------------------------------------

std::string ReadConsoleTitle(HWND console) {
    return WindowText(console, kConsoleTitleLimit);
}

ConsoleDialogSeen FindConsoleDialog(DWORD consoleThread) {
    ConsoleDialogSeen seen = {ConsoleDialog::None, nullptr};
    EnumThreadWindows(consoleThread, ClassifyFirstDialog, reinterpret_cast<LPARAM>(&seen));
    return seen;
}

bool HasDiskeeperMarker(HWND console) {
    bool found = false;
    EnumChildWindows(console, FindMarker, reinterpret_cast<LPARAM>(&found));
    return found;
}

// ---- The command --------------------------------------------------------------------------------

bool DriveDefragConsole(HWND qsWindow, const std::string &argument) {
    if (FindWindowA(kConsoleClass, nullptr))
        return GiveUp(Tx("MMC のプロセスは既に実行中です。", "MMC Process is already running."));
    UniqueHandle process = StartConsole(argument);
    if (!process) return GiveUp(Tx("MMC のプロセスを起動できません。", "MMC Process cannot be started."));
    WaitForInputIdle(process.Get(), INFINITE);

    HWND console = WaitForConsoleWindow();
    if (!console) {
        process.Reset();
        return GiveUp(Tx("MMC のプロセスが突然消えました。", "MMC Process was disappeared suddenly."));
    }
    if (!WaitForConsoleTitle(console)) {
        process.Reset();
        return GiveUp(Tx("MMC のプロセスは見つかりましたが、タイトル バーが「ディスク デフラグ ツール」では"
                         "ありませんでした。",
                         "MMC Process was found. But, the title bar was not \"Disk Defragmenter.\""));
    }
    bool diskeeper = HasDiskeeperMarker(console);
    if (diskeeper) WaitForDiskeeper(console);
    if (!BringToFront(console) || !StartDefragmentation(console)) {
        process.Reset();
        return GiveUp(CannotActivate());
    }
    // Shown in both languages: Diskeeper gets in the way whatever language QS speaks, and
    // NoDKWarn silences it for those who know.
    HWND warning = diskeeper ? WarnOfDiskeeper(qsWindow) : nullptr;
    WatchConsole(console);

    // The warning is the QS window thread's; that thread closes it.
    if (warning && warning == g_currentNotice) SendMessageA(warning, WM_COMMAND, IDCANCEL, 0);
    WaitForSingleObject(process.Get(), INFINITE);
    process.Reset();
    Pause(1000);
    return true;
}

void AutoDefrag2000(Walk &walk, const std::string &argument) {
    DriveDefragConsole(walk.window, argument);
}
