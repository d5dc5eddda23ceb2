// Check disk before the restart: the boot-time check's BootExecute to the byte, the check-disk
// command lines, the logon pre-test with a scripted LogonUserA (its password never reaches the log
// or a message), and check disk run at once through CMD and KORVLOG.
#include "planner/rnscheck.h"
#include "planner/rnsstop.h"

#include "dialogs/alogon.h"
#include "dialog_driver.h"
#include "planner_fixture.h"
#include "resource.h"
#include "system_state.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <fstream>

namespace {

using Lines = std::vector<std::string>;

// ---- Decisions ----------------------------------------------------------------------------------

UINT FakeDriveType(const char *root) {
    switch (root[0]) {
    case 'C':
    case 'D':
    case 'F':
        return DRIVE_FIXED;
    case 'E':
        return DRIVE_CDROM;
    }
    return DRIVE_NO_ROOT_DIR;
}

TEST(BootCheck, FixedDrivesOfTheMaskInLetterOrder) {
    EXPECT_EQ("CDF", FixedDriveLetters(0, FakeDriveType)) << "0 means every fixed drive";
    EXPECT_EQ("CF", FixedDriveLetters((1u << 5) | (1u << 4) | (1u << 2), FakeDriveType)) << "E: is no fixed drive";
    EXPECT_EQ("", FixedDriveLetters(1u << 4, FakeDriveType));
}

TEST(BootCheck, BootExecuteHasOneSlotOf28BytesPerDriveAndTwoZeros) {
    std::string data = BootExecuteBytes("CDF", false);
    ASSERT_EQ(86u, data.size());
    const char *expected[] = {
        "autocheck autochk /p \\??\\C:", "autocheck autochk /p \\??\\D:", "autocheck autochk /p \\??\\F:"};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(expected[i], std::string(data.c_str() + 28 * i)) << "slot " << i;
        EXPECT_EQ('\0', data[28 * i + 27]) << "slot " << i << " ends in its zero";
    }
    EXPECT_EQ(std::string(2, '\0'), data.substr(84));
    EXPECT_EQ("autocheck autochk /r \\??\\C:", std::string(BootExecuteBytes("C", true).c_str()));
    EXPECT_EQ(30u, BootExecuteBytes("C", true).size());
    EXPECT_EQ(std::string(2, '\0'), BootExecuteBytes("", false));
}

