// Test class installer (e2e_classinst.dll): registered as the Installer32 of the
// test device class, it appends the instance ID of every node it is asked to
// restart (DIF_PROPERTYCHANGE), with the "PortName" the node has then, to a log
// the tests read, one line each.
//
// Where the test keeps COM-name links (standin_log.h, kLinksKey) it also does what a
// serial port driver does with its \DosDevices\COMn link on a restart: drops the
// node's link, then takes the one of its "PortName"; when another node holds that
// link, the node is left without one and the collision is logged.
#include <windows.h>
#include <setupapi.h>

#include <cwchar>

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
        MoveLink(id, portName);
    }
    wchar_t line[e2e::kIdChars + 260] = {};
    swprintf(line, e2e::kIdChars + 260, portName[0] != L'\0' ? L"%ls %ls" : L"%ls", id, portName);
    wchar_t path[MAX_PATH] = {};
    e2e::TempLogPath(path, MAX_PATH, e2e::kRestartLog);
    return e2e::AppendLogLine(path, line) ? NO_ERROR : GetLastError();
}
