// Test class installer (e2e_classinst.dll): registered as the Installer32 of the
// test device class, it appends the instance ID of every node it is asked to
// restart (DIF_PROPERTYCHANGE) to a log the tests read, one line each.
#include <windows.h>
#include <setupapi.h>

#include "devices.h"

extern "C" __declspec(dllexport) DWORD WINAPI RecordingClassInstaller(DI_FUNCTION function, HDEVINFO set,
                                                                      PSP_DEVINFO_DATA member) {
    if (function != DIF_PROPERTYCHANGE) return ERROR_DI_DO_DEFAULT;
    // SetupAPI on Windows loads class installers and co-installers by bare name in
    // the calling process; Wine's takes them from System32 whatever the process
    // asked for. So this installer loads one by bare name itself, as SetupAPI
    // would: in the tool's process it must come from System32 or nowhere.
    if (HMODULE coinstaller = LoadLibraryW(L"mioutil_e2e_coinstaller.dll")) FreeLibrary(coinstaller);
    char line[512] = {};
    int length = 0;
    wchar_t id[e2e::kIdChars] = {};
    if (member != nullptr && SetupDiGetDeviceInstanceIdW(set, member, id, e2e::kIdChars, nullptr)) {
        length = WideCharToMultiByte(CP_UTF8, 0, id, -1, line, sizeof(line) - 2, nullptr, nullptr);
        length = length > 0 ? length - 1 : 0;
    }
    line[length++] = '\n';
    wchar_t path[MAX_PATH] = {};
    e2e::RestartLogPath(path, MAX_PATH);
    HANDLE log = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (log == INVALID_HANDLE_VALUE) return GetLastError();
    DWORD written = 0;
    WriteFile(log, line, static_cast<DWORD>(length), &written, nullptr);
    CloseHandle(log);
    return NO_ERROR;
}
