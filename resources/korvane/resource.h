// Resource ids of KORVANE.EXE. Japanese and English templates carry the same control ids.
#pragma once
// clang-format off

#include "manifest.h"
#include "textbox.h"

#define IDI_KORVANE 101
// The accelerator table of the main window (F10: About).
#define IDR_KORVANE_ACCEL 184

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

// ---- The Options sheet -------------------------------------------------------------------------
// The right-click menu "CheckMenuJ" of the three-state boxes of once flags.
#define IDM_CHECKMENU_JA 188
#define IDM_CHECKMENU_EN 189
#define IDM_ONCE_CHECK 32798
#define IDM_ONCE_USEONCE 32799
#define IDM_ONCE_UNCHECK 32800

// ---- Options: the main options page ("Others"), the Rinsa method page, More settings
#define IDD_MAIN_PAGE_JA 136
#define IDD_MAIN_PAGE_EN 156
#define IDD_METHOD_PAGE_JA 137
#define IDD_METHOD_PAGE_EN 155
#define IDD_MORE_JA 169
#define IDD_MORE_EN 170
// The main options page. 1031, 1120 and 1176 are hidden and always off.
#define IDC_MAIN_FASTBOOT 1031
#define IDC_MAIN_POWEROFF 1047
#define IDC_MAIN_NOPAGINGFILE 1064
#define IDC_MAIN_BOOTINI 1072
#define IDC_MAIN_SAVESCREEN 1093
#define IDC_MAIN_NOPAGINGFILE_NOTE 1097
#define IDC_MAIN_MORE 1111
#define IDC_MAIN_SCANREG 1120
#define IDC_MAIN_CLEANMGR 1128
#define IDC_MAIN_AFTERRUN 1142
#define IDC_MAIN_OLDSCREEN 1153
#define IDC_MAIN_STOPSRV 1154
#define IDC_MAIN_RESTOREBIT0 1176
#define IDC_MAIN_RESTOREPOINT 1177
#define IDC_MAIN_SCHEDULER_STATUS 1202
#define IDC_MAIN_SCHEDULER 1203
#define IDC_MAIN_MOUSE 1205
// The Rinsa method page; 1035 (How 1) and its note are hidden.
#define IDC_METHOD_SAFEMODE 1003
#define IDC_METHOD_BEFORESHELL 1034
#define IDC_METHOD_OBSOLETE 1035
#define IDC_METHOD_SHELL 1036
#define IDC_METHOD_NONE 1073
#define IDC_METHOD_OBSOLETE_NOTE 1094
#define IDC_METHOD_SAFEMODE_NOTE 1095
#define IDC_METHOD_BEFORESHELL_NOTE 1096
#define IDC_METHOD_NOTNETSAFE 1152
// More settings; Help is IDHELP.
#define IDC_MORE_WAIT 1107
#define IDC_MORE_DKLITEWAIT 1110
#define IDC_MORE_BROWSE 1112
#define IDC_MORE_ALPHA 1114
#define IDC_MORE_NODKWARN 1117
#define IDC_MORE_MSCPATH 1118
#define IDC_MORE_DOUBLE 1119
#define IDC_MORE_AUTOCHK 1120
#define IDC_MORE_JAMA 1178
// The slider's styles, TBS_HORZ | TBS_BOTH | TBS_NOTICKS | TBS_TOOLTIPS (the resource compiler
// does not read commctrl.h).
#define MORE_ALPHA_STYLE 0x0118

// ---- Options: the stop-services dialog and its menu "SrvstpMenuJ"
#define IDD_STOPSRV_JA 175
#define IDD_STOPSRV_EN 176
#define IDM_SRVSTP_JA 196
#define IDM_SRVSTP_EN 199
#define IDI_STOPSRV 172
#define IDC_STOPSRV_LIST 1155
#define IDC_STOPSRV_EXPLANATION 1156
#define IDC_STOPSRV_NOTE 1157
#define IDM_SRVSTP_TOGGLE 1044
#define IDM_SRVSTP_ALL_OFF 32797

