// setdialog: the scheduler settings dialog. It edits the scheduler key and the start-at-logon
// value, shows whether a resident runs, and starts or stops it.
#include "korvtask.h"

#include "language.h"
#include "platform.h"
#include "rega.h"
#include "resource.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr UINT_PTR kStatusTimer = 64747;
constexpr char kHelpTopic[] = "HLP000018.html";
constexpr size_t kDropPathLimit = 520;

struct SettingsDialog {
    std::string runCommand; // the Run value's data for this program file
    // The hidden "All User" box as the dialog found it: the machine's Run value is touched only
    // when the box changed, never for a value the user cannot see.
    bool machineRunAtOpen = false;
};

const ToolTipText kJapaneseTips[] = {
    {IDC_SET_TRAYICON, "常駐中、タスクトレイにアイコンを表示します。右クリックでメニューが開きます。"},
    {IDC_SET_RUN_USER, "ログオンしたときに、スケジューラが自動的に常駐します。"},
    {IDC_SET_RUN_MACHINE, "どのユーザーがログオンしても、スケジューラが常駐します。"},
    {IDC_SET_SNOOZE, "電源が切れていて設定時刻を過ぎたときも、指定した時間内に起動すれば実行します。"},
    {IDC_SET_NOTSTART, "右の欄のプログラムが動いている間は、設定時刻になっても実行しません。"},
    {IDC_SET_NOTSTART_LIST, "プログラムのファイル名を 1 行に 1 つ書きます。ファイルをドロップしても追加できます。"},
    {IDC_SET_EVERYDAY, "毎日、設定時刻に実行します。"},
    {IDC_SET_WEEKDAYS, "チェックした曜日の設定時刻に実行します。"},
    {IDC_SET_MONTHDAYS, "チェックした日の設定時刻に実行します。"},
    {IDOK, "設定を保存して、このダイアログを閉じます。"},
    {IDC_SET_SAVE_START, "設定を保存して、スケジューラを常駐させます。"},
    {IDC_SET_STOP, "常駐しているスケジューラを終了します。"},
    {IDCANCEL, "設定を保存せずに閉じます。"},
    {0, nullptr},
};

bool Checked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

void Check(HWND dialog, int id, bool on) {
    CheckDlgButton(dialog, id, on ? BST_CHECKED : BST_UNCHECKED);
}

void Enable(HWND dialog, int id, bool on) {
    EnableWindow(GetDlgItem(dialog, id), on);
}

std::string ItemText(HWND dialog, int id) {
    TextPtr text = DialogItemText(dialog, id);
    return text ? text.get() : "";
}

// ---- Start-at-logon values --------------------------------------------------------------------

bool RunValueIsOurs(HKEY root, const std::string &command) {
    REGA key;
    if (!key.OpenKey(root, kRunKey, OPEN_READONLY)) return false;
    std::unique_ptr<char[]> stored = key.RegReadStringA(kRunValue, nullptr);
    key.CloseKey();
    // Case matters: a value written for another copy of the program is not ours.
    return stored && command == stored.get();
}

bool SetRunValue(HKEY root, bool on, const std::string &command) {
    REGA key;
    if (!key.OpenKey(root, kRunKey, OPEN_CREATE)) return false;
    bool done = on ? key.WriteStringA(kRunValue, command.c_str(), STRTYPE_PLAIN)
                   : key.ValueExistA(kRunValue) < 0 || key.DeleteValue(kRunValue);
    key.CloseKey();
    return done;
}

// ---- Filling and the enabling rule ---------------------------------------------------------------

const int kKindRadios[] = {IDC_SET_EVERYDAY, IDC_SET_WEEKDAYS, IDC_SET_MONTHDAYS, IDC_SET_INTERVAL};
const LONG kKinds[] = {kKindEveryDay, kKindWeekdays, kKindMonthDays, kKindInterval};

// One by one: the radio ids are not a range of their own (CheckRadioButton would clear the boxes
// between them).
void CheckKind(HWND dialog, LONG kind) {
    bool known = kind == kKindWeekdays || kind == kKindMonthDays || kind == kKindInterval;
    for (int i = 0; i < 4; ++i)
        Check(dialog, kKindRadios[i], known ? kKinds[i] == kind : i == 0);
}

