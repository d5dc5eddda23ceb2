// The file sweep: long names matched against the kinds' patterns, each folder listed once, files in
// pattern order before the subfolders, depth first, reparse points left alone; and its dialog.
#include "korvane.h"
#include "planner/rnsrun.h"

#include "language.h"
#include "log_capture.h"
#include "platform.h"
#include "resource.h"
#include "settings.h"

#include <gtest/gtest.h>
#include <shlwapi.h>

#include <algorithm>
#include <map>

namespace {

TEST(SweepMatch, LongNamesMatchWithoutRegardToCase) {
    struct Case {
        const wchar_t *name;
        const wchar_t *pattern;
        bool matches;
    } cases[] = {
        {L"THUMBS.DB", L"Thumbs.db", true},
        {L"Thumbs.db.old", L"Thumbs.db", false},
        {L"a.b.BAK", L"*.bak", true},
        // Its 8.3 alias REPORT~1.BAK would match; the long name decides.
        {L"report.bakup", L"*.bak", false},
        {L"albumart_{1A-2B}_large.JPG", L"AlbumArt_{*}_Large.jpg", true},
        {L"AlbumArt_{x}_Small.jpg", L"AlbumArt_{*}_Large.jpg", false},
        {L"AlbumArtSmall.jpg", L"AlbumArt_{*}_Small.jpg", false},
        {L"ksnapshot.etl", L"snapshot.etl", false},
        {L"\u8868.gid", L"*.gid", true},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.matches, MatchesPattern(c.name, c.pattern)) << c.name << " / " << c.pattern;
}

// A tree in memory: folder -> its items in the order the file system lists them.
struct FakeTree {
    std::map<std::wstring, std::vector<FolderItem>> folders;
    std::vector<std::wstring> listed, entered, found;
    size_t stopAfterFound = SIZE_MAX;
};

bool ListFake(const std::wstring &folder, std::vector<FolderItem> &items, void *context) {
    auto *tree = static_cast<FakeTree *>(context);
    tree->listed.push_back(folder);
    auto it = tree->folders.find(folder);
    if (it == tree->folders.end()) return false;
    items = it->second;
    return true;
}

void EnterFake(const std::wstring &folder, void *context) {
    static_cast<FakeTree *>(context)->entered.push_back(folder);
}

void FoundFake(const std::wstring &path, void *context) {
    static_cast<FakeTree *>(context)->found.push_back(path);
}

bool StoppedFake(void *context) {
    auto *tree = static_cast<FakeTree *>(context);
    return tree->found.size() >= tree->stopAfterFound;
}

constexpr DWORD kFile = FILE_ATTRIBUTE_ARCHIVE;
constexpr DWORD kFolder = FILE_ATTRIBUTE_DIRECTORY;
constexpr DWORD kJunction = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;

FakeTree ProfileLikeTree() {
    FakeTree tree;
    tree.folders[L"C:\\"] = {{L"b.bak", kFile},  {L"Users", kFolder},      {L"Thumbs.db", kFile}, {L"a.gid", kFile},
                             {L"Data", kFolder}, {L"report.bakup", kFile}, {L"x.bak", kFolder}};
    tree.folders[L"C:\\Users\\"] = {{L"Application Data", kJunction}, {L"me", kFolder}, {L"THUMBS.DB", kFile}};
    tree.folders[L"C:\\Users\\me\\"] = {{L"old.BAK", kFile}};
    tree.folders[L"C:\\Data\\"] = {{L"krundown.etl", kFile}, {L"snapshot.etl", kFile}};
    tree.folders[L"C:\\x.bak\\"] = {{L"in.bak", kFile}};
    // Entering the junction would list the profile again below itself.
    tree.folders[L"C:\\Users\\Application Data\\"] = {{L"trap.bak", kFile}};
    return tree;
}

std::vector<std::wstring> AllPatterns() {
    PlannerOptions options;
    options.sweepThumbs = options.sweepGid = options.sweepAlbumArt = options.sweepBak = options.sweepEtl = true;
    return SweepPatterns(options);
}

TEST(SweepWalk, FilesInPatternOrderThenSubfoldersDepthFirst) {
    FakeTree tree = ProfileLikeTree();
    SweepTree(L"C:\\", AllPatterns(), {ListFake, EnterFake, FoundFake, nullptr, &tree});
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\Thumbs.db", L"C:\\a.gid", L"C:\\b.bak", L"C:\\Users\\THUMBS.DB",
                                         L"C:\\Users\\me\\old.BAK", L"C:\\Data\\snapshot.etl",
                                         L"C:\\Data\\krundown.etl", L"C:\\x.bak\\in.bak"}),
              tree.found);
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\", L"C:\\Users\\", L"C:\\Users\\me\\", L"C:\\Data\\", L"C:\\x.bak\\"}),
              tree.listed)
        << "each folder listed once, the junction never";
    EXPECT_EQ(tree.listed, tree.entered) << "the folder text names each folder before it is searched";
}

