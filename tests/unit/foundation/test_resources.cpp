// The resources of the built programs (they lie beside this test): every Japanese dialog and menu
// has an English twin with the same controls or items, in the right resource languages, and every
// program carries its icon and its manifest.
#include "dialog_template.h"
#include "menu_template.h"

#include "korvane/resource.h"
#include "qs/resource.h"
#include "korvtask/resource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

struct DialogPair {
    int japanese;
    int english;
};

struct MenuPair {
    int japanese;
    int english;
    std::vector<int> japaneseOnly; // commands the English menu leaves out
};

struct ProgramResources {
    const char *file;
    std::vector<DialogPair> pairs;
    std::vector<int> singles; // one template serving both languages
    std::vector<MenuPair> menus;
    int icon; // the program icon's group id
};

const ProgramResources kPrograms[] = {
    {"KORVANE.EXE", {KORVANE_DIALOG_PAIRS}, {IDD_TEXTBOX}, {KORVANE_MENU_PAIRS}, IDI_KORVANE},
    {"QS.EXE", {QS_DIALOG_PAIRS}, {}, {}, IDI_QS},
    {"KORVTASK.EXE", {KORVTASK_DIALOG_PAIRS}, {}, {KORVTASK_MENU_PAIRS}, IDI_KORVTASK},
};

class ResourceModule {
public:
    explicit ResourceModule(const char *file) : module_(LoadLibraryExA(file, nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
    ~ResourceModule() {
        if (module_) FreeLibrary(module_);
    }
    HMODULE get() const { return module_; }

    // Resource id of the type -> languages it exists in.
    std::map<int, std::set<WORD>> Languages(LPCSTR type) const {
        std::map<int, std::set<WORD>> found;
        EnumResourceNamesA(module_, type, CollectName, reinterpret_cast<LONG_PTR>(&found));
        for (auto &entry : found)
            EnumResourceLanguagesA(module_, type, MAKEINTRESOURCEA(entry.first), CollectLanguage,
                                   reinterpret_cast<LONG_PTR>(&entry.second));
        return found;
    }
    std::string Data(LPCSTR type, int id, WORD language) const {
        HRSRC found = FindResourceExA(module_, type, MAKEINTRESOURCEA(id), language);
        if (!found) return std::string();
        HGLOBAL loaded = LoadResource(module_, found);
        const char *data = static_cast<const char *>(LockResource(loaded));
        return data ? std::string(data, SizeofResource(module_, found)) : std::string();
    }

private:
    static BOOL CALLBACK CollectName(HMODULE, LPCSTR, LPSTR name, LONG_PTR param) {
        if (IS_INTRESOURCE(name)) (*reinterpret_cast<std::map<int, std::set<WORD>> *>(param))[int(LOWORD(name))];
        return TRUE;
    }
    static BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR param) {
        reinterpret_cast<std::set<WORD> *>(param)->insert(language);
        return TRUE;
    }
    HMODULE module_;
};

// Controls with an id of their own; static texts without one may differ between the languages.
std::vector<int> NamedControls(const std::string &data) {
    std::vector<int> named;
    for (int id : DialogControlIds(data))
        if (id != -1 && id != 0xFFFF) named.push_back(id);
    return named;
}

const WORD kJapanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);
const WORD kNeutral = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);

using LanguagesById = std::map<int, std::set<WORD>>;

// The Japanese resource of a pair exists in Japanese only, the English one in the neutral language
// only; both go into the ids expected.
void ExpectPair(const LanguagesById &found, int japanese, int english, std::set<int> *expected) {
    auto languages = [&found](int id) { return found.count(id) ? found.at(id) : std::set<WORD>(); };
    EXPECT_EQ(std::set<WORD>{kJapanese}, languages(japanese)) << japanese << " is Japanese";
    EXPECT_EQ(std::set<WORD>{kNeutral}, languages(english)) << english << " is English";
    expected->insert(japanese);
    expected->insert(english);
}

std::set<int> Ids(const LanguagesById &found) {
    std::set<int> ids;
    for (const auto &entry : found)
        ids.insert(entry.first);
    return ids;
}

TEST(Resources, EveryDialogPairHoldsTheSameControls) {
    for (const ProgramResources &program : kPrograms) {
        SCOPED_TRACE(program.file);
        ResourceModule module(program.file);
        ASSERT_NE(nullptr, module.get()) << "the built program must lie beside the test";
        LanguagesById dialogs = module.Languages(RT_DIALOG);
        std::set<int> expected(program.singles.begin(), program.singles.end());
        for (const DialogPair &pair : program.pairs) {
            ExpectPair(dialogs, pair.japanese, pair.english, &expected);
            std::vector<int> japanese = NamedControls(module.Data(RT_DIALOG, pair.japanese, kJapanese));
            std::vector<int> english = NamedControls(module.Data(RT_DIALOG, pair.english, kNeutral));
            EXPECT_FALSE(japanese.empty()) << pair.japanese;
            EXPECT_EQ(std::multiset<int>(japanese.begin(), japanese.end()),
                      std::multiset<int>(english.begin(), english.end()))
                << "dialogs " << pair.japanese << " and " << pair.english;
        }
        EXPECT_EQ(expected, Ids(dialogs)) << "every dialog belongs to a pair or serves both languages";
    }
}

