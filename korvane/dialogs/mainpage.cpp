// mainpage: the main options page ("Others") and the Rinsa method page ("How to Rinsa"). The
// main page gathers the options of the start and the end of a run and opens More settings, the
// services to stop and the scheduler; the method page chooses how a run gets its quiet session.
#include "dialogs/mainpage.h"

#include "dialogs/options.h"

#include "korvane.h"
#include "resource.h"
#include "planner/rnsrun.h"

#include "language.h"
#include "platform.h"
#include "runlog.h"
#include "settings.h"

namespace {

const char kLogModule[] = "mainpage";
constexpr const char *kMainHelpTopic = "HLP000021.html";
constexpr const char *kMethodHelpTopic = "HLP000017.html";
constexpr const char *kSchedulerClass = "korvane_task_sr";
constexpr UINT_PTR kSchedulerTimer = 1;
constexpr UINT kSchedulerTimerMs = 2000;

const int kMainOnceIds[] = {IDC_MAIN_BOOTINI, IDC_MAIN_POWEROFF, IDC_MAIN_FASTBOOT, IDC_MAIN_NOPAGINGFILE,
                            IDC_MAIN_SCANREG, IDC_MAIN_CLEANMGR, IDC_MAIN_MOUSE,    0};
const OnceBoxes kMainBoxes(kMainOnceIds);

const TextPair kAfterRunTexts[kAfterRunEntries] = {
    {"シャットダウン", "Shutdown"},
    {"続行または再起動", "Continue or Reboot"},
    {"スタンバイ", "Suspend mode"},
    {"休止状態", "Hibernation mode"},
};

// Both questions about the Boot.ini substitution are in Japanese in either language.
const char kBootIniClashQuestion[] =
    "Boot.ini の置き換えは、Rinsa 後のスタンバイや休止状態と一緒には正しく動かないことがあります。\n"
    "それでも Boot.ini を置き換えますか?";
const char kAfterRunClashQuestion[] =
    "この設定は、Boot.ini の置き換えと一緒には正しく動かないことがあります。\nそれでもこの設定にしますか?";

const ToolTipText kMainTipsJa[] = {
    {IDC_MAIN_AFTERRUN, "Rinsa 実行の後にすることを選びます。"},
    {IDC_MAIN_POWEROFF, "Rinsa 実行の前に Windows を終了します。"},
    {IDC_MAIN_FASTBOOT, "高速起動を使います。"},
    {IDC_MAIN_NOPAGINGFILE, "スワップファイル(ページングファイル)を削除します。"},
    {IDC_MAIN_BOOTINI, "boot.rnb と boot.ini を入れ替えます。"},
    {IDC_MAIN_SAVESCREEN, "Rinsa 実行中は画面を黒いウィンドウで覆います。"},
    {IDC_MAIN_OLDSCREEN, "「画面を保護する」を使うときに、古い画面保護モードを使います。"},
    {IDC_MAIN_MOUSE, "50 秒ごとにマウスを 1 ドットずつ左右に動かします。"},
    {IDC_MAIN_RESTOREPOINT,
     "Rinsa 実行の開始時に復元ポイント「Tidewell」を作成します。\r\nシステムの復元の機能を使います。"},
    {IDC_MAIN_CLEANMGR, "ディスク クリーンアップを使います。"},
    {IDC_MAIN_MORE, "上級者向けの設定です。"},
    {IDC_MAIN_STOPSRV, "いくつかのサービスを停止します。"},
    {IDC_MAIN_SCHEDULER, "スケジューラの設定です。"},
    {0, nullptr},
};
const ToolTipText kMainTipsEn[] = {
    {IDC_MAIN_AFTERRUN, "Settings of after rinsa."},
    {IDC_MAIN_POWEROFF, "Quits Windows before rinsa."},
    {IDC_MAIN_FASTBOOT, "Uses fast boot."},
    {IDC_MAIN_NOPAGINGFILE, "Deletes swap/paging files."},
    {IDC_MAIN_BOOTINI, "Switch boot.rnb and boot.ini."},
    {IDC_MAIN_SAVESCREEN, "Covers screen with a black window in rinsa running."},
    {IDC_MAIN_OLDSCREEN, "When you use 'Save the screen,' uses o&ld screen saving mode."},
    {IDC_MAIN_MOUSE, "Moves the mouse right and left by one dot at intervals of 50 seconds."},
    {IDC_MAIN_RESTOREPOINT,
     "Creates a Restore Point 'Tidewell' when Rinsa Running Starts. \r\nThis function uses System Restore."},
    {IDC_MAIN_CLEANMGR, "Uses Disk Clean Up."},
    {IDC_MAIN_MORE, "Options for Experts."},
    {IDC_MAIN_STOPSRV, "Stops some services."},
    {IDC_MAIN_SCHEDULER, "Settings for Scheduler."},
    {0, nullptr},
};

const ToolTipText kMethodTipsJa[] = {
    {IDC_METHOD_NONE, "常駐しているタスクを終了しません。"},
    {IDC_METHOD_BEFORESHELL, "シェルの起動前に Rinsa 実行を行います。"},
    {IDC_METHOD_SHELL, "Quiet Shell で Rinsa 実行を行います。"},
    {IDC_METHOD_SAFEMODE, "Quiet Shell で、セーフモード(または VGA モード)を使って Rinsa 実行を行います。"},
    {IDC_METHOD_NOTNETSAFE,
     "セーフモードではネットワークを切断します。\r\nドメインへのログオンを使わない場合に、この機能を使えます。"},
    {0, nullptr},
};
const ToolTipText kMethodTipsEn[] = {
    {IDC_METHOD_NONE, "Doesn't delete stay resident tasks."},
    {IDC_METHOD_BEFORESHELL, "Does Rinsa running before booting shell."},
    {IDC_METHOD_SHELL, "Does Rinsa running by Quiet shell."},
    {IDC_METHOD_SAFEMODE, "Does Rinsa running by Quiet shell and Uses Safe mode(or VGA mode)."},
    {IDC_METHOD_NOTNETSAFE,
     "Disconnect Network on safemode.\r\nYou may use this function if you don't use logon with domain, "},
    {0, nullptr},
};

unsigned short WindowsVersion() {
    return g_windowsVersion ? g_windowsVersion : GetWindowsVersionCode();
}

void Enable(HWND page, int id, bool enabled) {
    EnableWindow(GetDlgItem(page, id), enabled ? TRUE : FALSE);
}

void ClearAndDisable(HWND page, int id) {
    CheckDlgButton(page, id, BST_UNCHECKED);
    Enable(page, id, false);
}

// The page keeps some options off for good, and says so in the settings at once.
void WriteAtOnce(const DwordSetting &setting, LONG value) {
    if (WriteSettingDword(setting.name, value)) return;
    RUNLOG2(Tx("設定を書き込めませんでした - ", "Cannot write the setting - "), setting.name);
}

bool OpenInNotepad(HWND owner, const char *file, const char *folder) {
    std::string parameters = file;
    QuoteIfBlank(parameters);
    INT_PTR result = reinterpret_cast<INT_PTR>(
        ShellExecuteA(owner, "open", "NOTEPAD.EXE", parameters.c_str(), folder, SW_SHOWNORMAL));
    return result > 32;
}

// ---- Main options page: opening -----------------------------------------------------------------

// What the page remembers between messages.
struct MainPageState {
    int afterRunEntry = 0; // the entry a declined question puts back
};

MainPageState *StateOf(HWND page) {
    return reinterpret_cast<MainPageState *>(GetWindowLongPtrA(page, DWLP_USER));
}

MainPageSystem CurrentSystem() {
    MainPageSystem system;
    system.windowsVersion = WindowsVersion();
    system.bootIniExists = FileExists(BootFilePath(BootDrive(), "BOOT.INI").c_str());
    MEMORYSTATUSEX memory = {};
    memory.dwLength = sizeof memory;
    // Unknown memory counts as enough: the option is the user's to choose.
    system.totalMemory = GlobalMemoryStatusEx(&memory) ? memory.ullTotalPhys : ~0ULL;
    return system;
}

void FillAfterRun(HWND combo) {
    for (const TextPair &text : kAfterRunTexts)
        SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.Get()));
}

