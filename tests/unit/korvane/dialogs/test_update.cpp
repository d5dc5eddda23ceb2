// The update check: the request and reply rules, the exchange on a scripted connection, whole checks
// against a small HTTP server on 127.0.0.1 reached through the proxy setting (manual and automatic,
// every outcome, time-outs and refused connections), the worker's threads and flags, the
// "Checking Update" dialog driven from a second thread, and the main window's close request.
#include "dialogs/update.h"
#include "startup/startup.h"
#include "window/korvwin.h"

#include <winsock.h>

#include "dialog_driver.h"
#include "key_access.h"
#include "korvane_version.h"
#include "main_window_session.h"
#include "planner_fixture.h"
#include "resource.h"
#include "system_state.h"

#include <gtest/gtest.h>
#include <process.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr DWORD kOwnVersion = 10000;
const std::string kHost = KORVANE_UPDATE_HOST;
const char kNewer[] = "The new version was found. Do you browse Halvorn's web site?";
const char kNewerAutomatic[] =
    "The new version was found. Do you browse Halvorn's web site?\n([Cencel] : It does not notify any longer.)";
const char kSame[] = "The new version was not found.";
const char kOlder[] = "This version is not released.";
const char kNotFound[] = "Update Information was not found.";
const char kConnectFailed[] = "Connect failed.";

DWORD Since(DWORD start) {
    return GetTickCount() - start;
}

bool WaitFor(const std::function<bool()> &condition, int milliseconds = 10000) {
    for (int waited = 0; !condition(); waited += 10) {
        if (waited >= milliseconds) return false;
        Sleep(10);
    }
    return true;
}

// ---- Plain rules --------------------------------------------------------------------------------

TEST(UpdatePieces, TheRequestIsExactlyThreeLinesAndAnEmptyOne) {
    EXPECT_EQ("GET /update.txt HTTP/1.0\r\nUser-Agent: lumenlib [ja] (korv4)\r\nHost: www.maker.example\r\n\r\n",
              UpdateRequestText("www.maker.example", false));
    EXPECT_EQ("GET http://www.maker.example/update.txt HTTP/1.1\r\nUser-Agent: lumenlib [ja] (korv4)\r\n"
              "Host: www.maker.example\r\n\r\n",
              UpdateRequestText("www.maker.example", true));
}

TEST(UpdatePieces, OnlyTheFirstTagWithFiveDigitsAndAFullStopIsAVersion) {
    struct Case {
        std::string reply;
        bool beta;
        long version;
    } cases[] = {
        {"HTTP/1.0 200 OK\r\n\r\nver_korv:10001.\r\n", false, 10001},
        {"ver_korv:00000.", false, 0},
        {"ver_korv:99999.", false, 99999},
        {"ver_korv:1000.", false, -1},             // four digits
        {"ver_korv:100001.", false, -1},           // six digits
        {"ver_korv:10001", false, -1},             // no full stop (yet)
        {"ver_korv:10001,", false, -1},            // another mark
        {"ver_korv:1a001.", false, -1},            // a letter among the digits
        {"ver_korv: 10001.", false, -1},           // a blank before them
        {"VER_KORV:10001.", false, -1},            // the tag in other letter case
        {"ver_korv:1000. ver_korv:10002.", false, -1}, // the first tag counts, however broken
        {"betakorv:10002.", false, -1},            // the beta tag without the beta flag
        {"ver_korv:10001.", true, -1},             // the release tag with it
        {"ver_korv:10001.betakorv:10003.", true, 10003},
        {std::string("junk\0\0ver_korv:12345.", 22), false, 12345}, // zero bytes hide nothing
        {"", false, -1},
        {"ver_korv:", false, -1},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.version, FindUpdateVersion(c.reply.data(), c.reply.size(), c.beta)) << c.reply;
    // Bytes beyond the length given are never read.
    const char cut[] = "ver_korv:10001.";
    EXPECT_EQ(-1, FindUpdateVersion(cut, sizeof cut - 2, false));
}

