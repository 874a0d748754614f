#include "drivers/oem_inf.h"

#include <windows.h>

#include <cwchar>

#include "log.h"
#include "log_text.h"
#include "drivers/difx_api.h"
#include "drivers/driver_paths.h"
#include "drivers/inf_text.h"
#include "names.h"
#include "status.h"
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

// A file the pattern found: left alone (`path` null), or one that names `provider`.
struct OemInfItem {
    const WIN32_FIND_DATAW& found;
    const wchar_t* path;
    const wchar_t* provider;
};

enum class InfWalkEnd { kFolderTooLong, kNoFile, kWalked };

struct InfWalk {
    InfWalkEnd end;
    uint32_t examined;  // files whose long name is an oem*.inf and whose path fits
    uint32_t matched;   // of those, the ones that name one of the card's providers
};

// Hands every file the pattern finds that is left alone, or that names one of the
// card's providers, to `visit`, in the order the file system gives them.
template <typename Visit>
InfWalk WalkOemInfs(InfSearch& search, Visit visit) {
    InfWalk walk = {InfWalkEnd::kFolderTooLong, 0, 0};
    if (!PrepareInfSearch(search)) return walk;
    WIN32_FIND_DATAW found = {};
    UniqueFind find(FindFirstFileW(search.pattern, &found));
    walk.end = InfWalkEnd::kNoFile;
    if (!find.valid()) return walk;
    walk.end = InfWalkEnd::kWalked;
    do {
        wchar_t path[kPathChars] = {};
        if (!FoundFilePath(search, found, path)) {
            visit(OemInfItem{found, nullptr, nullptr});
            continue;
        }
        ++walk.examined;
        const wchar_t* provider = InfNamesCardProvider(search, found);
        if (provider == nullptr) continue;
        ++walk.matched;
        visit(OemInfItem{found, path, provider});
    } while (FindNextFileW(find.get(), &found));
    return walk;
}

// A file left alone, and why, in the run log's words (and -Status's); its three
// texts fit the line whole.
const wchar_t* LeftAlone(const InfSearch& search, const OemInfItem& item, wchar_t (&out)[kLogLineChars]) {
    LogQuote folder;
    LogQuote name;
    LogQuote alias;
    const int n = std::swprintf(out, kLogLineChars,
                                L"left alone (found through its 8.3 alias, or its path is too long): %ls in %ls, "
                                L"alias %ls",
                                LogQuoted(item.found.cFileName, name), LogQuoted(search.folder, folder),
                                LogQuoted(item.found.cAlternateFileName, alias));
    if (n < 0 || n >= static_cast<int>(kLogLineChars)) MarkLogLineCut(out, kLogLineChars);
    return out;
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
    uint32_t result = kExitOk;
    InfSearch search = {};
    const InfWalk walk = WalkOemInfs(search, [&](const OemInfItem& item) {
        if (item.path == nullptr) {
            wchar_t line[kLogLineChars];
            RunLog(L"%ls", LeftAlone(search, item, line));
            return;
        }
        BOOL needReboot = FALSE;
        const DWORD status = UninstallDriverPackage(difx, item.path, &needReboot);
        result |= status;
        wchar_t meaning[kPathChars] = {};
        LogQuote package;
        LogQuoted(item.path, package);
        if (difx.uninstall == nullptr) {
            RunLog(L"not uninstalled, difxapi.dll could not be had: 0x%08lX (%ls): %ls names \"%ls\"", status,
                   ErrorMeaning(status, meaning, kPathChars), package.chars, item.provider);
        } else {
            RunLog(L"DriverPackageUninstallW gave 0x%08lX (%ls)%ls: %ls names \"%ls\"", status,
                   ErrorMeaning(status, meaning, kPathChars), needReboot ? L", DIFx says a reboot is needed" : L"",
                   package.chars, item.provider);
        }
    });
    LogQuote folder;
    LogQuoted(search.folder, folder);
    switch (walk.end) {
        case InfWalkEnd::kFolderTooLong:
            RunLog(L"no package uninstalled, result 13: the INF folder's path does not fit in 260 characters");
            return kStatusNotFound;
        case InfWalkEnd::kNoFile:
            RunLog(L"no package uninstalled, result 13: no oem*.inf at all in %ls", folder.chars);
            return kStatusNotFound;
        case InfWalkEnd::kWalked:
            break;
    }
    RunLog(L"result 0x%08lX: %lu oem*.inf examined, %lu name the card's provider, in %ls",
           static_cast<unsigned long>(result), static_cast<unsigned long>(walk.examined),
           static_cast<unsigned long>(walk.matched), folder.chars);
    return result;
}

void DeleteOemInfFiles(DifxApi& difx) {
    InfSearch search = {};
    WalkOemInfs(search, [&](const OemInfItem& item) {
        wchar_t pnfPath[kPathChars] = {};
        if (item.path == nullptr || !PnfPathOf(item.path, TextLength(item.path, kPathChars), pnfPath, kPathChars)) {
            return;
        }
        // A package that DIFx could not even be handed is still in the driver
        // store: its INF is what is left to find it by.
        if (!LoadDifxApi(difx)) {
            LogQuote inf;
            RunLog(L"kept with its .pnf, since difxapi.dll could not be had to uninstall the package: %ls",
                   LogQuoted(item.path, inf));
            return;
        }
        // The twin goes whatever became of the INF (read-only, in use, ...).
        LogDeletion(item.path, DeleteFileW(item.path) != FALSE);
        LogDeletion(pnfPath, DeleteFileW(pnfPath) != FALSE);
    });
}

void ReportOemInfs() {
    InfSearch search = {};
    const InfWalk walk = WalkOemInfs(search, [&](const OemInfItem& item) {
        if (item.path == nullptr) {
            wchar_t line[kLogLineChars];
            StatusLine(L"oem INF: %ls", LeftAlone(search, item, line));
            return;
        }
        LogQuote inf;
        StatusLine(L"oem INF: would be uninstalled and deleted with its .pnf: %ls names \"%ls\"",
                   LogQuoted(item.path, inf), item.provider);
    });
    LogQuote folder;
    LogQuoted(search.folder, folder);
    switch (walk.end) {
        case InfWalkEnd::kFolderTooLong:
            StatusLine(L"oem INF: none, the INF folder's path does not fit in 260 characters");
            return;
        case InfWalkEnd::kNoFile:
            StatusLine(L"oem INF: none, no oem*.inf at all in %ls", folder.chars);
            return;
        case InfWalkEnd::kWalked:
            break;
    }
    StatusLine(L"oem INF: %lu oem*.inf examined, %lu name the card's provider, in %ls",
               static_cast<unsigned long>(walk.examined), static_cast<unsigned long>(walk.matched), folder.chars);
}

}  // namespace mioutil
