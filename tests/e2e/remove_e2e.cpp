// "-RemoveCOMdb" and "-RemoveDeviceNode" on real device nodes under Wine, with
// the COM-port database kept by the msports.dll stand-in.
#include <gtest/gtest.h>

#include "standins/comdb_standin.h"
#include "devices.h"
#include "devices/msports_api.h"
#include "harness.h"
#include "names.h"

namespace e2e {
namespace {

using Lines = std::vector<std::wstring>;
using Numbers = std::vector<int>;

const std::wstring kOtherNode = std::wstring(kOtherNodes) + L"\\0000";

Lines Released(std::initializer_list<int> numbers) {
    Lines lines;
    for (int n : numbers) lines.insert(lines.end(), {L"open", L"release " + std::to_wstring(n) + L" -> 0", L"close"});
    return lines;
}

class Removal : public DeviceTest {
protected:
    // A node of the card or another at place 1, with its software key.
    static NodeSpec Node(const std::wstring& id, const wchar_t* portName) {
        return {id, portName, LocationText(1), L"", true};
    }

    static void Run(const wchar_t* option, const Changes& changes = Changes(), const char* file = __builtin_FILE(),
                    int line = __builtin_LINE()) {
        const RunResult r = RunTool(option, changes, file, line);
        EXPECT_EQ(r.exitCode, 0u) << Narrow(option);
        EXPECT_EQ(r.out, "") << Narrow(option);
    }

    static void ExpectKept(const std::wstring& id, const wchar_t* portName) {
        const NodeState s = ReadNode(id);
        EXPECT_TRUE(s.exists) << Narrow(id);
        EXPECT_EQ(s.hasPortName, portName[0] != L'\0') << Narrow(id);
        EXPECT_EQ(s.portName, portName) << Narrow(id);
    }

    static Changes NumbersReleased() { return Changes().ValueSet(kComDbKey, kComDbValue); }

    // Every node of the card goes with its software key. Wine deletes the
    // enumerator's key with its last node.
    static Changes CardNodesGo() {
        Changes changes;
        changes.Gone(std::wstring(L"SYSTEM\\CurrentControlSet\\Enum\\") + mioutil::kBusEnumerator);
        for (const std::wstring& id : ListNodes(mioutil::kBusEnumerator)) {
            changes.Gone(L"SYSTEM\\CurrentControlSet\\Control\\Class\\" + ReadNode(id).driver);
        }
        return changes;
    }

