// regtest: the registry write test of the start-up. Before anything is planned it proves that the
// keys a Rinsa run rewrites can be written, read back, deleted and put back, the Winlogon shell and
// BootExecute included; they hold test data for half a second, so a test that dies halfway is
// repaired at the next start.
#include "korvane.h"
#include "startup/startup.h"
#include "dialogs/notify.h"
#include "planner/rnsrun.h"

#include "language.h"
#include "runlog.h"
#include "settings.h"

#include <cstring>

namespace {

const RegistryTestKey kKeys[kRegistryTestKeys] = {
    {HKEY_LOCAL_MACHINE, kSettingsPath, "HKEY_LOCAL_MACHINE\\Software\\Halvornix\\Korvane\\CurrentVersion",
     kRegistryTestValue, nullptr},
    {HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Runonce",
     "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Runonce", kRegistryTestValue, nullptr},
    {HKEY_CURRENT_USER, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Runonce",
     "HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Runonce", kRegistryTestValue, nullptr},
    {HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
     "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", "Shell", "_Shell"},
    {HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager",
     "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager", "BootExecute", "_BootExecute"},
};
constexpr int kBootExecuteKey = 4;
// Windows reads BootExecute early; the pause gives a write that the system undoes time to show.
constexpr DWORD kBootExecutePause = 512;

// What the forward step of one key did, so that its check undoes exactly that.
struct KeyState {
    bool opened = false;
    bool saved = false;   // the live value was renamed to the saved name
    bool written = false; // the test data was written
};

bool HoldsTestData(RegistryTestTarget &target, int key) {
    std::string text;
    return target.ReadBack(key, kKeys[key].live, &text) && text == kRegistryTestData;
}

void LogRepair(int key, bool restored) {
    const RegistryTestKey &k = kKeys[key];
    std::string line = restored ? std::string(Tx("レジストリ書き込みテストの残りを修復しました - ",
                                                 "Repaired what a registry write test left - ")) +
                                      k.live + " <- " + k.saved
                                : std::string(Tx("レジストリ書き込みテストのデータを削除しました - ",
                                                 "Deleted the data a registry write test left - ")) +
                                      k.live;
    LogLine2(kLogModule, __LINE__, line.c_str(), (std::string(" (") + k.fullPath + ")").c_str());
}

bool RepairKey(RegistryTestTarget &target, int key) {
    const RegistryTestKey &k = kKeys[key];
    bool testData = HoldsTestData(target, key);
    bool savedThere = target.Exists(key, k.saved);
    if (savedThere && (testData || !target.Exists(key, k.live))) {
        if (testData) target.Delete(key, k.live);
        if (!target.Rename(key, k.saved, k.live)) return false;
        LogRepair(key, true);
        return true;
    }
    if (!testData || !target.Delete(key, k.live)) return false;
    LogRepair(key, false);
    return true;
}

// Shell and BootExecute: save the live value, write the test data in its place.
void ForwardLiveValue(RegistryTestTarget &target, int key, KeyState &state, RegistryTestFailure &failure) {
    const RegistryTestKey &k = kKeys[key];
    if (target.Exists(key, k.saved)) {
        // A Rinsa run waits for its restore: renaming now would overwrite the user's value in the copy.
        LogLine2(kLogModule, __LINE__,
                 Tx("保存中の値があるため、レジストリ書き込みテストを省きました - ",
                    "Skipped the registry write test for a saved value - "),
                 k.saved);
        return;
    }
    bool hadValue = target.Exists(key, k.live);
    if (hadValue && !target.Rename(key, k.live, k.saved)) {
        failure.Forward(kRegTestCannotSave, key);
        // A rename is a copy and a delete: when only the delete failed, the copy is there and must
        // go back like a saved value.
        state.saved = target.Exists(key, k.saved);
        // Without a saved copy the live value would be lost to the test data.
        if (!state.saved) return;
    } else {
        state.saved = hadValue;
    }
    state.written = target.WriteTestData(key, k.live);
    if (!state.written) failure.Forward(kRegTestCannotWrite, key);
}

void Forward(RegistryTestTarget &target, int key, KeyState &state, RegistryTestFailure &failure) {
    state.opened = target.Open(key);
    if (!state.opened) {
        failure.Forward(kRegTestCannotOpen, key);
        return;
    }
    if (kKeys[key].saved) {
        ForwardLiveValue(target, key, state, failure);
    } else {
        state.written = target.WriteTestData(key, kKeys[key].live);
        if (!state.written) failure.Forward(kRegTestCannotWrite, key);
    }
}

void Check(RegistryTestTarget &target, int key, const KeyState &state, RegistryTestFailure &failure) {
    const RegistryTestKey &k = kKeys[key];
    if (state.written) {
        std::string text;
        if (!target.ReadBack(key, k.live, &text))
            failure.Check(kRegTestCannotRead, key);
        else if (text != kRegistryTestData)
            failure.Check(kRegTestDiffers, key);
        if (!target.Delete(key, k.live)) failure.Check(kRegTestCannotDelete, key);
    }
    if (state.saved && !target.Rename(key, k.saved, k.live)) failure.Check(kRegTestCannotRestore, key);
}

// ---- The real registry ----------------------------------------------------------------------------

class SystemRegistry : public RegistryTestTarget {
public:
    bool Open(int key) override { return keys_[key].OpenKey(kKeys[key].root, kKeys[key].path, OPEN_CREATE); }
    void Close(int key) override {
        if (keys_[key].IsOpen()) keys_[key].CloseKey();
    }
    bool Exists(int key, const char *name) override { return keys_[key].ValueExistA(name) >= 0; }
    bool WriteTestData(int key, const char *name) override {
        if (key == kBootExecuteKey) {
            // "xcopy.exe", its terminator and the list's: 11 bytes.
            static const char kMulti[] = "xcopy.exe\0";
            return keys_[key].RegWriteMultiStringDirectA(kMulti, sizeof kMulti);
        }
        return keys_[key].WriteStringA(name, kRegistryTestData, STRTYPE_PLAIN);
    }
    bool ReadBack(int key, const char *name, std::string *text) override {
        char buffer[80] = "";
        DWORD size = sizeof buffer;
        bool read = key == kBootExecuteKey ? keys_[key].RegReadMultiStringDirectA(buffer, &size)
                                           : keys_[key].ReadStringA(name, buffer, sizeof buffer);
        buffer[sizeof buffer - 1] = '\0';
        *text = buffer;
        return read;
    }
    bool Delete(int key, const char *name) override { return keys_[key].DeleteValue(name); }
    bool Rename(int key, const char *from, const char *to) override { return keys_[key].RenValueA(from, to); }
    void Pause(DWORD milliseconds) override { Sleep(milliseconds); }

private:
    REGA keys_[kRegistryTestKeys];
};

} // namespace

