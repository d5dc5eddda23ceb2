// REGA against the real (Wine) registry: root names, open flags, every value type, buffer rules,
// and the misuse warnings, recorded through the message box seam.
#include "rega.h"

#include "language.h"
#include "scoped_messages.h"

#include <gtest/gtest.h>
#include <shlwapi.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const char kTestRoot[] = "Software\\TidewellTests";

// A fresh key under HKCU for one test, removed afterwards.
class RegaTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetRegaEnglish(true);
        path_ = std::string(kTestRoot) + "\\" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        SHDeleteKeyA(HKEY_CURRENT_USER, path_.c_str());
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                                 nullptr, &raw_, nullptr));
    }
    void TearDown() override {
        RegCloseKey(raw_);
        SHDeleteKeyA(HKEY_CURRENT_USER, path_.c_str());
    }
    void SetRaw(const char *name, DWORD type, const void *data, DWORD size) {
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(raw_, name, 0, type, static_cast<const BYTE *>(data), size));
    }
    DWORD TypeOf(const char *name) {
        DWORD type = REG_NONE;
        return RegQueryValueExA(raw_, name, nullptr, &type, nullptr, nullptr) == ERROR_SUCCESS ? type : DWORD(-1);
    }
    std::vector<BYTE> DataOf(const char *name) {
        DWORD size = 0;
        RegQueryValueExA(raw_, name, nullptr, nullptr, nullptr, &size);
        std::vector<BYTE> data(size);
        RegQueryValueExA(raw_, name, nullptr, nullptr, data.data(), &size);
        data.resize(size);
        return data;
    }
    void Open(REGA &rega) { ASSERT_TRUE(rega.OpenKey(HKEY_CURRENT_USER, path_.c_str(), 0)); }

    std::string path_;
    HKEY raw_ = nullptr;
    ScopedMessages boxes_;
};

TEST_F(RegaTest, RootNamesAreWholeNamesWithoutCaseAndPrefixesWithCase) {
    struct Case {
        const char *path;
        bool opens;
        HKEY root; // expected handle when the path is a whole root name
    } cases[] = {
        {"hklm", true, HKEY_LOCAL_MACHINE},
        {"HKEY_LOCAL_MACHINE", true, HKEY_LOCAL_MACHINE},
        {"hKeY_UsErS", true, HKEY_USERS},
        {"HKCU", true, HKEY_CURRENT_USER},
        {"HKLM\\Software", true, nullptr},
        {"HKEY_CURRENT_USER\\Software", true, nullptr},
        {"HKEY_USERS\\.DEFAULT", true, nullptr},
        {"hklm\\Software", false, nullptr},
        {"Hkcu\\Software", false, nullptr},
        {"HKU\\Software", false, nullptr},
        {"HKU", false, nullptr},
        {"Software\\Microsoft", false, nullptr},
        {"", false, nullptr},
    };
    for (const Case &c : cases) {
        REGA rega;
        EXPECT_EQ(c.opens, rega.OpenKey(nullptr, c.path, OPEN_READONLY)) << c.path;
        if (c.root) {
            EXPECT_EQ(c.root, rega.Handle()) << c.path;
        }
        if (rega.IsOpen()) rega.CloseKey();
    }
    REGA rega;
    EXPECT_FALSE(rega.OpenKey(nullptr, nullptr, 0));
    EXPECT_TRUE(boxes_.calls().empty());
}

TEST_F(RegaTest, GivenRootTakesThePathUnchanged) {
    REGA rega;
    std::string prefixed = "HKCU\\" + path_;
    EXPECT_FALSE(rega.OpenKey(HKEY_CURRENT_USER, prefixed.c_str(), 0));
    EXPECT_TRUE(rega.OpenKey(HKEY_CURRENT_USER, path_.c_str(), 0));
    rega.CloseKey();
}