// ---- Options: the defragmenter, check-disk and clean-up pages
#define IDD_DEFRAG_PAGE_JA 178
#define IDD_DEFRAG_PAGE_EN 179
#define IDD_CHECK_PAGE_JA 180
#define IDD_CHECK_PAGE_EN 181
#define IDD_CLEAR_PAGE_JA 190
#define IDD_CLEAR_PAGE_EN 191
// Both command-line pages: the once flag of the custom command line, its editable combo box with
// the history, Browse, and "one command line for all drives".
#define IDC_DISK_CUSTOM 1162
#define IDC_DISK_COMMAND 1163
#define IDC_DISK_BROWSE 1112
#define IDC_DISK_MULTI 1164
// The defragmenter page.
#define IDC_DEFRAG_PASSES 1042
#define IDC_DEFRAG_GUI 1071
#define IDC_DEFRAG_LAST_CONSOLE 1177
#define IDC_DEFRAG_RESULT_OUT 1184
#define IDC_DEFRAG_CONSOLE_GROUP 1179
#define IDC_DEFRAG_PREFETCH 1070
#define IDC_DEFRAG_DETAIL 1189
#define IDC_DEFRAG_FULL 1190
// The check-disk page; 1043 and 1092 are hidden.
#define IDC_CHECK_SCANLOG 1043
#define IDC_CHECK_SURFACE 1063
#define IDC_CHECK_SCANDISK_NOTE 1099
#define IDC_CHECK_AUX 1092
#define IDC_CHECK_BEFORE 1102
// The clean-up page.
#define IDC_CLEAR_TRASH 1038
#define IDC_CLEAR_TEMP 1040
#define IDC_CLEAR_WINTEMP 1041
#define IDC_CLEAR_IE_CACHE 1059
#define IDC_CLEAR_IE_COOKIES 1061
#define IDC_CLEAR_IE_HISTORY 1062
#define IDC_CLEAR_RECENT 1060
#define IDC_CLEAR_OFFICE_RECENT 1063
#define IDC_CLEAR_THUMBS 1195
#define IDC_CLEAR_GID 1196
#define IDC_CLEAR_ALBUMART 1199
#define IDC_CLEAR_BAK 1197
#define IDC_CLEAR_PNF 1039
#define IDC_CLEAR_ETL 1042

// ---- Options: the before/after page and its command-line editor
#define IDD_BEFOREAFTER_JA 186
#define IDD_BEFOREAFTER_EN 187
#define IDD_BA_EDITOR_JA 142
#define IDD_BA_EDITOR_EN 166
// The hooks' three-state boxes and their Setting buttons (1106 and 1174 are kept hidden).
#define IDC_BA_BEFORE 1102
#define IDC_BA_REBOOT 1151
#define IDC_BA_READY 1157
#define IDC_BA_AFTER 1103
#define IDC_BA_UNUSED 1106
#define IDC_BA_SHUTDOWN 1152
#define IDC_BA_BEFORE_SET 1170
#define IDC_BA_REBOOT_SET 1171
#define IDC_BA_READY_SET 1172
#define IDC_BA_AFTER_SET 1173
#define IDC_BA_UNUSED_SET 1174
#define IDC_BA_SHUTDOWN_SET 1175
// The waits (minutes and seconds) and the countdown.
#define IDC_BA_BEFOREWAIT 1193
#define IDC_BA_SLEEP_MINUTES 1184
#define IDC_BA_SLEEP_SECONDS 1182
#define IDC_BA_COUNTDOWN 1194
#define IDC_BA_AFTERWAIT 1195
#define IDC_BA_AFTERSLEEP_MINUTES 1186
#define IDC_BA_AFTERSLEEP_SECONDS 1188
// The editor: the multi-line field, the one-line field, the note line and the field's buttons
// (with the normal panel's ids); Help is IDHELP.
#define IDC_BA_EDIT_LINES 1171
#define IDC_BA_EDIT_LINE 1172
#define IDC_BA_EDIT_NOTE 1002
#define IDC_BA_EDIT_BROWSE 1037
#define IDC_BA_EDIT_OPEN 1049
#define IDC_BA_EDIT_SAVE 1051

