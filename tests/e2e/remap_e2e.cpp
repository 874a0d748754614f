// The COM port re-map (no argument) on real device nodes under Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <tuple>

#include "standins/comdb_standin.h"
#include "devices.h"
#include "harness.h"
#include "names.h"

namespace e2e {
namespace {

const wchar_t kEnumKeys[] = L"SYSTEM\\CurrentControlSet\\Enum\\KRVPCARD_ENUM";
const wchar_t kPortKeys[] = L"SYSTEM\\CurrentControlSet\\Enum\\KRVPCARD_ENUM\\KRVPCARD_SERP";
const wchar_t kKept[] = L"";

// A row of a re-map table: a node before the run, and the name the re-map
// rewrites it with, or kKept: the node keeps its name and is neither written nor
// restarted.
struct Port {
    Port(int id, const std::wstring& before, int portOnCard, std::wstring after)
        : node(PortNode(id, before, portOnCard)), after(std::move(after)) {}
    Port(int id, const std::wstring& before, const wchar_t* location, std::wstring after)
        : Port(id, before, 0, std::move(after)) {
        node.location = location;
    }
    explicit Port(NodeSpec other) : node(std::move(other)), after(kKept) {}
    NodeSpec node;
    std::wstring after;
    bool restarted = after != kKept;  // its last restart is under its new name
};
using Ports = std::vector<Port>;
using Restarts = std::vector<std::pair<std::wstring, std::wstring>>;

// One card listed out of order: members 0 and 1 swap COM12 and COM10 (a cycle),
// member 2 keeps COM11.
Ports OneCardOutOfOrder() {
    return {{0, L"COM12", 1, L"COM10"}, {1, L"COM10", 3, L"COM12"}, {2, L"COM11", 2, L"COM11"}};
}

// The restarts in order, each with the name the port had then.
Restarts Steps(std::initializer_list<std::pair<int, const wchar_t*>> steps) {
    Restarts out;
    for (const auto& step : steps) out.push_back({PortId(step.first), step.second});
    return out;
}

class Remap : public DeviceTest {
protected:
    void TearDown() override {
        if (arranged_) ExpectEveryLinkFollowsItsName();
        DeviceTest::TearDown();
    }

    // The table's nodes; then every node with a "PortName" holds the link of that name.
    bool Arrange(const Ports& ports, At at = Here()) {
        std::vector<NodeSpec> nodes;
        for (const Port& p : ports) nodes.push_back(p.node);
        // Windows always has a COM-port database; an empty one unless the test made its own.
        std::string db;
        arranged_ = CreateNodes(nodes, at) && SeedLinks(at) &&
                    (ReadValue(kNative, kComDbKey, kComDbValue, &db) || SetComDb({}, at));
        return arranged_;
    }

    // Runs the re-map, which may write port nodes' names only. Each rewritten row
    // ends with its new name, the friendly name that follows it, and its last
    // restart under that name; each kept row ends as it was, never restarted.
    static Changes Renamed(Changes changes = Changes()) {
        return changes.MayChange(std::wstring(kPortKeys) + L"\\*\\Device Parameters", mioutil::kPortNameValue)
            .MayChange(std::wstring(kPortKeys) + L"\\*", L"FriendlyName");
    }

    static void RemapAndExpect(const Ports& ports, const Changes& also = Changes(), const char* file = __builtin_FILE(),
                               int line = __builtin_LINE()) {
        const testing::ScopedTrace trace(file, line, "the re-map run here");
        const RunResult r = RunTool(L"", Renamed(also), file, line);
        EXPECT_EQ(r.exitCode, 0u);
        EXPECT_EQ(r.out, "");
        const Restarts restarts = RecordedRestartsWithNames();
        std::set<std::wstring> rewritten;
        for (const Port& p : ports) {
            SCOPED_TRACE(Narrow(p.node.instanceId));
            const bool kept = p.after == kKept;
            const NodeState s = ReadNode(p.node.instanceId);
            EXPECT_TRUE(s.exists);
            EXPECT_EQ(s.portName, kept ? p.node.portName : p.after);
            EXPECT_EQ(s.hasPortName, !s.portName.empty());
            EXPECT_EQ(s.friendlyName, kept ? p.node.friendlyName : L"KORAV COM Port (" + p.after + L")");
            const auto last = std::find_if(restarts.rbegin(), restarts.rend(),
                                           [&](const auto& restart) { return restart.first == p.node.instanceId; });
            EXPECT_EQ(last == restarts.rend() ? L"(not restarted)" : L"restarted as " + last->second,
                      p.restarted ? L"restarted as " + p.after : L"(not restarted)");
            if (!kept) rewritten.insert(p.node.instanceId);
        }
        for (const auto& restart : restarts) EXPECT_EQ(rewritten.count(restart.first), 1u) << Narrow(restart.first);
    }