TEST_F(RegaTest, OpenFlagsCreateAlwaysWithFullAccess) {
    std::string missing = path_ + "\\Missing";
    REGA rega;
    EXPECT_FALSE(rega.OpenKey(HKEY_CURRENT_USER, missing.c_str(), OPEN_READONLY));
    EXPECT_FALSE(rega.OpenKey(HKEY_CURRENT_USER, missing.c_str(), 0));
    ASSERT_TRUE(rega.OpenKey(HKEY_CURRENT_USER, missing.c_str(), OPEN_CREATE | OPEN_READONLY));
    EXPECT_TRUE(rega.WriteIntegerA("written", 7)) << "a created key is held with full access";
    rega.CloseKey();

    ASSERT_TRUE(rega.OpenKey(HKEY_CURRENT_USER, missing.c_str(), OPEN_READONLY));
    EXPECT_EQ(7, rega.ReadIntegerA("written", 0));
    EXPECT_FALSE(rega.WriteIntegerA("again", 1)) << "read-only open of an existing key";
    rega.CloseKey();
}

TEST_F(RegaTest, ReadIntegerOnEveryValueType) {
    struct Case {
        const char *name;
        DWORD type;
        std::vector<BYTE> data;
        LONG expected;
    } cases[] = {
        {"sz negative", REG_SZ, {'-', '1', '7', 0}, -17},
        {"sz plus digits", REG_SZ, {'+', '4', '2', 0}, 42},
        {"sz lone plus", REG_SZ, {'+', 0}, 0},
        {"sz lone minus", REG_SZ, {'-', 0}, 0},
        {"sz trailing blank", REG_SZ, {'1', '7', ' ', 0}, 99},
        {"sz leading blank", REG_SZ, {' ', '1', 0}, 99},
        {"sz letters", REG_SZ, {'1', '2', 'a', 0}, 99},
        {"sz empty", REG_SZ, {0}, 99},
        {"sz unterminated", REG_SZ, {'3', '1'}, 31},
        {"expand", REG_EXPAND_SZ, {'8', 0}, 8},
        {"multi first string", REG_MULTI_SZ, {'5', 0, '6', 0, 0}, 5},
        {"dword", REG_DWORD, {0x04, 0x03, 0x02, 0x01}, 0x01020304},
        {"dword minus one", REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}, -1},
        {"binary short", REG_BINARY, {0x01, 0x02}, 0x0201},
        {"binary long", REG_BINARY, {1, 0, 0, 0, 9, 9}, 1},
        {"qword low half", REG_QWORD, {0x10, 0, 0, 0, 0x20, 0, 0, 0}, 0x10},
        {"big endian", REG_DWORD_BIG_ENDIAN, {0, 0, 1, 2}, 258},
        {"none", REG_NONE, {1, 0, 0, 0}, 99},
        {"link", REG_LINK, {1, 0, 0, 0}, 99},
        {"resource list", REG_RESOURCE_LIST, {1, 0, 0, 0}, 99},
    };
    for (const Case &c : cases)
        SetRaw(c.name, c.type, c.data.data(), DWORD(c.data.size()));
    REGA rega;
    Open(rega);
    for (const Case &c : cases)
        EXPECT_EQ(c.expected, rega.ReadIntegerA(c.name, 99)) << c.name;
    EXPECT_EQ(-5, rega.ReadIntegerA("missing", -5));
    rega.CloseKey();
}

