#include "devices/remap_walk.h"

namespace mioutil {

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

void NumberCounts::Add(int32_t number) {
    if (number >= 1 && number <= kComNumberLimit && count[number] < 255) ++count[number];
}

uint8_t NumberCounts::Of(int32_t number) const {
    return number >= 1 && number <= kComNumberLimit ? count[number] : 0;
}

namespace {

// The port other than `self` whose driver may hold `number`; plan.count for none.
uint32_t LiveHolder(const RemapPlan& plan, uint32_t self, int32_t number) {
    for (uint32_t j = 0; j < plan.count; ++j) {
        if (j != self && MayHold(plan, j, number)) return j;
    }
    return plan.count;
}

// The port other than `self` whose "PortName" is `number`; plan.count for none.
uint32_t NameHolder(const RemapPlan& plan, uint32_t self, int32_t number) {
    for (uint32_t j = 0; j < plan.count; ++j) {
        if (j != self && NumberOf(plan, j, plan.port[j].registry) == number) return j;
    }
    return plan.count;
}

// Whether following "the port whose driver holds the number this one takes" from
// `first` through ports still to be moved comes back to `first`.
bool InCycle(const RemapPlan& plan, const bool* pending, uint32_t first) {
    uint32_t at = first;
    for (uint32_t steps = 0; steps < plan.count; ++steps) {
        const uint32_t next = LiveHolder(plan, at, plan.port[at].to);
        if (next == plan.count || !pending[next]) return false;
        if (next == first) return true;
        at = next;
    }
    return false;
}

struct Walk {
    RemapPlan* plan;
    RemapSystem& system;
    bool recorded;
    RemapSummary* summary;
    bool pending[kPortSlots];
    bool tookSpare[kPortSlots];
    bool stopped;

    void Report(uint32_t i, PortNote note, int32_t number, uint32_t other = 0) {
        system.Report(plan->port[i].member, note, number, other < plan->count ? plan->port[other].member : 0);
    }

    // Each step is recorded before the next port is touched; where that fails,
    // the walk stops with the record one step behind, which the next run allows for.
    void Record() {
        if (recorded && !system.SavePlan(*plan, false)) stopped = true;
    }

    // Writes port i the name and restarts it: its driver takes the name only
    // where the restart really happened.
    void Step(uint32_t i, PlanName name) {
        PlanPort& port = plan->port[i];
        const int32_t number = NumberOf(*plan, i, name);
        if (!system.WriteNames(port.member, number)) {
            Report(i, PortNote::kNotWritten, number);
            return;
        }
        port.registry = name;
        const RestartOutcome outcome = system.Restart(port.member);
        // A port that only had its friendly name rewritten holds its final name whatever the restart did.
        const bool sameName = name == PlanName::kTo && port.from == port.to && port.fromExact;
        if (outcome == RestartOutcome::kRestarted || sameName) port.live = Only(name);
        Report(i,
               outcome == RestartOutcome::kRestarted ? PortNote::kRestarted
               : outcome == RestartOutcome::kDeferred ? PortNote::kDeferred
                                                       : PortNote::kFailed,
               number);
        Record();
    }

    // Ports whose target no driver holds: restarted onto it, in plan order.
    bool MoveFree(const NameHolders* holders) {
        bool moved = false;
        for (uint32_t i = 0; i < plan->count && !stopped; ++i) {
            const int32_t to = plan->port[i].to;
            if (!pending[i] || LiveHolder(*plan, i, to) != plan->count) continue;
            pending[i] = false;
            if (holders != nullptr && holders->HeldElsewhere(to)) {
                Report(i, PortNote::kNameHeldElsewhere, to);
                continue;
            }
            moved = true;
            Step(i, PlanName::kTo);
        }
        return moved;
    }