void ShowScreenBoxes(HWND page, const ScreenBoxes &boxes) {
    CheckDlgButton(page, IDC_MAIN_SAVESCREEN, boxes.save ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(page, IDC_MAIN_OLDSCREEN, boxes.oldMode ? BST_CHECKED : BST_UNCHECKED);
    Enable(page, IDC_MAIN_OLDSCREEN, boxes.save);
}

void LoadMainValues(HWND page, const MainPageRules &rules, MainPageState *state) {
    PageValues values;
    kMainBoxes.Show(page, IDC_MAIN_POWEROFF, values.Dword(setting::PowerOff));
    kMainBoxes.Show(page, IDC_MAIN_NOPAGINGFILE, values.Dword(setting::NoPagingFile));
    if (rules.readBootIni) kMainBoxes.Show(page, IDC_MAIN_BOOTINI, values.Dword(setting::Bootini));
    ShowScreenBoxes(page, ScreenBoxesOf(values.Dword(setting::aux_vso)));
    kMainBoxes.Show(page, IDC_MAIN_CLEANMGR, values.Dword(setting::cleanmgr));
    bool restorePoint = RestorePointBoxOn(values.Dword(setting::CreateRestorePoint), rules.restorePointUsable);
    CheckDlgButton(page, IDC_MAIN_RESTOREPOINT, restorePoint ? BST_CHECKED : BST_UNCHECKED);
    state->afterRunEntry = AfterRunEntryOf(values.Dword(setting::NotAutoPowerOff));
    SendDlgItemMessageA(page, IDC_MAIN_AFTERRUN, CB_SETCURSEL, WPARAM(state->afterRunEntry), 0);
    kMainBoxes.Show(page, IDC_MAIN_MOUSE, values.Dword(setting::mouselr));
}

// The options this machine cannot use are cleared; the fast boot and the registry scan never run.
void ApplyMainRules(HWND page, const MainPageRules &rules) {
    Enable(page, IDC_MAIN_BOOTINI, rules.bootIniUsable);
    ClearAndDisable(page, IDC_MAIN_FASTBOOT);
    WriteAtOnce(setting::SystemReboot, 0);
    if (!rules.pagingFileUsable) {
        ClearAndDisable(page, IDC_MAIN_NOPAGINGFILE);
        Enable(page, IDC_MAIN_NOPAGINGFILE_NOTE, false);
        WriteAtOnce(setting::NoPagingFile, 0);
    }
    ClearAndDisable(page, IDC_MAIN_SCANREG);
    if (!rules.diskCleanupUsable) ClearAndDisable(page, IDC_MAIN_CLEANMGR);
    Enable(page, IDC_MAIN_RESTOREBIT0, false);
    Enable(page, IDC_MAIN_RESTOREPOINT, rules.restorePointUsable);
}

BOOL OnMainInit(HWND page) {
    AddToolTips(page, ToolTipTable(kMainTipsJa, kMainTipsEn));
    FillAfterRun(GetDlgItem(page, IDC_MAIN_AFTERRUN));
    SetTimer(page, kSchedulerTimer, kSchedulerTimerMs, nullptr);
    auto *state = new MainPageState;
    SetWindowLongPtrA(page, DWLP_USER, reinterpret_cast<LONG_PTR>(state));
    MainPageRules rules = MainPageRulesFor(CurrentSystem());
    LoadMainValues(page, rules, state);
    ApplyMainRules(page, rules);
    return TRUE;
}

void OnMainDestroy(HWND page) {
    KillTimer(page, kSchedulerTimer);
    delete StateOf(page);
    SetWindowLongPtrA(page, DWLP_USER, 0);
}

void ShowSchedulerStatus(HWND page) {
    bool running = FindWindowA(kSchedulerClass, nullptr) != nullptr;
    SetDlgItemTextA(page, IDC_MAIN_SCHEDULER_STATUS,
                    running ? Tx("スケジューラの状態 : ON", "Scheduler Status : ON")
                            : Tx("スケジューラの状態 : OFF", "Scheduler Status : OFF"));
}

// ---- Main options page: reactions ---------------------------------------------------------------

int AfterRunEntry(HWND page) {
    return int(SendDlgItemMessageA(page, IDC_MAIN_AFTERRUN, CB_GETCURSEL, 0, 0));
}

bool ConfirmNoPagingFile(HWND page) {
    return ShowMessage(
               page,
               {"このチェックボックスをオンにすると、Windows 2000 は警告メッセージを表示して起動処理を停止します。\n"
                "オンにしてもよろしいですか?",
                "When you turn on this checkbox, Windows 2000 displays warning message and stops booting "
                "process.\nAre you sure you want to turn on?"},
               MB_YESNO | MB_ICONQUESTION) == IDYES;
}

// A once box was set from off to on or to use once: some ask first and may turn it off again.
void OnOnceBoxTurnedOn(HWND page, int id) {
    bool keep = true;
    if (id == IDC_MAIN_NOPAGINGFILE && MainPageRulesFor(CurrentSystem()).asksBeforeNoPagingFile)
        keep = ConfirmNoPagingFile(page);
    else if (id == IDC_MAIN_BOOTINI)
        keep = ConfirmBootIniSubstitution(page, BootDrive(), AfterRunEntry(page));
    if (!keep) CheckDlgButton(page, id, BST_UNCHECKED);
}

void AfterOnceChange(HWND page, int id, OnceState before) {
    if (before == kOnceOff && kMainBoxes.State(page, id) != kOnceOff) OnOnceBoxTurnedOn(page, id);
}

void OnAfterRunChanged(HWND page) {
    MainPageState *state = StateOf(page);
    int entry = AfterRunEntry(page);
    if (!state || entry < 0) return;
    bool bootIniOn = kMainBoxes.State(page, IDC_MAIN_BOOTINI) != kOnceOff;
    if (bootIniOn && AfterRunClashesWithBootIni(entry) &&
        ShowMessageBox(page, kAfterRunClashQuestion, ProductTitle(), MB_YESNO | MB_ICONQUESTION) != IDYES) {
        SendDlgItemMessageA(page, IDC_MAIN_AFTERRUN, CB_SETCURSEL, WPARAM(state->afterRunEntry), 0);
        return;
    }
    state->afterRunEntry = entry;
}

void StartScheduler(HWND page) {
    if (!RunCommandLine("!KORVTASK.EXE"))
        ShowMessage(page, {"korvtask.exe を実行できません。", "korvtask.exe cannot run."}, MB_ICONWARNING);
}

BOOL OnMainCommand(HWND page, int id, int code) {
    if (code == CBN_SELCHANGE && id == IDC_MAIN_AFTERRUN) {
        OnAfterRunChanged(page);
        return TRUE;
    }
    if (code != BN_CLICKED) return FALSE;
    if (kMainBoxes.Has(id)) {
        OnceState before = kMainBoxes.State(page, id);
        kMainBoxes.OnClicked(page, id);
        AfterOnceChange(page, id, before);
        return TRUE;
    }
    switch (id) {
    case IDC_MAIN_SAVESCREEN:
        Enable(page, IDC_MAIN_OLDSCREEN, IsDlgButtonChecked(page, IDC_MAIN_SAVESCREEN) == BST_CHECKED);
        return TRUE;
    case IDC_MAIN_MORE:
        ShowMoreSettings(page);
        return TRUE;
    case IDC_MAIN_STOPSRV:
        ShowStopServices(page);
        return TRUE;
    case IDC_MAIN_SCHEDULER:
        StartScheduler(page);
        return TRUE;
    }
    return FALSE;
}

BOOL OnMainContextMenu(HWND page, HWND control, LPARAM point) {
    int id = control ? GetDlgCtrlID(control) : 0;
    OnceState before = kMainBoxes.Has(id) ? kMainBoxes.State(page, id) : kOnceOff;
    if (!kMainBoxes.OnContextMenu(page, control, point, &id)) return kMainBoxes.Has(id);
    AfterOnceChange(page, id, before);
    return TRUE;
}

// ---- Main options page: OK ----------------------------------------------------------------------

bool Checked(HWND page, int id) {
    return IsDlgButtonChecked(page, id) == BST_CHECKED;
}

LONG_PTR OnMainApply(HWND page) {
    PageWriter writer(kLogModule);
    int entry = AfterRunEntry(page);
    writer.Dword(setting::NotAutoPowerOff, entry < 0 ? 0 : entry);
    writer.Dword(setting::PowerOff, kMainBoxes.State(page, IDC_MAIN_POWEROFF));
    writer.Dword(setting::SystemReboot, kMainBoxes.State(page, IDC_MAIN_FASTBOOT));
    writer.Dword(setting::Bootini, kMainBoxes.State(page, IDC_MAIN_BOOTINI));
    writer.Dword(setting::NoPagingFile, kMainBoxes.State(page, IDC_MAIN_NOPAGINGFILE));
    ScreenBoxes screen;
    screen.save = Checked(page, IDC_MAIN_SAVESCREEN);
    screen.oldMode = Checked(page, IDC_MAIN_OLDSCREEN);
    writer.Dword(setting::aux_vso, AuxVsoOf(screen));
    writer.Dword(setting::scanreg, kMainBoxes.State(page, IDC_MAIN_SCANREG));
    writer.Dword(setting::cleanmgr, kMainBoxes.State(page, IDC_MAIN_CLEANMGR));
    writer.Dword(setting::CreateRestorePoint,
                 RestorePointValueOf(Checked(page, IDC_MAIN_RESTOREBIT0), Checked(page, IDC_MAIN_RESTOREPOINT)));
    writer.Dword(setting::mouselr, kMainBoxes.State(page, IDC_MAIN_MOUSE));
    return ApplyResult(writer);
}

BOOL OnMainNotify(HWND page, const NMHDR &header) {
    if (header.code != UINT(PSN_APPLY)) return FALSE;
    SetWindowLongPtrA(page, DWLP_MSGRESULT, OnMainApply(page));
    return TRUE;
}

INT_PTR CALLBACK MainOptionsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    if (HandlePageHelp(page, message, lParam, kMainHelpTopic)) return TRUE;
    switch (message) {
    case WM_INITDIALOG:
        return OnMainInit(page);
    case WM_DESTROY:
        OnMainDestroy(page);
        return FALSE;
    case WM_TIMER:
        if (wParam == kSchedulerTimer) ShowSchedulerStatus(page);
        return TRUE;
    case WM_COMMAND:
        return OnMainCommand(page, LOWORD(wParam), HIWORD(wParam));
    case WM_CONTEXTMENU:
        return OnMainContextMenu(page, reinterpret_cast<HWND>(wParam), lParam);
    case WM_NOTIFY:
        return OnMainNotify(page, *reinterpret_cast<const NMHDR *>(lParam));
    }
    return FALSE;
}

