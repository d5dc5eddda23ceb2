// "Stop Services": which services it offers and how their stored values are read, how stopsrv is
// matched and written, and the dialog itself driven from a second thread: its list, its right-click
// menu, OK and Cancel, the failures, the layout and the Japanese resources.
#include "dialogs/options.h"
#include "dialogs/stopsrv.h"
#include "window/korvwin.h"

#include "dialog_driver.h"
#include "key_access.h"
#include "planner_fixture.h"
#include "resource.h"
#include "system_state.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Names = std::vector<std::string>;

const char kServices[] = "SYSTEM\\CurrentControlSet\\Services";

Bytes DwordBytes(DWORD value) {
    return BytesOf(reinterpret_cast<const char *>(&value), sizeof value);
}

// ---- Plain pieces -------------------------------------------------------------------------------

TEST(StopServicesPieces, OnlyAutomaticServicesThatAreNoDriversAreOffered) {
    struct Value {
        DWORD type;
        Bytes data;
    };
    const Value two{REG_DWORD, DwordBytes(2)}, four{REG_DWORD, DwordBytes(4)}, three{REG_DWORD, DwordBytes(3)};
    const Value none{REG_NONE, {}};
    struct Case {
        const char *what;
        Value start, type;
        bool offered;
    } cases[] = {
        {"own process", two, {REG_DWORD, DwordBytes(0x10)}, true},
        {"shared process", two, {REG_DWORD, DwordBytes(0x20)}, true},
        {"interactive own process", two, {REG_DWORD, DwordBytes(0x110)}, true},
        {"disabled", four, {REG_DWORD, DwordBytes(0x10)}, false},
        {"manual", three, {REG_DWORD, DwordBytes(0x10)}, false},
        {"kernel driver", two, {REG_DWORD, DwordBytes(1)}, false},
        {"file system driver", two, {REG_DWORD, DwordBytes(2)}, false},
        {"adapter", two, {REG_DWORD, DwordBytes(4)}, false},
        {"recognizer driver", two, {REG_DWORD, DwordBytes(8)}, false},
        {"no Type", two, none, false},
        {"no Start", none, {REG_DWORD, DwordBytes(0x10)}, false},
        {"Start as text", {REG_SZ, BytesOf("2", 2)}, {REG_DWORD, DwordBytes(0x10)}, false},
        {"Start of two bytes", {REG_DWORD, {2, 0}}, {REG_DWORD, DwordBytes(0x10)}, false},
        {"Start of eight bytes", {REG_DWORD, {2, 0, 0, 0, 0, 0, 0, 0}}, {REG_DWORD, DwordBytes(0x10)}, false},
        {"Start as binary", {REG_BINARY, DwordBytes(2)}, {REG_DWORD, DwordBytes(0x10)}, false},
        {"Type as text", two, {REG_SZ, BytesOf("16", 3)}, false},
        {"Type of no bytes", two, {REG_DWORD, {}}, false},
    };
    for (const Case &c : cases) {
        auto number = [](const Value &value) -> std::optional<DWORD> {
            if (value.type == REG_NONE) return std::nullopt;
            return ServiceDword(value.type, value.data.data(), DWORD(value.data.size()));
        };
        EXPECT_EQ(c.offered, IsStopCandidate(number(c.start), number(c.type))) << c.what;
    }
}

TEST(StopServicesPieces, StoredNamesMatchWholeNamesWithoutLetterCase) {
    struct Case {
        const char *stored, *name;
        bool holds;
    } cases[] = {
        {"Service\a", "Service", true},
        {"MyService\a", "Service", false}, // a longer name is not its tail
        {"ServiceX\a", "Service", false},  // nor its head
        {"Serv\a", "Service", false},
        {"SERVICE\a", "service", true},
        {"a\aService\ab\a", "Service", true},
        {"Service", "Service", true}, // the last name without its BEL still counts
        {"\a\aService\a\a", "Service", true},
        {"", "Service", false},
        {"\x83\x54\x81\x5b\x83\x72\x83\x58\a", "\x83\x54\x81\x5b\x83\x72\x83\x58", true}, // サービス
        {"\x83\x54\a", "\x83\x74", false}, // a trail byte is no letter to fold
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.holds, NameListHolds(SplitNameList(c.stored), c.name)) << c.stored << " / " << c.name;
}

