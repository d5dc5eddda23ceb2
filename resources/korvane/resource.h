// Resource ids of KORVANE.EXE. Japanese and English templates carry the same control ids.
#pragma once
// clang-format off

#include "manifest.h"
#include "textbox.h"

#define IDI_KORVANE 101

// The countdown before a Rinsa run changes the system; Continue now and Cancel are IDOK and IDCANCEL.
#define IDD_COUNTDOWN_EN 192
#define IDD_COUNTDOWN_JA 193
#define IDC_COUNTDOWN_TEXT 1183
#define IDC_COUNTDOWN_PAUSE 1184

// The search for files to delete; Esc and the close box skip as the Skip button does.
#define IDD_SWEEP_JA 197
#define IDD_SWEEP_EN 198
#define IDC_SWEEP_FOLDER 1185
#define IDC_SWEEP_LIST 1186
#define IDC_SWEEP_SKIP 1187

// The Notify question; Yes, No and Help are IDOK, IDCANCEL and IDHELP.
#define IDD_NOTIFY_JA 194
#define IDD_NOTIFY_EN 195
#define IDC_NOTIFY_DONTSHOW 1185
#define IDC_NOTIFY_TEXT 1186
#define IDC_NOTIFY_HEADING 1187

// The Auto Logon page of the options, also shown alone before a run.
#define IDD_ALOGON_JA 147
#define IDD_ALOGON_EN 163
#define IDC_ALOGON_USER 1003
#define IDC_ALOGON_PASSWORD 1005
#define IDC_ALOGON_DOMAIN 1006
#define IDC_ALOGON_CONFIRM 1007
#define IDC_ALOGON_MODE 1142

// Dialog templates in two languages, as {Japanese id, English id}.
#define KORVANE_DIALOG_PAIRS {IDD_COUNTDOWN_JA, IDD_COUNTDOWN_EN}, {IDD_SWEEP_JA, IDD_SWEEP_EN}, {IDD_NOTIFY_JA, IDD_NOTIFY_EN}, {IDD_ALOGON_JA, IDD_ALOGON_EN}
