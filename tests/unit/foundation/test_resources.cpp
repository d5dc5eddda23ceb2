// The resources of the built programs (they lie beside this test): every Japanese dialog has an
// English twin with the same controls, in the right resource languages, and every program carries
// its icon and its manifest.
#include "dialog_template.h"

#include "korvane/resource.h"
#include "qs/resource.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

struct DialogPair {
    int japanese;
    int english;
};

struct ProgramResources {
    const char *file;
    std::vector<DialogPair> pairs;
    std::vector<int> singles; // one template serving both languages
};

const ProgramResources kPrograms[] = {
    {"KORVANE.EXE", {KORVANE_DIALOG_PAIRS}, {IDD_TEXTBOX}},
    {"QS.EXE", {QS_DIALOG_PAIRS}, {}},
    {"KORVTASK.EXE", {}, {}},
};

class ResourceModule {
public:
    explicit ResourceModule(const char *file) : module_(LoadLibraryExA(file, nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
    ~ResourceModule() {
        if (module_) FreeLibrary(module_);
    }
    HMODULE get() const { return module_; }

    // Dialog id -> languages it exists in.
    std::map<int, std::set<WORD>> Dialogs() const {
        std::map<int, std::set<WORD>> dialogs;
        EnumResourceNamesA(module_, RT_DIALOG, CollectName, reinterpret_cast<LONG_PTR>(&dialogs));
        for (auto &entry : dialogs)
            EnumResourceLanguagesA(module_, RT_DIALOG, MAKEINTRESOURCEA(entry.first), CollectLanguage,
                                   reinterpret_cast<LONG_PTR>(&entry.second));
        return dialogs;
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

TEST(Resources, EveryDialogPairHoldsTheSameControls) {
    for (const ProgramResources &program : kPrograms) {
        SCOPED_TRACE(program.file);
        ResourceModule module(program.file);
        ASSERT_NE(nullptr, module.get()) << "the built program must lie beside the test";
        std::map<int, std::set<WORD>> dialogs = module.Dialogs();
        std::set<int> expected(program.singles.begin(), program.singles.end());
        for (const DialogPair &pair : program.pairs) {
            expected.insert(pair.japanese);
            expected.insert(pair.english);
            EXPECT_EQ(std::set<WORD>{kJapanese}, dialogs[pair.japanese]) << pair.japanese << " is Japanese";
            EXPECT_EQ(std::set<WORD>{kNeutral}, dialogs[pair.english]) << pair.english << " is English";
            std::vector<int> japanese = NamedControls(module.Data(RT_DIALOG, pair.japanese, kJapanese));
            std::vector<int> english = NamedControls(module.Data(RT_DIALOG, pair.english, kNeutral));
            EXPECT_FALSE(japanese.empty()) << pair.japanese;
            EXPECT_EQ(std::multiset<int>(japanese.begin(), japanese.end()),
                      std::multiset<int>(english.begin(), english.end()))
                << "dialogs " << pair.japanese << " and " << pair.english;
        }
        std::set<int> present;
        for (const auto &entry : dialogs)
            present.insert(entry.first);
        EXPECT_EQ(expected, present) << "every dialog belongs to a pair or serves both languages";
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
        EXPECT_NE(nullptr, FindResourceA(module.get(), MAKEINTRESOURCEA(101), RT_GROUP_ICON));
    }
}

} // namespace
