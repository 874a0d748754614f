// The COM port re-map (no argument) on real device nodes under Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "comdb_standin.h"
#include "devices.h"
#include "harness.h"
#include "names.h"

namespace {

using e2e::LocationText;
using e2e::PortId;

const wchar_t kPortKeys[] = L"SYSTEM\\CurrentControlSet\\Enum\\KRVPCARD_ENUM\\KRVPCARD_SERP";

struct Port {
    int id;                // instance number under KRVPCARD_ENUM\KRVPCARD_SERP
    const wchar_t* name;   // "PortName" before the run; nullptr: none
    int portOnCard;        // location number; 0: no location information
};

struct Expect {
    int id;
    std::wstring name;       // "PortName" after the run
    std::wstring friendly;   // friendly name after the run
};

class Remap : public testing::Test {
protected:
    // A cycle of moves makes the tool ask the COM-port database (the stand-in) for a free number.
    e2e::WineDllOverrideFor msports_{L"mioutil.exe", L"msports", L"native"};

    void SetUp() override {
        CleanUp();
        ASSERT_TRUE(e2e::RegisterTestClass(e2e::BinDir()));
    }
    void TearDown() override {
        if (ran_) ExpectEveryLinkFollowsItsName();
        CleanUp();
        e2e::UnregisterTestClass();
        SetEnvironmentVariableW(e2e::kComDbOpenFailsVariable, nullptr);
    }
    static void CleanUp() {
        e2e::RemoveNodes(mioutil::kBusEnumerator);
        e2e::RemoveNodes(L"ROOT\\MIOUTIL_TEST");
        e2e::ClearRecordedRestarts();
        e2e::ClearLinks();
        RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, e2e::kComDbKey, e2e::kComDbValue);
        DeleteFileW(ComDbLogPath().c_str());
    }

    // No port restarted onto a name whose link another node still held, and every
    // node ends with the link of the name it has: none was left unreachable.
    static void ExpectEveryLinkFollowsItsName() {
        EXPECT_EQ(e2e::RecordedCollisions(), std::vector<std::string>{});
        const std::map<std::wstring, std::wstring> links = e2e::Links();
        std::vector<std::wstring> ids = e2e::ListNodes(mioutil::kBusEnumerator);
        for (const std::wstring& id : e2e::ListNodes(L"ROOT\\MIOUTIL_TEST")) ids.push_back(id);
        for (const std::wstring& id : ids) {
            const e2e::NodeState s = e2e::ReadNode(id);
            const auto link = links.find(id);
            EXPECT_EQ(link == links.end() ? "(none)" : e2e::Narrow(link->second),
                      s.hasPortName ? e2e::Narrow(s.portName) : "(none)")
                << e2e::Narrow(id);
        }
    }

    static std::wstring ComDbLogPath() {
        wchar_t path[MAX_PATH] = {};
        e2e::ComDbLogPath(path, MAX_PATH);
        return path;
    }

    // Ports get the friendly name they had from an earlier run, so a friendly
    // name that does not change shows the node was not written.
    void Install(const std::vector<Port>& ports) {
        for (const Port& p : ports) {
            const std::wstring location = LocationText(p.portOnCard);
            const std::wstring friendly = std::wstring(L"old name of ") + PortId(p.id);
            e2e::NodeSpec wanted;
            wanted.instanceId = PortId(p.id);
            wanted.portName = p.name;
            wanted.location = p.portOnCard != 0 ? location.c_str() : nullptr;
            wanted.friendlyName = friendly.c_str();
            std::wstring error;
            ASSERT_TRUE(e2e::CreateNode(wanted, &error)) << e2e::Narrow(error);
        }
    }

    // Every node with a "PortName" starts out holding the link of that name. Only
    // port nodes' names are written; the tests check which and to what.
    void RunRemap(const char* file = __builtin_FILE(), int line = __builtin_LINE()) {
        ran_ = true;
        ASSERT_TRUE(e2e::SeedLinks());
        const e2e::Changes renamed =
            e2e::Changes()
                .MayChange(std::wstring(kPortKeys) + L"\\*\\Device Parameters", mioutil::kPortNameValue)
                .MayChange(std::wstring(kPortKeys) + L"\\*", L"FriendlyName");
        e2e::RunResult r = e2e::RunTool(L"", renamed, file, line);
        EXPECT_EQ(r.exitCode, 0u);
        EXPECT_EQ(r.out, "");
    }

