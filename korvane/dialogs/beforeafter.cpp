// beforeafter: the "Before/After" page of the options and its command-line editor. The user hooks
// own command lines into a Rinsa run at five points (each a once flag and a text), and sets the
// wait before the run, the wait after the restart and the countdown before the end. The page
// writes the flags and the waits on OK; the editor writes its command line on its own OK.
#include "dialogs/beforeafter.h"

#include "dialogs/options.h"

#include "korvane.h"
#include "resource.h"
#include "planner/rnsrun.h"

#include "language.h"
#include "platform.h"
#include "rega.h"
#include "settings.h"

#include <cstdio>
#include <new>

namespace {

const char kLogModule[] = "beforeafter";
constexpr const char *kHelpTopic = "HLP000030.html";
constexpr UINT kDropPathLimit = 520;

// A hook: its once flag in a three-state box and the Setting button that opens its editor.
struct Hook {
    int box;
    int button;
    const DwordSetting *flag;
};
const Hook kHooks[] = {
    {IDC_BA_BEFORE, IDC_BA_BEFORE_SET, &setting::ba_before},
    {IDC_BA_REBOOT, IDC_BA_REBOOT_SET, &setting::ba_reboot},
    {IDC_BA_READY, IDC_BA_READY_SET, &setting::ba_ready},
    {IDC_BA_AFTER, IDC_BA_AFTER_SET, &setting::ba_after},
    {IDC_BA_SHUTDOWN, IDC_BA_SHUTDOWN_SET, &setting::ba_shutdown},
};

// A wait: its box, the two fields that are enabled with it, and the two values.
struct Wait {
    int box;
    int minutes;
    int seconds;
    const DwordSetting *flag;
    const DwordSetting *length;
};
const Wait kWaits[] = {
    {IDC_BA_BEFOREWAIT, IDC_BA_SLEEP_MINUTES, IDC_BA_SLEEP_SECONDS, &setting::ba_beforewait, &setting::ba_sleep},
    {IDC_BA_AFTERWAIT, IDC_BA_AFTERSLEEP_MINUTES, IDC_BA_AFTERSLEEP_SECONDS, &setting::ba_afterwait,
     &setting::ba_aftersleep},
};

// The once flags; the wait after the restart (1195) is an ordinary box.
const int kOnceBoxIds[] = {IDC_BA_BEFORE,     IDC_BA_REBOOT,   IDC_BA_READY,     IDC_BA_AFTER,
                           IDC_BA_BEFOREWAIT, IDC_BA_SHUTDOWN, IDC_BA_COUNTDOWN, 0};
const OnceBoxes kOnceBoxes(kOnceBoxIds);

// The page's tooltips exist in Japanese only.
const ToolTipText kToolTipsJa[] = {
    {IDC_BA_BEFORE, "Rinsa 実行を始める前(再起動の前)に、指定したプログラムを実行します。"},
    {IDC_BA_REBOOT, "最初の再起動を、タイドウェルの代わりに指定したコマンドラインで行います。"},
    {IDC_BA_READY, "再起動の後、Rinsa 実行の処理を始める前に、指定したプログラムを実行します。"},
    {IDC_BA_AFTER, "Rinsa 実行の処理が終わった後に、指定したプログラムを実行します。"},
    {IDC_BA_SHUTDOWN, "Rinsa 実行後のシャットダウンを、指定したコマンドラインで行います。[Rinsa 後] が "
                      "[シャットダウン] のときだけ使われます。"},
    {IDC_BA_BEFORE_SET, "Rinsa 実行の前(再起動の前)に実行するコマンドラインを設定します。"},
    {IDC_BA_REBOOT_SET, "最初の再起動を行うコマンドラインを設定します。"},
    {IDC_BA_READY_SET, "再起動の後に実行するコマンドラインを設定します。"},
    {IDC_BA_AFTER_SET, "Rinsa 実行の後に実行するコマンドラインを設定します。"},
    {IDC_BA_SHUTDOWN_SET, "シャットダウンを行うコマンドラインを設定します。"},
    {IDC_BA_BEFOREWAIT, "Rinsa 実行を始める前(再起動するときはその前)に、指定した時間だけ待ちます。"},
    {IDC_BA_SLEEP_MINUTES, "待つ時間の分です。"},
    {IDC_BA_SLEEP_SECONDS, "待つ時間の秒です。60 以上も入力できます。"},
    {IDC_BA_AFTERWAIT, "再起動の後、システムが落ち着くまで指定した時間だけ待ってから処理を始めます。"},
    {IDC_BA_AFTERSLEEP_MINUTES, "待つ時間の分です。"},
    {IDC_BA_AFTERSLEEP_SECONDS, "待つ時間の秒です。60 以上も入力できます。"},
    {IDC_BA_COUNTDOWN, "Rinsa 実行後のシャットダウンや再起動の前に、カウントダウンのダイアログを表示します。"},
    {0, nullptr},
};

// ---- The page: enabling -------------------------------------------------------------------------

bool BoxIsOn(HWND page, int box) {
    if (kOnceBoxes.Has(box)) return kOnceBoxes.State(page, box) != kOnceOff;
    return IsDlgButtonChecked(page, box) != BST_UNCHECKED;
}

// The Setting button of a hook, or the fields of a wait, follow their box: enabled when not off.
void FollowBox(HWND page, int box) {
    bool on = BoxIsOn(page, box);
    for (const Hook &hook : kHooks)
        if (hook.box == box) EnableWindow(GetDlgItem(page, hook.button), on);
    for (const Wait &wait : kWaits) {
        if (wait.box != box) continue;
        EnableWindow(GetDlgItem(page, wait.minutes), on);
        EnableWindow(GetDlgItem(page, wait.seconds), on);
    }
}

// ---- The page: opening --------------------------------------------------------------------------

void ShowNumber(HWND page, int id, DWORD number) {
    char text[16];
    snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(number));
    SetDlgItemTextA(page, id, text);
}