void FillDays(HWND dialog, REGA &key) {
    for (int d = 0; d < 7; ++d)
        Check(dialog, IDC_SET_SUN + d, key.ReadIntegerA(schedval::WeekdayName(d).c_str(), 0) == 1);
    for (int d = 1; d <= 31; ++d)
        Check(dialog, IDC_SET_DAY1 + d - 1, key.ReadIntegerA(schedval::MonthDayName(d).c_str(), 0) == 1);
}

void FillFromKey(HWND dialog, REGA &key) {
    key.ReadIntegerForEditboxA(schedval::kTimeHour, dialog, IDC_SET_HOUR, 0);
    key.ReadIntegerForEditboxA(schedval::kTimeMin, dialog, IDC_SET_MINUTE, 0);
    // Each box shows what the resident makes of its value.
    Check(dialog, IDC_SET_TRAYICON, key.ReadIntegerA(schedval::kTrayIcon, 0) == 1);
    Check(dialog, IDC_SET_SNOOZE, key.ReadIntegerA(schedval::kSnooze, 0) == 1);
    LONG snooze = ClampSnoozeTime(key.ReadIntegerA(schedval::kSnoozeTime, 0));
    SetDlgItemInt(dialog, IDC_SET_DELAY_HOURS, UINT(snooze / 60), FALSE);
    SetDlgItemInt(dialog, IDC_SET_DELAY_MINUTES, UINT(snooze % 60), FALSE);
    Check(dialog, IDC_SET_NOTSTART, key.ReadIntegerA(schedval::kNotStart, 0) != 0);
    if (!key.ReadStringForEditboxA(schedval::kNotStartList, dialog, IDC_SET_NOTSTART_LIST))
        SetDlgItemTextA(dialog, IDC_SET_NOTSTART_LIST, kDefaultExclusionList);
    CheckKind(dialog, key.ReadIntegerA(schedval::kKind, 0));
    FillDays(dialog, key);
    key.ReadIntegerForEditboxA(schedval::kDayDiff, dialog, IDC_SET_DAYDIFF, 0);
    SetDlgItemTextA(dialog, IDC_SET_LASTTIME, LastTimeLabel(ReadLastTime(key)).c_str());
}

void FillControls(HWND dialog) {
    REGA key;
    if (key.OpenKey(HKEY_LOCAL_MACHINE, kSchedulerKey, OPEN_READONLY)) {
        FillFromKey(dialog, key);
        key.CloseKey();
        return;
    }
    SetDlgItemInt(dialog, IDC_SET_HOUR, 0, FALSE);
    SetDlgItemInt(dialog, IDC_SET_MINUTE, 0, FALSE);
    SetDlgItemInt(dialog, IDC_SET_DELAY_HOURS, 0, FALSE);
    SetDlgItemInt(dialog, IDC_SET_DELAY_MINUTES, 0, FALSE);
    SetDlgItemTextA(dialog, IDC_SET_NOTSTART_LIST, kDefaultExclusionList);
    CheckKind(dialog, kKindEveryDay);
}

void ApplyEnablingRule(HWND dialog) {
    bool delay = Checked(dialog, IDC_SET_SNOOZE);
    for (int id : {IDC_SET_DELAY_HOURS, IDC_SET_DELAY_MINUTES, IDC_SET_DELAY_COLON, IDC_SET_DELAY_LABEL})
        Enable(dialog, id, delay);
    bool list = Checked(dialog, IDC_SET_NOTSTART);
    Enable(dialog, IDC_SET_NOTSTART_LIST, list);
    DragAcceptFiles(dialog, list);
    for (int d = 0; d < 7; ++d)
        Enable(dialog, IDC_SET_SUN + d, Checked(dialog, IDC_SET_WEEKDAYS));
    for (int d = 0; d < 31; ++d)
        Enable(dialog, IDC_SET_DAY1 + d, Checked(dialog, IDC_SET_MONTHDAYS));
    Enable(dialog, IDC_SET_DAYDIFF, Checked(dialog, IDC_SET_INTERVAL));
}

void SetStatus(HWND dialog, const char *japanese, const char *english, bool residentRuns) {
    SetDlgItemTextA(dialog, IDC_SET_STATUS, Tx(japanese, english));
    Enable(dialog, IDC_SET_STOP, residentRuns);
    Enable(dialog, IDC_SET_SAVE_START, !residentRuns);
}

