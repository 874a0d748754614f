// "-RemoveCOMdb" and "-RemoveDeviceNode" on real device nodes under Wine, with
// the COM-port database kept by the msports.dll stand-in.
#include <gtest/gtest.h>

#include "comdb_standin.h"
#include "devices.h"
#include "devices/msports_api.h"
#include "harness.h"
#include "names.h"

namespace {

using e2e::PortId;
using Lines = std::vector<std::string>;
using Numbers = std::vector<int>;

const wchar_t kOtherNode[] = L"ROOT\\MIOUTIL_TEST\\0000";

// The database as Windows sizes it at first: 256 ports, 32 bytes.
void SetComDb(const Numbers& numbers) {
    BYTE bits[COMDB_MIN_PORTS_ARBITRATED / 8] = {};
    for (int n : numbers) bits[(n - 1) / 8] = static_cast<BYTE>(bits[(n - 1) / 8] | (1u << ((n - 1) % 8)));
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, e2e::kComDbKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(key, e2e::kComDbValue, 0, REG_BINARY, bits, sizeof(bits)), ERROR_SUCCESS);
    RegCloseKey(key);
}

Numbers ComDbNumbers() {
    BYTE bits[COMDB_MAX_PORTS_ARBITRATED / 8] = {};
    DWORD size = sizeof(bits);
    Numbers numbers;
    if (RegGetValueW(HKEY_LOCAL_MACHINE, e2e::kComDbKey, e2e::kComDbValue, RRF_RT_REG_BINARY, nullptr, bits, &size) !=
        ERROR_SUCCESS) {
        return numbers;
    }
    for (DWORD i = 0; i < size * 8; ++i) {
        if (bits[i / 8] & (1u << (i % 8))) numbers.push_back(static_cast<int>(i + 1));
    }
    return numbers;
}

void DeleteComDb() { RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, e2e::kComDbKey, e2e::kComDbValue); }

Lines ComDbLog() {
    wchar_t path[MAX_PATH] = {};
    e2e::ComDbLogPath(path, MAX_PATH);
    return e2e::ReadLines(path);
}

void ClearComDbLog() {
    wchar_t path[MAX_PATH] = {};
    e2e::ComDbLogPath(path, MAX_PATH);
    DeleteFileW(path);
}

Lines Released(std::initializer_list<int> numbers) {
    Lines lines;
    for (int n : numbers) lines.insert(lines.end(), {"open", "release " + std::to_string(n) + " -> 0", "close"});
    return lines;
}

class Removal : public testing::Test {
protected:
    // mioutil.exe must load the stand-in from its own folder, never Wine's builtin.
    e2e::WineDllOverrideFor msports_{L"mioutil.exe", L"msports", L"native"};

    void SetUp() override {
        CleanUp();
        ASSERT_TRUE(e2e::RegisterTestClass(e2e::BinDir()));
    }
    void TearDown() override {
        CleanUp();
        e2e::UnregisterTestClass();
        SetEnvironmentVariableW(e2e::kComDbOpenFailsVariable, nullptr);
    }
    static void CleanUp() {
        e2e::RemoveNodes(mioutil::kBusEnumerator);
        e2e::RemoveNodes(L"ROOT\\MIOUTIL_TEST");
        DeleteComDb();
        ClearComDbLog();
    }

    static void Node(const std::wstring& id, const wchar_t* portName) {
        e2e::NodeSpec wanted;
        wanted.instanceId = id;
        wanted.portName = portName;
        wanted.location = L"KORAV COM Port 1";
        wanted.softwareKey = true;
        std::wstring error;
        ASSERT_TRUE(e2e::CreateNode(wanted, &error)) << e2e::Narrow(error);
    }

    static void Run(const wchar_t* option, const e2e::Changes& changes = e2e::Changes(),
                    const char* file = __builtin_FILE(), int line = __builtin_LINE()) {
        e2e::RunResult r = e2e::RunTool(option, changes, file, line);
        EXPECT_EQ(r.exitCode, 0u) << e2e::Narrow(option);
        EXPECT_EQ(r.out, "") << e2e::Narrow(option);
    }

    static void ExpectKept(const std::wstring& id, const wchar_t* portName) {
        e2e::NodeState s = e2e::ReadNode(id);
        EXPECT_TRUE(s.exists) << e2e::Narrow(id);
        EXPECT_EQ(s.hasPortName, portName != nullptr) << e2e::Narrow(id);
        if (portName != nullptr) {
            EXPECT_EQ(e2e::Narrow(s.portName), e2e::Narrow(portName));
        }
    }

    static e2e::Changes NumbersReleased() { return e2e::Changes().ValueSet(e2e::kComDbKey, e2e::kComDbValue); }

