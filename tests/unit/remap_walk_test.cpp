// The re-map's whole sequence (RenumberPorts) driven over tables of members,
// and the order of its restarts.
#include "devices/remap_walk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "restart_order_check.h"

namespace mioutil {
namespace {

// A port node set as the re-map sees it, through the production sequence
// (RenumberPorts). It keeps each member's current number, as a port driver
// keeps its COM name, and counts a collision whenever a member is given a
// number another member holds at that moment.
struct Member {
    int32_t number;
    bool located;
    int32_t location;
    bool readable = true;  // false: "PortName" cannot be read
};

struct FakePorts {
    std::vector<Member> members;
    std::vector<int32_t> holds;                          // each member's number by now
    std::vector<std::pair<uint32_t, int32_t>> writes;    // (member, number) in order
    std::vector<int32_t> heldElsewhere;                  // other devices and the database
    std::vector<std::pair<uint32_t, PortNote>> notes;   // what the run log was told
    bool collectWorks = true;
    int collects = 0;
    int collisions = 0;
    uint32_t selected = 0;
};

bool SelectMember(void* context, uint32_t index) {
    FakePorts* ports = static_cast<FakePorts*>(context);
    if (index >= ports->members.size()) return false;
    ports->selected = index;
    return true;
}

bool ReadNumber(void* context, int32_t* number) {
    FakePorts* ports = static_cast<FakePorts*>(context);
    if (!ports->members[ports->selected].readable) return false;
    *number = ports->holds[ports->selected];
    return true;
}

bool ReadLocation(void* context, int32_t* location) {
    FakePorts* ports = static_cast<FakePorts*>(context);
    *location = ports->members[ports->selected].location;
    return ports->members[ports->selected].located;
}

bool CollectHeld(void* context, ComNumberSet* held) {
    FakePorts* ports = static_cast<FakePorts*>(context);
    ++ports->collects;
    for (int32_t n : ports->heldElsewhere) MarkComNumber(held, n);
    return ports->collectWorks;
}

void WriteAndRestart(void* context, int32_t number) {
    FakePorts* ports = static_cast<FakePorts*>(context);
    for (size_t m = 0; m < ports->members.size(); ++m) {
        if (m != ports->selected && ports->members[m].readable && ports->holds[m] == number) ++ports->collisions;
    }
    ports->holds[ports->selected] = number;
    ports->writes.push_back({ports->selected, number});
}

void Note(void* context, uint32_t member, PortNote note, int32_t) {
    static_cast<FakePorts*>(context)->notes.push_back({member, note});
}

void RunRemap(FakePorts* ports) {
    for (const Member& m : ports->members) ports->holds.push_back(m.number);
    RemapCalls calls = {ports, SelectMember, ReadNumber, ReadLocation, CollectHeld, WriteAndRestart, Note};
    RenumberPorts(calls);
}

using Notes = std::vector<std::pair<uint32_t, PortNote>>;

// What each member ends with (0 = never written); no run gives a member a number
// another holds. `notes`: why the members left alone were, as the run log hears it.
std::vector<int32_t> Remap(const std::vector<Member>& members, const Notes& notes = {}) {
    FakePorts ports;
    ports.members = members;
    RunRemap(&ports);
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
                                                        {4, PortNote::kNoNumber},
                                                        {0, PortNote::kSpareName}});
    EXPECT_EQ(result, (std::vector<int32_t>{7, 20, 0, 0, 0, 21}));
    ExpectNoNumberLostOrDuplicated(members, result);
}

TEST(Remap, ANumberTwoPortsHoldIsHandedToNeither) {
    // LPT5 and COM5 both read as 5: renumbering them would leave two COM5.
    const std::vector<Member> twice = {{8, true, 1}, {5, true, 2}, {3, true, 3}, {5, true, 4}};
    const std::vector<int32_t> result =
        Remap(twice, {{3, PortNote::kNumberHeldTwice}, {1, PortNote::kNumberKeptByLeftOut}, {0, PortNote::kSpareName}});
    EXPECT_EQ(result, (std::vector<int32_t>{3, 0, 8, 0}));
    ExpectNoNumberLostOrDuplicated(twice, result);

    // Member 2, left out past the table, holds 4, which member 1 was placed with:
    // the sort would hand 4 to member 3, next to the name member 2 keeps.
    const std::vector<Member> outside = {{3, true, 1}, {4, true, 2}, {4, true, 0}, {2, true, 1}};
    const std::vector<int32_t> kept = Remap(
        outside, {{2, PortNote::kPastLastSlot}, {1, PortNote::kNumberKeptByLeftOut}, {0, PortNote::kSpareName}});
    EXPECT_EQ(kept, (std::vector<int32_t>{2, 0, 0, 3}));
    ExpectNoNumberLostOrDuplicated(outside, kept);
}

TEST(Remap, AMemberWithoutANumberMovesNoBaseAndPositionsComeFromPassOne) {
    // Member 1 cannot be read and says location 1; were it to move the base
    // index, member 2 (location 3) would land in an empty slot. Members 3 and 4
    // have no location: their member index is their position.
    const std::vector<Member> members = {
        {7, true, 1}, {9, true, 1, false}, {6, true, 3}, {2, false, 0}, {1, false, 0}};
    EXPECT_EQ(Remap(members, {{1, PortNote::kNoReadableName}, {0, PortNote::kSpareName}, {2, PortNote::kSpareName}}),
              (std::vector<int32_t>{1, 0, 2, 6, 7}));
}

