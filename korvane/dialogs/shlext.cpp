// shlext: two ways to start a Rinsa run from outside the configurator. "Shell Extensions" puts a
// Rinsa item into Explorer's context menu of program files (or of all files) whose command hands
// the clicked file to korvane with /E; its button opens the shortcut dialog, which puts a desktop
// shortcut that starts korvane with one of the automatic-run switches.
#include "dialogs/shlext.h"

#include "korvane.h"
#include "planner/rnsrun.h"
#include "resource.h"

#include "language.h"
#include "platform.h"
#include "rega.h"
#include "runlog.h"

#include <cwctype>
#include <new>

namespace {

const char kLogModule[] = "shlext";
const char kHelpTopic[] = "HLP000025.html";
const char kExeTag[] = "Class/exe";
const char kAllFilesTag[] = "Class/*";
// GetModuleFileNameA cuts a longer path to the buffer, which would then name another file.
constexpr DWORD kModulePathBuffer = 1024;
// What Windows takes for one name and for a whole path (MAX_PATH with its terminator).
constexpr size_t kMaxFileNameChars = 255;
constexpr size_t kMaxPathChars = MAX_PATH - 1;
const char kShortcutExtension[] = ".lnk";

} // namespace

DWORD(WINAPI *g_moduleFileName)(HMODULE, LPSTR, DWORD) = GetModuleFileNameA;

bool ReadKorvanePath(std::string *path) {
    char buffer[kModulePathBuffer];
    DWORD length = g_moduleFileName(nullptr, buffer, kModulePathBuffer);
    if (length == 0 || length >= kModulePathBuffer) return false;
    path->assign(buffer, length);
    return true;
}

// ---- Explorer's context menu --------------------------------------------------------------------

std::string ExplorerMenuCommand(const std::string &korvanePath) {
    if (korvanePath.empty()) return std::string();
    return "\"" + korvanePath + "\" /E\"%1\"";
}

const char *DefaultMenuItemName() {
    return Tx("Rinsa 実行", "Rinsa");
}

bool MenuItemNameOf(DWORD type, const std::string &bytes, std::string *name) {
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    *name = bytes.substr(0, bytes.find('\0'));
    return true;
}

namespace {

struct VerbKey {
    const char *path;
    const char *errorTag;
};
const VerbKey kExeVerb = {kExeVerbKey, kExeTag};
const VerbKey kAllFilesVerb = {kAllFilesVerbKey, kAllFilesTag};

std::string CommandKeyOf(const VerbKey &verb) {
    return std::string(verb.path) + "\\command";
}

// Whether the verb is registered (its command key exists); its stored name when it has one.
bool ReadVerb(const VerbKey &verb, std::string *name) {
    REGA command;
    if (!command.OpenKey(HKEY_CLASSES_ROOT, CommandKeyOf(verb).c_str(), OPEN_READONLY)) return false;
    command.CloseKey();
    REGA key;
    if (!key.OpenKey(HKEY_CLASSES_ROOT, verb.path, OPEN_READONLY)) return true;
    RegistryValue value = ReadRegistryValue(key, "");
    key.CloseKey();
    std::string stored;
    if (value.exists && !MenuItemNameOf(value.type, value.bytes, &stored))
        LogLine2(kLogModule, __LINE__, verb.path,
                 Tx(": メニュー項目名が文字列ではありません。", ": the menu item name is not a text."));
    if (!stored.empty()) *name = stored;
    return true;
}

bool WriteVerb(const VerbKey &verb, const std::string &name, const std::string &command) {
    REGA key;
    if (!key.OpenKey(HKEY_CLASSES_ROOT, verb.path, OPEN_CREATE)) return false;
    bool written = key.WriteStringA("", name.c_str(), STRTYPE_PLAIN);
    REGA commandKey;
    if (written && commandKey.OpenKey(key.Handle(), "command", OPEN_CREATE)) {
        written = commandKey.WriteStringA("", command.c_str(), STRTYPE_PLAIN);
        commandKey.CloseKey();
    } else {
        written = false;
    }
    key.CloseKey();
    return written;
}

// The command key first, then the verb; a key that is not there, or that someone else gave more
// subkeys, is left as it is without a word.
void RemoveVerb(const VerbKey &verb) {
    std::string path = verb.path;
    size_t last = path.rfind('\\');
    REGA parent;
    if (!parent.OpenKey(HKEY_CLASSES_ROOT, path.substr(0, last).c_str(), 0)) return;
    std::string child = path.substr(last + 1);
    parent.DeleteKey((child + "\\command").c_str());
    parent.DeleteKey(child.c_str());
    parent.CloseKey();
}

void StoreVerb(const VerbKey &verb, bool wanted, const std::string &name, const std::string &command) {
    if (!wanted)
        RemoveVerb(verb);
    else if (!command.empty() && !WriteVerb(verb, name, command))
        ReportRegistryError(verb.errorTag, kLogModule);
}

} // namespace

