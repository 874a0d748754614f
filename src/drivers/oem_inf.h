#pragma once

#include <cstdint>

namespace mioutil {

struct DifxApi;

/// Whether the first 65535 bytes of <folder>\<fileName>, widened byte by byte up to
/// the first zero byte, contain `provider` (case matters); false also when the file
/// cannot be opened or read, or its path does not fit 260 characters.
bool InfContainsProvider(const wchar_t* folder, const wchar_t* fileName, const wchar_t* provider);

/// Uninstalls the driver package of every oem*.inf in the INF folder that names one
/// of the card's providers, through `difx` (loaded at the first that needs it). 13 when
/// no file matches oem*.inf, otherwise the bitwise OR of the uninstall results (0 when
/// nothing matched or all went well).
uint32_t UninstallOemInfPackages(DifxApi& difx);

/// Deletes every oem*.inf that names one of the card's providers, then its .pnf twin;
/// both stay where `difx` (the load the step before made, or made here) could not be had.
void DeleteOemInfFiles(DifxApi& difx);

/// For -Status: each oem*.inf the two INF steps would uninstall and delete, and each
/// they leave alone, one line each, then their count; reads only, loads no DLL.
void ReportOemInfs();

}  // namespace mioutil
