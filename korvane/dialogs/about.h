// The About dialog: its texts as plain functions, the links it opens, and the dialog.
#pragma once

#include <windows.h>

#include <string>

// "%s version %u.%u%u.%02u%s [%s](%s)" (Japanese twin in Japanese): the program name, the four
// numbers of fileVersion "a.b.c.d" (missing ones 0), the build kind (SpecialBuild, after a blank
// when there is one), the platform and the build stamp.
std::string AboutVersionLine(const char *name, const char *fileVersion, const char *specialBuild, const char *platform,
                             const char *stamp);
// The notice of a development build (build type 1 preview, 2 beta) or of a release (0).
const char *AboutNotice(int buildType);
// The addresses of the rich-edit field: "[WebPage]" and "[Contact]", each address on its own line
// indented by two blanks, lines joined by CR LF.
std::string AboutAddressText(const char *webSite, const char *contactPage);

// A link's text is read only for a sound character range shorter than this.
constexpr LONG kLinkTextLimit = 128;
bool LinkRangeReadable(LONG first, LONG last);

// How About opens a link (ShellExecuteA); tests put a recorder here.
using OpenLinkFunction = HINSTANCE(WINAPI *)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);
extern OpenLinkFunction g_openLink;
// The rich-edit library of the address field, loaded from the System folder while About is shown.
extern const char *g_richEditLibrary;

// The modal About dialog; a rich-edit library that cannot be loaded is reported instead.
void ShowAboutDialog(HWND owner);