// "Enter command lines" of the wizard; the field and its buttons carry the normal panel's ids.
#define IDD_FERUN_JA 141
#define IDD_FERUN_EN 161
#define IDC_FERUN_COMMANDS 1033
#define IDC_FERUN_BROWSE 1037
#define IDC_FERUN_OPEN 1049
#define IDC_FERUN_SAVE 1051

// The environment report; Help and Close are IDHELP and IDCANCEL.
#define IDD_SYSQ_JA 149
#define IDD_SYSQ_EN 167
#define IDC_SYSQ_TEXT 1210
#define IDC_SYSQ_COPY 1211
#define IDC_SYSQ_SAVE 1212

// The update check ("Checking Update"); OK, Cancel and Help are IDOK, IDCANCEL and IDHELP.
#define IDD_UPDATE_JA 140
#define IDD_UPDATE_EN 153
#define IDC_UPDATE_TEXT 1002
#define IDC_UPDATE_PROXY 1003
#define IDC_UPDATE_PORT 1005
#define IDC_UPDATE_TIMEOUT 1006
#define IDC_UPDATE_CHECK 1045
#define IDC_UPDATE_AUTO 1046
#define IDC_UPDATE_BETA 1060
#define IDC_UPDATE_CLOSE 1100

// ---- The run log viewer "History" and the About dialog
#define IDD_HISTORY_JA 139
#define IDD_HISTORY_EN 160
#define IDC_HISTORY_NOTE 1002
#define IDC_HISTORY_TEXT 1003
#define IDC_HISTORY_REMOVE 1052
#define IDC_HISTORY_DEBUG 1148
#define IDD_ABOUT_JA 131
#define IDD_ABOUT_EN 165
#define IDC_ABOUT_NOTICE 1008
#define IDC_ABOUT_VERSION 1017
#define IDC_ABOUT_ENVIRONMENT 1074
#define IDC_ABOUT_LEGAL 1075
#define IDC_ABOUT_HISTORY 1082
#define IDC_ABOUT_LINKS 1210
// Japanese only (hidden in the English template): the support and feedback help pages.
#define IDC_ABOUT_SUPPORT 1215
#define IDC_ABOUT_FEEDBACK 1216

// The main window: the mode buttons (Exit, Help and About also on the normal panel and in its
// menu) and the wizard's five answer buttons.
#define IDC_MAIN_NORMAL 102
#define IDC_MAIN_WIZARD 103
#define IDC_MAIN_EXIT 104
#define IDC_MAIN_HELP 105
#define IDC_MAIN_ABOUT 106
#define IDC_MAIN_ANSWER1 107
#define IDC_MAIN_ANSWER5 111

// The normal-mode panel, a child of the main window; Start is IDOK. Drive boxes: A-M 1004-1016,
// N-Z 1018-1030. The banner and the SSD note are shown in Japanese only.
#define IDD_NORMAL_JA 134
#define IDD_NORMAL_EN 162
#define IDC_NORMAL_OTHER 1003
#define IDC_NORMAL_DRIVE_A 1004
#define IDC_NORMAL_DRIVE_N 1018
#define IDC_NORMAL_DRIVE_NOTE 1002
#define IDC_NORMAL_DRIVE_HINT 1017
#define IDC_NORMAL_CMD_LABEL 1032
#define IDC_NORMAL_CMD_EDIT 1033
#define IDC_NORMAL_DEFRAG 1034
#define IDC_NORMAL_CHECK 1035
#define IDC_NORMAL_BOTH 1036
#define IDC_NORMAL_BROWSE 1037
#define IDC_NORMAL_CMD_HINT 1048
#define IDC_NORMAL_OPEN 1049
#define IDC_NORMAL_SAVE 1051
#define IDC_NORMAL_DRIVE_GROUP 1076
#define IDC_NORMAL_OTHER_GROUP 1077
#define IDC_NORMAL_METHOD_PAGE 1078
#define IDC_NORMAL_TROUBLE 1079
#define IDC_NORMAL_UPDATE 1080
#define IDC_NORMAL_SHELLEXT 1081
#define IDC_NORMAL_HISTORY 1082
#define IDC_NORMAL_MAIN_PAGE 1083
#define IDC_NORMAL_DEFRAG_PAGE 1084
#define IDC_NORMAL_CHECK_PAGE 1085
#define IDC_NORMAL_ALOGON_PAGE 1090
#define IDC_NORMAL_BEFOREAFTER_PAGE 1101
#define IDC_NORMAL_STATUS 1167
#define IDC_NORMAL_HELP 1168
#define IDC_NORMAL_OPTIONS 1169
#define IDC_NORMAL_BANNER 1207
#define IDC_NORMAL_SSD_NOTE 1209

