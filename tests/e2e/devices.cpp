#include "devices.h"

#include <algorithm>
#include <cstdio>

#include "comdb_standin.h"
#include "devices/msports_api.h"

namespace e2e {

// {7E2C5A41-0B7D-4C1E-9F3A-6D696F75746C}
const GUID kTestClassGuid = {0x7e2c5a41, 0x0b7d, 0x4c1e, {0x9f, 0x3a, 0x6d, 0x69, 0x6f, 0x75, 0x74, 0x6c}};

namespace {

const wchar_t kTestClassKey[] =
    L"SYSTEM\\CurrentControlSet\\Control\\Class\\{7E2C5A41-0B7D-4C1E-9F3A-6D696F75746C}";

DWORD Bytes(const wchar_t* text) { return static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t)); }

bool Fail(std::wstring* error, const std::wstring& step) {
    if (error != nullptr) *error = step + L" failed, error " + std::to_wstring(GetLastError());
    return false;
}

// Opens one node by its instance ID in a set of its own.
struct OpenedNode {
    HDEVINFO set = INVALID_HANDLE_VALUE;
    SP_DEVINFO_DATA data = DevInfoData();
    bool ok = false;
    explicit OpenedNode(const std::wstring& instanceId) {
        set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
        ok = set != INVALID_HANDLE_VALUE && SetupDiOpenDeviceInfoW(set, instanceId.c_str(), nullptr, 0, &data);
    }
    ~OpenedNode() {
        if (set != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(set);
    }
};

bool ReadTextProperty(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD property, std::wstring* text) {
    wchar_t buffer[1024] = {};
    if (!SetupDiGetDeviceRegistryPropertyW(set, data, property, nullptr, reinterpret_cast<BYTE*>(buffer),
                                           sizeof(buffer) - sizeof(wchar_t), nullptr)) {
        return false;
    }
    *text = buffer;
    return true;
}

}  // namespace

bool RegisterTestClass(const std::wstring& binDir) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kTestClassKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        return false;
    }
    // By bare name, as installed classes name theirs: SetupAPI loads it through the
    // process's DLL search, which the tool restricts to System32.
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    if (!CopyFileW((binDir + L"\\e2e_classinst.dll").c_str(), (std::wstring(system) + L"\\e2e_classinst.dll").c_str(),
                   FALSE)) {
        return false;
    }
    const std::wstring installer = L"e2e_classinst.dll,RecordingClassInstaller";
    const wchar_t* className = L"MioutilTestPorts";
    const bool ok =
        RegSetValueExW(key, L"Installer32", 0, REG_SZ, reinterpret_cast<const BYTE*>(installer.c_str()),
                       Bytes(installer.c_str())) == ERROR_SUCCESS &&
        RegSetValueExW(key, L"Class", 0, REG_SZ, reinterpret_cast<const BYTE*>(className), Bytes(className)) ==
            ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

bool InstallComDbStandIn(const std::wstring& binDir) {
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    if (!CopyFileW((binDir + L"\\msports.dll").c_str(), (std::wstring(system) + L"\\msports.dll").c_str(), FALSE)) {
        return false;
    }
    const wchar_t native[] = L"native";
    return RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\mioutil.exe\\DllOverrides", L"msports",
                           REG_SZ, native, sizeof(native)) == ERROR_SUCCESS;
}

void UnregisterTestClass() { RegDeleteTreeW(HKEY_LOCAL_MACHINE, kTestClassKey); }