    // No port restarted onto a name whose link another node still held, and every
    // node ends with the link of the name it has: none was left unreachable.
    static void ExpectEveryLinkFollowsItsName() {
        EXPECT_EQ(RecordedCollisions(), std::vector<std::wstring>{});
        const std::map<std::wstring, std::wstring> links = Links();
        std::vector<std::wstring> ids = ListNodes(mioutil::kBusEnumerator);
        for (const std::wstring& id : ListNodes(kOtherNodes)) ids.push_back(id);
        for (const std::wstring& id : ids) {
            const NodeState s = ReadNode(id);
            const auto link = links.find(id);
            EXPECT_EQ(link == links.end() ? L"(none)" : link->second, s.hasPortName ? s.portName : L"(none)")
                << Narrow(id);
        }
    }

    // A run whose plan stays behind (cut short, or waiting for a reboot), with its
    // spare claimed; and the next, which finishes and drops it.
    static Changes PlanLeft() { return Renamed().MayChange(kComDbKey, kComDbValue).Made(mioutil::kPlanKeyPath); }
    static Changes PlanDone() { return Changes().MayChange(kComDbKey, kComDbValue).Gone(mioutil::kPlanKeyPath); }

    // What the class installer is to play (standin_log.h); 0 stops it.
    static bool Play(const wchar_t* name, DWORD value, At at = Here()) {
        return SetValue(kNative, kPlayKey, name, REG_DWORD, &value, sizeof(value), HKEY_CURRENT_USER, at);
    }

    // A reboot as the re-map sees it: every driver takes its "PortName", and the
    // volatile marker of the boot is gone (a Wine session keeps it as long as it runs).
    static bool SimulateReboot(At at = Here()) {
        DeleteTree(kNative, mioutil::kPlanBootKeyPath);
        return SeedLinks(at);
    }

    // A port that a program holds open: its restarts are left for a reboot.
    static bool SetBusy(int port, bool busy, At at = Here()) {
        if (busy) return SetText(kNative, kBusyKey, PortId(port), L"1", REG_SZ, HKEY_CURRENT_USER, at);
        DeleteValue(kNative, kBusyKey, PortId(port), HKEY_CURRENT_USER);
        return true;
    }