TEST(BootCheck, OnlyOurOwnEntriesCountAsAScheduledCheck) {
    using S = std::string;
    const struct {
        std::string data;
        bool ours;
    } cases[] = {
        {BootExecuteBytes("CD", false), true},
        {S("autocheck autochk /r \\??\\C:"), true}, // unterminated
        {S("autocheck autochk *\0\0", 21), false},
        {BootExecuteBytes("C", false) + S("autocheck autochk *\0", 20), false},
        {S("autocheck autochk /x \\??\\C:\0\0", 29), false},
        {S("\0\0", 2), false},
        {S(), false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.ours, IsScheduledBootExecute(c.data)) << c.data.c_str();
}

TEST(CheckDiskNow, CommandLineByVersionRunMethodAndSurfaceScan) {
    const std::string head = "CMD.EXE /C TITLE Checking - C: & ECHO Checking C:... Don't tauch your mouse and "
                             "keyboard. Please wait... & ";
    const struct {
        unsigned short version;
        int runMethod;
        bool scan;
        const char *korvlog;
        std::string expected;
    } cases[] = {
        {501, 2, false, "C:\\TIDEWE~1\\KORVLOG.EXE",
         head + "(ECHO Y & ECHO Y) | \"C:\\TIDEWE~1\\KORVLOG.EXE\" -p CHKDSK.EXE C: /F /X"},
        {601, 4, true, "K.EXE", head + "(ECHO N & ECHO N) | \"K.EXE\" -c CHKDSK.EXE C: /F /R /X"},
        {1000, 0, false, "K.EXE", head + "(ECHO Y & ECHO Y) | \"K.EXE\" -c CHKDSK.EXE C: /F /X"},
        {400, 2, true, "K.EXE", head + "(ECHO Y & ECHO Y) | \"K.EXE\" -p CHKDSK.EXE C: /F /R"},
        {601, 2, false, "", head + "(ECHO Y & ECHO Y) | CHKDSK.EXE C: /F /X"},
    };
    for (const auto &c : cases) {
        CheckDiskLine how;
        how.windowsVersion = c.version;
        how.runMethod = c.runMethod;
        how.surfaceScan = c.scan;
        how.korvlog = c.korvlog;
        EXPECT_EQ(c.expected, CheckDiskCommandLine('C', how)) << "version " << c.version;
    }
    CheckDiskLine japanese;
    japanese.windowsVersion = 601;
    japanese.japanese = true;
    japanese.korvlog = "K.EXE";
    std::string line = CheckDiskCommandLine('D', japanese);
    EXPECT_EQ(std::string::npos, line.find("Checking")) << line;
    EXPECT_NE(std::string::npos, line.find(" & ECHO D:...")) << "the word before the drive is left out: " << line;
    EXPECT_NE(std::string::npos, line.find("| \"K.EXE\" -c CHKDSK.EXE D: /F /X")) << line;
}

TEST(LogonTest, FailureMessageNamesTheReasonAndTheError) {
    SetLanguage(Program::Korvane, false);
    EXPECT_STREQ("Bad Username/Password.", LogonFailureText(ERROR_LOGON_FAILURE, false));
    EXPECT_STREQ("Pre-check function may not be recognizable by the user of blank password.",
                 LogonFailureText(ERROR_LOGON_FAILURE, true));
    EXPECT_STREQ("", LogonFailureText(ERROR_ACCESS_DENIED, false));
    std::string expected = std::string("Account disabled.\r\n\r\nError Information:[1331]") +
                           SystemErrorText(false, 1331) + "\r\n\r\nAre you sure you want to continue?";
    EXPECT_EQ(expected, LogonFailureMessage(ERROR_ACCOUNT_DISABLED, false));
}

// ---- The boot-time check against the registry ---------------------------------------------------

class ScheduleTest : public PlannerTest {
protected:
    PlannerOptions CheckC(bool scan = false) {
        PlannerOptions options;
        options.drives = 1u << 2;
        options.surfaceScan = scan;
        return options;
    }
    RawValue Value(const char *name) { return ReadRaw(HKEY_LOCAL_MACHINE, kSessionManagerPath, name); }
    ValueGuard bootExecute_{HKEY_LOCAL_MACHINE, kSessionManagerPath, "BootExecute"};
    ValueGuard saved_{HKEY_LOCAL_MACHINE, kSessionManagerPath, "_BootExecute"};
};

TEST_F(ScheduleTest, BootExecuteIsSavedAndReplacedForTheChosenDrives) {
    const Bytes original = BytesOf("autocheck autochk *\0other\0\0", 28);
    WriteRaw(HKEY_LOCAL_MACHINE, kSessionManagerPath, "BootExecute", REG_MULTI_SZ, original);
    WriteRaw(HKEY_LOCAL_MACHINE, kSessionManagerPath, "_BootExecute", REG_SZ, BytesOf("stale", 6));
    ASSERT_TRUE(ScheduleBootCheck(CheckC(true)));

    RawValue saved = Value("_BootExecute");
    EXPECT_EQ(DWORD(REG_MULTI_SZ), saved.type);
    EXPECT_EQ(original, saved.data);
    RawValue scheduled = Value("BootExecute");
    EXPECT_EQ(DWORD(REG_MULTI_SZ), scheduled.type);
    std::string expected = BootExecuteBytes("C", true);
    EXPECT_EQ(Bytes(expected.begin(), expected.end()), scheduled.data);
    EXPECT_EQ(Lines{"$RestoreBootExecute"}, Entries());
    EXPECT_EQ((Lines{"Saved BootExecute.", "AUTOCHK Scheduled - C: [autocheck autochk /r \\??\\C:]"}), log_.Texts());

    // Planned again before QS put it back: the user's value stays the one to restore.
    Restart();
    ASSERT_TRUE(ScheduleBootCheck(CheckC(false)));
    EXPECT_EQ(original, Value("_BootExecute").data);
    expected = BootExecuteBytes("C", false);
    EXPECT_EQ(Bytes(expected.begin(), expected.end()), Value("BootExecute").data);
    EXPECT_EQ(Lines{"$RestoreBootExecute"}, Entries());
    EXPECT_TRUE(boxes_.calls().empty());
}

TEST_F(ScheduleTest, AMissingBootExecuteComesBackAsWindowsOwn) {
    DeleteRaw(HKEY_LOCAL_MACHINE, kSessionManagerPath, "BootExecute");
    ASSERT_TRUE(ScheduleBootCheck(CheckC()));
    RawValue saved = Value("_BootExecute");
    EXPECT_EQ(DWORD(REG_MULTI_SZ), saved.type);
    EXPECT_EQ(BytesOf("autocheck autochk *\0\0", 21), saved.data) << "else the check would stay for every boot";
}

TEST_F(ScheduleTest, NoFixedDriveSchedulesNothing) {
    const Bytes original = BytesOf("autocheck autochk *\0\0", 21);
    WriteRaw(HKEY_LOCAL_MACHINE, kSessionManagerPath, "BootExecute", REG_MULTI_SZ, original);
    DeleteRaw(HKEY_LOCAL_MACHINE, kSessionManagerPath, "_BootExecute");
    PlannerOptions options;
    options.drives = 1u << 25; // Z:, which the test prefix does not have
    EXPECT_FALSE(ScheduleBootCheck(options));
    EXPECT_EQ(original, Value("BootExecute").data);
    EXPECT_FALSE(Value("_BootExecute").exists);
    EXPECT_TRUE(Entries().empty());
    EXPECT_EQ(Lines{"Cannot scheduled to start AUTOCHK next reboot."}, log_.Texts());
    EXPECT_EQ(Lines{"CHKDSK was not able to scheduled to start next reboot."}, BoxTexts());
}

// ---- The logon pre-test -------------------------------------------------------------------------

struct LogonCall {
    std::string user, password;
    bool domainGiven;
    std::string domain;
    RawValue limitBlank; // LimitBlankPasswordUse while the call ran
};
std::vector<LogonCall> g_logonCalls;
DWORD g_logonError = 0;
std::deque<bool> g_confirmAnswers;
int g_confirmCalls = 0;

BOOL WINAPI FakeLogonUser(LPCSTR user, LPCSTR domain, LPCSTR password, DWORD, DWORD, PHANDLE token) {
    g_logonCalls.push_back({user, password, domain != nullptr, domain ? domain : "",
                            ReadRaw(HKEY_LOCAL_MACHINE, kLsaPath, "LimitBlankPasswordUse")});
    if (g_logonError) {
        SetLastError(g_logonError);
        return FALSE;
    }
    *token = CreateEventA(nullptr, TRUE, FALSE, nullptr); // a handle for the caller to close
    return TRUE;
}

// What the fake page stores as OffAutoLogon on OK (0 deletes it, as the page does); -1 stores nothing.
LONG g_pageStores = -1;

bool FakeConfirm(HWND) {
    ++g_confirmCalls;
    if (g_confirmAnswers.empty()) return false;
    bool answer = g_confirmAnswers.front();
    g_confirmAnswers.pop_front();
    if (answer && g_pageStores > 0) WriteSettingDword(setting::OffAutoLogon.name, g_pageStores);
    if (answer && g_pageStores == 0) DeleteRaw(HKEY_LOCAL_MACHINE, kSettingsPath, setting::OffAutoLogon.name);
    return answer;
}

std::string CurrentUser() {
    char user[257] = "";
    DWORD size = sizeof user;
    GetUserNameA(user, &size);
    return user;
}

const char kPassword[] = "Pa55-w0rd!";

class LogonPreTestTest : public PlannerTest {
protected:
    void SetUp() override {
        PlannerTest::SetUp();
        g_logonCalls.clear();
        g_logonError = 0;
        g_confirmAnswers.clear();
        g_confirmCalls = 0;
        g_pageStores = -1;
        savedLogon_ = g_logonUser;
        savedConfirm_ = g_confirmAutoLogon;
        g_logonUser = FakeLogonUser;
        g_confirmAutoLogon = FakeConfirm;
        for (const char *name : {kAutoAdminLogon, kDefaultUserName, kDefaultPassword, kDefaultDomainName})
            DeleteRaw(HKEY_LOCAL_MACHINE, kWinlogonPath, name);
    }
    void TearDown() override {
        g_logonUser = savedLogon_;
        g_confirmAutoLogon = savedConfirm_;
        // The password is the user's secret: it is never written to the log or shown.
        EXPECT_EQ(std::string::npos, log_.Raw().find(kPassword));
        for (const MessageBoxCall &box : boxes_.calls())
            EXPECT_EQ(std::string::npos, box.text.find(kPassword)) << box.text;
        PlannerTest::TearDown();
    }
    void SetAutomaticFor(const std::string &user, const char *password) {
        WriteText(HKEY_LOCAL_MACHINE, kWinlogonPath, kAutoAdminLogon, "1");
        WriteText(HKEY_LOCAL_MACHINE, kWinlogonPath, kDefaultUserName, user.c_str());
        if (password) WriteText(HKEY_LOCAL_MACHINE, kWinlogonPath, kDefaultPassword, password);
    }
    PlannerOptions options_;
    ValueGuard guards_[5] = {{HKEY_LOCAL_MACHINE, kWinlogonPath, kAutoAdminLogon},
                             {HKEY_LOCAL_MACHINE, kWinlogonPath, kDefaultUserName},
                             {HKEY_LOCAL_MACHINE, kWinlogonPath, kDefaultPassword},
                             {HKEY_LOCAL_MACHINE, kWinlogonPath, kDefaultDomainName},
                             {HKEY_LOCAL_MACHINE, kLsaPath, "LimitBlankPasswordUse"}};
    BOOL(WINAPI *savedLogon_)(LPCSTR, LPCSTR, LPCSTR, DWORD, DWORD, PHANDLE) = nullptr;
    bool (*savedConfirm_)(HWND) = nullptr;
};

TEST_F(LogonPreTestTest, AWorkingAutomaticLogonPassesWithoutAQuestion) {
    SetAutomaticFor(CurrentUser(), kPassword);
    WriteText(HKEY_LOCAL_MACHINE, kWinlogonPath, kDefaultDomainName, "WORKGROUP");
    EXPECT_TRUE(LogonPreTest(options_));
    ASSERT_EQ(1u, g_logonCalls.size());
    EXPECT_EQ(CurrentUser(), g_logonCalls[0].user);
    EXPECT_EQ(kPassword, g_logonCalls[0].password);
    EXPECT_EQ("WORKGROUP", g_logonCalls[0].domain);
    EXPECT_EQ(0, g_confirmCalls);
    EXPECT_TRUE(boxes_.calls().empty());

    // OffAutoLogon 3 switches the logon on for the run itself: the stored user is enough.
    g_logonCalls.clear();
    DeleteRaw(HKEY_LOCAL_MACHINE, kWinlogonPath, kAutoAdminLogon);
    DeleteRaw(HKEY_LOCAL_MACHINE, kWinlogonPath, kDefaultDomainName);
    WriteSettingDword(setting::OffAutoLogon.name, 3);
    options_.offAutoLogon = 3;
    EXPECT_TRUE(LogonPreTest(options_));
    ASSERT_EQ(1u, g_logonCalls.size());
    EXPECT_FALSE(g_logonCalls[0].domainGiven);
    EXPECT_EQ(0, g_confirmCalls);

    // No run method 4 test: nothing restarts.
    g_logonCalls.clear();
    options_.runMethod = 4;
    EXPECT_TRUE(LogonPreTest(options_));
    EXPECT_TRUE(g_logonCalls.empty());
}

TEST_F(LogonPreTestTest, WithoutAutomaticLogonTheUserIsAsked) {
    // Cancelled page: the run is given up.
    EXPECT_FALSE(LogonPreTest(options_));
    EXPECT_EQ(1, g_confirmCalls);
    EXPECT_EQ(Lines{"Please confirm auto logon setting for Windows."}, BoxTexts());
    EXPECT_EQ(Lines{"Canceled."}, log_.Texts());

    // OK on the page without any automatic logon: the run would stop at the logon screen.
    for (int answer : {IDNO, IDYES}) {
        SCOPED_TRACE(answer == IDYES ? "Yes" : "No");
        log_.Clear();
        g_confirmAnswers = {true};
        boxes_.Answer(IDOK);
        boxes_.Answer(answer);
        EXPECT_EQ(answer == IDYES, LogonPreTest(options_));
        std::vector<MessageBoxCall> calls = boxes_.calls();
        ASSERT_GE(calls.size(), 2u);
        EXPECT_EQ("It stops on a logon screen. Is it all right?", calls.back().text);
        EXPECT_EQ(UINT(MB_YESNO | MB_ICONQUESTION), calls.back().type);
        EXPECT_EQ(answer == IDYES ? Lines{} : Lines{"Canceled."}, log_.Texts());
    }
    EXPECT_TRUE(g_logonCalls.empty()) << "nothing to test without a user";
}

TEST_F(LogonPreTestTest, TheRunActsOnWhatTheLogonPageStored) {
    struct Case {
        const char *what;
        LONG stored, pageStores;
    } cases[] = {
        {"no automatic logon, then every run", 0, 3},
        {"every run for another user, then do not use", 3, 0},
        {"once, then once and delete the password", 1, 2},
    };
    SetAutomaticFor("someone-else", kPassword);
    DeleteRaw(HKEY_LOCAL_MACHINE, kWinlogonPath, kAutoAdminLogon);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        WriteSettingDword(setting::OffAutoLogon.name, c.stored);
        options_.offAutoLogon = c.stored;
        g_pageStores = c.pageStores;
        g_confirmAnswers = {true};
        boxes_.Answer(IDOK); // "Please confirm auto logon setting for Windows."
        if (c.pageStores == 0) boxes_.Answer(IDYES); // "It stops on a logon screen. Is it all right?"
        g_logonError = 0;
        EXPECT_TRUE(LogonPreTest(options_));
        EXPECT_EQ(c.pageStores, options_.offAutoLogon);
    }
}

