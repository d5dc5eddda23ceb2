// ferunx: the Other Applications dialog of $Rnsx. During a run the user starts programs by hand
// through the shell; the walk of the command list waits on this thread until the dialog closes.
#include "QS.h"

#include "language.h"
#include "platform.h"
#include "resource.h"
#include "runlog.h"
#include "settings.h"
#include "winhandle.h"

#include <commdlg.h>
#include <shellapi.h>

#include <cstring>
#include <memory>
#include <new>

namespace {

// The trace field of this dialog's log lines names this module, not "QS".
constexpr char kModule[] = "ferunx";
constexpr const char *kHelpTopic = "HLP000113.html";
constexpr DWORD kPathBufferSize = 520;

// Neither a blank, a tab nor a double quote is ever the second byte of a Shift-JIS character, so
// the split may look at single bytes.
bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

const char *SkipBlanks(const char *p) {
    while (IsBlank(*p))
        ++p;
    return p;
}

} // namespace

// ---- Decisions ----------------------------------------------------------------------------------

RunCommand SplitRunCommand(const char *commandLine) {
    RunCommand command;
    if (!commandLine) return command;
    const char *p = SkipBlanks(commandLine);
    if (*p == '"') {
        const char *close = strchr(++p, '"');
        const char *end = close ? close : p + strlen(p);
        command.file.assign(p, end);
        p = close ? close + 1 : end;
    } else {
        const char *end = p;
        while (*end && !IsBlank(*end))
            ++end;
        command.file.assign(p, end);
        p = end;
    }
    command.parameters = SkipBlanks(p);
    command.folder = ShellWorkingFolder(command.file.c_str());
    return command;
}

bool PushRunHistory(std::vector<std::string> &history, const std::string &command) {
    if (!history.empty() && history.front() == command) return false;
    history.insert(history.begin(), command);
    if (history.size() > kRunHistorySize) history.resize(kRunHistorySize);
    return true;
}

std::vector<std::string> ReadRunHistory(REGA &key) {
    std::vector<std::string> history;
    for (const char *name : setting::ferunHistory) {
        std::unique_ptr<char[]> text = key.RegReadStringA(name, nullptr);
        if (!text) break;
        history.emplace_back(text.get());
    }
    return history;
}

bool RecordRunCommand(const std::string &command, std::vector<std::string> &history) {
    REGA key;
    if (!OpenSettings(key, OPEN_CREATE)) return false;
    key.WriteStringA(setting::tyFerun1.name, command.c_str(), STRTYPE_KEEP);
    if (PushRunHistory(history, command)) {
        size_t i = 0;
        for (; i < history.size(); ++i)
            key.WriteStringA(setting::ferunHistory[i], history[i].c_str(), STRTYPE_KEEP);
        // A value left behind a gap would come back into the list once the gap is filled.
        for (; i < kRunHistorySize; ++i)
            key.DeleteValue(setting::ferunHistory[i]);
    }
    key.CloseKey();
    return true;
}

std::string AppendDroppedFile(const std::string &field, const char *path) {
    std::string quoted = path ? path : "";
    QuoteIfBlank(quoted);
    return field.empty() ? quoted : field + ' ' + quoted;
}

// ---- The dialog ---------------------------------------------------------------------------------