    bool arranged_ = false;
};

TEST_F(Remap, OneCardListedOutOfOrder) {
    // Wine's SERIALCOMM lists its own serial port as COM1, held by no node and not
    // reserved in the database: the spare name of every case here is never COM1.
    std::wstring com1;
    ASSERT_TRUE(ReadText(kNative, mioutil::kSerialCommKeyPath, L"\\Device\\Serial0", &com1));
    ASSERT_EQ(com1, L"COM1");
    const Ports ports = OneCardOutOfOrder();
    ASSERT_TRUE(Arrange(ports));
    RemapAndExpect(ports);
    // Member 2 keeps its number and is still rewritten and restarted, first, as
    // no other port holds COM11. Members 0 and 1 swap their numbers: member 0
    // goes through COM2 so that member 1 can take COM12 first.
    EXPECT_EQ(RecordedRestartsWithNames(), Steps({{2, L"COM11"}, {0, L"COM2"}, {1, L"COM12"}, {0, L"COM10"}}));
    EXPECT_TRUE(RunLogHas({"port takes the spare name COM2 first", "SERP\\0000"}));
    EXPECT_TRUE(RunLogHas({"port written COM12, restarted: \"KRVPCARD_ENUM\\KRVPCARD_SERP\\0001\", PortName \"COM10\" -> "
                           "\"COM12\", friendly name \"old name of"}));
    EXPECT_EQ(LastRunLogSection().rbegin()[1], "reboot needed: no");
    RunAgain(L"", 0);
}

TEST_F(Remap, PortsInOrderAreRewrittenOnceForTheirFriendlyNamesThenLeftAlone) {
    const Ports ports = {{0, L"COM3", 1, L"COM3"}, {1, L"COM4", 2, L"COM4"}, {2, L"COM5", 3, L"COM5"}};
    ASSERT_TRUE(Arrange(ports));
    RemapAndExpect(ports);
    EXPECT_EQ(RecordedRestartsWithNames(), Steps({{0, L"COM3"}, {1, L"COM4"}, {2, L"COM5"}}));
    // Without a cycle nothing else is asked: the COM-port database is not opened.
    EXPECT_EQ(ComDbLog(), std::vector<std::wstring>{});
    ClearRecordedRestarts();
    RunAgain(L"", 0);
    EXPECT_EQ(RecordedRestarts(), std::vector<std::wstring>{});
    EXPECT_TRUE(RunLogHas({"port already in place as COM4, not written, not restarted", "SERP\\0001"}));
}

TEST_F(Remap, ABusyPortWaitsForTheRebootAndAfterItNothingFinishedMoves) {
    // COM4 and COM3 swap, and the port on COM3 is held open: its restart is left
    // for the reboot, so the other, out on the spare COM2, must not take COM3 now.
    const Ports ports = {{0, L"COM4", 1, L"COM3"}, {1, L"COM3", 2, L"COM4"}};
    ASSERT_TRUE(Arrange(ports));
    ASSERT_TRUE(SetBusy(1, true));
    EXPECT_EQ(RunTool(L"", PlanLeft()).exitCode, 0u);
    EXPECT_EQ(RecordedRestartsWithNames(), Steps({{0, L"COM2"}}));
    EXPECT_EQ(RecordedCollisions(), std::vector<std::wstring>{});
    EXPECT_EQ(Links()[PortId(0)], L"COM2");
    EXPECT_EQ(Links()[PortId(1)], L"COM3");
    EXPECT_EQ(ReadNode(PortId(0)).portName, L"COM3");
    EXPECT_EQ(ReadNode(PortId(1)).portName, L"COM4");
    EXPECT_TRUE(RunLogHas({"port written COM4, NOT restarted: it is in use", "SERP\\0001"}));
    EXPECT_TRUE(RunLogHas({"port written COM3 for the next reboot, NOT restarted", "SERP\\0001\": \"KRV"}));
    EXPECT_EQ(LastRunLogSection().rbegin()[1].substr(0, 18), "reboot needed: yes");
    EXPECT_EQ(ComDbNumbers(), std::vector<int>{2});  // the spare stays claimed while a port is on it
    // The boot's marker beside the record is volatile: a reboot takes it away.
    UniqueRegKey child;
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, (std::wstring(mioutil::kPlanBootKeyPath) + L"\\x").c_str(), 0,
                              nullptr, REG_OPTION_NON_VOLATILE, KEY_READ, nullptr, child.put(), nullptr),
              ERROR_CHILD_MUST_BE_VOLATILE);

    // The reboot: every port comes up under its final, distinct name, and now the
    // other port is held open (a service opened it again by name). Nothing is
    // restarted: the plan goes, and the spare with it.
    ASSERT_TRUE(SetBusy(1, false));
    ASSERT_TRUE(SetBusy(0, true));
    ASSERT_TRUE(SimulateReboot());
    ClearRecordedRestarts();
    EXPECT_EQ(RunTool(L"", PlanDone()).exitCode, 0u);
    EXPECT_EQ(RecordedRestarts(), std::vector<std::wstring>{});
    EXPECT_TRUE(RunLogHas({"re-map plan left unfinished by an earlier run: finishing it (2 ports, spare COM2, "
                           "recorded before a reboot"}));
    EXPECT_TRUE(RunLogHas({"re-map plan left by an earlier run: finished"}));
    EXPECT_EQ(LastRunLogSection().rbegin()[1], "reboot needed: no");
    EXPECT_EQ(ComDbNumbers(), std::vector<int>{});
    EXPECT_EQ(ReadNode(PortId(0)).portName, L"COM3");
    EXPECT_EQ(ReadNode(PortId(1)).portName, L"COM4");
    RunAgain(L"", 0);
}

TEST_F(Remap, RemovingThePortsLetsAPendingPlanAndItsSpareGo) {
    const Ports ports = {{0, L"COM4", 1, L"COM3"}, {1, L"COM3", 2, L"COM4"}};
    ASSERT_TRUE(Arrange(ports));
    ASSERT_TRUE(SetBusy(1, true));
    EXPECT_EQ(RunTool(L"", PlanLeft()).exitCode, 0u);
    ASSERT_EQ(ComDbNumbers(), std::vector<int>{2});
    const RunResult r =
        RunTool(L"-RemoveDeviceNode",
                Changes().Gone(kEnumKeys).MayChange(kComDbKey, kComDbValue).Gone(mioutil::kPlanKeyPath));
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_TRUE(RunLogHas({"re-map plan left by an earlier run: its ports were removed, dropped (spare COM2)"}));
    EXPECT_TRUE(RunLogHas({"spare name COM2 released in the COM-port database"}));
    EXPECT_EQ(ComDbNumbers(), std::vector<int>{});
}

