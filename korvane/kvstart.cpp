// kvstart: the start-up's pieces. WinMain (korvane.cpp) calls them in their order; what they
// decide is computed here from plain inputs, so each rule is tested without starting the program.
#include "korvane.h"
#include "kvstart.h"
#include "notify.h"
#include "rnsrun.h"

#include "language.h"
#include "platform.h"
#include "runlog.h"
#include "settings.h"
#include "winhandle.h"

#include <shellapi.h>
#include <wincrypt.h>

#include <cstdio>
#include <cstring>
#include <vector>

double g_dpiScaleX = 1.0, g_dpiScaleY = 1.0;
bool g_commandGiven = false;
bool g_feedbackHint = false;
int g_buildType = 0;
DWORD g_versionNumber = 0;
HFONT g_guiFont = nullptr;
HFONT g_titleFont = nullptr;
HBRUSH g_whiteBrush = nullptr;
HCURSOR g_arrowCursor = nullptr, g_handCursor = nullptr;

namespace {

const char kLogModule[] = "korvane";

char UpperAscii(char c) {
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

bool EqualNoCase(const char *a, const char *b) {
    while (*a && UpperAscii(*a) == UpperAscii(*b)) {
        ++a;
        ++b;
    }
    return UpperAscii(*a) == UpperAscii(*b);
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

} // namespace

// ---- Command line ---------------------------------------------------------------------------------

namespace {

struct SwitchLetter {
    char letter;
    StartSwitch kind;
    bool takesArgument;
};

const SwitchLetter kSwitchLetters[] = {
    {'?', StartSwitch::Help, false},      {'J', StartSwitch::Japanese, false}, {'N', StartSwitch::English, false},
    {'A', StartSwitch::Auto, false},      {'E', StartSwitch::Ready, true},     {'S', StartSwitch::ReadyAndRun, true},
    {'L', StartSwitch::TextFile, true},   {'R', StartSwitch::RegFile, true},   {'H', StartSwitch::Power, false},
    {'I', StartSwitch::Scheduler, false},
};

} // namespace

ParsedSwitch ParseStartSwitch(const char *commandLine) {
    ParsedSwitch parsed;
    if (!commandLine) return parsed;
    while (IsBlank(*commandLine))
        ++commandLine;
    if (commandLine[0] != '/' || !commandLine[1]) return parsed;
    const char *rest = commandLine + 2;
    for (const SwitchLetter &known : kSwitchLetters) {
        if (UpperAscii(commandLine[1]) != known.letter) continue;
        parsed.kind = known.kind;
        if (known.takesArgument) parsed.argument = rest;
    }
    if (parsed.kind == StartSwitch::Auto && *rest >= '0' && *rest <= '3') parsed.digit = *rest - '0';
    if (parsed.kind == StartSwitch::Power) {
        // /H with any other digit, or none, starts the program normally.
        if (*rest == '0' || *rest == '1')
            parsed.digit = *rest - '0';
        else
            parsed.kind = StartSwitch::None;
    }
    return parsed;
}

bool ApplyLanguageSwitch(const char *commandLine) {
    StartSwitch kind = ParseStartSwitch(commandLine).kind;
    if (kind != StartSwitch::Japanese && kind != StartSwitch::English) return false;
    SetLanguage(Program::Korvane, kind == StartSwitch::Japanese);
    return true;
}

const char *UsageText() {
    return "Korvane.exe starts User Interface.\n\n"
           "/Ax : Skip mode (x=0:Defrag, 1:Check Disk, 2:Check and Defrag, 3:Other, None:Last Setting)\n"
           "/E<Command Line> : Ready mode\n"
           "/S<Command Line> : /A + /E\n"
           "/L<text file> Read text file and Run Rinsa with Other mode\n"
           "/R<reg file> Read registry file and Run Rinsa.\n"
           "/J : Force Japanese mode\n"
           "/N : Force English mode\n"
           "/H0 : Suspend mode\n"
           "/H1 : Hibernation mode";
}

namespace {

std::string TrimBlanks(const std::string &text) {
    size_t first = 0, last = text.size();
    while (first < last && IsBlank(text[first]))
        ++first;
    while (last > first && IsBlank(text[last - 1]))
        --last;
    return text.substr(first, last - first);
}

} // namespace

std::string CommandFileName(const std::string &argument) {
    std::string name = TrimBlanks(argument);
    if (!name.empty() && name.front() == '"') name.erase(0, 1);
    if (!name.empty() && name.back() == '"') name.pop_back();
    return name;
}

std::string RegeditCommandLine(const std::string &regFile) {
    std::string file = TrimBlanks(regFile);
    if (!file.empty() && file.front() == '"') return "REGEDIT.EXE /S " + file;
    return "REGEDIT.EXE /S \"" + file + "\"";
}

// ---- Version resource -----------------------------------------------------------------------------

bool ReadVersionStrings(const char *modulePath, VersionStrings *strings) {
    DWORD unused = 0;
    DWORD size = GetFileVersionInfoSizeA(modulePath, &unused);
    if (size == 0) return false;
    std::vector<char> data(size);
    if (!GetFileVersionInfoA(modulePath, 0, size, data.data())) return false;
    auto query = [&data](const char *name) {
        std::string path = std::string("\\StringFileInfo\\041104b0\\") + name;
        char *value = nullptr;
        UINT length = 0;
        if (!VerQueryValueA(data.data(), path.c_str(), reinterpret_cast<void **>(&value), &length) || !value)
            return std::string();
        return std::string(value, strnlen(value, length));
    };
    strings->fileVersion = query("FileVersion");
    strings->fileDescription = query("FileDescription");
    strings->specialBuild = query("SpecialBuild");
    strings->privateBuild = query("PrivateBuild");
    strings->legalCopyright = query("LegalCopyright");
    return !strings->fileVersion.empty();
}

int BuildTypeOf(const char *specialBuild) {
    if (!specialBuild) return 0;
    for (const char *beta : {"beta", "Final Beta", "Release Candidate"})
        if (EqualNoCase(specialBuild, beta)) return 2;
    if (EqualNoCase(specialBuild, "alpha")) return 1;
    for (const char *preview : {"Public Preview", "Test Release", "Preview Release"})
        if (strcmp(specialBuild, preview) == 0) return 1;
    return 0;
}

DWORD VersionNumberOf(const char *fileVersion) {
    static const DWORD kWeights[] = {10000, 1000, 100, 1};
    DWORD number = 0;
    const char *p = fileVersion ? fileVersion : "";
    for (DWORD weight : kWeights) {
        while (*p == ' ' || *p == '.' || *p == ',')
            ++p;
        DWORD field = 0;
        while (*p >= '0' && *p <= '9')
            field = field * 10 + DWORD(*p++ - '0');
        number += field * weight;
    }
    return number;
}

// ---- Self-check -----------------------------------------------------------------------------------

namespace {

// One SHA-256 computation with the system's provider.
class Sha256Hash {
public:
    Sha256Hash() {
        if (CryptAcquireContextA(&provider_, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) &&
            !CryptCreateHash(provider_, CALG_SHA_256, 0, 0, &hash_))
            hash_ = 0;
    }
    ~Sha256Hash() {
        if (hash_) CryptDestroyHash(hash_);
        if (provider_) CryptReleaseContext(provider_, 0);
    }
    Sha256Hash(const Sha256Hash &) = delete;
    Sha256Hash &operator=(const Sha256Hash &) = delete;

    bool Ready() const { return hash_ != 0; }
    bool Add(const void *data, DWORD size) {
        return hash_ && CryptHashData(hash_, static_cast<const BYTE *>(data), size, 0);
    }
    bool Finish(std::array<BYTE, kSealDigestSize> *digest) {
        DWORD size = DWORD(digest->size());
        return hash_ && CryptGetHashParam(hash_, HP_HASHVAL, digest->data(), &size, 0) && size == digest->size();
    }

private:
    HCRYPTPROV provider_ = 0;
    HCRYPTHASH hash_ = 0;
};

bool ReadExactly(HANDLE file, void *buffer, DWORD size) {
    DWORD read = 0;
    return ReadFile(file, buffer, size, &read, nullptr) && read == size;
}

// The digest of the first size bytes of the file, read in pieces.
bool HashFilePrefix(HANDLE file, unsigned long long size, std::array<BYTE, kSealDigestSize> *digest) {
    Sha256Hash hash;
    std::vector<BYTE> piece(1 << 16);
    LARGE_INTEGER start = {};
    if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) return false;
    while (size > 0) {
        DWORD chunk = DWORD(size < piece.size() ? size : piece.size());
        if (!ReadExactly(file, piece.data(), chunk) || !hash.Add(piece.data(), chunk)) return false;
        size -= chunk;
    }
    return hash.Finish(digest);
}

} // namespace

bool Sha256(const void *data, size_t size, std::array<BYTE, kSealDigestSize> *digest) {
    Sha256Hash hash;
    return hash.Add(data, DWORD(size)) && hash.Finish(digest);
}

SealCheck CheckExecutableSeal(const char *path) {
    UniqueFile file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    LARGE_INTEGER size = {};
    if (!file || !GetFileSizeEx(file.Get(), &size)) return SealCheck::Unreadable;
    if (static_cast<unsigned long long>(size.QuadPart) < kSealSize) return SealCheck::NoSeal;
    unsigned long long body = static_cast<unsigned long long>(size.QuadPart) - kSealSize;
    BYTE trailer[kSealSize];
    LARGE_INTEGER at;
    at.QuadPart = LONGLONG(body);
    if (!SetFilePointerEx(file.Get(), at, nullptr, FILE_BEGIN) || !ReadExactly(file.Get(), trailer, kSealSize))
        return SealCheck::Unreadable;
    if (memcmp(trailer, kSealMagic, kSealMagicSize) != 0) return SealCheck::NoSeal;
    if (!Sha256Hash().Ready()) return SealCheck::Unavailable;
    std::array<BYTE, kSealDigestSize> digest;
    if (!HashFilePrefix(file.Get(), body, &digest)) return SealCheck::Unreadable;
    return memcmp(digest.data(), trailer + kSealMagicSize, kSealDigestSize) == 0 ? SealCheck::Ok : SealCheck::Changed;
}

std::string FormatCheckTime(const SYSTEMTIME &time) {
    char text[32];
    snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", time.wYear, time.wMonth, time.wDay, time.wHour,
             time.wMinute, time.wSecond);
    return text;
}