TEST_F(RegaTest, WriteStringChoosesTheTypeByRule) {
    DWORD dword = 1;
    SetRaw("keep expand", REG_EXPAND_SZ, "%x%", 4);
    SetRaw("keep dword", REG_DWORD, &dword, 4);
    struct Case {
        const char *name;
        const char *text;
        BYTE rule;
        DWORD expected;
    } cases[] = {
        {"auto two percents", "%SystemRoot%\\temp", STRTYPE_AUTO, REG_EXPAND_SZ},
        {"auto one percent", "100%", STRTYPE_AUTO, REG_SZ},
        {"keep expand", "plain", STRTYPE_KEEP, REG_EXPAND_SZ},
        {"keep dword", "plain", STRTYPE_KEEP, REG_SZ},
        {"keep missing", "%a%", STRTYPE_KEEP, REG_SZ},
        {"expand", "plain", STRTYPE_EXPAND, REG_EXPAND_SZ},
        {"plain", "%a%", STRTYPE_PLAIN, REG_SZ},
        {"unknown rule", "%a%", 9, REG_SZ},
    };
    REGA rega;
    Open(rega);
    for (const Case &c : cases) {
        EXPECT_TRUE(rega.WriteStringA(c.name, c.text, c.rule)) << c.name;
        EXPECT_EQ(c.expected, TypeOf(c.name)) << c.name;
        std::vector<BYTE> data = DataOf(c.name);
        EXPECT_EQ(strlen(c.text) + 1, data.size()) << c.name << ": written with its terminating zero";
    }
    rega.CloseKey();
}

TEST_F(RegaTest, ReadStringAlwaysLeavesATerminatedTextThatFits) {
    SetRaw("abc", REG_SZ, "abc", 4);
    SetRaw("unterminated", REG_BINARY, "abcd", 4);
    REGA rega;
    Open(rega);
    char buffer[8];

    memset(buffer, 'x', sizeof buffer);
    EXPECT_TRUE(rega.ReadStringA("abc", buffer, 4)) << "exact fit with its own terminator";
    EXPECT_STREQ("abc", buffer);

    memset(buffer, 'x', sizeof buffer);
    EXPECT_FALSE(rega.ReadStringA("unterminated", buffer, 4)) << "no room left for a terminator";
    EXPECT_STREQ("", buffer);

    memset(buffer, 'x', sizeof buffer);
    EXPECT_TRUE(rega.ReadStringA("unterminated", buffer, 5));
    EXPECT_STREQ("abcd", buffer);

    memset(buffer, 'x', sizeof buffer);
    EXPECT_FALSE(rega.ReadStringA("abc", buffer, 3)) << "larger than the buffer";
    EXPECT_STREQ("", buffer);

    memset(buffer, 'x', sizeof buffer);
    EXPECT_FALSE(rega.ReadStringA("missing", buffer, sizeof buffer));
    EXPECT_STREQ("", buffer);

    EXPECT_FALSE(rega.ReadStringA(nullptr, buffer, sizeof buffer));
    EXPECT_FALSE(rega.ReadStringA("abc", nullptr, 8));
    rega.CloseKey();
    EXPECT_TRUE(boxes_.calls().empty()) << "null arguments are refused without a warning";
}

TEST_F(RegaTest, RegReadStringTerminatesAndFallsBackToTheDefault) {
    SetRaw("text", REG_SZ, "hello", 6);
    SetRaw("unterminated", REG_BINARY, "xyz", 3);
    SetRaw("empty", REG_BINARY, "", 0);
    REGA rega;
    Open(rega);
    EXPECT_STREQ("hello", rega.RegReadStringA("text", "def").get());
    EXPECT_STREQ("xyz", rega.RegReadStringA("unterminated", nullptr).get());
    EXPECT_STREQ("def", rega.RegReadStringA("missing", "def").get());
    EXPECT_STREQ("def", rega.RegReadStringA("empty", "def").get());
    EXPECT_EQ(nullptr, rega.RegReadStringA("missing", nullptr));
    EXPECT_EQ(6, rega.ValueExistA("text"));
    EXPECT_EQ(-1, rega.ValueExistA("missing"));
    rega.CloseKey();
}