ExplorerMenuState ReadExplorerMenu() {
    ExplorerMenuState state;
    state.exeFiles = ReadVerb(kExeVerb, &state.name);
    // Read second, so the all-files name wins when both are there.
    state.allFiles = ReadVerb(kAllFilesVerb, &state.name);
    return state;
}

void WriteExplorerMenu(HWND owner, const ExplorerMenuState &state, const std::string &korvanePath) {
    const std::string name = state.name.empty() ? DefaultMenuItemName() : state.name;
    const std::string command = ExplorerMenuCommand(korvanePath);
    if ((state.exeFiles || state.allFiles) && command.empty()) {
        const char *text = RUNLOG(Tx("KORVANE.EXE のパスを読み取れないため、エクスプローラーのメニューに Rinsa "
                                     "の項目を追加しませんでした。",
                                     "The path of KORVANE.EXE cannot be read, so the Rinsa item was not added to "
                                     "Explorer's menu."));
        ShowMessageBox(owner, text, ProductTitle(), MB_ICONERROR);
    }
    StoreVerb(kExeVerb, state.exeFiles, name, command);
    StoreVerb(kAllFilesVerb, state.allFiles, name, command);
}

MenuButtonTexts MenuButtonTextsFor(bool japanese, bool buttonsSwapped) {
    if (!japanese || !buttonsSwapped) return {nullptr, nullptr, nullptr};
    return {
        "エクスプローラーでファイルを左クリックしたときのメニューに Rinsa の項目を追加します。選ぶと、そのファイルを "
        "Rinsa 実行で実行する準備をしてタイドウェルが開きます。",
        "実行ファイル (.exe/.lnk) の左クリック メニューを拡張する(&E)",
        "すべてのファイルの左クリック メニューを拡張する(&X)"};
}

// ---- The shortcut -------------------------------------------------------------------------------

const char *ShortcutSwitch(ShortcutKind kind) {
    switch (kind) {
    case ShortcutKind::Defragment:
        return "/A0";
    case ShortcutKind::CheckDisk:
        return "/A1";
    case ShortcutKind::CheckAndDefragment:
        return "/A2";
    case ShortcutKind::LastSetting:
        return "/A";
    case ShortcutKind::OtherApplication:
        return "/S";
    default:
        return "";
    }
}

std::string ShortcutArguments(ShortcutKind kind, const std::string &commandLine) {
    std::string arguments = ShortcutSwitch(kind);
    if (kind == ShortcutKind::OtherApplication) arguments += commandLine;
    return arguments;
}

std::string ShortcutPreview(ShortcutKind kind, const std::string &korvanePath) {
    if (kind == ShortcutKind::OtherApplication) return std::string();
    std::string preview = "( \"" + korvanePath + "\"";
    if (*ShortcutSwitch(kind)) preview += std::string(" ") + ShortcutSwitch(kind);
    return preview + " )";
}

const char *DefaultShortcutName() {
    return Tx("Rinsa のショートカット", "Shortcut of Rinsa");
}

namespace {

bool IsForbiddenInName(wchar_t c) {
    return c < 0x20 || wcschr(L"\\/:*?\"<>|", c) != nullptr;
}

// CON, PRN, AUX, NUL, COM1-9 and LPT1-9 name devices whatever follows the first dot.
bool IsDeviceName(const std::wstring &name) {
    std::wstring stem = name.substr(0, name.find(L'.'));
    while (!stem.empty() && stem.back() == L' ')
        stem.pop_back();
    for (wchar_t &c : stem)
        c = wchar_t(towupper(c));
    for (const wchar_t *device : {L"CON", L"PRN", L"AUX", L"NUL"})
        if (stem == device) return true;
    return stem.size() == 4 && (stem.compare(0, 3, L"COM") == 0 || stem.compare(0, 3, L"LPT") == 0) &&
           stem[3] >= L'1' && stem[3] <= L'9';
}

} // namespace

