// The defragmenter, check-disk and clean-up pages: the command-line history (kept in order, read
// within its size), the defragmenter's enabling rules and pass count, and the pages themselves
// driven from a second thread as a user would, with what they store.
#include "dialogs/diskpages.h"
#include "dialogs/options.h"

#include "dialog_driver.h"
#include "drop_files.h"
#include "planner_fixture.h"
#include "resource.h"
#include "system_state.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

Lines Numbered(const char *stem, int count) {
    Lines lines;
    for (int i = 1; i <= count; ++i)
        lines.push_back(stem + std::to_string(i));
    return lines;
}

// ---- The history as a list ----------------------------------------------------------------------

TEST(CommandHistoryList, AddMovesToTheFrontAndKeepsSixteen) {
    Lines sixteen = Numbered("cmd ", 16);
    Lines sixteenMoved = sixteen;
    sixteenMoved.erase(sixteenMoved.end() - 1);
    sixteenMoved.insert(sixteenMoved.begin(), "cmd 16");
    Lines seventeenth = sixteen;
    seventeenth.pop_back();
    seventeenth.insert(seventeenth.begin(), "new");
    const struct {
        const char *what;
        Lines before;
        const char *added;
        bool changed;
        Lines after;
    } cases[] = {
        {"into an empty list", {}, "defrag %s -f", true, {"defrag %s -f"}},
        {"a new one goes first", {"a", "b"}, "c", true, {"c", "a", "b"}},
        {"the third moves to the front", {"a", "b", "c", "d"}, "c", true, {"c", "a", "b", "d"}},
        {"the first again changes nothing", {"a", "b", "c"}, "a", false, {"a", "b", "c"}},
        {"letter case makes another entry", {"defrag"}, "DEFRAG", true, {"DEFRAG", "defrag"}},
        {"a seventeenth drops the oldest", sixteen, "new", true, seventeenth},
        {"the oldest of sixteen moves up, none is lost", sixteen, "cmd 16", true, sixteenMoved},
    };
    for (const auto &c : cases) {
        Lines entries = c.before;
        EXPECT_EQ(c.changed, AddToHistory(entries, c.added)) << c.what;
        EXPECT_EQ(c.after, entries) << c.what;
    }
}

TEST(CommandHistoryList, ParsedWithinItsSize) {
    Lines twenty = Numbered("e", 20);
    std::string twentyBytes;
    for (const std::string &line : twenty)
        twentyBytes += line + '\0';
    const struct {
        const char *what;
        DWORD type;
        std::string bytes;
        HistoryData result;
        Lines entries;
    } cases[] = {
        {"terminated", REG_MULTI_SZ, std::string("a b\0c\0\0", 7), HistoryData::Ok, {"a b", "c"}},
        {"without the closing zero", REG_MULTI_SZ, std::string("a\0c\0", 4), HistoryData::Ok, {"a", "c"}},
        {"the last string unterminated", REG_MULTI_SZ, std::string("a\0cd", 4), HistoryData::Unterminated, {"a"}},
        {"one string, no zero at all", REG_MULTI_SZ, "abc", HistoryData::Unterminated, {}},
        {"no data", REG_MULTI_SZ, "", HistoryData::Ok, {}},
        {"only the closing zero", REG_MULTI_SZ, std::string("\0", 1), HistoryData::Ok, {}},
        {"an empty string ends the list", REG_MULTI_SZ, std::string("a\0\0b\0\0", 6), HistoryData::Ok, {"a"}},
        {"more than sixteen", REG_MULTI_SZ, twentyBytes + '\0', HistoryData::Ok, Numbered("e", 16)},
        {"a plain string", REG_SZ, std::string("a\0", 2), HistoryData::WrongType, {}},
        {"an expandable string", REG_EXPAND_SZ, std::string("a\0", 2), HistoryData::WrongType, {}},
        {"binary", REG_BINARY, std::string("a\0b\0\0", 5), HistoryData::WrongType, {}},
        {"a number", REG_DWORD, std::string("\1\0\0\0", 4), HistoryData::WrongType, {}},
    };
    for (const auto &c : cases) {
        Lines entries = {"left over"};
        EXPECT_EQ(c.result, ParseHistory(c.type, c.bytes.data(), c.bytes.size(), &entries)) << c.what;
        EXPECT_EQ(c.entries, entries) << c.what;
    }

    // The size given is the end, whatever follows in memory.
    const char buffer[] = "abc\0def\0\0";
    Lines entries;
    EXPECT_EQ(HistoryData::Unterminated, ParseHistory(REG_MULTI_SZ, buffer, 5, &entries));
    EXPECT_EQ(Lines{"abc"}, entries);
    EXPECT_EQ(HistoryData::Ok, ParseHistory(REG_MULTI_SZ, nullptr, 10, &entries));
    EXPECT_TRUE(entries.empty());
}