// ---- Rinsa method page --------------------------------------------------------------------------

const int kMethodRadios[] = {IDC_METHOD_NONE, IDC_METHOD_BEFORESHELL, IDC_METHOD_OBSOLETE, IDC_METHOD_SHELL,
                             IDC_METHOD_SAFEMODE};

void CheckMethodRadio(HWND page, int checked) {
    for (int id : kMethodRadios)
        CheckDlgButton(page, id, id == checked ? BST_CHECKED : BST_UNCHECKED);
}

int CheckedMethodRadio(HWND page) {
    for (int id : kMethodRadios)
        if (IsDlgButtonChecked(page, id) == BST_CHECKED) return id;
    return 0;
}

BOOL OnMethodInit(HWND page) {
    AddToolTips(page, ToolTipTable(kMethodTipsJa, kMethodTipsEn));
    unsigned short version = WindowsVersion();
    PageValues values;
    MethodHow how = MethodHowOf(values.Dword(setting::How), version);
    if (how.rewritten) WriteAtOnce(setting::How, how.shown);
    Enable(page, IDC_METHOD_OBSOLETE, false);
    Enable(page, IDC_METHOD_OBSOLETE_NOTE, false);
    if (!SafeModeUsable(version)) {
        for (int id : {IDC_METHOD_SAFEMODE, IDC_METHOD_SAFEMODE_NOTE, IDC_METHOD_NOTNETSAFE})
            Enable(page, id, false);
    }
    if (BeforeShellUsable(version)) {
        bool notNetSafe = values.Dword(setting::notnetsafe) != 0;
        CheckDlgButton(page, IDC_METHOD_NOTNETSAFE, notNetSafe ? BST_CHECKED : BST_UNCHECKED);
    } else {
        Enable(page, IDC_METHOD_BEFORESHELL, false);
        Enable(page, IDC_METHOD_BEFORESHELL_NOTE, false);
    }
    CheckMethodRadio(page, MethodRadioOf(how.shown));
    return TRUE;
}

