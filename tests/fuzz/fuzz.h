// Fuzzing of the parsers of outside input: a deterministic generator of mutated and random inputs,
// and an input buffer that lies against a PAGE_NOACCESS page, so that a read past either end of
// the input faults at once instead of passing unnoticed.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace fuzz {

// Cases per parser, and the seed every run starts from: a failure found once is found again.
constexpr int kCases = 100000;
constexpr uint64_t kSeed = 0x7D1EE11F0022ULL;

// splitmix64: small, fast and the same on every compiler.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t Next();
    // 0 ... bound - 1 (0 when bound is 0).
    size_t Below(size_t bound) { return bound ? size_t(Next() % bound) : 0; }
    bool Percent(unsigned percent) { return Below(100) < percent; }

private:
    uint64_t state_;
};

// What a parser's inputs are made from: real inputs to mutate, words of its syntax to splice in,
// and the largest input to make.
struct Corpus {
    std::vector<std::string> seeds;
    std::vector<std::string> tokens;
    size_t maxSize = 512;
};

// One input: mostly a seed with a few mutations (bit flips, bytes inserted, deleted or replaced by
// interesting ones, truncation, splices of other seeds and tokens), sometimes tokens and
// interesting bytes strung together, sometimes plain random bytes.
std::string NextInput(Random &random, const Corpus &corpus);

// An arena of read-write pages between two PAGE_NOACCESS pages. Place copies an input so that it
// ends exactly at the upper guard (atStart false) or begins exactly at the lower one (atStart
// true); the bytes on the other side of the input hold a canary that CanaryIntact checks.
class GuardedInput {
public:
    explicit GuardedInput(size_t capacity);
    ~GuardedInput();
    GuardedInput(const GuardedInput &) = delete;
    GuardedInput &operator=(const GuardedInput &) = delete;

    bool Valid() const { return arena_ != nullptr; }
    size_t Capacity() const { return capacity_; }
    const char *Place(const std::string &bytes, bool atStart);
    bool CanaryIntact() const;
    // Whether an address lies in one of the two guard pages.
    bool InGuard(const void *address) const;

private:
    char *base_ = nullptr;  // the whole reservation, lower guard first
    char *arena_ = nullptr; // the read-write pages
    size_t capacity_ = 0;
    char *canary_ = nullptr;
    size_t canarySize_ = 0;
};

// A parser under test: called with the placed input, it returns an empty text when every
// invariant held, else what went wrong.
using Parse = std::function<std::string(const char *data, size_t size)>;

struct Outcome {
    int cases = 0;
    int failures = 0;
    std::vector<std::string> firstFailures; // the first few, with their inputs in hex
    double milliseconds = 0;
};

// Runs kCases inputs through parse. With terminated set, a zero follows the input inside the
// arena (the guard right after it), for parsers of zero-terminated text; size excludes it.
// An access violation is reported with the parser, the case and the input before the program
// ends, so that a fault found here can be replayed.
Outcome Run(const char *name, const Corpus &corpus, const Parse &parse, bool terminated);

// The input in hex (at most limit bytes), for messages.
std::string Hex(const char *data, size_t size, size_t limit = 96);

// A table row: one parser of one program.
struct ParserCase {
    const char *name;
    bool terminated;
    std::function<Corpus()> corpus;
    Parse parse;
};

// Runs a row and fails the current test when an invariant broke; prints the figures.
void RunParserCase(const ParserCase &row);
// A row's test name: its name's letters and digits.
std::string RowName(const testing::TestParamInfo<ParserCase> &info);

} // namespace fuzz