TEST(CommandHistoryList, WrittenAsAListOfStrings) {
    EXPECT_EQ(std::string("a\0bc d\0\0", 8), HistoryBytes({"a", "bc d"}));
    EXPECT_EQ(std::string("\0", 1), HistoryBytes({}));
    Lines back;
    std::string bytes = HistoryBytes(Numbered("x", 16));
    EXPECT_EQ(HistoryData::Ok, ParseHistory(REG_MULTI_SZ, bytes.data(), bytes.size(), &back));
    EXPECT_EQ(Numbered("x", 16), back);
}

// ---- The defragmenter's rules -------------------------------------------------------------------

TEST(DefragRules, EnablingByVersionPassesAndBoxes) {
    const struct {
        unsigned short version;
        bool gui, lastConsole;
        DWORD passes;
        bool guiEnabled, lastEnabled, prefetchEnabled, fullEnabled;
    } cases[] = {
        // Windows XP: the last-round box needs the GUI version and more than one pass.
        {501, true, false, 1, true, false, false, false},
        {501, true, false, 2, true, true, false, false},
        {501, true, true, 2, true, true, true, false},
        {501, true, true, 1, true, false, true, false},
        {501, false, false, 5, true, false, true, false},
        {501, false, true, 5, true, false, true, false},
        {502, true, false, 0, true, false, false, false}, // a field that holds no count
        {500, true, false, 3, true, true, false, false},
        // Vista on: no GUI version, full defragmentation possible.
        {600, false, false, 3, false, false, true, true},
        {1000, true, true, 3, false, true, true, true},
        {599, false, false, 1, true, false, true, false},
    };
    for (const auto &c : cases) {
        DefragEnabling e = DefragEnablingFor({c.version, c.gui, c.lastConsole, c.passes});
        std::string what = std::to_string(c.version) + (c.gui ? " gui" : "") + (c.lastConsole ? " last" : "") + " " +
                           std::to_string(c.passes);
        EXPECT_EQ(c.guiEnabled, e.gui) << what;
        EXPECT_EQ(c.lastEnabled, e.lastConsole) << what;
        EXPECT_EQ(c.prefetchEnabled, e.prefetch) << what;
        EXPECT_EQ(c.fullEnabled, e.full) << what;
    }
    EXPECT_FALSE(DefragRulesFollowChanges(500));
    EXPECT_TRUE(DefragRulesFollowChanges(501));
}

TEST(DefragRules, PassCountMapping) {
    const struct {
        LONG stored;
        DWORD shown;
    } shown[] = {{0, 1}, {1, 2}, {98, 99}, {99, 100}, {100, 100}, {LONG_MAX, 100}, {-1, 1}, {LONG_MIN, 1}};
    for (const auto &c : shown)
        EXPECT_EQ(c.shown, PassesShown(c.stored)) << c.stored;
    const struct {
        DWORD passes;
        LONG stored;
    } stored[] = {{1, 0}, {2, 1}, {100, 99}, {0, 0}};
    for (const auto &c : stored)
        EXPECT_EQ(c.stored, DoubleForPasses(c.passes)) << c.passes;
    const struct {
        const char *text;
        DWORD passes;
    } typed[] = {{"2", 2}, {" 3 ", 3}, {"100", 100}, {"", 0}, {"x", 0}, {"2x", 0}, {"101", 0}, {"4294967298", 0}};
    for (const auto &c : typed)
        EXPECT_EQ(c.passes, PassesOfText(c.text)) << c.text;
}

