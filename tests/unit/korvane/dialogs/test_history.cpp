// The run log viewer "History": how the log becomes the text it shows (line ends, the tail of a
// huge log), reading it by its full path, removing it, and the dialog driven from a second thread:
// scrolled to the end, Remove with its question and its failure, the debug box and fjlog, the
// layout, and the Japanese resource.
#include "dialogs/history.h"

#include "modal_driver.h"
#include "key_access.h"
#include "planner_fixture.h"
#include "resource.h"
#include "winhandle.h"

#include <commctrl.h>
#include <gtest/gtest.h>
#include <winioctl.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

const std::string kNoteStart = "(The log is larger than 16 MB: only its last 16 MB are shown.)\r\n";

// ---- Plain pieces -------------------------------------------------------------------------------

TEST(HistoryPieces, LineEndsBecomeCrLfAndNulsBlanks) {
    SetLanguage(Program::Korvane, false);
    struct Case {
        const char *what;
        std::string bytes, text;
    } cases[] = {
        {"empty", "", ""},
        {"CR LF kept", "a\r\nb\r\n", "a\r\nb\r\n"},
        {"lone LF", "a\nb\n", "a\r\nb\r\n"},
        {"lone CR", "a\rb", "a\r\nb"},
        {"CR CR LF is two ends", "a\r\r\nb", "a\r\n\r\nb"},
        {"LF CR is two ends", "a\n\rb", "a\r\n\r\nb"},
        {"NUL", std::string("a\0b", 3), "a b"},
        {"no end at the end", "last line", "last line"},
        {"Shift-JIS kept", "\x83\x5c\x83\x74\x83\x67\r\n", "\x83\x5c\x83\x74\x83\x67\r\n"}, // ソフト: 5C trail
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.text, LogDisplayText(c.bytes, false)) << c.what;
}

