// DriverPackageUninstallW of difxapi.dll, loaded at run time by full path: the DLL
// is not part of every Windows (before 7 it is a redistributable shipped beside the
// application), and an import would keep the whole exe from starting without it.
#pragma once

#include <windows.h>

#include "platform/private_copy.h"
#include "platform/system_dll.h"
#include "platform/unique_handle.h"

namespace mioutil {

using DriverPackageUninstallFn = DWORD(WINAPI*)(PCWSTR infPath, DWORD flags, PVOID installerInfo, BOOL* needReboot);

/// One load for the whole run, shared by both INF steps. Its members go in reverse:
/// the DLL is freed first, then what was loaded for it, then its private copy.
struct DifxApi {
    PrivateCopy copy;  // of the redistributable beside the exe, where that is the one taken
    PreloadedImports imports;
    UniqueModule module;
    DriverPackageUninstallFn uninstall = nullptr;
    DWORD loadError = ERROR_SUCCESS;  // why `uninstall` could not be had
    bool tried = false;
};

/// Loads difxapi.dll once by full path, from System32, or, where System32 has none,
/// the one beside the exe: copied into a private folder (private_copy.h), taken only
/// when Microsoft signed that copy, and loaded from there with its imports from
/// System32 only (the run log says why one is refused); never from the current
/// directory or PATH. True when DriverPackageUninstallW could be had.
bool LoadDifxApi(DifxApi& api);

/// Uninstalls one driver package silently with its files; gives the function's
/// result, or the error of the failed load or lookup. `needReboot` is what DIFx
/// said of a reboot (FALSE before each call).
DWORD UninstallDriverPackage(DifxApi& api, const wchar_t* infPath, BOOL* needReboot);

}  // namespace mioutil
