// Where the test stand-ins and the tests that read them keep their logs: a
// file in the Windows temp folder, the same for every process of the prefix.
#pragma once

#include <windows.h>

namespace e2e {

inline void LogPath(wchar_t* out, UINT capacity, const wchar_t* fileName) {
    const UINT n = GetWindowsDirectoryW(out, capacity);
    if (n == 0 || n + 7 + lstrlenW(fileName) >= capacity) {
        out[0] = L'\0';
        return;
    }
    lstrcatW(out, L"\\Temp\\");
    lstrcatW(out, fileName);
}

}  // namespace e2e
