// What the scheduler's tests share: fixed local times, the scheduler key cleared around each test,
// English texts, and the program's resources.
#pragma once

#include "korvtask.h"

#include "language.h"
#include "system_state.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

// A local wall-clock time, as the scheduler stores and compares it.
inline WallTime At(int year, int month, int day, int hour, int minute, int second = 0) {
    SYSTEMTIME time = {};
    time.wYear = WORD(year);
    time.wMonth = WORD(month);
    time.wDay = WORD(day);
    time.wHour = WORD(hour);
    time.wMinute = WORD(minute);
    time.wSecond = WORD(second);
    return WallTimeOf(time);
}

inline Bytes TimeBytes(WallTime t) {
    return BytesOf(reinterpret_cast<const char *>(&t), sizeof t);
}

inline WallTime StoredLastTime() {
    RawValue value = ReadRaw(HKEY_LOCAL_MACHINE, kSchedulerKey, schedval::kLastTime);
    WallTime t = 0;
    if (value.exists && value.data.size() == sizeof t) memcpy(&t, value.data.data(), sizeof t);
    return t;
}

inline void WriteSchedulerDword(const char *name, DWORD number) {
    WriteDword(HKEY_LOCAL_MACHINE, kSchedulerKey, name, number);
}

// Whether korvane's mutex exists (korvane tests exactly that).
inline bool KorvaneMutexExists() {
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, kKorvaneMutex);
    if (mutex) CloseHandle(mutex);
    return mutex != nullptr;
}

// The starts the scheduler makes through its ShellExecuteA seam, for the life of a test. Each start
// also notes whether korvane's mutex existed at that moment.
class ScopedStarts {
public:
    struct Start {
        std::string verb, file, parameters, folder;
        INT show;
        bool korvaneMutexExisted;
        std::string Line() const { return file + "|" + parameters; }
    };
    explicit ScopedStarts(INT_PTR result = 42) : previous_(g_shellExecute) {
        g_shellExecute = Fake;
        Starts().clear();
        Result() = result;
    }
    ~ScopedStarts() { g_shellExecute = previous_; }
    ScopedStarts(const ScopedStarts &) = delete;
    ScopedStarts &operator=(const ScopedStarts &) = delete;

    // What ShellExecuteA returns from now on (above 32: started).
    void ReturnFromNowOn(INT_PTR result) { Result() = result; }
    const std::vector<Start> &starts() const { return Starts(); }
    // "file|parameters" of each start.
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        for (const Start &start : Starts())
            lines.push_back(start.Line());
        return lines;
    }

private:
    static std::vector<Start> &Starts() {
        static std::vector<Start> starts;
        return starts;
    }
    static INT_PTR &Result() {
        static INT_PTR result = 42;
        return result;
    }
    static HINSTANCE WINAPI Fake(HWND, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR folder, INT show) {
        Starts().push_back({verb ? verb : "", file ? file : "", parameters ? parameters : "", folder ? folder : "",
                            show, KorvaneMutexExists()});
        return reinterpret_cast<HINSTANCE>(Result());
    }
    decltype(g_shellExecute) previous_;
};

// Every test begins and ends without a scheduler key, in English, with the program's resources.
class SchedulerTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_instance = GetModuleHandleA(nullptr);
        SetLanguage(Program::Scheduler, false);
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, kSchedulerKey);
    }
    void TearDown() override { SHDeleteKeyA(HKEY_LOCAL_MACHINE, kSchedulerKey); }
    // A set time that the rule takes for due now (the minute of the local clock), away from the
    // end of a minute so that the test does not cross into the next one.
    static SYSTEMTIME DueNow() {
        SYSTEMTIME now;
        for (GetLocalTime(&now); now.wSecond >= 50; GetLocalTime(&now))
            Sleep(200);
        WriteSchedulerDword(schedval::kTimeHour, now.wHour);
        WriteSchedulerDword(schedval::kTimeMin, now.wMinute);
        WriteSchedulerDword(schedval::kKind, kKindEveryDay);
        return now;
    }
};
