// korvane: start-up of the configurator. WinMain walks the start in its fixed order: checks that
// the program can work where it was started, one instance, the switch of the command line, the
// settings upkeep, and then the main window with its message loop or, in auto mode, the planner.
#include "korvane.h"
#include "startup/startup.h"
#include "resource.h"
#include "planner/rnsrun.h"
#include "window/korvwin.h"
#include "window/normal.h"

#include "language.h"
#include "platform.h"
#include "runlog.h"
#include "settings.h"
#include "winhandle.h"

#include <commctrl.h>
#include <mmsystem.h>
#include <shellapi.h>

#include <cstdio>

namespace {

// How a step of the start leaves it: on, done, or refused (the program ends with exit code 1, so
// that a script or task that started it can tell).
enum class Flow { Go, End, Refused };

void TakeScreenState() {
    HDC screen = GetDC(nullptr);
    int x = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 0;
    int y = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen) ReleaseDC(nullptr, screen);
    g_dpiScaleX = x > 0 ? x / 96.0 : 1.0;
    g_dpiScaleY = y > 0 ? y / 96.0 : 1.0;
    g_guiFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    g_whiteBrush = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
}

void ShowFolderError() {
    ShowMessage(nullptr,
                {"プログラム自身の EXE ファイルがあるフォルダーを特定できませんでした。EXE ファイルは、ローカル"
                 "コンピューター上の、英数字とアンダースコアだけからなる 230 バイト以内の名前のフォルダーに置くことを"
                 "お勧めします。",
                 "We were not able to locate the folder containing the exe file of its own. folder to be placed "
                 "the exe file, we recommend that you be in the name of 230 bytes or less, which is configured on "
                 "the local computer, only the alphabet, digits, and underscores."},
                MB_ICONERROR);
}

// Step 8: passes when the EXE is as the build sealed it; passedAt then holds the time.
bool PassesSelfCheck(const char *module, std::string *passedAt) {
    SealCheck check = CheckExecutableSeal(module);
    if (check == SealCheck::Ok) {
        SYSTEMTIME now;
        GetLocalTime(&now);
        *passedAt = FormatCheckTime(now);
        return true;
    }
    if (check == SealCheck::Unavailable) {
        RUNLOG(Tx("SHA-256 が使えないため、KORVANE.EXE の自己診断を省きました。",
                  "Skipped the self-check of KORVANE.EXE: SHA-256 is not available."));
        return true;
    }
    std::string text = SelfCheckFailureText(LastPassedSelfCheck());
    RUNLOG(Tx("KORVANE.EXE の自己診断に失敗しました。", "Self-check of KORVANE.EXE failed."));
    ShowMessageBox(nullptr, text.c_str(), ProductTitle(), MB_ICONERROR);
    return false;
}

void TakeVersion(const char *module) {
    VersionStrings version;
    ReadVersionStrings(module, &version);
    g_versionText = version.fileVersion;
    g_versionNumber = VersionNumberOf(version.fileVersion.c_str());
    g_buildType = BuildTypeOf(version.specialBuild.c_str());
}

void ShowUsage() {
    if (!IsJapanese()) {
        ShowMessageBox(nullptr, UsageText(), ProductTitle(), MB_ICONINFORMATION);
        return;
    }
    INT_PTR opened =
        INT_PTR(ShellExecuteA(nullptr, "open", "hh.exe", "KORVANE.CHM::/_RESOURCE/HLP000028.html", ".", SW_SHOWNORMAL));
    // The help exists in Japanese only, and so does this message.
    if (opened <= 32)
        ShowMessageBox(nullptr, "hh.exe でヘルプ (KORVANE.CHM) を開けませんでした。", ProductTitle(), MB_ICONERROR);
}

// /L: the file's command lines become the other programs of an automatic run. A file that cannot
// be read ends the start without a run: the stored command lines are not the ones the user meant.
Flow LoadCommandFile(const std::string &argument) {
    std::string name = CommandFileName(argument);
    std::string text;
    CommandFileResult result = ReadCommandFile(name.c_str(), &text);
    if (result != CommandFileResult::Ok) {
        ShowCommandFileError(nullptr, result);
        return Flow::Refused;
    }
    if (StoreOtherCommands(text, false)) {
        g_commandGiven = true;
        g_autoMode = true;
    }
    return Flow::Go;
}

