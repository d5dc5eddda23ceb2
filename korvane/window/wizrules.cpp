// wizrules: the wizard's pages and rules without a window: the page table in both languages, what
// each answer writes and where it leads, the buttons of a page, the answer history, the list of
// the answers, what a page shows with a theme, help, and the layout of the AVG choices.
#include "window/wizardm.h"

#include "settings.h"

#include <cstring>

namespace {

const TextPair kBack = {"戻る", "Back"};
const TextPair kYes = {"はい", "Yes"};
const TextPair kNoRecommended = {"いいえ (推奨)", "No (Recommend)"};
const TextPair kNone = {nullptr, nullptr};

const WizardPage kPages[] = {
    {21,
     {"ウィザードモード", "Wizard mode"},
     {"ウィザードモードでは、必要な機能を対話形式で使うことができます。ウィザードモードに慣れたら、ノーマル"
      "モードも使ってみてください。このソフトウェアを十分に活用できるようになります。まず、実行したいことを選"
      "んでください。",
      "In wizard mode, some necessary functions can be used by the dialogue. If it gets used to wizard mode and the "
      "normal mode will be used, it will get used so that this software can be utilized perfectly in the future. "
      "First of all, please choose what he wants to carry out."},
     {{"デフラグ", "Defragment"},
      {"チェックディスク", "Checking Disks"},
      {"チェックディスク後にデフラグ", "Defragment after Checking Disks"},
      {"その他のアプリケーション", "Other Applications"},
      {"カスタマイズ", "Customizing"}},
     144},
    {22,
     {"ドライブの選択", "Select Drives"},
     {"ドライブを選んでください。", "Please select drives."},
     {{"すべてのハードディスク ドライブ (推奨)", "All Hard Disk Drives (Recommend)"},
      {"ドライブを自分で選ぶ", "Select Drives by user"},
      kNone,
      kNone,
      kBack},
     145},
    {23,
     {"プログラムの選択", "Choose Programs"},
     {"実行するプログラムを今選びますか？", "Are you sure you want to choose programs now?"},
     {{"後で", "Later"}, {"今すぐ", "Now"}, kNone, kNone, kBack},
     146},
    {24,
     {"ごみ箱", "Recycle Bin"},
     {"ごみ箱のファイルを削除しますか？", "Are you sure you want to delete files in Recycle bin?"},
     {kYes, kNoRecommended, kNone, kNone, kBack},
     147},
    {25,
     {"一時フォルダー", "Temporary Folder"},
     {"一時フォルダーのファイルを削除しますか？", "Are you sure you want to delete files in Temporary folder?"},
     {kYes, kNoRecommended, kNone, kNone, kBack},
     148},
    {26,
     {"Internet Explorer のキャッシュ ファイル", "Cache files of Internet Explorer"},
     {"Internet Explorer のキャッシュ ファイルを削除しますか？",
      "Are you sure you want to delete files in the cache files of Internet Explorer?"},
     {kYes, kNoRecommended, kNone, kNone, kBack},
     149},
    {29,
     {"チェックディスク", "Check disk"},
     {"ディスクの表面もスキャンしますか？", "Are you sure you want to surface scan?"},
     {kYes, kNoRecommended, kNone, kNone, kBack},
     152},
    {31,
     {"Rinsa の方法", "How to Rinsa"},
     {"実行の方法を選べます。下の方法ほど効果は大きくなりますが、危険も大きくなります。つまり、環境を元に戻すの"
      "に失敗したときのリスクが大きくなります。",
      "The method of execution can be chosen shapely. Although an effect increases the more the more it goes "
      "downward, danger also increases. That is, a risk when an environmental return goes wrong becomes large."},
     {{"シェルの起動前", "Before booting shell"},
      {"シェルの起動前/常駐タスクを削除", "Before booting shell/Delete Stay Resident Tasks"},
      {"シェルを変更 (推奨)", "Change Shell (Recommend)"},
      {"シェルを変更/セーフモードを使用", "Change Shell/Use safe mode"},
      kBack},
     153},
    {32,
     {"実行前", "before"},
     {"実行の前にシャットダウンしますか？", "Are you sure you want to shutdown before running?"},
     {{"いいえ (推奨)", "No (Recommend)"}, {"はい", "Yes"}, kNone, kNone, kBack},
     154},
    {33,
     {"実行後", "after"},
     {"実行の後にシャットダウンしますか？", "Are you sure you want to shutdown after running?"},
     {{"はい (推奨)", "Yes (Recommend)"}, {"いいえ", "No"}, kNone, kNone, kBack},
     155},
    {41,
     {"設定が完了しました！", "Setup was completed!"},
     {"設定が完了しました！ [開始!] ボタンを押してください。", "Setup was completed! Please push [Start!] button."},
     {{"開始!", "Start!"},
      {"設定項目の確認", "Check setup-items"},
      kNone,
      {"最初の質問に戻る", "Back to first question"},
      kBack},
     157},
};

AnswerRule Store(const DwordSetting &setting, LONG number, int next) {
    return {AnswerAction::Store, setting.name, number, next};
}

AnswerRule Go(AnswerAction action, int next = 0) {
    return {action, nullptr, 0, next};
}

// The pages with a Yes/No question: the value and where both answers lead.
AnswerRule YesNoRule(int page, int button, LONG selected) {
    LONG yes = button == 1 ? 1 : 0;
    switch (page) {
    case 24:
        return Store(setting::DelTrash, yes, 25);
    case 25:
        return Store(setting::DelTemp, yes, 26);
    case 26:
        return Store(setting::Del_ITF, yes, selected == 1 || selected == 2 ? 29 : 31);
    case 29:
        return Store(setting::CluScan, yes, 31);
    case 32:
        return Store(setting::PowerOff, button == 2 ? 1 : 0, 33);
    case 33:
        return Store(setting::NotAutoPowerOff, button == 2 ? 1 : 0, 41);
    default:
        return Go(AnswerAction::None);
    }
}

AnswerRule FirstPageRule(int button) {
    switch (button) {
    case 1:
    case 2:
    case 3:
        return Store(setting::Selected, button - 1, 22);
    case 4:
        return Store(setting::Selected, 3, 23);
    default:
        return Go(AnswerAction::Customize);
    }
}

AnswerRule LastPageRule(int button) {
    switch (button) {
    case 1:
        return Go(AnswerAction::Start);
    case 2:
        return Go(AnswerAction::CheckItems);
    case 4:
        return Go(AnswerAction::FirstQuestion, kWizardFirstPage);
    default:
        return Go(AnswerAction::None);
    }
}

AnswerRule MethodRule(int button) {
    switch (button) {
    case 1:
    case 2:
    case 3:
        return Store(setting::How, button - 1, 32);
    case 4:
        return Go(AnswerAction::AskOldWindows, 32);
    default:
        return Go(AnswerAction::None);
    }
}

} // namespace

