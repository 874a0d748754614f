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

// The private copy Microsoft signed, with its imports from System32; the run log says
// what became of it. `shown` is the original's quoted path.
HMODULE LoadCheckedCopy(DifxApi& api, const wchar_t* shown) {
    HMODULE module = LoadWithImportsFromSystem32(api.copy.file(), api.copy.path(), api.imports);
    const DWORD error = GetLastError();
    wchar_t meaning[kPathChars] = {};
    LogQuote quoted;
    if (module != nullptr) {
        RunLog(L"difxapi.dll beside the exe taken, signed by Microsoft: %ls, loaded from its private copy %ls", shown,
               LogQuoted(api.copy.path(), quoted));
        return module;
    }
    if (api.imports.refused[0] != L'\0') {
        RunLog(L"difxapi.dll beside the exe refused, it imports %ls, which could not be loaded from System32, error "
               L"%lu (%ls): %ls",
               LogQuoted(api.imports.refused, quoted), error, ErrorMeaning(error, meaning, kPathChars), shown);
    } else if (error == ERROR_BAD_EXE_FORMAT) {
        RunLog(L"difxapi.dll beside the exe refused, its import tables cannot be read: %ls", shown);
    } else {
        RunLog(L"difxapi.dll beside the exe signed by Microsoft, but it did not load, error %lu (%ls): %ls", error,
               ErrorMeaning(error, meaning, kPathChars), shown);
        return nullptr;  // the load's own error
    }
    SetLastError(ERROR_MOD_NOT_FOUND);  // refused: as where there is none
    return nullptr;
}

// Loads the private copy if Microsoft signed it; the run log says why it is refused
// otherwise. `shown` is the original's quoted path.
HMODULE LoadIfSignedByMicrosoft(DifxApi& api, const wchar_t* shown) {
    wchar_t meaning[kPathChars] = {};
    const SignatureCheck check = CheckMicrosoftSignature(api.copy.file(), api.copy.path());
    switch (check.verdict) {
        case SignerVerdict::kMicrosoft:
            return LoadCheckedCopy(api, shown);
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
// only when Microsoft signed it. That folder may be one others can write to, and
// a DLL loaded from it would look there first for its own imports: so it is
// copied into a private folder, and that copy is checked and loaded.
HMODULE LoadBesideExe(DifxApi& api) {
    wchar_t exePath[kPathChars] = {};
    wchar_t path[kPathChars] = {};
    const DWORD exeLength = GetModuleFileNameW(nullptr, exePath, static_cast<DWORD>(kPathChars));
    if (exeLength == 0 || exeLength >= kPathChars ||
        !SiblingPath(exePath, exeLength, kDifxApiDll, TextLength(kDifxApiDll, kPathChars), path, kPathChars)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    wchar_t meaning[kPathChars] = {};
    LogQuote quoted;
    LogQuoted(path, quoted);
    // Held against writing while it is copied: the copy is the file opened here,
    // whatever becomes of its folder afterwards.
    UniqueFile file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    if (!file.valid()) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            RunLog(L"difxapi.dll beside the exe refused, it cannot be held against changes, error %lu (%ls): %ls",
                   error, ErrorMeaning(error, meaning, kPathChars), quoted.chars);
        }
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    const DWORD copyError = api.copy.Make(file.get(), kDifxApiDll);
    if (copyError != ERROR_SUCCESS) {
        RunLog(L"difxapi.dll beside the exe refused, no private copy of it could be made, error %lu (%ls): %ls",
               copyError, ErrorMeaning(copyError, meaning, kPathChars), quoted.chars);
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return LoadIfSignedByMicrosoft(api, quoted.chars);
}

}  // namespace

bool LoadDifxApi(DifxApi& api) {
    if (api.tried) return api.uninstall != nullptr;
    api.tried = true;

    api.module.reset(SystemDllPresent(kDifxApiDll) ? LoadSystemDll(kDifxApiDll) : LoadBesideExe(api));
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