TEST(SweepWalk, StopsWhereItWasStopped) {
    FakeTree tree = ProfileLikeTree();
    tree.stopAfterFound = 4;
    SweepTree(L"C:\\", AllPatterns(), {ListFake, nullptr, FoundFake, StoppedFake, &tree});
    EXPECT_EQ(4u, tree.found.size()) << "the folder in hand is finished, no further one is entered";
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\", L"C:\\Users\\"}), tree.listed);
}

TEST(SweepPaths, OnlyPathsTheListCanHoldAreTaken) {
    std::string ansi;
    EXPECT_TRUE(CommandListPath(L"C:\\Data\\old.bak", &ansi));
    EXPECT_EQ("C:\\Data\\old.bak", ansi);
    EXPECT_TRUE(CommandListPath(L"C:\\100%\\a.bak", &ansi)) << "a lone percent sign expands to itself";
    EXPECT_FALSE(CommandListPath(L"C:\\%windir%\\a.bak", &ansi)) << "the entry would name another file";
    EXPECT_FALSE(CommandListPath(L"C:\\\u0E01\\a.bak", &ansi)) << "not in the ANSI code page";
}

// A real folder on the disk of the test prefix.
class SweepDisk : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = L"C:\\tw-sweep\\";
        for (const wchar_t *folder : {L"", L"sub\\", L"sub\\deep\\"})
            CreateDirectoryW((root_ + folder).c_str(), nullptr);
        for (const wchar_t *file : {L"report.bakup", L"keep.txt", L"Thumbs.db", L"sub\\deep\\x.BAK", L"sub\\y.gid"})
            Touch(root_ + file);
    }
    void TearDown() override {
        for (const wchar_t *file : {L"report.bakup", L"keep.txt", L"Thumbs.db", L"sub\\deep\\x.BAK", L"sub\\y.gid"})
            DeleteFileW((root_ + file).c_str());
        for (const wchar_t *folder : {L"sub\\deep\\", L"sub\\", L""})
            RemoveDirectoryW((root_ + folder).c_str());
    }
    static void Touch(const std::wstring &path) {
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file) << "cannot create the test file";
        CloseHandle(file);
    }
    std::wstring root_;
};

TEST_F(SweepDisk, RealFoldersAreMatchedByTheirLongNames) {
    FakeTree seen;
    SweepTree(root_, AllPatterns(), {ListFolder, nullptr, FoundFake, nullptr, &seen});
    EXPECT_EQ((std::vector<std::wstring>{root_ + L"Thumbs.db", root_ + L"sub\\y.gid", root_ + L"sub\\deep\\x.BAK"}),
              seen.found);
}

// The dialog over the real drives: it opens, finds the planted file and closes by itself.
class SweepDialog : public SweepDisk {
protected:
    void SetUp() override {
        SweepDisk::SetUp();
        g_instance = GetModuleHandleA(nullptr);
        SetLanguage(Program::Korvane, false);
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, kSettingsPath);
        AppendCommand(nullptr);
    }
    void TearDown() override {
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, kSettingsPath);
        SweepDisk::TearDown();
    }
    std::vector<std::string> Entries() {
        std::vector<std::string> entries;
        REGA key;
        if (!OpenSettings(key, OPEN_READONLY)) return entries;
        for (int i = 0; i < CommandCount(); ++i)
            entries.push_back(key.RegReadStringA(OrderValueName(i).c_str(), "(absent)").get());
        key.CloseKey();
        return entries;
    }
    LogCapture log_;
};