TEST(StopServicesPieces, OkStoresTheCheckedInListOrderThenTheUnlistedStoredNames) {
    struct Case {
        const char *what;
        Names checked, listed;
        const char *stored, *text;
    } cases[] = {
        {"nothing", {}, {"A", "B"}, "", ""},
        {"list order", {"B", "C"}, {"A", "B", "C"}, "C\aB\a", "B\aC\a"},
        {"unchecked, listed", {}, {"A", "B"}, "A\aB\a", ""},
        {"still disabled after a run", {"A"}, {"A", "B"}, "Halted\aB\a", "A\aHalted\a"},
        {"listed in other case", {"Alpha"}, {"Alpha"}, "ALPHA\a", "Alpha\a"},
        {"unlisted kept in stored order", {}, {"A"}, "Z\aY\aA\a", "Z\aY\a"},
        {"each once", {"A"}, {"A"}, "Z\az\aZ\a", "A\aZ\a"},
        {"empty list keeps all", {}, {}, "A\aB\a", "A\aB\a"},
        {"empty list, nothing stored", {}, {}, "", ""},
        {"prefix is no match", {"Service"}, {"Service"}, "MyService\a", "Service\aMyService\a"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.text, StopServicesText(c.checked, c.listed, SplitNameList(c.stored))) << c.what;
}

TEST(StopServicesPieces, IndirectStringsAreParsed) {
    struct Case {
        const char *text;
        bool indirect;
        const char *module;
        UINT id;
    } cases[] = {
        {"@%SystemRoot%\\system32\\x.dll,-123", true, "%SystemRoot%\\system32\\x.dll", 123},
        {"@x.dll,-0", true, "x.dll", 0},
        {"@x.dll,-65535", true, "x.dll", 65535},
        {"@x.dll,-65536", false, "", 0},
        {"@x.dll,-99999999999999999999", false, "", 0},
        {"@C:\\a,b\\x.dll,-7", true, "C:\\a,b\\x.dll", 7},
        {"@x.dll,-105;v1.0", true, "x.dll", 105},
        {"@x.dll,-12a", false, "", 0},
        {"@x.dll,-", false, "", 0},
        {"@x.dll,123", false, "", 0},
        {"@x.dll", false, "", 0},
        {"@,-5", false, "", 0},
        {"x.dll,-5", false, "", 0},
        {"Plain display name", false, "", 0},
        {"", false, "", 0},
    };
    for (const Case &c : cases) {
        std::string module;
        UINT id = 0;
        EXPECT_EQ(c.indirect, ParseIndirectString(c.text, &module, &id)) << c.text;
        if (!c.indirect) continue;
        EXPECT_EQ(c.module, module) << c.text;
        EXPECT_EQ(c.id, id) << c.text;
    }
}

TEST(StopServicesPieces, TextsAreReadWithinTheirSizeAndCutAtAWholeCharacter) {
    std::string longText(5000, 'x');
    // A double-byte character across the cut is left out whole.
    std::string cutJapanese = std::string(kMaxServiceText - 1, 'y') + "\x83\x54" + "tail";
    struct Case {
        const char *what;
        DWORD type;
        std::string data;
        bool valid;
        std::string text;
    } cases[] = {
        {"terminated", REG_SZ, std::string("Name\0", 5), true, "Name"},
        {"unterminated", REG_SZ, "Name", true, "Name"},
        {"expandable", REG_EXPAND_SZ, std::string("%x%\0", 4), true, "%x%"},
        {"zero inside", REG_SZ, std::string("Ab\0cd\0", 6), true, "Ab"},
        {"empty", REG_SZ, "", true, ""},
        {"over-long", REG_SZ, longText, true, longText.substr(0, kMaxServiceText)},
        {"cut before a double-byte character", REG_SZ, cutJapanese, true, cutJapanese.substr(0, kMaxServiceText - 1)},
        {"number", REG_DWORD, std::string("\x02\0\0\0", 4), false, ""},
        {"multi-string", REG_MULTI_SZ, std::string("a\0b\0\0", 5), false, ""},
    };
    for (const Case &c : cases) {
        bool valid = !c.valid;
        EXPECT_EQ(c.text,
                  ServiceText(c.type, reinterpret_cast<const BYTE *>(c.data.data()), DWORD(c.data.size()), &valid))
            << c.what;
        EXPECT_EQ(c.valid, valid) << c.what;
    }
}

// The first string of a system module's string table, for an indirect text that must resolve.
struct ModuleString {
    std::string indirect, text;
};

BOOL CALLBACK FirstName(HMODULE, LPCSTR, LPSTR name, LONG_PTR found) {
    if (!IS_INTRESOURCE(name)) return TRUE;
    *reinterpret_cast<int *>(found) = int(LOWORD(name));
    return FALSE;
}

ModuleString FindModuleString(const char *file) {
    char path[MAX_PATH];
    GetSystemDirectoryA(path, sizeof path);
    std::string full = std::string(path) + "\\" + file;
    HMODULE module = LoadLibraryExA(full.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ModuleString found;
    if (!module) return found;
    int block = 0;
    EnumResourceNamesA(module, MAKEINTRESOURCEA(6), FirstName, reinterpret_cast<LONG_PTR>(&block));
    for (int id = (block - 1) * 16; block > 0 && id < block * 16 && found.text.empty(); ++id) {
        char text[2048] = "";
        if (LoadStringA(module, UINT(id), text, sizeof text) > 0) {
            found.text = text;
            found.indirect = "@%SystemRoot%\\system32\\" + std::string(file) + ",-" + std::to_string(id);
        }
    }
    FreeLibrary(module);
    return found;
}

TEST(StopServicesPieces, IndirectTextsComeFromTheModuleStringTableOrStayAsStored) {
    ModuleString shell = FindModuleString("shell32.dll");
    ASSERT_FALSE(shell.text.empty()) << "shell32.dll has a string table";
    EXPECT_EQ(shell.text, ResolveServiceText(shell.indirect));

    std::string longPath = "@C:\\" + std::string(530, 'p') + ".dll,-1";
    for (const std::string &stored : {std::string("@%SystemRoot%\\system32\\no-such-module.dll,-5"),
                                      std::string("@%SystemRoot%\\system32\\shell32.dll,-65535"), longPath,
                                      std::string("@shell32.dll,-x"), std::string("Plain name")})
        EXPECT_EQ(stored, ResolveServiceText(stored));
}

// ---- The dialog ---------------------------------------------------------------------------------

const char kTitle[] = "Stop Services";

// What the list shows of one item.
struct Row {
    std::string display, description, name;
    bool checked = false;
    bool operator==(const Row &o) const {
        return display == o.display && description == o.description && name == o.name && checked == o.checked;
    }
};
std::ostream &operator<<(std::ostream &out, const Row &row) {
    return out << "{" << row.display << " | " << row.description << " | " << row.name << " | " << row.checked << "}";
}

std::string ItemText(HWND list, int item, int column) {
    char text[kMaxServiceText + 16] = "";
    ListView_GetItemText(list, item, column, text, int(sizeof text));
    return text;
}

// The rows of the test's services (their names begin with "TwStop"), in list order; the services
// of Windows itself are left out.
std::vector<Row> TestRows(HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_STOPSRV_LIST);
    std::vector<Row> rows;
    for (int i = 0; i < ListView_GetItemCount(list); ++i) {
        Row row{ItemText(list, i, 0), ItemText(list, i, 1), ItemText(list, i, 2), ListView_GetCheckState(list, i) != 0};
        if (row.name.compare(0, 6, "TwStop") == 0) rows.push_back(row);
    }
    return rows;
}

int ItemOf(HWND dialog, const char *name) {
    HWND list = GetDlgItem(dialog, IDC_STOPSRV_LIST);
    for (int i = 0; i < ListView_GetItemCount(list); ++i)
        if (ItemText(list, i, 2) == name) return i;
    return -1;
}

Names CheckedNames(HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_STOPSRV_LIST);
    Names names;
    for (int i = 0; i < ListView_GetItemCount(list); ++i)
        if (ListView_GetCheckState(list, i)) names.push_back(ItemText(list, i, 2));
    return names;
}