    static void ExpectPorts(const std::vector<Expect>& expected) {
        for (const Expect& e : expected) {
            e2e::NodeState s = e2e::ReadNode(PortId(e.id));
            SCOPED_TRACE(e2e::Narrow(PortId(e.id)));
            ASSERT_TRUE(s.exists);
            EXPECT_EQ(e2e::Narrow(s.portName), e2e::Narrow(e.name));
            EXPECT_EQ(e2e::Narrow(s.friendlyName), e2e::Narrow(e.friendly));
        }
    }

    static std::wstring Friendly(const wchar_t* com) { return std::wstring(L"KORAV COM Port (") + com + L")"; }
    static std::wstring Old(int id) { return L"old name of " + PortId(id); }

    // The restarts in order, each with the name the port had then.
    static std::vector<std::pair<std::wstring, std::wstring>> Steps(
        std::initializer_list<std::pair<int, const wchar_t*>> steps) {
        std::vector<std::pair<std::wstring, std::wstring>> out;
        for (const auto& step : steps) out.push_back({PortId(step.first), step.second});
        return out;
    }

    // Each port restarted at least once, none else.
    static std::vector<std::wstring> RestartedPorts() {
        std::vector<std::wstring> ids = e2e::RecordedRestarts();
        std::sort(ids.begin(), ids.end());
        ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
        return ids;
    }

    bool ran_ = false;
};

TEST_F(Remap, OneCardListedOutOfOrder) {
    Install({{0, L"COM12", 1}, {1, L"COM10", 3}, {2, L"COM11", 2}});
    RunRemap();
    ExpectPorts({{0, L"COM10", Friendly(L"COM10")},
                 {1, L"COM12", Friendly(L"COM12")},
                 {2, L"COM11", Friendly(L"COM11")}});
    // Member 2 keeps its number and is still rewritten and restarted, first, as
    // no other port holds COM11. Members 0 and 1 swap their numbers: member 0
    // goes through COM1 so that member 1 can take COM12 first.
    EXPECT_EQ(e2e::RecordedRestartsWithNames(),
              Steps({{2, L"COM11"}, {0, L"COM1"}, {1, L"COM12"}, {0, L"COM10"}}));
    EXPECT_TRUE(e2e::RunLogHas({"SERP\\0000: takes the spare name COM1 first"}));
    EXPECT_TRUE(e2e::RunLogHas({"SERP\\0001: PortName COM10 -> COM12, friendly name \"old name of", "restart asked"}));
    e2e::RunAgain(L"", 0);
}

TEST_F(Remap, TwoCardsOfTwoPorts) {
    Install({{0, L"COM3", 1}, {1, L"COM8", 2}, {2, L"COM5", 1}, {3, L"COM4", 2}});
    RunRemap();
    ExpectPorts({{0, L"COM3", Friendly(L"COM3")},
                 {1, L"COM4", Friendly(L"COM4")},
                 {2, L"COM5", Friendly(L"COM5")},
                 {3, L"COM8", Friendly(L"COM8")}});
    EXPECT_EQ(e2e::RecordedRestartsWithNames(),
              Steps({{0, L"COM3"}, {2, L"COM5"}, {1, L"COM1"}, {3, L"COM8"}, {1, L"COM4"}}));
    e2e::RunAgain(L"", 0);
}

TEST_F(Remap, PortsAlreadyInOrderAreAllRewrittenAndRestarted) {
    Install({{0, L"COM3", 1}, {1, L"COM4", 2}, {2, L"COM5", 3}});
    RunRemap();
    ExpectPorts({{0, L"COM3", Friendly(L"COM3")},
                 {1, L"COM4", Friendly(L"COM4")},
                 {2, L"COM5", Friendly(L"COM5")}});
    EXPECT_EQ(e2e::RecordedRestartsWithNames(), Steps({{0, L"COM3"}, {1, L"COM4"}, {2, L"COM5"}}));
    // Without a cycle nothing else is asked: the COM-port database is not opened.
    EXPECT_EQ(e2e::ReadLines(ComDbLogPath().c_str()), std::vector<std::string>{});
    e2e::RunAgain(L"", 0);
}

