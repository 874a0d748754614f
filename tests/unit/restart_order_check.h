// What every restart order must keep, checked on one input: shared by the unit
// tests and any harness that feeds RestartOrder generated moves.
#pragma once

#include <cstdint>

#include "devices/remap_walk.h"

namespace mioutil {

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
