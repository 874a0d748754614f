// The re-map's whole sequence (RenumberPorts) driven over tables of members,
// and the order of its restarts.
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

// What each member ends with (0 = never written); no run gives a member a number
// another holds. `notes`: why the members left alone were, as the run log hears it.
std::vector<int32_t> Remap(const std::vector<Member>& members, const Notes& notes = {}) {
    FakePorts ports(members);
    ports.Run();
    EXPECT_EQ(ports.collisions, 0);
    EXPECT_EQ(ports.notes, notes);
    std::vector<int32_t> result(members.size(), 0);
    for (const auto& w : ports.writes) result[w.first] = w.second;
    return result;
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
    const std::vector<int32_t> result = Remap(members, {{2, PortNote::kPositionTaken},
                                                        {3, PortNote::kPastLastSlot},
                                                        {4, PortNote::kNoNumber}});
    EXPECT_EQ(result, (std::vector<int32_t>{7, 20, 0, 0, 0, 21}));
    ExpectNoNumberLostOrDuplicated(members, result);
}

TEST(Remap, ANumberTwoPortsHoldIsHandedToNeither) {
    // LPT5 and COM5 both read as 5: renumbering them would leave two COM5.
    const std::vector<Member> twice = {{8, true, 1}, {5, true, 2}, {3, true, 3}, {5, true, 4}};
    const std::vector<int32_t> result =
        Remap(twice, {{3, PortNote::kNumberHeldTwice}, {1, PortNote::kNumberKeptByLeftOut}});
    EXPECT_EQ(result, (std::vector<int32_t>{3, 0, 8, 0}));
    ExpectNoNumberLostOrDuplicated(twice, result);

    // Member 2, left out past the table, holds 4, which member 1 was placed with:
    // the sort would hand 4 to member 3, next to the name member 2 keeps.
    const std::vector<Member> outside = {{3, true, 1}, {4, true, 2}, {4, true, 0}, {2, true, 1}};
    const std::vector<int32_t> kept = Remap(
        outside, {{2, PortNote::kPastLastSlot}, {1, PortNote::kNumberKeptByLeftOut}});
    EXPECT_EQ(kept, (std::vector<int32_t>{2, 0, 0, 3}));
    ExpectNoNumberLostOrDuplicated(outside, kept);
}

TEST(Remap, AMemberWithoutANumberMovesNoBaseAndPositionsComeFromPassOne) {
    // Member 1 cannot be read and says location 1; were it to move the base
    // index, member 2 (location 3) would land in an empty slot. Members 3 and 4
    // have no location: their member index is their position.
    const std::vector<Member> members = {
        {7, true, 1}, {9, true, 1, false}, {6, true, 3}, {2, false, 0}, {1, false, 0}};
    EXPECT_EQ(Remap(members, {{1, PortNote::kNoReadableName}}),
              (std::vector<int32_t>{1, 0, 2, 6, 7}));
}

TEST(Remap, RestartsEveryPlacedPortOnceInMemberOrderWhenNoNameIsTaken) {
    // Numbers already in card order: each port takes its own, one restart each, and
    // nothing else is asked of the system.
    FakePorts ports({{3, true, 1}, {4, true, 2}, {5, true, 3}});
    ports.Run();
    EXPECT_EQ(ports.writes, (Steps{{0, 3}, {1, 4}, {2, 5}}));
    EXPECT_EQ(ports.collects, 0);
}

TEST(Remap, ACycleGoesThroughTheLowestNumberNoDeviceHoldsNorTheDatabaseReserves) {
    // One card listed out of order: members 0 and 1 swap 12 and 10, member 2 keeps 11.
    FakePorts ports({{12, true, 1}, {10, true, 3}, {11, true, 2}});
    ports.heldElsewhere = {1, 2, 4};
    ports.Run();
    EXPECT_EQ(ports.writes, (Steps{{2, 11}, {0, 3}, {1, 12}, {0, 10}}));
    EXPECT_EQ(ports.collects, 1);
    EXPECT_EQ(ports.collisions, 0);
}

TEST(Remap, WithoutAFreeNumberTheCycleKeepsItsNames) {
    // Members 0 and 1 swap 4 and 3, members 2 and 3 swap 8 and 7, member 4 keeps 9.
    // When what is held cannot be known, or every number is, neither cycle
    // moves and the rest still does.
    for (bool collectWorks : {false, true}) {
        FakePorts ports({{4, true, 1}, {3, true, 2}, {8, true, 3}, {7, true, 4}, {9, true, 5}});
        ports.collectWorks = collectWorks;
        if (collectWorks) {
            for (int32_t n = 1; n <= kComNumberLimit; ++n) ports.heldElsewhere.push_back(n);
        }
        ports.Run();
        EXPECT_EQ(ports.writes, (Steps{{4, 9}})) << collectWorks;
        EXPECT_EQ(ports.notes, (Notes{{0, PortNote::kCycleWithoutSpare},
                                      {1, PortNote::kCycleWithoutSpare},
                                      {2, PortNote::kCycleWithoutSpare},
                                      {3, PortNote::kCycleWithoutSpare}}));
        EXPECT_EQ(ports.collisions, 0);
    }
}

