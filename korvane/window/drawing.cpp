// drawing: what the main window draws and points with: the GUI and title fonts, the white brush,
// the cursors.
#include "korvane.h"
#include "window/korvwin.h"

double g_dpiScaleX = 1.0, g_dpiScaleY = 1.0;
HFONT g_guiFont = nullptr;
HFONT g_titleFont = nullptr;
HBRUSH g_whiteBrush = nullptr;
HCURSOR g_arrowCursor = nullptr, g_handCursor = nullptr;

const char *TitleFontFace(bool japanese, unsigned short windowsVersion) {
    if (!japanese) return "Arial";
    return windowsVersion < 410 ? "ＭＳ Ｐゴシック" : "MS UI Gothic";
}

HFONT CreateTitleFont(bool japanese, unsigned short windowsVersion, double scaleY) {
    LOGFONTA font = {};
    font.lfHeight = LONG(30 * scaleY);
    font.lfWeight = 956;
    font.lfCharSet = SHIFTJIS_CHARSET;
    font.lfOutPrecision = OUT_TT_PRECIS;
    font.lfPitchAndFamily = VARIABLE_PITCH;
    lstrcpynA(font.lfFaceName, TitleFontFace(japanese, windowsVersion), LF_FACESIZE);
    return CreateFontIndirectA(&font);
}