void SetCheck(HWND dialog, const char *name, bool checked) {
    ListView_SetCheckState(GetDlgItem(dialog, IDC_STOPSRV_LIST), ItemOf(dialog, name), checked);
}

void Select(HWND dialog, int item) {
    HWND list = GetDlgItem(dialog, IDC_STOPSRV_LIST);
    ListView_SetItemState(list, -1, 0, LVIS_SELECTED);
    if (item >= 0) ListView_SetItemState(list, item, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

HWND WaitForPopupMenu() {
    for (int i = 0; i < 200; ++i) {
        HWND menu = FindWindowA("#32768", nullptr);
        if (menu && IsWindowVisible(menu)) return menu;
        Sleep(25);
    }
    return nullptr;
}

bool WaitUntilGone(HWND window) {
    for (int i = 0; i < 200 && IsWindow(window) && IsWindowVisible(window); ++i)
        Sleep(25);
    return !IsWindow(window) || !IsWindowVisible(window);
}

// The chosen item reaches the dialog as a posted WM_COMMAND, after the menu has gone. The thread's
// posted messages are handled in order, so once a message posted after it has been handled (a
// column width, which can be read back), so has the command.
void WaitForPosted(HWND dialog) {
    static int mark = 0;
    HWND list = GetDlgItem(dialog, IDC_STOPSRV_LIST);
    int width = 40 + (++mark % 2);
    PostMessageA(list, LVM_SETCOLUMNWIDTH, 2, MAKELPARAM(width, 0));
    for (int i = 0; i < 500 && ListView_GetColumnWidth(list, 2) != width; ++i)
        Sleep(10);
}

// The list's right-click menu as it opens: its items' states, then the item of the mnemonic chosen.
struct MenuSeen {
    bool opened = false;
    UINT toggleState = 0, allOffState = 0;
    UINT defaultItem = 0;
    std::wstring toggleText;
    bool stayedOpen = false;
};
MenuSeen RightClickAndChoose(HWND dialog, wchar_t mnemonic) {
    MenuSeen seen;
    HWND list = GetDlgItem(dialog, IDC_STOPSRV_LIST);
    RECT place;
    GetWindowRect(list, &place);
    PostMessageA(list, WM_CONTEXTMENU, WPARAM(list), MAKELPARAM(place.left + 20, place.top + 40));
    HWND menuWindow = WaitForPopupMenu();
    if (!menuWindow) return seen;
    seen.opened = true;
    HMENU menu = reinterpret_cast<HMENU>(SendMessageA(menuWindow, MN_GETHMENU, 0, 0));
    seen.toggleState = GetMenuState(menu, IDM_SRVSTP_TOGGLE, MF_BYCOMMAND);
    seen.allOffState = GetMenuState(menu, IDM_SRVSTP_ALL_OFF, MF_BYCOMMAND);
    seen.defaultItem = GetMenuDefaultItem(menu, FALSE, 0);
    wchar_t text[64] = L"";
    GetMenuStringW(menu, IDM_SRVSTP_TOGGLE, text, 64, MF_BYCOMMAND);
    seen.toggleText = text;
    // The menu's own loop reads the keys of its thread, as it would from the keyboard.
    PostMessageW(menuWindow, WM_CHAR, mnemonic, 1);
    if (!WaitUntilGone(menuWindow)) {
        // A menu that ignored the key is closed all the same, so the dialog can go on.
        PostMessageW(menuWindow, WM_KEYDOWN, VK_ESCAPE, 1);
        WaitUntilGone(menuWindow);
        seen.stayedOpen = true;
    }
    WaitForPosted(dialog);
    return seen;
}

// A service key with the values given (numbers as REG_DWORD, texts as REG_SZ), removed afterwards.
class StopServicesTest : public PlannerTest {
protected:
    void AddService(const std::string &name, DWORD start, DWORD type, const char *display = nullptr,
                    const char *description = nullptr) {
        std::string path = Path(name);
        guards_.push_back(std::make_unique<KeyGuard>(HKEY_LOCAL_MACHINE, path));
        WriteDword(HKEY_LOCAL_MACHINE, path.c_str(), "Start", start);
        WriteDword(HKEY_LOCAL_MACHINE, path.c_str(), "Type", type);
        if (display) WriteText(HKEY_LOCAL_MACHINE, path.c_str(), "DisplayName", display);
        if (description) WriteText(HKEY_LOCAL_MACHINE, path.c_str(), "Description", description);
    }
    static std::string Path(const std::string &name) { return std::string(kServices) + "\\" + name; }
    // The usual set: one of each kind, and a name that begins with another's.
    void AddUsualServices() {
        AddService("TwStopAuto", 2, 0x10, "Tidewell automatic service", "Starts with Windows.");
        AddService("TwStopAutoPlus", 2, 0x20);
        AddService("TwStopDisabled", 4, 0x10, "Tidewell disabled service");
        AddService("TwStopDriver", 2, 0x1, "Tidewell driver");
        AddService("TwStopManual", 3, 0x10, "Tidewell manual service");
    }
    static void Store(const std::string &text) {
        WriteRaw(HKEY_LOCAL_MACHINE, kSettingsPath, setting::stopsrv.name, REG_SZ,
                 BytesOf(text.c_str(), text.size() + 1));
    }
    static RawValue Stored() { return ReadRaw(HKEY_LOCAL_MACHINE, kSettingsPath, setting::stopsrv.name); }
    static std::string StoredText() {
        RawValue value = Stored();
        return value.exists ? std::string(reinterpret_cast<const char *>(value.data.data())) : "(absent)";
    }

    std::vector<std::unique_ptr<KeyGuard>> guards_;
};

TEST_F(StopServicesTest, ListsAutomaticServicesAndChecksTheStoredWholeNames) {
    AddUsualServices();
    // The prefix's own name is stored in other letter case, with a disabled service and one that
    // is gone: only the longer name is ticked.
    Store("twstopautoplus\aTwStopDisabled\aTwStopGone\a");
    struct {
        std::vector<Row> rows;
        std::string columns[3];
        int widths[3] = {};
        DWORD styles = 0;
        bool icon = false;
        std::string tip;
    } seen;
    DialogDriver driver(kTitle, [&](HWND dialog) {
        seen.rows = TestRows(dialog);
        HWND list = GetDlgItem(dialog, IDC_STOPSRV_LIST);
        for (int i = 0; i < 3; ++i) {
            char text[64] = "";
            LVCOLUMNA column = {};
            column.mask = LVCF_TEXT | LVCF_WIDTH;
            column.pszText = text;
            column.cchTextMax = sizeof text;
            ListView_GetColumn(list, i, &column);
            seen.columns[i] = text;
            seen.widths[i] = column.cx;
        }
        seen.styles = DWORD(ListView_GetExtendedListViewStyle(list));
        seen.icon = SendMessageA(dialog, WM_GETICON, ICON_SMALL, 0) != 0;
        // The info tip of a cut label carries the description after it.
        char tip[INFOTIPSIZE] = "Tidewell automatic service";
        NMLVGETINFOTIPA request = {};
        request.hdr = {list, UINT_PTR(IDC_STOPSRV_LIST), UINT(LVN_GETINFOTIPA)};
        request.pszText = tip;
        request.cchTextMax = sizeof tip;
        request.iItem = ItemOf(dialog, "TwStopAuto");
        SendMessageA(dialog, WM_NOTIFY, IDC_STOPSRV_LIST, LPARAM(&request));
        seen.tip = tip;
        DialogDriver::Command(dialog, IDCANCEL);
    });
    EXPECT_EQ(1, ShowStopServices(nullptr));
    ASSERT_TRUE(driver.Join());

    std::vector<Row> expected = {
        {"Tidewell automatic service", "Starts with Windows.", "TwStopAuto", false},
        {"TwStopAutoPlus", "", "TwStopAutoPlus", true},
    };
    EXPECT_EQ(expected, seen.rows) << "no disabled or manual service, no driver";
    EXPECT_EQ("Item", seen.columns[0]);
    EXPECT_EQ("Information", seen.columns[1]);
    EXPECT_EQ("Service name", seen.columns[2]);
    EXPECT_EQ(ScaleX(200), seen.widths[0]);
    EXPECT_EQ(ScaleX(270), seen.widths[1]);
    EXPECT_EQ(ScaleX(100), seen.widths[2]);
    const DWORD wanted = LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP;
    EXPECT_EQ(wanted, seen.styles & wanted);
    EXPECT_TRUE(seen.icon);
    EXPECT_EQ("Tidewell automatic service\r\nStarts with Windows.", seen.tip);
    EXPECT_EQ("twstopautoplus\aTwStopDisabled\aTwStopGone\a", StoredText()) << "Cancel writes nothing";
    EXPECT_TRUE(BoxTexts().empty());
}

TEST_F(StopServicesTest, MalformedServiceValuesAreLoggedAndNeverBreakTheList) {
    AddService("TwStopAuto", 2, 0x10, "Tidewell automatic service");
    std::string bad = Path("TwStopBadStart"), named = Path("TwStopBadTexts");
    guards_.push_back(std::make_unique<KeyGuard>(HKEY_LOCAL_MACHINE, bad));
    WriteText(HKEY_LOCAL_MACHINE, bad.c_str(), "Start", "2");
    WriteDword(HKEY_LOCAL_MACHINE, bad.c_str(), "Type", 0x10);
    guards_.push_back(std::make_unique<KeyGuard>(HKEY_LOCAL_MACHINE, named));
    WriteDword(HKEY_LOCAL_MACHINE, named.c_str(), "Start", 2);
    WriteRaw(HKEY_LOCAL_MACHINE, named.c_str(), "Type", REG_DWORD, {0x10, 0, 0, 0});
    // A display name without its zero and far too long, a description that is a number.
    std::string longName(70000, 'N');
    WriteRaw(HKEY_LOCAL_MACHINE, named.c_str(), "DisplayName", REG_SZ, BytesOf(longName.data(), longName.size()));
    WriteDword(HKEY_LOCAL_MACHINE, named.c_str(), "Description", 7);
    Store("TwStopBadStart\a");
    std::vector<Row> rows;
    DialogDriver driver(kTitle, [&](HWND dialog) {
        rows = TestRows(dialog);
        DialogDriver::Command(dialog, IDOK);
    });
    EXPECT_EQ(0, ShowStopServices(nullptr));
    ASSERT_TRUE(driver.Join());

    ASSERT_EQ(2u, rows.size());
    EXPECT_EQ("TwStopAuto", rows[0].name);
    EXPECT_EQ(longName.substr(0, kMaxServiceText), rows[1].display);
    EXPECT_EQ("", rows[1].description);
    EXPECT_EQ("TwStopBadTexts", rows[1].name);
    std::string log;
    for (const std::string &text : log_.Texts())
        log += text + "\n";
    EXPECT_NE(std::string::npos, log.find("Service TwStopBadStart: Start has data of a wrong type or size.")) << log;
    EXPECT_NE(std::string::npos, log.find("Service TwStopBadTexts: Description has data of a wrong type or size."))
        << log;
    EXPECT_EQ("TwStopBadStart\a", StoredText()) << "an unlisted name is kept";
}

TEST_F(StopServicesTest, OkWritesTheCheckedInListOrderAndKeepsUnlistedNames) {
    AddUsualServices();
    AddService("TwStopAutoZ", 2, 0x10);
    Store("TwStopAutoZ\aTwStopDisabled\aTwStopAuto\a");
    Names order;
    DialogDriver driver(kTitle, [&](HWND dialog) {
        SetCheck(dialog, "TwStopAuto", false);
        SetCheck(dialog, "TwStopAutoPlus", true);
        for (const Row &row : TestRows(dialog))
            order.push_back(row.name);
        DialogDriver::Command(dialog, IDOK);
    });
    EXPECT_EQ(0, ShowStopServices(nullptr));
    ASSERT_TRUE(driver.Join());

    // Registry keys enumerate in name order, which is the list's order.
    ASSERT_EQ((Names{"TwStopAuto", "TwStopAutoPlus", "TwStopAutoZ"}), order);
    RawValue stored = Stored();
    EXPECT_EQ(DWORD(REG_SZ), stored.type);
    EXPECT_EQ("TwStopAutoPlus\aTwStopAutoZ\aTwStopDisabled\a", StoredText())
        << "checked in list order, then the disabled service the list does not show";
}

TEST_F(StopServicesTest, TheRightClickMenuTogglesTheSelectedItemAndTurnsAllOff) {
    AddUsualServices();
    Store("TwStopAuto\aTwStopAutoPlus\a");
    struct {
        MenuSeen unselected, selected;
        Names afterAllOff, afterToggle, afterGreyed;
    } seen;
    DialogDriver driver(kTitle, [&](HWND dialog) {
        Select(dialog, -1);
        // Without a selection ON/OFF is greyed: its mnemonic does nothing.
        seen.unselected = RightClickAndChoose(dialog, L'o');
        seen.afterGreyed = CheckedNames(dialog);
        RightClickAndChoose(dialog, L'a');
        seen.afterAllOff = CheckedNames(dialog);
        Select(dialog, ItemOf(dialog, "TwStopAutoPlus"));
        seen.selected = RightClickAndChoose(dialog, L'o');
        seen.afterToggle = CheckedNames(dialog);
        DialogDriver::Command(dialog, IDOK);
    });
    EXPECT_EQ(0, ShowStopServices(nullptr));
    ASSERT_TRUE(driver.Join());

    ASSERT_TRUE(seen.unselected.opened && seen.selected.opened);
    EXPECT_TRUE(seen.unselected.toggleState & MF_GRAYED);
    EXPECT_FALSE(seen.unselected.allOffState & MF_GRAYED);
    EXPECT_FALSE(seen.selected.toggleState & MF_GRAYED);
    EXPECT_EQ(UINT(IDM_SRVSTP_TOGGLE), seen.selected.defaultItem) << "the first item is the default";
    EXPECT_EQ(L"&ON/OFF\tSpace", seen.selected.toggleText);
    EXPECT_EQ((Names{"TwStopAuto", "TwStopAutoPlus"}), seen.afterGreyed);
    EXPECT_EQ(Names{}, seen.afterAllOff);
    EXPECT_EQ(Names{"TwStopAutoPlus"}, seen.afterToggle);
    EXPECT_EQ("TwStopAutoPlus\a", StoredText());
}

TEST_F(StopServicesTest, NothingCheckedDeletesStopsrv) {
    AddUsualServices();
    Store("TwStopAuto\a");
    DialogDriver driver(kTitle, [&](HWND dialog) {
        SendMessageA(dialog, WM_COMMAND, IDM_SRVSTP_ALL_OFF, 0);
        DialogDriver::Command(dialog, IDOK);
    });
    EXPECT_EQ(0, ShowStopServices(nullptr));
    ASSERT_TRUE(driver.Join());
    EXPECT_FALSE(Stored().exists);
}

TEST_F(StopServicesTest, AnUnwritableSettingsKeyKeepsTheDialogOpen) {
    AddUsualServices();
    Store("TwStopAuto\a");
    bool openAfterRefusal = false;
    DialogDriver driver(kTitle, [&](HWND dialog) {
        SetCheck(dialog, "TwStopAutoPlus", true);
        EXPECT_TRUE(SetKeyWritable(HKEY_LOCAL_MACHINE, kSettingsPath, false));
        DialogDriver::Click(dialog, IDOK);
        openAfterRefusal = IsWindowVisible(dialog) != FALSE;
        EXPECT_TRUE(SetKeyWritable(HKEY_LOCAL_MACHINE, kSettingsPath, true));
        DialogDriver::Command(dialog, IDOK);
    });
    EXPECT_EQ(0, ShowStopServices(nullptr));
    ASSERT_TRUE(driver.Join());
    EXPECT_TRUE(openAfterRefusal);
    ASSERT_EQ(1u, boxes_.calls().size());
    EXPECT_EQ("Cannot open registry key for services.", boxes_.calls()[0].text);
    EXPECT_EQ(UINT(MB_ICONERROR), boxes_.calls()[0].type & MB_ICONMASK);
    EXPECT_EQ("TwStopAuto\aTwStopAutoPlus\a", StoredText());
}

// The Services key unreadable for everyone, as a security product might make it, until the end of
// the scope; its own security is put back then.
class UnreadableKey {
public:
    explicit UnreadableKey(const char *path) {
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, READ_CONTROL | WRITE_DAC, &key_) != ERROR_SUCCESS) return;
        DWORD size = 0;
        RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, nullptr, &size);
        saved_.resize(size);
        if (size == 0 || RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, saved_.data(), &size) != ERROR_SUCCESS)
            return;
        denied_ = SetKeyDeniedRights(key_, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS);
    }
    ~UnreadableKey() {
        if (denied_) RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, saved_.data());
        if (key_) RegCloseKey(key_);
    }
    bool denied() const { return denied_; }