// Rules whose whole check is where each port ends, the restarts in order, and
// that a second run finds nothing to do.
struct Rule {
    const char* name;
    Ports ports;
    Restarts steps;
};
const Rule kRules[] = {
    {"TwoCardsOfTwoPorts",
     {{0, L"COM3", 1, L"COM3"}, {1, L"COM8", 2, L"COM4"}, {2, L"COM5", 1, L"COM5"}, {3, L"COM4", 2, L"COM8"}},
     Steps({{0, L"COM3"}, {2, L"COM5"}, {1, L"COM2"}, {3, L"COM8"}, {1, L"COM4"}})},
    // "Serial" gives 0: that port keeps its name and is left alone. "XYZ2" counts
    // like COM2; COM-3 sorts after every positive number and keeps its sign.
    {"NamesWithoutDigitsOrASign",
     {{0, L"COM5", 1, L"COM2"}, {1, L"Serial", 2, kKept}, {2, L"COM-3", 3, L"COM5"}, {3, L"XYZ2", 4, L"COM-3"}},
     Steps({{0, L"COM3"}, {2, L"COM5"}, {3, L"COM-3"}, {0, L"COM2"}})},
    // Member 1 has no "PortName" but location 1: were it to move the base index
    // in pass 2 only, member 2 would read an empty slot and member 0 would end
    // with member 2's old name.
    {"NoPortNamePassedOverInBothPasses",
     {{0, L"COM7", 1, L"COM6"}, {1, L"", 1, kKept}, {2, L"COM6", 3, L"COM7"}},
     Steps({{0, L"COM2"}, {2, L"COM7"}, {0, L"COM6"}})},
    // A short location text gives location number 0, so the position base index - 1.
    // On the first member (base 0) that wraps past the table: the port keeps its
    // name. On the second card it lands on the first card's port 2, which keeps its
    // slot. Port 4 keeps COM1 and the placed ports hold COM2 to COM4: the swap goes through COM5.
    {"ShortLocationTextLeavesThePortOut",
     {{0, L"COM9", L"KORAV COM Port", kKept},
      {1, L"COM4", 1, L"COM2"},
      {2, L"COM3", 2, L"COM3"},
      {3, L"COM2", 1, L"COM4"},
      {4, L"COM1", L"Port 2", kKept}},
     Steps({{2, L"COM3"}, {1, L"COM5"}, {3, L"COM4"}, {1, L"COM2"}})},
    // Members 1 and 2 both say they are port 2 of the first card. Overwriting the
    // slot would lose COM5 and hand out COM9 twice. COM2, which member 2 keeps, is
    // not taken as the temporary name either.
    {"OfTwoOnOnePositionTheFirstKeepsIt",
     {{0, L"COM9", 1, L"COM5"}, {1, L"COM5", 2, L"COM9"}, {2, L"COM2", 2, kKept}},
     Steps({{0, L"COM3"}, {1, L"COM9"}, {0, L"COM5"}})},
};

void PrintTo(const Rule& rule, std::ostream* out) { *out << rule.name; }  // the row's name in the test's

class RemapRule : public Remap, public testing::WithParamInterface<Rule> {};

TEST_P(RemapRule, EndsInCardOrder) {
    ASSERT_TRUE(Arrange(GetParam().ports));
    RemapAndExpect(GetParam().ports);
    EXPECT_EQ(RecordedRestartsWithNames(), GetParam().steps);
    RunAgain(L"", 0);
}

INSTANTIATE_TEST_SUITE_P(Rules, RemapRule, testing::ValuesIn(kRules));