TEST(UpdatePieces, PortNumbersRunFromOneTo65535) {
    struct Case {
        const char *text;
        unsigned short port;
    } cases[] = {
        {"80", 80},       {"1", 1},       {"65535", 65535}, {"08080", 8080}, {"0", 0},          {"65536", 0},
        {"73616", 0},     {"-80", 0},     {"+80", 0},       {" 80", 0},      {"80 ", 0},        {"8o", 0},
        {"", 0},          {"99999999999999999999", 0},      {"http", 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.port, ParsePortNumber(c.text)) << c.text;
    EXPECT_EQ(0, ParsePortNumber(nullptr));
}

TEST(UpdatePieces, TheReplyIsAwaitedWhileNoMoreWholeSecondsThanTheTimeoutHavePassed) {
    EXPECT_EQ(1000u, ReplyWaitLimitMs(0));
    EXPECT_EQ(7000u, ReplyWaitLimitMs(6));
    EXPECT_EQ(0x7FFFFFFFu, ReplyWaitLimitMs(0xFFFFFFFF)) << "never a limit that wraps";
}

TEST(UpdatePieces, OutcomesAndWhoIsToldOfThem) {
    SetLanguage(Program::Korvane, false);
    struct Case {
        bool connected;
        long version;
        UpdateOutcome outcome;
    } cases[] = {
        {false, -1, UpdateOutcome::ConnectFailed}, {false, 10001, UpdateOutcome::ConnectFailed},
        {true, -1, UpdateOutcome::NotFound},       {true, 10001, UpdateOutcome::Newer},
        {true, 10000, UpdateOutcome::Same},        {true, 9999, UpdateOutcome::Older},
        {true, 0, UpdateOutcome::Older},
    };
    for (const Case &c : cases) {
        ExchangeResult result;
        result.connected = c.connected;
        result.version = c.version;
        EXPECT_EQ(c.outcome, EvaluateUpdate(result, kOwnVersion)) << c.connected << " " << c.version;
    }
    for (UpdateOutcome outcome :
         {UpdateOutcome::NotFound, UpdateOutcome::Same, UpdateOutcome::Older, UpdateOutcome::ConnectFailed}) {
        EXPECT_TRUE(OutcomeTold(outcome, true));
        EXPECT_FALSE(OutcomeTold(outcome, false)) << "the automatic check is silent";
    }
    EXPECT_TRUE(OutcomeTold(UpdateOutcome::Newer, false));

    struct Box {
        UpdateOutcome outcome;
        bool manual;
        const char *text;
        UINT type;
    } boxes[] = {
        {UpdateOutcome::Newer, true, kNewer, MB_YESNO | MB_ICONQUESTION},
        {UpdateOutcome::Newer, false, kNewerAutomatic, MB_YESNOCANCEL | MB_ICONQUESTION},
        {UpdateOutcome::Same, true, kSame, MB_ICONINFORMATION},
        {UpdateOutcome::Older, true, kOlder, MB_ICONWARNING},
        {UpdateOutcome::NotFound, true, kNotFound, MB_ICONERROR},
        {UpdateOutcome::ConnectFailed, true, kConnectFailed, MB_ICONERROR},
    };
    for (const Box &b : boxes) {
        UpdateMessage message = OutcomeMessage(b.outcome, b.manual, true);
        EXPECT_STREQ(b.text, message.text);
        EXPECT_EQ(b.type, message.type) << b.text;
    }
    SetLanguage(Program::Korvane, true);
    std::string closing = OutcomeMessage(UpdateOutcome::Newer, true, true).text;
    std::string staying = OutcomeMessage(UpdateOutcome::Newer, true, false).text;
    EXPECT_NE(closing, staying) << "the Japanese question says whether Tidewell closes";
    EXPECT_NE(std::string::npos, std::string(OutcomeMessage(UpdateOutcome::Newer, false, true).text).find(closing));
    SetLanguage(Program::Korvane, false);
}

// ---- The exchange on a scripted connection ------------------------------------------------------

class ScriptedTransport : public UpdateTransport {
public:
    enum Kind { kData, kClosed, kError, kEmpty };
    struct Event {
        Kind kind;
        std::string bytes;
    };

    int Connect(const char *host, const char *port) override {
        ++connects;
        this->host = host;
        this->port = port;
        return connectCode;
    }
    bool Send(const std::string &text) override {
        sent = text;
        return sendWorks;
    }
    Wait WaitReadable(DWORD milliseconds) override {
        ++waits;
        if (!events.empty()) return kReadable;
        Sleep(milliseconds); // as select would, with nothing coming
        return kTimedOut;
    }
    int Receive(char *buffer, int size) override {
        ++receives;
        asked += size_t(size);
        if (events.empty()) return kNothingYet;
        Event event = events.front();
        events.pop_front();
        switch (event.kind) {
        case kData: {
            size_t taken = std::min(size_t(size), event.bytes.size());
            memcpy(buffer, event.bytes.data(), taken);
            if (taken < event.bytes.size()) events.push_front({kData, event.bytes.substr(taken)});
            return int(taken);
        }
        case kClosed:
            return 0;
        case kError:
            return kFailed;
        default:
            return kNothingYet;
        }
    }
    void Close() override { ++closes; }

    int connectCode = 0;
    bool sendWorks = true;
    std::deque<Event> events;
    std::string host, port, sent;
    int connects = 0, waits = 0, receives = 0, closes = 0;
    size_t asked = 0;
};

UpdateCheckRequest ProxyRequest(const std::string &port, DWORD timeout = 6) {
    UpdateCheckRequest request;
    request.proxyHost = "127.0.0.1";
    request.proxyPort = port;
    request.timeoutSeconds = timeout;
    return request;
}

TEST(UpdateExchange, DirectlyToPort80OrThroughTheProxy) {
    ScriptedTransport direct;
    direct.events = {{ScriptedTransport::kData, "ver_korv:10001."}};
    UpdateCheckRequest request;
    ExchangeResult result = ExchangeUpdate(direct, "www.maker.example", request);
    EXPECT_EQ("www.maker.example", direct.host);
    EXPECT_EQ("80", direct.port);
    EXPECT_EQ(UpdateRequestText("www.maker.example", false), direct.sent);
    EXPECT_TRUE(result.connected);
    EXPECT_EQ(10001, result.version);
    EXPECT_EQ(1, direct.closes);

    ScriptedTransport proxy;
    proxy.events = {{ScriptedTransport::kData, "ver_korv:1"}, {ScriptedTransport::kEmpty, ""},
                    {ScriptedTransport::kData, "0002.rest"}};
    result = ExchangeUpdate(proxy, "www.maker.example", ProxyRequest("8080"));
    EXPECT_EQ("127.0.0.1", proxy.host);
    EXPECT_EQ("8080", proxy.port);
    EXPECT_EQ(UpdateRequestText("www.maker.example", true), proxy.sent);
    EXPECT_EQ(10002, result.version) << "a tag split over two receives is found";
}

TEST(UpdateExchange, AFailedConnectionOrSendIsAConnectionFailure) {
    ScriptedTransport refused;
    refused.connectCode = UpdateConnection::kRefused;
    ExchangeResult result = ExchangeUpdate(refused, "host", ProxyRequest("1"));
    EXPECT_EQ(UpdateOutcome::ConnectFailed, EvaluateUpdate(result, kOwnVersion));
    EXPECT_EQ(UpdateConnection::kRefused, result.connectCode);
    EXPECT_TRUE(refused.sent.empty());

    ScriptedTransport unsent;
    unsent.sendWorks = false;
    unsent.events = {{ScriptedTransport::kData, "ver_korv:10001."}};
    result = ExchangeUpdate(unsent, "host", ProxyRequest("1"));
    EXPECT_EQ(UpdateOutcome::ConnectFailed, EvaluateUpdate(result, kOwnVersion)) << "not \"not found\"";
    EXPECT_EQ(0, unsent.receives) << "no reply is awaited for a request never sent";
    EXPECT_EQ(1, unsent.closes);
}

TEST(UpdateExchange, AClosedConnectionOrASocketErrorEndsTheWaitAtOnce) {
    for (ScriptedTransport::Kind end : {ScriptedTransport::kClosed, ScriptedTransport::kError}) {
        ScriptedTransport transport;
        transport.events = {{ScriptedTransport::kData, "HTTP/1.0 200 OK\r\n\r\nno version here"}, {end, ""}};
        DWORD start = GetTickCount();
        ExchangeResult result = ExchangeUpdate(transport, "host", ProxyRequest("1", 30));
        EXPECT_LT(Since(start), 5000u) << "a 30-second time-out is not waited out";
        EXPECT_EQ(UpdateOutcome::NotFound, EvaluateUpdate(result, kOwnVersion));
        EXPECT_EQ(2, transport.receives);
    }
}

TEST(UpdateExchange, TheWaitIsSpentInTheWaitNotInPolling) {
    ScriptedTransport silent;
    DWORD start = GetTickCount();
    ExchangeResult result = ExchangeUpdate(silent, "host", ProxyRequest("1", 0));
    DWORD took = Since(start);
    EXPECT_GE(took, 900u) << "the first second belongs to a time-out of 0";
    EXPECT_LT(took, 5000u);
    EXPECT_EQ(UpdateOutcome::NotFound, EvaluateUpdate(result, kOwnVersion));
    EXPECT_EQ(0, silent.receives) << "nothing is read before the socket says it can be";
    EXPECT_LT(silent.waits, 50) << "a few waits, not a loop";
}

TEST(UpdateExchange, NoMoreThan2090BytesAreRead) {
    ScriptedTransport transport;
    transport.events = {{ScriptedTransport::kData, std::string(3000, 'x') + "ver_korv:10001."}};
    ExchangeResult result = ExchangeUpdate(transport, "host", ProxyRequest("1", 30));
    EXPECT_EQ(-1, result.version) << "the tag lies beyond what is read";
    EXPECT_EQ(kUpdateReceiveLimit, transport.asked);

    ScriptedTransport edge;
    edge.events = {{ScriptedTransport::kData, std::string(kUpdateReceiveLimit - 15, 'x') + "ver_korv:10001."}};
    EXPECT_EQ(10001, ExchangeUpdate(edge, "host", ProxyRequest("1", 30)).version);
}

// ---- A small HTTP server on 127.0.0.1 -----------------------------------------------------------

// A TCP socket bound to a free port of 127.0.0.1 (Winsock started by the caller).
SOCKET BindLoopback(unsigned short *port) {
    SOCKET bound = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = inet_addr("127.0.0.1");
    bind(bound, reinterpret_cast<sockaddr *>(&address), sizeof address);
    int length = sizeof address;
    getsockname(bound, reinterpret_cast<sockaddr *>(&address), &length);
    *port = ntohs(address.sin_port);
    return bound;
}

class LoopbackServer {
public:
    enum class Mode { Reply, Silent, HoldThenReply };

    explicit LoopbackServer(Mode mode, std::string reply = std::string()) : mode_(mode), reply_(std::move(reply)) {
        WSADATA data;
        WSAStartup(MAKEWORD(1, 1), &data);
        listener_ = BindLoopback(&port_);
        listen(listener_, 5);
        thread_ = std::thread([this] { Run(); });
    }
    ~LoopbackServer() {
        stop_ = true;
        thread_.join();
        closesocket(listener_);
        WSACleanup();
    }
    LoopbackServer(const LoopbackServer &) = delete;
    LoopbackServer &operator=(const LoopbackServer &) = delete;

    std::string PortText() const { return std::to_string(port_); }
    unsigned short port() const { return port_; }
    std::vector<std::string> Requests() const {
        std::lock_guard<std::mutex> lock(lock_);
        return requests_;
    }
    bool WaitForRequests(size_t count) {
        return WaitFor([&] { return Requests().size() >= count; });
    }
    void Release() { released_ = true; }

private:
    static bool Readable(SOCKET socket, int milliseconds) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(socket, &set);
        timeval limit = {0, milliseconds * 1000};
        return select(0, &set, nullptr, nullptr, &limit) > 0;
    }
    void Run() {
        while (!stop_) {
            if (!Readable(listener_, 20)) continue;
            SOCKET client = accept(listener_, nullptr, nullptr);
            if (client == INVALID_SOCKET) continue;
            Serve(client);
            closesocket(client);
        }
    }
    std::string ReadRequest(SOCKET client) {
        std::string request;
        char chunk[512];
        DWORD start = GetTickCount();
        while (request.find("\r\n\r\n") == std::string::npos && Since(start) < 5000 && !stop_) {
            if (!Readable(client, 20)) continue;
            int got = recv(client, chunk, sizeof chunk, 0);
            if (got <= 0) break;
            request.append(chunk, size_t(got));
        }
        return request;
    }
    // Until the server stops or the client hangs up.
    void Hold(SOCKET client, const std::function<bool()> &until) {
        char chunk[64];
        while (!stop_ && !until()) {
            if (Readable(client, 20) && recv(client, chunk, sizeof chunk, 0) <= 0) return;
        }
    }
    void Serve(SOCKET client) {
        std::string request = ReadRequest(client);
        {
            std::lock_guard<std::mutex> lock(lock_);
            requests_.push_back(request);
        }
        if (mode_ == Mode::Silent) return Hold(client, [] { return false; });
        if (mode_ == Mode::HoldThenReply) Hold(client, [this] { return released_.load(); });
        send(client, reply_.data(), int(reply_.size()), 0);
    }

    Mode mode_;
    std::string reply_;
    SOCKET listener_ = INVALID_SOCKET;
    unsigned short port_ = 0;
    mutable std::mutex lock_;
    std::vector<std::string> requests_;
    std::atomic<bool> stop_{false}, released_{false};
    std::thread thread_;
};