private:
    HKEY key_ = nullptr;
    std::vector<BYTE> saved_;
    bool denied_ = false;
};

TEST_F(StopServicesTest, AnUnreadableServiceListEndsTheDialogWithOne) {
    Store("TwStopAuto\a");
    {
        UnreadableKey unreadable(kServices);
        ASSERT_TRUE(unreadable.denied());
        DialogDriver unexpected(
            kTitle, [](HWND dialog) { DialogDriver::Command(dialog, IDOK); }, 1000);
        EXPECT_EQ(1, ShowStopServices(nullptr));
        EXPECT_FALSE(unexpected.Join()) << "the dialog never shows";
    }
    ASSERT_EQ(1u, boxes_.calls().size());
    EXPECT_EQ("Cannot browse the service list.", boxes_.calls()[0].text);
    EXPECT_EQ("Stop Services", boxes_.calls()[0].caption);
    EXPECT_EQ(UINT(MB_ICONERROR), boxes_.calls()[0].type & MB_ICONMASK);
    EXPECT_EQ("TwStopAuto\a", StoredText());
    HKEY readable = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, kServices, 0, KEY_READ, &readable)) << "put back";
    RegCloseKey(readable);
}

RECT ItemRect(HWND dialog, int id) {
    RECT rect = {};
    GetWindowRect(GetDlgItem(dialog, id), &rect);
    MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT *>(&rect), 2);
    return rect;
}

