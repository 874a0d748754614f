// Test stand-in for msports.dll: Wine's own ComDBOpen is an unimplemented stub
// that aborts the process. This one keeps the COM-port database where Windows
// keeps it (comdb_standin.h), accepts the numbers 1 to 4096 as Windows does,
// can be told to fail ComDBOpen, and logs every call for the tests to read.
#include <windows.h>

#include <cwchar>

#include "comdb_standin.h"
#include "devices/msports_api.h"

namespace {

void Log(const wchar_t* line) {
    wchar_t path[MAX_PATH] = {};
    e2e::TempLogPath(path, MAX_PATH, e2e::kComDbLog);
    e2e::AppendLogLine(path, line);
}

bool OpenIsToFail() {
    wchar_t value[8] = {};
    return GetEnvironmentVariableW(e2e::kComDbOpenFailsVariable, value, 8) == 1 && value[0] == L'1';
}

bool IsOpen(HCOMDB db) { return db != nullptr && db != HCOMDB_INVALID_HANDLE_VALUE; }

// Sets or clears the bit of `number`; a claim of a number in use fails unless forced.
LONG SetBit(HKEY key, DWORD number, bool claim, bool force) {
    if (number < 1 || number > COMDB_MAX_PORTS_ARBITRATED) return ERROR_INVALID_PARAMETER;
    BYTE bits[COMDB_MAX_PORTS_ARBITRATED / 8] = {};
    DWORD size = sizeof(bits);
    const LONG read = RegQueryValueExW(key, e2e::kComDbValue, nullptr, nullptr, bits, &size);
    if (read == ERROR_FILE_NOT_FOUND) {
        if (!claim) return ERROR_SUCCESS;  // an empty database holds nothing to release
        size = COMDB_MIN_PORTS_ARBITRATED / 8;
    } else if (read != ERROR_SUCCESS) {
        return ERROR_NOT_CONNECTED;
    }
    const DWORD byte = (number - 1) / 8;
    const BYTE bit = static_cast<BYTE>(1u << ((number - 1) % 8));
    if (byte >= size) {
        if (!claim) return ERROR_SUCCESS;
        size = (byte / 32 + 1) * 32;
    }
    if (claim && (bits[byte] & bit) != 0 && !force) return ERROR_SHARING_VIOLATION;
    bits[byte] = static_cast<BYTE>(claim ? bits[byte] | bit : bits[byte] & ~bit);
    return RegSetValueExW(key, e2e::kComDbValue, 0, REG_BINARY, bits, size) == ERROR_SUCCESS ? ERROR_SUCCESS
                                                                                                : ERROR_CANTWRITE;
}

LONG Change(const wchar_t* verb, HCOMDB db, DWORD number, bool claim) {
    const LONG status = IsOpen(db) ? SetBit(reinterpret_cast<HKEY>(db), number, claim, false) : ERROR_INVALID_PARAMETER;
    wchar_t line[64] = {};
    swprintf(line, 64, L"%ls %lu -> %ld%ls", verb, static_cast<unsigned long>(number), static_cast<long>(status),
             IsOpen(db) ? L"" : L" (no handle)");
    Log(line);
    return status;
}

}  // namespace

extern "C" {

LONG WINAPI ComDBOpen(PHCOMDB PHComDB) {
    *PHComDB = HCOMDB_INVALID_HANDLE_VALUE;
    if (OpenIsToFail()) {
        Log(L"open -> failed");
        return ERROR_ACCESS_DENIED;
    }
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, e2e::kComDbKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        Log(L"open -> failed");
        return ERROR_ACCESS_DENIED;
    }
    *PHComDB = reinterpret_cast<HCOMDB>(key);
    Log(L"open");
    return ERROR_SUCCESS;
}

LONG WINAPI ComDBReleasePort(HCOMDB HComDB, DWORD ComNumber) { return Change(L"release", HComDB, ComNumber, false); }

LONG WINAPI ComDBClaimPort(HCOMDB HComDB, DWORD ComNumber, BOOL, PBOOL Forced) {
    if (Forced != nullptr) *Forced = FALSE;
    return Change(L"claim", HComDB, ComNumber, true);
}

LONG WINAPI ComDBClose(HCOMDB HComDB) {
    if (!IsOpen(HComDB)) {
        Log(L"close -> no handle");
        return ERROR_INVALID_PARAMETER;
    }
    RegCloseKey(reinterpret_cast<HKEY>(HComDB));
    Log(L"close");
    return ERROR_SUCCESS;
}

// CDB_REPORT_BYTES: one byte per port, 1 where the number is in use; CDB_REPORT_BITS:
// the bits as kept. Without a buffer, only the number of ports the database holds.
LONG WINAPI ComDBGetCurrentPortUsage(HCOMDB HComDB, PBYTE Buffer, DWORD BufferSize, ULONG ReportType,
                                     LPDWORD MaxPortsReported) {
    if (!IsOpen(HComDB) || (ReportType != CDB_REPORT_BITS && ReportType != CDB_REPORT_BYTES)) {
        return ERROR_INVALID_PARAMETER;
    }
    BYTE bits[COMDB_MAX_PORTS_ARBITRATED / 8] = {};
    DWORD size = sizeof(bits);
    if (RegQueryValueExW(reinterpret_cast<HKEY>(HComDB), e2e::kComDbValue, nullptr, nullptr, bits, &size) !=
        ERROR_SUCCESS) {
        size = COMDB_MIN_PORTS_ARBITRATED / 8;
    }
    if (MaxPortsReported != nullptr) *MaxPortsReported = size * 8;
    if (Buffer == nullptr) return ERROR_SUCCESS;
    for (DWORD i = 0; i < BufferSize; ++i) {
        if (ReportType == CDB_REPORT_BITS) {
            Buffer[i] = i < size ? bits[i] : 0;
        } else {
            Buffer[i] = i < size * 8 && (bits[i / 8] & (1u << (i % 8))) != 0 ? 1 : 0;
        }
    }
    Log(L"usage");
    return ERROR_SUCCESS;
}

// Lets a test tell this stand-in from Wine's builtin msports.dll.
DWORD WINAPI MioutilComDbStandIn() { return 1; }

}  // extern "C"