TEST(DefragRules, LabelsAndTipsByVersion) {
    SetLanguage(Program::Korvane, false);
    auto ids = [](const std::vector<VersionLabel> &labels) {
        std::vector<int> out;
        for (const VersionLabel &label : labels)
            out.push_back(label.id);
        return out;
    };
    auto tip = [](unsigned short version, int id) {
        for (const ToolTipText &t : DefragToolTips(version))
            if (t.id == id) return std::string(t.text);
        return std::string("(none)");
    };
    EXPECT_TRUE(DefragVersionLabels(600).empty());
    EXPECT_EQ((std::vector<int>{IDC_DEFRAG_PREFETCH, IDC_DEFRAG_FULL}), ids(DefragVersionLabels(601)));
    EXPECT_EQ((std::vector<int>{IDC_DEFRAG_PREFETCH, IDC_DEFRAG_FULL}), ids(DefragVersionLabels(1000)));
    EXPECT_EQ("&Boot Optimization [-b switch used]", std::string(DefragVersionLabels(601)[0].text));
    EXPECT_EQ("Invokes boot optimization. Select boot drives only.", tip(601, IDC_DEFRAG_PREFETCH));
    EXPECT_NE(tip(600, IDC_DEFRAG_PREFETCH), tip(601, IDC_DEFRAG_PREFETCH));
    EXPECT_EQ(0, DefragToolTips(501).back().id) << "the table ends with id 0";

    SetLanguage(Program::Korvane, true);
    EXPECT_EQ((std::vector<int>{IDC_DEFRAG_PREFETCH, IDC_DEFRAG_FULL}), ids(DefragVersionLabels(601)));
    EXPECT_EQ((std::vector<int>{IDC_DEFRAG_PREFETCH, IDC_DEFRAG_FULL, IDC_DEFRAG_CONSOLE_GROUP}),
              ids(DefragVersionLabels(602)));
    SetLanguage(Program::Korvane, false);
}

TEST(ClearRules, BoxesWithoutTheirVariables) {
    const struct {
        std::set<std::string> variables;
        std::vector<int> disabled;
    } cases[] = {
        {{"TMP", "TEMP", "windir", "USERPROFILE"}, {}},
        {{"TEMP", "windir", "USERPROFILE"}, {}},
        {{"TMP", "windir", "USERPROFILE"}, {}},
        {{"windir", "USERPROFILE"}, {IDC_CLEAR_TEMP}},
        {{"TMP", "USERPROFILE"}, {IDC_CLEAR_WINTEMP}},
        {{"TMP"}, {IDC_CLEAR_WINTEMP, IDC_CLEAR_OFFICE_RECENT}},
        {{}, {IDC_CLEAR_TEMP, IDC_CLEAR_WINTEMP, IDC_CLEAR_OFFICE_RECENT}},
    };
    for (const auto &c : cases) {
        auto has = [&c](const char *name) { return c.variables.count(name) != 0; };
        EXPECT_EQ(c.disabled, ClearBoxesWithoutEnvironment(has)) << c.variables.size() << " variables";
    }
}

// ---- The pages in the sheet ---------------------------------------------------------------------

class DiskPagesTest : public PlannerTest {
protected:
    void SetUp() override {
        PlannerTest::SetUp();
        g_windowsVersion = 501;
        DeleteRaw(HKEY_CURRENT_USER, kSettingsPath, setting::cbq_defrag_cust);
        DeleteRaw(HKEY_CURRENT_USER, kSettingsPath, setting::cbq_chkdsk_cust);
    }

    static HWND Page(HWND sheet) { return HWND(SendMessageA(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)); }
    static void Press(HWND sheet, int button) { PostMessageA(sheet, PSM_PRESSBUTTON, WPARAM(button), 0); }
    static UINT Box(HWND page, int id) { return IsDlgButtonChecked(page, id); }
    static std::string Text(HWND page, int id) { return DialogDriver::ItemText(page, id); }
    static bool Enabled(HWND page, int id) { return DialogDriver::ItemEnabled(page, id); }
    static Lines ComboItems(HWND page) {
        Lines items;
        HWND combo = GetDlgItem(page, IDC_DISK_COMMAND);
        LRESULT count = SendMessageA(combo, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            char text[1024] = "";
            SendMessageA(combo, CB_GETLBTEXT, WPARAM(i), reinterpret_cast<LPARAM>(text));
            items.push_back(text);
        }
        return items;
    }
    // Opens the sheet with command (on page index when it is not -1), hands the shown page to act,
    // and waits for the sheet to close; act ends it.
    // A sheet that act left open is cancelled after five seconds, and the test fails.
    void RunSheet(int command, const std::function<void(HWND sheet, HWND page)> &act, int index = -1) {
        bool leftOpen = false;
        DialogDriver driver("Options", [&](HWND sheet) {
            if (index >= 0) SendMessageA(sheet, PSM_SETCURSEL, WPARAM(index), 0);
            act(sheet, Page(sheet));
            for (int i = 0; i < 100 && IsWindow(sheet); ++i)
                Sleep(50);
            leftOpen = IsWindow(sheet) != FALSE;
            if (leftOpen) Press(sheet, PSBTN_CANCEL);
        });
        EXPECT_TRUE(ShowOptionsSheet(nullptr, command));
        ASSERT_TRUE(driver.Join()) << "no sheet titled Options";
        EXPECT_FALSE(leftOpen) << "the sheet did not close";
    }
    static bool Exists(const char *name) { return ReadRaw(HKEY_LOCAL_MACHINE, kSettingsPath, name).exists; }
    static std::string StoredText(const char *name) {
        RawValue value = ReadRaw(HKEY_LOCAL_MACHINE, kSettingsPath, name);
        return value.exists ? std::string(reinterpret_cast<const char *>(value.data.data())) : "(absent)";
    }
    static Lines History(const char *name) {
        RawValue value = ReadRaw(HKEY_CURRENT_USER, kSettingsPath, name);
        if (!value.exists) return {"(absent)"};
        if (value.type != REG_MULTI_SZ) return {"(type " + std::to_string(value.type) + ")"};
        Lines entries;
        ParseHistory(value.type, reinterpret_cast<const char *>(value.data.data()), value.data.size(), &entries);
        return entries;
    }
    static void StoreHistory(const char *name, const Lines &entries) {
        std::string bytes = HistoryBytes(entries);
        WriteRaw(HKEY_CURRENT_USER, kSettingsPath, name, REG_MULTI_SZ, BytesOf(bytes.data(), bytes.size()));
    }
    static void Store(const DwordSetting &s, LONG value) { WriteSettingDword(s.name, value); }
    static LONG Stored(const DwordSetting &s) { return ReadSettingDword(s.name); }

