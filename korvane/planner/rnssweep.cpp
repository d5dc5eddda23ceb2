// rnssweep: the file sweep of the clean-up. A worker walks every fixed drive and queues a "$Del"
// entry for each file of the chosen kinds, while the planner waits in the "Serching" dialog.
#include "korvane.h"
#include "planner/rnsrun.h"

#include "language.h"
#include "resource.h"
#include "runlog.h"
#include "winhandle.h"

#include "platform.h"

#include <process.h>

#include <algorithm>
#include <atomic>
#include <new>

namespace {

const char kLogModule[] = "rnssweep";

bool IsFolder(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A junction or a symbolic link: the profile's "Application Data" and its kin point back into
// the profile, so entering them would walk the same files again, without end.
bool IsReparsePoint(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

} // namespace

std::vector<std::wstring> SweepPatterns(const PlannerOptions &options) {
    std::vector<std::wstring> patterns;
    if (options.sweepThumbs) patterns.push_back(L"Thumbs.db");
    if (options.sweepGid) patterns.push_back(L"*.gid");
    if (options.sweepAlbumArt) patterns.insert(patterns.end(), {L"AlbumArt_{*}_Large.jpg", L"AlbumArt_{*}_Small.jpg"});
    if (options.sweepBak) patterns.push_back(L"*.bak");
    if (options.sweepEtl) patterns.insert(patterns.end(), {L"snapshot.etl", L"ksnapshot.etl", L"krundown.etl"});
    return patterns;
}

// ---- The walk -----------------------------------------------------------------------------------

void SweepTree(const std::wstring &root, const std::vector<std::wstring> &patterns, const SweepCallbacks &callbacks) {
    std::vector<std::wstring> upperPatterns;
    for (const std::wstring &pattern : patterns)
        upperPatterns.push_back(UpperFileName(pattern));
    auto stopped = [&callbacks] { return callbacks.stopped && callbacks.stopped(callbacks.context); };

    // Folders still to visit, the next one last: a stack keeps the depth-first order without
    // recursion, however deep the tree.
    std::vector<std::wstring> pending{root};
    std::vector<FolderItem> items;
    std::vector<std::wstring> upperNames;
    std::vector<bool> taken;
    while (!pending.empty() && !stopped()) {
        std::wstring folder = std::move(pending.back());
        pending.pop_back();
        if (callbacks.enterFolder) callbacks.enterFolder(folder, callbacks.context);
        items.clear();
        if (!callbacks.list(folder, items, callbacks.context)) continue;

        // The folder is listed once and matched by its long names; asking the file system per
        // pattern would also match 8.3 aliases ("*.bak" finds "report.bakup" as REPORT~1.BAK).
        upperNames.resize(items.size());
        taken.assign(items.size(), false);
        for (size_t i = 0; i < items.size(); ++i)
            upperNames[i] = UpperFileName(items[i].name);
        for (const std::wstring &pattern : upperPatterns) {
            for (size_t i = 0; i < items.size(); ++i) {
                if (taken[i] || IsFolder(items[i].attributes) || !MatchUpper(upperNames[i].c_str(), pattern.c_str()))
                    continue;
                taken[i] = true;
                callbacks.found(folder + items[i].name, callbacks.context);
            }
        }
        size_t firstChild = pending.size();
        for (const FolderItem &item : items)
            if (IsFolder(item.attributes) && !IsReparsePoint(item.attributes))
                pending.push_back(folder + item.name + L'\\');
        std::reverse(pending.begin() + firstChild, pending.end());
    }
}

bool ListFolder(const std::wstring &folder, std::vector<FolderItem> &items, void *) {
    // From Windows 7 on the search can leave out the 8.3 names, which nothing here looks at, and
    // fetch in larger blocks; older systems refuse both.
    static const bool basic = GetWindowsVersionCode() >= 601;
    WIN32_FIND_DATAW data;
    UniqueFind search(FindFirstFileExW((folder + L'*').c_str(), basic ? FindExInfoBasic : FindExInfoStandard, &data,
                                       FindExSearchNameMatch, nullptr, basic ? FIND_FIRST_EX_LARGE_FETCH : 0));
    if (!search) return false;
    do {
        const wchar_t *name = data.cFileName;
        if (name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'))) continue;
        items.push_back({name, data.dwFileAttributes});
    } while (FindNextFileW(search.Get(), &data));
    return true;
}

bool CommandListPath(const std::wstring &path, std::string *ansi) {
    BOOL lossy = FALSE;
    int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, path.c_str(), -1, nullptr, 0, nullptr, &lossy);
    if (size <= 0 || lossy) return false;
    std::string text(size_t(size), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, path.c_str(), -1, &text[0], size, nullptr, nullptr);
    text.resize(size_t(size) - 1);
    // The entry writer expands environment references: a folder named like "%TEMP%" would send
    // the delete elsewhere.
    if (text.find('%') != std::string::npos) {
        char expanded[MAX_PATH * 2];
        DWORD length = ExpandEnvironmentStringsA(text.c_str(), expanded, sizeof expanded);
        if (length == 0 || length > sizeof expanded || text != expanded) return false;
    }
    *ansi = std::move(text);
    return true;
}

// ---- The worker and its dialog ------------------------------------------------------------------

namespace {

constexpr UINT kSweepFolder = WM_APP + 1; // posted: the folder being searched changed
constexpr UINT kSweepFound = WM_APP + 2;  // sent: lParam is the path of a file found
constexpr UINT kSweepDone = WM_APP + 3;   // posted: the worker has ended
constexpr UINT kSweepFull = WM_APP + 4;   // sent: the list has no room for more entries

struct SweepDialogData {
    std::vector<std::wstring> patterns;
    HWND dialog = nullptr;
    std::atomic<bool> stop{false};
    // The folder text: the worker replaces it and posts one notice until the dialog has read it,
    // so it never waits for the window however fast it walks.
    CriticalSection folderLock;
    std::string folder;
    std::atomic<bool> folderNoticePending{false};
    UniqueHandle worker;
    // Entries the list has room for, and those added; the worker alone counts.
    int room = 0, added = 0;
    bool full = false;
};

std::string ListFullText(int added) {
    return FormatString(Tx("コマンドリストがいっぱいになったため、%d 個のファイルで検索を中止しました。残りのファイル"
                           "は削除しません。",
                           "The command list is full: the search stopped after %d files. The other files are not "
                           "deleted."),
                        added);
}

void EnterFolder(const std::wstring &folder, void *context) {
    auto *data = static_cast<SweepDialogData *>(context);
    std::string text = WideToAnsi(folder.c_str());
    {
        CriticalLock lock(data->folderLock);
        data->folder.swap(text);
    }
    if (!data->folderNoticePending.exchange(true)) PostMessageA(data->dialog, kSweepFolder, 0, 0);
}

void FileFound(const std::wstring &path, void *context) {
    auto *data = static_cast<SweepDialogData *>(context);
    std::string ansi;
    if (!CommandListPath(path, &ansi)) {
        RUNLOG2(Tx("リストに書けないパスのため削除しません - ", "Not deleted: the path cannot be listed - "),
                WideToAnsi(path.c_str()).c_str());
        return;
    }
    // The work, the restores and the end of the run come after the sweep's entries; QS must reach
    // them, so the sweep never takes the room they need.
    if (data->added >= data->room) {
        data->full = true;
        data->stop = true;
        SendMessageA(data->dialog, kSweepFull, 0, 0);
        return;
    }
    AppendCommand("$Del " + ansi);
    ++data->added;
    SendMessageA(data->dialog, kSweepFound, 0, reinterpret_cast<LPARAM>(ansi.c_str()));
}

bool SweepStopped(void *context) {
    return static_cast<SweepDialogData *>(context)->stop;
}

void SweepFixedDrives(SweepDialogData &data) {
    SweepCallbacks callbacks{g_sweepLister, EnterFolder, FileFound, SweepStopped, &data};
    char root[] = "A:\\";
    for (char letter = 'A'; letter <= 'Z' && !data.stop; ++letter) {
        root[0] = letter;
        if (GetDriveTypeA(root) == DRIVE_FIXED) SweepTree(AnsiToWide(root), data.patterns, callbacks);
    }
}

unsigned __stdcall SweepWorker(void *parameter) {
    auto *data = static_cast<SweepDialogData *>(parameter);
    {
        // A drive that is not ready fails quietly instead of asking for a disk.
        ErrorModeScope errors(SEM_FAILCRITICALERRORS);
        try {
            SweepFixedDrives(*data);
        } catch (const std::bad_alloc &) {
            // Out of memory ends the sweep early: the entries found so far stay in the list.
            RUNLOG(
                Tx("メモリが足りないため、ファイルの検索を中止しました。", "Out of memory. The search was stopped."));
        }
    }
    PostMessageA(data->dialog, kSweepDone, 0, 0);
    return 0;
}

void ShowFolder(HWND dialog, SweepDialogData &data) {
    data.folderNoticePending = false;
    std::string folder;
    {
        CriticalLock lock(data.folderLock);
        folder = data.folder;
    }
    SetDlgItemTextA(dialog, IDC_SWEEP_FOLDER, folder.c_str());
}

void ShowFound(HWND dialog, const char *path) {
    HWND list = GetDlgItem(dialog, IDC_SWEEP_LIST);
    LRESULT index = SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(path));
    if (index >= 0) SendMessageA(list, LB_SETTOPINDEX, WPARAM(index), 0);
}

// Skip stops the walk; the dialog itself ends only when the worker says it has ended, so the
// worker never talks to a window that is gone.
void Skip(HWND dialog, SweepDialogData &data) {
    data.stop = true;
    EnableWindow(GetDlgItem(dialog, IDC_SWEEP_SKIP), FALSE);
}

INT_PTR CALLBACK SweepDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto *data = reinterpret_cast<SweepDialogData *>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG: {
        data = reinterpret_cast<SweepDialogData *>(lParam);
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        data->dialog = dialog;
        data->worker.Reset(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, SweepWorker, data, 0, nullptr)));
        if (!data->worker) EndDialog(dialog, IDABORT);
        return TRUE;
    }
    case WM_COMMAND:
        if (data && (LOWORD(wParam) == IDC_SWEEP_SKIP || LOWORD(wParam) == IDCANCEL)) Skip(dialog, *data);
        return TRUE;
    case kSweepFolder:
        if (data) ShowFolder(dialog, *data);
        return TRUE;
    case kSweepFound:
        ShowFound(dialog, reinterpret_cast<const char *>(lParam));
        return TRUE;
    case kSweepFull:
        if (data) {
            EnableWindow(GetDlgItem(dialog, IDC_SWEEP_SKIP), FALSE);
            SetDlgItemTextA(dialog, IDC_SWEEP_FOLDER, ListFullText(data->added).c_str());
        }
        return TRUE;
    case kSweepDone:
        EndDialog(dialog, IDOK);
        return TRUE;
    }
    return FALSE;
}

} // namespace

FolderLister g_sweepLister = ListFolder;
int g_lastOrderIndex = kLastOrderIndex;

int SweepRoom(int written, int tail) {
    int room = g_lastOrderIndex + 1 - written - tail - kListMargin;
    return room > 0 ? room : 0;
}

void RunFileSweep(const PlannerOptions &options, int room) {
    SweepDialogData data;
    data.patterns = SweepPatterns(options);
    if (data.patterns.empty()) return;
    data.room = room;
    INT_PTR result = DialogBoxParamA(g_instance, MAKEINTRESOURCEA(ResId(IDD_SWEEP_JA, IDD_SWEEP_EN)), g_mainWindow,
                                     SweepDialogProc, reinterpret_cast<LPARAM>(&data));
    // The worker has posted its last notice; it only has to return.
    if (data.worker) WaitForSingleObject(data.worker.Get(), INFINITE);
    if (result == -1 || result == IDABORT)
        RUNLOG(Tx("削除するファイルを検索できませんでした。", "Cannot search files to delete."));
    if (data.full) RUNLOG(ListFullText(data.added).c_str());
}