TEST_F(RegaTest, BootExecuteBufferRules) {
    REGA rega;
    Open(rega);
    char buffer[16];
    DWORD size;

    SetRaw("BootExecute", REG_SZ, "autocheck", 10);
    size = 10;
    EXPECT_FALSE(rega.RegReadMultiStringDirectA(buffer, &size)) << "a single string needs room for a second zero";
    memset(buffer, 'x', sizeof buffer);
    size = 11;
    ASSERT_TRUE(rega.RegReadMultiStringDirectA(buffer, &size));
    EXPECT_EQ(10u, size);
    EXPECT_STREQ("autocheck", buffer);
    EXPECT_EQ('\0', buffer[10]);

    const char multi[] = "a b\0c\0"; // two strings and the final zero: 7 bytes
    SetRaw("BootExecute", REG_MULTI_SZ, multi, sizeof multi);
    size = sizeof multi;
    ASSERT_TRUE(rega.RegReadMultiStringDirectA(buffer, &size));
    EXPECT_EQ(sizeof multi, size);
    EXPECT_EQ(0, memcmp(multi, buffer, sizeof multi));
    size = sizeof multi - 1;
    EXPECT_FALSE(rega.RegReadMultiStringDirectA(buffer, &size));

    SetRaw("BootExecute", REG_MULTI_SZ, "abcd", 4); // no terminator at all
    size = 4;
    EXPECT_FALSE(rega.RegReadMultiStringDirectA(buffer, &size)) << "would leave an unterminated list";
    size = 6;
    ASSERT_TRUE(rega.RegReadMultiStringDirectA(buffer, &size));
    EXPECT_EQ(0, memcmp("abcd\0\0", buffer, 6));

    DWORD dword = 1;
    SetRaw("BootExecute", REG_DWORD, &dword, 4);
    size = sizeof buffer;
    EXPECT_FALSE(rega.RegReadMultiStringDirectA(buffer, &size));

    EXPECT_TRUE(rega.RegWriteMultiStringDirectA(multi, sizeof multi));
    EXPECT_EQ(DWORD(REG_MULTI_SZ), TypeOf("BootExecute"));
    rega.CloseKey();
}

TEST_F(RegaTest, CopyAndRenameKeepTypeAndOverwrite) {
    const BYTE bytes[] = {1, 2, 3};
    SetRaw("source", REG_BINARY, bytes, 3);
    SetRaw("target", REG_SZ, "old", 4);
    REGA rega;
    Open(rega);
    EXPECT_TRUE(rega.CopyValueA("source", "copy"));
    EXPECT_EQ(DWORD(REG_BINARY), TypeOf("copy"));
    EXPECT_TRUE(rega.RenValueA("source", "target"));
    EXPECT_EQ(DWORD(REG_BINARY), TypeOf("target"));
    EXPECT_EQ(std::vector<BYTE>(bytes, bytes + 3), DataOf("target"));
    EXPECT_EQ(DWORD(-1), TypeOf("source"));
    EXPECT_FALSE(rega.RenValueA("missing", "other"));
    EXPECT_EQ(DWORD(-1), TypeOf("other"));
    EXPECT_TRUE(rega.DeleteValue("copy"));
    EXPECT_FALSE(rega.DeleteValue("copy"));
    rega.CloseKey();
}

TEST_F(RegaTest, EditBoxesRoundTripThroughTheRegistry) {
    HWND parent = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, parent);
    HWND edit = CreateWindowExA(0, "EDIT", "", WS_CHILD, 0, 0, 50, 20, parent, HMENU(100), nullptr, nullptr);
    ASSERT_NE(nullptr, edit);
    SetRaw("unterminated", REG_BINARY, "abc", 3);
    REGA rega;
    Open(rega);
    char text[64];

    SetWindowTextA(edit, "C:\\Temp\\x");
    EXPECT_TRUE(rega.WriteStringFromEditBoxA("path", parent, 100));
    SetWindowTextA(edit, "");
    EXPECT_EQ(1, rega.ReadStringForEditboxA("path", parent, 100));
    GetWindowTextA(edit, text, sizeof text);
    EXPECT_STREQ("C:\\Temp\\x", text);

    EXPECT_EQ(1, rega.ReadStringForEditboxA("unterminated", parent, 100));
    GetWindowTextA(edit, text, sizeof text);
    EXPECT_STREQ("abc", text);

    EXPECT_EQ(0, rega.ReadStringForEditboxA("missing", parent, 100));
    GetWindowTextA(edit, text, sizeof text);
    EXPECT_STREQ("", text) << "a missing value empties the control";

    SetWindowTextA(edit, "300");
    EXPECT_TRUE(rega.WriteIntegerFromEditboxA("number", parent, 100));
    EXPECT_EQ(DWORD(REG_DWORD), TypeOf("number"));
    EXPECT_TRUE(rega.ReadIntegerForEditboxA("missing", parent, 100, 25));
    GetWindowTextA(edit, text, sizeof text);
    EXPECT_STREQ("25", text);
    EXPECT_TRUE(rega.ReadIntegerForEditboxA("number", parent, 100, 25));
    GetWindowTextA(edit, text, sizeof text);
    EXPECT_STREQ("300", text);
    rega.CloseKey();
    DestroyWindow(parent);
}

