#include "driver_fixtures.h"

#include "harness.h"
#include "names.h"

namespace e2e {

namespace {

const std::wstring kForeignInf = L"oem9000.inf";
const std::string kForeignInfText = "[Version]\r\nSignature=\"$Windows NT$\"\r\nProvider=Contoso Korav Ltd.\r\n";
const std::wstring kForeignEntry = L"MioutilE2E Foreign App";
const std::wstring kForeignUninstall = L"\"C:\\Program Files\\Foreign\\uninst.exe\" /x KORAV";
const wchar_t* kTestRoot = L"Software\\MioutilE2E";

}  // namespace

std::wstring InfFolder() {
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    return std::wstring(windows) + L"\\inf";
}

std::wstring InfPath(const std::wstring& name) { return InfFolder() + L"\\" + name; }

// Long paths go through the \\?\ form so that the tests can arrange them.
static std::wstring Long(const std::wstring& path) { return path.size() >= MAX_PATH - 12 ? L"\\\\?\\" + path : path; }

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(Long(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << testing::PrintToString(path) << " error " << GetLastError();
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    ASSERT_EQ(written, bytes.size());
}

std::string ReadBytes(const std::wstring& path) {
    HANDLE file = CreateFileW(Long(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(Long(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

void RemoveFileForce(const std::wstring& path) {
    SetFileAttributesW(Long(path).c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(Long(path).c_str());
    RemoveDirectoryW(Long(path).c_str());  // a test may have made a directory of that name
}

void RemoveTreeForce(const std::wstring& folder) {
    WIN32_FIND_DATAW found = {};
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTreeForce(folder + L"\\" + name);
            } else {
                RemoveFileForce(folder + L"\\" + name);
            }
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    RemoveDirectoryW(folder.c_str());
}

std::vector<std::wstring> ReadLogLines(const std::wstring& path) {
    const std::string bytes = ReadBytes(path);
    std::wstring text(bytes.size() / sizeof(wchar_t), L'\0');
    if (!text.empty()) memcpy(&text[0], bytes.data(), text.size() * sizeof(wchar_t));
    std::vector<std::wstring> lines;
    size_t start = 0;
    for (size_t end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

std::wstring UninstallEntryPath(const std::wstring& entry) {
    return std::wstring(mioutil::kUninstallKeyPath) + L"\\" + entry;
}

void SetValue(const std::wstring& keyPath, const std::wstring& name, DWORD type, const std::string& bytes) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    const LSTATUS status = RegSetValueExW(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                          static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
    ASSERT_EQ(status, ERROR_SUCCESS);
}

void SetText(const std::wstring& keyPath, const std::wstring& name, const std::wstring& text, DWORD type) {
    const std::wstring withZero = text + L'\0';
    SetValue(keyPath, name, type,
             std::string(reinterpret_cast<const char*>(withZero.data()), withZero.size() * sizeof(wchar_t)));
}

bool ValueExists(const std::wstring& keyPath, const std::wstring& name) {
    return RegGetValueW(HKEY_LOCAL_MACHINE, keyPath.c_str(), name.c_str(), RRF_RT_ANY, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS;
}

std::vector<std::wstring> ValueNames(const std::wstring& keyPath) {
    std::vector<std::wstring> names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[16384] = {};
        DWORD length = 16384;
        if (RegEnumValueW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.push_back(std::wstring(name, length));
    }
    RegCloseKey(key);
    return names;
}

void DeleteKeyTree(const std::wstring& keyPath) {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, keyPath.c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, keyPath.c_str());
}

std::wstring DpinstFolder() {
    wchar_t drive[16] = {};
    GetEnvironmentVariableW(L"SystemDrive", drive, 16);
    return std::wstring(drive) + L"\\Program Files\\KORAV";
}

void InstallDpinst() {
    CreateDirectoryW(DpinstFolder().c_str(), nullptr);
    ASSERT_TRUE(CopyFileW((BinDir() + L"\\dpinst_standin.exe").c_str(), (DpinstFolder() + L"\\DPInst.exe").c_str(),
                          FALSE))
        << GetLastError();
}

std::vector<std::wstring> DpinstCalls() { return ReadLogLines(DpinstFolder() + L"\\dpinst_calls.log"); }

std::wstring DifxLogIn(const std::wstring& folder) { return folder + L"\\difxapi_calls.log"; }

void SetDifxResult(const std::wstring& infName, DWORD result) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (std::wstring(kTestRoot) + L"\\DifxResult").c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExW(key, infName.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&result), sizeof(result));
    RegCloseKey(key);
}

ScopedEnv::ScopedEnv(const wchar_t* name, const wchar_t* value) : name_(name) {
    wchar_t old[32768] = {};
    const DWORD n = GetEnvironmentVariableW(name, old, 32768);
    had_ = n > 0 && n < 32768;
    if (had_) old_.assign(old, n);
    SetEnvironmentVariableW(name, value);
}

ScopedEnv::~ScopedEnv() { SetEnvironmentVariableW(name_.c_str(), had_ ? old_.c_str() : nullptr); }

void DriverRemovalTest::Clean() {
    // Every oem INF and PNF these tests make is numbered 9000 and up, or has a long name of a's or b's.
    WIN32_FIND_DATAW found = {};
    HANDLE find = FindFirstFileW((InfFolder() + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            const bool ours = name.rfind(L"oem9", 0) == 0 || name.rfind(L"krv9", 0) == 0 ||
                              name.rfind(L"oemaaaa", 0) == 0 || name.rfind(L"oembbbb", 0) == 0;
            if (ours) RemoveFileForce(InfPath(name));
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    DeleteKeyTree(UninstallEntryPath(mioutil::kCardUninstallEntry));
    DeleteKeyTree(UninstallEntryPath(kForeignEntry));
    RemoveTreeForce(DpinstFolder());
    RegDeleteTreeW(HKEY_CURRENT_USER, kTestRoot);
    RegDeleteKeyW(HKEY_CURRENT_USER, kTestRoot);
    RemoveFileForce(DifxLogIn(SystemDir()));
}

void DriverRemovalTest::PlantForeignInf() {
    WriteBytes(InfPath(kForeignInf), kForeignInfText);
    WriteBytes(InfPath(L"oem9000.pnf"), "PNF of a foreign package");
}

void DriverRemovalTest::SetUp() {
    Clean();
    PlantForeignInf();
    SetText(UninstallEntryPath(kForeignEntry), L"UninstallString", kForeignUninstall);
    SetText(UninstallEntryPath(kForeignEntry), L"DisplayName", L"Foreign App by KORAV Co., Ltd.");
}

void DriverRemovalTest::ExpectForeignThingsUntouched() {
    EXPECT_EQ(ReadBytes(InfPath(kForeignInf)), kForeignInfText);
    EXPECT_EQ(ReadBytes(InfPath(L"oem9000.pnf")), "PNF of a foreign package");
    EXPECT_TRUE(ValueExists(UninstallEntryPath(kForeignEntry), L"UninstallString"));
    EXPECT_TRUE(ValueExists(UninstallEntryPath(kForeignEntry), L"DisplayName"));
    for (const std::wstring& line : ReadLogLines(DifxLogIn(SystemDir()))) {
        EXPECT_EQ(line.find(kForeignInf), std::wstring::npos) << "foreign package uninstalled";
    }
}

void DriverRemovalTest::TearDown() {
    ExpectForeignThingsUntouched();
    Clean();
}

}  // namespace e2e
