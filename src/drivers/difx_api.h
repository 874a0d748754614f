// DriverPackageUninstallW of difxapi.dll, loaded at run time by full path: the DLL
// is not part of every Windows (before 7 it is a redistributable shipped beside the
// application), and an import would keep the whole exe from starting without it.
#pragma once

#include <windows.h>

#include "platform/unique_handle.h"

namespace mioutil {

using DriverPackageUninstallFn = DWORD(WINAPI*)(PCWSTR infPath, DWORD flags, PVOID installerInfo, BOOL* needReboot);

struct DifxApi {
    UniqueModule module;
    DriverPackageUninstallFn uninstall = nullptr;
    DWORD loadError = ERROR_SUCCESS;  // why `uninstall` could not be had
    bool tried = false;
};

/// Loads difxapi.dll once by full path, from System32, or from the exe's own folder
/// where System32 has none and Microsoft signed that copy (the run log says why
/// one is refused); never from the current directory or PATH. True when
/// DriverPackageUninstallW could be had.
bool LoadDifxApi(DifxApi& api);

/// Uninstalls one driver package silently with its files; gives the function's
/// result, or the error of the failed load or lookup. `needReboot` is what DIFx
/// said of a reboot (FALSE before each call).
DWORD UninstallDriverPackage(DifxApi& api, const wchar_t* infPath, BOOL* needReboot);

}  // namespace mioutil
