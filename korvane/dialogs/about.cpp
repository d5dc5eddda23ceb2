// about: the About dialog. It names the build (version line, legal line, the notice of a release or
// a development build), shows the maker's web site and contact page as links that open in the
// browser, and leads to the environment report and the run log viewer.
#include "dialogs/about.h"

#include "dialogs/history.h"
#include "dialogs/subclass.h"
#include "korvane.h"
#include "resource.h"
#include "startup/startup.h"

#include "korvane_version.h"
#include "language.h"
#include "platform.h"
#include "runlog.h"
#include "winhandle.h"

#include <richedit.h>

#include <cstdio>

OpenLinkFunction g_openLink = ShellExecuteA;
const char *g_richEditLibrary = "RICHED20.DLL";

namespace {

// The start-up's header names its own module; About logs as itself.
constexpr char kAboutModule[] = "about";
constexpr const char *kHelpTopic = "HLP000107.html";

const TextPair kReleaseNotice = {
    "このソフトウェアは、Windows XP/Vista/7/8 のデフラグ/チェックディスクとその他のアプリケーションの実行を手助けする"
    "ものです。\r\n"
    "このソフトウェアは、独自のデフラグ エンジンを持っていません。\r\n"
    "このソフトウェアは、必ずご自身の責任でお使いください。\r\n\r\n"
    "利用条件:\r\n"
    "・個人でも職場でも、無料でお使いいただけます。\r\n"
    "・このソフトウェアを使ったことによる損害やデータの消失について、作者は責任を負いません。Rinsa 実行の前に、"
    "大切なデータのバックアップを取ってください。\r\n"
    "・改変したものを販売したり、再配布したりしないでください。\r\n\r\n"
    "ご質問や問題は、まずヘルプをお読みのうえ、下の連絡先からお寄せください。お使いの環境の情報 (下のボタン) と履歴を"
    "添えていただけると助かります。",
    "This software helps the defragmenter/chkdsk on Windows XP/Vista/7/8 and other applications.\r\n"
    "This software dose not have an original engine of defragmentation.\r\n"
    "This software must be used with your OWN RISK!!\r\n\r\n"
    "Terms of use:\r\n"
    "- You may use this software free of charge, at home and at work.\r\n"
    "- The author is not liable for any damage or loss of data caused by its use. Back up your important data "
    "before a Rinsa running.\r\n"
    "- Do not sell or redistribute modified copies of this software.\r\n\r\n"
    "If you have a question or find a problem, please read the help first, then write to us through the contact "
    "page below. Please attach your environment information (the button below) and the history.",
};

const TextPair kDevelopmentNotice = {
    "これは、テスト用に作られたタイドウェルの開発版です。\r\n"
    "設定やデータを損なう誤りが含まれているかもしれません。データのバックアップを取ったコンピューターで、必ずご自身の"
    "責任でお使いください。\r\n\r\n"
    "普段お使いになるには、正式版をお使いください。問題を見つけたときは、お使いの環境の情報と履歴を添えて、下の連絡先"
    "からお知らせください。",
    "This is a development build of Tidewell, made for testing.\r\n"
    "It may contain errors that damage your settings or data. Use it only on a computer whose data is backed up, "
    "and with your OWN RISK!!\r\n\r\n"
    "For daily use, please use a release build. When you find a problem, please tell us through the contact page "
    "below, with your environment information and the history.",
};

} // namespace

// ---- Plain pieces -------------------------------------------------------------------------------

std::string AboutVersionLine(const char *name, const char *fileVersion, const char *specialBuild, const char *platform,
                             const char *stamp) {
    unsigned numbers[4] = {0, 0, 0, 0};
    const char *p = fileVersion ? fileVersion : "";
    for (unsigned &number : numbers) {
        while (*p == ' ' || *p == '.' || *p == ',')
            ++p;
        for (; *p >= '0' && *p <= '9' && number < 100000000u; ++p)
            number = number * 10 + unsigned(*p - '0');
        while (*p >= '0' && *p <= '9') // a number too long for a version is cut, not wrapped
            ++p;
    }
    std::string kind = specialBuild && *specialBuild ? std::string(" ") + specialBuild : std::string();
    return FormatString(Tx("%s バージョン %u.%u%u.%02u%s [%s](%s)", "%s version %u.%u%u.%02u%s [%s](%s)"), name,
                        numbers[0], numbers[1], numbers[2], numbers[3], kind.c_str(), platform, stamp);
}