TEST_F(LogonPreTestTest, ABlankPasswordIsAllowedOnlyForTheTest) {
    SetAutomaticFor(CurrentUser(), nullptr);
    WriteSettingDword(setting::warn_logontest.name, 1); // the failure is accepted without a question
    g_logonError = ERROR_LOGON_FAILURE;
    for (bool present : {true, false}) {
        SCOPED_TRACE(present ? "LimitBlankPasswordUse 1" : "LimitBlankPasswordUse absent");
        g_logonCalls.clear();
        log_.Clear();
        if (present)
            WriteDword(HKEY_LOCAL_MACHINE, kLsaPath, "LimitBlankPasswordUse", 1);
        else
            DeleteRaw(HKEY_LOCAL_MACHINE, kLsaPath, "LimitBlankPasswordUse");
        EXPECT_TRUE(LogonPreTest(options_));
        ASSERT_EQ(1u, g_logonCalls.size());
        EXPECT_EQ(Bytes({0, 0, 0, 0}), g_logonCalls[0].limitBlank.data) << "lifted during the call";
        RawValue after = ReadRaw(HKEY_LOCAL_MACHINE, kLsaPath, "LimitBlankPasswordUse");
        EXPECT_EQ(present, after.exists);
        if (present) {
            EXPECT_EQ(Bytes({1, 0, 0, 0}), after.data);
        }
        ASSERT_EQ(1u, log_.Texts().size());
        EXPECT_EQ(0u, log_.Texts()[0].find("Pre-check function may not be recognizable by the user of blank "
                                           "password. Error Information:[1326]"))
            << "one log line, each run of line breaks a blank: " << log_.Texts()[0];
    }
    EXPECT_TRUE(boxes_.calls().empty());
}

