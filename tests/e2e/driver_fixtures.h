// Shared arrangements for the -UninstallDriver tests: the card's uninstall entry,
// OEM INF files in the Windows INF folder, the DPInst.exe and difxapi.dll
// stand-ins and their logs.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness.h"

namespace e2e {

/// HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\<entry>, native view.
std::wstring UninstallEntryPath(const std::wstring& entry);

// DPInst.exe stand-in at %SystemDrive%\Program Files\KORAV\DPInst.exe.
std::wstring DpinstFolder();
Done InstallDpinst(At at = Here());
std::vector<std::wstring> DpinstCalls();

// difxapi.dll stand-ins, wherever they were loaded from: one call per line
// "DLL path TAB INF path TAB flags TAB info-null TAB reboot", in one log.
std::wstring DifxLog();
Done SetDifxResult(const std::wstring& infName, DWORD result, At at = Here());

/// Wine's load order for difxapi.dll in mioutil.exe ("native", or "" for none).
/// Wine would otherwise load its own difxapi.dll, whose stub reports success,
/// even for the full path of another file.
class ScopedDifxLoadOrder : public WineDllOverrideFor {
public:
    explicit ScopedDifxLoadOrder(const wchar_t* order) : WineDllOverrideFor(L"mioutil.exe", L"difxapi", order) {}
};

/// Clears every trace of these tests before and after each test, and loads the
/// stand-in difxapi.dll from the bin folder.
class DriverRemovalTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

private:
    void Clean();
    ScopedDifxLoadOrder native_{L"native"};
};

}  // namespace e2e
