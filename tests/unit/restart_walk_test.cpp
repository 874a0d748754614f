#include "devices/restart_walk.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace mioutil {
namespace {

// A set of nodes whose restarts give the listed results; records which
// members were selected and restarted.
struct FakeSet {
    explicit FakeSet(std::vector<RestartResult> r = {}) : results(std::move(r)) {}
    std::vector<RestartResult> results;
    std::vector<uint32_t> selected;
    std::vector<uint32_t> restarted;
    uint32_t current = 0;
};

bool Select(void* context, uint32_t index) {
    FakeSet* set = static_cast<FakeSet*>(context);
    set->selected.push_back(index);
    if (index >= set->results.size()) return false;
    set->current = index;
    return true;
}

RestartResult Restart(void* context) {
    FakeSet* set = static_cast<FakeSet*>(context);
    set->restarted.push_back(set->current);
    return set->results[set->current];
}

constexpr RestartResult kOk = {true, true, false};
constexpr RestartResult kDeferred = {true, true, true};  // left for a reboot: not a failure
constexpr RestartResult kParamsFailed = {false, true, false};
constexpr RestartResult kInstallerFailed = {true, false, false};

TEST(RestartWalk, EveryRestartSucceedsSoEveryNodeIsRestartedOnceInOrder) {
    FakeSet set({kOk, kDeferred, kOk, kOk});
    EXPECT_EQ(RestartUntilFailure(&set, Select, Restart), 4u);
    EXPECT_EQ(set.restarted, (std::vector<uint32_t>{0, 1, 2, 3}));
    EXPECT_EQ(set.selected, (std::vector<uint32_t>{0, 1, 2, 3, 4}));  // ends where selection fails
}

TEST(RestartWalk, StopsAfterTheFirstRestartTheClassInstallerFailed) {
    // Refused parameters alone do not stop it: the class installer is called all
    // the same, and its result is the restart's, as the re-map reads it too.
    FakeSet first({kInstallerFailed, kOk, kOk});
    EXPECT_EQ(RestartUntilFailure(&first, Select, Restart), 1u);
    EXPECT_EQ(first.restarted, (std::vector<uint32_t>{0}));
    EXPECT_EQ(first.selected, (std::vector<uint32_t>{0}));

    FakeSet middle({kParamsFailed, kOk, kInstallerFailed, kOk});
    EXPECT_EQ(RestartUntilFailure(&middle, Select, Restart), 3u);
    EXPECT_EQ(middle.restarted, (std::vector<uint32_t>{0, 1, 2}));

    FakeSet both({kOk, kOk, {false, false, false}, kOk});
    EXPECT_EQ(RestartUntilFailure(&both, Select, Restart), 3u);
    EXPECT_EQ(both.restarted, (std::vector<uint32_t>{0, 1, 2}));
    EXPECT_EQ(OutcomeOf(kParamsFailed), RestartOutcome::kRestarted);
    EXPECT_EQ(OutcomeOf(kDeferred), RestartOutcome::kDeferred);
    EXPECT_EQ(OutcomeOf({true, false, true}), RestartOutcome::kFailed);
}

TEST(RestartWalk, NoNodeNoRestart) {
    FakeSet empty;
    EXPECT_EQ(RestartUntilFailure(&empty, Select, Restart), 0u);
    EXPECT_TRUE(empty.restarted.empty());
}

}  // namespace
}  // namespace mioutil
