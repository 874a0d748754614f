#include "devices.h"

#include <algorithm>

#include "standins/comdb_standin.h"
#include "devices/msports_api.h"
#include "names.h"

namespace e2e {

// {7E2C5A41-0B7D-4C1E-9F3A-6D696F75746C}
const GUID kTestClassGuid = {0x7e2c5a41, 0x0b7d, 0x4c1e, {0x9f, 0x3a, 0x6d, 0x69, 0x6f, 0x75, 0x74, 0x6c}};

namespace {

const wchar_t kTestClassKey[] =
    L"SYSTEM\\CurrentControlSet\\Control\\Class\\{7E2C5A41-0B7D-4C1E-9F3A-6D696F75746C}";

DWORD Bytes(const std::wstring& text) { return static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)); }

bool Failed(At at, const std::wstring& step) {
    return FailAt(at, Narrow(step) + " failed, error " + std::to_string(GetLastError()));
}

bool ReadTextProperty(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD property, std::wstring* text) {
    wchar_t buffer[1024] = {};
    if (!SetupDiGetDeviceRegistryPropertyW(set, data, property, nullptr, reinterpret_cast<BYTE*>(buffer),
                                           sizeof(buffer) - sizeof(wchar_t), nullptr)) {
        return false;
    }
    *text = buffer;
    return true;
}

bool ReadPortName(HDEVINFO set, SP_DEVINFO_DATA* data, std::wstring* name, REGSAM access = KEY_READ) {
    const UniqueRegKey key(SetupDiOpenDevRegKey(set, data, DICS_FLAG_GLOBAL, 0, DIREG_DEV, access));
    wchar_t buffer[1024] = {};
    DWORD size = sizeof(buffer) - sizeof(wchar_t);
    if (!key.valid() || RegQueryValueExW(key.get(), L"PortName", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer),
                                         &size) != ERROR_SUCCESS) {
        return false;
    }
    *name = buffer;
    return true;
}

// The instance ID of every node under `enumerator` (nullptr: all), with the set and member.
template <typename Visit>
bool ForEachNode(const wchar_t* enumerator, Visit visit) {
    const UniqueDevInfo set(SetupDiGetClassDevsW(nullptr, enumerator, nullptr, DIGCF_ALLCLASSES));
    SP_DEVINFO_DATA data = DevInfoData();
    for (DWORD i = 0; set.valid() && SetupDiEnumDeviceInfo(set.get(), i, &data); ++i) {
        wchar_t id[kIdChars] = {};
        if (SetupDiGetDeviceInstanceIdW(set.get(), &data, id, kIdChars, nullptr)) visit(set.get(), &data, id);
    }
    return set.valid();
}

bool CreateNode(const NodeSpec& wanted, At at) {
    const GUID* setupClass = wanted.setupClass != nullptr ? wanted.setupClass : &kTestClassGuid;
    const UniqueDevInfo set(SetupDiCreateDeviceInfoList(setupClass, nullptr));
    if (!set.valid()) return Failed(at, L"SetupDiCreateDeviceInfoList");
    SP_DEVINFO_DATA data = DevInfoData();
    if (!SetupDiCreateDeviceInfoW(set.get(), wanted.instanceId.c_str(), setupClass, nullptr, nullptr, 0, &data)) {
        return Failed(at, L"SetupDiCreateDeviceInfoW " + wanted.instanceId);
    }
    if (!SetupDiRegisterDeviceInfo(set.get(), &data, 0, nullptr, nullptr, nullptr)) {
        return Failed(at, L"SetupDiRegisterDeviceInfo " + wanted.instanceId);
    }
    const UniqueRegKey key(SetupDiCreateDevRegKeyW(set.get(), &data, DICS_FLAG_GLOBAL, 0, DIREG_DEV, nullptr, nullptr));
    if (!key.valid()) return Failed(at, L"SetupDiCreateDevRegKeyW(DIREG_DEV) " + wanted.instanceId);
    if (!wanted.portName.empty()) {
        const LSTATUS status = RegSetValueExW(key.get(), L"PortName", 0, REG_SZ,
                                              reinterpret_cast<const BYTE*>(wanted.portName.c_str()),
                                              Bytes(wanted.portName));
        if (status != ERROR_SUCCESS) {
            SetLastError(status);
            return Failed(at, L"PortName of " + wanted.instanceId);
        }
    }
    if (wanted.softwareKey &&
        !UniqueRegKey(SetupDiCreateDevRegKeyW(set.get(), &data, DICS_FLAG_GLOBAL, 0, DIREG_DRV, nullptr, nullptr))
             .valid()) {
        return Failed(at, L"SetupDiCreateDevRegKeyW(DIREG_DRV) " + wanted.instanceId);
    }
    for (const auto& property : {std::make_pair(SPDRP_LOCATION_INFORMATION, &wanted.location),
                                 std::make_pair(SPDRP_FRIENDLYNAME, &wanted.friendlyName)}) {
        if (!property.second->empty() &&
            !SetupDiSetDeviceRegistryPropertyW(set.get(), &data, property.first,
                                               reinterpret_cast<const BYTE*>(property.second->c_str()),
                                               Bytes(*property.second))) {
            return Failed(at, L"SetupDiSetDeviceRegistryPropertyW " + wanted.instanceId);
        }
    }
    return true;
}

}  // namespace

