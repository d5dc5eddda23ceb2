// The switches, the single-instance mutexes (a resident that is still ending lets a new one start),
// and the start of programs with its error box.
#include "scheduler_fixture.h"

#include "scoped_messages.h"

#include <atomic>
#include <thread>

namespace {

TEST(Instance, TheWholeArgumentTextChoosesTheFace) {
    struct Case {
        const char *arguments;
        StartSwitch face;
    };
    const Case cases[] = {
        {"/s", StartSwitch::Resident}, {"/S", StartSwitch::Resident},     {"/j", StartSwitch::Stop},
        {"/J", StartSwitch::Stop},     {"/js", StartSwitch::StopAndWait}, {"/jS", StartSwitch::StopAndWait},
        {"", StartSwitch::Settings},   {nullptr, StartSwitch::Settings},  {"/s ", StartSwitch::Settings},
        {"/x", StartSwitch::Settings}, {"/s /j", StartSwitch::Settings},  {"s", StartSwitch::Settings},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.face, ParseStartSwitch(c.arguments)) << (c.arguments ? c.arguments : "(null)");
}

// A thread of its own holds a mutex the way another process would.
class MutexHolder {
public:
    // Holds the mutex until released after holdMs (-1: until the thread ends without releasing).
    MutexHolder(const char *name, int holdMs, bool releaseAtEnd = true)
        : thread_([=] {
              HANDLE handle = CreateMutexA(nullptr, TRUE, name);
              taken_ = true;
              Sleep(DWORD(holdMs));
              if (releaseAtEnd) ReleaseMutex(handle);
              CloseHandle(handle);
          }) {
        while (!taken_)
            Sleep(1);
    }
    ~MutexHolder() { thread_.join(); }

private:
    std::atomic<bool> taken_{false};
    std::thread thread_;
};

TEST(Instance, ANewResidentWaitsForOneThatIsEnding) {
    const char kName[] = "korvtask_test_resident";
    {
        NamedMutex free(kName);
        EXPECT_FALSE(free.Existed());
        EXPECT_TRUE(free.Owned());
    }
    {
        MutexHolder ending(kName, 300);
        NamedMutex next(kName);
        EXPECT_TRUE(next.Existed());
        EXPECT_FALSE(next.Owned());
        EXPECT_TRUE(next.WaitOwned(kEndingInstanceWaitMs)) << "released while we wait";
    }
    {
        MutexHolder ended(kName, 300, false);
        NamedMutex next(kName);
        EXPECT_TRUE(next.WaitOwned(kEndingInstanceWaitMs)) << "abandoned counts as free";
    }
    {
        MutexHolder alive(kName, 600);
        NamedMutex second(kName);
        EXPECT_FALSE(second.WaitOwned(200)) << "a live resident keeps it";
    }
}

TEST(Instance, StartsFromTheProgramFolderAndExplainsAFailure) {
    SetLanguage(Program::Scheduler, false);
    ScopedStarts starts;
    ScopedMessages boxes;
    EXPECT_TRUE(StartProgram(nullptr, "KORVANE.EXE", "/A"));
    starts.ReturnFromNowOn(2);
    EXPECT_FALSE(StartProgram(nullptr, "KORVANE.EXE", "/A"));
    starts.ReturnFromNowOn(32);
    EXPECT_FALSE(StartProgram(nullptr, "KORVTASK.EXE", ""));

    ASSERT_EQ(3u, starts.starts().size());
    const ScopedStarts::Start &first = starts.starts()[0];
    EXPECT_EQ("open", first.verb);
    EXPECT_EQ("KORVANE.EXE|/A", first.Line());
    EXPECT_EQ(".", first.folder);
    EXPECT_EQ(SW_SHOWNORMAL, first.show);
    auto calls = boxes.calls();
    ASSERT_EQ(2u, calls.size());
    EXPECT_EQ("Error:\nKORVANE.EXE /A\n\nThe specified file was not found.", calls[0].text);
    EXPECT_EQ("Tidewell scheduler", calls[0].caption);
    EXPECT_EQ(UINT(MB_ICONERROR), calls[0].type & MB_ICONMASK);
    EXPECT_EQ("Error:\nKORVTASK.EXE\n\nThe specified dynamic-link library was not found. ", calls[1].text);
}

} // namespace
