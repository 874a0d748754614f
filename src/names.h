// Fixed names, operation codes and exit codes shared by the tool and its tests.
// Pure header: no <windows.h>, so the native unit build can use it too.
#pragma once

#include <cstdint>

namespace mioutil {

// Operation codes built by ParseCommandLine and switched on by DispatchOperation.
enum : uint32_t {
    OpInvalid = 0,
    OpStepCleanup = 0x1000,            // OEM INF/PNF deletion, then uninstall-registry cleanup
    OpStepUninstallPackages = 0x2000,  // recorded driver-store uninstall, then OEM INF uninstall
    OpUninstallDriver = 0x3000,        // both steps above
    OpRemapComPorts = 0x4000,
    OpRemoveDeviceNodes = 0x8000,
    OpScanHardware = 0x10000,
    OpReleaseComDb = 0x20000,
};

// Exit codes and the statuses that reach them.
enum : uint32_t {
    kExitOk = 0,
    kExitInvalidCommandLine = 10,
    kStatusNotFound = 13,  // key, search or file missing; INF without the provider string
};

// The switches, compared whole and case-sensitively.
inline constexpr const wchar_t* kSwitchRemoveDeviceNode = L"-RemoveDeviceNode";
inline constexpr const wchar_t* kSwitchRemoveComDb = L"-RemoveCOMdb";
inline constexpr const wchar_t* kSwitchScanHardware = L"-ScanHardware";
inline constexpr const wchar_t* kSwitchUninstallDriver = L"-UninstallDriver";

// The only console output of the tool.
inline constexpr const wchar_t* kInvalidCommandLineMessage = L"\n Invalid command line option.";

// Device nodes of the card.
inline constexpr const wchar_t* kPortEnumeratorFilter = L"KRVPCARD_ENUM\\KRVPCARD_SERP";
inline constexpr const wchar_t* kBusEnumerator = L"KRVPCARD_ENUM";
inline constexpr const wchar_t* kPortNamePrefix = L"KORAV COM Port";
inline constexpr const wchar_t* kDisplayEnumerator = L"DISPLAY";
inline constexpr const wchar_t* kPortNameValue = L"PortName";  // COM name, in a port node's device key

// Uninstall registry (under HKEY_LOCAL_MACHINE).
inline constexpr const wchar_t* kUninstallKeyPath = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline constexpr const wchar_t* kCardUninstallEntry = L"KORAV Multi-I/O Card Driver";

}  // namespace mioutil