    // Ports whose target is held until the reboot by a port that will not move
    // in this run and whose own "PortName" is already elsewhere: written their
    // final name for that reboot. The "PortName"s stay distinct throughout.
    bool WriteForReboot() {
        bool wrote = false;
        for (uint32_t i = 0; i < plan->count && !stopped; ++i) {
            PlanPort& port = plan->port[i];
            const uint32_t holder = LiveHolder(*plan, i, port.to);
            if (!pending[i] || holder == plan->count || pending[holder] ||
                NameHolder(*plan, i, port.to) != plan->count) {
                continue;
            }
            pending[i] = false;
            wrote = true;
            if (port.registry == PlanName::kTo) {
                Report(i, PortNote::kStillWaits, port.to, holder);
            } else if (!system.WriteNames(port.member, port.to)) {
                Report(i, PortNote::kNotWritten, port.to);
            } else {
                port.registry = PlanName::kTo;
                Report(i, PortNote::kWrittenForReboot, port.to, holder);
                Record();
            }
        }
        return wrote;
    }

    // The first port of a cycle whose driver holds only its own number takes the
    // spare, once in a run, where no port holds the spare in any way.
    bool TakeSpare(bool spareUsable) {
        if (!spareUsable || LiveHolder(*plan, plan->count, plan->spare) != plan->count ||
            NameHolder(*plan, plan->count, plan->spare) != plan->count) {
            return false;
        }
        for (uint32_t i = 0; i < plan->count; ++i) {
            if (!pending[i] || tookSpare[i] || plan->port[i].live != Only(PlanName::kFrom) ||
                !InCycle(*plan, pending, i)) {
                continue;
            }
            tookSpare[i] = true;
            Report(i, PortNote::kTakesSpare, plan->spare);
            Step(i, PlanName::kSpare);
            return true;
        }
        return false;
    }
};

}  // namespace

bool WalkPlan(RemapPlan* plan, RemapSystem& system, bool recorded, const NameHolders* holders,
              RemapSummary* summary) {
    if (plan->count > kPortSlots) plan->count = kPortSlots;
    Walk walk = {plan, system, recorded, summary, {}, {}, false};
    for (uint32_t i = 0; i < plan->count; ++i) walk.pending[i] = !IsDone(plan->port[i]);
    const bool spareUsable = recorded && plan->spare != 0 &&
                             (holders == nullptr || !holders->HeldElsewhere(plan->spare));
    // A port a run cut short may have left on either of two names is restarted on
    // the one in its "PortName" first, which no other driver holds: then it is sure.
    for (uint32_t i = 0; i < plan->count && !walk.stopped; ++i) {
        const PlanPort& port = plan->port[i];
        if (!walk.pending[i] || !InDoubt(port)) continue;
        walk.tookSpare[i] = port.registry == PlanName::kSpare;
        walk.Step(i, port.registry);
        // Left for the reboot again, it stays in doubt until then.
        walk.pending[i] = port.live == Only(PlanName::kSpare);
    }
    // Each round moves a port, writes one for the reboot, or takes the spare on a
    // port that has not had it in this run: the walk ends.
    while (!walk.stopped && (walk.MoveFree(holders) || walk.WriteForReboot() || walk.TakeSpare(spareUsable))) {
    }
    for (uint32_t i = 0; i < plan->count; ++i) {
        if (!walk.pending[i]) continue;
        const PlanPort& port = plan->port[i];
        if (walk.stopped) {
            walk.Report(i, PortNote::kStopped, port.to);
        } else if (IsUntouched(port)) {
            walk.Report(i, recorded || plan->spare == 0 ? PortNote::kCycleWithoutSpare : PortNote::kCycleNotRecorded,
                        port.from);
        } else {
            walk.Report(i, PortNote::kStillWaits, NumberOf(*plan, i, port.registry),
                        LiveHolder(*plan, i, port.to));
        }
    }
    bool settled = true;
    for (uint32_t i = 0; i < plan->count; ++i) {
        const PlanPort& port = plan->port[i];
        settled = settled && (IsDone(port) || IsUntouched(port));
        if (port.live != Only(port.registry)) summary->rebootNeeded = true;
    }
    return settled;
}

namespace {

}  // namespace

bool NameHolders::HeldElsewhere(int32_t number) const {
    return !listed || all.nodesExact.Of(number) > ownExact.Of(number) || all.liveExact.Of(number) > ownLive.Of(number);
}

namespace {

// Lets go of a spare where nothing else holds it: no node's "PortName" and no
// live name reads as it, beyond what the set's own ports showed (`own`: false
// for a plan that is let go of, whose ports no longer count as its own).
void LetGoOfSpare(RemapSystem& system, const RemapPlan& plan, const NameHolders& holders, bool own) {
    if (plan.spare == 0) return;
    const int32_t s = plan.spare;
    const bool free = holders.listed && holders.all.nodesReading.Of(s) <= (own ? holders.ownReading.Of(s) : 0) &&
                      holders.all.liveReading.Of(s) <= (own ? holders.ownLive.Of(s) : 0);
    if (free) {
        system.ReleaseSpare(s);
    } else {
        system.ReportPlan(PlanNote::kSpareKept, plan, StaleReason::kNone, holders.listed ? 0 : 1);
    }
}

// The exact COM name a name of port i stands for, 0 where it is not one (a
// "PortName" such as LPT2 the re-map has not written yet).
int32_t ExactNumberOf(const RemapPlan& plan, uint32_t i, PlanName name) {
    return name != PlanName::kFrom || plan.port[i].fromExact ? NumberOf(plan, i, name) : 0;
}

// The set's own names, a left plan's ports by what their drivers may hold now:
// what the record says and, for a port a run cut short may have restarted
// before its record was written, its "PortName" too. A live name any of them
// may hold counts once: no two drivers hold one name, so SERIALCOMM shows it at
// most once for the card.
void CountOwnNames(RemapSystem& system, const RemapPlan& plan, NameHolders* own) {
    auto mayHold = [own](int32_t number) {
        if (own->ownLive.Of(number) == 0) own->ownLive.Add(number);
    };
    for (uint32_t m = 0; system.Exists(m); ++m) {
        const PortNameRead read = system.ReadPortName(m);
        if (!read.readable) continue;
        own->ownExact.Add(read.exact);
        own->ownReading.Add(read.number);
        bool planned = false;
        for (uint32_t i = 0; i < plan.count; ++i) planned = planned || plan.port[i].member == m;
        if (!planned) mayHold(read.exact);
    }
    for (uint32_t i = 0; i < plan.count; ++i) {
        const PlanPort& p = plan.port[i];
        for (PlanName name : kPlanNames) {
            if ((p.live & Only(name)) != 0 || name == p.registry) mayHold(ExactNumberOf(plan, i, name));
        }
    }
}

// Finishes, or lets go of, a plan an earlier run left. False when it stays: its
// ports wait for a reboot, or it could not be recorded, and no new re-map may start.
bool TakeUpLeftPlan(RemapSystem& system, RemapPlan* plan, const LeftPlan& found, RemapSummary* summary) {
    if (found.kind == LeftPlan::kDamaged) {
        system.ReportPlan(PlanNote::kDamaged, *plan, StaleReason::kNone, 0);
        system.DropPlan();
        return true;
    }
    static_assert(sizeof(NameHolders) < 32 * 1024, "the counts live on the stack");
    NameHolders holders = {};
    holders.listed = system.CountHolders(&holders.all);
    PlanNote letGo = found.kind == LeftPlan::kPortGone ? PlanNote::kPortGone : PlanNote::kUnreadable;
    Resolution resolved = {StaleReason::kNone, found.gone, plan->count};
    if (found.kind == LeftPlan::kWhole) {
        PortNameRead names[kPortSlots];
        for (uint32_t i = 0; i < plan->count; ++i) names[i] = system.ReadPortName(plan->port[i].member);
        resolved = ResolvePlan(plan, names, found.sameBoot);
        bool untouched = true;
        for (uint32_t i = 0; i < plan->count; ++i) untouched = untouched && IsUntouched(plan->port[i]);
        letGo = resolved.stale != StaleReason::kNone ? PlanNote::kStale
                : untouched                           ? PlanNote::kUntouched
                                                      : PlanNote::kFinishing;
    }
    if (letGo != PlanNote::kFinishing) {
        // Nothing of it is acted on; its spare goes only where nothing else holds it.
        system.ReportPlan(letGo, *plan, resolved.stale, resolved.port);
        LetGoOfSpare(system, *plan, holders, false);
        system.DropPlan();
        return true;
    }
    system.ReportPlan(PlanNote::kFinishing, *plan, StaleReason::kNone, resolved.ahead);
    CountOwnNames(system, *plan, &holders);
    // What was taken from the machine is recorded before the first step.
    if (!system.SavePlan(*plan, false)) {
        system.ReportPlan(PlanNote::kCannotRecord, *plan, StaleReason::kNone, 0);
        summary->planLeft = true;
        return false;
    }
    if (!WalkPlan(plan, system, true, &holders, summary)) {
        system.ReportPlan(PlanNote::kWaits, *plan, StaleReason::kNone, 0);
        summary->planLeft = true;
        return false;
    }
    // Its last record says every port is done: a run cut short before the record
    // goes lets go of the spare again, and only where nothing else holds it.
    LetGoOfSpare(system, *plan, holders, true);
    system.DropPlan();
    system.ReportPlan(PlanNote::kFinished, *plan, StaleReason::kNone, 0);
    return true;
}

// Why PlacePort left a member out.
PortNote LeftOutBecause(const PortTable& table, uint32_t position, int32_t number) {
    if (position >= kPortSlots) return PortNote::kPastLastSlot;
    if (number == 0) return PortNote::kNoNumber;
    if (table.number[position] != 0) return PortNote::kPositionTaken;
    return PortNote::kNumberHeldTwice;
}

void RenumberPorts(RemapSystem& system, RemapSummary* summary) {
    // Pass 1: collect each readable number at its port's position.
    PortTable table = {};
    int32_t exactAt[kPortSlots] = {};  // what the member placed there holds, where it is exactly COM<n>
    NameHolders holders = {};  // the machine's holders are counted when a rename first needs them
    bool counted = false;
    uint32_t baseIndex = 0;
    bool anyLeftOut = false;
    bool any = false;
    for (uint32_t m = 0; system.Exists(m); ++m) {
        any = true;
        const PortNameRead read = system.ReadPortName(m);
        if (!read.readable) {  // passed over: the base index stays
            system.Report(m, PortNote::kNoReadableName, 0, 0);
            continue;
        }
        holders.ownExact.Add(read.exact);
        holders.ownReading.Add(read.number);
        // No plan: every driver holds its "PortName".
        if (holders.ownLive.Of(read.exact) == 0) holders.ownLive.Add(read.exact);
        int32_t location = 0;
        const bool located = system.ReadLocationNumber(m, &location);
        const uint32_t position = PortPosition(m, located, location, &baseIndex);
        const PortNote why = LeftOutBecause(table, position, read.number);
        if (PlacePort(&table, position, m, read.number)) {
            exactAt[position] = read.exact;
        } else {
            anyLeftOut = true;
            system.Report(m, why, read.number, 0);
        }
    }
    if (!any) return;


    // A port left out keeps its name, so the number it holds must not be handed
    // to another port: the port that was placed with that number stays as it is too.
    if (anyLeftOut) {
        const PortTable placed = table;
        for (uint32_t m = 0; system.Exists(m); ++m) {
            int32_t number = 0;
            if (AssignedNumber(table, m, &number)) continue;
            const PortNameRead read = system.ReadPortName(m);
            if (read.readable) LeaveOutNumber(&table, read.number);
        }
        for (uint32_t slot = 0; slot < kPortSlots; ++slot) {
            if (placed.number[slot] != 0 && table.number[slot] == 0) {
                system.Report(placed.member[slot], PortNote::kNumberKeptByLeftOut, placed.number[slot], 0);
            }
        }
    }

    // A port to be renamed to a COM name another device holds keeps its name,
    // and the numbers are dealt again without the one it holds.
    static_assert(sizeof(RemapPlan) < 8 * 1024, "the plan lives on the stack");
    RemapPlan plan = {};
    bool inPlace[kPortSlots] = {};
    for (bool again = true; again;) {
        again = false;
        PortTable sorted = table;
        SortPortNumbers(&sorted);
        plan.count = 0;
        for (uint32_t slot = 0; slot < kPortSlots; ++slot) {
            inPlace[slot] = false;
            if (sorted.number[slot] == 0) continue;
            const PlanPort move = {table.member[slot], table.number[slot], sorted.number[slot], PlanName::kFrom,
                                   Only(PlanName::kFrom), exactAt[slot] == table.number[slot]};
            const bool rename = exactAt[slot] != move.to;
            if (rename && !counted) holders.listed = system.CountHolders(&holders.all);
            counted = counted || rename;
            if (rename && holders.HeldElsewhere(move.to)) {
                system.Report(move.member, PortNote::kNameHeldElsewhere, move.to, 0);
                table.number[slot] = 0;
                again = true;
                break;
            }
            inPlace[slot] = !rename && system.FriendlyNameIs(move.member, move.to);
            if (inPlace[slot]) continue;
            // The plan lists its ports in member order.
            uint32_t at = plan.count++;
            for (; at > 0 && plan.port[at - 1].member > move.member; --at) plan.port[at] = plan.port[at - 1];
            plan.port[at] = move;
        }
    }
    for (uint32_t slot = 0; slot < kPortSlots; ++slot) {
        if (inPlace[slot]) system.Report(table.member[slot], PortNote::kInPlace, table.number[slot], 0);
    }
    if (plan.count == 0) return;

    // Only a cycle needs the spare; a number whose state cannot be known is never taken.
    bool cycle = false;
    for (uint32_t i = 0; i < plan.count; ++i) cycle = cycle || plan.port[i].from != plan.port[i].to;
    if (cycle) {
        if (!counted) holders.listed = system.CountHolders(&holders.all);
        ComNumberSet reserved = {};
        const bool known = holders.listed && system.ReadReserved(&reserved);
        for (int32_t n = 1; known && n <= kComNumberLimit; ++n) {
            bool held = HoldsComNumber(reserved, n) || holders.ownReading.Of(n) != 0 ||
                        holders.all.nodesReading.Of(n) != 0 || holders.all.liveReading.Of(n) != 0;
            for (uint32_t i = 0; i < plan.count && !held; ++i) held = plan.port[i].to == n;
            if (!held) {
                plan.spare = n;
                break;
            }
        }
    }

    // The record that names the spare comes before the claim and before any port is written.
    bool recorded = false;
    if (plan.spare != 0) {
        // Without the record no spare is used: the walk keeps the cycles and says why.
        recorded = system.SavePlan(plan, true);
        if (!recorded) {
            system.ReportPlan(PlanNote::kNotRecorded, plan, StaleReason::kNone, 0);
        } else if (!system.ClaimSpare(plan.spare)) {
            // The record must not name a spare this run does not hold.
            recorded = false;
            plan.spare = 0;
            system.DropPlan();
        }
    }
    if (!WalkPlan(&plan, system, recorded, nullptr, summary)) {
        summary->planLeft = summary->planLeft || recorded;
        return;
    }
    if (recorded) {
        system.ReleaseSpare(plan.spare);
        system.DropPlan();
    }
}

}  // namespace

void LetGoOfPlan(RemapSystem& system) {
    RemapPlan plan = {};
    const LeftPlan found = system.ReadPlan(&plan);
    if (found.kind == LeftPlan::kNone) return;
    if (found.kind != LeftPlan::kDamaged) {
        NameHolders holders = {};
        holders.listed = system.CountHolders(&holders.all);
        system.ReportPlan(PlanNote::kPortsRemoved, plan, StaleReason::kNone, 0);
        LetGoOfSpare(system, plan, holders, false);
    } else {
        system.ReportPlan(PlanNote::kDamaged, plan, StaleReason::kNone, 0);
    }
    system.DropPlan();
}

RemapSummary RemapPorts(RemapSystem& system) {
    RemapSummary summary = {false, false};
    RemapPlan left = {};
    const LeftPlan found = system.ReadPlan(&left);
    if (found.kind != LeftPlan::kNone && !TakeUpLeftPlan(system, &left, found, &summary)) return summary;
    RenumberPorts(system, &summary);
    return summary;
}

}  // namespace mioutil
