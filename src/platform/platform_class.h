#pragma once

#include <cstdint>

namespace mioutil {

// Architecture groups of the platform class; callers test "any bit of" either.
enum : uint32_t {
    kPlatformX86 = 0x03,
    kPlatformX64 = 0x60,
};

// Values of the inputs the classification looks at (the platform's own numbers).
enum : uint32_t {
    kProductWorkstation = 1,  // VER_NT_WORKSTATION
    kArchIntel = 0,           // PROCESSOR_ARCHITECTURE_INTEL
    kArchAmd64 = 9,           // PROCESSOR_ARCHITECTURE_AMD64
};

/// The platform class for a Windows version, product type and native processor architecture.
uint32_t ClassifyPlatform(uint32_t major, uint32_t minor, uint32_t productType, uint32_t architecture);

}  // namespace mioutil
