// normal: the normal-mode panel: run kind, drives with their information texts, the command lines
// of other programs, the extra buttons, the status text, and Start. Every choice is written to the
// settings key the moment it is made; the planner reads them back from there.
#include "korvane.h"
#include "window/korvwin.h"
#include "window/normal.h"
#include "resource.h"
#include "planner/rnsrun.h"

#include "language.h"
#include "platform.h"
#include "runlog.h"
#include "settings.h"
#include "winhandle.h"

#include <shellapi.h>

#include <cstdio>
#include <cstring>

HWND g_normalPanel = nullptr;

const int kRunKindIds[kRunKindCount] = {IDC_NORMAL_DEFRAG, IDC_NORMAL_CHECK, IDC_NORMAL_BOTH, IDC_NORMAL_OTHER};

namespace {

const char kLogModule[] = "normal";

const int kExtraButtonIds[] = {IDC_NORMAL_HISTORY,         IDC_NORMAL_DEFRAG_PAGE, IDC_NORMAL_CHECK_PAGE,
                               IDC_NORMAL_MAIN_PAGE,       IDC_NORMAL_TROUBLE,     IDC_NORMAL_UPDATE,
                               IDC_NORMAL_SHELLEXT,        IDC_NORMAL_METHOD_PAGE, IDC_NORMAL_ALOGON_PAGE,
                               IDC_NORMAL_BEFOREAFTER_PAGE};
const int kOtherProgramIds[] = {IDC_NORMAL_CMD_LABEL, IDC_NORMAL_CMD_HINT, IDC_NORMAL_CMD_EDIT,   IDC_NORMAL_BROWSE,
                                IDC_NORMAL_OPEN,      IDC_NORMAL_SAVE,     IDC_NORMAL_OTHER_GROUP};
const int kDriveTextIds[] = {IDC_NORMAL_DRIVE_HINT, IDC_NORMAL_DRIVE_NOTE, IDC_NORMAL_DRIVE_GROUP};
// What Start disables while the planner works.
const int kStartLockIds[] = {IDOK, IDC_NORMAL_HELP, IDC_NORMAL_OPTIONS, IDC_MAIN_EXIT, IDC_MAIN_WIZARD};

// True while the panel fills its controls: their notifications store nothing.
bool g_filling = false;
// The feedback banner's background.
UniqueGdiObject g_bannerBrush;

const ToolTipText kPanelTipsJa[] = {
    {IDC_NORMAL_DEFRAG, "デフラグを使います。"},
    {IDC_NORMAL_CHECK, "チェックディスク/スキャンディスクを使います。"},
    {IDC_NORMAL_BOTH, "チェックディスク/スキャンディスクとデフラグを使います。"},
    {IDC_NORMAL_OTHER, "その他のプログラムを使います。"},
    {IDC_NORMAL_BROWSE, "ファイル名を参照して、エディットボックスに挿入します。"},
    {IDC_NORMAL_OPEN, "テキスト ファイルを開いて、エディットボックスに挿入します。"},
    {IDC_NORMAL_SAVE, "エディットボックスの内容をテキスト ファイルに保存します。"},
    {IDOK, "Rinsa 実行を開始します。"},
    {IDC_MAIN_WIZARD, "ウィザードモードに切り替えます。"},
    {IDC_NORMAL_OPTIONS, "タイドウェルと Rinsa 実行の設定をカスタマイズします。"},
    {IDC_MAIN_EXIT, "タイドウェルを終了します。"},
    {IDC_NORMAL_HELP, "ヘルプを表示します。"},
    {IDC_NORMAL_HISTORY, "Rinsa 実行のログを表示します。"},
    {IDC_NORMAL_DEFRAG_PAGE, "Rinsa 実行時のデフラグのオプションです。"},
    {IDC_NORMAL_CHECK_PAGE, "Rinsa 実行時のスキャンディスク/チェックディスクのオプションです。"},
    {IDC_NORMAL_MAIN_PAGE, "Rinsa 実行のオプションです。"},
    {IDC_NORMAL_METHOD_PAGE, "Rinsa の実行方法を選びます。"},
    {IDC_NORMAL_TROUBLE, "いくつかのトラブルを解決します。"},
    {IDC_NORMAL_UPDATE, "タイドウェルの新しいバージョンを確認します。"},
    {IDC_NORMAL_SHELLEXT, "エクスプローラーを拡張します。"},
    {IDC_NORMAL_ALOGON_PAGE, "Windows NT 系の自動ログオンの設定です。"},
    {IDC_NORMAL_BEFOREAFTER_PAGE, "Rinsa の前と後に実行するコマンドラインを追加します。"},
    {0, nullptr},
};
const ToolTipText kPanelTipsEn[] = {
    {IDC_NORMAL_DEFRAG, "Uses defragmenter."},
    {IDC_NORMAL_CHECK, "Uses check disk/scandisk."},
    {IDC_NORMAL_BOTH, "Uses check disk/scandisk and defragmenter."},
    {IDC_NORMAL_OTHER, "Uses other programs."},
    {IDC_NORMAL_BROWSE, "Browses file name and Insert it into editbox."},
    {IDC_NORMAL_OPEN, "Opens text file and Insert it into editbox."},
    {IDC_NORMAL_SAVE, "Saves text file from editbox."},
    {IDOK, "Starts Rinsa runnning."},
    {IDC_MAIN_WIZARD, "Changes to wizard mode."},
    {IDC_NORMAL_OPTIONS, "Customizes settings of Tidewell and rinsa!! running."},
    {IDC_MAIN_EXIT, "Quits Tidewell."},
    {IDC_NORMAL_HELP, "Displays Japanese help."},
    {IDC_NORMAL_HISTORY, "Displayes logs of Rinsa running."},
    {IDC_NORMAL_DEFRAG_PAGE, "Options of defragment on rinsa running."},
    {IDC_NORMAL_CHECK_PAGE, "Options of scandisk/chkdsk on rinsa running."},
    {IDC_NORMAL_MAIN_PAGE, "Options of rinsa running."},
    {IDC_NORMAL_METHOD_PAGE, "Selects way of rinsa running."},
    {IDC_NORMAL_TROUBLE, "Solves some troubles."},
    {IDC_NORMAL_UPDATE, "Checks new version of tidewell."},
    {IDC_NORMAL_SHELLEXT, "Extends for Windows Explorer."},
    {IDC_NORMAL_ALOGON_PAGE, "Auto Logon Settings for Windows NT series."},
    {IDC_NORMAL_BEFOREAFTER_PAGE, "Appends command lines for before rinsa and after rinsa."},
    {0, nullptr},
};

// ---- Drive information --------------------------------------------------------------------------

const char *FixedKindText(FixedDiskKind kind, unsigned short windowsVersion) {
    switch (kind) {
    case FixedDiskKind::HardDisk:
        return Tx("[ハードディスク]\r\n", "[Hard Disk]\r\n");
    case FixedDiskKind::Ssd:
        if (!IsJapanese() || windowsVersion > 602) return "[SSD]\r\n";
        return windowsVersion < 602 ? "[SSD] (SSD のデフラグはお勧めしません)\r\n"
                                    : "[SSD] (Windows がデバイスの種類に応じて最適化します)\r\n";
    default:
        return Tx("[固定ディスク]\r\n", "[Fixed Disk]\r\n");
    }
}

std::string DriveKindText(const DriveFacts &facts, unsigned short windowsVersion) {
    switch (facts.type) {
    case DRIVE_REMOVABLE:
        return Tx("[リムーバブル メディア]\r\n", "[Removable Media]\r\n");
    case DRIVE_REMOTE:
        return Tx("[ネットワーク ドライブ]\r\n", "[Remote Drive]\r\n");
    case DRIVE_CDROM:
        return Tx("[CD/DVD ドライブ]\r\n", "[CD/DVD Drive]\r\n");
    case DRIVE_RAMDISK:
        return Tx("[RAM ディスク]\r\n", "[RAM Disk]\r\n");
    case DRIVE_FIXED:
        return std::string(FixedKindText(facts.fixedKind, windowsVersion)) +
               (facts.spaceKnown ? FreeSpaceText(facts.total, facts.free) : std::string()) + "\r\n";
    default:
        return std::string();
    }
}

// The day number of a Gregorian date (days from 1 March of year 0), for differences only.
long long DayNumber(int year, int month, int day) {
    year -= month <= 2;
    long long era = (year >= 0 ? year : year - 399) / 400;
    long long yearOfEra = year - era * 400;
    long long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra;
}

// A stored time stamp counts only when it is a real date.
bool ReadTimeStamp(REGA &key, const std::string &name, SYSTEMTIME *time) {
    RegistryValue value = ReadRegistryValue(key, name.c_str());
    if (!value.exists || value.bytes.size() != sizeof(SYSTEMTIME)) return false;
    memcpy(time, value.bytes.data(), sizeof(SYSTEMTIME));
    FILETIME check;
    return SystemTimeToFileTime(time, &check) != FALSE;
}

void ReadDriveHistory(int letter, DriveFacts *facts) {
    REGA key;
    if (!OpenSettings(key, OPEN_READONLY)) return;
    const char drive[2] = {static_cast<char>('A' + letter), '\0'};
    facts->defragKnown = ReadTimeStamp(key, DriveValueName(kDefragPlannedStem, drive), &facts->defragged);
    facts->checkKnown = ReadTimeStamp(key, DriveValueName(kCheckPlannedStem, drive), &facts->checked);
    facts->defragMs = static_cast<DWORD>(key.ReadIntegerA(DriveValueName(kDefragTimeStem, drive).c_str(), 0));
    facts->prefetchMs = static_cast<DWORD>(key.ReadIntegerA(DriveValueName(kPrefetchTimeStem, drive).c_str(), 0));
    key.CloseKey();
}

// ---- Settings -----------------------------------------------------------------------------------

void StoreDword(const DwordSetting &setting, LONG value) {
    if (!WriteSettingDword(setting.name, value)) ReportRegistryError(kSettingsLocation, kLogModule);
}

struct PanelSettings {
    std::string commandLines;
    LONG selected = 0;
    DWORD drives = 0;
    bool putTopButtons = false;
};

// Reads that fail leave the controls at their defaults.
PanelSettings ReadPanelSettings() {
    PanelSettings settings;
    REGA key;
    if (!OpenSettings(key, OPEN_READONLY)) return settings;
    settings.commandLines = ReadTextSetting(key, setting::LastCmdLine);
    settings.selected = ReadSetting(key, setting::Selected);
    settings.drives = static_cast<DWORD>(ReadSetting(key, setting::Drives));
    settings.putTopButtons = ReadSetting(key, setting::PutTopButtons) == 1;
    key.CloseKey();
    return settings;
}

void StoreCommandLines(HWND panel) {
    REGA key;
    if (!OpenSettingsForWriting(key, kLogModule)) return;
    key.WriteStringFromEditBoxA(setting::LastCmdLine.name, panel, IDC_NORMAL_CMD_EDIT);
    key.CloseKey();
}

DWORD CheckedDrives(HWND panel) {
    DWORD mask = 0;
    for (int letter = 0; letter < 26; ++letter)
        if (IsDlgButtonChecked(panel, DriveBoxId(letter)) == BST_CHECKED) mask |= 1u << letter;
    return mask;
}

// ---- Controls -----------------------------------------------------------------------------------

void EnableControls(HWND panel, const int *ids, size_t count, bool enable) {
    for (size_t i = 0; i < count; ++i)
        EnableWindow(GetDlgItem(panel, ids[i]), enable);
}

void ShowControls(HWND panel, const int *ids, size_t count, bool show) {
    for (size_t i = 0; i < count; ++i)
        ShowWindow(GetDlgItem(panel, ids[i]), show ? SW_SHOW : SW_HIDE);
}

void ShowRunKind(HWND panel, LONG selected) {
    RunKindView view = RunKindViewOf(selected);
    for (int id : kRunKindIds)
        CheckDlgButton(panel, id, id == view.checkedId ? BST_CHECKED : BST_UNCHECKED);
    EnableControls(panel, kOtherProgramIds, sizeof kOtherProgramIds / sizeof *kOtherProgramIds, view.otherPrograms);
    EnableControls(panel, kDriveTextIds, sizeof kDriveTextIds / sizeof *kDriveTextIds, !view.otherPrograms);
    for (int letter = 0; letter < 26; ++letter)
        EnableWindow(GetDlgItem(panel, DriveBoxId(letter)), !view.otherPrograms);
    DragAcceptFiles(panel, view.otherPrograms);
}

void ApplyPutTopButtons(HWND panel, bool on) {
    ShowControls(panel, kExtraButtonIds, sizeof kExtraButtonIds / sizeof *kExtraButtonIds, on);
    ShowWindow(GetDlgItem(panel, IDC_NORMAL_STATUS), on ? SW_HIDE : SW_SHOW);
    ShowWindow(GetDlgItem(panel, IDC_NORMAL_OPTIONS), on ? SW_HIDE : SW_SHOW);
    // The banner shares the row of the extra buttons.
    if (on) ShowWindow(GetDlgItem(panel, IDC_NORMAL_BANNER), SW_HIDE);
    CheckPutTopButtons(GetParent(panel), on);
}

// Windows 8 and later optimise rather than defragment.
void ApplyVersionLabels(HWND panel, bool ssdFound) {
    HWND note = GetDlgItem(panel, IDC_NORMAL_SSD_NOTE);
    if (g_windowsVersion > 601) {
        SetDlgItemTextA(panel, IDC_NORMAL_DEFRAG, Tx("最適化(&D)", "Optimization(&D)"));
        SetDlgItemTextA(panel, IDC_NORMAL_BOTH, Tx("チェックディスク後に最適化(&C)", "Optimization after &Check Disk"));
        SetDlgItemTextA(panel, IDC_NORMAL_DEFRAG_PAGE, Tx("最適化の設定(&I)", "Sett&ing of Optimization"));
        if (IsJapanese()) {
            SetWindowTextA(note, "Windows 8 以降では、SSD はデバイスの種類に応じて最適化されます。");
            ShowWindow(note, SW_SHOW);
        }
    } else if (IsJapanese() && ssdFound) {
        SetWindowTextA(note, "SSD が見つかりました。SSD のデフラグはお勧めしません。");
        ShowWindow(note, SW_SHOW);
    }
}

// The per-drive texts go to the drive boxes as tooltips, with the tips of the other controls.
bool AddPanelToolTips(HWND panel) {
    std::vector<std::string> texts;
    bool ssdFound = false;
    SYSTEMTIME today;
    GetSystemTime(&today);
    for (int letter = 0; letter < 26; ++letter) {
        DriveFacts facts = ReadDriveFacts(letter);
        ssdFound |= facts.type == DRIVE_FIXED && facts.fixedKind == FixedDiskKind::Ssd;
        texts.push_back(DriveInfoText(facts, today, g_windowsVersion));
    }
    std::vector<ToolTipText> table;
    for (const ToolTipText *tip = ToolTipTable(kPanelTipsJa, kPanelTipsEn); tip->id; ++tip)
        table.push_back(*tip);
    for (int letter = 0; letter < 26; ++letter)
        table.push_back({DriveBoxId(letter), texts[letter].c_str()});
    table.push_back({0, nullptr});
    AddToolTipsWrapped(panel, table.data());
    return ssdFound;
}

BOOL OnInitDialog(HWND panel) {
    g_normalPanel = panel;
    AttachNormalMenu(GetParent(panel));
    bool ssdFound = AddPanelToolTips(panel);
    SetStatusText(panel, IdleStatusText());

    PanelSettings settings = ReadPanelSettings();
    ApplyPutTopButtons(panel, settings.putTopButtons);
    g_filling = true;
    SendDlgItemMessageA(panel, IDC_NORMAL_CMD_EDIT, EM_SETLIMITTEXT, 0, 0);
    SetDlgItemTextA(panel, IDC_NORMAL_CMD_EDIT, settings.commandLines.c_str());
    ApplyVersionLabels(panel, ssdFound);
    for (int letter = 0; letter < 26; ++letter)
        CheckDlgButton(panel, DriveBoxId(letter), (settings.drives >> letter) & 1 ? BST_CHECKED : BST_UNCHECKED);
    ShowRunKind(panel, settings.selected);
    g_filling = false;
    // Written back, so that the planner finds the run kind even when it was never chosen.
    StoreDword(setting::Selected, settings.selected);
    if (IsJapanese() && !settings.putTopButtons && GetTickCount() % 7 == 0)
        ShowWindow(GetDlgItem(panel, IDC_NORMAL_BANNER), SW_SHOW);
    return FALSE;
}

// ---- Commands -----------------------------------------------------------------------------------

void SelectRunKind(HWND panel, LONG selected) {
    ShowRunKind(panel, selected);
    StoreDword(setting::Selected, selected);
}

void LockStartButtons(HWND panel, bool locked) {
    for (int id : kStartLockIds)
        EnableWindow(GetDlgItem(panel, id), !locked);
}

// A planner that gave up leaves the window usable again, whatever it had done to it.
void RecoverMainWindow(HWND mainWindow) {
    if (!mainWindow || !IsWindow(mainWindow)) return;
    EnableWindow(mainWindow, TRUE);
    if (!IsWindowVisible(mainWindow)) ShowWindow(mainWindow, SW_SHOW);
}

// Files dropped while the command lines are in use; ignored while a drive kind is chosen.
void OnDropFiles(HWND panel, HDROP drop) {
    HWND edit = GetDlgItem(panel, IDC_NORMAL_CMD_EDIT);
    if (IsWindowEnabled(edit))
        AddDroppedCommands(panel, edit, drop);
    else
        DragFinish(drop);
}

void ShowDriveInfo(HWND panel, int letter) {
    char title[] = "A:";
    title[0] = static_cast<char>('A' + letter);
    ShowMessageBox(panel, CurrentDriveInfoText(letter).c_str(), title, MB_OK);
}

int DriveLetterOfBox(int id) {
    for (int letter = 0; letter < 26; ++letter)
        if (DriveBoxId(letter) == id) return letter;
    return -1;
}

// Right-click on a drive box, also a disabled one (its click then reaches the panel itself).
void OnContextMenu(HWND panel, HWND target, LPARAM lParam) {
    int letter = target != panel ? DriveLetterOfBox(GetDlgCtrlID(target)) : -1;
    if (letter < 0 && lParam != -1) {
        POINT at = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        for (int i = 0; i < 26 && letter < 0; ++i) {
            RECT box;
            GetWindowRect(GetDlgItem(panel, DriveBoxId(i)), &box);
            if (PtInRect(&box, at)) letter = i;
        }
    }
    if (letter >= 0) ShowDriveInfo(panel, letter);
}

void OnCommand(HWND panel, int id, int code) {
    for (int kind = 0; kind < kRunKindCount; ++kind) {
        if (id == kRunKindIds[kind]) {
            if (code == BN_CLICKED) SelectRunKind(panel, kind);
            return;
        }
    }
    if (DriveLetterOfBox(id) >= 0) {
        if (code == BN_CLICKED) StoreDword(setting::Drives, static_cast<LONG>(CheckedDrives(panel)));
        return;
    }
    HWND edit = GetDlgItem(panel, IDC_NORMAL_CMD_EDIT);
    switch (id) {
    case IDC_NORMAL_CMD_EDIT:
        if (code == EN_CHANGE && !g_filling) StoreCommandLines(panel);
        return;
    case IDC_NORMAL_BROWSE:
        BrowseForCommand(panel, edit);
        return;
    case IDC_NORMAL_OPEN:
        OpenCommandFile(panel, edit);
        return;
    case IDC_NORMAL_SAVE:
        SaveCommandFile(panel, edit);
        return;
    case IDOK:
        StartRinsaRun(panel);
        return;
    case IDCANCEL:
        // Esc must not close the panel: the main window is the one to close.
        return;
    case IDC_NORMAL_HELP:
        ShowHelp(panel, "HLP000015.html");
        return;
    case IDC_MAIN_EXIT:
    case IDC_MAIN_WIZARD:
        // The main window's own commands; posted, as they may destroy this panel.
        PostMessageA(GetParent(panel), WM_COMMAND, id, 0);
        return;
    case IDC_NORMAL_BANNER:
        if (code == STN_CLICKED) RunMenuCommand(panel, IDM_FEEDBACK);
        return;
    default:
        RunMenuCommand(panel, id);
        return;
    }
}

INT_PTR OnControlColour(HWND panel, HDC dc, HWND control) {
    if (control != GetDlgItem(panel, IDC_NORMAL_BANNER)) return FALSE;
    if (!g_bannerBrush) g_bannerBrush.Reset(CreateSolidBrush(RGB(0xFF, 0xD0, 0xE0)));
    SetBkColor(dc, RGB(0xFF, 0xD0, 0xE0));
    SetTextColor(dc, RGB(0x80, 0x00, 0x40));
    return reinterpret_cast<INT_PTR>(g_bannerBrush.Get());
}

void OnDestroy(HWND panel) {
    DragAcceptFiles(panel, FALSE);
    DetachNormalMenu(GetParent(panel));
    if (g_normalPanel == panel) g_normalPanel = nullptr;
}

INT_PTR CALLBACK NormalPanelProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(panel);
    case WM_COMMAND:
        OnCommand(panel, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_CONTEXTMENU:
        OnContextMenu(panel, reinterpret_cast<HWND>(wParam), lParam);
        return TRUE;
    case WM_DROPFILES:
        OnDropFiles(panel, reinterpret_cast<HDROP>(wParam));
        return TRUE;
    case WM_HELP:
        ShowHelp(panel, kGeneralHelpTopic);
        return TRUE;
    case WM_CTLCOLORSTATIC:
        return OnControlColour(panel, reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_DESTROY:
        OnDestroy(panel);
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace

// ---- The panel ----------------------------------------------------------------------------------

int DriveBoxId(int letter) {
    return letter < 13 ? IDC_NORMAL_DRIVE_A + letter : IDC_NORMAL_DRIVE_N + (letter - 13);
}

HWND CreateNormalPanel(HWND mainWindow) {
    HWND panel = CreateDialogParamA(ModuleInstance(), MAKEINTRESOURCEA(ResId(IDD_NORMAL_JA, IDD_NORMAL_EN)), mainWindow,
                                    NormalPanelProc, 0);
    if (!panel) return nullptr;
    SetWindowPos(panel, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    return panel;
}

void DestroyNormalPanel() {
    if (g_normalPanel) DestroyWindow(g_normalPanel);
}

const char *IdleStatusText() {
    return Tx("[開始] ボタンを押すと、Rinsa 実行を開始します。", "Press [Start] button to start rinsa running.");
}

void SetStatusText(HWND panel, const char *text) {
    SetDlgItemTextA(panel, IDC_NORMAL_STATUS, text);
}

void StartRinsaRun(HWND panel) {
    SetStatusText(panel, Tx("Rinsa 実行を開始しています...", "Starting rinsa running..."));
    REGA key;
    LONG how = 0; // the normal mode takes a missing How for 0
    if (OpenSettings(key, OPEN_READONLY)) {
        how = key.ReadIntegerA(setting::How.name, 0);
        key.CloseKey();
    }
    if (ShowMessageBox(panel, StartQuestion(how), ProductTitle(), MB_YESNO | MB_ICONQUESTION) != IDYES) {
        SetStatusText(panel, IdleStatusText());
        return;
    }
    HWND mainWindow = GetParent(panel);
    LockStartButtons(panel, true);
    bool underWay = PlanRinsaRun();
    // Under way, the planner has closed the main window and this panel with it.
    if (!IsWindow(panel)) return;
    if (underWay) {
        SetStatusText(panel, Tx("お待ちください...", "Please wait..."));
        return;
    }
    RecoverMainWindow(mainWindow);
    LockStartButtons(panel, false);
    SetStatusText(panel, IdleStatusText());
}

void TogglePutTopButtons(HWND panel) {
    bool on = false; // a key that cannot be opened counts as off
    REGA key;
    if (OpenSettingsForWriting(key, kLogModule)) {
        on = ReadSetting(key, setting::PutTopButtons) != 1;
        if (!key.WriteIntegerA(setting::PutTopButtons.name, on ? 1 : 0)) on = false;
        key.CloseKey();
    }
    ApplyPutTopButtons(panel, on);
}

// ---- Plain rules --------------------------------------------------------------------------------

std::string FreeSpaceText(unsigned long long total, unsigned long long free) {
    struct Unit {
        int shift;
        const char *name;
    };
    Unit unit = {10, "KB"};
    if (total >= 100ULL << 40)
        unit = {40, "TB"};
    else if (total >= 100ULL << 30)
        unit = {30, "GB"};
    else if (total >= 100ULL << 20)
        unit = {20, "MB"};
    else if (total < 100ULL << 10)
        unit = {0, "B"};
    unsigned long long inTotal = total >> unit.shift, inFree = free >> unit.shift;
    unsigned long long percent = inTotal ? inFree * 100 / inTotal : 0;
    return FormatString(Tx("%llu/%llu%s(空き%llu%%)", "%llu/%llu%s(%llu%%free)"), inFree, inTotal, unit.name, percent);
}

unsigned ElapsedDays(const SYSTEMTIME &then, const SYSTEMTIME &today) {
    long long days = DayNumber(today.wYear, today.wMonth, today.wDay) - DayNumber(then.wYear, then.wMonth, then.wDay);
    // A clock set back makes the last run lie ahead; it was today as far as anyone can tell.
    return days > 0 ? static_cast<unsigned>(days) : 0;
}

std::string LapsedTimeText(DWORD milliseconds, bool prefetchOnly) {
    DWORD seconds = milliseconds / 1000;
    const char *pattern = prefetchOnly ? Tx("(所要時間[プリフェッチ ログのみ] %lu:%02lu:%02lu)",
                                            "(Lapsed time[by Prifetch Log only] %lu:%02lu:%02lu)")
                                       : Tx("(所要時間 %lu:%02lu:%02lu)", "(Lapsed time %lu:%02lu:%02lu)");
    return FormatString(pattern, static_cast<unsigned long>(seconds / 3600),
                        static_cast<unsigned long>(seconds / 60 % 60), static_cast<unsigned long>(seconds % 60));
}

std::string DriveInfoText(const DriveFacts &facts, const SYSTEMTIME &today, unsigned short windowsVersion) {
    std::string text = DriveKindText(facts, windowsVersion);
    bool optimization = windowsVersion >= 602;
    if (facts.defragKnown)
        text += FormatString(optimization ? Tx("最適化:%u日前", "Optimization:%uday(s) before")
                                          : Tx("デフラグ:%u日前", "Defragment:%uday(s) before"),
                             ElapsedDays(facts.defragged, today));
    else
        text += optimization ? Tx("最適化:?日前", "Optimization:?day(s) before")
                             : Tx("デフラグ:?日前", "Defragment:?day(s) before");
    if (facts.defragMs) text += LapsedTimeText(facts.defragMs, false);
    if (facts.prefetchMs) text += "\r\n" + LapsedTimeText(facts.prefetchMs, true);
    text += "\r\n";
    const char *checkDisk = Tx("チェックディスク", "Chkdsk");
    if (facts.checkKnown)
        text += FormatString(Tx("%s:%u日前", "%s:%uday(s) before"), checkDisk, ElapsedDays(facts.checked, today));
    else
        text += FormatString(Tx("%s:?日前", "%s:?day(s) before"), checkDisk);
    return text;
}

DriveFacts ReadDriveFacts(int letter) {
    DriveFacts facts;
    char root[] = "A:\\";
    root[0] = static_cast<char>('A' + letter);
    // No "insert a disk" box for an empty drive.
    ErrorModeScope quiet(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    facts.type = GetDriveTypeA(root);
    if (facts.type == DRIVE_FIXED) {
        facts.fixedKind = ProbeFixedKind(letter);
        ULARGE_INTEGER available, total, free;
        if (GetDiskFreeSpaceExA(root, &available, &total, &free)) {
            facts.spaceKnown = true;
            facts.total = total.QuadPart;
            facts.free = free.QuadPart;
        }
    }
    ReadDriveHistory(letter, &facts);
    return facts;
}

std::string CurrentDriveInfoText(int letter) {
    SYSTEMTIME today;
    GetSystemTime(&today);
    return DriveInfoText(ReadDriveFacts(letter), today, g_windowsVersion);
}

RunKindView RunKindViewOf(LONG selected) {
    RunKindView view = {0, selected == 3};
    if (selected >= 0 && selected < kRunKindCount) view.checkedId = kRunKindIds[selected];
    return view;
}

const char *StartQuestion(LONG how) {
    if (how == 4) return Tx("開始してもよろしいですか？", "Are you sure you want to start?");
    return Tx("Windows を再起動または終了して、Rinsa 実行を開始してもよろしいですか？\n\n"
              "ほかのアプリケーションをすべて終了し、ほかのユーザーはログオフしておいてください。",
              "Are you sure you want to restart or quit Windows and start rinsa runnning?");
}
