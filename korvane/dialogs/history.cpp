// history: the run log viewer. It shows KORVANE.LOG scrolled to its newest line, deletes it on
// request and switches the detailed trace log (fjlog) on or off. The log lies beside the program
// and may have grown to several megabytes, so it is found by its full path and at most its last
// 16 MiB are read.
#include "dialogs/history.h"

#include "dialogs/subclass.h"
#include "korvane.h"
#include "planner/rnsrun.h"
#include "resource.h"
#include "window/layout.h"

#include "language.h"
#include "platform.h"
#include "rega.h"
#include "runlog.h"
#include "settings.h"
#include "winhandle.h"

#include <commctrl.h>

#include <algorithm>
#include <new>

namespace {

const char kLogModule[] = "history";
constexpr const char *kHelpTopic = "HLP000016.html";

std::string TailNote() {
    unsigned long long megabytes = kHistoryShownBytes >> 20;
    return IsJapanese() ? FormatString("(ログが %llu MB を超えているため、最後の %llu MB だけを表示しています。)\r\n",
                                       megabytes, megabytes)
                        : FormatString("(The log is larger than %llu MB: only its last %llu MB are shown.)\r\n",
                                       megabytes, megabytes);
}

// Reads count bytes from offset; false when the file gives fewer.
bool ReadPart(HANDLE file, unsigned long long offset, std::string *bytes) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(file, at, nullptr, FILE_BEGIN)) return false;
    size_t done = 0;
    while (done < bytes->size()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes->size() - done, 1u << 20)), read = 0;
        if (!ReadFile(file, &(*bytes)[done], chunk, &read, nullptr) || read == 0) return false;
        done += read;
    }
    return true;
}

} // namespace

// ---- Plain pieces -------------------------------------------------------------------------------

unsigned long long ShownPartStart(unsigned long long size, unsigned long long limit) {
    return size > limit ? size - limit : 0;
}

