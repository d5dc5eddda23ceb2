#include "fuzz.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace fuzz {

namespace {

// Bytes that parsers treat specially: the terminator and its opposite, Shift-JIS lead bytes (and
// the trail bytes that look like '@' and '\'), quotes, the command and variable marks, line ends,
// separators and wildcards.
const unsigned char kInteresting[] = {0x00, 0xFF, 0x81, 0x82, 0x88, 0x9F, 0xE0, 0xEF, 0xFC, 0x40, 0x5C, 0x7F,
                                      '"',  '$',  '%',  '\r', '\n', ',',  ' ',  '\t', '!',  '#',  ':',  '/',
                                      '.',  '*',  '?',  '=',  '-',  '0',  '9',  '@',  'A',  'z',  0xFE, 0xBB};

constexpr size_t kPage = 4096;
constexpr unsigned char kCanaryByte = 0xCD;
constexpr size_t kCanaryLimit = 64;

char InterestingByte(Random &random) {
    return static_cast<char>(kInteresting[random.Below(sizeof kInteresting)]);
}

const std::string &Pick(Random &random, const std::vector<std::string> &list) {
    static const std::string empty;
    return list.empty() ? empty : list[random.Below(list.size())];
}

void Mutate(Random &random, const Corpus &corpus, std::string &s) {
    size_t at = random.Below(s.size() + 1);
    switch (random.Below(10)) {
    case 0: // bit flip
        if (!s.empty()) s[random.Below(s.size())] ^= static_cast<char>(1u << random.Below(8));
        break;
    case 1: // an interesting byte in place of one
        if (!s.empty()) s[random.Below(s.size())] = InterestingByte(random);
        break;
    case 2: // an interesting byte more
        s.insert(at, 1, InterestingByte(random));
        break;
    case 3: // a random byte more
        s.insert(at, 1, static_cast<char>(random.Next()));
        break;
    case 4: // a run deleted
        if (!s.empty()) s.erase(random.Below(s.size()), 1 + random.Below(8));
        break;
    case 5: // truncated
        s.resize(random.Below(s.size() + 1));
        break;
    case 6: // a run repeated
        if (!s.empty()) {
            size_t from = random.Below(s.size());
            std::string run = s.substr(from, 1 + random.Below(16));
            for (size_t n = 1 + random.Below(4); n > 0; --n)
                s.insert(at, run);
        }
        break;
    case 7: { // spliced with another seed
        const std::string &other = Pick(random, corpus.seeds);
        size_t from = random.Below(other.size() + 1);
        s = s.substr(0, at) + other.substr(from);
        break;
    }
    default: // a word of the syntax
        s.insert(at, Pick(random, corpus.tokens));
        break;
    }
}

std::string RandomBytes(Random &random, size_t maxSize) {
    std::string s(random.Below(maxSize + 1), '\0');
    bool anyByte = random.Percent(50);
    for (char &c : s)
        c = anyByte ? static_cast<char>(random.Next()) : InterestingByte(random);
    return s;
}

std::string TokenSoup(Random &random, const Corpus &corpus) {
    std::string s;
    for (size_t n = random.Below(12); n > 0 && s.size() < corpus.maxSize; --n) {
        if (random.Percent(60))
            s += Pick(random, corpus.tokens);
        else
            s += InterestingByte(random);
    }
    return s;
}

// What the handler needs to say which case faulted.
struct CurrentCase {
    const char *parser = nullptr;
    int index = -1;
    const char *data = nullptr;
    size_t size = 0;
    bool atStart = false;
    const GuardedInput *buffer = nullptr;
};
CurrentCase g_current;

LONG CALLBACK ReportFault(EXCEPTION_POINTERS *info) {
    const EXCEPTION_RECORD *record = info->ExceptionRecord;
    if (record->ExceptionCode != EXCEPTION_ACCESS_VIOLATION || !g_current.parser) return EXCEPTION_CONTINUE_SEARCH;
    const void *address =
        record->NumberParameters >= 2 ? reinterpret_cast<void *>(record->ExceptionInformation[1]) : nullptr;
    bool guard = g_current.buffer && g_current.buffer->InGuard(address);
    fprintf(stderr, "fuzz: %s case %d faulted (%s at %p%s); input placed at its %s, %u bytes: %s\n", g_current.parser,
            g_current.index, record->NumberParameters >= 1 && record->ExceptionInformation[0] ? "write" : "read",
            address, guard ? ", a guard page: a read past the input" : "", g_current.atStart ? "start" : "end",
            unsigned(g_current.size), Hex(g_current.data, g_current.size, 4096).c_str());
    fflush(stderr);
    return EXCEPTION_CONTINUE_SEARCH;
}

} // namespace

uint64_t Random::Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

std::string NextInput(Random &random, const Corpus &corpus) {
    std::string s;
    size_t kind = random.Below(100);
    if (kind < 10 || corpus.seeds.empty()) {
        s = RandomBytes(random, random.Percent(90) ? 64 : corpus.maxSize);
    } else if (kind < 20) {
        s = TokenSoup(random, corpus);
    } else {
        s = Pick(random, corpus.seeds);
        for (size_t n = 1 + random.Below(random.Percent(70) ? 3 : 10); n > 0; --n)
            Mutate(random, corpus, s);
    }
    if (s.size() > corpus.maxSize) s.resize(corpus.maxSize);
    return s;
}