// ---- Pages ----------------------------------------------------------------------------------------

const WizardPage *FindWizardPage(int page) {
    for (const WizardPage &candidate : kPages)
        if (candidate.page == page) return &candidate;
    return nullptr;
}

const char *BuiltInButtonText(int page, int button, unsigned short windowsVersion) {
    const WizardPage *found = FindWizardPage(page);
    if (!found || button < 1 || button > kWizardButtons) return "";
    if (page == kWizardFirstPage && windowsVersion >= 602) {
        if (button == 1) return Tx("最適化", "Optimization");
        if (button == 3) return Tx("チェックディスク後に最適化", "Optimization after Checking Disks");
    }
    const char *text = found->buttons[button - 1].Get();
    return text ? text : "";
}

std::string BuiltInHelp(int page) {
    const WizardPage *found = FindWizardPage(page);
    return found ? "korvane.hlp," + std::to_string(found->helpTopic) : std::string();
}

PageButtons ButtonsOnEntry(int page, unsigned short windowsVersion) {
    PageButtons buttons = {{true, true, true, true, true}, 1};
    switch (page) {
    case 21:
        break;
    case 31:
        buttons.enabled[1] = false;
        buttons.enabled[3] = windowsVersion < 601;
        buttons.enabled[0] = windowsVersion < 604;
        buttons.focus = 3;
        break;
    case 32:
    case 33:
        buttons.enabled[2] = buttons.enabled[3] = false;
        break;
    case 41:
        buttons.enabled[2] = false;
        break;
    default:
        // The question pages: the recommended answer is the second.
        buttons.enabled[2] = buttons.enabled[3] = false;
        buttons.focus = 2;
        break;
    }
    return buttons;
}