TEST_F(Remap, ANumberTwoPortsHoldStaysWithBoth) {
    // LPT5 and COM5 both read as 5: handing 5 out again would end with two COM5.
    // Member 4 (location 0 on the first card) has no slot and keeps COM7, so the
    // port placed with 7 is left as it is too. The others share out 2, 3 and 8.
    const Ports ports = {{0, L"COM8", 1, L"COM2"}, {1, L"LPT5", 2, kKept},
                         {2, L"COM3", 3, L"COM3"}, {3, L"COM5", 4, kKept},
                         {4, L"COM7", L"KORAV COM Port", kKept}, {5, L"COM7", 5, kKept},
                         {6, L"COM2", 6, L"COM8"}};
    ASSERT_TRUE(Arrange(ports));
    RemapAndExpect(ports);
    EXPECT_EQ(RecordedRestartsWithNames(), Steps({{2, L"COM3"}, {0, L"COM4"}, {6, L"COM8"}, {0, L"COM2"}}));
    EXPECT_TRUE(RunLogHas({"left as it was, not restarted: an earlier port holds", "SERP\\0003\", PortName \"COM5\""}));
    EXPECT_TRUE(RunLogHas({"left as it was, not restarted: a port left as it was holds", "SERP\\0001\", PortName \"LPT5\""}));
    EXPECT_TRUE(RunLogHas({"left as it was, not restarted: its position in card order is past the 256th", "SERP\\0004"}));
    RunAgain(L"", 0);
}

// LPT2 reads as 2, which the sort gives back to it as COM2; another device holds
// COM2, as a node of another enumerator or only as SERIALCOMM's live name, so LPT2
// keeps its name and the others share out the rest.
class RemapHeldElsewhere : public Remap, public testing::WithParamInterface<bool> {
protected:
    void TearDown() override {
        DeleteValue(kNative, mioutil::kSerialCommKeyPath, kForeignDevice);
        Remap::TearDown();
    }
    static constexpr const wchar_t* kForeignDevice = L"\\Device\\MioutilTestSerial";
};

TEST_P(RemapHeldElsewhere, ANameAnotherDeviceHoldsIsNotTaken) {
    const bool node = GetParam();
    Ports ports = {{0, L"LPT2", 1, kKept}, {1, L"COM6", 2, L"COM5"}, {2, L"COM5", 3, L"COM6"}};
    if (node) ports.push_back(Port({std::wstring(kOtherNodes) + L"\\0000", L"COM2"}));
    ASSERT_TRUE(Arrange(ports));
    if (!node) {
        ASSERT_TRUE(SetText(kNative, mioutil::kSerialCommKeyPath, kForeignDevice, L"COM2"));
    }
    RemapAndExpect(ports);
    EXPECT_TRUE(RunLogHas({"port left as it was, not restarted: COM2, the name it would take, is held by ",
                           node ? "device node \"ROOT\\MIOUTIL_TEST\\0000\"" : "\"\\Device\\MioutilTestSerial\" in SERIALCOMM",
                           ": \"KRVPCARD_ENUM\\KRVPCARD_SERP\\0000\", PortName \"LPT2\""}));
    RunAgain(L"", 0);
}

INSTANTIATE_TEST_SUITE_P(Holder, RemapHeldElsewhere, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& p) { return p.param ? "Node" : "SerialComm"; });

// -Status tells what a plain run would do, by its exit code and a line per port,
// and changes nothing: no registry value, no file, not even the run log.
TEST_F(Remap, StatusTellsWhatAPlainRunWouldDoAndChangesNothing) {
    const Ports ports = OneCardOutOfOrder();
    ASSERT_TRUE(Arrange(ports));
    auto status = [](DWORD code, std::initializer_list<const char*> lines, const char* file = __builtin_FILE(),
                     int line = __builtin_LINE()) {
        const std::string log = ReadBytes(RunLogPath());
        const RunResult r = RunTool(L"-Status", Changes(), file, line);
        EXPECT_EQ(r.exitCode, code) << file << ":" << line;
        for (const char* want : lines) EXPECT_NE(r.out.find(want), std::string::npos) << want << "\n" << r.out;
        EXPECT_EQ(ReadBytes(RunLogPath()), log) << file << ":" << line;
        EXPECT_EQ(RecordedRestarts(), std::vector<std::wstring>{});
    };
    status(1, {"ports: 3 port nodes of KRVPCARD_ENUM\\KRVPCARD_SERP, in card order\r\n"
               "port \"KRVPCARD_ENUM\\KRVPCARD_SERP\\0000\": card 1 port 1, PortName \"COM12\": a plain run renames it "
               "COM10 (through the spare name first) and restarts it\r\n"
               "port \"KRVPCARD_ENUM\\KRVPCARD_SERP\\0002\": card 1 port 2, PortName \"COM11\": a plain run rewrites its "
               "friendly name for COM11 and restarts it\r\n",
               "plan: none pending\r\n", "run lock: free\r\n"});

    // A port held open: the plan waits for the reboot.
    ASSERT_TRUE(SetBusy(1, true));
    EXPECT_EQ(RunTool(L"", PlanLeft()).exitCode, 0u);
    ClearRecordedRestarts();
    status(2, {"PortName \"COM10\": a plain run restarts it to take COM10, the name it already has\r\n",
               "plan: left by an earlier run (3 ports, spare COM2, recorded in this boot), waits for a reboot"});

    // Closed again: a plain run finishes it; then nothing is left to do.
    ASSERT_TRUE(SetBusy(1, false));
    EXPECT_EQ(RunTool(L"", Renamed(PlanDone())).exitCode, 0u);
    ClearRecordedRestarts();
    status(0, {"PortName \"COM10\": a plain run leaves it: already in place as COM10\r\n", "plan: none pending"});
}

