// A small owner for Win32 handles: closes on every way out of a scope and keeps
// the last-error value across the close, so a caller can still read it.
#pragma once

#include <windows.h>
#include <setupapi.h>

namespace mioutil {

/// Keeps the thread's last error across clean-up: saved when made, put back when
/// the scope ends, so a caller still reads the error of the call that failed.
class LastErrorGuard {
public:
    LastErrorGuard() : error_(GetLastError()) {}
    ~LastErrorGuard() { SetLastError(error_); }
    LastErrorGuard(const LastErrorGuard&) = delete;
    LastErrorGuard& operator=(const LastErrorGuard&) = delete;

private:
    DWORD error_;
};

/// Owns one handle of type T, closed by `Close`. Null and INVALID_HANDLE_VALUE
/// are both "no handle": the Reg* calls leave null, SetupDiGetClassDevsW,
/// SetupDiOpenDevRegKey, FindFirstFileW and CreateFileW give INVALID_HANDLE_VALUE.
template <typename T, auto Close>
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(T value) : value_(value) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) : value_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) {
        if (this != &other) reset(other.release());
        return *this;
    }

    T get() const { return value_; }
    bool valid() const { return value_ != nullptr && value_ != reinterpret_cast<T>(INVALID_HANDLE_VALUE); }
    T* put() {  // for out-parameters: releases what was held first
        reset();
        return &value_;
    }
    void reset(T value = nullptr) {
        if (valid()) {
            const LastErrorGuard keep;
            Close(value_);
        }
        value_ = value;
    }
    T release() {  // hands the handle over without closing it
        const T value = value_;
        value_ = nullptr;
        return value;
    }

private:
    T value_ = nullptr;
};

using UniqueRegKey = UniqueHandle<HKEY, &RegCloseKey>;
using UniqueDevInfo = UniqueHandle<HDEVINFO, &SetupDiDestroyDeviceInfoList>;
using UniqueFind = UniqueHandle<HANDLE, &FindClose>;
using UniqueFile = UniqueHandle<HANDLE, &CloseHandle>;
using UniqueKernelHandle = UniqueHandle<HANDLE, &CloseHandle>;  // processes, threads
using UniqueModule = UniqueHandle<HMODULE, &FreeLibrary>;
using UniqueFileView = UniqueHandle<void*, &UnmapViewOfFile>;  // MapViewOfFile

}  // namespace mioutil
