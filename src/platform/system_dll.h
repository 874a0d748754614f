// DLLs in an elevated process that may have been started from a folder others
// can write to: only System32 is searched, and a DLL is loaded by full path.
#pragma once

#include <windows.h>

#include "platform/pe_imports.h"
#include "platform/unique_handle.h"
#include "text.h"

namespace mioutil {

/// A function of a loaded module, typed; null where the module is null or lacks it
/// (the last error then says why).
template <typename Fn>
Fn DllFunction(HMODULE module, const char* name) {
    FARPROC proc = module != nullptr ? GetProcAddress(module, name) : nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(proc));
}

/// A function of kernel32, which is always loaded, for those older systems lack.
template <typename Fn>
Fn Kernel32Function(const char* name) {
    return DllFunction<Fn>(GetModuleHandleW(L"kernel32.dll"), name);
}

/// Restricts the process's DLL search to System32 (SetDefaultDllDirectories, where
/// the system has it); elsewhere at least drops the current directory from it.
void RestrictDllSearchToSystem32();

/// Loads <System32>\<name> by full path; its own imports are looked for there
/// first. Null when it is not there or does not load; the last error says why.
HMODULE LoadSystemDll(const wchar_t* name);

/// What LoadWithImportsFromSystem32 loaded ahead of a DLL; freed after it.
struct PreloadedImports {
    UniqueModule modules[kMaxPeImports];
    wchar_t refused[kPathChars] = {};  // the import that System32 lacks or that did not load
};

/// Loads the DLL at `path` (held open through `file`, in a folder only administrators
/// can write) with every DLL it imports from System32 only: with
/// LOAD_LIBRARY_SEARCH_SYSTEM32 alone where the system accepts it; elsewhere each of
/// its imports, load-time or delayed (read from the file), is first loaded from
/// System32 by full path, so that the loader takes those, and the DLL is refused where
/// one is not there. Null when refused or not loaded; the last error says why
/// (ERROR_BAD_EXE_FORMAT where its import tables cannot be read, the import's error
/// with `imports.refused` naming it).
HMODULE LoadWithImportsFromSystem32(HANDLE file, const wchar_t* path, PreloadedImports& imports);

/// Whether <System32>\<name> exists as a file.
bool SystemDllPresent(const wchar_t* name);

}  // namespace mioutil
