// report: the text report dialog, and the clipboard copy every report uses.
#include "dialogs/report.h"

#include "dialogs/ferun.h"
#include "korvane.h"
#include "resource.h"

#include "platform.h"

#include <cstring>

namespace {

bool PutClipboardData(UINT format, const void *data, size_t size) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
    if (!memory) return false;
    void *target = GlobalLock(memory);
    if (target) {
        memcpy(target, data, size);
        GlobalUnlock(memory);
    }
    // The clipboard owns the memory once SetClipboardData took it.
    if (target && SetClipboardData(format, memory)) return true;
    GlobalFree(memory);
    return false;
}

} // namespace

// Both forms are put, so the Japanese text pastes right whatever keyboard language is active.
bool CopyTextToClipboard(HWND owner, const std::string &text) {
    std::wstring wide = AnsiToWide(text.c_str());
    if (!OpenClipboard(owner)) return false;
    EmptyClipboard();
    bool copied = PutClipboardData(CF_UNICODETEXT, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t)) &&
                  PutClipboardData(CF_TEXT, text.c_str(), text.size() + 1);
    CloseClipboard();
    return copied;
}

void CopyReportToClipboard(HWND dialog, const std::string &report) {
    if (CopyTextToClipboard(dialog, report))
        ShowMessage(dialog, {"クリップボードへのコピーが完了しました。", "Copying to Clipboard is completed."},
                    MB_ICONINFORMATION);
    else
        ShowMessage(dialog, {"クリップボードへのコピーができませんでした。", "Copying to Clipboard was not completed."},
                    MB_ICONERROR);
}

namespace {

struct ReportState {
    const ReportDialog &dialog;
    const std::function<std::string()> &build;
    DialogLayout layout;
    std::string report;
};

void OnSave(HWND dialog, const ReportState &state) {
    char path[MAX_PATH];
    lstrcpynA(path, state.dialog.fileName, sizeof path);
    if (!AskSaveFileName(dialog, path, sizeof path, state.dialog.saveTitle.Get(),
                         Tx("テキスト ファイル(*.txt)\0*.txt\0", "Text Files(*.txt)\0*.txt\0"), "txt"))
        return;
    ShowTextFileWriteError(dialog, WriteTextFile(path, state.report.data(), state.report.size()));
}

BOOL OnInitDialog(HWND dialog, ReportState *state) {
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(state));
    state->layout.Create(dialog, state->dialog.anchors);
    if (state->dialog.toolTipsJa) AddToolTips(dialog, ToolTipTable(state->dialog.toolTipsJa, state->dialog.toolTipsEn));
    HCURSOR previous = SetCursor(LoadCursor(nullptr, IDC_WAIT));
    state->report = state->build();
    SetCursor(previous);
    if (state->report.empty() || !SetDlgItemTextA(dialog, state->dialog.textId, state->report.c_str()))
        ShowMessage(dialog, {"メモリが足りません。", "Out of memory."}, MB_ICONERROR);
    // The text would otherwise take the focus with everything selected.
    SetFocus(GetDlgItem(dialog, IDCANCEL));
    return FALSE;
}

void OnCommand(HWND dialog, ReportState &state, int id) {
    if (id == state.dialog.copyId) {
        CopyReportToClipboard(dialog, state.report);
    } else if (id == state.dialog.saveId) {
        OnSave(dialog, state);
    } else if (id == IDHELP && state.dialog.helpTopic) {
        ShowHelp(dialog, state.dialog.helpTopic);
    } else if (id == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
    }
}

INT_PTR CALLBACK ReportProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto *state = reinterpret_cast<ReportState *>(GetWindowLongPtrA(dialog, DWLP_USER));
    // WM_GETMINMAXINFO comes before WM_INITDIALOG too, when there is no layout yet.
    if (state && state->layout.OnMessage(message, lParam)) return TRUE;
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(dialog, reinterpret_cast<ReportState *>(lParam));
    case WM_COMMAND:
        if (state) OnCommand(dialog, *state, LOWORD(wParam));
        return TRUE;
    case WM_HELP:
        if (!state || !state->dialog.helpTopic) return FALSE;
        ShowHelp(dialog, state->dialog.helpTopic);
        return TRUE;
    case WM_DESTROY:
        if (state) state->layout.Destroy();
        return FALSE;
    }
    return FALSE;
}

} // namespace

void ShowReportDialog(HWND owner, const ReportDialog &dialog, const std::function<std::string()> &build) {
    ReportState state{dialog, build, {}, {}};
    DialogBoxParamA(ResourceInstance(), MAKEINTRESOURCEA(ResId(dialog.dialogJa, dialog.dialogEn)), owner, ReportProc,
                    reinterpret_cast<LPARAM>(&state));
}
