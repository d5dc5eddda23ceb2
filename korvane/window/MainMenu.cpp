// MainMenu: the menu of the normal mode: attaching it, the items that depend on the Windows
// version, the descriptions in the status text, the commands of the menu, and the export and import
// of all settings through REGEDIT.EXE.
#include "korvane.h"
#include "dialogs/ferun.h"
#include "dialogs/history.h"
#include "dialogs/options.h"
#include "dialogs/shlext.h"
#include "dialogs/trouble.h"
#include "dialogs/update.h"
#include "window/korvwin.h"
#include "window/normal.h"
#include "resource.h"
#include "planner/rnsrun.h"

#include "language.h"
#include "platform.h"
#include "runlog.h"
#include "settings.h"
#include "winhandle.h"

#include <commdlg.h>
#include <shellapi.h>

#include <cstring>

HMENU g_normalMenu = nullptr;

namespace {

const char kLogModule[] = "MainMenu";
// A settings file is a few kilobytes; anything far larger is not one.
constexpr unsigned long long kSettingsFileLimit = 16ULL << 20;

struct Description {
    UINT id;
    const char *japanese;
    const char *english;
};

const Description kMenuDescriptions[] = {
    {IDM_HELP, "ヘルプを表示します。", "Displays Japanese help."},
    {IDC_MAIN_WIZARD, "ウィザードモードに切り替えます。", "Changes to wizard mode."},
    {IDC_MAIN_EXIT, "タイドウェルを終了します。", "Quits Tidewell."},
    {IDC_MAIN_ABOUT, "プログラムの情報、バージョン番号、著作権を表示します。",
     "Displays program information, version number and copyright."},
    {IDC_NORMAL_TROUBLE, "いくつかのトラブルを解決します。", "Solves some troubles."},
    {IDC_NORMAL_UPDATE, "タイドウェルの新しいバージョンを確認します。", "Checks new version of tidewell."},
    {IDC_NORMAL_SHELLEXT, "エクスプローラーを拡張します。", "Extends for Windows Explorer."},
    {IDC_NORMAL_HISTORY, "Rinsa 実行のログを表示します。", "Displayes logs of Rinsa running."},
    {IDM_EXPORT, "タイドウェルのすべての設定をファイルに書き出します。", "Exports all settings of Tidewell to a file."},
    {IDM_IMPORT, "タイドウェルのすべての設定をファイルから読み込みます。",
     "Imports all settings of Tidewell from a file."},
    {IDC_NORMAL_OPTIONS, "タイドウェルと Rinsa 実行の設定をカスタマイズします。",
     "Customizes settings of Tidewell and rinsa!! running."},
    {IDM_HELP_TOPICS, "ヘルプのトピックを開きます。", "Opens help topics."},
    {IDM_WEB_SITE, "HALVORN の Web サイトを開きます。", "Opens HALVORN web site."},
    {IDM_SYSQ, "お使いの環境の情報 (SYSQ) を表示します。", "Displays your environment information(SYSQ)."},
    {IDM_PREVIEW, "Rinsa の実行で何が行われるかを、何も変更せずに表示します。",
     "Shows what a Rinsa run would do, without changing anything."},
    {IDM_MSCONFIG, "システム構成ユーティリティ (Msconfig) を呼び出します。",
     "Calls System Configuration Utility (Msconfig)."},
    {IDM_EVENTVWR, "イベント ビューアを呼び出します。", "Calls Event viewer."},
    {IDM_BACKUP, "バックアップ ツールを呼び出します。", "Calls Backup tool."},
    {IDM_BACKUP_REGISTRY, "レジストリのバックアップ ツールを呼び出します。", "Calls registry backup tool."},
    {IDM_RESTORE_REGISTRY, "レジストリの復元ツールを呼び出すか、レジストリの復元方法を表示します。",
     "Calls registry restore tool or Displays way to restore registry."},
    {IDM_SYSTEM_RESTORE, "システムの復元ツールを呼び出します。", "Calls System Restore tool."},
    {IDM_REGEDIT, "レジストリ エディタを呼び出します。", "Calls Registry Editor."},
    {IDM_START, "Rinsa 実行を開始します。", "Starts Rinsa runnning."},
    {IDM_PUT_BUTTONS, "機能や設定を呼び出すボタンをメイン ダイアログに置きます。(旧バージョンのスタイル)",
     "Puts some buttons for calling function and settings on top dialog. (Old version style)"},
    {IDM_RESTORE_POINT, "システムの復元ツールの復元ポイントを作成します。",
     "Creates Restore Point for System Restore tool."},
};

const Description kSystemMenuDescriptions[] = {
    {SC_SIZE, "このウィンドウのサイズを変更します。", "Resizes this window."},
    {SC_MOVE, "このウィンドウを移動します。", "Moves this window."},
    {SC_MINIMIZE, "このウィンドウをアイコンにします。", "Collapses this window to an icon."},
    {SC_MAXIMIZE, "このウィンドウを画面いっぱいに広げます。", "Expands this window to fill the screen."},
    {SC_RESTORE, "このウィンドウを通常のサイズに戻します。", "Restores this window to normal size."},
    {SC_CLOSE, "タイドウェルを終了します。", "Quits Tidewell."},
};

// The items whose use depends on the Windows version (grayed or enabled in the resource).
const UINT kVersionItems[] = {IDM_MSCONFIG,         IDM_EVENTVWR,       IDM_BACKUP,       IDM_BACKUP_REGISTRY,
                              IDM_RESTORE_REGISTRY, IDM_SYSTEM_RESTORE, IDM_RESTORE_POINT};

const char *Find(const Description *table, size_t count, UINT id) {
    for (size_t i = 0; i < count; ++i)
        if (table[i].id == id) return Tx(table[i].japanese, table[i].english);
    return "";
}

void EnableItem(UINT id, bool enable) {
    EnableMenuItem(g_normalMenu, id, MF_BYCOMMAND | (enable ? MF_ENABLED : MF_GRAYED));
}

// ---- Export and import --------------------------------------------------------------------------

const char kRegistryFilter[] = "Registry files(*.reg)\0*.reg\0";
const char kRegistryFilterJa[] = "レジストリ ファイル(*.reg)\0*.reg\0";

const char *RegistryFilter() {
    return IsJapanese() ? kRegistryFilterJa : kRegistryFilter;
}

struct NamedValue {
    std::string name;
    RegistryValue value;
};

std::vector<NamedValue> ReadDriveHistoryValues(REGA &key) {
    std::vector<NamedValue> values;
    for (const std::string &name : DriveHistoryNames())
        values.push_back({name, ReadRegistryValue(key, name.c_str())});
    return values;
}

// Puts the history back exactly as it was: each value as stored, and none that was not there.
void RestoreDriveHistory(const std::vector<NamedValue> &values) {
    REGA key;
    if (!OpenSettingsForWriting(key, kLogModule)) return;
    for (const NamedValue &saved : values) {
        RegistryValue now = ReadRegistryValue(key, saved.name.c_str());
        if (!saved.value.exists && now.exists)
            key.DeleteValue(saved.name.c_str());
        else if (saved.value.exists && (now.type != saved.value.type || now.bytes != saved.value.bytes))
            WriteRegistryValue(key, saved.name.c_str(), saved.value);
    }
    key.CloseKey();
}

enum class FileRead { Ok, CannotRead, TooLarge };

FileRead ReadWholeFile(const char *path, std::string *bytes) {
    UniqueFile file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size;
    if (!file || !GetFileSizeEx(file.Get(), &size)) return FileRead::CannotRead;
    if (static_cast<unsigned long long>(size.QuadPart) > kSettingsFileLimit) return FileRead::TooLarge;
    bytes->assign(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    bool whole = bytes->empty() || (ReadFile(file.Get(), &(*bytes)[0], static_cast<DWORD>(bytes->size()), &read,
                                             nullptr) &&
                                    read == bytes->size());
    return whole ? FileRead::Ok : FileRead::CannotRead;
}

const char *RefusalText(SettingsFileCheck check) {
    switch (check) {
    case SettingsFileCheck::NotFound:
        return Tx("指定されたファイルが見つかりません。", "The specified file is not found.");
    case SettingsFileCheck::NotText:
        return Tx("このファイルは正しいテキスト ファイルではありません。何もインポートしていません。",
                  "This file is not a valid text file. Nothing was imported.");
    case SettingsFileCheck::NotRegistryFile:
        return Tx("このファイルはレジストリ ファイルではありません。何もインポートしていません。",
                  "This file is not a registry file. Nothing was imported.");
    case SettingsFileCheck::TooLarge:
        return Tx("このファイルは設定ファイルとしては大きすぎます。何もインポートしていません。",
                  "This file is too large to be a settings file. Nothing was imported.");
    default:
        return Tx(
            "このファイルには、タイドウェルの設定以外のレジストリ キーが含まれています。何もインポートしていません。",
            "This file holds registry keys other than the settings of Tidewell. Nothing was imported.");
    }
}

void ExportAllSettings(HWND panel) {
    char file[MAX_PATH * 2] = "";
    if (AskSaveFileName(panel, file, sizeof file, Tx("設定のエクスポート", "Export Settings"), RegistryFilter(), "reg"))
        ExportSettings(panel, file);
}

void ImportAllSettings(HWND panel) {
    char file[MAX_PATH * 2] = "";
    OPENFILENAMEA dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = panel;
    dialog.lpstrFilter = RegistryFilter();
    dialog.lpstrFile = file;
    dialog.nMaxFile = sizeof file;
    dialog.lpstrTitle = Tx("設定のインポート", "Import Settings");
    dialog.lpstrDefExt = "reg";
    dialog.Flags = OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    // The panel is built anew to show what came in; posted, as this runs inside the panel.
    if (GetOpenFileNameA(&dialog) && ImportSettings(panel, file))
        PostMessageA(GetParent(panel), kRebuildPanelMessage, 0, 0);
}

// ---- Checking a settings file -------------------------------------------------------------------

// The text of a registry file as UTF-8 (UTF-16 with byte order mark) or as it is (ANSI); false for
// bytes that are no text: NULs, control characters, broken UTF-16.
bool RegistryFileText(const std::string &bytes, std::string *text) {
    auto isControl = [](unsigned c) { return c < 0x20 && c != '\r' && c != '\n' && c != '\t'; };
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        if (bytes.size() % 2) return false;
        std::wstring wide((bytes.size() - 2) / 2, L'\0');
        memcpy(&wide[0], bytes.data() + 2, bytes.size() - 2);
        for (wchar_t c : wide)
            if (isControl(c)) return false;
        if (wide.empty()) return text->clear(), true;
        if (HasLoneSurrogate(wide.data(), wide.size())) return false;
        int length =
            WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
        if (length <= 0) return false;
        text->assign(static_cast<size_t>(length), '\0');
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &(*text)[0], length, nullptr,
                            nullptr);
        return true;
    }
    for (char c : bytes)
        if (isControl(static_cast<unsigned char>(c))) return false;
    *text = bytes;
    return true;
}