// ---- Failure record -------------------------------------------------------------------------------

void RegistryTestFailure::Forward(RegistryTestCode code, int key) {
    if (code_ == kRegTestPassed || (code_ == kRegTestCannotSave && code == kRegTestCannotWrite && key_ == key)) {
        code_ = code;
        key_ = key;
    }
}

void RegistryTestFailure::Check(RegistryTestCode code, int key) {
    if (code == kRegTestCannotRead || code == kRegTestDiffers || code_ == kRegTestPassed) {
        code_ = code;
        key_ = key;
    }
}

// ---- The test -------------------------------------------------------------------------------------

const RegistryTestKey &RegistryTestKeyAt(int key) {
    return kKeys[key];
}

int RepairRegistryWriteTest(RegistryTestTarget &target) {
    int repaired = 0;
    for (int key = 0; key < kRegistryTestKeys; ++key) {
        if (!kKeys[key].saved || !target.Open(key)) continue;
        if (RepairKey(target, key)) ++repaired;
        target.Close(key);
    }
    return repaired;
}

RegistryTestFailure RunRegistryWriteTest(RegistryTestTarget &target) {
    RegistryTestFailure failure;
    KeyState states[kRegistryTestKeys];
    int attempted = 0;
    for (int key = 0; key < kRegistryTestKeys && !failure.failed(); ++key) {
        ++attempted;
        Forward(target, key, states[key], failure);
        if (key == kBootExecuteKey && !failure.failed()) target.Pause(kBootExecutePause);
    }
    for (int key = attempted - 1; key >= 0; --key) {
        if (!states[key].opened) continue;
        Check(target, key, states[key], failure);
        target.Close(key);
    }
    return failure;
}

const char *RegistryTestReason(RegistryTestCode code) {
    switch (code) {
    case kRegTestCannotWrite:
        return Tx("次のレジストリキーに値を書き込めません。管理者権限またはアクセス権がありません:\r\n",
                  "Cannot write a value in the following registry key:\r\n");
    case kRegTestCannotOpen:
        return Tx("次のレジストリキーを書き込みモードで開けません。管理者権限またはアクセス権がありません:\r\n",
                  "Cannot open the following registry key on write mode:\r\n");
    case kRegTestDiffers:
        return Tx("次のレジストリキーに値を作成できません。セキュリティソフトがレジストリの変更を妨げている"
                  "可能性があります:\r\n",
                  "Cannot make a value in the following registry key:\r\n");
    case kRegTestCannotDelete:
        return Tx("次のレジストリキーの値を削除できません。管理者権限またはアクセス権がありません:\r\n",
                  "Cannot delete a value in the following registry key:\r\n");
    case kRegTestCannotSave:
        return Tx("次のレジストリキーの値を退避できません。管理者権限またはアクセス権がありません:\r\n",
                  "Cannot save a value in the following registry key:\r\n");
    case kRegTestCannotRead:
        return Tx("次のレジストリキーの値を読み取れません。管理者権限またはアクセス権がありません:\r\n",
                  "Cannot read a value in the following registry key:\r\n");
    case kRegTestCannotRestore:
        return Tx("次のレジストリキーの値を元に戻せません。管理者権限またはアクセス権がありません:\r\n",
                  "Cannot read a value in the following registry key:\r\n");
    case kRegTestPassed:
        break;
    }
    return "";
}

std::string RegistryTestReportText(const RegistryTestFailure &failure) {
    if (!failure.failed()) return std::string();
    return std::string(RegistryTestReason(failure.code())) + " " + kKeys[failure.key()].fullPath;
}

bool RegistryWriteTestPasses() {
    SystemRegistry registry;
    RepairRegistryWriteTest(registry);
    RegistryTestFailure failure = RunRegistryWriteTest(registry);
    if (!failure.failed()) return true;
    std::string text = RegistryTestReportText(failure);
    NotifyRequest request;
    request.title = ProductTitle();
    request.heading = Tx("システムレジストリテストエラー", "System Registry Test Error");
    request.body = text.c_str();
    request.yesLabel = Tx("危険を承知で続行(&C)", "&Continue despite the risk");
    request.noLabel = Tx("終了(&Q)", "&Quit");
    // Only Yes goes on: a dialog that cannot be shown has not let the user accept the risk.
    return AskNotify(request) == kNotifyYes;
}