// A port on which nothing listens: one that was just free.
std::string UnusedPort() {
    WSADATA data;
    WSAStartup(MAKEWORD(1, 1), &data);
    unsigned short port = 0;
    closesocket(BindLoopback(&port));
    WSACleanup();
    return std::to_string(port);
}

std::string Reply(const std::string &body) {
    return "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + body;
}

TEST(UpdateConnectionTest, PortsAndDoubleConnects) {
    LoopbackServer server(LoopbackServer::Mode::Reply, Reply("x"));
    UpdateConnection connection;
    EXPECT_EQ(UpdateConnection::kConnected, connection.Connect("127.0.0.1", server.PortText().c_str()));
    EXPECT_EQ(UpdateConnection::kAlreadyConnected, connection.Connect("127.0.0.1", server.PortText().c_str()));
    connection.Close();
    for (const std::string &port : {std::string("0"), std::to_string(server.port() + 65536), std::string("-1"),
                                    std::string(""), std::string("no-such-service")}) {
        UpdateConnection refused;
        EXPECT_EQ(UpdateConnection::kBadPort, refused.Connect("127.0.0.1", port.c_str())) << port;
    }
    UpdateConnection service;
    EXPECT_NE(UpdateConnection::kBadPort, service.Connect("127.0.0.1", "http")) << "a TCP service name is a port";
    UpdateConnection nobody;
    EXPECT_EQ(UpdateConnection::kRefused, nobody.Connect("127.0.0.1", UnusedPort().c_str()));
    EXPECT_FALSE(nobody.Send("GET")) << "nothing is sent without a connection";
}

// ---- Whole checks -------------------------------------------------------------------------------

// The worker threads the tests start, so that a test can wait for them to have ended entirely.
std::mutex g_workersLock;
std::vector<HANDLE> g_workers;
std::atomic<int> g_threadStarts{0};

uintptr_t TrackedThreadStart(void *security, unsigned stack, unsigned(__stdcall *entry)(void *), void *argument,
                             unsigned flags, unsigned *id) {
    ++g_threadStarts;
    uintptr_t thread = _beginthreadex(security, stack, entry, argument, flags, id);
    HANDLE copy = nullptr;
    if (thread && DuplicateHandle(GetCurrentProcess(), HANDLE(thread), GetCurrentProcess(), &copy, 0, FALSE,
                                  DUPLICATE_SAME_ACCESS)) {
        std::lock_guard<std::mutex> lock(g_workersLock);
        g_workers.push_back(copy);
    }
    return thread;
}

uintptr_t FailingThreadStart(void *, unsigned, unsigned(__stdcall *)(void *), void *, unsigned, unsigned *) {
    return 0;
}

bool WaitForWorkers() {
    std::vector<HANDLE> workers;
    {
        std::lock_guard<std::mutex> lock(g_workersLock);
        workers.swap(g_workers);
    }
    bool ended = true;
    for (HANDLE worker : workers) {
        ended &= WaitForSingleObject(worker, 30000) == WAIT_OBJECT_0;
        CloseHandle(worker);
    }
    return ended;
}

// What the stand-in for ShellExecute saw.
struct BrowserCall {
    HWND owner;
    std::string verb, file, parameters, directory, currentFolder;
};
std::mutex g_browserLock;
std::vector<BrowserCall> g_browserCalls;
INT_PTR g_browserResult = 42;

std::string CurrentFolder() {
    char folder[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof folder, folder);
    return folder;
}

