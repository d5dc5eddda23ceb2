// Owners for Win32 handles: each closes its handle once, when it goes out of scope.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <utility>

template <typename Traits> class UniqueWin32 {
public:
    using Type = typename Traits::Type;

    UniqueWin32() = default;
    explicit UniqueWin32(Type value) : value_(value) {}
    ~UniqueWin32() { Reset(); }
    UniqueWin32(const UniqueWin32 &) = delete;
    UniqueWin32 &operator=(const UniqueWin32 &) = delete;
    UniqueWin32(UniqueWin32 &&other) noexcept : value_(other.Release()) {}
    UniqueWin32 &operator=(UniqueWin32 &&other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }

    Type Get() const { return value_; }
    bool Valid() const { return value_ != Traits::Invalid() && value_ != Type(); }
    explicit operator bool() const { return Valid(); }
    Type Release() { return std::exchange(value_, Traits::Invalid()); }
    void Reset(Type value = Traits::Invalid()) {
        if (Valid()) Traits::Close(value_);
        value_ = value;
    }

private:
    Type value_ = Traits::Invalid();
};

struct KernelHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { CloseHandle(h); }
};
struct FileHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) { CloseHandle(h); }
};
struct FindHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) { FindClose(h); }
};
struct ModuleTraits {
    using Type = HMODULE;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { FreeLibrary(h); }
};
struct GdiObjectTraits {
    using Type = HGDIOBJ;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { DeleteObject(h); }
};
struct MenuTraits {
    using Type = HMENU;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { DestroyMenu(h); }
};

// Kernel objects (processes, threads, events, mutexes): null means none.
using UniqueHandle = UniqueWin32<KernelHandleTraits>;
// Files and searches: INVALID_HANDLE_VALUE means none.
using UniqueFile = UniqueWin32<FileHandleTraits>;
using UniqueFind = UniqueWin32<FindHandleTraits>;
using UniqueModule = UniqueWin32<ModuleTraits>;
using UniqueGdiObject = UniqueWin32<GdiObjectTraits>;
// A menu loaded from a resource, with its submenus.
using UniqueMenu = UniqueWin32<MenuTraits>;

// A critical section and its scoped lock.
class CriticalSection {
public:
    CriticalSection() { InitializeCriticalSection(&cs_); }
    ~CriticalSection() { DeleteCriticalSection(&cs_); }
    CriticalSection(const CriticalSection &) = delete;
    CriticalSection &operator=(const CriticalSection &) = delete;
    void Enter() { EnterCriticalSection(&cs_); }
    void Leave() { LeaveCriticalSection(&cs_); }

private:
    CRITICAL_SECTION cs_;
};

class CriticalLock {
public:
    explicit CriticalLock(CriticalSection &cs) : cs_(cs) { cs_.Enter(); }
    ~CriticalLock() { cs_.Leave(); }
    CriticalLock(const CriticalLock &) = delete;
    CriticalLock &operator=(const CriticalLock &) = delete;

private:
    CriticalSection &cs_;
};

// Sets the error mode for a scope, e.g. to keep "insert a disk" boxes away while probing drives.
class ErrorModeScope {
public:
    explicit ErrorModeScope(UINT mode) : old_(SetErrorMode(mode)) {}
    ~ErrorModeScope() { SetErrorMode(old_); }
    ErrorModeScope(const ErrorModeScope &) = delete;
    ErrorModeScope &operator=(const ErrorModeScope &) = delete;

private:
    UINT old_;
};

// Initialises COM for the thread when it has not been, and undoes exactly that.
class ComScope {
public:
    // S_FALSE (already initialised) also counts and must be balanced; RPC_E_CHANGED_MODE does not,
    // though COM is usable in the mode the thread already chose.
    ComScope() : initialised_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComScope() {
        if (initialised_) CoUninitialize();
    }
    ComScope(const ComScope &) = delete;
    ComScope &operator=(const ComScope &) = delete;

private:
    bool initialised_;
};
