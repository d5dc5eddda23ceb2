// The scheduler's parsers of outside input under fuzzing: its registry values (numbers of any
// type and size, LastTime), the exclusion list, the time fields, its switch, and the multi-string
// length that registry reads rely on.
#include "korvtask.h"

#include "fuzz.h"
#include "rega.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using fuzz::Corpus;
using fuzz::ParserCase;

std::string CheckRegistryNumber(const char *data, size_t size) {
    const BYTE *bytes = reinterpret_cast<const BYTE *>(data);
    for (DWORD type : {DWORD(REG_SZ), DWORD(REG_EXPAND_SZ), DWORD(REG_MULTI_SZ), DWORD(REG_DWORD),
                       DWORD(REG_DWORD_BIG_ENDIAN), DWORD(REG_BINARY), DWORD(REG_QWORD), DWORD(REG_NONE)}) {
        LONG value = RegistryDataToInteger(type, bytes, DWORD(size), 25);
        if (type == REG_NONE && value != 25) return "REG_NONE that was not the default";
        if (size == 0 && value != 25 && value != 0) return "empty data that gave a number";
    }
    HasIntegerSyntax(std::string(data, size).c_str());
    return std::string();
}

std::string CheckLastTime(const char *data, size_t size) {
    WallTime t = 1;
    LastTimeData parsed = ParseLastTime(data, size, &t);
    if (parsed != LastTimeData::Ok && t != 0) return "a refused LastTime that was not 0";
    if (parsed == LastTimeData::Ok && size != 8) return "a LastTime taken from other than 8 bytes";
    return std::string();
}

std::string CheckExclusionList(const char *data, size_t) {
    for (const std::string &entry : ExclusionEntries(data)) {
        if (entry.empty() || entry.find_first_of("\r\n") != std::string::npos) return "an empty or unsplit entry";
        IsExcludedProcess({entry}, data);
    }
    return std::string();
}

std::string CheckTimeFields(const char *data, size_t) {
    unsigned value = 0;
    if (ReadTimeField(data, &value)) {
        for (const char *p = data; *p; ++p)
            if ((*p < '0' || *p > '9') && *p != ' ') return "a time field with other than digits and blanks taken";
    }
    CheckTimes(data, "0", data, "5");
    CheckTimes("12", data, "0", data);
    ParseStartSwitch(data);
    return std::string();
}

std::string CheckMultiStringLength(const char *data, size_t size) {
    size_t needed = MultiStringLength(data, DWORD(size));
    if (needed < size || needed > size + 2) return "a length outside size ... size + 2";
    return std::string();
}

const ParserCase kParsers[] = {
    {"scheduler number value", false,
     [] {
         return Corpus{{"12", "-7", "+0030", std::string("\x0c\0\0\0", 4), "4294967295", "99999999999", "1 2",
                        std::string("5\0junk", 6)},
                       {"-", "+", "0", "9", std::string(1, '\0'), "\xFF\xFF\xFF\x7F"},
                       64};
     },
     CheckRegistryNumber},
    {"LastTime", false,
     [] {
         return Corpus{
             {std::string("\x00\x80\x3E\xD5\xDE\xB1\x9D\x01", 8), std::string(8, '\xFF'), "1234567", "123456789"},
             {std::string(1, '\0'), "\x7F"},
             16};
     },
     CheckLastTime},
    {"exclusion list", true,
     [] {
         return Corpus{{"NOTEPAD.EXE\r\nWORDPAD.EXE\r\n", "\x83\x81\x83\x82\x92\xa0.exe\n\nexcel.exe", "\r\r\n\n", "x"},
                       {"\r\n", "\n", "\r", ".EXE", "\x81\x5c", "\x82\x61"},
                       1024};
     },
     CheckExclusionList},
    {"time fields and switch", true,
     [] {
         return Corpus{{"23", "59", "", "4294967295", "4294967296", "0012", " 1", "/s", "/JS", "-s"},
                       {"0", "9", "/", "s", "j", " "},
                       32};
     },
     CheckTimeFields},
    {"multi-string length", false,
     [] {
         return Corpus{{std::string("a\0b\0\0", 5), std::string("a\0", 2), "a", ""}, {std::string(1, '\0')}, 64};
     },
     CheckMultiStringLength},
};

class SchedulerParsers : public testing::TestWithParam<ParserCase> {};

TEST_P(SchedulerParsers, NeverReadPastTheirInputAndKeepTheirInvariants) {
    fuzz::RunParserCase(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Fuzz, SchedulerParsers, testing::ValuesIn(kParsers), fuzz::RowName);

} // namespace