TEST_F(Remap, NamesWithoutDigitsOrWithOtherLettersOrASign) {
    // "Serial" gives 0: that port keeps its name and is left alone. "XYZ2" counts
    // like COM2; COM-3 sorts after every positive number and keeps its sign.
    Install({{0, L"COM5", 1}, {1, L"Serial", 2}, {2, L"COM-3", 3}, {3, L"XYZ2", 4}});
    RunRemap();
    ExpectPorts({{0, L"COM2", Friendly(L"COM2")},
                 {1, L"Serial", Old(1)},
                 {2, L"COM5", Friendly(L"COM5")},
                 {3, L"COM-3", Friendly(L"COM-3")}});
    EXPECT_EQ(e2e::RecordedRestartsWithNames(),
              Steps({{0, L"COM1"}, {2, L"COM5"}, {3, L"COM-3"}, {0, L"COM2"}}));
    e2e::RunAgain(L"", 0);
}

TEST_F(Remap, AMemberWithoutPortNameIsPassedOverInBothPasses) {
    // Member 1 has no "PortName" but location 1: were it to move the base index
    // in pass 2 only, member 2 would read an empty slot and member 0 would end
    // with member 2's old name.
    Install({{0, L"COM7", 1}, {1, nullptr, 1}, {2, L"COM6", 3}});
    RunRemap();
    ExpectPorts({{0, L"COM6", Friendly(L"COM6")}, {2, L"COM7", Friendly(L"COM7")}});
    e2e::NodeState passedOver = e2e::ReadNode(PortId(1));
    EXPECT_FALSE(passedOver.hasPortName);
    EXPECT_EQ(e2e::Narrow(passedOver.friendlyName), e2e::Narrow(Old(1)));
    EXPECT_EQ(e2e::RecordedRestartsWithNames(), Steps({{0, L"COM1"}, {2, L"COM7"}, {0, L"COM6"}}));
    e2e::RunAgain(L"", 0);
}

TEST_F(Remap, ALocationTextShorterThanSixteenCharactersLeavesThePortOut) {
    // A short location text gives location number 0, so the position base index - 1.
    // On the first member (base 0) that wraps past the table: the port keeps its
    // name. On the second card it lands on the first card's port 2, which keeps its slot.
    struct Short {
        int id;
        const wchar_t* name;
        const wchar_t* location;
    };
    for (const Short& p : {Short{0, L"COM9", L"KORAV COM Port"}, Short{4, L"COM1", L"Port 2"}}) {
        e2e::NodeSpec wanted;
        wanted.instanceId = PortId(p.id);
        wanted.portName = p.name;
        wanted.location = p.location;
        const std::wstring old = Old(p.id);
        wanted.friendlyName = old.c_str();
        ASSERT_TRUE(e2e::CreateNode(wanted));
    }
    Install({{1, L"COM4", 1}, {2, L"COM3", 2}, {3, L"COM2", 1}});
    RunRemap();
    ExpectPorts({{0, L"COM9", Old(0)},
                 {1, L"COM2", Friendly(L"COM2")},
                 {2, L"COM3", Friendly(L"COM3")},
                 {3, L"COM4", Friendly(L"COM4")},
                 {4, L"COM1", Old(4)}});
    // Port 4 keeps COM1 and the placed ports hold COM2 to COM4: the swap goes through COM5.
    EXPECT_EQ(e2e::RecordedRestartsWithNames(),
              Steps({{2, L"COM3"}, {1, L"COM5"}, {3, L"COM4"}, {1, L"COM2"}}));
    e2e::RunAgain(L"", 0);
}

