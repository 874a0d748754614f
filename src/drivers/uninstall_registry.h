#pragma once

#include <cstdint>

#include "drivers/uninstall_passes.h"

namespace mioutil {

/// Deletes the card's uninstall entries in both registry views, then the vendor's keys;
/// the entry the recorded driver-store step reads stays where `recordRefused` (that
/// step refused to run a record of it). Every failure is silent.
void CleanUninstallRegistry(bool recordRefused);

/// One walk over the uninstall key below HKEY_LOCAL_MACHINE in one registry view,
/// doing all the passes of that view: deletes each entry whose value `valueName`
/// holds the target of one of them (the 64-bit view of x86 Windows is skipped).
void DeleteUninstallEntries(const wchar_t* keyPath, const wchar_t* valueName, RegistryView view,
                            bool recordRefused);

/// For -Status: what CleanUninstallRegistry would delete and keep, read only, one line
/// each: the card's entries of each view, then the vendor's keys.
void ReportUninstallRegistry(bool recordRefused);

}  // namespace mioutil
