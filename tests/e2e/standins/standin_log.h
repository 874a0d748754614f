// The one way the test stand-ins (class installer, msports.dll, difxapi.dll,
// DPInst.exe, planted DLLs) log what they were asked: UTF-8 lines ending in a
// line feed, appended to a file; ReadLogLines (helpers.h) reads them back.
#pragma once

#include <windows.h>

namespace e2e {

// The logs in the Windows temp folder, the same for every process of the prefix.
constexpr const wchar_t* kRestartLog = L"mioutil_e2e_restarts.log";      // the class installer's restarts
constexpr const wchar_t* kCollisionLog = L"mioutil_e2e_collisions.log";  // its link collisions
constexpr const wchar_t* kComDbLog = L"mioutil_e2e_comdb.log";           // the msports.dll stand-in's calls
constexpr const wchar_t* kDifxLog = L"mioutil_e2e_difxapi.log";          // the difxapi.dll stand-ins' calls
// The log beside the exe that writes it.
constexpr const wchar_t* kDpinstLog = L"dpinst_calls.log";
// While a test holds this event unset, the difxapi.dll stand-in waits (up to a minute)
// before it returns from a call.
constexpr const wchar_t* kDifxHoldEvent = L"mioutil_e2e_difxapi_hold";
// Where a planted DLL confesses that it was loaded.
constexpr const wchar_t* kPlantedLog = L"C:\\mioutil_e2e_planted.log";

/// Where the class installer keeps the COM-name links while a test has them
/// (HKEY_CURRENT_USER): one value per node, named by its instance ID, holding the
/// name whose link it has.
constexpr const wchar_t* kLinksKey = L"Software\\MioutilE2E\\Links";
/// What the class installer is told to play (HKEY_CURRENT_USER): values named by
/// instance ID under kBusyKey are ports a program holds open (their restarts are
/// left for a reboot); kKillAtValue ends the restarting process at that restart
/// (counted in kRestartCountValue), before the link moves where kKillBeforeLinkValue is 1.
constexpr const wchar_t* kPlayKey = L"Software\\MioutilE2E";
constexpr const wchar_t* kBusyKey = L"Software\\MioutilE2E\\Busy";
constexpr const wchar_t* kKillAtValue = L"KillAt";
constexpr const wchar_t* kKillBeforeLinkValue = L"KillBeforeLink";
constexpr const wchar_t* kRestartCountValue = L"Restarts";
constexpr const wchar_t* kRestartDelayValue = L"DelayMs";  // each restart takes this long

/// Room for a device instance ID (MAX_DEVICE_ID_LEN of cfgmgr32.h).
constexpr DWORD kIdChars = 200;

/// <Windows>\Temp\<fileName>; empty when it does not fit.
inline void TempLogPath(wchar_t* out, UINT capacity, const wchar_t* fileName) {
    const UINT n = GetWindowsDirectoryW(out, capacity);
    if (n == 0 || n + 7 + lstrlenW(fileName) >= capacity) {
        out[0] = L'\0';
        return;
    }
    lstrcatW(out, L"\\Temp\\");
    lstrcatW(out, fileName);
}

/// <folder of `module`>\<fileName> (nullptr: the exe); empty when it does not fit.
inline void LogPathBeside(HMODULE module, wchar_t* out, DWORD capacity, const wchar_t* fileName) {
    DWORD n = GetModuleFileNameW(module, out, capacity);
    while (n > 0 && out[n - 1] != L'\\') --n;
    out[n] = L'\0';
    if (n == 0 || n + lstrlenW(fileName) >= capacity) {
        out[0] = L'\0';
        return;
    }
    lstrcatW(out, fileName);
}

/// Appends `line` and a line feed to the log at `path`, in UTF-8.
inline bool AppendLogLine(const wchar_t* path, const wchar_t* line) {
    char bytes[4096] = {};
    int length = WideCharToMultiByte(CP_UTF8, 0, line, -1, bytes, sizeof(bytes) - 1, nullptr, nullptr);
    length = length > 0 ? length - 1 : 0;
    bytes[length++] = '\n';
    HANDLE log = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(log, bytes, static_cast<DWORD>(length), &written, nullptr);
    CloseHandle(log);
    return ok && written == static_cast<DWORD>(length);
}

}  // namespace e2e