void ShowWait(HWND page, const Wait &wait, PageValues &values) {
    LONG flag = values.Dword(*wait.flag);
    if (kOnceBoxes.Has(wait.box))
        kOnceBoxes.Show(page, wait.box, flag);
    else
        CheckDlgButton(page, wait.box, flag != 0 ? BST_CHECKED : BST_UNCHECKED);
    WaitFields shown = WaitFieldsOf(values.Dword(*wait.length));
    ShowNumber(page, wait.minutes, shown.minutes);
    ShowNumber(page, wait.seconds, shown.seconds);
    FollowBox(page, wait.box);
}

BOOL OnInitDialog(HWND page) {
    AddToolTips(page, ToolTipTable(kToolTipsJa, nullptr));
    // A key that cannot be read gives the catalogue defaults, so OK cannot turn them into zeros.
    PageValues values;
    for (const Hook &hook : kHooks) {
        kOnceBoxes.Show(page, hook.box, values.Dword(*hook.flag));
        FollowBox(page, hook.box);
    }
    for (const Wait &wait : kWaits)
        ShowWait(page, wait, values);
    kOnceBoxes.Show(page, IDC_BA_COUNTDOWN, values.Dword(setting::ba_after_countdown));
    EnableWindow(GetDlgItem(page, IDC_BA_UNUSED), FALSE);
    return TRUE;
}

// ---- The page: leaving and OK -------------------------------------------------------------------

// The stored seconds of a wait's fields; false (the user has been told, the field has the focus)
// when they hold no number or a wait the planner could not read back.
bool ReadWait(HWND page, const Wait &wait, DWORD *stored) {
    DWORD minutes = 0, seconds = 0;
    if (!ReadNumberField(page, wait.minutes, 0, kLargestStoredNumber / 60, &minutes)) return false;
    if (!ReadNumberField(page, wait.seconds, 0, kLargestStoredNumber, &seconds)) return false;
    if (StoredWaitSeconds(minutes, seconds, stored) == WaitTotal::Ok) return true;
    char message[256];
    snprintf(message, sizeof message,
             Tx("待つ時間が長すぎます。%lu 秒 (%lu 分 %lu 秒) までにしてください。",
                "The wait is too long. Please enter at most %lu seconds (%lu minutes %lu seconds)."),
             static_cast<unsigned long>(kLargestStoredNumber), static_cast<unsigned long>(kLargestStoredNumber / 60),
             static_cast<unsigned long>(kLargestStoredNumber % 60));
    ShowMessageBox(page, message, ProductTitle(), MB_ICONERROR);
    HWND field = GetDlgItem(page, wait.seconds);
    SetFocus(field);
    SendMessageA(field, EM_SETSEL, 0, -1);
    return false;
}

