#include "drivers/driver_status.h"

#include "drivers/oem_inf.h"
#include "drivers/recorded_packages.h"
#include "drivers/uninstall_registry.h"
#include "names.h"
#include "status.h"

namespace mioutil {

// Each step's report walks what its action walks, in the action's order; the
// registry cleanup keeps the card's entry on what the record step would refuse.
void ReportDriverPackages() {
    StatusLine(L"packages: what -UninstallDriver would remove");
    const bool recordRefused = ReportRecordedPackages(kUninstallKeyPath, kCardUninstallEntry);
    ReportOemInfs();
    ReportUninstallRegistry(recordRefused);
}

}  // namespace mioutil