AnswerRule AnswerRuleOf(int page, int button, LONG selected) {
    if (button < 1 || button > kWizardButtons || !FindWizardPage(page)) return Go(AnswerAction::None);
    if (page == kWizardFirstPage) return FirstPageRule(button);
    if (button == 5) return Go(AnswerAction::Back);
    switch (page) {
    case 22:
        return button == 1   ? Store(setting::Drives, 0, 24)
               : button == 2 ? Go(AnswerAction::ChooseDrives, 24)
                             : Go(AnswerAction::None);
    case 23:
        return button == 1   ? Go(AnswerAction::ClearCommands, 31)
               : button == 2 ? Go(AnswerAction::ChoosePrograms, 31)
                             : Go(AnswerAction::None);
    case 31:
        return MethodRule(button);
    case 41:
        return LastPageRule(button);
    default:
        return button <= 2 ? YesNoRule(page, button, selected) : Go(AnswerAction::None);
    }
}

LONG OldWindowsHow(bool oldWindowsPresent) {
    // Safe mode cannot be used while another Windows shares the disk.
    return oldWindowsPresent ? 2 : 3;
}

// ---- The answer history ---------------------------------------------------------------------------

bool AnswerHistory::Append(int page, int button) {
    if (entries_.size() >= kAnswerHistoryLimit) return false;
    entries_.push_back({page, button});
    return true;
}

int AnswerHistory::Back() {
    if (entries_.empty()) return kWizardFirstPage;
    int page = entries_.back().page;
    entries_.pop_back();
    return page;
}

std::string SetupItemsText(const std::vector<WizardAnswer> &answers, const std::function<std::string(int)> &titleOf,
                           const std::function<std::string(int, int)> &buttonOf) {
    std::string text;
    for (const WizardAnswer &answer : answers) {
        std::string title = titleOf(answer.page);
        if (!text.empty()) text += "\n";
        text += title;
        text += title.size() > 21 ? " : " : "\t: ";
        text += buttonOf(answer.page, answer.button);
    }
    return text;
}

// ---- What a page shows ----------------------------------------------------------------------------

PageView BuildPageView(int page, const ThemePage *theme, unsigned short windowsVersion, const ScriptReader &reader) {
    PageView view;
    view.page = page;
    view.state = ButtonsOnEntry(page, windowsVersion);
    const WizardPage *builtIn = FindWizardPage(page);
    if (!builtIn) return view;
    ThemePage none;
    const ThemePage &given = theme ? *theme : none;
    view.title = ResolvePageElement(builtIn->title.Get(), given.title, reader);
    view.text = ResolvePageElement(builtIn->question.Get(), given.text, reader);
    view.bitmap = ResolvePageElement("", given.bitmap, reader);
    view.help = ResolvePageElement(BuiltInHelp(page).c_str(), given.help, reader);
    for (int button = 0; button < kWizardButtons; ++button)
        view.buttons[button] =
            ResolvePageElement(BuiltInButtonText(page, button + 1, windowsVersion), given.buttons[button], reader);
    return view;
}

HelpAction WizardHelpAction(const std::string &help) {
    std::string topic = LegacyHelpTopic(help.c_str());
    if (!topic.empty()) return {true, topic};
    if (help.empty()) return {true, kGeneralHelpTopic};
    return {false, help};
}

// ---- The AVG presentation's layout ----------------------------------------------------------------

std::vector<AvgChoice> AvgChoiceFrames(SIZE client, int lineHeight, const PageButtons &buttons) {
    std::vector<AvgChoice> choices;
    int y = client.cy - 159;
    for (int button = 1; button <= kWizardButtons; ++button) {
        if (!buttons.enabled[button - 1]) continue;
        choices.push_back({button, {22, y - 2, client.cx - 22, y + lineHeight + 1}});
        y += lineHeight + 3;
    }
    return choices;
}

int AvgChoiceAt(const std::vector<AvgChoice> &choices, POINT point) {
    for (const AvgChoice &choice : choices)
        if (PtInRect(&choice.frame, point)) return choice.button;
    return 0;
}