    // The node is gone with its hardware key (below Enum) and its software key (below Control\Class).
    static void ExpectRemoved(const std::wstring& id, const std::wstring& softwareKey) {
        EXPECT_FALSE(ReadNode(id).exists) << Narrow(id);
        EXPECT_FALSE(KeyExists(kNative, L"SYSTEM\\CurrentControlSet\\Enum\\" + id)) << Narrow(id);
        EXPECT_FALSE(softwareKey.empty()) << Narrow(id);
        EXPECT_FALSE(KeyExists(kNative, L"SYSTEM\\CurrentControlSet\\Control\\Class\\" + softwareKey))
            << Narrow(softwareKey);
    }
};

TEST_F(Removal, RemoveComDbReleasesTheCardsNumbersAndKeepsItsNodes) {
    // Under Wine every node counts as present: the port of a card taken out is an ordinary node here.
    ASSERT_TRUE(CreateNodes({Node(PortId(0), L"COM3"), Node(PortId(1), L"COM7")}));
    ASSERT_TRUE(SetComDb({1, 2, 3, 7, 9}));
    Run(L"-RemoveCOMdb", NumbersReleased());
    EXPECT_EQ(ComDbNumbers(), (Numbers{1, 2, 9}));
    EXPECT_EQ(ComDbLog(), Released({3, 7}));
    ExpectKept(PortId(0), L"COM3");
    ExpectKept(PortId(1), L"COM7");
    RunAgain(L"-RemoveCOMdb", 0);
}

TEST_F(Removal, RemoveDeviceNodeReleasesAndRemovesEveryNodeOfTheCard) {
    // Bus nodes of the card: removed whatever their device ID, their "PortName" never released.
    ASSERT_TRUE(CreateNodes({Node(PortId(0), L"COM3"), Node(PortId(1), L"COM7"),
                             Node(L"KRVPCARD_ENUM\\KRVPCARD_BUS\\0000", L"COM9"),
                             Node(L"KRVPCARD_ENUM\\SOMETHING_ELSE\\0000", L""), Node(kOtherNode, L"COM2")}));
    std::vector<std::pair<std::wstring, std::wstring>> card;
    for (const std::wstring& id : ListNodes(mioutil::kBusEnumerator)) {
        card.push_back({id, ReadNode(id).driver});
        ASSERT_TRUE(KeyExists(kNative, L"SYSTEM\\CurrentControlSet\\Enum\\" + id));
        ASSERT_TRUE(KeyExists(kNative, L"SYSTEM\\CurrentControlSet\\Control\\Class\\" + card.back().second));
    }
    ASSERT_EQ(card.size(), 4u);
    ASSERT_TRUE(SetComDb({1, 2, 3, 7, 9}));

    Run(L"-RemoveDeviceNode", CardNodesGo().ValueSet(kComDbKey, kComDbValue));
    EXPECT_EQ(ComDbNumbers(), (Numbers{1, 2, 9}));
    EXPECT_EQ(ComDbLog(), Released({3, 7}));
    EXPECT_TRUE(ListNodes(mioutil::kBusEnumerator).empty());
    for (const auto& node : card) ExpectRemoved(node.first, node.second);
    ExpectKept(kOtherNode, L"COM2");
    EXPECT_TRUE(ReadNode(kOtherNode).hasSoftwareKey);
    EXPECT_TRUE(RunLogHas({"COM3 released in the COM-port database; node \"KRVPCARD_ENUM\\KRVPCARD_SERP\\0000\""}));
    EXPECT_TRUE(RunLogHas({"node removed with its registry keys: \"KRVPCARD_ENUM\\KRVPCARD_BUS\\0000\""}));
    RunAgain(L"-RemoveDeviceNode", 0);
}

TEST_F(Removal, ANodeWithoutPortNameReleasesNothingAndIsStillRemoved) {
    ASSERT_TRUE(CreateNodes({Node(PortId(0), L""), Node(PortId(1), L"COM7")}));
    const std::wstring softwareKey = ReadNode(PortId(0)).driver;
    ASSERT_TRUE(SetComDb({7}));
    Run(L"-RemoveCOMdb", NumbersReleased());
    EXPECT_EQ(ComDbLog(), Released({7}));
    ExpectKept(PortId(0), L"");

    ASSERT_TRUE(SetComDb({7}));
    ClearComDbLog();
    Run(L"-RemoveDeviceNode", CardNodesGo().ValueSet(kComDbKey, kComDbValue));
    EXPECT_EQ(ComDbLog(), Released({7}));
    EXPECT_EQ(ComDbNumbers(), Numbers{});
    ExpectRemoved(PortId(0), softwareKey);
    RunAgain(L"-RemoveDeviceNode", 0);
}

TEST_F(Removal, ANameWithoutDigitsHandsZeroToTheDatabase) {
    ASSERT_TRUE(CreateNodes({Node(PortId(0), L"Serial")}));
    ASSERT_TRUE(SetComDb({1, 3}));
    Run(L"-RemoveCOMdb");
    EXPECT_EQ(ComDbLog(), (Lines{L"open", L"release 0 -> 87", L"close"}));  // ERROR_INVALID_PARAMETER
    EXPECT_EQ(ComDbNumbers(), (Numbers{1, 3}));
    ExpectKept(PortId(0), L"Serial");
}

TEST_F(Removal, WhenTheDatabaseDoesNotOpenNothingIsReleasedOrClosed) {
    ASSERT_TRUE(CreateNodes({Node(PortId(0), L"COM3"), Node(PortId(1), L"COM7")}));
    const std::wstring softwareKey = ReadNode(PortId(0)).driver;
    ASSERT_TRUE(SetComDb({3, 7}));
    SetEnvironmentVariableW(kComDbOpenFailsVariable, L"1");
    Run(L"-RemoveCOMdb");
    EXPECT_EQ(ComDbLog(), (Lines{L"open -> failed", L"open -> failed"}));
    EXPECT_EQ(ComDbNumbers(), (Numbers{3, 7}));
    ExpectKept(PortId(0), L"COM3");

    ClearComDbLog();
    Run(L"-RemoveDeviceNode", CardNodesGo());
    EXPECT_EQ(ComDbLog(), (Lines{L"open -> failed", L"open -> failed"}));
    EXPECT_EQ(ComDbNumbers(), (Numbers{3, 7}));
    ExpectRemoved(PortId(0), softwareKey);
    EXPECT_TRUE(ListNodes(mioutil::kBusEnumerator).empty());
    RunAgain(L"-RemoveDeviceNode", 0);
}

TEST_F(Removal, NoCardChangesNothing) {
    ASSERT_TRUE(CreateNodes({Node(kOtherNode, L"COM2")}));
    ASSERT_TRUE(SetComDb({2, 5}));
    for (const wchar_t* option : {L"-RemoveCOMdb", L"-RemoveDeviceNode"}) {
        Run(option);
        EXPECT_TRUE(ComDbLog().empty()) << Narrow(option);
        EXPECT_EQ(ComDbNumbers(), (Numbers{2, 5})) << Narrow(option);
        ExpectKept(kOtherNode, L"COM2");
    }
}

// The stand-in must do what Windows' msports.dll does, where Wine's builtin
// aborts the process on ComDBOpen.
TEST(ComDbStandIn, KeepsTheDatabaseAsWindowsDoes) {
    ClearComDbLog();
    const std::wstring path = BinDir() + L"\\msports.dll";
    const UniqueModule dll(LoadLibraryW(path.c_str()));
    ASSERT_TRUE(dll.valid());
    ASSERT_NE(GetProcAddress(dll.get(), "MioutilComDbStandIn"), nullptr) << "Wine's builtin msports.dll was loaded";
    auto open = reinterpret_cast<mioutil::ComDBOpenFn>(reinterpret_cast<void*>(GetProcAddress(dll.get(), "ComDBOpen")));
    auto release = reinterpret_cast<mioutil::ComDBReleasePortFn>(
        reinterpret_cast<void*>(GetProcAddress(dll.get(), "ComDBReleasePort")));
    auto close =
        reinterpret_cast<mioutil::ComDBCloseFn>(reinterpret_cast<void*>(GetProcAddress(dll.get(), "ComDBClose")));
    ASSERT_TRUE(open && release && close);

    ASSERT_TRUE(SetComDb({1, 12, 256}));
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

    SetEnvironmentVariableW(kComDbOpenFailsVariable, L"1");
    db = nullptr;
    EXPECT_NE(open(&db), ERROR_SUCCESS);
    EXPECT_EQ(db, HCOMDB_INVALID_HANDLE_VALUE);
    SetEnvironmentVariableW(kComDbOpenFailsVariable, nullptr);
    EXPECT_EQ(release(HCOMDB_INVALID_HANDLE_VALUE, 1), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(ComDbNumbers(), Numbers{1});
    DeleteValue(kNative, kComDbKey, kComDbValue);
    ClearComDbLog();
}

}  // namespace
}  // namespace e2e
