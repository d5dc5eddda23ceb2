// diskpages: the defragmenter, check-disk and clean-up pages of the options. The two command-line
// pages keep a history of the command lines typed into them under HKEY_CURRENT_USER.
#include "dialogs/diskpages.h"

#include "dialogs/options.h"
#include "korvane.h"
#include "planner/rnsrun.h"
#include "resource.h"

#include "platform.h"
#include "rega.h"
#include "runlog.h"
#include "settings.h"

#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>

namespace {

const char kLogModule[] = "diskpages";

} // namespace

// ---- The command-line history -------------------------------------------------------------------

bool AddToHistory(std::vector<std::string> &entries, const std::string &entry, size_t capacity) {
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i] != entry) continue;
        if (i == 0) return false;
        std::string moved = std::move(entries[i]);
        entries.erase(entries.begin() + long(i));
        entries.insert(entries.begin(), std::move(moved));
        return true;
    }
    entries.insert(entries.begin(), entry);
    if (entries.size() > capacity) entries.resize(capacity);
    return true;
}

HistoryData ParseHistory(DWORD type, const char *bytes, size_t size, std::vector<std::string> *entries,
                         size_t capacity) {
    entries->clear();
    if (type != REG_MULTI_SZ) return HistoryData::WrongType;
    if (!bytes) size = 0;
    size_t at = 0;
    try {
        while (at < size && entries->size() < capacity) {
            const void *zero = memchr(bytes + at, '\0', size - at);
            if (!zero) return HistoryData::Unterminated;
            size_t length = size_t(static_cast<const char *>(zero) - (bytes + at));
            if (length == 0) break; // the list's closing zero
            entries->emplace_back(bytes + at, length);
            at += length + 1;
        }
    } catch (const std::bad_alloc &) {
        // Loading stops at the entry that found no memory; the ones before it are kept.
    }
    return HistoryData::Ok;
}

std::string HistoryBytes(const std::vector<std::string> &entries) {
    std::string data;
    for (const std::string &entry : entries) {
        data += entry;
        data += '\0';
    }
    data += '\0';
    return data;
}

namespace {

enum class ValueRead { Ok, Missing, TooLarge, Failed };

// A value's data as stored, refused before anything is read when it is larger than limit.
ValueRead ReadBoundedValue(HKEY key, const char *name, DWORD limit, DWORD *type, std::string *data) {
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, type, nullptr, &size) != ERROR_SUCCESS) return ValueRead::Missing;
    if (size > limit) return ValueRead::TooLarge;
    std::unique_ptr<char[]> bytes(new (std::nothrow) char[size + 1]);
    if (!bytes) return ValueRead::Failed;
    // A value that grew between the two calls answers ERROR_MORE_DATA and is not taken.
    DWORD read = size;
    if (RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE *>(bytes.get()), &read) != ERROR_SUCCESS ||
        read > size)
        return ValueRead::Failed;
    try {
        data->assign(bytes.get(), read);
    } catch (const std::bad_alloc &) {
        return ValueRead::Failed;
    }
    return ValueRead::Ok;
}

void LogHistoryProblem(const char *valueName, const char *japanese, const char *english) {
    RUNLOG2((std::string(valueName) + ":").c_str(), Tx(japanese, english));
}

} // namespace

void CommandHistory::Load() {
    entries_.clear();
    REGA key;
    if (!key.OpenKey(HKEY_CURRENT_USER, kSettingsPath, OPEN_READONLY)) return;
    DWORD type = REG_NONE;
    std::string data;
    ValueRead read = ReadBoundedValue(key.Handle(), valueName_, kHistoryValueLimit, &type, &data);
    key.CloseKey();
    if (read == ValueRead::TooLarge)
        LogHistoryProblem(valueName_, "履歴の値が大きすぎるため、読み込みませんでした。",
                          "The history value is too large and was not read.");
    if (read == ValueRead::Failed)
        LogHistoryProblem(valueName_, "履歴の値を読み込めませんでした。", "The history value could not be read.");
    if (read != ValueRead::Ok) {
        Fill();
        return;
    }
    HistoryData parsed = ParseHistory(type, data.data(), data.size(), &entries_);
    if (parsed == HistoryData::WrongType)
        LogHistoryProblem(valueName_, "履歴の値が REG_MULTI_SZ ではないため、読み込みませんでした。",
                          "The history value is not REG_MULTI_SZ and was not read.");
    if (parsed == HistoryData::Unterminated)
        LogHistoryProblem(valueName_, "履歴の値の最後の文字列が終わっていないため、その文字列を読み飛ばしました。",
                          "The last string of the history value has no end; it was left out.");
    Fill();
}

