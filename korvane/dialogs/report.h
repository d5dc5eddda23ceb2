// report: the resizable dialog that shows a text report (the environment report, the run preview)
// with Copy and Save, and Help when the report has a topic.
#pragma once

#include "window/layout.h"

#include "language.h"

#include <windows.h>

#include <functional>
#include <string>

struct ReportDialog {
    int dialogJa, dialogEn;
    int textId, copyId, saveId;
    const Anchor *anchors;
    const char *fileName; // what Save offers
    TextPair saveTitle;
    const char *helpTopic = nullptr;                                // none: no Help button
    const ToolTipText *toolTipsJa = nullptr, *toolTipsEn = nullptr; // none: no tips
};

// Shows the dialog; the report is built while it opens, under the wait cursor.
void ShowReportDialog(HWND owner, const ReportDialog &dialog, const std::function<std::string()> &build);
