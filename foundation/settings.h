// The settings key and its catalogue: every value korvane, QS and the option pages share, with its
// name, kind and default. Callers use these names; no value name is spelled anywhere else.
#pragma once

#include "rega.h"

#include <windows.h>

#include <string>
#include <vector>

inline const HKEY kSettingsRoot = HKEY_LOCAL_MACHINE;
constexpr const char *kSettingsPath = "Software\\Halvornix\\Korvane\\CurrentVersion";

// An integer value. A once flag is 0 off, 1 on, 2 on for the next run only (deleted when read).
struct DwordSetting {
    const char *name;
    LONG defaultValue;
    bool once;
};

struct TextSetting {
    const char *name;
    const char *defaultText; // null: no default
};

namespace setting {

// Run selection and method
constexpr DwordSetting Selected{"Selected", 0, false};
constexpr DwordSetting Drives{"Drives", 0, false};
constexpr DwordSetting How{"How", 2, false}; // the normal mode shows a missing value as 0
constexpr DwordSetting notnetsafe{"notnetsafe", 0, false};
constexpr TextSetting LastCmdLine{"LastCmdLine", ""};

// Defragmentation
constexpr DwordSetting Double{"Double", 0, false};
constexpr DwordSetting Prefetch{"Prefetch", 0, true};
constexpr DwordSetting xp_mmcdefrag{"xp_mmcdefrag", 0, true};
constexpr DwordSetting xp_finalmmc{"xp_finalmmc", 0, true};
constexpr DwordSetting xp_resultout{"xp_resultout", 0, true};
constexpr DwordSetting xp_con_detail{"xp_con_detail", 0, true};
constexpr DwordSetting vista_w{"vista_w", 0, true};
constexpr DwordSetting df_check_cust{"df_check_cust", 0, true};
constexpr TextSetting df_edit_cust{"df_edit_cust", nullptr};
constexpr DwordSetting df_check_multi{"df_check_multi", 0, false};

// Check disk
constexpr DwordSetting CluScan{"CluScan", 0, true};
constexpr DwordSetting sd_check_cust{"sd_check_cust", 0, true};
constexpr TextSetting sd_edit_cust{"sd_edit_cust", nullptr};
constexpr DwordSetting sd_check_multi{"sd_check_multi", 0, false};
constexpr DwordSetting sd_check_before{"sd_check_before", 0, true};
constexpr DwordSetting Scanlog{"Scanlog", 0, false};
constexpr DwordSetting aux_dsd{"aux_dsd.exe", 0, false};

// Clean-up
constexpr DwordSetting DelTemp{"DelTemp", 0, true};
constexpr DwordSetting DelWinTemp{"DelWinTemp", 0, true};
constexpr DwordSetting DelTrash{"DelTrash", 0, true};
constexpr DwordSetting Del_ITF{"Del_ITF", 0, true};
constexpr DwordSetting Del_ICO{"Del_ICO", 0, true};
constexpr DwordSetting Del_IHI{"Del_IHI", 0, true};
constexpr DwordSetting Del_Recent{"Del_Recent", 0, true};
constexpr DwordSetting Del_Recent_Office{"Del_Recent_Office", 0, true};
constexpr DwordSetting Del_Thumbs_db{"Del_Thumbs_db", 0, true};
constexpr DwordSetting Del_All_Gid{"Del_All_Gid", 0, true};
constexpr DwordSetting Del_All_AlbumArt{"Del_All_AlbumArt", 0, true};
constexpr DwordSetting Del_All_Bak{"Del_All_Bak", 0, true};
constexpr DwordSetting Del_Inf_Pnf{"Del_Inf_Pnf", 0, true};
constexpr DwordSetting Del_All_Etl{"Del_All_Etl", 0, true};
constexpr DwordSetting cleanmgr{"cleanmgr", 0, true};
constexpr DwordSetting ScanregwWait{"ScanregwWait", 2, false};

// Start, end and system options
constexpr DwordSetting PowerOff{"PowerOff", 0, true};
constexpr DwordSetting NotAutoPowerOff{"NotAutoPowerOff", 0, false};
constexpr DwordSetting OffAutoLogon{"OffAutoLogon", 0, false};
constexpr DwordSetting NoPagingFile{"NoPagingFile", 0, true};
constexpr DwordSetting Bootini{"Bootini", 0, true};
constexpr DwordSetting CreateRestorePoint{"CreateRestorePoint", 0, false}; // absent: ask once
constexpr DwordSetting aux_vso{"aux_vso.exe", 0, false};
constexpr DwordSetting SystemReboot{"SystemReboot", 0, false};
constexpr DwordSetting scanreg{"scanreg", 0, false};
constexpr DwordSetting mouselr{"mouselr", 1, false}; // 2: on for one run, QS resets it to 0

// Before/after commands
constexpr DwordSetting ba_before{"ba_before", 0, true};
constexpr TextSetting ba_before_cl{"ba_before_cl", nullptr};
constexpr DwordSetting ba_reboot{"ba_reboot", 0, true};
constexpr TextSetting ba_reboot_cl{"ba_reboot_cl", nullptr};
constexpr DwordSetting ba_ready{"ba_ready", 0, true};
constexpr TextSetting ba_ready_cl{"ba_ready_cl", nullptr};
constexpr DwordSetting ba_after{"ba_after", 0, true};
constexpr TextSetting ba_after_cl{"ba_after_cl", nullptr};
constexpr DwordSetting ba_shutdown{"ba_shutdown", 0, true};
constexpr TextSetting ba_shutdown_cl{"ba_shutdown_cl", nullptr};
constexpr DwordSetting ba_beforewait{"ba_beforewait", 0, true};
constexpr DwordSetting ba_sleep{"ba_sleep", 0, true};
constexpr DwordSetting ba_after_countdown{"ba_after_countdown", 0, true};
constexpr DwordSetting ba_afterwait{"ba_afterwait", 1, false};
constexpr DwordSetting ba_aftersleep{"ba_aftersleep", 60, false};

// Services: name lists, each item followed by kNameListSeparator
constexpr TextSetting stopsrv{"stopsrv", nullptr};
constexpr TextSetting StoppedSrv{"StoppedSrv", nullptr};

// Run state
constexpr TextSetting oldShell{"oldShell", nullptr};
constexpr TextSetting tyFerun1{"tyFerun1", nullptr};
// The history of QS's Other Applications dialog, newest first; tyFerun1 is the last command run.
constexpr const char *ferunHistory[] = {"F0", "F1", "F2", "F3", "F4", "F5", "F6", "F7", "F8", "F9"};

// Program-wide values
constexpr DwordSetting fjlog{"fjlog", 0, false};
constexpr DwordSetting enable_double{"enable_double", 0, false};
constexpr DwordSetting mode{"mode", 0, false};
constexpr TextSetting inifile{"inifile", nullptr};
constexpr DwordSetting PutTopButtons{"PutTopButtons", 0, false};
constexpr DwordSetting VersionNumber{"VersionNumber", 0, false};
constexpr TextSetting ProgramFile{"ProgramFile", nullptr};
constexpr DwordSetting AutoUpdateCheck{"AutoUpdateCheck", 0, false};
constexpr DwordSetting BetaUpdateCheck{"BetaUpdateCheck", 0, false};
constexpr DwordSetting CloseWindow_wnve{"CloseWindow_wnve", 1, false};
constexpr TextSetting HTTPProxy{"HTTPProxy", ""};
constexpr TextSetting HTTPProxyPort{"HTTPProxyPort", ""};
constexpr DwordSetting HTTPTimeout{"HTTPTimeout", 6, false};
constexpr DwordSetting wait{"wait", 0, false};
constexpr DwordSetting alpha{"alpha", 255, false};
constexpr DwordSetting jama_window{"jama_window", 0, false};
constexpr TextSetting MSCPath{"MSCPath", "DFRG.MSC"};
constexpr DwordSetting DKLiteWait{"DKLiteWait", 10000, false};
constexpr DwordSetting NoDKWarn{"NoDKWarn", 0, false};
constexpr DwordSetting warn_logontest{"warn_logontest", 0, false};
constexpr DwordSetting VerCheck{"VerCheck", 0, false};
constexpr DwordSetting warn_summer{"warn_summer", 0, false};
// When korvane last started from an intact KORVANE.EXE ("2026-12-07 22:50:22", local time).
constexpr TextSetting SelfCheckPassed{"SelfCheckPassed", nullptr};

// The two command-line histories kept under HKEY_CURRENT_USER (same path), newest first.
constexpr const char *cbq_defrag_cust = "cbq_defrag_cust";
constexpr const char *cbq_chkdsk_cust = "cbq_chkdsk_cust";

} // namespace setting