HINSTANCE WINAPI RecordBrowser(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters, LPCSTR directory, INT) {
    std::lock_guard<std::mutex> lock(g_browserLock);
    g_browserCalls.push_back({owner, verb ? verb : "(null)", file ? file : "(null)",
                              parameters ? parameters : "(null)", directory ? directory : "(null)",
                              CurrentFolder()});
    return reinterpret_cast<HINSTANCE>(g_browserResult);
}

std::atomic<int> g_closeRequests{0};
void RecordCloseRequest() {
    ++g_closeRequests;
}

class UpdateTest : public PlannerTest {
protected:
    void SetUp() override {
        PlannerTest::SetUp();
        savedVersion_ = g_versionNumber;
        g_versionNumber = kOwnVersion;
        g_updateThreadStart = TrackedThreadStart;
        g_updateShellExecute = RecordBrowser;
        g_updateCloseMainWindow = RecordCloseRequest;
        g_browserCalls.clear();
        g_browserResult = 42;
        g_closeRequests = 0;
        g_threadStarts = 0;
    }
    void TearDown() override {
        ReleaseUpdateBoxes(); // a test that failed while boxes were held leaves no worker waiting
        EXPECT_TRUE(WaitForWorkers()) << "every worker ended";
        g_updateThreadStart = _beginthreadex;
        g_updateShellExecute = ShellExecuteA;
        g_updateCloseMainWindow = RequestMainWindowClose;
        g_versionNumber = savedVersion_;
        PlannerTest::TearDown();
    }

    // A whole check: started, and waited for to its end.
    void Check(UpdateMode mode, const UpdateCheckRequest &request) {
        ASSERT_TRUE(StartUpdateCheck(mode, request));
        ASSERT_TRUE(WaitForWorkers());
        EXPECT_FALSE(UpdateCheckRunning());
    }
    std::vector<std::string> BoxTextsFrom(size_t first) const {
        std::vector<std::string> texts = BoxTexts();
        return std::vector<std::string>(texts.begin() + long(std::min(first, texts.size())), texts.end());
    }

private:
    DWORD savedVersion_ = 0;
};

TEST_F(UpdateTest, TheRequestReachesTheServerThroughTheProxyByteForByte) {
    LoopbackServer server(LoopbackServer::Mode::Reply, Reply("ver_korv:10001.\r\n"));
    boxes_.Answer(IDNO);
    Check(UpdateMode::Manual, ProxyRequest(server.PortText()));
    ASSERT_EQ(1u, server.Requests().size());
    EXPECT_EQ("GET http://" + kHost + "/update.txt HTTP/1.1\r\nUser-Agent: lumenlib [ja] (korv4)\r\nHost: " + kHost +
                  "\r\n\r\n",
              server.Requests()[0]);
    ASSERT_EQ(1u, boxes_.calls().size());
    EXPECT_EQ(kNewer, boxes_.calls()[0].text);
    EXPECT_EQ("Tidewell", boxes_.calls()[0].caption);
    EXPECT_EQ(UINT(MB_YESNO | MB_ICONQUESTION), boxes_.calls()[0].type);
    EXPECT_TRUE(g_browserCalls.empty()) << "No opens nothing";
    EXPECT_EQ(0, g_closeRequests);
}

TEST_F(UpdateTest, AManualCheckTellsEveryOutcome) {
    struct Case {
        std::string body;
        bool beta;
        const char *told;
        UINT type;
    } cases[] = {
        {"ver_korv:10001.", false, kNewer, MB_YESNO | MB_ICONQUESTION},
        {"ver_korv:10000.", false, kSame, MB_ICONINFORMATION},
        {"ver_korv:09999.", false, kOlder, MB_ICONWARNING},
        {"Nothing to see here.", false, kNotFound, MB_ICONERROR},
        {"ver_korv:1001.", false, kNotFound, MB_ICONERROR},
        {"betakorv:10001.", false, kNotFound, MB_ICONERROR},
        {"ver_korv:10000.\r\nbetakorv:10003.", true, kNewer, MB_YESNO | MB_ICONQUESTION},
        {"ver_korv:10003.", true, kNotFound, MB_ICONERROR},
    };
    for (const Case &c : cases) {
        LoopbackServer server(LoopbackServer::Mode::Reply, Reply(c.body));
        UpdateCheckRequest request = ProxyRequest(server.PortText(), 20);
        request.beta = c.beta;
        size_t before = boxes_.calls().size();
        if (c.told == kNewer) boxes_.Answer(IDNO);
        DWORD start = GetTickCount();
        Check(UpdateMode::Manual, request);
        // The server closes after its reply: the check ends then, not after 20 seconds.
        EXPECT_LT(Since(start), 10000u) << c.body;
        ASSERT_EQ(before + 1, boxes_.calls().size()) << c.body;
        EXPECT_EQ(c.told, boxes_.calls().back().text) << c.body;
        EXPECT_EQ(c.type, boxes_.calls().back().type) << c.body;
    }
}

TEST_F(UpdateTest, ConnectionsThatCannotBeMadeAreConnectFailures) {
    LoopbackServer server(LoopbackServer::Mode::Reply, Reply("ver_korv:10001."));
    // A port beyond 65535 must not wrap round to the server's port; 0 is no port.
    for (const std::string &port : {std::to_string(server.port() + 65536), std::string("0"), UnusedPort()}) {
        size_t before = boxes_.calls().size();
        Check(UpdateMode::Manual, ProxyRequest(port));
        ASSERT_EQ(before + 1, boxes_.calls().size()) << port;
        EXPECT_EQ(kConnectFailed, boxes_.calls().back().text) << port;
        EXPECT_EQ(UINT(MB_ICONERROR), boxes_.calls().back().type);
    }
    EXPECT_TRUE(server.Requests().empty());
}

