// DLLs in an elevated process that may have been started from a folder others
// can write to: only System32 is searched, and a DLL is loaded by full path.
#pragma once

#include <windows.h>

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

/// Loads <System32>\<name> by full path. Null when it is not there or does not
/// load; the last error says why.
HMODULE LoadSystemDll(const wchar_t* name);

/// Loads a DLL by full path; its own imports are looked for beside it and in
/// System32 only, where the system knows those flags.
HMODULE LoadDllByFullPath(const wchar_t* path);

/// Whether <System32>\<name> exists as a file.
bool SystemDllPresent(const wchar_t* name);

}  // namespace mioutil
