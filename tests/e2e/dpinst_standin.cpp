// Test stand-in for DPInst.exe: appends its command line, exactly as it received
// it, and a line feed to dpinst_calls.log beside itself (UTF-16), and exits 0.
#include <windows.h>

#include <cwchar>

int wmain() {
    wchar_t path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    while (n > 0 && path[n - 1] != L'\\') --n;
    if (n == 0 || n + 20 >= MAX_PATH) return 1;
    wcscpy(path + n, L"dpinst_calls.log");
    HANDLE log = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                             nullptr);
    if (log == INVALID_HANDLE_VALUE) return 1;
    const wchar_t* line = GetCommandLineW();
    DWORD written = 0;
    WriteFile(log, line, static_cast<DWORD>(wcslen(line) * sizeof(wchar_t)), &written, nullptr);
    WriteFile(log, L"\n", sizeof(wchar_t), &written, nullptr);
    CloseHandle(log);
    return 0;
}
