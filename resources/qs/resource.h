// Resource ids of QS.EXE. Japanese and English templates carry the same control ids.
#pragma once
// clang-format off

#include "manifest.h"

#define IDI_QS 101

// The Wait dialog of $CountDown.
#define IDD_WAIT_EN 192
#define IDD_WAIT_JA 193
#define IDC_WAIT_PAUSE 3
#define IDC_WAIT_TEXT 1183

// The timed notice dialog.
#define IDD_NOTICE_JA 154
#define IDD_NOTICE_EN 155
#define IDC_NOTICE_TEXT 151

// The Other Applications dialog of $Rnsx; Run, Exit and Help are IDOK, IDCANCEL and IDHELP.
#define IDD_FERUNX_JA 152
#define IDD_FERUNX_EN 153
#define IDC_FERUNX_COMMAND 1049
#define IDC_FERUNX_BROWSE 1004

// Dialog templates in two languages, as {Japanese id, English id}.
#define QS_DIALOG_PAIRS {IDD_WAIT_JA, IDD_WAIT_EN}, {IDD_NOTICE_JA, IDD_NOTICE_EN}, {IDD_FERUNX_JA, IDD_FERUNX_EN}
