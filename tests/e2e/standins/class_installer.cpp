// Test class installer (e2e_classinst.dll): registered as the Installer32 of the
// test device class, it appends the instance ID of every node it is asked to
// restart (DIF_PROPERTYCHANGE), with the "PortName" the node has then, to a log
// the tests read, one line each.
//
// It also plays a port a program holds open (the restart is left for a reboot:
// the link stays and DI_NEEDRESTART is set, as Windows does) and a run cut short
// (it ends the calling process at a chosen restart), as standin_log.h says.
//
// Where the test keeps COM-name links (standin_log.h, kLinksKey) it also does what a
// serial port driver does with its \DosDevices\COMn link on a restart: drops the
// node's link, then takes the one of its "PortName"; when another node holds that
// link, the node is left without one and the collision is logged.
#include <windows.h>
#include <setupapi.h>

#include <cwchar>
#include <string>

#include "platform/unique_handle.h"
#include "standin_log.h"

namespace {

void MoveLink(const wchar_t* id, const wchar_t* portName) {
    mioutil::UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, e2e::kLinksKey, 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS) return;
    const HKEY links = key.get();
    RegDeleteValueW(links, id);
    if (portName[0] != L'\0') {
        wchar_t holder[e2e::kIdChars] = {};
        for (DWORD i = 0;; ++i) {
            wchar_t name[e2e::kIdChars] = {};
            wchar_t link[256] = {};
            DWORD nameChars = e2e::kIdChars;
            DWORD linkBytes = sizeof(link) - sizeof(wchar_t);
            if (RegEnumValueW(links, i, name, &nameChars, nullptr, nullptr, reinterpret_cast<BYTE*>(link),
                              &linkBytes) != ERROR_SUCCESS) {
                break;
            }
            if (lstrcmpiW(link, portName) == 0) lstrcpynW(holder, name, e2e::kIdChars);
        }
        if (holder[0] == L'\0') {
            RegSetValueExW(links, id, 0, REG_SZ, reinterpret_cast<const BYTE*>(portName),
                           static_cast<DWORD>((lstrlenW(portName) + 1) * sizeof(wchar_t)));
        } else {
            wchar_t line[600] = {};
            swprintf(line, 600, L"%ls took %ls, held by %ls", id, portName, holder);
            wchar_t path[MAX_PATH] = {};
            e2e::TempLogPath(path, MAX_PATH, e2e::kCollisionLog);
            e2e::AppendLogLine(path, line);
        }
    }
}

DWORD PlayValue(const wchar_t* key, const wchar_t* name) {
    DWORD value = 0;
    DWORD size = sizeof(value);
    return RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_DWORD, nullptr, &value, &size) == ERROR_SUCCESS
               ? value
               : 0;
}

// Counts this restart; true when the process is to end at it.
bool KillHere() {
    const DWORD count = PlayValue(e2e::kPlayKey, e2e::kRestartCountValue) + 1;
    mioutil::UniqueRegKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, e2e::kPlayKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr) ==
        ERROR_SUCCESS) {
        RegSetValueExW(key.get(), e2e::kRestartCountValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&count),
                       sizeof(count));
    }
    return count == PlayValue(e2e::kPlayKey, e2e::kKillAtValue);
}

}  // namespace

extern "C" __declspec(dllexport) DWORD WINAPI RecordingClassInstaller(DI_FUNCTION function, HDEVINFO set,
                                                                      PSP_DEVINFO_DATA member) {
    if (function != DIF_PROPERTYCHANGE) return ERROR_DI_DO_DEFAULT;
    // SetupAPI on Windows loads class installers and co-installers by bare name in
    // the calling process; Wine's takes them from System32 whatever the process
    // asked for. So this installer loads one by bare name itself, as SetupAPI
    // would: in the tool's process it must come from System32 or nowhere.
    mioutil::UniqueModule(LoadLibraryW(L"mioutil_e2e_coinstaller.dll")).reset();
    wchar_t id[e2e::kIdChars] = {};
    wchar_t portName[256] = {};
    if (member != nullptr && SetupDiGetDeviceInstanceIdW(set, member, id, e2e::kIdChars, nullptr)) {
        const mioutil::UniqueRegKey key(SetupDiOpenDevRegKey(set, member, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ));
        DWORD size = sizeof(portName) - sizeof(wchar_t);
        if (key.valid() && RegQueryValueExW(key.get(), L"PortName", nullptr, nullptr, reinterpret_cast<BYTE*>(portName),
                                            &size) != ERROR_SUCCESS) {
            portName[0] = L'\0';
        }
        Sleep(PlayValue(e2e::kPlayKey, e2e::kRestartDelayValue));
        const bool kill = KillHere();
        if (kill && PlayValue(e2e::kPlayKey, e2e::kKillBeforeLinkValue) != 0) TerminateProcess(GetCurrentProcess(), 9);
        if (RegGetValueW(HKEY_CURRENT_USER, e2e::kBusyKey, id, RRF_RT_ANY, nullptr, nullptr, nullptr) ==
            ERROR_SUCCESS) {
            SP_DEVINSTALL_PARAMS_W params = {};
            params.cbSize = sizeof(params);
            if (SetupDiGetDeviceInstallParamsW(set, member, &params)) {
                params.Flags |= DI_NEEDRESTART;
                SetupDiSetDeviceInstallParamsW(set, member, &params);
            }
            return NO_ERROR;  // the port stays as it is until the reboot
        }
        MoveLink(id, portName);
        if (kill) {
            wchar_t path[MAX_PATH] = {};
            e2e::TempLogPath(path, MAX_PATH, e2e::kRestartLog);
            e2e::AppendLogLine(path, (std::wstring(id) + L" " + portName).c_str());
            TerminateProcess(GetCurrentProcess(), 9);
        }
    }
    wchar_t line[e2e::kIdChars + 260] = {};
    swprintf(line, e2e::kIdChars + 260, portName[0] != L'\0' ? L"%ls %ls" : L"%ls", id, portName);
    wchar_t path[MAX_PATH] = {};
    e2e::TempLogPath(path, MAX_PATH, e2e::kRestartLog);
    return e2e::AppendLogLine(path, line) ? NO_ERROR : GetLastError();
}
