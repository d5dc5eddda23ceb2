// language: the process language, bilingual texts, message boxes, tooltips, ShellExecute errors,
// help and the text box dialog.
#include "language.h"

#include "platform.h"
#include "rega.h"
#include "textbox.h"
#include "winhandle.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

bool g_japanese = true;
const char *g_productTitle = "タイドウェル";

struct ProductTitles {
    const char *japanese;
    const char *english;
};

ProductTitles TitlesOf(Program program) {
    if (program == Program::Scheduler) return {"タイドウェル スケジューラ", "Tidewell scheduler"};
    return {"タイドウェル", "Tidewell"};
}

} // namespace

// ---- Language -----------------------------------------------------------------------------------

bool DecideJapanese(const char *rnslang, LANGID systemLanguage) {
    if (rnslang && *rnslang) return _stricmp(rnslang, "JA") == 0;
    return PRIMARYLANGID(systemLanguage) == LANG_JAPANESE;
}

void SetLanguage(Program program, bool japanese) {
    g_japanese = japanese;
    ProductTitles titles = TitlesOf(program);
    g_productTitle = japanese ? titles.japanese : titles.english;
    SetRegaEnglish(!japanese);
    if (program == Program::Korvane) SetArchiveLibraryLanguage(!japanese);
}

void DecideLanguage(Program program) {
    char value[81];
    DWORD length = GetEnvironmentVariableA("RNSLANG", value, sizeof value);
    // A value too long for the buffer is set, and is not "JA".
    const char *rnslang = length == 0 ? nullptr : (length < sizeof value ? value : "?");
    bool japanese = DecideJapanese(rnslang, GetSystemDefaultLangID());
    if (japanese) {
        // Japanese is where every process starts; only the title depends on the program.
        g_japanese = true;
        g_productTitle = TitlesOf(program).japanese;
    } else {
        SetLanguage(program, false);
    }
}

bool IsJapanese() {
    return g_japanese;
}

const char *ProductTitle() {
    return g_productTitle;
}

// ---- Message boxes ----------------------------------------------------------------------------

namespace {

CriticalSection g_handlerLock;
MessageBoxHandler g_handler;

} // namespace

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
    CriticalLock lock(g_handlerLock);
    MessageBoxHandler previous = std::move(g_handler);
    g_handler = std::move(handler);
    return previous;
}

int ShowMessageBox(HWND owner, const char *text, const char *caption, UINT type) {
    MessageBoxHandler handler;
    {
        CriticalLock lock(g_handlerLock);
        handler = g_handler;
    }
    if (handler) return handler({owner, text ? text : "", caption ? caption : "", type});
    return MessageBoxA(owner, text, caption, type);
}

int ShowMessage(HWND owner, const TextPair &text, UINT type) {
    return ShowMessageBox(owner, text.Get(), ProductTitle(), type);
}

// ---- Tooltips -----------------------------------------------------------------------------------

HWND AddToolTips(HWND dialog, const ToolTipText *table) {
    if (!dialog || !table) return nullptr;
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(dialog, GWLP_HINSTANCE));
    HWND tip = CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, dialog, nullptr, instance, nullptr);
    if (!tip) return nullptr;
    for (const ToolTipText *entry = table; entry->id != 0 && entry->text; ++entry) {
        HWND control = GetDlgItem(dialog, entry->id);
        if (!control) continue;
        TOOLINFOA info = {};
        // The older structure size is understood by every version of the common controls.
        info.cbSize = TTTOOLINFOA_V2_SIZE;
        info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        info.hwnd = dialog;
        info.uId = reinterpret_cast<UINT_PTR>(control);
        info.lpszText = const_cast<char *>(entry->text);
        SendMessageA(tip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&info));
    }
    return tip;
}

HWND AddToolTipsWrapped(HWND dialog, const ToolTipText *table) {
    HWND tip = AddToolTips(dialog, table);
    if (!tip) return nullptr;
    RECT client = {};
    GetClientRect(dialog, &client);
    SendMessageA(tip, TTM_SETMAXTIPWIDTH, 0, (client.right - client.left) * 5 / 4);
    return tip;
}

// ---- ShellExecute -------------------------------------------------------------------------------

const char *ShellExecuteReason(INT_PTR result) {
    switch (result) {
    case 0:
    case 8:
        return Tx("メモリが不足しているため、操作を完了できませんでした。",
                  "There was not enough memory to complete the operation.");
    case 2:
        return Tx("指定されたファイルが見つかりません。", "The specified file was not found.");
    case 3:
        return Tx("指定されたパスが見つかりません。", "The specified path was not found.");
    case 5:
        return Tx("指定されたファイルへのアクセスが拒否されました。",
                  "The operating system denied access to the specified file. ");
    case 11:
        return Tx("EXE ファイルが無効です。", "The .exe file is invalid");
    case 26:
        return Tx("共有違反が発生しました。", "A sharing violation occurred.");
    case 27:
        return Tx("ファイル名の関連付けが不完全か、無効です。", "The file name association is incomplete or invalid.");
    case 28:
    case 29:
    case 30:
        return Tx("DDE エラーです。", "DDE error.");
    case 31:
        return Tx("この拡張子に関連付けられたアプリケーションがありません。",
                  "There is no application associated with the given file name extension.");
    case 32:
        return Tx("指定されたダイナミック リンク ライブラリが見つかりません。",
                  "The specified dynamic-link library was not found. ");
    default:
        return Tx("不明なエラーが発生しました。", "The Unknown error occurred.");
    }
}