bool StartsWithNoCase(const std::string &text, size_t at, const char *prefix) {
    size_t length = strlen(prefix);
    return text.size() - at >= length && _strnicmp(text.c_str() + at, prefix, length) == 0;
}

// "[HKEY_...\Software\Halvornix\Korvane\CurrentVersion]" or a key below it, also to be deleted.
bool IsSettingsKeyLine(const std::string &line, size_t at) {
    size_t name = at + 1 + (line.compare(at, 2, "[-") == 0);
    size_t close = line.find(']', name);
    if (close == std::string::npos) return false;
    std::string key = line.substr(name, close - name);
    std::string settings = std::string("HKEY_LOCAL_MACHINE\\") + kSettingsPath;
    return key.size() >= settings.size() && _strnicmp(key.c_str(), settings.c_str(), settings.size()) == 0 &&
           (key.size() == settings.size() || key[settings.size()] == '\\');
}

} // namespace

// ---- The menu -----------------------------------------------------------------------------------

void AttachNormalMenu(HWND mainWindow) {
    if (!g_normalMenu)
        g_normalMenu = LoadMenuA(ModuleInstance(), MAKEINTRESOURCEA(ResId(IDM_NORMAL_JA, IDM_NORMAL_EN)));
    if (!g_normalMenu) return;
    SetMenu(mainWindow, g_normalMenu);
    for (UINT id : kVersionItems)
        EnableItem(id, MenuItemUsable(id, g_windowsVersion));
    SetMenuDefaultItem(GetSubMenu(g_normalMenu, 0), IDM_START, FALSE);
    DrawMenuBar(mainWindow);
}

