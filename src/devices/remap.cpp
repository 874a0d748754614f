#include <cwchar>

#include "app/run_log.h"
#include "devices/com_db.h"
#include "devices/device_ops.h"
#include "devices/port_table.h"
#include "devices/remap_walk.h"
#include "names.h"
#include "platform/unique_handle.h"
#include "text.h"

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

// A node's "PortName" into a zero-filled buffer of kTextChars, its device key
// opened with `access`; false also for a value longer than the buffer.
bool ReadPortNameText(HDEVINFO set, SP_DEVINFO_DATA* member, REGSAM access, wchar_t* text) {
    DWORD size = kTextChars * sizeof(wchar_t);
    UniqueRegKey key(SetupDiOpenDevRegKey(set, member, DICS_FLAG_GLOBAL, 0, DIREG_DEV, access));
    return key.valid() &&
           RegQueryValueExW(key.get(), kPortNameValue, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size) ==
               ERROR_SUCCESS;
}

// The number in a node's "PortName", its device key opened with `access`.
bool ReadPortNameNumber(HDEVINFO set, SP_DEVINFO_DATA* member, REGSAM access, int32_t* number) {
    wchar_t text[kTextChars] = {};
    if (!ReadPortNameText(set, member, access, text)) return false;
    *number = ComNumberFromPortName(text, kTextChars);
    return true;
}

// The port node set as the re-map walks it: the member last selected.
struct PortSet {
    HDEVINFO set;
    SP_DEVINFO_DATA member;
    const wchar_t* namePrefix;
    size_t prefixLength;
};

bool SelectPort(void* context, uint32_t index) {
    PortSet* ports = static_cast<PortSet*>(context);
    return SetupDiEnumDeviceInfo(ports->set, index, &ports->member) != FALSE;
}

bool ReadPortNumber(void* context, int32_t* number) {
    PortSet* ports = static_cast<PortSet*>(context);
    return ReadComNumber(ports->set, &ports->member, number);
}

bool ReadPortLocation(void* context, int32_t* number) {
    PortSet* ports = static_cast<PortSet*>(context);
    return ReadLocationNumber(ports->set, &ports->member, ports->prefixLength, number);
}

// A text of the node for the run log: its "PortName" or its friendly name as they
// stand, "(none)" where there is none. The last character stays the terminator.
const wchar_t* PortNameText(HDEVINFO set, SP_DEVINFO_DATA* member, wchar_t* text) {
    if (!ReadPortNameText(set, member, KEY_READ, text)) return L"(none)";
    text[kTextChars - 1] = L'\0';
    return text;
}

const wchar_t* FriendlyNameText(HDEVINFO set, SP_DEVINFO_DATA* member, wchar_t* text) {
    if (!SetupDiGetDeviceRegistryPropertyW(set, member, SPDRP_FRIENDLYNAME, nullptr, reinterpret_cast<BYTE*>(text),
                                           (kTextChars - 1) * sizeof(wchar_t), nullptr)) {
        return L"(none)";
    }
    return text;
}

void WriteAndRestartPort(void* context, int32_t number) {
    PortSet* ports = static_cast<PortSet*>(context);
    wchar_t node[kPathChars] = {};
    wchar_t oldName[kTextChars] = {};
    wchar_t oldFriendly[kTextChars] = {};
    wchar_t newName[kTextChars] = {};
    wchar_t newFriendly[kTextChars] = {};
    NodeName(ports->set, &ports->member, node, kPathChars);
    const wchar_t* before = PortNameText(ports->set, &ports->member, oldName);
    const wchar_t* friendlyBefore = FriendlyNameText(ports->set, &ports->member, oldFriendly);
    WritePortNames(ports->set, &ports->member, ports->namePrefix, number);
    const RestartResult restart = RestartDevice(ports->set, &ports->member);
    RunLog(L"port %ls: PortName %ls -> %ls, friendly name \"%ls\" -> \"%ls\"; restart asked: class-install "
           L"parameters %ls, class installer %ls",
           node, before, PortNameText(ports->set, &ports->member, newName), friendlyBefore,
           FriendlyNameText(ports->set, &ports->member, newFriendly), restart.paramsSet ? L"taken" : L"refused",
           restart.installerCalled ? L"succeeded" : L"failed");
}

