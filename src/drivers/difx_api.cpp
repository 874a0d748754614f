#include "drivers/difx_api.h"

#include "drivers/driver_paths.h"
#include "text.h"
#include "names.h"

namespace mioutil {

namespace {

constexpr DWORD kPathCapacity = 260;

// Loads the DLL at a full path. Its own imports are looked for in its folder and
// System32 only; systems without those search flags (before KB2533623) refuse
// them with ERROR_INVALID_PARAMETER and get the older altered search path.
HMODULE LoadFrom(const wchar_t* path) {
    HMODULE module = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr && GetLastError() == ERROR_INVALID_PARAMETER) {
        module = LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    return module;
}

size_t NameLength(const wchar_t* name) { return TextLength(name, kPathCapacity); }

}  // namespace

void LoadDifxApi(DifxApi& api) {
    if (api.tried) return;
    api.tried = true;
    api.loadError = ERROR_MOD_NOT_FOUND;

    wchar_t exePath[kPathCapacity] = {};
    wchar_t path[kPathCapacity] = {};
    const DWORD exeLength = GetModuleFileNameW(nullptr, exePath, kPathCapacity);
    if (exeLength > 0 && exeLength < kPathCapacity &&
        SiblingPath(exePath, exeLength, kDifxApiDll, NameLength(kDifxApiDll), path, kPathCapacity)) {
        api.module.reset(LoadFrom(path));
        if (!api.module.valid()) api.loadError = GetLastError();
    }

    if (!api.module.valid()) {
        wchar_t system[kPathCapacity] = {};
        const UINT systemLength = GetSystemDirectoryW(system, kPathCapacity);
        if (systemLength > 0 && systemLength < kPathCapacity &&
            JoinPath(system, systemLength, kDifxApiDll, NameLength(kDifxApiDll), path, kPathCapacity)) {
            api.module.reset(LoadFrom(path));
            if (!api.module.valid()) api.loadError = GetLastError();
        }
    }
    if (!api.module.valid()) {
        if (api.loadError == ERROR_SUCCESS) api.loadError = ERROR_MOD_NOT_FOUND;
        return;
    }

    FARPROC proc = GetProcAddress(api.module.get(), kDriverPackageUninstallW);
    if (proc == nullptr) {
        api.loadError = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_PROC_NOT_FOUND;
        return;
    }
    api.uninstall = reinterpret_cast<DriverPackageUninstallFn>(reinterpret_cast<void*>(proc));
    api.loadError = ERROR_SUCCESS;
}

DWORD UninstallDriverPackage(DifxApi& api, const wchar_t* infPath) {
    LoadDifxApi(api);
    if (api.uninstall == nullptr) return api.loadError;  // counts as a failed uninstall
    BOOL needReboot = FALSE;                              // a reboot it asks for is not ours to request
    return api.uninstall(infPath, kDriverPackageUninstallFlags, nullptr, &needReboot);
}

}  // namespace mioutil
