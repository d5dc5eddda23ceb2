// The environment report and its dialog: the numbers it decodes, the sections it holds in each
// language, and the resizable layout that keeps the text filling the window.
#include "korvane.h"
#include "window/layout.h"
#include "dialogs/sysq.h"

#include "dialog_driver.h"
#include "language.h"
#include "resource.h"
#include "scoped_messages.h"
#include "wide_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// ---- Plain pieces -------------------------------------------------------------------------------

TEST(EnvironmentPieces, ProcessorSignaturesDecodeAsTheMakersCount) {
    struct Case {
        unsigned eax, family, model, stepping;
    } cases[] = {
        {0x000906EA, 6, 158, 10}, // Coffee Lake: extended model counts for family 6
        {0x00000695, 6, 9, 5},    // Pentium M
        {0x00000F4A, 15, 4, 10},  // Pentium 4
        {0x00800F11, 23, 1, 1},   // Zen: extended family added to 15
        {0x00A20F10, 25, 33, 0},  // Zen 3: both extended fields
        {0x00010543, 5, 4, 3},    // family 5 ignores the extended model
    };
    for (const Case &c : cases) {
        CpuSignature s = DecodeCpuSignature(c.eax);
        EXPECT_EQ(c.family, s.family) << std::hex << c.eax;
        EXPECT_EQ(c.model, s.model) << std::hex << c.eax;
        EXPECT_EQ(c.stepping, s.stepping) << std::hex << c.eax;
    }
}

TEST(EnvironmentPieces, FeaturesAreNamedFromTheirRegisters) {
    EXPECT_EQ("", CpuFeatureText(CpuidFeatures()));
    CpuidFeatures features;
    features.leaf1Edx = (1u << 23) | (1u << 26);
    features.leaf1Ecx = (1u << 31) | (1u << 28);
    features.leaf7Ebx = 1u << 5;
    features.extendedEdx = 1u << 29;
    EXPECT_EQ("MMX SSE2 AVX AVX2 x86-64 HYPERVISOR", CpuFeatureText(features));
}

TEST(EnvironmentPieces, SizesOffsetsAndProductNames) {
    const unsigned long long kMiB = 1ull << 20, kGiB = 1ull << 30;
    struct {
        unsigned long long bytes;
        const char *text;
    } sizes[] = {
        {0, "0 KB"},
        {1023, "0 KB"},
        {512 * 1024, "512 KB"},
        {kMiB, "1 MB"},
        {640 * kMiB, "640 MB"},
        {kGiB, "1.0 GB"},
        {8 * kGiB - 200 * kMiB, "7.8 GB"},
        {2048 * kGiB, "2.0 TB"},
    };
    for (const auto &c : sizes)
        EXPECT_EQ(c.text, ByteSizeText(c.bytes)) << c.bytes;

    struct {
        LONG bias;
        const char *text;
    } offsets[] = {{-540, "UTC+09:00"}, {0, "UTC+00:00"}, {300, "UTC-05:00"}, {-330, "UTC+05:30"}, {210, "UTC-03:30"}};
    for (const auto &c : offsets)
        EXPECT_EQ(c.text, UtcOffsetText(c.bias)) << c.bias;

    EXPECT_EQ("Windows 11 Pro", WindowsProductName("Windows 10 Pro", 22631));
    EXPECT_EQ("Windows 10 Pro", WindowsProductName("Windows 10 Pro", 19045));
    EXPECT_EQ("Windows 7 Ultimate", WindowsProductName("Windows 7 Ultimate", 7601));
    EXPECT_EQ("Windows", WindowsProductName("", 0));
    EXPECT_EQ("Windows", WindowsProductName(nullptr, 0));
}

// ---- The report ---------------------------------------------------------------------------------

class EnvironmentReportTest : public ::testing::Test {
protected:
    void SetUp() override { SetLanguage(Program::Korvane, false); }
    void TearDown() override { SetLanguage(Program::Korvane, false); }
};