// ---- Menus ----------------------------------------------------------------------------------------

// "2.5" for the fifth item of the menu bar's second pop-up.
std::vector<std::string> MenuPositions(const std::vector<MenuItem> &items) {
    std::vector<std::string> positions;
    std::vector<int> counters;
    for (const MenuItem &item : items) {
        counters.resize(size_t(item.depth) + 1);
        ++counters.back();
        std::string position;
        for (int counter : counters)
            position += (position.empty() ? "" : ".") + std::to_string(counter);
        positions.push_back(position);
    }
    return positions;
}

std::string Describe(const MenuItem &item) {
    std::string text = item.popup() ? "pop-up" : item.separator() ? "separator" : "item " + std::to_string(item.id);
    char flags[16];
    snprintf(flags, sizeof flags, "0x%X", unsigned(item.flags));
    return text + " (level " + std::to_string(item.depth) + ", flags " + flags + ")";
}

bool SameShape(const MenuItem &a, const MenuItem &b) {
    return a.depth == b.depth && a.flags == b.flags && a.id == b.id && a.separator() == b.separator();
}

bool IsOneOf(const MenuItem &item, const std::vector<int> &ids) {
    return !item.popup() && !item.separator() && std::find(ids.begin(), ids.end(), item.id) != ids.end();
}

// The Japanese menu as the English one should look: without its Japanese-only commands, and without
// a separator that their removal leaves beside another.
std::vector<MenuItem> WithoutJapaneseOnly(const std::vector<MenuItem> &items, const std::vector<int> &japaneseOnly) {
    std::vector<MenuItem> kept;
    bool removed = false;
    for (const MenuItem &item : items) {
        if (IsOneOf(item, japaneseOnly)) {
            removed = true;
            continue;
        }
        if (removed && item.separator() && !kept.empty() && kept.back().separator() && kept.back().depth == item.depth)
            continue;
        removed = false;
        kept.push_back(item);
    }
    return kept;
}

// What differs between the two menus of a pair, one line each: commands, flags, separators and
// pop-ups must line up; texts differ by language, but every item but a separator has one in both.
// Past the first item that does not line up the rest would only repeat it, so it ends the list.
std::vector<std::string> MenuFaults(const std::vector<MenuItem> &japaneseMenu, const std::vector<MenuItem> &english,
                                    const std::vector<int> &japaneseOnly) {
    std::vector<std::string> faults;
    for (int id : japaneseOnly)
        if (std::none_of(japaneseMenu.begin(), japaneseMenu.end(), [&](const MenuItem &item) { return item.id == id; }))
            faults.push_back("Japanese-only command " + std::to_string(id) + " is not in the Japanese menu");
    std::vector<MenuItem> japanese = WithoutJapaneseOnly(japaneseMenu, japaneseOnly);
    std::vector<std::string> positions = MenuPositions(japanese.size() > english.size() ? japanese : english);
    for (size_t i = 0; i < positions.size(); ++i) {
        const std::string where = "at " + positions[i] + ": ";
        if (i >= japanese.size() || i >= english.size() || !SameShape(japanese[i], english[i])) {
            faults.push_back(where + "Japanese " + (i < japanese.size() ? Describe(japanese[i]) : "nothing") +
                             ", English " + (i < english.size() ? Describe(english[i]) : "nothing"));
            break;
        }
        if (japanese[i].separator()) continue;
        if (japanese[i].text.empty()) faults.push_back(where + Describe(japanese[i]) + " has no Japanese text");
        if (english[i].text.empty()) faults.push_back(where + Describe(english[i]) + " has no English text");
    }
    return faults;
}

TEST(Resources, EveryMenuPairHoldsTheSameItems) {
    for (const ProgramResources &program : kPrograms) {
        SCOPED_TRACE(program.file);
        ResourceModule module(program.file);
        ASSERT_NE(nullptr, module.get()) << "the built program must lie beside the test";
        LanguagesById menus = module.Languages(RT_MENU);
        std::set<int> expected;
        for (const MenuPair &pair : program.menus) {
            ExpectPair(menus, pair.japanese, pair.english, &expected);
            std::vector<MenuItem> japanese = MenuTemplateItems(module.Data(RT_MENU, pair.japanese, kJapanese));
            std::vector<MenuItem> english = MenuTemplateItems(module.Data(RT_MENU, pair.english, kNeutral));
            EXPECT_FALSE(japanese.empty() || english.empty()) << "menus " << pair.japanese << " and " << pair.english;
            EXPECT_EQ(std::vector<std::string>(), MenuFaults(japanese, english, pair.japaneseOnly))
                << "menus " << pair.japanese << " and " << pair.english;
        }
        EXPECT_EQ(expected, Ids(menus)) << "every menu belongs to a pair";
    }
}

