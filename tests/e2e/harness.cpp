#include "harness.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace e2e {

namespace {
constexpr ULONGLONG kRunLimitMs = 120000;
}  // namespace

RunResult RunCommandLine(const std::wstring& commandLine) {
    RunResult result;
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    UniqueKernelHandle readEnd, writeEnd;
    if (!CreatePipe(readEnd.put(), writeEnd.put(), &sa, 0)) return result;
    SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = writeEnd.get();
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi = {};
    std::vector<wchar_t> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back(L'\0');
    // Wine now and then fails to start a process with ERROR_INTERNAL_ERROR when
    // many start in quick succession: try again, a few times.
    BOOL started = FALSE;
    for (int attempt = 0; attempt < 3 && !started; ++attempt) {
        if (attempt > 0) Sleep(200);
        started = CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
        if (!started && GetLastError() != ERROR_INTERNAL_ERROR) break;
    }
    writeEnd.reset();  // our copy; the pipe ends when the child's copy closes
    if (!started) {
        ADD_FAILURE() << "could not start: " << testing::PrintToString(commandLine) << " error " << GetLastError();
        return result;
    }
    const UniqueKernelHandle process(pi.hProcess), thread(pi.hThread);
    // Drain the pipe while waiting, with a time limit: a tool that hangs (a walk
    // that never ends) fails its test instead of stalling the suite.
    const ULONGLONG deadline = GetTickCount64() + kRunLimitMs;
    for (bool exited = false;;) {
        DWORD available = 0;
        while (PeekNamedPipe(readEnd.get(), nullptr, 0, nullptr, &available, nullptr) && available > 0) {
            char buffer[4096];
            DWORD got = 0;
            const DWORD want = available < sizeof(buffer) ? available : static_cast<DWORD>(sizeof(buffer));
            if (!ReadFile(readEnd.get(), buffer, want, &got, nullptr) || got == 0) break;
            result.out.append(buffer, got);
        }
        if (exited) break;  // one last drain after the exit
        exited = WaitForSingleObject(process.get(), 20) == WAIT_OBJECT_0;
        if (!exited && GetTickCount64() > deadline) {
            ADD_FAILURE() << "still running after " << kRunLimitMs / 1000
                          << " s, terminated: " << testing::PrintToString(commandLine);
            TerminateProcess(process.get(), 0xFFFFFFFF);
            WaitForSingleObject(process.get(), 10000);
            exited = true;
        }
    }
    GetExitCodeProcess(process.get(), &result.exitCode);
    return result;
}

RunResult RunGuarded(const std::wstring& commandLine, const Changes& expected, const char* file, int line) {
    const Collateral before;
    RunResult result = RunCommandLine(commandLine);
    before.Expect(expected, file, line);
    // Runs one after another never wait for each other.
    if (RunLogHas({"run lock: waited"})) ADD_FAILURE_AT(file, line) << "a run started alone waited for the run lock";
    return result;
}

RunResult RunTool(const std::wstring& arguments, const Changes& expected, const char* file, int line) {
    std::wstring commandLine = L"\"" + BinDir() + L"\\mioutil.exe\"";
    if (!arguments.empty()) commandLine += L" " + arguments;
    return RunGuarded(commandLine, expected, file, line);
}

void RunAgain(const std::wstring& arguments, DWORD exitCode, const char* file, int line) {
    const RunResult again = RunTool(arguments, Changes(), file, line);
    if (again.exitCode != exitCode || !again.out.empty()) {
        ADD_FAILURE_AT(file, line) << "run again: " << testing::PrintToString(arguments) << " exited "
                                   << again.exitCode << " (expected " << exitCode << ") and printed "
                                   << testing::PrintToString(again.out);
    }
}

std::wstring RunLogPath() {
    wchar_t windows[MAX_PATH] = {};
    const UINT n = GetWindowsDirectoryW(windows, MAX_PATH);
    return std::wstring(windows, n) + L"\\mioutil.log";
}

