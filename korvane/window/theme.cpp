// theme: the wizard's theme files and scripts as plain functions: the sections of a theme, the
// "screen" size, script references and their expansion, and the escape codes of the AVG text.
#include "window/theme.h"

#include "platform.h"
#include "rega.h"
#include "winhandle.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr char kMainSection[] = "main";
constexpr char kNone[] = "none";

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

char FoldAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The first count bytes of two texts, ASCII letters compared without case; the second byte of a
// double-byte character is compared as it is.
bool EqualNoCase(const char *a, const char *b, size_t count) {
    bool trail = false;
    for (size_t i = 0; i < count; ++i) {
        if (trail ? a[i] != b[i] : FoldAscii(a[i]) != FoldAscii(b[i])) return false;
        trail = !trail && IsSjisLeadByte(static_cast<unsigned char>(a[i]));
    }
    return true;
}

std::string Profile(const char *iniPath, const char *section, const char *key, const char *fallback) {
    std::unique_ptr<char[]> text = ReadProfileStringA(iniPath, section, key, fallback);
    return text ? std::string(text.get()) : std::string(fallback);
}

// A page element: empty when missing or "none".
std::string Element(const char *iniPath, const std::string &section, const char *key) {
    std::string value = Profile(iniPath, section.c_str(), key, "");
    return ThemeValueGiven(value.c_str()) ? value : std::string();
}

// One number of the "screen" value: blanks, digits, blanks; saturates instead of overflowing.
bool ParseScreenNumber(const char *&p, const char *end, long *number) {
    while (p < end && IsBlank(*p))
        ++p;
    if (p == end || *p < '0' || *p > '9') return false;
    long value = 0;
    for (; p < end && *p >= '0' && *p <= '9'; ++p)
        value = value < 1000000 ? value * 10 + (*p - '0') : value;
    while (p < end && IsBlank(*p))
        ++p;
    *number = value;
    return true;
}

long Clamp(long value, long least, long most) {
    if (value > most) value = most;
    return value < least ? least : value;
}

// ---- Script lines ---------------------------------------------------------------------------------

struct Line {
    const char *text;
    size_t length;
};

std::vector<Line> SplitLines(const char *script, size_t length) {
    std::vector<Line> lines;
    size_t start = 0;
    while (start < length) {
        const void *found = memchr(script + start, '\n', length - start);
        size_t end = found ? static_cast<size_t>(static_cast<const char *>(found) - script) : length;
        size_t cut = end;
        if (cut > start && script[cut - 1] == '\r') --cut;
        lines.push_back({script + start, cut - start});
        start = end + 1;
    }
    return lines;
}

bool BeginsWithLabel(const Line &line, const std::string &labelLine) {
    return line.length >= labelLine.size() && EqualNoCase(line.text, labelLine.c_str(), labelLine.size());
}

bool IsExactLabel(const Line &line, const std::string &labelLine) {
    if (!BeginsWithLabel(line, labelLine)) return false;
    for (size_t i = labelLine.size(); i < line.length; ++i)
        if (!IsBlank(line.text[i])) return false;
    return true;
}

// The index of the label's line: an exact one first, then the first that begins with it; -1.
long FindLabel(const std::vector<Line> &lines, const std::string &labelLine) {
    long prefix = -1;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (IsExactLabel(lines[i], labelLine)) return static_cast<long>(i);
        if (prefix < 0 && BeginsWithLabel(lines[i], labelLine)) prefix = static_cast<long>(i);
    }
    return prefix;
}

struct ScriptCommand {
    const char *word;
    const char *before; // what the expansion writes before the argument
    const char *after;  // and after it; null: the command takes no argument
};

const ScriptCommand kScriptCommands[] = {
    {"$wallpaper", "\\b", "/"},  {"$mask", "\\m", "/"},      {"$char", "\\c", "/"}, {"$wave", "\\w", "/"},
    {"$switch", "\\s", nullptr}, {"$pause", "\\n", nullptr}, {"$echo", "", "\\r"},
};

void ExpandCommand(const Line &line, std::string *out) {
    for (const ScriptCommand &command : kScriptCommands) {
        size_t word = strlen(command.word);
        if (line.length < word || !EqualNoCase(line.text, command.word, word)) continue;
        out->append(command.before);
        if (command.after) {
            size_t at = word;
            while (at < line.length && IsBlank(line.text[at]))
                ++at;
            out->append(line.text + at, line.length - at);
            out->append(command.after);
        }
        return;
    }
}

// The position of the first '/' at or after start (a character boundary), or length.
size_t FindSlash(const char *text, size_t start, size_t length) {
    for (size_t i = start; i < length; ++i) {
        if (text[i] == '/') return i;
        if (IsSjisLeadByte(static_cast<unsigned char>(text[i]))) ++i;
    }
    return length;
}

AvgOpKind EscapeKind(char letter, bool *takesFile, bool *known) {
    *takesFile = letter == 'b' || letter == 'm' || letter == 'c' || letter == 'w';
    *known = true;
    switch (letter) {
    case 'b':
        return AvgOpKind::Wallpaper;
    case 'm':
        return AvgOpKind::Mask;
    case 'c':
        return AvgOpKind::Char;
    case 'w':
        return AvgOpKind::Wave;
    case 's':
        return AvgOpKind::Switch;
    case 'n':
        return AvgOpKind::Pause;
    case 'r':
        return AvgOpKind::LineBreak;
    default:
        *known = false;
        return AvgOpKind::Text;
    }
}

} // namespace

// ---- The theme file -------------------------------------------------------------------------------

std::string ThemeSectionOf(int page) {
    return page == 21 ? std::string("21-NT") : std::to_string(page);
}