std::string LogDisplayText(const std::string &bytes, bool tailOnly) {
    size_t at = 0;
    std::string text;
    if (tailOnly) {
        // The part may begin inside a line, even inside a double-byte character: up to the first
        // line end it goes. One endless line is shown as it is.
        text = TailNote();
        size_t end = bytes.find_first_of("\r\n");
        if (end != std::string::npos) at = end + (bytes.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    text.reserve(text.size() + bytes.size() - at + (bytes.size() - at) / 16);
    for (; at < bytes.size(); ++at) {
        char c = bytes[at];
        if (c == '\r' || c == '\n') {
            text += "\r\n";
            if (c == '\r' && at + 1 < bytes.size() && bytes[at + 1] == '\n') ++at;
        } else {
            // A NUL would end the line where the list draws it; Shift-JIS never has it as a trail byte.
            text += c ? c : ' ';
        }
    }
    return text;
}

LogView ReadLogView(const char *path, unsigned long long limit) {
    LogView view;
    UniqueFile file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) {
        DWORD error = GetLastError();
        view.result = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? LogViewResult::NotFound
                                                                                     : LogViewResult::Unreadable;
        return view;
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0) {
        view.result = LogViewResult::Unreadable;
        return view;
    }
    unsigned long long total = static_cast<unsigned long long>(size.QuadPart);
    unsigned long long start = ShownPartStart(total, limit);
    // One byte before the part tells whether it begins a line.
    unsigned long long from = start ? start - 1 : 0;
    try {
        std::string bytes(static_cast<size_t>(total - from), '\0');
        if (!ReadPart(file.Get(), from, &bytes)) {
            view.result = LogViewResult::Unreadable;
            return view;
        }
        view.tailOnly = start > 0;
        view.text = LogDisplayText(bytes, view.tailOnly);
        view.result = LogViewResult::Shown;
    } catch (const std::bad_alloc &) {
        view = LogView();
        view.result = LogViewResult::OutOfMemory;
    }
    return view;
}

std::vector<size_t> LineStarts(const std::string &text) {
    std::vector<size_t> starts;
    for (size_t at = 0; at < text.size();) {
        starts.push_back(at);
        size_t end = text.find("\r\n", at);
        at = end == std::string::npos ? text.size() : end + 2;
    }
    return starts;
}

std::string LineText(const std::string &text, const std::vector<size_t> &starts, size_t line) {
    size_t begin = starts[line], end = line + 1 < starts.size() ? starts[line + 1] : text.size();
    if (end - begin >= 2 && text.compare(end - 2, 2, "\r\n") == 0) end -= 2;
    return text.substr(begin, end - begin);
}

std::vector<size_t> LongestLines(const std::vector<size_t> &starts, size_t textSize, size_t count) {
    std::vector<size_t> lines(starts.size());
    for (size_t i = 0; i < lines.size(); ++i)
        lines[i] = i;
    auto length = [&](size_t line) { return (line + 1 < starts.size() ? starts[line + 1] : textSize) - starts[line]; };
    count = std::min(count, lines.size());
    std::partial_sort(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(count), lines.end(),
                      [&](size_t a, size_t b) { return length(a) > length(b) || (length(a) == length(b) && a < b); });
    lines.resize(count);
    return lines;
}

std::string LinesText(const std::string &text, const std::vector<size_t> &starts, const std::vector<size_t> &lines) {
    std::string joined;
    for (size_t line : lines)
        if (line < starts.size()) joined += LineText(text, starts, line) + "\r\n";
    return joined;
}

bool RemoveLogFile(const char *path) {
    if (DeleteFileA(path)) return true;
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// ---- The dialog ---------------------------------------------------------------------------------

namespace {

// The list is as wide as its widest line; measuring every line of a large log would cost as much
// as the list saves, so the longest ones by bytes stand for all.
constexpr size_t kMeasuredLines = 256;
constexpr int kLinePadding = 16;

const Anchor kAnchors[] = {
    {IDC_HISTORY_TEXT, kAnchorSize},
    {IDC_HISTORY_NOTE, kAnchorBottomWidth},
    {IDC_HISTORY_DEBUG, kAnchorBottom},
    {IDC_HISTORY_REMOVE, kAnchorBottom},
    {IDHELP, kAnchorCorner},
    {IDCANCEL, kAnchorCorner},
    {0, 0},
};

const ToolTipText kToolTipsJa[] = {
    {IDC_HISTORY_TEXT, "Ctrl+A ですべての行を選び、Ctrl+C で選んだ行をコピーします。"},
    {IDC_HISTORY_DEBUG, "Rinsa 実行の詳しい記録 (デバッグ ログ) を残します。"},
    {IDC_HISTORY_REMOVE, "履歴 (KORVANE.LOG) をすべて削除します。"},
    {IDHELP, "ヘルプを表示します。"},
    {IDCANCEL, "このダイアログを閉じます。"},
    {0, nullptr},
};
const ToolTipText kToolTipsEn[] = {
    {IDC_HISTORY_TEXT, "Ctrl+A selects every line, Ctrl+C copies the selected lines."},
    {IDC_HISTORY_DEBUG, "Keeps a detailed log (debug log) of Rinsa running."},
    {IDC_HISTORY_REMOVE, "Removes the whole history (KORVANE.LOG)."},
    {IDHELP, "Displays Japanese help."},
    {IDCANCEL, "Closes this dialog."},
    {0, nullptr},
};

// The log is shown by a list of its lines that asks for the lines it draws: an edit control would
// lay out every line of a log of megabytes before showing any.
struct HistoryDialog {
    DialogLayout layout;
    std::string text;          // the shown text, every line ending CR LF
    std::vector<size_t> lines; // where each line begins
    // The list may draw from a text it was given until it has asked twice more.
    std::string given[3];
    std::wstring givenWide[3];
    unsigned next = 0;
};

HistoryDialog *DataOf(HWND dialog) {
    return reinterpret_cast<HistoryDialog *>(GetWindowLongPtrA(dialog, DWLP_USER));
}

HWND LogList(HWND dialog) {
    return GetDlgItem(dialog, IDC_HISTORY_TEXT);
}

int WidestLine(HWND list, const HistoryDialog &data) {
    int widest = 0;
    for (size_t line : LongestLines(data.lines, data.text.size(), kMeasuredLines)) {
        std::string text = LineText(data.text, data.lines, line);
        widest = std::max(widest, static_cast<int>(SendMessageA(list, LVM_GETSTRINGWIDTHA, 0,
                                                                reinterpret_cast<LPARAM>(text.c_str()))));
    }
    return widest + kLinePadding;
}

void TakeText(HistoryDialog &data, std::string text) {
    try {
        data.text = std::move(text);
        data.lines = LineStarts(data.text);
    } catch (const std::bad_alloc &) {
        data.text = Tx("メモリが足りません。", "Out of memory.");
        data.lines.assign(1, 0);
    }
}

// The text in the list, scrolled to its end with the focus on the last line.
void ShowLogText(HWND dialog, HistoryDialog &data, std::string text) {
    if (text.empty() && IsJapanese()) text = "表示する情報はありません。";
    TakeText(data, std::move(text));
    HWND list = LogList(dialog);
    int count = static_cast<int>(data.lines.size());
    SendMessageA(list, LVM_SETITEMCOUNT, static_cast<WPARAM>(count), 0);
    SendMessageA(list, LVM_SETCOLUMNWIDTH, 0, WidestLine(list, data));
    if (count > 0) {
        LVITEMA focus = {};
        focus.stateMask = focus.state = LVIS_FOCUSED;
        SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(count - 1), reinterpret_cast<LPARAM>(&focus));
        SendMessageA(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(count - 1), FALSE);
    }
    InvalidateRect(list, nullptr, TRUE);
}

void ShowLog(HWND dialog, HistoryDialog &data) {
    LogView view = ReadLogView(RunLogPath().c_str());
    switch (view.result) {
    case LogViewResult::Shown:
        ShowLogText(dialog, data, std::move(view.text));
        break;
    case LogViewResult::NotFound:
        ShowLogText(dialog, data, Tx("KORVANE.LOG が見つかりません。", "KORVANE.LOG not found."));
        break;
    case LogViewResult::Unreadable:
        ShowLogText(dialog, data, Tx("KORVANE.LOG を読み込めません。", "KORVANE.LOG cannot be read."));
        break;
    case LogViewResult::OutOfMemory:
        ShowLogText(dialog, data, Tx("メモリが足りません。", "Out of memory."));
        break;
    }
}

// A line for the list to draw, from a buffer it may keep for two more requests.
void GiveLine(HistoryDialog &data, NMHDR *header) {
    bool wide = header->code == LVN_GETDISPINFOW;
    auto *info = reinterpret_cast<NMLVDISPINFOA *>(header); // the W form has the same layout
    int line = info->item.iItem;
    if (!(info->item.mask & LVIF_TEXT) || line < 0 || static_cast<size_t>(line) >= data.lines.size()) return;
    unsigned slot = data.next++ % 3;
    data.given[slot] = LineText(data.text, data.lines, static_cast<size_t>(line));
    if (!wide) {
        info->item.pszText = &data.given[slot][0];
        return;
    }
    data.givenWide[slot] = AnsiToWide(data.given[slot].c_str());
    reinterpret_cast<NMLVDISPINFOW *>(header)->item.pszText = &data.givenWide[slot][0];
}

void CopySelectedLines(HWND dialog, const HistoryDialog &data) {
    HWND list = LogList(dialog);
    std::vector<size_t> chosen;
    for (int at = -1;
         (at = static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(at), LVNI_SELECTED))) >= 0;)
        chosen.push_back(static_cast<size_t>(at));
    if (chosen.empty()) return;
    if (!CopyTextToClipboard(dialog, LinesText(data.text, data.lines, chosen)))
        ShowMessage(dialog, {"クリップボードへのコピーができませんでした。", "Copying to Clipboard was not completed."},
                    MB_ICONERROR);
}

