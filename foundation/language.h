// The process language, bilingual texts, and the shared ways of telling the user something:
// message boxes, tooltips, the ShellExecute error box, help and the text box dialog.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

// ---- Language -----------------------------------------------------------------------------------

enum class Program { Korvane, QuietShell, Scheduler };

// The start-up rule: RNSLANG (JA = Japanese, anything else English), else the system language.
void DecideLanguage(Program program);
// The same rule on given inputs; rnslang is null when the variable is not set.
bool DecideJapanese(const char *rnslang, LANGID systemLanguage);
// korvane's /J and /N: sets the language whatever the rule said.
void SetLanguage(Program program, bool japanese);
bool IsJapanese();
const char *ProductTitle();

// One user-visible text in both languages; Get() picks by the process language.
struct TextPair {
    const char *japanese;
    const char *english;
    const char *Get() const { return IsJapanese() ? japanese : english; }
};
inline const char *Tx(const char *japanese, const char *english) {
    return IsJapanese() ? japanese : english;
}
// The resource id of a dialog or menu pair.
inline int ResId(int japaneseId, int englishId) {
    return IsJapanese() ? japaneseId : englishId;
}

// ---- Message boxes ----------------------------------------------------------------------------
// Every message box of the system goes through ShowMessageBox, so that tests can answer boxes
// and read their texts without windows.

int ShowMessageBox(HWND owner, const char *text, const char *caption, UINT type);
// Text by the language, product title as caption.
int ShowMessage(HWND owner, const TextPair &text, UINT type);

struct MessageBoxCall {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
};
using MessageBoxHandler = std::function<int(const MessageBoxCall &)>;
// Replaces the real boxes with handler (an empty handler restores them). Returns the previous one.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

// ---- Tooltips -----------------------------------------------------------------------------------

struct ToolTipText {
    int id;
    const char *text;
};
// One tooltip window for the dialog, one tool per control of the table (ended by id 0 or a null
// text). Returns the tooltip window or null.
HWND AddToolTips(HWND dialog, const ToolTipText *table);
// As AddToolTips, with tips wrapped at five quarters of the dialog's client width.
HWND AddToolTipsWrapped(HWND dialog, const ToolTipText *table);
// The table of the process language.
inline const ToolTipText *ToolTipTable(const ToolTipText *japanese, const ToolTipText *english) {
    return IsJapanese() ? japanese : english;
}

// ---- ShellExecute -------------------------------------------------------------------------------

// Why ShellExecute failed, in the process language, for a result of 32 or less.
const char *ShellExecuteReason(INT_PTR result);
// The working folder for a file: its own folder, without a trailing backslash unless a drive root.
std::string ShellWorkingFolder(const char *file);
// Opens a file or program with "open" in its own folder; on failure tells the user why.
bool ShellOpenFile(HWND owner, const char *file, const char *parameters = nullptr);
// The error box of a failed ShellExecute.
void ShowShellExecuteError(HWND owner, const char *file, INT_PTR result);

// ---- Help ---------------------------------------------------------------------------------------

constexpr const char *kGeneralHelpTopic = "HLP000001.html";
// "HLP%06d.html" for a topic number.
std::string HelpTopicName(int number);
// The HtmlHelp path of a topic page, or of the whole file for null. The file is looked for in
// folder, or relative to the current directory when folder is null or empty.
std::string HelpTopicPath(const char *topic, const char *folder = nullptr);
// "korvane.hlp,<n>" as the wizard pages write it, turned into the topic page; empty when not so.
std::string LegacyHelpTopic(const char *reference);
// Opens a topic (null: the file). Fails silently; HtmlHelpA is looked for once per process.
bool ShowHelp(HWND owner, const char *topic, const char *folder = nullptr);

// ---- Text box dialog ----------------------------------------------------------------------------

// A long message in a scrolled read-only box under a caption line (korvane's dialog 214).
void ShowTextBox(HWND owner, const char *caption, const char *message);