    KeyGuard historyKey_{HKEY_CURRENT_USER, kSettingsPath};
    ValueGuard defragHistory_{HKEY_CURRENT_USER, kSettingsPath, setting::cbq_defrag_cust};
    ValueGuard checkHistory_{HKEY_CURRENT_USER, kSettingsPath, setting::cbq_chkdsk_cust};
};

constexpr int kDefragCommand = 1084, kCheckCommand = 1085;
constexpr int kClearIndex = 3;

TEST_F(DiskPagesTest, DefragPageOnXpFollowsThePassCountAndTheGuiBox) {
    Store(setting::Double, 0);
    Store(setting::xp_mmcdefrag, 1);
    Store(setting::vista_w, 1);
    struct {
        std::string passes;
        bool lastAtOne = true, lastAtTwo = false, prefetchWithoutLast = true, prefetchWithLast = false;
        bool full = true, prefetchWithoutGui = false;
    } seen;
    RunSheet(kDefragCommand, [&](HWND sheet, HWND page) {
        seen.passes = Text(page, IDC_DEFRAG_PASSES);
        seen.lastAtOne = Enabled(page, IDC_DEFRAG_LAST_CONSOLE);
        seen.prefetchWithoutLast = Enabled(page, IDC_DEFRAG_PREFETCH);
        seen.full = Enabled(page, IDC_DEFRAG_FULL);
        SetDlgItemTextA(page, IDC_DEFRAG_PASSES, "2");
        seen.lastAtTwo = Enabled(page, IDC_DEFRAG_LAST_CONSOLE);
        DialogDriver::Click(page, IDC_DEFRAG_LAST_CONSOLE);
        seen.prefetchWithLast = Enabled(page, IDC_DEFRAG_PREFETCH);
        DialogDriver::Click(page, IDC_DEFRAG_GUI); // off: every earlier round is a console one anyway
        seen.prefetchWithoutGui = Enabled(page, IDC_DEFRAG_PREFETCH) && !Enabled(page, IDC_DEFRAG_LAST_CONSOLE);
        Press(sheet, PSBTN_OK);
    });
    EXPECT_EQ("1", seen.passes);
    EXPECT_FALSE(seen.lastAtOne);
    EXPECT_FALSE(seen.prefetchWithoutLast);
    EXPECT_FALSE(seen.full) << "full defragmentation is a Vista switch";
    EXPECT_TRUE(seen.lastAtTwo);
    EXPECT_TRUE(seen.prefetchWithLast);
    EXPECT_TRUE(seen.prefetchWithoutGui);
    EXPECT_EQ(1, Stored(setting::Double));
    EXPECT_EQ(0, Stored(setting::xp_mmcdefrag));
    EXPECT_EQ(1, Stored(setting::xp_finalmmc));
    EXPECT_EQ(0, Stored(setting::vista_w)) << "not read before Vista";
    EXPECT_TRUE(boxes_.calls().empty());
}