TEST_F(LogonPreTestTest, AFailedTestAnsweredNoReopensTheLogonPage) {
    SetAutomaticFor(CurrentUser(), kPassword);
    g_logonError = ERROR_LOGON_FAILURE;
    std::string heading, body, title;
    DialogDriver driver("Tidewell", [&](HWND dialog) {
        title = DialogDriver::Text(dialog);
        heading = DialogDriver::ItemText(dialog, IDC_NOTIFY_HEADING);
        body = DialogDriver::ItemText(dialog, IDC_NOTIFY_TEXT);
        DialogDriver::Command(dialog, IDCANCEL);
    });
    EXPECT_FALSE(LogonPreTest(options_)) << "the page was cancelled after the No";
    ASSERT_TRUE(driver.Join()) << "the Notify question never appeared";
    EXPECT_EQ("Logon Test failed.", heading);
    EXPECT_EQ(0u, body.find("Bad Username/Password.\r\n\r\nError Information:[1326]")) << body;
    EXPECT_EQ(1, g_confirmCalls);
    EXPECT_TRUE(boxes_.calls().empty()) << "no information box the second time round";
    EXPECT_EQ("Canceled.", log_.Texts().back());
}

// ---- Check disk now -----------------------------------------------------------------------------

std::vector<std::string> g_qsStarts;

