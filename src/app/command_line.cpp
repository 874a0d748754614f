#include "app/command_line.h"

#include <cwchar>

#include "names.h"

namespace mioutil {

uint32_t ParseCommandLine(int argc, const wchar_t* const* argv) {
    if (argc == 1) return OpRemapComPorts;
    if (argc != 2 || argv == nullptr || argv[1] == nullptr) return OpInvalid;

    struct Switch {
        const wchar_t* text;
        uint32_t op;
    };
    static const Switch kSwitches[] = {
        {kSwitchRemoveDeviceNode, OpRemoveDeviceNodes},
        {kSwitchRemoveComDb, OpReleaseComDb},
        {kSwitchScanHardware, OpScanHardware},
        {kSwitchUninstallDriver, OpUninstallDriver},
    };
    for (const Switch& s : kSwitches) {
        if (std::wcscmp(argv[1], s.text) == 0) return s.op;
    }
    return OpInvalid;
}

}  // namespace mioutil
