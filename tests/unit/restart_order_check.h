// The order in which WalkPlan renames and restarts a list of moves where every
// restart succeeds, and what every such order must keep: shared by the unit
// tests and the fuzz target that feeds it generated moves.
#pragma once

#include <cstdint>

#include "devices/remap_walk.h"

namespace mioutil {

/// One placed port: its member index, the number it holds and the number it is to take.
struct PortMove {
    uint32_t member;
    int32_t from;
    int32_t to;
};

/// One rename and restart: member `member` is written the name of `number`.
struct RestartStep {
    uint32_t member;
    int32_t number;
};

/// Every placed port once, plus one spare step per cycle of moves.
inline constexpr uint32_t kMaxRestartSteps = kPortSlots + kPortSlots / 2;

struct RestartPlan {
    RestartStep step[kMaxRestartSteps];
    uint32_t count;
};

/// Records the walk's steps as if every restart succeeded; asks nothing else.
class OrderRecorder final : public RemapSystem {
public:
    explicit OrderRecorder(RestartPlan* order) : order_(order) {}
    bool WriteNames(uint32_t, int32_t number) override {
        written_ = number;
        return true;
    }
    RestartOutcome Restart(uint32_t member) override {
        if (order_->count < kMaxRestartSteps) order_->step[order_->count++] = {member, written_};
        return RestartOutcome::kRestarted;
    }
    bool Exists(uint32_t) override { return false; }
    PortNameRead ReadPortName(uint32_t) override { return {}; }
    bool ReadLocationNumber(uint32_t, int32_t*) override { return false; }
    bool FriendlyNameIs(uint32_t, int32_t) override { return false; }
    bool CountHolders(HolderCounts*) override { return false; }
    bool ReadReserved(ComNumberSet*) override { return false; }
    bool ClaimSpare(int32_t) override { return false; }
    bool ReleaseSpare(int32_t) override { return false; }
    LeftPlan ReadPlan(RemapPlan*) override { return {LeftPlan::kNone, false, 0}; }
    bool SavePlan(const RemapPlan&, bool) override { return true; }
    bool DropPlan() override { return true; }
    void Report(uint32_t, PortNote, int32_t, uint32_t) override {}
    void ReportPlan(PlanNote, const RemapPlan&, StaleReason, uint32_t) override {}

private:
    RestartPlan* order_;
    int32_t written_ = 0;
};

/// The steps WalkPlan takes for the moves (given in member order, with distinct
/// `from` numbers and distinct `to` numbers, at most kPortSlots) with `spare` as
/// the spare name (0: none).
inline void RestartOrder(const PortMove* moves, uint32_t count, int32_t spare, RestartPlan* order) {
    order->count = 0;
    static RemapPlan plan;
    plan.spare = spare;
    plan.count = count > kPortSlots ? kPortSlots : count;
    for (uint32_t i = 0; i < plan.count; ++i) {
        plan.port[i] = {moves[i].member, moves[i].from, moves[i].to, PlanName::kFrom, Only(PlanName::kFrom), true};
    }
    OrderRecorder recorder(order);
    RemapSummary summary = {};
    WalkPlan(&plan, recorder, spare != 0, nullptr, &summary);
}

/// Runs RestartOrder on `moves` (distinct `from` numbers, distinct `to`
/// numbers, at most kPortSlots) with `spare` (0, or a number no move holds
/// or takes) and replays the plan. Returns nullptr when it keeps every rule,
/// else the rule it breaks:
/// - a step names a port that has no move, or a number other than its own
///   `to` or `spare`;
/// - a port is given a number another port holds at that moment;
/// - with a spare number, a port ends with anything but its `to`;
///   without one, a port outside every cycle does, or a port of a cycle is
///   written at all;
/// - the plan holds other than one spare step per cycle (none without a
///   spare number), each before its port's last step.
inline const char* CheckRestartOrder(const PortMove* moves, uint32_t count, int32_t spare) {
    RestartPlan plan;
    RestartOrder(moves, count, spare, &plan);

    // The port that holds the number port `at` takes at the start; `count` when none.
    auto holderOfTarget = [&](uint32_t at) {
        for (uint32_t j = 0; j < count; ++j) {
            if (moves[j].from == moves[at].to) return j;
        }
        return count;
    };
    bool inCycle[kPortSlots] = {};
    uint32_t cycles = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (inCycle[i] || moves[i].from == moves[i].to) continue;
        uint32_t at = holderOfTarget(i);
        for (uint32_t steps = 0; at != count && at != i && steps < count; ++steps) at = holderOfTarget(at);
        if (at != i) continue;
        ++cycles;
        do {
            inCycle[at] = true;
            at = holderOfTarget(at);
        } while (at != i);
    }

    int32_t holds[kPortSlots] = {};
    uint32_t written[kPortSlots] = {};
    uint32_t spareWrites[kPortSlots] = {};
    for (uint32_t i = 0; i < count; ++i) holds[i] = moves[i].from;
    uint32_t spareSteps = 0;
    for (uint32_t s = 0; s < plan.count; ++s) {
        uint32_t i = count;
        for (uint32_t j = 0; j < count; ++j) {
            if (moves[j].member == plan.step[s].member) i = j;
        }
        if (i == count) return "a step names a port without a move";
        const int32_t number = plan.step[s].number;
        const bool isSpare = spare != 0 && number == spare;
        if (number != moves[i].to && !isSpare) return "a step writes a foreign number";
        for (uint32_t j = 0; j < count; ++j) {
            if (j != i && holds[j] == number) return "a port is given a number another port still holds";
        }
        if (isSpare) {
            ++spareWrites[i];
            ++spareSteps;
        }
        holds[i] = number;
        ++written[i];
    }
    for (uint32_t i = 0; i < count; ++i) {
        if (spare == 0 && inCycle[i]) {
            if (written[i] != 0) return "a port of a cycle without a spare number is written";
            continue;
        }
        if (holds[i] != moves[i].to) return "a port does not end with its number";
        if (spareWrites[i] > 1 || written[i] != 1 + spareWrites[i]) return "a port is written too often";
    }
    if (spareSteps != (spare != 0 ? cycles : 0)) return "not one spare step per cycle";
    return nullptr;
}

}  // namespace mioutil