    // Every node of the card goes with its software key. Wine deletes the
    // enumerator's key with its last node.
    static e2e::Changes CardNodesGo() {
        e2e::Changes changes;
        changes.Gone(std::wstring(L"SYSTEM\\CurrentControlSet\\Enum\\") + mioutil::kBusEnumerator);
        for (const std::wstring& id : e2e::ListNodes(mioutil::kBusEnumerator)) {
            changes.Gone(L"SYSTEM\\CurrentControlSet\\Control\\Class\\" + e2e::ReadNode(id).driver);
        }
        return changes;
    }

    // The node is gone with its hardware key (below Enum) and its software key (below Control\Class).
    static void ExpectRemoved(const std::wstring& id, const std::wstring& softwareKey) {
        EXPECT_FALSE(e2e::ReadNode(id).exists) << e2e::Narrow(id);
        EXPECT_FALSE(e2e::KeyExists(L"SYSTEM\\CurrentControlSet\\Enum\\" + id)) << e2e::Narrow(id);
        ASSERT_FALSE(softwareKey.empty());
        EXPECT_FALSE(e2e::KeyExists(L"SYSTEM\\CurrentControlSet\\Control\\Class\\" + softwareKey))
            << e2e::Narrow(softwareKey);
    }
};

TEST_F(Removal, RemoveComDbReleasesTheCardsNumbersAndKeepsItsNodes) {
    // Under Wine every node counts as present: the port of a card taken out is an ordinary node here.
    Node(PortId(0), L"COM3");
    Node(PortId(1), L"COM7");
    SetComDb({1, 2, 3, 7, 9});
    Run(L"-RemoveCOMdb", NumbersReleased());
    EXPECT_EQ(ComDbNumbers(), (Numbers{1, 2, 9}));
    EXPECT_EQ(ComDbLog(), Released({3, 7}));
    ExpectKept(PortId(0), L"COM3");
    ExpectKept(PortId(1), L"COM7");
    e2e::RunAgain(L"-RemoveCOMdb", 0);
}

TEST_F(Removal, RemoveDeviceNodeReleasesAndRemovesEveryNodeOfTheCard) {
    Node(PortId(0), L"COM3");
    Node(PortId(1), L"COM7");
    // Bus nodes of the card: removed whatever their device ID, their "PortName" never released.
    Node(L"KRVPCARD_ENUM\\KRVPCARD_BUS\\0000", L"COM9");
    Node(L"KRVPCARD_ENUM\\SOMETHING_ELSE\\0000", nullptr);
    Node(kOtherNode, L"COM2");
    std::vector<std::pair<std::wstring, std::wstring>> card;
    for (const std::wstring& id : e2e::ListNodes(mioutil::kBusEnumerator)) {
        card.push_back({id, e2e::ReadNode(id).driver});
        ASSERT_TRUE(e2e::KeyExists(L"SYSTEM\\CurrentControlSet\\Enum\\" + id));
        ASSERT_TRUE(e2e::KeyExists(L"SYSTEM\\CurrentControlSet\\Control\\Class\\" + card.back().second));
    }
    ASSERT_EQ(card.size(), 4u);
    SetComDb({1, 2, 3, 7, 9});

    Run(L"-RemoveDeviceNode", CardNodesGo().ValueSet(e2e::kComDbKey, e2e::kComDbValue));
    EXPECT_EQ(ComDbNumbers(), (Numbers{1, 2, 9}));
    EXPECT_EQ(ComDbLog(), Released({3, 7}));
    EXPECT_TRUE(e2e::ListNodes(mioutil::kBusEnumerator).empty());
    for (const auto& node : card) ExpectRemoved(node.first, node.second);
    ExpectKept(kOtherNode, L"COM2");
    EXPECT_TRUE(e2e::ReadNode(kOtherNode).hasSoftwareKey);
    EXPECT_TRUE(e2e::RunLogHas({"SERP\\0000: COM3 released in the COM-port database"}));
    EXPECT_TRUE(e2e::RunLogHas({"KRVPCARD_BUS\\0000: node removed with its registry keys"}));
    e2e::RunAgain(L"-RemoveDeviceNode", 0);
}

TEST_F(Removal, ANodeWithoutPortNameReleasesNothingAndIsStillRemoved) {
    Node(PortId(0), nullptr);
    Node(PortId(1), L"COM7");
    const std::wstring softwareKey = e2e::ReadNode(PortId(0)).driver;
    SetComDb({7});
    Run(L"-RemoveCOMdb", NumbersReleased());
    EXPECT_EQ(ComDbLog(), Released({7}));
    ExpectKept(PortId(0), nullptr);

    SetComDb({7});
    ClearComDbLog();
    Run(L"-RemoveDeviceNode", CardNodesGo().ValueSet(e2e::kComDbKey, e2e::kComDbValue));
    EXPECT_EQ(ComDbLog(), Released({7}));
    EXPECT_EQ(ComDbNumbers(), Numbers{});
    ExpectRemoved(PortId(0), softwareKey);
    e2e::RunAgain(L"-RemoveDeviceNode", 0);
}

