// The update check: asks the maker's web server over plain HTTP (directly or through a proxy)
// whether a newer version exists, on a worker thread of its own, at start (when enabled) or from
// the "Checking Update" dialog; offers to open the maker's web site for a newer one.
#pragma once

#include "rega.h"

#include <windows.h>

#include <string>

// What a check is given: from the settings at start, from the dialog's fields on "Check now!".
struct UpdateCheckRequest {
    std::string proxyHost, proxyPort; // empty host: a direct connection
    DWORD timeoutSeconds = 6;
    bool beta = false;
    bool closeWindow = true; // close Tidewell once the web site was opened for a newer version
};

// ---- The request and the reply ------------------------------------------------------------------

// The path of the version file on the maker's web server.
constexpr const char *kUpdatePath = "/update.txt";
// The reply is read into a zeroed buffer of this size, at most kUpdateReceiveLimit bytes of it.
constexpr size_t kUpdateBufferSize = 2110;
constexpr size_t kUpdateReceiveLimit = 2090;
constexpr const char *kReleaseTag = "ver_korv:";
constexpr const char *kBetaTag = "betakorv:";

// The HTTP request, lines ended by CR LF and an empty line: "GET /update.txt HTTP/1.0" directly,
// "GET http://<host>/update.txt HTTP/1.1" through a proxy; the agent and the Host line follow.
std::string UpdateRequestText(const char *host, bool throughProxy);
// The version number after the first tag in the bytes received (the release tag, or the beta tag
// when beta), when five digits and a full stop follow it; -1 otherwise. Zero bytes in the reply
// hide nothing: the whole length is searched.
long FindUpdateVersion(const char *received, size_t length, bool beta);
// A proxy port given as a number: decimal digits only, 1 to 65535; 0 for anything else.
unsigned short ParsePortNumber(const char *text);
// How long the reply is waited for after the request was sent: while no more whole seconds than
// the time-out have passed (a time-out of 0 still takes what arrives in the first second).
DWORD ReplyWaitLimitMs(DWORD timeoutSeconds);

// What a check found out.
enum class UpdateOutcome { NotFound, Newer, Same, Older, ConnectFailed };
struct ExchangeResult {
    bool connected = false; // connected and the request sent
    int connectCode = 0;    // UpdateConnection's result when the connection failed
    long version = -1;      // the version of the reply, -1 when none was found
};
UpdateOutcome EvaluateUpdate(const ExchangeResult &result, DWORD ownVersion);
// Whether an outcome other than a newer version is told: to a manual check, or when a manual
// request came while the check ran. A newer version is always asked about.
bool OutcomeTold(UpdateOutcome outcome, bool manualOrAsked);
// The box of an outcome: text and icon (the question of a newer version with its buttons). The
// Japanese question says whether Tidewell closes when the site opens.
struct UpdateMessage {
    const char *text;
    UINT type;
};
UpdateMessage OutcomeMessage(UpdateOutcome outcome, bool manual, bool closeWindow);

// ---- The connection -----------------------------------------------------------------------------

// What the check needs of a connection; the socket client below, or a test's stand-in.
class UpdateTransport {
public:
    virtual ~UpdateTransport() = default;
    // 0 on success, else one of UpdateConnection's failure codes.
    virtual int Connect(const char *host, const char *port) = 0;
    virtual bool Send(const std::string &text) = 0;
    enum Wait { kReadable, kTimedOut, kWaitFailed };
    // Waits until bytes (or the end of the connection) can be read, at most milliseconds.
    virtual Wait WaitReadable(DWORD milliseconds) = 0;
    // Bytes received; 0 when the peer closed; kNothingYet when nothing is there; kFailed on error.
    virtual int Receive(char *buffer, int size) = 0;
    virtual void Close() = 0;
    static constexpr int kNothingYet = -1;
    static constexpr int kFailed = -2;
};

// A TCP connection through Windows Sockets 1.1, non-blocking once connected.
class UpdateConnection : public UpdateTransport {
public:
    enum ConnectCode {
        kConnected = 0,
        kAlreadyConnected = 1,
        kNoWinsock = 2,    // WSAStartup failed
        kWrongWinsock = 3, // not version 1.1
        kBadPort = 4,      // neither a TCP service name nor a port number from 1 to 65535
        kBadHost = 5,      // neither a host name nor a dotted address that resolves
        kNoSocket = 6,
        kRefused = 7, // the connection was refused or failed
    };
    UpdateConnection() = default;
    ~UpdateConnection() override { Close(); }
    UpdateConnection(const UpdateConnection &) = delete;
    UpdateConnection &operator=(const UpdateConnection &) = delete;

    int Connect(const char *host, const char *port) override;
    // The whole text, partial sends retried; 20 attempts that move nothing and it gives up.
    bool Send(const std::string &text) override;
    Wait WaitReadable(DWORD milliseconds) override;
    int Receive(char *buffer, int size) override;
    // Shut down both ways, closed, Winsock cleaned up; nothing when not connected.
    void Close() override;

private:
    int ConnectStarted(const char *host, const char *port);
    bool WaitWritable(DWORD milliseconds);
    UINT_PTR socket_ = ~UINT_PTR(0);
};

// Connects (to the proxy when one is given, else to host on port 80), sends the request, and reads
// the reply until the tag is found, the buffer is full, the time-out has passed, or the connection
// ended or failed; then closes.
ExchangeResult ExchangeUpdate(UpdateTransport &transport, const char *host, const UpdateCheckRequest &request);

// ---- The check ----------------------------------------------------------------------------------

enum class UpdateMode { Manual = 0, Automatic = 1 };

// The request from the open settings key: HTTPProxy, HTTPProxyPort, HTTPTimeout, BetaUpdateCheck,
// and CloseWindow_wnve (on only when it is 1).
UpdateCheckRequest ReadUpdateCheckRequest(REGA &settings);

// Starts a check on its worker. While one runs, a manual request only asks that check to tell its
// result, and an automatic one is dropped. False (after the error box) when the worker could not
// be started; the check is then idle again.
bool StartUpdateCheck(UpdateMode mode, const UpdateCheckRequest &request);
// True from the start of a check until its worker has finished with the dialog.
bool UpdateCheckRunning();
// The automatic check starts before the main window exists. Its boxes wait from HoldUpdateBoxes
// until ReleaseUpdateBoxes (the main window, once made), so that they are owned by the window and
// never hidden behind it when it appears.
void HoldUpdateBoxes();
void ReleaseUpdateBoxes();

// Opens the maker's web site in the default browser, with the System folder as the browser's
// working folder (the process's own current folder is left alone); "Running Browser was failed."
// when that fails. Used by the check and by the Help menu.
bool OpenMakerWebSite(HWND owner);

// "Checking Update", modal: 0 after OK, 1 after Cancel (or when a check closed it).
INT_PTR ShowUpdateDialog(HWND owner);

// Seams for the tests: the thread start, ShellExecute, and the request to close the main window.
using UpdateThreadStart = uintptr_t (*)(void *security, unsigned stackSize, unsigned(__stdcall *entry)(void *),
                                        void *argument, unsigned flags, unsigned *threadId);
extern UpdateThreadStart g_updateThreadStart;
using UpdateShellExecute = HINSTANCE(WINAPI *)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);
extern UpdateShellExecute g_updateShellExecute;
extern void (*g_updateCloseMainWindow)();
