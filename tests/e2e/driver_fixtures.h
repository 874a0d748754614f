// Shared arrangements for the -UninstallDriver tests: the card's uninstall entry,
// OEM INF files in the Windows INF folder, the DPInst.exe and difxapi.dll
// stand-ins and their logs, and things that are not the card's, which every test
// checks are left untouched.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness.h"

namespace e2e {

// Files and folders.
std::wstring InfFolder();  // <Windows>\inf as GetWindowsDirectoryW gives it
std::wstring InfPath(const std::wstring& name);
void WriteBytes(const std::wstring& path, const std::string& bytes);
std::string ReadBytes(const std::wstring& path);
bool Exists(const std::wstring& path);
void RemoveFileForce(const std::wstring& path);  // clears read-only first; absent is fine
void RemoveTreeForce(const std::wstring& folder);
std::vector<std::wstring> ReadLogLines(const std::wstring& path);  // UTF-16 lines, without the line feeds

// HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\<entry>, native view.
std::wstring UninstallEntryPath(const std::wstring& entry);
void SetValue(const std::wstring& keyPath, const std::wstring& name, DWORD type, const std::string& bytes);
void SetText(const std::wstring& keyPath, const std::wstring& name, const std::wstring& text, DWORD type = REG_SZ);
bool ValueExists(const std::wstring& keyPath, const std::wstring& name);
std::vector<std::wstring> ValueNames(const std::wstring& keyPath);
void DeleteKeyTree(const std::wstring& keyPath);

// DPInst.exe stand-in at %SystemDrive%\Program Files\KORAV\DPInst.exe.
std::wstring DpinstFolder();
void InstallDpinst();
std::vector<std::wstring> DpinstCalls();

// difxapi.dll stand-in: one call per line "path TAB flags TAB info-null TAB reboot".
std::wstring DifxLogIn(const std::wstring& folder);
void SetDifxResult(const std::wstring& infName, DWORD result);

/// Sets an environment variable for the children started while it lives.
class ScopedEnv {
public:
    ScopedEnv(const wchar_t* name, const wchar_t* value);
    ~ScopedEnv();

private:
    std::wstring name_;
    std::wstring old_;
    bool had_ = false;
};

/// Wine's load order for difxapi.dll in mioutil.exe ("native", or "" for none).
/// Wine would otherwise load its own difxapi.dll, whose stub reports success,
/// even for the full path of another file.
class ScopedDifxLoadOrder : public WineDllOverrideFor {
public:
    explicit ScopedDifxLoadOrder(const wchar_t* order) : WineDllOverrideFor(L"mioutil.exe", L"difxapi", order) {}
};

/// Clears every trace of these tests before and after each test, loads the
/// stand-in difxapi.dll from the bin folder, and plants things that are not the
/// card's: the test's end checks they are untouched.
class DriverRemovalTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    void ExpectForeignThingsUntouched();
    void PlantForeignInf();  // done by SetUp; a test that removes it puts it back

private:
    void Clean();
    ScopedDifxLoadOrder native_{L"native"};
};

}  // namespace e2e
