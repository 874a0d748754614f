// The reference program and the empty exe import the DLLs mioutil.exe imports, so
// that process start-up (the loader, the DLLs' own start-up under Wine) costs them
// what it costs the tool, and a ratio shows only the work done. Benchmark code.
#pragma once

#include <windows.h>
#include <setupapi.h>

namespace bench {

inline void* volatile g_importSink = nullptr;

/// Takes the address of one function of each DLL the tool imports; never calls them.
inline void KeepToolImports() {
    g_importSink = reinterpret_cast<void*>(&RegCloseKey);
    g_importSink = reinterpret_cast<void*>(&SetupDiDestroyDeviceInfoList);
}

}  // namespace bench
