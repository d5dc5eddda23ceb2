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