TEST_F(EnvironmentReportTest, HoldsEverySectionInOrderInEnglish) {
    std::string report = BuildEnvironmentReport();
    ASSERT_FALSE(report.empty());
    EXPECT_EQ(0u, report.find("SYSQ32 (Information of your Environment) "));
    size_t last = 0;
    for (const char *heading :
         {"[Processor]\r\n", "[Windows]\r\n", "[Memory]\r\n", "[Screens]\r\n", "[Keyboard]\r\n", "[Drives]\r\n",
          "[Display adapters]\r\n", "[Network adapters]\r\n", "[Time zone]\r\n"}) {
        size_t at = report.find(heading);
        ASSERT_NE(std::string::npos, at) << heading << " missing in:\n" << report;
        EXPECT_LT(last, at) << heading << " out of order";
        last = at;
    }
    for (const char *line : {"\r\nVendor: ", "\r\nFamily/Model/Stepping: ", "\r\nPhysical memory: ", "\r\nScreen 1: ",
                             "\r\nLayout: ", "\r\nC: fixed disk", "\r\nOffset: UTC"})
        EXPECT_NE(std::string::npos, report.find(line)) << line << " missing in:\n" << report;
    // The edit control shows only CR LF as a line break.
    for (size_t at = report.find('\n'); at != std::string::npos; at = report.find('\n', at + 1))
        ASSERT_TRUE(at > 0 && report[at - 1] == '\r') << "bare LF at " << at;
    // Names Windows gives (time zone, adapters) come in the system's language; the report's own
    // headings and labels are English.
    size_t start = 0;
    for (size_t end = report.find("\r\n"); end != std::string::npos;
         start = end + 2, end = report.find("\r\n", start)) {
        std::string line = report.substr(start, end - start);
        std::string label = line.substr(0, line.find(": "));
        for (unsigned char c : label)
            ASSERT_LT(c, 0x80) << "not English: " << line;
    }
}

TEST_F(EnvironmentReportTest, JapaneseModeHasJapaneseHeadings) {
    SetLanguage(Program::Korvane, true);
    std::wstring report = FromCodePage(932, BuildEnvironmentReport());
    for (const wchar_t *heading : {L"[\u30D7\u30ED\u30BB\u30C3\u30B5]", L"[\u30E1\u30E2\u30EA]",
                                   L"[\u30C9\u30E9\u30A4\u30D6]", L"[\u30BF\u30A4\u30E0 \u30BE\u30FC\u30F3]"})
        EXPECT_NE(std::wstring::npos, report.find(heading));
    EXPECT_EQ(std::wstring::npos, report.find(L"[Processor]"));
    EXPECT_EQ(std::wstring::npos, report.find(L"[Memory]"));
}

// ---- The layout ---------------------------------------------------------------------------------

TEST(DialogLayoutRule, EnlargingBy100MovesAndStretchesByKind) {
    const RECT control = {20, 30, 120, 50}; // 100 x 20
    const SIZE opened = {400, 300}, larger = {500, 400};
    struct Case {
        int kind, x, y, width, height;
        UINT flags;
    } cases[] = {
        {kAnchorRight, 120, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER},
        {kAnchorBottom, 20, 130, 0, 0, SWP_NOSIZE | SWP_NOZORDER},
        {kAnchorCorner, 120, 130, 0, 0, SWP_NOSIZE | SWP_NOZORDER},
        {kAnchorWidth, 0, 0, 200, 20, SWP_NOMOVE | SWP_NOZORDER},
        {kAnchorSize, 0, 0, 200, 120, SWP_NOMOVE | SWP_NOZORDER},
        {kAnchorBottomWidth, 20, 130, 200, 20, SWP_NOZORDER},
    };
    for (const Case &c : cases) {
        AnchorRecord record = MeasureAnchor(c.kind, control, opened);
        AnchoredPlace place = PlaceAnchored(record, larger);
        EXPECT_EQ(c.flags, place.flags) << "kind " << c.kind;
        if (!(c.flags & SWP_NOMOVE)) {
            EXPECT_EQ(c.x, place.x) << "kind " << c.kind;
            EXPECT_EQ(c.y, place.y) << "kind " << c.kind;
        }
        if (!(c.flags & SWP_NOSIZE)) {
            EXPECT_EQ(c.width, place.width) << "kind " << c.kind;
            EXPECT_EQ(c.height, place.height) << "kind " << c.kind;
        }
        // At the opening size nothing changes.
        AnchoredPlace same = PlaceAnchored(record, opened);
        if (!(c.flags & SWP_NOMOVE)) {
            EXPECT_EQ(20, same.x) << "kind " << c.kind;
        }
        if (!(c.flags & SWP_NOSIZE)) {
            EXPECT_EQ(100, same.width) << "kind " << c.kind;
        }
    }
}