std::string SelfCheckFailureText(const std::string &lastPassed) {
    std::string text = Tx("プログラムファイル KORVANE.EXE が壊れているか、変更されています。\r\n",
                          "The program file KORVANE.EXE is damaged or has been changed.\r\n");
    if (lastPassed.empty()) {
        text += Tx("正常なプログラムファイルで起動した記録はありません。\r\n",
                   "No start with an intact program file is recorded.\r\n");
    } else {
        text += Tx("正常なプログラムファイルで最後に起動した日時: ", "Last start with an intact program file: ");
        text += lastPassed + "\r\n";
    }
    text += Tx("タイドウェルをインストールし直してください。", "Please install Tidewell again.");
    return text;
}

std::string LastPassedSelfCheck() {
    REGA key;
    if (!OpenSettings(key, OPEN_READONLY)) return std::string();
    std::string time = ReadTextSetting(key, setting::SelfCheckPassed);
    key.CloseKey();
    return time;
}

// ---- Switches that store settings -----------------------------------------------------------------

bool StoreRunKind(int selected) {
    REGA key;
    if (!OpenSettingsForWriting(key, kLogModule)) return false;
    key.WriteIntegerA(setting::Selected.name, selected);
    key.CloseKey();
    return true;
}

bool StoreOtherCommands(const std::string &commandLines, bool readyMode) {
    REGA key;
    if (!OpenSettingsForWriting(key, kLogModule)) return false;
    key.WriteStringA(setting::LastCmdLine.name, commandLines.c_str(), STRTYPE_KEEP);
    key.WriteIntegerA(setting::Selected.name, 3);
    if (readyMode) key.WriteIntegerA(setting::mode.name, 1);
    key.CloseKey();
    return true;
}

