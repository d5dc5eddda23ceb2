// The defragmenter console automation: the title check, the completion captions, the
// classification of the console's dialogs, the command line and the scaled waits as plain
// decisions; then the same decisions read from real windows made by the test thread, and the
// ways the automation gives up before anything is typed.
#include "QS.h"

#include "language.h"
#include "log_capture.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Japanese texts as the console shows them (this file, too, is compiled to Shift-JIS).
const char kJapaneseTitle[] = "ディスク デフラグ ツール";
const char kOptimizationCompleted[] = "最適化が完了しました";
const char kDefragmentationCompleted[] = "デフラグが完了しました";
const char kDefragmentationComplete[] = "デフラグ完了";

// ---- Plain decisions ----------------------------------------------------------------------------

TEST(DefragConsole, TitleCheck) {
    struct Case {
        const char *title;
        bool passes;
    } cases[] = {
        {"Disk Defragmenter", true},
        {"disk defragmenter", false}, // exact
        {"Disk Defragmenter ", false},
        {"Disk Defragmenter - C:", false},
        {kJapaneseTitle, true},
        {"ディスク デフラグ ツール - C:", false},
        {"Diskeeper", true},
        {"Diskeeper Lite", true},
        {"Diskeeper 2011 Professional Edition - Console", true}, // longer than the 28 read
        {"diskeeper", false},
        {"Diskeepe", false},
        {"", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.passes, IsConsoleTitle(c.title)) << c.title;
}

TEST(DefragConsole, CompletionCaptions) {
    // The byte lengths the console's Japanese captions have in Shift-JIS.
    EXPECT_EQ(20u, strlen(kOptimizationCompleted));
    EXPECT_EQ(22u, strlen(kDefragmentationCompleted));
    EXPECT_EQ(12u, strlen(kDefragmentationComplete));

    struct Case {
        const char *text;
        bool isTitle;     // as a dialog title
        bool beginsChild; // as the beginning of a child's text
    } cases[] = {
        {"Defragmentation Complete", true, true},
        {"Defragmentation Completed", true, true},
        {"DEFRAGMENTATION COMPLETE", true, false}, // titles in any case, child texts exact
        {"defragmentation completed", true, false},
        {"Defragmentation Complete\r\nVolume C: 3% fragmented", false, true},
        {"Defragmentation Completed for C:", false, true},
        {"Defragmentation Compl", false, false},
        {"Defragmentation", false, false},
        {kOptimizationCompleted, true, true},
        {kDefragmentationCompleted, true, true},
        {kDefragmentationComplete, true, true},
        {"デフラグ完了 (C:)", false, true},
        {"デフラグ", false, false},
        {"", false, false},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(c.isTitle, IsCompletionCaption(c.text)) << c.text;
        EXPECT_EQ(c.beginsChild, BeginsWithCompletionCaption(c.text)) << c.text;
    }
}

TEST(DefragConsole, DialogClassification) {
    using Texts = std::vector<std::string>;
    struct Case {
        const char *title;
        Texts children;
        ConsoleDialog expected;
    } cases[] = {
        {"Defragmentation Complete", {"OK"}, ConsoleDialog::Completed},
        {"defragmentation complete", {}, ConsoleDialog::Completed},
        {kDefragmentationComplete, {"OK"}, ConsoleDialog::Completed},
        {"Disk Defragmenter",
         {"OK", "Defragmentation Complete\nVolume C:\n  Fragmented: 0%"},
         ConsoleDialog::Completed},
        {"Disk Defragmenter", {"最適化が完了しました。ボリューム C:"}, ConsoleDialog::Completed},
        {"Disk Defragmenter", {"defragmentation complete for C:"}, ConsoleDialog::Other},
        {"Disk Defragmenter",
         {"Volume C: has only 9% free space. Defragmenter needs at least 15% free space. Defragment anyway?", "&Yes",
          "&No"},
         ConsoleDialog::LowSpace},
        {"ディスク デフラグ ツール", {"空き領域が 15% 未満です。続けますか?"}, ConsoleDialog::LowSpace},
        // The completion message wins over a figure that happens to read 15%.
        {"Disk Defragmenter", {"Defragmentation Complete: 15% fragmented before"}, ConsoleDialog::Completed},
        {"Disk Defragmenter", {"The volume cannot be opened.", "OK"}, ConsoleDialog::Other},
        {"", {}, ConsoleDialog::Other},
    };
    for (const Case &c : cases) {
        std::string children;
        for (const std::string &text : c.children)
            children += "[" + text + "]";
        EXPECT_EQ(c.expected, ClassifyConsoleDialog(c.title, c.children)) << c.title << " " << children;
    }
}

TEST(DefragConsole, CommandLineAndDiskeeperTexts) {
    EXPECT_EQ("MMC.EXE DFRG.MSC C:", ConsoleCommandLine("", "C:"));
    EXPECT_EQ("MMC.EXE dfrg.msc D:", ConsoleCommandLine("dfrg.msc", "D:"));
    EXPECT_EQ("MMC.EXE DFRG.MSC ", ConsoleCommandLine("", ""));
    EXPECT_EQ("MMC.EXE \"C:\\My Consoles\\defrag.msc\" C:", ConsoleCommandLine("C:\\My Consoles\\defrag.msc", "C:"));
    EXPECT_EQ("MMC.EXE \"C:\\My Consoles\\d.msc\" C:", ConsoleCommandLine("\"C:\\My Consoles\\d.msc\"", "C:"));

    EXPECT_TRUE(IsDiskeeperMarker("Set It and Forget It"));
    EXPECT_TRUE(IsDiskeeperMarker("SET IT AND FORGET IT"));
    EXPECT_FALSE(IsDiskeeperMarker("Set It and Forget It!"));
    EXPECT_FALSE(IsDiskeeperMarker(""));
    EXPECT_TRUE(IsDiskeeperAdvertTitle("diskeeper lite"));
    EXPECT_FALSE(IsDiskeeperAdvertTitle("Diskeeper Lite 2"));
    EXPECT_FALSE(IsDiskeeperAdvertTitle("Diskeeper"));
}

TEST(DefragConsole, TimeScale) {
    struct Case {
        const char *text;
        double scale;
    } cases[] = {
        {nullptr, 1.0}, {"", 1.0},  {"0.01", 0.01}, {"1", 1.0},    {"0.5", 0.5},   {"0", 1.0},
        {"-0.5", 1.0},  {"2", 1.0}, {"fast", 1.0},  {"0.1x", 1.0}, {"1e-2", 0.01},
    };
    for (const Case &c : cases)
        EXPECT_DOUBLE_EQ(c.scale, ParseTimeScale(c.text)) << (c.text ? c.text : "(none)");

    EXPECT_EQ(60000u, ScaledWait(60000, 1.0));
    EXPECT_EQ(5u, ScaledWait(500, 0.01));
    EXPECT_EQ(1u, ScaledWait(1, 0.01)); // a wait never turns into none
    EXPECT_EQ(0u, ScaledWait(0, 0.01));
    EXPECT_EQ(4294967295u, ScaledWait(4294967295u, 1.0));
}

// ---- Real windows of the test thread ------------------------------------------------------------

LRESULT CALLBACK PlainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

// A window of the console's class, owned by the test thread.
class FakeConsole {
public:
    explicit FakeConsole(const char *title) {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = PlainWindowProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "MMCMainFrame";
        RegisterClassA(&windowClass); // fails harmlessly when a previous test registered it
        window_ = CreateWindowExA(0, "MMCMainFrame", title, WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    }
    ~FakeConsole() { DestroyWindow(window_); }
    FakeConsole(const FakeConsole &) = delete;
    FakeConsole &operator=(const FakeConsole &) = delete;
    HWND Get() const { return window_; }

private:
    HWND window_;
};

HWND AddChild(HWND parent, const char *text) {
    return CreateWindowExA(0, "STATIC", text, WS_CHILD | WS_VISIBLE, 0, 0, 200, 20, parent, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

// The timed notices the automation opens on this thread, as they were when they came up.
struct NoticeSeen {
    std::string text;
    bool closeEnabled;
};
std::vector<NoticeSeen> g_notices;
HHOOK g_noticeHook = nullptr;

LRESULT CALLBACK AfterMessage(int code, WPARAM wParam, LPARAM lParam) {
    const CWPRETSTRUCT *message = reinterpret_cast<const CWPRETSTRUCT *>(lParam);
    if (code == HC_ACTION && message->message == WM_INITDIALOG) {
        char text[512] = "";
        GetDlgItemTextA(message->hwnd, IDC_NOTICE_TEXT, text, sizeof text);
        g_notices.push_back({text, IsWindowEnabled(GetDlgItem(message->hwnd, IDCANCEL)) != FALSE});
    }
    return CallNextHookEx(g_noticeHook, code, wParam, lParam);
}

class WatchNotices {
public:
    WatchNotices() {
        g_notices.clear();
        g_noticeHook = SetWindowsHookExA(WH_CALLWNDPROCRET, AfterMessage, nullptr, GetCurrentThreadId());
    }
    ~WatchNotices() { UnhookWindowsHookEx(g_noticeHook); }
    WatchNotices(const WatchNotices &) = delete;
    WatchNotices &operator=(const WatchNotices &) = delete;
};

// The automation's waits in these tests take a hundredth of their time; read once per process, so
// every test that runs the automation sets it first.
void ShortenWaits() {
    SetEnvironmentVariableA("QS_TIME_SCALE", "0.01");
}

TEST(DefragConsoleWindows, TitleIsReadUpTo28Characters) {
    FakeConsole console("Diskeeper 2011 Professional Edition - Console");
    ASSERT_TRUE(console.Get());
    EXPECT_EQ("Diskeeper 2011 Professional", ReadConsoleTitle(console.Get()).substr(0, 27));
    EXPECT_EQ(static_cast<size_t>(kConsoleTitleLimit), ReadConsoleTitle(console.Get()).size());
    EXPECT_TRUE(IsConsoleTitle(ReadConsoleTitle(console.Get()).c_str()));

    SetWindowTextA(console.Get(), kJapaneseTitle);
    EXPECT_EQ(kJapaneseTitle, ReadConsoleTitle(console.Get()));
    SetWindowTextA(console.Get(), "Disk Defragmenter");
    EXPECT_TRUE(IsConsoleTitle(ReadConsoleTitle(console.Get()).c_str()));
}

TEST(DefragConsoleWindows, DiskeeperMarkerIsAChildText) {
    FakeConsole console("Diskeeper");
    ASSERT_TRUE(console.Get());
    AddChild(console.Get(), "Analyze");
    EXPECT_FALSE(HasDiskeeperMarker(console.Get()));
    HWND panel = AddChild(console.Get(), "");
    // Nested deeper than the console's own children, as in a real frame.
    AddChild(panel, "set it and forget it");
    EXPECT_TRUE(HasDiskeeperMarker(console.Get()));
}

TEST(DefragConsoleWindows, FirstVisibleDialogOfTheConsoleThreadDecides) {
    FakeConsole console("Disk Defragmenter");
    ASSERT_TRUE(console.Get());
    DWORD thread = GetCurrentThreadId();
    EXPECT_EQ(ConsoleDialog::None, FindConsoleDialog(thread).kind);

    // A hidden dialog shows the user nothing and is passed over.
    HWND hidden = CreateWindowExA(0, "#32770", "Hidden", WS_POPUP, 0, 0, 100, 100, console.Get(), nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    ASSERT_TRUE(hidden);
    EXPECT_EQ(ConsoleDialog::None, FindConsoleDialog(thread).kind);

    HWND dialog = CreateWindowExA(0, "#32770", "Disk Defragmenter", WS_POPUP | WS_CAPTION, 0, 0, 300, 150,
                                  console.Get(), nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_TRUE(dialog);
    ShowWindow(dialog, SW_SHOWNOACTIVATE);
    HWND message = AddChild(dialog, "Volume C: needs at least 15% free space. Defragment anyway?");
    AddChild(dialog, "&Yes");
    ConsoleDialogSeen seen = FindConsoleDialog(thread);
    EXPECT_EQ(ConsoleDialog::LowSpace, seen.kind);
    EXPECT_EQ(dialog, seen.dialog);

    SetWindowTextA(message, "Defragmentation Complete\r\nVolume C:\r\nFragmented: 0%");
    EXPECT_EQ(ConsoleDialog::Completed, FindConsoleDialog(thread).kind);
    SetWindowTextA(message, "Something else went wrong.");
    EXPECT_EQ(ConsoleDialog::Other, FindConsoleDialog(thread).kind);
    SetWindowTextA(dialog, "Defragmentation Completed");
    EXPECT_EQ(ConsoleDialog::Completed, FindConsoleDialog(thread).kind);

    DestroyWindow(dialog);
    DestroyWindow(hidden);
    EXPECT_EQ(ConsoleDialog::None, FindConsoleDialog(thread).kind);
}

TEST(DefragConsoleWindows, AnOpenConsoleIsLeftAloneAndNothingStarts) {
    ShortenWaits();
    SetLanguage(Program::QuietShell, false);
    LogCapture log;
    FakeConsole console("Disk Defragmenter");
    ASSERT_TRUE(console.Get());
    WatchNotices notices;
    EXPECT_FALSE(DriveDefragConsole(nullptr, "C:"));
    EXPECT_EQ(std::vector<std::string>{"MMC Process is already running."}, log.Texts());
    ASSERT_EQ(1u, g_notices.size());
    EXPECT_EQ("MMC Process is already running.", g_notices[0].text);
    EXPECT_TRUE(g_notices[0].closeEnabled);
    EXPECT_TRUE(IsWindow(console.Get()));
}

TEST(DefragConsoleWindows, AMissingConsoleProgramIsReported) {
    // The test prefix has no MMC.EXE in its System folder.
    ShortenWaits();
    char folder[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof folder, folder);
    LogCapture log;
    SetLanguage(Program::QuietShell, true);
    EXPECT_FALSE(DriveDefragConsole(nullptr, "C:"));
    SetLanguage(Program::QuietShell, false);
    EXPECT_FALSE(DriveDefragConsole(nullptr, "C:"));
    SetCurrentDirectoryA(folder); // the automation works from the System folder
    EXPECT_EQ((std::vector<std::string>{"MMC のプロセスを起動できません。", "MMC Process cannot be started."}),
              log.Texts());
}

} // namespace