TEST_F(Remap, OfTwoMembersWithOnePositionTheFirstKeepsIt) {
    // Members 1 and 2 both say they are port 2 of the first card. Overwriting
    // the slot would lose COM5 and hand out COM9 twice.
    Install({{0, L"COM9", 1}, {1, L"COM5", 2}, {2, L"COM2", 2}});
    RunRemap();
    ExpectPorts({{0, L"COM5", Friendly(L"COM5")}, {1, L"COM9", Friendly(L"COM9")}, {2, L"COM2", Old(2)}});
    // COM2, which member 2 keeps, is not taken as the temporary name either.
    EXPECT_EQ(e2e::RecordedRestartsWithNames(), Steps({{0, L"COM1"}, {1, L"COM9"}, {0, L"COM5"}}));
    e2e::RunAgain(L"", 0);
}

TEST_F(Remap, ANumberTwoPortsHoldStaysWithBoth) {
    // LPT5 and COM5 both read as 5: handing 5 out again would end with two COM5.
    // Member 4 (location 0 on the first card) has no slot and keeps COM7, so the
    // port placed with 7 is left as it is too. The others share out 2, 3 and 8.
    Install({{0, L"COM8", 1}, {1, L"LPT5", 2}, {2, L"COM3", 3}, {3, L"COM5", 4}, {5, L"COM7", 5}, {6, L"COM2", 6}});
    e2e::NodeSpec noSlot;
    noSlot.instanceId = PortId(4);
    noSlot.portName = L"COM7";
    noSlot.location = L"KORAV COM Port";
    const std::wstring old = Old(4);
    noSlot.friendlyName = old.c_str();
    ASSERT_TRUE(e2e::CreateNode(noSlot));
    RunRemap();
    ExpectPorts({{0, L"COM2", Friendly(L"COM2")},
                 {1, L"LPT5", Old(1)},
                 {2, L"COM3", Friendly(L"COM3")},
                 {3, L"COM5", Old(3)},
                 {4, L"COM7", Old(4)},
                 {5, L"COM7", Old(5)},
                 {6, L"COM8", Friendly(L"COM8")}});
    EXPECT_EQ(e2e::RecordedRestartsWithNames(),
              Steps({{2, L"COM3"}, {0, L"COM1"}, {6, L"COM8"}, {0, L"COM2"}}));
    EXPECT_TRUE(e2e::RunLogHas({"SERP\\0003: left as it was, PortName COM5, not restarted: an earlier port holds"}));
    EXPECT_TRUE(e2e::RunLogHas({"SERP\\0001: left as it was, PortName LPT5", "a port left as it was holds"}));
    EXPECT_TRUE(e2e::RunLogHas({"SERP\\0004: left as it was", "past the 256th"}));
    e2e::RunAgain(L"", 0);
}

TEST_F(Remap, SixtyFourPortsOnSixteenCards) {
    // Each card lists its port 1 first and the others in a shuffled order; the
    // COM numbers 10..73 are dealt out shuffled.
    const int cardOrders[4][4] = {{1, 3, 2, 4}, {1, 4, 3, 2}, {1, 2, 4, 3}, {1, 4, 2, 3}};
    std::vector<Port> ports;
    std::vector<std::wstring> names;
    for (int m = 0; m < 64; ++m) names.push_back(L"COM" + std::to_wstring(10 + (m * 37) % 64));
    for (int m = 0; m < 64; ++m) ports.push_back({m, names[m].c_str(), cardOrders[(m / 4) % 4][m % 4]});
    Install(ports);
    RunRemap();
    std::vector<Expect> expected;
    std::vector<std::wstring> restarted;
    for (int m = 0; m < 64; ++m) {
        const int position = (m / 4) * 4 + ports[m].portOnCard - 1;
        const std::wstring com = L"COM" + std::to_wstring(10 + position);
        expected.push_back({m, com, Friendly(com.c_str())});
        restarted.push_back(PortId(m));
    }
    ExpectPorts(expected);
    EXPECT_EQ(RestartedPorts(), restarted);
    e2e::RunAgain(L"", 0);
}