// CPU time of the whole process, in milliseconds.
double ProcessCpuMs() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto ms = [](const FILETIME &t) { return double((ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e4; };
    return ms(kernel) + ms(user);
}

TEST_F(UpdateTest, AServerThatNeverAnswersTimesOutWithoutBurningTheProcessor) {
    LoopbackServer server(LoopbackServer::Mode::Silent);
    DWORD start = GetTickCount();
    double cpu = ProcessCpuMs();
    Check(UpdateMode::Manual, ProxyRequest(server.PortText(), 1));
    DWORD took = Since(start);
    EXPECT_GE(took, 1900u) << "one second and the whole next one";
    EXPECT_LT(took, 8000u);
    EXPECT_LT(ProcessCpuMs() - cpu, 0.5 * took) << "the wait is a wait, not a loop";
    EXPECT_EQ(std::vector<std::string>{kNotFound}, BoxTexts());
    EXPECT_EQ(1u, server.Requests().size());
}

TEST_F(UpdateTest, TheAutomaticCheckIsSilentExceptForANewerVersion) {
    struct Case {
        std::string body;
        bool listening;
    } silent[] = {
        {"ver_korv:10000.", true}, {"ver_korv:09999.", true}, {"no tag", true}, {"", false},
    };
    for (const Case &c : silent) {
        LoopbackServer server(LoopbackServer::Mode::Reply, Reply(c.body));
        Check(UpdateMode::Automatic, ProxyRequest(c.listening ? server.PortText() : UnusedPort(), 20));
        EXPECT_EQ(c.listening ? 1u : 0u, server.Requests().size());
    }
    EXPECT_TRUE(BoxTexts().empty());

    LoopbackServer newer(LoopbackServer::Mode::Reply, Reply("ver_korv:10001."));
    boxes_.Answer(IDNO);
    Check(UpdateMode::Automatic, ProxyRequest(newer.PortText()));
    ASSERT_EQ(1u, boxes_.calls().size());
    EXPECT_EQ(kNewerAutomatic, boxes_.calls()[0].text);
    EXPECT_EQ(UINT(MB_YESNOCANCEL | MB_ICONQUESTION), boxes_.calls()[0].type);
}

TEST_F(UpdateTest, CancelOnTheAutomaticQuestionTurnsTheAutomaticCheckOff) {
    WriteSettingDword("AutoUpdateCheck", 1);
    LoopbackServer server(LoopbackServer::Mode::Reply, Reply("ver_korv:10001."));
    boxes_.Answer(IDCANCEL);
    Check(UpdateMode::Automatic, ProxyRequest(server.PortText()));
    RawValue stored = ReadRaw(HKEY_LOCAL_MACHINE, kSettingsPath, "AutoUpdateCheck");
    ASSERT_EQ(DWORD(REG_DWORD), stored.type);
    EXPECT_EQ(0u, *reinterpret_cast<const DWORD *>(stored.data.data()));
    EXPECT_TRUE(g_browserCalls.empty());

    // No leaves it on.
    WriteSettingDword("AutoUpdateCheck", 1);
    boxes_.Answer(IDNO);
    Check(UpdateMode::Automatic, ProxyRequest(server.PortText()));
    EXPECT_EQ(1, ReadSettingDword("AutoUpdateCheck"));
}

TEST_F(UpdateTest, YesOpensTheSiteWithTheSystemFolderAndLeavesTheCurrentFolderAlone) {
    TempFolder folder;
    std::string before = CurrentFolder();
    ASSERT_TRUE(SetCurrentDirectoryA(folder.path().c_str()));
    std::string here = CurrentFolder();
    LoopbackServer server(LoopbackServer::Mode::Reply, Reply("ver_korv:10001."));
    boxes_.Answer(IDYES);
    Check(UpdateMode::Manual, ProxyRequest(server.PortText()));
    SetCurrentDirectoryA(before.c_str());
    ASSERT_EQ(1u, g_browserCalls.size());
    const BrowserCall &call = g_browserCalls[0];
    EXPECT_EQ("open", call.verb);
    EXPECT_EQ(KORVANE_WEB_SITE, call.file);
    EXPECT_EQ("(null)", call.parameters);
    EXPECT_EQ(SystemFolder(), call.directory) << "the browser works in the System folder";
    EXPECT_EQ(here, call.currentFolder) << "the process's own folder never moved";
    EXPECT_EQ(1, g_closeRequests.load()) << "Tidewell is asked to close";
    EXPECT_EQ(1u, boxes_.calls().size());
}

TEST_F(UpdateTest, TheMainWindowStaysWhenItIsNotToCloseOrTheBrowserFails) {
    LoopbackServer server(LoopbackServer::Mode::Reply, Reply("ver_korv:10001."));
    UpdateCheckRequest staying = ProxyRequest(server.PortText());
    staying.closeWindow = false;
    boxes_.Answer(IDYES);
    Check(UpdateMode::Manual, staying);
    EXPECT_EQ(1u, g_browserCalls.size());
    EXPECT_EQ(0, g_closeRequests.load());

    g_browserResult = SE_ERR_NOASSOC;
    boxes_.Answer(IDYES);
    Check(UpdateMode::Automatic, ProxyRequest(server.PortText()));
    ASSERT_EQ(3u, boxes_.calls().size());
    EXPECT_EQ("Running Browser was failed.", boxes_.calls()[2].text);
    EXPECT_EQ(UINT(MB_ICONERROR), boxes_.calls()[2].type);
    EXPECT_EQ(0, g_closeRequests.load());
}

TEST_F(UpdateTest, AManualRequestDuringAnAutomaticCheckMakesItTellItsResult) {
    LoopbackServer server(LoopbackServer::Mode::HoldThenReply, Reply("ver_korv:10000."));
    ASSERT_TRUE(StartUpdateCheck(UpdateMode::Automatic, ProxyRequest(server.PortText())));
    ASSERT_TRUE(server.WaitForRequests(1));
    EXPECT_TRUE(UpdateCheckRunning());
    EXPECT_TRUE(StartUpdateCheck(UpdateMode::Manual, ProxyRequest(server.PortText())));
    server.Release();
    ASSERT_TRUE(WaitForWorkers());
    EXPECT_EQ(1, g_threadStarts.load()) << "no second worker";
    EXPECT_EQ(1u, server.Requests().size());
    EXPECT_EQ(std::vector<std::string>{kSame}, BoxTexts());

    // An automatic request while a check runs is dropped, and changes nothing.
    LoopbackServer again(LoopbackServer::Mode::HoldThenReply, Reply("ver_korv:10000."));
    ASSERT_TRUE(StartUpdateCheck(UpdateMode::Automatic, ProxyRequest(again.PortText())));
    ASSERT_TRUE(again.WaitForRequests(1));
    EXPECT_TRUE(StartUpdateCheck(UpdateMode::Automatic, ProxyRequest(again.PortText())));
    again.Release();
    ASSERT_TRUE(WaitForWorkers());
    EXPECT_EQ(2, g_threadStarts.load());
    EXPECT_EQ(1u, BoxTexts().size());
}

TEST_F(UpdateTest, AWorkerThatCannotStartLeavesTheCheckUsable) {
    g_updateThreadStart = FailingThreadStart;
    EXPECT_FALSE(StartUpdateCheck(UpdateMode::Automatic, ProxyRequest("1")));
    EXPECT_FALSE(UpdateCheckRunning());
    ASSERT_EQ(1u, boxes_.calls().size());
    EXPECT_EQ("Beginthread(Updatecheck) failed.", boxes_.calls()[0].text);
    EXPECT_EQ("Update check", boxes_.calls()[0].caption);
    EXPECT_EQ(UINT(MB_ICONERROR), boxes_.calls()[0].type);

    g_updateThreadStart = TrackedThreadStart;
    LoopbackServer server(LoopbackServer::Mode::Reply, Reply("ver_korv:10000."));
    Check(UpdateMode::Manual, ProxyRequest(server.PortText()));
    EXPECT_EQ(kSame, boxes_.calls().back().text) << "the next check runs";
}

TEST_F(UpdateTest, RequestsAtTheSameMomentStartOneWorker) {
    for (int round = 0; round < 20; ++round) {
        // The server holds its reply until every request has been made, so the first check is
        // still running when the others come.
        LoopbackServer server(LoopbackServer::Mode::HoldThenReply, Reply("ver_korv:10000."));
        g_threadStarts = 0;
        std::atomic<int> ready{0};
        std::vector<std::thread> callers;
        for (int i = 0; i < 6; ++i) {
            callers.emplace_back([&] {
                ++ready;
                while (ready < 6) {
                }
                StartUpdateCheck(UpdateMode::Automatic, ProxyRequest(server.PortText()));
            });
        }
        for (std::thread &caller : callers)
            caller.join();
        server.Release();
        ASSERT_TRUE(WaitForWorkers());
        ASSERT_EQ(1, g_threadStarts.load()) << "round " << round;
        ASSERT_EQ(1u, server.Requests().size()) << "round " << round;
    }
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(UpdateTest, TheStartUpStartsTheAutomaticCheckFromTheSettings) {
    LoopbackServer server(LoopbackServer::Mode::Reply, Reply("ver_korv:10001."));
    WriteSettingDword("AutoUpdateCheck", 1);
    WriteText(HKEY_LOCAL_MACHINE, kSettingsPath, "HTTPProxy", "127.0.0.1");
    WriteText(HKEY_LOCAL_MACHINE, kSettingsPath, "HTTPProxyPort", server.PortText().c_str());
    WriteSettingDword("CloseWindow_wnve", 0);
    StartWrites writes;
    writes.updateCheckAllowed = false; // auto mode, or Shift, Alt and Ctrl held
    UpdateSettingsAtStart(writes);
    EXPECT_EQ(0, g_threadStarts.load());

    // The question waits for the main window, which the start makes later, and is owned by it.
    boxes_.Answer(IDYES);
    writes.updateCheckAllowed = true;
    UpdateSettingsAtStart(writes);
    ASSERT_TRUE(server.WaitForRequests(1));
    EXPECT_TRUE(boxes_.calls().empty()) << "no box before the main window exists";
    HWND owner = nullptr, window = nullptr;
    MainWindowSession session;
    session.Run([&](MainWindowSession &s) {
        window = s.window();
        if (MainWindowSession::WaitFor([&] { return !boxes_.calls().empty(); }, 10000)) owner = boxes_.calls()[0].owner;
    });
    ASSERT_TRUE(WaitForWorkers());
    EXPECT_EQ(window, owner);
    EXPECT_EQ(1u, server.Requests().size());
    ASSERT_EQ(1u, boxes_.calls().size());
    EXPECT_EQ(kNewerAutomatic, boxes_.calls()[0].text);
    EXPECT_EQ(1u, g_browserCalls.size());
    EXPECT_EQ(0, g_closeRequests.load()) << "CloseWindow_wnve 0 keeps Tidewell open";

    WriteSettingDword("AutoUpdateCheck", 0);
    UpdateSettingsAtStart(writes);
    EXPECT_EQ(1, g_threadStarts.load()) << "off: no check";
}

// ---- The dialog ---------------------------------------------------------------------------------

const char kTitle[] = "Checking Update";

// Watches a control for updates that reach it from another thread (SendMessage across threads,
// as SetWindowText or EnableWindow on another thread's window do); the dialog's own thread
// updates it directly.
class CrossThreadWatch {
public:
    static void Watch(HWND control) {
        WNDPROC old = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CrossThreadWatch::Procedure)));
        std::lock_guard<std::mutex> lock(lock_);
        procedures_.push_back({control, old});
    }
    static int Count() { return count_; }
    static void Reset() {
        count_ = 0;
        std::lock_guard<std::mutex> lock(lock_);
        procedures_.clear();
    }