namespace {

const ToolTipText kToolTipsJa[] = {
    {IDC_FERUNX_COMMAND, "コマンドラインを入力します。"},
    {IDC_FERUNX_BROWSE, "ファイル名を参照して、エディットボックスに挿入します。"},
    {IDOK, "コマンドラインを実行します。"},
    {IDCANCEL, "このダイアログボックスを閉じます。"},
    {IDHELP, "ヘルプを表示します。"},
    {0, nullptr},
};
const ToolTipText kToolTipsEn[] = {
    {IDC_FERUNX_COMMAND, "Enter a command line."},
    {IDC_FERUNX_BROWSE, "Browse file name and Insert it into editbox."},
    {IDOK, "Runs the command line."},
    {IDCANCEL, "Close this dialog box."},
    {IDHELP, "Displays Japanese help."},
    {0, nullptr},
};

struct FerunxDialog {
    std::vector<std::string> history; // what the combo's list shows, F0 first
};

HWND Combo(HWND dialog) {
    return GetDlgItem(dialog, IDC_FERUNX_COMMAND);
}

std::string ComboText(HWND dialog) {
    HWND combo = Combo(dialog);
    std::string text(size_t(GetWindowTextLengthA(combo)) + 1, '\0');
    text.resize(size_t(GetWindowTextA(combo, &text[0], int(text.size()))));
    return text;
}

void EnableRun(HWND dialog, bool enable) {
    EnableWindow(GetDlgItem(dialog, IDOK), enable);
}
void UpdateRun(HWND dialog) {
    EnableRun(dialog, GetWindowTextLengthA(Combo(dialog)) > 0);
}

// While CBN_SELCHANGE is handled the edit field still holds the old text; the chosen item is what
// it is about to show.
void UpdateRunForSelection(HWND dialog) {
    LRESULT index = SendMessageA(Combo(dialog), CB_GETCURSEL, 0, 0);
    if (index == CB_ERR) return UpdateRun(dialog);
    EnableRun(dialog, SendMessageA(Combo(dialog), CB_GETLBTEXTLEN, WPARAM(index), 0) > 0);
}

void FillHistory(HWND dialog, const std::vector<std::string> &history) {
    HWND combo = Combo(dialog);
    SendMessageA(combo, CB_RESETCONTENT, 0, 0);
    for (const std::string &entry : history)
        SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
}

BOOL OnInitDialog(HWND dialog, FerunxDialog &data) {
    AddToolTips(dialog, ToolTipTable(kToolTipsJa, kToolTipsEn));
    REGA key;
    if (OpenSettings(key, OPEN_READONLY)) {
        data.history = ReadRunHistory(key);
        FillHistory(dialog, data.history);
        std::unique_ptr<char[]> last = key.RegReadStringA(setting::tyFerun1.name, nullptr);
        if (last) SetWindowTextA(Combo(dialog), last.get());
        key.CloseKey();
    }
    UpdateRun(dialog);
    return TRUE;
}

void ShowHelpTopic(HWND dialog) {
    // QS works in the System folder; the help file lies beside QS.EXE.
    char module[kPathBufferSize] = "";
    GetModuleFileNameA(nullptr, module, sizeof module - 1);
    ShowHelp(dialog, kHelpTopic, ProgramFolderOf(module).c_str());
}

void OnBrowse(HWND dialog) {
    char path[kPathBufferSize] = "";
    OPENFILENAMEA dialogData = {};
    dialogData.lStructSize = sizeof dialogData;
    dialogData.hwndOwner = dialog;
    // Each literal ends in an extra zero, which closes the filter list.
    dialogData.lpstrFilter = Tx("実行可能ファイル(*.exe;*.com;*.bat)\0*.exe;*.com;*.bat\0すべてのファイル(*.*)\0*.*\0",
                                "Runnable files(*.exe;*.com;*.bat)\0*.exe;*.com;*.bat\0All files(*.*)\0*.*\0");
    dialogData.nFilterIndex = 1;
    dialogData.lpstrFile = path;
    dialogData.nMaxFile = sizeof path;
    dialogData.lpstrTitle = Tx("ファイルの選択", "Select a file");
    dialogData.Flags = OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    if (GetOpenFileNameA(&dialogData)) {
        std::string chosen = path;
        QuoteIfBlank(chosen);
        SetWindowTextA(Combo(dialog), chosen.c_str());
        UpdateRun(dialog);
    }
    SetFocus(Combo(dialog));
}

void OnDropFiles(HWND dialog, HDROP drop) {
    std::string field = ComboText(dialog);
    UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        char path[kPathBufferSize];
        if (DragQueryFileA(drop, i, nullptr, 0) >= kPathBufferSize) continue;
        if (DragQueryFileA(drop, i, path, sizeof path) == 0) continue;
        field = AppendDroppedFile(field, path);
    }
    DragFinish(drop);
    SetWindowTextA(Combo(dialog), field.c_str());
    SetFocus(Combo(dialog));
    UpdateRun(dialog);
    SetForegroundWindow(dialog);
}