bool FakeStartQuietShell(const char *mode) {
    g_qsStarts.push_back(mode);
    return true;
}

class CheckNowTest : public PlannerTest {
protected:
    void SetUp() override {
        PlannerTest::SetUp();
        g_qsStarts.clear();
        saved_ = g_startQuietShell;
        g_startQuietShell = FakeStartQuietShell;
        g_windowsVersion = 601;
        WriteText(HKEY_CURRENT_USER, "Control Panel\\desktop", "ScreenSaveActive", "1");
    }
    void TearDown() override {
        g_startQuietShell = saved_;
        DeleteFileA(standIn_.c_str());
        PlannerTest::TearDown();
    }
    // Log texts without the elapsed time of the timed steps.
    Lines Texts() const {
        Lines texts;
        for (std::string text : log_.Texts()) {
            size_t time = text.rfind("( ");
            if (time != std::string::npos && text.back() == ')') text.erase(time);
            texts.push_back(text);
        }
        return texts;
    }
    void WriteStandIn(const std::string &bytes) const {
        std::ofstream file(standIn_, std::ios::binary | std::ios::trunc);
        file << bytes;
        ASSERT_TRUE(file.good()) << standIn_;
    }
    bool (*saved_)(const char *) = nullptr;
    ValueGuard saver_{HKEY_CURRENT_USER, "Control Panel\\desktop", "ScreenSaveActive"};
    std::string standIn_ = ProgramFolder() + "CHKDSK.EXE";
};

