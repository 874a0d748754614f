// A DLL an attacker would plant beside the tool or in the current directory, built
// as msports.dll, difxapi.dll, e2e_classinst.dll, a co-installer and the DLL the
// difxapi.dll stand-in imports (test code). It exports what
// the real ones export, so that a program that takes it starts and calls it; when
// loaded, it logs its own path (standin_log.h, kPlantedLog) for the tests.
#include <windows.h>
#include <setupapi.h>

#include "standin_log.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    wchar_t path[MAX_PATH] = {};
    if (reason == DLL_PROCESS_ATTACH && GetModuleFileNameW(instance, path, MAX_PATH) > 0) {
        e2e::AppendLogLine(e2e::kPlantedLog, path);
    }
    return TRUE;
}

extern "C" {
__declspec(dllexport) LONG WINAPI ComDBOpen(HANDLE* db) {
    *db = INVALID_HANDLE_VALUE;
    return ERROR_ACCESS_DENIED;
}
__declspec(dllexport) LONG WINAPI ComDBClose(HANDLE) { return ERROR_INVALID_PARAMETER; }
__declspec(dllexport) LONG WINAPI ComDBReleasePort(HANDLE, DWORD) { return ERROR_INVALID_PARAMETER; }
__declspec(dllexport) DWORD WINAPI DriverPackageUninstallW(PCWSTR, DWORD, PVOID, BOOL*) { return ERROR_ACCESS_DENIED; }
__declspec(dllexport) int WINAPI DifxDependency() { return 1; }
__declspec(dllexport) DWORD WINAPI RecordingClassInstaller(DI_FUNCTION, HDEVINFO, PSP_DEVINFO_DATA) {
    return ERROR_DI_DO_DEFAULT;
}
}