TEST_F(Remap, TwoRunsAtOnceTakeTurns) {
    ASSERT_TRUE(Arrange(OneCardOutOfOrder()));
    const std::wstring tool = L"\"" + BinDir() + L"\\mioutil.exe\"";
    std::vector<wchar_t> line(tool.begin(), tool.end());
    line.push_back(L'\0');
    // The first run's restarts are slow, and the second starts once the first is
    // in its first restart, holding the lock.
    ASSERT_TRUE(Play(kRestartDelayValue, 500));
    PROCESS_INFORMATION runs[2] = {};
    for (PROCESS_INFORMATION& run : runs) {
        for (int waited = 0; &run != runs && RecordedRestarts().empty() && waited < 600; ++waited) Sleep(50);
        STARTUPINFOW si = {};
        si.cb = sizeof(si);
        ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &run));
    }
    for (PROCESS_INFORMATION& run : runs) {
        EXPECT_EQ(WaitForSingleObject(run.hProcess, 60000), WAIT_OBJECT_0);
        CloseHandle(run.hProcess);
        CloseHandle(run.hThread);
    }
    // Both sections are whole, one after the other; the second waited for the
    // first and found every port in place.
    const std::vector<std::string> second = LastRunLogSection();
    EXPECT_TRUE(RunLogHas({"run lock: waited"}));
    EXPECT_TRUE(RunLogHas({"port already in place as COM11"}));
    EXPECT_EQ(second.back(), "exit code 0 (0x00000000)");
    const std::string log = ReadBytes(RunLogPath());
    const size_t head = log.rfind("\r\n==== ");
    ASSERT_NE(head, std::string::npos);
    EXPECT_EQ(log.rfind("exit code 0 (0x00000000)\r\n", head) + 24, head) << "the first section ends before the second";
    EXPECT_EQ(RecordedRestartsWithNames(), Steps({{2, L"COM11"}, {0, L"COM2"}, {1, L"COM12"}, {0, L"COM10"}}));
}

TEST_F(Remap, SixtyFourPortsOnSixteenCards) {
    // Each card lists its port 1 first and the others in a shuffled order; the
    // COM numbers 10..73 are dealt out shuffled, and come back in card order.
    const int cardOrders[4][4] = {{1, 3, 2, 4}, {1, 4, 3, 2}, {1, 2, 4, 3}, {1, 4, 2, 3}};
    Ports ports;
    for (int m = 0; m < 64; ++m) {
        const int portOnCard = cardOrders[(m / 4) % 4][m % 4];
        ports.push_back({m, L"COM" + std::to_wstring(10 + (m * 37) % 64), portOnCard,
                         L"COM" + std::to_wstring(10 + (m / 4) * 4 + portOnCard - 1)});
    }
    ASSERT_TRUE(Arrange(ports));
    RemapAndExpect(ports);
    RunAgain(L"", 0);
}

TEST_F(Remap, MembersPastTheLastSlotKeepTheirNames) {
    // 258 ports on 129 cards of two; the last card's positions 256 and 257 have no
    // slot. The others get 300 - 255 .. 300, ascending.
    Ports ports;
    for (int m = 0; m < 258; ++m) {
        ports.push_back({m, L"COM" + std::to_wstring(300 - m), m % 2 + 1, m < 256 ? L"COM" + std::to_wstring(45 + m) : kKept});
    }
    ASSERT_TRUE(Arrange(ports));
    RemapAndExpect(ports);
    // Members m and 255 - m swap their numbers: 128 cycles, one extra restart each.
    EXPECT_EQ(RecordedRestarts().size(), 256u + 128u);
    RunAgain(L"", 0);
}

TEST_F(Remap, NoCardLeavesOtherNodesAlone) {
    // A node of the card's bus that is not a port, and a node of another
    // enumerator, both with a "PortName" and a port's location text.
    const Ports nodes = {Port({L"KRVPCARD_ENUM\\KRVPCARD_BUS\\0000", L"COM2", LocationText(1), L"bus"}),
                         Port({std::wstring(kOtherNodes) + L"\\0000", L"COM1", LocationText(1), L"other"})};
    ASSERT_TRUE(Arrange(nodes));
    RemapAndExpect(nodes);
}