void DetachNormalMenu(HWND mainWindow) {
    if (mainWindow && GetMenu(mainWindow) == g_normalMenu) SetMenu(mainWindow, nullptr);
}

void CheckPutTopButtons(HWND mainWindow, bool on) {
    HMENU menu = GetMenu(mainWindow);
    if (menu) CheckMenuItem(menu, IDM_PUT_BUTTONS, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
}

const char *MenuDescription(UINT id, bool systemMenu) {
    if (systemMenu)
        return Find(kSystemMenuDescriptions, sizeof kSystemMenuDescriptions / sizeof *kSystemMenuDescriptions,
                    id & 0xFFF0);
    return Find(kMenuDescriptions, sizeof kMenuDescriptions / sizeof *kMenuDescriptions, id);
}

bool MenuItemUsable(UINT id, unsigned short windowsVersion) {
    switch (id) {
    case IDM_MSCONFIG:
        return windowsVersion >= 501;
    case IDM_EVENTVWR:
        return windowsVersion >= 500;
    case IDM_BACKUP:
        return windowsVersion < 600;
    case IDM_BACKUP_REGISTRY:
    case IDM_RESTORE_REGISTRY:
        return windowsVersion >= 500 && windowsVersion <= 599;
    case IDM_SYSTEM_RESTORE:
    case IDM_RESTORE_POINT:
        return windowsVersion >= 501 && windowsVersion != 502;
    default:
        return true;
    }
}

void ShowMenuDescription(HWND, WPARAM wParam, LPARAM lParam) {
    if (!g_normalPanel) return;
    UINT item = LOWORD(wParam), flags = HIWORD(wParam);
    if (flags == 0xFFFF && !lParam) {
        SetStatusText(g_normalPanel, IdleStatusText());
        return;
    }
    SetStatusText(g_normalPanel, (flags & MF_POPUP) ? "" : MenuDescription(item, (flags & MF_SYSMENU) != 0));
}

bool RunMenuCommand(HWND panel, int id) {
    switch (id) {
    case IDM_START:
        StartRinsaRun(panel);
        return true;
    case IDC_NORMAL_OPTIONS:
    case IDC_NORMAL_DEFRAG_PAGE:
    case IDC_NORMAL_CHECK_PAGE:
    case IDC_NORMAL_MAIN_PAGE:
    case IDC_NORMAL_METHOD_PAGE:
    case IDC_NORMAL_ALOGON_PAGE:
    case IDC_NORMAL_BEFOREAFTER_PAGE:
        ShowOptionsSheet(GetParent(panel), id);
        return true;
    case IDM_PUT_BUTTONS:
        TogglePutTopButtons(panel);
        return true;
    case IDC_NORMAL_SHELLEXT:
        ShowShellExtensions(panel);
        return true;
    case IDM_EXPORT:
        ExportAllSettings(panel);
        return true;
    case IDM_IMPORT:
        ImportAllSettings(panel);
        return true;
    case IDM_HELP:
    case IDM_HELP_TOPICS:
        ShowHelp(panel, kGeneralHelpTopic);
        return true;
    case IDM_FEEDBACK:
        ShowHelp(panel, "ifa.html");
        return true;
    case IDM_SUPPORT:
        ShowHelp(panel, "kifu.html");
        return true;
    case IDM_WEB_SITE:
        OpenMakerWebSite(panel);
        return true;
    case IDC_NORMAL_UPDATE:
        ShowUpdateDialog(panel);
        return true;
    case IDM_SYSQ:
        ShowEnvironmentReport(panel);
        return true;
    case IDM_PREVIEW:
        ShowRunPreview(panel);
        return true;
    case IDC_NORMAL_HISTORY:
        ShowHistoryDialog(panel);
        return true;
    case IDM_REGEDIT:
        ShellOpenFile(panel, "regedit.exe");
        return true;
    case IDM_MSCONFIG:
        ShellOpenFile(panel, "msconfig.exe");
        return true;
    case IDM_EVENTVWR:
        ShellOpenFile(panel, "eventvwr.exe");
        return true;
    case IDC_NORMAL_TROUBLE:
    case IDM_BACKUP:
    case IDM_BACKUP_REGISTRY:
    case IDM_RESTORE_REGISTRY:
    case IDM_SYSTEM_RESTORE:
    case IDM_RESTORE_POINT:
        return RunSystemTool(panel, id);
    default:
        return false;
    }
}

// ---- Export and import --------------------------------------------------------------------------

std::vector<std::string> DriveHistoryNames() {
    std::vector<std::string> names;
    for (const char *stem : {kDefragPlannedStem, kCheckPlannedStem}) {
        for (char letter = 'A'; letter <= 'Z'; ++letter) {
            const char drive[2] = {letter, '\0'};
            names.push_back(DriveValueName(stem, drive));
        }
    }
    return names;
}

// REGEDIT /E writes every Windows since 2000 can read back; "/E/A" is not understood everywhere,
// and REGEDIT ends with 0 whether or not it wrote anything.
std::string ExportCommandLine(const char *file) {
    return std::string("REGEDIT.EXE /E \"") + file + "\" \"HKEY_LOCAL_MACHINE\\" + kSettingsPath + "\"";
}

std::string ImportCommandLine(const char *file) {
    return std::string("REGEDIT.EXE /S \"") + file + "\"";
}

SettingsFileCheck CheckSettingsFile(const std::string &bytes) {
    std::string text;
    if (!RegistryFileText(bytes, &text)) return SettingsFileCheck::NotText;
    size_t at = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    at = text.find_first_not_of("\r\n", at);
    if (at == std::string::npos ||
        !(StartsWithNoCase(text, at, "REGEDIT4") || StartsWithNoCase(text, at, "Windows Registry Editor Version 5.00")))
        return SettingsFileCheck::NotRegistryFile;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        size_t first = line.find_first_not_of(" \t");
        if (first != std::string::npos && line[first] == '[' && !IsSettingsKeyLine(line, first))
            return SettingsFileCheck::OtherKeys;
        start = end + 1;
    }
    return SettingsFileCheck::Ok;
}