// /R: the file's settings are those of the automatic run. REGEDIT ends with 0 whether or not it
// imported anything, so a file that is missing or no registry text is refused before REGEDIT sees
// it; the run would otherwise start with the settings stored before. Keys beside the settings key
// are the file's author's business, as REGEDIT would import them too.
Flow ImportRegistryFile(const std::string &argument) {
    std::string name = CommandFileName(argument);
    SettingsFileCheck check = CheckSettingsFileAt(name.c_str());
    if (check != SettingsFileCheck::Ok && check != SettingsFileCheck::OtherKeys) {
        RefuseSettingsFile(nullptr, name.c_str(), check);
        return Flow::Refused;
    }
    if (!RunCommandLine(RegeditCommandLine(argument).c_str()) || g_lastExitCode != 0) {
        std::string failed = std::string(Tx("レジストリ ファイルをインポートできませんでした - ",
                                            "The registry file could not be imported - ")) +
                             name;
        RUNLOG(failed.c_str());
        ShowMessageBox(nullptr, failed.c_str(), ProductTitle(), MB_ICONERROR);
        return Flow::Refused;
    }
    g_autoMode = true;
    return Flow::Go;
}

// Step 10. A switch whose settings cannot be stored has no effect at all, so that no automatic
// run starts with what was stored before.
Flow CarryOutSwitch(const ParsedSwitch &parsed) {
    switch (parsed.kind) {
    case StartSwitch::Help:
        ShowUsage();
        return Flow::End;
    case StartSwitch::Auto:
        g_autoMode = parsed.digit < 0 || StoreRunKind(parsed.digit);
        return Flow::Go;
    case StartSwitch::Ready:
    case StartSwitch::ReadyAndRun:
        g_commandGiven = StoreOtherCommands(parsed.argument, true);
        g_autoMode = g_commandGiven && parsed.kind == StartSwitch::ReadyAndRun;
        return Flow::Go;
    case StartSwitch::TextFile:
        return LoadCommandFile(parsed.argument);
    case StartSwitch::RegFile:
        return ImportRegistryFile(parsed.argument);
    case StartSwitch::Power:
        PowerActionAfterRun(parsed.digit == 0);
        return Flow::End;
    case StartSwitch::Scheduler:
        ReplaceScheduler();
        return Flow::End;
    case StartSwitch::Preview:
        ShowRunPreview(nullptr);
        return Flow::End;
    default:
        return Flow::Go;
    }
}

// Reads enable_double and fjlog; sets the trace mode. Returns enable_double.
bool ReadStartSettings() {
    REGA key;
    if (!OpenSettings(key, OPEN_READONLY)) return false;
    SetTraceMode(ReadSetting(key, setting::fjlog) != 0);
    bool enableDouble = ReadSetting(key, setting::enable_double) != 0;
    key.CloseKey();
    return enableDouble;
}

// False when another korvane holds the mutex; that one is brought to the front when it can be.
bool TakeSingleInstance() {
    g_instanceMutex = CreateMutexA(nullptr, TRUE, "korvane");
    if (GetLastError() != ERROR_ALREADY_EXISTS) return true;
    HWND other = FindWindowA("korvane", nullptr);
    if (g_autoMode || g_commandGiven) {
        ShowMessage(nullptr,
                    {"Korvane.exe は既に起動しています。タイドウェルのウィンドウを閉じてください。",
                     "Korvane.exe is already running. You must close Window of Tidewell."},
                    MB_ICONERROR);
    } else if (other) {
        if (IsIconic(other)) ShowWindow(other, SW_RESTORE);
        SetForegroundWindow(GetLastActivePopup(other));
    } else {
        ShowMessage(nullptr, {"Korvane.exe は既に起動しています。", "Korvane.exe is already running."}, 0);
    }
    return false;
}

void TraceStamp(const char *pattern) {
    if (!TraceMode()) return;
    char text[128];
    snprintf(text, sizeof text, pattern, BuildStamp());
    RUNLOG(text);
}

UINT DriveTypeOf(const char *root) {
    return GetDriveTypeA(root);
}

// Steps 13 to 15: a Windows we know, a local disk, QS.EXE beside us.
Flow CheckEnvironment(const char *module) {
    if (g_windowsVersion < 400) {
        ShowMessage(nullptr,
                    {"このプログラムはこの環境では動作しません。", "This program cannot run in this environment."},
                    MB_ICONERROR);
        return Flow::End;
    }
    if (g_windowsVersion >= 1001 && !UntestedWindowsAccepted()) return Flow::End;
    if (!OnLocalFixedDisk(module, DriveTypeOf) &&
        ShowMessage(nullptr,
                    {"Korvane.exe がローカルのハードディスクにありません。続行しますか?",
                     "Korvane.exe is not in local HDD. Do you continue?"},
                    MB_YESNO | MB_ICONQUESTION) != IDYES)
        return Flow::End;
    if (!FileExists("QS.EXE")) {
        ShowMessage(nullptr, {"QS.EXE が見つかりません。", "QS.EXE is not found."}, MB_ICONERROR);
        return Flow::End;
    }
    return Flow::Go;
}

bool KeyHeld(int key) {
    return (GetAsyncKeyState(key) & 0x8000) != 0;
}

