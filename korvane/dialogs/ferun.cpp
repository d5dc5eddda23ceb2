// ferun: the command lines of other programs. The normal panel, the wizard's "Enter command lines"
// dialog and the before/after editor share one multi-line field's operations: Browse adds a
// program, Open loads a command-line file (*.rnx), Save writes one. The dialog keeps the lines in
// LastCmdLine, from which the planner makes one command-list entry per line.
#include "dialogs/ferun.h"

#include "korvane.h"
#include "resource.h"
#include "planner/rnsrun.h"

#include "language.h"
#include "platform.h"
#include "rega.h"
#include "settings.h"
#include "winhandle.h"

#include <commdlg.h>

#include <cstring>
#include <cwchar>
#include <new>

namespace {

const char kLogModule[] = "ferun";
constexpr DWORD kBrowseBufferSize = 523;
constexpr DWORD kFileBufferSize = 520;
constexpr UINT kDropPathLimit = 520;

const TextPair kOutOfMemory = {"メモリが足りません。", "Out of memory."};

// ---- Decoding a command-line file ---------------------------------------------------------------

// The ANSI form of a wide text; a zero character or one the code page has no place for refuses it.
CommandFileResult WideToAnsiExact(const wchar_t *wide, size_t length, std::string *text) {
    if (wmemchr(wide, L'\0', length)) return CommandFileResult::NotText;
    std::string ansi;
    if (length > 0) {
        // With UTF-8 as the ANSI code page (a Windows 10 option) neither the best-fit flag nor the
        // default-character question is allowed; the one character UTF-8 has no place for is a lone
        // surrogate.
        bool utf8 = GetACP() == CP_UTF8;
        if (utf8 && HasLoneSurrogate(wide, length)) return CommandFileResult::Unconvertible;
        DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
        BOOL usedDefault = FALSE;
        BOOL *askDefault = utf8 ? nullptr : &usedDefault;
        int size = WideCharToMultiByte(CP_ACP, flags, wide, int(length), nullptr, 0, nullptr, askDefault);
        if (size <= 0 || usedDefault) return CommandFileResult::Unconvertible;
        ansi.resize(size_t(size));
        WideCharToMultiByte(CP_ACP, flags, wide, int(length), &ansi[0], size, nullptr, askDefault);
    }
    text->swap(ansi);
    return CommandFileResult::Ok;
}

CommandFileResult DecodeUtf16(const char *bytes, size_t size, std::string *text) {
    if (size % 2 != 0) return CommandFileResult::NotText;
    std::wstring wide(size / 2, L'\0');
    if (size > 0) memcpy(&wide[0], bytes, size);
    return WideToAnsiExact(wide.data(), wide.size(), text);
}

CommandFileResult DecodeUtf8(const char *bytes, size_t size, std::string *text) {
    if (size == 0) return WideToAnsiExact(L"", 0, text);
    int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, int(size), nullptr, 0);
    if (length <= 0) return CommandFileResult::NotText;
    std::wstring wide(size_t(length), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, int(size), &wide[0], length);
    return WideToAnsiExact(wide.data(), wide.size(), text);
}

bool StartsWith(const char *bytes, size_t size, const char *mark, size_t markSize) {
    return size >= markSize && memcmp(bytes, mark, markSize) == 0;
}

} // namespace

CommandFileResult DecodeCommandFile(const char *bytes, size_t size, std::string *text) {
    if (!text || (!bytes && size > 0)) return CommandFileResult::NotText;
    try {
        if (StartsWith(bytes, size, "\xFF\xFE", 2)) return DecodeUtf16(bytes + 2, size - 2, text);
        // Notepad writes UTF-8 with this mark; taken as bytes it would spoil the first line.
        if (StartsWith(bytes, size, "\xEF\xBB\xBF", 3)) return DecodeUtf8(bytes + 3, size - 3, text);
        // A zero would end the field's text early and silently drop every line after it.
        if (size > 0 && memchr(bytes, '\0', size)) return CommandFileResult::NotText;
        text->assign(bytes, size);
        return CommandFileResult::Ok;
    } catch (const std::bad_alloc &) {
        return CommandFileResult::NoMemory;
    }
}

