// The re-map (RemapPorts) driven over tables of members in the model of the
// machine, the faults its state once had, one case each, and the order of its
// restarts. Every busy port and cut-short run is the model check's
// (remap_model_test.cpp).
#include "devices/remap_walk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "fake_ports.h"
#include "restart_order_check.h"

namespace mioutil {
namespace {

using Member = FakeMember;
using Notes = std::vector<std::pair<uint32_t, PortNote>>;
using Steps = std::vector<std::pair<uint32_t, int32_t>>;  // (member, number) in order

// One card whose port n holds COM<numbers[n]>; `friendly`: its friendly name is final.
std::vector<Member> Card(std::vector<int32_t> numbers, bool friendly = false) {
    std::vector<Member> members;
    for (int32_t n : numbers) {
        members.push_back({n, true, static_cast<int32_t>(members.size()) + 1});
        members.back().friendly = friendly;
    }
    return members;
}

// Members left out keep their names: the numbers held before and after are the
// same, and no number is held twice after the run unless it was before.
void ExpectNoNumberLostOrDuplicated(const std::vector<Member>& members, const std::vector<int32_t>& result) {
    std::vector<int32_t> before, after;
    for (size_t m = 0; m < members.size(); ++m) {
        before.push_back(members[m].number);
        after.push_back(result[m] != 0 ? result[m] : members[m].number);
    }
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    EXPECT_EQ(before, after);
}

TEST(Remap, NoNumberIsLostOrHandedOutTwice) {
    // Member 1 shares position 1 with member 2; member 3 (location 0 on the
    // first card, base 0) wraps out of the table; member 4's name had no digits.
    const std::vector<Member> members = {
        {20, true, 1}, {21, true, 2}, {9, true, 2}, {30, true, 0}, {0, true, 3}, {7, true, 4}};
    FakePorts ports(members);
    ports.Run();
    const Notes leftOut = {{2, PortNote::kPositionTaken}, {3, PortNote::kPastLastSlot}, {4, PortNote::kNoNumber}};
    EXPECT_TRUE(std::equal(leftOut.begin(), leftOut.end(), ports.notes.begin()));
    std::vector<int32_t> result(members.size(), 0);
    for (const auto& w : ports.writes) result[w.first] = w.second;
    EXPECT_EQ(result, (std::vector<int32_t>{7, 20, 0, 0, 0, 21}));
    ExpectNoNumberLostOrDuplicated(members, result);
}

TEST(Remap, ANumberTwoPortsHoldIsHandedToNeither) {
    // LPT5 and COM5 both read as 5: renumbering them would leave two COM5.
    const std::vector<Member> twice = {{8, true, 1}, {5, true, 2}, {3, true, 3}, {5, true, 4}};
    FakePorts ports(twice);
    ports.Run();
    EXPECT_EQ(std::vector<PortNote>({ports.notes[0].second, ports.notes[1].second}),
              (std::vector<PortNote>{PortNote::kNumberHeldTwice, PortNote::kNumberKeptByLeftOut}));
    EXPECT_EQ(ports.Registry(0).number, 3);
    EXPECT_EQ(ports.Registry(2).number, 8);
    EXPECT_EQ(ports.broken, std::vector<std::string>{});

    // Member 2, left out past the table, holds 4, which member 1 was placed with:
    // the sort would hand 4 to member 3, next to the name member 2 keeps.
    const std::vector<Member> outside = {{3, true, 1}, {4, true, 2}, {4, true, 0}, {2, true, 1}};
    FakePorts kept(outside);
    kept.Run();
    EXPECT_EQ(kept.live, (std::vector<FakeName>{{2, Style::kExact}, {4, Style::kExact}, {4, Style::kExact},
                                                {3, Style::kExact}}));
    EXPECT_EQ(kept.broken, std::vector<std::string>{});
}

TEST(Remap, AMemberWithoutANumberMovesNoBaseAndPositionsComeFromPassOne) {
    // Member 1 cannot be read and says location 1; were it to move the base
    // index, member 2 (location 3) would land in an empty slot. Members 3 and 4
    // have no location: their member index is their position.
    std::vector<Member> members = {{7, true, 1}, {9, true, 1}, {6, true, 3}, {2, false, 0}, {1, false, 0}};
    members[1].readable = false;
    FakePorts ports(members);
    ports.Run();
    EXPECT_EQ(ports.notes.front(), std::make_pair(1u, PortNote::kNoReadableName));
    std::vector<int32_t> after;
    for (uint32_t m = 0; m < members.size(); ++m) after.push_back(ports.Registry(m).number);
    EXPECT_EQ(after, (std::vector<int32_t>{1, 9, 2, 6, 7}));
}

TEST(Remap, PortsInOrderAreRewrittenOnceAndAskNothingElse) {
    // Numbers already in card order, friendly names still old: each port is
    // written its own name, one restart each, no spare, no one else asked.
    FakePorts ports(Card({3, 4, 5}));
    ports.Run();
    EXPECT_EQ(ports.writes, (Steps{{0, 3}, {1, 4}, {2, 5}}));
    EXPECT_EQ(ports.asked, 0);
    EXPECT_TRUE(ports.record.empty());
}

TEST(Remap, ACycleGoesThroughTheLowestNumberNoDeviceHoldsNorTheDatabaseReserves) {
    // One card listed out of order: members 0 and 1 swap 12 and 10, member 2 keeps 11.
    FakePorts ports({{12, true, 1}, {10, true, 3}, {11, true, 2}});
    for (int32_t n : {1, 2, 10, 11, 12}) ports.Reserve(n);
    ports.foreignNode = 3;
    ports.foreignLive = 4;
    ports.Run();
    EXPECT_EQ(ports.writes, (Steps{{2, 11}, {0, 5}, {1, 12}, {0, 10}}));
    // The record names the spare before it is claimed, and goes after it is released.
    EXPECT_EQ(ports.spareCalls, (std::vector<std::string>{"claim 5", "release 5"}));
    EXPECT_TRUE(ports.record.empty());
    EXPECT_EQ(ports.broken, std::vector<std::string>{});
}

TEST(Remap, WithoutAFreeNumberOrARecordTheCyclesKeepTheirNames) {
    // Members 0 and 1 swap 4 and 3, members 2 and 3 swap 8 and 7, member 4 keeps
    // 9. When no number is free, or the database cannot be read, or the record
    // cannot be written, neither cycle moves and the rest still does.
    for (int variant = 0; variant < 3; ++variant) {
        FakePorts ports({{4, true, 1}, {3, true, 2}, {8, true, 3}, {7, true, 4}, {9, true, 5}});
        if (variant == 0) {
            for (int32_t n = 1; n <= kComNumberLimit; ++n) ports.Reserve(n);
        }
        ports.databaseWorks = variant != 1;
        ports.recordWorks = variant != 2;
        ports.Run();
        EXPECT_EQ(ports.writes, (Steps{{4, 9}})) << variant;
        const PortNote why = variant == 2 ? PortNote::kCycleNotRecorded : PortNote::kCycleWithoutSpare;
        EXPECT_EQ(ports.notes, (Notes{{4, PortNote::kRestarted}, {0, why}, {1, why}, {2, why}, {3, why}})) << variant;
        EXPECT_EQ(ports.spareCalls, std::vector<std::string>{}) << variant;  // no spare claimed without a record
        EXPECT_TRUE(ports.record.empty());
    }
}

TEST(Remap, NamesHeldElsewhereAndFinishedPortsAreLeftAlone) {
    // LPT2 reads as 2, which it would be renamed COM2 with; another device holds
    // COM2, so it keeps its name and the numbers are dealt without it. Port 1
    // has its final names already: neither written nor restarted, nothing recorded.
    std::vector<Member> members = {{2, true, 1}, {5, true, 2}, {7, true, 3}};
    members[0].style = Style::kLpt;
    members[1].friendly = true;
    for (int foreign = 0; foreign < 2; ++foreign) {
        FakePorts ports(members);
        (foreign == 0 ? ports.foreignNode : ports.foreignLive) = 2;
        ports.Run();
        EXPECT_EQ(ports.writes, (Steps{{2, 7}}));
        EXPECT_EQ(ports.notes,
                  (Notes{{0, PortNote::kNameHeldElsewhere}, {1, PortNote::kInPlace}, {2, PortNote::kRestarted}}));
        EXPECT_TRUE(ports.record.empty());
        ports.ClearLogs();
        ports.Run();  // a second run restarts nothing
        EXPECT_EQ(ports.writes, Steps{});
    }
}

// The faults the re-map's state once had, one case each.

TEST(RemapFault, AfterARebootWithTheOtherPortBusyNothingFinishedMoves) {
    // COM2 and COM1 swap through the spare COM3 while port 1 is busy: it waits for
    // the reboot, and port 0 is written COM1 for it. After the reboot port 0 is
    // the busy one (a service opened it again by name): both hold their final
    // names already, and the next run restarts neither, drops the plan and lets
    // the spare go.
    FakePorts ports(Card({2, 1}));
    ports.Reserve(1);
    ports.Reserve(2);
    ports.members[1].busy = true;
    EXPECT_TRUE(ports.Run().rebootNeeded);
    EXPECT_FALSE(ports.record.empty());
    ports.Reboot();
    ports.members[1].busy = false;
    ports.members[0].busy = true;
    ports.ClearLogs();
    const RemapSummary after = ports.Run();
    EXPECT_FALSE(after.rebootNeeded);
    EXPECT_EQ(ports.writes, Steps{});
    EXPECT_EQ(ports.live, (std::vector<FakeName>{{1, Style::kExact}, {2, Style::kExact}}));
    EXPECT_TRUE(ports.record.empty());
    EXPECT_EQ(ports.spareCalls, std::vector<std::string>{"release 3"});
    EXPECT_EQ(ports.broken, std::vector<std::string>{});
}

// A plan recorded by hand: ports 0 and 1 of Card({2, 1}), spare 3, in this boot.
FakePorts WithPlan(std::vector<PlanPort> ports, int32_t spare = 3) {
    FakePorts machine(Card({2, 1}, true));
    machine.Reserve(1);
    machine.Reserve(2);
    machine.Reserve(spare);
    RemapPlan plan = {};
    plan.spare = spare;
    for (const PlanPort& p : ports) plan.port[plan.count++] = p;
    EXPECT_TRUE(machine.SavePlan(plan, true));
    machine.Start();
    return machine;
}

constexpr NameSet kOnFrom = Only(PlanName::kFrom);

TEST(RemapFault, ARecordWhoseNumbersAreNotTheCardsIsNotActedOn) {
    // A right check sum over numbers that are not the ports' own: a target a
    // foreign node holds, below 1, past 4096, two ports from one number.
    const std::vector<std::vector<PlanPort>> records = {
        {{0, 2, 7, PlanName::kFrom, kOnFrom, true}, {1, 1, 2, PlanName::kFrom, kOnFrom, true}},
        {{0, 2, -5, PlanName::kFrom, kOnFrom, true}, {1, 1, 2, PlanName::kFrom, kOnFrom, true}},
        {{0, 2, 99999, PlanName::kFrom, kOnFrom, true}, {1, 1, 2, PlanName::kFrom, kOnFrom, true}},
        {{0, 2, 2, PlanName::kFrom, kOnFrom, true}, {1, 2, 1, PlanName::kFrom, kOnFrom, true}},
    };
    for (const std::vector<PlanPort>& record : records) {
        FakePorts ports = WithPlan(record);
        ports.foreignNode = 7;
        ports.Run();
        EXPECT_EQ(ports.planNotes.front(), PlanNote::kStale);
        EXPECT_EQ(ports.Registry(0).number, 1);  // the re-map starts again from the machine
        EXPECT_EQ(ports.Registry(1).number, 2);
        EXPECT_TRUE(ports.record.empty());
        EXPECT_EQ(ports.broken, std::vector<std::string>{});
    }
}

TEST(RemapFault, ARecordThePortsDisagreeWithIsStaleAndItsSpareGoesOnlyWhereNothingHoldsIt) {
    // The record says port 0 is out on the spare COM3; by hand it was put back on
    // COM2. The record is dropped, and the spare released; but not where a
    // device now holds COM3.
    for (int holder = 0; holder < 2; ++holder) {
        FakePorts ports = WithPlan(
            {{0, 2, 1, PlanName::kSpare, Only(PlanName::kSpare), true}, {1, 1, 2, PlanName::kFrom, kOnFrom, true}});
        if (holder == 1) ports.foreignLive = 3;
        ports.Run();
        EXPECT_EQ(ports.planNotes.front(), PlanNote::kStale);
        EXPECT_EQ(HoldsComNumber(ports.reserved, 3), holder == 1);
        EXPECT_EQ(ports.broken, std::vector<std::string>{});
    }
}

TEST(RemapFault, FinishingARecordKeepsTheHeldElsewhereRule) {
    // Port 0 is out on the spare; meanwhile a foreign node took COM1, the name it
    // is to take. It stays on the spare, the plan waits, nobody collides.
    FakePorts ports(Card({3, 2}, true));
    ports.Reserve(1);
    ports.Reserve(2);
    ports.Reserve(3);
    RemapPlan plan = {};
    plan.spare = 3;
    plan.count = 2;
    plan.port[0] = {0, 2, 1, PlanName::kSpare, Only(PlanName::kSpare), true};
    plan.port[1] = {1, 1, 2, PlanName::kTo, Only(PlanName::kTo), true};
    ports.SavePlan(plan, true);
    ports.foreignNode = 1;
    ports.Start();
    ports.Run();
    EXPECT_EQ(ports.notes, (Notes{{0, PortNote::kNameHeldElsewhere}}));
    EXPECT_EQ(ports.Registry(0).number, 3);
    EXPECT_FALSE(ports.record.empty());
    EXPECT_EQ(ports.broken, std::vector<std::string>{});
}

TEST(RemapFault, TheRecordComesBeforeTheClaimAndGoesAfterTheRelease) {
    // Cut short at each change of a swap: right after the record is written, no
    // spare is claimed yet; right before the record goes, it says every port is
    // done. A device that takes the spare's number in between keeps it.
    FakePorts clean(Card({2, 1}));
    std::vector<FakePorts> cuts;
    clean.onCut = [&](const FakePorts& machine) { cuts.push_back(machine.CutHere()); };
    clean.Run();
    ASSERT_GE(cuts.size(), 3u);
    EXPECT_FALSE(cuts[2].record.empty());  // the record (with its marker) is written,
    EXPECT_FALSE(HoldsComNumber(cuts[2].reserved, 3));  // the spare not yet claimed
    FakePorts beforeDrop = cuts.back();
    EXPECT_FALSE(beforeDrop.record.empty());
    EXPECT_FALSE(HoldsComNumber(beforeDrop.reserved, 3));  // released, the record still there
    beforeDrop.Reserve(3);
    beforeDrop.foreignLive = 3;
    beforeDrop.Run();
    EXPECT_TRUE(beforeDrop.record.empty());
    EXPECT_TRUE(HoldsComNumber(beforeDrop.reserved, 3));
}

TEST(RemapFault, ARecordThatCannotBeReadWholeLetsItsSpareGo) {
    // Cut at its last byte: the spare is known from the head and released, as
    // nothing holds it; a record whose head is gone too is only dropped.
    for (size_t keep : {size_t{0}, size_t{3}}) {
        FakePorts ports = WithPlan(
            {{0, 2, 1, PlanName::kSpare, Only(PlanName::kSpare), true}, {1, 1, 2, PlanName::kFrom, kOnFrom, true}});
        ports.record.resize(keep == 0 ? ports.record.size() - 1 : keep);
        ports.Run();
        EXPECT_EQ(ports.planNotes.front(), keep == 0 ? PlanNote::kUnreadable : PlanNote::kDamaged);
        EXPECT_EQ(HoldsComNumber(ports.reserved, 3), keep != 0);
        EXPECT_TRUE(ports.record.empty());
    }
}

TEST(RemapFault, ANameThatOnlyReadsAsANumberDoesNotHideAHolder) {
    // The card's LPT2 reads as 2; SERIALCOMM's COM2 is another device's. No port
    // is renamed COM2 beside it: LPT2 keeps its name, the others swap.
    std::vector<Member> members = Card({3, 2, 1});
    members[1].style = Style::kLpt;
    FakePorts ports(members);
    ports.foreignLive = 2;
    ports.Run();
    EXPECT_EQ(ports.Registry(1), (FakeName{2, Style::kLpt}));
    EXPECT_EQ(ports.Registry(0).number, 1);
    EXPECT_EQ(ports.Registry(2).number, 3);
    EXPECT_EQ(ports.broken, std::vector<std::string>{});
}

TEST(RemapFault, APortInPlaceInAnEarlierRoundIsNotReportedInPlaceOnceEmptied) {
    // Port 1 is in place as COM2 until port 2's COM3, held by a foreign node, is
    // dealt again; then it would take COM3 itself and keeps its name. It is told
    // held elsewhere once, never "in place as COM0".
    FakePorts ports(Card({3, 2, 1}, true));
    ports.foreignNode = 3;
    ports.Run();
    EXPECT_EQ(ports.notes, (Notes{{2, PortNote::kNameHeldElsewhere}, {1, PortNote::kNameHeldElsewhere},
                                  {0, PortNote::kInPlace}}));
}

// The restart order of a list of (from, to) moves, members 0, 1, 2, ...
Steps Order(const std::vector<std::pair<int32_t, int32_t>>& fromTo, int32_t spare) {
    std::vector<PortMove> moves;
    for (const auto& ft : fromTo) moves.push_back({static_cast<uint32_t>(moves.size()), ft.first, ft.second});
    RestartPlan plan;
    RestartOrder(moves.data(), static_cast<uint32_t>(moves.size()), spare, &plan);
    EXPECT_EQ(CheckRestartOrder(moves.data(), static_cast<uint32_t>(moves.size()), spare), nullptr);
    Steps steps;
    for (uint32_t i = 0; i < plan.count; ++i) steps.push_back({plan.step[i].member, plan.step[i].number});
    return steps;
}

TEST(RestartOrder, FreeNumbersFirstOneSpareNamePerCycle) {
    EXPECT_EQ(Order({{3, 3}, {4, 4}, {5, 5}}, 9), (Steps{{0, 3}, {1, 4}, {2, 5}}));                // identity
    EXPECT_EQ(Order({{4, 3}, {3, 4}}, 9), (Steps{{0, 9}, {1, 4}, {0, 3}}));                        // one swap
    EXPECT_EQ(Order({{3, 4}, {4, 5}, {5, 3}}, 9), (Steps{{0, 9}, {2, 3}, {1, 5}, {0, 4}}));        // 3-cycle
    EXPECT_EQ(Order({{2, 1}, {1, 2}, {6, 6}, {4, 3}, {3, 4}}, 9),                                  // two cycles
              (Steps{{2, 6}, {0, 9}, {1, 2}, {0, 1}, {3, 9}, {4, 4}, {3, 3}}));
    EXPECT_EQ(Order({{3, 4}, {4, 5}, {5, 6}}, 0), (Steps{{2, 6}, {1, 5}, {0, 4}}));                // chain
    EXPECT_EQ(Order({{4, 3}, {3, 4}, {5, 6}, {7, 7}}, 0), (Steps{{2, 6}, {3, 7}}));                 // no spare
}

}  // namespace
}  // namespace mioutil
