// preview: the dialog of the run preview. The report is planned with nothing reaching the system
// (planner/rnsplan.h) and shown like the environment report, with Copy and Save.
#include "dialogs/report.h"
#include "korvane.h"
#include "planner/rnsplan.h"

#include "resource.h"

namespace {

const Anchor kAnchors[] = {
    {IDC_PREVIEW_TEXT, kAnchorSize},
    {IDC_PREVIEW_COPY, kAnchorBottom},
    {IDC_PREVIEW_SAVE, kAnchorBottom},
    {IDCANCEL, kAnchorCorner},
    {0, 0},
};

} // namespace

void ShowRunPreview(HWND owner) {
    ReportDialog dialog{IDD_PREVIEW_JA,   IDD_PREVIEW_EN, IDC_PREVIEW_TEXT,         IDC_PREVIEW_COPY,
                        IDC_PREVIEW_SAVE, kAnchors,       "RINSA-PREVIEW.txt", {"プレビューの保存", "Save the preview"}};
    ShowReportDialog(owner, dialog, [] { return FormatPreviewReport(PreviewRinsaRun()); });
}