TEST_F(RegaTest, EveryOperationOnAnUnopenedKeyIsRefusedWithItsWarning) {
    REGA rega;
    char buffer[8] = "x";
    DWORD size = sizeof buffer;
    struct Case {
        const char *text;
        bool refused;
    } cases[] = {
        {"An error has occurred in REGA::CloseKey().", !rega.CloseKey()},
        {"An error has occurred in ValueExistA.", rega.ValueExistA("a") == -1},
        {"An error has occurred in ReadStringA.", !rega.ReadStringA("a", buffer, sizeof buffer) && !*buffer},
        {"An error has occurred in ReadIntegerA.", rega.ReadIntegerA("a", 12) == 12},
        {"An error has occurred in WriteStringA.", !rega.WriteStringA("a", "b", STRTYPE_KEEP)},
        {"An error has occurred in WriteIntegerA.", !rega.WriteIntegerA("a", 1)},
        {"An error has occurred in WriteBinaryA.", !rega.WriteBinaryA("a", "b", 1)},
        {"An error has occurred in REGA::DeleteKey().", !rega.DeleteKey("a")},
        {"An error has occurred in REGA::DeleteValue().", !rega.DeleteValue("a")},
        {"An error has occurred in ReadStringForEditboxA.", rega.ReadStringForEditboxA("a", nullptr, 1) == 0},
        {"An error has occurred in ReadIntegerForEditboxA.", rega.ReadIntegerForEditboxA("a", nullptr, 1, 0) == 0},
        {"An error has occurred in WriteStringFromEditBoxA.", !rega.WriteStringFromEditBoxA("a", nullptr, 1)},
        {"An error has occurred in WriteIntegerFromEditboxA.", !rega.WriteIntegerFromEditboxA("a", nullptr, 1)},
        {"An error has occurred in (new)ReadString.", std::string(rega.RegReadStringA("a", "d").get()) == "d"},
        {"An error has occurred in RegReadMultiStringDirect.", !rega.RegReadMultiStringDirectA(buffer, &size)},
        {"An error has occurred in RegWriteMultiStringDirectA.", !rega.RegWriteMultiStringDirectA("\0", 2)},
        {"An error has occurred in RenValueA.", !rega.RenValueA("a", "b")},
        {"An error has occurred in CopyValueA.", !rega.CopyValueA("a", "b")},
    };
    ASSERT_EQ(std::size(cases), boxes_.calls().size()) << "one warning per misuse";
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_TRUE(cases[i].refused) << cases[i].text;
        EXPECT_EQ(cases[i].text, boxes_.calls()[i].text);
        EXPECT_EQ("Registory Class", boxes_.calls()[i].caption);
        EXPECT_EQ(UINT(MB_ICONWARNING), boxes_.calls()[i].type);
        EXPECT_EQ(nullptr, boxes_.calls()[i].owner);
    }
}