BOOL OnMethodNotify(HWND page, const NMHDR &header) {
    if (header.code != UINT(PSN_APPLY)) return FALSE;
    PageWriter writer(kLogModule);
    writer.Dword(setting::How, HowOfRadio(CheckedMethodRadio(page)));
    writer.Dword(setting::notnetsafe, Checked(page, IDC_METHOD_NOTNETSAFE) ? 1 : 0);
    SetWindowLongPtrA(page, DWLP_MSGRESULT, ApplyResult(writer));
    return TRUE;
}

INT_PTR CALLBACK MethodPageProc(HWND page, UINT message, WPARAM, LPARAM lParam) {
    if (HandlePageHelp(page, message, lParam, kMethodHelpTopic)) return TRUE;
    switch (message) {
    case WM_INITDIALOG:
        return OnMethodInit(page);
    case WM_NOTIFY:
        return OnMethodNotify(page, *reinterpret_cast<const NMHDR *>(lParam));
    }
    return FALSE;
}

} // namespace

bool (*g_openInNotepad)(HWND owner, const char *file, const char *folder) = OpenInNotepad;

// ---- Rules --------------------------------------------------------------------------------------

MainPageRules MainPageRulesFor(const MainPageSystem &system) {
    MainPageRules rules;
    unsigned short version = system.windowsVersion;
    rules.readBootIni = version < 600;
    rules.bootIniUsable = version < 600 && system.bootIniExists;
    rules.pagingFileUsable = system.totalMemory >= kSmallestMemoryForNoPagingFile;
    rules.diskCleanupUsable = version >= 410;
    rules.restorePointUsable = version > 500 && version != 502;
    rules.asksBeforeNoPagingFile = version == 500;
    return rules;
}