TEST_F(Removal, ANameWithoutDigitsHandsZeroToTheDatabase) {
    Node(PortId(0), L"Serial");
    SetComDb({1, 3});
    Run(L"-RemoveCOMdb");
    EXPECT_EQ(ComDbLog(), (Lines{"open", "release 0 -> 87", "close"}));  // ERROR_INVALID_PARAMETER
    EXPECT_EQ(ComDbNumbers(), (Numbers{1, 3}));
    ExpectKept(PortId(0), L"Serial");
}

TEST_F(Removal, WhenTheDatabaseDoesNotOpenNothingIsReleasedOrClosed) {
    Node(PortId(0), L"COM3");
    Node(PortId(1), L"COM7");
    const std::wstring softwareKey = e2e::ReadNode(PortId(0)).driver;
    SetComDb({3, 7});
    SetEnvironmentVariableW(e2e::kComDbOpenFailsVariable, L"1");
    Run(L"-RemoveCOMdb");
    EXPECT_EQ(ComDbLog(), (Lines{"open -> failed", "open -> failed"}));
    EXPECT_EQ(ComDbNumbers(), (Numbers{3, 7}));
    ExpectKept(PortId(0), L"COM3");

    ClearComDbLog();
    Run(L"-RemoveDeviceNode", CardNodesGo());
    EXPECT_EQ(ComDbLog(), (Lines{"open -> failed", "open -> failed"}));
    EXPECT_EQ(ComDbNumbers(), (Numbers{3, 7}));
    ExpectRemoved(PortId(0), softwareKey);
    EXPECT_TRUE(e2e::ListNodes(mioutil::kBusEnumerator).empty());
    e2e::RunAgain(L"-RemoveDeviceNode", 0);
}

TEST_F(Removal, NoCardChangesNothing) {
    Node(kOtherNode, L"COM2");
    SetComDb({2, 5});
    for (const wchar_t* option : {L"-RemoveCOMdb", L"-RemoveDeviceNode"}) {
        Run(option);
        EXPECT_TRUE(ComDbLog().empty()) << e2e::Narrow(option);
        EXPECT_EQ(ComDbNumbers(), (Numbers{2, 5})) << e2e::Narrow(option);
        ExpectKept(kOtherNode, L"COM2");
    }
}

// The stand-in must do what Windows' msports.dll does, where Wine's builtin
// aborts the process on ComDBOpen.
TEST(ComDbStandIn, KeepsTheDatabaseAsWindowsDoes) {
    ClearComDbLog();
    const std::wstring path = e2e::BinDir() + L"\\msports.dll";
    HMODULE dll = LoadLibraryW(path.c_str());
    ASSERT_NE(dll, nullptr);
    ASSERT_NE(GetProcAddress(dll, "MioutilComDbStandIn"), nullptr) << "Wine's builtin msports.dll was loaded";
    auto open = reinterpret_cast<mioutil::ComDBOpenFn>(reinterpret_cast<void*>(GetProcAddress(dll, "ComDBOpen")));
    auto release = reinterpret_cast<mioutil::ComDBReleasePortFn>(
        reinterpret_cast<void*>(GetProcAddress(dll, "ComDBReleasePort")));
    auto close = reinterpret_cast<mioutil::ComDBCloseFn>(reinterpret_cast<void*>(GetProcAddress(dll, "ComDBClose")));
    ASSERT_TRUE(open && release && close);

    SetComDb({1, 12, 256});
    HCOMDB db = HCOMDB_INVALID_HANDLE_VALUE;
    ASSERT_EQ(open(&db), ERROR_SUCCESS);
    EXPECT_EQ(release(db, 0), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(release(db, 4097), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(release(db, 0xFFFFFFFDu), ERROR_INVALID_PARAMETER);  // COM-3 as the tool would pass it
    EXPECT_EQ(release(db, 4096), ERROR_SUCCESS);
    EXPECT_EQ(release(db, 12), ERROR_SUCCESS);
    EXPECT_EQ(release(db, 256), ERROR_SUCCESS);
    EXPECT_EQ(close(db), ERROR_SUCCESS);
    EXPECT_EQ(ComDbNumbers(), Numbers{1});

    SetEnvironmentVariableW(e2e::kComDbOpenFailsVariable, L"1");
    db = nullptr;
    EXPECT_NE(open(&db), ERROR_SUCCESS);
    EXPECT_EQ(db, HCOMDB_INVALID_HANDLE_VALUE);
    SetEnvironmentVariableW(e2e::kComDbOpenFailsVariable, nullptr);
    EXPECT_EQ(release(HCOMDB_INVALID_HANDLE_VALUE, 1), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(ComDbNumbers(), Numbers{1});
    FreeLibrary(dll);
    DeleteComDb();
    ClearComDbLog();
}

}  // namespace
