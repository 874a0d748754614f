// Device nodes for the end-to-end tests (and the demo): real nodes made with
// SetupAPI in a test device class whose class installer (e2e_classinst.dll)
// records every restart it is asked for.
#pragma once

#include <windows.h>
#include <setupapi.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "harness.h"
#include "helpers.h"

namespace e2e {

/// An SP_DEVINFO_DATA ready for SetupDiEnumDeviceInfo and friends.
inline SP_DEVINFO_DATA DevInfoData() {
    SP_DEVINFO_DATA data = {};
    data.cbSize = sizeof(data);
    return data;
}

/// The test device class; its Installer32 is the recording class installer.
extern const GUID kTestClassGuid;
/// Nodes of another enumerator, and display nodes that sort before Wine's own.
constexpr const wchar_t* kOtherNodes = L"ROOT\\MIOUTIL_TEST";
constexpr const wchar_t* kTestDisplays = L"DISPLAY\\AAA_MIOUTIL_TEST";

/// Registers the recording class installer for the test class: copies it from
/// `binDir` into System32 and names it there by its bare name.
Done RegisterTestClass(const std::wstring& binDir, At at = Here());
/// For the demo and the benchmark, which run the tool outside the test harness:
/// copies the msports.dll stand-in from `binDir` into System32 and tells Wine to load it for
/// mioutil.exe. Wine's own aborts on ComDBOpen, which the re-map calls to find a
/// spare name for ports that swap numbers.
Done InstallComDbStandIn(const std::wstring& binDir, At at = Here());
/// Deletes the test class's key (remove its nodes first).
void UnregisterTestClass();

struct NodeSpec {
    std::wstring instanceId;     // e.g. KRVPCARD_ENUM\KRVPCARD_SERP\0001
    std::wstring portName = {};      // "PortName" in the device key; empty: no such value
    std::wstring location = {};      // location information; empty: none
    std::wstring friendlyName = {};  // empty: none
    bool softwareKey = false;    // also create the node's software (driver) key
    const GUID* setupClass = nullptr;  // nullptr: the test class
};

/// Creates and registers the nodes; fails at the first step that does.
Done CreateNodes(const std::vector<NodeSpec>& nodes, At at = Here());

/// Instance ID of port n of the simulated cards: KRVPCARD_ENUM\KRVPCARD_SERP\nnnn.
std::wstring PortId(int n);
/// Location information of the port numbered `portOnCard` on its card: "KORAV COM Port <n>".
std::wstring LocationText(int portOnCard);
/// The friendly name port n has from an earlier run: one that does not change
/// shows the node was not written.
std::wstring OldName(int n);
/// Port n of the simulated cards, at place `portOnCard` of its card (0: no location
/// information), holding `portName` ("": none) and its OldName.
NodeSpec PortNode(int n, const std::wstring& portName, int portOnCard);

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

/// Instance IDs the recording class installer restarted, in order.
std::vector<std::wstring> RecordedRestarts();
/// The same, each with the "PortName" the node had when it restarted ("" for none).
std::vector<std::pair<std::wstring, std::wstring>> RecordedRestartsWithNames();
void ClearRecordedRestarts();

/// Starts keeping COM-name links: every node (present or not) with a "PortName"
/// holds the link of that name, as its driver took it when it last started.
/// Clears the collision log.
Done SeedLinks(At at = Here());
/// Which node holds which link, by instance ID.
std::map<std::wstring, std::wstring> Links();
/// Every restart onto a name another node's link held, one line each.
std::vector<std::wstring> RecordedCollisions();
/// Stops keeping links and clears the collision log.
void ClearLinks();

/// The COM-port database (as the msports.dll stand-in keeps it) holding exactly
/// these numbers, in the 32 bytes Windows gives it at first.
Done SetComDb(const std::vector<int>& numbers, At at = Here());
/// The numbers it holds.
std::vector<int> ComDbNumbers();
/// The stand-in's calls ("open", "release 3 -> 0", "close"), and clearing them.
std::vector<std::wstring> ComDbLog();
void ClearComDbLog();

/// The device tests: the test class registered, and no node, restart, link,
/// COM-port database or stand-in log of the tests before or after each.
class DeviceTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    static void CleanUp();

    // The tool must load the msports.dll stand-in, never Wine's builtin: a cycle
    // of moves asks it for a free number, the removals release numbers in it.
    WineDllOverrideFor msports_{L"mioutil.exe", L"msports", L"native"};
};

}  // namespace e2e
