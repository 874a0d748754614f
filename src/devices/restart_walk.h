// The walk of "-ScanHardware": restart nodes in member order until one
// restart fails. Pure header: no <windows.h>; the system calls come in as
// two small functions.
#pragma once

#include <cstdint>

namespace mioutil {

/// What the two calls of a property-change restart returned.
struct RestartResult {
    bool paramsSet;        // SetupDiSetClassInstallParamsW
    bool installerCalled;  // SetupDiCallClassInstaller(DIF_PROPERTYCHANGE)
    bool rebootNeeded;     // DI_NEEDRESTART or DI_NEEDREBOOT afterwards: the node waits for a reboot
};

/// Selects member `index` of the walked set; false past the last member.
using SelectMemberFn = bool (*)(void* context, uint32_t index);
/// Restarts the member last selected.
using RestartMemberFn = RestartResult (*)(void* context);

/// Restarts members 0, 1, 2, ... while they can be selected; stops after the
/// first member whose restart had either call fail. Returns how many members
/// were restarted (the failed one included).
uint32_t RestartUntilFailure(void* context, SelectMemberFn select, RestartMemberFn restart);

}  // namespace mioutil
