// wizavg: the adventure-game presentation of a wizard page: the page text shown a step at a time in
// a tinted text window over the theme's pictures, with its sounds and wipes, and at its end the
// answers as choices to click. The pictures collect in a scene of their own; each step is composed
// from the scene, the title box and the text window into the main window's picture.
#include "korvane.h"
#include "window/korvwin.h"
#include "window/wizwin.h"

#include "language.h"
#include "platform.h"
#include "winhandle.h"

#include <mmsystem.h>

namespace {

constexpr int kWipeStrips = 16;
constexpr BYTE kTintAlpha = 176;
const COLORREF kTint = RGB(0x10, 0x18, 0x60);

// A memory DC with a bitmap of its own.
class MemoryPicture {
public:
    ~MemoryPicture() { Reset(); }
    bool Make(HDC like, int width, int height) {
        Reset();
        dc_ = CreateCompatibleDC(like);
        bitmap_ = CreateCompatibleBitmap(like, width, height);
        if (!dc_ || !bitmap_) {
            Reset();
            return false;
        }
        original_ = SelectObject(dc_, bitmap_);
        return true;
    }
    void Reset() {
        if (dc_ && original_) SelectObject(dc_, original_);
        if (dc_) DeleteDC(dc_);
        if (bitmap_) DeleteObject(bitmap_);
        dc_ = nullptr;
        bitmap_ = nullptr;
        original_ = nullptr;
    }
    HDC Dc() const { return dc_; }

private:
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ original_ = nullptr;
};

struct Presentation {
    bool showing = false;
    std::vector<AvgOp> ops;
    size_t next = 0;
    std::string stepText;
    bool complete = false;
    int hover = 0;
    int wipeStrip = -1; // the next strip of a wipe under way, -1 for none
    MemoryPicture scene, stage;
    UniqueGdiObject font;
};
Presentation g_avg;

RECT Scaled(const RECT &logical) {
    return {ScaleX(logical.left), ScaleY(logical.top), ScaleX(logical.right), ScaleY(logical.bottom)};
}

SIZE ClientPixels() {
    SIZE logical = MainLogicalSize();
    return {ScaleX(logical.cx), ScaleY(logical.cy)};
}

bool CtrlHeld() {
    return GetKeyState(VK_CONTROL) < 0;
}

HFONT MakeAvgFont() {
    LOGFONTA font = {};
    font.lfHeight = -ScaleY(kAvgFontHeight);
    font.lfWeight = 500;
    font.lfCharSet = IsJapanese() ? SHIFTJIS_CHARSET : DEFAULT_CHARSET;
    lstrcpynA(font.lfFaceName, CurrentTheme().font.c_str(), LF_FACESIZE);
    return CreateFontIndirectA(&font);
}

// ---- The text window --------------------------------------------------------------------------------

using AlphaBlendFunction = BOOL(WINAPI *)(HDC, int, int, int, int, HDC, int, int, int, int, BLENDFUNCTION);

// AlphaBlend comes with msimg32, looked for once.
AlphaBlendFunction AlphaBlendEntry() {
    static const AlphaBlendFunction entry =
        GetProcAs<AlphaBlendFunction>(LoadSystemLibrary("msimg32.dll"), "AlphaBlend");
    return entry;
}

bool BlendTint(HDC dc, const RECT &box) {
    AlphaBlendFunction alphaBlend = AlphaBlendEntry();
    if (!alphaBlend) return false;
    MemoryPicture tint;
    if (!tint.Make(dc, 1, 1)) return false;
    SetPixel(tint.Dc(), 0, 0, kTint);
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, kTintAlpha, 0};
    return alphaBlend(dc, box.left, box.top, box.right - box.left, box.bottom - box.top, tint.Dc(), 0, 0, 1, 1,
                      blend) != FALSE;
}

// Without AlphaBlend every other pixel is darkened.
void DitherTint(HDC dc, const RECT &box) {
    static const WORD kChecker[8] = {0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55, 0xAA};
    UniqueGdiObject pattern(CreateBitmap(8, 8, 1, 1, kChecker));
    UniqueGdiObject brush(CreatePatternBrush(static_cast<HBITMAP>(pattern.Get())));
    if (!brush) return;
    Selected selected(dc, brush.Get());
    SetTextColor(dc, kTint);
    SetBkColor(dc, RGB(0xFF, 0xFF, 0xFF));
    PatBlt(dc, box.left, box.top, box.right - box.left, box.bottom - box.top, 0x00A000C9); // DPa
}