TEST(DialogLayoutRule, MissingControlsAreSkippedAndTheOpeningSizeIsTheLeast) {
    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_THICKFRAME, 10, 10, 400, 300, nullptr, nullptr,
                                  nullptr, nullptr);
    ASSERT_NE(nullptr, window);
    HWND button =
        CreateWindowExA(0, "BUTTON", "b", WS_CHILD, 300, 200, 80, 20, window, HMENU(INT_PTR(1)), nullptr, nullptr);
    const Anchor table[] = {{1, kAnchorCorner}, {99, kAnchorSize}, {0, 0}};
    DialogLayout layout;
    EXPECT_FALSE(layout.Create(nullptr, table));
    EXPECT_FALSE(layout.Create(window, nullptr));
    ASSERT_TRUE(layout.Create(window, table));

    SetWindowPos(window, nullptr, 0, 0, 500, 400, SWP_NOMOVE | SWP_NOZORDER);
    layout.Apply();
    RECT place;
    GetWindowRect(button, &place);
    MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT *>(&place), 2);
    EXPECT_EQ(400, place.left);
    EXPECT_EQ(300, place.top);
    EXPECT_EQ(80, place.right - place.left);

    MINMAXINFO limits = {};
    limits.ptMaxTrackSize = {1234, 987};
    layout.Limits(&limits);
    EXPECT_EQ(400, limits.ptMinTrackSize.x);
    EXPECT_EQ(300, limits.ptMinTrackSize.y);
    EXPECT_EQ(1234, limits.ptMaxTrackSize.x) << "no maximum of its own";
    layout.Destroy();
    DestroyWindow(window);
}

// ---- The dialog ---------------------------------------------------------------------------------

RECT ItemRect(HWND dialog, int id) {
    RECT rect = {};
    GetWindowRect(GetDlgItem(dialog, id), &rect);
    MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT *>(&rect), 2);
    return rect;
}

std::string ClipboardText() {
    std::string text;
    if (!OpenClipboard(nullptr)) return "(clipboard busy)";
    if (HANDLE data = GetClipboardData(CF_TEXT)) {
        if (const char *locked = static_cast<const char *>(GlobalLock(data))) {
            text = locked;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

TEST_F(EnvironmentReportTest, DialogResizesItsTextAndCopiesIt) {
    ScopedMessages boxes;
    struct {
        std::string text, clipboard;
        RECT textBefore, textAfter, closeBefore, closeAfter, copyBefore, copyAfter, window, shrunk;
    } seen = {};
    DialogDriver driver("SYSQ32 (Information of your Environment)", [&](HWND dialog) {
        seen.text = DialogDriver::ItemText(dialog, IDC_SYSQ_TEXT);
        seen.textBefore = ItemRect(dialog, IDC_SYSQ_TEXT);
        seen.closeBefore = ItemRect(dialog, IDCANCEL);
        seen.copyBefore = ItemRect(dialog, IDC_SYSQ_COPY);
        GetWindowRect(dialog, &seen.window);
        int width = seen.window.right - seen.window.left, height = seen.window.bottom - seen.window.top;
        SetWindowPos(dialog, nullptr, 0, 0, width + 100, height + 100, SWP_NOMOVE | SWP_NOZORDER);
        seen.textAfter = ItemRect(dialog, IDC_SYSQ_TEXT);
        seen.closeAfter = ItemRect(dialog, IDCANCEL);
        seen.copyAfter = ItemRect(dialog, IDC_SYSQ_COPY);
        SetWindowPos(dialog, nullptr, 0, 0, width / 2, height / 2, SWP_NOMOVE | SWP_NOZORDER);
        GetWindowRect(dialog, &seen.shrunk);
        DialogDriver::Click(dialog, IDC_SYSQ_COPY);
        seen.clipboard = ClipboardText();
        DialogDriver::Command(dialog, IDCANCEL);
    });
    ShowEnvironmentReport(nullptr);
    ASSERT_TRUE(driver.Join());

    EXPECT_NE(std::string::npos, seen.text.find("[Processor]"));
    EXPECT_EQ(seen.textBefore.left, seen.textAfter.left);
    EXPECT_EQ(seen.textBefore.top, seen.textAfter.top);
    EXPECT_EQ(seen.textBefore.right + 100, seen.textAfter.right);
    EXPECT_EQ(seen.textBefore.bottom + 100, seen.textAfter.bottom);
    EXPECT_EQ(seen.closeBefore.left + 100, seen.closeAfter.left);
    EXPECT_EQ(seen.closeBefore.top + 100, seen.closeAfter.top);
    EXPECT_EQ(seen.copyBefore.left, seen.copyAfter.left);
    EXPECT_EQ(seen.copyBefore.top + 100, seen.copyAfter.top);
    EXPECT_EQ(seen.window.right - seen.window.left, seen.shrunk.right - seen.shrunk.left) << "smaller than opened";
    EXPECT_EQ(seen.window.bottom - seen.window.top, seen.shrunk.bottom - seen.shrunk.top) << "smaller than opened";

    EXPECT_EQ(seen.text, seen.clipboard);
    std::vector<MessageBoxCall> calls = boxes.calls();
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ("Copying to Clipboard is completed.", calls[0].text);
}

} // namespace