TEST_F(Remap, ASwapGoesThroughTheLowestNumberNoNodeHoldsAndTheDatabaseDoesNotReserve) {
    // The database reserves COM1, COM2 and the ports' own numbers; a node of
    // another enumerator holds COM3. The swap goes through COM6.
    ASSERT_TRUE(SetComDb({1, 2, 4, 5}));
    const Ports ports = {Port({std::wstring(kOtherNodes) + L"\\0000", L"COM3"}), {0, L"COM5", 1, L"COM4"},
                         {1, L"COM4", 2, L"COM5"}};
    ASSERT_TRUE(Arrange(ports));
    RemapAndExpect(ports);
    EXPECT_EQ(RecordedRestartsWithNames(), Steps({{0, L"COM6"}, {1, L"COM5"}, {0, L"COM4"}}));
    // The database is read once; the spare is claimed while the cycle moves, then released.
    EXPECT_EQ(ComDbLog(), (std::vector<std::wstring>{L"open", L"usage", L"close", L"open", L"claim 6 -> 0", L"close",
                                                     L"open", L"release 6 -> 0", L"close"}));
    EXPECT_EQ(ComDbNumbers(), (std::vector<int>{1, 2, 4, 5}));
}

TEST_F(Remap, WithoutTheDatabaseASwapKeepsItsNames) {
    // The database does not open, so no number is known to be free: members 0
    // and 1, which swap, keep their names and are not restarted; member 2 is.
    SetEnvironmentVariableW(kComDbOpenFailsVariable, L"1");
    const Ports ports = {{0, L"COM4", 1, kKept}, {1, L"COM3", 2, kKept}, {2, L"COM5", 3, L"COM5"}};
    ASSERT_TRUE(Arrange(ports));
    RemapAndExpect(ports);
    EXPECT_EQ(RecordedRestartsWithNames(), Steps({{2, L"COM5"}}));
}

// A run cut short at its Nth restart, before or after the port's link moved; the
// next run finishes what it left and ends where a run never cut short ends.
class RemapCutShort : public Remap, public testing::WithParamInterface<std::tuple<int, bool>> {};

TEST_P(RemapCutShort, TheNextRunFinishesIt) {
    Ports ports = OneCardOutOfOrder();
    // Cut at the first restart, which rewrites member 2's friendly name only, before
    // its class installer ran: its names are final and its driver never left COM11.
    ports[2].restarted = GetParam() != std::make_tuple(1, true);
    ASSERT_TRUE(Arrange(ports));
    ASSERT_TRUE(Play(kKillAtValue, static_cast<DWORD>(std::get<0>(GetParam()))));
    ASSERT_TRUE(Play(kKillBeforeLinkValue, std::get<1>(GetParam()) ? 1 : 0));
    EXPECT_EQ(RunTool(L"", PlanLeft()).exitCode, 9u);
    ASSERT_TRUE(Play(kKillAtValue, 0));
    RemapAndExpect(ports, PlanDone());
    // Cut at the first restart, which only rewrote a port's friendly name, no
    // port had moved: the plan is made again.
    EXPECT_TRUE(RunLogHas({std::get<0>(GetParam()) == 1 ? "no port had moved yet, dropped"
                                                        : "re-map plan left unfinished by an earlier run: finishing it"}));
    EXPECT_EQ(ComDbNumbers(), std::vector<int>{});  // the spare released
    RunAgain(L"", 0);
}

// A plan that cannot be read whole, or that the ports disagree with (port 0, out
// on the spare COM2, put back on COM12 by hand), is not acted on: it is dropped and
// the re-map runs on the names the ports hold. Its spare goes only where nothing
// holds it: the damaged one's stays, as port 0 still has COM2 in its PortName.
class RemapLeftPlan : public Remap, public testing::WithParamInterface<bool> {};

