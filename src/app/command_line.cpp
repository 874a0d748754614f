#include "app/command_line.h"

#include <cwchar>

#include "names.h"

namespace mioutil {

uint32_t ParseCommandLine(int argc, const wchar_t* const* argv) {
    if (argc == 1) return OpRemapComPorts;
    if (argc != 2 || argv == nullptr || argv[1] == nullptr) return OpInvalid;
    for (const SwitchOp& s : kSwitches) {
        if (std::wcscmp(argv[1], s.name) == 0) return s.op;
    }
    return OpInvalid;
}

}  // namespace mioutil
