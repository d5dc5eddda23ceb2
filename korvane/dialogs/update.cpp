// update: the update check. A worker thread asks the maker's web server for /update.txt over a TCP
// socket of its own (Windows Sockets 1.1, directly or through a proxy), looks for the tagged version
// in the reply, compares it with this program's version and offers to open the maker's web site.
// The "Checking Update" dialog holds the settings and starts a check on demand.
//
// The worker and the user-interface thread share a few flags, always through Interlocked calls,
// and the handle of the open dialog. The worker never touches the dialog's controls nor closes a
// window itself: it posts to the dialog, which updates itself, and it asks the main window to
// close, which it does only when no run is being planned.
#include "korvane.h"
#include "dialogs/options.h"
#include "dialogs/update.h"
#include "planner/rnsrun.h"
#include "window/korvwin.h"
#include "korvane_version.h"
#include "resource.h"

#include "language.h"
#include "platform.h"
#include "runlog.h"
#include "settings.h"
#include "winhandle.h"

#include <winsock.h>
#include <process.h>
#include <shellapi.h>

#include <cstring>
#include <memory>
#include <new>

UpdateThreadStart g_updateThreadStart = _beginthreadex;
UpdateShellExecute g_updateShellExecute = ShellExecuteA;
void (*g_updateCloseMainWindow)() = RequestMainWindowClose;