void DrawTintedBox(HDC dc, const RECT &box) {
    int radius = ScaleX(8) * 2;
    UniqueGdiObject region(CreateRoundRectRgn(box.left, box.top, box.right + 1, box.bottom + 1, radius, radius));
    SelectClipRgn(dc, static_cast<HRGN>(region.Get()));
    if (!BlendTint(dc, box)) DitherTint(dc, box);
    SelectClipRgn(dc, nullptr);
    UniqueGdiObject pen(CreatePen(PS_SOLID, 3, RGB(0xFF, 0xFF, 0xFF)));
    Selected selectedPen(dc, pen.Get());
    Selected hollow(dc, GetStockObject(NULL_BRUSH));
    RoundRect(dc, box.left, box.top, box.right, box.bottom, radius, radius);
}

void DrawTitleBox(HDC dc) {
    const std::string &title = CurrentPageView().title;
    SIZE extent = {0, 0};
    GetTextExtentPoint32A(dc, title.c_str(), static_cast<int>(title.size()), &extent);
    RECT box = {ScaleX(8), ScaleY(8), ScaleX(18) + extent.cx, ScaleY(18) + extent.cy};
    DrawTintedBox(dc, box);
    TextOutA(dc, ScaleX(13), ScaleY(13), title.c_str(), static_cast<int>(title.size()));
}

void DrawChoices(HDC dc, SIZE logical) {
    const PageView &view = CurrentPageView();
    for (const AvgChoice &choice : AvgChoiceFrames(logical, kAvgFontHeight, view.state)) {
        RECT frame = Scaled(choice.frame);
        const std::string &text = view.buttons[choice.button - 1];
        TextOutA(dc, ScaleX(24), frame.top + ScaleY(2), text.c_str(), static_cast<int>(text.size()));
        UniqueGdiObject pen(
            CreatePen(PS_SOLID, 2, choice.button == g_avg.hover ? RGB(0xFF, 0x20, 0x20) : RGB(0x40, 0x60, 0xFF)));
        Selected selectedPen(dc, pen.Get());
        Selected hollow(dc, GetStockObject(NULL_BRUSH));
        Rectangle(dc, frame.left, frame.top, frame.right, frame.bottom);
    }
}

void DrawTextWindow(HDC dc) {
    SIZE logical = MainLogicalSize();
    DrawTintedBox(dc, Scaled({8, logical.cy - 171, logical.cx - 8, logical.cy - 44}));
    if (g_avg.complete) {
        DrawChoices(dc, logical);
        return;
    }
    RECT text = Scaled({24, logical.cy - 159, logical.cx - 24, logical.cy - 55});
    DrawTextA(dc, g_avg.stepText.c_str(), static_cast<int>(g_avg.stepText.size()), &text, DT_WORDBREAK | DT_NOPREFIX);
}

void Compose(HDC dc) {
    SIZE client = ClientPixels();
    BitBlt(dc, 0, 0, client.cx, client.cy, g_avg.scene.Dc(), 0, 0, SRCCOPY);
    Selected font(dc, g_avg.font ? g_avg.font.Get() : WizardGuiFont());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0xFF, 0xFF, 0xFF));
    DrawTitleBox(dc);
    DrawTextWindow(dc);
}

// ---- Steps ------------------------------------------------------------------------------------------

void DrawPicture(const std::string &file, DWORD rop) {
    UniqueGdiObject picture(LoadBitmapFile(file));
    if (!picture) return;
    SIZE client = ClientPixels();
    DrawBitmap(g_avg.scene.Dc(), static_cast<HBITMAP>(picture.Get()), {0, 0, client.cx, client.cy}, rop);
}

void RevealStrip(HWND window, int strip) {
    SIZE client = ClientPixels();
    int left = client.cx * strip / kWipeStrips, right = client.cx * (strip + 1) / kWipeStrips;
    BitBlt(MainOffScreenDc(), left, 0, right - left, client.cy, g_avg.stage.Dc(), left, 0, SRCCOPY);
    RECT changed = {left, 0, right, client.cy};
    InvalidateRect(window, &changed, FALSE);
}

void FinishWipe(HWND window) {
    while (g_avg.wipeStrip >= 0 && g_avg.wipeStrip < kWipeStrips)
        RevealStrip(window, g_avg.wipeStrip++);
    g_avg.wipeStrip = -1;
}

// Shows the composed screen at once, or strip by strip from the left on the timer.
void Present(HWND window, bool wipe) {
    HDC target = MainOffScreenDc();
    if (!target || !g_avg.scene.Dc()) return;
    SIZE client = ClientPixels();
    if (wipe && g_avg.stage.Make(target, client.cx, client.cy)) {
        Compose(g_avg.stage.Dc());
        g_avg.wipeStrip = 0;
        if (CtrlHeld()) FinishWipe(window);
        return;
    }
    Compose(target);
    InvalidateRect(window, nullptr, FALSE);
}