TEST_F(SweepDialog, FoundFilesBecomeDeleteEntries) {
    PlannerOptions options;
    options.sweepBak = true;
    RunFileSweep(options);
    std::vector<std::string> entries = Entries();
    EXPECT_NE(entries.end(), std::find(entries.begin(), entries.end(), "$Del C:\\tw-sweep\\sub\\deep\\x.BAK"));
    EXPECT_EQ(entries.end(), std::find(entries.begin(), entries.end(), "$Del C:\\tw-sweep\\report.bakup"));
    for (const std::string &entry : entries)
        EXPECT_EQ(0u, entry.rfind("$Del ", 0)) << entry;
}

// Every folder holds a Thumbs.db and a subfolder. The first listing has Skip pressed and waits
// until the dialog took it, so a search that goes on after Skip lists more.
int g_listings = 0;
bool ListOnceSkipped(const std::wstring &, std::vector<FolderItem> &items, void *) {
    if (g_listings++ == 0) {
        HWND dialog = FindWindowA(nullptr, "Serching Files to delete");
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_SWEEP_SKIP, BN_CLICKED), 0);
        for (int i = 0; i < 3000 && IsWindowEnabled(GetDlgItem(dialog, IDC_SWEEP_SKIP)); ++i)
            Sleep(10);
    }
    items.push_back({L"Thumbs.db", FILE_ATTRIBUTE_NORMAL});
    items.push_back({L"sub", FILE_ATTRIBUTE_DIRECTORY});
    return true;
}

TEST_F(SweepDialog, SkipStopsTheSearchAndKeepsWhatWasFound) {
    PlannerOptions options;
    options.sweepThumbs = true;
    g_listings = 0;
    g_sweepLister = ListOnceSkipped;
    RunFileSweep(options);
    g_sweepLister = ListFolder;
    EXPECT_EQ(1, g_listings) << "the search went on after Skip";
    std::vector<std::string> entries = Entries();
    ASSERT_EQ(1u, entries.size()) << "what was found before Skip stays";
    EXPECT_EQ(0u, entries[0].rfind("$Del ", 0)) << entries[0];
}

// Folders three levels deep, five subfolders and fifty matching files each: thousands of files.
bool ManyBakFiles(const std::wstring &folder, std::vector<FolderItem> &items, void *) {
    for (int i = 0; i < 50; ++i)
        items.push_back({L"f" + std::to_wstring(i) + L".bak", FILE_ATTRIBUTE_NORMAL});
    if (std::count(folder.begin(), folder.end(), L'\\') < 4)
        for (int i = 0; i < 5; ++i)
            items.push_back({L"d" + std::to_wstring(i), FILE_ATTRIBUTE_DIRECTORY});
    return true;
}

TEST_F(SweepDialog, AFullListKeepsRoomForTheWorkAndTheEnd) {
    constexpr int kLast = 400;
    g_sweepLister = ManyBakFiles;
    g_lastOrderIndex = kLast;
    PlannerOptions options;
    options.sweepBak = true;
    options.runMethod = 4;
    options.drives = 1u << 2;
    options.endAction = 1;
    unsigned short version = g_windowsVersion;
    g_windowsVersion = 601;
    WriteCommandList(options, false);
    g_windowsVersion = version;
    g_sweepLister = ListFolder;
    g_lastOrderIndex = kLastOrderIndex;

    std::vector<std::string> entries = Entries();
    long swept =
        std::count_if(entries.begin(), entries.end(), [](const std::string &e) { return e.rfind("$Del ", 0) == 0; });
    EXPECT_GT(swept, 0);
    EXPECT_LE(int(entries.size()) + kListMargin, kLast + 1) << "QS reaches every entry, with room to spare";
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(EndEntries(options).back(), entries.back());
    EXPECT_NE(entries.end(), std::find(entries.begin(), entries.end(), "$RECDFRGTIME C:")) << "the work is there";
    std::vector<std::string> texts = log_.Texts();
    std::string full = "The command list is full: the search stopped after " + std::to_string(swept) +
                       " files. The other files are not deleted.";
    EXPECT_NE(texts.end(), std::find(texts.begin(), texts.end(), full));
}

} // namespace