// Steps 17 to 24: the settings brought up to date and the questions of a start.
Flow UpdateSystemAtStart(const char *module, const std::string &selfCheckTime) {
    MoveSettingsFromUser();
    StartWrites writes;
    writes.versionNumber = g_versionNumber;
    writes.programFile = module;
    writes.selfCheckTime = selfCheckTime;
    // Shift, Alt and Ctrl held together start without the update check.
    writes.updateCheckAllowed = !g_autoMode && !(KeyHeld(VK_SHIFT) && KeyHeld(VK_MENU) && KeyHeld(VK_CONTROL));
    UpdateSettingsAtStart(writes);
    ClearRestrictRun();
    EnsureDefaultSoundScheme();
    g_arrowCursor = LoadCursorA(nullptr, IDC_ARROW);
    if (g_windowsVersion >= 401) g_handCursor = LoadCursorA(nullptr, IDC_HAND);
    // An automatic run asks nothing: the scheduler may start it with nobody at the screen.
    if (g_windowsVersion >= 501 && !g_autoMode) AskRestorePointChoice();
    if (!g_autoMode) RegisterWithUpcheck(g_versionNumber, module);
    if (IsJapanese() && !g_autoMode) {
        SYSTEMTIME now;
        GetSystemTime(&now);
        if (IsSummerMonth(now.wMonth) && !SummerNoticeAccepted()) return Flow::End;
    }
    return Flow::Go;
}

int RunMessageLoop(HWND mainWindow, HACCEL accelerators) {
    ShowWindow(mainWindow, SW_SHOWNORMAL);
    if (IsZoomed(mainWindow)) ShowWindow(mainWindow, SW_RESTORE);
    MSG message;
    BOOL got;
    while ((got = GetMessageA(&message, nullptr, 0, 0)) != 0 && got != -1) {
        if (accelerators && TranslateAcceleratorA(mainWindow, accelerators, &message)) continue;
        if (g_normalPanel && IsDialogMessageA(g_normalPanel, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return got == 0 ? int(message.wParam) : 0;
}

// The mutex is held to the end of the process unless the planner handed it to QS.
struct InstanceMutexOwner {
    ~InstanceMutexOwner() {
        if (g_instanceMutex) CloseHandle(g_instanceMutex);
        g_instanceMutex = nullptr;
    }
};

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    g_instance = instance;
    g_windowsVersion = GetWindowsVersionCode();
    TakeScreenState();
    DecideLanguage(Program::Korvane);
    ApplyLanguageSwitch(commandLine);
    AllowDropFromLowerProcesses(); // a non-elevated Explorer may drop files on us
    RepairExplorerVerbs();
    if (!SetProgramDirectory()) {
        ShowFolderError();
        return 1;
    }
    InitCommonControls();
    ComScope com;
    g_feedbackHint = GetTickCount() % 7 == 0;
    HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_KORVANE_ACCEL));

    char module[520];
    DWORD length = GetModuleFileNameA(nullptr, module, sizeof module);
    if (length == 0 || length >= sizeof module) {
        ShowMessage(nullptr, {"GetModuleFileName に失敗しました。", "GetModuleFileName failed."}, MB_ICONERROR);
        return 1;
    }
    InitRunLog("KV");
    std::string selfCheckTime;
    if (!PassesSelfCheck(module, &selfCheckTime)) return 1;
    TakeVersion(module);
    Flow switched = CarryOutSwitch(ParseStartSwitch(commandLine));
    if (switched != Flow::Go) return switched == Flow::Refused ? 1 : 0;

    InstanceMutexOwner mutexOwner;
    if (!ReadStartSettings() && !TakeSingleInstance()) return 0;
    TraceStamp("KORVANE.EXE(%s) - start");
    if (CheckEnvironment(module) == Flow::End) return 0;
    if (!RegistryWriteTestPasses()) return 0;
    if (UpdateSystemAtStart(module, selfCheckTime) == Flow::End) return 0;

    RegisterMainWindowClass();
    UniqueGdiObject titleFont(CreateTitleFont(IsJapanese(), g_windowsVersion, g_dpiScaleY));
    g_titleFont = static_cast<HFONT>(titleFont.Get());
    HWND mainWindow = CreateMainWindow();
    if (!mainWindow) return 0;
    ShowInitialScreen(mainWindow);
    if (g_autoMode) {
        PlanRinsaRun();
        return 0;
    }
    int exitCode = RunMessageLoop(mainWindow, accelerators);
    if (g_normalMenu) DestroyMenu(g_normalMenu);
    g_normalMenu = nullptr;
    if (g_instanceMutex) CloseHandle(g_instanceMutex);
    g_instanceMutex = nullptr;
    PlaySoundA(nullptr, nullptr, 0);
    TraceStamp("KORVANE.EXE(%s) - end");
    return exitCode;
}