void ShowResidentStatus(HWND dialog) {
    if (FindWindowA(kResidentClass, nullptr))
        SetStatus(dialog, "スケジューラの状態 : ON", "Scheduler Status : ON", true);
    else
        SetStatus(dialog, "スケジューラの状態 : OFF", "Scheduler Status : OFF", false);
}

BOOL OnInitDialog(HWND dialog, SettingsDialog &data) {
    if (IsJapanese()) AddToolTips(dialog, kJapaneseTips);
    SendMessageA(dialog, WM_SETICON, ICON_SMALL,
                 LPARAM(LoadImageA(g_instance, MAKEINTRESOURCEA(IDI_KORVTASK), IMAGE_ICON, 64, 64, LR_SHARED)));
    char module[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, module, sizeof module);
    data.runCommand = StartAtLogonCommand(module);
    FillControls(dialog);
    Check(dialog, IDC_SET_RUN_USER, RunValueIsOurs(HKEY_CURRENT_USER, data.runCommand));
    data.machineRunAtOpen = RunValueIsOurs(HKEY_LOCAL_MACHINE, data.runCommand);
    Check(dialog, IDC_SET_RUN_MACHINE, data.machineRunAtOpen);
    ApplyEnablingRule(dialog);
    SetTimer(dialog, kStatusTimer, 2000, nullptr);
    return TRUE;
}

// ---- Saving ------------------------------------------------------------------------------------

// Collects the names of the values that could not be written, for one error box.
struct SaveReport {
    std::string failed;
    void Note(bool done, const char *what) {
        if (!done) failed.append("\r\n").append(what);
    }
};

void WriteDays(HWND dialog, REGA &key, SaveReport &report) {
    auto put = [&](const std::string &name, bool on) {
        report.Note(on ? key.WriteIntegerA(name.c_str(), 1)
                       : key.ValueExistA(name.c_str()) < 0 || key.DeleteValue(name.c_str()),
                    name.c_str());
    };
    for (int d = 0; d < 7; ++d)
        put(schedval::WeekdayName(d), Checked(dialog, IDC_SET_SUN + d));
    for (int d = 1; d <= 31; ++d)
        put(schedval::MonthDayName(d), Checked(dialog, IDC_SET_DAY1 + d - 1));
}

void WriteKind(HWND dialog, REGA &key, SaveReport &report) {
    for (int i = 0; i < 4; ++i)
        if (Checked(dialog, kKindRadios[i]))
            report.Note(key.WriteIntegerA(schedval::kKind, kKinds[i]), schedval::kKind);
}

