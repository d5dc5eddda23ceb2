// countdown: the 20 seconds between a due set time and the start of korvane /A, in which the user
// may cancel; it gives way when korvane or a program of the exclusion list runs.
#include "korvtask.h"

#include "language.h"
#include "platform.h"
#include "rega.h"
#include "resource.h"

#include <memory>

namespace {

constexpr UINT_PTR kCountdownTimer = 6447;

struct CountdownDialog {
    int remaining = kCountdownSeconds;
    bool aborted = false;
    bool found = false; // a program of the exclusion list runs
    // Held for the whole countdown, so that korvane started by hand meanwhile says it is running.
    std::unique_ptr<NamedMutex> korvane;
};

const ToolTipText kJapaneseTips[] = {
    {IDC_CD_CANCEL, "自動実行を取り消して、このダイアログを閉じます。"},
    {0, nullptr},
};

// korvane and QS test whether the mutex exists: a handle that is only released, not closed, would
// make the korvane we start say it is already running.
void CloseKorvaneMutex(CountdownDialog &data) {
    data.korvane.reset();
}

void Abort(HWND dialog, CountdownDialog &data, const char *japanese, const char *english) {
    data.aborted = true;
    CloseKorvaneMutex(data);
    SetDlgItemTextA(dialog, IDC_CD_COUNT, Tx("タイムアウト", "Timeout."));
    SetDlgItemTextA(dialog, IDC_CD_TEXT, Tx(japanese, english));
    SetDlgItemTextA(dialog, IDC_CD_CANCEL, Tx("閉じる(&C)", "&Close"));
}

// The exclusion list, when NotStart asks for it; the default list stands in for a missing one.
std::unique_ptr<char[]> ExclusionListToCheck() {
    REGA key;
    if (!key.OpenKey(HKEY_LOCAL_MACHINE, kSchedulerKey, OPEN_READONLY)) return nullptr;
    std::unique_ptr<char[]> list;
    if (key.ReadIntegerA(schedval::kNotStart, 0) != 0)
        list = key.RegReadStringA(schedval::kNotStartList, kDefaultExclusionList);
    key.CloseKey();
    return list;
}

BOOL OnInitDialog(HWND dialog, CountdownDialog &data) {
    SetWindowTextA(dialog, ProductTitle());
    SendMessageA(dialog, WM_SETICON, ICON_SMALL,
                 LPARAM(LoadImageA(g_instance, MAKEINTRESOURCEA(IDI_KORVTASK), IMAGE_ICON, 64, 64, LR_SHARED)));
    if (IsJapanese()) AddToolTips(dialog, kJapaneseTips);
    data.korvane = std::make_unique<NamedMutex>(kKorvaneMutex);
    if (data.korvane->Existed())
        Abort(dialog, data, "設定時刻になりましたが、タイドウェルが実行中のため自動実行を中止しました。",
              "It became set time. However, automatic execution is discontinued because Tidewell is running.");
    std::unique_ptr<char[]> list = ExclusionListToCheck();
    if (list && *list.get() && ExcludedProgramRunning(list.get())) {
        data.found = true;
        Abort(dialog, data, "設定時刻になりましたが、指定したプログラムが実行中のため自動実行を中止しました。",
              "It became set time. However, automatic execution is discontinued because specified program is "
              "running.");
    }
    SetTimer(dialog, kCountdownTimer, 1000, nullptr);
    SetForegroundWindow(dialog);
    return TRUE;
}

void Finish(HWND dialog, CountdownDialog &data, bool started) {
    KillTimer(dialog, kCountdownTimer);
    CloseKorvaneMutex(data);
    EndDialog(dialog, started ? 1 : 0);
}

void OnTimer(HWND dialog, CountdownDialog &data) {
    switch (CountdownTick(&data.remaining, data.aborted)) {
    case TickAction::ShowSeconds:
        SetDlgItemTextA(dialog, IDC_CD_COUNT, FormatString(Tx("%2d 秒", "%2d seconds"), data.remaining).c_str());
        break;
    case TickAction::ShowStarting:
        SetDlgItemTextA(dialog, IDC_CD_COUNT, Tx("開始します...", "Starting..."));
        break;
    case TickAction::Launch:
        // No more ticks while an error box may be up, and the name must be free before korvane looks.
        KillTimer(dialog, kCountdownTimer);
        CloseKorvaneMutex(data);
        Finish(dialog, data, StartProgram(dialog, "KORVANE.EXE", "/A"));
        break;
    case TickAction::CloseAborted:
        Finish(dialog, data, false);
        break;
    case TickAction::None:
        break;
    }
}

INT_PTR CALLBACK CountdownProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto *data = reinterpret_cast<CountdownDialog *>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        return OnInitDialog(dialog, *reinterpret_cast<CountdownDialog *>(lParam));
    case WM_TIMER:
        if (data && wParam == kCountdownTimer) OnTimer(dialog, *data);
        return TRUE;
    case WM_COMMAND:
        // "Cancel" or "&Close", Escape and the Close box.
        if (data && (LOWORD(wParam) == IDC_CD_CANCEL || LOWORD(wParam) == IDCANCEL)) Finish(dialog, *data, false);
        return TRUE;
    case WM_DESTROY:
        if (data) CloseKorvaneMutex(*data);
        return FALSE;
    }
    return FALSE;
}

} // namespace

TickAction CountdownTick(int *remaining, bool aborted) {
    if (*remaining <= 0) return aborted ? TickAction::CloseAborted : TickAction::Launch;
    --*remaining;
    if (aborted) return TickAction::None;
    return *remaining > 0 ? TickAction::ShowSeconds : TickAction::ShowStarting;
}

bool RunCountdown(HWND owner) {
    CountdownDialog data;
    INT_PTR result = DialogBoxParamA(g_instance, MAKEINTRESOURCEA(ResId(IDD_SCHEDCOUNT_JA, IDD_SCHEDCOUNT_EN)), owner,
                                     CountdownProc, reinterpret_cast<LPARAM>(&data));
    return result == 1;
}
