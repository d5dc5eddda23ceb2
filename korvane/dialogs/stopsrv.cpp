// stopsrv: "Stop Services", the automatic services a run stops. The list offers every service that
// starts automatically and is no driver; OK stores the checked ones in stopsrv, where the planner
// finds them. The service keys belong to other programs' installers, so every value is read with
// its type and size and a malformed one only costs its service a place in the list.
#include "dialogs/stopsrv.h"

#include "dialogs/options.h"
#include "korvane.h"
#include "planner/rnsrun.h"
#include "resource.h"
#include "window/korvwin.h"
#include "window/layout.h"

#include "language.h"
#include "platform.h"
#include "rega.h"
#include "runlog.h"
#include "settings.h"
#include "winhandle.h"

#include <commctrl.h>

#include <cstring>

namespace {

const char kLogModule[] = "stopsrv";
const char kServicesPath[] = "SYSTEM\\CurrentControlSet\\Services";
constexpr DWORD kAutomaticStart = 2;
constexpr DWORD kDriverTypeBits = 0xF;
constexpr size_t kModulePathChars = 520;
constexpr int kIndirectTextChars = 2048;

// Bytes of the whole characters of text that fit in limit bytes.
size_t WholeCharacters(const std::string &text, size_t limit) {
    size_t at = 0;
    while (at < text.size()) {
        size_t next = at + (IsSjisLeadByte(static_cast<unsigned char>(text[at])) && at + 1 < text.size() ? 2 : 1);
        if (next > limit) break;
        at = next;
    }
    return at;
}

std::string LowerCopy(const std::string &text) {
    std::string lower = text;
    if (!lower.empty()) LowerAscii(&lower[0]);
    return lower;
}

} // namespace

// ---- Plain pieces -------------------------------------------------------------------------------

std::optional<DWORD> ServiceDword(DWORD type, const BYTE *data, DWORD size) {
    if (type != REG_DWORD || size != sizeof(DWORD) || !data) return std::nullopt;
    DWORD value = 0;
    memcpy(&value, data, sizeof value);
    return value;
}

bool IsStopCandidate(std::optional<DWORD> start, std::optional<DWORD> type) {
    return start && type && *start == kAutomaticStart && (*type & kDriverTypeBits) == 0;
}

std::string ServiceText(DWORD type, const BYTE *data, DWORD size, bool *valid) {
    *valid = type == REG_SZ || type == REG_EXPAND_SZ;
    if (!*valid || !data) return std::string();
    const char *text = reinterpret_cast<const char *>(data);
    std::string stored(text, strnlen(text, size));
    return stored.substr(0, WholeCharacters(stored, kMaxServiceText));
}

bool ParseIndirectString(const char *text, std::string *module, UINT *id) {
    if (!text || text[0] != '@') return false;
    const char *comma = strrchr(text, ',');
    if (!comma || comma == text + 1 || comma[1] != '-') return false;
    const char *digits = comma + 2;
    const char *end = digits;
    unsigned long number = 0;
    while (*end >= '0' && *end <= '9' && number <= 0xFFFF)
        number = number * 10 + unsigned(*end++ - '0');
    if (end == digits || number > 0xFFFF || (*end != '\0' && *end != ';')) return false;
    module->assign(text + 1, comma);
    *id = UINT(number);
    return true;
}

