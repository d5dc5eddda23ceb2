// The run log's line format in both languages, trace fields, elapsed times, and whole lines from
// several threads at once.
#include "runlog.h"

#include "language.h"
#include "log_capture.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

SYSTEMTIME Moment(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
    SYSTEMTIME time = {};
    time.wYear = year;
    time.wMonth = month;
    time.wDay = day;
    time.wHour = hour;
    time.wMinute = minute;
    time.wSecond = second;
    return time;
}

TEST(RunLogFormat, LinesInBothLanguages) {
    SYSTEMTIME december = Moment(2026, 12, 6, 15, 59, 3);
    EXPECT_EQ("Dec  6, 2026 15:59:03 [QS]Rebooted\n", FormatLogLine(false, december, "QS", "Rebooted"));
    EXPECT_EQ("2026/12/ 6 15:59:03 [QS]Rebooted\n", FormatLogLine(true, december, "QS", "Rebooted"));
    SYSTEMTIME january = Moment(2027, 1, 15, 7, 5, 9);
    EXPECT_EQ("Jan 15, 2027  7:05:09 [KV]x\n", FormatLogLine(false, january, "KV", "x"));
    EXPECT_EQ("2027/ 1/15  7:05:09 [KV]x\n", FormatLogLine(true, january, "KV", "x"));
}

TEST(RunLogFormat, TraceFieldNamesModuleAndLine) {
    EXPECT_EQ("QS", LogField("QS", false, "QS", 31));
    EXPECT_EQ("QS:0031", LogField("QS", true, "QS", 31));
    EXPECT_EQ("rnsrun:1234", LogField("KV", true, "rnsrun", 1234));
    EXPECT_EQ("KV", LogField("KV", true, nullptr, 12)) << "no module: the normal field even in trace mode";
}

TEST(RunLogFormat, ElapsedTimeIsNotWrappedAtADay) {
    EXPECT_EQ("(25:01:01.001)", FormatElapsed(false, 90061001));
    EXPECT_EQ("( 0:00:00.000)", FormatElapsed(false, 0));
    EXPECT_EQ("(1193:02:47.295)", FormatElapsed(false, 0xFFFFFFFF));
}

TEST(RunLogFormat, BuildStampReadsLikeTheClock) {
    EXPECT_EQ("Sat Sep 19 03:28:11 2015", BuildStampFrom("Sep 19 2015", "03:28:11"));
    EXPECT_EQ("Mon Dec  7 20:05:59 2026", BuildStampFrom("Dec  7 2026", "20:05:59"));
    EXPECT_EQ("Tue Mar  1 00:00:00 2016", BuildStampFrom("Mar  1 2016", "00:00:00"));
}

TEST(RunLogWriter, WritesCompleteLinesAndDropsNothing) {
    SetLanguage(Program::QuietShell, false);
    LogCapture log;
    EXPECT_EQ(nullptr, LogLine("QS", 1, nullptr));
    const char *text = "plain";
    EXPECT_EQ(text, LogLine(nullptr, 1, text));
    LogLine2(nullptr, 2, "Command Line - ", "CMD.EXE /C exit 3");
    SetTraceMode(true);
    TraceLine("QS", 77, "mainThread:61");
    SetTraceMode(false);
    TraceLine("QS", 78, "not written");
    std::vector<std::string> texts = log.Texts();
    ASSERT_EQ(3u, texts.size());
    EXPECT_EQ("plain", texts[0]);
    EXPECT_EQ("Command Line - CMD.EXE /C exit 3", texts[1]);
    EXPECT_EQ("mainThread:61", texts[2]);
    EXPECT_NE(std::string::npos, log.Lines()[2].find("[QS:0077]"));
    EXPECT_NE(std::string::npos, log.Raw().find("plain\r\n")) << "lines end with CR LF";
}

TEST(RunLogWriter, ThreadsNeverInterleaveOrLoseLines) {
    LogCapture log;
    const int kThreads = 4, kLines = 100;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t)
        writers.emplace_back([t] {
            std::string text = "writer " + std::to_string(t) + " " + std::string(200, char('a' + t));
            for (int i = 0; i < kLines; ++i)
                LogLine(nullptr, 0, text.c_str());
        });
    for (std::thread &writer : writers)
        writer.join();
    std::vector<std::string> texts = log.Texts();
    ASSERT_EQ(size_t(kThreads * kLines), texts.size());
    for (const std::string &text : texts) {
        ASSERT_EQ(209u, text.size()) << text;
        EXPECT_EQ(std::string(200, text[7] - '0' + 'a'), text.substr(9)) << "a line mixed with another";
    }
}

} // namespace

TEST(RunLogLock, OneMutexNamePerLogFile) {
    struct Case {
        const char *a, *b;
        bool same;
    } cases[] = {
        {"C:\\Tidewell\\KORVANE.LOG", "c:\\tidewell\\korvane.log", true},
        {"C:\\Tidewell\\KORVANE.LOG", "C:/Tidewell/KORVANE.LOG", true},
        {"C:\\Tidewell\\KORVANE.LOG", "D:\\Tidewell\\KORVANE.LOG", false},
        {"C:\\Tidewell\\KORVANE.LOG", "C:\\Tidewell\\KORVANE.LOG.tmp", false},
    };
    for (const Case &c : cases) {
        std::string a = RunLogMutexName(c.a), b = RunLogMutexName(c.b);
        EXPECT_EQ(c.same, a == b) << c.a << " / " << c.b;
        EXPECT_EQ(std::string::npos, a.find('\\')) << "a mutex name holds no backslash";
    }
}
