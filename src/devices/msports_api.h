// The COM-port database calls of msports.dll. The DLL is loaded at run time from
// System32 (see com_db.h), never imported: Windows does not keep it among its
// known DLLs, so an import would take a msports.dll planted beside the exe.
// The Windows SDK has <msports.h>; MinGW-w64 has no such header, so the handle
// and constants are declared here as the SDK has them.
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
#define CDB_REPORT_BITS 0x0
#define CDB_REPORT_BYTES 0x1
#endif

namespace mioutil {

using ComDBOpenFn = LONG(WINAPI*)(PHCOMDB database);
using ComDBCloseFn = LONG(WINAPI*)(HCOMDB database);
using ComDBReleasePortFn = LONG(WINAPI*)(HCOMDB database, DWORD comNumber);
using ComDBClaimPortFn = LONG(WINAPI*)(HCOMDB database, DWORD comNumber, BOOL force, PBOOL forced);
using ComDBGetCurrentPortUsageFn = LONG(WINAPI*)(HCOMDB database, PBYTE buffer, DWORD bufferSize, ULONG reportType,
                                                 LPDWORD maxPortsReported);

}  // namespace mioutil