TEST_F(CheckNowTest, EachDriveIsCheckedBehindTheBlackScreenAndItsExitCodeLogged) {
    ASSERT_FALSE(KorvlogShortPath().empty()) << "KORVLOG.EXE must lie beside the test";
    PlannerOptions options;
    options.drives = 1u << 2;
    options.screenOff = 2;
    // No test may check a real disk: each run finds a stand-in CHKDSK.EXE beside KORVLOG first. The
    // first is no program at all; KORVLOG cannot start it and says so with its exit code.
    WriteStandIn("MZ but no program");
    CheckDiskNow(options);
    // KORVLOG itself, given CHKDSK's arguments, ends with its usage code 2.
    ASSERT_TRUE(CopyFileA((ProgramFolder() + "KORVLOG.EXE").c_str(), standIn_.c_str(), FALSE));
    options.screenOff = 0;
    CheckDiskNow(options);

    EXPECT_EQ((Lines{"/S", "/X", "/S", "/X"}), g_qsStarts) << "the black screen, whatever screenOff says";
    std::string command = CheckDiskCommandLine('C', {601, 2, false, false, KorvlogShortPath()});
    Lines expected;
    for (const char *code : {"9009", "2"}) {
        expected.push_back("The wall paper was shunted.");
        expected.push_back("Checking - C: [CHKDSK.EXE C: /F /X]");
        expected.push_back("Command Line - " + command);
        expected.push_back(std::string("  Return Code = ") + code);
        expected.push_back(code[0] == '2' ? CheckDiskResultText(2) : "Chkdsk was finished.");
        expected.push_back("The wall paper was restored.");
        if (code[0] == '9') expected.push_back("Turn off : auxvso.");
    }
    EXPECT_EQ(expected, Texts());
    RawValue saver = ReadRaw(HKEY_CURRENT_USER, "Control Panel\\desktop", "ScreenSaveActive");
    EXPECT_STREQ("1", reinterpret_cast<const char *>(saver.data.data())) << "the screen saver is back";
}

