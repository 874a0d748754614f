// Device nodes for the end-to-end tests (and the demo): real nodes made with
// SetupAPI in a test device class whose class installer (e2e_classinst.dll)
// records every restart it is asked for.
#pragma once

#include <windows.h>
#include <setupapi.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "harness.h"

#include "log_path.h"

namespace e2e {

/// Room for a device instance ID (MAX_DEVICE_ID_LEN of cfgmgr32.h).
constexpr DWORD kIdChars = 200;

/// An SP_DEVINFO_DATA ready for SetupDiEnumDeviceInfo and friends.
inline SP_DEVINFO_DATA DevInfoData() {
    SP_DEVINFO_DATA data = {};
    data.cbSize = sizeof(data);
    return data;
}

/// The test device class; its Installer32 is the recording class installer.
extern const GUID kTestClassGuid;

/// Where the recording class installer appends the instance IDs it restarted.
inline void RestartLogPath(wchar_t* out, UINT capacity) { LogPath(out, capacity, L"mioutil_e2e_restarts.log"); }

/// Where the recording class installer keeps the COM-name links while a test
/// has them (HKEY_CURRENT_USER): one value per node, named by its instance ID,
/// holding the name whose link it has.
constexpr const wchar_t* kLinksKey = L"Software\\MioutilE2E\\Links";
/// Where it logs a node that restarted onto a name another node's link holds.
inline void CollisionLogPath(wchar_t* out, UINT capacity) { LogPath(out, capacity, L"mioutil_e2e_collisions.log"); }

/// Registers the recording class installer for the test class: copies it from
/// `binDir` into System32 and names it there by its bare name.
bool RegisterTestClass(const std::wstring& binDir);
/// For the demo and the benchmark, which run the tool outside the test harness:
/// copies the msports.dll stand-in from `binDir` into System32 and tells Wine to
/// load it for mioutil.exe. Wine's own aborts on ComDBOpen, which the re-map calls
/// to find a spare name for ports that swap numbers.
bool InstallComDbStandIn(const std::wstring& binDir);
/// Deletes the test class's key (remove its nodes first).
void UnregisterTestClass();

struct NodeSpec {
    std::wstring instanceId;                // e.g. KRVPCARD_ENUM\KRVPCARD_SERP\0001
    const wchar_t* portName = nullptr;      // "PortName" in the device key; nullptr: no such value
    const wchar_t* location = nullptr;      // location information; nullptr: none
    const wchar_t* friendlyName = nullptr;  // nullptr: none
    bool softwareKey = false;               // also create the node's software (driver) key
    const GUID* setupClass = nullptr;       // nullptr: the test class
};

/// Creates and registers a node in the test class. False (with the reason in
/// `error`) when any step fails.
bool CreateNode(const NodeSpec& wanted, std::wstring* error = nullptr);

/// Instance ID of port n of the simulated cards: KRVPCARD_ENUM\KRVPCARD_SERP\nnnn.
std::wstring PortId(int n);
/// Location information of the port numbered `portOnCard` on its card: "KORAV COM Port <n>".
std::wstring LocationText(int portOnCard);

struct NodeState {
    bool exists = false;
    bool hasPortName = false;
    std::wstring portName;
    bool hasFriendlyName = false;
    std::wstring friendlyName;
    bool hasHardwareKey = false;  // the device key (DIREG_DEV) opens
    bool hasSoftwareKey = false;  // the driver key (DIREG_DRV) opens
    std::wstring driver;          // SPDRP_DRIVER: the software key below Control\Class
};
NodeState ReadNode(const std::wstring& instanceId);


/// Instance IDs of every registered node under an enumerator (or enumerator\device ID).
std::vector<std::wstring> ListNodes(const wchar_t* enumerator);

/// Removes every node under the enumerator (or enumerator\device ID).
void RemoveNodes(const wchar_t* enumerator);

/// The lines of a text file, without their line ends; none when it cannot be read.
std::vector<std::string> ReadLines(const wchar_t* path);

/// Instance IDs the recording class installer restarted, in order.
std::vector<std::wstring> RecordedRestarts();
/// The same, each with the "PortName" the node had when it restarted ("" for none).
std::vector<std::pair<std::wstring, std::wstring>> RecordedRestartsWithNames();
void ClearRecordedRestarts();

/// Starts keeping COM-name links: every node (present or not) with a "PortName"
/// holds the link of that name, as its driver took it when it last started.
/// Clears the collision log.
bool SeedLinks();
/// Which node holds which link, by instance ID.
std::map<std::wstring, std::wstring> Links();
/// Every restart onto a name another node's link held, one line each.
std::vector<std::string> RecordedCollisions();
/// Stops keeping links and clears the collision log.
void ClearLinks();

/// The COM-port database (as the msports.dll stand-in keeps it) holding exactly these numbers.
bool SetComDb(const std::vector<int>& numbers);

std::string Narrow(const std::wstring& text);

}  // namespace e2e