ShortcutName CheckShortcutName(const std::string &folder, const std::string &name) {
    // Looked at as the file system will see it: a double-byte character whose trail byte is 0x5C
    // or 0x7C is one character, not a backslash or a bar.
    std::wstring wide = AnsiToWide(name.c_str());
    if (wide.empty() && !name.empty()) return ShortcutName::ForbiddenCharacter;
    for (wchar_t c : wide)
        if (IsForbiddenInName(c)) return ShortcutName::ForbiddenCharacter;
    if (IsDeviceName(wide)) return ShortcutName::ReservedName;
    size_t fileChars = wide.size() + sizeof kShortcutExtension - 1;
    size_t pathChars = AnsiToWide(ShortcutFilePath(folder, name).c_str()).size();
    if (fileChars > kMaxFileNameChars || pathChars > kMaxPathChars) return ShortcutName::TooLong;
    return ShortcutName::Ok;
}

std::string ShortcutFilePath(const std::string &folder, const std::string &name) {
    std::string path = folder;
    AppendBackslash(path);
    return path + name + kShortcutExtension;
}

// ---- Shell Extensions dialog --------------------------------------------------------------------

namespace {

const ToolTipText kExtensionTipsJa[] = {
    {IDC_SHLEXT_EXEFILES, "エクスプローラーの実行可能ファイルの右クリック メニューに「Rinsa」の項目を追加します。"},
    {IDC_SHLEXT_ALLFILES, "エクスプローラーのすべてのファイルの右クリック メニューに「Rinsa」の項目を追加します。"},
    {IDC_SHLEXT_SHORTCUT, "Rinsa のショートカットを作成します。"},
    {IDC_SHLEXT_NAME, "メニュー項目の文字列です。"},
    {IDHELP, "ヘルプを表示します。"},
    {IDOK, "設定を保存して、このダイアログを閉じます。"},
    {IDCANCEL, "このダイアログを閉じます。"},
    {0, nullptr},
};
const ToolTipText kExtensionTipsEn[] = {
    {IDC_SHLEXT_EXEFILES, "Appends 'Rinsa' menu item to Explorer's context menu for runnable files."},
    {IDC_SHLEXT_ALLFILES, "Appends 'Rinsa' menu item to Explorer's context menu for all files."},
    {IDC_SHLEXT_SHORTCUT, "Creates a shortcut of rinsa."},
    {IDC_SHLEXT_NAME, "Text of menu item."},
    {IDHELP, "Displays Japanese help."},
    {IDOK, "Saves settings and Closes this dialog box."},
    {IDCANCEL, "Closes this dialog box."},
    {0, nullptr},
};

bool Checked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

void EnableNameField(HWND dialog) {
    EnableWindow(GetDlgItem(dialog, IDC_SHLEXT_NAME),
                 Checked(dialog, IDC_SHLEXT_EXEFILES) || Checked(dialog, IDC_SHLEXT_ALLFILES));
}

void ApplyButtonTexts(HWND dialog) {
    MenuButtonTexts texts = MenuButtonTextsFor(IsJapanese(), GetSystemMetrics(SM_SWAPBUTTON) != 0);
    if (texts.explanation) SetDlgItemTextA(dialog, IDC_SHLEXT_EXPLANATION, texts.explanation);
    if (texts.exeFiles) SetDlgItemTextA(dialog, IDC_SHLEXT_EXEFILES, texts.exeFiles);
    if (texts.allFiles) SetDlgItemTextA(dialog, IDC_SHLEXT_ALLFILES, texts.allFiles);
}

BOOL OnExtensionsInit(HWND dialog) {
    AddToolTips(dialog, ToolTipTable(kExtensionTipsJa, kExtensionTipsEn));
    ExplorerMenuState state = ReadExplorerMenu();
    CheckDlgButton(dialog, IDC_SHLEXT_EXEFILES, state.exeFiles ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_SHLEXT_ALLFILES, state.allFiles ? BST_CHECKED : BST_UNCHECKED);
    SetDlgItemTextA(dialog, IDC_SHLEXT_NAME, state.name.empty() ? DefaultMenuItemName() : state.name.c_str());
    EnableNameField(dialog);
    ApplyButtonTexts(dialog);
    return TRUE;
}

void OnExtensionsOk(HWND dialog) {
    ExplorerMenuState state;
    state.exeFiles = Checked(dialog, IDC_SHLEXT_EXEFILES);
    state.allFiles = Checked(dialog, IDC_SHLEXT_ALLFILES);
    TextPtr name = DialogItemText(dialog, IDC_SHLEXT_NAME);
    if (name) state.name = name.get();
    std::string korvanePath;
    if (!ReadKorvanePath(&korvanePath)) korvanePath.clear();
    WriteExplorerMenu(dialog, state, korvanePath);
    EndDialog(dialog, 0);
}

void OnExtensionsCommand(HWND dialog, int id) {
    switch (id) {
    case IDC_SHLEXT_EXEFILES:
    case IDC_SHLEXT_ALLFILES:
        EnableNameField(dialog);
        break;
    case IDC_SHLEXT_SHORTCUT:
        ShowShortcutDialog(dialog);
        break;
    case IDHELP:
        ShowHelp(dialog, kHelpTopic);
        break;
    case IDOK:
        OnExtensionsOk(dialog);
        break;
    case IDCANCEL:
        EndDialog(dialog, 1);
        break;
    }
}

INT_PTR CALLBACK ExtensionsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return OnExtensionsInit(dialog);
    case WM_COMMAND:
        OnExtensionsCommand(dialog, LOWORD(wParam));
        return TRUE;
    case WM_HELP:
        ShowHelp(dialog, kHelpTopic);
        return TRUE;
    }
    return FALSE;
}

} // namespace

