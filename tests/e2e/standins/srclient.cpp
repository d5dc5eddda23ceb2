// Stands in for System Restore's srclient.dll in the System folder of a test prefix (Wine's own
// says yes to everything). SRSetRestorePointA answers with the status the test wrote into
// C:\standins\SRCLIENT.cfg ("exit N", see journal.h; none means success), and every call is
// appended to C:\standins\srclient.log as "<event type> <restore point type> <sequence number>
// <description>", so that a test sees the begin and end of the change and what they were told.
#include "journal.h"

#include <srrestoreptapi.h>

#include <cstdio>
#include <string>

namespace {

constexpr INT64 kSequenceNumber = 4242;

void Record(const RESTOREPOINTINFOA &info) {
    wchar_t wide[MAX_DESC] = L"";
    MultiByteToWideChar(CP_ACP, 0, info.szDescription, -1, wide, MAX_DESC);
    std::string line = std::to_string(info.dwEventType) + " " + std::to_string(info.dwRestorePtType) + " " +
                       std::to_string(info.llSequenceNumber) + " " + standin::Utf8(wide) + "\r\n";
    HANDLE file = CreateFileA("C:\\standins\\srclient.log", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(file);
}

} // namespace

extern "C" __declspec(dllexport) BOOL WINAPI SRSetRestorePointA(PRESTOREPOINTINFOA info, PSTATEMGRSTATUS status) {
    if (!info || !status) return FALSE;
    CreateDirectoryA(standin::kFolder, nullptr);
    Record(*info);
    int answer = standin::ReadSettings("SRCLIENT").exitCode;
    // The end of a change closes what its begin opened; only the begin is refused.
    if (info->dwEventType == BEGIN_SYSTEM_CHANGE && answer != 0) {
        status->nStatus = static_cast<DWORD>(answer);
        status->llSequenceNumber = 0;
        return FALSE;
    }
    status->nStatus = ERROR_SUCCESS;
    status->llSequenceNumber = info->dwEventType == BEGIN_SYSTEM_CHANGE ? kSequenceNumber : info->llSequenceNumber;
    return TRUE;
}
