#include "devices/remap_walk.h"

namespace mioutil {

namespace {

bool HeldByAnother(const int32_t* holds, uint32_t count, uint32_t self, int32_t number) {
    for (uint32_t j = 0; j < count; ++j) {
        if (j != self && holds[j] == number) return true;
    }
    return false;
}

// Whether following "the port that holds the number this one takes" from
// `first` through ports still to be restarted comes back to `first`.
bool InCycle(const PortMove* moves, const int32_t* holds, const bool* pending, uint32_t count, uint32_t first) {
    uint32_t at = first;
    for (uint32_t steps = 0; steps < count; ++steps) {
        uint32_t next = count;
        for (uint32_t j = 0; j < count; ++j) {
            if (j != at && pending[j] && holds[j] == moves[at].to) next = j;
        }
        if (next == count) return false;
        if (next == first) return true;
        at = next;
    }
    return false;
}

void Append(RestartPlan* plan, uint32_t member, int32_t number) {
    if (plan->count < kMaxRestartSteps) plan->step[plan->count++] = {member, number};
}

}  // namespace

void MarkComNumber(ComNumberSet* set, int32_t number) {
    if (number < 1 || number > kComNumberLimit) return;
    const int32_t bit = number - 1;
    set->bits[bit / 8] = static_cast<uint8_t>(set->bits[bit / 8] | (1u << (bit % 8)));
}

bool HoldsComNumber(const ComNumberSet& set, int32_t number) {
    if (number < 1 || number > kComNumberLimit) return false;
    const int32_t bit = number - 1;
    return (set.bits[bit / 8] & (1u << (bit % 8))) != 0;
}

int32_t LowestFreeComNumber(const ComNumberSet& set) {
    for (int32_t number = 1; number <= kComNumberLimit; ++number) {
        if (!HoldsComNumber(set, number)) return number;
    }
    return 0;
}

void RestartOrder(const PortMove* moves, uint32_t count, int32_t temporary, RestartPlan* plan) {
    plan->count = 0;
    if (count > kPortSlots) count = kPortSlots;
    int32_t holds[kPortSlots] = {};  // the number each port holds by now
    bool pending[kPortSlots] = {};   // still to be restarted
    for (uint32_t i = 0; i < count; ++i) {
        holds[i] = moves[i].from;
        pending[i] = true;
    }
    uint32_t left = count;
    while (left > 0) {
        bool restarted = false;
        for (uint32_t i = 0; i < count; ++i) {
            if (!pending[i] || HeldByAnother(holds, count, i, moves[i].to)) continue;
            Append(plan, moves[i].member, moves[i].to);
            holds[i] = moves[i].to;
            pending[i] = false;
            --left;
            restarted = true;
        }
        if (restarted || left == 0) continue;
        uint32_t first = 0;
        while (!pending[first]) ++first;
        if (temporary != 0 && holds[first] == moves[first].from &&
            !HeldByAnother(holds, count, first, temporary) && InCycle(moves, holds, pending, count, first)) {
            // Its own number is now free for the port before it in the cycle.
            Append(plan, moves[first].member, temporary);
            holds[first] = temporary;
        } else {
            // It keeps its name, and so, pass by pass, do the ports that wait for it.
            pending[first] = false;
            --left;
        }
    }
}

bool NeedsTemporaryName(const PortMove* moves, uint32_t count) {
    RestartPlan plan;
    RestartOrder(moves, count, 0, &plan);
    return plan.count < (count > kPortSlots ? kPortSlots : count);
}

namespace {

void Report(const RemapCalls& calls, uint32_t member, PortNote note, int32_t number) {
    if (calls.report != nullptr) calls.report(calls.context, member, note, number);
}

// Why PlacePort left a member out.
PortNote LeftOutBecause(const PortTable& table, uint32_t position, int32_t number) {
    if (position >= kPortSlots) return PortNote::kPastLastSlot;
    if (number == 0) return PortNote::kNoNumber;
    if (table.number[position] != 0) return PortNote::kPositionTaken;
    return PortNote::kNumberHeldTwice;
}

}  // namespace

void RenumberPorts(const RemapCalls& calls) {
    // Pass 1: collect each readable number at its port's position.
    PortTable table = {};
    uint32_t baseIndex = 0;
    bool anyLeftOut = false;
    for (uint32_t m = 0; calls.select(calls.context, m); ++m) {
        int32_t number = 0;
        if (!calls.readComNumber(calls.context, &number)) {  // passed over: the base index stays
            Report(calls, m, PortNote::kNoReadableName, 0);
            continue;
        }
        int32_t location = 0;
        const bool located = calls.readLocationNumber(calls.context, &location);
        const uint32_t position = PortPosition(m, located, location, &baseIndex);
        const PortNote why = LeftOutBecause(table, position, number);
        if (!PlacePort(&table, position, m, number)) {
            anyLeftOut = true;
            Report(calls, m, why, number);
        }
    }

    // A port left out keeps its name, so the number it holds must not be handed
    // to another port: the port that was placed with that number stays as it is too.
    if (anyLeftOut) {
        const PortTable placed = table;
        for (uint32_t m = 0; calls.select(calls.context, m); ++m) {
            int32_t number = 0;
            if (AssignedNumber(table, m, &number)) continue;
            if (calls.readComNumber(calls.context, &number)) LeaveOutNumber(&table, number);
        }
        for (uint32_t slot = 0; slot < kPortSlots; ++slot) {
            if (placed.number[slot] != 0 && table.number[slot] == 0) {
                Report(calls, placed.member[slot], PortNote::kNumberKeptByLeftOut, placed.number[slot]);
            }
        }
    }

    const PortTable collected = table;
    SortPortNumbers(&table);

    // Each placed port takes the number now in the slot pass 1 gave it; the
    // moves are listed in member order. Every other member keeps its name.
    PortMove moves[kPortSlots];
    uint32_t count = 0;
    for (uint32_t slot = 0; slot < kPortSlots; ++slot) {
        if (table.number[slot] == 0) continue;
        const PortMove move = {table.member[slot], collected.number[slot], table.number[slot]};
        uint32_t at = count++;
        for (; at > 0 && moves[at - 1].member > move.member; --at) moves[at] = moves[at - 1];
        moves[at] = move;
    }

    // The other devices and the database are asked only when a cycle needs a
    // temporary name; a number whose state cannot be known is never taken.
    int32_t temporary = 0;
    if (NeedsTemporaryName(moves, count)) {
        ComNumberSet held = {};
        for (uint32_t i = 0; i < count; ++i) MarkComNumber(&held, moves[i].to);
        // Every port of the set, those left as they were too, whatever the other
        // devices the system is asked about turn out to be.
        for (uint32_t m = 0; calls.select(calls.context, m); ++m) {
            int32_t number = 0;
            if (calls.readComNumber(calls.context, &number)) MarkComNumber(&held, number);
        }
        if (calls.collectHeldNumbers(calls.context, &held)) temporary = LowestFreeComNumber(held);
    }

    RestartPlan plan;
    RestartOrder(moves, count, temporary, &plan);
    for (uint32_t i = 0; i < count; ++i) {
        bool restarted = false;
        for (uint32_t k = 0; k < plan.count && !restarted; ++k) restarted = plan.step[k].member == moves[i].member;
        if (!restarted) Report(calls, moves[i].member, PortNote::kCycleWithoutSpare, moves[i].from);
    }
    for (uint32_t i = 0; i < plan.count; ++i) {
        if (!calls.select(calls.context, plan.step[i].member)) continue;
        if (temporary != 0 && plan.step[i].number == temporary) {
            Report(calls, plan.step[i].member, PortNote::kSpareName, temporary);
        }
        calls.writeAndRestart(calls.context, plan.step[i].number);
    }
}

}  // namespace mioutil