TEST_F(StopServicesTest, TheListGrowsWithTheDialogAndTheButtonsKeepToTheCorner) {
    AddUsualServices();
    const int kIds[] = {IDC_STOPSRV_EXPLANATION, IDC_STOPSRV_LIST, IDC_STOPSRV_NOTE, IDOK, IDCANCEL};
    struct {
        RECT before[5], after[5], window, shrunk;
    } seen = {};
    DialogDriver driver(kTitle, [&](HWND dialog) {
        for (int i = 0; i < 5; ++i)
            seen.before[i] = ItemRect(dialog, kIds[i]);
        GetWindowRect(dialog, &seen.window);
        int width = seen.window.right - seen.window.left, height = seen.window.bottom - seen.window.top;
        SetWindowPos(dialog, nullptr, 0, 0, width + 100, height + 100, SWP_NOMOVE | SWP_NOZORDER);
        for (int i = 0; i < 5; ++i)
            seen.after[i] = ItemRect(dialog, kIds[i]);
        SetWindowPos(dialog, nullptr, 0, 0, width / 2, height / 2, SWP_NOMOVE | SWP_NOZORDER);
        GetWindowRect(dialog, &seen.shrunk);
        DialogDriver::Command(dialog, IDCANCEL);
    });
    EXPECT_EQ(1, ShowStopServices(nullptr));
    ASSERT_TRUE(driver.Join());

    struct Move {
        int left, top, right, bottom;
    } moves[] = {
        {0, 0, 100, 0},       // the explanation grows in width
        {0, 0, 100, 100},     // the list in both directions
        {0, 100, 0, 100},     // the note keeps its distance to the bottom
        {100, 100, 100, 100}, // OK and Cancel keep to the bottom-right corner
        {100, 100, 100, 100},
    };
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(kIds[i]);
        EXPECT_EQ(seen.before[i].left + moves[i].left, seen.after[i].left);
        EXPECT_EQ(seen.before[i].top + moves[i].top, seen.after[i].top);
        EXPECT_EQ(seen.before[i].right + moves[i].right, seen.after[i].right);
        EXPECT_EQ(seen.before[i].bottom + moves[i].bottom, seen.after[i].bottom);
    }
    EXPECT_EQ(seen.window.right - seen.window.left, seen.shrunk.right - seen.shrunk.left) << "smaller than opened";
    EXPECT_EQ(seen.window.bottom - seen.window.top, seen.shrunk.bottom - seen.shrunk.top) << "smaller than opened";
}

