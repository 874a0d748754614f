#include "devices/remap_walk.h"

namespace mioutil {

namespace {

// The port other than `self` whose driver holds `number`; plan.count for none.
uint32_t Holder(const RemapPlan& plan, uint32_t self, int32_t number) {
    for (uint32_t j = 0; j < plan.count; ++j) {
        if (j != self && HeldNumber(plan, j) == number) return j;
    }
    return plan.count;
}

// Whether following "the port that holds the number this one takes" from
// `first` through ports still to be restarted comes back to `first`.
bool InCycle(const RemapPlan& plan, const bool* pending, uint32_t first) {
    uint32_t at = first;
    for (uint32_t steps = 0; steps < plan.count; ++steps) {
        const uint32_t next = Holder(plan, at, plan.port[at].to);
        if (next == plan.count || !pending[next]) return false;
        if (next == first) return true;
        at = next;
    }
    return false;
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

bool WalkPlan(RemapPlan* plan, RemapSystem& system) {
    const uint32_t count = plan->count > kPortSlots ? kPortSlots : plan->count;
    plan->count = count;
    bool pending[kPortSlots] = {};  // still to be restarted in this run
    bool kept[kPortSlots] = {};     // keeps its name, unwritten
    uint32_t left = 0;
    for (uint32_t i = 0; i < count; ++i) {
        pending[i] = plan->port[i].state != PortState::kDone;
        if (pending[i]) ++left;
    }
    while (left > 0) {
        bool moved = false;
        for (uint32_t i = 0; i < count; ++i) {
            if (!pending[i] || Holder(*plan, i, plan->port[i].to) != count) continue;
            pending[i] = false;
            --left;
            moved = true;
            if (system.WriteAndRestart(*plan, i, plan->port[i].to) == RestartOutcome::kRestarted) {
                plan->port[i].state = PortState::kDone;
                system.SavePlan(*plan);
            }
        }
        if (moved || left == 0) continue;
        uint32_t first = 0;
        while (!pending[first]) ++first;
        PlanPort& port = plan->port[first];
        const uint32_t holder = Holder(*plan, first, port.to);
        if (plan->spare != 0 && pending[holder] && port.state == PortState::kHoldsOld &&
            Holder(*plan, first, plan->spare) == count && InCycle(*plan, pending, first)) {
            // Its own number is now free for the port before it in the cycle.
            if (system.WriteAndRestart(*plan, first, plan->spare) == RestartOutcome::kRestarted) {
                port.state = PortState::kOnSpare;
                system.SavePlan(*plan);
                continue;
            }
            pending[first] = false;
            --left;
            system.WriteForReboot(*plan, first, count);
            continue;
        }
        pending[first] = false;
        --left;
        if ((!pending[holder] && !kept[holder]) || port.state == PortState::kOnSpare) {
            // The holder's restart was deferred or failed: it gives the name up at
            // the next reboot, and this port takes it then. A port out on the spare
            // is never left there: it too is written its final name for the reboot.
            system.WriteForReboot(*plan, first, holder);
        } else {
            kept[first] = true;
            system.Keep(*plan, first);
        }
    }
    bool finished = true;
    for (uint32_t i = 0; i < count; ++i) finished = finished && (kept[i] || plan->port[i].state == PortState::kDone);
    return finished;
}

namespace {

// Records the walk's steps as if every restart succeeded; asks nothing else.
class OrderRecorder final : public RemapSystem {
public:
    explicit OrderRecorder(RestartPlan* order) : order_(order) {}
    RestartOutcome WriteAndRestart(const RemapPlan& plan, uint32_t i, int32_t number) override {
        if (order_->count < kMaxRestartSteps) order_->step[order_->count++] = {plan.port[i].member, number};
        return RestartOutcome::kRestarted;
    }
    bool Select(uint32_t) override { return false; }
    bool ReadComNumber(int32_t*) override { return false; }
    bool ReadLocationNumber(int32_t*) override { return false; }
    NameMatch MatchNames(int32_t) override { return NameMatch::kRename; }
    bool HeldElsewhere(int32_t) override { return false; }
    bool CollectHeldNumbers(ComNumberSet*) override { return false; }
    bool ClaimSpare(int32_t) override { return false; }
    void ReleaseSpare(int32_t) override {}
    bool SavePlan(const RemapPlan&) override { return true; }
    void DropPlan() override {}
    void WriteForReboot(const RemapPlan&, uint32_t, uint32_t) override {}
    void Keep(const RemapPlan&, uint32_t) override {}
    void Report(uint32_t, PortNote, int32_t) override {}

private:
    RestartPlan* order_;
};

// The plan of moves, at most kPortSlots of them, none restarted yet.
void PlanOf(const PortMove* moves, uint32_t count, int32_t spare, RemapPlan* plan) {
    plan->spare = spare;
    plan->count = count > kPortSlots ? kPortSlots : count;
    for (uint32_t i = 0; i < plan->count; ++i) {
        plan->port[i].member = moves[i].member;
        plan->port[i].from = moves[i].from;
        plan->port[i].to = moves[i].to;
        plan->port[i].state = PortState::kHoldsOld;
        plan->port[i].idLength = 0;
    }
}

}  // namespace

void RestartOrder(const PortMove* moves, uint32_t count, int32_t spare, RestartPlan* order) {
    order->count = 0;
    static_assert(sizeof(RemapPlan) < 128 * 1024, "the plan lives on the stack");
    RemapPlan plan;
    PlanOf(moves, count, spare, &plan);
    OrderRecorder recorder(order);
    WalkPlan(&plan, recorder);
}

bool NeedsSpareName(const PortMove* moves, uint32_t count) {
    RestartPlan order;
    RestartOrder(moves, count, 0, &order);
    return order.count < (count > kPortSlots ? kPortSlots : count);
}

namespace {

// Why PlacePort left a member out.
PortNote LeftOutBecause(const PortTable& table, uint32_t position, int32_t number) {
    if (position >= kPortSlots) return PortNote::kPastLastSlot;
    if (number == 0) return PortNote::kNoNumber;
    if (table.number[position] != 0) return PortNote::kPositionTaken;
    return PortNote::kNumberHeldTwice;
}

}  // namespace

void RenumberPorts(RemapSystem& system) {
    // Pass 1: collect each readable number at its port's position.
    PortTable table = {};
    uint32_t baseIndex = 0;
    bool anyLeftOut = false;
    for (uint32_t m = 0; system.Select(m); ++m) {
        int32_t number = 0;
        if (!system.ReadComNumber(&number)) {  // passed over: the base index stays
            system.Report(m, PortNote::kNoReadableName, 0);
            continue;
        }
        int32_t location = 0;
        const bool located = system.ReadLocationNumber(&location);
        const uint32_t position = PortPosition(m, located, location, &baseIndex);
        const PortNote why = LeftOutBecause(table, position, number);
        if (!PlacePort(&table, position, m, number)) {
            anyLeftOut = true;
            system.Report(m, why, number);
        }
    }

    // A port left out keeps its name, so the number it holds must not be handed
    // to another port: the port that was placed with that number stays as it is too.
    if (anyLeftOut) {
        const PortTable placed = table;
        for (uint32_t m = 0; system.Select(m); ++m) {
            int32_t number = 0;
            if (AssignedNumber(table, m, &number)) continue;
            if (system.ReadComNumber(&number)) LeaveOutNumber(&table, number);
        }
        for (uint32_t slot = 0; slot < kPortSlots; ++slot) {
            if (placed.number[slot] != 0 && table.number[slot] == 0) {
                system.Report(placed.member[slot], PortNote::kNumberKeptByLeftOut, placed.number[slot]);
            }
        }
    }

    // A port to be renamed to a COM name another device holds keeps its name,
    // and the numbers are dealt again without the one it holds.
    PortMove moves[kPortSlots];
    uint32_t count = 0;
    bool inPlace[kPortSlots] = {};
    for (bool again = true; again;) {
        again = false;
        PortTable sorted = table;
        SortPortNumbers(&sorted);
        count = 0;
        for (uint32_t slot = 0; slot < kPortSlots; ++slot) {
            if (sorted.number[slot] == 0) continue;
            const PortMove move = {table.member[slot], table.number[slot], sorted.number[slot]};
            NameMatch match = NameMatch::kRename;
            if (move.from == move.to && system.Select(move.member)) {
                match = system.MatchNames(move.to);
            }
            if (match == NameMatch::kRename && system.HeldElsewhere(move.to)) {
                system.Report(move.member, PortNote::kNameHeldElsewhere, move.to);
                table.number[slot] = 0;
                again = true;
                break;
            }
            inPlace[slot] = match == NameMatch::kInPlace;
            if (inPlace[slot]) continue;
            // The moves are listed in member order.
            uint32_t at = count++;
            for (; at > 0 && moves[at - 1].member > move.member; --at) moves[at] = moves[at - 1];
            moves[at] = move;
        }
    }
    for (uint32_t slot = 0; slot < kPortSlots; ++slot) {
        if (inPlace[slot]) system.Report(table.member[slot], PortNote::kInPlace, table.number[slot]);
    }
    if (count == 0) return;

    // The other devices and the database are asked only when a cycle needs a
    // spare name; a number whose state cannot be known is never taken.
    int32_t spare = 0;
    if (NeedsSpareName(moves, count)) {
        ComNumberSet held = {};
        for (uint32_t i = 0; i < count; ++i) MarkComNumber(&held, moves[i].to);
        // Every port of the set, those left as they were too, whatever the other
        // devices the system is asked about turn out to be.
        for (uint32_t m = 0; system.Select(m); ++m) {
            int32_t number = 0;
            if (system.ReadComNumber(&number)) MarkComNumber(&held, number);
        }
        if (system.CollectHeldNumbers(&held)) spare = LowestFreeComNumber(held);
        if (spare != 0 && !system.ClaimSpare(spare)) spare = 0;
    }
    RemapPlan plan;
    plan.spare = spare;
    plan.count = count;
    for (uint32_t i = 0; i < count; ++i) {
        plan.port[i] = PlanPort{moves[i].member, moves[i].from, moves[i].to, PortState::kHoldsOld, 0, {}};
    }
    system.SavePlan(plan);
    FinishPlan(&plan, system);  // a plan left for a reboot is finished by a later run
}

bool FinishPlan(RemapPlan* plan, RemapSystem& system) {
    if (!WalkPlan(plan, system)) return false;
    if (plan->spare != 0) system.ReleaseSpare(plan->spare);
    system.DropPlan();
    return true;
}

}  // namespace mioutil
