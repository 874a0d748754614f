// What a property-change restart did, read from its results, and the walk of
// "-ScanHardware": restart nodes in member order until one restart fails. Pure
// header: no <windows.h>; the system calls come in as two small functions.
#pragma once

#include <cstdint>

namespace mioutil {

/// What the two calls of a property-change restart returned.
struct RestartResult {
    bool paramsSet;        // SetupDiSetClassInstallParamsW
    bool installerCalled;  // SetupDiCallClassInstaller(DIF_PROPERTYCHANGE)
    bool rebootNeeded;     // DI_NEEDRESTART or DI_NEEDREBOOT afterwards: the node waits for a reboot
};

/// What a restart did: the node's driver started again (under its new name, for
/// a port), or it could not be stopped (a program holds it open) and Windows left
/// the change for the next reboot, or the class installer failed. In the last two
/// the driver still holds what it had.
enum class RestartOutcome : uint32_t { kRestarted, kDeferred, kFailed };

/// The class installer's result decides: it is called also when the parameters
/// were refused, and only it knows whether the node was restarted.
RestartOutcome OutcomeOf(const RestartResult& result);

/// Selects member `index` of the walked set; false past the last member.
using SelectMemberFn = bool (*)(void* context, uint32_t index);
/// Restarts the member last selected.
using RestartMemberFn = RestartResult (*)(void* context);

/// Restarts members 0, 1, 2, ... while they can be selected; stops after the
/// first member whose restart failed (OutcomeOf). Returns how many members were
/// restarted (the failed one included).
uint32_t RestartUntilFailure(void* context, SelectMemberFn select, RestartMemberFn restart);

}  // namespace mioutil