// The comparison on a small English menu, File (Open, a separator, Exit) and Help (About), against
// Japanese twins with one fault each.
TEST(Resources, MenuComparisonNamesEachKindOfDifference) {
    const std::vector<MenuItem> english = {
        {0, MF_POPUP, 0, L"&File"}, {1, 0, 100, L"&Open"},      {1, 0, 0, L""},
        {1, 0, 101, L"E&xit"},      {0, MF_POPUP, 0, L"&Help"}, {1, 0, 102, L"&About"}};
    struct Case {
        const char *difference;
        void (*change)(std::vector<MenuItem> &japanese);
        std::vector<int> japaneseOnly;
        const char *fault; // nullptr: none
    };
    const Case cases[] = {
        {"texts only", [](std::vector<MenuItem> &m) { m[1].text = L"開く(&O)"; }, {}, nullptr},
        {"another command",
         [](std::vector<MenuItem> &m) { m[3].id = 103; },
         {},
         "at 1.3: Japanese item 103 (level 1, flags 0x0), English item 101"},
        {"an item for the separator",
         [](std::vector<MenuItem> &m) {
             m[2] = {1, 0, 104, L"&Save"};
         },
         {},
         "at 1.2: Japanese item 104 (level 1, flags 0x0), English separator"},
        {"a grayed item", [](std::vector<MenuItem> &m) { m[1].flags = MF_GRAYED; }, {}, "flags 0x1"},
        {"a pop-up made an item", [](std::vector<MenuItem> &m) { m[4].flags = 0; }, {}, "at 2: Japanese"},
        {"an item more",
         [](std::vector<MenuItem> &m) {
             m.push_back({1, 0, 105, L"&Tips"});
         },
         {},
         "at 2.2: Japanese item 105 (level 1, flags 0x0), English nothing"},
        {"an empty text", [](std::vector<MenuItem> &m) { m[5].text.clear(); }, {}, "at 2.1: item 102"},
        {"Japanese-only commands in a group of their own",
         [](std::vector<MenuItem> &m) {
             m.insert(m.begin() + 3, {{1, 0, 106, L"&Feedback"}, {1, 0, 107, L"&Support"}, {1, 0, 0, L""}});
         },
         {106, 107},
         nullptr},
        {"a Japanese-only command the menu lacks",
         [](std::vector<MenuItem> &) {},
         {106},
         "Japanese-only command 106 is not in the Japanese menu"},
    };
    for (const Case &c : cases) {
        std::vector<MenuItem> japanese = english;
        c.change(japanese);
        std::vector<std::string> faults = MenuFaults(japanese, english, c.japaneseOnly);
        ASSERT_EQ(c.fault ? 1u : 0u, faults.size()) << c.difference << (faults.empty() ? "" : ": " + faults[0]);
        if (c.fault) {
            EXPECT_NE(std::string::npos, faults[0].find(c.fault)) << c.difference << ": " << faults[0];
        }
    }
}

TEST(Resources, TextBoxHasItsControls) {
    ResourceModule module("KORVANE.EXE");
    ASSERT_NE(nullptr, module.get());
    std::vector<int> ids = DialogControlIds(module.Data(RT_DIALOG, IDD_TEXTBOX, kNeutral));
    std::multiset<int> expected{IDC_TEXTBOX_ICON, IDC_TEXTBOX_CAPTION, IDC_TEXTBOX_TEXT, IDCANCEL};
    EXPECT_EQ(expected, std::multiset<int>(ids.begin(), ids.end()));
}

TEST(Resources, EveryProgramHasItsIconAndManifest) {
    const char *required[] = {
        "requireAdministrator",
        "Microsoft.Windows.Common-Controls",
        "version=\"6.0.0.0\"",
        "<dpiAware",
        "{e2011457-1546-43c5-a5fe-008deee3d3f0}", // Vista
        "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", // 10
    };
    for (const ProgramResources &program : kPrograms) {
        SCOPED_TRACE(program.file);
        ResourceModule module(program.file);
        ASSERT_NE(nullptr, module.get());
        std::string manifest = module.Data(MAKEINTRESOURCEA(24), 1, kNeutral);
        for (const char *text : required)
            EXPECT_NE(std::string::npos, manifest.find(text)) << text;
        EXPECT_NE(nullptr, FindResourceA(module.get(), MAKEINTRESOURCEA(program.icon), RT_GROUP_ICON));
    }
}

} // namespace