ScreenBoxes ScreenBoxesOf(LONG auxVso) {
    ScreenBoxes boxes;
    boxes.save = auxVso != 0;
    boxes.oldMode = auxVso != 0 && auxVso != 1;
    return boxes;
}

LONG AuxVsoOf(const ScreenBoxes &boxes) {
    if (!boxes.save) return 0;
    return boxes.oldMode ? 2 : 1;
}

bool RestorePointBoxOn(LONG stored, bool usable) {
    return usable && stored != 0;
}

LONG RestorePointValueOf(bool hiddenBit, bool box) {
    return (hiddenBit ? 1 : 0) | (box ? 2 : 0);
}

int AfterRunEntryOf(LONG notAutoPowerOff) {
    if (notAutoPowerOff < 0) return 0;
    return notAutoPowerOff >= kAfterRunEntries ? kAfterRunEntries - 1 : int(notAutoPowerOff);
}

bool AfterRunClashesWithBootIni(int entry) {
    return entry == 2 || entry == 3;
}

MethodHow MethodHowOf(LONG stored, unsigned short windowsVersion) {
    MethodHow how;
    if (stored == 1) {
        how.shown = windowsVersion < 604 ? 0 : 2;
        how.rewritten = true;
    } else if (stored == 3 && !SafeModeUsable(windowsVersion)) {
        how.shown = 2;
        how.rewritten = true;
    } else {
        how.shown = stored < 0 || stored > 4 ? 0 : stored;
    }
    return how;
}

