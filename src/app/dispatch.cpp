#include "app/dispatch.h"

#include <cstdio>
#include <cwchar>

#include "app/run_log.h"
#include "devices/device_ops.h"
#include "drivers/recorded_packages.h"
#include "drivers/oem_inf.h"
#include "drivers/uninstall_registry.h"
#include "names.h"

namespace mioutil {

uint32_t DispatchOperation(uint32_t operation) {
    uint32_t result = kExitOk;
    switch (operation) {
        case OpInvalid:
            RunLog(L"command line not accepted: nothing done (the switches are %ls, %ls, %ls, %ls, or none)",
                   kSwitchRemoveDeviceNode, kSwitchRemoveComDb, kSwitchScanHardware, kSwitchUninstallDriver);
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
        case OpUninstallDriver:
            // Every step runs whatever the one before found; the OEM INF uninstall
            // gives the operation's result.
            if (operation & OpStepUninstallPackages) {
                UninstallRecordedPackages(kUninstallKeyPath, kCardUninstallEntry);
                result = UninstallOemInfPackages();
            }
            if (operation & OpStepCleanup) {
                DeleteOemInfFiles();
                CleanUninstallRegistry();
            }
            break;
        default:
            break;
    }
    return result;
}

}  // namespace mioutil
