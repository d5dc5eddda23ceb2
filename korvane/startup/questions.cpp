// questions: what the start asks the user once or in season: the restore-point choice, the summer
// notice and the warning on an untested Windows.
#include "korvane.h"
#include "startup/startup.h"
#include "dialogs/notify.h"
#include "planner/rnsrun.h"

#include "language.h"
#include "platform.h"
#include "runlog.h"
#include "settings.h"

// ---- Questions at start ---------------------------------------------------------------------------

void AskRestorePointChoice() {
    REGA key;
    if (!OpenSettingsForWriting(key, kLogModule)) return;
    if (key.ValueExistA(setting::CreateRestorePoint.name) >= 0) {
        key.CloseKey();
        return;
    }
    int answer = ShowMessage(nullptr,
                             {"Rinsa の実行を開始するときに、復元ポイントを作成しますか?",
                              "When rinsa!! running starts, are you sure you want to create a restore point?"},
                             MB_YESNO | MB_ICONQUESTION);
    key.WriteIntegerA(setting::CreateRestorePoint.name, answer == IDYES ? 1 : 0);
    key.CloseKey();
    if (answer == IDYES) return;
    if (ShowMessage(nullptr,
                    {"今すぐ復元ポイントを作成しますか?", "Are you sure you want to create a restore point now?"},
                    MB_YESNO | MB_ICONQUESTION) == IDYES)
        MakeRestorePointReported(nullptr);
}
bool IsSummerMonth(WORD month) {
    return month >= 6 && month <= 9;
}

bool SummerNoticeAccepted() {
    NotifyRequest request;
    request.title = ProductTitle();
    request.heading = "夏場のデフラグについてのご注意";
    request.body = "室温の高い時期にデフラグを行うと、ハードディスクが長時間高負荷で動き続けるため、温度が上がり"
                   "すぎて故障の原因になることがあります。\r\n\r\n"
                   "部屋を冷やし、パソコンの通気口をふさがないようにしてから実行してください。"
                   "ノートパソコンでは特にご注意ください。";
    request.yesLabel = "危険を承知で続行(&C)";
    request.noLabel = "終了(&Q)";
    request.valueName = setting::warn_summer.name;
    return AskNotify(request) == kNotifyYes;
}

bool UntestedWindowsAccepted() {
    NotifyRequest request;
    request.heading = Tx("このプログラムは、この環境では動作しない可能性があります。続行しますか?",
                         "This program may not run in this environment. Do you continue?");
    if (IsJapanese())
        request.body = "お使いの Windows は、このプログラムが動作を確認したバージョンより新しいものです。"
                       "Rinsa の実行でシステムの設定を変更するため、予期しない問題が起きるおそれがあります。";
    request.valueName = setting::VerCheck.name;
    return AskNotify(request) == kNotifyYes;
}