TEST_F(DiskPagesTest, FromVistaTheGuiVersionIsOffAndTheLabelsFollowTheVersion) {
    Store(setting::xp_mmcdefrag, 1);
    Store(setting::xp_finalmmc, 1);
    Store(setting::vista_w, 2);
    Store(setting::Double, 4);
    g_windowsVersion = 601;
    struct {
        UINT gui = 9, full = 9;
        bool guiEnabled = true, lastEnabled = true, fullEnabled = false;
        std::string prefetchLabel, fullLabel, passes;
    } seen;
    RunSheet(kDefragCommand, [&](HWND sheet, HWND page) {
        seen.gui = Box(page, IDC_DEFRAG_GUI);
        seen.full = Box(page, IDC_DEFRAG_FULL);
        seen.guiEnabled = Enabled(page, IDC_DEFRAG_GUI);
        seen.lastEnabled = Enabled(page, IDC_DEFRAG_LAST_CONSOLE);
        seen.fullEnabled = Enabled(page, IDC_DEFRAG_FULL);
        seen.prefetchLabel = Text(page, IDC_DEFRAG_PREFETCH);
        seen.fullLabel = Text(page, IDC_DEFRAG_FULL);
        seen.passes = Text(page, IDC_DEFRAG_PASSES);
        Press(sheet, PSBTN_OK);
    });
    EXPECT_EQ(UINT(BST_UNCHECKED), seen.gui);
    EXPECT_EQ(UINT(BST_INDETERMINATE), seen.full);
    EXPECT_FALSE(seen.guiEnabled);
    EXPECT_FALSE(seen.lastEnabled);
    EXPECT_TRUE(seen.fullEnabled);
    EXPECT_EQ("&Boot Optimization [-b switch used]", seen.prefetchLabel);
    EXPECT_EQ("Free Space Consolidation(&W) [-x switch used]", seen.fullLabel);
    EXPECT_EQ("5", seen.passes);
    EXPECT_EQ(0, Stored(setting::xp_mmcdefrag)) << "the GUI option is always stored as 0 from Vista on";
    EXPECT_EQ(2, Stored(setting::vista_w));
    EXPECT_EQ(4, Stored(setting::Double));
}

TEST_F(DiskPagesTest, APassCountOutsideOneToHundredOrNoNumberKeepsTheSheetOpen) {
    Store(setting::Double, 6);
    for (const char *typed : {"0", "101", "abc", "4294967297", ""}) {
        SCOPED_TRACE(typed);
        Restart();
        ScopedMessages boxes;
        bool stayedOpen = false;
        RunSheet(kDefragCommand, [&](HWND sheet, HWND page) {
            SetDlgItemTextA(page, IDC_DEFRAG_PASSES, typed);
            Press(sheet, PSBTN_OK);
            for (int i = 0; i < 100 && boxes.calls().empty(); ++i)
                Sleep(50);
            Sleep(200);
            stayedOpen = IsWindow(sheet) && IsWindowVisible(sheet);
            SetDlgItemTextA(page, IDC_DEFRAG_PASSES, "100");
            Press(sheet, PSBTN_OK);
        });
        EXPECT_TRUE(stayedOpen);
        ASSERT_EQ(1u, boxes.calls().size());
        EXPECT_EQ("Please enter a number from 1 to 100.", boxes.calls()[0].text);
        EXPECT_EQ(99, Stored(setting::Double));
    }
}

TEST_F(DiskPagesTest, WithoutASettingsKeyThePagesShowTheDefaults) {
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, kSettingsPath);
    std::string passes;
    RunSheet(kDefragCommand, [&](HWND sheet, HWND page) {
        passes = Text(page, IDC_DEFRAG_PASSES);
        Press(sheet, PSBTN_OK);
    });
    EXPECT_EQ("1", passes) << "one pass, as the planner runs without a Double";
    EXPECT_TRUE(boxes_.calls().empty()) << "an OK without a change is never refused";
    EXPECT_EQ(0, Stored(setting::Double));
}