std::vector<std::string> LastRunLogSection() {
    std::vector<std::string> lines;
    const std::string bytes = ReadBytes(RunLogPath());
    if (bytes.empty()) return lines;
    EXPECT_EQ(bytes.compare(0, 3, "\xEF\xBB\xBF"), 0) << "the log starts without its UTF-8 byte-order mark";
    size_t start = 3;
    for (size_t end; (end = bytes.find("\r\n", start)) != std::string::npos; start = end + 2) {
        std::string line = bytes.substr(start, end - start);
        EXPECT_EQ(line.find('\n'), std::string::npos) << "a line ends without CR LF: " << line;
        if (line.compare(0, 5, "==== ") == 0) lines.clear();
        lines.push_back(line);
    }
    EXPECT_EQ(start, bytes.size()) << "the log does not end with CR LF";
    return lines;
}

bool RunLogHas(std::initializer_list<const char*> pieces) {
    for (const std::string& line : LastRunLogSection()) {
        bool all = true;
        for (const char* piece : pieces) all = all && line.find(piece) != std::string::npos;
        if (all) return true;
    }
    return false;
}

bool RunningUnderWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

namespace {

void DeleteKeyIfEmpty(const std::wstring& path) {
    if (SubkeyNames(kNative, path, HKEY_CURRENT_USER).empty() && ValueNames(kNative, path, HKEY_CURRENT_USER).empty()) {
        DeleteTree(kNative, path, HKEY_CURRENT_USER);
    }
}

}  // namespace

WineAppSetting::WineAppSetting(const wchar_t* exe, const wchar_t* subkey, const wchar_t* name, const wchar_t* value)
    : exeKey_(std::wstring(L"Software\\Wine\\AppDefaults\\") + exe), name_(name) {
    key_ = subkey != nullptr ? exeKey_ + L"\\" + subkey : exeKey_;
    std::string data;
    DWORD type = 0;
    had_ = ReadValue(kNative, key_, name_, &data, &type, HKEY_CURRENT_USER) && type == REG_SZ &&
           ReadText(kNative, key_, name_, &old_, HKEY_CURRENT_USER);
    SetText(kNative, key_, name_, value, REG_SZ, HKEY_CURRENT_USER);
}

WineAppSetting::~WineAppSetting() {
    if (had_) {
        SetText(kNative, key_, name_, old_, REG_SZ, HKEY_CURRENT_USER);
    } else {
        DeleteValue(kNative, key_, name_, HKEY_CURRENT_USER);
    }
    DeleteKeyIfEmpty(key_);
    if (key_ != exeKey_) DeleteKeyIfEmpty(exeKey_);
}

// Every test runs on a machine that also holds things that are not the card's;
// the collateral guard around each run proves they stay as they are.
class ForeignThings : public testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(PlantForeignThings()); }
    void TearDown() override { RemoveForeignThings(); }
};

}  // namespace e2e

// These tests create and delete device nodes, INF files and registry entries of
// the machine they run on. Under Wine that machine is a throwaway prefix; on a
// real Windows it is the machine itself, so it takes an explicit opt-in.
int wmain(int argc, wchar_t** argv) {
    const char* optIn = std::getenv("MIOUTIL_E2E_ALLOW_REAL_WINDOWS");
    if (!e2e::RunningUnderWine() && (optIn == nullptr || std::string(optIn) != "1")) {
        std::fprintf(stderr,
                     "e2e_tests: refusing to run outside Wine: these tests change device nodes, INF files "
                     "and the registry of this machine.\nSet MIOUTIL_E2E_ALLOW_REAL_WINDOWS=1 to run them "
                     "anyway, on a machine you can spare.\n");
        return 2;
    }
    // Wine's own msports.dll aborts on ComDBOpen and its difxapi.dll only pretends;
    // the stand-ins (and the DLL the difxapi.dll stand-in imports) take their place
    // in the throwaway prefix's System32. Never on a
    // real Windows: there the system's own DLLs are what the tool must use.
    if (e2e::RunningUnderWine()) {
        for (const wchar_t* dll : {L"msports.dll", L"difxapi.dll", L"mioutil_e2e_difxdep.dll"}) {
            const std::wstring from = e2e::BinDir() + L"\\" + dll;
            const std::wstring to = e2e::SystemDir() + L"\\" + dll;
            if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) {
                std::fprintf(stderr, "e2e_tests: cannot copy %ls to System32, error %lu\n", dll, GetLastError());
                return 2;
            }
        }
    }
    testing::InitGoogleTest(&argc, argv);
    testing::AddGlobalTestEnvironment(new e2e::ForeignThings);
    return RUN_ALL_TESTS();
}
