#pragma once

#include <cstdint>

namespace mioutil {

/// Classifies the running Windows; queries the system on every call.
uint32_t GetPlatformClass();

}  // namespace mioutil
