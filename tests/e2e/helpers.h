// The end-to-end tests' small helpers: the registry (every call takes the view:
// 0 for the process's own, KEY_WOW64_32KEY or KEY_WOW64_64KEY), files, and the
// stand-ins' logs. Those that arrange the machine fail the test at the caller's
// line and return false (Done): a test calls them as ASSERT_TRUE(Helper(...)), so a
// failed set-up stops the test there.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/unique_handle.h"
#include "standins/standin_log.h"

namespace e2e {

using mioutil::UniqueDevInfo;
using mioutil::UniqueFile;
using mioutil::UniqueFind;
using mioutil::UniqueKernelHandle;
using mioutil::UniqueModule;
using mioutil::UniqueRegKey;

/// Where a helper was called from: the caller's file and line, as a default argument.
struct At {
    const char* file;
    int line;
};
inline At Here(const char* file = __builtin_FILE(), int line = __builtin_LINE()) { return {file, line}; }
/// Fails the test at `at` and gives false, for a set-up helper to return.
bool FailAt(At at, const std::string& what);
/// What a set-up helper returns: false once it failed the test at the caller's line.
/// It is also an AssertionResult, for the benchmark, which runs outside a test.
class Done {
public:
    Done(bool ok) : ok_(ok) {}  // implicit: a helper returns its bool as it is
    operator bool() const { return ok_; }
    operator testing::AssertionResult() const {
        return ok_ ? testing::AssertionSuccess() : testing::AssertionFailure() << "set-up failed (see above)";
    }

private:
    bool ok_;
};

/// The process's own registry view.
constexpr REGSAM kNative = 0;

// Registry, below `root` (HKEY_LOCAL_MACHINE unless named).
Done CreateKey(REGSAM view, const std::wstring& path, HKEY root = HKEY_LOCAL_MACHINE, At at = Here());
Done SetValue(REGSAM view, const std::wstring& path, const std::wstring& name, DWORD type, const void* data,
              DWORD bytes, HKEY root = HKEY_LOCAL_MACHINE, At at = Here());
/// A string value with its terminating zero.
Done SetText(REGSAM view, const std::wstring& path, const std::wstring& name, const std::wstring& text,
             DWORD type = REG_SZ, HKEY root = HKEY_LOCAL_MACHINE, At at = Here());
/// The value's raw bytes (and type); false when it cannot be read.
bool ReadValue(REGSAM view, const std::wstring& path, const std::wstring& name, std::string* data,
               DWORD* type = nullptr, HKEY root = HKEY_LOCAL_MACHINE);
/// A string value up to its first zero; false when it cannot be read.
bool ReadText(REGSAM view, const std::wstring& path, const std::wstring& name, std::wstring* text,
              HKEY root = HKEY_LOCAL_MACHINE);
bool ValueExists(REGSAM view, const std::wstring& path, const std::wstring& name, HKEY root = HKEY_LOCAL_MACHINE);
std::vector<std::wstring> ValueNames(REGSAM view, const std::wstring& path, HKEY root = HKEY_LOCAL_MACHINE);
std::vector<std::wstring> SubkeyNames(REGSAM view, const std::wstring& path, HKEY root = HKEY_LOCAL_MACHINE);
bool KeyExists(REGSAM view, const std::wstring& path, HKEY root = HKEY_LOCAL_MACHINE);
void DeleteValue(REGSAM view, const std::wstring& path, const std::wstring& name, HKEY root = HKEY_LOCAL_MACHINE);
/// The key with everything below it; a missing key is fine.
void DeleteTree(REGSAM view, const std::wstring& path, HKEY root = HKEY_LOCAL_MACHINE);

// Files. Long paths go through the \\?\ form so that the tests can arrange them.
std::wstring BinDir();     // folder of the running exe; mioutil.exe and the stand-ins are built there
std::wstring SystemDir();  // System32: the stand-ins for what Wine lacks are copied there
std::wstring WindowsDir();
std::wstring InfFolder();  // <Windows>\inf as GetWindowsDirectoryW gives it
std::wstring InfPath(const std::wstring& name);
Done WriteBytes(const std::wstring& path, const std::string& bytes, At at = Here());
Done CopyTo(const std::wstring& from, const std::wstring& to, At at = Here());
std::string ReadBytes(const std::wstring& path);  // empty when it cannot be read
bool Exists(const std::wstring& path);
void RemoveFileForce(const std::wstring& path);  // clears read-only first; absent is fine
void RemoveTreeForce(const std::wstring& folder);

// The stand-ins' logs (standin_log.h).
std::wstring TempLog(const wchar_t* fileName);
/// The lines of a log, without their line feeds; none when it cannot be read.
std::vector<std::wstring> ReadLogLines(const std::wstring& path);

std::string Narrow(const std::wstring& text);

/// Sets an environment variable for the children started while it lives.
class ScopedEnv {
public:
    ScopedEnv(const wchar_t* name, const wchar_t* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::wstring name_;
    std::wstring old_;
    bool had_ = false;
};

}  // namespace e2e