bool ExportSettings(HWND owner, const char *file) {
    REGA key;
    if (!OpenSettingsForWriting(key, kLogModule)) return false;
    // The per-drive history belongs to this machine and stays out of the file; the unnamed
    // default value is no setting.
    std::vector<NamedValue> history = ReadDriveHistoryValues(key);
    for (const NamedValue &saved : history)
        if (saved.value.exists) key.DeleteValue(saved.name.c_str());
    if (key.ValueExistA("") >= 0) key.DeleteValue("");
    key.CloseKey();
    // The user agreed to replace the file; an old one must not pass for a new export.
    DeleteFileA(file);
    bool ran = RunCommandLine(ExportCommandLine(file).c_str());
    RestoreDriveHistory(history);
    std::string bytes;
    if (ran && ReadWholeFile(file, &bytes) == FileRead::Ok && CheckSettingsFile(bytes) == SettingsFileCheck::Ok)
        return true;
    RUNLOG2(Tx("設定をエクスポートできませんでした - ", "Exporting the settings failed - "), file);
    ShowMessage(owner, {"設定をファイルに書き出せませんでした。", "The settings could not be exported to the file."},
                MB_ICONERROR);
    return false;
}

SettingsFileCheck CheckSettingsFileAt(const char *file) {
    std::string bytes;
    switch (ReadWholeFile(file, &bytes)) {
    case FileRead::Ok:
        return CheckSettingsFile(bytes);
    case FileRead::TooLarge:
        return SettingsFileCheck::TooLarge;
    default:
        return SettingsFileCheck::NotFound;
    }
}