void WriteRunValues(HWND dialog, const SettingsDialog &data, SaveReport &report) {
    report.Note(SetRunValue(HKEY_CURRENT_USER, Checked(dialog, IDC_SET_RUN_USER), data.runCommand),
                "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\korvtask_sr1");
    bool machine = Checked(dialog, IDC_SET_RUN_MACHINE);
    if (machine != data.machineRunAtOpen)
        report.Note(SetRunValue(HKEY_LOCAL_MACHINE, machine, data.runCommand),
                    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\korvtask_sr1");
}

void WriteValues(HWND dialog, REGA &key, unsigned delayMinutes, SaveReport &report) {
    unsigned hour = 0, minute = 0;
    ReadTimeField(ItemText(dialog, IDC_SET_HOUR).c_str(), &hour);
    ReadTimeField(ItemText(dialog, IDC_SET_MINUTE).c_str(), &minute);
    report.Note(key.WriteIntegerA(schedval::kTimeHour, LONG(hour)), schedval::kTimeHour);
    report.Note(key.WriteIntegerA(schedval::kTimeMin, LONG(minute)), schedval::kTimeMin);
    report.Note(key.WriteIntegerA(schedval::kTrayIcon, Checked(dialog, IDC_SET_TRAYICON)), schedval::kTrayIcon);
    report.Note(key.WriteIntegerA(schedval::kSnooze, Checked(dialog, IDC_SET_SNOOZE)), schedval::kSnooze);
    report.Note(key.WriteIntegerA(schedval::kSnoozeTime, LONG(delayMinutes)), schedval::kSnoozeTime);
    report.Note(key.WriteIntegerA(schedval::kNotStart, Checked(dialog, IDC_SET_NOTSTART)), schedval::kNotStart);
    // Always REG_SZ: the names are matched as written, never expanded.
    report.Note(
        key.WriteStringA(schedval::kNotStartList, ItemText(dialog, IDC_SET_NOTSTART_LIST).c_str(), STRTYPE_PLAIN),
        schedval::kNotStartList);
    WriteKind(dialog, key, report);
    WriteDays(dialog, key, report);
    report.Note(key.WriteIntegerFromEditboxA(schedval::kDayDiff, dialog, IDC_SET_DAYDIFF), schedval::kDayDiff);
}

bool RefuseTimes(HWND dialog) {
    TimeCheck check =
        CheckTimes(ItemText(dialog, IDC_SET_HOUR).c_str(), ItemText(dialog, IDC_SET_MINUTE).c_str(),
                   ItemText(dialog, IDC_SET_DELAY_HOURS).c_str(), ItemText(dialog, IDC_SET_DELAY_MINUTES).c_str());
    if (check == TimeCheck::BadStartTime)
        ShowMessage(dialog,
                    {"開始時刻は 0:00～23:59 で指定してください。", "Please specify the start time with 0:00-23:59."},
                    MB_ICONERROR);
    else if (check == TimeCheck::BadDelay)
        ShowMessage(dialog, {"遅延時間は 0:00～7:59 で指定してください。", "Please specify delay time with 0:00-7:59."},
                    MB_ICONERROR);
    return check != TimeCheck::Ok;
}

// Saves every value; false (after telling the user) when the times are refused or a write failed.
bool Save(HWND dialog, const SettingsDialog &data) {
    if (RefuseTimes(dialog)) return false;
    unsigned delayHours = 0, delayMinutes = 0;
    ReadTimeField(ItemText(dialog, IDC_SET_DELAY_HOURS).c_str(), &delayHours);
    ReadTimeField(ItemText(dialog, IDC_SET_DELAY_MINUTES).c_str(), &delayMinutes);
    SaveReport report;
    REGA key;
    // Without the scheduler key nothing is written, the start-at-logon values included: a resident
    // started at logon would find no schedule.
    if (key.OpenKey(HKEY_LOCAL_MACHINE, kSchedulerKey, OPEN_CREATE)) {
        WriteValues(dialog, key, delayHours * 60 + delayMinutes, report);
        key.CloseKey();
        WriteRunValues(dialog, data, report);
    } else {
        report.Note(false, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Halvornix\\Korvane\\korvtask");
    }
    if (report.failed.empty()) return true;
    std::string text = Tx("設定を保存できませんでした:", "Cannot save the settings:") + report.failed;
    ShowMessageBox(dialog, text.c_str(), ProductTitle(), MB_ICONERROR);
    return false;
}

void OnSaveAndStart(HWND dialog, const SettingsDialog &data) {
    if (!Save(dialog, data)) return;
    if (StartProgram(dialog, "KORVTASK.EXE", "/S"))
        SetStatus(dialog, "スケジューラの状態 : お待ちください...", "Scheduler Status : Please wait...", true);
    SetDlgItemTextA(dialog, IDCANCEL, Tx("閉じる(&C)", "&Close"));
}

void OnStop(HWND dialog) {
    StopResident();
    SetStatus(dialog, "スケジューラの状態 : お待ちください...", "Scheduler Status : Please wait...", false);
}

// ---- Dropped program files ------------------------------------------------------------------------

void OnDropFiles(HWND dialog, HDROP drop) {
    HWND list = GetDlgItem(dialog, IDC_SET_NOTSTART_LIST);
    if (IsWindowEnabled(list)) {
        std::string text = ItemText(dialog, IDC_SET_NOTSTART_LIST);
        UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < count; ++i) {
            char path[kDropPathLimit];
            if (DragQueryFileA(drop, i, nullptr, 0) >= kDropPathLimit) continue;
            DragQueryFileA(drop, i, path, sizeof path);
            text = AppendProgramLine(text, path);
        }
        SetWindowTextA(list, text.c_str());
        SendMessageA(list, EM_SETSEL, text.size(), text.size());
        SendMessageA(list, EM_SCROLLCARET, 0, 0);
        SetFocus(list);
        SetForegroundWindow(dialog);
    }
    DragFinish(drop);
}

void OnCommand(HWND dialog, SettingsDialog &data, WORD id) {
    switch (id) {
    case IDOK:
        if (Save(dialog, data)) EndDialog(dialog, IDOK);
        break;
    case IDC_SET_SAVE_START:
        OnSaveAndStart(dialog, data);
        break;
    case IDC_SET_STOP:
        OnStop(dialog);
        break;
    case IDCANCEL:
        EndDialog(dialog, IDCANCEL);
        break;
    case IDHELP:
        ShowHelp(dialog, kHelpTopic);
        break;
    case IDC_SET_EVERYDAY:
    case IDC_SET_WEEKDAYS:
    case IDC_SET_MONTHDAYS:
    case IDC_SET_INTERVAL:
    case IDC_SET_SNOOZE:
    case IDC_SET_NOTSTART:
        ApplyEnablingRule(dialog);
        break;
    }
}

INT_PTR CALLBACK SettingsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto *data = reinterpret_cast<SettingsDialog *>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        return OnInitDialog(dialog, *reinterpret_cast<SettingsDialog *>(lParam));
    case WM_COMMAND:
        if (data) OnCommand(dialog, *data, LOWORD(wParam));
        return TRUE;
    case WM_TIMER:
        if (wParam == kStatusTimer) ShowResidentStatus(dialog);
        return TRUE;
    case WM_DROPFILES:
        OnDropFiles(dialog, reinterpret_cast<HDROP>(wParam));
        return TRUE;
    case WM_HELP:
        ShowHelp(dialog, kHelpTopic);
        return TRUE;
    case WM_DESTROY:
        KillTimer(dialog, kStatusTimer);
        return FALSE;
    }
    return FALSE;
}

} // namespace

