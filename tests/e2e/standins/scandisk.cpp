// Stands in for ScanDisk's question "restarted 10 times", which QS's watcher answers with No: a
// message box with Yes and No whose text begins as the English ScanDisk's does, or (argument
// "/ja") as the Japanese one's. The test starts it; it records the keys that reach it and the
// answer in the events (events.h) as "question" (the text), "key" and "answer" (Yes or No), then
// ends with exit code 6 for Yes, 7 for No.
#include "events.h"
#include "journal.h"

#include <cwchar>

namespace {

const char kTool[] = "SCANDISK";

const wchar_t kEnglish[] = L"ScanDisk has restarted 10 times because Windows or another program wrote to the drive "
                           L"while it was being checked.\n\nDo you want ScanDisk to check the drive without stopping?";
// Its first 20 bytes in Shift-JIS are what QS looks for: "Windows", a blank and "or other".
const wchar_t kJapanese[] =
    L"Windows またはその他のプログラムがドライブに書き込んだため、ScanDisk は 10 回再起動しました。"
    L"\n\n書き込みを止めてドライブを検査しますか?";

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    standin::AppendJournal(kTool, "");
    bool japanese = std::wcsstr(GetCommandLineW(), L"/ja") != nullptr;
    const wchar_t *text = japanese ? kJapanese : kEnglish;
    standin::AppendEvent(kTool, "question", standin::Utf8(text));
    standin::RecordKeys(kTool);
    int answer = MessageBoxW(nullptr, text, L"ScanDisk", MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND);
    standin::AppendEvent(kTool, "answer", answer == IDYES ? "Yes" : answer == IDNO ? "No" : "other");
    return answer;
}