CommandFileResult ReadCommandFile(const char *path, std::string *text) {
    if (!path || !text) return CommandFileResult::NotFound;
    UniqueFile file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size = {};
    if (!file || !GetFileSizeEx(file.Get(), &size)) return CommandFileResult::NotFound;
    if (static_cast<unsigned long long>(size.QuadPart) >= kCommandFileLimit) return CommandFileResult::TooLarge;
    DWORD wanted = DWORD(size.QuadPart);
    std::unique_ptr<char[]> bytes(new (std::nothrow) char[size_t(wanted) + 1]);
    if (!bytes) return CommandFileResult::NoMemory;
    // A file that shrinks while it is read gives what it still has.
    DWORD total = 0;
    while (total < wanted) {
        DWORD got = 0;
        if (!ReadFile(file.Get(), bytes.get() + total, wanted - total, &got, nullptr))
            return CommandFileResult::NotFound;
        if (got == 0) break;
        total += got;
    }
    return DecodeCommandFile(bytes.get(), total, text);
}

void ShowCommandFileError(HWND owner, CommandFileResult result) {
    switch (result) {
    case CommandFileResult::Ok:
        return;
    case CommandFileResult::NotFound:
        ShowMessage(owner, {"指定されたファイルが見つかりません。", "The specified file is not found."}, MB_ICONERROR);
        return;
    case CommandFileResult::TooLarge:
    case CommandFileResult::NoMemory:
        ShowMessage(owner, kOutOfMemory, MB_ICONERROR);
        return;
    case CommandFileResult::NotText:
        ShowMessage(owner,
                    {"このファイルはコマンドラインのテキストファイルではありません (0 のバイトを含むか、UTF-16 "
                     "のテキストの長さが奇数です)。何も読み込みませんでした。",
                     "This file is not a text file of command lines (it holds zero bytes, or its UTF-16 text has an "
                     "odd length). Nothing was read."},
                    MB_ICONERROR);
        return;
    case CommandFileResult::Unconvertible:
        ShowMessage(owner,
                    {"このファイルには、この Windows のコードページで表せない文字が含まれています。何も読み込みませんで"
                     "した。",
                     "This file holds characters that the code page of this Windows cannot show. Nothing was read."},
                    MB_ICONERROR);
        return;
    }
}

TextFileWrite WriteTextFile(const char *path, const char *text, size_t length) {
    if (!path || (!text && length > 0)) return TextFileWrite::CannotCreate;
    UniqueFile file(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return TextFileWrite::CannotCreate;
    while (length > 0) {
        DWORD chunk = length > 0x40000000 ? 0x40000000 : DWORD(length);
        DWORD written = 0;
        if (!WriteFile(file.Get(), text, chunk, &written, nullptr) || written == 0) return TextFileWrite::CannotWrite;
        text += written;
        length -= written;
    }
    return TextFileWrite::Ok;
}

std::string AppendDroppedCommand(const std::string &field, const char *path, const char *separator) {
    std::string quoted = path ? path : "";
    QuoteIfBlank(quoted);
    return field.empty() ? quoted : field + separator + quoted;
}

// ---- The field operations -----------------------------------------------------------------------

namespace {

TextPtr FieldText(HWND edit) {
    return DialogItemText(GetParent(edit), GetDlgCtrlID(edit));
}

// A multi-line edit sends no EN_CHANGE for WM_SETTEXT, so the owner is told here; the normal panel
// stores LastCmdLine on that notification.
bool SetFieldText(HWND owner, HWND edit, const char *text) {
    if (!SetWindowTextA(edit, text)) {
        ShowMessage(owner, kOutOfMemory, MB_ICONERROR);
        return false;
    }
    SendMessageA(owner, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(edit), EN_CHANGE), reinterpret_cast<LPARAM>(edit));
    return true;
}

// Each literal ends in an extra zero, which closes the filter list.
const char *CommandFileFilter() {
    return Tx("RNX ファイル(*.rnx;*.txt)\0*.rnx;*.txt\0", "RNX files(*.rnx;*.txt)\0*.rnx;*.txt\0");
}

OPENFILENAMEA FileDialogData(HWND owner, char *path, DWORD size, const char *title, const char *filter) {
    OPENFILENAMEA data = {};
    data.lStructSize = sizeof data;
    data.hwndOwner = owner;
    data.lpstrFilter = filter;
    data.nFilterIndex = 1;
    data.lpstrFile = path;
    data.nMaxFile = size;
    data.lpstrTitle = title;
    data.Flags = OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    return data;
}

struct DropScope {
    HDROP drop;
    ~DropScope() { DragFinish(drop); }
};

} // namespace