void RememberCommand(HWND dialog, FerunxDialog &data, const char *command) {
    if (!RecordRunCommand(command, data.history)) {
        std::string text =
            Tx("レジストリキーを書き込みモードで開けません :", "Cannot open registry key on write mode :");
        ShowMessageBox(dialog, text.append(kSettingsPath).c_str(), ProductTitle(), MB_ICONERROR);
        return;
    }
    // Refilling the list empties the edit field too.
    FillHistory(dialog, data.history);
    SetWindowTextA(Combo(dialog), command);
}

void StartCommand(HWND dialog, const char *commandLine) {
    RunCommand command = SplitRunCommand(commandLine);
    LogLine2(kModule, __LINE__, Tx("コマンドライン - ", "Command Line - "), command.file.c_str());
    // An empty file name would make the shell open the working folder instead of running anything.
    INT_PTR result = SE_ERR_FNF;
    if (!command.file.empty())
        result = reinterpret_cast<INT_PTR>(ShellExecuteA(
            dialog, "open", command.file.c_str(), command.parameters.empty() ? nullptr : command.parameters.c_str(),
            command.folder.empty() ? nullptr : command.folder.c_str(), SW_SHOWNORMAL));
    if (result > 32) return;
    LogLine(kModule, __LINE__, ShellExecuteReason(result));
    ShowShellExecuteError(dialog, command.file.c_str(), result);
}

void OnRun(HWND dialog, FerunxDialog &data) {
    HWND combo = Combo(dialog);
    size_t size = size_t(GetWindowTextLengthA(combo)) + 3;
    std::unique_ptr<char[]> command(new (std::nothrow) char[size]);
    if (!command) {
        ShowMessage(dialog, {"メモリが不足しています。", "Out of memory."}, MB_ICONERROR);
        return;
    }
    GetWindowTextA(combo, command.get(), int(size));
    // Enter reaches here even while Run is disabled.
    if (!command[0]) return;
    RememberCommand(dialog, data, command.get());
    StartCommand(dialog, command.get());
    SetFocus(combo);
}

void OnCommand(HWND dialog, FerunxDialog &data, WORD id, WORD code) {
    switch (id) {
    case IDOK:
        OnRun(dialog, data);
        break;
    case IDCANCEL:
        EndDialog(dialog, IDCANCEL);
        break;
    case IDC_FERUNX_BROWSE:
        OnBrowse(dialog);
        break;
    case IDHELP:
        ShowHelpTopic(dialog);
        break;
    case IDC_FERUNX_COMMAND:
        if (code == CBN_EDITCHANGE) UpdateRun(dialog);
        // Picking a history entry changes the field without CBN_EDITCHANGE.
        if (code == CBN_SELCHANGE) UpdateRunForSelection(dialog);
        break;
    }
}

INT_PTR CALLBACK FerunxDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto *data = reinterpret_cast<FerunxDialog *>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        return OnInitDialog(dialog, *reinterpret_cast<FerunxDialog *>(lParam));
    case WM_COMMAND:
        if (data) OnCommand(dialog, *data, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_DROPFILES:
        OnDropFiles(dialog, reinterpret_cast<HDROP>(wParam));
        return TRUE;
    case WM_HELP:
        ShowHelpTopic(dialog);
        return TRUE;
    }
    return FALSE;
}

} // namespace

void RunOtherApplications(Walk &walk) {
    SendMessageA(walk.window, kQsLiftBlackScreen, 0, 0);
    // QS runs elevated; without this, files dragged from ordinary programs are refused.
    AllowDropFromLowerProcesses();
    // The shell may hand a document to an extension or a DDE server, which want COM on this thread.
    ComScope com;
    FerunxDialog data;
    INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(ResId(IDD_FERUNX_JA, IDD_FERUNX_EN)),
                                     nullptr, FerunxDialogProc, reinterpret_cast<LPARAM>(&data));
    if (result == -1)
        LogLine(kModule, __LINE__,
                Tx("その他のアプリケーション ダイアログを開けません。", "Cannot open the Other Applications dialog."));
}
