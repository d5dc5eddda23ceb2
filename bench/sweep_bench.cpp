// How much the file sweep costs beside a bare walk of the same tree.
//
//   sweep_bench.exe [root] [rounds]
//   sweep_bench.exe --fill
//
// With --fill the planner writes a whole list whose sweep finds more files than the list can
// hold (a tree on a fixed drive of the prefix, made by bench/run.sh): it reports how many entries
// the sweep took, how long the sweep and the list took, and fails when QS could not reach the end
// of the list.
//
// root (default T:\) holds a generated tree. The bare walk lists each folder once with the same
// search call and enters its subfolders, nothing else. The sweep is the planner's: every folder
// listed once, its long names matched against all the kinds' patterns, each folder's name made
// ready for the dialog and each match turned into its command-list path. Writing the entries to
// the registry is left out: it costs the same per match however the tree is walked. Prints files
// per second for both (the best of the rounds) and their ratio.
#include "korvane.h"
#include "planner/rnsrun.h"

#include "platform.h"
#include "settings.h"
#include "winhandle.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Counts {
    unsigned long long files = 0, folders = 0, found = 0;
};

double Seconds(const LARGE_INTEGER &start) {
    LARGE_INTEGER end, frequency;
    QueryPerformanceCounter(&end);
    QueryPerformanceFrequency(&frequency);
    return double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
}

Counts BareWalk(const std::wstring &root) {
    Counts counts;
    std::vector<std::wstring> pending{root};
    WIN32_FIND_DATAW data;
    while (!pending.empty()) {
        std::wstring folder = std::move(pending.back());
        pending.pop_back();
        ++counts.folders;
        UniqueFind search(FindFirstFileExW((folder + L'*').c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                           nullptr, FIND_FIRST_EX_LARGE_FETCH));
        if (!search) continue;
        do {
            const wchar_t *name = data.cFileName;
            if (name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'))) continue;
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                ++counts.files;
            else if (!(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                pending.push_back(folder + name + L'\\');
        } while (FindNextFileW(search.Get(), &data));
    }
    return counts;
}

// The sweep's own lister, counting what it lists.
struct SweepState {
    Counts counts;
    CriticalSection lock;
    std::string folder;
    std::vector<std::string> found;
};

bool CountingList(const std::wstring &folder, std::vector<FolderItem> &items, void *context) {
    auto *state = static_cast<SweepState *>(context);
    if (!ListFolder(folder, items, nullptr)) return false;
    ++state->counts.folders;
    for (const FolderItem &item : items)
        if (!(item.attributes & FILE_ATTRIBUTE_DIRECTORY)) ++state->counts.files;
    return true;
}

// As the dialog's worker hands each folder's name over.
void Enter(const std::wstring &folder, void *context) {
    auto *state = static_cast<SweepState *>(context);
    std::string text = WideToAnsi(folder.c_str());
    CriticalLock lock(state->lock);
    state->folder.swap(text);
}

void Found(const std::wstring &path, void *context) {
    auto *state = static_cast<SweepState *>(context);
    std::string ansi;
    if (CommandListPath(path, &ansi)) state->found.push_back("$Del " + ansi);
}

Counts Sweep(const std::wstring &root) {
    PlannerOptions options;
    options.sweepThumbs = options.sweepGid = options.sweepAlbumArt = options.sweepBak = options.sweepEtl = true;
    SweepState state;
    SweepTree(root, SweepPatterns(options), {CountingList, Enter, Found, nullptr, &state});
    state.counts.found = state.found.size();
    return state.counts;
}

template <typename Walk> double Timed(Walk walk, Counts *counts) {
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    *counts = walk();
    return Seconds(start);
}

// The whole list over a tree with more matching files than the list has entries.
int FillList() {
    g_instance = GetModuleHandleA(nullptr);
    g_windowsVersion = GetWindowsVersionCode();
    PlannerOptions options;
    options.sweepBak = true;
    options.runMethod = 4;
    options.selected = 3;
    options.otherCommands = "CMD.EXE /C exit 0";
    options.otherCommandsRead = true;
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    WriteCommandList(options, false);
    double seconds = Seconds(start);
    std::vector<std::string> list = ReadCommandList();
    size_t swept = 0;
    for (const std::string &entry : list)
        swept += entry.rfind("$Del ", 0) == 0;
    bool reachable =
        !list.empty() && int(list.size()) - 1 <= kLastOrderIndex && list.back() == EndEntries(options).back();
    printf("full list: %zu entries (%zu from the sweep) in %.1f s; the end of the list is %s\n", list.size(), swept,
           seconds, reachable ? "within QS's reach" : "OUT OF QS'S REACH");
    return reachable && swept > 0 ? 0 : 1;
}

} // namespace

int main(int argc, char **argv) {
    if (argc > 1 && strcmp(argv[1], "--fill") == 0) return FillList();
    std::wstring root = AnsiToWide(argc > 1 ? argv[1] : "T:\\");
    if (root.empty() || root.back() != L'\\') root += L'\\';
    int rounds = argc > 2 ? atoi(argv[2]) : 3;
    if (rounds < 1) rounds = 1;

    Counts bare, swept;
    BareWalk(root); // the first walk fills the caches; both measured walks find them warm
    // Alternating keeps a drift of the machine from favouring either.
    double bareSeconds = 1e30, sweepSeconds = 1e30;
    for (int i = 0; i < rounds; ++i) {
        double b = Timed([&root] { return BareWalk(root); }, &bare);
        double s = Timed([&root] { return Sweep(root); }, &swept);
        if (b < bareSeconds) bareSeconds = b;
        if (s < sweepSeconds) sweepSeconds = s;
    }
    if (bare.files == 0 || bare.files != swept.files || bare.folders != swept.folders) {
        fprintf(stderr, "sweep_bench: the walks disagree or the tree is empty (%llu/%llu files, %llu/%llu folders)\n",
                bare.files, swept.files, bare.folders, swept.folders);
        return 1;
    }
    double bareRate = double(bare.files) / bareSeconds, sweepRate = double(swept.files) / sweepSeconds;
    printf("file sweep %llu files in %llu folders (%llu found), best of %d: sweep %.0f files/s, bare walk %.0f "
           "files/s, ratio %.3f\n",
           bare.files, bare.folders, swept.found, rounds, sweepRate, bareRate, sweepSeconds / bareSeconds);
    return 0;
}