// The normal mode's menu; Options, Exit, History, Trouble, Wizard, Shell Extensions, Update check
// and About carry the ids of their buttons.
#define IDM_NORMAL_JA 182
#define IDM_NORMAL_EN 183
#define IDM_HELP 9
#define IDM_EXPORT 1165
#define IDM_IMPORT 1166
#define IDM_HELP_TOPICS 32772
#define IDM_WEB_SITE 32773
#define IDM_SYSQ 32774
#define IDM_MSCONFIG 32776
#define IDM_EVENTVWR 32777
#define IDM_BACKUP 32778
#define IDM_BACKUP_REGISTRY 32779
#define IDM_RESTORE_REGISTRY 32780
#define IDM_SYSTEM_RESTORE 32781
#define IDM_REGEDIT 32782
#define IDM_START 32788
#define IDM_PUT_BUTTONS 32791
#define IDM_RESTORE_POINT 32793
#define IDM_FEEDBACK 32794
#define IDM_SUPPORT 32795

// ---- Shell Extensions (the Rinsa item of Explorer's context menu) and the Rinsa shortcut; Help is
// IDHELP, the shortcut dialog's Create and Close are IDOK and IDCANCEL.
#define IDD_SHLEXT_JA 143
#define IDD_SHLEXT_EN 157
#define IDD_SHORTCUT_JA 146
#define IDD_SHORTCUT_EN 159
#define IDC_SHLEXT_EXEFILES 1057
#define IDC_SHLEXT_ALLFILES 1061
#define IDC_SHLEXT_SHORTCUT 1065
#define IDC_SHLEXT_NAME 1180
#define IDC_SHLEXT_EXPLANATION 1213
#define IDC_SHORTCUT_NAME 1003
#define IDC_SHORTCUT_COMMAND 1005
#define IDC_SHORTCUT_BROWSE 1037
#define IDC_SHORTCUT_LAST 1122
#define IDC_SHORTCUT_OTHER 1123
#define IDC_SHORTCUT_DEFRAG 1124
#define IDC_SHORTCUT_CHECK 1125
#define IDC_SHORTCUT_BOTH 1126
#define IDC_SHORTCUT_KORVANE 1127
#define SHLEXT_DIALOG_PAIRS {IDD_SHLEXT_JA, IDD_SHLEXT_EN}, {IDD_SHORTCUT_JA, IDD_SHORTCUT_EN}

// ---- Trouble solutions; Cancel and Help are IDCANCEL and IDHELP. Each button but 1002 has its note.
#define IDD_TROUBLE_JA 138
#define IDD_TROUBLE_EN 154
#define IDC_TROUBLE_ICONCACHE 1000
#define IDC_TROUBLE_SERVICES 1001
#define IDC_TROUBLE_UNUSED 1002
#define IDC_TROUBLE_AUTOLOGON 1003
#define IDC_TROUBLE_PREFETCH 1004
#define IDC_TROUBLE_AUTOCHK 1005
#define IDC_TROUBLE_FONTCACHE 1024
#define IDC_TROUBLE_SAFEMODE 1026
#define IDC_TROUBLE_ICONCACHE_NOTE 1010
#define IDC_TROUBLE_SERVICES_NOTE 1011
#define IDC_TROUBLE_AUTOLOGON_NOTE 1013
#define IDC_TROUBLE_PREFETCH_NOTE 1014
#define IDC_TROUBLE_AUTOCHK_NOTE 1015
#define IDC_TROUBLE_FONTCACHE_NOTE 1025
#define IDC_TROUBLE_SAFEMODE_NOTE 1027
#define TROUBLE_DIALOG_PAIRS {IDD_TROUBLE_JA, IDD_TROUBLE_EN}

