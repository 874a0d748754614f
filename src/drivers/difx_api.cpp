#include "drivers/difx_api.h"

#include "drivers/driver_paths.h"
#include "names.h"
#include "platform/system_dll.h"
#include "text.h"

namespace mioutil {

namespace {

// The redistributable beside the exe, for systems that do not ship the DLL
// (XP, 2003, Vista): taken only where System32 has no difxapi.dll at all.
HMODULE LoadBesideExe() {
    wchar_t exePath[kPathChars] = {};
    wchar_t path[kPathChars] = {};
    const DWORD exeLength = GetModuleFileNameW(nullptr, exePath, static_cast<DWORD>(kPathChars));
    if (exeLength == 0 || exeLength >= kPathChars ||
        !SiblingPath(exePath, exeLength, kDifxApiDll, TextLength(kDifxApiDll, kPathChars), path, kPathChars)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return LoadDllByFullPath(path);
}

}  // namespace

bool LoadDifxApi(DifxApi& api) {
    if (api.tried) return api.uninstall != nullptr;
    api.tried = true;

    api.module.reset(SystemDllPresent(kDifxApiDll) ? LoadSystemDll(kDifxApiDll) : LoadBesideExe());
    if (!api.module.valid()) {
        api.loadError = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_MOD_NOT_FOUND;
        return false;
    }
    FARPROC proc = GetProcAddress(api.module.get(), kDriverPackageUninstallW);
    if (proc == nullptr) {
        api.loadError = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_PROC_NOT_FOUND;
        return false;
    }
    api.uninstall = reinterpret_cast<DriverPackageUninstallFn>(reinterpret_cast<void*>(proc));
    api.loadError = ERROR_SUCCESS;
    return true;
}

DWORD UninstallDriverPackage(DifxApi& api, const wchar_t* infPath, BOOL* needReboot) {
    *needReboot = FALSE;                           // a reboot it asks for is not ours to request, only to log
    if (!LoadDifxApi(api)) return api.loadError;  // counts as a failed uninstall
    return api.uninstall(infPath, kDriverPackageUninstallFlags, nullptr, needReboot);
}

}  // namespace mioutil
