// The plain pieces of "Stop Services": which services the list offers, how their texts are read,
// which are checked, and what OK stores in stopsrv.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

// A number of a service key: only a REG_DWORD of exactly four bytes counts; anything else (a text
// "2", a short or long blob) is no number at all.
std::optional<DWORD> ServiceDword(DWORD type, const BYTE *data, DWORD size);
// A service the run may stop: Start 2 (automatic) and a Type without any of the driver bits
// (the low four); a missing or malformed number never qualifies.
bool IsStopCandidate(std::optional<DWORD> start, std::optional<DWORD> type);

// The longest display text the list takes, in bytes; longer texts are cut at a whole character.
constexpr size_t kMaxServiceText = 1024;
// A DisplayName or Description as stored: REG_SZ or REG_EXPAND_SZ, read up to its first zero
// within its size (a value without its zero is not over-read), cut to kMaxServiceText. Empty with
// *valid false for any other type.
std::string ServiceText(DWORD type, const BYTE *data, DWORD size, bool *valid);

// "@module,-id": the at sign, a module path, a comma, a minus sign and a string number (a
// ";comment" after the number is allowed). False for any other text, or a number above 65535.
bool ParseIndirectString(const char *text, std::string *module, UINT *id);
// The text to show: an indirect string read from its module's string table (environment variables
// in the path expanded, the path at most 520 characters, the string at most 2048), or the text as
// stored when it is no indirect string or cannot be resolved.
std::string ResolveServiceText(const std::string &text);

// Whether a name list (stopsrv split at BEL) holds name as a whole name, without regard to ASCII
// letter case: "MyService" does not hold "Service".
bool NameListHolds(const std::vector<std::string> &names, const std::string &name);
// What OK stores in stopsrv: the checked services in list order, then the stored names that the
// list did not show (a service still disabled by an interrupted run stays chosen), each once and
// followed by BEL. Empty when there is nothing to store.
std::string StopServicesText(const std::vector<std::string> &checked, const std::vector<std::string> &listed,
                             const std::vector<std::string> &stored);

// One service of the list.
struct StopCandidate {
    std::string name;        // the service's key name
    std::string displayName; // its display name, or the key name when it has none
    std::string description; // empty when it has none
};
// The candidates under HKLM\SYSTEM\CurrentControlSet\Services in enumeration order; false when
// the key cannot be opened for reading. Malformed values are logged and never crash the reading.
bool ReadStopCandidates(std::vector<StopCandidate> *candidates);