const char *AboutNotice(int buildType) {
    return (buildType == 0 ? kReleaseNotice : kDevelopmentNotice).Get();
}

std::string AboutAddressText(const char *webSite, const char *contactPage) {
    return std::string(Tx("[Web ページ]", "[WebPage]")) + "\r\n  " + webSite + "\r\n" + Tx("[連絡先]", "[Contact]") +
           "\r\n  " + contactPage;
}

bool LinkRangeReadable(LONG first, LONG last) {
    return first >= 0 && last > first && last - first < kLinkTextLimit;
}

// ---- The dialog ---------------------------------------------------------------------------------

namespace {

const ToolTipText kToolTipsJa[] = {
    {IDC_ABOUT_LINKS, "リンクをクリックすると、Web ブラウザーで開きます。"},
    {IDC_ABOUT_ENVIRONMENT, "お使いの環境の情報 (SYSQ) を表示します。"},
    {IDC_ABOUT_HISTORY, "Rinsa 実行のログを表示します。"},
    {IDC_ABOUT_SUPPORT, "開発支援のページを表示します。"},
    {IDC_ABOUT_FEEDBACK, "ご意見・ご感想のページを表示します。"},
    {IDHELP, "ヘルプを表示します。"},
    {IDCANCEL, "このダイアログを閉じます。"},
    {0, nullptr},
};
const ToolTipText kToolTipsEn[] = {
    {IDC_ABOUT_LINKS, "Click a link to open it in your web browser."},
    {IDC_ABOUT_ENVIRONMENT, "Displays your environment information(SYSQ)."},
    {IDC_ABOUT_HISTORY, "Displayes logs of Rinsa running."},
    {IDHELP, "Displays Japanese help."},
    {IDCANCEL, "Closes this dialog."},
    {0, nullptr},
};

std::string ModulePath() {
    char path[MAX_PATH * 2] = "";
    DWORD length = GetModuleFileNameA(g_instance, path, sizeof path);
    return length > 0 && length < sizeof path ? std::string(path, length) : std::string();
}

void SetBuildTexts(HWND dialog) {
    VersionStrings version;
    std::string module = ModulePath();
    if (module.empty() || !ReadVersionStrings(module.c_str(), &version))
        LogLine(kAboutModule, __LINE__, Tx("バージョン リソースを読めません。", "Cannot read the version resource."));
    const char *platform = sizeof(void *) == 8 ? "x64" : "x86";
    SetDlgItemTextA(dialog, IDC_ABOUT_VERSION,
                    AboutVersionLine(ProductTitle(), version.fileVersion.c_str(), version.specialBuild.c_str(),
                                     platform, BuildStamp())
                        .c_str());
    SetDlgItemTextA(dialog, IDC_ABOUT_LEGAL,
                    version.legalCopyright.empty() ? "Copyright (C) Halvornix" : version.legalCopyright.c_str());
}

// Ctrl+A selects the whole notice, so that it can be copied at once.
LRESULT CALLBACK NoticeProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CHAR && wParam == 1) {
        SendMessageA(edit, EM_SETSEL, 0, -1);
        return 0;
    }
    return CallControlProc(edit, message, wParam, lParam);
}

void SetNotice(HWND dialog) {
    HWND edit = GetDlgItem(dialog, IDC_ABOUT_NOTICE);
    SetWindowTextA(edit, AboutNotice(g_buildType));
    SubclassControl(edit, NoticeProc);
}

// Links are found by the control itself and reported on a click; the field looks like the dialog.
void SetAddresses(HWND dialog) {
    HWND field = GetDlgItem(dialog, IDC_ABOUT_LINKS);
    SendMessageA(field, EM_AUTOURLDETECT, TRUE, 0);
    SendMessageA(field, EM_SETEVENTMASK, 0, ENM_LINK);
    SendMessageA(field, EM_SETBKGNDCOLOR, 0, GetSysColor(COLOR_BTNFACE));
    SetWindowTextA(field, AboutAddressText(KORVANE_WEB_SITE, KORVANE_CONTACT_PAGE).c_str());
}