std::string ResolveServiceText(const std::string &text) {
    std::string module;
    UINT id = 0;
    if (!ParseIndirectString(text.c_str(), &module, &id)) return text;
    char path[kModulePathChars];
    DWORD needed = ExpandEnvironmentStringsA(module.c_str(), path, DWORD(sizeof path));
    if (needed == 0 || needed > sizeof path) return text;
    // A module on a missing drive must not ask the user for a disk.
    ErrorModeScope quiet(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    UniqueModule library(LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!library) return text;
    char resolved[kIndirectTextChars] = "";
    int length = LoadStringA(library.Get(), id, resolved, kIndirectTextChars);
    return length > 0 ? std::string(resolved, size_t(length)) : text;
}

bool NameListHolds(const std::vector<std::string> &names, const std::string &name) {
    std::string wanted = LowerCopy(name);
    for (const std::string &candidate : names)
        if (candidate.size() == name.size() && LowerCopy(candidate) == wanted) return true;
    return false;
}

std::string StopServicesText(const std::vector<std::string> &checked, const std::vector<std::string> &listed,
                             const std::vector<std::string> &stored) {
    std::vector<std::string> kept;
    for (const std::string &name : checked)
        if (!NameListHolds(kept, name)) kept.push_back(name);
    for (const std::string &name : stored)
        if (!NameListHolds(listed, name) && !NameListHolds(kept, name)) kept.push_back(name);
    return JoinNameList(kept);
}

// ---- Reading the service keys -------------------------------------------------------------------

namespace {

void LogBadValue(const char *service, const char *value) {
    LogLine(kLogModule, __LINE__,
            FormatString(Tx("サービス %s: %s の値が不正です。", "Service %s: %s has data of a wrong type or size."),
                         service, value)
                .c_str());
}

// A number of the service key; a value that exists in a wrong form is logged.
std::optional<DWORD> ReadServiceDword(REGA &key, const char *service, const char *name) {
    RegistryValue value = ReadRegistryValue(key, name);
    if (!value.exists) return std::nullopt;
    std::optional<DWORD> number =
        ServiceDword(value.type, reinterpret_cast<const BYTE *>(value.bytes.data()), DWORD(value.bytes.size()));
    if (!number) LogBadValue(service, name);
    return number;
}

// A display text of the service key, resolved; empty when missing, logged when of a wrong type.
std::string ReadServiceText(REGA &key, const char *service, const char *name) {
    RegistryValue value = ReadRegistryValue(key, name);
    if (!value.exists) return std::string();
    bool valid = false;
    std::string text =
        ServiceText(value.type, reinterpret_cast<const BYTE *>(value.bytes.data()), DWORD(value.bytes.size()), &valid);
    if (!valid) LogBadValue(service, name);
    return ResolveServiceText(text);
}

// The service of one subkey when it is a candidate.
bool ReadCandidate(HKEY services, const char *name, StopCandidate *candidate) {
    REGA key;
    if (!key.OpenKey(services, name, OPEN_READONLY)) return false;
    bool wanted = IsStopCandidate(ReadServiceDword(key, name, "Start"), ReadServiceDword(key, name, "Type"));
    if (wanted) {
        candidate->name = name;
        candidate->displayName = ReadServiceText(key, name, "DisplayName");
        if (candidate->displayName.empty()) candidate->displayName = name;
        candidate->description = ReadServiceText(key, name, "Description");
    }
    key.CloseKey();
    return wanted;
}

} // namespace

bool ReadStopCandidates(std::vector<StopCandidate> *candidates) {
    candidates->clear();
    REGA services;
    if (!services.OpenKey(HKEY_LOCAL_MACHINE, kServicesPath, OPEN_READONLY)) return false;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD length = sizeof name;
        LONG status = RegEnumKeyExA(services.Handle(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
        // A name too long for a service is skipped; any other failure (a key deleted meanwhile)
        // would answer the same for every index, so it ends the walk.
        if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) break;
        StopCandidate candidate;
        if (status == ERROR_SUCCESS && ReadCandidate(services.Handle(), name, &candidate))
            candidates->push_back(std::move(candidate));
    }
    services.CloseKey();
    return true;
}

// ---- The dialog ---------------------------------------------------------------------------------

namespace {

const Anchor kAnchors[] = {
    {IDC_STOPSRV_EXPLANATION, kAnchorWidth},
    {IDC_STOPSRV_LIST, kAnchorSize},
    {IDC_STOPSRV_NOTE, kAnchorBottom},
    {IDOK, kAnchorCorner},
    {IDCANCEL, kAnchorCorner},
    {0, 0},
};

const ToolTipText kToolTipsJa[] = {
    {IDOK, "チェックを付けたサービスを保存して、このダイアログを閉じます。"},
    {IDCANCEL, "何も保存せずに、このダイアログを閉じます。"},
    {0, nullptr},
};
const ToolTipText kToolTipsEn[] = {
    {IDOK, "Saves the checked services and closes this dialog."},
    {IDCANCEL, "Closes this dialog without saving."},
    {0, nullptr},
};

struct StopServicesDialog {
    DialogLayout layout;
    UniqueMenu menu;
    std::vector<std::string> stored; // stopsrv as the dialog found it
    std::vector<std::string> names;  // the key name of each list item (its lParam)
};

HWND ListOf(HWND dialog) {
    return GetDlgItem(dialog, IDC_STOPSRV_LIST);
}

std::vector<std::string> ReadStoredNames() {
    REGA key;
    if (!OpenSettings(key, OPEN_READONLY)) return {};
    std::vector<std::string> names = SplitNameList(ReadTextSetting(key, setting::stopsrv));
    key.CloseKey();
    return names;
}

void AddColumns(HWND list) {
    const struct {
        TextPair title;
        int width;
    } kColumns[] = {{{"項目", "Item"}, 200}, {{"情報", "Information"}, 270}, {{"サービス名", "Service name"}, 100}};
    for (int i = 0; i < 3; ++i) {
        LVCOLUMNA column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = const_cast<char *>(kColumns[i].title.Get());
        column.cx = ScaleX(kColumns[i].width);
        column.iSubItem = i;
        ListView_InsertColumn(list, i, &column);
    }
}

void AddItem(HWND list, int index, const StopCandidate &candidate, bool checked) {
    LVITEMA item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = index;
    item.pszText = const_cast<char *>(candidate.displayName.c_str());
    item.lParam = index;
    int at = ListView_InsertItem(list, &item);
    if (at < 0) return;
    ListView_SetItemText(list, at, 1, const_cast<char *>(candidate.description.c_str()));
    ListView_SetItemText(list, at, 2, const_cast<char *>(candidate.name.c_str()));
    ListView_SetCheckState(list, at, checked);
}

// The list, as it opens: false when the services cannot be read.
bool BuildList(HWND dialog, StopServicesDialog &data) {
    HWND list = ListOf(dialog);
    ListView_SetExtendedListViewStyleEx(list, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT,
                                        LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    AddColumns(list);
    ListView_DeleteAllItems(list);
    std::vector<StopCandidate> candidates;
    if (!ReadStopCandidates(&candidates)) return false;
    data.stored = ReadStoredNames();
    data.names.clear();
    for (const StopCandidate &candidate : candidates) {
        AddItem(list, int(data.names.size()), candidate, NameListHolds(data.stored, candidate.name));
        data.names.push_back(candidate.name);
    }
    ListView_SetExtendedListViewStyleEx(list, LVS_EX_INFOTIP, LVS_EX_INFOTIP);
    return true;
}

void SetDialogIcon(HWND dialog) {
    HINSTANCE instance = ModuleInstance();
    auto icon = [instance](int size) {
        return LoadImageA(instance, MAKEINTRESOURCEA(IDI_STOPSRV), IMAGE_ICON, size, size, LR_SHARED);
    };
    SendMessageA(dialog, WM_SETICON, ICON_BIG, LPARAM(icon(GetSystemMetrics(SM_CXICON))));
    SendMessageA(dialog, WM_SETICON, ICON_SMALL, LPARAM(icon(GetSystemMetrics(SM_CXSMICON))));
}

BOOL OnInitDialog(HWND dialog, StopServicesDialog *data) {
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(data));
    if (!BuildList(dialog, *data)) {
        ShowMessageBox(dialog, Tx("サービスの一覧を取得できません。", "Cannot browse the service list."),
                       Tx("サービスの停止", "Stop Services"), MB_OK | MB_ICONERROR);
        EndDialog(dialog, 1);
        return TRUE;
    }
    SetDialogIcon(dialog);
    AddToolTips(dialog, ToolTipTable(kToolTipsJa, kToolTipsEn));
    data->menu.Reset(LoadMenuA(ModuleInstance(), MAKEINTRESOURCEA(ResId(IDM_SRVSTP_JA, IDM_SRVSTP_EN))));
    if (HMENU popup = data->menu ? GetSubMenu(data->menu.Get(), 0) : nullptr) SetMenuDefaultItem(popup, 0, TRUE);
    data->layout.Create(dialog, kAnchors);
    return TRUE;
}

// The key names of the checked items and of all items, in list order.
void CollectNames(HWND list, const StopServicesDialog &data, std::vector<std::string> *checked,
                  std::vector<std::string> *listed) {
    int count = ListView_GetItemCount(list);
    for (int i = 0; i < count; ++i) {
        LVITEMA item = {};
        item.mask = LVIF_PARAM;
        item.iItem = i;
        if (!ListView_GetItem(list, &item) || item.lParam < 0 || size_t(item.lParam) >= data.names.size()) continue;
        const std::string &name = data.names[size_t(item.lParam)];
        listed->push_back(name);
        if (ListView_GetCheckState(list, i)) checked->push_back(name);
    }
}

// OK: true when stopsrv holds the choice; otherwise the user has been told and the dialog stays.
bool SaveChoice(HWND dialog, const StopServicesDialog &data) {
    std::vector<std::string> checked, listed;
    CollectNames(ListOf(dialog), data, &checked, &listed);
    std::string text = StopServicesText(checked, listed, data.stored);
    REGA key;
    bool saved = OpenSettings(key, OPEN_CREATE);
    if (saved) {
        if (text.empty())
            saved = key.DeleteValue(setting::stopsrv.name) || key.ValueExistA(setting::stopsrv.name) < 0;
        else
            saved = key.WriteStringA(setting::stopsrv.name, text.c_str(), STRTYPE_KEEP);
        key.CloseKey();
    }
    if (!saved)
        ShowMessage(dialog, {"サービス用のレジストリキーを開けません。", "Cannot open registry key for services."},
                    MB_ICONERROR);
    return saved;
}

void ToggleFirstSelected(HWND list) {
    int item = ListView_GetNextItem(list, -1, LVNI_SELECTED);
    if (item >= 0) ListView_SetCheckState(list, item, !ListView_GetCheckState(list, item));
}

void UncheckAll(HWND list) {
    int count = ListView_GetItemCount(list);
    for (int i = 0; i < count; ++i)
        ListView_SetCheckState(list, i, FALSE);
}

void OnCommand(HWND dialog, const StopServicesDialog &data, int id) {
    switch (id) {
    case IDOK:
        if (SaveChoice(dialog, data)) EndDialog(dialog, 0);
        break;
    case IDCANCEL:
        EndDialog(dialog, 1);
        break;
    case IDM_SRVSTP_TOGGLE:
        ToggleFirstSelected(ListOf(dialog));
        break;
    case IDM_SRVSTP_ALL_OFF:
        UncheckAll(ListOf(dialog));
        break;
    }
}

// The menu's place: where the mouse was, or by the focused item (the list's corner) for the keyboard.
POINT MenuPoint(HWND list, LPARAM point) {
    POINT at = {static_cast<short>(LOWORD(point)), static_cast<short>(HIWORD(point))};
    if (point != -1) return at;
    RECT place = {};
    int focused = ListView_GetNextItem(list, -1, LVNI_FOCUSED);
    if (focused < 0 || !ListView_GetItemRect(list, focused, &place, LVIR_LABEL)) GetClientRect(list, &place);
    at = {place.left, place.bottom};
    ClientToScreen(list, &at);
    return at;
}

void OnContextMenu(HWND dialog, const StopServicesDialog &data, HWND control, LPARAM point) {
    HWND list = ListOf(dialog);
    HMENU popup = data.menu ? GetSubMenu(data.menu.Get(), 0) : nullptr;
    if (control != list || !popup) return;
    bool selected = ListView_GetSelectedCount(list) > 0;
    EnableMenuItem(popup, IDM_SRVSTP_TOGGLE, MF_BYCOMMAND | (selected ? MF_ENABLED : MF_GRAYED));
    POINT at = MenuPoint(list, point);
    // The chosen item arrives as WM_COMMAND.
    TrackPopupMenu(popup, TPM_RIGHTBUTTON, at.x, at.y, 0, dialog, nullptr);
}

// The info tip of an item: its description after whatever the list put there (the whole label of
// a cut one), so a long description can be read in full.
void OnGetInfoTip(HWND dialog, NMLVGETINFOTIPA *tip) {
    if (!tip->pszText || tip->cchTextMax <= 0) return;
    char description[kMaxServiceText + 1] = "";
    ListView_GetItemText(ListOf(dialog), tip->iItem, 1, description, int(sizeof description));
    if (!description[0]) return;
    std::string text = tip->pszText;
    if (!text.empty()) text += "\r\n";
    text += description;
    size_t fit = WholeCharacters(text, size_t(tip->cchTextMax - 1));
    memcpy(tip->pszText, text.data(), fit);
    tip->pszText[fit] = '\0';
}

INT_PTR CALLBACK StopServicesProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto *data = reinterpret_cast<StopServicesDialog *>(GetWindowLongPtrA(dialog, DWLP_USER));
    // WM_GETMINMAXINFO comes before WM_INITDIALOG too, when there is no layout yet.
    if (data && data->layout.OnMessage(message, lParam)) return TRUE;
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(dialog, reinterpret_cast<StopServicesDialog *>(lParam));
    case WM_COMMAND:
        if (data) OnCommand(dialog, *data, LOWORD(wParam));
        return TRUE;
    case WM_CONTEXTMENU:
        if (data) OnContextMenu(dialog, *data, reinterpret_cast<HWND>(wParam), lParam);
        return TRUE;
    case WM_NOTIFY: {
        auto *header = reinterpret_cast<NMHDR *>(lParam);
        if (header->idFrom == IDC_STOPSRV_LIST && header->code == LVN_GETINFOTIPA)
            OnGetInfoTip(dialog, reinterpret_cast<NMLVGETINFOTIPA *>(lParam));
        return FALSE;
    }
    case WM_DESTROY:
        if (data) {
            data->layout.Destroy();
            data->menu.Reset();
        }
        return FALSE;
    }
    return FALSE;
}

} // namespace

INT_PTR ShowStopServices(HWND owner) {
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&classes);
    StopServicesDialog data;
    return DialogBoxParamA(ModuleInstance(), MAKEINTRESOURCEA(ResId(IDD_STOPSRV_JA, IDD_STOPSRV_EN)), owner,
                           StopServicesProc, reinterpret_cast<LPARAM>(&data));
}