bool ThemeValueGiven(const char *value) {
    return value && *value && _stricmp(value, kNone) != 0;
}

std::string LocateThemeFile(const char *iniFile) {
    if (!iniFile || !*iniFile) return std::string();
    char path[MAX_PATH * 2];
    DWORD length = SearchPathA(nullptr, iniFile, nullptr, sizeof path, path, nullptr);
    if (length == 0 || length >= sizeof path) return std::string();
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return std::string();
    return path;
}

ThemeMain ReadThemeMain(const char *iniPath, bool japanese) {
    ThemeMain theme;
    theme.avg = _stricmp(Profile(iniPath, kMainSection, "mode", "NORMAL").c_str(), "AVG") == 0;
    theme.font = Profile(iniPath, kMainSection, "font", japanese ? "ＭＳ Ｐゴシック" : "Arial");
    theme.bgm = Profile(iniPath, kMainSection, "bgm", kNone);
    theme.screen = Profile(iniPath, kMainSection, "screen", "593,401");
    theme.name = Profile(iniPath, kMainSection, "name", "None");
    return theme;
}

ThemePage ReadThemePage(const char *iniPath, int page) {
    ThemePage theme;
    std::string section = ThemeSectionOf(page);
    theme.text = Element(iniPath, section, "TEXT");
    theme.title = Element(iniPath, section, "TITLE");
    theme.bitmap = Element(iniPath, section, "BITMAP");
    theme.help = Element(iniPath, section, "HELP");
    for (int button = 0; button < 5; ++button)
        theme.buttons[button] = Element(iniPath, section, ("BUTTON" + std::to_string(button + 1)).c_str());
    return theme;
}

SIZE ParseThemeScreen(const char *value, SIZE largest) {
    SIZE size = kDefaultWizardSize;
    if (value) {
        const char *p = value, *end = value + strlen(value);
        long width = 0, height = 0;
        if (ParseScreenNumber(p, end, &width) && p < end && *p++ == ',' && ParseScreenNumber(p, end, &height) &&
            p == end) {
            size.cx = width;
            size.cy = height;
        }
    }
    size.cx = Clamp(size.cx, kDefaultWizardSize.cx, largest.cx > kDefaultWizardSize.cx ? largest.cx : 0);
    size.cy = Clamp(size.cy, kDefaultWizardSize.cy, largest.cy > kDefaultWizardSize.cy ? largest.cy : 0);
    return size;
}

// ---- Theme scripts --------------------------------------------------------------------------------

bool ParseScriptReference(const char *value, std::string *label, std::string *file) {
    if (!value || value[0] != ':') return false;
    for (const char *p = value + 1; *p; ++p) {
        if (*p == '@') {
            if (p == value + 1 || !p[1]) return false;
            label->assign(value + 1, p);
            file->assign(p + 1);
            return true;
        }
        if (IsSjisLeadByte(static_cast<unsigned char>(*p)) && p[1]) ++p;
    }
    return false;
}

bool ExpandScript(const char *script, size_t length, const char *label, std::string *out) {
    if (!script || !label) return false;
    std::vector<Line> lines = SplitLines(script, length);
    long found = FindLabel(lines, std::string(":") + label);
    if (found < 0) return false;
    out->clear();
    for (size_t i = static_cast<size_t>(found) + 1; i < lines.size(); ++i) {
        const Line &line = lines[i];
        if (line.length && line.text[0] == ':') break;
        if (line.length && line.text[0] == '$') ExpandCommand(line, out);
    }
    return true;
}

bool ReadScriptFile(const char *file, std::string *bytes) {
    UniqueFile handle(
        CreateFileA(file, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle) return false;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(handle.Get(), &size) || size.QuadPart >= static_cast<LONGLONG>(kScriptFileLimit)) return false;
    bytes->assign(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!bytes->empty() && !ReadFile(handle.Get(), &(*bytes)[0], static_cast<DWORD>(bytes->size()), &read, nullptr))
        return false;
    bytes->resize(read);
    return true;
}

std::string ExpandThemeValue(const std::string &value, const ScriptReader &reader) {
    std::string label, file, script, expanded;
    if (!ParseScriptReference(value.c_str(), &label, &file)) return value;
    if (!reader || !reader(file.c_str(), &script)) return value;
    if (!ExpandScript(script.data(), script.size(), label.c_str(), &expanded)) return value;
    return expanded;
}

std::string ResolvePageElement(const char *builtIn, const std::string &themeValue, const ScriptReader &reader) {
    if (!ThemeValueGiven(themeValue.c_str())) return builtIn ? builtIn : "";
    return ExpandThemeValue(themeValue, reader);
}

// ---- The escape codes of the AVG text --------------------------------------------------------------

std::vector<AvgOp> ParseAvgText(const char *text, size_t length) {
    std::vector<AvgOp> ops;
    std::string run;
    auto flush = [&] {
        if (!run.empty()) ops.push_back({AvgOpKind::Text, run});
        run.clear();
    };
    for (size_t i = 0; i < length; ++i) {
        if (IsSjisLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < length) {
            run.append(text + i, 2);
            ++i;
            continue;
        }
        bool takesFile = false, known = false;
        AvgOpKind kind =
            i + 1 < length && text[i] == '\\' ? EscapeKind(text[i + 1], &takesFile, &known) : AvgOpKind::Text;
        if (!known) {
            run += text[i];
            continue;
        }
        flush();
        if (takesFile) {
            size_t slash = FindSlash(text, i + 2, length);
            ops.push_back({kind, std::string(text + i + 2, slash - (i + 2))});
            i = slash; // the loop steps over the slash
        } else {
            ops.push_back({kind, std::string()});
            ++i;
        }
    }
    flush();
    return ops;
}
