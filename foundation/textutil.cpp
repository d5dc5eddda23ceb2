// Path and text helpers for 8-bit strings that may hold Shift-JIS. Every walk steps over a lead byte
// together with its trail byte, so a trail byte 0x5C is never read as a backslash.
#include "platform.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

// Bytes taken by the character at text: 2 for a lead byte with a trail, else 1. A lead byte at the
// very end stands alone, so no walk steps over the terminator.
size_t CharLength(const char *text) {
    return IsSjisLeadByte(static_cast<unsigned char>(text[0])) && text[1] != '\0' ? 2 : 1;
}

// The last single-byte backslash (and colon, when asked) of a path, or null.
const char *LastSeparator(const char *path, bool colonToo) {
    const char *last = nullptr;
    for (const char *p = path; *p != '\0'; p += CharLength(p)) {
        if (*p == '\\' || (colonToo && *p == ':')) last = p;
    }
    return last;
}

// True when the last character of the text is a backslash of its own, not a trail byte.
bool EndsWithRealBackslash(const char *text) {
    const char *lastChar = nullptr;
    for (const char *p = text; *p != '\0'; p += CharLength(p))
        lastChar = p;
    return lastChar != nullptr && *lastChar == '\\';
}

} // namespace

bool IsLeadByteAt(const char *text, int index) {
    if (text == nullptr || index < 0) return false;
    const char *p = text;
    const char *target = text + index;
    // Walk character by character; landing past the target means it is a trail byte.
    while (*p != '\0' && p < target)
        p += CharLength(p);
    return p == target && *p != '\0' && IsSjisLeadByte(static_cast<unsigned char>(*p));
}

char *FolderOfPath(const char *path, char *out) {
    if (path == nullptr || out == nullptr) return nullptr;
    out[0] = '\0';
    const char *separator = LastSeparator(path, true);
    if (separator == nullptr) return out;
    size_t length = static_cast<size_t>(separator - path) + 1;
    if (length >= kFolderBufferSize) return nullptr;
    memcpy(out, path, length);
    out[length] = '\0';
    return out;
}

const char *FileNameOfPath(const char *path) {
    if (path == nullptr) return "";
    const char *separator = LastSeparator(path, true);
    return separator ? separator + 1 : path;
}

bool AppendBackslash(char *path, size_t size) {
    if (path == nullptr || size == 0) return false;
    if (EndsWithRealBackslash(path)) return true;
    size_t length = strnlen(path, size);
    if (length + 2 > size) return false;
    path[length] = '\\';
    path[length + 1] = '\0';
    return true;
}

void AppendBackslash(std::string &path) {
    if (!EndsWithRealBackslash(path.c_str())) path += '\\';
}

bool AppendShortcutPattern(char *path, size_t size) {
    static const char kPattern[] = "*.lnk";
    if (path == nullptr || size == 0) return false;
    size_t length = strnlen(path, size);
    size_t backslash = EndsWithRealBackslash(path) ? 0 : 1;
    // Checked as a whole, so that a path without room is left as it was.
    if (length + backslash + sizeof(kPattern) > size) return false;
    AppendBackslash(path, size);
    memcpy(path + length + backslash, kPattern, sizeof(kPattern));
    return true;
}

bool QuoteIfBlank(char *text, size_t size) {
    if (text == nullptr || size == 0) return false;
    // A blank is never a trail byte, so a plain search is safe here.
    if (text[0] == '"' || strchr(text, ' ') == nullptr) return true;
    size_t length = strnlen(text, size);
    if (length + 3 > size) return false;
    memmove(text + 1, text, length);
    text[0] = '"';
    text[length + 1] = '"';
    text[length + 2] = '\0';
    return true;
}

void QuoteIfBlank(std::string &text) {
    if (text.empty() || text[0] == '"' || text.find(' ') == std::string::npos) return;
    text = '"' + text + '"';
}

void LowerAscii(char *text) {
    if (text == nullptr) return;
    for (char *p = text; *p != '\0'; p += CharLength(p)) {
        if (*p >= 'A' && *p <= 'Z') *p = static_cast<char>(*p - 'A' + 'a');
    }
}

const char *FindText(const char *text, const char *pattern) {
    if (text == nullptr || pattern == nullptr) return nullptr;
    size_t patternLength = strlen(pattern);
    if (patternLength == 0) return text;
    // Only character starts are tried, so a match never begins on a trail byte.
    for (const char *p = text; *p != '\0'; p += CharLength(p)) {
        if (strncmp(p, pattern, patternLength) == 0) return p;
    }
    return nullptr;
}

const char *FindTextNoCase(const char *text, const char *pattern) {
    if (text == nullptr || pattern == nullptr) return nullptr;
    TextPtr lowText = DupString(text);
    TextPtr lowPattern = DupString(pattern);
    if (!lowText || !lowPattern) return nullptr;
    LowerAscii(lowText.get());
    LowerAscii(lowPattern.get());
    const char *found = FindText(lowText.get(), lowPattern.get());
    // The copies have the same layout, so the offset points into the caller's text.
    return found ? text + (found - lowText.get()) : nullptr;
}

TextPtr ReplaceAll(const char *text, const char *oldText, const char *newText) {
    if (text == nullptr || oldText == nullptr || oldText[0] == '\0') return nullptr;
    // In UTF-16 a match cannot start inside a double-byte character of any code page.
    std::wstring wide = AnsiToWide(text);
    std::wstring from = AnsiToWide(oldText);
    std::wstring to = AnsiToWide(newText ? newText : "");
    if (from.empty()) return nullptr;
    std::wstring result;
    size_t start = 0;
    for (size_t hit = wide.find(from); hit != std::wstring::npos; hit = wide.find(from, start)) {
        result.append(wide, start, hit - start).append(to);
        start = hit + from.size();
    }
    result.append(wide, start, std::wstring::npos);
    return DupString(WideToAnsi(result.c_str()).c_str());
}

std::string FormatString(const char *format, ...) {
    char fixed[512];
    va_list args;
    va_start(args, format);
    int length = vsnprintf(fixed, sizeof fixed, format, args);
    va_end(args);
    if (length < 0) return std::string();
    if (size_t(length) < sizeof fixed) return std::string(fixed, size_t(length));
    std::string text(size_t(length) + 1, '\0');
    va_start(args, format);
    vsnprintf(&text[0], text.size(), format, args);
    va_end(args);
    text.resize(size_t(length));
    return text;
}