INT_PTR ShowShellExtensions(HWND owner) {
    INT_PTR result = DialogBoxParamA(ResourceInstance(), MAKEINTRESOURCEA(ResId(IDD_SHLEXT_JA, IDD_SHLEXT_EN)), owner,
                                     ExtensionsProc, 0);
    return result == 0 ? 0 : 1;
}

// ---- Shortcut dialog ----------------------------------------------------------------------------

namespace {

const ToolTipText kShortcutTipsJa[] = {
    {IDC_SHORTCUT_NAME, "ショートカット ファイルの名前を入力します。"},
    {IDC_SHORTCUT_COMMAND, "ショートカット ファイルのコマンドラインを入力します。"},
    {IDC_SHORTCUT_BROWSE, "ファイル名を参照して、エディットボックスに挿入します。"},
    {IDC_SHORTCUT_KORVANE, "korvane.exe を起動するショートカット ファイルを作成します。"},
    {IDC_SHORTCUT_DEFRAG, "Rinsa でデフラグを実行するショートカット ファイルを作成します。"},
    {IDC_SHORTCUT_CHECK,
     "Rinsa でチェックディスクまたはスキャンディスクを実行するショートカット ファイルを作成します。"},
    {IDC_SHORTCUT_BOTH,
     "Rinsa でチェックディスクまたはスキャンディスクとデフラグを実行するショートカット ファイルを作成します。"},
    {IDC_SHORTCUT_LAST, "前回の設定で実行するショートカット ファイルを作成します。"},
    {IDC_SHORTCUT_OTHER, "Rinsa でその他のプログラムを実行するショートカット ファイルを作成します。"},
    {IDOK, "デスクトップにショートカット ファイルを作成します。"},
    {IDCANCEL, "このダイアログを閉じます。"},
    {IDHELP, "ヘルプを表示します。"},
    {0, nullptr},
};
const ToolTipText kShortcutTipsEn[] = {
    {IDC_SHORTCUT_NAME, "Enter the file name of a shortcut file."},
    {IDC_SHORTCUT_COMMAND, "Enter the command line of a shortcut file."},
    {IDC_SHORTCUT_BROWSE, "Browses file name and Insert it into editbox."},
    {IDC_SHORTCUT_KORVANE, "Creates a shortcut file to run korvane.exe."},
    {IDC_SHORTCUT_DEFRAG, "Creates a shortcut file of Defragment with rinsa."},
    {IDC_SHORTCUT_CHECK, "Creates a shortcut file of chkdsk or scandisk with rinsa."},
    {IDC_SHORTCUT_BOTH, "Creates a shortcut file of chkdsk of scandisk and Defragment with rinsa."},
    {IDC_SHORTCUT_LAST, "Creates a shortcut file by last settings."},
    {IDC_SHORTCUT_OTHER, "Creates a shortcut file of other program with rinsa."},
    {IDOK, "Saves settings and Closes this dialog box."},
    {IDCANCEL, "Closes this dialogs."},
    {IDHELP, "Displays Japanese help."},
    {0, nullptr},
};

// The radio buttons in the order of ShortcutKind.
const int kKindIds[] = {IDC_SHORTCUT_KORVANE, IDC_SHORTCUT_DEFRAG, IDC_SHORTCUT_CHECK,
                        IDC_SHORTCUT_BOTH,    IDC_SHORTCUT_LAST,   IDC_SHORTCUT_OTHER};

struct ShortcutDialog {
    std::string korvanePath; // empty when it cannot be read: no shortcut can then be made
};

ShortcutDialog *DataOf(HWND dialog) {
    return reinterpret_cast<ShortcutDialog *>(GetWindowLongPtrA(dialog, DWLP_USER));
}

HWND CommandField(HWND dialog) {
    return GetDlgItem(dialog, IDC_SHORTCUT_COMMAND);
}

int KindIndexOf(int id) {
    for (int i = 0; i < int(sizeof kKindIds / sizeof *kKindIds); ++i)
        if (kKindIds[i] == id) return i;
    return -1;
}

ShortcutKind SelectedKind(HWND dialog) {
    for (int i = 0; i < int(sizeof kKindIds / sizeof *kKindIds); ++i)
        if (Checked(dialog, kKindIds[i])) return ShortcutKind(i);
    return ShortcutKind::OtherApplication;
}

std::string ItemString(HWND dialog, int id) {
    TextPtr text = DialogItemText(dialog, id);
    return text ? text.get() : "";
}

BOOL OnShortcutInit(HWND dialog, ShortcutDialog *data) {
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(data));
    AddToolTips(dialog, ToolTipTable(kShortcutTipsJa, kShortcutTipsEn));
    // The field stays read-only and Browse disabled (as in the resource) until a kind is clicked.
    CheckRadioButton(dialog, IDC_SHORTCUT_LAST, IDC_SHORTCUT_KORVANE, IDC_SHORTCUT_OTHER);
    AllowDropFromLowerProcesses();
    DragAcceptFiles(dialog, TRUE);
    return TRUE;
}

