// selfcheck: what the start checks of its own program file: the version resource, the seal the build
// puts on KORVANE.EXE, and that the file lies on a local fixed disk.
#include "korvane.h"
#include "startup/startup.h"

#include "language.h"
#include "settings.h"
#include "winhandle.h"

#include <wincrypt.h>
#include <cstdio>
#include <cstring>
#include <vector>

int g_buildType = 0;
DWORD g_versionNumber = 0;

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
// ---- Drive ----------------------------------------------------------------------------------------

bool OnLocalFixedDisk(const char *modulePath, UINT (*driveType)(const char *root)) {
    if (!modulePath || modulePath[0] == '\\' || !modulePath[0] || modulePath[1] != ':') return false;
    char root[] = {modulePath[0], ':', '\\', '\0'};
    return driveType(root) == DRIVE_FIXED;
}