bool BrowseForCommand(HWND owner, HWND edit) {
    SetFocus(edit);
    char path[kBrowseBufferSize] = "";
    OPENFILENAMEA data = FileDialogData(owner, path, sizeof path, Tx("参照", "Browse"),
                                        Tx("実行可能ファイル(*.exe;*.com;*.bat)\0*.exe;*.com;*.bat\0",
                                           "Runable files(*.exe;*.com;*.bat)\0*.exe;*.com;*.bat\0"));
    if (!GetOpenFileNameA(&data)) return false;
    // Appended as it is, without a line break: a program typed first takes the file as argument.
    TextPtr field = FieldText(edit);
    std::string text;
    try {
        std::string quoted = path;
        QuoteIfBlank(quoted);
        text = std::string(field ? field.get() : "") + quoted;
    } catch (const std::bad_alloc &) {
        field.reset();
    }
    if (!field) {
        ShowMessage(owner, kOutOfMemory, MB_ICONERROR);
        return false;
    }
    return SetFieldText(owner, edit, text.c_str());
}

bool OpenCommandFile(HWND owner, HWND edit) {
    char path[kFileBufferSize] = "";
    OPENFILENAMEA data = FileDialogData(owner, path, sizeof path, Tx("開く", "Open"), CommandFileFilter());
    if (!GetOpenFileNameA(&data)) return false;
    std::string text;
    CommandFileResult result = ReadCommandFile(path, &text);
    if (result != CommandFileResult::Ok) {
        ShowCommandFileError(owner, result);
        return false;
    }
    return SetFieldText(owner, edit, text.c_str());
}

bool AskSaveFileName(HWND owner, char *path, DWORD size, const char *title, const char *filter,
                     const char *defaultExtension) {
    OPENFILENAMEA data = FileDialogData(owner, path, size, title, filter);
    data.lpstrDefExt = defaultExtension;
    data.Flags = OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT;
    return GetSaveFileNameA(&data) != FALSE;
}

void ShowTextFileWriteError(HWND owner, TextFileWrite result) {
    if (result == TextFileWrite::CannotCreate)
        ShowMessage(owner, {"指定されたファイルを開けません。", "The specified file cannot be open."}, MB_ICONERROR);
    else if (result == TextFileWrite::CannotWrite)
        ShowMessage(owner, {"ファイルを最後まで書き込めませんでした。", "The file could not be written completely."},
                    MB_ICONERROR);
}

bool SaveCommandFile(HWND owner, HWND edit) {
    char path[kFileBufferSize] = "";
    if (!AskSaveFileName(owner, path, sizeof path, Tx("保存", "Save"), CommandFileFilter(), "rnx")) return false;
    TextPtr field = FieldText(edit);
    if (!field) {
        ShowMessage(owner, kOutOfMemory, MB_ICONERROR);
        return false;
    }
    TextFileWrite result = WriteTextFile(path, field.get(), strlen(field.get()));
    if (result != TextFileWrite::Ok) {
        ShowTextFileWriteError(owner, result);
        return false;
    }
    if (IsJapanese()) {
        std::string done = std::string("エディットボックスの内容を次のファイルに保存しました。\r\n") + path;
        ShowMessageBox(owner, done.c_str(), ProductTitle(), MB_ICONINFORMATION);
    }
    return true;
}

void AddDroppedCommands(HWND owner, HWND edit, HDROP drop, const char *separator) {
    DropScope scope{drop};
    TextPtr field = FieldText(edit);
    std::string text;
    try {
        text = field ? field.get() : "";
        UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < count; ++i) {
            char path[kDropPathLimit];
            UINT length = DragQueryFileA(drop, i, nullptr, 0);
            if (length == 0 || length >= kDropPathLimit) continue;
            if (DragQueryFileA(drop, i, path, sizeof path) == 0) continue;
            text = AppendDroppedCommand(text, path, separator);
        }
    } catch (const std::bad_alloc &) {
        field.reset();
    }
    if (!field) {
        ShowMessage(owner, kOutOfMemory, MB_ICONERROR);
        return;
    }
    SetFieldText(owner, edit, text.c_str());
    SetForegroundWindow(owner);
}

// ---- "Enter command lines" ----------------------------------------------------------------------