Done RegisterTestClass(const std::wstring& binDir, At at) {
    // By bare name, as installed classes name theirs: SetupAPI loads it through the
    // process's DLL search, which the tool restricts to System32.
    return CopyTo(binDir + L"\\e2e_classinst.dll", SystemDir() + L"\\e2e_classinst.dll", at) &&
           SetText(kNative, kTestClassKey, L"Installer32", L"e2e_classinst.dll,RecordingClassInstaller", REG_SZ,
                   HKEY_LOCAL_MACHINE, at) &&
           SetText(kNative, kTestClassKey, L"Class", L"MioutilTestPorts", REG_SZ, HKEY_LOCAL_MACHINE, at);
}

Done InstallComDbStandIn(const std::wstring& binDir, At at) {
    return CopyTo(binDir + L"\\msports.dll", SystemDir() + L"\\msports.dll", at) &&
           SetText(kNative, L"Software\\Wine\\AppDefaults\\mioutil.exe\\DllOverrides", L"msports", L"native", REG_SZ,
                   HKEY_CURRENT_USER, at);
}

void UnregisterTestClass() { DeleteTree(kNative, kTestClassKey); }

Done CreateNodes(const std::vector<NodeSpec>& nodes, At at) {
    for (const NodeSpec& node : nodes) {
        if (!CreateNode(node, at)) return false;
    }
    return true;
}

std::wstring PortId(int n) {
    wchar_t id[64] = {};
    swprintf(id, 64, L"KRVPCARD_ENUM\\KRVPCARD_SERP\\%04d", n);
    return id;
}

std::wstring LocationText(int portOnCard) { return L"KORAV COM Port " + std::to_wstring(portOnCard); }

std::wstring OldName(int n) { return L"old name of " + PortId(n); }

NodeSpec PortNode(int n, const std::wstring& portName, int portOnCard) {
    return {PortId(n), portName, portOnCard != 0 ? LocationText(portOnCard) : L"", OldName(n)};
}

NodeState ReadNode(const std::wstring& instanceId) {
    NodeState state;
    const UniqueDevInfo set(SetupDiCreateDeviceInfoList(nullptr, nullptr));
    SP_DEVINFO_DATA data = DevInfoData();
    if (!set.valid() || !SetupDiOpenDeviceInfoW(set.get(), instanceId.c_str(), nullptr, 0, &data)) return state;
    state.exists = true;
    state.hasHardwareKey =
        UniqueRegKey(SetupDiOpenDevRegKey(set.get(), &data, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ)).valid();
    state.hasPortName = ReadPortName(set.get(), &data, &state.portName);
    state.hasSoftwareKey =
        UniqueRegKey(SetupDiOpenDevRegKey(set.get(), &data, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_READ)).valid();
    state.hasFriendlyName = ReadTextProperty(set.get(), &data, SPDRP_FRIENDLYNAME, &state.friendlyName);
    ReadTextProperty(set.get(), &data, SPDRP_DRIVER, &state.driver);
    return state;
}

std::vector<std::wstring> ListNodes(const wchar_t* enumerator) {
    std::vector<std::wstring> ids;
    ForEachNode(enumerator, [&](HDEVINFO, SP_DEVINFO_DATA*, const wchar_t* id) { ids.push_back(id); });
    return ids;
}

