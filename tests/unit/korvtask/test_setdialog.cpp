// The settings dialog driven in-process: what it shows of the scheduler key, the enabling rule,
// the checks of the times, what Save writes (and what it leaves alone), a failed save, dropped
// program files, and starting and stopping the resident.
#include "scheduler_fixture.h"

#include "key_access.h"
#include "korvane/dialog_driver.h"
#include "korvane/drop_files.h"
#include "resource.h"
#include "scoped_messages.h"

#include <functional>

namespace {

const char kTitle[] = "Tidewell scheduler settings";
const char kUserRun[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

TEST(SettingsHelpers, TimesOutsideTheDayOrTheDelayAreRefused) {
    struct Case {
        const char *hour, *minute, *delayHours, *delayMinutes;
        TimeCheck check;
    };
    const Case cases[] = {
        {"0", "0", "0", "0", TimeCheck::Ok},
        {"23", "59", "7", "59", TimeCheck::Ok},
        {"", "", "", "", TimeCheck::Ok},
        {" 7", "5 ", "0", "0", TimeCheck::Ok},
        {"24", "00", "0", "0", TimeCheck::BadStartTime},
        {"7", "60", "0", "0", TimeCheck::BadStartTime},
        {"7", "-1", "0", "0", TimeCheck::BadStartTime},
        {"x", "0", "0", "0", TimeCheck::BadStartTime},
        {"99999999999", "0", "0", "0", TimeCheck::BadStartTime},
        {"8", "00", "8", "00", TimeCheck::BadDelay},
        {"8", "00", "7", "60", TimeCheck::BadDelay},
        {"8", "00", "7:", "0", TimeCheck::BadDelay},
        {"25", "0", "9", "0", TimeCheck::BadStartTime},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.check, CheckTimes(c.hour, c.minute, c.delayHours, c.delayMinutes))
            << c.hour << ":" << c.minute << " / " << c.delayHours << ":" << c.delayMinutes;
}

TEST(SettingsHelpers, ADroppedFileAddsItsNameAndExtensionOnALine) {
    struct Case {
        const char *list, *path, *result;
    };
    const Case cases[] = {
        {"", "C:\\Program Files\\Tool\\tool.exe", "tool.exe"},
        {"a.exe", "D:\\x\\y.EXE", "a.exe\r\ny.EXE"},
        {"a.exe\r\n", "D:\\y.exe", "a.exe\r\ny.exe"},
        {"a.exe\n", "y.exe", "a.exe\ny.exe"},
        {"a.exe", "C:\\folder\\", "a.exe\r\nC:\\folder\\"},
        // The trail byte of ソ is a backslash; the name is cut at the real one before it.
        {"",
         "C:\\\x83\x5C\\\x83\x5C"
         "ft.exe",
         "\x83\x5C"
         "ft.exe"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.result, AppendProgramLine(c.list, c.path)) << c.path;
}

TEST(SettingsHelpers, LastTimeShowsItsDate) {
    SetLanguage(Program::Scheduler, false);
    EXPECT_EQ("days (LastTime:----/--/--)", LastTimeLabel(0));
    EXPECT_EQ("Days (LastTime:2024/ 6/ 9)", LastTimeLabel(At(2024, 6, 9, 23, 59)));
    EXPECT_EQ("days (LastTime:----/--/--)", LastTimeLabel(0x8000000000000000ULL));
}

// ---- The dialog -----------------------------------------------------------------------------------

std::string OwnRunCommand() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    return StartAtLogonCommand(path);
}

bool WaitFor(const std::function<bool()> &condition, int ms = 5000) {
    for (int waited = 0; !condition(); waited += 50) {
        if (waited >= ms) return false;
        Sleep(50);
    }
    return true;
}

bool Enabled(HWND dialog, int id) {
    return DialogDriver::ItemEnabled(dialog, id);
}

bool IsChecked(HWND dialog, int id) {
    return SendMessageA(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void SetChecked(HWND dialog, int id, bool on) {
    SendMessageA(GetDlgItem(dialog, id), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

std::string Item(HWND dialog, int id) {
    return DialogDriver::ItemText(dialog, id);
}

struct SettingsDialogTest : SchedulerTest {
    // Opens the dialog, hands it to act, and returns the dialog's result; the test fails when the
    // dialog never showed.
    INT_PTR Run(std::function<void(HWND)> act) {
        DialogDriver driver(kTitle, std::move(act));
        INT_PTR result = ShowSettingsDialog();
        EXPECT_TRUE(driver.Join()) << "the settings dialog showed";
        return result;
    }
    ValueGuard userRun_{HKEY_CURRENT_USER, kUserRun, kRunValue};
    ValueGuard machineRun_{HKEY_LOCAL_MACHINE, kUserRun, kRunValue};
    ScopedStarts starts_;
};

TEST_F(SettingsDialogTest, WithoutAKeyItShowsDefaultsAndTheResidentsStatus) {
    // A Run value for this program, but spelt with "/s": compared with case, it is not ours.
    std::string other = OwnRunCommand();
    other.replace(other.size() - 2, 2, "/s");
    WriteText(HKEY_CURRENT_USER, kUserRun, kRunValue, other.c_str());
    INT_PTR result = Run([](HWND dialog) {
        EXPECT_EQ("Scheduler Status : Please wait...", Item(dialog, IDC_SET_STATUS));
        EXPECT_EQ("0", Item(dialog, IDC_SET_HOUR));
        EXPECT_EQ("0", Item(dialog, IDC_SET_MINUTE));
        EXPECT_TRUE(IsChecked(dialog, IDC_SET_EVERYDAY));
        EXPECT_EQ("0", Item(dialog, IDC_SET_DELAY_HOURS));
        EXPECT_EQ(kDefaultExclusionList, Item(dialog, IDC_SET_NOTSTART_LIST));
        EXPECT_EQ("days (LastTime:----/--/--)", Item(dialog, IDC_SET_LASTTIME));
        EXPECT_FALSE(IsChecked(dialog, IDC_SET_RUN_USER)) << "another spelling";
        EXPECT_FALSE(DialogDriver::ItemShown(dialog, IDC_SET_RUN_MACHINE)) << "the All User box stays hidden";
        for (int id : {IDC_SET_DELAY_HOURS, IDC_SET_DELAY_MINUTES, IDC_SET_DELAY_LABEL, IDC_SET_NOTSTART_LIST,
                       IDC_SET_SUN, IDC_SET_DAY1 + 30, IDC_SET_DAYDIFF})
            EXPECT_FALSE(Enabled(dialog, id)) << id;
        EXPECT_TRUE(WaitFor([&] { return Item(dialog, IDC_SET_STATUS) == "Scheduler Status : OFF"; }));
        EXPECT_TRUE(Enabled(dialog, IDC_SET_SAVE_START));
        EXPECT_FALSE(Enabled(dialog, IDC_SET_STOP));
        DialogDriver::Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSchedulerKey)) << "Cancel writes nothing";
}

TEST_F(SettingsDialogTest, ShowsTheStoredValuesAndEnablesWhatTheyUse) {
    for (auto value : {std::pair<const char *, DWORD>{schedval::kTimeHour, 7},
                       {schedval::kTimeMin, 5},
                       {schedval::kKind, kKindMonthDays},
                       {"d01", 1},
                       {"d31", 1},
                       {"w03", 1},
                       {schedval::kTrayIcon, 1},
                       {schedval::kSnooze, 1},
                       {schedval::kSnoozeTime, 479},
                       {schedval::kNotStart, 1},
                       {schedval::kDayDiff, 4}})
        WriteSchedulerDword(value.first, value.second);
    WriteText(HKEY_LOCAL_MACHINE, kSchedulerKey, schedval::kNotStartList, "a.exe\r\nb.exe");
    WriteRaw(HKEY_LOCAL_MACHINE, kSchedulerKey, schedval::kLastTime, REG_BINARY, TimeBytes(At(2024, 6, 9, 3, 0)));
    WriteText(HKEY_CURRENT_USER, kUserRun, kRunValue, OwnRunCommand().c_str());
    Run([](HWND dialog) {
        EXPECT_EQ("7", Item(dialog, IDC_SET_HOUR));
        EXPECT_EQ("5", Item(dialog, IDC_SET_MINUTE));
        EXPECT_TRUE(IsChecked(dialog, IDC_SET_MONTHDAYS));
        EXPECT_TRUE(IsChecked(dialog, IDC_SET_DAY1) && IsChecked(dialog, IDC_SET_DAY1 + 30));
        EXPECT_FALSE(IsChecked(dialog, IDC_SET_DAY1 + 1));
        EXPECT_TRUE(IsChecked(dialog, IDC_SET_SUN + 3));
        EXPECT_TRUE(IsChecked(dialog, IDC_SET_TRAYICON) && IsChecked(dialog, IDC_SET_SNOOZE));
        EXPECT_EQ("7", Item(dialog, IDC_SET_DELAY_HOURS));
        EXPECT_EQ("59", Item(dialog, IDC_SET_DELAY_MINUTES));
        EXPECT_EQ("a.exe\r\nb.exe", Item(dialog, IDC_SET_NOTSTART_LIST));
        EXPECT_EQ("4", Item(dialog, IDC_SET_DAYDIFF));
        EXPECT_EQ("Days (LastTime:2024/ 6/ 9)", Item(dialog, IDC_SET_LASTTIME));
        EXPECT_TRUE(IsChecked(dialog, IDC_SET_RUN_USER));
        EXPECT_TRUE(Enabled(dialog, IDC_SET_DELAY_HOURS) && Enabled(dialog, IDC_SET_NOTSTART_LIST));
        EXPECT_TRUE(Enabled(dialog, IDC_SET_DAY1 + 30));
        EXPECT_FALSE(Enabled(dialog, IDC_SET_SUN) || Enabled(dialog, IDC_SET_DAYDIFF));
        DialogDriver::Click(dialog, IDC_SET_INTERVAL);
        EXPECT_TRUE(Enabled(dialog, IDC_SET_DAYDIFF));
        EXPECT_FALSE(Enabled(dialog, IDC_SET_DAY1));
        DialogDriver::Click(dialog, IDC_SET_SNOOZE);
        EXPECT_FALSE(Enabled(dialog, IDC_SET_DELAY_MINUTES));
        DialogDriver::Click(dialog, IDCANCEL);
    });
}

TEST_F(SettingsDialogTest, TimesOutOfRangeAreRefusedAndNothingIsSaved) {
    ScopedMessages boxes;
    const char *const kStart = "Please specify the start time with 0:00-23:59.";
    const char *const kDelay = "Please specify delay time with 0:00-7:59.";
    struct Case {
        const char *hour, *minute, *delayHours, *delayMinutes, *message;
    };
    const Case refused[] = {
        {"24", "00", "0", "0", kStart},
        {"7", "60", "0", "0", kStart},
        {"8", "00", "8", "00", kDelay},
        {"8", "00", "7", "60", kDelay},
    };
    INT_PTR result = Run([&](HWND dialog) {
        DialogDriver::Click(dialog, IDC_SET_SNOOZE);
        for (const Case &c : refused) {
            SetDlgItemTextA(dialog, IDC_SET_HOUR, c.hour);
            SetDlgItemTextA(dialog, IDC_SET_MINUTE, c.minute);
            SetDlgItemTextA(dialog, IDC_SET_DELAY_HOURS, c.delayHours);
            SetDlgItemTextA(dialog, IDC_SET_DELAY_MINUTES, c.delayMinutes);
            size_t before = boxes.calls().size();
            DialogDriver::Click(dialog, IDOK);
            EXPECT_EQ(before + 1, boxes.calls().size()) << c.hour << ":" << c.minute;
            if (boxes.calls().size() == before) continue;
            EXPECT_EQ(c.message, boxes.calls().back().text);
            EXPECT_EQ(UINT(MB_ICONERROR), boxes.calls().back().type & MB_ICONMASK);
            EXPECT_TRUE(IsWindow(dialog)) << "the dialog stays open";
            EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSchedulerKey)) << "nothing saved";
        }
        SetDlgItemTextA(dialog, IDC_SET_DELAY_MINUTES, "59");
        DialogDriver::Click(dialog, IDOK);
    });
    EXPECT_EQ(IDOK, result);
    RawValue snooze = ReadRaw(HKEY_LOCAL_MACHINE, kSchedulerKey, schedval::kSnoozeTime);
    ASSERT_TRUE(snooze.exists);
    EXPECT_EQ(479u, *reinterpret_cast<const DWORD *>(snooze.data.data())) << "7:59";
}

DWORD StoredDword(const char *name) {
    RawValue value = ReadRaw(HKEY_LOCAL_MACHINE, kSchedulerKey, name);
    return value.exists && value.data.size() == 4 ? *reinterpret_cast<const DWORD *>(value.data.data()) : 0xDEAD;
}

TEST_F(SettingsDialogTest, SaveWritesEveryValueAndTheRunValueExactly) {
    WriteSchedulerDword("w02", 1);
    WriteSchedulerDword("d15", 1);
    WriteRaw(HKEY_LOCAL_MACHINE, kSchedulerKey, schedval::kNotStartList, REG_EXPAND_SZ, BytesOf("%x%", 4));
    INT_PTR result = Run([](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_SET_HOUR, "23");
        SetDlgItemTextA(dialog, IDC_SET_MINUTE, "");
        DialogDriver::Click(dialog, IDC_SET_WEEKDAYS);
        SetChecked(dialog, IDC_SET_SUN + 2, false);
        SetChecked(dialog, IDC_SET_SUN + 6, true);
        SetChecked(dialog, IDC_SET_DAY1 + 14, false);
        SetChecked(dialog, IDC_SET_TRAYICON, true);
        SetChecked(dialog, IDC_SET_RUN_USER, true);
        DialogDriver::Click(dialog, IDC_SET_NOTSTART);
        SetDlgItemTextA(dialog, IDC_SET_NOTSTART_LIST, "notepad.exe\r\nexcel.exe");
        SetDlgItemTextA(dialog, IDC_SET_DAYDIFF, "12");
        DialogDriver::Click(dialog, IDOK);
    });
    EXPECT_EQ(IDOK, result);
    EXPECT_EQ(23u, StoredDword(schedval::kTimeHour));
    EXPECT_EQ(0u, StoredDword(schedval::kTimeMin)) << "an empty field reads as 0";
    EXPECT_EQ(DWORD(kKindWeekdays), StoredDword(schedval::kKind));
    EXPECT_EQ(1u, StoredDword("w06"));
    EXPECT_FALSE(ReadRaw(HKEY_LOCAL_MACHINE, kSchedulerKey, "w02").exists) << "unchosen days are deleted";
    EXPECT_FALSE(ReadRaw(HKEY_LOCAL_MACHINE, kSchedulerKey, "d15").exists);
    EXPECT_FALSE(ReadRaw(HKEY_LOCAL_MACHINE, kSchedulerKey, "w00").exists) << "never written as 0";
    EXPECT_EQ(1u, StoredDword(schedval::kTrayIcon));
    EXPECT_EQ(0u, StoredDword(schedval::kSnooze));
    EXPECT_EQ(1u, StoredDword(schedval::kNotStart));
    EXPECT_EQ(12u, StoredDword(schedval::kDayDiff));
    RawValue list = ReadRaw(HKEY_LOCAL_MACHINE, kSchedulerKey, schedval::kNotStartList);
    EXPECT_EQ(DWORD(REG_SZ), list.type) << "always REG_SZ";
    EXPECT_EQ(std::string("notepad.exe\r\nexcel.exe"), std::string(list.data.begin(), list.data.end() - 1));
    RawValue run = ReadRaw(HKEY_CURRENT_USER, kUserRun, kRunValue);
    EXPECT_EQ(OwnRunCommand(), std::string(run.data.begin(), run.data.end() - 1));

    Run([](HWND dialog) {
        EXPECT_TRUE(IsChecked(dialog, IDC_SET_RUN_USER));
        SetChecked(dialog, IDC_SET_RUN_USER, false);
        DialogDriver::Click(dialog, IDOK);
    });
    EXPECT_FALSE(ReadRaw(HKEY_CURRENT_USER, kUserRun, kRunValue).exists) << "unchecked deletes it";
}

TEST_F(SettingsDialogTest, TheHiddenAllUserBoxChangesTheMachineValueOnlyWhenItChanged) {
    const char kForeign[] = "\"C:\\Elsewhere\\KORVTASK.EXE\" /S";
    WriteText(HKEY_LOCAL_MACHINE, kUserRun, kRunValue, kForeign);
    Run([](HWND dialog) {
        EXPECT_FALSE(IsChecked(dialog, IDC_SET_RUN_MACHINE));
        DialogDriver::Click(dialog, IDOK);
    });
    RawValue kept = ReadRaw(HKEY_LOCAL_MACHINE, kUserRun, kRunValue);
    ASSERT_TRUE(kept.exists) << "a save does not delete a value the user cannot see";
    EXPECT_STREQ(kForeign, reinterpret_cast<const char *>(kept.data.data()));

    Run([](HWND dialog) {
        SetChecked(dialog, IDC_SET_RUN_MACHINE, true);
        DialogDriver::Click(dialog, IDOK);
    });
    RawValue ours = ReadRaw(HKEY_LOCAL_MACHINE, kUserRun, kRunValue);
    EXPECT_EQ(OwnRunCommand(), std::string(ours.data.begin(), ours.data.end() - 1));
    Run([](HWND dialog) {
        EXPECT_TRUE(IsChecked(dialog, IDC_SET_RUN_MACHINE));
        SetChecked(dialog, IDC_SET_RUN_MACHINE, false);
        DialogDriver::Click(dialog, IDOK);
    });
    EXPECT_FALSE(ReadRaw(HKEY_LOCAL_MACHINE, kUserRun, kRunValue).exists);
}

TEST_F(SettingsDialogTest, AFailedSaveIsReportedAndTheDialogStaysOpen) {
    ASSERT_TRUE(SetKeyWritable(HKEY_LOCAL_MACHINE, kSchedulerKey, false));
    ScopedMessages boxes;
    INT_PTR result = Run([&](HWND dialog) {
        SetDlgItemTextA(dialog, IDC_SET_HOUR, "6");
        SetChecked(dialog, IDC_SET_RUN_USER, true);
        DialogDriver::Click(dialog, IDOK);
        EXPECT_TRUE(IsWindow(dialog)) << "the user can try again or cancel";
        EXPECT_FALSE(ReadRaw(HKEY_CURRENT_USER, kUserRun, kRunValue).exists) << "nothing of the save was written";
        SetKeyWritable(HKEY_LOCAL_MACHINE, kSchedulerKey, true);
        DialogDriver::Click(dialog, IDOK);
    });
    EXPECT_EQ(IDOK, result) << "the second save went through";
    auto calls = boxes.calls();
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ("Cannot save the settings:\r\nHKEY_LOCAL_MACHINE\\SOFTWARE\\Halvornix\\Korvane\\korvtask", calls[0].text);
    EXPECT_EQ(UINT(MB_ICONERROR), calls[0].type & MB_ICONMASK);
    EXPECT_EQ(6u, StoredDword(schedval::kTimeHour));
    EXPECT_TRUE(ReadRaw(HKEY_CURRENT_USER, kUserRun, kRunValue).exists);
}

TEST_F(SettingsDialogTest, DroppedFilesAreAddedWhileTheListIsOn) {
    WriteSchedulerDword(schedval::kNotStart, 0);
    WriteText(HKEY_LOCAL_MACHINE, kSchedulerKey, schedval::kNotStartList, "a.exe");
    Run([](HWND dialog) {
        SendMessageA(dialog, WM_DROPFILES, WPARAM(MakeDrop({"C:\\Tools\\off.exe"})), 0);
        EXPECT_EQ("a.exe", Item(dialog, IDC_SET_NOTSTART_LIST)) << "not while the list is off";
        DialogDriver::Click(dialog, IDC_SET_NOTSTART);
        std::string tooLong = "C:\\" + std::string(530, 'x') + ".exe";
        SendMessageA(dialog, WM_DROPFILES,
                     WPARAM(MakeDrop({"C:\\Program Files\\Tool\\tool.exe", tooLong, "D:\\x\\y.EXE"})), 0);
        EXPECT_EQ("a.exe\r\ntool.exe\r\ny.EXE", Item(dialog, IDC_SET_NOTSTART_LIST));
        DialogDriver::Click(dialog, IDCANCEL);
    });
}

TEST_F(SettingsDialogTest, SaveAndStartStartsTheResidentAndStopAsksItToEnd) {
    Run([](HWND dialog) {
        EXPECT_TRUE(WaitFor([&] { return Enabled(dialog, IDC_SET_SAVE_START); }));
        DialogDriver::Click(dialog, IDC_SET_SAVE_START);
        EXPECT_EQ("Scheduler Status : Please wait...", Item(dialog, IDC_SET_STATUS));
        EXPECT_FALSE(Enabled(dialog, IDC_SET_SAVE_START));
        EXPECT_TRUE(Enabled(dialog, IDC_SET_STOP));
        EXPECT_EQ("&Close", Item(dialog, IDCANCEL));
        DialogDriver::Click(dialog, IDC_SET_STOP);
        EXPECT_TRUE(Enabled(dialog, IDC_SET_SAVE_START));
        EXPECT_FALSE(Enabled(dialog, IDC_SET_STOP));
        DialogDriver::Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(std::vector<std::string>{"KORVTASK.EXE|/S"}, starts_.Lines());
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kSchedulerKey)) << "saved before the start";
}

} // namespace
