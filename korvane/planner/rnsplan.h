// The planner's reach into Windows: every registry change of a run goes through PlannedKey, which
// either makes it (first recording the value before the run for the restore audit) or, during a
// preview, only notes it. So the preview runs the very planning code of a real run.
#pragma once

#include "planner/rnsrun.h"

#include "restaudit.h"

#include <windows.h>

#include <string>
#include <vector>

// One change of a run, as the preview shows it.
struct PlannedChange {
    std::string key;  // "HKLM\SOFTWARE\...", or the folder of a file
    std::string name; // the value or file name
    std::string now, during;
};

// What a preview collects instead of acting.
struct PlanRecord {
    std::vector<std::string> entries;  // the command list, expanded as it would be stored
    std::vector<PlannedChange> changes;
    std::vector<std::string> programs; // what runs before the restart, in order
};

// Set only while a preview plans; the planner's tools then record and change nothing.
extern PlanRecord *g_planRecord;
inline bool Previewing() {
    return g_planRecord != nullptr;
}
// Notes what would run or happen before the restart; false when not previewing (then do it).
bool RecordProgram(const std::string &text);
// Notes a change other than a registry value (a file).
void RecordFileChange(const std::string &path, const std::string &now, const std::string &during);

// "HKLM\path" or "HKCU\path".
std::string KeyName(HKEY root, const char *path);
AuditedValue ToAudited(const RegistryValue &value);

// A key the planner changes. Open creates the key in a real run; a preview opens it for reading and
// takes a missing key for an empty one.
class PlannedKey {
public:
    bool Open(HKEY root, const char *path);
    // A service's key below HKLM\SYSTEM\CurrentControlSet\Services, never created.
    bool OpenService(const std::string &name);
    void Close();

    LONG ReadInteger(const char *name, LONG defaultValue);
    RegistryValue Read(const char *name);
    bool WriteInteger(const char *name, LONG value);
    bool WriteString(const char *name, const char *text, BYTE typeRule);
    bool WriteBinary(const char *name, const void *data, DWORD length);
    bool Write(const char *name, const RegistryValue &value);
    bool Delete(const char *name);

private:
    // Records the change (preview) or the value before it (audit); false: do not write.
    bool Changing(const char *name, const RegistryValue &during, bool *written);

    REGA key_;
    HKEY root_ = nullptr;
    std::string path_;
};

// The settings key for writing (the registry error report when it cannot be opened).
bool OpenSettingsForWriting(PlannedKey &key, const char *module);

// The settings a run changes that QS is to put back; RunOnce values are consumed by Windows.
bool IsAuditedSetting(const std::string &key, const std::string &name);

// ---- The preview --------------------------------------------------------------------------------

struct RunPreview {
    bool planned = false;           // false: the settings could not be read
    std::string summary;            // run kind and method
    std::vector<std::string> entries;
    std::vector<PlannedChange> changes;
    std::vector<std::string> restores; // per change: the entry that puts it back, or why none is needed
    std::vector<std::string> programs;
    std::string handOver;           // what ends the planning: restart, shutdown or QS now
    std::vector<std::string> lastAudit;
};

// Plans the run as it is set now with nothing reaching the system: no registry value, no file, no
// log line, no restart.
RunPreview PreviewRinsaRun();
// The entry of the list that puts a change back ("$EnableUAC", "$RService name", ...), or a text
// that says why none is needed.
std::string RestoreEntryFor(const PlannedChange &change, const std::vector<std::string> &entries);
// The report as the preview dialog shows it (CR LF line ends).
std::string FormatPreviewReport(const RunPreview &preview);
