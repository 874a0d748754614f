// A small owner for Win32 handles: closes on every way out of a scope and keeps
// the last-error value across the close, so a caller can still read it.
#pragma once

#include <windows.h>
#include <setupapi.h>

namespace mioutil {

// Traits give the handle type, its invalid value and how to close it.
template <typename Traits>
class UniqueHandle {
public:
    using Type = typename Traits::Type;

    UniqueHandle() = default;
    explicit UniqueHandle(Type value) : value_(value) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Type get() const { return value_; }
    bool valid() const { return Traits::IsValid(value_); }
    Type* put() {  // for out-parameters: releases what was held first
        reset();
        return &value_;
    }
    void reset(Type value = Traits::Invalid()) {
        if (valid()) {
            const DWORD lastError = GetLastError();
            Traits::Close(value_);
            SetLastError(lastError);
        }
        value_ = value;
    }

private:
    Type value_ = Traits::Invalid();
};

// SetupDiOpenDevRegKey fails with INVALID_HANDLE_VALUE, the Reg* calls leave NULL.
struct RegKeyTraits {
    using Type = HKEY;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type key) { return key != nullptr && key != static_cast<HKEY>(INVALID_HANDLE_VALUE); }
    static void Close(Type key) { RegCloseKey(key); }
};
struct DevInfoTraits {
    using Type = HDEVINFO;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Type h) { return h != INVALID_HANDLE_VALUE; }
    static void Close(Type set) { SetupDiDestroyDeviceInfoList(set); }
};
struct FindTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Type h) { return h != INVALID_HANDLE_VALUE; }
    static void Close(Type find) { FindClose(find); }
};
struct FileTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Type h) { return h != INVALID_HANDLE_VALUE; }
    static void Close(Type file) { CloseHandle(file); }
};
// Process and thread handles from CreateProcessW (null where none was given).
struct KernelHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Type h) { CloseHandle(h); }
};
struct ModuleTraits {
    using Type = HMODULE;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type module) { return module != nullptr; }
    static void Close(Type module) { FreeLibrary(module); }
};

using UniqueRegKey = UniqueHandle<RegKeyTraits>;
using UniqueDevInfo = UniqueHandle<DevInfoTraits>;
using UniqueFind = UniqueHandle<FindTraits>;
using UniqueFile = UniqueHandle<FileTraits>;
using UniqueModule = UniqueHandle<ModuleTraits>;
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;

}  // namespace mioutil
