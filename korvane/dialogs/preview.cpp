// preview: the dialog of the run preview. The report is planned with nothing reaching the system
// (planner/rnsplan.h) and shown like the environment report, with Copy and Save.
#include "dialogs/ferun.h"
#include "korvane.h"
#include "planner/rnsplan.h"
#include "window/layout.h"

#include "resource.h"

#include "language.h"
#include "platform.h"

namespace {

const Anchor kAnchors[] = {
    {IDC_PREVIEW_TEXT, kAnchorSize},
    {IDC_PREVIEW_COPY, kAnchorBottom},
    {IDC_PREVIEW_SAVE, kAnchorBottom},
    {IDCANCEL, kAnchorCorner},
    {0, 0},
};

struct PreviewDialog {
    DialogLayout layout;
    std::string report;
};

void OnSave(HWND dialog, const PreviewDialog &data) {
    char path[MAX_PATH] = "RINSA-PREVIEW.txt";
    if (!AskSaveFileName(dialog, path, sizeof path, Tx("プレビューの保存", "Save the preview"),
                         Tx("テキスト ファイル(*.txt)\0*.txt\0", "Text Files(*.txt)\0*.txt\0"), "txt"))
        return;
    ShowTextFileWriteError(dialog, WriteTextFile(path, data.report.data(), data.report.size()));
}

BOOL OnInitDialog(HWND dialog, PreviewDialog *data) {
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(data));
    data->layout.Create(dialog, kAnchors);
    if (!SetDlgItemTextA(dialog, IDC_PREVIEW_TEXT, data->report.c_str()))
        ShowMessage(dialog, {"メモリが足りません。", "Out of memory."}, MB_ICONERROR);
    // The text would otherwise take the focus with everything selected.
    SetFocus(GetDlgItem(dialog, IDCANCEL));
    return FALSE;
}

void OnCommand(HWND dialog, PreviewDialog &data, int id) {
    switch (id) {
    case IDC_PREVIEW_COPY:
        CopyReportToClipboard(dialog, data.report);
        break;
    case IDC_PREVIEW_SAVE:
        OnSave(dialog, data);
        break;
    case IDCANCEL:
        EndDialog(dialog, IDCANCEL);
        break;
    }
}

INT_PTR CALLBACK PreviewProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto *data = reinterpret_cast<PreviewDialog *>(GetWindowLongPtrA(dialog, DWLP_USER));
    // WM_GETMINMAXINFO comes before WM_INITDIALOG too, when there is no layout yet.
    if (data && data->layout.OnMessage(message, lParam)) return TRUE;
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(dialog, reinterpret_cast<PreviewDialog *>(lParam));
    case WM_COMMAND:
        if (data) OnCommand(dialog, *data, LOWORD(wParam));
        return TRUE;
    case WM_DESTROY:
        if (data) data->layout.Destroy();
        return FALSE;
    }
    return FALSE;
}

} // namespace

void ShowRunPreview(HWND owner) {
    PreviewDialog data;
    HCURSOR previous = SetCursor(LoadCursor(nullptr, IDC_WAIT));
    data.report = FormatPreviewReport(PreviewRinsaRun());
    SetCursor(previous);
    DialogBoxParamA(ResourceInstance(), MAKEINTRESOURCEA(ResId(IDD_PREVIEW_JA, IDD_PREVIEW_EN)), owner, PreviewProc,
                    reinterpret_cast<LPARAM>(&data));
}
