#include "platform/system_dll.h"

#include "drivers/driver_paths.h"
#include "text.h"

namespace mioutil {

namespace {

bool SystemDllPath(const wchar_t* name, wchar_t* out) {
    wchar_t system[kPathChars] = {};
    const UINT length = GetSystemDirectoryW(system, static_cast<UINT>(kPathChars));
    if (length == 0 || length >= kPathChars) return false;
    return JoinPath(system, length, name, TextLength(name, kPathChars), out, kPathChars);
}

}  // namespace

void RestrictDllSearchToSystem32() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    using SetDllDirectoryFn = BOOL(WINAPI*)(LPCWSTR);
    const auto restrict = Kernel32Function<SetDefaultDllDirectoriesFn>("SetDefaultDllDirectories");
    if (restrict != nullptr && restrict(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;
    // An empty string takes the current directory out of the search order.
    const auto setDirectory = Kernel32Function<SetDllDirectoryFn>("SetDllDirectoryW");
    if (setDirectory != nullptr) setDirectory(L"");
}

HMODULE LoadDllByFullPath(const wchar_t* path) {
    // Systems without these flags (before KB2533623) refuse them with
    // ERROR_INVALID_PARAMETER and get the older altered search path.
    HMODULE module = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr && GetLastError() == ERROR_INVALID_PARAMETER) {
        module = LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    return module;
}

HMODULE LoadSystemDll(const wchar_t* name) {
    wchar_t path[kPathChars] = {};
    if (!SystemDllPath(name, path)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return LoadDllByFullPath(path);
}

bool SystemDllPresent(const wchar_t* name) {
    wchar_t path[kPathChars] = {};
    if (!SystemDllPath(name, path)) return false;
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace mioutil
