#pragma once

#include <cstdint>

namespace mioutil {

/// Replays the driver-store paths recorded as "DriverStorePath<i>" in the card's
/// uninstall entry (HKLM\<uninstallKeyPath>\<entryName>) through DPInst.exe, highest
/// index first, deletes each record it ran, and deletes the entry once it holds no
/// value; the run log tells what became of each record and of the entry. True when
/// it refused to run a record it read, which therefore stays.
bool UninstallRecordedPackages(const wchar_t* uninstallKeyPath, const wchar_t* entryName);

/// For -Status: what UninstallRecordedPackages would do with each record and with the
/// entry, read only, one line each. True when it would refuse a record it reads.
bool ReportRecordedPackages(const wchar_t* uninstallKeyPath, const wchar_t* entryName);

}  // namespace mioutil
