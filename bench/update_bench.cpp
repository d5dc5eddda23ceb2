// How fast an update check comes to its result against a server that answers at once: a small
// HTTP server on 127.0.0.1 in this program, reached through the proxy setting as the tests reach
// it, and the check's own worker, from StartUpdateCheck to its result box (caught by the message
// box handler, so nothing waits for a user). The first check loads Windows Sockets and is
// reported apart.
//   update_bench [checks]
#include "korvane.h"
#include "dialogs/update.h"

#include "language.h"
#include "watch.h"

#include <winsock.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace watch;

constexpr DWORD kOwnVersion = 10000;
const char kReply[] = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nver_korv:10000.\r\n";

// Answers every connection at once: reads the request, sends the reply, closes.
DWORD WINAPI Serve(void *parameter) {
    SOCKET listener = static_cast<SOCKET>(reinterpret_cast<UINT_PTR>(parameter));
    for (;;) {
        SOCKET client = accept(listener, nullptr, nullptr);
        if (client == INVALID_SOCKET) return 0;
        std::string request;
        char chunk[512];
        int got;
        while (request.find("\r\n\r\n") == std::string::npos && (got = recv(client, chunk, sizeof chunk, 0)) > 0)
            request.append(chunk, size_t(got));
        send(client, kReply, int(sizeof kReply - 1), 0);
        closesocket(client);
    }
}

// A listening socket on 127.0.0.1 with its port, or INVALID_SOCKET.
SOCKET Listen(unsigned short *port) {
    SOCKET listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = inet_addr("127.0.0.1");
    int length = sizeof address;
    if (listener == INVALID_SOCKET || bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) != 0 || listen(listener, 8) != 0)
        return INVALID_SOCKET;
    *port = ntohs(address.sin_port);
    return listener;
}

HANDLE g_result = nullptr;
double g_resultAt = 0;
std::string g_resultText;

// One check: from its start to its result box.
bool MeasureOnce(const UpdateCheckRequest &request, double *milliseconds) {
    ResetEvent(g_result);
    double begin = Now();
    if (!StartUpdateCheck(UpdateMode::Manual, request)) return false;
    if (WaitForSingleObject(g_result, kTimeoutMs) != WAIT_OBJECT_0) return false;
    *milliseconds = g_resultAt - begin;
    // The worker clears its flag right after the box; the next check must not find it running.
    for (double waited = Now(); UpdateCheckRunning() && Now() - waited < kTimeoutMs;)
        Sleep(0);
    return g_resultText == "The new version was not found.";
}

} // namespace

int main(int argc, char **argv) {
    int runs = argc > 1 ? atoi(argv[1]) : 20;
    if (runs < 1) runs = 1;
    SetLanguage(Program::Korvane, false);
    g_versionNumber = kOwnVersion;
    WSADATA data;
    WSAStartup(MAKEWORD(1, 1), &data);
    unsigned short port = 0;
    SOCKET listener = Listen(&port);
    if (listener == INVALID_SOCKET) {
        fprintf(stderr, "cannot listen on 127.0.0.1\n");
        return 2;
    }
    CloseHandle(CreateThread(nullptr, 0, Serve, reinterpret_cast<void *>(UINT_PTR(listener)), 0, nullptr));
    g_result = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetMessageBoxHandler([](const MessageBoxCall &box) {
        g_resultAt = Now();
        g_resultText = box.text;
        SetEvent(g_result);
        return IDOK;
    });

    UpdateCheckRequest request;
    request.proxyHost = "127.0.0.1";
    request.proxyPort = std::to_string(port);
    double cold = 0, milliseconds = 0;
    bool ok = MeasureOnce(request, &cold);
    std::vector<double> times;
    for (int i = 0; ok && i < runs; ++i) {
        ok = MeasureOnce(request, &milliseconds);
        times.push_back(milliseconds);
    }
    closesocket(listener);
    if (!ok || times.empty()) {
        fprintf(stderr, "a check did not come to its result (last: \"%s\")\n", g_resultText.c_str());
        return 1;
    }
    printf("Update check against a loopback server, %d checks after a first one of %.1f ms (aim: under 100 ms):\n",
           runs, cold);
    Report("from the start of a check to its result", times);
    return 0;
}