TEST(Remap, ABusyPortKeepsItsLiveNameAndTheOthersWaitForTheReboot) {
    // COM1 and COM2 swap, and the port on COM1 is held open: it cannot take COM2
    // now, so the other port, out on the spare COM3, is written COM1 for the
    // reboot instead of colliding with it.
    FakePorts ports({{2, true, 1}, {1, true, 2}});
    ports.members[1].busy = true;
    ports.Run();
    EXPECT_EQ(ports.writes, (Steps{{0, 3}}));
    EXPECT_EQ(ports.forReboot, (Steps{{0, 1}}));
    EXPECT_EQ(ports.live, (std::vector<int32_t>{3, 1}));
    EXPECT_EQ(ports.collisions, 0);
    EXPECT_FALSE(ports.record.empty());  // left for the next run, the spare still claimed
    EXPECT_EQ(ports.spareCalls, (std::vector<std::string>{"claim 3"}));

    // After the reboot every port has its final name, and the next run only
    // restarts what the plan still holds to be moved, then lets the spare go.
    ports.Reboot();
    ports.members[1].busy = false;
    ports.writes.clear();
    ASSERT_TRUE(ports.Run());
    EXPECT_EQ(ports.writes, (Steps{{1, 2}, {0, 1}}));
    EXPECT_EQ(ports.live, (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(ports.collisions, 0);
    EXPECT_TRUE(ports.record.empty());
    EXPECT_EQ(ports.spareCalls, (std::vector<std::string>{"claim 3", "release 3"}));
    EXPECT_EQ(ports.notes, (Notes{{0, PortNote::kInPlace}, {1, PortNote::kInPlace}}));
}

TEST(Remap, NamesHeldElsewhereAndFinishedPortsAreLeftAlone) {
    // LPT2 reads as 2, which it would be renamed COM2 with; another device holds
    // COM2, so it keeps its name and the numbers are dealt without it. Port 1
    // has its final names already: neither written nor restarted, nothing recorded.
    FakePorts ports({{2, true, 1}, {5, true, 2}, {7, true, 3}});
    ports.members[0].exact = false;
    ports.members[1].friendly = true;
    ports.namedElsewhere = {2};
    ports.Run();
    EXPECT_EQ(ports.writes, (Steps{{2, 7}}));
    EXPECT_EQ(ports.notes, (Notes{{0, PortNote::kNameHeldElsewhere}, {1, PortNote::kInPlace}}));
    EXPECT_TRUE(ports.record.empty());

    ports.writes.clear();
    ports.Run();  // a second run restarts nothing
    EXPECT_EQ(ports.writes, (Steps{}));
}

TEST(Remap, ARunCutShortAtAnyRestartIsFinishedByTheNext) {
    // A swap beside a fixed port, and six ports with a 3-cycle, a fixed port and a
    // swap; cut short before or after the link moves at each of the clean run's restarts.
    const std::vector<std::vector<Member>> layouts = {
        {{12, true, 1}, {10, true, 3}, {11, true, 2}},
        {{23, true, 1}, {21, true, 2}, {22, true, 3}, {24, true, 4}, {26, true, 5}, {25, true, 6}}};
    for (const std::vector<Member>& layout : layouts) {
        FakePorts clean(layout);
        clean.Run();
        for (int at = 1; at <= static_cast<int>(clean.writes.size()); ++at) {
            for (bool beforeLink : {true, false}) {
                SCOPED_TRACE(testing::Message() << layout.size() << " ports, cut at " << at << ", before " << beforeLink);
                FakePorts ports(layout);
                ports.killAt = at;
                ports.killBeforeLink = beforeLink;
                ports.Run();
                ASSERT_TRUE(ports.Run());
                EXPECT_EQ(ports.live, clean.live);
                for (size_t m = 0; m < layout.size(); ++m) EXPECT_EQ(ports.members[m].number, clean.live[m]);
                EXPECT_EQ(ports.collisions, 0);
                EXPECT_TRUE(ports.record.empty());
                EXPECT_EQ(ports.spareCalls.back().substr(0, 7), "release");
            }
        }
    }
}

// The restart order of a list of (from, to) moves, members 0, 1, 2, ...
Steps Order(const std::vector<std::pair<int32_t, int32_t>>& fromTo,
                                                int32_t spare) {
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