TEST(HistoryPieces, ATailLosesTheRestOfItsCutLineAndCarriesTheNote) {
    SetLanguage(Program::Korvane, false);
    struct Case {
        const char *what;
        std::string bytes, shown;
    } cases[] = {
        {"cut inside a line", "ne 1\r\nline 2\r\n", "line 2\r\n"},
        {"cut before a line: the byte before is its LF", "\nline 2\r\n", "line 2\r\n"},
        {"the byte before is a CR", "\r\nline 2\r\n", "line 2\r\n"},
        {"cut inside a double-byte character", "\x5c\x83\x74\r\nline 2", "line 2"},
        {"one endless line", "endless", "endless"},
        {"nothing after the cut line", "rest\r\n", ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(kNoteStart + c.shown, LogDisplayText(c.bytes, true)) << c.what;
    SetLanguage(Program::Korvane, true);
    EXPECT_EQ(0u, LogDisplayText("x\r\ny", true).find("(ログが 16 MB を超えているため")) << "the note in Japanese";
    SetLanguage(Program::Korvane, false);
}

TEST(HistoryPieces, TheShownPartStartsWhereTheLimitAllows) {
    const unsigned long long kLimit = kHistoryShownBytes;
    struct Case {
        unsigned long long size, start;
    } cases[] = {
        {0, 0},
        {1, 0},
        {kLimit, 0},
        {kLimit + 1, 1},
        {5ULL << 32, (5ULL << 32) - kLimit}, // beyond 4 GiB: no 32-bit size anywhere
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.start, ShownPartStart(c.size, kLimit)) << c.size;
    EXPECT_EQ(16ULL << 20, kHistoryShownBytes);
}

TEST(HistoryPieces, TheTextIsCutIntoLinesAndLinesAreJoinedForTheClipboard) {
    struct Case {
        std::string text;
        std::vector<size_t> starts;
        std::vector<std::string> lines;
    } cases[] = {
        {"", {}, {}},
        {"one", {0}, {"one"}},
        {"one\r\n", {0}, {"one"}},
        {"one\r\ntwo", {0, 5}, {"one", "two"}},
        {"\r\n\r\nthree\r\n", {0, 2, 4}, {"", "", "three"}},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(c.starts, LineStarts(c.text)) << c.text;
        std::vector<std::string> lines;
        for (size_t i = 0; i < c.starts.size(); ++i)
            lines.push_back(LineText(c.text, c.starts, i));
        EXPECT_EQ(c.lines, lines) << c.text;
    }
    std::string text = "a\r\nbb\r\nccc\r\n";
    std::vector<size_t> starts = LineStarts(text);
    EXPECT_EQ("a\r\nccc\r\n", LinesText(text, starts, {0, 2}));
    EXPECT_EQ("", LinesText(text, starts, {}));
    EXPECT_EQ("bb\r\n", LinesText(text, starts, {1, 7})) << "a line that is not there adds nothing";
}

TEST(HistoryPieces, TheLongestLinesStandForTheWidestOnes) {
    std::string text = "aa\r\nbbbb\r\nc\r\ndddd\r\neeeee";
    std::vector<size_t> starts = LineStarts(text);
    EXPECT_EQ((std::vector<size_t>{1, 3}), LongestLines(starts, text.size(), 2)) << "of one length, the earlier first";
    EXPECT_EQ((std::vector<size_t>{1, 3, 4, 0, 2}), LongestLines(starts, text.size(), 9))
        << "never more than there are";
    EXPECT_TRUE(LongestLines({}, 0, 3).empty());
}

// ---- The log on disk ----------------------------------------------------------------------------

class HistoryFileTest : public PlannerTest {
protected:
    void Write(const std::string &bytes) {
        std::ofstream file(RunLogPath(), std::ios::binary | std::ios::trunc);
        file << bytes;
    }
    std::string path() const { return RunLogPath(); }
};

TEST_F(HistoryFileTest, AMissingLogIsNotFoundAndASmallOneIsShownWhole) {
    EXPECT_EQ(LogViewResult::NotFound, ReadLogView(path().c_str()).result);
    EXPECT_EQ(LogViewResult::NotFound, ReadLogView("C:\\no such folder\\KORVANE.LOG").result);
    Write("first\r\nsecond\n");
    LogView view = ReadLogView(path().c_str());
    EXPECT_EQ(LogViewResult::Shown, view.result);
    EXPECT_FALSE(view.tailOnly);
    EXPECT_EQ("first\r\nsecond\r\n", view.text);
    Write("");
    view = ReadLogView(path().c_str());
    EXPECT_EQ(LogViewResult::Shown, view.result);
    EXPECT_EQ("", view.text);
}

TEST_F(HistoryFileTest, ALogBeyondSixteenMegabytesShowsItsLastSixteenWithTheNote) {
    std::string line(99, 'x');
    line += "\r\n";
    std::string bytes = "first line\r\n";
    while (bytes.size() < kHistoryShownBytes + 4096)
        bytes += line;
    bytes += "last line\r\n";
    Write(bytes);
    LogView view = ReadLogView(path().c_str());
    ASSERT_EQ(LogViewResult::Shown, view.result);
    EXPECT_TRUE(view.tailOnly);
    EXPECT_EQ(0u, view.text.find(kNoteStart));
    EXPECT_EQ(std::string::npos, view.text.find("first line"));
    // The part begins one byte before the last 16 MB; its first line end ends the cut line.
    size_t cutLineEnd = bytes.find_first_of("\r\n", bytes.size() - kHistoryShownBytes - 1);
    size_t next = cutLineEnd + (bytes.compare(cutLineEnd, 2, "\r\n") == 0 ? 2 : 1);
    EXPECT_TRUE(kNoteStart + bytes.substr(next) == view.text) << "the note, then whole lines to the end";
    EXPECT_EQ(kNoteStart + line, view.text.substr(0, kNoteStart.size() + line.size())) << "no cut line after the note";
    EXPECT_EQ(view.text.size() - 11, view.text.rfind("last line\r\n"));
}

TEST_F(HistoryFileTest, ALogBeyondFourGigabytesIsReadAtItsEnd) {
    const unsigned long long kSize = (4ULL << 30) + 4096;
    const std::string kEnd = "\r\nline A\r\nline B\r\nend";
    {
        UniqueFile file(CreateFileA(path().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(file);
        DWORD sparse = 0;
        // Sparse, so that the disk holds only the written end.
        DeviceIoControl(file.Get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &sparse, nullptr);
        LARGE_INTEGER at;
        at.QuadPart = static_cast<LONGLONG>(kSize - kEnd.size());
        ASSERT_TRUE(SetFilePointerEx(file.Get(), at, nullptr, FILE_BEGIN));
        DWORD written = 0;
        if (!WriteFile(file.Get(), kEnd.data(), DWORD(kEnd.size()), &written, nullptr) || written != kEnd.size())
            GTEST_SKIP() << "the test folder's file system takes no file of 4 GB";
    }
    LogView view = ReadLogView(path().c_str());
    DeleteFileA(path().c_str());
    ASSERT_EQ(LogViewResult::Shown, view.result);
    EXPECT_TRUE(view.tailOnly);
    EXPECT_EQ(kNoteStart + "line A\r\nline B\r\nend", view.text) << "the zeros before the end make one cut line";
}

TEST_F(HistoryFileTest, RemovingTakesTheLogAwayUnlessAnotherProgramHoldsIt) {
    EXPECT_TRUE(RemoveLogFile(path().c_str())) << "a log that is not there counts as removed";
    Write("line\r\n");
    {
        UniqueFile held(CreateFileA(path().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held);
        EXPECT_FALSE(RemoveLogFile(path().c_str()));
        EXPECT_EQ(LogViewResult::Shown, ReadLogView(path().c_str()).result) << "a held log is still shown";
    }
    EXPECT_TRUE(RemoveLogFile(path().c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path().c_str()));
}

// ---- The dialog ---------------------------------------------------------------------------------

class HistoryDialogTest : public HistoryFileTest {
protected:
    void SetUp() override {
        HistoryFileTest::SetUp();
        savedTrace_ = TraceMode();
        SetTraceMode(false);
    }
    void TearDown() override {
        SetTraceMode(savedTrace_);
        SetKeyWritable(HKEY_LOCAL_MACHINE, kSettingsPath, true);
        HistoryFileTest::TearDown();
    }
    // Opens the dialog on this thread while act plays the user; fails when it never showed.
    void Run(const std::function<void(HWND)> &act, const std::string &title = "History") {
        EXPECT_TRUE(RunModal(title, act, [] { ShowHistoryDialog(nullptr); })) << "the dialog did not show";
    }
    static HWND List(HWND dialog) { return GetDlgItem(dialog, IDC_HISTORY_TEXT); }
    static int LineCount(HWND dialog) { return int(SendMessageA(List(dialog), LVM_GETITEMCOUNT, 0, 0)); }
    static std::string Line(HWND dialog, int index) {
        std::string text(4096, '\0');
        LVITEMA item = {};
        item.pszText = &text[0];
        item.cchTextMax = int(text.size());
        text.resize(size_t(SendMessageA(List(dialog), LVM_GETITEMTEXTA, WPARAM(index), LPARAM(&item))));
        return text;
    }
    // Every line the list shows.
    static std::vector<std::string> Shown(HWND dialog) {
        std::vector<std::string> lines;
        for (int i = 0; i < LineCount(dialog); ++i)
            lines.push_back(Line(dialog, i));
        return lines;
    }
    static std::string Clipboard() {
        std::string text;
        if (!OpenClipboard(nullptr)) return "(clipboard not open)";
        HANDLE data = GetClipboardData(CF_TEXT);
        const char *bytes = data ? static_cast<const char *>(GlobalLock(data)) : nullptr;
        if (bytes) text = bytes;
        if (bytes) GlobalUnlock(data);
        CloseClipboard();
        return text;
    }
    static DWORD StoredFjlog() {
        REGA key;
        if (!OpenSettings(key, OPEN_READONLY)) return 0xFFFFFFFF;
        DWORD value = DWORD(key.ReadIntegerA(setting::fjlog.name, -1));
        key.CloseKey();
        return value;
    }
    static bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

private:
    bool savedTrace_ = false;
};

TEST_F(HistoryDialogTest, ALogOfSixtyThousandLinesIsShownWholeAndScrolledToItsEnd) {
    std::string bytes;
    auto line = [](int i) {
        return "Dec  6, 2026 15:59:03 [QS]$Log line " + std::to_string(i) + " of the run, padded to about 85 b.";
    };
    for (int i = 0; i < 60000; ++i)
        bytes += line(i) + "\r\n";
    // The start line of a run is longer than a list's own buffer for a line.
    std::string start = "--- Rinsa running is started. - " + std::string(600, 'x') + " ---";
    bytes += start + "\r\n";
    Write(bytes);
    Run([&](HWND dialog) {
        HWND list = List(dialog);
        EXPECT_EQ(60001, LineCount(dialog)) << "60 000 lines and the long one";
        EXPECT_EQ(line(0), Line(dialog, 0));
        EXPECT_EQ(line(31234), Line(dialog, 31234));
        EXPECT_EQ(start, Line(dialog, 60000)) << "a long line comes whole";
        EXPECT_GT(SendMessageA(list, LVM_GETTOPINDEX, 0, 0), 59900) << "the newest lines are in view";
        EXPECT_EQ(60000, SendMessageA(list, LVM_GETNEXTITEM, WPARAM(-1), LVNI_FOCUSED))
            << "the last line has the caret";
        EXPECT_EQ(-1, SendMessageA(list, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED)) << "nothing is selected";
        EXPECT_GE(SendMessageA(list, LVM_GETCOLUMNWIDTH, 0, 0),
                  SendMessageA(list, LVM_GETSTRINGWIDTHA, 0, LPARAM(start.c_str())))
            << "the widest line fits";
        EXPECT_EQ(GetDlgItem(dialog, IDCANCEL), FocusOfThread(dialog)) << "Close has the focus";
        DialogDriver::Click(dialog, IDCANCEL);
    });
}

TEST_F(HistoryDialogTest, CtrlASelectsEveryLineAndCtrlCCopiesTheSelectedOnes) {
    Write("line 1\r\nline 2\r\nline 3\r\n");
    Run([](HWND dialog) {
        HWND list = List(dialog);
        LVITEMA select = {};
        select.stateMask = select.state = LVIS_SELECTED;
        SendMessageA(list, LVM_SETITEMSTATE, 1, LPARAM(&select));
        SendMessageA(list, WM_CHAR, 3, 0x2E0001);
        EXPECT_EQ("line 2\r\n", Clipboard());
        SendMessageA(list, WM_CHAR, 1, 0x1E0001);
        SendMessageA(list, WM_CHAR, 3, 0x2E0001);
        EXPECT_EQ("line 1\r\nline 2\r\nline 3\r\n", Clipboard());
        DialogDriver::Click(dialog, IDCANCEL);
    });
    EXPECT_TRUE(boxes_.calls().empty());
}

TEST_F(HistoryDialogTest, TheLogIsFoundByItsFullPathWhateverTheCurrentFolder) {
    Write("the real log\r\n");
    char previous[MAX_PATH] = "", temp[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof previous, previous);
    GetTempPathA(sizeof temp, temp);
    std::string other = std::string(temp) + "tidewell-history-cwd";
    CreateDirectoryA(other.c_str(), nullptr);
    std::ofstream(other + "\\KORVANE.LOG") << "a stranger's log\r\n";
    std::ofstream(other + "\\" + FileNameOfPath(path().c_str())) << "a stranger's log\r\n";
    SetCurrentDirectoryA(other.c_str());
    Run([](HWND dialog) {
        EXPECT_EQ(std::vector<std::string>{"the real log"}, Shown(dialog));
        DialogDriver::Click(dialog, IDCANCEL);
    });
    SetCurrentDirectoryA(previous);
    DeleteFileA((other + "\\KORVANE.LOG").c_str());
    DeleteFileA((other + "\\" + FileNameOfPath(path().c_str())).c_str());
    RemoveDirectoryA(other.c_str());
}

TEST_F(HistoryDialogTest, AMissingLogSaysSoAndAnEmptyOneShowsNothing) {
    Run([](HWND dialog) {
        EXPECT_EQ(std::vector<std::string>{"KORVANE.LOG not found."}, Shown(dialog));
        EXPECT_EQ("---", DialogDriver::ItemText(dialog, IDC_HISTORY_NOTE));
        DialogDriver::Click(dialog, IDCANCEL);
    });
    Write("");
    Run([](HWND dialog) {
        EXPECT_TRUE(Shown(dialog).empty());
        DialogDriver::Click(dialog, IDCANCEL);
    });
}

TEST_F(HistoryDialogTest, RemoveAsksFirstAndEmptiesTheText) {
    Write("line 1\r\nline 2\r\n");
    boxes_.Answer(IDNO);
    boxes_.Answer(IDYES);
    Run([&](HWND dialog) {
        DialogDriver::Click(dialog, IDC_HISTORY_REMOVE);
        EXPECT_EQ((std::vector<std::string>{"line 1", "line 2"}), Shown(dialog)) << "No keeps the log";
        EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path().c_str()));
        DialogDriver::Click(dialog, IDC_HISTORY_REMOVE);
        EXPECT_TRUE(Shown(dialog).empty());
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path().c_str()));
        DialogDriver::Click(dialog, IDCANCEL);
    });
    ASSERT_EQ(2u, boxes_.calls().size());
    EXPECT_EQ("Are you sure you want to remove the history?", boxes_.calls()[0].text);
    EXPECT_EQ(UINT(MB_YESNO | MB_ICONQUESTION), boxes_.calls()[0].type);
    EXPECT_EQ("Tidewell", boxes_.calls()[0].caption);
}

TEST_F(HistoryDialogTest, ALogAnotherProgramHoldsIsNotRemovedAndStaysShown) {
    Write("held line\r\n");
    UniqueFile held(CreateFileA(path().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    boxes_.Answer(IDYES);
    Run([](HWND dialog) {
        DialogDriver::Click(dialog, IDC_HISTORY_REMOVE);
        EXPECT_EQ(std::vector<std::string>{"held line"}, Shown(dialog)) << "the text stays as it was";
        DialogDriver::Click(dialog, IDCANCEL);
    });
    ASSERT_EQ(2u, boxes_.calls().size());
    EXPECT_EQ("KORVANE.LOG:Cannot delete file.", boxes_.calls()[1].text);
    EXPECT_EQ(UINT(MB_YESNO | MB_ICONERROR), boxes_.calls()[1].type);
    held.Reset();
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path().c_str()));
}

TEST_F(HistoryDialogTest, TheDebugBoxFollowsTheTraceModeAndCloseStoresIt) {
    Run([](HWND dialog) {
        EXPECT_FALSE(Checked(dialog, IDC_HISTORY_DEBUG));
        DialogDriver::Click(dialog, IDC_HISTORY_DEBUG);
        EXPECT_EQ(0xFFFFFFFF, StoredFjlog()) << "nothing is stored before Close";
        DialogDriver::Click(dialog, IDCANCEL);
    });
    EXPECT_TRUE(TraceMode());
    EXPECT_EQ(1u, StoredFjlog());
    // Escape and the close box end the dialog as Close does.
    Run([](HWND dialog) {
        EXPECT_TRUE(Checked(dialog, IDC_HISTORY_DEBUG));
        DialogDriver::Click(dialog, IDC_HISTORY_DEBUG);
        PostMessageA(dialog, WM_CLOSE, 0, 0);
    });
    EXPECT_FALSE(TraceMode());
    EXPECT_EQ(0u, StoredFjlog());
    EXPECT_TRUE(boxes_.calls().empty());
}

TEST_F(HistoryDialogTest, ASettingsKeyThatCannotBeWrittenLeavesFjlogButTheTraceModeChanges) {
    ASSERT_TRUE(WriteSettingDword(setting::fjlog.name, 0));
    ASSERT_TRUE(SetKeyWritable(HKEY_LOCAL_MACHINE, kSettingsPath, false));
    Run([](HWND dialog) {
        DialogDriver::Click(dialog, IDC_HISTORY_DEBUG);
        DialogDriver::Click(dialog, IDCANCEL);
    });
    SetKeyWritable(HKEY_LOCAL_MACHINE, kSettingsPath, true);
    EXPECT_TRUE(TraceMode());
    EXPECT_EQ(0u, StoredFjlog());
    ASSERT_EQ(1u, boxes_.calls().size());
    EXPECT_EQ("Cannot open registry key.\r\n KV4", boxes_.calls()[0].text);
}

TEST_F(HistoryDialogTest, TheDialogGrowsWithTheLogAndNeverShrinksBelowItsFirstSize) {
    Write("line\r\n");
    Run([](HWND dialog) {
        auto place = [dialog](int id) {
            RECT r;
            GetWindowRect(GetDlgItem(dialog, id), &r);
            MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT *>(&r), 2);
            return r;
        };
        RECT outer;
        GetWindowRect(dialog, &outer);
        RECT text = place(IDC_HISTORY_TEXT), note = place(IDC_HISTORY_NOTE), debug = place(IDC_HISTORY_DEBUG),
             close = place(IDCANCEL);
        SetWindowPos(dialog, nullptr, 0, 0, outer.right - outer.left + 100, outer.bottom - outer.top + 100,
                     SWP_NOMOVE | SWP_NOZORDER);
        RECT text2 = place(IDC_HISTORY_TEXT), note2 = place(IDC_HISTORY_NOTE), debug2 = place(IDC_HISTORY_DEBUG),
             close2 = place(IDCANCEL);
        EXPECT_EQ(text.right - text.left + 100, text2.right - text2.left);
        EXPECT_EQ(text.bottom - text.top + 100, text2.bottom - text2.top);
        EXPECT_EQ(note.right - note.left + 100, note2.right - note2.left);
        EXPECT_EQ(note.top + 100, note2.top);
        EXPECT_EQ(debug.left, debug2.left);
        EXPECT_EQ(debug.top + 100, debug2.top);
        EXPECT_EQ(close.left + 100, close2.left);
        EXPECT_EQ(close.top + 100, close2.top);
        SetWindowPos(dialog, nullptr, 0, 0, 50, 50, SWP_NOMOVE | SWP_NOZORDER);
        RECT small;
        GetWindowRect(dialog, &small);
        EXPECT_EQ(outer.right - outer.left, small.right - small.left) << "the first size is the smallest";
        EXPECT_EQ(outer.bottom - outer.top, small.bottom - small.top);
        EXPECT_NE(nullptr, reinterpret_cast<HICON>(SendMessageA(dialog, WM_GETICON, ICON_SMALL, 0)));
        DialogDriver::Click(dialog, IDCANCEL);
    });
}

TEST_F(HistoryDialogTest, JapaneseShowsItsNoteAndSaysWhenThereIsNothingToShow) {
    SetLanguage(Program::Korvane, true);
    Write("");
    boxes_.Answer(IDYES);
    Run(
        [](HWND dialog) {
            EXPECT_EQ(std::vector<std::string>{"表示する情報はありません。"}, Shown(dialog));
            EXPECT_NE(std::string::npos, DialogDriver::ItemText(dialog, IDC_HISTORY_NOTE).find("300"));
            DialogDriver::Click(dialog, IDC_HISTORY_REMOVE);
            EXPECT_EQ(std::vector<std::string>{"表示する情報はありません。"}, Shown(dialog)) << "after Remove as well";
            DialogDriver::Click(dialog, IDCANCEL);
        },
        AnsiTitle(L"\u5C65\u6B74"));
    EXPECT_EQ("履歴を削除してもよろしいですか?", boxes_.calls().at(0).text);
    SetLanguage(Program::Korvane, false);
}

} // namespace
