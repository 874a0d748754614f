#include <cwchar>

#include "devices/device_ops.h"
#include "devices/port_table.h"
#include "names.h"
#include "platform/unique_handle.h"

namespace mioutil {

namespace {

// Every device operation opens a node's device key this way.
HKEY OpenDeviceKey(HDEVINFO set, SP_DEVINFO_DATA* member) {
    return SetupDiOpenDevRegKey(set, member, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_ALL_ACCESS);
}

DWORD TextBytes(const wchar_t* text) {
    return static_cast<DWORD>((std::wcslen(text) + 1) * sizeof(wchar_t));
}

bool ReadLocationNumber(HDEVINFO set, SP_DEVINFO_DATA* member, size_t prefixLength, int32_t* number) {
    wchar_t text[kTextChars] = {};
    if (!SetupDiGetDeviceRegistryPropertyW(set, member, SPDRP_LOCATION_INFORMATION, nullptr,
                                           reinterpret_cast<BYTE*>(text), sizeof(text), nullptr)) {
        return false;
    }
    *number = LocationNumber(text, kTextChars, prefixLength);
    return true;
}

void WritePortNames(HDEVINFO set, SP_DEVINFO_DATA* member, const wchar_t* namePrefix, int32_t number) {
    wchar_t comName[kTextChars] = {};
    if (FormatComName(comName, kTextChars, number)) {
        UniqueRegKey key(OpenDeviceKey(set, member));
        if (key.valid()) {
            RegSetValueExW(key.get(), kPortNameValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(comName),
                           TextBytes(comName));
        }
    }
    wchar_t friendlyName[kTextChars] = {};
    if (FormatFriendlyName(friendlyName, kTextChars, namePrefix, number)) {
        // The friendly name is written only where the device key opens with full access.
        bool keyOpens = false;
        {
            UniqueRegKey key(OpenDeviceKey(set, member));
            keyOpens = key.valid();
        }
        if (keyOpens) {
            SetupDiSetDeviceRegistryPropertyW(set, member, SPDRP_FRIENDLYNAME,
                                              reinterpret_cast<const BYTE*>(friendlyName), TextBytes(friendlyName));
        }
    }
}

}  // namespace

bool ReadComNumber(HDEVINFO set, SP_DEVINFO_DATA* member, int32_t* number) {
    wchar_t text[kTextChars] = {};
    DWORD size = sizeof(text);
    LONG status = ERROR_FILE_NOT_FOUND;
    {
        UniqueRegKey key(OpenDeviceKey(set, member));
        if (!key.valid()) return false;
        status = RegQueryValueExW(key.get(), kPortNameValue, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size);
    }
    if (status != ERROR_SUCCESS) return false;  // also a value longer than the buffer
    *number = ComNumberFromPortName(text, kTextChars);
    return true;
}

RestartResult RestartDevice(HDEVINFO set, SP_DEVINFO_DATA* member) {
    SP_PROPCHANGE_PARAMS params = {};
    params.ClassInstallHeader.cbSize = sizeof(SP_CLASSINSTALL_HEADER);
    params.ClassInstallHeader.InstallFunction = DIF_PROPERTYCHANGE;
    params.StateChange = DICS_PROPCHANGE;
    params.Scope = DICS_FLAG_GLOBAL;
    params.HwProfile = 0;
    RestartResult result = {};
    result.paramsSet =
        SetupDiSetClassInstallParamsW(set, member, &params.ClassInstallHeader, sizeof(params)) != FALSE;
    // The class installer is called also when the parameters were not taken.
    result.installerCalled = SetupDiCallClassInstaller(DIF_PROPERTYCHANGE, set, member) != FALSE;
    return result;
}

void RemapComPorts(const wchar_t* enumeratorFilter, const wchar_t* namePrefix) {
    PortTable table = {};
    UniqueDevInfo set(SetupDiGetClassDevsW(nullptr, enumeratorFilter, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES));
    if (!set.valid()) return;
    const size_t prefixLength = std::wcslen(namePrefix);

    // Pass 1: collect each readable number at its port's position.
    SP_DEVINFO_DATA member = {};
    member.cbSize = sizeof(member);
    uint32_t baseIndex = 0;
    bool anyLeftOut = false;
    for (DWORD m = 0; SetupDiEnumDeviceInfo(set.get(), m, &member); ++m) {
        int32_t number = 0;
        if (!ReadComNumber(set.get(), &member, &number)) continue;  // passed over: the base index stays
        int32_t location = 0;
        const bool located = ReadLocationNumber(set.get(), &member, prefixLength, &location);
        if (!PlacePort(&table, PortPosition(m, located, location, &baseIndex), m, number)) anyLeftOut = true;
    }

    // A port left out keeps its name, so the number it holds must not be handed
    // to another port: the port that was placed with that number stays as it is too.
    if (anyLeftOut) {
        for (DWORD m = 0; SetupDiEnumDeviceInfo(set.get(), m, &member); ++m) {
            int32_t number = 0;
            if (AssignedNumber(table, m, &number)) continue;
            if (ReadComNumber(set.get(), &member, &number)) LeaveOutNumber(&table, number);
        }
    }

    SortPortNumbers(&table);

    // Pass 2: each placed member gets the number now in its slot; every other
    // member keeps its name and is not restarted.
    for (DWORD m = 0; SetupDiEnumDeviceInfo(set.get(), m, &member); ++m) {
        int32_t number = 0;
        if (!AssignedNumber(table, m, &number)) continue;
        WritePortNames(set.get(), &member, namePrefix, number);
        RestartDevice(set.get(), &member);
    }
}

}  // namespace mioutil