// ---- The wizard: its "Select drives" dialog (drive boxes numbered as the normal panel's, A-M
// 1004-1016, N-Z 1018-1030; OK and Cancel are IDOK and IDCANCEL) and the picture of its first page.
#define IDD_WIZDRIVE_JA 135
#define IDD_WIZDRIVE_EN 158
#define IDC_WIZDRIVE_A 1004
#define IDC_WIZDRIVE_N 1018
#define IDC_WIZDRIVE_SSD_NOTE 1209
#define IDB_WIZARD_HINT 148

// Dialog templates in two languages, as {Japanese id, English id}.
#define KORVANE_DIALOG_PAIRS {IDD_COUNTDOWN_JA, IDD_COUNTDOWN_EN}, {IDD_SWEEP_JA, IDD_SWEEP_EN}, {IDD_NOTIFY_JA, IDD_NOTIFY_EN}, {IDD_ALOGON_JA, IDD_ALOGON_EN}, {IDD_FERUN_JA, IDD_FERUN_EN}, {IDD_SYSQ_JA, IDD_SYSQ_EN}, {IDD_NORMAL_JA, IDD_NORMAL_EN}, {IDD_MAIN_PAGE_JA, IDD_MAIN_PAGE_EN}, {IDD_METHOD_PAGE_JA, IDD_METHOD_PAGE_EN}, {IDD_MORE_JA, IDD_MORE_EN}, {IDD_STOPSRV_JA, IDD_STOPSRV_EN}, {IDD_DEFRAG_PAGE_JA, IDD_DEFRAG_PAGE_EN}, {IDD_CHECK_PAGE_JA, IDD_CHECK_PAGE_EN}, {IDD_CLEAR_PAGE_JA, IDD_CLEAR_PAGE_EN}, {IDD_BEFOREAFTER_JA, IDD_BEFOREAFTER_EN}, {IDD_BA_EDITOR_JA, IDD_BA_EDITOR_EN}, SHLEXT_DIALOG_PAIRS, TROUBLE_DIALOG_PAIRS, {IDD_UPDATE_JA, IDD_UPDATE_EN}, {IDD_HISTORY_JA, IDD_HISTORY_EN}, {IDD_ABOUT_JA, IDD_ABOUT_EN}, {IDD_WIZDRIVE_JA, IDD_WIZDRIVE_EN}, PREVIEW_DIALOG_PAIRS

// Menus in two languages, as {Japanese id, English id, {commands only the Japanese menu has}}.
#define KORVANE_MENU_PAIRS {IDM_NORMAL_JA, IDM_NORMAL_EN, {IDM_FEEDBACK, IDM_SUPPORT}}, {IDM_CHECKMENU_JA, IDM_CHECKMENU_EN, {}}, {IDM_SRVSTP_JA, IDM_SRVSTP_EN, {}}

// ---- The run preview: the report of what a Rinsa run would do, with Copy and Save (Tools menu, /P).
#define IDD_PREVIEW_JA 240
#define IDD_PREVIEW_EN 241
#define IDC_PREVIEW_TEXT 1240
#define IDC_PREVIEW_COPY 1241
#define IDC_PREVIEW_SAVE 1242
#define IDM_PREVIEW 32801
#define PREVIEW_DIALOG_PAIRS {IDD_PREVIEW_JA, IDD_PREVIEW_EN}
