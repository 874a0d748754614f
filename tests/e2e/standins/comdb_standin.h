// What the msports.dll stand-in and the tests that use it agree on.
#pragma once

#include <windows.h>

#include "standin_log.h"

namespace e2e {

/// Where Windows keeps the COM-port database: one bit per COM number, bit 0 of byte 0 is COM1.
constexpr const wchar_t* kComDbKey = L"SYSTEM\\CurrentControlSet\\Control\\COM Name Arbiter";
constexpr const wchar_t* kComDbValue = L"ComDB";

/// Set to "1" in the environment of the process that loads the stand-in to make ComDBOpen fail.
constexpr const wchar_t* kComDbOpenFailsVariable = L"MIOUTIL_E2E_COMDB_OPEN_FAILS";

// The stand-in logs one line per call in kComDbLog ("open", "release 3 -> 0", "close").

}  // namespace e2e
