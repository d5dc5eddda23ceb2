// power: /H0 and /H1, the suspend or hibernation that a run asked for at the next logon.
#include "korvane.h"
#include "startup/startup.h"
#include "planner/rnsrun.h"

#include "language.h"
#include "platform.h"
#include "runlog.h"
#include "settings.h"

// ---- Power action after a run ---------------------------------------------------------------------

SetPowerStateFunction g_setSystemPowerState = SetSystemPowerState;

const std::array<PowerTry, 4> &PowerTries(bool suspendFirst) {
    static const std::array<PowerTry, 4> kSuspendFirst = {{
        {TRUE, FALSE, {"サスペンドモードに移行します...", "Entering Suspend mode..."}},
        {TRUE,
         TRUE,
         {"失敗しました。強制的にサスペンドモードに移行します...", "failed. Force Entering Suspend mode..."}},
        {FALSE, FALSE, {"失敗しました。休止状態に移行します...", "failed. Entering Hibernation mode..."}},
        {FALSE, TRUE, {"失敗しました。強制的に休止状態に移行します...", "failed. Force Entering Hibernation mode..."}},
    }};
    static const std::array<PowerTry, 4> kHibernateFirst = {{
        {FALSE, FALSE, {"休止状態に移行します...", "Entering Hibernation mode..."}},
        {FALSE, TRUE, {"失敗しました。強制的に休止状態に移行します...", "failed. Force Entering Hibernation mode..."}},
        {TRUE, FALSE, {"失敗しました。サスペンドモードに移行します...", "failed. Entering Suspend mode..."}},
        {TRUE,
         TRUE,
         {"失敗しました。強制的にサスペンドモードに移行します...", "failed. Force Entering Suspend mode..."}},
    }};
    return suspendFirst ? kSuspendFirst : kHibernateFirst;
}

namespace {

// The automatic logon that the run needed ends with it when the user asked so.
void EndAutomaticLogon() {
    REGA settings;
    LONG off = 0;
    if (OpenSettings(settings, OPEN_READONLY)) {
        off = ReadSetting(settings, setting::OffAutoLogon);
        settings.CloseKey();
    }
    if (off == 0) return;
    REGA winlogon;
    if (!winlogon.OpenKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
                          OPEN_CREATE)) {
        ReportRegistryError("Winlogon", kLogModule);
        return;
    }
    winlogon.DeleteValue("AutoAdminLogon");
    if (off == 2)
        for (const char *name : {"DefaultUserName", "DefaultPassword", "DefaultDomainName"})
            winlogon.DeleteValue(name);
    winlogon.CloseKey();
}

} // namespace

void PowerActionAfterRun(bool suspendFirst) {
    EndAutomaticLogon();
    RegFlushKey(HKEY_LOCAL_MACHINE);
    EnableShutdownPrivilege();
    for (const PowerTry &attempt : PowerTries(suspendFirst)) {
        RUNLOG(attempt.logLine.Get());
        if (g_setSystemPowerState(attempt.suspend, attempt.force)) return;
    }
    RUNLOG(Tx("失敗しました。", "failed."));
    if (suspendFirst)
        ShowMessage(nullptr, {"サスペンドモードに移行できませんでした。", "Entering Suspend mode was failed."},
                    MB_ICONERROR);
    else
        ShowMessage(nullptr, {"休止状態に移行できませんでした。", "Entering Hibernation mode was failed."},
                    MB_ICONERROR);
}
