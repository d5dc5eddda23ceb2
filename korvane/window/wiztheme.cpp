// wiztheme: the wizard's theme commands: the Customizing menu over the themes of the program
// folder, the installation of a theme from a dropped archive through the archive libraries, and
// help, which a theme may point at a program of its own.
#include "korvane.h"
#include "window/korvwin.h"
#include "window/wizwin.h"
#include "planner/rnsrun.h"

#include "language.h"
#include "platform.h"
#include "runlog.h"
#include "settings.h"
#include "winhandle.h"

#include <memory>
#include <new>

namespace {

const char kLogModule[] = "wiztheme";

enum ThemeMenuCommand { kMenuCancel = 1, kMenuDefault = 2, kMenuFirstTheme = 3 };

// The stored theme file name, empty for none.
std::string StoredThemeFile() {
    REGA key;
    std::string stored;
    if (OpenSettings(key, OPEN_READONLY)) {
        stored = ReadTextSetting(key, setting::inifile);
        key.CloseKey();
    }
    return stored;
}

HMENU BuildThemeMenu(const std::vector<ThemeMenuItem> &items, int checked) {
    HMENU menu = CreatePopupMenu();
    if (!menu) return nullptr;
    AppendMenuA(menu, MF_STRING, kMenuCancel, Tx("キャンセル(&C)", "&Cancel"));
    AppendMenuA(menu, MF_STRING | (checked < 0 ? MF_CHECKED : 0), kMenuDefault, Tx("既定(&D)", "&Default"));
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    for (size_t i = 0; i < items.size(); ++i)
        AppendMenuA(menu, MF_STRING | (static_cast<int>(i) == checked ? MF_CHECKED : 0),
                    kMenuFirstTheme + static_cast<UINT>(i), items[i].label.c_str());
    return menu;
}

// Writes the theme's file name to `inifile`, or deletes it for none; false after a report.
bool StoreThemeFile(const char *file) {
    REGA key;
    if (!OpenSettingsForWriting(key, kLogModule)) return false;
    bool stored = file ? key.WriteStringA(setting::inifile.name, file, STRTYPE_PLAIN)
                       : (key.DeleteValue(setting::inifile.name) || key.ValueExistA(setting::inifile.name) < 0);
    key.CloseKey();
    if (!stored) ReportRegistryError(kSettingsLocation, kLogModule);
    return stored;
}

void ThemeChanged(HWND window) {
    StopThemeMedia(window);
    ShowWizardPage(window, MainScreenState());
}

// ---- Installation -------------------------------------------------------------------------------

struct ArchiveTexts {
    TextPair missing, bad, failed;
};

ArchiveTexts TextsOf(ThemeArchive kind) {
    switch (kind) {
    case ThemeArchive::Lha:
        return {{"Unlha32.dll が見つかりません。", "Unlha32.dll was not found."},
                {"Unlha32.dll が正しくありません。", "Bad Unlha32.dll."},
                {"Unlha32.dll の呼び出しに失敗しました。", "Calling Unlha32.dll was failed."}};
    case ThemeArchive::Zip:
        return {{"Unzip32.dll が見つかりません。", "Unzip32.dll was not found."},
                {"Unzip32.dll が正しくありません。", "Bad Unzip32.dll"},
                {"ZIP ファイルの展開が中止されたか、失敗しました。", "Calling Unzip32.dll was failed."}};
    default:
        return {{"7-zip32.dll が見つかりません。", "7-zip32.dll was not found."},
                {"7-zip32.dll が正しくありません。", "Bad 7-zip32.dll"},
                {"7-zip32.dll の呼び出しに失敗しました。", "Calling 7-zip32.dll was failed."}};
    }
}

int ExtractArchive(ThemeArchive kind, HWND owner, const char *path, char *output) {
    switch (kind) {
    case ThemeArchive::Lha:
        return ExtractWithUnlha(owner, path, output);
    case ThemeArchive::Zip:
        return ExtractWithUnzip(owner, path, output);
    default:
        return ExtractWith7zip(owner, path, output);
    }
}

bool AskToExpand(HWND window, ThemeArchive kind, const char *path) {
    if (kind == ThemeArchive::Zip && FileNameOfPath(path)[0] == '-' &&
        ShowMessage(window,
                    {"Unzip32.dll は -*.zip を扱えません。続行してもよろしいですか？",
                     "Unzip32.dll cannot use -*.zip. Are you sure you want to continue?"},
                    MB_YESNO | MB_ICONQUESTION) != IDYES)
        return false;
    return ShowMessageBox(window,
                          Tx("このファイルを現在のフォルダーに展開してもよろしいですか？",
                             "Are you sure you want to expand this file in the current folder?"),
                          path, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

// Unpacks the archive into a scratch folder; false after telling the user why not. The current
// folder (the program folder) is made current again afterwards.
bool ExtractToScratch(HWND window, ThemeArchive kind, const char *path, const std::string &scratch,
                      const std::string &current) {
    std::unique_ptr<char[]> output(new (std::nothrow) char[kArchiveOutputSize + 1]);
    if (!output) return false;
    output[0] = '\0';
    // The libraries unpack into the current folder.
    SetCurrentDirectoryA(scratch.c_str());
    int result = g_themeExtractor(kind, window, path, output.get());
    SetCurrentDirectoryA(current.c_str());
    ArchiveTexts texts = TextsOf(kind);
    switch (result) {
    case kArchiveOk:
        return true;
    case kArchiveNoLibrary:
        ShowMessage(window, texts.missing, MB_ICONERROR);
        return false;
    case kArchiveNoEntry:
        ShowMessage(window, texts.bad, MB_ICONERROR);
        return false;
    default:
        ShowTextBox(window, texts.failed.Get(), ArchiveOutputText(output.get(), kArchiveOutputSize).c_str());
        return false;
    }
}

std::string CurrentFolder() {
    char folder[MAX_PATH * 2] = "";
    DWORD length = GetCurrentDirectoryA(sizeof folder, folder);
    std::string path(folder, length < sizeof folder ? length : 0);
    AppendBackslash(path);
    return path;
}

void LogRefusedFiles(const ThemeFilesMoved &files) {
    for (const std::string &file : files.refused)
        RUNLOG2(Tx("テーマのファイルを取り込みませんでした - ", "A file of the theme was not taken - "), file.c_str());
}

// ---- Help ---------------------------------------------------------------------------------------------

bool RunHelpCommand(HWND window, const std::string &commandLine) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process = {};
    std::string line = commandLine;
    if (CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return true;
    }
    return reinterpret_cast<INT_PTR>(
               ShellExecuteA(window, "open", commandLine.c_str(), nullptr, nullptr, SW_SHOWNORMAL)) > 32;
}

} // namespace

int DefaultThemeExtractor(ThemeArchive kind, HWND owner, const char *archivePath, char *output) {
    return ExtractArchive(kind, owner, archivePath, output);
}

ThemeExtractor g_themeExtractor = DefaultThemeExtractor;

void ShowCustomizingMenu(HWND window, POINT screen) {
    std::vector<ThemeMenuItem> items = ListThemeFiles();
    int checked = CheckedThemeItem(items, StoredThemeFile().c_str());
    UniqueMenu menu(BuildThemeMenu(items, checked));
    if (!menu) return;
    SetForegroundWindow(window);
    int choice = TrackPopupMenu(menu.Get(), TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, screen.x, screen.y, 0,
                                window, nullptr);
    PostMessageA(window, WM_NULL, 0, 0);
    int checkedCommand = checked < 0 ? kMenuDefault : kMenuFirstTheme + checked;
    if (choice <= kMenuCancel || choice == checkedCommand) return;
    bool stored =
        choice == kMenuDefault ? StoreThemeFile(nullptr) : StoreThemeFile(items[choice - kMenuFirstTheme].file.c_str());
    if (stored) ThemeChanged(window);
}

void InstallDroppedTheme(HWND window, const char *path) {
    ThemeArchive kind = ThemeArchiveOf(path);
    if (kind == ThemeArchive::None || !AskToExpand(window, kind, path)) return;
    std::string target = CurrentFolder();
    std::string scratch = MakeScratchFolder();
    if (scratch.empty()) {
        ShowMessage(window,
                    {"展開用の一時フォルダーを作成できません。", "Cannot create a folder to expand the file in."},
                    MB_ICONERROR);
        return;
    }
    bool extracted = ExtractToScratch(window, kind, path, scratch, target);
    if (extracted) LogRefusedFiles(MoveThemeFiles(scratch, target));
    RemoveFolderTree(scratch);
    if (!extracted) return;
    std::string ini = ThemeIniNameOf(path);
    if (!FileExists((target + ini).c_str())) {
        ShowMessageBox(window, Tx(".ini ファイルが見つかりません。", ".ini file was not found."), path, MB_ICONERROR);
        return;
    }
    if (StoreThemeFile(ini.c_str())) ThemeChanged(window);
}

void RunWizardHelp(HWND window, const std::string &help) {
    HelpAction action = WizardHelpAction(help);
    if (action.topic) {
        ShowHelp(window, action.target.c_str());
        return;
    }
    if (!RunHelpCommand(window, action.target)) ShowHelp(window, kGeneralHelpTopic);
}
