// Control ids of the demonstration dialog the automation tests drive.
#pragma once

#define IDD_DEMO 100
#define IDC_NAME 101
#define IDC_AGREE 102
#define IDC_COLOUR 103
#define IDC_APPLY 104
#define IDC_ASK 105
#define IDC_LOCKED 106
#define IDC_RESULT 107
#define IDC_EVENT 108
#define IDC_LATER 109
#define IDC_LIST 110
#define IDC_CONTEXT 111
// The right-click menu of the list and of Agree.
#define IDM_DEMO 120
#define IDM_DEMO_COPY 121
#define IDM_DEMO_PASTE 122
#define IDM_DEMO_ALL 123
// A message the tests post; the dialog shows its parameters.
#define WM_DEMO_POSTED (WM_APP + 1)
