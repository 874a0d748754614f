#include "app/dispatch.h"

#include <cstdio>
#include <cwchar>

#include "drivers/uninstall_registry.h"
#include "names.h"

namespace mioutil {

uint32_t DispatchOperation(uint32_t operation) {
    uint32_t result = kExitOk;
    switch (operation) {
        case OpInvalid:
            std::wprintf(L"%ls", kInvalidCommandLineMessage);
            result = kExitInvalidCommandLine;
            break;
        case OpUninstallDriver:
            if (operation & OpStepCleanup) {
                CleanUninstallRegistry();
            }
            break;
        default:
            break;
    }
    return result;
}

}  // namespace mioutil