TEST_F(DiskPagesTest, OnceFlagsShowTheirStateAndHiddenValuesAreKept) {
    Store(setting::CluScan, 2);
    Store(setting::sd_check_before, 5);
    Store(setting::sd_check_multi, 1);
    Store(setting::Scanlog, 3);
    Store(setting::aux_dsd, 7);
    struct {
        UINT surface = 9, before = 9, multi = 9;
        std::string title, tab;
        bool noteEnabled = true, scanlogShown = true;
    } seen;
    LONG scanlogWhileOpen = -1;
    RunSheet(kCheckCommand, [&](HWND sheet, HWND page) {
        seen.surface = Box(page, IDC_CHECK_SURFACE);
        seen.before = Box(page, IDC_CHECK_BEFORE);
        seen.multi = Box(page, IDC_DISK_MULTI);
        seen.title = DialogDriver::Text(page);
        seen.noteEnabled = Enabled(page, IDC_CHECK_SCANDISK_NOTE);
        seen.scanlogShown = DialogDriver::ItemShown(page, IDC_CHECK_SCANLOG);
        HWND tabs = HWND(SendMessageA(sheet, PSM_GETTABCONTROL, 0, 0));
        char tab[64] = "";
        TCITEMA item = {};
        item.mask = TCIF_TEXT;
        item.pszText = tab;
        item.cchTextMax = sizeof tab;
        SendMessageA(tabs, TCM_GETITEMA, WPARAM(TabCtrl_GetCurSel(tabs)), reinterpret_cast<LPARAM>(&item));
        seen.tab = tab;
        scanlogWhileOpen = Stored(setting::Scanlog);
        DialogDriver::Click(page, IDC_CHECK_SURFACE); // use once goes to off, never to on
        Press(sheet, PSBTN_CANCEL);
    });
    EXPECT_EQ(UINT(BST_INDETERMINATE), seen.surface);
    EXPECT_EQ(UINT(BST_CHECKED), seen.before) << "a permanent-on 5 shows as on, not as use once";
    EXPECT_EQ(UINT(BST_CHECKED), seen.multi);
    EXPECT_EQ("Check disk Setting", seen.title);
    EXPECT_EQ("CheckDisk", seen.tab);
    EXPECT_FALSE(seen.noteEnabled) << "the Scandisk advice is for Japanese users";
    EXPECT_FALSE(seen.scanlogShown);
    EXPECT_EQ(0, scanlogWhileOpen) << "Scanlog is stored as 0 when the page opens";
    EXPECT_EQ(0, Stored(setting::Scanlog)) << "even when the sheet is cancelled";
    EXPECT_EQ(2, Stored(setting::CluScan)) << "Cancel writes nothing";

    RunSheet(kCheckCommand, [&](HWND sheet, HWND page) {
        DialogDriver::Click(page, IDC_CHECK_SURFACE);
        Press(sheet, PSBTN_OK);
    });
    EXPECT_EQ(0, Stored(setting::CluScan));
    EXPECT_EQ(1, Stored(setting::sd_check_before)) << "still on for every run";
    EXPECT_EQ(7, Stored(setting::aux_dsd)) << "the hidden value is written back as it was read";

    // A hidden value that was never stored stays absent.
    DeleteRaw(HKEY_LOCAL_MACHINE, kSettingsPath, setting::aux_dsd.name);
    RunSheet(kCheckCommand, [&](HWND sheet, HWND) { Press(sheet, PSBTN_OK); });
    EXPECT_FALSE(Exists(setting::aux_dsd.name));
}

TEST_F(DiskPagesTest, OkAddsTheCommandLineToTheHistoryNewestFirst) {
    StoreHistory(setting::cbq_defrag_cust, Numbered("defrag ", 16));
    Store(setting::df_check_cust, 1);
    Lines shown;
    std::string field;
    RunSheet(kDefragCommand, [&](HWND sheet, HWND page) {
        shown = ComboItems(page);
        field = Text(page, IDC_DISK_COMMAND);
        SetDlgItemTextA(page, IDC_DISK_COMMAND, "mydefrag %s");
        Press(sheet, PSBTN_OK);
    });
    EXPECT_EQ(Numbered("defrag ", 16), shown);
    EXPECT_EQ("", field) << "df_edit_cust was not stored";
    Lines expected = Numbered("defrag ", 15);
    expected.insert(expected.begin(), "mydefrag %s");
    EXPECT_EQ(expected, History(setting::cbq_defrag_cust));
    EXPECT_EQ("mydefrag %s", StoredText(setting::df_edit_cust.name));

    // An entry further down moves to the front; the list keeps its size.
    RunSheet(kDefragCommand, [&](HWND sheet, HWND page) {
        field = Text(page, IDC_DISK_COMMAND);
        SetDlgItemTextA(page, IDC_DISK_COMMAND, "defrag 3");
        Press(sheet, PSBTN_OK);
    });
    EXPECT_EQ("mydefrag %s", field);
    Lines moved = expected;
    moved.erase(moved.begin() + 3);
    moved.insert(moved.begin(), "defrag 3");
    EXPECT_EQ(moved, History(setting::cbq_defrag_cust));
}