private:
    static LRESULT CALLBACK Procedure(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
        if ((message == WM_SETTEXT || message == WM_ENABLE || message == BM_SETCHECK) && InSendMessage()) ++count_;
        WNDPROC old = nullptr;
        {
            std::lock_guard<std::mutex> lock(lock_);
            for (const auto &entry : procedures_)
                if (entry.first == control) old = entry.second;
        }
        return CallWindowProcA(old, control, message, wParam, lParam);
    }
    static std::mutex lock_;
    static std::vector<std::pair<HWND, WNDPROC>> procedures_;
    static std::atomic<int> count_;
};
std::mutex CrossThreadWatch::lock_;
std::vector<std::pair<HWND, WNDPROC>> CrossThreadWatch::procedures_;
std::atomic<int> CrossThreadWatch::count_{0};

bool ButtonIs(HWND dialog, const char *text, bool enabled) {
    return DialogDriver::ItemText(dialog, IDC_UPDATE_CHECK) == text &&
           DialogDriver::ItemEnabled(dialog, IDC_UPDATE_CHECK) == enabled;
}

void SetField(HWND dialog, int id, const char *text) {
    SendMessageA(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

TEST_F(UpdateTest, TheDialogShowsTheDefaultsAndCancelStoresNothing) {
    struct {
        UINT autoCheck = 9, beta = 9, close = 9;
        std::string proxy, port, timeout, text, button;
    } seen;
    DialogDriver driver(kTitle, [&](HWND dialog) {
        seen.autoCheck = IsDlgButtonChecked(dialog, IDC_UPDATE_AUTO);
        seen.beta = IsDlgButtonChecked(dialog, IDC_UPDATE_BETA);
        seen.close = IsDlgButtonChecked(dialog, IDC_UPDATE_CLOSE);
        seen.proxy = DialogDriver::ItemText(dialog, IDC_UPDATE_PROXY);
        seen.port = DialogDriver::ItemText(dialog, IDC_UPDATE_PORT);
        seen.timeout = DialogDriver::ItemText(dialog, IDC_UPDATE_TIMEOUT);
        seen.text = DialogDriver::ItemText(dialog, IDC_UPDATE_TEXT);
        seen.button = DialogDriver::ItemText(dialog, IDC_UPDATE_CHECK);
        SetField(dialog, IDC_UPDATE_PROXY, "proxy.example");
        DialogDriver::Command(dialog, IDCANCEL);
    });
    EXPECT_EQ(1, ShowUpdateDialog(nullptr));
    ASSERT_TRUE(driver.Join());
    EXPECT_EQ(UINT(BST_UNCHECKED), seen.autoCheck);
    EXPECT_EQ(UINT(BST_UNCHECKED), seen.beta);
    EXPECT_EQ(UINT(BST_CHECKED), seen.close) << "CloseWindow_wnve is 1 when absent";
    EXPECT_EQ("", seen.proxy);
    EXPECT_EQ("", seen.port);
    EXPECT_EQ("6", seen.timeout);
    EXPECT_EQ("Checking the new version of Tidewell with the Internet.", seen.text);
    EXPECT_EQ("&Check now!", seen.button);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSettingsPath)) << "Cancel writes nothing";
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(UpdateTest, TheDialogShowsTheStoredValuesAndOkStoresWhatWasTyped) {
    WriteSettingDword("AutoUpdateCheck", 1);
    WriteSettingDword("BetaUpdateCheck", 1);
    WriteSettingDword("CloseWindow_wnve", 0);
    WriteSettingDword("HTTPTimeout", 15);
    WriteText(HKEY_LOCAL_MACHINE, kSettingsPath, "HTTPProxy", "proxy.example");
    WriteText(HKEY_LOCAL_MACHINE, kSettingsPath, "HTTPProxyPort", "8080");
    std::vector<UINT> checks;
    std::vector<std::string> fields;
    DialogDriver driver(kTitle, [&](HWND dialog) {
        for (int id : {IDC_UPDATE_AUTO, IDC_UPDATE_BETA, IDC_UPDATE_CLOSE})
            checks.push_back(IsDlgButtonChecked(dialog, id));
        for (int id : {IDC_UPDATE_PROXY, IDC_UPDATE_PORT, IDC_UPDATE_TIMEOUT})
            fields.push_back(DialogDriver::ItemText(dialog, id));
        CheckDlgButton(dialog, IDC_UPDATE_AUTO, BST_UNCHECKED);
        CheckDlgButton(dialog, IDC_UPDATE_CLOSE, BST_CHECKED);
        SetField(dialog, IDC_UPDATE_PROXY, "");
        SetField(dialog, IDC_UPDATE_PORT, "3128");
        SetField(dialog, IDC_UPDATE_TIMEOUT, "");
        DialogDriver::Command(dialog, IDOK);
    });
    EXPECT_EQ(0, ShowUpdateDialog(nullptr));
    ASSERT_TRUE(driver.Join());
    EXPECT_EQ((std::vector<UINT>{BST_CHECKED, BST_CHECKED, BST_UNCHECKED}), checks);
    EXPECT_EQ((std::vector<std::string>{"proxy.example", "8080", "15"}), fields);
    EXPECT_EQ(0, ReadSettingDword("AutoUpdateCheck"));
    EXPECT_EQ(1, ReadSettingDword("BetaUpdateCheck"));
    EXPECT_EQ(1, ReadSettingDword("CloseWindow_wnve"));
    EXPECT_EQ(0, ReadSettingDword("HTTPTimeout")) << "an empty time-out reads 0";
    EXPECT_EQ(BytesOf("", 1), ReadRaw(HKEY_LOCAL_MACHINE, kSettingsPath, "HTTPProxy").data);
    RawValue port = ReadRaw(HKEY_LOCAL_MACHINE, kSettingsPath, "HTTPProxyPort");
    EXPECT_EQ(DWORD(REG_SZ), port.type) << "the port is kept as text";
    EXPECT_EQ(BytesOf("3128", 5), port.data);
}

TEST_F(UpdateTest, ATimeoutThatIsNoNumberIsRefusedAndTheDialogStays) {
    std::string afterOk;
    DialogDriver driver(kTitle, [&](HWND dialog) {
        SetField(dialog, IDC_UPDATE_TIMEOUT, "99999999999");
        DialogDriver::Command(dialog, IDOK);
        WaitFor([&] { return !boxes_.calls().empty(); });
        afterOk = IsWindow(dialog) ? "open" : "closed";
        DialogDriver::Command(dialog, IDCANCEL);
    });
    EXPECT_EQ(1, ShowUpdateDialog(nullptr));
    ASSERT_TRUE(driver.Join());
    EXPECT_EQ("open", afterOk);
    EXPECT_EQ(std::vector<std::string>{"Please enter a number from 0 to 2147483647."}, BoxTexts());
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSettingsPath));
}