bool WaitsAreValid(HWND page) {
    DWORD stored = 0;
    for (const Wait &wait : kWaits)
        if (!ReadWait(page, wait, &stored)) return false;
    return true;
}

// False when a wait was refused: the sheet stays open on this page.
bool OnApply(HWND page) {
    DWORD lengths[2] = {};
    for (size_t i = 0; i < 2; ++i)
        if (!ReadWait(page, kWaits[i], &lengths[i])) return false;
    PageWriter writer(kLogModule);
    for (const Hook &hook : kHooks)
        writer.Dword(*hook.flag, kOnceBoxes.State(page, hook.box));
    for (size_t i = 0; i < 2; ++i) {
        const Wait &wait = kWaits[i];
        writer.Dword(*wait.flag, kOnceBoxes.Has(wait.box) ? LONG(kOnceBoxes.State(page, wait.box))
                                                          : LONG(BoxIsOn(page, wait.box) ? 1 : 0));
        writer.Dword(*wait.length, LONG(lengths[i]));
    }
    writer.Dword(setting::ba_after_countdown, kOnceBoxes.State(page, IDC_BA_COUNTDOWN));
    return true;
}

INT_PTR OnNotify(HWND page, const NMHDR &header) {
    switch (header.code) {
    case PSN_KILLACTIVE:
        // Checked when the page is left, so a refused wait keeps the user on this page.
        SetWindowLongPtrA(page, DWLP_MSGRESULT, WaitsAreValid(page) ? FALSE : TRUE);
        return TRUE;
    case PSN_APPLY:
        SetWindowLongPtrA(page, DWLP_MSGRESULT, OnApply(page) ? PSNRET_NOERROR : PSNRET_INVALID);
        return TRUE;
    }
    return FALSE;
}

void OnCommand(HWND page, int id, int code) {
    if (code != BN_CLICKED) return;
    if (kOnceBoxes.OnClicked(page, id) || id == IDC_BA_AFTERWAIT) {
        FollowBox(page, id);
        return;
    }
    for (const Hook &hook : kHooks)
        if (hook.button == id) ShowCommandLineEditor(page, id);
}

void OnContextMenu(HWND page, HWND control, LPARAM point) {
    int box = 0;
    if (kOnceBoxes.OnContextMenu(page, control, point, &box)) FollowBox(page, box);
}

INT_PTR CALLBACK BeforeAfterPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    if (HandlePageHelp(page, message, lParam, kHelpTopic)) return TRUE;
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(page);
    case WM_COMMAND:
        OnCommand(page, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_CONTEXTMENU:
        OnContextMenu(page, reinterpret_cast<HWND>(wParam), lParam);
        return TRUE;
    case WM_NOTIFY:
        return OnNotify(page, *reinterpret_cast<const NMHDR *>(lParam));
    }
    return FALSE;
}

} // namespace

// ---- Decisions ----------------------------------------------------------------------------------

WaitFields WaitFieldsOf(LONG storedSeconds) {
    DWORD seconds = static_cast<DWORD>(storedSeconds);
    return WaitFields{seconds / 60, seconds % 60};
}

WaitTotal StoredWaitSeconds(DWORD minutes, DWORD seconds, DWORD *stored) {
    unsigned long long total = static_cast<unsigned long long>(minutes) * 60 + seconds;
    if (total > kLargestStoredNumber) return WaitTotal::TooLarge;
    *stored = static_cast<DWORD>(total);
    return WaitTotal::Ok;
}