bool CreateNode(const NodeSpec& wanted, std::wstring* error) {
    const GUID* setupClass = wanted.setupClass != nullptr ? wanted.setupClass : &kTestClassGuid;
    HDEVINFO set = SetupDiCreateDeviceInfoList(setupClass, nullptr);
    if (set == INVALID_HANDLE_VALUE) return Fail(error, L"SetupDiCreateDeviceInfoList");
    SP_DEVINFO_DATA data = DevInfoData();
    bool ok = false;
    std::wstring step;
    do {
        step = L"SetupDiCreateDeviceInfoW " + wanted.instanceId;
        if (!SetupDiCreateDeviceInfoW(set, wanted.instanceId.c_str(), setupClass, nullptr, nullptr, 0, &data)) break;
        step = L"SetupDiRegisterDeviceInfo";
        if (!SetupDiRegisterDeviceInfo(set, &data, 0, nullptr, nullptr, nullptr)) break;
        step = L"SetupDiCreateDevRegKeyW(DIREG_DEV)";
        HKEY key = SetupDiCreateDevRegKeyW(set, &data, DICS_FLAG_GLOBAL, 0, DIREG_DEV, nullptr, nullptr);
        if (key == INVALID_HANDLE_VALUE) break;
        LONG status = ERROR_SUCCESS;
        if (wanted.portName != nullptr) {
            status = RegSetValueExW(key, L"PortName", 0, REG_SZ, reinterpret_cast<const BYTE*>(wanted.portName),
                                    Bytes(wanted.portName));
        }
        RegCloseKey(key);
        step = L"RegSetValueExW(PortName)";
        if (status != ERROR_SUCCESS) {
            SetLastError(status);
            break;
        }
        if (wanted.softwareKey) {
            step = L"SetupDiCreateDevRegKeyW(DIREG_DRV)";
            key = SetupDiCreateDevRegKeyW(set, &data, DICS_FLAG_GLOBAL, 0, DIREG_DRV, nullptr, nullptr);
            if (key == INVALID_HANDLE_VALUE) break;
            RegCloseKey(key);
        }
        step = L"SPDRP_LOCATION_INFORMATION";
        if (wanted.location != nullptr &&
            !SetupDiSetDeviceRegistryPropertyW(set, &data, SPDRP_LOCATION_INFORMATION,
                                               reinterpret_cast<const BYTE*>(wanted.location), Bytes(wanted.location))) {
            break;
        }
        step = L"SPDRP_FRIENDLYNAME";
        if (wanted.friendlyName != nullptr &&
            !SetupDiSetDeviceRegistryPropertyW(set, &data, SPDRP_FRIENDLYNAME,
                                               reinterpret_cast<const BYTE*>(wanted.friendlyName),
                                               Bytes(wanted.friendlyName))) {
            break;
        }
        ok = true;
    } while (false);
    if (!ok) Fail(error, step);
    SetupDiDestroyDeviceInfoList(set);
    return ok;
}

std::wstring PortId(int n) {
    wchar_t id[64] = {};
    swprintf(id, 64, L"KRVPCARD_ENUM\\KRVPCARD_SERP\\%04d", n);
    return id;
}

std::wstring LocationText(int portOnCard) { return L"KORAV COM Port " + std::to_wstring(portOnCard); }

NodeState ReadNode(const std::wstring& instanceId) {
    NodeState state;
    OpenedNode node(instanceId);
    if (!node.ok) return state;
    state.exists = true;
    HKEY key = SetupDiOpenDevRegKey(node.set, &node.data, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key != INVALID_HANDLE_VALUE) {
        state.hasHardwareKey = true;
        wchar_t buffer[1024] = {};
        DWORD size = sizeof(buffer) - sizeof(wchar_t);
        if (RegQueryValueExW(key, L"PortName", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) ==
            ERROR_SUCCESS) {
            state.hasPortName = true;
            state.portName = buffer;
        }
        RegCloseKey(key);
    }
    key = SetupDiOpenDevRegKey(node.set, &node.data, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_READ);
    if (key != INVALID_HANDLE_VALUE) {
        state.hasSoftwareKey = true;
        RegCloseKey(key);
    }
    state.hasFriendlyName = ReadTextProperty(node.set, &node.data, SPDRP_FRIENDLYNAME, &state.friendlyName);
    ReadTextProperty(node.set, &node.data, SPDRP_DRIVER, &state.driver);
    return state;
}

std::vector<std::wstring> ListNodes(const wchar_t* enumerator) {
    std::vector<std::wstring> ids;
    HDEVINFO set = SetupDiGetClassDevsW(nullptr, enumerator, nullptr, DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE) return ids;
    SP_DEVINFO_DATA data = DevInfoData();
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &data); ++i) {
        wchar_t id[kIdChars] = {};
        if (SetupDiGetDeviceInstanceIdW(set, &data, id, kIdChars, nullptr)) ids.push_back(id);
    }
    SetupDiDestroyDeviceInfoList(set);
    return ids;
}

void RemoveNodes(const wchar_t* enumerator) {
    HDEVINFO set = SetupDiGetClassDevsW(nullptr, enumerator, nullptr, DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE) return;
    SP_DEVINFO_DATA data = DevInfoData();
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &data); ++i) {
        SetupDiRemoveDevice(set, &data);
        SetupDiDeleteDevRegKey(set, &data, DICS_FLAG_GLOBAL, 0xFFFFFFFF, DIREG_BOTH);
    }
    SetupDiDestroyDeviceInfoList(set);
}

