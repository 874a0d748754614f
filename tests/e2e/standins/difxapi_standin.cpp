// Test stand-in for difxapi.dll, which Wine lacks. DriverPackageUninstallW appends
// one line per call to its log beside this DLL (standin_log.h):
//   <path> TAB <flags in hex> TAB <installer info null: 1/0> TAB <need-reboot flag on entry>
// and returns the DWORD that the test stored under HKCU\Software\MioutilE2E\DifxResult,
// in a value named by the INF's file name (0 when there is none).
// Built without STANDIN_EXPORTS_UNINSTALL it lacks the function, for the lookup test.
#include <windows.h>

#include <cwchar>

#include "standin_log.h"

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
    return TRUE;
}

#ifdef STANDIN_EXPORTS_UNINSTALL
extern "C" __declspec(dllexport) DWORD WINAPI DriverPackageUninstallW(PCWSTR infPath, DWORD flags,
                                                                      PVOID installerInfo, BOOL* needReboot) {
    wchar_t line[1024] = {};
    swprintf(line, 1024, L"%ls\t%lx\t%d\t%d", infPath != nullptr ? infPath : L"(null)",
             static_cast<unsigned long>(flags), installerInfo == nullptr ? 1 : 0,
             needReboot != nullptr ? static_cast<int>(*needReboot) : -1);
    wchar_t path[MAX_PATH] = {};
    e2e::LogPathBeside(self, path, MAX_PATH, e2e::kDifxLog);
    e2e::AppendLogLine(path, line);
    if (needReboot != nullptr) *needReboot = TRUE;  // asked for, never acted on
    return infPath != nullptr ? ResultFor(infPath) : ERROR_INVALID_PARAMETER;
}
#else
extern "C" __declspec(dllexport) DWORD WINAPI DriverPackageInstallW(PCWSTR, DWORD, PVOID, BOOL*) {
    return ERROR_CALL_NOT_IMPLEMENTED;
}
#endif
