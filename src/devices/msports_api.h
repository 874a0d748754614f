// The COM-port database of msports.dll. The Windows SDK has <msports.h>;
// MinGW-w64 ships libmsports.a but no header, so it gets the SDK's
// declarations of the calls this tool makes.
#pragma once

#include <windows.h>

#if defined(_MSC_VER)
#include <msports.h>
#else
DECLARE_HANDLE(HCOMDB);
typedef HCOMDB* PHCOMDB;
#define HCOMDB_INVALID_HANDLE_VALUE ((HCOMDB)INVALID_HANDLE_VALUE)
#define COMDB_MIN_PORTS_ARBITRATED 256
#define COMDB_MAX_PORTS_ARBITRATED 4096

extern "C" {
LONG WINAPI ComDBOpen(PHCOMDB PHComDB);
LONG WINAPI ComDBClose(HCOMDB HComDB);
LONG WINAPI ComDBReleasePort(HCOMDB HComDB, DWORD ComNumber);
}
#endif
