// The COM port re-map, and the node calls the other device operations share with it.
#pragma once

#include <windows.h>
#include <setupapi.h>

#include <cstdint>

#include "devices/restart_walk.h"

namespace mioutil {

/// The COM number held in the node's "PortName": false when the device key does
/// not open or the value cannot be read whole.
bool ReadComNumber(HDEVINFO set, SP_DEVINFO_DATA* member, int32_t* number);

/// Restarts one device node by a property change; both calls are always made.
RestartResult RestartDevice(HDEVINFO set, SP_DEVINFO_DATA* member);

/// Hands the COM numbers the present port nodes hold out again in card order,
/// writing each port's "PortName" and friendly name and restarting the node;
/// no port is restarted while another still holds the name it is to take
/// (RenumberPorts in remap_walk.h).
void RemapComPorts(const wchar_t* enumeratorFilter, const wchar_t* namePrefix);

}  // namespace mioutil