TEST_F(UpdateTest, OkReportsASettingsKeyThatCannotBeWritten) {
    KeyGuard settings(HKEY_LOCAL_MACHINE, kSettingsPath);
    ASSERT_TRUE(SetKeyWritable(HKEY_LOCAL_MACHINE, kSettingsPath, false));
    DialogDriver driver(kTitle, [&](HWND dialog) { DialogDriver::Command(dialog, IDOK); });
    EXPECT_EQ(0, ShowUpdateDialog(nullptr));
    ASSERT_TRUE(driver.Join());
    SetKeyWritable(HKEY_LOCAL_MACHINE, kSettingsPath, true);
    EXPECT_EQ(std::vector<std::string>{"Cannot open registry key.\r\n KV4"}, BoxTexts());
}

TEST_F(UpdateTest, CheckNowShowsTheCheckRunningAndOnlyTheDialogsThreadUpdatesIt) {
    LoopbackServer server(LoopbackServer::Mode::HoldThenReply, Reply("ver_korv:10000."));
    CrossThreadWatch::Reset();
    bool checking = false, idleAgain = false;
    DialogDriver driver(kTitle, [&](HWND dialog) {
        CrossThreadWatch::Watch(GetDlgItem(dialog, IDC_UPDATE_CHECK));
        CrossThreadWatch::Watch(GetDlgItem(dialog, IDC_UPDATE_AUTO));
        SetField(dialog, IDC_UPDATE_PROXY, "127.0.0.1");
        SetField(dialog, IDC_UPDATE_PORT, server.PortText().c_str());
        DialogDriver::Command(dialog, IDC_UPDATE_CHECK);
        checking = MainWindowSession::WaitFor([&] { return ButtonIs(dialog, "Checking...", false); });
        server.WaitForRequests(1);
        server.Release();
        idleAgain = MainWindowSession::WaitFor([&] { return ButtonIs(dialog, "&Check now!", true); }, 15000);
        DialogDriver::Command(dialog, IDCANCEL);
    });
    EXPECT_EQ(1, ShowUpdateDialog(nullptr));
    ASSERT_TRUE(driver.Join());
    EXPECT_TRUE(checking);
    EXPECT_TRUE(idleAgain);
    EXPECT_EQ(std::vector<std::string>{kSame}, BoxTexts());
    EXPECT_EQ(0, CrossThreadWatch::Count()) << "the worker never updated the dialog's controls itself";
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSettingsPath)) << "Check now! stores nothing";
}

TEST_F(UpdateTest, TheDialogOpensBusyWhileACheckRunsAndHearsItsEnd) {
    LoopbackServer server(LoopbackServer::Mode::HoldThenReply, Reply("ver_korv:10001."));
    WriteSettingDword("AutoUpdateCheck", 1);
    ASSERT_TRUE(StartUpdateCheck(UpdateMode::Automatic, ProxyRequest(server.PortText())));
    ASSERT_TRUE(server.WaitForRequests(1));
    CrossThreadWatch::Reset();
    bool busy = false, unchecked = false, idleAgain = false;
    boxes_.Answer(IDCANCEL);
    DialogDriver driver(kTitle, [&](HWND dialog) {
        CrossThreadWatch::Watch(GetDlgItem(dialog, IDC_UPDATE_CHECK));
        CrossThreadWatch::Watch(GetDlgItem(dialog, IDC_UPDATE_AUTO));
        busy = ButtonIs(dialog, "Checking...", false) && IsDlgButtonChecked(dialog, IDC_UPDATE_AUTO) == BST_CHECKED;
        server.Release();
        unchecked = MainWindowSession::WaitFor(
            [&] { return IsDlgButtonChecked(dialog, IDC_UPDATE_AUTO) == BST_UNCHECKED; }, 15000);
        idleAgain = MainWindowSession::WaitFor([&] { return ButtonIs(dialog, "&Check now!", true); });
        DialogDriver::Command(dialog, IDCANCEL);
    });
    EXPECT_EQ(1, ShowUpdateDialog(nullptr));
    ASSERT_TRUE(driver.Join());
    EXPECT_TRUE(busy);
    EXPECT_TRUE(unchecked) << "Cancel on the question clears Boot time check";
    EXPECT_TRUE(idleAgain);
    EXPECT_EQ(0, ReadSettingDword("AutoUpdateCheck"));
    EXPECT_EQ(0, CrossThreadWatch::Count());
}

