// The Wait dialog of $CountDown.
#include "QS.h"

#include "language.h"
#include "resource.h"
#include "runlog.h"

#include <cctype>
#include <climits>
#include <cstdio>

// ---- The Wait dialog ----------------------------------------------------------------------------

CountDownArgs ParseCountDown(const std::string &argument) {
    CountDownArgs result{20, argument};
    if (!argument.empty() && isdigit(static_cast<unsigned char>(argument[0]))) {
        unsigned long long seconds = 0;
        size_t i = 0;
        for (; i < argument.size() && i < 10 && isdigit(static_cast<unsigned char>(argument[i])); ++i)
            seconds = seconds * 10 + unsigned(argument[i] - '0');
        // Ten digits can exceed the counter; a count of 68 years is as good as forever.
        result.seconds = seconds > LONG_MAX ? LONG_MAX : static_cast<LONG>(seconds);
        size_t comma = argument.find(',');
        result.verb = comma == std::string::npos ? std::string() : argument.substr(comma + 1);
    }
    if (result.verb.empty()) result.verb = "continue";
    return result;
}

namespace {

constexpr UINT_PTR kCountDownTimer = 15448;

struct WaitDialogData {
    LONG remaining;
    std::string verb;
};

void ShowRemaining(HWND dialog, const WaitDialogData &data) {
    char text[600];
    snprintf(text, sizeof text, Tx("%ld 秒後に %s します。", "Waiting for %ld seconds to %s."),
             static_cast<long>(data.remaining), data.verb.c_str());
    SetDlgItemTextA(dialog, IDC_WAIT_TEXT, text);
}

void OnTick(HWND dialog, WaitDialogData &data) {
    LONG taken = data.remaining;
    if (taken == 0) {
        KillTimer(dialog, kCountDownTimer);
        EndDialog(dialog, IDOK);
        return;
    }
    data.remaining = taken - 1;
    ShowRemaining(dialog, data);
}

void OnCommand(HWND dialog, WORD id) {
    switch (id) {
    case IDOK:
        KillTimer(dialog, kCountDownTimer);
        EndDialog(dialog, IDOK);
        break;
    case IDC_WAIT_PAUSE:
        // Pressed in, the count stays where it is; released, it goes on from there.
        if (IsDlgButtonChecked(dialog, IDC_WAIT_PAUSE) == BST_CHECKED)
            KillTimer(dialog, kCountDownTimer);
        else
            SetTimer(dialog, kCountDownTimer, 1000, nullptr);
        break;
    default: // Cancel is disabled: the run cannot be stopped here, and Esc must not end the wait
        break;
    }
}

INT_PTR CALLBACK WaitDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto *data = reinterpret_cast<WaitDialogData *>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        ShowRemaining(dialog, *reinterpret_cast<WaitDialogData *>(lParam));
        SetTimer(dialog, kCountDownTimer, 1000, nullptr);
        return TRUE;
    case WM_TIMER:
        if (wParam == kCountDownTimer && data) OnTick(dialog, *data);
        return TRUE;
    case WM_COMMAND:
        OnCommand(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

} // namespace

void CountDown(const std::string &argument) {
    CountDownArgs args = ParseCountDown(argument);
    WaitDialogData data{args.seconds, args.verb};
    RUNLOG(Tx("カウントダウン ダイアログを表示します。", "Show Countdown Dialog."));
    DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(ResId(IDD_WAIT_JA, IDD_WAIT_EN)), nullptr,
                    WaitDialogProc, reinterpret_cast<LPARAM>(&data));
}
