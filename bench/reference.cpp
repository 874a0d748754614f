// The reference of the INF steps: opens and reads every oem*.inf of the INF folder
// exactly as often as the two INF steps of -UninstallDriver must (once for each
// provider string tested, in each of the two steps) and does nothing else: no
// widening, no search, no uninstall, no deletion. Benchmark code: never shipped.
#include <windows.h>

#include "bench_data.h"
#include "same_imports.h"

namespace {

unsigned char g_bytes[65536];

void ReadAllOnce(const wchar_t* folder, const wchar_t* pattern) {
    WIN32_FIND_DATAW found = {};
    HANDLE find = FindFirstFileW(pattern, &found);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        wchar_t path[MAX_PATH] = {};
        if (lstrlenW(folder) + 1 + lstrlenW(found.cFileName) >= MAX_PATH) continue;
        lstrcpyW(path, folder);
        lstrcatW(path, L"\\");
        lstrcatW(path, found.cFileName);
        const int index = bench::IndexOfName(found.cFileName);
        const int reads = index < 0 ? 3 : bench::ReadsPerStep(index);
        for (int r = 0; r < reads; ++r) {
            HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file == INVALID_HANDLE_VALUE) continue;
            DWORD got = 0;
            ReadFile(file, g_bytes, 0xFFFF, &got, nullptr);
            CloseHandle(file);
        }
    } while (FindNextFileW(find, &found));
    FindClose(find);
}

}  // namespace

int wmain() {
    bench::KeepToolImports();
    wchar_t folder[MAX_PATH] = {};
    wchar_t pattern[MAX_PATH] = {};
    const UINT n = GetWindowsDirectoryW(folder, MAX_PATH);
    if (n == 0 || n + 16 >= MAX_PATH) return 1;
    lstrcatW(folder, L"\\inf");
    lstrcpyW(pattern, folder);
    lstrcatW(pattern, L"\\oem*.inf");
    ReadAllOnce(folder, pattern);  // the package uninstall
    ReadAllOnce(folder, pattern);  // the INF and PNF deletion
    return 0;
}