void RemoveNodes(const wchar_t* enumerator) {
    ForEachNode(enumerator, [](HDEVINFO set, SP_DEVINFO_DATA* data, const wchar_t*) {
        SetupDiRemoveDevice(set, data);
        SetupDiDeleteDevRegKey(set, data, DICS_FLAG_GLOBAL, 0xFFFFFFFF, DIREG_BOTH);
    });
}

std::vector<std::pair<std::wstring, std::wstring>> RecordedRestartsWithNames() {
    std::vector<std::pair<std::wstring, std::wstring>> restarts;
    for (const std::wstring& line : ReadLogLines(TempLog(kRestartLog))) {
        // "<instance ID> <PortName>": an instance ID holds no blank.
        const size_t blank = std::min(line.find(L' '), line.size());
        restarts.push_back({line.substr(0, blank), blank < line.size() ? line.substr(blank + 1) : L""});
    }
    return restarts;
}

std::vector<std::wstring> RecordedRestarts() {
    std::vector<std::wstring> ids;
    for (const auto& restart : RecordedRestartsWithNames()) ids.push_back(restart.first);
    return ids;
}

void ClearRecordedRestarts() { DeleteFileW(TempLog(kRestartLog).c_str()); }

Done SeedLinks(At at) {
    ClearLinks();
    bool done = CreateKey(kNative, kLinksKey, HKEY_CURRENT_USER, at);
    const bool listed = ForEachNode(nullptr, [&](HDEVINFO set, SP_DEVINFO_DATA* data, const wchar_t* id) {
        std::wstring name;
        if (done && ReadPortName(set, data, &name)) done = SetText(kNative, kLinksKey, id, name, REG_SZ, HKEY_CURRENT_USER, at);
    });
    return done && (listed || FailAt(at, "cannot list the device nodes"));
}

std::map<std::wstring, std::wstring> Links() {
    std::map<std::wstring, std::wstring> links;
    for (const std::wstring& id : ValueNames(kNative, kLinksKey, HKEY_CURRENT_USER)) {
        ReadText(kNative, kLinksKey, id, &links[id], HKEY_CURRENT_USER);
    }
    return links;
}

std::vector<std::wstring> RecordedCollisions() { return ReadLogLines(TempLog(kCollisionLog)); }

void ClearLinks() {
    DeleteTree(kNative, kLinksKey, HKEY_CURRENT_USER);
    DeleteFileW(TempLog(kCollisionLog).c_str());
}

Done SetComDb(const std::vector<int>& numbers, At at) {
    BYTE bits[COMDB_MIN_PORTS_ARBITRATED / 8] = {};
    for (int n : numbers) bits[(n - 1) / 8] = static_cast<BYTE>(bits[(n - 1) / 8] | (1u << ((n - 1) % 8)));
    return SetValue(kNative, kComDbKey, kComDbValue, REG_BINARY, bits, sizeof(bits), HKEY_LOCAL_MACHINE, at);
}

std::vector<int> ComDbNumbers() {
    std::vector<int> numbers;
    std::string bits;
    if (!ReadValue(kNative, kComDbKey, kComDbValue, &bits)) return numbers;
    for (size_t i = 0; i < bits.size() * 8; ++i) {
        if (static_cast<unsigned char>(bits[i / 8]) & (1u << (i % 8))) numbers.push_back(static_cast<int>(i + 1));
    }
    return numbers;
}

std::vector<std::wstring> ComDbLog() { return ReadLogLines(TempLog(kComDbLog)); }

void ClearComDbLog() { DeleteFileW(TempLog(kComDbLog).c_str()); }

void DeviceTest::SetUp() {
    CleanUp();
    ASSERT_TRUE(RegisterTestClass(BinDir()));
}

void DeviceTest::TearDown() {
    CleanUp();
    UnregisterTestClass();
    SetEnvironmentVariableW(kComDbOpenFailsVariable, nullptr);
}

void DeviceTest::CleanUp() {
    for (const wchar_t* nodes : {mioutil::kBusEnumerator, kOtherNodes, kTestDisplays}) RemoveNodes(nodes);
    ClearRecordedRestarts();
    ClearLinks();
    DeleteTree(kNative, kPlayKey, HKEY_CURRENT_USER);  // busy ports, a cut-short run
    DeleteTree(kNative, mioutil::kPlanKeyPath);        // a plan a cut-short run left
    DeleteValue(kNative, kComDbKey, kComDbValue);
    ClearComDbLog();
}

}  // namespace e2e