CommandLineHook CommandLineHookFor(int settingButton) {
    switch (settingButton) {
    case IDC_BA_BEFORE_SET:
        return {&setting::ba_before_cl, false};
    case IDC_BA_REBOOT_SET:
        return {&setting::ba_reboot_cl, true};
    case IDC_BA_READY_SET:
        return {&setting::ba_ready_cl, false};
    case IDC_BA_AFTER_SET:
        return {&setting::ba_after_cl, false};
    case IDC_BA_SHUTDOWN_SET:
        return {&setting::ba_shutdown_cl, true};
    }
    return {nullptr, false};
}

const char *CommandLineNote(int settingButton) {
    switch (settingButton) {
    case IDC_BA_SHUTDOWN_SET:
        return Tx("Rinsa 実行の後、ここで指定したコマンドラインが Windows をシャットダウンします。",
                  "The specified command line shutting down Windows after Rinsa Running.");
    case IDC_BA_REBOOT_SET:
        // The English form has no such note.
        return Tx("最初の再起動は、ここで指定したコマンドラインに任せます。タイドウェルは自分では再起動しません。", "");
    }
    return "";
}

std::string AppendDroppedToLine(const std::string &field, const char *path) {
    std::string quoted = path ? path : "";
    QuoteIfBlank(quoted);
    if (field.empty()) return quoted;
    char last = field.back();
    return field + (last == ' ' || last == '\t' ? "" : " ") + quoted;
}

// ---- The command-line editor --------------------------------------------------------------------

