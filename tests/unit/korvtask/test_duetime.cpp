// The due-time rule on fixed local times: each kind, the set minute, LastTime before, in and after
// the minute, the bounds of the values read, the catch-up window; and the registry around it.
#include "scheduler_fixture.h"

#include "log_capture.h"
#include "rega.h"

#include <algorithm>

namespace {

ScheduleValues EveryDayAt(int hour, int minute, WallTime lastTime = 0) {
    ScheduleValues values;
    values.hour = hour;
    values.minute = minute;
    values.kind = kKindEveryDay;
    values.lastTime = lastTime;
    return values;
}

ScheduleValues Kind(ScheduleValues values, LONG kind) {
    values.kind = kind;
    return values;
}

ScheduleValues OnWeekday(int weekday) {
    ScheduleValues values = Kind(EveryDayAt(3, 0), kKindWeekdays);
    values.weekday[weekday] = true;
    return values;
}

ScheduleValues OnDay(int day) {
    ScheduleValues values = Kind(EveryDayAt(3, 0), kKindMonthDays);
    values.monthDay[day] = true;
    return values;
}

ScheduleValues EveryNDays(DWORD days, int hour, int minute, WallTime lastTime) {
    ScheduleValues values = Kind(EveryDayAt(hour, minute, lastTime), kKindInterval);
    values.dayDiff = days;
    return values;
}

struct DueCase {
    const char *name;
    ScheduleValues values;
    WallTime now;
    bool fire;
};

TEST(DueTimeRule, FiresOnlyInTheSetMinuteOfAChosenDayOnce) {
    const WallTime absent = 0;
    ScheduleValues noTime = EveryDayAt(3, 0);
    noTime.hour = 25;
    noTime.minute = 61;
    const DueCase cases[] = {
        {"every day, LastTime yesterday", EveryDayAt(3, 0, At(2024, 6, 9, 3, 0)), At(2024, 6, 10, 3, 0, 10), true},
        {"every day, LastTime absent", EveryDayAt(3, 0, absent), At(2024, 6, 10, 3, 0, 59), true},
        {"a minute late", EveryDayAt(3, 0), At(2024, 6, 10, 3, 1), false},
        {"an hour late", EveryDayAt(3, 0), At(2024, 6, 10, 4, 0), false},
        {"LastTime in the same minute", EveryDayAt(3, 0, At(2024, 6, 10, 3, 0, 2)), At(2024, 6, 10, 3, 0, 50), false},
        {"LastTime later today (clock set back)", EveryDayAt(3, 0, At(2024, 6, 10, 5, 0)), At(2024, 6, 10, 3, 0),
         false},
        {"LastTime 20 hours ahead", EveryDayAt(3, 0, At(2024, 6, 10, 23, 0)), At(2024, 6, 10, 3, 0), false},
        {"LastTime two days ahead is ignored", EveryDayAt(3, 0, At(2024, 6, 12, 3, 0)), At(2024, 6, 10, 3, 0), true},
        {"LastTime years ahead is ignored", EveryDayAt(3, 0, At(2031, 1, 1, 0, 0)), At(2024, 6, 10, 3, 0), true},
        {"LastTime not a valid time", EveryDayAt(3, 0, 0x8000000000000000ULL), At(2024, 6, 10, 3, 0), true},
        {"absent set time", noTime, At(2024, 6, 10, 3, 0), false},
        {"kind absent", Kind(EveryDayAt(3, 0), 0), At(2024, 6, 10, 3, 0), false},
        {"unknown kind", Kind(EveryDayAt(3, 0), 5), At(2024, 6, 10, 3, 0), false},
        {"w00 on a Sunday", OnWeekday(0), At(2024, 6, 2, 3, 0), true},
        {"w00 on a Monday", OnWeekday(0), At(2024, 6, 3, 3, 0), false},
        {"w00 on a Saturday", OnWeekday(0), At(2024, 6, 1, 3, 0), false},
        {"w06 on a Saturday", OnWeekday(6), At(2024, 6, 1, 3, 0), true},
        {"d31 on the 31st", OnDay(31), At(2024, 3, 31, 3, 0), true},
        {"d31 on April 30th", OnDay(31), At(2024, 4, 30, 3, 0), false},
        {"d31 on May 1st", OnDay(31), At(2024, 5, 1, 3, 0), false},
        {"d01 on the 1st", OnDay(1), At(2024, 5, 1, 3, 0), true},
        {"3 days after 23:59 of day D, on D+3", EveryNDays(3, 3, 0, At(2024, 6, 10, 23, 59)), At(2024, 6, 13, 3, 0),
         true},
        {"3 days after day D, on D+2", EveryNDays(3, 3, 0, At(2024, 6, 10, 0, 1)), At(2024, 6, 12, 3, 0), false},
        {"every 0 days never", EveryNDays(0, 3, 0, At(2024, 6, 1, 3, 0)), At(2024, 6, 13, 3, 0), false},
        {"every 3 days, LastTime absent", EveryNDays(3, 3, 0, absent), At(2024, 6, 13, 3, 0), true},
        {"every day across midnight: one minute, one calendar day", EveryNDays(1, 0, 0, At(2024, 6, 10, 23, 59)),
         At(2024, 6, 11, 0, 0), true},
        {"every day, the same date", EveryNDays(1, 23, 59, At(2024, 6, 11, 0, 0)), At(2024, 6, 11, 23, 59), false},
        {"every day across spring forward (23 hours)", EveryNDays(1, 3, 0, At(2024, 3, 30, 3, 0)),
         At(2024, 3, 31, 3, 0), true},
        {"every day across fall back (25 hours)", EveryNDays(1, 3, 0, At(2024, 10, 26, 3, 0)), At(2024, 10, 27, 3, 0),
         true},
        {"the repeated minute of fall back", EveryDayAt(2, 30, At(2024, 10, 27, 2, 30, 10)),
         At(2024, 10, 27, 2, 30, 40), false},
        {"every 2 days, LastTime tomorrow", EveryNDays(2, 3, 0, At(2024, 6, 11, 1, 0)), At(2024, 6, 10, 3, 0), false},
    };
    for (const DueCase &c : cases) {
        DueDecision decision = DecideDue(c.now, c.values);
        EXPECT_EQ(c.fire, decision.fire) << c.name;
        EXPECT_EQ(c.now, decision.lastTime) << c.name << ": LastTime records the time the rule was asked for";
    }
}

struct CatchUpCase {
    const char *name;
    ScheduleValues values;
    WallTime now;
    LONG window;
    WallTime found; // 0: none
};

TEST(DueTimeRule, CatchUpFindsASetTimeWithinTheWindow) {
    ScheduleValues sundayNight = OnWeekday(0);
    sundayNight.hour = 23;
    sundayNight.minute = 30;
    const CatchUpCase cases[] = {
        {"90 minutes, set 07:00, started 08:15", EveryDayAt(7, 0, At(2024, 6, 9, 7, 0)), At(2024, 6, 10, 8, 15), 90,
         At(2024, 6, 10, 7, 0)},
        {"90 minutes, started 08:31", EveryDayAt(7, 0, At(2024, 6, 9, 7, 0)), At(2024, 6, 10, 8, 31), 90, 0},
        {"90 minutes, started 08:29", EveryDayAt(7, 0), At(2024, 6, 10, 8, 29, 30), 90, At(2024, 6, 10, 7, 0, 30)},
        {"90 minutes, started 08:30", EveryDayAt(7, 0), At(2024, 6, 10, 8, 30), 90, 0},
        {"started in the set minute", EveryDayAt(7, 0), At(2024, 6, 10, 7, 0, 5), 1, At(2024, 6, 10, 7, 0, 5)},
        {"no window", EveryDayAt(7, 0), At(2024, 6, 10, 7, 0), 0, 0},
        {"already run today", EveryDayAt(7, 0, At(2024, 6, 10, 7, 0)), At(2024, 6, 10, 8, 0), 90, 0},
        {"a window past 7:59 counts as 7:59", EveryDayAt(7, 0), At(2024, 6, 10, 14, 58), 1000, At(2024, 6, 10, 7, 0)},
        {"7:59 and a minute", EveryDayAt(7, 0), At(2024, 6, 10, 14, 59), 1000, 0},
        {"a negative window", EveryDayAt(7, 0), At(2024, 6, 10, 7, 0), -5, 0},
        {"Sunday 23:30 found on Monday 00:20", sundayNight, At(2024, 6, 3, 0, 20), 60, At(2024, 6, 2, 23, 30)},
    };
    for (const CatchUpCase &c : cases)
        EXPECT_EQ(c.found, FindCatchUpTime(c.now, c.values, c.window)) << c.name;
}

TEST(DueTimeRule, SnoozeTimeIsKeptWithinSevenFiftyNine) {
    const LONG cases[][2] = {{-1, 0}, {0, 0}, {90, 90}, {479, 479}, {480, 479}, {0x7FFFFFFF, 479}};
    for (const auto &c : cases)
        EXPECT_EQ(c[1], ClampSnoozeTime(c[0])) << c[0];
}

// ---- The registry around the rule -----------------------------------------------------------------

class DueTimeRegistryTest : public SchedulerTest {};

TEST_F(DueTimeRegistryTest, LastTimeOtherThanAnEightByteTimeCountsAsNeverAndIsLoggedOnce) {
    LogCapture log;
    WallTime valid = At(2024, 6, 9, 3, 0);
    struct Case {
        const char *name;
        DWORD type;
        Bytes data;
        WallTime read;
    };
    const Case cases[] = {
        {"an 8-byte time", REG_BINARY, TimeBytes(valid), valid},
        {"four bytes", REG_BINARY, Bytes(4, 1), 0},
        {"sixteen bytes", REG_BINARY, Bytes(16, 1), 0},
        {"a DWORD", REG_DWORD, Bytes(4, 0), 0},
        {"no data", REG_BINARY, Bytes(), 0},
        {"eight bytes that are no time", REG_BINARY, Bytes(8, 0xFF), 0},
    };
    for (const Case &c : cases) {
        WriteRaw(HKEY_LOCAL_MACHINE, kSchedulerKey, schedval::kLastTime, c.type, c.data);
        REGA key;
        ASSERT_TRUE(key.OpenKey(HKEY_LOCAL_MACHINE, kSchedulerKey, 0));
        EXPECT_EQ(c.read, ReadLastTime(key)) << c.name;
        key.CloseKey();
    }
    std::vector<std::string> texts = log.Texts();
    EXPECT_EQ(1, std::count_if(texts.begin(), texts.end(),
                               [](const std::string &t) { return t.find("LastTime") != std::string::npos; }))
        << "one line per process, however often the resident reads it";
}

TEST_F(DueTimeRegistryTest, ValuesOfTheWrongTypeReadAsTheirDefaultsOrNumbers) {
    WriteText(HKEY_LOCAL_MACHINE, kSchedulerKey, schedval::kTimeHour, "7");
    WriteText(HKEY_LOCAL_MACHINE, kSchedulerKey, schedval::kTimeMin, "half past");
    WriteRaw(HKEY_LOCAL_MACHINE, kSchedulerKey, schedval::kKind, REG_BINARY, Bytes{2});
    WriteSchedulerDword("w03", 2); // only 1 chooses a day
    WriteSchedulerDword("w04", 1);
    REGA key;
    ASSERT_TRUE(key.OpenKey(HKEY_LOCAL_MACHINE, kSchedulerKey, 0));
    ScheduleValues values = ReadScheduleValues(key);
    key.CloseKey();
    EXPECT_EQ(7, values.hour);
    EXPECT_EQ(61, values.minute) << "text that is no number reads as absent";
    EXPECT_EQ(kKindWeekdays, values.kind);
    EXPECT_FALSE(values.weekday[3]);
    EXPECT_TRUE(values.weekday[4]);
}

TEST_F(DueTimeRegistryTest, ADueStartIsRecordedAndFiresOncePerMinute) {
    EXPECT_FALSE(ApplyDueTimeRule(At(2024, 6, 10, 3, 0))) << "no key, no start";
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSchedulerKey)) << "the rule does not create the key";

    WriteSchedulerDword(schedval::kTimeHour, 3);
    WriteSchedulerDword(schedval::kTimeMin, 0);
    WriteSchedulerDword(schedval::kKind, kKindEveryDay);
    EXPECT_FALSE(ApplyDueTimeRule(At(2024, 6, 10, 2, 59, 58)));
    EXPECT_FALSE(ReadRaw(HKEY_LOCAL_MACHINE, kSchedulerKey, schedval::kLastTime).exists);
    EXPECT_TRUE(ApplyDueTimeRule(At(2024, 6, 10, 3, 0, 1)));
    RawValue stored = ReadRaw(HKEY_LOCAL_MACHINE, kSchedulerKey, schedval::kLastTime);
    EXPECT_EQ(DWORD(REG_BINARY), stored.type);
    EXPECT_EQ(At(2024, 6, 10, 3, 0, 1), StoredLastTime());
    EXPECT_FALSE(ApplyDueTimeRule(At(2024, 6, 10, 3, 0, 3))) << "the next tick of the same minute";
    EXPECT_TRUE(ApplyDueTimeRule(At(2024, 6, 11, 3, 0, 0))) << "the next day";
}

