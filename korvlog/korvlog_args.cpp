// korvlog_args: KORVLOG's reading of its own command line.
#include "korvlog.h"

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// The C runtime's rule for a program's own name: a quoted name runs to the next quote, whatever it
// holds; an unquoted one to the first blank. Shift-JIS trail bytes are never blanks or quotes.
const char *SkipProgramName(const char *text) {
    if (*text == '"') {
        for (++text; *text && *text != '"'; ++text) {
        }
        return *text ? text + 1 : text;
    }
    while (*text && !IsBlank(*text))
        ++text;
    return text;
}

} // namespace

KorvlogCommand ParseKorvlogCommandLine(const char *raw) {
    KorvlogCommand result;
    const char *p = SkipProgramName(raw);
    while (IsBlank(*p))
        ++p;
    if (!*p) return (result.error = "no switch given"), result;
    const char *switchEnd = p;
    while (*switchEnd && !IsBlank(*switchEnd))
        ++switchEnd;
    std::string switchText(p, switchEnd);
    char letter = switchText.size() == 2 && switchText[0] == '-' ? char(switchText[1] | 0x20) : 0;
    if (letter != 'p' && letter != 'c') return (result.error = "unknown switch \"" + switchText + "\""), result;
    p = switchEnd;
    while (IsBlank(*p))
        ++p;
    if (!*p) return (result.error = "no command line after " + switchText), result;
    result.switchLetter = letter;
    result.commandLine = p;
    return result;
}

std::string ProgramOfCommandLine(const std::string &commandLine) {
    const char *start = commandLine.c_str();
    const char *end = SkipProgramName(start);
    if (*start == '"') return std::string(start + 1, *(end - 1) == '"' && end - 1 > start ? end - 1 : end);
    return std::string(start, end);
}