namespace {

const ToolTipText kToolTipsJa[] = {
    {IDC_FERUN_COMMANDS, "コマンドラインを 1 行に 1 つずつ入力します。"},
    {IDC_FERUN_BROWSE, "ファイル名を参照して、エディットボックスに挿入します。"},
    {IDC_FERUN_OPEN, "テキストファイルを開いて、エディットボックスに挿入します。"},
    {IDC_FERUN_SAVE, "エディットボックスの内容をテキストファイルに保存します。"},
    {IDOK, "コマンドラインを保存して、このダイアログを閉じます。"},
    {IDCANCEL, "コマンドラインを保存せずに、このダイアログを閉じます。"},
    {0, nullptr},
};
const ToolTipText kToolTipsEn[] = {
    {IDC_FERUN_COMMANDS, "Type command lines, one per line."},
    {IDC_FERUN_BROWSE, "Browses file name and Insert it into editbox."},
    {IDC_FERUN_OPEN, "Opens text file and Insert it into editbox."},
    {IDC_FERUN_SAVE, "Saves text file from editbox."},
    {IDOK, "Stores the command lines and closes this dialog."},
    {IDCANCEL, "Closes this dialog without storing the command lines."},
    {0, nullptr},
};

HWND CommandField(HWND dialog) {
    return GetDlgItem(dialog, IDC_FERUN_COMMANDS);
}

BOOL OnInitDialog(HWND dialog) {
    AddToolTips(dialog, ToolTipTable(kToolTipsJa, kToolTipsEn));
    // Typing may go on as long as the stored value; the default limit would stop at 32K.
    SendMessageA(CommandField(dialog), EM_SETLIMITTEXT, 0, 0);
    REGA key;
    if (OpenSettings(key, OPEN_READONLY)) {
        key.ReadStringForEditboxA(setting::LastCmdLine.name, dialog, IDC_FERUN_COMMANDS);
        key.CloseKey();
    }
    AllowDropFromLowerProcesses();
    DragAcceptFiles(dialog, TRUE);
    return TRUE;
}

// The key is created when missing: the wizard may be the first to store anything. On failure the
// dialog stays open, so the typed lines are not lost and can still be saved to a file.
bool StoreCommandLines(HWND dialog) {
    REGA key;
    bool stored = false;
    if (OpenSettings(key, OPEN_CREATE)) {
        stored = key.WriteStringFromEditBoxA(setting::LastCmdLine.name, dialog, IDC_FERUN_COMMANDS);
        key.CloseKey();
    }
    if (!stored) ReportRegistryError(kSettingsLocation, kLogModule);
    return stored;
}

void OnCommand(HWND dialog, int id) {
    switch (id) {
    case IDC_FERUN_BROWSE:
        BrowseForCommand(dialog, CommandField(dialog));
        break;
    case IDC_FERUN_OPEN:
        OpenCommandFile(dialog, CommandField(dialog));
        break;
    case IDC_FERUN_SAVE:
        SaveCommandFile(dialog, CommandField(dialog));
        break;
    case IDOK:
        if (StoreCommandLines(dialog)) EndDialog(dialog, 0);
        break;
    case IDCANCEL:
        EndDialog(dialog, -1);
        break;
    }
}

void OnDropFiles(HWND dialog, HDROP drop) {
    if (IsWindowEnabled(CommandField(dialog)))
        AddDroppedCommands(dialog, CommandField(dialog), drop);
    else
        DragFinish(drop);
}

INT_PTR CALLBACK CommandLinesProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(dialog);
    case WM_COMMAND:
        OnCommand(dialog, LOWORD(wParam));
        return TRUE;
    case WM_DROPFILES:
        OnDropFiles(dialog, reinterpret_cast<HDROP>(wParam));
        return TRUE;
    case WM_HELP:
        ShowHelp(dialog, kGeneralHelpTopic);
        return TRUE;
    }
    return FALSE;
}

} // namespace

INT_PTR ShowCommandLinesDialog(HWND owner) {
    INT_PTR result = DialogBoxParamA(ResourceInstance(), MAKEINTRESOURCEA(ResId(IDD_FERUN_JA, IDD_FERUN_EN)), owner,
                                     CommandLinesProc, 0);
    // A dialog that could not be made stored nothing, as after Cancel.
    return result == 0 ? 0 : -1;
}