TEST_F(UpdateTest, YesWithCloseWindowClosesTheDialogAndAsksTheMainWindowToClose) {
    LoopbackServer server(LoopbackServer::Mode::Reply, Reply("ver_korv:10001."));
    boxes_.Answer(IDYES);
    DialogDriver driver(kTitle, [&](HWND dialog) {
        SetField(dialog, IDC_UPDATE_PROXY, "127.0.0.1");
        SetField(dialog, IDC_UPDATE_PORT, server.PortText().c_str());
        CheckDlgButton(dialog, IDC_UPDATE_CLOSE, BST_CHECKED);
        DialogDriver::Command(dialog, IDC_UPDATE_CHECK);
    });
    EXPECT_EQ(1, ShowUpdateDialog(nullptr)) << "closed by the check, storing nothing";
    ASSERT_TRUE(driver.Join());
    ASSERT_TRUE(WaitForWorkers());
    EXPECT_EQ(1u, g_browserCalls.size());
    EXPECT_EQ(1, g_closeRequests.load());
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSettingsPath));
}

TEST_F(UpdateTest, AWorkerThatCannotStartGivesTheButtonBack) {
    g_updateThreadStart = FailingThreadStart;
    bool idle = false;
    DialogDriver driver(kTitle, [&](HWND dialog) {
        DialogDriver::Command(dialog, IDC_UPDATE_CHECK);
        WaitFor([&] { return !boxes_.calls().empty(); });
        idle = MainWindowSession::WaitFor([&] { return ButtonIs(dialog, "&Check now!", true); });
        DialogDriver::Command(dialog, IDCANCEL);
    });
    EXPECT_EQ(1, ShowUpdateDialog(nullptr));
    ASSERT_TRUE(driver.Join());
    EXPECT_TRUE(idle);
    EXPECT_FALSE(UpdateCheckRunning());
    EXPECT_EQ(std::vector<std::string>{"Beginthread(Updatecheck) failed."}, BoxTexts());
}

// A resource text as an ANSI dialog shows it: Windows passes it through the process code page,
// which need not be Japanese in the tests.
std::wstring ThroughAnsi(const wchar_t *text) {
    return AnsiToWide(WideToAnsi(text).c_str());
}

std::wstring WideText(HWND window) {
    wchar_t text[256] = L"";
    GetWindowTextW(window, text, 256);
    return text;
}

TEST_F(UpdateTest, TheJapaneseDialog) {
    SetLanguage(Program::Korvane, true);
    std::wstring button, cancel;
    const DWORD thread = GetCurrentThreadId();
    std::thread user([&] {
        HWND dialog = nullptr;
        // "アップデートチェック"
        std::wstring title = ThroughAnsi(L"\u30A2\u30C3\u30D7\u30C7\u30FC\u30C8\u30C1\u30A7\u30C3\u30AF");
        for (int i = 0; i < 400 && !(dialog && IsWindowVisible(dialog)); ++i, Sleep(25))
            dialog = FindWindowW(L"#32770", title.c_str());
        if (!dialog) {
            // Whatever opened instead is closed, so that the test fails instead of hanging.
            EnumThreadWindows(
                thread, [](HWND window, LPARAM) { return PostMessageA(window, WM_COMMAND, IDCANCEL, 0); }, 0);
            return;
        }
        button = WideText(GetDlgItem(dialog, IDC_UPDATE_CHECK));
        cancel = WideText(GetDlgItem(dialog, IDCANCEL));
        PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    INT_PTR result = ShowUpdateDialog(nullptr);
    user.join();
    SetLanguage(Program::Korvane, false);
    EXPECT_EQ(1, result);
    EXPECT_EQ(ThroughAnsi(L"\u4ECA\u3059\u3050\u78BA\u8A8D(&C)"), button) << "今すぐ確認(&C)";
    EXPECT_EQ(ThroughAnsi(L"\u30AD\u30E3\u30F3\u30BB\u30EB"), cancel);
}

// ---- The main window's close request ------------------------------------------------------------

// The quit message a destroyed main window leaves behind, so that the next test's loop runs.
void DropQuitMessage() {
    MSG message;
    while (PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

TEST_F(UpdateTest, TheMainWindowDoesNotCloseUnderThePlanner) {
    ASSERT_TRUE(RegisterMainWindowClass());
    HWND window = CreateMainWindow();
    ASSERT_NE(nullptr, window);
    // The planner stops at once on a settings key it cannot write, with a box; the close request
    // comes while that box is up.
    KeyGuard settings(HKEY_LOCAL_MACHINE, kSettingsPath);
    ASSERT_TRUE(SetKeyWritable(HKEY_LOCAL_MACHINE, kSettingsPath, false));
    bool planning = false, alive = false;
    MessageBoxHandler previous = SetMessageBoxHandler([&](const MessageBoxCall &) {
        planning = RunBeingPlanned();
        SendMessageA(window, kCloseRequestMessage, 0, 0);
        alive = IsWindow(window) != FALSE;
        return IDOK;
    });
    bool savedAuto = g_autoMode;
    g_autoMode = true;
    EXPECT_FALSE(PlanRinsaRun());
    g_autoMode = savedAuto;
    SetMessageBoxHandler(previous);
    SetKeyWritable(HKEY_LOCAL_MACHINE, kSettingsPath, true);
    EXPECT_TRUE(planning);
    EXPECT_TRUE(alive) << "the window stayed while the run was being planned";
    EXPECT_FALSE(RunBeingPlanned());

    SendMessageA(window, kCloseRequestMessage, 0, 0);
    EXPECT_FALSE(IsWindow(window)) << "with the planner done, the request closes it";
    DropQuitMessage();
}

TEST_F(UpdateTest, ACloseAskedForBeforeTheMainWindowExistsClosesItOnceMade) {
    RequestMainWindowClose();
    bool closed = false;
    MainWindowSession session;
    session.Run([&](MainWindowSession &s) {
        closed = MainWindowSession::WaitFor([&] { return !IsWindow(s.window()); }, 10000);
    });
    EXPECT_TRUE(closed);
    DropQuitMessage();

    // Asked for again while the window is there, from another thread.
    MainWindowSession again;
    bool closedAgain = false;
    again.Run([&](MainWindowSession &s) {
        RequestMainWindowClose();
        closedAgain = MainWindowSession::WaitFor([&] { return !IsWindow(s.window()); }, 10000);
    });
    EXPECT_TRUE(closedAgain);
    DropQuitMessage();
}

} // namespace
