// Test helper: prints what the product's platform probe computes, beside the
// inputs the system reported, as "major minor product arch class".
#include <windows.h>

#include <cstdio>

#include "platform/platform_probe.h"

int wmain() {
    OSVERSIONINFOEXW v = {};
    v.dwOSVersionInfoSize = sizeof(v);
    GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&v));
    SYSTEM_INFO si = {};
    GetNativeSystemInfo(&si);
    std::printf("%lu %lu %u %u 0x%08X\n", v.dwMajorVersion, v.dwMinorVersion, v.wProductType,
                si.wProcessorArchitecture, mioutil::GetPlatformClass());
    return 0;
}
