// Holds one Wine session open for a whole test run, once Wine's own start-up in it
// is over. Debian's wineserver ends a session with its last process, so without
// this every test process would start a session of its own: wineboot, services,
// and the desktop's display driver writing its keys (the display class, Control\Video,
// DeviceClasses, Hardware Profiles) again, late enough on a loaded machine to land
// while the collateral guard watches a run of the tool.
// Prints "settled" once the registry has been quiet for a while, then waits to be killed.
#include "platform/unique_handle.h"

#include <tlhelp32.h>

#include <cstdio>

namespace {

constexpr DWORD kQuietMs = 1500;
constexpr DWORD kLimitMs = 120000;

bool WinebootRunning() {
    const mioutil::UniqueKernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    bool found = false;
    for (BOOL more = snapshot.valid() && Process32FirstW(snapshot.get(), &entry); more && !found;
         more = Process32NextW(snapshot.get(), &entry)) {
        found = lstrcmpiW(entry.szExeFile, L"wineboot.exe") == 0;
    }
    return found;
}

}  // namespace

int wmain() {
    const DWORD start = GetTickCount();
    const wchar_t* const roots[] = {L"SYSTEM", L"SOFTWARE"};  // what the collateral guard watches, and more
    mioutil::UniqueRegKey keys[2];
    mioutil::UniqueKernelHandle events[2];
    HANDLE changed[2] = {};
    const auto arm = [&](int i) {
        return RegNotifyChangeKeyValue(keys[i].get(), TRUE, REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                       changed[i], TRUE) == ERROR_SUCCESS;
    };
    for (int i = 0; i < 2; ++i) {
        events[i].reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
        changed[i] = events[i].get();
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, roots[i], 0, KEY_NOTIFY, keys[i].put()) != ERROR_SUCCESS || !arm(i)) {
            std::printf("cannot watch HKLM\\%ls\n", roots[i]);
            return 2;
        }
    }
    // The session's own start-up: the desktop with its display driver, and wineboot.
    DISPLAY_DEVICEW display = {};
    display.cb = sizeof(display);
    GetDesktopWindow();
    EnumDisplayDevicesW(nullptr, 0, &display, 0);
    while (WinebootRunning() && GetTickCount() - start < kLimitMs) Sleep(100);

    unsigned changes = 0;
    for (;;) {
        const DWORD waited = GetTickCount() - start;
        if (waited > kLimitMs) {
            std::printf("not settled: the registry still changes after %lu ms\n", waited);
            return 1;
        }
        const DWORD r = WaitForMultipleObjects(2, changed, FALSE, kQuietMs);
        if (r == WAIT_TIMEOUT) break;
        const DWORD i = r - WAIT_OBJECT_0;
        if (i >= 2 || !arm(static_cast<int>(i))) return 2;
        ++changes;
    }
    std::printf("settled after %lu ms (%u registry changes seen, then %lu ms quiet)\n",
                GetTickCount() - start, changes, kQuietMs);
    std::fflush(stdout);
    Sleep(INFINITE);
    return 0;
}
