// duetime: the due-time rule and the catch-up search as plain functions of a local time and the
// scheduler values, and the registry reads and writes around them.
//
// Every time here is local wall-clock time encoded as a FILETIME (SystemTimeToFileTime of
// GetLocalTime, no time-zone conversion), so calendar arithmetic is plain arithmetic: midnight is a
// multiple of a day, and the whole days between two dates are the same whatever the daylight-saving
// rules did between them. A change of daylight-saving time only moves the wall clock: on the day
// the clock jumps forward the skipped minutes never come (a set time among them does not fire that
// day); on the day it falls back the repeated minutes come twice, and LastTime, recorded at the
// first pass, holds the second one off.
#include "korvtask.h"

#include "language.h"
#include "rega.h"
#include "runlog.h"

#include <cstdio>
#include <cstring>

namespace {

const char kLogModule[] = "duetime";

bool ToSystemTime(WallTime t, SYSTEMTIME *time) {
    FILETIME file;
    file.dwLowDateTime = DWORD(t);
    file.dwHighDateTime = DWORD(t >> 32);
    return FileTimeToSystemTime(&file, time) != FALSE;
}

bool DayPasses(const SYSTEMTIME &day, WallTime t, WallTime lastTime, const ScheduleValues &values) {
    switch (values.kind) {
    case kKindEveryDay:
        return true;
    case kKindWeekdays:
        return day.wDayOfWeek < 7 && values.weekday[day.wDayOfWeek];
    case kKindMonthDays:
        return day.wDay >= 1 && day.wDay <= 31 && values.monthDay[day.wDay];
    case kKindInterval: {
        if (values.dayDiff == 0) return false;
        // Unsigned: a LastTime on a later date wraps to a huge count and passes; the last-time
        // test then refuses it.
        WallTime days = (t - t % kTicksPerDay - (lastTime - lastTime % kTicksPerDay)) / kTicksPerDay;
        return days >= values.dayDiff;
    }
    default:
        return false;
    }
}

// Each process says once what it made of a bad value; the resident reads them every two seconds.
void LogOnce(bool *said, const char *japanese, const char *english) {
    if (*said) return;
    *said = true;
    RUNLOG(Tx(japanese, english));
}

} // namespace

namespace schedval {
std::string WeekdayName(int weekday) {
    char name[8];
    snprintf(name, sizeof name, "w%02d", weekday);
    return name;
}
std::string MonthDayName(int day) {
    char name[8];
    snprintf(name, sizeof name, "d%02d", day);
    return name;
}
} // namespace schedval

WallTime WallTimeOf(const SYSTEMTIME &time) {
    FILETIME file;
    if (!SystemTimeToFileTime(&time, &file)) return 0;
    return (WallTime(file.dwHighDateTime) << 32) | file.dwLowDateTime;
}

WallTime LocalNow() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return WallTimeOf(now);
}

LONG ClampSnoozeTime(LONG minutes) {
    if (minutes < 0) return 0;
    return minutes > kMaxSnoozeMinutes ? kMaxSnoozeMinutes : minutes;
}

DueDecision DecideDue(WallTime t, const ScheduleValues &values) {
    DueDecision decision;
    decision.lastTime = t;
    SYSTEMTIME day, last;
    if (!ToSystemTime(t, &day)) return decision;
    WallTime lastTime = values.lastTime;
    // A clock that was once far ahead must not silence the scheduler until that date comes.
    if (lastTime > t && lastTime - t > kTicksPerDay) {
        lastTime = 0;
        decision.lastTimeIgnored = true;
    }
    if (!ToSystemTime(lastTime, &last)) lastTime = 0;
    if (!DayPasses(day, t, lastTime, values)) return decision;
    if (day.wHour != values.hour || day.wMinute != values.minute) return decision;
    // Year, month, day, hour and minute compared in that order: the same minute or a later one
    // means this set time has had its start. Seconds are ignored.
    decision.fire = lastTime / kTicksPerMinute < t / kTicksPerMinute;
    return decision;
}

WallTime FindCatchUpTime(WallTime t, const ScheduleValues &values, LONG windowMinutes) {
    LONG minutes = ClampSnoozeTime(windowMinutes);
    for (LONG i = 0; i < minutes; ++i) {
        WallTime back = WallTime(i) * kTicksPerMinute;
        if (back > t) break;
        if (DecideDue(t - back, values).fire) return t - back;
    }
    return 0;
}

// ---- The registry around the rule ---------------------------------------------------------------

LastTimeData ParseLastTime(const char *data, size_t size, WallTime *t) {
    *t = 0;
    if (!data || size != sizeof *t) return LastTimeData::WrongSize;
    WallTime read = 0;
    memcpy(&read, data, sizeof read);
    SYSTEMTIME check;
    if (!ToSystemTime(read, &check)) return LastTimeData::NotATime;
    *t = read;
    return LastTimeData::Ok;
}

