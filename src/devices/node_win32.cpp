#include "devices/node.h"

#include "devices/port_table.h"
#include "names.h"
#include "platform/unique_handle.h"
#include "text.h"

namespace mioutil {

HKEY OpenDeviceKey(HDEVINFO set, SP_DEVINFO_DATA* member, REGSAM access) {
    return SetupDiOpenDevRegKey(set, member, DICS_FLAG_GLOBAL, 0, DIREG_DEV, access);
}

bool ReadPortNameText(HDEVINFO set, SP_DEVINFO_DATA* member, REGSAM access, wchar_t* text) {
    DWORD size = kTextChars * sizeof(wchar_t);
    UniqueRegKey key(OpenDeviceKey(set, member, access));
    return key.valid() &&
           RegQueryValueExW(key.get(), kPortNameValue, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size) ==
               ERROR_SUCCESS;
}

bool ReadComNumber(HDEVINFO set, SP_DEVINFO_DATA* member, int32_t* number) {
    wchar_t text[kTextChars] = {};
    if (!ReadPortNameText(set, member, KEY_ALL_ACCESS, text)) return false;
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
    // A node that cannot be stopped (a program holds it open) is left for the next
    // reboot: the class installer says so in these flags. Cleared first, so that
    // they tell of this restart alone.
    constexpr DWORD kRebootFlags = DI_NEEDRESTART | DI_NEEDREBOOT;
    SP_DEVINSTALL_PARAMS_W install = {};
    install.cbSize = sizeof(install);
    if (SetupDiGetDeviceInstallParamsW(set, member, &install) && (install.Flags & kRebootFlags) != 0) {
        install.Flags &= ~kRebootFlags;
        SetupDiSetDeviceInstallParamsW(set, member, &install);
    }
    result.paramsSet =
        SetupDiSetClassInstallParamsW(set, member, &params.ClassInstallHeader, sizeof(params)) != FALSE;
    // The class installer is called also when the parameters were not taken.
    result.installerCalled = SetupDiCallClassInstaller(DIF_PROPERTYCHANGE, set, member) != FALSE;
    const LastErrorGuard keep;  // the caller reads the installer's error
    install = {};
    install.cbSize = sizeof(install);
    result.rebootNeeded =
        SetupDiGetDeviceInstallParamsW(set, member, &install) && (install.Flags & kRebootFlags) != 0;
    return result;
}

const wchar_t* NodeName(HDEVINFO set, SP_DEVINFO_DATA* member, wchar_t* out, DWORD capacity) {
    const LastErrorGuard keep;
    if (!SetupDiGetDeviceInstanceIdW(set, member, out, capacity, nullptr)) {
        TextBuffer text;
        TextStart(text, out, capacity);
        TextAppend(text, L"(unknown node)");
        TextFinish(text);
    }
    return out;
}

}  // namespace mioutil