void OnKindClicked(HWND dialog, ShortcutKind kind) {
    const ShortcutDialog *data = DataOf(dialog);
    bool other = kind == ShortcutKind::OtherApplication;
    if (!other)
        SetWindowTextA(CommandField(dialog), ShortcutPreview(kind, data ? data->korvanePath : "").c_str());
    else if (ItemString(dialog, IDC_SHORTCUT_COMMAND).compare(0, 1, "(") == 0)
        SetWindowTextA(CommandField(dialog), "");
    SendMessageA(CommandField(dialog), EM_SETREADONLY, other ? FALSE : TRUE, 0);
    EnableWindow(GetDlgItem(dialog, IDC_SHORTCUT_BROWSE), other);
}

const char *NameRefusal(ShortcutName check) {
    switch (check) {
    case ShortcutName::ForbiddenCharacter:
        return Tx("ショートカットの名前には次の文字は使えません。\r\n\\ / : * ? \" < > |",
                  "A shortcut name cannot contain any of the following characters:\r\n\\ / : * ? \" < > |");
    case ShortcutName::ReservedName:
        return Tx("この名前は Windows が装置の名前に使っているため、ショートカットの名前にできません。",
                  "Windows uses this name for a device; it cannot name a shortcut.");
    default:
        return Tx("ショートカットの名前が長すぎます。", "The name of the shortcut is too long.");
    }
}

bool IsBlankText(const std::string &text) {
    return text.find_first_not_of(" \t") == std::string::npos;
}

