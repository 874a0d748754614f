#pragma once

#include <cstdint>

namespace mioutil {

/// Folds the wide argument vector (argv[0] is the program's name) into one operation code.
uint32_t ParseCommandLine(int argc, const wchar_t* const* argv);

}  // namespace mioutil