bool SafeModeUsable(unsigned short windowsVersion) {
    return windowsVersion <= 600;
}

bool BeforeShellUsable(unsigned short windowsVersion) {
    return windowsVersion < 604;
}

int MethodRadioOf(LONG how) {
    switch (how) {
    case 0:
        return IDC_METHOD_BEFORESHELL;
    case 1:
        return IDC_METHOD_OBSOLETE;
    case 2:
        return IDC_METHOD_SHELL;
    case 3:
        return IDC_METHOD_SAFEMODE;
    }
    return IDC_METHOD_NONE;
}

LONG HowOfRadio(int radioId) {
    switch (radioId) {
    case IDC_METHOD_BEFORESHELL:
    case IDC_METHOD_OBSOLETE:
        return 0;
    case IDC_METHOD_SHELL:
        return 2;
    case IDC_METHOD_SAFEMODE:
        return 3;
    }
    return 4;
}

// ---- BOOT.RNB -----------------------------------------------------------------------------------

std::string BootFilePath(const char *root, const char *name) {
    std::string path = root ? root : "";
    AppendBackslash(path);
    return path + name;
}

std::string BootRnbQuestion(const char *root) {
    std::string file = BootFilePath(root, "Boot.rnb");
    return FormatString(Tx("%s が見つかりません。\nBoot.rnb を作成しますか?",
                           "%s is not found.\nAre you sure you want to create Boot.rnb?"),
                        file.c_str());
}