// The answers that let the shortcut be made: a usable name, a command line for other programs,
// and yes to replacing a shortcut of the same name.
bool ShortcutWanted(HWND dialog, const std::string &name, const std::string &file, ShortcutKind kind) {
    ShortcutName check = CheckShortcutName(DesktopFolder(), name);
    if (check != ShortcutName::Ok) {
        ShowMessageBox(dialog, NameRefusal(check), ProductTitle(), MB_ICONERROR);
        return false;
    }
    if (kind == ShortcutKind::OtherApplication && IsBlankText(ItemString(dialog, IDC_SHORTCUT_COMMAND))) {
        ShowMessage(dialog,
                    {"2 番目のエディットボックスにコマンドラインを入力してください。",
                     "Enter the command line into the second editbox."},
                    MB_ICONERROR);
        return false;
    }
    if (!FileExists(file.c_str())) return true;
    std::string question = FormatString(Tx("デスクトップには「%s」という名前のショートカットがすでにあります。\r\n"
                                           "置き換えますか?",
                                           "A shortcut named \"%s\" is already on the desktop.\r\n"
                                           "Do you want to replace it?"),
                                        name.c_str());
    return ShowMessageBox(dialog, question.c_str(), ProductTitle(), MB_ICONQUESTION | MB_YESNO) == IDYES;
}

void CreateRinsaShortcut(HWND dialog) {
    const ShortcutDialog *data = DataOf(dialog);
    try {
        std::string name = ItemString(dialog, IDC_SHORTCUT_NAME);
        if (name.empty()) name = DefaultShortcutName();
        ShortcutKind kind = SelectedKind(dialog);
        std::string file = ShortcutFilePath(DesktopFolder(), name);
        if (!ShortcutWanted(dialog, name, file, kind)) return;
        std::string arguments = ShortcutArguments(kind, ItemString(dialog, IDC_SHORTCUT_COMMAND));
        // Without the program's path or the desktop there is nothing to point to or no place to put it.
        bool made = data && !data->korvanePath.empty() && *DesktopFolder() &&
                    CreateShortcutFile(data->korvanePath.c_str(), arguments.c_str(), file.c_str());
        if (made) {
            ShowMessage(dialog,
                        {"デスクトップに Rinsa のショートカットを作成しました。",
                         "The shortcut of Rinsa on Desktop was created."},
                        MB_ICONINFORMATION);
            return;
        }
        RUNLOG2(Tx("ショートカットを作成できませんでした - ", "Creating shortcut was failed - "), file.c_str());
        ShowMessage(dialog, {"ショートカットを作成できませんでした。", "Creating shortcut was failed."}, MB_ICONERROR);
    } catch (const std::bad_alloc &) {
        ShowMessage(dialog, {"メモリが足りません。", "Out of memory."}, MB_ICONERROR);
    }
}

// Dropped files are command lines for other programs only.
void OnShortcutDrop(HWND dialog, HDROP drop) {
    if (Checked(dialog, IDC_SHORTCUT_OTHER))
        AddDroppedCommands(dialog, CommandField(dialog), drop, " ");
    else
        DragFinish(drop);
}

void OnShortcutCommand(HWND dialog, int id, int code) {
    int kind = KindIndexOf(id);
    if (kind >= 0) {
        if (code == BN_CLICKED) OnKindClicked(dialog, ShortcutKind(kind));
        return;
    }
    switch (id) {
    case IDC_SHORTCUT_BROWSE:
        BrowseForCommand(dialog, CommandField(dialog));
        break;
    case IDOK:
        CreateRinsaShortcut(dialog);
        break;
    case IDCANCEL:
        EndDialog(dialog, 0);
        break;
    case IDHELP:
        ShowHelp(dialog, kHelpTopic);
        break;
    }
}

INT_PTR CALLBACK ShortcutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return OnShortcutInit(dialog, reinterpret_cast<ShortcutDialog *>(lParam));
    case WM_COMMAND:
        OnShortcutCommand(dialog, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_DROPFILES:
        OnShortcutDrop(dialog, reinterpret_cast<HDROP>(wParam));
        return TRUE;
    case WM_HELP:
        ShowHelp(dialog, kHelpTopic);
        return TRUE;
    }
    return FALSE;
}

} // namespace

void ShowShortcutDialog(HWND owner) {
    ShortcutDialog data;
    if (!ReadKorvanePath(&data.korvanePath)) data.korvanePath.clear();
    DialogBoxParamA(ResourceInstance(), MAKEINTRESOURCEA(ResId(IDD_SHORTCUT_JA, IDD_SHORTCUT_EN)), owner, ShortcutProc,
                    reinterpret_cast<LPARAM>(&data));
}
