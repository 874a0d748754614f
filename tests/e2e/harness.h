// Helpers for the end-to-end tests: run the real tool as a child process and
// look at what it left behind.
#pragma once

#include <windows.h>

#include <string>

namespace e2e {

struct RunResult {
    DWORD exitCode = 0xFFFFFFFF;
    std::string out;  // the exact bytes written to standard output
};

/// Folder of the running test exe; mioutil.exe and the stand-ins are built there.
std::wstring BinDir();

/// Runs a command line (program path quoted by the caller) with standard output
/// captured; waits for it to end.
RunResult RunCommandLine(const std::wstring& commandLine);

/// Runs mioutil.exe from BinDir() with the given argument text after its name.
RunResult RunTool(const std::wstring& arguments);

/// True when the key exists under HKEY_LOCAL_MACHINE, in the native view.
bool KeyExists(const std::wstring& path);

/// True when running under Wine (ntdll exports wine_get_version).
bool RunningUnderWine();

/// Makes Wine report the given Windows version ("win7", "winxp64", ...) to one exe
/// for the guard's lifetime (HKCU\Software\Wine\AppDefaults\<exe>, value Version).
class WineVersionFor {
public:
    WineVersionFor(const wchar_t* exe, const wchar_t* version);
    ~WineVersionFor();
    WineVersionFor(const WineVersionFor&) = delete;
    WineVersionFor& operator=(const WineVersionFor&) = delete;

private:
    std::wstring key_;
};

}  // namespace e2e
