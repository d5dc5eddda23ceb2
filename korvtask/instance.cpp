// instance: the switches, the named mutexes that keep one resident and one settings dialog, the
// administrator test, the stop request, and the starts of korvane and of the scheduler itself.
#include "korvtask.h"

#include "language.h"
#include "rega.h"

#include <cstring>
#include <string>

HINSTANCE g_instance = nullptr;

// ---- Switches -----------------------------------------------------------------------------------

StartSwitch ParseStartSwitch(const char *arguments) {
    if (!arguments) return StartSwitch::Settings;
    if (_stricmp(arguments, "/s") == 0) return StartSwitch::Resident;
    if (_stricmp(arguments, "/j") == 0) return StartSwitch::Stop;
    if (_stricmp(arguments, "/js") == 0) return StartSwitch::StopAndWait;
    return StartSwitch::Settings;
}

// ---- Named mutexes ----------------------------------------------------------------------------

NamedMutex::NamedMutex(const char *name) {
    handle_ = CreateMutexA(nullptr, TRUE, name);
    // The initial ownership is granted only to the creator.
    existed_ = handle_ && GetLastError() == ERROR_ALREADY_EXISTS;
    owned_ = handle_ && !existed_;
}

bool NamedMutex::WaitOwned(DWORD milliseconds) {
    if (owned_) return true;
    if (!handle_) return false;
    DWORD waited = WaitForSingleObject(handle_, milliseconds);
    // WAIT_ABANDONED: the owner ended without letting go (a resident ends so); ours now all the same.
    owned_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    return owned_;
}

void NamedMutex::Close() {
    if (!handle_) return;
    if (owned_) ReleaseMutex(handle_);
    CloseHandle(handle_);
    handle_ = nullptr;
    owned_ = false;
}

// ---- Administrator test and stop request ----------------------------------------------------------

bool SchedulerKeyWritable() {
    REGA key;
    if (!key.OpenKey(HKEY_LOCAL_MACHINE, kSchedulerKey, OPEN_CREATE)) return false;
    key.CloseKey();
    return true;
}

bool StopResident() {
    HWND resident = FindWindowA(kResidentClass, nullptr);
    if (!resident) return false;
    // The resident treats the message as its own end: icon off, menu freed, quit posted.
    SendMessageA(resident, WM_DESTROY, 0, 0);
    return true;
}

// ---- Starting programs ----------------------------------------------------------------------------

HINSTANCE(WINAPI *g_shellExecute)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT) = ShellExecuteA;

bool StartProgram(HWND owner, const char *file, const char *parameters) {
    // The current directory is the program folder (set at start), so korvane lies beside us.
    INT_PTR result = reinterpret_cast<INT_PTR>(g_shellExecute(owner, "open", file, parameters, ".", SW_SHOWNORMAL));
    if (result > 32) return true;
    std::string commandLine = file;
    if (parameters && *parameters) commandLine.append(" ").append(parameters);
    ShowShellExecuteError(owner, commandLine.c_str(), result);
    return false;
}