std::wstring WideText(HWND window) {
    wchar_t text[512] = L"";
    GetWindowTextW(window, text, 512);
    return text;
}

// A resource text as an ANSI dialog shows it: Windows passes it through the process code page,
// which need not be Japanese in the tests.
std::wstring ThroughAnsi(const wchar_t *text) {
    return AnsiToWide(WideToAnsi(text).c_str());
}

TEST_F(StopServicesTest, JapaneseModeShowsTheJapaneseDialogAndMenu) {
    AddUsualServices();
    SetLanguage(Program::Korvane, true);
    struct {
        std::wstring cancel, explanation;
        MenuSeen menu;
        size_t rows = 0;
    } seen;
    const DWORD thread = GetCurrentThreadId();
    std::thread user([&] {
        HWND dialog = nullptr;
        for (int i = 0; i < 400 && !(dialog && IsWindowVisible(dialog)); ++i, Sleep(25))
            dialog = FindWindowW(L"#32770", ThroughAnsi(L"\u30B5\u30FC\u30D3\u30B9\u306E\u505C\u6B62").c_str());
        if (!dialog) {
            // Whatever opened instead is closed, so that the test fails instead of hanging.
            EnumThreadWindows(
                thread, [](HWND window, LPARAM) { return PostMessageA(window, WM_COMMAND, IDCANCEL, 0); }, 0);
            return;
        }
        seen.cancel = WideText(GetDlgItem(dialog, IDCANCEL));
        seen.explanation = WideText(GetDlgItem(dialog, IDC_STOPSRV_EXPLANATION));
        seen.rows = TestRows(dialog).size();
        Select(dialog, ItemOf(dialog, "TwStopAuto"));
        seen.menu = RightClickAndChoose(dialog, L'o');
        PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    });
    INT_PTR result = ShowStopServices(nullptr);
    user.join();
    SetLanguage(Program::Korvane, false);

    EXPECT_EQ(0, result);
    EXPECT_EQ(ThroughAnsi(L"\u30AD\u30E3\u30F3\u30BB\u30EB"), seen.cancel);
    EXPECT_FALSE(seen.explanation.empty());
    EXPECT_EQ(2u, seen.rows);
    ASSERT_TRUE(seen.menu.opened);
    EXPECT_EQ(L"\u30AA\u30F3/\u30AA\u30D5(&O)\tSpace", seen.menu.toggleText);
    EXPECT_EQ("TwStopAuto\a", StoredText()) << "the Japanese menu's ON/OFF ticked it";
}

} // namespace