// Ctrl+A selects every line, Ctrl+C copies the selected ones.
LRESULT CALLBACK LogListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam) {
    HistoryDialog *data = message == WM_CHAR ? DataOf(GetParent(list)) : nullptr;
    if (data && wParam == 1) {
        LVITEMA all = {};
        all.stateMask = all.state = LVIS_SELECTED;
        SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&all));
        return 0;
    }
    if (data && wParam == 3) {
        CopySelectedLines(GetParent(list), *data);
        return 0;
    }
    return CallControlProc(list, message, wParam, lParam);
}

void SetSmallIcon(HWND dialog) {
    HINSTANCE instance = ResourceInstance();
    // A shared icon belongs to the system; nobody destroys it.
    HANDLE icon = LoadImageA(instance, MAKEINTRESOURCEA(IDI_KORVANE), IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                             GetSystemMetrics(SM_CYSMICON), LR_SHARED);
    if (icon) SendMessageA(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}

void PrepareList(HWND dialog) {
    HWND list = LogList(dialog);
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    LVCOLUMNA column = {};
    column.mask = LVCF_WIDTH;
    SendMessageA(list, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));
    SubclassControl(list, LogListProc);
}

BOOL OnInitDialog(HWND dialog, HistoryDialog *data) {
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(data));
    AddToolTips(dialog, ToolTipTable(kToolTipsJa, kToolTipsEn));
    PrepareList(dialog);
    HCURSOR previous = SetCursor(LoadCursor(nullptr, IDC_WAIT));
    ShowLog(dialog, *data);
    SetCursor(previous);
    CheckDlgButton(dialog, IDC_HISTORY_DEBUG, TraceMode() ? BST_CHECKED : BST_UNCHECKED);
    data->layout.Create(dialog, kAnchors);
    SetSmallIcon(dialog);
    SetFocus(GetDlgItem(dialog, IDCANCEL));
    return FALSE;
}

