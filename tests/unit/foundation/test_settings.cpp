// The settings key's reading rules: once flags, text values, values stored in other forms, and
// the drive mask and the name lists.
#include "settings.h"

#include <gtest/gtest.h>
#include <shlwapi.h>

namespace {

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { SHDeleteKeyA(HKEY_LOCAL_MACHINE, kSettingsPath); }
    void TearDown() override { SHDeleteKeyA(HKEY_LOCAL_MACHINE, kSettingsPath); }
};

TEST_F(SettingsTest, OnceFlagIsConsumedOnlyWhenItWasForTheNextRun) {
    ASSERT_TRUE(WriteSettingDword(setting::DelTemp.name, 2));
    ASSERT_TRUE(WriteSettingDword(setting::DelWinTemp.name, 1));
    ASSERT_TRUE(WriteSettingDword(setting::Del_All_Bak.name, 7));
    REGA key;
    ASSERT_TRUE(OpenSettings(key, OPEN_CREATE));
    EXPECT_TRUE(ReadOnceFlag(key, setting::DelTemp));
    EXPECT_FALSE(ReadOnceFlag(key, setting::DelTemp)) << "a 2 is deleted when read";
    EXPECT_EQ(-1, key.ValueExistA(setting::DelTemp.name));
    EXPECT_TRUE(ReadOnceFlag(key, setting::DelWinTemp));
    EXPECT_TRUE(ReadOnceFlag(key, setting::DelWinTemp)) << "a 1 stays";
    EXPECT_TRUE(ReadOnceFlag(key, setting::Del_All_Bak));
    EXPECT_EQ(7, key.ReadIntegerA(setting::Del_All_Bak.name, 0));
    EXPECT_FALSE(ReadOnceFlag(key, setting::Del_IHI)) << "missing means off";
    key.CloseKey();
}

TEST_F(SettingsTest, DefaultsAndOtherStoredForms) {
    REGA key;
    ASSERT_TRUE(OpenSettings(key, OPEN_CREATE));
    EXPECT_EQ(2, ReadSetting(key, setting::How));
    EXPECT_EQ(255, ReadSetting(key, setting::alpha));
    EXPECT_EQ(60, ReadSetting(key, setting::ba_aftersleep));
    key.WriteStringA(setting::Double.name, "1", STRTYPE_KEEP);
    EXPECT_EQ(1, ReadSetting(key, setting::Double)) << "a DWORD stored as the string 1";
    EXPECT_EQ("DFRG.MSC", ReadTextSetting(key, setting::MSCPath));
    EXPECT_EQ("", ReadTextSetting(key, setting::df_edit_cust));
    key.WriteStringA(setting::MSCPath.name, "C:\\x.msc", STRTYPE_KEEP);
    EXPECT_EQ("C:\\x.msc", ReadTextSetting(key, setting::MSCPath));
    key.CloseKey();
    EXPECT_EQ(0, ReadSettingDword("missing"));
}

TEST(SettingsNames, IndexAndDriveNames) {
    EXPECT_EQ("order0", OrderValueName(0));
    EXPECT_EQ("order32766", OrderValueName(kLastOrderIndex));
    EXPECT_EQ("DTIMEC", DriveValueName(kDefragTimeStem, "C:"));
    EXPECT_EQ("PTIME", DriveValueName(kPrefetchTimeStem, ""));
}

UINT FakeDriveType(const char *root) {
    switch (root[0]) {
    case 'C':
    case 'E':
        return DRIVE_FIXED;
    case 'D':
        return DRIVE_REMOVABLE;
    default:
        return DRIVE_NO_ROOT_DIR;
    }
}

TEST(SettingsNames, NameListsEndEachNameWithBel) {
    using Names = std::vector<std::string>;
    const struct {
        const char *list;
        Names names;
    } cases[] = {
        {"Spooler\aWSearch\a", {"Spooler", "WSearch"}},
        {"Spooler\aWSearch", {"Spooler", "WSearch"}}, // a last BEL lost on the way
        {"\a\aSpooler\a\a", {"Spooler"}},
        {"", {}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.names, SplitNameList(c.list)) << c.list;
    EXPECT_EQ("Spooler\aWSearch\a", JoinNameList({"Spooler", "WSearch"}));
    EXPECT_EQ("", JoinNameList({}));
}

TEST(SettingsDrives, ZeroMeansEveryFixedDrive) {
    EXPECT_EQ((1u << 2) | (1u << 4), ResolveDriveMask(0, FakeDriveType));
    EXPECT_EQ(1u << 3, ResolveDriveMask(1u << 3, FakeDriveType)) << "a chosen drive is kept whatever its type";
    EXPECT_NE(0u, ResolveDriveMask(0) & (1u << 2)) << "the prefix's C: is a fixed drive";
}

} // namespace