std::string ShellWorkingFolder(const char *file) {
    char folder[kFolderBufferSize];
    if (!file || !FolderOfPath(file, folder)) return std::string();
    std::string result = folder;
    size_t n = result.size();
    bool driveRoot = n == 3 && result[1] == ':';
    // FolderOfPath ends on a real separator, so a final 0x5C here is never a trail byte.
    if (n > 1 && result[n - 1] == '\\' && !driveRoot && !IsLeadByteAt(result.c_str(), int(n) - 2)) result.pop_back();
    return result;
}

void ShowShellExecuteError(HWND owner, const char *file, INT_PTR result) {
    std::string text = Tx("エラー:\n", "Error:\n");
    text.append(file ? file : "").append("\n\n").append(ShellExecuteReason(result));
    ShowMessageBox(owner, text.c_str(), ProductTitle(), MB_ICONERROR);
}

bool ShellOpenFile(HWND owner, const char *file, const char *parameters) {
    if (!file) return false;
    std::string folder = ShellWorkingFolder(file);
    INT_PTR result = reinterpret_cast<INT_PTR>(
        ShellExecuteA(owner, "open", file, parameters, folder.empty() ? nullptr : folder.c_str(), SW_SHOWNORMAL));
    if (result > 32) return true;
    ShowShellExecuteError(owner, file, result);
    return false;
}

// ---- Help ---------------------------------------------------------------------------------------

std::string HelpTopicName(int number) {
    char name[32];
    snprintf(name, sizeof name, "HLP%06d.html", number);
    return name;
}

std::string HelpTopicPath(const char *topic, const char *folder) {
    std::string path = folder && *folder ? folder : ".";
    AppendBackslash(path);
    path += "KORVANE.CHM";
    if (topic && *topic) path.append("::/_RESOURCE/").append(topic);
    return path;
}

std::string LegacyHelpTopic(const char *reference) {
    static const char kPrefix[] = "korvane.hlp,";
    const size_t prefixLength = sizeof kPrefix - 1;
    if (!reference || _strnicmp(reference, kPrefix, prefixLength) != 0) return std::string();
    const char *digits = reference + prefixLength;
    if (!*digits || strlen(digits) > 9) return std::string();
    for (const char *p = digits; *p; ++p)
        if (*p < '0' || *p > '9') return std::string();
    return HelpTopicName(atoi(digits));
}

namespace {

using HtmlHelpFunction = HWND(WINAPI *)(HWND, LPCSTR, UINT, DWORD_PTR);
constexpr UINT kHelpDisplayTopic = 0; // HH_DISPLAY_TOPIC

// Looked for once per process (a local static is initialised once, whichever thread comes first);
// a failure to load is not retried.
HtmlHelpFunction HtmlHelpEntry() {
    static const HtmlHelpFunction entry = GetProcAs<HtmlHelpFunction>(LoadSystemLibrary("hhctrl.ocx"), "HtmlHelpA");
    return entry;
}

} // namespace

bool ShowHelp(HWND owner, const char *topic, const char *folder) {
    HtmlHelpFunction htmlHelp = HtmlHelpEntry();
    if (!htmlHelp) return false;
    return htmlHelp(owner, HelpTopicPath(topic, folder).c_str(), kHelpDisplayTopic, 0) != nullptr;
}

// ---- Text box dialog ----------------------------------------------------------------------------

namespace {

struct TextBoxData {
    const char *caption;
    std::string message;
};

// An edit control breaks lines only at CR LF; texts from other programs often hold bare LFs.
std::string WithCrLf(const char *text) {
    std::string result;
    for (const char *p = text; *p; ++p) {
        if (*p == '\n' && (p == text || p[-1] != '\r')) result += '\r';
        result += *p;
    }
    return result;
}

BOOL TextBoxOnInitDialog(HWND dialog, const TextBoxData &data) {
    SetWindowTextA(dialog, ProductTitle());
    SendDlgItemMessageA(dialog, IDC_TEXTBOX_ICON, STM_SETICON, reinterpret_cast<WPARAM>(LoadIcon(nullptr, IDI_WARNING)),
                        0);
    SetDlgItemTextA(dialog, IDC_TEXTBOX_CAPTION, data.caption);
    SetDlgItemTextA(dialog, IDC_TEXTBOX_TEXT, data.message.c_str());
    // Scrolled to the end, caret after the last character: the end of a log is what matters.
    HWND edit = GetDlgItem(dialog, IDC_TEXTBOX_TEXT);
    LRESULT length = SendMessageA(edit, WM_GETTEXTLENGTH, 0, 0);
    SetFocus(edit);
    SendMessageA(edit, EM_SETSEL, length, length);
    SendMessageA(edit, EM_SCROLLCARET, 0, 0);
    return FALSE;
}

INT_PTR CALLBACK TextBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        return TextBoxOnInitDialog(dialog, *reinterpret_cast<TextBoxData *>(lParam));
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        break;
    }
    return FALSE;
}

} // namespace

void ShowTextBox(HWND owner, const char *caption, const char *message) {
    TextBoxData data{caption ? caption : "", WithCrLf(message ? message : "")};
    INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_TEXTBOX), owner, TextBoxProc,
                                     reinterpret_cast<LPARAM>(&data));
    if (result <= 0) {
        // Without the template the text must still reach the user.
        std::string text = std::string(data.caption) + "\n\n" + (message ? message : "");
        ShowMessageBox(owner, text.c_str(), ProductTitle(), MB_ICONWARNING);
    }
}
