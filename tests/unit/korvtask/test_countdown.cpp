// The countdown dialog driven in-process: its ticks are sent by hand, so a test does not wait the 21
// seconds; korvane is "started" through the ShellExecute seam, which also looks at the korvane
// mutex at the moment of the start.
#include "scheduler_fixture.h"

#include "korvane/dialog_driver.h"
#include "resource.h"
#include "scoped_messages.h"

#include <algorithm>

namespace {

constexpr UINT_PTR kCountdownTimer = 6447;
const char kTitle[] = "Tidewell scheduler";
const char kWaitText[] = "Please push [Cancel] below when you want to discontinue automatic execution. Execution is "
                         "begun again at the next set time. ";

class CountdownTest : public SchedulerTest {
protected:
    // Sends ticks until the dialog closes (at most 25); the count text after each.
    static std::vector<std::string> TickToTheEnd(HWND dialog) {
        std::vector<std::string> shown;
        for (int i = 0; i < 25 && IsWindowVisible(dialog); ++i) {
            SendMessageA(dialog, WM_TIMER, kCountdownTimer, 0);
            // EndDialog hides the dialog at once; it goes when its modal loop ends.
            if (IsWindowVisible(dialog)) shown.push_back(DialogDriver::ItemText(dialog, IDC_CD_COUNT));
        }
        return shown;
    }
    ScopedStarts starts_;
};

TEST(CountdownTicks, CountTwentySecondsThenStartOrClose) {
    int remaining = kCountdownSeconds;
    std::vector<TickAction> actions;
    for (int i = 0; i < 21; ++i)
        actions.push_back(CountdownTick(&remaining, false));
    EXPECT_EQ(std::vector<TickAction>(19, TickAction::ShowSeconds),
              std::vector<TickAction>(actions.begin(), actions.begin() + 19));
    EXPECT_EQ(TickAction::ShowStarting, actions[19]);
    EXPECT_EQ(TickAction::Launch, actions[20]) << "the 21st tick starts korvane";

    remaining = kCountdownSeconds;
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(TickAction::None, CountdownTick(&remaining, true)) << "an aborted count shows nothing new";
    EXPECT_EQ(TickAction::CloseAborted, CountdownTick(&remaining, true));
}

TEST_F(CountdownTest, StartsKorvaneOnTheTwentyFirstTickWithItsMutexClosed) {
    std::vector<std::string> first, shown;
    bool heldWhileCounting = false;
    DialogDriver driver(kTitle, [&](HWND dialog) {
        first = {DialogDriver::ItemText(dialog, IDC_CD_COUNT), DialogDriver::ItemText(dialog, IDC_CD_TEXT),
                 DialogDriver::ItemText(dialog, IDC_CD_CANCEL)};
        heldWhileCounting = KorvaneMutexExists();
        shown = TickToTheEnd(dialog);
    });
    EXPECT_TRUE(RunCountdown(nullptr));
    ASSERT_TRUE(driver.Join());
    EXPECT_EQ((std::vector<std::string>{"20 seconds", kWaitText, "Cancel"}), first);
    EXPECT_TRUE(heldWhileCounting) << "korvane started by hand meanwhile would find it running";
    // Every text in its order; the dialog's own timer may have added a tick of its own.
    std::vector<std::string> expected = {"19 seconds", "10 seconds", " 9 seconds", " 1 seconds", "Starting..."};
    auto at = shown.begin();
    for (const std::string &text : expected) {
        at = std::find(at, shown.end(), text);
        EXPECT_NE(shown.end(), at) << "\"" << text << "\" in its turn";
    }
    ASSERT_EQ(std::vector<std::string>{"KORVANE.EXE|/A"}, starts_.Lines());
    EXPECT_FALSE(starts_.starts()[0].korvaneMutexExisted) << "closed, not only released, before the start";
}

TEST_F(CountdownTest, ARunningKorvaneTurnsItIntoATimeout) {
    NamedMutex korvane(kKorvaneMutex);
    std::vector<std::string> shown;
    std::string text, button;
    DialogDriver driver(kTitle, [&](HWND dialog) {
        text = DialogDriver::ItemText(dialog, IDC_CD_TEXT);
        button = DialogDriver::ItemText(dialog, IDC_CD_CANCEL);
        shown = TickToTheEnd(dialog);
    });
    EXPECT_FALSE(RunCountdown(nullptr));
    ASSERT_TRUE(driver.Join());
    EXPECT_EQ("It became set time. However, automatic execution is discontinued because Tidewell is running.", text);
    EXPECT_EQ("&Close", button);
    EXPECT_EQ(std::vector<std::string>(shown.size(), "Timeout."), shown);
    EXPECT_LE(shown.size(), 21u) << "it closes itself after the same 21 ticks";
    EXPECT_TRUE(starts_.starts().empty());
    EXPECT_TRUE(KorvaneMutexExists()) << "korvane's own mutex is left alone";
}

TEST_F(CountdownTest, ARunningExcludedProgramAbortsAndFreesTheKorvaneMutexAtOnce) {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    WriteSchedulerDword(schedval::kNotStart, 1);
    WriteText(HKEY_LOCAL_MACHINE, kSchedulerKey, schedval::kNotStartList,
              (std::string("other.exe\r\n") + (strrchr(path, '\\') + 1)).c_str());
    std::string count, text;
    bool mutexWhileShown = true;
    DialogDriver driver(kTitle, [&](HWND dialog) {
        count = DialogDriver::ItemText(dialog, IDC_CD_COUNT);
        text = DialogDriver::ItemText(dialog, IDC_CD_TEXT);
        mutexWhileShown = KorvaneMutexExists();
        DialogDriver::Click(dialog, IDC_CD_CANCEL);
    });
    EXPECT_FALSE(RunCountdown(nullptr));
    ASSERT_TRUE(driver.Join());
    EXPECT_EQ("Timeout.", count);
    EXPECT_EQ("It became set time. However, automatic execution is discontinued because specified program is running.",
              text);
    EXPECT_FALSE(mutexWhileShown) << "korvane may start while the notice is up";
    EXPECT_TRUE(starts_.starts().empty());
}

TEST_F(CountdownTest, CancelStartsNothingAndClosesTheMutex) {
    WriteSchedulerDword(schedval::kNotStart, 1); // the default list: nothing of it runs here
    bool mutexAfterCancel = true;
    DialogDriver driver(kTitle, [&](HWND dialog) {
        SendMessageA(dialog, WM_TIMER, kCountdownTimer, 0);
        DialogDriver::Click(dialog, IDC_CD_CANCEL);
    });
    EXPECT_FALSE(RunCountdown(nullptr));
    ASSERT_TRUE(driver.Join());
    mutexAfterCancel = KorvaneMutexExists();
    EXPECT_FALSE(mutexAfterCancel);
    EXPECT_TRUE(starts_.starts().empty());
}

TEST_F(CountdownTest, AFailedStartIsExplainedAndCountsAsNotStarted) {
    starts_.ReturnFromNowOn(2);
    ScopedMessages boxes;
    DialogDriver driver(kTitle, [&](HWND dialog) { TickToTheEnd(dialog); });
    EXPECT_FALSE(RunCountdown(nullptr));
    ASSERT_TRUE(driver.Join());
    ASSERT_EQ(1u, boxes.calls().size());
    EXPECT_EQ("Error:\nKORVANE.EXE /A\n\nThe specified file was not found.", boxes.calls()[0].text);
}

} // namespace