namespace {

const char kLogModule[] = "update";
constexpr const char *kHelpTopic = "HLP000024.html";
constexpr const char *kUserAgent = "lumenlib [ja] (korv4)";
constexpr size_t kVersionDigits = 5;
constexpr int kSendAttempts = 20;
// A send the socket cannot take yet waits this long for room before it is tried again.
constexpr DWORD kSendRetryMs = 500;
// GetTickCount differences are compared with this at most, so that they never wrap.
constexpr DWORD kLongestWaitMs = 0x7FFFFFFF;
constexpr UINT_PTR kClosedSocket = ~UINT_PTR(0); // INVALID_SOCKET, as the header keeps it

// Posted by the worker to the dialog when a check has ended; wParam holds kDone* flags.
constexpr UINT kCheckDoneMessage = WM_APP + 1;
constexpr WPARAM kDoneUncheckAuto = 1; // the user turned the automatic check off
constexpr WPARAM kDoneClose = 2;       // the web site was opened and Tidewell closes

// ---- Shared between the user-interface thread and the worker ------------------------------------

volatile LONG g_running = 0; // from the start of a check until the worker is done with the dialog
volatile LONG g_repeat = 0;  // a manual request came while the check ran: it tells its result
HWND volatile g_dialog = nullptr;
// Set while the worker may show its boxes; reset by HoldUpdateBoxes until the main window exists.
HANDLE g_boxesReleased = CreateEventA(nullptr, TRUE, TRUE, nullptr);

LONG ReadFlag(volatile LONG &flag) {
    return InterlockedCompareExchange(&flag, 0, 0);
}

HWND ReadWindow(HWND volatile &window) {
    return static_cast<HWND>(
        InterlockedCompareExchangePointer(reinterpret_cast<PVOID volatile *>(&window), nullptr, nullptr));
}

HWND PublishedDialog() {
    return ReadWindow(g_dialog);
}

// The owner of the worker's boxes; null while the main window does not exist yet.
HWND MainWindowNow() {
    return ReadWindow(g_mainWindow);
}

// The owner of a box the worker is about to show, once boxes may be shown.
HWND BoxOwner() {
    if (g_boxesReleased) WaitForSingleObject(g_boxesReleased, INFINITE);
    return MainWindowNow();
}

// ---- The question of a newer version ------------------------------------------------------------

const char *NewerQuestion(bool manual, bool closeWindow) {
    static const char *const kJapanese[2][2] = {
        {"新しいバージョンが見つかりました。Halvorn の Web サイトを表示しますか?\n"
         "ダウンロードする前に、タイドウェルを終了してください。",
         "新しいバージョンが見つかりました。Halvorn の Web サイトを表示しますか?\n"
         "ダウンロードする前に、タイドウェルを終了してください。\n([キャンセル] : 今後は通知しません。)"},
        {"新しいバージョンが見つかりました。Halvorn の Web サイトを表示しますか?\n"
         "Web サイトを開くと、タイドウェルは終了します。",
         "新しいバージョンが見つかりました。Halvorn の Web サイトを表示しますか?\n"
         "Web サイトを開くと、タイドウェルは終了します。\n([キャンセル] : 今後は通知しません。)"},
    };
    if (IsJapanese()) return kJapanese[closeWindow ? 1 : 0][manual ? 0 : 1];
    return manual ? "The new version was found. Do you browse Halvorn's web site?"
                  : "The new version was found. Do you browse Halvorn's web site?\n"
                    "([Cencel] : It does not notify any longer.)";
}

// ---- Socket helpers -----------------------------------------------------------------------------

SOCKET AsSocket(UINT_PTR handle) {
    return static_cast<SOCKET>(handle);
}

// A TCP service name ("http"), else a port number; the result in network order.
bool ResolvePort(const char *port, u_short *networkPort) {
    if (const servent *service = getservbyname(port, "tcp")) {
        *networkPort = service->s_port;
        return true;
    }
    unsigned short number = ParsePortNumber(port);
    if (!number) return false;
    *networkPort = htons(number);
    return true;
}

// A host name, else a dotted address that resolves back to a host.
bool ResolveHost(const char *host, in_addr *address) {
    const hostent *found = gethostbyname(host);
    if (!found) {
        unsigned long dotted = inet_addr(host);
        if (dotted == INADDR_NONE) return false;
        found = gethostbyaddr(reinterpret_cast<const char *>(&dotted), sizeof dotted, AF_INET);
    }
    if (!found || found->h_addrtype != AF_INET || found->h_length != sizeof(in_addr) || !found->h_addr_list ||
        !found->h_addr_list[0])
        return false;
    memcpy(address, found->h_addr_list[0], sizeof *address);
    return true;
}

// ---- The reply ----------------------------------------------------------------------------------

// Reads until the version is found, the buffer is full, the time-out has passed, or the connection
// has ended or failed (then nothing more can come, and the wait ends at once).
long ReadReply(UpdateTransport &transport, const UpdateCheckRequest &request) {
    char buffer[kUpdateBufferSize] = {};
    size_t held = 0;
    long version = -1;
    DWORD sent = GetTickCount(), limit = ReplyWaitLimitMs(request.timeoutSeconds);
    while (version < 0 && held < kUpdateReceiveLimit) {
        DWORD elapsed = GetTickCount() - sent;
        if (elapsed >= limit) break;
        UpdateTransport::Wait wait = transport.WaitReadable(limit - elapsed);
        if (wait == UpdateTransport::kWaitFailed) break;
        if (wait == UpdateTransport::kTimedOut) continue;
        int got = transport.Receive(buffer + held, static_cast<int>(kUpdateReceiveLimit - held));
        if (got == UpdateTransport::kNothingYet) continue;
        if (got <= 0) break;
        held += static_cast<size_t>(got);
        version = FindUpdateVersion(buffer, held, request.beta);
    }
    return version;
}

// ---- The worker ---------------------------------------------------------------------------------

struct UpdateJob {
    UpdateMode mode;
    UpdateCheckRequest request;
};

UpdateJob *NewJob(UpdateMode mode, const UpdateCheckRequest &request) {
    try {
        return new UpdateJob{mode, request};
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
}

// What the dialog and the main window are told when the check ends.
struct CheckNews {
    WPARAM dialogFlags = 0;
    bool closeMainWindow = false;
};

CheckNews AskToBrowse(HWND owner, bool manual, bool closeWindow) {
    UpdateMessage question = OutcomeMessage(UpdateOutcome::Newer, manual, closeWindow);
    int answer = ShowMessageBox(owner, question.text, ProductTitle(), question.type);
    CheckNews news;
    if (answer == IDYES) {
        if (OpenMakerWebSite(owner) && closeWindow) {
            news.dialogFlags |= kDoneClose;
            news.closeMainWindow = true;
        }
    } else if (answer == IDCANCEL && !manual) {
        if (!WriteSettingDword(setting::AutoUpdateCheck.name, 0)) ReportRegistryError(kSettingsLocation, kLogModule);
        news.dialogFlags |= kDoneUncheckAuto;
    }
    return news;
}

void TraceFailure(const ExchangeResult &result) {
    if (!TraceMode() || result.connected) return;
    RUNLOG(FormatString(Tx("アップデートチェック: 接続できませんでした (%d)", "Update check: connect failed (%d)"),
                        result.connectCode)
               .c_str());
}

// The check is idle again before the dialog hears of it, so that a dialog opened meanwhile either
// sees the check running (and is told here) or sees it idle.
void FinishCheck(const CheckNews &news) {
    InterlockedExchange(&g_repeat, 0);
    InterlockedExchange(&g_running, 0);
    if (HWND dialog = PublishedDialog()) PostMessageA(dialog, kCheckDoneMessage, news.dialogFlags, 0);
    if (news.closeMainWindow) g_updateCloseMainWindow();
}

unsigned __stdcall UpdateWorker(void *parameter) {
    std::unique_ptr<UpdateJob> job(static_cast<UpdateJob *>(parameter));
    // ShellExecute may hand the address to a shell extension, which needs COM on this thread.
    ComScope com;
    UpdateConnection connection;
    ExchangeResult result = ExchangeUpdate(connection, KORVANE_UPDATE_HOST, job->request);
    TraceFailure(result);
    UpdateOutcome outcome = EvaluateUpdate(result, g_versionNumber);
    bool manual = job->mode == UpdateMode::Manual;
    CheckNews news;
    if (outcome == UpdateOutcome::Newer) {
        news = AskToBrowse(BoxOwner(), manual, job->request.closeWindow);
    } else if (OutcomeTold(outcome, manual || ReadFlag(g_repeat) != 0)) {
        UpdateMessage message = OutcomeMessage(outcome, manual, job->request.closeWindow);
        ShowMessageBox(BoxOwner(), message.text, ProductTitle(), message.type);
    }
    FinishCheck(news);
    return 0;
}

// ---- The dialog ---------------------------------------------------------------------------------

// What the dialog shows and, after OK, stores.
struct UpdateSettings {
    bool autoCheck = false;
    UpdateCheckRequest request;
};

const ToolTipText kTipsJa[] = {
    {IDC_UPDATE_CHECK, "インターネットで新しいバージョンを確認します。"},
    {IDC_UPDATE_AUTO, "起動するたびに、インターネットで新しいバージョンを確認します。"},
    {IDC_UPDATE_BETA, "開発中の新しいバージョンを確認します。"},
    {IDC_UPDATE_CLOSE, "新しいバージョンが見つかったときに、このアプリケーションを終了します。"},
    {IDC_UPDATE_PROXY, "プロキシ サーバーのアドレスです。"},
    {IDC_UPDATE_PORT, "プロキシ サーバーのポート番号です。"},
    {IDC_UPDATE_TIMEOUT, "タイムアウトまでの秒数です。"},
    {IDOK, "設定を保存して、このダイアログ ボックスを閉じます。"},
    {IDCANCEL, "このダイアログ ボックスを閉じます。"},
    {IDHELP, "ヘルプを表示します。"},
    {0, nullptr},
};
const ToolTipText kTipsEn[] = {
    {IDC_UPDATE_CHECK, "Checks a new version with Internet."},
    {IDC_UPDATE_AUTO, "Checks a new version with Internet in every boot time."},
    {IDC_UPDATE_BETA, "Checks a new developping version."},
    {IDC_UPDATE_CLOSE, "Closes this application when a new version is found."},
    {IDC_UPDATE_PROXY, "Address of Proxy server."},
    {IDC_UPDATE_PORT, "Port number of Proxy server."},
    {IDC_UPDATE_TIMEOUT, "Seconds of timeout."},
    {IDOK, "Saves this settings and closes this dialog box."},
    {IDCANCEL, "Closes this dialog box."},
    {IDHELP, "Displays Japanese help."},
    {0, nullptr},
};

// A key that cannot be read leaves every value at its default (the time-out at 6 seconds).
UpdateSettings ReadUpdateSettings() {
    UpdateSettings settings;
    REGA key;
    if (!OpenSettings(key, OPEN_READONLY)) return settings;
    settings.autoCheck = ReadSetting(key, setting::AutoUpdateCheck) != 0;
    settings.request = ReadUpdateCheckRequest(key);
    key.CloseKey();
    return settings;
}

void WriteUpdateSettings(const UpdateSettings &settings) {
    REGA key;
    if (!OpenSettingsForWriting(key, kLogModule)) return;
    const UpdateCheckRequest &request = settings.request;
    bool written = key.WriteIntegerA(setting::AutoUpdateCheck.name, settings.autoCheck ? 1 : 0);
    written &= key.WriteIntegerA(setting::BetaUpdateCheck.name, request.beta ? 1 : 0);
    written &= key.WriteIntegerA(setting::CloseWindow_wnve.name, request.closeWindow ? 1 : 0);
    written &= key.WriteStringA(setting::HTTPProxy.name, request.proxyHost.c_str(), STRTYPE_PLAIN);
    written &= key.WriteStringA(setting::HTTPProxyPort.name, request.proxyPort.c_str(), STRTYPE_PLAIN);
    written &= key.WriteIntegerA(setting::HTTPTimeout.name, static_cast<LONG>(request.timeoutSeconds));
    key.CloseKey();
    if (!written) ReportRegistryError(kSettingsLocation, kLogModule);
}

bool Checked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

void SetCheck(HWND dialog, int id, bool on) {
    CheckDlgButton(dialog, id, on ? BST_CHECKED : BST_UNCHECKED);
}

std::string FieldText(HWND dialog, int id) {
    TextPtr text = DialogItemText(dialog, id);
    return text ? text.get() : "";
}

// The fields as a request; false (after the message) when the time-out is no number.
bool GatherRequest(HWND dialog, UpdateCheckRequest *request) {
    DWORD timeout = 0;
    if (!ReadNumberField(dialog, IDC_UPDATE_TIMEOUT, 0, kLargestStoredNumber, &timeout)) return false;
    request->timeoutSeconds = timeout;
    request->proxyHost = FieldText(dialog, IDC_UPDATE_PROXY);
    request->proxyPort = FieldText(dialog, IDC_UPDATE_PORT);
    request->beta = Checked(dialog, IDC_UPDATE_BETA);
    request->closeWindow = Checked(dialog, IDC_UPDATE_CLOSE);
    return true;
}

void ShowChecking(HWND dialog) {
    HWND button = GetDlgItem(dialog, IDC_UPDATE_CHECK);
    // A disabled button keeps no focus; the keyboard moves on instead of getting lost.
    if (GetFocus() == button) SendMessageA(dialog, WM_NEXTDLGCTL, 0, FALSE);
    EnableWindow(button, FALSE);
    SetWindowTextA(button, Tx("確認中...", "Checking..."));
}

void ShowIdle(HWND dialog) {
    HWND button = GetDlgItem(dialog, IDC_UPDATE_CHECK);
    SetWindowTextA(button, Tx("今すぐ確認(&C)", "&Check now!"));
    EnableWindow(button, TRUE);
}

BOOL OnInitDialog(HWND dialog, const UpdateSettings &settings) {
    AddToolTips(dialog, ToolTipTable(kTipsJa, kTipsEn));
    SetCheck(dialog, IDC_UPDATE_AUTO, settings.autoCheck);
    SetCheck(dialog, IDC_UPDATE_BETA, settings.request.beta);
    SetCheck(dialog, IDC_UPDATE_CLOSE, settings.request.closeWindow);
    SetDlgItemTextA(dialog, IDC_UPDATE_PROXY, settings.request.proxyHost.c_str());
    SetDlgItemTextA(dialog, IDC_UPDATE_PORT, settings.request.proxyPort.c_str());
    SetDlgItemTextA(dialog, IDC_UPDATE_TIMEOUT, FormatString("%lu", settings.request.timeoutSeconds).c_str());
    // Published before the running flag is read: a check that ends in between still finds the
    // dialog and tells it.
    InterlockedExchangePointer(reinterpret_cast<PVOID volatile *>(&g_dialog), dialog);
    if (UpdateCheckRunning()) ShowChecking(dialog);
    return TRUE;
}

void OnCheckNow(HWND dialog) {
    UpdateCheckRequest request;
    if (!GatherRequest(dialog, &request)) return;
    ShowChecking(dialog);
    if (!StartUpdateCheck(UpdateMode::Manual, request)) ShowIdle(dialog);
}

void OnOk(HWND dialog) {
    auto *settings = reinterpret_cast<UpdateSettings *>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (!GatherRequest(dialog, &settings->request)) return;
    settings->autoCheck = Checked(dialog, IDC_UPDATE_AUTO);
    WriteUpdateSettings(*settings);
    EndDialog(dialog, 0);
}

void OnCheckDone(HWND dialog, WPARAM flags) {
    if (flags & kDoneUncheckAuto) SetCheck(dialog, IDC_UPDATE_AUTO, false);
    if (flags & kDoneClose) {
        EndDialog(dialog, 1);
        return;
    }
    // A check started since then keeps the button until it ends in turn.
    if (UpdateCheckRunning()) return;
    ShowIdle(dialog);
    SetForegroundWindow(dialog);
}

BOOL OnCommand(HWND dialog, int id) {
    switch (id) {
    case IDC_UPDATE_CHECK:
        OnCheckNow(dialog);
        return TRUE;
    case IDOK:
        OnOk(dialog);
        return TRUE;
    case IDCANCEL:
        EndDialog(dialog, 1);
        return TRUE;
    case IDHELP:
        ShowHelp(dialog, kHelpTopic);
        return TRUE;
    default:
        return FALSE;
    }
}

INT_PTR CALLBACK UpdateDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        return OnInitDialog(dialog, *reinterpret_cast<const UpdateSettings *>(lParam));
    case WM_COMMAND:
        return HIWORD(wParam) == BN_CLICKED ? OnCommand(dialog, LOWORD(wParam)) : FALSE;
    case kCheckDoneMessage:
        OnCheckDone(dialog, wParam);
        return TRUE;
    case WM_HELP:
        ShowHelp(dialog, kHelpTopic);
        return TRUE;
    case WM_DESTROY:
        InterlockedCompareExchangePointer(reinterpret_cast<PVOID volatile *>(&g_dialog), nullptr, dialog);
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace

// ---- The request and the reply ------------------------------------------------------------------

std::string UpdateRequestText(const char *host, bool throughProxy) {
    std::string text = throughProxy ? std::string("GET http://") + host + kUpdatePath + " HTTP/1.1"
                                    : std::string("GET ") + kUpdatePath + " HTTP/1.0";
    return text + "\r\nUser-Agent: " + kUserAgent + "\r\nHost: " + host + "\r\n\r\n";
}

long FindUpdateVersion(const char *received, size_t length, bool beta) {
    const char *tag = beta ? kBetaTag : kReleaseTag;
    size_t tagLength = strlen(tag);
    for (size_t at = 0; at + tagLength <= length; ++at) {
        if (memcmp(received + at, tag, tagLength) != 0) continue;
        // Only the first tag counts, whatever follows it.
        const char *digits = received + at + tagLength;
        if (length - at - tagLength < kVersionDigits + 1) return -1;
        long version = 0;
        for (size_t i = 0; i < kVersionDigits; ++i) {
            if (digits[i] < '0' || digits[i] > '9') return -1;
            version = version * 10 + (digits[i] - '0');
        }
        return digits[kVersionDigits] == '.' ? version : -1;
    }
    return -1;
}

unsigned short ParsePortNumber(const char *text) {
    if (!text || !*text) return 0;
    unsigned long port = 0;
    for (const char *c = text; *c; ++c) {
        if (*c < '0' || *c > '9') return 0;
        port = port * 10 + static_cast<unsigned long>(*c - '0');
        if (port > 65535) return 0;
    }
    return static_cast<unsigned short>(port);
}

DWORD ReplyWaitLimitMs(DWORD timeoutSeconds) {
    unsigned long long milliseconds = (timeoutSeconds + 1ULL) * 1000;
    return milliseconds > kLongestWaitMs ? kLongestWaitMs : static_cast<DWORD>(milliseconds);
}

UpdateOutcome EvaluateUpdate(const ExchangeResult &result, DWORD ownVersion) {
    if (!result.connected) return UpdateOutcome::ConnectFailed;
    if (result.version < 0) return UpdateOutcome::NotFound;
    DWORD found = static_cast<DWORD>(result.version);
    if (found > ownVersion) return UpdateOutcome::Newer;
    return found == ownVersion ? UpdateOutcome::Same : UpdateOutcome::Older;
}

bool OutcomeTold(UpdateOutcome outcome, bool manualOrAsked) {
    return outcome == UpdateOutcome::Newer || manualOrAsked;
}

UpdateMessage OutcomeMessage(UpdateOutcome outcome, bool manual, bool closeWindow) {
    switch (outcome) {
    case UpdateOutcome::Newer:
        return {NewerQuestion(manual, closeWindow), UINT(MB_ICONQUESTION | (manual ? MB_YESNO : MB_YESNOCANCEL))};
    case UpdateOutcome::Same:
        return {Tx("新しいバージョンは見つかりませんでした。", "The new version was not found."), MB_ICONINFORMATION};
    case UpdateOutcome::Older:
        return {Tx("このバージョンはまだ公開されていません。", "This version is not released."), MB_ICONWARNING};
    case UpdateOutcome::ConnectFailed:
        return {Tx("接続できませんでした。", "Connect failed."), MB_ICONERROR};
    default:
        return {Tx("更新情報が見つかりませんでした。", "Update Information was not found."), MB_ICONERROR};
    }
}

// ---- The connection -----------------------------------------------------------------------------

int UpdateConnection::Connect(const char *host, const char *port) {
    if (socket_ != kClosedSocket) return kAlreadyConnected;
    WSADATA data;
    if (WSAStartup(MAKEWORD(1, 1), &data) != 0) return kNoWinsock;
    int code = data.wVersion == MAKEWORD(1, 1) ? ConnectStarted(host, port) : kWrongWinsock;
    if (code != kConnected) WSACleanup();
    return code;
}

int UpdateConnection::ConnectStarted(const char *host, const char *port) {
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    if (!ResolvePort(port, &to.sin_port)) return kBadPort;
    if (!ResolveHost(host, &to.sin_addr)) return kBadHost;
    SOCKET handle = socket(AF_INET, SOCK_STREAM, 0);
    if (handle == INVALID_SOCKET) return kNoSocket;
    u_long nonBlocking = 1;
    if (connect(handle, reinterpret_cast<const sockaddr *>(&to), sizeof to) != 0 ||
        ioctlsocket(handle, FIONBIO, &nonBlocking) != 0) {
        closesocket(handle);
        return kRefused;
    }
    socket_ = handle;
    return kConnected;
}

bool UpdateConnection::WaitWritable(DWORD milliseconds) {
    fd_set writable;
    FD_ZERO(&writable);
    FD_SET(AsSocket(socket_), &writable);
    timeval limit = {static_cast<long>(milliseconds / 1000), static_cast<long>(milliseconds % 1000 * 1000)};
    return select(0, nullptr, &writable, nullptr, &limit) > 0;
}

bool UpdateConnection::Send(const std::string &text) {
    if (socket_ == kClosedSocket) return false;
    size_t sent = 0;
    int failures = 0;
    while (sent < text.size()) {
        int moved = send(AsSocket(socket_), text.data() + sent, static_cast<int>(text.size() - sent), 0);
        if (moved > 0) {
            sent += static_cast<size_t>(moved);
            continue;
        }
        if (++failures >= kSendAttempts) return false;
        if (moved == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) WaitWritable(kSendRetryMs);
    }
    return true;
}

UpdateTransport::Wait UpdateConnection::WaitReadable(DWORD milliseconds) {
    if (socket_ == kClosedSocket) return kWaitFailed;
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(AsSocket(socket_), &readable);
    timeval limit = {static_cast<long>(milliseconds / 1000), static_cast<long>(milliseconds % 1000 * 1000)};
    int ready = select(0, &readable, nullptr, nullptr, &limit);
    return ready > 0 ? kReadable : ready == 0 ? kTimedOut : kWaitFailed;
}

int UpdateConnection::Receive(char *buffer, int size) {
    if (socket_ == kClosedSocket) return kFailed;
    int got = recv(AsSocket(socket_), buffer, size, 0);
    if (got >= 0) return got;
    return WSAGetLastError() == WSAEWOULDBLOCK ? kNothingYet : kFailed;
}

void UpdateConnection::Close() {
    if (socket_ == kClosedSocket) return;
    shutdown(AsSocket(socket_), 2); // both directions
    closesocket(AsSocket(socket_));
    socket_ = kClosedSocket;
    WSACleanup();
}

ExchangeResult ExchangeUpdate(UpdateTransport &transport, const char *host, const UpdateCheckRequest &request) {
    ExchangeResult result;
    bool proxy = !request.proxyHost.empty();
    result.connectCode =
        transport.Connect(proxy ? request.proxyHost.c_str() : host, proxy ? request.proxyPort.c_str() : "80");
    if (result.connectCode != UpdateConnection::kConnected) return result;
    // A request that cannot be sent is a failed connection, not a reply without a version.
    result.connected = transport.Send(UpdateRequestText(host, proxy));
    if (result.connected) result.version = ReadReply(transport, request);
    transport.Close();
    return result;
}

// ---- The check ----------------------------------------------------------------------------------

UpdateCheckRequest ReadUpdateCheckRequest(REGA &settings) {
    UpdateCheckRequest request;
    request.proxyHost = ReadTextSetting(settings, setting::HTTPProxy);
    request.proxyPort = ReadTextSetting(settings, setting::HTTPProxyPort);
    request.closeWindow = ReadSetting(settings, setting::CloseWindow_wnve) == 1;
    request.timeoutSeconds = static_cast<DWORD>(ReadSetting(settings, setting::HTTPTimeout));
    request.beta = ReadSetting(settings, setting::BetaUpdateCheck) != 0;
    return request;
}

bool StartUpdateCheck(UpdateMode mode, const UpdateCheckRequest &request) {
    // One worker at a time: the flag is taken in one step, so two requests never both start one.
    if (InterlockedCompareExchange(&g_running, 1, 0) != 0) {
        if (mode == UpdateMode::Manual) InterlockedExchange(&g_repeat, 1);
        return true;
    }
    InterlockedExchange(&g_repeat, 0);
    UpdateJob *job = NewJob(mode, request);
    uintptr_t thread = job ? g_updateThreadStart(nullptr, 0, UpdateWorker, job, 0, nullptr) : 0;
    if (thread) {
        CloseHandle(reinterpret_cast<HANDLE>(thread));
        return true;
    }
    delete job;
    InterlockedExchange(&g_running, 0);
    ShowMessageBox(MainWindowNow(), Tx("Beginthread(Updatecheck) に失敗しました。", "Beginthread(Updatecheck) failed."),
                   Tx("アップデートチェック", "Update check"), MB_ICONERROR);
    return false;
}

void HoldUpdateBoxes() {
    if (g_boxesReleased) ResetEvent(g_boxesReleased);
}

void ReleaseUpdateBoxes() {
    if (g_boxesReleased) SetEvent(g_boxesReleased);
}

bool UpdateCheckRunning() {
    return ReadFlag(g_running) != 0;
}

bool OpenMakerWebSite(HWND owner) {
    INT_PTR result = reinterpret_cast<INT_PTR>(
        g_updateShellExecute(owner, "open", KORVANE_WEB_SITE, nullptr, SystemFolder(), SW_SHOWNORMAL));
    if (result > 32) return true;
    ShowMessage(owner, {"ブラウザーを起動できませんでした。", "Running Browser was failed."}, MB_ICONERROR);
    return false;
}

INT_PTR ShowUpdateDialog(HWND owner) {
    UpdateSettings settings = ReadUpdateSettings();
    return DialogBoxParamA(ModuleInstance(), MAKEINTRESOURCEA(ResId(IDD_UPDATE_JA, IDD_UPDATE_EN)), owner,
                           UpdateDialogProc, reinterpret_cast<LPARAM>(&settings));
}