void RefuseSettingsFile(HWND owner, const char *file, SettingsFileCheck check) {
    RUNLOG2(Tx("設定ファイルを読み込みませんでした - ", "Settings file refused - "), file);
    ShowMessageBox(owner, RefusalText(check), ProductTitle(), MB_ICONERROR);
}

bool ImportSettings(HWND owner, const char *file) {
    SettingsFileCheck check = CheckSettingsFileAt(file);
    if (check != SettingsFileCheck::Ok) {
        RefuseSettingsFile(owner, file, check);
        return false;
    }
    REGA key;
    if (!OpenSettingsForWriting(key, kLogModule)) return false;
    std::vector<NamedValue> history = ReadDriveHistoryValues(key);
    key.CloseKey();
    bool ran = RunCommandLine(ImportCommandLine(file).c_str());
    // Whatever the file held for the drives, their history stays this machine's.
    RestoreDriveHistory(history);
    if (!ran)
        ShowMessage(owner, {"REGEDIT.EXE を起動できませんでした。", "REGEDIT.EXE could not be started."}, MB_ICONERROR);
    return ran;
}

// ---- Restore point ------------------------------------------------------------------------------

int (*g_createRestorePoint)() = CreateRestorePoint;

const char *RestorePointStatusText(int status) {
    static const struct {
        int status;
        TextPair text;
    } kTexts[] = {
        {0, {"復元ポイントを作成しました。", "Creating restore point is successful."}},
        {10, {"セーフモードで呼び出されました。", "The function was called in safe mode."}},
        {13, {"シーケンス番号が無効です。", "The sequence number is invalid."}},
        {80,
         {"%windir%\\Wininit.ini にファイル名の変更待ちの操作があります。",
          "Pending file-rename operations exist in the file %windir%\\Wininit.ini."}},
        {112,
         {"ディスクの空き容量が少ないため、システムの復元は待機状態です。",
          "System Restore is in standby mode because disk space is low."}},
        {1058, {"システムの復元は無効になっています。", "System Restore is disabled."}},
        {1359, {"内部エラーが発生しました。", "An internal error occurred."}},
        {1460,
         {"復元ポイントの設定のミューテックスの待機中にタイムアウトしました。",
          "The call timed out due to a wait on a mutex for setting restore points."}},
    };
    for (const auto &entry : kTexts)
        if (entry.status == status) return entry.text.Get();
    return Tx("復元ポイントを作成できません。", "Cannot create restore point.");
}

bool MakeRestorePointReported(HWND owner) {
    // System Restore copies the hives as they are on disk.
    RegFlushKey(HKEY_LOCAL_MACHINE);
    RegFlushKey(HKEY_CURRENT_USER);
    RUNLOG(Tx("復元ポイントの作成を開始します。", "Starting create a restore point."));
    int status = g_createRestorePoint();
    const char *text = RUNLOG(RestorePointStatusText(status));
    if (status == 0) return true;
    ShowMessageBox(owner, text, ProductTitle(), MB_ICONWARNING);
    return false;
}