TEST_F(DiskPagesTest, TheFirstEntryAgainWritesNothing) {
    // Seventeen stored entries: a rewrite would keep sixteen.
    StoreHistory(setting::cbq_chkdsk_cust, Numbered("chk ", 17));
    Lines shown;
    RunSheet(kCheckCommand, [&](HWND sheet, HWND page) {
        shown = ComboItems(page);
        SetDlgItemTextA(page, IDC_DISK_COMMAND, "chk 1");
        Press(sheet, PSBTN_OK);
    });
    EXPECT_EQ(Numbered("chk ", 16), shown);
    RawValue stored = ReadRaw(HKEY_CURRENT_USER, kSettingsPath, setting::cbq_chkdsk_cust);
    Lines entries;
    ParseHistory(stored.type, reinterpret_cast<const char *>(stored.data.data()), stored.data.size(), &entries, 100);
    EXPECT_EQ(Numbered("chk ", 17), entries);

    // An empty field adds nothing.
    RunSheet(kCheckCommand, [&](HWND sheet, HWND page) {
        SetDlgItemTextA(page, IDC_DISK_COMMAND, "");
        Press(sheet, PSBTN_OK);
    });
    EXPECT_EQ(17u, [&] {
        RawValue again = ReadRaw(HKEY_CURRENT_USER, kSettingsPath, setting::cbq_chkdsk_cust);
        Lines all;
        ParseHistory(again.type, reinterpret_cast<const char *>(again.data.data()), again.data.size(), &all, 100);
        return all.size();
    }());
}

TEST_F(DiskPagesTest, AHistoryOfAnotherTypeOrTooLargeIsNotTakenAndIsReplacedOnOk) {
    const struct {
        const char *what;
        DWORD type;
        std::string bytes;
        const char *logged;
    } cases[] = {
        {"a plain string", REG_SZ, std::string("chkdsk %s /f\0", 13), "REG_MULTI_SZ"},
        {"binary", REG_BINARY, std::string("abc\0\0", 5), "REG_MULTI_SZ"},
        {"huge", REG_MULTI_SZ, std::string(kHistoryValueLimit + 2, 'x'), "too large"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Restart();
        WriteRaw(HKEY_CURRENT_USER, kSettingsPath, setting::cbq_chkdsk_cust, c.type, BytesOf(c.bytes.data(), c.bytes.size()));
        Lines shown = {"(not seen)"};
        RunSheet(kCheckCommand, [&](HWND sheet, HWND page) {
            shown = ComboItems(page);
            SetDlgItemTextA(page, IDC_DISK_COMMAND, "chkdsk %s /x");
            Press(sheet, PSBTN_OK);
        });
        EXPECT_TRUE(shown.empty());
        EXPECT_EQ(Lines{"chkdsk %s /x"}, History(setting::cbq_chkdsk_cust));
        bool logged = false;
        for (const std::string &text : log_.Texts())
            logged = logged || text.find(c.logged) != std::string::npos;
        EXPECT_TRUE(logged) << "a log line saying " << c.logged;
    }
}

TEST_F(DiskPagesTest, AHistoryWithoutItsClosingZerosIsNotOverRead) {
    // Stored as "first", zero, "second" with no zero after it.
    WriteRaw(HKEY_CURRENT_USER, kSettingsPath, setting::cbq_defrag_cust, REG_MULTI_SZ,
             BytesOf("first\0second", 12));
    Lines shown;
    RunSheet(kDefragCommand, [&](HWND sheet, HWND page) {
        shown = ComboItems(page);
        Press(sheet, PSBTN_CANCEL);
    });
    // Windows may hand the last string over with a zero it added; never with anything beyond.
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ("first", shown[0]);
    EXPECT_LE(shown.size(), 2u);
    if (shown.size() == 2) {
        EXPECT_EQ("second", shown[1]);
    }
}

TEST_F(DiskPagesTest, AStoredExpandableCommandKeepsItsType) {
    WriteRaw(HKEY_LOCAL_MACHINE, kSettingsPath, setting::sd_edit_cust.name, REG_EXPAND_SZ,
             BytesOf("%windir%\\chk.exe %s", 20));
    std::string field;
    RunSheet(kCheckCommand, [&](HWND sheet, HWND page) {
        field = Text(page, IDC_DISK_COMMAND);
        SetDlgItemTextA(page, IDC_DISK_COMMAND, "%windir%\\chk.exe %s /f");
        Press(sheet, PSBTN_OK);
    });
    EXPECT_EQ("%windir%\\chk.exe %s", field) << "shown as stored, not expanded";
    RawValue stored = ReadRaw(HKEY_LOCAL_MACHINE, kSettingsPath, setting::sd_edit_cust.name);
    EXPECT_EQ(DWORD(REG_EXPAND_SZ), stored.type);
    EXPECT_EQ("%windir%\\chk.exe %s /f", std::string(reinterpret_cast<const char *>(stored.data.data())));
}

TEST_F(DiskPagesTest, DroppedFilesFollowABlankAndLongPathsAreSkipped) {
    std::string field;
    RunSheet(kCheckCommand, [&](HWND sheet, HWND page) {
        SetDlgItemTextA(page, IDC_DISK_COMMAND, "chk.exe");
        SendMessageA(page, WM_DROPFILES,
                     reinterpret_cast<WPARAM>(MakeDrop({"C:\\My Tools\\scan.exe", std::string(530, 'a'), "D:\\x.bat"})),
                     0);
        field = Text(page, IDC_DISK_COMMAND);
        Press(sheet, PSBTN_CANCEL);
    });
    EXPECT_EQ("chk.exe \"C:\\My Tools\\scan.exe\" D:\\x.bat", field);

    RunSheet(kDefragCommand, [&](HWND sheet, HWND page) {
        SetDlgItemTextA(page, IDC_DISK_COMMAND, "");
        SendMessageA(page, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop({"C:\\d.exe"})), 0);
        field = Text(page, IDC_DISK_COMMAND);
        Press(sheet, PSBTN_CANCEL);
    });
    EXPECT_EQ("C:\\d.exe", field) << "no blank before the first";
}