namespace {

struct EditorData {
    int button;
    CommandLineHook hook;
};

EditorData &DataOf(HWND dialog) {
    return *reinterpret_cast<EditorData *>(GetWindowLongPtrA(dialog, DWLP_USER));
}

int FieldId(const EditorData &data) {
    return data.hook.oneLine ? IDC_BA_EDIT_LINE : IDC_BA_EDIT_LINES;
}

HWND Field(HWND dialog) {
    return GetDlgItem(dialog, FieldId(DataOf(dialog)));
}

void ShowOneLineForm(HWND dialog) {
    for (int id : {IDC_BA_EDIT_LINES, IDC_BA_EDIT_OPEN, IDC_BA_EDIT_SAVE}) {
        ShowWindow(GetDlgItem(dialog, id), SW_HIDE);
        EnableWindow(GetDlgItem(dialog, id), FALSE);
    }
    ShowWindow(GetDlgItem(dialog, IDC_BA_EDIT_LINE), SW_SHOW);
}

// The planner takes whatever bytes the value holds as its text; a value of another type is shown
// that way too, and the user is told that OK stores it as text.
void WarnIfNotText(HWND dialog, REGA &key, const char *name) {
    DWORD type = REG_NONE;
    if (RegQueryValueExA(key.Handle(), name, nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS) return;
    if (type == REG_SZ || type == REG_EXPAND_SZ) return;
    std::string text = FormatString(Tx("コマンドライン %s は文字列として保存されていません。Rinsa 実行が読み取るとおり"
                                       "に表示しています。OK を押すと文字列として保存します。",
                                       "The command line %s is not stored as a text. It is shown as the Rinsa run "
                                       "reads it; OK stores it as a text."),
                                    name);
    ShowMessageBox(dialog, text.c_str(), ProductTitle(), MB_ICONWARNING);
}

void LoadCommandLine(HWND dialog, const EditorData &data) {
    REGA key;
    if (!OpenSettings(key, OPEN_READONLY)) return;
    key.ReadStringForEditboxA(data.hook.value->name, dialog, FieldId(data));
    WarnIfNotText(dialog, key, data.hook.value->name);
    key.CloseKey();
}

BOOL OnEditorInit(HWND dialog, EditorData *data) {
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(data));
    if (data->hook.oneLine) ShowOneLineForm(dialog);
    SetDlgItemTextA(dialog, IDC_BA_EDIT_NOTE, CommandLineNote(data->button));
    // Typing may go on as long as the stored value; the default limit would stop at 32K.
    SendMessageA(Field(dialog), EM_SETLIMITTEXT, 0, 0);
    LoadCommandLine(dialog, *data);
    AllowDropFromLowerProcesses();
    DragAcceptFiles(dialog, TRUE);
    SetFocus(Field(dialog));
    return FALSE;
}

// A value that cannot be stored is reported; the editor closes all the same, the text is lost
// only to the registry (the user has seen the report).
void StoreCommandLine(HWND dialog) {
    const EditorData &data = DataOf(dialog);
    REGA key;
    bool stored = OpenSettings(key, OPEN_CREATE);
    if (stored) {
        stored = key.WriteStringFromEditBoxA(data.hook.value->name, dialog, FieldId(data));
        key.CloseKey();
    }
    if (!stored) ReportRegistryError(kSettingsLocation, kLogModule);
}

void OnEditorCommand(HWND dialog, int id) {
    switch (id) {
    case IDOK:
        StoreCommandLine(dialog);
        EndDialog(dialog, 1);
        break;
    case IDCANCEL:
        EndDialog(dialog, 0);
        break;
    case IDHELP:
        ShowHelp(dialog, kHelpTopic);
        break;
    case IDC_BA_EDIT_BROWSE:
        BrowseForCommand(dialog, Field(dialog));
        break;
    case IDC_BA_EDIT_OPEN:
        if (!DataOf(dialog).hook.oneLine) OpenCommandFile(dialog, Field(dialog));
        break;
    case IDC_BA_EDIT_SAVE:
        if (!DataOf(dialog).hook.oneLine) SaveCommandFile(dialog, Field(dialog));
        break;
    }
}

// The one-line field takes the first dropped file only.
void AddDroppedLine(HWND dialog, HWND edit, HDROP drop) {
    char path[kDropPathLimit] = "";
    UINT length = DragQueryFileA(drop, 0, nullptr, 0);
    bool taken = length > 0 && length < kDropPathLimit && DragQueryFileA(drop, 0, path, sizeof path) > 0;
    DragFinish(drop);
    if (taken) {
        TextPtr field = DialogItemText(dialog, GetDlgCtrlID(edit));
        try {
            SetWindowTextA(edit, AppendDroppedToLine(field ? field.get() : "", path).c_str());
        } catch (const std::bad_alloc &) {
            ShowMessage(dialog, {"メモリが足りません。", "Out of memory."}, MB_ICONERROR);
        }
    }
    SetForegroundWindow(dialog);
}

void OnDropFiles(HWND dialog, HDROP drop) {
    if (DataOf(dialog).hook.oneLine)
        AddDroppedLine(dialog, Field(dialog), drop);
    else
        AddDroppedCommands(dialog, Field(dialog), drop);
}

INT_PTR CALLBACK EditorProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return OnEditorInit(dialog, reinterpret_cast<EditorData *>(lParam));
    case WM_COMMAND:
        OnEditorCommand(dialog, LOWORD(wParam));
        return TRUE;
    case WM_DROPFILES:
        OnDropFiles(dialog, reinterpret_cast<HDROP>(wParam));
        return TRUE;
    case WM_HELP:
        ShowHelp(dialog, kHelpTopic);
        return TRUE;
    }
    return FALSE;
}

} // namespace

INT_PTR ShowCommandLineEditor(HWND owner, int settingButton) {
    EditorData data = {settingButton, CommandLineHookFor(settingButton)};
    if (!data.hook.value) return 0;
    INT_PTR result = DialogBoxParamA(ResourceInstance(), MAKEINTRESOURCEA(ResId(IDD_BA_EDITOR_JA, IDD_BA_EDITOR_EN)),
                                     owner, EditorProc, reinterpret_cast<LPARAM>(&data));
    return result == 1 ? 1 : 0;
}

PROPSHEETPAGEA BeforeAfterPage() {
    return OptionsPageOf(IDD_BEFOREAFTER_JA, IDD_BEFOREAFTER_EN, BeforeAfterPageProc);
}