TEST_F(RegaTest, DoubleOpenAndForgottenCloseAreRepairedAndReported) {
    std::string other = path_ + "\\Other";
    {
        REGA rega;
        Open(rega);
        ASSERT_TRUE(rega.OpenKey(HKEY_CURRENT_USER, other.c_str(), OPEN_CREATE));
        ASSERT_EQ(1u, boxes_.calls().size());
        EXPECT_EQ("An error has occurred in REGA::OpenKey().", boxes_.calls()[0].text);
        EXPECT_TRUE(rega.WriteIntegerA("in other", 1)) << "the new key is the one held";

        ASSERT_TRUE(rega.OpenSubKey(nullptr));
        ASSERT_EQ(2u, boxes_.calls().size());
        EXPECT_EQ("An error has occurred in REGA::OpenSubKey().", boxes_.calls()[1].text);
    } // destroyed while open
    ASSERT_EQ(3u, boxes_.calls().size()) << "the destructor warns exactly once";
    EXPECT_EQ("An error has occurred in REGA::~REGA().", boxes_.calls()[2].text);

    HKEY check = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, other.c_str(), 0, KEY_READ, &check));
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(check, "in other", nullptr, nullptr, nullptr, nullptr));
    RegCloseKey(check);
}

TEST_F(RegaTest, JapaneseWarningsNameTheOperation) {
    SetRegaEnglish(false);
    REGA rega;
    rega.CloseKey();
    rega.ReadIntegerA("a", 0);
    rega.RegReadStringA("a", nullptr);
    SetRegaEnglish(true);
    ASSERT_EQ(3u, boxes_.calls().size());
    EXPECT_NE(std::string::npos, boxes_.calls()[0].text.find("REGA::CloseKey"));
    EXPECT_NE(std::string::npos, boxes_.calls()[1].text.find("ReadIntegerA"));
    EXPECT_NE(std::string::npos, boxes_.calls()[2].text.find("(new)RegReadStringA"));
    for (const MessageBoxCall &call : boxes_.calls()) {
        EXPECT_EQ(std::string::npos, call.text.find("An error has occurred")) << call.text;
        EXPECT_EQ("Registory Class", call.caption);
    }
}

TEST_F(RegaTest, ServicesKeyOpensWithoutCreating) {
    REGA rega;
    ASSERT_TRUE(rega.OpenSubKey(nullptr));
    rega.CloseKey();
    EXPECT_FALSE(rega.OpenSubKey("TidewellNoSuchService"));
    HKEY check = nullptr;
    EXPECT_NE(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\TidewellNoSuchService", 0,
                            KEY_READ, &check));
}

class ProfileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char folder[MAX_PATH];
        GetTempPathA(sizeof folder, folder);
        path_ = std::string(folder) + "tidewell-profile-test.ini";
    }
    void TearDown() override { DeleteFileA(path_.c_str()); }
    void Write(const std::string &content) {
        HANDLE file = CreateFileA(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        DWORD written = 0;
        WriteFile(file, content.data(), DWORD(content.size()), &written, nullptr);
        CloseHandle(file);
    }
    std::string path_;
};

TEST_F(ProfileTest, LongTextsComeBackWholeAndMissingEntriesGiveTheDefault) {
    std::string longText(5000, 'q');
    Write("[theme]\r\nname=Blue Sky\r\nlong=" + longText + "\r\n");
    EXPECT_STREQ("Blue Sky", ReadProfileStringA(path_.c_str(), "theme", "name", "none").get());
    EXPECT_EQ(longText, ReadProfileStringA(path_.c_str(), "theme", "long", "").get());
    EXPECT_STREQ("none", ReadProfileStringA(path_.c_str(), "theme", "missing", "none").get());
    EXPECT_STREQ("none", ReadProfileStringA(path_.c_str(), "other", "name", "none").get());
    EXPECT_EQ(nullptr, ReadProfileStringA(path_.c_str(), nullptr, "name", "none"));
    EXPECT_EQ(nullptr, ReadProfileStringA(path_.c_str(), "theme", nullptr, "none"));
    EXPECT_EQ(nullptr, ReadProfileStringA(path_.c_str(), "theme", "name", nullptr));
}

} // namespace