std::vector<std::string> ReadLines(const wchar_t* path) {
    std::vector<std::string> lines;
    FILE* file = _wfopen(path, L"rb");
    if (file == nullptr) return lines;
    char line[1024];
    while (std::fgets(line, sizeof(line), file) != nullptr) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        lines.push_back(text);
    }
    std::fclose(file);
    return lines;
}

std::vector<std::pair<std::wstring, std::wstring>> RecordedRestartsWithNames() {
    wchar_t path[MAX_PATH] = {};
    RestartLogPath(path, MAX_PATH);
    std::vector<std::pair<std::wstring, std::wstring>> restarts;
    for (const std::string& line : ReadLines(path)) {
        // "<instance ID> <PortName>": an instance ID holds no blank; both are ASCII here.
        const size_t blank = std::min(line.find(' '), line.size());
        const std::string name = blank < line.size() ? line.substr(blank + 1) : std::string();
        restarts.push_back({std::wstring(line.begin(), line.begin() + blank), std::wstring(name.begin(), name.end())});
    }
    return restarts;
}

std::vector<std::wstring> RecordedRestarts() {
    std::vector<std::wstring> ids;
    for (const auto& restart : RecordedRestartsWithNames()) ids.push_back(restart.first);
    return ids;
}

void ClearRecordedRestarts() {
    wchar_t path[MAX_PATH] = {};
    RestartLogPath(path, MAX_PATH);
    DeleteFileW(path);
}

bool SeedLinks() {
    ClearLinks();
    HKEY links = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kLinksKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &links, nullptr) !=
        ERROR_SUCCESS) {
        return false;
    }
    bool ok = true;
    HDEVINFO set = SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_ALLCLASSES);
    SP_DEVINFO_DATA data = DevInfoData();
    for (DWORD i = 0; set != INVALID_HANDLE_VALUE && SetupDiEnumDeviceInfo(set, i, &data); ++i) {
        wchar_t id[kIdChars] = {};
        if (!SetupDiGetDeviceInstanceIdW(set, &data, id, kIdChars, nullptr)) continue;
        HKEY key = SetupDiOpenDevRegKey(set, &data, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE) continue;
        wchar_t name[256] = {};
        DWORD size = sizeof(name) - sizeof(wchar_t);
        if (RegQueryValueExW(key, L"PortName", nullptr, nullptr, reinterpret_cast<BYTE*>(name), &size) == ERROR_SUCCESS) {
            ok = ok && RegSetValueExW(links, id, 0, REG_SZ, reinterpret_cast<const BYTE*>(name), Bytes(name)) ==
                           ERROR_SUCCESS;
        }
        RegCloseKey(key);
    }
    if (set == INVALID_HANDLE_VALUE) ok = false;
    else SetupDiDestroyDeviceInfoList(set);
    RegCloseKey(links);
    return ok;
}

std::map<std::wstring, std::wstring> Links() {
    std::map<std::wstring, std::wstring> links;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kLinksKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return links;
    for (DWORD i = 0;; ++i) {
        wchar_t id[kIdChars] = {};
        wchar_t name[256] = {};
        DWORD idChars = kIdChars;
        DWORD size = sizeof(name) - sizeof(wchar_t);
        if (RegEnumValueW(key, i, id, &idChars, nullptr, nullptr, reinterpret_cast<BYTE*>(name), &size) !=
            ERROR_SUCCESS) {
            break;
        }
        links[id] = name;
    }
    RegCloseKey(key);
    return links;
}

std::vector<std::string> RecordedCollisions() {
    wchar_t path[MAX_PATH] = {};
    CollisionLogPath(path, MAX_PATH);
    return ReadLines(path);
}

void ClearLinks() {
    RegDeleteTreeW(HKEY_CURRENT_USER, kLinksKey);
    wchar_t path[MAX_PATH] = {};
    CollisionLogPath(path, MAX_PATH);
    DeleteFileW(path);
}

bool SetComDb(const std::vector<int>& numbers) {
    BYTE bits[COMDB_MIN_PORTS_ARBITRATED / 8] = {};  // the size Windows gives it at first
    for (int n : numbers) bits[(n - 1) / 8] = static_cast<BYTE>(bits[(n - 1) / 8] | (1u << ((n - 1) % 8)));
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kComDbKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        return false;
    }
    const bool ok = RegSetValueExW(key, kComDbValue, 0, REG_BINARY, bits, sizeof(bits)) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

}  // namespace e2e
