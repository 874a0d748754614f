#include "app/dispatch.h"

#include <cstdio>
#include <cwchar>

#include "app/run_log.h"
#include "devices/display.h"
#include "devices/remap.h"
#include "devices/remove.h"
#include "drivers/difx_api.h"
#include "drivers/driver_status.h"
#include "drivers/recorded_packages.h"
#include "drivers/oem_inf.h"
#include "drivers/uninstall_registry.h"
#include "names.h"
#include "platform/run_lock.h"
#include "status.h"

namespace mioutil {

namespace {

uint32_t RejectCommandLine() {
    RunLog(L"command line not accepted: nothing done (the switches are %ls, %ls, %ls, %ls, %ls, or none)",
           kSwitchRemoveDeviceNode, kSwitchRemoveComDb, kSwitchScanHardware, kSwitchUninstallDriver, kSwitchStatus);
    std::wprintf(L"%ls", kInvalidCommandLineMessage);
    return kExitInvalidCommandLine;
}

uint32_t RemapPorts() {
    RemapComPorts(kPortEnumeratorFilter, kPortNamePrefix);
    return kExitOk;
}

uint32_t RemoveDeviceNodes() {
    ReleaseAndRemovePortNodes(kPortEnumeratorFilter);
    RemoveEnumeratorNodes(kBusEnumerator);
    return kExitOk;
}

uint32_t ReleaseComDb() {
    ReleaseComNumbers(kPortEnumeratorFilter);
    return kExitOk;
}

uint32_t ScanHardware() {
    RestartDisplayDevices();
    return kExitOk;
}

// Every step runs whatever the one before found; the OEM INF uninstall gives the result.
// Both INF steps use one load of difxapi.dll (checked once), which goes with the last.
uint32_t UninstallDriver() {
    const bool recordRefused = UninstallRecordedPackages(kUninstallKeyPath, kCardUninstallEntry);
    uint32_t result = kExitOk;
    {
        DifxApi difx;
        result = UninstallOemInfPackages(difx);
        DeleteOemInfFiles(difx);
    }
    CleanUninstallRegistry(recordRefused);
    RemoveToolKeyUnlessPlanPending();
    return result;
}

// What a plain run would do, and what -UninstallDriver would remove; changes nothing.
uint32_t Status() {
    const uint32_t result = ReportPortStatus(kPortEnumeratorFilter, kPortNamePrefix);
    switch (QueryRunLock()) {
        case RunLockState::kFree: StatusLine(L"run lock: free"); break;
        case RunLockState::kHeld: StatusLine(L"run lock: held by a run of the tool now; read all the same"); break;
        case RunLockState::kUnknown: StatusLine(L"run lock: cannot be told (no rights to open it)"); break;
    }
    ReportDriverPackages();
    return result;
}

// The dispatch table: each operation ParseCommandLine gives, with its routine.
struct Routine {
    uint32_t op;
    uint32_t (*run)();
};
constexpr Routine kRoutines[] = {
    {OpInvalid, RejectCommandLine},
    {OpRemapComPorts, RemapPorts},
    {OpRemoveDeviceNodes, RemoveDeviceNodes},
    {OpReleaseComDb, ReleaseComDb},
    {OpScanHardware, ScanHardware},
    {OpUninstallDriver, UninstallDriver},
    {OpStatus, Status},
};

constexpr bool HasRoutine(uint32_t op) {
    for (const Routine& r : kRoutines) {
        if (r.op == op) return true;
    }
    return false;
}
constexpr bool EverySwitchHasRoutine() {
    for (const SwitchOp& s : kSwitches) {
        if (!HasRoutine(s.op)) return false;
    }
    return true;
}
static_assert(EverySwitchHasRoutine(), "a switch without a routine");

}  // namespace

uint32_t DispatchOperation(uint32_t operation) {
    for (const Routine& r : kRoutines) {
        if (r.op == operation) return r.run();
    }
    return kExitOk;
}

}  // namespace mioutil
