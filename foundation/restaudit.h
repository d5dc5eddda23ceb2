// The restore audit: before the planner changes a Windows setting for a run it records the value
// the setting had, and at the end of the run QS compares each recorded setting with its value now,
// so a restore that did not take shows in the run log instead of going unnoticed.
#pragma once

#include "rega.h"

#include <windows.h>

#include <string>
#include <vector>

// A registry value as stored, or a value that does not exist.
struct AuditedValue {
    bool exists = false;
    DWORD type = REG_NONE;
    std::string bytes;
};

// One setting the run changed: its key ("HKLM\SOFTWARE\..."), value name and value before the run.
struct AuditEntry {
    std::string key;
    std::string name;
    AuditedValue before;
};

// The settings value that holds the record: a multi-string, one entry per changed setting.
constexpr const char *kRestoreAuditValue = "RestoreAudit";

// An entry of the record: key, type ("-" when the value did not exist), the data in hexadecimal and
// the value name, separated by tabs (the name last, so it may hold anything but a zero).
std::string FormatAuditEntry(const AuditEntry &entry);
// False for text that is no entry (the record is read back from the registry, where anybody can
// write anything).
bool ParseAuditEntry(const std::string &text, AuditEntry *entry);
std::vector<AuditEntry> ParseAuditRecord(const std::string &multiString);

// The value for people: "(none)", a number, a quoted text, texts joined by " | ", or hexadecimal.
std::string DescribeValue(const AuditedValue &value);
bool SameValue(const AuditedValue &a, const AuditedValue &b);

// The root of a key written as "HKLM\..." or "HKCU\..."; null for any other; path gets the rest.
HKEY AuditRoot(const std::string &key, std::string *path);
// A value read from the registry now; one that cannot be read counts as not existing.
AuditedValue ReadAuditedValue(const std::string &key, const char *name);
using AuditReader = AuditedValue (*)(const std::string &key, const char *name);

// The log lines of an audit: "NOT restored: <key>\<name> was <before>, now <now>" per setting that
// did not come back, then the summary line.
std::vector<std::string> AuditLines(const std::vector<AuditEntry> &entries, AuditReader read = ReadAuditedValue);

// The record in the open settings key (empty when there is none or it is not a multi-string).
std::vector<AuditEntry> ReadAuditRecord(REGA &settings);
// Adds the setting unless the record holds it already: then its value before an earlier run that
// never got to its end is the one to come back. False when the record could not be written.
bool AddToAuditRecord(REGA &settings, const AuditEntry &entry);
// QS at the end of a run: logs the audit of the record and deletes the record. Nothing without one.
void RunRestoreAudit(REGA &settings);

// The last audit in a run log's text: its "NOT restored" lines and summary, oldest first; empty when
// the log holds none.
std::vector<std::string> LastAuditLines(const std::string &logText);
