#pragma once

#include <cstdint>

namespace mioutil {

/// What the system reports about itself, and the class the tool makes of it.
struct PlatformFacts {
    uint32_t major;
    uint32_t minor;
    uint32_t build;
    uint32_t productType;   // VER_NT_WORKSTATION, ...
    uint32_t architecture;  // native processor architecture
    uint32_t platformClass;
};

/// Asks the system anew on every call.
PlatformFacts GetPlatformFacts();

/// Classifies the running Windows; queries the system on every call.
uint32_t GetPlatformClass();

/// Whether the process's token is a member of the local Administrators group.
bool RunsAsAdministrator();

}  // namespace mioutil
