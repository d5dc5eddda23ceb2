// The plain parts of the defragmenter, check-disk and clean-up pages: the command-line history,
// the enabling rules of the defragmenter page, the pass count, and the boxes that need the
// environment.
#pragma once

#include "language.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// ---- The command-line history -------------------------------------------------------------------

constexpr size_t kHistoryCapacity = 16;
// A history of 16 command lines of 32K each; a larger value is not taken for one.
constexpr DWORD kHistoryValueLimit = kHistoryCapacity * 0x8000;

// Puts entry at the front: an equal entry (exact, letter case counts) moves there, a new one is
// inserted, dropping the last when the list is full. False when nothing changed (the entry was
// already first).
bool AddToHistory(std::vector<std::string> &entries, const std::string &entry, size_t capacity = kHistoryCapacity);

// What a stored history held, besides its entries.
enum class HistoryData {
    Ok,
    WrongType,    // not REG_MULTI_SZ: no entries
    Unterminated, // text after the last complete entry had no closing zero: left out
};
// The entries of a stored history, at most capacity, read within size: each entry ends at its
// zero, an empty entry ends the list, and text that does not end within size is not an entry.
HistoryData ParseHistory(DWORD type, const char *bytes, size_t size, std::vector<std::string> *entries,
                         size_t capacity = kHistoryCapacity);
// The entries as REG_MULTI_SZ data: each with its zero, and the closing zero.
std::string HistoryBytes(const std::vector<std::string> &entries);

// A page's history: loaded from HKEY_CURRENT_USER when the page opens, shown in the drop-down list
// of its combo box, and extended on OK. The value is written by unelevated processes too, so it
// is read within its size and never trusted to be terminated.
class CommandHistory {
public:
    CommandHistory(HWND combo, const char *valueName) : combo_(combo), valueName_(valueName) {}
    void Load();
    // Adds the entry; when the list changed, writes it and refills the combo box with the first
    // entry selected.
    void Add(const std::string &entry);
    const std::vector<std::string> &Entries() const { return entries_; }

private:
    void Fill() const;
    bool Store() const;

    HWND combo_;
    const char *valueName_;
    std::vector<std::string> entries_;
};

// ---- The defragmenter page ----------------------------------------------------------------------

// What the enabling of the defragmenter page's boxes depends on: the Windows version code, whether
// the GUI box (1071) and the last-round box (1177) are not off, and the pass count in 1042.
struct DefragInputs {
    unsigned short version;
    bool gui;
    bool lastConsole;
    DWORD passes;
};
struct DefragEnabling {
    bool gui;         // 1071: before Vista only
    bool lastConsole; // 1177: with the GUI version and more than one pass
    bool prefetch;    // 1070: without the GUI version, or when the earlier rounds are console ones
    bool full;        // 1190: from Vista on
};
DefragEnabling DefragEnablingFor(const DefragInputs &inputs);
// Whether the page follows its boxes after a change (not on Windows 2000 and older).
bool DefragRulesFollowChanges(unsigned short version);

// The pass count: the page shows Double + 1 and stores the count less one. The planner runs 1 to
// 100 passes, so a stored number outside shows as the passes it makes.
constexpr DWORD kFewestPasses = 1;
constexpr DWORD kMostPasses = 100;
DWORD PassesShown(LONG storedDouble);
LONG DoubleForPasses(DWORD passes);
// The pass count of a field's text for the enabling rules: 0 when it is not a count.
DWORD PassesOfText(const char *text);

// The labels and tooltips that change with the version: boot optimization and free space
// consolidation after Vista, the group title "optimization" from Windows 8 (Japanese only); in
// the process language.
struct VersionLabel {
    int id;
    const char *text;
};
std::vector<VersionLabel> DefragVersionLabels(unsigned short version);
std::vector<ToolTipText> DefragToolTips(unsigned short version);

// ---- The clean-up page --------------------------------------------------------------------------

// The boxes to disable because their folder's variable is missing: 1040 without TMP and TEMP,
// 1041 without windir, 1063 without USERPROFILE. hasVariable answers whether a variable exists.
std::vector<int> ClearBoxesWithoutEnvironment(const std::function<bool(const char *)> &hasVariable);