TEST(Remap, RestartsEveryPlacedPortOnceInMemberOrderWhenNoNameIsTaken) {
    // Numbers already in card order: each port takes its own, one restart each, and
    // nothing else is asked of the system.
    FakePorts ports;
    ports.members = {{3, true, 1}, {4, true, 2}, {5, true, 3}};
    RunRemap(&ports);
    EXPECT_EQ(ports.writes, (std::vector<std::pair<uint32_t, int32_t>>{{0, 3}, {1, 4}, {2, 5}}));
    EXPECT_EQ(ports.collects, 0);
}

TEST(Remap, ACycleGoesThroughTheLowestNumberNoDeviceHoldsNorTheDatabaseReserves) {
    // One card listed out of order: members 0 and 1 swap 12 and 10, member 2 keeps 11.
    FakePorts ports;
    ports.members = {{12, true, 1}, {10, true, 3}, {11, true, 2}};
    ports.heldElsewhere = {1, 2, 4};
    RunRemap(&ports);
    EXPECT_EQ(ports.writes, (std::vector<std::pair<uint32_t, int32_t>>{{2, 11}, {0, 3}, {1, 12}, {0, 10}}));
    EXPECT_EQ(ports.collects, 1);
    EXPECT_EQ(ports.collisions, 0);
}

TEST(Remap, WithoutAFreeNumberTheCycleKeepsItsNames) {
    // Members 0 and 1 swap 4 and 3, members 2 and 3 swap 8 and 7, member 4 keeps 9.
    // When what is held cannot be known, or every number is, neither cycle
    // moves and the rest still does.
    for (bool collectWorks : {false, true}) {
        FakePorts ports;
        ports.members = {{4, true, 1}, {3, true, 2}, {8, true, 3}, {7, true, 4}, {9, true, 5}};
        ports.collectWorks = collectWorks;
        if (collectWorks) {
            for (int32_t n = 1; n <= kComNumberLimit; ++n) ports.heldElsewhere.push_back(n);
        }
        RunRemap(&ports);
        EXPECT_EQ(ports.writes, (std::vector<std::pair<uint32_t, int32_t>>{{4, 9}})) << collectWorks;
        EXPECT_EQ(ports.notes, (Notes{{0, PortNote::kCycleWithoutSpare},
                                      {1, PortNote::kCycleWithoutSpare},
                                      {2, PortNote::kCycleWithoutSpare},
                                      {3, PortNote::kCycleWithoutSpare}}));
        EXPECT_EQ(ports.collisions, 0);
    }
}

// The restart order of a list of (from, to) moves, members 0, 1, 2, ...
std::vector<std::pair<uint32_t, int32_t>> Order(const std::vector<std::pair<int32_t, int32_t>>& fromTo,
                                                int32_t temporary) {
    std::vector<PortMove> moves;
    for (const auto& ft : fromTo) moves.push_back({static_cast<uint32_t>(moves.size()), ft.first, ft.second});
    RestartPlan plan;
    RestartOrder(moves.data(), static_cast<uint32_t>(moves.size()), temporary, &plan);
    EXPECT_EQ(CheckRestartOrder(moves.data(), static_cast<uint32_t>(moves.size()), temporary), nullptr);
    std::vector<std::pair<uint32_t, int32_t>> steps;
    for (uint32_t i = 0; i < plan.count; ++i) steps.push_back({plan.step[i].member, plan.step[i].number});
    return steps;
}

TEST(RestartOrder, FreeNumbersFirstOneTemporaryNamePerCycle) {
    using Steps = std::vector<std::pair<uint32_t, int32_t>>;
    EXPECT_EQ(Order({{3, 3}, {4, 4}, {5, 5}}, 9), (Steps{{0, 3}, {1, 4}, {2, 5}}));                // identity
    EXPECT_EQ(Order({{4, 3}, {3, 4}}, 9), (Steps{{0, 9}, {1, 4}, {0, 3}}));                        // one swap
    EXPECT_EQ(Order({{3, 4}, {4, 5}, {5, 3}}, 9), (Steps{{0, 9}, {2, 3}, {1, 5}, {0, 4}}));        // 3-cycle
    EXPECT_EQ(Order({{2, 1}, {1, 2}, {6, 6}, {4, 3}, {3, 4}}, 9),                                  // two cycles
              (Steps{{2, 6}, {0, 9}, {1, 2}, {0, 1}, {3, 9}, {4, 4}, {3, 3}}));
    EXPECT_EQ(Order({{3, 4}, {4, 5}, {5, 6}}, 0), (Steps{{2, 6}, {1, 5}, {0, 4}}));                // chain
    EXPECT_EQ(Order({{4, 3}, {3, 4}, {5, 6}, {7, 7}}, 0), (Steps{{2, 6}, {3, 7}}));                 // no temporary
}

TEST(RestartOrder, RandomPermutationsAndChainsKeepEveryRule) {
    std::mt19937 random(20261208);
    for (int round = 0; round < 600; ++round) {
        const uint32_t count = round % 50 == 0 ? kPortSlots : 1 + static_cast<uint32_t>(random() % 24);
        std::vector<int32_t> from(count), to(count);
        for (uint32_t i = 0; i < count; ++i) from[i] = static_cast<int32_t>(10 + 2 * i);
        std::shuffle(from.begin(), from.end(), random);
        to = from;
        std::shuffle(to.begin(), to.end(), random);
        // Now and then a port takes a number nobody holds, which turns cycles into chains.
        if (round % 3 == 0) to[random() % count] = static_cast<int32_t>(11 + 2 * (random() % count));
        std::vector<PortMove> moves;
        for (uint32_t i = 0; i < count; ++i) moves.push_back({i * 3 + 1, from[i], to[i]});
        for (int32_t temporary : {0, 1}) {
            const char* broken = CheckRestartOrder(moves.data(), count, temporary);
            ASSERT_EQ(broken, nullptr) << broken << ", round " << round << ", temporary " << temporary;
        }
    }
}

}  // namespace
}  // namespace mioutil