// ---- Settings upkeep ------------------------------------------------------------------------------

namespace {

DWORD SubKeyCount(REGA &key) {
    DWORD count = 0;
    if (RegQueryInfoKeyA(key.Handle(), nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return DWORD(-1);
    return count;
}

bool IsUserHistory(const char *name) {
    return EqualNoCase(name, setting::cbq_defrag_cust) || EqualNoCase(name, setting::cbq_chkdsk_cust);
}

struct ValueCopy {
    std::vector<std::string> copied;
    bool complete = true;
};

// Every value of source into target, the user's two histories excepted.
ValueCopy CopyValues(REGA &source, REGA &target) {
    ValueCopy result;
    DWORD nameLength = 0, dataLength = 0;
    if (RegQueryInfoKeyA(source.Handle(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &nameLength,
                         &dataLength, nullptr, nullptr) != ERROR_SUCCESS) {
        result.complete = false;
        return result;
    }
    std::vector<char> name(nameLength + 2);
    std::vector<BYTE> data(dataLength + 2);
    for (DWORD index = 0;; ++index) {
        DWORD nameSize = DWORD(name.size()), dataSize = DWORD(data.size()), type = REG_NONE;
        LONG status =
            RegEnumValueA(source.Handle(), index, name.data(), &nameSize, nullptr, &type, data.data(), &dataSize);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) {
            result.complete = false;
            break;
        }
        if (IsUserHistory(name.data())) continue;
        if (RegSetValueExA(target.Handle(), name.data(), 0, type, data.data(), dataSize) != ERROR_SUCCESS) {
            result.complete = false;
            continue;
        }
        result.copied.push_back(name.data());
    }
    return result;
}

bool IsEmptyKey(REGA &key) {
    DWORD subKeys = 1, values = 1;
    RegQueryInfoKeyA(key.Handle(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr,
                     nullptr, nullptr);
    return subKeys == 0 && values == 0;
}

} // namespace

void RepairExplorerVerbs() {
    for (const char *parent : {"*\\shell", "exefile\\shell"}) {
        std::string path = std::string(parent) + "\\Korvane";
        REGA verb;
        if (!verb.OpenKey(HKEY_CLASSES_ROOT, path.c_str(), OPEN_READONLY)) continue;
        bool empty = SubKeyCount(verb) == 0;
        verb.CloseKey();
        if (!empty) continue;
        // A verb without its command subkey is what an interrupted removal leaves; Explorer would
        // show it and fail.
        REGA parentKey;
        if (!parentKey.OpenKey(HKEY_CLASSES_ROOT, parent, 0)) continue;
        parentKey.DeleteKey("Korvane");
        parentKey.CloseKey();
    }
}

bool MoveSettingsFromUser() {
    REGA machine, user;
    if (machine.OpenKey(kSettingsRoot, kSettingsPath, OPEN_READONLY)) return machine.CloseKey();
    if (!user.OpenKey(HKEY_CURRENT_USER, kSettingsPath, 0)) return true;
    if (!machine.OpenKey(kSettingsRoot, kSettingsPath, OPEN_CREATE)) {
        user.CloseKey();
        ReportRegistryError(kSettingsLocation, kLogModule);
        return false;
    }
    ValueCopy copy = CopyValues(user, machine);
    machine.CloseKey();
    // A value that could not be copied keeps the whole user key, so nothing is lost.
    if (copy.complete)
        for (const std::string &name : copy.copied)
            user.DeleteValue(name.c_str());
    bool empty = copy.complete && IsEmptyKey(user);
    user.CloseKey();
    if (empty) RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsPath);
    return true;
}

bool MoveLegacyLog(REGA &settings, const char *logPath) {
    if (FileExists(logPath)) return true;
    FILE *log = fopen(logPath, "w");
    if (!log) {
        ShowMessage(
            nullptr,
            {"KORVANE.LOG:書き込みモードでファイルを開けません。", "KORVANE.LOG:Cannot open file on write mode."},
            MB_ICONERROR);
        return false;
    }
    for (int n = 299; n >= 0; --n) {
        char name[16];
        snprintf(name, sizeof name, "log%02d", n);
        if (settings.ValueExistA(name) < 0) continue;
        TextPtr text = settings.RegReadStringA(name, "");
        if (text) fprintf(log, "%s\n", text.get());
        settings.DeleteValue(name);
    }
    fclose(log);
    return true;
}

void ClearRestrictRun() {
    REGA key;
    if (!key.OpenKey(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer", 0)) return;
    // Left at 0 by older versions, it would stop Explorer from starting any program.
    if (key.ReadIntegerA("RestrictRun", 1) == 0) key.DeleteValue("RestrictRun");
    key.CloseKey();
}

void EnsureDefaultSoundScheme() {
    const char kScheme[] = "AppEvents\\Schemes\\Apps\\.Default\\.Default";
    REGA key;
    if (key.OpenKey(HKEY_CURRENT_USER, kScheme, OPEN_READONLY) || key.OpenKey(HKEY_CURRENT_USER, kScheme, OPEN_CREATE))
        key.CloseKey();
}

UpdateCheckRequest ReadUpdateCheckRequest(REGA &settings) {
    UpdateCheckRequest request;
    request.proxyHost = ReadTextSetting(settings, setting::HTTPProxy);
    request.proxyPort = ReadTextSetting(settings, setting::HTTPProxyPort);
    request.closeWindow = ReadSetting(settings, setting::CloseWindow_wnve) == 1;
    request.timeoutSeconds = ReadSetting(settings, setting::HTTPTimeout);
    request.beta = ReadSetting(settings, setting::BetaUpdateCheck) != 0;
    return request;
}

void StartAutomaticUpdateCheck(const UpdateCheckRequest &) {
    // The update module takes the request over here; until it exists no check is made.
}

void UpdateSettingsAtStart(const StartWrites &writes) {
    REGA key;
    if (!OpenSettingsForWriting(key, kLogModule)) return;
    key.DeleteValue("");
    key.WriteIntegerA(setting::VersionNumber.name, LONG(writes.versionNumber));
    key.WriteStringA(setting::ProgramFile.name, writes.programFile ? writes.programFile : "", STRTYPE_PLAIN);
    if (!writes.selfCheckTime.empty())
        key.WriteStringA(setting::SelfCheckPassed.name, writes.selfCheckTime.c_str(), STRTYPE_PLAIN);
    if (writes.updateCheckAllowed && ReadSetting(key, setting::AutoUpdateCheck) != 0)
        StartAutomaticUpdateCheck(ReadUpdateCheckRequest(key));
    MoveLegacyLog(key, RunLogPath().c_str());
    key.CloseKey();
}

// ---- Questions at start ---------------------------------------------------------------------------

namespace {

void MakeRestorePointNow() {
    RegFlushKey(HKEY_LOCAL_MACHINE);
    RegFlushKey(HKEY_CURRENT_USER);
    RUNLOG(Tx("復元ポイントの作成を開始します。", "Starting create a restore point."));
    if (CreateRestorePoint() == 0) {
        RUNLOG(Tx("復元ポイントを作成しました。", "Creating restore point is successful."));
        return;
    }
    const char *failed = RUNLOG(Tx("復元ポイントを作成できません。", "Cannot create restore point."));
    ShowMessageBox(nullptr, failed, ProductTitle(), MB_ICONWARNING);
}

} // namespace

void AskRestorePointChoice() {
    REGA key;
    if (!OpenSettingsForWriting(key, kLogModule)) return;
    if (key.ValueExistA(setting::CreateRestorePoint.name) >= 0) {
        key.CloseKey();
        return;
    }
    int answer = ShowMessage(nullptr,
                             {"Rinsa の実行を開始するときに、復元ポイントを作成しますか?",
                              "When rinsa!! running starts, are you sure you want to create a restore point?"},
                             MB_YESNO | MB_ICONQUESTION);
    key.WriteIntegerA(setting::CreateRestorePoint.name, answer == IDYES ? 1 : 0);
    key.CloseKey();
    if (answer == IDYES) return;
    if (ShowMessage(nullptr,
                    {"今すぐ復元ポイントを作成しますか?", "Are you sure you want to create a restore point now?"},
                    MB_YESNO | MB_ICONQUESTION) == IDYES)
        MakeRestorePointNow();
}

namespace {

// Deletes the product's subkey of an old registration, and the registration when nothing is left.
void RemoveObsoleteRegistration(REGA &upcheck, const char *registration) {
    std::string path = std::string(kUpcheckKey) + "\\" + registration;
    REGA old;
    if (!old.OpenKey(HKEY_CURRENT_USER, path.c_str(), 0)) return;
    if (SubKeyCount(old) > 0) old.DeleteKey("KORVANE");
    bool empty = SubKeyCount(old) == 0;
    old.CloseKey();
    if (empty) upcheck.DeleteKey(registration);
}

bool OpenRegistration(REGA &key, const char *subKey) {
    std::string path = std::string(kUpcheckKey) + "\\" + kUpcheckRegistration + subKey;
    if (key.OpenKey(HKEY_CURRENT_USER, path.c_str(), OPEN_CREATE)) return true;
    ReportRegistryError("Update", kLogModule);
    return false;
}

} // namespace

void RegisterWithUpcheck(DWORD versionNumber, const char *programFile) {
    REGA upcheck;
    if (!upcheck.OpenKey(HKEY_CURRENT_USER, kUpcheckKey, 0)) return;
    for (const char *registration : kUpcheckObsolete)
        RemoveObsoleteRegistration(upcheck, registration);
    upcheck.CloseKey();
    REGA maker, product;
    if (!OpenRegistration(maker, "")) return;
    maker.WriteStringA("Author", "Halvornix", STRTYPE_PLAIN);
    maker.WriteStringA("InfoURL", kUpdateInfoUrl, STRTYPE_PLAIN);
    maker.WriteStringA("DisplayHost", kMakerHost, STRTYPE_PLAIN);
    maker.CloseKey();
    if (!OpenRegistration(product, "\\KORVANE")) return;
    product.WriteIntegerA("Build", LONG(versionNumber));
    product.WriteStringA("DistinctName", "KORVANE", STRTYPE_PLAIN);
    product.WriteStringA("DisplayName", ProductTitle(), STRTYPE_PLAIN);
    product.WriteStringA("FilePath", programFile ? programFile : "", STRTYPE_PLAIN);
    product.CloseKey();
}

bool IsSummerMonth(WORD month) {
    return month >= 6 && month <= 9;
}

bool SummerNoticeAccepted() {
    NotifyRequest request;
    request.title = ProductTitle();
    request.heading = "夏場のデフラグについてのご注意";
    request.body = "室温の高い時期にデフラグを行うと、ハードディスクが長時間高負荷で動き続けるため、温度が上がり"
                   "すぎて故障の原因になることがあります。\r\n\r\n"
                   "部屋を冷やし、パソコンの通気口をふさがないようにしてから実行してください。"
                   "ノートパソコンでは特にご注意ください。";
    request.yesLabel = "危険を承知で続行(&C)";
    request.noLabel = "終了(&Q)";
    request.valueName = setting::warn_summer.name;
    return AskNotify(request) == kNotifyYes;
}

bool UntestedWindowsAccepted() {
    NotifyRequest request;
    request.heading = Tx("このプログラムは、この環境では動作しない可能性があります。続行しますか?",
                         "This program may not run in this environment. Do you continue?");
    if (IsJapanese())
        request.body = "お使いの Windows は、このプログラムが動作を確認したバージョンより新しいものです。"
                       "Rinsa の実行でシステムの設定を変更するため、予期しない問題が起きるおそれがあります。";
    request.valueName = setting::VerCheck.name;
    return AskNotify(request) == kNotifyYes;
}

// ---- Title font -----------------------------------------------------------------------------------

const char *TitleFontFace(bool japanese, unsigned short windowsVersion) {
    if (!japanese) return "Arial";
    return windowsVersion < 410 ? "ＭＳ Ｐゴシック" : "MS UI Gothic";
}

HFONT CreateTitleFont(bool japanese, unsigned short windowsVersion, double scaleY) {
    LOGFONTA font = {};
    font.lfHeight = LONG(30 * scaleY);
    font.lfWeight = 956;
    font.lfCharSet = SHIFTJIS_CHARSET;
    font.lfOutPrecision = OUT_TT_PRECIS;
    font.lfPitchAndFamily = VARIABLE_PITCH;
    lstrcpynA(font.lfFaceName, TitleFontFace(japanese, windowsVersion), LF_FACESIZE);
    return CreateFontIndirectA(&font);
}

// ---- Drive ----------------------------------------------------------------------------------------

bool OnLocalFixedDisk(const char *modulePath, UINT (*driveType)(const char *root)) {
    if (!modulePath || modulePath[0] == '\\' || !modulePath[0] || modulePath[1] != ':') return false;
    char root[] = {modulePath[0], ':', '\\', '\0'};
    return driveType(root) == DRIVE_FIXED;
}

// ---- Power action after a run ---------------------------------------------------------------------

SetPowerStateFunction g_setSystemPowerState = SetSystemPowerState;

const std::array<PowerTry, 4> &PowerTries(bool suspendFirst) {
    static const std::array<PowerTry, 4> kSuspendFirst = {{
        {TRUE, FALSE, {"サスペンドモードに移行します...", "Entering Suspend mode..."}},
        {TRUE,
         TRUE,
         {"失敗しました。強制的にサスペンドモードに移行します...", "failed. Force Entering Suspend mode..."}},
        {FALSE, FALSE, {"失敗しました。休止状態に移行します...", "failed. Entering Hibernation mode..."}},
        {FALSE, TRUE, {"失敗しました。強制的に休止状態に移行します...", "failed. Force Entering Hibernation mode..."}},
    }};
    static const std::array<PowerTry, 4> kHibernateFirst = {{
        {FALSE, FALSE, {"休止状態に移行します...", "Entering Hibernation mode..."}},
        {FALSE, TRUE, {"失敗しました。強制的に休止状態に移行します...", "failed. Force Entering Hibernation mode..."}},
        {TRUE, FALSE, {"失敗しました。サスペンドモードに移行します...", "failed. Entering Suspend mode..."}},
        {TRUE,
         TRUE,
         {"失敗しました。強制的にサスペンドモードに移行します...", "failed. Force Entering Suspend mode..."}},
    }};
    return suspendFirst ? kSuspendFirst : kHibernateFirst;
}

namespace {

// The automatic logon that the run needed ends with it when the user asked so.
void EndAutomaticLogon() {
    REGA settings;
    LONG off = 0;
    if (OpenSettings(settings, OPEN_READONLY)) {
        off = ReadSetting(settings, setting::OffAutoLogon);
        settings.CloseKey();
    }
    if (off == 0) return;
    REGA winlogon;
    if (!winlogon.OpenKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
                          OPEN_CREATE)) {
        ReportRegistryError("Winlogon", kLogModule);
        return;
    }
    winlogon.DeleteValue("AutoAdminLogon");
    if (off == 2)
        for (const char *name : {"DefaultUserName", "DefaultPassword", "DefaultDomainName"})
            winlogon.DeleteValue(name);
    winlogon.CloseKey();
}

} // namespace

void PowerActionAfterRun(bool suspendFirst) {
    EndAutomaticLogon();
    RegFlushKey(HKEY_LOCAL_MACHINE);
    EnableShutdownPrivilege();
    for (const PowerTry &attempt : PowerTries(suspendFirst)) {
        RUNLOG(attempt.logLine.Get());
        if (g_setSystemPowerState(attempt.suspend, attempt.force)) return;
    }
    RUNLOG(Tx("失敗しました。", "failed."));
    if (suspendFirst)
        ShowMessage(nullptr, {"サスペンドモードに移行できませんでした。", "Entering Suspend mode was failed."},
                    MB_ICONERROR);
    else
        ShowMessage(nullptr, {"休止状態に移行できませんでした。", "Entering Hibernation mode was failed."},
                    MB_ICONERROR);
}

// ---- Scheduler replacement ------------------------------------------------------------------------

namespace {

// Asks the resident scheduler to end and waits until its process is gone, so its EXE can be replaced.
bool EndResidentScheduler() {
    HWND resident = FindWindowA("korvane_task_sr", nullptr);
    if (!resident) return false;
    DWORD processId = 0;
    GetWindowThreadProcessId(resident, &processId);
    UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(resident, WM_DESTROY, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    Sleep(500);
    if (process) WaitForSingleObject(process.Get(), 5000);
    return true;
}

} // namespace

void ReplaceScheduler() {
    bool wasRunning = EndResidentScheduler();
    if (FileExists("KORVTASK.TMP")) {
        if (CopyFileA("KORVTASK.TMP", "KORVTASK.EXE", FALSE))
            DeleteFileA("KORVTASK.TMP");
        else
            ShowMessage(
                nullptr,
                {"korvtask.tmp を korvtask.exe にコピーできません。", "Cannot copy korvtask.tmp to korvtask.exe."},
                MB_ICONWARNING);
    }
    if (!wasRunning) return;
    INT_PTR started = INT_PTR(ShellExecuteA(nullptr, "open", "KORVTASK.EXE", "/S", ".", SW_SHOWNORMAL));
    if (started <= 32)
        ShowMessage(nullptr, {"korvtask.exe を実行できません。", "korvtask.exe cannot run."}, MB_ICONWARNING);
}
