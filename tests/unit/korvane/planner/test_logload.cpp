// The run log under load: QS's two threads and a korvane process append 10,000 lines each to one
// KORVANE.LOG at once, with and without the planner trimming it meanwhile. Every line carries its
// writer, its number and a filler whose length depends on the number, so a lost, torn or
// interleaved line shows.
#include "planner_fixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <thread>

namespace {

constexpr int kLinesEach = 10000;
// Set in the second process only: the log it writes to.
const char kChildLogVariable[] = "TIDEWELL_LOGLOAD_CHILD";

std::string LoadText(const std::string &writer, int number) {
    char head[32];
    snprintf(head, sizeof head, "%s %05d ", writer.c_str(), number);
    return head + std::string(20 + number % 181, char('a' + number % 26)) + "|";
}

void WriteLines(const std::string &writer, std::atomic<int> *written) {
    for (int i = 0; i < kLinesEach; ++i) {
        LogLine(nullptr, 0, LoadText(writer, i).c_str());
        if (written) ++*written;
    }
}

// The korvane process: this test program again, told to write as "KV" only.
class SecondWriter {
public:
    explicit SecondWriter(const std::string &log) {
        char exe[MAX_PATH];
        GetModuleFileNameA(nullptr, exe, sizeof exe);
        std::string command = std::string("\"") + exe + "\" --gtest_filter=RunLogLoadSecondProcess.Writes";
        SetEnvironmentVariableA(kChildLogVariable, log.c_str());
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        if (CreateProcessA(exe, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
            process_.Reset(info.hProcess);
            CloseHandle(info.hThread);
        }
        SetEnvironmentVariableA(kChildLogVariable, nullptr);
    }
    bool Started() const { return bool(process_); }
    // The exit code, or STILL_ACTIVE when it did not end within two minutes.
    DWORD Finish() {
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(process_.Get(), 120000) == WAIT_OBJECT_0) GetExitCodeProcess(process_.Get(), &code);
        return code;
    }

private:
    UniqueHandle process_;
};

// Each writer's numbers in file order; a line that is not exactly one writer's line is counted apart.
struct LogCheck {
    std::map<std::string, std::vector<int>> numbers;
    std::vector<std::string> bad;
};

LogCheck CheckLines(const std::vector<std::string> &texts) {
    LogCheck check;
    for (const std::string &text : texts) {
        char writer[8] = "";
        int number = -1;
        if (sscanf(text.c_str(), "%2s %d", writer, &number) == 2 && number >= 0 && number < kLinesEach &&
            text == LoadText(writer, number))
            check.numbers[writer].push_back(number);
        else
            check.bad.push_back(text);
    }
    return check;
}

// True when numbers run from first to kLinesEach - 1 without a gap.
bool ContiguousToTheEnd(const std::vector<int> &numbers, int *first) {
    if (numbers.empty()) return false;
    *first = numbers.front();
    for (size_t i = 0; i < numbers.size(); ++i)
        if (numbers[i] != *first + int(i)) return false;
    return numbers.back() == kLinesEach - 1;
}

class RunLogLoad : public PlannerTest {};

TEST(RunLogLoadSecondProcess, Writes) {
    char log[MAX_PATH];
    DWORD length = GetEnvironmentVariableA(kChildLogVariable, log, sizeof log);
    if (length == 0 || length >= sizeof log) GTEST_SKIP() << "the second writer of the other RunLogLoad tests";
    SetRunLogPath(log);
    WriteLines("KV", nullptr);
}

TEST_F(RunLogLoad, ThreeWritersLoseTearAndInterleaveNothing) {
    auto start = std::chrono::steady_clock::now();
    SecondWriter korvane(RunLogPath());
    ASSERT_TRUE(korvane.Started());
    std::thread first(WriteLines, "Q1", nullptr), second(WriteLines, "Q2", nullptr);
    first.join();
    second.join();
    ASSERT_EQ(0u, korvane.Finish());
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    LogCheck check = CheckLines(log_.Texts());
    EXPECT_TRUE(check.bad.empty()) << check.bad.size() << " torn or interleaved lines, the first: " << check.bad[0];
    for (const char *writer : {"Q1", "Q2", "KV"}) {
        int first = -1;
        const std::vector<int> &numbers = check.numbers[writer];
        EXPECT_EQ(size_t(kLinesEach), numbers.size()) << writer;
        EXPECT_TRUE(ContiguousToTheEnd(numbers, &first) && first == 0) << writer << ": lines lost or out of order";
    }
    printf("[ figures  ] %d lines from 3 writers in %.1f s\n", 3 * kLinesEach, seconds);
}

TEST_F(RunLogLoad, TrimsMeanwhileKeepEveryLaterLine) {
    auto start = std::chrono::steady_clock::now();
    SecondWriter korvane(RunLogPath());
    ASSERT_TRUE(korvane.Started());
    std::atomic<int> written[2] = {{0}, {0}};
    std::thread first(WriteLines, "Q1", &written[0]), second(WriteLines, "Q2", &written[1]);
    // The planner trims four times while the writers run; each QS thread's lines from the count it
    // had written when the last trim began must all be there.
    int beforeLastTrim[2] = {}, trims = 0;
    for (int at : {2000, 4000, 6000, 8000}) {
        while (written[0] < at && written[1] < at)
            Sleep(1);
        beforeLastTrim[0] = written[0];
        beforeLastTrim[1] = written[1];
        TrimRunLog();
        ++trims;
    }
    first.join();
    second.join();
    ASSERT_EQ(0u, korvane.Finish());
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    EXPECT_TRUE(boxes_.calls().empty()) << "a trim failed: " << boxes_.calls()[0].text;
    LogCheck check = CheckLines(log_.Texts());
    EXPECT_TRUE(check.bad.empty()) << check.bad.size() << " torn or interleaved lines, the first: " << check.bad[0];
    for (const char *writer : {"Q1", "Q2", "KV"}) {
        int first = -1;
        EXPECT_TRUE(ContiguousToTheEnd(check.numbers[writer], &first))
            << writer << ": a line written after a trim began is lost";
    }
    int oldest = -1;
    EXPECT_TRUE(ContiguousToTheEnd(check.numbers["Q1"], &oldest) && oldest <= beforeLastTrim[0]) << oldest;
    EXPECT_TRUE(ContiguousToTheEnd(check.numbers["Q2"], &oldest) && oldest <= beforeLastTrim[1]) << oldest;
    EXPECT_LT(log_.Lines().size(), size_t(3 * kLinesEach)) << "the trims took lines away";
    printf("[ figures  ] %d lines from 3 writers, %d trims, in %.1f s\n", 3 * kLinesEach, trims, seconds);
}

} // namespace