// Carries out the escapes up to the next pause; the step's text replaces the last one's.
void RunStep(HWND window) {
    g_avg.stepText.clear();
    bool wipe = false;
    while (g_avg.next < g_avg.ops.size()) {
        const AvgOp &op = g_avg.ops[g_avg.next++];
        if (op.kind == AvgOpKind::Pause) break;
        switch (op.kind) {
        case AvgOpKind::Text:
            g_avg.stepText += op.argument;
            break;
        case AvgOpKind::LineBreak:
            g_avg.stepText += "\r\n";
            break;
        case AvgOpKind::Wallpaper:
            DrawPicture(op.argument, SRCCOPY);
            break;
        case AvgOpKind::Mask:
            DrawPicture(op.argument, SRCAND);
            break;
        case AvgOpKind::Char:
            DrawPicture(op.argument, SRCPAINT);
            break;
        case AvgOpKind::Wave:
            PlaySoundA(op.argument.c_str(), nullptr, SND_ASYNC | SND_FILENAME | SND_NODEFAULT);
            break;
        default:
            wipe = true;
            break;
        }
    }
    Present(window, wipe);
}

void Advance(HWND window) {
    if (g_avg.wipeStrip >= 0) {
        FinishWipe(window);
        return;
    }
    if (g_avg.complete) return;
    if (g_avg.next >= g_avg.ops.size()) {
        g_avg.complete = true;
        Present(window, false);
        return;
    }
    RunStep(window);
}

bool MakeScene() {
    HDC screen = MainOffScreenDc();
    SIZE client = ClientPixels();
    if (!screen || !g_avg.scene.Make(screen, client.cx, client.cy)) return false;
    DrawWizardFrame(g_avg.scene.Dc(), CurrentPageView().page);
    RECT picture = {0, 0, client.cx, ScaleY(MainLogicalSize().cy - 41)};
    FillRect(g_avg.scene.Dc(), &picture, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    return true;
}

} // namespace

void BeginAvgPage(HWND window) {
    EndAvgPage();
    const PageView &view = CurrentPageView();
    g_avg.showing = true;
    g_avg.ops = ParseAvgText(view.text.data(), view.text.size());
    g_avg.font.Reset(MakeAvgFont());
    if (ThemeValueGiven(CurrentTheme().bgm.c_str())) PlayBackgroundMusic(CurrentTheme().bgm.c_str(), window);
    SetTimer(window, kWizardTimerId, 50, nullptr);
    if (!MakeScene()) return;
    g_avg.complete = g_avg.ops.empty();
    if (g_avg.complete)
        Present(window, false);
    else
        RunStep(window);
}

void EndAvgPage() {
    if (g_avg.showing) PlaySoundA(nullptr, nullptr, 0);
    g_avg.showing = false;
    g_avg.ops.clear();
    g_avg.next = 0;
    g_avg.stepText.clear();
    g_avg.complete = false;
    g_avg.hover = 0;
    g_avg.wipeStrip = -1;
    g_avg.scene.Reset();
    g_avg.stage.Reset();
    g_avg.font.Reset();
}

bool AvgShowing() {
    return g_avg.showing;
}

bool AvgTextComplete() {
    return g_avg.complete;
}

namespace {

POINT ToLogical(POINT pixel) {
    double scaleX = g_dpiScaleX > 0 ? g_dpiScaleX : 1.0, scaleY = g_dpiScaleY > 0 ? g_dpiScaleY : 1.0;
    return {static_cast<LONG>(pixel.x / scaleX), static_cast<LONG>(pixel.y / scaleY)};
}

int ChoiceAt(POINT pixel) {
    if (!g_avg.complete) return 0;
    return AvgChoiceAt(AvgChoiceFrames(MainLogicalSize(), kAvgFontHeight, CurrentPageView().state), ToLogical(pixel));
}

} // namespace

void OnAvgClick(HWND window, POINT pixel) {
    if (!g_avg.showing) return;
    if (g_avg.wipeStrip >= 0 || !g_avg.complete) {
        Advance(window);
        return;
    }
    int choice = ChoiceAt(pixel);
    if (choice) OnWizardAnswer(window, choice);
}

void OnAvgMove(HWND window, POINT pixel) {
    if (!g_avg.showing || g_avg.wipeStrip >= 0) return;
    int choice = ChoiceAt(pixel);
    if (choice == g_avg.hover) return;
    g_avg.hover = choice;
    Present(window, false);
    if (choice && g_windowsVersion >= 401) SetCursor(g_handCursor ? g_handCursor : LoadCursor(nullptr, IDC_HAND));
}

void OnAvgTick(HWND window) {
    if (!g_avg.showing) return;
    if (g_avg.wipeStrip >= 0) {
        if (CtrlHeld())
            FinishWipe(window);
        else if (g_avg.wipeStrip < kWipeStrips)
            RevealStrip(window, g_avg.wipeStrip++);
        if (g_avg.wipeStrip >= kWipeStrips) g_avg.wipeStrip = -1;
        return;
    }
    if (CtrlHeld()) Advance(window);
}

bool AvgOverChoice() {
    return g_avg.showing && g_avg.hover != 0;
}