void ReportPort(void* context, uint32_t member, PortNote note, int32_t number) {
    PortSet* ports = static_cast<PortSet*>(context);
    SP_DEVINFO_DATA data = {};
    data.cbSize = sizeof(data);
    wchar_t node[kPathChars] = L"(unknown node)";
    wchar_t name[kTextChars] = {};
    const wchar_t* portName = L"(none)";
    if (SetupDiEnumDeviceInfo(ports->set, member, &data)) {
        NodeName(ports->set, &data, node, kPathChars);
        portName = PortNameText(ports->set, &data, name);
    }
    const wchar_t* why = L"";
    switch (note) {
        case PortNote::kNoReadableName: why = L"no PortName could be read"; break;
        case PortNote::kNoNumber: why = L"its PortName gives no COM number"; break;
        case PortNote::kPastLastSlot: why = L"its position in card order is past the 256th"; break;
        case PortNote::kPositionTaken: why = L"an earlier port already holds its position in card order"; break;
        case PortNote::kNumberHeldTwice: why = L"an earlier port holds the same number"; break;
        case PortNote::kNumberKeptByLeftOut: why = L"a port left as it was holds the same number"; break;
        case PortNote::kCycleWithoutSpare:
            why = L"it would take a number of its cycle, and no spare COM name is known to be free";
            break;
        case PortNote::kSpareName:
            RunLog(L"port %ls: takes the spare name COM%d first, so that its cycle can move", node,
                   static_cast<int>(number));
            return;
    }
    RunLog(L"port %ls: left as it was, PortName %ls, not restarted: %ls", node, portName, why);
}

// The numbers that any device node, present or not, holds in its "PortName"
// (read-only, so that no key is passed over for want of write access), and those
// the COM-port database reserves. A number past those the database reports on
// counts as held: nothing is known of it.
bool CollectHeldNumbers(void*, ComNumberSet* held) {
    UniqueDevInfo all(SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES));
    if (!all.valid()) return false;
    SP_DEVINFO_DATA node = {};
    node.cbSize = sizeof(node);
    for (DWORD i = 0; SetupDiEnumDeviceInfo(all.get(), i, &node); ++i) {
        int32_t number = 0;
        if (ReadPortNameNumber(all.get(), &node, KEY_READ, &number)) MarkComNumber(held, number);
    }
    ComDbApi api;
    OpenComDb db(api);
    if (!db.valid() || api.getCurrentPortUsage == nullptr) return false;
    BYTE inUse[kComNumberLimit] = {};
    DWORD reported = 0;
    if (api.getCurrentPortUsage(db.get(), inUse, sizeof(inUse), CDB_REPORT_BYTES, &reported) != ERROR_SUCCESS) {
        return false;
    }
    for (DWORD i = 0; i < static_cast<DWORD>(kComNumberLimit); ++i) {
        if (i >= reported || inUse[i] != 0) MarkComNumber(held, static_cast<int32_t>(i + 1));
    }
    return true;
}

}  // namespace

bool ReadComNumber(HDEVINFO set, SP_DEVINFO_DATA* member, int32_t* number) {
    return ReadPortNameNumber(set, member, KEY_ALL_ACCESS, number);
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
    UniqueDevInfo set(SetupDiGetClassDevsW(nullptr, enumeratorFilter, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES));
    if (!set.valid()) {
        RunLog(L"%ls: the list of port nodes could not be had (error %lu), nothing re-mapped", enumeratorFilter,
               GetLastError());
        return;
    }
    PortSet ports = {};
    ports.set = set.get();
    ports.member.cbSize = sizeof(ports.member);
    ports.namePrefix = namePrefix;
    ports.prefixLength = std::wcslen(namePrefix);
    RemapCalls calls = {};
    calls.context = &ports;
    calls.select = SelectPort;
    calls.readComNumber = ReadPortNumber;
    calls.readLocationNumber = ReadPortLocation;
    calls.collectHeldNumbers = CollectHeldNumbers;
    calls.writeAndRestart = WriteAndRestartPort;
    calls.report = ReportPort;
    if (!SetupDiEnumDeviceInfo(set.get(), 0, &ports.member)) {
        RunLog(L"%ls: no port node of the card found, nothing to re-map", enumeratorFilter);
        return;
    }
    RenumberPorts(calls);
}

}  // namespace mioutil
