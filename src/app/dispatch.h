#pragma once

#include <cstdint>

namespace mioutil {

/// Runs the one operation the code names and returns the process exit code.
uint32_t DispatchOperation(uint32_t operation);

}  // namespace mioutil
