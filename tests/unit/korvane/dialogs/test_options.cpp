// The Options sheet as a whole and what its pages share: the page an opening command shows, the
// three-state boxes of once flags, and numbers typed into edit fields.
#include "dialogs/options.h"

#include "dialog_driver.h"
#include "key_access.h"
#include "planner_fixture.h"
#include "resource.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>

namespace {

TEST(OptionsSheet, TheFirstPageFollowsTheCommandOrFallsBackToTheDefragmenterPage) {
    const bool all[kOptionsPageCount] = {true, true, true, true, true, true, true};
    const bool noCheckDisk[kOptionsPageCount] = {true, false, true, true, true, true, true};
    const bool noDefrag[kOptionsPageCount] = {false, true, true, false, true, true, true};
    struct Case {
        int command;
        const bool *made;
        int position;
    } cases[] = {
        {1101, all, 6},        {1090, all, 5}, {1078, all, 4},        {1083, all, 2},
        {1085, all, 1},        {1084, all, 0}, {1169, all, 0},        {0, all, 0},
        {1085, noCheckDisk, 0}, // the check-disk page failed: the defragmenter page instead
        {1078, noCheckDisk, 3}, // the pages after a missing one move up
        {1085, noDefrag, 0},    // no defragmenter page either: the first page that was made
        {1101, noDefrag, 4},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.position, FirstShownPage(c.command, c.made)) << "command " << c.command;
}

TEST(OnceFlags, StoredValuesClicksAndTheMenu) {
    struct Stored {
        LONG value;
        OnceState shown;
    } stored[] = {{0, kOnceOff}, {1, kOnceOn}, {2, kOnceUseOnce}, {3, kOnceOn}, {5, kOnceOn}, {-1, kOnceOn}};
    for (const Stored &s : stored)
        EXPECT_EQ(s.shown, OnceStateOf(s.value)) << "a permanent-on value stays on: " << s.value;

    // A click never turns a box to use once; from use once it goes off.
    EXPECT_EQ(kOnceOn, NextOnceState(kOnceOff));
    EXPECT_EQ(kOnceOff, NextOnceState(kOnceOn));
    EXPECT_EQ(kOnceOff, NextOnceState(kOnceUseOnce));

    EXPECT_EQ(IDM_ONCE_CHECK, OnceMenuDefault(kOnceOff));
    EXPECT_EQ(IDM_ONCE_UNCHECK, OnceMenuDefault(kOnceOn));
    EXPECT_EQ(IDM_ONCE_UNCHECK, OnceMenuDefault(kOnceUseOnce));
    for (OnceState state : {kOnceOff, kOnceOn, kOnceUseOnce})
        EXPECT_EQ(int(state), OnceStateOfMenuItem(OnceMenuItem(state)));
    EXPECT_EQ(-1, OnceStateOfMenuItem(IDOK));
}

TEST(NumberFields, BoundedUnsignedNumbersNeverWrap) {
    struct Case {
        const char *text;
        DWORD max;
        NumberText result;
        DWORD value;
    } cases[] = {
        {"", kLargestStoredNumber, NumberText::Ok, 0},
        {"  42\t", kLargestStoredNumber, NumberText::Ok, 42},
        {"2147483647", kLargestStoredNumber, NumberText::Ok, 2147483647},
        {"2147483648", kLargestStoredNumber, NumberText::TooLarge, 0},
        {"4294967296", kLargestStoredNumber, NumberText::TooLarge, 0},
        {"99999999999999999999999999", kLargestStoredNumber, NumberText::TooLarge, 0},
        {"101", 100, NumberText::TooLarge, 0},
        {"-1", kLargestStoredNumber, NumberText::NotNumber, 0},
        {"1a", kLargestStoredNumber, NumberText::NotNumber, 0},
        {"1 2", kLargestStoredNumber, NumberText::NotNumber, 0},
        {"１２", kLargestStoredNumber, NumberText::NotNumber, 0}, // full-width digits are no number
    };
    for (const Case &c : cases) {
        DWORD value = 7;
        EXPECT_EQ(c.result, ParseBoundedNumber(c.text, c.max, &value)) << '"' << c.text << '"';
        EXPECT_EQ(c.result == NumberText::Ok ? c.value : 7u, value) << '"' << c.text << '"';
    }
}

// The sheet itself, opened as the normal mode opens it: its caption, no Apply button, no context
// help in the caption, and the page the command asked for in front.
class SheetTest : public PlannerTest {};

std::string CurrentTabText(HWND sheet) {
    HWND tabs = PropSheet_GetTabControl(sheet);
    char text[64] = "";
    TCITEMA item = {};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    int current = TabCtrl_GetCurSel(tabs);
    SendMessageA(tabs, TCM_GETITEMA, WPARAM(current), reinterpret_cast<LPARAM>(&item));
    return text;
}

TEST_F(SheetTest, EachCommandOpensItsPageAndCancelClosesTheSheet) {
    g_instance = GetModuleHandleA(nullptr);
    struct Case {
        int command;
        const char *tab;
    } cases[] = {{1090, "Auto Logon"}, {1085, "CheckDisk"}, {1169, "Defragment"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.command);
        std::string tab;
        bool applyShown = true, contextHelp = true;
        DialogDriver driver("Options", [&](HWND sheet) {
            tab = CurrentTabText(sheet);
            applyShown = IsWindowVisible(GetDlgItem(sheet, 0x3021)) != FALSE; // the sheet's Apply button
            contextHelp = (GetWindowLongPtrA(sheet, GWL_EXSTYLE) & WS_EX_CONTEXTHELP) != 0;
            DialogDriver::Command(sheet, IDCANCEL);
        });
        EXPECT_TRUE(ShowOptionsSheet(nullptr, c.command));
        ASSERT_TRUE(driver.Join()) << "the sheet never showed";
        EXPECT_EQ(c.tab, tab);
        EXPECT_FALSE(applyShown);
        EXPECT_FALSE(contextHelp);
    }
}

// A settings key that refuses writes: each OK tells it once for all pages and keeps the sheet
// open, so nothing closes as if it had been saved; once the key takes writes again, OK stores.
TEST_F(SheetTest, AFailedWriteIsToldOncePerOkAndKeepsTheSheetOpen) {
    g_instance = GetModuleHandleA(nullptr);
    WriteSettingDword(setting::Del_All_Gid.name, 0);
    size_t boxesAfterFirstOk = 0, boxesAfterSecondOk = 0;
    bool openAfterFailures = false;
    DialogDriver driver("Options", [&](HWND sheet) {
        PropSheet_SetCurSel(sheet, nullptr, 3); // the clean-up page
        CheckDlgButton(PropSheet_GetCurrentPageHwnd(sheet), IDC_CLEAR_GID, BST_CHECKED);
        PropSheet_SetCurSel(sheet, nullptr, 2); // the main page: three pages to write
        EXPECT_TRUE(SetKeyWritable(HKEY_LOCAL_MACHINE, kSettingsPath, false));
        DialogDriver::Click(sheet, IDOK);
        boxesAfterFirstOk = boxes_.calls().size();
        DialogDriver::Click(sheet, IDOK);
        boxesAfterSecondOk = boxes_.calls().size();
        openAfterFailures = IsWindow(sheet) && IsWindowVisible(sheet);
        EXPECT_TRUE(SetKeyWritable(HKEY_LOCAL_MACHINE, kSettingsPath, true));
        DialogDriver::Click(sheet, IDOK);
    });
    EXPECT_TRUE(ShowOptionsSheet(nullptr, 1169));
    ASSERT_TRUE(driver.Join()) << "the sheet never showed";
    EXPECT_EQ(1u, boxesAfterFirstOk);
    EXPECT_EQ(2u, boxesAfterSecondOk);
    EXPECT_TRUE(openAfterFailures);
    ASSERT_FALSE(boxes_.calls().empty());
    EXPECT_NE(std::string::npos, boxes_.calls()[0].text.find("Cannot open registry key."));
    EXPECT_EQ(1, ReadSettingDword(setting::Del_All_Gid.name));
}

} // namespace
