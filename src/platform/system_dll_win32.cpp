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

HMODULE LoadDllByFullPath(const wchar_t* path) {
    // Systems without these flags (before KB2533623) refuse them with
    // ERROR_INVALID_PARAMETER and get the older altered search path.
    HMODULE module = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module == nullptr && GetLastError() == ERROR_INVALID_PARAMETER) {
        module = LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    return module;
}

// Loads from System32 each DLL the file's import tables name; false (with the last
// error) where they cannot be read or one is not there or does not load.
bool PreloadImports(HANDLE file, PreloadedImports& imports) {
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file, &size)) return false;
    const UniqueKernelHandle mapping(CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr));
    const UniqueFileView view(mapping.valid() ? MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0) : nullptr);
    if (!view.valid()) return false;
    PeImports names;
    if (ReadPeImports(static_cast<const unsigned char*>(view.get()), static_cast<size_t>(size.QuadPart), names) !=
        PeImportsStatus::kRead) {
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return false;
    }
    for (size_t i = 0; i < names.count; ++i) {
        // Plain printable ASCII, as ReadPeImports takes them: one byte, one character.
        const unsigned char* bytes = static_cast<const unsigned char*>(view.get()) + names.names[i].offset;
        wchar_t name[kMaxPeImportNameChars + 1] = {};
        for (size_t c = 0; c < names.names[i].length; ++c) name[c] = static_cast<wchar_t>(bytes[c]);
        const bool present = SystemDllPresent(name);
        imports.modules[i].reset(present ? LoadSystemDll(name) : nullptr);
        if (!imports.modules[i].valid()) {
            const DWORD error = present ? GetLastError() : ERROR_MOD_NOT_FOUND;
            TextBuffer text;
            TextStart(text, imports.refused, kPathChars);
            TextAppend(text, name);
            TextFinish(text);
            SetLastError(error);
            return false;
        }
    }
    return true;
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

HMODULE LoadWithImportsFromSystem32(HANDLE file, const wchar_t* path, PreloadedImports& imports) {
    // Its own folder is not searched: it covers the DLL's imports and theirs.
    HMODULE module = LoadLibraryExW(path, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module != nullptr || GetLastError() != ERROR_INVALID_PARAMETER) return module;
    // A DLL already loaded is taken by its name, wherever it came from; anything else
    // is looked for in the DLL's own folder first, where there is nothing but the DLL.
    if (!PreloadImports(file, imports)) return nullptr;
    return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
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
