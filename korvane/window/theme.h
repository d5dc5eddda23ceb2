// Wizard themes: the ini file that replaces the wizard's texts, pictures, help, font, music and
// size; the theme scripts its values may refer to; the escape codes of the adventure-game
// presentation; and the installation of a theme from a dropped archive. Everything here works
// without a window, on texts of explicit length.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// ---- The theme file -----------------------------------------------------------------------------

constexpr SIZE kDefaultWizardSize = {593, 401};

// The "main" section.
struct ThemeMain {
    bool avg = false;   // "mode" AVG (any case); anything else the normal style
    std::string font;   // the face of the AVG text
    std::string bgm;    // a music file, or "none"
    std::string screen; // "W,H" as written
    std::string name;   // the name in the Customizing menu, "None" when not given
};

// One page's section; an element that is missing or "none" is empty and keeps the built-in one.
struct ThemePage {
    std::string text, title, bitmap, help;
    std::string buttons[5];
};

// The section of a page: "21-NT" for the first page, the page number for the others.
std::string ThemeSectionOf(int page);
// Whether a theme value replaces the built-in element: given, and not "none" (any case).
bool ThemeValueGiven(const char *value);
// The theme file of a stored `inifile`, found in the usual search order; empty for none.
std::string LocateThemeFile(const char *iniFile);
ThemeMain ReadThemeMain(const char *iniPath, bool japanese);
ThemePage ReadThemePage(const char *iniPath, int page);

// The logical client size a "screen" value asks for: "W,H" in decimal digits (blanks allowed
// around each number); anything else gives the default. The result lies between the default and
// the largest size that fits on the screen (given in logical units).
SIZE ParseThemeScreen(const char *value, SIZE largest);

// ---- Theme scripts ------------------------------------------------------------------------------

// Script files of this size or more are not read.
constexpr size_t kScriptFileLimit = 2u << 20;

// A value of the reference form ":label@file": the label and the file. False for any other value.
// The at sign is looked for character by character, so a double-byte character whose second byte
// is 0x40 does not end the label.
bool ParseScriptReference(const char *value, std::string *label, std::string *file);
// The text the lines under ":label" build ("\b", "\m", "\c", "\w" with a file and "/", "\s", "\n",
// text and "\r"). The label line is the one that is ":label" exactly (any case, blanks after it
// allowed); without one, the first line that begins with ":label". False when there is none.
bool ExpandScript(const char *script, size_t length, const char *label, std::string *out);
// Reads a script file; false when it is missing, unreadable or kScriptFileLimit or larger.
using ScriptReader = std::function<bool(const char *file, std::string *bytes)>;
bool ReadScriptFile(const char *file, std::string *bytes);
// A theme value as shown: a reference replaced by its script's text, unchanged when the label or
// the file is not found; any other value as it is.
std::string ExpandThemeValue(const std::string &value, const ScriptReader &reader = ReadScriptFile);
// A page element: the built-in text unless the theme gives one, then expanded.
std::string ResolvePageElement(const char *builtIn, const std::string &themeValue,
                               const ScriptReader &reader = ReadScriptFile);

// ---- The escape codes of the AVG text -------------------------------------------------------------

enum class AvgOpKind { Text, Wallpaper, Mask, Char, Wave, Switch, Pause, LineBreak };
struct AvgOp {
    AvgOpKind kind;
    std::string argument; // the text, or the file of a picture or sound
};
// The text as the presentation works through it: runs of text, and the escapes "\b", "\m", "\c",
// "\w" (each with a file up to "/" or the end of the text), "\s", "\n" and "\r". A backslash that
// is the second byte of a double-byte character is text; a backslash before anything else too.
std::vector<AvgOp> ParseAvgText(const char *text, size_t length);

// ---- Theme installation ---------------------------------------------------------------------------

enum class ThemeArchive { None, Lha, Zip, SevenZip };
// By the end of the path, any case: ".lzh", ".zip", ".7z"; None for shorter paths (under five
// characters) and anything else.
ThemeArchive ThemeArchiveOf(const char *path);
// The dropped file's name without its folder, its extension replaced by ".ini".
std::string ThemeIniNameOf(const char *path);
// Whether a file taken from an archive may join the program folder: a relative path without "..",
// drive or stream colons, and of a plain theme kind (ini, text, pictures, sounds).
bool IsPlainThemeFile(const char *relativePath);
// The message of an archive library, cut at the end of its buffer when the library left it
// unterminated.
std::string ArchiveOutputText(const char *buffer, size_t size);

// What an installation did with the files of an archive.
struct ThemeFilesMoved {
    std::vector<std::string> moved;   // relative paths now in the target folder
    std::vector<std::string> refused; // not plain theme files, or already there
};
// Moves the plain theme files below scratch (a folder with its backslash) into target (likewise),
// keeping their relative folders; nothing already in target is replaced, and reparse points are not
// entered.
ThemeFilesMoved MoveThemeFiles(const std::string &scratch, const std::string &target);
// A new empty folder for an extraction, with its backslash; empty when none could be made.
std::string MakeScratchFolder();
// Deletes a folder and everything below it, without following reparse points.
void RemoveFolderTree(const std::string &folder);

// ---- The Customizing menu ---------------------------------------------------------------------------

constexpr size_t kThemeMenuLimit = 256;
struct ThemeMenuItem {
    std::string file;  // the ini file's name in the program folder
    std::string label; // its "name", or the file name when that is "None"
};
std::string ThemeMenuLabel(const std::string &name, const std::string &file);
// The *.INI files of the current folder with their labels, at most kThemeMenuLimit.
std::vector<ThemeMenuItem> ListThemeFiles();
// The index of the stored theme among the items (file names compared without case), or -1.
int CheckedThemeItem(const std::vector<ThemeMenuItem> &items, const char *iniFile);