DWORD CreateBootRnb(const char *root) {
    std::string ini = BootFilePath(root, "BOOT.INI");
    std::string rnb = BootFilePath(root, "BOOT.RNB");
    // CopyFile reads a hidden, system or read-only BOOT.INI as it is; the copy takes its
    // attributes, which the user's own file should not have.
    if (!CopyFileA(ini.c_str(), rnb.c_str(), TRUE)) return GetLastError();
    SetFileAttributesA(rnb.c_str(), FILE_ATTRIBUTE_NORMAL);
    return ERROR_SUCCESS;
}

namespace {

bool CreateBootRnbReported(HWND page, const char *root) {
    DWORD error = CreateBootRnb(root);
    if (error == ERROR_SUCCESS) return true;
    std::string file = BootFilePath(root, "BOOT.RNB");
    std::string reason = SystemErrorText(IsJapanese(), error);
    RUNLOG2(Tx("BOOT.RNB を作成できませんでした - ", "Cannot create BOOT.RNB - "), reason.c_str());
    std::string text =
        FormatString(Tx("%s を作成できませんでした。\n%s", "Cannot create %s.\n%s"), file.c_str(), reason.c_str());
    ShowMessageBox(page, text.c_str(), ProductTitle(), MB_ICONERROR);
    return false;
}

} // namespace

bool ConfirmBootIniSubstitution(HWND page, const char *root, int afterRunEntry) {
    if (AfterRunClashesWithBootIni(afterRunEntry) &&
        ShowMessageBox(page, kBootIniClashQuestion, ProductTitle(), MB_YESNO | MB_ICONQUESTION) != IDYES)
        return false;
    std::string rnb = BootFilePath(root, "BOOT.RNB");
    if (FileExists(rnb.c_str())) return true;
    std::string question = BootRnbQuestion(root);
    if (ShowMessageBox(page, question.c_str(), ProductTitle(), MB_YESNO | MB_ICONQUESTION) != IDYES) return false;
    if (!CreateBootRnbReported(page, root)) return false;
    if (!g_openInNotepad(page, rnb.c_str(), root))
        ShowMessage(page, {"Notepad.exe を開けませんでした。", "Opening Notepad.exe was failed."}, MB_ICONERROR);
    return true;
}

// ---- The pages ----------------------------------------------------------------------------------

PROPSHEETPAGEA MainOptionsPage() {
    return OptionsPageOf(IDD_MAIN_PAGE_JA, IDD_MAIN_PAGE_EN, MainOptionsPageProc);
}

PROPSHEETPAGEA MethodPage() {
    return OptionsPageOf(IDD_METHOD_PAGE_JA, IDD_METHOD_PAGE_EN, MethodPageProc);
}