constexpr char kNameListSeparator = '\x07';
// The items of a name list; a last item without its separator counts too, empty items do not.
std::vector<std::string> SplitNameList(const std::string &list);
std::string JoinNameList(const std::vector<std::string> &names);
constexpr int kLastOrderIndex = 32766;

// Names made of a stem and an index or a drive letter.
std::string OrderValueName(int index);                           // "order%d"
std::string DriveValueName(const char *stem, const char *drive); // stem + the drive's first character
constexpr const char *kDefragTimeStem = "DTIME";
constexpr const char *kPrefetchTimeStem = "PTIME";
constexpr const char *kCheckPlannedStem = "sdd";
constexpr const char *kDefragPlannedStem = "ddd";

// Opens the settings key: OPEN_CREATE | full access for writers, OPEN_READONLY for readers.
bool OpenSettings(REGA &key, int flags);
LONG ReadSetting(REGA &key, const DwordSetting &setting);
// The once-flag rule: a stored 2 is deleted at once and counts as on; any other non-zero is on.
bool ReadOnceFlag(REGA &key, const DwordSetting &setting);
// A text value, or the setting's default when missing (empty when there is none).
std::string ReadTextSetting(REGA &key, const TextSetting &setting);

// One value in one step, for screens that store a single DWORD; false / 0 when the key fails.
bool WriteSettingDword(const char *name, LONG value);
LONG ReadSettingDword(const char *name);

// A drive mask of 0 means every fixed drive; the given drive-type function is asked for "X:\".
DWORD ResolveDriveMask(DWORD mask, UINT (*driveType)(const char *root));
DWORD ResolveDriveMask(DWORD mask);