TEST_F(DueTimeRegistryTest, CatchUpAtStartRecordsThePassedSetTime) {
    WriteSchedulerDword(schedval::kTimeHour, 7);
    WriteSchedulerDword(schedval::kTimeMin, 0);
    WriteSchedulerDword(schedval::kKind, kKindEveryDay);
    WriteSchedulerDword(schedval::kSnoozeTime, 90);
    EXPECT_FALSE(ApplyCatchUpRule(At(2024, 6, 10, 8, 15))) << "Snooze off";

    WriteSchedulerDword(schedval::kSnooze, 1);
    EXPECT_FALSE(ApplyCatchUpRule(At(2024, 6, 10, 8, 31)));
    EXPECT_TRUE(ApplyCatchUpRule(At(2024, 6, 10, 8, 15, 20)));
    EXPECT_EQ(At(2024, 6, 10, 7, 0, 20), StoredLastTime());
    EXPECT_FALSE(ApplyCatchUpRule(At(2024, 6, 10, 8, 16))) << "recorded: a second start finds nothing";

    LogCapture log;
    WriteSchedulerDword(schedval::kSnoozeTime, 100000);
    EXPECT_TRUE(ApplyCatchUpRule(At(2024, 6, 11, 14, 58))) << "a huge window counts as 7:59";
    EXPECT_FALSE(log.Texts().empty()) << "the bad SnoozeTime is logged";
}

} // namespace
