#include "platform/platform_class.h"

namespace mioutil {

uint32_t ClassifyPlatform(uint32_t major, uint32_t minor, uint32_t productType, uint32_t architecture) {
    const bool workstation = productType == kProductWorkstation;
    uint32_t archGroup = 0;
    if (architecture == kArchAmd64) archGroup = kPlatformX64;
    else if (architecture == kArchIntel) archGroup = kPlatformX86;

    if (major == 5) {
        // 2000 and XP were x86 only; their architecture is not looked at.
        if (minor == 0) return 0x50000000u | kPlatformX86;
        if (minor == 1) return 0x51000000u | kPlatformX86;
        if (minor != 2 || archGroup == 0) return 0;
        // 5.2: XP x64 is the workstation edition; every other 5.2 is Server 2003.
        if (archGroup == kPlatformX64) return (workstation ? 0x51000000u : 0x52000000u) | archGroup;
        return 0x52000000u | archGroup;
    }
    if (major == 6) {
        if (archGroup == 0) return 0;
        uint32_t family = 0;
        if (minor == 0 || minor == 1) {
            if (!workstation) family = 0x60200800u;  // Server 2008 and 2008 R2 share a class
            else family = minor == 0 ? 0x60000000u : 0x61000000u;
        }
        return family | archGroup;
    }
    return 0;
}

}  // namespace mioutil
