// The node calls the device operations share: a port's device key and its
// "PortName", the property-change restart, and the node's name for the run log.
#pragma once

#include <windows.h>
#include <setupapi.h>

#include <cstdint>

#include "devices/restart_walk.h"

namespace mioutil {

/// The node's device key (DIREG_DEV, global); INVALID_HANDLE_VALUE where it does not open.
HKEY OpenDeviceKey(HDEVINFO set, SP_DEVINFO_DATA* member, REGSAM access);

/// The node's "PortName" into `text` (kTextChars, zero-filled by the caller), its
/// device key opened with `access`; false also for a value longer than the buffer.
bool ReadPortNameText(HDEVINFO set, SP_DEVINFO_DATA* member, REGSAM access, wchar_t* text);

/// The COM number held in the node's "PortName": false when the device key does
/// not open with full access or the value cannot be read whole.
bool ReadComNumber(HDEVINFO set, SP_DEVINFO_DATA* member, int32_t* number);

/// Restarts one device node by a property change; both calls are always made.
RestartResult RestartDevice(HDEVINFO set, SP_DEVINFO_DATA* member);

/// The node's instance ID, for the run log; "(unknown node)" where it cannot be read.
const wchar_t* NodeName(HDEVINFO set, SP_DEVINFO_DATA* member, wchar_t* out, DWORD capacity);

}  // namespace mioutil