GuardedInput::GuardedInput(size_t capacity) {
    size_t arenaSize = (capacity + kPage - 1) / kPage * kPage + kPage; // a page of slack for canaries
    base_ = static_cast<char *>(VirtualAlloc(nullptr, arenaSize + 2 * kPage, MEM_RESERVE, PAGE_NOACCESS));
    if (!base_) return;
    if (!VirtualAlloc(base_ + kPage, arenaSize, MEM_COMMIT, PAGE_READWRITE)) {
        VirtualFree(base_, 0, MEM_RELEASE);
        base_ = nullptr;
        return;
    }
    arena_ = base_ + kPage;
    capacity_ = arenaSize;
}

GuardedInput::~GuardedInput() {
    if (base_) VirtualFree(base_, 0, MEM_RELEASE);
}

const char *GuardedInput::Place(const std::string &bytes, bool atStart) {
    size_t size = std::min(bytes.size(), capacity_ - kCanaryLimit);
    char *data = atStart ? arena_ : arena_ + capacity_ - size;
    if (size) memcpy(data, bytes.data(), size);
    canary_ = atStart ? data + size : data - kCanaryLimit;
    canarySize_ = kCanaryLimit;
    memset(canary_, kCanaryByte, canarySize_);
    return data;
}

bool GuardedInput::CanaryIntact() const {
    for (size_t i = 0; i < canarySize_; ++i)
        if (static_cast<unsigned char>(canary_[i]) != kCanaryByte) return false;
    return true;
}

bool GuardedInput::InGuard(const void *address) const {
    const char *p = static_cast<const char *>(address);
    return base_ && ((p >= base_ && p < arena_) || (p >= arena_ + capacity_ && p < arena_ + capacity_ + kPage));
}

std::string Hex(const char *data, size_t size, size_t limit) {
    std::string text;
    char byte[4];
    for (size_t i = 0; i < size && i < limit; ++i) {
        snprintf(byte, sizeof byte, "%02X", static_cast<unsigned char>(data[i]));
        text += byte;
    }
    if (size > limit) text += "...";
    return text;
}

Outcome Run(const char *name, const Corpus &corpus, const Parse &parse, bool terminated) {
    Outcome outcome;
    GuardedInput buffer(corpus.maxSize + 1);
    if (!buffer.Valid()) {
        outcome.failures = 1;
        outcome.firstFailures.push_back("no guarded buffer could be made");
        return outcome;
    }
    PVOID handler = AddVectoredExceptionHandler(1, ReportFault);
    Random random(kSeed);
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    for (int i = 0; i < kCases; ++i) {
        std::string input = NextInput(random, corpus);
        // Parsers of terminated text get their zero inside the arena: right before the upper guard,
        // or after the input that begins at the lower one.
        std::string placed = terminated ? input + '\0' : input;
        bool atStart = (i & 1) != 0;
        const char *data = buffer.Place(placed, atStart);
        g_current = {name, i, data, input.size(), atStart, &buffer};
        std::string problem = parse(data, input.size());
        if (problem.empty() && memcmp(data, placed.data(), placed.size()) != 0) problem = "the input was changed";
        if (problem.empty() && !buffer.CanaryIntact()) problem = "a write past the input";
        ++outcome.cases;
        if (problem.empty()) continue;
        if (++outcome.failures <= 5)
            outcome.firstFailures.push_back("case " + std::to_string(i) + ": " + problem + "; input " +
                                            Hex(input.data(), input.size()));
    }
    QueryPerformanceCounter(&end);
    g_current = CurrentCase();
    if (handler) RemoveVectoredExceptionHandler(handler);
    outcome.milliseconds = double(end.QuadPart - start.QuadPart) * 1000.0 / double(frequency.QuadPart);
    return outcome;
}

void RunParserCase(const ParserCase &row) {
    Outcome outcome = Run(row.name, row.corpus(), row.parse, row.terminated);
    printf("[fuzz] %-28s %d cases, %.0f ms, %d failed\n", row.name, outcome.cases, outcome.milliseconds,
           outcome.failures);
    fflush(stdout);
    EXPECT_GE(outcome.cases, kCases);
    for (const std::string &failure : outcome.firstFailures)
        ADD_FAILURE() << row.name << ": " << failure;
    EXPECT_EQ(0, outcome.failures) << row.name << ": " << outcome.failures << " of " << outcome.cases
                                   << " cases broke an invariant";
}

std::string RowName(const testing::TestParamInfo<ParserCase> &info) {
    std::string name;
    for (const char *p = info.param.name; *p; ++p)
        if (isalnum(static_cast<unsigned char>(*p))) name += *p;
    return name;
}

} // namespace fuzz

namespace {

// The guard works only if the page after (or before) the input really cannot be read.
TEST(GuardedInput, TheInputTouchesAnUnreadablePageOnEitherSide) {
    fuzz::GuardedInput buffer(100);
    ASSERT_TRUE(buffer.Valid());
    for (size_t size : {size_t(0), size_t(1), size_t(100)}) {
        std::string input(size, 'x');
        const char *end = buffer.Place(input, false) + size;
        EXPECT_TRUE(buffer.InGuard(end)) << size;
        EXPECT_TRUE(IsBadReadPtr(end, 1)) << size;
        const char *start = buffer.Place(input, true);
        EXPECT_TRUE(buffer.InGuard(start - 1)) << size;
        EXPECT_TRUE(IsBadReadPtr(start - 1, 1)) << size;
        EXPECT_TRUE(buffer.CanaryIntact());
    }
}

} // namespace
