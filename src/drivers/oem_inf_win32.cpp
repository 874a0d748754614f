#include "drivers/oem_inf.h"

#include <windows.h>

#include "log.h"
#include "log_text.h"
#include "drivers/difx_api.h"
#include "drivers/driver_paths.h"
#include "drivers/inf_text.h"
#include "names.h"
#include "text.h"
#include "platform/unique_handle.h"

namespace mioutil {

namespace {

struct InfSearch {
    wchar_t folder[kPathChars];
    size_t folderLength;
    wchar_t pattern[kPathChars];
};

// <Windows>\inf and <Windows>\inf\oem*.inf. False when either would not fit:
// a cut-short folder would be another folder.
bool PrepareInfSearch(InfSearch& search) {
    wchar_t windows[kPathChars] = {};
    const UINT windowsLength = GetWindowsDirectoryW(windows, static_cast<UINT>(kPathChars));
    if (windowsLength == 0 || windowsLength >= kPathChars) return false;
    if (!JoinPath(windows, windowsLength, kInfSubfolder, TextLength(kInfSubfolder, kPathChars), search.folder,
                  kPathChars)) {
        return false;
    }
    search.folderLength = TextLength(search.folder, kPathChars);
    return JoinPath(search.folder, search.folderLength, kOemInfPattern, TextLength(kOemInfPattern, kPathChars),
                    search.pattern, kPathChars);
}

// The found file's full path; false when it does not fit, and such a file is left
// alone. So is a file that the pattern found only through its 8.3 alias
// (oem1.inf_old as OEM1~1.INF): its long name must itself be an oem*.inf.
bool FoundFilePath(const InfSearch& search, const WIN32_FIND_DATAW& found, wchar_t* out) {
    const size_t nameLength = TextLength(found.cFileName, MAX_PATH);
    if (!IsOemInfName(found.cFileName, nameLength)) return false;
    return JoinPath(search.folder, search.folderLength, found.cFileName, nameLength, out, kPathChars);
}

// The first of the card's provider strings the INF names; null when it names none.
const wchar_t* InfNamesCardProvider(const InfSearch& search, const WIN32_FIND_DATAW& found) {
    for (const wchar_t* provider : kProviderStrings) {
        if (InfContainsProvider(search.folder, found.cFileName, provider)) return provider;
    }
    return nullptr;
}

void LogDeletion(const wchar_t* path, bool deleted) {
    wchar_t meaning[kPathChars] = {};
    const DWORD error = GetLastError();
    LogQuote quoted;
    LogQuoted(path, quoted);
    if (deleted) {
        RunLog(L"deleted: %ls", quoted.chars);
    } else if (error == ERROR_FILE_NOT_FOUND) {
        RunLog(L"not there: %ls", quoted.chars);
    } else {
        RunLog(L"not deleted, error %lu (%ls): %ls", error, ErrorMeaning(error, meaning, kPathChars), quoted.chars);
    }
}

}  // namespace

bool InfContainsProvider(const wchar_t* folder, const wchar_t* fileName, const wchar_t* provider) {
    wchar_t path[kPathChars] = {};
    if (!JoinPath(folder, TextLength(folder, kPathChars), fileName, TextLength(fileName, kPathChars), path,
                  kPathChars)) {
        return false;
    }
    // A directory does not open without FILE_FLAG_BACKUP_SEMANTICS, so it never matches.
    UniqueFile file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    if (!file.valid()) return false;

    // Not zero-filled: only the bytes read are looked at.
    unsigned char raw[kInfTextLimit];
    DWORD got = 0;
    if (!ReadFile(file.get(), raw, static_cast<DWORD>(kInfTextLimit), &got, nullptr)) return false;
    return InfTextContains(raw, got, provider, TextLength(provider, kPathChars));
}

uint32_t UninstallOemInfPackages(DifxApi& difx) {
    InfSearch search = {};
    if (!PrepareInfSearch(search)) {
        RunLog(L"no package uninstalled, result 13: the INF folder's path does not fit in 260 characters");
        return kStatusNotFound;
    }
    WIN32_FIND_DATAW found = {};
    UniqueFind find(FindFirstFileW(search.pattern, &found));
    LogQuote folder;
    LogQuoted(search.folder, folder);
    if (!find.valid()) {
        RunLog(L"no package uninstalled, result 13: no oem*.inf at all in %ls", folder.chars);
        return kStatusNotFound;
    }

    uint32_t result = kExitOk;
    uint32_t examined = 0;
    uint32_t matched = 0;
    do {
        wchar_t packagePath[kPathChars] = {};
        if (!FoundFilePath(search, found, packagePath)) {
            LogQuote name;
            LogQuote alias;
            RunLog(L"left alone (found through its 8.3 alias, or its path is too long): %ls in %ls, alias %ls",
                   LogQuoted(found.cFileName, name), folder.chars, LogQuoted(found.cAlternateFileName, alias));
            continue;
        }
        ++examined;
        const wchar_t* provider = InfNamesCardProvider(search, found);
        if (provider == nullptr) continue;
        ++matched;
        BOOL needReboot = FALSE;
        const DWORD status = UninstallDriverPackage(difx, packagePath, &needReboot);
        result |= status;
        wchar_t meaning[kPathChars] = {};
        LogQuote package;
        LogQuoted(packagePath, package);
        if (difx.uninstall == nullptr) {
            RunLog(L"not uninstalled, difxapi.dll could not be had: 0x%08lX (%ls): %ls names \"%ls\"", status,
                   ErrorMeaning(status, meaning, kPathChars), package.chars, provider);
        } else {
            RunLog(L"DriverPackageUninstallW gave 0x%08lX (%ls)%ls: %ls names \"%ls\"", status,
                   ErrorMeaning(status, meaning, kPathChars), needReboot ? L", DIFx says a reboot is needed" : L"",
                   package.chars, provider);
        }
    } while (FindNextFileW(find.get(), &found));
    RunLog(L"result 0x%08lX: %lu oem*.inf examined, %lu name the card's provider, in %ls",
           static_cast<unsigned long>(result), static_cast<unsigned long>(examined),
           static_cast<unsigned long>(matched), folder.chars);
    return result;
}

void DeleteOemInfFiles(DifxApi& difx) {
    InfSearch search = {};
    if (!PrepareInfSearch(search)) return;
    WIN32_FIND_DATAW found = {};
    UniqueFind find(FindFirstFileW(search.pattern, &found));
    if (!find.valid()) return;

    do {
        wchar_t infPath[kPathChars] = {};
        wchar_t pnfPath[kPathChars] = {};
        if (!FoundFilePath(search, found, infPath)) continue;
        if (!PnfPathOf(infPath, TextLength(infPath, kPathChars), pnfPath, kPathChars)) continue;
        if (InfNamesCardProvider(search, found) == nullptr) continue;
        // A package that DIFx could not even be handed is still in the driver
        // store: its INF is what is left to find it by.
        if (!LoadDifxApi(difx)) {
            LogQuote inf;
            RunLog(L"kept with its .pnf, since difxapi.dll could not be had to uninstall the package: %ls",
                   LogQuoted(infPath, inf));
            continue;
        }
        // The twin goes whatever became of the INF (read-only, in use, ...).
        LogDeletion(infPath, DeleteFileW(infPath) != FALSE);
        LogDeletion(pnfPath, DeleteFileW(pnfPath) != FALSE);
    } while (FindNextFileW(find.get(), &found));
}

}  // namespace mioutil