// ---- Plain helpers -------------------------------------------------------------------------------

std::string StartAtLogonCommand(const char *modulePath) {
    return std::string("\"") + (modulePath ? modulePath : "") + "\" /S";
}

bool ReadTimeField(const char *text, unsigned *value) {
    *value = 0;
    std::string field = text ? text : "";
    size_t first = field.find_first_not_of(' '), last = field.find_last_not_of(' ');
    if (first == std::string::npos) return true; // empty reads as 0
    field = field.substr(first, last - first + 1);
    if (field.size() > 10 || field.find_first_not_of("0123456789") != std::string::npos) return false;
    unsigned long long number = strtoull(field.c_str(), nullptr, 10);
    if (number > 0xFFFFFFFFULL) return false;
    *value = unsigned(number);
    return true;
}

TimeCheck CheckTimes(const char *hour, const char *minute, const char *delayHours, const char *delayMinutes) {
    unsigned h = 0, m = 0;
    if (!ReadTimeField(hour, &h) || !ReadTimeField(minute, &m) || h > 23 || m > 59) return TimeCheck::BadStartTime;
    if (!ReadTimeField(delayHours, &h) || !ReadTimeField(delayMinutes, &m) || h > 7 || m > 59)
        return TimeCheck::BadDelay;
    return TimeCheck::Ok;
}

std::string AppendProgramLine(const std::string &list, const char *droppedPath) {
    std::string path = droppedPath ? droppedPath : "";
    const char *name = FileNameOfPath(path.c_str());
    std::string line = name && *name ? name : path;
    std::string result = list;
    if (!result.empty() && result.back() != '\n') result += "\r\n";
    return result + line;
}

std::string LastTimeLabel(WallTime lastTime) {
    FILETIME file;
    file.dwLowDateTime = DWORD(lastTime);
    file.dwHighDateTime = DWORD(lastTime >> 32);
    SYSTEMTIME time;
    if (lastTime == 0 || !FileTimeToSystemTime(&file, &time))
        return Tx("日 (前回:----/--/--)", "days (LastTime:----/--/--)");
    return FormatString(Tx("日 (前回:%4d/%2d/%2d)", "Days (LastTime:%4d/%2d/%2d)"), time.wYear, time.wMonth, time.wDay);
}

INT_PTR ShowSettingsDialog() {
    SettingsDialog data;
    return DialogBoxParamA(g_instance, MAKEINTRESOURCEA(ResId(IDD_SETTINGS_JA, IDD_SETTINGS_EN)), nullptr, SettingsProc,
                           reinterpret_cast<LPARAM>(&data));
}
