// The operations on the card's device nodes and on the display nodes.
#pragma once

#include <windows.h>
#include <setupapi.h>

#include <cstdint>

namespace mioutil {

/// What the two calls of a property-change restart returned.
struct RestartResult {
    bool paramsSet;        // SetupDiSetClassInstallParamsW
    bool installerCalled;  // SetupDiCallClassInstaller(DIF_PROPERTYCHANGE)
};

/// The COM number held in the node's "PortName": false when the device key does
/// not open or the value cannot be read whole.
bool ReadComNumber(HDEVINFO set, SP_DEVINFO_DATA* member, int32_t* number);

/// Restarts one device node by a property change; both calls are always made.
RestartResult RestartDevice(HDEVINFO set, SP_DEVINFO_DATA* member);

/// Hands the COM numbers the present port nodes hold out again in card order,
/// writing each port's "PortName" and friendly name and restarting the node.
void RemapComPorts(const wchar_t* enumeratorFilter, const wchar_t* namePrefix);

}  // namespace mioutil
