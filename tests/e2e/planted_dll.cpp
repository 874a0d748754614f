// A DLL an attacker would plant beside the tool or in the current directory, built
// as msports.dll, difxapi.dll, e2e_classinst.dll and a co-installer (test code). It exports what
// the real ones export, so that a program that takes it starts and calls it; when
// loaded, it appends its own path to C:\mioutil_e2e_planted.log for the tests.
#include <windows.h>
#include <setupapi.h>

namespace {

void Confess(HMODULE self) {
    wchar_t path[MAX_PATH + 2] = {};
    const DWORD n = GetModuleFileNameW(self, path, MAX_PATH);
    path[n] = L'\n';
    HANDLE log = CreateFileW(L"C:\\mioutil_e2e_planted.log", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(log, path, (n + 1) * sizeof(wchar_t), &written, nullptr);
    CloseHandle(log);
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) Confess(instance);
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
__declspec(dllexport) DWORD WINAPI RecordingClassInstaller(DI_FUNCTION, HDEVINFO, PSP_DEVINFO_DATA) {
    return ERROR_DI_DO_DEFAULT;
}
}
