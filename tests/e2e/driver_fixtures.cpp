#include "driver_fixtures.h"

#include "harness.h"
#include "names.h"

namespace e2e {

namespace {

const wchar_t* kTestRoot = L"Software\\MioutilE2E";

}  // namespace

std::wstring UninstallEntryPath(const std::wstring& entry) {
    return std::wstring(mioutil::kUninstallKeyPath) + L"\\" + entry;
}

std::wstring DpinstFolder() {
    wchar_t drive[16] = {};
    GetEnvironmentVariableW(L"SystemDrive", drive, 16);
    return std::wstring(drive) + L"\\Program Files\\KORAV";
}

Done InstallDpinst(At at) {
    CreateDirectoryW(DpinstFolder().c_str(), nullptr);
    return CopyTo(BinDir() + L"\\dpinst_standin.exe", DpinstFolder() + L"\\DPInst.exe", at);
}

std::vector<std::wstring> DpinstCalls() { return ReadLogLines(DpinstFolder() + L"\\" + kDpinstLog); }

std::wstring DifxLog() { return TempLog(kDifxLog); }

Done SetDifxResult(const std::wstring& infName, DWORD result, At at) {
    return SetValue(kNative, std::wstring(kTestRoot) + L"\\DifxResult", infName, REG_DWORD, &result, sizeof(result),
                    HKEY_CURRENT_USER, at);
}

void DriverRemovalTest::Clean() {
    // Every oem INF and PNF these tests make is numbered 9000 and up, or has a long name of a's or b's.
    WIN32_FIND_DATAW found = {};
    const UniqueFind find(FindFirstFileW((InfFolder() + L"\\*").c_str(), &found));
    for (bool more = find.valid(); more; more = FindNextFileW(find.get(), &found)) {
        const std::wstring name = found.cFileName;
        const bool ours = name.rfind(L"oem9", 0) == 0 || name.rfind(L"krv9", 0) == 0 ||
                          name.rfind(L"oemaaaa", 0) == 0 || name.rfind(L"oembbbb", 0) == 0;
        if (ours) RemoveFileForce(InfPath(name));
    }
    DeleteTree(kNative, UninstallEntryPath(mioutil::kCardUninstallEntry));
    RemoveTreeForce(DpinstFolder());
    DeleteTree(kNative, kTestRoot, HKEY_CURRENT_USER);
    RemoveFileForce(DifxLog());
}

void DriverRemovalTest::SetUp() { Clean(); }

void DriverRemovalTest::TearDown() {
    // The guard around each run sees the foreign INFs stay; this sees no call named one.
    for (const std::wstring& line : ReadLogLines(DifxLog())) {
        EXPECT_EQ(line.find(L"\\oem700"), std::wstring::npos) << "foreign package uninstalled";
    }
    Clean();
}

}  // namespace e2e