TEST_P(RemapLeftPlan, ThatCannotBeReadWholeOrDisagreesIsNotActedOn) {
    const bool byHand = GetParam();
    ASSERT_TRUE(Arrange(OneCardOutOfOrder()));
    ASSERT_TRUE(Play(kKillAtValue, 3));  // once port 0 is out on the spare, and recorded so
    EXPECT_EQ(RunTool(L"", PlanLeft()).exitCode, 9u);
    ASSERT_TRUE(Play(kKillAtValue, 0));
    if (byHand) {
        // Put back on its old COM12 and restarted by the admin: beside port 1, which took COM12 meanwhile.
        ASSERT_TRUE(SetText(kNative, std::wstring(kPortKeys) + L"\\0000\\Device Parameters", mioutil::kPortNameValue,
                            L"COM12"));
        ASSERT_TRUE(SeedLinks());
        EXPECT_EQ(RunTool(L"", PlanDone()).exitCode, 0u);
        EXPECT_TRUE(RunLogHas({"re-map plan left by an earlier run: stale, not acted on, the port's PortName is not "
                               "the name the plan gives it: \"KRVPCARD_ENUM\\KRVPCARD_SERP\\0000\"; dropped"}));
        EXPECT_TRUE(RunLogHas({"spare name COM2 released in the COM-port database"}));
        EXPECT_EQ(ComDbNumbers(), std::vector<int>{});
        // Two ports on COM12 now: neither is renumbered into another's name.
        EXPECT_EQ(ReadNode(PortId(0)).portName, L"COM12");
        EXPECT_EQ(ReadNode(PortId(1)).portName, L"COM12");
        return;
    }
    std::string record;
    ASSERT_TRUE(ReadValue(kNative, mioutil::kPlanKeyPath, mioutil::kPlanValue, &record));
    record.pop_back();
    ASSERT_TRUE(SetValue(kNative, mioutil::kPlanKeyPath, mioutil::kPlanValue, REG_BINARY, record.data(),
                         static_cast<DWORD>(record.size())));
    EXPECT_EQ(RunTool(L"", Renamed(PlanDone())).exitCode, 0u);
    EXPECT_TRUE(RunLogHas({"re-map plan left by an earlier run: cannot be read whole", "not acted on"}));
    EXPECT_TRUE(RunLogHas({"spare name COM2 stays reserved in the COM-port database: a device node"}));
    EXPECT_EQ(ComDbNumbers(), std::vector<int>{2});
    EXPECT_EQ(ReadNode(PortId(0)).portName, L"COM2");
}

INSTANTIATE_TEST_SUITE_P(Plan, RemapLeftPlan, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& p) { return p.param ? "ByHand" : "Damaged"; });

// Where the plan cannot be recorded (the tool's key is a link to nowhere), no
// spare is claimed and no port of a cycle moves; the port that keeps its number
// still does.
TEST_F(Remap, WhereThePlanCannotBeRecordedNoSpareIsUsed) {
    ASSERT_TRUE(Arrange(OneCardOutOfOrder()));
    UniqueRegKey link;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, mioutil::kPlanKeyPath, 0, nullptr,
                              REG_OPTION_VOLATILE | REG_OPTION_CREATE_LINK, KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr,
                              link.put(), nullptr),
              ERROR_SUCCESS);
    const wchar_t target[] = L"\\Registry\\Machine\\Software\\MioutilE2E\\Nowhere\\Deeper";
    ASSERT_EQ(RegSetValueExW(link.get(), L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(target),
                             sizeof(target) - sizeof(wchar_t)),
              ERROR_SUCCESS);
    link.reset();
    const Ports ports = {{0, L"COM12", 1, kKept}, {1, L"COM10", 3, kKept}, {2, L"COM11", 2, L"COM11"}};
    RemapAndExpect(ports);
    EXPECT_TRUE(RunLogHas({"re-map plan could not be recorded, error"}));
    EXPECT_TRUE(RunLogHas({"it would take a number of its cycle, and without its plan recorded no spare COM name is used",
                           "SERP\\0000"}));
    EXPECT_EQ(ComDbLog(), std::vector<std::wstring>({L"open", L"usage", L"close"}));
    EXPECT_EQ(ComDbNumbers(), std::vector<int>{});
    // The link itself goes (advapi32 would delete what it points at).
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, mioutil::kPlanKeyPath, REG_OPTION_OPEN_LINK, DELETE, link.put()),
              ERROR_SUCCESS);
    using NtDeleteKeyFn = LONG(WINAPI*)(HANDLE);
    const auto deleteKey = reinterpret_cast<NtDeleteKeyFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtDeleteKey")));
    ASSERT_NE(deleteKey, nullptr);
    EXPECT_EQ(deleteKey(link.get()), 0);
}

INSTANTIATE_TEST_SUITE_P(EveryRestart, RemapCutShort, testing::Combine(testing::Range(1, 5), testing::Bool()));

}  // namespace
}  // namespace e2e
