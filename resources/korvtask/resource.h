// Resource ids of KORVTASK.EXE. Japanese and English templates carry the same control ids.
#pragma once
// clang-format off

#include "manifest.h"

// The program icon: the window class, the dialogs and the tray icon.
#define IDI_KORVTASK 107

// The scheduler settings dialog. Buttons: IDOK "Save Settings and Close", IDCANCEL "Cancel",
// IDHELP "Help(JP)".
#define IDD_SETTINGS_JA 102
#define IDD_SETTINGS_EN 103
#define IDC_SET_RUN_USER 1001
#define IDC_SET_STATUS 1002
#define IDC_SET_HOUR 1003
#define IDC_SET_MINUTE 1004
#define IDC_SET_EVERYDAY 1005
#define IDC_SET_WEEKDAYS 1006
#define IDC_SET_MONTHDAYS 1007
#define IDC_SET_SUN 1008          // to 1014, Saturday
#define IDC_SET_DAY1 1015         // to 1045, day 31
#define IDC_SET_TRAYICON 1046
#define IDC_SET_DELAY_HOURS 1047
#define IDC_SET_SNOOZE 1048
#define IDC_SET_DELAY_MINUTES 1049
#define IDC_SET_DELAY_COLON 1050
#define IDC_SET_DELAY_LABEL 1051
#define IDC_SET_RUN_MACHINE 1052  // present but hidden in both languages
#define IDC_SET_NOTSTART 1053
#define IDC_SET_NOTSTART_LIST 1054
#define IDC_SET_INTERVAL 1055
#define IDC_SET_DAYDIFF 1056
#define IDC_SET_LASTTIME 1057
#define IDC_SET_SAVE_START 6
#define IDC_SET_STOP 7

// The countdown dialog.
#define IDD_SCHEDCOUNT_JA 104
#define IDD_SCHEDCOUNT_EN 105
#define IDC_CD_CANCEL 1000
#define IDC_CD_COUNT 1046
#define IDC_CD_TEXT 1053

// The tray menu: its first pop-up is what a right-click shows.
#define IDM_TRAY_JA 110
#define IDM_TRAY_EN 111
#define IDM_TRAY_SETTINGS 40001
#define IDM_TRAY_STOP 40002
#define IDM_TRAY_CANCEL 40003

// Dialog templates and menus in two languages, as {Japanese id, English id}.
#define KORVTASK_DIALOG_PAIRS {IDD_SETTINGS_JA, IDD_SETTINGS_EN}, {IDD_SCHEDCOUNT_JA, IDD_SCHEDCOUNT_EN}
#define KORVTASK_MENU_PAIRS {IDM_TRAY_JA, IDM_TRAY_EN, {}}
