// Helpers for the end-to-end tests: run the real tool as a child process and
// look at what it left behind.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "collateral.h"
#include "helpers.h"

namespace e2e {

struct RunResult {
    DWORD exitCode = 0xFFFFFFFF;
    std::string out;  // the exact bytes written to standard output
};

/// Runs a command line (program path quoted by the caller) with standard output
/// captured; waits for it to end.
RunResult RunCommandLine(const std::wstring& commandLine);

/// Runs a command line under the collateral guard: the test fails at the caller's
/// line for each change on the machine that `expected` does not name (by default
/// nothing may change), and each it names that did not happen.
RunResult RunGuarded(const std::wstring& commandLine, const Changes& expected = Changes(),
                     const char* file = __builtin_FILE(), int line = __builtin_LINE());

/// Runs mioutil.exe from BinDir() with the given argument text after its name, under the guard.
RunResult RunTool(const std::wstring& arguments, const Changes& expected = Changes(),
                  const char* file = __builtin_FILE(), int line = __builtin_LINE());

/// Runs the tool once more on the state the run before left: it changes nothing,
/// prints nothing and ends with `exitCode`.
void RunAgain(const std::wstring& arguments, DWORD exitCode, const char* file = __builtin_FILE(),
              int line = __builtin_LINE());

/// The tool's run log, <Windows>\mioutil.log.
std::wstring RunLogPath();
/// The lines of the log's last section (from its "==== " head), UTF-8, without
/// their CR LF; none when there is no log. A line without its CR LF fails the test.
std::vector<std::string> LastRunLogSection();
/// Whether a line of the log's last section holds every one of `pieces`.
bool RunLogHas(std::initializer_list<const char*> pieces);

/// True when running under Wine (ntdll exports wine_get_version).
bool RunningUnderWine();

/// Sets one of Wine's per-exe settings, HKCU\Software\Wine\AppDefaults\<exe>[\<subkey>],
/// value <name>, for the guard's lifetime. Puts back what was there before, and
/// drops the keys it leaves empty, so guards nest and other settings stay.
class WineAppSetting {
public:
    WineAppSetting(const wchar_t* exe, const wchar_t* subkey, const wchar_t* name, const wchar_t* value);
    ~WineAppSetting();
    WineAppSetting(const WineAppSetting&) = delete;
    WineAppSetting& operator=(const WineAppSetting&) = delete;

private:
    std::wstring exeKey_, key_;  // the exe's key, and the one holding the value
    std::wstring name_, old_;
    bool had_;
};

/// The Windows version ("win7", "winxp64", ...) Wine reports to one exe.
class WineVersionFor : public WineAppSetting {
public:
    WineVersionFor(const wchar_t* exe, const wchar_t* version) : WineAppSetting(exe, nullptr, L"Version", version) {}
};

/// Wine's load order of one DLL ("native", "builtin", or "" for none) in one exe.
/// Children do not take WINEDLLOVERRIDES from a parent's environment: Wine's loader
/// reads the Unix environment the Wine session started with. This setting does reach them.
class WineDllOverrideFor : public WineAppSetting {
public:
    WineDllOverrideFor(const wchar_t* exe, const wchar_t* dll, const wchar_t* order)
        : WineAppSetting(exe, L"DllOverrides", dll, order) {}
};

}  // namespace e2e
