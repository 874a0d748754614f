// Test stand-in for difxapi.dll, which Wine lacks. DriverPackageUninstallW appends
// one line per call to its log in the Windows temp folder (standin_log.h):
//   <this DLL's path> TAB <INF path> TAB <flags in hex> TAB <installer info null: 1/0> TAB
//   <need-reboot flag on entry>
// and returns the DWORD that the test stored under HKCU\Software\MioutilE2E\DifxResult,
// in a value named by the INF's file name (0 when there is none).
// Built without STANDIN_EXPORTS_UNINSTALL it lacks the function, for the lookup test.
// It imports a DLL of the tests' own (difx_dependency.cpp), as the real one imports
// system DLLs, so that a test can plant one of that name.
#include <windows.h>

#include <cwchar>

#include "standin_log.h"

extern "C" __declspec(dllimport) int WINAPI DifxDependency();

namespace {

HMODULE self = nullptr;

[[maybe_unused]] DWORD ResultFor(const wchar_t* infPath) {
    const wchar_t* name = wcsrchr(infPath, L'\\');
    name = name != nullptr ? name + 1 : infPath;
    DWORD result = 0, size = sizeof(result);
    if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\MioutilE2E\\DifxResult", name, RRF_RT_REG_DWORD, nullptr,
                     &result, &size) != ERROR_SUCCESS) {
        return 0;
    }
    return result;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) self = instance;
    return DifxDependency() == 1;
}

#ifdef STANDIN_EXPORTS_UNINSTALL
extern "C" __declspec(dllexport) DWORD WINAPI DriverPackageUninstallW(PCWSTR infPath, DWORD flags,
                                                                      PVOID installerInfo, BOOL* needReboot) {
    wchar_t module[MAX_PATH] = {};
    GetModuleFileNameW(self, module, MAX_PATH);
    wchar_t line[1024] = {};
    swprintf(line, 1024, L"%ls\t%ls\t%lx\t%d\t%d", module, infPath != nullptr ? infPath : L"(null)",
             static_cast<unsigned long>(flags), installerInfo == nullptr ? 1 : 0,
             needReboot != nullptr ? static_cast<int>(*needReboot) : -1);
    wchar_t path[MAX_PATH] = {};
    e2e::TempLogPath(path, MAX_PATH, e2e::kDifxLog);
    e2e::AppendLogLine(path, line);
    HANDLE hold = OpenEventW(SYNCHRONIZE, FALSE, e2e::kDifxHoldEvent);
    if (hold != nullptr) {
        WaitForSingleObject(hold, 60000);
        CloseHandle(hold);
    }
    if (needReboot != nullptr) *needReboot = TRUE;  // asked for, never acted on
    return infPath != nullptr ? ResultFor(infPath) : ERROR_INVALID_PARAMETER;
}
#else
extern "C" __declspec(dllexport) DWORD WINAPI DriverPackageInstallW(PCWSTR, DWORD, PVOID, BOOL*) {
    return ERROR_CALL_NOT_IMPLEMENTED;
}
#endif