void OnRemove(HWND dialog, HistoryDialog &data) {
    if (ShowMessage(dialog, {"履歴を削除してもよろしいですか?", "Are you sure you want to remove the history?"},
                    MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    if (RemoveLogFile(RunLogPath().c_str()))
        ShowLogText(dialog, data, std::string());
    else
        ShowMessage(dialog, {"KORVANE.LOG:ファイルを削除できません。", "KORVANE.LOG:Cannot delete file."},
                    MB_YESNO | MB_ICONERROR);
}

// The trace mode of this process changes at once; fjlog keeps it for the next start (a key that
// cannot be opened is reported and leaves fjlog as it was).
void StoreDebugMode(HWND dialog) {
    bool on = IsDlgButtonChecked(dialog, IDC_HISTORY_DEBUG) == BST_CHECKED;
    SetTraceMode(on);
    REGA key;
    if (!OpenSettingsForWriting(key, kLogModule)) return;
    key.WriteIntegerA(setting::fjlog.name, on ? 1 : 0);
    key.CloseKey();
}

void OnCommand(HWND dialog, HistoryDialog &data, int id) {
    switch (id) {
    case IDC_HISTORY_REMOVE:
        OnRemove(dialog, data);
        break;
    case IDHELP:
        ShowHelp(dialog, kHelpTopic);
        break;
    case IDOK:
    case IDCANCEL:
        StoreDebugMode(dialog);
        EndDialog(dialog, IDCANCEL);
        break;
    }
}

INT_PTR CALLBACK HistoryProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    HistoryDialog *data = DataOf(dialog);
    // WM_GETMINMAXINFO comes before WM_INITDIALOG too, when there is no layout yet.
    if (data && data->layout.OnMessage(message, lParam)) return TRUE;
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(dialog, reinterpret_cast<HistoryDialog *>(lParam));
    case WM_COMMAND:
        if (data) OnCommand(dialog, *data, LOWORD(wParam));
        return TRUE;
    case WM_NOTIFY: {
        auto *header = reinterpret_cast<NMHDR *>(lParam);
        if (data && header->idFrom == IDC_HISTORY_TEXT &&
            (header->code == LVN_GETDISPINFOA || header->code == LVN_GETDISPINFOW))
            GiveLine(*data, header);
        return FALSE;
    }
    case WM_HELP:
        ShowHelp(dialog, kHelpTopic);
        return TRUE;
    case WM_DESTROY:
        if (data) data->layout.Destroy();
        return FALSE;
    }
    return FALSE;
}

} // namespace

void ShowHistoryDialog(HWND owner) {
    HistoryDialog data;
    HINSTANCE instance = ResourceInstance();
    if (DialogBoxParamA(instance, MAKEINTRESOURCEA(ResId(IDD_HISTORY_JA, IDD_HISTORY_EN)), owner, HistoryProc,
                        reinterpret_cast<LPARAM>(&data)) == -1)
        RUNLOG(Tx("履歴のダイアログを開けませんでした。", "The History dialog could not be opened."));
}