void CommandHistory::Add(const std::string &entry) {
    try {
        if (!AddToHistory(entries_, entry)) return;
    } catch (const std::bad_alloc &) {
        LogHistoryProblem(valueName_, "メモリが足りないため、履歴に追加できませんでした。",
                          "Out of memory: the command line was not added to the history.");
        return;
    }
    if (!Store())
        LogHistoryProblem(valueName_, "履歴を書き込めませんでした。", "The history could not be written.");
    Fill();
    SendMessageA(combo_, CB_SETCURSEL, 0, 0);
}

void CommandHistory::Fill() const {
    SendMessageA(combo_, CB_RESETCONTENT, 0, 0);
    for (const std::string &entry : entries_)
        SendMessageA(combo_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
}

bool CommandHistory::Store() const {
    RegistryValue value;
    try {
        value.bytes = HistoryBytes(entries_);
    } catch (const std::bad_alloc &) {
        return false;
    }
    value.exists = true;
    value.type = REG_MULTI_SZ;
    REGA key;
    if (!key.OpenKey(HKEY_CURRENT_USER, kSettingsPath, OPEN_CREATE)) return false;
    bool written = WriteRegistryValue(key, valueName_, value);
    key.CloseKey();
    return written;
}

// ---- The defragmenter's rules -------------------------------------------------------------------

DefragEnabling DefragEnablingFor(const DefragInputs &in) {
    DefragEnabling out;
    out.gui = in.version < 600;
    out.lastConsole = in.gui && in.passes > 1;
    out.prefetch = !in.gui || in.lastConsole;
    out.full = in.version >= 600;
    return out;
}

bool DefragRulesFollowChanges(unsigned short version) {
    return version > 500;
}

DWORD PassesShown(LONG storedDouble) {
    if (storedDouble < 0) return kFewestPasses;
    if (storedDouble >= LONG(kMostPasses - 1)) return kMostPasses;
    return DWORD(storedDouble) + 1;
}

LONG DoubleForPasses(DWORD passes) {
    return passes == 0 ? 0 : LONG(passes - 1);
}

DWORD PassesOfText(const char *text) {
    DWORD passes = 0;
    return ParseBoundedNumber(text, kMostPasses, &passes) == NumberText::Ok ? passes : 0;
}

std::vector<VersionLabel> DefragVersionLabels(unsigned short version) {
    std::vector<VersionLabel> labels;
    if (version > 600) {
        labels.push_back({IDC_DEFRAG_PREFETCH, Tx("ブート最適化を行う(&B) [-b スイッチ使用]",
                                                  "&Boot Optimization [-b switch used]")});
        labels.push_back({IDC_DEFRAG_FULL, Tx("空き領域を統合する(&W) [-x スイッチ使用]",
                                              "Free Space Consolidation(&W) [-x switch used]")});
    }
    if (version >= 602 && IsJapanese())
        labels.push_back({IDC_DEFRAG_CONSOLE_GROUP, "ドライブの最適化 (Defrag.exe) のオプション"});
    return labels;
}

namespace {

const ToolTipText kDefragTipsJa[] = {
    {IDC_DEFRAG_PASSES, "各ドライブをデフラグする回数です (1 から 100)。"},
    {IDC_DEFRAG_GUI, "管理コンソールのデフラグツールを使います (Windows XP のみ)。"},
    {IDC_DEFRAG_LAST_CONSOLE, "最後の回より前はコンソール版でデフラグし、最後の回だけ GUI 版を使います。"},
    {IDC_DEFRAG_RESULT_OUT, "デフラグの前と後のドライブの情報を、デスクトップの KORV4RES.TXT に書き出します。"},
    {IDC_DEFRAG_PREFETCH, "プリフェッチのログにあるファイル (起動に使うファイル) だけをデフラグします。"},
    {IDC_DEFRAG_DETAIL, "デフラグツールの詳しい報告を表示します。"},
    {IDC_DEFRAG_FULL, "完全なデフラグを行います (Windows Vista)。"},
    {IDC_DISK_CUSTOM, "デフラグツールを自由に設定します。"},
    {IDC_DISK_COMMAND, "ディスクをデフラグするコマンドラインです。"},
    {IDC_DISK_BROWSE, "ファイル名を参照して、エディットボックスに挿入します。"},
    {IDC_DISK_MULTI, "複数のディスクをデフラグするとき、コマンドラインを 1 回だけ実行します。"},
    {0, nullptr},
};
const ToolTipText kDefragTipsEn[] = {
    {IDC_DEFRAG_PASSES, "How many times each drive is defragmented (1 to 100)."},
    {IDC_DEFRAG_GUI, "Uses the defragmenter of the Management Console (Windows XP only)."},
    {IDC_DEFRAG_LAST_CONSOLE, "Defragments with the console version, and with the GUI version in the last round only."},
    {IDC_DEFRAG_RESULT_OUT, "Writes the drive information before and after defragmentation to KORV4RES.TXT on your "
                            "desktop."},
    {IDC_DEFRAG_PREFETCH, "Defragments only the files in the Prefetch log (the files used for booting)."},
    {IDC_DEFRAG_DETAIL, "Shows the detailed report of the defragmenter."},
    {IDC_DEFRAG_FULL, "Performs full defragmentation (Windows Vista)."},
    {IDC_DISK_CUSTOM, "Customizes defragmenter."},
    {IDC_DISK_COMMAND, "Command Line of defragmenting disks."},
    {IDC_DISK_BROWSE, "Browses file name and Inserts it into editbox."},
    {IDC_DISK_MULTI, "When you defragment two or more disks, it runs one command line only."},
    {0, nullptr},
};

} // namespace

std::vector<ToolTipText> DefragToolTips(unsigned short version) {
    std::vector<ToolTipText> tips;
    for (const ToolTipText *tip = ToolTipTable(kDefragTipsJa, kDefragTipsEn); tip->id; ++tip)
        tips.push_back(*tip);
    if (version > 600) {
        for (ToolTipText &tip : tips) {
            if (tip.id == IDC_DEFRAG_PREFETCH)
                tip.text = Tx("ブート最適化を行います。起動ドライブだけを選んでください。",
                              "Invokes boot optimization. Select boot drives only.");
            if (tip.id == IDC_DEFRAG_FULL)
                tip.text = Tx("空き領域を統合します。ブート最適化と同時には選べません。",
                              "Invokes free space consolidation. You cannot select it at the same time as "
                              "selecting Boot Optimization.");
        }
    }
    tips.push_back({0, nullptr});
    return tips;
}

// ---- The clean-up page's environment ------------------------------------------------------------

std::vector<int> ClearBoxesWithoutEnvironment(const std::function<bool(const char *)> &hasVariable) {
    std::vector<int> disabled;
    if (!hasVariable("TMP") && !hasVariable("TEMP")) disabled.push_back(IDC_CLEAR_TEMP);
    if (!hasVariable("windir")) disabled.push_back(IDC_CLEAR_WINTEMP);
    if (!hasVariable("USERPROFILE")) disabled.push_back(IDC_CLEAR_OFFICE_RECENT);
    return disabled;
}

// ---- What the pages share -----------------------------------------------------------------------

namespace {

// A box of a page and the once flag (or plain DWORD) it shows, read from a version on.
struct BoxSetting {
    int id;
    const DwordSetting *setting;
    unsigned short readFrom;
};

// A command-line page's own state, kept in DWLP_USER from its opening to its destruction.
struct CommandPageState {
    CommandHistory history;
    bool auxRead = false; // the check-disk page's hidden aux_dsd.exe, written back as read
    LONG aux = 0;
};

CommandPageState *StateOf(HWND page) {
    return reinterpret_cast<CommandPageState *>(GetWindowLongPtrA(page, DWLP_USER));
}

void ShowBoxes(HWND page, const OnceBoxes &boxes, PageValues &values, const BoxSetting *table, size_t count) {
    for (size_t i = 0; i < count; ++i)
        if (g_windowsVersion >= table[i].readFrom) boxes.Show(page, table[i].id, values.Dword(*table[i].setting));
}

void WriteBoxes(HWND page, const OnceBoxes &boxes, PageWriter &writer, const BoxSetting *table, size_t count) {
    for (size_t i = 0; i < count; ++i)
        writer.Dword(*table[i].setting, LONG(boxes.State(page, table[i].id)));
}

HWND CommandField(HWND page) {
    return GetDlgItem(page, IDC_DISK_COMMAND);
}

// The history of the page's combo box, loaded; the command line read after it into the field.
void OpenCommandLine(HWND page, const char *historyValue, PageValues &values, const TextSetting &text) {
    auto *state = new (std::nothrow) CommandPageState{CommandHistory(CommandField(page), historyValue)};
    SetWindowLongPtrA(page, DWLP_USER, reinterpret_cast<LONG_PTR>(state));
    if (state) state->history.Load();
    if (values.Opened())
        values.Key().ReadStringForEditboxA(text.name, page, IDC_DISK_COMMAND);
    else
        SetDlgItemTextA(page, IDC_DISK_COMMAND, values.Text(text).c_str());
    AllowDropFromLowerProcesses();
    DragAcceptFiles(page, TRUE);
}

// On OK: the command line as typed (a REG_EXPAND_SZ stays one), then into the history.
void StoreCommandLine(HWND page, PageWriter &writer, const TextSetting &text) {
    writer.FromEditBox(text, page, IDC_DISK_COMMAND);
    CommandPageState *state = StateOf(page);
    TextPtr typed = DialogItemText(page, IDC_DISK_COMMAND);
    if (state && typed && typed[0]) state->history.Add(typed.get());
}

void CloseCommandLine(HWND page) {
    delete StateOf(page);
    SetWindowLongPtrA(page, DWLP_USER, 0);
}

// Browse and drops: the field is one line, so a dropped path follows a blank.
bool OnCommandLineCommand(HWND page, int id) {
    if (id != IDC_DISK_BROWSE) return false;
    BrowseForCommand(page, CommandField(page));
    return true;
}

void OnDropFiles(HWND page, HDROP drop) {
    if (IsWindowEnabled(CommandField(page)))
        AddDroppedCommands(page, CommandField(page), drop, " ");
    else
        DragFinish(drop);
}

void SetResult(HWND page, LONG_PTR result) {
    SetWindowLongPtrA(page, DWLP_MSGRESULT, result);
}

// The messages every page handles alike; true when message was one of them.
bool OnCommonMessage(HWND page, UINT message, WPARAM wParam, LPARAM lParam, const char *topic) {
    if (HandlePageHelp(page, message, lParam, topic)) return true;
    if (message == WM_DROPFILES) {
        OnDropFiles(page, reinterpret_cast<HDROP>(wParam));
        return true;
    }
    if (message == WM_DESTROY) CloseCommandLine(page);
    return false;
}

// ---- The defragmenter page ----------------------------------------------------------------------

const int kDefragBoxIds[] = {IDC_DEFRAG_PREFETCH, IDC_DEFRAG_GUI,  IDC_DISK_CUSTOM, IDC_DISK_MULTI,
                             IDC_DEFRAG_LAST_CONSOLE, IDC_DEFRAG_RESULT_OUT, IDC_DEFRAG_DETAIL, IDC_DEFRAG_FULL, 0};
const OnceBoxes kDefragBoxes(kDefragBoxIds);
const BoxSetting kDefragSettings[] = {
    {IDC_DEFRAG_PREFETCH, &setting::Prefetch, 501},     {IDC_DEFRAG_DETAIL, &setting::xp_con_detail, 501},
    {IDC_DEFRAG_GUI, &setting::xp_mmcdefrag, 501},      {IDC_DEFRAG_LAST_CONSOLE, &setting::xp_finalmmc, 501},
    {IDC_DEFRAG_RESULT_OUT, &setting::xp_resultout, 501}, {IDC_DEFRAG_FULL, &setting::vista_w, 600},
    {IDC_DISK_CUSTOM, &setting::df_check_cust, 0},      {IDC_DISK_MULTI, &setting::df_check_multi, 0},
};

void EnableItem(HWND page, int id, bool enabled) {
    EnableWindow(GetDlgItem(page, id), enabled ? TRUE : FALSE);
}

void ApplyDefragEnabling(HWND page) {
    TextPtr passes = DialogItemText(page, IDC_DEFRAG_PASSES);
    DefragInputs inputs{g_windowsVersion, kDefragBoxes.State(page, IDC_DEFRAG_GUI) != kOnceOff,
                        kDefragBoxes.State(page, IDC_DEFRAG_LAST_CONSOLE) != kOnceOff,
                        PassesOfText(passes ? passes.get() : "")};
    DefragEnabling enabling = DefragEnablingFor(inputs);
    EnableItem(page, IDC_DEFRAG_GUI, enabling.gui);
    EnableItem(page, IDC_DEFRAG_LAST_CONSOLE, enabling.lastConsole);
    EnableItem(page, IDC_DEFRAG_PREFETCH, enabling.prefetch);
    EnableItem(page, IDC_DEFRAG_FULL, enabling.full);
}

BOOL OnDefragInit(HWND page) {
    for (const VersionLabel &label : DefragVersionLabels(g_windowsVersion))
        SetDlgItemTextA(page, label.id, label.text);
    AddToolTips(page, DefragToolTips(g_windowsVersion).data());
    PageValues values;
    OpenCommandLine(page, setting::cbq_defrag_cust, values, setting::df_edit_cust);
    SetDlgItemInt(page, IDC_DEFRAG_PASSES, PassesShown(values.Dword(setting::Double)), FALSE);
    ShowBoxes(page, kDefragBoxes, values, kDefragSettings, std::size(kDefragSettings));
    // The management console's defragmenter went with Vista.
    if (g_windowsVersion >= 600) CheckDlgButton(page, IDC_DEFRAG_GUI, BST_UNCHECKED);
    ApplyDefragEnabling(page);
    return TRUE;
}

void OnDefragCommand(HWND page, int id, int code) {
    if (OnCommandLineCommand(page, id)) return;
    bool changed = id == IDC_DEFRAG_PASSES;
    if (code == BN_CLICKED && kDefragBoxes.OnClicked(page, id)) changed = true;
    if (changed && DefragRulesFollowChanges(g_windowsVersion)) ApplyDefragEnabling(page);
}

void OnDefragContextMenu(HWND page, HWND control, LPARAM point) {
    int id = 0;
    if (kDefragBoxes.OnContextMenu(page, control, point, &id) && DefragRulesFollowChanges(g_windowsVersion))
        ApplyDefragEnabling(page);
}

void OnDefragApply(HWND page) {
    DWORD passes = 0;
    if (!ReadNumberField(page, IDC_DEFRAG_PASSES, kFewestPasses, kMostPasses, &passes)) {
        SetResult(page, PSNRET_INVALID_NOCHANGEPAGE);
        return;
    }
    PageWriter writer(kLogModule);
    writer.Dword(setting::Double, DoubleForPasses(passes));
    WriteBoxes(page, kDefragBoxes, writer, kDefragSettings, std::size(kDefragSettings));
    StoreCommandLine(page, writer, setting::df_edit_cust);
    SetResult(page, ApplyResult(writer));
}

INT_PTR OnDefragNotify(HWND page, const NMHDR &header) {
    switch (header.code) {
    case PSN_KILLACTIVE: {
        // A pass count that is no count keeps the page.
        DWORD passes = 0;
        SetResult(page, ReadNumberField(page, IDC_DEFRAG_PASSES, kFewestPasses, kMostPasses, &passes) ? FALSE : TRUE);
        return TRUE;
    }
    case PSN_APPLY:
        OnDefragApply(page);
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK DefragPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    if (OnCommonMessage(page, message, wParam, lParam, "HLP000140.html")) return TRUE;
    switch (message) {
    case WM_INITDIALOG:
        return OnDefragInit(page);
    case WM_COMMAND:
        OnDefragCommand(page, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_CONTEXTMENU:
        OnDefragContextMenu(page, reinterpret_cast<HWND>(wParam), lParam);
        return TRUE;
    case WM_NOTIFY:
        return OnDefragNotify(page, *reinterpret_cast<const NMHDR *>(lParam));
    }
    return FALSE;
}

// ---- The check-disk page ------------------------------------------------------------------------

const int kCheckBoxIds[] = {IDC_CHECK_SCANLOG, IDC_CHECK_SURFACE, IDC_CHECK_AUX, IDC_DISK_CUSTOM,
                            IDC_DISK_MULTI,    IDC_CHECK_BEFORE,  0};
const OnceBoxes kCheckBoxes(kCheckBoxIds);
const BoxSetting kCheckSettings[] = {
    {IDC_CHECK_SURFACE, &setting::CluScan, 0},
    {IDC_DISK_CUSTOM, &setting::sd_check_cust, 0},
    {IDC_DISK_MULTI, &setting::sd_check_multi, 0},
    {IDC_CHECK_BEFORE, &setting::sd_check_before, 0},
};

const ToolTipText kCheckTipsJa[] = {
    {IDC_CHECK_SURFACE, "非常に長い時間をかけて、ディスクのエラーを検査します。"},
    {IDC_DISK_CUSTOM, "ディスクチェッカーを自由に設定します。"},
    {IDC_DISK_COMMAND, "ディスクを検査するコマンドラインです。"},
    {IDC_DISK_BROWSE, "ファイル名を参照して、エディットボックスに挿入します。"},
    {IDC_DISK_MULTI, "複数のディスクを検査するとき、コマンドラインを 1 回だけ実行します。"},
    {IDC_CHECK_BEFORE, "Windows を再起動またはシャットダウンする前に、ディスクチェッカーを実行します。"},
    {0, nullptr},
};
const ToolTipText kCheckTipsEn[] = {
    {IDC_CHECK_SURFACE, "Checks disk errors with very long time."},
    {IDC_DISK_CUSTOM, "Customizes disk checker."},
    {IDC_DISK_COMMAND, "Command Line of checking disks."},
    {IDC_DISK_BROWSE, "Browses file name and Inserts it into editbox."},
    {IDC_DISK_MULTI, "When you check two or more disks, it runs one command line only."},
    {IDC_CHECK_BEFORE, "Runs the disk checker before rebooting or shutting down Windows."},
    {0, nullptr},
};

// The hidden aux_dsd.exe is kept: a stored value is written back as the very number it was.
void LoadHiddenAux(HWND page, PageValues &values) {
    CommandPageState *state = StateOf(page);
    if (!state || !values.Opened() || values.Key().ValueExistA(setting::aux_dsd.name) < 0) return;
    state->aux = values.Dword(setting::aux_dsd);
    state->auxRead = true;
    kCheckBoxes.Show(page, IDC_CHECK_AUX, state->aux);
}

// The hidden Scanlog is off whatever was stored, and stored so at once.
void ClearScanlog(HWND page) {
    CheckDlgButton(page, IDC_CHECK_SCANLOG, BST_UNCHECKED);
    if (!WriteSettingDword(setting::Scanlog.name, 0))
        RUNLOG2("Scanlog:", Tx("値を書き込めませんでした。", "The value could not be written."));
}

BOOL OnCheckInit(HWND page) {
    SetWindowTextA(page, Tx("チェックディスクの設定", "Check disk Setting"));
    AddToolTips(page, ToolTipTable(kCheckTipsJa, kCheckTipsEn));
    PageValues values;
    OpenCommandLine(page, setting::cbq_chkdsk_cust, values, setting::sd_edit_cust);
    ShowBoxes(page, kCheckBoxes, values, kCheckSettings, std::size(kCheckSettings));
    LoadHiddenAux(page, values);
    ClearScanlog(page);
    // The advice on the DOS Scandisk concerns Japanese users only.
    if (!IsJapanese()) EnableItem(page, IDC_CHECK_SCANDISK_NOTE, false);
    return TRUE;
}

void OnCheckApply(HWND page) {
    PageWriter writer(kLogModule);
    writer.Dword(setting::Scanlog, LONG(kCheckBoxes.State(page, IDC_CHECK_SCANLOG)));
    WriteBoxes(page, kCheckBoxes, writer, kCheckSettings, std::size(kCheckSettings));
    CommandPageState *state = StateOf(page);
    if (state && state->auxRead) writer.Dword(setting::aux_dsd, state->aux);
    StoreCommandLine(page, writer, setting::sd_edit_cust);
    SetResult(page, ApplyResult(writer));
}

INT_PTR CALLBACK CheckDiskPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    if (OnCommonMessage(page, message, wParam, lParam, "HLP000141.html")) return TRUE;
    int id = 0;
    switch (message) {
    case WM_INITDIALOG:
        return OnCheckInit(page);
    case WM_COMMAND:
        if (!OnCommandLineCommand(page, LOWORD(wParam)) && HIWORD(wParam) == BN_CLICKED)
            kCheckBoxes.OnClicked(page, LOWORD(wParam));
        return TRUE;
    case WM_CONTEXTMENU:
        kCheckBoxes.OnContextMenu(page, reinterpret_cast<HWND>(wParam), lParam, &id);
        return TRUE;
    case WM_NOTIFY:
        if (reinterpret_cast<const NMHDR *>(lParam)->code != UINT(PSN_APPLY)) return FALSE;
        OnCheckApply(page);
        return TRUE;
    }
    return FALSE;
}

// ---- The clean-up page --------------------------------------------------------------------------

const int kClearBoxIds[] = {IDC_CLEAR_TRASH,     IDC_CLEAR_TEMP,    IDC_CLEAR_WINTEMP,       IDC_CLEAR_IE_CACHE,
                            IDC_CLEAR_IE_COOKIES, IDC_CLEAR_IE_HISTORY, IDC_CLEAR_RECENT,     IDC_CLEAR_OFFICE_RECENT,
                            IDC_CLEAR_THUMBS,    IDC_CLEAR_GID,     IDC_CLEAR_ALBUMART,      IDC_CLEAR_BAK,
                            IDC_CLEAR_PNF,       IDC_CLEAR_ETL,     0};
const OnceBoxes kClearBoxes(kClearBoxIds);
const BoxSetting kClearSettings[] = {
    {IDC_CLEAR_TRASH, &setting::DelTrash, 0},
    {IDC_CLEAR_TEMP, &setting::DelTemp, 0},
    {IDC_CLEAR_WINTEMP, &setting::DelWinTemp, 0},
    {IDC_CLEAR_IE_CACHE, &setting::Del_ITF, 0},
    {IDC_CLEAR_IE_COOKIES, &setting::Del_ICO, 0},
    {IDC_CLEAR_IE_HISTORY, &setting::Del_IHI, 0},
    {IDC_CLEAR_RECENT, &setting::Del_Recent, 0},
    {IDC_CLEAR_OFFICE_RECENT, &setting::Del_Recent_Office, 0},
    {IDC_CLEAR_THUMBS, &setting::Del_Thumbs_db, 0},
    {IDC_CLEAR_GID, &setting::Del_All_Gid, 0},
    {IDC_CLEAR_ALBUMART, &setting::Del_All_AlbumArt, 0},
    {IDC_CLEAR_BAK, &setting::Del_All_Bak, 0},
    {IDC_CLEAR_PNF, &setting::Del_Inf_Pnf, 0},
    {IDC_CLEAR_ETL, &setting::Del_All_Etl, 0},
};

const ToolTipText kClearTipsJa[] = {
    {IDC_CLEAR_TRASH, "Rinsa 実行の前に、ごみ箱の中のファイルとフォルダを削除します。"},
    {IDC_CLEAR_TEMP, "Rinsa 実行の前に、一時フォルダ (%Temp% と %tmp%) の中のファイルを削除します。"},
    {IDC_CLEAR_WINTEMP, "Rinsa 実行の前に、一時フォルダ (%windir%\\Temp) の中のファイルを削除します。"},
    {IDC_CLEAR_IE_CACHE, "Rinsa 実行の前に、Internet Explorer のキャッシュフォルダの中のファイルを削除します。"},
    {IDC_CLEAR_IE_COOKIES, "Rinsa 実行の前に、Internet Explorer の Cookie フォルダの中のファイルを削除します。"},
    {IDC_CLEAR_IE_HISTORY, "Rinsa 実行の前に、Internet Explorer の履歴フォルダの中のファイルを削除します。"},
    {IDC_CLEAR_RECENT, "Rinsa 実行の前に、スタートメニューの [最近使ったファイル] の内容を削除します。"},
    {IDC_CLEAR_OFFICE_RECENT, "Rinsa 実行の前に、Office の最近使ったファイルの履歴を削除します。"},
    {IDC_CLEAR_THUMBS, "すべてのハードディスクにある Thumbs.db を削除します。"},
    {IDC_CLEAR_GID, "すべてのハードディスクにある *.gid を削除します。"},
    {IDC_CLEAR_ALBUMART, "すべてのハードディスクにある AlbumArt_{*}_Large.jpg と AlbumArt_{*}_Small.jpg を削除します。"},
    {IDC_CLEAR_BAK, "すべてのハードディスクにある *.bak を削除します。"},
    {IDC_CLEAR_PNF, "%systemroot%\\inf\\*.pnf を削除します。"},
    {IDC_CLEAR_ETL, "すべてのハードディスクにある *.etl を削除します。"},
    {0, nullptr},
};
const ToolTipText kClearTipsEn[] = {
    {IDC_CLEAR_TRASH, "Deletes files and folders in Recycle Bin before Rinsa running."},
    {IDC_CLEAR_TEMP, "Deletes files in Temporary(%Temp% and %tmp%) Folder before Rinsa running."},
    {IDC_CLEAR_WINTEMP, "Deletes files in Temporary(%windir%\\Temp) Folder before Rinsa running."},
    {IDC_CLEAR_IE_CACHE, "Deletes files in Internet Explorer's Cache Folder before Rinsa running."},
    {IDC_CLEAR_IE_COOKIES, "Deletes files in Internet Explorer's Cookie Folder before Rinsa running."},
    {IDC_CLEAR_IE_HISTORY, "Deletes files in Internet Explorer's History Folder before Rinsa running."},
    {IDC_CLEAR_RECENT, "Deletes the contents of the Document menu in start menu before Rinsa running."},
    {IDC_CLEAR_OFFICE_RECENT, "Deletes the contents of the History of Office Document before Rinsa running."},
    {IDC_CLEAR_THUMBS, "Deletes All Thumbs.db in all hard disks."},
    {IDC_CLEAR_GID, "Deletes All *.gid in all hard disks."},
    {IDC_CLEAR_ALBUMART, "Deletes All AlbumArt_{*}_Large.jpg and AlbumArt_{*}_Small.jpg in all hard disks."},
    {IDC_CLEAR_BAK, "Deletes All *.bak in all hard disks."},
    {IDC_CLEAR_PNF, "Deletes %systemroot%\\inf\\*.pnf."},
    {IDC_CLEAR_ETL, "Deletes All *.etl in all hard disks."},
    {0, nullptr},
};

// Office 2003 is a 32-bit program: on 64-bit Windows its key lives in the 32-bit view.
const char *const kOffice2003Keys[] = {"SOFTWARE\\Microsoft\\Office\\11.0",
                                       "SOFTWARE\\Wow6432Node\\Microsoft\\Office\\11.0"};

bool Office2003Installed() {
    for (const char *path : kOffice2003Keys) {
        REGA key;
        if (!key.OpenKey(HKEY_LOCAL_MACHINE, path, OPEN_READONLY)) continue;
        key.CloseKey();
        return true;
    }
    return false;
}

// *.bak chosen while Office 2003 is there: its backups may matter, so the user confirms.
void ConfirmBakWithOffice(HWND page) {
    if (kClearBoxes.State(page, IDC_CLEAR_BAK) == kOnceOff || !Office2003Installed()) return;
    int answer = ShowMessage(page,
                             {"Office 2003 がインストールされています。*.bak は大切なファイルかもしれません。"
                              "*.bak を削除してもよろしいですか?",
                              "Office 2003 installed. *.bak might be important file. Are you sure you want to "
                              "delete *.bak?"},
                             MB_YESNO | MB_ICONQUESTION);
    if (answer != IDYES) CheckDlgButton(page, IDC_CLEAR_BAK, BST_UNCHECKED);
}

bool HasVariable(const char *name) {
    return GetEnvironmentVariableA(name, nullptr, 0) != 0;
}

BOOL OnClearInit(HWND page) {
    AddToolTips(page, ToolTipTable(kClearTipsJa, kClearTipsEn));
    PageValues values;
    ShowBoxes(page, kClearBoxes, values, kClearSettings, std::size(kClearSettings));
    // A disabled box keeps what it showed and is written on OK all the same.
    for (int id : ClearBoxesWithoutEnvironment(HasVariable))
        EnableItem(page, id, false);
    return TRUE;
}

void OnClearApply(HWND page) {
    PageWriter writer(kLogModule);
    WriteBoxes(page, kClearBoxes, writer, kClearSettings, std::size(kClearSettings));
    SetResult(page, ApplyResult(writer));
}

INT_PTR CALLBACK ClearPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    if (HandlePageHelp(page, message, lParam, "HLP000158.html")) return TRUE;
    int id = 0;
    switch (message) {
    case WM_INITDIALOG:
        return OnClearInit(page);
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED && kClearBoxes.OnClicked(page, LOWORD(wParam)) &&
            LOWORD(wParam) == IDC_CLEAR_BAK)
            ConfirmBakWithOffice(page);
        return TRUE;
    case WM_CONTEXTMENU:
        if (kClearBoxes.OnContextMenu(page, reinterpret_cast<HWND>(wParam), lParam, &id) && id == IDC_CLEAR_BAK)
            ConfirmBakWithOffice(page);
        return TRUE;
    case WM_NOTIFY:
        if (reinterpret_cast<const NMHDR *>(lParam)->code != UINT(PSN_APPLY)) return FALSE;
        OnClearApply(page);
        return TRUE;
    }
    return FALSE;
}

} // namespace

PROPSHEETPAGEA DefragPage() {
    return OptionsPageOf(IDD_DEFRAG_PAGE_JA, IDD_DEFRAG_PAGE_EN, DefragPageProc);
}

// The tab title is set here rather than taken from the template.
PROPSHEETPAGEA CheckDiskPage() {
    PROPSHEETPAGEA page = OptionsPageOf(IDD_CHECK_PAGE_JA, IDD_CHECK_PAGE_EN, CheckDiskPageProc);
    page.dwFlags |= PSP_USETITLE;
    page.pszTitle = Tx("チェックディスク", "CheckDisk");
    return page;
}

PROPSHEETPAGEA ClearPage() {
    return OptionsPageOf(IDD_CLEAR_PAGE_JA, IDD_CLEAR_PAGE_EN, ClearPageProc);
}
