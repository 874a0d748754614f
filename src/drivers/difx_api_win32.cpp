#include "drivers/difx_api.h"

#include "log.h"
#include "log_text.h"
#include "drivers/driver_paths.h"
#include "names.h"
#include "platform/signature.h"
#include "platform/system_dll.h"
#include "text.h"

namespace mioutil {

namespace {

// Loads the DLL at `path` while `file` holds it open, if its signature is Microsoft's;
// the run log says why it is refused otherwise.
HMODULE LoadIfSignedByMicrosoft(HANDLE file, const wchar_t* path) {
    wchar_t meaning[kPathChars] = {};
    LogQuote quoted;
    const wchar_t* shown = LogQuoted(path, quoted);
    const SignatureCheck check = CheckMicrosoftSignature(file, path);
    switch (check.verdict) {
        case SignerVerdict::kMicrosoft:
            RunLog(L"difxapi.dll beside the exe taken, signed by Microsoft: %ls", shown);
            return LoadDllByFullPath(path);
        case SignerVerdict::kOtherSigner:
            RunLog(L"difxapi.dll beside the exe refused, signed but not by Microsoft: %ls", shown);
            break;
        case SignerVerdict::kNotValid:
            RunLog(L"difxapi.dll beside the exe refused, no valid signature, 0x%08lX (%ls): %ls", check.error,
                   ErrorMeaning(check.error, meaning, kPathChars), shown);
            break;
        case SignerVerdict::kNotCheckable:
            RunLog(L"difxapi.dll beside the exe refused, its signature could not be checked, error %lu (%ls): %ls",
                   check.error, ErrorMeaning(check.error, meaning, kPathChars), shown);
            break;
    }
    SetLastError(ERROR_MOD_NOT_FOUND);  // as where there is none: no DIFx to hand the packages to
    return nullptr;
}

// The redistributable beside the exe, for systems that do not ship the DLL
// (XP, 2003, Vista): taken only where System32 has no difxapi.dll at all, and
// only when Microsoft signed it, since that folder may be one others can write to.
HMODULE LoadBesideExe() {
    wchar_t exePath[kPathChars] = {};
    wchar_t path[kPathChars] = {};
    const DWORD exeLength = GetModuleFileNameW(nullptr, exePath, static_cast<DWORD>(kPathChars));
    if (exeLength == 0 || exeLength >= kPathChars ||
        !SiblingPath(exePath, exeLength, kDifxApiDll, TextLength(kDifxApiDll, kPathChars), path, kPathChars)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    // Held open against writing, renaming and deletion from the check until the
    // load, so that the file loaded is the file checked.
    UniqueFile file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    if (!file.valid()) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            wchar_t meaning[kPathChars] = {};
            LogQuote quoted;
            RunLog(L"difxapi.dll beside the exe refused, it cannot be held against changes, error %lu (%ls): %ls",
                   error, ErrorMeaning(error, meaning, kPathChars), LogQuoted(path, quoted));
        }
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return LoadIfSignedByMicrosoft(file.get(), path);
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
    api.uninstall = DllFunction<DriverPackageUninstallFn>(api.module.get(), kDriverPackageUninstallW);
    if (api.uninstall == nullptr) {
        api.loadError = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_PROC_NOT_FOUND;
        return false;
    }
    api.loadError = ERROR_SUCCESS;
    return true;
}

DWORD UninstallDriverPackage(DifxApi& api, const wchar_t* infPath, BOOL* needReboot) {
    *needReboot = FALSE;                           // a reboot it asks for is not ours to request, only to log
    if (!LoadDifxApi(api)) return api.loadError;  // counts as a failed uninstall
    return api.uninstall(infPath, kDriverPackageUninstallFlags, nullptr, needReboot);
}

}  // namespace mioutil