WallTime ReadLastTime(REGA &key) {
    static bool said = false;
    int size = key.ValueExistA(schedval::kLastTime);
    if (size < 0) return 0;
    // One byte more than the time, for the terminator ReadStringA adds.
    char data[9] = {};
    if (size != 8 || !key.ReadStringA(schedval::kLastTime, data, sizeof data)) size = 0;
    WallTime t = 0;
    LastTimeData parsed = ParseLastTime(data, size_t(size), &t);
    if (parsed == LastTimeData::WrongSize)
        LogOnce(&said, "スケジューラ: LastTime が 8 バイトの時刻でないため、前回の実行はないものとします。",
                "Scheduler: LastTime is not an 8-byte time; it counts as never.");
    if (parsed == LastTimeData::NotATime)
        LogOnce(&said, "スケジューラ: LastTime が有効な時刻でないため、前回の実行はないものとします。",
                "Scheduler: LastTime is not a valid time; it counts as never.");
    return t;
}

bool WriteLastTime(REGA &key, WallTime t) {
    return key.WriteBinaryA(schedval::kLastTime, &t, sizeof t);
}

ScheduleValues ReadScheduleValues(REGA &key) {
    ScheduleValues values;
    values.hour = key.ReadIntegerA(schedval::kTimeHour, 25);
    values.minute = key.ReadIntegerA(schedval::kTimeMin, 61);
    values.kind = key.ReadIntegerA(schedval::kKind, 0);
    if (values.kind == kKindWeekdays)
        for (int d = 0; d < 7; ++d)
            values.weekday[d] = key.ReadIntegerA(schedval::WeekdayName(d).c_str(), 0) == 1;
    if (values.kind == kKindMonthDays)
        for (int d = 1; d <= 31; ++d)
            values.monthDay[d] = key.ReadIntegerA(schedval::MonthDayName(d).c_str(), 0) == 1;
    if (values.kind == kKindInterval) values.dayDiff = DWORD(key.ReadIntegerA(schedval::kDayDiff, 0));
    values.lastTime = ReadLastTime(key);
    return values;
}

namespace {

// Records a start that is due; says once when a LastTime far ahead was set aside. A start that
// cannot be recorded is not made: the next tick in the same minute would make it again.
bool RecordStart(REGA &key, const DueDecision &decision) {
    static bool said = false;
    if (decision.lastTimeIgnored)
        LogOnce(&said, "スケジューラ: LastTime が 1 日以上先の時刻のため、無視しました。",
                "Scheduler: LastTime lies more than a day ahead; it was ignored.");
    if (WriteLastTime(key, decision.lastTime)) return true;
    RUNLOG(Tx("スケジューラ: LastTime を書き込めないため、設定時刻の実行を見送りました。",
              "Scheduler: cannot write LastTime; the scheduled start was skipped."));
    return false;
}

} // namespace

bool ApplyDueTimeRule(WallTime t) {
    REGA key;
    if (!key.OpenKey(HKEY_LOCAL_MACHINE, kSchedulerKey, 0)) return false;
    // The set time first: on all but one minute a day nothing more needs reading.
    LONG hour = key.ReadIntegerA(schedval::kTimeHour, 25);
    LONG minute = key.ReadIntegerA(schedval::kTimeMin, 61);
    SYSTEMTIME now;
    bool due = false;
    if (ToSystemTime(t, &now) && now.wHour == hour && now.wMinute == minute) {
        DueDecision decision = DecideDue(t, ReadScheduleValues(key));
        due = decision.fire && RecordStart(key, decision);
    }
    key.CloseKey();
    return due;
}

bool ApplyCatchUpRule(WallTime now) {
    REGA key;
    if (!key.OpenKey(HKEY_LOCAL_MACHINE, kSchedulerKey, 0)) return false;
    bool due = false;
    if (key.ReadIntegerA(schedval::kSnooze, 0) == 1) {
        LONG stored = key.ReadIntegerA(schedval::kSnoozeTime, 0);
        static bool said = false;
        if (stored != ClampSnoozeTime(stored))
            LogOnce(&said, "スケジューラ: SnoozeTime が 0～479 の範囲外のため、範囲内に収めました。",
                    "Scheduler: SnoozeTime is outside 0-479; the nearest bound is used.");
        ScheduleValues values = ReadScheduleValues(key);
        WallTime found = FindCatchUpTime(now, values, stored);
        if (found != 0) {
            DueDecision decision = DecideDue(found, values);
            due = RecordStart(key, decision);
        }
    }
    key.CloseKey();
    return due;
}
