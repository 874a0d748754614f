// Fixed names, operation codes and exit codes shared by the tool and its tests.
// Pure header: no <windows.h>, so the native unit build can use it too.
#pragma once

#include <cstdint>

namespace mioutil {

// Operation codes given by ParseCommandLine and run by DispatchOperation.
enum : uint32_t {
    OpInvalid = 0,
    OpUninstallDriver = 0x3000,
    OpRemapComPorts = 0x4000,
    OpRemoveDeviceNodes = 0x8000,
    OpScanHardware = 0x10000,
    OpReleaseComDb = 0x20000,
    OpStatus = 0x40000,
};

// Exit codes and the statuses that reach them.
enum : uint32_t {
    kExitOk = 0,
    kExitInvalidCommandLine = 10,
    kStatusNotFound = 13,  // key, search or file missing; INF without the provider string
};

// What -Status's exit code tells a script (a detection step) about a plain run.
enum : uint32_t {
    kStatusNothingToDo = 0,     // it would change nothing, and nothing is pending
    kStatusWorkToDo = 1,        // it would rename or restart a port, or finish or drop a left plan
    kStatusWaitsForReboot = 2,  // a plan waits for a reboot
};

// The switches, compared whole and case-sensitively.
inline constexpr const wchar_t* kSwitchRemoveDeviceNode = L"-RemoveDeviceNode";
inline constexpr const wchar_t* kSwitchRemoveComDb = L"-RemoveCOMdb";
inline constexpr const wchar_t* kSwitchScanHardware = L"-ScanHardware";
inline constexpr const wchar_t* kSwitchUninstallDriver = L"-UninstallDriver";
inline constexpr const wchar_t* kSwitchStatus = L"-Status";

// The command table: each switch with the operation it gives; no argument gives
// OpRemapComPorts. The routines are in the dispatch table beside them (dispatch_win32.cpp).
struct SwitchOp {
    const wchar_t* name;
    uint32_t op;
};
inline constexpr SwitchOp kSwitches[] = {
    {kSwitchRemoveDeviceNode, OpRemoveDeviceNodes},
    {kSwitchRemoveComDb, OpReleaseComDb},
    {kSwitchScanHardware, OpScanHardware},
    {kSwitchUninstallDriver, OpUninstallDriver},
    {kSwitchStatus, OpStatus},
};

// The only console output of the tool.
inline constexpr const wchar_t* kInvalidCommandLineMessage = L"\n Invalid command line option.";

// Device nodes of the card.
inline constexpr const wchar_t* kPortEnumeratorFilter = L"KRVPCARD_ENUM\\KRVPCARD_SERP";
inline constexpr const wchar_t* kBusEnumerator = L"KRVPCARD_ENUM";
inline constexpr const wchar_t* kPortNamePrefix = L"KORAV COM Port";
inline constexpr const wchar_t* kDisplayEnumerator = L"DISPLAY";
inline constexpr const wchar_t* kPortNameValue = L"PortName";  // COM name, in a port node's device key
// The serial ports' live COM names, as their drivers publish them (under HKEY_LOCAL_MACHINE).
inline constexpr const wchar_t* kSerialCommKeyPath = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";

// The re-map's plan while it runs (under HKEY_LOCAL_MACHINE, 64-bit view): a run cut
// short leaves it for the next to finish. The tool's own key, apart from the vendor's.
inline constexpr const wchar_t* kPlanKeyPath = L"SOFTWARE\\mioutil";
inline constexpr const wchar_t* kPlanValue = L"RemapPlan";
// The boot's marker beside it: a volatile key, gone at the next reboot, whose stamp
// the record carries. A record whose stamp the marker holds was written in this boot.
inline constexpr const wchar_t* kPlanBootSubkey = L"Boot";
inline constexpr const wchar_t* kPlanBootKeyPath = L"SOFTWARE\\mioutil\\Boot";
inline constexpr const wchar_t* kPlanBootValue = L"Stamp";
// The run lock, in the Windows folder: held by every run that may change something,
// from before its first change until its log section is written.
inline constexpr const wchar_t* kRunLockFile = L"mioutil.lock";

// Uninstall registry (under HKEY_LOCAL_MACHINE).
inline constexpr const wchar_t* kUninstallKeyPath = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline constexpr const wchar_t* kCardUninstallEntry = L"KORAV Multi-I/O Card Driver";
inline constexpr const wchar_t* kUninstallStringValue = L"UninstallString";

// Texts whose presence in an entry's "UninstallString" marks it as the card's.
inline constexpr const wchar_t* kTargetKrvpci = L"krvpci";
inline constexpr const wchar_t* kTargetKrvpcip = L"krvpcip";
inline constexpr const wchar_t* kTargetKrvcard = L"krvcard";
inline constexpr const wchar_t* kTargetKrvport = L"krvport";
inline constexpr const wchar_t* kTargetMevcard = L"mevcard";
inline constexpr const wchar_t* kTargetMevport = L"mevport";
inline constexpr const wchar_t* kTargetInstaller = L"KRVInst.exe";
inline constexpr const wchar_t* kTargetVendorProduct = L"Korav\\PCI_MultiIO_Driver";

// The vendor's keys under HKEY_LOCAL_MACHINE.
inline constexpr const wchar_t* kVendorKeyPath = L"SOFTWARE\\Korav";
inline constexpr const wchar_t* kVendorProductKeyPath = L"SOFTWARE\\Korav\\PCI_MultiIO_Driver";
inline constexpr const wchar_t* kVendorSetupKeyPath = L"SOFTWARE\\Korav\\PCI_MultiIO_Driver\\Setup";

// Recorded driver-store packages, replayed through the driver package installer:
// %SystemDrive%\Program Files\KORAV\DPInst.exe /s /u <recorded path>.
inline constexpr const wchar_t* kDriverStorePathFormat = L"DriverStorePath%d";
inline constexpr const wchar_t* kDpinstFolder = L"KORAV";
inline constexpr const wchar_t* kDpinstTool = L"DPInst.exe";

// OEM INF copies in <Windows directory>\inf that name the card's provider.
inline constexpr const wchar_t* kInfSubfolder = L"inf";
inline constexpr const wchar_t* kOemInfPattern = L"oem*.inf";
inline constexpr const wchar_t* kProviderStrings[] = {L"Korav Co., Ltd.", L"KORAV Co., Ltd.", L"KORAV GROUP"};

// Driver Install Frameworks: a redistributable beside the exe, loaded at run time.
inline constexpr const wchar_t* kDifxApiDll = L"difxapi.dll";
inline constexpr const char* kDriverPackageUninstallW = "DriverPackageUninstallW";
inline constexpr uint32_t kDriverPackageUninstallFlags = 0x22;  // DRIVER_PACKAGE_DELETE_FILES | DRIVER_PACKAGE_SILENT
// The organization (O) in the subject of every certificate Microsoft signs its
// redistributables with; a difxapi.dll beside the exe must be signed by it.
inline constexpr const wchar_t* kMicrosoftSignerOrganization = L"Microsoft Corporation";

}  // namespace mioutil