TEST_F(Remap, MembersPastTheLastSlotKeepTheirNames) {
    // 258 ports on 129 cards of two; the last card's positions 256 and 257 have no slot.
    std::vector<Port> ports;
    std::vector<std::wstring> names;
    for (int m = 0; m < 258; ++m) names.push_back(L"COM" + std::to_wstring(300 - m));
    for (int m = 0; m < 258; ++m) ports.push_back({m, names[m].c_str(), m % 2 + 1});
    Install(ports);
    RunRemap();
    std::vector<Expect> expected;
    std::vector<std::wstring> restarted;
    for (int m = 0; m < 256; ++m) {
        const std::wstring com = L"COM" + std::to_wstring(45 + m);  // 300 - 255 .. 300, ascending
        expected.push_back({m, com, Friendly(com.c_str())});
        restarted.push_back(PortId(m));
    }
    expected.push_back({256, L"COM44", Old(256)});
    expected.push_back({257, L"COM43", Old(257)});
    ExpectPorts(expected);
    EXPECT_EQ(RestartedPorts(), restarted);
    // Members m and 255 - m swap their numbers: 128 cycles, one extra restart each.
    EXPECT_EQ(e2e::RecordedRestarts().size(), 256u + 128u);
    e2e::RunAgain(L"", 0);
}

TEST_F(Remap, NoCardLeavesOtherNodesAlone) {
    // A node of the card's bus that is not a port, and a node of another
    // enumerator, both with a "PortName" and a port's location text.
    const std::wstring location = LocationText(1);
    e2e::NodeSpec bus;
    bus.instanceId = L"KRVPCARD_ENUM\\KRVPCARD_BUS\\0000";
    bus.portName = L"COM2";
    bus.location = location.c_str();
    bus.friendlyName = L"bus";
    ASSERT_TRUE(e2e::CreateNode(bus));
    e2e::NodeSpec other = bus;
    other.instanceId = L"ROOT\\MIOUTIL_TEST\\0000";
    other.portName = L"COM1";
    other.friendlyName = L"other";
    ASSERT_TRUE(e2e::CreateNode(other));
    RunRemap();
    for (const e2e::NodeSpec* wanted : {&bus, &other}) {
        e2e::NodeState s = e2e::ReadNode(wanted->instanceId);
        EXPECT_EQ(e2e::Narrow(s.portName), e2e::Narrow(wanted->portName));
        EXPECT_EQ(e2e::Narrow(s.friendlyName), e2e::Narrow(wanted->friendlyName));
    }
    EXPECT_TRUE(e2e::RecordedRestarts().empty());
}

TEST_F(Remap, ASwapGoesThroughTheLowestNumberNoNodeHoldsAndTheDatabaseDoesNotReserve) {
    // The database reserves COM1, COM2 and the ports' own numbers; a node of
    // another enumerator holds COM3. The swap goes through COM6.
    ASSERT_TRUE(e2e::SetComDb({1, 2, 4, 5}));
    e2e::NodeSpec other;
    other.instanceId = L"ROOT\\MIOUTIL_TEST\\0000";
    other.portName = L"COM3";
    ASSERT_TRUE(e2e::CreateNode(other));
    Install({{0, L"COM5", 1}, {1, L"COM4", 2}});
    RunRemap();
    ExpectPorts({{0, L"COM4", Friendly(L"COM4")}, {1, L"COM5", Friendly(L"COM5")}});
    EXPECT_EQ(e2e::RecordedRestartsWithNames(), Steps({{0, L"COM6"}, {1, L"COM5"}, {0, L"COM4"}}));
    // The database is read once and left as it was.
    EXPECT_EQ(e2e::ReadLines(ComDbLogPath().c_str()), (std::vector<std::string>{"open", "usage", "close"}));
}

TEST_F(Remap, WithoutTheDatabaseASwapKeepsItsNames) {
    // The database does not open, so no number is known to be free: members 0
    // and 1, which swap, keep their names and are not restarted; member 2 is.
    SetEnvironmentVariableW(e2e::kComDbOpenFailsVariable, L"1");
    Install({{0, L"COM4", 1}, {1, L"COM3", 2}, {2, L"COM5", 3}});
    RunRemap();
    ExpectPorts({{0, L"COM4", Old(0)}, {1, L"COM3", Old(1)}, {2, L"COM5", Friendly(L"COM5")}});
    EXPECT_EQ(e2e::RecordedRestartsWithNames(), Steps({{2, L"COM5"}}));
}

}  // namespace
