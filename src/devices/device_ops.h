// The operations on the card's device nodes and on the display nodes.
#pragma once

#include <windows.h>
#include <setupapi.h>

#include <cstdint>

#include "devices/restart_walk.h"

namespace mioutil {

/// The COM number held in the node's "PortName": false when the device key does
/// not open or the value cannot be read whole.
bool ReadComNumber(HDEVINFO set, SP_DEVINFO_DATA* member, int32_t* number);

/// The node's instance ID, for the run log; "(unknown node)" where it cannot be read.
const wchar_t* NodeName(HDEVINFO set, SP_DEVINFO_DATA* member, wchar_t* out, DWORD capacity);

/// Restarts one device node by a property change; both calls are always made.
RestartResult RestartDevice(HDEVINFO set, SP_DEVINFO_DATA* member);

/// Hands the COM numbers the present port nodes hold out again in card order,
/// writing each port's "PortName" and friendly name and restarting the node;
/// no port is restarted while another still holds the name it is to take
/// (RenumberPorts in remap_walk.h).
void RemapComPorts(const wchar_t* enumeratorFilter, const wchar_t* namePrefix);

/// Releases, in the COM-port database, the COM number of every node (present or not) the filter selects.
void ReleaseComNumbers(const wchar_t* enumeratorFilter);

/// Releases each selected node's COM number, then removes the node with its hardware and software keys.
void ReleaseAndRemovePortNodes(const wchar_t* enumeratorFilter);

/// Removes every node (present or not) under the enumerator, whatever its device ID.
void RemoveEnumeratorNodes(const wchar_t* enumerator);

/// Restarts the present "DISPLAY" nodes in member order, stopping after the first failed restart.
void RestartDisplayDevices();

}  // namespace mioutil
