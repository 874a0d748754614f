#include "devices/remap_plan.h"

namespace mioutil {

namespace {

constexpr uint32_t kMagic = 0x5052494D;  // "MIRP"
constexpr uint32_t kVersion = 2;
constexpr size_t kHeadBytes = 24;
constexpr size_t kPortBytes = 16;  // before its ID
constexpr NameSet kAllNames = Only(PlanName::kFrom) | Only(PlanName::kSpare) | Only(PlanName::kTo);

uint32_t Fnv1a(const uint8_t* bytes, size_t size) {
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 16777619u;
    return hash;
}

void PutWord(uint8_t* out, size_t at, uint32_t value) {
    for (int b = 0; b < 4; ++b) out[at + b] = static_cast<uint8_t>(value >> (8 * b));
}

uint32_t GetWord(const uint8_t* bytes, size_t at) {
    uint32_t value = 0;
    for (int b = 0; b < 4; ++b) value |= static_cast<uint32_t>(bytes[at + b]) << (8 * b);
    return value;
}

uint32_t StateWord(const PlanPort& p) {
    return static_cast<uint32_t>(p.registry) | static_cast<uint32_t>(p.live) << 8 | (p.fromExact ? 1u : 0u) << 16;
}

uint32_t NameCount(NameSet names) {
    return ((names & Only(PlanName::kFrom)) != 0) + ((names & Only(PlanName::kSpare)) != 0) +
           ((names & Only(PlanName::kTo)) != 0);
}

// Numbers 1 to kComNumberLimit, one bit each.
struct Bits {
    uint8_t bits[kComNumberLimit / 8 + 1];
    // Marks `number`; false when it was marked already.
    bool Mark(int32_t number) {
        const uint8_t bit = static_cast<uint8_t>(1u << (number % 8));
        if ((bits[number / 8] & bit) != 0) return false;
        bits[number / 8] = static_cast<uint8_t>(bits[number / 8] | bit);
        return true;
    }
    bool Has(int32_t number) const { return (bits[number / 8] & (1u << (number % 8))) != 0; }
};

bool InRange(int32_t number) { return number >= 1 && number <= kComNumberLimit; }

// The numbers are the card's own: the `to` numbers a permutation of the `from`
// numbers, the spare none of them.
bool CardsOwnNumbers(const RemapPlan& plan) {
    if (plan.spare != 0 && !InRange(plan.spare)) return false;
    Bits from = {}, to = {};
    for (uint32_t i = 0; i < plan.count; ++i) {
        const PlanPort& p = plan.port[i];
        if (!InRange(p.from) || !InRange(p.to) || !from.Mark(p.from)) return false;
    }
    for (uint32_t i = 0; i < plan.count; ++i) {
        const PlanPort& p = plan.port[i];
        if (!from.Has(p.to) || !to.Mark(p.to)) return false;
    }
    return plan.spare == 0 || !from.Has(plan.spare);
}

// Every state is one a run leaves, and no name is on two ports, in "PortName" or live.
bool NamesAddUp(const RemapPlan& plan) {
    Bits registry = {}, live = {};
    uint32_t onSpare = 0;
    for (uint32_t i = 0; i < plan.count; ++i) {
        const PlanPort& p = plan.port[i];
        const NameSet all = static_cast<NameSet>(p.live | Only(p.registry));
        if (p.live == 0 || (p.live & ~kAllNames) != 0 || NameCount(p.live) > 2) return false;
        if (NameCount(p.live) == 2 && (p.live & Only(p.registry)) == 0) return false;
        if (p.registry == PlanName::kFrom && p.live != Only(PlanName::kFrom)) return false;
        if (p.registry == PlanName::kSpare && (p.live & Only(PlanName::kTo)) != 0) return false;
        if ((all & Only(PlanName::kSpare)) != 0 && (plan.spare == 0 || ++onSpare > 1)) return false;
        if (!registry.Mark(NumberOf(plan, i, p.registry))) return false;
        // A port may hold one number under two of its names (from = to).
        Bits own = {};
        for (PlanName name : kPlanNames) {
            const int32_t number = NumberOf(plan, i, name);
            if ((p.live & Only(name)) != 0 && own.Mark(number) && !live.Mark(number)) return false;
        }
    }
    return true;
}

// Whether what the "PortName" reads is port i's name `name`. The re-map writes
// COM<n> exactly; an untouched name is whatever reads as the number it held.
bool Shows(const RemapPlan& plan, uint32_t i, PlanName name, const PortNameRead& read) {
    const PlanPort& p = plan.port[i];
    switch (name) {
        case PlanName::kFrom: return read.readable && read.number == p.from && (!p.fromExact || read.exact == p.from);
        case PlanName::kSpare: return plan.spare != 0 && read.readable && read.exact == plan.spare;
        case PlanName::kTo: break;
    }
    return read.readable && read.exact == p.to;
}

}  // namespace

int32_t NumberOf(const RemapPlan& plan, uint32_t i, PlanName name) {
    switch (name) {
        case PlanName::kFrom: return plan.port[i].from;
        case PlanName::kSpare: return plan.spare;
        case PlanName::kTo: break;
    }
    return plan.port[i].to;
}

bool MayHold(const RemapPlan& plan, uint32_t i, int32_t number) {
    for (PlanName name : kPlanNames) {
        if ((plan.port[i].live & Only(name)) != 0 && NumberOf(plan, i, name) == number) return true;
    }
    return false;
}

bool IsDone(const PlanPort& port) { return port.registry == PlanName::kTo && port.live == Only(PlanName::kTo); }

bool InDoubt(const PlanPort& port) { return NameCount(port.live) == 2; }

bool IsUntouched(const PlanPort& port) {
    return port.registry == PlanName::kFrom && port.live == Only(PlanName::kFrom);
}

size_t WritePlanRecord(const RemapPlan& plan, const PlanId* ids, uint64_t bootStamp, uint8_t* out, size_t capacity) {
    if (plan.count == 0 || plan.count > kPortSlots) return 0;
    size_t size = kHeadBytes + 4;
    for (uint32_t i = 0; i < plan.count; ++i) {
        if (ids[i].length == 0 || ids[i].length >= kPlanIdUnits) return 0;
        size += kPortBytes + 2 * ids[i].length;
    }
    if (size > capacity) return 0;
    PutWord(out, 0, kMagic);
    PutWord(out, 4, kVersion);
    PutWord(out, 8, plan.count);
    PutWord(out, 12, static_cast<uint32_t>(plan.spare));
    PutWord(out, 16, static_cast<uint32_t>(bootStamp));
    PutWord(out, 20, static_cast<uint32_t>(bootStamp >> 32));
    size_t at = kHeadBytes;
    for (uint32_t i = 0; i < plan.count; ++i) {
        const PlanPort& p = plan.port[i];
        PutWord(out, at, static_cast<uint32_t>(p.from));
        PutWord(out, at + 4, static_cast<uint32_t>(p.to));
        PutWord(out, at + 8, StateWord(p));
        PutWord(out, at + 12, ids[i].length);
        at += kPortBytes;
        for (uint32_t u = 0; u < ids[i].length; ++u, at += 2) {
            out[at] = static_cast<uint8_t>(ids[i].units[u]);
            out[at + 1] = static_cast<uint8_t>(ids[i].units[u] >> 8);
        }
    }
    PutWord(out, at, Fnv1a(out, at));
    return at + 4;
}

RecordRead ReadPlanRecord(const uint8_t* bytes, size_t size, RemapPlan* plan, PlanId* ids, uint64_t* bootStamp) {
    // The head alone tells the spare, which is all there is to let go of a record
    // that cannot be read whole.
    if (size < kHeadBytes || GetWord(bytes, 0) != kMagic || GetWord(bytes, 4) != kVersion) return RecordRead::kDamaged;
    plan->spare = static_cast<int32_t>(GetWord(bytes, 12));
    plan->count = 0;
    if (plan->spare < 0 || plan->spare > kComNumberLimit) return RecordRead::kDamaged;
    const uint32_t count = GetWord(bytes, 8);
    if (size < kHeadBytes + 4 || GetWord(bytes, size - 4) != Fnv1a(bytes, size - 4) || count == 0 ||
        count > kPortSlots) {
        return RecordRead::kSpareOnly;
    }
    *bootStamp = GetWord(bytes, 16) | static_cast<uint64_t>(GetWord(bytes, 20)) << 32;
    const size_t end = size - 4;
    size_t at = kHeadBytes;
    for (uint32_t i = 0; i < count; ++i) {
        if (end - at < kPortBytes) return RecordRead::kSpareOnly;
        PlanPort& p = plan->port[i];
        const uint32_t state = GetWord(bytes, at + 8);
        const uint32_t registry = state & 0xFF;
        const uint32_t length = GetWord(bytes, at + 12);
        if (registry > static_cast<uint32_t>(PlanName::kTo) || (state >> 8 & 0xFF & ~uint32_t{kAllNames}) != 0 ||
            state >> 16 > 1 || length == 0 || length >= kPlanIdUnits || (end - at - kPortBytes) / 2 < length) {
            return RecordRead::kSpareOnly;
        }
        p = PlanPort{0, static_cast<int32_t>(GetWord(bytes, at)), static_cast<int32_t>(GetWord(bytes, at + 4)),
                     static_cast<PlanName>(registry), static_cast<NameSet>(state >> 8 & 0xFF), state >> 16 == 1};
        at += kPortBytes;
        ids[i].length = length;
        for (uint32_t u = 0; u < length; ++u, at += 2) {
            ids[i].units[u] = static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
        }
    }
    if (at != end) return RecordRead::kSpareOnly;
    plan->count = count;
    return RecordRead::kWhole;
}

bool SameId(const PlanId& a, const PlanId& b) {
    if (a.length != b.length) return false;
    auto upper = [](uint16_t unit) { return unit >= 'a' && unit <= 'z' ? static_cast<uint16_t>(unit - 32) : unit; };
    for (uint32_t i = 0; i < a.length; ++i) {
        if (upper(a.units[i]) != upper(b.units[i])) return false;
    }
    return true;
}

Resolution ResolvePlan(RemapPlan* plan, const PortNameRead* names, bool sameBoot) {
    Resolution r = {StaleReason::kNone, 0, plan->count};
    if (!CardsOwnNumbers(*plan)) return {StaleReason::kNotTheCardsNumbers, 0, plan->count};
    // Instance IDs that differ only in case find one node.
    for (uint32_t i = 0; i < plan->count; ++i) {
        for (uint32_t j = 0; j < i; ++j) {
            if (plan->port[i].member == plan->port[j].member) return {StaleReason::kSameIdTwice, i, plan->count};
        }
    }
    if (!NamesAddUp(*plan)) return {StaleReason::kNamesDoNotAdd, 0, plan->count};

    static_assert(sizeof(RemapPlan) < 8 * 1024, "a copy of the plan lives on the stack");
    RemapPlan resolved = *plan;
    for (uint32_t i = 0; i < plan->count; ++i) {
        PlanPort& p = resolved.port[i];
        if (Shows(resolved, i, p.registry, names[i])) continue;
        // The names a run writes next on a port that is not done: the spare or its final one.
        PlanName next = PlanName::kTo;
        if (Shows(resolved, i, PlanName::kSpare, names[i])) next = PlanName::kSpare;
        if (r.ahead != plan->count || IsDone(p) || next == p.registry || !Shows(resolved, i, next, names[i])) {
            return {StaleReason::kPortDisagrees, i, plan->count};
        }
        r.ahead = i;
        // Restarted onto it or not; but a name another driver holds it was only written for the reboot.
        bool heldByAnother = false;
        for (uint32_t j = 0; j < plan->count; ++j) {
            heldByAnother = heldByAnother || (j != i && MayHold(resolved, j, NumberOf(resolved, i, next)));
        }
        p.registry = next;
        if (!heldByAnother) p.live = static_cast<NameSet>(p.live | Only(next));
    }
    if (!sameBoot) {
        for (uint32_t i = 0; i < resolved.count; ++i) resolved.port[i].live = Only(resolved.port[i].registry);
    }
    if (!NamesAddUp(resolved)) return {StaleReason::kNamesDoNotAdd, r.ahead, plan->count};
    *plan = resolved;
    return r;
}

}  // namespace mioutil
