// The registry values, keys, files and folders a test changes, read and written as stored, and put
// back as they were when the test ends, so the tests also leave a real machine alone.
#pragma once

#include <windows.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using Bytes = std::vector<BYTE>;

inline Bytes BytesOf(const char *text, size_t length) {
    return Bytes(reinterpret_cast<const BYTE *>(text), reinterpret_cast<const BYTE *>(text) + length);
}

struct RawValue {
    bool exists = false;
    DWORD type = REG_NONE;
    Bytes data;
};

inline RawValue ReadRaw(HKEY root, const char *path, const char *name) {
    RawValue value;
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return value;
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
        value.data.resize(size);
        value.exists = RegQueryValueExA(key, name, nullptr, &value.type, value.data.data(), &size) == ERROR_SUCCESS;
        value.data.resize(size);
    }
    RegCloseKey(key);
    return value;
}

inline void WriteRaw(HKEY root, const char *path, const char *name, DWORD type, const Bytes &data) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name, 0, type, data.data(), static_cast<DWORD>(data.size())));
    RegCloseKey(key);
}

inline void WriteText(HKEY root, const char *path, const char *name, const char *text) {
    WriteRaw(root, path, name, REG_SZ, BytesOf(text, strlen(text) + 1));
}

inline void WriteDword(HKEY root, const char *path, const char *name, DWORD number) {
    WriteRaw(root, path, name, REG_DWORD, BytesOf(reinterpret_cast<const char *>(&number), sizeof number));
}

inline void DeleteRaw(HKEY root, const char *path, const char *name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    RegDeleteValueA(key, name);
    RegCloseKey(key);
}

inline bool KeyExists(HKEY root, const char *path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// Puts one value back as it was before the test, so the tests also leave a real machine alone.
class ValueGuard {
public:
    ValueGuard(HKEY root, const char *path, const char *name)
        : root_(root), path_(path), name_(name), saved_(ReadRaw(root, path, name)) {}
    ~ValueGuard() {
        if (saved_.exists)
            WriteRaw(root_, path_.c_str(), name_.c_str(), saved_.type, saved_.data);
        else
            DeleteRaw(root_, path_.c_str(), name_.c_str());
    }
    ValueGuard(const ValueGuard &) = delete;
    ValueGuard &operator=(const ValueGuard &) = delete;

private:
    HKEY root_;
    std::string path_, name_;
    RawValue saved_;
};

// Removes a key the test made (with everything below it) unless it was there before.
class KeyGuard {
public:
    KeyGuard(HKEY root, const std::string &path) : root_(root), path_(path), existed_(KeyExists(root, path.c_str())) {}
    ~KeyGuard() {
        if (!existed_) SHDeleteKeyA(root_, path_.c_str());
    }
    KeyGuard(const KeyGuard &) = delete;
    KeyGuard &operator=(const KeyGuard &) = delete;

private:
    HKEY root_;
    std::string path_;
    bool existed_;
};

inline bool IsFolder(const std::string &path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

inline bool IsFile(const std::string &path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

inline void WriteFileText(const std::string &path, const std::string &text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
}

inline std::string ReadFileText(const std::string &path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

inline void RemoveTree(const std::string &path) {
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &data);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = data.cFileName;
            if (name == "." || name == "..") continue;
            std::string child = path + "\\" + name;
            SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileA(child.c_str());
        } while (FindNextFileA(search, &data));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}

// A fresh folder under the temporary folder, removed with everything in it at the end.
class TempFolder {
public:
    TempFolder() {
        char base[MAX_PATH];
        GetTempPathA(sizeof base, base);
        static int count = 0;
        path_ = std::string(base) + "tw_test_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++count);
        RemoveTree(path_);
        CreateDirectoryA(path_.c_str(), nullptr);
    }
    ~TempFolder() { RemoveTree(path_); }
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;

    const std::string &path() const { return path_; }
    std::string operator/(const std::string &name) const { return path_ + "\\" + name; }
    // Makes the folders of a relative path and returns its full path.
    std::string Folder(const std::string &relative) const {
        std::string full = path_;
        size_t start = 0;
        while (start <= relative.size()) {
            size_t end = relative.find('\\', start);
            if (end == std::string::npos) end = relative.size();
            full += "\\" + relative.substr(start, end - start);
            CreateDirectoryA(full.c_str(), nullptr);
            start = end + 1;
        }
        return full;
    }

private:
    std::string path_;
};

// Sets an environment variable of this process for one test; the old value (or none) comes back.
class EnvironmentScope {
public:
    EnvironmentScope(const char *name, const std::string &value) : name_(name) {
        char old[1024];
        DWORD length = GetEnvironmentVariableA(name, old, sizeof old);
        had_ = length > 0 && length < sizeof old;
        if (had_) old_ = old;
        SetEnvironmentVariableA(name, value.c_str());
    }
    ~EnvironmentScope() { SetEnvironmentVariableA(name_.c_str(), had_ ? old_.c_str() : nullptr); }
    EnvironmentScope(const EnvironmentScope &) = delete;
    EnvironmentScope &operator=(const EnvironmentScope &) = delete;

private:
    std::string name_, old_;
    bool had_ = false;
};
