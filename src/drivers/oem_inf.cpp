#include "drivers/oem_inf.h"

#include <windows.h>

#include "drivers/difx_api.h"
#include "drivers/driver_paths.h"
#include "drivers/inf_text.h"
#include "names.h"
#include "text.h"
#include "platform/unique_handle.h"

namespace mioutil {

namespace {

constexpr DWORD kPathCapacity = 260;

struct InfSearch {
    wchar_t folder[kPathCapacity];
    size_t folderLength;
    wchar_t pattern[kPathCapacity];
};

// <Windows>\inf and <Windows>\inf\oem*.inf. False when either would not fit:
// a cut-short folder would be another folder.
bool PrepareInfSearch(InfSearch& search) {
    wchar_t windows[kPathCapacity] = {};
    const UINT windowsLength = GetWindowsDirectoryW(windows, kPathCapacity);
    if (windowsLength == 0 || windowsLength >= kPathCapacity) return false;
    if (!JoinPath(windows, windowsLength, kInfSubfolder, TextLength(kInfSubfolder, kPathCapacity), search.folder,
                  kPathCapacity)) {
        return false;
    }
    search.folderLength = TextLength(search.folder, kPathCapacity);
    return JoinPath(search.folder, search.folderLength, kOemInfPattern, TextLength(kOemInfPattern, kPathCapacity),
                    search.pattern, kPathCapacity);
}

// The found file's full path; false when it does not fit, and such a file is left alone.
bool FoundFilePath(const InfSearch& search, const WIN32_FIND_DATAW& found, wchar_t* out) {
    return JoinPath(search.folder, search.folderLength, found.cFileName, TextLength(found.cFileName, MAX_PATH), out,
                    kPathCapacity);
}

bool InfNamesCardProvider(const InfSearch& search, const WIN32_FIND_DATAW& found) {
    for (const wchar_t* provider : kProviderStrings) {
        if (InfContainsProvider(search.folder, found.cFileName, provider) == kExitOk) return true;
    }
    return false;
}

}  // namespace

uint32_t InfContainsProvider(const wchar_t* folder, const wchar_t* fileName, const wchar_t* provider) {
    wchar_t path[kPathCapacity] = {};
    if (!JoinPath(folder, TextLength(folder, kPathCapacity), fileName, TextLength(fileName, kPathCapacity), path,
                  kPathCapacity)) {
        return kStatusNotFound;
    }
    // A directory does not open without FILE_FLAG_BACKUP_SEMANTICS, so it never matches.
    UniqueFile file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    if (!file.valid()) return kStatusNotFound;

    // Not zero-filled: only the bytes read are looked at.
    unsigned char raw[kInfTextLimit];
    DWORD got = 0;
    if (!ReadFile(file.get(), raw, static_cast<DWORD>(kInfTextLimit), &got, nullptr)) return kStatusNotFound;
    return InfTextContains(raw, got, provider, TextLength(provider, kPathCapacity)) ? kExitOk : kStatusNotFound;
}

uint32_t UninstallOemInfPackages() {
    InfSearch search = {};
    if (!PrepareInfSearch(search)) return kStatusNotFound;
    WIN32_FIND_DATAW found = {};
    UniqueFind find(FindFirstFileW(search.pattern, &found));
    if (!find.valid()) return kStatusNotFound;

    DifxApi difx;  // loaded at the first package that needs it
    uint32_t result = kExitOk;
    do {
        wchar_t packagePath[kPathCapacity] = {};
        if (!FoundFilePath(search, found, packagePath)) continue;
        if (!InfNamesCardProvider(search, found)) continue;
        result |= UninstallDriverPackage(difx, packagePath);
    } while (FindNextFileW(find.get(), &found));
    return result;
}

void DeleteOemInfFiles() {
    InfSearch search = {};
    if (!PrepareInfSearch(search)) return;
    WIN32_FIND_DATAW found = {};
    UniqueFind find(FindFirstFileW(search.pattern, &found));
    if (!find.valid()) return;

    do {
        wchar_t infPath[kPathCapacity] = {};
        wchar_t pnfPath[kPathCapacity] = {};
        if (!FoundFilePath(search, found, infPath)) continue;
        if (!PnfPathOf(infPath, TextLength(infPath, kPathCapacity), pnfPath, kPathCapacity)) continue;
        if (!InfNamesCardProvider(search, found)) continue;
        // The twin goes whatever became of the INF (read-only, in use, ...).
        DeleteFileW(infPath);
        DeleteFileW(pnfPath);
    } while (FindNextFileW(find.get(), &found));
}

}  // namespace mioutil