// While check disk runs the saver is off: a planner killed then must leave the entry that puts it
// back, and a run planned over that list must carry the entry on. The stored value is what a
// restart reads, so it alone asks for the entry, and it comes back as it was even where the
// session's state says otherwise (Wine keeps that state apart from the registry).
TEST_F(CheckNowTest, TheStoredScreenSaverHasItsWayBackInTheListAndComesBackAsItWas) {
    struct Case {
        const char *stored; // nullptr: no value
        BOOL active;        // the session's state
        bool queued;
        const char *after;
    };
    const Case cases[] = {
        {"1", TRUE, true, "1"},           {"0", FALSE, false, "0"}, {"0", TRUE, false, "0"},
        {"1", FALSE, true, "1"},          {"2", FALSE, true, "2"},  {nullptr, TRUE, true, "1"},
        {nullptr, FALSE, false, nullptr},
    };
    static Lines atPoint;
    void (*savedAction)(const char *) = g_stopPointAction;
    g_stopPointAction = [](const char *change) {
        if (strcmp(change, "ScreenSaveActive 0") == 0) atPoint = Entries();
    };
    BOOL sessionBefore = FALSE;
    SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &sessionBefore, 0);
    PlannerOptions options;
    options.drives = 1u << 2;
    WriteStandIn("MZ but no program");
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.stored ? c.stored : "(none)") + (c.active ? ", on" : ", off"));
        Restart();
        atPoint = {};
        SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, c.active, nullptr, 0);
        if (c.stored)
            WriteText(HKEY_CURRENT_USER, "Control Panel\\desktop", "ScreenSaveActive", c.stored);
        else
            DeleteRaw(HKEY_CURRENT_USER, "Control Panel\\desktop", "ScreenSaveActive");
        CheckDiskNow(options);

        EXPECT_EQ(c.queued ? Lines{kScreenSaverRestore} : Lines{}, atPoint);
        RawValue after = ReadRaw(HKEY_CURRENT_USER, "Control Panel\\desktop", "ScreenSaveActive");
        EXPECT_EQ(c.after != nullptr, after.exists);
        if (c.after && after.exists) {
            EXPECT_STREQ(c.after, reinterpret_cast<const char *>(after.data.data()));
        }
        BOOL sessionAfter = !c.active;
        SystemParametersInfoA(SPI_GETSCREENSAVEACTIVE, 0, &sessionAfter, 0);
        EXPECT_EQ(c.active, sessionAfter) << "the session's saver as it was";
    }
    SystemParametersInfoA(SPI_SETSCREENSAVEACTIVE, sessionBefore, nullptr, 0);
    g_stopPointAction = savedAction;
    EXPECT_EQ(Lines{}, BoxTexts());

    EXPECT_EQ(Lines{kScreenSaverRestore}, RestoresToCarry({"$LOG x", kScreenSaverRestore, "$End Boot"}).first);
}

} // namespace