// ---- The clean-up page --------------------------------------------------------------------------

class ClearPageTest : public DiskPagesTest {
protected:
    static constexpr const char *kOfficeKey = "SOFTWARE\\Microsoft\\Office\\11.0";
    void ClickBak(int answer, UINT *state) {
        if (answer) boxes_.Answer(answer);
        RunSheet(
            kDefragCommand,
            [&](HWND sheet, HWND page) {
                DialogDriver::Click(page, IDC_CLEAR_BAK);
                *state = Box(page, IDC_CLEAR_BAK);
                Press(sheet, PSBTN_OK);
            },
            kClearIndex);
    }
    KeyGuard office_{HKEY_LOCAL_MACHINE, kOfficeKey};
};

TEST_F(ClearPageTest, BakAsksWhenOffice2003IsInstalled) {
    UINT state = 9;
    ClickBak(0, &state);
    EXPECT_EQ(UINT(BST_CHECKED), state);
    EXPECT_TRUE(boxes_.calls().empty()) << "no Office, no question";
    EXPECT_EQ(1, Stored(setting::Del_All_Bak));

    // Clicked again it goes off, and off asks nothing.
    ClickBak(0, &state);
    EXPECT_EQ(UINT(BST_UNCHECKED), state);
    EXPECT_EQ(0, Stored(setting::Del_All_Bak));

    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kOfficeKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                             &key, nullptr));
    RegCloseKey(key);
    ClickBak(IDNO, &state);
    EXPECT_EQ(UINT(BST_UNCHECKED), state);
    ASSERT_EQ(1u, boxes_.calls().size());
    EXPECT_EQ("Office 2003 installed. *.bak might be important file. Are you sure you want to delete *.bak?",
              boxes_.calls()[0].text);
    EXPECT_EQ(UINT(MB_YESNO | MB_ICONQUESTION), boxes_.calls()[0].type);
    EXPECT_EQ(0, Stored(setting::Del_All_Bak));

    ClickBak(IDYES, &state);
    EXPECT_EQ(UINT(BST_CHECKED), state);
    EXPECT_EQ(1, Stored(setting::Del_All_Bak));
}

TEST_F(ClearPageTest, ABoxWithoutItsVariableIsDisabledButKeepsItsValue) {
    char profile[MAX_PATH] = "";
    ASSERT_GT(GetEnvironmentVariableA("USERPROFILE", profile, sizeof profile), 0u);
    Store(setting::Del_Recent_Office, 2);
    Store(setting::Del_All_Etl, 3);
    SetEnvironmentVariableA("USERPROFILE", nullptr);
    bool officeEnabled = true, tempEnabled = false;
    UINT office = 9, etl = 9;
    RunSheet(
        kDefragCommand,
        [&](HWND sheet, HWND page) {
            officeEnabled = Enabled(page, IDC_CLEAR_OFFICE_RECENT);
            tempEnabled = Enabled(page, IDC_CLEAR_TEMP);
            office = Box(page, IDC_CLEAR_OFFICE_RECENT);
            etl = Box(page, IDC_CLEAR_ETL);
            DialogDriver::Click(page, IDC_CLEAR_TRASH);
            Press(sheet, PSBTN_OK);
        },
        kClearIndex);
    SetEnvironmentVariableA("USERPROFILE", profile);
    EXPECT_FALSE(officeEnabled);
    EXPECT_TRUE(tempEnabled);
    EXPECT_EQ(UINT(BST_INDETERMINATE), office);
    EXPECT_EQ(UINT(BST_CHECKED), etl);
    EXPECT_EQ(2, Stored(setting::Del_Recent_Office)) << "a disabled box is written as it shows";
    EXPECT_EQ(1, Stored(setting::Del_All_Etl)) << "a permanent-on 3 is written back as on";
    EXPECT_EQ(1, Stored(setting::DelTrash));
}

} // namespace
