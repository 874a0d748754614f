#include "app/dispatch.h"

#include <cstdio>
#include <cwchar>

#include "devices/device_ops.h"
#include "names.h"

namespace mioutil {

uint32_t DispatchOperation(uint32_t operation) {
    uint32_t result = kExitOk;
    switch (operation) {
        case OpInvalid:
            std::wprintf(L"%ls", kInvalidCommandLineMessage);
            result = kExitInvalidCommandLine;
            break;
        case OpRemapComPorts:
            RemapComPorts(kPortEnumeratorFilter, kPortNamePrefix);
            break;
        case OpRemoveDeviceNodes:
            ReleaseAndRemovePortNodes(kPortEnumeratorFilter);
            RemoveEnumeratorNodes(kBusEnumerator);
            break;
        case OpReleaseComDb:
            ReleaseComNumbers(kPortEnumeratorFilter);
            break;
        case OpScanHardware:
            RestartDisplayDevices();
            break;
        default:
            break;
    }
    return result;
}

}  // namespace mioutil