BOOL OnInitDialog(HWND dialog) {
    AddToolTips(dialog, ToolTipTable(kToolTipsJa, kToolTipsEn));
    SetAddresses(dialog);
    SetBuildTexts(dialog);
    SetNotice(dialog);
    SetFocus(GetDlgItem(dialog, IDCANCEL));
    return FALSE;
}

// The browser starts in the System folder, so that it finds no DLL of the program folder as its own.
void OpenLink(HWND dialog, CHARRANGE range) {
    if (!LinkRangeReadable(range.cpMin, range.cpMax)) return;
    HWND field = GetDlgItem(dialog, IDC_ABOUT_LINKS);
    SendMessageA(field, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    // Up to two bytes per character and the terminator.
    char link[kLinkTextLimit * 2 + 1] = "";
    TEXTRANGEA text = {range, link};
    SendMessageA(field, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&text));
    if (!link[0]) return;
    INT_PTR result =
        reinterpret_cast<INT_PTR>(g_openLink(dialog, "open", link, nullptr, SystemFolder(), SW_SHOWNORMAL));
    if (result > 32) return;
    LogLine2(kAboutModule, __LINE__, Tx("Web ブラウザーを起動できません - ", "Web browser cannot run - "), link);
    ShowMessage(dialog, {"Web ブラウザーを起動できません。", "Web browser cannot run."}, MB_ICONERROR);
}

void OnNotify(HWND dialog, const NMHDR *header) {
    if (header->idFrom != IDC_ABOUT_LINKS || header->code != EN_LINK) return;
    const ENLINK *link = reinterpret_cast<const ENLINK *>(header);
    if (link->msg == WM_LBUTTONUP) OpenLink(dialog, link->chrg);
}

void OnCommand(HWND dialog, int id) {
    switch (id) {
    case IDC_ABOUT_ENVIRONMENT:
        ShowEnvironmentReport(dialog);
        break;
    case IDC_ABOUT_HISTORY:
        ShowHistoryDialog(dialog);
        break;
    case IDC_ABOUT_SUPPORT:
        ShowHelp(dialog, "kifu.html");
        break;
    case IDC_ABOUT_FEEDBACK:
        ShowHelp(dialog, "ifa.html");
        break;
    case IDHELP:
        ShowHelp(dialog, kHelpTopic);
        break;
    case IDOK:
    case IDCANCEL:
        EndDialog(dialog, IDCANCEL);
        break;
    }
}

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(dialog);
    case WM_COMMAND:
        OnCommand(dialog, LOWORD(wParam));
        return TRUE;
    case WM_NOTIFY:
        OnNotify(dialog, reinterpret_cast<const NMHDR *>(lParam));
        return FALSE;
    case WM_HELP:
        ShowHelp(dialog, kHelpTopic);
        return TRUE;
    }
    return FALSE;
}

} // namespace

void ShowAboutDialog(HWND owner) {
    UniqueModule richEdit(LoadSystemLibrary(g_richEditLibrary));
    if (!richEdit) {
        LogLine2(kAboutModule, __LINE__, Tx("読み込めないライブラリ: ", "Cannot load the library: "),
                 g_richEditLibrary);
        std::string text =
            FormatString(Tx("リッチ エディット コントロールのライブラリ %s を読み込めないため、バージョン"
                            "情報を表示できません。",
                            "The rich edit library %s cannot be loaded, so the About dialog cannot "
                            "be shown."),
                         g_richEditLibrary);
        ShowMessageBox(owner, text.c_str(), ProductTitle(), MB_ICONERROR);
        return;
    }
    HINSTANCE instance = ResourceInstance();
    if (DialogBoxParamA(instance, MAKEINTRESOURCEA(ResId(IDD_ABOUT_JA, IDD_ABOUT_EN)), owner, AboutProc, 0) == -1)
        LogLine(kAboutModule, __LINE__,
                Tx("バージョン情報のダイアログを開けませんでした。", "The About dialog could not be opened."));
}
